#include "platform/audio/alsa_hal.h"

#include <alsa/asoundlib.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "platform/audio/alsa_mixer.h"
#include "platform/audio/realtime_priority.h"
#include "platform/log.h"
#include "platform/thread_name.h"

namespace sonara::audio {

using platform::logLine;
using platform::logLineOnce;

namespace {

constexpr uint32_t kStreamIdBase = 1000;
constexpr uint32_t kDefaultPeriod = 1024;
// Write errors in a row after which a device is given up.
constexpr int kWriteFailureLimit = 5;

std::string readFirstLine(const std::string& path) {
  std::ifstream in(path);
  std::string line;
  std::getline(in, line);
  return line;
}

// "owner_pid   : 1234" in a substream's status: who holds the device.
std::string holderOf(int card, int device) {
  for (int sub = 0; sub < 8; ++sub) {
    std::ifstream in("/proc/asound/card" + std::to_string(card) + "/pcm" + std::to_string(device) + "p/sub" +
                     std::to_string(sub) + "/status");
    std::string line;
    while (std::getline(in, line)) {
      if (line.rfind("owner_pid", 0) == 0) {
        std::string pid = line.substr(line.find(':') + 1);
        pid.erase(0, pid.find_first_not_of(' '));
        std::string comm = readFirstLine("/proc/" + pid + "/comm");
        return comm.empty() ? "process " + pid : "process " + pid + " (" + comm + ")";
      }
    }
  }
  return "";
}

StreamDescription describe(AlsaSampleFormat f, uint32_t channels, double rate) {
  StreamDescription d;
  d.sample_rate = rate;
  d.format_id = kFormatLinearPCM;
  d.format_flags = kFormatFlagIsSignedInteger | kFormatFlagIsPacked;
  if (isNativeDsd(f)) d.format_flags |= kFormatFlagCarriesNativeDSD;
  if (f == AlsaSampleFormat::DSD_U32_LE || f == AlsaSampleFormat::DSD_U32_BE) d.format_flags |= kFormatFlagIsNonMixable;
  uint32_t width = bytesPerSample(f);
  d.bits_per_channel = f == AlsaSampleFormat::S24_3LE || f == AlsaSampleFormat::S24_LE ? 24 : width * 8;
  d.channels_per_frame = channels;
  d.bytes_per_frame = width * channels;
  d.bytes_per_packet = d.bytes_per_frame;
  d.frames_per_packet = 1;
  return d;
}

// A USB device's requests are the kernel driver's business: answered as done.
class KernelHandledUsbInterface final : public UsbInterface {
 public:
  Status interfaceNumber(uint8_t* number) override {
    *number = 1;
    return kNoError;
  }
  Status controlRequest(uint8_t, uint8_t, uint16_t, uint16_t, uint16_t length, void* data) override {
    if (data && length) std::memset(data, 0, length);  // GET_INTERFACE: idle
    return kNoError;
  }
};

}  // namespace

struct AlsaHal::Device {
  DeviceId id = 0;
  AlsaDeviceSetup setup;
  std::unique_ptr<PcmPort> port;
  bool probed = false;
  bool probe_failed = false;  // looked at again when taken, not on every question
  PcmCapabilities caps;
  std::vector<std::pair<AlsaSampleFormat, StreamDescription>> formats;
  // What the engine asked for; the PCM is configured with it when it is first needed
  // (the buffer size read back, or the IO started), once per format.
  StreamDescription current;
  AlsaSampleFormat current_format = AlsaSampleFormat::S16_LE;
  uint32_t wanted_period = kDefaultPeriod;
  bool configured = false;
  uint32_t period = kDefaultPeriod;  // in effect once configured, else the wish
  uint32_t buffer = 0;               // frames, in effect once configured
  bool refusal_logged = false;
  std::atomic<bool> alive{true};
  bool hogged = false;
  DeviceReservation reservation;
  AlsaMixerSwitch mixer;  // open while the device is taken

