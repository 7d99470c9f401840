// RAM play mode measured against streaming, in one run:
//  - how fast a track decodes into memory (times real time) and how much memory it
//    then holds per minute of audio, for a 10-minute FLAC 24/192 and a 10-minute
//    DSD256 DSF (sent as DoP);
//  - the CPU per second of audio while playing from memory, against streaming the
//    same file (20 s, on a device paced like hardware).
// Each measurement runs in a process of its own so that its memory is its own.
// `ram_bench MINUTES` decodes shorter or longer tracks.
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "bench/bench_engine.h"
#include "bench/bench_util.h"
#include "platform/log.h"
#include "support/byte_output.h"
#include "support/dsf_writer.h"
#include "support/flac_fixtures.h"
#include "support/temp_dir.h"

namespace {

// Resident memory now, MiB.
double residentMiB() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmRSS:", 0) == 0) return std::strtod(line.c_str() + 6, nullptr) / 1024.0;
  }
  return 0;
}

// Child: decodes the file into memory and says how fast and how much it holds.
int decodeChild(const char* label, const std::string& path, double audio_seconds) {
  BenchEngine engine("freewheel", true);
  if (!engine.ok() || !engine.add(path)) return 1;
  const double before = residentMiB();
  bool played = false;
  const double wall = secondsOf([&] { played = engine.play(); });
  const double held = residentMiB() - before;
  engine.stop();
  if (!played || engine.failed()) {
    std::printf("%-22s FAILED\n", label);
    return 1;
  }
  std::printf("%-22s decoded %.0f s of audio in %.2f s: %.1fx real time; holds %.0f MiB, %.1f MiB per minute\n",
              label, audio_seconds, wall, audio_seconds / wall, held, held / (audio_seconds / 60));
  return 0;
}

// Child: plays the file to its end and prints the CPU seconds per second of audio
// spent while it sounds (in RAM play mode, after its decode).
int playChild(const std::string& path, bool ram, double audio_seconds) {
  BenchEngine engine("realtime", ram);
  if (!engine.ok() || !engine.add(path)) return 1;
  double before = cpuSeconds();
  if (!engine.play()) return 1;
  if (ram) before = cpuSeconds();
  if (!engine.playsToTheEnd(audio_seconds + 30) || engine.failed()) return 1;
  std::printf("%.6f\n", (cpuSeconds() - before) / audio_seconds);
  return 0;
}

std::string self() { return "/proc/" + std::to_string(getpid()) + "/exe"; }

int runChild(const std::string& arguments) {
  std::fflush(stdout);
  return std::system((self() + " " + arguments).c_str());
}

double cpuPerSecondOf(const std::string& path, bool ram) {
  FILE* out = popen((self() + " play " + path + (ram ? " 1" : " 0")).c_str(), "r");
  if (!out) return -1;
  double value = -1;
  if (std::fscanf(out, "%lf", &value) != 1) value = -1;
  return pclose(out) == 0 ? value : -1;
}

}  // namespace

int main(int argc, char** argv) {
  sonara::platform::setLogSink([](const char*, void*) {}, nullptr);
  if (argc == 5 && std::string(argv[1]) == "decode") return decodeChild(argv[2], argv[3], std::atof(argv[4]));
  if (argc == 4 && std::string(argv[1]) == "play") return playChild(argv[2], std::atoi(argv[3]) != 0, 20);

  const double minutes = argc == 2 ? std::atof(argv[1]) : 10;
  const double seconds = minutes * 60;
  TempDir dir;
  std::printf("Making a %.0f-minute FLAC 24/192 and DSD256 DSF...\n", minutes);
  std::fflush(stdout);
  const std::string flac = makeFlac(dir.path(), "hires", {192000, 24, 2, seconds, {}});
  std::remove(dir.file("hires.wav").c_str());
  std::string dsf = dir.file("dsd256.dsf");
  {
    DsfSetup dsd;
    dsd.frequency = 11289600;
    dsd.audio = patternAudio(2, static_cast<size_t>(11289600 / 8 * seconds));
    writeFile(dsf, buildDsf(dsd));
  }
  if (flac.empty()) return 1;

  runChild("decode 'FLAC 24/192' " + flac + " " + std::to_string(seconds));
  runChild("decode 'DSF DSD256 as DoP' " + dsf + " " + std::to_string(seconds));

  const std::string short_flac = makeFlac(dir.path(), "short", {192000, 24, 2, 20, {}});
  DsfSetup dsd;
  dsd.frequency = 11289600;
  dsd.audio = patternAudio(2, static_cast<size_t>(11289600 / 8 * 20));
  const std::string short_dsf = dir.file("short.dsf");
  writeFile(short_dsf, buildDsf(dsd));
  for (const auto& [label, path] : {std::pair{"FLAC 24/192", short_flac}, std::pair{"DSF DSD256 as DoP", short_dsf}}) {
    const double streaming = cpuPerSecondOf(path, false);
    const double memory = cpuPerSecondOf(path, true);
    if (streaming <= 0 || memory <= 0) {
      std::printf("%-22s playing FAILED\n", label);
      continue;
    }
    std::printf("%-22s CPU per s of audio: streaming %.4f s, from memory %.4f s (%.2fx streaming)\n", label,
                streaming, memory, memory / streaming);
  }
  return 0;
}
