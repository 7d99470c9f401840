// The playlist table's behaviour, behind whatever draws it: which context-menu items
// a click offers, the delete and select-all keys, which clicks reach the table, and
// the row whose properties were asked for.
#pragma once

#include <cstdint>
#include <mutex>
#include <optional>

#include "engine/playlist/playlist_item_info.h"

class PlaylistArrayController;

// The context menu's items: play the row, remove the selection, show its properties.
struct PlaylistMenu {
  bool play = false;
  bool remove = false;
  bool properties = false;
};

class PlaylistTableView {
 public:
  static constexpr char32_t kDeleteKey = 0x7F;
  static constexpr char32_t kForwardDeleteKey = 0xF728;

  explicit PlaylistTableView(PlaylistArrayController& playlist) : playlist_(playlist) {}

  // A context click on `row` (-1: below the last row): the menu to show, or none.
  std::optional<PlaylistMenu> menuForEvent(int64_t row);
  // One key pressed with the table focused; true when the table consumed it (the rest
  // goes to the toolkit's own handling).
  bool keyDown(char32_t key, bool command);
  // A click at (x, y) reaches the table only inside its bounds.
  static bool mouseDown(double x, double y, double width, double height);
  // The properties item: the record at the right-clicked row becomes the one edited.
  void willEditProp();
  int64_t rightClickedRow() const { return right_clicked_row_; }
  PlaylistItemInfoRef current_edit_info() const;
  void setCurrent_edit_info(PlaylistItemInfoRef info);
  static constexpr bool preservesContentDuringLiveResize() { return false; }

 private:
  PlaylistArrayController& playlist_;
  mutable std::mutex edit_mutex_;
  PlaylistItemInfoRef current_edit_info_;
  int64_t right_clicked_row_ = -1;
};
