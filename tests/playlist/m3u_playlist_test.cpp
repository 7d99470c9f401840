#include "engine/playlist/m3u_playlist.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "engine/controller/tk_delegate.h"
#include "engine/playlist/playlist_array_controller.h"
#include "engine/plugin/plugin_manager.h"
#include "platform/services.h"
#include "support/dsf_writer.h"
#include "support/log_capture.h"
#include "support/read_bytes.h"
#include "support/temp_dir.h"

using sonara::playlist::readM3U;
using sonara::playlist::writeM3U8;
using sonara::Value;

namespace {

void writeText(const std::string& path, const std::string& bytes) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::ofstream(path, std::ios::binary) << bytes;
}

PlaylistItemInfoRef row(const std::string& path, const std::string& title = "", const std::string& artist = "",
                        double duration = 0, double offset = 0) {
  auto info = std::make_shared<PlaylistItemInfo>();
  info->setFullpath(path);
  info->setTitle(title);
  info->setArtist(artist);
  info->setDuration(duration);
  info->setOffset(offset);
  return info;
}

std::vector<std::string> pathsOf(const std::vector<PlaylistItemInfoRef>& records) {
  std::vector<std::string> out;
  for (const auto& r : records) out.push_back(r->fullpath());
  return out;
}

// Each record as "artist|title|path"; a missing field is "-", so a field the
// reader invented shows.
std::vector<std::string> describe(const std::vector<PlaylistItemInfoRef>& records) {
  std::vector<std::string> out;
  for (const auto& r : records) {
    out.push_back((r->has(TABLE_KEY_ARTIST) ? r->artist() : "-") + "|" + (r->has(TABLE_KEY_TITLE) ? r->title() : "-") +
                  "|" + r->fullpath());
  }
  return out;
}

class M3UTest : public ::testing::Test {
 protected:
  // Writes `bytes` as a playlist in the temporary folder and reads it.
  std::optional<std::vector<PlaylistItemInfoRef>> read(const std::string& name, const std::string& bytes) {
    writeText(dir_.file(name), bytes);
    return readM3U(dir_.file(name));
  }
  std::string folder(const std::string& name) const { return dir_.file(name); }

  TempDir dir_;
  LogCapture log_;
};

TEST_F(M3UTest, RoundTripKeepsPathsWithSpacesNonAsciiAndPercent) {
  const std::vector<PlaylistItemInfoRef> rows{
      row("/music/My Album/01 First Song.flac", "First Song", "Some Band", 201.6),
      row("/music/Björk/Jóga – 東京.dsf", "Jóga", "Björk", 305.2),
      row("/music/100%25 pure/%20 100% real.wav", "100% real", "", 0),
      row("/music/untagged track.mp3", "", "", 12.4),
  };
  const std::string out = dir_.file("out.m3u8");
  size_t left_out = 99;
  ASSERT_TRUE(writeM3U8(out, rows, &left_out));
  EXPECT_EQ(left_out, 0u);
  const std::string expected =
      "#EXTM3U\n"
      "#EXTINF:202,Some Band - First Song\n"
      "/music/My Album/01 First Song.flac\n"
      "#EXTINF:305,Björk - Jóga\n"
      "/music/Björk/Jóga – 東京.dsf\n"
      "#EXTINF:-1,100% real\n"
      "/music/100%25 pure/%20 100% real.wav\n"
      "#EXTINF:12,untagged track\n"
      "/music/untagged track.mp3\n";
  EXPECT_EQ(readBytes(out), expected);

  const auto records = readM3U(out);
  ASSERT_TRUE(records);
  EXPECT_EQ(describe(*records), (std::vector<std::string>{
                                    "Some Band|First Song|/music/My Album/01 First Song.flac",
                                    "Björk|Jóga|/music/Björk/Jóga – 東京.dsf",
                                    "-|100% real|/music/100%25 pure/%20 100% real.wav",
                                    "-|untagged track|/music/untagged track.mp3",
                                }));
  // The seconds of #EXTINF are rounded; the file's own duration is what plays.
  for (const auto& r : *records) EXPECT_FALSE(r->has(TABLE_KEY_DURATION)) << r->fullpath();

  for (size_t i = 0; i < records->size(); ++i) (*records)[i]->setDuration(rows[i]->duration());
  const std::string again = dir_.file("again.m3u8");
  ASSERT_TRUE(writeM3U8(again, *records, nullptr));
  EXPECT_EQ(readBytes(again), expected);
}

