#include "app/controller/menu_validation.h"

namespace pelmora::app {

bool commandEnabled(Command command, const PlayerState& state) {
  switch (command) {
    case Command::Preferences:
    case Command::Open:
    case Command::OpenCd:
    case Command::NewPlaylist:
    case Command::LoadPlaylist:
    case Command::Shuffle:
      return !state.playing;
    case Command::AddFiles:
      return !state.playlist_readonly;
    case Command::Remove:
      return state.selection && !state.playlist_readonly;
    case Command::SavePlaylist:
      return !state.playing && !state.playlist_readonly;
    default:
      return true;
  }
}

}  // namespace pelmora::app
