// The places the program uses when nothing names them. Plug-ins without
// $SONARA_PLUGIN_DIR: beside an installed library (<libdir>/pelmora/plugins), in a
// build tree (<libdir>/../plugins), else the system folder; the engine library is
// copied into a layout of each kind and the program run against that copy. Settings
// and the capture device's file: under the XDG folders.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <vector>

#include "support/cli_env.h"
#include "support/flac_fixtures.h"
#include "support/run_command.h"

namespace fs = std::filesystem;

namespace {

class CliPluginFolders : public ::testing::Test {
 protected:
  // <root>/lib holds a copy of the engine library; returns that folder.
  std::string libraryIn(const std::string& root) {
    const std::string lib = env_.dir.file(root + "/lib");
    fs::create_directories(lib);
    const fs::path built = PELMORA_ENGINE_LIBRARY;
    for (const auto& entry : fs::directory_iterator(built.parent_path())) {
      const std::string name = entry.path().filename().string();
      if (name.rfind("libsonara.so", 0) == 0) fs::copy(entry.path(), lib + "/" + name, fs::copy_options::copy_symlinks);
    }
    return lib;
  }
  void copyPlugin(const std::string& bundle, const std::string& to) {
    fs::create_directories(to);
    fs::copy(std::string(PELMORA_BUILD_PLUGIN_DIR) + "/" + bundle, to + "/" + bundle, fs::copy_options::recursive);
  }
  CommandResult plugins(const std::string& lib) {
    return runCommand("env -u SONARA_PLUGIN_DIR LD_LIBRARY_PATH=" + lib + " " + env_.cli() + "plugins 2>&1");
  }
  CliEnv env_;
};

TEST_F(CliPluginFolders, AnInstalledLibraryLoadsThePlugInsBesideIt) {
  const std::string lib = libraryIn("installed");
  copyPlugin("Mirrane.plugin", lib + "/pelmora/plugins");
  copyPlugin("Selvet.plugin", env_.dir.file("installed/plugins"));  // the build-tree place: not used
  auto r = plugins(lib);
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find("MirranePlugin"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("DSF Decoder"), std::string::npos) << r.out;
}

TEST_F(CliPluginFolders, ALibraryInABuildTreeLoadsThePlugInsOfThatTree) {
  const std::string lib = libraryIn("tree/engine");
  copyPlugin("Selvet.plugin", env_.dir.file("tree/engine/plugins"));
  auto r = plugins(lib);
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find("DSF Decoder"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("MirranePlugin"), std::string::npos) << r.out;
}

TEST_F(CliPluginFolders, WithNeitherTheSystemFolderIsNamed) {
  if (fs::exists("/usr/lib/pelmora/plugins")) GTEST_SKIP() << "plug-ins are installed on this machine";
  auto r = plugins(libraryIn("bare"));
  EXPECT_NE(r.out.find("no decoder plug-ins are loaded (looked in /usr/lib/pelmora/plugins"), std::string::npos)
      << r.out;
}

// Without sound hardware and without a device file the capture device plays; its
// bytes land under XDG_CACHE_HOME and the settings are read from XDG_CONFIG_HOME.
TEST(CliDefaultPlaces, TheSettingsAndTheCaptureAreInTheXdgFolders) {
  if (fs::exists("/dev/snd") && !fs::is_empty("/dev/snd")) GTEST_SKIP() << "this machine has sound hardware";
  TempDir dir;
  FlacSetup setup{44100, 16, 2, 0.3, {}};
  const std::string track = makeFlac(dir.path(), "t", setup);
  const auto reference = referenceDecode(track, dir.file("t.raw"), 16);
  // A damaged settings file in the default place is found, reported and set aside.
  fs::create_directories(dir.file("config/pelmora"));
  std::ofstream(dir.file("config/pelmora/defaults.plist")) << "not a property list";
  auto r = runCommand("env -u SONARA_VIRTUAL_DEVICES -u SONARA_ALSA_DEVICES -u SONARA_DEFAULTS XDG_CONFIG_HOME=" +
                      dir.file("config") + " XDG_CACHE_HOME=" + dir.file("cache") + " " + PELMORA_CLI_PATH + " play " +
                      track + " 2>&1");
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find(dir.file("config/pelmora/defaults.plist")), std::string::npos) << r.out;
  // Set aside whole; the settings written since (the last playlist) are a file anew.
  bool set_aside = false;
  for (const auto& e : fs::directory_iterator(dir.file("config/pelmora"))) {
    if (e.path().filename().string().rfind("defaults.plist.damaged-", 0) == 0) {
      set_aside = readBytes(e.path().string()) == "not a property list";
    }
  }
  EXPECT_TRUE(set_aside);
  EXPECT_NE(readBytes(dir.file("config/pelmora/defaults.plist")).find("<key>Last Playlist</key>"), std::string::npos);
  const std::string capture = dir.file("cache/pelmora/capture.raw");
  EXPECT_NE(r.out.find("The device's bytes were captured to " + capture), std::string::npos) << r.out;
  // The device is paced like hardware: the music is all there, in order, among the
  // silence around it.
  const std::string bytes = readBytes(capture);
  std::vector<int16_t> captured(bytes.size() / 2), expected;
  std::memcpy(captured.data(), bytes.data(), captured.size() * 2);
  for (float v : reference) expected.push_back(static_cast<int16_t>(std::lround(v * 32768.0f)));
  std::erase(captured, 0);
  std::erase(expected, 0);
  EXPECT_EQ(captured, expected);
}

}  // namespace
