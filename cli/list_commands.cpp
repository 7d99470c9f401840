// pelmora-cli plugins and devices: what the engine reports through its API.
#include <cstdio>

#include "cli/cli_delegate.h"
#include "cli/commands.h"
#include "cli/json_writer.h"
#include "engine/api/toolkit.h"

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
  if (!json && plugins.empty()) std::puts("No decoder plug-ins are loaded.");
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

int listDevices(bool json) {
  CliDelegate delegate;
  Engine engine(delegate);
  if (!engine.ok()) {
    std::fprintf(stderr, "pelmora-cli: the engine could not be started\n");
    return 1;
  }
  std::vector<TkDeviceInfo> devices;
  if (Toolkit_GetDeviceList(&devices) == kToolkitNoDevice && !json) {
    std::puts("No output devices found.");
  }
  for (const auto& d : devices) {
    std::string name = d.deviceName().value_or("");
    if (json) {
      std::puts(JsonObject()
                    .add("name", name)
                    .add("dop", d.isDoPSupported())
                    .add("native", d.isDSDNativeSupported())
                    .str()
                    .c_str());
    } else {
      std::printf("%-40s DoP: %-3s  DSD native: %s\n", name.c_str(),
                  d.isDoPSupported() ? "yes" : "no", d.isDSDNativeSupported() ? "yes" : "no");
    }
  }
  return 0;
}

}  // namespace pelmora::cli
