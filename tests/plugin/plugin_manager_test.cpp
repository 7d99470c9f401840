#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "engine/plugin/plugin_manager.h"
#include "support/log_capture.h"
#include "support/temp_dir.h"

using sonara::PluginManager;

namespace {

class PluginManagerTest : public ::testing::Test {
 protected:
  // Makes "<name>.plugin" whose principal class is `recipe`.
  void bundle(const std::string& name, const std::string& recipe, const char* version = "2.5.1") {
    std::string dir = dir_.file(name + ".plugin");
    std::filesystem::create_directories(dir);
    std::filesystem::copy_file(TEST_PLUGIN_PATH, dir + "/" + name + ".so");
    std::ofstream plist(dir + "/Info.plist");
    plist << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
          << "<key>CFBundleExecutable</key><string>" << name << ".so</string>";
    if (version) plist << "<key>CFBundleShortVersionString</key><string>" << version << "</string>";
    if (!recipe.empty()) plist << "<key>NSPrincipalClass</key><string>" << recipe << "</string>";
    plist << "</dict></plist>\n";
  }

  // Loads the folder into a fresh registry and returns what was logged.
  std::vector<std::string> load() {
    LogCapture log;
    manager_.enumPluginByPath(dir_.path());
    return log.lines();
  }

  TempDir dir_;
  PluginManager manager_;
};

TEST_F(PluginManagerTest, EmptyFolderGivesNothing) {
  EXPECT_TRUE(load().empty());
  EXPECT_TRUE(manager_.getPluginNames().empty());
  EXPECT_TRUE(manager_.getDecoderExts().empty());
  EXPECT_EQ(manager_.findDecoderClassByPath("/music/a.tst"), nullptr);
}

struct CheckCase {
  const char* recipe;
  const char* message;
};

class PluginCheckTest : public PluginManagerTest, public ::testing::WithParamInterface<CheckCase> {};

TEST_P(PluginCheckTest, RejectsWithItsMessage) {
  bundle("Bad", GetParam().recipe);
  auto lines = load();
  ASSERT_EQ(lines.size(), 2u) << GetParam().recipe;
  EXPECT_EQ(lines[0], GetParam().message);
  EXPECT_EQ(lines[1], "Invalid Property. (Bad.plugin)");
  EXPECT_TRUE(manager_.codecPlugins().empty());
}

INSTANTIATE_TEST_SUITE_P(
    EveryCheck, PluginCheckTest,
    ::testing::Values(CheckCase{"name=-", "Plugin Name is Unspecified."},
                      CheckCase{"ifver=-", "Plugin I/F Version is Unspecified."},
                      CheckCase{"ifver=1.0", "Invalid Plugin I/F Version."},
                      CheckCase{"ifver=2.0.0", "Plugin I/F Version Unmatched."},
                      CheckCase{"ifver=1.1.0", "Plugin I/F Version Unmatched."},
                      CheckCase{"prio=-", "Plugin Priority is Unspecified."},
                      CheckCase{"ptype=-", "Plugin Type is Unspecified."},
                      CheckCase{"ptype=2", "Unsupported Plugin Type. (2)"},
                      CheckCase{"exts=-", "Plugin Extension is Unspecified."},
                      CheckCase{"exts=tst|#", "Plugin Extension is Invalid Value."},
                      CheckCase{"ctype=-", "Codec Type is Unspecified."},
                      CheckCase{"ctype=3", "Unsupported Codec Type."}));

TEST_F(PluginManagerTest, PatchVersionIsNotCompared) {
  bundle("Newer", "ifver=1.0.7");
  EXPECT_TRUE(load().empty());
  EXPECT_EQ(manager_.getPluginNames().size(), 1u);
}

TEST_F(PluginManagerTest, LoadingFailuresAreLoggedAndSkipped) {
  bundle("NoClass", "");
  bundle("Null", "null=1");
  bundle("NoDict", "props=none");
  std::filesystem::create_directories(dir_.file("Empty.plugin"));
  auto lines = load();
  auto has = [&](const std::string& l) { return std::find(lines.begin(), lines.end(), l) != lines.end(); };
  EXPECT_TRUE(has("principalClass not found. (NoClass.plugin)"));
  EXPECT_TRUE(has("Plugin Allocation Failed. (Null.plugin)"));
  EXPECT_TRUE(has("Invalid Property. (NoDict.plugin)"));
  EXPECT_TRUE(has("Plugin Not Found. (" + dir_.file("Empty.plugin") + ")"));
  EXPECT_TRUE(has("principalClass not found. (Empty.plugin)"));
  EXPECT_TRUE(manager_.codecPlugins().empty());
}

TEST_F(PluginManagerTest, SortsByPriorityAndRecordsVersion) {
  bundle("C", "name=C;prio=300;exts=c|shared");
  bundle("A", "name=A;prio=100;exts=a|shared", nullptr);
  bundle("B", "name=B;prio=200;exts=b|shared|a");
  load();
  EXPECT_EQ(manager_.getPluginNames(), (std::vector<std::string>{"A", "B", "C"}));
  EXPECT_EQ(manager_.getDecodePluginNames(), (std::vector<std::string>{"A", "B", "C"}));
  EXPECT_EQ(manager_.getDecoderExts(), (std::vector<std::string>{"a", "shared", "b", "c"}));
  auto records = manager_.getPluginProperties();
  ASSERT_EQ(records.size(), 3u);
  EXPECT_EQ(sonara::lookup(records[0].properties, "version").asString(), "");
  EXPECT_EQ(sonara::lookup(records[1].properties, "version").asString(), "2.5.1");
  EXPECT_NE(records[0].instance, nullptr);
}

TEST_F(PluginManagerTest, LaterHigherScoreWins) {
  bundle("First", "name=First;prio=1;exts=x;score=50;class=First");
  bundle("Second", "name=Second;prio=2;exts=x;score=60;class=Second");
  load();
  auto* cls = manager_.findDecoderClassByPath("/music/a.x");
  ASSERT_NE(cls, nullptr);
  EXPECT_STREQ(cls->className(), "Second");
}

TEST_F(PluginManagerTest, EqualScoresKeepTheEarlierPlugin) {
  bundle("First", "name=First;prio=1;exts=x;score=60;class=First");
  bundle("Second", "name=Second;prio=2;exts=x;score=60;class=Second");
  load();
  EXPECT_STREQ(manager_.findDecoderClassByPath("/music/a.x")->className(), "First");
}

TEST_F(PluginManagerTest, FullScoreEndsTheSearch) {
  std::string asked = dir_.file("second-was-asked");
  bundle("First", "name=First;prio=1;exts=x;score=100;class=First");
  bundle("Second", "name=Second;prio=2;exts=x;score=100;class=Second;touch=" + asked);
  load();
  EXPECT_STREQ(manager_.findDecoderClassByPath("/music/a.x")->className(), "First");
  EXPECT_FALSE(std::filesystem::exists(asked));
}

TEST_F(PluginManagerTest, LowScoresAndUnknownExtensionsFindNothing) {
  bundle("Low", "name=Low;exts=x;score=10");
  load();
  EXPECT_EQ(manager_.findDecoderClassByPath("/music/a.x"), nullptr);
  EXPECT_EQ(manager_.findDecoderClassByPath("/music/a.y"), nullptr);
  EXPECT_EQ(manager_.findDecoderClassByPath("/music/noextension"), nullptr);
  EXPECT_EQ(manager_.findDecoderClassByURL("file:///music/a.x"), nullptr);
}

TEST_F(PluginManagerTest, ExtensionsMatchWithoutRegardToCase) {
  bundle("Dsf", "name=Dsf;exts=dsf;class=Dsf");
  load();
  ASSERT_NE(manager_.findDecoderClassByPath("/music/TRACK.DSF"), nullptr);
  EXPECT_EQ(manager_.findDecoderClassByPath("/music.dsf/track"), nullptr);
}

TEST_F(PluginManagerTest, PluginLinesReachTheHostLogWhereRepeatsAreCounted) {
  bundle("Talker", "name=Talker;exts=x;say=talker lost sync;times=5");
  load();
  LogCapture log;
  ASSERT_NE(manager_.findDecoderClassByPath("/music/a.x"), nullptr);
  sonara::platform::flushLog();
  EXPECT_EQ(log.lines(), (std::vector<std::string>{"talker lost sync", "talker lost sync (4 more)"}));
}

TEST(PluginManagerShared, BuiltInPluginsLogThroughTheHost) {
  TempDir dir;
  std::string path = dir.file("damaged.dsf");
  std::ofstream(path, std::ios::binary) << std::string("DSD \x1c\0\0\0\0\0\0\0", 12);
  PluginManager::initializePluginList();
  const sonara::plugin::DecoderClass* cls = nullptr;
  for (const auto& record : PluginManager::sharedInstance().codecPlugins()) {
    if (sonara::lookup(record.properties, "name").asString() == "DSF Decoder") {
      cls = record.instance->findDecoderClassByPath(path);
    }
  }
  ASSERT_NE(cls, nullptr);
  LogCapture log;
  auto decoder = cls->create();
  ASSERT_NE(decoder, nullptr);
  EXPECT_NE(decoder->openByPath(path, nullptr), 0);
  EXPECT_TRUE(log.contains("error: parse failed.")) << ::testing::PrintToString(log.lines());
}

TEST(PluginManagerShared, BuiltInPluginsLoad) {
  PluginManager::initializePluginList();
  auto names = PluginManager::sharedInstance().getPluginNames();
  EXPECT_NE(std::find(names.begin(), names.end(), "DSF Decoder"), names.end());
  EXPECT_NE(std::find(names.begin(), names.end(), "DSDIFF Decoder"), names.end());
  EXPECT_EQ(&PluginManager::sharedInstance(), &PluginManager::sharedInstance());
}

}  // namespace
