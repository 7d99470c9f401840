// Cue sheets read into tracks and playlist records: the line and word rules, FILE
// names, track numbering, INDEX arithmetic, each track running to the next track's
// INDEX 01, text encodings, and damaged or hostile files.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <random>

#include "engine/controller/tk_delegate.h"
#include "engine/playlist/cue_parser.h"
#include "engine/playlist/playlist_array_controller.h"
#include "platform/localization.h"
#include "support/log_capture.h"
#include "support/temp_dir.h"
#include "support/watchdog.h"

namespace {

class CueSheetTest : public ::testing::Test {
 protected:
  // Writes `bytes` as a sheet named `name` in the test's folder; returns its path.
  std::string sheet(const std::string& bytes, const std::string& name = "album.cue") {
    const std::string path = dir_.file(name);
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
  }

  // Each record as "path | title | artist | offset | duration" ("-" when absent),
  // the path relative to the test folder when it lies inside it.
  std::vector<std::string> rows(const std::vector<PlaylistItemInfoRef>& records) const {
    std::vector<std::string> out;
    for (const auto& r : records) {
      std::string path = r->fullpath();
      if (path.starts_with(dir_.path() + "/")) path = path.substr(dir_.path().size() + 1);
      char times[96];
      std::snprintf(times, sizeof times, "%.4f | %s", r->offset(),
                    r->has(TABLE_KEY_DURATION) ? std::to_string(r->duration()).c_str() : "-");
      out.push_back(path + " | " + (r->has(TABLE_KEY_TITLE) ? r->title() : "-") + " | " +
                    (r->has(TABLE_KEY_ARTIST) ? r->artist() : "-") + " | " + times);
    }
    return out;
  }
  std::vector<std::string> rowsOf(const std::string& text) {
    return rows(PlaylistArrayController::parseCueFile(sheet(text)));
  }

