#include "platform/audio/virtual_hal.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

#include "platform/audio/realtime_priority.h"
#include "platform/log.h"
#include "platform/thread_name.h"

namespace sonara::audio {

namespace {

constexpr uint32_t kStreamIdBase = 1000;
constexpr pid_t kOtherProcess = 1;  // who holds a device "held by another process"

uint64_t monotonicNs() {
  return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                   std::chrono::steady_clock::now().time_since_epoch())
                                   .count());
}

bool rateFits(const VirtualFormat& f, double rate) {
  if (f.rate != 0) return f.rate == rate;
  return rate >= f.min_rate && rate <= f.max_rate;
}

// The format entry a description asks for, or -1.
int matchFormat(const std::vector<VirtualFormat>& formats, const StreamDescription& d) {
  for (size_t i = 0; i < formats.size(); ++i) {
    const auto& f = formats[i];
    uint32_t flags = kFormatFlagIsSignedInteger | kFormatFlagIsPacked |
                     (f.non_mixable ? kFormatFlagIsNonMixable : 0) |
                     (f.dsd ? kFormatFlagCarriesNativeDSD : 0);
    if (d.format_id == kFormatLinearPCM && d.format_flags == flags &&
        d.bits_per_channel == f.bits && d.channels_per_frame == f.channels &&
        d.bytes_per_frame == f.bytes_per_sample * f.channels && rateFits(f, d.sample_rate)) {
      return static_cast<int>(i);
    }
  }
  return -1;
}

// What a driver with a period step makes of a requested size: the next multiple of
// the step, or the last one within the range.
uint32_t roundedBufferFrames(const VirtualDeviceSetup& s, uint32_t frames) {
  const uint64_t step = s.buffer_frames_step;
  uint64_t rounded = (frames + step - 1) / step * step;
  if (rounded > s.max_buffer_frames) rounded = s.max_buffer_frames / step * step;
  if (rounded < s.min_buffer_frames) rounded = frames;  // no multiple fits: taken as asked
  return static_cast<uint32_t>(rounded);
}

}  // namespace

struct VirtualHal::Device {
  DeviceId id = 0;
  StreamId stream = 0;
  VirtualDeviceSetup setup;
  std::atomic<bool> alive{true};
  std::atomic<bool> taken_from_us{false};  // another process took it while we held it
  bool held_by_other = false;
  pid_t holder = -1;
  StreamDescription current;
  StreamDescription pending;   // set, not yet applied (format_delay_reads)
  uint32_t reads_until_applied = 0;
  uint32_t buffer_frames = 512;
  uint32_t muted = 0;

  IoProc proc = nullptr;
  void* client = nullptr;
  IoProcId proc_id = 0;
  std::atomic<bool> running{false};
  std::thread thread;
  std::atomic<double> sample_time{0};
  std::atomic<uint64_t> cycles{0};
  std::atomic<uint64_t> underruns{0};
  std::atomic<uint64_t> late_cycles{0};
  std::atomic<double> worst_lateness{0};
  std::unique_ptr<CaptureSink> capture;
  std::vector<float> io_buffer;
};

class VirtualHal::VirtualUsbInterface final : public UsbInterface {
 public:
  explicit VirtualUsbInterface(Device& d) : device_(d) {}
  Status interfaceNumber(uint8_t* number) override {
    *number = 1;  // the streaming interface of a USB Audio Class 2 device
    return kNoError;
  }
  Status controlRequest(uint8_t request_type, uint8_t request, uint16_t value, uint16_t index,
                        uint16_t length, void* data) override {
    char fields[160];
    std::snprintf(fields, sizeof fields,
                  "\"request_type\":%u,\"request\":%u,\"value\":%u,\"index\":%u,\"length\":%u",
                  request_type, request, value, index, length);
    device_.capture->event("vendor_request", device_.sample_time.load(), fields);
    if (request_type == 0x81 && request == 0x0A && length == 1 && data) {
      // GET_INTERFACE: the streaming alternate setting is active while the device runs.
      *static_cast<uint8_t*>(data) = device_.running.load() ? 1 : 0;
    }
    return kNoError;
  }

 private:
  Device& device_;
};

