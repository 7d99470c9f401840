#include <gtest/gtest.h>

#include <atomic>
#include <fstream>

#include "engine/output/audio_output_context.h"
#include "engine/output/device_table.h"
#include "support/log_capture.h"
#include "support/read_bytes.h"
#include "support/temp_dir.h"
#include "support/virtual_devices.h"

namespace {

class OutputContextTest : public ::testing::Test {
 protected:
  void make(std::vector<DeviceJson> devices) {
    for (auto& d : devices) {
      if (d.capture.empty()) d.capture = dir_.file(d.name + ".raw");
    }
    hal_ = makeVirtualHal(devices);
    ASSERT_TRUE(hal_);
    list_ = std::make_unique<AudioDeviceList>(*hal_);
    list_->initialize();
  }
  std::string log(int device) { return readBytes(hal_->capturePath(static_cast<uint32_t>(device)) + ".log"); }

  TempDir dir_;
  std::shared_ptr<sonara::audio::VirtualHal> hal_;
  std::unique_ptr<AudioDeviceList> list_;
};

TEST_F(OutputContextTest, OpenTakesTheDeviceAndCloseGivesItBackAsFound) {
  DeviceJson d;
  d.formats = {FormatJson{44100}, FormatJson{96000}};
  make({d});
  {
    auto ctx = AudioOutputContext::initWithList(*list_, 0);
    ASSERT_TRUE(ctx);
    EXPECT_EQ(ctx->org_desc().sample_rate, 44100);
    EXPECT_EQ(ctx->device_channels(), 2);
    pid_t holder = 0;
    hal_->hogMode(ctx->dev_id(), &holder);
    EXPECT_EQ(holder, ::getpid());
    auto other = ctx->org_desc();
    other.sample_rate = 96000;
    ASSERT_EQ(hal_->setPhysicalFormat(ctx->stream_id(), other), 0);
    hal_->setBufferFrameSize(ctx->dev_id(), 2048);
  }
  double rate = 0;
  hal_->nominalSampleRate(1, &rate);
  EXPECT_EQ(rate, 44100);
  uint32_t frames = 0;
  hal_->bufferFrameSize(1, &frames);
  EXPECT_EQ(frames, 512u);
  pid_t holder = 0;
  hal_->hogMode(1, &holder);
  EXPECT_EQ(holder, -1);
  std::string events = log(1);
  EXPECT_NE(events.find("\"event\":\"hog\",\"sample_time\":0,\"offset\":0,\"holder\":-1"), std::string::npos);
  EXPECT_NE(events.rfind("\"event\":\"format\""), std::string::npos);
}

TEST_F(OutputContextTest, HogRefusedByAnotherHolder) {
  DeviceJson d;
  d.hogged = true;
  make({d});
  LogCapture log;
  EXPECT_EQ(AudioOutputContext::initWithList(*list_, 0), nullptr);
  EXPECT_TRUE(log.contains("the device cannot be taken for exclusive use (0x"));
  EXPECT_FALSE(log.contains("(restore)"));  // nothing was taken, nothing to give back
}

TEST_F(OutputContextTest, ExcludedRateIsLeftForFortyFour) {
  DeviceJson d;  // row 4 excludes 352800 for PCM
  d.vid = device_info[4].vid;
  d.pid = device_info[4].pid;
  d.formats = {FormatJson{352800}, FormatJson{44100}, FormatJson{48000}};
  d.initial_rate = 352800;
  make({d});
  {
    auto ctx = AudioOutputContext::initWithList(*list_, 0);
    ASSERT_TRUE(ctx);
    EXPECT_EQ(ctx->deviceInfo().notSupport_PCM, 0x80u);
  }
  double rate = 0;
  hal_->nominalSampleRate(1, &rate);
  EXPECT_EQ(rate, 44100);

  // Opened at the allowed 44100 Hz and closed after playing 352800: back to 44100.
  {
    auto ctx = AudioOutputContext::initWithList(*list_, 0);
    ASSERT_TRUE(ctx);
    auto played = ctx->org_desc();
    played.sample_rate = 352800;
    hal_->setPhysicalFormat(ctx->stream_id(), played);
  }
  hal_->nominalSampleRate(1, &rate);
  EXPECT_EQ(rate, 44100);
}

TEST_F(OutputContextTest, ExcludedRateFallsBackToFortyEightWhenFortyFourIsExcluded) {
  DeviceJson d;
  d.formats = {FormatJson{352800}, FormatJson{44100}, FormatJson{48000}};
  d.initial_rate = 352800;
  make({d});
  {
    auto ctx = AudioOutputContext::initWithList(*list_, 0);
    ASSERT_TRUE(ctx);
    auto info = ctx->deviceInfo();
    info.notSupport_PCM = 0x80 | 0x2;
    ctx->setDeviceInfo(info);
  }
  double rate = 0;
  hal_->nominalSampleRate(1, &rate);
  EXPECT_EQ(rate, 48000);
}

TEST_F(OutputContextTest, DsdMethodSwitchOnUsbSwitchedDevices) {
  DeviceJson usb;  // row 13: USB switch and DSD32
  usb.name = "Switched";
  usb.vid = device_info[13].vid;
  usb.pid = device_info[13].pid;
  FormatJson words;
  words.bits = 32;
  words.non_mixable = true;
  usb.formats.push_back(words);
  DeviceJson plain;  // generic row: no switch
  plain.name = "Plain";
  make({usb, plain});
  {
    auto ctx = AudioOutputContext::initWithList(*list_, 0);
    ASSERT_TRUE(ctx);
    ASSERT_NE(ctx->if_if(), nullptr);
    EXPECT_TRUE(ctx->setDsdMethod(true));
  }
  std::string events = log(1);
  auto on = events.find("\"request_type\":65,\"request\":0,\"value\":1,\"index\":1");
  auto off = events.find("\"request_type\":65,\"request\":0,\"value\":0,\"index\":1");
  ASSERT_NE(on, std::string::npos);
  ASSERT_NE(off, std::string::npos);  // put back to PCM on close
  EXPECT_LT(on, off);
  EXPECT_NE(events.find("\"muted\":false", off), std::string::npos);

  auto plain_ctx = AudioOutputContext::initWithList(*list_, 1);
  ASSERT_TRUE(plain_ctx);
  EXPECT_EQ(plain_ctx->if_if(), nullptr);
  auto info = plain_ctx->deviceInfo();
  info.outputCapabilities = kDevicePCM | kDeviceDoP | kDeviceDSD16;
  plain_ctx->setDeviceInfo(info);
  EXPECT_TRUE(plain_ctx->setDsdMethod(true));  // native DSD but no switch: nothing to send
  info.outputCapabilities = kDevicePCM | kDeviceDoP;
  plain_ctx->setDeviceInfo(info);
  EXPECT_FALSE(plain_ctx->setDsdMethod(true));  // no native DSD at all
  info.outputCapabilities |= kDeviceUSBSwitch | kDeviceDSD16;
  plain_ctx->setDeviceInfo(info);
  EXPECT_FALSE(plain_ctx->setDsdMethod(true));  // a switch but no interface
  EXPECT_EQ(log(2).find("vendor_request"), std::string::npos);
}

TEST_F(OutputContextTest, UnplugCallsTheTargetWithStopImmediatelySet) {
  make({DeviceJson{}});
  auto ctx = AudioOutputContext::initWithList(*list_, 0);
  ASSERT_TRUE(ctx);
  std::atomic<int> calls{0};
  std::atomic<bool> immediate_during_call{true};
  ctx->setDisconnectionEventTarget([&] {
    ++calls;
    if (!ctx->stop_immediately()) immediate_during_call = false;
  });
  hal_->unplug(1);
  hal_->drainNotifications();
  EXPECT_EQ(calls.load(), 1);
  hal_->replug(1);
  hal_->drainNotifications();
  EXPECT_EQ(calls.load(), 2);
  EXPECT_TRUE(immediate_during_call.load());
  EXPECT_FALSE(ctx->stop_immediately());
}

TEST_F(OutputContextTest, DeadOrMissingDevicesDoNotOpen) {
  DeviceJson d;
  make({d});
  hal_->unplug(1);
  hal_->drainNotifications();
  EXPECT_EQ(AudioOutputContext::initWithList(*list_, 0), nullptr);
  EXPECT_EQ(AudioOutputContext::initWithList(*list_, 5), nullptr);
}

}  // namespace
