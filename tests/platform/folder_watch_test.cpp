#include "platform/folder_watch.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>

#include "support/log_capture.h"
#include "support/temp_dir.h"
#include "support/watchdog.h"

using namespace std::chrono_literals;
using sonara::platform::FolderWatch;

namespace {

// The batches a watch delivered, in order, with bounded waits for them.
class Batches {
 public:
  FolderWatch::Batch sink() {
    return [this](uint32_t changes) {
      {
        std::lock_guard lock(mutex_);
        seen_.push_back(changes);
      }
      arrived_.notify_all();
    };
  }
  // The first `count` batches; fewer when they did not come within `limit`.
  std::vector<uint32_t> waitFor(size_t count, std::chrono::seconds limit = 20s) {
    std::unique_lock lock(mutex_);
    arrived_.wait_for(lock, limit, [&] { return seen_.size() >= count; });
    return seen_;
  }
  std::vector<uint32_t> all() {
    std::lock_guard lock(mutex_);
    return seen_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable arrived_;
  std::vector<uint32_t> seen_;
};

void touch(const std::string& path) { std::ofstream(path) << "x"; }

// Long enough that a few file operations made one after another fall in one batch.
constexpr auto kLatency = 1000ms;

}  // namespace

TEST(FolderWatch, DeletingAFileGivesOneRemovedBatch) {
  TempDir dir;
  touch(dir.file("a.wav"));
  touch(dir.file("b.wav"));
  Batches batches;
  FolderWatch watch({dir.path()}, kLatency, batches.sink());
  ASSERT_TRUE(watch.watching());
  std::filesystem::remove(dir.file("a.wav"));
  auto seen = batches.waitFor(1);
  ASSERT_EQ(seen.size(), 1u) << "no batch after a deletion";
  EXPECT_EQ(seen[0], uint32_t{FolderWatch::kItemRemoved});
}

TEST(FolderWatch, RenamingAFileGivesRenamedAndCreated) {
  TempDir dir;
  touch(dir.file("a.wav"));
  Batches batches;
  FolderWatch watch({dir.path()}, kLatency, batches.sink());
  std::filesystem::rename(dir.file("a.wav"), dir.file("b.wav"));
  auto seen = batches.waitFor(1);
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0], uint32_t{FolderWatch::kItemRenamed | FolderWatch::kItemCreated});
}

TEST(FolderWatch, CreatingAFileGivesCreated) {
  TempDir dir;
  Batches batches;
  FolderWatch watch({dir.path()}, kLatency, batches.sink());
  touch(dir.file("new.wav"));
  auto seen = batches.waitFor(1);
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0], uint32_t{FolderWatch::kItemCreated});
}

TEST(FolderWatch, SeveralDeletionsWithinTheLatencyComeAsOneBatch) {
  TempDir dir;
  for (int i = 0; i < 8; ++i) touch(dir.file("t" + std::to_string(i)));
  Batches batches;
  FolderWatch watch({dir.path()}, kLatency, batches.sink());
  for (int i = 0; i < 8; ++i) std::filesystem::remove(dir.file("t" + std::to_string(i)));
  auto seen = batches.waitFor(1);
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0], uint32_t{FolderWatch::kItemRemoved});
  // Nothing else happened, so no second batch follows.
  EXPECT_EQ(batches.waitFor(2, 2s).size(), 1u);
}

TEST(FolderWatch, RemovingTheWatchedFolderGivesRootChanged) {
  TempDir dir;
  const std::string disc = dir.file("disc");
  std::filesystem::create_directory(disc);
  touch(disc + "/Track 1.wav");
  Batches batches;
  FolderWatch watch({disc}, kLatency, batches.sink());
  ASSERT_TRUE(watch.watching());
  std::filesystem::remove_all(disc);
  auto seen = batches.waitFor(1);
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0], uint32_t{FolderWatch::kItemRemoved | FolderWatch::kRootChanged});
}

TEST(FolderWatch, MovingTheWatchedFolderGivesRootChanged) {
  TempDir dir;
  std::filesystem::create_directory(dir.file("disc"));
  Batches batches;
  FolderWatch watch({dir.file("disc")}, kLatency, batches.sink());
  std::filesystem::rename(dir.file("disc"), dir.file("elsewhere"));
  auto seen = batches.waitFor(1);
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0], uint32_t{FolderWatch::kRootChanged});
}

