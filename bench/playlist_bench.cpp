// Playlist insertion: 10,000 partial records that carry durations (no file opened),
// then 1,000 real files with detail, twice: the second time from the cache.
#include <cstdio>

#include "bench/bench_util.h"
#include "engine/playlist/playlist_array_controller.h"
#include "engine/playlist/playlist_file.h"
#include "engine/plugin/plugin_manager.h"
#include "platform/log.h"
#include "platform/services.h"
#include "support/dsf_writer.h"
#include "support/temp_dir.h"

int main() {
  sonara::platform::setLogSink([](const char*, void*) {}, nullptr);
  TempDir dir;
  sonara::platform::installUserDefaults(std::make_shared<sonara::platform::UserDefaults>(dir.file("d.plist")));
  sonara::PluginManager::initializePluginList();
  PlaylistArrayController model(sonara::PluginManager::sharedInstance());
  model.initialize();

  std::vector<PlaylistItemInfoRef> partials;
  for (int i = 0; i < 10000; ++i) {
    auto info = std::make_shared<PlaylistItemInfo>();
    info->setFullpath("/music/track" + std::to_string(i) + ".flac");
    info->setDuration(180.0 + i % 60);
    partials.push_back(info);
  }
  double partial_s = secondsOf([&] { model.insertInfos(partials, 0, false, false); });
  std::printf("10000 partial records: %.0f records/s (%.3f s)\n", 10000 / partial_s, partial_s);

  // The last playlist of those 10,000 rows: stored in the settings file, read back
  // as a fresh start would, and restored; beside the insertion alone.
  auto& defaults = sonara::platform::userDefaults();
  defaults.set("Last Playlist", sonara::Value(sonara::playlist::playlistDictionary(model.getAllInfos())));
  defaults.synchronize();
  double restore_s = secondsOf([&] {
    sonara::platform::UserDefaults fresh(dir.file("d.plist"));
    const auto records = sonara::playlist::recordsFromPlaylistDictionary(fresh.object("Last Playlist").asDict());
    model.resetPlaylist(false);
    model.insertInfos(records, 0, false, false);
  });
  std::printf("restoring a 10000-track last playlist: %.1f ms (%.1f us per track); restore/insert time ratio "
              "%.2f\n",
              restore_s * 1e3, restore_s * 1e6 / 10000, restore_s / partial_s);

  DsfSetup setup;
  setup.audio = patternAudio(2, 4096);
  auto bytes = buildDsf(setup);
  std::vector<PlaylistItemInfoRef> files;
  for (int i = 0; i < 1000; ++i) {
    std::string path = dir.file("f" + std::to_string(i) + ".dsf");
    writeFile(path, bytes);
    auto info = std::make_shared<PlaylistItemInfo>();
    info->setFullpath(path);
    files.push_back(info);
  }
  model.resetPlaylist(false);
  double first_s = secondsOf([&] { model.insertInfos(files, 0, false, true); });
  double second_s = secondsOf([&] { model.insertInfos(files, 0, false, true); });
  std::printf("1000 files with detail: first %.0f records/s (%.3f s), again from the cache %.0f records/s "
              "(%.3f s); second/first time ratio %.3f\n",
              1000 / first_s, first_s, 1000 / second_s, second_s, second_s / first_s);
  sonara::platform::installUserDefaults(nullptr);
  return 0;
}
