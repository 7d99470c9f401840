#include "engine/output/dsd_packers.h"

#include <algorithm>
#include <cstdlib>

namespace {
constexpr uint8_t kIdleByte = 0x96;
}  // namespace

// The markers are renumbered from the running marker, so that the device sees one
// unbroken 05/FA alternation across silence, underruns and items, whatever phase the
// decoder's own markers had. The DSD bytes pass unchanged.
// A PCM track joined to a running DoP output (same rate) passes unchanged.
uint32_t AudioDirectOutputBuffer_DoP::updateConversionBuffer(uint32_t wanted) {
  uint32_t taken = pull(channel_conv_buff_, wanted, channel_conv_buff_samples_);
  const uint32_t ch = getChenels();
  if (taken == 0 || ch == 0 || !buff_->carriesDoP()) return taken;
  uint8_t marker = markerDoP();
  for (uint32_t i = 0; i < taken; i += ch) {
    for (uint32_t c = 0; c < ch && i + c < taken; ++c) {
      uint32_t v = wordOf(channel_conv_buff_[i + c]);
      channel_conv_buff_[i + c] = floatOf((uint32_t{marker} << 24) | (v & 0x00FFFF00u));
    }
    marker = static_cast<uint8_t>(~marker);
  }
  setMarkerDoP(marker);
  return taken;
}

uint32_t AudioDirectOutputBuffer_DSD16::updateConversionBuffer(uint32_t wanted) {
  uint32_t taken = pull(channel_conv_buff_, wanted, channel_conv_buff_samples_);
  for (uint32_t i = 0; i < taken; ++i) {
    uint32_t v = wordOf(channel_conv_buff_[i]);
    uint32_t earlier = (v >> 16) & 0xFF;
    uint32_t later = (v >> 8) & 0xFF;
    channel_conv_buff_[i] = floatOf(later << 24 | earlier << 16);
  }
  return taken;
}

AudioDirectOutputBuffer_DSD32::~AudioDirectOutputBuffer_DSD32() {
  std::free(dsd_conv_buff_);
  std::free(carry_);
}

bool AudioDirectOutputBuffer_DSD32::allocate() {
  if (!AudioDirectOutputBuffer::allocate()) return false;
  size_t bytes = (size_t{channel_conv_buff_samples_} * 2 * sizeof(uint32_t) + 15) & ~size_t{15};
  dsd_conv_buff_ = static_cast<uint32_t*>(std::aligned_alloc(16, bytes));
  carry_ = static_cast<uint32_t*>(std::malloc(size_t{channel_conv_buff_samples_} * sizeof(uint32_t)));
  return dsd_conv_buff_ != nullptr && carry_ != nullptr;
}

uint32_t AudioDirectOutputBuffer_DSD32::updateConversionBuffer(uint32_t wanted) {
  const uint32_t ch = getChenels();
  if (ch == 0) return 0;
  // Read before the pull: when the input had finished then, the pull saw all of it.
  const bool finished = inputFinished();
  const uint32_t clears = buff_->clearCount();
  uint32_t m = std::min(wanted, channel_conv_buff_samples_) / ch * ch;
  if (m == 0) return 0;
  // A frame carried over from the last pull goes first, unless a seek dropped what
  // it belonged to.
  uint32_t g = 0;
  if (carrying_ && carry_clears_ == clears) {
    std::copy_n(carry_, ch, dsd_conv_buff_);
    g = ch;
  }
  carrying_ = false;
  auto* staging = reinterpret_cast<float*>(dsd_conv_buff_ + g);
  const uint32_t pulled = pull(staging, 2 * m - g, 2 * channel_conv_buff_samples_ - g);
  // Each DoP word becomes a 16-bit unit: earlier byte in bits 7-0, later in 15-8.
  for (uint32_t i = g; i < g + pulled; ++i) {
    uint32_t v = wordOf(reinterpret_cast<float*>(dsd_conv_buff_)[i]);
    dsd_conv_buff_[i] = ((v >> 16) & 0xFF) | (v & 0xFF00);
  }
  g += pulled;
  auto* out = reinterpret_cast<uint32_t*>(channel_conv_buff_);
  uint32_t produced = 0;
  uint32_t at = 0;
  while (g - at >= 2 * ch) {
    for (uint32_t c = 0; c < ch; ++c) {
      out[produced++] = dsd_conv_buff_[at + c] | dsd_conv_buff_[at + ch + c] << 16;
    }
    at += 2 * ch;
  }
  if (g - at >= ch) {
    if (finished) {
      // The item's last frame has no partner: its second half is idle bytes.
      for (uint32_t c = 0; c < ch; ++c) {
        out[produced++] = dsd_conv_buff_[at + c] | uint32_t{kIdleByte} << 16 | uint32_t{kIdleByte} << 24;
      }
    } else {
      std::copy_n(dsd_conv_buff_ + at, ch, carry_);
      carrying_ = true;
      carry_clears_ = clears;
    }
  }
  return produced;
}
