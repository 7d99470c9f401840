// The engine's exported functions: Toolkit_Init first, then Toolkit_SetConfiguration
// before the first play request, Toolkit_Exit last. Every function but Toolkit_Init,
// Toolkit_Exit, Toolkit_IsPlaylistDirty and getObject returns -1 when the engine is
// not initialised.
//
// Threads. The engine's work runs on the main thread, the thread that runs the main
// loop installed with sonara::platform::installMainLoop. Every Toolkit_* function may
// be called from any thread: called elsewhere, it is handed to the main loop and the
// caller waits until it has run there. When the main thread has not taken the call
// up within the bound (10 s, see sonara::setToolkitCallBound) the call is dropped
// without effect and returns kToolkitCallTimedOut (-6); Toolkit_IsPlaylistDirty then
// returns false and Toolkit_Exit returns having done nothing. A call from another
// thread therefore never completes while the main thread is blocked waiting for that
// same caller.
//
// Client events (KivSonaraDelegate) always arrive on the main thread. A client event
// may call any Toolkit_* function, Toolkit_Exit included: the engine is then released
// once the event has returned, and every later call finds it not initialised.
// getObject is for tests on the main thread only.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/api/constants.h"
#include "engine/api/kiv_sonara_delegate.h"
#include "engine/api/records.h"

class TkDelegate;

// Result codes.
inline constexpr int32_t kToolkitOk = 0;
inline constexpr int32_t kToolkitNotInitialized = -1;
inline constexpr int32_t kToolkitBadArgument = -2;
inline constexpr int32_t kToolkitCreationFailed = -3;
inline constexpr int32_t kToolkitNoDevice = -4;
inline constexpr int32_t kToolkitNotSaved = -5;
// Called from another thread, the main thread did not take the call up in time.
inline constexpr int32_t kToolkitCallTimedOut = -6;

// Life cycle.
SONARA_EXPORT int32_t Toolkit_Init(KivSonaraDelegate* delegate);
SONARA_EXPORT void Toolkit_Exit();
SONARA_EXPORT TkDelegate* getObject();

// Playlist commands.
SONARA_EXPORT int32_t Toolkit_OpenFile();
SONARA_EXPORT int32_t Toolkit_OpenCD();
SONARA_EXPORT int32_t Toolkit_AddFile();
SONARA_EXPORT int32_t Toolkit_AddDroppedFiles(const std::vector<std::string>& paths);
SONARA_EXPORT int32_t Toolkit_RemoveFile();
SONARA_EXPORT int32_t Toolkit_NewPlaylist();
SONARA_EXPORT int32_t Toolkit_LoadPlaylist();
SONARA_EXPORT int32_t Toolkit_SavePlaylist();
SONARA_EXPORT int32_t Toolkit_saveLastPlaylist();
SONARA_EXPORT int32_t Toolkit_loadLastPlaylist();
SONARA_EXPORT bool Toolkit_IsPlaylistDirty();
SONARA_EXPORT int32_t Toolkit_GetPlaylistItemCount(uint32_t* count);

// Transport and play order.
SONARA_EXPORT int32_t Toolkit_PlayRequest();
// As Toolkit_PlayRequest, with the first track started `seconds` in: the device's
// lead-in is played in full and nothing before that point is heard.
SONARA_EXPORT int32_t Toolkit_PlayRequestFrom(uint32_t seconds);
SONARA_EXPORT int32_t Toolkit_StopRequest();
SONARA_EXPORT int32_t Toolkit_PauseRequest();
SONARA_EXPORT int32_t Toolkit_NextRequest();
SONARA_EXPORT int32_t Toolkit_PrevRequest();
SONARA_EXPORT int32_t Toolkit_Shuffle(int32_t on);  // the low 8 bits are used
SONARA_EXPORT int32_t Toolkit_Repeat(int32_t mode); // 0 off, 1 one, 2 all
SONARA_EXPORT int32_t Toolkit_SetPos(uint32_t seconds);
SONARA_EXPORT int32_t Toolkit_TotalTime(uint32_t* seconds);

// Information and configuration.
SONARA_EXPORT int32_t Toolkit_GetPlaylist(TkPlaylistLayout* layout);
SONARA_EXPORT int32_t Toolkit_SetPlaylist(const TkPlaylistLayout* layout);
SONARA_EXPORT int32_t Toolkit_GetFileInfo(bool requested_item,
                                          std::shared_ptr<AudioFileInfo>* info);
SONARA_EXPORT int32_t Toolkit_GetDeviceList(std::vector<TkDeviceInfo>* devices);
SONARA_EXPORT int32_t Toolkit_GetNumberOfSupportDevices(uint32_t* count);
SONARA_EXPORT int32_t Toolkit_GetConfiguration(TkConfig* config);
SONARA_EXPORT int32_t Toolkit_SetConfiguration(const TkConfig* config);
SONARA_EXPORT int32_t Toolkit_GetToolkitVersion(std::string* version);
SONARA_EXPORT int32_t Toolkit_GetPluginVersion(std::vector<TkPluginInfoItem>* plugins);
// What the device receives now; -2 when nothing is playing.
SONARA_EXPORT int32_t Toolkit_GetOutputFormat(TkOutputFormat* format);

namespace sonara {

// Stands in for loading the engine's "Toolkit" resource: yields the top-level
// controller, already awake, or null (or throws) when it cannot be made.
using ToolkitResourceFactory = std::function<std::unique_ptr<TkDelegate>()>;
// Replaces the factory Toolkit_Init uses; an empty function restores the built-in one.
SONARA_EXPORT void setToolkitResourceFactory(ToolkitResourceFactory factory);
// How long a call from another thread waits for the main thread to take it up.
SONARA_EXPORT void setToolkitCallBound(std::chrono::milliseconds bound);

}  // namespace sonara
