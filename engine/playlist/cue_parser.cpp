#include "engine/playlist/cue_parser.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <limits>
#include <span>
#include <utility>

#include "platform/atomic_file.h"
#include "platform/log.h"
#include "platform/text/string_encoding.h"
#include "platform/text/utf8.h"

namespace sonara::playlist {
namespace {

struct ByteOrderMark {
  std::string_view bytes;
  const char* encoding;
};

// The UTF-32 marks first: FF FE also begins the UTF-32LE one.
constexpr ByteOrderMark kMarks[] = {
    {std::string_view("\xFF\xFE\0\0", 4), "UTF-32LE"},
    {std::string_view("\0\0\xFE\xFF", 4), "UTF-32BE"},
    {std::string_view("\xEF\xBB\xBF", 3), "UTF-8"},
    {std::string_view("\xFF\xFE", 2), "UTF-16LE"},
    {std::string_view("\xFE\xFF", 2), "UTF-16BE"},
};

// UTF-16 saved without its mark: text made of ASCII has a zero byte in every other
// position, which would otherwise pass as (useless) UTF-8.
const char* unmarkedUtf16(std::string_view bytes) {
  if (bytes.size() < 2 || bytes.size() % 2 != 0) return nullptr;
  size_t even_zeros = 0, odd_zeros = 0;
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (bytes[i] == '\0') ++(i % 2 ? odd_zeros : even_zeros);
  }
  const size_t units = bytes.size() / 2;
  if (even_zeros == 0 && odd_zeros * 2 >= units) return "UTF-16LE";
  if (odd_zeros == 0 && even_zeros * 2 >= units) return "UTF-16BE";
  return nullptr;
}

}  // namespace

std::optional<std::string> decodeCueSheetText(std::string_view bytes, std::string* why) {
  for (const auto& mark : kMarks) {
    if (!bytes.starts_with(mark.bytes)) continue;
    const std::string_view body = bytes.substr(mark.bytes.size());
    std::optional<std::string> text;
    if (std::strcmp(mark.encoding, "UTF-8") == 0) {
      if (sonara::text::isValidUtf8(body)) text = std::string(body);
    } else {
      text = sonara::text::decodeToUtf8(body, mark.encoding);
    }
    if (!text) *why = std::string("the text is not valid ") + mark.encoding + " after its " + mark.encoding +
                      " byte-order mark";
    return text;
  }
  if (bytes.find('\0') != std::string_view::npos) {
    if (const char* encoding = unmarkedUtf16(bytes)) {
      if (auto text = sonara::text::decodeToUtf8(bytes, encoding)) return text;
    }
    *why = "it holds NUL bytes: not a text file";
    return std::nullopt;
  }
  if (sonara::text::isValidUtf8(bytes)) return std::string(bytes);
  const std::string encoding = sonara::text::estimateStringEncoding(bytes);
  if (auto text = sonara::text::decodeToUtf8(bytes, encoding.c_str())) return text;
  *why = "its text encoding cannot be recognised";
  return std::nullopt;
}

}  // namespace sonara::playlist

namespace {

using Line = std::string_view;
using Lines = std::span<const Line>;

// Pieces between line breaks, empty ones dropped: LF, VT, FF, CR, NEL (U+0085) and
// the Unicode line and paragraph separators (U+2028, U+2029). A CR LF pair thus
// gives no line of its own. `text` is valid UTF-8, so the multi-byte breaks cannot
// be parts of other characters.
std::vector<Line> splitLines(std::string_view text) {
  std::vector<Line> lines;
  size_t start = 0;
  const auto cut = [&](size_t at, size_t break_length) {
    if (at > start) lines.push_back(text.substr(start, at - start));
    start = at + break_length;
  };
  for (size_t i = 0; i < text.size();) {
    const auto b = static_cast<unsigned char>(text[i]);
    size_t break_length = 0;
    if (b >= 0x0A && b <= 0x0D) {
      break_length = 1;
    } else if (b == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) == 0x85) {
      break_length = 2;
    } else if (b == 0xE2 && i + 2 < text.size() && static_cast<unsigned char>(text[i + 1]) == 0x80 &&
               (static_cast<unsigned char>(text[i + 2]) == 0xA8 || static_cast<unsigned char>(text[i + 2]) == 0xA9)) {
      break_length = 3;
    }
    if (break_length) {
      cut(i, break_length);
      i += break_length;
    } else {
      ++i;
    }
  }
  cut(text.size(), 0);
  return lines;
}

// Words are separated by U+0020 alone: a tab belongs to the word it touches.
size_t skipSpaces(Line line, size_t from) {
  while (from < line.size() && line[from] == ' ') ++from;
  return from;
}

size_t detectNextSpace(Line line, size_t from) {
  const size_t at = line.find(' ', from);
  return at == Line::npos ? line.size() : at;
}

// The first word; empty for a line made only of spaces.
std::string_view firstItem(Line line) {
  const size_t begin = skipSpaces(line, 0);
  return line.substr(begin, detectNextSpace(line, begin) - begin);
}

