// Critical sections across threads: recursion, exclusion, and the ownerless kind.
#include "platform/windows/critsec.h"

#include <gtest/gtest.h>

#include <thread>

#include "platform/windows/kernel.h"

namespace {

// Answers whether another thread can enter the section right now (and leaves it again).
bool enterableElsewhere(CRITICAL_SECTION* cs) {
  bool entered = false;
  std::thread([&] {
    entered = TryEnterCriticalSection(cs) != 0;
    if (entered) LeaveCriticalSection(cs);
  }).join();
  return entered;
}

class CriticalSectionTest : public testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    if (GetParam())
      InitializeOwnerlessCriticalSection(&cs_);
    else
      InitializeCriticalSection(&cs_);
  }
  void TearDown() override { DeleteCriticalSection(&cs_); }
  CRITICAL_SECTION cs_;
};

TEST_P(CriticalSectionTest, HolderReentersAndOthersWaitForTheLastLeave) {
  EnterCriticalSection(&cs_);
  ASSERT_EQ(TryEnterCriticalSection(&cs_), 1);
  EXPECT_FALSE(enterableElsewhere(&cs_));
  LeaveCriticalSection(&cs_);
  EXPECT_FALSE(enterableElsewhere(&cs_));
  LeaveCriticalSection(&cs_);
  EXPECT_TRUE(enterableElsewhere(&cs_));
}

TEST_P(CriticalSectionTest, ExcludesConcurrentWriters) {
  constexpr int kThreads = 4, kRounds = 20000;
  long counter = 0;  // plain on purpose: only the section keeps the increments whole
  std::thread workers[kThreads];
  for (auto& w : workers)
    w = std::thread([&] {
      for (int i = 0; i < kRounds; ++i) {
        CriticalSectionLock lock(&cs_);
        long seen = counter;
        counter = seen + 1;
      }
    });
  for (auto& w : workers) w.join();
  EXPECT_EQ(counter, kThreads * kRounds);
}

INSTANTIATE_TEST_SUITE_P(Kinds, CriticalSectionTest, testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Ownerless" : "Recursive"; });

TEST(OwnerlessCriticalSection, EnteredOnOneThreadLeftOnAnother) {
  CRITICAL_SECTION cs;
  InitializeOwnerlessCriticalSection(&cs);
  std::thread([&] { EnterCriticalSection(&cs); }).join();
  EXPECT_FALSE(enterableElsewhere(&cs));
  EXPECT_EQ(TryEnterCriticalSection(&cs), 0);  // this thread is not the holder either

  // A waiter blocked on the section is released by a leave from a third thread.
  HANDLE entered = CreateEventA(nullptr, 1, 0, nullptr);
  std::thread waiter([&] {
    EnterCriticalSection(&cs);
    SetEvent(entered);
    LeaveCriticalSection(&cs);
  });
  EXPECT_EQ(WaitForSingleObject(entered, 50), WAIT_TIMEOUT);
  std::thread([&] { LeaveCriticalSection(&cs); }).join();
  EXPECT_EQ(WaitForSingleObject(entered, 10000), WAIT_OBJECT_0);
  waiter.join();
  EXPECT_TRUE(enterableElsewhere(&cs));
  CloseHandle(entered);
  DeleteCriticalSection(&cs);
}

}  // namespace
