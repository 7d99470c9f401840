#include "plugins/dsf/dsf_file.h"

#include <cstring>

#include "plugins/common/decoder_exception.h"
#include "plugins/common/host_link.h"

namespace sonara::dsf {

uint32_t readLE32(const uint8_t* p) {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

uint64_t readLE64(const uint8_t* p) { return uint64_t{readLE32(p)} | uint64_t{readLE32(p + 4)} << 32; }

void DSFFile::getBytes(uint64_t offset, void* out, size_t n) {
  if (!file_.seek(offset) || file_.read(out, n) != static_cast<int64_t>(n)) {
    throw plugin::DecoderException("read failed.");
  }
}

std::vector<uint8_t> DSFFile::bytesAt(uint64_t offset, size_t length) { return file_.bytesAt(offset, length); }

int64_t DSFFile::findChunkOffsetByFourCC(const char fourcc[4], uint64_t position) {
  try {
    for (;;) {
      uint8_t header[kChunkHeaderSize];
      getBytes(position, header, sizeof header);
      if (std::memcmp(header, fourcc, 4) == 0) return static_cast<int64_t>(position);
      uint64_t size = readLE64(header + 4);
      // A chunk smaller than its own header would keep the search in place.
      if (size < kChunkHeaderSize || size > static_cast<uint64_t>(INT64_MAX) - position) {
        return -1;
      }
      position += size;
    }
  } catch (const plugin::DecoderException& e) {
    plugin::logLine("error: %s", e.what());
    return -1;
  }
}

std::optional<DSDChunk> DSFFile::findDSDChunk() {
  int64_t at = findChunkOffsetByFourCC("DSD ", 0);
  if (at < 0) return std::nullopt;
  uint8_t raw[28];
  getBytes(static_cast<uint64_t>(at), raw, sizeof raw);
  return DSDChunk{readLE64(raw + 12), readLE64(raw + 20)};
}

std::optional<DSFfmtChunk> DSFFile::findFmtChunk() {
  int64_t at = findChunkOffsetByFourCC("fmt ", 0);
  if (at < 0) return std::nullopt;
  uint8_t raw[52];
  getBytes(static_cast<uint64_t>(at), raw, sizeof raw);
  DSFfmtChunk fmt;
  fmt.format_version = readLE32(raw + 12);
  fmt.format_id = readLE32(raw + 16);
  fmt.channel_type = readLE32(raw + 20);
  fmt.channel_count = readLE32(raw + 24);
  fmt.sampling_frequency = readLE32(raw + 28);
  fmt.bits_per_sample = readLE32(raw + 32);
  fmt.sample_count = readLE64(raw + 36);
  fmt.block_size = readLE32(raw + 44);
  return fmt;
}

}  // namespace sonara::dsf
