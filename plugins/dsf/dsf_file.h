// The DSF container: little-endian chunks, each with a 12-byte header (four-character
// identifier, 64-bit size counting the header), searched from a start position.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "plugins/common/file_handle.h"

namespace sonara::dsf {

inline constexpr size_t kChunkHeaderSize = 12;

// The "DSD " chunk.
struct DSDChunk {
  uint64_t total_file_size = 0;
  uint64_t metadata_offset = 0;  // 0: no metadata
};

// The "fmt " chunk, read as a 52-byte record from the chunk start.
struct DSFfmtChunk {
  uint32_t format_version = 0;
  uint32_t format_id = 0;
  uint32_t channel_type = 0;   // 4: quadraphonic
  uint32_t channel_count = 0;
  uint32_t sampling_frequency = 0;  // 1-bit rate, Hz
  uint32_t bits_per_sample = 0;     // used as bit order: 8 = MSB first
  uint64_t sample_count = 0;        // bits per channel
  uint32_t block_size = 0;          // bytes per channel per block group

  uint64_t totalNumSamples() const { return sample_count / 8; }  // bytes per channel
};

// The whole file, with chunk search. Reads that run short raise "read failed.".
class DSFFile {
 public:
  explicit DSFFile(io::FileHandle& file) : file_(file) {}

  // The file length, leaving the handle's position unchanged.
  int64_t length() const { return file_.length(); }
  // File offset of the first chunk with identifier `fourcc` found by stepping from
  // `position`, or -1. A size below the header's own 12 bytes ends the search.
  int64_t findChunkOffsetByFourCC(const char fourcc[4], uint64_t position);
  std::optional<DSDChunk> findDSDChunk();
  std::optional<DSFfmtChunk> findFmtChunk();
  // `length` bytes at `offset`, as many as the file holds.
  std::vector<uint8_t> bytesAt(uint64_t offset, size_t length);

 private:
  // Exactly `n` bytes at `offset`, or an exception.
  void getBytes(uint64_t offset, void* out, size_t n);

  io::FileHandle& file_;
};

uint32_t readLE32(const uint8_t* p);
uint64_t readLE64(const uint8_t* p);

}  // namespace sonara::dsf
