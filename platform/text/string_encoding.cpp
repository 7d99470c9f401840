#include "platform/text/string_encoding.h"

#include <uchardet/uchardet.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <iconv.h>
#include <memory>

namespace sonara::text {
namespace {

// Shift-JIS as Windows writes it, not glibc's "SHIFT_JIS": that table turns 0x5C and
// 0x7E into ¥ and ‾, mangling every backslash and tilde of a mixed title, and lacks
// the NEC and IBM rows (①, Ⅰ, ㈱) that tags written on Windows use. CP932 also accepts
// its user-defined rows (private use), so Shift-JIS is believed only on evidence.
constexpr const char* kShiftJIS = "CP932";
// What Western taggers write into frames declared Latin-1: Latin-1 plus the quotes
// and dashes Windows keeps in 0x80-0x9F.
constexpr const char* kWestern = "WINDOWS-1252";

// Tried in turn when nothing better is known; Mac OS Roman and Latin-1 decode any
// bytes, so the list never runs out in practice.
constexpr std::array kFixedOrder{"UTF-8",        "ASCII",        kShiftJIS,      "EUC-JP",
                                 "MACINTOSH",    "WINDOWS-1251", "WINDOWS-1252", "WINDOWS-1253",
                                 "WINDOWS-1254", "WINDOWS-1250", "ISO-8859-1",   "UTF-16"};

// uchardet scores single-byte code pages by letter statistics. With fewer non-ASCII
// bytes than this (a title with a few accented letters) its pick among near-identical
// Latin code pages is noise: "Señor" comes out ISO-8859-10, "Ñandú" IBM852.
constexpr size_t kLetterStatisticsMinimum = 8;

bool decodes(std::string_view bytes, const char* encoding) {
  return decodeToUtf8(bytes, encoding).has_value();
}

size_t nonAsciiCount(std::string_view bytes) {
  return static_cast<size_t>(
      std::count_if(bytes.begin(), bytes.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; }));
}

bool isShiftJISLead(unsigned char b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }

// Evidence of Japanese in a Shift-JIS reading: a character led by 0x81-0x9F (kana,
// the common kanji and Japanese punctuation start there; those bytes are control
// codes in Latin-1) that has a second byte of 0x80 or more or stands next to another
// two-byte character. Windows-1252 keeps ’ “ Š œ in 0x80-0x9F; a Shift-JIS reading
// pairs such a mark with the ASCII letter after it ("Don’t" → "Don稚"), a lone
// character among ASCII text, which is therefore no evidence.
bool hasShiftJISKanaOrKanji(std::string_view bytes) {
  const auto byteAt = [bytes](size_t i) { return static_cast<unsigned char>(bytes[i]); };
  const auto isPairAt = [&](size_t i) { return i + 1 < bytes.size() && isShiftJISLead(byteAt(i)); };
  bool previousIsPair = false;
  for (size_t i = 0; i < bytes.size();) {
    if (!isPairAt(i)) {
      previousIsPair = false;
      ++i;
      continue;
    }
    const bool kanaOrKanji = byteAt(i) <= 0x9F;
    if (kanaOrKanji && (byteAt(i + 1) >= 0x80 || previousIsPair || isPairAt(i + 2))) return true;
    previousIsPair = true;
    i += 2;
  }
  return false;
}

// A two-byte EUC-JP character (both bytes 0xA1-0xFE); glibc's EUC-JP also passes
// single C1 control bytes, which on their own say nothing about Japanese.
bool hasEucJPCharacter(std::string_view bytes) {
  for (size_t i = 0; i < bytes.size();) {
    const auto b = static_cast<unsigned char>(bytes[i]);
    const bool pairLead = b >= 0xA1 && b <= 0xFE;
    if (pairLead && i + 1 < bytes.size()) {
      const auto next = static_cast<unsigned char>(bytes[i + 1]);
      if (next >= 0xA1 && next <= 0xFE) return true;
    }
    i += b == 0x8E ? 2 : b == 0x8F ? 3 : 1;
  }
  return false;
}

// uchardet's answer as an iconv name; empty when it has none. Its names are iconv's
// except HZ-GB-2312 and the odd-order UCS-4 forms, which glibc cannot decode and
// which are therefore passed over; its SHIFT_JIS becomes CP932 (above).
std::string uchardetProposal(std::string_view bytes) {
  const std::unique_ptr<uchardet, decltype(&uchardet_delete)> detector(uchardet_new(), &uchardet_delete);
  if (!detector || uchardet_handle_data(detector.get(), bytes.data(), bytes.size()) != 0) return {};
  uchardet_data_end(detector.get());
  const char* charset = uchardet_get_charset(detector.get());
  std::string name = charset ? charset : "";
  if (name == "SHIFT_JIS") name = kShiftJIS;
  return name;
}

// Answers that uchardet reaches by whole multi-byte characters rather than letter
// statistics; these hold even for a short title.
bool isMultiByte(std::string_view encoding) {
  static constexpr std::array<std::string_view, 13> kMultiByte{
      kShiftJIS, "EUC-JP", "ISO-2022-JP", "ISO-2022-CN", "ISO-2022-KR", "EUC-KR", "UHC",
      "EUC-TW",  "BIG5",   "GB18030",     "UTF-8",       "UTF-16",      "UTF-32"};
  return std::find(kMultiByte.begin(), kMultiByte.end(), encoding) != kMultiByte.end();
}

// The detector's proposal where it can be trusted, then the Japanese encodings on
// evidence of Japanese characters (ahead of uchardet's letter statistics, which call
// short Shift-JIS titles WINDOWS-1252), then the Western default.
std::optional<std::string> detectedEncoding(std::string_view bytes) {
  const std::string proposal = uchardetProposal(bytes);
  const bool proposalDecodes = !proposal.empty() && decodes(bytes, proposal.c_str());
  if (proposalDecodes && isMultiByte(proposal)) return proposal;
  if (hasShiftJISKanaOrKanji(bytes) && decodes(bytes, kShiftJIS)) return kShiftJIS;
  if (hasEucJPCharacter(bytes) && decodes(bytes, "EUC-JP")) return "EUC-JP";
  if (proposalDecodes && nonAsciiCount(bytes) >= kLetterStatisticsMinimum) return proposal;
  if (decodes(bytes, kWestern)) return kWestern;
  return std::nullopt;
}

}  // namespace

