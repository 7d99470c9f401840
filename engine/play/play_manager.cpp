// The play manager's control side: starting and stopping tracks, the output, seeking
// and the hand-over on the real-time thread.
#include "engine/play/play_manager.h"

#include <chrono>
#include <thread>

#include "engine/api/constants.h"
#include "engine/output/bit_depth.h"
#include "engine/play/audio_output_ring_buffer.h"
#include "engine/plugin/decoder_host.h"
#include "engine/plugin/plugin_manager.h"
#include "platform/log.h"
#include "platform/named_exception.h"
#include "platform/path_names.h"
#include "platform/services.h"
#include "platform/thread_name.h"

using sonara::Dict;
using sonara::Value;
using sonara::platform::logLine;
namespace plugin = sonara::plugin;

std::shared_ptr<PlayManager> PlayManager::initWithAudioOutputCtx(std::shared_ptr<AudioOutputContext> ctx,
                                                                 std::atomic<uint8_t>* alive_flag) {
  std::shared_ptr<PlayManager> pm(new PlayManager(std::move(ctx), alive_flag));
  pm->event_thread_ = std::thread([raw = pm.get()] { raw->eventLoop(); });
  return pm;
}

namespace {
std::mutex g_alive_flag_mutex;  // a detach never overlaps the destructor's last write
}  // namespace

void PlayManager::abandon() {
  {
    std::lock_guard lock(output_monitor_);
    if (restart_timer_) sonara::platform::mainLoop().cancel(restart_timer_);
    restart_timer_ = 0;
    if (audio_output_) audio_output_->stop();
    audio_output_.reset();
    audio_output_ctx_.reset();
  }
  std::lock_guard lock(g_alive_flag_mutex);
  alive_flag_ = nullptr;
}

PlayManager::PlayManager(std::shared_ptr<AudioOutputContext> ctx, std::atomic<uint8_t>* alive_flag)
    : audio_output_ctx_(std::move(ctx)), alive_flag_(alive_flag) {
  if (alive_flag_) alive_flag_->store(1);
}

PlayManager::~PlayManager() {
  playing_ = false;
  paused_ = false;
  {
    std::lock_guard lock(output_monitor_);
    if (restart_timer_) sonara::platform::mainLoop().cancel(restart_timer_);
    if (audio_output_) audio_output_->stop();
    audio_output_.reset();
  }
  events_stopping_ = true;
  events_.wake();
  if (event_thread_.joinable()) {
    if (event_thread_.get_id() == std::this_thread::get_id()) {
      event_thread_.detach();
    } else {
      event_thread_.join();
    }
  }
  events_.drain([](auto&) {});
  // Pass once through each lock, so that no thread is still inside one.
  { std::lock_guard pass(delegate_event_lock_); }
  { std::lock_guard pass(items_monitor_); }
  { std::lock_guard pass(decode_thread_lock_); }
  for (auto& item : play_items_) item.reset();
  audio_output_ctx_.reset();
  std::lock_guard lock(g_alive_flag_mutex);
  if (alive_flag_) alive_flag_->store(0);
}

void PlayManager::setDecoderOptions(const Dict& options) {
  std::lock_guard lock(options_mutex_);
  options_ = options;
}

void PlayManager::addInfo(PlaylistItemInfoRef info) {
  if (!info) return;
  std::lock_guard lock(delegate_event_lock_);
  play_infos_.push_back(std::move(info));
}

PlaylistItemInfoRef PlayManager::getCurrentInfo() {
  std::lock_guard lock(items_monitor_);
  auto item = itemAt(0);
  return item ? item->info() : nullptr;
}

size_t PlayManager::itemCount() {
  std::lock_guard lock(items_monitor_);
  return items_count_;
}

bool PlayManager::holdsItem(const PlayItem* item) {
  std::lock_guard lock(items_monitor_);
  for (size_t i = 0; i < items_count_; ++i) {
    if (itemAt(i).get() == item) return true;
  }
  return false;
}

std::shared_ptr<PlayItem> PlayManager::itemAt(size_t i) {
  return i < items_count_ ? play_items_[(items_head_ + i) % kMaxItems] : nullptr;
}

bool PlayManager::appendItem(std::shared_ptr<PlayItem> item) {
  std::lock_guard lock(items_monitor_);
  if (items_count_ == kMaxItems) return false;
  play_items_[(items_head_ + items_count_) % kMaxItems] = std::move(item);
  ++items_count_;
  return true;
}

