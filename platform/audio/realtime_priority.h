// The scheduling of a device's IO thread: SCHED_FIFO, at half the highest priority,
// where the process may have it: as root, or as a user up to RLIMIT_RTPRIO (the soft
// limit raised toward the hard one, the priority lowered to what the limit allows).
#pragma once

#include <pthread.h>

namespace sonara::audio {

// 0 when `thread` now runs under SCHED_FIFO, else the errno of the refusal (ESRCH:
// the thread has already ended). Called by the thread that started it, so that the
// IO thread itself neither waits for the answer nor logs it.
int takeRealtimePriority(pthread_t thread) noexcept;

}  // namespace sonara::audio
