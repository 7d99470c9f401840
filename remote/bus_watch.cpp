#include "remote/bus_watch.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <time.h>
#include <unistd.h>

#include <condition_variable>
#include <mutex>

#include "platform/services.h"
#include "platform/thread_name.h"

namespace pelmora::remote {

// Shared with the posted calls: one may still wait in the main loop's queue when
// the watch goes.
struct BusWatch::Shared {
  std::function<void(short)> on_ready;
  int wake = -1;  // eventfd: rearm() and stop() interrupt the poll
  std::mutex mutex;
  std::condition_variable handled;
  short events = POLLIN;
  uint64_t timeout_us = UINT64_MAX;
  bool pending = false;
  bool stopping = false;
};

namespace {

uint64_t nowUs() {
  timespec ts{};
  ::clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<uint64_t>(ts.tv_sec) * 1'000'000 + static_cast<uint64_t>(ts.tv_nsec) / 1000;
}

// poll()'s timeout for an absolute deadline; without a wake descriptor the wait is
// bounded, so that stop() is heard.
int pollTimeoutMs(uint64_t deadline_us, bool can_be_woken) {
  const int cap = can_be_woken ? -1 : 200;
  if (deadline_us == UINT64_MAX) return cap;
  const uint64_t now = nowUs();
  if (deadline_us <= now) return 0;
  const uint64_t ms = (deadline_us - now + 999) / 1000;
  if (cap >= 0 && ms > static_cast<uint64_t>(cap)) return cap;
  return ms > 60'000 ? 60'000 : static_cast<int>(ms);
}

void poke(int fd) {
  if (fd < 0) return;
  const uint64_t one = 1;
  const ssize_t n = ::write(fd, &one, sizeof one);
  (void)n;
}

}  // namespace

BusWatch::BusWatch(int fd, std::function<void(short)> on_ready) : shared_(std::make_shared<Shared>()) {
  shared_->on_ready = std::move(on_ready);
  shared_->wake = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  thread_ = std::thread(&BusWatch::run, shared_, fd);
}

BusWatch::~BusWatch() {
  stop();
  thread_.join();
  if (shared_->wake >= 0) ::close(shared_->wake);
}

void BusWatch::stop() {
  {
    std::lock_guard lock(shared_->mutex);
    shared_->stopping = true;
  }
  shared_->handled.notify_all();
  poke(shared_->wake);
}

void BusWatch::rearm(short events, uint64_t timeout_us) {
  {
    std::lock_guard lock(shared_->mutex);
    if (shared_->events == events && shared_->timeout_us == timeout_us) return;
    shared_->events = events;
    shared_->timeout_us = timeout_us;
  }
  poke(shared_->wake);
}

void BusWatch::run(std::shared_ptr<Shared> shared, int fd) {
  sonara::platform::nameThisThread("pelmora-bus");
  for (;;) {
    pollfd watched[2] = {{fd, 0, 0}, {shared->wake, POLLIN, 0}};
    uint64_t deadline = UINT64_MAX;
    {
      std::lock_guard lock(shared->mutex);
      if (shared->stopping) return;
      watched[0].events = shared->events;
      deadline = shared->timeout_us;
    }
    const int ready = ::poll(watched, 2, pollTimeoutMs(deadline, shared->wake >= 0));
    if (watched[1].revents & POLLIN) {
      uint64_t count = 0;
      const ssize_t n = ::read(shared->wake, &count, sizeof count);
      (void)n;
    }
    {
      std::lock_guard lock(shared->mutex);
      if (shared->stopping) return;
    }
    if (ready < 0) continue;
    const short revents = watched[0].revents;
    // Woken only to look at new events or a new deadline: wait again.
    if (revents == 0 && (deadline == UINT64_MAX || nowUs() < deadline)) continue;
    {
      std::lock_guard lock(shared->mutex);
      shared->pending = true;
    }
    sonara::platform::mainLoop().post([shared, revents] {
      {
        std::lock_guard lock(shared->mutex);
        if (shared->stopping) return;
      }
      shared->on_ready(revents);
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

}  // namespace pelmora::remote
