// M3U and M3U8 playlists, the plain lists of paths every other player reads and
// writes: one entry a line, "#EXTINF:<seconds>,<artist> - <title>" before an entry
// naming it, other lines starting with '#' comments or directives.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "engine/playlist/playlist_item_info.h"

namespace sonara::playlist {

// Partial records in the file's order: the absolute path of each local entry
// (relative ones taken against the playlist's folder, "file://" URLs decoded), with
// the title and artist of its #EXTINF line. Network URLs and entries naming other
// playlists or cue sheets are skipped and counted in the log; text that is not UTF-8
// is decoded from its most likely encoding. Nothing when the file cannot be read, is
// too large or is binary.
std::optional<std::vector<PlaylistItemInfoRef>> readM3U(const std::string& path);

// The rows as a UTF-8 playlist with #EXTM3U and #EXTINF lines, written atomically.
// Rows that play a window of a file (cue sheet tracks) cannot be expressed and are
// left out; their count goes to `left_out` (when given) and the log.
bool writeM3U8(const std::string& path, const std::vector<PlaylistItemInfoRef>& rows, size_t* left_out);

}  // namespace sonara::playlist
