// The ALSA backend: the period layouts against golden bytes, alsa-lib's user-space
// null and file PCMs defined in a private configuration, and a port of the tests'
// own underneath for busy and vanishing devices.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>

#include "engine/output/audio_device_list.h"
#include "engine/output/audio_output_context.h"
#include "engine/play/play_manager.h"
#include "platform/audio/alsa_hal.h"
#include "support/dop.h"
#include "support/dsf_writer.h"
#include "support/flac_fixtures.h"
#include "support/log_capture.h"
#include "support/play_harness.h"

using namespace sonara::audio;

namespace {

std::vector<uint8_t> convert(AlsaSampleFormat f, const void* in, size_t n) {
  std::vector<uint8_t> out(n * bytesPerSample(f));
  convertPeriod(f, in, n, out.data());
  return out;
}

TEST(AlsaFormat, PcmSamplesBecomeExactIntegers) {
  const float pcm[3] = {-1.0f, 0.5f, 1.0f};
  EXPECT_EQ(convert(AlsaSampleFormat::S16_LE, pcm, 3), (std::vector<uint8_t>{0x00, 0x80, 0x00, 0x40, 0xFF, 0x7F}));
  EXPECT_EQ(convert(AlsaSampleFormat::S24_3LE, pcm, 2), (std::vector<uint8_t>{0x00, 0x00, 0x80, 0x00, 0x00, 0x40}));
  EXPECT_EQ(convert(AlsaSampleFormat::S24_LE, pcm, 1), (std::vector<uint8_t>{0x00, 0x00, 0x80, 0xFF}));
  EXPECT_EQ(convert(AlsaSampleFormat::S32_LE, pcm + 1, 2),
            (std::vector<uint8_t>{0x00, 0x00, 0x00, 0x40, 0xFF, 0xFF, 0xFF, 0x7F}));
}

TEST(AlsaFormat, NativeDsdWordsKeepTheirBytesInTimeOrder) {
  // The DSD16 packer's word for the bytes A1 (earlier) and B2: 0xB2A1 as a float.
  const float dsd16 = static_cast<float>(static_cast<int32_t>(0xB2A10000u)) / 2147483648.0f;
  EXPECT_EQ(convert(AlsaSampleFormat::DSD_U16_BE, &dsd16, 1), (std::vector<uint8_t>{0xA1, 0xB2}));
  EXPECT_EQ(convert(AlsaSampleFormat::DSD_U16_LE, &dsd16, 1), (std::vector<uint8_t>{0xB2, 0xA1}));
  // The DSD32 packer's word for A1 B2 C3 D4.
  const uint32_t dsd32 = 0xD4C3B2A1u;
  EXPECT_EQ(convert(AlsaSampleFormat::DSD_U32_BE, &dsd32, 1), (std::vector<uint8_t>{0xA1, 0xB2, 0xC3, 0xD4}));
  EXPECT_EQ(convert(AlsaSampleFormat::DSD_U32_LE, &dsd32, 1), (std::vector<uint8_t>{0xD4, 0xC3, 0xB2, 0xA1}));
}

// alsa-lib reads its configuration once per process: one private file for all.
class AlsaUserSpacePcm : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    output_ = "/tmp/pelmora-alsa-" + std::to_string(::getpid()) + ".raw";
    config_ = "/tmp/pelmora-alsa-" + std::to_string(::getpid()) + ".conf";
    std::ofstream(config_) << "pcm.pelmora_null { type null }\n"
                           << "pcm.pelmora_file { type file slave.pcm \"pelmora_null\" file \"" << output_
                           << "\" format \"raw\" }\n";
    ::setenv("ALSA_CONFIG_PATH", config_.c_str(), 1);
    ::setenv("SONARA_ALSA_DEVICES", "pelmora_file", 1);
  }
  static void TearDownTestSuite() {
    std::remove(output_.c_str());
    std::remove(config_.c_str());
  }
  static std::string output_;
  static std::string config_;
};
std::string AlsaUserSpacePcm::output_;
std::string AlsaUserSpacePcm::config_;

