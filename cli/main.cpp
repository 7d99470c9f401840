// pelmora-cli: the headless player over the engine's Toolkit API.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <iostream>

#include "build_config.h"
#include "cli/commands.h"
#include "cli/play_command.h"

int main(int argc, char** argv) {
  using namespace pelmora::cli;
  CLI::App app{"pelmora-cli: bit-perfect playback of PCM and DSD files on an exclusive device"};
  app.set_version_flag("--version", std::string("pelmora-cli ") + PELMORA_VERSION);
  app.require_subcommand(0, 1);

  bool plugins_json = false;
  auto* plugins = app.add_subcommand("plugins", "List the loaded decoder plug-ins");
  plugins->add_flag("--json", plugins_json, "One JSON object per line");

  bool devices_json = false;
  auto* devices = app.add_subcommand("devices", "List the output devices");
  devices->add_flag("--json", devices_json, "One JSON object per line");

  bool info_json = false;
  std::vector<std::string> info_files;
  auto* info = app.add_subcommand("info", "Show what the engine learns of audio files");
  info->add_flag("--json", info_json, "One JSON object per line");
  info->add_option("FILE", info_files, "Audio files")->required();

  DecodeRequest decode_request;
  auto* decode = app.add_subcommand(
      "decode", "Decode a file as the play engine does; write raw 32-bit float samples");
  decode->add_option("FILE", decode_request.file, "Audio file")->required();
  decode->add_option("--start", decode_request.start_s, "Start in seconds")
      ->check(CLI::NonNegativeNumber);
  decode->add_option("--length", decode_request.length_s, "Length in seconds (0: to the end)")
      ->check(CLI::NonNegativeNumber);
  decode->add_option("-o,--output", decode_request.output, "Output file")->required();

  PlayRequest play_request;
  auto* player = app.add_subcommand("play", "Play audio files and folders on an output device");
  player->add_option("ITEM", play_request.items, "Audio files or folders")->required();
  player->add_option("--device", play_request.device, "Output device name (default: the first)");
  player->add_option("--dsd", play_request.dsd, "DSD transport when the device takes both")
      ->check(CLI::IsMember({"dop", "native"}));
  player->add_option("--repeat", play_request.repeat, "Repeat mode")->check(CLI::IsMember({"off", "one", "all"}));
  player->add_flag("--shuffle", play_request.shuffle, "Play in shuffled order");
  player->add_option("--start", play_request.start_s, "Start position in seconds")->check(CLI::NonNegativeNumber);

  CLI11_PARSE(app, argc, argv);

  if (*plugins) return listPlugins(plugins_json);
  if (*devices) return listDevices(devices_json);
  if (*info) return showInfo(info_files, info_json);
  if (*decode) return decodeToFile(decode_request);
  if (*player) return play(play_request);
  std::cout << app.help();
  return 0;
}
