#pragma once
// ctypes.h -- the C types of application buffers: what SQL_C_DEFAULT stands for,
// the fixed transfer sizes, and the copy-out routines that deliver character and
// binary data into application buffers with the ODBC truncation rules.
// Pure functions: no state, no allocation, any thread.
// Every copy-out reports the value's full length (or SQL_NO_TOTAL when it cannot
// be known), cuts only at whole characters when it transcodes, and never writes
// past the buffer length it is given. A negative application buffer length is the
// caller's to refuse (ERR_BUFFER_LENGTH) before it reaches these routines.
// Not here: conversion between value representations (cvt.h).

#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>

#include <cstdint>

// The C type that SQL_C_DEFAULT stands for on a column of `sqlType`; an
// `odbcVersion` other than 3 is ODBC 2.
int32_t DefaultCType(int32_t sqlType, int32_t odbcVersion) noexcept;

// Fixed transfer size of a C type in bytes; 0 for the variable-length types
// (character, wide character, binary) and for anything unknown.
int16_t CTypeSize(int16_t cType) noexcept;

// The copy-out routines share one argument list:
//  src, n        what to deliver now (n units of the source: bytes, or UTF-16
//                units for a UTF-16 source of CopyOutWideToChar);
//  avail, total  piecewise delivery: the source units still available from the
//                current position and the length to report (0: n; SQL_NO_TOTAL
//                when unknown). total > avail means more follows, so even a
//                complete copy answers 01004;
//  terminate     append a NUL (one byte for 8-bit output, two for UTF-16);
//  allowTrunc    0 turns a buffer too small for the value into ERR_NUMERIC_RANGE
//                (SQL_ERROR, nothing written) instead of a cut;
//  dst, dstLen   the application buffer and its length in bytes; a null dst is
//                treated as a buffer of length 0;
//  outLen        receives the reported length in output bytes before any check
//                (may be null);
//  err           receives ERR_TRUNCATED or ERR_NUMERIC_RANGE; never cleared, and
//                an ERR_TRUNCATED left there by an earlier step of the same call
//                makes the answer SQL_SUCCESS_WITH_INFO;
//  used          receives the source units actually delivered (may be null), so
//                that a piecewise reader knows where the next piece starts.
// Answers SQL_SUCCESS, SQL_SUCCESS_WITH_INFO (cut, buffer length 0, or more
// follows) or SQL_ERROR.
SQLRETURN CopyOutChar(const void* src, uint64_t n, int64_t avail, int64_t total, int32_t terminate,
                      int32_t allowTrunc, void* dst, uint64_t dstLen, SQLLEN* outLen, int32_t* err,
                      uint64_t* used = nullptr) noexcept;

// UTF-16 to UTF-8. n, avail and total count UTF-16 units; the reported length is
// the UTF-8 byte length of the value (SQL_NO_TOTAL when total names units beyond
// those given). A cut keeps whole characters (a surrogate pair is one).
SQLRETURN CopyOutWideToChar(const char16_t* src, uint64_t n, int64_t avail, int64_t total,
                            int32_t terminate, int32_t allowTrunc, void* dst, uint64_t dstLen,
                            SQLLEN* outLen, int32_t* err, uint64_t* used = nullptr) noexcept;

// UTF-8 to UTF-16. n, avail and total count source bytes; the reported length is
// twice the UTF-16 units of the value (SQL_NO_TOTAL when total names bytes beyond
// those given). A cut keeps whole characters; used counts source bytes.
SQLRETURN CopyOutCharToWide(const char* src, uint64_t n, int64_t avail, int64_t total,
                            int32_t terminate, int32_t allowTrunc, void* dst, uint64_t dstLen,
                            SQLLEN* outLen, int32_t* err, uint64_t* used = nullptr) noexcept;

// UTF-16 to UTF-16, counted in bytes. A cut keeps an even number of bytes and does
// not end between the halves of a surrogate pair unless that pair is all that fits.
SQLRETURN CopyOutWide(const void* src, uint64_t n, int64_t avail, int64_t total, int32_t terminate,
                      int32_t allowTrunc, void* dst, uint64_t dstLen, SQLLEN* outLen, int32_t* err,
                      uint64_t* used = nullptr) noexcept;

// Output bytes of n UTF-16 units as UTF-8, and of n bytes of UTF-8 as UTF-16: the
// measures the transcoding copy-outs report, so that a caller delivering a value in
// pieces can keep the length of what remains instead of measuring it again.
uint64_t WideToCharLength(const char16_t* src, uint64_t n) noexcept;
uint64_t CharToWideLength(const char* src, uint64_t n) noexcept;

// Source units (bytes, or UTF-16 units) the copy-out routines and the measures above
// have read on the calling thread since it started: what a caller delivering a long
// value in pieces can check to be a bounded multiple of the value.
uint64_t CopyOutUnitsRead() noexcept;

// 0..15 for '0'-'9', 'a'-'f', 'A'-'F'; 0 for any other byte.
int HexDigitValue(int ch) noexcept;

// Writes n / 2 bytes from pairs of hex digits (high digit first); an odd last
// digit is ignored and invalid digits count as 0.
void HexToBinary(void* dst, const char* text, uint64_t n) noexcept;
