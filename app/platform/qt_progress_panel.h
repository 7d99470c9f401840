// The panel shown while a track decodes into memory: what decodes, a determinate
// progress bar over the track's span, and Cancel. Shown modal to the application;
// the engine turns the event loop itself while it is up.
#pragma once

#include <QDialog>

#include "platform/ui/progress_panel.h"

class QLabel;
class QProgressBar;
class QPushButton;

namespace sonara::platform {

class QtProgressPanel final : public QDialog, public ui::ProgressPanel {
 public:
  explicit QtProgressPanel(QWidget* parent = nullptr);

  void setCancelHandler(std::function<void()> cancel) override;
  void setTitle(const std::string& title) override;
  void setRange(double minimum, double maximum) override;
  void setValue(double value) override;
  void show() override;
  void close() override;
  bool visible() const override;

  QLabel* titleLabel() const { return title_; }
  QProgressBar* bar() const { return bar_; }
  QPushButton* cancelButton() const { return cancel_; }

 protected:
  // Escape and closing the window are Cancel.
  void reject() override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void showValue();

  std::function<void()> cancel_handler_;
  double minimum_ = 0, maximum_ = 0, value_ = 0;
  QLabel* title_;
  QProgressBar* bar_;
  QPushButton* cancel_;
};

}  // namespace sonara::platform