// Under items_monitor_. Moves the reference out: nothing is freed here.
std::shared_ptr<PlayItem> PlayManager::removeFirstItem() {
  if (items_count_ == 0) return nullptr;
  auto item = std::move(play_items_[items_head_]);
  items_head_ = (items_head_ + 1) % kMaxItems;
  --items_count_;
  return item;
}

// --- starting --------------------------------------------------------------------------

void PlayManager::start() { startWithOffset(0.0); }

void PlayManager::startWithOffset(double seconds) {
  playing_ = true;
  audio_output_dummy_sample_size_ = 0;
  startInternal(seconds);
}

void PlayManager::startInternal(double offset) {
  PlaylistItemInfoRef info;
  {
    std::lock_guard lock(delegate_event_lock_);
    if (play_infos_.empty()) return;
    if (itemCount() != 0) {
      logLine("PlayItem Exists in Array.");
      return;
    }
    info = play_infos_.front();
    play_infos_.pop_front();
  }
  auto decoder = setupNewDecoderByInfo(info, offset);
  if (!decoder) return reportStartFailure(false, info);
  bool changed = false;
  if (!setupDeviceRenewableByDecoder(*decoder, &changed) || !isOutputFormatMatchFor(*decoder)) {
    // A device that went away takes no format: that is told as the loss of the
    // device (by the controller), not as a track it cannot play.
    if (!audio_output_ctx_->deviceAlive()) return;
    return reportStartFailure(true, info);
  }
  auto item = createPlayItemWith(std::move(decoder), info);
  if (!item) return reportStartFailure(false, info);
  item->buffer()->setTimestamp(static_cast<uint64_t>(offset * 1e9));
  appendItem(item);
  addDecodeThreadWithPlayItem(item);
  audioOutputStart();
}

// On the event thread, as the track starts to be heard: a PCM track deeper than the
// device's format, or than the queues carry, loses its lowest bits, and that is said.
void PlayManager::noteBitDepth(const PlaylistItemInfo& info) const {
  const int64_t source_bits = info.get(TABLE_KEY_SRC_BITS).asInt();
  const sonara::audio::StreamDescription device = audio_output_ctx_->current_desc();
  if (reachesTheDeviceWhole(source_bits, device.bits_per_channel)) return;
  const std::string name = sonara::platform::lastPathComponent(info.fullpath());
  if (source_bits > static_cast<int64_t>(device.bits_per_channel)) {
    logLine("This playback is not bit-perfect: %s has %d-bit samples and the device takes %u bits at %.0f Hz; "
            "the lowest bits are dropped.",
            name.c_str(), static_cast<int>(source_bits), device.bits_per_channel, device.sample_rate);
  } else {
    logLine("This playback is not bit-perfect: %s has %d-bit samples and the player carries %d bits of each; "
            "the lowest bits are dropped.",
            name.c_str(), static_cast<int>(source_bits), static_cast<int>(kCarriedSampleBits));
  }
}

void PlayManager::reportStartFailure(bool not_supported, const PlaylistItemInfoRef& info) {
  if (target_) {
    if (not_supported) {
      target_->decodeFailedNotSupport(info);
    } else {
      target_->decodeFailed(info);
    }
    target_->decoded(info);
  }
  postNextOrFinish();
}

// The controller has chosen what follows (or nothing): it starts on the main thread,
// from a fresh stack, or the list has ended.
void PlayManager::postNextOrFinish() {
  bool more;
  {
    std::lock_guard lock(delegate_event_lock_);
    more = !play_infos_.empty();
  }
  std::weak_ptr<PlayManager> weak = weak_from_this();
  sonara::platform::mainLoop().post([weak, more] {
    auto self = weak.lock();
    if (!self) return;
    if (more) {
      self->startInternal(0.0);
    } else if (self->target_) {
      self->target_->finishedAll();
    }
  });
}

void PlayManager::startNextTrack() {
  {
    std::lock_guard lock(delegate_event_lock_);
    // The decoding thread joined the next item to the running output after the
    // output found none: the output takes it on its next cycle.
    if (itemCount() > 0) return;
    // A join still being prepared is abandoned; its record is started here instead.
    ++generation_;
  }
  audioOutputStop();
  startInternal(0.0);
}

