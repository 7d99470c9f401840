// What the engine costs while nothing sounds: up with a playlist and never played
// (idle), paused in a track, and stopped after playing, each measured over a window
// (10 s unless an argument says otherwise) as CPU per second of wall time and
// wake-ups (context switches of every thread) per second. A paced device plays the
// track as hardware would; playing itself is measured for reference in the same run.
#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench/bench_engine.h"
#include "bench/bench_util.h"
#include "platform/log.h"
#include "support/flac_fixtures.h"

namespace {

struct Usage {
  double cpu;
  long switches;
};

Usage usageNow() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return {cpuSeconds(), u.ru_nvcsw + u.ru_nivcsw};
}

void measure(const char* what, BenchEngine& engine, double seconds) {
  const Usage before = usageNow();
  engine.runFor(seconds);
  const Usage after = usageNow();
  std::printf("%-26s CPU %.3f%% of a core, %.1f wake-ups per second\n", what,
              100 * (after.cpu - before.cpu) / seconds, static_cast<double>(after.switches - before.switches) / seconds);
}

}  // namespace

int main(int argc, char** argv) {
  sonara::platform::setLogSink([](const char*, void*) {}, nullptr);
  const double window = argc > 1 ? std::atof(argv[1]) : 10;
  TempDir dir;
  const std::string flac = makeFlac(dir.path(), "track", {44100, 16, 2, window * 2 + 10, {}});
  BenchEngine engine("realtime", false);
  if (flac.empty() || !engine.ok() || !engine.add(flac)) {
    std::printf("setting up FAILED\n");
    return 1;
  }
  engine.runFor(1);
  measure("idle (nothing played yet)", engine, window);
  engine.play();
  engine.runFor(2);
  measure("playing FLAC 16/44.1", engine, window);
  engine.pause();
  engine.runFor(1);
  measure("paused", engine, window);
  engine.stop();
  engine.runFor(1);
  measure("stopped", engine, window);
  return 0;
}
