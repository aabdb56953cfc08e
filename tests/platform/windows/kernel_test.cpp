// Events, semaphores, mutexes and the waits on them.
#include "platform/windows/kernel.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

#include "platform/windows/errors.h"

namespace {

constexpr uint32_t kLong = 10000;  // bounds a wait that must succeed; never reached when correct

// Owns a handle for one test.
struct Handle {
  explicit Handle(HANDLE h) : h(h) {}
  ~Handle() {
    if (h) CloseHandle(h);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  HANDLE h;
};

// Owns a list of handles for one test.
struct HandleList {
  ~HandleList() {
    for (HANDLE h : hs) CloseHandle(h);
  }
  std::vector<HANDLE> hs;
};

TEST(Event, AutoResetReleasesOneWaitManualResetStaysSet) {
  struct Case {
    int manual;
    uint32_t secondWait;
  };
  for (Case c : {Case{0, WAIT_TIMEOUT}, Case{1, WAIT_OBJECT_0}}) {
    SCOPED_TRACE(c.manual);
    Handle e(CreateEventA(nullptr, c.manual, 0, nullptr));
    ASSERT_NE(e.h, nullptr);
    EXPECT_EQ(WaitForSingleObject(e.h, 0), WAIT_TIMEOUT);
    ASSERT_EQ(SetEvent(e.h), 1);
    EXPECT_EQ(WaitForSingleObject(e.h, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(e.h, 0), c.secondWait);
    ASSERT_EQ(ResetEvent(e.h), 1);
    EXPECT_EQ(WaitForSingleObject(e.h, 0), WAIT_TIMEOUT);
  }
  Handle initiallySet(CreateEventA(nullptr, 0, 1, nullptr));
  EXPECT_EQ(WaitForSingleObject(initiallySet.h, 0), WAIT_OBJECT_0);
}

TEST(Event, SetFromAnotherThreadWakesTheWaiter) {
  Handle e(CreateEventA(nullptr, 0, 0, nullptr));
  std::thread setter([&] { SetEvent(e.h); });
  EXPECT_EQ(WaitForSingleObject(e.h, kLong), WAIT_OBJECT_0);
  setter.join();
}

TEST(Event, TimeoutExpires) {
  Handle e(CreateEventA(nullptr, 1, 0, nullptr));
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(WaitForSingleObject(e.h, 30), WAIT_TIMEOUT);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(30));
}

TEST(Semaphore, CountsDownAndRefusesToPassItsMaximum) {
  Handle s(CreateSemaphoreA(nullptr, 1, 3, nullptr));
  ASSERT_NE(s.h, nullptr);
  int32_t previous = -1;
  ASSERT_EQ(ReleaseSemaphore(s.h, 2, &previous), 1);
  EXPECT_EQ(previous, 1);
  EXPECT_EQ(ReleaseSemaphore(s.h, 1, &previous), 0);
  EXPECT_EQ(GetLastError(), static_cast<uint32_t>(ERROR_TOO_MANY_POSTS));
  for (int i = 0; i < 3; ++i) EXPECT_EQ(WaitForSingleObject(s.h, 0), WAIT_OBJECT_0) << i;
  EXPECT_EQ(WaitForSingleObject(s.h, 0), WAIT_TIMEOUT);
  EXPECT_EQ(ReleaseSemaphore(s.h, 0, nullptr), 0);
  EXPECT_EQ(ReleaseSemaphore(s.h, 3, nullptr), 1);
}

TEST(Semaphore, BadLimitsAreRefused) {
  struct Case {
    int32_t initial, maximum;
  };
  for (Case c : {Case{0, 0}, Case{-1, 1}, Case{2, 1}}) {
    SCOPED_TRACE(testing::Message() << c.initial << "/" << c.maximum);
    EXPECT_EQ(CreateSemaphoreA(nullptr, c.initial, c.maximum, nullptr), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<uint32_t>(ERROR_INVALID_PARAMETER));
  }
}

TEST(Mutex, RecursiveForItsOwnerOnlyTheOwnerReleases) {
  Handle m(CreateMutexA(nullptr, 1, nullptr));
  ASSERT_NE(m.h, nullptr);
  EXPECT_EQ(WaitForSingleObject(m.h, 0), WAIT_OBJECT_0);  // depth 2
  uint32_t otherWait = 0;
  int otherRelease = -1;
  std::thread([&] {
    otherWait = WaitForSingleObject(m.h, 0);
    otherRelease = ReleaseMutex(m.h);
  }).join();
  EXPECT_EQ(otherWait, WAIT_TIMEOUT);
  EXPECT_EQ(otherRelease, 0);
  EXPECT_EQ(ReleaseMutex(m.h), 1);
  std::thread([&] { otherWait = WaitForSingleObject(m.h, 0); }).join();
  EXPECT_EQ(otherWait, WAIT_TIMEOUT);  // still held once
  EXPECT_EQ(ReleaseMutex(m.h), 1);
  EXPECT_EQ(ReleaseMutex(m.h), 0);
  EXPECT_EQ(GetLastError(), static_cast<uint32_t>(ERROR_NOT_OWNER));

  // Handed over: the waiter gets it once the owner lets go.
  ASSERT_EQ(WaitForSingleObject(m.h, 0), WAIT_OBJECT_0);
  std::thread waiter([&] {
    otherWait = WaitForSingleObject(m.h, kLong);
    otherRelease = ReleaseMutex(m.h);
  });
  ReleaseMutex(m.h);
  waiter.join();
  EXPECT_EQ(otherWait, WAIT_OBJECT_0);
  EXPECT_EQ(otherRelease, 1);
}

TEST(WaitMany, AnyAnswersTheLowestSignalledIndexAndTakesOnlyIt) {
  HandleList events;
  auto& hs = events.hs;
  for (int i = 0; i < 4; ++i) hs.push_back(CreateEventA(nullptr, 0, 0, nullptr));
  EXPECT_EQ(WaitForMultipleObjects(4, hs.data(), 0, 0), WAIT_TIMEOUT);
  SetEvent(hs[3]);
  SetEvent(hs[1]);
  EXPECT_EQ(WaitForMultipleObjects(4, hs.data(), 0, 0), WAIT_OBJECT_0 + 1);
  EXPECT_EQ(WaitForMultipleObjects(4, hs.data(), 0, 0), WAIT_OBJECT_0 + 3);
  EXPECT_EQ(WaitForMultipleObjects(4, hs.data(), 0, 0), WAIT_TIMEOUT);

  std::thread setter([&] { SetEvent(hs[2]); });
  EXPECT_EQ(WaitForMultipleObjects(4, hs.data(), 0, kLong), WAIT_OBJECT_0 + 2);
  setter.join();
}

TEST(WaitMany, AllTakesEveryObjectAtOnceOrNone) {
  Handle e(CreateEventA(nullptr, 0, 1, nullptr));
  Handle s(CreateSemaphoreA(nullptr, 0, 1, nullptr));
  HANDLE hs[] = {e.h, s.h};
  EXPECT_EQ(WaitForMultipleObjects(2, hs, 1, 20), WAIT_TIMEOUT);
  EXPECT_EQ(WaitForSingleObject(e.h, 0), WAIT_OBJECT_0);  // the event was not taken
  SetEvent(e.h);

  std::thread releaser([&] { ReleaseSemaphore(s.h, 1, nullptr); });
  EXPECT_EQ(WaitForMultipleObjects(2, hs, 1, kLong), WAIT_OBJECT_0);
  releaser.join();
  EXPECT_EQ(WaitForSingleObject(e.h, 0), WAIT_TIMEOUT);
  EXPECT_EQ(WaitForSingleObject(s.h, 0), WAIT_TIMEOUT);

  HANDLE twice[] = {e.h, e.h};
  EXPECT_EQ(WaitForMultipleObjects(2, twice, 1, 0), WAIT_FAILED);
  EXPECT_EQ(GetLastError(), static_cast<uint32_t>(ERROR_INVALID_PARAMETER));
}

TEST(WaitMany, SixtyFourObjectsAndNoMore) {
  HandleList sems;
  auto& hs = sems.hs;
  for (uint32_t i = 0; i <= MAXIMUM_WAIT_OBJECTS; ++i)
    hs.push_back(CreateSemaphoreA(nullptr, 0, 1, nullptr));
  std::thread releaser([&] { ReleaseSemaphore(hs[63], 1, nullptr); });
  EXPECT_EQ(WaitForMultipleObjects(64, hs.data(), 0, kLong), WAIT_OBJECT_0 + 63);
  releaser.join();
  for (HANDLE h : hs) ReleaseSemaphore(h, 1, nullptr);
  EXPECT_EQ(WaitForMultipleObjects(64, hs.data(), 1, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(hs[64], 0), WAIT_OBJECT_0);  // not part of the wait for all
  for (uint32_t n : {0u, MAXIMUM_WAIT_OBJECTS + 1}) {
    SCOPED_TRACE(n);
    EXPECT_EQ(WaitForMultipleObjects(n, hs.data(), 0, 0), WAIT_FAILED);
    EXPECT_EQ(GetLastError(), static_cast<uint32_t>(ERROR_INVALID_PARAMETER));
  }
}

TEST(Handles, ClosedOrForeignHandlesAreRefused) {
  HANDLE e = CreateEventA(nullptr, 0, 0, nullptr);
  ASSERT_EQ(CloseHandle(e), 1);
  EXPECT_EQ(CloseHandle(e), 0);
  EXPECT_EQ(SetEvent(e), 0);
  EXPECT_EQ(GetLastError(), static_cast<uint32_t>(ERROR_INVALID_HANDLE));
  EXPECT_EQ(WaitForSingleObject(e, 0), WAIT_FAILED);
  EXPECT_EQ(WaitForSingleObject(nullptr, 0), WAIT_FAILED);

  Handle s(CreateSemaphoreA(nullptr, 0, 1, nullptr));
  EXPECT_EQ(SetEvent(s.h), 0);  // a semaphore is no event
  EXPECT_EQ(ReleaseMutex(s.h), 0);
  EXPECT_EQ(CreateEventA(nullptr, 0, 0, "named"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<uint32_t>(ERROR_NOT_SUPPORTED));
}

}  // namespace
