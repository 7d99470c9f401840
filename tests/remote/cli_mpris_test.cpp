// pelmora-cli play as a desktop sees it: an MPRIS2 player on a private session bus,
// driven by Debian's playerctl and by direct calls, on a virtual device paced like
// hardware. Which track's frames reached the device, and from where, shows that each
// request took effect.
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <filesystem>

#include "support/cli_env.h"
#include "support/cli_process.h"
#include "support/marked_tracks.h"
#include "support/mpris_client.h"
#include "support/private_session_bus.h"
#include "support/read_bytes.h"
#include "support/run_command.h"

namespace {

constexpr const char* kName = "org.mpris.MediaPlayer2.pelmora";

class CliMpris : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(bus_.address().empty()) << "dbus-daemon did not start";
    env_.setDevices({realtimeDac(env_.dir.file("dac.raw"))});
  }
  // Tracks "Song N" by "Artist N", numbered from 1, in a folder of their own.
  void makeAlbum(int count, double seconds) {
    std::filesystem::create_directories(env_.dir.file("album"));
    for (int i = 1; i <= count; ++i) {
      writeMarkedTrack(trackPath(i), i, seconds, "Song " + std::to_string(i), "Artist " + std::to_string(i));
    }
    track_frames_ = static_cast<int32_t>(seconds * kMarkedRate);
  }
  std::string trackPath(int i) const { return env_.dir.file("album/0" + std::to_string(i) + ".wav"); }
  std::string play(const std::string& args = "") const {
    return env_.cli(bus_.env()) + "play --device 'Test DAC' " + args + " " + env_.dir.file("album");
  }
  std::string playerctl(const std::string& args) const {
    return runCommand(bus_.env() + " playerctl -p pelmora " + args + " 2>&1").out;
  }
  std::vector<MarkedRun> runs(const std::string& capture = "dac.raw") const {
    return markedRuns(readBytes(env_.dir.file(capture)));
  }
  // Connected, and talking to the player once its name is on the bus.
  ::testing::AssertionResult findPlayer(MprisClient& remote) {
    if (!remote.connected()) return ::testing::AssertionFailure() << "no connection to the test's bus";
    if (!remote.waitForName(kName)) return ::testing::AssertionFailure() << "the player's name did not appear";
    return ::testing::AssertionSuccess();
  }
  // Waits until the device has received frame `frame` of `track` (or one after it).
  bool waitForFrame(MprisClient& remote, int track, int32_t frame, int32_t from = -1) {
    return remote.waitUntil([&] {
      for (const auto& r : runs()) {
        if (r.track == track && r.last >= frame && (from < 0 || r.first == from)) return true;
      }
      return false;
    });
  }
  bool waitForTitle(MprisClient& remote, const std::string& title) {
    return remote.waitUntil([&] { return remote.metadata()["xesam:title"] == title; });
  }

  PrivateSessionBus bus_;
  CliEnv env_;
  int32_t track_frames_ = 0;
};

