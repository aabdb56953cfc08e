// errors.cpp -- the calling thread's last error.
#include "platform/windows/errors.h"

namespace {
thread_local uint32_t lastError = 0;
}

uint32_t GetLastError() noexcept { return lastError; }

void SetLastError(uint32_t code) noexcept { lastError = code; }
