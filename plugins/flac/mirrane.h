// The FLAC decoder: libFLAC frames delivered as 32-bit float PCM.
#pragma once

#include <FLAC/stream_decoder.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "plugin/decoder_plugin.h"

namespace sonara::flac {

// Files from 64 GiB on are refused.
inline constexpr uint64_t kMaxFileSize = uint64_t{1} << 36;
// The largest frame (65535 samples of 8 channels of 32 bits, stored verbatim) is
// about 2 MiB: input four times that size without a frame is not FLAC any more.
inline constexpr uint64_t kMaxBytesWithoutFrame = uint64_t{8} << 20;

// One decoded frame, interleaved.
struct SampleBuffer {
  uint32_t read_index = 0;   // values already delivered
  uint32_t count = 0;        // values held
  uint64_t first_sample = 0; // sample number of the frame's first value
  uint64_t end_sample = 0;   // and of the sample after its last, kept past a refill
  uint32_t rate = 0;         // the frame's sample rate
  std::vector<float> values;
};

class Mirrane final : public plugin::Decoder {
 public:
  ~Mirrane() override;

  int32_t openByPath(const std::string& path, const Dict* options) noexcept override;
  Value getMetaData() noexcept override { return meta_data_; }
  uint64_t getDuration() noexcept override { return duration_; }
  float getSamplingRate() noexcept override { return sampling_rate_; }
  uint32_t getChannels() noexcept override { return channels_; }
  uint32_t getBits() noexcept override { return bits_; }
  uint32_t getFormat() noexcept override { return plugin::kFormatLpcm; }
  bool setSamplingRate(float rate) noexcept override;
  bool setChannels(uint32_t channels) noexcept override;
  bool setBits(uint32_t bits) noexcept override;
  uint32_t getBitRate() noexcept override;
  uint32_t getPreferredBufferSize() noexcept override;
  bool supportsSeek() noexcept override { return true; }
  int32_t seek(uint64_t ns) noexcept override;
  int32_t getNextSamples(float* buffer, uint32_t* size) noexcept override;
  int32_t getDummySamples(float* buffer, uint32_t* size) noexcept override;
  uint64_t getTimestamp() noexcept override;
  void close() noexcept override;

  // Called by libFLAC's callbacks.
  void setStreamInfo(const FLAC__StreamMetadata_StreamInfo& info);
  void setMetaData(const char* name, const char* value);
  FLAC__StreamDecoderWriteStatus storeFrame(const FLAC__Frame* frame,
                                            const FLAC__int32* const channels[]);
  void noteStreamError() { stream_error_ = true; }
  FLAC__StreamDecoderReadStatus read(FLAC__byte buffer[], size_t* bytes);
  FILE* file() const { return file_; }

 private:
  float sampling_rate_ = 0;
  uint32_t channels_ = 0;
  uint32_t bits_ = 0;
  uint32_t blocksize_ = 0;
  uint64_t total_samples_ = 0;
  uint64_t duration_ = 0;
  bool opened_ = false;
  Value meta_data_;
  FLAC__StreamDecoder* decoder_ = nullptr;
  SampleBuffer decode_buff_;
  FILE* file_ = nullptr;
  bool stream_error_ = false;  // a CRC mismatch since the last frame
  bool gave_up_ = false;       // reading stopped: too long without a valid frame
  bool searching_frames_ = false;  // the bound applies (not while reading metadata or seeking)
  uint64_t bytes_read_ = 0;
  uint64_t last_good_bytes_ = 0;  // bytes read when the last valid frame came
};

class MirraneClass final : public plugin::DecoderClass {
 public:
  const char* className() const noexcept override { return "Mirrane"; }
  uint32_t getScoreByPath(const std::string&) const noexcept override { return 100; }
  std::unique_ptr<plugin::Decoder> create() const noexcept override;
};

// The principal's check: a ".flac" file whose metadata libFLAC can read.
bool canDecodeFlacFile(const std::string& path);

}  // namespace sonara::flac
