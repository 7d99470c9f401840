// WAV tracks whose every frame says which track and which frame it is: the left
// channel holds the track's number times 1,000,000, the right the frame's index (24-bit).
// Played on a 32-bit device, the capture shows which track played, in what order, and
// where each seek landed.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "support/pcm_file_writer.h"

inline constexpr uint32_t kMarkedRate = 44100;

inline void writeMarkedTrack(const std::string& path, int track, double seconds, const std::string& title,
                             const std::string& artist) {
  PcmFileSetup s;
  s.bits = 24;
  s.sample_rate = kMarkedRate;
  const auto frames = static_cast<int32_t>(seconds * kMarkedRate);
  for (int32_t f = 0; f < frames; ++f) {
    s.samples.push_back(track * 1'000'000);
    s.samples.push_back(f);
  }
  s.chunks.push_back(infoListChunk(InfoList{{{"INAM", title}, {"IART", artist}}}));
  writePcmFile(path, s);
}

// A stretch of one track's frames that follow one another.
struct MarkedRun {
  int track;
  int32_t first;
  int32_t last;
};

// The runs of track frames in a capture of 32-bit stereo, in order; silence between
// them (the device's lead-in, a pause) is left out.
inline std::vector<MarkedRun> markedRuns(const std::string& capture) {
  std::vector<MarkedRun> runs;
  for (size_t at = 0; at + 8 <= capture.size(); at += 8) {
    int32_t left = 0;
    int32_t right = 0;
    std::memcpy(&left, capture.data() + at, 4);
    std::memcpy(&right, capture.data() + at + 4, 4);
    if (left == 0 && right == 0) continue;
    const int track = (left >> 8) / 1'000'000;
    const int32_t frame = right >> 8;
    if (!runs.empty() && runs.back().track == track && runs.back().last + 1 == frame) {
      runs.back().last = frame;
    } else {
      runs.push_back({track, frame, frame});
    }
  }
  return runs;
}

inline std::string describeRuns(const std::vector<MarkedRun>& runs) {
  std::string out;
  for (const auto& r : runs) {
    out += "track " + std::to_string(r.track) + " frames " + std::to_string(r.first) + "-" + std::to_string(r.last) +
           "\n";
  }
  return out;
}