TEST_F(M3UTest, PathsThatNoLineHoldsGoAsFileURLsAndComeBackExactly) {
  const std::vector<PlaylistItemInfoRef> rows{
      row("/music/latin1-\xE9t\xE9.flac", "Latin-1 name"),
      row("/music/line\nbreak.flac", "Line\nbreak"),
      row("/music/trailing blank ", "Blank"),
  };
  const std::string out = dir_.file("odd.m3u8");
  ASSERT_TRUE(writeM3U8(out, rows, nullptr));
  EXPECT_EQ(readBytes(out),
            "#EXTM3U\n"
            "#EXTINF:-1,Latin-1 name\nfile:///music/latin1-%E9t%E9.flac\n"
            "#EXTINF:-1,Line break\nfile:///music/line%0Abreak.flac\n"
            "#EXTINF:-1,Blank\nfile:///music/trailing%20blank%20\n");
  const auto records = readM3U(out);
  ASSERT_TRUE(records);
  EXPECT_EQ(pathsOf(*records), (std::vector<std::string>{"/music/latin1-\xE9t\xE9.flac", "/music/line\nbreak.flac",
                                                         "/music/trailing blank "}));
}

TEST_F(M3UTest, RelativePathsAreTakenAgainstThePlaylistsFolder) {
  writeText(folder("lists/Win\\dows.flac"), "");  // a Linux name holding a backslash
  const auto records = read("lists/mix.m3u",
                            "a song.flac\n"
                            "./here.flac\n"
                            "sub/deeper.flac\n"
                            "../up.flac\n"
                            "Disc 1\\Track 01.flac\n"
                            "Win\\dows.flac\n"
                            "/absolute/as/is.flac\n"
                            "track:live.flac\n");
  ASSERT_TRUE(records);
  const std::string base = folder("lists");
  EXPECT_EQ(pathsOf(*records), (std::vector<std::string>{
                                   base + "/a song.flac",
                                   base + "/here.flac",
                                   base + "/sub/deeper.flac",
                                   base + "/../up.flac",
                                   base + "/Disc 1/Track 01.flac",
                                   base + "/Win\\dows.flac",
                                   "/absolute/as/is.flac",
                                   base + "/track:live.flac",
                               }));
}

TEST_F(M3UTest, RelativePathsOfAPlaylistNamedRelativelyBecomeAbsolute) {
  writeText(folder("rel/list.m3u8"), "x.flac\n");
  const std::string cwd = std::filesystem::current_path().string();
  std::filesystem::current_path(dir_.path());
  const auto records = readM3U("rel/list.m3u8");
  std::filesystem::current_path(cwd);
  ASSERT_TRUE(records);
  EXPECT_EQ(pathsOf(*records), (std::vector<std::string>{folder("rel/x.flac")}));
}

TEST_F(M3UTest, FileURLsAreDecoded) {
  const auto records = read("urls.m3u8",
                            "file:///music/a%20b%25c.flac\n"
                            "file://localhost/music/%C3%A9t%C3%A9.flac\n"
                            "FILE:///music/upper.flac\n"
                            "file:/music/one-slash.flac\n"
                            "file:///music/bad%zzescape.flac\n"
                            "file://server/share/remote.flac\n");
  ASSERT_TRUE(records);
  EXPECT_EQ(pathsOf(*records), (std::vector<std::string>{"/music/a b%c.flac", "/music/été.flac", "/music/upper.flac",
                                                         "/music/one-slash.flac"}));
  EXPECT_TRUE(log_.contains("urls.m3u8: 2 entries skipped: they are not local files"));
}

