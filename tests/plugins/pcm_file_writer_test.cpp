// The tests' WAV/AIFF writer checked against programs that read these files on their own:
// sox for the samples and the format, ffprobe for the tags. The PCM decoder's tests trust
// the writer, so it must not share a mistake with the decoder.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "support/id3_tag.h"
#include "support/pcm_file_writer.h"
#include "support/read_bytes.h"
#include "support/run_command.h"
#include "support/temp_dir.h"

namespace {

class PcmFileWriterTest : public ::testing::Test {
 protected:
  std::string write(const PcmFileSetup& setup, const std::string& name) {
    std::string path = dir_.file(name);
    writePcmFile(path, setup);
    return path;
  }

  // What sox decodes from `path`, as raw native-endian samples of the given kind.
  std::string soxRaw(const std::string& path, const std::string& encoding, int bits) {
    auto r = runCommand("sox " + path + " -t raw -e " + encoding + " -b " + std::to_string(bits) + " - 2>" +
                        dir_.file("sox.err"));
    EXPECT_EQ(r.status, 0) << readBytes(dir_.file("sox.err"));
    return r.out;
  }

  std::vector<int32_t> soxInts(const std::string& path) { return fromRaw<int32_t>(soxRaw(path, "signed-integer", 32)); }

  // What ffmpeg decodes from `path`, as 32-bit integers: a second reader for what sox gets wrong.
  std::vector<int32_t> ffmpegInts(const std::string& path) {
    auto r = runCommand("ffmpeg -v error -i " + path + " -f s32le - 2>" + dir_.file("ffmpeg.err"));
    EXPECT_EQ(r.status, 0) << readBytes(dir_.file("ffmpeg.err"));
    return fromRaw<int32_t>(r.out);
  }

  // "title=...|artist=..." as ffprobe reads the file's tags.
  std::string ffprobeTags(const std::string& path) {
    auto r = runCommand("ffprobe -v error -show_entries format_tags=title,artist -of default=nw=1:nk=0 " + path +
                        " 2>&1");
    EXPECT_EQ(r.status, 0) << r.out;
    std::string tags;
    for (char c : r.out) tags += c == '\n' ? '|' : c;
    return tags;
  }

  // One line of soxi's report. Its warnings stay out: it warns about every extensible float
  // WAV, looking for a second extension after reading the first.
  std::string soxi(const std::string& option, const std::string& path) {
    auto r = runCommand("soxi " + option + " " + path + " 2>" + dir_.file("soxi.err"));
    EXPECT_EQ(r.status, 0) << readBytes(dir_.file("soxi.err"));
    return r.out.substr(0, r.out.find('\n'));
  }

  template <typename T>
  static std::vector<T> fromRaw(const std::string& raw) {
    std::vector<T> out(raw.size() / sizeof(T));
    std::memcpy(out.data(), raw.data(), out.size() * sizeof(T));
    return out;
  }

