// The desktop program's settings in the user defaults the engine also uses: the
// engine configuration's six keys with their first-launch defaults, shuffle, the
// repeat mode and the playlist's column widths.
#pragma once

#include <array>
#include <cstdint>

#include "engine/api/records.h"
#include "platform/user_defaults.h"

namespace pelmora::app {

inline constexpr char kShuffleKey[] = "AppSettings:Shuffle";
inline constexpr char kRepeatModeKey[] = "Repeat Mode";
inline constexpr char kColumnWidthKey[] = "Playlist Column Width";
inline constexpr char kWindowFrameKey[] = "App: Window Position";

using ColumnWidths = std::array<int32_t, 4>;
inline constexpr ColumnWidths kDefaultColumnWidths = {60, 300, 168, 70};

class AppSettings {
 public:
  explicit AppSettings(sonara::platform::UserDefaults& defaults) : defaults_(defaults) {}

  // At launch: RAM play is switched off, every absent configuration key gets its
  // default written, and the configuration holds the six values.
  TkConfig launchConfiguration();

  bool shuffle() const;
  // 0 in order, 1 repeat the track, 2 repeat all; anything else reads as 0.
  int32_t repeatMode() const;
  // Up to 16 stored bytes (four native 32-bit widths) over the defaults.
  ColumnWidths columnWidths() const;

  // At the end: what the user chose, every configuration key, then written out.
  void saveOnExit(bool shuffle, int32_t repeat_mode, const ColumnWidths& widths, const TkConfig& config);

 private:
  sonara::platform::UserDefaults& defaults_;
};

}  // namespace pelmora::app
