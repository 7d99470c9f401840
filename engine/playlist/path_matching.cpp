#include "engine/playlist/path_matching.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <optional>
#include <set>
#include <utility>

#include "engine/playlist/cue_parser.h"
#include "platform/log.h"
#include "platform/path_names.h"

namespace sonara::playlist {
namespace {

using FolderKey = std::pair<dev_t, ino_t>;
using FileKey = std::pair<dev_t, ino_t>;

std::optional<FileKey> fileKey(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return std::nullopt;
  return FileKey{st.st_dev, st.st_ino};
}

// Deep enough for any real library; a deeper tree is a loop the inode set missed.
constexpr int kMaxDepth = 64;

bool isHidden(const std::string& path) { return platform::lastPathComponent(path).rfind('.', 0) == 0; }

void walk(const std::string& folder, std::set<FolderKey>& seen, std::vector<std::string>& out, int depth) {
  struct stat st {};
  if (depth > kMaxDepth || ::stat(folder.c_str(), &st) != 0 || !seen.insert({st.st_dev, st.st_ino}).second) return;
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) {
    platform::logLine("%s cannot be read; its files are left out.", folder.c_str());
    return;
  }
  std::vector<std::string> names;
  while (dirent* e = ::readdir(dir)) {
    if (e->d_name[0] != '.') names.emplace_back(e->d_name);
  }
  ::closedir(dir);
  std::sort(names.begin(), names.end());
  for (const auto& name : names) {
    const std::string path = folder + (folder.empty() || folder.back() != '/' ? "/" : "") + name;
    struct stat entry {};
    if (::stat(path.c_str(), &entry) == 0 && S_ISDIR(entry.st_mode)) {
      walk(path, seen, out, depth + 1);
    } else {
      out.push_back(path);
    }
  }
}

bool isFolder(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

std::vector<std::string> removeChildItem(const std::vector<std::string>& paths) {
  std::vector<std::string> kept;
  for (const auto& path : paths) {
    const bool inside = std::any_of(kept.begin(), kept.end(), [&](const std::string& k) {
      const std::string prefix = k.empty() || k.back() == '/' ? k : k + "/";
      return path.size() > prefix.size() && path.compare(0, prefix.size(), prefix) == 0 && isFolder(k);
    });
    if (!inside) kept.push_back(path);
  }
  return kept;
}

std::vector<std::string> getFilesInDirectory(const std::vector<std::string>& paths) {
  std::vector<std::string> files;
  std::set<FolderKey> seen;
  for (const auto& path : removeChildItem(paths)) {
    if (isFolder(path)) {
      walk(path, seen, files, 0);
    } else if (!isHidden(path)) {
      files.push_back(path);
    }
  }
  return files;
}

std::vector<std::string> pathsMatchingNoCaseExtensions(const std::vector<std::string>& paths,
                                                       const std::vector<std::string>& exts) {
  std::vector<std::string> matched;
  for (const auto& file : getFilesInDirectory(paths)) {
    const std::string ext = platform::lowerCaseExtension(file);
    if (std::find(exts.begin(), exts.end(), ext) != exts.end()) matched.push_back(file);
  }
  std::stable_sort(matched.begin(), matched.end(), localizedStandardLess);
  return withoutFilesOfCueSheets(matched);
}

std::vector<std::string> withoutFilesOfCueSheets(const std::vector<std::string>& paths) {
  std::set<FileKey> named;
  for (const auto& path : paths) {
    if (platform::lowerCaseExtension(path) != "cue") continue;
    for (const auto& file : CUEParser::audioFilesNamedBy(path)) {
      if (auto key = fileKey(file)) named.insert(*key);
    }
  }
  if (named.empty()) return paths;
  std::vector<std::string> kept;
  for (const auto& path : paths) {
    const auto key = platform::lowerCaseExtension(path) == "cue" ? std::nullopt : fileKey(path);
    if (!key || !named.count(*key)) kept.push_back(path);
  }
  return kept;
}

bool localizedStandardLess(const std::string& a, const std::string& b) {
  size_t i = 0;
  size_t j = 0;
  auto digit = [](char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; };
  while (i < a.size() && j < b.size()) {
    if (digit(a[i]) && digit(b[j])) {
      size_t ie = i;
      size_t je = j;
      while (ie < a.size() && digit(a[ie])) ++ie;
      while (je < b.size() && digit(b[je])) ++je;
      size_t is = i;
      size_t js = j;
      while (is + 1 < ie && a[is] == '0') ++is;  // leading zeros count for nothing
      while (js + 1 < je && b[js] == '0') ++js;
      if (ie - is != je - js) return ie - is < je - js;
      if (const int c = a.compare(is, ie - is, b, js, je - js); c != 0) return c < 0;
      i = ie;
      j = je;
      continue;
    }
    const int ca = std::tolower(static_cast<unsigned char>(a[i]));
    const int cb = std::tolower(static_cast<unsigned char>(b[j]));
    if (ca != cb) return ca < cb;
    ++i;
    ++j;
  }
  if (a.size() - i != b.size() - j) return a.size() - i < b.size() - j;
  return a < b;  // equal but for case or zeros: a fixed order all the same
}

}  // namespace sonara::playlist