struct TwoParts {
  std::string_view first, rest;
};
struct ThreeParts {
  std::string_view first, second, rest;
};

// The first word and the rest of the line after the spaces that follow it (inner
// and trailing spaces kept).
std::optional<TwoParts> split2(Line line) {
  const size_t begin = skipSpaces(line, 0);
  const size_t end = detectNextSpace(line, begin);
  const size_t rest = skipSpaces(line, end);
  if (begin == end || rest == line.size()) return std::nullopt;
  return TwoParts{line.substr(begin, end - begin), line.substr(rest)};
}

std::optional<ThreeParts> split3(Line line) {
  const size_t begin = skipSpaces(line, 0);
  const size_t end = detectNextSpace(line, begin);
  const size_t second = skipSpaces(line, end);
  const size_t second_end = detectNextSpace(line, second);
  const size_t rest = skipSpaces(line, second_end);
  if (begin == end || second == second_end || rest == line.size()) return std::nullopt;
  return ThreeParts{line.substr(begin, end - begin), line.substr(second, second_end - second), line.substr(rest)};
}

// "value" → value; anything else, including "value" followed by a space, as it is.
std::string_view cropDoubleQuatation(std::string_view value) {
  if (value.size() >= 2 && value.front() == '"' && value.back() == '"') return value.substr(1, value.size() - 2);
  return value;
}

// A decimal integer the way cue sheets are written by hand: leading spaces and a
// sign accepted, reading stops at the first other character, no digits read as 0;
// held within 32 bits so that the frame arithmetic cannot overflow.
int64_t intValue(std::string_view text) {
  size_t i = skipSpaces(text, 0);
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  constexpr int64_t kLimit = std::numeric_limits<int32_t>::max();
  int64_t value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = std::min(kLimit + 1, value * 10 + (text[i] - '0'));
  }
  return negative ? -value : std::min(value, kLimit);
}

// A disc or track value: "TITLE Rest of the line".
std::optional<std::string> parseInfo2(Line line) {
  const auto parts = split2(line);
  if (!parts) return std::nullopt;
  return std::string(cropDoubleQuatation(parts->rest));
}

// "REM KEY value": the key and its value.
std::optional<std::pair<std::string, std::string>> parseInfo3(Line line) {
  const auto parts = split3(line);
  if (!parts) return std::nullopt;
  return std::pair{std::string(parts->second), std::string(cropDoubleQuatation(parts->rest))};
}

// `FILE "name" TYPE`: the name between the first and the last double quote, made
// absolute against the sheet's folder. The type word must follow; its value is not
// checked, since the decoder plug-ins judge the file by what it holds.
std::optional<std::string> parseInfoFILE(Line line, const std::string& dir) {
  const auto parts = split2(line);
  if (!parts) return std::nullopt;
  const std::string_view rest = parts->rest;
  const size_t first = rest.find('"');
  const size_t last = rest.rfind('"');
  if (first == std::string_view::npos || last == first || last + 1 == rest.size()) return std::nullopt;
  const std::string_view name = rest.substr(first + 1, last - first - 1);
  if (name.empty()) return std::nullopt;
  if (name.front() == '/') return std::string(name);
  return dir + "/" + std::string(name);
}

// "TRACK nn AUDIO" numbers the track; a track of another type is kept unnumbered.
void parseTrack(CueTrack& track, Line line) {
  const auto parts = split3(line);
  if (!parts || parts->first != "TRACK" || parts->rest != "AUDIO") return;
  track.number = intValue(parts->second);
}

// "INDEX 00|01 mm:ss:ff", in CD frames of 1/75 second.
void parseINDEX(CueTrack& track, Line line) {
  const auto parts = split3(line);
  if (!parts || parts->first != "INDEX") return;
  int64_t time[3] = {0, 0, 0};
  std::string_view rest = parts->rest;
  for (int64_t& part : time) {
    const size_t colon = rest.find(':');
    part = intValue(rest.substr(0, colon));
    if (colon == std::string_view::npos) break;
    rest.remove_prefix(colon + 1);
  }
  const int64_t frames = (time[0] * 60 + time[1]) * 75 + time[2];
  if (parts->second == "00") {
    track.index00 = frames;
  } else if (parts->second == "01") {
    track.index01 = frames;
  }
}

// The lines of one TRACK block after its TRACK line; FLAGS, ISRC, PREGAP, POSTGAP,
// REM and the rest are passed over.
void parseTRACKITEMS(Lines block, CueTrack& track) {
  for (const Line line : block) {
    const std::string_view word = firstItem(line);
    if (word == "TITLE") {
      if (auto value = parseInfo2(line)) track.title = std::move(*value);
    } else if (word == "PERFORMER") {
      if (auto value = parseInfo2(line)) track.performer = std::move(*value);
    } else if (word == "INDEX") {
      parseINDEX(track, line);
    }
  }
}

