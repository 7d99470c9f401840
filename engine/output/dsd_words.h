// The conversions of the DoP and native-DSD packers. In: DoP words as the queues carry
// them, each a float holding the word as int32 times 2^-31, with the marker in bits
// 31-24, the earlier DSD byte in bits 23-16 and the later in bits 15-8. The caller
// owns every buffer.
#pragma once

#include <algorithm>
#include <bit>
#include <climits>
#include <cstdint>
#include <span>

#include "engine/output/audio_direct_output_buffer.h"

// Bits 23-8 of the word `f` carries, as wordOf(f) has them, for every float (NaN as
// 1). Branch-free, so that loops over it vectorize: below 1 in size the word fits an
// int32 (1 and more give 0x7FFFFF80 rather than 0x7FFFFFFF, which differ below bit 8).
inline uint32_t dsdBitsOf(float f) noexcept {
  const auto bits = std::bit_cast<int32_t>(f);
  constexpr int32_t kBelowOne = 0x3F7FFFFF;
  const float v = std::bit_cast<float>(std::min(bits & INT32_MAX, kBelowOne) | (bits & INT32_MIN));
  return static_cast<uint32_t>(static_cast<int32_t>(v * 2147483648.0f)) & 0x00FFFF00u;
}

// Gives each frame of `channels` words its marker, starting with `marker` and
// alternating frame by frame; the DSD bytes stay. Returns the marker of the frame
// after the last (a frame cut short counts as one).
uint8_t renumberDoP(std::span<float> words, uint32_t channels, uint8_t marker) noexcept;

// Each DoP word becomes a 16-bit DSD word, held as a float like a 16-bit sample: the
// later byte in bits 31-24, the earlier in bits 23-16, so that as a little-endian
// 16-bit integer its earlier byte comes first.
void dsd16FromDoP(std::span<float> words) noexcept;

// Each two DoP frames of `channels` words in `in` make one frame of 32-bit DSD words
// in `out` (out.size() x 2 words are read): the four DSD bytes of a channel in time
// order from the lowest byte up.
void dsd32FromDoP(std::span<const float> in, uint32_t channels, std::span<uint32_t> out) noexcept;

// An item's last DoP frame, which has no partner: its bytes followed by two idle bytes.
void dsd32FromLastDoPFrame(std::span<const float> in, std::span<uint32_t> out) noexcept;
