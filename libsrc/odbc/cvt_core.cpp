// cvt_core.cpp -- exact decimal numbers and the target writers of the
// conversion engine.
// A number read from text keeps every significant digit up to DecNum::kDigits,
// enough for the 38 digits of an SQL_NUMERIC_STRUCT plus its rounding digit, so
// no value passes through a double on its way to an integer or NUMERIC target.
// Doubles are read and written with <charconv>, which ignores the locale.
// Pure functions, any thread.

#include "odbc/cvt_core.h"

#include <charconv>
#include <cstring>
#include <system_error>

#include "drv/errtab.h"

namespace {

using u128 = unsigned __int128;

// 10^38: the first magnitude an SQL_NUMERIC_STRUCT of 38 digits cannot hold.
constexpr u128 kNumericLimit = [] {
  u128 v = 1;
  for (int i = 0; i < 38; ++i) v *= 10;
  return v;
}();

// The exponent of a DecNum stays far from int32 overflow whatever the text says.
constexpr int64_t kExpClamp = int64_t{1} << 30;

bool isDigit(uint32_t c) { return c >= '0' && c <= '9'; }

template <class C>
uint32_t unit(C c) {
  if constexpr (sizeof(C) == 1) {
    return static_cast<unsigned char>(c);
  } else {
    return static_cast<uint32_t>(c);
  }
}

template <class C>
int32_t parse(const C* s, uint64_t len, unsigned flags, DecNum* d) {
  std::memset(d, 0, sizeof *d);
  if (s == nullptr) return ERR_ASSIGNMENT;
  // The text ends at its first NUL: fixed-width cells are NUL-padded.
  uint64_t n = 0;
  while (n < len && s[n] != 0) ++n;
  uint64_t i = 0;
  auto at = [&](uint64_t k) -> uint32_t { return k < n ? unit(s[k]) : 0u; };
  const bool money = (flags & DEC_MONEY) != 0;

  while (CvtIsBlank(at(i))) ++i;
  if (money && at(i) == '$') {
    ++i;
    while (CvtIsBlank(at(i))) ++i;
  }
  if (at(i) == '+' || at(i) == '-') {
    d->neg = at(i) == '-';
    ++i;
  }
  bool any = false;
  bool point = false;
  int64_t exp = 0;
  for (;; ++i) {
    const uint32_t c = at(i);
    if (isDigit(c)) {
      any = true;
      ++d->textDigits;
      const uint8_t v = static_cast<uint8_t>(c - '0');
      if (d->nd == 0 && v == 0) {
        if (point) --exp;
      } else if (d->nd < DecNum::kDigits) {
        d->dig[d->nd++] = v;
        if (point) --exp;
      } else {
        if (v != 0) d->sticky = true;
        if (!point) ++exp;
      }
    } else if (c == '.' && !point) {
      point = true;
    } else if (c == ',' && money) {
      continue;
    } else {
      break;
    }
  }
  if (!any) return ERR_ASSIGNMENT;
  if (at(i) == 'e' || at(i) == 'E') {
    ++i;
    bool eneg = false;
    if (at(i) == '+' || at(i) == '-') {
      eneg = at(i) == '-';
      ++i;
    }
    if (!isDigit(at(i))) return ERR_ASSIGNMENT;
    int64_t e = 0;
    for (; isDigit(at(i)) || (money && at(i) == ','); ++i) {
      if (at(i) == ',') continue;
      if (e < kExpClamp) e = e * 10 + (at(i) - '0');
    }
    exp += eneg ? -e : e;
  }
  while (CvtIsBlank(at(i))) ++i;
  if (i < n) return ERR_ASSIGNMENT;

  while (d->nd > 0 && d->dig[d->nd - 1] == 0) {
    --d->nd;
    ++exp;
  }
  if (d->nd == 0) exp = 0;
  if (exp > kExpClamp) exp = kExpClamp;
  if (exp < -kExpClamp) exp = -kExpClamp;
  d->exp = static_cast<int32_t>(exp);
  return 0;
}

// Every digit of a plain decimal text fits a DecNum, so the exact road keeps them all
// and rounds the same number once: reading the text itself gives the same double
// without building the DecNum and the text it is read back from.
static_assert(kPlainDecimalChars < DecNum::kDigits);

template <class C>
bool plainToDouble(const C* s, uint64_t len, double* out) {
  if (s == nullptr) return false;
  char buf[kPlainDecimalChars];
  uint64_t n = 0;
  bool digit = false;
  bool point = false;
  for (; n < len && s[n] != 0; ++n) {
    if (n == kPlainDecimalChars) return false;
    const uint32_t c = unit(s[n]);
    if (isDigit(c)) {
      digit = true;
    } else if (c == '.' && !point) {
      point = true;
    } else if (c != '-' || n != 0) {
      return false;
    }
    buf[n] = static_cast<char>(c);
  }
  if (!digit) return false;
  double v = 0.0;
  const auto r = std::from_chars(buf, buf + n, v, std::chars_format::fixed);
  if (r.ec != std::errc() || r.ptr != buf + n) return false;
  *out = v;
  return true;
}

int digitCount(u128 v) {
  int n = 0;
  while (v != 0) {
    v /= 10;
    ++n;
  }
  return n;
}

}  // namespace

