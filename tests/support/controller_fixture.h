// The engine through its exported API, as a client uses it: virtual devices, a main
// loop run by the test thread, real files, and a client that records every event.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "engine/api/toolkit.h"
#include "engine/controller/tk_delegate.h"
#include "platform/audio/virtual_hal.h"
#include "platform/services.h"
#include "platform/standalone_main_loop.h"
#include "support/flac_fixtures.h"
#include "support/recording_delegate.h"
#include "support/recording_inhibitor.h"
#include "support/temp_dir.h"
#include "support/virtual_devices.h"

class ControllerFixture : public ::testing::Test {
 protected:
  void SetUp() override { useDevices({device("DAC A", "realtime"), device("DAC B", "realtime")}); }
  void TearDown() override {
    Toolkit_Exit();
    sonara::audio::installHal(nullptr);
    sonara::platform::installMainLoop(nullptr);
    sonara::platform::installUserDefaults(nullptr);
    sonara::platform::installIdleSleepAssertion(nullptr);
  }

  DeviceJson device(const std::string& name, const std::string& clock) {
    DeviceJson d;
    d.name = name;
    d.formats = {formatJson(0, 24, 4, 2, false, false, 44100, 192000)};
    d.clock = clock;
    d.capture = dir_.file(name + ".raw");
    return d;
  }
  void useDevices(const std::vector<DeviceJson>& devices) {
    hal_ = makeVirtualHal(devices);
    sonara::audio::installHal(hal_);
    sonara::platform::installMainLoop(loop_);
    sonara::platform::installIdleSleepAssertion(inhibitor_);
    sonara::platform::installUserDefaults(
        std::make_shared<sonara::platform::UserDefaults>(dir_.file("defaults.plist")));
  }
  void start(const std::string& device_name = "DAC A", KivSonaraDelegate* client = nullptr) {
    ASSERT_EQ(Toolkit_Init(client ? client : &client_), 0);
    TkConfig config;
    config.setDeviceName(device_name);
    ASSERT_EQ(Toolkit_SetConfiguration(&config), 0);
  }
  std::string track(const std::string& name, double seconds, uint32_t rate = 44100) {
    FlacSetup setup{rate, 16, 2, seconds, {"TITLE=" + name}};
    return makeFlac(dir_.path(), name, setup);
  }
  // Turns the installed main loop (a test may install its own) until `done` holds;
  // false when it did not within `seconds`.
  template <typename F>
  bool runUntil(F done, double seconds = 30) {
    auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!done()) {
      if (std::chrono::steady_clock::now() > until) return false;
      sonara::platform::mainLoop().runFor(std::chrono::milliseconds(5));
    }
    return true;
  }
  void runFor(double seconds) {
    runUntil([] { return false; }, seconds);
  }
  int songSwitches() const { return client_.song_switches; }
  int32_t state() const { return client_.states.empty() ? -1 : client_.states.back(); }
  std::string playingTitle() {
    auto item = getObject() ? getObject()->currentItem() : nullptr;
    return item ? item->title() : "";
  }

  TempDir dir_;
  std::shared_ptr<sonara::platform::StandaloneMainLoop> loop_ =
      std::make_shared<sonara::platform::StandaloneMainLoop>();
  std::shared_ptr<sonara::audio::VirtualHal> hal_;
  RecordingDelegate client_;
  std::shared_ptr<RecordingInhibitor> inhibitor_ = std::make_shared<RecordingInhibitor>();
};
