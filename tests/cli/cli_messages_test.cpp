// What pelmora-cli tells a user: true reasons for every file it does not play, what
// a device can do in words, tags, JSON for any file name, settings trouble.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>

#include "support/cli_env.h"
#include "support/dsf_writer.h"
#include "support/flac_fixtures.h"
#include "support/run_command.h"

namespace {

namespace fs = std::filesystem;

CommandResult runBounded(const std::string& command) { return runCommand("timeout 60 " + command + " 2>&1"); }

DeviceJson smallDac(const std::string& capture) {
  DeviceJson d;
  d.name = "Small DAC";
  d.formats = {formatJson(44100, 16, 2)};
  d.capture = capture;
  return d;
}

DeviceJson bigDac(const std::string& capture) {
  DeviceJson d;
  d.name = "Big DAC";
  d.formats = {formatJson(0, 32, 4, 2, false, false, 44100, 384000)};
  d.capture = capture;
  return d;
}

std::string makeDsfFile(const std::string& path) {
  DsfSetup setup;
  setup.audio = patternAudio(2, 352800 / 2);  // a quarter second of DSD64
  writeFile(path, buildDsf(setup));
  return path;
}

class CliMessages : public ::testing::Test {
 protected:
  void SetUp() override {
    env_.setDevices({smallDac(env_.dir.file("small.raw")), bigDac(env_.dir.file("big.raw"))});
    FlacSetup setup{44100, 16, 2, 0.5, {"TITLE=Song", "ALBUM=Kind of Blue", "TRACKNUMBER=2/5",
                                        "DISCNUMBER=1", "DATE=1959-08-17"}};
    track_ = makeFlac(env_.dir.path(), "tagged", setup);
    ASSERT_FALSE(track_.empty());
  }
  CliEnv env_;
  std::string track_;
};

TEST_F(CliMessages, DevicesSayWhatTheyCanDoInWords) {
  auto r = runBounded(env_.cli() + "devices");
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("1. Small DAC\n   PCM up to 44.1 kHz 16-bit\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("2. Big DAC\n   PCM up to 384 kHz 32-bit; DoP up to DSD128\n"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("flags"), std::string::npos) << r.out;  // only with --verbose or --json
  auto verbose = runBounded(env_.cli() + "devices --verbose");
  EXPECT_NE(verbose.out.find("   uid uid:Small DAC, USB none, table row 24, flags 0x"), std::string::npos)
      << verbose.out;
  auto json = runBounded(env_.cli() + "devices --json");
  EXPECT_NE(json.out.find("\"name\":\"Small DAC\",\"uid\":\"uid:Small DAC\",\"vid\":-1,\"pid\":-1,\"row\":24,"),
            std::string::npos)
      << json.out;
  EXPECT_NE(json.out.find("\"dop\":false,\"native\":false,\"summary\":\"PCM up to 44.1 kHz 16-bit\""),
            std::string::npos)
      << json.out;
}

TEST_F(CliMessages, EachFileThatCannotBePlayedHasItsOwnReason) {
  fs::create_directories(env_.dir.file("folder"));
  std::ofstream(env_.dir.file("empty.flac")).close();
  std::ofstream(env_.dir.file("song.ogg")) << "OggS";
  std::ofstream(env_.dir.file("song.wav")) << "RIFF";
  std::string dsf = makeDsfFile(env_.dir.file("cut.dsf"));
  fs::resize_file(dsf, fs::file_size(dsf) - 5000);
  const std::string files = env_.dir.file("missing.flac") + " " + env_.dir.file("folder") + " " +
                            env_.dir.file("empty.flac") + " " + dsf + " " + env_.dir.file("song.ogg");
  auto info = runBounded(env_.cli() + "info " + files + " " + env_.dir.file("song.wav"));
  EXPECT_EQ(info.status, 1);
  for (const char* reason : {"missing.flac\n  cannot be read: no such file or directory",
                             "folder\n  cannot be read: is a folder, not a file",
                             "empty.flac\n  cannot be read: the file is empty",
                             "cut.dsf\n  cannot be read: truncated: the DSF header announces",
                             "song.ogg\n  cannot be read: not supported (no plug-in reads .ogg files)",
                             "song.wav\n  cannot be read: holds no audio format this plug-in knows"}) {
    EXPECT_NE(info.out.find(reason), std::string::npos) << reason << "\n" << info.out;
  }
  // play names each named file with its reason (the folder is searched instead).
  auto play = runBounded(env_.cli() + "play --device 'Big DAC' " + files + " " + track_);
  EXPECT_EQ(play.status, 0) << play.out;
  for (const char* reason : {"missing.flac: no such file or directory", "empty.flac: the file is empty",
                             "cut.dsf: truncated: the DSF header announces",
                             "song.ogg: not supported (no plug-in reads .ogg files)"}) {
    EXPECT_NE(play.out.find(reason), std::string::npos) << reason << "\n" << play.out;
  }
}

TEST_F(CliMessages, AFolderCountsTheFilesNoPlugInReads) {
  fs::create_directories(env_.dir.file("mixed"));
  fs::copy_file(track_, env_.dir.file("mixed/1.flac"));
  for (const char* name : {"a.ogg", "b.ogg", "c.opus", "cover.jpg"}) std::ofstream(env_.dir.file("mixed/") + name) << "x";
  auto r = runBounded(env_.cli() + "play --device 'Big DAC' " + env_.dir.file("mixed"));
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find("pelmora-cli: 3 files skipped: 2 .ogg, 1 .opus \u2014 not supported\n"), std::string::npos)
      << r.out;
}

TEST_F(CliMessages, ATrackTheDeviceCannotTakeSaysWhichFormatAndWhatTheDeviceOffers) {
  FlacSetup hi{96000, 24, 2, 0.3, {}};
  std::string high = makeFlac(env_.dir.path(), "high", hi);
  std::string dsf = makeDsfFile(env_.dir.file("tone.dsf"));
  DeviceJson small = smallDac(env_.dir.file("small.raw"));
  small.clock = "realtime";  // so that the playing track is shown before it ends
  env_.setDevices({small});
  auto r = runBounded(env_.cli() + "play --dsd native " + high + " " + dsf + " " + track_);
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find("Small DAC has no native DSD and no 24- or 32-bit format for DoP: DSD tracks are skipped"),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("high.flac: skipped: the device cannot play FLAC 96 kHz 24-bit; it offers PCM up to "
                       "44.1 kHz 16-bit"),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("tone.dsf: skipped: the device cannot play DSD 2.8224 MHz; it offers PCM up to 44.1 kHz "
                       "16-bit"),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("Song | FLAC 44.1 kHz 16-bit -> PCM 44.1 kHz 16-bit"), std::string::npos) << r.out;
}