VirtualHal::VirtualHal(std::vector<VirtualDeviceSetup> setups) {
  DeviceId next = 1;
  for (auto& setup : setups) {
    auto d = std::make_unique<Device>();
    d->id = next++;
    d->stream = kStreamIdBase + d->id;
    d->alive = setup.alive;
    d->held_by_other = setup.hogged_by_other;
    d->buffer_frames = std::clamp(setup.initial_buffer_frames, setup.min_buffer_frames,
                                  setup.max_buffer_frames);
    if (!setup.formats.empty()) {
      const auto& f = setup.formats[setup.initial_format];
      d->current = describe(f, f.rate != 0 ? f.rate : std::clamp(setup.initial_rate, f.min_rate, f.max_rate));
    }
    d->capture = std::make_unique<CaptureSink>(setup.capture);
    d->capture->reserve(size_t{setup.max_buffer_frames} * std::max(setup.output_channels, 1u), 4);
    d->io_buffer.assign(size_t{setup.max_buffer_frames} * std::max(setup.output_channels, 1u), 0.0f);
    d->setup = std::move(setup);
    devices_.push_back(std::move(d));
  }
  for (const auto& d : devices_) {
    if (d->setup.output_channels > 0) {
      default_output_ = d->id;
      break;
    }
  }
}

VirtualHal::~VirtualHal() {
  watcher_.reset();
  for (auto& d : devices_) {
    d->running = false;
    if (d->thread.joinable()) d->thread.join();
  }
}

StreamDescription VirtualHal::describe(const VirtualFormat& f, double rate) {
  StreamDescription d;
  d.sample_rate = rate;
  d.format_id = kFormatLinearPCM;
  d.format_flags = kFormatFlagIsSignedInteger | kFormatFlagIsPacked |
                   (f.non_mixable ? kFormatFlagIsNonMixable : 0) |
                   (f.dsd ? kFormatFlagCarriesNativeDSD : 0);
  d.bytes_per_frame = f.bytes_per_sample * f.channels;
  d.bytes_per_packet = d.bytes_per_frame;
  d.frames_per_packet = 1;
  d.channels_per_frame = f.channels;
  d.bits_per_channel = f.bits;
  return d;
}

VirtualHal::Device* VirtualHal::find(DeviceId id) const {
  if (id == 0 || id > devices_.size()) return nullptr;
  return devices_[id - 1].get();
}

VirtualHal::Device* VirtualHal::findStream(StreamId stream) const {
  return stream > kStreamIdBase ? find(stream - kStreamIdBase) : nullptr;
}

VirtualHal::Device* VirtualHal::findUid(const std::string& uid) const {
  for (const auto& d : devices_) {
    if (d->setup.uid == uid) return d.get();
  }
  return nullptr;
}

DeviceId VirtualHal::idOfUid(const std::string& uid) const {
  Device* d = findUid(uid);
  return d ? d->id : 0;
}

// --- test controls -----------------------------------------------------------------

void VirtualHal::unplug(DeviceId id) {
  Device* d = find(id);
  if (!d || !d->alive.exchange(false)) return;
  d->capture->event("unplug", d->sample_time.load());
  alive_notifier_.notify(d->id);
}

void VirtualHal::replug(DeviceId id) {
  Device* d = find(id);
  if (!d || d->alive.exchange(true)) return;
  d->capture->event("replug", d->sample_time.load());
  alive_notifier_.notify(d->id);
}

void VirtualHal::setHeldByOther(DeviceId id, bool held) {
  Device* d = find(id);
  if (!d) return;
  bool changed_for_us = false;
  {
    std::lock_guard lock(mutex_);
    if (d->held_by_other == held) return;
    d->held_by_other = held;
    if (held && d->holder != -1) {
      d->holder = -1;
      d->taken_from_us = true;
      changed_for_us = true;
    } else if (!held && d->taken_from_us) {
      d->taken_from_us = false;
      changed_for_us = true;
    }
  }
  d->capture->event(held ? "taken" : "given_back", d->sample_time.load());
  if (changed_for_us) alive_notifier_.notify(d->id);
}

bool VirtualHal::reachable(const Device& d) { return d.alive.load() && !d.taken_from_us.load(); }

void VirtualHal::followFile(const std::string& path) {
  watcher_ = std::make_unique<platform::FileWatcher>(path, [this, path] { applyFile(path); });
}

// On the watcher's thread.
void VirtualHal::applyFile(const std::string& path) {
  std::string error;
  auto setups = loadVirtualDevices(path, &error);
  if (!setups) {
    platform::logLine("Virtual device file %s cannot be used: %s", path.c_str(), error.c_str());
    return;
  }
  for (const auto& setup : *setups) {
    Device* d = findUid(setup.uid);
    if (!d) continue;  // devices are not added or removed while the program runs
    if (setup.alive) {
      replug(d->id);
    } else {
      unplug(d->id);
    }
    setHeldByOther(d->id, setup.hogged_by_other);
  }
}