  TempDir dir_;
};

// The extremes of a `bits`-wide integer, its neighbours of zero, then a spread of values.
std::vector<int32_t> integerSamples(int bits, size_t count) {
  int64_t max = (int64_t{1} << (bits - 1)) - 1;
  int64_t min = -max - 1;
  std::vector<int64_t> wide{min, max, 0, -1, 1, min + 1, max - 1};
  uint64_t x = 0x9E3779B97F4A7C15u;
  while (wide.size() < count) {
    x = x * 6364136223846793005u + 1442695040888963407u;
    wide.push_back(min + static_cast<int64_t>((x >> 20) % static_cast<uint64_t>(max - min + 1)));
  }
  std::vector<int32_t> out;
  for (int64_t v : wide) out.push_back(static_cast<int32_t>(v));
  return out;
}

// How sox hands over an integer sample: moved up to the top of 32 bits.
std::vector<int32_t> atTop(const std::vector<int32_t>& samples, int bits) {
  std::vector<int32_t> out;
  for (int32_t v : samples) out.push_back(static_cast<int32_t>(static_cast<uint32_t>(v) << (32 - bits)));
  return out;
}

// Float samples sox passes through unchanged: sox holds every sample as a 32-bit integer
// on the way, so only multiples of 2^-31 in [-1, 1) survive bit for bit. Each value is a
// `bits`-wide integer over 2^(bits-1): 24 bits for what a float holds, 32 for what only a
// double does.
std::vector<double> floatSamples(int bits, size_t count) {
  std::vector<double> out{-1.0, 0.0, 0.5, -0.5};
  uint64_t x = 12345;
  while (out.size() < count) {
    x = x * 6364136223846793005u + 1442695040888963407u;
    auto k = static_cast<int64_t>(x >> (64 - bits)) - (int64_t{1} << (bits - 1));
    out.push_back(std::ldexp(static_cast<double>(k), -(bits - 1)));
  }
  return out;
}

TEST_F(PcmFileWriterTest, IntegerWavSamplesReachSoxBitForBit) {
  for (int bits : {8, 16, 24, 32}) {
    SCOPED_TRACE(bits);
    PcmFileSetup setup;
    setup.bits = static_cast<uint16_t>(bits);
    setup.samples = integerSamples(bits, 2 * 40);
    std::string path = write(setup, "int.wav");
    EXPECT_EQ(soxInts(path), atTop(setup.samples, bits));
    EXPECT_EQ(soxi("-b", path), std::to_string(bits));
    EXPECT_EQ(soxi("-e", path), bits == 8 ? "Unsigned Integer PCM" : "Signed Integer PCM");
  }
}

TEST_F(PcmFileWriterTest, EightBitWavStoresSamplesOffsetBy128) {
  PcmFileSetup setup;
  setup.channels = 1;
  setup.bits = 8;
  setup.samples = {-128, -1, 0, 1, 127};
  auto bytes = buildPcmFile(setup);
  size_t at = pcmDataOffset(setup);
  EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + at, bytes.begin() + at + 5), (std::vector<uint8_t>{0, 127, 128, 129, 255}));
}

TEST_F(PcmFileWriterTest, FloatWavSamplesReachSoxBitForBit) {
  PcmFileSetup setup;
  setup.floating = true;
  setup.bits = 32;
  setup.float_samples = floatSamples(24, 2 * 40);
  std::string path = write(setup, "f32.wav");
  std::vector<float> as_float(setup.float_samples.begin(), setup.float_samples.end());
  auto got = fromRaw<float>(soxRaw(path, "floating-point", 32));
  ASSERT_EQ(got.size(), as_float.size());
  EXPECT_EQ(std::memcmp(got.data(), as_float.data(), got.size() * sizeof(float)), 0);
  EXPECT_EQ(soxi("-e", path), "Floating Point PCM");

  setup.bits = 64;
  setup.fact = true;
  setup.float_samples = floatSamples(32, 2 * 40);  // more than a float holds
  path = write(setup, "f64.wav");
  auto doubles = fromRaw<double>(soxRaw(path, "floating-point", 64));
  EXPECT_EQ(doubles, setup.float_samples);
  EXPECT_EQ(soxi("-b", path), "64");
}

TEST_F(PcmFileWriterTest, ExtensibleWavCarriesItsSubFormatToSox) {
  PcmFileSetup setup;
  setup.wav_format = WavFormat::Extensible;
  setup.channels = 6;
  setup.bits = 24;
  setup.samples = integerSamples(24, 6 * 20);
  std::string path = write(setup, "ext24.wav");
  EXPECT_EQ(soxInts(path), atTop(setup.samples, 24));
  EXPECT_EQ(soxi("-c", path), "6");
  EXPECT_EQ(soxi("-e", path), "Signed Integer PCM");
  // fmt: tag, channels, rate, byte rate, align, bits, extension size, valid bits, mask, sub-format.
  auto bytes = buildPcmFile(setup);
  const uint8_t fmt[] = {'f', 'm', 't', ' ', 40, 0, 0, 0, 0xFE, 0xFF, 6, 0, 0x44, 0xAC, 0, 0, 0xC8, 0x1C, 0x0C, 0,
                         18, 0, 24, 0, 22, 0, 24, 0, 0x3F, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0x10, 0,
                         0x80, 0, 0, 0xAA, 0, 0x38, 0x9B, 0x71};
  EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + 12, bytes.begin() + 12 + sizeof fmt),
            std::vector<uint8_t>(fmt, fmt + sizeof fmt));

  PcmFileSetup floats;
  floats.wav_format = WavFormat::Extensible;
  floats.floating = true;
  floats.bits = 32;
  floats.float_samples = floatSamples(24, 2 * 20);
  path = write(floats, "extf.wav");
  std::vector<float> as_float(floats.float_samples.begin(), floats.float_samples.end());
  auto got = fromRaw<float>(soxRaw(path, "floating-point", 32));
  ASSERT_EQ(got.size(), as_float.size());
  EXPECT_EQ(std::memcmp(got.data(), as_float.data(), got.size() * sizeof(float)), 0);
  EXPECT_EQ(soxi("-e", path), "Floating Point PCM");
}

