#include "app/widgets/custom_text_field_cell.h"

namespace pelmora {

CustomTextFieldCell::CustomTextFieldCell(QWidget* parent) : QLabel(parent) {
  setTextFormat(Qt::PlainText);
}

void CustomTextFieldCell::paintEvent(QPaintEvent* event) {
  QLabel::paintEvent(event);
  if (delegate_) delegate_->drawWithFrame(rect(), this);
}

}  // namespace pelmora
