// The audio hardware abstraction the output code is written against: devices,
// their streams and physical formats, nominal rate, buffer sizes, exclusive access
// ("hog mode"), mute, presence, IO procedures, and the registry and USB facts of a
// device. Two backends implement it: VirtualHal (devices described in a file, for
// tests and machines without sound hardware) and AlsaHal (real cards).
//
// Every operation returns a status: 0 for success, a non-zero code otherwise.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace sonara::audio {

using Status = int32_t;
using DeviceId = uint32_t;
using StreamId = uint32_t;
using IoProcId = uint32_t;

inline constexpr Status kNoError = 0;
inline constexpr Status kErrorUnknownDevice = 0x21646576;    // '!dev'
inline constexpr Status kErrorUnknownProperty = 0x77686F3F;  // 'who?'
inline constexpr Status kErrorIllegalOperation = 0x6E6F7065; // 'nope'
inline constexpr Status kErrorUnsupportedFormat = 0x21646174; // '!dat'
inline constexpr Status kErrorDeviceBusy = 0x21686F67;       // '!hog'
inline constexpr Status kErrorNotRunning = 0x73746F70;       // 'stop'
inline constexpr Status kErrorBadValue = 0x21766C75;         // '!vlu'

enum class Scope { Global, Output, Input };

// Format IDs and flags of a stream description.
inline constexpr uint32_t kFormatLinearPCM = 0x6C70636D;  // 'lpcm'
inline constexpr uint32_t kFormatFlagIsFloat = 0x1;
inline constexpr uint32_t kFormatFlagIsBigEndian = 0x2;
inline constexpr uint32_t kFormatFlagIsSignedInteger = 0x4;
inline constexpr uint32_t kFormatFlagIsPacked = 0x8;
inline constexpr uint32_t kFormatFlagIsNonMixable = 0x40;
// The format carries native DSD words rather than PCM (ALSA's DSD_U16/DSD_U32): only
// the native-DSD packers may choose it.
inline constexpr uint32_t kFormatFlagCarriesNativeDSD = 0x40000000;

// A physical format: 40 bytes.
struct StreamDescription {
  double sample_rate = 0;
  uint32_t format_id = 0;
  uint32_t format_flags = 0;
  uint32_t bytes_per_packet = 0;
  uint32_t frames_per_packet = 0;
  uint32_t bytes_per_frame = 0;
  uint32_t channels_per_frame = 0;
  uint32_t bits_per_channel = 0;
  uint32_t reserved = 0;

  friend bool operator==(const StreamDescription&, const StreamDescription&) = default;
};
static_assert(sizeof(StreamDescription) == 40);

struct ValueRange {
  double minimum = 0;
  double maximum = 0;
};

// A physical format with the rates it takes (both equal for one exact rate): 56 bytes.
struct RangedDescription {
  StreamDescription format;
  ValueRange rate_range;
};
static_assert(sizeof(RangedDescription) == 56);

struct TimeStamp {
  double sample_time = 0;  // frames since the device started
  uint64_t host_time = 0;  // monotonic ns
};

// One IO cycle's output buffer: interleaved 32-bit samples, floats for mixable
// formats and the device's raw words for non-mixable ones. The procedure may lower
// byte_size to report frames it left unfilled.
struct IoBuffer {
  uint32_t channels = 0;
  uint32_t byte_size = 0;
  void* data = nullptr;
};

using IoProc = Status (*)(DeviceId device, const TimeStamp& now, IoBuffer& output,
                          const TimeStamp& output_time, void* client);
// Called on a notification thread when a device's presence changes.
using AliveListener = void (*)(DeviceId device, void* client);

// A status as the log lines print it ("0x%08lX").
inline unsigned long statusHex(Status s) { return static_cast<unsigned long>(static_cast<uint32_t>(s)); }

// A device's USB audio streaming interface.
class UsbInterface {
 public:
  virtual ~UsbInterface() = default;
  virtual Status interfaceNumber(uint8_t* number) = 0;
  // A control request on the default pipe. For requests that read, `data` receives
  // `length` bytes.
  virtual Status controlRequest(uint8_t request_type, uint8_t request, uint16_t value,
                                uint16_t index, uint16_t length, void* data) = 0;
};

