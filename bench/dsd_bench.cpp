// DSF and DSDIFF decoding throughput, each against plain read() of the same file, in
// the same run. The decoders deliver DoP words only; native DSD is made from those
// words by the output packers (packer_bench).
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "bench/bench_util.h"
#include "bench/decode_all.h"
#include "bench/plain_read.h"
#include "platform/log.h"
#include "plugins/dsdiff/dalfin.h"
#include "plugins/dsf/selvet.h"
#include "support/dsdiff_writer.h"
#include "support/dsf_writer.h"
#include "support/temp_dir.h"

namespace {

// Decode/read() time ratios by format, then by rate, for the summary.
std::map<std::string, std::map<std::string, double>> g_ratios;

template <typename DecoderType>
void measure(const char* format, const char* label, const std::string& path, double seconds) {
  int fd = ::open(path.c_str(), O_RDONLY);
  ::fsync(fd);
  ::close(fd);
  uint64_t values = 0;
  // Decoding and reading take turns, so that a busy moment of the machine spoils
  // one run of each rather than all runs of one.
  double decode_s = 1e300;
  double read_s = 1e300;
  for (int run = 0; run < 7; ++run) {
    decode_s = std::min(decode_s, secondsOf([&] { values = decodeAll<DecoderType>(path); }));
    read_s = std::min(read_s, secondsOf([&] { plainRead(path); }));
  }
  g_ratios[format][label] = decode_s / read_s;
  std::printf("%-6s %-7s %5.1f s of audio: %.3g DoP values/s, %.0fx real time, "
              "decode/read() time ratio %.2f (decode %.3f s, read() %.3f s)\n",
              format, label, seconds, values / decode_s, seconds / decode_s, decode_s / read_s, decode_s, read_s);
}

void run(const char* label, uint32_t frequency, double seconds, const TempDir& dir) {
  const auto audio = patternAudio(2, static_cast<size_t>(frequency / 8 * seconds));
  DsfSetup dsf;
  dsf.frequency = frequency;
  dsf.audio = audio;
  const std::string dsf_path = dir.file(std::string(label) + ".dsf");
  writeFile(dsf_path, buildDsf(dsf));
  measure<sonara::dsf::Selvet>("DSF", label, dsf_path, seconds);
  std::remove(dsf_path.c_str());

  DffSetup dff;
  dff.frequency = frequency;
  dff.audio = audio;
  const std::string dff_path = dir.file(std::string(label) + ".dff");
  writeFile(dff_path, buildDff(dff));
  measure<sonara::dsdiff::Dalfin>("DSDIFF", label, dff_path, seconds);
  std::remove(dff_path.c_str());
}

}  // namespace

int main() {
  sonara::platform::setLogSink([](const char*, void*) {}, nullptr);
  TempDir dir;
  run("DSD64", 2822400, 30.0, dir);
  run("DSD256", 11289600, 30.0, dir);
  std::printf("\ndecode/read() time ratio, DoP words\n%-8s %7s %7s\n", "", "DSD64", "DSD256");
  for (const char* format : {"DSF", "DSDIFF"}) {
    std::printf("%-8s %7.2f %7.2f\n", format, g_ratios[format]["DSD64"], g_ratios[format]["DSD256"]);
  }
  return 0;
}
