#include "plugins/dsdiff/dalfin.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "plugins/common/decoder_exception.h"
#include "plugins/common/dop_words.h"
#include "plugins/common/host_link.h"
#include "plugins/common/mul_div.h"
#include "plugins/dsdiff/dff_chunks.h"

namespace sonara::dsdiff {

using plugin::DecoderException;
using plugin::logLine;
using plugin::mulDiv;

namespace {

constexpr char kDstReason[] = "the sound data is DST-compressed, which cannot be played";
// The sound data is read this many bytes at a time at least: a read per call would
// cost more than the decoding.
constexpr size_t kReadBytes = 128u << 10;

}  // namespace

Dalfin::~Dalfin() { close(); }

bool Dalfin::validateFormDSDChunk(io::FileHandle& file) {
  uint8_t id[4];
  return file.seek(0) && file.read(id, sizeof id) == 4 && std::memcmp(id, "FRM8", 4) == 0;
}

bool Dalfin::validateFormatVersionChunk(io::FileHandle& file) {
  try {
    DFFChunk form(file, 0);
    auto version = form.findLocalChunkByFourCC<DFFFormatVersionChunk>("FVER", 16);
    return version && version->isValid();
  } catch (const DecoderException& e) {
    logLine("error: %s", e.what());
    return false;
  }
}

uint32_t Dalfin::getScore(const io::FileSource& source) {
  io::FileHandle file;
  if (!file.open(source)) return 0;
  return validateFormDSDChunk(file) && validateFormatVersionChunk(file) ? 100 : 0;
}

int32_t Dalfin::openByPath(const std::string& path, const Dict*) noexcept {
  try {
    return openSource(io::FileSource::file(path));
  } catch (const std::exception& e) {  // copying the path may fail
    logLine("openByPath failed with exception: %s", e.what());
    return plugin::kStatusSeekFailed;
  }
}

int32_t Dalfin::openSource(const io::FileSource& source) noexcept {
  try {
    source_ = source;
    io::FileHandle file;
    if (!file.open(source)) throw DecoderException("inputStreamWithFileAtPath failed", plugin::kStatusSeekFailed);
    if (file.length() < 0 || static_cast<uint64_t>(file.length()) >= kMaxFileSize) {
      throw DecoderException("over file size limit", plugin::kStatusParam);
    }
    std::optional<DFFFormDSDChunk> form;
    try {
      form = DFFFormDSDChunk::make(file, 0);
    } catch (const DecoderException&) {
      form.reset();
    }
    if (!form) {
      if (DFFFormDSDChunk::holdsDSTSoundData(file)) throw DecoderException(kDstReason, plugin::kStatusBadStructure);
      throw DecoderException("initWithData:dataWithContentsOfFile:options:error failed", plugin::kStatusBadStructure);
    }
    if (int32_t r = parse(*form); r != 0) throw DecoderException("parse failed", r);
    if (int32_t r = open(); r != 0) throw DecoderException("open failed", r);
    return 0;
  } catch (const std::exception& e) {
    logLine("openByPath failed with exception: %s", e.what());
    auto* carried = dynamic_cast<const DecoderException*>(&e);
    close();
    return carried && carried->status() != 0 ? carried->status() : plugin::kStatusSeekFailed;
  }
}

bool Dalfin::metaItemExistsForKey(const char* key) const {
  const auto& list = meta_data_.asArray();
  return std::any_of(list.begin(), list.end(), [key](const Value& v) { return !v[key].isNull(); });
}

void Dalfin::append(const char* key, Value value) {
  meta_data_.mutableArray().push_back(Value(Dict{{key, std::move(value)}}));
}

int32_t Dalfin::parse(const DFFFormDSDChunk& form) {
  meta_data_ = Value(Array{});
  // The ID3 tag first: its title and artist go before those of the edited master.
  if (auto chunk = form.getID3Chunk()) {
    if (auto tag = chunk->parse()) {
      if (tag->artist && !metaItemExistsForKey(plugin::kMetaArtist)) append(plugin::kMetaArtist, *tag->artist);
      if (tag->title && !metaItemExistsForKey(plugin::kMetaTitle)) append(plugin::kMetaTitle, *tag->title);
      if (tag->album) append(plugin::kMetaAlbum, *tag->album);
      if (tag->track) append(plugin::kMetaTrackNumber, *tag->track);
      if (tag->disc) append(plugin::kMetaDiscNumber, *tag->disc);
      if (tag->date) append(plugin::kMetaDate, *tag->date);
    }
  }
  if (int32_t r = readFormatInformation(form); r != 0) return r;

  if (auto diin = form.getEditedMasterInformationChunk()) {
    if (!metaItemExistsForKey(plugin::kMetaTitle)) {
      if (auto title = diin->getTitleChunk()) {
        if (auto text = title->getText()) append(plugin::kMetaTitle, *text);
      }
    }
    if (!metaItemExistsForKey(plugin::kMetaArtist)) {
      if (auto artist = diin->getArtistChunk()) {
        if (auto text = artist->getText()) append(plugin::kMetaArtist, *text);
      }
    }
    if (auto emid = diin->getEditedMasterChunk()) {
      if (auto text = emid->getText(); text && !text->empty()) append(plugin::kMetaEditedMasterID, *text);
    }
  }
  if (auto comments = form.getCommentChunk()) {
    if (std::string all = comments->getAllText(); !all.empty()) append(plugin::kMetaComment, all);
  }
  if (!metaItemExistsForKey(plugin::kMetaSrcBits)) append(plugin::kMetaSrcBits, Value(1));
  if (!metaItemExistsForKey(plugin::kMetaSrcSampleRate)) {
    append(plugin::kMetaSrcSampleRate, Value(static_cast<float>(sample_rate_)));
  }

  sound_data_chunk_offset_ = form.soundDataChunkOffset();
  // What the header announces, as far as the file and the form around it really hold
  // it (a lying size must not play the chunks after it), in whole frames.
  const DFFDSDSoundDataChunk sound = form.getDSDSoundDataChunk();
  const uint64_t data_start = sound_data_chunk_offset_ + kChunkHeaderSize;
  const uint64_t in_form = form.end() > data_start ? form.end() - data_start : 0;
  total_sound_size_in_samples_ =
      std::min({sound.dataSizeInBytes(), sound.dataBytesInFile(), in_form}) / num_channels_;
  if (total_sound_size_in_samples_ == 0) {
    logLine("error: %s", "empty sound data");
    return plugin::kStatusBadStructure;
  }
  return 0;
}

int32_t Dalfin::readFormatInformation(const DFFFormDSDChunk& form) {
  try {
    const DFFPropertyChunk prop = form.getPropertyChunk();
    auto fs = prop.getSampleRateChunk();
    auto chnl = prop.getChannelsChunk();
    auto cmpr = prop.getCompressionTypeChunk();
    sample_rate_ = fs ? fs->getSampleRate() : 0;
    num_channels_ = chnl ? chnl->getNumChannels() : 0;
    is_compressed_ = cmpr && cmpr->isCompressed();
    decode_num_channels_ = num_channels_;
    if (is_compressed_) throw DecoderException(kDstReason, plugin::kStatusBadStructure);
    // The timing divides by the rate; below 16 Hz the delivered rate would be 0.
    if (sample_rate_ < 16) throw DecoderException("invalid sampling frequency.", plugin::kStatusParam);
    if (num_channels_ == 0 || num_channels_ > kMaxChannels) {
      throw DecoderException("invalid number of channels.", plugin::kStatusDecodeFailed);
    }
    return 0;
  } catch (const DecoderException& e) {
    logLine("error: %s", e.what());
    return e.status() != 0 ? e.status() : plugin::kStatusDecodeFailed;
  }
}

int32_t Dalfin::open() {
  if (!file_.open(source_)) throw DecoderException("inputStreamWithFileAtPath failed", plugin::kStatusSeekFailed);
  file_.bypassCache(true);
  file_.seek(sound_data_chunk_offset_ + kChunkHeaderSize);
  current_sound_position_in_samples_ = 0;
  ahead_begin_ = 0;
  ahead_end_ = 0;
  try {
    // Room for a call's worth at least, but no more than the file holds.
    const uint64_t call = std::max(kReadBytes, size_t{num_channels_} * 2 * kMaxFramesPerCall);
    ahead_size_ = static_cast<size_t>(std::min(call, total_sound_size_in_samples_ * num_channels_));
    ahead_ = std::make_unique_for_overwrite<uint8_t[]>(ahead_size_);
  } catch (const std::bad_alloc&) {
    file_.close();
    return plugin::kStatusMemory;
  }
  return 0;
}

// Up to `wanted` bytes of sound data at the reader (no more than a call's worth),
// fewer only where the file ends.
std::span<const uint8_t> Dalfin::nextSoundBytes(size_t wanted) {
  if (ahead_end_ - ahead_begin_ < wanted) {
    std::memmove(ahead_.get(), ahead_.get() + ahead_begin_, ahead_end_ - ahead_begin_);
    ahead_end_ -= ahead_begin_;
    ahead_begin_ = 0;
    const int64_t got = file_.read(ahead_.get() + ahead_end_, ahead_size_ - ahead_end_);
    if (got < 0) throw DecoderException("read failed.");
    ahead_end_ += static_cast<size_t>(got);
  }
  const size_t taken = std::min(wanted, ahead_end_ - ahead_begin_);
  const std::span<const uint8_t> bytes(ahead_.get() + ahead_begin_, taken);
  ahead_begin_ += taken;
  return bytes;
}

int32_t Dalfin::getNextSamples(float* buffer, uint32_t* size) noexcept {
  if (*size == 0) return 0;
  if (!ahead_) {
    *size = 0;
    return plugin::kStatusMemory;
  }
  try {
    const uint32_t channels = decode_num_channels_;
    const uint64_t left = total_sound_size_in_samples_ - std::min(current_sound_position_in_samples_,
                                                                  total_sound_size_in_samples_);
    auto n = static_cast<uint32_t>(std::min<uint64_t>({*size / channels, left / 2, kMaxFramesPerCall}));
    if (n == 0) {
      current_sound_position_in_samples_ = total_sound_size_in_samples_;
      *size = 0;
      return 0;
    }
    const size_t wanted = size_t{2} * n * num_channels_;
    const std::span<const uint8_t> bytes = nextSoundBytes(wanted);
    if (bytes.size() < wanted) {
      // The file ends early: what came is played, and then the track ends.
      n = static_cast<uint32_t>(bytes.size() / (size_t{2} * num_channels_));
      total_sound_size_in_samples_ = current_sound_position_in_samples_ + 2 * uint64_t{n};
    }
    const uint8_t marker = dsd::packDoPInterleaved(bytes.first(size_t{2} * n * num_channels_), num_channels_,
                                                   std::span<float>(buffer, size_t{n} * channels), channels,
                                                   plugin::dopMarkerPhase());
    plugin::setDopMarkerPhase(marker);
    current_sound_position_in_samples_ += 2 * uint64_t{n};
    *size = n * channels;
    return 0;
  } catch (const std::exception& e) {
    logLine("error: %s", e.what());
    *size = 0;
    return plugin::kStatusDecodeFailed;
  }
}

int32_t Dalfin::getDummySamples(float* buffer, uint32_t* size) noexcept {
  if (*size == 0) return 0;
  const uint32_t channels = std::max(decode_num_channels_, 1u);
  const uint32_t n = *size / channels;
  plugin::setDopMarkerPhase(
      dsd::packDoPSilence(std::span<float>(buffer, size_t{n} * channels), channels, plugin::dopMarkerPhase()));
  *size = n * channels;
  return 0;
}

int32_t Dalfin::seek(uint64_t ns) noexcept {
  if (!file_.isOpen() || total_sound_size_in_samples_ == 0) return plugin::kStatusSeekFailed;
  uint64_t p = mulDiv(bytesPerSecond(), ns, 1000000000ull);
  if (p >= total_sound_size_in_samples_) p = total_sound_size_in_samples_ - 1;
  unsigned __int128 at = static_cast<unsigned __int128>(num_channels_) * p + sound_data_chunk_offset_ + kChunkHeaderSize;
  if (at > INT64_MAX || !file_.seek(static_cast<uint64_t>(at))) return plugin::kStatusSeekFailed;
  ahead_begin_ = 0;  // what was read ahead lies elsewhere
  ahead_end_ = 0;
  current_sound_position_in_samples_ = p;
  return 0;
}

uint64_t Dalfin::getDuration() noexcept {
  return mulDiv(total_sound_size_in_samples_, 1000000000ull, bytesPerSecond());
}

uint64_t Dalfin::getTimestamp() noexcept {
  return mulDiv(current_sound_position_in_samples_ + 1, 1000000000ull, bytesPerSecond());
}

uint32_t Dalfin::getPreferredBufferSize() noexcept {
  auto twenty_ms = static_cast<uint32_t>(double(decode_num_channels_) * double(sample_rate_ / 16) * 0.02);
  return std::max(twenty_ms, decode_num_channels_ * kMaxFramesPerCall);
}

bool Dalfin::setChannels(uint32_t channels) noexcept {
  if (channels == 0) return false;
  if (channels > num_channels_ && !(num_channels_ == 1 && channels == 2)) return false;
  decode_num_channels_ = channels;
  return true;
}

void Dalfin::close() noexcept {
  file_.close();
  source_ = io::FileSource();
  meta_data_ = Value();
  ahead_.reset();
  ahead_size_ = 0;
  ahead_begin_ = 0;
  ahead_end_ = 0;
}

uint32_t DalfinClass::getScoreByPath(const std::string& path) const noexcept {
  try {
    return Dalfin::getScoreByPath(path);
  } catch (...) {
    return 0;
  }
}

std::unique_ptr<plugin::Decoder> DalfinClass::create() const noexcept {
  return std::unique_ptr<plugin::Decoder>(new (std::nothrow) Dalfin());
}

}  // namespace sonara::dsdiff
