#include "app/platform/qt_ui_services.h"

#include <QApplication>

#include "app/platform/qt_alert.h"
#include "app/platform/qt_file_panels.h"

namespace sonara::platform {

QtUiServices::QtUiServices()
    : playlist_view_(pasteboard_), cd_panel_(new QtCdPanel), progress_panel_(new QtProgressPanel) {}

QtUiServices::~QtUiServices() {
  delete cd_panel_.data();
  delete progress_panel_.data();
}

void QtUiServices::setMainWindow(QWidget* window) {
  main_window_ = window;
  cd_panel_->setParent(window, cd_panel_->windowFlags());
  progress_panel_->setParent(window, progress_panel_->windowFlags());
}

QWidget* QtUiServices::dialogParent() const {
  if (main_window_) return main_window_;
  if (auto* table = playlist_view_.table(); table && table->parentWidget()) return table->window();
  return QApplication::activeWindow();
}

int QtUiServices::runAlert(const ui::Alert& alert) { return runQtAlert(alert, dialogParent()); }

std::optional<std::vector<std::string>> QtUiServices::runOpenPanel(const ui::FilePanel& panel) {
  return runQtOpenPanel(panel, dialogParent());
}

std::optional<std::string> QtUiServices::runSavePanel(const ui::FilePanel& panel) {
  return runQtSavePanel(panel, dialogParent());
}

}  // namespace sonara::platform
