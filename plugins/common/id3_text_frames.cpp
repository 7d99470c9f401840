#include "plugins/common/id3_text_frames.h"

#include <algorithm>
#include <cstring>

#include <taglib/commentsframe.h>
#include <taglib/id3v2tag.h>
#include <taglib/tbytevectorstream.h>
#include <taglib/tfile.h>

namespace sonara::id3 {
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

constexpr size_t kHeaderBytes = 10;
// A whole tag read at once (the fallback for layouts that cannot be walked frame by
// frame) and a single text frame are refused beyond these; real ones stay far below.
constexpr uint64_t kMaxWholeTagBytes = 16u << 20;
constexpr uint32_t kMaxTextFrameBytes = 1u << 20;
constexpr int kMaxFrames = 4096;

uint32_t syncsafe(const uint8_t* p) {
  return uint32_t{p[0] & 0x7Fu} << 21 | uint32_t{p[1] & 0x7Fu} << 14 | uint32_t{p[2] & 0x7Fu} << 7 |
         uint32_t{p[3] & 0x7Fu};
}

uint32_t bigEndian(const uint8_t* p) {
  return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | uint32_t{p[3]};
}

// The text frames the decoder reports; pictures and everything else are stepped over.
bool isTextFrameWanted(const uint8_t* id) {
  static const char* const kWanted[] = {"TIT2", "TPE1", "TIT3", "TALB", "TRCK",
                                        "TPOS", "TDRC", "TYER", "COMM"};
  return std::any_of(std::begin(kWanted), std::end(kWanted),
                     [id](const char* w) { return std::memcmp(id, w, 4) == 0; });
}

bool isFrameId(const uint8_t* id) {
  for (int i = 0; i < 4; ++i) {
    if (!((id[i] >= 'A' && id[i] <= 'Z') || (id[i] >= '0' && id[i] <= '9'))) return false;
  }
  return true;
}

}  // namespace

std::optional<std::vector<uint8_t>> readID3v2TextTag(const ByteReader& read, uint64_t offset,
                                                     uint64_t available) {
  if (available < kHeaderBytes) return std::nullopt;
  std::vector<uint8_t> header = read(offset, kHeaderBytes);
  if (header.size() < kHeaderBytes || header[0] != 'I' || header[1] != 'D' || header[2] != '3') {
    return std::nullopt;
  }
  const uint8_t version = header[3];
  const uint8_t flags = header[5];
  const uint64_t tag_end = std::min<uint64_t>(kHeaderBytes + syncsafe(&header[6]), available);
  // Version 2.2 frames and a version 2.3 tag unsynchronised as a whole cannot be
  // walked in place: such a tag is read whole when it is of a sane size.
  if ((version != 3 && version != 4) || (version == 3 && (flags & 0x80) != 0)) {
    if (tag_end > kMaxWholeTagBytes) return std::nullopt;
    return read(offset, static_cast<size_t>(tag_end));
  }
  uint64_t at = kHeaderBytes;
  if ((flags & 0x40) != 0) {  // an extended header precedes the frames
    std::vector<uint8_t> ext = read(offset + at, 4);
    if (ext.size() < 4) return std::nullopt;
    at += version == 3 ? 4 + uint64_t{bigEndian(ext.data())} : uint64_t{syncsafe(ext.data())};
  }
  // A tag of the wanted frames alone, under the original header.
  std::vector<uint8_t> frames;
  for (int n = 0; n < kMaxFrames && at + kHeaderBytes <= tag_end; ++n) {
    std::vector<uint8_t> fh = read(offset + at, kHeaderBytes);
    if (fh.size() < kHeaderBytes || !isFrameId(fh.data())) break;  // padding or damage
    const uint64_t size = version == 4 ? syncsafe(&fh[4]) : bigEndian(&fh[4]);
    const uint64_t next = at + kHeaderBytes + size;
    if (next > tag_end) break;
    if (isTextFrameWanted(fh.data()) && size <= kMaxTextFrameBytes) {
      std::vector<uint8_t> body = read(offset + at + kHeaderBytes, static_cast<size_t>(size));
      if (body.size() != size) break;
      frames.insert(frames.end(), fh.begin(), fh.end());
      frames.insert(frames.end(), body.begin(), body.end());
    }
    at = next;
  }
  std::vector<uint8_t> tag(header.begin(), header.end());
  tag[5] = static_cast<uint8_t>(flags & ~0x50);  // no extended header, no footer
  const auto body_size = static_cast<uint32_t>(frames.size());
  for (int i = 0; i < 4; ++i) tag[6 + i] = static_cast<uint8_t>((body_size >> (21 - 7 * i)) & 0x7F);
  tag.insert(tag.end(), frames.begin(), frames.end());
  return tag;
}

std::optional<TextFrames> readID3v2TextFrames(const ByteReader& read, uint64_t offset,
                                              uint64_t available) {
  auto tag = readID3v2TextTag(read, offset, available);
  if (!tag) return std::nullopt;
  return parseID3v2Tag(*tag);
}

namespace {

// Runs `read` over the tag TagLib makes of the bytes; nothing when they are no tag.
template <typename Result, typename Read>
std::optional<Result> withParsedTag(const std::vector<uint8_t>& bytes, Read read) {
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
    return read(tag);
  } catch (...) {
    return std::nullopt;
  }
}

}  // namespace

std::optional<std::string> commentText(const std::vector<uint8_t>& bytes, const char* description) {
  return withParsedTag<std::string>(bytes, [&](const TagLib::ID3v2::Tag& tag) -> std::optional<std::string> {
    for (const auto* frame : tag.frameList("COMM")) {
      const auto* comment = dynamic_cast<const TagLib::ID3v2::CommentsFrame*>(frame);
      if (comment && comment->description() == description) return comment->text().to8Bit(true);
    }
    return std::nullopt;
  });
}

std::optional<TextFrames> parseID3v2Tag(const std::vector<uint8_t>& bytes) {
  return withParsedTag<TextFrames>(bytes, [](const TagLib::ID3v2::Tag& tag) {
    TextFrames out;
    out.title = frameText(tag, "TIT2");
    out.artist = frameText(tag, "TPE1");
    out.description = frameText(tag, "TIT3");
    out.album = frameText(tag, "TALB");
    out.track = frameText(tag, "TRCK");
    out.disc = frameText(tag, "TPOS");
    out.date = frameText(tag, "TDRC");
    if (!out.date) out.date = frameText(tag, "TYER");
    return out;
  });
}

}  // namespace sonara::id3
