// The output of the play engine: plays the items' sample queues on the device of an
// open output context.
#pragma once

#include <memory>

#include "engine/output/audio_output_context.h"
#include "engine/play/audio_output_buffer.h"
#include "plugin/value.h"

// What the output asks of the play engine, on the device's real-time thread.
class AudioOutputDelegate {
 public:
  virtual ~AudioOutputDelegate() = default;
  // The queue of the item to play next, reported as started; null when none is ready.
  virtual std::shared_ptr<AudioOutputBuffer> outputWillStart() = 0;
  // The current queue is finished and drained.
  virtual void outputFinished() = 0;
  // The queue whose decoder waits for free space, to be woken after every pull.
  virtual AudioOutputBuffer* getConditionVariableOfDecodeThread() = 0;
};

class AudioOutput {
 public:
  explicit AudioOutput(std::shared_ptr<AudioOutputContext> ctx) : ctx_(std::move(ctx)) {}
  virtual ~AudioOutput() = default;
  virtual void play() {}
  virtual void stop() {}
  virtual void setDelegate(AudioOutputDelegate*) {}
  virtual double getOutputInterval() const { return 0.0; }
  virtual uint32_t getDeviceBufferFrameSize() const { return 0; }
  virtual sonara::Dict getAudioOutputReceiveProperties() const { return {}; }
  virtual sonara::Dict getAudioOutputSupplyProperties() const { return {}; }
  void detatchOutputContext() { ctx_.reset(); }
  const std::shared_ptr<AudioOutputContext>& context() const { return ctx_; }

 protected:
  std::shared_ptr<AudioOutputContext> ctx_;
};
