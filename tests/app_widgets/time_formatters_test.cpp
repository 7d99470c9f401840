#include <gtest/gtest.h>

#include <limits>

#include "app/widgets/time_formatters.h"

namespace pelmora {
namespace {

TEST(PopoverTimeText, RoundsToTheNearestSecond) {
  EXPECT_EQ(popoverTimeText(59.5).toStdString(), "1:00");
  EXPECT_EQ(popoverTimeText(59.4).toStdString(), "0:59");
  EXPECT_EQ(popoverTimeText(0).toStdString(), "0:00");
  EXPECT_EQ(popoverTimeText(3725.2).toStdString(), "62:05");
}

TEST(PopoverTimeText, NegativeAndNotANumberReadAsZero) {
  EXPECT_EQ(popoverTimeText(-3).toStdString(), "0:00");
  EXPECT_EQ(popoverTimeText(std::numeric_limits<double>::quiet_NaN()).toStdString(), "0:00");
}

TEST(DurationFormatter, WritesHoursMinutesAndSeconds) {
  DurationFormatter formatter;
  EXPECT_EQ(formatter.stringForObjectValue(0).toStdString(), "0:00:00");
  EXPECT_EQ(formatter.stringForObjectValue(59.5).toStdString(), "0:01:00");
  EXPECT_EQ(formatter.stringForObjectValue(59.4).toStdString(), "0:00:59");
  EXPECT_EQ(formatter.stringForObjectValue(3599.6).toStdString(), "1:00:00");
  EXPECT_EQ(formatter.stringForObjectValue(4 * 3600 + 5 * 60 + 9).toStdString(), "4:05:09");
  EXPECT_EQ(formatter.stringForObjectValue(100 * 3600).toStdString(), "100:00:00");
}

}  // namespace
}  // namespace pelmora
