// Shared by the widget tests: rendering a widget to an image, waiting on the event
// loop with a bound, and capturing what the program logs.
#pragma once

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QImage>
#include <QPainter>
#include <QWidget>
#include <functional>
#include <string>
#include <vector>

#include "platform/log.h"

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

// Collects log lines while alive.
class LogCapture {
public:
  LogCapture() { sonara::platform::setLogSink(&LogCapture::collect, this); }
  ~LogCapture() { sonara::platform::setLogSink(nullptr, nullptr); }
  LogCapture(const LogCapture&) = delete;
  LogCapture& operator=(const LogCapture&) = delete;

  const std::vector<std::string>& lines() const { return lines_; }

private:
  static void collect(const char* line, void* context) {
    static_cast<LogCapture*>(context)->lines_.emplace_back(line);
  }
  std::vector<std::string> lines_;
};

}  // namespace pelmora::test
