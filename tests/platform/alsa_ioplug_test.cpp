// The ALSA backend on the tests' own ALSA device: an alsa-lib I/O plug-in with a format
// list, a rate list, a period step like the HD-audio driver's, a clock of its own and
// failures on demand. The backend alone, and the whole program through pelmora-cli.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <thread>

#include "engine/output/audio_device_list.h"
#include "engine/output/audio_output_context.h"
#include "platform/audio/alsa_hal.h"
#include "platform/audio/pcm_port.h"
#include "support/alsa_cli_run.h"
#include "support/alsa_test_pcm.h"
#include "support/dsf_writer.h"
#include "support/flac_fixtures.h"
#include "support/log_capture.h"
#include "support/run_command.h"
#include "support/temp_dir.h"
#include "support/wait_for.h"

using namespace sonara::audio;

namespace {

// alsa-lib reads its configuration once per process: the backend's own tests share
// one file with every device they use.
class AlsaTestPcm : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new TempDir;
    TestPcmSetup stepped;
    stepped.name = "stepped_dac";
    stepped.period_step = 128;
    stepped.events = dir_->file("stepped.events");
    TestPcmSetup picky;
    picky.name = "picky_dac";
    picky.formats = "S16_LE S32_LE";
    picky.rates = "44100 96000";
    picky.refuse = "S32_LE@96000";
    picky.events = dir_->file("picky.events");
    std::ofstream(dir_->file("asound.conf")) << testPcmConfig({stepped, picky}) << "pcm.plain_null { type null }\n"
                                             << "pcm.plain_file { type file slave.pcm \"plain_null\" file \""
                                             << dir_->file("file.raw") << "\" format \"raw\" }\n";
    ::setenv("ALSA_CONFIG_PATH", dir_->file("asound.conf").c_str(), 1);
    ::setenv("SONARA_ALSA_DEVICES", "stepped_dac,picky_dac", 1);
  }
  static void TearDownTestSuite() {
    delete dir_;
    dir_ = nullptr;
  }
  static AlsaDeviceSetup setup(const std::string& pcm) {
    return {pcm, "ALSA " + pcm, "alsa-pcm:" + pcm, -1, 0, -1, -1, "", ""};
  }
  static StreamDescription format16(double rate) {
    return {rate, kFormatLinearPCM, kFormatFlagIsSignedInteger | kFormatFlagIsPacked, 4, 1, 4, 2, 16, 0};
  }
  static TempDir* dir_;
};
TempDir* AlsaTestPcm::dir_ = nullptr;

// 882 frames of 16-bit stereo are 3528 bytes; in 128-byte steps the driver makes it
// 896 frames, and that is what the backend must report.
TEST_F(AlsaTestPcm, ThePeriodTheDriverChoseIsReported) {
  AlsaHal hal({setup("stepped_dac")});
  ASSERT_EQ(hal.setHogMode(1, ::getpid()), kNoError);
  std::vector<StreamId> streams;
  ASSERT_EQ(hal.streams(1, Scope::Output, &streams), kNoError);
  ASSERT_EQ(hal.setPhysicalFormat(streams.at(0), format16(44100)), kNoError);
  ASSERT_EQ(hal.setBufferFrameSize(1, 882), kNoError);
  uint32_t frames = 0, bytes = 0;
  ASSERT_EQ(hal.bufferFrameSize(1, &frames), kNoError);
  EXPECT_EQ(frames, 896u);
  ASSERT_EQ(hal.bufferSize(1, &bytes), kNoError);
  EXPECT_EQ(bytes, 896u * 2 * 4);
  hal.setHogMode(1, -1);
  auto configured = eventLines(dir_->file("stepped.events"), "hw_params");
  ASSERT_EQ(configured.size(), 1u);
  EXPECT_EQ(configured[0].substr(0, configured[0].find(" buffer")), "hw_params S16_LE 44100 2 period=896");
}

// Opening the device for the engine and closing it again changes nothing on it: the
// PCM is configured once a track's format is known, and never "restored".
TEST_F(AlsaTestPcm, TakingAndGivingBackConfiguresNothing) {
  std::remove(dir_->file("stepped.events").c_str());
  AlsaHal hal({setup("stepped_dac")});
  AudioDeviceList list(hal);
  list.initialize();
  auto ctx = AudioOutputContext::initWithList(list, 0);
  ASSERT_TRUE(ctx);
  ctx.reset();
  EXPECT_FALSE(readBytes(dir_->file("stepped.events")).empty());
  EXPECT_TRUE(eventLines(dir_->file("stepped.events"), "hw_params").empty())
      << readBytes(dir_->file("stepped.events"));
}

