// Tells when the system is about to sleep and when it woke: logind's PrepareForSleep
// signal on the system bus. Without a system bus it watches nothing.
#pragma once

#include <atomic>
#include <functional>
#include <thread>

namespace sonara::platform {

class SleepWatcher {
 public:
  // `handler(true)` before sleep, `handler(false)` after waking; on the watcher's thread.
  explicit SleepWatcher(std::function<void(bool)> handler);
  ~SleepWatcher();
  bool watching() const { return watching_.load(); }

 private:
  void run();

  std::function<void(bool)> handler_;
  std::atomic<bool> stopping_{false};
  std::atomic<bool> watching_{false};
  int wake_fd_ = -1;  // written by the destructor to end the thread's wait
  std::thread thread_;
};

}  // namespace sonara::platform
