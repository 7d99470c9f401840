// The engine through its exported API for the benchmarks, as a player drives it:
// one virtual DAC, a main loop turned by the calling thread, no capture file.
#pragma once

#include <chrono>
#include <memory>
#include <string>

#include "engine/api/toolkit.h"
#include "platform/audio/virtual_hal.h"
#include "platform/services.h"
#include "platform/standalone_main_loop.h"
#include "platform/ui/headless_ui.h"
#include "platform/user_defaults.h"
#include "support/recording_delegate.h"
#include "support/recording_inhibitor.h"
#include "support/temp_dir.h"
#include "support/virtual_devices.h"

// The engine through its API, as the player drives it, on one virtual DAC that
// takes PCM up to 768 kHz in 24 bits (so DoP up to DSD256).
class BenchEngine {
 public:
  BenchEngine(const std::string& clock, bool ram) {
    DeviceJson dac;
    dac.name = "Bench DAC";
    dac.formats = {formatJson(0, 24, 4, 2, false, false, 44100, 768000)};
    dac.clock = clock;
    dac.capture = "";
    sonara::audio::installHal(makeVirtualHal({dac}));
    sonara::platform::installMainLoop(loop_);
    sonara::platform::installIdleSleepAssertion(std::make_shared<RecordingInhibitor>());
    sonara::platform::installUserDefaults(std::make_shared<sonara::platform::UserDefaults>(dir_.file("d.plist")));
    sonara::platform::installUiServices(std::make_shared<sonara::ui::HeadlessUi>());
    ok_ = Toolkit_Init(&client_) == kToolkitOk;
    TkConfig config;
    config.setDeviceName("Bench DAC");
    config.setRamMode(ram ? 1 : 0);
    config.setRamModeMemoryLimit(64 * 1024);
    ok_ = ok_ && Toolkit_SetConfiguration(&config) == kToolkitOk;
  }
  ~BenchEngine() {
    Toolkit_Exit();
    sonara::platform::installUiServices(nullptr);
    sonara::audio::installHal(nullptr);
    sonara::platform::installMainLoop(nullptr);
  }
  bool ok() const { return ok_; }
  bool add(const std::string& path) {
    Toolkit_AddDroppedFiles({path});
    uint32_t count = 0;
    Toolkit_GetPlaylistItemCount(&count);
    return count == 1;
  }
  // In RAM play mode this returns when the track is in memory.
  bool play() { return Toolkit_PlayRequest() == kToolkitOk; }
  void stop() { Toolkit_StopRequest(); }
  bool playsToTheEnd(double seconds) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (std::chrono::steady_clock::now() < until) {
      loop_->runFor(std::chrono::milliseconds(5));
      if (client_.song_switches > 0 && !client_.states.empty() && client_.states.back() == 0) return true;
    }
    return false;
  }
  bool failed() const { return !client_.errors.empty(); }
  void runFor(double seconds) { loop_->runFor(std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::duration<double>(seconds))); }
  void pause() { Toolkit_PauseRequest(); }

 private:
  TempDir dir_;
  std::shared_ptr<sonara::platform::StandaloneMainLoop> loop_ =
      std::make_shared<sonara::platform::StandaloneMainLoop>();
  RecordingDelegate client_;
  bool ok_ = false;
};

