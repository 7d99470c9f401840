#include "app/window/transport_icons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace pelmora {

namespace {

// A triangle pointing right (or left) filling the box's height.
QPainterPath triangle(const QRectF& box, bool right) {
  QPainterPath path;
  if (right) {
    path.moveTo(box.left(), box.top());
    path.lineTo(box.right(), box.center().y());
    path.lineTo(box.left(), box.bottom());
  } else {
    path.moveTo(box.right(), box.top());
    path.lineTo(box.left(), box.center().y());
    path.lineTo(box.right(), box.bottom());
  }
  path.closeSubpath();
  return path;
}

void paintSymbol(QPainter& painter, TransportSymbol symbol, double s) {
  const double m = s * 0.2;  // margin
  const QRectF box(m, m, s - 2 * m, s - 2 * m);
  const double bar = box.width() * 0.3;
  switch (symbol) {
    case TransportSymbol::Play:
      painter.drawPath(triangle(box.adjusted(box.width() * 0.1, 0, 0, 0), true));
      break;
    case TransportSymbol::Pause:
      painter.drawRect(QRectF(box.left() + bar * 0.3, box.top(), bar, box.height()));
      painter.drawRect(QRectF(box.right() - bar * 1.3, box.top(), bar, box.height()));
      break;
    case TransportSymbol::Stop:
      painter.drawRect(box.adjusted(bar * 0.2, bar * 0.2, -bar * 0.2, -bar * 0.2));
      break;
    case TransportSymbol::Previous:
    case TransportSymbol::Next: {
      // A bar at the end the symbol points to, then two triangles.
      const bool right = symbol == TransportSymbol::Next;
      const double thin = box.width() * 0.12;
      const double half = (box.width() - thin) / 2;
      const double start = right ? box.left() : box.left() + thin;
      painter.drawPath(triangle(QRectF(start, box.top(), half, box.height()), right));
      painter.drawPath(triangle(QRectF(start + half, box.top(), half, box.height()), right));
      painter.drawRect(QRectF(right ? box.right() - thin : box.left(), box.top(), thin, box.height()));
      break;
    }
  }
}

QPixmap symbolPixmap(TransportSymbol symbol, const QColor& colour, int size, qreal ratio) {
  QPixmap pixmap(QSize(size, size) * ratio);
  pixmap.setDevicePixelRatio(ratio);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(Qt::NoPen);
  painter.setBrush(colour);
  paintSymbol(painter, symbol, size);
  return pixmap;
}

}  // namespace

QIcon transportIcon(TransportSymbol symbol, const QColor& colour, int size) {
  QIcon icon;
  for (qreal ratio : {1.0, 2.0}) {
    icon.addPixmap(symbolPixmap(symbol, colour, size, ratio), QIcon::Normal);
    QColor faded = colour;
    faded.setAlphaF(0.35f);
    icon.addPixmap(symbolPixmap(symbol, faded, size, ratio), QIcon::Disabled);
  }
  return icon;
}

}  // namespace pelmora
