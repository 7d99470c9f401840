#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "platform/text/string_encoding.h"

using sonara::text::decodeToUtf8;
using sonara::text::estimateStringEncoding;

namespace {

// The bytes as the estimate reads them: decoded with the encoding it chose.
std::string readAsEstimated(std::string_view bytes) {
  return decodeToUtf8(bytes, estimateStringEncoding(bytes).c_str()).value_or("<undecodable>");
}

struct Sample {
  const char* bytes;
  const char* text;  // UTF-8
};

// Shift-JIS (CP932) bytes of Japanese titles, short ones among them on which the
// detector's statistics say nothing or guess a Western code page.
constexpr Sample kShiftJISTitles[] = {
    {"\x83\x65\x83\x58\x83\x67", "テスト"},
    {"\x88\xA4", "愛"},
    {"\x93\x8C\x8B\x9E\x8E\x96\x95\xCF", "東京事変"},
    {"\x82\xB3\x82\xAD\x82\xE7", "さくら"},
    {"\x96\xE9\x82\xC9\x8B\xEC\x82\xAF\x82\xE9", "夜に駆ける"},
    {"\x8D\x67\x98\x40\x89\xD8", "紅蓮華"},
    {"\x8E\x63\x8D\x93\x82\xC8\x93\x56\x8E\x67\x82\xCC\x83\x65\x81\x5B\x83\x5B", "残酷な天使のテーゼ"},
    {"Mr.Children - \x8F\x49\x82\xED\x82\xE8\x82\xC8\x82\xAB\x97\xB7", "Mr.Children - 終わりなき旅"},
};

// Latin-1 titles, and Windows-1252 ones with its quotes, which a Shift-JIS, EUC-JP or
// Mac OS Roman reading would turn into other characters.
constexpr Sample kWesternTitles[] = {
    {"Caf\xE9", "Café"},
    {"J\xFCrgen M\xFCller", "Jürgen Müller"},
    {"Se\xF1or", "Señor"},
    {"\xD1" "and\xFA", "Ñandú"},
    {"Pok\xE9mon", "Pokémon"},
    {"\xC9" "dith Piaf", "Édith Piaf"},
    {"Bj\xF6rk Gu\xF0mundsd\xF3ttir", "Björk Guðmundsdóttir"},
    {"Cr\xE8me br\xFBl\xE9" "e", "Crème brûlée"},
    {"Stra\xDF" "e", "Straße"},
    {"Don\x92t Stop", "Don’t Stop"},
    {"\x8A" "koda", "Škoda"},
    {"\x93Hello\x94 World", "“Hello” World"},
};

}  // namespace

TEST(DecodeToUtf8, DecodesFromTheNamedEncoding) {
  EXPECT_EQ(decodeToUtf8("Caf\xE9", "ISO-8859-1"), "Café");
  EXPECT_EQ(decodeToUtf8("\x83\x65\x83\x58\x83\x67", "CP932"), "テスト");
  EXPECT_EQ(decodeToUtf8("\xA4\xB5\xA4\xAF\xA4\xE9", "EUC-JP"), "さくら");
  EXPECT_EQ(decodeToUtf8(std::string_view("\xFF\xFE" "A\0\xE9\0", 6), "UTF-16"), "Aé");
  EXPECT_EQ(decodeToUtf8("", "UTF-8"), "");
}

TEST(DecodeToUtf8, RefusesInvalidAndCutOffSequences) {
  EXPECT_EQ(decodeToUtf8("\xC3\x28", "UTF-8"), std::nullopt);
  EXPECT_EQ(decodeToUtf8("ab\xE3\x83", "UTF-8"), std::nullopt);  // cut off at the end
  EXPECT_EQ(decodeToUtf8("\x83\x65\x83", "CP932"), std::nullopt);
  EXPECT_EQ(decodeToUtf8("\xC0\x80", "UTF-8"), std::nullopt);  // overlong NUL
  EXPECT_EQ(decodeToUtf8("\x80", "ASCII"), std::nullopt);
  EXPECT_EQ(decodeToUtf8("abc", "UTF-16"), std::nullopt);  // odd length
  EXPECT_EQ(decodeToUtf8("abc", "NO-SUCH-ENCODING"), std::nullopt);
}

TEST(DecodeToUtf8, KeepsEmbeddedNulBytes) {
  EXPECT_EQ(decodeToUtf8(std::string_view("a\0\xE9", 3), "ISO-8859-1"), std::string("a\0é", 4));
}

TEST(DecodeToUtf8, GrowsForOutputLongerThanItsFirstGuess) {
  // One byte becomes three (half-width katakana), past any fixed multiple of the input.
  const std::string bytes(100000, '\xB1');
  std::string expected;
  for (size_t i = 0; i < bytes.size(); ++i) expected += "ｱ";
  const auto decoded = decodeToUtf8(bytes, "CP932");
  ASSERT_TRUE(decoded.has_value());
  EXPECT_EQ(*decoded, expected);
}

