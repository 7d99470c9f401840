#include "cli/play_command.h"

#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <memory>

#include "cli/play_display.h"
#include "engine/api/toolkit.h"
#include "platform/audio/virtual_device_setup.h"
#include "platform/services.h"
#include "platform/standalone_main_loop.h"

namespace pelmora::cli {
namespace {

std::atomic<int> g_signal{0};
void onSignal(int signal) { g_signal = signal; }

// Raw keys from a terminal, restored on exit.
class TerminalKeys {
 public:
  TerminalKeys() {
    if (!::isatty(STDIN_FILENO) || ::tcgetattr(STDIN_FILENO, &saved_) != 0) return;
    termios raw = saved_;
    raw.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO));
    raw.c_cc[VMIN] = 0;
    raw.c_cc[VTIME] = 0;
    active_ = ::tcsetattr(STDIN_FILENO, TCSANOW, &raw) == 0;
  }
  ~TerminalKeys() {
    if (active_) ::tcsetattr(STDIN_FILENO, TCSANOW, &saved_);
  }
  int next() {
    if (!active_) return -1;
    pollfd p{STDIN_FILENO, POLLIN, 0};
    char c;
    if (::poll(&p, 1, 0) > 0 && ::read(STDIN_FILENO, &c, 1) == 1) return c;
    return -1;
  }
  bool active() const { return active_; }

 private:
  termios saved_{};
  bool active_ = false;
};

class PlayerClient final : public KivSonaraDelegate {
 public:
  explicit PlayerClient(bool tty) : tty_(tty) {}
  // Every track is shown as it starts, however briefly it plays.
  void songSwitch() override {
    ++tracks_started_;
    position_ = 0;
    changed_ = true;
    show();
  }
  void stateDidChange(int32_t state) override {
    state_ = state;
    if (state == 1) ever_played_ = true;
    changed_ = true;
  }
  void notifyError(int32_t code, const AudioFileInfo* info) override {
    static const char* const kWhy[] = {"the output device went away", "no output device could be opened",
                                       "skipped: it failed before or the device cannot play its format",
                                       "decoding failed", "not enough memory"};
    clearLine();
    std::fprintf(stderr, "pelmora-cli: %s%s%s\n", info ? info->fileName().c_str() : "", info ? ": " : "",
                 code >= 0 && code < 5 ? kWhy[code] : "error");
    ++errors_;
  }
  void notifyPos(uint32_t position, uint32_t total) override {
    position_ = position;
    total_ = total;
    changed_ = true;
  }
  void playlistStateDidChange(int32_t) override {}
  void playlistSelectionDidChange(bool) override {}
  void propertiesMenuSelected() override {}
  void checkForLastConnectedDevice() override {}

  void clearLine() {
    if (tty_ && shown_) std::fputs("\r\x1b[K", stdout);
    std::fflush(stdout);
  }
  void show() {
    if (!changed_) return;
    changed_ = false;
    if (state_ == 0) return;
    std::shared_ptr<AudioFileInfo> file;
    if (Toolkit_GetFileInfo(false, &file) != 0 || !file) return;
    std::string source = file->extName() + " " + formatRate(file->samplingRate()) + " " +
                         std::to_string(file->bitResolution()) + "-bit";
    TkOutputFormat out;
    std::string device;
    if (Toolkit_GetOutputFormat(&out) == 0) {
      device = " -> " + out.transport + " " + formatRate(out.sampleRate) + " " + std::to_string(out.bits) + "-bit";
    }
    uint32_t total_time = 0;
    Toolkit_TotalTime(&total_time);
    std::string line = (state_ == 2 ? "[paused] " : "") + file->titleName() +
                       (file->artistName().empty() ? "" : " - " + file->artistName()) + " | " + source + device +
                       " | " + formatTime(position_) + " / " + formatTime(static_cast<uint32_t>(file->durationBySec() + 0.5)) +
                       " | playlist " + formatTime(total_) + " / " + formatTime(total_time);
    if (tty_) {
      std::printf("\r\x1b[K%s", line.c_str());
    } else {
      std::printf("%s\n", line.c_str());
    }
    shown_ = true;
    std::fflush(stdout);
  }

