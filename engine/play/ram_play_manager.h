// The play engine of RAM play mode: each item is decoded whole into memory before
// any of it plays, so that nothing is decoded and no file is read while it sounds.
// The decode runs on a thread of its own while the controller shows a modal
// progress panel; it stops early when the user cancels, when the item passes the
// memory limit, or when the machine's available memory falls below a floor. Playing
// the same item again (a replay or a seek) reuses the decoded data. Items follow
// one another with a stop and a new decode between them, never gaplessly.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "engine/play/play_manager.h"
#include "engine/play/ram_play_manager_delegate.h"
#include "platform/memory_probe.h"

class AudioOutputExpandableBuffer;

class RAMPlayManager final : public PlayManager {
 public:
  // Below this much available memory a decode stops: 300 MiB.
  static constexpr uint64_t kMemoryFloor = 314572800;

  static std::shared_ptr<RAMPlayManager> initWithAudioOutputCtx(std::shared_ptr<AudioOutputContext> ctx,
                                                               std::atomic<uint8_t>* alive_flag);
  ~RAMPlayManager() override;

  // Only a RAMPlayManagerDelegate (or none) is taken; any other is ignored.
  void setDelegate(PlayManagerDelegate* delegate) override;
  // The most decoded data one item may take, bytes.
  void setLimit(uint64_t bytes) { limit_ = bytes; }
  uint64_t limit() const { return limit_.load(); }
  // Where the decode asks for the machine's available memory (tests give their own);
  // set before playback starts.
  void setMemoryProbe(sonara::platform::MemoryProbe probe) { memory_probe_ = std::move(probe); }

  void stop(bool notify) override;
  bool seek(uint64_t ns) override;
  uint64_t getTimestamp() override;
  PlaylistItemInfoRef getCurrentInfoAndTimestamp(uint64_t* timestamp_ns) override;
  // Nothing is prepared ahead, so there is nothing to choose again.
  void updateNextInfo() override {}

  // AudioOutputDelegate (the device's real-time thread).
  void outputFinished() override;

  // On the main thread: a start is under way further up the stack (a track's decode
  // turns the main loop in its progress run); the engine lives until it returns.
  bool startInProgress() const override { return starts_in_progress_ != 0; }

  // For tests: a decoding thread is running.
  bool decoding() const { return decodes_running_.load() != 0; }

 private:
  RAMPlayManager(std::shared_ptr<AudioOutputContext> ctx, std::atomic<uint8_t>* alive_flag);

  // Main thread.
  void startInternal(double offset) override;
  void startNextTrack() override;
  std::shared_ptr<PlayItem> createPlayItemWith(std::unique_ptr<sonara::plugin::Decoder> decoder,
                                               const PlaylistItemInfoRef& info,
                                               std::shared_ptr<AudioOutputExpandableBuffer> reused);
  // Plays `item` from `offset` seconds out of its decoded data; `fresh`: just decoded.
  void playFromMemory(const std::shared_ptr<PlayItem>& item, double offset, bool fresh);
  uint64_t preRollFrames(AudioOutputExpandableBuffer& queue) const;
  // The frame of the data `ns` into the item, reached from `from_frame`.
  uint64_t frameAt(uint64_t ns, AudioOutputExpandableBuffer& queue, uint64_t from_frame) const;
  void seekInternal(uint64_t ns, AudioOutputExpandableBuffer& queue);
  void decodeAndWait(const std::shared_ptr<PlayItem>& item, bool* cancelled);
  void removeItem(const std::shared_ptr<PlayItem>& item);
  void scheduleNextOrFinish(const PlaylistItemInfoRef& info);

  // The decoding thread.
  // `preroll`: values of silence before the item's first sample.
  void decodeThread(const std::shared_ptr<PlayItem>& item, uint64_t preroll);
  void reportMemoryShort(PlayItem& item, bool* reported, const std::string& why);

  // Read by the decoding thread while the controller may let go of the engine.
  std::atomic<RAMPlayManagerDelegate*> ram_target_{nullptr};
  std::atomic<uint64_t> limit_{0};
  sonara::platform::MemoryProbe memory_probe_;
  // Main thread: the last item decoded whole, kept for a replay or a seek.
  std::shared_ptr<PlayItem> prev_item_;
  int starts_in_progress_ = 0;  // main thread
  // Decoding threads alive: a decode started from inside another's progress run
  // overlaps the end of that one.
  std::atomic<int> decodes_running_{0};
  // Values the running decode has queued: its progress, watched while waiting for it.
  std::atomic<uint64_t> decoded_values_{0};
};
