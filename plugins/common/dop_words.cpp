#include "plugins/common/dop_words.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <type_traits>

#include "plugins/common/dop_stereo_kernels.h"

namespace sonara::dsd {

namespace {

constexpr std::array<uint8_t, 256> kIdentity = [] {
  std::array<uint8_t, 256> t{};
  for (size_t i = 0; i < 256; ++i) t[i] = static_cast<uint8_t>(i);
  return t;
}();

// Entry i is i with its 8 bits in reverse order.
constexpr std::array<uint8_t, 256> kReversal = [] {
  std::array<uint8_t, 256> t{};
  for (size_t i = 0; i < 256; ++i) {
    for (size_t b = 0; b < 8; ++b) {
      if (i & (size_t{1} << b)) t[i] = static_cast<uint8_t>(t[i] | (0x80 >> b));
    }
  }
  return t;
}();

// The float of frame j from its two DSD bytes, with the usual markers: the bits come
// from the frame's parity, without a conversion.
class ParityWords {
 public:
  static constexpr bool kBits = true;
  explicit ParityWords(uint8_t marker) : phases_{floatBitsOf(marker), floatBitsOf(nextMarker(marker))} {}
  DoPFloatBits even() const { return phases_[0]; }
  DoPFloatBits odd() const { return phases_[1]; }
  float operator()(size_t j, uint8_t first, uint8_t second) const {
    return doPFloat(phases_[j & 1], doPBytesBits(first, second));
  }

 private:
  std::array<DoPFloatBits, 2> phases_;
};

// The same for any other marker a host may hand over, by the word's own arithmetic.
class MarkerWords {
 public:
  static constexpr bool kBits = false;
  explicit MarkerWords(uint8_t marker) : markers_{marker, nextMarker(marker)} {}
  float operator()(size_t j, uint8_t first, uint8_t second) const {
    return doPWordAsFloat(markers_[j & 1], first, second);
  }

 private:
  std::array<uint8_t, 2> markers_;
};

// Calls `pack` with the word builder for `marker`, so that no frame asks which one
// applies; returns the marker after `frames` frames.
template <typename Pack>
uint8_t withWords(uint8_t marker, size_t frames, Pack&& pack) {
  if (isDoPMarker(marker)) {
    pack(ParityWords(marker));
  } else {
    pack(MarkerWords(marker));
  }
  return (frames & 1) ? nextMarker(marker) : marker;
}

}  // namespace

uint8_t packDoPInterleaved(std::span<const uint8_t> in, uint32_t in_channels, std::span<float> out,
                           uint32_t out_channels, uint8_t marker) noexcept {
  if (in_channels == 0 || out_channels == 0) return marker;
  const size_t frames = std::min(in.size() / (size_t{2} * in_channels), out.size() / out_channels);
  // A mono input feeds every output channel from its one byte column.
  const size_t column_step = in_channels == 1 ? 0 : 1;
  return withWords(marker, frames, [&](const auto& words) {
    size_t j = 0;
    if constexpr (std::decay_t<decltype(words)>::kBits) {
      if (in_channels == 2 && out_channels == 2) {
        j = packDoPStereoSteps(in.data(), out.data(), frames, words.even(), words.odd());
      }
    }
    for (; j < frames; ++j) {
      const uint8_t* frame = in.data() + 2 * j * in_channels;
      float* to = out.data() + j * out_channels;
      for (uint32_t c = 0; c < out_channels; ++c) {
        const size_t from = c * column_step;
        to[c] = words(j, frame[from], frame[in_channels + from]);
      }
    }
  });
}

uint8_t packDoPChannel(std::span<const uint8_t> in, bool lsb_first, std::span<float> out, size_t stride,
                       uint8_t marker) noexcept {
  if (stride == 0 || out.empty()) return marker;
  const size_t frames = std::min(in.size() / 2, (out.size() + stride - 1) / stride);
  const auto& order = lsb_first ? kReversal : kIdentity;
  return withWords(marker, frames, [&](const auto& words) {
    for (size_t j = 0; j < frames; ++j) out[j * stride] = words(j, order[in[2 * j]], order[in[2 * j + 1]]);
  });
}

uint8_t packDoPPair(std::span<const uint8_t> left, std::span<const uint8_t> right, bool lsb_first,
                    std::span<float> out, uint8_t marker) noexcept {
  const size_t frames = std::min({left.size() / 2, right.size() / 2, out.size() / 2});
  const auto& order = lsb_first ? kReversal : kIdentity;
  return withWords(marker, frames, [&](const auto& words) {
    size_t j = 0;
    if constexpr (std::decay_t<decltype(words)>::kBits) {
      j = packDoPPairSteps(left.data(), right.data(), lsb_first, out.data(), frames, words.even(), words.odd());
    }
    for (; j < frames; ++j) {
      out[2 * j] = words(j, order[left[2 * j]], order[left[2 * j + 1]]);
      out[2 * j + 1] = words(j, order[right[2 * j]], order[right[2 * j + 1]]);
    }
  });
}

// Silence repeats every two frames: the first two are built, and the rest copied from
// the start in runs that double, each landing on a frame of the same parity.
uint8_t packDoPSilence(std::span<float> out, uint32_t channels, uint8_t marker) noexcept {
  if (channels == 0) return marker;
  const size_t frames = out.size() / channels;
  return withWords(marker, frames, [&](const auto& words) {
    const size_t built = std::min<size_t>(frames, 2);
    for (size_t j = 0; j < built; ++j) {
      const float word = words(j, kSilenceByte, kSilenceByte);
      for (uint32_t c = 0; c < channels; ++c) out[j * channels + c] = word;
    }
    for (size_t done = built; done < frames;) {
      const size_t run = std::min(done, frames - done);
      std::memcpy(out.data() + done * channels, out.data(), run * channels * sizeof(float));
      done += run;
    }
  });
}

}  // namespace sonara::dsd
