// The player window's digital time display (the playback position, in seconds) on a
// dark LCD ground.
#pragma once

#include <QWidget>

#include "app/widgets/lcd_time_view_cell.h"

namespace pelmora {

class LCDTimeView : public QWidget {
  Q_OBJECT
public:
  explicit LCDTimeView(QWidget* parent = nullptr);

  double value() const { return cell_.value(); }
  void setValue(double seconds);

  QSize sizeHint() const override;  // room for 999:59

protected:
  void paintEvent(QPaintEvent* event) override;

private:
  LCDTimeViewCell cell_;
};

}  // namespace pelmora
