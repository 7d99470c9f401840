// pelmora-cli info and decode on files written by the tests.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>

#include "support/dop.h"
#include "support/dsf_writer.h"
#include "support/run_command.h"
#include "support/temp_dir.h"

namespace {

const std::string kCli = PELMORA_CLI_PATH;

std::vector<float> readFloats(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::string bytes{std::istreambuf_iterator<char>(in), {}};
  std::vector<float> out(bytes.size() / 4);
  std::memcpy(out.data(), bytes.data(), out.size() * 4);
  return out;
}

class CliTest : public ::testing::Test {
 protected:
  std::string makeDsf() {
    DsfSetup setup;
    setup.audio = patternAudio(2, 352800 * 2);  // two seconds of DSD64
    setup.id3 = buildId3({{"TIT2", "Take \"Five\""}, {"TPE1", "Quartet"}, {"TALB", "Live"}, {"TRCK", "3/9"},
                          {"TDRC", "1959"}});
    audio_ = setup.audio;
    std::string path = dir_.file("track.dsf");
    writeFile(path, buildDsf(setup));
    return path;
  }
  TempDir dir_;
  std::vector<std::vector<uint8_t>> audio_;
};

TEST_F(CliTest, InfoDescribesADsfFile) {
  std::string path = makeDsf();
  auto r = runCommand(kCli + " info --json " + path + " " + dir_.file("nothing.dsf") + " 2>/dev/null");
  EXPECT_EQ(r.status, 1);  // one file could not be read
  std::string expected = "{\"path\":\"" + path +
                         "\",\"decoder\":\"Selvet\",\"rate\":176400,\"channels\":2,\"bits\":32,"
                         "\"format\":\"dop\",\"duration\":2,\"title\":\"Take \\\"Five\\\"\","
                         "\"artist\":\"Quartet\",\"src_bits\":1,\"src_rate\":2822400,\"album\":\"Live\","
                         "\"track\":\"3/9\",\"disc\":null,\"date\":\"1959\"}\n";
  ASSERT_GE(r.out.size(), expected.size());
  EXPECT_EQ(r.out.substr(0, expected.size()), expected);
  EXPECT_NE(r.out.find("\"path\":\"" + dir_.file("nothing.dsf") + "\",\"error\":"),
            std::string::npos);
}

TEST_F(CliTest, DecodeWritesTheDoPWordsOfTheWindow) {
  std::string path = makeDsf();
  std::string out = dir_.file("out.raw");
  auto whole = runCommand(kCli + " decode " + path + " -o " + out);
  ASSERT_EQ(whole.status, 0);
  auto all = readFloats(out);
  ASSERT_EQ(all.size(), 352800u * 2);  // every frame of both channels
  uint8_t first_marker = markerOf(doPWord(all[0]));
  for (size_t f = 0; f < 352800; f += 997) {
    for (size_t c = 0; c < 2; ++c) {
      uint8_t marker = f % 2 ? static_cast<uint8_t>(~first_marker) : first_marker;
      ASSERT_EQ(doPWord(all[f * 2 + c]),
                expectedWord(marker, reverseBits(audio_[c][2 * f]), reverseBits(audio_[c][2 * f + 1])))
          << "frame " << f;
    }
  }

  // A window from 0.5 s lasting 1 s: delivery resumes at the start of the block
  // holding 0.5 s and stops once the decoder's time reaches 1.5 s.
  auto window = runCommand(kCli + " decode " + path + " --start 0.5 --length 1 -o " + out);
  ASSERT_EQ(window.status, 0);
  auto part = readFloats(out);
  size_t block_start_frame = 176128 / 2;
  ASSERT_GT(part.size(), 4u);
  for (size_t i = 0; i < part.size(); i += 101) {
    ASSERT_EQ(doPWord(part[i]) & 0xFFFFFF, doPWord(all[block_start_frame * 2 + i]) & 0xFFFFFF) << i;
  }
  // Requests stop once the decoder's time stamp reaches 1.5 s: one second of frames,
  // counted from the block start where delivery resumed.
  EXPECT_EQ(part.size() / 2, 176400u);
}

TEST_F(CliTest, DecodeOfAnUnreadableFileFails) {
  std::string bad = dir_.file("bad.dsf");
  writeFile(bad, {'D', 'S', 'D', ' ', 0, 0, 0, 0});
  auto r = runCommand(kCli + " decode " + bad + " -o " + dir_.file("x.raw") + " 2>/dev/null");
  EXPECT_NE(r.status, 0);
}

TEST_F(CliTest, PluginsListsTheDsfDecoder) {
  auto r = runCommand(kCli + " plugins --json");
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("{\"name\":\"DSF Decoder\",\"exts\":\"dsf\",\"version\":\""), std::string::npos);
}

}  // namespace
