// The play engine: opens a decoder per playlist record, makes the output device fit
// the stream, decodes each track on a thread of its own into a sample queue, and
// serves the queues to the real-time output one after another. When a track has been
// decoded it asks the controller for the next record and, when the output can play
// it as it stands, opens it at once so that the output moves on without a gap;
// otherwise the next track starts after the output has drained.
#pragma once

#include <atomic>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "engine/output/audio_direct_output.h"
#include "engine/play/play_item.h"
#include "engine/play/play_manager_delegate.h"
#include "engine/play/rt_event_queue.h"
#include "platform/main_loop.h"

class PlayManager : public AudioOutputDelegate, public std::enable_shared_from_this<PlayManager> {
 public:
  // `alive_flag` is set to 1 now and to 0 when the engine is finally destroyed.
  static std::shared_ptr<PlayManager> initWithAudioOutputCtx(std::shared_ptr<AudioOutputContext> ctx,
                                                            std::atomic<uint8_t>* alive_flag);
  ~PlayManager() override;
  // For an owner that gives up waiting for an engine held by a decoder stuck in a
  // read: the output and the device are let go now, and the engine, when it finally
  // ends, no longer writes its alive flag (the owner may be gone by then).
  void abandon();
  PlayManager(const PlayManager&) = delete;
  PlayManager& operator=(const PlayManager&) = delete;

  virtual void setDelegate(PlayManagerDelegate* delegate) { target_ = delegate; }
  void setDecoderOptions(const sonara::Dict& options);
  void addInfo(PlaylistItemInfoRef info);
  PlaylistItemInfoRef getCurrentInfo();
  virtual void updateNextInfo();
  void start();
  void startWithOffset(double seconds);
  void stop();
  virtual void stop(bool join);
  void pause();
  void restart();
  virtual bool seek(uint64_t ns);
  virtual uint64_t getTimestamp();
  // The playing record and its position in ns, read together (nothing while idle).
  virtual PlaylistItemInfoRef getCurrentInfoAndTimestamp(uint64_t* timestamp_ns);
  bool playing() const { return playing_.load(); }
  // A start of this engine is under way further up the main thread's stack.
  virtual bool startInProgress() const { return false; }
  bool paused() const { return paused_.load(); }

  // The play manager's own monitor, held by the controller around its calls.
  std::recursive_mutex& monitor() { return monitor_; }

  // AudioOutputDelegate (the device's real-time thread).
  std::shared_ptr<AudioOutputBuffer> outputWillStart() override;
  void outputFinished() override;
  AudioOutputBuffer* getConditionVariableOfDecodeThread() override;

  // For tests and benchmarks.
  AudioOutput* output() const { return audio_output_.get(); }
  size_t itemCount();

 protected:
  explicit PlayManager(std::shared_ptr<AudioOutputContext> ctx, std::atomic<uint8_t>* alive_flag);

  // Main thread.
  virtual void startInternal(double offset);
  virtual void startNextTrack();
  std::unique_ptr<sonara::plugin::Decoder> setupNewDecoderByInfo(const PlaylistItemInfoRef& info,
                                                                 double offset);
  bool setupDeviceRenewableByDecoder(sonara::plugin::Decoder& decoder, bool* changed);
  std::unique_ptr<AudioDirectOutput> setupNewOutputWithContext(sonara::plugin::Decoder& decoder);
  bool isOutputFormatMatchFor(sonara::plugin::Decoder& decoder);
  int32_t decodeMode() const;
  double dummyFrameTime(uint32_t format) const;
  uint64_t preRollSamples(uint32_t channels, double rate, uint32_t format) const;
  std::shared_ptr<PlayItem> createPlayItemWith(std::unique_ptr<sonara::plugin::Decoder> decoder,
                                               const PlaylistItemInfoRef& info);
  void audioOutputStart();
  void audioOutputStop();
  void playOutputLocked();
  void restartDelayTimerProc();
  void reportStartFailure(bool not_supported, const PlaylistItemInfoRef& info);
  void postNextOrFinish();
  void noteBitDepth(const PlaylistItemInfo& info) const;

  // Decoding threads.
  void addDecodeThreadWithPlayItem(std::shared_ptr<PlayItem> item);
  void decodeThread(const std::shared_ptr<PlayItem>& item);
  void decoded(const std::shared_ptr<PlayItem>& item);
  PlaylistItemInfoRef chooseNextLocked(const PlayItem& item, uint64_t* generation);
  // Opens `next` and joins it behind `item` when the output can play it as it stands.
  void joinNext(const std::shared_ptr<PlayItem>& item, const PlaylistItemInfoRef& next, uint64_t generation);
  bool canJoin(const PlayItem& item, const PlaylistItemInfoRef& next) const;
  void joinAllThreads();
  void stopDecoding(PlayItem& item);
  void postToMain(void (PlayManager::*method)());
  void postFailure(const PlaylistItemInfoRef& info);

  // Events of the real-time thread, told to the controller on the event thread.
  // kDecodedFinished: an item of RAM play mode played out (decoded:, then finished:).
  enum EventKind { kStarted = 1, kFinished, kFinishedAll, kStartNextTrack, kDecodedFinished };
  void eventLoop();

  std::shared_ptr<AudioOutputContext> audio_output_ctx_;
  std::unique_ptr<AudioDirectOutput> audio_output_;
  std::mutex output_monitor_;
  std::atomic<uint32_t> audio_output_buffer_frame_size_{512};
  std::atomic<uint64_t> audio_output_dummy_sample_size_{0};
  std::atomic<uint32_t> audio_output_format_{0};
  std::atomic<bool> playing_{false};
  std::atomic<bool> paused_{false};

  std::recursive_mutex monitor_;
  std::recursive_mutex delegate_event_lock_;
  std::deque<PlaylistItemInfoRef> play_infos_;
  // Items opened and not yet finished; the real-time thread reads the first, so the
  // array has a fixed capacity and never allocates.
  static constexpr size_t kMaxItems = 8;
  sonara::platform::RealtimeMutex items_monitor_;  // taken on the real-time thread
  std::array<std::shared_ptr<PlayItem>, kMaxItems> play_items_;
  size_t items_head_ = 0;
  size_t items_count_ = 0;
  std::shared_ptr<PlayItem> itemAt(size_t i);  // under items_monitor_
  bool holdsItem(const PlayItem* item);          // takes items_monitor_
  bool appendItem(std::shared_ptr<PlayItem> item);
  std::shared_ptr<PlayItem> removeFirstItem();
  // Bumped whenever the prepared items are thrown away, so that a decoding thread
  // that prepared the next item meanwhile does not append it.
  std::atomic<uint64_t> generation_{0};

  std::mutex decode_thread_lock_;
  struct ThreadState {
    std::atomic<bool> finished{false};
  };
  std::mutex threads_monitor_;
  std::vector<std::shared_ptr<ThreadState>> threads_;

  PlayManagerDelegate* target_ = nullptr;
  std::mutex options_mutex_;
  sonara::Dict options_;
  std::atomic<uint8_t>* alive_flag_;
  bool restart_delay_timer_started_ = false;
  bool restart_delay_start_request_ = false;
  sonara::platform::DelayedPerformId restart_timer_ = 0;

  RtEventQueue<PlayItem> events_;
  std::atomic<bool> events_stopping_{false};
  std::thread event_thread_;
};
