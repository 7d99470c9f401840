#include "cli/json_writer.h"

#include <cmath>
#include <cstdio>

namespace pelmora::cli {

std::string jsonQuote(std::string_view text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\u%04x", c);
          out += buf;
        } else {
          out += static_cast<char>(c);
        }
    }
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

JsonObject& JsonObject::addNull(std::string_view k) {
  key(k);
  body_ += "null";
  return *this;
}

}  // namespace pelmora::cli
