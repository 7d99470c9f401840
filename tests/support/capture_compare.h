// Whether a 32-bit capture holds, after its lead-in silence, exactly the given
// samples (floats of full scale 1.0) and nothing more.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

inline ::testing::AssertionResult captureHolds(const std::string& bytes, size_t preroll_values,
                                               const std::vector<float>& samples) {
  if (bytes.size() / 4 != preroll_values + samples.size()) {
    return ::testing::AssertionFailure() << "the capture holds " << bytes.size() / 4 << " values, not "
                                         << preroll_values << " + " << samples.size();
  }
  for (size_t i = 0; i < samples.size(); ++i) {
    int32_t v;
    std::memcpy(&v, bytes.data() + (preroll_values + i) * 4, 4);
    if (v != static_cast<int32_t>(static_cast<double>(samples[i]) * 2147483648.0)) {
      return ::testing::AssertionFailure() << "value " << i << " (frame " << i / 2 << ") differs";
    }
  }
  return ::testing::AssertionSuccess();
}
