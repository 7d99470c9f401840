// The samples of an IO buffer turned into the bytes a device's integer format holds.
// In: floats for mixable formats, raw 32-bit words for non-mixable ones. Out: one
// integer per sample in `width` bytes, least significant byte first (or most
// significant first for ByteOrder::Big). The caller owns both buffers; `out` holds
// in.size() x width bytes.
//
// A float becomes value x 2^(bits-1), rounded to the nearest integer (ties to even)
// and clamped to the integer range: every sample a decoder delivers at or below the
// device's depth passes exactly, and deeper ones are rounded as the C library's
// nearbyint rounds. NaN counts as full scale of its sign.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace sonara::audio {

enum class ByteOrder { Little, Big };

// `bits` 1-32 in `width` 1-4 bytes (bits <= 8 x width); wider integers keep their
// low `width` bytes. 16 bits in 2 bytes, 24 in 3 or 4 and 32 in 4 run vectorized.
void floatsToIntegers(std::span<const float> in, uint32_t bits, uint32_t width, ByteOrder order,
                      uint8_t* out) noexcept;

// The low `width` bytes (1-4) of each of `count` raw words read from `words`.
void wordsToBytes(const void* words, size_t count, uint32_t width, ByteOrder order, uint8_t* out) noexcept;

}  // namespace sonara::audio
