#include "platform/work_queue.h"

namespace sonara::platform {

WorkQueue::WorkQueue() : thread_([this] { loop(); }) {}

WorkQueue::~WorkQueue() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  thread_.join();
}

void WorkQueue::async(std::function<void()> task) {
  // Notified under the lock: a thread that is never joined (a decoding thread left
  // behind) touches the queue only inside it, so the queue's end is ordered after.
  std::lock_guard lock(mutex_);
  tasks_.push_back(std::move(task));
  wake_.notify_one();
}

void WorkQueue::drain() {
  std::unique_lock lock(mutex_);
  idle_.wait(lock, [this] { return tasks_.empty() && !busy_; });
}

void WorkQueue::loop() {
  std::unique_lock lock(mutex_);
  for (;;) {
    wake_.wait(lock, [this] { return stopping_ || !tasks_.empty(); });
    if (tasks_.empty()) return;  // stopping with nothing left
    auto task = std::move(tasks_.front());
    tasks_.pop_front();
    busy_ = true;
    lock.unlock();
    task();
    task = nullptr;
    lock.lock();
    busy_ = false;
    if (tasks_.empty()) idle_.notify_all();
  }
}

WorkQueue& backgroundQueue() {
  static WorkQueue queue;
  return queue;
}

}  // namespace sonara::platform
