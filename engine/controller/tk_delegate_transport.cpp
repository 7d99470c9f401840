// The controller's transport: play, stop, pause, next, previous, double click, seek,
// shuffle and repeat, restructuring, and building the play engine.
#include <algorithm>
#include <thread>
#include <utility>

#include "engine/api/constants.h"
#include "engine/api/kiv_sonara_delegate.h"
#include "engine/controller/tk_delegate.h"
#include "engine/output/audio_output_context.h"
#include "engine/play/play_manager.h"
#include "engine/play/ram_play_manager.h"
#include "engine/playlist/playlist_array_controller.h"
#include "platform/log.h"
#include "platform/path_names.h"

using sonara::Value;
using sonara::platform::logLine;

bool TkDelegate::setupPlayManager() {
  releasePlayManager();
  // 0 streams, 1 plays from memory; any other value is invalid.
  if (ram_mode_matrix_ != 0 && ram_mode_matrix_ != 1) return false;
  double threshold = mp3_gapless_enable ? std::clamp(gapless_db_, -192.0, 0.0) : 0.0;
  // Without a device yet the engine is built when one is selected.
  if (audio_output_ctx_) {
    if (ram_mode_matrix_ == 1) {
      auto ram = RAMPlayManager::initWithAudioOutputCtx(audio_output_ctx_, &is_play_manager_alive_);
      if (!ram) return false;
      ram->setLimit(static_cast<uint64_t>(std::max(ram_mode_limit_text_, 0)) << 20);
      if (ram_memory_probe_) ram->setMemoryProbe(ram_memory_probe_);
      play_manager_ = std::move(ram);
    } else {
      play_manager_ = PlayManager::initWithAudioOutputCtx(audio_output_ctx_, &is_play_manager_alive_);
    }
    if (!play_manager_) return false;
    play_manager_->setDelegate(this);
  }
  updateDecoderOption(Value(threshold), DECODER_OPTION_KEY_MP3_THREASHOLD_DB);
  return true;
}

