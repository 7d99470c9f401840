#include "platform/audio/device_reservation.h"

#include <systemd/sd-bus.h>

#include <climits>
#include <string>

namespace sonara::audio {

bool DeviceReservation::acquire(int card) {
  release();
  if (card < 0) return true;
  if (sd_bus_open_user(&bus_) < 0) {
    bus_ = nullptr;
    return true;  // no session: no sound server to ask
  }
  const std::string name = "org.freedesktop.ReserveDevice1.Audio" + std::to_string(card);
  const std::string path = "/org/freedesktop/ReserveDevice1/Audio" + std::to_string(card);
  if (sd_bus_request_name(bus_, name.c_str(), SD_BUS_NAME_ALLOW_REPLACEMENT) >= 0) return true;
  // Someone holds it: ask them to give it up, then take it over.
  sd_bus_error error = SD_BUS_ERROR_NULL;
  sd_bus_message* reply = nullptr;
  int granted = 0;
  if (sd_bus_call_method(bus_, name.c_str(), path.c_str(), "org.freedesktop.ReserveDevice1", "RequestRelease",
                         &error, &reply, "i", INT_MAX) >= 0) {
    sd_bus_message_read(reply, "b", &granted);
  }
  sd_bus_error_free(&error);
  sd_bus_message_unref(reply);
  if (!granted) return false;
  return sd_bus_request_name(bus_, name.c_str(), SD_BUS_NAME_REPLACE_EXISTING | SD_BUS_NAME_ALLOW_REPLACEMENT) >= 0;
}

void DeviceReservation::release() {
  if (bus_) sd_bus_flush_close_unref(bus_);
  bus_ = nullptr;
}

}  // namespace sonara::audio
