// The folder watching of CD lists: rows whose files vanish (a disc ejected, its folder
// removed) go with one Remove report on the main loop; other lists are never watched.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <thread>

#include "engine/api/constants.h"
#include "engine/playlist/playlist_array_controller.h"
#include "engine/plugin/plugin_manager.h"
#include "platform/services.h"
#include "platform/standalone_main_loop.h"
#include "support/temp_dir.h"
#include "support/wait_for.h"
#include "support/watchdog.h"

using namespace std::chrono_literals;
using sonara::platform::StandaloneMainLoop;
using sonara::platform::Task;

namespace {

// The test thread's main loop, counting what other threads post to it.
class CountingLoop final : public sonara::platform::MainLoop {
 public:
  void post(Task task) override {
    ++posts;
    inner_.post(std::move(task));
  }
  void postAndWait(Task task) override { inner_.postAndWait(std::move(task)); }
  sonara::platform::DelayedPerformId performAfter(std::chrono::nanoseconds delay, Task task) override {
    return inner_.performAfter(delay, std::move(task));
  }
  void cancel(sonara::platform::DelayedPerformId id) override { inner_.cancel(id); }
  void run() override { inner_.run(); }
  void runFor(std::chrono::nanoseconds slice) override { inner_.runFor(slice); }
  void quit() override { inner_.quit(); }
  bool isMainThread() const override { return inner_.isMainThread(); }

  std::atomic<int> posts{0};

 private:
  StandaloneMainLoop inner_;
};

struct Report {
  std::string type;
  std::vector<std::string> paths;
  std::thread::id thread;
};

class CdListWatchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    sonara::platform::installUserDefaults(
        std::make_shared<sonara::platform::UserDefaults>(dir_.file("defaults.plist")));
    sonara::platform::installMainLoop(loop_);
    sonara::PluginManager::initializePluginList();
    model_ = std::make_unique<PlaylistArrayController>(sonara::PluginManager::sharedInstance());
    model_->initialize();
    model_->setChangeNotificationTarget([this](const std::vector<PlaylistItemInfoRef>& infos, const char* type) {
      Report r{type, {}, std::this_thread::get_id()};
      for (const auto& info : infos) r.paths.push_back(info->fullpath());
      std::lock_guard lock(reports_mutex_);
      reports_.push_back(std::move(r));
    });
  }
  void TearDown() override {
    model_.reset();  // its watch thread posts to the loop: it ends first
    sonara::platform::installMainLoop(nullptr);
    sonara::platform::installUserDefaults(nullptr);
  }

  // A folder of track files, as the desktop mounts an audio CD.
  std::vector<std::string> disc(const std::string& name, int tracks) {
    const std::string folder = dir_.file(name);
    std::filesystem::create_directory(folder);
    std::vector<std::string> paths;
    for (int i = 1; i <= tracks; ++i) {
      paths.push_back(folder + "/Track " + std::to_string(i) + ".wav");
      std::ofstream(paths.back()) << "RIFF";
    }
    return paths;
  }
  // A partial record, inserted without opening the file.
  static PlaylistItemInfoRef partial(const std::string& path) {
    auto info = std::make_shared<PlaylistItemInfo>();
    info->setFullpath(path);
    info->setTitle(std::filesystem::path(path).filename().string());
    info->setDuration(180);
    return info;
  }
  void insertCd(const std::vector<std::string>& paths) {
    std::vector<PlaylistItemInfoRef> infos;
    for (const auto& p : paths) infos.push_back(partial(p));
    model_->insertInfos(infos, model_->getNumInfos(), false, false);
  }
  std::vector<std::string> rowPaths() const {
    std::vector<std::string> out;
    for (const auto& r : model_->getAllInfos()) out.push_back(r->fullpath());
    return out;
  }
  std::vector<Report> reports() {
    std::lock_guard lock(reports_mutex_);
    return reports_;
  }
  template <typename F>
  bool runUntil(F done, std::chrono::milliseconds limit = 20s) {
    auto until = std::chrono::steady_clock::now() + limit;
    while (!done()) {
      if (std::chrono::steady_clock::now() > until) return false;
      loop_->runFor(5ms);
    }
    return true;
  }
  // Long enough for a batch of the watch (one second) to have come and been handled.
  void runPastOneBatch() {
    runUntil([] { return false; }, 2500ms);
  }

  TempDir dir_;
  std::shared_ptr<CountingLoop> loop_ = std::make_shared<CountingLoop>();
  std::unique_ptr<PlaylistArrayController> model_;
  std::mutex reports_mutex_;
  std::vector<Report> reports_;
};

// The longest mount point that holds `path`, from the kernel's own table.
std::string mountPointFromMountInfo(const std::string& path) {
  std::ifstream info("/proc/self/mountinfo");
  std::string line, best;
  while (std::getline(info, line)) {
    std::istringstream fields(line);
    std::string id, parent, devno, root, point;
    fields >> id >> parent >> devno >> root >> point;
    const bool holds = point == "/" || path.compare(0, point.size() + 1, point + "/") == 0;
    if (holds && point.size() > best.size()) best = point;
  }
  return best;
}

}  // namespace

