// codepage.cpp -- UTF-8 <-> UTF-16 for the "ANSI code page".
// Measuring and converting run the same loop (a null sink only counts), so a converted text
// never outgrows the size measured for it.
#include "platform/windows/codepage.h"

#include <cstddef>

#include "platform/windows/errors.h"

namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool codePageKnown(uint32_t cp) { return cp == CP_ACP || cp == CP_UTF8; }

// Decodes one character starting at s[0] (n > 0 bytes available) and answers the bytes used.
// An invalid sequence yields U+FFFD and consumes its longest valid prefix (at least one byte).
size_t decodeUtf8(const unsigned char* s, size_t n, char32_t* out) {
  unsigned char b = s[0];
  if (b < 0x80) {
    *out = b;
    return 1;
  }
  size_t need;
  char32_t cp;
  unsigned char lo = 0x80, hi = 0xBF;  // range of the second byte
  if (b >= 0xC2 && b <= 0xDF) {
    need = 1;
    cp = b & 0x1F;
  } else if (b >= 0xE0 && b <= 0xEF) {
    need = 2;
    cp = b & 0x0F;
    if (b == 0xE0) lo = 0xA0;  // overlong below U+0800; ED (surrogates) stays open on purpose
  } else if (b >= 0xF0 && b <= 0xF4) {
    need = 3;
    cp = b & 0x07;
    if (b == 0xF0) lo = 0x90;  // overlong below U+10000
    if (b == 0xF4) hi = 0x8F;  // above U+10FFFF
  } else {
    *out = kReplacement;
    return 1;
  }
  size_t used = 1;
  for (size_t k = 0; k < need; ++k, ++used) {
    if (used >= n) {
      *out = kReplacement;
      return used;
    }
    unsigned char c = s[used];
    unsigned char min = k == 0 ? lo : 0x80, max = k == 0 ? hi : 0xBF;
    if (c < min || c > max) {
      *out = kReplacement;
      return used;
    }
    cp = (cp << 6) | (c & 0x3F);
  }
  *out = cp;
  return used;
}

// Appends units to a bounded destination, or only counts them when there is none.
template <typename Unit>
struct Sink {
  Unit* dst;
  size_t cap;  // 0: count only
  size_t len = 0;
  bool full = false;

  // All of `units` go in, or none (whole characters only).
  void put(const Unit* units, size_t n) {
    if (full) return;
    if (cap != 0) {
      if (len + n > cap) {
        full = true;
        return;
      }
      for (size_t i = 0; i < n; ++i) dst[len + i] = units[i];
    }
    len += n;
  }
};

template <typename Unit>
int finish(const Sink<Unit>& sink) {
  if (sink.full) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  if (sink.len > static_cast<size_t>(INT32_MAX)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  return static_cast<int>(sink.len);
}

}  // namespace

int MultiByteToWideChar(uint32_t codePage, uint32_t flags, const char* source, int sourceLength,
                        char16_t* destination, int destinationLength) noexcept {
  if (!codePageKnown(codePage) || flags != 0 || !source || sourceLength == 0 || sourceLength < -1 ||
      destinationLength < 0 || (destinationLength > 0 && !destination)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  const auto* s = reinterpret_cast<const unsigned char*>(source);
  size_t n = sourceLength == -1 ? __builtin_strlen(source) + 1 : static_cast<size_t>(sourceLength);
  Sink<char16_t> sink{destination, static_cast<size_t>(destinationLength)};
  for (size_t i = 0; i < n && !sink.full;) {
    char32_t cp;
    i += decodeUtf8(s + i, n - i, &cp);
    if (cp >= 0x10000) {
      char32_t v = cp - 0x10000;
      char16_t pair[2] = {static_cast<char16_t>(0xD800 + (v >> 10)),
                          static_cast<char16_t>(0xDC00 + (v & 0x3FF))};
      sink.put(pair, 2);
    } else {
      char16_t unit = static_cast<char16_t>(cp);
      sink.put(&unit, 1);
    }
  }
  return finish(sink);
}

int WideCharToMultiByte(uint32_t codePage, uint32_t flags, const char16_t* source, int sourceLength,
                        char* destination, int destinationLength, const char* defaultChar,
                        int* usedDefault) noexcept {
  if (!codePageKnown(codePage) || flags != 0 || defaultChar || !source || sourceLength == 0 ||
      sourceLength < -1 || destinationLength < 0 || (destinationLength > 0 && !destination)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (usedDefault) *usedDefault = 0;
  size_t n = static_cast<size_t>(sourceLength);
  if (sourceLength == -1) {
    n = 0;
    while (source[n]) ++n;
    ++n;
  }
  Sink<char> sink{destination, static_cast<size_t>(destinationLength)};
  for (size_t i = 0; i < n && !sink.full;) {
    char32_t cp = source[i++];
    if (cp >= 0xD800 && cp <= 0xDBFF && i < n && source[i] >= 0xDC00 && source[i] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (source[i++] - 0xDC00);
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = kReplacement;
    }
    char bytes[4];
    size_t len;
    if (cp < 0x80) {
      bytes[0] = static_cast<char>(cp);
      len = 1;
    } else if (cp < 0x800) {
      bytes[0] = static_cast<char>(0xC0 | (cp >> 6));
      bytes[1] = static_cast<char>(0x80 | (cp & 0x3F));
      len = 2;
    } else if (cp < 0x10000) {
      bytes[0] = static_cast<char>(0xE0 | (cp >> 12));
      bytes[1] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      bytes[2] = static_cast<char>(0x80 | (cp & 0x3F));
      len = 3;
    } else {
      bytes[0] = static_cast<char>(0xF0 | (cp >> 18));
      bytes[1] = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
      bytes[2] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      bytes[3] = static_cast<char>(0x80 | (cp & 0x3F));
      len = 4;
    }
    sink.put(bytes, len);
  }
  return finish(sink);
}