std::string VirtualHal::capturePath(DeviceId id) const {
  Device* d = find(id);
  return d ? d->setup.capture : std::string();
}

void VirtualHal::drainNotifications() { alive_notifier_.drain(); }

uint64_t VirtualHal::cycles(DeviceId id) const {
  Device* d = find(id);
  return d ? d->cycles.load() : 0;
}

uint64_t VirtualHal::underruns(DeviceId id) const {
  Device* d = find(id);
  return d ? d->underruns.load() : 0;
}

uint64_t VirtualHal::lateCycles(DeviceId id) const {
  Device* d = find(id);
  return d ? d->late_cycles.load() : 0;
}

double VirtualHal::worstLateness(DeviceId id) const {
  Device* d = find(id);
  return d ? d->worst_lateness.load() : 0;
}

// --- system ------------------------------------------------------------------------

Status VirtualHal::deviceCount(uint32_t* count) {
  *count = static_cast<uint32_t>(devices_.size());
  return kNoError;
}

Status VirtualHal::devices(std::vector<DeviceId>* ids) {
  ids->clear();
  for (const auto& d : devices_) ids->push_back(d->id);
  return kNoError;
}

Status VirtualHal::defaultOutputDevice(DeviceId* id) {
  std::lock_guard lock(mutex_);
  *id = default_output_;
  return kNoError;
}

Status VirtualHal::setDefaultOutputDevice(DeviceId id) {
  std::lock_guard lock(mutex_);
  if (!find(id)) return kErrorUnknownDevice;
  default_output_ = id;
  return kNoError;
}

// --- presence and identity -----------------------------------------------------------

Status VirtualHal::isAlive(DeviceId id, uint32_t* alive) {
  Device* d = find(id);
  if (!d) return kErrorUnknownDevice;
  *alive = reachable(*d) ? 1 : 0;
  return kNoError;
}

Status VirtualHal::addAliveListener(DeviceId id, AliveListener listener, void* client) {
  if (!find(id)) return kErrorUnknownDevice;
  alive_notifier_.add(id, listener, client);
  return kNoError;
}

Status VirtualHal::removeAliveListener(DeviceId id, AliveListener listener, void* client) {
  if (!find(id)) return kErrorUnknownDevice;
  return alive_notifier_.remove(id, listener, client) ? kNoError : kErrorIllegalOperation;
}

Status VirtualHal::name(DeviceId id, std::string* out) {
  Device* d = find(id);
  if (!d) return kErrorUnknownDevice;
  if (name_lookups_before_failure_.load() >= 0 && name_lookups_before_failure_.fetch_sub(1) == 0) {
    return kErrorUnknownDevice;
  }
  *out = d->setup.name;
  return kNoError;
}

Status VirtualHal::modelUid(DeviceId id, std::string* out) {
  Device* d = find(id);
  if (!d) return kErrorUnknownDevice;
  *out = d->setup.model_uid;
  return kNoError;
}

Status VirtualHal::deviceUid(DeviceId id, std::string* out) {
  Device* d = find(id);
  if (!d) return kErrorUnknownDevice;
  *out = d->setup.uid;
  return kNoError;
}

// --- streams and formats ---------------------------------------------------------------

Status VirtualHal::streamConfiguration(DeviceId id, Scope scope, std::vector<uint32_t>* channels) {
  Device* d = find(id);
  if (!d) return kErrorUnknownDevice;
  channels->clear();
  uint32_t n = scope == Scope::Input ? d->setup.input_channels : d->setup.output_channels;
  if (n > 0) channels->push_back(n);
  return kNoError;
}

Status VirtualHal::streams(DeviceId id, Scope scope, std::vector<StreamId>* out) {
  Device* d = find(id);
  if (!d) return kErrorUnknownDevice;
  out->clear();
  if (scope != Scope::Input && d->setup.output_channels > 0 && !d->setup.formats.empty()) {
    out->push_back(d->stream);
  }
  return kNoError;
}

Status VirtualHal::availablePhysicalFormats(StreamId stream, std::vector<RangedDescription>* out) {
  Device* d = findStream(stream);
  if (!d) return kErrorUnknownDevice;
  out->clear();
  for (const auto& f : d->setup.formats) {
    out->push_back({describe(f, f.rate), {f.rate != 0 ? f.rate : f.min_rate, f.rate != 0 ? f.rate : f.max_rate}});
  }
  return kNoError;
}

