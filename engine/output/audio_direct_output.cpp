#include "engine/output/audio_direct_output.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <thread>

#include "engine/api/constants.h"
#include "platform/log.h"
#include "platform/named_exception.h"
#include "plugin/decoder_plugin.h"

using namespace sonara::audio;
using sonara::Dict;
using sonara::lookup;
using sonara::Value;
using sonara::platform::logLine;

namespace {


constexpr Status kInvalidChannels = -67588;
constexpr uint32_t kDsd32SystemDriverMinFrames = 2043;
// A device that never reports its streaming interface idle is not waited for longer.
constexpr int kInterfacePollLimit = 50;

enum Phase : uint32_t { kIdle, kStartRequested, kWaitUnmute, kPlaying, kStopRequested, kWaitMute, kWaitAfterMute };

bool sameFormat(const StreamDescription& a, const StreamDescription& b) {
  return a.sample_rate == b.sample_rate && a.format_id == b.format_id && a.format_flags == b.format_flags &&
         a.bytes_per_packet == b.bytes_per_packet && a.frames_per_packet == b.frames_per_packet &&
         a.bytes_per_frame == b.bytes_per_frame && a.channels_per_frame == b.channels_per_frame &&
         a.bits_per_channel == b.bits_per_channel;
}

// Whether `candidate` replaces `best` by the candidate rules.
bool betterCandidate(const StreamDescription& candidate, const StreamDescription& best, uint32_t preferred) {
  if (candidate.bits_per_channel != best.bits_per_channel) {
    const auto& shallow = candidate.bits_per_channel < best.bits_per_channel ? candidate : best;
    const auto& deep = candidate.bits_per_channel < best.bits_per_channel ? best : candidate;
    const StreamDescription* winner;
    if (shallow.bits_per_channel == preferred) {
      winner = &shallow;
    } else if (deep.bits_per_channel == preferred || shallow.bits_per_channel < preferred) {
      winner = &deep;
    } else {
      winner = &shallow;
    }
    return winner == &candidate;
  }
  return candidate.channels_per_frame > best.channels_per_frame;
}

}  // namespace

namespace {
// Formats a device may refuse, one after the other, before the output gives up.
constexpr int kFormatRetries = 3;
}  // namespace

AudioDirectOutput::AudioDirectOutput(std::shared_ptr<AudioOutputContext> ctx) : AudioOutput(std::move(ctx)) {}

std::unique_ptr<AudioDirectOutput> AudioDirectOutput::initWithOutputContext(
    std::shared_ptr<AudioOutputContext> ctx, const Dict& format) {
  if (!ctx) return nullptr;
  std::unique_ptr<AudioDirectOutput> out(new AudioDirectOutput(ctx));
  ctx->logAvailableRateFailures();
  AudioHal& hal = ctx->hal();
  if (Status s = hal.createIoProc(ctx->dev_id(), &AudioDirectOutput::ioProc, out.get(), &out->proc_id_);
      s != kNoError) {
    logLine("the device's IO callback cannot be set up (Output) (0x%08lX)", statusHex(s));
    out->detatchOutputContext();
    return nullptr;
  }
  out->proc_created_ = true;
  bool ok = out->setupWithDoPFallback(format);
  if (!ok) logLine("setupBuffer Failed. (Output)");
  if (ok) {
    // Two packers sized for one device buffer of the stream: the one playing and the
    // one the next item of the run takes inside the same cycle.
    int64_t channels = lookup(format, AO_KEY_CHANNELS).asInt();
    uint32_t capacity = out->buffer_frames_ * static_cast<uint32_t>(std::clamp<int64_t>(channels, 1, 64));
    for (auto& p : out->packers_) {
      p = AudioDirectOutputBuffer::create(out->buff_class_, capacity);
      if (!p) {
        logLine("AudioDirectOutputBuffer : Allocation Failed.");
        ok = false;
        break;
      }
    }
  }
  if (!ok) {
    if (Status s = hal.destroyIoProc(ctx->dev_id(), out->proc_id_); s != kNoError) {
      logLine("the device's IO callback cannot be removed (0x%08lx)", statusHex(s));
    }
    out->proc_created_ = false;
    out->detatchOutputContext();
    return nullptr;
  }
  return out;
}

