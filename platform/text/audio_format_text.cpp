#include "platform/text/audio_format_text.h"

#include <cmath>
#include <cstdio>

namespace sonara::text {

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

std::string rateText(double hz) {
  if (hz >= 1e6) return trimmed(hz / 1e6, 4) + " MHz";
  return trimmed(hz / 1e3, 1) + " kHz";
}

std::string transportText(const std::string& transport, double rate, uint32_t bits) {
  if (transport == "DSD32" || transport == "DSD16") {
    // DSD64 is 64 x 44.1 kHz, or 64 x 48 kHz in the 48 kHz family.
    const double dsd_rate = rate * bits;
    const long multiple = std::lround(dsd_rate / (std::fmod(dsd_rate, 44100.0) == 0 ? 44100.0 : 48000.0));
    const std::string word = transport == "DSD32" ? "32" : "16";
    return "native DSD" + std::to_string(multiple) + " in " + word + "-bit words (DSD_U" + word + ")";
  }
  return transport + " " + rateText(rate) + " " + std::to_string(bits) + "-bit";
}

}  // namespace sonara::text
