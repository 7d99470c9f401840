#include "plugins/system/audio_toolbox_wav_decoder.h"

#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <string_view>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <new>

#include "plugins/common/host_link.h"
#include "plugins/common/id3_text_frames.h"
#include "plugins/common/mul_div.h"
#include "plugins/common/shift_jis_converter.h"
#include "plugins/system/riff_chunks.h"
#include "plugins/system/sndfile_audio_file.h"
#include "platform/text/string_encoding.h"

namespace sonara::tessor {

using plugin::logLine;
using plugin::mulDiv;

namespace {

constexpr std::array<std::string_view, 2> kAlbumFrameIds{"TALB", "TAL"};
constexpr int32_t kOpenFailed = plugin::kStatusSeekFailed;  // -25291, every open failure

uint64_t wholeRate(double rate) { return rate > 0 ? static_cast<uint64_t>(std::llround(rate)) : 0; }

// Reads "<priming> <remainder> <valid frames>" out of an iTunes gapless comment:
// " 00000000 00000840 000001CA 00000000003F81E6 ..." (hexadecimal words).
std::optional<PacketTableInfo> parseITunSMPB(const std::string& text) {
  std::vector<std::string> parts;
  size_t at = text.find_first_not_of(" \t\r\n");
  while (at != std::string::npos) {
    const size_t end = text.find_first_of(" \t\r\n", at);
    parts.push_back(text.substr(at, end == std::string::npos ? std::string::npos : end - at));
    at = end == std::string::npos ? end : text.find_first_not_of(" \t\r\n", end);
  }
  if (parts.size() < 4) return std::nullopt;
  auto hex = [](const std::string& s, uint64_t max) -> std::optional<uint64_t> {
    if (s.empty() || s.size() > 16) return std::nullopt;
    char* end = nullptr;
    errno = 0;
    const unsigned long long v = std::strtoull(s.c_str(), &end, 16);
    if (errno != 0 || *end != '\0' || v > max) return std::nullopt;
    return v;
  };
  auto valid = hex(parts[3], INT64_MAX);
  auto priming = hex(parts[1], UINT32_MAX);
  auto remainder = hex(parts[2], UINT32_MAX);
  if (!valid || !priming || !remainder) return std::nullopt;
  return PacketTableInfo{static_cast<int64_t>(*valid), static_cast<uint32_t>(*priming),
                         static_cast<uint32_t>(*remainder)};
}

// INFO texts end at their first NUL (most writers store one).
std::string infoText(const ChunkData& chunk) {
  const auto* begin = reinterpret_cast<const char*>(chunk.data);
  const auto* nul = static_cast<const char*>(std::memchr(begin, 0, chunk.size));
  return std::string(begin, nul ? nul : begin + chunk.size);
}

}  // namespace

AudioToolboxWavDecoder::~AudioToolboxWavDecoder() { close(); }

std::unique_ptr<AudioFile> AudioToolboxWavDecoder::openAudioFile(const std::string& path, std::string* why) {
  auto file = SndfileAudioFile::open(path, why);
  if (file) {
    if (const ChunkRef* sound = file->soundChunk(); sound && sound->stored < sound->size) {
      logLine("%s is cut short: its audio data should run for %llu bytes, the file holds %llu of them.",
              path.c_str(), static_cast<unsigned long long>(sound->size),
              static_cast<unsigned long long>(sound->stored));
    }
  }
  return file;
}

int32_t AudioToolboxWavDecoder::openByPath(const std::string& path, const Dict* options) noexcept {
  try {
    const int32_t status = openInternalByPath(path, options);
    if (status != 0) return status;
    if (!createBufferWrapper()) {
      logLine("AllocationFailed");
      close();
      return kOpenFailed;
    }
    markOpened();
    return 0;
  } catch (const std::exception& e) {
    logLine("AudioToolboxWavDecoder:openByPath failed.(%s)", e.what());
    close();
    return kOpenFailed;
  }
}

void AudioToolboxWavDecoder::markOpened() {
  current_frame_ = 0;
  desc_ = org_desc_;
  timestamp_ = timestampBefore(0);
  opened_ = true;
}

int32_t AudioToolboxWavDecoder::openInternalByPath(const std::string& path, const Dict*) {
  if (opened_ || file_ref_) {
    logLine("Already Opened.");
    return kOpenFailed;
  }
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
    logLine("%s is not a regular file.", path.c_str());
    return kOpenFailed;
  }
  if (static_cast<uint64_t>(st.st_size) > maxFileSize()) {
    logLine("%s is larger than %llu bytes, the most this decoder reads.", path.c_str(),
            static_cast<unsigned long long>(maxFileSize()));
    return kOpenFailed;
  }
  std::string why;
  file_ref_ = openAudioFile(path, &why);
  if (!file_ref_) {
    logLine("url: %s", path.c_str());
    logLine("%s", why.c_str());
    return kOpenFailed;
  }
  path_ = path;
  num_frames_ = file_ref_->lengthFrames();
  primingFrames = remainderFrames = 0;
  need_cut_ = false;
  // Encoder delay and padding: recorded by the encoder and removed by the reader, or
  // announced in an iTunes gapless comment and removed by the decoder.
  if (auto table = file_ref_->packetTableInfo()) {
    primingFrames = table->priming_frames;
    remainderFrames = table->remainder_frames;
  } else {
    getAudioFilePacketTableInfoFromID3tag();
  }
  if (num_frames_ == 0) {
    logLine("%s holds no audio frames.", path.c_str());
    file_ref_.reset();
    return kOpenFailed;
  }
  file_desc_ = file_ref_->fileFormat();
  // A damaged header's figures would size every buffer after them.
  if (file_desc_.sample_rate < kMinRate || file_desc_.sample_rate > kMaxRate || file_desc_.channels == 0 ||
      file_desc_.channels > kMaxChannels) {
    logLine("%s declares %.0f Hz and %u channels, which no audio file holds.", path.c_str(), file_desc_.sample_rate,
            file_desc_.channels);
    file_ref_.reset();
    return kOpenFailed;
  }
  org_desc_ = ClientFormat{file_desc_.sample_rate, file_desc_.channels};
  desc_ = org_desc_;
  bits_ = 32;
  duration_ = mulDiv(num_frames_, 1000000000ull, wholeRate(file_desc_.sample_rate));
  return 0;
}