std::unique_ptr<plugin::Decoder> PlayManager::setupNewDecoderByInfo(const PlaylistItemInfoRef& info,
                                                                   double offset) {
  if (!info) return nullptr;
  const std::string class_name = info->decoder_class();
  const std::string path = info->fullpath();
  if (class_name.empty()) {
    logLine("Decoder Class is not Set.");
    return nullptr;
  }
  auto& plugins = sonara::PluginManager::sharedInstance();
  const plugin::DecoderClass* cls = plugins.decoderClassNamed(class_name, path);
  std::unique_ptr<plugin::Decoder> decoder = cls ? cls->create() : nullptr;
  if (!decoder) {
    logLine("Decoder Allocation Failed.");
    return nullptr;
  }
  if (path.empty() || path[0] != '/') {
    logLine("Invalid Path.");
    return nullptr;
  }
  Dict options;
  {
    std::lock_guard lock(options_mutex_);
    options = options_;
  }
  if (decoder->openByPath(path, &options) != 0) {
    logLine("Cannot Open Path. (%s)", path.c_str());
    return nullptr;
  }
  double start = info->offset() + offset;
  if (start != 0 && decoder->supportsSeek()) {
    if (decoder->seek(sonara::seekTimeOf(start)) != 0) {
      logLine("Couldn't Seek to Offset. (%s)", path.c_str());
    }
  }
  return decoder;
}

int32_t PlayManager::decodeMode() const {
  if (!audio_output_ctx_) return 0;
  const uint32_t caps = audio_output_ctx_->deviceInfo().outputCapabilities;
  if (!(caps & (kDeviceDSD32 | kDeviceDSD16))) return 0;
  if (!(caps & kDeviceDoP)) return 1;
  return target_ ? target_->decodeMode() : 0;
}

double PlayManager::dummyFrameTime(uint32_t format) const {
  if (!audio_output_ctx_) return 0.0;
  const AudioDeviceInfo& info = audio_output_ctx_->deviceInfo();
  return format == plugin::kFormatDoP && decodeMode() == 0 ? info.dummyFrameTime_DoP : info.dummyFrameTime;
}

// Whole frames of silence: a pre-roll of 1102.5 frames (11.025 kHz for 0.1 s) would
// shift every later sample into the other channel.
uint64_t PlayManager::preRollSamples(uint32_t channels, double rate, uint32_t format) const {
  return uint64_t{channels} * static_cast<uint64_t>(rate * dummyFrameTime(format));
}

bool PlayManager::setupDeviceRenewableByDecoder(plugin::Decoder& decoder, bool* changed) {
  const bool was_native = audio_output_ctx_->dsd_native();
  const uint32_t format = decoder.getFormat();
  const bool native = format == plugin::kFormatDoP && decodeMode() == 1;
  audio_output_ctx_->setDsd_native(native);
  *changed = false;
  const double rate = decoder.getSamplingRate();
  bool keep = false;
  if (audio_output_) {
    double r = rate;
    if (native && (audio_output_ctx_->deviceInfo().outputCapabilities & kDeviceDSD32)) r *= 0.5;
    double output_rate =
        sonara::lookup(audio_output_->getAudioOutputReceiveProperties(), AO_KEY_SAMPLINGRATE).asDouble();
    if (native != was_native) *changed = true;
    keep = !*changed && r == output_rate && format == audio_output_format_.load();
    if (!keep) {
      std::lock_guard lock(output_monitor_);
      audio_output_.reset();
    }
  }
  if (!keep) {
    *changed = true;
    auto output = setupNewOutputWithContext(decoder);
    if (!output) return false;
    std::lock_guard lock(output_monitor_);
    audio_output_ = std::move(output);
    audio_output_buffer_frame_size_ = audio_output_->getDeviceBufferFrameSize();
  }
  audio_output_format_ = format;
  audio_output_dummy_sample_size_ += preRollSamples(decoder.getChannels(), rate, format);
  return true;
}

std::unique_ptr<AudioDirectOutput> PlayManager::setupNewOutputWithContext(plugin::Decoder& decoder) {
  const float rate = decoder.getSamplingRate();
  Dict format{{AO_KEY_SAMPLINGRATE, Value(rate)},
              {AO_KEY_CHANNELS, Value(decoder.getChannels())},
              {AO_KEY_BITS, Value(decoder.getBits())},
              {AO_KEY_FORMAT, Value(decoder.getFormat())}};
  auto output = AudioDirectOutput::initWithOutputContext(audio_output_ctx_, format);
  if (!output) return nullptr;
  // Give the device the time of 1024 frames to settle at its new format.
  if (rate > 0) std::this_thread::sleep_for(std::chrono::nanoseconds(static_cast<int64_t>(1.024e12 / rate)));
  return output;
}

