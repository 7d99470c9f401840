// Real sound cards through alsa-lib: every playback PCM of every card, opened as
// "hw:CARD=<id>,DEV=<n>", plus the PCMs named in $SONARA_ALSA_DEVICES.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/audio/alive_notifier.h"
#include "platform/audio/audio_hal.h"
#include "platform/audio/device_reservation.h"
#include "platform/audio/pcm_port.h"
#include "platform/audio/watcher_wait.h"

namespace sonara::audio {

struct AlsaDeviceSetup {
  std::string pcm_name;  // what snd_pcm_open takes
  std::string name;      // for people
  std::string uid;       // survives re-plugging and re-ordering of cards
  int card = -1;         // -1 for PCMs that are not a card's
  int device = 0;
  int32_t vid = -1;
  int32_t pid = -1;
  std::string card_id;      // the card's identity ("PCH"): found again when its index changes
  std::string reservation;  // the ReserveDevice1 device name ("Audio0"), empty for none
};

class AlsaHal final : public AudioHal {
 public:
  using PortFactory = std::function<std::unique_ptr<PcmPort>(const std::string& pcm_name)>;
  // Asked for the devices there are now whenever something is added to or removed
  // from the card folder (about once a second where it cannot be watched): those not
  // listed yet (by UID) are added. Empty when nothing changed.
  using Rescan = std::function<std::vector<AlsaDeviceSetup>()>;
  // Where the kernel puts the nodes of sound devices.
  static constexpr const char* kCardFolder = "/dev/snd";
  // Devices, first ones and added ones together, are never more than this.
  static constexpr size_t kMaxDevices = 64;
  // The watcher's longest sleep when nothing calls it.
  static constexpr int kWatcherRestMs = 10000;

  explicit AlsaHal(std::vector<AlsaDeviceSetup> devices, PortFactory factory = makeAlsaPcmPort,
                   Rescan rescan = nullptr, const std::string& card_folder = kCardFolder);
  ~AlsaHal() override;

  // Every playback PCM of every card, then the PCMs of $SONARA_ALSA_DEVICES.
  static std::vector<AlsaDeviceSetup> enumerate();
  // enumerate() again whenever the kernel's list of cards (/proc/asound/cards) changed.
  static Rescan cardsWhenChanged();

  uint64_t underruns(DeviceId id) const;
  uint64_t suspends(DeviceId id) const;

  Status deviceCount(uint32_t* count) override;
  Status devices(std::vector<DeviceId>* ids) override;
  Status defaultOutputDevice(DeviceId* id) override;
  Status setDefaultOutputDevice(DeviceId id) override;
  Status isAlive(DeviceId id, uint32_t* alive) override;
  Status addAliveListener(DeviceId id, AliveListener listener, void* client) override;
  Status removeAliveListener(DeviceId id, AliveListener listener, void* client) override;
  Status addDeviceListListener(AliveListener listener, void* client) override;
  Status removeDeviceListListener(AliveListener listener, void* client) override;
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
  bool isSystemDriver(const std::string&) override { return true; }
  std::unique_ptr<UsbInterface> openUsbInterface(const std::string& device_uid, Status* status) override;

 private:
  struct Device;

  Device* find(DeviceId id) const;
  Device* findStream(StreamId stream) const;
  Device* findUid(const std::string& uid) const;
  bool ensureProbed(Device& d);
  Status apply(Device& d, const StreamDescription& format, uint32_t frames);
  bool ensureConfigured(Device& d);
  int writePeriod(Device& d, const uint8_t* data, uint32_t frames, uint32_t frame_bytes, double seconds,
                  int& failures);
  void watchCard(Device& d);
  void setAlive(Device& d, bool alive);
  void ioLoop(Device* d);
  void watch();
  std::chrono::milliseconds nextWait(std::chrono::steady_clock::time_point next_look, std::vector<int>& bus_fds);
  void failIo(Device& d, int error);
  void addDevices(std::vector<AlsaDeviceSetup> setups);
  size_t count() const { return count_.load(std::memory_order_acquire); }

  // Filled in order and never moved: a device found while others are in use is put
  // in the next slot, then counted.
  std::array<std::unique_ptr<Device>, kMaxDevices> devices_;
  std::atomic<size_t> count_{0};
  PortFactory factory_;
  Rescan rescan_;
  mutable std::mutex mutex_;
  std::atomic<bool> stopping_{false};
  WatcherWait watcher_wait_;  // before the watcher thread, which waits on it
  std::thread watcher_;
  AliveNotifier alive_notifier_;  // last member: its thread ends before the rest goes
};

}  // namespace sonara::audio
