#include "app/platform/qt_progress_panel.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace sonara::platform {
namespace {
// The bar counts in steps of this many per second of the track.
constexpr double kStepsPerSecond = 10.0;
}  // namespace

QtProgressPanel::QtProgressPanel(QWidget* parent)
    : QDialog(parent), title_(new QLabel(this)), bar_(new QProgressBar(this)),
      cancel_(new QPushButton(tr("Cancel"), this)) {
  setWindowTitle(tr("Loading into memory"));
  setWindowModality(Qt::ApplicationModal);
  bar_->setMinimumWidth(320);
  bar_->setTextVisible(false);
  auto* row = new QHBoxLayout;
  row->addWidget(bar_, 1);
  row->addWidget(cancel_);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(title_);
  layout->addLayout(row);
  connect(cancel_, &QPushButton::clicked, this, [this] {
    if (cancel_handler_) cancel_handler_();
  });
}

void QtProgressPanel::setCancelHandler(std::function<void()> cancel) { cancel_handler_ = std::move(cancel); }

void QtProgressPanel::setTitle(const std::string& title) { title_->setText(QString::fromStdString(title)); }

void QtProgressPanel::setRange(double minimum, double maximum) {
  minimum_ = minimum;
  maximum_ = std::max(minimum, maximum);
  bar_->setRange(0, static_cast<int>(std::lround((maximum_ - minimum_) * kStepsPerSecond)));
  showValue();
}

void QtProgressPanel::setValue(double value) {
  value_ = value;
  showValue();
}

void QtProgressPanel::showValue() {
  const double clamped = std::clamp(value_, minimum_, maximum_);
  bar_->setValue(static_cast<int>(std::lround((clamped - minimum_) * kStepsPerSecond)));
}

void QtProgressPanel::show() {
  if (auto* owner = parentWidget()) {
    adjustSize();
    move(owner->window()->geometry().center() - rect().center());
  }
  QDialog::show();
  raise();
}

void QtProgressPanel::close() { hide(); }

bool QtProgressPanel::visible() const { return isVisible(); }

void QtProgressPanel::reject() {
  if (cancel_handler_) cancel_handler_();
}

void QtProgressPanel::closeEvent(QCloseEvent* event) {
  event->ignore();  // the engine closes the panel once the decode has stopped
  reject();
}

}  // namespace sonara::platform