  TempDir dir_;
};

using Rows = std::vector<std::string>;

// ---------------------------------------------------------------------------------
// Frames, offsets and durations

TEST_F(CueSheetTest, IndexTimesAreMinutesSecondsAndFramesOfASeventyFifthOfASecond) {
  const auto cue = CUEParser::cueWithPath(sheet(
      "FILE \"a.flac\" WAVE\n"
      "  TRACK 01 AUDIO\n"
      "    INDEX 01 03:25:50\n"
      "  TRACK 02 AUDIO\n"
      "    INDEX 00 07:00\n"  // missing frames count as 0
      "    INDEX 01 10:20:74\n"
      "    INDEX 02 11:00:00\n"));  // only 00 and 01 are read
  ASSERT_TRUE(cue);
  ASSERT_EQ(cue->files().size(), 1u);
  const auto& tracks = cue->files()[0].tracks;
  ASSERT_EQ(tracks.size(), 2u);
  EXPECT_EQ(tracks[0].index01, 15425);  // (3 × 60 + 25) × 75 + 50
  EXPECT_FALSE(tracks[0].index00);
  EXPECT_EQ(tracks[1].index00, (7 * 60 + 0) * 75);
  EXPECT_EQ(tracks[1].index01, (10 * 60 + 20) * 75 + 74);

  const auto records = PlaylistArrayController::parseCueFile(dir_.file("album.cue"));
  ASSERT_EQ(records.size(), 2u);
  EXPECT_DOUBLE_EQ(records[0]->offset(), 15425.0 / 75.0);
  EXPECT_DOUBLE_EQ(records[0]->duration(), (46574.0 - 15425.0) / 75.0);
  EXPECT_DOUBLE_EQ(records[1]->offset(), 46574.0 / 75.0);
}

TEST_F(CueSheetTest, EachTrackRunsToTheNextTracksStartAndTheLastToTheEndOfItsFile) {
  EXPECT_EQ(rowsOf("PERFORMER \"The Band\"\n"
                   "TITLE \"The Album\"\n"
                   "FILE \"album.flac\" WAVE\n"
                   "  TRACK 01 AUDIO\n"
                   "    TITLE \"One\"\n"
                   "    INDEX 01 00:00:00\n"
                   "  TRACK 02 AUDIO\n"
                   "    TITLE \"Two\"\n"
                   "    INDEX 01 04:00:00\n"
                   "  TRACK 03 AUDIO\n"
                   "    TITLE \"Three\"\n"
                   "    INDEX 01 08:30:00\n"),
            (Rows{"album.flac | One | The Band | 0.0000 | 240.000000",
                  "album.flac | Two | The Band | 240.0000 | 270.000000",
                  "album.flac | Three | The Band | 510.0000 | -"}));
}

// The pregap (INDEX 00 to INDEX 01) of track 2 is played at the end of track 1, not
// skipped: played through, the tracks cover the file without a hole.
TEST_F(CueSheetTest, APregapIsPlayedAsTheEndOfTheTrackBeforeIt) {
  EXPECT_EQ(rowsOf("FILE \"album.flac\" WAVE\n"
                   "  TRACK 01 AUDIO\n"
                   "    INDEX 01 00:00:00\n"
                   "  TRACK 02 AUDIO\n"
                   "    INDEX 00 03:58:00\n"
                   "    INDEX 01 04:00:00\n"
                   "  TRACK 03 AUDIO\n"
                   "    INDEX 00 08:29:10\n"
                   "    INDEX 01 08:30:00\n"),
            (Rows{"album.flac | Track 01 | - | 0.0000 | 240.000000",
                  "album.flac | Track 02 | - | 240.0000 | 270.000000",
                  "album.flac | Track 03 | - | 510.0000 | -"}));
}

// A hidden intro before track 1 (INDEX 00 at 0, INDEX 01 later) is played as the
// start of track 1: nothing before its INDEX 01 is lost. The later tracks still start
// at their INDEX 01.
TEST_F(CueSheetTest, TheFirstTrackOfAFileStartsAtItsIndexZero) {
  EXPECT_EQ(rowsOf("FILE \"a.wav\" WAVE\n"
                   "  TRACK 01 AUDIO\n"
                   "    INDEX 00 00:00:00\n"
                   "    INDEX 01 00:02:33\n"
                   "  TRACK 02 AUDIO\n"
                   "    INDEX 00 00:58:00\n"
                   "    INDEX 01 01:00:00\n"),
            (Rows{"a.wav | Track 01 | - | 0.0000 | 60.000000", "a.wav | Track 02 | - | 60.0000 | -"}));
  // An INDEX 00 after the INDEX 01 is no intro.
  EXPECT_EQ(rowsOf("FILE \"a.wav\" WAVE\n"
                   "  TRACK 01 AUDIO\n"
                   "    INDEX 00 00:03:00\n"
                   "    INDEX 01 00:02:00\n"),
            (Rows{"a.wav | Track 01 | - | 2.0000 | -"}));
}

// Gaps appended to the track before (EAC's default for one file per track): track 2's
// INDEX 00 stands in the first file, its INDEX 01 at the head of the second. Track 1
// runs to the end of its file, track 2 starts at its INDEX 01 in the next one, and
// the later FILEs' tracks carry the sheet's running numbers.
TEST_F(CueSheetTest, GapsAppendedToThePreviousTrackGiveEveryTrack) {
  EXPECT_EQ(rowsOf("PERFORMER \"Band\"\n"
                   "FILE \"01.wav\" WAVE\n"
                   "  TRACK 01 AUDIO\n"
                   "    TITLE \"One\"\n"
                   "    INDEX 01 00:00:00\n"
                   "  TRACK 02 AUDIO\n"
                   "    TITLE \"Two\"\n"
                   "    INDEX 00 03:58:00\n"
                   "FILE \"02.wav\" WAVE\n"
                   "    INDEX 01 00:00:00\n"
                   "  TRACK 03 AUDIO\n"
                   "    INDEX 00 02:59:00\n"
                   "FILE \"03.wav\" WAVE\n"
                   "    INDEX 01 00:00:00\n"
                   "  TRACK 04 AUDIO\n"
                   "    TITLE \"Four\"\n"
                   "    INDEX 01 01:00:00\n"),
            (Rows{"01.wav | One | Band | 0.0000 | -", "02.wav | Two | Band | 0.0000 | -",
                  "03.wav | Track 03 | Band | 0.0000 | 60.000000", "03.wav | Four | Band | 60.0000 | -"}));
}

TEST_F(CueSheetTest, UntitledTracksAreNamedByTheirNumberThroughTheTextLookup) {
  const std::string text =
      "FILE \"a.wav\" WAVE\n"
      "  TRACK 01 AUDIO\n"
      "    TITLE First\n"
      "    INDEX 01 00:00:00\n"
      "  TRACK 02 AUDIO\n"
      "    INDEX 01 01:00:00\n";
  EXPECT_EQ(rowsOf(text), (Rows{"a.wav | First | - | 0.0000 | 60.000000", "a.wav | Track 02 | - | 60.0000 | -"}));

  sonara::platform::setLocalizationTable({{"Track %02d", "Titel %02d"}});
  EXPECT_EQ(rowsOf(text)[1], "a.wav | Titel 02 | - | 60.0000 | -");
  // A translation with a conversion of its own is taken as text, never as a format.
  sonara::platform::setLocalizationTable({{"Track %02d", "%s Nr. %02d %n"}});
  EXPECT_EQ(rowsOf(text)[1], "a.wav | %s Nr. 02 %n | - | 60.0000 | -");
  sonara::platform::setLocalizationTable({});
}

TEST_F(CueSheetTest, TheTracksPerformerComesFirstThenTheDiscsThenNone) {
  EXPECT_EQ(rowsOf("FILE \"a.wav\" WAVE\n"
                   "  TRACK 01 AUDIO\n"
                   "    PERFORMER \"Guest\"\n"
                   "    INDEX 01 00:00:00\n"
                   "  TRACK 02 AUDIO\n"
                   "    INDEX 01 01:00:00\n"),
            (Rows{"a.wav | Track 01 | Guest | 0.0000 | 60.000000", "a.wav | Track 02 | - | 60.0000 | -"}));
  // A later line replaces an earlier one, on the disc and in a track.
  EXPECT_EQ(rowsOf("PERFORMER First Name\n"
                   "TITLE \"Album\"\n"
                   "PERFORMER \"The Band\"\n"
                   "FILE \"a.wav\" WAVE\n"
                   "  TRACK 01 AUDIO\n"
                   "    INDEX 01 00:00:00\n"
                   "FILE \"b.wav\" WAVE\n"
                   "  TRACK 02 AUDIO\n"
                   "    PERFORMER \"Guest\"\n"
                   "    INDEX 01 00:00:00\n"
                   "    PERFORMER \"Other Guest\"\n"),
            (Rows{"a.wav | Track 01 | The Band | 0.0000 | -", "b.wav | Track 02 | Other Guest | 0.0000 | -"}));
}

// ---------------------------------------------------------------------------------
// Track numbering

TEST_F(CueSheetTest, TracksAfterAGapInTheNumberingAreNotListed) {
  EXPECT_EQ(rowsOf("FILE \"a.wav\" WAVE\n"
                   "  TRACK 01 AUDIO\n"
                   "    INDEX 01 00:00:00\n"
                   "  TRACK 02 AUDIO\n"
                   "    INDEX 01 01:00:00\n"
                   "  TRACK 04 AUDIO\n"
                   "    INDEX 01 02:00:00\n"),
            (Rows{"a.wav | Track 01 | - | 0.0000 | 60.000000", "a.wav | Track 02 | - | 60.0000 | -"}));
}

TEST_F(CueSheetTest, TracksListedInNumberOrderWhateverTheirOrderInTheSheet) {
  EXPECT_EQ(rowsOf("FILE \"a.wav\" WAVE\n"
                   "  TRACK 2 AUDIO\n"
                   "    INDEX 01 01:00:00\n"
                   "  TRACK +1 AUDIO\n"  // a sign is accepted
                   "    INDEX 01 00:00:00\n"),
            (Rows{"a.wav | Track 01 | - | 0.0000 | 60.000000", "a.wav | Track 02 | - | 60.0000 | -"}));
}

TEST_F(CueSheetTest, ADataTrackAheadOfTheAudioTracksHidesTheFile) {
  LogCapture log;
  EXPECT_EQ(rowsOf("FILE \"disc.bin\" BINARY\n"
                   "  TRACK 01 MODE1/2352\n"
                   "    INDEX 01 00:00:00\n"
                   "  TRACK 02 AUDIO\n"
                   "    INDEX 01 10:00:00\n"
                   "  TRACK 03 AUDIO\n"
                   "    INDEX 01 14:00:00\n"),
            Rows{});
  EXPECT_TRUE(log.contains("lists no track to play")) << "no reason given";
  const auto cue = CUEParser::cueWithPath(dir_.file("album.cue"));
  ASSERT_TRUE(cue);
  ASSERT_EQ(cue->files()[0].tracks.size(), 3u);
  EXPECT_FALSE(cue->files()[0].tracks[0].number) << "a data track is kept without a number";
  EXPECT_EQ(cue->files()[0].tracks[1].number, 2);
}

TEST_F(CueSheetTest, OnlyAnAudioTypeWrittenExactlyNumbersATrack) {
  const auto cue = CUEParser::cueWithPath(sheet("FILE \"a.wav\" WAVE\n"
                                                "  TRACK 01 AUDIO \n"   // trailing space
                                                "  TRACK 02 audio\n"    // keywords are case-sensitive
                                                "  TRACK 03\n"          // no type
                                                "  TRACK 04  AUDIO\n"));  // spaces between words
  ASSERT_TRUE(cue);
  const auto& tracks = cue->files()[0].tracks;
  ASSERT_EQ(tracks.size(), 4u);
  EXPECT_FALSE(tracks[0].number);
  EXPECT_FALSE(tracks[1].number);
  EXPECT_FALSE(tracks[2].number);
  EXPECT_EQ(tracks[3].number, 4);
}

// A track without a start is not listed; its audio stays with the track before, and
// the tracks around it are listed.
TEST_F(CueSheetTest, ATrackWithoutIndexOneIsLeftToTheTrackBeforeIt) {
  EXPECT_EQ(rowsOf("FILE \"a.wav\" WAVE\n"
                   "  TRACK 01 AUDIO\n"
                   "    INDEX 01 00:00:00\n"
                   "  TRACK 02 AUDIO\n"
                   "    INDEX 00 01:00:00\n"
                   "  TRACK 03 AUDIO\n"
                   "    INDEX 01 02:00:00\n"
                   "  TRACK 04 AUDIO\n"
                   "    INDEX 00 03:00:00\n"),
            (Rows{"a.wav | Track 01 | - | 0.0000 | 120.000000", "a.wav | Track 03 | - | 120.0000 | -"}));
}

// One FILE per track, the k-th FILE holding track k (rippers' "one file per track"
// sheets): every file is a track of its own, played whole.
TEST_F(CueSheetTest, ASheetWithOneFilePerTrackListsEachFile) {
  EXPECT_EQ(rowsOf("PERFORMER \"Band\"\n"
                   "FILE \"01 One.flac\" WAVE\n"
                   "  TRACK 01 AUDIO\n"
                   "    TITLE \"One\"\n"
                   "    INDEX 01 00:00:00\n"
                   "FILE \"02 Two.flac\" WAVE\n"
                   "  TRACK 02 AUDIO\n"
                   "    INDEX 00 00:00:00\n"
                   "    INDEX 01 00:01:50\n"
                   "FILE \"03 Three.flac\" WAVE\n"
                   "  TRACK 03 AUDIO\n"
                   "    TITLE \"Three\"\n"
                   "    INDEX 01 00:00:00\n"),
            (Rows{"01 One.flac | One | Band | 0.0000 | -",
                  "02 Two.flac | Track 02 | Band | 0.0000 | -",
                  "03 Three.flac | Three | Band | 0.0000 | -"}));
}

// Each FILE's tracks are searched from the FILE's place among the files, and when
// none is numbered so, on from the tracks before: the third FILE's track 4 (the
// sheet's running count) is listed.
TEST_F(CueSheetTest, ALaterFileIsSearchedFromItsPlaceAmongTheFilesThenByTheRunningCount) {
  EXPECT_EQ(rowsOf("FILE \"disc1.wav\" WAVE\n"
                   "  TRACK 01 AUDIO\n"
                   "    INDEX 01 00:00:00\n"
                   "FILE \"disc2.wav\" WAVE\n"
                   "  TRACK 02 AUDIO\n"
                   "    INDEX 01 00:00:00\n"
                   "  TRACK 03 AUDIO\n"
                   "    INDEX 01 03:00:00\n"
                   "FILE \"disc3.wav\" WAVE\n"
                   "  TRACK 04 AUDIO\n"
                   "    INDEX 01 00:00:00\n"),
            (Rows{"disc1.wav | Track 01 | - | 0.0000 | -", "disc2.wav | Track 02 | - | 0.0000 | 180.000000",
                  "disc2.wav | Track 03 | - | 180.0000 | -", "disc3.wav | Track 04 | - | 0.0000 | -"}));
}

// Hostile times: a track that does not start before the next one, and a negative
// start, give no window (a negative length or offset would reach the player).
TEST_F(CueSheetTest, TracksOutOfTimeOrderOrWithNegativeStartsAreLeftOut) {
  EXPECT_EQ(rowsOf("FILE \"a.wav\" WAVE\n"
                   "  TRACK 01 AUDIO\n"
                   "    INDEX 01 00:00:00\n"
                   "  TRACK 02 AUDIO\n"
                   "    INDEX 01 05:00:00\n"
                   "  TRACK 03 AUDIO\n"
                   "    INDEX 01 03:00:00\n"
                   "  TRACK 04 AUDIO\n"
                   "    INDEX 01 03:00:00\n"
                   "  TRACK 05 AUDIO\n"
                   "    INDEX 01 06:00:00\n"),
            (Rows{"a.wav | Track 01 | - | 0.0000 | 180.000000", "a.wav | Track 04 | - | 180.0000 | 180.000000",
                  "a.wav | Track 05 | - | 360.0000 | -"}));
  EXPECT_EQ(rowsOf("FILE \"a.wav\" WAVE\n"
                   "  TRACK 01 AUDIO\n"
                   "    INDEX 01 00:00:00\n"
                   "  TRACK 02 AUDIO\n"
                   "    INDEX 01 -1:00:00\n"
                   "  TRACK 03 AUDIO\n"
                   "    INDEX 01 99999999999:00:00\n"),
            (Rows{"a.wav | Track 01 | - | 0.0000 | 128849018820.000000",  // track 2's time stays with it
                  "a.wav | Track 03 | - | 128849018820.0000 | -"}));         // held at 2^31 − 1 minutes
}

// ---------------------------------------------------------------------------------
// FILE lines

TEST_F(CueSheetTest, FileNamesAreQuotedAndResolvedAgainstTheSheetsFolder) {
  const auto cue = CUEParser::cueWithPath(sheet("FILE \"sub dir/Disc 1.flac\" WAVE\n"
                                                "FILE \"/music/abs olute.wav\" WAVE\n"
                                                "FILE unquoted.wav WAVE\n"
                                                "FILE \"no type.wav\"\n"
                                                "FILE \"\" WAVE\n"
                                                "FILE lone\"quote WAVE\n"
                                                "FILE   \"inner \"quotes\" kept\" MP3\n"));
  ASSERT_TRUE(cue);
  std::vector<std::string> paths;
  for (const auto& f : cue->files()) paths.push_back(f.path);
  EXPECT_EQ(paths, (std::vector<std::string>{dir_.file("sub dir/Disc 1.flac"), "/music/abs olute.wav",
                                             dir_.file("inner \"quotes\" kept")}));
}

// Read from a relative path, the sheet still gives absolute file paths.
TEST_F(CueSheetTest, ASheetGivenByARelativePathGivesAbsoluteFilePaths) {
  sheet("FILE \"a.wav\" WAVE\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n");
  char cwd[4096];
  ASSERT_TRUE(::getcwd(cwd, sizeof cwd));
  ASSERT_EQ(::chdir(dir_.path().c_str()), 0);
  const auto records = PlaylistArrayController::parseCueFile("album.cue");
  ASSERT_EQ(::chdir(cwd), 0);
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0]->fullpath(), dir_.file("a.wav"));
}

