// The desktop program's settings in a real defaults file: a first launch writes every
// default, a stored RAM play is switched off, and what the program saves at its end
// is what the next launch reads.
#include <gtest/gtest.h>

#include "app/controller/app_settings.h"
#include "support/temp_dir.h"

using pelmora::app::AppSettings;
using pelmora::app::ColumnWidths;
using sonara::Value;
using sonara::platform::UserDefaults;

TEST(AppSettings, AFirstLaunchStoresEveryDefaultAndConfiguresWithThem) {
  TempDir dir;
  UserDefaults defaults(dir.file("defaults.plist"));
  AppSettings settings(defaults);
  const TkConfig config = settings.launchConfiguration();
  EXPECT_EQ(config.deviceName().value_or("?"), "");
  EXPECT_EQ(config.decodeMode(), 1);
  EXPECT_EQ(config.ramMode(), 0);
  EXPECT_EQ(config.ramModeMemoryLimit(), 100);
  EXPECT_FALSE(config.gaplessMode());
  EXPECT_EQ(config.gaplessCutoff(), -45);

  UserDefaults stored(dir.file("defaults.plist"));
  EXPECT_EQ(stored.string(TkConfig::kDeviceNameKey), "");
  EXPECT_EQ(stored.integer(TkConfig::kDecodeModeKey), 1);
  EXPECT_EQ(stored.integer(TkConfig::kRamModeKey), 0);
  EXPECT_EQ(stored.integer(TkConfig::kRamModeMemoryLimitKey), 100);
  EXPECT_FALSE(stored.boolean(TkConfig::kGaplessModeKey));
  EXPECT_TRUE(stored.object(TkConfig::kGaplessModeKey).isBool());
  EXPECT_DOUBLE_EQ(stored.real(TkConfig::kGaplessCutoffKey), -45.0);
  AppSettings fresh(stored);
  EXPECT_FALSE(fresh.shuffle());
  EXPECT_EQ(fresh.repeatMode(), 0);
  EXPECT_EQ(fresh.columnWidths(), pelmora::app::kDefaultColumnWidths);
}

TEST(AppSettings, StoredValuesAreKeptButRamPlayIsSwitchedOff) {
  TempDir dir;
  {
    UserDefaults defaults(dir.file("defaults.plist"));
    defaults.set(TkConfig::kDeviceNameKey, Value("USB DAC"));
    defaults.set(TkConfig::kDecodeModeKey, Value(0));
    defaults.set(TkConfig::kRamModeKey, Value(1));
    defaults.set(TkConfig::kRamModeMemoryLimitKey, Value(2048));
    defaults.set(TkConfig::kGaplessModeKey, Value(true));
    defaults.set(TkConfig::kGaplessCutoffKey, Value(-60.0));
    ASSERT_TRUE(defaults.synchronize());
  }
  UserDefaults defaults(dir.file("defaults.plist"));
  const TkConfig config = AppSettings(defaults).launchConfiguration();
  EXPECT_EQ(config.deviceName(), "USB DAC");
  EXPECT_EQ(config.decodeMode(), 0);
  EXPECT_EQ(config.ramMode(), 0);
  EXPECT_EQ(config.ramModeMemoryLimit(), 2048);
  EXPECT_TRUE(config.gaplessMode());
  EXPECT_EQ(config.gaplessCutoff(), -60);
  EXPECT_EQ(UserDefaults(dir.file("defaults.plist")).integer(TkConfig::kRamModeKey), 0);
}

TEST(AppSettings, WhatIsSavedAtTheEndIsReadAtTheNextLaunch) {
  TempDir dir;
  const ColumnWidths widths = {44, 512, 200, -1};
  {
    UserDefaults defaults(dir.file("defaults.plist"));
    AppSettings settings(defaults);
    TkConfig config = settings.launchConfiguration();
    config.setDeviceName("Bench DAC");
    config.setDecodeMode(0);
    config.setGaplessCutoff(-192);
    settings.saveOnExit(true, 2, widths, config);
  }
  UserDefaults defaults(dir.file("defaults.plist"));
  AppSettings settings(defaults);
  EXPECT_TRUE(settings.shuffle());
  EXPECT_EQ(settings.repeatMode(), 2);
  EXPECT_EQ(settings.columnWidths(), widths);
  const TkConfig config = settings.launchConfiguration();
  EXPECT_EQ(config.deviceName(), "Bench DAC");
  EXPECT_EQ(config.decodeMode(), 0);
  EXPECT_EQ(config.gaplessCutoff(), -192);
}

// Fewer than 16 bytes replace only the widths they cover; a repeat mode out of range
// reads as none.
TEST(AppSettings, ShortWidthsAndStrangeModesFallBackToDefaults) {
  TempDir dir;
  UserDefaults defaults(dir.file("defaults.plist"));
  const int32_t first = 90;
  defaults.setData(pelmora::app::kColumnWidthKey, std::string(reinterpret_cast<const char*>(&first), 4));
  defaults.set(pelmora::app::kRepeatModeKey, Value(7));
  AppSettings settings(defaults);
  EXPECT_EQ(settings.columnWidths(), (ColumnWidths{90, 300, 168, 70}));
  EXPECT_EQ(settings.repeatMode(), 0);
}
