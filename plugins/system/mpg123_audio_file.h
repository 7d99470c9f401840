// MPEG audio layers 1-3 read through libmpg123 as 32-bit floats. With a LAME/Info
// header libmpg123 removes the encoder delay and padding itself (gapless mode); the
// header's figures are then the file's packet table.
#pragma once

#include <mpg123.h>

#include <memory>
#include <string>

#include "plugins/common/file_handle.h"
#include "plugins/system/audio_file.h"

namespace sonara::tessor {

class Mpg123AudioFile final : public AudioFile {
 public:
  static std::unique_ptr<Mpg123AudioFile> open(const std::string& path, std::string* why);
  ~Mpg123AudioFile() override;

  const AudioFileFormat& fileFormat() const override { return format_; }
  uint64_t lengthFrames() const override { return frames_; }
  int64_t read(float* out, uint32_t frames) override;
  bool seek(uint64_t frame) override;
  int lastError() const override { return last_error_; }
  const char* readCallName() const override { return "mpg123_read"; }
  const char* seekCallName() const override { return "mpg123_seek"; }

  std::optional<PacketTableInfo> packetTableInfo() override;
  std::vector<uint8_t> rawID3Tag() override;
  InfoDictionary infoDictionary() override;

 private:
  Mpg123AudioFile() = default;

  std::string path_;
  io::FileHandle file_;
  mpg123_handle* handle_ = nullptr;
  AudioFileFormat format_;
  uint64_t frames_ = 0;
  long encoder_delay_ = -1;    // from the LAME/Info header, -1 without one
  long encoder_padding_ = -1;
  int last_error_ = 0;
};

}  // namespace sonara::tessor
