// pelmora-cli play at a terminal: keys, signals and the status line, driven through
// a pseudo-terminal on virtual devices paced like hardware.
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <vector>

#include "support/cli_env.h"
#include "support/cli_process.h"
#include "support/flac_fixtures.h"

namespace {

class CliTerminal : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directories(env_.dir.file("album"));
    for (const char* title : {"One", "Two"}) {
      FlacSetup setup{44100, 16, 2, 2.0, {std::string("TITLE=") + title}};
      ASSERT_FALSE(makeFlac(env_.dir.file("album"), title, setup).empty());
      std::filesystem::remove(env_.dir.file("album/") + title + ".wav");
    }
    env_.setDevices({realtimeDac(env_.dir.file("dac.raw"))});
  }
  std::string play(const std::string& args = "") const {
    return env_.cli() + "play " + args + " " + env_.dir.file("album");
  }
  // The last value of "holder" in the capture log: -1 once the device is given back.
  std::string lastHogEvent() const {
    std::string log = readBytes(env_.dir.file("dac.raw.log"));
    auto at = log.rfind("\"event\":\"hog\"");
    if (at == std::string::npos) return {};
    return log.substr(at, log.find('\n', at) - at);
  }
  CliEnv env_;
};

TEST_F(CliTerminal, BackOnTheFirstTrackRestartsItAndBackOnTheSecondGoesToTheFirst) {
  CliProcess p(play());
  ASSERT_TRUE(p.started());
  ASSERT_TRUE(p.waitFor("One | FLAC")) << p.output();
  p.type("b");  // first track: restarts it, the run goes on
  ASSERT_TRUE(p.waitFor("Two | FLAC")) << p.output();
  size_t second = p.output().find("Two | FLAC");
  p.type("b");  // second track, under 3 s in: back to the first
  ASSERT_TRUE(p.waitFor("One | FLAC", 30, second)) << p.output();
  size_t again = p.output().find("One | FLAC", second);
  ASSERT_TRUE(p.waitFor("Two | FLAC", 30, again)) << p.output();
  EXPECT_EQ(p.waitExit(), 0) << p.output();
  EXPECT_NE(lastHogEvent().find("\"holder\":-1"), std::string::npos) << lastHogEvent();
  // Said in Linux terms, and once in a run however often playback restarts.
  EXPECT_EQ(p.output().find("IOPM"), std::string::npos) << p.output();
  const std::string awake = "cannot keep the system awake: logind is not reachable";
  size_t first = p.output().find(awake);
  EXPECT_TRUE(first == std::string::npos || p.output().find(awake, first + 1) == std::string::npos) << p.output();
}

TEST_F(CliTerminal, SkippingOnTheLastTrackSaysThatThePlaylistEnded) {
  CliProcess p(play());
  ASSERT_TRUE(p.waitFor("One | FLAC")) << p.output();
  p.type("n");
  ASSERT_TRUE(p.waitFor("Two | FLAC")) << p.output();
  p.type("n");
  EXPECT_EQ(p.waitExit(), 0) << p.output();
  EXPECT_NE(p.output().find("no further track to go to: the playlist has ended"), std::string::npos) << p.output();
}

struct SignalCase {
  int signal;
  int status;
};

class CliSignals : public CliTerminal, public ::testing::WithParamInterface<SignalCase> {};

TEST_P(CliSignals, EndPlaybackWithTheShellsStatusAndGiveTheDeviceBack) {
  CliProcess p(play());
  ASSERT_TRUE(p.waitFor("One | FLAC")) << p.output();
  p.signal(GetParam().signal);
  EXPECT_EQ(p.waitExit(), GetParam().status) << p.output();
  EXPECT_NE(lastHogEvent().find("\"holder\":-1"), std::string::npos) << lastHogEvent();
  EXPECT_EQ(p.output().find("Two | FLAC"), std::string::npos) << p.output();
}

INSTANTIATE_TEST_SUITE_P(Terminating, CliSignals,
                         ::testing::Values(SignalCase{SIGINT, 130}, SignalCase{SIGTERM, 143},
                                           SignalCase{SIGHUP, 129}),
                         [](const auto& info) { return std::to_string(info.param.status); });

// A USB DAC switched between PCM and DSD by vendor requests: Next mutes and switches
// it, and the engine's passing stop must not end the run.
TEST_F(CliTerminal, SkipOnAUsbSwitchedDacPlaysTheNextTrack) {
  DeviceJson dac = realtimeDac(env_.dir.file("dac.raw"), "USB DAC");
  dac.vid = 0x262A;
  dac.pid = 0x1001;  // a row with the USB switch and reset-on-stop flags
  env_.setDevices({dac});
  CliProcess p(play());
  ASSERT_TRUE(p.waitFor("One | FLAC")) << p.output();
  p.signal(SIGUSR2);
  ASSERT_TRUE(p.waitFor("Two | FLAC")) << p.output();
  size_t two = p.output().find("Two | FLAC");
  EXPECT_TRUE(p.waitFor("0:01 / 0:02", 30, two)) << p.output();  // it plays on
  EXPECT_EQ(p.waitExit(), 0) << p.output();
}

