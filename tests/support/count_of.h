// How often a text holds another (overlapping matches counted): lines of a log or
// of a program's output.
#pragma once

#include <cstddef>
#include <string>

inline size_t countOf(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}
