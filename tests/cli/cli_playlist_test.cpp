// pelmora-cli list and play with playlist files and the last playlist.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "support/capture_compare.h"
#include "support/cli_env.h"
#include "support/flac_fixtures.h"
#include "support/run_command.h"

namespace {

class CliPlaylist : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directories(env_.dir.file("album"));
    for (const char* name : {"b10", "b2", "b1"}) {
      FlacSetup setup{44100, 16, 2, 0.2, {std::string("TITLE=Song ") + name}};
      ASSERT_FALSE(makeFlac(env_.dir.file("album"), name, setup).empty());
      std::filesystem::remove(env_.dir.file("album/") + name + ".wav");  // the encoder's source
    }
  }
  CliEnv env_;
};

TEST_F(CliPlaylist, ListShowsTheRecordsAndSavesThemAsAPlaylistThatReadsBackTheSame) {
  auto r = runCommand(env_.cli() + "list --json " + env_.dir.file("album") + " --save " + env_.dir.file("list.xml") +
                      " 2>/dev/null");
  ASSERT_EQ(r.status, 0) << r.out;
  // Natural order, IDs from 1, the file's own format.
  EXPECT_EQ(r.out,
            "{\"id\":1,\"path\":\"" + env_.dir.file("album/b1.flac") +
                "\",\"title\":\"Song b1\",\"artist\":\"\",\"offset\":0,\"duration\":0.2,\"rate\":44100,\"bits\":16,"
                "\"format\":\"pcm\",\"decoder\":\"Mirrane\"}\n"
                "{\"id\":2,\"path\":\"" +
                env_.dir.file("album/b2.flac") +
                "\",\"title\":\"Song b2\",\"artist\":\"\",\"offset\":0,\"duration\":0.2,\"rate\":44100,\"bits\":16,"
                "\"format\":\"pcm\",\"decoder\":\"Mirrane\"}\n"
                "{\"id\":3,\"path\":\"" +
                env_.dir.file("album/b10.flac") +
                "\",\"title\":\"Song b10\",\"artist\":\"\",\"offset\":0,\"duration\":0.2,\"rate\":44100,\"bits\":16,"
                "\"format\":\"pcm\",\"decoder\":\"Mirrane\"}\n");
  auto back = runCommand(env_.cli() + "list --json " + env_.dir.file("list.xml") + " 2>/dev/null");
  ASSERT_EQ(back.status, 0) << back.out;
  EXPECT_EQ(back.out, r.out);
}

TEST_F(CliPlaylist, ARefusedFileIsNamedWithItsReasonAndTheRestIsListed) {
  std::ofstream(env_.dir.file("album/broken.flac")) << "not flac at all";
  auto r = runCommand(env_.cli() + "list " + env_.dir.file("album") + " 2>/dev/null");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("broken.flac\n      refused: "), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("   3  Song b10\n"), std::string::npos) << r.out;
}

TEST_F(CliPlaylist, PlayWithoutItemsPlaysTheLastPlaylistAgain) {
  auto none = runCommand(env_.cli() + "play 2>&1");
  EXPECT_EQ(none.status, 1);
  EXPECT_NE(none.out.find("there is no last playlist to play"), std::string::npos) << none.out;

  env_.setDevices({capturingDac(env_.dir.file("first.raw"))});
  auto first = runCommand(env_.cli() + "play --device 'Test DAC' " + env_.dir.file("album/b2.flac") + " " +
                          env_.dir.file("album/b1.flac") + " 2>&1");
  ASSERT_EQ(first.status, 0) << first.out;
  // The command line's order, not the file names': b2's samples, then b1's.
  std::vector<float> expected = referenceDecode(env_.dir.file("album/b2.flac"), env_.dir.file("b2.raw"), 16);
  const auto b1 = referenceDecode(env_.dir.file("album/b1.flac"), env_.dir.file("b1.raw"), 16);
  expected.insert(expected.end(), b1.begin(), b1.end());
  const std::string bytes = readBytes(env_.dir.file("first.raw"));
  EXPECT_TRUE(captureHolds(bytes, 4410 * 2, expected));
  env_.setDevices({capturingDac(env_.dir.file("again.raw"))});
  auto again = runCommand(env_.cli() + "play --device 'Test DAC' 2>&1");
  ASSERT_EQ(again.status, 0) << again.out;
  EXPECT_EQ(readBytes(env_.dir.file("again.raw")), bytes);
}

}  // namespace

