// pelmora-cli play --ram: every track decoded whole into memory before it plays,
// its progress shown, a track too large for the limit skipped with its size, and a
// decode cancelled from the keyboard or by Ctrl-C.
#include <gtest/gtest.h>

#include <signal.h>

#include <algorithm>

#include "support/capture_compare.h"
#include "support/cli_env.h"
#include "support/cli_process.h"
#include "support/count_of.h"
#include "support/flac_fixtures.h"
#include "support/run_command.h"

namespace {

class CliRamTest : public ::testing::Test {
 protected:
  CliRamTest() { env_.setDevices({capturingDac(env_.dir.file("dac.raw"))}); }

  std::string flac(const std::string& name, const FlacSetup& setup) {
    std::string path = makeFlac(env_.dir.path(), name, setup);
    EXPECT_FALSE(path.empty());
    return path;
  }
  std::string play(const std::string& args) const {
    return env_.cli() + "play --device 'Test DAC' " + args + " 2>&1";
  }
  std::string capture() const { return readBytes(env_.dir.file("dac.raw")); }

  CliEnv env_;
};

// Each track starts the output afresh after its own lead-in, and plays exactly.
TEST_F(CliRamTest, EveryTrackPlaysWholeFromMemoryAndEachDecodeIsReportedOnce) {
  const std::string a = flac("a", {44100, 16, 2, 0.4, {"TITLE=Largo"}});
  const std::string b = flac("b", {96000, 24, 2, 0.3, {"TITLE=Presto"}});
  const auto ra = referenceDecode(a, env_.dir.file("a.raw"), 16);
  const auto rb = referenceDecode(b, env_.dir.file("b.raw"), 24);
  auto r = runCommand(play("--ram --ram-limit 64 " + a + " " + b));
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find("at most 64 MiB per track"), std::string::npos) << r.out;
  EXPECT_EQ(countOf(r.out, "decoded \"Largo\": 0.4 s in "), 1u) << r.out;
  EXPECT_EQ(countOf(r.out, "decoded \"Presto\": 0.3 s in "), 1u) << r.out;
  EXPECT_LT(r.out.find("decoded \"Largo\""), r.out.find("Largo | FLAC")) << r.out;
  std::vector<float> expected(4410 * 2, 0.0f);
  expected.insert(expected.end(), ra.begin(), ra.end());
  expected.insert(expected.end(), 9600 * 2, 0.0f);
  expected.insert(expected.end(), rb.begin(), rb.end());
  EXPECT_TRUE(captureHolds(capture(), 0, expected));
}

