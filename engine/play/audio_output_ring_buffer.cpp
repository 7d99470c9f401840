#include "engine/play/audio_output_ring_buffer.h"

#include <algorithm>
#include <cmath>
#include <new>

#include "platform/work_queue.h"

std::shared_ptr<AudioOutputRingBuffer> AudioOutputRingBuffer::create(double rate,
                                                                     uint32_t channels,
                                                                     uint32_t bits,
                                                                     uint32_t frames) {
  if (channels == 0 || !(rate > 0) || rate > 1e8) return nullptr;
  RingBuffer* ring = createRingBuffer(channels * static_cast<uint64_t>(std::floor(rate * 30.0)));
  if (!ring) return nullptr;
  AudioOutputRingBuffer* queue = nullptr;
  try {
    queue = new AudioOutputRingBuffer(rate, channels, bits, frames, ring);
  } catch (const std::bad_alloc&) {
  }
  if (!queue) {
    destroyRingBuffer(ring);
    return nullptr;
  }
  return std::shared_ptr<AudioOutputRingBuffer>(queue);
}

AudioOutputRingBuffer::AudioOutputRingBuffer(double rate, uint32_t channels, uint32_t bits,
                                             uint32_t frames, RingBuffer* ring)
    : AudioOutputBuffer(rate, channels, bits, frames),
      ring_(ring),
      threshold_(static_cast<uint64_t>(channels * rate * 0.1)),
      kept_frame_(channels) {}

AudioOutputRingBuffer::~AudioOutputRingBuffer() {
  RingBuffer* ring = ring_;
  sonara::platform::backgroundQueue().async([ring] { destroyRingBuffer(ring); });
}

uint32_t AudioOutputRingBuffer::getRequiredSampleSize() {
  lockRingBuffer(ring_);
  uint64_t free_space = getRingBufferInputLength(ring_);
  unlockRingBuffer(ring_);
  return static_cast<uint32_t>(std::min<uint64_t>(free_space, UINT32_MAX));
}

uint32_t AudioOutputRingBuffer::addSamples(const float* source, uint32_t size) {
  lockRingBuffer(ring_);
  uint64_t n = std::min<uint64_t>(getRingBufferInputLength(ring_), size);
  copyRingBufferInput(ring_, source, n);
  forwordRingBufferInput(ring_, n);
  if (getRingBufferOutputLength(ring_) >= threshold_) waiting_ = false;
  unlockRingBuffer(ring_);
  return static_cast<uint32_t>(n);
}

uint32_t AudioOutputRingBuffer::getSamples(float* destination, uint32_t size) {
  lockRingBuffer(ring_);
  if (waiting_ && !input_finished_.load()) {
    unlockRingBuffer(ring_);
    std::lock_guard pass(lock_);
    return 0;
  }
  uint64_t n = std::min<uint64_t>(getRingBufferOutputLength(ring_), size);
  if (n > 0) {
    copyRingBufferOutput(ring_, destination, n);
  } else {
    waiting_ = true;  // an underrun re-arms the fill threshold
  }
  forwordRingBufferOutput(ring_, n);
  unlockRingBuffer(ring_);
  addConsumed(n);
  return static_cast<uint32_t>(n);
}

void AudioOutputRingBuffer::addConsumed(uint64_t elements) {
  std::lock_guard lock(lock_);
  samples_count_ += elements;
}

void AudioOutputRingBuffer::setTimestamp(uint64_t ns) {
  std::lock_guard lock(lock_);
  setTimestampLocked(ns);
}

uint64_t AudioOutputRingBuffer::getTimestamp() {
  std::lock_guard lock(lock_);
  return timestampLocked();
}

void AudioOutputRingBuffer::clearSamples() {
  lockRingBuffer(ring_);
  waiting_ = true;
  uint64_t dropped = getRingBufferOutputLength(ring_);
  clearRingBuffer(ring_);
  clears_.fetch_add(1, std::memory_order_release);
  unlockRingBuffer(ring_);
  addConsumed(dropped);  // discarded elements count as played: the position moves on
}

void AudioOutputRingBuffer::clearDoPSamples() {
  lockRingBuffer(ring_);
  waiting_ = true;
  uint64_t frames = getRingBufferOutputLength(ring_) / channels_;
  if (frames % 2 == 1) {
    copyRingBufferOutput(ring_, kept_frame_.data(), channels_);
    clearRingBuffer(ring_);
    copyRingBufferInput(ring_, kept_frame_.data(), channels_);
    forwordRingBufferInput(ring_, channels_);
    frames -= 1;
  } else {
    clearRingBuffer(ring_);
  }
  clears_.fetch_add(1, std::memory_order_release);
  unlockRingBuffer(ring_);
  addConsumed(uint64_t{channels_} * frames);
}
