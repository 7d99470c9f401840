// What every decoder fuzz target does with a decoder that opened: read it to the
// end, seek to its middle and read again, with bounded work.
#pragma once

#include <cstdint>
#include <vector>

#include "plugin/decoder_plugin.h"
#include "plugins/common/host_link.h"

// Decoders under the fuzzer log into nothing: damaged input says a lot.
inline void attachQuietHost() {
  static const SonaraHostServices quiet{sizeof(SonaraHostServices), [](const char*) {}, nullptr, nullptr};
  sonara::plugin::attachHost(&quiet);
}

inline void exerciseDecoder(sonara::plugin::Decoder& decoder) {
  (void)decoder.getMetaData();
  uint32_t channels = decoder.getChannels();
  uint32_t preferred = decoder.getPreferredBufferSize();
  if (channels == 0 || preferred == 0 || preferred > (1u << 16)) return;
  std::vector<float> buffer(size_t{channels} * preferred);
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