// Whether every line has a word; a line of spaces spoils the block it stands in.
bool allLinesHaveWords(Lines block) {
  for (const Line line : block) {
    if (firstItem(line).empty()) return false;
  }
  return true;
}

// Index of the first line from `from` on whose first word is `word`, or the end.
size_t nextLineStarting(Lines lines, size_t from, std::string_view word) {
  while (from < lines.size() && firstItem(lines[from]) != word) ++from;
  return from;
}

// The tracks of a FILE block; of the lines before the first TRACK line only an
// INDEX 01 is kept (the previous FILE's last track starting in this one).
std::vector<CueTrack> parseTRACKS(Lines block, std::optional<int64_t>* leading_index01) {
  std::vector<CueTrack> tracks;
  const size_t first = nextLineStarting(block, 0, "TRACK");
  CueTrack head;
  for (const Line line : block.first(first)) {
    if (firstItem(line) == "INDEX") parseINDEX(head, line);
  }
  *leading_index01 = head.index01;
  for (size_t at = first; at < block.size();) {
    const size_t end = nextLineStarting(block, at + 1, "TRACK");
    const Lines items = block.subspan(at + 1, end - at - 1);
    if (allLinesHaveWords(items)) {
      CueTrack track;
      parseTrack(track, block[at]);
      parseTRACKITEMS(items, track);
      tracks.push_back(std::move(track));
    }
    at = end;
  }
  return tracks;
}

std::string folderOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? "." : path.substr(0, slash);
}

// The sheet's bytes; files that are not regular (a FIFO would block the read) or
// larger than a sheet can be are refused before they are opened.
std::optional<std::string> readSheet(const std::string& path, std::string* why) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) {
    *why = std::strerror(errno);
    return std::nullopt;
  }
  if (!S_ISREG(st.st_mode)) {
    *why = "not a regular file";
    return std::nullopt;
  }
  if (static_cast<uint64_t>(st.st_size) > CUEParser::kMaxSheetBytes) {
    *why = std::to_string(st.st_size) + " bytes, more than the " +
           std::to_string(CUEParser::kMaxSheetBytes >> 20) + " MiB a cue sheet may have";
    return std::nullopt;
  }
  errno = 0;
  auto bytes = sonara::platform::readWholeFile(path, CUEParser::kMaxSheetBytes);
  if (!bytes) *why = errno ? std::strerror(errno) : "it cannot be read";
  return bytes;
}

}  // namespace

std::unique_ptr<CUEParser> CUEParser::cueWithPath(const std::string& path) {
  auto parser = std::make_unique<CUEParser>();
  if (!parser->openByPath(path)) return nullptr;
  return parser;
}

std::vector<std::string> CUEParser::audioFilesNamedBy(const std::string& path) {
  CUEParser parser;
  parser.quiet_ = true;
  std::vector<std::string> named;
  if (!parser.openByPath(path)) return named;
  for (const CueFile& file : parser.files_) named.push_back(file.path);
  return named;
}

bool CUEParser::openByPath(const std::string& given) {
  std::error_code error;
  const std::filesystem::path made_absolute = std::filesystem::absolute(given, error);
  const std::string path = error ? given : made_absolute.string();
  const auto failed = [&](const std::string& why) {
    if (!quiet_) sonara::platform::logLine("File Open Failed.%s", (path + ": " + why).c_str());
    return false;
  };
  std::string why;
  const auto bytes = readSheet(path, &why);
  if (!bytes) return failed(why);
  const auto text = sonara::playlist::decodeCueSheetText(*bytes, &why);
  if (!text) return failed(why);
  const std::vector<Line> all_lines = splitLines(*text);
  if (all_lines.empty()) return failed("the sheet holds no lines");

  const Lines lines(all_lines);
  const std::string dir = folderOf(path);
  std::map<std::string, std::string, std::less<>> info;
  std::vector<CueFile> files;
  for (size_t at = 0; at < lines.size();) {
    const Line line = lines[at];
    const std::string_view word = firstItem(line);
    if (word == "REM") {
      if (auto entry = parseInfo3(line)) info[std::move(entry->first)] = std::move(entry->second);
    } else if (word == "PERFORMER" || word == "TITLE") {
      if (auto value = parseInfo2(line)) info[std::string(word)] = std::move(*value);
    } else if (word == "FILE") {
      // A FILE block runs to the next FILE line. A rejected FILE line, or a block
      // spoilt by a line of spaces, leaves its lines to be read as sheet lines.
      if (auto name = parseInfoFILE(line, dir)) {
        const size_t end = nextLineStarting(lines, at + 1, "FILE");
        const Lines block = lines.subspan(at + 1, end - at - 1);
        if (allLinesHaveWords(block)) {
          CueFile file{std::move(*name), {}, std::nullopt};
          file.tracks = parseTRACKS(block, &file.leading_index01);
          files.push_back(std::move(file));
          at = end;
          continue;
        }
      }
    }
    ++at;
  }
  info_ = std::move(info);
  files_ = std::move(files);
  return true;
}
