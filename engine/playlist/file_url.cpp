#include "engine/playlist/file_url.h"

#include <cstring>

namespace sonara::playlist {
namespace {

bool allowedInPath(unsigned char c) {
  if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) return true;
  return c != 0 && std::strchr("-._~!$&'()*+,;=:@/", c) != nullptr;
}

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::string fileURLFromPath(const std::string& path) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string url = "file://";
  for (unsigned char c : path) {
    if (allowedInPath(c)) {
      url += static_cast<char>(c);
    } else {
      url += '%';
      url += kHex[c >> 4];
      url += kHex[c & 0xF];
    }
  }
  return url;
}

std::optional<std::string> pathFromFileURL(const std::string& url) {
  std::string rest;
  if (url.rfind("file://localhost/", 0) == 0) {
    rest = url.substr(16);
  } else if (url.rfind("file:///", 0) == 0) {
    rest = url.substr(7);
  } else if (url.rfind("file:/", 0) == 0 && url.rfind("file://", 0) != 0) {
    rest = url.substr(5);
  } else {
    return std::nullopt;
  }
  std::string path;
  for (size_t i = 0; i < rest.size(); ++i) {
    if (rest[i] != '%') {
      path += rest[i];
      continue;
    }
    if (i + 2 >= rest.size()) return std::nullopt;
    const int hi = hexValue(rest[i + 1]);
    const int lo = hexValue(rest[i + 2]);
    if (hi < 0 || lo < 0 || (hi == 0 && lo == 0)) return std::nullopt;
    path += static_cast<char>(hi << 4 | lo);
    i += 2;
  }
  return path;
}

}  // namespace sonara::playlist
