// The WAV and AIFF decoder, and the base of the MP3 and MP4 decoders: a file opened
// through its codec library, delivered as 32-bit float PCM at the file's own rate
// and channel count through a small sample list, with its tags from ID3 chunks,
// RIFF INFO lists and the library's own tag reading.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "plugin/decoder_plugin.h"
#include "plugins/system/audio_file.h"

namespace sonara::tessor {

// The format the decoder delivers.
struct ClientFormat {
  double sample_rate = 0;
  uint32_t channels = 0;
};

class AudioToolboxWavDecoder : public plugin::Decoder {
 public:
  ~AudioToolboxWavDecoder() override;

  int32_t openByPath(const std::string& path, const Dict* options) noexcept override;
  Value getMetaData() noexcept override;
  uint64_t getDuration() noexcept override { return duration_; }
  float getSamplingRate() noexcept override { return static_cast<float>(desc_.sample_rate); }
  uint32_t getChannels() noexcept override { return desc_.channels; }
  uint32_t getBits() noexcept override { return bits_; }
  uint32_t getFormat() noexcept override { return plugin::kFormatLpcm; }
  bool setSamplingRate(float rate) noexcept override;
  bool setChannels(uint32_t channels) noexcept override;
  bool setBits(uint32_t bits) noexcept override { return bits == 32; }
  uint32_t getBitRate() noexcept override;
  uint32_t getPreferredBufferSize() noexcept override;
  bool supportsSeek() noexcept override { return true; }
  int32_t seek(uint64_t ns) noexcept override;
  int32_t getNextSamples(float* buffer, uint32_t* size) noexcept override;
  int32_t getDummySamples(float* buffer, uint32_t* size) noexcept override;
  uint64_t getTimestamp() noexcept override { return timestamp_; }
  void close() noexcept override;

 protected:
  // Everything of opening but the sample list; subclasses call it.
  int32_t openInternalByPath(const std::string& path, const Dict* options);
  // The reader for this class's data format; null with the reason in `why`.
  virtual std::unique_ptr<AudioFile> openAudioFile(const std::string& path, std::string* why);
  virtual uint64_t maxFileSize() const { return 0xFFFFFFFFull; }
  // The sample list: room for `frames` frames of the delivered format.
  bool createBufferWithFrame(uint32_t frames, uint32_t channels);
  virtual bool createBufferWrapper() { return createBufferWithFrame(kListFrames, desc_.channels); }
  void clearBuffer();
  // Fills the sample list from the file; frames read, or -1 after logging the error.
  int64_t fillBuffer(uint32_t frames);
  // Marks the object open once the sample list is made.
  void markOpened();
  // The time stamp while `next_frame` is the next frame to deliver: the end of that
  // frame, the lead the host's windows count with (see Decoder::getTimestamp).
  uint64_t timestampBefore(uint64_t next_frame) const;

  // Metadata steps, each adding to `list` only keys it does not hold yet.
  void getAudioFilePropertyInfo(Array& list);
  void checkMetaDataAsWavFile(Array& list);
  void checkID3v2Tag(Array& list);
  void addFileFormatEntries(Array& list);
  // The metadata of a compressed file: its format first, then the tags the codec
  // library reads.
  Value metaDataOfCodedFile() noexcept;
  static const Value* metadataValue(const Array& list, const char* key);
  static void addMetaData(Array& list, const std::string& text, const char* key, bool convert);

  static constexpr uint32_t kListFrames = 512;
  // What a real file holds; beyond, a header is damaged or crafted.
  static constexpr double kMinRate = 1000;
  static constexpr double kMaxRate = 1536000;
  static constexpr uint32_t kMaxChannels = 32;

  std::unique_ptr<AudioFile> file_ref_;
  std::string path_;
  uint32_t bits_ = 32;
  uint64_t timestamp_ = 0;
  uint64_t num_frames_ = 0;
  uint64_t duration_ = 0;
  uint32_t primingFrames = 0;
  uint32_t remainderFrames = 0;
  bool need_cut_ = false;
  AudioFileFormat file_desc_;
  ClientFormat org_desc_;
  ClientFormat desc_;
  std::vector<float> p_abl_;
  uint32_t abl_remain_frames_ = 0;
  uint32_t abl_num_frames_ = 0;
  uint64_t current_frame_ = 0;
  bool opened_ = false;

 private:
  void getAudioFilePacketTableInfoFromID3tag();
};

class AudioToolboxWavDecoderClass final : public plugin::DecoderClass {
 public:
  const char* className() const noexcept override { return "AudioToolboxWavDecoder"; }
  uint32_t getScoreByPath(const std::string&) const noexcept override { return 100; }
  std::unique_ptr<plugin::Decoder> create() const noexcept override;
};

}  // namespace sonara::tessor
