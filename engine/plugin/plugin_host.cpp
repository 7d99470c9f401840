#include "engine/plugin/plugin_host.h"

#include <atomic>

#include "platform/log.h"

namespace sonara {
namespace {

void hostLogLine(const char* line) noexcept {
  if (!line) return;
  try {
    platform::logLine("%s", line);
  } catch (...) {
    // A line lost to a full memory is not worth a plug-in's crash.
  }
}

// Decoding threads of consecutive tracks take turns with it; each call reads it once
// and writes it once.
std::atomic<uint8_t> g_dop_marker_phase{0x05};

uint8_t hostDopMarkerPhase() noexcept { return g_dop_marker_phase.load(std::memory_order_relaxed); }
void hostSetDopMarkerPhase(uint8_t marker) noexcept { g_dop_marker_phase.store(marker, std::memory_order_relaxed); }

const SonaraHostServices kServices{sizeof(SonaraHostServices), &hostLogLine, &hostDopMarkerPhase,
                                   &hostSetDopMarkerPhase};

}  // namespace

const SonaraHostServices* pluginHostServices() { return &kServices; }

}  // namespace sonara
