#include <gtest/gtest.h>

#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <unistd.h>
#include <fstream>
#include <thread>

#include "support/read_bytes.h"
#include "support/temp_dir.h"
#include "support/virtual_devices.h"
#include "support/wait_for.h"

using namespace sonara::audio;

namespace {

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
  EXPECT_TRUE(waitFor([&] { return shot.cycles >= 3; }));
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
  std::string bytes = readBytes(d.capture);
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
  std::string events = readBytes(d.capture + ".log");
  EXPECT_EQ(events.find("{\"event\":\"start\",\"sample_time\":0,\"offset\":0,"), 0u);
  EXPECT_NE(events.find("{\"event\":\"stop\",\"sample_time\":3,\"offset\":18,"), std::string::npos);
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
  std::string bytes = readBytes(d.capture);
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
  EXPECT_TRUE(waitFor([&] { return pattern.cycle >= 4; }));
  hal->stopIoProc(1, id);
  EXPECT_EQ(hal->underruns(1), 1u);
  std::string bytes = readBytes(d.capture);
  ASSERT_GE(bytes.size(), 3u * 64 * 2);
  EXPECT_EQ(bytes[0], 0x00);  // 0.5 -> 0x4000
  EXPECT_EQ(bytes[1], 0x40);
  EXPECT_EQ(bytes[64 * 2 + 1], 0x00);  // the gap was captured as silence
  EXPECT_NE(readBytes(d.capture + ".log").find("\"event\":\"underrun\",\"sample_time\":64"),
            std::string::npos);
}

// A device switched by a USB request plays muted silence before the music starts; the
// cycle of silence that may follow the unmuting is the music starting late, not a
// dropout. A gap in the music itself still counts.
TEST(VirtualHal, MutedSilenceIsNotPartOfTheStream) {
  DeviceJson d;
  d.formats = {FormatJson{48000, 0, 0, 16, 2, 1}};
  d.output_channels = 1;
  d.clock = "realtime";
  auto hal = makeVirtualHal({d});
  hal->setBufferFrameSize(1, 64);
  struct Sequence {
    VirtualHal* hal;
    std::atomic<int> cycle{0};
    std::atomic<uint64_t> before_dropout{99};
    static Status proc(DeviceId id, const TimeStamp&, IoBuffer& out, const TimeStamp&, void* client) {
      auto* self = static_cast<Sequence*>(client);
      const int c = self->cycle++;
      if (c == 1) self->hal->setMute(id, 0);  // muted silence in cycles 0 and 1
      if (c == 5) self->before_dropout = self->hal->underruns(id);  // cycles 0-4 counted
      if (c == 2 || c == 5) {
        out.byte_size = 0;  // the music not yet there, then a dropout
      } else {
        std::fill_n(static_cast<float*>(out.data), out.byte_size / 4, c < 2 ? 0.0f : 0.5f);
      }
      return 0;
    }
  } sequence{hal.get()};
  hal->setMute(1, 1);
  IoProcId id = 0;
  hal->createIoProc(1, &Sequence::proc, &sequence, &id);
  hal->startIoProc(1, id);
  EXPECT_TRUE(waitFor([&] { return sequence.cycle >= 8; }));
  hal->stopIoProc(1, id);
  EXPECT_EQ(sequence.before_dropout, 0u);
  EXPECT_EQ(hal->underruns(1), 1u);
}

// Whether this process may run a thread under SCHED_FIFO: as root, or by its
// RLIMIT_RTPRIO (whose soft limit it may raise to the hard one).
bool processMayHaveRealtimePriority() {
  rlimit limit{};
  if (getrlimit(RLIMIT_RTPRIO, &limit) == 0 && limit.rlim_max > 0) return true;
  std::atomic<bool> done{false};
  std::thread probe([&] {
    while (!done) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  });
  sched_param param{};
  param.sched_priority = 1;
  const bool may = pthread_setschedparam(probe.native_handle(), SCHED_FIFO, &param) == 0;
  done = true;
  probe.join();
  return may;
}

// The scheduling policy of the device's IO thread a few cycles in.
int ioThreadPolicy(const std::string& clock) {
  DeviceJson d;
  d.clock = clock;
  auto hal = makeVirtualHal({d});
  hal->setBufferFrameSize(1, 64);
  struct Probe {
    std::atomic<int> cycles{0};
    std::atomic<int> policy{-1};
    static Status proc(DeviceId, const TimeStamp&, IoBuffer& out, const TimeStamp&, void* client) {
      auto* self = static_cast<Probe*>(client);
      if (++self->cycles == 5) self->policy = sched_getscheduler(0);
      out.byte_size = 0;
      return 0;
    }
  } probe;
  IoProcId id = 0;
  hal->createIoProc(1, &Probe::proc, &probe, &id);
  hal->startIoProc(1, id);
  waitFor([&] { return probe.policy.load() != -1; });
  hal->stopIoProc(1, id);
  hal->destroyIoProc(1, id);
  return probe.policy;
}

