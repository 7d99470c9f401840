// The MP3 and Apple Lossless decoders driven directly on files made by lame and
// ffmpeg: exact frame counts with every kind of gapless information, the signal where
// it belongs, seeking inside the trimmed stream, lossless integers, damaged files.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <string>
#include <vector>

#include "plugins/common/host_link.h"
#include "plugins/system/audio_toolbox_mp3_decoder.h"
#include "plugins/system/audio_toolbox_mp4_decoder.h"
#include "support/coded_fixtures.h"
#include "support/read_decoder.h"
#include "support/temp_dir.h"

namespace {

using sonara::Dict;
using sonara::Value;
using sonara::tessor::AudioToolboxMP3Decoder;
using sonara::tessor::AudioToolboxMP4Decoder;

const SonaraHostServices kQuietHost{sizeof(SonaraHostServices), [](const char*) {}, nullptr, nullptr};


// The largest difference between two signals over their common length.
float largestError(const std::vector<float>& a, const std::vector<float>& b, size_t from = 0) {
  float worst = 0;
  for (size_t i = from; i < std::min(a.size(), b.size()); ++i) worst = std::max(worst, std::fabs(a[i] - b[i]));
  return worst;
}

// A 3 kHz tone moves up to 0.2 of full scale from one frame to the next: a frame lost
// or added anywhere is an error far above lame's at 320 kbit/s.
constexpr float kCodecError = 0.03f;

Dict thresholdOption(double db) { return Dict{{sonara::plugin::kOptionMp3ThresholdDb, Value(db)}}; }

class Mp3DecoderTest : public ::testing::Test {
 protected:
  void SetUp() override { sonara::plugin::attachHost(&kQuietHost); }
  void TearDown() override { sonara::plugin::attachHost(nullptr); }

  // A tone of `frames` frames, its samples, and it encoded.
  std::string encode(const std::string& name, uint64_t frames, bool info_tag, std::vector<float>* source) {
    const std::string wav = dir_.file(name + ".wav");
    const std::string mp3 = dir_.file(name + ".mp3");
    EXPECT_TRUE(makeTone(wav, 44100, 2, frames));
    EXPECT_TRUE(lameEncode(wav, mp3, info_tag));
    if (source) *source = soxFloats(wav);
    return mp3;
  }

