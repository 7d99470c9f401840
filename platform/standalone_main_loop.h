// A main loop without a UI toolkit, for the headless player and the tests.
#pragma once

#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <thread>

#include "platform/main_loop.h"

namespace sonara::platform {

class StandaloneMainLoop final : public MainLoop {
 public:
  // The constructing thread is the main thread until run() is called elsewhere.
  StandaloneMainLoop();

  void post(Task task) override;
  void postAndWait(Task task) override;
  DelayedPerformId performAfter(std::chrono::nanoseconds delay, Task task) override;
  void cancel(DelayedPerformId id) override;
  void run() override;
  void runFor(std::chrono::nanoseconds slice) override;
  void quit() override;
  bool isMainThread() const override;

 private:
  using Clock = std::chrono::steady_clock;
  struct Timer {
    DelayedPerformId id;
    Task task;
  };

  // Runs ready work until `deadline` or quit; returns when either comes.
  void process(Clock::time_point deadline, bool until_quit);
  bool takeReady(Task& out, Clock::time_point now);

  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<Task> queue_;
  std::multimap<Clock::time_point, Timer> timers_;
  DelayedPerformId next_id_ = 1;
  bool quit_ = false;
  std::thread::id main_thread_;
};

}  // namespace sonara::platform