Status VirtualHal::physicalFormat(StreamId stream, StreamDescription* out) {
  std::lock_guard lock(mutex_);
  Device* d = findStream(stream);
  if (!d) return kErrorUnknownDevice;
  if (d->reads_until_applied > 0 && --d->reads_until_applied == 0) {
    d->current = d->pending;
    d->capture->event("format", d->sample_time.load(), formatFields(d->current));
  }
  *out = d->current;
  return kNoError;
}

Status VirtualHal::setPhysicalFormat(StreamId stream, const StreamDescription& format) {
  std::lock_guard lock(mutex_);
  Device* d = findStream(stream);
  if (!d) return kErrorUnknownDevice;
  if (!reachable(*d)) return kErrorUnknownDevice;
  if (matchFormat(d->setup.formats, format) < 0) return kErrorUnsupportedFormat;
  if (d->setup.format_delay_reads > 0) {
    d->pending = format;
    d->reads_until_applied = d->setup.format_delay_reads;
    return kNoError;
  }
  d->current = format;
  d->reads_until_applied = 0;
  d->capture->event("format", d->sample_time.load(), formatFields(format));
  return kNoError;
}

// --- clock and buffers -----------------------------------------------------------------

Status VirtualHal::nominalSampleRate(DeviceId id, double* rate) {
  std::lock_guard lock(mutex_);
  Device* d = find(id);
  if (!d) return kErrorUnknownDevice;
  *rate = d->current.sample_rate;
  return kNoError;
}

Status VirtualHal::setNominalSampleRate(DeviceId id, double rate) {
  std::lock_guard lock(mutex_);
  Device* d = find(id);
  if (!d) return kErrorUnknownDevice;
  StreamDescription wanted = d->current;
  wanted.sample_rate = rate;
  if (matchFormat(d->setup.formats, wanted) < 0) return kErrorUnsupportedFormat;
  d->current = wanted;
  char fields[64];
  std::snprintf(fields, sizeof fields, "\"rate\":%.0f", rate);
  d->capture->event("rate", d->sample_time.load(), fields);
  return kNoError;
}

Status VirtualHal::availableNominalSampleRates(DeviceId id, Scope scope, std::vector<ValueRange>* out) {
  Device* d = find(id);
  if (!d) return kErrorUnknownDevice;
  out->clear();
  if (scope == Scope::Input && d->setup.input_channels == 0) return kNoError;
  for (const auto& f : d->setup.formats) {
    ValueRange r = f.rate != 0 ? ValueRange{f.rate, f.rate} : ValueRange{f.min_rate, f.max_rate};
    bool seen = std::any_of(out->begin(), out->end(), [&](const ValueRange& x) {
      return x.minimum == r.minimum && x.maximum == r.maximum;
    });
    if (!seen) out->push_back(r);
  }
  return kNoError;
}

Status VirtualHal::bufferSize(DeviceId id, uint32_t* bytes) {
  std::lock_guard lock(mutex_);
  Device* d = find(id);
  if (!d) return kErrorUnknownDevice;
  *bytes = d->buffer_frames * d->setup.output_channels * 4;
  return kNoError;
}

Status VirtualHal::isBufferSizeSettable(DeviceId id, bool* settable) {
  if (!find(id)) return kErrorUnknownDevice;
  *settable = true;
  return kNoError;
}

Status VirtualHal::setBufferSize(DeviceId id, uint32_t bytes) {
  Device* d = find(id);
  if (!d) return kErrorUnknownDevice;
  uint32_t frame_bytes = std::max(d->setup.output_channels, 1u) * 4;
  return setBufferFrameSize(id, bytes / frame_bytes);
}

Status VirtualHal::bufferFrameSize(DeviceId id, uint32_t* frames) {
  std::lock_guard lock(mutex_);
  Device* d = find(id);
  if (!d) return kErrorUnknownDevice;
  *frames = d->buffer_frames;
  return kNoError;
}

Status VirtualHal::setBufferFrameSize(DeviceId id, uint32_t frames) {
  std::lock_guard lock(mutex_);
  Device* d = find(id);
  if (!d) return kErrorUnknownDevice;
  if (frames < d->setup.min_buffer_frames || frames > d->setup.max_buffer_frames) return kErrorBadValue;
  frames = roundedBufferFrames(d->setup, frames);
  d->buffer_frames = frames;
  char fields[48];
  std::snprintf(fields, sizeof fields, "\"frames\":%u", frames);
  d->capture->event("buffer_size", d->sample_time.load(), fields);
  return kNoError;
}

