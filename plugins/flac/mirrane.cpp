#include "plugins/flac/mirrane.h"

#include <FLAC/metadata.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "plugins/common/host_link.h"
#include "plugins/common/mul_div.h"
#include "plugins/common/path_extension.h"

namespace sonara::flac {

using plugin::logLine;
using plugin::mulDiv;

namespace {

FLAC__StreamDecoderWriteStatus writeCallback(const FLAC__StreamDecoder*, const FLAC__Frame* frame,
                                             const FLAC__int32* const buffer[], void* client) {
  if (!client) return FLAC__STREAM_DECODER_WRITE_STATUS_ABORT;
  return static_cast<Mirrane*>(client)->storeFrame(frame, buffer);
}

void metadataCallback(const FLAC__StreamDecoder*, const FLAC__StreamMetadata* metadata,
                      void* client) {
  if (!client) return;
  auto* self = static_cast<Mirrane*>(client);
  if (metadata->type == FLAC__METADATA_TYPE_STREAMINFO) {
    self->setStreamInfo(metadata->data.stream_info);
  } else if (metadata->type == FLAC__METADATA_TYPE_VORBIS_COMMENT) {
    const auto& vc = metadata->data.vorbis_comment;
    for (FLAC__uint32 i = 0; i < vc.num_comments; ++i) {
      char* name = nullptr;
      char* value = nullptr;
      if (FLAC__metadata_object_vorbiscomment_entry_to_name_value_pair(vc.comments[i], &name,
                                                                       &value)) {
        self->setMetaData(name, value);
      }
      std::free(name);
      std::free(value);
    }
  }
}

void errorCallback(const FLAC__StreamDecoder*, FLAC__StreamDecoderErrorStatus status, void* client) {
  if (client && status == FLAC__STREAM_DECODER_ERROR_STATUS_FRAME_CRC_MISMATCH) {
    static_cast<Mirrane*>(client)->noteStreamError();
  }
  const char* message = "An error in the stream caused the decoder to lose synchronization.";
  switch (status) {
    case FLAC__STREAM_DECODER_ERROR_STATUS_BAD_HEADER:
      message = "The decoder encountered a corrupted frame header.";
      break;
    case FLAC__STREAM_DECODER_ERROR_STATUS_FRAME_CRC_MISMATCH:
      message = "The frame's data did not match the CRC in the footer.";
      break;
    case FLAC__STREAM_DECODER_ERROR_STATUS_UNPARSEABLE_STREAM:
      message = "The decoder encountered reserved fields in use in the stream.";
      break;
    default:
      break;
  }
  logLine("%s", message);
}

// The decoder reads through these, so that it can count what it reads.
FLAC__StreamDecoderReadStatus readCallback(const FLAC__StreamDecoder*, FLAC__byte buffer[], size_t* bytes,
                                           void* client) {
  return static_cast<Mirrane*>(client)->read(buffer, bytes);
}

FLAC__StreamDecoderSeekStatus seekCallback(const FLAC__StreamDecoder*, FLAC__uint64 offset, void* client) {
  FILE* f = static_cast<Mirrane*>(client)->file();
  if (offset > static_cast<FLAC__uint64>(INT64_MAX) || ::fseeko(f, static_cast<off_t>(offset), SEEK_SET) != 0) {
    return FLAC__STREAM_DECODER_SEEK_STATUS_ERROR;
  }
  return FLAC__STREAM_DECODER_SEEK_STATUS_OK;
}

FLAC__StreamDecoderTellStatus tellCallback(const FLAC__StreamDecoder*, FLAC__uint64* offset, void* client) {
  off_t at = ::ftello(static_cast<Mirrane*>(client)->file());
  if (at < 0) return FLAC__STREAM_DECODER_TELL_STATUS_ERROR;
  *offset = static_cast<FLAC__uint64>(at);
  return FLAC__STREAM_DECODER_TELL_STATUS_OK;
}

FLAC__StreamDecoderLengthStatus lengthCallback(const FLAC__StreamDecoder*, FLAC__uint64* length, void* client) {
  struct stat st {};
  if (::fstat(::fileno(static_cast<Mirrane*>(client)->file()), &st) != 0) {
    return FLAC__STREAM_DECODER_LENGTH_STATUS_ERROR;
  }
  *length = static_cast<FLAC__uint64>(st.st_size);
  return FLAC__STREAM_DECODER_LENGTH_STATUS_OK;
}

FLAC__bool eofCallback(const FLAC__StreamDecoder*, void* client) {
  return std::feof(static_cast<Mirrane*>(client)->file()) != 0;
}

// A libFLAC decoder set up as both the principal and the decoder use it: MD5
// checking on, only STREAMINFO and VORBIS_COMMENT reported.
FLAC__StreamDecoder* newConfiguredDecoder() {
  FLAC__StreamDecoder* d = FLAC__stream_decoder_new();
  if (!d) return nullptr;
  FLAC__stream_decoder_set_md5_checking(d, true);
  FLAC__stream_decoder_set_metadata_ignore_all(d);
  FLAC__stream_decoder_set_metadata_respond(d, FLAC__METADATA_TYPE_STREAMINFO);
  FLAC__stream_decoder_set_metadata_respond(d, FLAC__METADATA_TYPE_VORBIS_COMMENT);
  return d;
}

bool hasFlacExtension(const std::string& path) { return plugin::lowerCaseExtension(path) == "flac"; }

// Only a regular file that starts as a FLAC stream does (its marker, or an ID3v2 tag
// some taggers put before it) goes to libFLAC: a FIFO would block it and a device
// or random bytes would keep it searching for a frame that never comes.
bool looksLikeFlacFile(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  char head[4] = {};
  const size_t n = std::fread(head, 1, sizeof head, f);
  std::fclose(f);
  return (n == 4 && std::memcmp(head, "fLaC", 4) == 0) || (n >= 3 && std::memcmp(head, "ID3", 3) == 0);
}

}  // namespace

bool canDecodeFlacFile(const std::string& path) {
  if (!hasFlacExtension(path)) return false;
  if (!looksLikeFlacFile(path)) {
    logLine("MirranePlugin:findDecoderClassByPath failed.(not a FLAC stream)");
    return false;
  }
  FLAC__StreamDecoder* d = newConfiguredDecoder();
  if (!d) {
    logLine("MirranePlugin:findDecoderClassByPath failed.(FLAC__stream_decoder_new() error)");
    return false;
  }
  bool ok = false;
  if (FLAC__stream_decoder_init_file(d, path.c_str(), writeCallback, metadataCallback,
                                     errorCallback, nullptr) != FLAC__STREAM_DECODER_INIT_STATUS_OK) {
    logLine("MirranePlugin:findDecoderClassByPath failed.(FLAC__stream_decoder_init_file() error)");
  } else if (!FLAC__stream_decoder_process_until_end_of_metadata(d)) {
    logLine("MirranePlugin:findDecoderClassByPath failed."
            "(FLAC__stream_decoder_process_until_end_of_metadata() error)");
  } else {
    ok = true;
  }
  FLAC__stream_decoder_finish(d);
  FLAC__stream_decoder_delete(d);
  return ok;
}

Mirrane::~Mirrane() { close(); }

int32_t Mirrane::openByPath(const std::string& path, const Dict*) noexcept {
  if (opened_) {
    logLine("Mirrane:openByPath failed.(already opened)");
    return plugin::kStatusAlreadyOpen;
  }
  decoder_ = nullptr;
  opened_ = false;
  meta_data_ = Value(Array{});
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return plugin::kStatusParam;
  if (static_cast<uint64_t>(st.st_size) >= kMaxFileSize) return plugin::kStatusParam;
  if (!looksLikeFlacFile(path)) {
    // What libFLAC would end with after searching the whole file for metadata.
    logLine("Mirrane:openByPath failed.(FLAC__stream_decoder_process_until_end_of_metadata() error)");
    return plugin::kStatusLibraryFailed;
  }

  FLAC__StreamDecoder* d = newConfiguredDecoder();
  if (!d) {
    logLine("Mirrane:openByPath failed.(FLAC__stream_decoder_new() error)");
    return plugin::kStatusLibraryFailed;
  }
  auto fail = [&](const char* message, int32_t status) {
    if (message) logLine("%s", message);
    FLAC__stream_decoder_finish(d);
    FLAC__stream_decoder_delete(d);
    if (file_) std::fclose(file_);
    file_ = nullptr;
    return status;
  };
  file_ = std::fopen(path.c_str(), "rb");
  if (!file_) {
    return fail("Mirrane:openByPath failed.(FLAC__stream_decoder_init_file() error)", plugin::kStatusLibraryFailed);
  }
  bytes_read_ = last_good_bytes_ = 0;
  gave_up_ = false;
  searching_frames_ = false;  // metadata (pictures, padding) may be large
  if (FLAC__stream_decoder_init_stream(d, readCallback, seekCallback, tellCallback, lengthCallback, eofCallback,
                                       writeCallback, metadataCallback, errorCallback,
                                       this) != FLAC__STREAM_DECODER_INIT_STATUS_OK) {
    return fail("Mirrane:openByPath failed.(FLAC__stream_decoder_init_file() error)",
                plugin::kStatusLibraryFailed);
  }
  if (!FLAC__stream_decoder_process_until_end_of_metadata(d)) {
    return fail("Mirrane:openByPath failed.(FLAC__stream_decoder_process_until_end_of_metadata() error)",
                plugin::kStatusLibraryFailed);
  }
  // A stream without usable parameters cannot be played (and would divide by zero).
  if (sampling_rate_ <= 0 || channels_ == 0 || blocksize_ == 0) {
    return fail("Mirrane:openByPath failed.(invalid stream information)",
                plugin::kStatusDecodeFailed);
  }
  try {
    decode_buff_.values.assign(size_t{blocksize_} * channels_, 0.0f);
  } catch (const std::bad_alloc&) {
    return fail("Mirrane:sampleBufferNew failed.(memory alloc error)", plugin::kStatusMemory);
  }
  decode_buff_.read_index = 0;
  decode_buff_.count = 0;
  last_good_bytes_ = bytes_read_;
  searching_frames_ = true;
  decoder_ = d;
  opened_ = true;
  return 0;
}

void Mirrane::setStreamInfo(const FLAC__StreamMetadata_StreamInfo& info) {
  total_samples_ = info.total_samples;
  sampling_rate_ = static_cast<float>(info.sample_rate);
  channels_ = info.channels;
  bits_ = 32;
  blocksize_ = info.max_blocksize;
  duration_ = mulDiv(info.total_samples, 1000000000ull, info.sample_rate);
  char text[16];
  std::snprintf(text, sizeof text, "%u", info.bits_per_sample);
  setMetaData("SRC_BITS", text);
  std::snprintf(text, sizeof text, "%u", info.sample_rate);
  setMetaData("SRC_SAMPLERATE", text);
}

void Mirrane::setMetaData(const char* raw_name, const char* value) {
  if (!raw_name || !value) return;
  std::string name = raw_name;
  for (auto& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  Array& list = meta_data_.mutableArray();
  if (name == "ARTIST") {
    list.push_back(Value(Dict{{plugin::kMetaArtist, Value(value)}}));
  } else if (name == "TITLE") {
    list.push_back(Value(Dict{{plugin::kMetaTitle, Value(value)}}));
  } else if (name == "ALBUM") {
    list.push_back(Value(Dict{{plugin::kMetaAlbum, Value(value)}}));
  } else if (name == "TRACKNUMBER") {
    list.push_back(Value(Dict{{plugin::kMetaTrackNumber, Value(value)}}));
  } else if (name == "DISCNUMBER") {
    list.push_back(Value(Dict{{plugin::kMetaDiscNumber, Value(value)}}));
  } else if (name == "DATE") {
    list.push_back(Value(Dict{{plugin::kMetaDate, Value(value)}}));
  } else if (name == "SRC_BITS") {
    list.push_back(Value(Dict{{plugin::kMetaSrcBits, Value(std::strtol(value, nullptr, 10))}}));
  } else if (name == "SRC_SAMPLERATE") {
    list.push_back(
        Value(Dict{{plugin::kMetaSrcSampleRate, Value(std::strtol(value, nullptr, 10))}}));
  }
}

FLAC__StreamDecoderWriteStatus Mirrane::storeFrame(const FLAC__Frame* frame,
                                                   const FLAC__int32* const channels[]) {
  const uint32_t block = frame->header.blocksize;
  const uint32_t ch = frame->header.channels;
  const uint32_t bps = frame->header.bits_per_sample;
  // Interleaving a frame of another channel count would scramble every channel.
  if (ch != channels_ || bps == 0 || bps > 32 || frame->header.sample_rate == 0) {
    return FLAC__STREAM_DECODER_WRITE_STATUS_ABORT;
  }
  // A frame longer than STREAMINFO announced gets a larger buffer (decoding thread,
  // never the real-time one).
  if (size_t{block} * ch > decode_buff_.values.size()) {
    try {
      decode_buff_.values.resize(size_t{block} * ch);
    } catch (const std::bad_alloc&) {
      return FLAC__STREAM_DECODER_WRITE_STATUS_ABORT;
    }
  }
  const uint32_t shift = 32 - bps;
  float* out = decode_buff_.values.data();
  for (uint32_t i = 0; i < block; ++i) {
    for (uint32_t c = 0; c < ch; ++c) {
      auto sample = static_cast<int32_t>(static_cast<uint32_t>(channels[c][i]) << shift);
      out[size_t{i} * ch + c] = static_cast<float>(sample) * (1.0f / 2147483648.0f);
    }
  }
  // A frame that failed its CRC comes as silence: no sign of a stream.
  if (!stream_error_) last_good_bytes_ = bytes_read_;
  stream_error_ = false;
  decode_buff_.read_index = 0;
  decode_buff_.count = block * ch;
  decode_buff_.first_sample = frame->header.number.sample_number;
  decode_buff_.end_sample = decode_buff_.first_sample + block;
  decode_buff_.rate = frame->header.sample_rate;
  return FLAC__STREAM_DECODER_WRITE_STATUS_CONTINUE;
}

int32_t Mirrane::getNextSamples(float* buffer, uint32_t* size) noexcept {
  if (!opened_) {
    *size = 0;
    return plugin::kStatusDecodeFailed;
  }
  if (decode_buff_.read_index == decode_buff_.count) {
    decode_buff_.read_index = decode_buff_.count = 0;
    // Metadata blocks and skipped garbage produce no frame; go on until one comes or
    // the stream ends, so a damaged stretch is not taken for the end. Reading gives
    // up after too much input without a valid frame (see readCallback).
    while (decode_buff_.count == 0) {
      const bool processed = FLAC__stream_decoder_process_single(decoder_);
      if (!processed || gave_up_ || FLAC__stream_decoder_get_state(decoder_) == FLAC__STREAM_DECODER_ABORTED) {
        if (gave_up_) {
          logLine("Mirrane:getNextSamples failed.(no valid frame in %llu bytes)",
                  static_cast<unsigned long long>(kMaxBytesWithoutFrame));
        } else {
          logLine("Mirrane:getNextSamples failed.(decode error)");
        }
        *size = 0;
        return plugin::kStatusDecodeFailed;
      }
      if (FLAC__stream_decoder_get_state(decoder_) == FLAC__STREAM_DECODER_END_OF_STREAM) break;
    }
    // A file cut short ends before the samples its header promises: the track is
    // damaged, not over.
    const uint64_t reached = decode_buff_.end_sample;
    if (decode_buff_.count == 0 && total_samples_ != 0 && reached < total_samples_) {
      logLine("Mirrane:getNextSamples failed.(the stream ends at sample %llu of %llu)",
              static_cast<unsigned long long>(reached), static_cast<unsigned long long>(total_samples_));
      *size = 0;
      return plugin::kStatusDecodeFailed;
    }
  }
  uint32_t available = decode_buff_.count - decode_buff_.read_index;
  const float* from = decode_buff_.values.data() + decode_buff_.read_index;
  if (available <= *size) {
    std::memcpy(buffer, from, size_t{available} * sizeof(float));
    decode_buff_.read_index = decode_buff_.count;
    *size = available;
  } else {
    std::memcpy(buffer, from, size_t{*size} * sizeof(float));
    decode_buff_.read_index += *size;
  }
  return 0;
}

// (sample + 1) / rate of the next sample to deliver, so that a track window ends
// where its samples end rather than up to a frame later; right after a seek this is
// (target + 1) / rate.
uint64_t Mirrane::getTimestamp() noexcept {
  if (decode_buff_.rate == 0 || channels_ == 0) return 0;
  uint64_t next = decode_buff_.first_sample + decode_buff_.read_index / channels_;
  return mulDiv(next + 1, 1000000000ull, decode_buff_.rate);
}

int32_t Mirrane::getDummySamples(float* buffer, uint32_t* size) noexcept {
  std::memset(buffer, 0, size_t{*size} * sizeof(float));
  return 0;
}

int32_t Mirrane::seek(uint64_t ns) noexcept {
  if (!opened_) return plugin::kStatusSeekFailed;
  uint64_t target = static_cast<uint64_t>(static_cast<double>(sampling_rate_) *
                                          static_cast<double>(ns) / 1e9);
  uint64_t total = FLAC__stream_decoder_get_total_samples(decoder_);
  if (total != 0 && target > total - 1) target = total - 1;
  decode_buff_.read_index = decode_buff_.count = 0;
  decode_buff_.end_sample = target;  // the frame holding the target follows
  // A seek reads around the file by design; the frame search bound resumes after it.
  searching_frames_ = false;
  const bool sought = FLAC__stream_decoder_seek_absolute(decoder_, target);
  searching_frames_ = true;
  last_good_bytes_ = bytes_read_;
  if (!sought) {
    logLine("Mirrane:seek failed.");
    // A failed seek leaves libFLAC unusable until flushed.
    FLAC__stream_decoder_flush(decoder_);
    return plugin::kStatusSeekFailed;
  }
  return 0;
}

bool Mirrane::setSamplingRate(float rate) noexcept {
  sampling_rate_ = rate;
  return true;
}
bool Mirrane::setChannels(uint32_t channels) noexcept {
  channels_ = channels;
  return true;
}
bool Mirrane::setBits(uint32_t bits) noexcept {
  bits_ = bits;
  return true;
}

uint32_t Mirrane::getBitRate() noexcept {
  return static_cast<uint32_t>((bits_ / 8) * channels_ * static_cast<double>(sampling_rate_));
}

uint32_t Mirrane::getPreferredBufferSize() noexcept {
  return static_cast<uint32_t>(channels_ * static_cast<double>(sampling_rate_) * 0.02);
}

FLAC__StreamDecoderReadStatus Mirrane::read(FLAC__byte buffer[], size_t* bytes) {
  if (*bytes == 0) return FLAC__STREAM_DECODER_READ_STATUS_ABORT;
  if (searching_frames_ && bytes_read_ - last_good_bytes_ > kMaxBytesWithoutFrame) {
    gave_up_ = true;
    *bytes = 0;
    return FLAC__STREAM_DECODER_READ_STATUS_ABORT;
  }
  *bytes = std::fread(buffer, 1, *bytes, file_);
  bytes_read_ += *bytes;
  if (*bytes > 0) return FLAC__STREAM_DECODER_READ_STATUS_CONTINUE;
  return std::ferror(file_) ? FLAC__STREAM_DECODER_READ_STATUS_ABORT : FLAC__STREAM_DECODER_READ_STATUS_END_OF_STREAM;
}

void Mirrane::close() noexcept {
  opened_ = false;
  if (decoder_) {
    FLAC__stream_decoder_finish(decoder_);
    FLAC__stream_decoder_delete(decoder_);
    decoder_ = nullptr;
  }
  if (file_) std::fclose(file_);
  file_ = nullptr;
  meta_data_ = Value();
  decode_buff_ = SampleBuffer{};
}

std::unique_ptr<plugin::Decoder> MirraneClass::create() const noexcept {
  return std::unique_ptr<plugin::Decoder>(new (std::nothrow) Mirrane());
}

}  // namespace sonara::flac
