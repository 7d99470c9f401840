#include "plugins/common/shift_jis_converter.h"

#include <algorithm>
#include <utility>

#include "platform/text/string_encoding.h"

namespace sonara::id3 {
namespace {

// Text frame headers: identifier, size and flags, then the text-encoding byte.
constexpr size_t kFrameHeaderV22 = 6;
constexpr size_t kFrameHeaderV23 = 10;
constexpr size_t kMajorVersionOffset = 3;

// A Latin-1 reading yields only code points up to U+00FF, whose UTF-8 leads are
// 0xC2 and 0xC3. Text with a higher one was decoded properly (the identifier search
// can meet a Latin-1 frame, such as a chapter's title, before the one read), and
// recovering "bytes" from it would only make noise.
bool isLatin1Reading(std::string_view utf8) {
  return std::none_of(utf8.begin(), utf8.end(), [](char c) { return static_cast<unsigned char>(c) >= 0xC4; });
}

}  // namespace

bool isConvertNeeded(std::span<const uint8_t> rawTag, std::span<const std::string_view> frameIds) {
  if (rawTag.size() <= kMajorVersionOffset || frameIds.empty()) return false;
  const size_t headerLength = rawTag[kMajorVersionOffset] == 2 ? kFrameHeaderV22 : kFrameHeaderV23;
  const std::string_view tag(reinterpret_cast<const char*>(rawTag.data()), rawTag.size());
  for (std::string_view id : frameIds) {
    if (id.empty()) continue;
    const size_t at = tag.find(id);
    if (at == std::string_view::npos) continue;
    const size_t encodingAt = at + headerLength;
    return encodingAt < rawTag.size() && rawTag[encodingAt] == 0;
  }
  return false;
}

std::string convertShiftJISData(std::string_view utf8) {
  std::string bytes;
  bytes.reserve(utf8.size());
  for (size_t i = 0; i < utf8.size();) {
    const auto b = static_cast<unsigned char>(utf8[i]);
    if (b == 0) break;
    if (b < 0x80) {
      bytes.push_back(static_cast<char>(b));
      ++i;
      continue;
    }
    if (i + 1 >= utf8.size()) break;  // a lead without its continuation
    const auto next = static_cast<unsigned char>(utf8[i + 1]);
    bytes.push_back(static_cast<char>((b * 64u + (next & 0x3Fu)) & 0xFFu));
    i += 2;
  }
  return bytes;
}

std::string convertToEstimateStringEncoding(std::string_view utf8) {
  if (!isLatin1Reading(utf8)) return std::string(utf8);
  const std::string bytes = convertShiftJISData(utf8);
  const std::string encoding = text::estimateStringEncoding(bytes);
  if (auto decoded = text::decodeToUtf8(bytes, encoding.c_str())) return std::move(*decoded);
  return std::string(utf8);
}

}  // namespace sonara::id3
