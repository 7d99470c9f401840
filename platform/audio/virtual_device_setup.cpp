#include "platform/audio/virtual_device_setup.h"

#include <nlohmann/json.hpp>

#include <cstdlib>
#include <limits>
#include <type_traits>

#include "platform/atomic_file.h"

namespace sonara::audio {

using nlohmann::json;

namespace {

template <typename T>
T valueOr(const json& j, const char* key, T fallback) {
  auto it = j.find(key);
  if (it == j.end() || it->is_null()) return fallback;
  if constexpr (std::is_arithmetic_v<T> && !std::is_same_v<T, bool>) {
    // A number out of the type's range is an error, not a wrapped value.
    if (!it->is_number()) throw std::runtime_error(std::string("\"") + key + "\" must be a number");
    double v = it->get<double>();
    if (!(v >= static_cast<double>(std::numeric_limits<T>::lowest()) &&
          v <= static_cast<double>(std::numeric_limits<T>::max()))) {
      throw std::runtime_error(std::string("\"") + key + "\" is out of range");
    }
    if (it->is_number_float()) return static_cast<T>(v);
  }
  return it->get<T>();
}

VirtualFormat parseFormat(const json& j) {
  VirtualFormat f;
  f.rate = valueOr(j, "rate", 0.0);
  f.min_rate = valueOr(j, "min_rate", f.rate);
  f.max_rate = valueOr(j, "max_rate", f.rate);
  f.bits = valueOr(j, "bits", 16u);
  f.bytes_per_sample = valueOr(j, "bytes_per_sample", (f.bits + 7) / 8);
  f.channels = valueOr(j, "channels", 2u);
  f.non_mixable = valueOr(j, "non_mixable", false);
  f.dsd = valueOr(j, "dsd", false);
  if (f.bits == 0 || f.bits > 32 || f.bytes_per_sample == 0 || f.bytes_per_sample > 4 ||
      f.bits > 8 * f.bytes_per_sample || f.channels == 0 || f.channels > 64) {
    throw std::runtime_error("a format has impossible bits, bytes or channels");
  }
  if (f.rate < 0 || f.min_rate < 0 || f.max_rate < f.min_rate) {
    throw std::runtime_error("a format has an impossible rate range");
  }
  return f;
}

VirtualDeviceSetup parseDevice(const json& j, size_t index) {
  VirtualDeviceSetup d;
  d.name = valueOr<std::string>(j, "name", "Virtual Device " + std::to_string(index + 1));
  d.uid = valueOr<std::string>(j, "uid", "virtual:" + std::to_string(index + 1));
  d.model_uid = valueOr<std::string>(j, "model_uid", d.uid + ":model");
  if (auto it = j.find("usb"); it != j.end() && it->is_object()) {
    d.usb = std::make_pair(valueOr(*it, "vid", -1), valueOr(*it, "pid", -1));
  }
  d.vendor_driver = valueOr(j, "vendor_driver", false);
  d.output_channels = valueOr(j, "output_channels", 2u);
  d.input_channels = valueOr(j, "input_channels", 0u);
  if (auto it = j.find("formats"); it != j.end()) {
    for (const auto& f : *it) d.formats.push_back(parseFormat(f));
  }
  if (auto it = j.find("buffer_frames"); it != j.end()) {
    d.min_buffer_frames = valueOr(*it, "min", d.min_buffer_frames);
    d.max_buffer_frames = valueOr(*it, "max", d.max_buffer_frames);
    d.buffer_frames_step = valueOr(*it, "step", d.buffer_frames_step);
  }
  if (d.min_buffer_frames == 0 || d.max_buffer_frames < d.min_buffer_frames ||
      d.max_buffer_frames > (1u << 20)) {
    throw std::runtime_error("buffer_frames must satisfy 0 < min <= max <= 1048576");
  }
  if (d.buffer_frames_step == 0 || d.buffer_frames_step > d.max_buffer_frames) {
    throw std::runtime_error("buffer_frames.step must satisfy 0 < step <= max");
  }
  d.initial_buffer_frames = d.min_buffer_frames;
  if (auto it = j.find("initial"); it != j.end()) {
    d.initial_rate = valueOr(*it, "rate", d.initial_rate);
    d.initial_format = valueOr(*it, "format", 0u);
    d.initial_buffer_frames = valueOr(*it, "buffer_frames", d.initial_buffer_frames);
  }
  if (!d.formats.empty() && d.initial_format >= d.formats.size()) {
    throw std::runtime_error("initial.format is not an index into formats");
  }
  d.format_delay_reads = valueOr(j, "format_delay_reads", 0u);
  d.mute_supported = valueOr(j, "mute", true);
  d.hogged_by_other = valueOr(j, "hogged_by_other", false);
  d.alive = valueOr(j, "alive", true);
  d.capture = valueOr<std::string>(j, "capture", "");
  std::string clock = valueOr<std::string>(j, "clock", "freewheel");
  if (clock == "realtime") {
    d.clock = VirtualClock::Realtime;
  } else if (clock != "freewheel") {
    throw std::runtime_error("clock must be \"freewheel\" or \"realtime\"");
  }
  return d;
}

}  // namespace

std::optional<std::vector<VirtualDeviceSetup>> parseVirtualDevices(const std::string& text,
                                                                  std::string* error) {
  try {
    json root = json::parse(text);
    std::vector<VirtualDeviceSetup> devices;
    const auto& list = root.at("devices");
    if (!list.is_array()) throw std::runtime_error("\"devices\" must be an array");
    for (size_t i = 0; i < list.size(); ++i) devices.push_back(parseDevice(list[i], i));
    return devices;
  } catch (const std::exception& e) {
    if (error) *error = e.what();
    return std::nullopt;
  }
}

std::optional<std::vector<VirtualDeviceSetup>> loadVirtualDevices(const std::string& path,
                                                                 std::string* error) {
  auto text = platform::readWholeFile(path, 16u << 20);
  if (!text) {
    if (error) *error = "cannot read " + path;
    return std::nullopt;
  }
  return parseVirtualDevices(*text, error);
}

std::string defaultCapturePath() {
  std::string base;
  if (const char* x = std::getenv("XDG_CACHE_HOME"); x && *x) {
    base = x;
  } else if (const char* h = std::getenv("HOME"); h && *h) {
    base = std::string(h) + "/.cache";
  } else {
    base = "/tmp";
  }
  return base + "/pelmora/capture.raw";
}

VirtualDeviceSetup builtInCaptureDevice() {
  static const double kRates[] = {32000,  44100,  48000,  88200,  96000,  176400,
                                  192000, 352800, 384000, 705600, 768000, 1411200};
  VirtualDeviceSetup d;
  d.name = "Pelmora Capture";
  d.uid = "pelmora:capture";
  d.model_uid = "pelmora:capture:model";
  d.output_channels = 2;
  for (uint32_t bits : {16u, 24u, 32u}) {
    for (double rate : kRates) {
      VirtualFormat f;
      f.rate = f.min_rate = f.max_rate = rate;
      f.bits = bits;
      f.bytes_per_sample = bits / 8;
      f.channels = 2;
      d.formats.push_back(f);
    }
  }
  d.min_buffer_frames = 64;
  d.max_buffer_frames = 65536;
  d.initial_rate = 44100;
  d.initial_format = 1;  // 16-bit at 44100 Hz
  d.initial_buffer_frames = 512;
  d.capture = defaultCapturePath();
  d.clock = VirtualClock::Realtime;
  return d;
}

}  // namespace sonara::audio
