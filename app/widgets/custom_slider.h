// The seek slider: a rail with a knob, drawn from images. While the knob is dragged
// the delegate hears of each position (for the time popover); on release the action
// follows 0.1 s later, once for releases that come faster than that, and only if the
// slider is still enabled then.
#pragma once

#include <QTimer>
#include <QWidget>

#include "app/widgets/custom_slider_cell.h"

namespace pelmora {

class CustomSlider;

class CustomSliderDelegate {
public:
  virtual ~CustomSliderDelegate() = default;
  // time: the slider's value now; knobRect: the knob, in the slider's coordinates.
  virtual void positionUpdated(CustomSlider* slider, double time, const QRectF& knobRect) = 0;
};

class CustomSlider : public QWidget {
  Q_OBJECT
public:
  static constexpr int kActionDelayMs = 100;

  explicit CustomSlider(QWidget* parent = nullptr);

  double value() const { return cell_.value(); }
  void setValue(double value);  // the playback position; redraws
  double minimum() const { return cell_.minimum(); }
  void setMinimum(double minimum);
  double maximum() const { return cell_.maximum(); }
  void setMaximum(double maximum);

  bool isTracking() const { return cell_.isTracking(); }
  bool isHighlighted() const { return cell_.isHighlighted(); }
  bool isActionPending() const { return cell_.isActionPending(); }
  QRectF knobRect() const { return layoutRail().knobRect(); }
  const CustomSliderCell& cell() const { return layoutRail(); }

  CustomSliderDelegate* delegate() const { return delegate_; }
  void setDelegate(CustomSliderDelegate* delegate) { delegate_ = delegate; }

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

signals:
  // The user let go of the knob: seek to value().
  void actionTriggered();

protected:
  void paintEvent(QPaintEvent* event) override;
  void changeEvent(QEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

private:
  // The rail follows the widget's size, which a hidden widget changes without a
  // resize event: so it is laid out again wherever the geometry is used.
  CustomSliderCell& layoutRail() const;
  void tellDelegate();
  void sendScheduledAction();

  mutable CustomSliderCell cell_;
  CustomSliderDelegate* delegate_ = nullptr;
  QTimer actionTimer_;
};

}  // namespace pelmora