void AudioToolboxWavDecoder::getAudioFilePacketTableInfoFromID3tag() {
  const std::vector<uint8_t> tag = file_ref_->rawID3Tag();
  if (tag.empty()) return;
  const auto text = id3::commentText(tag, "iTunSMPB");
  if (!text) return;
  const auto info = parseITunSMPB(*text);
  // A count the stream cannot hold is not this file's.
  if (!info || info->valid_frames <= 0 || static_cast<uint64_t>(info->valid_frames) > num_frames_) return;
  num_frames_ = static_cast<uint64_t>(info->valid_frames);
  primingFrames = info->priming_frames;
  remainderFrames = info->remainder_frames;
  need_cut_ = true;
}

bool AudioToolboxWavDecoder::createBufferWithFrame(uint32_t frames, uint32_t channels) {
  try {
    p_abl_.assign(size_t{frames} * channels, 0.0f);
  } catch (const std::bad_alloc&) {
    return false;
  }
  clearBuffer();
  return true;
}

uint64_t AudioToolboxWavDecoder::timestampBefore(uint64_t next_frame) const {
  return mulDiv(next_frame + 1, 1000000000ull, wholeRate(desc_.sample_rate));
}

void AudioToolboxWavDecoder::clearBuffer() { abl_remain_frames_ = abl_num_frames_ = 0; }

int64_t AudioToolboxWavDecoder::fillBuffer(uint32_t frames) {
  const uint32_t capacity = desc_.channels == 0 ? 0 : static_cast<uint32_t>(p_abl_.size() / desc_.channels);
  frames = std::min(frames, capacity);
  const int64_t n = file_ref_->read(p_abl_.data(), frames);
  if (n < 0) {
    logLine("%s() failed. (0x%08lX)", file_ref_->readCallName(),
            static_cast<unsigned long>(static_cast<uint32_t>(file_ref_->lastError())));
    return -1;
  }
  // A mono file delivered as two channels: each value twice, from the end backwards
  // so that the expansion happens in place.
  if (desc_.channels == 2 && file_desc_.channels == 1) {
    for (int64_t i = n - 1; i >= 0; --i) p_abl_[2 * i] = p_abl_[2 * i + 1] = p_abl_[i];
  }
  abl_num_frames_ = abl_remain_frames_ = static_cast<uint32_t>(n);
  return n;
}

