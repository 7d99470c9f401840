// The controller's side of the play engine's events, the position timer and the
// status values. Engine events arrive on the engine's threads; everything that
// reaches the client or the views goes through the main thread.
#include <algorithm>
#include <cmath>

#include "engine/api/constants.h"
#include "engine/api/kiv_sonara_delegate.h"
#include "engine/controller/controller_entry.h"
#include "engine/controller/tk_delegate.h"
#include "engine/play/play_manager.h"
#include "engine/playlist/playlist_array_controller.h"
#include "platform/services.h"

void TkDelegate::started(const PlaylistItemInfoRef& info) {
  if (!info) return;
  // The first track of a new repeat-all cycle: the cycle before it has been played.
  array_tbl_ctl_->adoptNextCycleStartingWith(info->track_id());
  array_tbl_ctl_->pointToPlayOrderByTrackID(info->track_id());
  {
    std::lock_guard lock(items_mutex_);
    currentItem_ = info;
  }
  setStatusBarFormat(getDisplayExt(info->fullpath()));
  bitsIndicator = static_cast<int32_t>(info->get(TABLE_KEY_SRC_BITS).asInt());
  samplingRateIndicator = info->get(TABLE_KEY_SRC_SAMPLERATE).asDouble();
  currentItemDuration = info->duration();
  postToMain([info](TkDelegate& tk) {
    // The first report of a track is its own position, not where the last one ended.
    double own = 0;
    if (auto engine = tk.play_manager_) {
      std::lock_guard lock(engine->monitor());
      if (engine->getCurrentInfo() == info) own = static_cast<double>(engine->getTimestamp()) / 1e9;
    }
    tk.currentItemTimestamp = own;
    tk.last_whole_second_ = static_cast<int64_t>(std::floor(own));
    tk.updateStatusBarByInfo(info);
    tk.position_item_ = info;
    tk.touchIndicator(info);
    if (tk.delegate_) tk.delegate_->stateDidChange(1);
    tk.announced_item_ = info;
    if (tk.delegate_) tk.delegate_->songSwitch();
    tk.announced_item_ = nullptr;
    tk.restartTimeUpdates();
  });
}

// The decode-ahead choice, on the decoding thread: which record the engine should
// join to the one that has just been decoded.
void TkDelegate::decoded(const PlaylistItemInfoRef& info) {
  if (!info) return;
  auto& model = *array_tbl_ctl_;
  auto engine = play_manager_;
  if (!engine) return;
  // Read once: the main thread may change the mode while this choice is made (it then
  // asks for a new one), and a choice between two modes could follow neither.
  const int32_t mode = repeatMode.load();
  if (mode == 1) {
    if (model.getErrorCount(info) == 0) engine->addInfo(model.getInfoByID(info->track_id()));
    return;
  }
  if (model.getNumberErrorTracks() >= model.getNumInfos()) return;
  uint64_t next = model.getNextPlayOrderTrackIDFromID(info->track_id());
  if (next == 0 && mode == 2) {
    // The current cycle has not been played yet: its last track may not even have
    // started. The new shuffle waits until it has (see started).
    next = shuffleOn ? model.prepareNextShuffledCycle(info->track_id()) : model.getFirstPlayOrderTrackID();
  }
  if (next == 0) return;
  if (auto record = completedInfo(next)) engine->addInfo(record);
}

void TkDelegate::decodeFailed(const PlaylistItemInfoRef& info) {
  array_tbl_ctl_->markErrorTrack(info);
  postToMain([info](TkDelegate& tk) { tk.notifyError(3, info); });
}

void TkDelegate::decodeFailedNotSupport(const PlaylistItemInfoRef& info) {
  array_tbl_ctl_->markErrorTrack(info);
  postToMain([info](TkDelegate& tk) { tk.notifyError(2, info); });
}

void TkDelegate::finished(const PlaylistItemInfoRef& info) {
  {
    std::lock_guard lock(items_mutex_);
    currentItem_ = nullptr;
  }
  postToMain([info](TkDelegate& tk) {
    tk.untouchIndicator(info);
    tk.cancelTimeUpdates();
  });
}

void TkDelegate::finishedAll() {
  postToMain([](TkDelegate& tk) {
    tk.playStop();
    tk.array_tbl_ctl_->updatePlayOrderOnMode();
  });
}

