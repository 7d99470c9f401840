#include "cli/device_choice.h"

#include <cctype>
#include <cstdlib>

#include "engine/output/audio_device_list.h"
#include "platform/named_exception.h"

namespace pelmora::cli {
namespace {

bool sameIgnoringCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
}

}  // namespace

std::vector<std::shared_ptr<AudioDevice>> outputDevices(std::string* error) {
  AudioDeviceList list;
  try {
    list.initialize();
  } catch (const sonara::NamedException& e) {
    if (error) *error = e.reason();
  }
  return list.getDeviceArray(false);
}

std::string chooseDevice(const std::string& wanted, std::string* error) {
  std::string list_error;
  auto devices = outputDevices(&list_error);
  if (devices.empty()) {
    *error = "no output device found" + (list_error.empty() ? "" : " (" + list_error + ")");
    return {};
  }
  if (wanted.empty()) return devices.front()->name;
  for (const auto& d : devices) {
    if (d->name == wanted || d->deviceUID == wanted) return d->name;
  }
  for (const auto& d : devices) {
    if (sameIgnoringCase(d->name, wanted)) return d->name;
  }
  char* end = nullptr;
  long index = std::strtol(wanted.c_str(), &end, 10);
  if (!wanted.empty() && end && *end == '\0' && index >= 1 && index <= static_cast<long>(devices.size())) {
    return devices[static_cast<size_t>(index - 1)]->name;
  }
  *error = "no output device named \"" + wanted + "\" (see pelmora-cli devices)";
  return {};
}

}  // namespace pelmora::cli
