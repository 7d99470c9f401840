#include "cli/device_summary.h"

#include <unistd.h>

#include <cmath>
#include <vector>

#include "cli/play_display.h"
#include "engine/output/audio_device.h"
#include "platform/audio/capture_lock.h"

namespace pelmora::cli {

using namespace sonara::audio;

DeviceAbilities abilitiesOf(AudioHal& hal, const AudioDevice& device) {
  DeviceAbilities a;
  const uint32_t caps = device.deviceInfo.outputCapabilities;
  std::vector<StreamId> streams;
  if (hal.streams(device.device_id, Scope::Output, &streams) == kNoError && !streams.empty()) {
    std::vector<RangedDescription> formats;
    if (hal.availablePhysicalFormats(streams.front(), &formats) == kNoError) {
      for (const auto& f : formats) {
        const bool dsd = f.format.format_flags & kFormatFlagCarriesNativeDSD;
        const double top = f.rate_range.maximum;
        if (dsd) {
          if (!(caps & (kDeviceDSD32 | kDeviceDSD16))) continue;
          // DSD64 is 64 x 44.1 kHz, or 64 x 48 kHz in the 48 kHz family.
          const double dsd_rate = top * f.format.bits_per_channel;
          int multiple = static_cast<int>(
              std::lround(dsd_rate / (std::fmod(dsd_rate, 44100.0) == 0 ? 44100.0 : 48000.0)));
          if (multiple > a.native_dsd) {
            a.native_dsd = multiple;
            a.native_format = f.format.bits_per_channel == 32 ? "DSD_U32_BE" : "DSD_U16_BE";
          }
          continue;
        }
        if (top > a.pcm_rate || (top == a.pcm_rate && f.format.bits_per_channel > a.pcm_bits)) {
          a.pcm_rate = top;
          a.pcm_bits = f.format.bits_per_channel;
        }
        // DoP needs 24 bits per sample at 176.4 kHz (DSD64) or a multiple of it.
        if ((caps & kDeviceDoP) && f.format.bits_per_channel >= 24) {
          for (double rate : {1411200.0, 705600.0, 352800.0, 176400.0}) {
            if (rate < f.rate_range.minimum || rate > top) continue;
            if (isRateExcluded(device.deviceInfo.notSupport_DoP, rate)) continue;
            int multiple = static_cast<int>(rate * 16 / 44100);
            if (multiple > a.dop_dsd) a.dop_dsd = multiple;
            break;
          }
        }
      }
    }
  }
  pid_t holder = -1;
  if (hal.hogMode(device.device_id, &holder) == kNoError && holder > 0 && holder != ::getpid()) {
    a.in_use_by = describeProcess(holder);
  }
  return a;
}

std::string describeAbilities(const DeviceAbilities& a) {
  std::string text;
  auto add = [&](const std::string& part) { text += (text.empty() ? "" : "; ") + part; };
  if (a.pcm_rate > 0) add("PCM up to " + formatRate(a.pcm_rate) + " " + std::to_string(a.pcm_bits) + "-bit");
  if (a.dop_dsd > 0) add("DoP up to DSD" + std::to_string(a.dop_dsd));
  if (a.native_dsd > 0) add("native DSD up to DSD" + std::to_string(a.native_dsd) + " (" + a.native_format + ")");
  if (a.pcm_rate <= 0 && a.dop_dsd == 0 && a.native_dsd == 0) add("no usable output format");
  if (!a.in_use_by.empty()) add("in use by " + a.in_use_by);
  return text;
}

}  // namespace pelmora::cli
