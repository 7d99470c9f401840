// The window's light grey ground behind the controls.
#pragma once

#include <QWidget>

namespace pelmora {

class BackgroundView : public QWidget {
  Q_OBJECT
public:
  static constexpr float kWhiteLevel = 0.8666666746139526f;

  explicit BackgroundView(QWidget* parent = nullptr);

protected:
  void paintEvent(QPaintEvent* event) override;
};

}  // namespace pelmora
