#include "plugins/dsf/selvet.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "plugins/common/host_link.h"
#include "plugins/common/mul_div.h"
#include "plugins/common/decoder_exception.h"
#include "plugins/common/dop_words.h"
#include "plugins/common/id3_text_frames.h"
#include "plugins/dsf/dsf_file.h"

namespace sonara::dsf {

using plugin::DecoderException;
using plugin::logLine;
using plugin::mulDiv;

namespace {

// Limits against crafted headers: real files have at most 6 channels and 4096-byte
// blocks; these leave ample room while keeping allocations bounded.
constexpr uint32_t kMaxChannels = 64;
constexpr uint64_t kMaxBlockGroupBytes = 64u << 20;
// Block groups are read this many bytes at a time (or one group when it is larger):
// a read per block would cost more than the decoding.
constexpr uint64_t kReadBytes = 128u << 10;

}  // namespace

Selvet::~Selvet() { close(); }

uint32_t Selvet::getScore(const io::FileSource& source) {
  io::FileHandle file;
  if (!file.open(source)) return 0;
  uint8_t head[28];
  int64_t length = file.length();
  if (file.read(head, sizeof head) != static_cast<int64_t>(sizeof head)) return 0;
  if (std::memcmp(head, "DSD ", 4) != 0) return 0;
  return length >= 0 && readLE64(head + 12) == static_cast<uint64_t>(length) ? 100 : 0;
}

int32_t Selvet::openByPath(const std::string& path, const Dict*) noexcept {
  try {
    return openSource(io::FileSource::file(path));
  } catch (const std::exception& e) {  // copying the path may fail
    logLine("error: %s", e.what());
    return plugin::kStatusBadStructure;
  }
}

int32_t Selvet::openSource(const io::FileSource& source) noexcept {
  try {
    source_ = source;
    io::FileHandle file;
    if (!file.open(source)) throw DecoderException("initWithFileHandle: failed.", plugin::kStatusBadStructure);
    if (file.length() < 0 || static_cast<uint64_t>(file.length()) > kMaxFileSize) {
      close();
      return plugin::kStatusParam;
    }
    if (int32_t r = parse(file); r != 0) throw DecoderException("parse failed.", r);
    open();
    return 0;
  } catch (const DecoderException& e) {
    logLine("error: %s", e.what());
    close();
    return e.status() != 0 ? e.status() : plugin::kStatusBadStructure;
  } catch (const std::exception& e) {
    logLine("error: %s", e.what());
    close();
    return plugin::kStatusBadStructure;
  }
}

int32_t Selvet::parse(io::FileHandle& handle) {
  DSFFile file(handle);
  try {
    auto dsd = file.findDSDChunk();
    if (!dsd) throw DecoderException("no DSD chunk found.", plugin::kStatusBadStructure);

    std::optional<id3::TextFrames> tag;
    int64_t length = file.length();
    if (dsd->metadata_offset != 0 && length > 0 && dsd->metadata_offset < static_cast<uint64_t>(length)) {
      tag = id3::readID3v2TextFrames([&](uint64_t at, size_t n) { return file.bytesAt(at, n); },
                                dsd->metadata_offset, static_cast<uint64_t>(length) - dsd->metadata_offset);
    }
    Array list;
    if (tag && tag->title) list.push_back(Value(Dict{{plugin::kMetaTitle, Value(*tag->title)}}));
    if (tag && tag->artist) list.push_back(Value(Dict{{plugin::kMetaArtist, Value(*tag->artist)}}));
    if (tag && tag->album) list.push_back(Value(Dict{{plugin::kMetaAlbum, Value(*tag->album)}}));
    if (tag && tag->track) list.push_back(Value(Dict{{plugin::kMetaTrackNumber, Value(*tag->track)}}));
    if (tag && tag->disc) list.push_back(Value(Dict{{plugin::kMetaDiscNumber, Value(*tag->disc)}}));
    if (tag && tag->date) list.push_back(Value(Dict{{plugin::kMetaDate, Value(*tag->date)}}));

    auto fmt = file.findFmtChunk();
    if (!fmt) throw DecoderException("fmt chunk is not found.", plugin::kStatusDecodeFailed);
    channel_type_ = fmt->channel_type;
    num_channels_ = fmt->channel_count;
    decode_num_channels_ = num_channels_;
    sample_rate_ = fmt->sampling_frequency;
    block_size_ = fmt->block_size;
    bit_order_ = fmt->bits_per_sample;
    total_samples_ = fmt->totalNumSamples();
    if (channel_type_ == 4) decode_num_channels_ = 2;
    // Below 16 Hz the stream rate (frequency / 16) would be 0; nothing real is there.
    if (num_channels_ == 0 || sample_rate_ < 16 || block_size_ == 0 || total_samples_ == 0 ||
        num_channels_ > kMaxChannels ||
        uint64_t{block_size_} * num_channels_ > kMaxBlockGroupBytes) {
      throw DecoderException("invalid parameter.", plugin::kStatusDecodeFailed);
    }
    list.push_back(Value(Dict{{plugin::kMetaSrcBits, Value(1)}}));
    list.push_back(Value(Dict{{plugin::kMetaSrcSampleRate, Value(sample_rate_)}}));

    int64_t data = file.findChunkOffsetByFourCC("data", 0);
    if (data < 0) throw DecoderException("data chunk is not found.", plugin::kStatusDecodeFailed);
    data_chunk_offset_ = static_cast<uint64_t>(data);
    total_samples_ = std::min(total_samples_, bytesPerChannelInFile(length));
    if (total_samples_ == 0) throw DecoderException("invalid parameter.", plugin::kStatusDecodeFailed);
    meta_data_ = Value(std::move(list));
    return 0;
  } catch (const DecoderException& e) {
    logLine("error: %s", e.what());
    return e.status() != 0 ? e.status() : plugin::kStatusDecodeFailed;
  }
}

// How many bytes of each channel the data in the file can hold. A header that
// announces more (a truncated or crafted file) would otherwise play up to 2^61
// bytes of padding.
uint64_t Selvet::bytesPerChannelInFile(int64_t file_length) const {
  uint64_t audio_start = data_chunk_offset_ + kChunkHeaderSize;
  if (file_length <= 0 || static_cast<uint64_t>(file_length) <= audio_start) return 0;
  uint64_t available = static_cast<uint64_t>(file_length) - audio_start;
  uint64_t group = uint64_t{block_size_} * num_channels_;
  return available / group * block_size_ + std::min<uint64_t>(available % group, block_size_);
}

void Selvet::open() {
  // As many groups as a read takes, but no more than the file holds.
  const uint64_t group = uint64_t{block_size_} * num_channels_;
  const uint64_t in_file = (total_samples_ + block_size_ - 1) / block_size_;
  const uint64_t per_read = std::max<uint64_t>(1, std::min(kReadBytes / group, in_file));
  try {
    groups_size_ = static_cast<size_t>(per_read * group);
    groups_ = std::make_unique_for_overwrite<uint8_t[]>(groups_size_);
  } catch (const std::bad_alloc&) {
    logLine("error: %s", "malloc failed");
    throw DecoderException("open failed.", plugin::kStatusDecodeFailed);
  }
  if (!file_.open(source_)) {
    logLine("error: %s", "fileHandleForReadingXXX failed");
    throw DecoderException("open failed.", plugin::kStatusDecodeFailed);
  }
  file_.bypassCache(true);
  file_.seek(data_chunk_offset_ + kChunkHeaderSize);
  current_sound_position_ = 0;
  block_remain_ = 0;
  block_offset_ = 0;
  groups_read_ = 0;
  group_ = 0;
}

// The next block group, from the file when the last read's groups are used up.
void Selvet::readNextBlock() {
  if (group_ + 1 < groups_read_) {
    ++group_;
  } else {
    readGroups();
  }
  block_remain_ = block_size_;
  block_offset_ = 0;
}

// Past the end of the file the groups are silence of zeros; they are never delivered
// beyond the length the file holds.
void Selvet::readGroups() {
  int64_t got = file_.read(groups_.get(), groups_size_);
  if (got < 0) throw DecoderException("read failed.");
  std::fill(groups_.get() + got, groups_.get() + groups_size_, uint8_t{0});
  groups_read_ = static_cast<uint32_t>(groups_size_ / (size_t{block_size_} * num_channels_));
  group_ = 0;
}

const uint8_t* Selvet::blockOf(uint32_t channel) const {
  return groups_.get() + (size_t{group_} * num_channels_ + channel) * block_size_ + block_offset_;
}

int32_t Selvet::getNextSamples(float* out, uint32_t* size) noexcept {
  if (*size == 0) return 0;
  if (!file_.isOpen()) {
    *size = 0;
    return plugin::kStatusDecodeFailed;
  }
  try {
    if (block_remain_ == 0) readNextBlock();
    const uint32_t channels = decode_num_channels_;
    uint64_t left = (total_samples_ - std::min(current_sound_position_, total_samples_)) / 2;
    uint32_t n = static_cast<uint32_t>(
        std::min<uint64_t>({*size / channels, left, uint64_t{block_remain_} / 2}));
    const bool lsb_first = bit_order_ != 8;
    // Every channel starts from the call's phase; the frames give the next one.
    const uint8_t start = plugin::dopMarkerPhase();
    uint8_t marker = start;
    const size_t bytes = size_t{2} * n;
    if (n > 0 && channels == 2) {
      marker = dsd::packDoPPair(std::span<const uint8_t>(blockOf(0), bytes),
                                std::span<const uint8_t>(blockOf(num_channels_ == 1 ? 0 : 1), bytes), lsb_first,
                                std::span<float>(out, size_t{n} * 2), start);
    } else {
      for (uint32_t c = 0; n > 0 && c < channels; ++c) {
        marker = dsd::packDoPChannel(std::span<const uint8_t>(blockOf(num_channels_ == 1 ? 0 : c), bytes),
                                     lsb_first, std::span<float>(out + c, size_t{n} * channels - c), channels,
                                     start);
      }
    }
    plugin::setDopMarkerPhase(marker);
    block_offset_ += 2 * n;
    block_remain_ -= 2 * n;
    current_sound_position_ += 2 * uint64_t{n};
    *size = n * channels;
    if (n == 0 && current_sound_position_ < total_samples_) current_sound_position_ = total_samples_;
    return 0;
  } catch (const std::exception& e) {
    logLine("error: %s", e.what());
    *size = 0;
    return plugin::kStatusDecodeFailed;
  }
}

int32_t Selvet::getDummySamples(float* out, uint32_t* size) noexcept {
  if (*size == 0) return 0;
  const uint32_t channels = std::max(decode_num_channels_, 1u);
  uint32_t n = *size / channels;
  plugin::setDopMarkerPhase(
      dsd::packDoPSilence(std::span<float>(out, size_t{n} * channels), channels, plugin::dopMarkerPhase()));
  *size = n * channels;
  return 0;
}

int32_t Selvet::seek(uint64_t ns) noexcept {
  if (!file_.isOpen() || total_samples_ == 0) return plugin::kStatusMemory;
  try {
    uint64_t p = mulDiv(bytesPerSecond(), ns, 1000000000ull);
    if (p >= total_samples_) p = total_samples_ - 1;
    current_sound_position_ = p;
    uint64_t group_start = p - p % block_size_;
    unsigned __int128 offset = static_cast<unsigned __int128>(num_channels_) * group_start +
                               data_chunk_offset_ + kChunkHeaderSize;
    if (offset > INT64_MAX || !file_.seek(static_cast<uint64_t>(offset))) {
      throw DecoderException("seek failed.");
    }
    groups_read_ = 0;  // what was read ahead lies elsewhere
    if (p % block_size_ != 0) {
      readNextBlock();
    } else {
      block_remain_ = 0;
    }
    return 0;
  } catch (const std::exception& e) {
    logLine("error: %s", e.what());
    return plugin::kStatusMemory;
  }
}

uint64_t Selvet::getDuration() noexcept {
  return mulDiv(total_samples_, 1000000000ull, bytesPerSecond());
}

float Selvet::getSamplingRate() noexcept { return static_cast<float>(sample_rate_ / 16); }

uint64_t Selvet::getTimestamp() noexcept {
  return mulDiv(current_sound_position_ + 1, 1000000000ull, bytesPerSecond());
}

uint32_t Selvet::getPreferredBufferSize() noexcept {
  double twenty_ms = double(decode_num_channels_) * double(sample_rate_ / 16) * 0.02;
  return static_cast<uint32_t>(std::max(double(block_size_ / 2), twenty_ms));
}

bool Selvet::setChannels(uint32_t channels) noexcept {
  if (channels == 0) return false;
  if (channels > num_channels_ && !(num_channels_ == 1 && channels == 2)) return false;
  decode_num_channels_ = channels;
  return true;
}

void Selvet::close() noexcept {
  file_.close();
  source_ = io::FileSource();
  meta_data_ = Value();
  groups_.reset();
  groups_size_ = 0;
  groups_read_ = 0;
  block_remain_ = 0;
  block_offset_ = 0;
}

uint32_t SelvetClass::getScoreByPath(const std::string& path) const noexcept {
  return Selvet::getScoreByPath(path);
}

std::unique_ptr<plugin::Decoder> SelvetClass::create() const noexcept {
  return std::unique_ptr<plugin::Decoder>(new (std::nothrow) Selvet());
}

}  // namespace sonara::dsf
