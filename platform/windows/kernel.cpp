// kernel.cpp -- events, semaphores, mutexes and threads as waitable objects.
// One process-wide lock guards the state of every object. A waiting thread registers its own
// condition variable with each object it waits on, so a change wakes only the threads that wait
// on that object, and a wait for all takes every object in one step under the lock.
// An object is freed when its handle is closed and no wait or running thread still uses it.
#include "platform/windows/kernel.h"

#include <pthread.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <new>
#include <unordered_set>
#include <vector>

#include "platform/windows/errors.h"
#include "platform/windows/thread.h"

struct KesObject {
  enum class Kind { Event, Semaphore, Mutex, Thread };
  explicit KesObject(Kind k) : kind(k) {}

  Kind kind;
  int refs = 1;  // the handle, each wait in progress, and a thread that still runs
  std::vector<std::condition_variable*> waiters;

  bool manualReset = false;  // event
  bool signalled = false;    // event
  int32_t count = 0;         // semaphore
  int32_t maximum = 0;       // semaphore
  uint32_t owner = 0;        // mutex: owning thread id, 0 when free
  uint32_t depth = 0;        // mutex: acquisitions not yet released
  bool ended = false;        // thread
  uint32_t exitCode = 0;     // thread
  uint32_t threadId = 0;     // thread: 0 until the thread has started
  ThreadEntry entry = nullptr;
  void* argument = nullptr;
};

