#include "engine/playlist/m3u_playlist.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cmath>
#include <filesystem>
#include <set>
#include <string_view>
#include <utility>

#include "engine/playlist/file_url.h"
#include "platform/atomic_file.h"
#include "platform/log.h"
#include "platform/path_names.h"
#include "platform/text/string_encoding.h"

namespace sonara::playlist {
namespace {

using sonara::platform::logLine;

// Real playlists are a few hundred bytes a track; these bound what a hostile file
// can make the reader hold.
constexpr uintmax_t kMaxPlaylistBytes = 16u << 20;
constexpr size_t kMaxEntries = 200000;

bool startsWithNoCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() &&
         std::equal(prefix.begin(), prefix.end(), text.begin(), [](char a, char b) {
           return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
         });
}

bool isUtf8(std::string_view bytes) { return sonara::text::decodeToUtf8(bytes, "UTF-8").has_value(); }

std::string_view trimmed(std::string_view s) {
  const auto blank = [](char c) { return c == ' ' || c == '\t'; };
  while (!s.empty() && blank(s.front())) s.remove_prefix(1);
  while (!s.empty() && blank(s.back())) s.remove_suffix(1);
  return s;
}

// The file's text as UTF-8 without a byte-order mark; nothing for binary data or
// text no encoding decodes. Players on Windows write .m3u in the system code page.
std::optional<std::string> playlistText(std::string bytes, const std::string& path) {
  std::optional<std::string> text;
  if (bytes.rfind("\xEF\xBB\xBF", 0) == 0) {
    text = bytes.substr(3);
  } else if (bytes.rfind("\xFF\xFE", 0) == 0 || bytes.rfind("\xFE\xFF", 0) == 0) {
    text = sonara::text::decodeToUtf8(bytes, "UTF-16");
    if (text && text->rfind("\xEF\xBB\xBF", 0) == 0) text->erase(0, 3);
  } else if (bytes.find('\0') == std::string::npos) {
    text = isUtf8(bytes) ? std::optional(std::move(bytes))
                         : sonara::text::decodeToUtf8(bytes, sonara::text::estimateStringEncoding(bytes).c_str());
  } else {
    logLine("%s is not a playlist: it holds binary data.", path.c_str());
    return std::nullopt;
  }
  if (!text) {
    logLine("%s is not a playlist: its text cannot be decoded.", path.c_str());
  } else if (text->find('\0') != std::string::npos) {
    logLine("%s is not a playlist: it holds binary data.", path.c_str());
    return std::nullopt;
  }
  return text;
}

// The artist and title of "#EXTINF:<seconds>[ attributes],<artist> - <title>": the
// display text starts at the first comma outside quoted attribute values.
struct TrackName {
  std::string artist;
  std::string title;
};
TrackName trackNameOfExtinf(std::string_view rest) {
  bool quoted = false;
  size_t comma = std::string_view::npos;
  for (size_t i = 0; i < rest.size() && comma == std::string_view::npos; ++i) {
    if (rest[i] == '"') quoted = !quoted;
    if (rest[i] == ',' && !quoted) comma = i;
  }
  if (comma == std::string_view::npos) return {};
  const std::string_view display = trimmed(rest.substr(comma + 1));
  const size_t dash = display.find(" - ");
  if (dash == std::string_view::npos) return {{}, std::string(display)};
  return {std::string(trimmed(display.substr(0, dash))), std::string(trimmed(display.substr(dash + 3)))};
}

// "http://", "rtsp://" and the like; "C:\" and "\\server\" are Windows paths.
bool isNetworkOrWindowsLocation(std::string_view entry) {
  size_t i = 0;
  while (i < entry.size() && (std::isalnum(static_cast<unsigned char>(entry[i])) || entry[i] == '+' ||
                              entry[i] == '-' || entry[i] == '.')) {
    ++i;
  }
  const bool scheme = i >= 1 && std::isalpha(static_cast<unsigned char>(entry[0])) && i < entry.size() &&
                      entry[i] == ':';
  if (scheme && i >= 2 && entry.substr(i + 1, 2) == "//") return true;
  if (scheme && i == 1 && (entry.substr(2, 1) == "\\" || entry.substr(2, 1) == "/")) return true;
  return entry.rfind("\\\\", 0) == 0;
}

// An entry relative to the playlist's folder. Playlists made on Windows separate
// folders with backslashes, which a Linux name may also hold: the name as written
// is kept when it exists.
std::string resolvedRelative(std::string_view entry, const std::string& folder) {
  while (entry.rfind("./", 0) == 0) entry.remove_prefix(2);
  std::string path = folder.ends_with('/') ? folder : folder + "/";
  const size_t folder_end = path.size();
  path += entry;
  if (entry.find('\\') == std::string_view::npos) return path;
  std::error_code ec;
  if (std::filesystem::exists(path, ec)) return path;
  std::replace(path.begin() + static_cast<long>(folder_end), path.end(), '\\', '/');
  return path;
}

bool namesAPlaylist(const std::string& path) {
  static const std::set<std::string> kLists{"m3u", "m3u8", "xml", "cue"};
  return kLists.count(sonara::platform::lowerCaseExtension(path)) > 0;
}

// What the lines of one playlist come to.
struct Entries {
  std::vector<PlaylistItemInfoRef> records;
  size_t not_local = 0;
  size_t lists = 0;
  bool cut = false;
};

Entries entriesOfText(std::string_view text, const std::string& folder) {
  Entries out;
  TrackName pending;
  while (!text.empty()) {
    const size_t end = text.find_first_of("\r\n");
    const std::string_view line = trimmed(text.substr(0, end));
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (line.empty()) continue;
    if (line[0] == '#') {
      if (startsWithNoCase(line, "#EXTINF:")) pending = trackNameOfExtinf(line.substr(8));
      continue;
    }
    TrackName name = std::exchange(pending, {});
    std::optional<std::string> path;
    if (startsWithNoCase(line, "file:")) {
      path = pathFromFileURL("file:" + std::string(line.substr(5)));
    } else if (!isNetworkOrWindowsLocation(line)) {
      path = line[0] == '/' ? std::string(line) : resolvedRelative(line, folder);
    }
    if (!path || path->empty()) {
      ++out.not_local;
      continue;
    }
    if (namesAPlaylist(*path)) {
      ++out.lists;
      continue;
    }
    if (out.records.size() == kMaxEntries) {
      out.cut = true;
      break;
    }
    auto record = std::make_shared<PlaylistItemInfo>();
    record->setFullpath(std::move(*path));
    if (!name.title.empty()) record->setTitle(std::move(name.title));
    if (!name.artist.empty()) record->setArtist(std::move(name.artist));
    out.records.push_back(std::move(record));
  }
  return out;
}

// --- writing

// Tag text as UTF-8 on one line.
std::string displayText(std::string s) {
  if (!isUtf8(s)) {
    s = sonara::text::decodeToUtf8(s, sonara::text::estimateStringEncoding(s).c_str()).value_or("");
  }
  for (char& c : s) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
  }
  return std::string(trimmed(s));
}

