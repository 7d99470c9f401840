#include "engine/play/expandable_buffer.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

extern "C" {

ExpandableBuffer* createExpandableBuffer(void) {
  auto* b = static_cast<ExpandableBuffer*>(std::calloc(1, sizeof(ExpandableBuffer)));
  if (!b) return nullptr;
  if (pthread_mutex_init(&b->mutex, nullptr) != 0) {
    std::free(b);
    return nullptr;
  }
  if (newChunkExpandableBuffer(b) != 0) {
    pthread_mutex_destroy(&b->mutex);
    std::free(b);
    return nullptr;
  }
  return b;
}

int newChunkExpandableBuffer(ExpandableBuffer* b) {
  auto* chunk = static_cast<unsigned char*>(std::calloc(1, kExpandableChunkBytes));
  if (!chunk) return -1;
  std::memcpy(chunk, &b->chunkList, sizeof(void*));
  b->chunkList = chunk;
  // Pushed in order, so the chunk's last page comes out first.
  for (uint64_t i = 0; i < kExpandableChunkPages; ++i) {
    auto* page = reinterpret_cast<ExpandablePage*>(chunk + sizeof(void*) + i * sizeof(ExpandablePage));
    page->next = b->freePages;
    b->freePages = page;
  }
  return 0;
}

void destroyExpandableBuffer(ExpandableBuffer* b) {
  if (!b) return;
  void* chunk = b->chunkList;
  while (chunk) {
    void* previous;
    std::memcpy(&previous, chunk, sizeof(void*));
    std::free(chunk);
    chunk = previous;
  }
  pthread_mutex_destroy(&b->mutex);
  std::free(b);
}

int lockExpandableBuffer(ExpandableBuffer* b) { return pthread_mutex_lock(&b->mutex); }
int unlockExpandableBuffer(ExpandableBuffer* b) { return pthread_mutex_unlock(&b->mutex); }
uint64_t getSizeOfExpandableBuffer(ExpandableBuffer* b) { return b->size; }
uint64_t getRemainOfExpandableBuffer(ExpandableBuffer* b) { return b->size - b->headPos; }
uint64_t getCurrentPosExpandableBuffer(ExpandableBuffer* b) { return b->headPos; }

uint64_t addTailExpandableBuffer(ExpandableBuffer* b, const float* source, uint64_t n) {
  uint64_t appended = 0;
  while (appended < n) {
    if (!b->tailPage || b->tailPage->used == kExpandablePageElements) {
      if (!b->freePages && newChunkExpandableBuffer(b) != 0) break;
      ExpandablePage* page = b->freePages;
      b->freePages = page->next;
      page->next = nullptr;
      page->used = 0;
      if (b->tailPage) b->tailPage->next = page;
      b->tailPage = page;
      if (!b->firstPage) {
        b->firstPage = page;
        b->headPage = page;
      } else if (!b->headPage) {
        // The head sat exactly at the end of the last full page.
        b->headPage = page;
      }
    }
    ExpandablePage* tail = b->tailPage;
    uint64_t take = std::min(kExpandablePageElements - tail->used, n - appended);
    std::memcpy(tail->data + tail->used, source + appended, take * sizeof(float));
    tail->used += take;
    b->size += take;
    appended += take;
  }
  return appended;
}

uint64_t copyFromHeadPosExpandableBuffer(ExpandableBuffer* b, float* destination, uint64_t n) {
  uint64_t total = std::min(n, b->size - b->headPos);
  uint64_t copied = 0;
  ExpandablePage* page = b->headPage;
  uint64_t offset = b->headPos % kExpandablePageElements;
  while (copied < total && page) {
    uint64_t take = std::min(total - copied, kExpandablePageElements - offset);
    std::memcpy(destination + copied, page->data + offset, take * sizeof(float));
    copied += take;
    page = page->next;
    offset = 0;
  }
  return copied;
}

void resetHeadPosExpandableBuffer(ExpandableBuffer* b) {
  b->headPos = 0;
  b->headPage = b->firstPage;
}

uint64_t forwardHeadPosExpandableBuffer(ExpandableBuffer* b, uint64_t n) {
  uint64_t m = std::min(n, b->size - b->headPos);
  uint64_t boundaries = (b->headPos % kExpandablePageElements + m) / kExpandablePageElements;
  for (uint64_t i = 0; i < boundaries && b->headPage; ++i) b->headPage = b->headPage->next;
  b->headPos += m;
  return m;
}

}  // extern "C"
