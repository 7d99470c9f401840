// The DoP marker across everything a DSD decoder delivers: several calls of an odd
// frame count, DSD silence between them, and a second decoder object after the
// first. One process has one marker phase, so the markers alternate throughout.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "support/dop.h"

// Returns one marker per frame; both channels of a frame are checked to agree, and
// the silence to be DSD silence.
template <typename Decoder>
std::vector<uint8_t> markersAcrossCallsObjectsAndSilence(const std::string& path) {
  std::vector<uint8_t> markers;
  auto collect = [&](const std::vector<float>& buf, uint32_t n) {
    for (uint32_t i = 0; i < n; i += 2) {
      EXPECT_EQ(markerOf(doPWord(buf[i])), markerOf(doPWord(buf[i + 1])));
      markers.push_back(markerOf(doPWord(buf[i])));
    }
  };
  std::vector<float> buf(202);
  for (int object = 0; object < 2; ++object) {
    Decoder d;
    EXPECT_EQ(d.openByPath(path, nullptr), 0);
    for (int call = 0; call < 3; ++call) {
      uint32_t n = 202;  // 101 frames: an odd count per call
      EXPECT_EQ(d.getNextSamples(buf.data(), &n), 0);
      collect(buf, n);
      n = 6;
      EXPECT_EQ(d.getDummySamples(buf.data(), &n), 0);
      EXPECT_EQ(n, 6u);
      for (uint32_t i = 0; i < n; ++i) EXPECT_EQ(doPWord(buf[i]) & 0xFFFFFF, 0x969600u);
      collect(buf, n);
    }
  }
  return markers;
}

// Every DoP word a decoder delivers to its end, asked for `request` values at a time.
template <typename Decoder>
std::vector<uint32_t> readAllWords(Decoder& d, uint32_t request) {
  std::vector<uint32_t> words;
  std::vector<float> buf(request);
  for (int guard = 0; guard < 1000000; ++guard) {
    uint32_t n = request;
    EXPECT_EQ(d.getNextSamples(buf.data(), &n), 0);
    if (n == 0) break;
    for (uint32_t i = 0; i < n; ++i) words.push_back(doPWord(buf[i]));
  }
  return words;
}

inline void expectAlternating(const std::vector<uint8_t>& markers) {
  ASSERT_FALSE(markers.empty());
  for (size_t i = 1; i < markers.size(); ++i) {
    ASSERT_EQ(markers[i], static_cast<uint8_t>(~markers[i - 1])) << "at frame " << i;
  }
}
