// str.h -- small helpers on 8-bit NUL-terminated text: keyword and substring
// search, trimming, comma-list lookup, length-aware copies, quoting of
// identifiers, file-name extensions and the program name.
// Comparisons are on bytes; case-insensitive ones fold ASCII letters only and
// never consult the locale. White space is blank, \t, \n, \v, \f, \r.
// Lengths follow the ODBC rule: STR_NTS (-3) means NUL-terminated.
// Threading: no shared state but the once-computed program name; results of
// set_file_ext live in a buffer of the calling thread.
#pragma once

#include <cstddef>
#include <cstdint>

inline constexpr int64_t STR_NTS = -3;

// ASCII-only, locale-independent case helpers shared by the whole driver.
int str_toupper(int c) noexcept;
int str_tolower(int c) noexcept;
int str_icmp(const char* a, const char* b) noexcept;
int str_nicmp(const char* a, const char* b, size_t n) noexcept;

char* stristr(char* text, const char* word) noexcept;
// The text after keyword and the white space that follows it, or null when
// the text does not start (after white space) with keyword as a whole word.
char* skip_keyword(const char* keyword, char* text) noexcept;
char* skip_keyword_exact(const char* keyword, char* text) noexcept;
char* skip_keyword_ex(const char* keyword, char* text, int exact) noexcept;
char* skip_space(char* text) noexcept;
// Cuts trailing white space in place; answers the last remaining character,
// or null for a null, empty or all-white text.
char* rtrim(char* text) noexcept;
// 1-based position of name in a comma-separated list, 0 when absent.
int list_index(const char* list, const char* name) noexcept;

// Settles the length of a text the application gave with an explicit length: NULs at
// its end are padding and go, so the length then ends at the first NUL. Answers false
// when a NUL inside the length is followed by anything else: such a text would be cut
// short by every NUL-terminated copy, and must be refused rather than passed on.
// STR_NTS, a negative length and a null text are left as they are.
bool str_settle_length(const char* text, int64_t* length) noexcept;

// *out = malloc'ed copy of length bytes (or the whole text for STR_NTS) plus
// a NUL; a null text counts as empty. *out is null when memory is short or
// the length is negative other than STR_NTS. Always answers 0.
int strdup_len(char** out, const char* text, int64_t length) noexcept;
// As strdup_len, dropping one pair of matching surrounding ' or " quotes.
int strdup_unquoted(char** out, const char* text, int64_t length) noexcept;
// malloc'ed quoteChar + text + quoteChar, an embedded quoteChar doubled; a
// quoteChar of ' ' gives a plain copy. Null when memory is short or the
// length is negative other than STR_NTS.
char* str_quote(const char* text, int64_t length, int quoteChar) noexcept;
// Reverses str_quote: strips surrounding quoteChars and undoubles the inner
// ones; any other text is copied as it is.
char* str_unquote(const char* text, int64_t length, int quoteChar) noexcept;

// Copies path into a buffer of the calling thread with its extension changed:
// mode 1 replaces or adds ".ext", mode 2 adds it only when there is none, any
// other mode removes the extension. Null when the result exceeds PATH_MAX.
char* set_file_ext(const char* path, const char* ext, int mode) noexcept;
// The upper-case base name of the running program without its extension,
// computed once; "Unknown" when it cannot be told.
const char* get_program_name() noexcept;
