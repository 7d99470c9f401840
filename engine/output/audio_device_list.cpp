#include "engine/output/audio_device_list.h"

#include "platform/named_exception.h"

using namespace sonara::audio;
using sonara::raiseError;

namespace {
constexpr uint32_t kMaxDevices = 64;
}  // namespace

AudioDeviceList::AudioDeviceList() : hal_(systemHal()) {}
AudioDeviceList::AudioDeviceList(AudioHal& hal) : hal_(hal) {}

void AudioDeviceList::initialize() { buildList(); }

void AudioDeviceList::buildList() {
  uint32_t count = 0;
  if (Status s = hal_.deviceCount(&count); s != kNoError) {
    raiseError("buildList : the list of audio devices cannot be read (0x%08lX)", statusHex(s));
  }
  if (count > kMaxDevices) raiseError("buildList : Too Many Audio Devices. (%d)", static_cast<int>(count));
  std::vector<DeviceId> ids;
  if (Status s = hal_.devices(&ids); s != kNoError) {
    raiseError("buildList : the list of audio devices cannot be read (0x%08lX)", statusHex(s));
  }
  std::vector<DeviceId> alive_ids;
  for (DeviceId id : ids) {
    uint32_t alive = 0;
    if (Status s = hal_.isAlive(id, &alive); s != kNoError) {
      raiseError("buildList : whether a device is present cannot be read (0x%08lX)",
                 statusHex(s));
    }
    if (alive) alive_ids.push_back(id);
  }
  for (DeviceId id : alive_ids) {
    if (auto device = AudioDevice::deviceWithID(hal_, id)) devices_.push_back(std::move(device));
  }
}

std::vector<std::string> AudioDeviceList::getNameList(bool input) const {
  std::vector<std::string> names;
  for (const auto& d : getDeviceArray(input)) names.push_back(d->name);
  return names;
}

std::vector<std::shared_ptr<AudioDevice>> AudioDeviceList::getDeviceArray(bool input) const {
  std::vector<std::shared_ptr<AudioDevice>> out;
  for (const auto& d : devices_) {
    if (input ? d->hasInputChannels : d->hasOutputChannels) out.push_back(d);
  }
  return out;
}

DeviceId AudioDeviceList::getDefaultOutputDeviceID() const {
  DeviceId id = 0;
  if (Status s = hal_.defaultOutputDevice(&id); s != kNoError) {
    raiseError("getDefaultOutputDeviceID : the default output device cannot be read (0x%08lX)", statusHex(s));
  }
  return id;
}

std::shared_ptr<AudioDevice> AudioDeviceList::getDefaultDevice(bool input) const {
  DeviceId id = getDefaultOutputDeviceID();
  for (const auto& d : getDeviceArray(input)) {
    if (d->device_id == id) return d;
  }
  return nullptr;
}

std::optional<std::string> AudioDeviceList::getDefaultDeviceName(bool input) const {
  auto d = getDefaultDevice(input);
  if (!d) return std::nullopt;
  return d->name;
}

int AudioDeviceList::getDefaultDeviceIndex(bool input) const {
  DeviceId id = getDefaultOutputDeviceID();
  auto list = getDeviceArray(input);
  for (size_t i = 0; i < list.size(); ++i) {
    if (list[i]->device_id == id) return static_cast<int>(i);
  }
  return -1;
}

std::shared_ptr<AudioDevice> AudioDeviceList::getOutputAudioDeviceByName(const std::string& name) const {
  for (const auto& d : getDeviceArray(false)) {
    if (d->name == name) return d;
  }
  return nullptr;
}

std::shared_ptr<AudioDevice> AudioDeviceList::getOutputAudioDeviceAtIndex(int index) const {
  if (index < 0) return nullptr;
  auto list = getDeviceArray(false);
  if (static_cast<size_t>(index) >= list.size()) raiseError("getDefaultDeviceIndex : Not Match.");
  return list[static_cast<size_t>(index)];
}

bool AudioDeviceList::setOutputDeviceByName(const std::string& name) {
  auto d = getOutputAudioDeviceByName(name);
  if (!d || d->device_id == 0) return false;
  if (Status s = hal_.setDefaultOutputDevice(d->device_id); s != kNoError) {
    raiseError("setOutputDeviceByName : the default output device cannot be set (0x%08lX)", statusHex(s));
  }
  return true;
}
