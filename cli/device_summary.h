// What an output device can do, in words: "PCM up to 384 kHz 32-bit; DoP up to
// DSD256; native DSD up to DSD512 (DSD_U32_BE); in use by PID 1234 (pipewire)".
#pragma once

#include <string>

class AudioDevice;
namespace sonara::audio {
class AudioHal;
}

namespace pelmora::cli {

struct DeviceAbilities {
  double pcm_rate = 0;  // highest PCM rate, 0 when none
  unsigned pcm_bits = 0;
  int dop_dsd = 0;      // highest DSD multiple over DoP (64 for DSD64), 0 when none
  int native_dsd = 0;   // highest DSD multiple as native words, 0 when none
  std::string native_format;  // "DSD_U32_BE" or "DSD_U16_BE"
  std::string in_use_by;      // "PID 1234 (pipewire)" when another process holds it
};

DeviceAbilities abilitiesOf(sonara::audio::AudioHal& hal, const AudioDevice& device);
std::string describeAbilities(const DeviceAbilities& a);

}  // namespace pelmora::cli