TEST_F(CdListWatchTest, RemovingTheDiscFolderRemovesItsRowsWithOneReportOnTheMainLoop) {
  const auto ejected = disc("disc", 3);
  const auto other = disc("other", 1);
  model_->setCd(true);
  model_->setFixed(true);
  insertCd(ejected);
  insertCd(other);
  ASSERT_TRUE(model_->observing());
  std::vector<std::string> all = ejected;
  all.insert(all.end(), other.begin(), other.end());
  EXPECT_EQ(model_->observer_watch_path(), all);

  const int posted_before = loop_->posts.load();
  std::filesystem::remove_all(dir_.file("disc"));
  // The batch comes from the watch's thread, but the rows go only on the main loop.
  ASSERT_TRUE(waitFor([&] { return loop_->posts.load() > posted_before; }));
  EXPECT_EQ(model_->getNumInfos(), 4u);
  EXPECT_TRUE(reports().empty());

  ASSERT_TRUE(runUntil([&] { return !reports().empty(); }));
  runPastOneBatch();
  auto seen = reports();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].type, PlaylistChangeNotificatioTypeRemove);
  EXPECT_EQ(seen[0].paths, ejected);
  EXPECT_EQ(seen[0].thread, std::this_thread::get_id());
  EXPECT_EQ(rowPaths(), other);
  // The watch was rebuilt over what is left.
  EXPECT_EQ(model_->observer_watch_path(), other);
  EXPECT_TRUE(model_->observing());
}

TEST_F(CdListWatchTest, DeletingOneFileRemovesOnlyItsRow) {
  const auto tracks = disc("disc", 3);
  model_->setCd(true);
  insertCd(tracks);
  std::filesystem::remove(tracks[1]);
  ASSERT_TRUE(runUntil([&] { return !reports().empty(); }));
  auto seen = reports();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].type, PlaylistChangeNotificatioTypeRemove);
  EXPECT_EQ(seen[0].paths, std::vector<std::string>{tracks[1]});
  EXPECT_EQ(rowPaths(), (std::vector<std::string>{tracks[0], tracks[2]}));
}

TEST_F(CdListWatchTest, RenamingAFileAwayRemovesItsRow) {
  const auto tracks = disc("disc", 2);
  model_->setCd(true);
  insertCd(tracks);
  std::filesystem::rename(tracks[0], dir_.file("moved.wav"));
  ASSERT_TRUE(runUntil([&] { return !reports().empty(); }));
  EXPECT_EQ(reports()[0].paths, std::vector<std::string>{tracks[0]});
  EXPECT_EQ(rowPaths(), std::vector<std::string>{tracks[1]});
}

TEST_F(CdListWatchTest, ANewFileInTheFolderRemovesNothing) {
  const auto tracks = disc("disc", 2);
  model_->setCd(true);
  insertCd(tracks);
  const int posted_before = loop_->posts.load();
  std::ofstream(dir_.file("disc/Track 3.wav")) << "RIFF";
  ASSERT_TRUE(waitFor([&] { return loop_->posts.load() > posted_before; }));
  runPastOneBatch();
  EXPECT_TRUE(reports().empty());
  EXPECT_EQ(rowPaths(), tracks);
}

TEST_F(CdListWatchTest, ANonCdListIsNeverWatched) {
  const auto tracks = disc("disc", 2);
  insertCd(tracks);
  EXPECT_FALSE(model_->observing());
  EXPECT_TRUE(model_->observer_watch_path().empty());
  std::filesystem::remove(tracks[0]);
  runPastOneBatch();
  EXPECT_EQ(loop_->posts.load(), 0);
  EXPECT_TRUE(reports().empty());
  EXPECT_EQ(rowPaths(), tracks);
}

TEST_F(CdListWatchTest, AListThatStopsBeingACdListIsNoLongerWatchedAfterTheNextRebuild) {
  const auto tracks = disc("disc", 3);
  model_->setCd(true);
  insertCd({tracks[0]});
  ASSERT_TRUE(model_->observing());
  model_->setCd(false);
  EXPECT_TRUE(model_->observing());  // until the next rebuild
  insertCd({tracks[1], tracks[2]});
  EXPECT_FALSE(model_->observing());
  EXPECT_TRUE(model_->observer_watch_path().empty());
  std::filesystem::remove_all(dir_.file("disc"));
  runPastOneBatch();
  EXPECT_TRUE(reports().empty());
  EXPECT_EQ(rowPaths(), tracks);
}

TEST_F(CdListWatchTest, EmptyingTheListKeepsTheWatchWhichThenFindsNoRows) {
  const auto tracks = disc("disc", 2);
  model_->setCd(true);
  insertCd(tracks);
  model_->resetPlaylist(false);
  EXPECT_TRUE(model_->observing());
  const int posted_before = loop_->posts.load();
  std::filesystem::remove(tracks[0]);
  ASSERT_TRUE(waitFor([&] { return loop_->posts.load() > posted_before; }));
  runPastOneBatch();
  EXPECT_TRUE(reports().empty());
  EXPECT_EQ(model_->getNumInfos(), 0u);
}

