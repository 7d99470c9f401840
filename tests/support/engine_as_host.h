// Decoders driven directly by a test log through the engine, as they do when the
// engine loads them as plug-ins, so that LogCapture sees their lines.
#pragma once

#include "engine/plugin/plugin_host.h"
#include "plugins/common/host_link.h"

inline void attachEngineAsHost() { sonara::plugin::attachHost(sonara::pluginHostServices()); }
