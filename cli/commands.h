// The headless player's subcommands.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace pelmora::cli {

int listPlugins(bool json);
int listDevices(bool json, bool verbose);
int showInfo(const std::vector<std::string>& files, bool json);

struct DecodeRequest {
  std::string file;
  double start_s = 0;
  double length_s = 0;  // 0: to the end
  std::string output;
};
int decodeToFile(const DecodeRequest& request);

}  // namespace pelmora::cli
