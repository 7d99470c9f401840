// pelmora-cli list: the playlist records the engine builds from files, folders, cue
// sheets and playlist files, and those lists saved as a playlist file.
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/item_scan.h"
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
  // The items as `play` takes them: one at a time, each folder's files one drop.
  const ItemScan scan = scanItems(items, TkDelegate::droppableExtensions());
  if (auto summary = unsupportedSummary(scan.unsupported); !summary.empty()) {
    std::fprintf(stderr, "pelmora-cli: %s\n", summary.c_str());
  }
  if (scan.groups.empty() && scan.problems.empty()) {
    std::fprintf(stderr, "pelmora-cli: nothing among the items is a file a plug-in or playlist reader takes\n");
    return 1;
  }
  int refused = 0;
  for (const auto& problem : scan.problems) {
    printRefusal(problem.path, problem.reason, request.json);
    ++refused;
  }
  std::vector<PlaylistItemInfoRef> complete;
  for (const auto& group : scan.groups) {
    const auto paths = sonara::playlist::pathsMatchingNoCaseExtensions(group, TkDelegate::droppableExtensions());
    for (const auto& path : paths) {
      std::vector<PlaylistItemInfoRef> partials;
      std::string reason;
      {
        LinesWhileOpening lines;
        partials = TkDelegate::pathArrayToInfoArray({path});
        if (partials.empty()) reason = lines.reasonFor(path);
        if (partials.empty() && reason.empty()) reason = lines.lastLine();
      }
      // A playlist or cue sheet that gives nothing is refused with what its reader said.
      if (partials.empty()) {
        printRefusal(path, reason.empty() ? "it lists no track" : reason, request.json);
        ++refused;
        continue;
      }
      for (const auto& partial : partials) {
        PlaylistItemInfoRef record;
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
    }
  }
  // Inserting gives the IDs: a playlist file's own where they are free.
  model.insertInfos(complete, 0, false, false);
  for (const auto& r : model.getAllInfos()) printRecord(*r, request.json);
  if (!request.save.empty()) {
    if (complete.empty()) {
      std::fprintf(stderr, "pelmora-cli: %s not written: no record was read\n", request.save.c_str());
      return 1;
    }
    struct stat st {};
    if (refused > 0 && ::stat(request.save.c_str(), &st) == 0) {
      std::fprintf(stderr,
                   "pelmora-cli: %s not overwritten: %d %s refused, and the playlist would lose %s; save to a "
                   "new file\n",
                   request.save.c_str(), refused, refused == 1 ? "item or entry was" : "items or entries were",
                   refused == 1 ? "it" : "them");
      return 1;
    }
    if (!saveRecords(model, request.save)) return 1;
  }
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
  const size_t saved = model.getNumInfos() - left_out;
  std::fprintf(stderr, "pelmora-cli: saved %zu %s to %s\n", saved, saved == 1 ? "track" : "tracks", path.c_str());
  return true;
}

}  // namespace pelmora::cli
