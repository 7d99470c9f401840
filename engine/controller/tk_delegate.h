// The engine's one controller: owns the playlist model, the device list, the output
// context, the play engine, the decoder options and the plug-in information list;
// carries out every transport request, decides what the play engine decodes next,
// and turns engine events into client events (delivered on the main thread).
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "engine/api/records.h"
#include "engine/play/ram_play_manager_delegate.h"
#include "platform/audio/audio_hal.h"
#include "engine/playlist/playlist_item_info.h"
#include "platform/main_loop.h"
#include "platform/memory_probe.h"
#include "plugin/value.h"

class KivSonaraDelegate;
class AudioDevice;
class AudioDeviceList;
class AudioOutputContext;
class PlayManager;
class PlaylistArrayController;
class PlaylistTableView;
class PlaylistTableBinding;
class CDPanel;
class DevicePresenceWatch;

namespace sonara::ui {
class PlaylistView;
class ModalRun;
}
namespace sonara::platform {
class SleepWatcher;
}

// A replacement of the playlist waiting for the save prompt's answer: the records
// the new list gets, its flags and its playlist file.
struct SheetDidEndPresentData {
  std::vector<PlaylistItemInfoRef> infos;
  bool fixed = false;
  bool saved = true;
  bool cd = false;
  std::string playlist_path;
};

class TkDelegate : public RAMPlayManagerDelegate {
 public:
  TkDelegate();
  ~TkDelegate() override;
  TkDelegate(const TkDelegate&) = delete;
  TkDelegate& operator=(const TkDelegate&) = delete;

  // Set-up once the controller exists, before Toolkit_Init applies its defaults.
  void awakeFromNib();

  // --- client and window -------------------------------------------------------
  KivSonaraDelegate* delegate() const { return delegate_; }
  void setDelegate(KivSonaraDelegate* d) { delegate_ = d; }
  void* window() const { return window_; }
  void setWindow(void* window);
  void windowResized();
  void tableViewColumnDidResize();
  // The playlist's own window closes: asks to save an unsaved playlist.
  void windowWillClose();
  // True when the list was written.
  bool saveOnClose();
  sonara::ui::PlaylistView& playlistView();
  PlaylistArrayController& array_tbl_ctl() { return *array_tbl_ctl_; }

  // --- transport ---------------------------------------------------------------
  void playOnMode();
  // Where in its track the next start begins (consumed by that start).
  void setStartOffsetOfNextPlay(double seconds) { next_start_offset_ = seconds; }
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
  // Starts the current play-order track at `position_ns` on the engine now present,
  // paused when `paused`.
  void endRestructuring(uint64_t position_ns, bool paused);

  // --- devices, sleep ----------------------------------------------------------
  void updateAudioOutputDeviceList();
  void initializeAudioOutputDeviceList();
  void deviceSelected(const std::optional<std::string>& name);
  bool setupNewOutputContextWithDeviceListIndex(int index);
  // The output context's disconnection callback (the HAL's notification thread).
  static void deviceLost(const std::weak_ptr<TkDelegate*>& alive);
  void willSleepNotification();
  void didWakeNotification();
  std::vector<TkDeviceInfo> deviceInfoArray() const;
  std::optional<std::string> currentOutputDeviceName() const;
  const std::shared_ptr<AudioDevice>& current_output_device() const { return current_output_device_; }
  const std::shared_ptr<AudioOutputContext>& audioOutputContext() const { return audio_output_ctx_; }
  AudioDeviceList* outputDeviceList() const { return output_device_list_.get(); }

  // --- play engine -------------------------------------------------------------
  bool setupPlayManager();
  // Rebuilds the play engine for the stored configuration and selects the device;
  // what was playing goes on from the same position (paused if it was). False when
  // the engine cannot be built (then no device is selected).
  bool applyConfiguration(const std::optional<std::string>& device_name);
  void updateDecoderOption(sonara::Value value, const std::string& key);
  const sonara::Dict& decoderOptions() const { return decoder_options_; }
  bool hasPlayManager() const { return play_manager_ != nullptr; }
  PlayManager* playManagerForTests() const { return play_manager_.get(); }

  // PlayManagerDelegate.
  void started(const PlaylistItemInfoRef& info) override;
  void decoded(const PlaylistItemInfoRef& info) override;
  void decodeFailed(const PlaylistItemInfoRef& info) override;
  void decodeFailedNotSupport(const PlaylistItemInfoRef& info) override;
  void finished(const PlaylistItemInfoRef& info) override;
  void finishedAll() override;
  void stoped(const PlaylistItemInfoRef& info) override;
  int32_t decodeMode() const override { return decode_mode_; }

