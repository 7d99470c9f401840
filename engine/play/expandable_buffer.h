// An ever-growing buffer of 32-bit elements in pages of 16384, allocated 64 pages
// (about 4 MiB) at a time, so that appending never moves data already stored. Data
// is never removed; reading moves the head only. The caller holds the record's
// mutex around every call.
#pragma once

#include <pthread.h>

#include <cstdint>

#include "engine/api/constants.h"

extern "C" {

inline constexpr uint64_t kExpandablePageElements = 16384;
inline constexpr uint64_t kExpandableChunkPages = 64;

struct ExpandablePage {
  float data[kExpandablePageElements];
  ExpandablePage* next;
  uint64_t used;  // elements stored in this page
};
static_assert(sizeof(ExpandablePage) == 65552, "page layout");

// Chunk layout: one link word (the previous chunk), then 64 pages.
inline constexpr uint64_t kExpandableChunkBytes =
    sizeof(void*) + kExpandableChunkPages * sizeof(ExpandablePage);
static_assert(kExpandableChunkBytes == 4195336, "chunk layout");

struct ExpandableBuffer {
  void* chunkList;            // last allocated chunk
  ExpandablePage* freePages;  // unused pages
  ExpandablePage* firstPage;  // first page holding data
  ExpandablePage* tailPage;   // page being appended to
  uint64_t size;              // elements stored
  uint64_t headPos;           // read position, elements from the start
  ExpandablePage* headPage;   // page holding headPos
  pthread_mutex_t mutex;
};

SONARA_EXPORT ExpandableBuffer* createExpandableBuffer(void);
// 0, or -1 when memory is exhausted.
SONARA_EXPORT int newChunkExpandableBuffer(ExpandableBuffer* buffer);
SONARA_EXPORT void destroyExpandableBuffer(ExpandableBuffer* buffer);
SONARA_EXPORT int lockExpandableBuffer(ExpandableBuffer* buffer);
SONARA_EXPORT int unlockExpandableBuffer(ExpandableBuffer* buffer);
SONARA_EXPORT uint64_t getSizeOfExpandableBuffer(ExpandableBuffer* buffer);
// Elements appended: fewer than n when memory ran out.
SONARA_EXPORT uint64_t addTailExpandableBuffer(ExpandableBuffer* buffer, const float* source,
                                               uint64_t n);
// Copies up to n elements from the head on; the head does not move.
SONARA_EXPORT uint64_t copyFromHeadPosExpandableBuffer(ExpandableBuffer* buffer, float* destination,
                                                       uint64_t n);
SONARA_EXPORT uint64_t getRemainOfExpandableBuffer(ExpandableBuffer* buffer);
SONARA_EXPORT void resetHeadPosExpandableBuffer(ExpandableBuffer* buffer);
// Moves the head by up to n elements; returns how far it moved.
SONARA_EXPORT uint64_t forwardHeadPosExpandableBuffer(ExpandableBuffer* buffer, uint64_t n);
SONARA_EXPORT uint64_t getCurrentPosExpandableBuffer(ExpandableBuffer* buffer);

}  // extern "C"
