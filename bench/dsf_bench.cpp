// DSF decoding throughput against plain read() of the same file, in the same run.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <vector>

#include "bench/bench_util.h"
#include "bench/decode_all.h"
#include "platform/log.h"
#include "plugins/dsf/selvet.h"
#include "support/dsf_writer.h"
#include "support/temp_dir.h"

namespace {

// Reads the whole file as the decoder does, dropping its pages behind it.
void plainRead(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDONLY);
  std::vector<char> buf(1 << 16);
  off_t at = 0;
  ssize_t n;
  while ((n = ::read(fd, buf.data(), buf.size())) > 0) {
    ::posix_fadvise(fd, at, n, POSIX_FADV_DONTNEED);
    at += n;
  }
  ::close(fd);
}


void run(const char* label, uint32_t frequency, double seconds, const TempDir& dir) {
  DsfSetup setup;
  setup.frequency = frequency;
  setup.audio = patternAudio(2, static_cast<size_t>(frequency / 8 * seconds));
  std::string path = dir.file(std::string(label) + ".dsf");
  writeFile(path, buildDsf(setup));
  int fd = ::open(path.c_str(), O_RDONLY);
  ::fsync(fd);
  ::close(fd);

  uint64_t values = 0;
  double decode_s = bestSecondsOf(3, [&] { values = decodeAll<sonara::dsf::Selvet>(path); });
  double read_s = bestSecondsOf(3, [&] { plainRead(path); });
  std::printf("%-7s %5.1f s of audio: %.3g DoP values/s, %.0fx real time, "
              "decode/read() time ratio %.2f (decode %.3f s, read() %.3f s)\n",
              label, seconds, values / decode_s, seconds / decode_s, decode_s / read_s, decode_s,
              read_s);
}

}  // namespace

int main() {
  sonara::platform::setLogSink([](const char*, void*) {}, nullptr);
  TempDir dir;
  run("DSD64", 2822400, 30.0, dir);
  run("DSD256", 11289600, 30.0, dir);
  return 0;
}
