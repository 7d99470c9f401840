// pelmora-cli play's options, judged by what reaches the device: which tracks played
// in which order (each test track is its own noise, so a block of the capture names
// its track), and from where.
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <filesystem>

#include "build_config.h"
#include "support/cli_env.h"
#include "support/cli_process.h"
#include "support/flac_fixtures.h"
#include "support/wait_for.h"

namespace {

constexpr double kTrackSeconds = 0.3;
constexpr size_t kTrackSamples = 13230 * 2;  // 0.3 s of stereo at 44.1 kHz
constexpr size_t kPreRollSamples = 4410 * 2;

std::vector<int32_t> samples32(const std::string& bytes) {
  std::vector<int32_t> out(bytes.size() / 4);
  std::memcpy(out.data(), bytes.data(), out.size() * 4);
  return out;
}

class CliPlayOptions : public ::testing::Test {
 protected:
  // `count` tracks "t1".."tN" of 0.3 s each, on a free-running 32-bit device.
  void makeTracks(int count) {
    for (int i = 1; i <= count; ++i) {
      const std::string name = "t" + std::to_string(i);
      FlacSetup setup{44100, 16, 2, kTrackSeconds, {"TITLE=" + name}};
      paths_.push_back(makeFlac(env_.dir.path(), name, setup));
      ASSERT_FALSE(paths_.back().empty());
      std::vector<int32_t> reference;
      for (float v : referenceDecode(paths_.back(), env_.dir.file(name + ".raw"), 16)) {
        reference.push_back(static_cast<int32_t>(static_cast<double>(v) * 2147483648.0));
      }
      ASSERT_EQ(reference.size(), kTrackSamples);
      references_.push_back(std::move(reference));
    }
    DeviceJson d;
    d.name = "Test DAC";
    d.formats = {formatJson(0, 32, 4, 2, false, false, 44100, 192000)};
    d.capture = env_.dir.file("dac.raw");
    env_.setDevices({d});
  }
  std::string play(const std::string& options) const {
    std::string command = env_.cli() + "play " + options;
    for (const auto& p : paths_) command += " " + p;
    return command;
  }
  std::vector<int32_t> captured() const { return samples32(readBytes(env_.dir.file("dac.raw"))); }
  // The tracks (1-based) the capture holds in order, block after block after the
  // pre-roll; a block that is no track (a partial last one) ends the list.
  std::vector<int> playedOrder() const {
    auto samples = captured();
    std::vector<int> order;
    if (samples.size() < kPreRollSamples) return order;
    for (size_t at = kPreRollSamples; at + kTrackSamples <= samples.size(); at += kTrackSamples) {
      auto block = samples.begin() + static_cast<std::ptrdiff_t>(at);
      auto found = std::find_if(references_.begin(), references_.end(),
                                [&](const auto& r) { return std::equal(r.begin(), r.end(), block); });
      if (found == references_.end()) break;
      order.push_back(static_cast<int>(found - references_.begin()) + 1);
    }
    return order;
  }
  // Runs a playback that repeats without end until the device has received `blocks`
  // tracks, then ends it as Ctrl-C would.
  void playUntilBlocks(const std::string& options, size_t blocks) {
    CliProcess cli(play(options));
    ASSERT_TRUE(cli.started());
    const std::string capture = env_.dir.file("dac.raw");
    const uintmax_t wanted = (kPreRollSamples + blocks * kTrackSamples) * 4;
    EXPECT_TRUE(waitFor(
        [&] {
          std::error_code ec;
          const uintmax_t size = std::filesystem::file_size(capture, ec);
          return !ec && size >= wanted;
        },
        60));
    cli.signal(SIGINT);
    EXPECT_EQ(cli.waitExit(), 130) << cli.output();
  }

  CliEnv env_;
  std::vector<std::string> paths_;
  std::vector<std::vector<int32_t>> references_;
};

TEST_F(CliPlayOptions, VersionNamesTheProgramAndItsVersion) {
  auto r = runCommand(env_.cli() + "--version 2>&1");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, std::string("pelmora-cli ") + PELMORA_VERSION + "\n");
}

TEST_F(CliPlayOptions, RepeatOffPlaysEachTrackOnceInTableOrder) {
  makeTracks(3);
  auto r = runCommand(play("--device 'Test DAC'") + " 2>&1");
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(playedOrder(), (std::vector<int>{1, 2, 3}));
  EXPECT_EQ(captured().size(), kPreRollSamples + 3 * kTrackSamples);  // nothing after the last
}

TEST_F(CliPlayOptions, RepeatOnePlaysTheFirstTrackAgainAndAgain) {
  makeTracks(2);
  playUntilBlocks("--repeat one", 4);
  auto order = playedOrder();
  ASSERT_GE(order.size(), 4u);
  order.resize(4);
  EXPECT_EQ(order, (std::vector<int>{1, 1, 1, 1}));
}

