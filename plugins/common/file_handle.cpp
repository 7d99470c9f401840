#include "plugins/common/file_handle.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace sonara::io {

FileHandle::~FileHandle() { close(); }

bool FileHandle::open(const std::string& path) {
  close();
  fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd_ < 0) return false;
  struct stat st {};
  if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
    close();
    return false;
  }
  position_ = 0;
  return true;
}

void FileHandle::close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  position_ = 0;
}

int64_t FileHandle::length() const {
  struct stat st {};
  if (fd_ < 0 || ::fstat(fd_, &st) != 0) return -1;
  return st.st_size;
}

bool FileHandle::seek(uint64_t offset) {
  if (fd_ < 0 || offset > static_cast<uint64_t>(INT64_MAX)) return false;
  position_ = static_cast<int64_t>(offset);
  return true;
}

int64_t FileHandle::read(void* buffer, size_t n) {
  if (fd_ < 0) return -1;
  size_t got = 0;
  auto* out = static_cast<char*>(buffer);
  while (got < n) {
    ssize_t r = ::pread(fd_, out + got, n - got, position_ + static_cast<int64_t>(got));
    if (r < 0 && errno == EINTR) continue;
    if (r < 0) return -1;
    if (r == 0) break;
    got += static_cast<size_t>(r);
  }
  if (bypass_cache_ && got > 0) {
    ::posix_fadvise(fd_, position_, static_cast<off_t>(got), POSIX_FADV_DONTNEED);
  }
  position_ += static_cast<int64_t>(got);
  return static_cast<int64_t>(got);
}

}  // namespace sonara::io
