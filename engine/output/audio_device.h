// One enumerated audio device with its capability record.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "engine/output/audio_device_info.h"
#include "platform/audio/audio_hal.h"

class AudioDevice {
 public:
  // A probed device matched against the capability table, or null when its name,
  // model UID or device UID cannot be read.
  static std::shared_ptr<AudioDevice> deviceWithID(sonara::audio::AudioHal& hal,
                                                   sonara::audio::DeviceId id);

  // Probes; none changes the device. Failures raise NamedException "ERROR" where
  // noted in the implementation.
  static bool isInput(sonara::audio::AudioHal& hal, sonara::audio::DeviceId id);
  static std::optional<std::string> getName(sonara::audio::AudioHal& hal, sonara::audio::DeviceId id);
  static std::optional<std::string> getModelUID(sonara::audio::AudioHal& hal, sonara::audio::DeviceId id);
  static std::optional<std::string> getDeviceUID(sonara::audio::AudioHal& hal, sonara::audio::DeviceId id);
  static uint32_t countChannnels(sonara::audio::AudioHal& hal, sonara::audio::DeviceId id, bool input);
  // The first output stream offers a non-mixable signed-integer format: the
  // container of native DSD in 32-bit words.
  static bool getIntegerMode(sonara::audio::AudioHal& hal, sonara::audio::DeviceId id);
  // The first output stream offers a format carrying native DSD in 16-bit words.
  static bool offersNativeDsd16(sonara::audio::AudioHal& hal, sonara::audio::DeviceId id);
  // The device's driver is not the system's own.
  static bool getVendorDriver(sonara::audio::AudioHal& hal, const std::string& device_uid);
  static void getVidPid(sonara::audio::AudioHal& hal, const std::string& device_uid, int32_t* vid,
                        int32_t* pid);

  std::string name;
  std::string modelUID;
  std::string deviceUID;
  sonara::audio::DeviceId device_id = 0;
  bool hasInputChannels = false;
  bool hasOutputChannels = false;
  bool hasIntegerMode = false;
  bool isVendorDriver = false;
  AudioDeviceInfo deviceInfo;
  uint32_t deviceInfoRow = 0;  // the table row it matched
};
