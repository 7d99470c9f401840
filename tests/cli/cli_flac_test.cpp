// pelmora-cli decode of FLAC files against flac's own decoder, value for value.
#include <gtest/gtest.h>

#include "support/flac_fixtures.h"
#include "support/run_command.h"
#include "support/temp_dir.h"

namespace {

const std::string kCli = PELMORA_CLI_PATH;

struct Format {
  uint32_t rate, bits, channels;
};

class CliFlacTest : public ::testing::TestWithParam<Format> {
 protected:
  TempDir dir_;
};

TEST_P(CliFlacTest, DecodeMatchesTheReferenceBitForBit) {
  const Format f = GetParam();
  FlacSetup setup{f.rate, f.bits, f.channels, 0.4, {"ARTIST=Someone"}};
  std::string flac = makeFlac(dir_.path(), "track", setup);
  ASSERT_FALSE(flac.empty());
  auto reference = referenceDecode(flac, dir_.file("ref.raw"), f.bits);
  ASSERT_EQ(reference.size(), static_cast<size_t>(f.rate * 0.4) * f.channels);
  std::string out = dir_.file("out.raw");
  ASSERT_EQ(runCommand(kCli + " decode " + flac + " -o " + out).status, 0);
  EXPECT_TRUE(sameBits(readFloatFile(out), reference));

  auto info = runCommand(kCli + " info --json " + flac);
  EXPECT_NE(info.out.find("\"rate\":" + std::to_string(f.rate) + ",\"channels\":" +
                          std::to_string(f.channels) + ",\"bits\":32,\"format\":\"lpcm\""),
            std::string::npos)
      << info.out;
  EXPECT_NE(info.out.find("\"src_bits\":" + std::to_string(f.bits)), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Formats, CliFlacTest,
                         ::testing::Values(Format{44100, 16, 2}, Format{48000, 8, 1},
                                           Format{44100, 24, 6}, Format{96000, 24, 2},
                                           Format{192000, 24, 2}, Format{384000, 16, 2}),
                         [](const auto& info) {
                           return std::to_string(info.param.bits) + "bit_" +
                                  std::to_string(info.param.rate) + "Hz_" +
                                  std::to_string(info.param.channels) + "ch";
                         });

TEST(CliFlacWindow, StartAndLengthCutTheReference) {
  TempDir dir;
  FlacSetup setup{44100, 16, 2, 2.0, {}};
  std::string flac = makeFlac(dir.path(), "window", setup);
  ASSERT_FALSE(flac.empty());
  auto reference = referenceDecode(flac, dir.file("ref.raw"), 16);
  std::string out = dir.file("out.raw");
  ASSERT_EQ(runCommand(kCli + " decode " + flac + " --start 0.5 --length 1 -o " + out).status, 0);
  auto part = readFloatFile(out);
  // Exactly the samples from 0.5 s to 1.5 s.
  ASSERT_GE(part.size(), 2u);
  std::vector<float> expected(reference.begin() + 22050 * 2,
                              reference.begin() + static_cast<long>(22050 * 2 + part.size()));
  EXPECT_TRUE(sameBits(part, expected));
  size_t frames = part.size() / 2;
  EXPECT_EQ(frames, 44100u);
}

}  // namespace
