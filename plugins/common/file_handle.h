// A read handle on a file with a position, as the container parsers use it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace sonara::io {

class FileHandle {
 public:
  FileHandle() = default;
  ~FileHandle();
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;

  bool open(const std::string& path);
  void close();
  bool isOpen() const { return fd_ >= 0; }

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
  void dropReadPages(int64_t up_to);

  int fd_ = -1;
  int64_t position_ = 0;
  bool bypass_cache_ = false;
  int64_t dropped_up_to_ = 0;  // pages before this offset have been let go
  bool read_failed_ = false;
};

}  // namespace sonara::io
