#include "app/widgets/custom_slider_cell.h"

#include <algorithm>

namespace pelmora {

void CustomSliderCell::setEnabled(bool enabled) {
  enabled_ = enabled;
  if (!enabled) highlighted_ = false;
}

double CustomSliderCell::clampedValue() const {
  // Not std::clamp: a range given upside down must not be undefined behaviour.
  return std::max(minimum_, std::min(value_, maximum_));
}

QRectF CustomSliderCell::knobRect() const {
  double x = railRect_.x() - knobSize_.width() / 2;
  const double span = maximum_ - minimum_;
  if (span != 0)
    x += (clampedValue() - minimum_) * railRect_.width() / span;
  const double y = railRect_.y() + (railRect_.height() - knobSize_.height()) / 2;
  return QRectF(QPointF(x, y), knobSize_);
}

double CustomSliderCell::valueForPoint(const QPointF& point) const {
  if (railRect_.width() <= 0) return minimum_;
  const double value =
      minimum_ + (maximum_ - minimum_) * (point.x() - railRect_.x()) / railRect_.width();
  return std::max(minimum_, std::min(value, maximum_));
}

bool CustomSliderCell::mouseDown(const QPointF& point) {
  if (!enabled_) return false;
  highlighted_ = true;
  tracking_ = true;
  value_ = valueForPoint(point);
  return true;
}

bool CustomSliderCell::mouseDragged(const QPointF& point) {
  if (!tracking_) return false;
  value_ = valueForPoint(point);
  return true;
}

bool CustomSliderCell::mouseUp(const QPointF& point) {
  if (!tracking_) return false;
  tracking_ = false;
  highlighted_ = false;
  value_ = valueForPoint(point);
  if (actionPending_) return false;
  actionPending_ = true;
  return true;
}

bool CustomSliderCell::fireScheduledAction() {
  actionPending_ = false;
  return enabled_;
}

}  // namespace pelmora
