// The playlist table's commands: its context menu, rows dragged within it, and
// files dropped on it; and the CD panel, whose confirmed disc becomes the list.
#include "engine/api/constants.h"
#include "engine/api/kiv_sonara_delegate.h"
#include "engine/controller/tk_delegate.h"
#include "engine/playlist/cd_panel.h"
#include "engine/playlist/path_matching.h"
#include "engine/playlist/playlist_array_controller.h"
#include "engine/playlist/playlist_table_view.h"
#include "platform/log.h"
#include "platform/path_names.h"
#include "platform/services.h"
#include "platform/ui/ui_services.h"

using sonara::platform::logLine;

namespace {

// The dropped paths that would become rows: folders searched, unplayable files left out.
std::vector<std::string> playablePathsOf(const std::vector<std::string>& dropped) {
  return sonara::playlist::pathsMatchingNoCaseExtensions(dropped, TkDelegate::droppableExtensions());
}

}  // namespace

void TkDelegate::playFromContextMenu() {
  if (!reconnectIfNeeded()) return;
  {
    std::lock_guard lock(monitor_);
    auto& model = *array_tbl_ctl_;
    if (playing_) {
      playStop();
    } else {
      model.clearErrorTracks();
    }
    const int64_t row = view_tbl_->rightClickedRow();
    if (row < 0) {
      logLine("Invalid Row");
      return;
    }
    if (auto info = model.getInfoAtIndex(row)) {
      model.pointToPlayOrderByTrackID(info->track_id());
      startCurrentInternal(false);
    }
  }
  array_tbl_ctl_->setSelectionIndexes({});
}

void TkDelegate::removeFromContextMenu() {
  if (!array_tbl_ctl_->fixed()) removeSelection();
}

void TkDelegate::propertiesFromContextMenu() {
  view_tbl_->willEditProp();
  {
    std::lock_guard lock(items_mutex_);
    item_under_edit_ = view_tbl_->current_edit_info();
  }
  if (delegate_) delegate_->propertiesMenuSelected();
}

bool TkDelegate::tableViewWriteRowsWithIndexes(const std::set<size_t>& rows) {
  auto& model = *array_tbl_ctl_;
  if (model.fixed() || rows.empty()) return false;
  const auto selection = model.selectionIndexes();
  const bool all_selected =
      std::all_of(rows.begin(), rows.end(), [&](size_t row) { return selection.count(row) > 0; });
  if (!all_selected) model.setSelectionIndexes({*rows.begin()});
  auto& pasteboard = sonara::platform::uiServices().pasteboard();
  pasteboard.clear();
  pasteboard.setRows(TYPE_DRAGED_ROW, std::vector<uint64_t>(rows.begin(), rows.end()));
  return true;
}

TkDelegate::DragOperation TkDelegate::tableViewValidateDrop(int64_t /*row*/, DropOperation* operation) {
  if (array_tbl_ctl_->fixed()) return DragOperation::None;
  auto& pasteboard = sonara::platform::uiServices().pasteboard();
  if (pasteboard.rows(TYPE_DRAGED_ROW)) {
    if (operation) *operation = DropOperation::Above;
    return DragOperation::Move;
  }
  const auto files = pasteboard.fileNames();
  if (!files.empty() && !playablePathsOf(files).empty()) return DragOperation::Copy;
  return DragOperation::None;
}

bool TkDelegate::tableViewAcceptDrop(int64_t row, DropOperation /*operation*/) {
  auto& model = *array_tbl_ctl_;
  if (model.fixed() || row < 0) return false;
  auto& pasteboard = sonara::platform::uiServices().pasteboard();
  if (auto rows = pasteboard.rows(TYPE_DRAGED_ROW)) {
    if (rows->empty() || static_cast<int64_t>(rows->front()) == row) return false;
    model.setSaved(false);
    return model.moveSelectedInfoesFrom(static_cast<size_t>(rows->front()), static_cast<size_t>(row));
  }
  const auto infos = pathArrayToInfoArray(playablePathsOf(pasteboard.fileNames()));
  if (infos.empty()) return false;
  const size_t at = std::min(static_cast<size_t>(row), model.getNumInfos());
  model.insertInfos(infos, at, true, true);
  model.setSaved(false);
  return true;
}

void TkDelegate::showCDPanel() {
  if (array_tbl_ctl_->saved()) {
    cd_panel_->makeKeyAndOrderFront();
    return;
  }
  confirmPlaylistSaveAndExecuteBlock([this] { cd_panel_->makeKeyAndOrderFront(); });
}

// The disc becomes a fixed CD list, titled by its track files' names.
void TkDelegate::CDSelectionDidOK() {
  if (playing_) return;
  const auto paths = cd_panel_->getCDContentPathsAtIndex(cd_panel_->getSelectedIndex());
  if (paths && !paths->empty()) {
    SheetDidEndPresentData next;
    for (const auto& path : *paths) {
      auto info = std::make_shared<PlaylistItemInfo>();
      const std::string name = sonara::platform::lastPathComponent(path);
      const std::string ext = sonara::platform::pathExtension(name);
      info->setTitle(ext.empty() ? name : name.substr(0, name.size() - ext.size() - 1));
      info->setFullpath(path);
      next.infos.push_back(std::move(info));
    }
    next.fixed = true;
    next.saved = true;
    next.cd = true;
    replacePlaylist(next);
  }
  cd_panel_->close();
}
