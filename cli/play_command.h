// pelmora-cli play: the headless player.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace pelmora::cli {

struct PlayRequest {
  std::vector<std::string> items;
  std::string device;        // empty: the first output device
  std::string dsd = "dop";   // dop | native
  std::string repeat = "off";  // off | one | all
  bool shuffle = false;
  double start_s = 0;
  bool cd = false;        // play a mounted audio CD instead of items
  std::string cd_label;   // which one; empty: the first
  bool ram = false;       // decode each track whole into memory before it plays
  uint32_t ram_limit_mib = 0;  // the most one track may take; 0: half the memory available
  bool remote = true;     // desktop remote control (MPRIS2) on the session bus
};

int play(const PlayRequest& request);

}  // namespace pelmora::cli
