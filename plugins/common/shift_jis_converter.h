// ShiftJISConverter: repairs tag text that was stored in another encoding (Shift-JIS
// above all) in a frame that declares ISO-8859-1. The tag reader hands such text over
// as UTF-8 of its Latin-1 reading; these functions take that UTF-8 and the raw tag
// bytes, and return new strings.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace sonara::id3 {

// The frame identifiers of ID3v2.3/2.4 and of ID3v2.2, in the order they are looked for.
inline constexpr std::array<std::string_view, 2> kTitleFrameIds{"TIT2", "TT2"};
inline constexpr std::array<std::string_view, 2> kArtistFrameIds{"TPE1", "TP1"};

// Whether the first of `frameIds` found in the raw tag (header included) is a frame
// declared ISO-8859-1 (text-encoding byte 0), the only frames whose text may need
// repair. No tag, no identifiers, none found, or an encoding byte past the end: no.
bool isConvertNeeded(std::span<const uint8_t> rawTag, std::span<const std::string_view> frameIds);

// The stored bytes behind the UTF-8 of a Latin-1 reading: each two-byte sequence
// gives back the one byte it came from; a zero byte ends the text.
std::string convertShiftJISData(std::string_view utf8);

// The text decoded from its recovered bytes in their estimated encoding, or `utf8`
// unchanged when it cannot be a Latin-1 reading or the bytes do not decode.
std::string convertToEstimateStringEncoding(std::string_view utf8);

}  // namespace sonara::id3
