// Transport packers: turn one item's sample queue into what the device's IO buffers
// carry for one transport, with the transport's silence and its test for a usable
// physical format.
//
//   PCM    floats pass through
//   DoP    DoP words pass through; the marker alternation continues across silence
//   DSD16  native DSD in 16-bit words: the two bytes of a DoP word, in time order in
//          little-endian memory
//   DSD32  native DSD in 32-bit words: two DoP frames make one word per channel,
//          four DSD bytes in time order in little-endian memory
//
// Packers are created, used and released on the device's IO thread; once made they
// never allocate.
#pragma once

#include <cstdint>
#include <memory>

#include "engine/play/audio_output_buffer.h"
#include "platform/audio/audio_hal.h"

enum class PackerKind { PCM, DoP, DSD16, DSD32 };

class AudioDirectOutputBuffer {
 public:
  // A packer of `kind` whose conversion buffer holds `capacity` samples; null when
  // memory cannot be had. It takes a queue with bind().
  static std::unique_ptr<AudioDirectOutputBuffer> create(PackerKind kind, uint32_t capacity);
  virtual ~AudioDirectOutputBuffer();

  // Whether the packer of `kind` can use a physical format.
  static bool formatMatching(PackerKind kind, const sonara::audio::RangedDescription& format,
                             uint32_t preferred_bits);
  // Fills the buffer's frames from `from_frame` on with the transport's silence. DoP
  // silence continues the running marker alternation; with `advance` false the
  // markers are written as data from the same point would carry them, but the
  // running marker is left as it was (a provisional fill that data overwrites).
  static void fillSilentData(PackerKind kind, sonara::audio::IoBuffer& buffer, uint32_t from_frame = 0,
                             bool advance = true);

  // Takes the queue of the item to play; false when its frames x channels exceed the
  // conversion buffer (the caller then makes a larger packer).
  bool bind(std::shared_ptr<AudioOutputBuffer> queue);
  // Gives the queue back (moved out, so that it is not freed on this thread).
  std::shared_ptr<AudioOutputBuffer> unbind() { return std::move(buff_); }
  AudioOutputBuffer* queue() const { return buff_.get(); }

  // Pulls up to `wanted` output samples into the conversion buffer; returns how many.
  uint32_t updateConversionBuffer(uint32_t wanted) { return convertInto(channel_conv_buff_, wanted); }
  // The same into `into`, which has room for min(wanted, capacity()) samples: the
  // device's IO buffer itself when the item has the device's channels, so that each
  // sample is copied once.
  virtual uint32_t convertInto(float* into, uint32_t wanted);
  const float* getConversionBuffer() const { return channel_conv_buff_; }
  uint32_t getChenels() const { return buff_ ? buff_->channels() : 0; }
  bool inputFinished() const { return buff_ && buff_->inputFinished(); }
  uint32_t capacity() const { return channel_conv_buff_samples_; }

  // The marker the next DoP silence frame carries (process-wide).
  static uint8_t markerDoP();
  static void setMarkerDoP(uint8_t marker);

 protected:
  explicit AudioDirectOutputBuffer(uint32_t capacity) : channel_conv_buff_samples_(capacity) {}
  virtual bool allocate();
  // A new queue is bound: drop whatever state belonged to the last one.
  virtual void rebound() {}
  // Takes up to `wanted` samples from the queue into a buffer of `room` samples.
  uint32_t pull(float* into, uint32_t wanted, uint32_t room);

  std::shared_ptr<AudioOutputBuffer> buff_;
  float* channel_conv_buff_ = nullptr;  // 16-byte aligned
  uint32_t channel_conv_buff_samples_;
};

// The word a float carries, and back: exact for DoP and DSD words.
inline uint32_t wordOf(float f) {
  double v = static_cast<double>(f) * 2147483648.0;
  if (v >= 2147483647.0) return 0x7FFFFFFFu;
  if (v <= -2147483648.0) return 0x80000000u;
  return static_cast<uint32_t>(static_cast<int32_t>(v));
}
inline float floatOf(uint32_t word) {
  return static_cast<float>(static_cast<int32_t>(word)) * (1.0f / 2147483648.0f);
}
