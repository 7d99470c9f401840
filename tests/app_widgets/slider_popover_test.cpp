#include <gtest/gtest.h>

#include "app/widgets/custom_slider.h"
#include "app/widgets/slider_popover.h"
#include "widget_test_support.h"

namespace pelmora {
namespace {

struct ClosingDelegate : SliderPopoverDelegate {
  bool popoverShouldClose(SliderPopover*) override {
    ++asked;
    return allow;
  }
  void popoverDidClose(SliderPopover* popover) override { closed = popover; }
  bool allow = true;
  int asked = 0;
  SliderPopover* closed = nullptr;
};

TEST(PopoverForCustomSliderViewController, ShowsTheKnobsTimeRounded) {
  PopoverForCustomSliderViewController content;
  content.setTime(59.5);
  EXPECT_EQ(content.textField()->text().toStdString(), "1:00");
  content.setTime(59.4);
  EXPECT_EQ(content.textField()->text().toStdString(), "0:59");
}

// A 0-100 slider in a shown window, and a popover holding its content.
class SliderPopoverTest : public testing::Test {
protected:
  void SetUp() override {
    window.resize(400, 200);
    slider.setGeometry(50, 120, 216, 20);
    slider.setMaximum(100);
    window.show();
    popover.setContentViewController(&content);
  }

  QWidget window;
  CustomSlider slider{&window};
  PopoverForCustomSliderViewController content;
  SliderPopover popover;
};

TEST_F(SliderPopoverTest, OpensAboveTheKnobAndClosesOnRequest) {
  slider.setValue(50);
  ClosingDelegate delegate;
  popover.setDelegate(&delegate);
  EXPECT_EQ(popover.contentViewController(), &content);
  EXPECT_EQ(content.view()->parentWidget(), &popover);

  content.setTime(slider.value());
  popover.showRelativeToRect(slider.knobRect(), &slider, Qt::TopEdge);
  ASSERT_TRUE(popover.isShown());
  const QRect knob(slider.mapToGlobal(slider.knobRect().topLeft().toPoint()),
                   slider.knobRect().size().toSize());
  const QRect frame = popover.geometry();
  EXPECT_LT(frame.bottom(), knob.top());
  EXPECT_GE(frame.bottom(), knob.top() - SliderPopover::kGap - 1);
  EXPECT_NEAR(frame.center().x(), knob.center().x(), 1);
  EXPECT_EQ(content.textField()->text().toStdString(), "0:50");

  delegate.allow = false;
  popover.performClose();
  EXPECT_EQ(delegate.asked, 1);
  EXPECT_TRUE(popover.isShown());
  delegate.allow = true;
  popover.performClose();
  EXPECT_FALSE(popover.isShown());
  EXPECT_EQ(delegate.closed, &popover);
}

TEST_F(SliderPopoverTest, FollowsTheKnobWhileShown) {
  slider.setValue(10);
  popover.showRelativeToRect(slider.knobRect(), &slider, Qt::TopEdge);
  const int first = popover.geometry().center().x();
  slider.setValue(60);
  popover.showRelativeToRect(slider.knobRect(), &slider, Qt::TopEdge);
  EXPECT_NEAR(popover.geometry().center().x() - first, 100, 1);
  popover.closePopover();
  EXPECT_FALSE(popover.isShown());
}

}  // namespace
}  // namespace pelmora
