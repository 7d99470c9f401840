#include "plugins/dsdiff/dff_chunk.h"

#include <algorithm>
#include <cstring>

#include "plugins/common/decoder_exception.h"
#include "plugins/common/host_link.h"

namespace sonara::dsdiff {

uint16_t readBE16(const uint8_t* p) { return static_cast<uint16_t>(p[0] << 8 | p[1]); }

uint32_t readBE32(const uint8_t* p) {
  return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | uint32_t{p[3]};
}

uint64_t readBE64(const uint8_t* p) { return uint64_t{readBE32(p)} << 32 | readBE32(p + 4); }

namespace {

// a + b, or the largest value when that would overflow.
uint64_t saturatingAdd(uint64_t a, uint64_t b) { return b > UINT64_MAX - a ? UINT64_MAX : a + b; }

uint64_t fileLength(const io::FileHandle& file) {
  int64_t length = file.length();
  return length < 0 ? 0 : static_cast<uint64_t>(length);
}

}  // namespace

DFFChunk::DFFChunk(io::FileHandle& file, uint64_t offset) : file_(&file), offset_(offset) {
  uint8_t header[kChunkHeaderSize];
  if (!file.seek(offset) || file.read(header, sizeof header) != static_cast<int64_t>(sizeof header)) {
    throw plugin::DecoderException("read failed.");
  }
  std::memcpy(id_, header, 4);
  size_ = readBE64(header + 4);
}

bool DFFChunk::isA(const char fourcc[4]) const { return std::memcmp(id_, fourcc, 4) == 0; }

uint64_t DFFChunk::end() const {
  return std::min(saturatingAdd(offset_, saturatingAdd(kChunkHeaderSize, size_)), fileLength(*file_));
}

uint64_t DFFChunk::dataBytesInFile() const {
  uint64_t data_start = saturatingAdd(offset_, kChunkHeaderSize);
  uint64_t e = end();
  return e > data_start ? e - data_start : 0;
}

void DFFChunk::getBytes(void* out, uint64_t local, size_t n) const {
  uint64_t at = saturatingAdd(offset_, local);
  if (saturatingAdd(at, n) > end() || !file_->seek(at) ||
      file_->read(out, n) != static_cast<int64_t>(n)) {
    throw plugin::DecoderException("read failed.");
  }
}

std::vector<uint8_t> DFFChunk::subdataWithRange(uint64_t local, size_t n) const {
  uint64_t at = saturatingAdd(offset_, local);
  uint64_t e = end();
  if (at >= e) return {};
  std::vector<uint8_t> out(static_cast<size_t>(std::min<uint64_t>(n, e - at)));
  int64_t got = file_->seek(at) ? file_->read(out.data(), out.size()) : -1;
  out.resize(got > 0 ? static_cast<size_t>(got) : 0);
  return out;
}

std::optional<uint64_t> DFFChunk::findLocalChunkOffsetByFourCC(const char fourcc[4], uint64_t after) const {
  const uint64_t limit = end() - std::min(end(), offset_);  // the chunk's extent in the file
  uint64_t local = after;
  // Real files hold a few dozen chunks; a crafted one of empty chunks would otherwise
  // be walked twelve bytes at a time through gigabytes.
  constexpr int kMaxChunksWalked = 4096;
  int walked = 0;
  try {
    while (saturatingAdd(local, kChunkHeaderSize) <= limit) {
      if (++walked > kMaxChunksWalked) {
        plugin::logLine("error: more than %d chunks before '%.4s'; the file is damaged.", kMaxChunksWalked, fourcc);
        return std::nullopt;
      }
      uint8_t header[kChunkHeaderSize];
      getBytes(header, local, sizeof header);
      if (std::memcmp(header, fourcc, 4) == 0) return local;
      uint64_t size = readBE64(header + 4);
      uint64_t next = saturatingAdd(local, saturatingAdd(kChunkHeaderSize, saturatingAdd(size, size & 1)));
      if (next >= limit) return std::nullopt;  // runs past the parent or the file
      local = next;
    }
  } catch (const plugin::DecoderException& e) {
    plugin::logLine("error: %s", e.what());
  }
  return std::nullopt;
}

}  // namespace sonara::dsdiff