// A rejected FILE line leaves the lines under it to the sheet: its TRACK and INDEX
// lines mean nothing there, its TITLE becomes the disc's.
TEST_F(CueSheetTest, TheLinesUnderARejectedFileAreReadAsSheetLines) {
  const auto cue = CUEParser::cueWithPath(sheet("TITLE \"Album\"\n"
                                                "FILE a.wav WAVE\n"
                                                "  TRACK 01 AUDIO\n"
                                                "    TITLE \"Song\"\n"
                                                "    INDEX 01 00:00:00\n"));
  ASSERT_TRUE(cue);
  EXPECT_TRUE(cue->files().empty());
  EXPECT_EQ(cue->info(), (std::map<std::string, std::string, std::less<>>{{"TITLE", "Song"}}));
}

// A line of spaces inside a FILE block drops the whole FILE; its lines are then read
// at sheet level, and the next FILE is read as usual.
TEST_F(CueSheetTest, ALineOfSpacesInsideAFileBlockDropsThatFile) {
  const auto cue = CUEParser::cueWithPath(sheet("FILE \"a.wav\" WAVE\n"
                                                "  TRACK 01 AUDIO\n"
                                                "    TITLE \"In A\"\n"
                                                "     \n"
                                                "    INDEX 01 00:00:00\n"
                                                "FILE \"b.wav\" WAVE\n"
                                                "  TRACK 02 AUDIO\n"
                                                "    INDEX 01 00:00:00\n"));
  ASSERT_TRUE(cue);
  ASSERT_EQ(cue->files().size(), 1u);
  EXPECT_EQ(cue->files()[0].path, dir_.file("b.wav"));
  EXPECT_EQ(cue->info().at("TITLE"), "In A");
}

