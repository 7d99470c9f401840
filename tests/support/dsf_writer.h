// Builds DSF files with known contents for the tests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "support/byte_output.h"
#include "support/id3_tag.h"

struct DsfSetup {
  uint32_t channels = 2;
  uint32_t channel_type = 2;
  uint32_t frequency = 2822400;
  uint32_t bits_per_sample = 1;  // 1: LSB first in time; 8: MSB first
  uint32_t block_size = 4096;
  // Bytes per channel of audio; the last block group is padded with `pad_byte`.
  std::vector<std::vector<uint8_t>> audio;
  uint8_t pad_byte = 0x00;
  std::vector<uint8_t> id3;  // appended after the data chunk when not empty
  // Damage switches.
  bool wrong_file_size = false;
  bool omit_fmt = false;
  bool omit_data = false;
  int64_t fmt_chunk_size = 52;
  uint64_t sample_count_override = 0;  // bits per channel; 0: from `audio`
};

inline std::vector<uint8_t> buildDsf(const DsfSetup& s) {
  size_t per_channel = s.audio.empty() ? 0 : s.audio[0].size();
  size_t groups = s.block_size == 0 ? 0 : (per_channel + s.block_size - 1) / s.block_size;
  std::vector<uint8_t> data;
  for (size_t g = 0; g < groups; ++g) {
    for (uint32_t c = 0; c < s.channels; ++c) {
      for (uint32_t i = 0; i < s.block_size; ++i) {
        size_t at = g * s.block_size + i;
        const auto& ch = s.audio[c % s.audio.size()];
        data.push_back(at < ch.size() ? ch[at] : s.pad_byte);
      }
    }
  }
  std::vector<uint8_t> fmt;
  if (!s.omit_fmt) {
    fmt.insert(fmt.end(), {'f', 'm', 't', ' '});
    putLE(fmt, static_cast<uint64_t>(s.fmt_chunk_size), 8);
    putLE(fmt, 1, 4);  // version
    putLE(fmt, 0, 4);  // format id: raw
    putLE(fmt, s.channel_type, 4);
    putLE(fmt, s.channels, 4);
    putLE(fmt, s.frequency, 4);
    putLE(fmt, s.bits_per_sample, 4);
    putLE(fmt, s.sample_count_override ? s.sample_count_override : per_channel * 8, 8);
    putLE(fmt, s.block_size, 4);
    putLE(fmt, 0, 4);
  }
  std::vector<uint8_t> data_chunk;
  if (!s.omit_data) {
    data_chunk.insert(data_chunk.end(), {'d', 'a', 't', 'a'});
    putLE(data_chunk, 12 + data.size(), 8);
    data_chunk.insert(data_chunk.end(), data.begin(), data.end());
  }
  uint64_t total = 28 + fmt.size() + data_chunk.size() + s.id3.size();
  std::vector<uint8_t> out;
  out.insert(out.end(), {'D', 'S', 'D', ' '});
  putLE(out, 28, 8);
  putLE(out, s.wrong_file_size ? total + 1 : total, 8);
  putLE(out, s.id3.empty() ? 0 : total - s.id3.size(), 8);
  out.insert(out.end(), fmt.begin(), fmt.end());
  out.insert(out.end(), data_chunk.begin(), data_chunk.end());
  out.insert(out.end(), s.id3.begin(), s.id3.end());
  return out;
}

// Channel c's byte i of a recognisable pattern.
inline std::vector<std::vector<uint8_t>> patternAudio(uint32_t channels, size_t bytes) {
  std::vector<std::vector<uint8_t>> audio(channels);
  for (uint32_t c = 0; c < channels; ++c) {
    for (size_t i = 0; i < bytes; ++i) {
      audio[c].push_back(static_cast<uint8_t>((i * 7 + c * 61 + (i >> 8)) & 0xFF));
    }
  }
  return audio;
}
