// The conversion of IO-buffer samples into device integers, against the rule written
// out plainly in double precision, over every 16-bit sample, a sweep of 24-bit and
// 32-bit ones, rounding ties, the extremes and random float bit patterns, for every
// layout; the vectorized blocks, the remainders and unaligned outputs included.
#include <gtest/gtest.h>

#include <bit>
#include <cfloat>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "platform/audio/device_samples.h"
#include "platform/vector_width.h"

using namespace sonara::audio;

namespace {

int32_t plainInteger(float value, uint32_t bits) {
  const double scale = std::ldexp(1.0, static_cast<int>(bits) - 1);
  double v = std::nearbyint(static_cast<double>(value) * scale);
  if (v > scale - 1) v = scale - 1;
  if (v < -scale) v = -scale;
  return static_cast<int32_t>(v);
}

std::vector<uint8_t> plainBytes(const std::vector<float>& in, uint32_t bits, uint32_t width, ByteOrder order) {
  std::vector<uint8_t> out;
  for (float f : in) {
    const auto v = static_cast<uint32_t>(plainInteger(f, bits));
    for (uint32_t b = 0; b < width; ++b) {
      out.push_back(static_cast<uint8_t>(v >> (8 * (order == ByteOrder::Little ? b : width - 1 - b))));
    }
  }
  return out;
}

float sampleOf(int64_t sample, int bits) { return static_cast<float>(std::ldexp(sample, 32 - bits - 31)); }

std::vector<float> values() {
  std::vector<float> v;
  // What decoders deliver: every 16-bit sample, and 24- and 32-bit ones across the range.
  for (int64_t s = -32768; s <= 32767; ++s) v.push_back(sampleOf(s, 16));
  for (int64_t s = -(1 << 23); s < (1 << 23); s += 251) v.push_back(sampleOf(s, 24));
  for (int64_t s : {int64_t{-(1 << 23)}, int64_t{-(1 << 23) + 1}, int64_t{-1}, int64_t{1}, int64_t{(1 << 23) - 1}}) {
    v.push_back(sampleOf(s, 24));
  }
  for (int64_t s : {int64_t{INT32_MIN}, int64_t{INT32_MIN} + 1, int64_t{-1}, int64_t{1}, int64_t{INT32_MAX} - 255,
                    int64_t{INT32_MAX}}) {
    v.push_back(sampleOf(s, 32));
  }
  // Halfway between two integers of a shallower device, and beside it.
  for (int bits : {16, 24}) {
    for (int64_t k : {int64_t{-(1 << (bits - 1)) - 1}, int64_t{-(1 << (bits - 1))}, int64_t{-3}, int64_t{-2},
                      int64_t{-1}, int64_t{0}, int64_t{1}, int64_t{2}, int64_t{(1 << (bits - 1)) - 2},
                      int64_t{(1 << (bits - 1)) - 1}, int64_t{1 << (bits - 1)}}) {
      const auto tie = static_cast<float>(std::ldexp(static_cast<double>(k) + 0.5, 1 - bits));
      v.insert(v.end(), {tie, std::nextafter(tie, -2.0f), std::nextafter(tie, 2.0f)});
    }
  }
  // The extremes.
  for (float f : {0.0f, 1.0f, 0.5f, 1.0f - 0x1p-24f, 2.0f, 0x1p-31f, 0x1p-32f, 0x1.8p-32f, 0x1p-24f, 0x1p-16f,
                  0x1p-8f, 3e-9f, FLT_TRUE_MIN, FLT_MIN, FLT_MAX, std::numeric_limits<float>::infinity()}) {
    v.push_back(f);
    v.push_back(-f);
  }
  // Any float at all.
  std::mt19937 random(25);
  while (v.size() < 500000) {
    const float f = std::bit_cast<float>(static_cast<uint32_t>(random()));
    if (!std::isnan(f)) v.push_back(f);
  }
  return v;
}

struct Layout {
  uint32_t bits;
  uint32_t width;
  ByteOrder order;
  bool wide = false;  // the copies of the loops for AVX2, where the processor has it
};

// Chooses the copies of the loops while it lives.
struct WideVectorsAllowed {
  explicit WideVectorsAllowed(bool wide) { sonara::platform::allowWideVectors(wide); }
  ~WideVectorsAllowed() { sonara::platform::allowWideVectors(true); }
};

class DeviceSamples : public ::testing::TestWithParam<Layout> {};

TEST_P(DeviceSamples, MatchTheRoundedAndClampedIntegerForEveryValue) {
  const Layout l = GetParam();
  const auto in = values();
  const auto expected = plainBytes(in, l.bits, l.width, l.order);
  WideVectorsAllowed wide(GetParam().wide);
  // Unaligned outputs, and lengths that end inside a block.
  for (size_t shift : {0, 1, 3}) {
    for (size_t drop : {0, 1, 5}) {
      const size_t n = in.size() - shift - drop;
      std::vector<uint8_t> out(n * l.width + shift + 1, 0xEE);
      floatsToIntegers({in.data() + shift, n}, l.bits, l.width, l.order, out.data() + shift);
      ASSERT_TRUE(std::equal(out.begin() + static_cast<ptrdiff_t>(shift), out.end() - 1,
                             expected.begin() + static_cast<ptrdiff_t>(shift * l.width)))
          << l.bits << " bits in " << l.width << " bytes, from " << shift;
      EXPECT_EQ(out.back(), 0xEE) << "written past the end";
      for (size_t b = 0; b < shift; ++b) EXPECT_EQ(out[b], 0xEE) << "written before the start";
    }
  }
  // The first mismatch, readably, should the comparison above fail.
  std::vector<uint8_t> out(in.size() * l.width);
  floatsToIntegers(in, l.bits, l.width, l.order, out.data());
  for (size_t i = 0; i < in.size(); ++i) {
    for (uint32_t b = 0; b < l.width; ++b) {
      ASSERT_EQ(out[i * l.width + b], expected[i * l.width + b]) << "value " << in[i] << " byte " << b;
    }
  }
}

TEST_P(DeviceSamples, NotANumberIsFullScaleOfItsSign) {
  const Layout l = GetParam();
  WideVectorsAllowed wide(GetParam().wide);
  std::vector<float> in(11, std::numeric_limits<float>::quiet_NaN());
  in[3] = -in[3];
  std::vector<uint8_t> out(in.size() * l.width);
  floatsToIntegers(in, l.bits, l.width, l.order, out.data());
  const auto plus = plainBytes({1.0f}, l.bits, l.width, l.order);
  const auto minus = plainBytes({-1.0f}, l.bits, l.width, l.order);
  for (size_t i = 0; i < in.size(); ++i) {
    const auto& want = i == 3 ? minus : plus;
    EXPECT_TRUE(std::equal(want.begin(), want.end(), out.begin() + static_cast<ptrdiff_t>(i * l.width))) << i;
  }
}

std::vector<Layout> layouts() {
  std::vector<Layout> all;
  for (bool wide : {false, true}) {
    for (Layout l : {Layout{16, 2, ByteOrder::Little}, Layout{24, 3, ByteOrder::Little},
                     Layout{24, 4, ByteOrder::Little}, Layout{32, 4, ByteOrder::Little}, Layout{16, 2, ByteOrder::Big},
                     Layout{20, 3, ByteOrder::Little}, Layout{16, 4, ByteOrder::Little}, Layout{8, 1, ByteOrder::Little},
                     Layout{24, 3, ByteOrder::Big}, Layout{32, 4, ByteOrder::Big}}) {
      l.wide = wide;
      all.push_back(l);
    }
  }
  return all;
}

INSTANTIATE_TEST_SUITE_P(Layouts, DeviceSamples, ::testing::ValuesIn(layouts()),
                         [](const ::testing::TestParamInfo<Layout>& info) {
                           const Layout& l = info.param;
                           return std::to_string(l.bits) + "BitsIn" + std::to_string(l.width) +
                                  (l.order == ByteOrder::Little ? "BytesLittleEndian" : "BytesBigEndian") +
                                  (l.wide ? "WideVectors" : "AnyProcessor");
                         });

TEST(DeviceWords, PassAsTheyAreInEitherByteOrder) {
  std::vector<uint32_t> words;
  std::mt19937 random(32);
  for (int i = 0; i < 1001; ++i) words.push_back(static_cast<uint32_t>(random()));
  words.insert(words.end(), {0u, 0xFFFFFFFFu, 0x80000000u, 0x7FFFFFFFu, 0xD4C3B2A1u});
  for (uint32_t width : {4u, 3u, 2u, 1u}) {
    for (ByteOrder order : {ByteOrder::Little, ByteOrder::Big}) {
      std::vector<uint8_t> out(words.size() * width + 1, 0xEE);
      wordsToBytes(words.data(), words.size(), width, order, out.data());
      for (size_t i = 0; i < words.size(); ++i) {
        for (uint32_t b = 0; b < width; ++b) {
          const uint32_t shift = 8 * (order == ByteOrder::Little ? b : width - 1 - b);
          ASSERT_EQ(out[i * width + b], static_cast<uint8_t>(words[i] >> shift)) << i << " " << width;
        }
      }
      EXPECT_EQ(out.back(), 0xEE);
    }
  }
}

}  // namespace
