#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

#include <fstream>
#include <thread>

#include "engine/playlist/playlist_array_controller.h"
#include "engine/plugin/plugin_manager.h"
#include "platform/services.h"
#include "support/dsf_writer.h"
#include "support/log_capture.h"
#include "support/temp_dir.h"

namespace {

class PlaylistModelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    sonara::platform::installUserDefaults(
        std::make_shared<sonara::platform::UserDefaults>(dir_.file("defaults.plist")));
    sonara::PluginManager::initializePluginList();
    model_.initialize();
  }
  void TearDown() override { sonara::platform::installUserDefaults(nullptr); }

  // A partial record that carries a duration: inserted without opening anything.
  static PlaylistItemInfoRef partial(uint64_t id, double duration, const std::string& path = "/none") {
    auto info = std::make_shared<PlaylistItemInfo>();
    if (id) info->setTrack_id(id);
    info->setDuration(duration);
    info->setFullpath(path);
    return info;
  }
  // A DSD64 stereo DSF file lasting `seconds`.
  std::string dsf(const std::string& name, double seconds) {
    DsfSetup setup;
    setup.audio = patternAudio(2, static_cast<size_t>(352800 * seconds));
    std::string path = dir_.file(name);
    writeFile(path, buildDsf(setup));
    return path;
  }
  std::vector<uint64_t> ids() {
    std::vector<uint64_t> out;
    for (const auto& r : model_.getAllInfos()) out.push_back(r->track_id());
    return out;
  }

  TempDir dir_;
  PlaylistArrayController model_{sonara::PluginManager::sharedInstance()};
};

TEST_F(PlaylistModelTest, TrackIdsAreNeverReused) {
  model_.insertInfos({partial(0, 1), partial(0, 1), partial(0, 1)}, 0, false, false);
  EXPECT_EQ(ids(), (std::vector<uint64_t>{1, 2, 3}));
  model_.removeInfoAtIndex(2, false);
  model_.insertInfos({partial(0, 1)}, 2, false, false);
  EXPECT_EQ(ids(), (std::vector<uint64_t>{1, 2, 4}));
  model_.resetPlaylist(false);
  model_.insertInfos({partial(0, 1), partial(1, 1)}, 0, false, false);
  EXPECT_EQ(ids(), (std::vector<uint64_t>{5, 6}));  // a proposed 1 is taken: next free
  model_.insertInfos({partial(7, 1), partial(7, 1)}, 0, false, false);
  EXPECT_EQ(ids(), (std::vector<uint64_t>{7, 8, 5, 6}));
}

TEST_F(PlaylistModelTest, TrackIdsNeverWrapToZeroAfterTheLargestWasProposed) {
  model_.insertInfos({partial(0, 1), partial(UINT64_MAX, 1)}, 0, false, false);
  EXPECT_EQ(ids(), (std::vector<uint64_t>{1, UINT64_MAX}));
  model_.insertInfos({partial(0, 1), partial(UINT64_MAX, 1), partial(0, 1)}, 2, false, false);
  // The largest ID is taken, so new ones are the lowest never handed out; none is 0.
  EXPECT_EQ(ids(), (std::vector<uint64_t>{1, UINT64_MAX, 2, 3, 4}));
  model_.resetPlaylist(false);
  model_.insertInfos({partial(0, 1)}, 0, false, false);
  EXPECT_EQ(ids(), (std::vector<uint64_t>{5}));
}

TEST_F(PlaylistModelTest, ResetsAdvanceTheStoredPlaylistSerial) {
  model_.resetPlaylist(false);
  model_.resetPlaylist(false);
  EXPECT_EQ(sonara::platform::userDefaults().integer(USER_DEFAULT_PLAYLIST_ID_KEY), 2);
  PlaylistArrayController next(sonara::PluginManager::sharedInstance());
  next.initialize();
  next.resetPlaylist(false);
  EXPECT_EQ(sonara::platform::userDefaults().integer(USER_DEFAULT_PLAYLIST_ID_KEY), 3);
}

TEST_F(PlaylistModelTest, CompletesRecordsFromFilesAndCachesThemByModificationTime) {
  std::string path = dsf("cached.dsf", 0.5);
  model_.insertInfos({partial(0, 0, path), partial(0, 0, path)}, 0, false, true);
  auto rows = model_.getAllInfos();
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_NE(rows[0]->track_id(), rows[1]->track_id());
  EXPECT_EQ(rows[0]->decoder_class(), "Selvet");
  EXPECT_DOUBLE_EQ(rows[0]->duration(), 0.5);
  EXPECT_EQ(rows[0]->title(), "cached.dsf");  // no tag: the file name
  EXPECT_EQ(rows[0]->artist(), "");
  EXPECT_EQ(rows[0]->get(TABLE_KEY_SRC_BITS).asInt(), 1);

  // Damage the file but keep its modification time: the cache still answers.
  struct stat st {};
  ::stat(path.c_str(), &st);
  { std::ofstream(path, std::ios::trunc) << "junk"; }
  timespec times[2] = {st.st_atim, st.st_mtim};
  ::utimensat(AT_FDCWD, path.c_str(), times, 0);
  EXPECT_TRUE(model_.createInformationBaseByPath(path).has_value());
  // A new modification time makes it open the file again, which now fails.
  times[1].tv_nsec = (times[1].tv_nsec + 1) % 1000000000;
  ::utimensat(AT_FDCWD, path.c_str(), times, 0);
  LogCapture log;
  EXPECT_FALSE(model_.createInformationBaseByPath(path).has_value());
}

