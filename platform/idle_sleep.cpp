#include "platform/idle_sleep.h"

#include <systemd/sd-bus.h>
#include <unistd.h>

#include <cerrno>
#include <fcntl.h>

namespace sonara::platform {

namespace {

int64_t inhibit(const InhibitKind& kind, const std::string& who, const std::string& why) {
  sd_bus* bus = nullptr;
  int r = sd_bus_open_system(&bus);
  if (r < 0) return r;
  sd_bus_error error = SD_BUS_ERROR_NULL;
  sd_bus_message* reply = nullptr;
  r = sd_bus_call_method(bus, "org.freedesktop.login1", "/org/freedesktop/login1",
                         "org.freedesktop.login1.Manager", "Inhibit", &error, &reply, "ssss",
                         kind.what, who.c_str(), why.c_str(), kind.mode);
  int64_t result = r;
  if (r >= 0) {
    int fd = -1;
    r = sd_bus_message_read(reply, "h", &fd);
    // The reply owns its descriptor; keep a duplicate as the assertion.
    result = r < 0 ? r : fcntl(fd, F_DUPFD_CLOEXEC, 3);
    if (result < 0 && r >= 0) result = -errno;
  }
  sd_bus_error_free(&error);
  sd_bus_message_unref(reply);
  sd_bus_flush_close_unref(bus);
  // Descriptor 0 is never returned by F_DUPFD (>= 3), so ids are always > 0.
  return result;
}

}  // namespace

int64_t LogindIdleSleepAssertion::create(const std::string& who, const std::string& why) {
  return inhibit(kIdleInhibit, who, why);
}

int64_t LogindIdleSleepAssertion::createSleepDelay(const std::string& who, const std::string& why) {
  return inhibit(kSleepDelayInhibit, who, why);
}

void LogindIdleSleepAssertion::release(int64_t id) {
  if (id > 0) ::close(static_cast<int>(id));
}

}  // namespace sonara::platform