// A device paced like hardware has an IO thread scheduled like a sound card's; a
// free-running one never takes real-time priority (it would take a core).
TEST(VirtualHal, ThePacedIoThreadRunsInRealTimeWhereTheProcessMay) {
  EXPECT_EQ(ioThreadPolicy("realtime"), processMayHaveRealtimePriority() ? SCHED_FIFO : SCHED_OTHER);
  EXPECT_EQ(ioThreadPolicy("freewheel"), SCHED_OTHER);
}

TEST(VirtualHal, BufferSizesAreRoundedUpToTheDriversStep) {
  DeviceJson d;
  d.min_frames = 64;
  d.max_frames = 4096;
  d.frames_step = 128;  // as HD-audio drivers round periods
  auto hal = makeVirtualHal({d});
  uint32_t frames = 0;
  ASSERT_EQ(hal->setBufferFrameSize(1, 882), 0);
  hal->bufferFrameSize(1, &frames);
  EXPECT_EQ(frames, 896u);
  ASSERT_EQ(hal->setBufferFrameSize(1, 4095), 0);
  hal->bufferFrameSize(1, &frames);
  EXPECT_EQ(frames, 4096u);
  ASSERT_EQ(hal->setBufferFrameSize(1, 128), 0);
  hal->bufferFrameSize(1, &frames);
  EXPECT_EQ(frames, 128u);
  std::string error;
  EXPECT_FALSE(parseVirtualDevices("{\"devices\":[{\"buffer_frames\":{\"min\":64,\"max\":512,\"step\":0}}]}", &error));
}

// Edits of the device file while the program runs are unplug, replug and takeover
// events, as a user or a test script makes them.
TEST(VirtualHal, FollowsPresenceAndTakeoverInItsDeviceFile) {
  TempDir dir;
  DeviceJson d;
  d.uid = "dac-1";
  d.capture = dir.file("c.raw");
  const std::string file = dir.file("devices.json");
  auto write = [&](const DeviceJson& device) {
    std::ofstream(file + ".new") << devicesJson({device});
    std::filesystem::rename(file + ".new", file);  // replaced, as editors do
  };
  write(d);
  std::string error;
  auto setups = loadVirtualDevices(file, &error);
  ASSERT_TRUE(setups) << error;
  VirtualHal hal(std::move(*setups));
  hal.followFile(file);
  std::atomic<int> told{0};
  hal.addAliveListener(1, [](DeviceId, void* c) { ++*static_cast<std::atomic<int>*>(c); }, &told);
  auto alive = [&] {
    uint32_t a = 9;
    hal.isAlive(1, &a);
    return a;
  };

  d.alive = false;
  write(d);
  ASSERT_TRUE(waitFor([&] { return told == 1; }));
  EXPECT_EQ(alive(), 0u);
  d.alive = true;
  std::ofstream(file, std::ios::trunc) << devicesJson({d});  // written in place
  ASSERT_TRUE(waitFor([&] { return told == 2; }));
  EXPECT_EQ(alive(), 1u);

  // Another program takes the device while this one holds it: gone for this one.
  ASSERT_EQ(hal.setHogMode(1, ::getpid()), 0);  // the event log starts with the taking
  EXPECT_NE(readBytes(d.capture + ".log").find("\"event\":\"unplug\""), std::string::npos);
  d.hogged = true;
  write(d);
  ASSERT_TRUE(waitFor([&] { return told == 3; }));
  EXPECT_EQ(alive(), 0u);
  EXPECT_EQ(hal.setHogMode(1, ::getpid()), kErrorDeviceBusy);
  EXPECT_EQ(hal.setHogMode(1, -1), 0);  // giving up what was taken is no error
  d.hogged = false;
  write(d);
  ASSERT_TRUE(waitFor([&] { return told == 4; }));
  EXPECT_EQ(alive(), 1u);
  std::string events = readBytes(d.capture + ".log");
  EXPECT_NE(events.find("\"event\":\"taken\""), std::string::npos);
  EXPECT_NE(events.find("\"event\":\"given_back\""), std::string::npos);
  EXPECT_EQ(hal.setHogMode(1, ::getpid()), 0);
  hal.removeAliveListener(1, [](DeviceId, void* c) { ++*static_cast<std::atomic<int>*>(c); }, &told);
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
