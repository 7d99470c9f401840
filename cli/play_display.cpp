#include "cli/play_display.h"

#include <cstdio>

#include "platform/text/audio_format_text.h"

namespace pelmora::cli {

std::string formatRate(double hz) { return sonara::text::rateText(hz); }

std::string formatTime(uint32_t s) {
  char text[32];
  if (s >= 3600) {
    std::snprintf(text, sizeof text, "%u:%02u:%02u", s / 3600, s / 60 % 60, s % 60);
  } else {
    std::snprintf(text, sizeof text, "%u:%02u", s / 60, s % 60);
  }
  return text;
}

}  // namespace pelmora::cli
