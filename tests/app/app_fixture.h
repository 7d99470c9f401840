// The engine as the desktop program runs it: the Qt main loop and the Qt user
// interface installed, virtual devices, the playlist table placed in a window, and a
// client that records every event. The test thread is Qt's main thread.
#pragma once

#include <QApplication>
#include <QVBoxLayout>
#include <QWidget>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "app/platform/dialog_runner.h"
#include "app/platform/qt_main_loop.h"
#include "app/platform/qt_ui_services.h"
#include "support/controller_fixture.h"
#include "support/offscreen_application.h"

class AppFixture : public ControllerFixture {
 protected:
  void SetUp() override {
    testApplication();
    ControllerFixture::SetUp();
    qt_loop_ = std::make_shared<sonara::platform::QtMainLoop>();
    ui_ = std::make_shared<sonara::platform::QtUiServices>();
    sonara::platform::installMainLoop(qt_loop_);
    sonara::platform::installUiServices(ui_);
    window_ = std::make_unique<QWidget>();
    window_->setLayout(new QVBoxLayout);
    window_->resize(640, 400);
    ui_->setMainWindow(window_.get());
  }
  void TearDown() override {
    EXPECT_EQ(sonara::platform::pendingDialogAnswers(), 0) << "a dialog the test answered never came";
    sonara::platform::forgetDialogAnswers();
    ControllerFixture::TearDown();
    sonara::platform::installUiServices(nullptr);
    window_.reset();
  }

  // The engine started on "DAC A" with its playlist in the window, as the program does.
  void startWithTable() {
    start("DAC A");
    TkPlaylistLayout layout;
    layout.containerView = window_.get();
    layout.width = window_->width();
    layout.height = window_->height();
    const int32_t widths[] = {60, 300, 168, 70};
    std::copy(std::begin(widths), std::end(widths), layout.columnWidths);
    ASSERT_EQ(Toolkit_SetPlaylist(&layout), 0);
    window_->show();
    turn();
  }

  sonara::platform::PlaylistTableWidget& table() { return *ui_->qtPlaylistView().table(); }
  sonara::platform::PlaylistTableModel& rows() { return table().playlistModel(); }
  // The text of one column, row by row, as the table shows it.
  std::vector<std::string> column(int c) {
    std::vector<std::string> texts;
    for (int r = 0; r < rows().rowCount(); ++r) texts.push_back(rows().index(r, c).data().toString().toStdString());
    return texts;
  }
  std::vector<std::string> titles() { return column(sonara::ui::kTitleColumn); }
  int markOf(int row) { return rows().index(row, 0).data(sonara::platform::PlaylistTableModel::kMarkRole).toInt(); }
  QPoint centreOf(int row) { return table().visualRect(rows().index(row, 1)).center(); }

  // Lets posted work and pending events run.
  void turn() { qt_loop_->runFor(std::chrono::milliseconds(20)); }

  std::shared_ptr<sonara::platform::QtMainLoop> qt_loop_;
  std::shared_ptr<sonara::platform::QtUiServices> ui_;
  std::unique_ptr<QWidget> window_;
};
