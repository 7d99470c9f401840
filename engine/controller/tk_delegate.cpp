#include "engine/controller/tk_delegate.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <ctime>

#include "engine/api/constants.h"
#include "engine/api/kiv_sonara_delegate.h"
#include "engine/output/audio_device_list.h"
#include "engine/output/audio_output_context.h"
#include "engine/play/play_manager.h"
#include "engine/playlist/cd_panel.h"
#include "engine/playlist/playlist_array_controller.h"
#include "engine/playlist/playlist_table_view.h"
#include "engine/plugin/decoder_host.h"
#include "engine/plugin/plugin_manager.h"
#include "engine/controller/controller_entry.h"
#include "engine/controller/device_presence_watch.h"
#include "engine/controller/playlist_table_binding.h"
#include "engine/controller/playlist_view_fitting.h"
#include "platform/localization.h"
#include "platform/log.h"
#include "platform/path_names.h"
#include "platform/ui/ui_services.h"
#include "platform/services.h"
#include "platform/sleep_watcher.h"

using sonara::Dict;
using sonara::lookup;
using sonara::Value;
using sonara::platform::logLine;

TkDelegate::TkDelegate() = default;

TkDelegate::~TkDelegate() {
  detachTable();
  cd_panel_.reset();
  sleep_watcher_.reset();
  lost_device_watch_.reset();
  cancelTimeUpdates();
  releasePlayManager();
  lifetime_.reset();
  audio_output_ctx_.reset();
  allowIdleSleep();
  releaseSleepDelay();
  delegate_ = nullptr;
  window_ = nullptr;
}

void TkDelegate::awakeFromNib() {
  std::srand(static_cast<unsigned>(std::time(nullptr)));
  sonara::PluginManager::initializePluginList();
  array_tbl_ctl_ = std::make_unique<PlaylistArrayController>(sonara::PluginManager::sharedInstance());
  array_tbl_ctl_->setFixed(false);
  array_tbl_ctl_->setSaved(true);
  array_tbl_ctl_->setCd(false);
  array_tbl_ctl_->initialize();
  view_tbl_ = std::make_unique<PlaylistTableView>(*array_tbl_ctl_);
  table_binding_ = std::make_unique<PlaylistTableBinding>(*this);
  playlistView().setTableSource(table_binding_.get());
  std::weak_ptr<TkDelegate*> alive = lifetime_;
  cd_panel_ = std::make_unique<CDPanel>(sonara::platform::uiServices().cdPanel(), [alive] {
    if (auto self = alive.lock()) {
      ControllerEntry entry;
      (*self)->CDSelectionDidOK();
    }
  });
  sonara::platform::uiServices().progressPanel().setCancelHandler([alive] {
    if (auto self = alive.lock()) {
      ControllerEntry entry;
      (*self)->ramDecodeCanceled();
    }
  });
  array_tbl_ctl_->setChangeNotificationTarget(
      [alive](const std::vector<PlaylistItemInfoRef>& infos, const char* type) {
        if (auto self = alive.lock()) (*self)->playlistUpdateNotificationHandler(infos, type);
      });
  decoder_options_.clear();
  array_output_devices_.clear();
  initializeAudioOutputDeviceList();
  buildPluginInfoList();
  sleep_watcher_ = std::make_unique<sonara::platform::SleepWatcher>([alive](bool going_to_sleep) {
    sonara::platform::mainLoop().post([alive, going_to_sleep] {
      if (auto tk = alive.lock()) {
        ControllerEntry entry;
        if (going_to_sleep) {
          (*tk)->willSleepNotification();
        } else {
          (*tk)->didWakeNotification();
        }
      }
    });
  });
}

void TkDelegate::buildPluginInfoList() {
  about_plugin_tbl_ctl_.clear();
  for (const auto& record : sonara::PluginManager::sharedInstance().getPluginProperties()) {
    std::string exts;
    for (const auto& e : lookup(record.properties, PLUGIN_KEY_EXTS).asArray()) {
      exts += exts.empty() ? e.asString() : ", " + e.asString();
    }
    Dict entry;
    entry["name"] = lookup(record.properties, PLUGIN_KEY_NAME);
    entry["exts"] = Value(exts);
    entry["version"] = lookup(record.properties, PLUGIN_KEY_VER);
    about_plugin_tbl_ctl_.push_back(std::move(entry));
  }
}

void TkDelegate::setWindow(void* window) { window_ = window; }

void TkDelegate::windowResized() {
  if (resizing_) return;
  resizing_ = true;
  fitColumnsToWidth(playlistView());
  resizing_ = false;
}

void TkDelegate::tableViewColumnDidResize() {
  if (resizing_) return;
  resizing_ = true;
  fitLastColumn(playlistView());
  resizing_ = false;
}