// ---------------------------------------------------------------------------------
// Words, quotes and lines

TEST_F(CueSheetTest, OnlyAValueWhollyInDoubleQuotesLosesThem) {
  const auto cue = CUEParser::cueWithPath(sheet("TITLE \"Quoted Title\"\n"
                                                "PERFORMER   Unquoted  words \n"
                                                "REM COMMENT \"kept\" \n"
                                                "REM DISCID \"\n"
                                                "REM GENRE \"\"\n"
                                                "FILE \"a.wav\" WAVE\n"
                                                "  TRACK 01 AUDIO\n"
                                                "    TITLE \"Has \"inner\" quotes\"\n"
                                                "    PERFORMER \"Trailing\" \n"));
  ASSERT_TRUE(cue);
  EXPECT_EQ(cue->info(), (std::map<std::string, std::string, std::less<>>{{"TITLE", "Quoted Title"},
                                                                          {"PERFORMER", "Unquoted  words "},
                                                                          {"COMMENT", "\"kept\" "},
                                                                          {"DISCID", "\""},
                                                                          {"GENRE", ""}}));
  const auto& track = cue->files()[0].tracks[0];
  EXPECT_EQ(track.title, "Has \"inner\" quotes");
  EXPECT_EQ(track.performer, "\"Trailing\" ");
}

