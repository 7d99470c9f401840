// References the real-time thread lets go of without freeing anything there: it
// parks them in preallocated slots, and another thread drops them later.
#pragma once

#include <array>
#include <atomic>
#include <memory>

template <typename T, size_t N = 32>
class DeferredRelease {
 public:
  // Real-time safe: moves the reference into a free slot. When every slot is taken
  // the reference is dropped here after all (never happens with a drained list).
  void park(std::shared_ptr<T> ref) {
    for (auto& slot : slots_) {
      bool expected = false;
      if (slot.used.compare_exchange_strong(expected, true, std::memory_order_acquire)) {
        slot.ref = std::move(ref);
        slot.ready.store(true, std::memory_order_release);
        return;
      }
    }
  }
  // Drops the parked references; not for the real-time thread.
  void drain() {
    for (auto& slot : slots_) {
      if (slot.ready.load(std::memory_order_acquire)) {
        slot.ref.reset();
        slot.ready.store(false, std::memory_order_relaxed);
        slot.used.store(false, std::memory_order_release);
      }
    }
  }
  ~DeferredRelease() { drain(); }

 private:
  struct Slot {
    std::atomic<bool> used{false};
    std::atomic<bool> ready{false};
    std::shared_ptr<T> ref;
  };
  std::array<Slot, N> slots_;
};
