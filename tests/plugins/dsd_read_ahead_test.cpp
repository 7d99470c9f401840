// The DSD decoders read their files well ahead of what they deliver. Long files
// checked word by word: across the reads, after seeks into and out of what was read
// ahead, and up to an end that falls inside a read.
#include <gtest/gtest.h>

#include <vector>

#include "plugins/dsdiff/dalfin.h"
#include "plugins/dsf/selvet.h"
#include "support/dop.h"
#include "support/dop_marker_run.h"
#include "support/dsdiff_writer.h"
#include "support/dsf_writer.h"
#include "support/engine_as_host.h"
#include "support/temp_dir.h"

namespace {

constexpr uint32_t kBytesPerSecond = 352800;  // DSD64, per channel

// The words of two channels from byte `from` on, each byte bit-reversed first when
// `reverse`; a missing channel byte is 0.
std::vector<uint32_t> stereoWords(const std::vector<std::vector<uint8_t>>& audio, size_t from, size_t to,
                                  bool reverse, uint8_t marker) {
  auto byte = [&](size_t c, size_t i) -> uint8_t {
    const uint8_t b = i < audio[c].size() ? audio[c][i] : 0;
    return reverse ? reverseBits(b) : b;
  };
  std::vector<uint32_t> words;
  for (size_t i = from; i + 1 < to; i += 2) {
    for (size_t c = 0; c < 2; ++c) words.push_back(expectedWord(marker, byte(c, i), byte(c, i + 1)));
    marker = static_cast<uint8_t>(~marker);
  }
  return words;
}

// The time of byte `at` of each channel, rounded up so that the seek lands on it.
uint64_t timeOfByte(uint64_t at) { return (at * 1000000000u + kBytesPerSecond - 1) / kBytesPerSecond; }

class DsdReadAheadTest : public ::testing::Test {
 protected:
  DsdReadAheadTest() { attachEngineAsHost(); }
  TempDir dir_;
};

TEST_F(DsdReadAheadTest, DsfAcrossManyReadsWithOddRequests) {
  DsfSetup setup;
  setup.audio = patternAudio(2, 40 * 4096 + 1234);  // 41 block groups, the last padded
  writeFile(dir_.file("a.dsf"), buildDsf(setup));
  sonara::dsf::Selvet d;
  ASSERT_EQ(d.openByPath(dir_.file("a.dsf"), nullptr), 0);
  const auto words = readAllWords(d, 2 * 777);
  ASSERT_FALSE(words.empty());
  EXPECT_EQ(words, stereoWords(setup.audio, 0, setup.audio[0].size(), true, markerOf(words[0])));
}

TEST_F(DsdReadAheadTest, DsfSeeksToBlocksInAndOutOfWhatWasReadAhead) {
  DsfSetup setup;
  setup.audio = patternAudio(2, 40 * 4096);
  writeFile(dir_.file("a.dsf"), buildDsf(setup));
  sonara::dsf::Selvet d;
  ASSERT_EQ(d.openByPath(dir_.file("a.dsf"), nullptr), 0);
  std::vector<float> buf(2 * 100);
  // Block boundaries: the next block, one far ahead, back to the start, and the last.
  for (uint64_t block : {1u, 33u, 0u, 17u, 16u, 39u}) {
    SCOPED_TRACE(block);
    uint32_t n = static_cast<uint32_t>(buf.size());
    ASSERT_EQ(d.getNextSamples(buf.data(), &n), 0);
    ASSERT_EQ(d.seek(timeOfByte(block * 4096)), 0);
    const auto words = readAllWords(d, 2 * 1000);
    ASSERT_FALSE(words.empty());
    EXPECT_EQ(words, stereoWords(setup.audio, block * 4096, setup.audio[0].size(), true, markerOf(words[0])));
  }
}

TEST_F(DsdReadAheadTest, DsfEndingInsideAReadPlaysChannelZerosLengthWithSilenceForTheRest) {
  DsfSetup setup;
  setup.audio = patternAudio(2, 40 * 4096);
  auto bytes = buildDsf(setup);
  const size_t audio_start = 28 + 52 + 12;
  bytes.resize(audio_start + 20 * 2 * 4096 + 1000);  // 1000 bytes into group 20's left block
  writeFile(dir_.file("cut.dsf"), bytes);
  sonara::dsf::Selvet d;
  ASSERT_EQ(d.openByPath(dir_.file("cut.dsf"), nullptr), 0);
  const auto words = readAllWords(d, 2 * 4096);
  ASSERT_FALSE(words.empty());
  auto held = setup.audio;
  held[0].resize(20 * 4096 + 1000);
  held[1].resize(20 * 4096);  // its block of group 20 lies past the end
  EXPECT_EQ(words, stereoWords(held, 0, 20 * 4096 + 1000, true, markerOf(words[0])));
}

TEST_F(DsdReadAheadTest, DsdiffAcrossManyReadsAndSeeks) {
  DffSetup setup;
  setup.audio = patternAudio(2, 300001);
  writeFile(dir_.file("a.dff"), buildDff(setup));
  sonara::dsdiff::Dalfin d;
  ASSERT_EQ(d.openByPath(dir_.file("a.dff"), nullptr), 0);
  const auto words = readAllWords(d, 2 * 777);
  ASSERT_FALSE(words.empty());
  EXPECT_EQ(words, stereoWords(setup.audio, 0, 300001, false, markerOf(words[0])));
  std::vector<float> buf(2 * 100);
  for (uint64_t at : {10000u, 250000u, 1000u, 131072u}) {
    SCOPED_TRACE(at);
    ASSERT_EQ(d.seek(timeOfByte(at)), 0);
    uint32_t n = static_cast<uint32_t>(buf.size());
    ASSERT_EQ(d.getNextSamples(buf.data(), &n), 0);
    ASSERT_EQ(d.seek(timeOfByte(at)), 0);  // again, with part of it read ahead
    const auto rest = readAllWords(d, 2 * 2048);
    ASSERT_FALSE(rest.empty());
    EXPECT_EQ(rest, stereoWords(setup.audio, at, 300001, false, markerOf(rest[0])));
  }
}

}  // namespace
