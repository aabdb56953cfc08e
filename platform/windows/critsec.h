// critsec.h -- critical sections: recursive locks owned by the thread that entered them, and
// the ownerless kind that one thread enters and another leaves.
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
  pthread_mutex_t mutex;  // recursive kind: the lock itself; ownerless kind: guards owner/count
  pthread_cond_t freed;   // ownerless kind: signalled when count returns to 0
  uint32_t owner;         // ownerless kind: thread id of the holder, 0 when free
  int32_t count;          // ownerless kind: entries by the holder not yet left
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
