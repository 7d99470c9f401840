#include "platform/audio/capture_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include "platform/atomic_file.h"

namespace sonara::audio {
namespace {

pid_t readPid(int fd) {
  char text[32] = {};
  ssize_t n = ::pread(fd, text, sizeof text - 1, 0);
  if (n <= 0) return -1;
  long pid = std::strtol(text, nullptr, 10);
  return pid > 0 ? static_cast<pid_t>(pid) : -1;
}

}  // namespace

bool CaptureLock::take(pid_t* holder, std::string* error) {
  if (holder) *holder = -1;
  if (fd_ >= 0) return true;
  auto slash = path_.find_last_of('/');
  if (slash != std::string::npos && slash > 0) platform::makeDirectories(path_.substr(0, slash));
  int fd = ::open(path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) {
    if (error) *error = "cannot create " + path_ + ": " + std::strerror(errno);
    return false;
  }
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int why = errno;
    if (why == EWOULDBLOCK) {
      if (holder) *holder = readPid(fd);
    } else if (error) {
      *error = "cannot lock " + path_ + ": " + std::strerror(why);
    }
    ::close(fd);
    return false;
  }
  std::string pid = std::to_string(::getpid()) + "\n";
  if (::ftruncate(fd, 0) != 0 || ::pwrite(fd, pid.data(), pid.size(), 0) != static_cast<ssize_t>(pid.size())) {
    // The lock holds without the PID; others then learn only that the device is busy.
  }
  fd_ = fd;
  return true;
}

void CaptureLock::release() {
  if (fd_ < 0) return;
  if (::ftruncate(fd_, 0) != 0) {
    // An old PID left behind is harmless: only a held lock makes the device busy.
  }
  ::flock(fd_, LOCK_UN);
  ::close(fd_);
  fd_ = -1;
}

pid_t CaptureLock::otherHolder() const {
  if (fd_ >= 0) return -1;
  int fd = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return -1;
  pid_t pid = -1;
  if (::flock(fd, LOCK_SH | LOCK_NB) != 0) {
    if (errno == EWOULDBLOCK) pid = readPid(fd);
  } else {
    ::flock(fd, LOCK_UN);
  }
  ::close(fd);
  return pid;
}

std::string describeProcess(pid_t pid) {
  std::string text = "PID " + std::to_string(pid);
  std::ifstream comm("/proc/" + std::to_string(pid) + "/comm");
  std::string name;
  if (std::getline(comm, name) && !name.empty()) text += " (" + name + ")";
  return text;
}

}  // namespace sonara::audio
