#include "cli/input_watch.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <condition_variable>
#include <mutex>

#include "cli/exit_signals.h"
#include "platform/services.h"
#include "platform/thread_name.h"

namespace pelmora::cli {

// Shared with the posted calls: one may still wait in the main loop's queue when
// the watch goes.
struct InputWatch::Shared {
  std::function<void()> on_input;
  int stop[2] = {-1, -1};
  std::mutex mutex;
  std::condition_variable handled;
  bool pending = false;
  bool stopping = false;
};

InputWatch::InputWatch(bool terminal, std::function<void()> on_input) : shared_(std::make_shared<Shared>()) {
  shared_->on_input = std::move(on_input);
  if (::pipe2(shared_->stop, O_CLOEXEC) != 0) shared_->stop[0] = shared_->stop[1] = -1;
  thread_ = std::thread(&InputWatch::run, shared_, terminal);
}

InputWatch::~InputWatch() {
  {
    std::lock_guard lock(shared_->mutex);
    shared_->stopping = true;
  }
  shared_->handled.notify_all();
  if (shared_->stop[1] >= 0) {
    const ssize_t n = ::write(shared_->stop[1], "x", 1);
    (void)n;
  }
  thread_.join();
  for (int fd : shared_->stop) {
    if (fd >= 0) ::close(fd);
  }
}

void InputWatch::run(std::shared_ptr<Shared> shared, bool terminal) {
  sonara::platform::nameThisThread("pelmora-input");
  pollfd watched[3] = {
      {shared->stop[0], POLLIN, 0}, {signalWakeFd(), POLLIN, 0}, {terminal ? STDIN_FILENO : -1, POLLIN, 0}};
  for (;;) {
    for (auto& w : watched) w.revents = 0;
    // Without the stop pipe the wait is bounded, so that the destructor is heard.
    const int ready = ::poll(watched, 3, shared->stop[0] >= 0 ? -1 : 200);
    {
      std::lock_guard lock(shared->mutex);
      if (shared->stopping) return;
    }
    if (ready <= 0) continue;
    // A terminal that hung up stays readable: it is no longer watched.
    if (watched[2].revents & (POLLHUP | POLLERR | POLLNVAL)) watched[2].fd = -1;
    if (!(watched[1].revents & POLLIN) && !(watched[2].revents & POLLIN)) continue;
    drainSignalWakes();
    {
      std::lock_guard lock(shared->mutex);
      shared->pending = true;
    }
    sonara::platform::mainLoop().post([shared] {
      {
        std::lock_guard lock(shared->mutex);
        if (shared->stopping) return;
      }
      shared->on_input();
      {
        std::lock_guard lock(shared->mutex);
        shared->pending = false;
      }
      shared->handled.notify_all();
    });
    std::unique_lock lock(shared->mutex);
    shared->handled.wait(lock, [&] { return !shared->pending || shared->stopping; });
    if (shared->stopping) return;
  }
}

}  // namespace pelmora::cli
