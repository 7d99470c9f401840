// A fixed-size ring of 32-bit elements between one producer and one consumer. The
// caller holds the record's mutex around every call that touches the indices.
#pragma once

#include <pthread.h>

#include <cstdint>

#include "engine/api/constants.h"

extern "C" {

struct RingBuffer {
  pthread_mutex_t mutex;
  uint64_t capacity;    // elements, fixed at creation
  uint64_t readIndex;   // next element to take out
  uint64_t writeIndex;  // next element to put in
  uint64_t count;       // elements stored
  float* data;          // capacity elements, zero-filled at creation
};

// Nothing when memory cannot be had or the capacity is 0.
SONARA_EXPORT RingBuffer* createRingBuffer(uint64_t capacity);
SONARA_EXPORT void destroyRingBuffer(RingBuffer* ring);
SONARA_EXPORT int lockRingBuffer(RingBuffer* ring);
SONARA_EXPORT int unlockRingBuffer(RingBuffer* ring);
// Free space: capacity - count.
SONARA_EXPORT uint64_t getRingBufferInputLength(RingBuffer* ring);
// Elements stored.
SONARA_EXPORT uint64_t getRingBufferOutputLength(RingBuffer* ring);
// Copies n <= free space elements in at the write index, wrapping at the end; the
// indices do not move. Nothing when the ring is full.
SONARA_EXPORT void copyRingBufferInput(RingBuffer* ring, const float* source, uint64_t n);
// Copies n <= count elements out from the read index, wrapping at the end; the
// indices do not move. Nothing when the ring is empty.
SONARA_EXPORT void copyRingBufferOutput(RingBuffer* ring, float* destination, uint64_t n);
// Moves an index by n; returns how often it wrapped (0 or 1).
SONARA_EXPORT uint64_t forwordRingBufferInput(RingBuffer* ring, uint64_t n);
SONARA_EXPORT uint64_t forwordRingBufferOutput(RingBuffer* ring, uint64_t n);
SONARA_EXPORT void clearRingBuffer(RingBuffer* ring);

}  // extern "C"
