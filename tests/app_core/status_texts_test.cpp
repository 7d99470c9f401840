#include <gtest/gtest.h>

#include "app/controller/menu_validation.h"
#include "app/controller/status_texts.h"

using namespace pelmora::app;

TEST(StatusTexts, SkippedTitlesAreCutAtEighteenCharacters) {
  EXPECT_EQ(skippedMessage("123456789012345678"), "\"123456789012345678\" has been skipped.");
  EXPECT_EQ(skippedMessage("1234567890123456789"), "\"123456789012345678...\" has been skipped.");
  EXPECT_EQ(skippedMessage(""), "\"\" has been skipped.");
  // Characters, not bytes: eighteen kana stay whole, a nineteenth is cut.
  std::string kana;
  for (int i = 0; i < 18; ++i) kana += "\u30CF";
  EXPECT_EQ(skippedMessage(kana), "\"" + kana + "\" has been skipped.");
  EXPECT_EQ(skippedMessage(kana + "\u30A4"), "\"" + kana + "...\" has been skipped.");
}

TEST(StatusTexts, TimeStatusShowsTheTrackUnlessItsLengthIsUnknown) {
  EXPECT_EQ(timeStatusText(true, 0, 0, 3723.4), "total 1:02:03");
  EXPECT_EQ(timeStatusText(true, 200, 190, 3723.5), "track remain 0:03:10/total 1:02:04");
  EXPECT_EQ(timeStatusText(false, 0, 0, 59.5), "track remain 0:00:00/total 0:01:00");
  EXPECT_EQ(durationText(-3), "0:00:00");
  EXPECT_EQ(durationText(359999.4), "99:59:59");
}

TEST(StatusTexts, ErrorEntriesAndFormatLights) {
  EXPECT_EQ(errorPanelEntry("Insufficient Memory.", "big.dsf"), "Insufficient Memory.\nbig.dsf\n\n");
  EXPECT_EQ(errorPanelEntry("No output device has been selected.", ""), "No output device has been selected.\n\n");
  EXPECT_EQ(formatLightIndex("WAV"), 0);
  EXPECT_EQ(formatLightIndex("ALAC"), 6);
  EXPECT_EQ(formatLightIndex("flac"), -1);  // exactly as the engine names it
  EXPECT_EQ(formatLightIndex("CD"), -1);
}

TEST(MenuValidation, PlayingLocksThePlaylistAndDeviceCommands) {
  const PlayerState playing{.playing = true};
  const PlayerState stopped{};
  for (Command c : {Command::Preferences, Command::Open, Command::OpenCd, Command::NewPlaylist,
                    Command::LoadPlaylist, Command::Shuffle, Command::SavePlaylist}) {
    EXPECT_FALSE(commandEnabled(c, playing));
    EXPECT_TRUE(commandEnabled(c, stopped));
  }
  EXPECT_TRUE(commandEnabled(Command::AddFiles, playing));
  EXPECT_TRUE(commandEnabled(Command::Stop, playing));
}

TEST(MenuValidation, AFixedPlaylistCannotBeChangedAndRemovingNeedsASelection) {
  EXPECT_FALSE(commandEnabled(Command::Remove, {}));
  EXPECT_TRUE(commandEnabled(Command::Remove, {.selection = true}));
  EXPECT_FALSE(commandEnabled(Command::Remove, {.playlist_readonly = true, .selection = true}));
  EXPECT_FALSE(commandEnabled(Command::AddFiles, {.playlist_readonly = true}));
  EXPECT_FALSE(commandEnabled(Command::SavePlaylist, {.playlist_readonly = true}));
  EXPECT_TRUE(commandEnabled(Command::Play, {.playlist_readonly = true}));
}
