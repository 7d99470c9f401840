#include "app/widgets/mode_indicators.h"

namespace pelmora {

void RepeatModeIndicator::setMode(int mode) {
  mode_ = mode;
  update();
}

QString RepeatModeIndicator::currentImageName() const {
  switch (mode_) {
    case 1: return QStringLiteral("repeat_title");
    case 2: return QStringLiteral("repeat_all");
    default: return QString();
  }
}

QString RepeatModeIndicator::sizingImageName() const { return QStringLiteral("repeat_all"); }

void ShuffleModeIndicator::setOn(bool on) {
  on_ = on;
  update();
}

QString ShuffleModeIndicator::currentImageName() const {
  return on_ ? QStringLiteral("shuffle") : QString();
}

QString ShuffleModeIndicator::sizingImageName() const { return QStringLiteral("shuffle"); }

}  // namespace pelmora
