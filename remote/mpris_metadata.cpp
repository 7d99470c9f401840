#include "remote/mpris_metadata.h"

#include <algorithm>
#include <cctype>
#include <cmath>

#include "engine/api/records.h"
#include "engine/playlist/file_url.h"
#include "platform/text/utf8.h"

namespace pelmora::remote {

std::string trackObjectPath(uint64_t track_id) { return "/org/pelmora/track/" + std::to_string(track_id); }

std::string fileUrl(const std::string& path) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out = "file://";
  for (unsigned char c : path) {
    if (std::isalnum(c) || c == '-' || c == '_' || c == '.' || c == '~' || c == '/') {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

namespace {

bool startsWithNoCase(const std::string& text, const std::string& prefix) {
  if (text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(text[i])) != prefix[i]) return false;
  }
  return true;
}

}  // namespace

std::optional<std::string> pathOfFileUri(const std::string& uri) {
  // Desktops may write the scheme and host in any case, and a query or fragment has no
  // place in a file name; the rest is the playlist's own file URL reading.
  const size_t scheme = startsWithNoCase(uri, "file://localhost/") ? 16 : startsWithNoCase(uri, "file:") ? 5 : 0;
  if (scheme == 0) return std::nullopt;
  const std::string rest = uri.substr(scheme, uri.find_first_of("?#", scheme) - scheme);
  return sonara::playlist::pathFromFileURL((scheme == 16 ? "file://localhost" : "file:") + rest);
}

std::vector<std::string> splitExtensions(const std::string& text) {
  std::vector<std::string> out;
  std::string word;
  auto flush = [&] {
    if (!word.empty() && std::find(out.begin(), out.end(), word) == out.end()) out.push_back(word);
    word.clear();
  };
  for (unsigned char c : text) {
    if (c == ',' || std::isspace(c)) {
      flush();
    } else if (c != '.') {
      word += static_cast<char>(std::tolower(c));
    }
  }
  flush();
  return out;
}

std::vector<std::string> mimeTypesOf(const std::vector<std::string>& extensions) {
  struct Known {
    const char* extension;
    std::vector<const char*> types;
  };
  static const Known kKnown[] = {
      {"dsf", {"audio/dsf", "audio/x-dsf"}},
      {"dff", {"audio/dff", "audio/x-dff"}},
      {"flac", {"audio/flac", "audio/x-flac"}},
      {"wav", {"audio/wav", "audio/x-wav"}},
      {"aif", {"audio/aiff", "audio/x-aiff"}},
      {"aiff", {"audio/aiff", "audio/x-aiff"}},
      {"aifc", {"audio/x-aifc"}},
      {"mp3", {"audio/mpeg"}},
      {"m4a", {"audio/mp4", "audio/x-m4a"}},
  };
  std::vector<std::string> out;
  for (const auto& extension : extensions) {
    for (const auto& known : kKnown) {
      if (extension != known.extension) continue;
      for (const char* type : known.types) {
        if (std::find(out.begin(), out.end(), type) == out.end()) out.emplace_back(type);
      }
    }
  }
  return out;
}

TrackMetadata metadataOf(const AudioFileInfo* info) {
  TrackMetadata m;
  if (!info || info->trackID() == 0) return m;
  m.track_path = trackObjectPath(info->trackID());
  const double seconds = info->durationBySec();
  m.length_us = std::isfinite(seconds) && seconds > 0 ? static_cast<int64_t>(std::llround(seconds * 1e6)) : 0;
  // The bus takes UTF-8 only: a tag's stray byte is read as Latin-1.
  m.title = sonara::text::validUtf8(info->titleName());
  m.artist = sonara::text::validUtf8(info->artistName());
  if (!info->fileName().empty()) m.url = fileUrl(info->fileName());
  return m;
}

}  // namespace pelmora::remote
