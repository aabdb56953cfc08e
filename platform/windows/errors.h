// errors.h -- the Windows error codes the services of platform/windows answer, and the
// calling thread's last error.
// Registry calls return these codes directly; the other services answer 0 or a null handle
// and leave the code in the thread's last error, as the Windows calls do.
// Threading: the last error is per thread.
#pragma once

#include <cstdint>

inline constexpr int32_t ERROR_SUCCESS = 0;
inline constexpr int32_t ERROR_FILE_NOT_FOUND = 2;
inline constexpr int32_t ERROR_ACCESS_DENIED = 5;
inline constexpr int32_t ERROR_INVALID_HANDLE = 6;
inline constexpr int32_t ERROR_NOT_ENOUGH_MEMORY = 8;
inline constexpr int32_t ERROR_NOT_SUPPORTED = 50;
inline constexpr int32_t ERROR_INVALID_PARAMETER = 87;
inline constexpr int32_t ERROR_INSUFFICIENT_BUFFER = 122;
inline constexpr int32_t ERROR_MORE_DATA = 234;
inline constexpr int32_t ERROR_NOT_OWNER = 288;
inline constexpr int32_t ERROR_TOO_MANY_POSTS = 298;

[[nodiscard]] uint32_t GetLastError() noexcept;
void SetLastError(uint32_t code) noexcept;
