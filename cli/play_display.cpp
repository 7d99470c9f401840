#include "cli/play_display.h"

#include <cstdio>

namespace pelmora::cli {

namespace {
// Up to `decimals` decimals, trailing zeros dropped.
std::string trimmed(double value, int decimals) {
  char text[32];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  std::string s = text;
  if (s.find('.') != std::string::npos) {
    while (s.back() == '0') s.pop_back();
    if (s.back() == '.') s.pop_back();
  }
  return s;
}
}  // namespace

std::string formatRate(double hz) {
  if (hz >= 1e6) return trimmed(hz / 1e6, 4) + " MHz";
  return trimmed(hz / 1e3, 1) + " kHz";
}

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
