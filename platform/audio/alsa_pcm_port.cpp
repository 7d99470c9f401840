#include <alsa/asoundlib.h>

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
constexpr unsigned kTableRates[] = {32000,  44100,  48000,  88200,  96000,  176400,
                                    192000, 352800, 384000, 705600, 768000, 1411200};
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
      snd_pcm_hw_params_t* trial;
      snd_pcm_hw_params_alloca(&trial);
      for (AlsaSampleFormat f : kAllFormats) {
        if (snd_pcm_hw_params_test_format(pcm, any, alsaFormat(f)) == 0) caps->formats.push_back(f);
      }
      for (unsigned rate : kTableRates) {
        if (snd_pcm_hw_params_test_rate(pcm, any, rate, 0) == 0) caps->rates.push_back(rate);
      }
    }
    if (temporary) snd_pcm_close(pcm);
    return r < 0 ? r : 0;
  }

  int configure(AlsaSampleFormat format, uint32_t channels, uint32_t rate, uint32_t* period) override {
    if (!pcm_) return -EBADFD;
    snd_pcm_drop(pcm_);
    snd_pcm_hw_params_t* hw;
    snd_pcm_hw_params_alloca(&hw);
    int r = snd_pcm_hw_params_any(pcm_, hw);
    if (r >= 0) r = snd_pcm_hw_params_set_rate_resample(pcm_, hw, 0);
    if (r >= 0) r = snd_pcm_hw_params_set_access(pcm_, hw, SND_PCM_ACCESS_RW_INTERLEAVED);
    if (r >= 0) r = snd_pcm_hw_params_set_format(pcm_, hw, alsaFormat(format));
    if (r >= 0) r = snd_pcm_hw_params_set_channels(pcm_, hw, channels);
    if (r >= 0) r = snd_pcm_hw_params_set_rate(pcm_, hw, rate, 0);
    snd_pcm_uframes_t frames = *period;
    if (r >= 0) r = snd_pcm_hw_params_set_period_size_near(pcm_, hw, &frames, nullptr);
    unsigned periods = 4;
    if (r >= 0) r = snd_pcm_hw_params_set_periods_near(pcm_, hw, &periods, nullptr);
    if (r >= 0) r = snd_pcm_hw_params(pcm_, hw);
    if (r >= 0) r = snd_pcm_prepare(pcm_);
    if (r >= 0) *period = static_cast<uint32_t>(frames);
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

  int recover(int error) override { return snd_pcm_recover(pcm_, error, 1); }
  void drop() override {
    if (pcm_) {
      snd_pcm_drop(pcm_);
      snd_pcm_prepare(pcm_);
    }
  }

 private:
  std::string name_;
  snd_pcm_t* pcm_ = nullptr;
};

}  // namespace

std::unique_ptr<PcmPort> makeAlsaPcmPort(const std::string& pcm_name) {
  return std::make_unique<AlsaPcmPort>(pcm_name);
}

}  // namespace sonara::audio
