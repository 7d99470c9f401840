// The tests' ALSA device (tests/support/alsa_test_pcm): its configuration, failures
// injected on demand, and what it received.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "support/read_bytes.h"

struct TestPcmSetup {
  std::string name = "testdac";
  std::string formats = "S16_LE";
  std::string rates = "44100";
  int period_step = 0;  // bytes; 0 for any period
  std::string refuse;   // "FORMAT@RATE ..." refused when configured
  std::string capture, events, inject;
};

inline std::string testPcmConfig(const std::vector<TestPcmSetup>& setups) {
  std::string out = std::string("pcm_type.pelmora_test { lib \"") + TEST_PCM_PLUGIN_PATH + "\" }\n";
  for (const auto& s : setups) {
    out += "pcm." + s.name + " {\n  type pelmora_test\n  formats \"" + s.formats + "\"\n  rates \"" + s.rates +
           "\"\n  period_step " + std::to_string(s.period_step) + "\n";
    if (!s.refuse.empty()) out += "  refuse \"" + s.refuse + "\"\n";
    if (!s.capture.empty()) out += "  capture \"" + s.capture + "\"\n";
    if (!s.events.empty()) out += "  events \"" + s.events + "\"\n";
    if (!s.inject.empty()) out += "  inject \"" + s.inject + "\"\n";
    out += "}\n";
  }
  return out;
}


inline size_t fileSize(const std::string& path) { return readBytes(path).size(); }

// Asks the device for a failure ("EPIPE 1", "EIO"): written whole, then renamed.
inline void injectFailure(const std::string& path, const std::string& what) {
  const std::string temp = path + ".tmp";
  std::ofstream(temp) << what << '\n';
  std::rename(temp.c_str(), path.c_str());
}

inline std::vector<std::string> eventLines(const std::string& path, const std::string& prefix) {
  std::ifstream in(path);
  std::vector<std::string> out;
  for (std::string line; std::getline(in, line);) {
    if (line.rfind(prefix, 0) == 0) out.push_back(line);
  }
  return out;
}

// The frames of a capture in 16-bit stereo that are not silence, as left << 16 | right.
inline std::vector<uint32_t> audibleFrames16(const std::string& bytes) {
  std::vector<uint32_t> out;
  for (size_t i = 0; i + 4 <= bytes.size(); i += 4) {
    uint32_t frame;
    std::memcpy(&frame, bytes.data() + i, 4);
    if (frame != 0) out.push_back(frame);
  }
  return out;
}

// The same for a reference decode (floats by the engine's rule), as 16-bit integers.
inline std::vector<uint32_t> audibleFrames16(const std::vector<float>& reference) {
  std::vector<uint32_t> out;
  for (size_t i = 0; i + 1 < reference.size(); i += 2) {
    auto l = static_cast<uint16_t>(static_cast<int16_t>(static_cast<double>(reference[i]) * 32768.0));
    auto r = static_cast<uint16_t>(static_cast<int16_t>(static_cast<double>(reference[i + 1]) * 32768.0));
    uint32_t frame = uint32_t{r} << 16 | l;
    if (frame != 0) out.push_back(frame);
  }
  return out;
}
