#include "engine/playlist/cd_manager.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <memory>

#include "engine/api/constants.h"
#include "engine/playlist/file_url.h"
#include "engine/playlist/path_matching.h"
#include "platform/log.h"
#include "platform/path_names.h"

using sonara::platform::logLine;

namespace {

constexpr char kGvfsDiscPrefix[] = "cdda:host=";

std::string desktopPlace() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (!runtime || !*runtime) return {};
  return std::string(runtime) + "/gvfs";
}

bool isFolder(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool isFile(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// The entries of a folder other than "." and "..", unsorted; nothing when it cannot
// be listed.
std::optional<std::vector<std::string>> entriesOf(const std::string& folder) {
  std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.c_str()), ::closedir);
  if (!dir) return std::nullopt;
  std::vector<std::string> names;
  while (const dirent* entry = ::readdir(dir.get())) {
    const std::string name = entry->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  return names;
}

}  // namespace

std::vector<std::string> CDManager::searchPlaces() {
  const char* named = std::getenv("SONARA_CD_VOLUMES");
  std::vector<std::string> places;
  auto add = [&](const std::string& place) {
    if (!place.empty() && std::find(places.begin(), places.end(), place) == places.end()) places.push_back(place);
  };
  if (!named) {
    add(desktopPlace());
    return places;
  }
  const std::string list = named;
  size_t start = 0;
  while (true) {
    const size_t colon = list.find(':', start);
    const std::string entry = list.substr(start, colon == std::string::npos ? std::string::npos : colon - start);
    add(entry.empty() ? desktopPlace() : entry);
    if (colon == std::string::npos) break;
    start = colon + 1;
  }
  return places;
}

std::optional<std::vector<std::string>> CDManager::trackFilesIn(const std::string& folder) {
  auto names = entriesOf(folder);
  if (!names) return std::nullopt;
  std::vector<std::string> tracks;
  for (const auto& name : *names) {
    if (name[0] == '.' || sonara::platform::lowerCaseExtension(name) != "wav") continue;
    const std::string path = folder + "/" + name;
    if (isFile(path)) tracks.push_back(path);
  }
  // "Track 2" before "Track 10": a listing has no order of its own.
  std::sort(tracks.begin(), tracks.end(), sonara::playlist::localizedStandardLess);
  return tracks;
}

std::string CDManager::labelOf(const std::string& folder) {
  const std::string name = sonara::platform::lastPathComponent(folder);
  if (name.rfind(kGvfsDiscPrefix, 0) == 0 && name.size() > sizeof kGvfsDiscPrefix - 1) {
    return "Audio CD (" + name.substr(sizeof kGvfsDiscPrefix - 1) + ")";
  }
  return name;
}

void CDManager::addDiscIfAny(const std::string& folder) {
  auto tracks = trackFilesIn(folder);
  if (!tracks) {
    logLine("CD %s skipped: its folder cannot be listed.", folder.c_str());
    return;
  }
  if (tracks->empty()) return;
  sonara::Dict disc;
  disc[CD_LABEL] = sonara::Value(labelOf(folder));
  disc[CD_URL] = sonara::Value(sonara::playlist::fileURLFromPath(folder));
  info_.push_back(std::move(disc));
}

std::vector<std::string> CDManager::candidateFoldersIn(const std::string& place) {
  std::vector<std::string> folders;
  auto names = entriesOf(place);
  if (!names) return folders;
  std::sort(names->begin(), names->end(), sonara::playlist::localizedStandardLess);
  const bool desktop = place == desktopPlace();
  for (const auto& name : *names) {
    if (name[0] == '.') continue;
    // The desktop's place also holds network shares and phones: only discs are looked into.
    if (desktop && name.rfind(kGvfsDiscPrefix, 0) != 0) continue;
    const std::string folder = place + "/" + name;
    if (isFolder(folder)) folders.push_back(folder);
  }
  return folders;
}

bool CDManager::initialize() {
  info_.clear();
  const std::string desktop = desktopPlace();
  const auto places = searchPlaces();
  for (const auto& place : places) {
    if (!isFolder(place)) continue;
    if (!entriesOf(place)) {
      logLine("CD place %s skipped: it cannot be listed.", place.c_str());
      continue;
    }
    if (place != desktop) addDiscIfAny(place);
    for (const auto& folder : candidateFoldersIn(place)) addDiscIfAny(folder);
  }
  return !places.empty();
}

std::string CDManager::getContentDirAtIndex(int64_t index) const {
  if (index < 0 || index >= static_cast<int64_t>(info_.size())) return {};
  const auto url = sonara::lookup(info_[static_cast<size_t>(index)], CD_URL).asString();
  return sonara::playlist::pathFromFileURL(url).value_or(std::string());
}

std::optional<std::vector<std::string>> CDManager::getContentPathsAtIndex(int64_t index) const {
  const std::string folder = getContentDirAtIndex(index);
  if (folder.empty()) return std::nullopt;
  auto tracks = trackFilesIn(folder);
  if (!tracks) {
    logLine("getContentPathsAtIndex : CD-DA Contents Enumeration Failed.");
    return std::nullopt;
  }
  return tracks;
}
