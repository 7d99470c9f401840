// Which of the player's commands are offered in the current state: a playing
// engine keeps its playlist and device, a fixed playlist (an audio CD) cannot be
// changed, and removing needs a selection.
#pragma once

namespace pelmora::app {

enum class Command {
  Play, Stop, Pause, Next, Previous, Shuffle, OrderDefault, OrderRepeatTitle, OrderRepeatAll,
  Preferences, Open, OpenCd, NewPlaylist, LoadPlaylist, SavePlaylist, AddFiles, Remove, Properties,
  About, Quit,
};

struct PlayerState {
  bool playing = false;            // a track plays or is paused
  bool playlist_readonly = false;  // an audio CD's list
  bool selection = false;          // rows are selected
};

bool commandEnabled(Command command, const PlayerState& state);

}  // namespace pelmora::app
