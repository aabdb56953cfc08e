// The threading wrappers the XA worker is built from: the edges a caller of a
// multiple-object wait and a thread's liveness depends on.

#include "xa/osprim.h"

#include <gtest/gtest.h>

#include <atomic>

#include "platform/windows/thread.h"

namespace {

unsigned returnAtOnce(void*) { return 7; }

TEST(OsWaitSet, FullSetRefusesAndKeepsItsHandlesEmptySetFailsAtOnce) {
  OsWaitSet set;
  OsWaitSet_Init(&set);
  EXPECT_EQ(OsWaitSet_Wait(&set, 0), WAIT_FAILED);

  OsEvent events[OsWaitSet_Capacity + 1];
  for (OsEvent& e : events) ASSERT_NE(OsEvent_Create(&e, 0), nullptr);
  for (int i = 0; i < OsWaitSet_Capacity; ++i) EXPECT_EQ(OsWaitSet_AddEvent(&set, &events[i]), 1);
  EXPECT_EQ(OsWaitSet_AddEvent(&set, &events[OsWaitSet_Capacity]), 0);
  EXPECT_EQ(set.count, OsWaitSet_Capacity);
  // The index answered is the position of addition.
  ASSERT_EQ(OsEvent_Set(&events[OsWaitSet_Capacity - 1]), 1);
  EXPECT_EQ(OsWaitSet_Wait(&set, 0), WAIT_OBJECT_0 + OsWaitSet_Capacity - 1);
  for (OsEvent& e : events) OsEvent_Close(&e);
}

TEST(OsThread, NotAliveOnceEndedOrWhenNeverStarted) {
  OsThread never;
  EXPECT_EQ(OsThread_IsAlive(&never), 0);

  OsThreadStart start{returnAtOnce, nullptr};
  OsThread t;
  ASSERT_NE(OsThread_Start(&t, &start)->handle, nullptr);
  EXPECT_NE(t.threadId, 0u);
  EXPECT_EQ(OsThread_Join(&t), 1);
  EXPECT_EQ(OsThread_IsAlive(&t), 0);
  uint32_t code = 0;
  ASSERT_EQ(GetExitCodeThread(OsThread_Handle(&t), &code), 1);
  EXPECT_EQ(code, 7u);
  // Forced termination does not exist here: the caller learns it failed.
  EXPECT_EQ(OsThread_Terminate(&t, 0), 0);
  OsThread_Close(&t);
}

TEST(OsEvent, OneSetReleasesExactlyOneWait) {
  OsEvent e;
  ASSERT_NE(OsEvent_Create(&e, 0), nullptr);
  ASSERT_EQ(OsEvent_Set(&e), 1);
  EXPECT_EQ(OsEvent_Wait(&e), 1);
  // Auto-reset: a second wait would block.
  EXPECT_EQ(WaitForSingleObject(OsEvent_Handle(&e), 0), WAIT_TIMEOUT);
  OsEvent_Close(&e);

  OsSemaphore s;
  ASSERT_NE(OsSemaphore_Create(&s, 0, 1), nullptr);
  EXPECT_EQ(OsSemaphore_Release(&s), 1);
  EXPECT_EQ(OsSemaphore_Release(&s), 0);  // past its maximum
  EXPECT_EQ(OsSemaphore_Wait(&s), 1);
  EXPECT_EQ(WaitForSingleObject(OsSemaphore_Handle(&s), 0), WAIT_TIMEOUT);
  OsSemaphore_Close(&s);
}

}  // namespace