namespace {

// One FLAC file and its cue sheet: three tracks whose boundaries fall on CD frames
// (588 samples at 44.1 kHz) inside the decoder's blocks.
TEST(CliCueAlbum, TheTracksCoverTheFileOnceEndToEndWithoutAGap) {
  CliEnv env;
  FlacSetup setup{44100, 16, 2, 3.0, {}};
  const std::string flac = makeFlac(env.dir.path(), "album", setup);
  ASSERT_FALSE(flac.empty());
  std::ofstream(env.dir.file("album.cue")) << "PERFORMER \"The Band\"\r\nTITLE \"Album\"\r\n"
                                              "FILE \"album.flac\" WAVE\r\n"
                                              "  TRACK 01 AUDIO\r\n    TITLE \"One\"\r\n    INDEX 01 00:00:00\r\n"
                                              "  TRACK 02 AUDIO\r\n    TITLE \"Two\"\r\n    INDEX 00 00:00:50\r\n"
                                              "    INDEX 01 00:01:00\r\n"
                                              "  TRACK 03 AUDIO\r\n    TITLE \"Three\"\r\n    INDEX 01 00:02:37\r\n";
  // Each track starts at its INDEX 01 and runs to the next one's (the pregap is the
  // end of the track before).
  auto list = runCommand(env.cli() + "list --json " + env.dir.file("album.cue") + " 2>/dev/null");
  ASSERT_EQ(list.status, 0) << list.out;
  EXPECT_NE(list.out.find("\"title\":\"One\",\"artist\":\"The Band\",\"offset\":0,\"duration\":1,"), std::string::npos)
      << list.out;
  EXPECT_NE(list.out.find("\"title\":\"Two\",\"artist\":\"The Band\",\"offset\":1,\"duration\":1.49333"),
            std::string::npos)
      << list.out;
  EXPECT_NE(list.out.find("\"title\":\"Three\",\"artist\":\"The Band\",\"offset\":2.49333"), std::string::npos)
      << list.out;

  env.setDevices({capturingDac(env.dir.file("dac.raw"))});
  auto r = runCommand(env.cli() + "play --device 'Test DAC' " + env.dir.file("album.cue") + " 2>&1");
  ASSERT_EQ(r.status, 0) << r.out;
  const auto reference = referenceDecode(flac, env.dir.file("album.raw"), 16);
  ASSERT_EQ(reference.size(), 132300u * 2);
  EXPECT_TRUE(captureHolds(readBytes(env.dir.file("dac.raw")), 4410 * 2, reference));
}

}  // namespace

