#pragma once
// cvt_core.h -- what the converters share: an exact decimal number read from
// text or made from a binary number, its conversions to integers, doubles and
// SQL_NUMERIC_STRUCT, and the writers of fixed-size, integer and text targets.
// Internal to the conversion engine (cvt_*.cpp); callers use cvt.h.
// Pure functions, any thread; text is read byte by byte in the C locale's sense,
// whatever locale the application has set.

#include <cstdint>

#include "odbc/ctypes.h"
#include "odbc/trace.h"

// Targets the converters write whole, with the sizes ODBC gives them.
static_assert(sizeof(SQL_NUMERIC_STRUCT) == 19);
static_assert(sizeof(SQLGUID) == 16);
static_assert(sizeof(SQL_TIMESTAMP_STRUCT) == 16 && sizeof(SQL_DATE_STRUCT) == 6);

// value = (-1 if neg) × D × 10^exp, where D is the integer made of dig[0..nd).
// dig holds the significant digits without leading or trailing zeros; a zero has
// nd 0. Digits past kDigits are dropped and leave `sticky` set when one of them
// was not 0 (they only matter for rounding).
struct DecNum {
  static constexpr int kDigits = 48;
  uint8_t dig[kDigits];
  int32_t nd;
  int32_t exp;
  int32_t textDigits;  // mantissa digits as written, leading zeros included
  bool neg;
  bool sticky;
};

enum : unsigned {
  DEC_MONEY = 0x1,  // a leading '$' and ',' grouping are accepted
};

// Reads a number (see CharToNumber in cvt.h for the form). 0 or ERR_ASSIGNMENT.
int32_t DecParse(const char* text, uint64_t len, unsigned flags, DecNum* out) noexcept;
int32_t DecParse(const char16_t* text, uint64_t len, unsigned flags, DecNum* out) noexcept;

void DecFromInt(__int128 v, DecNum* out) noexcept;
// The shortest decimal form that reads back as the same double or float.
// 0, or ERR_NUMERIC_RANGE for infinities and NaN.
int32_t DecFromDouble(double v, DecNum* out) noexcept;
int32_t DecFromFloat(float v, DecNum* out) noexcept;
void DecFromNumeric(const SQL_NUMERIC_STRUCT* v, DecNum* out) noexcept;

// Integer part within [min, max]: status 0, 1 (non-zero fraction dropped,
// ERR_FRACTION_TRUNC) or -1 (ERR_NUMERIC_RANGE).
int DecToInteger(const DecNum& d, __int128 min, __int128 max, __int128* out, int32_t* err) noexcept;
// Nearest double: 0, or ERR_NUMERIC_RANGE beyond the double range (a value below
// the smallest double reads as zero).
int32_t DecToDouble(const DecNum& d, double* out) noexcept;
// Plain decimal text (an optional '-', digits with at most one point, nothing else,
// at most kPlainDecimalChars characters before len or the first NUL) read straight
// into the nearest double, which is what DecParse and DecToDouble give for it. false
// for any other text, left to them.
inline constexpr uint64_t kPlainDecimalChars = 40;
bool DecPlainToDouble(const char* text, uint64_t len, double* out) noexcept;
bool DecPlainToDouble(const char16_t* text, uint64_t len, double* out) noexcept;
// The magnitude rounded to nearest (half away from zero) at `scale`, as a
// struct labelled with `precision` (0: the magnitude's own digit count). Status 0,
// 1 (non-zero digits dropped, ERR_FRACTION_TRUNC) or -1 (ERR_NUMERIC_RANGE for a
// magnitude of 38 digits or more or a scale a struct cannot hold). *digits, when
// given, receives the magnitude's digit count.
int DecToNumeric(const DecNum& d, int32_t scale, int32_t precision, SQL_NUMERIC_STRUCT* out,
                 int32_t* err, int32_t* digits = nullptr) noexcept;

// Plain decimal text of the number (no exponent). Answers the length, or -1 when
// size (NUL included) is too small.
int64_t DecToText(const DecNum& d, char* out, uint64_t size) noexcept;

// White space as the C locale has it, whatever locale the application set.
inline bool CvtIsBlank(uint32_t c) noexcept { return c == ' ' || (c >= '\t' && c <= '\r'); }

// Converter trace lines are formatted only while the ODBC trace is on.
inline bool CvtTracing() noexcept { return TraceLevel.load(std::memory_order_relaxed) != 0; }

// ---- target writers ----

// Size, limits and signedness of an integer C type (SQL_C_BIT counts as one).
struct IntTarget {
  int16_t size;
  __int128 min;
  __int128 max;
};
bool IntTargetOf(int32_t cType, IntTarget* t) noexcept;

// Writes a fixed-size result whatever the buffer length; `status` 1 answers
// SQL_SUCCESS_WITH_INFO (the ERR_FRACTION_TRUNC already in *err).
SQLRETURN PutFixed(const void* value, uint64_t size, int status, void* data, SQLLEN* lenPtr,
                   int32_t* err) noexcept;
// An integer value for an integer target: range test, then written at its size.
SQLRETURN PutInteger(const IntTarget& t, __int128 v, int status, void* data, SQLLEN* lenPtr,
                     int32_t* err) noexcept;
// ASCII text of a number, date or time into an SQL_C_CHAR or SQL_C_WCHAR buffer,
// NUL-terminated. A buffer that cannot hold the whole text may cut it only after
// its first `keep` characters (ERR_TRUNCATED); shorter is ERR_NUMERIC_RANGE.
SQLRETURN PutText(const char* text, uint64_t len, uint64_t keep, int32_t cType, void* data,
                  SQLLEN bufLen, SQLLEN* lenPtr, int32_t* err) noexcept;
// Refuses a negative buffer length for a variable-length target.
bool BadBufferLength(SQLLEN bufLen, int32_t* err) noexcept;
