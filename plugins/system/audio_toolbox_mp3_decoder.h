// The MP3 decoder: MPEG audio layers 1-3 with the encoder's leading and trailing
// padding removed, so that the tracks of an album join without a gap. The padding is
// known from the LAME/Info header (removed by the reader), from an iTunes gapless
// comment (removed here), or else found as near-silence below the host's threshold.
// The first and last second of the stream are decoded into memory for that; the
// rest streams through one packet.
#pragma once

#include <vector>

#include "plugins/system/audio_toolbox_wav_decoder.h"

namespace sonara::tessor {

// A stretch of the decoded stream held in memory.
struct ProcessWindow {
  bool done = false;     // analysed
  uint64_t first = 0;    // the window's first frame
  uint64_t end = 0;      // the frame after its last
  std::vector<float> buffer;
  // Start window: frames to skip at its beginning. End window: frames to play from
  // its beginning.
  uint64_t count = 0;
};

class AudioToolboxMP3Decoder : public AudioToolboxWavDecoder {
 public:
  ~AudioToolboxMP3Decoder() override;

  int32_t openByPath(const std::string& path, const Dict* options) noexcept override;
  int32_t getNextSamples(float* buffer, uint32_t* size) noexcept override;
  int32_t seek(uint64_t ns) noexcept override;
  uint32_t getPreferredBufferSize() noexcept override { return processing_frame_size_; }
  // The windows in memory hold the file's own layout: only its own count is taken.
  bool setChannels(uint32_t channels) noexcept override { return opened_ && channels == file_desc_.channels; }
  Value getMetaData() noexcept override;

 protected:
  std::unique_ptr<AudioFile> openAudioFile(const std::string& path, std::string* why) override;
  bool createBufferWrapper() override { return createBufferWithFrame(processing_frame_size_, desc_.channels); }
  uint64_t maxFileSize() const override { return 0xFFFFFFFFull; }

 private:
  int32_t initStartSequence();
  int32_t initEndSequence();
  // Reads one packet's frames into the sample list; frames read, or -1.
  int64_t decodeAndUpdateBuffer() { return fillBuffer(processing_frame_size_); }
  // Reads `frames` frames into `out` from the sample list's undelivered frames first,
  // then from the file; frames filled, or -1 on a decode error.
  int64_t fillWindow(float* out, uint64_t frames);
  float silenceLevel() const;
  bool isSilent(const float* frame) const;

  float mp3_threashold_db_ = 0;
  uint32_t processing_frame_size_ = 1152;
  ProcessWindow start_process_info_;
  ProcessWindow end_process_info_;
  uint64_t virtual_current_frame_ = 0;
  bool decoded_ = false;
};

class AudioToolboxMP3DecoderClass final : public plugin::DecoderClass {
 public:
  const char* className() const noexcept override { return "AudioToolboxMP3Decoder"; }
  uint32_t getScoreByPath(const std::string&) const noexcept override { return 100; }
  std::unique_ptr<plugin::Decoder> create() const noexcept override;
};

}  // namespace sonara::tessor
