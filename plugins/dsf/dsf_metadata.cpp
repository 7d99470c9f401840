#include "plugins/dsf/dsf_metadata.h"

#include <taglib/id3v2tag.h>
#include <taglib/tbytevectorstream.h>
#include <taglib/tfile.h>

namespace sonara::dsf {
namespace {

// TagLib reads tags out of files; this one is just the tag's bytes.
class TagBytes final : public TagLib::File {
 public:
  explicit TagBytes(TagLib::IOStream* stream) : TagLib::File(stream) {}
  TagLib::Tag* tag() const override { return nullptr; }
  TagLib::AudioProperties* audioProperties() const override { return nullptr; }
  bool save() override { return false; }
};

std::optional<std::string> frameText(const TagLib::ID3v2::Tag& tag, const char* id) {
  const auto& frames = tag.frameListMap();
  auto it = frames.find(id);
  if (it == frames.end() || it->second.isEmpty()) return std::nullopt;
  return it->second.front()->toString().to8Bit(true);
}

}  // namespace

std::optional<DSFmetadataChunk> parseID3v2Tag(const std::vector<uint8_t>& bytes) {
  if (bytes.size() < 10 || bytes[0] != 'I' || bytes[1] != 'D' || bytes[2] != '3') {
    return std::nullopt;
  }
  try {
    TagLib::ByteVector data(reinterpret_cast<const char*>(bytes.data()),
                            static_cast<unsigned int>(bytes.size()));
    TagLib::ByteVectorStream stream(data);
    TagBytes file(&stream);
    TagLib::ID3v2::Tag tag(&file, 0);
    if (!tag.header() || tag.header()->tagSize() == 0) return std::nullopt;
    DSFmetadataChunk out;
    out.title = frameText(tag, "TIT2");
    out.artist = frameText(tag, "TPE1");
    out.description = frameText(tag, "TIT3");
    out.album = frameText(tag, "TALB");
    out.track = frameText(tag, "TRCK");
    out.disc = frameText(tag, "TPOS");
    out.date = frameText(tag, "TDRC");
    if (!out.date) out.date = frameText(tag, "TYER");
    return out;
  } catch (...) {
    return std::nullopt;
  }
}

}  // namespace sonara::dsf
