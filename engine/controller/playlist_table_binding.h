// The engine's side of a drawn playlist table: the rows of the controller's playlist
// as the view shows them, and the view's events passed to the controller's table
// handlers. Owned by the controller, which hands it to its PlaylistView.
#pragma once

#include "platform/ui/playlist_table_source.h"

class TkDelegate;

class PlaylistTableBinding final : public sonara::ui::PlaylistTableSource {
 public:
  explicit PlaylistTableBinding(TkDelegate& controller) : tk_(controller) {}

  size_t rowCount() const override;
  std::optional<sonara::ui::PlaylistRow> row(size_t index) const override;
  std::set<size_t> selectedRows() const override;

  void selectRows(std::set<size_t> rows) override;
  void doubleClicked(int64_t row) override;
  std::optional<sonara::ui::PlaylistMenuItems> contextMenu(int64_t row) override;
  void menuPlay() override;
  void menuRemove() override;
  void menuProperties() override;
  bool keyDown(char32_t key, bool command) override;

  bool writeRows(const std::set<size_t>& rows) override;
  sonara::ui::DragOperation validateDrop(int64_t row, sonara::ui::DropPosition* position) override;
  bool acceptDrop(int64_t row, sonara::ui::DropPosition position) override;

  void viewResized() override;
  void columnResized() override;

 private:
  TkDelegate& tk_;
};
