// Asks desktop sound servers to let go of a sound card before it is opened
// exclusively (the org.freedesktop.ReserveDevice1 protocol on the session bus), holds
// the card's name while it is open, answers other programs that ask for it, and gives
// the card back when it is closed. Without a session bus nothing is asked.
#pragma once

#include <atomic>
#include <mutex>
#include <string>

struct sd_bus;
struct sd_bus_message;
struct sd_bus_slot;

namespace sonara::audio {

class DeviceReservation {
 public:
  // Our priority in the protocol: above the desktop sound servers (0), so that they
  // let go when asked; a program asking with a higher one gets the card.
  static constexpr int kPriority = 20;

  DeviceReservation() = default;
  ~DeviceReservation() { release(); }
  DeviceReservation(const DeviceReservation&) = delete;
  DeviceReservation& operator=(const DeviceReservation&) = delete;

  // Reserves the device ("Audio0" for card 0). True when it is ours, or when there is
  // no session bus; false when its holder does not let go, with the holder's
  // application name (or bus name) in `holder`.
  bool acquire(const std::string& device, std::string* holder = nullptr);
  // Gives the device back; a pending request for it is granted now that it is closed.
  void release();
  bool held() const;

  // Answers what other programs sent (call it now and then, off the real-time thread).
  void serve();
  // The session bus connection's descriptor while the device is reserved, else -1:
  // readable when serve() has something to answer.
  int busFd() const;
  // Another program with a higher priority asked for the device, or took its name:
  // it must be closed and released.
  bool wanted() const { return wanted_.load(); }

  // Whether another program holds the device's name now.
  static bool heldByAnother(const std::string& device);

  // What the bus delivers: another program's RequestRelease, and the loss of our name.
  int requestRelease(sd_bus_message* m);
  void nameLost(sd_bus_message* m);
 private:
  void closeLocked();

  mutable std::recursive_mutex mutex_;
  sd_bus* bus_ = nullptr;
  sd_bus_slot* object_ = nullptr;
  sd_bus_slot* name_lost_ = nullptr;
  sd_bus_message* pending_ = nullptr;  // a granted RequestRelease, answered once closed
  std::string device_;
  bool owner_ = false;
  std::atomic<bool> wanted_{false};
};

}  // namespace sonara::audio