// A pair the device does not take is refused when it is set, and a pair the driver
// refuses when configured is said so instead of playing wrongly.
TEST_F(AlsaTestPcm, FormatRatePairsAreCheckedAndRefusalsSaid) {
  LogCapture log;
  AlsaHal hal({setup("picky_dac")});
  ASSERT_EQ(hal.setHogMode(1, ::getpid()), kNoError);
  std::vector<StreamId> streams;
  ASSERT_EQ(hal.streams(1, Scope::Output, &streams), kNoError);
  std::vector<RangedDescription> formats;
  ASSERT_EQ(hal.availablePhysicalFormats(streams.at(0), &formats), kNoError);
  EXPECT_EQ(formats.size(), 4u);  // two formats, each at two rates
  EXPECT_EQ(hal.setPhysicalFormat(streams.at(0), format16(48000)), kErrorUnsupportedFormat);
  StreamDescription s32 = format16(96000);
  s32.bits_per_channel = 32;
  s32.bytes_per_frame = s32.bytes_per_packet = 8;
  ASSERT_EQ(hal.setPhysicalFormat(streams.at(0), s32), kNoError);
  uint32_t frames = 0;
  EXPECT_EQ(hal.bufferFrameSize(1, &frames), kErrorUnsupportedFormat);
  EXPECT_TRUE(log.contains("ALSA picky_dac refuses S32_LE at 96000 Hz: Invalid argument; it is no longer offered."));
  ASSERT_EQ(hal.availablePhysicalFormats(streams.at(0), &formats), kNoError);
  EXPECT_EQ(formats.size(), 3u);
  ASSERT_EQ(hal.setPhysicalFormat(streams.at(0), format16(96000)), kNoError);
  EXPECT_EQ(hal.bufferFrameSize(1, &frames), kNoError);
  hal.setHogMode(1, -1);
}

// Pacing by the writer is only for PCMs that take samples as fast as they come.
TEST_F(AlsaTestPcm, OnlyPcmsWithoutAClockOfTheirOwnArePaced) {
  auto device = makeAlsaPcmPort("stepped_dac");
  auto null = makeAlsaPcmPort("plain_null");
  auto file = makeAlsaPcmPort("plain_file");
  ASSERT_EQ(device->open(), 0);
  ASSERT_EQ(null->open(), 0);
  ASSERT_EQ(file->open(), 0);
  EXPECT_TRUE(device->hasOwnClock());
  EXPECT_FALSE(null->hasOwnClock());
  EXPECT_FALSE(file->hasOwnClock());
}

// --- the whole program ---------------------------------------------------------------

std::vector<uint32_t> referenceFrames(const TempDir& dir, const std::string& flac) {
  return audibleFrames16(referenceDecode(flac, dir.file("ref.raw"), 16));
}

TEST(AlsaTestPcmCli, AWholeTrackPlaysOnDriverRoundedPeriodsWithOneConfiguration) {
  CliRun run;
  std::string flac = makeFlac(run.dir.path(), "t", FlacSetup{44100, 16, 2, 1.0, {}});
  ASSERT_FALSE(flac.empty());
  run.play(flac);
  ASSERT_EQ(run.status, 0) << run.output;
  EXPECT_NE(run.output.find("FLAC 44.1 kHz 16-bit -> PCM 44.1 kHz 16-bit"), std::string::npos) << run.output;
  EXPECT_EQ(audibleFrames16(readBytes(run.pcm_setup.capture)), referenceFrames(run.dir, flac));

  auto configured = eventLines(run.pcm_setup.events, "hw_params");
  ASSERT_EQ(configured.size(), 1u) << run.events();
  unsigned long period = 0, buffer = 0;
  ASSERT_EQ(std::sscanf(configured[0].c_str(), "hw_params S16_LE 44100 2 period=%lu buffer=%lu", &period, &buffer), 2)
      << configured[0];
  EXPECT_EQ(period, 896u);
  // A few periods deep, a quarter second at least; started on a full buffer, woken
  // for whole periods.
  EXPECT_GE(buffer, 4 * period);
  EXPECT_GE(buffer, 44100u / 5);
  auto software = eventLines(run.pcm_setup.events, "sw_params");
  ASSERT_FALSE(software.empty());
  EXPECT_EQ(software.back(), "sw_params start_threshold=" + std::to_string(buffer / period * period) +
                                 " avail_min=" + std::to_string(period));
  EXPECT_TRUE(eventLines(run.pcm_setup.events, "xrun").empty()) << run.events();
  // The buffer's last frames, the track's end, are played before the device stops.
  unsigned long played = 0, written = 0;
  for (const auto& stop : eventLines(run.pcm_setup.events, "stop")) {
    unsigned long p = 0, w = 0;
    if (std::sscanf(stop.c_str(), "stop played=%lu written=%lu", &p, &w) == 2 && w > 0) {
      played = p;
      written = w;
    }
  }
  EXPECT_GT(written, 44100u);
  EXPECT_EQ(played, written) << run.events();
}

TEST(AlsaTestPcmCli, ASystemSuspendIsResumedAndNothingIsLost) {
  CliRun run;
  std::string flac = makeFlac(run.dir.path(), "t", FlacSetup{44100, 16, 2, 1.5, {}});
  ASSERT_FALSE(flac.empty());
  run.playFailingAt(flac, 44100 * 4 / 2, "ESTRPIPE 1");
  ASSERT_EQ(run.status, 0) << run.output;
  EXPECT_EQ(run.output.find("went away"), std::string::npos) << run.output;
  EXPECT_FALSE(eventLines(run.pcm_setup.events, "resume").empty()) << run.events();
  EXPECT_EQ(audibleFrames16(readBytes(run.pcm_setup.capture)), referenceFrames(run.dir, flac));
  EXPECT_EQ(eventLines(run.pcm_setup.events, "hw_params").size(), 1u) << run.events();
}

