// One audio file as the system codec libraries open it: its stored format, its frames
// decoded to interleaved 32-bit floats at the file's own rate and channel count, and
// what else the file says about itself (gapless information, tags, chunks). The WAV,
// AIFF, MPEG and MP4 readers are implementations of this one interface, so that the
// decoders built on it share their opening, reading, seeking and metadata steps.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace sonara::tessor {

enum class AudioFileType { Wave, Aiff, Mpeg, Mp4 };

// The file's own stream description.
struct AudioFileFormat {
  AudioFileType type = AudioFileType::Wave;
  double sample_rate = 0;
  uint32_t channels = 0;
  uint32_t bits_per_channel = 0;  // that carry the signal; 0 for compressed data
  uint32_t stored_bits_per_channel = 0;  // as stored (24 for 20-bit samples in 3 bytes)
  uint32_t frames_per_packet = 1;
};

// Encoder delay and padding recorded by the encoder, already removed by the reader.
struct PacketTableInfo {
  int64_t valid_frames = 0;
  uint32_t priming_frames = 0;
  uint32_t remainder_frames = 0;
};

// Tags the codec library reads for any file type, by the names the metadata steps
// look up ("title", "artist").
struct InfoDictionary {
  std::optional<std::string> title;
  std::optional<std::string> artist;
};

class AudioFile {
 public:
  virtual ~AudioFile() = default;

  virtual const AudioFileFormat& fileFormat() const = 0;
  // Frames the reader will deliver from the start (after any priming it removes).
  virtual uint64_t lengthFrames() const = 0;
  // Reads up to `frames` frames at the position and advances; 0 is the end of the
  // data, -1 a decode error.
  virtual int64_t read(float* out, uint32_t frames) = 0;
  virtual bool seek(uint64_t frame) = 0;
  // The library's code of the last failure, and the calls that failed, for log lines.
  virtual int lastError() const = 0;
  virtual const char* readCallName() const = 0;
  virtual const char* seekCallName() const = 0;

  virtual std::optional<PacketTableInfo> packetTableInfo() { return std::nullopt; }
  // The file's ID3v2 tag reduced to its text frames (see id3_text_frames.h), empty
  // when it has none.
  virtual std::vector<uint8_t> rawID3Tag() { return {}; }
  // The same for each ID3v2 tag stored in an "id3 " chunk, or in "ID3 " chunks when
  // there is no "id3 " one, in file order.
  virtual std::vector<std::vector<uint8_t>> id3Chunks() { return {}; }
  // The sub-chunks of each "LIST" chunk of type "INFO" (the bytes after "INFO").
  virtual std::vector<std::vector<uint8_t>> infoLists() { return {}; }
  virtual InfoDictionary infoDictionary() { return {}; }
};

}  // namespace sonara::tessor
