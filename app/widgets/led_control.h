// An indicator light: "LED_on" while highlighted, "LED_off" otherwise. Blinking
// toggles the highlight at once and then every half second until it is turned off,
// which leaves the light as it was at that moment.
#pragma once

#include <QTimer>

#include "app/widgets/image_view.h"

namespace pelmora {

class LEDControl : public ImageView {
  Q_OBJECT
public:
  static constexpr int kBlinkIntervalMs = 500;

  explicit LEDControl(QWidget* parent = nullptr);

  bool isHighlighted() const { return highlighted_; }
  void setHighlighted(bool highlighted);

  bool isBlinking() const { return blinkTimer_.isActive(); }
  void setBlinking(bool blinking);

protected:
  QString currentImageName() const override;
  QString sizingImageName() const override;

private:
  bool highlighted_ = false;
  QTimer blinkTimer_;
};

}  // namespace pelmora
