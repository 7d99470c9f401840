// pelmora-cli: the headless player over the engine's Toolkit API.
#include <CLI/CLI.hpp>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <iostream>

#include "build_config.h"
#include "cli/commands.h"
#include "cli/play_command.h"

namespace {

constexpr int kUsageError = 2;

// Times are seconds from 0 up to a day; anything else is a mistake on the command line.
const CLI::Validator kSeconds(
    [](std::string& text) -> std::string {
      char* end = nullptr;
      double v = std::strtod(text.c_str(), &end);
      if (text.empty() || !end || *end != '\0' || !std::isfinite(v)) return "not a number of seconds: " + text;
      if (v < 0) return "a time cannot be negative: " + text;
      if (v > 86400) return "a time beyond 24 hours is out of range: " + text;
      return {};
    },
    "SECONDS");

// The player seeks in whole seconds; a fraction would be dropped without a word.
const CLI::Validator kWholeSeconds(
    [](std::string& text) -> std::string {
      if (std::string error = kSeconds(text); !error.empty()) return error;
      double v = std::strtod(text.c_str(), nullptr);
      if (v != std::floor(v)) return "play starts at whole seconds: " + text;
      return {};
    },
    "SECONDS");

const char* const kPlayFooter = R"(Keys (on a terminal):
  space or p  pause / resume
  n           next track (while --ram decodes a track: skip to the next one)
  b           back: restart the track when 3 s or more into it or on the first
              track, else the previous track
  q           stop and exit (while --ram decodes a track: cancel it and exit)
Signals:
  SIGUSR1 pause / resume, SIGUSR2 next track;
  SIGINT (Ctrl-C), SIGTERM, SIGHUP stop and give the device back as it was found.
Desktop remote control (MPRIS2, unless --no-mpris):
  org.mpris.MediaPlayer2.pelmora on the session bus (.instance<PID> when taken):
  media keys and `playerctl -p pelmora` pause, skip, seek, set loop and shuffle;
  Stop and Quit end the run as q does.
Exit status:
  0    the playlist has played (or q was pressed)
  1    nothing could be played, the device could not be opened or went away,
       or the CD played was ejected
  2    usage error (unknown option or device, bad value or time)
  129  SIGHUP, 130 SIGINT, 143 SIGTERM, unless the playlist had already ended)";

}  // namespace

int main(int argc, char** argv) {
  using namespace pelmora::cli;
  CLI::App app{"pelmora-cli: bit-perfect playback of PCM and DSD files on an exclusive device"};
  app.set_version_flag("--version", std::string("pelmora-cli ") + PELMORA_VERSION);
  app.require_subcommand(0, 1);

  bool plugins_json = false;
  auto* plugins = app.add_subcommand("plugins", "List the loaded decoder plug-ins");
  plugins->add_flag("--json", plugins_json, "One JSON object per line");

  bool devices_json = false;
  bool devices_verbose = false;
  auto* devices = app.add_subcommand("devices", "List the output devices and what each can play");
  devices->add_flag("--json", devices_json, "One JSON object per line, with UID, USB IDs, table row and flags");
  devices->add_flag("-v,--verbose", devices_verbose, "Also show UID, USB IDs, table row and flags");

  bool info_json = false;
  std::vector<std::string> info_files;
  auto* info = app.add_subcommand("info", "Show what the engine learns of audio files");
  info->add_flag("--json", info_json, "One JSON object per line");
  info->add_option("FILE", info_files, "Audio files")->required();

  DecodeRequest decode_request;
  auto* decode = app.add_subcommand(
      "decode", "Decode a file as the play engine does; write raw 32-bit float samples");
  decode->add_option("FILE", decode_request.file, "Audio file")->required();
  decode->add_option("--start", decode_request.start_s, "Start in seconds (default 0)")
      ->check(kSeconds);
  decode->add_option("--length", decode_request.length_s, "Length in seconds (default 0: to the end)")
      ->check(kSeconds);
  decode->add_option("-o,--output", decode_request.output, "Output file")->required();

  ListRequest list_request;
  auto* lister = app.add_subcommand(
      "list", "Show the playlist records the engine builds from files, folders, cue sheets and playlists");
  lister->add_option("ITEM", list_request.items, "Audio files, folders, cue sheets or playlist files")->required();
  lister->add_flag("--json", list_request.json, "One JSON object per line");
  lister->add_option("--save", list_request.save, "Also write the records to this playlist file (.xml, .m3u8 or .m3u)");

  bool cds_json = false;
  auto* cds = app.add_subcommand("cds", "List the audio CDs the desktop has mounted");
  cds->add_flag("--json", cds_json, "One JSON object per line, with the track files");

  PlayRequest play_request;
  auto* player = app.add_subcommand("play", "Play audio files and folders on an output device");
  player->add_option("ITEM", play_request.items,
                     "Audio files, folders, cue sheets or playlist files (none: the last playlist)");
  player->add_option("--device", play_request.device,
                     "Output device: name (any case), UID or number from `devices` (default: the first)");
  player->add_option("--dsd", play_request.dsd,
                     "DSD transport: dop, or native where the device has it (default: dop)")
      ->check(CLI::IsMember({"dop", "native"}));
  player->add_option("--repeat", play_request.repeat, "Repeat mode: off, one or all (default: off)")
      ->check(CLI::IsMember({"off", "one", "all"}));
  auto* cd_option = player->add_option(
      "--cd", play_request.cd_label,
      "Play a mounted audio CD: the first, or the one whose label holds LABEL (see `cds`)");
  cd_option->expected(0, 1)->type_name("[LABEL]");
  player->add_flag("--shuffle", play_request.shuffle, "Play in shuffled order (default: table order)");
  auto* ram_flag = player->add_flag(
      "--ram", play_request.ram,
      "Decode each track whole into memory before it plays (a progress bar shows the decode; q cancels)");
  player->add_option("--ram-limit", play_request.ram_limit_mib,
                     "With --ram: the most memory one track may take, in MiB (default: half the memory "
                     "available at the start)")
      ->type_name("MIB")
      ->check(CLI::Range(1, 2147483647))
      ->needs(ram_flag);
  bool no_remote = false;
  player->add_flag("--no-mpris", no_remote,
                   "No desktop remote control: do not appear on the session bus as an MPRIS2 player");
  player->add_option("--start", play_request.start_s,
                     "Start position in whole seconds in the first track (default 0)")
      ->check(kWholeSeconds);
  player->footer(kPlayFooter);

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForAllHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForVersion& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    app.exit(e);  // prints the message
    return kUsageError;
  }

  if (*plugins) return listPlugins(plugins_json);
  if (*devices) return listDevices(devices_json, devices_verbose);
  if (*info) return showInfo(info_files, info_json);
  if (*decode) return decodeToFile(decode_request);
  if (*lister) return listRecords(list_request);
  if (*cds) return listDiscs(cds_json);
  if (*player) {
    play_request.cd = cd_option->count() > 0;
    play_request.remote = !no_remote;
    return play(play_request);
  }
  std::cout << app.help();
  return 0;
}
