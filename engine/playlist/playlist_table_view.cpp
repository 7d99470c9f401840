#include "engine/playlist/playlist_table_view.h"

#include "engine/playlist/playlist_array_controller.h"

std::optional<PlaylistMenu> PlaylistTableView::menuForEvent(int64_t row) {
  setCurrent_edit_info(nullptr);
  right_clicked_row_ = row;
  if (row < 0 || static_cast<size_t>(row) >= playlist_.getNumInfos()) {
    right_clicked_row_ = -1;
    return std::nullopt;
  }
  auto selection = playlist_.selectionIndexes();
  if (!selection.count(static_cast<size_t>(row))) {
    selection = {static_cast<size_t>(row)};
    playlist_.setSelectionIndexes(selection);
  }
  const bool editable = !playlist_.fixed();
  if (selection.size() > 1) return PlaylistMenu{false, editable, false};
  return PlaylistMenu{true, editable, editable};
}

bool PlaylistTableView::keyDown(char32_t key, bool command) {
  if (key == kDeleteKey || key == kForwardDeleteKey) {
    if (playlist_.fixed()) return false;
    playlist_.removeAllSelectedInfoes(true);
    return true;
  }
  if ((key == U'a' || key == U'A') && command) {
    std::set<size_t> all;
    for (size_t row = 0; row < playlist_.getNumInfos(); ++row) all.insert(row);
    playlist_.setSelectionIndexes(std::move(all));
  }
  return false;
}

bool PlaylistTableView::mouseDown(double x, double y, double width, double height) {
  return x >= 0 && y >= 0 && x < width && y < height;
}

void PlaylistTableView::willEditProp() { setCurrent_edit_info(playlist_.getInfoAtIndex(right_clicked_row_)); }

PlaylistItemInfoRef PlaylistTableView::current_edit_info() const {
  std::lock_guard lock(edit_mutex_);
  return current_edit_info_;
}

void PlaylistTableView::setCurrent_edit_info(PlaylistItemInfoRef info) {
  std::lock_guard lock(edit_mutex_);
  current_edit_info_ = std::move(info);
}
