#include <gtest/gtest.h>

#include <numeric>

#include "engine/play/audio_output_expandable_buffer.h"
#include "engine/play/audio_output_ring_buffer.h"

namespace {

TEST(AudioOutputRingBuffer, HoldsThirtySecondsAndWithholdsUntilATenth) {
  auto q = AudioOutputRingBuffer::create(44100, 2, 32, 512);
  ASSERT_TRUE(q);
  EXPECT_EQ(q->capacity(), 2u * 44100 * 30);
  EXPECT_EQ(q->getRequiredSampleSize(), 2u * 44100 * 30);
  std::vector<float> data(8820, 0.5f), out(8820);
  EXPECT_EQ(q->addSamples(data.data(), 8819), 8819u);
  EXPECT_EQ(q->getSamples(out.data(), 100), 0u);  // 8819 < 8820: still waiting
  EXPECT_EQ(q->addSamples(data.data(), 1), 1u);
  EXPECT_EQ(q->getSamples(out.data(), 100), 100u);
}

TEST(AudioOutputRingBuffer, FinishedInputPlaysAShortTail) {
  auto q = AudioOutputRingBuffer::create(44100, 2, 32, 512);
  std::vector<float> data(10, 0.25f), out(10);
  q->addSamples(data.data(), 10);
  EXPECT_EQ(q->getSamples(out.data(), 10), 0u);
  q->setInputFinished(true);
  EXPECT_TRUE(q->inputFinished());
  EXPECT_EQ(q->getSamples(out.data(), 10), 10u);
  EXPECT_EQ(out, data);
}

TEST(AudioOutputRingBuffer, UnderrunReArmsTheThreshold) {
  auto q = AudioOutputRingBuffer::create(1000, 1, 32, 16);  // threshold 100 elements
  std::vector<float> data(150), out(200);
  q->addSamples(data.data(), 150);
  EXPECT_EQ(q->getSamples(out.data(), 200), 150u);
  EXPECT_EQ(q->getSamples(out.data(), 10), 0u);  // underrun
  q->addSamples(data.data(), 50);
  EXPECT_EQ(q->getSamples(out.data(), 10), 0u);  // waiting again
  q->addSamples(data.data(), 50);
  EXPECT_EQ(q->getSamples(out.data(), 10), 10u);
}

TEST(AudioOutputRingBuffer, FullQueueKeepsTheRestForTheProducer) {
  auto q = AudioOutputRingBuffer::create(10, 1, 32, 1);  // 300 elements
  std::vector<float> data(400);
  EXPECT_EQ(q->addSamples(data.data(), 400), 300u);
  EXPECT_EQ(q->getRequiredSampleSize(), 0u);
}

TEST(AudioOutputRingBuffer, TimestampsRoundTrip) {
  auto q = AudioOutputRingBuffer::create(96000, 2, 32, 512);
  q->setTimestamp(1000000000);
  EXPECT_EQ(q->getTimestamp(), 1000000000u);
  std::vector<float> data(96000 * 2), out(96000);
  q->addSamples(data.data(), static_cast<uint32_t>(data.size()));
  q->getSamples(out.data(), 96000);  // half a second more
  EXPECT_EQ(q->getTimestamp(), 1500000000u);
  q->clearSamples();  // discarded elements count as played
  EXPECT_EQ(q->getTimestamp(), 2000000000u);
}

TEST(AudioOutputRingBuffer, ClearDoPSamplesKeepsMarkerParity) {
  auto q = AudioOutputRingBuffer::create(176400, 2, 32, 512);
  std::vector<float> frames(14);
  std::iota(frames.begin(), frames.end(), 1.0f);
  q->addSamples(frames.data(), 14);  // 7 frames
  q->clearDoPSamples();
  EXPECT_EQ(q->getTimestamp(), 6ull * 1000000000ull / 176400);
  q->setInputFinished(true);
  std::vector<float> out(4);
  ASSERT_EQ(q->getSamples(out.data(), 4), 2u);  // exactly one frame kept
  EXPECT_EQ(out[0], 1.0f);
  EXPECT_EQ(out[1], 2.0f);

  auto even = AudioOutputRingBuffer::create(176400, 2, 32, 512);
  even->addSamples(frames.data(), 12);  // 6 frames
  even->clearDoPSamples();
  even->setInputFinished(true);
  EXPECT_EQ(even->getSamples(out.data(), 4), 0u);
  EXPECT_EQ(even->getTimestamp(), 6ull * 1000000000ull / 176400);
}

TEST(AudioOutputRingBuffer, UnusableFormatsAreRefused) {
  EXPECT_EQ(AudioOutputRingBuffer::create(44100, 0, 32, 512), nullptr);
  EXPECT_EQ(AudioOutputRingBuffer::create(0, 2, 32, 512), nullptr);
}

TEST(AudioOutputExpandableBuffer, NeverWithholdsAndSeeksWithinItsData) {
  auto q = AudioOutputExpandableBuffer::create(48000, 2, 32, 512);
  ASSERT_TRUE(q);
  EXPECT_EQ(q->getRequiredSampleSize(), 96000u);
  std::vector<float> data(40000);
  std::iota(data.begin(), data.end(), 0.0f);
  EXPECT_EQ(q->addSamples(data.data(), 40000), 40000u);
  std::vector<float> out(4);
  EXPECT_EQ(q->getSamples(out.data(), 4), 4u);
  EXPECT_EQ(out[3], 3.0f);
  q->seek(10000);
  EXPECT_EQ(q->getCurrentPos(), 10000u);
  q->getSamples(out.data(), 2);
  EXPECT_EQ(out[0], 20000.0f);
  q->seek(1000000);  // past the end stops at the end
  EXPECT_EQ(q->getCurrentPos(), 20000u);
  EXPECT_EQ(q->getSamples(out.data(), 4), 0u);
  EXPECT_EQ(q->getTimestamp(), 20000ull * 1000000000ull / 48000);
}

}  // namespace
