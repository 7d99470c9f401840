// The main thread's run loop: posted work runs later on the main thread, in order;
// delayed work can be cancelled.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>

namespace sonara::platform {

using Task = std::function<void()>;
using DelayedPerformId = uint64_t;

class MainLoop {
 public:
  virtual ~MainLoop() = default;

  // Runs `task` on the main thread after everything posted before it.
  virtual void post(Task task) = 0;
  // Runs `task` on the main thread and returns when it has run; on the main thread
  // itself it runs at once.
  virtual void postAndWait(Task task) = 0;
  // Runs `task` on the main thread after `delay`; cancel() before then drops it.
  virtual DelayedPerformId performAfter(std::chrono::nanoseconds delay, Task task) = 0;
  virtual void cancel(DelayedPerformId id) = 0;
  // Processes work until quit(); the calling thread becomes the main thread.
  virtual void run() = 0;
  // Processes work for at most `slice` (a modal run's step), then returns.
  virtual void runFor(std::chrono::nanoseconds slice) = 0;
  virtual void quit() = 0;
  virtual bool isMainThread() const = 0;
};

}  // namespace sonara::platform
