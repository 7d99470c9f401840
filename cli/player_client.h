// The headless player's side of the engine's event protocol: it keeps what the
// engine tells it, shows the status line, and knows where in the play order it is so
// that `b` can restart the first track instead of stopping.
#pragma once

#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "cli/status_line.h"
#include "engine/api/kiv_sonara_delegate.h"

namespace pelmora::cli {

class PlayerClient final : public KivSonaraDelegate {
 public:
  PlayerClient(StatusLine& status, bool repeat_one) : status_(status), repeat_one_(repeat_one) {}

  void songSwitch() override;
  void stateDidChange(int32_t state) override;
  void notifyError(int32_t code, const AudioFileInfo* info) override;
  void notifyPos(uint32_t position, uint32_t total) override;
  // 2: the CD list ended because its disc went away.
  void playlistStateDidChange(int32_t state) override {
    disc_gone_ = disc_gone_ || state == 2;
    if (follower_) follower_->playlistStateDidChange(state);
    told();
  }
  void playlistSelectionDidChange(bool) override {}
  void propertiesMenuSelected() override {}
  void checkForLastConnectedDevice() override {}

  // The user's moves, so that the next track start is placed in the play order.
  void willStep(int direction) {
    pending_step_ = direction;
    key_step_pending_ = true;
  }
  // A skip asked for has not started a track yet.
  bool keyStepPending() const { return key_step_pending_; }
  // Where `b` restarts the track rather than going back: 3 s or more into it, or on
  // the first track played.
  bool backRestarts() const { return position_ >= 3 || order_index_ <= 0; }
  // The client's seek to the start of the track: the position shown follows at once.
  void restarted();

  void show();
  // Run after every event the engine sends.
  void setEventHandler(std::function<void()> handler) { on_event_ = std::move(handler); }
  // Also told every event, after the client (the desktop's remote control); null: none.
  void setFollower(KivSonaraDelegate* follower) { follower_ = follower; }
  // Repeat one switched on or off while playing.
  void setRepeatOne(bool on) { repeat_one_ = on; }
  // What the device can play, in words, for the reason a track is skipped.
  void setDeviceOffer(std::string offer) { device_offer_ = std::move(offer); }

  int32_t state() const { return state_; }
  // Times the engine said it stopped.
  int stops() const { return stops_; }
  bool everPlayed() const { return ever_played_; }
  int errors() const { return errors_; }
  bool deviceLost() const { return device_lost_; }
  bool noDevice() const { return no_device_; }
  bool discGone() const { return disc_gone_; }
  int tracksStarted() const { return tracks_started_; }

 private:
  std::string line();
  void told() {
    if (on_event_) on_event_();
  }

  StatusLine& status_;
  std::function<void()> on_event_;
  KivSonaraDelegate* follower_ = nullptr;
  std::string device_offer_;
  std::set<std::string> failed_;  // files reported as failed: a later skip is "failed before"
  bool repeat_one_;
  int32_t state_ = 0;
  int stops_ = 0;
  bool ever_played_ = false;
  bool device_lost_ = false;
  bool no_device_ = false;
  bool disc_gone_ = false;
  int tracks_started_ = 0;
  int errors_ = 0;
  int order_index_ = -1;  // the playing track's place in the play order, as far as seen
  int pending_step_ = 1;
  bool key_step_pending_ = false;
  bool changed_ = false;
  uint32_t position_ = 0;
  uint32_t total_ = 0;
  std::vector<uint32_t> durations_;  // seconds of each track by its place in the play order
  uint64_t current_track_ = 0;       // the playing track's ID
};

}  // namespace pelmora::cli