TEST_F(CueSheetTest, TabIndentedLinesAreNotRecognised) {
  const auto cue = CUEParser::cueWithPath(sheet("FILE \"a.wav\" WAVE\n"
                                                "\tTRACK 01 AUDIO\n"
                                                "  TRACK 02 AUDIO\n"
                                                "\t\tTITLE \"Tabbed\"\n"
                                                "    INDEX\t01 00:00:00\n"
                                                "    INDEX 01 01:00:00\n"
                                                "\tINDEX 01 02:00:00\n"));
  ASSERT_TRUE(cue);
  const auto& tracks = cue->files()[0].tracks;
  ASSERT_EQ(tracks.size(), 1u);
  EXPECT_EQ(tracks[0].number, 2);
  EXPECT_FALSE(tracks[0].title);
  EXPECT_EQ(tracks[0].index01, 60 * 75);
}

TEST_F(CueSheetTest, KeywordsAreCaseSensitiveAndOtherCommandsIgnored) {
  const auto cue = CUEParser::cueWithPath(sheet("title \"lower\"\n"
                                                "CATALOG 0123456789012\n"
                                                "SONGWRITER \"Writer\"\n"
                                                "CDTEXTFILE \"x.cdt\"\n"
                                                "file \"a.wav\" WAVE\n"
                                                "FILE \"b.wav\" WAVE\n"
                                                "  TRACK 01 AUDIO\n"
                                                "    FLAGS DCP\n"
                                                "    ISRC ABCDE1234567\n"
                                                "    PREGAP 00:02:00\n"
                                                "    title \"lower\"\n"
                                                "    INDEX 01 00:00:00\n"
                                                "    POSTGAP 00:02:00\n"));
  ASSERT_TRUE(cue);
  EXPECT_TRUE(cue->info().empty());
  ASSERT_EQ(cue->files().size(), 1u);
  EXPECT_EQ(cue->files()[0].path, dir_.file("b.wav"));
  ASSERT_EQ(cue->files()[0].tracks.size(), 1u);
  EXPECT_FALSE(cue->files()[0].tracks[0].title);
  EXPECT_EQ(cue->files()[0].tracks[0].index01, 0);
}

