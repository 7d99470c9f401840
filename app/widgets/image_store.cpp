#include "app/widgets/image_store.h"

#include <QCoreApplication>
#include <QFile>
#include <QHash>
#include <QPainter>
#include <QSvgRenderer>
#include <memory>

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

struct Cache {
  QHash<QString, std::shared_ptr<QSvgRenderer>> renderers;  // null: no such image
  // One pixmap per image and pixel ratio: a stretched image (the rail) is rendered
  // again when its size changes, so resizing the window does not pile up pixmaps.
  QHash<QString, QPixmap> pixmaps;
};

// Emptied when the application object goes, since pixmaps must not outlive it.
Cache& cache() {
  static Cache* instance = nullptr;
  if (!instance) {
    instance = new Cache;
    qAddPostRoutine([] {
      delete instance;
      instance = nullptr;
    });
  }
  return *instance;
}

QSvgRenderer* rendererFor(const QString& name) {
  auto& renderers = cache().renderers;
  auto found = renderers.constFind(name);
  if (found != renderers.constEnd()) return found.value().get();
  registerImageResources();
  const QString path = ImageStore::resourcePath(name);
  std::shared_ptr<QSvgRenderer> renderer;
  if (QFile::exists(path)) renderer = std::make_shared<QSvgRenderer>(path);
  if (!renderer || !renderer->isValid()) {
    sonara::platform::logLine("image \"%s\" is missing", qPrintable(name));
    renderer.reset();
  }
  renderers.insert(name, renderer);
  return renderer.get();
}

QString pixmapKey(const QString& name, qreal ratio) {
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
  QSvgRenderer* renderer = rendererFor(name);
  if (!renderer || logicalSize.isEmpty()) return QPixmap();
  if (devicePixelRatio <= 0) devicePixelRatio = 1.0;
  auto& pixmaps = cache().pixmaps;
  const QString key = pixmapKey(name, devicePixelRatio);
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
