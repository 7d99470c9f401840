// The DSDIFF container as the decoder reads it: big-endian chunks, each a 12-byte
// header (four-character identifier, 64-bit size of the data after the header)
// followed by its data, padded to an even length. Chunks nest: a parent's data holds
// its local chunks one after another.
//
// A chunk object is a window on a file handle it does not own: the handle must
// outlive it. Every search stays inside the parent chunk and inside the file, so a
// hostile size can neither read out of bounds nor keep a search in place.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "plugins/common/file_handle.h"

namespace sonara::dsdiff {

inline constexpr uint64_t kChunkHeaderSize = 12;

uint16_t readBE16(const uint8_t* p);
uint32_t readBE32(const uint8_t* p);
uint64_t readBE64(const uint8_t* p);

class DFFChunk {
 public:
  // Reads the header at the file offset; a short read raises "read failed.".
  DFFChunk(io::FileHandle& file, uint64_t offset);

  bool isA(const char fourcc[4]) const;
  std::string identifier() const { return std::string(id_, 4); }
  uint64_t offset() const { return offset_; }
  uint64_t ckDataSize() const { return size_; }
  // Where the chunk ends as far as the file holds it (a chunk of a truncated file
  // ends with the file).
  uint64_t end() const;
  // Bytes the file really holds of the data, from local offset 12 on.
  uint64_t dataBytesInFile() const;

  // Exactly `n` bytes at the local offset (relative to the chunk start); a short
  // read raises "read failed.".
  void getBytes(void* out, uint64_t local, size_t n) const;
  // Up to `n` bytes at the local offset, as many as the chunk and the file hold.
  std::vector<uint8_t> subdataWithRange(uint64_t local, size_t n) const;

  // The local offset of the first local chunk named `fourcc`, stepping from the local
  // offset `after`; nothing when the next header would reach past this chunk or the
  // file. A failing read is logged as "error: ...".
  std::optional<uint64_t> findLocalChunkOffsetByFourCC(const char fourcc[4], uint64_t after) const;
  template <typename Chunk>
  std::optional<Chunk> findLocalChunkByFourCC(const char fourcc[4], uint64_t after) const {
    auto at = findLocalChunkOffsetByFourCC(fourcc, after);
    if (!at) return std::nullopt;
    return Chunk(*file_, offset_ + *at);
  }

 protected:
  io::FileHandle* file_;
  uint64_t offset_;
  char id_[4];
  uint64_t size_;
};

}  // namespace sonara::dsdiff
