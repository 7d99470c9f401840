// Keeps the system from idle sleep while audio plays, and holds off a suspend until
// playback has stopped: systemd-logind inhibitor locks, the held file descriptor
// being the assertion. The idle one ("idle", mode "block") blocks idle sleep only,
// never a suspend the user asks for; the sleep one ("sleep", mode "delay") gives the
// engine the moment between logind's PrepareForSleep and the suspend to stop cleanly.
#pragma once

#include <cstdint>
#include <string>

namespace sonara::platform {

class IdleSleepAssertion {
 public:
  virtual ~IdleSleepAssertion() = default;
  // Takes an idle-sleep assertion; returns its id (> 0) or a negative errno-style code.
  virtual int64_t create(const std::string& who, const std::string& why) = 0;
  // Takes a lock that delays a suspend until it is released; id or negative code.
  virtual int64_t createSleepDelay(const std::string& who, const std::string& why) = 0;
  // Releases either kind.
  virtual void release(int64_t id) = 0;
};

// The arguments of logind's Inhibit call for each kind.
struct InhibitKind {
  const char* what;
  const char* mode;
};
inline constexpr InhibitKind kIdleInhibit{"idle", "block"};
inline constexpr InhibitKind kSleepDelayInhibit{"sleep", "delay"};

// The logind implementation over the system bus.
class LogindIdleSleepAssertion final : public IdleSleepAssertion {
 public:
  int64_t create(const std::string& who, const std::string& why) override;
  int64_t createSleepDelay(const std::string& who, const std::string& why) override;
  void release(int64_t id) override;
};

}  // namespace sonara::platform
