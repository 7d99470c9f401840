// The seek slider's state and geometry, apart from any window so that it can be
// driven by plain calls: the value within [minimum, maximum], the knob's rectangle on
// the rail, the value under a point, and the mouse tracking that ends in one deferred
// action however quickly the mouse is released twice.
#pragma once

#include <QPointF>
#include <QRectF>
#include <QSizeF>

namespace pelmora {

class CustomSliderCell {
public:
  double value() const { return value_; }
  void setValue(double value) { value_ = value; }
  double minimum() const { return minimum_; }
  void setMinimum(double minimum) { minimum_ = minimum; }
  double maximum() const { return maximum_; }
  void setMaximum(double maximum) { maximum_ = maximum; }

  bool isEnabled() const { return enabled_; }
  void setEnabled(bool enabled);  // disabling also clears the highlight
  bool isHighlighted() const { return highlighted_; }
  bool isTracking() const { return tracking_; }
  bool isActionPending() const { return actionPending_; }

  // Where the rail image is drawn, and the knob image's size.
  QRectF railRect() const { return railRect_; }
  void setRailRect(const QRectF& rect) { railRect_ = rect; }
  QSizeF knobSize() const { return knobSize_; }
  void setKnobSize(const QSizeF& size) { knobSize_ = size; }

  // Centred on the rail at the value's place; at the rail's start when the range is empty.
  QRectF knobRect() const;
  double valueForPoint(const QPointF& point) const;

  // Mouse tracking. Down and drag return true when the value moved under the mouse and
  // the delegate is to hear of it; up returns true when the action is to be scheduled
  // (none pending yet).
  bool mouseDown(const QPointF& point);
  bool mouseDragged(const QPointF& point);
  bool mouseUp(const QPointF& point);
  // The scheduled action's moment: true when it is to be sent (still enabled).
  bool fireScheduledAction();

private:
  double clampedValue() const;

  double value_ = 0;
  double minimum_ = 0;
  double maximum_ = 1;
  bool enabled_ = true;
  bool highlighted_ = false;
  bool tracking_ = false;
  bool actionPending_ = false;
  QRectF railRect_;
  QSizeF knobSize_;
};

}  // namespace pelmora
