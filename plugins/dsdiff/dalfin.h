// The DSDIFF decoder: reads the byte-interleaved 1-bit audio of an uncompressed
// DSDIFF file (byte i of channel c at i x N + c, earliest bit in the most significant
// place) and delivers it as DoP words, 2 bytes of each channel per frame.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "plugin/decoder_plugin.h"
#include "plugins/common/file_handle.h"

namespace sonara::dsdiff {

class DFFFormDSDChunk;

// Files from 64 GiB on are refused.
inline constexpr uint64_t kMaxFileSize = uint64_t{1} << 36;
// More channels than this are not a real file.
inline constexpr uint32_t kMaxChannels = 64;
// Frames delivered per call at most: 4096 bytes a channel.
inline constexpr uint32_t kMaxFramesPerCall = 2048;

class Dalfin final : public plugin::Decoder {
 public:
  ~Dalfin() override;

  // 100 when the file starts with "FRM8" and its "FVER" version's first byte is not 0.
  static uint32_t getScoreByPath(const std::string& path) { return getScore(io::FileSource::file(path)); }
  static uint32_t getScore(const io::FileSource& source);
  static bool validateFormDSDChunk(io::FileHandle& file);
  static bool validateFormatVersionChunk(io::FileHandle& file);

  int32_t openByPath(const std::string& path, const Dict* options) noexcept override;
  // Opens what `source` holds as openByPath opens a file.
  int32_t openSource(const io::FileSource& source) noexcept;
  Value getMetaData() noexcept override { return meta_data_; }
  uint64_t getDuration() noexcept override;
  float getSamplingRate() noexcept override { return static_cast<float>(sample_rate_ * 0.0625); }
  uint32_t getChannels() noexcept override { return decode_num_channels_; }
  uint32_t getBits() noexcept override { return 32; }
  uint32_t getFormat() noexcept override { return plugin::kFormatDoP; }
  bool setSamplingRate(float rate) noexcept override { return rate == getSamplingRate(); }
  bool setChannels(uint32_t channels) noexcept override;
  bool setBits(uint32_t bits) noexcept override { return bits == 32; }
  uint32_t getBitRate() noexcept override { return 0; }
  uint32_t getPreferredBufferSize() noexcept override;
  bool supportsSeek() noexcept override { return true; }
  int32_t seek(uint64_t ns) noexcept override;
  int32_t getNextSamples(float* buffer, uint32_t* size) noexcept override;
  int32_t getDummySamples(float* buffer, uint32_t* size) noexcept override;
  uint64_t getTimestamp() noexcept override;
  void close() noexcept override;

 private:
  int32_t parse(const DFFFormDSDChunk& form);
  int32_t readFormatInformation(const DFFFormDSDChunk& form);
  int32_t open();
  std::span<const uint8_t> nextSoundBytes(size_t wanted);
  bool metaItemExistsForKey(const char* key) const;
  void append(const char* key, Value value);
  uint64_t bytesPerSecond() const { return sample_rate_ / 8; }

  io::FileSource source_;
  uint32_t sample_rate_ = 0;  // 1-bit rate, Hz
  uint32_t num_channels_ = 0;
  uint32_t decode_num_channels_ = 0;
  bool is_compressed_ = false;
  uint64_t total_sound_size_in_samples_ = 0;    // bytes per channel
  uint64_t current_sound_position_in_samples_ = 0;  // bytes per channel delivered
  uint64_t sound_data_chunk_offset_ = 0;
  // The sound data read ahead of what has been delivered: [ahead_begin_, ahead_end_)
  // of ahead_size_ bytes.
  std::unique_ptr<uint8_t[]> ahead_;
  size_t ahead_size_ = 0;
  size_t ahead_begin_ = 0;
  size_t ahead_end_ = 0;
  io::FileHandle file_;
  Value meta_data_;
};

class DalfinClass final : public plugin::DecoderClass {
 public:
  const char* className() const noexcept override { return "Dalfin"; }
  uint32_t getScoreByPath(const std::string& path) const noexcept override;
  std::unique_ptr<plugin::Decoder> create() const noexcept override;
};

}  // namespace sonara::dsdiff
