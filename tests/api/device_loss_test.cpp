// A device that goes away at the worst moment: during playback, right before or
// during pause, stop, seek and a track change, on plain devices and on DACs that are
// muted and switched around every start and stop. Nothing may hang, and the client
// hears of it.
#include <gtest/gtest.h>

#include "engine/output/device_table.h"
#include "support/controller_fixture.h"
#include "support/log_capture.h"
#include "support/watchdog.h"

namespace {

enum class Action { None, Pause, Stop, Seek, Next, PauseThenResume };

struct Case {
  Action action;
  bool usb_switched;
};

std::string nameOf(const ::testing::TestParamInfo<Case>& info) {
  static const char* const kNames[] = {"Playing", "Pause", "Stop", "Seek", "Next", "PauseThenResume"};
  return std::string(kNames[static_cast<int>(info.param.action)]) + (info.param.usb_switched ? "OnUsbSwitchedDac" : "OnPlainDevice");
}

class DeviceLossTest : public ControllerFixture, public ::testing::WithParamInterface<Case> {
 protected:
  void SetUp() override {
    DeviceJson d = device("DAC", "realtime");
    if (GetParam().usb_switched) {
      d.vid = device_info[12].vid;  // muted around start and stop, timed in device time
      d.pid = device_info[12].pid;
    }
    useDevices({d});
    start("DAC");
  }
  void TearDown() override {
    Watchdog watchdog("Toolkit_Exit after the device went away", std::chrono::seconds(20));
    ControllerFixture::TearDown();
  }
};

TEST_P(DeviceLossTest, NothingHangsAndTheClientHearsTheDeviceWentAway) {
  Toolkit_AddDroppedFiles({track("a", 6.0), track("b", 6.0)});
  ASSERT_EQ(Toolkit_PlayRequest(), 0);
  ASSERT_TRUE(runUntil([&] { return songSwitches() == 1; }));
  loop_->runFor(std::chrono::milliseconds(300));
  if (GetParam().action == Action::PauseThenResume) Toolkit_PauseRequest();
  LogCapture log;
  hal_->unplug(1);
  {
    // The request comes before the main loop has heard of the loss: it meets a
    // device that delivers no more IO cycles.
    Watchdog watchdog("the request after the unplug", std::chrono::seconds(15));
    switch (GetParam().action) {
      case Action::None: break;
      case Action::Pause: Toolkit_PauseRequest(); break;
      case Action::Stop: Toolkit_StopRequest(); break;
      case Action::Seek: Toolkit_SetPos(3); break;
      case Action::Next: Toolkit_NextRequest(); break;
      case Action::PauseThenResume: Toolkit_PauseRequest(); break;
    }
    ASSERT_TRUE(runUntil([&] { return !getObject()->playing(); }));
  }
  // Ended because the device was known to be gone, not by running out of time.
  EXPECT_FALSE(log.contains("before its mute sequence ended"));
  for (const auto& e : client_.errors) EXPECT_EQ(e.code, 0) << "a track reported as " << e.code << ": " << e.file;
  if (GetParam().action != Action::Stop) {
    ASSERT_TRUE(runUntil([&] { return !client_.errors.empty(); }));
    EXPECT_EQ(client_.errors.front().code, 0);  // the output device went away
  }
  ASSERT_TRUE(runUntil([&] { return !client_.states.empty() && client_.states.back() == 0; }));
  // A request after the loss is answered at once.
  Watchdog watchdog("a play request without a device", std::chrono::seconds(15));
  Toolkit_PlayRequest();
  loop_->runFor(std::chrono::milliseconds(100));
  EXPECT_FALSE(getObject()->playing());
}

INSTANTIATE_TEST_SUITE_P(
    Unplug, DeviceLossTest,
    ::testing::Values(Case{Action::None, false}, Case{Action::None, true}, Case{Action::Pause, false},
                      Case{Action::Pause, true}, Case{Action::Stop, false}, Case{Action::Stop, true},
                      Case{Action::Seek, false}, Case{Action::Seek, true}, Case{Action::Next, false},
                      Case{Action::Next, true}, Case{Action::PauseThenResume, false},
                      Case{Action::PauseThenResume, true}),
    nameOf);

}  // namespace
