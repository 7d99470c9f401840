// pelmora-cli list: the playlist records the engine builds from files, folders, cue
// sheets and playlist files, and those lists saved as a playlist file.
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/json_writer.h"
#include "cli/log_lines.h"
#include "engine/api/constants.h"
#include "engine/controller/tk_delegate.h"
#include "engine/playlist/m3u_playlist.h"
#include "engine/playlist/path_matching.h"
#include "engine/playlist/playlist_array_controller.h"
#include "engine/plugin/plugin_manager.h"
#include "platform/path_names.h"

namespace pelmora::cli {
namespace {

std::string absolute(const std::string& path) {
  if (!path.empty() && path[0] == '/') return path;
  char cwd[4096];
  return ::getcwd(cwd, sizeof cwd) ? std::string(cwd) + "/" + path : path;
}

void printRecord(const PlaylistItemInfo& r, bool json) {
  const double rate = r.get(TABLE_KEY_SAMPLERATE).asDouble();
  const int64_t bits = r.get(TABLE_KEY_SRC_BITS).asInt();
  const char* format = bits == 1 ? "dsd" : "pcm";
  if (json) {
    std::puts(JsonObject()
                  .add("id", r.track_id())
                  .add("path", r.fullpath())
                  .add("title", r.title())
                  .add("artist", r.artist())
                  .add("offset", r.offset())
                  .add("duration", r.duration())
                  .add("rate", rate)
                  .add("bits", bits)
                  .add("format", format)
                  .add("decoder", r.decoder_class())
                  .str()
                  .c_str());
    return;
  }
  std::printf("%4llu  %s%s%s\n      %s\n      from %.3f s for %.3f s, %.0f Hz, %lld-bit %s\n",
              static_cast<unsigned long long>(r.track_id()), r.title().c_str(), r.artist().empty() ? "" : " \u2014 ",
              r.artist().c_str(), r.fullpath().c_str(), r.offset(), r.duration(), rate, static_cast<long long>(bits),
              format);
}

void printRefusal(const std::string& path, const std::string& reason, bool json) {
  if (json) {
    std::puts(JsonObject().add("path", path).add("error", reason).str().c_str());
  } else {
    std::printf("   -  %s\n      refused: %s\n", path.c_str(), reason.c_str());
  }
}

}  // namespace

int listRecords(const ListRequest& request) {
  sonara::PluginManager::initializePluginList();
  auto& plugins = sonara::PluginManager::sharedInstance();
  if (plugins.getDecoderExts().empty()) {
    std::fprintf(stderr, "pelmora-cli: no decoder plug-ins are loaded\n");
    return 1;
  }
  PlaylistArrayController model(plugins);
  model.initialize();
  std::vector<std::string> items;
  for (const auto& item : request.items) items.push_back(absolute(item));
  const auto paths = sonara::playlist::pathsMatchingNoCaseExtensions(items, TkDelegate::droppableExtensions());
  if (paths.empty()) {
    std::fprintf(stderr, "pelmora-cli: nothing among the items is a file a plug-in or playlist reader takes\n");
    return 1;
  }
  int refused = 0;
  std::vector<PlaylistItemInfoRef> complete;
  for (const auto& partial : TkDelegate::pathArrayToInfoArray(paths)) {
    PlaylistItemInfoRef record;
    std::string reason;
    {
      LinesWhileOpening lines;
      record = model.createInformationCompletelyByInfo(*partial);
      if (!record) reason = lines.reasonFor(partial->fullpath());
      if (!record && reason.empty()) reason = lines.lastLine();
    }
    if (!record) {
      printRefusal(partial->fullpath(), reason.empty() ? "no decoder takes it" : reason, request.json);
      ++refused;
      continue;
    }
    complete.push_back(std::move(record));
  }
  // Inserting gives the IDs: a playlist file's own where they are free.
  model.insertInfos(complete, 0, false, false);
  for (const auto& r : model.getAllInfos()) printRecord(*r, request.json);
  if (!request.save.empty() && !saveRecords(model, request.save)) return 1;
  return refused == 0 ? 0 : 1;
}

bool saveRecords(const PlaylistArrayController& model, const std::string& path) {
  const std::string ext = sonara::platform::lowerCaseExtension(path);
  size_t left_out = 0;
  if (ext == "xml") {
    if (!model.savePlaylist(path)) return false;
  } else if (ext == "m3u8" || ext == "m3u") {
    if (!sonara::playlist::writeM3U8(path, model.getAllInfos(), &left_out)) return false;
  } else {
    std::fprintf(stderr, "pelmora-cli: %s: playlists are saved as .xml, .m3u8 or .m3u files\n", path.c_str());
    return false;
  }
  std::fprintf(stderr, "pelmora-cli: saved %zu tracks to %s\n", model.getNumInfos() - left_out, path.c_str());
  return true;
}

}  // namespace pelmora::cli
