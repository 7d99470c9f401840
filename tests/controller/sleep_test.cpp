// System sleep: a suspend is held off while a device is open, until playback has
// stopped; idle sleep is blocked only while audio plays.
#include "engine/controller/controller_entry.h"
#include "support/controller_fixture.h"

namespace {

class SleepTest : public ControllerFixture {
 protected:
  // As the sleep watcher delivers logind's PrepareForSleep on the main thread.
  void systemSleeps(bool going) {
    ControllerEntry entry;
    if (going) {
      getObject()->willSleepNotification();
    } else {
      getObject()->didWakeNotification();
    }
  }
};

TEST_F(SleepTest, ASuspendWaitsForTheStopWhileADeviceIsOpen) {
  ASSERT_EQ(Toolkit_Init(&client_), 0);
  EXPECT_EQ(inhibitor_->sleepDelaysHeld(), 0);  // no device yet
  TkConfig config;
  config.setDeviceName("DAC A");
  ASSERT_EQ(Toolkit_SetConfiguration(&config), 0);
  EXPECT_EQ(inhibitor_->sleepDelaysHeld(), 1);
  EXPECT_EQ(inhibitor_->idleHeld(), 0);  // idle sleep is only blocked while playing
  Toolkit_AddDroppedFiles({track("long", 8.0)});
  Toolkit_PlayRequest();
  ASSERT_TRUE(runUntil([&] { return songSwitches() == 1; }));
  EXPECT_EQ(inhibitor_->idleHeld(), 1);
  systemSleeps(true);
  // Stopped first, then the suspend may go on.
  EXPECT_FALSE(getObject()->playing());
  EXPECT_EQ(inhibitor_->idleHeld(), 0);
  EXPECT_EQ(inhibitor_->sleepDelaysHeld(), 0);
  systemSleeps(false);
  EXPECT_FALSE(getObject()->playing());
  EXPECT_EQ(inhibitor_->sleepDelaysHeld(), 1);
  // Switching devices keeps one; no device, or the end, none.
  config.setDeviceName("DAC B");
  ASSERT_EQ(Toolkit_SetConfiguration(&config), 0);
  EXPECT_EQ(inhibitor_->sleepDelaysHeld(), 1);
  config.setDeviceName("Nowhere");
  ASSERT_EQ(Toolkit_SetConfiguration(&config), 0);
  EXPECT_EQ(inhibitor_->sleepDelaysHeld(), 0);
  config.setDeviceName("DAC A");
  ASSERT_EQ(Toolkit_SetConfiguration(&config), 0);
  EXPECT_EQ(inhibitor_->sleepDelaysHeld(), 1);
  Toolkit_Exit();
  EXPECT_EQ(inhibitor_->sleepDelaysHeld(), 0);
}

TEST(LogindInhibitors, IdleBlocksIdleSleepOnlyAndSleepIsDelayed) {
  EXPECT_STREQ(sonara::platform::kIdleInhibit.what, "idle");
  EXPECT_STREQ(sonara::platform::kIdleInhibit.mode, "block");
  EXPECT_STREQ(sonara::platform::kSleepDelayInhibit.what, "sleep");
  EXPECT_STREQ(sonara::platform::kSleepDelayInhibit.mode, "delay");
}

}  // namespace
