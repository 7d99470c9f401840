#include "platform/sleep_watcher.h"
#include "platform/thread_name.h"

#include <systemd/sd-bus.h>

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

SleepWatcher::SleepWatcher(std::function<void(bool)> handler) : handler_(std::move(handler)) {
  thread_ = std::thread([this] { run(); });
}

SleepWatcher::~SleepWatcher() {
  stopping_ = true;
  if (thread_.joinable()) thread_.join();
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
      if (r == 0) sd_bus_wait(bus, 200000);  // microseconds: look at the stop flag often
    }
  }
  sd_bus_slot_unref(slot);
  sd_bus_flush_close_unref(bus);
}

}  // namespace sonara::platform
