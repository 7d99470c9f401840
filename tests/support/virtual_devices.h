// Virtual device descriptions for the tests, written as the device file format.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/audio/virtual_hal.h"

struct FormatJson {
  double rate = 44100;  // 0: a range
  double min_rate = 0, max_rate = 0;
  int bits = 24, bytes = 4, channels = 2;
  bool non_mixable = false, dsd = false;

  std::string str() const {
    return "{\"rate\":" + std::to_string(rate) + ",\"min_rate\":" + std::to_string(min_rate ? min_rate : rate) +
           ",\"max_rate\":" + std::to_string(max_rate ? max_rate : rate) + ",\"bits\":" + std::to_string(bits) +
           ",\"bytes_per_sample\":" + std::to_string(bytes) + ",\"channels\":" + std::to_string(channels) +
           ",\"non_mixable\":" + (non_mixable ? "true" : "false") + ",\"dsd\":" + (dsd ? "true" : "false") + "}";
  }
};

// A format of one exact rate, or of a range when `rate` is 0.
inline FormatJson formatJson(double rate, int bits, int bytes, int channels = 2, bool non_mixable = false,
                             bool dsd = false, double min_rate = 32000, double max_rate = 384000) {
  FormatJson f;
  f.rate = rate;
  if (rate == 0) {
    f.min_rate = min_rate;
    f.max_rate = max_rate;
  }
  f.bits = bits;
  f.bytes = bytes;
  f.channels = channels;
  f.non_mixable = non_mixable;
  f.dsd = dsd;
  return f;
}

struct DeviceJson {
  std::string name = "DAC";
  std::string uid;
  int vid = -1, pid = -1;
  bool vendor_driver = false;
  int output_channels = 2, input_channels = 0;
  std::vector<FormatJson> formats{FormatJson{}};
  int min_frames = 64, max_frames = 16384;
  int frames_step = 1;  // the driver rounds a requested buffer up to a multiple
  double initial_rate = 44100;
  int initial_format = 0;
  bool mute = true, hogged = false, alive = true;
  int format_delay_reads = 0;  // reads before a new format is reported
  std::string capture;
  std::string clock = "freewheel";

  std::string str() const {
    std::string f;
    for (const auto& x : formats) f += (f.empty() ? "" : ",") + x.str();
    std::string usb = vid >= 0 ? ",\"usb\":{\"vid\":" + std::to_string(vid) + ",\"pid\":" + std::to_string(pid) + "}" : "";
    return "{\"name\":\"" + name + "\",\"uid\":\"" + (uid.empty() ? "uid:" + name : uid) + "\"" + usb +
           ",\"vendor_driver\":" + (vendor_driver ? "true" : "false") +
           ",\"output_channels\":" + std::to_string(output_channels) +
           ",\"input_channels\":" + std::to_string(input_channels) + ",\"formats\":[" + f +
           "],\"buffer_frames\":{\"min\":" + std::to_string(min_frames) + ",\"max\":" + std::to_string(max_frames) +
           ",\"step\":" + std::to_string(frames_step) + "},\"initial\":{\"rate\":" + std::to_string(initial_rate) + ",\"format\":" + std::to_string(initial_format) +
           ",\"buffer_frames\":512},\"mute\":" + (mute ? "true" : "false") +
           ",\"format_delay_reads\":" + std::to_string(format_delay_reads) +
           ",\"hogged_by_other\":" + (hogged ? "true" : "false") + ",\"alive\":" + (alive ? "true" : "false") +
           ",\"capture\":\"" + capture + "\",\"clock\":\"" + clock + "\"}";
  }
};

inline std::string devicesJson(const std::vector<DeviceJson>& devices) {
  std::string list;
  for (const auto& d : devices) list += (list.empty() ? "" : ",") + d.str();
  return "{\"devices\":[" + list + "]}";
}

inline std::shared_ptr<sonara::audio::VirtualHal> makeVirtualHal(const std::vector<DeviceJson>& devices) {
  std::string error;
  auto setups = sonara::audio::parseVirtualDevices(devicesJson(devices), &error);
  if (!setups) return nullptr;
  return std::make_shared<sonara::audio::VirtualHal>(std::move(*setups));
}
