// utalloc.h -- allocation that never hands back a null pointer, and the two
// small text helpers the log needs before anything else exists.
// Every block from here is released with free(). On exhaustion the failure is
// logged and the process ends with status 1; callers never test the result.
#pragma once

#include <cstddef>

// A zero-filled block of count * size bytes; a 0 in either gives one byte.
// An overflowing product counts as exhaustion.
void* s_alloc(size_t count, size_t size) noexcept;
// realloc that never answers null; a size of 0 is taken as 1, because the C
// library would free the block and answer null.
void* s_realloc(void* block, size_t size) noexcept;
// Copy of a NUL-terminated text (not null) in an s_alloc block.
char* s_strdup(const char* text) noexcept;
// Releases the console and ends the process with the given status.
[[noreturn]] void fatal_exit(int status) noexcept;

// The C library's text for errnum, in English whatever the locale; any number
// the library does not know gives "Unknown error %u" in a buffer of the
// calling thread, good until that thread's next such call.
const char* util_strerror(int errnum) noexcept;
// Copies src with its NUL to dst and answers the address of the copied NUL.
char* util_stpcpy(char* dst, const char* src) noexcept;