TEST_F(CliPlayOptions, RepeatAllGoesBackToTheFirstTrackAfterTheLast) {
  makeTracks(2);
  playUntilBlocks("--repeat all", 5);
  auto order = playedOrder();
  ASSERT_GE(order.size(), 5u);
  order.resize(5);
  EXPECT_EQ(order, (std::vector<int>{1, 2, 1, 2, 1}));
}

TEST_F(CliPlayOptions, ShufflePlaysEveryTrackOnceInAnotherOrder) {
  makeTracks(7);
  const std::vector<int> table{1, 2, 3, 4, 5, 6, 7};
  std::vector<int> order;
  // A fair shuffle gives the table order once in 5040 runs: twice in a row means
  // it does not shuffle.
  for (int attempt = 0; attempt < 2 && (order.empty() || order == table); ++attempt) {
    auto r = runCommand(play("--shuffle") + " 2>&1");
    ASSERT_EQ(r.status, 0) << r.out;
    order = playedOrder();
  }
  ASSERT_EQ(order.size(), 7u);
  EXPECT_NE(order, table);
  std::sort(order.begin(), order.end());
  EXPECT_EQ(order, table);
}

TEST_F(CliPlayOptions, StartBeginsTheFirstTrackAtThatSecondWithNothingBeforeIt) {
  FlacSetup setup{44100, 16, 2, 1.5, {}};
  paths_.push_back(makeFlac(env_.dir.path(), "long", setup));
  makeTracks(1);
  auto reference = referenceDecode(paths_[0], env_.dir.file("long.raw"), 16);
  auto r = runCommand(play("--start 1") + " 2>&1");
  ASSERT_EQ(r.status, 0) << r.out;
  auto samples = captured();
  const size_t skipped = 44100 * 2;
  ASSERT_GE(samples.size(), reference.size() - skipped + kTrackSamples);
  // The whole lead-in while the device locks, then the first track from 1 s, then
  // the next.
  const size_t lead = samples.size() - (reference.size() - skipped) - kTrackSamples;
  EXPECT_EQ(lead, kPreRollSamples);
  EXPECT_TRUE(std::all_of(samples.begin(), samples.begin() + static_cast<std::ptrdiff_t>(lead),
                          [](int32_t v) { return v == 0; }));
  for (size_t i = skipped; i < reference.size(); ++i) {
    ASSERT_EQ(samples[lead + i - skipped], static_cast<int32_t>(static_cast<double>(reference[i]) * 2147483648.0))
        << "sample " << i;
  }
  EXPECT_TRUE(std::equal(references_[0].begin(), references_[0].end(), samples.end() - kTrackSamples));
}

TEST_F(CliPlayOptions, AStartPastTheEndOfTheTrackIsSaidAndTheTrackPlaysWhole) {
  makeTracks(1);
  auto r = runCommand(play("--start 5") + " 2>&1");
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find("The start at 5 s is past the end of t1.flac (0.3 s long); it plays from its beginning."),
            std::string::npos)
      << r.out;
  EXPECT_EQ(playedOrder(), (std::vector<int>{1}));
}

TEST_F(CliPlayOptions, AStartBetweenWholeSecondsIsAUsageError) {
  makeTracks(1);
  auto r = runCommand(play("--start 0.5") + " 2>&1");
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.out.find("play starts at whole seconds: 0.5"), std::string::npos) << r.out;
}

// The queues carry 24 bits of each sample: a 32-bit file loses its lowest 8 even on
// a 32-bit device, and the user is told so.
TEST_F(CliPlayOptions, AThirtyTwoBitFileIsSaidNotToBeBitPerfectOnAThirtyTwoBitDevice) {
  makeTracks(1);
  FlacSetup deep{44100, 32, 2, 0.3, {}};
  const std::string file = makeFlac(env_.dir.path(), "deep", deep);
  ASSERT_FALSE(file.empty());
  env_.setDevices({realtimeDac(env_.dir.file("paced.raw"))});  // each track is shown while it plays
  auto r = runCommand(env_.cli() + "play " + paths_[0] + " " + file + " 2>&1");
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find("FLAC 44.1 kHz 16-bit -> PCM 44.1 kHz 32-bit |"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("FLAC 44.1 kHz 32-bit -> PCM 44.1 kHz 32-bit (not bit-perfect)"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("This playback is not bit-perfect: deep.flac has 32-bit samples and the player carries 24 "
                       "bits of each; the lowest bits are dropped."),
            std::string::npos)
      << r.out;
  EXPECT_EQ(r.out.find("t1.flac has"), std::string::npos) << r.out;
}

}  // namespace