int32_t AudioToolboxWavDecoder::getNextSamples(float* buffer, uint32_t* size) noexcept {
  if (!opened_ || desc_.channels == 0) {
    *size = 0;
    return plugin::kStatusDecodeFailed;
  }
  const uint32_t channels = desc_.channels;
  const uint32_t wanted = *size / channels;
  uint32_t delivered = 0;
  int32_t status = 0;
  while (delivered < wanted) {
    if (abl_remain_frames_ == 0) {
      const int64_t n = fillBuffer(kListFrames);
      if (n < 0) {
        status = plugin::kStatusDecodeFailed;
        break;
      }
      if (n == 0) break;
    }
    const uint32_t take = std::min(abl_remain_frames_, wanted - delivered);
    const float* from = p_abl_.data() + size_t{abl_num_frames_ - abl_remain_frames_} * channels;
    std::memcpy(buffer + size_t{delivered} * channels, from, size_t{take} * channels * sizeof(float));
    abl_remain_frames_ -= take;
    delivered += take;
    current_frame_ += take;
  }
  timestamp_ = timestampBefore(current_frame_);
  *size = delivered * channels;
  return status;
}

int32_t AudioToolboxWavDecoder::getDummySamples(float* buffer, uint32_t* size) noexcept {
  std::memset(buffer, 0, size_t{*size} * sizeof(float));
  return 0;
}

int32_t AudioToolboxWavDecoder::seek(uint64_t ns) noexcept {
  if (!opened_) return plugin::kStatusSeekFailed;
  const uint64_t frame = mulDiv(wholeRate(desc_.sample_rate), ns, 1000000000ull);
  if (!file_ref_->seek(frame)) {
    logLine("%s Failed. (0x%08lX)", file_ref_->seekCallName(),
            static_cast<unsigned long>(static_cast<uint32_t>(file_ref_->lastError())));
    return plugin::kStatusSeekFailed;
  }
  timestamp_ = timestampBefore(frame);
  current_frame_ = frame;
  clearBuffer();
  return 0;
}

// Nothing in the engine asks for conversion, and a bit-perfect player never
// resamples: only the file's own rate is taken.
bool AudioToolboxWavDecoder::setSamplingRate(float rate) noexcept {
  if (!opened_ || static_cast<double>(rate) != file_desc_.sample_rate) {
    logLine("%s plays at its own rate of %.0f Hz only; %.0f Hz was asked for.", path_.c_str(),
            file_desc_.sample_rate, static_cast<double>(rate));
    return false;
  }
  desc_.sample_rate = file_desc_.sample_rate;
  return seek(0) == 0;
}

// The file's own channel count, or a mono file as two identical channels.
bool AudioToolboxWavDecoder::setChannels(uint32_t channels) noexcept {
  const bool own = channels == file_desc_.channels;
  const bool doubled = channels == 2 && file_desc_.channels == 1;
  if (!opened_ || (!own && !doubled)) {
    logLine("%s plays with its own %u channels only; %u were asked for.", path_.c_str(), file_desc_.channels,
            channels);
    return false;
  }
  // What the old list holds is in the old layout: go on from the first frame not yet
  // delivered.
  const uint64_t next = current_frame_;
  const uint32_t before = desc_.channels;
  desc_.channels = channels;
  if (!createBufferWrapper() || !file_ref_->seek(next)) {
    desc_.channels = before;
    createBufferWrapper();
    return false;
  }
  return true;
}

uint32_t AudioToolboxWavDecoder::getBitRate() noexcept {
  return static_cast<uint32_t>(file_desc_.stored_bits_per_channel / 8 * file_desc_.channels *
                               wholeRate(file_desc_.sample_rate));
}

uint32_t AudioToolboxWavDecoder::getPreferredBufferSize() noexcept {
  return std::max(1u, static_cast<uint32_t>(desc_.sample_rate * 0.02));
}

void AudioToolboxWavDecoder::close() noexcept {
  file_ref_.reset();
  p_abl_ = {};
  clearBuffer();
  opened_ = false;
}

// ---- Metadata ----

const Value* AudioToolboxWavDecoder::metadataValue(const Array& list, const char* key) {
  for (const auto& entry : list) {
    if (const Value& v = entry[key]; !v.isNull()) return &v;
  }
  return nullptr;
}

void AudioToolboxWavDecoder::addMetaData(Array& list, const std::string& text, const char* key, bool convert) {
  // An empty tag names nothing: later steps and the file name may.
  if (text.empty() || metadataValue(list, key)) return;
  list.push_back(Value(Dict{{key, Value(convert ? id3::convertToEstimateStringEncoding(text)
                                                : text)}}));
}

