// ixr_decimal.cpp -- exact decimal arithmetic on digit arrays (schoolbook; the values
// are short, so clarity wins over speed). Results keep at most 32 significant digits,
// rounded half away from zero.
// Threading: pure functions.
#include "platform/informix/ixr_decimal.h"

#include "platform/informix/ixr_api.h"

#include <algorithm>
#include <charconv>
#include <cstring>

namespace ixr {
namespace {

constexpr int kCap = static_cast<int>(sizeof(Dec{}.d));

void stripLeading(Dec& v) {
  int z = 0;
  while (z < v.nd && v.d[z] == 0) ++z;
  if (z) {
    std::memmove(v.d, v.d + z, static_cast<size_t>(v.nd - z));
    v.nd -= z;
  }
  if (v.nd == 0) v.neg = false;
}

// Drops the last `drop` digits, rounding half away from zero (or truncating).
void dropDigits(Dec& v, int drop, bool truncate) {
  if (drop <= 0) return;
  if (drop > v.nd) {
    v.nd = 0;
    v.scale -= drop;
    v.neg = false;
    return;
  }
  bool up = !truncate && v.d[v.nd - drop] >= 5;
  v.nd -= drop;
  v.scale -= drop;
  if (up) {
    int i = v.nd - 1;
    while (i >= 0 && v.d[i] == 9) v.d[i--] = 0;
    if (i >= 0) {
      v.d[i]++;
    } else {
      std::memmove(v.d + 1, v.d, static_cast<size_t>(v.nd));
      v.d[0] = 1;
      v.nd++;
    }
  }
  stripLeading(v);
}

// Keeps at most `digits` significant digits.
void normalize(Dec& v, int digits = kDecMaxDigits) {
  stripLeading(v);
  if (v.nd > digits) dropDigits(v, v.nd - digits, false);
  if (v.nd == 0) v.neg = false;
}

// Appends zeros so that the scale becomes s (s >= v.scale).
bool padTo(Dec& v, int s) {
  int add = s - v.scale;
  if (add <= 0) return true;
  if (v.nd == 0) {
    v.scale = s;
    return true;
  }
  if (v.nd + add > kCap) return false;
  std::memset(v.d + v.nd, 0, static_cast<size_t>(add));
  v.nd += add;
  v.scale = s;
  return true;
}

int cmpMag(const Dec& a, const Dec& b) {
  int ia = a.nd - a.scale, ib = b.nd - b.scale;
  if (a.nd == 0 || b.nd == 0) return (a.nd != 0) - (b.nd != 0);
  if (ia != ib) return ia < ib ? -1 : 1;
  int n = std::max(a.nd, b.nd);
  for (int i = 0; i < n; ++i) {
    int x = i < a.nd ? a.d[i] : 0, y = i < b.nd ? b.d[i] : 0;
    if (x != y) return x < y ? -1 : 1;
  }
  return 0;
}

// |a| + |b| or |a| - |b| (|a| >= |b|) on aligned operands.
void addMag(const Dec& a, const Dec& b, bool subtract, Dec& out) {
  Dec x = a, y = b;
  int s = std::max(x.scale, y.scale);
  padTo(x, s);
  padTo(y, s);
  int n = std::max(x.nd, y.nd) + 1;
  uint8_t r[kCap + 1] = {};
  int carry = 0;
  for (int i = 0; i < n; ++i) {
    int xi = x.nd - 1 - i, yi = y.nd - 1 - i;
    int dx = xi >= 0 ? x.d[xi] : 0, dy = yi >= 0 ? y.d[yi] : 0;
    int t = subtract ? dx - dy - carry : dx + dy + carry;
    if (subtract) {
      carry = t < 0;
      if (t < 0) t += 10;
    } else {
      carry = t >= 10;
      if (t >= 10) t -= 10;
    }
    r[n - 1 - i] = static_cast<uint8_t>(t);
  }
  out = Dec{};
  out.nd = std::min(n, kCap);
  std::memcpy(out.d, r, static_cast<size_t>(out.nd));
  out.scale = s;
}

int addSigned(const Dec& a, const Dec& b, bool bneg, Dec& out) {
  if (a.nd == 0) {
    out = b;
    out.neg = bneg && b.nd;
    return 0;
  }
  if (b.nd == 0) {
    out = a;
    return 0;
  }
  // An operand below the other's last kept digit cannot change the result.
  int ia = a.nd - a.scale, ib = b.nd - b.scale;
  if (ia - ib > kDecMaxDigits + 2 && a.scale <= b.scale) {
    out = a;
    return 0;
  }
  if (ib - ia > kDecMaxDigits + 2 && b.scale <= a.scale) {
    out = b;
    out.neg = bneg;
    return 0;
  }
  if (a.neg == bneg) {
    addMag(a, b, false, out);
    out.neg = a.neg;
  } else if (cmpMag(a, b) >= 0) {
    addMag(a, b, true, out);
    out.neg = a.neg;
  } else {
    addMag(b, a, true, out);
    out.neg = bneg;
  }
  normalize(out);
  return 0;
}

}  // namespace

bool decIsZero(const Dec& a) { return a.nd == 0; }
int decIntDigits(const Dec& a) { return a.nd == 0 ? 0 : std::max(0, a.nd - a.scale); }

int decParse(std::string_view t, Dec& out) {
  out = Dec{};
  size_t i = 0, n = t.size();
  while (i < n && (t[i] == ' ' || t[i] == '\t')) ++i;
  while (n > i && (t[n - 1] == ' ' || t[n - 1] == '\t')) --n;
  if (i < n && (t[i] == '-' || t[i] == '+')) out.neg = t[i++] == '-';
  bool any = false, point = false;
  int frac = 0;
  for (; i < n; ++i) {
    char c = t[i];
    if (c >= '0' && c <= '9') {
      any = true;
      if (out.nd == 0 && c == '0') {
        if (point) ++frac;
        continue;
      }
      if (out.nd < kCap - 1) {
        out.d[out.nd++] = static_cast<uint8_t>(c - '0');
        if (point) ++frac;
      } else if (!point) {
        return IXR_E_DECIMAL_OVERFLOW;
      }
    } else if (c == '.' && !point) {
      point = true;
    } else {
      break;
    }
  }
  if (!any) return IXR_E_CHAR_TO_NUMBER;
  int exp = 0;
  if (i < n && (t[i] == 'e' || t[i] == 'E')) {
    ++i;
    bool eneg = false;
    if (i < n && (t[i] == '-' || t[i] == '+')) eneg = t[i++] == '-';
    if (i >= n || t[i] < '0' || t[i] > '9') return IXR_E_CHAR_TO_NUMBER;
    while (i < n && t[i] >= '0' && t[i] <= '9') {
      exp = exp * 10 + (t[i++] - '0');
      if (exp > 400) return IXR_E_DECIMAL_OVERFLOW;
    }
    if (eneg) exp = -exp;
  }
  if (i != n) return IXR_E_CHAR_TO_NUMBER;
  out.scale = frac - exp;
  normalize(out);
  if (out.nd && out.nd - out.scale > 130) return IXR_E_DECIMAL_OVERFLOW;
  return 0;
}

Dec decFromInt(int64_t v) {
  Dec r;
  uint64_t m = v < 0 ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
  r.neg = v < 0;
  char buf[24];
  int n = 0;
  do {
    buf[n++] = static_cast<char>(m % 10);
    m /= 10;
  } while (m);
  for (int i = 0; i < n; ++i) r.d[i] = static_cast<uint8_t>(buf[n - 1 - i]);
  r.nd = n;
  stripLeading(r);
  return r;
}

Dec decFromDouble(double v) {
  char buf[64];
  auto res = std::to_chars(buf, buf + sizeof buf, v);
  Dec r;
  if (res.ec != std::errc() ||
      decParse(std::string_view(buf, static_cast<size_t>(res.ptr - buf)), r) != 0)
    return Dec{};
  return r;
}

Dec decRound(const Dec& a, int scale, bool truncate) {
  Dec r = a;
  if (r.scale > scale) {
    dropDigits(r, r.scale - scale, truncate);
    if (r.nd == 0) r.scale = scale;
  }
  if (r.scale < scale) padTo(r, scale);  // a value too long to pad keeps its scale
  return r;
}

void decFormatTo(const Dec& v0, int scale, std::string& out) {
  Dec v = v0;
  if (scale >= 0) {
    v = decRound(v0, scale);
  } else {
    while (v.scale > 0 && v.nd > 0 && v.d[v.nd - 1] == 0) {
      v.nd--;
      v.scale--;
    }
    if (v.nd == 0) v.scale = 0;
    if (v.scale < 0) padTo(v, 0);
  }
  int s = std::max(v.scale, 0);
  if (v.neg && v.nd) out.push_back('-');
  int intDigits = v.nd - v.scale;
  if (intDigits <= 0) {
    out.push_back('0');
  } else {
    for (int i = 0; i < intDigits; ++i)
      out.push_back(static_cast<char>('0' + (i < v.nd ? v.d[i] : 0)));
  }
  if (s > 0) {
    out.push_back('.');
    for (int k = 0; k < s; ++k) {
      int idx = intDigits + k;  // position in the digit array
      out.push_back(static_cast<char>('0' + (idx >= 0 && idx < v.nd ? v.d[idx] : 0)));
    }
  }
}

std::string decFormat(const Dec& v, int scale) {
  std::string s;
  decFormatTo(v, scale, s);
  return s;
}

double decToDouble(const Dec& v) {
  std::string s = decFormat(v, -1);
  double d = 0;
  std::from_chars(s.data(), s.data() + s.size(), d);
  return d;
}

int decToInt64(const Dec& v, int64_t& out) {
  Dec t = decRound(v, 0, true);
  uint64_t m = 0;
  for (int i = 0; i < t.nd; ++i) {
    if (m > (UINT64_MAX - 9) / 10) return IXR_E_INT_OVERFLOW;
    m = m * 10 + t.d[i];
  }
  for (int k = t.scale; k < 0; ++k) {
    if (m > UINT64_MAX / 10) return IXR_E_INT_OVERFLOW;
    m *= 10;
  }
  if (t.neg) {
    if (m > static_cast<uint64_t>(INT64_MAX) + 1) return IXR_E_INT_OVERFLOW;
    out = static_cast<int64_t>(0 - m);
  } else {
    if (m > static_cast<uint64_t>(INT64_MAX)) return IXR_E_INT_OVERFLOW;
    out = static_cast<int64_t>(m);
  }
  return 0;
}

int decCmp(const Dec& a, const Dec& b) {
  if (a.neg != b.neg) return a.neg ? -1 : 1;
  int c = cmpMag(a, b);
  return a.neg ? -c : c;
}

int decAdd(const Dec& a, const Dec& b, Dec& out) { return addSigned(a, b, b.neg, out); }
int decSub(const Dec& a, const Dec& b, Dec& out) {
  return addSigned(a, b, b.nd ? !b.neg : false, out);
}

Dec decNeg(const Dec& a) {
  Dec r = a;
  if (r.nd) r.neg = !r.neg;
  return r;
}

int decMul(const Dec& a, const Dec& b, Dec& out) {
  out = Dec{};
  if (a.nd == 0 || b.nd == 0) return 0;
  int acc[2 * kCap] = {};
  for (int i = a.nd - 1; i >= 0; --i)
    for (int j = b.nd - 1; j >= 0; --j) acc[i + j + 1] += a.d[i] * b.d[j];
  int n = a.nd + b.nd;
  for (int k = n - 1; k > 0; --k) {
    acc[k - 1] += acc[k] / 10;
    acc[k] %= 10;
  }
  int start = 0;
  while (start < n - 1 && acc[start] == 0) ++start;
  int len = n - start;
  int drop = len > kCap ? len - kCap : 0;
  out.nd = len - drop;
  for (int k = 0; k < out.nd; ++k) out.d[k] = static_cast<uint8_t>(acc[start + k]);
  out.scale = a.scale + b.scale - drop;
  out.neg = a.neg != b.neg;
  normalize(out);
  if (out.nd && out.nd - out.scale > 130) return IXR_E_DECIMAL_OVERFLOW;
  return 0;
}

int decDiv(const Dec& a, const Dec& b, Dec& out) {
  out = Dec{};
  if (b.nd == 0) return IXR_E_DIVIDE_BY_ZERO;
  if (a.nd == 0) return 0;
  // Quotient of the mantissas with enough extra digits for 34 significant ones.
  int k = std::max(0, kDecMaxDigits + 2 - a.nd + b.nd);
  int nn = a.nd + k;
  uint8_t rem[kCap + 2] = {};  // remainder, most significant first, fixed width
  int rw = b.nd + 1;
  uint8_t q[2 * kCap] = {};
  for (int i = 0; i < nn; ++i) {
    std::memmove(rem, rem + 1, static_cast<size_t>(rw - 1));
    rem[rw - 1] = i < a.nd ? a.d[i] : 0;
    int digit = 0;
    for (;;) {
      // compare rem with b (right-aligned in rw digits)
      int c = 0;
      for (int j = 0; j < rw && c == 0; ++j) {
        int bj = j - 1 >= 0 ? b.d[j - 1] : 0;
        if (rem[j] != bj) c = rem[j] < bj ? -1 : 1;
      }
      if (c < 0) break;
      int borrow = 0;
      for (int j = rw - 1; j >= 0; --j) {
        int bj = j - 1 >= 0 ? b.d[j - 1] : 0;
        int t = rem[j] - bj - borrow;
        borrow = t < 0;
        rem[j] = static_cast<uint8_t>(t < 0 ? t + 10 : t);
      }
      ++digit;
    }
    q[i] = static_cast<uint8_t>(digit);
  }
  int start = 0;
  while (start < nn - 1 && q[start] == 0) ++start;
  int len = nn - start;
  int drop = len > kCap ? len - kCap : 0;
  out.nd = len - drop;
  std::memcpy(out.d, q + start, static_cast<size_t>(out.nd));
  out.scale = a.scale - b.scale + k - drop;
  out.neg = a.neg != b.neg;
  normalize(out);
  if (out.nd && out.nd - out.scale > 130) return IXR_E_DECIMAL_OVERFLOW;
  return 0;
}

int decFit(const Dec& a, int precision, int scale, Dec& out) {
  if (precision <= 0 || precision > kDecMaxDigits) precision = kDecMaxDigits;
  if (scale == kDecFloating) {
    out = a;
    normalize(out, precision);
    return 0;
  }
  out = decRound(a, scale);
  if (decIntDigits(out) > precision - scale) return IXR_E_DECIMAL_OVERFLOW;
  return 0;
}

namespace {
struct TextNum {
  bool ok = false, neg = false;
  const char* ip = nullptr;  // integer digits without leading zeros
  int il = 0;
  const char* fp = nullptr;
  int fl = 0;
};

TextNum scanText(const char* s, int n) {
  TextNum t;
  int i = 0;
  while (i < n && s[i] == ' ') ++i;
  while (n > i && s[n - 1] == ' ') --n;
  if (i < n && (s[i] == '-' || s[i] == '+')) t.neg = s[i++] == '-';
  int is = i;
  while (i < n && s[i] >= '0' && s[i] <= '9') ++i;
  int ie = i;
  int fs = i, fe = i;
  if (i < n && s[i] == '.') {
    fs = ++i;
    while (i < n && s[i] >= '0' && s[i] <= '9') ++i;
    fe = i;
  }
  if (i != n || (ie == is && fe == fs)) return t;
  while (is < ie && s[is] == '0') ++is;
  while (fe > fs && s[fe - 1] == '0') --fe;
  t.ok = true;
  t.ip = s + is;
  t.il = ie - is;
  t.fp = s + fs;
  t.fl = fe - fs;
  if (t.il == 0 && t.fl == 0) t.neg = false;
  return t;
}
}  // namespace

int decTextCmp(const char* a, int na, const char* b, int nb) {
  TextNum x = scanText(a, na), y = scanText(b, nb);
  if (!x.ok || !y.ok) {
    if (x.ok != y.ok) return x.ok ? -1 : 1;
    int c = std::memcmp(a, b, static_cast<size_t>(std::min(na, nb)));
    return c ? c : na - nb;
  }
  if (x.neg != y.neg) return x.neg ? -1 : 1;
  int c;
  if (x.il != y.il) {
    c = x.il < y.il ? -1 : 1;
  } else {
    c = std::memcmp(x.ip, y.ip, static_cast<size_t>(x.il));
    if (c == 0) {
      int m = std::min(x.fl, y.fl);
      c = std::memcmp(x.fp, y.fp, static_cast<size_t>(m));
      if (c == 0) c = x.fl - y.fl;
    }
    c = c < 0 ? -1 : c > 0;
  }
  return x.neg ? -c : c;
}

}  // namespace ixr
