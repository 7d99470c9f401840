#include "platform/file_watcher.h"
#include "platform/thread_name.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <cstring>

namespace sonara::platform {

FileWatcher::FileWatcher(std::string path, std::function<void()> changed) : changed_(std::move(changed)) {
  const size_t slash = path.rfind('/');
  folder_ = slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
  name_ = slash == std::string::npos ? path : path.substr(slash + 1);
  fd_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (fd_ < 0) return;
  if (inotify_add_watch(fd_, folder_.c_str(), IN_CLOSE_WRITE | IN_MOVED_TO) < 0) {
    ::close(fd_);
    fd_ = -1;
    return;
  }
  wake_fd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  thread_ = std::thread([this] { run(); });
}

FileWatcher::~FileWatcher() {
  stopping_ = true;
  if (wake_fd_ >= 0) {
    const uint64_t one = 1;
    const ssize_t n = ::write(wake_fd_, &one, sizeof one);
    (void)n;
  }
  if (thread_.joinable()) thread_.join();
  if (fd_ >= 0) ::close(fd_);
  if (wake_fd_ >= 0) ::close(wake_fd_);
}

void FileWatcher::run() {
  sonara::platform::nameThisThread("sonara-files");
  alignas(inotify_event) char buffer[4096];
  while (!stopping_.load()) {
    pollfd p[2] = {{fd_, POLLIN, 0}, {wake_fd_, POLLIN, 0}};
    // The destructor wakes the wait; without its eventfd the wait is bounded instead.
    if (::poll(p, 2, wake_fd_ >= 0 ? -1 : 200) <= 0 || stopping_.load()) continue;
    bool ours = false;
    for (;;) {
      ssize_t n = ::read(fd_, buffer, sizeof buffer);
      if (n <= 0) break;
      for (ssize_t at = 0; at + static_cast<ssize_t>(sizeof(inotify_event)) <= n;) {
        auto* e = reinterpret_cast<inotify_event*>(buffer + at);
        if (e->len > 0 && name_ == e->name) ours = true;
        at += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
      }
    }
    if (ours && !stopping_.load()) changed_();
  }
}

}  // namespace sonara::platform
