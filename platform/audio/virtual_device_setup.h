// Virtual devices as a file describes them ($SONARA_VIRTUAL_DEVICES); see
// docs/virtual-devices.md for the format.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace sonara::audio {

struct VirtualFormat {
  double rate = 0;  // 0: a range
  double min_rate = 0;
  double max_rate = 0;
  uint32_t bits = 16;
  uint32_t bytes_per_sample = 2;
  uint32_t channels = 2;
  bool non_mixable = false;
  bool dsd = false;  // carries native DSD words
};

enum class VirtualClock { Freewheel, Realtime };

struct VirtualDeviceSetup {
  std::string name;
  std::string uid;
  std::string model_uid;
  std::optional<std::pair<int32_t, int32_t>> usb;  // vendor and product ID
  bool vendor_driver = false;
  uint32_t output_channels = 2;
  uint32_t input_channels = 0;
  std::vector<VirtualFormat> formats;
  uint32_t min_buffer_frames = 64;
  uint32_t max_buffer_frames = 8192;
  // A requested size is rounded up to a multiple of this, as drivers round periods.
  uint32_t buffer_frames_step = 1;
  double initial_rate = 44100;
  uint32_t initial_format = 0;
  uint32_t initial_buffer_frames = 512;
  // A new physical format is reported (and used) only after this many reads of
  // it, as devices that apply a format asynchronously do; a very large number is a
  // device that silently keeps its format.
  uint32_t format_delay_reads = 0;
  bool mute_supported = true;
  bool hogged_by_other = false;
  bool alive = true;
  std::string capture;  // file path; empty: nothing captured
  VirtualClock clock = VirtualClock::Freewheel;
};

// The devices of a description file; nothing (and the reason in `error`) when the
// file cannot be read or is malformed.
std::optional<std::vector<VirtualDeviceSetup>> loadVirtualDevices(const std::string& path,
                                                                 std::string* error);
std::optional<std::vector<VirtualDeviceSetup>> parseVirtualDevices(const std::string& json,
                                                                  std::string* error);

// "Pelmora Capture": 16, 24 and 32-bit PCM at every rate of the rate table, two
// channels, paced like hardware, captured into the user's cache folder.
VirtualDeviceSetup builtInCaptureDevice();
std::string defaultCapturePath();

}  // namespace sonara::audio
