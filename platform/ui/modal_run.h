// A modal run: the main loop turns in 0.1 s slices until stopped from the main
// thread (a progress panel's run, for example).
#pragma once

#include <atomic>
#include <chrono>

#include "platform/main_loop.h"

namespace sonara::ui {

class ModalRun {
 public:
  explicit ModalRun(platform::MainLoop& loop) : loop_(loop) {}
  // Runs slices while the run continues; returns after stop().
  void run() {
    while (!stopped_.load()) loop_.runFor(std::chrono::milliseconds(100));
  }
  void stop() { stopped_.store(true); }
  bool continues() const { return !stopped_.load(); }

 private:
  platform::MainLoop& loop_;
  std::atomic<bool> stopped_{false};
};

}  // namespace sonara::ui
