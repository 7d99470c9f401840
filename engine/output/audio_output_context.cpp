#include "engine/output/audio_output_context.h"

#include <unistd.h>

#include "platform/log.h"
#include "platform/named_exception.h"

using namespace sonara::audio;
using sonara::platform::logLine;

std::shared_ptr<AudioOutputContext> AudioOutputContext::initWithList(const AudioDeviceList& list,
                                                                     int index) {
  std::shared_ptr<AudioOutputContext> ctx(new AudioOutputContext(list.hal()));
  try {
    if (!ctx->open(list, index)) return nullptr;  // the destructor undoes what was done
  } catch (const sonara::NamedException& e) {
    logLine("%s", e.reason());
    return nullptr;
  }
  return ctx;
}

bool AudioOutputContext::open(const AudioDeviceList& list, int index) {
  auto device = list.getOutputAudioDeviceAtIndex(index);
  dev_id_ = device ? device->device_id : 0;
  searchInterface();
  device_info_ = device ? device->deviceInfo : AudioDeviceInfo{};

  uint32_t alive = 0;
  if (Status s = hal_.isAlive(dev_id_, &alive); s != kNoError) {
    logLine("whether the device is present cannot be read (OrgOutput) (0x%08lX)",
            statusHex(s));
    return false;
  }
  if (!alive) return false;
  std::vector<StreamId> streams;
  Status s = hal_.streams(dev_id_, Scope::Output, &streams);
  if (s == kNoError && streams.empty()) s = kErrorUnknownProperty;
  if (s != kNoError) {
    logLine("the device's streams cannot be read (OrgOutput) (0x%08lX)", statusHex(s));
    return false;
  }
  stream_id_ = streams[0];
  if (Status f = hal_.physicalFormat(stream_id_, &org_desc_); f != kNoError) {
    logLine("the device's hardware format cannot be read (OrgOutput) (0x%08lX)",
            statusHex(f));
    return false;
  }
  have_format_ = true;
  setCurrent_desc(org_desc_);
  device_channels_ = AudioDevice::countChannnels(hal_, dev_id_, false);
  if (Status b = hal_.bufferSize(dev_id_, &org_buffer_bytes_); b != kNoError) {
    logLine("the device's buffer size cannot be read (OrgOutput) (0x%08lX)",
            statusHex(b));
    return false;
  }
  have_buffer_size_ = true;
  if (Status l = hal_.addAliveListener(dev_id_, &AudioOutputContext::aliveChanged, this); l != kNoError) {
    logLine("the device's removal cannot be watched (0x%08lX)", statusHex(l));
    return false;
  }
  listening_ = true;
  if (Status h = hal_.setHogMode(dev_id_, ::getpid()); h != kNoError) {
    logLine("the device cannot be taken for exclusive use (0x%08lX)", statusHex(h));
    return false;
  }
  hogging_ = true;
  return true;
}

AudioOutputContext::~AudioOutputContext() {
  if (device_info_.outputCapabilities & kDeviceUSBSwitch) {
    setDsdMethod(false);
    setMute(false);
  }
  if_if_.reset();
  restore();
  std::lock_guard lock(target_mutex_);
  target_ = nullptr;
}

void AudioOutputContext::searchInterface() {
  std::string uid;
  if (Status s = hal_.deviceUid(dev_id_, &uid); s != kNoError) {
    logLine("the device's UID cannot be read (0x%08lx)", statusHex(s));
    return;
  }
  Status status = kNoError;
  if_if_ = hal_.openUsbInterface(uid, &status);
}

void AudioOutputContext::setDisconnectionEventTarget(std::function<void()> target) {
  std::lock_guard lock(target_mutex_);
  target_ = std::move(target);
}

void AudioOutputContext::aliveChanged(DeviceId, void* client) {
  auto* self = static_cast<AudioOutputContext*>(client);
  uint32_t alive = 0;
  self->device_gone_.store(self->hal_.isAlive(self->dev_id_, &alive) != kNoError || !alive);
  self->stop_immediately_.store(true);
  std::function<void()> target;
  {
    std::lock_guard lock(self->target_mutex_);
    target = self->target_;
  }
  if (target) target();
  self->stop_immediately_.store(false);
}

