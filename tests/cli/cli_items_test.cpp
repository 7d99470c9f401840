// pelmora-cli on the odd entries of a real music folder, on damaged files, and with
// the capture device's rules: every run ends, with the true reason and status.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>

#include "support/cli_env.h"
#include "support/cli_process.h"
#include "support/count_of.h"
#include "support/flac_fixtures.h"
#include "support/run_command.h"

namespace {

namespace fs = std::filesystem;

// Bounded: a hang ends as status 124 instead of stopping the suite.
CommandResult runBounded(const std::string& command) { return runCommand("timeout 60 " + command + " 2>&1"); }

class CliItems : public ::testing::Test {
 protected:
  void SetUp() override {
    DeviceJson d;
    d.name = "Test DAC";
    d.formats = {formatJson(0, 32, 4, 2, false, false, 44100, 192000)};
    d.capture = env_.dir.file("dac.raw");
    env_.setDevices({d});
    fs::create_directories(env_.dir.file("music"));
    FlacSetup setup{44100, 24, 2, 0.5, {"TITLE=Real"}};
    track_ = makeFlac(env_.dir.file("music"), "a", setup);
    ASSERT_FALSE(track_.empty());
    reference_ = referenceDecode(track_, env_.dir.file("ref.raw"), 24);
    fs::remove(env_.dir.file("music/a.wav"));
  }
  // The capture holds the pre-roll silence and then exactly the track, once.
  void expectTrackCapturedOnce(const std::string& capture) {
    std::string bytes = readBytes(capture);
    const size_t preroll = 4410 * 2;
    ASSERT_EQ(bytes.size() / 4, preroll + reference_.size());
    std::vector<int32_t> captured(bytes.size() / 4);
    std::memcpy(captured.data(), bytes.data(), captured.size() * 4);
    for (size_t i = 0; i < reference_.size(); i += 7) {
      ASSERT_EQ(captured[preroll + i], static_cast<int32_t>(static_cast<double>(reference_[i]) * 2147483648.0)) << i;
    }
  }
  CliEnv env_;
  std::string track_;
  std::vector<float> reference_;
};

TEST_F(CliItems, AFifoAndALinkToADeviceAreSkippedWithTheirReason) {
  ASSERT_EQ(::mkfifo(env_.dir.file("music/x.flac").c_str(), 0600), 0);
  fs::create_symlink("/dev/zero", env_.dir.file("music/z.flac"));
  auto r = runBounded(env_.cli() + "play " + env_.dir.file("music"));
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find("music/x.flac: is a FIFO, not a file; skipped"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("music/z.flac: is a device, not a file; skipped"), std::string::npos) << r.out;
  expectTrackCapturedOnce(env_.dir.file("dac.raw"));

  auto info = runBounded(env_.cli() + "info " + env_.dir.file("music/x.flac") + " " + env_.dir.file("music/z.flac"));
  EXPECT_EQ(info.status, 1) << info.out;
  EXPECT_NE(info.out.find("is a FIFO, not a file"), std::string::npos) << info.out;
  EXPECT_NE(info.out.find("is a device, not a file"), std::string::npos) << info.out;
}

TEST_F(CliItems, ALinkLoopQueuesEachFileOnce) {
  fs::create_symlink(".", env_.dir.file("music/loop"));
  fs::create_symlink(env_.dir.file("music"), env_.dir.file("music/again"));
  auto r = runBounded(env_.cli() + "play " + env_.dir.file("music") + " " + track_);
  EXPECT_EQ(r.status, 0) << r.out;
  expectTrackCapturedOnce(env_.dir.file("dac.raw"));
}

TEST_F(CliItems, GarbageAfterAFlacHeaderIsGivenUpWithOneCountedLogLine) {
  std::string bytes = readBytes(track_);
  // Keep the metadata (up to the first frame's sync code), then random bytes.
  size_t first_frame = bytes.find("\xFF\xF8", 4);
  ASSERT_NE(first_frame, std::string::npos);
  std::string damaged = bytes.substr(0, first_frame);
  std::mt19937 random(16);
  damaged.reserve(damaged.size() + (12u << 20));
  for (size_t i = 0; i < (12u << 20); ++i) damaged.push_back(static_cast<char>(random()));
  std::string path = env_.dir.file("noise.flac");
  std::ofstream(path, std::ios::binary) << damaged;
  auto r = runBounded(env_.cli() + "decode " + path + " -o " + env_.dir.file("out.raw"));
  EXPECT_EQ(r.status, 3) << r.out.substr(0, 2000);
  EXPECT_NE(r.out.find("decoding failed"), std::string::npos) << r.out.substr(0, 2000);
  // Every kind of stream error is said once, then counted.
  for (const char* line : {"lose synchronization.", "corrupted frame header.", "CRC in the footer."}) {
    EXPECT_LE(countOf(r.out, line), 2u) << line << "\n" << r.out.substr(0, 2000);
  }
  EXPECT_NE(r.out.find(" more)"), std::string::npos) << r.out.substr(0, 2000);
}

TEST_F(CliItems, RandomBytesNamedFlacAreNotAFlacFile) {
  std::string path = env_.dir.file("random.flac");
  std::mt19937 random(7);
  std::string bytes;
  for (int i = 0; i < 200000; ++i) bytes.push_back(static_cast<char>(random()));
  std::ofstream(path, std::ios::binary) << bytes;
  auto r = runBounded(env_.cli() + "info " + path);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out.find("lose synchronization"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("not a FLAC stream"), std::string::npos) << r.out;
}

TEST_F(CliItems, AnUnwritableCaptureIsAnErrorAndNoSuccessIsClaimed) {
  std::ofstream(env_.dir.file("blocker")) << "a file where the capture folder should be";
  DeviceJson d;
  d.name = "Test DAC";
  d.formats = {formatJson(0, 32, 4, 2, false, false, 44100, 192000)};
  d.capture = env_.dir.file("blocker/dac.raw");
  env_.setDevices({d});
  auto r = runBounded(env_.cli() + "play " + track_);
  EXPECT_EQ(r.status, 1) << r.out;
  EXPECT_NE(r.out.find("cannot write its capture file " + env_.dir.file("blocker/dac.raw")), std::string::npos)
      << r.out;
  EXPECT_EQ(r.out.find("captured to"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("Real | FLAC"), std::string::npos) << r.out;
}

TEST_F(CliItems, TheCaptureDeviceIsExclusiveAndOnlyANewPlaybackEmptiesIt) {
  // A first run, then a listing and a run that fails: the capture stays as it was.
  ASSERT_EQ(runBounded(env_.cli() + "play " + track_).status, 0);
  std::string first = readBytes(env_.dir.file("dac.raw"));
  ASSERT_FALSE(first.empty());
  EXPECT_EQ(runBounded(env_.cli() + "devices").status, 0);
  EXPECT_NE(runBounded(env_.cli() + "play " + env_.dir.file("nothing.flac")).status, 0);
  EXPECT_EQ(readBytes(env_.dir.file("dac.raw")), first);

  // While one run plays on a device paced like hardware, a second is told who has it.
  env_.setDevices({realtimeDac(env_.dir.file("dac.raw"))});
  FlacSetup longer{44100, 16, 2, 3.0, {"TITLE=Long"}};
  std::string long_track = makeFlac(env_.dir.path(), "long", longer);
  CliProcess holder(env_.cli() + "play " + long_track);
  ASSERT_TRUE(holder.waitFor("Long | FLAC")) << holder.output();
  auto second = runBounded(env_.cli() + "play " + track_ + " " + long_track);
  EXPECT_EQ(second.status, 1) << second.out;
  EXPECT_NE(second.out.find("the device \"Test DAC\" could not be opened"), std::string::npos) << second.out;
  EXPECT_NE(second.out.find("is in use by PID " + std::to_string(holder.pid()) + " (pelmora-cli)"),
            std::string::npos)
      << second.out;
  auto listing = runBounded(env_.cli() + "devices");
  EXPECT_NE(listing.out.find("in use by PID " + std::to_string(holder.pid())), std::string::npos) << listing.out;
  EXPECT_EQ(holder.waitExit(), 0) << holder.output();
  // The holder's capture is whole: 3 s of sound at 44.1 kHz and more, never cut.
  EXPECT_GE(readBytes(env_.dir.file("dac.raw")).size(), 3u * 44100 * 8) << holder.output();
}

TEST_F(CliItems, TheCaptureKeepsOnlyTheLastMinutes) {
  FlacSetup setup{44100, 24, 2, 1.2, {}};
  std::string longer = makeFlac(env_.dir.path(), "longer", setup);
  auto reference = referenceDecode(longer, env_.dir.file("longer.raw"), 24);
  // 0.005 minutes: 0.3 s per file; 1.3 s of pre-roll and track fill four.
  auto r = runBounded(env_.cli("PELMORA_CAPTURE_MINUTES=0.005") + "play " + longer);
  ASSERT_EQ(r.status, 0) << r.out;
  std::string older = readBytes(env_.dir.file("dac.raw.1"));
  std::string newer = readBytes(env_.dir.file("dac.raw"));
  const size_t per_file = static_cast<size_t>(0.3 * 44100) * 8;
  const size_t cycle = 16384 * 8;
  EXPECT_GE(older.size(), per_file);
  EXPECT_LE(older.size(), per_file + cycle);
  EXPECT_LE(newer.size(), per_file + cycle);
  // Together they are the end of what was played, in order.
  std::string both = older + newer;
  std::vector<int32_t> tail(both.size() / 4);
  std::memcpy(tail.data(), both.data(), tail.size() * 4);
  ASSERT_LT(tail.size(), reference.size());
  size_t offset = reference.size() - tail.size();
  for (size_t i = 0; i < tail.size(); i += 5) {
    ASSERT_EQ(tail[i], static_cast<int32_t>(static_cast<double>(reference[offset + i]) * 2147483648.0)) << i;
  }
}

TEST_F(CliItems, UsageErrorsExitWithStatusTwo) {
  auto bad_start = runBounded(env_.cli() + "decode --start -1 " + track_ + " -o " + env_.dir.file("o.raw"));
  EXPECT_EQ(bad_start.status, 2) << bad_start.out;
  EXPECT_NE(bad_start.out.find("a time cannot be negative: -1"), std::string::npos) << bad_start.out;
  auto far = runBounded(env_.cli() + "decode --length 1e9 " + track_ + " -o " + env_.dir.file("o.raw"));
  EXPECT_EQ(far.status, 2) << far.out;
  auto past = runBounded(env_.cli() + "decode --start 5 " + track_ + " -o " + env_.dir.file("o.raw"));
  EXPECT_EQ(past.status, 2) << past.out;
  EXPECT_NE(past.out.find("--start 5 is past the end of " + track_ + " (0.500 s)"), std::string::npos) << past.out;
  EXPECT_EQ(runBounded(env_.cli() + "play --repeat sometimes " + track_).status, 2);
  EXPECT_EQ(runBounded(env_.cli() + "play --no-such-option " + track_).status, 2);
  EXPECT_EQ(runBounded(env_.cli() + "play --device Nowhere " + track_).status, 2);
  auto help = runBounded(env_.cli() + "play --help");
  EXPECT_EQ(help.status, 0);
  for (const char* text : {"space or p  pause / resume", "SIGHUP", "129  SIGHUP, 130 SIGINT, 143 SIGTERM",
                           "(default: off)", "(default: dop)"}) {
    EXPECT_NE(help.out.find(text), std::string::npos) << text << "\n" << help.out;
  }
}

TEST_F(CliItems, TheDeviceIsFoundByNameInAnyCaseByUidAndByNumber) {
  for (std::string which : {"'test dac'", "'uid:Test DAC'", "1"}) {
    auto r = runBounded(env_.cli() + "play --device " + which + " " + track_);
    EXPECT_EQ(r.status, 0) << which << "\n" << r.out;
  }
  expectTrackCapturedOnce(env_.dir.file("dac.raw"));
}

}  // namespace
