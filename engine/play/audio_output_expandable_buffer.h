// The queue of RAM play mode: the whole track decoded into memory, kept for replay
// and seeking. It never withholds output.
#pragma once

#include <atomic>
#include <memory>

#include "engine/play/audio_output_buffer.h"
#include "engine/play/expandable_buffer.h"

class AudioOutputExpandableBuffer final : public AudioOutputBuffer {
 public:
  static std::shared_ptr<AudioOutputExpandableBuffer> create(double rate, uint32_t channels,
                                                             uint32_t bits, uint32_t frames);
  ~AudioOutputExpandableBuffer() override;

  // One second of elements.
  uint32_t getRequiredSampleSize() override;
  uint32_t addSamples(const float* source, uint32_t size) override;
  uint32_t getSamples(float* destination, uint32_t size) override;
  void setTimestamp(uint64_t ns) override;
  uint64_t getTimestamp() override;
  void setInputFinished(bool finished) override { input_finished_.store(finished); }
  bool inputFinished() override { return input_finished_.load(); }

  // Moves the read position to `frames` from the start (no further than the data);
  // a jump still waiting is dropped.
  void seek(uint64_t frames);
  // Once reading reaches `at` frames it goes on from `to`: the lead-in silence at the
  // front plays, then the part chosen. Set before the output starts.
  void jumpAt(uint64_t at, uint64_t to);
  // The read position in frames.
  uint64_t getCurrentPos();
  // Queues of this kind alive in the process: whole tracks in memory.
  static uint64_t instances() { return instances_.load(); }

 private:
  AudioOutputExpandableBuffer(double rate, uint32_t channels, uint32_t bits, uint32_t frames,
                              ExpandableBuffer* exb);

  // Moves the head on to the end of the values asked for, taking a waiting jump on
  // the way; the values copied. Under the expandable buffer's lock.
  uint64_t copyAcrossJumpLocked(float* destination, uint64_t wanted);

  ExpandableBuffer* exb_;
  // In values; guarded by the expandable buffer's lock.
  bool jump_pending_ = false;
  uint64_t jump_at_ = 0;
  uint64_t jump_to_ = 0;
  static inline std::atomic<uint64_t> instances_{0};
};
