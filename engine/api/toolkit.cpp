#include "engine/api/toolkit.h"

#include <cmath>
#include <typeinfo>

#include "build_config.h"
#include "engine/output/device_table.h"
#include "engine/controller/tk_delegate.h"
#include "platform/path_names.h"
#include "platform/ui/ui_services.h"

using sonara::Dict;
using sonara::lookup;

namespace {

// The one engine controller; the API holds the only owning reference.
std::unique_ptr<TkDelegate> s_tk;
sonara::ToolkitResourceFactory g_factory;

std::unique_ptr<TkDelegate> builtInResource() {
  auto controller = std::make_unique<TkDelegate>();
  controller->awakeFromNib();
  return controller;
}

// Loads the resource and picks the controller among what it yields: exactly a
// TkDelegate, not a subclass.
std::unique_ptr<TkDelegate> loadToolkitResource() {
  try {
    auto object = g_factory ? g_factory() : builtInResource();
    if (object && typeid(*object) == typeid(TkDelegate)) return object;
  } catch (...) {
  }
  return nullptr;
}

std::string stringOf(const Dict& record, const char* key) { return lookup(record, key).asString(); }

uint32_t uint32Of(const Dict& record, const char* key) {
  return static_cast<uint32_t>(lookup(record, key).asInt());
}

}  // namespace

#define REQUIRE_ENGINE() \
  if (!s_tk) return kToolkitNotInitialized

int32_t Toolkit_Init(KivSonaraDelegate* delegate) {
  auto controller = loadToolkitResource();
  if (!controller) return kToolkitCreationFailed;
  s_tk = std::move(controller);
  s_tk->setDelegate(delegate);
  s_tk->deviceSelected(std::nullopt);
  s_tk->ram_mode_matrix_ = 0;
  s_tk->ram_mode_limit_text_ = 100;
  s_tk->mp3_gapless_enable = false;
  s_tk->gapless_db_ = -45.0;
  return kToolkitOk;
}

void Toolkit_Exit() {
  if (!s_tk) return;
  s_tk->exit();
  s_tk.reset();
}

TkDelegate* getObject() { return s_tk.get(); }

int32_t Toolkit_OpenFile() {
  REQUIRE_ENGINE();
  s_tk->willOpenFile();
  return kToolkitOk;
}

int32_t Toolkit_OpenCD() {
  REQUIRE_ENGINE();
  s_tk->showCDPanel();
  return kToolkitOk;
}

int32_t Toolkit_AddFile() {
  REQUIRE_ENGINE();
  s_tk->willAddFile();
  return kToolkitOk;
}

int32_t Toolkit_AddDroppedFiles(const std::vector<std::string>& paths) {
  REQUIRE_ENGINE();
  s_tk->addDroppedFiles(paths);
  return kToolkitOk;
}

int32_t Toolkit_RemoveFile() {
  REQUIRE_ENGINE();
  s_tk->removeSelection();
  return kToolkitOk;
}

int32_t Toolkit_NewPlaylist() {
  REQUIRE_ENGINE();
  s_tk->newPlaylist();
  return kToolkitOk;
}

int32_t Toolkit_LoadPlaylist() {
  REQUIRE_ENGINE();
  s_tk->willSelectPlaylist();
  return kToolkitOk;
}

int32_t Toolkit_SavePlaylist() {
  REQUIRE_ENGINE();
  return s_tk->savePlaylist() != 0 ? kToolkitOk : kToolkitNotSaved;
}

int32_t Toolkit_saveLastPlaylist() {
  REQUIRE_ENGINE();
  s_tk->saveLastPlaylist();
  return kToolkitOk;
}

int32_t Toolkit_loadLastPlaylist() {
  REQUIRE_ENGINE();
  s_tk->loadLastPlaylist();
  return kToolkitOk;
}

bool Toolkit_IsPlaylistDirty() { return s_tk ? s_tk->isPlaylistDirty() : false; }

int32_t Toolkit_GetPlaylistItemCount(uint32_t* count) {
  REQUIRE_ENGINE();
  if (!count) return kToolkitBadArgument;
  *count = s_tk->getPlaylistItemCount();
  return kToolkitOk;
}

