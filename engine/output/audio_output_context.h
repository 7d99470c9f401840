// The engine's exclusive connection to one output device. Opening takes the device
// for this process, records its physical format and buffer size as found, finds its
// USB streaming interface and listens for its disappearance; closing puts back what
// was found and gives the device up.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>

#include "engine/output/audio_device_list.h"

class AudioOutputContext {
 public:
  // Opens the output device at `index` of the list; null on failure (logged).
  static std::shared_ptr<AudioOutputContext> initWithList(const AudioDeviceList& list, int index);
  ~AudioOutputContext();  // closes
  AudioOutputContext(const AudioOutputContext&) = delete;
  AudioOutputContext& operator=(const AudioOutputContext&) = delete;

  // Called on a notification thread, with stop_immediately set, whenever the
  // device's presence changes.
  void setDisconnectionEventTarget(std::function<void()> target);

  void restore();
  // Moves the device off a rate it must not be left at for PCM.
  void checkSamplingRate();
  bool setMute(bool muted);
  // Switches a USB-switched device between PCM/DoP (false) and native DSD (true).
  bool setDsdMethod(bool native);
  // Reads the available nominal rates in every scope; logs only failures.
  void logAvailableRateFailures();

  sonara::audio::UsbInterface* if_if() const { return if_if_.get(); }
  bool dsd_native() const { return dsd_native_.load(); }
  void setDsd_native(bool v) { dsd_native_.store(v); }
  // Set while a presence change is being told, and for as long as the device is
  // gone: nothing then waits for the device's IO cycles.
  bool stop_immediately() const { return stop_immediately_.load() || device_gone_.load(); }
  bool deviceGone() const { return device_gone_.load(); }
  // Asks the HAL now, ahead of the presence notice.
  bool deviceAlive() const;
  void setStop_immediately(bool v) { stop_immediately_.store(v); }
  sonara::audio::DeviceId dev_id() const { return dev_id_; }
  sonara::audio::StreamId stream_id() const { return stream_id_; }
  const sonara::audio::StreamDescription& org_desc() const { return org_desc_; }
  sonara::audio::StreamDescription current_desc() const;
  void setCurrent_desc(const sonara::audio::StreamDescription& d);
  int64_t device_channels() const { return device_channels_; }
  const AudioDeviceInfo& deviceInfo() const { return device_info_; }
  void setDeviceInfo(const AudioDeviceInfo& info) { device_info_ = info; }
  sonara::audio::AudioHal& hal() const { return hal_; }

 private:
  explicit AudioOutputContext(sonara::audio::AudioHal& hal) : hal_(hal) {}
  bool open(const AudioDeviceList& list, int index);
  void searchInterface();
  static void aliveChanged(sonara::audio::DeviceId, void* client);

  sonara::audio::AudioHal& hal_;
  std::unique_ptr<sonara::audio::UsbInterface> if_if_;
  std::atomic<bool> dsd_native_{false};
  std::atomic<bool> stop_immediately_{false};
  std::atomic<bool> device_gone_{false};
  sonara::audio::DeviceId dev_id_ = 0;
  sonara::audio::StreamId stream_id_ = 0;
  sonara::audio::StreamDescription org_desc_;
  mutable std::mutex desc_mutex_;
  sonara::audio::StreamDescription current_desc_;
  int64_t device_channels_ = 0;
  uint32_t org_buffer_bytes_ = 0;
  std::mutex target_mutex_;
  std::function<void()> target_;
  AudioDeviceInfo device_info_{};

  // What opening got done, so that closing undoes only that.
  bool have_format_ = false;
  bool have_buffer_size_ = false;
  bool listening_ = false;
  bool hogging_ = false;
};

// Diagnostic dumps of HAL values, one log line each.
void dumpAudioStreamBasicDescription(const sonara::audio::StreamDescription& d);
void displaySamplingRateRange(const sonara::audio::ValueRange& r);
void displayBufferSizeRange(const sonara::audio::ValueRange& r);
