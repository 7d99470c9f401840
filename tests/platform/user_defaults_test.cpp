#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "platform/atomic_file.h"
#include "platform/user_defaults.h"
#include "support/log_capture.h"
#include "support/read_bytes.h"
#include "support/temp_dir.h"

using sonara::Array;
using sonara::Dict;
using sonara::Value;
using sonara::platform::UserDefaults;

TEST(UserDefaults, EveryValueTypeSurvivesARoundTrip) {
  TempDir dir;
  const auto path = dir.file("sub/folder/defaults.plist");
  {
    UserDefaults d(path);
    d.set("string", Value("Pelmora – ハイレゾ"));
    d.set("int", Value(int64_t{-9007199254740993}));
    d.set("max playlist id", Value(int64_t{1} << 40));
    d.set("real", Value(-45.7));
    d.set("bool", Value(true));
    d.set("array", Value(Array{Value(1), Value("two"), Value(3.5)}));
    Dict nested;
    nested["inner"] = Value(Array{Value(false)});
    d.set("dict", Value(nested));
    ASSERT_TRUE(d.synchronize());
  }
  UserDefaults d(path);
  EXPECT_EQ(d.string("string"), "Pelmora – ハイレゾ");
  EXPECT_EQ(d.integer("int"), -9007199254740993);
  EXPECT_EQ(d.integer("max playlist id"), int64_t{1} << 40);
  EXPECT_DOUBLE_EQ(d.real("real"), -45.7);
  EXPECT_TRUE(d.boolean("bool"));
  EXPECT_EQ(d.object("array"), Value(Array{Value(1), Value("two"), Value(3.5)}));
  EXPECT_FALSE(d.object("dict")["inner"].asArray()[0].asBool());
  EXPECT_TRUE(d.object("dict")["inner"].asArray()[0].isBool());
  EXPECT_EQ(d.integer("missing"), 0);
  EXPECT_FALSE(d.string("missing").has_value());
}

// Column widths are kept as raw bytes: every byte value, a NUL among them, comes back,
// a data entry replaced by a number is no longer data, and the file holds a <data>.
TEST(UserDefaults, BytesSurviveARoundTripAsData) {
  TempDir dir;
  const auto path = dir.file("defaults.plist");
  std::string bytes;
  for (int i = 0; i < 256; ++i) bytes.push_back(static_cast<char>(i));
  {
    UserDefaults d(path);
    d.setData("Playlist Column Width", bytes);
    d.setData("empty", "");
    d.set("number", Value(3));
    ASSERT_TRUE(d.synchronize());
  }
  EXPECT_NE(readBytes(path).find("<data>"), std::string::npos);
  UserDefaults d(path);
  EXPECT_EQ(d.data("Playlist Column Width"), bytes);
  EXPECT_EQ(d.data("empty"), "");
  EXPECT_EQ(d.data("number"), std::nullopt);
  EXPECT_EQ(d.data("absent"), std::nullopt);
  d.set("Playlist Column Width", Value(7));
  EXPECT_EQ(d.data("Playlist Column Width"), std::nullopt);
  EXPECT_EQ(d.integer("Playlist Column Width"), 7);
}

TEST(UserDefaults, RemovedKeysStayRemoved) {
  TempDir dir;
  const auto path = dir.file("defaults.plist");
  {
    UserDefaults d(path);
    d.set("a", Value(1));
    d.set("b", Value(2));
    d.synchronize();
    d.remove("a");
    d.synchronize();
  }
  UserDefaults d(path);
  EXPECT_TRUE(d.object("a").isNull());
  EXPECT_EQ(d.integer("b"), 2);
}

TEST(AtomicFile, InterruptedWriteLeavesThePreviousFileIntact) {
  TempDir dir;
  const auto path = dir.file("defaults.plist");
  ASSERT_FALSE(sonara::platform::writeFileAtomically(path, "first version"));
  auto error = sonara::platform::writeFileAtomically(
      path, "second version", [] { throw std::runtime_error("power cut"); });
  ASSERT_TRUE(error.has_value());
  EXPECT_NE(error->find("power cut"), std::string::npos);
  EXPECT_EQ(readBytes(path), "first version");
  // No temporary is left behind.
  int files = 0;
  for ([[maybe_unused]] auto& e : std::filesystem::directory_iterator(dir.path())) ++files;
  EXPECT_EQ(files, 1);
}

TEST(AtomicFile, UnwritableFolderIsReported) {
  auto error = sonara::platform::writeFileAtomically("/proc/pelmora/x.plist", "data");
  EXPECT_TRUE(error.has_value());
}

TEST(UserDefaults, DamagedFileIsSetAsideAndReported) {
  TempDir dir;
  const auto path = dir.file("defaults.plist");
  { std::ofstream(path) << "<plist><dict><key>oops"; }
  LogCapture log;
  UserDefaults d(path);
  EXPECT_TRUE(d.object("oops").isNull());
  EXPECT_TRUE(log.contains("damaged"));
  ASSERT_EQ(log.lines().size(), 1u);
  bool found_aside = false;
  for (auto& e : std::filesystem::directory_iterator(dir.path())) {
    if (e.path().filename().string().find("defaults.plist.damaged-") == 0) {
      found_aside = readBytes(e.path().string()) == "<plist><dict><key>oops";
    }
  }
  EXPECT_TRUE(found_aside);
  // Saving afterwards writes a fresh file and leaves the damaged one aside.
  d.set("k", Value(1));
  EXPECT_TRUE(d.synchronize());
  EXPECT_EQ(UserDefaults(path).integer("k"), 1);
}

