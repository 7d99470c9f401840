#include "cli/item_scan.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <set>
#include <utility>

#include "cli/file_check.h"
#include "platform/path_names.h"

namespace pelmora::cli {
namespace {

// Extensions of the audio formats the program knows, with or without a plug-in for
// them yet; other files in a folder (covers, notes) are passed over in silence.
const char* const kAudioExtensions[] = {"dsf", "dff", "dsd", "flac", "wav", "wave", "aif", "aiff",
                                        "aifc", "mp3", "m4a", "alac", "ogg", "opus", "wv", "ape"};

bool isAudioExtension(const std::string& ext) {
  return std::find(std::begin(kAudioExtensions), std::end(kAudioExtensions), ext) !=
         std::end(kAudioExtensions);
}

using FileKey = std::pair<dev_t, ino_t>;

class Scanner {
 public:
  Scanner(const std::vector<std::string>& exts, ItemScan& out) : exts_(exts), out_(out) {}

  void named(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
      folder(path, st, 0);
      return;
    }
    if (std::string why = fileProblem(path); !why.empty()) {
      out_.problems.push_back({path, why});
      return;
    }
    if (std::string why = extensionProblem(path, exts_); !why.empty()) {
      out_.problems.push_back({path, why});
      return;
    }
    if (std::string why = contentProblem(path); !why.empty()) {
      out_.problems.push_back({path, why});
      return;
    }
    addFile(path);
  }

 private:
  static constexpr int kMaxDepth = 64;

  void folder(const std::string& path, const struct stat& st, int depth) {
    // A folder reached again through a link is a loop or a second way in: once only.
    if (!folders_.insert({st.st_dev, st.st_ino}).second) return;
    if (depth > kMaxDepth) {
      out_.problems.push_back({path, "folders nested too deeply; not searched"});
      return;
    }
    DIR* d = ::opendir(path.c_str());
    if (!d) {
      out_.problems.push_back({path, "the folder cannot be read"});
      return;
    }
    std::vector<std::string> names;
    while (dirent* e = ::readdir(d)) {
      if (e->d_name[0] != '.') names.emplace_back(e->d_name);
    }
    ::closedir(d);
    std::sort(names.begin(), names.end());
    const std::string base = path.empty() || path.back() != '/' ? path + "/" : path;
    for (const auto& name : names) entry(base + name, depth);
  }

  void entry(const std::string& path, int depth) {
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
      folder(path, st, depth + 1);
      return;
    }
    const std::string ext = sonara::platform::lowerCaseExtension(path);
    const bool playable = std::find(exts_.begin(), exts_.end(), ext) != exts_.end();
    if (!playable) {
      if (isAudioExtension(ext) && fileProblem(path).empty()) ++out_.unsupported["." + ext];
      return;
    }
    std::string why = fileProblem(path);
    if (why.empty()) why = contentProblem(path);
    if (!why.empty()) {
      out_.problems.push_back({path, why + "; skipped"});
      return;
    }
    addFile(path);
  }

  void addFile(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return;
    if (!files_.insert({st.st_dev, st.st_ino}).second) return;  // the same file again
    out_.files.push_back(path);
    if (!out_.groups.empty()) out_.groups.back().push_back(path);
  }

  const std::vector<std::string>& exts_;
  ItemScan& out_;
  std::set<FileKey> folders_;
  std::set<FileKey> files_;
};

}  // namespace

ItemScan scanItems(const std::vector<std::string>& items, const std::vector<std::string>& exts) {
  ItemScan scan;
  Scanner scanner(exts, scan);
  for (const auto& item : items) {
    scan.groups.emplace_back();
    scanner.named(item);
    if (scan.groups.back().empty()) scan.groups.pop_back();
  }
  return scan;
}

std::string unsupportedSummary(const std::map<std::string, int>& unsupported) {
  if (unsupported.empty()) return {};
  std::vector<std::pair<std::string, int>> byCount(unsupported.begin(), unsupported.end());
  std::stable_sort(byCount.begin(), byCount.end(),
                   [](const auto& a, const auto& b) { return a.second > b.second; });
  int total = 0;
  std::string parts;
  for (const auto& [ext, n] : byCount) {
    total += n;
    parts += (parts.empty() ? "" : ", ") + std::to_string(n) + " " + ext;
  }
  return std::to_string(total) + (total == 1 ? " file" : " files") + " skipped: " + parts +
         " \u2014 not supported";
}

}  // namespace pelmora::cli
