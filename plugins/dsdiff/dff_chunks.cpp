#include "plugins/dsdiff/dff_chunks.h"

#include <cstdio>
#include <functional>

#include "plugins/common/decoder_exception.h"
#include "plugins/common/host_link.h"

namespace sonara::dsdiff {
namespace {

// Texts longer than this are not real tags; they are cut there.
constexpr uint64_t kMaxTextBytes = 1u << 20;

bool isValidUtf8(const std::string& s) {
  for (size_t i = 0; i < s.size();) {
    auto c = static_cast<unsigned char>(s[i]);
    size_t extra = c < 0x80 ? 0 : (c & 0xE0) == 0xC0 ? 1 : (c & 0xF0) == 0xE0 ? 2 : (c & 0xF8) == 0xF0 ? 3 : 4;
    if (extra == 4 || extra >= s.size() - i) return extra == 0;
    for (size_t k = 1; k <= extra; ++k) {
      if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
    }
    i += extra + 1;
  }
  return true;
}

// Texts are meant to be ASCII; other bytes are taken as UTF-8 when they are valid
// UTF-8, else as Latin-1, so that no text is lost or passed on malformed.
std::string textFromBytes(const std::vector<uint8_t>& bytes) {
  std::string s(bytes.begin(), bytes.end());
  while (!s.empty() && s.back() == '\0') s.pop_back();
  if (isValidUtf8(s)) return s;
  std::string out;
  for (unsigned char c : s) {
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
    } else {
      out.push_back(static_cast<char>(0xC0 | (c >> 6)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
  }
  return out;
}

}  // namespace

uint32_t DFFFormatVersionChunk::version() const {
  uint8_t raw[4];
  getBytes(raw, kChunkHeaderSize, sizeof raw);
  return readBE32(raw);
}

bool DFFFormatVersionChunk::isValid() const { return isA("FVER") && (version() >> 24) != 0; }

uint32_t DFFSampleRateChunk::getSampleRate() const {
  uint8_t raw[4];
  getBytes(raw, kChunkHeaderSize, sizeof raw);
  return readBE32(raw);
}

uint16_t DFFChannelsChunk::getNumChannels() const {
  uint8_t raw[2];
  getBytes(raw, kChunkHeaderSize, sizeof raw);
  return readBE16(raw);
}

bool DFFCompressionTypeChunk::isCompressed() const {
  uint8_t raw[4];
  getBytes(raw, kChunkHeaderSize, sizeof raw);
  return raw[0] == 'D' && raw[1] == 'S' && raw[2] == 'T' && raw[3] == ' ';
}

std::optional<DFFSampleRateChunk> DFFPropertyChunk::getSampleRateChunk() const {
  return findLocalChunkByFourCC<DFFSampleRateChunk>("FS  ", 16);
}
std::optional<DFFChannelsChunk> DFFPropertyChunk::getChannelsChunk() const {
  return findLocalChunkByFourCC<DFFChannelsChunk>("CHNL", 16);
}
std::optional<DFFCompressionTypeChunk> DFFPropertyChunk::getCompressionTypeChunk() const {
  return findLocalChunkByFourCC<DFFCompressionTypeChunk>("CMPR", 16);
}

std::optional<std::string> DFFTextChunk::getText() const {
  try {
    uint64_t from = kChunkHeaderSize;
    uint64_t length = ckDataSize();
    if (!isA("EMID")) {
      uint8_t raw[4];
      getBytes(raw, kChunkHeaderSize, sizeof raw);
      from += 4;
      length = readBE32(raw);
    }
    return textFromBytes(subdataWithRange(from, static_cast<size_t>(std::min(length, kMaxTextBytes))));
  } catch (const plugin::DecoderException& e) {
    plugin::logLine("error: %s", e.what());
    return std::nullopt;
  }
}

std::optional<DFFEditedMasterIDChunk> DFFEditedMasterInformationChunk::getEditedMasterChunk() const {
  return findLocalChunkByFourCC<DFFEditedMasterIDChunk>("EMID", 12);
}
std::optional<DFFMarkerChunk> DFFEditedMasterInformationChunk::getMarkerChunk() const {
  return findLocalChunkByFourCC<DFFMarkerChunk>("MARK", 12);
}
std::optional<DFFArtistChunk> DFFEditedMasterInformationChunk::getArtistChunk() const {
  return findLocalChunkByFourCC<DFFArtistChunk>("DIAR", 12);
}
std::optional<DFFTitleChunk> DFFEditedMasterInformationChunk::getTitleChunk() const {
  return findLocalChunkByFourCC<DFFTitleChunk>("DITI", 12);
}

DFFComment::DFFComment(const uint8_t h[14], std::string text)
    : year_(readBE16(h)), month_(h[2]), day_(h[3]), hour_(h[4]), minute_(h[5]), type_(readBE16(h + 6)),
      ref_(readBE16(h + 8)), text_(std::move(text)) {}

std::string DFFComment::getTimeStampString() const {
  if (year_ < 2000) return "";
  char out[32];
  std::snprintf(out, sizeof out, "%04u/%02u/%02u %02u:%02u", unsigned{year_}, unsigned{month_}, unsigned{day_},
                unsigned{hour_}, unsigned{minute_});
  return out;
}

std::optional<std::string> DFFComment::getVerboseText() const {
  const std::string stamp = getTimeStampString();
  switch (type_) {
    case 0: return "General (album) Comment: " + text_ + ": " + stamp;
    case 1:
      if (ref_ == 0) return "All Channel: " + text_ + ": " + stamp;
      return "Channel " + std::to_string(ref_) + ": " + text_ + ": " + stamp;
    case 2: {
      static const char* const kSources[] = {"DSD recording", "Analogue recording", "PCM recording"};
      if (ref_ > 2) return std::nullopt;
      return std::string("Sound Source: ") + kSources[ref_] + ": " + text_ + ": " + stamp;
    }
    case 3: {
      static const char* const kHistory[] = {"General Remark", "Name of the operator",
                                             "Name or type of the creating machine", "Time zone information",
                                             "Revision of the file"};
      if (ref_ > 4) return std::nullopt;
      return std::string("File History: ") + kHistory[ref_] + ": " + text_ + ": " + stamp;
    }
    default: return std::nullopt;
  }
}

uint16_t DFFCommentChunk::getLength() const {
  uint8_t raw[2];
  getBytes(raw, kChunkHeaderSize, sizeof raw);
  return readBE16(raw);
}

namespace {

// Calls `visit` with each comment in order until it answers false, the count is
// reached or the chunk ends.
void walkComments(const DFFCommentChunk& chunk, const std::function<bool(DFFComment)>& visit) {
  uint16_t count = chunk.getLength();
  uint64_t local = kChunkHeaderSize + 2;
  for (uint32_t i = 0; i < count; ++i) {
    uint8_t header[14];
    chunk.getBytes(header, local, sizeof header);
    uint32_t length = readBE32(header + 10);
    local += sizeof header;
    std::vector<uint8_t> text = chunk.subdataWithRange(local, static_cast<size_t>(std::min<uint64_t>(length, kMaxTextBytes)));
    if (text.size() < std::min<uint64_t>(length, kMaxTextBytes)) return;  // cut short
    // An odd-length text is followed by a pad byte.
    local += uint64_t{length} + (length & 1);
    if (!visit(DFFComment(header, textFromBytes(text)))) return;
  }
}

}  // namespace

std::optional<DFFComment> DFFCommentChunk::getCommentAt(uint32_t index) const {
  std::optional<DFFComment> found;
  try {
    uint32_t at = 0;
    walkComments(*this, [&](DFFComment c) {
      if (at++ < index) return true;
      found = std::move(c);
      return false;
    });
  } catch (const plugin::DecoderException& e) {
    plugin::logLine("error: %s", e.what());
  }
  return found;
}

std::string DFFCommentChunk::getAllText() const {
  std::string all;
  try {
    walkComments(*this, [&](DFFComment c) {
      if (auto text = c.getVerboseText()) all += *text + "\n";
      return true;
    });
  } catch (const plugin::DecoderException& e) {
    plugin::logLine("error: %s", e.what());
  }
  return all;
}

std::optional<id3::TextFrames> DFFID3v2Chunk::parse() const {
  return id3::readID3v2TextFrames(
      [this](uint64_t at, size_t n) { return subdataWithRange(at - offset_, n); },
      offset_ + kChunkHeaderSize, dataBytesInFile());
}

std::optional<DFFFormDSDChunk> DFFFormDSDChunk::make(io::FileHandle& file, uint64_t offset) {
  DFFFormDSDChunk form(file, offset);
  if (!form.isA("FRM8")) return std::nullopt;
  auto dsd = form.findLocalChunkOffsetByFourCC("DSD ", 16);
  auto prop = form.findLocalChunkOffsetByFourCC("PROP", 16);
  if (!dsd || !prop) return std::nullopt;
  form.dsd_offset_ = offset + *dsd;
  form.prop_offset_ = offset + *prop;
  auto channels = form.getPropertyChunk().getChannelsChunk();
  form.num_channels_ = channels ? channels->getNumChannels() : 0;
  if (form.num_channels_ == 0) {
    plugin::logLine("error: %s", "invalid number of channels.");
    return std::nullopt;
  }
  return form;
}

bool DFFFormDSDChunk::holdsDSTSoundData(io::FileHandle& file) {
  try {
    DFFChunk form(file, 0);
    if (!form.isA("FRM8")) return false;
    if (form.findLocalChunkOffsetByFourCC("DST ", 16)) return true;
    auto prop = form.findLocalChunkByFourCC<DFFPropertyChunk>("PROP", 16);
    auto cmpr = prop ? prop->getCompressionTypeChunk() : std::nullopt;
    return cmpr && cmpr->isCompressed();
  } catch (const plugin::DecoderException&) {
    return false;
  }
}

bool DFFFormDSDChunk::isValid() const {
  uint8_t type[4];
  getBytes(type, kChunkHeaderSize, sizeof type);
  return isA("FRM8") && type[0] == 'D' && type[1] == 'S' && type[2] == 'D' && type[3] == ' ';
}

std::optional<DFFFormatVersionChunk> DFFFormDSDChunk::getFormatVersionChunk() const {
  return findLocalChunkByFourCC<DFFFormatVersionChunk>("FVER", 16);
}
std::optional<DFFCommentChunk> DFFFormDSDChunk::getCommentChunk() const {
  return findLocalChunkByFourCC<DFFCommentChunk>("COMT", 16);
}
std::optional<DFFEditedMasterInformationChunk> DFFFormDSDChunk::getEditedMasterInformationChunk() const {
  return findLocalChunkByFourCC<DFFEditedMasterInformationChunk>("DIIN", 16);
}
std::optional<DFFID3v2Chunk> DFFFormDSDChunk::getID3Chunk() const {
  return findLocalChunkByFourCC<DFFID3v2Chunk>("ID3 ", 16);
}

uint64_t DFFFormDSDChunk::getTotalDataSizeInSamples() const {
  return getDSDSoundDataChunk().dataSizeInBytes() / num_channels_;
}

}  // namespace sonara::dsdiff