AudioDirectOutput::~AudioDirectOutput() {
  if (ctx_ && proc_created_) {
    ctx_->hal().stopIoProc(ctx_->dev_id(), proc_id_);
    ctx_->hal().destroyIoProc(ctx_->dev_id(), proc_id_);
  }
  releasePacker();
  released_.drain();
  reportRealtimeFaults();
}

// A driver may refuse the chosen format only when it is configured, and then no
// longer offer it: the next candidate is tried, a few times at most. The driver's
// refusals are said by the device layer; the caller says when all failed.
bool AudioDirectOutput::setupTransport(const Dict& format) {
  bool ok = setupAudioOutputProperties(format);
  for (int retry = 0; ok && !setupBuffer(); ++retry) {
    if (retry == kFormatRetries || !setupAudioOutputProperties(format)) {
      ok = false;
    } else {
      logLine("The device refused the format it offered; playing in the next one it offers.");
    }
  }
  return ok;
}

namespace {

// "DSD64" for the DoP rate of DSD64 (176.4 kHz), of either rate family.
std::string dsdName(double dop_rate) {
  const double dsd_rate = dop_rate * 16;
  const long multiple = std::lround(dsd_rate / (std::fmod(dsd_rate, 44100.0) == 0 ? 44100.0 : 48000.0));
  return "DSD" + std::to_string(multiple);
}

}  // namespace

// Native DSD the device refuses at this rate (a USB DAC may take it at some rates
// only, on its own setting) still plays as DoP where the device decodes DoP: the DSD
// decoders deliver DoP words, which the native packers only repack. DSD is never
// converted to PCM.
bool AudioDirectOutput::setupWithDoPFallback(const Dict& format) {
  if (setupTransport(format)) return true;
  if (!ctx_->dsd_native() || !ctx_->deviceAlive()) return false;
  if (static_cast<uint32_t>(lookup(format, AO_KEY_FORMAT).asInt()) != sonara::plugin::kFormatDoP) return false;
  const AudioDeviceInfo& info = ctx_->deviceInfo();
  const double rate = lookup(format, AO_KEY_SAMPLINGRATE).asDouble();
  std::string name;
  if (ctx_->hal().name(ctx_->dev_id(), &name) != kNoError) name = "The device";
  if (!(info.outputCapabilities & kDeviceDoP) || isRateExcluded(info.notSupport_DoP, rate)) {
    logLine("%s does not take %s as native DSD, nor as DoP; the track is skipped.", name.c_str(),
            dsdName(rate).c_str());
    return false;
  }
  ctx_->setDsd_native(false);
  if (!setupTransport(format)) return false;  // no DoP container: said by the format choice
  logLine("%s does not take %s as native DSD; it goes as DoP instead.", name.c_str(), dsdName(rate).c_str());
  return true;
}

bool AudioDirectOutput::usbSwitch() const {
  return ctx_ && (ctx_->deviceInfo().outputCapabilities & kDeviceUSBSwitch);
}

bool AudioDirectOutput::setupAudioOutputProperties(const Dict& format) {
  const Value& rate_value = lookup(format, AO_KEY_SAMPLINGRATE);
  double rate = rate_value.isNumber() ? rate_value.asDouble() : ctx_->current_desc().sample_rate;
  const uint32_t caps = ctx_->deviceInfo().outputCapabilities;
  const bool dop = static_cast<uint32_t>(lookup(format, AO_KEY_FORMAT).asInt()) == sonara::plugin::kFormatDoP;
  uint32_t bits;
  if (ctx_->dsd_native()) {
    if (caps & kDeviceDSD32) {
      buff_class_ = PackerKind::DSD32;
      rate *= 0.5;
      bits = 32;
    } else if (caps & kDeviceDSD16) {
      buff_class_ = PackerKind::DSD16;
      bits = 16;
    } else {
      return false;
    }
  } else if (dop) {
    buff_class_ = PackerKind::DoP;
    bits = 24;
  } else {
    buff_class_ = PackerKind::PCM;
    bits = 32;
  }
  if (!ctx_->setDsdMethod(ctx_->dsd_native())) return false;
  return setSamplingRate(rate, bits);
}