bool PlayManager::isOutputFormatMatchFor(plugin::Decoder& decoder) {
  const AudioDeviceInfo& info = audio_output_ctx_->deviceInfo();
  const uint32_t caps = info.outputCapabilities;
  double r = decoder.getSamplingRate();
  uint32_t mask;
  if (decoder.getFormat() != plugin::kFormatDoP) {
    if (!(caps & kDevicePCM)) return false;
    mask = info.notSupport_PCM;
  } else if (audio_output_ctx_->dsd_native()) {
    if (caps & kDeviceDSD16) {
    } else if (caps & kDeviceDSD32) {
      r *= 0.5;
    } else {
      return false;
    }
    mask = info.notSupport_DSD;
  } else {
    if (!(caps & kDeviceDoP)) return false;
    mask = info.notSupport_DoP;
  }
  return !isRateExcluded(mask, r);
}

std::shared_ptr<PlayItem> PlayManager::createPlayItemWith(std::unique_ptr<plugin::Decoder> decoder,
                                                          const PlaylistItemInfoRef& info) {
  auto queue = AudioOutputRingBuffer::create(decoder->getSamplingRate(), decoder->getChannels(),
                                             decoder->getBits(), audio_output_buffer_frame_size_);
  if (!queue) {
    logLine("createPlayItemWith : Create Buffer Failed.");
    return nullptr;
  }
  queue->setCarriesDoP(decoder->getFormat() == plugin::kFormatDoP);
  try {
    return std::make_shared<PlayItem>(std::move(decoder), std::move(queue), info);
  } catch (const std::bad_alloc&) {
    logLine("createPlayItemWith : Create PlayItem Failed.");
    return nullptr;
  }
}

// --- the output ---------------------------------------------------------------------------

void PlayManager::audioOutputStart() {
  std::lock_guard lock(output_monitor_);
  if (restart_delay_timer_started_) {
    restart_delay_start_request_ = true;
    return;
  }
  playOutputLocked();
}

// Under output_monitor_.
void PlayManager::playOutputLocked() {
  if (!audio_output_) return;
  audio_output_->setDelegate(this);
  try {
    audio_output_->play();
  } catch (const sonara::NamedException& e) {
    logLine("%s", e.reason());
  }
}

void PlayManager::audioOutputStop() {
  std::lock_guard lock(output_monitor_);
  if (restart_timer_) sonara::platform::mainLoop().cancel(restart_timer_);
  restart_timer_ = 0;
  restart_delay_timer_started_ = false;
  restart_delay_start_request_ = false;
  if (audio_output_) audio_output_->stop();
  if ((audio_output_ctx_->deviceInfo().outputCapabilities & kDeviceDSDResetOnStop) &&
      !audio_output_ctx_->dsd_native() && audio_output_format_ == plugin::kFormatDoP) {
    restart_delay_timer_started_ = true;
    std::weak_ptr<PlayManager> weak = weak_from_this();
    restart_timer_ = sonara::platform::mainLoop().performAfter(std::chrono::milliseconds(500), [weak] {
      if (auto self = weak.lock()) self->restartDelayTimerProc();
    });
  }
}

void PlayManager::restartDelayTimerProc() {
  std::lock_guard lock(output_monitor_);
  restart_delay_timer_started_ = false;
  restart_timer_ = 0;
  if (!restart_delay_start_request_) return;
  restart_delay_start_request_ = false;
  playOutputLocked();
}

// --- stopping, pausing, seeking --------------------------------------------------------------

void PlayManager::stop() { stop(true); }

void PlayManager::stop(bool join) {
  PlaylistItemInfoRef noted = getCurrentInfo();
  playing_ = false;
  paused_ = false;
  audioOutputStop();
  std::vector<std::shared_ptr<PlayItem>> dropped;
  {
    std::lock_guard events(delegate_event_lock_);
    std::lock_guard items(items_monitor_);
    while (auto item = removeFirstItem()) {
      stopDecoding(*item);
      dropped.push_back(std::move(item));
    }
    play_infos_.clear();
    ++generation_;
  }
  dropped.clear();
  if (join) {
    joinAllThreads();
    if (target_) target_->stoped(noted);
  }
}

