// The one-line status field. It tells its delegate each time it has been drawn, so a
// message is cleared only after the user could have seen it.
#pragma once

#include <QLabel>

namespace pelmora {

class CustomTextFieldCellDelegate {
public:
  virtual ~CustomTextFieldCellDelegate() = default;
  virtual void drawWithFrame(const QRect& frame, QWidget* view) = 0;
};

class CustomTextFieldCell : public QLabel {
  Q_OBJECT
public:
  explicit CustomTextFieldCell(QWidget* parent = nullptr);

  CustomTextFieldCellDelegate* delegate() const { return delegate_; }
  void setDelegate(CustomTextFieldCellDelegate* delegate) { delegate_ = delegate; }

protected:
  void paintEvent(QPaintEvent* event) override;

private:
  CustomTextFieldCellDelegate* delegate_ = nullptr;
};

}  // namespace pelmora
