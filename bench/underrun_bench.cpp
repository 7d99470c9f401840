// Whether playback keeps up while the machine is busy: a FLAC 24/192 and a DSF DSD256
// sent as native DSD, each played for a length of time (10 minutes, or the seconds
// given as the argument) on a virtual device paced like hardware with a 20 ms buffer,
// while one spinning process per core, at this process's nice level, keeps every
// core busy. Prints per stream the underruns the device counted (it got no data in
// mid-stream), its late cycles (one began more than a buffer late: a sound card would
// have run dry), the latest a cycle began, and whether the device's IO thread ran
// under SCHED_FIFO.
#include <dirent.h>
#include <sched.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "engine/output/device_table.h"
#include "platform/log.h"
#include "support/dsf_writer.h"
#include "support/flac_fixtures.h"
#include "support/play_harness.h"

namespace {

constexpr double kDsd256 = 11289600;

// One child per core that spins until it is killed (or this process ends).
std::vector<pid_t> busyCores() {
  std::vector<pid_t> children;
  const long cores = std::max(1L, sysconf(_SC_NPROCESSORS_ONLN));
  for (long i = 0; i < cores; ++i) {
    const pid_t pid = fork();
    if (pid == 0) {
      prctl(PR_SET_PDEATHSIG, SIGKILL);
      std::atomic<uint64_t> spins{0};
      for (;;) spins.fetch_add(1, std::memory_order_relaxed);
    }
    if (pid > 0) children.push_back(pid);
  }
  return children;
}

void stop(const std::vector<pid_t>& children) {
  for (pid_t pid : children) kill(pid, SIGKILL);
  for (pid_t pid : children) waitpid(pid, nullptr, 0);
}

// Whether any thread of this process runs under SCHED_FIFO.
bool realtimeThreadRunning() {
  DIR* tasks = opendir("/proc/self/task");
  if (!tasks) return false;
  bool found = false;
  while (dirent* e = readdir(tasks)) {
    const int tid = std::atoi(e->d_name);
    if (tid > 0 && sched_getscheduler(tid) == SCHED_FIFO) found = true;
  }
  closedir(tasks);
  return found;
}

// `device_rate`: the rate the device runs at for the stream, whose 20 ms the device
// takes as its smallest buffer (the engine asks for 20 ms, or for DSD in 32-bit words
// on the system driver less).
void play(const char* label, const std::string& path, int32_t mode, double device_rate, double seconds) {
  DeviceJson d;
  d.vid = device_info[22].vid;  // PCM, DoP and native DSD in 32-bit words
  d.pid = device_info[22].pid;
  d.formats = {formatJson(0, 24, 4, 2, false, false, 44100, 384000),
               formatJson(0, 32, 4, 2, true, true, 88200, 705600)};
  d.clock = "realtime";
  d.min_frames = static_cast<int>(device_rate * 0.02);
  PlayHarness h(d, Capture::None);
  h.controller_.decode_mode = mode;
  h.engine_->addInfo(recordFor(path, 1));
  h.engine_->start();
  h.runUntil([&] { return h.controller_.saw("started:1"); }, 30);
  h.runUntil([] { return false; }, 1);
  const bool fifo = realtimeThreadRunning();
  const bool done = h.runUntil([&] { return h.controller_.saw("finishedAll"); }, static_cast<int>(seconds) + 60);
  // Read before the stop: the mute sequence after the stream's end is not part of it.
  const auto underruns = h.output_.hal_->underruns(1);
  const auto late = h.output_.hal_->lateCycles(1);
  const double worst = h.output_.hal_->worstLateness(1);
  uint32_t frames = 0;
  h.output_.hal_->bufferFrameSize(1, &frames);
  double rate = 0;
  h.output_.hal_->nominalSampleRate(1, &rate);
  h.engine_->stop(true);
  std::printf("%-24s %s %.0f s, buffer %u frames (%.1f ms): underruns %llu, late cycles %llu, latest cycle "
              "%.2f ms late, IO thread %s\n",
              label, done ? "played" : "TIMED OUT after", seconds, frames, rate > 0 ? 1000 * frames / rate : 0,
              static_cast<unsigned long long>(underruns), static_cast<unsigned long long>(late), 1000 * worst,
              fifo ? "SCHED_FIFO" : "at normal priority");
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  sonara::platform::setLogSink([](const char* line, void*) { std::fprintf(stderr, "%s\n", line); }, nullptr);
  const double seconds = argc > 1 ? std::atof(argv[1]) : 600;
  if (!(seconds > 0)) {
    std::fprintf(stderr, "usage: underrun_bench [seconds]\n");
    return 2;
  }
  TempDir dir;
  std::printf("Making %.0f s of FLAC 24/192 and of DSD256...\n", seconds);
  std::fflush(stdout);
  const std::string flac = makeFlac(dir.path(), "hires", {192000, 24, 2, seconds, {}});
  std::remove(dir.file("hires.wav").c_str());
  const std::string dsf = dir.file("dsd256.dsf");
  {
    DsfSetup dsd;
    dsd.frequency = static_cast<uint32_t>(kDsd256);
    dsd.audio = patternAudio(2, static_cast<size_t>(kDsd256 / 8 * seconds));
    writeFile(dsf, buildDsf(dsd));
  }
  if (flac.empty()) {
    std::fprintf(stderr, "sox or flac failed\n");
    return 1;
  }
  const auto spinners = busyCores();
  std::printf("%zu spinning processes at nice %d\n", spinners.size(), nice(0));
  play("FLAC 24/192", flac, 0, 192000, seconds);
  play("DSF DSD256 native DSD32", dsf, 1, kDsd256 / 32, seconds);
  stop(spinners);
  return 0;
}