namespace {

using Kind = KesObject::Kind;
using Clock = std::chrono::steady_clock;

std::mutex objectLock;
std::condition_variable threadStarted;
// The objects whose handle is open: a handle not in here is refused instead of followed.
// Never destroyed, because detached threads may still end after the static destructors ran.
std::unordered_set<KesObject*>& openHandles() {
  static auto* set = new std::unordered_set<KesObject*>;
  return *set;
}

// REQUIRES: objectLock held.
void release(KesObject* o) {
  if (--o->refs == 0) delete o;
}

// REQUIRES: objectLock held.
void wake(KesObject* o) {
  for (std::condition_variable* cv : o->waiters) cv->notify_one();
}

// REQUIRES: objectLock held.
HANDLE publish(KesObject* o) {
  try {
    openHandles().insert(o);
  } catch (...) {
    delete o;
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  return o;
}

// REQUIRES: objectLock held. The object if `h` is an open handle of that kind.
KesObject* lookup(HANDLE h, Kind kind) {
  if (!h || !openHandles().count(h) || h->kind != kind) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  return h;
}

bool isSignalled(const KesObject* o, uint32_t self) {
  switch (o->kind) {
    case Kind::Event: return o->signalled;
    case Kind::Semaphore: return o->count > 0;
    case Kind::Mutex: return o->depth == 0 || o->owner == self;
    case Kind::Thread: return o->ended;
  }
  return false;
}

void take(KesObject* o, uint32_t self) {
  switch (o->kind) {
    case Kind::Event:
      if (!o->manualReset) o->signalled = false;
      break;
    case Kind::Semaphore: --o->count; break;
    case Kind::Mutex:
      o->owner = self;
      ++o->depth;
      break;
    case Kind::Thread: break;
  }
}

// REQUIRES: objectLock held. WAIT_OBJECT_0 + index when the wait is satisfied (and taken).
uint32_t tryWait(KesObject* const* objects, uint32_t count, bool waitAll, uint32_t self) {
  if (waitAll) {
    for (uint32_t i = 0; i < count; ++i)
      if (!isSignalled(objects[i], self)) return WAIT_TIMEOUT;
    for (uint32_t i = 0; i < count; ++i) take(objects[i], self);
    return WAIT_OBJECT_0;
  }
  for (uint32_t i = 0; i < count; ++i) {
    if (isSignalled(objects[i], self)) {
      take(objects[i], self);
      return WAIT_OBJECT_0 + i;
    }
  }
  return WAIT_TIMEOUT;
}

void* threadMain(void* p) {
  auto* o = static_cast<KesObject*>(p);
  {
    std::lock_guard<std::mutex> guard(objectLock);
    o->threadId = GetCurrentThreadId();
    threadStarted.notify_all();
  }
  unsigned code = o->entry(o->argument);
  std::lock_guard<std::mutex> guard(objectLock);
  o->exitCode = code;
  o->ended = true;
  wake(o);
  release(o);
  return nullptr;
}

bool unnamed(const void* security, const char* name) {
  if (security || name) {
    SetLastError(ERROR_NOT_SUPPORTED);
    return false;
  }
  return true;
}

}  // namespace

HANDLE CreateEventA(const void* security, int manualReset, int initialState,
                    const char* name) noexcept {
  if (!unnamed(security, name)) return nullptr;
  auto* o = new (std::nothrow) KesObject(Kind::Event);
  if (!o) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  o->manualReset = manualReset != 0;
  o->signalled = initialState != 0;
  std::lock_guard<std::mutex> guard(objectLock);
  return publish(o);
}

HANDLE CreateSemaphoreA(const void* security, int32_t initialCount, int32_t maximumCount,
                        const char* name) noexcept {
  if (!unnamed(security, name)) return nullptr;
  if (maximumCount <= 0 || initialCount < 0 || initialCount > maximumCount) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  auto* o = new (std::nothrow) KesObject(Kind::Semaphore);
  if (!o) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  o->count = initialCount;
  o->maximum = maximumCount;
  std::lock_guard<std::mutex> guard(objectLock);
  return publish(o);
}

HANDLE CreateMutexA(const void* security, int initialOwner, const char* name) noexcept {
  if (!unnamed(security, name)) return nullptr;
  auto* o = new (std::nothrow) KesObject(Kind::Mutex);
  if (!o) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  if (initialOwner) {
    o->owner = GetCurrentThreadId();
    o->depth = 1;
  }
  std::lock_guard<std::mutex> guard(objectLock);
  return publish(o);
}

int SetEvent(HANDLE event) noexcept {
  std::lock_guard<std::mutex> guard(objectLock);
  KesObject* o = lookup(event, Kind::Event);
  if (!o) return 0;
  o->signalled = true;
  wake(o);
  return 1;
}

int ResetEvent(HANDLE event) noexcept {
  std::lock_guard<std::mutex> guard(objectLock);
  KesObject* o = lookup(event, Kind::Event);
  if (!o) return 0;
  o->signalled = false;
  return 1;
}

int ReleaseSemaphore(HANDLE semaphore, int32_t releaseCount, int32_t* previousCount) noexcept {
  std::lock_guard<std::mutex> guard(objectLock);
  KesObject* o = lookup(semaphore, Kind::Semaphore);
  if (!o) return 0;
  if (releaseCount <= 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (releaseCount > o->maximum - o->count) {
    SetLastError(ERROR_TOO_MANY_POSTS);
    return 0;
  }
  if (previousCount) *previousCount = o->count;
  o->count += releaseCount;
  wake(o);
  return 1;
}

int ReleaseMutex(HANDLE mutex) noexcept {
  uint32_t self = GetCurrentThreadId();
  std::lock_guard<std::mutex> guard(objectLock);
  KesObject* o = lookup(mutex, Kind::Mutex);
  if (!o) return 0;
  if (o->depth == 0 || o->owner != self) {
    SetLastError(ERROR_NOT_OWNER);
    return 0;
  }
  if (--o->depth == 0) {
    o->owner = 0;
    wake(o);
  }
  return 1;
}

int CloseHandle(HANDLE object) noexcept {
  std::lock_guard<std::mutex> guard(objectLock);
  if (!object || !openHandles().erase(object)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return 0;
  }
  release(object);
  return 1;
}

uint32_t WaitForSingleObject(HANDLE object, uint32_t milliseconds) noexcept {
  return WaitForMultipleObjects(1, &object, 0, milliseconds);
}

uint32_t WaitForMultipleObjects(uint32_t count, const HANDLE* handles, int waitAll,
                                uint32_t milliseconds) noexcept {
  if (count == 0 || count > MAXIMUM_WAIT_OBJECTS || !handles) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return WAIT_FAILED;
  }
  uint32_t self = GetCurrentThreadId();
  KesObject* objects[MAXIMUM_WAIT_OBJECTS];
  std::unique_lock<std::mutex> lock(objectLock);
  for (uint32_t i = 0; i < count; ++i) {
    if (!handles[i] || !openHandles().count(handles[i])) {
      SetLastError(ERROR_INVALID_HANDLE);
      return WAIT_FAILED;
    }
    objects[i] = handles[i];
    // Taking one object twice in a single step has no meaning.
    if (waitAll && std::find(objects, objects + i, objects[i]) != objects + i) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return WAIT_FAILED;
    }
  }
  uint32_t result = tryWait(objects, count, waitAll != 0, self);
  if (result != WAIT_TIMEOUT || milliseconds == 0) return result;

