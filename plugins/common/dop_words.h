// DoP words as decoders deliver them: 16 DSD bits of one channel and a marker byte,
// carried in a 32-bit float (the word as int32 times 2^-31, exact in a float).
#pragma once

#include <array>
#include <cstdint>

namespace sonara::dsd {

inline constexpr uint8_t kMarkerA = 0x05;
inline constexpr uint8_t kMarkerB = 0xFA;
inline constexpr uint8_t kSilenceByte = 0x96;  // DSD idle pattern

inline float doPWordAsFloat(uint8_t marker, uint8_t first, uint8_t second) {
  uint32_t word = (uint32_t{marker} << 24) | (uint32_t{first} << 16) | (uint32_t{second} << 8);
  return static_cast<float>(static_cast<int32_t>(word)) * (1.0f / 2147483648.0f);
}

inline uint8_t nextMarker(uint8_t marker) { return static_cast<uint8_t>(~marker); }

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

}  // namespace sonara::dsd
