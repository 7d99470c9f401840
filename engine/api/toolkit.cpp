#include "engine/api/toolkit.h"

#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <mutex>
#include <typeinfo>

#include "build_config.h"
#include "engine/output/device_table.h"
#include "engine/controller/controller_entry.h"
#include "engine/controller/tk_delegate.h"
#include "platform/path_names.h"
#include "platform/services.h"
#include "platform/ui/ui_services.h"

using sonara::Dict;
using sonara::lookup;

namespace {

// The one engine controller; the API holds the only owning reference.
std::unique_ptr<TkDelegate> s_tk;
sonara::ToolkitResourceFactory g_factory;
std::atomic<int64_t> g_call_bound_ms{10000};

// One call handed from another thread to the main thread.
struct CrossThreadCall {
  std::mutex mutex;
  std::condition_variable changed;
  bool started = false;
  bool abandoned = false;
  bool done = false;
};

// Runs `body` on the main thread inside a controller entry and stores its result.
// From another thread the call is posted to the main loop and waited for; when the
// main thread has not taken it up within the bound, it is dropped unrun and false is
// returned. A call already running is waited for: its own waits are bounded (a play
// in RAM play mode lasts as long as its decode, which the user can cancel).
template <typename R, typename F>
bool runOnMain(F& body, R& result) {
  auto& loop = sonara::platform::mainLoop();
  if (loop.isMainThread()) {
    ControllerEntry entry;
    result = body();
    return true;
  }
  auto call = std::make_shared<CrossThreadCall>();
  // `body` and `result` live on the waiting caller's stack: they are touched only
  // once the call has started, and then the caller waits until it is done.
  loop.post([call, &body, &result] {
    {
      std::lock_guard lock(call->mutex);
      if (call->abandoned) return;
      call->started = true;
    }
    {
      ControllerEntry entry;
      result = body();
    }
    std::lock_guard lock(call->mutex);
    call->done = true;
    call->changed.notify_all();
  });
  std::unique_lock lock(call->mutex);
  const auto bound = std::chrono::milliseconds(g_call_bound_ms.load());
  if (!call->changed.wait_for(lock, bound, [&] { return call->done; })) {
    if (!call->started) {
      call->abandoned = true;
      return false;
    }
    call->changed.wait(lock, [&] { return call->done; });
  }
  return true;
}

template <typename F>
int32_t onMain(F&& body) {
  int32_t result = kToolkitCallTimedOut;
  return runOnMain(body, result) ? result : kToolkitCallTimedOut;
}

// `body(controller)` on the main thread; -1 when the engine is not initialised.
template <typename F>
int32_t withEngine(F&& body) {
  return onMain([&]() -> int32_t {
    if (!s_tk) return kToolkitNotInitialized;
    return body(*s_tk);
  });
}

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

int32_t Toolkit_Init(KivSonaraDelegate* delegate) {
  return onMain([&]() -> int32_t {
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
  });
}

void Toolkit_Exit() {
  onMain([]() -> int32_t {
    if (!s_tk) return kToolkitOk;
    // Every call made from here on, from client events included, finds no engine.
    auto controller = std::move(s_tk);
    controller->exit();
    ControllerEntry::release(std::move(controller));
    return kToolkitOk;
  });
}

TkDelegate* getObject() { return s_tk.get(); }

int32_t Toolkit_OpenFile() {
  return withEngine([](TkDelegate& tk) {
    tk.willOpenFile();
    return kToolkitOk;
  });
}

int32_t Toolkit_OpenCD() {
  return withEngine([](TkDelegate& tk) {
    tk.showCDPanel();
    return kToolkitOk;
  });
}

int32_t Toolkit_AddFile() {
  return withEngine([](TkDelegate& tk) {
    tk.willAddFile();
    return kToolkitOk;
  });
}

int32_t Toolkit_AddDroppedFiles(const std::vector<std::string>& paths) {
  return withEngine([&](TkDelegate& tk) {
    tk.addDroppedFiles(paths);
    return kToolkitOk;
  });
}

int32_t Toolkit_RemoveFile() {
  return withEngine([](TkDelegate& tk) {
    tk.removeSelection();
    return kToolkitOk;
  });
}

int32_t Toolkit_NewPlaylist() {
  return withEngine([](TkDelegate& tk) {
    tk.newPlaylist();
    return kToolkitOk;
  });
}

int32_t Toolkit_LoadPlaylist() {
  return withEngine([](TkDelegate& tk) {
    tk.willSelectPlaylist();
    return kToolkitOk;
  });
}

int32_t Toolkit_SavePlaylist() {
  return withEngine([](TkDelegate& tk) { return tk.savePlaylist() != 0 ? kToolkitOk : kToolkitNotSaved; });
}

int32_t Toolkit_saveLastPlaylist() {
  return withEngine([](TkDelegate& tk) {
    tk.saveLastPlaylist();
    return kToolkitOk;
  });
}

int32_t Toolkit_loadLastPlaylist() {
  return withEngine([](TkDelegate& tk) {
    tk.loadLastPlaylist();
    return kToolkitOk;
  });
}

bool Toolkit_IsPlaylistDirty() {
  return withEngine([](TkDelegate& tk) { return tk.isPlaylistDirty() ? 1 : 0; }) == 1;
}

int32_t Toolkit_GetPlaylistItemCount(uint32_t* count) {
  return withEngine([&](TkDelegate& tk) {
    if (!count) return kToolkitBadArgument;
    *count = tk.getPlaylistItemCount();
    return kToolkitOk;
  });
}

int32_t Toolkit_PlayRequest() {
  return withEngine([](TkDelegate& tk) {
    tk.playOnMode();
    return kToolkitOk;
  });
}

int32_t Toolkit_PlayRequestFrom(uint32_t seconds) {
  return withEngine([&](TkDelegate& tk) {
    tk.setStartOffsetOfNextPlay(seconds);
    tk.playOnMode();
    tk.setStartOffsetOfNextPlay(0);  // not used when the request resumed or found no engine
    return kToolkitOk;
  });
}

int32_t Toolkit_StopRequest() {
  return withEngine([](TkDelegate& tk) {
    tk.playStop();
    return kToolkitOk;
  });
}

int32_t Toolkit_PauseRequest() {
  return withEngine([](TkDelegate& tk) {
    tk.playPause();
    return kToolkitOk;
  });
}

int32_t Toolkit_NextRequest() {
  return withEngine([](TkDelegate& tk) {
    tk.playNext();
    return kToolkitOk;
  });
}

int32_t Toolkit_PrevRequest() {
  return withEngine([](TkDelegate& tk) {
    tk.playPrev();
    return kToolkitOk;
  });
}

int32_t Toolkit_Shuffle(int32_t on) {
  return withEngine([&](TkDelegate& tk) {
    tk.menuShuffle(static_cast<uint8_t>(on) != 0);
    return kToolkitOk;
  });
}

int32_t Toolkit_Repeat(int32_t mode) {
  return withEngine([&](TkDelegate& tk) {
    switch (static_cast<uint32_t>(mode)) {
      case 0: tk.menuDefaultMode(); break;
      case 1: tk.menuRepeatTitleMode(); break;
      case 2: tk.menuRepeatAllMode(); break;
      default: return kToolkitBadArgument;
    }
    return kToolkitOk;
  });
}

int32_t Toolkit_SetPos(uint32_t seconds) {
  return withEngine([&](TkDelegate& tk) {
    tk.seek(static_cast<double>(seconds));
    return kToolkitOk;
  });
}

int32_t Toolkit_TotalTime(uint32_t* seconds) {
  return withEngine([&](TkDelegate& tk) {
    if (!seconds) return kToolkitBadArgument;
    double total = tk.total_duration + 0.5;
    *seconds = total <= 0.0 ? 0u
               : total >= 4294967295.0 ? 4294967295u
                                       : static_cast<uint32_t>(total);
    return kToolkitOk;
  });
}

int32_t Toolkit_GetPlaylist(TkPlaylistLayout* layout) {
  return withEngine([&](TkDelegate& tk) {
    if (!layout) return kToolkitBadArgument;
    auto& view = tk.playlistView();
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
  });
}

int32_t Toolkit_SetPlaylist(const TkPlaylistLayout* layout) {
  return withEngine([&](TkDelegate& tk) {
    if (!layout) return kToolkitBadArgument;
    auto& view = tk.playlistView();
    view.addToContainer(layout->containerView);
    view.setFrameOrigin(layout->x, layout->y);
    view.setFrameSize(layout->width, layout->height);
    for (int i = 0; i < 4 && i < view.columnCount(); ++i) {
      view.setColumnWidth(i, layout->columnWidths[i]);
    }
    tk.setWindow(layout->containerView);
    return kToolkitOk;
  });
}

int32_t Toolkit_GetFileInfo(bool requested_item, std::shared_ptr<AudioFileInfo>* out) {
  return withEngine([&](TkDelegate& tk) {
    if (!out) return kToolkitBadArgument;
    auto info = std::make_shared<AudioFileInfo>();
    PlaylistItemInfoRef item = requested_item ? tk.itemUnderEdit() : tk.itemForClient();
    if (!item) return kToolkitBadArgument;
    const Dict record = item->snapshot();
    info->setFileName(stringOf(record, TABLE_KEY_FULLPATH));
    info->setTitleName(stringOf(record, TABLE_KEY_TITLE));
    info->setArtistName(stringOf(record, TABLE_KEY_ARTIST));
    info->setTrackID(static_cast<uint64_t>(lookup(record, TABLE_KEY_ID).asInt()));
    if (requested_item) {
      info->setExtName(sonara::platform::pathExtension(info->fileName()));
      info->setSamplingRate(uint32Of(record, TABLE_KEY_SAMPLERATE));
      info->setBitResolution(uint32Of(record, TABLE_KEY_SRC_BITS));
      info->setDurationBySec(lookup(record, TABLE_KEY_DURATION).asDouble());
    } else {
      info->setDurationBySec(tk.currentItemDuration);
      info->setExtName(tk.decoderIndicatorText());
      info->setSamplingRate(static_cast<uint32_t>(tk.samplingRateIndicator));
      info->setBitResolution(static_cast<uint32_t>(tk.bitsIndicator));
    }
    *out = std::move(info);
    return kToolkitOk;
  });
}

int32_t Toolkit_GetDeviceList(std::vector<TkDeviceInfo>* devices) {
  return withEngine([&](TkDelegate& tk) {
    if (!devices) return kToolkitBadArgument;
    tk.updateAudioOutputDeviceList();
    auto list = tk.deviceInfoArray();
    if (list.empty()) return kToolkitNoDevice;
    *devices = std::move(list);
    return kToolkitOk;
  });
}

int32_t Toolkit_GetNumberOfSupportDevices(uint32_t* count) {
  return withEngine([&](TkDelegate&) {
    if (!count) return kToolkitBadArgument;
    *count = kSupportedDeviceRows;
    return kToolkitOk;
  });
}

int32_t Toolkit_GetConfiguration(TkConfig* config) {
  return withEngine([&](TkDelegate& tk) {
    if (!config) return kToolkitBadArgument;
    if (auto name = tk.currentOutputDeviceName(); name && !name->empty()) {
      config->setDeviceName(*name);
    }
    config->setDecodeMode(tk.decode_mode_);
    config->setRamMode(tk.ram_mode_matrix_);
    config->setRamModeMemoryLimit(tk.ram_mode_limit_text_);
    config->setGaplessMode(tk.mp3_gapless_enable);
    double db = std::trunc(tk.gapless_db_);
    config->setGaplessCutoff(db >= 2147483647.0    ? INT32_MAX
                             : db <= -2147483648.0 ? INT32_MIN
                                                   : static_cast<int32_t>(db));
    return kToolkitOk;
  });
}

int32_t Toolkit_SetConfiguration(const TkConfig* config) {
  return withEngine([&](TkDelegate& tk) {
    if (!config) return kToolkitBadArgument;
    tk.mp3_gapless_enable = config->gaplessMode();
    tk.gapless_db_ = static_cast<double>(config->gaplessCutoff());
    tk.ram_mode_matrix_ = config->ramMode();
    tk.ram_mode_limit_text_ = config->ramModeMemoryLimit();
    tk.decode_mode_ = config->decodeMode();
    return tk.applyConfiguration(config->deviceName()) ? kToolkitOk : kToolkitCreationFailed;
  });
}

int32_t Toolkit_GetToolkitVersion(std::string* version) {
  return withEngine([&](TkDelegate&) {
    if (!version) return kToolkitBadArgument;
    *version = PELMORA_VERSION;
    return kToolkitOk;
  });
}

int32_t Toolkit_GetPluginVersion(std::vector<TkPluginInfoItem>* plugins) {
  return withEngine([&](TkDelegate& tk) {
    if (!plugins) return kToolkitBadArgument;
    plugins->clear();
    for (const auto& entry : tk.pluginInfoArray()) {
      plugins->emplace_back(stringOf(entry, "name"), stringOf(entry, "exts"), stringOf(entry, "version"));
    }
    return kToolkitOk;
  });
}

int32_t Toolkit_GetOutputFormat(TkOutputFormat* format) {
  return withEngine([&](TkDelegate& tk) {
    if (!format) return kToolkitBadArgument;
    return tk.outputFormat(format) ? kToolkitOk : kToolkitBadArgument;
  });
}

namespace sonara {
void setToolkitResourceFactory(ToolkitResourceFactory factory) { g_factory = std::move(factory); }
void setToolkitCallBound(std::chrono::milliseconds bound) { g_call_bound_ms = bound.count(); }
}  // namespace sonara