TEST_F(CliMpris, RemotesPauseResumeAndSkipAndSeeTheTrack) {
  makeAlbum(3, 6.0);
  CliProcess p(play());
  MprisClient remote(bus_.address());
  ASSERT_TRUE(findPlayer(remote)) << p.output();
  EXPECT_EQ(remote.player(), kName);
  ASSERT_TRUE(p.waitFor("Song 1 - Artist 1 |")) << p.output();
  ASSERT_TRUE(waitForTitle(remote, "Song 1")) << p.output();
  EXPECT_EQ(remote.getString(MprisClient::kPlayer, "PlaybackStatus"), "Playing");

  auto meta = remote.metadata();
  EXPECT_EQ(meta["xesam:artist"], "Artist 1");
  EXPECT_EQ(meta["mpris:length"], "6000000");
  EXPECT_EQ(meta["xesam:url"], "file://" + trackPath(1));
  EXPECT_EQ(meta["mpris:trackid"].rfind("/org/pelmora/track/", 0), 0u) << meta["mpris:trackid"];

  EXPECT_EQ(remote.getString(MprisClient::kRoot, "Identity"), "Pelmora");
  EXPECT_EQ(remote.getString(MprisClient::kRoot, "DesktopEntry"), "pelmora");
  EXPECT_EQ(remote.getBool(MprisClient::kRoot, "CanQuit"), 1);
  EXPECT_EQ(remote.getBool(MprisClient::kRoot, "CanRaise"), 0);
  EXPECT_EQ(remote.getStrings(MprisClient::kRoot, "SupportedUriSchemes"), std::vector<std::string>{"file"});
  const auto mimes = remote.getStrings(MprisClient::kRoot, "SupportedMimeTypes");
  for (const char* type : {"audio/flac", "audio/wav", "audio/x-dsf", "audio/x-dff", "audio/mpeg", "audio/aiff"}) {
    EXPECT_NE(std::find(mimes.begin(), mimes.end(), type), mimes.end()) << type;
  }
  for (const char* can : {"CanPlay", "CanPause", "CanSeek", "CanGoNext", "CanGoPrevious", "CanControl"}) {
    EXPECT_EQ(remote.getBool(MprisClient::kPlayer, can), 1) << can;
  }
  // Bit-perfect: neither the rate nor the volume can be changed.
  EXPECT_EQ(remote.getDouble("Rate"), 1.0);
  EXPECT_EQ(remote.getDouble("Volume"), 1.0);
  std::string error;
  EXPECT_FALSE(remote.setDouble("Volume", 0.5, &error));
  EXPECT_EQ(error, "org.freedesktop.DBus.Error.PropertyReadOnly");
  EXPECT_FALSE(remote.setDouble("Rate", 2.0));
  EXPECT_EQ(remote.getDouble("Volume"), 1.0);

  ASSERT_TRUE(waitForFrame(remote, 1, kMarkedRate / 4)) << describeRuns(runs());
  size_t seen = remote.changes().size();
  playerctl("pause");
  EXPECT_TRUE(remote.waitUntil([&] { return remote.sawStatus("Paused", seen); })) << p.output();
  EXPECT_TRUE(p.waitFor("[paused] Song 1")) << p.output();
  EXPECT_EQ(playerctl("status"), "Paused\n");

  seen = remote.changes().size();
  EXPECT_TRUE(remote.call(MprisClient::kPlayer, "Play"));
  EXPECT_TRUE(remote.waitUntil([&] { return remote.sawStatus("Playing", seen); })) << p.output();
  const int32_t paused_at = runs().back().last;
  ASSERT_TRUE(waitForFrame(remote, 1, paused_at + kMarkedRate / 4)) << describeRuns(runs());

  seen = remote.changes().size();
  playerctl("next");
  ASSERT_TRUE(p.waitFor("Song 2 - Artist 2 |")) << p.output();
  EXPECT_TRUE(remote.waitUntil([&] {
    for (size_t i = seen; i < remote.changes().size(); ++i) {
      if (remote.changes()[i].title == "Song 2") return true;
    }
    return false;
  }));
  EXPECT_EQ(remote.metadata()["xesam:title"], "Song 2");
  ASSERT_TRUE(waitForFrame(remote, 2, kMarkedRate / 4)) << describeRuns(runs());

  // Previous, under 3 s into the second track, goes back to the first, as `b` does.
  seen = remote.changes().size();
  EXPECT_TRUE(remote.call(MprisClient::kPlayer, "Previous"));
  EXPECT_TRUE(remote.waitUntil([&] {
    const auto now = runs();
    return now.size() >= 3 && now[2].track == 1 && now[2].last >= static_cast<int32_t>(kMarkedRate / 4);
  })) << describeRuns(runs());
  EXPECT_EQ(remote.metadata()["xesam:title"], "Song 1");

  EXPECT_TRUE(remote.call(MprisClient::kRoot, "Quit"));
  EXPECT_EQ(p.waitExit(), 0) << p.output();

  // The first track from its start without a frame lost or repeated across the pause,
  // cut short by the skip; the second from its start, cut short by Previous; the
  // first again from its start until Quit.
  const auto played = runs();
  ASSERT_EQ(played.size(), 3u) << describeRuns(played);
  EXPECT_EQ(played[0].track, 1);
  EXPECT_EQ(played[0].first, 0);
  EXPECT_LT(played[0].last, track_frames_ - 1) << describeRuns(played);
  EXPECT_EQ(played[1].track, 2);
  EXPECT_EQ(played[1].first, 0);
  EXPECT_LT(played[1].last, track_frames_ - 1) << describeRuns(played);
  EXPECT_EQ(played[2].track, 1);
  EXPECT_EQ(played[2].first, 0);
}

