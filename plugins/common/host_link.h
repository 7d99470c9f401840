// A plug-in's link to its host: the services table handed over at load, and the
// plug-in side's ways of using it. Until a host attaches (a decoder driven directly
// by a test, a benchmark or a fuzzer) lines go to standard error and the DoP marker
// phase is the plug-in's own.
#pragma once

#include <cstdint>

#include "plugin/host_services.h"

namespace sonara::plugin {

// Keeps the host's table for the rest of the process; null detaches.
void attachHost(const SonaraHostServices* host) noexcept;

// printf-style; one line for the host's log.
void logLine(const char* format, ...) noexcept __attribute__((format(printf, 1, 2)));

// The marker of the next DoP frame, shared by every DSD plug-in of the process.
uint8_t dopMarkerPhase() noexcept;
void setDopMarkerPhase(uint8_t marker) noexcept;

}  // namespace sonara::plugin
