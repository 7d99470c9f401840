#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include "plugins/dsf/selvet.h"
#include "support/dop.h"
#include "support/dop_marker_run.h"
#include "support/dsf_writer.h"
#include "support/id3_tag.h"
#include "support/engine_as_host.h"
#include "support/log_capture.h"
#include "support/temp_dir.h"

using sonara::dsf::Selvet;
namespace plugin = sonara::plugin;

namespace {

class DsfDecoderTest : public ::testing::Test {
 protected:
  DsfDecoderTest() { attachEngineAsHost(); }

  std::string write(const DsfSetup& setup, const std::string& name = "t.dsf") {
    std::string path = dir_.file(name);
    writeFile(path, buildDsf(setup));
    return path;
  }

  // Everything the decoder delivers with requests of `request` values.
  static std::vector<uint32_t> readAll(Selvet& d, uint32_t request) {
    return readAllWords(d, request);
  }

  // The words a file's audio must become: channel bytes paired, bit order applied,
  // and markers alternating from `first_marker`.
  static std::vector<uint32_t> expectedStream(const std::vector<std::vector<uint8_t>>& audio,
                                              uint32_t out_channels, bool reverse,
                                              uint8_t first_marker, size_t from_byte = 0) {
    std::vector<uint32_t> words;
    uint8_t marker = first_marker;
    for (size_t i = from_byte; i + 1 < audio[0].size(); i += 2) {
      for (uint32_t c = 0; c < out_channels; ++c) {
        const auto& ch = audio[audio.size() == 1 ? 0 : c];
        uint8_t a = reverse ? reverseBits(ch[i]) : ch[i];
        uint8_t b = reverse ? reverseBits(ch[i + 1]) : ch[i + 1];
        words.push_back(expectedWord(marker, a, b));
      }
      marker = static_cast<uint8_t>(~marker);
    }
    return words;
  }

