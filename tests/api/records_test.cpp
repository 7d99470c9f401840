#include <gtest/gtest.h>

#include "engine/api/records.h"

using sonara::Dict;
using sonara::Value;

TEST(TkConfig, MissingKeysReadAsZeroFalseOrNothing) {
  TkConfig config;
  EXPECT_FALSE(config.deviceName().has_value());
  EXPECT_EQ(config.decodeMode(), 0);
  EXPECT_EQ(config.ramMode(), 0);
  EXPECT_EQ(config.ramModeMemoryLimit(), 0);
  EXPECT_FALSE(config.gaplessMode());
  EXPECT_EQ(config.gaplessCutoff(), 0);
}

TEST(TkConfig, StoredFractionIsTruncatedAndOtherKeysAreKept) {
  Dict d;
  d["Gapless Threashold DB"] = Value(-45.7);
  d["MP3 gapless play enable"] = Value(2);
  d["Window Frame"] = Value("10 10 400 300");
  TkConfig config(d);
  EXPECT_EQ(config.gaplessCutoff(), -45);
  EXPECT_TRUE(config.gaplessMode());
  config.setDecodeMode(1);
  config.setDeviceName("USB DAC");
  EXPECT_EQ(sonara::lookup(config.dictionary(), "Window Frame").asString(), "10 10 400 300");
  EXPECT_EQ(sonara::lookup(config.dictionary(), "Decode Mode Selection Index").asInt(), 1);
  EXPECT_EQ(sonara::lookup(config.dictionary(), "Last Selected Output Device Name").asString(),
            "USB DAC");
}

TEST(TkConfig, NonNumericValuesReadAsZero) {
  Dict d;
  d["RAM Mode Selection Index"] = Value("one");
  d["Last Selected Output Device Name"] = Value(5);
  TkConfig config(d);
  EXPECT_EQ(config.ramMode(), 0);
  EXPECT_FALSE(config.deviceName().has_value());
}

TEST(TkDeviceInfo, ReadsItsKeys) {
  TkDeviceInfo info("DAC", true, false);
  EXPECT_EQ(info.deviceName(), "DAC");
  EXPECT_TRUE(info.isDoPSupported());
  EXPECT_FALSE(info.isDSDNativeSupported());
  TkDeviceInfo empty;
  EXPECT_FALSE(empty.deviceName().has_value());
  EXPECT_FALSE(empty.isDoPSupported());
}

TEST(AudioFileInfo, StartsEmpty) {
  AudioFileInfo info;
  EXPECT_EQ(info.fileName(), "");
  EXPECT_EQ(info.samplingRate(), 0u);
  EXPECT_EQ(info.durationBySec(), 0.0);
}