TEST_F(M3UTest, ExtinfGivesTitleAndArtistOfTheNextEntryOnly) {
  const auto records = read("info.m3u",
                            "#EXTM3U\n"
                            "#EXTINF:123,Artist Name - Song Title\n"
                            "one.flac\n"
                            "two.flac\n"
                            "#EXTINF:-1,Just A Title\n"
                            "# a comment between the line and its entry\n"
                            "#EXTGRP:Group\n"
                            "three.flac\n"
                            "#EXTINF:-1 tvg-name=\"a, b\" group-title=\"x\",Band - Song - Live Mix\n"
                            "four.flac\n"
                            "#extinf:5,  Spaced   -   Out  \n"
                            "five.flac\n"
                            "#EXTINF:7\n"
                            "six.flac\n"
                            "#EXTINF:8,\n"
                            "seven.flac\n");
  ASSERT_TRUE(records);
  const std::string b = folder("");
  EXPECT_EQ(describe(*records), (std::vector<std::string>{
                                    "Artist Name|Song Title|" + b + "one.flac",
                                    "-|-|" + b + "two.flac",
                                    "-|Just A Title|" + b + "three.flac",
                                    "Band|Song - Live Mix|" + b + "four.flac",
                                    "Spaced|Out|" + b + "five.flac",
                                    "-|-|" + b + "six.flac",
                                    "-|-|" + b + "seven.flac",
                                }));
  for (const auto& r : *records) EXPECT_FALSE(r->has(TABLE_KEY_DURATION));
}

TEST_F(M3UTest, CrLfLoneCrAndAByteOrderMark) {
  const auto records = read("windows.m3u8",
                            "\xEF\xBB\xBF#EXTM3U\r\n"
                            "#EXTINF:10,Art - Tïtle\r\n"
                            "C1.flac\r\n"
                            "\r\n"
                            "C2.flac\rC3.flac\r"
                            "#EXTINF:3,Last\r\n"
                            "C4.flac");
  ASSERT_TRUE(records);
  const std::string b = folder("");
  EXPECT_EQ(describe(*records), (std::vector<std::string>{
                                    "Art|Tïtle|" + b + "C1.flac",
                                    "-|-|" + b + "C2.flac",
                                    "-|-|" + b + "C3.flac",
                                    "-|Last|" + b + "C4.flac",
                                }));
}

TEST_F(M3UTest, ABomOnAFirstEntryIsNotPartOfItsName) {
  const auto records = read("bom.m3u8", "\xEF\xBB\xBF/music/first.flac\n");
  ASSERT_TRUE(records);
  EXPECT_EQ(pathsOf(*records), (std::vector<std::string>{"/music/first.flac"}));
}

TEST_F(M3UTest, Latin1PlaylistsAreDecoded) {
  // What a Windows player writes in its code page.
  const auto records = read("latin1.m3u",
                            "#EXTM3U\r\n"
                            "#EXTINF:10,Bj\xF6rk - J\xF3ga\r\n"
                            "M\xFAsica\\Caf\xE9 d\xE9j\xE0 vu.flac\r\n");
  ASSERT_TRUE(records);
  EXPECT_EQ(describe(*records),
            (std::vector<std::string>{"Björk|Jóga|" + folder("Música/Café déjà vu.flac")}));
}

TEST_F(M3UTest, Utf16WithAByteOrderMarkIsDecoded) {
  std::string bytes = "\xFF\xFE";
  for (char c : std::string("#EXTINF:1,A - B\r\n/music/x.flac\r\n")) bytes += std::string{c, '\0'};
  const auto records = read("wide.m3u", bytes);
  ASSERT_TRUE(records);
  EXPECT_EQ(describe(*records), (std::vector<std::string>{"A|B|/music/x.flac"}));
}

TEST_F(M3UTest, NetworkURLsAndWindowsDrivePathsAreSkippedWithOneLine) {
  const auto records = read("net.m3u8",
                            "#EXTINF:-1,Radio - Stream\n"
                            "http://radio.example/stream.mp3\n"
                            "local1.flac\n"
                            "https://example.com/a.flac\n"
                            "rtsp://example.com/live\n"
                            "C:\\Music\\a.flac\n"
                            "D:/Music/b.flac\n"
                            "\\\\server\\share\\c.flac\n"
                            "local2.flac\n");
  ASSERT_TRUE(records);
  // The skipped stream's #EXTINF does not name the next local entry.
  EXPECT_EQ(describe(*records), (std::vector<std::string>{"-|-|" + folder("local1.flac"),
                                                          "-|-|" + folder("local2.flac")}));
  const auto lines = log_.lines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0], dir_.file("net.m3u8") +
                          ": 6 entries skipped: they are not local files (network URLs or Windows drive paths).");
}

