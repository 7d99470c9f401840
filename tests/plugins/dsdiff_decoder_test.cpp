#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include "plugins/dsdiff/dalfin.h"
#include "support/dop.h"
#include "support/dop_marker_run.h"
#include "support/dsdiff_writer.h"
#include "support/dsf_writer.h"
#include "support/engine_as_host.h"
#include "support/log_capture.h"
#include "support/temp_dir.h"

using sonara::dsdiff::Dalfin;
namespace plugin = sonara::plugin;

namespace {

class DsdiffDecoderTest : public ::testing::Test {
 protected:
  DsdiffDecoderTest() { attachEngineAsHost(); }

  std::string write(const DffSetup& setup, const std::string& name = "t.dff") {
    std::string path = dir_.file(name);
    writeFile(path, buildDff(setup));
    return path;
  }

  static std::vector<uint32_t> readAll(Dalfin& d, uint32_t request) {
    return readAllWords(d, request);
  }

  // The words the audio must become: bytes of each channel paired in time order,
  // passed unchanged (earliest bit first), markers alternating from `first_marker`.
  static std::vector<uint32_t> expectedStream(const std::vector<std::vector<uint8_t>>& audio,
                                              uint32_t out_channels, uint8_t first_marker,
                                              size_t from_byte = 0) {
    std::vector<uint32_t> words;
    uint8_t marker = first_marker;
    for (size_t i = from_byte; i + 1 < audio[0].size(); i += 2) {
      for (uint32_t c = 0; c < out_channels; ++c) {
        const auto& ch = audio[audio.size() == 1 ? 0 : c];
        words.push_back(expectedWord(marker, ch[i], ch[i + 1]));
      }
      marker = static_cast<uint8_t>(~marker);
    }
    return words;
  }

  static sonara::Value entry(const char* key, sonara::Value v) { return sonara::Value(sonara::Dict{{key, std::move(v)}}); }