TEST_F(CdListWatchTest, RemovingTheLastRowsEndsTheWatch) {
  const auto tracks = disc("disc", 2);
  model_->setCd(true);
  insertCd(tracks);
  model_->setSelectionIndexes({0, 1});
  model_->removeAllSelectedInfoes(false);
  EXPECT_FALSE(model_->observing());
  EXPECT_TRUE(model_->observer_watch_path().empty());
}

TEST_F(CdListWatchTest, DestroyingTheModelWithABatchPostedIsSafe) {
  const auto tracks = disc("disc", 2);
  model_->setCd(true);
  insertCd(tracks);
  std::filesystem::remove_all(dir_.file("disc"));
  ASSERT_TRUE(waitFor([&] { return loop_->posts.load() > 0; }));
  model_.reset();
  runUntil([] { return false; }, 200ms);  // the posted batch finds no model
  EXPECT_TRUE(reports().empty());
}

TEST_F(CdListWatchTest, DestroyingTheModelWithABatchGatheringIsSafe) {
  const auto tracks = disc("disc", 2);
  model_->setCd(true);
  insertCd(tracks);
  std::filesystem::remove(tracks[0]);
  {
    Watchdog dog("destroying a watched model", 30s);
    model_.reset();
  }
  runPastOneBatch();
  EXPECT_TRUE(reports().empty());
}

TEST_F(CdListWatchTest, RebuildsFromTwoThreadsLeaveTheWatchOverTheLatestRows) {
  const auto tracks = disc("disc", 8);
  model_->setCd(true);
  insertCd(tracks);
  std::thread inserter([&] {
    for (int i = 0; i < 40; ++i) model_->insertInfos({partial(tracks[static_cast<size_t>(i % 8)])}, 0, false, false);
  });
  for (int i = 0; i < 40; ++i) model_->removeInfoAtIndex(0, false);
  inserter.join();
  std::vector<std::string> distinct;
  for (const auto& p : rowPaths()) {
    if (std::find(distinct.begin(), distinct.end(), p) == distinct.end()) distinct.push_back(p);
  }
  EXPECT_EQ(model_->observer_watch_path(), distinct);
  EXPECT_EQ(model_->observing(), !distinct.empty());
}

TEST_F(CdListWatchTest, FoldersWatchedAreEachFilesFolderAndThePathUpToItsMountPointOnce) {
  const auto a = disc("a", 2);
  const auto b = disc("b", 1);
  const std::string mount = mountPointFromMountInfo(a[0]);
  ASSERT_FALSE(mount.empty());
  auto dirs = PlaylistArrayController::createDirsForObserver({a[0], a[1], b[0], dir_.file("gone/x.wav")});
  std::vector<std::string> expected{dir_.file("a")};
  for (auto at = std::filesystem::path(dir_.path()); ; at = at.parent_path()) {
    expected.push_back(at.string());
    if (at.string() == mount || at == at.parent_path()) break;
  }
  expected.push_back(dir_.file("b"));
  expected.push_back(dir_.file("gone"));
  EXPECT_EQ(dirs, expected);
}

TEST_F(CdListWatchTest, MovingAFolderAboveTheDiscRemovesItsRows) {
  std::filesystem::create_directories(dir_.file("place"));
  const std::string folder = dir_.file("place/disc");
  std::filesystem::create_directory(folder);
  std::vector<std::string> tracks{folder + "/Track 1.wav", folder + "/Track 2.wav"};
  for (const auto& t : tracks) std::ofstream(t) << "RIFF";
  model_->setCd(true);
  insertCd(tracks);
  ASSERT_TRUE(model_->observing());
  std::filesystem::rename(dir_.file("place"), dir_.file("moved"));
  ASSERT_TRUE(runUntil([&] { return model_->getNumInfos() == 0; }));
  ASSERT_EQ(reports().size(), 1u);
  EXPECT_EQ(reports()[0].paths, tracks);
}

TEST_F(CdListWatchTest, DeletedPathsAndTheirRows) {
  const auto tracks = disc("disc", 3);
  insertCd({tracks[0], tracks[1], tracks[0]});
  std::filesystem::remove(tracks[0]);
  const auto gone = PlaylistArrayController::pathsDeletedInObserver({tracks[2], tracks[0], tracks[1], tracks[0]});
  EXPECT_EQ(gone, (std::vector<std::string>{tracks[0], tracks[0]}));
  auto rows = model_->getAllInfos();
  auto infos = model_->infosFromPaths({tracks[1], tracks[2], tracks[0]});
  ASSERT_EQ(infos.size(), 2u);  // tracks[2] has no row
  EXPECT_EQ(infos[0], rows[1]);
  EXPECT_EQ(infos[1], rows[0]);  // the first row holding the path
}
