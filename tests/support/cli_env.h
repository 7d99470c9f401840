// A hermetic setting for running pelmora-cli: a temporary folder with a virtual
// device file and a settings file of its own.
#pragma once

#include <fstream>
#include <string>
#include <vector>

#include "support/read_bytes.h"
#include "support/temp_dir.h"
#include "support/virtual_devices.h"

class CliEnv {
 public:
  explicit CliEnv(std::vector<DeviceJson> devices = {DeviceJson{}}) { setDevices(std::move(devices)); }

  void setDevices(std::vector<DeviceJson> devices) {
    std::ofstream(dir.file("devices.json")) << devicesJson(devices);
  }
  // "SONARA_VIRTUAL_DEVICES=... SONARA_DEFAULTS=... <cli> " ready for arguments.
  std::string cli(const std::string& extra_env = "") const {
    return "env SONARA_VIRTUAL_DEVICES=" + dir.file("devices.json") + " SONARA_DEFAULTS=" + dir.file("d.plist") + " " +
           extra_env + (extra_env.empty() ? "" : " ") + PELMORA_CLI_PATH + " ";
  }

  TempDir dir;
};

// A free-running 32-bit PCM device for 44.1 to 192 kHz, capturing into `capture`.
inline DeviceJson capturingDac(const std::string& capture, const std::string& name = "Test DAC") {
  DeviceJson d;
  d.name = name;
  d.formats = {formatJson(0, 32, 4, 2, false, false, 44100, 192000)};
  d.capture = capture;
  return d;
}

// The same device paced like hardware.
inline DeviceJson realtimeDac(const std::string& capture, const std::string& name = "Test DAC") {
  DeviceJson d = capturingDac(capture, name);
  d.clock = "realtime";
  return d;
}

