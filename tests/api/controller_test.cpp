// The engine through its exported API, as a client uses it: virtual devices, a main
// loop run by the test, real files.
#include <gtest/gtest.h>

#include <algorithm>
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
  // The reported position settles where the pause stopped (bounded: a machine under
  // load may run the position timer late).
  double paused_at = -1;
  for (int unchanged = 0, polls = 0; unchanged < 5 && polls < 500; ++polls) {
    runFor(0.02);
    const double now = getObject()->currentItemTimestamp;
    unchanged = now == paused_at ? unchanged + 1 : 0;
    paused_at = now;
  }
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

// A client that notes the title of every track as it starts: the order of tracks
// actually played.
struct TitlesHeard : RecordingDelegate {
  std::vector<std::string> titles;
  void songSwitch() override {
    RecordingDelegate::songSwitch();
    auto item = getObject() ? getObject()->currentItem() : nullptr;
    titles.push_back(item ? item->title() : "?");
  }
};

std::vector<std::string> firstOf(const std::vector<std::string>& all, size_t n) {
  return {all.begin(), all.begin() + static_cast<long>(std::min(n, all.size()))};
}

TEST_F(ControllerTest, RepeatModesDecideWhichTracksPlay) {
  struct Case {
    int32_t mode;
    std::vector<std::string> heard;
  };
  for (const Case& c : {Case{0, {"a", "b"}}, Case{1, {"a", "a", "a"}}, Case{2, {"a", "b", "a", "b"}}}) {
    TitlesHeard client;
    start("DAC A", &client);
    Toolkit_AddDroppedFiles({track("a", 0.4), track("b", 0.4)});
    ASSERT_EQ(Toolkit_Repeat(c.mode), 0);
    Toolkit_PlayRequest();
    if (c.mode == 0) {
      ASSERT_TRUE(runUntil([&] { return !client.states.empty() && client.states.back() == 0; }, 20));
      EXPECT_EQ(client.titles, c.heard);
    } else {
      ASSERT_TRUE(runUntil([&] { return client.titles.size() >= c.heard.size(); }, 20));
      EXPECT_EQ(firstOf(client.titles, c.heard.size()), c.heard) << "repeat mode " << c.mode;
    }
    Toolkit_Exit();
  }
}

TEST_F(ControllerTest, ShufflePlaysEveryTrackOnceInAnotherOrder) {
  TitlesHeard client;
  start("DAC A", &client);
  std::vector<std::string> files, table;
  for (int i = 0; i < 10; ++i) {
    table.push_back("t" + std::to_string(i));
    files.push_back(track(table.back(), 0.15));
  }
  Toolkit_AddDroppedFiles(files);
  ASSERT_EQ(Toolkit_Shuffle(1), 0);
  Toolkit_PlayRequest();
  ASSERT_TRUE(runUntil([&] { return !client.states.empty() && client.states.back() == 0 && client.titles.size() >= 10; }, 30));
  ASSERT_EQ(client.titles.size(), 10u);
  EXPECT_NE(client.titles, table);  // 1 in 3628800 to fail by chance
  std::sort(client.titles.begin(), client.titles.end());
  EXPECT_EQ(client.titles, table);
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
