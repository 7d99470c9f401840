// pelmora-cli info, decode, play and plugins on DSDIFF files written by the tests.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>

#include "support/cli_env.h"
#include "support/dop.h"
#include "support/dsdiff_writer.h"
#include "support/dsf_writer.h"
#include "support/run_command.h"

namespace {

class CliDsdiff : public ::testing::Test {
 protected:
  std::string makeDff(const std::string& name = "track.dff") {
    DffSetup setup;
    setup.audio = patternAudio(2, 352800 * 2);  // two seconds of DSD64
    setup.id3 = buildId3({{"TIT2", "So What"}, {"TPE1", "Sextet"}, {"TALB", "Blue"}});
    setup.title = "Master title";
    audio_ = setup.audio;
    std::string path = env_.dir.file(name);
    writeFile(path, buildDff(setup));
    return path;
  }
  CliEnv env_;
  std::vector<std::vector<uint8_t>> audio_;
};

TEST_F(CliDsdiff, InfoDescribesTheFile) {
  std::string path = makeDff();
  auto r = runCommand(env_.cli() + "info --json " + path + " 2>&1");
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(r.out, "{\"path\":\"" + path +
                       "\",\"decoder\":\"Dalfin\",\"rate\":176400,\"channels\":2,\"bits\":32,"
                       "\"format\":\"dop\",\"duration\":2,\"title\":\"So What\",\"artist\":\"Sextet\","
                       "\"src_bits\":1,\"src_rate\":2822400,\"album\":\"Blue\",\"track\":null,\"disc\":null,"
                       "\"date\":null}\n");
}

TEST_F(CliDsdiff, InfoSaysWhyADstFileCannotBeRead) {
  DffSetup setup;
  setup.dst = true;
  setup.audio = patternAudio(2, 1000);
  std::string path = env_.dir.file("dst.dff");
  writeFile(path, buildDff(setup));
  auto r = runCommand(env_.cli() + "info " + path + " 2>&1");
  EXPECT_EQ(r.status, 1) << r.out;
  EXPECT_NE(r.out.find("DST-compressed"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("(status -25300)"), std::string::npos) << r.out;
}

TEST_F(CliDsdiff, DecodeWritesTheDoPWords) {
  std::string path = makeDff();
  std::string out = env_.dir.file("out.raw");
  auto r = runCommand(env_.cli() + "decode " + path + " -o " + out + " 2>&1");
  ASSERT_EQ(r.status, 0) << r.out;
  std::string bytes = readBytes(out);
  std::vector<float> all(bytes.size() / 4);
  std::memcpy(all.data(), bytes.data(), all.size() * 4);
  ASSERT_EQ(all.size(), 352800u * 2);
  const uint8_t first = markerOf(doPWord(all[0]));
  for (size_t f = 0; f < 352800; ++f) {
    const uint8_t marker = f % 2 ? static_cast<uint8_t>(~first) : first;
    for (size_t c = 0; c < 2; ++c) {
      ASSERT_EQ(doPWord(all[f * 2 + c]), expectedWord(marker, audio_[c][2 * f], audio_[c][2 * f + 1])) << f;
    }
  }
}

TEST_F(CliDsdiff, PlaysTheFileAsDoP) {
  DeviceJson d;
  d.name = "DoP DAC";
  d.formats = {formatJson(176400, 24, 3, 2, false, false)};
  d.capture = env_.dir.file("dac.raw");
  env_.setDevices({d});
  DffSetup setup;
  setup.audio = patternAudio(2, 20000);
  for (auto& ch : setup.audio) std::replace(ch.begin(), ch.end(), uint8_t{0x96}, uint8_t{0x33});
  std::string path = env_.dir.file("short.dff");
  writeFile(path, buildDff(setup));
  auto r = runCommand(env_.cli() + "play --device 'DoP DAC' " + path + " 2>&1");
  ASSERT_EQ(r.status, 0) << r.out;
  std::string bytes = readBytes(d.capture);
  const size_t preroll = 17640;
  ASSERT_EQ(bytes.size(), 3 * 2 * (preroll + 10000)) << r.out;
  // DoP silence first, then the file's bytes; the marker alternates 0x05 / 0xFA from
  // frame to frame throughout, both channels alike.
  for (size_t i = 0; i < bytes.size() / 3; ++i) {
    const auto marker = static_cast<uint8_t>(bytes[3 * i + 2]);
    ASSERT_TRUE(marker == 0x05 || marker == 0xFA) << i;
    if (i >= 2) {
      ASSERT_EQ(marker, static_cast<uint8_t>(~static_cast<uint8_t>(bytes[3 * (i - 2) + 2]))) << i;
    }
    if (i % 2 == 1) {
      ASSERT_EQ(marker, static_cast<uint8_t>(bytes[3 * (i - 1) + 2])) << i;
    }
    if (i < 2 * preroll) {
      ASSERT_EQ(static_cast<uint8_t>(bytes[3 * i + 1]), 0x96) << i;
      ASSERT_EQ(static_cast<uint8_t>(bytes[3 * i]), 0x96) << i;
      continue;
    }
    const size_t frame = i / 2 - preroll, c = i % 2;
    ASSERT_EQ(static_cast<uint8_t>(bytes[3 * i + 1]), setup.audio[c][2 * frame]) << i;
    ASSERT_EQ(static_cast<uint8_t>(bytes[3 * i]), setup.audio[c][2 * frame + 1]) << i;
  }
}

TEST_F(CliDsdiff, PluginsListsTheDsdiffDecoder) {
  auto r = runCommand(env_.cli() + "plugins --json");
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("{\"name\":\"DSDIFF Decoder\",\"exts\":\"dff\",\"version\":\""), std::string::npos) << r.out;
  auto plain = runCommand(env_.cli() + "plugins");
  EXPECT_NE(plain.out.find("DSDIFF Decoder"), std::string::npos) << plain.out;
}

}  // namespace
