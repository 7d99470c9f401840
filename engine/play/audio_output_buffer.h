// A track's sample queue between its decoding thread and the device's real-time
// output: the stream format, the consumed-element counter that gives the playing
// position, the end-of-input flag, and the condition a decoding thread sleeps on
// while the queue is full. The base answers 0 and does nothing.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

#include "platform/realtime_mutex.h"

class AudioOutputBuffer {
 public:
  virtual ~AudioOutputBuffer() = default;
  AudioOutputBuffer(const AudioOutputBuffer&) = delete;
  AudioOutputBuffer& operator=(const AudioOutputBuffer&) = delete;

  double sampling_rate() const { return sampling_rate_; }
  uint32_t channels() const { return channels_; }
  uint32_t bits() const { return bits_; }
  uint32_t frames() const { return frames_; }
  // Whether the queue holds DoP words (a DSD track) rather than PCM; set before the
  // queue is handed to the output, so that a PCM track joined to a DoP output passes
  // through its packer untouched.
  bool carriesDoP() const { return carries_dop_; }
  void setCarriesDoP(bool dop) { carries_dop_ = dop; }
  // Counts the clears (seeks), so that whoever holds samples taken before one can
  // tell they no longer belong to what follows.
  uint32_t clearCount() const { return clears_.load(std::memory_order_acquire); }

  // Elements the producer may add now.
  virtual uint32_t getRequiredSampleSize() { return 0; }
  // Producer side; returns the elements taken.
  virtual uint32_t addSamples(const float*, uint32_t) { return 0; }
  // Output side (real-time thread); returns the elements given.
  virtual uint32_t getSamples(float*, uint32_t) { return 0; }
  virtual void setTimestamp(uint64_t) {}
  virtual uint64_t getTimestamp() { return 0; }
  virtual void clearSamples() {}
  virtual void clearDoPSamples() {}
  virtual void setInputFinished(bool) {}
  virtual bool inputFinished() { return false; }

  // The decoding thread waits here while the queue is full; the output signals it
  // after every pull, and a stop or a seek wakes it.
  std::mutex& condLock() { return cond_lock_; }
  std::condition_variable& cond() { return cond_; }
  // Decoding thread: sleeps (at most `bound`) until the queue has room for `values`.
  // The decode then refills in one large step instead of a chunk per device cycle,
  // and the output's signal() takes the lock only when that room is there.
  void waitForRoom(uint32_t values, std::chrono::milliseconds bound) {
    std::unique_lock lock(cond_lock_);
    room_wanted_.store(values, std::memory_order_release);
    if (getRequiredSampleSize() < values) cond_.wait_for(lock, bound);
    room_wanted_.store(0, std::memory_order_release);
  }
  // How much room a full queue waits for before decoding again; 0: a chunk's.
  virtual uint32_t refillLevel() const { return 0; }
  // On the real-time thread, after every pull. It never waits for the lock: a decoder
  // holding it is about to wait, and the next cycle's notice finds it waiting.
  void signal() {
    const uint32_t wanted = room_wanted_.load(std::memory_order_acquire);
    if (wanted == 0 || getRequiredSampleSize() < wanted) return;
    std::unique_lock lock(cond_lock_, std::try_to_lock);
    cond_.notify_all();
  }
  void wake() {
    std::lock_guard lock(cond_lock_);
    cond_.notify_all();
  }

 protected:
  AudioOutputBuffer(double rate, uint32_t channels, uint32_t bits, uint32_t frames)
      : sampling_rate_(rate), channels_(channels), bits_(bits), frames_(frames) {}

  // samples_count_ = channels x (t x rate / 10^9), in whole frames.
  void setTimestampLocked(uint64_t ns);
  uint64_t timestampLocked() const;

  const double sampling_rate_;
  const uint32_t channels_;
  const uint32_t bits_;
  const uint32_t frames_;
  sonara::platform::RealtimeMutex lock_;  // guards samples_count_; taken on the real-time thread
  uint64_t samples_count_ = 0;
  std::atomic<bool> input_finished_{false};
  bool carries_dop_ = false;
  std::atomic<uint32_t> clears_{0};

 private:
  std::mutex cond_lock_;
  std::atomic<uint32_t> room_wanted_{0};
  std::condition_variable cond_;
};
