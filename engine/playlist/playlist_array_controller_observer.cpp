// The folder watching of CD lists: when the files of the list vanish (the disc was
// ejected or its folder removed), their rows go with a Remove report.
#include <sys/stat.h>

#include <algorithm>
#include <set>

#include "engine/playlist/playlist_array_controller.h"
#include "platform/folder_watch.h"
#include "platform/log.h"
#include "platform/services.h"

using sonara::platform::FolderWatch;

namespace {

constexpr std::chrono::milliseconds kObserverLatency{1000};

std::string parentFolder(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return "";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// The mount point holding `path`: the highest folder above it still on its device.
std::string mountPointOf(const std::string& path, dev_t device) {
  std::string at = parentFolder(path);
  while (!at.empty() && at != "/") {
    std::string up = parentFolder(at);
    struct stat st {};
    if (::stat(up.c_str(), &st) != 0 || st.st_dev != device) break;
    at = up;
  }
  return at;
}

}  // namespace

PlaylistArrayController::~PlaylistArrayController() {
  // Batches already posted find no model; then the watch thread ends.
  lifetime_.reset();
  std::lock_guard guard(observer_mutex_);
  observer_stream_.reset();
}

bool PlaylistArrayController::updateObserver() {
  std::vector<std::string> paths;
  bool watch = false;
  uint64_t snapshot = 0;
  {
    std::lock_guard lock(monitor_);
    snapshot = ++observer_snapshot_;
    watch = cd_ && !rows_.empty();
    std::set<std::string> seen;
    for (size_t i = 0; watch && i < rows_.size(); ++i) {
      std::string path = rows_[i]->fullpath();
      if (!path.empty() && seen.insert(path).second) paths.push_back(std::move(path));
    }
  }
  std::lock_guard guard(observer_mutex_);
  if (snapshot < observer_applied_) return true;  // a rebuild from a newer snapshot already ran
  observer_applied_ = snapshot;
  observer_watch_path_.clear();
  clearObserver();
  if (!watch) return true;
  observer_watch_path_ = paths;
  return refreshObserver(createDirsForObserver(paths));
}

std::vector<std::string> PlaylistArrayController::createDirsForObserver(const std::vector<std::string>& paths) {
  std::vector<std::string> dirs;
  auto add = [&dirs](const std::string& dir) {
    if (!dir.empty() && std::find(dirs.begin(), dirs.end(), dir) == dirs.end()) dirs.push_back(dir);
  };
  // Each folder on the way from the file up to its mount point: renaming or removing
  // any of them takes the file away as surely as deleting it.
  for (const auto& path : paths) {
    const std::string parent = parentFolder(path);
    add(parent);
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) continue;
    const std::string mount = mountPointOf(path, st.st_dev);
    for (std::string at = parent; at != mount && !at.empty() && at != "/";) {
      at = parentFolder(at);
      add(at);
    }
  }
  return dirs;
}

bool PlaylistArrayController::refreshObserver(const std::vector<std::string>& dirs) {
  std::lock_guard guard(observer_mutex_);
  // A stream always starts from the present (observer_event_id_ is the since-now
  // value): inotify reports nothing older anyway.
  std::weak_ptr<PlaylistArrayController*> alive = lifetime_;
  auto stream = std::make_unique<FolderWatch>(dirs, kObserverLatency, [alive](uint32_t changes) {
    // On the watch's thread: the rows are looked at on the main thread.
    sonara::platform::mainLoop().post([alive, changes] {
      if (auto self = alive.lock()) (*self)->observeDirStreamCallback(changes);
    });
  });
  if (!stream->watching()) {
    sonara::platform::logLine("Observer creation failed.");
    observer_stream_.reset();
    return false;
  }
  observer_stream_ = std::move(stream);
  return true;
}

void PlaylistArrayController::clearObserver() {
  std::lock_guard guard(observer_mutex_);
  observer_stream_.reset();
}

std::vector<std::string> PlaylistArrayController::pathsDeletedInObserver(const std::vector<std::string>& paths) {
  std::vector<std::string> gone;
  for (const auto& path : paths) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) gone.push_back(path);
  }
  return gone;
}

std::vector<PlaylistItemInfoRef> PlaylistArrayController::infosFromPaths(const std::vector<std::string>& paths) const {
  std::lock_guard lock(monitor_);
  std::vector<PlaylistItemInfoRef> infos;
  for (const auto& path : paths) {
    auto it = std::find_if(rows_.begin(), rows_.end(), [&](const auto& row) { return row->fullpath() == path; });
    if (it != rows_.end()) infos.push_back(*it);
  }
  return infos;
}

void PlaylistArrayController::observeDirStreamCallback(uint32_t changes) {
  constexpr uint32_t kLook =
      FolderWatch::kItemRemoved | FolderWatch::kItemRenamed | FolderWatch::kRootChanged | FolderWatch::kPolled;
  if ((changes & kLook) == 0) return;
  std::vector<std::string> paths;
  for (const auto& row : getAllInfos()) paths.push_back(row->fullpath());
  const auto gone = pathsDeletedInObserver(paths);
  if (gone.empty()) return;
  removeInfos(infosFromPaths(gone), true);
}

std::vector<std::string> PlaylistArrayController::observer_watch_path() const {
  std::lock_guard guard(observer_mutex_);
  return observer_watch_path_;
}

bool PlaylistArrayController::observing() const {
  std::lock_guard guard(observer_mutex_);
  return observer_stream_ != nullptr;
}
