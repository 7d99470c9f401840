// RAM play mode's control side: starting an item (a new decode behind the modal
// progress, or the decoded data of the same item again), stopping, seeking inside
// the data and moving on to the next item.
#include "engine/play/ram_play_manager.h"

#include <chrono>
#include <thread>

#include "engine/play/audio_output_expandable_buffer.h"
#include "platform/log.h"
#include "platform/services.h"

using sonara::platform::logLine;
namespace plugin = sonara::plugin;

namespace {

AudioOutputExpandableBuffer& memoryOf(const PlayItem& item) {
  return static_cast<AudioOutputExpandableBuffer&>(*item.buffer());
}

}  // namespace

std::shared_ptr<RAMPlayManager> RAMPlayManager::initWithAudioOutputCtx(std::shared_ptr<AudioOutputContext> ctx,
                                                                       std::atomic<uint8_t>* alive_flag) {
  std::shared_ptr<RAMPlayManager> pm(new RAMPlayManager(std::move(ctx), alive_flag));
  pm->event_thread_ = std::thread([raw = pm.get()] { raw->eventLoop(); });
  return pm;
}

RAMPlayManager::RAMPlayManager(std::shared_ptr<AudioOutputContext> ctx, std::atomic<uint8_t>* alive_flag)
    : PlayManager(std::move(ctx), alive_flag), memory_probe_(&sonara::platform::availablePhysicalMemory) {}

// A decoding thread keeps the engine alive, so none runs by now.
RAMPlayManager::~RAMPlayManager() = default;

void RAMPlayManager::setDelegate(PlayManagerDelegate* delegate) {
  auto* ram = dynamic_cast<RAMPlayManagerDelegate*>(delegate);
  if (delegate && !ram) return;
  ram_target_ = ram;
  PlayManager::setDelegate(ram);
}

// --- starting --------------------------------------------------------------------------

void RAMPlayManager::startInternal(double offset) {
  // The modal progress run turns the main loop, where the owner may let go of the
  // engine: it stays alive until this start is over.
  std::shared_ptr<PlayManager> self = shared_from_this();
  ++starts_in_progress_;
  struct Leave {
    int& depth;
    ~Leave() { --depth; }
  } leave{starts_in_progress_};
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
  // The whole item is decoded whatever the start, so that its data serves every
  // later replay and seek; the start position is found in the data.
  auto decoder = setupNewDecoderByInfo(info, 0.0);
  if (!decoder) return reportStartFailure(false, info);
  bool changed = false;
  if (!setupDeviceRenewableByDecoder(*decoder, &changed) || !isOutputFormatMatchFor(*decoder)) {
    if (!audio_output_ctx_->deviceAlive()) return;
    return reportStartFailure(true, info);
  }
  audio_output_dummy_sample_size_ = 0;  // the decode puts the pre-roll in the data itself

  std::shared_ptr<AudioOutputExpandableBuffer> reused;
  if (prev_item_ && prev_item_->isSameFile(*info)) {
    reused = std::static_pointer_cast<AudioOutputExpandableBuffer>(prev_item_->buffer());
  }
  auto item = createPlayItemWith(std::move(decoder), info, reused);
  if (!item) return reportStartFailure(false, info);
  appendItem(item);
  if (reused) {
    item->continue_decode_ = false;
    item->closeDecoder();
    playFromMemory(item, offset, false);
    return;
  }

  // The previous item's data goes before this one decodes: two long items never
  // need memory at once.
  prev_item_.reset();
  bool cancelled = false;
  decodeAndWait(item, &cancelled);
  if (cancelled || !playing_ || !holdsItem(item.get())) {
    // Cancelled or stopped while decoding: nothing plays.
    removeItem(item);
    return;
  }
  if (item->decode_failed_) {
    // Never a partial item as if it were whole: it is skipped.
    removeItem(item);
    return scheduleNextOrFinish(info);
  }
  item->closeDecoder();
  prev_item_ = item;
  playFromMemory(item, offset, true);
}