// The DAC is pulled out (its device file says so) while playing or paused, on a
// plain device and on one muted and switched around every start and stop: the run
// ends at once with the reason and status 1, never hangs.
class CliUnplug : public CliTerminal, public ::testing::WithParamInterface<std::tuple<bool, bool>> {};

TEST_P(CliUnplug, PullingTheDacOutEndsTheRunWithTheReason) {
  const auto [usb_switched, paused] = GetParam();
  DeviceJson dac = realtimeDac(env_.dir.file("dac.raw"), "USB DAC");
  if (usb_switched) {
    dac.vid = 0x262A;
    dac.pid = 0x1001;
  }
  env_.setDevices({dac});
  CliProcess p(play());
  ASSERT_TRUE(p.waitFor("One | FLAC")) << p.output();
  if (paused) {
    p.type(" ");
    ASSERT_TRUE(p.waitFor("[paused]")) << p.output();
  }
  dac.alive = false;
  env_.setDevices({dac});
  EXPECT_TRUE(p.waitFor("the output device went away", 15)) << p.output();
  EXPECT_EQ(p.waitExit(15), 1) << p.output();
}

INSTANTIATE_TEST_SUITE_P(PlayingOrPaused, CliUnplug,
                         ::testing::Combine(::testing::Bool(), ::testing::Bool()),
                         [](const auto& info) {
                           return std::string(std::get<0>(info.param) ? "UsbSwitched" : "Plain") +
                                  (std::get<1>(info.param) ? "Paused" : "Playing");
                         });

// What a terminal shows of each line: the text after the last carriage return.
std::vector<std::string> visibleLines(const std::string& out) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start <= out.size()) {
    size_t end = out.find('\n', start);
    std::string line = out.substr(start, end == std::string::npos ? std::string::npos : end - start);
    while (!line.empty() && line.back() == '\r') line.pop_back();  // the terminal's CR LF
    if (auto cr = line.rfind('\r'); cr != std::string::npos) line = line.substr(cr + 1);
    if (line.rfind("\x1b[K", 0) == 0) line = line.substr(3);
    lines.push_back(line);
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return lines;
}

// Every drawing of the status line fits a narrow terminal.
TEST_F(CliTerminal, StatusLineIsCutToTheWidth) {
  CliProcess p(play(), 40);
  EXPECT_EQ(p.waitExit(), 0) << p.output();
  const std::string& out = p.output();
  size_t drawn = 0;
  for (size_t at = out.find("\r\x1b[K"); at != std::string::npos; at = out.find("\r\x1b[K", at + 1)) {
    size_t start = at + 4;
    size_t end = out.find_first_of("\r\n", start);
    std::string text = out.substr(start, end - start);
    EXPECT_LE(text.size(), 39u) << text;
    if (!text.empty()) ++drawn;
  }
  EXPECT_GT(drawn, 2u) << out;
}

// A log line that comes while the status line shows (the second track is damaged and
// decoded ahead) gets a line of its own; the status line is drawn again after it.
TEST_F(CliTerminal, LogLinesNeverLandInsideTheStatusLine) {
  std::string two = env_.dir.file("album/Two.flac");
  std::string bytes = readBytes(two);
  ASSERT_GT(bytes.size(), 100000u);
  for (size_t i = bytes.size() / 2; i < bytes.size() / 2 + 64; ++i) bytes[i] = static_cast<char>(bytes[i] ^ 0x5A);
  std::ofstream(two, std::ios::binary | std::ios::trunc) << bytes;
  CliProcess p(play());
  p.waitExit();
  bool logged = false;
  for (const auto& line : visibleLines(p.output())) {
    auto at = line.find("| playlist ");
    if (at != std::string::npos) {
      std::string rest = line.substr(at + 11);
      EXPECT_TRUE(rest.size() <= 13 && rest.find(" / ") != std::string::npos) << "status line mixed: " << line;
    }
    if (line.find("CRC") != std::string::npos || line.find("synchronization") != std::string::npos ||
        line.find("frame header") != std::string::npos) {
      logged = true;
      EXPECT_EQ(line.find(" | "), std::string::npos) << line;
    }
  }
  EXPECT_TRUE(logged) << p.output();
}

}  // namespace
