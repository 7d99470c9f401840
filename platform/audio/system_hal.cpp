#include <cstdlib>
#include <mutex>

#include "platform/audio/audio_hal.h"
#include "platform/audio/alsa_hal.h"
#include "platform/audio/virtual_hal.h"
#include "platform/log.h"

namespace sonara::audio {
namespace {

std::mutex g_mutex;
std::shared_ptr<AudioHal> g_hal;

std::shared_ptr<AudioHal> makeSystemHal() {
  if (const char* file = std::getenv("SONARA_VIRTUAL_DEVICES"); file && *file) {
    std::string error;
    if (auto setups = loadVirtualDevices(file, &error)) {
      auto hal = std::make_shared<VirtualHal>(std::move(*setups));
      hal->followFile(file);
      return hal;
    }
    platform::logLine("Virtual device file %s cannot be used: %s", file, error.c_str());
    return std::make_shared<VirtualHal>(std::vector<VirtualDeviceSetup>{});
  }
  auto cards = AlsaHal::enumerate();
  // Cards plugged in later are looked for; a machine without any at the start keeps
  // the capture device.
  if (!cards.empty()) return std::make_shared<AlsaHal>(std::move(cards), makeAlsaPcmPort, AlsaHal::cardsWhenChanged());
  // Without sound hardware the built-in capture device is the output.
  return std::make_shared<VirtualHal>(std::vector<VirtualDeviceSetup>{builtInCaptureDevice()});
}

}  // namespace

AudioHal& systemHal() {
  std::lock_guard lock(g_mutex);
  if (!g_hal) g_hal = makeSystemHal();
  return *g_hal;
}

void installHal(std::shared_ptr<AudioHal> hal) {
  std::lock_guard lock(g_mutex);
  g_hal = std::move(hal);
}

}  // namespace sonara::audio
