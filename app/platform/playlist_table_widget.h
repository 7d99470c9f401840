// The playlist table as a Qt item view: shows the engine's rows and sends the user's
// actions to the engine's table source (selection, double click, context menu,
// delete and select-all keys, dragging rows, dropping rows and files, resizing).
// Changes the engine itself makes come back through reloadRows().
#pragma once

#include <QTableView>

#include <memory>
#include <set>
#include <string>

#include "app/platform/playlist_table_model.h"
#include "platform/ui/ui_services.h"

class QMenu;
class QMimeData;

namespace sonara::platform {

class PlaylistTableWidget final : public QTableView {
 public:
  // Drags go through `pasteboard`, rows of the table under `row_type`.
  PlaylistTableWidget(ui::Pasteboard& pasteboard, std::string row_type, QWidget* parent = nullptr);

  void setSource(ui::PlaylistTableSource* source);
  ui::PlaylistTableSource* source() const { return source_; }
  // Reads the rows and the selection again from the source.
  void reloadRows();
  PlaylistTableModel& playlistModel() { return *model_; }
  std::set<size_t> selectedRowSet() const;

  // The menu a context click on `row` (-1: below the rows) shows, or null when there
  // is none; its actions are named "play", "remove" and "properties".
  std::unique_ptr<QMenu> contextMenuFor(int row);
  // What a drag of the selected rows carries, or null when the engine refuses it.
  std::unique_ptr<QMimeData> dragDataForSelection();
  // The row a drop at `position` (viewport coordinates) lands above; the row count
  // below the last row.
  int dropRowAt(const QPoint& position) const;

  // Sizes set for the engine, not by the user: the source is not told of them.
  void setColumnWidthQuietly(int column, int width);
  void setGeometryQuietly(const QRect& geometry);

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void startDrag(Qt::DropActions supported) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  // What dropping `event`'s data would do, with the pasteboard holding that data.
  ui::DragOperation validate(QDropEvent* event);

  ui::Pasteboard& pasteboard_;
  std::string row_type_;
  PlaylistTableModel* model_;  // a child of the view
  ui::PlaylistTableSource* source_ = nullptr;
  bool restoring_ = false;  // a reload puts the engine's selection back
  bool quiet_ = false;      // sizes set for the engine
};

}  // namespace sonara::platform