TEST_F(M3UTest, CueWindowRowsAreLeftOutAndCounted) {
  const std::vector<PlaylistItemInfoRef> rows{
      row("/music/whole.flac", "Whole", "A", 60),
      row("/music/album.flac", "Track 1", "B", 100, 0),   // a cue sheet's first track
      row("/music/album.flac", "Track 2", "B", 50, 100),  // and its second
      row("/music/twice.flac", "Twice", "C", 30),
      row("/music/twice.flac", "Twice", "C", 30),  // the whole file added twice stays
  };
  const std::string out = dir_.file("cue.m3u8");
  size_t left_out = 0;
  ASSERT_TRUE(writeM3U8(out, rows, &left_out));
  EXPECT_EQ(left_out, 2u);
  EXPECT_EQ(readBytes(out),
            "#EXTM3U\n"
            "#EXTINF:60,A - Whole\n/music/whole.flac\n"
            "#EXTINF:30,C - Twice\n/music/twice.flac\n"
            "#EXTINF:30,C - Twice\n/music/twice.flac\n");
  EXPECT_TRUE(log_.contains(out + ": 2 rows left out: they play part of a file (cue sheet tracks), which M3U "
                                  "cannot say; the XML playlist format keeps them."));
}

// A cue sheet's first track alone starts at 0 but ends before the file does: it is
// a window too, not the whole file.
TEST_F(M3UTest, AWindowStartingAtZeroIsLeftOutAsAWindow) {
  auto first = row("/music/album.flac", "Track 1", "B", 100, 0);
  first->set(kFileDurationKey, Value(300.0));
  auto whole = row("/music/whole.flac", "Whole", "A", 60);
  whole->set(kFileDurationKey, Value(60.0));
  const std::string out = dir_.file("first.m3u8");
  size_t left_out = 0;
  ASSERT_TRUE(writeM3U8(out, {first, whole}, &left_out));
  EXPECT_EQ(left_out, 1u);
  EXPECT_EQ(readBytes(out), "#EXTM3U\n#EXTINF:60,A - Whole\n/music/whole.flac\n");
  EXPECT_TRUE(log_.contains(out + ": 1 row left out: it plays part of a file (cue sheet tracks), which M3U "
                                  "cannot say; the XML playlist format keeps it."));
}

TEST_F(M3UTest, APlaylistListingItselfOrOtherListsDoesNotFollowThem) {
  const auto records = read("self.m3u8",
                            "self.m3u8\n" +
                                ("file://" + folder("self.m3u8")) +
                                "\n"
                                "other.M3U\n"
                                "album.cue\n"
                                "saved.xml\n"
                                "song.flac\n");
  ASSERT_TRUE(records);
  EXPECT_EQ(pathsOf(*records), (std::vector<std::string>{folder("song.flac")}));
  EXPECT_TRUE(log_.contains(
      "self.m3u8: 5 entries skipped: they name playlists or cue sheets, which a playlist does not follow."));
}

TEST_F(M3UTest, EmptyAndBinaryFilesHaveAClearOutcome) {
  auto empty = read("empty.m3u", "");
  ASSERT_TRUE(empty);
  EXPECT_TRUE(empty->empty());
  EXPECT_TRUE(log_.contains(dir_.file("empty.m3u") + " lists no tracks."));

  auto comments = read("comments.m3u", "#EXTM3U\r\n# nothing here\r\n\r\n");
  ASSERT_TRUE(comments);
  EXPECT_TRUE(comments->empty());

  std::string binary;
  for (int i = 0; i < 4096; ++i) binary += static_cast<char>((i * 7919) & 0xFF);
  EXPECT_FALSE(read("binary.m3u", binary));
  EXPECT_TRUE(log_.contains(dir_.file("binary.m3u") + " is not a playlist: it holds binary data."));

  // High bytes without a NUL decode as some code page: entries, never a crash.
  std::string high;
  for (int i = 0; i < 4096; ++i) high += static_cast<char>(0x80 | ((i * 31) & 0x7F));
  high += "\n";
  const auto garbage = read("high.m3u", high);
  ASSERT_TRUE(garbage);
  for (const auto& r : *garbage) EXPECT_EQ(r->fullpath().rfind(folder(""), 0), 0u);

  EXPECT_FALSE(readM3U(dir_.file("missing.m3u")));
  EXPECT_TRUE(log_.contains(dir_.file("missing.m3u") + " cannot be read."));

  EXPECT_FALSE(readM3U(dir_.path()));  // a folder is no playlist
  // A FIFO is refused, not waited on for a writer that never comes.
  ASSERT_EQ(::mkfifo(dir_.file("fifo.m3u").c_str(), 0600), 0);
  EXPECT_FALSE(readM3U(dir_.file("fifo.m3u")));
}