  int32_t state_ = 0;
  bool ever_played_ = false;
  int tracks_started_ = 0;
  int errors_ = 0;

 private:
  bool tty_;
  bool shown_ = false;
  bool changed_ = false;
  uint32_t position_ = 0;
  uint32_t total_ = 0;
};

int fail(const std::string& message) {
  std::fprintf(stderr, "pelmora-cli: %s\n", message.c_str());
  return 1;
}

}  // namespace

int play(const PlayRequest& request) {
  auto loop = std::make_shared<sonara::platform::StandaloneMainLoop>();
  sonara::platform::installMainLoop(loop);
  const bool tty = ::isatty(STDOUT_FILENO);
  PlayerClient client(tty);
  if (Toolkit_Init(&client) != kToolkitOk) return fail("the engine could not be started");
  struct ExitEngine {
    ~ExitEngine() { Toolkit_Exit(); }
  } exit_engine;

  std::vector<TkDeviceInfo> devices;
  if (Toolkit_GetDeviceList(&devices) != kToolkitOk) return fail("no output device found");
  std::string device = request.device.empty() ? devices.front().deviceName().value_or("") : request.device;
  bool known = false;
  for (const auto& d : devices) known |= d.deviceName() == device;
  if (!known) return fail("no output device named \"" + device + "\" (see pelmora-cli devices)");

  TkConfig config;
  config.setDeviceName(device);
  config.setDecodeMode(request.dsd == "native" ? 1 : 0);
  config.setRamMode(0);
  config.setRamModeMemoryLimit(100);
  if (Toolkit_SetConfiguration(&config) != kToolkitOk) return fail("the play engine could not be set up");
  TkConfig applied;
  Toolkit_GetConfiguration(&applied);
  if (applied.deviceName() != device) return fail("the device \"" + device + "\" could not be opened (is it busy?)");

  Toolkit_AddDroppedFiles(request.items);
  uint32_t count = 0;
  Toolkit_GetPlaylistItemCount(&count);
  if (count == 0) return fail("nothing playable among the items given");
  Toolkit_Repeat(request.repeat == "one" ? 1 : request.repeat == "all" ? 2 : 0);
  Toolkit_Shuffle(request.shuffle ? 1 : 0);

  std::signal(SIGINT, onSignal);
  std::signal(SIGTERM, onSignal);
  std::signal(SIGUSR1, onSignal);
  std::signal(SIGUSR2, onSignal);
  TerminalKeys keys;
  if (keys.active()) std::printf("keys: space pause, n next, b previous, q stop\n");

  Toolkit_PlayRequest();
  bool seeked = request.start_s <= 0;
  bool stopping = false;
  while (!stopping) {
    loop->runFor(std::chrono::milliseconds(50));
    if (!seeked && client.state_ == 1) {
      Toolkit_SetPos(static_cast<uint32_t>(request.start_s));
      seeked = true;
    }
    switch (int s = g_signal.exchange(0); s) {
      case SIGINT:
      case SIGTERM: stopping = true; break;
      case SIGUSR1: Toolkit_PauseRequest(); break;
      case SIGUSR2: Toolkit_NextRequest(); break;
      default: break;
    }
    for (int key = keys.next(); key >= 0; key = keys.next()) {
      if (key == ' ' || key == 'p') Toolkit_PauseRequest();
      if (key == 'n') Toolkit_NextRequest();
      if (key == 'b') Toolkit_PrevRequest();
      if (key == 'q') stopping = true;
    }
    client.show();
    if (client.ever_played_ && client.state_ == 0) break;
    if (!client.ever_played_ && client.errors_ >= static_cast<int>(count)) break;
  }
  Toolkit_StopRequest();
  loop->runFor(std::chrono::milliseconds(20));
  client.clearLine();
  if (tty) std::printf("\n");
  if (device == "Pelmora Capture") {
    std::printf("The device's bytes were captured to %s\n", sonara::audio::defaultCapturePath().c_str());
  }
  if (!client.ever_played_) return fail("nothing could be played");
  return 0;
}

}  // namespace pelmora::cli
