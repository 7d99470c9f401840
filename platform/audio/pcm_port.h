// The layer under the ALSA backend: one playback PCM, opened exclusively, configured
// and written period by period. AlsaPcmPort is alsa-lib; tests put a port of their
// own underneath to make a device busy or make it vanish.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/audio/alsa_format.h"

namespace sonara::audio {

struct PcmCapabilities {
  std::vector<AlsaSampleFormat> formats;
  std::vector<double> rates;  // exact rates of the rate table the PCM takes
  uint32_t channels = 2;
  uint32_t min_period = 32;
  uint32_t max_period = 65536;
};

class PcmPort {
 public:
  virtual ~PcmPort() = default;
  // 0, or a negative errno (-EBUSY when another process holds the device).
  virtual int open() = 0;
  virtual void close() = 0;
  virtual bool isOpen() const = 0;
  // What the PCM accepts; opens it for the look if it is closed. Negative errno.
  virtual int probe(PcmCapabilities* caps) = 0;
  // Sets format, channels, exact rate (no resampling) and the period; a few periods
  // make the buffer. `period` returns what is in effect.
  virtual int configure(AlsaSampleFormat format, uint32_t channels, uint32_t rate, uint32_t* period) = 0;
  // Writes whole frames, blocking; the frames written or a negative errno.
  virtual long write(const void* data, uint32_t frames) = 0;
  // After -EPIPE (an underrun): makes the PCM writable again.
  virtual int recover(int error) = 0;
  virtual void drop() = 0;
};

std::unique_ptr<PcmPort> makeAlsaPcmPort(const std::string& pcm_name);

}  // namespace sonara::audio