void TkDelegate::stoped(const PlaylistItemInfoRef& info) {
  if (playing_ && pause_) return;
  if (info) {
    postToMain([info](TkDelegate& tk) {
      tk.updateStatusBarByInfo(info);
      tk.untouchIndicator(info);
    });
  }
  // The stop inside Next, Previous or a restart is overtaken by the start that follows
  // it on the main thread: by the time it is delivered the controller plays again, and
  // the client is not told of a stop that did not end playback.
  postToMain([](TkDelegate& tk) {
    if (tk.delegate_ && !tk.playing_) tk.delegate_->stateDidChange(0);
  });
  std::lock_guard lock(items_mutex_);
  currentItem_ = nullptr;
}

// --- position -------------------------------------------------------------------------

void TkDelegate::sendPosition(double position) {
  if (!delegate_) return;
  double duration = currentItemDuration;
  uint32_t whole = position <= 0 ? 0 : static_cast<uint32_t>(position);
  uint32_t total = duration == 0 ? static_cast<uint32_t>(currentTimestampBeforeCurrentItem + 0.5)
                                 : static_cast<uint32_t>(whole + currentTimestampBeforeCurrentItem + 0.5);
  delegate_->notifyPos(whole, total);
}

// Runs when the position next passes a whole second (at most 0.5 s apart, so that
// `currentItemTimestamp` stays fresh for a view that reads it): the client hears
// each second as it comes, and the main thread sleeps in between. Paused, the
// position stands still and nothing is scheduled; a resume or a seek runs it again.
void TkDelegate::timeUpdate() {
  time_update_ = 0;
  if (!playing_ || !play_manager_) return;
  uint64_t timestamp_ns = 0;
  PlaylistItemInfoRef playing;
  {
    std::lock_guard engine(play_manager_->monitor());
    playing = play_manager_->getCurrentInfoAndTimestamp(&timestamp_ns);
  }
  const double position = static_cast<double>(timestamp_ns) / 1e9;
  // Between the hand-over to the next track and the delivery of its start, the
  // position is the new track's while the time before it is still the old one's: the
  // client would see the playlist time jump back. That position waits for the start.
  if (playing == position_item_) {
    currentItemTimestamp = position;
    auto second = static_cast<int64_t>(std::floor(position));
    if (second != last_whole_second_) sendPosition(position);
    last_whole_second_ = second;
  }
  if (pause_) return;
  const double to_next_second = 1.0 - (position - std::floor(position));
  const auto delay = std::chrono::duration<double>(std::clamp(to_next_second + 0.002, 0.01, 0.5));
  std::weak_ptr<TkDelegate*> alive = lifetime_;
  time_update_ = sonara::platform::mainLoop().performAfter(
      std::chrono::duration_cast<std::chrono::nanoseconds>(delay), [alive] {
        if (auto self = alive.lock()) {
          ControllerEntry entry;
          (*self)->timeUpdate();
        }
      });
}

void TkDelegate::restartTimeUpdates() {
  cancelTimeUpdates();
  timeUpdate();
}

void TkDelegate::cancelTimeUpdates() {
  if (time_update_) sonara::platform::mainLoop().cancel(time_update_);
  time_update_ = 0;
}

void TkDelegate::updateStatusBarByInfo(const PlaylistItemInfoRef& info) {
  if (!info) return;
  currentTimestampBeforeCurrentItem = array_tbl_ctl_->getBaseDurationPlayOrderAtTrackID(info->track_id());
  currentItemDuration = info->duration();
  sendPosition(currentItemTimestamp);
}

void TkDelegate::touchIndicator(const PlaylistItemInfoRef& info) {
  if (!info) return;
  array_tbl_ctl_->setStatus(info->track_id(), true, false, false);
  playlistRowsChanged();
  setStatusBarFormat(getDisplayExt(info->fullpath()));
  bitsIndicator = static_cast<int32_t>(info->get(TABLE_KEY_SRC_BITS).asInt());
  samplingRateIndicator = info->get(TABLE_KEY_SRC_SAMPLERATE).asDouble();
}

void TkDelegate::pauseIndicator(const PlaylistItemInfoRef& info) {
  if (info) array_tbl_ctl_->setStatus(info->track_id(), true, pause_, false);
  playlistRowsChanged();
}

void TkDelegate::untouchIndicator(const PlaylistItemInfoRef& info) {
  if (info) array_tbl_ctl_->setStatus(info->track_id(), false, false, false);
  playlistRowsChanged();
  setStatusBarFormat("");
  bitsIndicator = 0;
  samplingRateIndicator = 0.0;
}