TEST_F(CliMpris, SeeksLandOnTheSecondAsked) {
  makeAlbum(1, 8.0);
  CliProcess p(play());
  MprisClient remote(bus_.address());
  ASSERT_TRUE(findPlayer(remote)) << p.output();
  ASSERT_TRUE(waitForTitle(remote, "Song 1")) << p.output();
  const int32_t second_frames = kMarkedRate;
  ASSERT_TRUE(waitForFrame(remote, 1, second_frames / 4)) << describeRuns(runs());

  playerctl("position 5");  // SetPosition on the playing track
  ASSERT_TRUE(remote.waitUntil([&] { return !remote.seeked().empty(); })) << p.output();
  ASSERT_TRUE(waitForFrame(remote, 1, 5 * second_frames + second_frames / 4, 5 * second_frames))
      << describeRuns(runs());
  EXPECT_EQ(remote.seeked()[0], 5'000'000);
  EXPECT_TRUE(remote.waitUntil([&] { return remote.getInt64("Position") >= 5'000'000; }));

  ASSERT_TRUE(remote.seek(-3'000'000));
  ASSERT_TRUE(remote.waitUntil([&] { return remote.seeked().size() >= 2; })) << p.output();
  const int64_t second = remote.seeked()[1];
  EXPECT_EQ(second % 1'000'000, 0);
  EXPECT_GE(second, 2'000'000);
  EXPECT_LT(second, 5'000'000);
  const auto landed = static_cast<int32_t>(second / 1'000'000) * second_frames;
  ASSERT_TRUE(waitForFrame(remote, 1, landed + second_frames / 4, landed)) << describeRuns(runs());

  // A position for a track that does not play is stale: nothing moves. The calls are
  // served in order, so the next Seeked is the valid request's.
  EXPECT_TRUE(remote.setPosition("/org/pelmora/track/999999", 6'000'000));
  EXPECT_TRUE(remote.setPosition(remote.metadata()["mpris:trackid"], 1'000'000));
  ASSERT_TRUE(remote.waitUntil([&] { return remote.seeked().size() >= 3; })) << p.output();
  EXPECT_EQ(remote.seeked()[2], 1'000'000);
  ASSERT_TRUE(waitForFrame(remote, 1, second_frames + second_frames / 4, second_frames)) << describeRuns(runs());

  EXPECT_TRUE(remote.call(MprisClient::kRoot, "Quit"));
  EXPECT_EQ(p.waitExit(), 0) << p.output();

  const auto played = runs();
  ASSERT_EQ(played.size(), 4u) << describeRuns(played);
  EXPECT_EQ(played[0].first, 0);
  EXPECT_LT(played[0].last, 5 * second_frames) << describeRuns(played);
  EXPECT_EQ(played[1].first, 5 * second_frames) << describeRuns(played);
  EXPECT_EQ(played[2].first, landed) << describeRuns(played);
  EXPECT_EQ(played[3].first, second_frames) << describeRuns(played);
  for (const auto& r : played) EXPECT_EQ(r.track, 1);
}

