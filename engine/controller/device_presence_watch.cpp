#include "engine/controller/device_presence_watch.h"

#include "platform/log.h"

using namespace sonara::audio;

DevicePresenceWatch::DevicePresenceWatch(DeviceId id, std::function<void()> changed)
    : hal_(systemHal()), id_(id), changed_(std::move(changed)) {
  Status s = hal_.addAliveListener(id_, &DevicePresenceWatch::presenceChanged, this);
  listening_ = s == kNoError;
  if (!listening_) {
    sonara::platform::logLine("AudioObjectAddPropertyListener Failed. (0x%08lX)", statusHex(s));
  }
}

DevicePresenceWatch::~DevicePresenceWatch() {
  if (listening_) hal_.removeAliveListener(id_, &DevicePresenceWatch::presenceChanged, this);
}

void DevicePresenceWatch::presenceChanged(DeviceId, void* client) {
  static_cast<DevicePresenceWatch*>(client)->changed_();
}
