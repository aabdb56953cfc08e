// conv.cpp -- UTF-16, UTF-8 and ANSI (UTF-8 here) conversions.
// One decoder per encoding serves both the measuring and the converting
// functions, so a text always converts into exactly the room measured for it.
// Owns nothing; allocating forms hand their malloc'ed result to the caller.
// Threading: no state.
#include "util/conv.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "util/utf8_decode.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

using conv_detail::decode_utf8;
using conv_detail::utf8_size;
using conv_detail::Utf8Char;

constexpr int64_t kUnlimited = INT64_MAX;

struct Utf16Char {
  char32_t cp;
  int units;
};

// A high surrogate followed by a low one is one character; any other unit,
// a lone surrogate included, is a character of its own.
template <class W>
Utf16Char decode_utf16(const W* p, int64_t avail) {
  uint32_t u = p[0];
  if (u >= 0xD800 && u <= 0xDBFF && avail >= 2) {
    uint32_t v = p[1];
    if (v >= 0xDC00 && v <= 0xDFFF) return {0x10000 + ((u - 0xD800) << 10) + (v - 0xDC00), 2};
  }
  return {u, 1};
}

int utf16_size(char32_t cp) { return cp < 0x10000 ? 1 : 2; }

template <class W>
void put_utf16(char32_t cp, W* out) {
  if (cp < 0x10000) {
    out[0] = static_cast<W>(cp);
  } else {
    cp -= 0x10000;
    out[0] = static_cast<W>(0xD800 + (cp >> 10));
    out[1] = static_cast<W>(0xDC00 + (cp & 0x3FF));
  }
}

// ASCII runs, the bulk of most text, are found and moved sixteen characters at a
// time, so that a long value costs a few instructions a character rather than a
// decoding of each.

// The end of the run of ASCII characters that begins at i and ends before end at
// the latest.
template <class W>
int64_t ascii_run(const W* text, int64_t i, int64_t end) {
  static_assert(sizeof(W) == 1 || sizeof(W) == 2);
#if defined(__SSE2__)
  constexpr int64_t kBlock = 16;
  const __m128i high = sizeof(W) == 1 ? _mm_set1_epi8(static_cast<char>(0x80))
                                      : _mm_set1_epi16(static_cast<short>(0xFF80));
  while (end - i >= kBlock) {
    __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + i));
    if constexpr (sizeof(W) == 2)
      v = _mm_or_si128(v, _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + i + 8)));
    if (_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_and_si128(v, high), _mm_setzero_si128())) != 0xFFFF)
      break;
    i += kBlock;
  }
#endif
  while (i < end && static_cast<uint32_t>(text[i]) < 0x80) ++i;
  return i;
}

// n ASCII units as bytes.
template <class W>
void narrow_ascii(const W* text, char* out, int64_t n) {
  int64_t i = 0;
#if defined(__SSE2__)
  for (; n - i >= 16; i += 16) {
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + i));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + i + 8));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_packus_epi16(a, b));
  }
#endif
  for (; i < n; ++i) out[i] = static_cast<char>(text[i]);
}

// n ASCII bytes as units.
template <class W>
void widen_ascii(const unsigned char* text, W* out, int64_t n) {
  int64_t i = 0;
#if defined(__SSE2__)
  const __m128i zero = _mm_setzero_si128();
  for (; n - i >= 16; i += 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + i));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_unpacklo_epi8(v, zero));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i + 8), _mm_unpackhi_epi8(v, zero));
  }
#endif
  for (; i < n; ++i) out[i] = static_cast<W>(text[i]);
}

// UTF-16 to UTF-8. length: units or CONV_NTS (stop at the NUL unit). size:
// bytes of room; out null only measures. Stops before a character that does
// not fit whole. Answers the bytes produced.
template <class W>
int64_t to_utf8(const W* text, int64_t length, char* out, int64_t size, int64_t* consumed) {
  bool nts = length == CONV_NTS;
  int64_t avail = nts ? kUnlimited : length;
  int64_t i = 0;
  int64_t n = 0;
  while (i < avail && !(nts && text[i] == 0)) {
    if (!nts && text[i] < 0x80) {
      const int64_t j = ascii_run(text, i, i + std::min(avail - i, size - n));
      if (j == i) break;
      if (out != nullptr) narrow_ascii(text + i, out + n, j - i);
      n += j - i;
      i = j;
      continue;
    }
    Utf16Char c = decode_utf16(text + i, avail - i);
    int need = utf8_size(c.cp);
    if (need > size - n) break;
    if (out != nullptr) conv_detail::put_utf8(c.cp, reinterpret_cast<unsigned char*>(out + n));
    n += need;
    i += c.units;
  }
  if (consumed != nullptr) *consumed = i;
  return n;
}

