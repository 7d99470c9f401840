// Reads arbitrary bytes as a cue sheet and turns it into playlist records; every
// record must be a window of its file that the player can seek to.
#include <cstdio>
#include <cstdlib>

#include "engine/playlist/playlist_array_controller.h"
#include "fuzz/fuzz_input_file.h"
#include "platform/log.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  sonara::platform::setLogSink([](const char*, void*) {}, nullptr);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzInputFile input(data, size);
  if (!input.ok()) return 0;
  for (const auto& record : PlaylistArrayController::parseCueFile(input.path())) {
    const bool has_duration = record->has(TABLE_KEY_DURATION);
    if (record->fullpath().empty() || record->fullpath()[0] != '/' || record->offset() < 0 ||
        (has_duration && record->duration() <= 0)) {
      std::fprintf(stderr, "bad record: path %s offset %f duration %f\n", record->fullpath().c_str(),
                   record->offset(), record->duration());
      std::abort();
    }
  }
  return 0;
}
