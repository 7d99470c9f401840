#include "plugins/system/ffmpeg_audio_file.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/error.h>
}

#include <algorithm>
#include <cstring>

#include "plugins/system/taglib_info.h"

namespace sonara::tessor {
namespace {

std::string avError(const char* call, int error) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(error, text, sizeof text);
  return std::string(call) + " failed.(" + text + ")";
}

}  // namespace

std::unique_ptr<FfmpegAudioFile> FfmpegAudioFile::open(const std::string& path, std::string* why) {
  std::unique_ptr<FfmpegAudioFile> self(new FfmpegAudioFile());
  self->path_ = path;
  av_log_set_level(AV_LOG_QUIET);
  AVDictionary* options = nullptr;
  // Only the file itself: a crafted file never makes the demuxer open anything else.
  av_dict_set(&options, "protocol_whitelist", "file", 0);
  int error = avformat_open_input(&self->format_context_, ("file:" + path).c_str(), av_find_input_format("mov"),
                                  &options);
  av_dict_free(&options);
  if (error < 0) {
    *why = avError("avformat_open_input", error);
    return nullptr;
  }
  const AVCodec* codec = nullptr;
  self->stream_ = av_find_best_stream(self->format_context_, AVMEDIA_TYPE_AUDIO, -1, -1, &codec, 0);
  if (self->stream_ < 0 || !codec) {
    *why = "av_find_best_stream failed.(no audio stream)";
    return nullptr;
  }
  const AVStream* stream = self->format_context_->streams[self->stream_];
  const AVCodecParameters* par = stream->codecpar;
  if (par->codec_id != AV_CODEC_ID_ALAC) {
    *why = std::string("not Apple Lossless audio (") + avcodec_get_name(par->codec_id) + ")";
    return nullptr;
  }
  if (par->sample_rate <= 0 || par->ch_layout.nb_channels <= 0) {
    *why = "the stream has no sample rate or no channels";
    return nullptr;
  }
  self->codec_ = avcodec_alloc_context3(codec);
  self->packet_ = av_packet_alloc();
  self->frame_ = av_frame_alloc();
  if (!self->codec_ || !self->packet_ || !self->frame_) {
    *why = "AllocationFailed";
    return nullptr;
  }
  if ((error = avcodec_parameters_to_context(self->codec_, par)) < 0 ||
      (error = avcodec_open2(self->codec_, codec, nullptr)) < 0) {
    *why = avError("avcodec_open2", error);
    return nullptr;
  }
  self->format_.type = AudioFileType::Mp4;
  self->format_.sample_rate = par->sample_rate;
  self->format_.channels = static_cast<uint32_t>(par->ch_layout.nb_channels);
  // The decoder learns the stored depth from the codec's configuration at open.
  int bits = self->codec_->bits_per_raw_sample;
  if (bits <= 0) bits = par->bits_per_raw_sample > 0 ? par->bits_per_raw_sample : par->bits_per_coded_sample;
  self->format_.bits_per_channel = static_cast<uint32_t>(std::max(bits, 0));
  self->format_.stored_bits_per_channel = self->format_.bits_per_channel;
  self->format_.frames_per_packet = par->frame_size > 0 ? static_cast<uint32_t>(par->frame_size) : 4096;
  if (stream->duration > 0) {
    self->frames_ = static_cast<uint64_t>(av_rescale_q(stream->duration, stream->time_base, AVRational{1, par->sample_rate}));
  }
  return self;
}

FfmpegAudioFile::~FfmpegAudioFile() {
  av_frame_free(&frame_);
  av_packet_free(&packet_);
  avcodec_free_context(&codec_);
  avformat_close_input(&format_context_);
}

bool FfmpegAudioFile::decodeNext() {
  for (;;) {
    int error = avcodec_receive_frame(codec_, frame_);
    if (error == 0) {
      takeFrame();
      av_frame_unref(frame_);
      if (last_error_ != 0) return false;
      if (pending_at_ < pending_.size()) return true;
      continue;  // wholly before a seek's target
    }
    if (error == AVERROR_EOF) return false;
    if (error != AVERROR(EAGAIN)) {
      last_error_ = error;
      return false;
    }
    if (flushed_) return false;
    error = av_read_frame(format_context_, packet_);
    if (error == AVERROR_EOF) {
      flushed_ = true;
      avcodec_send_packet(codec_, nullptr);
      continue;
    }
    if (error < 0) {
      last_error_ = error;
      return false;
    }
    if (packet_->stream_index == stream_) error = avcodec_send_packet(codec_, packet_);
    av_packet_unref(packet_);
    // A damaged packet is the decoder's error to report; the stream goes on.
    if (error < 0 && error != AVERROR(EAGAIN) && error != AVERROR_INVALIDDATA) {
      last_error_ = error;
      return false;
    }
  }
}

