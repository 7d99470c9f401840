#include <gtest/gtest.h>

#include <cstring>

#include "engine/output/device_table.h"
#include "support/dop.h"
#include "support/output_harness.h"

using namespace sonara::audio;
namespace plugin = sonara::plugin;

namespace {

FormatJson fmt(double rate, int bits, int bytes, int channels = 2, bool non_mixable = false,
               bool dsd = false) {
  return formatJson(rate, bits, bytes, channels, non_mixable, dsd);
}

DeviceJson device(std::vector<FormatJson> formats, int channels = 2) {
  DeviceJson d;
  d.formats = std::move(formats);
  d.output_channels = channels;
  return d;
}

uint32_t chosenBits(std::vector<FormatJson> formats, uint32_t code) {
  OutputHarness h(device(std::move(formats)));
  auto out = h.output(streamFormat(44100, 2, code));
  return out ? h.ctx_->current_desc().bits_per_channel : 0;
}

TEST(DirectOutputFormat, CandidateRulesPickTheDepthForEachTransport) {
  const auto f16 = fmt(44100, 16, 2), f24 = fmt(44100, 24, 3), f32 = fmt(44100, 32, 4);
  EXPECT_EQ(chosenBits({f16, f24, f32}, plugin::kFormatLpcm), 32u);
  EXPECT_EQ(chosenBits({f16, f24}, plugin::kFormatLpcm), 24u);
  EXPECT_EQ(chosenBits({f16, f24, f32}, plugin::kFormatDoP), 24u);
  EXPECT_EQ(chosenBits({f16, f32}, plugin::kFormatDoP), 32u);
  EXPECT_EQ(chosenBits({f16}, plugin::kFormatDoP), 0u);  // DoP in 16 bits is noise: refused
}

TEST(DirectOutputFormat, RangedEntryIsWrittenWithTheRequestedRate) {
  FormatJson ranged = fmt(0, 24, 4, 2);
  ranged.min_rate = 44100;
  ranged.max_rate = 192000;
  FormatJson narrow = fmt(96000, 24, 4, 1);
  OutputHarness h(device({narrow, ranged}));
  auto out = h.output(streamFormat(96000, 2, plugin::kFormatLpcm));
  ASSERT_TRUE(out);
  EXPECT_EQ(h.ctx_->current_desc().sample_rate, 96000);
  EXPECT_EQ(h.ctx_->current_desc().channels_per_frame, 2u);  // more channels won
}

// Some devices take a new format a while after it was set, and report the old one
// until then; one that never takes it must not be played as if it had.
TEST(DirectOutputFormat, TheFormatIsReadBackUntilTheDeviceHasTakenIt) {
  for (int delay : {3, 1000}) {
    DeviceJson d = device({fmt(44100, 16, 2), fmt(96000, 24, 4)});
    d.format_delay_reads = delay;
    OutputHarness h(d);
    auto out = h.output(streamFormat(96000, 2, plugin::kFormatLpcm));
    std::vector<StreamId> streams;
    h.hal_->streams(1, Scope::Output, &streams);
    StreamDescription now;
    h.hal_->physicalFormat(streams[0], &now);
    if (delay == 3) {
      ASSERT_TRUE(out);
      EXPECT_EQ(now.sample_rate, 96000);
      EXPECT_EQ(now.bits_per_channel, 24u);
    } else {
      EXPECT_FALSE(out);
      EXPECT_EQ(now.sample_rate, 44100);  // still what it was
    }
  }
}

TEST(DirectOutputFormat, NativeDsdFormatsAreNeverUsedForPcmOrDoP) {
  OutputHarness h(device({fmt(176400, 32, 4, 2, true, true), fmt(176400, 16, 2, 2, false, true)}));
  EXPECT_FALSE(h.output(streamFormat(176400, 2, plugin::kFormatLpcm)));
  EXPECT_FALSE(h.output(streamFormat(176400, 2, plugin::kFormatDoP)));
  FormatJson raw32 = fmt(88200, 32, 4, 2, true);
  OutputHarness n(device({raw32}));
  EXPECT_FALSE(n.output(streamFormat(88200, 2, plugin::kFormatLpcm)));  // non-mixable
}

TEST(DirectOutput, PcmReachesA16BitDeviceExactly) {
  OutputHarness h(device({fmt(44100, 16, 2)}));
  auto out = h.output(streamFormat(44100, 2, plugin::kFormatLpcm));
  ASSERT_TRUE(out);
  EXPECT_EQ(out->packerKind(), PackerKind::PCM);
  std::vector<float> values;
  for (int i = 0; i < 5000; ++i) values.push_back(static_cast<float>((i * 37) % 65536 - 32768) / 32768.0f);
  h.feeder_.add(makeQueue(44100, 2, values, out->getDeviceBufferFrameSize()));
  ASSERT_TRUE(h.playItems(*out, 1));
  std::string bytes = h.captured();
  ASSERT_EQ(bytes.size(), values.size() * 2);
  for (size_t i = 0; i < values.size(); ++i) {
    int16_t s = static_cast<int16_t>(static_cast<uint8_t>(bytes[2 * i]) | static_cast<uint8_t>(bytes[2 * i + 1]) << 8);
    ASSERT_EQ(s, static_cast<int16_t>(values[i] * 32768.0f)) << i;
  }
}

TEST(DirectOutput, TwoQueuesJoinWithNothingInsertedOrLost) {
  OutputHarness h(device({fmt(48000, 24, 3)}));
  auto out = h.output(streamFormat(48000, 2, plugin::kFormatLpcm));
  ASSERT_TRUE(out);
  const uint32_t frames = out->getDeviceBufferFrameSize();
  std::vector<float> a, b;
  for (int i = 0; i < 2 * 1001; ++i) a.push_back(static_cast<float>(i) / 8388608.0f);  // odd frame count
  for (int i = 2 * 1001; i < 2 * 3000; ++i) b.push_back(static_cast<float>(i) / 8388608.0f);
  h.feeder_.add(makeQueue(48000, 2, a, frames));
  h.feeder_.add(makeQueue(48000, 2, b, frames));
  ASSERT_TRUE(h.playItems(*out, 2));
  std::string bytes = h.captured();
  ASSERT_EQ(bytes.size(), 2u * 3000 * 3);
  for (int i = 0; i < 2 * 3000; ++i) {
    int v = static_cast<uint8_t>(bytes[3 * i]) | static_cast<uint8_t>(bytes[3 * i + 1]) << 8 |
            static_cast<uint8_t>(bytes[3 * i + 2]) << 16;
    ASSERT_EQ(v, i);
  }
}

// DoP words with a known payload and markers of an arbitrary phase.
// The i-th 24-bit little-endian sample of a capture as DoP: marker and two DSD bytes.
struct DoPSample {
  uint8_t marker, first, second;
  bool idle() const { return first == 0x96 && second == 0x96; }
};
DoPSample dopSample(const std::string& bytes, size_t i) {
  return {static_cast<uint8_t>(bytes[3 * i + 2]), static_cast<uint8_t>(bytes[3 * i + 1]),
          static_cast<uint8_t>(bytes[3 * i])};
}

std::vector<float> dopWords(uint32_t channels, uint32_t frames, uint32_t seed, uint8_t first_marker) {
  std::vector<float> out;
  uint8_t marker = first_marker;
  for (uint32_t f = 0; f < frames; ++f) {
    for (uint32_t c = 0; c < channels; ++c) {
      uint8_t a = static_cast<uint8_t>(seed + f * 3 + c), b = static_cast<uint8_t>(seed + f * 5 + c * 7);
      out.push_back(floatOf(expectedWord(marker, a, b)));
    }
    marker = static_cast<uint8_t>(~marker);
  }
  return out;
}

// A device paced like hardware plays every frame of every cycle, the silence of an
// underrun included: the alternation must hold across all of them.
TEST(DirectOutput, DoPKeepsOneMarkerAlternationAcrossItemsAndUnderruns) {
  DeviceJson d = device({fmt(176400, 24, 3)});
  d.clock = "realtime";
  OutputHarness h(d);
  auto out = h.output(streamFormat(176400, 2, plugin::kFormatDoP));
  ASSERT_TRUE(out);
  const uint32_t frames = out->getDeviceBufferFrameSize();
  auto first = dopWords(2, 777, 1, 0x05);
  auto second = dopWords(2, 500, 9, 0x05);   // out of phase with the first
  h.feeder_.add(makeQueue(176400, 2, first, frames, true, true));
  h.feeder_.add(makeQueue(176400, 2, second, frames, true, true));
  out->play();
  ASSERT_TRUE(waitFor([&] { return h.feeder_.finished() >= 2; }));
  std::this_thread::sleep_for(std::chrono::milliseconds(20));  // a stretch with nothing to play
  auto third = dopWords(2, 301, 5, 0xFA);
  h.feeder_.add(makeQueue(176400, 2, third, frames, true, true));
  ASSERT_TRUE(waitFor([&] { return h.feeder_.finished() >= 3; }));
  out->stop();

  std::string bytes = h.captured();
  std::vector<float> all(first);
  all.insert(all.end(), second.begin(), second.end());
  all.insert(all.end(), third.begin(), third.end());
  ASSERT_EQ(bytes.size() % 6, 0u);
  auto sample = [&](size_t i) { return dopSample(bytes, i); };
  size_t data = 0;
  for (size_t f = 0; f < bytes.size() / 6; ++f) {
    const auto left = sample(2 * f), right = sample(2 * f + 1);
    ASSERT_TRUE(left.marker == 0x05 || left.marker == 0xFA) << f;
    ASSERT_EQ(left.marker, right.marker) << "channels of one frame differ at " << f;
    if (f > 0) {
      ASSERT_EQ(left.marker, static_cast<uint8_t>(~sample(2 * f - 1).marker)) << "broken at frame " << f;
    }
    // No data frame is idle in both channels, so idle frames are the silence between.
    if (left.idle() && right.idle()) continue;
    for (const auto& s : {left, right}) {
      ASSERT_LT(data, all.size());
      uint32_t word = wordOf(all[data++]);
      ASSERT_EQ(s.first, (word >> 16) & 0xFF) << f;  // payload unchanged, in order
      ASSERT_EQ(s.second, (word >> 8) & 0xFF) << f;
    }
  }
  EXPECT_EQ(data, all.size());
}

// Channels the items do not fill carry idle DoP words whose marker is their frame's,
// across a join in the middle of a cycle.
TEST(DirectOutputChannels, StereoDoPOnFourChannelsKeepsEachFramesMarkerOnTheIdleOnes) {
  OutputHarness h(device({fmt(176400, 24, 3, 4)}, 4));
  auto out = h.output(streamFormat(176400, 2, plugin::kFormatDoP));
  ASSERT_TRUE(out);
  const uint32_t frames = out->getDeviceBufferFrameSize();
  auto first = dopWords(2, frames / 2 + 3, 1, 0x05);
  auto second = dopWords(2, frames + 7, 9, 0x05);  // out of phase with the first
  h.feeder_.add(makeQueue(176400, 2, first, frames, true, true));
  h.feeder_.add(makeQueue(176400, 2, second, frames, true, true));
  ASSERT_TRUE(h.playItems(*out, 2));
  std::string bytes = h.captured();
  std::vector<float> all(first);
  all.insert(all.end(), second.begin(), second.end());
  ASSERT_EQ(bytes.size(), all.size() / 2 * 4 * 3);
  for (size_t f = 0; f < all.size() / 2; ++f) {
    const auto frame_marker = dopSample(bytes, 4 * f).marker;
    ASSERT_TRUE(frame_marker == 0x05 || frame_marker == 0xFA) << f;
    if (f > 0) {
      ASSERT_EQ(frame_marker, static_cast<uint8_t>(~dopSample(bytes, 4 * f - 1).marker)) << f;
    }
    for (size_t c = 0; c < 4; ++c) {
      const auto s = dopSample(bytes, 4 * f + c);
      ASSERT_EQ(s.marker, frame_marker) << f << " " << c;
      if (c >= 2) {
        ASSERT_TRUE(s.idle()) << f << " " << c;
        continue;
      }
      const uint32_t word = wordOf(all[2 * f + c]);
      ASSERT_EQ(s.first, (word >> 16) & 0xFF) << f;
      ASSERT_EQ(s.second, (word >> 8) & 0xFF) << f;
    }
  }
}

TEST(DirectOutput, DoPSilenceContinuesFromTheLastMarker) {
  AudioDirectOutputBuffer::setMarkerDoP(0xFA);  // the last data marker was 0x05
  std::vector<float> buf(1024 * 2);
  IoBuffer io{2, static_cast<uint32_t>(buf.size() * 4), buf.data()};
  AudioDirectOutputBuffer::fillSilentData(PackerKind::DoP, io);
  EXPECT_EQ(wordOf(buf[0]), 0xFA969600u);
  EXPECT_EQ(wordOf(buf[1]), 0xFA969600u);
  EXPECT_EQ(wordOf(buf[2]), 0x05969600u);
  // 1024 frames: the next frame would carry what the first did.
  EXPECT_EQ(AudioDirectOutputBuffer::markerDoP(), 0xFA);
  std::vector<float> tiny(1);
  IoBuffer small{2, 4, tiny.data()};
  AudioDirectOutputBuffer::fillSilentData(PackerKind::DoP, small);  // k > s: nothing
  EXPECT_EQ(AudioDirectOutputBuffer::markerDoP(), 0xFA);
}

TEST(DirectOutput, Dsd16WordsReachA16BitDeviceInTimeOrder) {
  DeviceJson d = device({fmt(176400, 16, 2)});
  d.vid = device_info[22].vid;  // a row with native DSD...
  d.pid = device_info[22].pid;
  OutputHarness h(d);
  auto info = h.ctx_->deviceInfo();
  info.outputCapabilities = kDevicePCM | kDeviceDoP | kDeviceDSD16;  // ...in 16-bit words only
  h.ctx_->setDeviceInfo(info);
  auto out = h.output(streamFormat(176400, 2, plugin::kFormatDoP), true);
  ASSERT_TRUE(out);
  EXPECT_EQ(out->packerKind(), PackerKind::DSD16);
  // Every word different, so that order and channel are both seen.
  std::vector<float> words;
  for (uint32_t f = 0; f < 300; ++f) {
    for (uint32_t c = 0; c < 2; ++c) words.push_back(floatOf(expectedWord(f % 2 ? 0xFA : 0x05, static_cast<uint8_t>(f), static_cast<uint8_t>(0x40 + c))));
  }
  h.feeder_.add(makeQueue(176400, 2, words, out->getDeviceBufferFrameSize(), true, true));
  ASSERT_TRUE(h.playItems(*out, 1));
  std::string bytes = h.captured();
  ASSERT_EQ(bytes.size(), 600u * 2);
  for (uint32_t i = 0; i < 600; ++i) {  // the earlier DSD byte first in memory
    ASSERT_EQ(static_cast<uint8_t>(bytes[2 * i]), static_cast<uint8_t>(i / 2)) << i;
    ASSERT_EQ(static_cast<uint8_t>(bytes[2 * i + 1]), 0x40 + i % 2) << i;
  }
}

TEST(DirectOutput, Dsd32PairsFramesAndPadsAnOddLastFrame) {
  DeviceJson d = device({fmt(88200, 32, 4, 1, true), fmt(44100, 24, 3, 1)}, 1);
  d.vid = device_info[22].vid;
  d.pid = device_info[22].pid;
  OutputHarness h(d);
  EXPECT_NE(h.ctx_->deviceInfo().outputCapabilities & kDeviceDSD32, 0u);
  auto info = h.ctx_->deviceInfo();
  info.outputCapabilities &= ~kDeviceUSBSwitch;  // no mute sequence in this capture
  h.ctx_->setDeviceInfo(info);
  auto out = h.output(streamFormat(176400, 1, plugin::kFormatDoP), true);
  ASSERT_TRUE(out);
  EXPECT_EQ(out->packerKind(), PackerKind::DSD32);
  EXPECT_EQ(h.ctx_->current_desc().sample_rate, 88200);  // half the DoP rate
  EXPECT_GE(out->getDeviceBufferFrameSize(), 2043u);
  std::vector<float> words{floatOf(0x05A1B200u), floatOf(0xFAC3D400u), floatOf(0x05E1F200u)};
  h.feeder_.add(makeQueue(176400, 1, words, out->getDeviceBufferFrameSize()));
  ASSERT_TRUE(h.playItems(*out, 1));
  std::string bytes = h.captured();
  ASSERT_EQ(bytes.size(), 8u);
  const uint8_t expected[8] = {0xA1, 0xB2, 0xC3, 0xD4, 0xE1, 0xF2, 0x96, 0x96};
  EXPECT_EQ(std::memcmp(bytes.data(), expected, 8), 0);
}

TEST(DsdPackers, Dsd32TakesWholeFramesOnly) {
  auto packer = AudioDirectOutputBuffer::create(PackerKind::DSD32, 64);
  std::vector<float> words(2 * 20, floatOf(0x05A1B200u));
  packer->bind(makeQueue(176400, 2, words, 32));
  packer->queue()->setInputFinished(true);
  EXPECT_EQ(packer->updateConversionBuffer(5), 4u);  // 8 DoP words (4 frames) -> 4 words
  EXPECT_EQ(packer->queue()->getTimestamp(), 4ull * 1000000000ull / 176400);
}

// Mid-stream (after a seek or an underrun) a queue can hold an odd number of DoP
// frames. The unpartnered frame waits for the next pull: padding it with idle bits
// would insert 16 bits of silence into the music.
TEST(DsdPackers, Dsd32CarriesAnUnpartneredFrameToTheNextPull) {
  auto packer = AudioDirectOutputBuffer::create(PackerKind::DSD32, 64);
  auto frame = [](int f, int c) { return floatOf(expectedWord(0x05, static_cast<uint8_t>(f), static_cast<uint8_t>(0x80 + c))); };
  auto add = [&](AudioOutputBuffer& q, int from, int to) {
    std::vector<float> words;
    for (int f = from; f < to; ++f) words.insert(words.end(), {frame(f, 0), frame(f, 1)});
    q.addSamples(words.data(), static_cast<uint32_t>(words.size()));
  };
  // 100 Hz: the queue lets samples out from 10 frames on.
  auto queue = makeQueue(100, 2, {}, 4, false, true);
  add(*queue, 0, 11);
  ASSERT_TRUE(packer->bind(queue));
  ASSERT_EQ(packer->updateConversionBuffer(64), 10u);  // frames 0-9; frame 10 waits
  add(*queue, 11, 14);
  ASSERT_EQ(packer->updateConversionBuffer(64), 4u);  // frames 10-13
  auto* out = reinterpret_cast<const uint32_t*>(packer->getConversionBuffer());
  // Unit of a frame: its two DSD bytes, earlier in the low byte.
  auto unit = [](int f, int c) { return static_cast<uint32_t>(f) | static_cast<uint32_t>(0x80 + c) << 8; };
  EXPECT_EQ(out[0], unit(10, 0) | unit(11, 0) << 16);
  EXPECT_EQ(out[1], unit(10, 1) | unit(11, 1) << 16);
  EXPECT_EQ(out[3], unit(12, 1) | unit(13, 1) << 16);

  // A frame carried across a seek belongs to the old position: it is dropped.
  add(*queue, 14, 15);
  ASSERT_EQ(packer->updateConversionBuffer(64), 0u);  // frame 14 waits
  queue->clearDoPSamples();
  add(*queue, 20, 32);
  ASSERT_EQ(packer->updateConversionBuffer(64), 12u);
  EXPECT_EQ(out[0], unit(20, 0) | unit(21, 0) << 16);

  // At the item's end the last frame goes out with idle bits.
  add(*queue, 40, 41);
  queue->setInputFinished(true);
  ASSERT_EQ(packer->updateConversionBuffer(64), 2u);
  EXPECT_EQ(out[0], unit(40, 0) | 0x96960000u);
}

TEST(DsdPackers, Dsd32FillsItsWholeConversionBuffer) {
  // A packer for one device buffer of 4 frames stereo takes 8 DoP frames per pull.
  auto packer = AudioDirectOutputBuffer::create(PackerKind::DSD32, 8);
  std::vector<float> words;
  for (int f = 0; f < 8; ++f) {
    for (int c = 0; c < 2; ++c) words.push_back(floatOf(expectedWord(f % 2 ? 0xFA : 0x05, 0x10 + f, 0x20 + c)));
  }
  packer->bind(makeQueue(176400, 2, words, 4));
  packer->queue()->setInputFinished(true);
  ASSERT_EQ(packer->updateConversionBuffer(8), 8u);
  auto* out = reinterpret_cast<const uint32_t*>(packer->getConversionBuffer());
  EXPECT_EQ(out[0], 0x20112010u);  // channel 0: frames 0 and 1
  EXPECT_EQ(out[7], 0x21172116u);  // channel 1: frames 6 and 7
}

TEST(DirectOutputChannels, StereoOnSixChannelsMonoEverywhereAndSumOnMono) {
  {
    OutputHarness h(device({fmt(44100, 16, 2, 6)}, 6));
    auto out = h.output(streamFormat(44100, 2, plugin::kFormatLpcm));
    ASSERT_TRUE(out);
    // Stereo frames land in the first two channels, frame after frame; the others
    // stay silent. Mono is copied to every channel.
    std::vector<float> stereo;
    for (int f = 0; f < 100; ++f) stereo.insert(stereo.end(), {f / 128.0f, -f / 256.0f});
    h.feeder_.add(makeQueue(44100, 2, stereo, out->getDeviceBufferFrameSize()));
    h.feeder_.add(makeQueue(44100, 1, {0.25f, -0.125f}, out->getDeviceBufferFrameSize()));
    ASSERT_TRUE(h.playItems(*out, 2));
    std::string b = h.captured();
    ASSERT_EQ(b.size(), 102u * 6 * 2);
    auto s = [&](int i) { return static_cast<int16_t>(static_cast<uint8_t>(b[2 * i]) | static_cast<uint8_t>(b[2 * i + 1]) << 8); };
    for (int f = 0; f < 100; ++f) {
      ASSERT_EQ(s(6 * f), f * 256) << f;
      ASSERT_EQ(s(6 * f + 1), -f * 128) << f;
      for (int c = 2; c < 6; ++c) ASSERT_EQ(s(6 * f + c), 0) << f;
    }
    for (int c = 0; c < 6; ++c) EXPECT_EQ(s(600 + c), 8192);
    for (int c = 0; c < 6; ++c) EXPECT_EQ(s(606 + c), -4096);
  }
  {
    OutputHarness h(device({fmt(44100, 16, 2, 1)}, 1));
    auto out = h.output(streamFormat(44100, 2, plugin::kFormatLpcm));
    ASSERT_TRUE(out);
    h.feeder_.add(makeQueue(44100, 2, {0.75f, 0.75f, 0.25f, -0.5f}, out->getDeviceBufferFrameSize()));
    ASSERT_TRUE(h.playItems(*out, 1));
    std::string b = h.captured();
    ASSERT_EQ(b.size(), 4u);
    EXPECT_EQ(static_cast<int16_t>(static_cast<uint8_t>(b[0]) | static_cast<uint8_t>(b[1]) << 8), 32767);
    EXPECT_EQ(static_cast<int16_t>(static_cast<uint8_t>(b[2]) | static_cast<uint8_t>(b[3]) << 8), -8192);
  }
}

TEST(DirectOutputUsbSwitch, MutedUntilOneBufferAfterPlayAndMutedAgainOnStop) {
  DeviceJson d = device({fmt(44100, 24, 3)});
  d.vid = device_info[12].vid;  // USB switch, PCM and DoP
  d.pid = device_info[12].pid;
  OutputHarness h(d);
  auto out = h.output(streamFormat(44100, 2, plugin::kFormatLpcm));
  ASSERT_TRUE(out);
  const uint32_t frames = out->getDeviceBufferFrameSize();
  std::vector<float> values(2 * 4000, 0.5f);
  h.feeder_.add(makeQueue(44100, 2, values, frames));
  ASSERT_TRUE(h.playItems(*out, 1));
  std::string events = h.events();
  auto muted = events.find("\"event\":\"mute\"");
  auto unmuted = events.find("\"muted\":false", muted);
  auto remuted = events.find("\"muted\":true", unmuted);
  ASSERT_NE(muted, std::string::npos);
  ASSERT_NE(unmuted, std::string::npos);
  ASSERT_NE(remuted, std::string::npos);
  // Silence until un-muting: at least one buffer of it, and no sample before.
  auto line_of = [&](size_t at) { return events.substr(events.rfind('\n', at) + 1, events.find('\n', at) - events.rfind('\n', at) - 1); };
  std::string unmute_line = line_of(unmuted);
  auto offset_at = [](const std::string& line) {
    auto p = line.find("\"offset\":");
    return std::stoull(line.substr(p + 9));
  };
  auto sample_at = [](const std::string& line) {
    auto p = line.find("\"sample_time\":");
    return std::stod(line.substr(p + 14));
  };
  EXPECT_GT(sample_at(unmute_line), frames);
  std::string bytes = h.captured();
  size_t silent_bytes = offset_at(unmute_line);
  for (size_t i = 0; i < silent_bytes; ++i) ASSERT_EQ(bytes[i], 0) << i;
  EXPECT_NE(bytes.find(std::string("\x00\x00\x40", 3), silent_bytes), std::string::npos);
}

TEST(DirectOutputUsbSwitch, StopImmediatelyDoesNotWaitForTheMuteSequence) {
  DeviceJson d = device({fmt(44100, 24, 3)});
  d.vid = device_info[12].vid;
  d.pid = device_info[12].pid;
  d.clock = "realtime";
  OutputHarness h(d);
  auto out = h.output(streamFormat(44100, 2, plugin::kFormatLpcm));
  ASSERT_TRUE(out);
  out->play();
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  h.ctx_->setStop_immediately(true);
  auto start = std::chrono::steady_clock::now();
  out->stop();
  h.ctx_->setStop_immediately(false);
  // Far less than the timed sequence (several buffers at 44.1 kHz) would take.
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
  EXPECT_NE(h.events().rfind("\"muted\":true"), std::string::npos);
}

}  // namespace
