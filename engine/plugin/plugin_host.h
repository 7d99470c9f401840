// The services the engine hands every plug-in it loads: its log, so that what
// plug-ins say is routed, folded and counted like the engine's own lines.
#pragma once

#include "plugin/host_services.h"

namespace sonara {

// The one table of the process; it lives until the process ends.
const SonaraHostServices* pluginHostServices();

}  // namespace sonara
