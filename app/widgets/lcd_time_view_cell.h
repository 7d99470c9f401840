// The digital time display's drawing: whole seconds as m:ss / mm:ss / mmm:ss in LCD
// glyph images, laid from the right edge leftwards, each at its natural size. The
// glyphs are kept in one array: indices 0-9 the digits, 10 the separator.
#pragma once

#include <QPixmap>
#include <QRect>
#include <array>
#include <vector>

class QPainter;

namespace pelmora {

class LCDTimeViewCell {
public:
  static constexpr int kSeparator = 10;
  static constexpr int kMaximumSeconds = 59999;  // reads 999:59

  using Glyphs = std::array<QPixmap, 11>;

  double value() const { return value_; }
  void setValue(double seconds) { value_ = seconds; }

  // The glyph indices for a time, rightmost first: seconds units, seconds tens, the
  // separator, minutes units, minutes tens, then the hundreds of minutes when not zero.
  static std::vector<int> glyphsRightToLeft(double seconds);

  // Draws the value's glyphs right-aligned in `bounds`, centred vertically.
  void draw(QPainter& painter, const QRect& bounds, const Glyphs& glyphs) const;

private:
  double value_ = 0;
};

}  // namespace pelmora
