#include <gtest/gtest.h>

#include "engine/controller/playlist_view_fitting.h"
#include "platform/ui/headless_ui.h"

TEST(DurationText, WholeSecondsAsMinutesOrHours) {
  EXPECT_EQ(TkDurationValueTransformer::transformedValue(0), "?");
  EXPECT_EQ(TkDurationValueTransformer::transformedValue(59.6), "1:00");
  EXPECT_EQ(TkDurationValueTransformer::transformedValue(3725), "1:02:05");
  EXPECT_EQ(TkDurationValueTransformer::transformedValue(0.2), "0:00");
}

TEST(ColumnFitting, SharesTheRestInTheRatioOfTheMiddleColumns) {
  sonara::ui::HeadlessPlaylistView view;
  view.setFrameSize(812, 400);
  const double widths[] = {60, 300, 168, 70};
  for (int i = 0; i < 4; ++i) view.setColumnWidth(i, widths[i]);
  fitColumnsToWidth(view);
  const double rest = 800 - 60 - 70;
  EXPECT_DOUBLE_EQ(view.columnWidth(0), 60);
  EXPECT_DOUBLE_EQ(view.columnWidth(1), 300.0 / 468.0 * rest);
  EXPECT_DOUBLE_EQ(view.columnWidth(2), rest - view.columnWidth(1));
  EXPECT_DOUBLE_EQ(view.columnWidth(0) + view.columnWidth(1) + view.columnWidth(2) + view.columnWidth(3), 800);

  view.setFrameSize(300, 400);  // too narrow: no middle column goes below 100
  fitColumnsToWidth(view);
  EXPECT_GE(view.columnWidth(1), 100);
  EXPECT_DOUBLE_EQ(view.columnWidth(2), 100);

  view.setFrameSize(812, 400);
  view.setColumnWidth(1, 250);
  fitLastColumn(view);
  EXPECT_DOUBLE_EQ(view.columnWidth(3), 800 - 60 - 250 - view.columnWidth(2));
}
