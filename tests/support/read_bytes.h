// A whole file's bytes; empty when it cannot be read.
#pragma once

#include <fstream>
#include <iterator>
#include <string>

inline std::string readBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string{std::istreambuf_iterator<char>(in), {}};
}
