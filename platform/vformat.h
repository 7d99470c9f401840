// printf-style formatting into a string, header-only so that the plug-ins (which
// link nothing of the engine) format their lines as the engine does.
#pragma once

#include <cstdarg>
#include <cstdio>
#include <string>

namespace sonara::platform {

// The formatted text; the format itself when it cannot be formatted.
inline std::string vformat(const char* format, va_list args) {
  char stack[512];
  va_list copy;
  va_copy(copy, args);
  const int n = std::vsnprintf(stack, sizeof stack, format, args);
  std::string line;
  if (n < 0) {
    line = format;
  } else if (static_cast<size_t>(n) < sizeof stack) {
    line.assign(stack, static_cast<size_t>(n));
  } else {
    line.resize(static_cast<size_t>(n));
    std::vsnprintf(line.data(), line.size() + 1, format, copy);
  }
  va_end(copy);
  return line;
}

}  // namespace sonara::platform