TEST_F(CliMessages, NativeDsdIsNamedByWhatItIs) {
  DeviceJson native = bigDac(env_.dir.file("native.raw"));
  native.name = "Native DAC";
  native.formats.push_back(formatJson(88200, 32, 4, 2, true, true));
  env_.setDevices({native});
  auto devices = runBounded(env_.cli() + "devices");
  EXPECT_NE(devices.out.find("native DSD up to DSD64 (DSD_U32_BE)"), std::string::npos) << devices.out;
  std::string dsf = makeDsfFile(env_.dir.file("tone.dsf"));
  auto r = runBounded(env_.cli() + "play --dsd native " + dsf);
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find("DSF 2.8224 MHz 1-bit -> native DSD64 in 32-bit words (DSD_U32)"), std::string::npos)
      << r.out;
  EXPECT_EQ(r.out.find("DSD32"), std::string::npos) << r.out;
}

TEST_F(CliMessages, WithoutPlugInsEveryCommandSaysWhereItLooked) {
  const std::string empty = env_.dir.file("no-plugins");
  fs::create_directories(empty);
  for (const std::string& command : {std::string("plugins"), "info " + track_, "play " + track_}) {
    auto r = runBounded(env_.cli("SONARA_PLUGIN_DIR=" + empty) + command);
    EXPECT_NE(r.out.find("no decoder plug-ins are loaded (looked in " + empty), std::string::npos)
        << command << "\n" << r.out;
  }
}

TEST_F(CliMessages, InfoShowsTheTagsAndNamesAnUntaggedFileByItsName) {
  auto r = runBounded(env_.cli() + "info " + track_);
  EXPECT_NE(r.out.find("  title     Song\n  artist    \n  album     Kind of Blue\n  track     2/5\n"
                       "  disc      1\n  date      1959-08-17\n"),
            std::string::npos)
      << r.out;
  auto json = runBounded(env_.cli() + "info --json " + track_);
  EXPECT_NE(json.out.find("\"album\":\"Kind of Blue\",\"track\":\"2/5\",\"disc\":\"1\",\"date\":\"1959-08-17\"}"),
            std::string::npos)
      << json.out;
  FlacSetup bare{44100, 16, 2, 0.2, {}};
  std::string untagged = makeFlac(env_.dir.path(), "Blue-in-Green", bare);
  auto plain = runBounded(env_.cli() + "info --json " + untagged);
  EXPECT_NE(plain.out.find("\"title\":\"Blue-in-Green\",\"artist\":\"\""), std::string::npos) << plain.out;
  EXPECT_NE(plain.out.find("\"album\":null,\"track\":null,\"disc\":null,\"date\":null}"), std::string::npos)
      << plain.out;
}

