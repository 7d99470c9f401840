// How the remote control names things on the bus: file URLs both ways, the plug-ins'
// extensions as MIME types, loop status names, the instance name, and which
// properties a change of the player's state signals.
#include <gtest/gtest.h>

#include "engine/api/records.h"
#include "remote/bus_name_choice.h"
#include "remote/mpris_metadata.h"
#include "remote/player_state.h"

namespace pelmora::remote {
namespace {

TEST(MprisNames, FileUrlsEscapeWhatAUriCannotHoldAndReadBack) {
  const std::string path = "/music/Bach & Sons/#1 100% \"live\"?\xE9.flac";
  const std::string url = fileUrl(path);
  EXPECT_EQ(url, "file:///music/Bach%20%26%20Sons/%231%20100%25%20%22live%22%3F%E9.flac");
  EXPECT_EQ(pathOfFileUri(url), path);
  EXPECT_EQ(pathOfFileUri("file://localhost/a/b%20c.wav"), "/a/b c.wav");
  EXPECT_EQ(pathOfFileUri("FILE:///x.dsf"), "/x.dsf");
  EXPECT_EQ(pathOfFileUri("file:///x.dsf?query#part"), "/x.dsf");
}

TEST(MprisNames, OtherSchemesHostsAndBrokenEscapesAreRefused) {
  EXPECT_FALSE(pathOfFileUri("http://example.com/a.flac"));
  EXPECT_FALSE(pathOfFileUri("file://otherhost/a.flac"));
  EXPECT_FALSE(pathOfFileUri("file:relative.flac"));
  EXPECT_FALSE(pathOfFileUri("file:///a%2"));
  EXPECT_FALSE(pathOfFileUri("file:///a%"));
  EXPECT_FALSE(pathOfFileUri("file:///a%zz"));
  EXPECT_FALSE(pathOfFileUri("file:///a%00b"));
  EXPECT_FALSE(pathOfFileUri(""));
}

TEST(MprisNames, ExtensionsBecomeMimeTypesOnce) {
  EXPECT_EQ(splitExtensions("dsf, DFF ,.flac,,dsf"), (std::vector<std::string>{"dsf", "dff", "flac"}));
  EXPECT_EQ(mimeTypesOf({"aif", "aiff", "flac", "xyz"}),
            (std::vector<std::string>{"audio/aiff", "audio/x-aiff", "audio/flac", "audio/x-flac"}));
  EXPECT_TRUE(mimeTypesOf({}).empty());
}

TEST(MprisNames, TrackMetadataComesFromTheEnginesRecord) {
  EXPECT_FALSE(metadataOf(nullptr).hasTrack());
  EXPECT_EQ(metadataOf(nullptr).track_path, "/org/mpris/MediaPlayer2/TrackList/NoTrack");
  AudioFileInfo info;
  info.setTrackID(42);
  info.setFileName("/m/a b.wav");
  info.setTitleName("Caf\xE9");  // a Latin-1 byte from an old tag
  info.setArtistName("Someone");
  info.setDurationBySec(183.25);
  const TrackMetadata m = metadataOf(&info);
  EXPECT_EQ(m.track_path, "/org/pelmora/track/42");
  EXPECT_EQ(m.length_us, 183'250'000);
  EXPECT_EQ(m.title, "Caf\xC3\xA9");
  EXPECT_EQ(m.artist, "Someone");
  EXPECT_EQ(m.url, "file:///m/a%20b.wav");
}

TEST(MprisNames, LoopStatusNamesTheRepeatModes) {
  for (int32_t mode : {0, 1, 2}) EXPECT_EQ(repeatModeOf(loopStatusName(mode)), mode);
  EXPECT_FALSE(repeatModeOf("track"));
  EXPECT_FALSE(repeatModeOf(""));
  EXPECT_STREQ(playbackStatusName(0), "Stopped");
  EXPECT_STREQ(playbackStatusName(1), "Playing");
  EXPECT_STREQ(playbackStatusName(2), "Paused");
}

TEST(MprisNames, ASecondPlayerIsNamedByItsProcess) {
  EXPECT_EQ(instanceName("org.mpris.MediaPlayer2.pelmora", 4711), "org.mpris.MediaPlayer2.pelmora.instance4711");
}

TEST(MprisNames, OnlyTheChangedPropertiesAreSignalled) {
  PlayerState before;
  PlayerState now = before;
  EXPECT_TRUE(changedProperties(before, now).empty());
  now.status = 1;
  now.track.track_path = "/org/pelmora/track/1";
  now.can_pause = true;
  auto names = changedProperties(before, now);
  EXPECT_EQ(std::vector<std::string>(names.begin(), names.end()),
            (std::vector<std::string>{"PlaybackStatus", "Metadata", "CanPause"}));
  PlayerState other = now;
  other.track.title = "New title";
  other.repeat = 2;
  other.shuffle = true;
  names = changedProperties(now, other);
  EXPECT_EQ(std::vector<std::string>(names.begin(), names.end()),
            (std::vector<std::string>{"LoopStatus", "Shuffle", "Metadata"}));
}

}  // namespace
}  // namespace pelmora::remote