  IoProc proc = nullptr;
  void* client = nullptr;
  std::atomic<bool> running{false};
  // The engine left the last period short: its stream ended (or ran dry), and what
  // was written is to be played out at the stop, not dropped.
  std::atomic<bool> stream_ended{false};
  std::thread thread;
  std::atomic<uint64_t> underruns{0};
  uint64_t underruns_reported = 0;
  std::atomic<uint64_t> suspends{0};
  uint64_t suspends_reported = 0;
  std::atomic<uint64_t> write_errors{0};
  std::atomic<int> last_write_error{0};
  uint64_t write_errors_reported = 0;
  std::atomic<int> io_failure{0};  // errno that ended the IO thread, for the watcher
  bool failed = false;             // watcher only: given up until the card returns
  bool handed_over = false;        // watcher only: another program asked for it and got it
  int hand_over_checks = 0;
};

AlsaHal::AlsaHal(std::vector<AlsaDeviceSetup> setups, PortFactory factory, Rescan rescan,
                 const std::string& card_folder)
    : factory_(std::move(factory)), rescan_(std::move(rescan)), watcher_wait_(card_folder) {
  addDevices(std::move(setups));
  watcher_ = std::thread([this] { watch(); });
}

AlsaHal::~AlsaHal() {
  stopping_ = true;
  watcher_wait_.wake();
  if (watcher_.joinable()) watcher_.join();
  for (size_t i = 0; i < count(); ++i) {
    auto& d = devices_[i];
    d->running = false;
    if (d->thread.joinable()) d->thread.join();
    d->port->close();
  }
}

std::vector<AlsaDeviceSetup> AlsaHal::enumerate() {
  std::vector<AlsaDeviceSetup> out;
  int card = -1;
  while (snd_card_next(&card) == 0 && card >= 0) {
    snd_ctl_t* ctl = nullptr;
    if (snd_ctl_open(&ctl, ("hw:" + std::to_string(card)).c_str(), 0) < 0) continue;
    snd_ctl_card_info_t* info;
    snd_ctl_card_info_alloca(&info);
    snd_ctl_card_info(ctl, info);
    const std::string card_id = snd_ctl_card_info_get_id(info);
    const std::string card_name = snd_ctl_card_info_get_name(info);
    std::string usb = readFirstLine("/proc/asound/card" + std::to_string(card) + "/usbid");
    int device = -1;
    while (snd_ctl_pcm_next_device(ctl, &device) == 0 && device >= 0) {
      snd_pcm_info_t* pcm;
      snd_pcm_info_alloca(&pcm);
      snd_pcm_info_set_device(pcm, static_cast<unsigned>(device));
      snd_pcm_info_set_subdevice(pcm, 0);
      snd_pcm_info_set_stream(pcm, SND_PCM_STREAM_PLAYBACK);
      if (snd_ctl_pcm_info(ctl, pcm) < 0) continue;  // no playback on this device
      AlsaDeviceSetup setup;
      setup.card = card;
      setup.device = device;
      setup.pcm_name = "hw:CARD=" + card_id + ",DEV=" + std::to_string(device);
      setup.name = card_name + " - " + snd_pcm_info_get_name(pcm);
      setup.uid = "alsa:" + card_id + ":" + std::to_string(device) + (usb.empty() ? "" : ":usb-" + usb);
      setup.card_id = card_id;
      setup.reservation = "Audio" + std::to_string(card);
      unsigned vid = 0, pid = 0;
      if (std::sscanf(usb.c_str(), "%x:%x", &vid, &pid) == 2) {
        setup.vid = static_cast<int32_t>(vid);
        setup.pid = static_cast<int32_t>(pid);
      }
      out.push_back(setup);
    }
    snd_ctl_close(ctl);
  }
  if (const char* extra = std::getenv("SONARA_ALSA_DEVICES"); extra && *extra) {
    std::stringstream names(extra);
    std::string pcm;
    while (std::getline(names, pcm, ',')) {
      if (pcm.empty()) continue;
      AlsaDeviceSetup setup;
      setup.pcm_name = pcm;
      setup.name = "ALSA " + pcm;
      setup.uid = "alsa-pcm:" + pcm;
      out.push_back(setup);
    }
  }
  return out;
}

// Devices not listed yet, by UID, take the next IDs. On the constructing thread,
// then only on the watcher's.
void AlsaHal::addDevices(std::vector<AlsaDeviceSetup> setups) {
  for (auto& setup : setups) {
    if (findUid(setup.uid)) continue;
    const size_t slot = count();
    if (slot == kMaxDevices) {
      logLine("ALSA: %s is not listed: there are %zu devices already.", setup.name.c_str(), kMaxDevices);
      continue;
    }
    auto d = std::make_unique<Device>();
    d->id = static_cast<DeviceId>(slot + 1);
    d->port = factory_(setup.pcm_name);
    d->setup = std::move(setup);
    devices_[slot] = std::move(d);
    count_.store(slot + 1, std::memory_order_release);
  }
}

AlsaHal::Rescan AlsaHal::cardsWhenChanged() {
  auto last = std::make_shared<std::string>();
  *last = [] {
    std::ifstream in("/proc/asound/cards");
    return std::string{std::istreambuf_iterator<char>(in), {}};
  }();
  return [last] {
    std::ifstream in("/proc/asound/cards");
    std::string now{std::istreambuf_iterator<char>(in), {}};
    if (now == *last) return std::vector<AlsaDeviceSetup>{};
    *last = std::move(now);
    return enumerate();
  };
}

AlsaHal::Device* AlsaHal::find(DeviceId id) const {
  return id == 0 || id > count() ? nullptr : devices_[id - 1].get();
}
AlsaHal::Device* AlsaHal::findStream(StreamId stream) const {
  return stream > kStreamIdBase ? find(stream - kStreamIdBase) : nullptr;
}
AlsaHal::Device* AlsaHal::findUid(const std::string& uid) const {
  for (size_t i = 0; i < count(); ++i) {
    if (devices_[i]->setup.uid == uid) return devices_[i].get();
  }
  return nullptr;
}

uint64_t AlsaHal::underruns(DeviceId id) const {
  Device* d = find(id);
  return d ? d->underruns.load() : 0;
}

uint64_t AlsaHal::suspends(DeviceId id) const {
  Device* d = find(id);
  return d ? d->suspends.load() : 0;
}

// Under mutex_. The formats are read once, when the device can first be opened. A
// card is reserved before it is opened, even for a look: a sound server holding it
// would make the open fail. One held by a program that does not let go is looked at
// again when it is taken.
bool AlsaHal::ensureProbed(Device& d) {
  if (d.probed) return true;
  if (d.probe_failed && !d.hogged) return false;
  bool reserved_here = false;
  if (!d.hogged && !d.setup.reservation.empty()) {
    std::string holder;
    if (!d.reservation.acquire(d.setup.reservation, &holder)) {
      logLine("ALSA: %s cannot be looked at: it is held by %s; it is asked for again when chosen.",
              d.setup.name.c_str(), holder.c_str());
      d.probe_failed = true;
      return false;
    }
    reserved_here = true;
  }
  PcmCapabilities caps;
  int r = d.port->probe(&caps);
  if (reserved_here) d.reservation.release();
  if (r < 0) {
    logLine("ALSA: %s cannot be looked at: %s; it is tried again when chosen.", d.setup.name.c_str(),
            snd_strerror(r));
    d.probe_failed = true;
    return false;
  }
  d.caps = caps;
  d.probed = true;
  d.formats.clear();
  for (const FormatRates& pair : caps.pairs) {
    bool dsd = isNativeDsd(pair.format);
    // One entry per width of native DSD: the BE layout is probed first and wins.
    bool duplicate = std::any_of(d.formats.begin(), d.formats.end(), [&](const auto& e) {
      return dsd && isNativeDsd(e.first) && bytesPerSample(e.first) == bytesPerSample(pair.format);
    });
    if (duplicate) continue;
    for (double rate : pair.rates) d.formats.emplace_back(pair.format, describe(pair.format, caps.channels, rate));
  }
  if (!d.formats.empty() && d.current.sample_rate == 0) {
    auto initial = std::find_if(d.formats.begin(), d.formats.end(),
                                [](const auto& e) { return e.second.sample_rate == 44100; });
    if (initial == d.formats.end()) initial = d.formats.begin();
    d.current = initial->second;
    d.current_format = initial->first;
  }
  if (caps.min_period <= caps.max_period) d.wanted_period = std::clamp(d.wanted_period, caps.min_period, caps.max_period);
  if (!d.configured) d.period = d.wanted_period;
  return true;
}

// Under mutex_. Remembers the format and period; an open PCM is only asked whether it
// takes the pair, and configured later, once, by ensureConfigured.
Status AlsaHal::apply(Device& d, const StreamDescription& format, uint32_t frames) {
  for (const auto& [alsa, desc] : d.formats) {
    if (!(desc == format)) continue;
    const auto rate = static_cast<uint32_t>(format.sample_rate);
    if (d.port->isOpen()) {
      if (int r = d.port->test(alsa, format.channels_per_frame, rate); r < 0) {
        logLine("ALSA: %s refuses %s at %.0f Hz: %s", d.setup.name.c_str(), alsaFormatName(alsa),
                format.sample_rate, snd_strerror(r));
        return kErrorUnsupportedFormat;
      }
    }
    if (!(d.current == format) || d.current_format != alsa || d.wanted_period != frames) d.configured = false;
    d.current = format;
    d.current_format = alsa;
    d.wanted_period = frames;
    if (!d.configured) d.period = frames;
    return kNoError;
  }
  return kErrorUnsupportedFormat;
}

// Under mutex_. Configures a taken PCM with what was asked, if it is not already.
bool AlsaHal::ensureConfigured(Device& d) {
  if (d.configured) return true;
  if (!d.port->isOpen() || d.formats.empty()) return false;
  PcmSetup setup;
  int r = d.port->configure(d.current_format, d.current.channels_per_frame,
                            static_cast<uint32_t>(d.current.sample_rate), d.wanted_period, &setup);
  if (r < 0) {
    // Some drivers refuse a pair only when configured: it is no longer offered, so
    // that the next choice falls on another.
    logLine("ALSA: %s refuses %s at %.0f Hz: %s; it is no longer offered.", d.setup.name.c_str(),
            alsaFormatName(d.current_format), d.current.sample_rate, snd_strerror(r));
    const StreamDescription refused = d.current;
    d.formats.erase(std::remove_if(d.formats.begin(), d.formats.end(),
                                   [&](const auto& e) { return e.second == refused; }),
                    d.formats.end());
    return false;
  }
  d.period = setup.period;
  d.buffer = setup.buffer;
  d.configured = true;
  return true;
}

// --- system, presence, identity ------------------------------------------------------

Status AlsaHal::deviceCount(uint32_t* count) {
  *count = static_cast<uint32_t>(this->count());
  return kNoError;
}

Status AlsaHal::devices(std::vector<DeviceId>* ids) {
  ids->clear();
  for (size_t i = 0, n = count(); i < n; ++i) ids->push_back(devices_[i]->id);
  return kNoError;
}

Status AlsaHal::defaultOutputDevice(DeviceId* id) {
  *id = count() == 0 ? 0 : 1;
  return kNoError;
}

Status AlsaHal::setDefaultOutputDevice(DeviceId id) { return find(id) ? kNoError : kErrorUnknownDevice; }

Status AlsaHal::isAlive(DeviceId id, uint32_t* alive) {
  Device* d = find(id);
  if (!d) return kErrorUnknownDevice;
  *alive = d->alive ? 1 : 0;
  return kNoError;
}

Status AlsaHal::addAliveListener(DeviceId id, AliveListener listener, void* client) {
  if (!find(id)) return kErrorUnknownDevice;
  alive_notifier_.add(id, listener, client);
  return kNoError;
}

Status AlsaHal::removeAliveListener(DeviceId id, AliveListener listener, void* client) {
  if (!find(id)) return kErrorUnknownDevice;
  return alive_notifier_.remove(id, listener, client) ? kNoError : kErrorIllegalOperation;
}

Status AlsaHal::addDeviceListListener(AliveListener listener, void* client) {
  alive_notifier_.add(0, listener, client);
  return kNoError;
}

Status AlsaHal::removeDeviceListListener(AliveListener listener, void* client) {
  return alive_notifier_.remove(0, listener, client) ? kNoError : kErrorIllegalOperation;
}

void AlsaHal::setAlive(Device& d, bool alive) {
  if (d.alive.exchange(alive) != alive) alive_notifier_.notify(d.id);
}

Status AlsaHal::name(DeviceId id, std::string* out) {
  Device* d = find(id);
  if (!d) return kErrorUnknownDevice;
  *out = d->setup.name;
  return kNoError;
}

Status AlsaHal::modelUid(DeviceId id, std::string* out) {
  Device* d = find(id);
  if (!d) return kErrorUnknownDevice;
  *out = d->setup.vid >= 0 ? "usb:" + std::to_string(d->setup.vid) + ":" + std::to_string(d->setup.pid)
                          : d->setup.pcm_name;
  return kNoError;
}

Status AlsaHal::deviceUid(DeviceId id, std::string* out) {
  Device* d = find(id);
  if (!d) return kErrorUnknownDevice;
  *out = d->setup.uid;
  return kNoError;
}

// --- streams and formats -----------------------------------------------------------

Status AlsaHal::streamConfiguration(DeviceId id, Scope scope, std::vector<uint32_t>* channels) {
  std::lock_guard lock(mutex_);
  Device* d = find(id);
  if (!d) return kErrorUnknownDevice;
  channels->clear();
  if (scope != Scope::Input) channels->push_back(d->probed ? d->caps.channels : 2);
  return kNoError;
}

Status AlsaHal::streams(DeviceId id, Scope scope, std::vector<StreamId>* out) {
  std::lock_guard lock(mutex_);
  Device* d = find(id);
  if (!d) return kErrorUnknownDevice;
  out->clear();
  // A device that could not be looked at yet (held by another program) still has its
  // stream: taking it asks for it again, and says who holds it.
  if (scope != Scope::Input && (!ensureProbed(*d) || !d->formats.empty())) out->push_back(kStreamIdBase + d->id);
  return kNoError;
}

Status AlsaHal::availablePhysicalFormats(StreamId stream, std::vector<RangedDescription>* out) {
  std::lock_guard lock(mutex_);
  Device* d = findStream(stream);
  if (!d) return kErrorUnknownDevice;
  out->clear();
  for (const auto& [alsa, desc] : d->formats) out->push_back({desc, {desc.sample_rate, desc.sample_rate}});
  return kNoError;
}

Status AlsaHal::physicalFormat(StreamId stream, StreamDescription* out) {
  std::lock_guard lock(mutex_);
  Device* d = findStream(stream);
  if (!d) return kErrorUnknownDevice;
  *out = d->current;
  return kNoError;
}

Status AlsaHal::setPhysicalFormat(StreamId stream, const StreamDescription& format) {
  std::lock_guard lock(mutex_);
  Device* d = findStream(stream);
  if (!d) return kErrorUnknownDevice;
  return apply(*d, format, d->wanted_period);
}

// --- clock and buffers ---------------------------------------------------------------

Status AlsaHal::nominalSampleRate(DeviceId id, double* rate) {
  std::lock_guard lock(mutex_);
  Device* d = find(id);
  if (!d) return kErrorUnknownDevice;
  *rate = d->current.sample_rate;
  return kNoError;
}

Status AlsaHal::setNominalSampleRate(DeviceId id, double rate) {
  std::lock_guard lock(mutex_);
  Device* d = find(id);
  if (!d) return kErrorUnknownDevice;
  StreamDescription wanted = d->current;
  wanted.sample_rate = rate;
  return apply(*d, wanted, d->wanted_period);
}

Status AlsaHal::availableNominalSampleRates(DeviceId id, Scope, std::vector<ValueRange>* out) {
  std::lock_guard lock(mutex_);
  Device* d = find(id);
  if (!d) return kErrorUnknownDevice;
  out->clear();
  std::vector<double> rates;
  for (const FormatRates& pair : d->caps.pairs) rates.insert(rates.end(), pair.rates.begin(), pair.rates.end());
  std::sort(rates.begin(), rates.end());
  rates.erase(std::unique(rates.begin(), rates.end()), rates.end());
  for (double r : rates) out->push_back({r, r});
  return kNoError;
}

Status AlsaHal::bufferSize(DeviceId id, uint32_t* bytes) {
  std::lock_guard lock(mutex_);
  Device* d = find(id);
  if (!d) return kErrorUnknownDevice;
  if (d->hogged && !ensureConfigured(*d)) return kErrorUnsupportedFormat;
  *bytes = d->period * std::max(d->current.channels_per_frame, 1u) * 4;
  return kNoError;
}

Status AlsaHal::isBufferSizeSettable(DeviceId id, bool* settable) {
  if (!find(id)) return kErrorUnknownDevice;
  *settable = true;
  return kNoError;
}

Status AlsaHal::setBufferSize(DeviceId id, uint32_t bytes) {
  Device* d = find(id);
  if (!d) return kErrorUnknownDevice;
  return setBufferFrameSize(id, bytes / (std::max(d->current.channels_per_frame, 1u) * 4));
}

Status AlsaHal::bufferFrameSize(DeviceId id, uint32_t* frames) {
  std::lock_guard lock(mutex_);
  Device* d = find(id);
  if (!d) return kErrorUnknownDevice;
  // What the driver chose: it rounds periods to its own steps.
  if (d->hogged && !ensureConfigured(*d)) return kErrorUnsupportedFormat;
  *frames = d->period;
  return kNoError;
}

Status AlsaHal::setBufferFrameSize(DeviceId id, uint32_t frames) {
  std::lock_guard lock(mutex_);
  Device* d = find(id);
  if (!d) return kErrorUnknownDevice;
  if (d->probed && (frames < d->caps.min_period || frames > d->caps.max_period)) return kErrorBadValue;
  if (d->running) return kErrorIllegalOperation;
  if (d->formats.empty()) {
    d->wanted_period = frames;
    return kNoError;
  }
  return apply(*d, d->current, frames);
}

Status AlsaHal::bufferFrameSizeRange(DeviceId id, ValueRange* range) {
  std::lock_guard lock(mutex_);
  Device* d = find(id);
  if (!d) return kErrorUnknownDevice;
  *range = {static_cast<double>(d->caps.min_period), static_cast<double>(d->caps.max_period)};
  return kNoError;
}

// --- exclusive access ------------------------------------------------------------------

Status AlsaHal::hogMode(DeviceId id, pid_t* holder) {
  std::lock_guard lock(mutex_);
  Device* d = find(id);
  if (!d) return kErrorUnknownDevice;
  *holder = d->hogged ? ::getpid() : -1;
  return kNoError;
}

Status AlsaHal::setHogMode(DeviceId id, pid_t holder) {
  std::lock_guard lock(mutex_);
  Device* d = find(id);
  if (!d) return kErrorUnknownDevice;
  if (holder == -1) {
    d->mixer.close();
    d->port->close();
    d->reservation.release();  // after the close: a program waiting for it may open it now
    d->hogged = false;
    d->configured = false;
    return kNoError;
  }
  if (d->hogged) return kNoError;
  std::string other;
  if (!d->setup.reservation.empty() && !d->reservation.acquire(d->setup.reservation, &other)) {
    logLine("ALSA: %s cannot be taken: it is held by %s, which did not let go of it.", d->setup.name.c_str(),
            other.c_str());
    return kErrorDeviceBusy;
  }
  int r = d->port->open();
  if (r < 0) {
    d->reservation.release();
    std::string who = r == -EBUSY && d->setup.card >= 0 ? holderOf(d->setup.card, d->setup.device) : "";
    logLine("ALSA: %s cannot be taken: %s%s%s", d->setup.name.c_str(), snd_strerror(r),
            who.empty() ? "" : "; it is held by ", who.c_str());
    return r == -EBUSY ? kErrorDeviceBusy : kErrorUnknownDevice;
  }
  d->hogged = true;
  d->configured = false;
  d->probe_failed = false;
  watcher_wait_.wake();  // to listen on the reservation's bus from now on
  d->mixer.open(d->setup.card);
  // A device first seen while another program held it is looked at now. The PCM
  // is configured when the track's format is known, not here.
  ensureProbed(*d);
  return kNoError;
}

// --- mute: the card's playback switch --------------------------------------------------

Status AlsaHal::mute(DeviceId id, uint32_t* muted) {
  Device* d = find(id);
  if (!d) return kErrorUnknownDevice;
  bool m = false;
  if (d->mixer.isOpen()) {
    m = d->mixer.muted();
  } else if (!AlsaMixerSwitch::readMuted(d->setup.card, &m)) {
    return kErrorUnknownProperty;
  }
  *muted = m ? 1 : 0;
  return kNoError;
}

// Called from the real-time thread around starts and stops: only flips the switch
// of the mixer opened when the device was taken.
Status AlsaHal::setMute(DeviceId id, uint32_t muted) {
  Device* d = find(id);
  if (!d) return kErrorUnknownDevice;
  if (!d->mixer.isOpen()) return kErrorUnknownProperty;
  d->mixer.setMuted(muted != 0);
  return kNoError;
}

// --- IO ----------------------------------------------------------------------------------

Status AlsaHal::createIoProc(DeviceId id, IoProc proc, void* client, IoProcId* out) {
  std::lock_guard lock(mutex_);
  Device* d = find(id);
  if (!d) return kErrorUnknownDevice;
  if (d->proc || !proc) return kErrorIllegalOperation;
  d->proc = proc;
  d->client = client;
  *out = id;
  return kNoError;
}

Status AlsaHal::startIoProc(DeviceId id, IoProcId proc) {
  Device* d = find(id);
  if (!d) return kErrorUnknownDevice;
  {
    std::lock_guard lock(mutex_);
    if (!d->proc || proc != id || !d->hogged) return kErrorIllegalOperation;
    if (!d->alive) return kErrorUnknownDevice;
    if (d->running) return kNoError;
    if (!ensureConfigured(*d)) return kErrorUnsupportedFormat;
  }
  if (d->thread.joinable()) d->thread.join();
  d->running = true;
  d->thread = std::thread([this, d] { ioLoop(d); });
  // Asked and told here, not on the real-time thread.
  if (int r = takeRealtimePriority(d->thread.native_handle()); r != 0 && r != ESRCH) {
    logLineOnce("ALSA: no real-time priority for %s (%s); playing at normal priority.", d->setup.name.c_str(),
                std::strerror(r));
  }
  return kNoError;
}

Status AlsaHal::stopIoProc(DeviceId id, IoProcId proc) {
  Device* d = find(id);
  if (!d) return kErrorUnknownDevice;
  if (proc != id) return kErrorIllegalOperation;
  if (!d->running.exchange(false)) return kNoError;
  const bool on_io_thread = d->thread.get_id() == std::this_thread::get_id();
  if (d->thread.joinable() && !on_io_thread) d->thread.join();
  std::lock_guard lock(mutex_);
  if (!d->port->isOpen()) return kNoError;
  // The buffer is a quarter second deep: after the end of a stream it still holds
  // the stream's last frames, which are played, not cut off. A stop in mid-stream
  // (pause, stop, skip) is immediate.
  if (d->stream_ended.load() && d->configured && !on_io_thread && d->current.sample_rate > 0) {
    d->port->drain(d->buffer / d->current.sample_rate + 0.1);
  } else {
    d->port->drop();
  }
  return kNoError;
}

Status AlsaHal::destroyIoProc(DeviceId id, IoProcId proc) {
  Device* d = find(id);
  if (!d) return kErrorUnknownDevice;
  stopIoProc(id, proc);
  std::lock_guard lock(mutex_);
  d->proc = nullptr;
  d->client = nullptr;
  return kNoError;
}

void AlsaHal::ioLoop(Device* d) {
  sonara::platform::nameThisThread("sonara-io");
  StreamDescription format;
  AlsaSampleFormat alsa;
  uint32_t frames;
  bool paced;
  {
    std::lock_guard lock(mutex_);
    format = d->current;
    alsa = d->current_format;
    frames = d->period;
    // Only a PCM without a clock of its own (null, file) is paced here: pacing a
    // card's PCM on top of its clock would starve it.
    paced = !d->port->hasOwnClock();
  }
  const uint32_t channels = std::max(format.channels_per_frame, 1u);
  const uint32_t frame_bytes = channels * bytesPerSample(alsa);
  // Everything this loop needs is allocated before the first cycle.
  std::vector<float> io(size_t{frames} * channels);
  std::vector<uint8_t> out(size_t{frames} * frame_bytes);
  double sample_time = 0;
  const double rate = format.sample_rate > 0 ? format.sample_rate : 44100.0;
  const double period_seconds = frames / rate;
  auto deadline = std::chrono::steady_clock::now();
  int failures = 0;  // write errors in a row
  while (d->running.load()) {
    std::memset(io.data(), 0, io.size() * sizeof(float));
    IoBuffer buffer{channels, static_cast<uint32_t>(io.size() * sizeof(float)), io.data()};
    auto now_ns = static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                            std::chrono::steady_clock::now().time_since_epoch())
                                            .count());
    TimeStamp now{sample_time, now_ns};
    TimeStamp output_time{sample_time + frames, now_ns};
    if (d->proc) d->proc(d->id, now, buffer, output_time, d->client);
    // A period the engine filled only in part ends its stream; one it left empty
    // says nothing (it is also what a stop in mid-stream sends), so the last word
    // stands.
    if (buffer.byte_size > 0) {
      d->stream_ended.store(buffer.byte_size < io.size() * sizeof(float), std::memory_order_relaxed);
    }
    // The whole period goes out: frames the engine left unfilled hold its silence.
    convertPeriod(alsa, io.data(), io.size(), out.data());
    if (int error = writePeriod(*d, out.data(), frames, frame_bytes, period_seconds, failures); error != 0) {
      failIo(*d, error);  // the device went away, or keeps failing
      break;
    }
    sample_time += frames;
    if (paced) {
      deadline += std::chrono::duration_cast<std::chrono::steady_clock::duration>(
          std::chrono::duration<double>(period_seconds));
      std::this_thread::sleep_until(deadline);
    }
  }
  d->running = false;
}

