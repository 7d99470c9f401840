// The controller's playlist commands and its reaction to playlist changes.
#include <unistd.h>

#include <climits>

#include "engine/api/constants.h"
#include "engine/api/kiv_sonara_delegate.h"
#include "engine/controller/tk_delegate.h"
#include "engine/play/play_manager.h"
#include "engine/playlist/m3u_playlist.h"
#include "engine/playlist/playlist_array_controller.h"
#include "engine/playlist/path_matching.h"
#include "engine/playlist/playlist_file.h"
#include "engine/plugin/plugin_manager.h"
#include "platform/localization.h"
#include "platform/path_names.h"
#include "platform/services.h"
#include "platform/ui/ui_services.h"

namespace {

constexpr char kLastPlaylistKey[] = "Last Playlist";

std::string absolutePath(const std::string& path) {
  if (!path.empty() && path[0] == '/') return path;
  char cwd[PATH_MAX];
  if (!::getcwd(cwd, sizeof cwd)) return path;
  return std::string(cwd) + "/" + path;
}

}  // namespace

// Paths to partial records: playlist files and cue sheets give their tracks, any
// other path a record of its own.
std::vector<PlaylistItemInfoRef> TkDelegate::pathArrayToInfoArray(const std::vector<std::string>& paths) {
  std::vector<PlaylistItemInfoRef> infos;
  for (const auto& given : paths) {
    const std::string path = absolutePath(given);
    const std::string ext = sonara::platform::lowerCaseExtension(path);
    if (ext == "xml") {
      if (auto records = PlaylistArrayController::parsePlaylistFile(path)) {
        infos.insert(infos.end(), records->begin(), records->end());
      }
      continue;
    }
    if (ext == "cue") {
      const auto records = PlaylistArrayController::parseCueFile(path);
      infos.insert(infos.end(), records.begin(), records.end());
      continue;
    }
    if (ext == "m3u" || ext == "m3u8") {
      if (auto records = sonara::playlist::readM3U(path)) infos.insert(infos.end(), records->begin(), records->end());
      continue;
    }
    auto info = std::make_shared<PlaylistItemInfo>();
    info->setFullpath(path);
    infos.push_back(std::move(info));
  }
  return infos;
}

// Every decoder extension, and the lists that name tracks.
std::vector<std::string> TkDelegate::droppableExtensions() {
  auto exts = sonara::PluginManager::sharedInstance().getDecoderExts();
  exts.insert(exts.end(), {"xml", "cue"});
  exts.insert(exts.end(), {"m3u", "m3u8"});
  return exts;
}

void TkDelegate::addDroppedFiles(const std::vector<std::string>& paths) {
  auto& model = *array_tbl_ctl_;
  if (model.fixed()) return;
  std::vector<std::string> absolute;
  for (const auto& p : paths) absolute.push_back(absolutePath(p));
  const auto infos =
      pathArrayToInfoArray(sonara::playlist::pathsMatchingNoCaseExtensions(absolute, droppableExtensions()));
  if (infos.empty()) return;
  model.insertInfos(infos, model.getNumInfos(), true, true);
  model.setSaved(false);
}

void TkDelegate::newPlaylist() {
  SheetDidEndPresentData empty;
  if (array_tbl_ctl_->saved()) {
    replacePlaylist(empty);
  } else {
    confirmReplacePlaylistWithoutSave(std::move(empty));
  }
}

// Empties the list (stopping what played from it), takes the new flags and inserts
// the new records, opening every file.
bool TkDelegate::replacePlaylist(const SheetDidEndPresentData& next) {
  auto& model = *array_tbl_ctl_;
  model.removeAllInfos(true);
  model.setFixed(next.fixed);
  model.setSaved(next.saved);
  model.setCd(next.cd);
  model.setPlaylist_path(next.playlist_path);
  if (!next.infos.empty()) model.insertInfos(next.infos, 0, true, true);
  // A disc none of whose tracks opens would leave an empty list that refuses every
  // file added to it.
  if (model.getNumInfos() == 0 && (next.fixed || next.cd)) {
    model.setFixed(false);
    model.setSaved(true);
    model.setCd(false);
  }
  return true;
}

namespace {

sonara::ui::FilePanel openFilesPanel(const char* message) {
  sonara::ui::FilePanel panel;
  panel.message = sonara::platform::localizedString(message);
  panel.allowed_types = sonara::PluginManager::sharedInstance().getDecoderExts();
  panel.allowed_types.insert(panel.allowed_types.begin(), {"cue", "m3u", "m3u8"});
  panel.allows_multiple_selection = true;
  return panel;
}

}  // namespace