void PlayManager::stopDecoding(PlayItem& item) {
  auto& queue = *item.buffer();
  std::lock_guard lock(queue.condLock());
  item.continue_decode_ = false;
  queue.cond().notify_all();
}

void PlayManager::pause() {
  audioOutputStop();
  paused_ = true;
}

void PlayManager::restart() {
  audioOutputStart();
  paused_ = false;
}

bool PlayManager::seek(uint64_t ns) {
  std::shared_ptr<PlayItem> item;
  {
    std::lock_guard lock(items_monitor_);
    item = itemAt(0);
  }
  if (!item || !item->decoder().supportsSeek()) return false;
  {
    std::lock_guard lock(item->decoderLock());
    if (!item->decoder_drained_) {
      if (item->decoder().seek(ns + sonara::seekTimeOf(item->offset_)) != 0) return false;
      if (item->buffer()->carriesDoP()) {
        item->buffer()->clearDoPSamples();
      } else {
        item->buffer()->clearSamples();
      }
      item->buffer()->setTimestamp(ns);
      item->buffer()->wake();  // refills now, also while paused
      return true;
    }
  }
  // The whole track has been decoded (or its decoding thread is leaving): emptying
  // its queue would end it, so it starts again at the new position.
  const bool was_paused = paused_;
  stop(false);
  addInfo(item->info());
  startWithOffset(static_cast<double>(ns) / 1e9);
  if (was_paused) pause();
  return true;
}

uint64_t PlayManager::getTimestamp() {
  std::lock_guard lock(items_monitor_);
  auto item = itemAt(0);
  return item ? item->buffer()->getTimestamp() : 0;
}

PlaylistItemInfoRef PlayManager::getCurrentInfoAndTimestamp(uint64_t* timestamp_ns) {
  std::lock_guard lock(items_monitor_);
  auto item = itemAt(0);
  *timestamp_ns = item ? item->buffer()->getTimestamp() : 0;
  return item ? item->info() : nullptr;
}

// --- the real-time hand-over ---------------------------------------------------------------

std::shared_ptr<AudioOutputBuffer> PlayManager::outputWillStart() {
  std::lock_guard events(delegate_event_lock_);
  std::lock_guard items(items_monitor_);
  auto item = itemAt(0);
  if (!item) return nullptr;
  std::shared_ptr<AudioOutputBuffer> queue = item->buffer();
  events_.push(kStarted, std::move(item));
  return queue;
}

void PlayManager::outputFinished() {
  std::lock_guard events(delegate_event_lock_);
  std::lock_guard items(items_monitor_);
  if (auto item = removeFirstItem()) events_.push(kFinished, std::move(item));
  if (items_count_ == 0) events_.push(play_infos_.empty() ? kFinishedAll : kStartNextTrack, nullptr);
}

AudioOutputBuffer* PlayManager::getConditionVariableOfDecodeThread() {
  std::lock_guard lock(items_monitor_);
  return items_count_ ? play_items_[items_head_]->buffer().get() : nullptr;
}

// The controller hears of the real-time thread's events here, in order, on a thread
// that may allocate, lock and log; the items handed over are released here too.
void PlayManager::eventLoop() {
  sonara::platform::nameThisThread("sonara-events");
  while (!events_stopping_.load()) {
    events_.waitAndDrain([this](RtEventQueue<PlayItem>::Event& e) {
      if (events_stopping_.load()) return;
      switch (e.kind) {
        case kStarted:
          noteBitDepth(*e.payload->info());
          if (target_) target_->started(e.payload->info());
          break;
        case kFinished:
          if (target_) target_->finished(e.payload->info());
          break;
        case kDecodedFinished:
          if (target_) {
            target_->decoded(e.payload->info());
            target_->finished(e.payload->info());
          }
          break;
        case kFinishedAll:
        case kStartNextTrack: {
          std::weak_ptr<PlayManager> weak = weak_from_this();
          bool all = e.kind == kFinishedAll;
          sonara::platform::mainLoop().post([weak, all] {
            auto self = weak.lock();
            if (!self) return;
            if (!all) {
              self->startNextTrack();
            } else if (self->target_) {
              self->target_->finishedAll();
            }
          });
          break;
        }
      }
      std::unique_lock output(output_monitor_, std::try_to_lock);
      if (output && audio_output_) audio_output_->collectReleasedQueues();
    });
  }
}
