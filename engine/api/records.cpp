#include "engine/api/records.h"

#include <cmath>
#include <limits>

using sonara::lookup;
using sonara::Value;

namespace {

// A stored number read as a 32-bit int: fractions truncated, out of range clamped.
int32_t toInt32(const Value& v) {
  int64_t i = v.asInt();
  if (i > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
  if (i < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(i);
}

}  // namespace

int32_t TkConfig::int32(const char* key) const { return toInt32(lookup(values_, key)); }

std::optional<std::string> TkConfig::deviceName() const {
  const Value& v = lookup(values_, kDeviceNameKey);
  if (!v.isString()) return std::nullopt;
  return v.asString();
}
void TkConfig::setDeviceName(std::string name) { values_[kDeviceNameKey] = Value(std::move(name)); }
int32_t TkConfig::decodeMode() const { return int32(kDecodeModeKey); }
void TkConfig::setDecodeMode(int32_t mode) { values_[kDecodeModeKey] = Value(mode); }
int32_t TkConfig::ramMode() const { return int32(kRamModeKey); }
void TkConfig::setRamMode(int32_t mode) { values_[kRamModeKey] = Value(mode); }
int32_t TkConfig::ramModeMemoryLimit() const { return int32(kRamModeMemoryLimitKey); }
void TkConfig::setRamModeMemoryLimit(int32_t mb) { values_[kRamModeMemoryLimitKey] = Value(mb); }
bool TkConfig::gaplessMode() const { return lookup(values_, kGaplessModeKey).asBool(); }
void TkConfig::setGaplessMode(bool on) { values_[kGaplessModeKey] = Value(on); }
int32_t TkConfig::gaplessCutoff() const { return int32(kGaplessCutoffKey); }
void TkConfig::setGaplessCutoff(int32_t db) { values_[kGaplessCutoffKey] = Value(db); }

TkDeviceInfo::TkDeviceInfo(const std::string& name, bool dop, bool dsd_native) {
  values_[kNameKey] = Value(name);
  values_[kDoPKey] = Value(dop);
  values_[kDsdNativeKey] = Value(dsd_native);
}

std::optional<std::string> TkDeviceInfo::deviceName() const {
  const Value& v = lookup(values_, kNameKey);
  if (!v.isString()) return std::nullopt;
  return v.asString();
}
bool TkDeviceInfo::isDoPSupported() const { return lookup(values_, kDoPKey).asBool(); }
bool TkDeviceInfo::isDSDNativeSupported() const { return lookup(values_, kDsdNativeKey).asBool(); }

#define AUDIO_FILE_INFO_PROPERTY(Type, getter, setter, field) \
  Type AudioFileInfo::getter() const {                         \
    std::lock_guard lock(mutex_);                              \
    return field;                                              \
  }                                                            \
  void AudioFileInfo::setter(Type v) {                         \
    std::lock_guard lock(mutex_);                              \
    field = std::move(v);                                      \
  }

AUDIO_FILE_INFO_PROPERTY(std::string, fileName, setFileName, file_name_)
AUDIO_FILE_INFO_PROPERTY(std::string, titleName, setTitleName, title_name_)
AUDIO_FILE_INFO_PROPERTY(std::string, artistName, setArtistName, artist_name_)
AUDIO_FILE_INFO_PROPERTY(std::string, extName, setExtName, ext_name_)
AUDIO_FILE_INFO_PROPERTY(uint32_t, samplingRate, setSamplingRate, sampling_rate_)
AUDIO_FILE_INFO_PROPERTY(uint32_t, bitResolution, setBitResolution, bit_resolution_)
AUDIO_FILE_INFO_PROPERTY(double, durationBySec, setDurationBySec, duration_by_sec_)
AUDIO_FILE_INFO_PROPERTY(uint64_t, trackID, setTrackID, track_id_)

#undef AUDIO_FILE_INFO_PROPERTY