  TempDir dir_;
};

TEST_F(DsdiffDecoderTest, StereoFramesTakeAlternateBytesOfTheInterleavedData) {
  DffSetup setup;
  setup.audio = patternAudio(2, 10000);
  Dalfin d;
  ASSERT_EQ(d.openByPath(write(setup), nullptr), 0);
  EXPECT_EQ(d.getFormat(), plugin::kFormatDoP);
  EXPECT_EQ(d.getChannels(), 2u);
  EXPECT_EQ(d.getBits(), 32u);
  EXPECT_FLOAT_EQ(d.getSamplingRate(), 176400.0f);
  // Frame j: channel 0 from bytes 4j and 4j + 2, channel 1 from 4j + 1 and 4j + 3.
  std::vector<float> buf(4);
  uint32_t n = 4;
  ASSERT_EQ(d.getNextSamples(buf.data(), &n), 0);
  ASSERT_EQ(n, 4u);
  const auto raw = interleave(setup.audio, 2);
  const uint8_t m = markerOf(doPWord(buf[0]));
  EXPECT_EQ(doPWord(buf[0]), expectedWord(m, raw[0], raw[2]));
  EXPECT_EQ(doPWord(buf[1]), expectedWord(m, raw[1], raw[3]));
  EXPECT_EQ(doPWord(buf[2]), expectedWord(static_cast<uint8_t>(~m), raw[4], raw[6]));
  EXPECT_EQ(doPWord(buf[3]), expectedWord(static_cast<uint8_t>(~m), raw[5], raw[7]));
  auto rest = readAll(d, d.getPreferredBufferSize() * d.getChannels());
  auto expected = expectedStream(setup.audio, 2, static_cast<uint8_t>(m), 0);
  expected.erase(expected.begin(), expected.begin() + 4);
  EXPECT_EQ(rest, expected);
}

TEST_F(DsdiffDecoderTest, AtMost2048FramesPerCall) {
  DffSetup setup;
  setup.audio = patternAudio(2, 3 * 4096);
  Dalfin d;
  ASSERT_EQ(d.openByPath(write(setup), nullptr), 0);
  // max(2 x 176400 x 0.02, 2 x 2048) = 7056 frames.
  EXPECT_EQ(d.getPreferredBufferSize(), 7056u);
  std::vector<float> buf(7056 * 2);
  uint32_t n = static_cast<uint32_t>(buf.size());
  ASSERT_EQ(d.getNextSamples(buf.data(), &n), 0);
  EXPECT_EQ(n, 2048u * 2);
}

TEST_F(DsdiffDecoderTest, MonoDeliversOneChannelOrTheSameWordsInTwo) {
  DffSetup setup;
  setup.channels = 1;
  setup.audio = patternAudio(1, 5000);
  std::string path = write(setup);
  Dalfin mono;
  ASSERT_EQ(mono.openByPath(path, nullptr), 0);
  EXPECT_EQ(mono.getChannels(), 1u);
  auto words = readAll(mono, 333);
  EXPECT_EQ(words, expectedStream(setup.audio, 1, markerOf(words.at(0))));

  Dalfin doubled;
  ASSERT_EQ(doubled.openByPath(path, nullptr), 0);
  EXPECT_FALSE(doubled.setChannels(3));
  EXPECT_TRUE(doubled.setChannels(2));
  EXPECT_EQ(doubled.getChannels(), 2u);
  auto pairs = readAll(doubled, 512);
  EXPECT_EQ(pairs, expectedStream(setup.audio, 2, markerOf(pairs.at(0))));
}

TEST_F(DsdiffDecoderTest, SixChannelsAllOrTheFirstTwo) {
  DffSetup setup;
  setup.channels = 6;
  setup.audio = patternAudio(6, 4100);
  std::string path = write(setup);
  Dalfin all;
  ASSERT_EQ(all.openByPath(path, nullptr), 0);
  EXPECT_EQ(all.getChannels(), 6u);
  auto words = readAll(all, 6 * 1000);
  EXPECT_EQ(words, expectedStream(setup.audio, 6, markerOf(words.at(0))));
  Dalfin two;
  ASSERT_EQ(two.openByPath(path, nullptr), 0);
  EXPECT_FALSE(two.setChannels(7));
  EXPECT_TRUE(two.setChannels(2));
  auto front = readAll(two, 2 * 999);
  EXPECT_EQ(front, expectedStream(setup.audio, 2, markerOf(front.at(0))));
}

TEST_F(DsdiffDecoderTest, MarkerAlternationSurvivesCallsObjectsAndDummies) {
  DffSetup setup;
  setup.audio = patternAudio(2, 4096);
  expectAlternating(markersAcrossCallsObjectsAndSilence<Dalfin>(write(setup)));
}

TEST_F(DsdiffDecoderTest, TimeStampsCarryTheirOneByteLead) {
  DffSetup setup;
  setup.audio = patternAudio(2, 352800);  // one second of DSD64 per channel
  Dalfin d;
  ASSERT_EQ(d.openByPath(write(setup), nullptr), 0);
  EXPECT_EQ(d.getDuration(), 1000000000u);
  EXPECT_EQ(d.getTimestamp(), 1000000000u / 352800);
  std::vector<float> buf(4096);
  uint32_t n = 4096;
  d.getNextSamples(buf.data(), &n);
  EXPECT_EQ(d.getTimestamp(), uint64_t{4096 + 1} * 1000000000u / 352800);
}

TEST_F(DsdiffDecoderTest, SeekGoesToTheByteOfThatTime) {
  DffSetup setup;
  setup.audio = patternAudio(2, 352800);
  Dalfin d;
  ASSERT_EQ(d.openByPath(write(setup), nullptr), 0);
  ASSERT_EQ(d.seek(500000000), 0);  // byte 176400 of each channel
  EXPECT_EQ(d.getTimestamp(), uint64_t{176401} * 1000000000u / 352800);
  auto words = readAll(d, 4096);
  EXPECT_EQ(words, expectedStream(setup.audio, 2, markerOf(words.at(0)), 176400));
}

TEST_F(DsdiffDecoderTest, SeekPastTheEndFinishesTheStream) {
  DffSetup setup;
  setup.audio = patternAudio(2, 4096);
  Dalfin d;
  ASSERT_EQ(d.openByPath(write(setup), nullptr), 0);
  ASSERT_EQ(d.seek(3600ull * 1000000000u), 0);
  EXPECT_EQ(d.getTimestamp(), uint64_t{4096} * 1000000000u / 352800);
  std::vector<float> buf(64);
  for (int i = 0; i < 3; ++i) {
    uint32_t n = 64;
    EXPECT_EQ(d.getNextSamples(buf.data(), &n), 0);
    EXPECT_EQ(n, 0u);
  }
}

TEST_F(DsdiffDecoderTest, ZeroRequestsTouchNothing) {
  DffSetup setup;
  setup.audio = patternAudio(2, 4096);
  Dalfin d;
  ASSERT_EQ(d.openByPath(write(setup), nullptr), 0);
  uint64_t t = d.getTimestamp();
  uint32_t n = 0;
  EXPECT_EQ(d.getNextSamples(nullptr, &n), 0);
  EXPECT_EQ(d.getDummySamples(nullptr, &n), 0);
  EXPECT_EQ(d.getTimestamp(), t);
  float one[1];
  n = 1;  // less than a frame: no frame, and the stream counts as finished
  EXPECT_EQ(d.getNextSamples(one, &n), 0);
  EXPECT_EQ(n, 0u);
  n = 1;
  EXPECT_EQ(d.getDummySamples(one, &n), 0);
  EXPECT_EQ(n, 0u);
}

TEST_F(DsdiffDecoderTest, ScoreWantsFrm8AndAFormatVersionWithAFirstByte) {
  DffSetup setup;
  setup.audio = patternAudio(2, 100);
  EXPECT_EQ(Dalfin::getScoreByPath(write(setup)), 100u);
  setup.format_version = 0x00050000;
  EXPECT_EQ(Dalfin::getScoreByPath(write(setup, "v0.dff")), 0u);
  setup.format_version = 0x01050000;
  setup.form_type = "XYZ ";  // the form type is not looked at
  EXPECT_EQ(Dalfin::getScoreByPath(write(setup, "xyz.dff")), 100u);
  setup.form_type = "DSD ";
  setup.omit_fver = true;
  EXPECT_EQ(Dalfin::getScoreByPath(write(setup, "nofver.dff")), 0u);
  EXPECT_EQ(Dalfin::getScoreByPath(dir_.file("missing.dff")), 0u);
  writeFile(dir_.file("short.dff"), {'F', 'R', 'M', '8', 0});
  EXPECT_EQ(Dalfin::getScoreByPath(dir_.file("short.dff")), 0u);
  DsfSetup dsf;
  dsf.audio = patternAudio(2, 100);
  writeFile(dir_.file("dsf.dff"), buildDsf(dsf));
  EXPECT_EQ(Dalfin::getScoreByPath(dir_.file("dsf.dff")), 0u);
}

TEST_F(DsdiffDecoderTest, Id3TitleAndArtistGoBeforeTheEditedMasterOnes) {
  DffSetup setup;
  setup.frequency = 5644800;
  setup.audio = patternAudio(2, 4096);
  setup.id3 = buildId3({{"TIT2", "Für Elise"}, {"TPE1", "Pelmora Ensemble"}, {"TALB", "Bagatelles"}});
  setup.title = "Master Title";
  setup.artist = "Master Artist";
  setup.emid = "PELMORA-0001";
  Dalfin d;
  ASSERT_EQ(d.openByPath(write(setup), nullptr), 0);
  sonara::Array expected{
      entry("Artist", sonara::Value("Pelmora Ensemble")),
      entry("Title", sonara::Value("Für Elise")),
      entry("Album", sonara::Value("Bagatelles")),
      entry("EditedMasterID", sonara::Value("PELMORA-0001")),
      entry("SrcBits", sonara::Value(1)),
      entry("SrcSampleRate", sonara::Value(5644800.0f)),
  };
  EXPECT_EQ(d.getMetaData(), sonara::Value(expected));
}

TEST_F(DsdiffDecoderTest, WithoutAnId3ChunkTheEditedMasterNamesTheTrack) {
  DffSetup setup;
  setup.audio = patternAudio(2, 4096);
  setup.title = "Odd";  // odd lengths: padded chunks
  setup.artist = "Quartet X";
  Dalfin d;
  ASSERT_EQ(d.openByPath(write(setup), nullptr), 0);
  sonara::Array expected{
      entry("Title", sonara::Value("Odd")),
      entry("Artist", sonara::Value("Quartet X")),
      entry("SrcBits", sonara::Value(1)),
      entry("SrcSampleRate", sonara::Value(2822400.0f)),
  };
  EXPECT_EQ(d.getMetaData(), sonara::Value(expected));
}

TEST_F(DsdiffDecoderTest, CommentsOfOddLengthsAreReadInFull) {
  DffSetup setup;
  setup.audio = patternAudio(2, 4096);
  setup.comments = {{2024, 5, 17, 9, 30, 0, 0, "Live!"},
                    {2023, 1, 2, 3, 4, 1, 2, "left mic off"},
                    {1999, 1, 1, 0, 0, 2, 1, "tape"},
                    {2020, 12, 31, 23, 59, 3, 1, "Ada"},
                    {2020, 1, 1, 0, 0, 9, 0, "unknown kind"}};
  Dalfin d;
  ASSERT_EQ(d.openByPath(write(setup), nullptr), 0);
  std::string comment;
  const sonara::Value meta = d.getMetaData();
  for (const auto& e : meta.asArray()) {
    if (e["Comment"].isString()) comment = e["Comment"].asString();
  }
  EXPECT_EQ(comment,
            "General (album) Comment: Live!: 2024/05/17 09:30\n"
            "Channel 2: left mic off: 2023/01/02 03:04\n"
            "Sound Source: Analogue recording: tape: \n"
            "File History: Name of the operator: Ada: 2020/12/31 23:59\n");
}

TEST_F(DsdiffDecoderTest, PartialFramesAreNeverDelivered) {
  DffSetup setup;
  setup.audio = patternAudio(2, 1001);  // an odd byte count per channel
  setup.extra_sound_bytes = 1;          // and a byte of a next frame
  Dalfin d;
  ASSERT_EQ(d.openByPath(write(setup), nullptr), 0);
  auto words = readAll(d, 4096);
  EXPECT_EQ(words, expectedStream(setup.audio, 2, markerOf(words.at(0))));
  EXPECT_EQ(words.size(), 500u * 2);
}

TEST_F(DsdiffDecoderTest, ATruncatedFilePlaysWhatItHoldsAndEnds) {
  DffSetup setup;
  setup.audio = patternAudio(2, 20000);
  auto bytes = buildDff(setup);
  const size_t data = dffSoundDataOffset(setup);
  bytes.resize(data + 2 * 7001);  // 7001 bytes of each channel, the header unchanged
  std::string path = dir_.file("cut.dff");
  writeFile(path, bytes);
  Dalfin d;
  ASSERT_EQ(d.openByPath(path, nullptr), 0);
  EXPECT_EQ(d.getDuration(), uint64_t{7001} * 1000000000u / 352800);
  auto words = readAll(d, 4096);
  auto expected = expectedStream(setup.audio, 2, markerOf(words.at(0)));
  expected.resize(3500 * 2);
  EXPECT_EQ(words, expected);
}

TEST_F(DsdiffDecoderTest, AFileThatShrinksWhilePlayingEndsCleanly) {
  DffSetup setup;
  setup.audio = patternAudio(2, 20000);
  std::string path = write(setup);
  Dalfin d;
  ASSERT_EQ(d.openByPath(path, nullptr), 0);
  ASSERT_EQ(::truncate(path.c_str(), static_cast<off_t>(dffSoundDataOffset(setup) + 2 * 5000 + 3)), 0);
  auto words = readAll(d, 4096);
  auto expected = expectedStream(setup.audio, 2, markerOf(words.at(0)));
  expected.resize(2500 * 2);
  EXPECT_EQ(words, expected);
  std::vector<float> buf(8);
  uint32_t n = 8;
  EXPECT_EQ(d.getNextSamples(buf.data(), &n), 0);
  EXPECT_EQ(n, 0u);
}

struct DamageCase {
  const char* name;
  void (*damage)(DffSetup&);
  int32_t status;
  const char* log;
};

class DsdiffDamageTest : public DsdiffDecoderTest, public ::testing::WithParamInterface<DamageCase> {};

TEST_P(DsdiffDamageTest, ReportsTheFaultWithItsStatus) {
  DffSetup setup;
  setup.audio = patternAudio(2, 4096);
  GetParam().damage(setup);
  LogCapture log;
  Dalfin d;
  EXPECT_EQ(d.openByPath(write(setup), nullptr), GetParam().status) << GetParam().name;
  if (*GetParam().log) {
    EXPECT_TRUE(log.contains(GetParam().log)) << GetParam().name << ": " << ::testing::PrintToString(log.lines());
  }
}

INSTANTIATE_TEST_SUITE_P(
    Damaged, DsdiffDamageTest,
    ::testing::Values(
        DamageCase{"no sound", [](DffSetup& s) { s.omit_sound = true; }, -25300,
                   "openByPath failed with exception: initWithData:dataWithContentsOfFile:options:error failed"},
        DamageCase{"no prop", [](DffSetup& s) { s.omit_prop = true; }, -25300,
                   "openByPath failed with exception: initWithData:dataWithContentsOfFile:options:error failed"},
        DamageCase{"zero channels", [](DffSetup& s) { s.channels = 0; s.audio.clear(); }, -25300,
                   "invalid number of channels."},
        DamageCase{"65 channels", [](DffSetup& s) { s.channels = 65; s.audio = patternAudio(65, 8); }, -26275,
                   "openByPath failed with exception: parse failed"},
        DamageCase{"no FS", [](DffSetup& s) { s.omit_fs = true; }, -50, "error: invalid sampling frequency."},
        DamageCase{"FS 15 Hz", [](DffSetup& s) { s.frequency = 15; }, -50, "error: invalid sampling frequency."},
        DamageCase{"DST", [](DffSetup& s) { s.dst = true; }, -25300, "DST-compressed"},
        DamageCase{"empty sound", [](DffSetup& s) { s.audio = {{}, {}}; }, -25300,
                   "openByPath failed with exception: parse failed"},
        DamageCase{"zero-size chunk", [](DffSetup& s) { s.junk_size = 0; }, 0, ""},
        DamageCase{"chunk past the form", [](DffSetup& s) { s.junk_size = 1 << 30; }, -25300,
                   "initWithData:dataWithContentsOfFile:options:error failed"},
        DamageCase{"huge chunk", [](DffSetup& s) { s.junk_size = INT64_MAX; }, -25300,
                   "initWithData:dataWithContentsOfFile:options:error failed"},
        DamageCase{"form shorter than its chunks", [](DffSetup& s) { s.form_size = 40; }, -25300,
                   "initWithData:dataWithContentsOfFile:options:error failed"}),
    [](const auto& info) {
      std::string n = info.param.name;
      for (auto& c : n) if (!isalnum(static_cast<unsigned char>(c))) c = '_';
      return n;
    });

TEST_F(DsdiffDecoderTest, ASoundSizeBeyondTheFileIsClampedToIt) {
  DffSetup setup;
  setup.audio = patternAudio(2, 4096);
  setup.sound_size = int64_t{1} << 40;
  Dalfin d;
  ASSERT_EQ(d.openByPath(write(setup), nullptr), 0);
  EXPECT_EQ(d.getDuration(), uint64_t{4096} * 1000000000u / 352800);
  auto words = readAll(d, 4096);
  EXPECT_EQ(words, expectedStream(setup.audio, 2, markerOf(words.at(0))));
}

TEST_F(DsdiffDecoderTest, TruncatedFilesNeverCrash) {
  DffSetup setup;
  setup.audio = patternAudio(2, 9000);
  setup.title = "t";
  setup.comments = {{2024, 1, 1, 0, 0, 0, 0, "c"}};
  setup.id3 = buildId3({{"TIT2", "t"}});
  auto bytes = buildDff(setup);
  for (size_t cut = 0; cut < bytes.size(); cut += cut < 200 ? 1 : 997) {
    std::vector<uint8_t> part(bytes.begin(), bytes.begin() + static_cast<long>(cut));
    std::string path = dir_.file("cut.dff");
    writeFile(path, part);
    (void)Dalfin::getScoreByPath(path);
    Dalfin d;
    if (d.openByPath(path, nullptr) == 0) readAll(d, 4096);
  }
}

TEST_F(DsdiffDecoderTest, SixtyFourGibibytesAreRefused) {
  DffSetup setup;
  setup.audio = patternAudio(2, 4096);
  auto bytes = buildDff(setup);
  for (uint64_t size : {uint64_t{1} << 36, (uint64_t{1} << 36) - 1}) {
    std::string path = dir_.file("big" + std::to_string(size) + ".dff");
    writeFile(path, bytes);
    ASSERT_EQ(::truncate(path.c_str(), static_cast<off_t>(size)), 0);  // sparse
    LogCapture log;
    Dalfin d;
    EXPECT_EQ(d.openByPath(path, nullptr), size == (uint64_t{1} << 36) ? -50 : 0) << size;
    if (size == (uint64_t{1} << 36)) {
      EXPECT_TRUE(log.contains("openByPath failed with exception: over file size limit"));
    }
  }
}

}  // namespace