TEST_F(CliMpris, LoopAndShuffleFollowTheRemote) {
  makeAlbum(3, 3.0);
  CliProcess p(play("--shuffle"));
  MprisClient remote(bus_.address());
  ASSERT_TRUE(findPlayer(remote)) << p.output();
  ASSERT_TRUE(remote.waitUntil([&] { return remote.getString(MprisClient::kPlayer, "PlaybackStatus") == "Playing"; }));
  EXPECT_EQ(remote.getBool(MprisClient::kPlayer, "Shuffle"), 1);
  EXPECT_EQ(remote.getString(MprisClient::kPlayer, "LoopStatus"), "None");

  size_t seen = remote.changes().size();
  playerctl("shuffle Off");
  auto changed = [&](const std::string& name) {
    return remote.waitUntil([&] {
      for (size_t i = seen; i < remote.changes().size(); ++i) {
        const auto& n = remote.changes()[i].names;
        if (std::find(n.begin(), n.end(), name) != n.end()) return true;
      }
      return false;
    });
  };
  EXPECT_TRUE(changed("Shuffle"));
  EXPECT_EQ(remote.getBool(MprisClient::kPlayer, "Shuffle"), 0);

  seen = remote.changes().size();
  ASSERT_TRUE(remote.setString("LoopStatus", "Track"));
  EXPECT_TRUE(changed("LoopStatus"));
  EXPECT_EQ(playerctl("loop"), "Track\n");
  std::string wrong;
  EXPECT_FALSE(remote.setString("LoopStatus", "Sometimes", &wrong));
  EXPECT_EQ(wrong, "org.freedesktop.DBus.Error.InvalidArgs");

  // The track playing now is played again from its start.
  const std::string title = remote.metadata()["xesam:title"];
  ASSERT_EQ(title.rfind("Song ", 0), 0u) << title;
  const int repeated = std::stoi(title.substr(5));
  auto replays = [&] {
    int whole = 0;
    for (const auto& r : runs()) whole += r.track == repeated && r.first == 0 ? 1 : 0;
    return whole;
  };
  ASSERT_TRUE(remote.waitUntil([&] { return replays() >= 2; })) << describeRuns(runs()) << p.output();

  seen = remote.changes().size();
  playerctl("loop None");
  EXPECT_TRUE(changed("LoopStatus"));
  EXPECT_EQ(remote.getString(MprisClient::kPlayer, "LoopStatus"), "None");
  EXPECT_EQ(p.waitExit(60), 0) << p.output();

  // After the repeats, the tracks after it in table order, shuffle being off.
  const auto played = runs();
  size_t last_repeat = 0;
  for (size_t i = 0; i < played.size(); ++i) {
    if (played[i].track == repeated) last_repeat = i;
  }
  ASSERT_GE(last_repeat, 1u) << describeRuns(played);
  EXPECT_EQ(played[last_repeat - 1].track, repeated) << describeRuns(played);
  EXPECT_EQ(played[last_repeat - 1].last, track_frames_ - 1) << describeRuns(played);
  EXPECT_EQ(played[last_repeat].first, 0) << describeRuns(played);
  for (size_t i = last_repeat + 1; i < played.size(); ++i) {
    EXPECT_EQ(played[i].track, played[i - 1].track + 1) << describeRuns(played);
    EXPECT_EQ(played[i].first, 0) << describeRuns(played);
  }
  EXPECT_EQ(played.back().track == 3 || played.size() == last_repeat + 1, true) << describeRuns(played);
}

TEST_F(CliMpris, ASecondPlayerTakesAnInstanceName) {
  makeAlbum(1, 8.0);
  env_.setDevices({realtimeDac(env_.dir.file("dac.raw")), realtimeDac(env_.dir.file("other.raw"), "Other DAC")});
  CliProcess first(play());
  MprisClient remote(bus_.address());
  ASSERT_TRUE(findPlayer(remote)) << first.output();
  ASSERT_TRUE(first.waitFor("Song 1 - Artist 1 |")) << first.output();
  CliProcess second(env_.cli(bus_.env()) + "play --device 'Other DAC' " + env_.dir.file("album"));
  const std::string instance = std::string(kName) + ".instance" + std::to_string(second.pid());
  MprisClient other(bus_.address());
  ASSERT_TRUE(other.waitForName(instance)) << second.output();
  EXPECT_EQ(other.player(), instance);
  ASSERT_TRUE(second.waitFor("Song 1 - Artist 1 |")) << second.output();

  // Each name reaches its own player.
  ASSERT_TRUE(other.call(MprisClient::kPlayer, "Pause"));
  EXPECT_TRUE(second.waitFor("[paused] Song 1")) << second.output();
  EXPECT_TRUE(other.waitUntil([&] { return other.getString(MprisClient::kPlayer, "PlaybackStatus") == "Paused"; }));
  EXPECT_EQ(remote.getString(MprisClient::kPlayer, "PlaybackStatus"), "Playing");
  EXPECT_EQ(first.output().find("[paused]"), std::string::npos) << first.output();

  // Stop ends the run as q does.
  const size_t seen = other.changes().size();
  EXPECT_TRUE(other.call(MprisClient::kPlayer, "Stop"));
  EXPECT_EQ(second.waitExit(), 0) << second.output();
  EXPECT_TRUE(other.waitUntil([&] { return other.sawStatus("Stopped", seen); }));
  EXPECT_TRUE(remote.call(MprisClient::kRoot, "Quit"));
  EXPECT_EQ(first.waitExit(), 0) << first.output();
}

