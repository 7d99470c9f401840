// What RAM play mode tells its controller besides the play engine's events: the
// modal progress shown while an item decodes into memory, and a decode that ran out
// of memory.
#pragma once

#include "engine/play/play_manager_delegate.h"

class RAMPlayManagerDelegate : public PlayManagerDelegate {
 public:
  // Main thread, before the decoding thread starts: `info` is the item to decode.
  virtual void readyRAMModal(const PlaylistItemInfoRef& info) = 0;
  // Main thread, right after the decoding thread started: shows the progress until
  // endRAMModal; false when the user cancelled.
  virtual bool startRAMModal() = 0;
  // Decoding thread, once before decoding: the item's offset and duration, seconds.
  virtual void updateRAMDecodeProgressRange(double offset, double duration) = 0;
  // Decoding thread, after each chunk: the decoder's position in seconds; false asks
  // the decode to stop.
  virtual bool updateRAMDecodeProgress(double seconds) = 0;
  // Decoding thread, once as the decode ends (also after a stop or a cancel).
  virtual void endRAMModal(const PlaylistItemInfoRef& info) = 0;
  // Decoding thread: the item passed the memory limit or the machine ran short.
  virtual void insufficientMemory(const PlaylistItemInfoRef& info) = 0;
};