bool AudioDirectOutput::setSamplingRate(double rate, uint32_t preferred_bits) {
  AudioHal& hal = ctx_->hal();
  std::vector<StreamId> streams;
  if (Status s = hal.streams(ctx_->dev_id(), Scope::Output, &streams); s != kNoError || streams.empty()) {
    logLine("the device's streams cannot be read (0x%lX)", statusHex(s));
    return false;
  }
  std::vector<RangedDescription> formats;
  if (Status s = hal.availablePhysicalFormats(streams[0], &formats); s != kNoError) {
    logLine("the device's hardware formats cannot be read (0x%lX)", statusHex(s));
    return false;
  }
  // Native DSD words go to a format made for them when the device has one.
  bool native = buff_class_ == PackerKind::DSD16 || buff_class_ == PackerKind::DSD32;
  bool prefer_dsd_formats =
      native && std::any_of(formats.begin(), formats.end(), [&](const RangedDescription& f) {
        return (f.format.format_flags & kFormatFlagCarriesNativeDSD) &&
               AudioDirectOutputBuffer::formatMatching(buff_class_, f, preferred_bits);
      });
  const RangedDescription* best = nullptr;
  for (const auto& f : formats) {
    bool rate_fits = f.format.sample_rate == rate ||
                     (f.format.sample_rate == 0 && rate >= f.rate_range.minimum && rate <= f.rate_range.maximum);
    if (!rate_fits || !AudioDirectOutputBuffer::formatMatching(buff_class_, f, preferred_bits)) continue;
    if (prefer_dsd_formats && !(f.format.format_flags & kFormatFlagCarriesNativeDSD)) continue;
    if (!best || betterCandidate(f.format, best->format, preferred_bits)) best = &f;
  }
  if (!best) {
    if (buff_class_ == PackerKind::DoP) {
      std::string name;
      if (hal.name(ctx_->dev_id(), &name) != kNoError) name = "The device";
      logLine("%s has no 24- or 32-bit format at %.0f Hz to carry DoP, and DSD is not converted to PCM; the "
              "track is skipped.",
              name.c_str(), rate);
    }
    return false;
  }
  StreamDescription chosen = best->format;
  if (chosen.sample_rate == 0) chosen.sample_rate = rate;
  if (Status s = hal.setPhysicalFormat(streams[0], chosen); s != kNoError) {
    logLine("the device's hardware format cannot be set (0x%lX)", statusHex(s));
    return false;
  }
  bool verified = false;
  for (int attempt = 0; attempt < 50 && !verified; ++attempt) {
    StreamDescription now;
    if (hal.physicalFormat(streams[0], &now) != kNoError) continue;
    verified = sameFormat(now, chosen);
    if (!verified) std::this_thread::sleep_for(std::chrono::milliseconds(25));
  }
  ctx_->setCurrent_desc(chosen);
  format_channels_ = chosen.channels_per_frame;
  non_mixable_ = chosen.format_flags & kFormatFlagIsNonMixable;
  return verified;
}

bool AudioDirectOutput::setupBuffer() {
  const StreamDescription desc = ctx_->current_desc();
  const uint32_t caps = ctx_->deviceInfo().outputCapabilities;
  uint32_t minimum = ctx_->dsd_native() && (caps & kDeviceDSD32) && !(caps & kDeviceVendorDriver)
                         ? kDsd32SystemDriverMinFrames
                         : static_cast<uint32_t>(desc.sample_rate * 0.02);
  ValueRange range;
  if (Status s = ctx_->hal().bufferFrameSizeRange(ctx_->dev_id(), &range); s != kNoError) {
    logLine("the device's buffer size range cannot be read (0x%08lX)", statusHex(s));
    return false;
  }
  uint32_t frames = std::max(static_cast<uint32_t>(range.minimum), minimum);
  const auto maximum = static_cast<uint32_t>(range.maximum);
  if (frames >= maximum) frames = maximum;
  ctx_->hal().setBufferFrameSize(ctx_->dev_id(), frames);
  // Drivers round the size to their own steps: what the device took is what the IO
  // cycles will ask for, and everything is sized from it.
  uint32_t taken = 0;
  if (Status s = ctx_->hal().bufferFrameSize(ctx_->dev_id(), &taken); s != kNoError || taken == 0) {
    // A format the driver refused when configured has been said by the device layer.
    if (s != kErrorUnsupportedFormat) {
      logLine("The output device did not report the buffer size it took. (0x%08lX)", statusHex(s));
    }
    return false;
  }
  frames = taken;
  buffer_frames_ = frames;
  if (desc.format_flags & kFormatFlagIsNonMixable) {
    if (desc.bytes_per_frame != 0) {
      buffer_size_ = desc.bytes_per_frame * frames;
    } else {
      if (desc.frames_per_packet == 0) return false;
      buffer_size_ = desc.bytes_per_packet / desc.frames_per_packet * frames;
    }
  } else {
    buffer_size_ = frames * desc.channels_per_frame * 4;
  }
  return true;
}

