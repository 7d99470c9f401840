// The player's main window: transport buttons, the digital time display, the seek
// slider, the eight indicator lights with their captions, the repeat and shuffle
// indicators, the signal path and time status lines, the status field, the device box
// and the place the engine's playlist goes; with the program's menus. It only shows:
// every decision is the application controller's.
#pragma once

#include <QMainWindow>

#include <array>
#include <map>

#include "app/controller/menu_validation.h"

class QAbstractButton;
class QActionGroup;
class QComboBox;
class QLabel;

namespace pelmora {

class CustomSlider;
class CustomTextFieldCell;
class LCDTimeView;
class LEDControl;
class RepeatModeIndicator;
class ShuffleModeIndicator;

class PlayerWindow : public QMainWindow {
  Q_OBJECT

 public:
  // Playing, then the format lights in the order of app::kFormatLightNames.
  static constexpr int kLightCount = 8;

  explicit PlayerWindow(const QString& application_name, QWidget* parent = nullptr);

  // Null for a command the window has no item for.
  QAction* action(app::Command command) const {
    auto found = actions_.find(command);
    return found == actions_.end() ? nullptr : found->second;
  }
  QAbstractButton* button(app::Command command) const { return buttons_.at(command); }
  QAction* hideAction() const { return hide_; }

  LCDTimeView* timeView() const { return time_view_; }
  CustomSlider* slider() const { return slider_; }
  LEDControl* light(int index) const { return lights_[static_cast<size_t>(index)]; }
  RepeatModeIndicator* repeatIndicator() const { return repeat_indicator_; }
  ShuffleModeIndicator* shuffleIndicator() const { return shuffle_indicator_; }
  CustomTextFieldCell* statusField() const { return status_field_; }
  QLabel* timeStatus() const { return time_status_; }
  QLabel* signalPath() const { return signal_path_; }
  QComboBox* deviceBox() const { return device_box_; }
  // The engine's playlist table is placed in here.
  QWidget* playlistHost() const { return playlist_host_; }

  // The controller agreed to close: the next close goes through.
  void allowClose() { closing_allowed_ = true; }

 signals:
  // The user asked to close the window; the controller decides.
  void closeRequested();
  // Files or folders dropped on the window, as local paths.
  void filesDropped(const QStringList& paths);

 protected:
  void closeEvent(QCloseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QWidget* makeDisplay();
  QWidget* makeTransport();
  QWidget* makeLights();
  void makeMenus(const QString& application_name);
  QAction* addCommand(QMenu* menu, app::Command command, const QString& text,
                      const QKeySequence& shortcut = {});

  std::map<app::Command, QAction*> actions_;
  std::map<app::Command, QAbstractButton*> buttons_;
  QAction* hide_ = nullptr;
  QActionGroup* order_group_ = nullptr;
  LCDTimeView* time_view_ = nullptr;
  CustomSlider* slider_ = nullptr;
  std::array<LEDControl*, kLightCount> lights_{};
  RepeatModeIndicator* repeat_indicator_ = nullptr;
  ShuffleModeIndicator* shuffle_indicator_ = nullptr;
  CustomTextFieldCell* status_field_ = nullptr;
  QLabel* time_status_ = nullptr;
  QLabel* signal_path_ = nullptr;
  QComboBox* device_box_ = nullptr;
  QWidget* playlist_host_ = nullptr;
  bool closing_allowed_ = false;
};

}  // namespace pelmora
