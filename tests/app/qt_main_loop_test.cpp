// The main loop on Qt's event loop keeps the promises the engine relies on.
#include <gtest/gtest.h>

#include <QTimer>

#include <atomic>
#include <thread>

#include "app/platform/qt_main_loop.h"
#include "app_fixture.h"
#include "support/watchdog.h"

using namespace std::chrono_literals;
using sonara::platform::QtMainLoop;

namespace {

class QtMainLoopTest : public ::testing::Test {
 protected:
  void SetUp() override { testApplication(); }
  // Turns the loop until `done`; false after 20 s.
  template <typename F>
  bool turnUntil(F done) {
    auto until = std::chrono::steady_clock::now() + 20s;
    while (!done()) {
      if (std::chrono::steady_clock::now() > until) return false;
      loop_.runFor(5ms);
    }
    return true;
  }
  QtMainLoop loop_;
};

TEST_F(QtMainLoopTest, PostedWorkRunsInOrderOnTheMainThread) {
  std::vector<int> order;
  std::atomic<bool> off_main_thread{true};
  std::thread poster([&] {
    off_main_thread = !loop_.isMainThread();
    for (int i = 0; i < 100; ++i) loop_.post([&order, i] { order.push_back(i); });
    loop_.post([&] { loop_.quit(); });
  });
  {
    Watchdog watchdog("run() until the posted quit", 20s);
    loop_.run();
  }
  poster.join();
  EXPECT_TRUE(off_main_thread);
  EXPECT_TRUE(loop_.isMainThread());
  ASSERT_EQ(order.size(), 100u);
  for (int i = 0; i < 100; ++i) EXPECT_EQ(order[static_cast<size_t>(i)], i);
}

TEST_F(QtMainLoopTest, PostAndWaitReturnsAfterTheWorkRanOnTheMainThread) {
  std::thread::id ran_on;
  std::atomic<bool> returned{false};
  int value = 0;
  bool seen_after_wait = false;
  std::thread worker([&] {
    loop_.postAndWait([&] {
      value = 42;
      ran_on = std::this_thread::get_id();
    });
    seen_after_wait = value == 42;
    returned = true;
  });
  EXPECT_TRUE(turnUntil([&] { return returned.load(); }));
  worker.join();
  EXPECT_TRUE(seen_after_wait);
  EXPECT_EQ(ran_on, std::this_thread::get_id());
}

TEST_F(QtMainLoopTest, PostAndWaitOnTheMainThreadRunsAtOnce) {
  bool ran = false;
  loop_.postAndWait([&] { ran = true; });
  EXPECT_TRUE(ran);
}

TEST_F(QtMainLoopTest, AWaitEndsUnrunOnceTheLoopHasStopped) {
  std::atomic<bool> returned{false};
  std::atomic<bool> ran{false};
  loop_.post([&] { loop_.quit(); });
  loop_.run();  // stopped from now on
  std::thread worker([&] {
    loop_.postAndWait([&] { ran = true; });
    returned = true;
  });
  Watchdog watchdog("postAndWait after the loop stopped", 20s);
  worker.join();
  EXPECT_TRUE(returned);
  loop_.runFor(20ms);
  EXPECT_FALSE(ran) << "a wait given up on must not run its work later";
}

TEST_F(QtMainLoopTest, CancelledDelayedWorkNeverRunsAndTheRestRunsInDeadlineOrder) {
  std::vector<std::string> ran;
  auto dropped = loop_.performAfter(20ms, [&] { ran.push_back("dropped"); });
  loop_.performAfter(30ms, [&] { ran.push_back("second"); });
  loop_.performAfter(10ms, [&] { ran.push_back("first"); });
  loop_.performAfter(60ms, [&] { loop_.quit(); });
  loop_.cancel(dropped);
  loop_.run();
  EXPECT_EQ(ran, (std::vector<std::string>{"first", "second"}));
}

TEST_F(QtMainLoopTest, DelayedWorkAskedForAndCancelledOnOtherThreads) {
  std::atomic<bool> kept{false};
  std::atomic<bool> dropped_ran{false};
  sonara::platform::DelayedPerformId dropped = 0;
  std::thread asker([&] {
    dropped = loop_.performAfter(50ms, [&] { dropped_ran = true; });
    loop_.performAfter(1ms, [&] { kept = true; });
    loop_.cancel(dropped);
  });
  asker.join();
  EXPECT_TRUE(turnUntil([&] { return kept.load(); }));
  loop_.runFor(100ms);
  EXPECT_FALSE(dropped_ran);
}

TEST_F(QtMainLoopTest, RunForReturnsAfterItsSliceWithoutLaterWork) {
  int ran = 0;
  loop_.post([&] { ++ran; });
  loop_.performAfter(10s, [&] { ++ran; });
  loop_.runFor(50ms);
  EXPECT_EQ(ran, 1);
}

TEST_F(QtMainLoopTest, QuitFromAnotherThreadEndsRunWhileItWaitsForATimer) {
  bool timer_ran = false;
  loop_.performAfter(60s, [&] { timer_ran = true; });
  std::thread stopper([&] {
    std::this_thread::sleep_for(20ms);
    loop_.quit();
  });
  {
    Watchdog watchdog("run() after quit() from another thread", 20s);
    loop_.run();
  }
  stopper.join();
  EXPECT_FALSE(timer_ran);
}

TEST_F(QtMainLoopTest, QuitEndsASliceEarlyAndAQuitBeforeRunEndsItAtOnce) {
  loop_.performAfter(1ms, [&] { loop_.quit(); });
  {
    Watchdog watchdog("a 60 s slice ended by quit()", 20s);
    loop_.runFor(60s);
  }
  Watchdog watchdog("run() after an earlier quit()", 20s);
  loop_.run();  // the quit above is still pending
}

TEST_F(QtMainLoopTest, ARunInsideAnotherLoopIsNestedAndQuitsAlone) {
  bool inner_returned = false;
  loop_.post([&] {
    loop_.post([&] { loop_.quit(); });
    loop_.run();  // nested in the outer run's loop
    inner_returned = true;
    loop_.quit();
  });
  Watchdog watchdog("nested run", 20s);
  loop_.run();
  EXPECT_TRUE(inner_returned);
}

}  // namespace
