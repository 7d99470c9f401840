// Reads a whole file through a decoder with its preferred request size; returns the
// values delivered (0 when it cannot be opened).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "plugin/decoder_plugin.h"

template <typename DecoderType>
uint64_t decodeAll(const std::string& path) {
  DecoderType d;
  if (d.openByPath(path, nullptr) != 0) return 0;
  std::vector<float> buf(size_t{d.getPreferredBufferSize()} * d.getChannels());
  uint64_t values = 0;
  for (;;) {
    uint32_t n = static_cast<uint32_t>(buf.size());
    if (d.getNextSamples(buf.data(), &n) != 0 || n == 0) break;
    values += n;
  }
  return values;
}
