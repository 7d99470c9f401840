// The Apple Lossless decoder: the WAV decoder's machinery over an MP4 file, with the
// metadata of a coded file and a larger size limit.
#pragma once

#include "plugins/system/audio_toolbox_wav_decoder.h"
#include "plugins/system/ffmpeg_audio_file.h"

namespace sonara::tessor {

class AudioToolboxMP4Decoder final : public AudioToolboxWavDecoder {
 public:
  Value getMetaData() noexcept override { return metaDataOfCodedFile(); }

 protected:
  std::unique_ptr<AudioFile> openAudioFile(const std::string& path, std::string* why) override {
    return FfmpegAudioFile::open(path, why);
  }
  uint64_t maxFileSize() const override { return 0xFFFFFFFFFull; }
};

class AudioToolboxMP4DecoderClass final : public plugin::DecoderClass {
 public:
  const char* className() const noexcept override { return "AudioToolboxMP4Decoder"; }
  uint32_t getScoreByPath(const std::string&) const noexcept override { return 100; }
  std::unique_ptr<plugin::Decoder> create() const noexcept override {
    return std::unique_ptr<plugin::Decoder>(new (std::nothrow) AudioToolboxMP4Decoder());
  }
};

}  // namespace sonara::tessor