namespace {

std::string playCapture(CliEnv& env, const std::string& items, const std::string& capture) {
  env.setDevices({capturingDac(env.dir.file(capture))});
  auto r = runCommand(env.cli() + "play --device 'Test DAC' " + items + " 2>&1");
  EXPECT_EQ(r.status, 0) << r.out;
  return readBytes(env.dir.file(capture));
}

const char kAlbumSheet[] =
    "PERFORMER \"The Band\"\r\nTITLE \"Album\"\r\n"
    "FILE \"album.flac\" WAVE\r\n"
    "  TRACK 01 AUDIO\r\n    TITLE \"One\"\r\n    INDEX 01 00:00:00\r\n"
    "  TRACK 02 AUDIO\r\n    TITLE \"Two\"\r\n    INDEX 00 00:00:50\r\n    INDEX 01 00:01:00\r\n"
    "  TRACK 03 AUDIO\r\n    TITLE \"Three\"\r\n    INDEX 01 00:02:37\r\n";

// A file of 2.009 s: its length is no whole number of hundredths. Saved as an XML
// playlist, or kept as the last playlist, it plays to its last sample.
TEST(CliExactTimes, AWholeFileSavedOrKeptAsTheLastPlaylistPlaysEverySample) {
  CliEnv env;
  const std::string flac = makeFlac(env.dir.path(), "odd", FlacSetup{44100, 16, 2, 2.009, {}});
  ASSERT_FALSE(flac.empty());
  const std::string original = playCapture(env, flac, "original.raw");
  const auto reference = referenceDecode(flac, env.dir.file("odd.raw"), 16);
  ASSERT_TRUE(captureHolds(original, 4410 * 2, reference));
  // `play` without items: the last playlist of the run before.
  EXPECT_EQ(playCapture(env, "", "last.raw"), original);
  auto saved = runCommand(env.cli() + "list " + flac + " --save " + env.dir.file("odd.xml") + " 2>&1");
  ASSERT_EQ(saved.status, 0) << saved.out;
  EXPECT_EQ(playCapture(env, env.dir.file("odd.xml"), "saved.raw"), original);
  // Another program's playlist has the hundredths only: 2.00 s reaches within them
  // of the file's end, so the file plays to its end.
  std::ofstream(env.dir.file("other.xml"))
      << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
         "<key>Playlists</key><array><dict><key>Playlist Items</key><array><dict><key>Track ID</key>"
         "<integer>7</integer></dict></array></dict></array><key>Tracks</key><dict><key>7</key><dict>"
         "<key>Track ID</key><integer>7</integer><key>Location</key><string>file://"
      << flac
      << "</string><key>Optional Offset Time</key><integer>0</integer><key>Optional Duration Time</key>"
         "<integer>200</integer></dict></dict></dict></plist>\n";
  EXPECT_EQ(playCapture(env, env.dir.file("other.xml"), "other.raw"), original);
}

// A cue album saved as an XML playlist, and kept as the last playlist, plays the
// file's samples once each, as the sheet does: no hole, no overlap at the joins.
TEST(CliExactTimes, ASavedCueAlbumPlaysTheSameBytesAsItsSheet) {
  CliEnv env;
  const std::string flac = makeFlac(env.dir.path(), "album", FlacSetup{44100, 16, 2, 3.0, {}});
  ASSERT_FALSE(flac.empty());
  std::ofstream(env.dir.file("album.cue")) << kAlbumSheet;
  const std::string from_sheet = playCapture(env, env.dir.file("album.cue"), "sheet.raw");
  const auto reference = referenceDecode(flac, env.dir.file("album.raw"), 16);
  ASSERT_TRUE(captureHolds(from_sheet, 4410 * 2, reference));
  EXPECT_EQ(playCapture(env, "", "last.raw"), from_sheet);
  auto saved = runCommand(env.cli() + "list " + env.dir.file("album.cue") + " --save " + env.dir.file("album.xml") +
                          " 2>&1");
  ASSERT_EQ(saved.status, 0) << saved.out;
  EXPECT_EQ(playCapture(env, env.dir.file("album.xml"), "saved.raw"), from_sheet);
}

// Each track of a cue album is a place of its own in the play order, though they
// share one file: the second track's status line counts the first one's time.
TEST(CliCueAlbum, EachTrackOfTheSheetHasItsOwnPlaceInThePlaylistTime) {
  CliEnv env;
  ASSERT_FALSE(makeFlac(env.dir.path(), "album", FlacSetup{44100, 16, 2, 4.0, {}}).empty());
  std::ofstream(env.dir.file("album.cue")) << "FILE \"album.flac\" WAVE\n"
                                              "  TRACK 01 AUDIO\n    TITLE \"First\"\n    INDEX 01 00:00:00\n"
                                              "  TRACK 02 AUDIO\n    TITLE \"Second\"\n    INDEX 01 00:02:00\n";
  env.setDevices({realtimeDac(env.dir.file("dac.raw"))});
  auto r = runCommand(env.cli() + "play --device 'Test DAC' " + env.dir.file("album.cue") + " 2>&1");
  ASSERT_EQ(r.status, 0) << r.out;
  std::istringstream lines(r.out);
  std::string line;
  std::string first_of_second;
  while (std::getline(lines, line)) {
    if (line.rfind("Second |", 0) == 0) {
      first_of_second = line;
      break;
    }
  }
  ASSERT_FALSE(first_of_second.empty()) << r.out;
  EXPECT_NE(first_of_second.find("| 0:00 / 0:02 | playlist 0:02 / 0:04"), std::string::npos) << r.out;
}

}  // namespace

