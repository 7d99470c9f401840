#include "plugins/common/file_handle.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace sonara::io {

namespace {

// Pages are let go a stretch at a time: a system call per read would cost more than
// the read itself.
constexpr int64_t kDropStride = int64_t{1} << 20;

}  // namespace

FileHandle::~FileHandle() { close(); }

bool FileHandle::open(const FileSource& source) {
  return source.inMemory() ? openMemory(source.bytes()) : open(source.path());
}

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

bool FileHandle::openMemory(std::span<const uint8_t> bytes) {
  close();
  if (bytes.size() > static_cast<uint64_t>(INT64_MAX)) return false;
  memory_ = bytes;
  in_memory_ = true;
  return true;
}

void FileHandle::close() {
  if (fd_ >= 0) {
    if (bypass_cache_) dropReadPages(0);  // 0: to the end of the file
    ::close(fd_);
  }
  fd_ = -1;
  memory_ = {};
  in_memory_ = false;
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
  if (end - dropped_up_to_ < kDropStride) return;
  ::posix_fadvise(fd_, dropped_up_to_, end - dropped_up_to_, POSIX_FADV_DONTNEED);
  dropped_up_to_ = end;
}

int64_t FileHandle::length() const {
  if (in_memory_) return static_cast<int64_t>(memory_.size());
  struct stat st {};
  if (fd_ < 0 || ::fstat(fd_, &st) != 0) return -1;
  return st.st_size;
}

bool FileHandle::seek(uint64_t offset) {
  if (!isOpen() || offset > static_cast<uint64_t>(INT64_MAX)) return false;
  position_ = static_cast<int64_t>(offset);
  dropped_up_to_ = std::min(dropped_up_to_, position_ & ~int64_t{4095});
  return true;
}

int64_t FileHandle::readAt(uint64_t offset, void* out, size_t n) const {
  if (in_memory_) {
    if (offset >= memory_.size()) return 0;
    const size_t got = static_cast<size_t>(std::min<uint64_t>(n, memory_.size() - offset));
    if (got > 0) std::memcpy(out, memory_.data() + offset, got);
    return static_cast<int64_t>(got);
  }
  if (fd_ < 0) return -1;
  // pread takes a signed offset, and refuses a range that would end past the largest
  // one; nothing can lie there anyway.
  constexpr uint64_t kLargest = static_cast<uint64_t>(INT64_MAX);
  if (offset >= kLargest) return 0;
  n = static_cast<size_t>(std::min<uint64_t>(n, kLargest - offset));
  size_t got = 0;
  auto* to = static_cast<char*>(out);
  while (got < n) {
    ssize_t r = ::pread(fd_, to + got, n - got, static_cast<off_t>(offset + got));
    if (r < 0 && errno == EINTR) continue;
    if (r < 0) return -1;
    if (r == 0) break;
    got += static_cast<size_t>(r);
  }
  return static_cast<int64_t>(got);
}

int64_t FileHandle::read(void* buffer, size_t n) {
  if (!isOpen()) return -1;
  const int64_t got = readAt(static_cast<uint64_t>(position_), buffer, n);
  if (got < 0) {
    read_failed_ = true;
    return -1;
  }
  position_ += got;
  if (bypass_cache_ && got > 0 && fd_ >= 0) dropReadPages(position_);
  return got;
}

std::vector<uint8_t> FileHandle::bytesAt(uint64_t offset, size_t n) const {
  const int64_t length = this->length();
  if (length <= 0 || offset >= static_cast<uint64_t>(length)) return {};
  // No more room than the file holds there, whatever a header asks for.
  std::vector<uint8_t> out(static_cast<size_t>(std::min<uint64_t>(n, static_cast<uint64_t>(length) - offset)));
  const int64_t got = readAt(offset, out.data(), out.size());
  out.resize(got > 0 ? static_cast<size_t>(got) : 0);
  return out;
}

}  // namespace sonara::io
