#include "app/widgets/led_control.h"

namespace pelmora {

LEDControl::LEDControl(QWidget* parent) : ImageView(parent) {
  blinkTimer_.setInterval(kBlinkIntervalMs);
  connect(&blinkTimer_, &QTimer::timeout, this, [this] { setHighlighted(!highlighted_); });
}

void LEDControl::setHighlighted(bool highlighted) {
  if (highlighted_ == highlighted) return;
  highlighted_ = highlighted;
  update();
}

void LEDControl::setBlinking(bool blinking) {
  if (blinking == isBlinking()) return;
  if (blinking) {
    setHighlighted(!highlighted_);
    blinkTimer_.start();
  } else {
    blinkTimer_.stop();
  }
}

QString LEDControl::currentImageName() const {
  return highlighted_ ? QStringLiteral("LED_on") : QStringLiteral("LED_off");
}

QString LEDControl::sizingImageName() const { return QStringLiteral("LED_off"); }

}  // namespace pelmora
