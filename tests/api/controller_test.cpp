// The engine through its exported API, as a client uses it: virtual devices, a main
// loop run by the test, real files.
#include <gtest/gtest.h>

#include <filesystem>

#include "engine/output/device_table.h"
#include "support/controller_fixture.h"

namespace {

using ControllerTest = ControllerFixture;

TEST_F(ControllerTest, PlaysPausesResumesAndStops) {
  start();
  Toolkit_AddDroppedFiles({track("one", 3.0)});
  ASSERT_EQ(Toolkit_PlayRequest(), 0);
  ASSERT_TRUE(runUntil([&] { return songSwitches() == 1; }));
  EXPECT_EQ(state(), 1);
  runFor(0.3);
  ASSERT_EQ(Toolkit_PauseRequest(), 0);
  EXPECT_EQ(state(), 2);
  runFor(0.1);  // the position timer catches up with where the pause stopped
  double paused_at = getObject()->currentItemTimestamp;
  runFor(0.3);
  EXPECT_NEAR(getObject()->currentItemTimestamp.load(), paused_at, 0.002);  // no sample played
  ASSERT_EQ(Toolkit_PauseRequest(), 0);
  EXPECT_EQ(state(), 1);
  ASSERT_EQ(Toolkit_StopRequest(), 0);
  ASSERT_TRUE(runUntil([&] { return state() == 0; }));
  EXPECT_FALSE(getObject()->playing());
  // The position reached the client in whole seconds.
  ASSERT_FALSE(client_.positions.empty());
  EXPECT_EQ(client_.positions.front().first, 0u);
}

TEST_F(ControllerTest, PlayWhilePlayingRestartsTheTrack) {
  start();
  Toolkit_AddDroppedFiles({track("one", 3.0)});
  Toolkit_PlayRequest();
  ASSERT_TRUE(runUntil([&] { return songSwitches() == 1; }));
  runFor(0.5);
  Toolkit_PlayRequest();
  ASSERT_TRUE(runUntil([&] { return songSwitches() == 2; }));
  EXPECT_LT(getObject()->currentItemTimestamp.load(), 0.4);
}

TEST_F(ControllerTest, NextAndPreviousAtTheEndsFollowTheRepeatMode) {
  start();
  Toolkit_AddDroppedFiles({track("a", 2.0), track("b", 2.0)});
  Toolkit_PlayRequest();
  ASSERT_TRUE(runUntil([&] { return playingTitle() == "a"; }));
  Toolkit_NextRequest();
  ASSERT_TRUE(runUntil([&] { return playingTitle() == "b"; }));
  Toolkit_NextRequest();  // last track, repeat off: stops
  ASSERT_TRUE(runUntil([&] { return !getObject()->playing(); }));
  ASSERT_EQ(Toolkit_Repeat(2), 0);
  Toolkit_NextRequest();  // repeat all: the first track
  ASSERT_TRUE(runUntil([&] { return playingTitle() == "a"; }));
  Toolkit_PrevRequest();  // at the first, repeat all: the last
  ASSERT_TRUE(runUntil([&] { return playingTitle() == "b"; }));
}

TEST_F(ControllerTest, TheWholePlaylistPlaysAndTheClientHearsTheEnd) {
  start();
  Toolkit_AddDroppedFiles({track("a", 1.0), track("b", 1.0, 96000)});
  uint32_t total = 0;
  Toolkit_TotalTime(&total);
  EXPECT_EQ(total, 2u);
  Toolkit_PlayRequest();
  ASSERT_TRUE(runUntil([&] { return songSwitches() == 2 && state() == 0; }, 20));
  // notifyPos totals count the tracks before the current one.
  bool saw_second_track_total = false;
  for (auto [position, elapsed] : client_.positions) saw_second_track_total |= elapsed >= 1 && position == 0;
  EXPECT_TRUE(saw_second_track_total);
}

TEST_F(ControllerTest, RepeatOneLoopsTheTrack) {
  start();
  Toolkit_AddDroppedFiles({track("loop", 0.6), track("other", 0.6)});
  Toolkit_Repeat(1);
  Toolkit_PlayRequest();
  ASSERT_TRUE(runUntil([&] { return songSwitches() >= 3; }, 20));
  EXPECT_EQ(playingTitle(), "loop");
}

TEST_F(ControllerTest, FailedTracksAreSkippedAndAllFailingStops) {
  start();
  std::string good = track("good", 1.0);
  std::string broken = dir_.file("broken.flac");
  std::filesystem::copy_file(good, broken);
  Toolkit_AddDroppedFiles({broken, good});
  std::filesystem::resize_file(broken, 100);  // damaged after it was added
  Toolkit_PlayRequest();
  ASSERT_TRUE(runUntil([&] { return playingTitle() == "good"; }, 20));
  ASSERT_FALSE(client_.errors.empty());
  EXPECT_EQ(client_.errors.front().code, 3);
  EXPECT_EQ(client_.errors.front().file, broken);
}

TEST_F(ControllerTest, WithoutAnEngineThePlayRequestReportsErrorOne) {
  ASSERT_EQ(Toolkit_Init(&client_), 0);
  Toolkit_PlayRequest();
  EXPECT_EQ(client_.reconnect_requests, 1);
  ASSERT_FALSE(client_.errors.empty());
  EXPECT_EQ(client_.errors.back().code, 1);
}

TEST_F(ControllerTest, SeekMovesTheCurrentTrack) {
  start();
  Toolkit_AddDroppedFiles({track("long", 8.0)});
  Toolkit_PlayRequest();
  ASSERT_TRUE(runUntil([&] { return songSwitches() == 1; }));
  ASSERT_EQ(Toolkit_SetPos(5), 0);
  ASSERT_TRUE(runUntil([&] { return getObject()->currentItemTimestamp >= 5.0; }, 5));
  EXPECT_LT(getObject()->currentItemTimestamp.load(), 6.5);
}

TEST_F(ControllerTest, SwitchingDevicesWhilePlayingResumesThereAtTheSamePosition) {
  start();
  Toolkit_AddDroppedFiles({track("long", 8.0)});
  Toolkit_PlayRequest();
  ASSERT_TRUE(runUntil([&] { return songSwitches() == 1; }));
  Toolkit_SetPos(4);
  runFor(0.3);
  Toolkit_PauseRequest();
  double before = getObject()->currentItemTimestamp;
  TkConfig config;
  config.setDeviceName("DAC B");
  ASSERT_EQ(Toolkit_SetConfiguration(&config), 0);
  EXPECT_EQ(getObject()->currentOutputDeviceName(), "DAC B");
  EXPECT_TRUE(getObject()->playing());
  EXPECT_TRUE(getObject()->paused());
  Toolkit_PauseRequest();  // resume on the new device
  ASSERT_TRUE(runUntil([&] { return songSwitches() >= 2; }));
  runFor(0.2);
  EXPECT_GE(getObject()->currentItemTimestamp.load(), before - 0.2);
}

TEST_F(ControllerTest, UnpluggingStopsReportsAndReselectsTheDeviceWhenItReturns) {
  start();
  Toolkit_AddDroppedFiles({track("long", 8.0)});
  Toolkit_PlayRequest();
  ASSERT_TRUE(runUntil([&] { return songSwitches() == 1; }));
  hal_->unplug(1);
  ASSERT_TRUE(runUntil([&] { return !client_.errors.empty(); }));
  EXPECT_EQ(client_.errors.front().code, 0);
  ASSERT_TRUE(runUntil([&] { return !getObject()->playing(); }));
  runFor(0.2);
  EXPECT_FALSE(getObject()->currentOutputDeviceName().has_value());  // gone from the list
  hal_->replug(1);
  getObject()->initializeAudioOutputDeviceList();
  // The device is back in the list; the client selects it again by name.
  TkConfig config;
  config.setDeviceName("DAC A");
  ASSERT_EQ(Toolkit_SetConfiguration(&config), 0);
  EXPECT_EQ(getObject()->currentOutputDeviceName(), "DAC A");
}

}  // namespace
