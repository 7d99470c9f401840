// The play engine end to end: real files on virtual devices, captures compared with
// what the device must receive.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

#include "engine/output/device_table.h"
#include "support/count_of.h"
#include "support/dop.h"
#include "support/dsf_writer.h"
#include "support/flac_fixtures.h"
#include "support/log_capture.h"
#include "support/play_harness.h"

namespace plugin = sonara::plugin;

namespace {

FormatJson fmtOf(double rate, int bits, int bytes, bool non_mixable = false, bool dsd = false) {
  return formatJson(rate, bits, bytes, 2, non_mixable, dsd);
}

FormatJson rangeOf(int bits, int bytes) { return formatJson(0, bits, bytes); }

// A stereo DSD64 file whose bytes never look like idle bytes, and its DoP payload.
struct DsfFixture {
  std::string path;
  std::vector<std::vector<uint8_t>> audio;
};

DsfFixture makeDsf(const TempDir& dir, size_t bytes_per_channel, const std::string& name = "t.dsf") {
  DsfSetup setup;
  setup.audio = patternAudio(2, bytes_per_channel);
  for (auto& ch : setup.audio) {
    for (auto& b : ch) {
      if (b == 0x96 || b == 0x69) b = 0x33;
    }
  }
  DsfFixture f{dir.file(name), setup.audio};
  writeFile(f.path, buildDsf(setup));
  return f;
}

// 24-bit little-endian samples of a 3-byte device as (marker, first, second).
struct DoPSample {
  uint8_t marker, first, second;
};
std::vector<DoPSample> dopSamples(const std::string& bytes) {
  std::vector<DoPSample> out;
  for (size_t i = 0; i + 2 < bytes.size(); i += 3) {
    out.push_back({static_cast<uint8_t>(bytes[i + 2]), static_cast<uint8_t>(bytes[i + 1]),
                   static_cast<uint8_t>(bytes[i])});
  }
  return out;
}

TEST(PlayManager, DsfPlaysAsDoPAfterExactlyThePreRoll) {
  DeviceJson d;
  d.formats = {fmtOf(176400, 24, 3), fmtOf(44100, 24, 3)};
  PlayHarness h(d);
  auto dsf = makeDsf(h.output_.dir_, 3 * 4096);
  ASSERT_TRUE(h.playAll({recordFor(dsf.path, 1)}));
  auto samples = dopSamples(h.output_.captured());
  const size_t preroll_frames = 17640;  // 0.1 s at 176400 frames per second
  ASSERT_EQ(samples.size(), 2 * (preroll_frames + 3 * 4096 / 2));
  for (size_t i = 0; i < samples.size(); ++i) {
    size_t frame = i / 2, channel = i % 2;
    uint8_t first = 0x96, second = 0x96;
    if (frame >= preroll_frames) {
      size_t at = 2 * (frame - preroll_frames);
      first = reverseBits(dsf.audio[channel][at]);
      second = reverseBits(dsf.audio[channel][at + 1]);
    }
    ASSERT_EQ(samples[i].first, first) << i;
    ASSERT_EQ(samples[i].second, second) << i;
    if (i >= 2) {
      uint8_t expected = channel == 1 ? samples[i - 1].marker : static_cast<uint8_t>(~samples[i - 1].marker);
      ASSERT_EQ(samples[i].marker, expected) << "marker at " << i;
    }
  }
  EXPECT_TRUE(h.controller_.saw("started:1"));
  EXPECT_TRUE(h.controller_.saw("decoded:1"));
  EXPECT_TRUE(h.controller_.saw("finished:1"));
}

TEST(PlayManager, Dsd128PlaysAsDoPAtTwiceTheRate) {
  DeviceJson d;
  d.formats = {fmtOf(352800, 24, 3), fmtOf(44100, 24, 3)};
  PlayHarness h(d);
  DsfSetup setup;
  setup.frequency = 5644800;
  setup.audio = patternAudio(2, 2 * 4096);
  for (auto& ch : setup.audio) std::replace(ch.begin(), ch.end(), uint8_t{0x96}, uint8_t{0x33});
  const std::string path = h.output_.dir_.file("dsd128.dsf");
  writeFile(path, buildDsf(setup));
  ASSERT_TRUE(h.playAll({recordFor(path, 1)}));
  EXPECT_NE(h.output_.events().find("\"rate\":352800,\"bits\":24"), std::string::npos);
  auto samples = dopSamples(h.output_.captured());
  const size_t preroll_frames = 35280;  // 0.1 s at 352800 frames per second
  ASSERT_EQ(samples.size(), 2 * (preroll_frames + 4096));
  for (size_t i = 2 * preroll_frames; i < samples.size(); ++i) {
    const size_t at = 2 * (i / 2 - preroll_frames), channel = i % 2;
    ASSERT_EQ(samples[i].first, reverseBits(setup.audio[channel][at])) << i;
    ASSERT_EQ(samples[i].second, reverseBits(setup.audio[channel][at + 1])) << i;
    ASSERT_EQ(samples[i].marker, i % 2 ? samples[i - 1].marker : static_cast<uint8_t>(~samples[i - 1].marker)) << i;
  }
}

TEST(PlayManager, DsfPlaysAsNativeDsd32Words) {
  DeviceJson d;  // a model with native DSD in 32-bit words
  d.vid = device_info[22].vid;
  d.pid = device_info[22].pid;
  d.formats = {fmtOf(88200, 32, 4, true, true), fmtOf(176400, 24, 3)};
  PlayHarness h(d);
  h.controller_.decode_mode = 1;
  auto dsf = makeDsf(h.output_.dir_, 2 * 4096);
  ASSERT_TRUE(h.playAll({recordFor(dsf.path, 7)}));
  std::string bytes = h.output_.captured();
  // The music, with DSD idle around it: the muted start and the pre-roll before, the
  // muted stop after.
  const size_t music = 2 * 2 * 4096;  // both channels' bytes, four per word
  size_t start = bytes.find_first_not_of('\x96');
  ASSERT_NE(start, std::string::npos);
  ASSERT_GE(bytes.size(), start + music);
  EXPECT_GT(start, 0u);  // the muted start (this model has no pre-roll)
  for (size_t i = start + music; i < bytes.size(); ++i) ASSERT_EQ(static_cast<uint8_t>(bytes[i]), 0x96) << i;
  for (size_t w = 0; w < music / 4; ++w) {
    size_t channel = w % 2, at = (w / 2) * 4;
    for (size_t b = 0; b < 4; ++b) {
      ASSERT_EQ(static_cast<uint8_t>(bytes[start + 4 * w + b]), reverseBits(dsf.audio[channel][at + b]))
          << "word " << w;
    }
  }
  EXPECT_NE(h.output_.events().find("\"value\":1"), std::string::npos);  // switched to native
}

TEST(PlayManager, DsfPlaysAsNativeDsd16WordsOnADsdFormat) {
  DeviceJson d;  // generic row: DoP and DSD16
  d.formats = {fmtOf(176400, 16, 2), fmtOf(176400, 16, 2, false, true), fmtOf(176400, 24, 3)};
  PlayHarness h(d);
  h.controller_.decode_mode = 1;
  auto dsf = makeDsf(h.output_.dir_, 4096);
  ASSERT_TRUE(h.playAll({recordFor(dsf.path, 1)}));
  EXPECT_NE(h.output_.events().find("\"bits\":16,\"bytes_per_frame\":4,\"channels\":2,\"non_mixable\":false,\"dsd\":true"),
            std::string::npos);
  std::string bytes = h.output_.captured();
  const size_t preroll = 17640 * 2 * 2;
  ASSERT_EQ(bytes.size(), preroll + 2 * 4096);
  for (size_t i = 0; i < preroll; ++i) ASSERT_EQ(static_cast<uint8_t>(bytes[i]), 0x96);
  for (size_t i = 0; i < 2 * 4096; i += 2) {
    size_t frame = i / 4, channel = (i / 2) % 2;
    ASSERT_EQ(static_cast<uint8_t>(bytes[preroll + i]), reverseBits(dsf.audio[channel][2 * frame]));
    ASSERT_EQ(static_cast<uint8_t>(bytes[preroll + i + 1]), reverseBits(dsf.audio[channel][2 * frame + 1]));
  }
}

class FlacPlayTest : public ::testing::Test {
 protected:
  // One continuous 44.1 kHz signal cut into consecutive FLAC tracks.
  std::vector<std::string> cutSignal(const TempDir& dir, std::vector<double> lengths) {
    FlacSetup setup{44100, 16, 2, 0, {}};
    for (double l : lengths) setup.seconds += l;
    std::string whole = makeFlac(dir.path(), "whole", setup);
    std::vector<std::string> parts;
    double at = 0;
    for (size_t i = 0; i < lengths.size(); ++i) {
      std::string wav = dir.file("part" + std::to_string(i) + ".wav");
      std::string flac = dir.file("part" + std::to_string(i) + ".flac");
      runCommand("sox " + dir.file("whole.wav") + " " + wav + " trim " + std::to_string(std::llround(at * 44100)) +
                 "s " + std::to_string(std::llround(lengths[i] * 44100)) + "s");
      runCommand("flac -s -f -o " + flac + " " + wav);
      parts.push_back(flac);
      at += lengths[i];
    }
    reference_ = referenceDecode(whole, dir.file("whole.raw"), 16);
    return parts;
  }
  std::vector<float> reference_;
};

std::vector<int32_t> samples32(const std::string& bytes) {
  std::vector<int32_t> out(bytes.size() / 4);
  std::memcpy(out.data(), bytes.data(), out.size() * 4);
  return out;
}

TEST_F(FlacPlayTest, ConsecutiveTracksJoinWithoutASampleInsertedOrLost) {
  DeviceJson d;
  d.formats = {rangeOf(32, 4)};
  PlayHarness h(d);
  auto parts = cutSignal(h.output_.dir_, {0.5, 0.7, 0.3});
  ASSERT_TRUE(h.playAll({recordFor(parts[0], 1), recordFor(parts[1], 2), recordFor(parts[2], 3)}, 30))
      << ::testing::PrintToString(h.controller_.events());
  auto captured = samples32(h.output_.captured());
  const size_t preroll = 4410 * 2;
  ASSERT_EQ(captured.size(), preroll + reference_.size());
  for (size_t i = 0; i < preroll; ++i) ASSERT_EQ(captured[i], 0);
  for (size_t i = 0; i < reference_.size(); ++i) {
    ASSERT_EQ(captured[preroll + i], static_cast<int32_t>(static_cast<double>(reference_[i]) * 2147483648.0))
        << "sample " << i;
  }
  // One output for all three, and each finish followed at once by the next start.
  // Output events come in order: each finish is followed by the next start with no
  // other output event between (decoding events may interleave).
  std::vector<std::string> output_events;
  for (const auto& e : h.controller_.events()) {
    if (e.rfind("started:", 0) == 0 || e.rfind("finished:", 0) == 0) output_events.push_back(e);
  }
  EXPECT_EQ(output_events, (std::vector<std::string>{"started:1", "finished:1", "started:2", "finished:2",
                                                     "started:3", "finished:3"}));
  std::string log = h.output_.events();
  size_t starts = 0;
  for (size_t p = log.find("\"event\":\"start\""); p != std::string::npos; p = log.find("\"event\":\"start\"", p + 1)) ++starts;
  EXPECT_EQ(starts, 1u);
}

// Drivers round the IO buffer to their own steps. Here the device turns the 882
// frames asked at 44.1 kHz into 4000: every track must still play in full, joined.
class RoundedBufferPlayTest : public FlacPlayTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(RoundedBufferPlayTest, TracksPlayInFullWhenTheDeviceTakesALargerBuffer) {
  DeviceJson d;
  d.formats = {rangeOf(32, 4)};
  d.frames_step = 4000;
  d.clock = GetParam();
  PlayHarness h(d);
  auto parts = cutSignal(h.output_.dir_, {0.5, 0.7, 0.3});
  ASSERT_TRUE(h.playAll({recordFor(parts[0], 1), recordFor(parts[1], 2), recordFor(parts[2], 3)}, 30))
      << ::testing::PrintToString(h.controller_.events());
  EXPECT_NE(h.output_.events().find("\"frames\":4000"), std::string::npos);
  ASSERT_TRUE(h.engine_->output());
  EXPECT_EQ(h.engine_->output()->getDeviceBufferFrameSize(), 4000u);  // what the device took
  std::vector<int32_t> expected;
  for (float v : reference_) expected.push_back(static_cast<int32_t>(static_cast<double>(v) * 2147483648.0));
  auto captured = samples32(h.output_.captured());
  if (d.clock == "freewheel") {
    const size_t preroll = 4410 * 2;
    ASSERT_EQ(captured.size(), preroll + expected.size());
    for (size_t i = 0; i < preroll; ++i) ASSERT_EQ(captured[i], 0) << i;
    for (size_t i = 0; i < expected.size(); ++i) ASSERT_EQ(captured[preroll + i], expected[i]) << "sample " << i;
  } else {
    // A paced device plays silence around the music (and wherever decoding fell
    // behind): the music itself must be all there, in order.
    std::erase(captured, 0);
    std::erase(expected, 0);
    ASSERT_EQ(captured.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) ASSERT_EQ(captured[i], expected[i]) << "sample " << i;
  }
}

INSTANTIATE_TEST_SUITE_P(BothClocks, RoundedBufferPlayTest, ::testing::Values("freewheel", "realtime"));

// A 24-bit stereo FLAC whose frame k holds k + 1 on the left and -(k + 1) on the
// right: what the device plays tells which frame of the file it was.
std::string makeCountingFlac(const TempDir& dir, uint32_t frames) {
  std::string raw;
  raw.reserve(size_t{frames} * 6);
  for (uint32_t k = 0; k < frames; ++k) {
    for (int32_t v : {static_cast<int32_t>(k + 1), -static_cast<int32_t>(k + 1)}) {
      const auto u = static_cast<uint32_t>(v);
      raw.push_back(static_cast<char>(u & 0xFF));
      raw.push_back(static_cast<char>((u >> 8) & 0xFF));
      raw.push_back(static_cast<char>((u >> 16) & 0xFF));
    }
  }
  writeFile(dir.file("count.raw"), std::vector<uint8_t>(raw.begin(), raw.end()));
  std::string flac = dir.file("count.flac");
  runCommand("flac -s -f --force-raw-format --endian=little --sign=signed --channels=2 --bps=24 "
             "--sample-rate=44100 -o " + flac + " " + dir.file("count.raw") + " 2>&1");
  return flac;
}

// Seeks as a dragged slider makes them, every 40 to 60 ms, on a device paced like
// hardware: after every seek the first frame played is the sought one, and each
// frame after it is its successor.
TEST(PlayManagerSeek, NothingFromBeforeASeekPlaysAfterIt) {
  DeviceJson d;
  d.formats = {rangeOf(32, 4)};
  d.clock = "realtime";
  PlayHarness h(d);
  const std::string flac = makeCountingFlac(h.output_.dir_, 60 * 44100);
  h.engine_->addInfo(recordFor(flac, 1));
  h.engine_->start();
  ASSERT_TRUE(h.runUntil([&] { return h.controller_.saw("started:1"); }));
  std::vector<int64_t> targets;  // frame values sought, in order
  uint32_t seed = 12345;
  for (int i = 0; i < 160; ++i) {
    seed = seed * 1103515245u + 12345u;
    const uint64_t tenths = (seed >> 8) % 250;  // within the first 25 s: decoding never ends
    ASSERT_TRUE(h.engine_->seek(tenths * 100'000'000ull));
    targets.push_back(static_cast<int64_t>(tenths * 4410 + 1));
    h.loop_->runFor(std::chrono::milliseconds(40 + (seed >> 4) % 21));
  }
  h.engine_->stop(true);

  auto captured = samples32(h.output_.captured());
  size_t next_target = 0;
  int64_t previous = 0;
  size_t runs = 0;
  for (size_t i = 0; i + 1 < captured.size(); i += 2) {
    if (captured[i] == 0 && captured[i + 1] == 0) continue;  // silence between
    const int64_t v = captured[i] / 256;
    ASSERT_EQ(captured[i + 1], -captured[i]) << "frame " << i / 2;
    if (v == previous + 1) {
      previous = v;
      continue;
    }
    // A new run: only the start of the file or a sought frame, in the order sought.
    if (runs++ > 0 || v != 1) {
      while (next_target < targets.size() && targets[next_target] != v) ++next_target;
      ASSERT_LT(next_target, targets.size()) << "frame " << v << " after " << previous << " was never sought";
      ++next_target;
    }
    previous = v;
  }
  EXPECT_GT(runs, 100u);  // most seeks were heard
}

TEST_F(FlacPlayTest, ARateChangeDrainsAndRebuildsTheOutput) {
  DeviceJson d;
  d.formats = {rangeOf(24, 4)};
  PlayHarness h(d);
  FlacSetup a{44100, 16, 2, 0.3, {}}, b{96000, 24, 2, 0.3, {}};
  std::string first = makeFlac(h.output_.dir_.path(), "a", a);
  std::string second = makeFlac(h.output_.dir_.path(), "b", b);
  const auto ref_a = referenceDecode(first, h.output_.dir_.file("a.raw"), 16);
  const auto ref_b = referenceDecode(second, h.output_.dir_.file("b.raw"), 24);
  ASSERT_TRUE(h.playAll({recordFor(first, 1), recordFor(second, 2)}));
  std::string log = h.output_.events();
  auto at44 = log.find("\"event\":\"format\",\"sample_time\"");
  auto at96 = log.find("\"rate\":96000,\"bits\":24");
  ASSERT_NE(at44, std::string::npos);
  ASSERT_NE(at96, std::string::npos);
  EXPECT_LT(log.find("\"event\":\"stop\""), at96);  // drained and stopped first
  // Both tracks reached the device in full, each after its pre-roll: 24 bits in 4
  // bytes, so the 16-bit track arrives shifted and the 24-bit one as it is.
  auto captured = samples32(h.output_.captured());
  ASSERT_EQ(captured.size(), 2 * (4410 + 9600) + ref_a.size() + ref_b.size());
  size_t i = 0;
  for (size_t k = 0; k < 2 * 4410; ++k, ++i) ASSERT_EQ(captured[i], 0) << i;
  for (float v : ref_a) ASSERT_EQ(captured[i++], static_cast<int32_t>(static_cast<double>(v) * 8388608.0)) << i;
  for (size_t k = 0; k < 2 * 9600; ++k, ++i) ASSERT_EQ(captured[i], 0) << i;
  for (float v : ref_b) ASSERT_EQ(captured[i++], static_cast<int32_t>(static_cast<double>(v) * 8388608.0)) << i;
}

TEST_F(FlacPlayTest, ACueWindowPlaysExactlyItsSamples) {
  DeviceJson d;
  d.formats = {rangeOf(32, 4)};
  PlayHarness h(d);
  auto parts = cutSignal(h.output_.dir_, {2.0});
  ASSERT_TRUE(h.playAll({recordFor(h.output_.dir_.file("whole.flac"), 1, 0.5, 1.0)}));
  auto captured = samples32(h.output_.captured());
  const size_t preroll = 4410 * 2;
  ASSERT_EQ(captured.size(), preroll + 44100 * 2);
  for (size_t i = 0; i < 44100 * 2; ++i) {
    ASSERT_EQ(captured[preroll + i],
              static_cast<int32_t>(static_cast<double>(reference_[22050 * 2 + i]) * 2147483648.0))
        << i;
  }
}

// The monotonic times (ms) of one kind of event in a device's log, in order.
std::vector<double> eventTimes(const std::string& log, const std::string& event) {
  std::vector<double> times;
  const std::string key = "{\"event\":\"" + event + "\"";
  for (size_t p = log.find(key); p != std::string::npos; p = log.find(key, p + 1)) {
    size_t at = log.find("\"time_ms\":", p);
    if (at == std::string::npos) break;
    times.push_back(std::strtod(log.c_str() + at + 10, nullptr));
  }
  return times;
}

// A PCM track of the DoP rate joins the running DoP output: its samples, and the
// silence before them, must reach the DAC as PCM, untouched by the DoP packing.
TEST(PlayManagerDsdThenPcm, JoinsInDoPModeWithThePcmPreRoll) {
  DeviceJson d;
  d.formats = {fmtOf(176400, 24, 4)};
  PlayHarness h(d);
  auto dsf = makeDsf(h.output_.dir_, 4096);
  FlacSetup pcm{176400, 24, 2, 0.2, {}};
  std::string flac = makeFlac(h.output_.dir_.path(), "pcm", pcm);
  const auto reference = referenceDecode(flac, h.output_.dir_.file("pcm.raw"), 24);
  ASSERT_TRUE(h.playAll({recordFor(dsf.path, 1), recordFor(flac, 2)}));
  EXPECT_EQ(countOf(h.output_.events(), "\"event\":\"start\""), 1u);  // one output for both
  EXPECT_TRUE(h.controller_.saw("started:2"));

  const size_t dop_preroll = 17640, dsd = 2048, pcm_preroll = 17640;
  auto captured = samples32(h.output_.captured());  // 24 bits in 4 bytes, sign-extended
  ASSERT_EQ(captured.size(), 2 * (dop_preroll + dsd + pcm_preroll) + reference.size());
  const uint32_t m0 = (static_cast<uint32_t>(captured[0]) >> 16) & 0xFF;
  ASSERT_TRUE(m0 == 0x05 || m0 == 0xFA);
  size_t i = 0;
  for (; i < 2 * (dop_preroll + dsd); ++i) {
    const size_t frame = i / 2, channel = i % 2;
    const uint32_t v = static_cast<uint32_t>(captured[i]) & 0xFFFFFF;
    uint8_t first = 0x96, second = 0x96;
    if (frame >= dop_preroll) {
      first = reverseBits(dsf.audio[channel][2 * (frame - dop_preroll)]);
      second = reverseBits(dsf.audio[channel][2 * (frame - dop_preroll) + 1]);
    }
    ASSERT_EQ(v >> 16, frame % 2 == 0 ? m0 : (~m0 & 0xFF)) << "marker at " << i;
    ASSERT_EQ((v >> 8) & 0xFF, first) << i;
    ASSERT_EQ(v & 0xFF, second) << i;
  }
  for (; i < 2 * (dop_preroll + dsd + pcm_preroll); ++i) ASSERT_EQ(captured[i], 0) << "PCM pre-roll at " << i;
  for (size_t k = 0; k < reference.size(); ++k, ++i) {
    ASSERT_EQ(captured[i], static_cast<int32_t>(static_cast<double>(reference[k]) * 8388608.0)) << "PCM sample " << k;
  }
}

TEST(PlayManagerDsdThenPcm, ResetOnStopDevicesRestartAfterHalfASecond) {
  DeviceJson d;
  d.vid = device_info[10].vid;  // resets after DSD stops
  d.pid = device_info[10].pid;
  d.formats = {fmtOf(176400, 24, 4)};
  PlayHarness h(d);
  auto dsf = makeDsf(h.output_.dir_, 4096);
  FlacSetup pcm{176400, 24, 2, 0.2, {}};
  std::string flac = makeFlac(h.output_.dir_.path(), "pcm", pcm);
  ASSERT_TRUE(h.playAll({recordFor(dsf.path, 1), recordFor(flac, 2)}));
  EXPECT_EQ(countOf(h.output_.events(), "\"event\":\"start\""), 2u);  // not joined
  // The device's own log: from the stop after the DSD to the next start.
  auto stops = eventTimes(h.output_.events(), "stop"), starts = eventTimes(h.output_.events(), "start");
  ASSERT_EQ(starts.size(), 2u);
  ASSERT_FALSE(stops.empty());
  EXPECT_GE(starts[1] - stops[0], 500.0);
}

TEST(PlayManagerFailures, UnreadableAndRefusedTracksAreReportedAndSkipped) {
  DeviceJson d;
  d.vid = device_info[4].vid;  // excludes 352800 Hz for PCM
  d.pid = device_info[4].pid;
  d.formats = {rangeOf(24, 4), fmtOf(352800, 24, 4)};
  PlayHarness h(d);
  std::string missing = h.output_.dir_.file("missing.flac");
  FlacSetup hi{352800, 24, 2, 0.1, {}}, ok{44100, 16, 2, 0.2, {}};
  std::string refused = makeFlac(h.output_.dir_.path(), "refused", hi);
  std::string good = makeFlac(h.output_.dir_.path(), "good", ok);
  auto broken = recordFor(good, 1);
  broken->setFullpath(missing);
  LogCapture log;
  ASSERT_TRUE(h.playAll({broken, recordFor(refused, 2), recordFor(good, 3)}));
  EXPECT_TRUE(h.controller_.saw("failed:1"));
  EXPECT_TRUE(h.controller_.saw("notsupported:2"));
  EXPECT_TRUE(h.controller_.saw("started:3"));
  EXPECT_TRUE(h.controller_.saw("finished:3"));
  EXPECT_TRUE(log.contains("Cannot Open Path. (" + missing + ")"));
}

TEST(PlayManagerFailures, TheLastTrackFailingEndsWithFinishedAll) {
  DeviceJson d;
  d.formats = {rangeOf(24, 4)};
  PlayHarness h(d);
  auto broken = std::make_shared<PlaylistItemInfo>();
  broken->setTrack_id(9);
  broken->setFullpath("relative/path.flac");
  broken->setDecoder_class("Mirrane");
  ASSERT_TRUE(h.playAll({broken}));
  EXPECT_TRUE(h.controller_.saw("failed:9"));
}

TEST_F(FlacPlayTest, SeekInAPartlyAndAFullyDecodedTrack) {
  DeviceJson d;
  d.formats = {rangeOf(32, 4)};
  d.clock = "realtime";
  PlayHarness h(d);
  FlacSetup setup{44100, 16, 2, 40.0, {}};  // longer than a queue holds (30 s)
  std::string path = makeFlac(h.output_.dir_.path(), "long", setup);
  h.engine_->addInfo(recordFor(path, 1));
  h.engine_->start();
  ASSERT_TRUE(h.runUntil([&] { return h.controller_.saw("started:1"); }));
  ASSERT_TRUE(h.engine_->seek(20'000'000'000ull));  // partly decoded: the queue is dropped
  uint64_t t = h.engine_->getTimestamp();
  EXPECT_GE(t, 20'000'000'000ull);
  EXPECT_LT(t, 21'000'000'000ull);
  h.engine_->stop(true);

  FlacSetup shorter{44100, 16, 2, 2.0, {}};
  std::string small = makeFlac(h.output_.dir_.path(), "short", shorter);
  h.engine_->addInfo(recordFor(small, 2));
  h.engine_->start();
  ASSERT_TRUE(h.runUntil([&] { return h.controller_.saw("decoded:2"); }));
  h.engine_->pause();
  ASSERT_TRUE(h.engine_->seek(1'000'000'000ull));  // fully decoded: restarted at 1 s, paused
  EXPECT_TRUE(h.engine_->paused());
  EXPECT_GE(h.engine_->getTimestamp(), 1'000'000'000ull);
  EXPECT_EQ(h.engine_->getCurrentInfo()->track_id(), 2u);
  // Resumed, the track plays on from 1 s to its last sample.
  h.engine_->restart();
  ASSERT_TRUE(h.runUntil([&] { return h.controller_.saw("finishedAll"); }, 30));
  h.engine_->stop(true);
  auto reference = referenceDecode(small, h.output_.dir_.file("short.raw"), 16);
  // Everything from 1 s to the end, in order, closes the capture; silence is left out
  // on both sides (the device's own, around and between).
  std::vector<int32_t> rest;
  for (size_t i = 44100 * 2; i < reference.size(); ++i) {
    if (reference[i] != 0.0f) rest.push_back(static_cast<int32_t>(static_cast<double>(reference[i]) * 2147483648.0));
  }
  auto captured = samples32(h.output_.captured());
  std::erase(captured, 0);
  ASSERT_GE(captured.size(), rest.size());
  EXPECT_TRUE(std::equal(rest.begin(), rest.end(), captured.end() - static_cast<std::ptrdiff_t>(rest.size())));
}

TEST(PlayManagerLifecycle, UnplugThenStopLeavesNoThreadBehind) {
  DeviceJson d;
  d.formats = {rangeOf(24, 4)};
  d.clock = "realtime";
  {
    PlayHarness h(d);
    FlacSetup setup{44100, 16, 2, 5.0, {}};
    std::string path = makeFlac(h.output_.dir_.path(), "t", setup);
    h.engine_->addInfo(recordFor(path, 1));
    h.engine_->start();
    ASSERT_TRUE(h.runUntil([&] { return h.controller_.saw("started:1"); }));
    h.output_.hal_->unplug(1);
    h.engine_->stop(true);
    EXPECT_TRUE(h.controller_.saw("stoped:1"));
    EXPECT_EQ(h.alive_.load(), 1);
    h.engine_.reset();
    EXPECT_EQ(h.alive_.load(), 0);  // every thread ended, the engine is gone
  }
}

}  // namespace