TEST_F(CueSheetTest, RemLinesSetDiscValuesAtSheetLevelOnly) {
  const auto cue = CUEParser::cueWithPath(sheet("REM GENRE Rock\n"
                                                "REM DATE \"1999\"\n"
                                                "REM COMMENT\n"  // no value: ignored
                                                "FILE \"a.wav\" WAVE\n"
                                                "REM BEFORE_TRACKS inside the FILE block\n"
                                                "  TRACK 01 AUDIO\n"
                                                "    REM COMPOSER Someone\n"
                                                "    INDEX 01 00:00:00\n"));
  ASSERT_TRUE(cue);
  EXPECT_EQ(cue->info(), (std::map<std::string, std::string, std::less<>>{{"GENRE", "Rock"}, {"DATE", "1999"}}));
}

// Every line break ends a line: LF, CR, CR LF, NEL and the Unicode line and paragraph
// separators; blank pieces between them are dropped.
TEST_F(CueSheetTest, LinesEndAtEveryKindOfLineBreak) {
  const Rows expected{"a.wav | One | - | 0.0000 | 60.000000", "a.wav | Two | - | 60.0000 | -"};
  const std::vector<std::string> lines{"FILE \"a.wav\" WAVE", "TRACK 01 AUDIO", "TITLE One",
                                       "INDEX 01 00:00:00", "TRACK 02 AUDIO",   "TITLE Two",
                                       "INDEX 01 01:00:00"};
  for (const std::string br : {"\n", "\r", "\r\n", "\n\n\r\r", "\xC2\x85", "\xE2\x80\xA8", "\xE2\x80\xA9"}) {
    std::string text;
    for (const auto& line : lines) text += line + br;
    EXPECT_EQ(rowsOf(text), expected) << "line break of " << br.size() << " bytes";
  }
  // No break after the last line, and one at the start.
  EXPECT_EQ(rowsOf("\r\nFILE \"a.wav\" WAVE\r\nTRACK 01 AUDIO\r\nTITLE One\r\nINDEX 01 00:00:00\r\nTRACK 02 AUDIO\r\n"
                   "TITLE Two\r\nINDEX 01 01:00:00"),
            expected);
}

// ---------------------------------------------------------------------------------
// Text encodings

std::string utf16(std::u16string_view text, bool little_endian, bool mark) {
  std::string out;
  const std::u16string all = mark ? std::u16string(u"\uFEFF") + std::u16string(text) : std::u16string(text);
  for (const char16_t unit : all) {
    const char low = static_cast<char>(unit & 0xFF), high = static_cast<char>(unit >> 8);
    out += little_endian ? std::string{low, high} : std::string{high, low};
  }
  return out;
}