void AudioToolboxWavDecoder::checkID3v2Tag(Array& list) {
  for (const auto& tag : file_ref_->id3Chunks()) {
    const auto frames = id3::parseID3v2Tag(tag);
    if (!frames) continue;
    if (frames->title) addMetaData(list, *frames->title, plugin::kMetaTitle, id3::isConvertNeeded(tag, id3::kTitleFrameIds));
    if (frames->artist) {
      addMetaData(list, *frames->artist, plugin::kMetaArtist, id3::isConvertNeeded(tag, id3::kArtistFrameIds));
    }
    if (frames->album) addMetaData(list, *frames->album, plugin::kMetaAlbum, id3::isConvertNeeded(tag, kAlbumFrameIds));
    if (frames->track) addMetaData(list, *frames->track, plugin::kMetaTrackNumber, false);
    if (frames->disc) addMetaData(list, *frames->disc, plugin::kMetaDiscNumber, false);
    if (frames->date) addMetaData(list, *frames->date, plugin::kMetaDate, false);
  }
}

void AudioToolboxWavDecoder::checkMetaDataAsWavFile(Array& list) {
  for (const auto& info : file_ref_->infoLists()) {
    for (const auto& [id, key] : {std::pair{"INAM", plugin::kMetaTitle}, std::pair{"IART", plugin::kMetaArtist}}) {
      char chunk_id[5];
      std::memcpy(chunk_id, id, 5);
      const auto chunk = findChunk(chunk_id, info.data(), info.size());
      if (!chunk) continue;
      const std::string bytes = infoText(*chunk);
      const auto text = text::decodeToUtf8(bytes, text::estimateStringEncoding(bytes).c_str());
      if (text && !text->empty() && !metadataValue(list, key)) list.push_back(Value(Dict{{key, Value(*text)}}));
    }
  }
}

void AudioToolboxWavDecoder::getAudioFilePropertyInfo(Array& list) {
  const InfoDictionary info = file_ref_->infoDictionary();
  const std::vector<uint8_t> raw = file_ref_->rawID3Tag();
  if (info.artist) addMetaData(list, *info.artist, plugin::kMetaArtist, id3::isConvertNeeded(raw, id3::kArtistFrameIds));
  if (info.title) addMetaData(list, *info.title, plugin::kMetaTitle, id3::isConvertNeeded(raw, id3::kTitleFrameIds));
}

void AudioToolboxWavDecoder::addFileFormatEntries(Array& list) {
  if (!metadataValue(list, plugin::kMetaSrcSampleRate)) {
    list.push_back(Value(Dict{{plugin::kMetaSrcSampleRate, Value(static_cast<float>(file_desc_.sample_rate))}}));
  }
  if (!metadataValue(list, "Channels")) {
    list.push_back(Value(Dict{{"Channels", Value(file_desc_.channels)}}));
  }
  if (!metadataValue(list, plugin::kMetaSrcBits)) {
    list.push_back(Value(Dict{{plugin::kMetaSrcBits, Value(file_desc_.bits_per_channel)}}));
  }
}

Value AudioToolboxWavDecoder::getMetaData() noexcept {
  if (!file_ref_) return Value();
  try {
    Array list;
    if (file_desc_.type == AudioFileType::Aiff) {
      checkID3v2Tag(list);
    } else if (file_desc_.type == AudioFileType::Wave) {
      checkID3v2Tag(list);
      checkMetaDataAsWavFile(list);
    }
    getAudioFilePropertyInfo(list);
    addFileFormatEntries(list);
    return Value(std::move(list));
  } catch (const std::exception& e) {
    logLine("AudioToolboxWavDecoder:getMetaData failed.(%s)", e.what());
    return Value();
  }
}

Value AudioToolboxWavDecoder::metaDataOfCodedFile() noexcept {
  if (!file_ref_) return Value();
  try {
    Array list;
    addFileFormatEntries(list);
    getAudioFilePropertyInfo(list);
    return Value(std::move(list));
  } catch (const std::exception& e) {
    logLine("getMetaData failed.(%s)", e.what());
    return Value();
  }
}

std::unique_ptr<plugin::Decoder> AudioToolboxWavDecoderClass::create() const noexcept {
  return std::unique_ptr<plugin::Decoder>(new (std::nothrow) AudioToolboxWavDecoder());
}

}  // namespace sonara::tessor
