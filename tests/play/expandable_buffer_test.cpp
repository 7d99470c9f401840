#include <gtest/gtest.h>

#include <cstring>
#include <numeric>

#include "engine/play/expandable_buffer.h"

namespace {

struct ExbDeleter {
  void operator()(ExpandableBuffer* b) const { destroyExpandableBuffer(b); }
};
using Exb = std::unique_ptr<ExpandableBuffer, ExbDeleter>;

std::vector<float> counting(size_t n, float from = 0) {
  std::vector<float> v(n);
  std::iota(v.begin(), v.end(), from);
  return v;
}

int freePages(const ExpandableBuffer* b) {
  int n = 0;
  for (auto* p = b->freePages; p; p = p->next) ++n;
  return n;
}

TEST(ExpandableBuffer, PagesFillExactlyAndChainInOrder) {
  Exb b(createExpandableBuffer());
  ASSERT_TRUE(b);
  EXPECT_EQ(freePages(b.get()), 64);
  auto data = counting(16384);
  EXPECT_EQ(addTailExpandableBuffer(b.get(), data.data(), data.size()), 16384u);
  EXPECT_EQ(b->tailPage->used, 16384u);  // one page, full
  EXPECT_EQ(freePages(b.get()), 63);
  float one = 1;
  addTailExpandableBuffer(b.get(), &one, 1);  // the next element opens a second page
  EXPECT_EQ(freePages(b.get()), 62);
  EXPECT_EQ(b->firstPage->next, b->tailPage);
  EXPECT_EQ(b->tailPage->used, 1u);
  std::vector<float> back(16385);
  EXPECT_EQ(copyFromHeadPosExpandableBuffer(b.get(), back.data(), back.size()), back.size());
  data.push_back(1);
  EXPECT_EQ(back, data);
}

TEST(ExpandableBuffer, GrowsByAnotherChunkAfterSixtyFourPages) {
  Exb b(createExpandableBuffer());
  void* first_chunk = b->chunkList;
  auto data = counting(64 * 16384 + 100);
  EXPECT_EQ(addTailExpandableBuffer(b.get(), data.data(), data.size()), data.size());
  EXPECT_NE(b->chunkList, first_chunk);
  void* link;
  std::memcpy(&link, b->chunkList, sizeof link);
  EXPECT_EQ(link, first_chunk);
  std::vector<float> out(data.size());
  EXPECT_EQ(copyFromHeadPosExpandableBuffer(b.get(), out.data(), out.size()), data.size());
  EXPECT_EQ(out, data);
}

TEST(ExpandableBuffer, HeadLandingOnAPageEndPointsAtTheNextPage) {
  Exb b(createExpandableBuffer());
  auto data = counting(3 * 16384);
  addTailExpandableBuffer(b.get(), data.data(), data.size());
  EXPECT_EQ(forwardHeadPosExpandableBuffer(b.get(), 16000), 16000u);
  EXPECT_EQ(b->headPage, b->firstPage);
  EXPECT_EQ(forwardHeadPosExpandableBuffer(b.get(), 384), 384u);  // exactly the rest
  EXPECT_EQ(b->headPage, b->firstPage->next);
  float x;
  ASSERT_EQ(copyFromHeadPosExpandableBuffer(b.get(), &x, 1), 1u);
  EXPECT_EQ(x, 16384.0f);
  // Moving across two boundaries at once.
  forwardHeadPosExpandableBuffer(b.get(), 2 * 16384 - 1);
  EXPECT_EQ(b->headPage, b->tailPage);
  EXPECT_EQ(getRemainOfExpandableBuffer(b.get()), 1u);
  EXPECT_EQ(forwardHeadPosExpandableBuffer(b.get(), 10), 1u);  // no further than the data
  EXPECT_EQ(getCurrentPosExpandableBuffer(b.get()), 3u * 16384);
}

TEST(ExpandableBuffer, HeadAtTheVeryEndFollowsNewData) {
  Exb b(createExpandableBuffer());
  auto data = counting(16384);
  addTailExpandableBuffer(b.get(), data.data(), data.size());
  forwardHeadPosExpandableBuffer(b.get(), 16384);
  auto more = counting(10, 16384);
  addTailExpandableBuffer(b.get(), more.data(), more.size());
  std::vector<float> out(10);
  ASSERT_EQ(copyFromHeadPosExpandableBuffer(b.get(), out.data(), 10), 10u);
  EXPECT_EQ(out, more);
  resetHeadPosExpandableBuffer(b.get());
  EXPECT_EQ(b->headPage, b->firstPage);
  EXPECT_EQ(getCurrentPosExpandableBuffer(b.get()), 0u);
}

}  // namespace
