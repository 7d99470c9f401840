// Serves a bus connection on the main loop: a thread waits in poll() on the
// connection's descriptor (it never touches the connection itself), posts
// `on_ready` to the main loop when there is something to do, and waits again only
// once that has run and rearm() has said what to wait for next.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <thread>

namespace pelmora::remote {

class BusWatch {
 public:
  // `on_ready` runs on the main thread with the poll events seen (0 when the
  // timeout passed), never after the watch has gone or stopped.
  BusWatch(int fd, std::function<void(short revents)> on_ready);
  ~BusWatch();
  BusWatch(const BusWatch&) = delete;
  BusWatch& operator=(const BusWatch&) = delete;

  // What to wait for: poll events, and an absolute CLOCK_MONOTONIC time in
  // microseconds (UINT64_MAX: none; 0: at once). Main thread.
  void rearm(short events, uint64_t timeout_us);
  // Waits no more; callable from `on_ready`.
  void stop();

 private:
  struct Shared;
  static void run(std::shared_ptr<Shared> shared, int fd);

  std::shared_ptr<Shared> shared_;
  std::thread thread_;
};

}  // namespace pelmora::remote
