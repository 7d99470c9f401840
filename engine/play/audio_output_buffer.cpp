#include "engine/play/audio_output_buffer.h"

void AudioOutputBuffer::setTimestampLocked(uint64_t ns) {
  long double frames = static_cast<long double>(ns) * sampling_rate_ / 1e9L;
  samples_count_ = frames <= 0 ? 0 : channels_ * static_cast<uint64_t>(frames);
}

uint64_t AudioOutputBuffer::timestampLocked() const {
  if (channels_ == 0 || sampling_rate_ <= 0) return 0;
  long double ns = static_cast<long double>(samples_count_ / channels_) * 1e9L / sampling_rate_;
  return static_cast<uint64_t>(ns);
}
