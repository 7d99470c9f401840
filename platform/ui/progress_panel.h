// The small modal panel shown while a track decodes into memory: a determinate
// progress bar and a Cancel button. Every call comes on the main thread; the
// engine runs the panel's modal loop itself (ui::ModalRun).
#pragma once

#include <functional>
#include <string>

namespace sonara::ui {

class ProgressPanel {
 public:
  virtual ~ProgressPanel() = default;
  // Run on the main thread when the user presses Cancel.
  virtual void setCancelHandler(std::function<void()> cancel) = 0;
  // What decodes: the track's title, else its file's name.
  virtual void setTitle(const std::string& title) = 0;
  virtual void setRange(double minimum, double maximum) = 0;
  virtual void setValue(double value) = 0;
  // Centred on the main window, in front, the bar animating.
  virtual void show() = 0;
  // Stops the animation and hides the panel.
  virtual void close() = 0;
  virtual bool visible() const = 0;
};

}  // namespace sonara::ui
