#include "cli/play_command.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <utility>
#include <csignal>
#include <cstdio>
#include <memory>
#include <optional>

#include "cli/cd_choice.h"
#include "cli/decode_progress.h"
#include "cli/device_choice.h"
#include "cli/device_summary.h"
#include "cli/exit_signals.h"
#include "cli/file_check.h"
#include "cli/input_watch.h"
#include "cli/item_scan.h"
#include "cli/player_client.h"
#include "cli/player_loop.h"
#include "cli/status_line.h"
#include "cli/terminal_keys.h"
#include "engine/api/toolkit.h"
#include "engine/controller/tk_delegate.h"
#include "engine/output/audio_device_list.h"
#include "engine/plugin/plugin_manager.h"
#include "platform/audio/virtual_device_setup.h"
#include "platform/log.h"
#include "platform/memory_probe.h"
#include "platform/named_exception.h"
#include "platform/services.h"
#include "platform/standalone_main_loop.h"
#include "platform/ui/headless_ui.h"
#include "remote/mpris_service.h"

namespace pelmora::cli {
namespace {

constexpr int kFailed = 1;
constexpr int kUsage = 2;

int fail(int status, const std::string& message) {
  sonara::platform::flushLog();
  std::fprintf(stderr, "pelmora-cli: %s\n", message.c_str());
  return status;
}

std::optional<DeviceAbilities> abilitiesOfDevice(const std::string& device_name) {
  AudioDeviceList list;
  try {
    list.initialize();
  } catch (const sonara::NamedException&) {
    return std::nullopt;
  }
  for (const auto& d : list.getDeviceArray(false)) {
    if (d->name == device_name) return abilitiesOf(list.hal(), *d);
  }
  return std::nullopt;
}

// Opens the CD panel as a user would, picks the disc and confirms it; the message of
// what went wrong, or nothing.
std::string takeDisc(sonara::ui::HeadlessUi& ui, const std::string& label) {
  Toolkit_OpenCD();
  auto& panel = ui.headlessCdPanel();
  if (!panel.visible()) return "the CD panel could not be shown";
  std::string error;
  const int index = chooseDisc(panel.labels(), label, &error);
  if (index < 0) return error;
  panel.choose(index);
  panel.pressOk();
  uint32_t count = 0;
  Toolkit_GetPlaylistItemCount(&count);
  if (count == 0) return "the disc \"" + panel.labels()[static_cast<size_t>(index)] + "\" has no track that can be played";
  return {};
}

// Half of what the machine can give now: a track that needs more is refused with
// its size, rather than pushing the desktop into swap.
uint32_t defaultRamLimitMib() {
  const auto available = sonara::platform::availablePhysicalMemory();
  if (!available) return 2048;
  return static_cast<uint32_t>(std::clamp<uint64_t>(*available / 2 / 1048576, 1, 2147483647));
}

bool fileExists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace

int play(const PlayRequest& request) {
  installPlayerSignals();
  sonara::PluginManager::initializePluginList();
  if (sonara::PluginManager::sharedInstance().getDecoderExts().empty()) return fail(kFailed, noPluginsReason());

  if (request.cd && !request.items.empty()) return fail(kUsage, "--cd plays a disc: name no items with it");
  std::string choice_error;
  const std::string device = chooseDevice(request.device, &choice_error);
  if (device.empty()) return fail(request.device.empty() ? kFailed : kUsage, choice_error);

  // Playlist files and cue sheets are items too: the engine expands them.
  ItemScan scan = scanItems(request.items, TkDelegate::droppableExtensions());
  for (const auto& problem : scan.problems) std::fprintf(stderr, "pelmora-cli: %s\n", problem.text().c_str());
  if (auto summary = unsupportedSummary(scan.unsupported); !summary.empty()) {
    std::fprintf(stderr, "pelmora-cli: %s\n", summary.c_str());
  }
  const bool last_playlist = request.items.empty() && !request.cd;
  if (scan.files.empty() && !last_playlist && !request.cd) return fail(kFailed, "nothing playable among the items given");

  std::optional<DeviceAbilities> abilities = abilitiesOfDevice(device);
  if (request.dsd == "native" && abilities && abilities->native_dsd == 0) {
    if (abilities->dop_dsd > 0) {
      std::fprintf(stderr, "pelmora-cli: %s has no native DSD: DSD goes to it as DoP\n", device.c_str());
    } else {
      std::fprintf(stderr,
                   "pelmora-cli: %s has no native DSD and no 24- or 32-bit format for DoP: DSD tracks are "
                   "skipped\n",
                   device.c_str());
    }
  }

  auto loop = std::make_shared<sonara::platform::StandaloneMainLoop>();
  sonara::platform::installMainLoop(loop);
  // Panels are answered here, from the command line.
  auto ui = std::make_shared<sonara::ui::HeadlessUi>();
  sonara::platform::installUiServices(ui);
  const bool tty = ::isatty(STDOUT_FILENO);
  StatusLine status(tty);
  status.captureLog();
  PlayerClient client(status, request.repeat == "one");
  if (abilities) {
    abilities->in_use_by.clear();
    client.setDeviceOffer(describeAbilities(*abilities));
  }
  TerminalKeys keys;
  // Drawn while a track decodes into memory; the engine holds it until it exits.
  DecodeProgress progress(status, tty);
  progress.setSkipHandler([&client] {
    client.willStep(1);
    Toolkit_NextRequest();
  });
  ui->setProgressPanel(&progress);
  struct ReleasePanel {
    sonara::ui::HeadlessUi& ui;
    ~ReleasePanel() { ui.setProgressPanel(nullptr); }
  } release_panel{*ui};
  if (Toolkit_Init(&client) != kToolkitOk) return fail(kFailed, "the engine could not be started");
  struct ExitEngine {
    ~ExitEngine() { Toolkit_Exit(); }
  } exit_engine;

  const uint32_t ram_limit = request.ram_limit_mib != 0 ? request.ram_limit_mib : defaultRamLimitMib();
  TkConfig config;
  config.setDeviceName(device);
  config.setDecodeMode(request.dsd == "native" ? 1 : 0);
  config.setRamMode(request.ram ? 1 : 0);
  config.setRamModeMemoryLimit(static_cast<int32_t>(ram_limit));
  if (Toolkit_SetConfiguration(&config) != kToolkitOk) return fail(kFailed, "the play engine could not be set up");
  TkConfig applied;
  Toolkit_GetConfiguration(&applied);
  if (applied.deviceName() != device) return fail(kFailed, "the device \"" + device + "\" could not be opened");

  // One item at a time, so that the list keeps the command line's order; a folder's
  // files go in as one drop, so that an album's audio file and cue sheet in it play
  // once, as the sheet's tracks. `list` builds its records the same way.
  for (const auto& group : scan.groups) Toolkit_AddDroppedFiles(group);
  if (last_playlist) Toolkit_loadLastPlaylist();
  if (request.cd) {
    if (std::string error = takeDisc(*ui, request.cd_label); !error.empty()) return fail(kFailed, error);
  }
  uint32_t count = 0;
  Toolkit_GetPlaylistItemCount(&count);
  if (count == 0 && last_playlist) {
    return fail(kFailed, "there is no last playlist to play: name files, folders, cue sheets or playlists");
  }
  if (count == 0) return fail(kFailed, "nothing playable among the items given");
  Toolkit_Repeat(request.repeat == "one" ? 1 : request.repeat == "all" ? 2 : 0);
  Toolkit_Shuffle(request.shuffle ? 1 : 0);

  if (request.ram) {
    status.message("RAM play: each track is decoded whole into memory before it plays (at most " +
                   std::to_string(ram_limit) + " MiB per track" +
                   (request.ram_limit_mib != 0 ? "" : ", half the memory available now") + "); q or Ctrl-C cancels a decode");
  }
  if (keys.active()) status.message("keys: space pause, n next, b back (restart after 3 s), q stop");

  PlayerLoop player(*loop, client, keys, progress, count);
  // Engine events (and a decode's end) are followed from the main loop, once per
  // turn however many came.
  bool check_posted = false;
  auto post_check = [&] {
    if (std::exchange(check_posted, true)) return;
    loop->post([&] {
      check_posted = false;
      player.handleEvent();
    });
  };
  client.setEventHandler(post_check);
  progress.setClosedHandler(post_check);
  // Remotes on the desktop do what the keys do.
  std::unique_ptr<pelmora::remote::MprisService> remote;
  if (request.remote) {
    pelmora::remote::MprisOptions options;
    options.quit = [&player] { player.remoteKey('q'); };
    options.next = [&player] { player.remoteKey('n'); };
    options.previous = [&player] { player.remoteKey('b'); };
    options.repeat_changed = [&client](int32_t mode) { client.setRepeatOne(mode == 1); };
    options.repeat = request.repeat == "one" ? 1 : request.repeat == "all" ? 2 : 0;
    options.shuffle = request.shuffle;
    remote = std::make_unique<pelmora::remote::MprisService>(std::move(options));
    client.setFollower(remote.get());
    player.setRestartHandler([&remote] {
      if (remote) remote->seekedTo(0);
    });
  }
  InputWatch input(keys.active(), [&] { player.handleInput(); });
  if (!isTerminating(terminatingSignal())) {
    if (request.start_s > 0) {
      Toolkit_PlayRequestFrom(static_cast<uint32_t>(request.start_s));
    } else {
      Toolkit_PlayRequest();
    }
  }
  if (terminatingSignal() != 0) player.handleInput();
  player.run();
  const int terminated_by = player.terminatedBy();
  const bool quit = player.quit();
  const bool ended_after_skip = player.endedAfterSkip();
  Toolkit_StopRequest();
  loop->runFor(std::chrono::milliseconds(20));
  client.setFollower(nullptr);
  remote.reset();
  // Played again by `pelmora-cli play` without items.
  Toolkit_saveLastPlaylist();
  status.finish();
  if (tty) std::printf("\n");
  sonara::platform::flushLog();
  if (ended_after_skip) status.message("pelmora-cli: no further track to go to: the playlist has ended");
  if (client.everPlayed() && device == "Pelmora Capture") {
    const std::string path = sonara::audio::defaultCapturePath();
    if (fileExists(path)) std::printf("The device's bytes were captured to %s\n", path.c_str());
  }
  if (terminated_by) return exitStatusOf(terminated_by);
  if (quit && !client.everPlayed()) return 0;  // stopped by the user before anything played
  if (client.discGone()) return fail(kFailed, "the disc went away: playback stopped");
  if (client.noDevice() && !client.everPlayed()) {
    return fail(kFailed, "the device \"" + device + "\" could not be opened");
  }
  if (!client.everPlayed()) return fail(kFailed, "nothing could be played");
  if (client.deviceLost()) return kFailed;
  return 0;
}

}  // namespace pelmora::cli
