#include "platform/audio/realtime_priority.h"

#include <sched.h>
#include <sys/resource.h>

#include <algorithm>
#include <cerrno>

namespace sonara::audio {

int takeRealtimePriority(pthread_t thread) noexcept {
  const int wanted = std::max(1, sched_get_priority_max(SCHED_FIFO) / 2);
  sched_param param{};
  param.sched_priority = wanted;
  const int refused = pthread_setschedparam(thread, SCHED_FIFO, &param);
  if (refused != EPERM) return refused;
  // Without the privilege a process may still have priorities up to its soft
  // RLIMIT_RTPRIO, and may raise that limit up to the hard one.
  rlimit limit{};
  if (getrlimit(RLIMIT_RTPRIO, &limit) != 0) return refused;
  const auto wanted_limit = static_cast<rlim_t>(wanted);
  if (limit.rlim_cur < wanted_limit && limit.rlim_max > limit.rlim_cur) {
    rlimit raised = limit;
    raised.rlim_cur = std::min(limit.rlim_max, wanted_limit);
    if (setrlimit(RLIMIT_RTPRIO, &raised) == 0) limit = raised;
  }
  if (limit.rlim_cur == 0) return refused;
  param.sched_priority = static_cast<int>(std::min(limit.rlim_cur, wanted_limit));
  return pthread_setschedparam(thread, SCHED_FIFO, &param);
}

}  // namespace sonara::audio
