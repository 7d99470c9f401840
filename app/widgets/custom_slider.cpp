#include "app/widgets/custom_slider.h"

#include <QMouseEvent>
#include <QPainter>

#include "app/widgets/image_store.h"

namespace pelmora {
namespace {

const QString kRail = QStringLiteral("custom_slider_rail");
const QString kKnobOn = QStringLiteral("custom_slider_knob_on");
const QString kKnobOff = QStringLiteral("custom_slider_knob_off");

}  // namespace

CustomSlider::CustomSlider(QWidget* parent) : QWidget(parent) {
  actionTimer_.setSingleShot(true);
  actionTimer_.setInterval(kActionDelayMs);
  connect(&actionTimer_, &QTimer::timeout, this, &CustomSlider::sendScheduledAction);
  cell_.setKnobSize(ImageStore::naturalSize(kKnobOn));
  cell_.setEnabled(isEnabled());
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void CustomSlider::setValue(double value) {
  cell_.setValue(value);
  update();
}

void CustomSlider::setMinimum(double minimum) {
  cell_.setMinimum(minimum);
  update();
}

void CustomSlider::setMaximum(double maximum) {
  cell_.setMaximum(maximum);
  update();
}

QSize CustomSlider::sizeHint() const {
  const QSize rail = ImageStore::naturalSize(kRail);
  const QSizeF knob = cell_.knobSize();
  return QSize(rail.width() + qCeil(knob.width()), qMax(rail.height(), qCeil(knob.height())));
}

QSize CustomSlider::minimumSizeHint() const {
  const QSize hint = sizeHint();
  return QSize(qCeil(cell_.knobSize().width()) * 2, hint.height());
}

// The rail spans the width less half a knob at each end, so the knob stays inside
// the control at both ends; it is centred vertically.
CustomSliderCell& CustomSlider::layoutRail() const {
  const double knobWidth = cell_.knobSize().width();
  const double railHeight = ImageStore::naturalSize(kRail).height();
  cell_.setRailRect(QRectF(knobWidth / 2, (height() - railHeight) / 2,
                           qMax(0.0, width() - knobWidth), railHeight));
  return cell_;
}

void CustomSlider::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const qreal ratio = painter.device()->devicePixelRatioF();
  const QRectF rail = layoutRail().railRect();
  const QSize railSize(qRound(rail.width()), qRound(rail.height()));
  if (!railSize.isEmpty())
    painter.drawPixmap(rail.topLeft(), ImageStore::image(kRail, railSize, ratio));
  const QRectF knob = cell_.knobRect();
  painter.drawPixmap(knob.topLeft(), ImageStore::image(cell_.isEnabled() ? kKnobOn : kKnobOff, ratio));
}

void CustomSlider::changeEvent(QEvent* event) {
  if (event->type() == QEvent::EnabledChange) {
    cell_.setEnabled(isEnabled());
    update();
  }
  QWidget::changeEvent(event);
}

void CustomSlider::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton || !layoutRail().mouseDown(event->position())) return;
  update();
  tellDelegate();
}

void CustomSlider::mouseMoveEvent(QMouseEvent* event) {
  if (!layoutRail().mouseDragged(event->position())) return;
  update();
  tellDelegate();
}

void CustomSlider::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  const bool tracked = cell_.isTracking();
  if (layoutRail().mouseUp(event->position())) actionTimer_.start();
  if (tracked) update();
}

void CustomSlider::tellDelegate() {
  if (delegate_) delegate_->positionUpdated(this, cell_.value(), cell_.knobRect());
}

void CustomSlider::sendScheduledAction() {
  if (cell_.fireScheduledAction()) emit actionTriggered();
}

}  // namespace pelmora
