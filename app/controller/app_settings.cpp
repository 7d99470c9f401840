#include "app/controller/app_settings.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace pelmora::app {

namespace {

struct ConfigDefault {
  const char* key;
  sonara::Value value;
};

// In the configuration's order.
const ConfigDefault kConfigDefaults[] = {
    {TkConfig::kDeviceNameKey, sonara::Value("")},
    {TkConfig::kDecodeModeKey, sonara::Value(1)},
    {TkConfig::kRamModeKey, sonara::Value(0)},
    {TkConfig::kRamModeMemoryLimitKey, sonara::Value(100)},
    {TkConfig::kGaplessModeKey, sonara::Value(false)},
    {TkConfig::kGaplessCutoffKey, sonara::Value(-45.0)},
};

}  // namespace

TkConfig AppSettings::launchConfiguration() {
  // A RAM play left on would make the first track of a session wait for a whole decode.
  defaults_.set(TkConfig::kRamModeKey, sonara::Value(0));
  TkConfig config;
  for (const auto& [key, fallback] : kConfigDefaults) {
    sonara::Value value = defaults_.object(key);
    if (value.isNull()) {
      defaults_.set(key, fallback);
      value = fallback;
    }
    config.dictionary()[key] = value;
  }
  defaults_.synchronize();
  return config;
}

bool AppSettings::shuffle() const { return defaults_.boolean(kShuffleKey); }

int32_t AppSettings::repeatMode() const {
  const int64_t mode = defaults_.integer(kRepeatModeKey);
  return mode == 1 || mode == 2 ? static_cast<int32_t>(mode) : 0;
}

ColumnWidths AppSettings::columnWidths() const {
  ColumnWidths widths = kDefaultColumnWidths;
  if (auto bytes = defaults_.data(kColumnWidthKey)) {
    std::memcpy(widths.data(), bytes->data(), std::min(bytes->size(), sizeof widths));
  }
  return widths;
}

void AppSettings::saveOnExit(bool shuffle, int32_t repeat_mode, const ColumnWidths& widths, const TkConfig& config) {
  defaults_.setData(kColumnWidthKey, std::string(reinterpret_cast<const char*>(widths.data()), sizeof widths));
  defaults_.set(kShuffleKey, sonara::Value(shuffle));
  defaults_.set(kRepeatModeKey, sonara::Value(repeat_mode));
  for (const auto& [key, value] : config.dictionary()) defaults_.set(key, value);
  defaults_.synchronize();
}

}  // namespace pelmora::app