// On the IO thread: writes one period whole, through underruns and suspends. After
// an underrun (EPIPE) or a system suspend (ESTRPIPE) the PCM is prepared or resumed
// and the rest of the period is written again, so nothing the engine gave is lost.
// Other errors are retried a period apart so the thread never spins. Returns 0, or
// the errno after which the device is given up: it is gone (ENODEV, EBADFD), or it
// failed `kWriteFailureLimit` times in a row.
int AlsaHal::writePeriod(Device& d, const uint8_t* data, uint32_t frames, uint32_t frame_bytes, double seconds,
                         int& failures) {
  uint32_t done = 0;
  while (done < frames && d.running.load()) {
    long n = d.port->write(data + size_t{done} * frame_bytes, frames - done);
    if (n >= 0) {
      done += static_cast<uint32_t>(n);
      failures = 0;
      continue;
    }
    const int error = static_cast<int>(-n);
    if (error == ENODEV || error == EBADFD) return error;
    if (error == EPIPE) {
      d.underruns.fetch_add(1);
    } else if (error == ESTRPIPE) {
      d.suspends.fetch_add(1);
    } else {
      d.write_errors.fetch_add(1);
      d.last_write_error = error;
    }
    watcher_wait_.wake();  // the watcher says so in the log
    if (++failures >= kWriteFailureLimit) return error;
    const bool recovered = d.port->recover(-error) == 0;
    if (!recovered || (error != EPIPE && error != ESTRPIPE)) {
      std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    }
  }
  return 0;
}

