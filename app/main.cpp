// pelmora: the desktop player. For now a plain window: the engine's playlist table
// and a toolbar of transport commands over the Toolkit API; the application
// controller replaces the window and the client below.
#include <QAction>
#include <QApplication>
#include <QMainWindow>
#include <QMessageBox>
#include <QToolBar>
#include <QVBoxLayout>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "app/platform/qt_main_loop.h"
#include "app/platform/qt_ui_services.h"
#include "engine/api/toolkit.h"
#include "platform/services.h"

namespace {

// Hears the engine's events and asks for nothing yet.
class PlainClient final : public KivSonaraDelegate {
 public:
  void songSwitch() override {}
  void stateDidChange(int32_t) override {}
  void notifyError(int32_t code, const AudioFileInfo*) override { std::fprintf(stderr, "error %d\n", code); }
  void notifyPos(uint32_t, uint32_t) override {}
  void playlistStateDidChange(int32_t) override {}
  void playlistSelectionDidChange(bool) override {}
  void propertiesMenuSelected() override {}
  void checkForLastConnectedDevice() override {}
};

void addCommand(QToolBar& bar, const QString& text, int32_t (*command)()) {
  QObject::connect(bar.addAction(text), &QAction::triggered, [command] { command(); });
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName("Pelmora");
  auto loop = std::make_shared<sonara::platform::QtMainLoop>();
  auto ui = std::make_shared<sonara::platform::QtUiServices>();
  sonara::platform::installMainLoop(loop);
  sonara::platform::installUiServices(ui);

  QMainWindow window;
  window.setWindowTitle(QApplication::applicationName());
  auto* container = new QWidget(&window);
  container->setLayout(new QVBoxLayout);
  container->layout()->setContentsMargins(0, 0, 0, 0);
  window.setCentralWidget(container);
  window.resize(760, 480);
  ui->setMainWindow(&window);

  PlainClient client;
  if (int32_t code = Toolkit_Init(&client); code != 0) {
    QMessageBox::critical(nullptr, "FATAL", QString("toolkit initialization failed.(code=%1)").arg(code));
    return 1;
  }
  TkConfig config;
  Toolkit_GetConfiguration(&config);
  Toolkit_SetConfiguration(&config);
  TkPlaylistLayout layout;
  layout.containerView = container;
  layout.width = container->width();
  layout.height = container->height();
  const int32_t widths[] = {60, 300, 168, 70};
  std::copy(std::begin(widths), std::end(widths), layout.columnWidths);
  Toolkit_SetPlaylist(&layout);
  Toolkit_loadLastPlaylist();
  std::vector<std::string> files;
  for (const auto& argument : QApplication::arguments().mid(1)) files.push_back(argument.toStdString());
  if (!files.empty()) Toolkit_AddDroppedFiles(files);

  QToolBar* bar = window.addToolBar("Transport");
  addCommand(*bar, "Play", Toolkit_PlayRequest);
  addCommand(*bar, "Pause", Toolkit_PauseRequest);
  addCommand(*bar, "Stop", Toolkit_StopRequest);
  addCommand(*bar, "Previous", Toolkit_PrevRequest);
  addCommand(*bar, "Next", Toolkit_NextRequest);
  addCommand(*bar, "Add Files", Toolkit_AddFile);
  addCommand(*bar, "Audio CD", Toolkit_OpenCD);

  window.show();
  loop->run();

  Toolkit_StopRequest();
  Toolkit_saveLastPlaylist();
  Toolkit_Exit();
  sonara::platform::installUiServices(nullptr);
  sonara::platform::installMainLoop(nullptr);
  return 0;
}
