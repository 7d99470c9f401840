#include "platform/audio/watcher_wait.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <algorithm>
#include <array>

namespace sonara::audio {

namespace {
constexpr size_t kMaxFds = 72;  // ours, and a bus for each device there can be
}

WatcherWait::WatcherWait(const std::string& folder) {
  wake_fd_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  if (folder.empty()) return;
  inotify_fd_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (inotify_fd_ >= 0 &&
      ::inotify_add_watch(inotify_fd_, folder.c_str(), IN_CREATE | IN_DELETE | IN_MOVED_TO | IN_MOVED_FROM) < 0) {
    ::close(inotify_fd_);
    inotify_fd_ = -1;
  }
}

WatcherWait::~WatcherWait() {
  if (inotify_fd_ >= 0) ::close(inotify_fd_);
  if (wake_fd_ >= 0) ::close(wake_fd_);
}

void WatcherWait::wake() noexcept {
  if (wake_fd_ < 0) return;
  const uint64_t one = 1;
  const ssize_t n = ::write(wake_fd_, &one, sizeof one);
  (void)n;  // a full counter is still a wake-up
}

bool WatcherWait::wait(std::span<const int> more_fds, std::chrono::milliseconds timeout) {
  std::array<pollfd, kMaxFds> fds{};
  size_t n = 0;
  fds[n++] = {wake_fd_, POLLIN, 0};
  fds[n++] = {inotify_fd_, POLLIN, 0};  // poll() skips a negative descriptor
  for (int fd : more_fds) {
    if (n == fds.size()) break;
    fds[n++] = {fd, POLLIN, 0};
  }
  // Without an eventfd nothing could cut the wait short: keep it short instead.
  if (wake_fd_ < 0) timeout = std::min(timeout, std::chrono::milliseconds(250));
  if (::poll(fds.data(), n, static_cast<int>(timeout.count())) <= 0) return false;
  uint64_t count = 0;
  while (::read(wake_fd_, &count, sizeof count) > 0) {
  }
  bool changed = false;
  alignas(inotify_event) char events[4096];
  while (inotify_fd_ >= 0 && ::read(inotify_fd_, events, sizeof events) > 0) changed = true;
  return changed;
}

}  // namespace sonara::audio
