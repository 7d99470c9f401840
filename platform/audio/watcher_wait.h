// What wakes the ALSA backend's watcher thread: a change in the folder of the sound
// devices' nodes (a card plugged in or out), wake() from another thread (an IO
// thread that failed or ran dry, a device taken or given back, the end), a session
// bus with something to answer, or a time-out. The watcher sleeps until one of them
// happens instead of looking several times a second.
#pragma once

#include <chrono>
#include <span>
#include <string>

namespace sonara::audio {

class WatcherWait {
 public:
  // `folder` is usually /dev/snd. Without it (or without inotify) the caller must
  // look for cards now and then itself: watchesFolder() says so.
  explicit WatcherWait(const std::string& folder);
  ~WatcherWait();
  WatcherWait(const WatcherWait&) = delete;
  WatcherWait& operator=(const WatcherWait&) = delete;

  bool watchesFolder() const { return inotify_fd_ >= 0; }

  // Safe on the real-time thread: one write to an eventfd, which never blocks.
  void wake() noexcept;

  // Waits for any of the above, the readable `more_fds` among them, at most
  // `timeout`. True when something in the folder was added or removed.
  bool wait(std::span<const int> more_fds, std::chrono::milliseconds timeout);

 private:
  int inotify_fd_ = -1;
  int wake_fd_ = -1;
};

}  // namespace sonara::audio
