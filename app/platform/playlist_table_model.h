// The engine's playlist as a Qt table model: four columns (number, title, artist,
// duration), the playing row in bold with a play or pause icon. The rows are read
// from the engine's table source at each reload and kept until the next, so that
// painting never waits on the engine.
#pragma once

#include <QAbstractTableModel>

#include <vector>

#include "platform/ui/playlist_table_source.h"

namespace sonara::platform {

class PlaylistTableModel final : public QAbstractTableModel {
 public:
  // The row's RowMark as an int, for whoever draws or checks the marks.
  static constexpr int kMarkRole = Qt::UserRole + 1;

  using QAbstractTableModel::QAbstractTableModel;

  // Reads every row again from `source` (null: no rows).
  void reload(const ui::PlaylistTableSource* source);

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  // What the view accepts dropped: rows of the table and files.
  QStringList mimeTypes() const override;
  Qt::DropActions supportedDropActions() const override;

 private:
  std::vector<ui::PlaylistRow> rows_;
};

}  // namespace sonara::platform