TEST_F(CliRamTest, ATrackOverTheLimitIsSkippedWithTheSizeItNeedsAndTheNextPlays) {
  const std::string big = flac("big", {192000, 24, 2, 2.0, {"TITLE=Big"}});
  const std::string small = flac("small", {44100, 16, 2, 0.4, {"TITLE=Small"}});
  const auto reference = referenceDecode(small, env_.dir.file("small.raw"), 16);
  auto r = runCommand(play("--ram --ram-limit 1 " + big + " " + small));
  ASSERT_EQ(r.status, 0) << r.out;
  // (0.1 s of lead-in + 2 s) x 192000 x 2 values x 4 bytes.
  EXPECT_NE(r.out.find("Decoding \"Big\" into memory stopped: it needs 3.1 MiB, more than the limit of 1.0 MiB"),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find(big + ": skipped: not enough memory to hold it whole"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("decoding \"Big\" stopped at "), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("Big | FLAC"), std::string::npos) << r.out;
  EXPECT_TRUE(captureHolds(capture(), 4410 * 2, reference));

  auto alone = runCommand(play("--ram --ram-limit 1 " + big));
  EXPECT_EQ(alone.status, 1) << alone.out;
  EXPECT_NE(alone.out.find("nothing could be played"), std::string::npos) << alone.out;
}

TEST_F(CliRamTest, ALimitWithoutRamPlayOrOutOfRangeIsAUsageError) {
  const std::string a = flac("a", {44100, 16, 2, 0.1, {}});
  EXPECT_EQ(runCommand(play("--ram-limit 100 " + a)).status, 2);
  EXPECT_EQ(runCommand(play("--ram --ram-limit 0 " + a)).status, 2);
  EXPECT_EQ(runCommand(play("--ram --ram-limit lots " + a)).status, 2);
}

// On a terminal the bar shows while the track decodes; the process is held still
// as soon as it appears, so that the key or signal surely arrives mid-decode.
struct CancelCase {
  const char* name;
  int signal;  // 0: the q key
  int status;
};

class CliRamCancel : public CliRamTest, public ::testing::WithParamInterface<CancelCase> {};

TEST_P(CliRamCancel, CancellingTheDecodePlaysNothingAndGivesTheDeviceBack) {
  env_.setDevices({realtimeDac(env_.dir.file("dac.raw"))});
  const std::string track = flac("long", {192000, 24, 2, 30.0, {"TITLE=Long"}});
  CliProcess p(env_.cli() + "play --device 'Test DAC' --ram " + track);
  ASSERT_TRUE(p.started());
  ASSERT_TRUE(p.waitFor("decoding \"Long\"  [")) << p.output();
  p.signal(SIGSTOP);
  if (GetParam().signal == 0) {
    p.type("q");
  } else {
    p.signal(GetParam().signal);
  }
  p.signal(SIGCONT);
  EXPECT_EQ(p.waitExit(), GetParam().status) << p.output();
  EXPECT_NE(p.output().find("decoding \"Long\" cancelled at "), std::string::npos) << p.output();
  EXPECT_NE(p.output().find("% "), std::string::npos) << p.output();
  EXPECT_NE(p.output().find(" of 30.0 s"), std::string::npos) << p.output();
  EXPECT_EQ(p.output().find("Long | FLAC"), std::string::npos) << p.output();
  // Nothing of the track reached the device, and it is not held.
  const std::string bytes = capture();
  EXPECT_EQ(bytes.find_first_not_of('\0'), std::string::npos);
  const std::string log = readBytes(env_.dir.file("dac.raw.log"));
  const size_t hog = log.rfind("\"event\":\"hog\"");
  if (hog != std::string::npos) {
    EXPECT_NE(log.find("\"holder\":-1", hog), std::string::npos) << log;
  }
}

TEST_F(CliRamTest, NDuringADecodeSkipsToTheNextTrack) {
  env_.setDevices({realtimeDac(env_.dir.file("dac.raw"))});
  const std::string first = flac("long", {192000, 24, 2, 30.0, {"TITLE=Long"}});
  const std::string second = flac("short", {44100, 16, 2, 1.0, {"TITLE=Short"}});
  const auto reference = referenceDecode(second, env_.dir.file("short.raw"), 16);
  CliProcess p(env_.cli() + "play --device 'Test DAC' --ram " + first + " " + second);
  ASSERT_TRUE(p.waitFor("decoding \"Long\"  [")) << p.output();
  p.signal(SIGSTOP);
  p.type("n");
  p.signal(SIGCONT);
  EXPECT_EQ(p.waitExit(), 0) << p.output();
  EXPECT_NE(p.output().find("decoding \"Long\" skipped at "), std::string::npos) << p.output();
  EXPECT_NE(p.output().find("decoded \"Short\": 1.0 s in "), std::string::npos) << p.output();
  EXPECT_EQ(p.output().find("Long | FLAC"), std::string::npos) << p.output();
  // The device's lead-in is its own length of silence; a device paced like hardware
  // runs on in silence until the stop reaches it.
  const std::string bytes = capture();
  const size_t sound = bytes.find_first_not_of('\0') / 4;
  const auto heard = std::find_if(reference.begin(), reference.end(), [](float v) { return v != 0.0f; });
  ASSERT_NE(sound * 4, std::string::npos);
  const size_t lead_in = sound - static_cast<size_t>(heard - reference.begin());
  EXPECT_GE(lead_in, 4410u * 2);
  const size_t played = (lead_in + reference.size()) * 4;
  ASSERT_GE(bytes.size(), played);
  EXPECT_TRUE(captureHolds(bytes.substr(0, played), lead_in, reference));
  EXPECT_EQ(bytes.find_first_not_of('\0', played), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(KeyOrSignal, CliRamCancel,
                         ::testing::Values(CancelCase{"QKey", 0, 0}, CancelCase{"CtrlC", SIGINT, 130}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
