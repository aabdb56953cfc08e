// thread.h -- threads with exit codes, thread ids and thread-local storage slots.
// A thread's handle is a waitable object (kernel.h) that becomes signalled when the thread's
// entry function returns; the handle keeps the exit code until CloseHandle. Thread ids are the
// kernel's (gettid), so they match what other tools show for the process.
// Not here: suspended start and forced termination (TerminateThread always fails, see below).
#pragma once

#include <cstdint>

#include "platform/windows/kernel.h"

inline constexpr uint32_t STILL_ACTIVE = 259;
inline constexpr uint32_t TLS_OUT_OF_INDEXES = 0xFFFFFFFFu;

using ThreadEntry = unsigned (*)(void* argument);

// Starts `entry(argument)` on a new thread at once; its answer becomes the exit code.
// `security` must be null and `initFlag` 0; a `stackSize` of 0 takes the default. Stores the new
// thread's id in `threadId` (when not null) before returning. Null on failure.
[[nodiscard]] HANDLE _beginthreadex(const void* security, unsigned stackSize, ThreadEntry entry,
                                    void* argument, unsigned initFlag, unsigned* threadId) noexcept;
// 1 and the exit code, or STILL_ACTIVE while the thread runs; 0 for a handle that is no thread.
int GetExitCodeThread(HANDLE thread, uint32_t* exitCode) noexcept;
// A POSIX thread cannot be stopped safely from outside: answers 0 with ERROR_NOT_SUPPORTED and
// leaves the thread running.
int TerminateThread(HANDLE thread, uint32_t exitCode) noexcept;
[[nodiscard]] uint32_t GetCurrentThreadId() noexcept;

// A slot holds one pointer per thread, null in every thread until set. Freeing a slot does not
// free what the threads stored in it.
[[nodiscard]] uint32_t TlsAlloc() noexcept;
[[nodiscard]] void* TlsGetValue(uint32_t index) noexcept;
int TlsSetValue(uint32_t index, void* value) noexcept;
int TlsFree(uint32_t index) noexcept;
