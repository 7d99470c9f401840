#include "platform/standalone_main_loop.h"

#include <future>

namespace sonara::platform {

StandaloneMainLoop::StandaloneMainLoop() : main_thread_(std::this_thread::get_id()) {}

void StandaloneMainLoop::post(Task task) {
  {
    std::lock_guard lock(mutex_);
    queue_.push_back(std::move(task));
  }
  wake_.notify_all();
}

void StandaloneMainLoop::postAndWait(Task task) {
  if (isMainThread()) {
    task();
    return;
  }
  std::promise<void> done;
  auto finished = done.get_future();
  post([&] {
    task();
    done.set_value();
  });
  finished.wait();
}

DelayedPerformId StandaloneMainLoop::performAfter(std::chrono::nanoseconds delay, Task task) {
  DelayedPerformId id;
  {
    std::lock_guard lock(mutex_);
    id = next_id_++;
    timers_.emplace(Clock::now() + delay, Timer{id, std::move(task)});
  }
  wake_.notify_all();
  return id;
}

void StandaloneMainLoop::cancel(DelayedPerformId id) {
  std::lock_guard lock(mutex_);
  for (auto it = timers_.begin(); it != timers_.end(); ++it) {
    if (it->second.id == id) {
      timers_.erase(it);
      return;
    }
  }
}

bool StandaloneMainLoop::takeReady(Task& out, Clock::time_point now) {
  if (!queue_.empty()) {
    out = std::move(queue_.front());
    queue_.pop_front();
    return true;
  }
  if (!timers_.empty() && timers_.begin()->first <= now) {
    out = std::move(timers_.begin()->second.task);
    timers_.erase(timers_.begin());
    return true;
  }
  return false;
}

void StandaloneMainLoop::process(Clock::time_point deadline, bool until_quit) {
  std::unique_lock lock(mutex_);
  main_thread_ = std::this_thread::get_id();
  while (!quit_) {
    Task task;
    if (takeReady(task, Clock::now())) {
      lock.unlock();
      task();
      task = nullptr;  // destroy captures outside the lock
      lock.lock();
      continue;
    }
    auto wake_at = deadline;
    if (!timers_.empty() && timers_.begin()->first < wake_at) wake_at = timers_.begin()->first;
    if (!until_quit && Clock::now() >= deadline) break;
    if (wake_at == Clock::time_point::max()) {
      wake_.wait(lock);
    } else {
      wake_.wait_until(lock, wake_at);
    }
  }
  if (until_quit) quit_ = false;  // the loop can be run again
}

void StandaloneMainLoop::run() { process(Clock::time_point::max(), true); }

void StandaloneMainLoop::runFor(std::chrono::nanoseconds slice) {
  process(Clock::now() + slice, false);
}

void StandaloneMainLoop::quit() {
  {
    std::lock_guard lock(mutex_);
    quit_ = true;
  }
  wake_.notify_all();
}

bool StandaloneMainLoop::isMainThread() const {
  std::lock_guard lock(mutex_);
  return std::this_thread::get_id() == main_thread_;
}

}  // namespace sonara::platform
