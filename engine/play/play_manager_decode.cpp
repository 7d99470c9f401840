// The play manager's decoding side: one thread per track, at most one decoding at a
// time and never more than one track beyond the playing one, and the gapless join.
#include <chrono>
#include <thread>

#include "engine/api/constants.h"
#include "engine/play/play_manager.h"
#include "engine/plugin/decoder_host.h"
#include "platform/log.h"
#include "platform/services.h"
#include "platform/thread_name.h"

using sonara::platform::logLine;
namespace plugin = sonara::plugin;

namespace {

bool isDsd(const PlaylistItemInfo& info) { return info.get(TABLE_KEY_SRC_BITS).asInt() == 1; }

}  // namespace

void PlayManager::addDecodeThreadWithPlayItem(std::shared_ptr<PlayItem> item) {
  auto state = std::make_shared<ThreadState>();
  {
    std::lock_guard lock(threads_monitor_);
    threads_.push_back(state);
  }
  // The thread keeps the engine and its item alive while it runs.
  std::thread([self = shared_from_this(), item = std::move(item), state] {
    self->decodeThread(item);
    state->finished = true;
  }).detach();
}

// Bounded: a decoder stuck in a read (a stalled network share) must not hold the
// main thread. A thread left behind keeps the engine alive until it ends, and ends
// at its next step since its item no longer decodes.
void PlayManager::joinAllThreads() {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  for (;;) {
    {
      std::lock_guard lock(threads_monitor_);
      std::erase_if(threads_, [](const auto& t) { return t->finished.load(); });
      if (threads_.empty()) return;
    }
    if (std::chrono::steady_clock::now() > deadline) {
      logLine("A decoding thread did not stop within 5 s; going on without it.");
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

void PlayManager::postFailure(const PlaylistItemInfoRef& info) {
  std::weak_ptr<PlayManager> weak = weak_from_this();
  sonara::platform::mainLoop().post([weak, info] {
    auto self = weak.lock();
    if (self && self->target_) self->target_->decodeFailed(info);
  });
}

void PlayManager::decodeThread(const std::shared_ptr<PlayItem>& item) {
  sonara::platform::nameThisThread("sonara-decode");
  // A third item waits until the one before it plays.
  for (;;) {
    size_t position = 0;
    {
      std::lock_guard lock(items_monitor_);
      while (position < items_count_ && itemAt(position) != item) ++position;
    }
    if (position < 2 || !playing_ || !item->continue_decode_) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  std::lock_guard decoding(decode_thread_lock_);
  plugin::Decoder& decoder = item->decoder();
  AudioOutputBuffer& queue = *item->buffer();
  const sonara::DecodeWindow window = item->decodeWindow();
  const uint32_t chunk = window.chunk();
  std::vector<float> staging(chunk);
  const uint64_t offset_ns = static_cast<uint64_t>(item->offset_ * 1e9);

  while (playing_ && item->continue_decode_) {
    if (queue.getRequiredSampleSize() < chunk) {
      // The bound is a safety net only: a pull with room, a stop and a seek wake it.
      if (item->continue_decode_) queue.waitForRoom(std::max(chunk, queue.refillLevel()), std::chrono::seconds(1));
      continue;
    }
    bool ended = false;
    if (uint64_t dummies = audio_output_dummy_sample_size_.load(); dummies != 0) {
      uint32_t m = static_cast<uint32_t>(std::min<uint64_t>(dummies, chunk));
      int32_t status;
      {
        // Queued under the decoder's lock, as decoded samples are (see below).
        std::lock_guard lock(item->decoderLock());
        status = decoder.getDummySamples(staging.data(), &m);
        if (status != 0) item->decoder_drained_ = true;
        if (status == 0) {
          const uint64_t t = decoder.getTimestamp();
          queue.addSamples(staging.data(), m);
          queue.setTimestamp(t > offset_ns ? t - offset_ns : 0);
        }
      }
      if (status != 0) {
        // Without silence to give, the pre-roll cannot be played: end the track.
        postFailure(item->info());
        audio_output_dummy_sample_size_ = 0;
        ended = true;
      } else {
        // A decoder that gives no silence for a short request ends the pre-roll.
        uint64_t left = m == 0 ? 0 : dummies - std::min<uint64_t>(m, dummies);
        audio_output_dummy_sample_size_ = left;
      }
    } else {
      uint32_t n;
      int32_t status;
      {
        // Decoding and queueing under one hold of the decoder's lock: a seek clears
        // the queue under the same lock, so samples of the old position can never
        // arrive after the clear. The room for a whole request was there before
        // decoding, and only this thread adds, so the queue takes all of it.
        std::lock_guard lock(item->decoderLock());
        n = window.requestSize(decoder.getTimestamp());
        status = n == 0 ? 0 : decoder.getNextSamples(staging.data(), &n);
        if (status == 0 && n > 0) queue.addSamples(staging.data(), n);
        if (status != 0 || n == 0) item->decoder_drained_ = true;
      }
      if (status != 0) {
        postFailure(item->info());
        ended = true;
      } else if (n == 0) {
        ended = true;
      }
    }
    if (ended) {
      if (item->continue_decode_) decoded(item);
      item->continue_decode_ = false;
      break;
    }
    std::this_thread::yield();
  }
}

void PlayManager::decoded(const std::shared_ptr<PlayItem>& item) {
  PlaylistItemInfoRef next;
  uint64_t generation = 0;
  {
    std::lock_guard lock(delegate_event_lock_);
    {
      std::lock_guard threads(threads_monitor_);
      std::erase_if(threads_, [](const auto& t) { return t->finished.load(); });
    }
    // An item stopped meanwhile (a seek in a drained track starts a new one) joins
    // nothing: the new item will ask for the next record itself.
    if (!holdsItem(item.get())) return;
    // Ended and its successor chosen in one hold of the lock: a choice made anew
    // (updateNextInfo) either comes before and is left to this one, or sees the end
    // and makes it itself; one decoded track is never followed twice.
    item->decoding_ended_ = true;
    next = chooseNextLocked(*item, &generation);
  }
  if (next) joinNext(item, next, generation);
  item->buffer()->setInputFinished(true);
}

bool PlayManager::canJoin(const PlayItem& item, const PlaylistItemInfoRef& next) const {
  double current_rate = item.info()->get(TABLE_KEY_SAMPLERATE).asDouble();
  double next_rate = next->get(TABLE_KEY_SAMPLERATE).asDouble();
  const bool current_dsd = isDsd(*item.info());
  const bool next_dsd = isDsd(*next);
  const uint32_t caps = audio_output_ctx_->deviceInfo().outputCapabilities;
  if (decodeMode() == 1) {
    if (caps & kDeviceDSD32) {
      if (current_dsd) current_rate *= 0.5;
      if (next_dsd) next_rate *= 0.5;
    }
    if (current_dsd != next_dsd) return false;
  } else if ((caps & kDeviceDSDResetOnStop) && current_dsd && !next_dsd) {
    return false;
  }
  return current_rate == next_rate;
}

// Under delegate_event_lock_: the controller queues the record that follows `item`;
// the first queued record is returned with the generation it was chosen in.
PlaylistItemInfoRef PlayManager::chooseNextLocked(const PlayItem& item, uint64_t* generation) {
  if (target_) target_->decoded(item.info());
  if (play_infos_.empty()) return nullptr;
  *generation = generation_.load();
  return play_infos_.front();
}

void PlayManager::joinNext(const std::shared_ptr<PlayItem>& item, const PlaylistItemInfoRef& next,
                           uint64_t generation) {
  if (!canJoin(*item, next)) return;  // the record waits for startNextTrack

  // Opening the next file happens outside the hand-over lock, so the real-time
  // thread never waits for it.
  auto decoder = setupNewDecoderByInfo(next, 0.0);
  if (!decoder) {
    logLine("Decoder Creation Failed.");
    return;
  }
  if (!isOutputFormatMatchFor(*decoder)) return;
  const uint32_t format = decoder->getFormat();
  if (format != audio_output_format_.load()) {
    audio_output_dummy_sample_size_ += preRollSamples(decoder->getChannels(), decoder->getSamplingRate(), format);
    audio_output_format_ = format;
  }
  auto next_item = createPlayItemWith(std::move(decoder), next);
  if (!next_item) {
    logLine("Create PlayItem Failed.");
    return;
  }
  {
    std::lock_guard lock(delegate_event_lock_);
    // Stopped or re-ordered meanwhile: what was prepared is no longer wanted.
    if (generation != generation_.load() || play_infos_.empty() || play_infos_.front() != next) return;
    if (!appendItem(next_item)) return;
    play_infos_.pop_front();
  }
  addDecodeThreadWithPlayItem(std::move(next_item));
}

// The repeat mode or the playlist changed: what follows the playing track is chosen
// anew. The new choice is queued before the hand-over lock is let go, so that the
// output, ending the playing track meanwhile, never finds nothing after it and ends
// playback. With no track in the output the queued record is the one about to start
// (startNextTrack) and stays: without it playback would halt in silence.
void PlayManager::updateNextInfo() {
  std::shared_ptr<PlayItem> current;
  std::vector<std::shared_ptr<PlayItem>> dropped;
  PlaylistItemInfoRef next;
  uint64_t generation = 0;
  {
    std::lock_guard events(delegate_event_lock_);
    {
      std::lock_guard items(items_monitor_);
      current = itemAt(0);
      if (!current) return;
      while (items_count_ > 1) {
        auto last = std::move(play_items_[(items_head_ + items_count_ - 1) % kMaxItems]);
        --items_count_;
        stopDecoding(*last);
        dropped.push_back(std::move(last));
      }
    }
    play_infos_.clear();
    ++generation_;
    // Still decoding: its own end makes the choice (decoded).
    if (current->decoding_ended_) next = chooseNextLocked(*current, &generation);
  }
  dropped.clear();
  if (next) joinNext(current, next, generation);
}
