// A read handle on a file with a position, as the container parsers use it. It reads
// a file on disk, or bytes held in memory standing in for one (the fuzz targets hand
// every input over that way, without a file of its own).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace sonara::io {

// What a decoder opens its handles on: a file by its path, or bytes in memory that
// the caller keeps alive as long as any handle opened on them.
class FileSource {
 public:
  static FileSource file(std::string path) { return FileSource(std::move(path), {}, false); }
  static FileSource memory(std::span<const uint8_t> bytes) { return FileSource({}, bytes, true); }
  FileSource() = default;

  bool inMemory() const { return in_memory_; }
  const std::string& path() const { return path_; }
  std::span<const uint8_t> bytes() const { return bytes_; }

 private:
  FileSource(std::string path, std::span<const uint8_t> bytes, bool in_memory)
      : path_(std::move(path)), bytes_(bytes), in_memory_(in_memory) {}

  std::string path_;
  std::span<const uint8_t> bytes_;
  bool in_memory_ = false;
};

class FileHandle {
 public:
  FileHandle() = default;
  ~FileHandle();
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;

  bool open(const std::string& path);
  bool open(const FileSource& source);
  void close();
  bool isOpen() const { return fd_ >= 0 || in_memory_; }

  // The file's length; the position is unchanged. -1 on error.
  int64_t length() const;
  int64_t position() const { return position_; }
  bool seek(uint64_t offset);
  // Reads up to `n` bytes at the position and advances; returns the count (short at
  // the end of the file, -1 on error).
  int64_t read(void* buffer, size_t n);
  // Up to `n` bytes at `offset`, as many as the file holds there; the position is
  // unchanged, so a parser may look aside while a codec library reads on.
  std::vector<uint8_t> bytesAt(uint64_t offset, size_t n) const;
  // Whether a read has failed (an I/O error, not the end of the file) since opening.
  bool readFailed() const { return read_failed_; }
  // Drops the file's pages from the system cache once they have been read, so that
  // long files stream without filling it.
  void bypassCache(bool on) { bypass_cache_ = on; }

 private:
  bool openMemory(std::span<const uint8_t> bytes);
  void dropReadPages(int64_t up_to);
  // Up to `n` bytes at `offset` into `out`: the count, or -1 on a read error.
  int64_t readAt(uint64_t offset, void* out, size_t n) const;

  int fd_ = -1;
  std::span<const uint8_t> memory_;
  bool in_memory_ = false;
  int64_t position_ = 0;
  bool bypass_cache_ = false;
  int64_t dropped_up_to_ = 0;  // pages before this offset have been let go
  bool read_failed_ = false;
};

}  // namespace sonara::io