TEST(UserDefaults, TopLevelArrayCountsAsDamaged) {
  TempDir dir;
  const auto path = dir.file("defaults.plist");
  {
    UserDefaults writer(dir.file("other.plist"));
    writer.set("x", Value(1));
    writer.synchronize();
  }
  std::ofstream(path) << "<?xml version=\"1.0\"?><plist version=\"1.0\"><array/></plist>";
  LogCapture log;
  UserDefaults d(path);
  EXPECT_TRUE(log.contains("damaged"));
}

// What another program (or the desktop program's own settings) left in the file.
constexpr const char* kForeignSettings =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" \"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
    "<plist version=\"1.0\"><dict>"
    "<key>last opened</key><date>2021-03-04T05:06:07Z</date>"
    "<key>window state</key><data>AAECAwQF</data>"
    "<key>largest</key><integer>18446744073709551615</integer>"
    "<key>negative</key><integer>-7</integer>"
    "<key>history</key><array><dict><key>when</key><date>2020-01-02T03:04:05Z</date>"
    "<key>name</key><string>a</string></dict></array>"
    "<key>volume</key><real>2</real>"
    "<key>gapless</key><true/>"
    "</dict></plist>\n";

TEST(UserDefaults, TheFirstWriteKeepsEveryOtherKeyWithItsType) {
  TempDir dir;
  const auto path = dir.file("defaults.plist");
  { std::ofstream(path) << kForeignSettings; }
  {
    UserDefaults d(path);
    EXPECT_EQ(d.integer("negative"), -7);
    d.set("max playlist id", Value(3));
    ASSERT_TRUE(d.synchronize());
  }
  const std::string text = readBytes(path);
  EXPECT_NE(text.find("<date>2021-03-04T05:06:07Z</date>"), std::string::npos) << text;
  EXPECT_NE(text.find("<date>2020-01-02T03:04:05Z</date>"), std::string::npos) << text;
  EXPECT_NE(text.find("AAECAwQF"), std::string::npos) << text;
  EXPECT_NE(text.find("<integer>18446744073709551615</integer>"), std::string::npos) << text;
  EXPECT_NE(text.find("<integer>-7</integer>"), std::string::npos) << text;
  EXPECT_EQ(text.find("<string></string>"), std::string::npos) << text;
  UserDefaults again(path);
  EXPECT_TRUE(again.object("volume").isReal());
  EXPECT_DOUBLE_EQ(again.real("volume"), 2.0);
  EXPECT_TRUE(again.object("gapless").isBool());
  EXPECT_EQ(again.integer("max playlist id"), 3);
  EXPECT_EQ(again.object("history").asArray()[0]["name"].asString(), "a");
  // A key the program sets itself is written as it set it.
  again.set("largest", Value(5));
  ASSERT_TRUE(again.synchronize());
  EXPECT_EQ(UserDefaults(path).integer("largest"), 5);
  EXPECT_NE(readBytes(path).find("<date>2021-03-04T05:06:07Z</date>"), std::string::npos);
}

TEST(UserDefaults, ASettingsFileThatIsALinkStaysALink) {
  TempDir dir;
  std::filesystem::create_directories(dir.file("dotfiles"));
  const auto target = dir.file("dotfiles/pelmora.plist");
  { std::ofstream(target) << kForeignSettings; }
  const auto link = dir.file("defaults.plist");
  std::filesystem::create_symlink("dotfiles/pelmora.plist", link);
  {
    UserDefaults d(link);
    d.set("max playlist id", Value(9));
    ASSERT_TRUE(d.synchronize());
  }
  ASSERT_TRUE(std::filesystem::is_symlink(link));
  EXPECT_EQ(std::filesystem::read_symlink(link), "dotfiles/pelmora.plist");
  EXPECT_EQ(UserDefaults(target).integer("max playlist id"), 9);
  // No temporary is left beside the link or the target.
  int files = 0;
  for ([[maybe_unused]] auto& e : std::filesystem::directory_iterator(dir.file("dotfiles"))) ++files;
  EXPECT_EQ(files, 1);
}

// A settings file of megabytes of nested tags is damaged, not a crash.
TEST(UserDefaults, DeeplyNestedFileIsSetAsideNotACrash) {
  TempDir dir;
  const auto path = dir.file("defaults.plist");
  {
    std::ofstream out(path);
    out << "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>k</key>";
    for (int i = 0; i < 200000; ++i) out << "<array>";
  }
  LogCapture log;
  UserDefaults d(path);
  EXPECT_TRUE(d.object("k").isNull());
  EXPECT_TRUE(log.contains("is damaged (its arrays and dictionaries are nested more than 64 deep); moved aside"));
}

// The last playlist holds titles taken from file names, which need not be UTF-8:
// the file stays readable.
TEST(UserDefaults, TextThatIsNotUtf8KeepsTheFileReadable) {
  TempDir dir;
  const auto path = dir.file("defaults.plist");
  {
    UserDefaults d(path);
    d.set("Last Playlist", Value(Dict{{"Name", Value("Caf\xE9.flac")}}));
    ASSERT_TRUE(d.synchronize());
  }
  LogCapture log;
  UserDefaults d(path);
  EXPECT_FALSE(log.contains("damaged"));
  EXPECT_EQ(d.object("Last Playlist")["Name"].asString(), "Caf\xC3\xA9.flac");
}
