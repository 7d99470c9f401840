#include "app/widgets/image_view.h"

#include <QPainter>

#include "app/widgets/image_store.h"

namespace pelmora {

QSize ImageView::sizeHint() const { return ImageStore::naturalSize(sizingImageName()); }

void ImageView::paintEvent(QPaintEvent*) {
  const QString name = currentImageName();
  if (name.isEmpty()) return;
  QPainter painter(this);
  painter.drawPixmap(QPoint(0, 0), ImageStore::image(name, painter.device()->devicePixelRatioF()));
}

}  // namespace pelmora
