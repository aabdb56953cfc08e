// utalloc.cpp -- allocation that ends the process on exhaustion, and the
// error-text lookup the log uses for %m.
// Threading: as thread-safe as the C heap; the unknown-error text is built in
// a buffer of the calling thread.
#include "util/utalloc.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "util/console.h"
#include "util/log.h"

void* s_alloc(size_t count, size_t size) noexcept {
  if (count == 0 || size == 0) count = size = 1;
  // calloc refuses an overflowing product, which then counts as exhaustion.
  void* block = calloc(count, size);
  if (block == nullptr) {
    log_printf(LOG_ERR, "util/utalloc", __LINE__, "s_alloc: out of memory");
    fatal_exit(1);
  }
  return block;
}

void* s_realloc(void* block, size_t size) noexcept {
  if (size == 0) size = 1;
  void* moved = realloc(block, size);
  if (moved == nullptr) {
    log_printf(LOG_ERR, "util/utalloc", __LINE__, "s_realloc: out of memory");
    fatal_exit(1);
  }
  return moved;
}

char* s_strdup(const char* text) noexcept {
  size_t n = strlen(text) + 1;
  char* copy = static_cast<char*>(s_alloc(n, 1));
  memcpy(copy, text, n);
  return copy;
}

void fatal_exit(int status) noexcept {
  console_release();
  exit(status);
}

const char* util_strerror(int errnum) noexcept {
  // strerrordesc_np gives the untranslated text and needs no buffer, so
  // neither the locale nor other threads change what a caller sees.
  if (errnum >= 0) {
    if (const char* text = strerrordesc_np(errnum)) return text;
  }
  thread_local char unknown[32];
  snprintf(unknown, sizeof unknown, "Unknown error %u", static_cast<unsigned>(errnum));
  return unknown;
}

char* util_stpcpy(char* dst, const char* src) noexcept {
  size_t n = strlen(src);
  memcpy(dst, src, n + 1);
  return dst + n;
}