// UTF-8 to UTF-16. length: bytes or CONV_NTS. maxUnits: room; out null only
// measures. A character cut by an explicit length is left for the caller's
// next piece; an invalid sequence becomes U+FFFD. Answers the units produced.
template <class W>
int64_t to_utf16(const char* text, int64_t length, W* out, int64_t maxUnits, int64_t* consumed) {
  bool nts = length == CONV_NTS;
  int64_t avail = nts ? kUnlimited : length;
  auto* p = reinterpret_cast<const unsigned char*>(text);
  int64_t i = 0;
  int64_t n = 0;
  while (i < avail && !(nts && p[i] == 0)) {
    if (!nts && p[i] < 0x80) {
      const int64_t j = ascii_run(p, i, i + std::min(avail - i, maxUnits - n));
      if (j == i) break;
      if (out != nullptr) widen_ascii(p + i, out + n, j - i);
      n += j - i;
      i = j;
      continue;
    }
    Utf8Char c = decode_utf8(p + i, avail - i);
    if (c.incomplete) break;
    int need = utf16_size(c.cp);
    if (need > maxUnits - n) break;
    if (out != nullptr) put_utf16(c.cp, out + n);
    n += need;
    i += c.bytes;
  }
  if (consumed != nullptr) *consumed = i;
  return n;
}

int16_t saturate16(int64_t v) { return v > INT16_MAX ? INT16_MAX : static_cast<int16_t>(v); }

uint16_t saturateU16(int64_t v) { return v > UINT16_MAX ? UINT16_MAX : static_cast<uint16_t>(v); }

template <class W>
int64_t units_of(const W* text) {
  int64_t n = 0;
  while (text[n] != 0) ++n;
  return n;
}

template <class W>
char* utf8_dup(const W* text, int64_t length) {
  if (text == nullptr) return nullptr;
  if (length < 0 && length != CONV_NTS) return nullptr;
  int64_t n = to_utf8(text, length, static_cast<char*>(nullptr), kUnlimited, nullptr);
  char* out = static_cast<char*>(malloc(static_cast<size_t>(n) + 1));
  if (out == nullptr) return nullptr;
  to_utf8(text, length, out, n, nullptr);
  out[n] = 0;
  return out;
}

template <class W>
W* utf16_dup(const char* text, int64_t length, int64_t allocUnits) {
  if (text == nullptr) return nullptr;
  if (length < 0 && length != CONV_NTS) return nullptr;
  int64_t n = to_utf16(text, length, static_cast<W*>(nullptr), kUnlimited, nullptr);
  if (allocUnits < n) allocUnits = n;
  auto* out = static_cast<W*>(calloc(static_cast<size_t>(allocUnits) + 1, sizeof(W)));
  if (out == nullptr) return nullptr;
  to_utf16(text, length, out, n, nullptr);
  out[n] = 0;
  return out;
}

template <class W>
int utf8_buf(const W* text, char* out, int64_t size, int16_t* outLen) {
  if (outLen != nullptr) *outLen = 0;
  if (text == nullptr || out == nullptr || size <= 0) return -1;
  int64_t full = to_utf8(text, CONV_NTS, static_cast<char*>(nullptr), kUnlimited, nullptr);
  int64_t n = to_utf8(text, CONV_NTS, out, size - 1, nullptr);
  out[n] = 0;
  if (outLen != nullptr) *outLen = saturate16(n);
  return n == full ? 0 : -1;
}

template <class W>
W* utf16_copy(W* out, const char* text, int64_t size) {
  if (out == nullptr || text == nullptr || size <= 0) return out;
  int64_t n = to_utf16(text, CONV_NTS, out, size - 1, nullptr);
  out[n] = 0;
  return out;
}

// Copies whole characters of a UTF-16 text into room units.
template <class W>
int64_t copy_units(const W* text, W* out, int64_t room) {
  int64_t i = 0;
  while (text[i] != 0) {
    Utf16Char c = decode_utf16(text + i, kUnlimited);
    if (c.units > room - i) break;
    for (int k = 0; k < c.units; ++k) out[i + k] = text[i + k];
    i += c.units;
  }
  return i;
}

}  // namespace

// Measuring.

int64_t wcs_utf8_len(const char16_t* text, int64_t length) noexcept {
  if (text == nullptr || (length < 0 && length != CONV_NTS)) return 0;
  return to_utf8(text, length, static_cast<char*>(nullptr), kUnlimited, nullptr);
}

