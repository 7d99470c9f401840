// DoP words as decoders deliver them: 16 DSD bits of one channel and a marker byte,
// carried in a 32-bit float (the word as int32 times 2^-31, exact in a float). The
// earlier DSD byte goes to bits 23-16, the next to bits 15-8; every channel of a
// frame carries the same marker, which alternates 0x05, 0xFA from frame to frame.
#pragma once

#include <bit>
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

// The float of a word with marker 0x05 or 0xFA, built from its bits without a
// conversion. Such a word lies between 2^26 and 2^27 in magnitude whatever its DSD
// bytes, so the float's exponent is fixed and the bytes land in its mantissa as
// y = first << 13 | second << 5: added to it for 0x05, subtracted for 0xFA (a
// negative word). The float's bits are (y ^ flip) + offset.
struct DoPFloatBits {
  uint32_t flip;
  uint32_t offset;
};
inline constexpr DoPFloatBits kFloatBitsA{0, 0x3D200000};
inline constexpr DoPFloatBits kFloatBitsB{~uint32_t{0}, 0xBD400001};  // ~y + 1 is -y

inline bool isDoPMarker(uint8_t marker) noexcept { return marker == kMarkerA || marker == kMarkerB; }
inline DoPFloatBits floatBitsOf(uint8_t marker) noexcept { return marker == kMarkerA ? kFloatBitsA : kFloatBitsB; }
inline uint32_t doPBytesBits(uint8_t first, uint8_t second) noexcept {
  return uint32_t{first} << 13 | uint32_t{second} << 5;
}
inline float doPFloat(DoPFloatBits phase, uint32_t bytes_bits) noexcept {
  return std::bit_cast<float>((bytes_bits ^ phase.flip) + phase.offset);
}

// Byte-interleaved DSD (byte i of channel c at i x in_channels + c, earliest bit
// most significant) into interleaved DoP values of `out_channels` channels: frame j
// of output channel c takes bytes 2j and 2j + 1 of input channel c, or of channel 0
// when the input is mono. As many frames as both sides hold; `marker` is the first
// frame's marker, and the one after the last frame is returned.
uint8_t packDoPInterleaved(std::span<const uint8_t> in, uint32_t in_channels, std::span<float> out,
                           uint32_t out_channels, uint8_t marker) noexcept;

// One channel's DSD bytes (in time order; each byte bit-reversed first when
// `lsb_first`) into every `stride`-th value of `out` from out[0], one DoP word per
// byte pair. Returns the marker after the last frame.
uint8_t packDoPChannel(std::span<const uint8_t> in, bool lsb_first, std::span<float> out, size_t stride,
                       uint8_t marker) noexcept;

// Two channels' DSD bytes, each in time order (bit-reversed first when `lsb_first`),
// into interleaved stereo DoP values: out[2j] from left bytes 2j and 2j + 1, out[2j + 1]
// from the right ones. As many frames as all three hold; returns the marker after the
// last frame.
uint8_t packDoPPair(std::span<const uint8_t> left, std::span<const uint8_t> right, bool lsb_first,
                    std::span<float> out, uint8_t marker) noexcept;

// DSD silence (0x96 0x96 in every channel) for every whole frame `out` holds.
uint8_t packDoPSilence(std::span<float> out, uint32_t channels, uint8_t marker) noexcept;

}  // namespace sonara::dsd
