// A producer and a consumer moving a long counted sequence through a queue in
// random-sized pieces: every element must arrive once, in order.
#include <gtest/gtest.h>

#include <random>
#include <thread>

#include "engine/play/audio_output_ring_buffer.h"

TEST(AudioOutputRingBufferThreads, EveryElementArrivesOnceInOrder) {
  // A small ring (1000 Hz mono: 30000 elements) so that it fills and wraps often.
  auto q = AudioOutputRingBuffer::create(1000, 1, 32, 64);
  ASSERT_TRUE(q);
  constexpr uint32_t kTotal = 2'000'000;  // exact in a float
  std::atomic<bool> producer_done{false};

  std::thread producer([&] {
    std::mt19937 rng(1);
    std::vector<float> chunk(5000);
    uint32_t next = 0;
    while (next < kTotal) {
      uint32_t want = std::min<uint32_t>(1 + rng() % 5000, kTotal - next);
      for (uint32_t i = 0; i < want; ++i) chunk[i] = static_cast<float>(next + i);
      uint32_t sent = 0;
      while (sent < want) {
        sent += q->addSamples(chunk.data() + sent, want - sent);
        if (sent < want) {
          std::unique_lock lock(q->condLock());
          q->cond().wait_for(lock, std::chrono::milliseconds(1));
        }
      }
      next += want;
    }
    q->setInputFinished(true);
    producer_done = true;
  });

  std::mt19937 rng(2);
  std::vector<float> out(4096);
  uint32_t expected = 0;
  bool in_order = true;
  while (expected < kTotal) {
    uint32_t got = q->getSamples(out.data(), 1 + rng() % 4096);
    for (uint32_t i = 0; i < got; ++i) {
      if (out[i] != static_cast<float>(expected + i)) in_order = false;
    }
    expected += got;
    q->signal();
    if (got == 0) std::this_thread::yield();
    if (!in_order) break;
  }
  producer.join();
  EXPECT_TRUE(in_order);
  EXPECT_EQ(expected, kTotal);
  EXPECT_EQ(q->getTimestamp(), uint64_t{kTotal} * 1000000);
}
