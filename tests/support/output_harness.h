// Plays prepared sample queues through the direct output on a virtual device and
// returns what the device captured.
#pragma once

#include <chrono>
#include <deque>
#include <fstream>
#include <mutex>
#include <thread>

#include "engine/api/constants.h"
#include "engine/output/audio_direct_output.h"
#include "engine/play/audio_output_ring_buffer.h"
#include "plugin/decoder_plugin.h"
#include "support/read_bytes.h"
#include "support/temp_dir.h"
#include "support/virtual_devices.h"
#include "support/wait_for.h"

// Hands out queues in order, as the play engine would.
class QueueFeeder : public AudioOutputDelegate {
 public:
  void add(std::shared_ptr<AudioOutputBuffer> q) {
    std::lock_guard lock(mutex_);
    queues_.push_back(std::move(q));
  }
  std::shared_ptr<AudioOutputBuffer> outputWillStart() override {
    std::lock_guard lock(mutex_);
    if (queues_.empty()) return nullptr;
    auto q = queues_.front();
    queues_.pop_front();
    ++started_;
    return q;
  }
  void outputFinished() override { ++finished_; }
  AudioOutputBuffer* getConditionVariableOfDecodeThread() override { return nullptr; }
  int finished() const { return finished_.load(); }
  int started() const { return started_.load(); }

 private:
  std::mutex mutex_;
  std::deque<std::shared_ptr<AudioOutputBuffer>> queues_;
  std::atomic<int> started_{0};
  std::atomic<int> finished_{0};
};

inline std::shared_ptr<AudioOutputBuffer> makeQueue(double rate, uint32_t channels,
                                                    const std::vector<float>& values,
                                                    uint32_t frames = 512, bool finished = true,
                                                    bool dop = false) {
  auto q = AudioOutputRingBuffer::create(rate, channels, 32, frames);
  q->setCarriesDoP(dop);
  q->addSamples(values.data(), static_cast<uint32_t>(values.size()));
  q->setInputFinished(finished);
  return q;
}

inline sonara::Dict streamFormat(double rate, uint32_t channels, uint32_t format) {
  return sonara::Dict{{AO_KEY_SAMPLINGRATE, sonara::Value(rate)},
                      {AO_KEY_CHANNELS, sonara::Value(channels)},
                      {AO_KEY_BITS, sonara::Value(32)},
                      {AO_KEY_FORMAT, sonara::Value(format)}};
}



// Whether the device keeps what it receives in a capture file (see CaptureSink). A
// benchmark keeps none: on a paced device the capture is written and flushed from the
// IO thread at every cycle, gigabytes in a long run, which is not what it measures.
enum class Capture { File, None };

class OutputHarness {
 public:
  explicit OutputHarness(DeviceJson device, Capture capture = Capture::File) {
    if (capture == Capture::None) {
      device.capture.clear();
    } else if (device.capture.empty()) {
      device.capture = dir_.file("capture.raw");
    }
    capture_ = device.capture;
    hal_ = makeVirtualHal({device});
    list_ = std::make_unique<AudioDeviceList>(*hal_);
    list_->initialize();
    ctx_ = AudioOutputContext::initWithList(*list_, 0);
  }
  std::unique_ptr<AudioDirectOutput> output(const sonara::Dict& format, bool dsd_native = false) {
    ctx_->setDsd_native(dsd_native);
    auto out = AudioDirectOutput::initWithOutputContext(ctx_, format);
    if (out) out->setDelegate(&feeder_);
    return out;
  }
  // Plays until `items` items have finished, then stops.
  bool playItems(AudioDirectOutput& out, int items) {
    out.play();
    bool ok = waitFor([&] { return feeder_.finished() >= items; });
    out.stop();
    return ok;
  }
  std::string captured() const { return readBytes(capture_); }
  std::string events() const { return readBytes(capture_ + ".log"); }

  TempDir dir_;
  std::string capture_;
  std::shared_ptr<sonara::audio::VirtualHal> hal_;
  std::unique_ptr<AudioDeviceList> list_;
  std::shared_ptr<AudioOutputContext> ctx_;
  QueueFeeder feeder_;
};