int32_t DecParse(const char* text, uint64_t len, unsigned flags, DecNum* out) noexcept {
  return parse(text, len, flags, out);
}

int32_t DecParse(const char16_t* text, uint64_t len, unsigned flags, DecNum* out) noexcept {
  return parse(text, len, flags, out);
}

bool DecPlainToDouble(const char* text, uint64_t len, double* out) noexcept {
  return plainToDouble(text, len, out);
}

bool DecPlainToDouble(const char16_t* text, uint64_t len, double* out) noexcept {
  return plainToDouble(text, len, out);
}

void DecFromInt(__int128 v, DecNum* out) noexcept {
  std::memset(out, 0, sizeof *out);
  out->neg = v < 0;
  u128 m = v < 0 ? -static_cast<u128>(v) : static_cast<u128>(v);
  uint8_t rev[40];
  int n = 0;
  while (m != 0) {
    rev[n++] = static_cast<uint8_t>(m % 10);
    m /= 10;
  }
  out->textDigits = n;
  int exp = 0;
  int lo = 0;
  while (lo < n && rev[lo] == 0) {
    ++lo;
    ++exp;
  }
  for (int k = n - 1; k >= lo; --k) out->dig[out->nd++] = rev[k];
  out->exp = out->nd == 0 ? 0 : exp;
}

int32_t DecFromDouble(double v, DecNum* out) noexcept {
  char buf[64];
  const auto r = std::to_chars(buf, buf + sizeof buf, v);
  if (r.ec != std::errc() || v - v != 0.0) {  // v - v is NaN for infinities and NaN
    std::memset(out, 0, sizeof *out);
    return ERR_NUMERIC_RANGE;
  }
  return parse(buf, static_cast<uint64_t>(r.ptr - buf), 0, out);
}

int32_t DecFromFloat(float v, DecNum* out) noexcept {
  char buf[64];
  const auto r = std::to_chars(buf, buf + sizeof buf, v);
  if (r.ec != std::errc() || v - v != 0.0f) {
    std::memset(out, 0, sizeof *out);
    return ERR_NUMERIC_RANGE;
  }
  return parse(buf, static_cast<uint64_t>(r.ptr - buf), 0, out);
}

void DecFromNumeric(const SQL_NUMERIC_STRUCT* v, DecNum* out) noexcept {
  u128 m = 0;
  for (int i = SQL_MAX_NUMERIC_LEN - 1; i >= 0; --i) m = (m << 8) | v->val[i];
  // The magnitude is unsigned; a struct whose top bit is set still reads whole.
  uint8_t rev[40];
  int n = 0;
  while (m != 0) {
    rev[n++] = static_cast<uint8_t>(m % 10);
    m /= 10;
  }
  std::memset(out, 0, sizeof *out);
  int exp = -static_cast<int>(v->scale);
  int lo = 0;
  while (lo < n && rev[lo] == 0) {
    ++lo;
    ++exp;
  }
  for (int k = n - 1; k >= lo; --k) out->dig[out->nd++] = rev[k];
  out->textDigits = n;
  out->exp = out->nd == 0 ? 0 : exp;
  out->neg = v->sign == 0 && out->nd != 0;
}

