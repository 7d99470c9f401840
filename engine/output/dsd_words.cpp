#include "engine/output/dsd_words.h"

#include <numeric>

#include "platform/vector_width.h"

#if defined(__SSE2__)
#include "engine/output/dsd_words_sse2.h"
#endif

namespace {

// Loops run over whole blocks of this many words, a count GCC's cheap vectorizer (at
// -O2) takes without a remainder at any vector width; the rest go one by one.
constexpr size_t kBlock = 16;
// Up to this many channels the markers of a run of frames are laid out beforehand.
constexpr uint32_t kMaxMarkedChannels = 64;
constexpr uint32_t kIdleBytesHigh = 0x96960000u;

// A DoP word's DSD bytes as a 16-bit unit: the earlier byte in bits 7-0, the later
// in bits 15-8.
SONARA_INLINE_LOOP uint32_t dsdUnitOf(float f) noexcept {
  const uint32_t v = dsdBitsOf(f);
  return v >> 16 | (v & 0xFF00u);
}

// floatOf is exact for these words: their low byte is 0.
SONARA_INLINE_LOOP float marked(float f, uint32_t marker_bits) noexcept {
  return floatOf(marker_bits | dsdBitsOf(f));
}

// `n` and `period` are whole blocks.
SONARA_INLINE_LOOP void markPeriodsLoop(float* __restrict w, size_t n, const uint32_t* __restrict marks,
                                        size_t period) noexcept {
  for (size_t at = 0, m = 0; at < n; at += kBlock, m = m + kBlock == period ? 0 : m + kBlock) {
    for (size_t k = 0; k < kBlock; ++k) w[at + k] = marked(w[at + k], marks[m + k]);
  }
}

SONARA_INLINE_LOOP float dsd16Word(float f) noexcept {
  const uint32_t v = dsdBitsOf(f);
  return floatOf(v << 16 | (v & 0x00FF0000u));  // exact: the low 16 bits are 0
}

SONARA_INLINE_LOOP void dsd16Loop(float* __restrict w, size_t n) noexcept {
  const size_t whole = n & ~(kBlock - 1);
  for (size_t i = 0; i < whole; ++i) w[i] = dsd16Word(w[i]);
  for (size_t i = whole; i < n; ++i) w[i] = dsd16Word(w[i]);
}

// Stereo frames, a multiple of kBlock / 2 of them.
SONARA_INLINE_LOOP void dsd32StereoLoop(const float* __restrict in, size_t frames, uint32_t* __restrict out) noexcept {
  const size_t whole = frames & ~(kBlock / 2 - 1);  // all of them, said so for the vectorizer
  for (size_t f = 0; f < whole; ++f) {
    const float* pair = in + 4 * f;
    out[2 * f] = dsdUnitOf(pair[0]) | dsdUnitOf(pair[2]) << 16;
    out[2 * f + 1] = dsdUnitOf(pair[1]) | dsdUnitOf(pair[3]) << 16;
  }
}

// Each loop for any x86-64 processor (written for SSE2), or as it stands elsewhere,
// and with wide vectors.
void markPeriods(float* __restrict w, size_t n, const uint32_t* __restrict marks, size_t period) noexcept {
#if defined(__SSE2__)
  sse2::markPeriods(w, n, marks, period, kBlock);
#else
  markPeriodsLoop(w, n, marks, period);
#endif
}
void dsd16(float* w, size_t n) noexcept {
#if defined(__SSE2__)
  const size_t done = sse2::dsd16(w, n);
  for (size_t i = done; i < n; ++i) w[i] = dsd16Word(w[i]);
#else
  dsd16Loop(w, n);
#endif
}
void dsd32Stereo(const float* __restrict in, size_t frames, uint32_t* __restrict out) noexcept {
#if defined(__SSE2__)
  sse2::dsd32Stereo(in, frames, out);
#else
  dsd32StereoLoop(in, frames, out);
#endif
}
SONARA_WIDE_VECTORS void markPeriodsWide(float* __restrict w, size_t n, const uint32_t* __restrict marks,
                                         size_t period) noexcept {
  markPeriodsLoop(w, n, marks, period);
}
SONARA_WIDE_VECTORS void dsd16Wide(float* w, size_t n) noexcept { dsd16Loop(w, n); }
SONARA_WIDE_VECTORS void dsd32StereoWide(const float* __restrict in, size_t frames, uint32_t* __restrict out) noexcept {
  dsd32StereoLoop(in, frames, out);
}

}  // namespace

uint8_t renumberDoP(std::span<float> words, uint32_t channels, uint8_t marker) noexcept {
  if (channels == 0 || words.empty()) return marker;
  const auto other = static_cast<uint8_t>(~marker);
  auto bitsOfFrame = [&](size_t frame) { return uint32_t{frame % 2 ? other : marker} << 24; };
  float* w = words.data();
  const size_t n = words.size();
  size_t i = 0;
  if (channels <= kMaxMarkedChannels) {
    // The markers repeat every two frames. Laid out for a stretch that is whole pairs
    // of frames and whole blocks, they let the loop over each stretch vectorize.
    const size_t period = std::lcm(size_t{2} * channels, kBlock);
    uint32_t marks[kBlock * kMaxMarkedChannels];
    for (size_t k = 0; k < period; ++k) marks[k] = bitsOfFrame(k / channels);
    i = n / period * period;
    (sonara::platform::wideVectors() ? markPeriodsWide : markPeriods)(w, i, marks, period);
  }
  for (; i < n; ++i) w[i] = marked(w[i], bitsOfFrame(i / channels));
  return (n + channels - 1) / channels % 2 ? other : marker;
}

void dsd16FromDoP(std::span<float> words) noexcept {
  (sonara::platform::wideVectors() ? dsd16Wide : dsd16)(words.data(), words.size());
}

void dsd32FromDoP(std::span<const float> in, uint32_t channels, std::span<uint32_t> out) noexcept {
  if (channels == 0) return;
  const size_t frames = std::min(out.size(), in.size() / 2) / channels;
  size_t f = 0;
  if (channels == 2) {
    f = frames & ~(kBlock / 2 - 1);
    (sonara::platform::wideVectors() ? dsd32StereoWide : dsd32Stereo)(in.data(), f, out.data());
  }
  for (; f < frames; ++f) {
    const float* pair = in.data() + 2 * f * channels;
    for (uint32_t c = 0; c < channels; ++c) {
      out[f * channels + c] = dsdUnitOf(pair[c]) | dsdUnitOf(pair[channels + c]) << 16;
    }
  }
}

void dsd32FromLastDoPFrame(std::span<const float> in, std::span<uint32_t> out) noexcept {
  const size_t n = std::min(in.size(), out.size());
  for (size_t c = 0; c < n; ++c) out[c] = dsdUnitOf(in[c]) | kIdleBytesHigh;
}
