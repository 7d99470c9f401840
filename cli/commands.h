// The headless player's subcommands.
#pragma once

#include <optional>
#include <string>
#include <vector>

class PlaylistArrayController;

namespace pelmora::cli {

int listPlugins(bool json);
int listDevices(bool json, bool verbose);
int showInfo(const std::vector<std::string>& files, bool json);
int listDiscs(bool json);

struct DecodeRequest {
  std::string file;
  double start_s = 0;
  double length_s = 0;  // 0: to the end
  std::string output;
};
int decodeToFile(const DecodeRequest& request);

struct ListRequest {
  std::vector<std::string> items;
  bool json = false;
  std::string save;  // a playlist file to write, when given
};
int listRecords(const ListRequest& request);
// Writes the model's rows as a playlist file of the kind its extension names; false
// (said on standard error) when it cannot.
bool saveRecords(const PlaylistArrayController& model, const std::string& path);

}  // namespace pelmora::cli
