// DoP words as the tests expect them, written independently of the decoders.
#pragma once

#include <cstdint>
#include <vector>

inline uint8_t reverseBits(uint8_t b) {
  uint8_t r = 0;
  for (int i = 0; i < 8; ++i) r = static_cast<uint8_t>(r | (((b >> i) & 1) << (7 - i)));
  return r;
}

// The 32-bit word carried by a delivered float.
inline uint32_t doPWord(float value) {
  return static_cast<uint32_t>(static_cast<int32_t>(static_cast<double>(value) * 2147483648.0));
}

inline uint32_t expectedWord(uint8_t marker, uint8_t first, uint8_t second) {
  return uint32_t{marker} << 24 | uint32_t{first} << 16 | uint32_t{second} << 8;
}

inline uint8_t markerOf(uint32_t word) { return static_cast<uint8_t>(word >> 24); }
