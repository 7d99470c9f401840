// The controller's device side: the device list and the client's records, selecting
// a device, and recovering when it goes away.
#include <algorithm>
#include <thread>

#include "engine/api/kiv_sonara_delegate.h"
#include "engine/controller/tk_delegate.h"
#include "engine/output/audio_device_list.h"
#include "engine/output/audio_output_context.h"
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
  std::string name = current_output_device_->name;
  current_output_device_.reset();
  auto names = output_device_list_->getNameList(false);
  bool present = std::find(names.begin(), names.end(), name) != names.end();
  deviceSelected(present ? std::optional<std::string>(name) : std::nullopt);
}

void TkDelegate::deviceSelected(const std::optional<std::string>& name) {
  if (array_tbl_ctl_) array_tbl_ctl_->clearErrorTracks();
  std::shared_ptr<AudioDevice> device;
  if (name && output_device_list_) device = output_device_list_->getOutputAudioDeviceByName(*name);
  if (!device) {
    releasePlayManager();
    audio_output_ctx_.reset();
    current_output_device_.reset();
    return;
  }
  if (current_output_device_ && current_output_device_->device_id == device->device_id) return;
  auto names = output_device_list_->getNameList(false);
  auto it = std::find(names.begin(), names.end(), *name);
  int index = it == names.end() ? -1 : static_cast<int>(it - names.begin());

  const bool was_playing = playing_;
  uint64_t position = 0;
  if (was_playing) position = restructure_position_ ? *restructure_position_ : beginRestructuring();
  releasePlayManager();
  current_output_device_ = device;
  if (!setupNewOutputContextWithDeviceListIndex(index)) {
    logLine("AudioOutputContext Allocation Failed.");
    return;
  }
  std::weak_ptr<TkDelegate*> alive = lifetime_;
  audio_output_ctx_->setDisconnectionEventTarget([alive] {
    if (auto self = alive.lock()) (*self)->deviceLost();
  });
  if (!setupPlayManager()) {
    logLine("PlayManager Allocation Failed.");
    return;
  }
  if (was_playing) {
    endRestructuring(position);
    restructured_ = true;
  }
}

bool TkDelegate::applyConfiguration(const std::optional<std::string>& device_name) {
  restructure_position_.reset();
  restructured_ = false;
  if (playing_) restructure_position_ = beginRestructuring();
  if (!setupPlayManager()) {
    restructure_position_.reset();
    return false;
  }
  deviceSelected(device_name);
  // The same device: the new engine starts again where the old one was.
  if (restructure_position_ && !restructured_ && play_manager_ && playing_) endRestructuring(*restructure_position_);
  restructure_position_.reset();
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
void TkDelegate::deviceLost() {
  ram_decode_canceled_flag_ = true;
  std::weak_ptr<TkDelegate*> alive = lifetime_;
  auto& loop = sonara::platform::mainLoop();
  loop.post([alive] {
    auto self = alive.lock();
    if (!self) return;
    TkDelegate* tk = *self;
    auto ctx = tk->audio_output_ctx_;
    if (ctx) ctx->setStop_immediately(true);
    tk->playStop();
    if (ctx) ctx->setStop_immediately(false);
    if (tk->delegate_) tk->delegate_->notifyError(0, nullptr);
  });
  loop.post([alive] {
    if (auto self = alive.lock()) (*self)->initializeAudioOutputDeviceList();
  });
}

std::vector<TkDeviceInfo> TkDelegate::deviceInfoArray() const { return array_output_devices_; }

std::optional<std::string> TkDelegate::currentOutputDeviceName() const {
  if (!current_output_device_) return std::nullopt;
  return current_output_device_->name;
}


// The system is about to sleep: stop at once, without the timed mute sequence.
void TkDelegate::willSleepNotification() {
  if (audio_output_ctx_) audio_output_ctx_->setStop_immediately(true);
  if (play_manager_) playStop();
  if (audio_output_ctx_) audio_output_ctx_->setStop_immediately(false);
}

// After waking, playback stays stopped.
void TkDelegate::didWakeNotification() {}

bool TkDelegate::outputFormat(TkOutputFormat* format) const {
  auto item = currentItem();
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
  return true;
}
