#include "platform/vector_width.h"

#include <atomic>

namespace sonara::platform {

namespace {

bool processorHasWideVectors() noexcept {
#if SONARA_HAS_WIDE_VECTORS
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2");
#else
  return false;
#endif
}

const bool kProcessorHasWideVectors = processorHasWideVectors();
std::atomic<bool> g_allowed{true};

}  // namespace

bool wideVectors() noexcept { return kProcessorHasWideVectors && g_allowed.load(std::memory_order_relaxed); }

void allowWideVectors(bool allowed) noexcept { g_allowed.store(allowed, std::memory_order_relaxed); }

}  // namespace sonara::platform