  // RAMPlayManagerDelegate: the decoding progress panel of RAM play mode.
  void readyRAMModal(const PlaylistItemInfoRef& info) override;
  bool startRAMModal() override;
  void updateRAMDecodeProgressRange(double offset, double duration) override;
  bool updateRAMDecodeProgress(double seconds) override;
  void endRAMModal(const PlaylistItemInfoRef& info) override;
  void insufficientMemory(const PlaylistItemInfoRef& info) override;
  // The panel's Cancel button.
  void ramDecodeCanceled();
  // Where RAM play mode asks for the machine's available memory (tests give their
  // own); kept for every engine built from now on, and given to the present one.
  void setRAMMemoryProbe(sonara::platform::MemoryProbe probe);

  // --- playlist commands -------------------------------------------------------
  void newPlaylist();
  void willOpenFile();
  void openFile();
  void willAddFile();
  void addDroppedFiles(const std::vector<std::string>& paths);
  void removeSelection();
  void willSelectPlaylist();
  void selectPlaylist();
  // 1 when the list was written, 0 when the user cancelled or the write failed.
  int32_t savePlaylist();
  int32_t fileSaveSheetDidEnd(const std::optional<std::string>& chosen);
  // The save prompt before `pending` (open, load, CD panel): "No" runs it at once,
  // "Yes" saves first and runs it once the list is safely written.
  void confirmPlaylistSaveAndExecuteBlock(std::function<void()> pending);
  // The save prompt before the list is replaced by `next` (a new list).
  bool confirmReplacePlaylistWithoutSave(SheetDidEndPresentData next);
  bool replacePlaylist(const SheetDidEndPresentData& next);
  static std::vector<PlaylistItemInfoRef> pathArrayToInfoArray(const std::vector<std::string>& paths);
  static std::vector<std::string> droppableExtensions();
  void saveLastPlaylist();
  void loadLastPlaylist();
  void willEditProp(int64_t row);
  void tableViewSelectionDidChange(bool selected);
  // The rows, their marks or the selection changed: the drawn table is redrawn, and
  // the client hears when the list gained or lost its selection.
  void playlistRowsChanged();
  bool isPlaylistDirty() const;
  uint32_t getPlaylistItemCount() const;

  // --- the table: context menu, drag and drop ------------------------------------
  PlaylistTableView& tableView() { return *view_tbl_; }
  void playFromContextMenu();
  void removeFromContextMenu();
  void propertiesFromContextMenu();
  enum class DropOperation { On, Above };
  enum class DragOperation { None, Copy, Move };
  // Starts a drag of `rows`; false when the list cannot be edited.
  bool tableViewWriteRowsWithIndexes(const std::set<size_t>& rows);
  // What a drop of the pasteboard's contents at `row` would do; a row drag is
  // retargeted to drop above the row.
  DragOperation tableViewValidateDrop(int64_t row, DropOperation* operation);
  bool tableViewAcceptDrop(int64_t row, DropOperation operation);

  // --- audio CDs -------------------------------------------------------------------
  void showCDPanel();
  void CDSelectionDidOK();
  CDPanel& cdPanel() { return *cd_panel_; }

  // --- status ------------------------------------------------------------------
  void setStatusBarFormat(const std::string& text);
  void setStatusBarTimestamp(double s) { currentItemTimestamp = s; }
  void setStatusBarDuration(double s) { currentItemDuration = s; }
  void setStatusBarTotalBaseTimesatmp(double s) { currentTimestampBeforeCurrentItem = s; }
  void setStatusBarTotalDuration(double s) { total_duration = s; }
  void updateStatusBar() {}
  void updateTimeText(double s) { setStatusBarTimestamp(s); }
  std::string decoderIndicatorText() const;
  // What the device receives for the playing item; false when nothing plays.
  bool outputFormat(TkOutputFormat* format) const;
  // The display name of a record's format ("DSF", "FLAC", ...).
  std::string getDisplayExt(const std::string& path) const;

  // The record the table's properties command was chosen for, and the one playing.
  PlaylistItemInfoRef itemUnderEdit() const;
  PlaylistItemInfoRef currentItem() const;
  // The one playing, or while the client hears of a track's start, that track (a very
  // short one may have ended by then).
  PlaylistItemInfoRef itemForClient() const;

  // Plug-in information: one dictionary per plug-in with "name", "exts", "version".
  const std::vector<sonara::Dict>& pluginInfoArray() const { return about_plugin_tbl_ctl_; }

  // Prepares for release (Toolkit_Exit).
  void exit();

  // --- state read by the API ---------------------------------------------------
  std::atomic<double> currentItemDuration{0.0};
  std::atomic<double> currentItemTimestamp{0.0};
  std::atomic<double> currentTimestampBeforeCurrentItem{0.0};
  std::atomic<double> total_duration{0.0};
  std::atomic<double> samplingRateIndicator{0.0};
  std::atomic<int32_t> bitsIndicator{0};
  double gapless_db_ = 0.0;
  bool mp3_gapless_enable = false;
  int32_t ram_mode_matrix_ = 0;
  int32_t ram_mode_limit_text_ = 0;
  std::atomic<int32_t> decode_mode_{0};
  // Written on the main thread, read by the decoding threads' decode-ahead choice.
  std::atomic<bool> shuffleOn{false};
  std::atomic<int32_t> repeatMode{0};

