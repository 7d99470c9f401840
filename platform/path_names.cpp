#include "platform/path_names.h"

#include <cctype>

namespace sonara::platform {

std::string lastPathComponent(const std::string& path) {
  auto slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string pathExtension(const std::string& path) {
  std::string name = lastPathComponent(path);
  auto dot = name.find_last_of('.');
  return dot == std::string::npos ? "" : name.substr(dot + 1);
}

std::string lowerCaseExtension(const std::string& path) {
  std::string ext = pathExtension(path);
  for (auto& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return ext;
}

}  // namespace sonara::platform
