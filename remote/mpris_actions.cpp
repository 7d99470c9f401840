// What remotes ask the player to do, done through the Toolkit_* functions as the
// program's own controls do.
#include <algorithm>
#include <cctype>
#include <cmath>

#include "engine/api/toolkit.h"
#include "remote/mpris_service.h"

namespace pelmora::remote {

void MprisService::play() {
  if (engine_state_ == 2) {
    Toolkit_PauseRequest();  // the engine's pause is a toggle: this resumes
  } else if (engine_state_ == 0) {
    Toolkit_PlayRequest();
  }
}

void MprisService::pause() {
  if (engine_state_ == 1) Toolkit_PauseRequest();
}

void MprisService::playPause() {
  if (engine_state_ == 0) {
    Toolkit_PlayRequest();
  } else {
    Toolkit_PauseRequest();
  }
}

void MprisService::stop() {
  if (engine_state_ != 0) Toolkit_StopRequest();
}

void MprisService::next() {
  if (options_.next) {
    options_.next();
  } else {
    Toolkit_NextRequest();
  }
}

void MprisService::previous() {
  if (options_.previous) {
    options_.previous();
  } else {
    Toolkit_PrevRequest();
  }
}

// The engine seeks by whole seconds: the target is rounded to the nearest one.
void MprisService::seekBy(int64_t offset_us) {
  if (!state_.can_seek) return;
  const int64_t length = state_.track.length_us;
  // Clamped so that no sum can overflow; past the end is the next track's start.
  const int64_t offset = std::clamp<int64_t>(offset_us, -length - 1, length + 1);
  const int64_t target = positionUs() + offset;
  if (target >= length) {
    next();
    return;
  }
  const auto seconds = static_cast<uint32_t>(std::llround(static_cast<double>(std::max<int64_t>(target, 0)) / 1e6));
  if (Toolkit_SetPos(seconds) == kToolkitOk) emitSeeked(seconds);
}

void MprisService::setPosition(const std::string& track_path, int64_t position_us) {
  // A request for a track that no longer plays is stale: ignored, as the protocol asks.
  if (!state_.can_seek || track_path != state_.track.track_path) return;
  if (position_us < 0 || position_us > state_.track.length_us) return;
  const auto seconds = static_cast<uint32_t>(std::llround(static_cast<double>(position_us) / 1e6));
  if (Toolkit_SetPos(seconds) == kToolkitOk) emitSeeked(seconds);
}

// The file goes to the end of the playlist, and plays when nothing does.
bool MprisService::openUri(const std::string& uri, std::string* error) {
  const auto path = pathOfFileUri(uri);
  if (!path) {
    *error = "only local file: URIs can be opened: " + uri;
    return false;
  }
  const auto dot = path->rfind('.');
  std::string ext = dot == std::string::npos || path->find('/', dot) != std::string::npos ? "" : path->substr(dot + 1);
  std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
  if (ext.empty() || std::find(extensions_.begin(), extensions_.end(), ext) == extensions_.end()) {
    *error = "no plug-in plays this kind of file: " + *path;
    return false;
  }
  uint32_t before = 0;
  uint32_t after = 0;
  Toolkit_GetPlaylistItemCount(&before);
  Toolkit_AddDroppedFiles({*path});
  Toolkit_GetPlaylistItemCount(&after);
  if (after == before) {
    *error = "the file could not be added: " + *path;
    return false;
  }
  publish();
  if (engine_state_ == 0) Toolkit_PlayRequest();
  return true;
}

void MprisService::raise() {
  if (options_.raise) options_.raise();
}

void MprisService::quit() {
  if (options_.quit) options_.quit();
}

bool MprisService::setLoopStatus(const std::string& status) {
  const auto mode = repeatModeOf(status);
  if (!mode) return false;
  if (Toolkit_Repeat(*mode) != kToolkitOk) return true;
  options_.repeat = *mode;
  if (options_.repeat_changed) options_.repeat_changed(*mode);
  publish();
  return true;
}

void MprisService::setShuffle(bool on) {
  if (Toolkit_Shuffle(on ? 1 : 0) != kToolkitOk) return;
  options_.shuffle = on;
  if (options_.shuffle_changed) options_.shuffle_changed(on);
  publish();
}

}  // namespace pelmora::remote
