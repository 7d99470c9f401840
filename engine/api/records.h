// Records exchanged between the engine and its client: the configuration, one
// output device's DSD abilities, what is known of a file, and one loaded plug-in.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "plugin/value.h"

// The engine's user-settable options, a string-keyed record so the client can keep
// it among its own settings under the same keys. Keys it does not know are kept.
class TkConfig {
 public:
  static constexpr char kDeviceNameKey[] = "Last Selected Output Device Name";
  static constexpr char kDecodeModeKey[] = "Decode Mode Selection Index";
  static constexpr char kRamModeKey[] = "RAM Mode Selection Index";
  static constexpr char kRamModeMemoryLimitKey[] = "RAM Mode Memory Limitation";
  static constexpr char kGaplessModeKey[] = "MP3 gapless play enable";
  static constexpr char kGaplessCutoffKey[] = "Gapless Threashold DB";

  TkConfig() = default;
  explicit TkConfig(sonara::Dict values) : values_(std::move(values)) {}

  std::optional<std::string> deviceName() const;
  void setDeviceName(std::string name);
  int32_t decodeMode() const;  // 0 DoP, 1 native DSD
  void setDecodeMode(int32_t mode);
  int32_t ramMode() const;     // 0 streaming, 1 RAM play
  void setRamMode(int32_t mode);
  int32_t ramModeMemoryLimit() const;  // megabytes
  void setRamModeMemoryLimit(int32_t megabytes);
  bool gaplessMode() const;
  void setGaplessMode(bool on);
  int32_t gaplessCutoff() const;  // dB; a stored fraction is truncated
  void setGaplessCutoff(int32_t db);

  const sonara::Dict& dictionary() const { return values_; }
  sonara::Dict& dictionary() { return values_; }

 private:
  int32_t int32(const char* key) const;

  sonara::Dict values_;
};

// One output device: its name and whether it takes DoP and native DSD.
class TkDeviceInfo {
 public:
  static constexpr char kNameKey[] = "name";
  static constexpr char kDoPKey[] = "DoP";
  static constexpr char kDsdNativeKey[] = "DSD Native";

  TkDeviceInfo() = default;
  explicit TkDeviceInfo(sonara::Dict values) : values_(std::move(values)) {}
  TkDeviceInfo(const std::string& name, bool dop, bool dsd_native);

  std::optional<std::string> deviceName() const;
  bool isDoPSupported() const;
  bool isDSDNativeSupported() const;
  const sonara::Dict& dictionary() const { return values_; }

 private:
  sonara::Dict values_;
};

// What is known of one playlist item or of the playing item. Properties may be read
// and written from any thread.
class AudioFileInfo {
 public:
  std::string fileName() const;
  void setFileName(std::string v);
  std::string titleName() const;
  void setTitleName(std::string v);
  std::string artistName() const;
  void setArtistName(std::string v);
  std::string extName() const;
  void setExtName(std::string v);
  uint32_t samplingRate() const;
  void setSamplingRate(uint32_t v);
  uint32_t bitResolution() const;
  void setBitResolution(uint32_t v);
  double durationBySec() const;
  void setDurationBySec(double v);
  // The playlist row's track ID: the tracks of a cue sheet share one file, not an ID.
  uint64_t trackID() const;
  void setTrackID(uint64_t v);

 private:
  mutable std::mutex mutex_;
  std::string file_name_, title_name_, artist_name_, ext_name_;
  uint32_t sampling_rate_ = 0;
  uint32_t bit_resolution_ = 0;
  double duration_by_sec_ = 0.0;
  uint64_t track_id_ = 0;
};

// One loaded plug-in: its name, its extensions as one text ("dsf, dff") and version.
class TkPluginInfoItem {
 public:
  TkPluginInfoItem(std::string name, std::string exts, std::string version)
      : name_(std::move(name)), exts_(std::move(exts)), vers_(std::move(version)) {}
  const std::string& pluginName() const { return name_; }
  const std::string& pluginExt() const { return exts_; }
  const std::string& pluginVersion() const { return vers_; }

 private:
  std::string name_;
  std::string exts_;
  std::string vers_;
};

// Where the client places the engine's playlist view inside its own window.
struct TkPlaylistLayout {
  void* containerView = nullptr;  // a toolkit view of the client (QWidget*)
  int32_t x = 0;
  int32_t y = 0;
  int32_t width = 0;
  int32_t height = 0;
  int32_t columnWidths[4] = {0, 0, 0, 0};
};

// What goes to the device now: the transport and the physical format.
struct TkOutputFormat {
  std::string transport;  // "PCM", "DoP", "DSD16", "DSD32", or empty when idle
  double sampleRate = 0;  // frames (or DSD words) per second at the device
  uint32_t bits = 0;      // bits per sample of the device format
  uint32_t channels = 0;
  // False when the track's samples are deeper than the device format: its lowest
  // bits are dropped.
  bool bitPerfect = true;
};
