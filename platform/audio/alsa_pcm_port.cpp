#include <alsa/asoundlib.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>

#include "platform/audio/pcm_port.h"

namespace sonara::audio {
namespace {

snd_pcm_format_t alsaFormat(AlsaSampleFormat f) {
  switch (f) {
    case AlsaSampleFormat::S16_LE: return SND_PCM_FORMAT_S16_LE;
    case AlsaSampleFormat::S24_3LE: return SND_PCM_FORMAT_S24_3LE;
    case AlsaSampleFormat::S24_LE: return SND_PCM_FORMAT_S24_LE;
    case AlsaSampleFormat::S32_LE: return SND_PCM_FORMAT_S32_LE;
    case AlsaSampleFormat::DSD_U16_LE: return SND_PCM_FORMAT_DSD_U16_LE;
    case AlsaSampleFormat::DSD_U16_BE: return SND_PCM_FORMAT_DSD_U16_BE;
    case AlsaSampleFormat::DSD_U32_LE: return SND_PCM_FORMAT_DSD_U32_LE;
    case AlsaSampleFormat::DSD_U32_BE: return SND_PCM_FORMAT_DSD_U32_BE;
  }
  return SND_PCM_FORMAT_UNKNOWN;
}

constexpr AlsaSampleFormat kAllFormats[] = {
    AlsaSampleFormat::S16_LE,     AlsaSampleFormat::S24_3LE,    AlsaSampleFormat::S24_LE,
    AlsaSampleFormat::S32_LE,     AlsaSampleFormat::DSD_U16_BE, AlsaSampleFormat::DSD_U16_LE,
    AlsaSampleFormat::DSD_U32_BE, AlsaSampleFormat::DSD_U32_LE};
// Every rate of the engine's rate table, 8 kHz telephony to DSD512 as native words.
constexpr unsigned kTableRates[] = {8000,   11025,  12000,  16000,  22050,  24000,  32000,  44100,
                                    48000,  64000,  88200,  96000,  176400, 192000, 352800, 384000,
                                    705600, 768000, 1411200, 1536000};
// The buffer is at least this many periods and this many seconds deep: enough margin
// for an IO thread that runs without real-time priority.
constexpr unsigned kMinPeriodsPerBuffer = 4;
constexpr double kMinBufferSeconds = 0.25;
// No resampling, no channel or format conversion: what is written is what plays.
constexpr int kOpenMode = SND_PCM_NO_AUTO_RESAMPLE | SND_PCM_NO_AUTO_CHANNELS | SND_PCM_NO_AUTO_FORMAT;

class AlsaPcmPort final : public PcmPort {
 public:
  explicit AlsaPcmPort(std::string name) : name_(std::move(name)) {}
  ~AlsaPcmPort() override { close(); }

  int open() override {
    if (pcm_) return 0;
    return snd_pcm_open(&pcm_, name_.c_str(), SND_PCM_STREAM_PLAYBACK, kOpenMode);
  }
  void close() override {
    if (pcm_) snd_pcm_close(pcm_);
    pcm_ = nullptr;
  }
  bool isOpen() const override { return pcm_ != nullptr; }

  int probe(PcmCapabilities* caps) override {
    snd_pcm_t* pcm = pcm_;
    bool temporary = false;
    if (!pcm) {
      int r = snd_pcm_open(&pcm, name_.c_str(), SND_PCM_STREAM_PLAYBACK, kOpenMode | SND_PCM_NONBLOCK);
      if (r < 0) return r;
      temporary = true;
    }
    snd_pcm_hw_params_t* any;
    snd_pcm_hw_params_alloca(&any);
    int r = snd_pcm_hw_params_any(pcm, any);
    if (r >= 0) {
      snd_pcm_hw_params_set_rate_resample(pcm, any, 0);
      unsigned min_ch = 0, max_ch = 0;
      snd_pcm_hw_params_get_channels_min(any, &min_ch);
      snd_pcm_hw_params_get_channels_max(any, &max_ch);
      caps->channels = min_ch <= 2 && max_ch >= 2 ? 2 : min_ch;
      snd_pcm_uframes_t pmin = 0, pmax = 0;
      snd_pcm_hw_params_get_period_size_min(any, &pmin, nullptr);
      snd_pcm_hw_params_get_period_size_max(any, &pmax, nullptr);
      caps->min_period = static_cast<uint32_t>(std::max<snd_pcm_uframes_t>(pmin, 32));
      caps->max_period = static_cast<uint32_t>(std::min<snd_pcm_uframes_t>(pmax, 65536));
      // Rates are tested on a configuration refined to each format: a driver may
      // offer a format at its own rates only.
      snd_pcm_hw_params_t* trial;
      snd_pcm_hw_params_alloca(&trial);
      for (AlsaSampleFormat f : kAllFormats) {
        snd_pcm_hw_params_copy(trial, any);
        if (snd_pcm_hw_params_set_format(pcm, trial, alsaFormat(f)) < 0) continue;
        if (snd_pcm_hw_params_set_channels(pcm, trial, caps->channels) < 0) continue;
        FormatRates pair{f, {}};
        for (unsigned rate : kTableRates) {
          if (snd_pcm_hw_params_test_rate(pcm, trial, rate, 0) == 0) pair.rates.push_back(rate);
        }
        if (!pair.rates.empty()) caps->pairs.push_back(std::move(pair));
      }
    }
    if (temporary) snd_pcm_close(pcm);
    return r < 0 ? r : 0;
  }

