// Shared by the widget tests: rendering a widget to an image and waiting on the
// event loop with a bound.
#pragma once

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QImage>
#include <QPainter>
#include <QWidget>
#include <functional>

namespace pelmora::test {

// The widget as drawn, on a transparent ground, at one pixel per point.
inline QImage render(QWidget& widget) {
  QImage image(widget.size(), QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  widget.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
  return image;
}

// An image drawn by itself at its natural size.
inline QImage imageAlone(const QPixmap& pixmap) {
  QImage image(pixmap.size(), QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter painter(&image);
  painter.drawPixmap(0, 0, pixmap);
  return image;
}

// Runs the event loop until the condition holds; false after a generous bound.
inline bool processEventsUntil(const std::function<bool()>& condition, int boundMs = 10000) {
  QDeadlineTimer deadline(boundMs);
  while (!condition()) {
    if (deadline.hasExpired()) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  }
  return true;
}

}  // namespace pelmora::test
