// The seek popover: a small borderless window beside the slider's knob showing the
// knob's time. PopoverForCustomSliderViewController owns the content (one text
// field); SliderPopover is the window that shows it next to a rectangle of a view.
#pragma once

#include <QLabel>
#include <QPointer>
#include <QWidget>

namespace pelmora {

class PopoverForCustomSliderViewController {
public:
  PopoverForCustomSliderViewController();
  ~PopoverForCustomSliderViewController();
  PopoverForCustomSliderViewController(const PopoverForCustomSliderViewController&) = delete;
  PopoverForCustomSliderViewController& operator=(const PopoverForCustomSliderViewController&) = delete;

  QWidget* view() const { return view_; }
  QLabel* textField() const { return textField_; }
  // The knob's time as "m:ss".
  void setTime(double seconds);

private:
  // Owned here until a popover adopts it, then by the popover's window.
  QPointer<QWidget> view_;
  QLabel* textField_ = nullptr;
};

class SliderPopover;

class SliderPopoverDelegate {
public:
  virtual ~SliderPopoverDelegate() = default;
  // Asked by performClose; the default lets the popover close.
  virtual bool popoverShouldClose(SliderPopover*) { return true; }
  virtual void popoverDidClose(SliderPopover*) {}
};

class SliderPopover : public QWidget {
  Q_OBJECT
public:
  static constexpr int kArrowHeight = 6;
  static constexpr int kGap = 2;  // between the arrow's tip and the rectangle

  explicit SliderPopover(QWidget* parent = nullptr);

  PopoverForCustomSliderViewController* contentViewController() const { return content_; }
  void setContentViewController(PopoverForCustomSliderViewController* controller);
  SliderPopoverDelegate* delegate() const { return delegate_; }
  void setDelegate(SliderPopoverDelegate* delegate) { delegate_ = delegate; }

  // Shows the popover (or moves it when shown) next to `rect`, given in `view`'s
  // coordinates, on the given edge of it; its arrow points at the rectangle's centre.
  void showRelativeToRect(const QRectF& rect, QWidget* view, Qt::Edge edge);
  bool isShown() const { return isVisible(); }
  // Closes after asking the delegate; closePopover() does not ask.
  void performClose();
  // Hides the popover and tells the delegate (only when it was shown).
  void closePopover();

protected:
  void paintEvent(QPaintEvent* event) override;

private:
  QRect frameFor(const QRectF& rect, QWidget* view, Qt::Edge edge) const;

  PopoverForCustomSliderViewController* content_ = nullptr;
  SliderPopoverDelegate* delegate_ = nullptr;
  Qt::Edge edge_ = Qt::TopEdge;
};

}  // namespace pelmora
