// casemap.h -- Unicode simple upper and lower case of characters and of
// UTF-8 text, from the case tables generated out of the Unicode 3.2
// character database (scripts/gen_casemap.py writes casemap_tables.inc).
// Threading: constant tables; any thread.
#pragma once

#include <cstdint>

// One word per mapped character, sorted by code point: bits 0-17 the code
// point, bits 18-30 the magnitude of the delta, bit 31 set for a negative
// delta. A magnitude of CASE_WIDE_MAGNITUDE sends the lookup to
// CaseWideTable, which holds the deltas too large for 13 bits.
inline constexpr uint32_t CASE_WIDE_MAGNITUDE = 0x1FFF;
inline constexpr int CASE_UPPER_COUNT = 759;
inline constexpr int CASE_LOWER_COUNT = 749;

struct CaseWideEntry {
  int32_t code;
  int32_t delta;
};

extern const uint32_t CaseUpperTable[CASE_UPPER_COUNT];
extern const uint32_t CaseLowerTable[CASE_LOWER_COUNT];
extern const CaseWideEntry CaseWideTable[];
extern const int CaseWideCount;

int32_t case_delta(const uint32_t* table, int count, int32_t ch) noexcept;
int32_t wchar_upper(int32_t ch) noexcept;
int32_t wchar_lower(int32_t ch) noexcept;
// Case-maps the NUL-terminated UTF-8 text in place and cuts it to size - 1
// bytes at a whole character; a size of 0 (or below) leaves it alone. Bytes
// that are not valid UTF-8 are kept as they are.
char* utf8_upper(char* text, int64_t size) noexcept;
char* utf8_lower(char* text, int64_t size) noexcept;
