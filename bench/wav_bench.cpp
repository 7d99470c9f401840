// WAV decoding throughput against plain read() of the same file, in the same run.
#include <cstdio>
#include <string>

#include "bench/bench_util.h"
#include "bench/decode_all.h"
#include "bench/plain_read.h"
#include "platform/log.h"
#include "plugins/system/audio_toolbox_wav_decoder.h"
#include "support/run_command.h"
#include "support/temp_dir.h"

namespace {

void run(const char* label, uint32_t rate, uint32_t bits, double seconds, const TempDir& dir) {
  const std::string path = dir.path() + "/bench-" + std::to_string(rate) + ".wav";
  const std::string make = "sox -q -D -r " + std::to_string(rate) + " -c 2 -n -b " + std::to_string(bits) + " " +
                           path + " synth " + std::to_string(seconds) + " sine 441 whitenoise vol 0.5";
  if (runCommand(make).status != 0) {
    std::printf("%s: sox missing\n", label);
    return;
  }
  uint64_t values = 0;
  const double decode_s =
      bestSecondsOf(3, [&] { values = decodeAll<sonara::tessor::AudioToolboxWavDecoder>(path); });
  const double read_s = bestSecondsOf(3, [&] { plainRead(path); });
  const double frames = static_cast<double>(values) / 2;
  std::printf("WAV %-8s %3.0f s: %.3g frames/s, %.0fx real time; decode/read() time ratio %.2f "
              "(decode %.3f s, read() %.3f s)\n",
              label, seconds, frames / decode_s, seconds / decode_s, decode_s / read_s, decode_s, read_s);
}

}  // namespace

int main() {
  sonara::platform::setLogSink([](const char*, void*) {}, nullptr);
  TempDir dir;
  run("16/44.1", 44100, 16, 120, dir);
  run("24/192", 192000, 24, 60, dir);
  return 0;
}
