// The client's event protocol: everything the engine tells its client arrives here,
// on the main thread.
#pragma once

#include <cstdint>

class AudioFileInfo;

class KivSonaraDelegate {
 public:
  virtual ~KivSonaraDelegate() = default;
  virtual void songSwitch() = 0;
  virtual void stateDidChange(int32_t state) = 0;  // 0 stopped, 1 playing, 2 paused
  // Codes: 0 device lost, 1 no play engine, 2 track skipped, 3 decoding failed,
  // 4 out of memory in RAM play mode. `info` describes the track, or is null.
  virtual void notifyError(int32_t code, const AudioFileInfo* info) = 0;
  virtual void notifyPos(uint32_t position, uint32_t total) = 0;  // whole seconds
  virtual void playlistStateDidChange(int32_t state) = 0;
  virtual void playlistSelectionDidChange(bool selected) = 0;
  virtual void propertiesMenuSelected() = 0;
  virtual void checkForLastConnectedDevice() = 0;
};
