#include "engine/controller/playlist_table_binding.h"

#include <string>

#include "engine/api/constants.h"
#include "engine/controller/controller_entry.h"
#include "engine/controller/playlist_view_fitting.h"
#include "engine/controller/tk_delegate.h"
#include "engine/playlist/playlist_array_controller.h"
#include "engine/playlist/playlist_table_view.h"

static_assert(sonara::ui::kDeleteKey == PlaylistTableView::kDeleteKey &&
              sonara::ui::kForwardDeleteKey == PlaylistTableView::kForwardDeleteKey);

using sonara::ui::DragOperation;
using sonara::ui::DropPosition;
using sonara::ui::RowMark;

// Every event of the view is main-thread work for the engine: a client event it
// causes may release the controller, which then outlives the handler (see
// ControllerEntry). Each handler that may change the selection has the view redrawn,
// as the table shows the playlist's own selection.

size_t PlaylistTableBinding::rowCount() const { return tk_.array_tbl_ctl().getNumInfos(); }

std::optional<sonara::ui::PlaylistRow> PlaylistTableBinding::row(size_t index) const {
  auto info = tk_.array_tbl_ctl().getInfoAtIndex(static_cast<int64_t>(index));
  if (!info) return std::nullopt;
  sonara::ui::PlaylistRow shown;
  shown.text[sonara::ui::kNumberColumn] = std::to_string(index + 1);
  shown.text[sonara::ui::kTitleColumn] = info->title();
  shown.text[sonara::ui::kArtistColumn] = info->artist();
  shown.text[sonara::ui::kDurationColumn] = TkDurationValueTransformer::transformedValue(info->duration());
  // The status image names the controller gives the playing row.
  const std::string status = info->get(TABLE_KEY_STATUS).asString();
  if (status == "playing_indicator.png") shown.mark = RowMark::Playing;
  if (status == "pause.png") shown.mark = RowMark::Paused;
  return shown;
}

std::set<size_t> PlaylistTableBinding::selectedRows() const { return tk_.array_tbl_ctl().selectionIndexes(); }

void PlaylistTableBinding::selectRows(std::set<size_t> rows) {
  ControllerEntry entry;
  tk_.array_tbl_ctl().setSelectionIndexes(std::move(rows));
  tk_.tableViewSelectionDidChange(!tk_.array_tbl_ctl().selectionIndexes().empty());
}

void PlaylistTableBinding::doubleClicked(int64_t row) {
  ControllerEntry entry;
  tk_.playlistDoubleClicked(row);
  tk_.playlistRowsChanged();
}

std::optional<sonara::ui::PlaylistMenuItems> PlaylistTableBinding::contextMenu(int64_t row) {
  ControllerEntry entry;
  const auto menu = tk_.tableView().menuForEvent(row);
  tk_.playlistRowsChanged();
  if (!menu) return std::nullopt;
  return sonara::ui::PlaylistMenuItems{menu->play, menu->remove, menu->properties};
}

void PlaylistTableBinding::menuPlay() {
  ControllerEntry entry;
  tk_.playFromContextMenu();
  tk_.playlistRowsChanged();
}

void PlaylistTableBinding::menuRemove() {
  ControllerEntry entry;
  tk_.removeFromContextMenu();
}

void PlaylistTableBinding::menuProperties() {
  ControllerEntry entry;
  tk_.propertiesFromContextMenu();
}

bool PlaylistTableBinding::keyDown(char32_t key, bool command) {
  ControllerEntry entry;
  const bool consumed = tk_.tableView().keyDown(key, command);
  tk_.playlistRowsChanged();
  return consumed;
}

bool PlaylistTableBinding::writeRows(const std::set<size_t>& rows) {
  ControllerEntry entry;
  const bool started = tk_.tableViewWriteRowsWithIndexes(rows);
  tk_.playlistRowsChanged();
  return started;
}

DragOperation PlaylistTableBinding::validateDrop(int64_t row, DropPosition* position) {
  ControllerEntry entry;
  TkDelegate::DropOperation operation =
      position && *position == DropPosition::On ? TkDelegate::DropOperation::On : TkDelegate::DropOperation::Above;
  const auto drag = tk_.tableViewValidateDrop(row, &operation);
  if (position) *position = operation == TkDelegate::DropOperation::On ? DropPosition::On : DropPosition::Above;
  switch (drag) {
    case TkDelegate::DragOperation::Copy:
      return DragOperation::Copy;
    case TkDelegate::DragOperation::Move:
      return DragOperation::Move;
    case TkDelegate::DragOperation::None:
      break;
  }
  return DragOperation::None;
}

bool PlaylistTableBinding::acceptDrop(int64_t row, DropPosition position) {
  ControllerEntry entry;
  const bool accepted = tk_.tableViewAcceptDrop(
      row, position == DropPosition::On ? TkDelegate::DropOperation::On : TkDelegate::DropOperation::Above);
  tk_.playlistRowsChanged();
  return accepted;
}

void PlaylistTableBinding::viewResized() {
  ControllerEntry entry;
  tk_.windowResized();
}

void PlaylistTableBinding::columnResized() {
  ControllerEntry entry;
  tk_.tableViewColumnDidResize();
}
