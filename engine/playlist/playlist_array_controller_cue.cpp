// Cue sheets turned into partial playlist records: one per listed track, a window
// (offset, duration) of its audio file.
#include <cinttypes>
#include <cstdio>
#include <unordered_map>

#include "engine/playlist/cue_parser.h"
#include "engine/playlist/playlist_array_controller.h"
#include "platform/localization.h"
#include "platform/log.h"

namespace {

constexpr double kFramesPerSecond = 75.0;

// "Track 07" through the text lookup. The number is put in by hand rather than by
// printf, so that a translation can never hand printf a conversion it has no
// argument for.
std::string untitledTrack(int64_t number) {
  std::string text = sonara::platform::localizedString("Track %02d");
  char digits[24];
  std::snprintf(digits, sizeof digits, "%02" PRId64, number);
  for (const std::string_view conversion : {"%02d", "%d"}) {
    const size_t at = text.find(conversion);
    if (at == std::string::npos) continue;
    text.replace(at, conversion.size(), digits);
    break;
  }
  return text;
}

// The file's AUDIO tracks numbered `first`, `first` + 1, ... up to the first number
// missing; the first track of a number when several share it.
std::vector<const CueTrack*> sortedTracks(const std::vector<CueTrack>& tracks, int64_t first) {
  std::unordered_map<int64_t, const CueTrack*> by_number;
  for (const CueTrack& track : tracks) {
    if (track.number) by_number.emplace(*track.number, &track);
  }
  std::vector<const CueTrack*> sorted;
  for (int64_t number = first; sorted.size() < tracks.size(); ++number) {
    const auto found = by_number.find(number);
    if (found == by_number.end()) break;
    sorted.push_back(found->second);
  }
  return sorted;
}

}  // namespace

// Each track starts at its INDEX 01 and runs to the next track's INDEX 01, so the
// next track's pregap (INDEX 00 on) ends this track rather than being skipped: an
// album played through gives every sample of its files once, in order. The last
// track of a file has no duration; the model gives it the rest of the file.
std::vector<PlaylistItemInfoRef> PlaylistArrayController::parseCueFile(const std::string& path) {
  const auto cue = CUEParser::cueWithPath(path);
  if (!cue) return {};
  const auto disc_performer = cue->info().find("PERFORMER");
  std::vector<PlaylistItemInfoRef> records;
  int64_t file_number = 1;
  for (const CueFile& file : cue->files()) {
    const auto sorted = sortedTracks(file.tracks, file_number);
    std::vector<PlaylistItemInfoRef> built;  // last track first
    std::optional<int64_t> next_start;       // frames
    for (size_t i = sorted.size(); i-- > 0;) {
      const CueTrack& track = *sorted[i];
      // Without a start the earlier tracks cannot be placed.
      if (!track.index01 || *track.index01 < 0) break;
      const int64_t start = *track.index01;
      // A track that does not start before the one after it has no window.
      if (next_start && *next_start <= start) continue;
      auto info = std::make_shared<PlaylistItemInfo>();
      info->setFullpath(file.path);
      info->setTitle(track.title ? *track.title : untitledTrack(file_number + static_cast<int64_t>(i)));
      if (track.performer) {
        info->setArtist(*track.performer);
      } else if (disc_performer != cue->info().end()) {
        info->setArtist(disc_performer->second);
      }
      info->setOffset(static_cast<double>(start) / kFramesPerSecond);
      if (next_start) info->setDuration(static_cast<double>(*next_start - start) / kFramesPerSecond);
      next_start = start;
      built.push_back(std::move(info));
    }
    records.insert(records.end(), built.rbegin(), built.rend());
    ++file_number;
  }
  if (records.empty()) {
    sonara::platform::logLine(
        "%s lists no track to play: a FILE line with AUDIO tracks numbered from its place among the files, "
        "each with an INDEX 01, is needed.",
        path.c_str());
  }
  return records;
}
