#include "engine/play/audio_output_expandable_buffer.h"

#include <algorithm>
#include <new>

std::shared_ptr<AudioOutputExpandableBuffer> AudioOutputExpandableBuffer::create(
    double rate, uint32_t channels, uint32_t bits, uint32_t frames) {
  if (channels == 0 || !(rate > 0) || rate > 1e8) return nullptr;
  ExpandableBuffer* exb = createExpandableBuffer();
  if (!exb) return nullptr;
  auto* queue = new (std::nothrow) AudioOutputExpandableBuffer(rate, channels, bits, frames, exb);
  if (!queue) {
    destroyExpandableBuffer(exb);
    return nullptr;
  }
  return std::shared_ptr<AudioOutputExpandableBuffer>(queue);
}

AudioOutputExpandableBuffer::AudioOutputExpandableBuffer(double rate, uint32_t channels,
                                                         uint32_t bits, uint32_t frames,
                                                         ExpandableBuffer* exb)
    : AudioOutputBuffer(rate, channels, bits, frames), exb_(exb) {
  ++instances_;
}

AudioOutputExpandableBuffer::~AudioOutputExpandableBuffer() {
  destroyExpandableBuffer(exb_);
  --instances_;
}

uint32_t AudioOutputExpandableBuffer::getRequiredSampleSize() {
  return static_cast<uint32_t>(channels_ * sampling_rate_);
}

uint32_t AudioOutputExpandableBuffer::addSamples(const float* source, uint32_t size) {
  lockExpandableBuffer(exb_);
  uint64_t n = addTailExpandableBuffer(exb_, source, size);
  unlockExpandableBuffer(exb_);
  return static_cast<uint32_t>(n);
}

uint32_t AudioOutputExpandableBuffer::getSamples(float* destination, uint32_t size) {
  lockExpandableBuffer(exb_);
  const uint64_t copied = copyAcrossJumpLocked(destination, std::min<uint64_t>(size, 0x7FFFFFFF));
  const uint64_t head = getCurrentPosExpandableBuffer(exb_);
  unlockExpandableBuffer(exb_);
  std::lock_guard lock(lock_);
  samples_count_ = head;
  return static_cast<uint32_t>(copied);
}

uint64_t AudioOutputExpandableBuffer::copyAcrossJumpLocked(float* destination, uint64_t wanted) {
  uint64_t copied = 0;
  while (copied < wanted) {
    uint64_t n = std::min(getRemainOfExpandableBuffer(exb_), wanted - copied);
    if (jump_pending_) {
      const uint64_t head = getCurrentPosExpandableBuffer(exb_);
      if (head >= jump_at_) {
        jump_pending_ = false;
        resetHeadPosExpandableBuffer(exb_);
        forwardHeadPosExpandableBuffer(exb_, jump_to_);
        continue;
      }
      n = std::min(n, jump_at_ - head);
    }
    const uint64_t got = n == 0 ? 0 : copyFromHeadPosExpandableBuffer(exb_, destination + copied, n);
    forwardHeadPosExpandableBuffer(exb_, got);
    copied += got;
    if (got < n || n == 0) break;
  }
  return copied;
}

void AudioOutputExpandableBuffer::setTimestamp(uint64_t ns) {
  std::lock_guard lock(lock_);
  setTimestampLocked(ns);
}

uint64_t AudioOutputExpandableBuffer::getTimestamp() {
  std::lock_guard lock(lock_);
  return timestampLocked();
}

void AudioOutputExpandableBuffer::seek(uint64_t frames) {
  lockExpandableBuffer(exb_);
  jump_pending_ = false;
  resetHeadPosExpandableBuffer(exb_);
  uint64_t moved = forwardHeadPosExpandableBuffer(exb_, channels_ * frames);
  unlockExpandableBuffer(exb_);
  std::lock_guard lock(lock_);
  samples_count_ = moved;
}

void AudioOutputExpandableBuffer::jumpAt(uint64_t at, uint64_t to) {
  lockExpandableBuffer(exb_);
  jump_pending_ = true;
  jump_at_ = channels_ * at;
  jump_to_ = channels_ * to;
  unlockExpandableBuffer(exb_);
}

uint64_t AudioOutputExpandableBuffer::getCurrentPos() {
  uint64_t head = getCurrentPosExpandableBuffer(exb_);
  std::lock_guard lock(lock_);
  samples_count_ = head;
  return head / channels_;
}
