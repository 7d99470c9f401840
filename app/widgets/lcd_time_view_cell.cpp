#include "app/widgets/lcd_time_view_cell.h"

#include <QPainter>

namespace pelmora {

std::vector<int> LCDTimeViewCell::glyphsRightToLeft(double seconds) {
  int whole = 0;
  if (seconds > 0) whole = seconds >= kMaximumSeconds ? kMaximumSeconds : static_cast<int>(seconds);
  std::vector<int> glyphs{whole % 10, whole / 10 % 6, kSeparator, whole / 60 % 10, whole / 600 % 10};
  const int hundredsOfMinutes = whole / 6000;
  if (hundredsOfMinutes != 0) glyphs.push_back(hundredsOfMinutes);
  return glyphs;
}

void LCDTimeViewCell::draw(QPainter& painter, const QRect& bounds, const Glyphs& glyphs) const {
  qreal right = bounds.x() + bounds.width();
  for (int index : glyphsRightToLeft(value_)) {
    const QPixmap& glyph = glyphs[static_cast<size_t>(index)];
    const QSizeF size = glyph.deviceIndependentSize();
    right -= size.width();
    const qreal top = bounds.y() + (bounds.height() - size.height()) / 2;
    painter.drawPixmap(QPointF(right, top), glyph);
  }
}

}  // namespace pelmora
