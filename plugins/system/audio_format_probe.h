// What a file holds, found from its data and never from its name: linear PCM in a
// WAV or AIFF file (libsndfile), MPEG audio layers 1-3 (libmpg123), Apple Lossless
// in an MP4 file (libavformat), or something else, named for the user.
#pragma once

#include <string>

namespace sonara::tessor {

enum class DataFormat {
  LinearPcm,      // WAV, WAVE_FORMAT_EXTENSIBLE, AIFF, AIFF-C
  MpegAudio,      // layer in `mpeg_layer`
  AppleLossless,  // in an MP4 file
  Unsupported,    // recognised, not decoded here: `description` names it
  Damaged,        // a WAV or AIFF file libsndfile refuses: `description` says why
  Unknown,        // no library recognises the data
};

struct ProbedFormat {
  DataFormat format = DataFormat::Unknown;
  int mpeg_layer = 0;
  // "16-bit PCM in a WAV file", "AAC audio in an MP4 file", "an RF64 WAV file": what
  // the data is, for the user.
  std::string description;
};

ProbedFormat probeAudioFormat(const std::string& path);

}  // namespace sonara::tessor
