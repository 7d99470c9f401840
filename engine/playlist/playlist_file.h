// The playlist as a property-list dictionary: per row its ID, title, artist, file
// location, offset and duration, the rows' order in "Playlists". The same dictionary
// is a playlist file and the last playlist in the user defaults.
#pragma once

#include <string>
#include <vector>

#include "engine/playlist/playlist_item_info.h"
#include "plugin/value.h"

namespace sonara::playlist {

// Beside the hundredths of "Optional Offset Time" and "Optional Duration Time", the
// same times as exact seconds (reals), so that a window read back ends on the sample
// it ended on; readers that do not know these keys pass them over.
inline constexpr char kExactOffsetKey[] = "Optional Offset Seconds";
inline constexpr char kExactDurationKey[] = "Optional Duration Seconds";

sonara::Dict playlistDictionary(const std::vector<PlaylistItemInfoRef>& rows);

// Partial records in the order of every playlist's items, the playlists one after
// another. Items without a track entry, and entries without a usable location, are
// left out; nothing else stops the read.
std::vector<PlaylistItemInfoRef> recordsFromPlaylistDictionary(const sonara::Dict& root);

}  // namespace sonara::playlist
