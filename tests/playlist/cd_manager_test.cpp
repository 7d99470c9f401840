// Finding the mounted audio CDs and their tracks in folders laid out as the desktop
// mounts them.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "engine/api/constants.h"
#include "engine/playlist/cd_manager.h"
#include "support/log_capture.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;

class CdManagerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR")) saved_runtime_ = runtime;
    ::setenv("XDG_RUNTIME_DIR", dir_.file("run").c_str(), 1);
    ::unsetenv("SONARA_CD_VOLUMES");
  }
  void TearDown() override {
    if (saved_runtime_) {
      ::setenv("XDG_RUNTIME_DIR", saved_runtime_->c_str(), 1);
    } else {
      ::unsetenv("XDG_RUNTIME_DIR");
    }
    ::unsetenv("SONARA_CD_VOLUMES");
  }
  void touch(const std::string& path) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path) << "RIFF";
  }
  std::vector<std::string> labels(const CDManager& discs) {
    std::vector<std::string> out;
    for (const auto& d : discs.info()) out.push_back(sonara::lookup(d, CD_LABEL).asString());
    return out;
  }

  TempDir dir_;
  std::optional<std::string> saved_runtime_;
};

TEST_F(CdManagerTest, ThePlacesComeFromTheEnvironmentWithAnEmptyEntryForTheDesktops) {
  const std::string desktop = dir_.file("run") + "/gvfs";
  EXPECT_EQ(CDManager::searchPlaces(), (std::vector<std::string>{desktop}));
  ::setenv("SONARA_CD_VOLUMES", "/media/a:/media/b", 1);
  EXPECT_EQ(CDManager::searchPlaces(), (std::vector<std::string>{"/media/a", "/media/b"}));
  ::setenv("SONARA_CD_VOLUMES", "/media/a:", 1);
  EXPECT_EQ(CDManager::searchPlaces(), (std::vector<std::string>{"/media/a", desktop}));
  ::unsetenv("SONARA_CD_VOLUMES");
  ::unsetenv("XDG_RUNTIME_DIR");
  EXPECT_TRUE(CDManager::searchPlaces().empty());
  CDManager nowhere;
  EXPECT_FALSE(nowhere.initialize());
}

TEST_F(CdManagerTest, OnlyTheDesktopsAudioDiscsAreLookedIntoAndTracksComeInNumberOrder) {
  const std::string gvfs = dir_.file("run") + "/gvfs";
  for (const char* name : {"Track 10.wav", "Track 2.wav", "Track 1.wav", ".Track 3.wav", "notes.txt"}) {
    touch(gvfs + "/cdda:host=sr0/" + name);
  }
  touch(gvfs + "/smb-share:server=nas,share=music/Track 1.wav");
  touch(gvfs + "/Track 1.wav");  // the place itself is never a disc
  fs::create_directories(gvfs + "/cdda:host=sr0/Track 4.wav");  // a folder, not a track
  fs::create_symlink(gvfs + "/nowhere.wav", gvfs + "/cdda:host=sr0/Track 5.wav");
  touch(gvfs + "/cdda:host=sr1/readme.txt");  // no track: not a disc
  CDManager discs;
  ASSERT_TRUE(discs.initialize());
  ASSERT_EQ(labels(discs), (std::vector<std::string>{"Audio CD (sr0)"}));
  EXPECT_EQ(discs.getContentDirAtIndex(0), gvfs + "/cdda:host=sr0");
  const auto tracks = discs.getContentPathsAtIndex(0);
  ASSERT_TRUE(tracks);
  EXPECT_EQ(*tracks, (std::vector<std::string>{gvfs + "/cdda:host=sr0/Track 1.wav", gvfs + "/cdda:host=sr0/Track 2.wav",
                                               gvfs + "/cdda:host=sr0/Track 10.wav"}));
  EXPECT_FALSE(discs.getContentPathsAtIndex(1));
  EXPECT_FALSE(discs.getContentPathsAtIndex(-1));
}

TEST_F(CdManagerTest, NamedPlacesOfferEveryFolderWithTracksAndThePlaceItself) {
  touch(dir_.file("media/Disc B/Track 1.WAV"));
  touch(dir_.file("media/Disc A/Track 1.wav"));
  touch(dir_.file("media/Empty/cover.jpg"));
  touch(dir_.file("direct/Track 1.wav"));
  ::setenv("SONARA_CD_VOLUMES", (dir_.file("media") + ":" + dir_.file("missing") + ":" + dir_.file("direct")).c_str(), 1);
  CDManager discs;
  ASSERT_TRUE(discs.initialize());
  EXPECT_EQ(labels(discs), (std::vector<std::string>{"Disc A", "Disc B", "direct"}));
  EXPECT_EQ(sonara::lookup(discs.info()[0], CD_URL).asString(), "file://" + dir_.file("media") + "/Disc%20A");
  EXPECT_EQ(discs.getContentDirAtIndex(1), dir_.file("media/Disc B"));

  // A disc gone between the listing and the choice yields nothing, with a log line.
  fs::remove_all(dir_.file("media/Disc B"));
  LogCapture log;
  EXPECT_FALSE(discs.getContentPathsAtIndex(1));
  EXPECT_TRUE(log.contains("getContentPathsAtIndex : CD-DA Contents Enumeration Failed."));
}

}  // namespace
