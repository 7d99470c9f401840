// DSF and DSDIFF decoding throughput, each against plain read() of the same file, in
// the same run.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
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

template <typename DecoderType>
void measure(const char* format, const char* label, const std::string& path, double seconds) {
  int fd = ::open(path.c_str(), O_RDONLY);
  ::fsync(fd);
  ::close(fd);
  uint64_t values = 0;
  double decode_s = bestSecondsOf(3, [&] { values = decodeAll<DecoderType>(path); });
  double read_s = bestSecondsOf(3, [&] { plainRead(path); });
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
  return 0;
}
