#include "plugins/common/file_handle.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace sonara::io {

FileHandle::~FileHandle() { close(); }

bool FileHandle::open(const std::string& path) {
  close();
  // Without O_NONBLOCK, opening a FIFO waits for a writer that may never come.
  fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd_ < 0) return false;
  struct stat st {};
  if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
    close();
    return false;
  }
  ::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) & ~O_NONBLOCK);
  position_ = 0;
  return true;
}

void FileHandle::close() {
  if (fd_ >= 0) {
    if (bypass_cache_) dropReadPages(0);  // 0: to the end of the file
    ::close(fd_);
  }
  fd_ = -1;
  position_ = 0;
  dropped_up_to_ = 0;
  read_failed_ = false;
}

// The kernel lets go of whole pages only, and not of those still being read ahead:
// what lies behind the reader is dropped, a page boundary at a time.
void FileHandle::dropReadPages(int64_t up_to) {
  constexpr int64_t kPage = 4096;
  if (up_to == 0) {
    ::posix_fadvise(fd_, dropped_up_to_, 0, POSIX_FADV_DONTNEED);
    return;
  }
  const int64_t end = up_to & ~(kPage - 1);
  if (end <= dropped_up_to_) return;
  ::posix_fadvise(fd_, dropped_up_to_, end - dropped_up_to_, POSIX_FADV_DONTNEED);
  dropped_up_to_ = end;
}

int64_t FileHandle::length() const {
  struct stat st {};
  if (fd_ < 0 || ::fstat(fd_, &st) != 0) return -1;
  return st.st_size;
}

bool FileHandle::seek(uint64_t offset) {
  if (fd_ < 0 || offset > static_cast<uint64_t>(INT64_MAX)) return false;
  position_ = static_cast<int64_t>(offset);
  dropped_up_to_ = std::min(dropped_up_to_, position_ & ~int64_t{4095});
  return true;
}

int64_t FileHandle::read(void* buffer, size_t n) {
  if (fd_ < 0) return -1;
  size_t got = 0;
  auto* out = static_cast<char*>(buffer);
  while (got < n) {
    ssize_t r = ::pread(fd_, out + got, n - got, position_ + static_cast<int64_t>(got));
    if (r < 0 && errno == EINTR) continue;
    if (r < 0) {
      read_failed_ = true;
      return -1;
    }
    if (r == 0) break;
    got += static_cast<size_t>(r);
  }
  position_ += static_cast<int64_t>(got);
  if (bypass_cache_ && got > 0) dropReadPages(position_);
  return static_cast<int64_t>(got);
}

std::vector<uint8_t> FileHandle::bytesAt(uint64_t offset, size_t n) const {
  std::vector<uint8_t> out(n);
  size_t got = 0;
  while (fd_ >= 0 && got < n && offset <= static_cast<uint64_t>(INT64_MAX) - n) {
    const ssize_t r = ::pread(fd_, out.data() + got, n - got, static_cast<off_t>(offset + got));
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) break;
    got += static_cast<size_t>(r);
  }
  out.resize(got);
  return out;
}

}  // namespace sonara::io
