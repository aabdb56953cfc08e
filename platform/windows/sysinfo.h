// sysinfo.h -- facts about the process's surroundings: the temporary directory, the tick count
// and the user's name.
// Threading: any thread; nothing is cached, so a changed TMPDIR is seen by the next call.
#pragma once

#include <cstdint>

// $TMPDIR when set and not empty, else "/tmp", always ending in '/'. Answers the length without
// the NUL; when the buffer is too small, the size needed with the NUL and nothing written.
uint32_t GetTempPathA(uint32_t bufferLength, char* buffer) noexcept;
// Milliseconds of a monotonic clock; wraps after about 49.7 days.
[[nodiscard]] uint32_t GetTickCount() noexcept;
// The name of the effective user. `*size` gives the buffer's size and receives the length with
// the NUL; a buffer too small answers 0 with ERROR_INSUFFICIENT_BUFFER and the size needed.
int GetUserNameA(char* buffer, uint32_t* size) noexcept;