TEST_F(AlsaUserSpacePcm, EnumeratesTheNamedPcmsWithTheirFormats) {
  auto specs = AlsaHal::enumerate();
  ASSERT_FALSE(specs.empty());
  EXPECT_EQ(specs.back().pcm_name, "pelmora_file");
  AlsaHal hal(specs);
  AudioDeviceList list(hal);
  list.initialize();
  auto device = list.getOutputAudioDeviceByName("ALSA pelmora_file");
  ASSERT_TRUE(device);
  std::vector<StreamId> streams;
  hal.streams(device->device_id, Scope::Output, &streams);
  std::vector<RangedDescription> formats;
  hal.availablePhysicalFormats(streams.at(0), &formats);
  bool has_s24 = false, dsd_is_marked = true;
  for (const auto& f : formats) {
    has_s24 |= f.format.bits_per_channel == 24 && f.format.sample_rate == 176400;
    if (f.format.bits_per_channel == 32 && (f.format.format_flags & kFormatFlagIsNonMixable)) {
      dsd_is_marked &= (f.format.format_flags & kFormatFlagCarriesNativeDSD) != 0;
    }
  }
  EXPECT_TRUE(has_s24);
  EXPECT_TRUE(dsd_is_marked);
  EXPECT_TRUE(device->deviceInfo.outputCapabilities & kDeviceDSD32);  // it takes DSD_U32
}

