// The top-level chunks of a RIFF WAVE or an AIFF/AIFF-C file, found by walking the
// chunk headers through the file without reading their data, and the sub-chunk
// search over a block in memory that LIST chunks need.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "plugins/common/file_handle.h"

namespace sonara::tessor {

struct ChunkRef {
  std::string id;       // four characters
  uint64_t offset = 0;  // of the chunk's data
  uint64_t size = 0;    // as declared
  uint64_t stored = 0;  // what the file holds of it (less when it is cut short)
};

struct ChunkList {
  std::string container;  // "RIFF", "FORM", "RF64", ...
  std::string form_type;  // "WAVE", "AIFF", "AIFC"
  std::vector<ChunkRef> chunks;
};

// Files of more chunks than this are not walked further; real files have a handful.
inline constexpr size_t kMaxTopLevelChunks = 4096;

// The file's chunks in file order; nothing when it does not start as a RIFF or FORM
// container. A chunk that runs past the end of the file is listed with what the file
// holds of it and ends the walk.
std::optional<ChunkList> listChunks(io::FileHandle& file);

// The data of the first chunk `id` in a block of RIFF-style chunks (4-byte id,
// 32-bit little-endian size, data, a pad byte after odd sizes). A chunk counts only
// when its data lies entirely in the block.
struct ChunkData {
  const uint8_t* data = nullptr;
  uint32_t size = 0;
};
std::optional<ChunkData> findChunk(const char (&id)[5], const uint8_t* block, size_t length);

}  // namespace sonara::tessor