Status VirtualHal::bufferFrameSizeRange(DeviceId id, ValueRange* range) {
  Device* d = find(id);
  if (!d) return kErrorUnknownDevice;
  *range = {static_cast<double>(d->setup.min_buffer_frames),
            static_cast<double>(d->setup.max_buffer_frames)};
  return kNoError;
}

// --- exclusive access and mute -----------------------------------------------------------

Status VirtualHal::hogMode(DeviceId id, pid_t* holder) {
  std::lock_guard lock(mutex_);
  Device* d = find(id);
  if (!d) return kErrorUnknownDevice;
  *holder = d->held_by_other ? kOtherProcess : d->holder;
  if (*holder < 0) *holder = d->capture->otherHolder();
  return kNoError;
}

Status VirtualHal::setHogMode(DeviceId id, pid_t holder) {
  std::lock_guard lock(mutex_);
  Device* d = find(id);
  if (!d) return kErrorUnknownDevice;
  if (d->held_by_other && holder != -1) return kErrorDeviceBusy;
  if (holder < 0) {
    d->capture->release();
    if (d->taken_from_us) return kNoError;  // already given up
  } else if (Status claimed = d->capture->claim(d->setup.name, nullptr); claimed != kNoError) {
    return claimed;
  }
  d->holder = holder;
  char fields[48];
  std::snprintf(fields, sizeof fields, "\"holder\":%d", static_cast<int>(holder));
  d->capture->event("hog", d->sample_time.load(), fields);
  return kNoError;
}

Status VirtualHal::mute(DeviceId id, uint32_t* muted) {
  std::lock_guard lock(mutex_);
  Device* d = find(id);
  if (!d) return kErrorUnknownDevice;
  if (!d->setup.mute_supported) return kErrorUnknownProperty;
  *muted = d->muted;
  return kNoError;
}

Status VirtualHal::setMute(DeviceId id, uint32_t muted) {
  Device* d = find(id);
  if (!d) return kErrorUnknownDevice;
  if (!d->setup.mute_supported) return kErrorUnknownProperty;
  {
    std::lock_guard lock(mutex_);
    d->muted = muted ? 1 : 0;
  }
  d->capture->event("mute", d->sample_time.load(), muted ? "\"muted\":true" : "\"muted\":false");
  return kNoError;
}

// --- IO procedures ---------------------------------------------------------------------

Status VirtualHal::createIoProc(DeviceId id, IoProc proc, void* client, IoProcId* out) {
  std::lock_guard lock(mutex_);
  Device* d = find(id);
  if (!d) return kErrorUnknownDevice;
  if (d->proc || !proc) return kErrorIllegalOperation;  // one procedure per device
  d->proc = proc;
  d->client = client;
  d->proc_id = id;
  *out = id;
  return kNoError;
}

Status VirtualHal::startIoProc(DeviceId id, IoProcId proc) {
  Device* d = find(id);
  if (!d) return kErrorUnknownDevice;
  {
    std::lock_guard lock(mutex_);
    if (!d->proc || d->proc_id != proc) return kErrorIllegalOperation;
    if (!reachable(*d)) return kErrorUnknownDevice;
    if (d->running) return kNoError;
  }
  if (d->thread.joinable()) d->thread.join();
  if (!d->capture->begin()) return kErrorIllegalOperation;
  d->running = true;
  d->capture->event("start", d->sample_time.load());
  d->thread = std::thread([this, d] { ioLoop(d); });
  // A device paced like hardware has an IO thread like hardware's; a free-running one
  // would take a whole core from everything else.
  if (d->setup.clock == VirtualClock::Realtime) {
    if (int r = takeRealtimePriority(d->thread.native_handle()); r != 0 && r != ESRCH) {
      platform::logLineOnce("%s: no real-time priority (%s); playing at normal priority.", d->setup.name.c_str(),
                            std::strerror(r));
    }
  }
  return kNoError;
}

Status VirtualHal::stopIoProc(DeviceId id, IoProcId proc) {
  Device* d = find(id);
  if (!d) return kErrorUnknownDevice;
  if (d->proc_id != proc) return kErrorIllegalOperation;
  if (!d->running.exchange(false)) return kNoError;
  if (d->thread.joinable() && d->thread.get_id() != std::this_thread::get_id()) d->thread.join();
  d->capture->event("stop", d->sample_time.load());
  return kNoError;
}