std::optional<std::string> decodeToUtf8(std::string_view bytes, const char* encoding) {
  const iconv_t cd = iconv_open("UTF-8", encoding);
  if (cd == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
  const std::unique_ptr<void, int (*)(iconv_t)> closer(cd, &iconv_close);

  // iconv's prototype is not const-correct; it only reads the input.
  char* in = const_cast<char*>(bytes.data());
  size_t inLeft = bytes.size();
  std::string out(bytes.size() * 2 + 16, '\0');
  size_t produced = 0;
  // After the input, one call without input returns a stateful encoding
  // (ISO-2022-JP) to its initial state.
  for (bool flushed = false; !flushed;) {
    char* outPtr = out.data() + produced;
    size_t outLeft = out.size() - produced;
    const bool flushing = inLeft == 0;
    const size_t result = flushing ? iconv(cd, nullptr, nullptr, &outPtr, &outLeft)
                                   : iconv(cd, &in, &inLeft, &outPtr, &outLeft);
    produced = out.size() - outLeft;
    if (result != static_cast<size_t>(-1)) {
      flushed = flushing;
    } else if (errno == E2BIG) {
      out.resize(out.size() * 2);
    } else {
      return std::nullopt;  // EILSEQ, or EINVAL: a sequence cut off at the end
    }
  }
  out.resize(produced);
  return out;
}

std::string estimateStringEncoding(std::string_view bytes) {
  if (bytes.find('\x1B') != std::string_view::npos && decodes(bytes, "ISO-2022-JP")) return "ISO-2022-JP";
  // This system's own C strings are UTF-8.
  if (decodes(bytes, "UTF-8")) return "UTF-8";
  if (auto detected = detectedEncoding(bytes)) return *detected;
  for (const char* candidate : kFixedOrder) {
    if (decodes(bytes, candidate)) return candidate;
  }
  return "ASCII";
}

}  // namespace sonara::text
