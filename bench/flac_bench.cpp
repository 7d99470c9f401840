// FLAC decoding throughput against the reference decoder (flac -d), in the same run.
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "bench/bench_util.h"
#include "bench/decode_all.h"
#include "platform/log.h"
#include "plugins/flac/mirrane.h"
#include "support/flac_fixtures.h"
#include "support/temp_dir.h"

namespace {


void run(const char* label, uint32_t rate, uint32_t bits, double seconds, const TempDir& dir) {
  FlacSetup setup{rate, bits, 2, seconds, {}};
  std::string path = makeFlac(dir.path(), "bench" + std::to_string(rate), setup);
  if (path.empty()) {
    std::printf("%s: sox or flac missing\n", label);
    return;
  }
  uint64_t values = 0;
  double decode_s = bestSecondsOf(3, [&] { values = decodeAll<sonara::flac::Mirrane>(path); });
  std::string ref = "flac -d -c -f -s --force-raw-format --endian=little --sign=signed " + path +
                    " > /dev/null";
  double ref_s = bestSecondsOf(3, [&] { (void)std::system(ref.c_str()); });
  double samples_per_s = values / 2 / decode_s;
  std::printf("%-8s %4.0f s: %.3g samples/s per channel, %.0fx real time; "
              "time ratio to flac -d %.2f (ours %.3f s, flac -d %.3f s)\n",
              label, seconds, samples_per_s, seconds / decode_s, decode_s / ref_s, decode_s, ref_s);
}

}  // namespace

int main() {
  sonara::platform::setLogSink([](const char*, void*) {}, nullptr);
  TempDir dir;
  run("16/44.1", 44100, 16, 60, dir);
  run("24/192", 192000, 24, 60, dir);
  return 0;
}
