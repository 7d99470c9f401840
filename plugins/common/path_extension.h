// A path's extension as the plug-ins compare it.
#pragma once

#include <cctype>
#include <string>

namespace sonara::plugin {

// The lower-cased text after the last dot of the file name; empty without one.
inline std::string lowerCaseExtension(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  const size_t dot = path.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
  std::string ext = path.substr(dot + 1);
  for (auto& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return ext;
}

}  // namespace sonara::plugin
