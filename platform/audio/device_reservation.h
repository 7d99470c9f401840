// Asks desktop sound servers to let go of a sound card before it is opened
// exclusively (the org.freedesktop.ReserveDevice1 protocol on the session bus), and
// gives the card back when it is closed. Best effort: without a session bus nothing
// is asked.
#pragma once

struct sd_bus;

namespace sonara::audio {

class DeviceReservation {
 public:
  DeviceReservation() = default;
  ~DeviceReservation() { release(); }
  DeviceReservation(const DeviceReservation&) = delete;
  DeviceReservation& operator=(const DeviceReservation&) = delete;

  // True when the card is reserved for this process (or nobody else claims it).
  bool acquire(int card);
  void release();

 private:
  sd_bus* bus_ = nullptr;
};

}  // namespace sonara::audio
