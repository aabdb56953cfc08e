#pragma once
// osprim.h -- the threads, events, semaphores, multiple-object waits and
// critical sections the distributed-transaction support is built from: thin
// value wrappers that hide nothing but the handle.
// Every wait is infinite, every object unnamed; no wrapper logs or reports
// anything beyond its result. The records are plain values: their owner closes
// the handles (the _Close calls) before the memory goes away.
// Threading: no locking of their own; any thread may call them. An OsScopedLock
// is left on the thread that entered it.

#include <cstdint>

#include "platform/windows/critsec.h"
#include "platform/windows/kernel.h"

struct OsThreadStart {
  unsigned (*entry)(void* argument);  // its answer is the thread's exit code
  void* argument;
};

struct OsThread {
  HANDLE handle = nullptr;         // null when the thread failed to start
  OsThreadStart* start = nullptr;  // borrowed: the creator keeps it for the thread's life
  uint32_t threadId = 0;
};

struct OsEvent {
  HANDLE handle = nullptr;  // always an auto-reset event
};

struct OsSemaphore {
  HANDLE handle = nullptr;
};

// The handles of one multiple-object wait, borrowed from their objects.
inline constexpr int32_t OsWaitSet_Capacity = 64;
struct OsWaitSet {
  HANDLE items[OsWaitSet_Capacity] = {};
  int32_t count = 0;
};
static_assert(OsWaitSet_Capacity == static_cast<int32_t>(MAXIMUM_WAIT_OBJECTS));

// Starts start->entry(start->argument) at once; a failed start leaves the handle null.
OsThread* OsThread_Start(OsThread* thread, OsThreadStart* start);
// 1 once the thread has ended, 0 when the wait failed.
int OsThread_Join(OsThread* thread);
// Forced termination is not available on this platform: answers 0 and the
// thread runs on.
int OsThread_Terminate(OsThread* thread, uint32_t exitCode);
// 1 while the thread runs; 0 once it has ended or when it never started.
int OsThread_IsAlive(const OsThread* thread);
HANDLE OsThread_Handle(const OsThread* thread);
void OsThread_Close(OsThread* thread);

HANDLE OsEvent_Create(OsEvent* event, int initiallySignalled);
int OsEvent_Set(OsEvent* event);
// 1 when signalled (the event is then reset), 0 when the wait failed.
int OsEvent_Wait(OsEvent* event);
HANDLE OsEvent_Handle(const OsEvent* event);
void OsEvent_Close(OsEvent* event);

HANDLE OsSemaphore_Create(OsSemaphore* semaphore, int32_t initialCount, int32_t maximumCount);
// Raises the count by one; 0 when it would pass the maximum.
int OsSemaphore_Release(OsSemaphore* semaphore);
int OsSemaphore_Wait(OsSemaphore* semaphore);
HANDLE OsSemaphore_Handle(const OsSemaphore* semaphore);
void OsSemaphore_Close(OsSemaphore* semaphore);

void OsWaitSet_Init(OsWaitSet* set);
// 1, or 0 when the set is full (it is then unchanged). The index of a handle is
// its position of addition.
int OsWaitSet_AddEvent(OsWaitSet* set, const OsEvent* event);
int OsWaitSet_AddSemaphore(OsWaitSet* set, const OsSemaphore* semaphore);
int OsWaitSet_AddThread(OsWaitSet* set, const OsThread* thread);
// WAIT_OBJECT_0 + the index of the handle that ended the wait (waiting for any),
// WAIT_OBJECT_0 (waiting for all), or WAIT_FAILED; an empty set answers
// WAIT_FAILED at once without waiting.
uint32_t OsWaitSet_Wait(const OsWaitSet* set, int waitAll);

void OsCriticalSection_Init(CRITICAL_SECTION* section);
void OsCriticalSection_Delete(CRITICAL_SECTION* section);
void OsCriticalSection_Enter(CRITICAL_SECTION* section);
void OsCriticalSection_Leave(CRITICAL_SECTION* section);

// A process-wide section, made before first use and never deleted, so that a
// late caller (the library's detach) still finds it.
class OsProcessLock {
 public:
  OsProcessLock() { OsCriticalSection_Init(&section_); }
  CRITICAL_SECTION* get() { return &section_; }

 private:
  CRITICAL_SECTION section_;
};

// Holds a section for the life of a scope: the driver's one guard type.
using OsScopedLock = CriticalSectionLock;
