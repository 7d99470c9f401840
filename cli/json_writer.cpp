#include "cli/json_writer.h"

#include <cmath>
#include <cstdio>

namespace pelmora::cli {

namespace {

// The length of the valid UTF-8 sequence at `text[i]`, or 0 when the byte there
// does not start one (stray continuation bytes, overlong forms, surrogates, > U+10FFFF).
size_t utf8Length(std::string_view text, size_t i) {
  const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char c = byte(i);
  size_t n;
  uint32_t cp;
  if (c < 0x80) return 1;
  if (c >= 0xC2 && c <= 0xDF) {
    n = 2;
    cp = c & 0x1F;
  } else if (c >= 0xE0 && c <= 0xEF) {
    n = 3;
    cp = c & 0x0F;
  } else if (c >= 0xF0 && c <= 0xF4) {
    n = 4;
    cp = c & 0x07;
  } else {
    return 0;
  }
  if (i + n > text.size()) return 0;
  for (size_t k = 1; k < n; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) return 0;
    cp = cp << 6 | (byte(i + k) & 0x3F);
  }
  if ((n == 3 && cp < 0x800) || (n == 4 && (cp < 0x10000 || cp > 0x10FFFF)) || (cp >= 0xD800 && cp <= 0xDFFF)) {
    return 0;
  }
  return n;
}

}  // namespace

// File names are bytes: one that is not UTF-8 is written as "\udcXX" (0xDC00 plus
// the byte), as Python's surrogateescape does, so that the line stays valid JSON and
// the original bytes can be recovered.
std::string jsonQuote(std::string_view text) {
  std::string out = "\"";
  char buf[8];
  for (size_t i = 0; i < text.size();) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    const size_t n = utf8Length(text, i);
    if (n == 0) {
      std::snprintf(buf, sizeof buf, "\\udc%02x", c);
      out += buf;
      ++i;
      continue;
    }
    if (n > 1) {
      out.append(text.substr(i, n));
      i += n;
      continue;
    }
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20 || c == 0x7F) {
          std::snprintf(buf, sizeof buf, "\\u%04x", c);
          out += buf;
        } else {
          out += static_cast<char>(c);
        }
    }
    ++i;
  }
  return out + "\"";
}

void JsonObject::key(std::string_view k) {
  if (body_.size() > 1) body_ += ",";
  body_ += jsonQuote(k);
  body_ += ":";
}

JsonObject& JsonObject::add(std::string_view k, std::string_view value) {
  key(k);
  body_ += jsonQuote(value);
  return *this;
}

JsonObject& JsonObject::add(std::string_view k, bool value) {
  key(k);
  body_ += value ? "true" : "false";
  return *this;
}

JsonObject& JsonObject::add(std::string_view k, int64_t value) {
  key(k);
  body_ += std::to_string(value);
  return *this;
}

JsonObject& JsonObject::add(std::string_view k, double value) {
  key(k);
  if (!std::isfinite(value)) {
    body_ += "null";
  } else {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.10g", value);
    body_ += buf;
  }
  return *this;
}

JsonObject& JsonObject::add(std::string_view k, const std::vector<std::string>& values) {
  key(k);
  body_ += "[";
  for (size_t i = 0; i < values.size(); ++i) body_ += (i ? "," : "") + jsonQuote(values[i]);
  body_ += "]";
  return *this;
}

JsonObject& JsonObject::addNull(std::string_view k) {
  key(k);
  body_ += "null";
  return *this;
}

}  // namespace pelmora::cli
