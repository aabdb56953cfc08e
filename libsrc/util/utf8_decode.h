// utf8_decode.h -- the one UTF-8 decoder and encoder of the driver (util and the
// code-page layer of platform/windows share it, header only):
// the converters and the case mapping walk text with it, so that measuring,
// converting and mapping always agree on where a character ends.
// Accepted: well-formed UTF-8, and the three-byte forms of surrogate halves
// that earlier releases wrote for characters beyond the BMP. Anything else
// (a stray continuation byte, an overlong form, a code point above U+10FFFF,
// a lead byte without its continuation bytes) is one invalid character made
// of the lead byte and the continuation bytes that were still acceptable.
#pragma once

#include <cstdint>

namespace conv_detail {

struct Utf8Char {
  char32_t cp;      // the code point, U+FFFD when invalid
  int bytes;        // bytes the character takes
  bool invalid;     // not well-formed: cp is U+FFFD
  bool incomplete;  // a well-formed start cut by the end of the length
};

// p holds at least one byte; avail counts the bytes that may be read (a
// NUL-terminated text may pass any large number: the NUL ends every sequence).
inline Utf8Char decode_utf8(const unsigned char* p, int64_t avail) {
  uint32_t b = p[0];
  if (b < 0x80) return {b, 1, false, false};
  int need;
  char32_t cp;
  uint32_t lo = 0x80;
  uint32_t hi = 0xBF;
  if (b >= 0xC2 && b <= 0xDF) {
    need = 1;
    cp = b & 0x1F;
  } else if (b >= 0xE0 && b <= 0xEF) {
    need = 2;
    cp = b & 0x0F;
    if (b == 0xE0) lo = 0xA0;  // overlong below U+0800
  } else if (b >= 0xF0 && b <= 0xF4) {
    need = 3;
    cp = b & 0x07;
    if (b == 0xF0) lo = 0x90;  // overlong below U+10000
    if (b == 0xF4) hi = 0x8F;  // above U+10FFFF
  } else {
    return {0xFFFD, 1, true, false};
  }
  for (int i = 1; i <= need; ++i) {
    if (i >= avail) return {0, i, false, true};
    uint32_t c = p[i];
    if (c < (i == 1 ? lo : 0x80) || c > (i == 1 ? hi : 0xBF)) return {0xFFFD, i, true, false};
    cp = cp << 6 | (c & 0x3F);
  }
  return {cp, need + 1, false, false};
}

inline int utf8_size(char32_t cp) { return cp < 0x80 ? 1 : cp < 0x800 ? 2 : cp < 0x10000 ? 3 : 4; }

// Writes utf8_size(cp) bytes; a surrogate code point takes the three-byte form.
inline void put_utf8(char32_t cp, unsigned char* o) {
  if (cp < 0x80) {
    o[0] = static_cast<unsigned char>(cp);
  } else if (cp < 0x800) {
    o[0] = static_cast<unsigned char>(0xC0 | cp >> 6);
    o[1] = static_cast<unsigned char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    o[0] = static_cast<unsigned char>(0xE0 | cp >> 12);
    o[1] = static_cast<unsigned char>(0x80 | (cp >> 6 & 0x3F));
    o[2] = static_cast<unsigned char>(0x80 | (cp & 0x3F));
  } else {
    o[0] = static_cast<unsigned char>(0xF0 | cp >> 18);
    o[1] = static_cast<unsigned char>(0x80 | (cp >> 12 & 0x3F));
    o[2] = static_cast<unsigned char>(0x80 | (cp >> 6 & 0x3F));
    o[3] = static_cast<unsigned char>(0x80 | (cp & 0x3F));
  }
}

}  // namespace conv_detail
