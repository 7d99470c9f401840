// Calls back when a device's presence changes (it went away or came back), on the
// HAL's notification thread, for as long as the watch exists.
#pragma once

#include <functional>

#include "platform/audio/audio_hal.h"

class DevicePresenceWatch {
 public:
  DevicePresenceWatch(sonara::audio::DeviceId id, std::function<void()> changed);
  // Returns once no call of `changed` is running any more.
  ~DevicePresenceWatch();
  DevicePresenceWatch(const DevicePresenceWatch&) = delete;
  DevicePresenceWatch& operator=(const DevicePresenceWatch&) = delete;

 private:
  static void presenceChanged(sonara::audio::DeviceId id, void* client);

  sonara::audio::AudioHal& hal_;
  sonara::audio::DeviceId id_;
  std::function<void()> changed_;
  bool listening_ = false;
};
