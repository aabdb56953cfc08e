#pragma once
// strout.h -- delivery of the driver's 8-bit (UTF-8) text into an application
// buffer, as 8-bit text or as UTF-16, with the ODBC truncation rule: the whole
// text and its NUL, or the longest prefix of whole characters and a NUL; the
// full length is always reported, in bytes of the output form.
// Pure functions; any thread.

#include <cstdint>

// form 'W' writes UTF-16, anything else 8-bit text. A null text reads as "".
// A null buffer only measures (answer 0); a buffer too small for a single unit
// and its NUL receives nothing. *fullLen (may be null) gets the text's length
// in output bytes without the NUL. -> 0 when the whole text was written, -1
// when it was cut. A negative bufLen is the caller's to refuse.
int StrOutText(const char* text, void* buf, int64_t bufLen, char form, int64_t* fullLen) noexcept;
