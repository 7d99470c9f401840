// WAV and AIFF files of linear PCM read through libsndfile. The bytes come through
// the project's file handle, which lets the system cache drop what has been played.
#pragma once

#include <sndfile.h>

#include <memory>
#include <string>

#include "plugins/common/file_handle.h"
#include "plugins/system/audio_file.h"
#include "plugins/system/riff_chunks.h"

namespace sonara::tessor {

// What libsndfile makes of a file: its container and sample encoding.
struct SndfileFormat {
  int major = 0;    // SF_FORMAT_WAV, SF_FORMAT_AIFF, ...
  int subtype = 0;  // SF_FORMAT_PCM_16, SF_FORMAT_FLOAT, ...
  SF_INFO info{};
  // "24-bit PCM in a WAV file", "IMA ADPCM in a WAV file": for messages.
  std::string description;
  bool isLinearPcm() const;
  // The stored bits per sample of linear PCM (64 for doubles), else 0.
  uint32_t bitsPerSample() const;
};

// Reads the header of an open file with libsndfile; nothing when it cannot.
// `why` receives libsndfile's reason then.
std::optional<SndfileFormat> probeWithSndfile(io::FileHandle& file, std::string* why);

class SndfileAudioFile final : public AudioFile {
 public:
  // A WAV (RIFF, WAVE_FORMAT_EXTENSIBLE) or AIFF/AIFF-C file of linear PCM; null
  // with the reason in `why` otherwise.
  static std::unique_ptr<SndfileAudioFile> open(const std::string& path, std::string* why);
  ~SndfileAudioFile() override;

  const AudioFileFormat& fileFormat() const override { return format_; }
  uint64_t lengthFrames() const override { return frames_; }
  int64_t read(float* out, uint32_t frames) override;
  bool seek(uint64_t frame) override;
  int lastError() const override;
  const char* readCallName() const override { return "sf_readf_float"; }
  const char* seekCallName() const override { return "sf_seek"; }

  std::vector<uint8_t> rawID3Tag() override;
  std::vector<std::vector<uint8_t>> id3Chunks() override;
  std::vector<std::vector<uint8_t>> infoLists() override;
  InfoDictionary infoDictionary() override;

  // The audio data chunk as declared and as stored, for a file cut short.
  const ChunkRef* soundChunk() const;

 private:
  SndfileAudioFile() = default;
  std::vector<uint8_t> chunkBytes(const ChunkRef& chunk, uint64_t max);
  uint32_t significantBits(uint32_t container_bits);

  std::string path_;
  io::FileHandle file_;
  SNDFILE* sndfile_ = nullptr;
  AudioFileFormat format_;
  uint64_t frames_ = 0;
  ChunkList chunks_;
};

}  // namespace sonara::tessor