// A path a line holds as it is; others (bytes that are not UTF-8, a line break,
// blanks a reader would trim) go as an escaped file URL, which players also read.
std::string entryLine(const std::string& path) {
  const bool plain = !path.empty() && path.front() == '/' && path.back() != ' ' && path.back() != '\t' &&
                     isUtf8(path) && std::none_of(path.begin(), path.end(), [](char c) {
                       return static_cast<unsigned char>(c) < 0x20 || c == 0x7F;
                     });
  return plain ? path : fileURLFromPath(path);
}

std::string extinfLine(const PlaylistItemInfo& row) {
  const double seconds = row.duration();
  const long whole = seconds > 0 ? std::max(1L, std::lround(std::min(seconds, 1e9))) : -1L;
  const std::string title = displayText(row.title());
  const std::string artist = displayText(row.artist());
  std::string display = artist.empty() ? title : artist + " - " + title;
  if (display.empty()) {
    const std::string name = sonara::platform::lastPathComponent(row.fullpath());
    display = displayText(name.substr(0, name.find_last_of('.')));
  }
  return "#EXTINF:" + std::to_string(whole) + "," + display;
}

}  // namespace

std::optional<std::vector<PlaylistItemInfoRef>> readM3U(const std::string& path) {
  std::error_code ec;
  const uintmax_t size = std::filesystem::file_size(path, ec);
  if (!ec && size > kMaxPlaylistBytes) {
    logLine("%s is not read: at %ju bytes it is larger than a playlist may be (%ju bytes).", path.c_str(), size,
            kMaxPlaylistBytes);
    return std::nullopt;
  }
  auto bytes = sonara::platform::readWholeFile(path, kMaxPlaylistBytes);
  if (!bytes) {
    logLine("%s cannot be read.", path.c_str());
    return std::nullopt;
  }
  const auto text = playlistText(std::move(*bytes), path);
  if (!text) return std::nullopt;
  std::filesystem::path full = std::filesystem::absolute(path, ec);
  if (ec) full = path;
  Entries entries = entriesOfText(*text, full.parent_path().string());
  if (entries.not_local > 0) {
    logLine("%s: %zu %s skipped: %s not local files (network URLs or Windows drive paths).", path.c_str(),
            entries.not_local, entries.not_local == 1 ? "entry" : "entries",
            entries.not_local == 1 ? "it is" : "they are");
  }
  if (entries.lists > 0) {
    logLine("%s: %zu %s skipped: %s playlists or cue sheets, which a playlist does not follow.", path.c_str(),
            entries.lists, entries.lists == 1 ? "entry" : "entries", entries.lists == 1 ? "it names" : "they name");
  }
  if (entries.cut) logLine("%s: only its first %zu tracks are read.", path.c_str(), kMaxEntries);
  if (entries.records.empty() && entries.not_local == 0 && entries.lists == 0) {
    logLine("%s lists no tracks.", path.c_str());
  }
  return std::move(entries.records);
}

