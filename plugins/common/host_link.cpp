#include "plugins/common/host_link.h"

#include <atomic>
#include <cstdarg>
#include <cstddef>
#include <cstdio>
#include <string>

#include "platform/vformat.h"

namespace sonara::plugin {
namespace {

std::atomic<const SonaraHostServices*> g_host{nullptr};

// The plug-in's own phase while no host offers one.
std::atomic<uint8_t> g_own_marker_phase{0x05};

// The table's field when the attached host has it, else null.
#define HOST_FIELD(name)                                                                             \
  [] {                                                                                               \
    const SonaraHostServices* host = g_host.load(std::memory_order_acquire);                         \
    return host && host->size >= offsetof(SonaraHostServices, name) + sizeof(SonaraHostServices::name) \
               ? host->name                                                                          \
               : nullptr;                                                                            \
  }()

}  // namespace

void attachHost(const SonaraHostServices* host) noexcept { g_host.store(host, std::memory_order_release); }

void logLine(const char* format, ...) noexcept {
  try {
    va_list args;
    va_start(args, format);
    const std::string line = sonara::platform::vformat(format, args);
    va_end(args);
    if (auto log = HOST_FIELD(log_line)) {
      log(line.c_str());
    } else {
      std::fprintf(stderr, "%s\n", line.c_str());
    }
  } catch (...) {
    // Nothing is left to say it with.
  }
}

uint8_t dopMarkerPhase() noexcept {
  if (auto get = HOST_FIELD(dop_marker_phase)) return get();
  return g_own_marker_phase.load(std::memory_order_relaxed);
}

void setDopMarkerPhase(uint8_t marker) noexcept {
  if (auto set = HOST_FIELD(set_dop_marker_phase)) {
    set(marker);
  } else {
    g_own_marker_phase.store(marker, std::memory_order_relaxed);
  }
}

}  // namespace sonara::plugin
