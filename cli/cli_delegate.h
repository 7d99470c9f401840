// The headless player's side of the engine's event protocol.
#pragma once

#include "engine/api/kiv_sonara_delegate.h"

namespace pelmora::cli {

class CliDelegate final : public KivSonaraDelegate {
 public:
  void songSwitch() override;
  void stateDidChange(int32_t state) override;
  void notifyError(int32_t code, const AudioFileInfo* info) override;
  void notifyPos(uint32_t position, uint32_t total) override;
  void playlistStateDidChange(int32_t) override {}
  void playlistSelectionDidChange(bool) override {}
  void propertiesMenuSelected() override {}
  void checkForLastConnectedDevice() override;

  int32_t state() const { return state_; }

 private:
  int32_t state_ = 0;
};

}  // namespace pelmora::cli
