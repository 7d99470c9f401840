// Tells when one file is written or replaced, on a thread of its own, through inotify
// on the file's folder (editors and scripts often replace a file by renaming a new
// one over it, which a watch on the file itself would miss).
#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <thread>

namespace sonara::platform {

class FileWatcher {
 public:
  // `changed` runs on the watcher's thread after each completed write or replacement.
  FileWatcher(std::string path, std::function<void()> changed);
  ~FileWatcher();  // returns once the thread has ended
  FileWatcher(const FileWatcher&) = delete;
  FileWatcher& operator=(const FileWatcher&) = delete;

  bool watching() const { return fd_ >= 0; }

 private:
  void run();

  std::string folder_;
  std::string name_;
  std::function<void()> changed_;
  int fd_ = -1;
  int wake_fd_ = -1;
  std::atomic<bool> stopping_{false};
  std::thread thread_;
};

}  // namespace sonara::platform
