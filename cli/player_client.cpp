#include "cli/player_client.h"

#include <cmath>
#include <memory>

#include "cli/play_display.h"
#include "engine/api/records.h"
#include "engine/api/toolkit.h"
#include "platform/text/audio_format_text.h"

namespace pelmora::cli {

void PlayerClient::songSwitch() {
  ++tracks_started_;
  std::shared_ptr<AudioFileInfo> file;
  if (Toolkit_GetFileInfo(false, &file) != 0) file.reset();
  // The same track again without a skip is the same place in the play order: a
  // restart after a seek, or repeat one. Tracks are told apart by their IDs: the
  // tracks of a cue sheet share one file.
  const uint64_t id = file ? file->trackID() : 0;
  const bool same_track = !key_step_pending_ && id != 0 && id == current_track_;
  current_track_ = id;
  if (order_index_ < 0) {
    order_index_ = 0;
  } else if (same_track) {
    // stays
  } else if (pending_step_ < 0) {
    order_index_ = order_index_ > 0 ? order_index_ - 1 : 0;
  } else if (pending_step_ > 0 || !repeat_one_) {
    ++order_index_;
  }
  pending_step_ = repeat_one_ ? 0 : 1;
  key_step_pending_ = false;
  if (!same_track) position_ = 0;
  if (static_cast<size_t>(order_index_) >= durations_.size()) durations_.resize(order_index_ + 1);
  if (file) {
    durations_[order_index_] = static_cast<uint32_t>(file->durationBySec() + 0.5);
  }
  changed_ = true;
  show();
  if (follower_) follower_->songSwitch();
  told();
}

void PlayerClient::stateDidChange(int32_t state) {
  state_ = state;
  if (state == 1) ever_played_ = true;
  if (state == 0) ++stops_;
  changed_ = true;
  if (follower_) follower_->stateDidChange(state);
  told();
}

void PlayerClient::notifyError(int32_t code, const AudioFileInfo* info) {
  static const char* const kWhy[] = {"the output device went away", "no output device could be opened",
                                     "skipped: it failed before", "decoding failed",
                                     "skipped: not enough memory to hold it whole"};
  if (code == 0) device_lost_ = true;
  if (code == 1) no_device_ = true;
  std::string text = "pelmora-cli: ";
  if (info) text += info->fileName() + ": ";
  const bool failed_before = info && failed_.count(info->fileName()) > 0;
  if (code == 2 && info && !failed_before) {
    // The engine skips a track the device cannot take: say what it is and what the
    // device offers.
    std::string format = info->bitResolution() == 1
                             ? "DSD " + formatRate(info->samplingRate() * 16.0)
                             : info->extName() + " " + formatRate(info->samplingRate()) + " " +
                                   std::to_string(info->bitResolution()) + "-bit";
    text += "skipped: the device cannot play " + format +
            (device_offer_.empty() ? "" : "; it offers " + device_offer_);
  } else {
    text += code >= 0 && code < 5 ? kWhy[code] : "error";
  }
  if (info && (code == 2 || code == 3)) failed_.insert(info->fileName());
  status_.message(text);
  ++errors_;
  if (follower_) follower_->notifyError(code, info);
  told();
}

void PlayerClient::notifyPos(uint32_t position, uint32_t total) {
  position_ = position;
  changed_ = true;
  if (follower_) follower_->notifyPos(position, total);
  told();
}

void PlayerClient::restarted() {
  position_ = 0;
  changed_ = true;
}

std::string PlayerClient::line() {
  std::shared_ptr<AudioFileInfo> file;
  if (Toolkit_GetFileInfo(false, &file) != 0 || !file) return {};
  // Compressed formats have no bit depth of their own.
  std::string source = file->extName() + " " + formatRate(file->samplingRate()) +
                       (file->bitResolution() > 0 ? " " + std::to_string(file->bitResolution()) + "-bit" : "");
  TkOutputFormat out;
  std::string device;
  if (Toolkit_GetOutputFormat(&out) == 0 && !out.transport.empty()) {
    device = " -> " + sonara::text::transportText(out.transport, out.sampleRate, out.bits) +
             (out.bitPerfect ? "" : " (not bit-perfect)");
  }
  const auto duration = static_cast<uint32_t>(file->durationBySec() + 0.5);
  uint32_t total = 0;
  Toolkit_TotalTime(&total);
  // Playlist time: the tracks passed in play order, then the playing one.
  uint32_t base = 0;
  for (int i = 0; i < order_index_ && static_cast<size_t>(i) < durations_.size(); ++i) base += durations_[i];
  uint32_t in_track = position_ < duration || duration == 0 ? position_ : duration;
  uint32_t playlist = base + in_track;
  if (total > 0 && playlist > total) playlist = total;
  return (state_ == 2 ? "[paused] " : "") + file->titleName() +
         (file->artistName().empty() ? "" : " - " + file->artistName()) + " | " + source + device + " | " +
         formatTime(in_track) + " / " + formatTime(duration) + " | playlist " + formatTime(playlist) + " / " +
         formatTime(total);
}

void PlayerClient::show() {
  if (!changed_) return;
  changed_ = false;
  if (state_ == 0) return;
  if (std::string text = line(); !text.empty()) status_.show(text);
}

}  // namespace pelmora::cli
