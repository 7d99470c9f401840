// The engine's user interface in the desktop program: Qt message boxes and file
// dialogs, the playlist table, the CD panel and the progress panel. Made after the
// QApplication, installed with sonara::platform::installUiServices before
// Toolkit_Init; used on the main thread.
#pragma once

#include <QPointer>

#include "app/platform/qt_cd_panel.h"
#include "app/platform/qt_playlist_view.h"
#include "app/platform/qt_progress_panel.h"
#include "platform/ui/headless_ui.h"
#include "platform/ui/ui_services.h"

namespace sonara::platform {

class QtUiServices final : public ui::UiServices {
 public:
  QtUiServices();
  ~QtUiServices() override;
  QtUiServices(const QtUiServices&) = delete;
  QtUiServices& operator=(const QtUiServices&) = delete;

  int runAlert(const ui::Alert& alert) override;
  std::optional<std::vector<std::string>> runOpenPanel(const ui::FilePanel& panel) override;
  std::optional<std::string> runSavePanel(const ui::FilePanel& panel) override;
  ui::Pasteboard& pasteboard() override { return pasteboard_; }
  ui::PlaylistView& playlistView() override { return playlist_view_; }
  ui::CdPanelView& cdPanel() override { return *cd_panel_; }
  ui::ProgressPanel& progressPanel() override { return *progress_panel_; }

  // The window the panels and dialogs belong to: they open over it.
  void setMainWindow(QWidget* window);
  QtPlaylistView& qtPlaylistView() { return playlist_view_; }
  QtCdPanel& qtCdPanel() { return *cd_panel_; }
  QtProgressPanel& qtProgressPanel() { return *progress_panel_; }

 private:
  QWidget* dialogParent() const;

  // The drag pasteboard lives in the process; a drag carries it as QMimeData.
  ui::HeadlessPasteboard pasteboard_;
  QtPlaylistView playlist_view_;
  QPointer<QWidget> main_window_;
  // Deleted here, or with the main window once they belong to it (so the main window
  // goes after the engine has let go of them).
  QPointer<QtCdPanel> cd_panel_;
  QPointer<QtProgressPanel> progress_panel_;
};

}  // namespace sonara::platform
