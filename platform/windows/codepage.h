// codepage.h -- conversions between the process's "ANSI code page" and UTF-16. The ANSI code
// page is UTF-8 here, so CP_ACP and CP_UTF8 convert alike; no other code page exists.
// Decoding: a character outside the BMP becomes a whole surrogate pair; each invalid or truncated
// byte sequence becomes one U+FFFD and decoding goes on; 3-byte encoded surrogates decode to that
// surrogate unit, so text written by older converters still reads. Encoding: a surrogate pair
// becomes one 4-byte character, a lone surrogate U+FFFD.
// Lengths: a source length of -1 means NUL-terminated, and the NUL is converted and counted;
// otherwise exactly that many units are read (a source length of 0 fails). With a destination
// length of 0 the answer is the size needed. A destination too small answers 0 with
// ERROR_INSUFFICIENT_BUFFER, holding the whole characters that fit.
// Threading: any thread; no state.
#pragma once

#include <cstdint>

inline constexpr uint32_t CP_ACP = 0;
inline constexpr uint32_t CP_UTF8 = 65001;

// `flags` must be 0. Answers UTF-16 units written (or needed), 0 on failure.
int MultiByteToWideChar(uint32_t codePage, uint32_t flags, const char* source, int sourceLength,
                        char16_t* destination, int destinationLength) noexcept;
// `flags` must be 0, `defaultChar` null; `usedDefault`, when given, is set to 0 (UTF-8 needs no
// default character). Answers bytes written (or needed), 0 on failure.
int WideCharToMultiByte(uint32_t codePage, uint32_t flags, const char16_t* source, int sourceLength,
                        char* destination, int destinationLength, const char* defaultChar,
                        int* usedDefault) noexcept;
