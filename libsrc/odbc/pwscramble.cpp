// pwscramble.cpp -- the password scrambler and its two unscramblers.
// Nothing in the driver stores or reads scrambled passwords yet; the three
// share one sequence, so that whatever one writes the others read.

#include "odbc/pwscramble.h"

#include <cstdlib>
#include <cstring>

#include "platform/windows/codepage.h"
#include "util/conv.h"

namespace {

constexpr uint32_t kSeed = 0x3C5E91A7u;

// One step of the sequence whose low bytes the password is XORed with.
uint32_t next_state(uint32_t s) { return s * 1103515245u + 12345u; }

void apply_sequence(uint8_t* bytes, uint64_t n) {
  uint32_t state = kSeed;
  for (uint64_t i = 0; i < n; ++i) {
    bytes[i] = static_cast<uint8_t>(bytes[i] ^ (state & 0xFF));
    state = next_state(state);
  }
}

// The password bytes of a scrambled text, NUL-terminated, or null when the
// text is not one (no leading '1', or nothing behind it). *n receives the count.
uint8_t* unscramble_bytes(const char16_t* text, uint64_t* n) {
  const uint64_t length = text != nullptr ? static_cast<uint64_t>(wcs_len(text)) : 0;
  if (length < 2 || text[0] != '1') return nullptr;
  *n = (length - 1) / 2;  // a lone digit at the end belongs to no byte
  auto* bytes = static_cast<uint8_t*>(std::malloc(*n + 1));
  if (bytes == nullptr) return nullptr;
  PwdHexDecode(text + 1, *n, bytes);
  apply_sequence(bytes, *n);
  bytes[*n] = 0;
  return bytes;
}

}  // namespace

uint8_t PwdHexDigitValue(char16_t c) noexcept {
  if (c >= '0' && c <= '9') return static_cast<uint8_t>(c - '0');
  if (c >= 'a' && c <= 'f') return static_cast<uint8_t>(c - 'a' + 10);
  if (c >= 'A' && c <= 'F') return static_cast<uint8_t>(c - 'A' + 10);
  return 0;
}

void PwdHexDecode(const char16_t* digits, uint64_t count, uint8_t* out) noexcept {
  for (uint64_t i = 0; i < count; ++i)
    out[i] = static_cast<uint8_t>(PwdHexDigitValue(digits[2 * i]) << 4 |
                                  PwdHexDigitValue(digits[2 * i + 1]));
}

char16_t* MbcsToWideDup(const char* text, uint32_t codePage) noexcept {
  if (text == nullptr) return nullptr;
  const int units = MultiByteToWideChar(codePage, 0, text, -1, nullptr, 0);
  if (units <= 0) return nullptr;
  auto* out = static_cast<char16_t*>(std::malloc(static_cast<size_t>(units) * sizeof(char16_t)));
  if (out == nullptr) return nullptr;
  if (MultiByteToWideChar(codePage, 0, text, -1, out, units) != units) {
    std::free(out);
    return nullptr;
  }
  return out;
}

char16_t* ScramblePassword(const char16_t* password) noexcept {
  if (password == nullptr) return nullptr;
  char* utf8 = wcs_to_utf8_dup(password);
  if (utf8 == nullptr) return nullptr;
  const uint64_t n = std::strlen(utf8);
  auto* bytes = reinterpret_cast<uint8_t*>(utf8);
  apply_sequence(bytes, n);
  static constexpr char kDigits[] = "0123456789ABCDEF";
  char* hex = static_cast<char*>(std::malloc(2 * n + 2));
  char16_t* out = nullptr;
  if (hex != nullptr) {
    hex[0] = '1';
    for (uint64_t i = 0; i < n; ++i) {
      hex[1 + 2 * i] = kDigits[bytes[i] >> 4];
      hex[2 + 2 * i] = kDigits[bytes[i] & 0xF];
    }
    hex[2 * n + 1] = '\0';
    out = MbcsToWideDup(hex, CP_ACP);
    std::free(hex);
  }
  std::memset(utf8, 0, n);
  std::free(utf8);
  return out;
}

char* UnscramblePassword(const char* scrambled) noexcept {
  char16_t* wide = MbcsToWideDup(scrambled, CP_ACP);
  if (wide == nullptr) return nullptr;
  uint64_t n = 0;
  uint8_t* bytes = unscramble_bytes(wide, &n);
  std::free(wide);
  return reinterpret_cast<char*>(bytes);
}

char16_t* UnscramblePasswordW(const char16_t* scrambled) noexcept {
  uint64_t n = 0;
  uint8_t* bytes = unscramble_bytes(scrambled, &n);
  if (bytes == nullptr) return nullptr;
  char16_t* out = MbcsToWideDup(reinterpret_cast<const char*>(bytes), CP_ACP);
  std::memset(bytes, 0, n);
  std::free(bytes);
  return out;
}
