// MP3 and Apple Lossless decoding throughput, each beside the reference decoders
// (mpg123 and ffmpeg) decoding the same file to nothing, in the same run.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench/bench_util.h"
#include "bench/decode_all.h"
#include "platform/log.h"
#include "plugins/system/audio_toolbox_mp3_decoder.h"
#include "plugins/system/audio_toolbox_mp4_decoder.h"
#include "support/run_command.h"
#include "support/temp_dir.h"

namespace {

template <typename DecoderType>
void measure(const char* label, const std::string& path, double seconds, uint32_t channels,
             const std::string& reference, const char* reference_name) {
  uint64_t values = 0;
  const double decode_s = bestSecondsOf(3, [&] { values = decodeAll<DecoderType>(path); });
  const double ref_s = bestSecondsOf(3, [&] { (void)std::system(reference.c_str()); });
  std::printf("%-14s %3.0f s: %.0fx real time (%.3g frames/s); time ratio to %s %.2f (ours %.3f s, %s %.3f s)\n", label,
              seconds, seconds / decode_s, static_cast<double>(values) / channels / decode_s, reference_name,
              decode_s / ref_s, decode_s, reference_name, ref_s);
}

}  // namespace

int main() {
  sonara::platform::setLogSink([](const char*, void*) {}, nullptr);
  TempDir dir;
  const double seconds = 120;
  const std::string wav16 = dir.file("src16.wav");
  const std::string wav24 = dir.file("src24.wav");
  const std::string mp3 = dir.file("bench.mp3");
  const std::string m4a = dir.file("bench.m4a");
  const std::string s = std::to_string(seconds);
  if (runCommand("sox -q -D -r 44100 -c 2 -n -b 16 " + wav16 + " synth " + s + " sine 441 whitenoise vol 0.5").status != 0 ||
      runCommand("sox -q -D -r 96000 -c 2 -n -b 24 " + wav24 + " synth " + s + " sine 441 whitenoise vol 0.5").status != 0 ||
      runCommand("lame --quiet -b 320 " + wav16 + " " + mp3).status != 0 ||
      runCommand("ffmpeg -v quiet -y -i " + wav24 + " -c:a alac " + m4a).status != 0) {
    std::printf("sox, lame or ffmpeg missing\n");
    return 0;
  }
  measure<sonara::tessor::AudioToolboxMP3Decoder>("MP3 320 kbit/s", mp3, seconds, 2,
                                                  "mpg123 -q -e f32 -w /dev/null " + mp3, "mpg123");
  measure<sonara::tessor::AudioToolboxMP3Decoder>("MP3 320 kbit/s", mp3, seconds, 2,
                                                  "ffmpeg -v quiet -i " + mp3 + " -f f32le -y /dev/null", "ffmpeg");
  measure<sonara::tessor::AudioToolboxMP4Decoder>("ALAC 24/96", m4a, seconds, 2,
                                                  "ffmpeg -v quiet -i " + m4a + " -f f32le -y /dev/null", "ffmpeg");
  return 0;
}
