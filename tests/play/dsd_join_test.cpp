// A DSDIFF track between two DSF tracks of the same rate joins both without a gap:
// as DoP and as native DSD in 32-bit and 16-bit words, the capture compared byte for
// byte with the three tracks' audio.
#include <gtest/gtest.h>

#include "engine/output/device_table.h"
#include "support/dop.h"
#include "support/dsdiff_writer.h"
#include "support/dsf_writer.h"
#include "support/play_harness.h"

namespace {

FormatJson fmtOf(double rate, int bits, int bytes, bool non_mixable = false, bool dsd = false) {
  return formatJson(rate, bits, bytes, 2, non_mixable, dsd);
}

// Audio whose bytes never look like DSD idle bytes.
std::vector<std::vector<uint8_t>> audioOf(size_t bytes, uint32_t seed) {
  auto audio = patternAudio(2, bytes);
  for (auto& ch : audio) {
    for (size_t i = 0; i < ch.size(); ++i) {
      ch[i] = static_cast<uint8_t>(ch[i] + seed);
      if (ch[i] == 0x96 || ch[i] == 0x69) ch[i] = 0x33;
    }
  }
  return audio;
}

// DSF, DSDIFF, DSF; each channel's bytes in time order as the device must play them.
struct ThreeTracks {
  std::vector<PlaylistItemInfoRef> records;
  std::vector<std::vector<uint8_t>> channel;  // earliest bit first
};

ThreeTracks makeTracks(const TempDir& dir) {
  ThreeTracks t;
  t.channel.resize(2);
  DsfSetup a;
  a.audio = audioOf(3 * 4096, 0);
  writeFile(dir.file("a.dsf"), buildDsf(a));
  DffSetup b;
  b.audio = audioOf(5000, 17);
  writeFile(dir.file("b.dff"), buildDff(b));
  DsfSetup c;
  c.audio = audioOf(4096, 101);
  writeFile(dir.file("c.dsf"), buildDsf(c));
  for (int ch = 0; ch < 2; ++ch) {
    for (uint8_t byte : a.audio[ch]) t.channel[ch].push_back(reverseBits(byte));
    t.channel[ch].insert(t.channel[ch].end(), b.audio[ch].begin(), b.audio[ch].end());
    for (uint8_t byte : c.audio[ch]) t.channel[ch].push_back(reverseBits(byte));
  }
  t.records = {recordFor(dir.file("a.dsf"), 1), recordFor(dir.file("b.dff"), 2), recordFor(dir.file("c.dsf"), 3)};
  EXPECT_EQ(t.records[1]->decoder_class(), "Dalfin");
  return t;
}

TEST(DsdJoin, DsdiffBetweenDsfTracksPlaysGaplesslyAsDoP) {
  DeviceJson d;
  d.formats = {fmtOf(176400, 24, 3), fmtOf(44100, 24, 3)};
  PlayHarness h(d);
  auto tracks = makeTracks(h.output_.dir_);
  ASSERT_TRUE(h.playAll(tracks.records)) << ::testing::PrintToString(h.controller_.events());
  const std::string bytes = h.output_.captured();
  const size_t preroll_frames = 17640;
  const size_t music_frames = tracks.channel[0].size() / 2;
  ASSERT_EQ(bytes.size(), 3 * 2 * (preroll_frames + music_frames));
  for (size_t i = 0; i < bytes.size() / 3; ++i) {
    const size_t frame = i / 2, c = i % 2;
    const auto marker = static_cast<uint8_t>(bytes[3 * i + 2]);
    uint8_t first = 0x96, second = 0x96;
    if (frame >= preroll_frames) {
      first = tracks.channel[c][2 * (frame - preroll_frames)];
      second = tracks.channel[c][2 * (frame - preroll_frames) + 1];
    }
    ASSERT_EQ(static_cast<uint8_t>(bytes[3 * i + 1]), first) << "frame " << frame;
    ASSERT_EQ(static_cast<uint8_t>(bytes[3 * i]), second) << "frame " << frame;
    if (i >= 2) {
      const auto before = static_cast<uint8_t>(bytes[3 * (i - 1) + 2]);
      ASSERT_EQ(marker, c == 1 ? before : static_cast<uint8_t>(~before)) << "marker of frame " << frame;
    }
  }
  for (const char* e : {"started:1", "started:2", "started:3", "finished:3"}) EXPECT_TRUE(h.controller_.saw(e)) << e;
}

TEST(DsdJoin, DsdiffBetweenDsfTracksPlaysGaplesslyAsNativeDsd32) {
  DeviceJson d;  // a model with native DSD in 32-bit words
  d.vid = device_info[22].vid;
  d.pid = device_info[22].pid;
  d.formats = {fmtOf(88200, 32, 4, true, true), fmtOf(176400, 24, 3)};
  PlayHarness h(d);
  h.controller_.decode_mode = 1;
  auto tracks = makeTracks(h.output_.dir_);
  ASSERT_TRUE(h.playAll(tracks.records)) << ::testing::PrintToString(h.controller_.events());
  const std::string bytes = h.output_.captured();
  const size_t music = 2 * tracks.channel[0].size();
  const size_t start = bytes.find_first_not_of('\x96');
  ASSERT_NE(start, std::string::npos);
  ASSERT_GE(bytes.size(), start + music);
  for (size_t w = 0; w < music / 4; ++w) {
    const size_t c = w % 2, at = (w / 2) * 4;
    for (size_t b = 0; b < 4; ++b) {
      ASSERT_EQ(static_cast<uint8_t>(bytes[start + 4 * w + b]), tracks.channel[c][at + b]) << "word " << w;
    }
  }
  for (size_t i = start + music; i < bytes.size(); ++i) ASSERT_EQ(static_cast<uint8_t>(bytes[i]), 0x96) << i;
}

TEST(DsdJoin, DsdiffBetweenDsfTracksPlaysGaplesslyAsNativeDsd16) {
  DeviceJson d;  // generic row: DoP and DSD16
  d.formats = {fmtOf(176400, 16, 2), fmtOf(176400, 16, 2, false, true), fmtOf(176400, 24, 3)};
  PlayHarness h(d);
  h.controller_.decode_mode = 1;
  auto tracks = makeTracks(h.output_.dir_);
  ASSERT_TRUE(h.playAll(tracks.records)) << ::testing::PrintToString(h.controller_.events());
  const std::string bytes = h.output_.captured();
  const size_t preroll = 17640 * 2 * 2;
  const size_t music = 2 * tracks.channel[0].size();
  ASSERT_EQ(bytes.size(), preroll + music);
  for (size_t i = 0; i < preroll; ++i) ASSERT_EQ(static_cast<uint8_t>(bytes[i]), 0x96) << i;
  for (size_t i = 0; i < music; i += 2) {
    const size_t frame = i / 4, c = (i / 2) % 2;
    ASSERT_EQ(static_cast<uint8_t>(bytes[preroll + i]), tracks.channel[c][2 * frame]) << "frame " << frame;
    ASSERT_EQ(static_cast<uint8_t>(bytes[preroll + i + 1]), tracks.channel[c][2 * frame + 1]) << "frame " << frame;
  }
}

}  // namespace
