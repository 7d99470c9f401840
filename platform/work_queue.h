// A serial queue of work run on its own thread (the background queue).
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace sonara::platform {

class WorkQueue {
 public:
  WorkQueue();
  ~WorkQueue();  // runs what is queued, then joins
  WorkQueue(const WorkQueue&) = delete;
  WorkQueue& operator=(const WorkQueue&) = delete;

  void async(std::function<void()> task);
  // Returns when everything queued before the call has run.
  void drain();

 private:
  void loop();

  std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable idle_;
  std::deque<std::function<void()>> tasks_;
  bool busy_ = false;
  bool stopping_ = false;
  std::thread thread_;
};

// The process-wide background queue.
WorkQueue& backgroundQueue();

}  // namespace sonara::platform
