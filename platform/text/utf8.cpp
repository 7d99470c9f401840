#include "platform/text/utf8.h"

#include <cstddef>

namespace sonara::text {
namespace {

// The length of the valid sequence at `p`, or 0 when none starts there.
size_t sequenceLength(const unsigned char* p, const unsigned char* end) {
  const unsigned char b = *p;
  if (b < 0x80) return 1;
  size_t length = 0;
  unsigned char low = 0x80, high = 0xBF;  // allowed range of the second byte
  if (b >= 0xC2 && b <= 0xDF) {
    length = 2;
  } else if (b >= 0xE0 && b <= 0xEF) {
    length = 3;
    if (b == 0xE0) low = 0xA0;
    if (b == 0xED) high = 0x9F;
  } else if (b >= 0xF0 && b <= 0xF4) {
    length = 4;
    if (b == 0xF0) low = 0x90;
    if (b == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (static_cast<size_t>(end - p) < length || p[1] < low || p[1] > high) return 0;
  for (size_t i = 2; i < length; ++i) {
    if ((p[i] & 0xC0) != 0x80) return 0;
  }
  return length;
}

}  // namespace

bool isValidUtf8(std::string_view bytes) {
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  const auto* end = p + bytes.size();
  while (p < end) {
    const size_t length = sequenceLength(p, end);
    if (length == 0) return false;
    p += length;
  }
  return true;
}

std::string validUtf8(std::string_view bytes) {
  if (isValidUtf8(bytes)) return std::string(bytes);
  std::string out;
  out.reserve(bytes.size() + bytes.size() / 2);
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  const auto* end = p + bytes.size();
  while (p < end) {
    const size_t length = sequenceLength(p, end);
    if (length > 0) {
      out.append(reinterpret_cast<const char*>(p), length);
      p += length;
      continue;
    }
    out.push_back(static_cast<char>(0xC0 | (*p >> 6)));
    out.push_back(static_cast<char>(0x80 | (*p & 0x3F)));
    ++p;
  }
  return out;
}

}  // namespace sonara::text
