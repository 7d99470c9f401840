// Names the calling thread as `top` and debuggers show it (15 characters at most), so
// that the cost and the wake-ups of each of the engine's threads can be told apart.
#pragma once

#include <pthread.h>

namespace sonara::platform {

inline void nameThisThread(const char* name) { pthread_setname_np(pthread_self(), name); }

}  // namespace sonara::platform
