#include "platform/file_watcher.h"
#include "platform/thread_name.h"

#include <poll.h>
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
  thread_ = std::thread([this] { run(); });
}

FileWatcher::~FileWatcher() {
  stopping_ = true;
  if (thread_.joinable()) thread_.join();
  if (fd_ >= 0) ::close(fd_);
}

void FileWatcher::run() {
  sonara::platform::nameThisThread("sonara-files");
  alignas(inotify_event) char buffer[4096];
  while (!stopping_.load()) {
    pollfd p{fd_, POLLIN, 0};
    // A short timeout, so that the destructor never waits long for the thread.
    if (::poll(&p, 1, 50) <= 0) continue;
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