Status VirtualHal::destroyIoProc(DeviceId id, IoProcId proc) {
  Device* d = find(id);
  if (!d) return kErrorUnknownDevice;
  if (d->proc_id != proc || !d->proc) return kErrorIllegalOperation;
  stopIoProc(id, proc);
  std::lock_guard lock(mutex_);
  d->proc = nullptr;
  d->client = nullptr;
  d->proc_id = 0;
  return kNoError;
}

void VirtualHal::ioLoop(Device* d) {
  sonara::platform::nameThisThread("sonara-io");
  using Clock = std::chrono::steady_clock;
  auto deadline = Clock::now();
  bool data_flowed = false;
  bool gap_pending = false;
  double gap_at = 0;
  bool behind = false;
  const uint32_t channels = std::max(d->setup.output_channels, 1u);
  while (d->running.load()) {
    if (!reachable(*d)) {  // a removed device delivers no cycles
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
      deadline = Clock::now();  // and starts its clock afresh when it returns
      continue;
    }
    StreamDescription format;
    uint32_t frames;
    IoProc proc;
    void* client;
    bool muted;
    {
      std::lock_guard lock(mutex_);
      format = d->current;
      frames = d->buffer_frames;
      proc = d->proc;
      client = d->client;
      muted = d->muted != 0;
    }
    const double rate = format.sample_rate > 0 ? format.sample_rate : 44100.0;
    const double period = frames / rate;
    if (d->setup.clock == VirtualClock::Realtime) {
      // The cycles after a late one follow at once to catch up: one stall, one count.
      const double lateness = std::chrono::duration<double>(Clock::now() - deadline).count();
      if (lateness > period && !behind) d->late_cycles.fetch_add(1);
      behind = lateness > period;
      if (lateness > d->worst_lateness.load()) d->worst_lateness.store(lateness);
    }
    const uint32_t full_bytes = frames * channels * 4;
    std::memset(d->io_buffer.data(), 0, full_bytes);
    IoBuffer buffer{channels, full_bytes, d->io_buffer.data()};
    TimeStamp now{d->sample_time.load(), monotonicNs()};
    TimeStamp output_time{now.sample_time + frames, now.host_time};
    if (proc) proc(d->id, now, buffer, output_time, client);
    d->cycles.fetch_add(1);
    uint32_t filled = std::min(buffer.byte_size, full_bytes) / (channels * 4);

    // A gap counts as an underrun once data flows again after it. A cycle that began
    // muted sounds of nothing: the silence of a mute sequence neither carries the
    // stream nor opens a gap in it.
    if (!muted) {
      if (filled > 0 && gap_pending) {
        d->underruns.fetch_add(1);
        if (d->setup.clock == VirtualClock::Realtime) d->capture->event("underrun", gap_at);
        gap_pending = false;
      }
      if (filled > 0) data_flowed = true;
      if (filled < frames && data_flowed && !gap_pending) {
        gap_pending = true;
        gap_at = now.sample_time + filled;
      }
    }

    if (d->setup.clock == VirtualClock::Realtime) {
      d->capture->write(buffer, frames, format);
      d->sample_time.store(now.sample_time + frames);
      deadline += std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(period));
      std::this_thread::sleep_until(deadline);
    } else {
      d->capture->write(buffer, filled, format);
      d->sample_time.store(now.sample_time + filled);
      if (filled == 0) std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
  }
}

// --- registry and USB ------------------------------------------------------------------

bool VirtualHal::usbIds(const std::string& device_uid, int32_t* vid, int32_t* pid) {
  Device* d = findUid(device_uid);
  if (!d || !d->setup.usb) return false;
  *vid = d->setup.usb->first;
  *pid = d->setup.usb->second;
  return true;
}

bool VirtualHal::isSystemDriver(const std::string& device_uid) {
  Device* d = findUid(device_uid);
  return !d || !d->setup.vendor_driver;
}

std::unique_ptr<UsbInterface> VirtualHal::openUsbInterface(const std::string& device_uid,
                                                           Status* status) {
  Device* d = findUid(device_uid);
  if (!d || !d->setup.usb) {
    if (status) *status = kErrorUnknownDevice;
    return nullptr;
  }
  if (status) *status = kNoError;
  return std::make_unique<VirtualUsbInterface>(*d);
}

}  // namespace sonara::audio
