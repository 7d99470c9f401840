// pelmora-cli plugins and devices: what the engine reports through its API.
#include <cstdio>

#include "cli/cli_delegate.h"
#include "cli/commands.h"
#include "cli/device_summary.h"
#include "cli/file_check.h"
#include "cli/json_writer.h"
#include "engine/api/toolkit.h"
#include "engine/output/audio_device_list.h"
#include "platform/named_exception.h"

namespace pelmora::cli {
namespace {

// Starts the engine for the lifetime of one command.
class Engine {
 public:
  explicit Engine(CliDelegate& delegate) : ok_(Toolkit_Init(&delegate) == kToolkitOk) {}
  ~Engine() { Toolkit_Exit(); }
  bool ok() const { return ok_; }

 private:
  bool ok_;
};

}  // namespace

int listPlugins(bool json) {
  CliDelegate delegate;
  Engine engine(delegate);
  if (!engine.ok()) {
    std::fprintf(stderr, "pelmora-cli: the engine could not be started\n");
    return 1;
  }
  std::vector<TkPluginInfoItem> plugins;
  Toolkit_GetPluginVersion(&plugins);
  if (!json && plugins.empty()) std::printf("%s\n", noPluginsReason().c_str());
  for (const auto& p : plugins) {
    if (json) {
      std::puts(JsonObject()
                    .add("name", p.pluginName())
                    .add("exts", p.pluginExt())
                    .add("version", p.pluginVersion())
                    .str()
                    .c_str());
    } else {
      std::printf("%-28s %-24s %s\n", p.pluginName().c_str(), p.pluginExt().c_str(),
                  p.pluginVersion().c_str());
    }
  }
  return 0;
}

// Devices come from the engine's device list itself, which knows more than the
// client records: UIDs, USB IDs, the matched capability row and its flags. They are
// numbered from 1, the numbers `play --device` takes.
int listDevices(bool json, bool verbose) {
  AudioDeviceList list;
  try {
    list.initialize();
  } catch (const sonara::NamedException& e) {
    std::fprintf(stderr, "pelmora-cli: %s\n", e.reason());
  }
  auto devices = list.getDeviceArray(false);
  if (!json && devices.empty()) std::puts("No output devices found.");
  int index = 0;
  for (const auto& d : devices) {
    ++index;
    const uint32_t caps = d->deviceInfo.outputCapabilities;
    const DeviceAbilities abilities = abilitiesOf(list.hal(), *d);
    char flags[16];
    std::snprintf(flags, sizeof flags, "0x%08X", caps);
    if (json) {
      JsonObject o;
      o.add("index", index).add("name", d->name).add("uid", d->deviceUID).add("vid", d->deviceInfo.vid)
          .add("pid", d->deviceInfo.pid).add("row", d->deviceInfoRow).add("flags", flags)
          .add("dop", abilities.dop_dsd > 0).add("native", abilities.native_dsd > 0)
          .add("summary", describeAbilities(abilities));
      if (abilities.in_use_by.empty()) {
        o.addNull("in_use_by");
      } else {
        o.add("in_use_by", abilities.in_use_by);
      }
      std::puts(o.str().c_str());
      continue;
    }
    std::printf("%d. %s\n   %s\n", index, d->name.c_str(), describeAbilities(abilities).c_str());
    if (verbose) {
      char usb[16] = "none";
      if (d->deviceInfo.vid >= 0) {
        std::snprintf(usb, sizeof usb, "%04x:%04x", static_cast<unsigned>(d->deviceInfo.vid),
                      static_cast<unsigned>(d->deviceInfo.pid));
      }
      std::printf("   uid %s, USB %s, table row %u, flags %s\n", d->deviceUID.c_str(), usb, d->deviceInfoRow,
                  flags);
    }
  }
  return 0;
}

}  // namespace pelmora::cli