void AudioDirectOutput::play() {
  if (usbSwitch()) {
    {
      std::lock_guard lock(condition_lock_);
      phase_ = kStartRequested;
    }
    ctx_->setMute(true);
  }
  if (Status s = ctx_->hal().startIoProc(ctx_->dev_id(), proc_id_); s != kNoError) {
    sonara::raiseError("the device cannot be started (0x%08lX)", statusHex(s));
  }
  playing_ = true;
}

void AudioDirectOutput::stop() {
  if (!playing_) return;
  if (usbSwitch()) {
    bool cut_short = ctx_->stop_immediately();
    if (!cut_short) {
      // The IO cycles run the mute sequence; a device that stops delivering them
      // (unplugged, suspended) must not hold the caller.
      const auto deadline = std::chrono::steady_clock::now() + muteSequenceBound();
      std::unique_lock lock(condition_lock_);
      phase_ = kStopRequested;
      while (phase_ != kIdle && !ctx_->stop_immediately()) {
        if (std::chrono::steady_clock::now() >= deadline) {
          logLine("The output device stopped before its mute sequence ended; stopping at once.");
          break;
        }
        condition_.wait_for(lock, std::chrono::milliseconds(20));
      }
      cut_short = phase_ != kIdle;
    }
    if (cut_short) {
      ctx_->setMute(true);
      std::lock_guard lock(condition_lock_);
      phase_ = kIdle;
    }
  } else {
    // Let the device play a little silence before it stops, so it does not click.
    playing_ = false;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  playing_ = false;
  if (ctx_->hal().stopIoProc(ctx_->dev_id(), proc_id_) == kNoError) waitUntilStop();
  releasePacker();
  released_.drain();
  reportRealtimeFaults();
}

// The IO thread never logs; what went wrong there is told here, once.
void AudioDirectOutput::reportRealtimeFaults() {
  uint32_t faults = rt_faults_.exchange(0);
  if (faults & kFaultPackerAllocation) logLine("AudioDirectOutputBuffer : Allocation Failed.");
  if (faults & kFaultInvalidChannels) {
    logLine("Invalid Channels. (src_ch:%d dst_ch:%d)", 0, static_cast<int>(fault_dst_channels_.load()));
  }
}

// Twice the time the mute sequence takes in device time (two waits of a buffer and
// the model's mute delay), and a second for the cycles to come round.
std::chrono::milliseconds AudioDirectOutput::muteSequenceBound() const {
  const AudioDeviceInfo& info = ctx_->deviceInfo();
  const double rate = std::max(ctx_->current_desc().sample_rate, 1000.0);
  const double one_wait = (buffer_frames_ + info.muteSamples) / rate + info.muteTime;
  return std::chrono::milliseconds(1000 + static_cast<int64_t>(std::min(4 * one_wait, 60.0) * 1000));
}

void AudioDirectOutput::waitUntilStop() {
  UsbInterface* usb = ctx_ ? ctx_->if_if() : nullptr;
  if (!usb) return;
  uint8_t number = 0;
  if (usb->interfaceNumber(&number) != kNoError) return;
  for (int attempt = 0; attempt < kInterfacePollLimit && !ctx_->deviceGone(); ++attempt) {
    uint8_t alternate = 0;
    if (usb->controlRequest(0x81, 0x0A, 0, number, 1, &alternate) != kNoError || alternate == 0) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  if (ctx_->deviceGone()) return;  // nothing left to wait for
  logLine("USB streaming interface %u still busy after %d s; going on.", number, kInterfacePollLimit / 10);
}

double AudioDirectOutput::getOutputInterval() const {
  double rate = ctx_ ? ctx_->current_desc().sample_rate : 0;
  return rate > 0 ? buffer_frames_ / rate : 0.0;
}

Dict AudioDirectOutput::getAudioOutputReceiveProperties() const {
  StreamDescription d = ctx_->current_desc();
  return Dict{{AO_KEY_SAMPLINGRATE, Value(d.sample_rate)},
              {AO_KEY_CHANNELS, Value(d.channels_per_frame)},
              {AO_KEY_BITS, Value(d.bits_per_channel)}};
}

Dict AudioDirectOutput::getAudioOutputSupplyProperties() const {
  const StreamDescription& d = ctx_->org_desc();
  return Dict{{AO_KEY_SAMPLINGRATE, Value(d.sample_rate)},
              {AO_KEY_CHANNELS, Value(d.channels_per_frame)},
              {AO_KEY_BITS, Value(d.bits_per_channel)}};
}

// --- the real-time side ------------------------------------------------------------

Status AudioDirectOutput::ioProc(DeviceId, const TimeStamp& now, IoBuffer& output,
                                 const TimeStamp& output_time, void* client) {
  return static_cast<AudioDirectOutput*>(client)->render(now, output, output_time);
}

double AudioDirectOutput::dueTime(const TimeStamp& output_time) const {
  const AudioDeviceInfo& info = ctx_->deviceInfo();
  return output_time.sample_time + buffer_frames_ + info.muteTime * ctx_->current_desc().sample_rate +
         info.muteSamples;
}

bool AudioDirectOutput::stepPhase(const TimeStamp& now, const TimeStamp& output_time) {
  std::lock_guard lock(condition_lock_);
  const uint32_t at_entry = phase_;
  phase_idle_.store(at_entry == kIdle, std::memory_order_relaxed);
  switch (phase_) {
    case kStartRequested:
      sample_time_ = dueTime(output_time);
      phase_ = kWaitUnmute;
      break;
    case kWaitUnmute:
      if (now.sample_time > sample_time_) {
        ctx_->setMute(false);
        phase_ = kPlaying;
      }
      break;
    case kStopRequested:
      sample_time_ = dueTime(output_time);
      phase_ = kWaitMute;
      break;
    case kWaitMute:
      if (now.sample_time > sample_time_) {
        sample_time_ = dueTime(output_time);
        ctx_->setMute(true);
        phase_ = kWaitAfterMute;
      }
      break;
    case kWaitAfterMute:
      if (now.sample_time > sample_time_) {
        phase_ = kIdle;
        condition_.notify_all();
      }
      break;
    default:
      break;
  }
  return at_entry == kPlaying;
}

AudioDirectOutputBuffer* AudioDirectOutput::takePacker(std::shared_ptr<AudioOutputBuffer> queue) {
  for (auto& p : packers_) {
    if (p && !p->queue() && p->bind(queue)) return p.get();
  }
  // A queue larger than the packers were made for: one more, made here (rare).
  auto extra = AudioDirectOutputBuffer::create(buff_class_, queue->frames() * queue->channels());
  if (!extra || !extra->bind(std::move(queue))) return nullptr;
  packers_[1] = std::move(extra);
  return packers_[1].get();
}

void AudioDirectOutput::releasePacker() {
  if (!buff_) return;
  released_.park(buff_->unbind());
  buff_ = nullptr;
}

Status AudioDirectOutput::render(const TimeStamp& now, IoBuffer& output, const TimeStamp& output_time) {
  const uint32_t dst_channels = output.channels;
  if (dst_channels == 0) return kNoError;
  const uint32_t frames = output.byte_size / 4 / dst_channels;

  // Outside playback nothing is delivered; frames are reported unfilled so that a
  // free-running device records nothing, while a paced one plays the silence.
  // In a mute phase samples do not flow either, but the silence counts as played.
  const bool usb_switch = usbSwitch();
  if (!(usb_switch ? stepPhase(now, output_time) : playing_.load())) {
    fillSilentData(output, 0);
    if (!usb_switch || phase_idle_.load(std::memory_order_relaxed)) output.byte_size = 0;
    return kNoError;
  }

  uint32_t at_frame = 0;
  while (at_frame < frames) {
    if (!buff_) {
      if (!target_) break;
      std::shared_ptr<AudioOutputBuffer> queue = target_->outputWillStart();
      if (!queue) break;
      buff_ = takePacker(std::move(queue));
      if (!buff_) {
        rt_faults_.fetch_or(kFaultPackerAllocation, std::memory_order_relaxed);
        break;
      }
    }
    const uint32_t src_channels = buff_->getChenels();
    if (src_channels == 0) {
      fault_dst_channels_.store(dst_channels, std::memory_order_relaxed);
      rt_faults_.fetch_or(kFaultInvalidChannels, std::memory_order_relaxed);
      fillSilentData(output, at_frame);
      return kInvalidChannels;
    }
    // A device may run longer cycles than the packer holds: pull in pieces.
    const uint32_t piece = std::min(frames - at_frame, buff_->capacity() / src_channels);
    if (piece == 0) break;
    const bool finished = buff_->inputFinished();
    const uint32_t wanted = src_channels * piece;
    // An item with the device's channels is converted straight into the IO buffer;
    // the channels another item does not fill keep the item's silence, laid before
    // the conversion moves the running DoP marker on.
    const bool direct = src_channels == dst_channels;
    pcm_in_dop_ = buff_class_ == PackerKind::DoP && !buff_->queue()->carriesDoP();
    if (!direct) AudioDirectOutputBuffer::fillSilentData(silenceKind(), output, at_frame, false);
    const uint32_t produced =
        direct ? buff_->convertInto(static_cast<float*>(output.data) + size_t{at_frame} * dst_channels, wanted)
               : buff_->updateConversionBuffer(wanted);
    if (AudioOutputBuffer* waiting = target_->getConditionVariableOfDecodeThread()) waiting->signal();
    if (produced > 0) {
      if (!direct) place(buff_->getConversionBuffer(), src_channels, produced / src_channels, output, at_frame);
      at_frame += produced / src_channels;
    }
    if (produced == wanted) continue;
    if (!finished) break;  // the queue ran dry: an underrun
    releasePacker();
    target_->outputFinished();
  }
  fillSilentData(output, at_frame);
  output.byte_size = at_frame * dst_channels * 4;
  return kNoError;
}

// After a PCM track joined to a DoP output, its silence is PCM silence: DoP idle
// frames would switch the DAC back to DSD for a moment.
PackerKind AudioDirectOutput::silenceKind() const { return pcm_in_dop_ ? PackerKind::PCM : buff_class_; }

void AudioDirectOutput::fillSilentData(IoBuffer& output, uint32_t from_frame) const {
  AudioDirectOutputBuffer::fillSilentData(silenceKind(), output, from_frame, true);
}

void AudioDirectOutput::place(const float* src, uint32_t src_ch, uint32_t frames, IoBuffer& output,
                              uint32_t at_frame) const {
  const uint32_t dst_ch = output.channels;
  float* dst = static_cast<float*>(output.data) + size_t{at_frame} * dst_ch;
  if (src_ch == dst_ch) {
    std::copy_n(src, size_t{frames} * dst_ch, dst);
  } else if (dst_ch == 1 && !non_mixable_) {
    for (uint32_t f = 0; f < frames; ++f) {
      float sum = 0;
      for (uint32_t c = 0; c < src_ch; ++c) sum += src[size_t{f} * src_ch + c];
      dst[f] = std::clamp(sum, -1.0f, 1.0f);
    }
  } else if (src_ch == 1) {
    for (uint32_t f = 0; f < frames; ++f) std::fill_n(dst + size_t{f} * dst_ch, dst_ch, src[f]);
  } else {
    const uint32_t dealt = std::min(src_ch, dst_ch);
    for (uint32_t f = 0; f < frames; ++f) {
      std::copy_n(src + size_t{f} * src_ch, dealt, dst + size_t{f} * dst_ch);
    }
  }
}
