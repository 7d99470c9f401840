#include <gtest/gtest.h>

#include <numeric>

#include "engine/play/ring_buffer.h"

namespace {

struct RingDeleter {
  void operator()(RingBuffer* r) const { destroyRingBuffer(r); }
};
using Ring = std::unique_ptr<RingBuffer, RingDeleter>;

TEST(RingBuffer, WrapsAroundTheEndOfItsStorage) {
  Ring ring(createRingBuffer(8));
  ASSERT_TRUE(ring);
  // Read index 6, nothing stored.
  ring->readIndex = ring->writeIndex = 6;
  const float in[5] = {1, 2, 3, 4, 5};
  ASSERT_EQ(lockRingBuffer(ring.get()), 0);
  copyRingBufferInput(ring.get(), in, 5);
  EXPECT_EQ(forwordRingBufferInput(ring.get(), 5), 1u);
  unlockRingBuffer(ring.get());
  EXPECT_EQ(ring->writeIndex, 3u);
  EXPECT_EQ(ring->count, 5u);
  EXPECT_EQ(ring->data[6], 1);
  EXPECT_EQ(ring->data[7], 2);
  EXPECT_EQ(ring->data[0], 3);
  EXPECT_EQ(ring->data[2], 5);
  float out[5] = {};
  copyRingBufferOutput(ring.get(), out, 5);
  EXPECT_EQ(std::vector<float>(out, out + 5), std::vector<float>(in, in + 5));
  EXPECT_EQ(forwordRingBufferOutput(ring.get(), 5), 1u);
  EXPECT_EQ(getRingBufferOutputLength(ring.get()), 0u);
  EXPECT_EQ(getRingBufferInputLength(ring.get()), 8u);
}

TEST(RingBuffer, FullRingIgnoresInputAndEmptyRingIgnoresOutput) {
  Ring ring(createRingBuffer(4));
  float out[4] = {9, 9, 9, 9};
  copyRingBufferOutput(ring.get(), out, 4);
  EXPECT_EQ(out[0], 9);
  const float in[4] = {1, 2, 3, 4};
  copyRingBufferInput(ring.get(), in, 4);
  forwordRingBufferInput(ring.get(), 4);
  const float more[1] = {7};
  copyRingBufferInput(ring.get(), more, 1);
  EXPECT_EQ(ring->data[0], 1);
  clearRingBuffer(ring.get());
  EXPECT_EQ(ring->count, 0u);
  EXPECT_EQ(ring->readIndex, 0u);
}

TEST(RingBuffer, ZeroCapacityIsRefused) { EXPECT_EQ(createRingBuffer(0), nullptr); }

}  // namespace