TEST(EstimateStringEncoding, EmptyAndAsciiAreUtf8) {
  EXPECT_EQ(estimateStringEncoding(""), "UTF-8");
  EXPECT_EQ(estimateStringEncoding("Hello World"), "UTF-8");
}

TEST(EstimateStringEncoding, ValidUtf8StaysUtf8) {
  for (const char* text : {"テスト", "Café", "Jürgen Müller", "Группа крови", "東京事変"}) {
    SCOPED_TRACE(text);
    EXPECT_EQ(estimateStringEncoding(text), "UTF-8");
    EXPECT_EQ(readAsEstimated(text), text);
  }
}

TEST(EstimateStringEncoding, EscapesInIso2022JP) {
  const std::string_view bytes = "\x1B$B%F%9%H\x1B(B";
  EXPECT_EQ(estimateStringEncoding(bytes), "ISO-2022-JP");
  EXPECT_EQ(readAsEstimated(bytes), "テスト");
}

TEST(EstimateStringEncoding, OtherEscapesKeepTheirText) {
  // glibc's ISO-2022-JP passes escapes it does not know through, so terminal colour
  // codes read as ISO-2022-JP, and come out as they went in.
  const std::string_view bytes = "\x1B[1mBold\x1B[0m";
  EXPECT_EQ(readAsEstimated(bytes), bytes);
  EXPECT_EQ(estimateStringEncoding("\x1B[1m\xE9"), "WINDOWS-1252");
}

TEST(EstimateStringEncoding, ShiftJISTitlesReadAsJapanese) {
  for (const Sample& s : kShiftJISTitles) {
    SCOPED_TRACE(s.text);
    EXPECT_EQ(estimateStringEncoding(s.bytes), "CP932");
    EXPECT_EQ(readAsEstimated(s.bytes), s.text);
  }
}

TEST(EstimateStringEncoding, ShiftJISKeepsBackslashTildeAndWindowsRows) {
  // glibc's SHIFT_JIS would give ¥ and ‾ for the ASCII bytes and refuse ①.
  EXPECT_EQ(readAsEstimated("\x87\x40\x83\x65\x83\x58\x83\x67\\~"), "①テスト\\~");
}

TEST(EstimateStringEncoding, EucJPTitlesReadAsJapanese) {
  const std::string_view sakura = "\xA4\xB5\xA4\xAF\xA4\xE9";
  EXPECT_EQ(estimateStringEncoding(sakura), "EUC-JP");
  EXPECT_EQ(readAsEstimated(sakura), "さくら");
}

TEST(EstimateStringEncoding, WesternTitlesStayWestern) {
  for (const Sample& s : kWesternTitles) {
    SCOPED_TRACE(s.text);
    EXPECT_EQ(estimateStringEncoding(s.bytes), "WINDOWS-1252");
    EXPECT_EQ(readAsEstimated(s.bytes), s.text);
  }
}

TEST(EstimateStringEncoding, LongerTextTakesTheDetectorsAnswer) {
  const Sample texts[] = {
      {"\xC3\xF0\xF3\xEF\xEF\xE0 \xEA\xF0\xEE\xE2\xE8", "Группа крови"},  // Windows-1251
      {"\xBE\xC8\xB3\xE7\xC7\xCF\xBC\xBC\xBF\xE4 \xB9\xE6\xC5\xBA\xBC\xD2\xB3\xE2\xB4\xDC",
       "안녕하세요 방탄소년단"},  // EUC-KR
      {"\xDC" "ber den Wolken muss die Freiheit wohl grenzenlos sein. Sch\xF6ne Gr\xFC\xDF" "e aus "
       "M\xFCnchen, Gr\xF6\xDF" "e, B\xE4ume, M\xE4" "dchen, fr\xF6hlich.",
       "Über den Wolken muss die Freiheit wohl grenzenlos sein. Schöne Grüße aus München, Größe, "
       "Bäume, Mädchen, fröhlich."},  // Latin-1
  };
  for (const Sample& s : texts) {
    SCOPED_TRACE(s.text);
    EXPECT_EQ(readAsEstimated(s.bytes), s.text);
  }
}

TEST(EstimateStringEncoding, AlwaysNamesAnEncodingThatDecodesTheBytes) {
  // Bytes no single-byte code page of the Western default accepts (0x81, 0x8D) and a
  // cut-off Shift-JIS pair: the fixed order still ends in an encoding that decodes.
  for (std::string_view bytes : {std::string_view("\x81\x8D\xFF"), std::string_view("A\x81"),
                                 std::string_view("\x90\x9D\x8F")}) {
    const std::string encoding = estimateStringEncoding(bytes);
    SCOPED_TRACE(encoding);
    EXPECT_TRUE(decodeToUtf8(bytes, encoding.c_str()).has_value());
  }
}
