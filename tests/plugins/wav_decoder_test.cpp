// The WAV and AIFF decoder driven directly: every sample format it takes delivered bit
// for bit, seeking, tags from ID3 chunks and INFO lists with their text repair, and
// damaged files that must fail clearly or play what they hold.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "plugins/common/host_link.h"
#include "plugins/system/audio_format_probe.h"
#include "plugins/system/audio_toolbox_wav_decoder.h"
#include "support/byte_output.h"
#include "support/id3_tag.h"
#include "support/pcm_file_writer.h"
#include "support/read_decoder.h"
#include "support/temp_dir.h"

namespace {

using sonara::Array;
using sonara::Value;
using sonara::tessor::AudioToolboxWavDecoder;

// What the decoder logs, through the host services it is given.
std::vector<std::string>* g_lines = nullptr;
const SonaraHostServices kHost{sizeof(SonaraHostServices),
                               [](const char* line) {
                                 if (g_lines) g_lines->emplace_back(line);
                               },
                               nullptr, nullptr};

class WavDecoderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_lines = &lines_;
    sonara::plugin::attachHost(&kHost);
  }
  void TearDown() override {
    sonara::plugin::attachHost(nullptr);
    g_lines = nullptr;
  }

  std::string write(const std::string& name, const PcmFileSetup& setup) {
    const std::string path = dir_.file(name);
    writePcmFile(path, setup);
    return path;
  }


  static std::string text(const Value& meta, const char* key) {
    for (const auto& entry : meta.asArray()) {
      if (const Value& v = entry[key]; v.isString()) return v.asString();
    }
    return "(none)";
  }

  bool logged(const std::string& part) const {
    for (const auto& l : lines_) {
      if (l.find(part) != std::string::npos) return true;
    }
    return false;
  }

  TempDir dir_;
  std::vector<std::string> lines_;
};

// Values that reach both ends of the range and every bit in between.
std::vector<int32_t> pattern(uint16_t bits, uint16_t channels, uint32_t frames) {
  const int64_t max = (int64_t{1} << (bits - 1)) - 1;
  const int64_t min = -max - 1;
  std::vector<int32_t> out;
  for (uint32_t i = 0; i < frames * channels; ++i) {
    if (i == 0) {
      out.push_back(static_cast<int32_t>(min));
    } else if (i == 1) {
      out.push_back(static_cast<int32_t>(max));
    } else {
      const uint64_t x = (uint64_t{i} * 2654435761u) ^ (uint64_t{i} << 7);
      out.push_back(static_cast<int32_t>(min + static_cast<int64_t>(x % static_cast<uint64_t>(max - min + 1))));
    }
  }
  return out;
}

float expectedFloat(int32_t v, uint16_t bits) {
  const auto left = static_cast<int32_t>(static_cast<uint32_t>(v) << (32 - bits));
  return static_cast<float>(left) * (1.0f / 2147483648.0f);
}

struct IntegerCase {
  const char* name;
  PcmContainer container;
  uint16_t bits;
  uint16_t channels;
  uint32_t rate;
  std::string compression;
  bool extensible;
};

class WavIntegerFormats : public WavDecoderTest, public ::testing::WithParamInterface<IntegerCase> {};