constexpr char kTwoTrackTail[] = "  TRACK 02 AUDIO\r\n    INDEX 01 01:00:00\r\n";

TEST_F(CueSheetTest, Utf8WithAByteOrderMarkKeepsTheFirstLine) {
  EXPECT_EQ(rowsOf(std::string("\xEF\xBB\xBF") +
                   "PERFORMER \"Sigur Rós\"\r\n"
                   "FILE \"Ágætis byrjun.flac\" WAVE\r\n"
                   "  TRACK 01 AUDIO\r\n"
                   "    TITLE \"Svefn-g-englar ☕ 日本\"\r\n"
                   "    INDEX 01 00:00:00\r\n" +
                   kTwoTrackTail),
            (Rows{"Ágætis byrjun.flac | Svefn-g-englar ☕ 日本 | Sigur Rós | 0.0000 | 60.000000",
                  "Ágætis byrjun.flac | Track 02 | Sigur Rós | 60.0000 | -"}));
}

TEST_F(CueSheetTest, Utf16InBothByteOrdersWithOrWithoutAMark) {
  const std::u16string text =
      u"PERFORMER \"Ærøskøbing 東京\"\r\n"
      u"FILE \"a.wav\" WAVE\r\n"
      u"  TRACK 01 AUDIO\r\n"
      u"    TITLE \"Ünïcödé — 𝄞\"\r\n"
      u"    INDEX 01 00:00:00\r\n";
  const Rows expected{"a.wav | Ünïcödé — 𝄞 | Ærøskøbing 東京 | 0.0000 | -"};
  EXPECT_EQ(rowsOf(utf16(text, true, true)), expected) << "UTF-16LE with its mark";
  EXPECT_EQ(rowsOf(utf16(text, false, true)), expected) << "UTF-16BE with its mark";
  EXPECT_EQ(rowsOf(utf16(text, true, false)), expected) << "UTF-16LE without a mark";
  EXPECT_EQ(rowsOf(utf16(text, false, false)), expected) << "UTF-16BE without a mark";
}

TEST_F(CueSheetTest, ShiftJisTitlesComeOutAsTheirJapanese) {
  EXPECT_EQ(rowsOf("PERFORMER \"\x83\x68\x83\x89\x83\x53\x83\x93\"\r\n"  // ドラゴン
                   "TITLE \"\x93\x8c\x8b\x9e\"\r\n"                      // 東京
                   "FILE \"\x93\x8c\x8b\x9e.wav\" WAVE\r\n"
                   "  TRACK 01 AUDIO\r\n"
                   "    TITLE \"\x93\x8c\x8b\x9e\x82\xb3\x82\xad\x82\xe7\"\r\n"  // 東京さくら
                   "    INDEX 01 00:00:00\r\n" +
                   std::string(kTwoTrackTail)),
            (Rows{"東京.wav | 東京さくら | ドラゴン | 0.0000 | 60.000000", "東京.wav | Track 02 | ドラゴン | 60.0000 | -"}));
}

TEST_F(CueSheetTest, Windows1252TitlesComeOutWithTheirAccentsAndQuotes) {
  EXPECT_EQ(rowsOf("PERFORMER \"Sigur R\xF3s\"\r\n"
                   "FILE \"Caf\xE9.wav\" WAVE\r\n"
                   "  TRACK 01 AUDIO\r\n"
                   "    TITLE \"Don\x92t Stop \x96 Caf\xE9 del Mar\"\r\n"
                   "    INDEX 01 00:00:00\r\n" +
                   std::string(kTwoTrackTail)),
            (Rows{"Café.wav | Don’t Stop – Café del Mar | Sigur Rós | 0.0000 | 60.000000",
                  "Café.wav | Track 02 | Sigur Rós | 60.0000 | -"}));
}

TEST_F(CueSheetTest, TextThatBreaksItsByteOrderMarkIsRefused) {
  for (const std::string& bytes : {std::string("\xEF\xBB\xBF" "FILE \"caf\xE9.wav\" WAVE\n"),
                                   std::string("\xFF\xFE" "F\0I\0L", 7)}) {
    LogCapture log;
    EXPECT_FALSE(CUEParser::cueWithPath(sheet(bytes)));
    EXPECT_TRUE(log.contains("File Open Failed." + dir_.file("album.cue") + ": the text is not valid"))
        << (log.lines().empty() ? "nothing logged" : log.lines()[0]);
  }
}

// ---------------------------------------------------------------------------------
// Damaged and hostile files

