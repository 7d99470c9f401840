// Cue sheet reading: 1,000 album sheets of 12 tracks each (about 1.5 KB) turned into
// playlist records, in UTF-8 and in legacy encodings (Shift-JIS, Windows-1252: the
// encoding estimate runs), beside reading the same files' bytes alone.
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "bench/bench_util.h"
#include "engine/playlist/playlist_array_controller.h"
#include "platform/atomic_file.h"
#include "platform/log.h"
#include "support/temp_dir.h"

namespace {

constexpr int kSheets = 1000;
constexpr int kTracks = 12;

// One album sheet; `title` and `performer` are raw bytes in the sheet's encoding.
std::string albumSheet(int album, const std::string& title, const std::string& performer) {
  std::string text = "REM GENRE Rock\r\nREM DATE 1999\r\nREM DISCID 9A0B7C0C\r\nREM COMMENT \"ExactAudioCopy v1.6\"\r\n";
  text += "PERFORMER \"" + performer + "\"\r\nTITLE \"" + title + " " + std::to_string(album) + "\"\r\n";
  text += "FILE \"" + title + ".flac\" WAVE\r\n";
  for (int t = 1; t <= kTracks; ++t) {
    char track[256];
    const int minutes = (t - 1) * 4;
    std::snprintf(track, sizeof track,
                  "  TRACK %02d AUDIO\r\n    TITLE \"%s %d\"\r\n    PERFORMER \"%s\"\r\n    ISRC GBAYE0000%03d\r\n"
                  "    INDEX 00 %02d:%02d:%02d\r\n    INDEX 01 %02d:%02d:%02d\r\n",
                  t, title.c_str(), t, performer.c_str(), t, minutes, 0, 0, minutes, 2, 0);
    text += track;
  }
  return text;
}

std::vector<std::string> writeSheets(const TempDir& dir, const std::string& prefix, const std::string& title,
                                     const std::string& performer) {
  std::vector<std::string> paths;
  for (int i = 0; i < kSheets; ++i) {
    paths.push_back(dir.file(prefix + std::to_string(i) + ".cue"));
    std::ofstream(paths.back(), std::ios::binary) << albumSheet(i, title, performer);
  }
  return paths;
}

void measure(const char* what, const std::vector<std::string>& paths) {
  size_t records = 0, bytes = 0;
  const double read_s = bestSecondsOf(5, [&] {
    bytes = 0;
    for (const auto& p : paths) bytes += sonara::platform::readWholeFile(p)->size();
  });
  const double parse_s = bestSecondsOf(5, [&] {
    records = 0;
    for (const auto& p : paths) records += PlaylistArrayController::parseCueFile(p).size();
  });
  std::printf("%-36s %zu records from %zu KB: %.0f sheets/s (%.3f s; %.1f us/sheet); reading the bytes alone "
              "%.0f sheets/s; parse/read time ratio %.1f\n",
              what, records, bytes / 1024, paths.size() / parse_s, parse_s, parse_s / paths.size() * 1e6,
              paths.size() / read_s, parse_s / read_s);
}

}  // namespace

int main() {
  sonara::platform::setLogSink([](const char*, void*) {}, nullptr);
  TempDir dir;
  measure("1000 sheets, UTF-8:", writeSheets(dir, "utf8-", "Ágætis byrjun", "Sigur Rós"));
  measure("1000 sheets, Shift-JIS:",
          writeSheets(dir, "sjis-", "\x93\x8c\x8b\x9e\x82\xb3\x82\xad\x82\xe7", "\x83\x68\x83\x89\x83\x53\x83\x93"));
  measure("1000 sheets, Windows-1252:", writeSheets(dir, "cp1252-", "Caf\xE9 del Mar", "Sigur R\xF3s"));
  return 0;
}