int DecToInteger(const DecNum& d, __int128 min, __int128 max, __int128* out,
                 int32_t* err) noexcept {
  u128 v = 0;
  bool frac = false;
  if (d.nd > 0) {
    const int64_t intDigits = static_cast<int64_t>(d.nd) + d.exp;
    if (intDigits > 20) {  // beyond every 64-bit limit
      *err = ERR_NUMERIC_RANGE;
      return -1;
    }
    for (int64_t k = 0; k < intDigits; ++k) v = v * 10 + (k < d.nd ? d.dig[k] : 0);
    frac = intDigits < d.nd || d.sticky;
  }
  const __int128 s = d.neg ? -static_cast<__int128>(v) : static_cast<__int128>(v);
  if (s < min || s > max) {
    *err = ERR_NUMERIC_RANGE;
    return -1;
  }
  *out = s;
  if (frac) {
    *err = ERR_FRACTION_TRUNC;
    return 1;
  }
  return 0;
}

int32_t DecToDouble(const DecNum& d, double* out) noexcept {
  if (d.nd == 0) {
    *out = d.neg ? -0.0 : 0.0;
    return 0;
  }
  char buf[DecNum::kDigits + 32];
  char* p = buf;
  if (d.neg) *p++ = '-';
  for (int k = 0; k < d.nd; ++k) *p++ = static_cast<char>('0' + d.dig[k]);
  int64_t exp = d.exp;
  if (d.sticky) {  // a non-zero tail: one more digit keeps the rounding direction
    *p++ = '1';
    --exp;
  }
  *p++ = 'e';
  p = std::to_chars(p, buf + sizeof buf, exp).ptr;
  double v = 0.0;
  const auto r = std::from_chars(buf, p, v);
  if (r.ec == std::errc::result_out_of_range) {
    if (static_cast<int64_t>(d.nd) + d.exp > 0) return ERR_NUMERIC_RANGE;
    v = d.neg ? -0.0 : 0.0;
  } else if (r.ec != std::errc()) {
    return ERR_NUMERIC_RANGE;
  }
  *out = v;
  return 0;
}

int DecToNumeric(const DecNum& d, int32_t scale, int32_t precision, SQL_NUMERIC_STRUCT* out,
                 int32_t* err, int32_t* digits) noexcept {
  if (scale < -128 || scale > 127) {
    *err = ERR_NUMERIC_RANGE;
    return -1;
  }
  u128 mag = 0;
  bool dropped = false;
  if (d.nd > 0) {
    const int64_t keep = static_cast<int64_t>(d.nd) + d.exp + scale;
    if (keep > 38) {
      *err = ERR_NUMERIC_RANGE;
      return -1;
    }
    bool up = false;
    if (keep <= 0) {
      dropped = true;
      up = keep == 0 && d.dig[0] >= 5;
    } else {
      for (int64_t k = 0; k < keep; ++k) mag = mag * 10 + (k < d.nd ? d.dig[k] : 0);
      if (keep < d.nd) {
        dropped = true;  // the last kept digit of a DecNum is never 0
        up = d.dig[keep] >= 5;
      } else {
        dropped = d.sticky;
      }
    }
    if (up) ++mag;
    if (mag >= kNumericLimit) {
      *err = ERR_NUMERIC_RANGE;
      return -1;
    }
  }
  const int n = digitCount(mag);
  if (digits != nullptr) *digits = n;
  std::memset(out, 0, sizeof *out);
  out->precision = static_cast<SQLCHAR>(precision > 0 ? precision : (n > 0 ? n : 1));
  out->scale = static_cast<SQLSCHAR>(scale);
  out->sign = d.neg && mag != 0 ? 0 : 1;
  for (int i = 0; i < SQL_MAX_NUMERIC_LEN; ++i) {
    out->val[i] = static_cast<SQLCHAR>(mag & 0xFF);
    mag >>= 8;
  }
  if (dropped) {
    *err = ERR_FRACTION_TRUNC;
    return 1;
  }
  return 0;
}

