// The controller's device side: the device list and the client's records, selecting
// a device, and recovering when it goes away.
#include <algorithm>
#include <atomic>
#include <thread>

#include "engine/api/kiv_sonara_delegate.h"
#include "engine/controller/controller_entry.h"
#include "engine/controller/device_presence_watch.h"
#include "engine/controller/tk_delegate.h"
#include "engine/output/audio_device_list.h"
#include "engine/output/audio_output_context.h"
#include "engine/output/bit_depth.h"
#include "engine/api/constants.h"
#include "engine/playlist/playlist_array_controller.h"
#include "platform/log.h"
#include "platform/named_exception.h"
#include "platform/services.h"

using sonara::platform::logLine;

namespace {
constexpr int kListAttempts = 6;
}  // namespace

void TkDelegate::updateAudioOutputDeviceList() {
  for (int attempt = 1;; ++attempt) {
    // Every attempt starts from an empty list, so no device is listed twice.
    output_device_list_ = std::make_unique<AudioDeviceList>();
    try {
      output_device_list_->initialize();
      break;
    } catch (const sonara::NamedException& e) {
      if (e.name() != "ERROR") throw;
      logLine("%s", e.reason());
      if (attempt == kListAttempts) break;  // go on with what was built
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
  }
  array_output_devices_.clear();
  for (const auto& d : output_device_list_->getDeviceArray(false)) {
    const uint32_t caps = d->deviceInfo.outputCapabilities;
    array_output_devices_.emplace_back(d->name, (caps & kDeviceDoP) != 0,
                                       (caps & (kDeviceDSD32 | kDeviceDSD16)) != 0);
  }
}

void TkDelegate::initializeAudioOutputDeviceList() {
  updateAudioOutputDeviceList();
  if (!current_output_device_) {
    deviceSelected(std::nullopt);
    return;
  }
  const std::string name = current_output_device_->name;
  const auto id = current_output_device_->device_id;
  current_output_device_.reset();
  auto names = output_device_list_->getNameList(false);
  const bool present = std::find(names.begin(), names.end(), name) != names.end();
  deviceSelected(present ? std::optional<std::string>(name) : std::nullopt);
  if (!present) watchForReturnOf(name, id);
}

// The device the client chose went away: when it comes back and nothing else was
// chosen meanwhile, it is selected again (playback stays stopped).
void TkDelegate::watchForReturnOf(const std::string& name, sonara::audio::DeviceId id) {
  lost_device_name_ = name;
  std::weak_ptr<TkDelegate*> alive = lifetime_;
  lost_device_watch_ = std::make_unique<DevicePresenceWatch>(id, [alive] {
    sonara::platform::mainLoop().post([alive] {
      if (auto self = alive.lock()) {
        ControllerEntry entry;
        (*self)->lostDeviceMayHaveReturned();
      }
    });
  });
}

void TkDelegate::forgetLostDevice() {
  lost_device_watch_.reset();
  lost_device_name_.reset();
}

void TkDelegate::lostDeviceMayHaveReturned() {
  if (!lost_device_name_) return;
  if (current_output_device_) {
    forgetLostDevice();
    return;
  }
  updateAudioOutputDeviceList();
  auto names = output_device_list_->getNameList(false);
  if (std::find(names.begin(), names.end(), *lost_device_name_) == names.end()) return;
  const std::string name = *lost_device_name_;
  forgetLostDevice();
  deviceSelected(name);
}

void TkDelegate::deviceSelected(const std::optional<std::string>& name) {
  if (array_tbl_ctl_) array_tbl_ctl_->clearErrorTracks();
  std::shared_ptr<AudioDevice> device;
  if (name && output_device_list_) device = output_device_list_->getOutputAudioDeviceByName(*name);
  if (!device) {
    pending_resume_.reset();
    releasePlayManager();
    audio_output_ctx_.reset();
    current_output_device_.reset();
    holdSleepDelayWhileDeviceOpen();
    return;
  }
  if (current_output_device_ && current_output_device_->device_id == device->device_id) return;
  auto names = output_device_list_->getNameList(false);
  auto it = std::find(names.begin(), names.end(), *name);
  int index = it == names.end() ? -1 : static_cast<int>(it - names.begin());

  // What was playing goes on from the same place on the new device.
  std::optional<Resume> resume = std::move(pending_resume_);
  pending_resume_.reset();
  if (!resume && playing_) resume = Resume{beginRestructuring(), pause_.load()};
  releasePlayManager();
  current_output_device_ = device;
  const bool opened = setupNewOutputContextWithDeviceListIndex(index);
  holdSleepDelayWhileDeviceOpen();
  if (!opened) {
    logLine("AudioOutputContext Allocation Failed.");
    return;
  }
  std::weak_ptr<TkDelegate*> alive = lifetime_;
  audio_output_ctx_->setDisconnectionEventTarget([alive] { deviceLost(alive); });
  if (!setupPlayManager()) {
    logLine("PlayManager Allocation Failed.");
    return;
  }
  if (resume) endRestructuring(resume->position_ns, resume->paused);
}

bool TkDelegate::applyConfiguration(const std::optional<std::string>& device_name) {
  // The client has chosen: a device lost before is no longer waited for.
  forgetLostDevice();
  pending_resume_.reset();
  if (playing_) pending_resume_ = Resume{beginRestructuring(), pause_.load()};
  if (!setupPlayManager()) {
    // Refused: the engine is gone and the controller stopped (setupPlayManager
    // released it), so nothing resumes by itself later.
    pending_resume_.reset();
    return false;
  }
  deviceSelected(device_name);
  // The same device: the new engine starts again where the old one was.
  if (pending_resume_ && play_manager_) endRestructuring(pending_resume_->position_ns, pending_resume_->paused);
  pending_resume_.reset();
  return true;
}

bool TkDelegate::setupNewOutputContextWithDeviceListIndex(int index) {
  audio_output_ctx_.reset();
  audio_output_ctx_ = AudioOutputContext::initWithList(*output_device_list_, index);
  if (!audio_output_ctx_) {
    logLine("AudioOutputContext Allocation Failed.");
    return false;
  }
  return true;
}

// On the HAL's notification thread. The stop runs on the main thread with the
// context's stop_immediately set there, so this thread never waits for the main
// thread (which may itself be closing the context and waiting for this thread).
// Nothing of the controller is touched here: it may be going away on the main thread.
void TkDelegate::deviceLost(const std::weak_ptr<TkDelegate*>& alive) {
  auto& loop = sonara::platform::mainLoop();
  loop.post([alive] {
    auto self = alive.lock();
    if (!self) return;
    ControllerEntry entry;
    TkDelegate* tk = *self;
    tk->ram_decode_canceled_flag_ = true;
    auto ctx = tk->audio_output_ctx_;
    if (ctx) ctx->setStop_immediately(true);
    tk->playStop();
    if (ctx) ctx->setStop_immediately(false);
    if (tk->delegate_) tk->delegate_->notifyError(0, nullptr);
  });
  loop.post([alive] {
    if (auto self = alive.lock()) {
      ControllerEntry entry;
      (*self)->initializeAudioOutputDeviceList();
    }
  });
}

std::vector<TkDeviceInfo> TkDelegate::deviceInfoArray() const { return array_output_devices_; }

std::optional<std::string> TkDelegate::currentOutputDeviceName() const {
  if (!current_output_device_) return std::nullopt;
  return current_output_device_->name;
}


// The system is about to sleep: stop at once, without the timed mute sequence, then
// let the suspend go on.
void TkDelegate::willSleepNotification() {
  if (audio_output_ctx_) audio_output_ctx_->setStop_immediately(true);
  if (play_manager_) playStop();
  if (audio_output_ctx_) audio_output_ctx_->setStop_immediately(false);
  releaseSleepDelay();
}

// After waking, playback stays stopped; the next suspend is held off again.
void TkDelegate::didWakeNotification() { holdSleepDelayWhileDeviceOpen(); }

// While a device is open, a suspend waits for the stop above (logind's delay lock).
void TkDelegate::holdSleepDelayWhileDeviceOpen() {
  if (!audio_output_ctx_) {
    releaseSleepDelay();
    return;
  }
  if (sleep_delay_id_ != 0) return;
  int64_t id = sonara::platform::idleSleepAssertion().createSleepDelay("Pelmora", "Stopping playback before sleep");
  if (id <= 0) {
    // Without logind (a container, a server) this fails at every device: say it once.
    static std::atomic<bool> told{false};
    if (!told.exchange(true)) {
      logLine("Inhibit(sleep, delay) Failed. (0x%08lX)", static_cast<unsigned long>(-id) & 0xFFFFFFFFul);
    }
    return;
  }
  sleep_delay_id_ = id;
}

void TkDelegate::releaseSleepDelay() {
  if (sleep_delay_id_ == 0) return;
  sonara::platform::idleSleepAssertion().release(sleep_delay_id_);
  sleep_delay_id_ = 0;
}

bool TkDelegate::outputFormat(TkOutputFormat* format) const {
  auto item = itemForClient();
  if (!item || !audio_output_ctx_) return false;
  const auto desc = audio_output_ctx_->current_desc();
  const bool dsd = item->get(TABLE_KEY_SRC_BITS).asInt() == 1;
  if (!dsd) {
    format->transport = "PCM";
  } else if (!audio_output_ctx_->dsd_native()) {
    format->transport = "DoP";
  } else {
    format->transport = desc.bits_per_channel == 32 ? "DSD32" : "DSD16";
  }
  format->sampleRate = desc.sample_rate;
  format->bits = desc.bits_per_channel;
  format->channels = desc.channels_per_frame;
  format->bitPerfect = reachesTheDeviceWhole(item->get(TABLE_KEY_SRC_BITS).asInt(), desc.bits_per_channel);
  return true;
}
