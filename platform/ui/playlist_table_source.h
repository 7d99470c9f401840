// What a drawn playlist table needs from the engine: the rows to show (the text of
// each column and whether the row is the one playing), and where the table's events
// go (selection, double click, context menu, keys, drags and drops, resizing). The
// engine implements it and hands it to its PlaylistView; the view reads the rows
// again whenever the engine says they changed. Every call is on the main thread.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <set>
#include <string>

namespace sonara::ui {

enum PlaylistColumn : int { kNumberColumn = 0, kTitleColumn, kArtistColumn, kDurationColumn, kPlaylistColumnCount };

// The playing row is marked, and so is a paused one.
enum class RowMark { None, Playing, Paused };

struct PlaylistRow {
  // Indexed by PlaylistColumn: the position counted from 1, title, artist, duration.
  std::array<std::string, kPlaylistColumnCount> text;
  RowMark mark = RowMark::None;
};

// The items a context click offers; each one enabled or not.
struct PlaylistMenuItems {
  bool play = false;
  bool remove = false;
  bool properties = false;
};

// The keys the table handles itself, as keyDown() receives them.
inline constexpr char32_t kDeleteKey = 0x7F;
inline constexpr char32_t kForwardDeleteKey = 0xF728;

enum class DropPosition { On, Above };
enum class DragOperation { None, Copy, Move };

class PlaylistTableSource {
 public:
  virtual ~PlaylistTableSource() = default;

  virtual size_t rowCount() const = 0;
  // Nothing for a row past the end.
  virtual std::optional<PlaylistRow> row(size_t index) const = 0;
  virtual std::set<size_t> selectedRows() const = 0;

  // The user changed the selection.
  virtual void selectRows(std::set<size_t> rows) = 0;
  virtual void doubleClicked(int64_t row) = 0;
  // A context click on `row` (-1: below the last row): the menu to show, or none.
  virtual std::optional<PlaylistMenuItems> contextMenu(int64_t row) = 0;
  virtual void menuPlay() = 0;
  virtual void menuRemove() = 0;
  virtual void menuProperties() = 0;
  // One key with the table focused (the delete keys above, letters); true when the
  // table consumed it.
  virtual bool keyDown(char32_t key, bool command) = 0;

  // A drag of these rows starts: the engine puts them on the pasteboard. False: no drag.
  virtual bool writeRows(const std::set<size_t>& rows) = 0;
  // What a drop of the pasteboard's contents at `row` would do; `position` may be
  // retargeted.
  virtual DragOperation validateDrop(int64_t row, DropPosition* position) = 0;
  virtual bool acceptDrop(int64_t row, DropPosition position) = 0;

  // The view's frame or one of its columns was resized by the user.
  virtual void viewResized() = 0;
  virtual void columnResized() = 0;
};

}  // namespace sonara::ui