  bool playing() const { return playing_; }
  bool holdsIdleSleepAssertion() const { return assertionID != 0; }
  bool holdsSleepDelay() const { return sleep_delay_id_ != 0; }
  bool paused() const { return pause_; }

 private:
  // The drawn table stops reading this controller's rows.
  void detachTable();
  // Stops and lets go of the play engine; the controller is then stopped.
  void releasePlayManager();
  bool reconnectIfNeeded();
  void enterStopped();
  void watchForReturnOf(const std::string& name, sonara::audio::DeviceId id);
  void forgetLostDevice();
  void lostDeviceMayHaveReturned();
  void step(bool backwards);
  void preventIdleSleep();
  void allowIdleSleep();
  void holdSleepDelayWhileDeviceOpen();
  void releaseSleepDelay();
  void buildPluginInfoList();
  void notifyError(int32_t code, const PlaylistItemInfoRef& info);
  void postToMain(std::function<void(TkDelegate&)> work);
  void updateStatusBarByInfo(const PlaylistItemInfoRef& info);
  void touchIndicator(const PlaylistItemInfoRef& info);
  void pauseIndicator(const PlaylistItemInfoRef& info);
  void untouchIndicator(const PlaylistItemInfoRef& info);
  void updateUI4PlayStop();
  void timeUpdate();
  void restartTimeUpdates();
  void cancelTimeUpdates();
  void sendPosition(double position);
  PlaylistItemInfoRef completedInfo(uint64_t id);
  void playlistUpdateNotificationHandler(const std::vector<PlaylistItemInfoRef>& infos, const char* type);
  void updateStatusBarTotalDuration();
  // The list becomes an ordinary, empty, saved one.
  void dropFixedList();

  mutable std::recursive_mutex monitor_;
  KivSonaraDelegate* delegate_ = nullptr;
  void* window_ = nullptr;
  std::vector<sonara::Dict> about_plugin_tbl_ctl_;
  std::unique_ptr<PlaylistArrayController> array_tbl_ctl_;
  std::unique_ptr<PlaylistTableView> view_tbl_;
  // What the drawn table reads and sends its events to.
  std::unique_ptr<PlaylistTableBinding> table_binding_;
  bool reported_selection_ = false;  // main thread: what the client last heard
  std::unique_ptr<CDPanel> cd_panel_;
  std::vector<TkDeviceInfo> array_output_devices_;
  std::unique_ptr<AudioDeviceList> output_device_list_;
  std::shared_ptr<AudioDevice> current_output_device_;
  std::shared_ptr<AudioOutputContext> audio_output_ctx_;
  std::shared_ptr<PlayManager> play_manager_;
  double next_start_offset_ = 0;
  PlaylistItemInfoRef announced_item_;  // main thread: during the client's songSwitch
  PlaylistItemInfoRef position_item_;   // main thread: the track the status bar's times are for
  std::atomic<uint8_t> is_play_manager_alive_{0};
  // Where playback goes on once a rebuilt engine exists.
  struct Resume {
    uint64_t position_ns;
    bool paused;
  };
  std::optional<Resume> pending_resume_;
  // The device the client chose that went away, watched for its return.
  std::optional<std::string> lost_device_name_;
  std::unique_ptr<DevicePresenceWatch> lost_device_watch_;
  // Work posted to the main thread checks this before touching the controller.
  std::shared_ptr<TkDelegate*> lifetime_ = std::make_shared<TkDelegate*>(this);
  std::atomic<bool> ram_decode_canceled_flag_{false};
  // One modal run per decode, oldest first: a decode started from inside another's
  // run (a next track chosen meanwhile) ends after it, and so does its run.
  std::mutex ram_modal_mutex_;
  std::deque<std::shared_ptr<sonara::ui::ModalRun>> ram_modals_;
  std::shared_ptr<sonara::ui::ModalRun> ram_modal_ready_;  // main thread: the one about to run
  // Main thread: the run whose decode the panel shows; an older run's end leaves the
  // panel to it.
  std::shared_ptr<sonara::ui::ModalRun> ram_modal_shown_;
  // The latest progress, drawn by at most one pending main-thread task.
  std::atomic<double> ram_progress_value_{0.0};
  std::atomic<bool> ram_progress_posted_{false};
  sonara::platform::MemoryProbe ram_memory_probe_;
  mutable std::mutex items_mutex_;
  PlaylistItemInfoRef currentItem_;
  PlaylistItemInfoRef item_under_edit_;
  mutable std::mutex indicator_mutex_;
  std::string decoderIndicator_;
  sonara::Dict decoder_options_;
  std::atomic<bool> playing_{false};
  std::atomic<bool> pause_{false};
  bool resizing_ = false;
  int64_t assertionID = 0;
  int64_t sleep_delay_id_ = 0;
  sonara::platform::DelayedPerformId time_update_ = 0;
  int64_t last_whole_second_ = -1;
  std::unique_ptr<sonara::platform::SleepWatcher> sleep_watcher_;
};