  std::condition_variable cv;
  try {
    for (uint32_t i = 0; i < count; ++i) objects[i]->waiters.push_back(&cv);
  } catch (...) {
    for (uint32_t i = 0; i < count; ++i) std::erase(objects[i]->waiters, &cv);
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return WAIT_FAILED;
  }
  // While waiting, the objects stay alive even if another thread closes their handles.
  for (uint32_t i = 0; i < count; ++i) ++objects[i]->refs;
  const auto deadline = Clock::now() + std::chrono::milliseconds(milliseconds);
  for (;;) {
    if (milliseconds == INFINITE) {
      cv.wait(lock);
    } else if (cv.wait_until(lock, deadline) == std::cv_status::timeout) {
      result = tryWait(objects, count, waitAll != 0, self);
      break;
    }
    result = tryWait(objects, count, waitAll != 0, self);
    if (result != WAIT_TIMEOUT) break;
  }
  for (uint32_t i = 0; i < count; ++i) {
    std::erase(objects[i]->waiters, &cv);
    release(objects[i]);
  }
  return result;
}

HANDLE _beginthreadex(const void* security, unsigned stackSize, ThreadEntry entry, void* argument,
                      unsigned initFlag, unsigned* threadId) noexcept {
  if (security || initFlag != 0 || !entry) {
    SetLastError(security || initFlag ? ERROR_NOT_SUPPORTED : ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  auto* o = new (std::nothrow) KesObject(Kind::Thread);
  if (!o) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  o->entry = entry;
  o->argument = argument;
  o->refs = 2;  // the handle and the running thread

  pthread_attr_t attr;
  pthread_attr_init(&attr);
  pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
  if (stackSize != 0 && pthread_attr_setstacksize(&attr, stackSize) != 0) {
    pthread_attr_destroy(&attr);
    delete o;
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  std::unique_lock<std::mutex> lock(objectLock);
  if (!publish(o)) {
    pthread_attr_destroy(&attr);
    return nullptr;
  }
  pthread_t thread;
  int rc = pthread_create(&thread, &attr, threadMain, o);
  pthread_attr_destroy(&attr);
  if (rc != 0) {
    openHandles().erase(o);
    delete o;
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  // The caller is promised the id, and the kernel gives it only inside the new thread.
  threadStarted.wait(lock, [o] { return o->threadId != 0; });
  if (threadId) *threadId = o->threadId;
  return o;
}

int GetExitCodeThread(HANDLE thread, uint32_t* exitCode) noexcept {
  std::lock_guard<std::mutex> guard(objectLock);
  KesObject* o = lookup(thread, Kind::Thread);
  if (!o) return 0;
  if (!exitCode) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  *exitCode = o->ended ? o->exitCode : STILL_ACTIVE;
  return 1;
}

int TerminateThread(HANDLE thread, uint32_t /*exitCode*/) noexcept {
  std::lock_guard<std::mutex> guard(objectLock);
  if (!lookup(thread, Kind::Thread)) return 0;
  SetLastError(ERROR_NOT_SUPPORTED);
  return 0;
}
