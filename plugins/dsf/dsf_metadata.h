// Title, artist, album, track and disc numbers and date from the ID3v2 tag at the end of a DSF file.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace sonara::dsf {

struct DSFmetadataChunk {
  std::optional<std::string> title;   // "TIT2"
  std::optional<std::string> artist;  // "TPE1"
  std::optional<std::string> description;  // "TIT3"
  std::optional<std::string> album;        // "TALB"
  std::optional<std::string> track;        // "TRCK"
  std::optional<std::string> disc;         // "TPOS"
  std::optional<std::string> date;         // "TDRC", else "TYER"
};

// Reads an ID3v2 tag from its bytes; nothing when they hold no parseable tag.
std::optional<DSFmetadataChunk> parseID3v2Tag(const std::vector<uint8_t>& bytes);

}  // namespace sonara::dsf