TEST_F(PcmFileWriterTest, AiffAndAifcSamplesReachSoxBitForBit) {
  struct Case {
    PcmContainer container;
    std::string compression;
    int bits;
  };
  for (const Case& c : {Case{PcmContainer::Aiff, "", 8}, Case{PcmContainer::Aiff, "", 16}, Case{PcmContainer::Aiff, "", 24},
                        Case{PcmContainer::Aiff, "", 32}, Case{PcmContainer::Aifc, "NONE", 16},
                        Case{PcmContainer::Aifc, "twos", 24}, Case{PcmContainer::Aifc, "sowt", 8},
                        Case{PcmContainer::Aifc, "sowt", 16}, Case{PcmContainer::Aifc, "sowt", 24},
                        Case{PcmContainer::Aifc, "sowt", 32}}) {
    SCOPED_TRACE(c.compression + " " + std::to_string(c.bits));
    PcmFileSetup setup;
    setup.container = c.container;
    setup.compression = c.compression;
    setup.channels = 3;
    setup.bits = static_cast<uint16_t>(c.bits);
    setup.samples = integerSamples(c.bits, 3 * 30);
    std::string path = write(setup, c.container == PcmContainer::Aiff ? "int.aiff" : "int.aifc");
    EXPECT_EQ(soxInts(path), atTop(setup.samples, c.bits));
    EXPECT_EQ(soxi("-b", path), std::to_string(c.bits));
  }
}

TEST_F(PcmFileWriterTest, SowtIsLittleEndianAndNoneBigEndian) {
  PcmFileSetup setup;
  setup.container = PcmContainer::Aifc;
  setup.channels = 1;
  setup.samples = {0x1234};
  setup.compression = "sowt";
  auto bytes = buildPcmFile(setup);
  EXPECT_EQ(bytes[pcmDataOffset(setup)], 0x34);
  setup.compression = "NONE";
  bytes = buildPcmFile(setup);
  EXPECT_EQ(bytes[pcmDataOffset(setup)], 0x12);
}

TEST_F(PcmFileWriterTest, AifcFloatSamplesReachSoxBitForBit) {
  for (std::string type : {"fl32", "FL32"}) {
    SCOPED_TRACE(type);
    PcmFileSetup setup;
    setup.container = PcmContainer::Aifc;
    setup.compression = type;
    setup.floating = true;
    setup.bits = 32;
    setup.float_samples = floatSamples(24, 2 * 30);
    std::string path = write(setup, "f32.aifc");
    std::vector<float> as_float(setup.float_samples.begin(), setup.float_samples.end());
    auto got = fromRaw<float>(soxRaw(path, "floating-point", 32));
    ASSERT_EQ(got.size(), as_float.size());
    EXPECT_EQ(std::memcmp(got.data(), as_float.data(), got.size() * sizeof(float)), 0);
  }
  PcmFileSetup setup;
  setup.container = PcmContainer::Aifc;
  setup.floating = true;
  setup.bits = 64;  // "fl64" by default
  setup.float_samples = floatSamples(32, 2 * 30);
  EXPECT_EQ(fromRaw<double>(soxRaw(write(setup, "f64.aifc"), "floating-point", 64)), setup.float_samples);
}

