#include "plugins/common/dop_stereo_kernels.h"

#include <bit>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <tmmintrin.h>
#define PELMORA_X86_BYTE_SHUFFLE 1
#endif

namespace sonara::dsd {

namespace {

// The compiler's generic vectors: SSE2 on x86-64, NEON on ARM, plain registers
// elsewhere. Bytes are loaded as wider lanes and lanes widened by interleaving with
// zero, which reads right only on a little-endian machine; a big-endian one packs
// everything in the plain loops.
using U16x8 = uint16_t __attribute__((vector_size(16)));
using U32x4 = uint32_t __attribute__((vector_size(16)));
constexpr bool kLittleEndian = std::endian::native == std::endian::little;

// Every 16-bit lane with its bits in reverse order: a lane holding the bytes first,
// second (first in the low byte, as loaded) becomes rev(first) << 8 | rev(second).
inline U16x8 reverseLanes(U16x8 x) {
  x = ((x >> 1) & 0x5555) | ((x & 0x5555) << 1);
  x = ((x >> 2) & 0x3333) | ((x & 0x3333) << 2);
  x = ((x >> 4) & 0x0F0F) | ((x & 0x0F0F) << 4);
  return (x >> 8) | (x << 8);
}

// first << 8 | second for a lane loaded as first, second.
inline U16x8 swapLaneBytes(U16x8 x) { return (x >> 8) | (x << 8); }

// The 16-bit lanes of frames 0-3 and 4-7 of two channels' 16 bytes: L, R, L, R, ...
inline U16x8 framesLow(U16x8 left, U16x8 right) {
  return __builtin_shufflevector(left, right, 0, 8, 1, 9, 2, 10, 3, 11);
}
inline U16x8 framesHigh(U16x8 left, U16x8 right) {
  return __builtin_shufflevector(left, right, 4, 12, 5, 13, 6, 14, 7, 15);
}

// Two frames of two channels: lanes (frame L, frame R, next L, next R), each
// first << 8 | second.
inline void storeTwoFrames(U32x4 pairs, U32x4 flip, U32x4 offset, float* out) {
  const U32x4 bits = ((pairs << 5) ^ flip) + offset;
  std::memcpy(out, &bits, sizeof bits);
}

inline void storeFourFrames(U16x8 pairs, U32x4 flip, U32x4 offset, float* out) {
  const U16x8 zero{};
  storeTwoFrames(std::bit_cast<U32x4>(__builtin_shufflevector(pairs, zero, 0, 8, 1, 9, 2, 10, 3, 11)), flip,
                 offset, out);
  storeTwoFrames(std::bit_cast<U32x4>(__builtin_shufflevector(pairs, zero, 4, 12, 5, 13, 6, 14, 7, 15)), flip,
                 offset, out + 4);
}

template <bool kLsbFirst>
size_t pairSteps(const uint8_t* left, const uint8_t* right, float* out, size_t frames, U32x4 flip,
                 U32x4 offset) {
  size_t j = 0;
  for (; j + 8 <= frames; j += 8) {
    U16x8 l, r;
    std::memcpy(&l, left + 2 * j, sizeof l);
    std::memcpy(&r, right + 2 * j, sizeof r);
    const U16x8 low = framesLow(l, r);
    const U16x8 high = framesHigh(l, r);
    storeFourFrames(kLsbFirst ? reverseLanes(low) : swapLaneBytes(low), flip, offset, out + 2 * j);
    storeFourFrames(kLsbFirst ? reverseLanes(high) : swapLaneBytes(high), flip, offset, out + 2 * j + 8);
  }
  return j;
}

#ifdef PELMORA_X86_BYTE_SHUFFLE
// reverseLanes by two lookups in a table of reversed nibbles and a byte shuffle, on
// processors that have one (SSSE3): half the instructions of the shifts.
[[gnu::target("ssse3"), gnu::always_inline]] inline U16x8 reverseLanesByTable(U16x8 x) {
  const __m128i nibble = _mm_set1_epi8(0x0F);
  // Entry n: n's 4 bits reversed, placed high (for a low nibble) or low.
  const __m128i to_high = _mm_setr_epi8(0x00, -0x80, 0x40, -0x40, 0x20, -0x60, 0x60, -0x20, 0x10, -0x70, 0x50,
                                        -0x30, 0x30, -0x50, 0x70, -0x10);
  const __m128i to_low = _mm_setr_epi8(0x0, 0x8, 0x4, 0xC, 0x2, 0xA, 0x6, 0xE, 0x1, 0x9, 0x5, 0xD, 0x3, 0xB, 0x7, 0xF);
  const __m128i swap = _mm_setr_epi8(1, 0, 3, 2, 5, 4, 7, 6, 9, 8, 11, 10, 13, 12, 15, 14);
  const __m128i v = std::bit_cast<__m128i>(x);
  const __m128i low_nibbles = _mm_shuffle_epi8(to_high, _mm_and_si128(v, nibble));
  const __m128i high_nibbles = _mm_shuffle_epi8(to_low, _mm_and_si128(_mm_srli_epi16(v, 4), nibble));
  return std::bit_cast<U16x8>(_mm_shuffle_epi8(_mm_or_si128(low_nibbles, high_nibbles), swap));
}

[[gnu::target("ssse3")]] size_t pairStepsReversedByTable(const uint8_t* left, const uint8_t* right, float* out,
                                                         size_t frames, U32x4 flip, U32x4 offset) {
  size_t j = 0;
  for (; j + 8 <= frames; j += 8) {
    U16x8 l, r;
    std::memcpy(&l, left + 2 * j, sizeof l);
    std::memcpy(&r, right + 2 * j, sizeof r);
    storeFourFrames(reverseLanesByTable(framesLow(l, r)), flip, offset, out + 2 * j);
    storeFourFrames(reverseLanesByTable(framesHigh(l, r)), flip, offset, out + 2 * j + 8);
  }
  return j;
}

bool hasByteShuffle() {
  static const bool has = (__builtin_cpu_init(), __builtin_cpu_supports("ssse3"));
  return has;
}
#endif

}  // namespace

size_t packDoPPairSteps(const uint8_t* left, const uint8_t* right, bool lsb_first, float* out, size_t frames,
                        DoPFloatBits even, DoPFloatBits odd) noexcept {
#ifdef PELMORA_X86_BYTE_SHUFFLE
  if (kLittleEndian && lsb_first && hasByteShuffle()) {
    return pairStepsReversedByTable(left, right, out, frames, U32x4{even.flip, even.flip, odd.flip, odd.flip},
                                    U32x4{even.offset, even.offset, odd.offset, odd.offset});
  }
#endif
  return packDoPPairStepsByShifts(left, right, lsb_first, out, frames, even, odd);
}

size_t packDoPPairStepsByShifts(const uint8_t* left, const uint8_t* right, bool lsb_first, float* out,
                                size_t frames, DoPFloatBits even, DoPFloatBits odd) noexcept {
  if constexpr (!kLittleEndian) return 0;
  const U32x4 flip{even.flip, even.flip, odd.flip, odd.flip};
  const U32x4 offset{even.offset, even.offset, odd.offset, odd.offset};
  return lsb_first ? pairSteps<true>(left, right, out, frames, flip, offset)
                   : pairSteps<false>(left, right, out, frames, flip, offset);
}

size_t packDoPStereoSteps(const uint8_t* in, float* out, size_t frames, DoPFloatBits even,
                          DoPFloatBits odd) noexcept {
  if constexpr (!kLittleEndian) return 0;
  const U32x4 flip{even.flip, even.flip, odd.flip, odd.flip};
  const U32x4 offset{even.offset, even.offset, odd.offset, odd.offset};
  size_t j = 0;
  for (; j + 4 <= frames; j += 4) {
    // Lane k holds frame j + k: bytes L, R of its first half, then L, R of its second.
    U32x4 x;
    std::memcpy(&x, in + 4 * j, sizeof x);
    const U32x4 left = (x & 0xFF) << 8 | ((x >> 16) & 0xFF);
    const U32x4 right = ((x >> 8) & 0xFF) << 8 | (x >> 24);
    storeTwoFrames(__builtin_shufflevector(left, right, 0, 4, 1, 5), flip, offset, out + 2 * j);
    storeTwoFrames(__builtin_shufflevector(left, right, 2, 6, 3, 7), flip, offset, out + 2 * j + 4);
  }
  return j;
}

}  // namespace sonara::dsd
