#include "plugins/system/riff_chunks.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace sonara::tessor {
namespace {

uint32_t littleEndian32(const uint8_t* p) {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

uint32_t bigEndian32(const uint8_t* p) {
  return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | uint32_t{p[3]};
}

// Chunk identifiers are printable ASCII; anything else is a misaligned walk.
bool isChunkId(const uint8_t* p) {
  for (int i = 0; i < 4; ++i) {
    if (p[i] < 0x20 || p[i] > 0x7E) return false;
  }
  return true;
}

// Where the chunk after one whose data ends at `data_end` starts. Some writers leave
// out the pad byte after odd sizes: when the padded position holds no identifier and
// the unpadded one does, theirs is the layout.
template <typename Read4>
uint64_t nextChunkAt(uint64_t data_end, bool odd, Read4 read4) {
  if (!odd) return data_end;
  const std::vector<uint8_t> padded = read4(data_end + 1);
  if (padded.size() < 4 || isChunkId(padded.data())) return data_end + 1;
  const std::vector<uint8_t> unpadded = read4(data_end);
  return unpadded.size() == 4 && isChunkId(unpadded.data()) ? data_end : data_end + 1;
}

}  // namespace

std::optional<ChunkList> listChunks(io::FileHandle& file) {
  const int64_t length = file.length();
  uint8_t head[12];
  if (length < 12 || !file.seek(0) || file.read(head, sizeof head) != 12) return std::nullopt;
  ChunkList list;
  list.container.assign(reinterpret_cast<const char*>(head), 4);
  list.form_type.assign(reinterpret_cast<const char*>(head + 8), 4);
  const bool big_endian = list.container == "FORM";
  if (!big_endian && list.container != "RIFF" && list.container != "RF64" && list.container != "BW64") {
    return std::nullopt;
  }
  const auto end = static_cast<uint64_t>(length);
  uint64_t at = 12;
  while (at + 8 <= end && list.chunks.size() < kMaxTopLevelChunks) {
    uint8_t header[8];
    if (!file.seek(at) || file.read(header, sizeof header) != 8 || !isChunkId(header)) break;
    ChunkRef chunk;
    chunk.id.assign(reinterpret_cast<const char*>(header), 4);
    chunk.size = big_endian ? bigEndian32(header + 4) : littleEndian32(header + 4);
    chunk.offset = at + 8;
    chunk.stored = std::min(chunk.size, end - chunk.offset);
    list.chunks.push_back(chunk);
    if (chunk.stored < chunk.size) break;
    at = nextChunkAt(chunk.offset + chunk.size, (chunk.size & 1) != 0,
                     [&](uint64_t offset) { return file.bytesAt(offset, 4); });
  }
  return list;
}

std::optional<ChunkData> findChunk(const char (&id)[5], const uint8_t* block, size_t length) {
  size_t at = 0;
  while (block && length - at >= 8) {
    const uint8_t* header = block + at;
    const uint32_t size = littleEndian32(header + 4);
    const size_t left = length - at - 8;
    if (std::memcmp(header, id, 4) == 0 && size <= left) return ChunkData{header + 8, size};
    const uint64_t padded = uint64_t{size} + (size & 1);
    if (padded > left) return std::nullopt;
    at = static_cast<size_t>(nextChunkAt(at + 8 + size, (size & 1) != 0, [&](uint64_t offset) {
      const size_t from = static_cast<size_t>(std::min<uint64_t>(offset, length));
      return std::vector<uint8_t>(block + from, block + std::min(length, from + 4));
    }));
  }
  return std::nullopt;
}

}  // namespace sonara::tessor
