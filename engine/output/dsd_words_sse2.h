// The loops of dsd_words.cpp as written for SSE2, the copies for any x86-64 processor.
// SSE2 has no 32-bit minimum, which the clamp of dsdBitsOf needs and which the
// compiler would otherwise build from four instructions. Its conversion needs no
// clamp: every value out of range, and a NaN, converts to 0x80000000, whose bits
// 23-8 are those of -1 (0 for a negative word). Only the floats from 1 up, and a
// NaN with the sign clear, must give all ones there, and those are exactly the
// floats whose bits, as a signed integer, exceed those of the largest float below 1.
#pragma once

#include <emmintrin.h>

#include <cstddef>
#include <cstdint>

namespace sse2 {

// dsdBitsOf for four words.
inline __m128i dsdBits(__m128 f) noexcept {
  const __m128i word = _mm_cvttps_epi32(_mm_mul_ps(f, _mm_set1_ps(2147483648.0f)));
  const __m128i from_one = _mm_cmpgt_epi32(_mm_castps_si128(f), _mm_set1_epi32(0x3F7FFFFF));
  return _mm_and_si128(_mm_or_si128(word, from_one), _mm_set1_epi32(0x00FFFF00));
}

// floatOf for four words.
inline __m128 floatOf(__m128i word) noexcept {
  return _mm_mul_ps(_mm_cvtepi32_ps(word), _mm_set1_ps(1.0f / 2147483648.0f));
}

// dsdUnitOf for four words.
inline __m128i dsdUnits(__m128 f) noexcept {
  const __m128i v = dsdBits(f);
  return _mm_or_si128(_mm_srli_epi32(v, 16), _mm_and_si128(v, _mm_set1_epi32(0xFF00)));
}

// `n` and `period` are whole blocks of `block` words, `block` a multiple of 4.
inline void markPeriods(float* w, size_t n, const uint32_t* marks, size_t period, size_t block) noexcept {
  for (size_t at = 0, m = 0; at < n; at += block, m = m + block == period ? 0 : m + block) {
    for (size_t k = 0; k < block; k += 4) {
      const __m128i mark = _mm_loadu_si128(reinterpret_cast<const __m128i*>(marks + m + k));
      const __m128i bits = _mm_or_si128(dsdBits(_mm_loadu_ps(w + at + k)), mark);
      _mm_storeu_ps(w + at + k, floatOf(bits));
    }
  }
}

// The 16-bit DSD words of the first n / 4 x 4 words; returns how many were done.
inline size_t dsd16(float* w, size_t n) noexcept {
  const size_t whole = n & ~size_t{3};
  for (size_t i = 0; i < whole; i += 4) {
    const __m128i v = dsdBits(_mm_loadu_ps(w + i));
    const __m128i word = _mm_or_si128(_mm_slli_epi32(v, 16), _mm_and_si128(v, _mm_set1_epi32(0x00FF0000)));
    _mm_storeu_ps(w + i, floatOf(word));
  }
  return whole;
}

// Stereo frames, an even number of them: each four DoP words (two frames) make the
// two 32-bit words of one frame.
inline void dsd32Stereo(const float* in, size_t frames, uint32_t* out) noexcept {
  for (size_t f = 0; f < frames; f += 2) {
    const __m128i first = dsdUnits(_mm_loadu_ps(in + 4 * f));       // L R of frames a, b
    const __m128i second = dsdUnits(_mm_loadu_ps(in + 4 * f + 4));  // the same of the next
    const __m128i earlier = _mm_unpacklo_epi64(first, second);      // the a frames
    const __m128i later = _mm_unpackhi_epi64(first, second);        // the b frames
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 2 * f), _mm_or_si128(earlier, _mm_slli_epi32(later, 16)));
  }
}

}  // namespace sse2
