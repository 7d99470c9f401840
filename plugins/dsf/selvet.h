// The DSF decoder: delivers the file's 1-bit audio as DoP words.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "plugin/decoder_plugin.h"
#include "plugins/common/file_handle.h"

namespace sonara::dsf {

// Files from 64 GiB on are refused.
inline constexpr uint64_t kMaxFileSize = 0xFFFFFFFFFull;

class Selvet final : public plugin::Decoder {
 public:
  ~Selvet() override;

  // 100 when the file starts with "DSD " and its size field equals its length.
  static uint32_t getScoreByPath(const std::string& path) { return getScore(io::FileSource::file(path)); }
  static uint32_t getScore(const io::FileSource& source);

  int32_t openByPath(const std::string& path, const Dict* options) noexcept override;
  // Opens what `source` holds as openByPath opens a file.
  int32_t openSource(const io::FileSource& source) noexcept;
  Value getMetaData() noexcept override { return meta_data_; }
  uint64_t getDuration() noexcept override;
  float getSamplingRate() noexcept override;
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
  int32_t parse(io::FileHandle& file);
  void open();
  void readNextBlock();
  void readGroups();
  const uint8_t* blockOf(uint32_t channel) const;
  uint64_t bytesPerChannelInFile(int64_t file_length) const;
  uint64_t bytesPerSecond() const { return sample_rate_ / 8; }

  io::FileSource source_;
  uint32_t channel_type_ = 0;
  uint32_t num_channels_ = 0;
  uint32_t sample_rate_ = 0;  // 1-bit rate
  uint32_t bit_order_ = 0;
  uint32_t block_size_ = 0;
  uint64_t total_samples_ = 0;  // bytes per channel
  uint64_t data_chunk_offset_ = 0;
  uint64_t current_sound_position_ = 0;  // bytes per channel delivered
  uint32_t decode_num_channels_ = 0;
  Value meta_data_;
  uint32_t block_remain_ = 0;
  uint32_t block_offset_ = 0;
  io::FileHandle file_;
  // Block groups as the file holds them (channel c's block of group g at
  // (g x channels + c) x block size), several read at once.
  std::unique_ptr<uint8_t[]> groups_;  // filled by every read before it is used
  size_t groups_size_ = 0;
  uint32_t groups_read_ = 0;   // groups in groups_ from the last read, 0 after a seek
  uint32_t group_ = 0;         // the one being delivered
};

class SelvetClass final : public plugin::DecoderClass {
 public:
  const char* className() const noexcept override { return "Selvet"; }
  uint32_t getScoreByPath(const std::string& path) const noexcept override;
  std::unique_ptr<plugin::Decoder> create() const noexcept override;
};

}  // namespace sonara::dsf