TEST_F(M3UTest, AnOversizedFileIsRefusedUnread) {
  const std::string big = dir_.file("huge.m3u");
  writeText(big, "");
  std::filesystem::resize_file(big, (16u << 20) + 1);  // sparse: no disk used
  EXPECT_FALSE(readM3U(big));
  EXPECT_TRUE(log_.contains(big + " is not read: at 16777217 bytes it is larger than a playlist may be"));
}

TEST_F(M3UTest, WriteFailureLeavesNothingAndSaysWhy) {
  writeText(dir_.file("plain"), "a file, not a folder");
  const std::string out = dir_.file("plain/list.m3u8");
  EXPECT_FALSE(writeM3U8(out, {row("/music/a.flac")}, nullptr));
  EXPECT_FALSE(std::filesystem::exists(out));
  EXPECT_TRUE(log_.contains(out + " cannot be written:"));
}

// The engine's path list expands M3U playlists among dropped items, and the model
// completes their records from the files: #EXTINF's title, the file's own duration.
class M3UEngineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    sonara::platform::installUserDefaults(
        std::make_shared<sonara::platform::UserDefaults>(dir_.file("defaults.plist")));
    sonara::PluginManager::initializePluginList();
    model_.initialize();
  }
  void TearDown() override { sonara::platform::installUserDefaults(nullptr); }

  std::string dsf(const std::string& name, double seconds) {
    DsfSetup setup;
    setup.audio = patternAudio(2, static_cast<size_t>(352800 * seconds));
    std::string path = dir_.file(name);
    writeFile(path, buildDsf(setup));
    return path;
  }

  TempDir dir_;
  PlaylistArrayController model_{sonara::PluginManager::sharedInstance()};
};

TEST_F(M3UEngineTest, DroppedPlaylistsBecomeTheirTracks) {
  const std::string a = dsf("a.dsf", 0.5);
  const std::string b = dsf("b.dsf", 0.25);
  writeText(dir_.file("list.m3u8"), "#EXTM3U\n#EXTINF:1,Band - First\na.dsf\n#EXTINF:9,Second\nb.dsf\n");
  writeText(dir_.file("other.M3U"), "a.dsf\n");

  const auto exts = TkDelegate::droppableExtensions();
  EXPECT_NE(std::find(exts.begin(), exts.end(), "m3u"), exts.end());
  EXPECT_NE(std::find(exts.begin(), exts.end(), "m3u8"), exts.end());

  const auto infos = TkDelegate::pathArrayToInfoArray({dir_.file("list.m3u8"), b, dir_.file("other.M3U")});
  EXPECT_EQ(pathsOf(infos), (std::vector<std::string>{a, b, b, a}));

  ASSERT_TRUE(model_.insertInfos(infos, 0, false, true));
  const auto rows = model_.getAllInfos();
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(rows[0]->title(), "First");
  EXPECT_EQ(rows[0]->artist(), "Band");
  EXPECT_DOUBLE_EQ(rows[0]->duration(), 0.5);  // not #EXTINF's rounded 1
  EXPECT_EQ(rows[1]->title(), "Second");
  EXPECT_DOUBLE_EQ(rows[1]->duration(), 0.25);
  EXPECT_EQ(rows[2]->title(), "b.dsf");  // no #EXTINF, no tag: the file name
}

}  // namespace