  TempDir dir_;
};

TEST_F(Mp3DecoderTest, TheLameHeaderGivesEachTrackExactlyItsSourceFrames) {
  for (uint64_t frames : {50001ull, 61111ull, 44100ull * 2 + 7}) {
    std::vector<float> source;
    const std::string mp3 = encode("t" + std::to_string(frames), frames, true, &source);
    AudioToolboxMP3Decoder d;
    ASSERT_EQ(d.openByPath(mp3, nullptr), 0);
    EXPECT_EQ(d.getPreferredBufferSize(), 1152u);
    EXPECT_EQ(d.getDuration(), frames * 1000000000ull / 44100);
    const auto all = readAllValues(d);
    ASSERT_EQ(all.size(), frames * 2) << frames;
    EXPECT_LT(largestError(all, source), kCodecError) << frames;
    EXPECT_EQ(d.getTimestamp(), (frames + 1) * 1000000000ull / 44100);
  }
}

TEST_F(Mp3DecoderTest, AnITunesGaplessCommentTrimsWhenThereIsNoHeader) {
  const uint64_t frames = 61111;
  std::vector<float> source;
  const std::string mp3 = encode("itunes", frames, false, &source);
  uint64_t decoded = 0;
  {
    AudioToolboxMP3Decoder plain;
    ASSERT_EQ(plain.openByPath(mp3, nullptr), 0);
    decoded = readAllValues(plain).size() / 2;  // every frame lame wrote, padding and all
  }
  ASSERT_GT(decoded, frames + kLamePriming);
  prependTag(mp3, iTunSMPBTag(kLamePriming, static_cast<uint32_t>(decoded - frames - kLamePriming), frames));
  AudioToolboxMP3Decoder d;
  ASSERT_EQ(d.openByPath(mp3, nullptr), 0);
  EXPECT_EQ(d.getDuration(), frames * 1000000000ull / 44100);
  const auto all = readAllValues(d);
  ASSERT_EQ(all.size(), frames * 2);
  EXPECT_LT(largestError(all, source), kCodecError);
}

TEST_F(Mp3DecoderTest, WithoutGaplessDataTheThresholdTrimsNearSilenceAndZeroKeepsAll) {
  // 0.2 s of digital silence, the tone, 0.3 s of silence.
  const std::string wav = dir_.file("quiet.wav");
  ASSERT_EQ(runCommand("sox -q -D -r 44100 -c 2 -n -b 16 " + wav + " synth 1.5 sine 3000 vol 0.5 pad 0.2 0.3").status, 0);
  const std::string mp3 = dir_.file("quiet.mp3");
  ASSERT_TRUE(lameEncode(wav, mp3, false));

  std::vector<float> untrimmed;
  {
    AudioToolboxMP3Decoder d;
    const Dict off = thresholdOption(0);
    ASSERT_EQ(d.openByPath(mp3, &off), 0);
    untrimmed = readAllValues(d);
  }
  ASSERT_EQ(untrimmed.size() % (1152 * 2), 0u);  // every frame of every packet
  auto loud = [&](size_t frame) {
    return std::fabs(untrimmed[2 * frame]) > 0.001f || std::fabs(untrimmed[2 * frame + 1]) > 0.001f;
  };
  size_t first = 0;
  while (!loud(first)) ++first;
  size_t last = untrimmed.size() / 2 - 1;
  while (!loud(last)) --last;
  ASSERT_GT(first, 8820u);  // the 0.2 s of silence at least

  AudioToolboxMP3Decoder d;
  const Dict trim = thresholdOption(-60);
  ASSERT_EQ(d.openByPath(mp3, &trim), 0);
  const auto trimmed = readAllValues(d);
  ASSERT_EQ(trimmed.size(), (last + 1 - first) * 2);
  EXPECT_TRUE(std::equal(trimmed.begin(), trimmed.end(), untrimmed.begin() + static_cast<long>(2 * first)));

  // Seeking counts in the trimmed stream: 0 is the first loud frame.
  ASSERT_EQ(d.seek(0), 0);
  EXPECT_EQ(d.getTimestamp(), 1000000000ull / 44100);
  float frame[2];
  uint32_t n = 2;
  ASSERT_EQ(d.getNextSamples(frame, &n), 0);
  EXPECT_EQ(frame[0], untrimmed[2 * first]);
}

TEST_F(Mp3DecoderTest, SeeksLandOnTheirFrameInEveryPartOfTheStream) {
  std::vector<float> source;
  const std::string mp3 = encode("seek", 44100 * 4 + 321, true, &source);
  std::vector<float> whole;
  {
    AudioToolboxMP3Decoder d;
    ASSERT_EQ(d.openByPath(mp3, nullptr), 0);
    whole = readAllValues(d);
  }
  AudioToolboxMP3Decoder d;
  ASSERT_EQ(d.openByPath(mp3, nullptr), 0);
  // Into the first second, the middle, the last second (before and after it has been
  // read once), and back to the start.
  for (uint64_t frame : {100ull, 22050ull, 100000ull, 44100ull * 3 + 500, 44100ull * 4, 44100ull * 3 + 500, 0ull}) {
    const uint64_t ns = frame * 1000000000ull / 44100 + 1;  // inside the frame's time
    ASSERT_EQ(d.seek(ns), 0) << frame;
    EXPECT_EQ(d.getTimestamp(), (frame + 1) * 1000000000ull / 44100);
    std::vector<float> got(2 * 3000);
    uint32_t n = static_cast<uint32_t>(got.size());
    ASSERT_EQ(d.getNextSamples(got.data(), &n), 0);
    const size_t expected = std::min<size_t>(got.size(), whole.size() - 2 * frame);
    ASSERT_EQ(n, expected) << frame;
    EXPECT_TRUE(std::equal(got.begin(), got.begin() + n, whole.begin() + static_cast<long>(2 * frame))) << frame;
  }
  // Reading on from the last seek goes to the trimmed end without a repeated frame.
  ASSERT_EQ(d.seek((44100ull * 4 - 10) * 1000000000ull / 44100 + 1), 0);
  const auto tail = readAllValues(d);
  ASSERT_EQ(tail.size(), whole.size() - 2 * (44100 * 4 - 10));
  EXPECT_TRUE(std::equal(tail.begin(), tail.end(), whole.end() - static_cast<long>(tail.size())));
}

// Reading on from a seek gives exactly what a whole read gives from that frame, at
// every edge of the windows in memory, with every kind of gapless information.
TEST_F(Mp3DecoderTest, EverySeekReadsOnAsTheWholeStreamDoes) {
  const uint64_t frames = 44100 * 3 + 777;
  const std::string lame = encode("sweep_lame", frames, true, nullptr);
  const std::string itunes = encode("sweep_itunes", frames, false, nullptr);
  {
    AudioToolboxMP3Decoder plain;
    ASSERT_EQ(plain.openByPath(itunes, nullptr), 0);
    const uint64_t decoded = readAllValues(plain).size() / 2;
    prependTag(itunes, iTunSMPBTag(kLamePriming, static_cast<uint32_t>(decoded - frames - kLamePriming), frames));
  }
  const std::string wav = dir_.file("sweep_quiet.wav");
  ASSERT_EQ(runCommand("sox -q -D -r 44100 -c 2 -n -b 16 " + wav + " synth 2.5 sine 3000 vol 0.5 pad 0.2 0.3").status, 0);
  const std::string quiet = dir_.file("sweep_quiet.mp3");
  ASSERT_TRUE(lameEncode(wav, quiet, false));
  const Dict trim = thresholdOption(-60);
  for (const auto& [path, options] : {std::pair{lame, (const Dict*)nullptr}, std::pair{itunes, (const Dict*)nullptr},
                                      std::pair{quiet, &trim}}) {
    std::vector<float> whole;
    {
      AudioToolboxMP3Decoder d;
      ASSERT_EQ(d.openByPath(path, options), 0);
      whole = readAllValues(d);
    }
    const uint64_t total = whole.size() / 2;
    AudioToolboxMP3Decoder d;
    ASSERT_EQ(d.openByPath(path, options), 0);
    for (uint64_t frame : {uint64_t{1}, uint64_t{44099}, uint64_t{44100}, uint64_t{44101}, total / 2,
                           total - 44101, total - 44100, total - 44099, total - 1, uint64_t{0}}) {
      for (uint32_t request : {7u, 1152u}) {
        ASSERT_EQ(d.seek(frame * 1000000000ull / 44100 + 1), 0);
        std::vector<float> got;
        std::vector<float> buffer(size_t{request} * 2);
        for (;;) {
          uint32_t n = static_cast<uint32_t>(buffer.size());
          ASSERT_EQ(d.getNextSamples(buffer.data(), &n), 0);
          if (n == 0) break;
          got.insert(got.end(), buffer.begin(), buffer.begin() + n);
        }
        ASSERT_EQ(got.size(), whole.size() - 2 * frame) << path << " from " << frame << " by " << request;
        ASSERT_TRUE(std::equal(got.begin(), got.end(), whole.begin() + static_cast<long>(2 * frame)))
            << path << " from " << frame << " by " << request;
      }
    }
  }
}

TEST_F(Mp3DecoderTest, AMonoStreamStaysMonoAndADamagedStretchIsPlayedThrough) {
  const std::string wav = dir_.file("mono.wav");
  ASSERT_TRUE(makeTone(wav, 44100, 1, 44100 * 4));
  const std::string mp3 = dir_.file("mono.mp3");
  ASSERT_EQ(runCommand("lame --quiet -b 128 -m m " + wav + " " + mp3).status, 0);
  AudioToolboxMP3Decoder d;
  ASSERT_EQ(d.openByPath(mp3, nullptr), 0);
  EXPECT_FALSE(d.setChannels(2));
  EXPECT_TRUE(d.setChannels(1));
  EXPECT_EQ(readAllValues(d).size(), 44100u * 4);

  // 8 KiB of zeros in the middle: the frames after them still play.
  std::string bytes = readBytes(mp3);
  std::fill(bytes.begin() + static_cast<long>(bytes.size() / 2), bytes.begin() + static_cast<long>(bytes.size() / 2 + 8192),
            '\0');
  writeFile(dir_.file("holed.mp3"), std::vector<uint8_t>(bytes.begin(), bytes.end()));
  AudioToolboxMP3Decoder holed;
  ASSERT_EQ(holed.openByPath(dir_.file("holed.mp3"), nullptr), 0);
  const auto all = readAllValues(holed);
  EXPECT_GT(all.size(), 44100u * 3);  // the hole costs about half a second
  float tail = 0;  // the tone, not silence, in the last half second
  for (size_t i = all.size() - 22050; i < all.size(); ++i) tail = std::max(tail, std::fabs(all[i]));
  EXPECT_GT(tail, 0.4f);
}

TEST_F(Mp3DecoderTest, LayersOneAndTwoDecodeInMonoAndStereo) {
  for (const auto& [rate, channels] : {std::pair{32000, 1}, std::pair{48000, 2}}) {
    const std::string wav = dir_.file("l2_" + std::to_string(rate) + ".wav");
    ASSERT_TRUE(makeTone(wav, rate, channels, rate));
    const std::string mp2 = dir_.file("l2_" + std::to_string(rate) + ".mp2");
    ASSERT_EQ(runCommand("ffmpeg -v quiet -y -i " + wav + " -c:a mp2 " + mp2).status, 0);
    AudioToolboxMP3Decoder d;
    ASSERT_EQ(d.openByPath(mp2, nullptr), 0);
    EXPECT_EQ(d.getSamplingRate(), static_cast<float>(rate));
    EXPECT_EQ(d.getChannels(), static_cast<uint32_t>(channels));
    const auto all = readAllValues(d);
    EXPECT_GE(all.size() / channels, static_cast<size_t>(rate));
    EXPECT_GT(*std::max_element(all.begin(), all.end()), 0.4f);  // the tone, not silence
  }
}

TEST_F(Mp3DecoderTest, DamagedStreamsEndCleanlyOrFailWithAReason) {
  const std::string mp3 = encode("damaged", 44100 * 3, true, nullptr);
  const std::string bytes = readBytes(mp3);
  // Cut in the middle of a frame.
  writeFile(dir_.file("cut.mp3"), std::vector<uint8_t>(bytes.begin(), bytes.begin() + static_cast<long>(bytes.size() / 2 + 17)));
  // Garbage between frames.
  std::vector<uint8_t> garbled(bytes.begin(), bytes.end());
  std::vector<uint8_t> noise(5000);
  for (size_t i = 0; i < noise.size(); ++i) noise[i] = static_cast<uint8_t>(i * 7919 % 251);
  garbled.insert(garbled.begin() + static_cast<long>(garbled.size() / 2), noise.begin(), noise.end());
  writeFile(dir_.file("garbled.mp3"), garbled);
  for (const char* name : {"cut.mp3", "garbled.mp3"}) {
    AudioToolboxMP3Decoder d;
    ASSERT_EQ(d.openByPath(dir_.file(name), nullptr), 0) << name;
    std::vector<float> buffer(1152 * 2);
    int calls = 0;
    for (;; ++calls) {
      uint32_t n = static_cast<uint32_t>(buffer.size());
      const int32_t status = d.getNextSamples(buffer.data(), &n);
      if (status != 0 || n == 0) break;
      ASSERT_LT(calls, 1000) << name << ": does not end";
    }
    EXPECT_GT(calls, 10) << name;
  }
  writeFile(dir_.file("noise.mp3"), noise);
  AudioToolboxMP3Decoder d;
  EXPECT_NE(d.openByPath(dir_.file("noise.mp3"), nullptr), 0);
}

// ---- Apple Lossless ----

class Mp4DecoderTest : public Mp3DecoderTest {};

TEST_F(Mp4DecoderTest, AppleLosslessDeliversTheSourceIntegersExactly) {
  for (const auto& [rate, bits] : {std::pair{44100, 16}, std::pair{96000, 24}, std::pair{192000, 24}}) {
    const std::string wav = dir_.file("src" + std::to_string(rate) + ".wav");
    ASSERT_EQ(runCommand("sox -q -D -n -r " + std::to_string(rate) + " -b " + std::to_string(bits) + " -c 2 " + wav +
                         " synth 0.7 sine 441 whitenoise vol 0.7")
                  .status,
              0);
    const std::string m4a = dir_.file("alac" + std::to_string(rate) + ".m4a");
    ASSERT_EQ(runCommand("ffmpeg -v quiet -y -i " + wav + " -c:a alac -metadata title='Lossless " + std::to_string(rate) +
                         "' -metadata artist='The Encoder' " + m4a)
                  .status,
              0);
    AudioToolboxMP4Decoder d;
    ASSERT_EQ(d.openByPath(m4a, nullptr), 0);
    const auto all = readAllValues(d);
    const auto source = soxFloats(wav);
    ASSERT_EQ(all.size(), source.size()) << rate;
    EXPECT_TRUE(all == source) << rate;
    const Value meta = d.getMetaData();
    std::string title;
    std::string artist;
    int64_t src_bits = -1;
    for (const auto& e : meta.asArray()) {
      if (e[sonara::plugin::kMetaTitle].isString()) title = e[sonara::plugin::kMetaTitle].asString();
      if (e[sonara::plugin::kMetaArtist].isString()) artist = e[sonara::plugin::kMetaArtist].asString();
      if (e[sonara::plugin::kMetaSrcBits].isNumber()) src_bits = e[sonara::plugin::kMetaSrcBits].asInt();
    }
    EXPECT_EQ(title, "Lossless " + std::to_string(rate));
    EXPECT_EQ(artist, "The Encoder");
    EXPECT_EQ(src_bits, bits);

    // A seek lands on its frame, inside an ALAC packet.
    ASSERT_EQ(d.seek(static_cast<uint64_t>(12345) * 1000000000ull / static_cast<uint64_t>(rate) + 1), 0);
    std::vector<float> got(2 * 100);
    uint32_t n = static_cast<uint32_t>(got.size());
    ASSERT_EQ(d.getNextSamples(got.data(), &n), 0);
    ASSERT_EQ(n, got.size());
    EXPECT_TRUE(std::equal(got.begin(), got.end(), source.begin() + 2 * 12345)) << rate;
  }
}

TEST_F(Mp4DecoderTest, DamagedFilesFailWithAReasonOrEndCleanly) {
  const std::string wav = dir_.file("src.wav");
  ASSERT_TRUE(makeTone(wav, 44100, 2, 44100 * 2));
  const std::string m4a = dir_.file("good.m4a");
  ASSERT_EQ(runCommand("ffmpeg -v quiet -y -i " + wav + " -c:a alac " + m4a).status, 0);
  std::string bytes = readBytes(m4a);
  // A huge size on the movie box.
  std::string huge = bytes;
  const size_t moov = huge.find("moov");
  ASSERT_NE(moov, std::string::npos);
  for (int i = 0; i < 4; ++i) huge[moov - 4 + static_cast<size_t>(i)] = static_cast<char>(0x7F);
  writeFile(dir_.file("huge.m4a"), std::vector<uint8_t>(huge.begin(), huge.end()));
  AudioToolboxMP4Decoder h;
  if (h.openByPath(dir_.file("huge.m4a"), nullptr) == 0) (void)readAllValues(h);
  // Cut short.
  writeFile(dir_.file("cut.m4a"), std::vector<uint8_t>(bytes.begin(), bytes.begin() + static_cast<long>(bytes.size() / 3)));
  AudioToolboxMP4Decoder c;
  if (c.openByPath(dir_.file("cut.m4a"), nullptr) == 0) {
    EXPECT_LE(readAllValues(c).size(), 44100u * 2 * 2);
  }
}

}  // namespace