  // The whole configuration space narrowed to one format and channel count, with
  // ALSA's resampling off and interleaved writes.
  int refine(snd_pcm_hw_params_t* hw, AlsaSampleFormat format, uint32_t channels) {
    int r = snd_pcm_hw_params_any(pcm_, hw);
    if (r >= 0) r = snd_pcm_hw_params_set_rate_resample(pcm_, hw, 0);
    if (r >= 0) r = snd_pcm_hw_params_set_access(pcm_, hw, SND_PCM_ACCESS_RW_INTERLEAVED);
    if (r >= 0) r = snd_pcm_hw_params_set_format(pcm_, hw, alsaFormat(format));
    if (r >= 0) r = snd_pcm_hw_params_set_channels(pcm_, hw, channels);
    return r;
  }

  int test(AlsaSampleFormat format, uint32_t channels, uint32_t rate) override {
    if (!pcm_) return -EBADFD;
    snd_pcm_hw_params_t* hw;
    snd_pcm_hw_params_alloca(&hw);
    int r = refine(hw, format, channels);
    if (r >= 0) r = snd_pcm_hw_params_test_rate(pcm_, hw, rate, 0);
    return r;
  }

  int configure(AlsaSampleFormat format, uint32_t channels, uint32_t rate, uint32_t period,
                PcmSetup* setup) override {
    if (!pcm_) return -EBADFD;
    snd_pcm_drop(pcm_);
    snd_pcm_hw_params_t* hw;
    snd_pcm_hw_params_alloca(&hw);
    int r = refine(hw, format, channels);
    if (r >= 0) r = snd_pcm_hw_params_set_rate(pcm_, hw, rate, 0);
    snd_pcm_uframes_t frames = period;
    if (r >= 0) r = snd_pcm_hw_params_set_period_size_near(pcm_, hw, &frames, nullptr);
    snd_pcm_uframes_t buffer =
        std::max<snd_pcm_uframes_t>(frames * kMinPeriodsPerBuffer, static_cast<snd_pcm_uframes_t>(rate * kMinBufferSeconds));
    if (r >= 0) r = snd_pcm_hw_params_set_buffer_size_near(pcm_, hw, &buffer);
    if (r >= 0) r = snd_pcm_hw_params(pcm_, hw);
    // What the driver chose, which may differ from what was asked.
    if (r >= 0) r = snd_pcm_hw_params_get_period_size(hw, &frames, nullptr);
    if (r >= 0) r = snd_pcm_hw_params_get_buffer_size(hw, &buffer);
    if (r >= 0) r = setSoftware(frames, buffer);
    if (r >= 0) r = snd_pcm_prepare(pcm_);
    if (r >= 0) *setup = {static_cast<uint32_t>(frames), static_cast<uint32_t>(buffer)};
    return r;
  }

  long write(const void* data, uint32_t frames) override {
    const auto* bytes = static_cast<const uint8_t*>(data);
    const ssize_t frame_bytes = snd_pcm_frames_to_bytes(pcm_, 1);
    uint32_t done = 0;
    while (done < frames) {
      snd_pcm_sframes_t n = snd_pcm_writei(pcm_, bytes + done * frame_bytes, frames - done);
      if (n < 0) return n;
      done += static_cast<uint32_t>(n);
    }
    return done;
  }

  int recover(int error) override {
    if (!pcm_) return -EBADFD;
    if (error == -ESTRPIPE) {
      // The system was suspended: the driver may still be waking the device.
      int r = snd_pcm_resume(pcm_);
      for (int tries = 0; r == -EAGAIN && tries < 100; ++tries) {
        ::usleep(10000);
        r = snd_pcm_resume(pcm_);
      }
      if (r == 0) return 0;
    }
    return snd_pcm_prepare(pcm_);
  }
  bool hasOwnClock() const override {
    if (!pcm_) return true;
    snd_pcm_type_t type = snd_pcm_type(pcm_);
    return type != SND_PCM_TYPE_NULL && type != SND_PCM_TYPE_FILE;
  }
  void drain(double max_seconds) override {
    if (!pcm_) return;
    // Without blocking, so that a device that stopped consuming cannot hold us.
    snd_pcm_nonblock(pcm_, 1);
    if (snd_pcm_drain(pcm_) == -EAGAIN) {
      const auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(max_seconds);
      while (std::chrono::steady_clock::now() < until) {
        snd_pcm_avail(pcm_);  // moves the position on for PCMs that need to be asked
        if (snd_pcm_state(pcm_) != SND_PCM_STATE_DRAINING) break;
        ::usleep(2000);
      }
    }
    snd_pcm_nonblock(pcm_, 0);
    drop();
  }
  void drop() override {
    if (pcm_) {
      snd_pcm_drop(pcm_);
      snd_pcm_prepare(pcm_);
    }
  }

 private:
  // Starts only on a full buffer, and wakes the writer when a whole period is free.
  int setSoftware(snd_pcm_uframes_t period, snd_pcm_uframes_t buffer) {
    snd_pcm_sw_params_t* sw;
    snd_pcm_sw_params_alloca(&sw);
    int r = snd_pcm_sw_params_current(pcm_, sw);
    if (r >= 0) r = snd_pcm_sw_params_set_start_threshold(pcm_, sw, buffer / period * period);
    if (r >= 0) r = snd_pcm_sw_params_set_avail_min(pcm_, sw, period);
    if (r >= 0) r = snd_pcm_sw_params(pcm_, sw);
    return r;
  }

  std::string name_;
  snd_pcm_t* pcm_ = nullptr;
};

}  // namespace

std::unique_ptr<PcmPort> makeAlsaPcmPort(const std::string& pcm_name) {
  return std::make_unique<AlsaPcmPort>(pcm_name);
}

}  // namespace sonara::audio
