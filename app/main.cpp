// pelmora: the desktop player. The application controller over the engine, on Qt's
// event loop, with remote control over the session bus. Files named on the command
// line are added to the playlist and the first of them plays.
#include <QApplication>
#include <QCommandLineParser>
#include <QFileInfo>

#include <memory>

#include "app/platform/playlist_table_widget.h"
#include "app/platform/qt_main_loop.h"
#include "app/platform/qt_ui_services.h"
#include "app/platform/quit_signals.h"
#include "app/window/app_delegate.h"
#include "app/window/player_window.h"
#include "app/window/remote_control.h"
#include "build_config.h"
#include "engine/api/toolkit.h"
#include "platform/services.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName("Pelmora");
  QApplication::setApplicationVersion(PELMORA_VERSION);
  QApplication::setDesktopFileName("pelmora");
  QCommandLineParser parser;
  parser.setApplicationDescription("Bit-perfect playback of PCM and DSD files on an exclusive device");
  parser.addHelpOption();
  parser.addVersionOption();
  parser.addOption({"no-mpris", "Do not offer remote control on the session bus."});
  parser.addPositionalArgument("files", "Audio files, folders, cue sheets or playlists to add.", "[files...]");
  parser.process(app);

  auto loop = std::make_shared<sonara::platform::QtMainLoop>();
  auto ui = std::make_shared<sonara::platform::QtUiServices>();
  sonara::platform::installMainLoop(loop);
  sonara::platform::installUiServices(ui);

  sonara::platform::UserDefaults& defaults = sonara::platform::userDefaults();
  auto controller = std::make_unique<pelmora::AppDelegate>(defaults);
  QObject::connect(controller.get(), &pelmora::AppDelegate::quitApproved, [&loop] { loop->quit(); });
  if (!controller->launch()) return 1;
  ui->setMainWindow(controller->window());

  std::unique_ptr<pelmora::remote::MprisService> remote;
  if (!parser.isSet("no-mpris")) {
    remote = pelmora::startRemoteControl(*controller, defaults);
    controller->setRemote(remote.get());
  }
  // A logout, a kill or Ctrl-C ends the program as its Quit does.
  sonara::platform::QuitSignals quit_signals([&controller] {
    if (controller) controller->quitNow();
  });

  // Files opened with the program (a file manager's Open With) are added and the first
  // of them plays, as a double click on its row would.
  QStringList files;
  for (const QString& argument : parser.positionalArguments()) files << QFileInfo(argument).absoluteFilePath();
  uint32_t rows_before = 0, rows_after = 0;
  Toolkit_GetPlaylistItemCount(&rows_before);
  controller->addFiles(files);
  Toolkit_GetPlaylistItemCount(&rows_after);
  auto* table = ui->qtPlaylistView().table();
  if (rows_after > rows_before && table && table->source()) table->source()->doubleClicked(rows_before);

  loop->run();

  // The remote answers no more once the engine is gone.
  controller->setRemote(nullptr);
  remote.reset();
  controller->terminate();
  ui->setMainWindow(nullptr);  // the engine's panels are the UI services' to delete
  controller.reset();
  sonara::platform::installUiServices(nullptr);
  sonara::platform::installMainLoop(nullptr);
  // Ended by a signal: the shell's status for it, as the headless player gives.
  return quit_signals.received() != 0 ? 128 + quit_signals.received() : 0;
}
