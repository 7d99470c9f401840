// Desktop remote control: the player on the session bus as an MPRIS2 media player
// (org.mpris.MediaPlayer2 and org.mpris.MediaPlayer2.Player at /org/mpris/MediaPlayer2),
// so that media keys, headset buttons, the desktop's media widgets and `playerctl`
// control it. It drives the engine through the Toolkit_* functions only and learns
// what the engine does from the program's own client: forward every event of the
// program's KivSonaraDelegate to it. Everything runs on the main thread: the bus is
// served from the main loop, never from the engine's threads.
//
// Without a session bus the service is off: it says so once in the log and every
// call does nothing. When the bus goes away later it says that, and the player
// plays on.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/api/kiv_sonara_delegate.h"
#include "remote/player_state.h"

struct sd_bus;
struct sd_bus_slot;

namespace pelmora::remote {

class BusWatch;

struct MprisOptions {
  // The name taken is "org.mpris.MediaPlayer2.<player_name>", or that with
  // ".instance<pid>" when another player holds it.
  std::string player_name = "pelmora";
  std::string identity = "Pelmora";
  std::string desktop_entry = "pelmora";
  // Brings the program's window to the front; none: CanRaise is false.
  std::function<void()> raise;
  // Stops playback and ends the program as its own quit does (by ending its main
  // loop: the service must outlive the call); none: CanQuit is false.
  std::function<void()> quit;
  // The program's own next and previous, where it keeps its own place in the play
  // order; none: Toolkit_NextRequest and Toolkit_PrevRequest.
  std::function<void()> next;
  std::function<void()> previous;
  // Told after a remote changed the engine's repeat mode (0 off, 1 one, 2 all) or
  // shuffle, so that the program's own controls follow.
  std::function<void(int32_t)> repeat_changed;
  std::function<void(bool)> shuffle_changed;
  // The engine's repeat mode and shuffle when the service starts.
  int32_t repeat = 0;
  bool shuffle = false;
};

class MprisService final : public KivSonaraDelegate {
 public:
  static constexpr char kObjectPath[] = "/org/mpris/MediaPlayer2";
  static constexpr char kRootInterface[] = "org.mpris.MediaPlayer2";
  static constexpr char kPlayerInterface[] = "org.mpris.MediaPlayer2.Player";

  // Connects to the session bus and takes the player's name; on the main thread,
  // after Toolkit_Init.
  explicit MprisService(MprisOptions options);
  ~MprisService() override;
  MprisService(const MprisService&) = delete;
  MprisService& operator=(const MprisService&) = delete;

  // Served on the bus now.
  bool active() const { return bus_ != nullptr; }
  // The name taken, or empty.
  const std::string& busName() const { return bus_name_; }

  // The engine's events, forwarded by the program's delegate.
  void songSwitch() override;
  void stateDidChange(int32_t state) override;
  void notifyError(int32_t, const AudioFileInfo*) override {}
  void notifyPos(uint32_t position, uint32_t total) override;
  void playlistStateDidChange(int32_t) override { publish(); }
  void playlistSelectionDidChange(bool) override {}
  void propertiesMenuSelected() override {}
  void checkForLastConnectedDevice() override {}

  // The program changed these itself (its own controls).
  void repeatChanged(int32_t mode);
  void shuffleChanged(bool on);
  // The program seeked itself: remotes are told where playback is now.
  void seekedTo(uint32_t seconds);

  // What a remote asks for.
  void play();
  void pause();
  void playPause();
  void stop();
  void next();
  void previous();
  void seekBy(int64_t offset_us);
  void setPosition(const std::string& track_path, int64_t position_us);
  // False with the reason when the URI is not a playable file.
  bool openUri(const std::string& uri, std::string* error);
  void raise();
  void quit();
  // False for a status that is not "None", "Track" or "Playlist".
  bool setLoopStatus(const std::string& status);
  void setShuffle(bool on);

  // What remotes read.
  const MprisOptions& options() const { return options_; }
  const PlayerState& state() const { return state_; }
  int64_t positionUs() const { return static_cast<int64_t>(position_s_) * 1'000'000; }
  const std::vector<std::string>& mimeTypes() const { return mime_types_; }

 private:
  bool connect();
  // Looks at the engine again and signals what changed.
  void publish();
  PlayerState current() const;
  void emitSeeked(uint32_t seconds);
  // Serves what the bus delivered; `revents` as poll() saw the connection.
  void serve(short revents);
  // Tells the watch what the connection waits for now.
  void rearm();
  void disconnect();

  MprisOptions options_;
  std::vector<std::string> extensions_;
  std::vector<std::string> mime_types_;
  PlayerState state_;  // as last signalled
  int32_t engine_state_ = 0;
  uint32_t position_s_ = 0;
  std::string bus_name_;
  sd_bus* bus_ = nullptr;
  sd_bus_slot* root_slot_ = nullptr;
  sd_bus_slot* player_slot_ = nullptr;
  std::unique_ptr<BusWatch> watch_;
};

}  // namespace pelmora::remote
