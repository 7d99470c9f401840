// The machine's audio devices, each probed and matched to its capability record.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/output/audio_device.h"

class AudioDeviceList {
 public:
  // An empty list over the process's HAL (or the one given).
  AudioDeviceList();
  explicit AudioDeviceList(sonara::audio::AudioHal& hal);

  // Builds the list. Raises NamedException "ERROR" on the failures of the HAL; the
  // devices appended before a failure stay.
  void initialize();

  std::vector<std::string> getNameList(bool input) const;
  std::vector<std::shared_ptr<AudioDevice>> getDeviceArray(bool input) const;
  sonara::audio::DeviceId getDefaultOutputDeviceID() const;
  std::shared_ptr<AudioDevice> getDefaultDevice(bool input) const;
  std::optional<std::string> getDefaultDeviceName(bool input) const;
  int getDefaultDeviceIndex(bool input) const;
  std::shared_ptr<AudioDevice> getOutputAudioDeviceByName(const std::string& name) const;
  // Null for a negative index; raises when the index is past the output devices.
  std::shared_ptr<AudioDevice> getOutputAudioDeviceAtIndex(int index) const;
  bool setOutputDeviceByName(const std::string& name);

  const std::vector<std::shared_ptr<AudioDevice>>& devices() const { return devices_; }
  sonara::audio::AudioHal& hal() const { return hal_; }

 private:
  void buildList();

  sonara::audio::AudioHal& hal_;
  std::vector<std::shared_ptr<AudioDevice>> devices_;
};
