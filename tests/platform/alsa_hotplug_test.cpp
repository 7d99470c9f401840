// Cards plugged in while the program runs: the ALSA backend looks for them when the
// card folder changes, or about once a second where it has no folder to watch (here
// through a card list and a folder the test controls, naming the tests' ALSA
// devices), lists them after the ones it had, tells its device-list listeners, and
// plays on them.
#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <fstream>
#include <mutex>
#include <thread>

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

// The cards "there" now, as the test plugs them in, and their nodes (when watched).
struct Cards {
  std::mutex mutex;
  std::vector<AlsaDeviceSetup> present;
  std::atomic<int> looks{0};
  std::string folder;  // empty: not watched

  AlsaHal::Rescan rescan() {
    return [this] {
      std::lock_guard lock(mutex);
      ++looks;
      return present;
    };
  }
  void plug(const AlsaDeviceSetup& setup) {
    {
      std::lock_guard lock(mutex);
      present.push_back(setup);
    }
    addNode("pcm-" + setup.pcm_name);
  }
  // As the kernel does for a card's devices, or for a timer that is no card.
  void addNode(const std::string& name) const {
    if (!folder.empty()) std::ofstream(folder + "/" + name) << "";
  }
};

std::atomic<int> g_list_changes{0};
void listChanged(DeviceId id, void*) {
  if (id == 0) ++g_list_changes;
}

// Whether the card folder is watched.
class AlsaHotPlug : public ::testing::TestWithParam<bool> {
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

TEST_P(AlsaHotPlug, ACardPluggedInAfterTheStartIsListedToldAndUsable) {
  LogCapture log;
  TempDir nodes;
  Cards cards;
  if (GetParam()) cards.folder = nodes.path();
  cards.plug(setupOf("first_dac"));
  AlsaHal hal({setupOf("first_dac")}, makeAlsaPcmPort, cards.rescan(), cards.folder);
  g_list_changes = 0;
  ASSERT_EQ(hal.addDeviceListListener(&listChanged, nullptr), kNoError);
  // Looked at again, the same card is not listed twice, and nothing is told.
  cards.addNode("timer");
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

// A watched folder lets the watcher sleep: after a change it looks twice (at once and
// a second later), then not again until the folder changes.
TEST_P(AlsaHotPlug, AWatchedFolderIsTheOnlyReasonToLookAgain) {
  if (!GetParam()) GTEST_SKIP() << "the unwatched backend looks every second by design";
  TempDir nodes;
  Cards cards;
  cards.folder = nodes.path();
  AlsaHal hal({}, makeAlsaPcmPort, cards.rescan(), cards.folder);
  cards.addNode("controlC0");
  ASSERT_TRUE(waitFor([&] { return cards.looks.load() >= 2; }));
  const int settled = cards.looks.load();
  std::this_thread::sleep_for(std::chrono::milliseconds(2500));
  EXPECT_EQ(cards.looks.load(), settled);
  cards.addNode("controlC1");
  EXPECT_TRUE(waitFor([&] { return cards.looks.load() > settled; }));
}

INSTANTIATE_TEST_SUITE_P(CardFolder, AlsaHotPlug, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Watched" : "Unwatched"; });

}  // namespace
