#include "app/window/app_delegate.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>

#include <cmath>

#include "app/controller/app_settings.h"
#include "app/controller/menu_validation.h"
#include "app/controller/signal_path.h"
#include "app/controller/status_texts.h"
#include "app/widgets/lcd_time_view.h"
#include "app/widgets/led_control.h"
#include "app/widgets/mode_indicators.h"
#include "app/window/about_panel.h"
#include "app/window/device_list.h"
#include "app/window/error_panel.h"
#include "app/window/player_window.h"
#include "app/window/preferences_panel.h"
#include "app/window/properties_panel.h"
#include "engine/api/toolkit.h"
#include "platform/log.h"
#include "platform/services.h"
#include "remote/mpris_service.h"

namespace pelmora {

using app::Command;

namespace {

std::string codeText(const char* format, int32_t code) {
  char text[160];
  std::snprintf(text, sizeof text, format, code);
  return text;
}

}  // namespace

AppDelegate::AppDelegate(sonara::platform::UserDefaults& defaults, QObject* parent)
    : QObject(parent), defaults_(defaults) {
  message_clear_.setSingleShot(true);
  message_clear_.setInterval(kMessageClearDelayMs);
  connect(&message_clear_, &QTimer::timeout, this, [this] { setMessage({}); });
}

AppDelegate::~AppDelegate() { terminate(); }

// --- launch ------------------------------------------------------------------------

bool AppDelegate::launch() {
  const QString name = QApplication::applicationName();
  window_ = std::make_unique<PlayerWindow>(name);
  popover_ = new SliderPopover(window_.get());
  popover_content_ = std::make_unique<PopoverForCustomSliderViewController>();
  popover_->setContentViewController(popover_content_.get());
  preferences_ = new PreferencesPanel(window_.get());
  properties_ = new PropertiesPanel(window_.get());
  error_panel_ = new ErrorPanel(name, window_.get());
  about_ = new AboutPanel(name, window_.get());
  connectWindow();
  applyStopDisplay();

  if (!startEngine() || !placePlaylist()) return false;
  fillAboutPanel();
  uint32_t supported = 0;
  Toolkit_GetNumberOfSupportDevices(&supported);
  initializeAudioOutputDeviceList(supported == 1);
  window_->action(Command::OrderDefault)->setChecked(true);
  playlist_total_time = playlist_current_time = track_duration = track_remain_time = 0;
  refreshTimeStatus();
  loadAppSettings();
  Toolkit_loadLastPlaylist();

  playlist_readonly = false;
  if (auto frame = defaults_.data(app::kWindowFrameKey)) {
    window_->restoreGeometry(QByteArray(frame->data(), static_cast<qsizetype>(frame->size())));
  }
  validateMenus();
  window_->show();
  launched_ = true;
  return true;
}

bool AppDelegate::startEngine() {
  if (int32_t code = Toolkit_Init(this); code != kToolkitOk) {
    raiseError("FATAL", codeText("toolkit initialization failed.(code=%d)", code));
    return false;
  }
  engine_started_ = true;
  config = app::AppSettings(defaults_).launchConfiguration();
  if (int32_t code = Toolkit_SetConfiguration(&config); code != kToolkitOk) {
    raiseError("FATAL", codeText("Toolkit_SetConfiguration failed.(code = %d)", code));
    return false;
  }
  return true;
}

bool AppDelegate::placePlaylist() {
  QWidget* host = window_->playlistHost();
  TkPlaylistLayout layout;
  layout.containerView = host;
  layout.width = host->width();
  layout.height = host->height();
  const app::ColumnWidths widths = app::AppSettings(defaults_).columnWidths();
  std::copy(widths.begin(), widths.end(), layout.columnWidths);
  if (int32_t code = Toolkit_SetPlaylist(&layout); code != kToolkitOk) {
    raiseError("FATAL", codeText("playlist arrangement failed.(code=%d)", code));
    return false;
  }
  return true;
}

void AppDelegate::fillAboutPanel() {
  std::vector<TkPluginInfoItem> plugins;
  if (int32_t code = Toolkit_GetPluginVersion(&plugins); code != kToolkitOk) {
    raiseError("ERROR", codeText("Toolkit_GetPluginVersion failed. (code = %d)", code));
  } else {
    about_->setPlugins(plugins);
  }
  std::string version;
  if (int32_t code = Toolkit_GetToolkitVersion(&version); code != kToolkitOk) {
    raiseError("ERROR", codeText("Toolkit_GetToolkitVersion failed. (code = %d)", code));
  } else {
    about_->setToolkitVersion(version);
  }
}

void AppDelegate::loadAppSettings() {
  app::AppSettings settings(defaults_);
  const bool shuffle = settings.shuffle();
  followShuffle(shuffle);
  if (int32_t code = Toolkit_Shuffle(shuffle ? 1 : 0); code != kToolkitOk) {
    sonara::platform::logLine("error: Toolkit_Shuffle returned %lu.", static_cast<unsigned long>(code));
  }
  const int32_t mode = settings.repeatMode();
  followRepeat(mode);
  if (int32_t code = Toolkit_Repeat(mode); code != kToolkitOk) {
    sonara::platform::logLine("error: Toolkit_Repeat returned %lu.", static_cast<unsigned long>(code));
  }
}

void AppDelegate::connectWindow() {
  PlayerWindow& w = *window_;
  const std::pair<Command, void (AppDelegate::*)()> commands[] = {
      {Command::Play, &AppDelegate::play},
      {Command::Stop, &AppDelegate::stop},
      {Command::Pause, &AppDelegate::pause},
      {Command::Previous, &AppDelegate::previous},
      {Command::Next, &AppDelegate::next},
      {Command::NewPlaylist, &AppDelegate::newPlaylist},
      {Command::Open, &AppDelegate::openFile},
      {Command::LoadPlaylist, &AppDelegate::loadPlaylist},
      {Command::OpenCd, &AppDelegate::openCd},
      {Command::SavePlaylist, &AppDelegate::savePlaylist},
      {Command::AddFiles, &AppDelegate::addFilesFromPanel},
      {Command::Remove, &AppDelegate::removeSelection},
      {Command::Preferences, &AppDelegate::showPreferences},
      {Command::About, &AppDelegate::showAbout},
      {Command::Quit, &AppDelegate::requestQuit},
  };
  for (const auto& [command, method] : commands) {
    connect(w.action(command), &QAction::triggered, this, method);
  }
  for (Command command : {Command::Play, Command::Stop, Command::Pause, Command::Previous, Command::Next}) {
    connect(w.button(command), &QAbstractButton::clicked, w.action(command), &QAction::trigger);
  }
  connect(w.action(Command::Shuffle), &QAction::triggered, this, &AppDelegate::setShuffle);
  connect(w.action(Command::OrderDefault), &QAction::triggered, this, [this] { setOrder(0); });
  connect(w.action(Command::OrderRepeatTitle), &QAction::triggered, this, [this] { setOrder(1); });
  connect(w.action(Command::OrderRepeatAll), &QAction::triggered, this, [this] { setOrder(2); });
  connect(w.hideAction(), &QAction::triggered, &w, &QWidget::showMinimized);
  for (QMenu* menu : w.menuBar()->findChildren<QMenu*>()) {
    connect(menu, &QMenu::aboutToShow, this, &AppDelegate::validateMenus);
  }
  connect(w.deviceBox(), &QComboBox::activated, this, &AppDelegate::deviceChosen);
  connect(&w, &PlayerWindow::closeRequested, this, &AppDelegate::requestQuit);
  connect(&w, &PlayerWindow::filesDropped, this, &AppDelegate::addFiles);
  w.slider()->setMinimum(0);
  w.slider()->setMaximum(100);
  w.slider()->setValue(0);
  w.slider()->setEnabled(false);
  w.slider()->setDelegate(this);
  connect(w.slider(), &CustomSlider::actionTriggered, this, &AppDelegate::seekSliderReleased);
  w.statusField()->setDelegate(this);
}

// --- devices -------------------------------------------------------------------------

void AppDelegate::initializeAudioOutputDeviceList(bool select_now) {
  if (int32_t code = Toolkit_GetConfiguration(&config); code != kToolkitOk) {
    raiseError("ERROR", codeText("Toolkit_GetConfiguration failed. code = %d", code));
    return;
  }
  std::vector<TkDeviceInfo> devices;
  const int32_t result = fillDeviceBox(*window_->deviceBox(), config, &devices);
  if (result != kToolkitOk && result != kToolkitNoDevice) {
    raiseError("Toolkit_GetDeviceList failed.", codeText("error %d", result));
  }
  // A first start has no device configured: the one the box shows is the one played
  // on, rather than a play that reports no device while one is shown.
  const bool none_configured = config.deviceName().value_or("").empty();
  if (select_now || none_configured) deviceChosen();
}

void AppDelegate::deviceChosen() {
  const std::string name = window_->deviceBox()->currentText().toStdString();
  if (name.empty() || config.deviceName() == name) return;
  config.setDeviceName(name);
  if (int32_t code = Toolkit_SetConfiguration(&config); code != kToolkitOk) {
    Toolkit_GetConfiguration(&config);  // the engine kept what it had: so does the box's next choice
    raiseError("Toolkit_SetConfiguration failed.", codeText("error %d", code));
  }
}

void AppDelegate::checkForLastConnectedDevice() {
  if (terminated_) return;  // the engine asks once more as it ends
  initializeAudioOutputDeviceList(false);
  const std::string shown = window_->deviceBox()->currentText().toStdString();
  if (!shown.empty() && config.deviceName() == shown) Toolkit_SetConfiguration(&config);
}

// --- commands ------------------------------------------------------------------------

// Qt ticks a checkable item as it is chosen; the ticks show the engine's state, which
// a command may leave as it was (pause while stopped, play with an empty list).
void AppDelegate::play() {
  Toolkit_PlayRequest();
  showTransportTicks();
}

void AppDelegate::stop() {
  if (Toolkit_StopRequest() == kToolkitOk) applyStopDisplay();
  showTransportTicks();
}

void AppDelegate::pause() {
  Toolkit_PauseRequest();
  showTransportTicks();
}

void AppDelegate::showTransportTicks() {
  window_->action(Command::Play)->setChecked(playing_ && !pause_);
  window_->action(Command::Pause)->setChecked(playing_ && pause_);
  window_->action(Command::Stop)->setChecked(!playing_);
}
void AppDelegate::previous() { Toolkit_PrevRequest(); }
void AppDelegate::next() { Toolkit_NextRequest(); }

void AppDelegate::setShuffle(bool on) {
  Toolkit_Shuffle(on ? 1 : 0);
  followShuffle(on);
  if (remote_) remote_->shuffleChanged(on);
}

void AppDelegate::setOrder(int32_t mode) {
  Toolkit_Repeat(mode);
  followRepeat(mode);
  if (remote_) remote_->repeatChanged(mode);
}

void AppDelegate::followShuffle(bool on) {
  window_->action(Command::Shuffle)->setChecked(on);
  window_->shuffleIndicator()->setOn(on);
}

void AppDelegate::followRepeat(int32_t mode) {
  const Command order[] = {Command::OrderDefault, Command::OrderRepeatTitle, Command::OrderRepeatAll};
  if (mode < 0 || mode > 2) mode = 0;
  window_->action(order[mode])->setChecked(true);
  window_->repeatIndicator()->setMode(mode);
}

void AppDelegate::newPlaylist() { replacePlaylistWith(Toolkit_NewPlaylist); }
void AppDelegate::openFile() { replacePlaylistWith(Toolkit_OpenFile); }
void AppDelegate::loadPlaylist() { replacePlaylistWith(Toolkit_LoadPlaylist); }
void AppDelegate::openCd() { replacePlaylistWith(Toolkit_OpenCD); }
void AppDelegate::savePlaylist() { Toolkit_SavePlaylist(); }
void AppDelegate::addFilesFromPanel() { Toolkit_AddFile(); }
void AppDelegate::removeSelection() { Toolkit_RemoveFile(); }

void AppDelegate::addFiles(const QStringList& paths) {
  std::vector<std::string> files;
  for (const QString& path : paths) files.push_back(path.toStdString());
  if (!files.empty()) Toolkit_AddDroppedFiles(files);
}

// The engine itself asks whether to save a changed list before it replaces it (with
// a save panel the user may cancel), so the question is not put twice.
void AppDelegate::replacePlaylistWith(int32_t (*command)()) {
  if (int32_t code = command(); code != kToolkitOk) sonara::platform::logLine("error %d", code);
}

void AppDelegate::showPreferences() {
  if (preferences_->runPanel(&config)) Toolkit_GetConfiguration(&config);
  // The main window's box shows the device the engine now plays on.
  initializeAudioOutputDeviceList(false);
}

void AppDelegate::showProperties() {
  std::shared_ptr<AudioFileInfo> info;
  if (int32_t code = Toolkit_GetFileInfo(true, &info); code != kToolkitOk || !info) {
    raiseError("ERROR", codeText("Toolkit_GetFileInfo failed. code = %d", code));
    return;
  }
  properties_->showInfo(*info);
}

void AppDelegate::propertiesMenuSelected() { showProperties(); }

void AppDelegate::showAbout() {
  about_->show();
  about_->raise();
}

// --- quitting ------------------------------------------------------------------------

void AppDelegate::requestQuit() {
  if (int32_t code = Toolkit_StopRequest(); code != kToolkitOk) {
    sonara::platform::logLine("Toolkit_StopRequest failed. code = %d", code);
  }
  uint32_t items = 0;
  Toolkit_GetPlaylistItemCount(&items);
  if (items > 0) {
    const int answer = sonara::platform::uiServices().runAlert(
        {"Do you want to save changes to this playlist before closing?",
         "If you don't save, your changes will be lost.", {"Save", "Don't Save"}});
    if (answer == 0) {
      window_->raise();
      if (Toolkit_SavePlaylist() == kToolkitNotSaved) return;
    }
  }
  quitNow();
}

void AppDelegate::quitNow() {
  window_->allowClose();
  emit quitApproved();
  // Queued: the request may come from inside the window's own close, which Qt does
  // not start again from within.
  QMetaObject::invokeMethod(window_.get(), &QWidget::close, Qt::QueuedConnection);
}

void AppDelegate::terminate() {
  if (terminated_ || !engine_started_) return;
  terminated_ = true;
  if (!launched_) {
    // A launch that failed keeps the user's settings as they were.
    Toolkit_Exit();
    return;
  }
  if (int32_t code = Toolkit_StopRequest(); code != kToolkitOk) {
    sonara::platform::logLine("Toolkit_StopRequest failed. code = %d", code);
  }
  app::ColumnWidths widths = app::kDefaultColumnWidths;
  TkPlaylistLayout layout;
  if (int32_t code = Toolkit_GetPlaylist(&layout); code != kToolkitOk) {
    raiseError("ERROR", codeText("Toolkit_GetPlaylist failed. code = %d", code));
  } else {
    std::copy(std::begin(layout.columnWidths), std::end(layout.columnWidths), widths.begin());
  }
  const bool shuffle = window_->action(Command::Shuffle)->isChecked();
  const int32_t repeat = window_->action(Command::OrderRepeatAll)->isChecked()     ? 2
                         : window_->action(Command::OrderRepeatTitle)->isChecked() ? 1
                                                                                   : 0;
  Toolkit_saveLastPlaylist();
  if (int32_t code = Toolkit_GetConfiguration(&config); code != kToolkitOk) {
    raiseError("ERROR", codeText("Toolkit_GetConfiguration failed. code = %d", code));
  }
  const QByteArray frame = window_->saveGeometry();
  defaults_.setData(app::kWindowFrameKey, std::string(frame.constData(), static_cast<size_t>(frame.size())));
  app::AppSettings(defaults_).saveOnExit(shuffle, repeat, widths, config);
  Toolkit_Exit();
  message_clear_.stop();
}

// --- engine events -------------------------------------------------------------------
// They arrive on the main thread. A track switch and a state change are shown once
// the engine's call has returned: the display then asks the engine about the track.

void AppDelegate::songSwitch() {
  if (remote_) remote_->songSwitch();
  QMetaObject::invokeMethod(this, &AppDelegate::updateUIForSongSwitch, Qt::QueuedConnection);
}

void AppDelegate::stateDidChange(int32_t state) {
  currentPlaybackState = state;
  if (remote_) remote_->stateDidChange(state);
  void (AppDelegate::*display)() = nullptr;
  if (state == 0) display = &AppDelegate::applyStopDisplay;
  if (state == 1) display = &AppDelegate::applyStartDisplay;
  if (state == 2) display = &AppDelegate::applyPauseDisplay;
  if (display) QMetaObject::invokeMethod(this, display, Qt::QueuedConnection);
}

void AppDelegate::notifyError(int32_t code, const AudioFileInfo* info) {
  if (remote_) remote_->notifyError(code, info);
  switch (code) {
    case 0:
      setMessage("The output device is no longer available.");
      break;
    case 1:
      error_panel_->report("No output device has been selected.");
      break;
    case 2:
    case 3:
      setMessage(app::skippedMessage(info ? info->titleName() : ""));
      break;
    case 4:
      error_panel_->report("Insufficient Memory.", info ? info->fileName() : "");
      break;
    default:
      break;
  }
}

void AppDelegate::notifyPos(uint32_t position, uint32_t total) {
  if (remote_) remote_->notifyPos(position, total);
  if (!window_->slider()->isTracking()) window_->slider()->setValue(position);
  window_->timeView()->setValue(position);
  track_remain_time = std::max(0.0, static_cast<double>(app::roundedSeconds(track_duration)) - position);
  playlist_current_time = total;
  refreshTimeStatus();
  // The device's format is known once samples flow.
  if (!signal_path_complete_ && playing_) refreshSignalPath();
}

void AppDelegate::playlistStateDidChange(int32_t state) {
  if (remote_) remote_->playlistStateDidChange(state);
  if (state == 0) {
    uint32_t total = 0;
    if (Toolkit_TotalTime(&total) == kToolkitOk) playlist_total_time = total;
    refreshTimeStatus();
  } else if (state == 1 || state == 2) {
    playlist_readonly = state == 1;
  }
  validateMenus();
}

void AppDelegate::playlistSelectionDidChange(bool selected) {
  select_ = selected;
  validateMenus();
}

// --- displays ------------------------------------------------------------------------

void AppDelegate::updateUIForSongSwitch() {
  if (!engine_started_ || terminated_) return;
  std::shared_ptr<AudioFileInfo> info;
  if (int32_t code = Toolkit_GetFileInfo(false, &info); code != kToolkitOk || !info) {
    raiseError("ERROR", codeText("Toolkit_GetFileInfo failed.(code=%d)", code));
    return;
  }
  track_duration = info->durationBySec();
  const auto rounded = static_cast<double>(app::roundedSeconds(track_duration));
  window_->slider()->setMaximum(rounded);
  window_->slider()->setEnabled(rounded > 0);
  track_remain_time = rounded;
  const int format = app::formatLightIndex(info->extName());
  for (int i = 1; i < PlayerWindow::kLightCount; ++i) window_->light(i)->setHighlighted(i == format + 1);
  applyStartDisplay();
}

void AppDelegate::applyStartDisplay() {
  playing_ = true;
  pause_ = false;
  showTransportTicks();
  window_->light(0)->setBlinking(false);
  window_->light(0)->setHighlighted(true);
  for (Command c : {Command::Play, Command::Stop, Command::Pause}) window_->button(c)->setEnabled(true);
  refreshSignalPath();
  refreshTimeStatus();
  validateMenus();
}

void AppDelegate::applyPauseDisplay() {
  window_->light(0)->setBlinking(true);
  playing_ = true;
  pause_ = true;
  showTransportTicks();
  validateMenus();
}

void AppDelegate::applyStopDisplay() {
  playing_ = false;
  pause_ = false;
  for (int i = 0; i < PlayerWindow::kLightCount; ++i) {
    window_->light(i)->setBlinking(false);
    window_->light(i)->setHighlighted(false);
  }
  for (Command c : {Command::Play, Command::Stop, Command::Pause}) window_->button(c)->setEnabled(true);
  window_->slider()->setValue(0);
  window_->slider()->setEnabled(false);
  window_->timeView()->setValue(0);
  if (popover_) popover_->closePopover();
  track_duration = 0;
  track_remain_time = 0;
  refreshTimeStatus();
  refreshSignalPath();
  showTransportTicks();
  validateMenus();
}

void AppDelegate::refreshTimeStatus() {
  time_status = app::timeStatusText(playing_, track_duration, track_remain_time, playlist_total_time);
  window_->timeStatus()->setText(QString::fromStdString(time_status));
}

void AppDelegate::refreshSignalPath() {
  std::string text;
  signal_path_complete_ = false;
  std::shared_ptr<AudioFileInfo> info;
  if (playing_ && engine_started_ && !terminated_ && Toolkit_GetFileInfo(false, &info) == kToolkitOk && info) {
    TkOutputFormat output;
    if (Toolkit_GetOutputFormat(&output) != kToolkitOk) output = {};
    signal_path_complete_ = !output.transport.empty();
    text = app::signalPathText(*info, output);
  }
  window_->signalPath()->setText(QString::fromStdString(text));
}

void AppDelegate::validateMenus() {
  const app::PlayerState state{playing_, playlist_readonly, select_};
  for (int c = 0; c <= static_cast<int>(Command::Quit); ++c) {
    const auto command = static_cast<Command>(c);
    if (QAction* action = window_->action(command)) action->setEnabled(app::commandEnabled(command, state));
  }
}

// --- status field --------------------------------------------------------------------

void AppDelegate::setMessage(const std::string& text) {
  message_clear_.stop();  // a new message is shown its full time
  message_text = text;
  window_->statusField()->setText(QString::fromStdString(text));
}

// Cleared only once the user could have seen it.
void AppDelegate::drawWithFrame(const QRect&, QWidget*) {
  if (!message_text.empty() && !message_clear_.isActive()) message_clear_.start();
}

// --- seeking -------------------------------------------------------------------------

void AppDelegate::positionUpdated(CustomSlider* slider, double time, const QRectF& knob_rect) {
  popover_content_->setTime(time);
  popover_->showRelativeToRect(knob_rect, slider, Qt::TopEdge);
}

void AppDelegate::seekSliderReleased() {
  CustomSlider* slider = window_->slider();
  if (slider->isTracking()) return;
  popover_->closePopover();
  const auto seconds = static_cast<uint32_t>(std::max(0.0, slider->value()) + 0.5);
  slider->setValue(seconds);
  Toolkit_SetPos(seconds);
  if (remote_) remote_->seekedTo(seconds);
}

}  // namespace pelmora