TEST_F(PcmFileWriterTest, SoxiReportsTheFormatOfHighRateFiles) {
  PcmFileSetup six;
  six.channels = 6;
  six.bits = 24;
  six.sample_rate = 192000;
  six.samples = integerSamples(24, 6 * 25);
  for (auto format : {WavFormat::Pcm, WavFormat::Extensible}) {
    six.wav_format = format;
    std::string path = write(six, "six.wav");
    EXPECT_EQ(soxi("-r", path), "192000");
    EXPECT_EQ(soxi("-c", path), "6");
    EXPECT_EQ(soxi("-b", path), "24");
    EXPECT_EQ(soxi("-s", path), "25");
  }

  PcmFileSetup aiff;
  aiff.container = PcmContainer::Aiff;
  aiff.bits = 24;
  aiff.sample_rate = 384000;
  aiff.samples = integerSamples(24, 2 * 25);
  std::string path = write(aiff, "fast.aiff");
  EXPECT_EQ(soxi("-r", path), "384000");
  EXPECT_EQ(soxi("-c", path), "2");
  EXPECT_EQ(soxi("-b", path), "24");
  EXPECT_EQ(soxi("-s", path), "25");

  for (uint32_t rate : {8000u, 11025u, 12345u, 44100u, 88200u, 176400u, 352800u, 705600u, 768000u}) {
    aiff.sample_rate = rate;
    EXPECT_EQ(soxi("-r", write(aiff, "rate.aiff")), std::to_string(rate));
  }
}