int32_t Toolkit_PlayRequest() {
  REQUIRE_ENGINE();
  s_tk->playOnMode();
  return kToolkitOk;
}

int32_t Toolkit_StopRequest() {
  REQUIRE_ENGINE();
  s_tk->playStop();
  return kToolkitOk;
}

int32_t Toolkit_PauseRequest() {
  REQUIRE_ENGINE();
  s_tk->playPause();
  return kToolkitOk;
}

int32_t Toolkit_NextRequest() {
  REQUIRE_ENGINE();
  s_tk->playNext();
  return kToolkitOk;
}

int32_t Toolkit_PrevRequest() {
  REQUIRE_ENGINE();
  s_tk->playPrev();
  return kToolkitOk;
}

int32_t Toolkit_Shuffle(int32_t on) {
  REQUIRE_ENGINE();
  s_tk->menuShuffle(static_cast<uint8_t>(on) != 0);
  return kToolkitOk;
}

int32_t Toolkit_Repeat(int32_t mode) {
  REQUIRE_ENGINE();
  switch (static_cast<uint32_t>(mode)) {
    case 0: s_tk->menuDefaultMode(); break;
    case 1: s_tk->menuRepeatTitleMode(); break;
    case 2: s_tk->menuRepeatAllMode(); break;
    default: return kToolkitBadArgument;
  }
  return kToolkitOk;
}

int32_t Toolkit_SetPos(uint32_t seconds) {
  REQUIRE_ENGINE();
  s_tk->seek(static_cast<double>(seconds));
  return kToolkitOk;
}

int32_t Toolkit_TotalTime(uint32_t* seconds) {
  REQUIRE_ENGINE();
  if (!seconds) return kToolkitBadArgument;
  double total = s_tk->total_duration + 0.5;
  *seconds = total <= 0.0 ? 0u
             : total >= 4294967295.0 ? 4294967295u
                                     : static_cast<uint32_t>(total);
  return kToolkitOk;
}

int32_t Toolkit_GetPlaylist(TkPlaylistLayout* layout) {
  REQUIRE_ENGINE();
  if (!layout) return kToolkitBadArgument;
  auto& view = s_tk->playlistView();
  auto frame = view.frame();
  layout->containerView = view.superview();
  layout->x = static_cast<int32_t>(frame.x);
  layout->y = static_cast<int32_t>(frame.y);
  layout->width = static_cast<int32_t>(frame.width);
  layout->height = static_cast<int32_t>(frame.height);
  for (int i = 0; i < 4 && i < view.columnCount(); ++i) {
    layout->columnWidths[i] = static_cast<int32_t>(view.columnWidth(i));
  }
  return kToolkitOk;
}

int32_t Toolkit_SetPlaylist(const TkPlaylistLayout* layout) {
  REQUIRE_ENGINE();
  if (!layout) return kToolkitBadArgument;
  auto& view = s_tk->playlistView();
  view.addToContainer(layout->containerView);
  view.setFrameOrigin(layout->x, layout->y);
  view.setFrameSize(layout->width, layout->height);
  for (int i = 0; i < 4 && i < view.columnCount(); ++i) {
    view.setColumnWidth(i, layout->columnWidths[i]);
  }
  s_tk->setWindow(layout->containerView);
  return kToolkitOk;
}