// Interleaves the decoded frame as floats: 16-bit values exactly, 20- and 24-bit
// values (left-aligned in 32 bits) exactly, 32-bit ones to the nearest float.
void FfmpegAudioFile::takeFrame() {
  const auto channels = static_cast<size_t>(format_.channels);
  const auto count = static_cast<size_t>(std::max(frame_->nb_samples, 0));
  if (static_cast<size_t>(frame_->ch_layout.nb_channels) != channels) {
    // Interleaving another layout would scramble every channel.
    last_error_ = AVERROR_INVALIDDATA;
    pending_.clear();
    pending_at_ = 0;
    return;
  }
  pending_.resize(count * channels);
  pending_at_ = 0;
  const auto fmt = static_cast<AVSampleFormat>(frame_->format);
  const bool planar = av_sample_fmt_is_planar(fmt) != 0;
  for (size_t i = 0; i < count; ++i) {
    for (size_t c = 0; c < channels; ++c) {
      const size_t at = planar ? i : i * channels + c;
      const uint8_t* plane = frame_->extended_data[planar ? c : 0];
      float v = 0;
      if (fmt == AV_SAMPLE_FMT_S16P || fmt == AV_SAMPLE_FMT_S16) {
        v = static_cast<float>(reinterpret_cast<const int16_t*>(plane)[at]) * (1.0f / 32768.0f);
      } else if (fmt == AV_SAMPLE_FMT_S32P || fmt == AV_SAMPLE_FMT_S32) {
        v = static_cast<float>(reinterpret_cast<const int32_t*>(plane)[at]) * (1.0f / 2147483648.0f);
      }
      pending_[i * channels + c] = v;
    }
  }
  if (skip_ > 0) {
    const size_t drop = static_cast<size_t>(std::min<uint64_t>(skip_, count));
    pending_at_ = drop * channels;
    skip_ -= drop;
  }
}

int64_t FfmpegAudioFile::read(float* out, uint32_t frames) {
  const size_t channels = format_.channels;
  size_t got = 0;
  while (got < frames) {
    if (pending_at_ == pending_.size()) {
      pending_.clear();
      pending_at_ = 0;
      if (!decodeNext()) {
        if (last_error_ != 0 && got == 0) return -1;
        break;
      }
    }
    const size_t take = std::min((pending_.size() - pending_at_) / channels, size_t{frames} - got);
    std::memcpy(out + got * channels, pending_.data() + pending_at_, take * channels * sizeof(float));
    pending_at_ += take * channels;
    got += take;
  }
  return static_cast<int64_t>(got);
}

bool FfmpegAudioFile::seek(uint64_t frame) {
  const AVStream* stream = format_context_->streams[stream_];
  const int rate = stream->codecpar->sample_rate;
  const int64_t ts = av_rescale_q(static_cast<int64_t>(frame), AVRational{1, rate}, stream->time_base);
  const int error = av_seek_frame(format_context_, stream_, ts, AVSEEK_FLAG_BACKWARD);
  if (error < 0) {
    last_error_ = error;
    return false;
  }
  avcodec_flush_buffers(codec_);
  flushed_ = false;
  last_error_ = 0;
  pending_.clear();
  pending_at_ = 0;
  // The demuxer stands at the packet holding the target or before it: what comes
  // before the target is decoded and dropped.
  int64_t landed = 0;
  for (;;) {
    const int r = av_read_frame(format_context_, packet_);
    if (r < 0) {
      last_error_ = r;
      return false;
    }
    if (packet_->stream_index != stream_) {
      av_packet_unref(packet_);
      continue;
    }
    landed = packet_->pts == AV_NOPTS_VALUE ? 0 : av_rescale_q(packet_->pts, stream->time_base, AVRational{1, rate});
    const int sent = avcodec_send_packet(codec_, packet_);
    av_packet_unref(packet_);
    if (sent < 0) {
      last_error_ = sent;
      return false;
    }
    break;
  }
  skip_ = static_cast<uint64_t>(frame) > static_cast<uint64_t>(std::max<int64_t>(landed, 0))
              ? frame - static_cast<uint64_t>(landed)
              : 0;
  return true;
}

InfoDictionary FfmpegAudioFile::infoDictionary() { return readTagLibInfo(path_); }

}  // namespace sonara::tessor
