#include "app/window/error_panel.h"

#include <QAction>
#include <QDialogButtonBox>
#include <QMenu>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QVBoxLayout>

#include <memory>

#include "app/controller/status_texts.h"

namespace pelmora {

ErrorPanel::ErrorPanel(const QString& application_name, QWidget* parent) : QDialog(parent) {
  setWindowTitle(tr("%1 Error").arg(application_name));
  auto* column = new QVBoxLayout(this);
  text_ = new QPlainTextEdit(this);
  text_->setReadOnly(true);
  text_->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(text_, &QWidget::customContextMenuRequested, this, &ErrorPanel::showContextMenu);
  column->addWidget(text_);  // follows the panel's size
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::hide);
  column->addWidget(buttons);
  resize(440, 220);
}

void ErrorPanel::report(const std::string& message, const std::string& file_name) {
  if (!isVisible()) text_->clear();
  text_->moveCursor(QTextCursor::End);
  text_->insertPlainText(QString::fromStdString(app::errorPanelEntry(message, file_name)));
  show();
  raise();
  activateWindow();
  text_->verticalScrollBar()->setValue(text_->verticalScrollBar()->maximum());
}

QString ErrorPanel::text() const { return text_->toPlainText(); }

// Only cut, copy and paste are offered: the text is a record, not a document.
void ErrorPanel::showContextMenu(const QPoint& at) {
  std::unique_ptr<QMenu> menu(text_->createStandardContextMenu());
  for (QAction* action : menu->actions()) {
    const QString name = action->objectName();
    const bool kept = name == "edit-cut" || name == "edit-copy" || name == "edit-paste";
    if (!kept) action->setEnabled(false);
  }
  menu->exec(text_->mapToGlobal(at));
}

}  // namespace pelmora
