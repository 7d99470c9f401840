// pelmora-cli with audio CDs as the desktop mounts them: folders of "Track N.wav"
// files in the places $SONARA_CD_VOLUMES names.
#include <gtest/gtest.h>

#include <filesystem>

#include "support/capture_compare.h"
#include "support/cli_env.h"
#include "support/cli_process.h"
#include "support/pcm_file_writer.h"
#include "support/run_command.h"

namespace {

namespace fs = std::filesystem;

class CliCdTest : public ::testing::Test {
 protected:
  // A disc of `tracks` 16-bit tracks of distinct content; the floats they must play as.
  std::vector<float> makeDisc(const std::string& label, int tracks, double seconds) {
    const std::string staging = env_.dir.file("staging");
    fs::create_directories(staging);
    std::vector<float> expected;
    for (int t = 1; t <= tracks; ++t) {
      PcmFileSetup setup;
      const auto values = static_cast<size_t>(seconds * 44100) * 2;
      for (size_t i = 0; i < values; ++i) {
        const int32_t v = static_cast<int32_t>((i * 131 + static_cast<size_t>(t) * 7919) % 60000) - 30000;
        setup.samples.push_back(v);
        expected.push_back(static_cast<float>(v) / 32768.0f);
      }
      writePcmFile(staging + "/Track " + std::to_string(t) + ".wav", setup);
    }
    fs::create_directories(places());
    fs::rename(staging, places() + "/" + label);
    return expected;
  }
  std::string places() const { return env_.dir.file("places"); }
  std::string cli() const { return env_.cli("SONARA_CD_VOLUMES=" + places()); }

  CliEnv env_{{capturingDac("/dev/null")}};
};

TEST_F(CliCdTest, TheDiscsAreListedWithTheirTracks) {
  fs::create_directories(places());
  auto none = runCommand(cli() + "cds 2>&1");
  EXPECT_EQ(none.status, 0);
  EXPECT_NE(none.out.find("no audio CD is mounted (looked in " + places() + ")"), std::string::npos) << none.out;

  makeDisc("Quartets", 2, 0.1);
  auto text = runCommand(cli() + "cds 2>&1");
  EXPECT_EQ(text.status, 0);
  EXPECT_NE(text.out.find("1  Quartets"), std::string::npos) << text.out;
  EXPECT_NE(text.out.find(" 2 tracks  " + places() + "/Quartets"), std::string::npos) << text.out;
  auto json = runCommand(cli() + "cds --json");
  const std::string disc = places() + "/Quartets";
  EXPECT_EQ(json.out, "{\"index\":1,\"label\":\"Quartets\",\"folder\":\"" + disc + "\",\"tracks\":[\"" + disc +
                          "/Track 1.wav\",\"" + disc + "/Track 2.wav\"]}\n");
}

TEST_F(CliCdTest, ADiscPlaysWholeAndExactlyAndAMissingLabelIsNamed) {
  const auto expected = makeDisc("Sonatas", 3, 0.4);
  env_.setDevices({capturingDac(env_.dir.file("dac.raw"))});
  auto wrong = runCommand(cli() + "play --device 'Test DAC' --cd Symphonies 2>&1");
  EXPECT_EQ(wrong.status, 1);
  EXPECT_NE(wrong.out.find("no disc is labelled \"Symphonies\"; the discs are: Sonatas"), std::string::npos)
      << wrong.out;
  auto both = runCommand(cli() + "play --cd Sonatas " + env_.dir.file("x.flac") + " 2>&1");
  EXPECT_EQ(both.status, 2) << both.out;

  auto r = runCommand(cli() + "play --device 'Test DAC' --cd sonat 2>&1");
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find("Track 3"), std::string::npos) << r.out;
  EXPECT_TRUE(captureHolds(readBytes(env_.dir.file("dac.raw")), 4410 * 2, expected));
}

TEST_F(CliCdTest, EjectingTheDiscStopsPlaybackWithAFailingStatus) {
  makeDisc("Live", 2, 5.0);
  env_.setDevices({realtimeDac(env_.dir.file("dac.raw"))});
  CliProcess player(cli() + "play --device 'Test DAC' --cd");
  ASSERT_TRUE(player.started());
  ASSERT_TRUE(player.waitFor("Track 1", 30)) << player.output();
  fs::rename(places() + "/Live", env_.dir.file("ejected"));
  EXPECT_EQ(player.waitExit(15), 1) << player.output();
  EXPECT_NE(player.output().find("the disc went away: playback stopped"), std::string::npos) << player.output();
  EXPECT_EQ(player.output().find("Track 2 |"), std::string::npos) << player.output();  // never played
}

}  // namespace