  TempDir dir_;
};

TEST_F(DsfDecoderTest, ScoreChecksMagicAndFileSize) {
  DsfSetup setup;
  setup.audio = patternAudio(2, 4096);
  EXPECT_EQ(Selvet::getScoreByPath(write(setup)), 100u);
  setup.wrong_file_size = true;
  std::string mismatched = write(setup, "size.dsf");
  EXPECT_EQ(Selvet::getScoreByPath(mismatched), 0u);
  Selvet d;  // it can still be opened
  EXPECT_EQ(d.openByPath(mismatched, nullptr), 0);
  EXPECT_EQ(Selvet::getScoreByPath(dir_.file("missing.dsf")), 0u);
  writeFile(dir_.file("short.dsf"), {'D', 'S', 'D', ' ', 1, 2});
  EXPECT_EQ(Selvet::getScoreByPath(dir_.file("short.dsf")), 0u);
}

TEST_F(DsfDecoderTest, DeliversBitReversedDoPWordsWithAlternatingMarkers) {
  DsfSetup setup;
  setup.audio = patternAudio(2, 10000);  // three block groups, the last padded
  Selvet d;
  ASSERT_EQ(d.openByPath(write(setup), nullptr), 0);
  EXPECT_EQ(d.getFormat(), plugin::kFormatDoP);
  EXPECT_EQ(d.getChannels(), 2u);
  EXPECT_EQ(d.getBits(), 32u);
  EXPECT_FLOAT_EQ(d.getSamplingRate(), 176400.0f);
  uint32_t request = d.getPreferredBufferSize() * d.getChannels();
  auto words = readAll(d, request);
  ASSERT_FALSE(words.empty());
  auto expected = expectedStream(setup.audio, 2, true, markerOf(words[0]));
  EXPECT_EQ(words, expected);  // padding of the last group never delivered
}

TEST_F(DsfDecoderTest, MsbFirstBytesPassUnchanged) {
  DsfSetup setup;
  setup.bits_per_sample = 8;
  setup.audio = patternAudio(2, 4096);
  Selvet d;
  ASSERT_EQ(d.openByPath(write(setup), nullptr), 0);
  auto words = readAll(d, 2048 * 2);
  EXPECT_EQ(words, expectedStream(setup.audio, 2, false, markerOf(words.at(0))));
}

TEST_F(DsfDecoderTest, UsualRequestDeliversOneBlockPerCall) {
  DsfSetup setup;
  setup.audio = patternAudio(2, 3 * 4096);
  Selvet d;
  ASSERT_EQ(d.openByPath(write(setup), nullptr), 0);
  // max(4096 / 2, 2 x 176400 x 0.02) = 7056 frames.
  EXPECT_EQ(d.getPreferredBufferSize(), 7056u);
  std::vector<float> buf(7056 * 2);
  uint32_t n = static_cast<uint32_t>(buf.size());
  ASSERT_EQ(d.getNextSamples(buf.data(), &n), 0);
  EXPECT_EQ(n, 2048u * 2);
}

TEST_F(DsfDecoderTest, SmallRequestsNeitherRepeatNorSkip) {
  DsfSetup setup;
  setup.block_size = 100;
  setup.audio = patternAudio(2, 1000);
  Selvet d;
  ASSERT_EQ(d.openByPath(write(setup), nullptr), 0);
  auto words = readAll(d, 2 * 7);  // 7 frames at a time, blocks of 50 frames
  EXPECT_EQ(words, expectedStream(setup.audio, 2, true, markerOf(words.at(0))));
}

TEST_F(DsfDecoderTest, MarkerAlternationSurvivesCallsObjectsAndDummySamples) {
  DsfSetup setup;
  setup.audio = patternAudio(2, 4096);
  expectAlternating(markersAcrossCallsObjectsAndSilence<Selvet>(write(setup)));
}

TEST_F(DsfDecoderTest, TheMarkerPhaseIsTheHostsOne) {
  DsfSetup setup;
  setup.audio = patternAudio(2, 4096);
  Selvet d;
  ASSERT_EQ(d.openByPath(write(setup), nullptr), 0);
  const SonaraHostServices* host = sonara::pluginHostServices();
  for (uint8_t phase : {0xFA, 0x05}) {
    host->set_dop_marker_phase(phase);
    std::vector<float> buf(6);
    uint32_t n = 6;  // three frames
    ASSERT_EQ(d.getNextSamples(buf.data(), &n), 0);
    EXPECT_EQ(markerOf(doPWord(buf[0])), phase);
    EXPECT_EQ(markerOf(doPWord(buf[4])), phase);
    EXPECT_EQ(host->dop_marker_phase(), static_cast<uint8_t>(~phase));  // goes on from the fourth
  }
}

TEST_F(DsfDecoderTest, MonoDeliversOneChannelOrTwoOnRequest) {
  DsfSetup setup;
  setup.channels = 1;
  setup.channel_type = 1;
  setup.audio = patternAudio(1, 4096);
  std::string path = write(setup);
  Selvet mono;
  ASSERT_EQ(mono.openByPath(path, nullptr), 0);
  EXPECT_EQ(mono.getChannels(), 1u);
  auto words = readAll(mono, 512);
  EXPECT_EQ(words, expectedStream(setup.audio, 1, true, markerOf(words.at(0))));

  Selvet doubled;
  ASSERT_EQ(doubled.openByPath(path, nullptr), 0);
  EXPECT_FALSE(doubled.setChannels(3));
  EXPECT_TRUE(doubled.setChannels(2));
  auto pairs = readAll(doubled, 512);
  EXPECT_EQ(pairs, expectedStream(setup.audio, 2, true, markerOf(pairs.at(0))));
}

TEST_F(DsfDecoderTest, QuadraphonicDeliversTheFirstTwoChannels) {
  DsfSetup setup;
  setup.channels = 4;
  setup.channel_type = 4;
  setup.audio = patternAudio(4, 4096);
  Selvet d;
  ASSERT_EQ(d.openByPath(write(setup), nullptr), 0);
  EXPECT_EQ(d.getChannels(), 2u);
  auto words = readAll(d, 4096);
  EXPECT_EQ(words, expectedStream(setup.audio, 2, true, markerOf(words.at(0))));
}

TEST_F(DsfDecoderTest, TimeStampsCarryTheirOneByteLead) {
  DsfSetup setup;
  setup.audio = patternAudio(2, 352800);  // one second of DSD64 per channel
  Selvet d;
  ASSERT_EQ(d.openByPath(write(setup), nullptr), 0);
  EXPECT_EQ(d.getDuration(), 1000000000u);
  EXPECT_EQ(d.getTimestamp(), 1000000000u / 352800);  // 1 byte, not 0
  std::vector<float> buf(4096);
  uint32_t n = 4096;
  d.getNextSamples(buf.data(), &n);
  EXPECT_EQ(d.getTimestamp(), uint64_t{4096 + 1} * 1000000000u / 352800);
}

TEST_F(DsfDecoderTest, SeekInsideABlockResumesAtTheBlockStart) {
  DsfSetup setup;
  setup.audio = patternAudio(2, 352800);
  Selvet d;
  ASSERT_EQ(d.openByPath(write(setup), nullptr), 0);
  // 0.5 s = byte 176400 of each channel, inside the block starting at 176128.
  ASSERT_EQ(d.seek(500000000), 0);
  EXPECT_EQ(d.getTimestamp(), uint64_t{176401} * 1000000000u / 352800);
  auto words = readAll(d, 4096);
  auto tail = expectedStream(setup.audio, 2, true, markerOf(words.at(0)), 176128);
  // Delivery stops when the position reaches the end, so the last (176400 - 176128)
  // bytes per channel are not delivered after such a seek.
  tail.resize(words.size());
  EXPECT_EQ(words, tail);
  EXPECT_EQ(words.size(), (352800u - 176400u) / 2 * 2);
}

TEST_F(DsfDecoderTest, SeekToABlockBoundaryStartsWithThatBlock) {
  DsfSetup setup;
  setup.audio = patternAudio(2, 4 * 4096);
  Selvet d;
  ASSERT_EQ(d.openByPath(write(setup), nullptr), 0);
  std::vector<float> buf(4096);
  uint32_t n = 4096;
  d.getNextSamples(buf.data(), &n);  // consume part of block 0
  n = 100;
  d.getNextSamples(buf.data(), &n);
  uint64_t t = uint64_t{8192} * 1000000000u / 352800 + 1;  // byte 8192 exactly
  ASSERT_EQ(d.seek(t), 0);
  auto words = readAll(d, 4096);
  EXPECT_EQ(words, expectedStream(setup.audio, 2, true, markerOf(words.at(0)), 8192));
}

TEST_F(DsfDecoderTest, SeekPastTheEndFinishesTheStream) {
  DsfSetup setup;
  setup.audio = patternAudio(2, 4096);
  Selvet d;
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

TEST_F(DsfDecoderTest, ZeroRequestsTouchNothing) {
  DsfSetup setup;
  setup.audio = patternAudio(2, 4096);
  Selvet d;
  ASSERT_EQ(d.openByPath(write(setup), nullptr), 0);
  uint64_t t = d.getTimestamp();
  uint32_t n = 0;
  EXPECT_EQ(d.getNextSamples(nullptr, &n), 0);
  EXPECT_EQ(d.getDummySamples(nullptr, &n), 0);
  EXPECT_EQ(d.getTimestamp(), t);
  float one[1];
  n = 1;  // less than a frame
  EXPECT_EQ(d.getNextSamples(one, &n), 0);
  EXPECT_EQ(n, 0u);
}

TEST_F(DsfDecoderTest, ReadsTitleArtistAndSourceFormat) {
  DsfSetup setup;
  setup.frequency = 5644800;
  setup.audio = patternAudio(2, 4096);
  setup.id3 = buildId3({{"TIT2", "Für Elise"}, {"TPE1", "Pelmora Ensemble"}, {"TIT3", "x"}});
  Selvet d;
  ASSERT_EQ(d.openByPath(write(setup), nullptr), 0);
  sonara::Array expected{
      sonara::Value(sonara::Dict{{"Title", sonara::Value("Für Elise")}}),
      sonara::Value(sonara::Dict{{"Artist", sonara::Value("Pelmora Ensemble")}}),
      sonara::Value(sonara::Dict{{"SrcBits", sonara::Value(1)}}),
      sonara::Value(sonara::Dict{{"SrcSampleRate", sonara::Value(5644800)}}),
  };
  EXPECT_EQ(d.getMetaData(), sonara::Value(expected));
}

TEST_F(DsfDecoderTest, TitleAndArtistComeThroughBesideCoverArtOfAnySize) {
  for (uint8_t version : {3, 4}) {
    DsfSetup setup;
    setup.audio = patternAudio(2, 4096);
    setup.id3 = tagWithHugeCover(version, 17u << 20);
    Selvet d;
    ASSERT_EQ(d.openByPath(write(setup), nullptr), 0);
    sonara::Array expected{
        sonara::Value(sonara::Dict{{"Title", sonara::Value("Cover Story")}}),
        sonara::Value(sonara::Dict{{"Artist", sonara::Value("Big Art Band")}}),
        sonara::Value(sonara::Dict{{"SrcBits", sonara::Value(1)}}),
        sonara::Value(sonara::Dict{{"SrcSampleRate", sonara::Value(2822400)}}),
    };
    EXPECT_EQ(d.getMetaData(), sonara::Value(expected)) << "ID3v2." << int{version};
  }
}

TEST_F(DsfDecoderTest, HostileTagSizesAreBoundedAndHarmless) {
  DsfSetup setup;
  setup.audio = patternAudio(2, 4096);
  // A tag claiming 256 MiB with a title frame claiming more than the tag holds.
  setup.id3 = {'I', 'D', '3', 3, 0, 0, 0x7F, 0x7F, 0x7F, 0x7F, 'T', 'I', 'T', '2', 0x7F, 0xFF, 0xFF, 0xFF, 0, 0, 0, 'x'};
  Selvet d;
  ASSERT_EQ(d.openByPath(write(setup), nullptr), 0);
  EXPECT_EQ(d.getMetaData().asArray().size(), 2u);  // SrcBits and SrcSampleRate only
}

TEST_F(DsfDecoderTest, UnparseableTagStillOpens) {
  DsfSetup setup;
  setup.audio = patternAudio(2, 4096);
  setup.id3 = {'I', 'D', '3', 4, 0, 0, 0x7F, 0x7F, 0x7F, 0x7F, 'T', 'I', 'T'};
  Selvet d;
  ASSERT_EQ(d.openByPath(write(setup), nullptr), 0);
  EXPECT_EQ(d.getMetaData().asArray().size(), 2u);  // SrcBits and SrcSampleRate only
}

struct DamageCase {
  const char* name;
  void (*damage)(DsfSetup&);
  int32_t status;
  const char* log;
};

class DsfDamageTest : public DsfDecoderTest, public ::testing::WithParamInterface<DamageCase> {};

TEST_P(DsfDamageTest, ReportsTheFaultWithItsStatus) {
  DsfSetup setup;
  setup.audio = patternAudio(2, 4096);
  GetParam().damage(setup);
  LogCapture log;
  Selvet d;
  EXPECT_EQ(d.openByPath(write(setup), nullptr), GetParam().status);
  EXPECT_TRUE(log.contains(GetParam().log)) << GetParam().name;
  EXPECT_TRUE(log.contains("error: parse failed.")) << GetParam().name;
}

INSTANTIATE_TEST_SUITE_P(
    Damaged, DsfDamageTest,
    ::testing::Values(
        DamageCase{"no fmt", [](DsfSetup& s) { s.omit_fmt = true; }, -26275, "fmt chunk is not found."},
        DamageCase{"no data", [](DsfSetup& s) { s.omit_data = true; }, -26275, "data chunk is not found."},
        DamageCase{"zero channels", [](DsfSetup& s) { s.channels = 0; }, -26275, "invalid parameter."},
        DamageCase{"zero block", [](DsfSetup& s) { s.block_size = 0; s.audio.clear(); }, -26275,
                   "invalid parameter."},
        DamageCase{"huge block", [](DsfSetup& s) { s.block_size = 0x7FFFFFFF; s.audio.clear();
                                                  s.sample_count_override = 8; }, -26275,
                   "invalid parameter."},
        DamageCase{"zero-size chunk", [](DsfSetup& s) { s.fmt_chunk_size = 0; }, -26275,
                   "data chunk is not found."},
        DamageCase{"huge chunk", [](DsfSetup& s) { s.fmt_chunk_size = INT64_MAX; }, -26275,
                   "data chunk is not found."}),
    [](const auto& info) {
      std::string n = info.param.name;
      for (auto& c : n) if (!isalnum(static_cast<unsigned char>(c))) c = '_';
      return n;
    });

TEST_F(DsfDecoderTest, TruncatedFilesNeverCrash) {
  DsfSetup setup;
  setup.audio = patternAudio(2, 9000);
  setup.id3 = buildId3({{"TIT2", "t"}});
  auto bytes = buildDsf(setup);
  for (size_t cut : {size_t{0}, size_t{4}, size_t{27}, size_t{40}, size_t{79}, size_t{92},
                     size_t{5000}, bytes.size() - 5}) {
    std::vector<uint8_t> part(bytes.begin(), bytes.begin() + static_cast<long>(cut));
    std::string path = dir_.file("cut" + std::to_string(cut) + ".dsf");
    writeFile(path, part);
    Selvet d;
    if (d.openByPath(path, nullptr) == 0) readAll(d, 4096);
  }
}

TEST_F(DsfDecoderTest, TruncatedDataPlaysWhatIsThereWithoutPadding) {
  DsfSetup setup;
  setup.audio = patternAudio(2, 3 * 4096);
  const auto whole = buildDsf(setup);
  const size_t audio_start = 28 + 52 + 12;
  // After the first block group: 1000 bytes of channel 0's next block, or all of it
  // and 500 bytes of channel 1's. Each channel plays only as far as channel 0 goes.
  for (size_t tail : {size_t{1000}, size_t{4096 + 500}}) {
    auto bytes = whole;
    bytes.resize(audio_start + 2 * 4096 + tail);
    std::string path = dir_.file("cut" + std::to_string(tail) + ".dsf");
    writeFile(path, bytes);
    Selvet d;
    ASSERT_EQ(d.openByPath(path, nullptr), 0);
    const uint64_t per_channel = 4096 + std::min<size_t>(tail, 4096);
    EXPECT_EQ(d.getDuration(), per_channel * 1000000000u / 352800) << tail;
    auto words = readAll(d, 4096);
    EXPECT_EQ(words.size(), per_channel) << tail;  // two bytes a word, two channels
  }
}

// Ten minutes of DSD512 pass 2^32 bits per channel at 190 s and 2^31 bytes of file
// at 380 s: a position, a file offset or a time stamp held in 32 bits would wrap.
// The file is sparse but for two block groups at 590 s, which must come out at
// their own time.
TEST_F(DsfDecoderTest, PositionsPastThirtyTwoBitsStayExact) {
  constexpr uint32_t kRate = 22579200;
  constexpr uint64_t kBytesPerSecond = kRate / 8;
  constexpr uint64_t kPerChannel = kBytesPerSecond * 600;
  constexpr uint64_t kBlock = 4096;
  constexpr uint64_t kGroup = 406000;
  constexpr uint64_t kAt = kGroup * kBlock;
  constexpr uint64_t kAudioStart = 28 + 52 + 12;
  static_assert(kAt * 8 > (uint64_t{1} << 32) && kAt * 2 > (uint64_t{1} << 31) && kAt < kPerChannel - 2 * kBlock);

  DsfSetup setup;
  setup.frequency = kRate;
  setup.audio = patternAudio(2, kBlock);
  setup.sample_count_override = kPerChannel * 8;
  auto bytes = buildDsf(setup);
  const uint64_t groups = (kPerChannel + kBlock - 1) / kBlock;
  const uint64_t size = kAudioStart + groups * 2 * kBlock;
  for (int i = 0; i < 8; ++i) bytes[12 + i] = static_cast<uint8_t>(size >> (8 * i));
  const std::string path = dir_.file("long.dsf");
  writeFile(path, bytes);
  ASSERT_EQ(::truncate(path.c_str(), static_cast<off_t>(size)), 0);

  const auto audio = patternAudio(2, 2 * kBlock);
  const int fd = ::open(path.c_str(), O_WRONLY);
  ASSERT_GE(fd, 0);
  for (uint64_t g = 0; g < 2; ++g) {
    for (uint32_t c = 0; c < 2; ++c) {
      const off_t at = static_cast<off_t>(kAudioStart + ((kGroup + g) * 2 + c) * kBlock);
      ASSERT_EQ(::pwrite(fd, audio[c].data() + g * kBlock, kBlock, at), static_cast<ssize_t>(kBlock));
    }
  }
  ::close(fd);

  Selvet d;
  ASSERT_EQ(d.openByPath(path, nullptr), 0);
  EXPECT_EQ(d.getDuration(), 600000000000u);
  const uint64_t t = (kAt * 1000000000u + kBytesPerSecond - 1) / kBytesPerSecond;  // byte kAt exactly
  ASSERT_EQ(d.seek(t), 0);
  EXPECT_EQ(d.getTimestamp(), (kAt + 1) * 1000000000u / kBytesPerSecond);

  std::vector<uint32_t> words;
  std::vector<float> buf(4096);
  while (words.size() < 2 * kBlock) {
    uint32_t n = static_cast<uint32_t>(buf.size());
    ASSERT_EQ(d.getNextSamples(buf.data(), &n), 0);
    ASSERT_GT(n, 0u);
    for (uint32_t i = 0; i < n; ++i) words.push_back(doPWord(buf[i]));
  }
  EXPECT_EQ(words, expectedStream(audio, 2, true, markerOf(words.at(0))));
  EXPECT_EQ(d.getTimestamp(), (kAt + 2 * kBlock + 1) * 1000000000u / kBytesPerSecond);
}

TEST_F(DsfDecoderTest, SixtyFourGibibytesAreRefused) {
  DsfSetup setup;
  setup.audio = patternAudio(2, 4096);
  auto bytes = buildDsf(setup);
  for (uint64_t size : {uint64_t{1} << 36, (uint64_t{1} << 36) - 1}) {
    std::string path = dir_.file("big" + std::to_string(size) + ".dsf");
    writeFile(path, bytes);
    ASSERT_EQ(::truncate(path.c_str(), static_cast<off_t>(size)), 0);  // sparse
    Selvet d;
    EXPECT_EQ(d.openByPath(path, nullptr), size == (uint64_t{1} << 36) ? -50 : 0) << size;
  }
}

}  // namespace
