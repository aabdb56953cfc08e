// conv.h -- conversions between UTF-16 (the wide ODBC strings), UTF-8 (the
// driver's own text) and the ANSI code page (UTF-8 on this platform).
// Characters outside the BMP travel whole: a UTF-16 surrogate pair is one
// four-byte UTF-8 sequence and back. Three-byte forms of surrogate halves,
// which earlier releases wrote, still decode to their unit, and a lone
// surrogate unit encodes to that form, so no text is lost either way. An
// invalid UTF-8 byte decodes to U+FFFD and the decode goes on.
// Measuring and converting share one decoder, so a converted text never
// outgrows its measured size. Counts:
// - a length of CONV_NTS (-3) means NUL-terminated; UTF-16 lengths and sizes
//   count 16-bit units, UTF-8 and ANSI lengths count bytes (ansi_to_wcs_buf
//   alone measures its buffer and out length in bytes, as ODBC wide buffers are);
// - into-buffer forms answer 0 when the whole text and its NUL fit and -1
//   otherwise, leaving the longest prefix of whole characters and a NUL
//   (nothing is written for a size of 0 or a null argument);
// - out lengths are 16-bit and saturate at their type's maximum.
// Allocating forms use malloc and answer null when memory is short.
// Threading: no state; any thread.
#pragma once

#include <cstdint>

inline constexpr int64_t CONV_NTS = -3;

// Measuring.
int64_t wcs_utf8_len(const char16_t* text, int64_t length) noexcept;
// UTF-16 units the UTF-8 text decodes to (characters beyond the BMP count
// two); a character cut by an explicit length is not counted.
int64_t utf8_char_count(const char* text, int64_t length) noexcept;
int64_t wcs_len(const char16_t* text) noexcept;

// UTF-16 to UTF-8.
int64_t wcs_to_utf8(const char16_t* text, char* out, int64_t size) noexcept;
int64_t wcsn_to_utf8(const char16_t* text, char* out, int64_t length, int64_t size,
                     int64_t* consumed) noexcept;
char* wcs_to_utf8_dup(const char16_t* text) noexcept;
char* wcsn_to_utf8_dup(const char16_t* text, int64_t length) noexcept;
int wcs_to_utf8_buf(const char16_t* text, char* out, int64_t size, int16_t* outLen) noexcept;

// UTF-8 to UTF-16.
int64_t utf8_to_wcs(const char* text, char16_t* out, int64_t maxUnits) noexcept;
int64_t utf8n_to_wcs(const char* text, char16_t* out, int64_t length, int64_t maxUnits,
                     int64_t* consumed) noexcept;
char16_t* utf8_to_wcs_dup(const char* text) noexcept;
char16_t* utf8n_to_wcs_dup(const char* text, int64_t length) noexcept;
int utf8_to_wcs_buf(const char* text, char16_t* out, int64_t size, int16_t* outLen) noexcept;
// Stores the full length in units first, even without a buffer (answer 0 then).
int utf8_to_wcs_buf_len(const char* text, char16_t* out, int64_t size, int16_t* fullLen) noexcept;
char16_t* utf8_to_wcs_copy(char16_t* out, const char* text, int64_t size) noexcept;
// No size check: the caller guarantees room for the whole text and a NUL.
char16_t* utf8_to_wcs_copy_all(char16_t* out, const char* text) noexcept;

// UTF-16 to UTF-16.
int wcs_copy_buf(const char16_t* text, char16_t* out, int64_t size, uint16_t* outLen) noexcept;
int wcs_copy_buf_len(const char16_t* text, char16_t* out, int64_t size, uint16_t* fullLen) noexcept;

// ANSI code page.
char16_t* ansi_to_wcs_dup(const char* text, int64_t length) noexcept;
int ansi_to_wcs_buf(const char* text, char16_t* out, int64_t sizeBytes,
                    int16_t* outLenBytes) noexcept;
char16_t* ansi_to_wcs_copy_all(char16_t* out, const char* text) noexcept;
// At most size units; no NUL when the text is cut.
char16_t* ansi_to_wcs_copy(char16_t* out, const char* text, int64_t size) noexcept;
char* wcs_to_ansi_strdup(const char16_t* text) noexcept;
char* wcs_to_ansi_dup(const char16_t* text, int64_t length) noexcept;
// At most size bytes; no NUL when the text is cut.
char* wcs_to_ansi_copy(char* out, const char16_t* text, int64_t size) noexcept;
char* ansi_to_utf8_copy(char* out, const char* text, int64_t size) noexcept;

// Twins for unixODBC's SQLWCHAR (unsigned short), same behaviour; the suffix
// keeps calls with a null pointer unambiguous.
int64_t wcs_utf8_len_us(const unsigned short* text, int64_t length) noexcept;
int64_t wcs_to_utf8_us(const unsigned short* text, char* out, int64_t size) noexcept;
int wcs_to_utf8_buf_us(const unsigned short* text, char* out, int64_t size,
                       int16_t* outLen) noexcept;
char* wcs_to_utf8_dup_us(const unsigned short* text) noexcept;
int64_t utf8_to_wcs_us(const char* text, unsigned short* out, int64_t maxUnits) noexcept;
unsigned short* utf8_to_wcs_dup_us(const char* text) noexcept;
