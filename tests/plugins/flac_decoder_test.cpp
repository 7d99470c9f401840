#include <gtest/gtest.h>

#include <FLAC/stream_encoder.h>

#include <cmath>
#include <filesystem>
#include <fstream>

#include "plugins/flac/mirrane.h"
#include "support/flac_fixtures.h"
#include "support/engine_as_host.h"
#include "support/log_capture.h"
#include "support/temp_dir.h"

using sonara::flac::Mirrane;
namespace plugin = sonara::plugin;

namespace {

class FlacDecoderTest : public ::testing::Test {
 protected:
  FlacDecoderTest() { attachEngineAsHost(); }

  std::vector<float> readAll(Mirrane& d, uint32_t request) {
    std::vector<float> all, buf(request);
    for (int guard = 0; guard < 1000000; ++guard) {
      uint32_t n = request;
      EXPECT_EQ(d.getNextSamples(buf.data(), &n), 0);
      if (n == 0) break;
      all.insert(all.end(), buf.begin(), buf.begin() + n);
    }
    return all;
  }
  std::string make(const std::string& name, const FlacSetup& setup) {
    std::string path = makeFlac(dir_.path(), name, setup);
    EXPECT_FALSE(path.empty()) << "sox or flac failed";
    return path;
  }
  TempDir dir_;
};

// Raw signed little-endian PCM encoded by flac, so the samples are known exactly.
std::string encodeRaw(const TempDir& dir, const std::string& name, const std::vector<int32_t>& s,
                      uint32_t bits) {
  std::string raw = dir.file(name + ".pcm");
  std::ofstream out(raw, std::ios::binary);
  for (int32_t v : s) {
    for (uint32_t b = 0; b < bits / 8; ++b) out.put(static_cast<char>((v >> (8 * b)) & 0xFF));
  }
  out.close();
  std::string flac = dir.file(name + ".flac");
  runCommand("flac -s -f --force-raw-format --endian=little --sign=signed --channels=1 --bps=" +
             std::to_string(bits) + " --sample-rate=44100 -o " + flac + " " + raw + " 2>&1");
  return flac;
}

TEST_F(FlacDecoderTest, ExtremeSamplesFollowTheShiftRule) {
  auto f16 = encodeRaw(dir_, "s16", {-32768, 32767, 0, 1, -1}, 16);
  Mirrane d16;
  ASSERT_EQ(d16.openByPath(f16, nullptr), 0);
  auto v16 = readAll(d16, 4096);
  ASSERT_EQ(v16.size(), 5u);
  EXPECT_EQ(v16[0], -1.0f);
  EXPECT_EQ(v16[1], 1.0f - 1.0f / 32768.0f);
  EXPECT_EQ(v16[3], 1.0f / 32768.0f);

  auto f24 = encodeRaw(dir_, "s24", {0x7FFFFF, -0x800000, 0x123456}, 24);
  Mirrane d24;
  ASSERT_EQ(d24.openByPath(f24, nullptr), 0);
  auto v24 = readAll(d24, 4096);
  ASSERT_EQ(v24.size(), 3u);
  EXPECT_EQ(v24[0], 1.0f - 1.0f / 8388608.0f);
  EXPECT_EQ(v24[1], -1.0f);
  EXPECT_EQ(v24[2], static_cast<float>(0x123456) / 8388608.0f);
}

// Depths the flac tool cannot write (12 and 20 bits), and 32 bits, encoded with
// libFLAC itself: each sample comes out as sample x 2^(32 - bits) x 2^-31.
std::string encodeWithLibflac(const TempDir& dir, const std::string& name, const std::vector<int32_t>& s,
                              uint32_t bits) {
  std::string path = dir.file(name + ".flac");
  FLAC__StreamEncoder* e = FLAC__stream_encoder_new();
  FLAC__stream_encoder_set_channels(e, 1);
  FLAC__stream_encoder_set_bits_per_sample(e, bits);
  FLAC__stream_encoder_set_sample_rate(e, 48000);
  bool ok = FLAC__stream_encoder_init_file(e, path.c_str(), nullptr, nullptr) == FLAC__STREAM_ENCODER_INIT_STATUS_OK &&
            FLAC__stream_encoder_process_interleaved(e, s.data(), static_cast<uint32_t>(s.size())) &&
            FLAC__stream_encoder_finish(e);
  FLAC__stream_encoder_delete(e);
  return ok ? path : "";
}

TEST_F(FlacDecoderTest, OddDepthsFollowTheShiftRule) {
  for (uint32_t bits : {12u, 20u, 32u}) {
    const int64_t top = (int64_t{1} << (bits - 1)) - 1;
    std::vector<int32_t> samples{static_cast<int32_t>(top), static_cast<int32_t>(-top - 1), 0, 1, -1,
                                 static_cast<int32_t>(top / 3)};
    uint32_t x = 7;
    for (int i = 0; i < 5000; ++i) {  // noise over the whole range, so every bit counts
      x = x * 1664525u + 1013904223u;
      samples.push_back(static_cast<int32_t>(static_cast<int64_t>(x >> (32 - bits)) - (top + 1)));
    }
    std::string path = encodeWithLibflac(dir_, "d" + std::to_string(bits), samples, bits);
    ASSERT_FALSE(path.empty()) << bits;
    Mirrane d;
    ASSERT_EQ(d.openByPath(path, nullptr), 0) << bits;
    EXPECT_EQ(d.getChannels(), 1u);
    auto values = readAll(d, 4096);
    ASSERT_EQ(values.size(), samples.size()) << bits;
    for (size_t i = 0; i < samples.size(); ++i) {
      const double expected = std::ldexp(static_cast<double>(samples[i]), 32 - static_cast<int>(bits)) / 2147483648.0;
      ASSERT_EQ(values[i], static_cast<float>(expected)) << bits << "-bit sample " << i;
    }
  }
}

TEST_F(FlacDecoderTest, StreamPropertiesAndMetadata) {
  FlacSetup setup;
  setup.rate = 96000;
  setup.bits = 24;
  setup.tags = {"ARTIST=First Artist", "title=Lower Case Name", "artist=Second Artist",
               "SRC_BITS=32", "Src_SampleRate=352800", "ALBUM=Kept", "COMMENT=ignored"};
  Mirrane d;
  ASSERT_EQ(d.openByPath(make("meta", setup), nullptr), 0);
  EXPECT_EQ(d.getFormat(), plugin::kFormatLpcm);
  EXPECT_EQ(d.getBits(), 32u);
  EXPECT_EQ(d.getChannels(), 2u);
  EXPECT_EQ(d.getSamplingRate(), 96000.0f);
  EXPECT_EQ(d.getDuration(), 500000000u);
  EXPECT_EQ(d.getPreferredBufferSize(), 3840u);
  EXPECT_EQ(d.getBitRate(), 4u * 2 * 96000);
  sonara::Array expected{
      sonara::Value(sonara::Dict{{"SrcBits", sonara::Value(24)}}),
      sonara::Value(sonara::Dict{{"SrcSampleRate", sonara::Value(96000)}}),
      sonara::Value(sonara::Dict{{"Artist", sonara::Value("First Artist")}}),
      sonara::Value(sonara::Dict{{"Title", sonara::Value("Lower Case Name")}}),
      sonara::Value(sonara::Dict{{"Artist", sonara::Value("Second Artist")}}),
      sonara::Value(sonara::Dict{{"SrcBits", sonara::Value(32)}}),
      sonara::Value(sonara::Dict{{"SrcSampleRate", sonara::Value(352800)}}),
      sonara::Value(sonara::Dict{{"Album", sonara::Value("Kept")}}),
  };
  EXPECT_EQ(d.getMetaData(), sonara::Value(expected));
}

TEST_F(FlacDecoderTest, SmallRequestsAreServedFromTheSameFrame) {
  FlacSetup setup;
  std::string path = make("small", setup);
  Mirrane whole, pieces;
  ASSERT_EQ(whole.openByPath(path, nullptr), 0);
  ASSERT_EQ(pieces.openByPath(path, nullptr), 0);
  auto a = readAll(whole, 1 << 16);
  auto b = readAll(pieces, 6);
  EXPECT_TRUE(sameBits(a, b));
  EXPECT_EQ(a.size(), 22050u * 2);
  // One frame at most per call: a large request returns one block.
  Mirrane one;
  ASSERT_EQ(one.openByPath(path, nullptr), 0);
  std::vector<float> buf(1 << 16);
  uint32_t n = static_cast<uint32_t>(buf.size());
  ASSERT_EQ(one.getNextSamples(buf.data(), &n), 0);
  EXPECT_EQ(n, 4096u * 2);
}

TEST_F(FlacDecoderTest, SeekLandsOnTheTargetSample) {
  FlacSetup setup;
  setup.seconds = 1.0;
  std::string path = make("seek", setup);
  Mirrane ref;
  ASSERT_EQ(ref.openByPath(path, nullptr), 0);
  auto all = readAll(ref, 1 << 16);

  Mirrane d;
  ASSERT_EQ(d.openByPath(path, nullptr), 0);
  const uint64_t target = 30000;  // inside a frame
  ASSERT_EQ(d.seek(target * 1000000000ull / 44100 + 1), 0);
  EXPECT_EQ(d.getTimestamp(), (target + 1) * 1000000000ull / 44100);
  std::vector<float> buf(2);
  uint32_t n = 2;
  ASSERT_EQ(d.getNextSamples(buf.data(), &n), 0);
  // The time stamp follows what was delivered, inside the frame too.
  EXPECT_EQ(d.getTimestamp(), (target + 2) * 1000000000ull / 44100);
  EXPECT_EQ(buf[0], all[target * 2]);
  EXPECT_EQ(buf[1], all[target * 2 + 1]);

  ASSERT_EQ(d.seek(3600ull * 1000000000ull), 0);  // beyond the end: the last sample
  n = 64;
  std::vector<float> last(64);
  ASSERT_EQ(d.getNextSamples(last.data(), &n), 0);
  ASSERT_EQ(n, 2u);
  EXPECT_EQ(last[0], all[all.size() - 2]);
  EXPECT_EQ(last[1], all[all.size() - 1]);
  n = 64;
  EXPECT_EQ(d.getNextSamples(last.data(), &n), 0);
  EXPECT_EQ(n, 0u);
}

TEST_F(FlacDecoderTest, OpenRules) {
  FlacSetup setup;
  std::string path = make("rules", setup);
  LogCapture log;
  Mirrane d;
  ASSERT_EQ(d.openByPath(path, nullptr), 0);
  EXPECT_EQ(d.openByPath(path, nullptr), -25299);
  EXPECT_TRUE(log.contains("Mirrane:openByPath failed.(already opened)"));
  Mirrane missing;
  EXPECT_EQ(missing.openByPath(dir_.file("missing.flac"), nullptr), -50);
  std::ofstream(dir_.file("junk.flac")) << "this is not a flac file at all";
  Mirrane junk;
  EXPECT_EQ(junk.openByPath(dir_.file("junk.flac"), nullptr), -67671);
  EXPECT_TRUE(log.contains(
      "Mirrane:openByPath failed.(FLAC__stream_decoder_process_until_end_of_metadata() error)"));
}

TEST_F(FlacDecoderTest, PrincipalAcceptsUpperCaseNamesAndRefusesJunk) {
  FlacSetup setup;
  std::string path = make("case", setup);
  std::string upper = dir_.file("TRACK.FLAC");
  std::filesystem::copy_file(path, upper);
  EXPECT_TRUE(sonara::flac::canDecodeFlacFile(upper));
  EXPECT_FALSE(sonara::flac::canDecodeFlacFile(dir_.file("TRACK.wav")));
  std::ofstream(dir_.file("junk.flac")) << "junk";
  LogCapture log;
  EXPECT_FALSE(sonara::flac::canDecodeFlacFile(dir_.file("junk.flac")));
  EXPECT_TRUE(log.contains("MirranePlugin:findDecoderClassByPath failed."));
}

TEST_F(FlacDecoderTest, DamagedStreamsNeverCrashOrHang) {
  FlacSetup setup;
  setup.seconds = 0.3;
  std::string path = make("damage", setup);
  std::ifstream in(path, std::ios::binary);
  std::string good{std::istreambuf_iterator<char>(in), {}};
  LogCapture log;
  int errors_reported = 0;
  for (int variant = 0; variant < 24; ++variant) {
    std::string bytes = good;
    if (variant < 8) {
      bytes.resize(bytes.size() * static_cast<size_t>(variant + 1) / 9);  // truncated
    } else {
      for (size_t i = 200 + static_cast<size_t>(variant) * 97; i < bytes.size(); i += 1500) {
        bytes[i] = static_cast<char>(bytes[i] ^ 0x5A);  // flipped bytes in the frames
      }
    }
    std::string damaged = dir_.file("damaged" + std::to_string(variant) + ".flac");
    std::ofstream(damaged, std::ios::binary) << bytes;
    Mirrane d;
    if (d.openByPath(damaged, nullptr) != 0) continue;
    std::vector<float> buf(8192);
    for (int calls = 0; calls < 10000; ++calls) {
      uint32_t n = 8192;
      int32_t status = d.getNextSamples(buf.data(), &n);
      if (status != 0) {
        EXPECT_EQ(status, -26275);
        ++errors_reported;
        break;
      }
      if (n == 0) break;
    }
  }
  bool stream_errors = log.contains("did not match the CRC") || log.contains("lose synchronization") ||
                       log.contains("corrupted frame header");
  EXPECT_TRUE(stream_errors || errors_reported > 0);
}

}  // namespace
