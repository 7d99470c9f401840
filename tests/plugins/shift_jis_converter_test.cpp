#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "plugins/common/shift_jis_converter.h"

using sonara::id3::convertShiftJISData;
using sonara::id3::convertToEstimateStringEncoding;
using sonara::id3::isConvertNeeded;
using sonara::id3::kArtistFrameIds;
using sonara::id3::kTitleFrameIds;

namespace {

// UTF-8 of the Latin-1 reading of `bytes`, as the tag reader hands over the text of a
// frame declared ISO-8859-1: every byte becomes the code point of the same value.
std::string latin1Reading(std::string_view bytes) {
  std::string utf8;
  for (char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    if (b < 0x80) {
      utf8.push_back(static_cast<char>(b));
    } else {
      utf8.push_back(static_cast<char>(0xC0 | (b >> 6)));
      utf8.push_back(static_cast<char>(0x80 | (b & 0x3F)));
    }
  }
  return utf8;
}

// An ID3v2 tag of the given major version holding one text frame per (id, encoding
// byte, text). Sizes are plain bytes: the decision reads only identifiers and
// encoding bytes.
std::vector<uint8_t> tagWithTextFrames(uint8_t version,
                                       std::initializer_list<std::tuple<std::string_view, uint8_t, std::string_view>> frames) {
  std::vector<uint8_t> tag{'I', 'D', '3', version, 0, 0, 0, 0, 0, 0};
  const size_t sizeBytes = version == 2 ? 3 : 4;
  for (const auto& [id, encoding, text] : frames) {
    tag.insert(tag.end(), id.begin(), id.end());
    const size_t size = text.size() + 1;
    for (size_t i = sizeBytes; i-- > 0;) tag.push_back(static_cast<uint8_t>(size >> (8 * i)));
    if (version != 2) tag.insert(tag.end(), {0, 0});  // flags
    tag.push_back(encoding);
    tag.insert(tag.end(), text.begin(), text.end());
  }
  return tag;
}

}  // namespace

TEST(ConvertShiftJISData, RecoversTheBytesOfALatin1Reading) {
  const std::string_view stored = "\x83\x65\x83\x58\x83\x67 Caf\xE9 \x80\xFF";
  EXPECT_EQ(convertShiftJISData(latin1Reading(stored)), stored);
  // U+0083 U+0065 is the Latin-1 reading of the bytes 0x83 0x65 (テ).
  EXPECT_EQ(convertShiftJISData("\xC2\x83" "e"), "\x83" "e");
}

TEST(ConvertShiftJISData, StopsAtAZeroByteAndAtACutOffSequence) {
  EXPECT_EQ(convertShiftJISData(std::string_view("ab\0cd", 5)), "ab");
  EXPECT_EQ(convertShiftJISData("ab\xC3"), "ab");
  EXPECT_EQ(convertShiftJISData(""), "");
}

TEST(ConvertToEstimateStringEncoding, ShiftJISBehindALatin1LabelBecomesJapanese) {
  const std::pair<std::string_view, std::string_view> titles[] = {
      {"\x83\x65\x83\x58\x83\x67", "テスト"},
      {"\x93\x8C\x8B\x9E\x8E\x96\x95\xCF", "東京事変"},
      {"\x82\xB3\x82\xAD\x82\xE7", "さくら"},
  };
  for (const auto& [stored, japanese] : titles) {
    SCOPED_TRACE(std::string(japanese));
    EXPECT_EQ(convertToEstimateStringEncoding(latin1Reading(stored)), japanese);
  }
}

TEST(ConvertToEstimateStringEncoding, PlainLatin1StaysAsItWas) {
  for (std::string_view title : {"Café", "Jürgen Müller", "Señor", "Ñandú", "Straße", "Hello"}) {
    SCOPED_TRACE(std::string(title));
    EXPECT_EQ(convertToEstimateStringEncoding(title), title);
  }
}

TEST(ConvertToEstimateStringEncoding, Utf8BehindALatin1LabelIsDecoded) {
  // A tagger that wrote UTF-8 into a Latin-1 frame: the reading shows "CafÃ©".
  EXPECT_EQ(convertToEstimateStringEncoding(latin1Reading("Caf\xC3\xA9")), "Café");
}

