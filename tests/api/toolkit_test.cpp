#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <stdexcept>

#include "engine/api/toolkit.h"
#include "engine/controller/tk_delegate.h"
#include "engine/play/ram_play_manager.h"
#include "engine/playlist/playlist_array_controller.h"
#include "platform/audio/virtual_hal.h"
#include "platform/services.h"
#include "support/dsf_writer.h"
#include "support/recording_delegate.h"
#include "support/recording_inhibitor.h"
#include "support/temp_dir.h"

namespace {

// Hermetic: the built-in capture device capturing into a temporary folder, settings
// of its own and no system inhibitors, whatever the machine has.
class ToolkitTest : public ::testing::Test {
 protected:
  void SetUp() override {
    auto capture = sonara::audio::builtInCaptureDevice();
    capture.capture = dir_.file("capture.raw");
    sonara::audio::installHal(
        std::make_shared<sonara::audio::VirtualHal>(std::vector<sonara::audio::VirtualDeviceSetup>{capture}));
    sonara::platform::installUserDefaults(
        std::make_shared<sonara::platform::UserDefaults>(dir_.file("defaults.plist")));
    sonara::platform::installIdleSleepAssertion(std::make_shared<RecordingInhibitor>());
  }
  void TearDown() override {
    Toolkit_Exit();
    sonara::setToolkitResourceFactory({});
    sonara::audio::installHal(nullptr);
    sonara::platform::installUserDefaults(nullptr);
    sonara::platform::installIdleSleepAssertion(nullptr);
  }
  TempDir dir_;
  RecordingDelegate client_;
};

// Every function that needs the engine, called with harmless arguments.
std::vector<std::pair<const char*, std::function<int32_t()>>> engineCalls() {
  static uint32_t u32;
  static TkPlaylistLayout layout;
  static std::shared_ptr<AudioFileInfo> info;
  static std::vector<TkDeviceInfo> devices;
  static TkConfig config;
  static std::string version;
  static std::vector<TkPluginInfoItem> plugins;
  return {
      {"OpenFile", [] { return Toolkit_OpenFile(); }},
      {"OpenCD", [] { return Toolkit_OpenCD(); }},
      {"AddFile", [] { return Toolkit_AddFile(); }},
      {"AddDroppedFiles", [] { return Toolkit_AddDroppedFiles({"/tmp/x.flac"}); }},
      {"RemoveFile", [] { return Toolkit_RemoveFile(); }},
      {"NewPlaylist", [] { return Toolkit_NewPlaylist(); }},
      {"LoadPlaylist", [] { return Toolkit_LoadPlaylist(); }},
      {"SavePlaylist", [] { return Toolkit_SavePlaylist(); }},
      {"saveLastPlaylist", [] { return Toolkit_saveLastPlaylist(); }},
      {"loadLastPlaylist", [] { return Toolkit_loadLastPlaylist(); }},
      {"GetPlaylistItemCount", [] { return Toolkit_GetPlaylistItemCount(&u32); }},
      {"PlayRequest", [] { return Toolkit_PlayRequest(); }},
      {"StopRequest", [] { return Toolkit_StopRequest(); }},
      {"PauseRequest", [] { return Toolkit_PauseRequest(); }},
      {"NextRequest", [] { return Toolkit_NextRequest(); }},
      {"PrevRequest", [] { return Toolkit_PrevRequest(); }},
      {"Shuffle", [] { return Toolkit_Shuffle(1); }},
      {"Repeat", [] { return Toolkit_Repeat(1); }},
      {"SetPos", [] { return Toolkit_SetPos(3); }},
      {"TotalTime", [] { return Toolkit_TotalTime(&u32); }},
      {"GetPlaylist", [] { return Toolkit_GetPlaylist(&layout); }},
      {"SetPlaylist", [] { return Toolkit_SetPlaylist(&layout); }},
      {"GetFileInfo", [] { return Toolkit_GetFileInfo(false, &info); }},
      {"GetDeviceList", [] { return Toolkit_GetDeviceList(&devices); }},
      {"GetNumberOfSupportDevices", [] { return Toolkit_GetNumberOfSupportDevices(&u32); }},
      {"GetConfiguration", [] { return Toolkit_GetConfiguration(&config); }},
      {"SetConfiguration", [] { return Toolkit_SetConfiguration(&config); }},
      {"GetToolkitVersion", [] { return Toolkit_GetToolkitVersion(&version); }},
      {"GetPluginVersion", [] { return Toolkit_GetPluginVersion(&plugins); }},
  };
}

void expectAllUninitialised() {
  for (const auto& [name, call] : engineCalls()) EXPECT_EQ(call(), -1) << name;
  EXPECT_FALSE(Toolkit_IsPlaylistDirty());
  EXPECT_EQ(getObject(), nullptr);
}

TEST_F(ToolkitTest, EveryCallFailsBeforeInitAndAfterExit) {
  Toolkit_Exit();  // does nothing while uninitialised
  expectAllUninitialised();
  ASSERT_EQ(Toolkit_Init(&client_), 0);
  EXPECT_NE(getObject(), nullptr);
  Toolkit_Exit();
  expectAllUninitialised();
}

TEST_F(ToolkitTest, InitAppliesStartUpDefaults) {
  ASSERT_EQ(Toolkit_Init(&client_), 0);
  TkDelegate* tk = getObject();
  EXPECT_EQ(tk->delegate(), &client_);
  EXPECT_EQ(tk->ram_mode_matrix_, 0);
  EXPECT_EQ(tk->ram_mode_limit_text_, 100);
  EXPECT_FALSE(tk->mp3_gapless_enable);
  EXPECT_DOUBLE_EQ(tk->gapless_db_, -45.0);
  EXPECT_FALSE(tk->currentOutputDeviceName().has_value());
}

TEST_F(ToolkitTest, FailingResourceLeavesTheEngineUninitialised) {
  sonara::setToolkitResourceFactory([]() -> std::unique_ptr<TkDelegate> { return nullptr; });
  EXPECT_EQ(Toolkit_Init(&client_), -3);
  EXPECT_EQ(getObject(), nullptr);
  sonara::setToolkitResourceFactory(
      []() -> std::unique_ptr<TkDelegate> { throw std::runtime_error("no resource"); });
  EXPECT_EQ(Toolkit_Init(&client_), -3);
  EXPECT_EQ(getObject(), nullptr);
  expectAllUninitialised();
}

TEST_F(ToolkitTest, ResourceMustYieldExactlyTheController) {
  struct Derived : TkDelegate {};
  sonara::setToolkitResourceFactory([] { return std::make_unique<Derived>(); });
  EXPECT_EQ(Toolkit_Init(&client_), -3);
  EXPECT_EQ(getObject(), nullptr);
}

TEST_F(ToolkitTest, RepeatChecksItsRange) {
  ASSERT_EQ(Toolkit_Init(&client_), 0);
  ASSERT_EQ(Toolkit_Repeat(2), 0);
  EXPECT_EQ(getObject()->repeatMode, 2);
  EXPECT_EQ(Toolkit_Repeat(3), -2);
  EXPECT_EQ(Toolkit_Repeat(-1), -2);
  EXPECT_EQ(getObject()->repeatMode, 2);
  EXPECT_EQ(Toolkit_Repeat(1), 0);
  EXPECT_EQ(getObject()->repeatMode, 1);
  EXPECT_EQ(Toolkit_Repeat(0), 0);
  EXPECT_EQ(getObject()->repeatMode, 0);
}

TEST_F(ToolkitTest, ShuffleUsesTheLowByte) {
  ASSERT_EQ(Toolkit_Init(&client_), 0);
  EXPECT_EQ(Toolkit_Shuffle(0x100), 0);
  EXPECT_FALSE(getObject()->shuffleOn);
  EXPECT_EQ(Toolkit_Shuffle(0x101), 0);
  EXPECT_TRUE(getObject()->shuffleOn);
}

TEST_F(ToolkitTest, TotalTimeRoundsHalfUp) {
  ASSERT_EQ(Toolkit_Init(&client_), 0);
  uint32_t total = 7;
  getObject()->setStatusBarTotalDuration(59.5);
  ASSERT_EQ(Toolkit_TotalTime(&total), 0);
  EXPECT_EQ(total, 60u);
  getObject()->setStatusBarTotalDuration(59.49);
  Toolkit_TotalTime(&total);
  EXPECT_EQ(total, 59u);
  getObject()->setStatusBarTotalDuration(0.0);
  Toolkit_TotalTime(&total);
  EXPECT_EQ(total, 0u);
}

TEST_F(ToolkitTest, FileInfoWithoutAnItemIsMissing) {
  ASSERT_EQ(Toolkit_Init(&client_), 0);
  std::shared_ptr<AudioFileInfo> info;
  EXPECT_EQ(Toolkit_GetFileInfo(false, &info), -2);
  EXPECT_EQ(Toolkit_GetFileInfo(true, &info), -2);
  EXPECT_EQ(info, nullptr);
}

TEST_F(ToolkitTest, EmptyDeviceListLeavesTheArgumentUntouched) {
  sonara::audio::installHal(std::make_shared<sonara::audio::VirtualHal>(
      std::vector<sonara::audio::VirtualDeviceSetup>{}));
  ASSERT_EQ(Toolkit_Init(&client_), 0);
  std::vector<TkDeviceInfo> devices{TkDeviceInfo("kept", false, false)};
  EXPECT_EQ(Toolkit_GetDeviceList(&devices), -4);
  ASSERT_EQ(devices.size(), 1u);
  EXPECT_EQ(devices[0].deviceName(), "kept");
  Toolkit_Exit();
  sonara::audio::installHal(nullptr);
}

TEST_F(ToolkitTest, SupportedDeviceRowsAndVersion) {
  ASSERT_EQ(Toolkit_Init(&client_), 0);
  uint32_t rows = 0;
  EXPECT_EQ(Toolkit_GetNumberOfSupportDevices(&rows), 0);
  EXPECT_EQ(rows, 25u);
  std::string version;
  EXPECT_EQ(Toolkit_GetToolkitVersion(&version), 0);
  EXPECT_FALSE(version.empty());
  EXPECT_EQ(std::count(version.begin(), version.end(), '.'), 2);
}

TEST_F(ToolkitTest, PlaylistLayoutRoundTripTruncatesFrames) {
  ASSERT_EQ(Toolkit_Init(&client_), 0);
  int container = 0;
  TkPlaylistLayout in{&container, 10, 20, 812, 300, {60, 300, 168, 70}};
  ASSERT_EQ(Toolkit_SetPlaylist(&in), 0);
  TkPlaylistLayout out;
  ASSERT_EQ(Toolkit_GetPlaylist(&out), 0);
  EXPECT_EQ(out.containerView, &container);
  EXPECT_EQ(out.width, 812);
  EXPECT_EQ(out.columnWidths[1], 300);
  EXPECT_EQ(getObject()->window(), &container);
}

TEST_F(ToolkitTest, ConfigurationMapping) {
  ASSERT_EQ(Toolkit_Init(&client_), 0);
  TkConfig config;
  config.setGaplessMode(true);
  config.setGaplessCutoff(-300);
  config.setRamMode(0);
  config.setRamModeMemoryLimit(100);
  config.setDecodeMode(1);
  config.setDeviceName("Pelmora Capture");
  ASSERT_EQ(Toolkit_SetConfiguration(&config), 0);
  TkDelegate* tk = getObject();
  EXPECT_DOUBLE_EQ(tk->gapless_db_, -300.0);  // kept as given, clamped when applied
  EXPECT_DOUBLE_EQ(sonara::lookup(tk->decoderOptions(), "mp3 threashold db").asDouble(), -192.0);

  config.setGaplessCutoff(6);
  Toolkit_SetConfiguration(&config);
  EXPECT_DOUBLE_EQ(sonara::lookup(tk->decoderOptions(), "mp3 threashold db").asDouble(), 0.0);

  config.setGaplessMode(false);
  config.setGaplessCutoff(-60);
  Toolkit_SetConfiguration(&config);
  EXPECT_DOUBLE_EQ(sonara::lookup(tk->decoderOptions(), "mp3 threashold db").asDouble(), 0.0);

  TkConfig read;
  read.setDeviceName("Previously Chosen DAC");
  ASSERT_EQ(Toolkit_GetConfiguration(&read), 0);
  EXPECT_EQ(read.deviceName(), "Pelmora Capture");  // the device in use
  EXPECT_EQ(read.decodeMode(), 1);
  EXPECT_EQ(read.ramMode(), 0);
  EXPECT_EQ(read.ramModeMemoryLimit(), 100);
  EXPECT_FALSE(read.gaplessMode());
  EXPECT_EQ(read.gaplessCutoff(), -60);
}

TEST_F(ToolkitTest, ConfigurationWithoutADeviceKeepsTheStoredName) {
  ASSERT_EQ(Toolkit_Init(&client_), 0);
  TkConfig read;
  read.setDeviceName("Previously Chosen DAC");
  ASSERT_EQ(Toolkit_GetConfiguration(&read), 0);
  EXPECT_EQ(read.deviceName(), "Previously Chosen DAC");
}

TEST_F(ToolkitTest, RamPlayModeBuildsTheMemoryEngineWithItsLimitInMiB) {
  ASSERT_EQ(Toolkit_Init(&client_), 0);
  std::vector<TkDeviceInfo> devices;
  ASSERT_EQ(Toolkit_GetDeviceList(&devices), 0);
  ASSERT_FALSE(devices.empty());
  TkConfig config;
  config.setDeviceName(*devices[0].deviceName());
  config.setRamMode(1);
  config.setRamModeMemoryLimit(250);
  ASSERT_EQ(Toolkit_SetConfiguration(&config), 0);
  EXPECT_EQ(getObject()->ram_mode_matrix_, 1);
  auto* ram = dynamic_cast<RAMPlayManager*>(getObject()->playManagerForTests());
  ASSERT_NE(ram, nullptr);
  EXPECT_EQ(ram->limit(), uint64_t{250} << 20);
  config.setRamMode(0);
  ASSERT_EQ(Toolkit_SetConfiguration(&config), 0);
  EXPECT_TRUE(getObject()->hasPlayManager());
  EXPECT_EQ(dynamic_cast<RAMPlayManager*>(getObject()->playManagerForTests()), nullptr);
}

TEST_F(ToolkitTest, UnknownRamModeFailsAfterStoringTheRecord) {
  ASSERT_EQ(Toolkit_Init(&client_), 0);
  TkConfig config;
  config.setRamMode(2);
  config.setDecodeMode(1);
  config.setGaplessMode(true);
  EXPECT_EQ(Toolkit_SetConfiguration(&config), -3);
  EXPECT_EQ(getObject()->ram_mode_matrix_, 2);
  EXPECT_EQ(getObject()->decode_mode_, 1);
  EXPECT_TRUE(getObject()->mp3_gapless_enable);
}

TEST_F(ToolkitTest, FractionalThresholdIsTruncatedWhenRead) {
  ASSERT_EQ(Toolkit_Init(&client_), 0);
  getObject()->gapless_db_ = -45.7;
  TkConfig read;
  Toolkit_GetConfiguration(&read);
  EXPECT_EQ(read.gaplessCutoff(), -45);
}

}  // namespace

