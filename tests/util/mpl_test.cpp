#include "util/mpl.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

namespace {

class Pool : public testing::Test {
 protected:
  void SetUp() override { mpl_init(&pool); }
  void TearDown() override { mpl_destroy(&pool); }

  size_t chunk_size(const MemPoolChunk* c) const {
    return static_cast<size_t>(c->limit - reinterpret_cast<const char*>(c));
  }
  int chunks() const {
    int n = 0;
    for (MemPoolChunk* c = pool.head; c != nullptr; c = c->prev) ++n;
    return n;
  }
  char* build(const std::string& s) {
    mpl_append(&pool, s.data(), s.size());
    mpl_append_char(&pool, 0);
    return static_cast<char*>(mpl_finish(&pool));
  }

  MemPool pool;
};

bool aligned16(const void* p) { return reinterpret_cast<uintptr_t>(p) % 16 == 0; }

TEST_F(Pool, FirstAppendSizesTheChunk) {
  struct Case {
    size_t len;
    size_t chunk;
  } const cases[] = {{1, 4096}, {3996, 4096}, {3997, 8192}, {5000, 8192}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.len);
    MemPool p;
    mpl_init(&p);
    std::string data(c.len, 'x');
    void* at = mpl_append(&p, data.data(), data.size());
    EXPECT_EQ(chunk_size(p.head), c.chunk);
    EXPECT_TRUE(aligned16(at));
    EXPECT_EQ(memcmp(at, data.data(), c.len), 0);
    mpl_destroy(&p);
  }
}

TEST_F(Pool, AppendEndingAtLimitExpandsButAppendCharFillsTheLastByte) {
  mpl_append(&pool, "a", 1);
  MemPoolChunk* first = pool.head;
  size_t room = static_cast<size_t>(pool.limit - pool.next);
  std::string fill(room - 1, 'b');
  mpl_append(&pool, fill.data(), fill.size());  // leaves exactly one byte
  EXPECT_EQ(pool.head, first);
  mpl_append_char(&pool, 'c');  // takes the last byte without expanding
  EXPECT_EQ(pool.head, first);
  EXPECT_EQ(pool.next, pool.limit);
  mpl_append_char(&pool, 0);  // next has reached limit: expand
  EXPECT_NE(pool.head, first);
  char* s = static_cast<char*>(mpl_finish(&pool));
  EXPECT_EQ(strlen(s), room + 1);
  EXPECT_EQ(s[room], 'c');

  MemPool q;
  mpl_init(&q);
  mpl_append(&q, "a", 1);
  MemPoolChunk* qfirst = q.head;
  std::string exact(static_cast<size_t>(q.limit - q.next), 'x');
  mpl_append(&q, exact.data(), exact.size());  // next + len == limit
  EXPECT_NE(q.head, qfirst);
  mpl_destroy(&q);
}

TEST_F(Pool, FinishedObjectsStayAlignedAndUntouched) {
  char* a = build("first");
  char* b = build("second string");
  void* c = mpl_alloc(&pool, 3);
  EXPECT_TRUE(aligned16(a));
  EXPECT_TRUE(aligned16(b));
  EXPECT_TRUE(aligned16(c));
  EXPECT_EQ(b, a + 16);
  EXPECT_STREQ(a, "first");
  EXPECT_STREQ(b, "second string");
}

TEST_F(Pool, MovingTheOnlyObjectFreesItsChunkButNotOneWithFinishedObjects) {
  std::string big(3000, 'y');
  mpl_append(&pool, big.data(), big.size());
  mpl_append(&pool, big.data(), big.size());  // the object alone moves on
  EXPECT_EQ(chunks(), 1);
  mpl_append_char(&pool, 0);
  char* kept = static_cast<char*>(mpl_finish(&pool));
  mpl_append(&pool, big.data(), big.size());
  mpl_append(&pool, big.data(), big.size());  // old chunk holds kept: it stays
  EXPECT_EQ(chunks(), 2);
  EXPECT_EQ(strlen(kept), 6000u);
  EXPECT_EQ(mpl_object_size(&pool), 6000u);
}

TEST_F(Pool, ReleaseToMarks) {
  char* a = build("keep");
  mpl_append(&pool, "drop", 4);
  mpl_release(&pool, nullptr);
  EXPECT_EQ(mpl_object_size(&pool), 0u);
  EXPECT_STREQ(a, "keep");
  char* b = build("later");
  mpl_release(&pool, b);  // b and everything after it go
  EXPECT_EQ(pool.next, b);
  EXPECT_STREQ(a, "keep");
  int foreign;
  mpl_release(&pool, &foreign);
  MemPool zero{};
  EXPECT_EQ(memcmp(&pool, &zero, sizeof pool), 0);
}

TEST_F(Pool, DestroyOfAnUnusedPoolLeavesItZeroed) {
  mpl_destroy(&pool);
  MemPool zero{};
  EXPECT_EQ(memcmp(&pool, &zero, sizeof pool), 0);
  size_t size = 99;
  EXPECT_EQ(mpl_finish_size(&pool, &size), nullptr);
  EXPECT_EQ(size, 0u);
}

}  // namespace