std::shared_ptr<PlayItem> RAMPlayManager::createPlayItemWith(std::unique_ptr<plugin::Decoder> decoder,
                                                             const PlaylistItemInfoRef& info,
                                                             std::shared_ptr<AudioOutputExpandableBuffer> reused) {
  std::shared_ptr<AudioOutputExpandableBuffer> queue = std::move(reused);
  if (!queue) {
    queue = AudioOutputExpandableBuffer::create(decoder->getSamplingRate(), decoder->getChannels(),
                                                decoder->getBits(), audio_output_buffer_frame_size_);
    if (!queue) {
      logLine("createPlayItemWith : Create Buffer Failed.");
      return nullptr;
    }
    queue->setCarriesDoP(decoder->getFormat() == plugin::kFormatDoP);
  }
  try {
    return std::make_shared<PlayItem>(std::move(decoder), std::move(queue), info);
  } catch (const std::bad_alloc&) {
    logLine("createPlayItemWith : Create PlayItem Failed.");
    return nullptr;
  }
}

// A fresh decode starting inside the item plays its lead-in silence first, as a
// streamed start does; a replay or a seek goes straight to its place.
void RAMPlayManager::playFromMemory(const std::shared_ptr<PlayItem>& item, double offset, bool fresh) {
  AudioOutputExpandableBuffer& queue = memoryOf(*item);
  if (offset <= 0) {
    queue.seek(0);
  } else if (fresh) {
    queue.seek(0);
    const uint64_t lead_in = preRollFrames(queue);
    queue.jumpAt(lead_in, frameAt(static_cast<uint64_t>(offset * 1e9), queue, lead_in));
  } else {
    seekInternal(static_cast<uint64_t>(offset * 1e9), queue);
  }
  audioOutputStart();
}

uint64_t RAMPlayManager::preRollFrames(AudioOutputExpandableBuffer& queue) const {
  return preRollSamples(queue.channels(), queue.sampling_rate(), audio_output_format_) / queue.channels();
}

// The data begins with the pre-roll silence; `ns` counts from the item's start after
// it. Whole frames of each, counted apart: 44100 x (0.1 + 5.0) in doubles is just
// below 224910 and would land a frame early. A DoP stream carries its marker in
// every frame, alternating: the new position keeps the parity of the frame it is
// reached from, so the alternation runs on across the jump.
uint64_t RAMPlayManager::frameAt(uint64_t ns, AudioOutputExpandableBuffer& queue, uint64_t from_frame) const {
  const long double into = static_cast<long double>(ns) * queue.sampling_rate() / 1e9L;
  uint64_t frame = preRollFrames(queue) + static_cast<uint64_t>(into + 1e-6L);
  if (audio_output_format_ == plugin::kFormatDoP && (frame & 1) != (from_frame & 1)) ++frame;
  return frame;
}

void RAMPlayManager::seekInternal(uint64_t ns, AudioOutputExpandableBuffer& queue) {
  queue.seek(frameAt(ns, queue, queue.getCurrentPos()));
}

