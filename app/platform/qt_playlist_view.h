// The engine's playlist view in the desktop program: the playlist table (a
// QTableView, its own scroll area) placed in the client's container widget. The
// handle the engine passes around is the QWidget*.
#pragma once

#include <QPointer>

#include "app/platform/playlist_table_widget.h"
#include "platform/ui/ui_services.h"

namespace sonara::platform {

class QtPlaylistView final : public ui::PlaylistView {
 public:
  explicit QtPlaylistView(ui::Pasteboard& pasteboard);
  ~QtPlaylistView() override;
  QtPlaylistView(const QtPlaylistView&) = delete;
  QtPlaylistView& operator=(const QtPlaylistView&) = delete;

  ui::ViewHandle superview() const override;
  // Into the container's layout when it has one, else placed by the frame calls.
  void addToContainer(ui::ViewHandle container) override;
  ui::Rect frame() const override;
  void setFrameOrigin(double x, double y) override;
  void setFrameSize(double width, double height) override;
  int columnCount() const override;
  double columnWidth(int column) const override;
  void setColumnWidth(int column, double width) override;
  void setTableSource(ui::PlaylistTableSource* source) override;
  void reloadRows() override;

  // Null once a container that took the table has destroyed it.
  PlaylistTableWidget* table() const { return table_; }

 private:
  QPointer<PlaylistTableWidget> table_;
};

}  // namespace sonara::platform