TEST_F(PlaylistModelTest, CueWindowsBeyondTheFileAreRefused) {
  std::string path = dsf("album.dsf", 1.0);
  auto late = partial(0, 0, path);
  late->setOffset(1.5);
  auto last = partial(0, 0, path);
  last->setOffset(0.25);
  auto given = partial(0, 5.0, path);
  given->setOffset(3.0);
  LogCapture log;
  model_.insertInfos({late, last, given}, 0, false, true);
  EXPECT_TRUE(log.contains("createInformationCompletelyByInfo : offset time is informal. (offset:1.500000"));
  auto rows = model_.getAllInfos();
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_DOUBLE_EQ(rows[0]->offset(), 0.25);
  EXPECT_DOUBLE_EQ(rows[0]->duration(), 0.75);
  EXPECT_DOUBLE_EQ(rows[1]->offset(), 3.0);  // given values are kept as they are
  EXPECT_DOUBLE_EQ(rows[1]->duration(), 5.0);
}

TEST_F(PlaylistModelTest, UnreadableFilesAreSkippedWithALine) {
  LogCapture log;
  model_.insertInfos({partial(0, 0, dir_.file("nothing.dsf")), partial(0, 0, "relative.dsf"),
                      partial(0, 0, dir_.file("x.unknown"))},
                     0, false, true);
  EXPECT_EQ(model_.getNumInfos(), 0u);
  EXPECT_TRUE(log.contains("createInformationCompletelyByInfo : Invalid Path."));
  EXPECT_TRUE(log.contains("decoder not found. (" + dir_.file("x.unknown") + ")"));
}

TEST_F(PlaylistModelTest, RemovalsKeepTheCurrentPosition) {
  auto fill = [&] {
    model_.resetPlaylist(false);
    model_.insertInfos({partial(5, 1), partial(9, 1), partial(2, 1)}, 0, false, false);
  };
  fill();
  auto id5 = model_.getAllInfos()[0]->track_id(), id9 = model_.getAllInfos()[1]->track_id(),
       id2 = model_.getAllInfos()[2]->track_id();
  auto at = [&](uint64_t current, uint64_t remove) {
    model_.pointToPlayOrderByTrackID(current);
    model_.removeInfoTrackID(remove, false);
    return model_.getCurrentTrackIDOfPlayOrder();
  };
  EXPECT_EQ(at(id9, id5), id9);
  // Each fill hands out new IDs; find them again.
  fill();
  auto rows = model_.getAllInfos();
  EXPECT_EQ(at(rows[1]->track_id(), rows[1]->track_id()), rows[2]->track_id());
  fill();
  rows = model_.getAllInfos();
  EXPECT_EQ(at(rows[1]->track_id(), rows[2]->track_id()), rows[1]->track_id());
  fill();
  rows = model_.getAllInfos();
  EXPECT_EQ(at(rows[2]->track_id(), rows[2]->track_id()), rows[1]->track_id());
  EXPECT_FALSE(model_.removeInfoAtIndex(-1, false));
  EXPECT_FALSE(model_.removeInfoAtIndex(static_cast<int64_t>(model_.getNumInfos()), false));
  (void)id2;
}

TEST_F(PlaylistModelTest, PlayOrderWalksWithoutWrapping) {
  EXPECT_EQ(model_.getCurrentTrackIDOfPlayOrder(), 0u);
  EXPECT_EQ(model_.getCurrentPlayOrderIndex(), -1);
  EXPECT_FALSE(model_.pointToPlayOrderByTrackID(3));
  model_.insertInfos({partial(0, 1.5), partial(0, 2.5), partial(0, 3)}, 0, false, false);
  model_.pointToPlayOrderByTrackID(3);
  EXPECT_EQ(model_.getNextTrackIDOfPlayOrder(), 0u);
  model_.nextPlayOrder();
  EXPECT_EQ(model_.playOrderPosition(), 2);
  EXPECT_EQ(model_.getPrevTrackIDOfPlayOrder(), 2u);
  EXPECT_FALSE(model_.pointToPlayOrderByTrackID(77));
  EXPECT_EQ(model_.playOrderPosition(), 0);
  EXPECT_EQ(model_.getNextPlayOrderTrackIDFromID(3), 0u);
  EXPECT_EQ(model_.getPrevPlayOrderTrackIDFromID(1), 0u);
  EXPECT_EQ(model_.getNextPlayOrderTrackIDFromID(77), 0u);
  EXPECT_DOUBLE_EQ(model_.getBaseDurationAtPlayOrderIndex(2), 4.0);
  EXPECT_DOUBLE_EQ(model_.getTruncatedBaseDurationAtPlayOrderIndex(2), 3.0);
  EXPECT_DOUBLE_EQ(model_.getBaseDurationAtPlayOrderIndex(0), 0.0);
  EXPECT_DOUBLE_EQ(model_.getBaseDurationAtPlayOrderIndex(3), 0.0);
  EXPECT_DOUBLE_EQ(model_.getBaseDurationPlayOrderAtTrackID(3), 4.0);
  EXPECT_DOUBLE_EQ(model_.getTotalDuration(), 7.0);
  EXPECT_DOUBLE_EQ(model_.getTruncatedTotalDuration(), 6.0);
}

