#include <gtest/gtest.h>

#include <QMouseEvent>
#include <vector>

#include "app/widgets/custom_slider.h"
#include "app/widgets/image_store.h"
#include "widget_test_support.h"

namespace pelmora {
namespace {

using test::processEventsUntil;
using test::render;

struct RecordingDelegate : CustomSliderDelegate {
  struct Report {
    double time;
    QRectF knob;
  };
  void positionUpdated(CustomSlider* from, double time, const QRectF& knob) override {
    slider = from;
    reports.push_back({time, knob});
  }
  CustomSlider* slider = nullptr;
  std::vector<Report> reports;
};

void sendMouse(QWidget& widget, QEvent::Type type, double x, Qt::MouseButtons held) {
  const QPointF local(x, widget.height() / 2.0);
  QMouseEvent event(type, local, widget.mapToGlobal(local), Qt::LeftButton, held, Qt::NoModifier);
  QCoreApplication::sendEvent(&widget, &event);
}
void press(QWidget& w, double x) { sendMouse(w, QEvent::MouseButtonPress, x, Qt::LeftButton); }
void drag(QWidget& w, double x) { sendMouse(w, QEvent::MouseMove, x, Qt::LeftButton); }
void release(QWidget& w, double x) { sendMouse(w, QEvent::MouseButtonRelease, x, Qt::NoButton); }

// A 0-100 slider whose rail runs from x 8 to 208 (the knob is 16 wide).
class CustomSliderTest : public testing::Test {
protected:
  void SetUp() override {
    ASSERT_EQ(ImageStore::naturalSize("custom_slider_knob_on"), QSize(16, 16));
    slider.resize(216, 20);
    slider.setMaximum(100);
    slider.setDelegate(&delegate);
    QObject::connect(&slider, &CustomSlider::actionTriggered, [this] { ++actions; });
  }

  // Where the bright knob is on the rail's middle row (the rail itself is dark).
  double knobCentreDrawn() {
    const QImage image = render(slider);
    const int row = qRound(slider.cell().railRect().center().y());
    int first = -1, last = -1;
    for (int x = 0; x < image.width(); ++x) {
      if (qGray(image.pixel(x, row)) > 120 && qAlpha(image.pixel(x, row)) > 200) {
        if (first < 0) first = x;
        last = x;
      }
    }
    return first < 0 ? -1 : (first + last + 1) / 2.0;
  }

  CustomSlider slider;
  RecordingDelegate delegate;
  int actions = 0;
};

TEST_F(CustomSliderTest, KnobIsDrawnWhereTheValueIs) {
  slider.setValue(0);
  EXPECT_NEAR(knobCentreDrawn(), 8, 1.0);
  slider.setValue(50);
  EXPECT_NEAR(knobCentreDrawn(), 108, 1.0);
  slider.setValue(100);
  EXPECT_NEAR(knobCentreDrawn(), 208, 1.0);
  slider.setValue(250);
  EXPECT_NEAR(knobCentreDrawn(), 208, 1.0);
}

TEST_F(CustomSliderTest, EmptyRangeDrawsTheKnobAtTheStart) {
  slider.setMaximum(0);
  slider.setValue(40);
  EXPECT_NEAR(knobCentreDrawn(), 8, 1.0);
}

TEST_F(CustomSliderTest, DisabledSliderDrawsTheDimKnob) {
  slider.setValue(50);
  const QPoint face(108, qRound(slider.knobRect().center().y()) - 4);
  const int enabledLevel = qGray(render(slider).pixel(face));
  slider.setEnabled(false);
  const int disabledLevel = qGray(render(slider).pixel(face));
  EXPECT_GT(enabledLevel, disabledLevel + 40);
}

TEST_F(CustomSliderTest, DraggingReportsEachPositionToTheDelegate) {
  press(slider, 58);
  EXPECT_TRUE(slider.isTracking());
  EXPECT_TRUE(slider.isHighlighted());
  drag(slider, 158);
  ASSERT_EQ(delegate.reports.size(), 2u);
  EXPECT_EQ(delegate.slider, &slider);
  EXPECT_EQ(delegate.reports[0].time, 25);
  EXPECT_EQ(delegate.reports[1].time, 75);
  EXPECT_EQ(delegate.reports[1].knob, QRectF(150, 2, 16, 16));
  EXPECT_EQ(delegate.reports[1].knob, slider.knobRect());
  release(slider, 158);
  EXPECT_FALSE(slider.isTracking());
  EXPECT_FALSE(slider.isHighlighted());
  EXPECT_EQ(actions, 0);  // the action comes later, from the event loop
  ASSERT_TRUE(processEventsUntil([&] { return actions > 0; }));
  EXPECT_EQ(actions, 1);
  EXPECT_EQ(slider.value(), 75);
}

TEST_F(CustomSliderTest, TwoReleasesInQuickSuccessionSendOneAction) {
  press(slider, 58);
  release(slider, 58);
  press(slider, 108);
  release(slider, 108);
  EXPECT_TRUE(slider.isActionPending());
  ASSERT_TRUE(processEventsUntil([&] { return !slider.isActionPending(); }));
  EXPECT_EQ(actions, 1);
  EXPECT_EQ(slider.value(), 50);

  // Once it has fired, the next release schedules anew.
  press(slider, 208);
  release(slider, 208);
  ASSERT_TRUE(processEventsUntil([&] { return !slider.isActionPending(); }));
  EXPECT_EQ(actions, 2);
  EXPECT_EQ(slider.value(), 100);
}

TEST_F(CustomSliderTest, ActionIsDroppedWhenDisabledBeforeItFires) {
  press(slider, 58);
  release(slider, 58);
  slider.setEnabled(false);
  ASSERT_TRUE(processEventsUntil([&] { return !slider.isActionPending(); }));
  EXPECT_EQ(actions, 0);
}

TEST_F(CustomSliderTest, DisablingClearsTheHighlight) {
  press(slider, 58);
  ASSERT_TRUE(slider.isHighlighted());
  slider.setEnabled(false);
  EXPECT_FALSE(slider.isHighlighted());
}

TEST_F(CustomSliderTest, ValueSetFromOutsideTellsNoOne) {
  slider.setValue(30);
  EXPECT_EQ(slider.value(), 30);
  EXPECT_TRUE(delegate.reports.empty());
  QCoreApplication::processEvents();
  EXPECT_EQ(actions, 0);
}

}  // namespace
}  // namespace pelmora