TEST_F(CueSheetTest, BinaryGarbageIsRefusedAsNotText) {
  std::mt19937 random(22);
  std::string bytes(64 * 1024, '\0');
  for (auto& b : bytes) b = static_cast<char>(random());
  LogCapture log;
  EXPECT_FALSE(CUEParser::cueWithPath(sheet(bytes)));
  EXPECT_TRUE(log.contains("File Open Failed." + dir_.file("album.cue") + ": it holds NUL bytes: not a text file"));
  EXPECT_TRUE(PlaylistArrayController::parseCueFile(dir_.file("album.cue")).empty());
}

// Bytes without zeros decode in some 8-bit encoding; nothing in them is a sheet
// line, and the sheet is said to list nothing.
TEST_F(CueSheetTest, GarbageWithoutZeroBytesListsNothingAndSaysSo) {
  std::mt19937 random(7);
  std::string bytes(64 * 1024, '\0');
  for (auto& b : bytes) b = static_cast<char>(1 + random() % 255);
  bytes += "\nFILE \"x\xff\xfe\"\n TRACK 1 AUDIO\nINDEX 01 ::\n";  // a FILE line without its type
  LogCapture log;
  EXPECT_TRUE(PlaylistArrayController::parseCueFile(sheet(bytes)).empty());
  EXPECT_TRUE(log.contains(dir_.file("album.cue") + " lists no track to play"));
}

TEST_F(CueSheetTest, AHundredMegabyteFileNamedCueIsRefusedUnread) {
  const std::string path = dir_.file("huge.cue");
  const int fd = ::open(path.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0600);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::ftruncate(fd, 100 << 20), 0);  // sparse: no disk space used
  ::close(fd);
  LogCapture log;
  EXPECT_FALSE(CUEParser::cueWithPath(path));
  EXPECT_EQ(log.lines(), (std::vector<std::string>{"File Open Failed." + path +
                                                   ": 104857600 bytes, more than the 1 MiB a cue sheet may have"}));
  EXPECT_TRUE(PlaylistArrayController::parseCueFile(path).empty());
}

TEST_F(CueSheetTest, EmptySheetsAndSheetsOfOnlyLineBreaksFail) {
  for (const std::string bytes : {"", "\r\r\r\r\r\r", "\r\n\r\n", "\xEF\xBB\xBF"}) {
    LogCapture log;
    EXPECT_FALSE(CUEParser::cueWithPath(sheet(bytes)));
    EXPECT_EQ(log.lines(), (std::vector<std::string>{"File Open Failed." + dir_.file("album.cue") +
                                                     ": the sheet holds no lines"}));
  }
  // A sheet of spaces has lines, none of them with words: read, nothing in it.
  const auto cue = CUEParser::cueWithPath(sheet("   \n \n"));
  ASSERT_TRUE(cue);
  EXPECT_TRUE(cue->files().empty());
  EXPECT_TRUE(cue->info().empty());
}

TEST_F(CueSheetTest, MissingFilesFoldersAndPipesAreRefusedWithTheReason) {
  LogCapture log;
  EXPECT_FALSE(CUEParser::cueWithPath(dir_.file("missing.cue")));
  ASSERT_EQ(::mkdir(dir_.file("folder.cue").c_str(), 0700), 0);
  EXPECT_FALSE(CUEParser::cueWithPath(dir_.file("folder.cue")));
  // Opening a pipe would wait for a writer that never comes.
  ASSERT_EQ(::mkfifo(dir_.file("pipe.cue").c_str(), 0600), 0);
  {
    Watchdog watchdog("reading a pipe named .cue", std::chrono::seconds(30));
    EXPECT_FALSE(CUEParser::cueWithPath(dir_.file("pipe.cue")));
  }
  EXPECT_EQ(log.lines(), (std::vector<std::string>{
                             "File Open Failed." + dir_.file("missing.cue") + ": No such file or directory",
                             "File Open Failed." + dir_.file("folder.cue") + ": not a regular file",
                             "File Open Failed." + dir_.file("pipe.cue") + ": not a regular file"}));
}

// ---------------------------------------------------------------------------------
// The engine controller's path conversion

TEST_F(CueSheetTest, DroppedCueSheetsBecomeTheirTracksInPlace) {
  sheet("FILE \"album.flac\" WAVE\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n"
        "  TRACK 02 AUDIO\n    INDEX 01 01:00:00\n",
        "Album.CUE");
  sheet("garbage", "empty.cue");
  const auto records = TkDelegate::pathArrayToInfoArray(
      {dir_.file("before.flac"), dir_.file("Album.CUE"), dir_.file("empty.cue"), dir_.file("after.wav")});
  EXPECT_EQ(rows(records), (Rows{"before.flac | - | - | 0.0000 | -", "album.flac | Track 01 | - | 0.0000 | 60.000000",
                                 "album.flac | Track 02 | - | 60.0000 | -", "after.wav | - | - | 0.0000 | -"}));
}

}  // namespace
