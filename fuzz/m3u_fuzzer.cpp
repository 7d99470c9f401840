// Reads arbitrary bytes as an M3U playlist, writes what it found as M3U8 and reads
// that back: every path must survive the round trip unchanged.
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "engine/playlist/m3u_playlist.h"
#include "fuzz/fuzz_input_file.h"
#include "platform/log.h"

namespace {

void quiet(const char*, void*) {}

// The written playlist, on tmpfs where there is one (the atomic write flushes to the
// disk every run); removed after each run, since libFuzzer may end without unwinding.
struct Scratch {
  Scratch() {
    std::error_code ec;
    const bool shm = std::filesystem::is_directory("/dev/shm", ec);
    path = (shm ? std::string("/dev/shm") : std::filesystem::temp_directory_path().string()) + "/m3u-fuzzer-" +
           std::to_string(::getpid()) + ".m3u8";
  }
  std::string path;
};

struct RemovedAfterwards {
  ~RemovedAfterwards() { ::unlink(path.c_str()); }
  const std::string& path;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const Scratch scratch;
  sonara::platform::setLogSink(&quiet, nullptr);
  FuzzInputFile file(data, size);
  if (!file.ok()) return 0;
  const auto records = sonara::playlist::readM3U(file.path());
  if (!records || records->empty()) return 0;
  size_t left_out = 0;
  const RemovedAfterwards removed{scratch.path};
  if (!sonara::playlist::writeM3U8(scratch.path, *records, &left_out)) return 0;
  const auto again = sonara::playlist::readM3U(scratch.path);
  if (!again || again->size() + left_out != records->size()) std::abort();
  for (size_t i = 0; i < again->size(); ++i) {
    if ((*again)[i]->fullpath() != (*records)[i]->fullpath()) std::abort();
  }
  return 0;
}
