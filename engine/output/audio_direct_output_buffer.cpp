#include "engine/output/audio_direct_output_buffer.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>

#include "engine/output/dsd_packers.h"

using namespace sonara::audio;

namespace {

std::atomic<uint8_t> g_marker_dop{0x05};

bool isMixableSignedPcm(const StreamDescription& f) {
  return f.format_id == kFormatLinearPCM && (f.format_flags & kFormatFlagIsSignedInteger) &&
         !(f.format_flags & kFormatFlagIsNonMixable);
}

}  // namespace

uint8_t AudioDirectOutputBuffer::markerDoP() { return g_marker_dop.load(std::memory_order_relaxed); }
void AudioDirectOutputBuffer::setMarkerDoP(uint8_t m) { g_marker_dop.store(m, std::memory_order_relaxed); }

std::unique_ptr<AudioDirectOutputBuffer> AudioDirectOutputBuffer::create(PackerKind kind,
                                                                         uint32_t capacity) {
  std::unique_ptr<AudioDirectOutputBuffer> packer;
  switch (kind) {
    case PackerKind::PCM: packer.reset(new (std::nothrow) AudioDirectOutputBuffer(capacity)); break;
    case PackerKind::DoP: packer.reset(new (std::nothrow) AudioDirectOutputBuffer_DoP(capacity)); break;
    case PackerKind::DSD16: packer.reset(new (std::nothrow) AudioDirectOutputBuffer_DSD16(capacity)); break;
    case PackerKind::DSD32: packer.reset(new (std::nothrow) AudioDirectOutputBuffer_DSD32(capacity)); break;
  }
  if (!packer || capacity == 0 || !packer->allocate()) return nullptr;
  return packer;
}

AudioDirectOutputBuffer::~AudioDirectOutputBuffer() { std::free(channel_conv_buff_); }

bool AudioDirectOutputBuffer::allocate() {
  size_t bytes = (size_t{channel_conv_buff_samples_} * sizeof(float) + 15) & ~size_t{15};
  channel_conv_buff_ = static_cast<float*>(std::aligned_alloc(16, bytes));
  return channel_conv_buff_ != nullptr;
}

bool AudioDirectOutputBuffer::bind(std::shared_ptr<AudioOutputBuffer> queue) {
  if (!queue || uint64_t{queue->frames()} * queue->channels() > channel_conv_buff_samples_) return false;
  buff_ = std::move(queue);
  rebound();
  return true;
}

uint32_t AudioDirectOutputBuffer::pull(float* into, uint32_t wanted, uint32_t room) {
  if (!buff_) return 0;
  return buff_->getSamples(into, std::min(wanted, room));
}

uint32_t AudioDirectOutputBuffer::convertInto(float* into, uint32_t wanted) {
  return pull(into, wanted, channel_conv_buff_samples_);
}

bool AudioDirectOutputBuffer::formatMatching(PackerKind kind, const RangedDescription& ranged,
                                             uint32_t preferred_bits) {
  const StreamDescription& f = ranged.format;
  const bool carries_dsd = f.format_flags & kFormatFlagCarriesNativeDSD;
  switch (kind) {
    case PackerKind::PCM:
      // PCM and DoP must never reach a format that carries native DSD words.
      return isMixableSignedPcm(f) && !carries_dsd;
    case PackerKind::DoP:
      // A DoP frame is a marker byte over 16 DSD bits: it needs a 24- or 32-bit
      // container, in 16 bits it would play as noise.
      return isMixableSignedPcm(f) && !carries_dsd && f.bits_per_channel >= 24;
    case PackerKind::DSD16:
      return f.format_id == kFormatLinearPCM && f.bits_per_channel == preferred_bits &&
             (f.format_flags & kFormatFlagIsSignedInteger) &&
             !(f.format_flags & kFormatFlagIsNonMixable);
    case PackerKind::DSD32:
      return f.format_id == kFormatLinearPCM && f.bits_per_channel == preferred_bits &&
             (f.format_flags & kFormatFlagIsSignedInteger) && (f.format_flags & kFormatFlagIsNonMixable);
  }
  return false;
}

void AudioDirectOutputBuffer::fillSilentData(PackerKind kind, IoBuffer& buffer, uint32_t from_frame,
                                             bool advance) {
  const uint32_t k = std::max(buffer.channels, 1u);
  const uint32_t frames = buffer.byte_size / 4 / k;
  if (from_frame >= frames) return;
  const size_t first = size_t{from_frame} * k;
  const size_t samples = size_t{frames} * k - first;
  auto* out = static_cast<float*>(buffer.data) + first;
  switch (kind) {
    case PackerKind::PCM:
      std::fill_n(out, samples, 0.0f);
      return;
    case PackerKind::DoP: {
      uint8_t marker = markerDoP();
      for (uint32_t f = 0; f < frames - from_frame; ++f) {
        std::fill_n(out + size_t{f} * k, k, floatOf((uint32_t{marker} << 24) | 0x969600u));
        marker = static_cast<uint8_t>(~marker);
      }
      if (advance) setMarkerDoP(marker);
      return;
    }
    case PackerKind::DSD16:
      std::fill_n(out, samples, floatOf(0x96960000u));
      return;
    case PackerKind::DSD32:
      std::memset(out, 0x96, samples * 4);
      return;
  }
}
