#include "app/platform/playlist_table_widget.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QDrag>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>

#include "app/platform/pasteboard_mime.h"

namespace sonara::platform {

PlaylistTableWidget::PlaylistTableWidget(ui::Pasteboard& pasteboard, std::string row_type, QWidget* parent)
    : QTableView(parent), pasteboard_(pasteboard), row_type_(std::move(row_type)),
      model_(new PlaylistTableModel(this)) {
  setModel(model_);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setSelectionMode(QAbstractItemView::ExtendedSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setDragEnabled(true);
  setAcceptDrops(true);
  setDropIndicatorShown(true);
  setDragDropMode(QAbstractItemView::DragDrop);
  setShowGrid(false);
  setAlternatingRowColors(true);
  setWordWrap(false);
  verticalHeader()->hide();
  horizontalHeader()->setHighlightSections(false);
  horizontalHeader()->setStretchLastSection(false);
  connect(selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
    if (!restoring_ && source_) source_->selectRows(selectedRowSet());
  });
  connect(this, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex& index) {
    if (source_ && index.isValid()) source_->doubleClicked(index.row());
  });
  connect(horizontalHeader(), &QHeaderView::sectionResized, this, [this] {
    if (!quiet_ && source_) source_->columnResized();
  });
}

void PlaylistTableWidget::setSource(ui::PlaylistTableSource* source) {
  source_ = source;
  reloadRows();
}

void PlaylistTableWidget::reloadRows() {
  restoring_ = true;
  model_->reload(source_);
  QItemSelection selection;
  const int rows = model_->rowCount();
  if (source_) {
    for (size_t row : source_->selectedRows()) {
      if (row >= static_cast<size_t>(rows)) continue;
      const int r = static_cast<int>(row);
      selection.select(model_->index(r, 0), model_->index(r, model_->columnCount() - 1));
    }
  }
  selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
  if (!selection.isEmpty()) selectionModel()->setCurrentIndex(selection.first().topLeft(), QItemSelectionModel::NoUpdate);
  restoring_ = false;
}

std::set<size_t> PlaylistTableWidget::selectedRowSet() const {
  std::set<size_t> rows;
  for (const auto& index : selectionModel()->selectedRows()) rows.insert(static_cast<size_t>(index.row()));
  return rows;
}

std::unique_ptr<QMenu> PlaylistTableWidget::contextMenuFor(int row) {
  if (!source_) return nullptr;
  const auto items = source_->contextMenu(row);
  if (!items) return nullptr;
  auto menu = std::make_unique<QMenu>(this);
  auto add = [&](const QString& text, const char* name, bool enabled, void (ui::PlaylistTableSource::*command)()) {
    QAction* action = menu->addAction(text);
    action->setObjectName(QString::fromLatin1(name));
    action->setEnabled(enabled);
    connect(action, &QAction::triggered, this, [this, command] {
      if (source_) (source_->*command)();
    });
  };
  add(tr("Play"), "play", items->play, &ui::PlaylistTableSource::menuPlay);
  add(tr("Remove"), "remove", items->remove, &ui::PlaylistTableSource::menuRemove);
  menu->addSeparator();
  add(tr("Properties…"), "properties", items->properties, &ui::PlaylistTableSource::menuProperties);
  return menu;
}

void PlaylistTableWidget::contextMenuEvent(QContextMenuEvent* event) {
  const QModelIndex index = indexAt(event->pos());
  if (auto menu = contextMenuFor(index.isValid() ? index.row() : -1)) menu->exec(event->globalPos());
  event->accept();
}

void PlaylistTableWidget::keyPressEvent(QKeyEvent* event) {
  if (source_) {
    char32_t key = 0;
    bool command = event->modifiers().testFlag(Qt::ControlModifier);
    if (event->key() == Qt::Key_Backspace) {
      key = ui::kDeleteKey;
    } else if (event->key() == Qt::Key_Delete) {
      key = ui::kForwardDeleteKey;
    } else if (event->key() == Qt::Key_A) {
      key = U'a';
    } else if (!event->text().isEmpty()) {
      key = event->text().toUcs4().value(0);
    }
    if (key != 0 && source_->keyDown(key, command)) {
      event->accept();
      return;
    }
  }
  QTableView::keyPressEvent(event);
}

std::unique_ptr<QMimeData> PlaylistTableWidget::dragDataForSelection() {
  if (!source_) return nullptr;
  const auto rows = selectedRowSet();
  if (rows.empty() || !source_->writeRows(rows)) return nullptr;
  return std::unique_ptr<QMimeData>(mimeDataFromPasteboard(pasteboard_, row_type_));
}

// Not the base class's drag: its move would remove the rows from the model itself.
void PlaylistTableWidget::startDrag(Qt::DropActions) {
  auto data = dragDataForSelection();
  if (!data) return;
  auto* drag = new QDrag(this);
  drag->setMimeData(data.release());
  drag->exec(Qt::MoveAction | Qt::CopyAction, Qt::MoveAction);
}

int PlaylistTableWidget::dropRowAt(const QPoint& position) const {
  const QModelIndex index = indexAt(position);
  if (!index.isValid()) return model_->rowCount();
  const QRect rect = visualRect(index);
  return position.y() > rect.center().y() ? index.row() + 1 : index.row();
}

ui::DragOperation PlaylistTableWidget::validate(QDropEvent* event) {
  if (!source_ || !event->mimeData()) return ui::DragOperation::None;
  loadPasteboard(pasteboard_, *event->mimeData());
  ui::DropPosition position = ui::DropPosition::Above;
  return source_->validateDrop(dropRowAt(event->position().toPoint()), &position);
}

void PlaylistTableWidget::dragEnterEvent(QDragEnterEvent* event) {
  if (validate(event) == ui::DragOperation::None) {
    event->ignore();
    return;
  }
  event->acceptProposedAction();
}

void PlaylistTableWidget::dragMoveEvent(QDragMoveEvent* event) {
  QTableView::dragMoveEvent(event);  // the drop indicator and scrolling
  const auto operation = validate(event);
  if (operation == ui::DragOperation::None) {
    event->ignore();
    return;
  }
  event->setDropAction(operation == ui::DragOperation::Move ? Qt::MoveAction : Qt::CopyAction);
  event->accept();
}

void PlaylistTableWidget::dropEvent(QDropEvent* event) {
  const auto operation = validate(event);
  const int row = dropRowAt(event->position().toPoint());
  setState(QAbstractItemView::NoState);
  viewport()->update();
  if (operation == ui::DragOperation::None || !source_->acceptDrop(row, ui::DropPosition::Above)) {
    event->ignore();
    return;
  }
  event->setDropAction(operation == ui::DragOperation::Move ? Qt::MoveAction : Qt::CopyAction);
  event->accept();
}

void PlaylistTableWidget::resizeEvent(QResizeEvent* event) {
  QTableView::resizeEvent(event);
  if (!quiet_ && source_) source_->viewResized();
}

void PlaylistTableWidget::setColumnWidthQuietly(int column, int width) {
  quiet_ = true;
  setColumnWidth(column, std::max(0, width));
  quiet_ = false;
}

void PlaylistTableWidget::setGeometryQuietly(const QRect& geometry) {
  quiet_ = true;
  setGeometry(geometry);
  quiet_ = false;
}

}  // namespace sonara::platform
