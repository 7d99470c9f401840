#include "engine/playlist/playlist_file.h"

#include <cmath>
#include <cstdint>

#include "engine/api/constants.h"
#include "engine/playlist/file_url.h"

namespace sonara::playlist {
namespace {

// Hundredths of a second, truncated, as an unsigned 32-bit count.
int64_t hundredths(double seconds) {
  const double h = std::trunc(seconds * 100.0);
  if (!(h > 0)) return 0;
  return h >= 4294967295.0 ? 4294967295 : static_cast<int64_t>(h);
}

// A stored time: an unsigned 32-bit count of hundredths of a second.
std::optional<double> storedSeconds(const Value& v) {
  if (!v.isNumber()) return std::nullopt;
  const double h = v.asDouble();
  if (!(h >= 0) || h > 4294967295.0) return std::nullopt;
  return std::trunc(h) / 100.0;
}

// A time: the exact seconds where they are stored and agree with the hundredths
// (the hundredths are what other programs read and edit: when they disagree, the
// hundredths were changed after the write and win); else the hundredths.
std::optional<double> storedTime(const Dict& track, const char* hundredths_key, const char* seconds_key) {
  const auto coarse = storedSeconds(lookup(track, hundredths_key));
  if (!coarse) return std::nullopt;
  const Value& exact = lookup(track, seconds_key);
  if (exact.isNumber()) {
    const double seconds = exact.asDouble();
    if (std::isfinite(seconds) && seconds >= 0 && std::fabs(seconds - *coarse) <= 0.01 + 1e-9) return seconds;
  }
  return coarse;
}

}  // namespace

Dict playlistDictionary(const std::vector<PlaylistItemInfoRef>& rows) {
  Array items;
  Dict tracks;
  for (const auto& row : rows) {
    const uint64_t id = row->track_id();
    items.push_back(Value(Dict{{PLIST_PLAYLISTS__PLAYLIST_ITEMS__00__TARACK_ID_KEY, Value(id)}}));
    tracks[std::to_string(id)] = Value(Dict{
        {PLIST_TRACKS__00__TRACK_ID_KEY, Value(id)},
        {PLIST_TRACKS__00__NAME_KEY, Value(row->title())},
        {PLIST_TRACKS__00__ARTIST_KEY, Value(row->artist())},
        {PLIST_TRACKS__00__LOCATION_KEY, Value(fileURLFromPath(row->fullpath()))},
        {PLIST_TRACKS__00__OPTIONAL_OFFSET, Value(hundredths(row->offset()))},
        {PLIST_TRACKS__00__OPTIONAL_DURATION, Value(hundredths(row->duration()))},
        {kExactOffsetKey, Value(row->offset())},
        {kExactDurationKey, Value(row->duration())},
    });
  }
  Array playlists{Value(Dict{{PLIST_PLAYLISTS__PLAYLIST_ITEMS_KEY, Value(std::move(items))}})};
  return Dict{{PLIST_PLAYLISTS_KEY, Value(std::move(playlists))}, {PLIST_TRACKS_KEY, Value(std::move(tracks))}};
}

std::vector<PlaylistItemInfoRef> recordsFromPlaylistDictionary(const Dict& root) {
  std::vector<PlaylistItemInfoRef> records;
  const auto playlists = root.find(PLIST_PLAYLISTS_KEY);
  const auto tracks = root.find(PLIST_TRACKS_KEY);
  if (playlists == root.end() || !playlists->second.isArray() || tracks == root.end() ||
      !tracks->second.isDict()) {
    return records;
  }
  const Dict& by_id = tracks->second.asDict();
  for (const Value& playlist : playlists->second.asArray()) {
    const Value& items = playlist[PLIST_PLAYLISTS__PLAYLIST_ITEMS_KEY];
    if (!items.isArray()) continue;
    for (const Value& item : items.asArray()) {
      const Value& id = item[PLIST_PLAYLISTS__PLAYLIST_ITEMS__00__TARACK_ID_KEY];
      if (!id.isNumber() || id.asDouble() < 0) continue;
      const auto entry = by_id.find(std::to_string(static_cast<uint64_t>(id.asInt())));
      if (entry == by_id.end() || !entry->second.isDict()) continue;
      const Value& track = entry->second;
      const Value& location = track[PLIST_TRACKS__00__LOCATION_KEY];
      const auto path = location.isString() ? pathFromFileURL(location.asString()) : std::nullopt;
      if (!path || path->empty()) continue;
      auto record = std::make_shared<PlaylistItemInfo>();
      record->setTrack_id(static_cast<uint64_t>(id.asInt()));
      const Value& name = track[PLIST_TRACKS__00__NAME_KEY];
      const Value& artist = track[PLIST_TRACKS__00__ARTIST_KEY];
      // Without a name or artist the file's own tags give them when it is opened.
      if (name.isString()) record->setTitle(name.asString());
      if (artist.isString()) record->setArtist(artist.asString());
      record->setFullpath(*path);
      const Dict& fields = track.asDict();
      if (auto offset = storedTime(fields, PLIST_TRACKS__00__OPTIONAL_OFFSET, kExactOffsetKey)) {
        record->setOffset(*offset);
      }
      if (auto duration = storedTime(fields, PLIST_TRACKS__00__OPTIONAL_DURATION, kExactDurationKey)) {
        record->setDuration(*duration);
      }
      records.push_back(std::move(record));
    }
  }
  return records;
}

}  // namespace sonara::playlist