TEST_F(PlaylistModelTest, InsertingWhileShuffledReshufflesAndKeepsTheCurrentTrack) {
  std::vector<PlaylistItemInfoRef> many;
  for (int i = 0; i < 50; ++i) many.push_back(partial(0, 1));
  model_.insertInfos(many, 0, false, false);
  model_.initPlayOrderAtRandom();
  auto before = model_.playOrder();
  model_.pointToPlayOrderByTrackID(17);
  model_.insertInfos({partial(0, 1)}, 10, false, false);
  EXPECT_EQ(model_.playOrderMode(), 2u);
  EXPECT_EQ(model_.getCurrentTrackIDOfPlayOrder(), 17u);
  EXPECT_EQ(model_.playOrder().size(), 51u);
  EXPECT_NE(std::vector<uint64_t>(model_.playOrder().begin(), model_.playOrder().begin() + 10),
            std::vector<uint64_t>(before.begin(), before.begin() + 10));
}

TEST_F(PlaylistModelTest, ChangeReportsCarryTheirType) {
  std::vector<std::string> seen;
  model_.setChangeNotificationTarget([&](const std::vector<PlaylistItemInfoRef>& infos, const char* type) {
    seen.push_back(std::string(type) + ":" + std::to_string(infos.size()));
  });
  model_.insertInfos({partial(0, 1), partial(0, 1)}, 0, true, false);
  model_.setTitle("New", 1, true);
  model_.setSelectionIndexes({0});
  model_.moveSelectedInfoesFrom(0, 2);
  model_.removeAllSelectedInfoes(true);
  model_.resetPlaylist(true);
  model_.insertInfos({partial(0, 1)}, 0, false, false);  // not reported
  EXPECT_EQ(seen, (std::vector<std::string>{"PlaylistChangeNotificatioTypeAdd:2",
                                            "PlaylistChangeNotificatioTypeEdit:1",
                                            "PlaylistChangeNotificatioTypeMove:1",
                                            "PlaylistChangeNotificatioTypeRemove:1",
                                            "PlaylistChangeNotificatioTypeRemove:1"}));
}

TEST_F(PlaylistModelTest, ErrorCountsFollowTheRows) {
  std::string path = dsf("e.dsf", 0.1);
  model_.insertInfos({partial(0, 0, path), partial(0, 0, path)}, 0, false, true);
  auto rows = model_.getAllInfos();
  model_.markErrorTrack(rows[0]);
  model_.markErrorTrack(rows[0]);
  EXPECT_EQ(model_.getErrorCount(rows[0]), 2u);
  EXPECT_EQ(model_.getNumberErrorTracks(), 1u);
  model_.markErrorTrack(partial(0, 1));  // not a row: nothing
  model_.clearErrorTracks();
  EXPECT_EQ(model_.getNumberErrorTracks(), 0u);
}

TEST_F(PlaylistModelTest, RowsCompletedOnAnotherThreadKeepTheirIdentity) {
  std::string path = dsf("shared.dsf", 0.1);
  std::atomic<bool> done{false};
  std::thread worker([&] {
    while (!done) {
      for (const auto& row : model_.getAllInfos()) {
        auto completed = model_.updateCompleteInfoByID(row->track_id());
        if (completed) {
          EXPECT_EQ(completed.get(), row.get());
          model_.markErrorTrack(completed);
          (void)model_.getErrorCount(completed);
        }
      }
      (void)model_.getNextPlayOrderTrackIDFromID(3);
    }
  });
  for (int round = 0; round < 40; ++round) {
    model_.insertInfos({partial(0, 0.1, path), partial(0, 0.1, path)}, 0, false, false);
    model_.removeInfoAtIndex(0, false);
    if (round % 10 == 9) model_.resetPlaylist(false);
  }
  done = true;
  worker.join();
  for (const auto& row : model_.getAllInfos()) EXPECT_TRUE(row->fullpath() == path);
}

}  // namespace