TEST_F(CliMessages, JsonStaysValidForFileNamesThatAreNotUtf8) {
  const std::string odd = env_.dir.file("caf\xE9 \xFF.flac");
  fs::copy_file(track_, odd);
  std::ofstream(env_.dir.file("check.py"))
      << "import json, os, sys\n"
         "for line in sys.stdin:\n"
         "    sys.stdout.buffer.write(os.fsencode(json.loads(line)['path']) + b'\\n')\n";
  auto r = runCommand("timeout 60 " + env_.cli() + "info --json '" + odd + "' | python3 " +
                      env_.dir.file("check.py"));
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, odd + "\n");
  auto raw = runBounded(env_.cli() + "info --json '" + odd + "'");
  EXPECT_NE(raw.out.find("caf\\udce9 \\udcff.flac"), std::string::npos) << raw.out;
}

TEST_F(CliMessages, ADamagedSettingsFileIsMovedAsideWithAReadableDate) {
  std::ofstream(env_.dir.file("d.plist")) << "not a property list";
  auto r = runBounded(env_.cli() + "play --device 'Big DAC' " + track_);
  EXPECT_EQ(r.status, 0) << r.out;
  std::regex aside("d\\.plist\\.damaged-\\d{4}-\\d{2}-\\d{2}T\\d{2}-\\d{2}-\\d{2}");
  bool found = false;
  for (const auto& e : fs::directory_iterator(env_.dir.path())) {
    if (std::regex_match(e.path().filename().string(), aside)) {
      found = true;
      EXPECT_EQ(readBytes(e.path().string()), "not a property list");
    }
  }
  EXPECT_TRUE(found);
  EXPECT_NE(r.out.find("is damaged; moved aside to " + env_.dir.file("d.plist.damaged-")), std::string::npos)
      << r.out;
}

TEST_F(CliMessages, ASettingsFolderInPlaceOfTheFileIsReported) {
  fs::create_directories(env_.dir.file("d.plist"));
  auto r = runBounded(env_.cli() + "play --device 'Big DAC' " + track_);
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find("Settings file " + env_.dir.file("d.plist") + " is a folder, not a file"), std::string::npos)
      << r.out;
  EXPECT_TRUE(fs::is_directory(env_.dir.file("d.plist")));
}

// Non-terminal output prints each new status; the playlist time only grows and never
// passes the total, also when starting inside the first track.
TEST_F(CliMessages, ThePlaylistTimeIsRightAtEveryTrackChangeAndWithStart) {
  DeviceJson paced = realtimeDac(env_.dir.file("paced.raw"), "Paced");
  env_.setDevices({paced});
  fs::create_directories(env_.dir.file("two"));
  // A first track longer than the engine decodes ahead, started near its end.
  for (const auto& [name, seconds] : {std::pair{"1", 20.0}, std::pair{"2", 2.0}}) {
    FlacSetup setup{44100, 16, 2, seconds, {}};
    ASSERT_FALSE(makeFlac(env_.dir.file("two"), name, setup).empty());
    fs::remove(env_.dir.file("two/") + name + ".wav");
  }
  auto r = runBounded(env_.cli() + "play --start 18 " + env_.dir.file("two"));
  EXPECT_EQ(r.status, 0) << r.out;
  std::regex status("(\\d+):(\\d\\d) / (\\d+):(\\d\\d) \\| playlist (\\d+):(\\d\\d) / (\\d+):(\\d\\d)");
  int last = -1;
  int shown = 0;
  for (std::sregex_iterator it(r.out.begin(), r.out.end(), status), end; it != end; ++it) {
    const auto& m = *it;
    int track = std::stoi(m[1]) * 60 + std::stoi(m[2]);
    int playlist = std::stoi(m[5]) * 60 + std::stoi(m[6]);
    int total = std::stoi(m[7]) * 60 + std::stoi(m[8]);
    EXPECT_EQ(total, 22);
    EXPECT_GE(playlist, last) << m.str() << "\n" << r.out;
    EXPECT_LE(playlist, total) << m.str();
    EXPECT_GE(playlist, track) << m.str();
    last = playlist;
    ++shown;
  }
  EXPECT_GT(shown, 2) << r.out;
  EXPECT_GE(last, 20) << r.out;  // the second track was shown after the first
}

}  // namespace
