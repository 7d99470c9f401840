// The DoP and native-DSD packers (see audio_direct_output_buffer.h).
#pragma once

#include "engine/output/audio_direct_output_buffer.h"

class AudioDirectOutputBuffer_DoP final : public AudioDirectOutputBuffer {
 public:
  explicit AudioDirectOutputBuffer_DoP(uint32_t capacity) : AudioDirectOutputBuffer(capacity) {}
  uint32_t convertInto(float* into, uint32_t wanted) override;
};

class AudioDirectOutputBuffer_DSD16 final : public AudioDirectOutputBuffer {
 public:
  explicit AudioDirectOutputBuffer_DSD16(uint32_t capacity) : AudioDirectOutputBuffer(capacity) {}
  uint32_t convertInto(float* into, uint32_t wanted) override;
};

class AudioDirectOutputBuffer_DSD32 final : public AudioDirectOutputBuffer {
 public:
  explicit AudioDirectOutputBuffer_DSD32(uint32_t capacity) : AudioDirectOutputBuffer(capacity) {}
  ~AudioDirectOutputBuffer_DSD32() override;
  uint32_t convertInto(float* into, uint32_t wanted) override;

 private:
  bool allocate() override;
  void rebound() override { carrying_ = false; }
  float* staging_ = nullptr;  // 2 x capacity DoP words as pulled, 16-byte aligned
  // A frame pulled without its partner while more input is to come: it waits for
  // the next pull rather than going out padded with idle bits mid-stream.
  float* carry_ = nullptr;  // capacity DoP words, one frame of them used
  bool carrying_ = false;
  uint32_t carry_clears_ = 0;  // the queue's clear count when the frame was pulled
};
