#include "engine/plugin/plugin_host.h"

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

const SonaraHostServices kServices{sizeof(SonaraHostServices), &hostLogLine};

}  // namespace

const SonaraHostServices* pluginHostServices() { return &kServices; }

}  // namespace sonara