class AudioHal {
 public:
  virtual ~AudioHal() = default;

  // System.
  virtual Status deviceCount(uint32_t* count) = 0;
  virtual Status devices(std::vector<DeviceId>* ids) = 0;  // stable order
  virtual Status defaultOutputDevice(DeviceId* id) = 0;
  virtual Status setDefaultOutputDevice(DeviceId id) = 0;

  // Presence.
  virtual Status isAlive(DeviceId id, uint32_t* alive) = 0;
  virtual Status addAliveListener(DeviceId id, AliveListener listener, void* client) = 0;
  virtual Status removeAliveListener(DeviceId id, AliveListener listener, void* client) = 0;
  // Devices added while the program runs (a card plugged in) are told to these, with
  // device 0, on the notification thread. A HAL whose list never changes never calls them.
  virtual Status addDeviceListListener(AliveListener, void*) { return kNoError; }
  virtual Status removeDeviceListListener(AliveListener, void*) { return kNoError; }

  // Identity.
  virtual Status name(DeviceId id, std::string* out) = 0;
  virtual Status modelUid(DeviceId id, std::string* out) = 0;
  virtual Status deviceUid(DeviceId id, std::string* out) = 0;

  // Streams and formats.
  virtual Status streamConfiguration(DeviceId id, Scope scope, std::vector<uint32_t>* channels) = 0;
  virtual Status streams(DeviceId id, Scope scope, std::vector<StreamId>* out) = 0;
  virtual Status availablePhysicalFormats(StreamId stream, std::vector<RangedDescription>* out) = 0;
  virtual Status physicalFormat(StreamId stream, StreamDescription* out) = 0;
  virtual Status setPhysicalFormat(StreamId stream, const StreamDescription& format) = 0;

  // Clock and buffers.
  virtual Status nominalSampleRate(DeviceId id, double* rate) = 0;
  virtual Status setNominalSampleRate(DeviceId id, double rate) = 0;
  virtual Status availableNominalSampleRates(DeviceId id, Scope scope,
                                             std::vector<ValueRange>* out) = 0;
  virtual Status bufferSize(DeviceId id, uint32_t* bytes) = 0;
  virtual Status isBufferSizeSettable(DeviceId id, bool* settable) = 0;
  virtual Status setBufferSize(DeviceId id, uint32_t bytes) = 0;
  virtual Status bufferFrameSize(DeviceId id, uint32_t* frames) = 0;
  virtual Status setBufferFrameSize(DeviceId id, uint32_t frames) = 0;
  virtual Status bufferFrameSizeRange(DeviceId id, ValueRange* range) = 0;

  // Exclusive access: the process ID takes the device, -1 gives it back. A refused
  // take means another process holds it.
  virtual Status hogMode(DeviceId id, pid_t* holder) = 0;
  virtual Status setHogMode(DeviceId id, pid_t holder) = 0;

  virtual Status mute(DeviceId id, uint32_t* muted) = 0;
  virtual Status setMute(DeviceId id, uint32_t muted) = 0;

  // IO procedures: called once per cycle on the device's real-time thread.
  virtual Status createIoProc(DeviceId id, IoProc proc, void* client, IoProcId* out) = 0;
  virtual Status startIoProc(DeviceId id, IoProcId proc) = 0;
  virtual Status stopIoProc(DeviceId id, IoProcId proc) = 0;
  virtual Status destroyIoProc(DeviceId id, IoProcId proc) = 0;

  // Registry facts, by device UID: USB vendor and product IDs (false when the
  // device has none) and whether its driver is the system's own.
  virtual bool usbIds(const std::string& device_uid, int32_t* vid, int32_t* pid) = 0;
  virtual bool isSystemDriver(const std::string& device_uid) = 0;
  // The device's USB streaming interface, or null (with the reason in `status`).
  virtual std::unique_ptr<UsbInterface> openUsbInterface(const std::string& device_uid,
                                                         Status* status) = 0;
};

// The HAL of this process: the virtual one when $SONARA_VIRTUAL_DEVICES names a
// device file, else ALSA, with the built-in capture device where no card exists.
AudioHal& systemHal();
// Replaces the process's HAL (tests); null restores the choice above on next use.
void installHal(std::shared_ptr<AudioHal> hal);

}  // namespace sonara::audio