namespace {

std::vector<std::pair<uint64_t, std::string>> rowsOfTheList() {
  std::vector<std::pair<uint64_t, std::string>> rows;
  for (const auto& r : getObject()->array_tbl_ctl().getAllInfos()) rows.emplace_back(r->track_id(), r->fullpath());
  return rows;
}

TEST_F(ToolkitTest, TheLastPlaylistComesBackWithItsIdsAfterARestart) {
  std::vector<std::string> files;
  for (const char* name : {"one.dsf", "two.dsf", "three.dsf"}) {
    DsfSetup setup;
    setup.audio = patternAudio(2, 352800 / 4);
    files.push_back(dir_.file(name));
    writeFile(files.back(), buildDsf(setup));
  }
  ASSERT_EQ(Toolkit_Init(&client_), 0);
  ASSERT_EQ(Toolkit_AddDroppedFiles({dir_.path()}), 0);
  auto& model = getObject()->array_tbl_ctl();
  ASSERT_EQ(model.getNumInfos(), 3u);
  ASSERT_TRUE(model.removeInfoAtIndex(1, true));  // IDs with a hole in them
  const auto saved = rowsOfTheList();
  const double duration = model.getAllInfos().back()->duration();
  ASSERT_GT(duration, 0);
  ASSERT_EQ(Toolkit_saveLastPlaylist(), 0);
  Toolkit_Exit();

  // Restored without opening the files: one of them is gone meanwhile.
  std::filesystem::remove(files[2]);
  ASSERT_EQ(Toolkit_Init(&client_), 0);
  ASSERT_EQ(Toolkit_loadLastPlaylist(), 0);
  EXPECT_EQ(rowsOfTheList(), saved);
  EXPECT_DOUBLE_EQ(getObject()->array_tbl_ctl().getAllInfos().back()->duration(), duration);
  EXPECT_FALSE(Toolkit_IsPlaylistDirty());

  // An empty list removes the entry; loading then leaves the list alone.
  ASSERT_EQ(Toolkit_NewPlaylist(), 0);
  ASSERT_EQ(Toolkit_saveLastPlaylist(), 0);
  ASSERT_EQ(Toolkit_AddDroppedFiles({files[0]}), 0);
  ASSERT_EQ(Toolkit_loadLastPlaylist(), 0);
  EXPECT_EQ(getObject()->array_tbl_ctl().getNumInfos(), 1u);
}

}  // namespace
