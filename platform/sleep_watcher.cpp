#include "platform/sleep_watcher.h"
#include "platform/thread_name.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <systemd/sd-bus.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>

namespace sonara::platform {
namespace {

int onPrepareForSleep(sd_bus_message* message, void* user, sd_bus_error*) {
  int going = 0;
  if (sd_bus_message_read(message, "b", &going) >= 0) {
    (*static_cast<std::function<void(bool)>*>(user))(going != 0);
  }
  return 0;
}

}  // namespace

// Waits in poll() on the bus and on an eventfd the destructor writes: no wake-up
// while nothing comes.
static int waitForBus(sd_bus* bus, int wake_fd) {
  uint64_t deadline_us = UINT64_MAX;
  sd_bus_get_timeout(bus, &deadline_us);
  int timeout_ms = -1;
  if (deadline_us != UINT64_MAX) {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    const uint64_t now_us = static_cast<uint64_t>(now.tv_sec) * 1000000 + static_cast<uint64_t>(now.tv_nsec) / 1000;
    timeout_ms = deadline_us <= now_us ? 0 : static_cast<int>(std::min<uint64_t>((deadline_us - now_us + 999) / 1000, 60000));
  }
  const int events = sd_bus_get_events(bus);
  pollfd fds[2] = {{sd_bus_get_fd(bus), static_cast<short>(events < 0 ? POLLIN : events), 0}, {wake_fd, POLLIN, 0}};
  return ::poll(fds, 2, wake_fd >= 0 ? timeout_ms : 200);
}

SleepWatcher::SleepWatcher(std::function<void(bool)> handler) : handler_(std::move(handler)) {
  wake_fd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  thread_ = std::thread([this] { run(); });
}

SleepWatcher::~SleepWatcher() {
  stopping_ = true;
  if (wake_fd_ >= 0) {
    const uint64_t one = 1;
    const ssize_t n = ::write(wake_fd_, &one, sizeof one);
    (void)n;
  }
  if (thread_.joinable()) thread_.join();
  if (wake_fd_ >= 0) ::close(wake_fd_);
}

void SleepWatcher::run() {
  sonara::platform::nameThisThread("sonara-sleep");
  sd_bus* bus = nullptr;
  if (sd_bus_open_system(&bus) < 0) return;
  sd_bus_slot* slot = nullptr;
  if (sd_bus_match_signal(bus, &slot, "org.freedesktop.login1", "/org/freedesktop/login1",
                          "org.freedesktop.login1.Manager", "PrepareForSleep", onPrepareForSleep,
                          &handler_) >= 0) {
    watching_ = true;
    while (!stopping_.load()) {
      int r = sd_bus_process(bus, nullptr);
      if (r < 0) break;
      if (r == 0) waitForBus(bus, wake_fd_);
    }
  }
  sd_bus_slot_unref(slot);
  sd_bus_flush_close_unref(bus);
}

}  // namespace sonara::platform