int64_t utf8_char_count(const char* text, int64_t length) noexcept {
  if (text == nullptr || text[0] == 0 || (length < 0 && length != CONV_NTS)) return 0;
  return to_utf16(text, length, static_cast<char16_t*>(nullptr), kUnlimited, nullptr);
}

int64_t wcs_len(const char16_t* text) noexcept { return text == nullptr ? 0 : units_of(text); }

// UTF-16 to UTF-8.

int64_t wcs_to_utf8(const char16_t* text, char* out, int64_t size) noexcept {
  if (text == nullptr || out == nullptr || size <= 0) return 0;
  return to_utf8(text, CONV_NTS, out, size, nullptr);
}

int64_t wcsn_to_utf8(const char16_t* text, char* out, int64_t length, int64_t size,
                     int64_t* consumed) noexcept {
  if (text == nullptr) return 0;
  if ((length < 0 && length != CONV_NTS) || out == nullptr || size <= 0) {
    if (consumed != nullptr) *consumed = 0;
    return 0;
  }
  return to_utf8(text, length, out, size, consumed);
}

char* wcs_to_utf8_dup(const char16_t* text) noexcept { return utf8_dup(text, CONV_NTS); }

char* wcsn_to_utf8_dup(const char16_t* text, int64_t length) noexcept {
  return utf8_dup(text, length);
}

int wcs_to_utf8_buf(const char16_t* text, char* out, int64_t size, int16_t* outLen) noexcept {
  return utf8_buf(text, out, size, outLen);
}

// UTF-8 to UTF-16.

int64_t utf8_to_wcs(const char* text, char16_t* out, int64_t maxUnits) noexcept {
  if (text == nullptr || out == nullptr || maxUnits <= 0) return 0;
  return to_utf16(text, CONV_NTS, out, maxUnits, nullptr);
}

int64_t utf8n_to_wcs(const char* text, char16_t* out, int64_t length, int64_t maxUnits,
                     int64_t* consumed) noexcept {
  if (text == nullptr || out == nullptr || maxUnits <= 0 || (length < 0 && length != CONV_NTS)) {
    if (consumed != nullptr) *consumed = 0;
    return 0;
  }
  return to_utf16(text, length, out, maxUnits, consumed);
}

char16_t* utf8_to_wcs_dup(const char* text) noexcept {
  return utf16_dup<char16_t>(text, CONV_NTS, 0);
}

char16_t* utf8n_to_wcs_dup(const char* text, int64_t length) noexcept {
  return utf16_dup<char16_t>(text, length, 0);
}

int utf8_to_wcs_buf(const char* text, char16_t* out, int64_t size, int16_t* outLen) noexcept {
  if (outLen != nullptr) *outLen = 0;
  if (text == nullptr || out == nullptr || size <= 0) return -1;
  int64_t full = to_utf16(text, CONV_NTS, static_cast<char16_t*>(nullptr), kUnlimited, nullptr);
  int64_t n = to_utf16(text, CONV_NTS, out, size - 1, nullptr);
  out[n] = 0;
  if (outLen != nullptr) *outLen = saturate16(n);
  return n == full ? 0 : -1;
}

int utf8_to_wcs_buf_len(const char* text, char16_t* out, int64_t size, int16_t* fullLen) noexcept {
  if (text == nullptr) return -1;
  int64_t full = to_utf16(text, CONV_NTS, static_cast<char16_t*>(nullptr), kUnlimited, nullptr);
  if (fullLen != nullptr) *fullLen = saturate16(full);
  if (out == nullptr) return 0;
  if (size <= 0) return -1;
  int64_t n = to_utf16(text, CONV_NTS, out, size - 1, nullptr);
  out[n] = 0;
  return n == full ? 0 : -1;
}

char16_t* utf8_to_wcs_copy(char16_t* out, const char* text, int64_t size) noexcept {
  return utf16_copy(out, text, size);
}

char16_t* utf8_to_wcs_copy_all(char16_t* out, const char* text) noexcept {
  return utf16_copy(out, text, kUnlimited);
}

// UTF-16 to UTF-16.

int wcs_copy_buf(const char16_t* text, char16_t* out, int64_t size, uint16_t* outLen) noexcept {
  if (outLen != nullptr) *outLen = 0;
  if (text == nullptr || out == nullptr || size <= 0) return -1;
  int64_t full = units_of(text);
  int64_t n = copy_units(text, out, size - 1);
  out[n] = 0;
  if (outLen != nullptr) *outLen = saturateU16(n);
  return n == full ? 0 : -1;
}