// Bounded: the modal run ends as the decode ends, so the thread is leaving by then.
// Without a progress panel to wait in, the wait lasts while the decode goes on, and
// ends 5 s after it stopped making progress (a decoder stuck in a read). After a
// stop it is not waited for again: the stop has waited as long as it waits.
void RAMPlayManager::decodeAndWait(const std::shared_ptr<PlayItem>& item, bool* cancelled) {
  auto state = std::make_shared<ThreadState>();
  {
    std::lock_guard lock(threads_monitor_);
    threads_.push_back(state);
  }
  // Worked out here, before the thread starts: the device may be let go while it runs.
  uint64_t preroll;
  {
    std::lock_guard lock(item->decoderLock());
    preroll = preRollSamples(item->decoder().getChannels(), item->decoder().getSamplingRate(),
                             item->decoder().getFormat());
  }
  if (auto* target = ram_target_.load()) target->readyRAMModal(item->info());
  ++decodes_running_;
  std::thread([self = std::static_pointer_cast<RAMPlayManager>(shared_from_this()), item, state, preroll] {
    self->decodeThread(item, preroll);
    --self->decodes_running_;
    state->finished = true;
  }).detach();
  auto* target = ram_target_.load();
  *cancelled = target ? !target->startRAMModal() : false;

  uint64_t seen = 0;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (!state->finished.load()) {
    if (!playing_) {
      item->continue_decode_ = false;
      *cancelled = true;
      return;
    }
    const uint64_t decoded = decoded_values_.load();
    if (decoded != seen) {
      seen = decoded;
      deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    } else if (std::chrono::steady_clock::now() > deadline) {
      logLine("A decoding thread did not stop within 5 s; going on without it.");
      item->continue_decode_ = false;
      *cancelled = true;
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

void RAMPlayManager::removeItem(const std::shared_ptr<PlayItem>& item) {
  std::shared_ptr<PlayItem> removed;
  {
    std::lock_guard events(delegate_event_lock_);
    std::lock_guard items(items_monitor_);
    if (itemAt(0) == item) removed = removeFirstItem();
  }
}

// The item will not play: the controller chooses what follows, and it starts next.
void RAMPlayManager::scheduleNextOrFinish(const PlaylistItemInfoRef& info) {
  if (target_) target_->decoded(info);
  postNextOrFinish();
}

// Main thread, after an item played out: a stop, then the next item's decode.
void RAMPlayManager::startNextTrack() {
  bool more;
  {
    std::lock_guard lock(delegate_event_lock_);
    if (itemCount() > 0) return;
    more = !play_infos_.empty();
  }
  if (!more) {
    if (target_) target_->finishedAll();
    return;
  }
  audioOutputStop();
  startInternal(0.0);
}

// --- stopping, seeking, the position ----------------------------------------------------

void RAMPlayManager::stop(bool notify) {
  PlaylistItemInfoRef noted = getCurrentInfo();
  playing_ = false;
  paused_ = false;
  audioOutputStop();
  std::vector<std::shared_ptr<PlayItem>> dropped;
  {
    std::lock_guard events(delegate_event_lock_);
    std::lock_guard items(items_monitor_);
    while (auto item = removeFirstItem()) {
      item->continue_decode_ = false;
      dropped.push_back(std::move(item));
    }
    play_infos_.clear();
    ++generation_;
  }
  dropped.clear();
  // A decode sees the stop at its next chunk; once it has gone, nothing it holds (the
  // controller as its delegate, the device) is used any more.
  joinAllThreads();
  if (notify && target_) target_->stoped(noted);
}

// The item starts again at the new position from its decoded data. Refused while
// the item is still decoding: its data is not there yet.
bool RAMPlayManager::seek(uint64_t ns) {
  if (decodes_running_ != 0) return false;
  PlaylistItemInfoRef info = getCurrentInfo();
  if (!info) return false;
  const bool was_paused = paused_;
  stop(false);
  addInfo(info);
  startWithOffset(static_cast<double>(ns) / 1e9);
  if (was_paused) pause();
  return true;
}

// The data's pre-roll is not part of the item: right after a start the position is 0.
uint64_t RAMPlayManager::getTimestamp() {
  uint64_t stamp = 0;
  getCurrentInfoAndTimestamp(&stamp);
  return stamp;
}

PlaylistItemInfoRef RAMPlayManager::getCurrentInfoAndTimestamp(uint64_t* timestamp_ns) {
  std::shared_ptr<PlayItem> item;
  {
    std::lock_guard lock(items_monitor_);
    item = itemAt(0);
  }
  *timestamp_ns = 0;
  if (!item) return nullptr;
  const uint64_t stamp = item->buffer()->getTimestamp();
  const auto preroll = static_cast<uint64_t>(dummyFrameTime(audio_output_format_) * 1e9);
  *timestamp_ns = stamp > preroll ? stamp - preroll : 0;
  return item->info();
}

// --- the real-time hand-over ---------------------------------------------------------------

// The item played out: the controller hears decoded: (and queues what follows) and
// finished:, and the next item starts on the main thread after a stop.
void RAMPlayManager::outputFinished() {
  std::lock_guard events(delegate_event_lock_);
  std::lock_guard items(items_monitor_);
  if (auto item = removeFirstItem()) events_.push(kDecodedFinished, std::move(item));
  events_.push(kStartNextTrack, nullptr);
}
