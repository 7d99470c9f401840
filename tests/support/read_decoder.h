// Reads a decoder to its end with its preferred request size, checking every status.
#pragma once

#include <gtest/gtest.h>

#include <vector>

template <typename Decoder>
std::vector<float> readAllValues(Decoder& d) {
  std::vector<float> all;
  std::vector<float> buffer(size_t{d.getPreferredBufferSize()} * d.getChannels());
  for (;;) {
    uint32_t n = static_cast<uint32_t>(buffer.size());
    EXPECT_EQ(d.getNextSamples(buffer.data(), &n), 0);
    if (n == 0) break;
    all.insert(all.end(), buffer.begin(), buffer.begin() + n);
  }
  return all;
}
