// The play-order indicators beside the time display.
#pragma once

#include "app/widgets/image_view.h"

namespace pelmora {

// Mode 0 none (nothing drawn), 1 repeat title, 2 repeat all.
class RepeatModeIndicator : public ImageView {
  Q_OBJECT
public:
  using ImageView::ImageView;
  int mode() const { return mode_; }
  void setMode(int mode);

protected:
  QString currentImageName() const override;
  QString sizingImageName() const override;

private:
  int mode_ = 0;
};

class ShuffleModeIndicator : public ImageView {
  Q_OBJECT
public:
  using ImageView::ImageView;
  bool isOn() const { return on_; }
  void setOn(bool on);

protected:
  QString currentImageName() const override;
  QString sizingImageName() const override;

private:
  bool on_ = false;
};

}  // namespace pelmora
