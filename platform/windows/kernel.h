// kernel.h -- waitable objects: events (auto- and manual-reset), counting semaphores, mutexes
// and threads (see thread.h), the waits on them, and the handles that name them.
// Objects are unnamed and have default security: the security argument and the name must be
// null (a name makes the create call fail with ERROR_NOT_SUPPORTED). A handle stays valid until
// CloseHandle; an object lives while a handle or a wait still refers to it. A stale or foreign
// handle is refused with ERROR_INVALID_HANDLE, never followed.
// Threading: every call may be made from any thread. Mutexes are recursive and owned by the
// thread that acquired them; abandonment (a thread ending while it owns one) is not detected.
#pragma once

#include <cstdint>

struct KesObject;  // opaque: event, semaphore, mutex or thread
using HANDLE = KesObject*;

inline constexpr uint32_t INFINITE = 0xFFFFFFFFu;
inline constexpr uint32_t MAXIMUM_WAIT_OBJECTS = 64;
inline constexpr uint32_t WAIT_OBJECT_0 = 0;
inline constexpr uint32_t WAIT_TIMEOUT = 258;
inline constexpr uint32_t WAIT_FAILED = 0xFFFFFFFFu;

// Null on failure (GetLastError tells why).
[[nodiscard]] HANDLE CreateEventA(const void* security, int manualReset, int initialState,
                                  const char* name) noexcept;
[[nodiscard]] HANDLE CreateSemaphoreA(const void* security, int32_t initialCount,
                                      int32_t maximumCount, const char* name) noexcept;
[[nodiscard]] HANDLE CreateMutexA(const void* security, int initialOwner,
                                  const char* name) noexcept;

// 1 on success, 0 on failure (GetLastError tells why).
int SetEvent(HANDLE event) noexcept;
int ResetEvent(HANDLE event) noexcept;
// Raises the count by `releaseCount`; a count that would pass the maximum fails with
// ERROR_TOO_MANY_POSTS and leaves the count alone. `previousCount` may be null.
int ReleaseSemaphore(HANDLE semaphore, int32_t releaseCount, int32_t* previousCount) noexcept;
// Fails with ERROR_NOT_OWNER unless the calling thread owns the mutex.
int ReleaseMutex(HANDLE mutex) noexcept;
int CloseHandle(HANDLE object) noexcept;

// WAIT_OBJECT_0 once the object is signalled (and taken: an auto-reset event is reset, a
// semaphore's count lowered, a mutex owned), WAIT_TIMEOUT after `milliseconds` (INFINITE
// never times out, 0 only polls), WAIT_FAILED for a bad handle.
uint32_t WaitForSingleObject(HANDLE object, uint32_t milliseconds) noexcept;
// 1 to MAXIMUM_WAIT_OBJECTS handles. Waiting for any: WAIT_OBJECT_0 + the lowest index among
// the signalled objects, and only that object is taken. Waiting for all: WAIT_OBJECT_0 once
// every object is signalled at the same moment, and all are taken together (a handle given
// twice fails with ERROR_INVALID_PARAMETER). WAIT_TIMEOUT and WAIT_FAILED as above.
uint32_t WaitForMultipleObjects(uint32_t count, const HANDLE* handles, int waitAll,
                                uint32_t milliseconds) noexcept;
