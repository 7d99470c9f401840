// Title, artist, album, track and disc numbers, date and comments from an ID3v2 tag,
// as DSD, WAV, AIFF and MP3 files carry them (at the end of a DSF file, in an ID3
// chunk of a DSDIFF, WAV or AIFF file, at the start of an MP3 file).
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace sonara::id3 {

struct TextFrames {
  std::optional<std::string> title;   // "TIT2"
  std::optional<std::string> artist;  // "TPE1"
  std::optional<std::string> description;  // "TIT3"
  std::optional<std::string> album;        // "TALB"
  std::optional<std::string> track;        // "TRCK"
  std::optional<std::string> disc;         // "TPOS"
  std::optional<std::string> date;         // "TDRC", else "TYER"
};

// Reads an ID3v2 tag from its bytes; nothing when they hold no parseable tag.
std::optional<TextFrames> parseID3v2Tag(const std::vector<uint8_t>& bytes);

// The text of the tag's first comment ("COMM") frame of this description, such as
// the "iTunSMPB" gapless comment.
std::optional<std::string> commentText(const std::vector<uint8_t>& bytes, const char* description);

// `length` bytes at `offset` of the file, as many as it holds.
using ByteReader = std::function<std::vector<uint8_t>(uint64_t offset, size_t length)>;

// The ID3v2 tag that starts at `offset` and may run for `available` bytes, reduced to
// its header and the text frames above, read without touching the frames stepped
// over; version 2.2 tags and tags unsynchronised as a whole come whole (up to a
// sane size). Nothing when the bytes there are no tag.
std::optional<std::vector<uint8_t>> readID3v2TextTag(const ByteReader& read, uint64_t offset,
                                                     uint64_t available);

// Reads the text frames of the ID3v2 tag that starts at `offset` and may run for
// `available` bytes, stepping over every other frame without reading it, so that
// cover art of any size beside them costs nothing. Frames, their number and the
// text read are bounded against hostile sizes.
std::optional<TextFrames> readID3v2TextFrames(const ByteReader& read, uint64_t offset,
                                                    uint64_t available);

}  // namespace sonara::id3