TEST_P(WavIntegerFormats, DeliverTheFilesIntegersExactly) {
  const IntegerCase c = GetParam();
  PcmFileSetup s;
  s.container = c.container;
  s.bits = c.bits;
  s.channels = c.channels;
  s.sample_rate = c.rate;
  s.compression = c.compression;
  if (c.extensible) s.wav_format = WavFormat::Extensible;
  s.samples = pattern(c.bits, c.channels, 1500);  // crosses the 512-frame list thrice
  const std::string path = write(std::string(c.name) + (c.container == PcmContainer::Wav ? ".wav" : ".aif"), s);

  AudioToolboxWavDecoder d;
  ASSERT_EQ(d.openByPath(path, nullptr), 0);
  EXPECT_EQ(d.getChannels(), c.channels);
  EXPECT_EQ(d.getSamplingRate(), static_cast<float>(c.rate));
  EXPECT_EQ(d.getBits(), 32u);
  EXPECT_EQ(d.getFormat(), sonara::plugin::kFormatLpcm);
  EXPECT_EQ(d.getDuration(), 1500ull * 1000000000ull / c.rate);
  EXPECT_EQ(d.getBitRate(), c.bits / 8u * c.channels * c.rate);
  EXPECT_EQ(d.getPreferredBufferSize(), static_cast<uint32_t>(c.rate * 0.02));
  const auto all = readAllValues(d);
  ASSERT_EQ(all.size(), s.samples.size());
  for (size_t i = 0; i < all.size(); ++i) {
    ASSERT_EQ(all[i], expectedFloat(s.samples[i], c.bits)) << "value " << i;
  }
  const Value meta = d.getMetaData();
  ASSERT_TRUE(meta.isArray());
  const Array& list = meta.asArray();
  ASSERT_EQ(list.size(), 3u);  // no tags: the three format entries, in order
  EXPECT_EQ(list[0][sonara::plugin::kMetaSrcSampleRate].asDouble(), c.rate);
  EXPECT_EQ(list[1]["Channels"].asInt(), c.channels);
  EXPECT_EQ(list[2][sonara::plugin::kMetaSrcBits].asInt(), c.bits);
}

