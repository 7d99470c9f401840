// Audio devices that exist only in software: described by a file, each with its
// physical formats, buffer range, USB IDs, mute, exclusive holder and presence, an
// IO clock that paces like hardware or runs free, and a capture of the exact bytes
// the device would receive.
#pragma once

#include <atomic>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/audio/alive_notifier.h"
#include "platform/audio/audio_hal.h"
#include "platform/audio/capture_sink.h"
#include "platform/audio/virtual_device_setup.h"
#include "platform/file_watcher.h"
#include "platform/realtime_mutex.h"

namespace sonara::audio {

class VirtualHal final : public AudioHal {
 public:
  explicit VirtualHal(std::vector<VirtualDeviceSetup> devices);
  ~VirtualHal() override;

  // --- test controls -------------------------------------------------------------
  // Presence changes fire the listeners on the HAL's notification thread.
  void unplug(DeviceId id);
  void replug(DeviceId id);
  // Another process takes the device (or gives it back). Taken while this process
  // holds it, the device is gone for this process, as when it is unplugged, until it
  // is given back.
  void setHeldByOther(DeviceId id, bool held);
  // Follows the device file while the program runs: changes of "alive" and
  // "hogged_by_other" there become unplug, replug and takeover events.
  void followFile(const std::string& path);
  // After `successes` more name lookups, one fails, as a device vanishing in the
  // middle of an enumeration makes it.
  void failNameLookupAfter(int successes) { name_lookups_before_failure_ = successes; }
  std::string capturePath(DeviceId id) const;
  // Waits until listener notifications queued so far have been delivered.
  void drainNotifications();
  // Cycles run so far and cycles in which the procedure left frames unfilled.
  uint64_t cycles(DeviceId id) const;
  uint64_t underruns(DeviceId id) const;
  // With the realtime clock: the times a cycle began more than a buffer's time after
  // it was due (a sound card would have played out its buffer and run dry meanwhile),
  // and the latest any cycle began, in seconds.
  uint64_t lateCycles(DeviceId id) const;
  double worstLateness(DeviceId id) const;
  DeviceId idOfUid(const std::string& uid) const;  // 0 when unknown

  // --- AudioHal ----------------------------------------------------------------------
  Status deviceCount(uint32_t* count) override;
  Status devices(std::vector<DeviceId>* ids) override;
  Status defaultOutputDevice(DeviceId* id) override;
  Status setDefaultOutputDevice(DeviceId id) override;
  Status isAlive(DeviceId id, uint32_t* alive) override;
  Status addAliveListener(DeviceId id, AliveListener listener, void* client) override;
  Status removeAliveListener(DeviceId id, AliveListener listener, void* client) override;
  Status name(DeviceId id, std::string* out) override;
  Status modelUid(DeviceId id, std::string* out) override;
  Status deviceUid(DeviceId id, std::string* out) override;
  Status streamConfiguration(DeviceId id, Scope scope, std::vector<uint32_t>* channels) override;
  Status streams(DeviceId id, Scope scope, std::vector<StreamId>* out) override;
  Status availablePhysicalFormats(StreamId stream, std::vector<RangedDescription>* out) override;
  Status physicalFormat(StreamId stream, StreamDescription* out) override;
  Status setPhysicalFormat(StreamId stream, const StreamDescription& format) override;
  Status nominalSampleRate(DeviceId id, double* rate) override;
  Status setNominalSampleRate(DeviceId id, double rate) override;
  Status availableNominalSampleRates(DeviceId id, Scope scope, std::vector<ValueRange>* out) override;
  Status bufferSize(DeviceId id, uint32_t* bytes) override;
  Status isBufferSizeSettable(DeviceId id, bool* settable) override;
  Status setBufferSize(DeviceId id, uint32_t bytes) override;
  Status bufferFrameSize(DeviceId id, uint32_t* frames) override;
  Status setBufferFrameSize(DeviceId id, uint32_t frames) override;
  Status bufferFrameSizeRange(DeviceId id, ValueRange* range) override;
  Status hogMode(DeviceId id, pid_t* holder) override;
  Status setHogMode(DeviceId id, pid_t holder) override;
  Status mute(DeviceId id, uint32_t* muted) override;
  Status setMute(DeviceId id, uint32_t muted) override;
  Status createIoProc(DeviceId id, IoProc proc, void* client, IoProcId* out) override;
  Status startIoProc(DeviceId id, IoProcId proc) override;
  Status stopIoProc(DeviceId id, IoProcId proc) override;
  Status destroyIoProc(DeviceId id, IoProcId proc) override;
  bool usbIds(const std::string& device_uid, int32_t* vid, int32_t* pid) override;
  bool isSystemDriver(const std::string& device_uid) override;
  std::unique_ptr<UsbInterface> openUsbInterface(const std::string& device_uid,
                                                 Status* status) override;

 private:
  struct Device;
  class VirtualUsbInterface;

  Device* find(DeviceId id) const;
  Device* findStream(StreamId stream) const;
  Device* findUid(const std::string& uid) const;
  void ioLoop(Device* d);
  void applyFile(const std::string& path);
  static bool reachable(const Device& d);
  static StreamDescription describe(const VirtualFormat& f, double rate);

  std::vector<std::unique_ptr<Device>> devices_;
  DeviceId default_output_ = 0;
  mutable platform::RealtimeMutex mutex_;  // also taken by the IO threads at every cycle
  std::unique_ptr<platform::FileWatcher> watcher_;  // ended first, in the destructor
  std::atomic<int> name_lookups_before_failure_{-1};
  AliveNotifier alive_notifier_;  // last member: its thread ends before the rest goes
};

}  // namespace sonara::audio
