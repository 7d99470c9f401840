#include <gtest/gtest.h>

#include "app/widgets/custom_slider_cell.h"

namespace pelmora {
namespace {

CustomSliderCell railAt(double x, double width) {
  CustomSliderCell cell;
  cell.setRailRect(QRectF(x, 10, width, 6));
  cell.setKnobSize(QSizeF(16, 16));
  return cell;
}

TEST(CustomSliderCell, KnobSitsAtTheValuesPlaceCentredOnTheRail) {
  CustomSliderCell cell = railAt(8, 200);
  cell.setMaximum(100);
  cell.setValue(25);
  EXPECT_EQ(cell.knobRect(), QRectF(8 + 50 - 8, 10 + (6 - 16) / 2.0, 16, 16));
  cell.setValue(100);
  EXPECT_EQ(cell.knobRect().x(), 8 + 200 - 8);
}

TEST(CustomSliderCell, KnobStaysOnTheRailForValuesOutsideTheRange) {
  CustomSliderCell cell = railAt(8, 200);
  cell.setMinimum(10);
  cell.setMaximum(20);
  cell.setValue(50);
  EXPECT_EQ(cell.knobRect().x(), 8 + 200 - 8);
  cell.setValue(-5);
  EXPECT_EQ(cell.knobRect().x(), 0);
}

TEST(CustomSliderCell, EmptyRangeDrawsTheKnobAtTheRailsStart) {
  CustomSliderCell cell = railAt(8, 200);
  cell.setMinimum(30);
  cell.setMaximum(30);
  cell.setValue(30);
  EXPECT_EQ(cell.knobRect().x(), 0);
  cell.setMinimum(0);
  cell.setMaximum(0);
  cell.setValue(12);
  EXPECT_EQ(cell.knobRect().x(), 0);
  EXPECT_EQ(cell.valueForPoint(QPointF(150, 0)), 0);
}

TEST(CustomSliderCell, PointMapsToAClampedValue) {
  CustomSliderCell cell = railAt(8, 200);
  cell.setMaximum(300);
  EXPECT_EQ(cell.valueForPoint(QPointF(108, 0)), 150);
  EXPECT_EQ(cell.valueForPoint(QPointF(8, 0)), 0);
  EXPECT_EQ(cell.valueForPoint(QPointF(-40, 0)), 0);
  EXPECT_EQ(cell.valueForPoint(QPointF(500, 0)), 300);
}

TEST(CustomSliderCell, TrackingHighlightsAndEndsInOneScheduledAction) {
  CustomSliderCell cell = railAt(0, 100);
  cell.setMaximum(100);
  ASSERT_TRUE(cell.mouseDown(QPointF(30, 5)));
  EXPECT_TRUE(cell.isTracking());
  EXPECT_TRUE(cell.isHighlighted());
  EXPECT_EQ(cell.value(), 30);
  ASSERT_TRUE(cell.mouseDragged(QPointF(60, 5)));
  EXPECT_EQ(cell.value(), 60);
  EXPECT_TRUE(cell.mouseUp(QPointF(70, 5)));
  EXPECT_FALSE(cell.isTracking());
  EXPECT_FALSE(cell.isHighlighted());
  EXPECT_EQ(cell.value(), 70);
  EXPECT_TRUE(cell.isActionPending());

  // A second release before the action fired schedules nothing more.
  ASSERT_TRUE(cell.mouseDown(QPointF(20, 5)));
  EXPECT_FALSE(cell.mouseUp(QPointF(40, 5)));
  EXPECT_EQ(cell.value(), 40);
  EXPECT_TRUE(cell.fireScheduledAction());
  EXPECT_FALSE(cell.isActionPending());
}

TEST(CustomSliderCell, DisabledCellIgnoresTheMouseAndDropsItsAction) {
  CustomSliderCell cell = railAt(0, 100);
  ASSERT_TRUE(cell.mouseDown(QPointF(50, 5)));
  cell.setEnabled(false);
  EXPECT_FALSE(cell.isHighlighted());
  EXPECT_TRUE(cell.mouseUp(QPointF(50, 5)));
  EXPECT_FALSE(cell.fireScheduledAction());
  EXPECT_FALSE(cell.isActionPending());
  EXPECT_FALSE(cell.mouseDown(QPointF(50, 5)));
  EXPECT_FALSE(cell.isTracking());
  EXPECT_FALSE(cell.mouseDragged(QPointF(60, 5)));
  EXPECT_FALSE(cell.mouseUp(QPointF(60, 5)));
}

}  // namespace
}  // namespace pelmora