TEST(AlsaTestPcmCli, AnUnderrunIsRecoveredWithoutLosingAPeriod) {
  CliRun run;
  std::string flac = makeFlac(run.dir.path(), "t", FlacSetup{44100, 16, 2, 1.5, {}});
  ASSERT_FALSE(flac.empty());
  run.playFailingAt(flac, 44100 * 4 / 2, "EPIPE 1");
  ASSERT_EQ(run.status, 0) << run.output;
  EXPECT_NE(run.events().find("fail Broken pipe"), std::string::npos) << run.events();
  EXPECT_NE(run.output.find("ran out of samples (underrun 1); recovered"), std::string::npos) << run.output;
  EXPECT_EQ(audibleFrames16(readBytes(run.pcm_setup.capture)), referenceFrames(run.dir, flac));
}

TEST(AlsaTestPcmCli, ADacThatStopsConsumingIsALostDeviceWithAClearMessage) {
  CliRun run;
  std::string flac = makeFlac(run.dir.path(), "t", FlacSetup{44100, 16, 2, 3.0, {}});
  ASSERT_FALSE(flac.empty());
  run.playFailingAt(flac, 44100 * 4 / 2, "EIO");
  EXPECT_NE(run.output.find("stopped taking audio (Input/output error); it is treated as gone"), std::string::npos)
      << run.output;
  EXPECT_NE(run.output.find("the output device went away"), std::string::npos) << run.output;
  // Not the whole track: playing ended when the device was given up.
  EXPECT_LT(fileSize(run.pcm_setup.capture), size_t{44100} * 4 * 2);
}

TEST(AlsaTestPcmCli, ABusyDeviceIsRefusedWithTheReason) {
  CliRun run;
  std::string flac = makeFlac(run.dir.path(), "t", FlacSetup{44100, 16, 2, 0.2, {}});
  ASSERT_FALSE(flac.empty());
  injectFailure(run.pcm_setup.inject, "EBUSY");
  run.play(flac);
  EXPECT_NE(run.status, 0);
  EXPECT_NE(run.output.find("ALSA testdac cannot be taken: Device or resource busy"), std::string::npos)
      << run.output;
}

// 32 bits at 96 kHz is offered but refused when configured: the track plays in the
// next format the device offers, bit for bit.
TEST(AlsaTestPcmCli, AFormatRefusedWhenConfiguredFallsToTheNextOne) {
  CliRun run;
  run.pcm_setup.formats = "S24_3LE S32_LE";
  run.pcm_setup.rates = "96000";
  run.pcm_setup.refuse = "S32_LE@96000";
  std::string flac = makeFlac(run.dir.path(), "t", FlacSetup{96000, 24, 2, 0.5, {}});
  ASSERT_FALSE(flac.empty());
  run.play(flac);
  ASSERT_EQ(run.status, 0) << run.output;
  EXPECT_NE(run.output.find("refuses S32_LE at 96000 Hz"), std::string::npos) << run.output;
  EXPECT_NE(run.output.find("-> PCM 96 kHz 24-bit"), std::string::npos) << run.output;
  auto reference = referenceDecode(flac, run.dir.file("ref.raw"), 24);
  std::vector<int32_t> expected, heard;
  for (float f : reference) expected.push_back(static_cast<int32_t>(static_cast<double>(f) * 8388608.0));
  const std::string bytes = readBytes(run.pcm_setup.capture);
  for (size_t i = 0; i + 3 <= bytes.size(); i += 3) {
    auto u = static_cast<uint32_t>(static_cast<uint8_t>(bytes[i])) | static_cast<uint32_t>(static_cast<uint8_t>(bytes[i + 1])) << 8 |
             static_cast<uint32_t>(static_cast<uint8_t>(bytes[i + 2])) << 16;
    heard.push_back(static_cast<int32_t>(u << 8) >> 8);
  }
  // The samples of the file, in order. The device keeps time like hardware, so a
  // loaded machine may let it play silence in between (an underrun): zeros are left
  // out on both sides.
  std::erase(heard, 0);
  std::erase(expected, 0);
  EXPECT_EQ(heard, expected);
}

// DoP is a marker byte over 16 DSD bits: a 16-bit device cannot carry it.
TEST(AlsaTestPcmCli, DopNeverGoesIntoASixteenBitFormat) {
  CliRun run;
  run.pcm_setup.rates = "44100 176400";
  DsfSetup dsf;
  dsf.audio = patternAudio(2, 4096);
  writeFile(run.dir.file("t.dsf"), buildDsf(dsf));
  run.play("--dsd dop " + run.dir.file("t.dsf"));
  EXPECT_NE(run.status, 0) << run.output;
  EXPECT_EQ(run.output.find("-> DoP 176.4 kHz 16-bit"), std::string::npos) << run.output;
  EXPECT_TRUE(audibleFrames16(readBytes(run.pcm_setup.capture)).empty());
}

}  // namespace
