// critsec.cpp -- critical sections over an atomic owner word, with a POSIX mutex and
// condition for the threads that must wait.
// Both kinds work alike: the holder's thread and its depth decide re-entry, and any leave
// that frees the section wakes a waiter when one is counted. The recursive kind only
// asserts (debug builds) that the thread leaving it is the holder.
// Waking cannot be lost: a waiter counts itself, under the mutex, before it tries the
// owner word, and a leave clears the owner word before it reads the count (both in one
// total order), so either the leave sees the waiter or the waiter sees the section free.
#include "platform/windows/critsec.h"

#include <cassert>

namespace {
constexpr int32_t kRecursive = 1;
constexpr int32_t kOwnerless = 2;

// A number of the calling thread that no other thread of the process ever has: an ownerless
// section outlives the thread that entered it, and a later thread given the same pthread_t
// or kernel id must not count as its holder. (The initial-exec model would spare the
// loader's lookup, but a library loaded by dlopen finds no static TLS left for it.)
uintptr_t g_lastThread = 0;
__thread uintptr_t tl_thread = 0;

uintptr_t self() noexcept {
  uintptr_t id = tl_thread;
  if (id == 0) id = tl_thread = __atomic_add_fetch(&g_lastThread, 1, __ATOMIC_RELAXED);
  return id;
}

bool claim(CRITICAL_SECTION* cs, uintptr_t me) noexcept {
  uintptr_t free = 0;
  return __atomic_compare_exchange_n(&cs->owner, &free, me, false, __ATOMIC_SEQ_CST,
                                     __ATOMIC_RELAXED);
}

void init(CRITICAL_SECTION* cs, int32_t kind) noexcept {
  pthread_mutex_init(&cs->mutex, nullptr);
  pthread_cond_init(&cs->freed, nullptr);
  cs->owner = 0;
  cs->count = 0;
  cs->waiters = 0;
  cs->kind = kind;
}

// Sleeps until the section is this thread's.
void wait_for(CRITICAL_SECTION* cs, uintptr_t me) noexcept {
  pthread_mutex_lock(&cs->mutex);
  __atomic_add_fetch(&cs->waiters, 1, __ATOMIC_SEQ_CST);
  while (!claim(cs, me)) pthread_cond_wait(&cs->freed, &cs->mutex);
  __atomic_sub_fetch(&cs->waiters, 1, __ATOMIC_SEQ_CST);
  pthread_mutex_unlock(&cs->mutex);
}
}  // namespace

void InitializeCriticalSection(CRITICAL_SECTION* cs) noexcept { init(cs, kRecursive); }

void InitializeOwnerlessCriticalSection(CRITICAL_SECTION* cs) noexcept { init(cs, kOwnerless); }

void DeleteCriticalSection(CRITICAL_SECTION* cs) noexcept {
  if (cs->kind != 0) {
    pthread_cond_destroy(&cs->freed);
    pthread_mutex_destroy(&cs->mutex);
  }
  cs->kind = 0;
}

void EnterCriticalSection(CRITICAL_SECTION* cs) noexcept {
  assert(cs->kind != 0 && "critical section used before initialisation");
  const uintptr_t me = self();
  if (__atomic_load_n(&cs->owner, __ATOMIC_RELAXED) == me) {
    ++cs->count;
    return;
  }
  if (!claim(cs, me)) wait_for(cs, me);
  cs->count = 1;
}

int TryEnterCriticalSection(CRITICAL_SECTION* cs) noexcept {
  assert(cs->kind != 0 && "critical section used before initialisation");
  const uintptr_t me = self();
  if (__atomic_load_n(&cs->owner, __ATOMIC_RELAXED) == me) {
    ++cs->count;
    return 1;
  }
  if (!claim(cs, me)) return 0;
  cs->count = 1;
  return 1;
}

void LeaveCriticalSection(CRITICAL_SECTION* cs) noexcept {
  assert(cs->kind != 0 && "critical section used before initialisation");
  assert((cs->kind != kRecursive || __atomic_load_n(&cs->owner, __ATOMIC_RELAXED) == self()) &&
         "recursive critical section left by a thread that does not hold it");
  if (cs->count <= 0 || --cs->count > 0) return;
  __atomic_store_n(&cs->owner, uintptr_t{0}, __ATOMIC_SEQ_CST);
  if (__atomic_load_n(&cs->waiters, __ATOMIC_SEQ_CST) == 0) return;
  pthread_mutex_lock(&cs->mutex);
  pthread_cond_signal(&cs->freed);
  pthread_mutex_unlock(&cs->mutex);
}
