// The DoP packing's fast paths (vector steps, float bits built without a conversion,
// bit reversal by table) against words built here the plain way, for every pair of
// byte values, from addresses of any alignment and with frames left over.
#include <gtest/gtest.h>

#include <vector>

#include "plugins/common/dop_stereo_kernels.h"
#include "plugins/common/dop_words.h"
#include "support/dop.h"

namespace dsd = sonara::dsd;

namespace {

constexpr size_t kPairs = 65536;

// Byte pair k holds every value once in each place: k's low byte first, then its
// high byte; `twist` gives the other channel another order of the same pairs.
std::vector<uint8_t> everyPair(uint8_t twist) {
  std::vector<uint8_t> bytes(1 + 2 * kPairs);  // one byte ahead, to start unaligned
  for (size_t k = 0; k < kPairs; ++k) {
    bytes[1 + 2 * k] = static_cast<uint8_t>(k ^ twist);
    bytes[2 + 2 * k] = static_cast<uint8_t>((k >> 8) ^ twist);
  }
  return bytes;
}

uint32_t plainWord(uint8_t marker, uint8_t first, uint8_t second, bool reverse) {
  return reverse ? expectedWord(marker, reverseBits(first), reverseBits(second)) : expectedWord(marker, first, second);
}

// Words of `frames` stereo frames of two channels' byte pairs, markers from `marker`.
std::vector<uint32_t> plainStereo(const uint8_t* left, const uint8_t* right, size_t frames, bool reverse,
                                  uint8_t marker) {
  std::vector<uint32_t> words;
  for (size_t j = 0; j < frames; ++j) {
    words.push_back(plainWord(marker, left[2 * j], left[2 * j + 1], reverse));
    words.push_back(plainWord(marker, right[2 * j], right[2 * j + 1], reverse));
    marker = static_cast<uint8_t>(~marker);
  }
  return words;
}

std::vector<uint32_t> wordsOf(const std::vector<float>& values, size_t n) {
  std::vector<uint32_t> out;
  for (size_t i = 0; i < n; ++i) out.push_back(doPWord(values[i]));
  return out;
}

TEST(DoPFastPaths, PairOfChannelsForEveryByteValue) {
  const auto left = everyPair(0x00);
  const auto right = everyPair(0xA5);
  const size_t frames = kPairs - 5;  // steps of 8 and a rest
  for (bool lsb_first : {true, false}) {
    for (uint8_t marker : {dsd::kMarkerA, dsd::kMarkerB}) {
      std::vector<float> out(2 * frames);
      const uint8_t next = dsd::packDoPPair(std::span(left).subspan(1, 2 * frames),
                                            std::span(right).subspan(1, 2 * frames), lsb_first, out, marker);
      EXPECT_EQ(next, static_cast<uint8_t>(~marker));  // an odd count of frames
      EXPECT_EQ(wordsOf(out, out.size()), plainStereo(&left[1], &right[1], frames, lsb_first, marker))
          << "lsb_first " << lsb_first << " marker " << int{marker};
    }
  }
}

TEST(DoPFastPaths, ShiftReversalAgreesWhereTheTableOneRuns) {
  const auto left = everyPair(0x3C);
  const auto right = everyPair(0xC3);
  for (bool lsb_first : {true, false}) {
    std::vector<float> out(2 * kPairs);
    const size_t done = dsd::packDoPPairStepsByShifts(&left[1], &right[1], lsb_first, out.data(), kPairs,
                                                      dsd::kFloatBitsB, dsd::kFloatBitsA);
    ASSERT_TRUE(done == kPairs || done == 0);  // 0: a machine that packs in the plain loops only
    EXPECT_EQ(wordsOf(out, 2 * done), plainStereo(&left[1], &right[1], done, lsb_first, dsd::kMarkerB));
  }
}

TEST(DoPFastPaths, InterleavedStereoForEveryByteValue) {
  const auto left = everyPair(0x00);
  const auto right = everyPair(0x5A);
  const size_t frames = kPairs - 3;
  std::vector<uint8_t> in(1 + 4 * frames);  // L R L R ..., one byte ahead
  for (size_t i = 0; i < 2 * frames; ++i) {
    in[1 + 2 * i] = left[1 + i];
    in[2 + 2 * i] = right[1 + i];
  }
  for (uint8_t marker : {dsd::kMarkerA, dsd::kMarkerB}) {
    std::vector<float> out(2 * frames);
    EXPECT_EQ(dsd::packDoPInterleaved(std::span(in).subspan(1), 2, out, 2, marker), static_cast<uint8_t>(~marker));
    EXPECT_EQ(wordsOf(out, out.size()), plainStereo(&left[1], &right[1], frames, false, marker));
  }
}

TEST(DoPFastPaths, OneChannelOfManyForEveryByteValue) {
  const auto bytes = everyPair(0x00);
  for (bool lsb_first : {true, false}) {
    std::vector<float> out(3 * kPairs, 0.0f);
    dsd::packDoPChannel(std::span(bytes).subspan(1), lsb_first, std::span(out).subspan(2), 3, dsd::kMarkerA);
    uint8_t marker = dsd::kMarkerA;
    for (size_t j = 0; j < kPairs; ++j) {
      ASSERT_EQ(doPWord(out[3 * j + 2]), plainWord(marker, bytes[1 + 2 * j], bytes[2 + 2 * j], lsb_first)) << j;
      ASSERT_EQ(out[3 * j], 0.0f);
      marker = static_cast<uint8_t>(~marker);
    }
  }
}

TEST(DoPFastPaths, SixInterleavedChannelsForEveryByteValue) {
  const auto bytes = everyPair(0x00);
  const size_t frames = kPairs / 6;
  std::vector<uint8_t> in(12 * frames);
  for (size_t j = 0; j < frames; ++j) {
    for (size_t c = 0; c < 6; ++c) {
      in[12 * j + c] = bytes[1 + 2 * (6 * j + c)];
      in[12 * j + 6 + c] = bytes[2 + 2 * (6 * j + c)];
    }
  }
  std::vector<float> out(6 * frames);
  dsd::packDoPInterleaved(in, 6, out, 6, dsd::kMarkerB);
  uint8_t marker = dsd::kMarkerB;
  for (size_t j = 0; j < frames; ++j) {
    for (size_t c = 0; c < 6; ++c) {
      const size_t k = 6 * j + c;
      ASSERT_EQ(doPWord(out[6 * j + c]), plainWord(marker, bytes[1 + 2 * k], bytes[2 + 2 * k], false)) << k;
    }
    marker = static_cast<uint8_t>(~marker);
  }
}

TEST(DoPFastPaths, AnyOtherMarkerStillGoesIntoTheWords) {
  const auto left = everyPair(0x00);
  const auto right = everyPair(0x0F);
  const size_t frames = 1000;
  std::vector<float> out(2 * frames);
  EXPECT_EQ(dsd::packDoPPair(std::span(left).subspan(1, 2 * frames), std::span(right).subspan(1, 2 * frames), true,
                             out, 0x33),
            0x33);
  EXPECT_EQ(wordsOf(out, out.size()), plainStereo(&left[1], &right[1], frames, true, 0x33));
}

}  // namespace
