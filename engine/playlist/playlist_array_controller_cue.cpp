// Cue sheets turned into partial playlist records: one per listed track, a window
// (offset, duration) of its audio file.
#include <cinttypes>
#include <cstdio>
#include <optional>
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

// A track placed in a file: where it starts there, in CD frames.
struct PlacedTrack {
  const CueTrack* track;
  int64_t number;
  int64_t start;
};

}  // namespace

// Each track starts at its INDEX 01 and runs to the next track's INDEX 01, so the
// next track's pregap (INDEX 00 on) ends this track rather than being skipped: an
// album played through gives every sample of its files once, in order. The first
// track of a file starts at its INDEX 00 when it has one before its INDEX 01 (a
// hidden intro). The last track of a file has no duration; the model gives it the
// rest of the file. A FILE's tracks are numbered from the FILE's place among the
// files (one FILE, or one FILE per track), or else on from the tracks before it (the
// sheet's running count). A file's last track without an INDEX 01 starts at the
// INDEX 01 at the head of the next FILE (gaps appended to the track before).
std::vector<PlaylistItemInfoRef> PlaylistArrayController::parseCueFile(const std::string& path) {
  const auto cue = CUEParser::cueWithPath(path);
  if (!cue) return {};
  const auto disc_performer = cue->info().find("PERFORMER");
  std::vector<PlaylistItemInfoRef> records;
  std::optional<PlacedTrack> carried;  // the previous FILE's last track, starting in this one
  int64_t running = 1;
  int64_t file_number = 1;
  for (const CueFile& file : cue->files()) {
    std::vector<PlacedTrack> placed;
    if (carried && file.leading_index01 && *file.leading_index01 >= 0) {
      placed.push_back({carried->track, carried->number, *file.leading_index01});
    }
    carried.reset();
    int64_t first_number = file_number;
    auto sorted = sortedTracks(file.tracks, first_number);
    if (sorted.empty() && running != file_number) {
      first_number = running;
      sorted = sortedTracks(file.tracks, first_number);
    }
    if (!sorted.empty()) running = first_number + static_cast<int64_t>(sorted.size());
    for (size_t i = 0; i < sorted.size(); ++i) {
      const CueTrack& track = *sorted[i];
      const int64_t number = first_number + static_cast<int64_t>(i);
      if (!track.index01) {
        // Its audio stays with the track before; only a last track may start later.
        if (i + 1 == sorted.size()) carried = PlacedTrack{&track, number, 0};
        continue;
      }
      if (*track.index01 < 0) continue;
      int64_t start = *track.index01;
      if (placed.empty() && track.index00 && *track.index00 >= 0 && *track.index00 < start) start = *track.index00;
      placed.push_back({&track, number, start});
    }
    std::vector<PlaylistItemInfoRef> built;  // last track first
    std::optional<int64_t> next_start;       // frames
    for (size_t i = placed.size(); i-- > 0;) {
      const CueTrack& track = *placed[i].track;
      const int64_t start = placed[i].start;
      // A track that does not start before the one after it has no window.
      if (next_start && *next_start <= start) continue;
      auto info = std::make_shared<PlaylistItemInfo>();
      info->setFullpath(file.path);
      info->setTitle(track.title ? *track.title : untitledTrack(placed[i].number));
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
        "%s lists no track to play: a FILE line with AUDIO tracks numbered from its place among the files "
        "or on from the tracks before it, each with an INDEX 01, is needed.",
        path.c_str());
  }
  return records;
}
