// critsec.h -- critical sections: recursive locks owned by the thread that entered them, and
// the ownerless kind that one thread enters and another leaves. A section that is free, or
// held by the calling thread, is entered and left with one atomic operation each; only a
// thread that must wait touches the mutex.
// A section is a plain value embedded in its owner's record; it must be initialised before use
// and deleted before its memory goes away.
// Threading: the recursive kind must be left by the thread that entered it (leaving it from
// another thread is a programming error, caught by an assertion in debug builds). The ownerless
// kind is re-entered recursively by the thread that holds it, and any thread may leave it; it
// exists for locks held across threads, such as a connection's call lock held by a prepared
// distributed transaction from one coordinator thread to another.
#pragma once

#include <pthread.h>

#include <cstdint>

struct CRITICAL_SECTION {
  pthread_mutex_t mutex;  // where waiters sleep; never held across a section's use
  pthread_cond_t freed;   // signalled when the section is left while a thread waits
  uintptr_t owner;        // the holder's thread number (never reused), 0 when free; atomic
  int32_t count;          // entries by the holder not yet left
  int32_t waiters;        // threads waiting for the section; atomic
  int32_t kind;           // 0 not initialised (or deleted), 1 recursive, 2 ownerless
};

void InitializeCriticalSection(CRITICAL_SECTION* section) noexcept;
void InitializeOwnerlessCriticalSection(CRITICAL_SECTION* section) noexcept;
void DeleteCriticalSection(CRITICAL_SECTION* section) noexcept;
void EnterCriticalSection(CRITICAL_SECTION* section) noexcept;
// 1 when entered (also recursively by the holder), 0 when another thread holds the section.
[[nodiscard]] int TryEnterCriticalSection(CRITICAL_SECTION* section) noexcept;
void LeaveCriticalSection(CRITICAL_SECTION* section) noexcept;

// Holds a section for the life of a scope, so that every return path leaves it.
class CriticalSectionLock {
 public:
  explicit CriticalSectionLock(CRITICAL_SECTION* section) noexcept : section_(section) {
    EnterCriticalSection(section_);
  }
  ~CriticalSectionLock() { LeaveCriticalSection(section_); }
  CriticalSectionLock(const CriticalSectionLock&) = delete;
  CriticalSectionLock& operator=(const CriticalSectionLock&) = delete;

 private:
  CRITICAL_SECTION* section_;
};
