#pragma once
// copystr.h -- copying driver text into a caller's buffer with the cut rule of
// the ODBC string outputs: what fits with a NUL, and the length reported.
// Pure functions; any thread.

#include <cstdint>

// Copies what fits of src into dst (size bytes with its NUL). CopyStrOut
// reports the bytes copied, CopyStrOutLen the full length; without dst only
// the length is reported. -1 when the text was cut, else 0.
int CopyStrOut(const char* src, char* dst, uint16_t size, uint16_t* outLen);
int CopyStrOutLen(const char* src, char* dst, int64_t size, int64_t* fullLen);