int32_t Toolkit_GetFileInfo(bool requested_item, std::shared_ptr<AudioFileInfo>* out) {
  REQUIRE_ENGINE();
  if (!out) return kToolkitBadArgument;
  auto info = std::make_shared<AudioFileInfo>();
  PlaylistItemInfoRef item = requested_item ? s_tk->itemUnderEdit() : s_tk->currentItem();
  if (!item) return kToolkitBadArgument;
  const Dict fields = item->snapshot();
  const Dict* record = &fields;
  info->setFileName(stringOf(*record, TABLE_KEY_FULLPATH));
  info->setTitleName(stringOf(*record, TABLE_KEY_TITLE));
  info->setArtistName(stringOf(*record, TABLE_KEY_ARTIST));
  if (requested_item) {
    info->setExtName(sonara::platform::pathExtension(info->fileName()));
    info->setSamplingRate(uint32Of(*record, TABLE_KEY_SAMPLERATE));
    info->setBitResolution(uint32Of(*record, TABLE_KEY_SRC_BITS));
    info->setDurationBySec(lookup(*record, TABLE_KEY_DURATION).asDouble());
  } else {
    info->setDurationBySec(s_tk->currentItemDuration);
    info->setExtName(s_tk->decoderIndicatorText());
    info->setSamplingRate(static_cast<uint32_t>(s_tk->samplingRateIndicator));
    info->setBitResolution(static_cast<uint32_t>(s_tk->bitsIndicator));
  }
  *out = std::move(info);
  return kToolkitOk;
}

int32_t Toolkit_GetDeviceList(std::vector<TkDeviceInfo>* devices) {
  REQUIRE_ENGINE();
  if (!devices) return kToolkitBadArgument;
  s_tk->updateAudioOutputDeviceList();
  auto list = s_tk->deviceInfoArray();
  if (list.empty()) return kToolkitNoDevice;
  *devices = std::move(list);
  return kToolkitOk;
}

int32_t Toolkit_GetNumberOfSupportDevices(uint32_t* count) {
  REQUIRE_ENGINE();
  if (!count) return kToolkitBadArgument;
  *count = kSupportedDeviceRows;
  return kToolkitOk;
}

int32_t Toolkit_GetConfiguration(TkConfig* config) {
  REQUIRE_ENGINE();
  if (!config) return kToolkitBadArgument;
  if (auto name = s_tk->currentOutputDeviceName(); name && !name->empty()) {
    config->setDeviceName(*name);
  }
  config->setDecodeMode(s_tk->decode_mode_);
  config->setRamMode(s_tk->ram_mode_matrix_);
  config->setRamModeMemoryLimit(s_tk->ram_mode_limit_text_);
  config->setGaplessMode(s_tk->mp3_gapless_enable);
  double db = std::trunc(s_tk->gapless_db_);
  config->setGaplessCutoff(db >= 2147483647.0    ? INT32_MAX
                           : db <= -2147483648.0 ? INT32_MIN
                                                 : static_cast<int32_t>(db));
  return kToolkitOk;
}

int32_t Toolkit_SetConfiguration(const TkConfig* config) {
  REQUIRE_ENGINE();
  if (!config) return kToolkitBadArgument;
  s_tk->mp3_gapless_enable = config->gaplessMode();
  s_tk->gapless_db_ = static_cast<double>(config->gaplessCutoff());
  s_tk->ram_mode_matrix_ = config->ramMode();
  s_tk->ram_mode_limit_text_ = config->ramModeMemoryLimit();
  s_tk->decode_mode_ = config->decodeMode();
  return s_tk->applyConfiguration(config->deviceName()) ? kToolkitOk : kToolkitCreationFailed;
}

int32_t Toolkit_GetToolkitVersion(std::string* version) {
  REQUIRE_ENGINE();
  if (!version) return kToolkitBadArgument;
  *version = PELMORA_VERSION;
  return kToolkitOk;
}

int32_t Toolkit_GetPluginVersion(std::vector<TkPluginInfoItem>* plugins) {
  REQUIRE_ENGINE();
  if (!plugins) return kToolkitBadArgument;
  plugins->clear();
  for (const auto& entry : s_tk->pluginInfoArray()) {
    plugins->emplace_back(stringOf(entry, "name"), stringOf(entry, "exts"),
                          stringOf(entry, "version"));
  }
  return kToolkitOk;
}

int32_t Toolkit_GetOutputFormat(TkOutputFormat* format) {
  REQUIRE_ENGINE();
  if (!format) return kToolkitBadArgument;
  return s_tk->outputFormat(format) ? kToolkitOk : kToolkitBadArgument;
}

namespace sonara {
void setToolkitResourceFactory(ToolkitResourceFactory factory) { g_factory = std::move(factory); }
}  // namespace sonara
