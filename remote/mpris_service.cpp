#include "remote/mpris_service.h"

#include <poll.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "engine/api/toolkit.h"
#include "platform/log.h"
#include "remote/bus_name_choice.h"
#include "remote/bus_watch.h"
#include "remote/mpris_bus_objects.h"

namespace pelmora::remote {
namespace {

// No call to the bus daemon (the name request) waits longer than this.
constexpr uint64_t kCallTimeoutUs = 2'000'000;
// Messages served in one turn of the main loop, so that a flood cannot hold it.
constexpr int kMessagesPerTurn = 64;

std::vector<std::string> pluginExtensions() {
  std::vector<TkPluginInfoItem> plugins;
  std::vector<std::string> out;
  if (Toolkit_GetPluginVersion(&plugins) != kToolkitOk) return out;
  for (const auto& p : plugins) {
    for (auto& e : splitExtensions(p.pluginExt())) out.push_back(std::move(e));
  }
  return out;
}

}  // namespace

MprisService::MprisService(MprisOptions options) : options_(std::move(options)) {
  extensions_ = pluginExtensions();
  mime_types_ = mimeTypesOf(extensions_);
  state_ = current();
  if (!connect()) return;
  watch_ = std::make_unique<BusWatch>(sd_bus_get_fd(bus_), [this](short revents) { serve(revents); });
  rearm();
}

MprisService::~MprisService() { disconnect(); }

bool MprisService::connect() {
  sd_bus* bus = nullptr;
  if (sd_bus_open_user(&bus) < 0 || !bus) {
    sonara::platform::logLineOnce("Remote control is off: no session bus.");
    return false;
  }
  sd_bus_set_method_call_timeout(bus, kCallTimeoutUs);
  int r = sd_bus_add_object_vtable(bus, &root_slot_, kObjectPath, kRootInterface, rootInterfaceTable(), this);
  if (r >= 0) {
    r = sd_bus_add_object_vtable(bus, &player_slot_, kObjectPath, kPlayerInterface, playerInterfaceTable(), this);
  }
  int error = r;
  if (r >= 0) {
    bus_name_ = takePlayerName(bus, "org.mpris.MediaPlayer2." + options_.player_name, static_cast<long>(::getpid()),
                               &error);
  }
  if (bus_name_.empty()) {
    root_slot_ = sd_bus_slot_unref(root_slot_);
    player_slot_ = sd_bus_slot_unref(player_slot_);
    sd_bus_close_unref(bus);
    // A bus that cannot be reached answers the first call with a connection error.
    if (error == -ECONNREFUSED || error == -ENOENT || error == -ECONNRESET || error == -ENOTCONN ||
        error == -ETIMEDOUT) {
      sonara::platform::logLineOnce("Remote control is off: no session bus.");
    } else {
      sonara::platform::logLineOnce("Remote control is off: the session bus gave no player name (%s).",
                                    std::strerror(-error));
    }
    return false;
  }
  bus_ = bus;
  return true;
}

void MprisService::disconnect() {
  watch_.reset();
  root_slot_ = sd_bus_slot_unref(root_slot_);
  player_slot_ = sd_bus_slot_unref(player_slot_);
  // Closing gives the name back; nothing waits for a daemon that may be gone.
  if (bus_) sd_bus_close_unref(bus_);
  bus_ = nullptr;
  bus_name_.clear();
}

void MprisService::serve(short revents) {
  if (!bus_) return;
  int r = 0;
  int served = 0;
  while (served < kMessagesPerTurn && (r = sd_bus_process(bus_, nullptr)) > 0) ++served;
  const bool hung_up = (revents & (POLLHUP | POLLERR | POLLNVAL)) != 0 && r == 0;
  if (r < 0 || sd_bus_is_open(bus_) <= 0 || hung_up) {
    sonara::platform::logLine("Remote control is off: the session bus went away.");
    watch_->stop();
    root_slot_ = sd_bus_slot_unref(root_slot_);
    player_slot_ = sd_bus_slot_unref(player_slot_);
    sd_bus_close_unref(bus_);
    bus_ = nullptr;
    bus_name_.clear();
    return;
  }
  if (served == kMessagesPerTurn) {
    watch_->rearm(POLLIN, 0);  // more may be buffered: come back at once
    return;
  }
  rearm();
}

void MprisService::rearm() {
  if (!bus_ || !watch_) return;
  const int events = sd_bus_get_events(bus_);
  uint64_t timeout = UINT64_MAX;
  if (sd_bus_get_timeout(bus_, &timeout) < 0) timeout = UINT64_MAX;
  watch_->rearm(static_cast<short>(events > 0 ? events : POLLIN), timeout);
}

PlayerState MprisService::current() const {
  PlayerState s;
  s.status = engine_state_;
  s.repeat = options_.repeat;
  s.shuffle = options_.shuffle;
  std::shared_ptr<AudioFileInfo> file;
  if (engine_state_ != 0 && Toolkit_GetFileInfo(false, &file) == kToolkitOk && file) s.track = metadataOf(file.get());
  uint32_t count = 0;
  Toolkit_GetPlaylistItemCount(&count);
  s.can_play = count > 0;
  s.can_pause = s.track.hasTrack();
  s.can_seek = s.track.hasTrack() && s.track.length_us > 0;
  s.can_go_next = count > 0;
  s.can_go_previous = count > 0;
  return s;
}

void MprisService::publish() {
  PlayerState now = current();
  const std::vector<const char*> names = changedProperties(state_, now);
  state_ = std::move(now);
  if (!bus_ || names.empty()) return;
  std::vector<char*> list;
  for (const char* n : names) list.push_back(const_cast<char*>(n));
  list.push_back(nullptr);
  sd_bus_emit_properties_changed_strv(bus_, kObjectPath, kPlayerInterface, list.data());
  rearm();
}

void MprisService::emitSeeked(uint32_t seconds) {
  position_s_ = seconds;
  if (!bus_) return;
  sd_bus_emit_signal(bus_, kObjectPath, kPlayerInterface, "Seeked", "x", positionUs());
  rearm();
}

void MprisService::songSwitch() {
  const std::string before = state_.track.track_path;
  publish();
  if (state_.track.track_path != before) position_s_ = 0;
}

void MprisService::stateDidChange(int32_t state) {
  engine_state_ = state;
  if (state == 0) position_s_ = 0;
  publish();
}

void MprisService::notifyPos(uint32_t position, uint32_t) { position_s_ = position; }

void MprisService::repeatChanged(int32_t mode) {
  options_.repeat = mode;
  publish();
}

void MprisService::shuffleChanged(bool on) {
  options_.shuffle = on;
  publish();
}

void MprisService::seekedTo(uint32_t seconds) { emitSeeked(seconds); }

}  // namespace pelmora::remote
