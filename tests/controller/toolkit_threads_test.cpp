// Toolkit_* from other threads: carried out on the main thread, client events on
// the main thread, and refused when the main thread does not take a call up.
#include <atomic>
#include <mutex>
#include <set>
#include <thread>

#include "support/controller_fixture.h"

namespace {

class ThreadNotingClient : public RecordingDelegate {
 public:
  void songSwitch() override {
    note();
    RecordingDelegate::songSwitch();
    switched = true;
  }
  void stateDidChange(int32_t s) override {
    note();
    RecordingDelegate::stateDidChange(s);
  }
  void notifyError(int32_t c, const AudioFileInfo* i) override {
    note();
    RecordingDelegate::notifyError(c, i);
  }
  void notifyPos(uint32_t p, uint32_t t) override {
    note();
    RecordingDelegate::notifyPos(p, t);
  }
  void playlistStateDidChange(int32_t s) override {
    note();
    RecordingDelegate::playlistStateDidChange(s);
  }
  std::set<std::thread::id> threads() {
    std::lock_guard lock(mutex_);
    return threads_;
  }
  std::atomic<bool> switched{false};

 private:
  void note() {
    std::lock_guard lock(mutex_);
    threads_.insert(std::this_thread::get_id());
  }
  std::mutex mutex_;
  std::set<std::thread::id> threads_;
};

class ToolkitThreadsTest : public ControllerFixture {
 protected:
  void TearDown() override {
    sonara::setToolkitCallBound(std::chrono::seconds(10));
    ControllerFixture::TearDown();
  }
};

TEST_F(ToolkitThreadsTest, CallsFromAnotherThreadRunOnTheMainThread) {
  ThreadNotingClient client;
  start("DAC A", &client);
  const std::string path = track("one", 3.0);
  std::atomic<bool> done{false};
  std::vector<int32_t> results;
  std::thread remote([&] {
    results.push_back(Toolkit_AddDroppedFiles({path}));
    results.push_back(Toolkit_PlayRequest());
    for (int i = 0; i < 400 && !client.switched; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    // What a remote control does while the position timer runs.
    for (int i = 0; i < 50; ++i) {
      uint32_t total = 0;
      TkConfig config;
      std::shared_ptr<AudioFileInfo> info;
      results.push_back(Toolkit_TotalTime(&total));
      results.push_back(Toolkit_GetConfiguration(&config));
      Toolkit_GetFileInfo(false, &info);
      results.push_back(Toolkit_SetPos(1));
    }
    TkConfig other;
    other.setDeviceName("DAC B");  // the engine is replaced while the timer runs
    results.push_back(Toolkit_SetConfiguration(&other));
    results.push_back(Toolkit_StopRequest());
    done = true;
  });
  ASSERT_TRUE(runUntil([&] { return done.load(); }, 30));
  remote.join();
  for (int32_t r : results) EXPECT_EQ(r, kToolkitOk);
  EXPECT_TRUE(client.switched);
  EXPECT_EQ(client.threads(), std::set<std::thread::id>{std::this_thread::get_id()});
}

TEST_F(ToolkitThreadsTest, ACallTheMainThreadDoesNotTakeUpIsRefusedUndone) {
  start();
  Toolkit_AddDroppedFiles({track("one", 2.0)});
  sonara::setToolkitCallBound(std::chrono::milliseconds(100));
  int32_t result = 0;
  std::thread remote([&] { result = Toolkit_PlayRequest(); });
  remote.join();  // the main thread is busy here, not running its loop
  EXPECT_EQ(result, kToolkitCallTimedOut);
  runFor(0.5);
  EXPECT_EQ(songSwitches(), 0);  // the refused call did nothing
  EXPECT_FALSE(getObject()->playing());
}

TEST_F(ToolkitThreadsTest, RepeatAndShuffleChangeWhileTracksAreDecodedAhead) {
  start();
  Toolkit_AddDroppedFiles({track("a", 0.4), track("b", 0.4), track("c", 0.4)});
  Toolkit_Repeat(2);
  Toolkit_PlayRequest();
  // The modes change every 10 ms through twice as many track starts as the list holds,
  // however fast the machine gets there, so that changes meet tracks being decoded
  // ahead, joined and ending. Repeating, playback never ends on its own.
  const auto bound = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  for (int i = 0; songSwitches() < 6; ++i) {
    ASSERT_TRUE(getObject()->playing()) << "playback ended after " << songSwitches() << " track starts";
    ASSERT_TRUE(std::chrono::steady_clock::now() < bound) << "only " << songSwitches() << " track starts";
    ASSERT_EQ(Toolkit_Repeat(i % 2 == 0 ? 1 : 2), 0);
    ASSERT_EQ(Toolkit_Shuffle(i % 3 == 0 ? 1 : 0), 0);
    runFor(0.01);
  }
  ASSERT_EQ(Toolkit_Repeat(2), 0);
  ASSERT_TRUE(getObject()->playing());
  // And it goes on: no change lost the track that was to follow.
  const int heard = songSwitches();
  EXPECT_TRUE(runUntil([&] { return songSwitches() > heard; }, 30));
  Toolkit_StopRequest();
}

}  // namespace