sonara::ui::PlaylistView& TkDelegate::playlistView() {
  return sonara::platform::uiServices().playlistView();
}

void TkDelegate::detachTable() {
  if (!table_binding_) return;
  playlistView().setTableSource(nullptr);
  table_binding_.reset();
}

void TkDelegate::playlistRowsChanged() {
  if (!sonara::platform::mainLoop().isMainThread()) {
    postToMain([](TkDelegate& tk) { tk.playlistRowsChanged(); });
    return;
  }
  if (!table_binding_) return;
  playlistView().reloadRows();
  const bool selected = !array_tbl_ctl_->selectionIndexes().empty();
  if (selected != reported_selection_) tableViewSelectionDidChange(selected);
}

void TkDelegate::postToMain(std::function<void(TkDelegate&)> work) {
  std::weak_ptr<TkDelegate*> alive = lifetime_;
  sonara::platform::mainLoop().post([alive, work = std::move(work)] {
    if (auto self = alive.lock()) {
      ControllerEntry entry;
      work(**self);
    }
  });
}

// --- status and indicators ---------------------------------------------------------------

void TkDelegate::setStatusBarFormat(const std::string& text) {
  std::lock_guard lock(indicator_mutex_);
  decoderIndicator_ = text;
}

std::string TkDelegate::decoderIndicatorText() const {
  std::lock_guard lock(indicator_mutex_);
  return decoderIndicator_;
}

std::string TkDelegate::getDisplayExt(const std::string& path) const {
  if (array_tbl_ctl_ && array_tbl_ctl_->cd()) return "CD";
  const std::string ext = sonara::platform::lowerCaseExtension(path);
  static const std::pair<const char*, const char*> kNames[] = {
      {"mp3", "MP3"}, {"wav", "WAV"}, {"aif", "AIFF"}, {"aiff", "AIFF"},
      {"flac", "FLAC"}, {"dff", "DFF"}, {"dsf", "DSF"}, {"m4a", "ALAC"}};
  for (const auto& [e, display] : kNames) {
    if (ext == e) return display;
  }
  return "";
}

PlaylistItemInfoRef TkDelegate::itemUnderEdit() const {
  std::lock_guard lock(items_mutex_);
  return item_under_edit_;
}

PlaylistItemInfoRef TkDelegate::currentItem() const {
  std::lock_guard lock(items_mutex_);
  return currentItem_;
}

PlaylistItemInfoRef TkDelegate::itemForClient() const {
  auto item = currentItem();
  return item ? item : announced_item_;
}

void TkDelegate::notifyError(int32_t code, const PlaylistItemInfoRef& info) {
  std::shared_ptr<AudioFileInfo> file;
  if (info) {
    file = std::make_shared<AudioFileInfo>();
    file->setFileName(info->fullpath());
    file->setTitleName(info->title());
    file->setArtistName(info->artist());
    file->setTrackID(info->track_id());
    file->setSamplingRate(static_cast<uint32_t>(info->get(TABLE_KEY_SAMPLERATE).asDouble()));
    file->setBitResolution(static_cast<uint32_t>(info->get(TABLE_KEY_SRC_BITS).asInt()));
    file->setDurationBySec(info->duration());
    file->setExtName(getDisplayExt(info->fullpath()));
  }
  if (delegate_) delegate_->notifyError(code, file.get());
}

// --- idle sleep --------------------------------------------------------------------------

void TkDelegate::preventIdleSleep() {
  if (assertionID != 0) return;
  int64_t id = sonara::platform::idleSleepAssertion().create("Pelmora", "Audio Playing");
  if (id <= 0) {
    sonara::platform::logLineOnce("cannot keep the system awake: logind is not reachable (error 0x%08lX)",
            static_cast<unsigned long>(-id) & 0xFFFFFFFFul);
    assertionID = 0;
    return;
  }
  assertionID = id;
}

void TkDelegate::allowIdleSleep() {
  if (assertionID == 0) return;
  sonara::platform::idleSleepAssertion().release(assertionID);
  assertionID = 0;
}

// --- exit ------------------------------------------------------------------------------

void TkDelegate::exit() {
  if (!play_manager_ && delegate_) delegate_->checkForLastConnectedDevice();
  if (playing_) playStop();
  releasePlayManager();
  audio_output_ctx_.reset();
  releaseSleepDelay();
  if (array_tbl_ctl_) array_tbl_ctl_->setChangeNotificationTarget(nullptr);
  detachTable();
  window_ = nullptr;
  array_output_devices_.clear();
  decoder_options_.clear();
  forgetLostDevice();
  // The client hears nothing more from this controller.
  delegate_ = nullptr;
}