TEST_F(PcmFileWriterTest, ExtendedRateIsTheEightyBitValue) {
  EXPECT_EQ(aiffExtendedRate(44100), (std::vector<uint8_t>{0x40, 0x0E, 0xAC, 0x44, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(aiffExtendedRate(48000), (std::vector<uint8_t>{0x40, 0x0E, 0xBB, 0x80, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(aiffExtendedRate(768000), (std::vector<uint8_t>{0x40, 0x12, 0xBB, 0x80, 0, 0, 0, 0, 0, 0}));
  // Where long double is the x87 80-bit format, the processor's own conversion is the reference.
  if constexpr (std::numeric_limits<long double>::digits == 64) {
    for (uint32_t rate = 8000; rate <= 768000; ++rate) {
      long double x = rate;
      uint8_t little[sizeof(long double)];
      std::memcpy(little, &x, sizeof x);
      auto ours = aiffExtendedRate(rate);
      for (int i = 0; i < 10; ++i) ASSERT_EQ(ours[i], little[9 - i]) << rate;
    }
  }
}

TEST_F(PcmFileWriterTest, InfoListSubChunksArePaddedUnlessAskedNotTo) {
  InfoList list{.items = {{"INAM", "Odd!"}, {"IART", "Eve"}}};
  const std::vector<uint8_t> padded{'I', 'N', 'F', 'O', 'I', 'N', 'A', 'M', 5, 0, 0, 0, 'O', 'd', 'd', '!', 0, 0,
                                    'I', 'A', 'R', 'T', 4, 0, 0, 0, 'E', 'v', 'e', 0};
  EXPECT_EQ(infoListChunk(list).body, padded);
  list.pad = false;
  const std::vector<uint8_t> unpadded{'I', 'N', 'F', 'O', 'I', 'N', 'A', 'M', 5, 0, 0, 0, 'O', 'd', 'd', '!', 0,
                                      'I', 'A', 'R', 'T', 4, 0, 0, 0, 'E', 'v', 'e', 0};
  EXPECT_EQ(infoListChunk(list).body, unpadded);
  list.nul_terminated = false;
  const std::vector<uint8_t> bare{'I', 'N', 'F', 'O', 'I', 'N', 'A', 'M', 4, 0, 0, 0, 'O', 'd', 'd', '!',
                                  'I', 'A', 'R', 'T', 3, 0, 0, 0, 'E', 'v', 'e'};
  EXPECT_EQ(infoListChunk(list).body, bare);
}

TEST_F(PcmFileWriterTest, WavWithInfoListReadsTheSameAndShowsItsTags) {
  PcmFileSetup setup;
  setup.samples = integerSamples(16, 2 * 20);
  for (bool after : {false, true}) {
    SCOPED_TRACE(after);
    PcmChunk list = infoListChunk({.items = {{"INAM", "Odd!"}, {"IART", "Quartet"}}});
    list.after_data = after;
    setup.chunks = {list};
    std::string path = write(setup, "info.wav");
    EXPECT_EQ(soxInts(path), atTop(setup.samples, 16));
    EXPECT_EQ(ffprobeTags(path), "TAG:title=Odd!|TAG:artist=Quartet|");
  }
  // Unpadded sub-chunks: sox skips the list whole; ffmpeg would walk into the text.
  setup.chunks = {infoListChunk({.items = {{"INAM", "Odd!"}, {"IART", "Quartet"}}, .pad = false})};
  EXPECT_EQ(soxInts(write(setup, "unpadded.wav")), atTop(setup.samples, 16));
}

TEST_F(PcmFileWriterTest, Id3ChunksKeepTheSamplesAndCarryTheirText) {
  struct Case {
    uint8_t encoding;
    std::string title;
    std::string shown;  // what ffprobe prints in UTF-8
  };
  for (const Case& c : {Case{kId3Latin1, "Caf\xE9", "Café"}, Case{kId3Utf16, "Für Elise ♪ 𝄞", "Für Elise ♪ 𝄞"},
                        Case{kId3Utf8, "Für Elise ♪", "Für Elise ♪"}}) {
    for (auto container : {PcmContainer::Wav, PcmContainer::Aiff}) {
      for (bool after : {false, true}) {
        SCOPED_TRACE(std::to_string(c.encoding) + (container == PcmContainer::Wav ? " wav " : " aiff ") +
                     (after ? "after" : "before"));
        PcmFileSetup setup;
        setup.container = container;
        setup.samples = integerSamples(16, 2 * 20);
        auto tag = id3TextTag(3, c.encoding, {{"TIT2", c.title}, {"TPE1", "Band"}});
        setup.chunks = {{container == PcmContainer::Wav ? "id3 " : "ID3 ", tag, after}};
        std::string path = write(setup, container == PcmContainer::Wav ? "id3.wav" : "id3.aiff");
        // sox's AIFF reader skips an unknown chunk without its pad byte, so an odd one before
        // the sound data throws it off; ffmpeg reads such a file as written.
        bool sox_misreads = container == PcmContainer::Aiff && !after && tag.size() % 2;
        EXPECT_EQ(sox_misreads ? ffmpegInts(path) : soxInts(path), atTop(setup.samples, 16));
        EXPECT_EQ(ffprobeTags(path), "TAG:title=" + c.shown + "|TAG:artist=Band|");
      }
    }
  }
}

TEST_F(PcmFileWriterTest, Id3v23TextFramesHaveTheirEncodingAndPlainSizes) {
  auto tag = id3TextTag(3, kId3Utf16, {{"TIT2", "Aé"}});
  const std::vector<uint8_t> expected{'I', 'D', '3', 3, 0, 0, 0, 0, 0, 17, 'T', 'I', 'T', '2', 0, 0, 0, 7, 0, 0,
                                      1, 0xFF, 0xFE, 'A', 0, 0xE9, 0};
  EXPECT_EQ(tag, expected);
  // A code point beyond the basic plane becomes a surrogate pair.
  EXPECT_EQ(id3Text(kId3Utf16, "\xF0\x9D\x84\x9E"), (std::vector<uint8_t>{1, 0xFF, 0xFE, 0x34, 0xD8, 0x1E, 0xDD}));
  EXPECT_EQ(id3Text(kId3Latin1, "\x93\xFA"), (std::vector<uint8_t>{0, 0x93, 0xFA}));
}

TEST_F(PcmFileWriterTest, OddSizedChunksArePaddedInRiffAndForm) {
  for (auto container : {PcmContainer::Wav, PcmContainer::Aiff}) {
    SCOPED_TRACE(container == PcmContainer::Wav ? "wav" : "aiff");
    PcmFileSetup setup;
    setup.container = container;
    setup.channels = 1;
    setup.bits = 8;
    setup.samples = {1, -2, 3};  // an odd-sized sound chunk
    setup.chunks = {{"ABCD", {7}},
                    {container == PcmContainer::Wav ? "id3 " : "ID3 ", id3TextTag(3, kId3Utf8, {{"TIT2", "After"}}), true}};
    std::string path = write(setup, container == PcmContainer::Wav ? "odd.wav" : "odd.aiff");
    auto bytes = buildPcmFile(setup);
    EXPECT_EQ(bytes.size() % 2, 0u);
    uint32_t form = container == PcmContainer::Wav
                        ? bytes[4] | bytes[5] << 8 | bytes[6] << 16 | static_cast<uint32_t>(bytes[7]) << 24
                        : static_cast<uint32_t>(bytes[4]) << 24 | bytes[5] << 16 | bytes[6] << 8 | bytes[7];
    EXPECT_EQ(form, bytes.size() - 8);
    // ffmpeg finds the tag after the sound data only by stepping over both pad bytes.
    EXPECT_EQ(ffmpegInts(path), atTop(setup.samples, 8));
    EXPECT_EQ(ffprobeTags(path), "TAG:title=After|");
    if (container == PcmContainer::Wav) {
      EXPECT_EQ(soxInts(path), atTop(setup.samples, 8));
    }
  }
}

TEST_F(PcmFileWriterTest, DamageSwitchesWriteTheGivenFieldsOnly) {
  PcmFileSetup setup;
  setup.samples = integerSamples(16, 2 * 10);
  const auto sound = buildPcmFile(setup);
  setup.form_size = 0x7FFFFFF0;
  setup.data_size = 0x10000000;
  setup.channels_field = 0;
  setup.block_align = 3;
  auto bytes = buildPcmFile(setup);
  ASSERT_EQ(bytes.size(), sound.size());
  // RIFF size at 4; in "fmt " at 12: channels at 22, block align at 32; data size at 40.
  EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + 4, bytes.begin() + 8), (std::vector<uint8_t>{0xF0, 0xFF, 0xFF, 0x7F}));
  EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + 22, bytes.begin() + 24), (std::vector<uint8_t>{0, 0}));
  EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + 32, bytes.begin() + 34), (std::vector<uint8_t>{3, 0}));
  EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + 36, bytes.begin() + 44),
            (std::vector<uint8_t>{'d', 'a', 't', 'a', 0, 0, 0, 0x10}));
  for (size_t i = 0; i < bytes.size(); ++i) {
    if ((i < 4 || i >= 8) && i != 22 && i != 23 && i != 32 && i != 33 && (i < 40 || i >= 44)) {
      ASSERT_EQ(bytes[i], sound[i]) << i;
    }
  }
  setup.truncate_at = 50;
  EXPECT_EQ(buildPcmFile(setup), std::vector<uint8_t>(bytes.begin(), bytes.begin() + 50));

  PcmFileSetup silent;
  silent.samples = integerSamples(16, 2 * 10);
  silent.channels_field = 0;
  auto r = runCommand("sox " + write(silent, "zero.wav") + " -n 2>&1");
  EXPECT_NE(r.status, 0);
  EXPECT_NE(r.out.find("hannel count is zero"), std::string::npos) << r.out;

  PcmFileSetup aiff;
  aiff.container = PcmContainer::Aiff;
  aiff.samples = integerSamples(16, 2 * 10);
  aiff.channels_field = 0;
  aiff.frames_field = 999;
  aiff.data_size = 0xFFFFFFFF;
  bytes = buildPcmFile(aiff);
  // COMM body at 20: channels, frames; SSND size at 42.
  EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + 20, bytes.begin() + 26), (std::vector<uint8_t>{0, 0, 0, 0, 0x03, 0xE7}));
  EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + 38, bytes.begin() + 46),
            (std::vector<uint8_t>{'S', 'S', 'N', 'D', 0xFF, 0xFF, 0xFF, 0xFF}));
  EXPECT_EQ(bytes.size(), 54u + 40u);
}

TEST_F(PcmFileWriterTest, DataOffsetPointsAtTheFirstSample) {
  for (auto container : {PcmContainer::Wav, PcmContainer::Aiff, PcmContainer::Aifc}) {
    PcmFileSetup setup;
    setup.container = container;
    setup.samples = {0x0A0B, 2, 3, 4};
    setup.chunks = {infoListChunk({.items = {{"INAM", "x"}}}), {"JUNK", {1, 2, 3}, true}};
    auto bytes = buildPcmFile(setup);
    size_t at = pcmDataOffset(setup);
    ASSERT_LT(at + 1, bytes.size());
    EXPECT_EQ(bytes[at], container == PcmContainer::Wav ? 0x0B : 0x0A);
    EXPECT_EQ(bytes.size() - at, 8u + 12u);  // the samples, then the JUNK chunk with its pad
  }
}

}  // namespace
