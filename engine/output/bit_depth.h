// Whether a PCM track reaches the device with every bit of its samples.
#pragma once

#include <algorithm>
#include <cstdint>

// The queues carry 32-bit floats, whose 24-bit significand holds samples of up to 24
// bits exactly; deeper samples keep their 24 highest bits.
inline constexpr int64_t kCarriedSampleBits = 24;

// `source_bits` as the track's record gives them (1 for DSD, 0 when unknown).
inline bool reachesTheDeviceWhole(int64_t source_bits, uint32_t device_bits) {
  if (source_bits <= 1 || device_bits == 0) return true;
  return source_bits <= std::min<int64_t>(device_bits, kCarriedSampleBits);
}
