#include "platform/folder_watch.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <sys/statfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <set>

#include "platform/log.h"
#include "platform/thread_name.h"

namespace sonara::platform {

namespace {

constexpr long kFuseSuperMagic = 0x65735546;
constexpr uint32_t kWatchMask =
    IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;
// The thread looks up at least this often even when nothing is due, so that no wait
// of it is unbounded.
constexpr int kIdleWakeMs = 5000;

std::set<std::string> foldersPolledByRequest() {
  std::set<std::string> out;
  const char* list = std::getenv("SONARA_POLLED_FOLDERS");
  if (!list) return out;
  std::string all = list;
  size_t start = 0;
  while (start <= all.size()) {
    size_t end = all.find(':', start);
    if (end == std::string::npos) end = all.size();
    if (end > start) out.insert(all.substr(start, end - start));
    start = end + 1;
  }
  return out;
}

bool onFuse(const std::string& folder) {
  struct statfs fs {};
  return ::statfs(folder.c_str(), &fs) == 0 && static_cast<long>(fs.f_type) == kFuseSuperMagic;
}

uint32_t changesOf(const inotify_event& e) {
  uint32_t changes = 0;
  if (e.mask & IN_Q_OVERFLOW) {
    // Events were lost: anything may have happened.
    changes |= FolderWatch::kItemCreated | FolderWatch::kItemRemoved | FolderWatch::kItemRenamed;
  }
  if (e.mask & (IN_CREATE | IN_MOVED_TO)) changes |= FolderWatch::kItemCreated;
  if (e.mask & IN_DELETE) changes |= FolderWatch::kItemRemoved;
  if (e.mask & IN_MOVED_FROM) changes |= FolderWatch::kItemRenamed;
  if (e.mask & (IN_DELETE_SELF | IN_MOVE_SELF | IN_UNMOUNT | IN_IGNORED)) changes |= FolderWatch::kRootChanged;
  return changes;
}

}  // namespace

FolderWatch::FolderWatch(std::vector<std::string> folders, std::chrono::milliseconds latency, Batch batch)
    : latency_(std::max(latency, std::chrono::milliseconds(10))), batch_(std::move(batch)) {
  inotify_fd_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (inotify_fd_ < 0) {
    logLine("Folder watch: inotify is not available (%s).", std::strerror(errno));
    return;
  }
  const std::set<std::string> by_request = foldersPolledByRequest();
  std::set<std::string> seen;
  for (const auto& folder : folders) {
    if (!seen.insert(folder).second) continue;
    int wd = ::inotify_add_watch(inotify_fd_, folder.c_str(), kWatchMask);
    if (wd < 0) {
      logLine("Folder watch: %s is not watched (%s).", folder.c_str(), std::strerror(errno));
      continue;
    }
    // Two names of one folder share a descriptor; the first name stays.
    roots_.emplace(wd, Root{folder, by_request.count(folder) > 0 || onFuse(folder)});
  }
  if (!roots_.empty()) stop_fd_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  if (roots_.empty() || stop_fd_ < 0) {
    if (!roots_.empty()) logLine("Folder watch: no eventfd (%s).", std::strerror(errno));
    roots_.clear();
    ::close(inotify_fd_);
    inotify_fd_ = -1;
    return;
  }
  // A disc or a drive unmounted while its files are open sends no inotify event until
  // the last file closes; the mount table tells at once.
  mounts_fd_ = ::open("/proc/self/mountinfo", O_RDONLY | O_CLOEXEC);
  watching_ = true;
  thread_ = std::thread([this] { run(); });
}

FolderWatch::~FolderWatch() {
  if (thread_.joinable()) {
    // The eventfd wakes the thread at once; the flag ends it at its next look-up even
    // if the write could not be made.
    stopping_ = true;
    const uint64_t one = 1;
    ssize_t written = ::write(stop_fd_, &one, sizeof one);
    (void)written;
    thread_.join();
  }
  if (stop_fd_ >= 0) ::close(stop_fd_);
  if (inotify_fd_ >= 0) ::close(inotify_fd_);
  if (mounts_fd_ >= 0) ::close(mounts_fd_);
}

bool FolderWatch::anyPolled() const {
  return std::any_of(roots_.begin(), roots_.end(), [](const auto& r) { return r.second.polled; });
}

uint32_t FolderWatch::readEvents() {
  alignas(inotify_event) char buffer[4096];
  uint32_t changes = 0;
  for (;;) {
    ssize_t n = ::read(inotify_fd_, buffer, sizeof buffer);
    if (n <= 0) break;
    for (ssize_t at = 0; at + static_cast<ssize_t>(sizeof(inotify_event)) <= n;) {
      const auto* e = reinterpret_cast<const inotify_event*>(buffer + at);
      changes |= changesOf(*e);
      if (e->mask & IN_IGNORED) roots_.erase(e->wd);  // the folder is gone: its watch ended
      at += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
    }
  }
  return changes;
}

void FolderWatch::run() {
  sonara::platform::nameThisThread("sonara-folders");
  using Clock = std::chrono::steady_clock;
  uint32_t pending = 0;
  // When the next batch runs: a latency after the first change, or, while a folder is
  // polled, every latency.
  std::optional<Clock::time_point> due;
  if (anyPolled()) due = Clock::now() + latency_;
  for (;;) {
    int timeout_ms = kIdleWakeMs;
    if (due) {
      auto left = std::chrono::ceil<std::chrono::milliseconds>(*due - Clock::now()).count();
      timeout_ms = static_cast<int>(std::clamp<decltype(left)>(left, 0, kIdleWakeMs));
    }
    // A negative descriptor (no mount table) is left out by poll.
    pollfd fds[3] = {{stop_fd_, POLLIN, 0}, {inotify_fd_, POLLIN, 0}, {mounts_fd_, POLLPRI, 0}};
    int ready = ::poll(fds, 3, timeout_ms);
    if (ready < 0 && errno != EINTR) {
      logLine("Folder watch: poll failed (%s); watching ends.", std::strerror(errno));
      return;
    }
    if (fds[0].revents != 0 || stopping_.load()) return;
    if (fds[1].revents & (POLLERR | POLLNVAL)) {
      logLine("Folder watch: inotify failed; watching ends.");
      return;
    }
    if (fds[2].revents & (POLLPRI | POLLERR)) {
      pending |= kRootChanged;
      if (!due) due = Clock::now() + latency_;
    }
    if (fds[1].revents & POLLIN) {
      uint32_t seen = readEvents();
      if (seen != 0) {
        pending |= seen;
        if (!due) due = Clock::now() + latency_;
      }
    }
    if (!due || Clock::now() < *due) continue;
    const bool polling = anyPolled();
    if (polling) pending |= kPolled;
    if (pending != 0) batch_(pending);
    pending = 0;
    due.reset();
    if (polling) due = Clock::now() + latency_;
  }
}

}  // namespace sonara::platform
