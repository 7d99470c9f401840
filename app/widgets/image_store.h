// The player window's images, by name ("LED_on", "font_7", ...): SVG files compiled
// into the program as ":/images/<name>.svg", rendered into pixmaps for the screen's
// pixel ratio and kept while the application object lives. Main thread only (pixmaps
// belong to the GUI thread).
#pragma once

#include <QPixmap>
#include <QSize>
#include <QString>

namespace pelmora {

class ImageStore {
public:
  static QString resourcePath(const QString& name);

  // The image at its natural size (the SVG's width and height, in logical pixels);
  // a null pixmap when there is no image of that name.
  static QPixmap image(const QString& name, qreal devicePixelRatio = 1.0);
  // The image stretched to a logical size (the slider's rail follows the widget).
  static QPixmap image(const QString& name, const QSize& logicalSize, qreal devicePixelRatio);

  static QSize naturalSize(const QString& name);
};

}  // namespace pelmora
