#include "engine/output/dsd_packers.h"

#include <algorithm>
#include <cstdlib>

#include "engine/output/dsd_words.h"

// The markers are renumbered from the running marker, so that the device sees one
// unbroken 05/FA alternation across silence, underruns and items, whatever phase the
// decoder's own markers had. The DSD bytes pass unchanged.
// A PCM track joined to a running DoP output (same rate) passes unchanged.
uint32_t AudioDirectOutputBuffer_DoP::convertInto(float* into, uint32_t wanted) {
  uint32_t taken = pull(into, wanted, channel_conv_buff_samples_);
  const uint32_t ch = getChenels();
  if (taken == 0 || ch == 0 || !buff_->carriesDoP()) return taken;
  setMarkerDoP(renumberDoP({into, taken}, ch, markerDoP()));
  return taken;
}

uint32_t AudioDirectOutputBuffer_DSD16::convertInto(float* into, uint32_t wanted) {
  uint32_t taken = pull(into, wanted, channel_conv_buff_samples_);
  dsd16FromDoP({into, taken});
  return taken;
}

AudioDirectOutputBuffer_DSD32::~AudioDirectOutputBuffer_DSD32() {
  std::free(staging_);
  std::free(carry_);
}

bool AudioDirectOutputBuffer_DSD32::allocate() {
  if (!AudioDirectOutputBuffer::allocate()) return false;
  size_t bytes = (size_t{channel_conv_buff_samples_} * 2 * sizeof(float) + 15) & ~size_t{15};
  staging_ = static_cast<float*>(std::aligned_alloc(16, bytes));
  carry_ = static_cast<float*>(std::malloc(size_t{channel_conv_buff_samples_} * sizeof(float)));
  return staging_ != nullptr && carry_ != nullptr;
}

uint32_t AudioDirectOutputBuffer_DSD32::convertInto(float* into, uint32_t wanted) {
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
    std::copy_n(carry_, ch, staging_);
    g = ch;
  }
  carrying_ = false;
  g += pull(staging_ + g, 2 * m - g, 2 * channel_conv_buff_samples_ - g);
  auto* out = reinterpret_cast<uint32_t*>(into);
  const uint32_t pairs = g / (2 * ch);
  uint32_t produced = pairs * ch;
  dsd32FromDoP({staging_, size_t{produced} * 2}, ch, {out, produced});
  const uint32_t at = 2 * produced;
  if (g - at >= ch) {
    if (finished) {
      // The item's last frame has no partner: its second half is idle bytes.
      dsd32FromLastDoPFrame({staging_ + at, ch}, {out + produced, ch});
      produced += ch;
    } else {
      std::copy_n(staging_ + at, ch, carry_);
      carrying_ = true;
      carry_clears_ = clears;
    }
  }
  return produced;
}