int64_t DecToText(const DecNum& d, char* out, uint64_t size) noexcept {
  // Plain text of a DecNum whose point lies far outside its digits would be
  // enormous; the numeric structs this serves stay within a few hundred places.
  const int64_t point = static_cast<int64_t>(d.nd) + d.exp;  // digits before the point
  if (point > 200 || point < -200) return -1;
  char buf[256];
  char* p = buf;
  if (d.nd == 0) {
    *p++ = '0';
  } else {
    if (d.neg) *p++ = '-';
    if (point <= 0) {
      *p++ = '0';
      *p++ = '.';
      for (int64_t k = point; k < 0; ++k) *p++ = '0';
      for (int k = 0; k < d.nd; ++k) *p++ = static_cast<char>('0' + d.dig[k]);
    } else {
      for (int64_t k = 0; k < point; ++k) *p++ = static_cast<char>('0' + (k < d.nd ? d.dig[k] : 0));
      if (point < d.nd) {
        *p++ = '.';
        for (int64_t k = point; k < d.nd; ++k) *p++ = static_cast<char>('0' + d.dig[k]);
      }
    }
  }
  const uint64_t n = static_cast<uint64_t>(p - buf);
  if (out == nullptr || size < n + 1) return -1;
  std::memcpy(out, buf, n);
  out[n] = '\0';
  return static_cast<int64_t>(n);
}

bool IntTargetOf(int32_t cType, IntTarget* t) noexcept {
  switch (cType) {
    case SQL_C_BIT: *t = {1, 0, 1}; return true;
    case SQL_C_TINYINT:
    case SQL_C_STINYINT: *t = {1, INT8_MIN, INT8_MAX}; return true;
    case SQL_C_UTINYINT: *t = {1, 0, UINT8_MAX}; return true;
    case SQL_C_SHORT:
    case SQL_C_SSHORT: *t = {2, INT16_MIN, INT16_MAX}; return true;
    case SQL_C_USHORT: *t = {2, 0, UINT16_MAX}; return true;
    case SQL_C_LONG:
    case SQL_C_SLONG: *t = {4, INT32_MIN, INT32_MAX}; return true;
    case SQL_C_ULONG: *t = {4, 0, UINT32_MAX}; return true;
    case SQL_C_SBIGINT: *t = {8, INT64_MIN, INT64_MAX}; return true;
    case SQL_C_UBIGINT: *t = {8, 0, UINT64_MAX}; return true;
    default: return false;
  }
}

SQLRETURN PutFixed(const void* value, uint64_t size, int status, void* data, SQLLEN* lenPtr,
                   int32_t* err) noexcept {
  if (data == nullptr) {
    *err = ERR_ARGUMENT;
    return SQL_ERROR;
  }
  std::memcpy(data, value, size);
  if (lenPtr != nullptr) *lenPtr = static_cast<SQLLEN>(size);
  return status == 1 ? SQL_SUCCESS_WITH_INFO : SQL_SUCCESS;
}

SQLRETURN PutInteger(const IntTarget& t, __int128 v, int status, void* data, SQLLEN* lenPtr,
                     int32_t* err) noexcept {
  if (v < t.min || v > t.max) {
    *err = ERR_NUMERIC_RANGE;
    return SQL_ERROR;
  }
  const uint64_t bits = static_cast<uint64_t>(v);
  switch (t.size) {
    case 1: {
      const uint8_t b = static_cast<uint8_t>(bits);
      return PutFixed(&b, 1, status, data, lenPtr, err);
    }
    case 2: {
      const uint16_t b = static_cast<uint16_t>(bits);
      return PutFixed(&b, 2, status, data, lenPtr, err);
    }
    case 4: {
      const uint32_t b = static_cast<uint32_t>(bits);
      return PutFixed(&b, 4, status, data, lenPtr, err);
    }
    default: return PutFixed(&bits, 8, status, data, lenPtr, err);
  }
}

bool BadBufferLength(SQLLEN bufLen, int32_t* err) noexcept {
  if (bufLen >= 0) return false;
  *err = ERR_BUFFER_LENGTH;
  return true;
}

SQLRETURN PutText(const char* text, uint64_t len, uint64_t keep, int32_t cType, void* data,
                  SQLLEN bufLen, SQLLEN* lenPtr, int32_t* err) noexcept {
  if (BadBufferLength(bufLen, err)) return SQL_ERROR;
  const uint64_t b = static_cast<uint64_t>(bufLen);
  if (cType == SQL_C_WCHAR) {
    const bool cut = b >= 2 && b / 2 - 1 >= keep;
    return CopyOutCharToWide(text, len, static_cast<int64_t>(len), 0, 1, cut, data, b, lenPtr, err);
  }
  const bool cut = b >= 1 && b - 1 >= keep;
  return CopyOutChar(text, len, static_cast<int64_t>(len), 0, 1, cut, data, b, lenPtr, err);
}
