// The streaming queue: 30 seconds of elements in a ring. Output is withheld until a
// tenth of a second is queued (or the input has finished), and again after an
// underrun, so that a starved device gets silence rather than a trickle.
#pragma once

#include <algorithm>
#include <memory>
#include <vector>

#include "engine/play/audio_output_buffer.h"
#include "engine/play/ring_buffer.h"

class AudioOutputRingBuffer final : public AudioOutputBuffer {
 public:
  // Nothing when the ring cannot be allocated or the format is unusable.
  static std::shared_ptr<AudioOutputRingBuffer> create(double rate, uint32_t channels,
                                                       uint32_t bits, uint32_t frames);
  // The ring's storage is freed on the background queue, never on this thread.
  ~AudioOutputRingBuffer() override;

  uint32_t getRequiredSampleSize() override;
  uint32_t addSamples(const float* source, uint32_t size) override;
  uint32_t getSamples(float* destination, uint32_t size) override;
  void setTimestamp(uint64_t ns) override;
  uint64_t getTimestamp() override;
  void clearSamples() override;
  // Drops queued elements but keeps an odd frame, so the DoP marker alternation of
  // what follows stays in step with what was played.
  void clearDoPSamples() override;
  void setInputFinished(bool finished) override { input_finished_.store(finished); }
  bool inputFinished() override { return input_finished_.load(); }

  uint64_t capacity() const { return ring_->capacity; }
  // Half the ring: a full queue is topped up every 15 s, not every device cycle.
  uint32_t refillLevel() const override { return static_cast<uint32_t>(std::min<uint64_t>(capacity() / 2, UINT32_MAX)); }

 private:
  AudioOutputRingBuffer(double rate, uint32_t channels, uint32_t bits, uint32_t frames,
                        RingBuffer* ring);
  void addConsumed(uint64_t elements);

  RingBuffer* ring_;
  bool waiting_ = true;  // guarded by the ring's mutex
  uint64_t threshold_;   // a tenth of a second of elements
  std::vector<float> kept_frame_;  // room for the frame clearDoPSamples keeps
};
