// A client that records every event the engine sends it.
#pragma once

#include <string>
#include <vector>

#include "engine/api/kiv_sonara_delegate.h"
#include "engine/api/records.h"

struct RecordedError {
  int32_t code;
  std::string file;
};

class RecordingDelegate : public KivSonaraDelegate {
 public:
  void songSwitch() override { ++song_switches; }
  void stateDidChange(int32_t state) override { states.push_back(state); }
  void notifyError(int32_t code, const AudioFileInfo* info) override {
    errors.push_back({code, info ? info->fileName() : std::string()});
  }
  void notifyPos(uint32_t position, uint32_t total) override {
    positions.emplace_back(position, total);
  }
  void playlistStateDidChange(int32_t state) override { playlist_states.push_back(state); }
  void playlistSelectionDidChange(bool selected) override { selections.push_back(selected); }
  void propertiesMenuSelected() override { ++properties_requests; }
  void checkForLastConnectedDevice() override { ++reconnect_requests; }

  int song_switches = 0;
  int properties_requests = 0;
  int reconnect_requests = 0;
  std::vector<int32_t> states;
  std::vector<RecordedError> errors;
  std::vector<std::pair<uint32_t, uint32_t>> positions;
  std::vector<int32_t> playlist_states;
  std::vector<bool> selections;
};
