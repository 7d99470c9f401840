#include "engine/play/ring_buffer.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "platform/realtime_mutex.h"

extern "C" {

RingBuffer* createRingBuffer(uint64_t capacity) {
  if (capacity == 0 || capacity > SIZE_MAX / sizeof(float)) return nullptr;
  auto* ring = static_cast<RingBuffer*>(std::calloc(1, sizeof(RingBuffer)));
  if (!ring) return nullptr;
  ring->data = static_cast<float*>(std::calloc(capacity, sizeof(float)));
  if (!ring->data) {
    std::free(ring);
    return nullptr;
  }
  // The device's real-time thread takes this lock at every cycle.
  sonara::platform::initRealtimeMutex(&ring->mutex);
  ring->capacity = capacity;
  return ring;
}

void destroyRingBuffer(RingBuffer* ring) {
  if (!ring) return;
  std::free(ring->data);
  pthread_mutex_destroy(&ring->mutex);
  std::free(ring);
}

int lockRingBuffer(RingBuffer* ring) { return pthread_mutex_lock(&ring->mutex); }
int unlockRingBuffer(RingBuffer* ring) { return pthread_mutex_unlock(&ring->mutex); }

uint64_t getRingBufferInputLength(RingBuffer* ring) { return ring->capacity - ring->count; }
uint64_t getRingBufferOutputLength(RingBuffer* ring) { return ring->count; }

void copyRingBufferInput(RingBuffer* ring, const float* source, uint64_t n) {
  if (ring->count == ring->capacity || n == 0) return;
  uint64_t first = std::min(n, ring->capacity - ring->writeIndex);
  std::memcpy(ring->data + ring->writeIndex, source, first * sizeof(float));
  if (n > first) std::memcpy(ring->data, source + first, (n - first) * sizeof(float));
}

void copyRingBufferOutput(RingBuffer* ring, float* destination, uint64_t n) {
  if (ring->count == 0 || n == 0) return;
  uint64_t first = std::min(n, ring->capacity - ring->readIndex);
  std::memcpy(destination, ring->data + ring->readIndex, first * sizeof(float));
  if (n > first) std::memcpy(destination + first, ring->data, (n - first) * sizeof(float));
}

uint64_t forwordRingBufferInput(RingBuffer* ring, uint64_t n) {
  uint64_t next = ring->writeIndex + n;
  uint64_t wraps = next / ring->capacity;
  ring->writeIndex = next % ring->capacity;
  ring->count += n;
  return wraps;
}

uint64_t forwordRingBufferOutput(RingBuffer* ring, uint64_t n) {
  uint64_t next = ring->readIndex + n;
  uint64_t wraps = next / ring->capacity;
  ring->readIndex = next % ring->capacity;
  ring->count -= n;
  return wraps;
}

void clearRingBuffer(RingBuffer* ring) {
  ring->readIndex = 0;
  ring->writeIndex = 0;
  ring->count = 0;
}

}  // extern "C"