TEST_F(CliMpris, TheBusGoingAwayLeavesThePlayerPlayingToTheEnd) {
  makeAlbum(2, 2.0);
  CliProcess p(play());
  MprisClient remote(bus_.address());
  ASSERT_TRUE(findPlayer(remote)) << p.output();
  ASSERT_TRUE(p.waitFor("Song 1 - Artist 1 |")) << p.output();
  bus_.kill();
  EXPECT_TRUE(p.waitFor("Remote control is off: the session bus went away.")) << p.output();
  EXPECT_EQ(p.waitExit(), 0) << p.output();
  const auto played = runs();
  ASSERT_EQ(played.size(), 2u) << describeRuns(played);
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(played[i].track, i + 1);
    EXPECT_EQ(played[i].first, 0);
    EXPECT_EQ(played[i].last, track_frames_ - 1);
  }
}

TEST_F(CliMpris, NoMprisRegistersNothing) {
  makeAlbum(2, 2.0);
  CliProcess p(play("--no-mpris"));
  MprisClient remote(bus_.address());
  ASSERT_TRUE(remote.connected());
  ASSERT_TRUE(p.waitFor("Song 1 - Artist 1 |")) << p.output();
  // The name is taken before the first track is asked for: by now it would be there.
  for (const auto& name : remote.names()) EXPECT_EQ(name.find("org.mpris.MediaPlayer2"), std::string::npos) << name;
  EXPECT_EQ(p.waitExit(), 0) << p.output();
  EXPECT_EQ(p.output().find("Remote control"), std::string::npos) << p.output();
  EXPECT_EQ(runs().size(), 2u) << describeRuns(runs());
}

TEST_F(CliMpris, WithoutASessionBusItSaysSoOnceAndPlays) {
  makeAlbum(2, 1.0);
  env_.setDevices({capturingDac(env_.dir.file("dac.raw"))});
  auto r = runCommand(env_.cli("DBUS_SESSION_BUS_ADDRESS=unix:path=" + env_.dir.file("no-bus")) +
                      "play --device 'Test DAC' " + env_.dir.file("album") + " 2>&1");
  EXPECT_EQ(r.status, 0) << r.out;
  const std::string line = "Remote control is off: no session bus.";
  const size_t at = r.out.find(line);
  EXPECT_NE(at, std::string::npos) << r.out;
  EXPECT_EQ(r.out.find(line, at + 1), std::string::npos) << r.out;
  const auto played = runs();
  ASSERT_EQ(played.size(), 2u) << describeRuns(played);
  EXPECT_EQ(played[1].last, track_frames_ - 1);
}

TEST_F(CliMpris, OpenUriQueuesAFileAndRefusesOtherSchemes) {
  makeAlbum(1, 3.0);
  writeMarkedTrack(env_.dir.file("extra.wav"), 7, 1.0, "Extra", "Guest");
  CliProcess p(play());
  MprisClient remote(bus_.address());
  ASSERT_TRUE(findPlayer(remote)) << p.output();
  ASSERT_TRUE(waitForTitle(remote, "Song 1")) << p.output();
  std::string error;
  EXPECT_FALSE(remote.openUri("http://example.com/a.wav", &error));
  EXPECT_EQ(error, "org.freedesktop.DBus.Error.NotSupported");
  EXPECT_FALSE(remote.openUri("file://" + env_.dir.file("devices.json"), &error));
  EXPECT_TRUE(remote.openUri("file://" + env_.dir.file("extra.wav")));
  EXPECT_TRUE(p.waitFor("Extra - Guest |")) << p.output();
  EXPECT_EQ(p.waitExit(), 0) << p.output();
  const auto played = runs();
  ASSERT_EQ(played.size(), 2u) << describeRuns(played);
  EXPECT_EQ(played[0].track, 1);
  EXPECT_EQ(played[1].track, 7);
  EXPECT_EQ(played[1].first, 0);
  EXPECT_EQ(played[1].last, static_cast<int32_t>(kMarkedRate) - 1);
}

}  // namespace
