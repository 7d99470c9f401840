#include "app/platform/qt_playlist_view.h"

#include <QLayout>
#include <QThread>

#include <cmath>

#include "engine/api/constants.h"

namespace sonara::platform {

QtPlaylistView::QtPlaylistView(ui::Pasteboard& pasteboard)
    : table_(new PlaylistTableWidget(pasteboard, TYPE_DRAGED_ROW)) {
  const int widths[] = {60, 300, 168, 70};
  for (int i = 0; i < ui::kPlaylistColumnCount; ++i) table_->setColumnWidthQuietly(i, widths[i]);
}

// A table inside a container goes with the container.
QtPlaylistView::~QtPlaylistView() {
  if (table_ && !table_->parent()) delete table_.data();
}

ui::ViewHandle QtPlaylistView::superview() const { return table_ ? table_->parentWidget() : nullptr; }

void QtPlaylistView::addToContainer(ui::ViewHandle container) {
  if (!table_) return;
  auto* widget = static_cast<QWidget*>(container);
  if (!widget) {
    table_->setParent(nullptr);
    return;
  }
  if (widget->layout()) {
    widget->layout()->addWidget(table_);
  } else {
    table_->setParent(widget);
  }
  table_->show();
}

ui::Rect QtPlaylistView::frame() const {
  if (!table_) return {};
  const QRect g = table_->geometry();
  return {static_cast<double>(g.x()), static_cast<double>(g.y()), static_cast<double>(g.width()),
          static_cast<double>(g.height())};
}

void QtPlaylistView::setFrameOrigin(double x, double y) {
  if (!table_) return;
  QRect g = table_->geometry();
  g.moveTopLeft(QPoint(static_cast<int>(x), static_cast<int>(y)));
  table_->setGeometryQuietly(g);
}

void QtPlaylistView::setFrameSize(double width, double height) {
  if (!table_) return;
  QRect g = table_->geometry();
  g.setSize(QSize(static_cast<int>(std::max(0.0, width)), static_cast<int>(std::max(0.0, height))));
  table_->setGeometryQuietly(g);
}

int QtPlaylistView::columnCount() const { return table_ ? table_->playlistModel().columnCount() : 0; }

double QtPlaylistView::columnWidth(int column) const {
  if (!table_ || column < 0 || column >= columnCount()) return 0.0;
  return table_->columnWidth(column);
}

void QtPlaylistView::setColumnWidth(int column, double width) {
  if (!table_ || column < 0 || column >= columnCount()) return;
  table_->setColumnWidthQuietly(column, static_cast<int>(std::lround(width)));
}

void QtPlaylistView::setTableSource(ui::PlaylistTableSource* source) {
  if (table_) table_->setSource(source);
}

void QtPlaylistView::reloadRows() {
  if (!table_) return;
  if (QThread::currentThread() != table_->thread()) {
    QMetaObject::invokeMethod(table_.data(), [table = table_] { table->reloadRows(); }, Qt::QueuedConnection);
    return;
  }
  table_->reloadRows();
}

}  // namespace sonara::platform
