#include "engine/controller/tk_delegate.h"

#include <algorithm>
#include <cstdlib>
#include <ctime>

#include "engine/api/constants.h"
#include "engine/output/audio_device_list.h"
#include "engine/output/audio_output_context.h"
#include "engine/plugin/plugin_manager.h"
#include "platform/log.h"
#include "platform/services.h"

using sonara::Dict;
using sonara::lookup;
using sonara::Value;
using sonara::platform::logLine;

TkDelegate::TkDelegate() = default;

TkDelegate::~TkDelegate() {
  lifetime_.reset();
  audio_output_ctx_.reset();
  allowIdleSleep();
  delegate_ = nullptr;
  window_ = nullptr;
}

void TkDelegate::awakeFromNib() {
  std::srand(static_cast<unsigned>(std::time(nullptr)));
  decoder_options_.clear();
  array_output_devices_.clear();
  initializeAudioOutputDeviceList();
  buildPluginInfoList();
}

void TkDelegate::buildPluginInfoList() {
  sonara::PluginManager::initializePluginList();
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

sonara::ui::PlaylistView& TkDelegate::playlistView() {
  return sonara::platform::uiServices().playlistView();
}

// --- transport -------------------------------------------------------------------

void TkDelegate::playOnMode() {}
void TkDelegate::startCurrentInternal(bool) {}

void TkDelegate::playStop() {
  std::lock_guard lock(monitor_);
  if (!playing_) return;
  playing_ = false;
  pause_ = false;
  allowIdleSleep();
}

void TkDelegate::playPause() {}
void TkDelegate::playNext() {}
void TkDelegate::playPrev() {}
void TkDelegate::playlistDoubleClicked(int64_t) {}
void TkDelegate::seek(double) {}

void TkDelegate::menuShuffle(bool on) { shuffleOn = on; }
void TkDelegate::menuDefaultMode() { repeatMode = 0; }
void TkDelegate::menuRepeatTitleMode() { repeatMode = 1; }
void TkDelegate::menuRepeatAllMode() { repeatMode = 2; }

uint64_t TkDelegate::beginRestructuring() { return 0; }
void TkDelegate::endRestructuring(uint64_t) {}

void TkDelegate::willSleepNotification() {
  if (audio_output_ctx_) audio_output_ctx_->setStop_immediately(true);
  playStop();
  if (audio_output_ctx_) audio_output_ctx_->setStop_immediately(false);
}

void TkDelegate::didWakeNotification() {}

// --- play engine ---------------------------------------------------------------------

bool TkDelegate::setupPlayManager() {
  if (ram_mode_matrix_ != 0 && ram_mode_matrix_ != 1) return false;
  double threshold = mp3_gapless_enable ? std::clamp(gapless_db_, -192.0, 0.0) : 0.0;
  updateDecoderOption(Value(threshold), DECODER_OPTION_KEY_MP3_THREASHOLD_DB);
  return true;
}

void TkDelegate::updateDecoderOption(Value value, const std::string& key) {
  decoder_options_[key] = std::move(value);
}

// --- playlist commands -----------------------------------------------------------------

void TkDelegate::newPlaylist() {}
void TkDelegate::willOpenFile() {}
void TkDelegate::willAddFile() {}
void TkDelegate::addDroppedFiles(const std::vector<std::string>&) {}
void TkDelegate::removeSelection() {}
void TkDelegate::willSelectPlaylist() {}
int32_t TkDelegate::savePlaylist() { return 0; }
void TkDelegate::saveLastPlaylist() {}
void TkDelegate::loadLastPlaylist() {}
void TkDelegate::showCDPanel() {}
void TkDelegate::willEditProp(int64_t) {}
void TkDelegate::tableViewSelectionDidChange(bool) {}
bool TkDelegate::isPlaylistDirty() const { return false; }
uint32_t TkDelegate::getPlaylistItemCount() const { return 0; }

const Dict* TkDelegate::itemUnderEdit() const {
  return item_under_edit_ ? &*item_under_edit_ : nullptr;
}
const Dict* TkDelegate::currentItemRecord() const {
  return currentItem_ ? &*currentItem_ : nullptr;
}

// --- idle sleep --------------------------------------------------------------------------

void TkDelegate::preventIdleSleep() {
  if (assertionID != 0) return;
  int64_t id = sonara::platform::idleSleepAssertion().create("Pelmora", "Audio Playing");
  if (id <= 0) {
    logLine("IOPMAssertionCreateWithName() Failed. (0x%08lX)",
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
  if (playing_) playStop();
  window_ = nullptr;
  array_output_devices_.clear();
  decoder_options_.clear();
}
