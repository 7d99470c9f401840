// The play engine with the paced clock: 20 s each of a 24/192 FLAC and a DSD128 DSF
// (as DoP and as native DSD in 32-bit words). Prints the engine's CPU time per second
// of audio (getrusage, whole process), the underruns the device counted and the peak
// memory.
#include <sys/resource.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench/bench_util.h"
#include "support/dsf_writer.h"
#include "support/flac_fixtures.h"
#include "support/play_harness.h"
#include "engine/output/device_table.h"
#include "platform/log.h"

namespace {

long peakKiB() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_maxrss;
}


void run(const char* label, const std::string& path, int32_t mode, double seconds) {
  DeviceJson d;
  d.vid = device_info[22].vid;  // PCM, DoP and native DSD in 32-bit words
  d.pid = device_info[22].pid;
  d.formats = {formatJson(0, 24, 4, 2, false, false, 44100, 384000),
               formatJson(0, 32, 4, 2, true, true, 88200, 705600)};
  d.clock = "realtime";
  PlayHarness h(d, Capture::None);
  h.controller_.decode_mode = mode;
  auto record = recordFor(path, 1);
  double before = cpuSeconds();
  bool done = h.playAll({record}, static_cast<int>(seconds) + 30);
  double cpu = cpuSeconds() - before;
  std::printf("%-26s %s: CPU %.4f s per s of audio (%.2f%% of one core), underruns %llu\n", label,
              done ? "played" : "TIMED OUT", cpu / seconds, 100 * cpu / seconds,
              static_cast<unsigned long long>(h.output_.hal_->underruns(1)));
}

}  // namespace

// Each run plays in a process of its own, so its peak memory is its own.
int main(int argc, char** argv) {
  sonara::platform::setLogSink([](const char*, void*) {}, nullptr);
  if (argc == 5 && std::string(argv[1]) == "play") {
    run(argv[2], argv[3], std::atoi(argv[4]), 20);
    std::printf("%-26s peak memory %ld MiB\n", argv[2], peakKiB() / 1024);
    return 0;
  }
  TempDir dir;
  const double seconds = 20;
  FlacSetup hires{192000, 24, 2, seconds, {}};
  std::string flac = makeFlac(dir.path(), "hires", hires);
  DsfSetup dsd;
  dsd.frequency = 5644800;  // DSD128
  dsd.audio = patternAudio(2, static_cast<size_t>(5644800 / 8 * seconds));
  std::string dsf = dir.file("dsd128.dsf");
  writeFile(dsf, buildDsf(dsd));
  std::string self = "/proc/" + std::to_string(getpid()) + "/exe";
  auto child = [&](const char* label, const std::string& path, int mode) {
    std::string cmd = self + " play '" + label + "' " + path + " " + std::to_string(mode);
    std::fflush(stdout);
    return std::system(cmd.c_str());
  };
  child("FLAC 24/192", flac, 0);
  child("DSF DSD128 as DoP", dsf, 0);
  child("DSF DSD128 native DSD32", dsf, 1);
  return 0;
}