int wcs_copy_buf_len(const char16_t* text, char16_t* out, int64_t size,
                     uint16_t* fullLen) noexcept {
  if (text == nullptr) return -1;
  int64_t full = units_of(text);
  if (fullLen != nullptr) *fullLen = saturateU16(full);
  if (out == nullptr) return 0;
  if (size <= 0) return -1;
  int64_t n = copy_units(text, out, size - 1);
  out[n] = 0;
  return n == full ? 0 : -1;
}

// ANSI code page: UTF-8 on this platform, so the ANSI forms share the UTF-8
// decoder and encoder; every size follows the real length of the text.

char16_t* ansi_to_wcs_dup(const char* text, int64_t length) noexcept {
  if (text == nullptr) return nullptr;
  int64_t bytes = length == CONV_NTS ? static_cast<int64_t>(strlen(text)) : length;
  if (bytes < 0) return nullptr;
  // A byte never decodes to more than one unit, so length + 1 units always hold it.
  return utf16_dup<char16_t>(text, bytes, bytes);
}

int ansi_to_wcs_buf(const char* text, char16_t* out, int64_t sizeBytes,
                    int16_t* outLenBytes) noexcept {
  if (text == nullptr) return -1;
  int64_t full = to_utf16(text, CONV_NTS, static_cast<char16_t*>(nullptr), kUnlimited, nullptr);
  if (outLenBytes != nullptr) *outLenBytes = saturate16(2 * full);
  if (out == nullptr) return 0;
  int64_t room = sizeBytes / 2;
  if (room < 1) return -1;
  int64_t n = to_utf16(text, CONV_NTS, out, room - 1, nullptr);
  out[n] = 0;
  return n == full ? 0 : -1;
}

char16_t* ansi_to_wcs_copy_all(char16_t* out, const char* text) noexcept {
  return utf16_copy(out, text, kUnlimited);
}

char16_t* ansi_to_wcs_copy(char16_t* out, const char* text, int64_t size) noexcept {
  if (out == nullptr || text == nullptr || size <= 0) return out;
  int64_t full = to_utf16(text, CONV_NTS, static_cast<char16_t*>(nullptr), kUnlimited, nullptr);
  int64_t n = to_utf16(text, CONV_NTS, out, size, nullptr);
  if (n == full && n < size) out[n] = 0;
  return out;
}

char* wcs_to_ansi_strdup(const char16_t* text) noexcept { return utf8_dup(text, CONV_NTS); }

char* wcs_to_ansi_dup(const char16_t* text, int64_t length) noexcept {
  return utf8_dup(text, length);
}

char* wcs_to_ansi_copy(char* out, const char16_t* text, int64_t size) noexcept {
  if (out == nullptr || text == nullptr || size <= 0) return out;
  int64_t full = to_utf8(text, CONV_NTS, static_cast<char*>(nullptr), kUnlimited, nullptr);
  int64_t n = to_utf8(text, CONV_NTS, out, size, nullptr);
  if (n == full && n < size) out[n] = 0;
  return out;
}

char* ansi_to_utf8_copy(char* out, const char* text, int64_t size) noexcept {
  if (out == nullptr || text == nullptr) return out;
  char16_t* wide = ansi_to_wcs_dup(text, CONV_NTS);
  if (wide == nullptr) return out;
  if (size > 0) {
    int64_t n = to_utf8(wide, CONV_NTS, out, size - 1, nullptr);
    out[n] = 0;
  }
  free(wide);
  return out;
}

// Twins for unsigned short.

int64_t wcs_utf8_len_us(const unsigned short* text, int64_t length) noexcept {
  if (text == nullptr || (length < 0 && length != CONV_NTS)) return 0;
  return to_utf8(text, length, static_cast<char*>(nullptr), kUnlimited, nullptr);
}

int64_t wcs_to_utf8_us(const unsigned short* text, char* out, int64_t size) noexcept {
  if (text == nullptr || out == nullptr || size <= 0) return 0;
  return to_utf8(text, CONV_NTS, out, size, nullptr);
}

int wcs_to_utf8_buf_us(const unsigned short* text, char* out, int64_t size,
                       int16_t* outLen) noexcept {
  return utf8_buf(text, out, size, outLen);
}

char* wcs_to_utf8_dup_us(const unsigned short* text) noexcept { return utf8_dup(text, CONV_NTS); }

int64_t utf8_to_wcs_us(const char* text, unsigned short* out, int64_t maxUnits) noexcept {
  if (text == nullptr || out == nullptr || maxUnits <= 0) return 0;
  return to_utf16(text, CONV_NTS, out, maxUnits, nullptr);
}

unsigned short* utf8_to_wcs_dup_us(const char* text) noexcept {
  return utf16_dup<unsigned short>(text, CONV_NTS, 0);
}
