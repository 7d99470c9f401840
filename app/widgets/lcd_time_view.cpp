#include "app/widgets/lcd_time_view.h"

#include <QPainter>

#include "app/widgets/image_store.h"

namespace pelmora {
namespace {

QString glyphName(int index) {
  return index == LCDTimeViewCell::kSeparator ? QStringLiteral("font__")
                                              : QStringLiteral("font_%1").arg(index);
}

// The glyphs' own cell colour, so that the digits and the empty places read as one
// display.
const QColor kLcdGround(0x0d, 0x11, 0x0e);

}  // namespace

LCDTimeView::LCDTimeView(QWidget* parent) : QWidget(parent) {
  QPalette ground = palette();
  ground.setColor(QPalette::Window, kLcdGround);
  setPalette(ground);
  setAutoFillBackground(true);
  setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void LCDTimeView::setValue(double seconds) {
  cell_.setValue(seconds);
  update();
}

QSize LCDTimeView::sizeHint() const {
  const QSize digit = ImageStore::naturalSize(glyphName(0));
  const QSize separator = ImageStore::naturalSize(glyphName(LCDTimeViewCell::kSeparator));
  return QSize(digit.width() * 5 + separator.width(), qMax(digit.height(), separator.height()));
}

void LCDTimeView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const qreal ratio = painter.device()->devicePixelRatioF();
  LCDTimeViewCell::Glyphs glyphs;
  for (size_t i = 0; i < glyphs.size(); ++i) glyphs[i] = ImageStore::image(glyphName(int(i)), ratio);
  cell_.draw(painter, rect(), glyphs);
}

}  // namespace pelmora
