// What the desktop is told of the playing track, and how paths, track IDs and the
// plug-ins' extensions are named on the bus.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class AudioFileInfo;

namespace pelmora::remote {

// The track ID that means "no track".
inline constexpr char kNoTrackPath[] = "/org/mpris/MediaPlayer2/TrackList/NoTrack";

struct TrackMetadata {
  std::string track_path = kNoTrackPath;  // mpris:trackid
  int64_t length_us = 0;                  // mpris:length; 0: not known
  std::string title;                      // xesam:title
  std::string artist;                     // xesam:artist (one name; empty: none)
  std::string url;                        // xesam:url

  bool hasTrack() const { return track_path != kNoTrackPath; }
};

// "/org/pelmora/track/42" for the playlist row whose track ID is 42.
std::string trackObjectPath(uint64_t track_id);
// "file:///music/a%20b.flac": every byte but the unreserved ones and '/' escaped.
std::string fileUrl(const std::string& path);
// The absolute path a file: URI names ("file:///x", "file://localhost/x"), escapes
// undone; nothing for another scheme, another host or a malformed escape.
std::optional<std::string> pathOfFileUri(const std::string& uri);
// "dsf, dff" (as a plug-in lists its extensions) as {"dsf", "dff"}, in lower case.
std::vector<std::string> splitExtensions(const std::string& text);
// The MIME types desktops use for files of these extensions, each once.
std::vector<std::string> mimeTypesOf(const std::vector<std::string>& extensions);
// The playing track as the engine describes it; no track for null.
TrackMetadata metadataOf(const AudioFileInfo* info);

}  // namespace pelmora::remote
