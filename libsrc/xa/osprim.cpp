// osprim.cpp -- the distributed-transaction support's threading wrappers over
// the platform's kernel objects.

#include "xa/osprim.h"

#include "platform/windows/thread.h"

namespace {

unsigned trampoline(void* argument) {
  const OsThreadStart* start = static_cast<const OsThreadStart*>(argument);
  return start->entry(start->argument);
}

void closeHandle(HANDLE* h) {
  if (*h != nullptr) (void)CloseHandle(*h);
  *h = nullptr;
}

int add(OsWaitSet* set, HANDLE h) {
  if (set->count >= OsWaitSet_Capacity) return 0;
  set->items[set->count++] = h;
  return 1;
}

}  // namespace

OsThread* OsThread_Start(OsThread* thread, OsThreadStart* start) {
  thread->start = start;
  unsigned id = 0;
  thread->handle = _beginthreadex(nullptr, 0, trampoline, start, 0, &id);
  thread->threadId = thread->handle != nullptr ? id : 0;
  return thread;
}

int OsThread_Join(OsThread* thread) {
  return WaitForSingleObject(thread->handle, INFINITE) == WAIT_OBJECT_0 ? 1 : 0;
}

int OsThread_Terminate(OsThread* thread, uint32_t exitCode) {
  return TerminateThread(thread->handle, exitCode);
}

int OsThread_IsAlive(const OsThread* thread) {
  uint32_t code = 0;
  if (thread->handle == nullptr || GetExitCodeThread(thread->handle, &code) == 0) return 0;
  return code == STILL_ACTIVE ? 1 : 0;
}

HANDLE OsThread_Handle(const OsThread* thread) { return thread->handle; }
void OsThread_Close(OsThread* thread) { closeHandle(&thread->handle); }

HANDLE OsEvent_Create(OsEvent* event, int initiallySignalled) {
  event->handle = CreateEventA(nullptr, 0, initiallySignalled != 0 ? 1 : 0, nullptr);
  return event->handle;
}

int OsEvent_Set(OsEvent* event) { return SetEvent(event->handle); }
int OsEvent_Wait(OsEvent* event) {
  return WaitForSingleObject(event->handle, INFINITE) == WAIT_OBJECT_0 ? 1 : 0;
}
HANDLE OsEvent_Handle(const OsEvent* event) { return event->handle; }
void OsEvent_Close(OsEvent* event) { closeHandle(&event->handle); }

HANDLE OsSemaphore_Create(OsSemaphore* semaphore, int32_t initialCount, int32_t maximumCount) {
  semaphore->handle = CreateSemaphoreA(nullptr, initialCount, maximumCount, nullptr);
  return semaphore->handle;
}

int OsSemaphore_Release(OsSemaphore* semaphore) {
  return ReleaseSemaphore(semaphore->handle, 1, nullptr);
}
int OsSemaphore_Wait(OsSemaphore* semaphore) {
  return WaitForSingleObject(semaphore->handle, INFINITE) == WAIT_OBJECT_0 ? 1 : 0;
}
HANDLE OsSemaphore_Handle(const OsSemaphore* semaphore) { return semaphore->handle; }
void OsSemaphore_Close(OsSemaphore* semaphore) { closeHandle(&semaphore->handle); }

void OsWaitSet_Init(OsWaitSet* set) { set->count = 0; }
int OsWaitSet_AddEvent(OsWaitSet* set, const OsEvent* event) { return add(set, event->handle); }
int OsWaitSet_AddSemaphore(OsWaitSet* set, const OsSemaphore* semaphore) {
  return add(set, semaphore->handle);
}
int OsWaitSet_AddThread(OsWaitSet* set, const OsThread* thread) { return add(set, thread->handle); }

uint32_t OsWaitSet_Wait(const OsWaitSet* set, int waitAll) {
  if (set->count == 0) return WAIT_FAILED;
  return WaitForMultipleObjects(static_cast<uint32_t>(set->count), set->items, waitAll, INFINITE);
}

void OsCriticalSection_Init(CRITICAL_SECTION* section) { InitializeCriticalSection(section); }
void OsCriticalSection_Delete(CRITICAL_SECTION* section) { DeleteCriticalSection(section); }
void OsCriticalSection_Enter(CRITICAL_SECTION* section) { EnterCriticalSection(section); }
void OsCriticalSection_Leave(CRITICAL_SECTION* section) { LeaveCriticalSection(section); }
