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

// One sample format with the exact rates the PCM takes in it: drivers put formats on
// their own settings with their own rates (native DSD on a USB DAC's own alternate
// setting), so a rate is only known to work together with its format.
struct FormatRates {
  AlsaSampleFormat format;
  std::vector<double> rates;
};

struct PcmCapabilities {
  std::vector<FormatRates> pairs;
  uint32_t channels = 2;
  uint32_t min_period = 32;
  uint32_t max_period = 65536;
};

// What a configuration put in effect: the driver rounds the period and the buffer
// to its own steps.
struct PcmSetup {
  uint32_t period = 0;  // frames
  uint32_t buffer = 0;  // frames
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
  // Whether the PCM takes the format at the exact rate, without configuring it.
  virtual int test(AlsaSampleFormat, uint32_t /*channels*/, uint32_t /*rate*/) { return 0; }
  // Sets format, channels, exact rate (no resampling) and the period nearest `period`;
  // the buffer is a few periods deep. `setup` returns what is in effect.
  virtual int configure(AlsaSampleFormat format, uint32_t channels, uint32_t rate, uint32_t period,
                        PcmSetup* setup) = 0;
  // Writes whole frames, blocking; the frames written or a negative errno.
  virtual long write(const void* data, uint32_t frames) = 0;
  // Makes the PCM writable again after -EPIPE (an underrun: prepared anew) or
  // -ESTRPIPE (a system suspend: resumed, else prepared). Negative when it cannot.
  virtual int recover(int error) = 0;
  // Stops at once; what was written and not yet played is dropped.
  virtual void drop() = 0;
  // Plays what was written, for at most `max_seconds`, then stops.
  virtual void drain(double /*max_seconds*/) { drop(); }
  // False for PCMs that take samples as fast as they come (null, file): the writer
  // paces them itself. Known once open.
  virtual bool hasOwnClock() const { return true; }
};

std::unique_ptr<PcmPort> makeAlsaPcmPort(const std::string& pcm_name);

}  // namespace sonara::audio
