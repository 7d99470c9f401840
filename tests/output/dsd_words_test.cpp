// The DoP and native-DSD packers' conversions against the same conversions written
// out one word at a time, over every DSD byte pair under both markers, the extremes
// and random float bit patterns, for several channel counts and run lengths.
#include <gtest/gtest.h>

#include <bit>
#include <cfloat>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "engine/output/dsd_words.h"
#include "platform/vector_width.h"

namespace {

std::vector<float> words() {
  std::vector<float> v;
  for (uint32_t marker : {0x05u, 0xFAu}) {
    for (uint32_t bytes = 0; bytes <= 0xFFFF; ++bytes) v.push_back(floatOf(marker << 24 | bytes << 8));
  }
  for (float f : {0.0f, 1.0f, 1.0f - 0x1p-24f, 0.5f, 2.0f, 0x1p-31f, 0x1p-32f, FLT_TRUE_MIN, FLT_MAX,
                  std::numeric_limits<float>::infinity()}) {
    v.push_back(f);
    v.push_back(-f);
  }
  std::mt19937 random(4);
  while (v.size() < 300000) {
    const float f = std::bit_cast<float>(static_cast<uint32_t>(random()));
    if (!std::isnan(f)) v.push_back(f);
  }
  return v;
}

uint32_t plainDsdBits(float f) { return wordOf(f) & 0x00FFFF00u; }

// Each test runs the copies of the loops for any x86-64 processor and those for AVX2
// (where the processor has it).
class DsdWords : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override { sonara::platform::allowWideVectors(GetParam()); }
  void TearDown() override { sonara::platform::allowWideVectors(true); }
};

TEST(DsdBits, AreThoseOfTheWordForEveryFloat) {
  for (float f : words()) ASSERT_EQ(dsdBitsOf(f), plainDsdBits(f)) << f;
  EXPECT_EQ(dsdBitsOf(std::numeric_limits<float>::quiet_NaN()), 0x00FFFF00u);  // as 1
  EXPECT_EQ(dsdBitsOf(-std::numeric_limits<float>::quiet_NaN()), 0u);          // as -1
}

TEST_P(DsdWords, RenumberingGivesEachFrameTheRunningMarker) {
  const auto in = words();
  for (uint32_t channels : {1u, 2u, 3u, 6u, 8u, 64u, 65u}) {
    for (size_t n : {size_t{1}, size_t{7}, size_t{channels} * 2, size_t{4093}, in.size()}) {
      for (uint8_t first : {uint8_t{0x05}, uint8_t{0xFA}}) {
        std::vector<float> got(in.begin(), in.begin() + static_cast<ptrdiff_t>(n));
        const uint8_t after = renumberDoP(got, channels, first);
        uint8_t marker = first;
        for (size_t i = 0; i < n; i += channels) {
          for (size_t c = 0; c < channels && i + c < n; ++c) {
            const float want = floatOf(uint32_t{marker} << 24 | plainDsdBits(in[i + c]));
            ASSERT_EQ(std::bit_cast<uint32_t>(got[i + c]), std::bit_cast<uint32_t>(want))
                << channels << " channels, word " << i + c << " of " << n;
          }
          marker = static_cast<uint8_t>(~marker);
        }
        EXPECT_EQ(after, marker) << channels << " channels, " << n << " words";
      }
    }
  }
}

TEST_P(DsdWords, Dsd16WordsHoldTheLaterByteHigh) {
  const auto in = words();
  for (size_t n : {size_t{1}, size_t{13}, in.size()}) {
    std::vector<float> got(in.begin(), in.begin() + static_cast<ptrdiff_t>(n));
    dsd16FromDoP(got);
    for (size_t i = 0; i < n; ++i) {
      const uint32_t v = wordOf(in[i]);
      const float want = floatOf((v >> 8 & 0xFF) << 24 | (v >> 16 & 0xFF) << 16);
      ASSERT_EQ(std::bit_cast<uint32_t>(got[i]), std::bit_cast<uint32_t>(want)) << i;
    }
  }
  // The bytes A1 (earlier) and B2 as the device's 16-bit integer 0xB2A1.
  std::vector<float> one{floatOf(0x05A1B200u)};
  dsd16FromDoP(one);
  EXPECT_EQ(wordOf(one[0]), 0xB2A10000u);
}

uint32_t plainUnit(float f) {
  const uint32_t v = wordOf(f);
  return (v >> 16 & 0xFF) | (v & 0xFF00);
}

TEST_P(DsdWords, Dsd32WordsJoinTwoFramesInTimeOrder) {
  const auto in = words();
  for (uint32_t channels : {1u, 2u, 3u, 6u}) {
    for (size_t frames : {size_t{1}, size_t{3}, size_t{4}, size_t{4097}, in.size() / (2 * channels)}) {
      std::vector<uint32_t> got(frames * channels + 1, 0xEEEEEEEEu);
      dsd32FromDoP({in.data(), frames * channels * 2}, channels, {got.data(), frames * channels});
      for (size_t f = 0; f < frames; ++f) {
        for (size_t c = 0; c < channels; ++c) {
          const size_t earlier = 2 * f * channels + c;
          const uint32_t want = plainUnit(in[earlier]) | plainUnit(in[earlier + channels]) << 16;
          ASSERT_EQ(got[f * channels + c], want) << channels << " channels, frame " << f;
        }
      }
      EXPECT_EQ(got.back(), 0xEEEEEEEEu) << "written past the end";
    }
  }
  // A1 B2 from one frame and C3 D4 from the next: the bytes A1 B2 C3 D4 in memory.
  std::vector<uint32_t> one(1);
  dsd32FromDoP(std::vector<float>{floatOf(0x05A1B200u), floatOf(0xFAC3D400u)}, 1, one);
  EXPECT_EQ(one[0], 0xD4C3B2A1u);
  dsd32FromLastDoPFrame(std::vector<float>{floatOf(0x05A1B200u)}, one);
  EXPECT_EQ(one[0], 0x9696B2A1u);
}

INSTANTIATE_TEST_SUITE_P(Loops, DsdWords, ::testing::Bool(), [](const ::testing::TestParamInfo<bool>& info) {
  return info.param ? "WideVectors" : "AnyProcessor";
});

}  // namespace