TEST(FolderWatch, AMissingFolderIsSkippedAndLogged) {
  TempDir dir;
  LogCapture log;
  Batches batches;
  FolderWatch watch({dir.file("missing"), dir.path()}, kLatency, batches.sink());
  EXPECT_TRUE(watch.watching());
  EXPECT_TRUE(log.contains(dir.file("missing")));
  touch(dir.file("a.wav"));
  auto seen = batches.waitFor(1);
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0], uint32_t{FolderWatch::kItemCreated});
}

TEST(FolderWatch, NothingToWatchIsNotWatching) {
  TempDir dir;
  LogCapture log;
  Batches batches;
  touch(dir.file("file"));
  FolderWatch missing({dir.file("missing")}, kLatency, batches.sink());
  EXPECT_FALSE(missing.watching());
  FolderWatch not_a_folder({dir.file("file")}, kLatency, batches.sink());
  EXPECT_FALSE(not_a_folder.watching());
  FolderWatch none({}, kLatency, batches.sink());
  EXPECT_FALSE(none.watching());
}

TEST(FolderWatch, AFolderGivenTwiceGivesOneBatch) {
  TempDir dir;
  touch(dir.file("a.wav"));
  Batches batches;
  FolderWatch watch({dir.path(), dir.path()}, kLatency, batches.sink());
  std::filesystem::remove(dir.file("a.wav"));
  ASSERT_EQ(batches.waitFor(1).size(), 1u);
  EXPECT_EQ(batches.waitFor(2, 2s).size(), 1u);
}

// A folder inotify cannot see into (FUSE; here one named in $SONARA_POLLED_FOLDERS)
// is reported as due for a look once per latency, with nothing happening in it.
TEST(FolderWatch, APolledFolderIsReportedWithoutEvents) {
  TempDir dir;
  ::setenv("SONARA_POLLED_FOLDERS", ("/nowhere:" + dir.path()).c_str(), 1);
  Batches batches;
  FolderWatch watch({dir.path()}, 100ms, batches.sink());
  ::unsetenv("SONARA_POLLED_FOLDERS");
  auto seen = batches.waitFor(2);
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0], uint32_t{FolderWatch::kPolled});
  EXPECT_EQ(seen[1], uint32_t{FolderWatch::kPolled});
  // Events still join the batches.
  touch(dir.file("a.wav"));
  bool created = false;
  for (size_t want = 3; !created && want < 200; ++want) {
    seen = batches.waitFor(want);
    ASSERT_EQ(seen.size(), want);
    created = (seen.back() & FolderWatch::kItemCreated) != 0;
    EXPECT_NE(seen.back() & FolderWatch::kPolled, 0u);
  }
  EXPECT_TRUE(created);
}

TEST(FolderWatch, DestructionWhileEventsArriveIsClean) {
  TempDir dir;
  std::atomic<bool> stop{false};
  std::thread churn([&] {
    for (int i = 0; !stop.load(); ++i) {
      const std::string path = dir.file("f" + std::to_string(i % 16));
      touch(path);
      std::filesystem::remove(path);
    }
  });
  {
    Watchdog dog("destroying folder watches", 60s);
    for (int round = 0; round < 20; ++round) {
      FolderWatch watch({dir.path()}, std::chrono::milliseconds(10 + round), [](uint32_t) {});
      ASSERT_TRUE(watch.watching());
      std::this_thread::sleep_for(std::chrono::milliseconds(round * 3));
    }
  }
  stop = true;
  churn.join();
}

// A file system unmounted while a file on it is open sends inotify nothing until the
// file closes; the watch learns of it from the mount table. Run in a child process
// with a mount namespace of its own (skipped where mounting is not allowed).
TEST(FolderWatch, AnUnmountIsSeenWhileAFileOnItIsStillOpen) {
  TempDir dir;
  const std::string place = dir.file("place");
  std::filesystem::create_directory(place);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (::unshare(CLONE_NEWNS) != 0 || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        ::mount("none", place.c_str(), "tmpfs", 0, nullptr) != 0) {
      ::_exit(77);
    }
    std::filesystem::create_directory(place + "/disc");
    std::ofstream(place + "/disc/Track 1.wav") << "RIFF";
    const int held = ::open((place + "/disc/Track 1.wav").c_str(), O_RDONLY);
    Batches batches;
    FolderWatch watch({place + "/disc", place}, 100ms, batches.sink());
    if (::umount2(place.c_str(), MNT_DETACH) != 0) ::_exit(77);
    const auto seen = batches.waitFor(1, 10s);
    ::close(held);
    ::_exit(!seen.empty() && (seen[0] & FolderWatch::kRootChanged) ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  if (WEXITSTATUS(status) == 77) GTEST_SKIP() << "mounting is not allowed here";
  EXPECT_EQ(WEXITSTATUS(status), 0) << "the unmount was not reported";
}
