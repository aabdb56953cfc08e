// strout.cpp -- text into application buffers, 8-bit or UTF-16.
// An 8-bit cut never splits a UTF-8 sequence, so the application never
// receives a broken character.

#include "odbc/strout.h"

#include <cstring>

#include "util/conv.h"

namespace {

// Bytes of text that fit in limit bytes without splitting a character.
size_t whole_chars(const char* text, size_t len, size_t limit) {
  if (limit >= len) return len;
  size_t n = limit;
  // Step back over continuation bytes to the start of the cut character.
  while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) --n;
  return n;
}

}  // namespace

int StrOutText(const char* text, void* buf, int64_t bufLen, char form, int64_t* fullLen) noexcept {
  if (text == nullptr) text = "";
  const size_t len = strlen(text);
  if (form == 'W') {
    const int64_t units = utf8_char_count(text, CONV_NTS);
    if (fullLen != nullptr) *fullLen = units * 2;
    if (buf == nullptr) return 0;
    const int64_t room = bufLen / 2;
    if (room <= 0) return -1;
    return utf8_to_wcs_buf_len(text, static_cast<char16_t*>(buf), room, nullptr) == 0 ? 0 : -1;
  }
  if (fullLen != nullptr) *fullLen = static_cast<int64_t>(len);
  if (buf == nullptr) return 0;
  if (bufLen <= 0) return -1;
  auto* out = static_cast<char*>(buf);
  if (static_cast<uint64_t>(bufLen) > len) {
    memcpy(out, text, len + 1);
    return 0;
  }
  const size_t n = whole_chars(text, len, static_cast<size_t>(bufLen - 1));
  memcpy(out, text, n);
  out[n] = '\0';
  return -1;
}
