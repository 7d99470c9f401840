#include "plugins/system/audio_toolbox_mp3_decoder.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

#include "plugins/common/host_link.h"
#include "plugins/common/mul_div.h"
#include "plugins/system/mpg123_audio_file.h"

namespace sonara::tessor {

using plugin::logLine;
using plugin::mulDiv;

namespace {

uint64_t wholeRate(double rate) { return rate > 0 ? static_cast<uint64_t>(std::llround(rate)) : 0; }

}  // namespace

AudioToolboxMP3Decoder::~AudioToolboxMP3Decoder() = default;

std::unique_ptr<AudioFile> AudioToolboxMP3Decoder::openAudioFile(const std::string& path, std::string* why) {
  return Mpg123AudioFile::open(path, why);
}

int32_t AudioToolboxMP3Decoder::openByPath(const std::string& path, const Dict* options) noexcept {
  try {
    const int32_t status = openInternalByPath(path, options);
    if (status != 0) return status;
    mp3_threashold_db_ = 0;
    if (options) {
      if (auto it = options->find(plugin::kOptionMp3ThresholdDb); it != options->end() && it->second.isNumber()) {
        mp3_threashold_db_ = static_cast<float>(it->second.asDouble());
      }
    }
    processing_frame_size_ = std::max<uint32_t>(file_desc_.frames_per_packet, 1);
    // With an iTunes gapless comment the count it gives follows the priming this
    // decoder removes: the stream ends after both.
    const uint64_t stream_end = need_cut_ ? num_frames_ + primingFrames : num_frames_;
    const uint64_t second = std::min(stream_end, wholeRate(file_desc_.sample_rate));
    start_process_info_ = ProcessWindow{false, 0, second, {}, 0};
    end_process_info_ = ProcessWindow{false, std::max(stream_end - second, second), stream_end, {}, 0};
    const uint32_t channels = file_desc_.channels;
    try {
      start_process_info_.buffer.assign(start_process_info_.end * channels, 0.0f);
      end_process_info_.buffer.assign((end_process_info_.end - end_process_info_.first) * channels, 0.0f);
    } catch (const std::bad_alloc&) {
      logLine("AllocationFailed");
      close();
      return plugin::kStatusSeekFailed;
    }
    if (!createBufferWrapper()) {
      logLine("AllocationFailed");
      close();
      return plugin::kStatusSeekFailed;
    }
    markOpened();
    virtual_current_frame_ = 0;
    decoded_ = false;
    const int32_t analysed = initStartSequence();
    if (analysed != 0) close();
    return analysed;
  } catch (const std::exception& e) {
    logLine("AudioToolboxMP3Decoder:openByPath failed.(%s)", e.what());
    close();
    return plugin::kStatusSeekFailed;
  }
}

float AudioToolboxMP3Decoder::silenceLevel() const {
  return static_cast<float>(std::pow(10.0, static_cast<double>(mp3_threashold_db_) / 20.0));
}

bool AudioToolboxMP3Decoder::isSilent(const float* frame) const {
  const float level = silenceLevel();
  for (uint32_t c = 0; c < file_desc_.channels; ++c) {
    if (std::fabs(frame[c]) > level) return false;
  }
  return true;
}

int64_t AudioToolboxMP3Decoder::fillWindow(float* out, uint64_t frames) {
  const uint32_t channels = desc_.channels;
  uint64_t filled = 0;
  while (filled < frames) {
    if (abl_remain_frames_ == 0) {
      const int64_t n = decodeAndUpdateBuffer();
      if (n < 0) return -1;
      if (n == 0) break;
    }
    const uint64_t take = std::min<uint64_t>(abl_remain_frames_, frames - filled);
    const float* from = p_abl_.data() + size_t{abl_num_frames_ - abl_remain_frames_} * channels;
    std::memcpy(out + filled * channels, from, take * channels * sizeof(float));
    abl_remain_frames_ -= static_cast<uint32_t>(take);
    filled += take;
  }
  return static_cast<int64_t>(filled);
}

int32_t AudioToolboxMP3Decoder::initStartSequence() {
  ProcessWindow& w = start_process_info_;
  const int64_t filled = fillWindow(w.buffer.data(), w.end - w.first);
  if (filled < 0) return plugin::kStatusDecodeFailed;
  w.end = w.first + static_cast<uint64_t>(filled);  // a file that ends early
  if (primingFrames != 0) {
    // Priming described by the encoder's header is already gone; the gapless
    // comment's is removed here.
    w.count = need_cut_ ? primingFrames : 0;
  } else if (mp3_threashold_db_ == 0) {
    w.count = 0;
  } else {
    uint64_t quiet = 0;
    const uint64_t length = w.end - w.first;
    while (quiet < length && isSilent(&w.buffer[quiet * file_desc_.channels])) ++quiet;
    w.count = quiet;
    primingFrames = static_cast<uint32_t>(std::min<uint64_t>(quiet, UINT32_MAX));
  }
  w.count = std::min(w.count, w.end - w.first);
  w.done = true;
  return 0;
}

int32_t AudioToolboxMP3Decoder::initEndSequence() {
  ProcessWindow& w = end_process_info_;
  const int64_t filled = fillWindow(w.buffer.data(), w.end - w.first);
  if (filled < 0) return plugin::kStatusDecodeFailed;
  const auto length = static_cast<uint64_t>(filled);
  if (remainderFrames != 0 || mp3_threashold_db_ == 0) {
    w.count = length;
  } else {
    uint64_t play = length;
    while (play > 0 && isSilent(&w.buffer[(play - 1) * file_desc_.channels])) --play;
    w.count = play;
    remainderFrames = static_cast<uint32_t>(std::min<uint64_t>(length - play, UINT32_MAX));
  }
  w.done = true;
  return 0;
}

int32_t AudioToolboxMP3Decoder::getNextSamples(float* buffer, uint32_t* size) noexcept {
  const uint32_t channels = desc_.channels;
  if (!opened_ || channels == 0) {
    *size = 0;
    return plugin::kStatusDecodeFailed;
  }
  const uint32_t wanted = *size / channels;
  uint32_t delivered = 0;
  int32_t status = 0;
  auto copy = [&](const float* from, uint64_t frames) {
    std::memcpy(buffer + size_t{delivered} * channels, from, frames * channels * sizeof(float));
    delivered += static_cast<uint32_t>(frames);
    current_frame_ += frames;
    virtual_current_frame_ += frames;
  };
  const ProcessWindow& start = start_process_info_;
  ProcessWindow& end = end_process_info_;
  if (!decoded_) {
    // The first second, from memory, after the leading padding.
    if (current_frame_ < start.end) {
      current_frame_ = std::max(current_frame_, start.count);
      const uint64_t n = std::min<uint64_t>(start.end - current_frame_, wanted);
      copy(&start.buffer[current_frame_ * channels], n);
    }
    // The middle, one packet at a time.
    while (delivered < wanted && current_frame_ < end.first) {
      if (abl_remain_frames_ == 0) {
        const int64_t n = decodeAndUpdateBuffer();
        if (n < 0) {
          status = plugin::kStatusDecodeFailed;
          break;
        }
        if (n == 0) {
          decoded_ = true;
          break;
        }
      }
      const uint64_t n = std::min<uint64_t>({abl_remain_frames_, wanted - delivered, end.first - current_frame_});
      copy(p_abl_.data() + size_t{abl_num_frames_ - abl_remain_frames_} * channels, n);
      abl_remain_frames_ -= static_cast<uint32_t>(n);
    }
    // The last second, from memory, up to the trailing padding.
    if (status == 0 && !decoded_ && delivered < wanted && current_frame_ >= end.first) {
      if (!end.done) status = initEndSequence();
      const uint64_t stop = end.first + end.count;
      if (status == 0 && current_frame_ < stop) {
        const uint64_t n = std::min<uint64_t>(stop - current_frame_, wanted - delivered);
        copy(&end.buffer[(current_frame_ - end.first) * channels], n);
      }
    }
  }
  timestamp_ = timestampBefore(virtual_current_frame_);
  *size = delivered * channels;
  return status;
}

int32_t AudioToolboxMP3Decoder::seek(uint64_t ns) noexcept {
  if (!opened_) return plugin::kStatusSeekFailed;
  const uint64_t v = mulDiv(wholeRate(desc_.sample_rate), ns, 1000000000ull);
  const uint64_t p = start_process_info_.count + v;
  // Where the file must stand for what is delivered after the target.
  uint64_t file_at = p;
  bool move_file = true;
  if (p < start_process_info_.end) {
    file_at = start_process_info_.end;
  } else if (p >= end_process_info_.first) {
    file_at = end_process_info_.first;
    move_file = !end_process_info_.done;  // read from memory once analysed
  }
  if (move_file && !file_ref_->seek(file_at)) {
    logLine("%s Failed. (0x%08lX)", file_ref_->seekCallName(),
            static_cast<unsigned long>(static_cast<uint32_t>(file_ref_->lastError())));
    return plugin::kStatusSeekFailed;
  }
  clearBuffer();
  decoded_ = false;
  current_frame_ = p;
  virtual_current_frame_ = v;
  timestamp_ = timestampBefore(v);
  return 0;
}

Value AudioToolboxMP3Decoder::getMetaData() noexcept { return metaDataOfCodedFile(); }

std::unique_ptr<plugin::Decoder> AudioToolboxMP3DecoderClass::create() const noexcept {
  return std::unique_ptr<plugin::Decoder>(new (std::nothrow) AudioToolboxMP3Decoder());
}

}  // namespace sonara::tessor