namespace {

// Megabytes of nested tags named as a playlist: refused with the reason, no crash.
TEST_F(CliPlaylist, ADeeplyNestedPlaylistIsRefusedWithItsReason) {
  {
    std::ofstream out(env_.dir.file("deep.xml"));
    out << "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>Playlists</key>";
    for (int i = 0; i < 200000; ++i) out << "<array>";
  }
  auto r = runCommand(env_.cli() + "list " + env_.dir.file("deep.xml") + " " + env_.dir.file("album/b1.flac") +
                      " 2>/dev/null");
  EXPECT_EQ(r.status, 1) << r.out;
  EXPECT_NE(r.out.find(env_.dir.file("deep.xml") +
                       "\n      refused: is not a playlist: its arrays and dictionaries are nested more than 64 deep.\n"),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("   1  Song b1\n"), std::string::npos) << r.out;
}

// `list` shows what `play` queues: the items in the command line's order, each
// real file once.
TEST_F(CliPlaylist, ListKeepsTheCommandLinesOrderAsPlayDoes) {
  auto r = runCommand(env_.cli() + "list " + env_.dir.file("album/b10.flac") + " " + env_.dir.file("album") + " " +
                      env_.dir.file("album/b1.flac") + " 2>/dev/null");
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(r.out, "   1  Song b10\n      " + env_.dir.file("album/b10.flac") +
                       "\n      from 0.000 s for 0.200 s, 44100 Hz, 16-bit pcm\n"
                       "   2  Song b1\n      " +
                       env_.dir.file("album/b1.flac") +
                       "\n      from 0.000 s for 0.200 s, 44100 Hz, 16-bit pcm\n"
                       "   3  Song b2\n      " +
                       env_.dir.file("album/b2.flac") + "\n      from 0.000 s for 0.200 s, 44100 Hz, 16-bit pcm\n");
}

// A folder holding an album's FLAC file and its cue sheet lists the sheet's tracks,
// not the whole file besides.
TEST_F(CliPlaylist, AFolderWithAnAlbumAndItsSheetGivesTheSheetsTracksOnly) {
  std::filesystem::create_directories(env_.dir.file("cd"));
  ASSERT_FALSE(makeFlac(env_.dir.file("cd"), "album", FlacSetup{44100, 16, 2, 3.0, {"TITLE=Whole"}}).empty());
  std::filesystem::remove(env_.dir.file("cd/album.wav"));
  std::ofstream(env_.dir.file("cd/album.cue")) << kAlbumSheet;
  auto r = runCommand(env_.cli() + "list " + env_.dir.file("cd") + " 2>/dev/null");
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(r.out.find("Whole"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("   1  One \u2014 The Band\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("   3  Three \u2014 The Band\n"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("   4  "), std::string::npos) << r.out;
}

// --save writes nothing when nothing was read, and does not replace a playlist with
// what is left of it when items were refused.
TEST_F(CliPlaylist, SaveNeitherWritesNothingNorOverwritesWithLess) {
  const std::string out = env_.dir.file("list.xml");
  auto none = runCommand(env_.cli() + "list " + env_.dir.file("missing.flac") + " --save " + out + " 2>&1");
  EXPECT_EQ(none.status, 1) << none.out;
  EXPECT_NE(none.out.find(out + " not written: no record was read"), std::string::npos) << none.out;
  EXPECT_FALSE(std::filesystem::exists(out));

  auto full = runCommand(env_.cli() + "list " + env_.dir.file("album") + " --save " + out + " 2>&1");
  ASSERT_EQ(full.status, 0) << full.out;
  EXPECT_NE(full.out.find("saved 3 tracks to " + out), std::string::npos) << full.out;
  const std::string before = readBytes(out);
  std::filesystem::remove(env_.dir.file("album/b2.flac"));
  auto less = runCommand(env_.cli() + "list " + out + " --save " + out + " 2>&1");
  EXPECT_EQ(less.status, 1) << less.out;
  EXPECT_NE(less.out.find(out + " not overwritten: 1 item or entry was refused"), std::string::npos) << less.out;
  EXPECT_EQ(readBytes(out), before);
  // A new file may take what was read.
  auto fresh = runCommand(env_.cli() + "list " + out + " --save " + env_.dir.file("two.xml") + " 2>&1");
  EXPECT_EQ(fresh.status, 1) << fresh.out;
  EXPECT_NE(fresh.out.find("saved 2 tracks to "), std::string::npos) << fresh.out;
}

}  // namespace
