// The desktop program as a person meets it: the application controller launched over
// the Qt main loop and the Qt user interface, on virtual devices, with the settings in
// a fresh defaults file. The test thread is Qt's main thread.
#pragma once

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QMessageBox>

#include <memory>
#include <string>

#include "app/platform/dialog_runner.h"
#include "app/platform/qt_main_loop.h"
#include "app/platform/qt_ui_services.h"
#include "app/window/app_delegate.h"
#include "app/window/player_window.h"
#include "engine/output/device_table.h"
#include "support/controller_fixture.h"
#include "support/offscreen_application.h"

// The first row of the device table whose capabilities hold all of `with` and none
// of `without`; a device with its USB IDs is matched to that row.
inline const AudioDeviceInfo& deviceRow(uint32_t with, uint32_t without) {
  for (const auto& row : device_info) {
    if ((row.outputCapabilities & with) == with && (row.outputCapabilities & without) == 0) return row;
  }
  return device_info[kGenericDeviceRow];
}

class WindowFixture : public ControllerFixture {
 protected:
  void SetUp() override {
    testApplication();
    // "DAC A" plays PCM only; "DAC B" takes DoP and native DSD.
    DeviceJson a = device("DAC A", "realtime");
    DeviceJson b = device("DAC B", "realtime");
    const AudioDeviceInfo& dsd = deviceRow(kDeviceDoP | kDeviceDSD32, 0);
    b.vid = dsd.vid;
    b.pid = dsd.pid;
    b.formats.push_back(formatJson(88200, 32, 4, 2, true, true));  // DSD64 in 32-bit words
    useDevices({a, b});
    qt_loop_ = std::make_shared<sonara::platform::QtMainLoop>();
    ui_ = std::make_shared<sonara::platform::QtUiServices>();
    sonara::platform::installMainLoop(qt_loop_);
    sonara::platform::installUiServices(ui_);
    sonara::platform::closeUnansweredDialogs(true);
  }
  void TearDown() override {
    EXPECT_EQ(sonara::platform::pendingDialogAnswers(), 0) << "a dialog the test answered never came";
    sonara::platform::forgetDialogAnswers();
    if (controller_) controller_->terminate();
    ui_->setMainWindow(nullptr);  // the engine's panels outlive the window
    controller_.reset();
    for (const auto& dialog : sonara::platform::takeUnansweredDialogs()) ADD_FAILURE() << "unexpected dialog " << dialog;
    sonara::platform::closeUnansweredDialogs(false);
    ControllerFixture::TearDown();
    sonara::platform::installUiServices(nullptr);
  }

  sonara::platform::UserDefaults& defaults() { return sonara::platform::userDefaults(); }

  // The program's start, as main() does it.
  void launch() {
    controller_ = std::make_unique<pelmora::AppDelegate>(defaults());
    ASSERT_TRUE(controller_->launch());
    ui_->setMainWindow(controller_->window());
    turn();
  }
  // The program's end and a start again over the same defaults file.
  void relaunch() {
    controller_->terminate();
    ui_->setMainWindow(nullptr);
    controller_.reset();
    sonara::platform::installUserDefaults(
        std::make_shared<sonara::platform::UserDefaults>(dir_.file("defaults.plist")));
    launch();
  }

  pelmora::PlayerWindow& window() { return *controller_->window(); }
  void trigger(pelmora::app::Command command) { window().action(command)->trigger(); }

  // Turns Qt's loop until `done` holds; false after `seconds`.
  template <typename F>
  bool waitFor(F done, double seconds = 20) { return runUntil(done, seconds); }
  void turn() { qt_loop_->runFor(std::chrono::milliseconds(20)); }

  // The next message box is answered with the button of that text.
  static void answerAlertWith(const QString& button_text, QString* asked = nullptr) {
    sonara::platform::answerNextDialog([button_text, asked](QDialog& dialog) {
      auto& box = static_cast<QMessageBox&>(dialog);
      if (asked) *asked = box.text();
      for (auto* button : box.buttons()) {
        if (button->text() == button_text) {
          button->click();
          return;
        }
      }
      ADD_FAILURE() << "no button " << button_text.toStdString() << " in " << box.text().toStdString();
      dialog.reject();
    });
  }

  std::shared_ptr<sonara::platform::QtMainLoop> qt_loop_;
  std::shared_ptr<sonara::platform::QtUiServices> ui_;
  std::unique_ptr<pelmora::AppDelegate> controller_;
};
