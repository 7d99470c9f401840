// Every path that lets the play engine go leaves the controller stopped: flags
// cleared, the idle inhibitor given back, and nothing resuming by itself later.
#include "support/controller_fixture.h"

namespace {

class ConsistentStopTest : public ControllerFixture {
 protected:
  void playLongTrack() {
    start();
    Toolkit_AddDroppedFiles({track("long", 8.0)});
    ASSERT_EQ(Toolkit_PlayRequest(), 0);
    ASSERT_TRUE(runUntil([&] { return songSwitches() == 1; }));
    ASSERT_EQ(inhibitor_->idleHeld(), 1);
  }
  void expectStoppedForGood() {
    EXPECT_FALSE(getObject()->playing());
    EXPECT_FALSE(getObject()->paused());
    EXPECT_EQ(inhibitor_->idleHeld(), 0);
    ASSERT_TRUE(runUntil([&] { return state() == 0; }, 5));
  }
  void selectAndExpectNoRestart(const std::string& name) {
    TkConfig config;
    config.setDeviceName(name);
    ASSERT_EQ(Toolkit_SetConfiguration(&config), 0);
    EXPECT_EQ(getObject()->currentOutputDeviceName(), name);
    runFor(0.5);
    EXPECT_EQ(songSwitches(), 1);  // nothing started by itself
    EXPECT_FALSE(getObject()->playing());
    EXPECT_EQ(inhibitor_->idleHeld(), 0);
  }
};

TEST_F(ConsistentStopTest, ARefusedConfigurationLeavesPlaybackStopped) {
  playLongTrack();
  TkConfig refused;
  refused.setDeviceName("DAC A");
  refused.setRamMode(7);
  ASSERT_EQ(Toolkit_SetConfiguration(&refused), kToolkitCreationFailed);
  expectStoppedForGood();
  selectAndExpectNoRestart("DAC A");
}

TEST_F(ConsistentStopTest, ARefusedConfigurationWhilePausedTellsTheClientItStopped) {
  playLongTrack();
  Toolkit_PauseRequest();
  ASSERT_EQ(state(), 2);
  TkConfig refused;
  refused.setDeviceName("DAC A");
  refused.setRamMode(7);
  ASSERT_EQ(Toolkit_SetConfiguration(&refused), kToolkitCreationFailed);
  expectStoppedForGood();
}

TEST_F(ConsistentStopTest, ChoosingADeviceThatIsNotThereWhilePlayingStops) {
  playLongTrack();
  TkConfig nowhere;
  nowhere.setDeviceName("Nowhere");
  ASSERT_EQ(Toolkit_SetConfiguration(&nowhere), 0);
  EXPECT_FALSE(getObject()->currentOutputDeviceName().has_value());
  EXPECT_FALSE(getObject()->hasPlayManager());
  expectStoppedForGood();
  selectAndExpectNoRestart("DAC B");
}

TEST_F(ConsistentStopTest, SwitchingDevicesWhilePlayingKeepsOneIdleInhibitor) {
  playLongTrack();
  TkConfig other;
  other.setDeviceName("DAC B");
  ASSERT_EQ(Toolkit_SetConfiguration(&other), 0);
  EXPECT_TRUE(getObject()->playing());
  EXPECT_EQ(inhibitor_->idleHeld(), 1);
  ASSERT_TRUE(runUntil([&] { return songSwitches() == 2; }));
  Toolkit_StopRequest();
  EXPECT_EQ(inhibitor_->idleHeld(), 0);
}

class DeviceReturnTest : public ControllerFixture {};

TEST_F(DeviceReturnTest, TheLostDeviceIsSelectedAgainWhenItComesBack) {
  start();
  Toolkit_AddDroppedFiles({track("long", 8.0)});
  Toolkit_PlayRequest();
  ASSERT_TRUE(runUntil([&] { return songSwitches() == 1; }));
  const auto id = hal_->idOfUid("uid:DAC A");
  hal_->unplug(id);
  ASSERT_TRUE(runUntil([&] { return !getObject()->currentOutputDeviceName().has_value(); }));
  ASSERT_FALSE(client_.errors.empty());
  EXPECT_EQ(client_.errors.front().code, 0);
  EXPECT_FALSE(getObject()->playing());
  EXPECT_EQ(inhibitor_->idleHeld(), 0);
  hal_->replug(id);
  // Back without a word from the client; playback stays stopped.
  ASSERT_TRUE(runUntil([&] { return getObject()->currentOutputDeviceName() == "DAC A"; }, 5));
  EXPECT_TRUE(getObject()->hasPlayManager());
  runFor(0.3);
  EXPECT_FALSE(getObject()->playing());
  EXPECT_EQ(songSwitches(), 1);
  // And it plays when asked.
  Toolkit_PlayRequest();
  ASSERT_TRUE(runUntil([&] { return songSwitches() == 2; }));
}

TEST_F(DeviceReturnTest, ADeviceChosenMeanwhileIsKept) {
  start();
  const auto id = hal_->idOfUid("uid:DAC A");
  hal_->unplug(id);
  ASSERT_TRUE(runUntil([&] { return !getObject()->currentOutputDeviceName().has_value(); }));
  TkConfig other;
  other.setDeviceName("DAC B");
  ASSERT_EQ(Toolkit_SetConfiguration(&other), 0);
  hal_->replug(id);
  hal_->drainNotifications();
  runFor(0.3);
  EXPECT_EQ(getObject()->currentOutputDeviceName(), "DAC B");
}

}  // namespace