INSTANTIATE_TEST_SUITE_P(
    Files, WavIntegerFormats,
    ::testing::Values(IntegerCase{"wav_u8_mono", PcmContainer::Wav, 8, 1, 44100, "", false},
                      IntegerCase{"wav_16", PcmContainer::Wav, 16, 2, 44100, "", false},
                      IntegerCase{"wav_24", PcmContainer::Wav, 24, 2, 96000, "", false},
                      IntegerCase{"wav_32", PcmContainer::Wav, 32, 2, 192000, "", false},
                      IntegerCase{"wavext_24_6ch", PcmContainer::Wav, 24, 6, 48000, "", true},
                      IntegerCase{"wavext_16_8ch", PcmContainer::Wav, 16, 8, 384000, "", true},
                      IntegerCase{"aiff_8", PcmContainer::Aiff, 8, 2, 22050, "", false},
                      IntegerCase{"aiff_16", PcmContainer::Aiff, 16, 2, 44100, "", false},
                      IntegerCase{"aiff_24_3ch", PcmContainer::Aiff, 24, 3, 88200, "", false},
                      IntegerCase{"aiff_32", PcmContainer::Aiff, 32, 1, 176400, "", false},
                      IntegerCase{"aifc_none_24", PcmContainer::Aifc, 24, 2, 352800, "NONE", false},
                      IntegerCase{"aifc_sowt_16", PcmContainer::Aifc, 16, 2, 44100, "sowt", false},
                      IntegerCase{"aifc_sowt_24", PcmContainer::Aifc, 24, 4, 384000, "sowt", false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(WavDecoderTest, FloatFilesDeliverTheirFloats) {
  for (uint16_t bits : {32, 64}) {
    PcmFileSetup s;
    s.floating = true;
    s.bits = bits;
    s.channels = 2;
    s.sample_rate = 96000;
    for (int i = 0; i < 2000; ++i) s.float_samples.push_back(std::sin(i * 0.01) * 0.9 + (i % 7) * 1e-9);
    s.float_samples[0] = 1.5;  // beyond full scale: delivered as it is, never clipped
    const std::string path = write("float" + std::to_string(bits) + ".wav", s);
    AudioToolboxWavDecoder d;
    ASSERT_EQ(d.openByPath(path, nullptr), 0);
    const auto all = readAllValues(d);
    ASSERT_EQ(all.size(), s.float_samples.size());
    for (size_t i = 0; i < all.size(); ++i) ASSERT_EQ(all[i], static_cast<float>(s.float_samples[i])) << i;
    EXPECT_EQ(text(d.getMetaData(), sonara::plugin::kMetaSrcBits), "(none)");  // a number, not a string
    EXPECT_EQ(d.getMetaData().asArray()[2][sonara::plugin::kMetaSrcBits].asInt(), bits);
  }
}

TEST_F(WavDecoderTest, SeekingLandsOnTheFrameOfTheTimeAndTheEndGivesNothing) {
  PcmFileSetup s;
  s.bits = 24;
  s.sample_rate = 48000;
  s.samples = pattern(24, 2, 4800);
  const std::string path = write("seek.wav", s);
  AudioToolboxWavDecoder d;
  ASSERT_EQ(d.openByPath(path, nullptr), 0);
  float first[2];
  uint32_t n = 2;
  ASSERT_EQ(d.getNextSamples(first, &n), 0);  // something read before the seek
  ASSERT_EQ(d.seek(62'500'000), 0);           // 62.5 ms: frame 3000
  EXPECT_EQ(d.getTimestamp(), 3001ull * 1000000000 / 48000);  // the end of the next frame
  const auto rest = readAllValues(d);
  ASSERT_EQ(rest.size(), (4800u - 3000u) * 2);
  for (size_t i = 0; i < rest.size(); ++i) ASSERT_EQ(rest[i], expectedFloat(s.samples[6000 + i], 24)) << i;
  EXPECT_EQ(d.getTimestamp(), 4801ull * 1000000000 / 48000);
  float more[64];
  n = 64;
  EXPECT_EQ(d.getNextSamples(more, &n), 0);
  EXPECT_EQ(n, 0u);
  EXPECT_EQ(d.seek(0), 0);
  n = 2;
  ASSERT_EQ(d.getNextSamples(first, &n), 0);
  EXPECT_EQ(first[0], expectedFloat(s.samples[0], 24));
}

TEST_F(WavDecoderTest, AMonoFileCanBeHadAsTwoChannelsButNeverResampled) {
  PcmFileSetup s;
  s.channels = 1;
  s.samples = pattern(16, 1, 1000);
  const std::string path = write("mono.wav", s);
  AudioToolboxWavDecoder d;
  ASSERT_EQ(d.openByPath(path, nullptr), 0);
  EXPECT_FALSE(d.setSamplingRate(48000));
  EXPECT_TRUE(logged("plays at its own rate of 44100 Hz only; 48000 Hz was asked for."));
  EXPECT_TRUE(d.setSamplingRate(44100));
  EXPECT_FALSE(d.setChannels(3));
  ASSERT_TRUE(d.setChannels(2));
  EXPECT_EQ(d.getChannels(), 2u);
  const auto all = readAllValues(d);
  ASSERT_EQ(all.size(), 2000u);
  for (size_t i = 0; i < 1000; ++i) {
    ASSERT_EQ(all[2 * i], expectedFloat(s.samples[i], 16)) << i;
    ASSERT_EQ(all[2 * i + 1], all[2 * i]) << i;
  }
}

// ---- Tags ----

class WavTags : public WavDecoderTest {
 protected:
  Value metaOf(const std::string& name, PcmFileSetup s) {
    s.samples = pattern(16, s.channels, 100);
    AudioToolboxWavDecoder d;
    EXPECT_EQ(d.openByPath(write(name, s), nullptr), 0);
    return d.getMetaData();
  }
};

TEST_F(WavTags, AnId3ChunkNamesTheTrackInWavAndAiff) {
  PcmFileSetup wav;
  wav.chunks.push_back({"id3 ", id3TextTag(3, kId3Utf16, {{"TIT2", "Für Elise"}, {"TPE1", "Ludwig"},
                                                           {"TALB", "Bagatellen"}, {"TRCK", "1/3"}})});
  Value meta = metaOf("tagged.wav", wav);
  EXPECT_EQ(text(meta, sonara::plugin::kMetaTitle), "Für Elise");
  EXPECT_EQ(text(meta, sonara::plugin::kMetaArtist), "Ludwig");
  EXPECT_EQ(text(meta, sonara::plugin::kMetaAlbum), "Bagatellen");
  EXPECT_EQ(text(meta, sonara::plugin::kMetaTrackNumber), "1/3");

  PcmFileSetup aiff;
  aiff.container = PcmContainer::Aiff;
  aiff.chunks.push_back({"ID3 ", id3TextTag(4, kId3Utf8, {{"TIT2", "Clair de lune"}, {"TPE1", "Claude"}}),
                         /*after_data=*/true});
  meta = metaOf("tagged.aiff", aiff);
  EXPECT_EQ(text(meta, sonara::plugin::kMetaTitle), "Clair de lune");
  EXPECT_EQ(text(meta, sonara::plugin::kMetaArtist), "Claude");
}

TEST_F(WavTags, InfoListsAreReadWithAndWithoutPadBytes) {
  for (bool pad : {true, false}) {
    PcmFileSetup s;
    InfoList info;
    info.items = {{"ICMT", "odd"}, {"INAM", "Title"}, {"IART", "Artist Name"}};
    info.pad = pad;
    info.nul_terminated = pad;  // unpadded writers often leave out the NUL too
    s.chunks.push_back(infoListChunk(info));
    const Value meta = metaOf(pad ? "padded.wav" : "unpadded.wav", s);
    EXPECT_EQ(text(meta, sonara::plugin::kMetaTitle), "Title") << pad;
    EXPECT_EQ(text(meta, sonara::plugin::kMetaArtist), "Artist Name") << pad;
  }
}

TEST_F(WavTags, AnId3TitleWinsOverAnInfoTitle) {
  PcmFileSetup s;
  s.chunks.push_back(infoListChunk({{{"INAM", "From INFO"}, {"IART", "INFO Artist"}}}));
  s.chunks.push_back({"id3 ", id3TextTag(3, kId3Utf8, {{"TIT2", "From ID3"}}), /*after_data=*/true});
  const Value meta = metaOf("both.wav", s);
  EXPECT_EQ(text(meta, sonara::plugin::kMetaTitle), "From ID3");
  EXPECT_EQ(text(meta, sonara::plugin::kMetaArtist), "INFO Artist");  // the ID3 tag has none
  int titles = 0;
  for (const auto& entry : meta.asArray()) titles += entry[sonara::plugin::kMetaTitle].isNull() ? 0 : 1;
  EXPECT_EQ(titles, 1);
}

TEST_F(WavTags, ShiftJisBehindALatin1LabelComesOutJapaneseAndLatin1StaysLatin1) {
  PcmFileSetup s;
  // 東京事変 and テスト in Shift-JIS, declared ISO-8859-1.
  s.chunks.push_back({"id3 ", id3TextTag(3, kId3Latin1, {{"TIT2", "\x93\x8C\x8B\x9E\x8E\x96\x95\xCF"},
                                                          {"TPE1", "\x83\x65\x83\x58\x83\x67"}})});
  Value meta = metaOf("sjis.wav", s);
  EXPECT_EQ(text(meta, sonara::plugin::kMetaTitle), "東京事変");
  EXPECT_EQ(text(meta, sonara::plugin::kMetaArtist), "テスト");

  PcmFileSetup latin;
  latin.chunks.push_back({"id3 ", id3TextTag(3, kId3Latin1, {{"TIT2", "Caf\xE9 M\xFCller"}, {"TPE1", "Se\xF1or"}})});
  meta = metaOf("latin1.wav", latin);
  EXPECT_EQ(text(meta, sonara::plugin::kMetaTitle), "Café Müller");
  EXPECT_EQ(text(meta, sonara::plugin::kMetaArtist), "Señor");

  PcmFileSetup info;  // INFO texts carry no label at all
  info.chunks.push_back(infoListChunk({{{"INAM", "\x83\x65\x83\x58\x83\x67"}, {"IART", "Bj\xF6rk"}}}));
  meta = metaOf("info_sjis.wav", info);
  EXPECT_EQ(text(meta, sonara::plugin::kMetaTitle), "テスト");
  EXPECT_EQ(text(meta, sonara::plugin::kMetaArtist), "Björk");
}

// ---- Damaged files ----

TEST_F(WavDecoderTest, DamagedHeadersFailWithAReasonAndNeverCrash) {
  struct Damage {
    const char* name;
    void (*apply)(PcmFileSetup&);
  };
  const Damage damages[] = {
      {"truncated header", [](PcmFileSetup& s) { s.truncate_at = 30; }},
      {"zero channels", [](PcmFileSetup& s) { s.channels_field = 0; }},
      {"no format chunk", [](PcmFileSetup& s) { s.omit_format = true; }},
      {"no data chunk", [](PcmFileSetup& s) { s.omit_data = true; }},
      {"huge chunk before the data", [](PcmFileSetup& s) { s.chunks.push_back({"junk", std::vector<uint8_t>(4)}); }},
      {"block align of zero", [](PcmFileSetup& s) { s.block_align = 0; }},
  };
  for (const auto& damage : damages) {
    PcmFileSetup s;
    s.samples = pattern(16, 2, 200);
    damage.apply(s);
    auto bytes = buildPcmFile(s);
    if (std::string(damage.name) == "huge chunk before the data") {
      // The junk chunk's size field, right after "junk".
      const size_t at = static_cast<size_t>(std::search(bytes.begin(), bytes.end(), "junk", "junk" + 4) - bytes.begin());
      for (int i = 0; i < 4; ++i) bytes[at + 4 + i] = 0xF0;
    }
    const std::string path = dir_.file(std::string(damage.name) + ".wav");
    writeFile(path, bytes);
    lines_.clear();
    AudioToolboxWavDecoder d;
    const int32_t status = d.openByPath(path, nullptr);
    if (status == 0) {
      // What opens plays what the file holds and ends.
      const auto all = readAllValues(d);
      EXPECT_LE(all.size(), s.samples.size()) << damage.name;
    } else {
      EXPECT_EQ(status, sonara::plugin::kStatusSeekFailed) << damage.name;
      EXPECT_FALSE(lines_.empty()) << damage.name << ": failed without a reason";
    }
  }
}

TEST_F(WavDecoderTest, DataRunningPastTheEndPlaysWhatIsThereAndSaysSo) {
  PcmFileSetup s;
  s.samples = pattern(24, 2, 1000);
  s.bits = 24;
  s.data_size = 0x7FFFFFF0;
  const std::string path = write("cut.wav", s);
  AudioToolboxWavDecoder d;
  ASSERT_EQ(d.openByPath(path, nullptr), 0);
  EXPECT_TRUE(logged("cut.wav is cut short: its audio data should run for 2147483632 bytes, the file holds 6000"));
  const auto all = readAllValues(d);
  ASSERT_EQ(all.size(), s.samples.size());
  for (size_t i = 0; i < all.size(); ++i) ASSERT_EQ(all[i], expectedFloat(s.samples[i], 24)) << i;
}

TEST_F(WavDecoderTest, AFileWithoutFramesOrTooLargeIsRefusedWithAReason) {
  PcmFileSetup empty;
  const std::string path = write("empty.wav", empty);
  AudioToolboxWavDecoder d;
  EXPECT_EQ(d.openByPath(path, nullptr), sonara::plugin::kStatusSeekFailed);
  EXPECT_TRUE(logged("empty.wav holds no audio frames."));

  // A sparse file just over 4 GiB.
  PcmFileSetup s;
  s.samples = pattern(16, 2, 10);
  const std::string big = write("big.wav", s);
  ASSERT_EQ(::truncate(big.c_str(), 0x100000000ll), 0);
  AudioToolboxWavDecoder b;
  EXPECT_EQ(b.openByPath(big, nullptr), sonara::plugin::kStatusSeekFailed);
  EXPECT_TRUE(logged("big.wav is larger than 4294967295 bytes"));
}

TEST_F(WavDecoderTest, OpeningTwiceIsRefused) {
  PcmFileSetup s;
  s.samples = pattern(16, 2, 10);
  const std::string path = write("twice.wav", s);
  AudioToolboxWavDecoder d;
  ASSERT_EQ(d.openByPath(path, nullptr), 0);
  EXPECT_EQ(d.openByPath(path, nullptr), sonara::plugin::kStatusSeekFailed);
  EXPECT_TRUE(logged("Already Opened."));
}

TEST_F(WavDecoderTest, AnyRequestSizeDeliversWholeFramesInOrder) {
  PcmFileSetup s;
  s.samples = pattern(16, 2, 2000);
  const std::string path = write("sizes.wav", s);
  AudioToolboxWavDecoder d;
  ASSERT_EQ(d.openByPath(path, nullptr), 0);
  std::vector<float> all;
  float buffer[1100];
  uint32_t n = 1;  // less than a frame: nothing
  ASSERT_EQ(d.getNextSamples(buffer, &n), 0);
  EXPECT_EQ(n, 0u);
  for (uint32_t ask : {3u, 511u, 513u, 1024u, 1025u, 2u}) {
    n = ask;
    ASSERT_EQ(d.getNextSamples(buffer, &n), 0);
    EXPECT_EQ(n, ask / 2 * 2);
    all.insert(all.end(), buffer, buffer + n);
  }
  for (size_t i = 0; i < all.size(); ++i) ASSERT_EQ(all[i], expectedFloat(s.samples[i], 16)) << i;
  // Past the end a seek fails and leaves the position where it was.
  lines_.clear();
  EXPECT_EQ(d.seek(5'000'000'000), sonara::plugin::kStatusSeekFailed);
  EXPECT_TRUE(logged("sf_seek Failed."));
  n = 2;
  ASSERT_EQ(d.getNextSamples(buffer, &n), 0);
  EXPECT_EQ(buffer[0], expectedFloat(s.samples[all.size()], 16));
}

TEST_F(WavDecoderTest, SwitchingAMonoFileToTwoChannelsGoesOnFromTheNextFrame) {
  PcmFileSetup s;
  s.channels = 1;
  s.samples = pattern(24, 1, 2000);
  s.bits = 24;
  AudioToolboxWavDecoder d;
  ASSERT_EQ(d.openByPath(write("switch.wav", s), nullptr), 0);
  std::vector<float> first(700);
  uint32_t n = 700;
  ASSERT_EQ(d.getNextSamples(first.data(), &n), 0);
  ASSERT_EQ(n, 700u);
  ASSERT_TRUE(d.setChannels(2));
  float pair[2];
  n = 2;
  ASSERT_EQ(d.getNextSamples(pair, &n), 0);
  EXPECT_EQ(pair[0], expectedFloat(s.samples[700], 24));
  EXPECT_EQ(pair[1], pair[0]);
}

TEST_F(WavDecoderTest, ImpossibleFormatsAreRefusedBeforeAnyBufferIsMade) {
  PcmFileSetup s;
  s.samples = pattern(16, 2, 100);
  s.sample_rate = 2000000000;
  AudioToolboxWavDecoder d;
  EXPECT_EQ(d.openByPath(write("fast.wav", s), nullptr), sonara::plugin::kStatusSeekFailed);
  EXPECT_TRUE(logged("fast.wav declares 2000000000 Hz and 2 channels, which no audio file holds."));
}

TEST_F(WavTags, TheListKeepsItsOrderAndEmptyOrForeignTagsAddNothing) {
  PcmFileSetup s;
  s.chunks.push_back({"id3 ", id3TextTag(3, kId3Utf8, {{"TIT2", ""}, {"TPE1", "Artist"}})});
  s.chunks.push_back(infoListChunk({{{"INAM", ""}, {"IART", "Other"}}}));
  Value meta = metaOf("empty.wav", s);
  const auto& list = meta.asArray();
  ASSERT_EQ(list.size(), 4u) << "an empty title is no title";
  EXPECT_EQ(list[0][sonara::plugin::kMetaArtist].asString(), "Artist");
  EXPECT_TRUE(list[1][sonara::plugin::kMetaSrcSampleRate].isNumber());
  EXPECT_TRUE(list[2]["Channels"].isNumber());
  EXPECT_TRUE(list[3][sonara::plugin::kMetaSrcBits].isNumber());

  // "id3 " wins over "ID3 "; an AIFF file has no INFO step.
  PcmFileSetup both;
  both.chunks.push_back({"ID3 ", id3TextTag(3, kId3Utf8, {{"TIT2", "Upper"}})});
  both.chunks.push_back({"id3 ", id3TextTag(3, kId3Utf8, {{"TIT2", "Lower"}}), true});
  EXPECT_EQ(text(metaOf("cases.wav", both), sonara::plugin::kMetaTitle), "Lower");
  PcmFileSetup aiff;
  aiff.container = PcmContainer::Aiff;
  aiff.chunks.push_back(infoListChunk({{{"INAM", "Not for AIFF"}}}));
  EXPECT_EQ(text(metaOf("info.aiff", aiff), sonara::plugin::kMetaTitle), "(none)");
}

TEST_F(WavTags, AnITunesCommentThatDoesNotFitTheFileIsIgnored) {
  PcmFileSetup s;
  s.samples = pattern(16, 2, 1000);
  for (const char* valid : {"0000000000000000", "00000000000F4240"}) {  // 0 and 1000000 frames
    s.chunks = {{"id3 ", id3Tag(3, {{"COMM", [&] {
                                        std::vector<uint8_t> body{0, 'e', 'n', 'g'};
                                        putText(body, "iTunSMPB");
                                        body.push_back(0);
                                        putText(body, std::string(" 00000000 00000840 00000000 ") + valid);
                                        return body;
                                      }()}})}};
    AudioToolboxWavDecoder d;
    ASSERT_EQ(d.openByPath(write(std::string("smpb") + valid + ".wav", s), nullptr), 0) << valid;
    EXPECT_EQ(d.getDuration(), 1000ull * 1000000000 / 44100) << valid;
  }
}

TEST_F(WavTags, ChunksAfterAnUnpaddedOddDataChunkAreFound) {
  PcmFileSetup s;
  s.channels = 1;
  s.bits = 8;
  s.samples = pattern(8, 1, 101);  // 101 bytes of data
  s.chunks.push_back(infoListChunk({{{"INAM", "After odd data"}}}));
  s.chunks.back().after_data = true;
  auto bytes = buildPcmFile(s);
  // Take out the data chunk's pad byte, as some writers do, and mend the RIFF size.
  const size_t pad = static_cast<size_t>(std::search(bytes.begin(), bytes.end(), "LIST", "LIST" + 4) - bytes.begin()) - 1;
  ASSERT_EQ(bytes[pad], 0);
  bytes.erase(bytes.begin() + static_cast<long>(pad));
  const uint32_t riff = static_cast<uint32_t>(bytes.size() - 8);
  for (int i = 0; i < 4; ++i) bytes[4 + static_cast<size_t>(i)] = static_cast<uint8_t>(riff >> (8 * i));
  writeFile(dir_.file("unpadded.wav"), bytes);
  AudioToolboxWavDecoder d;
  ASSERT_EQ(d.openByPath(dir_.file("unpadded.wav"), nullptr), 0);
  EXPECT_EQ(text(d.getMetaData(), sonara::plugin::kMetaTitle), "After odd data");
}

TEST_F(WavTags, AiffNameChunksAndTwentyBitSamplesAreReported) {
  PcmFileSetup s;
  s.container = PcmContainer::Aiff;
  s.bits = 24;
  s.valid_bits = 20;
  PcmFileSetup twenty = s;
  twenty.chunks.push_back({"NAME", std::vector<uint8_t>{'S', 'o', 'n', 'g'}});
  twenty.chunks.push_back({"AUTH", std::vector<uint8_t>{'B', 'a', 'n', 'd'}});
  // AIFF says 20 bits in its sample size; the writer's field for it is the frame
  // count's neighbour, so the COMM chunk is mended by hand.
  twenty.samples = pattern(24, 2, 100);
  for (auto& v : twenty.samples) v &= ~0xF;  // 20 significant bits in 24
  auto bytes = buildPcmFile(twenty);
  const size_t comm = static_cast<size_t>(std::search(bytes.begin(), bytes.end(), "COMM", "COMM" + 4) - bytes.begin());
  bytes[comm + 8 + 7] = 20;
  writeFile(dir_.file("twenty.aiff"), bytes);
  AudioToolboxWavDecoder d;
  ASSERT_EQ(d.openByPath(dir_.file("twenty.aiff"), nullptr), 0);
  const Value meta = d.getMetaData();
  EXPECT_EQ(text(meta, sonara::plugin::kMetaTitle), "Song");
  EXPECT_EQ(text(meta, sonara::plugin::kMetaArtist), "Band");
  int64_t bits = 0;
  for (const auto& e : meta.asArray()) {
    if (e[sonara::plugin::kMetaSrcBits].isNumber()) bits = e[sonara::plugin::kMetaSrcBits].asInt();
  }
  EXPECT_EQ(bits, 20);
  EXPECT_EQ(d.getBitRate(), 3u * 2 * 44100);  // stored in three bytes all the same

  PcmFileSetup ext;
  ext.wav_format = WavFormat::Extensible;
  ext.bits = 24;
  ext.valid_bits = 20;
  ext.samples = twenty.samples;
  AudioToolboxWavDecoder e;
  ASSERT_EQ(e.openByPath(write("twenty.wav", ext), nullptr), 0);
  EXPECT_EQ(e.getMetaData().asArray().back()[sonara::plugin::kMetaSrcBits].asInt(), 20);
}

// ---- Choosing by content ----

TEST_F(WavDecoderTest, TheProbeNamesWhatAFileHolds) {
  using sonara::tessor::DataFormat;
  using sonara::tessor::probeAudioFormat;
  PcmFileSetup s;
  s.samples = pattern(16, 2, 10);
  EXPECT_EQ(probeAudioFormat(write("pcm.mp3", s)).format, DataFormat::LinearPcm);
  s.container = PcmContainer::Aifc;
  s.compression = "sowt";
  auto p = probeAudioFormat(write("pcm.aifc", s));
  EXPECT_EQ(p.format, DataFormat::LinearPcm);
  EXPECT_EQ(p.description, "16-bit PCM in an AIFF file");
  PcmFileSetup zero;
  zero.samples = pattern(16, 2, 10);
  zero.channels_field = 0;
  p = probeAudioFormat(write("zero.wav", zero));
  EXPECT_EQ(p.format, DataFormat::Damaged);
  EXPECT_EQ(p.description.rfind("a damaged WAV file (", 0), 0u) << p.description;
  writeFile(dir_.file("text.wav"), std::vector<uint8_t>(100, 'x'));
  EXPECT_EQ(probeAudioFormat(dir_.file("text.wav")).format, DataFormat::Unknown);
  EXPECT_EQ(probeAudioFormat(dir_.file("missing.wav")).format, DataFormat::Unknown);
}

}  // namespace
