#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "platform/standalone_main_loop.h"
#include "platform/work_queue.h"
#include "support/watchdog.h"

using namespace std::chrono_literals;
using sonara::platform::StandaloneMainLoop;

TEST(MainLoop, PostedWorkRunsInOrderOnTheMainThread) {
  StandaloneMainLoop loop;
  std::vector<int> order;
  std::thread::id ran_on;
  std::thread poster([&] {
    for (int i = 0; i < 100; ++i) loop.post([&order, i] { order.push_back(i); });
    loop.post([&] {
      ran_on = std::this_thread::get_id();
      loop.quit();
    });
  });
  loop.run();
  poster.join();
  ASSERT_EQ(order.size(), 100u);
  for (int i = 0; i < 100; ++i) EXPECT_EQ(order[static_cast<size_t>(i)], i);
  EXPECT_EQ(ran_on, std::this_thread::get_id());
}

TEST(MainLoop, PostAndWaitFromAnotherThreadReturnsAfterTheWorkRan) {
  StandaloneMainLoop loop;
  int value = 0;
  bool seen_after_wait = false;
  std::thread worker([&] {
    loop.postAndWait([&] { value = 42; });
    seen_after_wait = value == 42;
    loop.post([&] { loop.quit(); });
  });
  loop.run();
  worker.join();
  EXPECT_TRUE(seen_after_wait);
}

TEST(MainLoop, PostAndWaitOnTheMainThreadRunsAtOnce) {
  StandaloneMainLoop loop;
  bool ran = false;
  loop.postAndWait([&] { ran = true; });
  EXPECT_TRUE(ran);
}

TEST(MainLoop, CancelledDelayedPerformNeverRuns) {
  StandaloneMainLoop loop;
  std::vector<std::string> ran;
  auto dropped = loop.performAfter(20ms, [&] { ran.push_back("dropped"); });
  loop.performAfter(10ms, [&] { ran.push_back("kept"); });
  loop.performAfter(60ms, [&] { loop.quit(); });
  loop.cancel(dropped);
  loop.run();
  EXPECT_EQ(ran, std::vector<std::string>{"kept"});
}

TEST(MainLoop, DelayedWorkRunsInDeadlineOrder) {
  StandaloneMainLoop loop;
  std::vector<int> order;
  loop.performAfter(30ms, [&] { order.push_back(3); loop.quit(); });
  loop.performAfter(10ms, [&] { order.push_back(1); });
  loop.performAfter(20ms, [&] { order.push_back(2); });
  loop.run();
  EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
}

TEST(MainLoop, RunForReturnsAfterItsSlice) {
  StandaloneMainLoop loop;
  int ran = 0;
  loop.post([&] { ++ran; });
  loop.performAfter(10s, [&] { ++ran; });
  loop.runFor(50ms);
  EXPECT_EQ(ran, 1);
}

TEST(MainLoop, QuitFromAnotherThreadEndsRunWhileItWaitsForATimer) {
  StandaloneMainLoop loop;
  bool timer_ran = false;
  loop.performAfter(60s, [&] { timer_ran = true; });
  std::thread stopper([&] {
    std::this_thread::sleep_for(20ms);
    loop.quit();
  });
  {
    Watchdog watchdog("run() after quit() from another thread", 20s);
    loop.run();
  }
  stopper.join();
  EXPECT_FALSE(timer_ran);
}

TEST(WorkQueue, RunsTasksInOrderAndDrains) {
  sonara::platform::WorkQueue queue;
  std::vector<int> order;
  for (int i = 0; i < 50; ++i) queue.async([&order, i] { order.push_back(i); });
  queue.drain();
  ASSERT_EQ(order.size(), 50u);
  EXPECT_TRUE(std::is_sorted(order.begin(), order.end()));
}
