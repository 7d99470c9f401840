// A control that is one named image drawn at the top-left of its bounds (or nothing):
// the indicator light and the repeat and shuffle indicators differ only in the choice.
#pragma once

#include <QString>
#include <QWidget>

namespace pelmora {

class ImageView : public QWidget {
  Q_OBJECT
public:
  using QWidget::QWidget;
  QSize sizeHint() const override;

protected:
  // The image to draw now; empty draws nothing.
  virtual QString currentImageName() const = 0;
  // The image whose size the control asks for in layouts.
  virtual QString sizingImageName() const = 0;
  void paintEvent(QPaintEvent* event) override;
};

}  // namespace pelmora
