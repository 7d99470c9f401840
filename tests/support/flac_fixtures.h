// FLAC files made during the tests by Debian's sox and flac, and flac's own decode
// of them as the reference.
#pragma once

#include <cstdint>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "support/run_command.h"

struct FlacSetup {
  uint32_t rate = 44100;
  uint32_t bits = 16;
  uint32_t channels = 2;
  double seconds = 0.5;
  std::vector<std::string> tags;  // "NAME=value", passed to flac -T
};

// A signal that uses every bit: a sine per channel plus white noise. Returns the
// FLAC file's path, or "" when the tools failed.
inline std::string makeFlac(const std::string& dir, const std::string& name, const FlacSetup& s) {
  std::string wav = dir + "/" + name + ".wav";
  std::string flac = dir + "/" + name + ".flac";
  std::string synth = "sox -q -D -n -r " + std::to_string(s.rate) + " -b " +
                      std::to_string(s.bits) + " -c " + std::to_string(s.channels) + " " + wav +
                      " synth " + std::to_string(s.seconds) + " sine 441 whitenoise vol 0.9";
  std::string encode = "flac -s -f --no-seektable -o " + flac;
  for (const auto& t : s.tags) encode += " -T '" + t + "'";
  encode += " " + wav;
  if (runCommand(synth + " 2>&1").status != 0 || runCommand(encode + " 2>&1").status != 0) {
    return "";
  }
  return flac;
}

// flac -d's output as floats by the engine's rule: sample << (32 - bits), times 2^-31.
inline std::vector<float> referenceDecode(const std::string& flac, const std::string& raw,
                                          uint32_t bits) {
  std::string cmd = "flac -d -s -f --force-raw-format --endian=little --sign=signed -o " + raw +
                    " " + flac + " 2>&1";
  if (runCommand(cmd).status != 0) return {};
  std::ifstream in(raw, std::ios::binary);
  std::string bytes{std::istreambuf_iterator<char>(in), {}};
  const size_t width = bits / 8;
  std::vector<float> out;
  out.reserve(bytes.size() / width);
  for (size_t i = 0; i + width <= bytes.size(); i += width) {
    uint32_t u = 0;
    for (size_t b = 0; b < width; ++b) u |= uint32_t{static_cast<uint8_t>(bytes[i + b])} << (8 * b);
    auto sample = static_cast<int32_t>(u << (32 - bits));
    out.push_back(static_cast<float>(sample) * (1.0f / 2147483648.0f));
  }
  return out;
}

inline std::vector<float> readFloatFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::string bytes{std::istreambuf_iterator<char>(in), {}};
  std::vector<float> out(bytes.size() / 4);
  std::memcpy(out.data(), bytes.data(), out.size() * 4);
  return out;
}

// Bitwise equality, so that -0.0 and NaN patterns count too.
inline bool sameBits(const std::vector<float>& a, const std::vector<float>& b) {
  return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * 4) == 0;
}
