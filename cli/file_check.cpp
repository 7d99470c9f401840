#include "cli/file_check.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "engine/plugin/plugin_manager.h"
#include "platform/path_names.h"

namespace pelmora::cli {

std::string fileProblem(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) {
    if (errno == ENOENT) return "no such file or directory";
    if (errno == ELOOP) return "too many levels of symbolic links";
    return std::strerror(errno);
  }
  if (S_ISDIR(st.st_mode)) return "is a folder, not a file";
  if (S_ISFIFO(st.st_mode)) return "is a FIFO, not a file";
  if (S_ISSOCK(st.st_mode)) return "is a socket, not a file";
  if (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode)) return "is a device, not a file";
  if (!S_ISREG(st.st_mode)) return "is not a regular file";
  if (st.st_size == 0) return "the file is empty";
  if (::access(path.c_str(), R_OK) != 0) return std::string("cannot be read: ") + std::strerror(errno);
  return {};
}

std::string extensionProblem(const std::string& path, const std::vector<std::string>& exts) {
  std::string ext = sonara::platform::lowerCaseExtension(path);
  if (std::find(exts.begin(), exts.end(), ext) != exts.end()) return {};
  if (ext.empty()) return "not supported (the file name has no extension)";
  return "not supported (no plug-in reads ." + ext + " files)";
}

std::string contentProblem(const std::string& path) {
  if (sonara::platform::lowerCaseExtension(path) != "dsf") return {};
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return {};
  unsigned char head[28] = {};
  const size_t n = std::fread(head, 1, sizeof head, f);
  std::fseek(f, 0, SEEK_END);
  const long actual = std::ftell(f);
  std::fclose(f);
  if (n < sizeof head || std::memcmp(head, "DSD ", 4) != 0) return "not a DSF file (no DSF header)";
  uint64_t declared = 0;
  for (int i = 7; i >= 0; --i) declared = declared << 8 | head[12 + i];
  if (actual >= 0 && declared > static_cast<uint64_t>(actual)) {
    return "truncated: the DSF header announces " + std::to_string(declared) + " bytes, the file has " +
           std::to_string(actual);
  }
  return {};
}

std::string noPluginsReason() {
  const char* env = std::getenv("SONARA_PLUGIN_DIR");
  std::string where = sonara::PluginManager::builtInPluginsPath();
  if (env && *env) where += ", from $SONARA_PLUGIN_DIR";
  return "no decoder plug-ins are loaded (looked in " + where + ")";
}

}  // namespace pelmora::cli
