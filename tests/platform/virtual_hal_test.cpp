#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <thread>

#include "support/temp_dir.h"
#include "support/virtual_devices.h"

using namespace sonara::audio;

namespace {

std::string slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// Writes `values` once (the first cycle), then reports every later cycle unfilled.
struct OneShot {
  std::vector<float> values;
  std::atomic<int> cycles{0};
  static Status proc(DeviceId, const TimeStamp&, IoBuffer& out, const TimeStamp&, void* client) {
    auto* self = static_cast<OneShot*>(client);
    if (self->cycles++ == 0) {
      size_t n = std::min<size_t>(self->values.size(), out.byte_size / 4);
      std::memcpy(out.data, self->values.data(), n * 4);
      out.byte_size = static_cast<uint32_t>(n * 4);
    } else {
      out.byte_size = 0;
    }
    return 0;
  }
};

void runOnce(VirtualHal& hal, OneShot& shot) {
  IoProcId id = 0;
  ASSERT_EQ(hal.createIoProc(1, &OneShot::proc, &shot, &id), 0);
  ASSERT_EQ(hal.startIoProc(1, id), 0);
  while (shot.cycles < 3) std::this_thread::yield();
  hal.stopIoProc(1, id);
  hal.destroyIoProc(1, id);
}

TEST(VirtualHal, FreewheelCapturesExactIntegersOfTheFilledFrames) {
  TempDir dir;
  DeviceJson d;
  d.formats = {FormatJson{44100, 0, 0, 24, 3, 2}, FormatJson{44100, 0, 0, 16, 2, 2}};
  d.capture = dir.file("c.raw");
  auto hal = makeVirtualHal({d});
  OneShot shot;
  shot.values = {1.0f, -1.0f, 0.5f, -0.25f, 1.5f, 0.0f};  // 1.0 and 1.5 clamp
  runOnce(*hal, shot);
  std::string bytes = slurp(d.capture);
  ASSERT_EQ(bytes.size(), 6u * 3);
  auto sample = [&](size_t i) {
    int32_t v = static_cast<uint8_t>(bytes[i * 3]) | static_cast<uint8_t>(bytes[i * 3 + 1]) << 8 |
                static_cast<int8_t>(bytes[i * 3 + 2]) << 16;
    return v;
  };
  EXPECT_EQ(sample(0), 0x7FFFFF);
  EXPECT_EQ(sample(1), -0x800000);
  EXPECT_EQ(sample(2), 0x400000);
  EXPECT_EQ(sample(3), -0x200000);
  EXPECT_EQ(sample(4), 0x7FFFFF);
  std::string events = slurp(d.capture + ".log");
  EXPECT_EQ(events.find("{\"event\":\"start\",\"sample_time\":0,\"offset\":0}"), 0u);
  EXPECT_NE(events.find("{\"event\":\"stop\",\"sample_time\":3,\"offset\":18}"), std::string::npos);
}

TEST(VirtualHal, NonMixableFormatsReceiveRawWords) {
  TempDir dir;
  DeviceJson d;
  FormatJson words;
  words.bits = 32;
  words.non_mixable = true;
  d.formats = {words};
  d.capture = dir.file("c.raw");
  auto hal = makeVirtualHal({d});
  OneShot shot;
  uint32_t raw[2] = {0x69696969u, 0x96000000u};
  shot.values.resize(2);
  std::memcpy(shot.values.data(), raw, 8);
  runOnce(*hal, shot);
  std::string bytes = slurp(d.capture);
  ASSERT_EQ(bytes.size(), 8u);
  EXPECT_EQ(std::memcmp(bytes.data(), raw, 8), 0);
}

TEST(VirtualHal, WrittenFormatsReadBackAndUnsupportedOnesAreRefused) {
  DeviceJson d;
  FormatJson ranged{0, 44100, 192000, 24, 4, 2};
  d.formats = {ranged};
  auto hal = makeVirtualHal({d});
  std::vector<StreamId> streams;
  hal->streams(1, Scope::Output, &streams);
  StreamDescription f;
  hal->physicalFormat(streams[0], &f);
  f.sample_rate = 96000;
  EXPECT_EQ(hal->setPhysicalFormat(streams[0], f), 0);
  StreamDescription back;
  hal->physicalFormat(streams[0], &back);
  EXPECT_EQ(back, f);
  f.sample_rate = 384000;
  EXPECT_NE(hal->setPhysicalFormat(streams[0], f), 0);
  f.sample_rate = 96000;
  f.bits_per_channel = 16;
  EXPECT_NE(hal->setPhysicalFormat(streams[0], f), 0);
  EXPECT_NE(hal->setBufferFrameSize(1, 1u << 20), 0);
}

TEST(VirtualHal, RealtimeClockCapturesSilenceAndCountsGaps) {
  TempDir dir;
  DeviceJson d;
  d.formats = {FormatJson{48000, 0, 0, 16, 2, 1}};
  d.output_channels = 1;
  d.clock = "realtime";
  d.capture = dir.file("c.raw");
  auto hal = makeVirtualHal({d});
  hal->setBufferFrameSize(1, 64);
  // Data, a gap, data again: one underrun.
  struct Pattern {
    std::atomic<int> cycle{0};
    static Status proc(DeviceId, const TimeStamp&, IoBuffer& out, const TimeStamp&, void* client) {
      auto* self = static_cast<Pattern*>(client);
      int c = self->cycle++;
      if (c == 1) {
        out.byte_size = 0;
      } else {
        std::fill_n(static_cast<float*>(out.data), out.byte_size / 4, 0.5f);
      }
      return 0;
    }
  } pattern;
  IoProcId id = 0;
  hal->createIoProc(1, &Pattern::proc, &pattern, &id);
  hal->startIoProc(1, id);
  while (pattern.cycle < 4) std::this_thread::yield();
  hal->stopIoProc(1, id);
  EXPECT_EQ(hal->underruns(1), 1u);
  std::string bytes = slurp(d.capture);
  ASSERT_GE(bytes.size(), 3u * 64 * 2);
  EXPECT_EQ(bytes[0], 0x00);  // 0.5 -> 0x4000
  EXPECT_EQ(bytes[1], 0x40);
  EXPECT_EQ(bytes[64 * 2 + 1], 0x00);  // the gap was captured as silence
  EXPECT_NE(slurp(d.capture + ".log").find("\"event\":\"underrun\",\"sample_time\":64"),
            std::string::npos);
}

TEST(VirtualDeviceFile, MalformedDescriptionsAreRefusedWithAReason) {
  std::string error;
  EXPECT_FALSE(parseVirtualDevices("{\"devices\": 3}", &error));
  EXPECT_FALSE(parseVirtualDevices("not json", &error));
  EXPECT_FALSE(parseVirtualDevices(
      "{\"devices\":[{\"formats\":[{\"rate\":44100,\"bits\":40}]}]}", &error));
  EXPECT_NE(error.find("impossible"), std::string::npos);
  EXPECT_FALSE(parseVirtualDevices("{\"devices\":[{\"clock\":\"sundial\"}]}", &error));
  EXPECT_FALSE(parseVirtualDevices(
      "{\"devices\":[{\"formats\":[{\"rate\":44100,\"bits\":200000000000000000004}]}]}", &error));
  EXPECT_NE(error.find("out of range"), std::string::npos);
  EXPECT_FALSE(parseVirtualDevices("{\"devices\":[{\"output_channels\":-2}]}", &error));
  EXPECT_FALSE(parseVirtualDevices("{\"devices\":[{\"output_channels\":\"two\"}]}", &error));
  auto ok = parseVirtualDevices("{\"devices\":[{\"name\":\"A\"}]}", &error);
  ASSERT_TRUE(ok);
  EXPECT_EQ(ok->at(0).uid, "virtual:1");
}

}  // namespace
