#include "app/widgets/image_store.h"

#include <QFile>
#include <QHash>
#include <QPainter>
#include <QSvgRenderer>

#include "platform/log.h"

// The resources live in a static library: referencing their initialiser keeps the
// linker from dropping them.
static void registerImageResources() {
  static const bool registered = [] {
    Q_INIT_RESOURCE(pelmora_images);
    return true;
  }();
  (void)registered;
}

namespace pelmora {
namespace {

QSvgRenderer* rendererFor(const QString& name) {
  static QHash<QString, QSvgRenderer*> renderers;  // lives as long as the program
  auto found = renderers.constFind(name);
  if (found != renderers.constEnd()) return found.value();
  registerImageResources();
  const QString path = ImageStore::resourcePath(name);
  auto* renderer = QFile::exists(path) ? new QSvgRenderer(path) : nullptr;
  if (!renderer || !renderer->isValid()) {
    sonara::platform::logLine("image \"%s\" is missing", qPrintable(name));
    delete renderer;
    renderer = nullptr;
  }
  renderers.insert(name, renderer);
  return renderer;
}

// One pixmap per image and pixel ratio: a stretched image (the rail) is rendered again
// when its size changes, so resizing the window does not pile up pixmaps.
QString cacheKey(const QString& name, qreal ratio) {
  return QStringLiteral("%1@%2").arg(name).arg(ratio);
}

}  // namespace

QString ImageStore::resourcePath(const QString& name) {
  return QStringLiteral(":/images/%1.svg").arg(name);
}

QSize ImageStore::naturalSize(const QString& name) {
  QSvgRenderer* renderer = rendererFor(name);
  return renderer ? renderer->defaultSize() : QSize();
}

QPixmap ImageStore::image(const QString& name, qreal devicePixelRatio) {
  return image(name, naturalSize(name), devicePixelRatio);
}

QPixmap ImageStore::image(const QString& name, const QSize& logicalSize, qreal devicePixelRatio) {
  static QHash<QString, QPixmap> pixmaps;
  QSvgRenderer* renderer = rendererFor(name);
  if (!renderer || logicalSize.isEmpty()) return QPixmap();
  if (devicePixelRatio <= 0) devicePixelRatio = 1.0;
  const QString key = cacheKey(name, devicePixelRatio);
  auto found = pixmaps.constFind(key);
  if (found != pixmaps.constEnd() && found.value().size() == logicalSize * devicePixelRatio)
    return found.value();

  QPixmap pixmap(logicalSize * devicePixelRatio);
  pixmap.fill(Qt::transparent);
  {
    QPainter painter(&pixmap);
    renderer->render(&painter);
  }
  pixmap.setDevicePixelRatio(devicePixelRatio);
  pixmaps.insert(key, pixmap);
  return pixmap;
}

}  // namespace pelmora