// Plays records through the whole engine on the file PCM and returns its bytes.
std::string playThroughFilePcm(const std::vector<PlaylistItemInfoRef>& records, int32_t mode,
                               const std::string& output) {
  std::remove(output.c_str());
  auto hal = std::make_shared<AlsaHal>(AlsaHal::enumerate());
  AudioDeviceList list(*hal);
  list.initialize();
  auto names = list.getNameList(false);
  int index = static_cast<int>(std::find(names.begin(), names.end(), "ALSA pelmora_file") - names.begin());
  auto ctx = AudioOutputContext::initWithList(list, index);
  if (!ctx) return "";
  auto loop = std::make_shared<sonara::platform::StandaloneMainLoop>();
  sonara::platform::installMainLoop(loop);
  ScriptedController controller;
  controller.decode_mode = mode;
  std::atomic<uint8_t> alive{0};
  {
    auto engine = PlayManager::initWithAudioOutputCtx(ctx, &alive);
    engine->setDelegate(&controller);
    controller.engine = engine;
    controller.upcoming.assign(records.begin() + 1, records.end());
    engine->addInfo(records.front());
    engine->start();
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!controller.saw("finishedAll") && std::chrono::steady_clock::now() < until) {
      loop->runFor(std::chrono::milliseconds(5));
    }
    engine->stop(true);
  }
  ctx.reset();
  sonara::platform::installMainLoop(nullptr);
  std::ifstream in(output, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

TEST_F(AlsaUserSpacePcm, PcmReachesTheFileBitForBit) {
  TempDir dir;
  FlacSetup setup{44100, 24, 2, 0.5, {}};
  std::string flac = makeFlac(dir.path(), "t", setup);
  auto reference = referenceDecode(flac, dir.file("t.raw"), 24);
  std::string bytes = playThroughFilePcm({recordFor(flac, 1)}, 0, output_);
  ASSERT_FALSE(bytes.empty());
  // PCM goes out as S32_LE. The null PCM has no clock, so the engine's output runs
  // dry now and then and plays silence: the frames that are not silent must be the
  // file's, every one, in order.
  std::vector<int64_t> heard;
  for (size_t i = 0; i + 8 <= bytes.size(); i += 8) {
    int32_t l, r;
    std::memcpy(&l, &bytes[i], 4);
    std::memcpy(&r, &bytes[i + 4], 4);
    if (l != 0 || r != 0) heard.push_back(int64_t{l} << 32 | static_cast<uint32_t>(r));
  }
  std::vector<int64_t> expected;
  for (size_t i = 0; i + 1 < reference.size(); i += 2) {
    auto l = static_cast<int32_t>(static_cast<double>(reference[i]) * 2147483648.0);
    auto r = static_cast<int32_t>(static_cast<double>(reference[i + 1]) * 2147483648.0);
    if (l != 0 || r != 0) expected.push_back(int64_t{l} << 32 | static_cast<uint32_t>(r));
  }
  EXPECT_EQ(heard, expected);
}

TEST_F(AlsaUserSpacePcm, DsfReachesTheFileAsDoP) {
  TempDir dir;
  DsfSetup setup;
  setup.audio = patternAudio(2, 4096);
  writeFile(dir.file("t.dsf"), buildDsf(setup));
  std::string bytes = playThroughFilePcm({recordFor(dir.file("t.dsf"), 1)}, 0, output_);
  // 24-bit DoP in 3 bytes. Frames of DSD silence (the pre-roll, and the output
  // running dry on the clockless null PCM) aside, the payload is the file's.
  std::vector<std::pair<uint16_t, uint16_t>> heard;
  for (size_t i = 0; i + 6 <= bytes.size(); i += 6) {
    auto word = [&](size_t at) { return static_cast<uint16_t>(static_cast<uint8_t>(bytes[at + 1]) << 8 | static_cast<uint8_t>(bytes[at])); };
    uint16_t l = word(i), r = word(i + 3);
    uint8_t marker = static_cast<uint8_t>(bytes[i + 2]);
    if ((marker == 0x05 || marker == 0xFA) && !(l == 0x9696 && r == 0x9696)) heard.emplace_back(l, r);
  }
  ASSERT_EQ(heard.size(), 2048u);
  for (size_t f = 0; f < 2048; ++f) {
    for (size_t c = 0; c < 2; ++c) {
      uint16_t expected = static_cast<uint16_t>(reverseBits(setup.audio[c][2 * f]) << 8 | reverseBits(setup.audio[c][2 * f + 1]));
      ASSERT_EQ(c == 0 ? heard[f].first : heard[f].second, expected) << f;
    }
  }
}

// A port that is busy, or that fails with `error` after some periods: for
// `failures` writes (then works again), or for good.
class TestPort final : public PcmPort {
 public:
  TestPort(int open_result, int fail_after, int error = -ENODEV, int failures = -1)
      : open_result_(open_result), fail_after_(fail_after), error_(error), failures_(failures) {}
  int open() override {
    if (open_result_ == 0) open_ = true;
    return open_result_;
  }
  void close() override { open_ = false; }
  bool isOpen() const override { return open_; }
  int probe(PcmCapabilities* caps) override {
    caps->pairs = {{AlsaSampleFormat::S16_LE, {44100}}};
    return 0;
  }
  int configure(AlsaSampleFormat, uint32_t, uint32_t, uint32_t period, PcmSetup* setup) override {
    *setup = {period, period * 4};
    return 0;
  }
  long write(const void*, uint32_t frames) override {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ++writes;
    if (--fail_after_ >= 0 || failures_ == 0) return frames;
    if (failures_ > 0) --failures_;
    return error_;
  }
  int recover(int) override { return 0; }
  void drop() override {}

  std::atomic<int> writes{0};

 private:
  int open_result_;
  int fail_after_;
  int error_;
  int failures_;
  bool open_ = false;
};

struct PortRun {
  AlsaHal hal;
  std::atomic<int> notices{0};
  IoProcId proc = 0;
  static void listener(DeviceId, void* client) { ++*static_cast<std::atomic<int>*>(client); }

  explicit PortRun(AlsaHal::PortFactory factory)
      : hal({AlsaDeviceSetup{"dac", "Test DAC", "alsa:dac", -1, 0, -1, -1, "", ""}}, std::move(factory)) {}
  void start() {
    ASSERT_EQ(hal.setHogMode(1, ::getpid()), kNoError);
    hal.addAliveListener(1, &listener, &notices);
    ASSERT_EQ(hal.createIoProc(1, [](DeviceId, const TimeStamp&, IoBuffer&, const TimeStamp&, void*) { return 0; },
                               nullptr, &proc),
              kNoError);
    ASSERT_EQ(hal.startIoProc(1, proc), kNoError);
  }
  uint32_t alive() {
    uint32_t a = 9;
    hal.isAlive(1, &a);
    return a;
  }
  ~PortRun() {
    hal.stopIoProc(1, proc);
    hal.removeAliveListener(1, &listener, &notices);
  }
};

// A DAC that stops taking audio (EIO) is given up after a few tries, a period apart,
// and said so; one failed write is recovered from.
TEST(AlsaHalPorts, PersistentWriteErrorsEndInALostDeviceWithoutSpinning) {
  TestPort* port = nullptr;
  PortRun run([&](const std::string&) {
    auto p = std::make_unique<TestPort>(0, 10, -EIO);
    port = p.get();
    return p;
  });
  LogCapture log;
  run.start();
  ASSERT_TRUE(waitFor([&] { return run.notices.load() == 1; }));
  EXPECT_EQ(run.alive(), 0u);
  const int writes = port->writes.load();
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_EQ(port->writes.load(), writes);  // the IO thread ended
  EXPECT_LE(writes, 10 + 5);
  EXPECT_TRUE(waitFor([&] { return log.contains("Test DAC stopped taking audio (Input/output error)"); }));
}

TEST(AlsaHalPorts, AnOccasionalWriteErrorIsRecoveredAndPlayingGoesOn) {
  TestPort* port = nullptr;
  PortRun run([&](const std::string&) {
    auto p = std::make_unique<TestPort>(0, 10, -EIO, 1);
    port = p.get();
    return p;
  });
  LogCapture log;
  run.start();
  ASSERT_TRUE(waitFor([&] { return port->writes.load() > 30; }));
  EXPECT_EQ(run.notices.load(), 0);
  EXPECT_EQ(run.alive(), 1u);
  EXPECT_TRUE(waitFor([&] { return log.contains("writing to Test DAC failed (Input/output error, 1 so far)"); }));
}

TEST(AlsaHalPorts, BusyDevicesAreRefusedAndVanishingOnesReported) {
  AlsaDeviceSetup busy{"busy", "Busy DAC", "alsa:busy", -1, 0, -1, -1, "", ""};
  AlsaDeviceSetup fading{"fading", "Fading DAC", "alsa:fading", -1, 0, -1, -1, "", ""};
  AlsaHal hal({busy, fading}, [](const std::string& name) {
    return std::make_unique<TestPort>(name == "busy" ? -EBUSY : 0, 20);
  });
  LogCapture log;
  EXPECT_EQ(hal.setHogMode(1, ::getpid()), kErrorDeviceBusy);
  EXPECT_TRUE(log.contains("Busy DAC cannot be taken"));

  std::atomic<int> notices{0};
  auto listener = [](DeviceId, void* client) { ++*static_cast<std::atomic<int>*>(client); };
  ASSERT_EQ(hal.setHogMode(2, ::getpid()), kNoError);
  hal.addAliveListener(2, listener, &notices);
  IoProcId proc = 0;
  ASSERT_EQ(hal.createIoProc(2, [](DeviceId, const TimeStamp&, IoBuffer&, const TimeStamp&, void*) { return 0; },
                             nullptr, &proc),
            kNoError);
  ASSERT_EQ(hal.startIoProc(2, proc), kNoError);
  ASSERT_TRUE(waitFor([&] { return notices.load() == 1; }));
  uint32_t alive = 1;
  hal.isAlive(2, &alive);
  EXPECT_EQ(alive, 0u);
  hal.stopIoProc(2, proc);
  hal.removeAliveListener(2, listener, &notices);
}

}  // namespace
