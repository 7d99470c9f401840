// The entry point through which the host hands a plug-in its services; compiled into
// every plug-in bundle of this project.
#include "plugins/common/host_link.h"

extern "C" __attribute__((visibility("default"))) void SONARA_PLUGIN_ATTACH_HOST(
    const SonaraHostServices* host) {
  sonara::plugin::attachHost(host);
}
