// A mutex that a device's real-time IO thread shares with ordinary threads. It
// inherits priority: while the IO thread waits for it, the thread holding it runs at
// the IO thread's priority, so that a busy machine cannot keep the holder, and with
// it the IO thread, off the processor. Usable with std::lock_guard, std::unique_lock
// and std::condition_variable_any.
#pragma once

#include <pthread.h>

namespace sonara::platform {

// Makes `mutex` a priority-inheriting mutex (a plain one where the system has none).
void initRealtimeMutex(pthread_mutex_t* mutex) noexcept;

class RealtimeMutex {
 public:
  RealtimeMutex() noexcept { initRealtimeMutex(&mutex_); }
  ~RealtimeMutex() { pthread_mutex_destroy(&mutex_); }
  RealtimeMutex(const RealtimeMutex&) = delete;
  RealtimeMutex& operator=(const RealtimeMutex&) = delete;

  void lock() noexcept { pthread_mutex_lock(&mutex_); }
  bool try_lock() noexcept { return pthread_mutex_trylock(&mutex_) == 0; }
  void unlock() noexcept { pthread_mutex_unlock(&mutex_); }

 private:
  pthread_mutex_t mutex_;
};

}  // namespace sonara::platform
