// The player as a remote sees it: what the Player interface's properties say, and
// which of them changed between two looks (each change is signalled).
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "remote/mpris_metadata.h"

namespace pelmora::remote {

struct PlayerState {
  int32_t status = 0;  // 0 stopped, 1 playing, 2 paused (the engine's states)
  int32_t repeat = 0;  // 0 off, 1 one, 2 all
  bool shuffle = false;
  TrackMetadata track;
  bool can_play = false;
  bool can_pause = false;
  bool can_seek = false;
  bool can_go_next = false;
  bool can_go_previous = false;
};

// "Playing", "Paused", "Stopped".
const char* playbackStatusName(int32_t status);
// "None", "Track", "Playlist".
const char* loopStatusName(int32_t repeat);
// The repeat mode a LoopStatus names; nothing for an unknown name.
std::optional<int32_t> repeatModeOf(std::string_view loop_status);
// The names of the Player properties whose values differ.
std::vector<const char*> changedProperties(const PlayerState& before, const PlayerState& now);

}  // namespace pelmora::remote