void TkDelegate::willOpenFile() {
  if (array_tbl_ctl_->saved()) {
    openFile();
    return;
  }
  confirmPlaylistSaveAndExecuteBlock([this] { postToMain([](TkDelegate& tk) { tk.openFile(); }); });
}

void TkDelegate::openFile() {
  auto chosen = sonara::platform::uiServices().runOpenPanel(openFilesPanel("Open"));
  if (!chosen) return;
  SheetDidEndPresentData next;
  next.infos = pathArrayToInfoArray(*chosen);
  next.saved = false;
  replacePlaylist(next);
}

void TkDelegate::willAddFile() {
  auto& model = *array_tbl_ctl_;
  auto& ui = sonara::platform::uiServices();
  if (model.fixed() || model.cd()) {
    ui.runAlert({"Non modifiable playlist.", " ", {"OK"}});
    return;
  }
  auto chosen = ui.runOpenPanel(openFilesPanel("Add file"));
  if (!chosen || model.fixed()) return;
  const auto infos = pathArrayToInfoArray(*chosen);
  if (infos.empty()) return;
  model.insertInfos(infos, model.getNumInfos(), true, true);
  model.setSaved(false);
}

void TkDelegate::removeSelection() {
  if (!array_tbl_ctl_->fixed()) array_tbl_ctl_->removeAllSelectedInfoes(true);
}

void TkDelegate::willSelectPlaylist() {
  if (array_tbl_ctl_->saved()) {
    selectPlaylist();
    return;
  }
  confirmPlaylistSaveAndExecuteBlock([this] { postToMain([](TkDelegate& tk) { tk.selectPlaylist(); }); });
}

void TkDelegate::selectPlaylist() {
  sonara::ui::FilePanel panel;
  panel.message = sonara::platform::localizedString("Load playlist");
  panel.allowed_types = {"xml"};
  auto chosen = sonara::platform::uiServices().runOpenPanel(panel);
  if (!chosen || chosen->empty()) return;
  const std::string path = absolutePath(chosen->front());
  auto records = PlaylistArrayController::parsePlaylistFile(path);
  if (!records) return;  // unreadable: the list stays as it was
  SheetDidEndPresentData next;
  next.infos = std::move(*records);
  next.playlist_path = path;
  replacePlaylist(next);
}

// The list under "Last Playlist" of the user defaults; an empty list removes the entry.
void TkDelegate::saveLastPlaylist() {
  auto& defaults = sonara::platform::userDefaults();
  const auto rows = array_tbl_ctl_->getAllInfos();
  if (rows.empty()) {
    defaults.remove(kLastPlaylistKey);
  } else {
    defaults.set(kLastPlaylistKey, sonara::Value(sonara::playlist::playlistDictionary(rows)));
  }
  defaults.synchronize();
}

// Restored without opening the files where the rows carry their durations; the
// saved IDs are kept where they are free.
void TkDelegate::loadLastPlaylist() {
  const sonara::Value stored = sonara::platform::userDefaults().object(kLastPlaylistKey);
  if (!stored.isDict() || stored.asDict().empty()) return;
  const auto records = sonara::playlist::recordsFromPlaylistDictionary(stored.asDict());
  auto& model = *array_tbl_ctl_;
  model.removeAllInfos(true);
  model.setFixed(false);
  model.setSaved(true);
  model.setCd(false);
  if (!records.empty()) model.insertInfos(records, 0, true, false);
}

void TkDelegate::willEditProp(int64_t row) {
  {
    std::lock_guard lock(items_mutex_);
    item_under_edit_ = array_tbl_ctl_->getInfoAtIndex(row);
  }
  if (delegate_) delegate_->propertiesMenuSelected();
}

void TkDelegate::tableViewSelectionDidChange(bool selected) {
  reported_selection_ = selected;
  if (delegate_) delegate_->playlistSelectionDidChange(selected);
}

bool TkDelegate::isPlaylistDirty() const { return array_tbl_ctl_ && !array_tbl_ctl_->saved(); }

uint32_t TkDelegate::getPlaylistItemCount() const {
  return array_tbl_ctl_ ? static_cast<uint32_t>(array_tbl_ctl_->getNumInfos()) : 0;
}