// A running engine is stopped before it is let go, so that its decoding threads end
// at once and its alive flag clears without waiting for queued tracks to play out.
void TkDelegate::releasePlayManager() {
  if (!play_manager_) return;
  {
    std::lock_guard lock(play_manager_->monitor());
    play_manager_->stop(true);
    play_manager_->setDelegate(nullptr);
  }
  std::weak_ptr<PlayManager> held = play_manager_;
  if (play_manager_->startInProgress()) {
    // Let go from inside its own start (RAM play mode's progress run turned the main
    // loop that brought this release): the start holds it until it returns, so it
    // is detached from the device and the alive flag now instead of waited for.
    play_manager_->abandon();
    play_manager_.reset();
    is_play_manager_alive_ = 0;
    enterStopped();
    return;
  }
  play_manager_.reset();
  // The stop above has already waited (boundedly) for the decoding threads. One still
  // held by a decoder stuck in a read (a stalled network share) keeps the engine until
  // the read returns: the controller lets the device go and goes on without it.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(1);
  while (is_play_manager_alive_.load() != 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      logLine("The play engine is held by a decoder that does not return; going on without it.");
      if (auto engine = held.lock()) engine->abandon();
      is_play_manager_alive_ = 0;
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  enterStopped();
}

// Without its play engine the controller is stopped, whichever path let the engine go:
// both flags cleared together, the status reset and the idle inhibitor given back.
void TkDelegate::enterStopped() {
  std::lock_guard lock(monitor_);
  if (!playing_) return;
  const bool was_paused = pause_;
  playing_ = false;
  pause_ = false;
  updateUI4PlayStop();
  allowIdleSleep();
  // A paused engine's stop is not reported as one: tell the client here.
  if (was_paused) {
    postToMain([](TkDelegate& tk) {
      if (tk.delegate_) tk.delegate_->stateDidChange(0);
    });
  }
}

void TkDelegate::updateDecoderOption(Value value, const std::string& key) {
  decoder_options_[key] = std::move(value);
  if (play_manager_) play_manager_->setDecoderOptions(decoder_options_);
}

PlaylistItemInfoRef TkDelegate::completedInfo(uint64_t id) {
  auto info = array_tbl_ctl_->getInfoByID(id);
  if (info && !info->isComplete()) info = array_tbl_ctl_->updateCompleteInfoByID(id);
  return info;
}

// A play engine, asking the client to reconnect the last device when there is none;
// false, with error 1 reported, when there is still none.
bool TkDelegate::reconnectIfNeeded() {
  if (play_manager_) return true;
  if (delegate_) delegate_->checkForLastConnectedDevice();
  if (play_manager_) return true;
  notifyError(1, nullptr);
  return false;
}

void TkDelegate::playOnMode() {
  if (!reconnectIfNeeded()) return;
  {
    std::lock_guard lock(monitor_);
    if (playing_) {
      if (pause_) {
        playPause();
      } else {
        playStop();
        startCurrentInternal(false);
      }
    } else {
      auto& model = *array_tbl_ctl_;
      if (model.getFirstPlayOrderTrackID() == model.getCurrentTrackIDOfPlayOrder()) {
        if (shuffleOn) {
          model.initPlayOrderAtRandom();
        } else {
          model.initPlayOrderDefault();
        }
      }
      if (repeatMode == 1) model.pointToPlayOrderAtCurrentFirstSelection();
      model.clearErrorTracks();
      startCurrentInternal(false);
    }
  }
  array_tbl_ctl_->setSelectionIndexes({});
}

void TkDelegate::startCurrentInternal(bool backwards) {
  std::lock_guard lock(monitor_);
  auto& model = *array_tbl_ctl_;
  if (model.getNumInfos() == 0) {
    logLine("No Items");
    return;
  }
  uint64_t id = model.getCurrentTrackIDOfPlayOrder();
  if (id == 0) {
    logLine("No Selected.");
    return;
  }
  for (;;) {
    auto info = completedInfo(id);
    if (!info) {
      logLine("Info is not found.");
      return;
    }
    if (model.getErrorCount(info) == 0) {
      if (!play_manager_) return;
      double offset = std::exchange(next_start_offset_, 0.0);
      if (offset > 0 && info->duration() > 0 && offset >= info->duration()) {
        logLine("The start at %.0f s is past the end of %s (%.1f s long); it plays from its beginning.", offset,
                sonara::platform::lastPathComponent(info->fullpath()).c_str(), info->duration());
        offset = 0;
      }
      play_manager_->addInfo(info);
      preventIdleSleep();
      {
        // RAM play mode's start turns the main loop while the track decodes, where
        // the engine may be replaced: the one started is held until it returns.
        std::shared_ptr<PlayManager> started = play_manager_;
        std::lock_guard engine(started->monitor());
        playing_ = true;
        started->startWithOffset(offset);
      }
      if (play_manager_) updateStatusBarByInfo(info);
      return;
    }
    notifyError(2, info);
    if (model.getNumberErrorTracks() >= model.getNumInfos() || repeatMode == 1) {
      playStop();
      return;
    }
    uint64_t candidate = backwards ? model.getPrevTrackIDOfPlayOrder() : model.getNextTrackIDOfPlayOrder();
    if (candidate == 0) {
      if (repeatMode == 0) break;
      if (!backwards) model.adoptNextCycle();
      candidate = backwards ? model.getEndPlayOrderTrackID() : model.getFirstPlayOrderTrackID();
      if (candidate == 0) break;
    }
    model.pointToPlayOrderByTrackID(candidate);
    id = candidate;
  }
  playStop();
  model.updatePlayOrderOnMode();
}

void TkDelegate::playStop() {
  if (!play_manager_) {
    logLine("no device");
    return;
  }
  std::lock_guard lock(monitor_);
  if (!playing_) return;
  {
    std::lock_guard engine(play_manager_->monitor());
    playing_ = false;
    pause_ = false;
    play_manager_->stop();
  }
  updateUI4PlayStop();
  allowIdleSleep();
}

void TkDelegate::updateUI4PlayStop() {
  cancelTimeUpdates();
  setStatusBarTimestamp(0);
  setStatusBarTotalBaseTimesatmp(0);
  setStatusBarFormat("Stop.");
}

void TkDelegate::playPause() {
  if (!play_manager_) return;
  std::lock_guard lock(monitor_);
  if (!playing_) return;
  auto current = currentItem();
  if (pause_) {
    preventIdleSleep();
    {
      std::lock_guard engine(play_manager_->monitor());
      play_manager_->restart();
    }
    pause_ = false;
    postToMain([current](TkDelegate& tk) {
      tk.pauseIndicator(current);
      tk.restartTimeUpdates();
    });
    if (current && delegate_) delegate_->stateDidChange(1);
  } else {
    {
      std::lock_guard engine(play_manager_->monitor());
      play_manager_->pause();
    }
    pause_ = true;
    postToMain([current](TkDelegate& tk) { tk.pauseIndicator(current); });
    if (delegate_) delegate_->stateDidChange(2);
    allowIdleSleep();
  }
}

void TkDelegate::playNext() { step(false); }
void TkDelegate::playPrev() { step(true); }

// Next or previous: move in play order, wrapping at the ends only when repeating,
// and start there, also when nothing was playing.
void TkDelegate::step(bool backwards) {
  if (!play_manager_) return;
  std::lock_guard lock(monitor_);
  auto& model = *array_tbl_ctl_;
  if (playing_) {
    playStop();
  } else {
    model.clearErrorTracks();
  }
  uint64_t id = backwards ? model.getPrevTrackIDOfPlayOrder() : model.getNextTrackIDOfPlayOrder();
  if (id != 0) {
    if (backwards) {
      model.prevPlayOrder();
    } else {
      model.nextPlayOrder();
    }
  } else {
    if (repeatMode == 0) return;
    // Past the end: the next cycle, whose first track may already be queued.
    if (!backwards) model.adoptNextCycle();
    id = backwards ? model.getEndPlayOrderTrackID() : model.getFirstPlayOrderTrackID();
    if (id == 0) return;
    model.pointToPlayOrderByTrackID(id);
  }
  updateStatusBarByInfo(model.getInfoByID(id));
  startCurrentInternal(backwards);
}

void TkDelegate::playlistDoubleClicked(int64_t row) {
  if (!reconnectIfNeeded()) return;
  {
    std::lock_guard lock(monitor_);
    if (row < 0) return;
    auto& model = *array_tbl_ctl_;
    if (playing_) {
      playStop();
    } else {
      if (shuffleOn) {
        model.initPlayOrderAtRandom();
      } else {
        model.initPlayOrderDefault();
      }
      model.clearErrorTracks();
    }
    auto info = model.getInfoAtIndex(row);
    if (!info) return;
    model.pointToPlayOrderByTrackID(info->track_id());
    startCurrentInternal(false);
  }
  array_tbl_ctl_->setSelectionIndexes({});
}

void TkDelegate::seek(double seconds) {
  std::lock_guard lock(monitor_);
  if (!play_manager_ || seconds < 0) return;
  {
    std::lock_guard engine(play_manager_->monitor());
    play_manager_->seek(static_cast<uint64_t>(seconds * 1e9));
  }
  // Paused, the timer is at rest: the new position is told once.
  postToMain([](TkDelegate& tk) { tk.restartTimeUpdates(); });
}

void TkDelegate::menuShuffle(bool on) {
  std::lock_guard lock(array_tbl_ctl_->monitor());
  shuffleOn = on;
  if (on) {
    array_tbl_ctl_->initPlayOrderAtRandom();
  } else {
    array_tbl_ctl_->initPlayOrderDefault();
  }
}

void TkDelegate::menuDefaultMode() {
  repeatMode = 0;
  if (play_manager_) play_manager_->updateNextInfo();
}

void TkDelegate::menuRepeatTitleMode() {
  repeatMode = 1;
  if (play_manager_) play_manager_->updateNextInfo();
}

void TkDelegate::menuRepeatAllMode() {
  repeatMode = 2;
  if (play_manager_) play_manager_->updateNextInfo();
}

uint64_t TkDelegate::beginRestructuring() {
  if (!play_manager_) return 0;
  std::lock_guard engine(play_manager_->monitor());
  uint64_t position = play_manager_->getTimestamp();
  play_manager_->stop();
  return position;
}

void TkDelegate::endRestructuring(uint64_t position_ns, bool paused) {
  if (!play_manager_) return;
  std::lock_guard lock(monitor_);
  auto id = array_tbl_ctl_->getCurrentTrackIDOfPlayOrder();
  if (id == 0) {
    logLine("No Selected.");
    return;
  }
  auto info = completedInfo(id);
  if (!info) {
    logLine("Info is not found.");
    return;
  }
  {
    std::lock_guard engine(play_manager_->monitor());
    play_manager_->addInfo(info);
    playing_ = true;
    pause_ = paused;
    play_manager_->startWithOffset(static_cast<double>(position_ns) / 1e9);
    if (paused) play_manager_->pause();
  }
  if (!paused) preventIdleSleep();
}
