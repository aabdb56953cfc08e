#include "util/handle.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace {

class Handles : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(HandleTableInit(&table, 0x0DBC0000u | HTAG_DBC), 0);
    HandleTableEnableLock(&table);
  }
  void TearDown() override { HandleTableDestroy(&table); }

  HandleTable table{};
  int records[8] = {};
};

TEST_F(Handles, ValuesCarryTheTagAndTheLowestFreeIndexIsReused) {
  uint32_t h0, h1, h2;
  ASSERT_EQ(HandleAlloc(&table, &h0, &records[0]), 0);
  ASSERT_EQ(HandleAlloc(&table, &h1, &records[1]), 0);
  EXPECT_EQ(h0, 0x20000u);
  EXPECT_EQ(h1, 0x20001u);
  HandleFree(&table, h0);
  EXPECT_EQ(HandleLookup(&table, h0), nullptr);
  ASSERT_EQ(HandleAlloc(&table, &h2, &records[2]), 0);
  EXPECT_EQ(h2, h0);
  EXPECT_EQ(HandleLookup(&table, h0), &records[2]);  // the stale value finds the new record
  EXPECT_EQ(HandleLookup(&table, h1), &records[1]);
}

TEST_F(Handles, ForeignAndMadeUpValuesResolveToNull) {
  uint32_t h;
  ASSERT_EQ(HandleAlloc(&table, &h, &records[0]), 0);
  for (uint32_t bad : {0u, 0x0000FFFFu, 0x00010000u, 0x00030000u, 0x00020001u, 0x00020005u,
                       0xAAAA0000u, 0x0002FFFFu}) {
    SCOPED_TRACE(bad);
    EXPECT_EQ(HandleLookup(&table, bad), nullptr);
    HandleFree(&table, bad);  // ignored
  }
  EXPECT_EQ(HandleLookup(&table, h), &records[0]);
  EXPECT_EQ(table.freeCount, 4);
  HandleFree(&table, h);
  HandleFree(&table, h);  // already free: no change
  EXPECT_EQ(table.freeCount, 5);
  EXPECT_EQ(HandleLookup(nullptr, h), nullptr);
}

TEST_F(Handles, TagZeroIsStoredAsAllOnes) {
  HandleTable t{};
  ASSERT_EQ(HandleTableInit(&t, 0x0DBC0000u), 0);
  uint32_t h;
  ASSERT_EQ(HandleAlloc(&t, &h, &records[0]), 0);
  EXPECT_EQ(h, 0xFFFF0000u);
  EXPECT_EQ(HandleLookup(&t, 0), nullptr);
  HandleTableDestroy(&t);
}

TEST_F(Handles, GrowsByFiveUpToTheLimit) {
  uint32_t h = 0;
  for (uint32_t i = 0; i < 65535; ++i) {
    ASSERT_EQ(HandleAlloc(&table, &h, &records[0]), 0) << i;
    if (i == 5) {
      EXPECT_EQ(table.capacity, 10);
    }
  }
  EXPECT_EQ(table.capacity, 65535);
  EXPECT_EQ(h, 0x2FFFEu);
  h = 123;
  EXPECT_EQ(HandleAlloc(&table, &h, &records[1]), HT_ERR_HANDLE_LIMIT);
  EXPECT_EQ(h, 0u);
  HandleFree(&table, 0x20007u);
  ASSERT_EQ(HandleAlloc(&table, &h, &records[1]), 0);
  EXPECT_EQ(h, 0x20007u);
}

TEST_F(Handles, DestroyedTableAnswersNothing) {
  uint32_t h;
  ASSERT_EQ(HandleAlloc(&table, &h, &records[0]), 0);
  HandleTableDestroy(&table);
  EXPECT_EQ(HandleLookup(&table, h), nullptr);
  HandleFree(&table, h);
  EXPECT_EQ(table.capacity, 0);
  // Initialising an initialised table is safe too.
  ASSERT_EQ(HandleTableInit(&table, HTAG_STMT), 0);
  ASSERT_EQ(HandleTableInit(&table, HTAG_STMT), 0);
  HandleTableEnableLock(&table);
}

TEST_F(Handles, ThreadsAllocateLookUpAndFreeAtOnce) {
  constexpr int kThreads = 4;
  constexpr int kRounds = 2000;
  std::atomic<int> wrong{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < kRounds; ++i) {
        uint32_t h;
        if (HandleAlloc(&table, &h, &records[t]) != 0) {
          ++wrong;
          continue;
        }
        if (HandleLookup(&table, h) != &records[t]) ++wrong;
        HandleFree(&table, h);
      }
    });
  }
  for (auto& th : threads) th.join();
  EXPECT_EQ(wrong.load(), 0);
  EXPECT_EQ(table.freeCount, table.capacity);
}

}  // namespace
