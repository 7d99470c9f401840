// Bounded waits for tests: a condition that never comes true fails the test instead
// of hanging it.
#pragma once

#include <chrono>
#include <thread>

// Waits until `done` holds; false when it did not within `seconds`.
template <typename F>
bool waitFor(F done, int seconds = 20) {
  auto until = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (!done()) {
    if (std::chrono::steady_clock::now() > until) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}
