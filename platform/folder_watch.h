// Tells, in batches, that the contents of some folders changed: inotify on each
// folder (not recursive) on a thread of its own. A folder on a FUSE file system
// (the desktop's GVFS mounts, audio CDs among them) changes behind inotify's back, so
// it is reported as due for a look once per batch period instead. Mounts and
// unmounts are seen through the mount table, which inotify does not report.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <thread>
#include <vector>

namespace sonara::platform {

class FolderWatch {
 public:
  // What a batch saw, combined over the batch.
  enum Change : uint32_t {
    kItemCreated = 1u << 0,
    kItemRemoved = 1u << 1,
    kItemRenamed = 1u << 2,
    kRootChanged = 1u << 3,  // a watched folder itself was removed, moved or unmounted, or
                             // a file system was mounted or unmounted anywhere
    kPolled = 1u << 4,       // a folder inotify cannot see into was due for a look
  };
  using Batch = std::function<void(uint32_t changes)>;

  // Watches `folders` (each once; missing ones are skipped and logged) on a thread of
  // its own. `batch` runs on that thread at most once per `latency`, with everything
  // seen since the last batch. `$SONARA_POLLED_FOLDERS` (colon-separated) names
  // folders to poll as if they were on FUSE (network shares, tests).
  FolderWatch(std::vector<std::string> folders, std::chrono::milliseconds latency, Batch batch);
  ~FolderWatch();  // returns once the thread has ended; never waits unboundedly
  FolderWatch(const FolderWatch&) = delete;
  FolderWatch& operator=(const FolderWatch&) = delete;

  bool watching() const { return watching_; }  // false when no folder could be watched

 private:
  struct Root {
    std::string folder;
    bool polled;
  };
  void run();
  uint32_t readEvents();
  bool anyPolled() const;

  std::chrono::milliseconds latency_;
  Batch batch_;
  int inotify_fd_ = -1;
  int stop_fd_ = -1;    // an eventfd: wakes the thread at once to end it
  int mounts_fd_ = -1;  // the mount table, which signals every mount and unmount
  bool watching_ = false;
  std::atomic<bool> stopping_{false};
  std::map<int, Root> roots_;  // by inotify watch descriptor; only the thread's once it runs
  std::thread thread_;
};

}  // namespace sonara::platform
