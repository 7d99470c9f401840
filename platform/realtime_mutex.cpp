#include "platform/realtime_mutex.h"

namespace sonara::platform {

void initRealtimeMutex(pthread_mutex_t* mutex) noexcept {
  pthread_mutexattr_t attributes;
  pthread_mutexattr_init(&attributes);
  const bool inheriting = pthread_mutexattr_setprotocol(&attributes, PTHREAD_PRIO_INHERIT) == 0;
  if (!inheriting || pthread_mutex_init(mutex, &attributes) != 0) pthread_mutex_init(mutex, nullptr);
  pthread_mutexattr_destroy(&attributes);
}

}  // namespace sonara::platform
