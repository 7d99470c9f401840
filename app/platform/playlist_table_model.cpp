#include "app/platform/playlist_table_model.h"

#include <QApplication>
#include <QFont>
#include <QIcon>
#include <QStyle>

#include "app/platform/pasteboard_mime.h"

namespace sonara::platform {

void PlaylistTableModel::reload(const ui::PlaylistTableSource* source) {
  beginResetModel();
  rows_.clear();
  const size_t count = source ? source->rowCount() : 0;
  rows_.reserve(count);
  for (size_t i = 0; i < count; ++i) {
    auto row = source->row(i);
    if (!row) break;  // the list shrank meanwhile
    rows_.push_back(std::move(*row));
  }
  endResetModel();
}

int PlaylistTableModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int PlaylistTableModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : ui::kPlaylistColumnCount;
}

QVariant PlaylistTableModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= static_cast<int>(rows_.size())) return {};
  const auto& row = rows_[static_cast<size_t>(index.row())];
  const int column = index.column();
  switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole:
      return QString::fromStdString(row.text[static_cast<size_t>(column)]);
    case Qt::TextAlignmentRole:
      if (column == ui::kNumberColumn || column == ui::kDurationColumn) {
        return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
      }
      return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
    case Qt::FontRole:
      if (row.mark != ui::RowMark::None) {
        QFont bold;
        bold.setBold(true);
        return bold;
      }
      return {};
    case Qt::DecorationRole:
      if (column != ui::kNumberColumn || row.mark == ui::RowMark::None) return {};
      return QApplication::style()->standardIcon(row.mark == ui::RowMark::Playing ? QStyle::SP_MediaPlay
                                                                                   : QStyle::SP_MediaPause);
    case kMarkRole:
      return static_cast<int>(row.mark);
    default:
      return {};
  }
}

QVariant PlaylistTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
  switch (section) {
    case ui::kNumberColumn:
      return tr("#");
    case ui::kTitleColumn:
      return tr("Title");
    case ui::kArtistColumn:
      return tr("Artist");
    case ui::kDurationColumn:
      return tr("Time");
    default:
      return {};
  }
}

Qt::ItemFlags PlaylistTableModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::ItemIsDropEnabled;
  return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled | Qt::ItemIsDropEnabled;
}

QStringList PlaylistTableModel::mimeTypes() const { return {kRowsMimeType, QStringLiteral("text/uri-list")}; }

Qt::DropActions PlaylistTableModel::supportedDropActions() const { return Qt::MoveAction | Qt::CopyAction; }

}  // namespace sonara::platform
