// The desktop program's controller: starts and stops the engine, keeps the program's
// settings, turns every command of the window and the menus into one Toolkit_* call
// and shows what the engine reports. It keeps no playlist or playback logic of its
// own: the engine's playlist table sits inside the window.
#pragma once

#include <QObject>
#include <QTimer>

#include <memory>
#include <string>

#include "app/widgets/custom_slider.h"
#include "app/widgets/custom_text_field_cell.h"
#include "app/widgets/slider_popover.h"
#include "engine/api/kiv_sonara_delegate.h"
#include "engine/api/records.h"
#include "platform/user_defaults.h"

namespace pelmora::remote {
class MprisService;
}

namespace pelmora {

class AboutPanel;
class ErrorPanel;
class PlayerWindow;
class PreferencesPanel;
class PropertiesPanel;

class AppDelegate final : public QObject,
                          public KivSonaraDelegate,
                          public CustomSliderDelegate,
                          public CustomTextFieldCellDelegate {
  Q_OBJECT

 public:
  static constexpr int kMessageClearDelayMs = 3000;

  explicit AppDelegate(sonara::platform::UserDefaults& defaults, QObject* parent = nullptr);
  ~AppDelegate() override;

  // Starts the engine, restores the settings and the last playlist and shows the
  // window. False when a fatal error was shown: the program ends.
  bool launch();
  // Saves what the user chose and ends the engine; once, at the program's end.
  void terminate();

  // The quit command and the window's close button: stops playback and, with tracks in
  // the list, offers to save them. Emits quitApproved when the program is to end.
  void requestQuit();
  // Ends without asking (a remote's Quit); the last playlist is kept all the same.
  void quitNow();

  // Files given on the command line or dropped on the window.
  void addFiles(const QStringList& paths);

  // Commands.
  void play();
  void stop();
  void pause();
  void previous();
  void next();
  void setShuffle(bool on);
  void setOrder(int32_t mode);  // 0 in order, 1 repeat title, 2 repeat all
  void newPlaylist();
  void openFile();
  void loadPlaylist();
  void openCd();
  void savePlaylist();
  void addFilesFromPanel();
  void removeSelection();
  void showPreferences();
  void showProperties();
  void showAbout();

  // Remote control: told of the engine's events and of the program's own changes.
  void setRemote(remote::MprisService* remote) { remote_ = remote; }
  // A remote changed the repeat mode or shuffle in the engine: the controls follow.
  void followRepeat(int32_t mode);
  void followShuffle(bool on);

  // The client event protocol.
  void songSwitch() override;
  void stateDidChange(int32_t state) override;
  void notifyError(int32_t code, const AudioFileInfo* info) override;
  void notifyPos(uint32_t position, uint32_t total) override;
  void playlistStateDidChange(int32_t state) override;
  void playlistSelectionDidChange(bool selected) override;
  void propertiesMenuSelected() override;
  void checkForLastConnectedDevice() override;

  // The seek slider's knob moved under the mouse; the status field was drawn.
  void positionUpdated(CustomSlider* slider, double time, const QRectF& knob_rect) override;
  void drawWithFrame(const QRect& frame, QWidget* view) override;

  PlayerWindow* window() const { return window_.get(); }
  PreferencesPanel* preferencesPanel() const { return preferences_; }
  PropertiesPanel* propertiesPanel() const { return properties_; }
  ErrorPanel* errorPanel() const { return error_panel_; }
  AboutPanel* aboutPanel() const { return about_; }
  SliderPopover* popover() const { return popover_; }
  bool isPlaying() const { return playing_; }
  bool isPaused() const { return pause_; }
  int32_t playbackState() const { return currentPlaybackState; }
  const TkConfig& configuration() const { return config; }
  const std::string& messageText() const { return message_text; }
  const std::string& timeStatusText() const { return time_status; }
  bool isMessageClearPending() const { return message_clear_.isActive(); }

 signals:
  void quitApproved();

 private:
  // Launch steps and the window.
  bool startEngine();
  bool placePlaylist();
  void fillAboutPanel();
  void loadAppSettings();
  void connectWindow();
  void initializeAudioOutputDeviceList(bool select_now);
  void deviceChosen();

  // Displays.
  void updateUIForSongSwitch();
  void applyStartDisplay();
  void applyPauseDisplay();
  void applyStopDisplay();
  void showTransportTicks();
  void refreshTimeStatus();
  void refreshSignalPath();
  void validateMenus();
  void setMessage(const std::string& text);
  void seekSliderReleased();

  // New, open, load or a CD in place of the list.
  void replacePlaylistWith(int32_t (*command)());

  // Controller state.
  bool playing_ = false;
  bool pause_ = false;
  bool select_ = false;
  int32_t currentPlaybackState = 0;
  bool playlist_readonly = false;
  TkConfig config;
  double playlist_total_time = 0;
  double playlist_current_time = 0;
  double track_duration = 0;
  double track_remain_time = 0;
  std::string message_text;
  std::string time_status;
  sonara::Dict decoder_options_;

  sonara::platform::UserDefaults& defaults_;
  std::unique_ptr<PlayerWindow> window_;
  // Panels belong to the window: Qt deletes them with it.
  PreferencesPanel* preferences_ = nullptr;
  PropertiesPanel* properties_ = nullptr;
  ErrorPanel* error_panel_ = nullptr;
  AboutPanel* about_ = nullptr;
  SliderPopover* popover_ = nullptr;
  std::unique_ptr<PopoverForCustomSliderViewController> popover_content_;
  QTimer message_clear_;
  remote::MprisService* remote_ = nullptr;
  bool engine_started_ = false;
  bool launched_ = false;
  bool terminated_ = false;
  bool signal_path_complete_ = false;
};

}  // namespace pelmora
