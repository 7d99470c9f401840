#include "cli/cli_delegate.h"

#include <cstdio>

#include "engine/api/records.h"

namespace pelmora::cli {

void CliDelegate::songSwitch() {}

void CliDelegate::stateDidChange(int32_t state) { state_ = state; }

void CliDelegate::notifyError(int32_t code, const AudioFileInfo* info) {
  static const char* const kReasons[] = {"the output device went away",
                                         "no output device is selected",
                                         "skipped: the device cannot play it or it failed before",
                                         "decoding failed", "not enough memory to decode it"};
  const char* reason = code >= 0 && code < 5 ? kReasons[code] : "unknown error";
  if (info) {
    std::fprintf(stderr, "pelmora-cli: %s: %s\n", info->fileName().c_str(), reason);
  } else {
    std::fprintf(stderr, "pelmora-cli: %s\n", reason);
  }
}

void CliDelegate::notifyPos(uint32_t, uint32_t) {}

void CliDelegate::checkForLastConnectedDevice() {}

}  // namespace pelmora::cli
