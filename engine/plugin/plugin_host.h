// The services the engine hands every plug-in it loads: its log, so that what
// plug-ins say is routed, folded and counted like the engine's own lines, and the
// one DoP marker phase of the process, so that the alternation goes on from a track
// of one DSD plug-in to a track of another.
#pragma once

#include "plugin/host_services.h"

namespace sonara {

// The one table of the process; it lives until the process ends.
const SonaraHostServices* pluginHostServices();

}  // namespace sonara
