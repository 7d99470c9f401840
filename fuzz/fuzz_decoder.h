// What every decoder fuzz target does with a decoder that opened: read it to the
// end, seek to its middle and read again, with bounded work.
#pragma once

#include <sanitizer/asan_interface.h>

#include <cstdint>
#include <memory>
#include <span>

#include "plugin/decoder_plugin.h"
#include "plugins/common/host_link.h"

// Decoders under the fuzzer log into nothing: damaged input says a lot.
inline void attachQuietHost() {
  static const SonaraHostServices quiet{sizeof(SonaraHostServices), [](const char*) {}, nullptr, nullptr};
  sonara::plugin::attachHost(&quiet);
}

// The output buffer, kept from one input to the next: under the address sanitizer a
// fresh one of a few hundred kilobytes per input costs more than all the decoding.
// What lies past the values an input asks for is poisoned, so an overrun is still
// caught as it would be at the end of a buffer of its own.
inline std::span<float> reusedOutputBuffer(size_t values) {
  static std::unique_ptr<float[]> buffer;
  static size_t capacity = 0;
  if (values > capacity) {
    if (buffer) ASAN_UNPOISON_MEMORY_REGION(buffer.get(), capacity * sizeof(float));
    buffer = std::make_unique<float[]>(values);
    capacity = values;
  }
  ASAN_UNPOISON_MEMORY_REGION(buffer.get(), values * sizeof(float));
  ASAN_POISON_MEMORY_REGION(buffer.get() + values, (capacity - values) * sizeof(float));
  return {buffer.get(), values};
}

inline void exerciseDecoder(sonara::plugin::Decoder& decoder) {
  (void)decoder.getMetaData();
  uint32_t channels = decoder.getChannels();
  uint32_t preferred = decoder.getPreferredBufferSize();
  if (channels == 0 || preferred == 0 || preferred > (1u << 16)) return;
  const std::span<float> buffer = reusedOutputBuffer(size_t{channels} * preferred);
  auto drain = [&] {
    for (int calls = 0; calls < 4096; ++calls) {
      uint32_t n = static_cast<uint32_t>(buffer.size());
      if (decoder.getNextSamples(buffer.data(), &n) != 0 || n == 0) break;
      (void)decoder.getTimestamp();
    }
  };
  drain();
  if (decoder.supportsSeek()) {
    decoder.seek(decoder.getDuration() / 2);
    drain();
    decoder.seek(~uint64_t{0});
    drain();
  }
  uint32_t n = static_cast<uint32_t>(buffer.size());
  decoder.getDummySamples(buffer.data(), &n);
}
