// pelmora-cli play: the headless player.
#pragma once

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
};

int play(const PlayRequest& request);

}  // namespace pelmora::cli
