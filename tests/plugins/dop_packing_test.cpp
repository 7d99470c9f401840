// The DoP packing both DSD plug-ins share, checked word by word against words built
// here independently.
#include <gtest/gtest.h>

#include <vector>

#include "plugins/common/dop_words.h"
#include "support/dop.h"

namespace dsd = sonara::dsd;

namespace {

std::vector<uint32_t> words(const std::vector<float>& values) {
  std::vector<uint32_t> out;
  for (float v : values) out.push_back(doPWord(v));
  return out;
}

TEST(DoPPacking, InterleavedStereoPairsEachChannelsBytesInTimeOrder) {
  const std::vector<uint8_t> in{0x01, 0x81, 0x02, 0x82, 0x03, 0x83, 0x04, 0x84, 0x05};  // a partial frame
  std::vector<float> out(6, -1.0f);
  uint8_t next = dsd::packDoPInterleaved(in, 2, out, 2, 0xFA);
  EXPECT_EQ(next, 0xFA);  // two frames
  EXPECT_EQ(words(out), (std::vector<uint32_t>{0xFA010200, 0xFA818200, 0x05030400, 0x05838400,
                                               doPWord(-1.0f), doPWord(-1.0f)}));
}

TEST(DoPPacking, MonoGoesToEveryOutputChannel) {
  const std::vector<uint8_t> in{0x11, 0x22, 0x33, 0x44};
  std::vector<float> out(4);
  EXPECT_EQ(dsd::packDoPInterleaved(in, 1, out, 2, 0x05), 0x05);
  EXPECT_EQ(words(out), (std::vector<uint32_t>{0x05112200, 0x05112200, 0xFA334400, 0xFA334400}));
}

TEST(DoPPacking, FewerOutputChannelsTakeTheFirstOnes) {
  std::vector<uint8_t> in;
  for (uint8_t i = 0; i < 12; ++i) in.push_back(static_cast<uint8_t>(0x10 * (i % 6) + i / 6));  // 6 channels
  std::vector<float> out(2);
  dsd::packDoPInterleaved(in, 6, out, 2, 0x05);
  EXPECT_EQ(words(out), (std::vector<uint32_t>{0x05000100, 0x05101100}));
}

TEST(DoPPacking, OneChannelWithAndWithoutBitReversal) {
  const std::vector<uint8_t> in{0x01, 0x80, 0xF0, 0x0F};
  std::vector<float> out(4, 0.0f);
  EXPECT_EQ(dsd::packDoPChannel(in, true, std::span<float>(out).subspan(1), 2, 0x05), 0x05);
  EXPECT_EQ(words(out), (std::vector<uint32_t>{0, 0x05800100, 0, 0xFA0FF000}));
  std::vector<float> plain(2);
  dsd::packDoPChannel(in, false, plain, 1, 0xFA);
  EXPECT_EQ(words(plain), (std::vector<uint32_t>{0xFA018000, 0x05F00F00}));
}

TEST(DoPPacking, SilenceFillsWholeFramesOnly) {
  std::vector<float> out(5, 0.0f);
  EXPECT_EQ(dsd::packDoPSilence(out, 2, 0xFA), 0xFA);
  EXPECT_EQ(words(out), (std::vector<uint32_t>{0xFA969600, 0xFA969600, 0x05969600, 0x05969600, 0}));
}

}  // namespace
