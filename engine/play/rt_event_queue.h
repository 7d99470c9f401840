// Events from the real-time thread to an ordinary one, without allocating, freeing or
// locking on the real-time side: a single-producer, single-consumer ring of
// preallocated slots, and a semaphore to wake the consumer.
#pragma once

#include <semaphore.h>

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>

template <typename Payload, size_t N = 64>
class RtEventQueue {
 public:
  struct Event {
    int kind = 0;
    std::shared_ptr<Payload> payload;
  };

  RtEventQueue() { sem_init(&ready_, 0, 0); }
  ~RtEventQueue() { sem_destroy(&ready_); }

  // Producer (real-time thread). False when the ring is full.
  bool push(int kind, std::shared_ptr<Payload> payload) {
    uint64_t head = head_.load(std::memory_order_relaxed);
    if (head - tail_.load(std::memory_order_acquire) >= N) return false;
    Event& e = slots_[head % N];
    e.kind = kind;
    e.payload = std::move(payload);
    head_.store(head + 1, std::memory_order_release);
    sem_post(&ready_);
    return true;
  }
  // Wakes the consumer without an event (to make it look at its stop flag).
  void wake() { sem_post(&ready_); }

  // Consumer: waits for the next wake-up, then takes every event there is.
  template <typename F>
  void waitAndDrain(F&& handle) {
    while (sem_wait(&ready_) != 0) {
    }
    drain(handle);
  }
  template <typename F>
  void drain(F&& handle) {
    uint64_t tail = tail_.load(std::memory_order_relaxed);
    while (tail != head_.load(std::memory_order_acquire)) {
      Event e = std::move(slots_[tail % N]);
      slots_[tail % N].payload.reset();
      tail_.store(++tail, std::memory_order_release);
      handle(e);
    }
  }

 private:
  std::array<Event, N> slots_;
  std::atomic<uint64_t> head_{0};
  std::atomic<uint64_t> tail_{0};
  sem_t ready_;
};
