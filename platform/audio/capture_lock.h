// A capture device is exclusive like a real one, also between processes: the
// process that takes it holds an advisory lock on "<capture>.lock" holding its PID,
// which another process reads to say who has the device.
#pragma once

#include <sys/types.h>

#include <string>

namespace sonara::audio {

class CaptureLock {
 public:
  explicit CaptureLock(std::string capture_path) : path_(std::move(capture_path) + ".lock") {}
  ~CaptureLock() { release(); }
  CaptureLock(const CaptureLock&) = delete;
  CaptureLock& operator=(const CaptureLock&) = delete;

  // True when this process holds the lock now. When another process holds it,
  // `*holder` is its PID (-1 when unknown); on other failures `*error` says why.
  bool take(pid_t* holder, std::string* error);
  void release();
  bool held() const { return fd_ >= 0; }
  // The PID of another process holding the lock, or -1.
  pid_t otherHolder() const;

 private:
  std::string path_;
  int fd_ = -1;
};

// "PID 1234 (pipewire)", or "PID 1234" when its name cannot be read.
std::string describeProcess(pid_t pid);

}  // namespace sonara::audio
