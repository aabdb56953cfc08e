// critsec.cpp -- critical sections over POSIX mutexes.
// The recursive kind is a recursive pthread mutex. The ownerless kind keeps its holder and depth
// under a small internal mutex, so the thread that leaves need not be the one that entered.
#include "platform/windows/critsec.h"

#include <cassert>

#include "platform/windows/thread.h"

namespace {
constexpr int32_t kRecursive = 1;
constexpr int32_t kOwnerless = 2;
}  // namespace

void InitializeCriticalSection(CRITICAL_SECTION* cs) noexcept {
  pthread_mutexattr_t attr;
  pthread_mutexattr_init(&attr);
  pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
  pthread_mutex_init(&cs->mutex, &attr);
  pthread_mutexattr_destroy(&attr);
  cs->owner = 0;
  cs->count = 0;
  cs->kind = kRecursive;
}

void InitializeOwnerlessCriticalSection(CRITICAL_SECTION* cs) noexcept {
  pthread_mutex_init(&cs->mutex, nullptr);
  pthread_cond_init(&cs->freed, nullptr);
  cs->owner = 0;
  cs->count = 0;
  cs->kind = kOwnerless;
}

void DeleteCriticalSection(CRITICAL_SECTION* cs) noexcept {
  if (cs->kind == kOwnerless) pthread_cond_destroy(&cs->freed);
  if (cs->kind != 0) pthread_mutex_destroy(&cs->mutex);
  cs->kind = 0;
}

void EnterCriticalSection(CRITICAL_SECTION* cs) noexcept {
  assert(cs->kind != 0 && "critical section used before initialisation");
  if (cs->kind == kRecursive) {
    pthread_mutex_lock(&cs->mutex);
    return;
  }
  uint32_t self = GetCurrentThreadId();
  pthread_mutex_lock(&cs->mutex);
  while (cs->count > 0 && cs->owner != self) pthread_cond_wait(&cs->freed, &cs->mutex);
  cs->owner = self;
  ++cs->count;
  pthread_mutex_unlock(&cs->mutex);
}

int TryEnterCriticalSection(CRITICAL_SECTION* cs) noexcept {
  assert(cs->kind != 0 && "critical section used before initialisation");
  if (cs->kind == kRecursive) return pthread_mutex_trylock(&cs->mutex) == 0 ? 1 : 0;
  uint32_t self = GetCurrentThreadId();
  int entered = 0;
  pthread_mutex_lock(&cs->mutex);
  if (cs->count == 0 || cs->owner == self) {
    cs->owner = self;
    ++cs->count;
    entered = 1;
  }
  pthread_mutex_unlock(&cs->mutex);
  return entered;
}

void LeaveCriticalSection(CRITICAL_SECTION* cs) noexcept {
  assert(cs->kind != 0 && "critical section used before initialisation");
  if (cs->kind == kRecursive) {
    [[maybe_unused]] int rc = pthread_mutex_unlock(&cs->mutex);
    assert(rc == 0 && "recursive critical section left by a thread that does not hold it");
    return;
  }
  pthread_mutex_lock(&cs->mutex);
  if (cs->count > 0 && --cs->count == 0) {
    cs->owner = 0;
    pthread_cond_signal(&cs->freed);
  }
  pthread_mutex_unlock(&cs->mutex);
}
