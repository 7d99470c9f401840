#include "engine/output/audio_device.h"

#include <algorithm>

#include "engine/output/device_table.h"
#include "platform/log.h"
#include "platform/named_exception.h"

using namespace sonara::audio;
using sonara::platform::logLine;
using sonara::raiseError;

bool AudioDevice::isInput(AudioHal& hal, DeviceId id) { return countChannnels(hal, id, true) > 0; }

std::optional<std::string> AudioDevice::getName(AudioHal& hal, DeviceId id) {
  if (id == 0) raiseError("Unknown Device.");
  std::string out;
  if (Status s = hal.name(id, &out); s != kNoError) {
    raiseError("a device property cannot be read (0x%08lX)", statusHex(s));
  }
  return out;
}

std::optional<std::string> AudioDevice::getModelUID(AudioHal& hal, DeviceId id) {
  if (id == 0) raiseError("Unknown Device.");
  std::string out;
  if (Status s = hal.modelUid(id, &out); s != kNoError) {
    logLine("a device property cannot be read (0x%08lX)", statusHex(s));
    return std::nullopt;
  }
  return out;
}

std::optional<std::string> AudioDevice::getDeviceUID(AudioHal& hal, DeviceId id) {
  if (id == 0) raiseError("Unknown Device.");
  std::string out;
  if (Status s = hal.deviceUid(id, &out); s != kNoError) {
    logLine("a device property cannot be read (0x%08lX)", statusHex(s));
    return std::nullopt;
  }
  return out;
}

uint32_t AudioDevice::countChannnels(AudioHal& hal, DeviceId id, bool input) {
  if (id == 0) raiseError("Unknown Device.");
  std::vector<uint32_t> buffers;
  if (Status s = hal.streamConfiguration(id, input ? Scope::Input : Scope::Output, &buffers);
      s != kNoError) {
    raiseError("a device property cannot be read (0x%08lX)", statusHex(s));
  }
  uint32_t total = 0;
  for (uint32_t channels : buffers) total += channels;
  return total;
}

bool AudioDevice::getIntegerMode(AudioHal& hal, DeviceId id) {
  std::vector<StreamId> streams;
  if (Status s = hal.streams(id, Scope::Output, &streams); s != kNoError) {
    logLine("the device's streams cannot be read (0x%lX)", statusHex(s));
    return false;
  }
  if (streams.empty()) return false;
  std::vector<RangedDescription> formats;
  if (Status s = hal.availablePhysicalFormats(streams[0], &formats); s != kNoError) {
    logLine("the device's hardware formats cannot be read (0x%lX)",
            statusHex(s));
    return false;
  }
  for (const auto& f : formats) {
    const uint32_t flags = f.format.format_flags;
    if (f.format.format_id == kFormatLinearPCM && (flags & kFormatFlagIsSignedInteger) &&
        (flags & kFormatFlagIsNonMixable)) {
      return true;
    }
  }
  return false;
}

bool AudioDevice::offersNativeDsd16(AudioHal& hal, DeviceId id) {
  std::vector<StreamId> streams;
  std::vector<RangedDescription> formats;
  if (hal.streams(id, Scope::Output, &streams) != kNoError || streams.empty() ||
      hal.availablePhysicalFormats(streams[0], &formats) != kNoError) {
    return false;
  }
  return std::any_of(formats.begin(), formats.end(), [](const RangedDescription& f) {
    return (f.format.format_flags & kFormatFlagCarriesNativeDSD) && f.format.bits_per_channel == 16;
  });
}

bool AudioDevice::getVendorDriver(AudioHal& hal, const std::string& device_uid) {
  return !hal.isSystemDriver(device_uid);
}

void AudioDevice::getVidPid(AudioHal& hal, const std::string& device_uid, int32_t* vid, int32_t* pid) {
  *vid = -1;
  *pid = -1;
  int32_t v, p;
  if (hal.usbIds(device_uid, &v, &p)) {
    *vid = v;
    *pid = p;
  }
}

std::shared_ptr<AudioDevice> AudioDevice::deviceWithID(AudioHal& hal, DeviceId id) {
  auto d = std::make_shared<AudioDevice>();
  d->device_id = id;
  d->hasInputChannels = isInput(hal, id);
  auto name = getName(hal, id);
  auto model = getModelUID(hal, id);
  auto uid = getDeviceUID(hal, id);
  if (!name || !model || !uid) return nullptr;
  d->name = *name;
  d->modelUID = *model;
  d->deviceUID = *uid;
  d->hasOutputChannels = countChannnels(hal, id, false) >= 1;
  d->hasIntegerMode = getIntegerMode(hal, id);
  d->isVendorDriver = getVendorDriver(hal, d->deviceUID);

  int32_t vid, pid;
  getVidPid(hal, d->deviceUID, &vid, &pid);
  d->deviceInfoRow = matchDeviceRow(vid, pid);
  d->deviceInfo = device_info[d->deviceInfoRow];
  d->deviceInfo.vid = vid;
  d->deviceInfo.pid = pid;
  // Native DSD follows what the device offers, not its row: words sent to a plain
  // PCM format would play as full-scale noise, and DSD DACs that match no row could
  // not play native DSD at all.
  uint32_t& caps = d->deviceInfo.outputCapabilities;
  caps &= ~(kDeviceDSD32 | kDeviceDSD16);
  if (d->hasIntegerMode) caps |= kDeviceDSD32;
  if (offersNativeDsd16(hal, id)) caps |= kDeviceDSD16;
  if (d->isVendorDriver) d->deviceInfo.outputCapabilities |= kDeviceVendorDriver;
  return d;
}
