#pragma once
// pwscramble.h -- a reversible scrambling of passwords for storing them in a
// configuration: the UTF-8 bytes of the password XORed with a fixed sequence
// and written as hexadecimal digits behind a leading '1'. It hides a password
// from a casual look; it is no encryption.
// The results are new strings the caller frees with free(); null for a text
// that is no scrambled password or when memory runs out.
// Threading: any thread; no state.

#include <cstdint>

// The scrambled form of a UTF-16 password, as UTF-16.
[[nodiscard]] char16_t* ScramblePassword(const char16_t* password) noexcept;
// The password of a scrambled text, in the ANSI code page (UTF-8 here).
[[nodiscard]] char* UnscramblePassword(const char* scrambled) noexcept;
// The same for UTF-16 in and out.
[[nodiscard]] char16_t* UnscramblePasswordW(const char16_t* scrambled) noexcept;

// The value of one hexadecimal digit (either case); 0 for any other character.
uint8_t PwdHexDigitValue(char16_t c) noexcept;
// The bytes of `count` digit pairs read from `digits` into `out`.
void PwdHexDecode(const char16_t* digits, uint64_t count, uint8_t* out) noexcept;
// Text of the code page as a new UTF-16 string (two passes: size, then text).
[[nodiscard]] char16_t* MbcsToWideDup(const char* text, uint32_t codePage) noexcept;