void AudioOutputContext::restore() {
  if (dev_id_ == 0) return;
  bool settable = false;
  if (have_buffer_size_ && hal_.isBufferSizeSettable(dev_id_, &settable) == kNoError && settable) {
    hal_.setBufferSize(dev_id_, org_buffer_bytes_);
  }
  std::vector<StreamId> streams;
  if (have_format_ && hal_.streams(dev_id_, Scope::Output, &streams) == kNoError && !streams.empty()) {
    hal_.setPhysicalFormat(streams[0], org_desc_);
  }
  checkSamplingRate();
  if (listening_) {
    if (Status s = hal_.removeAliveListener(dev_id_, &AudioOutputContext::aliveChanged, this);
        s != kNoError) {
      logLine("the watch on the device's removal cannot be ended (0x%08lX)", statusHex(s));
    }
    listening_ = false;
  }
  if (hogging_) {
    if (Status s = hal_.setHogMode(dev_id_, -1); s != kNoError) {
      logLine("the device cannot be given back from exclusive use (restore) (0x%08lX)",
              statusHex(s));
    }
    hogging_ = false;
  }
}

void AudioOutputContext::checkSamplingRate() {
  if (!have_format_) return;
  const double rate = org_desc_.sample_rate;
  const uint32_t mask = device_info_.notSupport_PCM;
  if (rateMaskBit(rate) < 0 || !isRateExcluded(mask, rate)) return;
  if (!isRateExcluded(mask, 44100.0) && hal_.setNominalSampleRate(dev_id_, 44100.0) == kNoError) return;
  if (!isRateExcluded(mask, 48000.0)) hal_.setNominalSampleRate(dev_id_, 48000.0);
}

bool AudioOutputContext::deviceAlive() const {
  uint32_t alive = 0;
  return !device_gone_.load() && hal_.isAlive(dev_id_, &alive) == kNoError && alive != 0;
}

bool AudioOutputContext::setMute(bool muted) { return hal_.setMute(dev_id_, muted ? 1 : 0) == kNoError; }

bool AudioOutputContext::setDsdMethod(bool native) {
  const uint32_t caps = device_info_.outputCapabilities;
  if (native && !(caps & (kDeviceDSD32 | kDeviceDSD16))) return false;
  if (!(caps & kDeviceUSBSwitch)) return true;
  if (!if_if_) return false;
  uint8_t number = 0;
  if (Status s = if_if_->interfaceNumber(&number); s != kNoError) {
    logLine("the USB audio streaming interface cannot be found (0x%08lX)", statusHex(s));
    return false;
  }
  if (Status s = if_if_->controlRequest(0x41, 0x00, native ? 1 : 0, number, 0, nullptr); s != kNoError) {
    logLine("the USB vendor request to the device failed (0x%08lX)", statusHex(s));
    return false;
  }
  return true;
}

void AudioOutputContext::logAvailableRateFailures() {
  std::vector<ValueRange> rates;
  if (Status s = hal_.availableNominalSampleRates(dev_id_, Scope::Global, &rates); s != kNoError) {
    logLine("the device's sample rates cannot be read (Global) (0x%08lX)",
            statusHex(s));
  }
  if (Status s = hal_.availableNominalSampleRates(dev_id_, Scope::Output, &rates); s != kNoError) {
    logLine("the device's sample rates cannot be read (Output) (0x%08lX)",
            statusHex(s));
  }
  if (Status s = hal_.availableNominalSampleRates(dev_id_, Scope::Input, &rates); s != kNoError) {
    logLine("the device's sample rates cannot be read (Input) (0x%08lX)",
            statusHex(s));
  }
}

StreamDescription AudioOutputContext::current_desc() const {
  std::lock_guard lock(desc_mutex_);
  return current_desc_;
}

void AudioOutputContext::setCurrent_desc(const StreamDescription& d) {
  std::lock_guard lock(desc_mutex_);
  current_desc_ = d;
}

void dumpAudioStreamBasicDescription(const StreamDescription& d) {
  logLine("format: %.0f Hz, id 0x%08X, flags 0x%08X, %u bytes/packet, %u frames/packet, "
          "%u bytes/frame, %u channels, %u bits",
          d.sample_rate, d.format_id, d.format_flags, d.bytes_per_packet, d.frames_per_packet,
          d.bytes_per_frame, d.channels_per_frame, d.bits_per_channel);
}

void displaySamplingRateRange(const ValueRange& r) {
  logLine("sampling rate range: %.0f ... %.0f Hz", r.minimum, r.maximum);
}

void displayBufferSizeRange(const ValueRange& r) {
  logLine("buffer size range: %.0f ... %.0f frames", r.minimum, r.maximum);
}