// On the real-time thread: the device can no longer be written. The watcher tells
// the listeners (which may allocate) as soon as it wakes.
void AlsaHal::failIo(Device& d, int error) {
  d.io_failure.store(error);
  watcher_wait_.wake();
}

// Under no lock, on the watcher thread: whether the card is present, found by its
// identity (its index may change when it is plugged in again).
void AlsaHal::watchCard(Device& d) {
  if (d.setup.card_id.empty()) return;
  char target[64] = {};
  const std::string link = "/proc/asound/" + d.setup.card_id;
  ssize_t n = ::readlink(link.c_str(), target, sizeof target - 1);
  int card = -1;
  if (n > 4 && std::strncmp(target, "card", 4) == 0) card = std::atoi(target + 4);
  if (card >= 0 && card != d.setup.card) {
    std::lock_guard lock(mutex_);
    d.setup.card = card;
    d.setup.reservation = "Audio" + std::to_string(card);
  }
}

// Watches cards come and go, answers other programs that ask for a card we hold, and
// tells of underruns, suspends and write errors off the real-time thread.
void AlsaHal::watch() {
  sonara::platform::nameThisThread("sonara-hotplug");
  using Clock = std::chrono::steady_clock;
  // Without a watch on the card folder, cards are looked for about once a second.
  // With one, they are looked for when the folder changes, and once more a second
  // later: the kernel lists a new card's nodes and its name at slightly different
  // times.
  const auto kLookAgain = std::chrono::seconds(1);
  auto next_look = watcher_wait_.watchesFolder() ? Clock::time_point::max() : Clock::now() + kLookAgain;
  bool folder_changed = false;
  std::vector<int> bus_fds;
  bus_fds.reserve(kMaxDevices);
  while (!stopping_.load()) {
    if (rescan_ && (folder_changed || Clock::now() >= next_look)) {
      next_look = folder_changed || !watcher_wait_.watchesFolder() ? Clock::now() + kLookAgain
                                                                   : Clock::time_point::max();
      const size_t before = count();
      addDevices(rescan_());
      for (size_t i = before; i < count(); ++i) {
        logLine("ALSA: %s was plugged in.", devices_[i]->setup.name.c_str());
      }
      if (count() != before) alive_notifier_.notify(0);
    }
    for (size_t i = 0, n = count(); i < n; ++i) {
      auto& d = devices_[i];
      bool present = true;
      if (!d->setup.card_id.empty()) {
        present = ::access(("/proc/asound/" + d->setup.card_id).c_str(), F_OK) == 0;
        if (present) watchCard(*d);
      }
      if (!present) d->failed = false;  // a card that returns is tried afresh
      if (int error = d->io_failure.exchange(0); error != 0 && present) {
        logLine("ALSA: %s stopped taking audio (%s); it is treated as gone.", d->setup.name.c_str(),
                std::strerror(error));
        d->failed = true;
      }
      d->reservation.serve();
      if (d->reservation.wanted() && !d->handed_over) {
        logLine("ALSA: another program asked for %s; it is given up.", d->setup.name.c_str());
        d->handed_over = true;
        d->hand_over_checks = 0;
      } else if (d->handed_over && !d->reservation.held() && ++d->hand_over_checks % 4 == 0 &&
                 !DeviceReservation::heldByAnother(d->setup.reservation)) {
        d->handed_over = false;  // the other program gave it back
      }
      setAlive(*d, present && !d->failed && !d->handed_over);
      uint64_t now = d->underruns.load();
      if (now > d->underruns_reported) {
        logLine("ALSA: %s ran out of samples (underrun %llu); recovered.", d->setup.name.c_str(),
                static_cast<unsigned long long>(now));
        d->underruns_reported = now;
      }
      uint64_t suspends = d->suspends.load();
      if (suspends > d->suspends_reported) {
        logLine("ALSA: %s was suspended with the system; playing on.", d->setup.name.c_str());
        d->suspends_reported = suspends;
      }
      uint64_t errors = d->write_errors.load();
      if (errors > d->write_errors_reported) {
        logLine("ALSA: writing to %s failed (%s, %llu so far).", d->setup.name.c_str(),
                std::strerror(d->last_write_error.load()), static_cast<unsigned long long>(errors));
        d->write_errors_reported = errors;
      }
    }
    folder_changed = watcher_wait_.wait(bus_fds, nextWait(next_look, bus_fds));
  }
}

