// The engine's one controller: owns the playlist model, the device list, the output
// context, the play engine, the decoder options and the plug-in information list;
// carries out every transport request and turns engine events into client events.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "engine/api/records.h"
#include "plugin/value.h"

class KivSonaraDelegate;
class AudioDevice;
class AudioDeviceList;
class AudioOutputContext;

namespace sonara::ui {
class PlaylistView;
}

class TkDelegate {
 public:
  TkDelegate();
  virtual ~TkDelegate();
  TkDelegate(const TkDelegate&) = delete;
  TkDelegate& operator=(const TkDelegate&) = delete;

  // Set-up once the controller exists, before Toolkit_Init applies its defaults.
  void awakeFromNib();

  // --- client and window -------------------------------------------------------
  KivSonaraDelegate* delegate() const { return delegate_; }
  void setDelegate(KivSonaraDelegate* d) { delegate_ = d; }
  void* window() const { return window_; }
  void setWindow(void* window);
  sonara::ui::PlaylistView& playlistView();

  // --- transport ---------------------------------------------------------------
  void playOnMode();
  void startCurrentInternal(bool backwards);
  void playStop();
  void playPause();
  void playNext();
  void playPrev();
  void playlistDoubleClicked(int64_t row);
  void seek(double seconds);
  void menuShuffle(bool on);
  void menuDefaultMode();
  void menuRepeatTitleMode();
  void menuRepeatAllMode();
  uint64_t beginRestructuring();
  void endRestructuring(uint64_t position_ns);

  // --- devices, sleep ----------------------------------------------------------
  void updateAudioOutputDeviceList();
  void initializeAudioOutputDeviceList();
  void deviceSelected(const std::optional<std::string>& name);
  bool setupNewOutputContextWithDeviceListIndex(int index);
  void deviceLost();
  void willSleepNotification();
  void didWakeNotification();
  // One record per output device, in device-list order.
  std::vector<TkDeviceInfo> deviceInfoArray() const;
  std::optional<std::string> currentOutputDeviceName() const;
  const std::shared_ptr<AudioDevice>& current_output_device() const { return current_output_device_; }
  const std::shared_ptr<AudioOutputContext>& audioOutputContext() const { return audio_output_ctx_; }
  AudioDeviceList* outputDeviceList() const { return output_device_list_.get(); }

  // --- play engine -------------------------------------------------------------
  bool setupPlayManager();
  void updateDecoderOption(sonara::Value value, const std::string& key);
  const sonara::Dict& decoderOptions() const { return decoder_options_; }

  // --- playlist commands -------------------------------------------------------
  void newPlaylist();
  void willOpenFile();
  void willAddFile();
  void addDroppedFiles(const std::vector<std::string>& paths);
  void removeSelection();
  void willSelectPlaylist();
  int32_t savePlaylist();  // non-zero when saved
  void saveLastPlaylist();
  void loadLastPlaylist();
  void showCDPanel();
  void willEditProp(int64_t row);
  void tableViewSelectionDidChange(bool selected);
  bool isPlaylistDirty() const;
  uint32_t getPlaylistItemCount() const;

  // --- status ------------------------------------------------------------------
  void setStatusBarFormat(const std::string& text) { decoderIndicator = text; }
  void setStatusBarTimestamp(double s) { currentItemTimestamp = s; }
  void setStatusBarDuration(double s) { currentItemDuration = s; }
  void setStatusBarTotalBaseTimesatmp(double s) { currentTimestampBeforeCurrentItem = s; }
  void setStatusBarTotalDuration(double s) { total_duration = s; }
  void updateStatusBar() {}
  void updateTimeText(double s) { setStatusBarTimestamp(s); }

  // The record the table's properties command was chosen for, and the one playing.
  const sonara::Dict* itemUnderEdit() const;
  const sonara::Dict* currentItemRecord() const;

  // Plug-in information: one dictionary per plug-in with "name", "exts", "version".
  const std::vector<sonara::Dict>& pluginInfoArray() const { return about_plugin_tbl_ctl_; }

  // Prepares for release (Toolkit_Exit).
  void exit();

  // --- state read by the API ---------------------------------------------------
  double currentItemDuration = 0.0;
  double currentItemTimestamp = 0.0;
  double currentTimestampBeforeCurrentItem = 0.0;
  double total_duration = 0.0;
  double samplingRateIndicator = 0.0;
  int32_t bitsIndicator = 0;
  std::string decoderIndicator;
  double gapless_db_ = 0.0;
  bool mp3_gapless_enable = false;
  int32_t ram_mode_matrix_ = 0;
  int32_t ram_mode_limit_text_ = 0;
  int32_t decode_mode_ = 0;
  bool shuffleOn = false;
  int32_t repeatMode = 0;

  bool playing() const { return playing_; }
  bool paused() const { return pause_; }

 protected:
  void releasePlayManager();
  void preventIdleSleep();
  void allowIdleSleep();
  void buildPluginInfoList();

 private:
  mutable std::recursive_mutex monitor_;
  KivSonaraDelegate* delegate_ = nullptr;
  void* window_ = nullptr;
  std::vector<sonara::Dict> about_plugin_tbl_ctl_;
  std::vector<TkDeviceInfo> array_output_devices_;
  std::unique_ptr<AudioDeviceList> output_device_list_;
  std::shared_ptr<AudioDevice> current_output_device_;
  std::shared_ptr<AudioOutputContext> audio_output_ctx_;
  // Work posted to the main thread checks this before touching the controller.
  std::shared_ptr<TkDelegate*> lifetime_ = std::make_shared<TkDelegate*>(this);
  bool ram_decode_canceled_flag_ = false;
  std::optional<sonara::Dict> currentItem_;
  std::optional<sonara::Dict> item_under_edit_;
  sonara::Dict decoder_options_;
  bool playing_ = false;
  bool pause_ = false;
  int64_t assertionID = 0;
};
