// Plays a run of items of one format on the device: chooses the transport packer,
// sets the device's physical format and buffer size, and on the device's real-time
// thread pulls samples from the items' queues, changing from one queue to the next
// inside a cycle so that consecutive items join without a gap. Devices switched
// between PCM and native DSD by a USB request are muted around the start and stop
// of output, timed in device sample time.
#pragma once

#include <array>
#include <chrono>
#include <condition_variable>
#include <mutex>

#include "engine/output/audio_direct_output_buffer.h"
#include "engine/output/audio_output.h"
#include "engine/output/deferred_release.h"
#include "platform/realtime_mutex.h"

class AudioDirectOutput final : public AudioOutput {
 public:
  // Null on failure (logged). `format` holds the stream's AO_KEY_* entries.
  static std::unique_ptr<AudioDirectOutput> initWithOutputContext(
      std::shared_ptr<AudioOutputContext> ctx, const sonara::Dict& format);
  ~AudioDirectOutput() override;

  void play() override;  // raises NamedException "ERROR" when the device cannot start
  void stop() override;
  void waitUntilStop();
  void setDelegate(AudioOutputDelegate* delegate) override { target_ = delegate; }
  double getOutputInterval() const override;
  uint32_t getDeviceBufferFrameSize() const override { return buffer_frames_; }
  sonara::Dict getAudioOutputReceiveProperties() const override;
  sonara::Dict getAudioOutputSupplyProperties() const override;

  // Transport, physical format and buffer size for the stream; false when the device
  // takes none of its candidates.
  bool setupTransport(const sonara::Dict& format);
  // setupTransport, and for native DSD the device refuses, DoP where it takes DoP
  // (said when it plays so); false when neither can be set up.
  bool setupWithDoPFallback(const sonara::Dict& format);
  bool setupAudioOutputProperties(const sonara::Dict& format);
  bool setSamplingRate(double rate, uint32_t preferred_bits);
  bool setupBuffer();

  PackerKind packerKind() const { return buff_class_; }
  // Drops queue references the real-time thread let go of.
  void collectReleasedQueues() {
    released_.drain();
    reportRealtimeFaults();
  }

 private:
  explicit AudioDirectOutput(std::shared_ptr<AudioOutputContext> ctx);
  static sonara::audio::Status ioProc(sonara::audio::DeviceId, const sonara::audio::TimeStamp& now,
                                      sonara::audio::IoBuffer& output,
                                      const sonara::audio::TimeStamp& output_time, void* client);
  sonara::audio::Status render(const sonara::audio::TimeStamp& now, sonara::audio::IoBuffer& output,
                               const sonara::audio::TimeStamp& output_time);
  // Returns true when samples may flow this cycle.
  bool stepPhase(const sonara::audio::TimeStamp& now, const sonara::audio::TimeStamp& output_time);
  double dueTime(const sonara::audio::TimeStamp& output_time) const;
  std::chrono::milliseconds muteSequenceBound() const;
  AudioDirectOutputBuffer* takePacker(std::shared_ptr<AudioOutputBuffer> queue);
  void releasePacker();
  PackerKind silenceKind() const;
  void fillSilentData(sonara::audio::IoBuffer& output, uint32_t from_frame) const;
  void place(const float* source, uint32_t source_channels, uint32_t frames,
             sonara::audio::IoBuffer& output, uint32_t at_frame) const;
  bool usbSwitch() const;

  sonara::audio::IoProcId proc_id_ = 0;
  bool proc_created_ = false;
  PackerKind buff_class_ = PackerKind::PCM;
  AudioOutputDelegate* target_ = nullptr;
  // Packers made when the output is created, so the IO thread never allocates.
  std::array<std::unique_ptr<AudioDirectOutputBuffer>, 2> packers_;
  AudioDirectOutputBuffer* buff_ = nullptr;
  uint32_t buffer_frames_ = 0;
  uint32_t buffer_size_ = 0;
  uint32_t format_channels_ = 2;
  bool non_mixable_ = false;
  // Taken by the IO thread at every cycle of a device switched by a USB request.
  sonara::platform::RealtimeMutex condition_lock_;
  std::condition_variable_any condition_;
  uint32_t phase_ = 0;
  std::atomic<bool> phase_idle_{true};  // the phase found by the last cycle was idle
  bool pcm_in_dop_ = false;  // IO thread: the last samples placed were a PCM track's
  double sample_time_ = 0;
  std::atomic<bool> playing_{false};
  DeferredRelease<AudioOutputBuffer> released_;
  void reportRealtimeFaults();
  static constexpr uint32_t kFaultPackerAllocation = 1;
  static constexpr uint32_t kFaultInvalidChannels = 2;
  std::atomic<uint32_t> rt_faults_{0};
  std::atomic<uint32_t> fault_dst_channels_{0};
};
