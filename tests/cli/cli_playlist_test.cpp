// pelmora-cli list and play with playlist files and the last playlist.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>

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
