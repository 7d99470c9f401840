// DoP words as decoders deliver them: 16 DSD bits of one channel and a marker byte,
// carried in a 32-bit float (the word as int32 times 2^-31, exact in a float). The
// earlier DSD byte goes to bits 23-16, the next to bits 15-8; every channel of a
// frame carries the same marker, which alternates 0x05, 0xFA from frame to frame.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace sonara::dsd {

inline constexpr uint8_t kMarkerA = 0x05;
inline constexpr uint8_t kMarkerB = 0xFA;
inline constexpr uint8_t kSilenceByte = 0x96;  // DSD idle pattern

inline float doPWordAsFloat(uint8_t marker, uint8_t first, uint8_t second) noexcept {
  uint32_t word = (uint32_t{marker} << 24) | (uint32_t{first} << 16) | (uint32_t{second} << 8);
  return static_cast<float>(static_cast<int32_t>(word)) * (1.0f / 2147483648.0f);
}

inline uint8_t nextMarker(uint8_t marker) noexcept { return static_cast<uint8_t>(~marker); }

// Entry i is i with its 8 bits in reverse order.
inline const std::array<uint8_t, 256>& bitReversalTable() {
  static const std::array<uint8_t, 256> table = [] {
    std::array<uint8_t, 256> t{};
    for (int i = 0; i < 256; ++i) {
      uint8_t r = 0;
      for (int b = 0; b < 8; ++b) {
        if (i & (1 << b)) r = static_cast<uint8_t>(r | (0x80 >> b));
      }
      t[static_cast<size_t>(i)] = r;
    }
    return t;
  }();
  return table;
}

// Byte-interleaved DSD (byte i of channel c at i x in_channels + c, earliest bit
// most significant) into interleaved DoP values of `out_channels` channels: frame j
// of output channel c takes bytes 2j and 2j + 1 of input channel c, or of channel 0
// when the input is mono. As many frames as both sides hold; `marker` is the first
// frame's marker, and the one after the last frame is returned.
inline uint8_t packDoPInterleaved(std::span<const uint8_t> in, uint32_t in_channels, std::span<float> out,
                                  uint32_t out_channels, uint8_t marker) noexcept {
  if (in_channels == 0 || out_channels == 0) return marker;
  const size_t frames = std::min(in.size() / (size_t{2} * in_channels), out.size() / out_channels);
  const uint8_t* src = in.data();
  float* dst = out.data();
  for (size_t j = 0; j < frames; ++j) {
    const uint8_t* frame = src + 2 * j * in_channels;
    for (uint32_t c = 0; c < out_channels; ++c) {
      const uint32_t from = in_channels == 1 ? 0 : c;
      dst[j * out_channels + c] = doPWordAsFloat(marker, frame[from], frame[in_channels + from]);
    }
    marker = nextMarker(marker);
  }
  return marker;
}

// One channel's DSD bytes (in time order; each byte bit-reversed first when
// `lsb_first`) into every `stride`-th value of `out` from out[0], one DoP word per
// byte pair. Returns the marker after the last frame.
inline uint8_t packDoPChannel(std::span<const uint8_t> in, bool lsb_first, std::span<float> out, size_t stride,
                              uint8_t marker) noexcept {
  if (stride == 0 || out.empty()) return marker;
  const size_t frames = std::min(in.size() / 2, (out.size() + stride - 1) / stride);
  const auto& reverse = bitReversalTable();
  for (size_t j = 0; j < frames; ++j) {
    uint8_t first = in[2 * j];
    uint8_t second = in[2 * j + 1];
    if (lsb_first) {
      first = reverse[first];
      second = reverse[second];
    }
    out[j * stride] = doPWordAsFloat(marker, first, second);
    marker = nextMarker(marker);
  }
  return marker;
}

// DSD silence (0x96 0x96 in every channel) for every whole frame `out` holds.
inline uint8_t packDoPSilence(std::span<float> out, uint32_t channels, uint8_t marker) noexcept {
  if (channels == 0) return marker;
  const size_t frames = out.size() / channels;
  for (size_t j = 0; j < frames; ++j) {
    const float word = doPWordAsFloat(marker, kSilenceByte, kSilenceByte);
    for (uint32_t c = 0; c < channels; ++c) out[j * channels + c] = word;
    marker = nextMarker(marker);
  }
  return marker;
}

}  // namespace sonara::dsd
