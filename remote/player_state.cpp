#include "remote/player_state.h"

namespace pelmora::remote {

const char* playbackStatusName(int32_t status) {
  return status == 1 ? "Playing" : status == 2 ? "Paused" : "Stopped";
}

const char* loopStatusName(int32_t repeat) { return repeat == 1 ? "Track" : repeat == 2 ? "Playlist" : "None"; }

std::optional<int32_t> repeatModeOf(std::string_view loop_status) {
  if (loop_status == "None") return 0;
  if (loop_status == "Track") return 1;
  if (loop_status == "Playlist") return 2;
  return std::nullopt;
}

std::vector<const char*> changedProperties(const PlayerState& before, const PlayerState& now) {
  std::vector<const char*> names;
  if (playbackStatusName(before.status) != playbackStatusName(now.status)) names.push_back("PlaybackStatus");
  if (before.repeat != now.repeat) names.push_back("LoopStatus");
  if (before.shuffle != now.shuffle) names.push_back("Shuffle");
  const TrackMetadata& a = before.track;
  const TrackMetadata& b = now.track;
  if (a.track_path != b.track_path || a.length_us != b.length_us || a.title != b.title || a.artist != b.artist ||
      a.url != b.url) {
    names.push_back("Metadata");
  }
  if (before.can_play != now.can_play) names.push_back("CanPlay");
  if (before.can_pause != now.can_pause) names.push_back("CanPause");
  if (before.can_seek != now.can_seek) names.push_back("CanSeek");
  if (before.can_go_next != now.can_go_next) names.push_back("CanGoNext");
  if (before.can_go_previous != now.can_go_previous) names.push_back("CanGoPrevious");
  return names;
}

}  // namespace pelmora::remote
