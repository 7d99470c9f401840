#include "app/platform/qt_cd_panel.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace sonara::platform {

QtCdPanel::QtCdPanel(QWidget* parent)
    : QDialog(parent), discs_(new QComboBox(this)), ok_(new QPushButton(tr("OK"), this)),
      cancel_(new QPushButton(tr("Cancel"), this)) {
  setWindowTitle(tr("Open Audio CD"));
  auto* buttons = new QDialogButtonBox(this);
  buttons->addButton(cancel_, QDialogButtonBox::RejectRole);
  buttons->addButton(ok_, QDialogButtonBox::AcceptRole);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(new QLabel(tr("Choose an audio CD:"), this));
  layout->addWidget(discs_);
  layout->addWidget(buttons);
  discs_->setMinimumWidth(280);
  ok_->setEnabled(false);
  // The buttons only report; the engine closes the panel when it is done.
  connect(ok_, &QPushButton::clicked, this, [this] {
    if (handlers_.ok) handlers_.ok();
  });
  connect(cancel_, &QPushButton::clicked, this, [this] { reject(); });
  connect(discs_, &QComboBox::activated, this, [this](int index) {
    if (handlers_.selected) handlers_.selected(index);
  });
}

void QtCdPanel::setHandlers(Handlers handlers) { handlers_ = std::move(handlers); }

void QtCdPanel::setLabels(std::vector<std::string> labels) {
  discs_->clear();
  for (const auto& label : labels) discs_->addItem(QString::fromStdString(label));
  discs_->setCurrentIndex(-1);
}

void QtCdPanel::selectIndex(int index) { discs_->setCurrentIndex(index >= 0 && index < discs_->count() ? index : -1); }

int QtCdPanel::selectedIndex() const { return discs_->currentIndex(); }

void QtCdPanel::setOkEnabled(bool enabled) { ok_->setEnabled(enabled); }

void QtCdPanel::focusOk() {
  ok_->setDefault(true);
  ok_->setFocus();
}

void QtCdPanel::orderFront() {
  show();
  raise();
  activateWindow();
}

void QtCdPanel::close() { hide(); }

bool QtCdPanel::visible() const { return isVisible(); }

void QtCdPanel::reject() {
  if (handlers_.cancel) {
    handlers_.cancel();
  } else {
    hide();
  }
}

void QtCdPanel::closeEvent(QCloseEvent* event) {
  event->ignore();  // the engine hides the panel in its handler
  reject();
}

}  // namespace sonara::platform
