// What plays next and what the client is told about it, on a device paced like
// hardware, where decoding runs ahead of what is heard.
#include <algorithm>

#include "engine/playlist/playlist_array_controller.h"
#include "support/controller_fixture.h"

namespace {

// Notes each track's title as it starts, and every client event in order.
class TitleNotingClient : public RecordingDelegate {
 public:
  void songSwitch() override {
    RecordingDelegate::songSwitch();
    std::shared_ptr<AudioFileInfo> info;
    titles.push_back(Toolkit_GetFileInfo(false, &info) == 0 && info ? info->titleName() : "?");
    events.push_back("switch");
  }
  void notifyPos(uint32_t p, uint32_t t) override {
    RecordingDelegate::notifyPos(p, t);
    events.push_back("pos " + std::to_string(p) + " " + std::to_string(t));
  }
  std::vector<std::string> titles;
  std::vector<std::string> events;
};

class PlayOrderTest : public ControllerFixture {
 protected:
  std::string titleOf(uint64_t id) {
    auto info = getObject()->array_tbl_ctl().getInfoByID(id);
    return info ? info->title() : "";
  }
  static bool isPermutation(std::vector<std::string> block, std::vector<std::string> all) {
    std::sort(block.begin(), block.end());
    std::sort(all.begin(), all.end());
    return block == all;
  }
  TitleNotingClient client_titles_;
};

TEST_F(PlayOrderTest, ShuffledRepeatAllTakesUpTheNewCycleOnlyWhenTheOldOneHasPlayed) {
  start("DAC A", &client_titles_);
  const std::vector<std::string> names{"a", "b", "c", "d"};
  std::vector<std::string> paths;
  for (const auto& n : names) paths.push_back(track(n, 0.6));
  Toolkit_AddDroppedFiles(paths);
  Toolkit_Repeat(2);
  Toolkit_Shuffle(1);
  Toolkit_PlayRequest();
  auto& titles = client_titles_.titles;
  auto& model = getObject()->array_tbl_ctl();
  for (size_t cycle = 0; cycle < 3; ++cycle) {
    const size_t last = 4 * cycle + 3;
    ASSERT_TRUE(runUntil([&] { return titles.size() == last + 1; }, 20)) << cycle;
    runFor(0.2);  // the next cycle's first track is decoded ahead meanwhile
    ASSERT_EQ(titles.size(), last + 1);
    // While the cycle's last track plays it is still the last of the play order.
    EXPECT_EQ(model.playOrderPosition(), 3) << cycle;
    EXPECT_EQ(titleOf(model.getCurrentTrackIDOfPlayOrder()), titles[last]);
    if (cycle < 2) Toolkit_NextRequest();  // the first two cycles end by Next
    ASSERT_TRUE(runUntil([&] { return titles.size() == last + 2; }, 20)) << cycle;
    // The queued first track of the new cycle plays, at position 0 of the new order,
    // and it is not the track that just ended.
    EXPECT_EQ(model.playOrderPosition(), 0) << cycle;
    EXPECT_EQ(titleOf(model.playOrder().front()), titles[last + 1]) << cycle;
    EXPECT_NE(titles[last + 1], titles[last]) << cycle;
    EXPECT_TRUE(isPermutation({titles.begin() + static_cast<long>(4 * cycle), titles.begin() + static_cast<long>(last + 1)}, names))
        << cycle;
  }
  Toolkit_StopRequest();
}

TEST_F(PlayOrderTest, EachTracksFirstPositionReportIsItsOwn) {
  start("DAC A", &client_titles_);
  Toolkit_AddDroppedFiles({track("a", 2.0), track("b", 2.0), track("c", 2.0)});
  Toolkit_PlayRequest();
  ASSERT_TRUE(runUntil([&] { return client_titles_.titles.size() == 3; }, 20));
  runFor(0.2);
  Toolkit_StopRequest();
  // The report sent as each track starts (just before its songSwitch): its own
  // position 0, and the playlist time before it.
  const auto& events = client_titles_.events;
  std::vector<std::string> first_reports;
  for (size_t i = 1; i < events.size(); ++i) {
    if (events[i] == "switch") first_reports.push_back(events[i - 1]);
  }
  EXPECT_EQ(first_reports, (std::vector<std::string>{"pos 0 0", "pos 0 2", "pos 0 4"}));
  // No report of the last track counts the whole playlist as elapsed.
  size_t third = static_cast<size_t>(std::find(events.begin(), events.end(), "pos 0 4") - events.begin());
  for (size_t i = third; i < events.size(); ++i) {
    if (events[i] == "switch") continue;
    EXPECT_TRUE(events[i] == "pos 0 4" || events[i] == "pos 1 5" || events[i] == "pos 0 0") << events[i];
  }
}

}  // namespace
