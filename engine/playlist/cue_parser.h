// A cue sheet read into the album's values and its audio files with their tracks.
// In: the sheet's path; its bytes are decoded to UTF-8 (a byte-order mark, else
// UTF-8, else the estimated encoding). Out: `info()` (PERFORMER, TITLE and one
// entry per REM line) and `files()` (absolute paths, tracks in sheet order), owned
// by the parser. Only REM, PERFORMER, TITLE, FILE, TRACK and INDEX 00/01 are read;
// a malformed line is ignored on its own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// One TRACK block; a field is set only when its line was read.
struct CueTrack {
  std::optional<int64_t> number;  // tracks of type AUDIO only
  std::optional<std::string> title;
  std::optional<std::string> performer;
  std::optional<int64_t> index00;  // CD frames, 75 per second
  std::optional<int64_t> index01;
};

// One accepted FILE line and the tracks of its block.
struct CueFile {
  std::string path;  // absolute
  std::vector<CueTrack> tracks;
  // An INDEX 01 before the block's first TRACK line: the start, in this file, of the
  // previous FILE's last track (rippers that append gaps to the track before write
  // a track's INDEX 00 in one file and its INDEX 01 at the head of the next).
  std::optional<int64_t> leading_index01;
};

class CUEParser {
 public:
  // Sheets are a few kilobytes; anything larger is refused unread.
  static constexpr size_t kMaxSheetBytes = size_t{1} << 20;

  // A parser holding the sheet, or null when it cannot be read (logged).
  static std::unique_ptr<CUEParser> cueWithPath(const std::string& path);

  // Reads and parses the sheet; false (logged) when it cannot be read or decoded,
  // or holds no lines.
  bool openByPath(const std::string& path);

  // The audio files the sheet's FILE lines name (absolute), read without a log
  // line; empty when the sheet cannot be read.
  static std::vector<std::string> audioFilesNamedBy(const std::string& path);

  const std::vector<CueFile>& files() const { return files_; }
  const std::map<std::string, std::string, std::less<>>& info() const { return info_; }

 private:
  std::map<std::string, std::string, std::less<>> info_;
  std::vector<CueFile> files_;
  bool quiet_ = false;
};

namespace sonara::playlist {

// A sheet's bytes as UTF-8 text, or nothing with the reason in `why`.
std::optional<std::string> decodeCueSheetText(std::string_view bytes, std::string* why);

}  // namespace sonara::playlist
