// Compressed files for the MP3 and Apple Lossless tests, made by Debian's own
// encoders (sox, lame, ffmpeg) from signals the tests know.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "support/byte_output.h"
#include "support/id3_tag.h"
#include "support/read_bytes.h"
#include "support/run_command.h"

// A sine of `hz` at half scale, `frames` frames long, as 16-bit PCM WAV. A tone high
// enough that one frame dropped or repeated anywhere shows as a large error.
inline bool makeTone(const std::string& path, uint32_t rate, uint32_t channels, uint64_t frames, double hz = 3000) {
  return runCommand("sox -q -D -r " + std::to_string(rate) + " -c " + std::to_string(channels) + " -n -b 16 " + path +
                    " synth " + std::to_string(frames) + "s sine " + std::to_string(hz) + " vol 0.5")
             .status == 0;
}

// A part of a WAV file, by frames, as sox cuts it.
inline bool cutFrames(const std::string& from, const std::string& to, uint64_t first, uint64_t count) {
  return runCommand("sox " + from + " " + to + " trim " + std::to_string(first) + "s " + std::to_string(count) + "s")
             .status == 0;
}

// lame at 320 kbit/s; `info_tag` false leaves out the LAME/Info header (no gapless data).
inline bool lameEncode(const std::string& wav, const std::string& mp3, bool info_tag = true) {
  return runCommand(std::string("lame --quiet -b 320 ") + (info_tag ? "" : "-t ") + wav + " " + mp3).status == 0;
}

// lame's encoder delay plus the decoder's: the frames before the first of the source.
inline constexpr uint32_t kLamePriming = 576 + 529;

// The samples of a file as sox decodes it, as floats of the file's own scale.
inline std::vector<float> soxFloats(const std::string& path) {
  auto r = runCommand("sox " + path + " -t raw -e floating-point -b 32 -L - 2>/dev/null");
  std::vector<float> out(r.out.size() / 4);
  std::memcpy(out.data(), r.out.data(), out.size() * 4);
  return out;
}

// An ID3v2.3 tag holding only the iTunes gapless comment.
inline std::vector<uint8_t> iTunSMPBTag(uint32_t priming, uint32_t remainder, uint64_t valid) {
  char text[160];
  std::snprintf(text, sizeof text, " 00000000 %08X %08X %016llX 00000000 00000000 00000000 00000000",
                priming, remainder, static_cast<unsigned long long>(valid));
  std::vector<uint8_t> body{0};  // ISO-8859-1
  putText(body, "eng");
  putText(body, "iTunSMPB");
  body.push_back(0);
  putText(body, text);
  return id3Tag(3, {{"COMM", body}});
}

// `tag` put in front of an MP3 file.
inline void prependTag(const std::string& mp3, const std::vector<uint8_t>& tag) {
  const std::string bytes = readBytes(mp3);
  std::vector<uint8_t> out(tag);
  out.insert(out.end(), bytes.begin(), bytes.end());
  writeFile(mp3, out);
}
