// Threads with exit codes, thread ids and thread-local storage.
#include "platform/windows/thread.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include "platform/windows/errors.h"
#include "platform/windows/kernel.h"

namespace {

constexpr uint32_t kLong = 10000;

struct Start {
  HANDLE release = nullptr;   // the thread ends once this is set (null: at once)
  HANDLE finished = nullptr;  // set as the entry returns, when given
  unsigned code = 0;
  uint32_t seenId = 0;
};

unsigned run(void* p) {
  auto* s = static_cast<Start*>(p);
  s->seenId = static_cast<uint32_t>(gettid());
  if (s->release) WaitForSingleObject(s->release, kLong);
  unsigned code = s->code;  // `s` may be gone once `finished` is set
  if (s->finished) SetEvent(s->finished);
  return code;
}

TEST(Thread, ExitCodeAfterTheEntryReturns) {
  for (unsigned code : {0u, 7u, 0xFFFFFFFEu}) {
    SCOPED_TRACE(code);
    Start s;
    s.code = code;
    unsigned id = 0;
    HANDLE t = _beginthreadex(nullptr, 0, run, &s, 0, &id);
    ASSERT_NE(t, nullptr);
    ASSERT_EQ(WaitForSingleObject(t, kLong), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(t, 0), WAIT_OBJECT_0);  // an ended thread stays signalled
    uint32_t exitCode = 1;
    ASSERT_EQ(GetExitCodeThread(t, &exitCode), 1);
    EXPECT_EQ(exitCode, code);
    EXPECT_EQ(id, s.seenId);
    EXPECT_NE(id, GetCurrentThreadId());
    EXPECT_EQ(CloseHandle(t), 1);
  }
}

TEST(Thread, StillActiveWhileRunning) {
  Start s;
  s.release = CreateEventA(nullptr, 1, 0, nullptr);
  s.code = 3;
  HANDLE t = _beginthreadex(nullptr, 64 * 1024, run, &s, 0, nullptr);
  ASSERT_NE(t, nullptr);
  uint32_t exitCode = 0;
  ASSERT_EQ(GetExitCodeThread(t, &exitCode), 1);
  EXPECT_EQ(exitCode, STILL_ACTIVE);
  EXPECT_EQ(WaitForSingleObject(t, 20), WAIT_TIMEOUT);
  EXPECT_EQ(TerminateThread(t, 9), 0);
  EXPECT_EQ(GetLastError(), static_cast<uint32_t>(ERROR_NOT_SUPPORTED));
  SetEvent(s.release);
  ASSERT_EQ(WaitForSingleObject(t, kLong), WAIT_OBJECT_0);
  ASSERT_EQ(GetExitCodeThread(t, &exitCode), 1);
  EXPECT_EQ(exitCode, 3u);
  CloseHandle(t);
  CloseHandle(s.release);
}

TEST(Thread, HandleClosedBeforeTheThreadEnds) {
  Start s;
  s.release = CreateEventA(nullptr, 1, 0, nullptr);
  HANDLE t = _beginthreadex(nullptr, 0, run, &s, 0, nullptr);
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(CloseHandle(t), 1);
  uint32_t exitCode = 0;
  EXPECT_EQ(GetExitCodeThread(t, &exitCode), 0);
  // The thread still runs on its own reference; it must end cleanly without its handle.
  s.finished = CreateEventA(nullptr, 1, 0, nullptr);
  SetEvent(s.release);
  EXPECT_EQ(WaitForSingleObject(s.finished, kLong), WAIT_OBJECT_0);
  CloseHandle(s.finished);
  CloseHandle(s.release);
}

TEST(Thread, RefusesWhatItCannotDo) {
  Start s;
  EXPECT_EQ(_beginthreadex(nullptr, 0, nullptr, &s, 0, nullptr), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<uint32_t>(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(_beginthreadex(nullptr, 0, run, &s, 4 /* suspended */, nullptr), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<uint32_t>(ERROR_NOT_SUPPORTED));
}

TEST(ThreadId, IsTheKernelId) { EXPECT_EQ(GetCurrentThreadId(), static_cast<uint32_t>(gettid())); }

unsigned storeAndRead(void* p) {
  auto slot = *static_cast<uint32_t*>(p);
  if (TlsGetValue(slot) != nullptr) return 1;  // a new thread starts with null
  int local = 0;
  TlsSetValue(slot, &local);
  return TlsGetValue(slot) == &local ? 0 : 2;
}

TEST(ThreadLocalStorage, EachThreadHasItsOwnValue) {
  uint32_t slot = TlsAlloc();
  ASSERT_NE(slot, TLS_OUT_OF_INDEXES);
  int mine = 0;
  ASSERT_EQ(TlsSetValue(slot, &mine), 1);
  HANDLE t = _beginthreadex(nullptr, 0, storeAndRead, &slot, 0, nullptr);
  ASSERT_EQ(WaitForSingleObject(t, kLong), WAIT_OBJECT_0);
  uint32_t code = 9;
  GetExitCodeThread(t, &code);
  EXPECT_EQ(code, 0u);
  CloseHandle(t);
  SetLastError(ERROR_INVALID_HANDLE);
  EXPECT_EQ(TlsGetValue(slot), &mine);
  EXPECT_EQ(GetLastError(), static_cast<uint32_t>(ERROR_SUCCESS));
  EXPECT_EQ(TlsFree(slot), 1);
  EXPECT_EQ(TlsSetValue(TLS_OUT_OF_INDEXES, &mine), 0);
}

}  // namespace
