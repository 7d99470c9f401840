#include "app/controller/status_texts.h"

#include <algorithm>
#include <cstdio>
#include <iterator>

namespace pelmora::app {

namespace {

// The byte length of the first `count` UTF-8 characters of `text` (all of it when
// shorter). A stray byte counts as one character.
size_t utf8Prefix(const std::string& text, size_t count) {
  size_t at = 0;
  for (size_t n = 0; n < count && at < text.size(); ++n) {
    ++at;
    while (at < text.size() && (static_cast<unsigned char>(text[at]) & 0xC0) == 0x80) ++at;
  }
  return at;
}

}  // namespace

std::string skippedMessage(const std::string& title) {
  constexpr size_t kShown = 18;
  const size_t cut = utf8Prefix(title, kShown);
  const bool longer = utf8Prefix(title, kShown + 1) > cut;
  return "\"" + title.substr(0, cut) + (longer ? "..." : "") + "\" has been skipped.";
}

long long roundedSeconds(double seconds) {
  if (!(seconds > 0)) return 0;  // also NaN
  constexpr double kLargest = 9.0e15;  // far beyond any track, still exact in a double
  return static_cast<long long>(std::min(seconds + 0.5, kLargest));
}

std::string durationText(double seconds) {
  const long long whole = roundedSeconds(seconds);
  char text[48];
  std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", whole / 3600, whole / 60 % 60, whole % 60);
  return text;
}

std::string timeStatusText(bool playing, double track_duration, double track_remain, double playlist_total) {
  if (playing && track_duration == 0) return "total " + durationText(playlist_total);
  return "track remain " + durationText(track_remain) + "/total " + durationText(playlist_total);
}

std::string errorPanelEntry(const std::string& message, const std::string& file_name) {
  return file_name.empty() ? message + "\n\n" : message + "\n" + file_name + "\n\n";
}

int formatLightIndex(const std::string& ext_name) {
  for (size_t i = 0; i < std::size(kFormatLightNames); ++i) {
    if (ext_name == kFormatLightNames[i]) return static_cast<int>(i);
  }
  return -1;
}

}  // namespace pelmora::app
