// The controller's playlist commands and its reaction to playlist changes.
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <climits>

#include "engine/api/constants.h"
#include "engine/api/kiv_sonara_delegate.h"
#include "engine/controller/tk_delegate.h"
#include "engine/play/play_manager.h"
#include "engine/playlist/playlist_array_controller.h"
#include "engine/plugin/plugin_manager.h"
#include "platform/path_names.h"

namespace {

std::string absolutePath(const std::string& path) {
  if (!path.empty() && path[0] == '/') return path;
  char cwd[PATH_MAX];
  if (!::getcwd(cwd, sizeof cwd)) return path;
  return std::string(cwd) + "/" + path;
}

// Files below `path` (itself when it is a file) whose extensions are playable, folders
// in name order.
void collectPlayable(const std::string& path, const std::vector<std::string>& exts,
                     std::vector<std::string>& out, int depth = 0) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) {
    out.push_back(path);  // kept, so that the user hears why it cannot be played
    return;
  }
  if (S_ISDIR(st.st_mode)) {
    if (depth > 32) return;
    std::vector<std::string> names;
    if (DIR* d = ::opendir(path.c_str())) {
      while (dirent* e = ::readdir(d)) {
        if (e->d_name[0] != '.') names.emplace_back(e->d_name);
      }
      ::closedir(d);
    }
    std::sort(names.begin(), names.end());
    for (const auto& n : names) collectPlayable(path + "/" + n, exts, out, depth + 1);
    return;
  }
  if (std::find(exts.begin(), exts.end(), sonara::platform::lowerCaseExtension(path)) != exts.end()) out.push_back(path);
}

}  // namespace

void TkDelegate::addDroppedFiles(const std::vector<std::string>& paths) {
  auto& model = *array_tbl_ctl_;
  if (model.fixed()) return;
  auto exts = sonara::PluginManager::sharedInstance().getDecoderExts();
  std::vector<std::string> files;
  for (const auto& p : paths) collectPlayable(absolutePath(p), exts, files);
  std::vector<PlaylistItemInfoRef> infos;
  for (const auto& f : files) {
    auto info = std::make_shared<PlaylistItemInfo>();
    info->setFullpath(f);
    infos.push_back(std::move(info));
  }
  if (infos.empty()) return;
  model.insertInfos(infos, model.getNumInfos(), true, true);
  model.setSaved(false);
}

void TkDelegate::newPlaylist() {
  auto& model = *array_tbl_ctl_;
  if (playing_) playStop();
  model.removeAllInfos(true);
  model.setFixed(false);
  model.setSaved(true);
  model.setCd(false);
  model.setPlaylist_path("");
}

void TkDelegate::removeSelection() {
  if (!array_tbl_ctl_->fixed()) array_tbl_ctl_->removeAllSelectedInfoes(true);
}

// Panels, playlist files and CDs come with their own parts of the program.
void TkDelegate::willOpenFile() {}
void TkDelegate::willAddFile() {}
void TkDelegate::willSelectPlaylist() {}
int32_t TkDelegate::savePlaylist() { return 0; }
void TkDelegate::saveLastPlaylist() {}
void TkDelegate::loadLastPlaylist() {}
void TkDelegate::showCDPanel() {}

void TkDelegate::willEditProp(int64_t row) {
  {
    std::lock_guard lock(items_mutex_);
    item_under_edit_ = array_tbl_ctl_->getInfoAtIndex(row);
  }
  if (delegate_) delegate_->propertiesMenuSelected();
}

void TkDelegate::tableViewSelectionDidChange(bool selected) {
  if (delegate_) delegate_->playlistSelectionDidChange(selected);
}

bool TkDelegate::isPlaylistDirty() const { return array_tbl_ctl_ && !array_tbl_ctl_->saved(); }

uint32_t TkDelegate::getPlaylistItemCount() const {
  return array_tbl_ctl_ ? static_cast<uint32_t>(array_tbl_ctl_->getNumInfos()) : 0;
}

void TkDelegate::playlistUpdateNotificationHandler(const std::vector<PlaylistItemInfoRef>& infos,
                                                   const char* type) {
  auto& model = *array_tbl_ctl_;
  const std::string change = type;
  if (change == PlaylistChangeNotificatioTypeEdit) return;
  PlaylistItemInfoRef current = play_manager_ ? play_manager_->getCurrentInfo() : nullptr;
  if (play_manager_) play_manager_->updateNextInfo();
  // The status bar: the current item, what lies before it, and the whole list.
  currentItemDuration = model.getDurationAtCurrentPlayOrderIndex();
  currentTimestampBeforeCurrentItem =
      current ? model.getBaseDurationPlayOrderAtTrackID(current->track_id()) : 0.0;
  total_duration = model.getTotalDuration();
  if (delegate_) delegate_->playlistStateDidChange(0);
  if (change == PlaylistChangeNotificatioTypeAdd) {
    if (model.cd() && delegate_) delegate_->playlistStateDidChange(1);
  } else if (change == PlaylistChangeNotificatioTypeRemove) {
    if (current && std::any_of(infos.begin(), infos.end(), [&](const auto& i) {
          return i->track_id() == current->track_id();
        })) {
      playStop();
    }
    if (model.getNumInfos() > 0) {
      model.setSaved(false);
    } else {
      model.setFixed(false);
      model.setSaved(true);
      model.setCd(false);
    }
  }
}