TEST(ConvertToEstimateStringEncoding, TextThatWasNeverALatin1ReadingStays) {
  for (std::string_view text : {"テスト", "Группа крови", "", "Œuvre"}) {
    SCOPED_TRACE(std::string(text));
    EXPECT_EQ(convertToEstimateStringEncoding(text), text);
  }
}

TEST(IsConvertNeeded, AnswersByTheEncodingByteOfTheFrameFound) {
  for (uint8_t version : {3, 4}) {
    SCOPED_TRACE(int(version));
    EXPECT_TRUE(isConvertNeeded(tagWithTextFrames(version, {{"TIT2", 0, "x"}}), kTitleFrameIds));
    EXPECT_FALSE(isConvertNeeded(tagWithTextFrames(version, {{"TIT2", 1, "x"}}), kTitleFrameIds));
    EXPECT_FALSE(isConvertNeeded(tagWithTextFrames(version, {{"TIT2", 3, "x"}}), kTitleFrameIds));
    const auto both = tagWithTextFrames(version, {{"TIT2", 1, "title"}, {"TPE1", 0, "artist"}});
    EXPECT_FALSE(isConvertNeeded(both, kTitleFrameIds));
    EXPECT_TRUE(isConvertNeeded(both, kArtistFrameIds));
  }
}

TEST(IsConvertNeeded, Version2HasSixByteFrameHeaders) {
  EXPECT_TRUE(isConvertNeeded(tagWithTextFrames(2, {{"TT2", 0, "x"}}), kTitleFrameIds));
  EXPECT_FALSE(isConvertNeeded(tagWithTextFrames(2, {{"TT2", 1, "x"}}), kTitleFrameIds));
  EXPECT_TRUE(isConvertNeeded(tagWithTextFrames(2, {{"TT2", 1, "x"}, {"TP1", 0, "y"}}), kArtistFrameIds));
  // Read with a ten-byte header, the byte at +10 of a version-2 frame would be text.
  EXPECT_FALSE(isConvertNeeded(tagWithTextFrames(2, {{"TT2", 1, std::string_view("\0\0\0\0\0", 5)}}),
                               kTitleFrameIds));
}

TEST(IsConvertNeeded, TheFirstIdentifierOfTheListDecides) {
  // Looked for in the list's order, whatever their order in the tag.
  const auto tag = tagWithTextFrames(3, {{"TIT2", 0, "title"}, {"TALB", 1, "album"}});
  constexpr std::array<std::string_view, 2> titleFirst{"TIT2", "TALB"};
  constexpr std::array<std::string_view, 2> albumFirst{"TALB", "TIT2"};
  EXPECT_TRUE(isConvertNeeded(tag, titleFirst));
  EXPECT_FALSE(isConvertNeeded(tag, albumFirst));
}

TEST(IsConvertNeeded, NoTagNoIdentifiersOrNoneFoundIsNo) {
  const auto tag = tagWithTextFrames(3, {{"TALB", 0, "album"}});
  EXPECT_FALSE(isConvertNeeded(tag, kTitleFrameIds));
  EXPECT_FALSE(isConvertNeeded({}, kTitleFrameIds));
  EXPECT_FALSE(isConvertNeeded(tag, {}));
  const std::vector<uint8_t> tiny{'I', 'D', '3'};
  EXPECT_FALSE(isConvertNeeded(tiny, kTitleFrameIds));
}

TEST(IsConvertNeeded, AnIdentifierAtTheVeryEndIsNo) {
  std::vector<uint8_t> tag{'I', 'D', '3', 3, 0, 0, 0, 0, 0, 0};
  for (char c : std::string_view("TIT2")) tag.push_back(static_cast<uint8_t>(c));
  EXPECT_FALSE(isConvertNeeded(tag, kTitleFrameIds));
  // Size and flags present, the encoding byte the tag's last: that one counts.
  tag.resize(tag.size() + 7, 0);
  EXPECT_TRUE(isConvertNeeded(tag, kTitleFrameIds));
  tag.pop_back();
  EXPECT_FALSE(isConvertNeeded(tag, kTitleFrameIds));
}
