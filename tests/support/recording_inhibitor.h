// Stands in for logind's inhibitor locks: counts what is held of each kind.
#pragma once

#include <atomic>
#include <map>
#include <mutex>

#include "platform/idle_sleep.h"

class RecordingInhibitor : public sonara::platform::IdleSleepAssertion {
 public:
  int64_t create(const std::string&, const std::string&) override { return take(false); }
  int64_t createSleepDelay(const std::string&, const std::string&) override { return take(true); }
  void release(int64_t id) override {
    std::lock_guard lock(mutex_);
    held_.erase(id);
  }
  int idleHeld() const { return count(false); }
  int sleepDelaysHeld() const { return count(true); }

 private:
  int64_t take(bool delay) {
    std::lock_guard lock(mutex_);
    held_[next_] = delay;
    return next_++;
  }
  int count(bool delay) const {
    std::lock_guard lock(mutex_);
    int n = 0;
    for (const auto& [id, d] : held_) n += d == delay;
    return n;
  }
  mutable std::mutex mutex_;
  std::map<int64_t, bool> held_;
  int64_t next_ = 100;
};
