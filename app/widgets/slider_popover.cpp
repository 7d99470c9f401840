#include "app/widgets/slider_popover.h"

#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>

#include "app/widgets/time_formatters.h"

namespace pelmora {
namespace {

constexpr int kPadding = 5;
const QColor kBubble(0x1c, 0x1e, 0x21, 235);
const QColor kBubbleEdge(0x8d, 0x92, 0x96);
const QColor kText(0xff, 0xb4, 0x3c);

}  // namespace

PopoverForCustomSliderViewController::PopoverForCustomSliderViewController()
    : view_(new QWidget) {
  textField_ = new QLabel(view_);
  textField_->setAlignment(Qt::AlignCenter);
  QPalette palette = textField_->palette();
  palette.setColor(QPalette::WindowText, kText);
  textField_->setPalette(palette);
  QFont font = textField_->font();
  font.setBold(true);
  textField_->setFont(font);
  auto* layout = new QVBoxLayout(view_);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(textField_);
  setTime(0);
}

PopoverForCustomSliderViewController::~PopoverForCustomSliderViewController() {
  if (view_ && !view_->parent()) delete view_;
}

void PopoverForCustomSliderViewController::setTime(double seconds) {
  textField_->setText(popoverTimeText(seconds));
  if (view_) view_->adjustSize();
}

SliderPopover::SliderPopover(QWidget* parent)
    : QWidget(parent, Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus) {
  setAttribute(Qt::WA_TranslucentBackground);
  setAttribute(Qt::WA_ShowWithoutActivating);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(kPadding * 2, kPadding, kPadding * 2, kPadding + kArrowHeight);
}

void SliderPopover::setContentViewController(PopoverForCustomSliderViewController* controller) {
  if (content_ && content_->view()) {
    layout()->removeWidget(content_->view());
    content_->view()->setParent(nullptr);
  }
  content_ = controller;
  if (content_ && content_->view()) layout()->addWidget(content_->view());
}

QRect SliderPopover::frameFor(const QRectF& rect, QWidget* view, Qt::Edge edge) const {
  const QSize size = sizeHint();
  const QRect target = view ? QRect(view->mapToGlobal(rect.topLeft().toPoint()), rect.size().toSize())
                            : rect.toRect();
  const QPoint centre = target.center();
  switch (edge) {
    case Qt::BottomEdge:
      return QRect(QPoint(centre.x() - size.width() / 2, target.bottom() + 1 + kGap), size);
    case Qt::LeftEdge:
      return QRect(QPoint(target.left() - kGap - size.width(), centre.y() - size.height() / 2), size);
    case Qt::RightEdge:
      return QRect(QPoint(target.right() + 1 + kGap, centre.y() - size.height() / 2), size);
    case Qt::TopEdge:
    default:
      return QRect(QPoint(centre.x() - size.width() / 2, target.top() - kGap - size.height()), size);
  }
}

void SliderPopover::showRelativeToRect(const QRectF& rect, QWidget* view, Qt::Edge edge) {
  edge_ = edge;
  adjustSize();
  setGeometry(frameFor(rect, view, edge));
  if (!isVisible()) show();
  update();
}

void SliderPopover::performClose() {
  if (delegate_ && !delegate_->popoverShouldClose(this)) return;
  closePopover();
}

void SliderPopover::closePopover() {
  if (!isVisible()) return;
  hide();
  if (delegate_) delegate_->popoverDidClose(this);
}

// A rounded bubble with its arrow on the side that faces the rectangle (drawn for
// the top edge, the usual case; other edges get the bubble alone).
void SliderPopover::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  const QRectF bubble = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5 - kArrowHeight);
  QPainterPath path;
  path.addRoundedRect(bubble, 5, 5);
  if (edge_ == Qt::TopEdge) {
    const double middle = width() / 2.0;
    QPainterPath arrow;
    arrow.moveTo(middle - kArrowHeight, bubble.bottom() - 1);
    arrow.lineTo(middle, bubble.bottom() + kArrowHeight);
    arrow.lineTo(middle + kArrowHeight, bubble.bottom() - 1);
    arrow.closeSubpath();
    path = path.united(arrow);
  }
  painter.setPen(QPen(kBubbleEdge, 1));
  painter.setBrush(kBubble);
  painter.drawPath(path);
}

}  // namespace pelmora
