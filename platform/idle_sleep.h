// Keeps the system from idle sleep while audio plays: a systemd-logind inhibitor
// lock ("sleep:idle", mode "block"); the held file descriptor is the assertion.
#pragma once

#include <cstdint>
#include <string>

namespace sonara::platform {

class IdleSleepAssertion {
 public:
  virtual ~IdleSleepAssertion() = default;
  // Takes an assertion; returns its id (> 0) or a negative errno-style code.
  virtual int64_t create(const std::string& who, const std::string& why) = 0;
  virtual void release(int64_t id) = 0;
};

// The logind implementation over the system bus.
class LogindIdleSleepAssertion final : public IdleSleepAssertion {
 public:
  int64_t create(const std::string& who, const std::string& why) override;
  void release(int64_t id) override;
};

}  // namespace sonara::platform
