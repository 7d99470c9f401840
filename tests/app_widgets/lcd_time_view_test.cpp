#include <gtest/gtest.h>

#include <limits>

#include "app/widgets/image_store.h"
#include "app/widgets/lcd_time_view.h"
#include "widget_test_support.h"

namespace pelmora {
namespace {

constexpr int S = LCDTimeViewCell::kSeparator;
using Glyphs = std::vector<int>;

TEST(LCDTimeViewCell, LaysTheGlyphsFromTheRight) {
  EXPECT_EQ(LCDTimeViewCell::glyphsRightToLeft(754), (Glyphs{4, 3, S, 2, 1}));
  EXPECT_EQ(LCDTimeViewCell::glyphsRightToLeft(754.9), (Glyphs{4, 3, S, 2, 1}));
  EXPECT_EQ(LCDTimeViewCell::glyphsRightToLeft(0), (Glyphs{0, 0, S, 0, 0}));
}

TEST(LCDTimeViewCell, MinutesBelowTenKeepTheirLeadingZero) {
  EXPECT_EQ(LCDTimeViewCell::glyphsRightToLeft(599), (Glyphs{9, 5, S, 9, 0}));
}

TEST(LCDTimeViewCell, HundredsOfMinutesOnlyWhenNotZero) {
  EXPECT_EQ(LCDTimeViewCell::glyphsRightToLeft(5999), (Glyphs{9, 5, S, 9, 9}));
  EXPECT_EQ(LCDTimeViewCell::glyphsRightToLeft(6000), (Glyphs{0, 0, S, 0, 0, 1}));
}

TEST(LCDTimeViewCell, CapsAt999Minutes59) {
  const Glyphs cap{9, 5, S, 9, 9, 9};
  EXPECT_EQ(LCDTimeViewCell::glyphsRightToLeft(59999), cap);
  EXPECT_EQ(LCDTimeViewCell::glyphsRightToLeft(60000), cap);
  EXPECT_EQ(LCDTimeViewCell::glyphsRightToLeft(1e300), cap);
  EXPECT_EQ(LCDTimeViewCell::glyphsRightToLeft(std::numeric_limits<double>::infinity()), cap);
}

TEST(LCDTimeViewCell, NegativeAndNotANumberShowZero) {
  const Glyphs zero{0, 0, S, 0, 0};
  EXPECT_EQ(LCDTimeViewCell::glyphsRightToLeft(-10), zero);
  EXPECT_EQ(LCDTimeViewCell::glyphsRightToLeft(std::numeric_limits<double>::quiet_NaN()), zero);
}

QString glyphName(int index) {
  return index == S ? QStringLiteral("font__") : QStringLiteral("font_%1").arg(index);
}

// Each place of the drawn display holds exactly the glyph image it should, from the
// right edge; what lies left of the last glyph is the plain LCD ground.
void expectDisplayShows(double seconds, const Glyphs& rightToLeft) {
  LCDTimeView view;
  view.resize(view.sizeHint());
  view.setValue(seconds);
  const QImage drawn = test::render(view);
  int right = drawn.width();
  for (int index : rightToLeft) {
    const QImage glyph = test::imageAlone(ImageStore::image(glyphName(index)));
    right -= glyph.width();
    ASSERT_GE(right, 0);
    EXPECT_EQ(drawn.copy(right, (drawn.height() - glyph.height()) / 2, glyph.width(), glyph.height()),
              glyph)
        << seconds << " s: glyph " << index << " at x " << right;
  }
  const QRgb ground = qRgb(0x0d, 0x11, 0x0e);
  for (int x = 0; x < right; ++x)
    for (int y = 0; y < drawn.height(); ++y)
      ASSERT_EQ(drawn.pixel(x, y), ground) << seconds << " s: at " << x << "," << y;
}

TEST(LCDTimeView, DrawsTheDigitImagesOfTheValue) {
  expectDisplayShows(754, {4, 3, S, 2, 1});
  expectDisplayShows(599, {9, 5, S, 9, 0});
  expectDisplayShows(60000, {9, 5, S, 9, 9, 9});
  expectDisplayShows(6078, {8, 1, S, 1, 0, 1});
}

TEST(LCDTimeView, EveryDigitLooksDifferent) {
  std::vector<QImage> digits;
  for (int i = 0; i <= 10; ++i) digits.push_back(test::imageAlone(ImageStore::image(glyphName(i))));
  for (size_t a = 0; a < digits.size(); ++a) {
    ASSERT_FALSE(digits[a].isNull());
    for (size_t b = a + 1; b < digits.size(); ++b) EXPECT_NE(digits[a], digits[b]) << a << " " << b;
  }
}

}  // namespace
}  // namespace pelmora
