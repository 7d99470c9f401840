#include "app/widgets/background_view.h"

#include <QPainter>

namespace pelmora {

BackgroundView::BackgroundView(QWidget* parent) : QWidget(parent) {
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void BackgroundView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), QColor::fromRgbF(kWhiteLevel, kWhiteLevel, kWhiteLevel, 1.0f));
}

}  // namespace pelmora
