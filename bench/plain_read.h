// The reference every decoding benchmark compares with: the file read whole with
// read(), its pages dropped behind the reader as the decoders' file handle does.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <string>
#include <vector>

inline void plainRead(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDONLY);
  if (fd < 0) return;
  std::vector<char> buf(1 << 16);
  off_t at = 0;
  ssize_t n;
  while ((n = ::read(fd, buf.data(), buf.size())) > 0) {
    ::posix_fadvise(fd, at, n, POSIX_FADV_DONTNEED);
    at += n;
  }
  ::close(fd);
}
