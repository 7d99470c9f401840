#include "plugins/common/host_link.h"

#include <atomic>
#include <cstdarg>
#include <cstddef>
#include <cstdio>
#include <string>

namespace sonara::plugin {
namespace {

std::atomic<const SonaraHostServices*> g_host{nullptr};

// The table's field when the attached host has it, else null.
template <typename Field>
Field hostField(Field SonaraHostServices::*field, size_t end_of_field) {
  const SonaraHostServices* host = g_host.load(std::memory_order_acquire);
  if (!host || host->size < end_of_field) return nullptr;
  return host->*field;
}

}  // namespace

void attachHost(const SonaraHostServices* host) noexcept { g_host.store(host, std::memory_order_release); }

void logLine(const char* format, ...) noexcept {
  try {
    char stack[512];
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    int n = std::vsnprintf(stack, sizeof stack, format, args);
    va_end(args);
    std::string line;
    if (n < 0) {
      line = format;
    } else if (static_cast<size_t>(n) < sizeof stack) {
      line.assign(stack, static_cast<size_t>(n));
    } else {
      line.resize(static_cast<size_t>(n));
      std::vsnprintf(line.data(), line.size() + 1, format, copy);
    }
    va_end(copy);
    auto log = hostField(&SonaraHostServices::log_line,
                         offsetof(SonaraHostServices, log_line) + sizeof(SonaraHostServices::log_line));
    if (log) {
      log(line.c_str());
    } else {
      std::fprintf(stderr, "%s\n", line.c_str());
    }
  } catch (...) {
    // Nothing is left to say it with.
  }
}

}  // namespace sonara::plugin
