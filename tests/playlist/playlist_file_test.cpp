// Playlist files and dropped paths: the XML playlist written and read back value for
// value, file URLs both ways, and folders turned into the list a file manager shows.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "engine/api/constants.h"
#include "engine/playlist/file_url.h"
#include "engine/playlist/path_matching.h"
#include "engine/playlist/playlist_array_controller.h"
#include "engine/playlist/playlist_file.h"
#include "engine/plugin/plugin_manager.h"
#include "platform/property_list.h"
#include "platform/services.h"
#include "support/read_bytes.h"
#include "support/temp_dir.h"

namespace {

using sonara::Array;
using sonara::Dict;
using sonara::Value;
namespace pl = sonara::playlist;

PlaylistItemInfoRef row(uint64_t id, const std::string& path, double offset, double duration,
                        const std::string& title = "T", const std::string& artist = "A") {
  auto info = std::make_shared<PlaylistItemInfo>();
  info->setTrack_id(id);
  info->setFullpath(path);
  info->setOffset(offset);
  info->setDuration(duration);
  info->setTitle(title);
  info->setArtist(artist);
  return info;
}

TEST(PlaylistFile, RowsAreWrittenByIdInTableOrder) {
  const Dict root = pl::playlistDictionary({row(3, "/m/b.flac", 0, 10), row(12, "/m/a.flac", 0, 20)});
  const Value& items = root.at("Playlists").asArray().at(0)["Playlist Items"];
  ASSERT_EQ(items.asArray().size(), 2u);
  EXPECT_EQ(items.asArray()[0]["Track ID"].asInt(), 3);
  EXPECT_EQ(items.asArray()[1]["Track ID"].asInt(), 12);
  const Dict& tracks = root.at("Tracks").asDict();
  ASSERT_EQ(tracks.size(), 2u);
  EXPECT_EQ(tracks.at("12")["Location"].asString(), "file:///m/a.flac");
  EXPECT_EQ(tracks.at("3")["Optional Offset Time"].asInt(), 0);
  EXPECT_EQ(tracks.at("3")["Optional Duration Time"].asInt(), 1000);
}

TEST(PlaylistFile, TimesAreKeptInTruncatedHundredths) {
  const Dict root = pl::playlistDictionary({row(1, "/a.flac", 183.4567, 0.004)});
  EXPECT_EQ(root.at("Tracks")["1"]["Optional Offset Time"].asInt(), 18345);
  EXPECT_EQ(root.at("Tracks")["1"]["Optional Duration Time"].asInt(), 0);
  // Read by the hundredths alone (a file of another program's), the times are
  // those hundredths.
  Dict track = root.at("Tracks")["1"].asDict();
  track.erase("Optional Offset Seconds");
  track.erase("Optional Duration Seconds");
  Dict coarse = root;
  coarse["Tracks"] = Value(Dict{{"1", Value(track)}});
  const auto back = pl::recordsFromPlaylistDictionary(coarse);
  ASSERT_EQ(back.size(), 1u);
  EXPECT_DOUBLE_EQ(back[0]->offset(), 183.45);
  EXPECT_DOUBLE_EQ(back[0]->duration(), 0);
}

// Beside the hundredths other programs read, the exact seconds: a window read back
// ends on the sample it ended on.
TEST(PlaylistFile, ExactSecondsAreKeptBesideTheHundredths) {
  const double offset = 109956.0 / 44100.0;  // a cue track's start, 2.49333... s
  const double duration = 88597.0 / 44100.0;  // 2.00900... s
  const Dict root = pl::playlistDictionary({row(1, "/a.flac", offset, duration)});
  const Value& track = root.at("Tracks")["1"];
  EXPECT_EQ(track["Optional Offset Time"].asInt(), 249);
  EXPECT_EQ(track["Optional Duration Time"].asInt(), 200);
  EXPECT_DOUBLE_EQ(track["Optional Offset Seconds"].asDouble(), offset);
  EXPECT_DOUBLE_EQ(track["Optional Duration Seconds"].asDouble(), duration);
  const auto text = sonara::platform::toXmlPropertyList(Value(root));
  const auto parsed = sonara::platform::parsePropertyList(text);
  ASSERT_TRUE(parsed && parsed->isDict());
  const auto back = pl::recordsFromPlaylistDictionary(parsed->asDict());
  ASSERT_EQ(back.size(), 1u);
  EXPECT_EQ(back[0]->offset(), offset);
  EXPECT_EQ(back[0]->duration(), duration);
}

// Another program that edits the hundredths leaves the exact seconds behind: when
// they disagree by more than a hundredth, the hundredths win.
TEST(PlaylistFile, ExactSecondsThatDisagreeWithTheHundredthsAreIgnored) {
  Dict root = pl::playlistDictionary({row(1, "/a.flac", 10.5, 20.25)});
  Dict track = root.at("Tracks")["1"].asDict();
  track["Optional Offset Time"] = Value(3000);
  track["Optional Duration Seconds"] = Value("twenty");
  root["Tracks"] = Value(Dict{{"1", Value(track)}});
  const auto back = pl::recordsFromPlaylistDictionary(root);
  ASSERT_EQ(back.size(), 1u);
  EXPECT_DOUBLE_EQ(back[0]->offset(), 30.0);
  EXPECT_DOUBLE_EQ(back[0]->duration(), 20.25);
}

// A track without "Name" or "Artist" leaves them to the file's own tags.
TEST(PlaylistFile, MissingNameAndArtistAreLeftUnset) {
  Dict root = pl::playlistDictionary({row(1, "/a.flac", 0, 2)});
  Dict track = root.at("Tracks")["1"].asDict();
  track.erase("Name");
  track.erase("Artist");
  root["Tracks"] = Value(Dict{{"1", Value(track)}});
  const auto back = pl::recordsFromPlaylistDictionary(root);
  ASSERT_EQ(back.size(), 1u);
  EXPECT_FALSE(back[0]->has(TABLE_KEY_TITLE));
  EXPECT_FALSE(back[0]->has(TABLE_KEY_ARTIST));
}

TEST(PlaylistFile, FileUrlsEscapeWhatAUrlPathMayNotHold) {
  const std::string path = "/Music/Bill Evans/Waltz for Debby #2 100% ü?.flac";
  const std::string url = pl::fileURLFromPath(path);
  EXPECT_EQ(url, "file:///Music/Bill%20Evans/Waltz%20for%20Debby%20%232%20100%25%20%C3%BC%3F.flac");
  EXPECT_EQ(pl::pathFromFileURL(url), path);
  EXPECT_EQ(pl::pathFromFileURL("file://localhost/a%20b.flac"), "/a b.flac");
  EXPECT_FALSE(pl::pathFromFileURL("http://host/a.flac"));
  EXPECT_FALSE(pl::pathFromFileURL("file:///a%2"));   // cut escape
  EXPECT_FALSE(pl::pathFromFileURL("file:///a%00b"));  // an escaped NUL
}

TEST(PlaylistFile, ReadingTakesEveryPlaylistAndSkipsWhatItCannotUse) {
  Dict root = pl::playlistDictionary({row(1, "/one.flac", 0, 1), row(2, "/two.flac", 0, 2)});
  Array& playlists = root.at("Playlists").mutableArray();
  playlists.push_back(Value(Dict{{"Playlist Items", Value(Array{Value(Dict{{"Track ID", Value(2)}}),
                                                                 Value(Dict{{"Track ID", Value(99)}}),
                                                                 Value(Dict{{"Track ID", Value(1)}})})}}));
  root.at("Tracks").mutableDict()["7"] = Value(Dict{{"Track ID", Value(7)}, {"Location", Value("not a url")}});
  playlists.push_back(Value(Dict{{"Playlist Items", Value(Array{Value(Dict{{"Track ID", Value(7)}})})}}));
  const auto records = pl::recordsFromPlaylistDictionary(root);
  std::vector<std::string> paths;
  for (const auto& r : records) paths.push_back(r->fullpath());
  // Both playlists, first first; the ID listed twice twice; 99 (no entry) and 7 (no
  // usable location) left out.
  EXPECT_EQ(paths, (std::vector<std::string>{"/one.flac", "/two.flac", "/two.flac", "/one.flac"}));
  EXPECT_TRUE(pl::recordsFromPlaylistDictionary(Dict{{"Tracks", Value(Dict{})}}).empty());
}

class PlaylistFileOnDisk : public ::testing::Test {
 protected:
  void SetUp() override {
    sonara::platform::installUserDefaults(std::make_shared<sonara::platform::UserDefaults>(dir_.file("d.plist")));
    sonara::PluginManager::initializePluginList();
    model_.initialize();
  }
  void TearDown() override { sonara::platform::installUserDefaults(nullptr); }
  TempDir dir_;
  PlaylistArrayController model_{sonara::PluginManager::sharedInstance()};
};

TEST_F(PlaylistFileOnDisk, ASavedPlaylistReadsBackRowForRow) {
  const std::vector<PlaylistItemInfoRef> rows = {
      row(5, "/Music/A & B/01 – Ünïcödé 100%.flac", 0, 241.37, "Ünïcödé", "A & B"),
      row(6, "/Music/album.flac", 120.5, 200.25, "<Second>", "\"Quoted\""),
  };
  model_.insertInfos(rows, 0, false, false);
  const std::string path = dir_.file("list.xml");
  ASSERT_TRUE(model_.savePlaylist(path));
  const auto back = PlaylistArrayController::parsePlaylistFile(path);
  ASSERT_TRUE(back);
  ASSERT_EQ(back->size(), 2u);
  for (size_t i = 0; i < 2; ++i) {
    EXPECT_EQ((*back)[i]->track_id(), rows[i]->track_id());
    EXPECT_EQ((*back)[i]->fullpath(), rows[i]->fullpath());
    EXPECT_EQ((*back)[i]->title(), rows[i]->title());
    EXPECT_EQ((*back)[i]->artist(), rows[i]->artist());
    EXPECT_DOUBLE_EQ((*back)[i]->offset(), rows[i]->offset());
    EXPECT_DOUBLE_EQ((*back)[i]->duration(), rows[i]->duration());
  }
  // Written again, the file is the same.
  const std::string first = readBytes(path);
  PlaylistArrayController again{sonara::PluginManager::sharedInstance()};
  again.insertInfos(*back, 0, false, false);
  ASSERT_TRUE(again.savePlaylist(dir_.file("again.xml")));
  EXPECT_EQ(readBytes(dir_.file("again.xml")), first);
}

TEST_F(PlaylistFileOnDisk, WhatIsNotAPlaylistReadsAsNothing) {
  std::ofstream(dir_.file("broken.xml")) << "<?xml version=\"1.0\"?><plist><dict><key>Tracks</key>";
  std::ofstream(dir_.file("array.xml")) << sonara::platform::toXmlPropertyList(Value(Array{Value(1)}));
  EXPECT_FALSE(PlaylistArrayController::parsePlaylistFile(dir_.file("broken.xml")));
  EXPECT_FALSE(PlaylistArrayController::parsePlaylistFile(dir_.file("array.xml")));
  EXPECT_FALSE(PlaylistArrayController::parsePlaylistFile(dir_.file("missing.xml")));
  // A write that cannot be done says so.
  EXPECT_FALSE(model_.savePlaylist(dir_.file("broken.xml/list.xml")));
}

// A playlist is the user's document, not a private file: a new one gets what the
// umask lets through, a replaced one keeps its mode, and new folders follow the umask.
TEST_F(PlaylistFileOnDisk, SavedPlaylistsFollowTheUmaskAndKeepTheirMode) {
  model_.insertInfos({row(1, "/Music/a.flac", 0, 10)}, 0, false, false);
  const mode_t old_mask = ::umask(022);
  struct stat st {};
  const std::string fresh = dir_.file("new folder/inner/list.xml");
  ASSERT_TRUE(model_.savePlaylist(fresh));
  ASSERT_EQ(::stat(fresh.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0644u);
  ASSERT_EQ(::stat(dir_.file("new folder/inner").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0755u);
  ASSERT_EQ(::chmod(fresh.c_str(), 0640), 0);
  ASSERT_TRUE(model_.savePlaylist(fresh));
  ASSERT_EQ(::stat(fresh.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  ::umask(old_mask);
}

// ---- Dropped paths ----

class PathMatching : public ::testing::Test {
 protected:
  std::string touch(const std::string& name) {
    const std::string path = dir_.file(name);
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path) << "x";
    return path;
  }
  std::vector<std::string> names(const std::vector<std::string>& paths) {
    std::vector<std::string> out;
    for (const auto& p : paths) out.push_back(p.substr(dir_.path().size() + 1));
    return out;
  }
  TempDir dir_;
};

TEST_F(PathMatching, FoldersGiveTheirFilesInNaturalOrderWithoutHiddenOnes) {
  touch("album/b10.flac");
  touch("album/b2.flac");
  touch("album/B1.FLAC");
  touch("album/.hidden.flac");
  touch("album/.cache/c.flac");
  touch("album/disc 2/a.dsf");
  touch("album/cover.jpg");
  const auto found = pl::pathsMatchingNoCaseExtensions({dir_.file("album")}, {"flac", "dsf"});
  EXPECT_EQ(names(found),
            (std::vector<std::string>{"album/B1.FLAC", "album/b2.flac", "album/b10.flac", "album/disc 2/a.dsf"}));
}

TEST_F(PathMatching, AFileInsideADroppedFolderCountsOnceWhenTheFolderComesFirst) {
  const std::string file = touch("f/song.flac");
  EXPECT_EQ(pl::pathsMatchingNoCaseExtensions({dir_.file("f"), file}, {"flac"}).size(), 1u);
  EXPECT_EQ(pl::pathsMatchingNoCaseExtensions({file, dir_.file("f")}, {"flac"}).size(), 2u);
  // A folder whose name only begins like another's is no parent of it.
  touch("f2/other.flac");
  EXPECT_EQ(pl::pathsMatchingNoCaseExtensions({dir_.file("f"), dir_.file("f2/other.flac")}, {"flac"}).size(), 2u);
}

TEST_F(PathMatching, LinkLoopsAndUnreadableFoldersEndTheWalk) {
  touch("root/a.flac");
  ASSERT_EQ(::symlink(dir_.file("root").c_str(), dir_.file("root/loop").c_str()), 0);
  ASSERT_EQ(::symlink(dir_.file("root/loop").c_str(), dir_.file("root/loop2").c_str()), 0);
  touch("root/locked/b.flac");
  ::chmod(dir_.file("root/locked").c_str(), 0);
  const auto found = pl::pathsMatchingNoCaseExtensions({dir_.file("root")}, {"flac"});
  ::chmod(dir_.file("root/locked").c_str(), 0700);
  ASSERT_FALSE(found.empty());
  EXPECT_EQ(names(found).front(), "root/a.flac");
  // The loop adds nothing more; the locked folder adds its file only for a user
  // (root) who can read it anyway.
  EXPECT_LE(found.size(), 2u);
}

// A folder holding an album's audio file and its cue sheet gives the sheet alone:
// the album is played once, as the sheet's tracks. Files the sheet names outside the
// drop are not touched.
TEST_F(PathMatching, ACueSheetHidesTheAudioFilesItNamesInTheSameDrop) {
  touch("album/album.flac");
  touch("album/bonus.flac");
  std::ofstream(dir_.file("album/album.cue")) << "FILE \"album.flac\" WAVE\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n"
                                                 "FILE \"../other.flac\" WAVE\n  TRACK 02 AUDIO\n    INDEX 01 00:00:00\n";
  touch("other.flac");
  EXPECT_EQ(names(pl::pathsMatchingNoCaseExtensions({dir_.file("album")}, {"flac", "cue"})),
            (std::vector<std::string>{"album/album.cue", "album/bonus.flac"}));
  EXPECT_EQ(names(pl::pathsMatchingNoCaseExtensions({dir_.file("album/album.flac")}, {"flac", "cue"})),
            (std::vector<std::string>{"album/album.flac"}));
  EXPECT_EQ(names(pl::pathsMatchingNoCaseExtensions({dir_.file("other.flac"), dir_.file("album/album.cue")},
                                                    {"flac", "cue"})),
            (std::vector<std::string>{"album/album.cue"}));
}

TEST(NaturalOrder, NumbersCompareByValueAndCaseIsIgnored) {
  EXPECT_TRUE(pl::localizedStandardLess("Track 2.flac", "Track 10.flac"));
  EXPECT_FALSE(pl::localizedStandardLess("Track 10.flac", "Track 2.flac"));
  EXPECT_TRUE(pl::localizedStandardLess("abc", "ABD"));
  EXPECT_TRUE(pl::localizedStandardLess("a.flac", "a1.flac"));
  EXPECT_TRUE(pl::localizedStandardLess("x09", "x10"));
  EXPECT_FALSE(pl::localizedStandardLess("same", "same"));
}

}  // namespace
