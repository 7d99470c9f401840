// Cards plugged in while the program runs: the ALSA backend looks for them about once
// a second (here through a card list the test controls, naming the tests' ALSA
// device), lists them after the ones it had, tells its device-list listeners, and
// plays on them.
#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <fstream>
#include <mutex>

#include "engine/output/audio_device_list.h"
#include "engine/output/audio_output_context.h"
#include "platform/audio/alsa_hal.h"
#include "support/alsa_test_pcm.h"
#include "support/log_capture.h"
#include "support/temp_dir.h"
#include "support/wait_for.h"

using namespace sonara::audio;

namespace {

AlsaDeviceSetup setupOf(const std::string& pcm) {
  return {pcm, "ALSA " + pcm, "alsa-pcm:" + pcm, -1, 0, -1, -1, "", ""};
}

// The cards "there" now, as the test plugs them in.
struct Cards {
  std::mutex mutex;
  std::vector<AlsaDeviceSetup> present;
  std::atomic<int> looks{0};

  AlsaHal::Rescan rescan() {
    return [this] {
      std::lock_guard lock(mutex);
      ++looks;
      return present;
    };
  }
  void plug(const AlsaDeviceSetup& setup) {
    std::lock_guard lock(mutex);
    present.push_back(setup);
  }
};

std::atomic<int> g_list_changes{0};
void listChanged(DeviceId id, void*) {
  if (id == 0) ++g_list_changes;
}

class AlsaHotPlug : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new TempDir;
    TestPcmSetup first;
    first.name = "first_dac";
    TestPcmSetup late;
    late.name = "late_dac";
    late.formats = "S16_LE S24_3LE";
    late.rates = "44100 96000";
    late.events = dir_->file("late.events");
    std::ofstream(dir_->file("asound.conf")) << testPcmConfig({first, late});
    ::setenv("ALSA_CONFIG_PATH", dir_->file("asound.conf").c_str(), 1);
  }
  static void TearDownTestSuite() {
    delete dir_;
    dir_ = nullptr;
  }
  static TempDir* dir_;
};
TempDir* AlsaHotPlug::dir_ = nullptr;

TEST_F(AlsaHotPlug, ACardPluggedInAfterTheStartIsListedToldAndUsable) {
  LogCapture log;
  Cards cards;
  cards.plug(setupOf("first_dac"));
  AlsaHal hal({setupOf("first_dac")}, makeAlsaPcmPort, cards.rescan());
  g_list_changes = 0;
  ASSERT_EQ(hal.addDeviceListListener(&listChanged, nullptr), kNoError);
  // Looked at again, the same card is not listed twice, and nothing is told.
  ASSERT_TRUE(waitFor([&] { return cards.looks.load() >= 2; }));
  uint32_t count = 0;
  ASSERT_EQ(hal.deviceCount(&count), kNoError);
  EXPECT_EQ(count, 1u);
  EXPECT_EQ(g_list_changes.load(), 0);

  cards.plug(setupOf("late_dac"));
  ASSERT_TRUE(waitFor([&] { return g_list_changes.load() == 1; }));
  std::vector<DeviceId> ids;
  ASSERT_EQ(hal.devices(&ids), kNoError);
  ASSERT_EQ(ids, (std::vector<DeviceId>{1, 2}));
  std::string name;
  ASSERT_EQ(hal.name(2, &name), kNoError);
  EXPECT_EQ(name, "ALSA late_dac");
  EXPECT_TRUE(log.contains("ALSA: ALSA late_dac was plugged in."));

  // The engine's list sees it, with what it offers, and takes it.
  AudioDeviceList list(hal);
  list.initialize();
  EXPECT_EQ(list.getNameList(false), (std::vector<std::string>{"ALSA first_dac", "ALSA late_dac"}));
  std::vector<StreamId> streams;
  ASSERT_EQ(hal.streams(2, Scope::Output, &streams), kNoError);
  std::vector<RangedDescription> formats;
  ASSERT_EQ(hal.availablePhysicalFormats(streams.at(0), &formats), kNoError);
  std::vector<std::pair<uint32_t, double>> offered;
  for (const auto& f : formats) offered.emplace_back(f.format.bits_per_channel, f.format.sample_rate);
  EXPECT_EQ(offered, (std::vector<std::pair<uint32_t, double>>{{16, 44100}, {16, 96000}, {24, 44100}, {24, 96000}}));
  auto ctx = AudioOutputContext::initWithList(list, 1);
  ASSERT_TRUE(ctx);
  EXPECT_EQ(ctx->dev_id(), 2u);
  ctx.reset();
  EXPECT_FALSE(eventLines(dir_->file("late.events"), "open").empty());
  EXPECT_EQ(hal.removeDeviceListListener(&listChanged, nullptr), kNoError);
}

}  // namespace
