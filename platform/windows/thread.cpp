// thread.cpp -- thread ids and thread-local storage slots over POSIX thread keys.
#include "platform/windows/thread.h"

#include <pthread.h>
#include <unistd.h>

#include "platform/windows/errors.h"

uint32_t GetCurrentThreadId() noexcept {
  static thread_local uint32_t id = static_cast<uint32_t>(gettid());
  return id;
}

uint32_t TlsAlloc() noexcept {
  pthread_key_t key;
  if (pthread_key_create(&key, nullptr) != 0) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return TLS_OUT_OF_INDEXES;
  }
  return static_cast<uint32_t>(key);
}

void* TlsGetValue(uint32_t index) noexcept {
  // A null value is a valid answer; a cleared last error tells it from a failure.
  SetLastError(ERROR_SUCCESS);
  return pthread_getspecific(static_cast<pthread_key_t>(index));
}

int TlsSetValue(uint32_t index, void* value) noexcept {
  if (index == TLS_OUT_OF_INDEXES ||
      pthread_setspecific(static_cast<pthread_key_t>(index), value) != 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  return 1;
}

int TlsFree(uint32_t index) noexcept {
  if (index == TLS_OUT_OF_INDEXES || pthread_key_delete(static_cast<pthread_key_t>(index)) != 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  return 1;
}
