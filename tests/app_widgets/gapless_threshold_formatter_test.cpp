#include <gtest/gtest.h>

#include <QDateTime>
#include <QLineEdit>
#include <QTest>

#include "app/widgets/gapless_threshold_formatter.h"
#include "support/log_capture.h"

namespace pelmora {
namespace {

TEST(GaplessThresholdFormatter, AcceptsTheEndsOfTheRange) {
  GaplessThresholdFormatter formatter;
  LogCapture log;
  double value = 1;
  ASSERT_TRUE(formatter.getObjectValue("0", &value));
  EXPECT_EQ(value, 0.0);
  ASSERT_TRUE(formatter.getObjectValue("-192", &value));
  EXPECT_EQ(value, -192.0);
  ASSERT_TRUE(formatter.getObjectValue("-45.25", &value));
  EXPECT_EQ(value, -45.25);
  EXPECT_TRUE(log.lines().empty());
}

TEST(GaplessThresholdFormatter, RefusesTextsOutsideTheRangeAndLogsThem) {
  GaplessThresholdFormatter formatter;
  for (const char* text : {"0.5", "-192.5", "-200", "abc", "1"}) {
    LogCapture log;
    double value = 7;
    EXPECT_FALSE(formatter.getObjectValue(text, &value)) << text;
    EXPECT_EQ(value, 7) << text;
    EXPECT_TRUE(log.contains("stringForObjectValue : Invalid String")) << text;
  }
}

TEST(GaplessThresholdFormatter, ShowsTwoDecimals) {
  GaplessThresholdFormatter formatter;
  EXPECT_EQ(formatter.stringForObjectValue(-45).toStdString(), "-45.00");
  EXPECT_EQ(formatter.stringForObjectValue(-45.0).toStdString(), "-45.00");
  EXPECT_EQ(formatter.stringForObjectValue(-3.14159f).toStdString(), "-3.14");
}

TEST(GaplessThresholdFormatter, LogsAValueOfTheWrongType) {
  GaplessThresholdFormatter formatter;
  LogCapture log;
  EXPECT_EQ(formatter.stringForObjectValue(QVariant(QStringLiteral("-45"))).toStdString(), "");
  EXPECT_TRUE(log.contains("stringForObjectValue : Invalid Type (QString)"));
  EXPECT_EQ(formatter.stringForObjectValue(QVariant(QDateTime())).toStdString(), "");
  EXPECT_TRUE(log.contains("stringForObjectValue : Invalid Type (QDateTime)"));
}

TEST(GaplessThresholdFormatter, ValidatesWhatIsTyped) {
  GaplessThresholdFormatter formatter;
  LogCapture log;
  int pos = 0;
  auto state = [&](const char* text) {
    QString input = QString::fromLatin1(text);
    return formatter.validate(input, pos);
  };
  EXPECT_EQ(state("-192"), QValidator::Acceptable);
  EXPECT_EQ(state("0"), QValidator::Acceptable);
  EXPECT_EQ(state("-0.5"), QValidator::Acceptable);
  EXPECT_EQ(state(""), QValidator::Intermediate);
  EXPECT_EQ(state("-"), QValidator::Intermediate);
  EXPECT_TRUE(log.lines().empty());
  EXPECT_EQ(state("-192.5"), QValidator::Invalid);
  EXPECT_EQ(state("0.5"), QValidator::Invalid);
  EXPECT_EQ(state("abc"), QValidator::Invalid);
  EXPECT_TRUE(log.contains("stringForObjectValue : Invalid String"));
}

// The field refuses keystrokes that leave the range: "-200" stops at "-20".
TEST(GaplessThresholdFormatter, LineEditKeepsOnlyNumbersInRange) {
  QLineEdit field;
  GaplessThresholdFormatter formatter;
  field.setValidator(&formatter);
  QTest::keyClicks(&field, "-200");
  EXPECT_EQ(field.text().toStdString(), "-20");
  EXPECT_TRUE(field.hasAcceptableInput());
  field.clear();
  QTest::keyClicks(&field, "abc");
  EXPECT_EQ(field.text().toStdString(), "");
  EXPECT_FALSE(field.hasAcceptableInput());
}

}  // namespace
}  // namespace pelmora
