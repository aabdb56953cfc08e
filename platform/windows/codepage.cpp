// codepage.cpp -- UTF-8 <-> UTF-16 for the "ANSI code page".
// Measuring and converting run the same loop (a null sink only counts), so a converted text
// never outgrows the size measured for it.
#include "platform/windows/codepage.h"

#include <cstddef>

#include "platform/windows/errors.h"
#include "util/utf8_decode.h"

namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool codePageKnown(uint32_t cp) { return cp == CP_ACP || cp == CP_UTF8; }

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
    // A character cut by the end of the text reads as one invalid character.
    conv_detail::Utf8Char ch = conv_detail::decode_utf8(s + i, static_cast<int64_t>(n - i));
    i += static_cast<size_t>(ch.bytes);
    char32_t cp = ch.incomplete ? kReplacement : ch.cp;
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
    unsigned char bytes[4];
    conv_detail::put_utf8(cp, bytes);
    sink.put(reinterpret_cast<const char*>(bytes), static_cast<size_t>(conv_detail::utf8_size(cp)));
  }
  return finish(sink);
}
