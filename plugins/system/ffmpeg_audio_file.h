// Apple Lossless audio in an MP4 file, read through FFmpeg's libavformat and
// libavcodec. The decoded integers come out as exact floats.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "plugins/system/audio_file.h"

struct AVFormatContext;
struct AVCodecContext;
struct AVPacket;
struct AVFrame;

namespace sonara::tessor {

class FfmpegAudioFile final : public AudioFile {
 public:
  static std::unique_ptr<FfmpegAudioFile> open(const std::string& path, std::string* why);
  ~FfmpegAudioFile() override;

  const AudioFileFormat& fileFormat() const override { return format_; }
  uint64_t lengthFrames() const override { return frames_; }
  int64_t read(float* out, uint32_t frames) override;
  bool seek(uint64_t frame) override;
  int lastError() const override { return last_error_; }
  const char* readCallName() const override { return "avcodec_receive_frame"; }
  const char* seekCallName() const override { return "av_seek_frame"; }
  InfoDictionary infoDictionary() override;

 private:
  FfmpegAudioFile() = default;
  // Decodes the next frame into `pending_`; false at the end or on an error.
  bool decodeNext();
  void takeFrame();

  std::string path_;
  AVFormatContext* format_context_ = nullptr;
  AVCodecContext* codec_ = nullptr;
  AVPacket* packet_ = nullptr;
  AVFrame* frame_ = nullptr;
  int stream_ = -1;
  AudioFileFormat format_;
  uint64_t frames_ = 0;
  int last_error_ = 0;
  bool flushed_ = false;  // the decoder has been told the packets ended
  // Decoded frames not yet delivered, interleaved, and the first of them.
  std::vector<float> pending_;
  size_t pending_at_ = 0;
  // Frames to drop after a seek: the packet found starts before the target.
  uint64_t skip_ = 0;
};

}  // namespace sonara::tessor