// The watcher's longest sleep, and the session buses to wake it: with nothing to look
// at again it sleeps until a card, a device or a bus calls; a device handed over to
// another program is checked every quarter second for its return.
std::chrono::milliseconds AlsaHal::nextWait(std::chrono::steady_clock::time_point next_look,
                                            std::vector<int>& bus_fds) {
  using namespace std::chrono;
  bus_fds.clear();
  auto wait = milliseconds(kWatcherRestMs);
  for (size_t i = 0, n = count(); i < n; ++i) {
    auto& d = devices_[i];
    if (d->handed_over) wait = std::min(wait, milliseconds(250));
    if (int fd = d->reservation.busFd(); fd >= 0) bus_fds.push_back(fd);
  }
  if (next_look != steady_clock::time_point::max()) {
    const auto until_look = duration_cast<milliseconds>(next_look - steady_clock::now()) + milliseconds(1);
    wait = std::clamp(until_look, milliseconds(0), wait);
  }
  return wait;
}

// --- registry and USB --------------------------------------------------------------------

bool AlsaHal::usbIds(const std::string& device_uid, int32_t* vid, int32_t* pid) {
  Device* d = findUid(device_uid);
  if (!d || d->setup.vid < 0) return false;
  *vid = d->setup.vid;
  *pid = d->setup.pid;
  return true;
}

std::unique_ptr<UsbInterface> AlsaHal::openUsbInterface(const std::string& device_uid, Status* status) {
  Device* d = findUid(device_uid);
  if (!d || d->setup.vid < 0) {
    if (status) *status = kErrorUnknownDevice;
    return nullptr;
  }
  if (status) *status = kNoError;
  return std::make_unique<KernelHandledUsbInterface>();
}

}  // namespace sonara::audio