namespace {

// Whether the row plays less than its whole file: it starts inside it, or ends
// before the file's end (known once the record has been completed from the file).
bool isWindow(const PlaylistItemInfo& row) {
  if (row.offset() > 0) return true;
  const Value whole = row.get(kFileDurationKey);
  return whole.isNumber() && row.duration() > 0 && row.duration() < whole.asDouble();
}

}  // namespace

bool writeM3U8(const std::string& path, const std::vector<PlaylistItemInfoRef>& rows, size_t* left_out) {
  // A file some row plays only part of is a cue sheet's album: none of its rows is
  // the whole file, not even a first track that starts at 0 and stands alone.
  std::set<std::string> windowed;
  for (const auto& row : rows) {
    if (isWindow(*row)) windowed.insert(row->fullpath());
  }
  std::string text = "#EXTM3U\n";
  size_t left = 0;
  for (const auto& row : rows) {
    const std::string file = row->fullpath();
    if (file.empty() || windowed.count(file) > 0) {
      ++left;
      continue;
    }
    text += extinfLine(*row) + "\n" + entryLine(file) + "\n";
  }
  if (left_out) *left_out = left;
  if (left > 0) {
    logLine("%s: %zu %s left out: %s part of a file (cue sheet tracks), which M3U cannot say; the XML "
            "playlist format keeps %s.",
            path.c_str(), left, left == 1 ? "row" : "rows", left == 1 ? "it plays" : "they play",
            left == 1 ? "it" : "them");
  }
  if (auto failure = sonara::platform::writeFileAtomically(path, text, {}, sonara::platform::FileAccess::Shared)) {
    logLine("%s cannot be written: %s", path.c_str(), failure->c_str());
    return false;
  }
  return true;
}

}  // namespace sonara::playlist
