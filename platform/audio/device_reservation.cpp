#include "platform/audio/device_reservation.h"

#include <systemd/sd-bus.h>

#include <cerrno>
#include <cstdlib>
#include <string>

namespace sonara::audio {

namespace {

constexpr const char* kInterface = "org.freedesktop.ReserveDevice1";
// No call on the bus waits longer than this for another program.
constexpr uint64_t kCallTimeoutUs = 5'000'000;

std::string busName(const std::string& device) { return std::string(kInterface) + "." + device; }
std::string objectPath(const std::string& device) { return "/org/freedesktop/ReserveDevice1/" + device; }

int getPriority(sd_bus*, const char*, const char*, const char*, sd_bus_message* reply, void*, sd_bus_error*) {
  return sd_bus_message_append(reply, "i", DeviceReservation::kPriority);
}
int getApplicationName(sd_bus*, const char*, const char*, const char*, sd_bus_message* reply, void*,
                       sd_bus_error*) {
  return sd_bus_message_append(reply, "s", "Pelmora");
}
int getApplicationDeviceName(sd_bus*, const char*, const char*, const char*, sd_bus_message* reply, void*,
                             sd_bus_error*) {
  return sd_bus_message_append(reply, "s", "");
}

int onRequestRelease(sd_bus_message* m, void* self, sd_bus_error*) {
  return static_cast<DeviceReservation*>(self)->requestRelease(m);
}
int onNameLost(sd_bus_message* m, void* self, sd_bus_error*) {
  static_cast<DeviceReservation*>(self)->nameLost(m);
  return 0;
}

const sd_bus_vtable kVtable[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_METHOD("RequestRelease", "i", "b", &onRequestRelease, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_PROPERTY("Priority", "i", getPriority, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("ApplicationName", "s", getApplicationName, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("ApplicationDeviceName", "s", getApplicationDeviceName, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_VTABLE_END};

sd_bus* openUserBus() {
  sd_bus* bus = nullptr;
  if (sd_bus_open_user(&bus) < 0) return nullptr;
  sd_bus_set_method_call_timeout(bus, kCallTimeoutUs);
  return bus;
}

// The application that holds `device`, as it names itself, else its bus name.
std::string holderName(sd_bus* bus, const std::string& device) {
  char* app = nullptr;
  sd_bus_error error = SD_BUS_ERROR_NULL;
  std::string out;
  if (sd_bus_get_property_string(bus, busName(device).c_str(), objectPath(device).c_str(), kInterface,
                                 "ApplicationName", &error, &app) >= 0 &&
      app && *app) {
    out = app;
  }
  std::free(app);
  sd_bus_error_free(&error);
  if (out.empty()) {
    const char* owner = nullptr;
    sd_bus_creds* creds = nullptr;
    if (sd_bus_get_name_creds(bus, busName(device).c_str(), SD_BUS_CREDS_UNIQUE_NAME, &creds) >= 0 &&
        sd_bus_creds_get_unique_name(creds, &owner) >= 0 && owner) {
      out = owner;
    }
    sd_bus_creds_unref(creds);
  }
  return out.empty() ? "another program" : out;
}

}  // namespace

bool DeviceReservation::acquire(const std::string& device, std::string* holder) {
  std::lock_guard lock(mutex_);
  closeLocked();
  device_ = device;
  wanted_ = false;
  if (!(bus_ = openUserBus())) return true;  // no session: no sound server to ask
  const std::string name = busName(device);
  int r = sd_bus_request_name(bus_, name.c_str(), SD_BUS_NAME_ALLOW_REPLACEMENT);
  if (r == -EEXIST) {
    // Someone holds it: ask them to give it up, then take it over.
    sd_bus_error error = SD_BUS_ERROR_NULL;
    sd_bus_message* reply = nullptr;
    int granted = 0;
    if (sd_bus_call_method(bus_, name.c_str(), objectPath(device).c_str(), kInterface, "RequestRelease", &error,
                           &reply, "i", kPriority) >= 0) {
      sd_bus_message_read(reply, "b", &granted);
    }
    sd_bus_error_free(&error);
    sd_bus_message_unref(reply);
    if (!granted) {
      if (holder) *holder = holderName(bus_, device);
      closeLocked();
      return false;
    }
    r = sd_bus_request_name(bus_, name.c_str(), SD_BUS_NAME_REPLACE_EXISTING | SD_BUS_NAME_ALLOW_REPLACEMENT);
  }
  if (r < 0) {
    if (holder) *holder = holderName(bus_, device);
    closeLocked();
    return false;
  }
  owner_ = true;
  // Others may ask us in turn, and the bus tells us when our name is taken over.
  sd_bus_add_object_vtable(bus_, &object_, objectPath(device).c_str(), kInterface, kVtable, this);
  sd_bus_match_signal(bus_, &name_lost_, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                      "NameLost", &onNameLost, this);
  return true;
}

void DeviceReservation::release() {
  std::lock_guard lock(mutex_);
  if (pending_) {
    // The device is closed: the program that asked may take it.
    sd_bus_reply_method_return(pending_, "b", 1);
    pending_ = sd_bus_message_unref(pending_);
  }
  if (bus_ && owner_) sd_bus_release_name(bus_, busName(device_).c_str());
  closeLocked();
  wanted_ = false;
}

bool DeviceReservation::held() const {
  std::lock_guard lock(mutex_);
  return owner_;
}

void DeviceReservation::serve() {
  std::lock_guard lock(mutex_);
  if (!bus_) return;
  for (int i = 0; i < 64 && sd_bus_process(bus_, nullptr) > 0; ++i) {
  }
}

int DeviceReservation::busFd() const {
  std::lock_guard lock(mutex_);
  return bus_ ? sd_bus_get_fd(bus_) : -1;
}

void DeviceReservation::closeLocked() {
  if (pending_) {
    sd_bus_reply_method_return(pending_, "b", 0);
    pending_ = sd_bus_message_unref(pending_);
  }
  object_ = sd_bus_slot_unref(object_);
  name_lost_ = sd_bus_slot_unref(name_lost_);
  if (bus_) sd_bus_flush_close_unref(bus_);
  bus_ = nullptr;
  owner_ = false;
}

int DeviceReservation::requestRelease(sd_bus_message* m) {
  int32_t priority = 0;
  if (int e = sd_bus_message_read(m, "i", &priority); e < 0) return e;
  // A program that matters more than us gets the device once it is closed; others
  // are told no at once.
  if (priority <= kPriority) return sd_bus_reply_method_return(m, "b", 0);
  std::lock_guard lock(mutex_);
  if (pending_) {
    sd_bus_reply_method_return(pending_, "b", 0);
    sd_bus_message_unref(pending_);
  }
  pending_ = sd_bus_message_ref(m);
  wanted_ = true;
  return 1;
}

void DeviceReservation::nameLost(sd_bus_message* m) {
  const char* name = nullptr;
  if (sd_bus_message_read(m, "s", &name) < 0 || !name) return;
  std::lock_guard lock(mutex_);
  if (name == busName(device_)) {
    owner_ = false;
    wanted_ = true;
  }
}

bool DeviceReservation::heldByAnother(const std::string& device) {
  sd_bus* bus = openUserBus();
  if (!bus) return false;
  sd_bus_error error = SD_BUS_ERROR_NULL;
  sd_bus_message* reply = nullptr;
  int has_owner = 0;
  if (sd_bus_call_method(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "NameHasOwner",
                         &error, &reply, "s", busName(device).c_str()) >= 0) {
    sd_bus_message_read(reply, "b", &has_owner);
  }
  sd_bus_error_free(&error);
  sd_bus_message_unref(reply);
  sd_bus_flush_close_unref(bus);
  return has_owner != 0;
}

}  // namespace sonara::audio
