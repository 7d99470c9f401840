#include "platform/audio/device_samples.h"

#include <algorithm>
#include <bit>
#include <climits>
#include <cmath>
#include <cstring>

#include "platform/vector_width.h"

namespace sonara::audio {

namespace {

constexpr bool kLittleEndianHost = std::endian::native == std::endian::little;

// Loops run over whole blocks of this many samples, a count GCC's cheap vectorizer
// (at -O2) takes without a remainder at any vector width; the rest go one by one.
constexpr size_t kBlock = 16;

// value x 2^(Bits-1) by the rule in the header, for 16 to 32 bits. It clamps with
// integer minima over the bit patterns rather than float comparisons: GCC turns float
// clamps back into branches around the conversion they guard, and a loop over this
// then no longer vectorizes.
template <int Bits>
SONARA_INLINE_LOOP int32_t deviceInteger(float value) noexcept {
  const int32_t bits = std::bit_cast<int32_t>(value);
  const int32_t sign = bits & INT32_MIN;
  // At most 1 in size, so that the scaled value fits an int32 (NaN becomes 1).
  const float v = std::bit_cast<float>(std::min(bits & INT32_MAX, 0x3F800000) | sign);
  if constexpr (Bits <= 24) {
    const float x = v * static_cast<float>(1 << (Bits - 1));
    // Adding and taking away 2^23 of x's sign rounds x to an integer, ties to even, as
    // |x| <= 2^23: the sum has no bits below the units.
    const float units = std::bit_cast<float>(sign | 0x4B000000);
    const auto i = static_cast<int32_t>((x + units) - units);
    return std::min(i, (1 << (Bits - 1)) - 1);  // +1 itself, or a value rounded up to it
  } else {
    const float x = v * 2147483648.0f;
    // Only below 2^23 in size can x have a fraction to round away.
    const int32_t fraction_possible = -static_cast<int32_t>((std::bit_cast<int32_t>(x) & INT32_MAX) < 0x4B000000);
    const float units = std::bit_cast<float>((sign | 0x4B000000) & fraction_possible);
    const auto rounded = std::bit_cast<int32_t>((x + units) - units);
    // 2^31 does not fit: it converts as 2^31 - 128, and the 127 added make INT32_MAX.
    constexpr int32_t kLargestFitting = 0x4EFFFFFF;  // 2^31 - 128
    const auto i = static_cast<int32_t>(std::bit_cast<float>(std::min(rounded, kLargestFitting)));
    return i + static_cast<int32_t>(rounded > kLargestFitting) * 127;
  }
}

// The same rule for any depth, one sample at a time.
int32_t anyDepthInteger(float value, uint32_t bits) noexcept {
  const double scale = std::ldexp(1.0, static_cast<int>(bits) - 1);
  double v = static_cast<double>(value) * scale;
  if (std::isnan(v)) v = std::signbit(v) ? -scale : scale;
  v = std::clamp(std::nearbyint(v), -scale, scale - 1);
  return static_cast<int32_t>(static_cast<int64_t>(v));
}

template <typename T>
SONARA_INLINE_LOOP void store(uint8_t* at, T value) noexcept {
  std::memcpy(at, &value, sizeof value);
}

template <int Bits, typename T>
SONARA_INLINE_LOOP void nativeIntegers(const float* __restrict in, size_t n, uint8_t* __restrict out) noexcept {
  const size_t whole = n & ~(kBlock - 1);
  for (size_t i = 0; i < whole; ++i) store(out + i * sizeof(T), static_cast<T>(deviceInteger<Bits>(in[i])));
  for (size_t i = whole; i < n; ++i) store(out + i * sizeof(T), static_cast<T>(deviceInteger<Bits>(in[i])));
}

// 16 bits with the high byte first.
SONARA_INLINE_LOOP void swapped16(const float* __restrict in, size_t n, uint8_t* __restrict out) noexcept {
  auto swapped = [](int32_t v) { return static_cast<uint16_t>((v >> 8 & 0xFF) | (v & 0xFF) << 8); };
  const size_t whole = n & ~(kBlock - 1);
  for (size_t i = 0; i < whole; ++i) store(out + 2 * i, swapped(deviceInteger<16>(in[i])));
  for (size_t i = whole; i < n; ++i) store(out + 2 * i, swapped(deviceInteger<16>(in[i])));
}

// 24 bits in 3 bytes: the integers of a block are made together, then four at a time
// packed into three 32-bit stores.
SONARA_INLINE_LOOP void packed24(const float* __restrict in, size_t n, uint8_t* __restrict out) noexcept {
  int32_t block[kBlock];
  size_t i = 0;
  for (; i + kBlock <= n; i += kBlock, in += kBlock, out += 3 * kBlock) {
    for (size_t k = 0; k < kBlock; ++k) block[k] = deviceInteger<24>(in[k]);
    for (size_t k = 0; k < kBlock; k += 4) {
      const auto a = static_cast<uint32_t>(block[k]), b = static_cast<uint32_t>(block[k + 1]),
                 c = static_cast<uint32_t>(block[k + 2]), d = static_cast<uint32_t>(block[k + 3]);
      store(out + 3 * k, (a & 0xFFFFFF) | b << 24);
      store(out + 3 * k + 4, (b >> 8 & 0xFFFF) | c << 16);
      store(out + 3 * k + 8, (c >> 16 & 0xFF) | d << 8);
    }
  }
  for (size_t k = 0; i < n; ++i, ++k) {
    const auto v = static_cast<uint32_t>(deviceInteger<24>(in[k]));
    for (int b = 0; b < 3; ++b) out[3 * k + b] = static_cast<uint8_t>(v >> (8 * b));
  }
}

// 32-bit words with the high byte first.
void swapped32(const uint8_t* __restrict in, size_t n, uint8_t* __restrict out) noexcept {
  auto swapped = [](const uint8_t* at) {
    uint32_t v;
    std::memcpy(&v, at, 4);
    return v >> 24 | (v >> 8 & 0xFF00) | (v & 0xFF00) << 8 | v << 24;
  };
  const size_t whole = n & ~(kBlock - 1);
  for (size_t i = 0; i < whole; ++i) store(out + 4 * i, swapped(in + 4 * i));
  for (size_t i = whole; i < n; ++i) store(out + 4 * i, swapped(in + 4 * i));
}

// Each loop for any x86-64 processor, and with wide vectors.
void integers16(const float* __restrict in, size_t n, uint8_t* __restrict out) noexcept { nativeIntegers<16, int16_t>(in, n, out); }
void integers24(const float* __restrict in, size_t n, uint8_t* __restrict out) noexcept { nativeIntegers<24, int32_t>(in, n, out); }
void integers32(const float* __restrict in, size_t n, uint8_t* __restrict out) noexcept { nativeIntegers<32, int32_t>(in, n, out); }
void integers24In3(const float* __restrict in, size_t n, uint8_t* __restrict out) noexcept { packed24(in, n, out); }
void integers16Swapped(const float* __restrict in, size_t n, uint8_t* __restrict out) noexcept { swapped16(in, n, out); }
SONARA_WIDE_VECTORS void integers16Wide(const float* __restrict in, size_t n, uint8_t* __restrict out) noexcept {
  nativeIntegers<16, int16_t>(in, n, out);
}
SONARA_WIDE_VECTORS void integers24Wide(const float* __restrict in, size_t n, uint8_t* __restrict out) noexcept {
  nativeIntegers<24, int32_t>(in, n, out);
}
SONARA_WIDE_VECTORS void integers32Wide(const float* __restrict in, size_t n, uint8_t* __restrict out) noexcept {
  nativeIntegers<32, int32_t>(in, n, out);
}
SONARA_WIDE_VECTORS void integers24In3Wide(const float* __restrict in, size_t n, uint8_t* __restrict out) noexcept {
  packed24(in, n, out);
}
SONARA_WIDE_VECTORS void integers16SwappedWide(const float* __restrict in, size_t n, uint8_t* __restrict out) noexcept {
  swapped16(in, n, out);
}

void put(uint8_t* out, uint32_t v, uint32_t width, ByteOrder order) noexcept {
  for (uint32_t b = 0; b < width; ++b) {
    const uint32_t shift = 8 * (order == ByteOrder::Little ? b : width - 1 - b);
    out[b] = static_cast<uint8_t>(v >> shift);
  }
}

}  // namespace

void floatsToIntegers(std::span<const float> in, uint32_t bits, uint32_t width, ByteOrder order,
                      uint8_t* out) noexcept {
  const float* src = in.data();
  const size_t n = in.size();
  const bool wide = platform::wideVectors();
  if (kLittleEndianHost && order == ByteOrder::Little) {
    if (bits == 16 && width == 2) return (wide ? integers16Wide : integers16)(src, n, out);
    if (bits == 24 && width == 3) return (wide ? integers24In3Wide : integers24In3)(src, n, out);
    if (bits == 24 && width == 4) return (wide ? integers24Wide : integers24)(src, n, out);
    if (bits == 32 && width == 4) return (wide ? integers32Wide : integers32)(src, n, out);
  }
  if (kLittleEndianHost && order == ByteOrder::Big && bits == 16 && width == 2) {
    return (wide ? integers16SwappedWide : integers16Swapped)(src, n, out);
  }
  for (size_t i = 0; i < n; ++i) {
    put(out + i * width, static_cast<uint32_t>(anyDepthInteger(src[i], bits)), width, order);
  }
}

void wordsToBytes(const void* words, size_t count, uint32_t width, ByteOrder order, uint8_t* out) noexcept {
  const auto* in = static_cast<const uint8_t*>(words);
  if (kLittleEndianHost && width == 4) {
    if (order == ByteOrder::Little) {
      std::memcpy(out, in, count * 4);
    } else {
      swapped32(in, count, out);
    }
    return;
  }
  for (size_t i = 0; i < count; ++i) {
    uint32_t v;
    std::memcpy(&v, in + 4 * i, 4);
    put(out + i * width, v, width, order);
  }
}

}  // namespace sonara::audio
