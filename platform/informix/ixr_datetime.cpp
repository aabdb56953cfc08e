// ixr_datetime.cpp -- DATE, DATETIME and INTERVAL conversions and arithmetic, and the
// runtime's public date/datetime/interval calls. Dates use the proleptic Gregorian
// calendar; the current time is the local time of the process.
// Threading: pure functions.
#include "platform/informix/ixr_datetime.h"

#include "platform/informix/ixr_api.h"

#include <cstdio>
#include <cstring>
#include <ctime>

namespace ixr {
namespace {

constexpr int64_t kFracPerSec = 100000;
constexpr int64_t kFracPerDay = 86400 * kFracPerSec;
constexpr int kTus[7] = {IXR_TU_YEAR,   IXR_TU_MONTH,  IXR_TU_DAY,     IXR_TU_HOUR,
                         IXR_TU_MINUTE, IXR_TU_SECOND, IXR_TU_FRACTION};
constexpr int kPow10[6] = {1, 10, 100, 1000, 10000, 100000};

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Reads up to maxDigits digits; answers the count read.
int readNum(std::string_view t, size_t& i, int maxDigits, int64_t& v) {
  int n = 0;
  v = 0;
  while (i < t.size() && isDigit(t[i]) && n < maxDigits) {
    v = v * 10 + (t[i++] - '0');
    ++n;
  }
  return n;
}

void skipBlanks(std::string_view t, size_t& i) {
  while (i < t.size() && (t[i] == ' ' || t[i] == '\t')) ++i;
}

// Separator accepted before field index k.
bool sepOk(int k, char c) {
  switch (k) {
    case 1:
    case 2: return c == '-' || c == '/';
    case 3: return c == ' ' || c == 'T' || c == 't';
    case 4:
    case 5: return c == ':';
    default: return c == '.';
  }
}

char sepOut(int k) {
  switch (k) {
    case 1:
    case 2: return '-';
    case 3: return ' ';
    case 4:
    case 5: return ':';
    default: return '.';
  }
}

int fracDigits(int qual) {
  int last = IXR_QUAL_LAST(qual);
  return last > 10 ? last - 10 : 0;
}

}  // namespace

int64_t daysFromCivil(int y, int m, int d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468 + 25568;
}

void civilFromDays(int64_t z, int& y, int& m, int& d) {
  z -= 25568;
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  y = static_cast<int>(yoe + era * 400 + (m <= 2));
}

int daysInMonth(int y, int m) {
  static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (m < 1 || m > 12) return 0;
  if (m == 2 && ((y % 4 == 0 && y % 100 != 0) || y % 400 == 0)) return 29;
  return kDays[m - 1];
}

bool validYmd(int y, int m, int d) {
  return y >= 1 && y <= 9999 && m >= 1 && m <= 12 && d >= 1 && d <= daysInMonth(y, m);
}

namespace {
int checkYmd(int64_t y, int64_t m, int64_t d, int32_t& out) {
  if (y < 1 || y > 9999) return IXR_E_BAD_YEAR;
  if (m < 1 || m > 12) return IXR_E_BAD_MONTH;
  if (d < 1 || d > daysInMonth(static_cast<int>(y), static_cast<int>(m))) return IXR_E_BAD_DAY;
  out = static_cast<int32_t>(
      daysFromCivil(static_cast<int>(y), static_cast<int>(m), static_cast<int>(d)));
  return 0;
}

int monthByName(std::string_view t, size_t& i) {
  static const char* kNames[12] = {"jan", "feb", "mar", "apr", "may", "jun",
                                   "jul", "aug", "sep", "oct", "nov", "dec"};
  if (i + 3 > t.size()) return 0;
  char b[3];
  for (int k = 0; k < 3; ++k) b[k] = static_cast<char>(t[i + k] | 0x20);
  for (int k = 0; k < 12; ++k)
    if (std::memcmp(b, kNames[k], 3) == 0) {
      i += 3;
      return k + 1;
    }
  return 0;
}

int64_t expandYear(int64_t y, int digits) { return digits <= 2 ? 2000 + y : y; }
}  // namespace

int dateParse(std::string_view t, const char* format, int32_t& out) {
  size_t i = 0;
  skipBlanks(t, i);
  int64_t y = 0, m = 0, d = 0;
  if (format && *format) {
    const char* f = format;
    while (*f) {
      char c = static_cast<char>(*f | 0x20);
      int run = 0;
      while (f[run] && (f[run] | 0x20) == c) ++run;
      if (c != 'y' && c != 'm' && c != 'd') {
        f += run;
        continue;
      }
      bool byName = c == 'm' && run == 3;
      auto isLetter = [](char ch) { return (ch | 0x20) >= 'a' && (ch | 0x20) <= 'z'; };
      while (i < t.size() && !(byName ? isLetter(t[i]) : isDigit(t[i]))) ++i;
      if (byName) {
        m = monthByName(t, i);
        if (!m) return IXR_E_BAD_DATE;
      } else {
        int64_t v;
        int n = readNum(t, i, c == 'y' ? (run >= 4 ? 4 : 2) : 2, v);
        if (n == 0) return IXR_E_BAD_DATE;
        if (c == 'y')
          y = expandYear(v, n);
        else if (c == 'm')
          m = v;
        else
          d = v;
      }
      f += run;
    }
    skipBlanks(t, i);
    if (i != t.size()) return IXR_E_BAD_DATE;
    return checkYmd(y, m, d, out);
  }
  int64_t a, b, c;
  int na = readNum(t, i, 8, a);
  if (na == 0) return IXR_E_BAD_DATE;
  if (i == t.size() || t[i] == ' ') {
    // Compact forms: mmddyyyy or yyyymmdd are not accepted without separators
    // except the 8-digit mmddyyyy.
    if (na != 8) return IXR_E_BAD_DATE;
    m = a / 1000000;
    d = a / 10000 % 100;
    y = a % 10000;
  } else {
    if (na > 4) return IXR_E_BAD_DATE;
    char sep = t[i];
    if (sep != '/' && sep != '-' && sep != '.') return IXR_E_BAD_DATE;
    ++i;
    int nb = readNum(t, i, 2, b);
    if (nb == 0 || i >= t.size() || (t[i] != sep)) return IXR_E_BAD_DATE;
    ++i;
    int nc = readNum(t, i, 4, c);
    if (nc == 0) return IXR_E_BAD_DATE;
    if (na == 4) {
      y = a;
      m = b;
      d = c;
    } else {
      m = a;
      d = b;
      y = expandYear(c, nc);
    }
  }
  skipBlanks(t, i);
  // A time part after an ISO date is ignored (the date of a timestamp).
  if (i < t.size() && na == 4 && (t[i] == 'T' || t[i] == 't')) ++i;
  if (i < t.size() && !(na == 4 && isDigit(t[i]))) return IXR_E_BAD_DATE;
  return checkYmd(y, m, d, out);
}

int dateFormat(int32_t date, char* buf) {
  if (date == kNullDate) return -1;
  int y, m, d;
  civilFromDays(date, y, m, d);
  if (y < 1 || y > 9999) return -1;
  return std::snprintf(buf, 11, "%02d/%02d/%04d", m, d, y);
}

int32_t dateToday() {
  DtFields n = dtNow();
  return static_cast<int32_t>(daysFromCivil(n.field[0], n.field[1], n.field[2]));
}

int dateWeekday(int32_t date) {
  // 1900-01-01 (day 1) was a Monday.
  int64_t w = (static_cast<int64_t>(date) % 7 + 7) % 7;
  return static_cast<int>(w);
}

bool qualValid(int qual, bool interval) {
  int first = IXR_QUAL_FIRST(qual), last = IXR_QUAL_LAST(qual);
  if (first > 10 || (first & 1) || last > 15 || (last < 10 && (last & 1)) || first > last)
    return false;
  if (interval) {
    bool months = first <= IXR_TU_MONTH;
    if (months && last > IXR_TU_MONTH) return false;
  }
  return true;
}

int qualMake(int first, int last, int leadDigits, bool interval) {
  int digits = 0;
  if (interval) {
    digits = leadDigits > 0 ? leadDigits : (first == IXR_TU_YEAR ? 4 : 2);
  } else {
    digits = first == IXR_TU_YEAR ? 4 : 2;
  }
  int stop = last > 10 ? 10 : last;
  for (int tu = first + 2; tu <= stop; tu += 2) digits += 2;
  if (last > 10) digits += last - 10;
  return (digits << 8) | (first << 4) | last;
}

int qualTextLength(int qual, bool interval) {
  int first = IXR_QUAL_FIRST(qual), last = IXR_QUAL_LAST(qual);
  int digits = IXR_QUAL_DIGITS(qual);
  int seps = 0;
  int stop = last > 10 ? 10 : last;
  for (int tu = first + 2; tu <= stop; tu += 2) ++seps;
  if (last > 10) ++seps;
  return digits + seps + (interval ? 1 : 0);
}

bool ivIsMonths(int qual) { return IXR_QUAL_FIRST(qual) <= IXR_TU_MONTH; }

int dtValidate(const DtFields& f, int qual) {
  int a = tuIndex(IXR_QUAL_FIRST(qual)), b = tuIndex(IXR_QUAL_LAST(qual));
  auto in = [&](int k) { return k >= a && k <= b; };
  if (in(0) && (f.field[0] < 1 || f.field[0] > 9999)) return IXR_E_DT_BAD_FIELD;
  if (in(1) && (f.field[1] < 1 || f.field[1] > 12)) return IXR_E_DT_BAD_FIELD;
  if (in(2)) {
    int lim = 31;
    if (in(1)) lim = daysInMonth(in(0) ? f.field[0] : 2000, f.field[1]);
    if (f.field[2] < 1 || f.field[2] > lim) return IXR_E_DT_BAD_FIELD;
  }
  if (in(3) && (f.field[3] < 0 || f.field[3] > 23)) return IXR_E_DT_BAD_FIELD;
  if (in(4) && (f.field[4] < 0 || f.field[4] > 59)) return IXR_E_DT_BAD_FIELD;
  if (in(5) && (f.field[5] < 0 || f.field[5] > 59)) return IXR_E_DT_BAD_FIELD;
  if (in(6) && (f.field[6] < 0 || f.field[6] >= kFracPerSec)) return IXR_E_DT_BAD_FIELD;
  return 0;
}

int dtParse(std::string_view t, int qual, DtFields& out) {
  if (!qualValid(qual, false)) return IXR_E_DT_BAD_FIELD;
  DtFields f;
  size_t i = 0;
  skipBlanks(t, i);
  int a = tuIndex(IXR_QUAL_FIRST(qual)), b = tuIndex(IXR_QUAL_LAST(qual));
  for (int k = a; k <= b; ++k) {
    if (k > a) {
      if (i >= t.size()) break;  // missing trailing fields keep their zero values
      if (!sepOk(k, t[i])) return isDigit(t[i]) ? IXR_E_DT_BAD_FIELD : IXR_E_DT_NON_NUMERIC;
      ++i;
      if (k == 3) skipBlanks(t, i);
    }
    int64_t v;
    if (k == 6) {
      int n = readNum(t, i, 5, v);
      if (n == 0) {
        if (i >= t.size()) break;
        return IXR_E_DT_NON_NUMERIC;
      }
      f.field[6] = static_cast<int>(v * kPow10[5 - n]);
      while (i < t.size() && isDigit(t[i])) ++i;  // digits beyond five are dropped
    } else {
      int n = readNum(t, i, k == 0 ? 4 : 2, v);
      if (n == 0) return IXR_E_DT_NON_NUMERIC;
      f.field[k] = static_cast<int>(v);
    }
  }
  skipBlanks(t, i);
  if (i != t.size())
    return isDigit(t[i]) || t[i] == ':' || t[i] == '-' || t[i] == '.' ? IXR_E_DT_EXTRA
                                                                      : IXR_E_DT_NON_NUMERIC;
  int rc = dtValidate(f, qual);
  if (rc) return rc;
  int fd = fracDigits(qual);
  if (b == 6) f.field[6] = f.field[6] / kPow10[5 - fd] * kPow10[5 - fd];
  out = f;
  return 0;
}

int dtParseAny(std::string_view t, int qual, DtFields& out) {
  int rc = dtParse(t, qual, out);
  if (rc == 0) return 0;
  static const int kFallback[] = {IXR_QUAL_YEAR_TO_F5, qualMake(IXR_TU_HOUR, IXR_TU_F5, 2, false)};
  for (int q : kFallback) {
    if (q == qual) continue;
    DtFields f;
    if (dtParse(t, q, f) == 0) {
      dtExtend(f, q, qual, out);
      return 0;
    }
  }
  return rc;
}

int dtFormatTo(const DtFields& f, int qual, char* buf) {
  int a = tuIndex(IXR_QUAL_FIRST(qual)), b = tuIndex(IXR_QUAL_LAST(qual));
  char* p = buf;
  for (int k = a; k <= b; ++k) {
    if (k > a) *p++ = sepOut(k);
    if (k == 6) {
      int fd = fracDigits(qual);
      int v = f.field[6] / kPow10[5 - fd];
      for (int x = fd - 1; x >= 0; --x) {
        p[x] = static_cast<char>('0' + v % 10);
        v /= 10;
      }
      p += fd;
    } else {
      int w = k == 0 ? 4 : 2;
      int v = f.field[k];
      if (v < 0) v = 0;
      for (int x = w - 1; x >= 0; --x) {
        p[x] = static_cast<char>('0' + v % 10);
        v /= 10;
      }
      p += w;
    }
  }
  *p = 0;
  return static_cast<int>(p - buf);
}

void dtFormat(const DtFields& f, int qual, std::string& out) {
  char buf[40];
  int n = dtFormatTo(f, qual, buf);
  out.append(buf, static_cast<size_t>(n));
}

DtFields dtNow() {
  struct timespec ts;
  clock_gettime(CLOCK_REALTIME, &ts);
  struct tm tm;
  localtime_r(&ts.tv_sec, &tm);
  DtFields f;
  f.field[0] = tm.tm_year + 1900;
  f.field[1] = tm.tm_mon + 1;
  f.field[2] = tm.tm_mday;
  f.field[3] = tm.tm_hour;
  f.field[4] = tm.tm_min;
  f.field[5] = tm.tm_sec;
  f.field[6] = static_cast<int>(ts.tv_nsec / 10000);
  return f;
}

void dtExtend(const DtFields& in, int fromQual, int toQual, DtFields& out) {
  int fa = tuIndex(IXR_QUAL_FIRST(fromQual)), fb = tuIndex(IXR_QUAL_LAST(fromQual));
  int ta = tuIndex(IXR_QUAL_FIRST(toQual)), tb = tuIndex(IXR_QUAL_LAST(toQual));
  DtFields r;
  DtFields now;
  bool haveNow = false;
  for (int k = ta; k <= tb; ++k) {
    if (k >= fa && k <= fb) {
      r.field[k] = in.field[k];
    } else if (k < fa) {
      if (!haveNow) {
        now = dtNow();
        haveNow = true;
      }
      r.field[k] = now.field[k];
    } else {
      r.field[k] = (k == 1 || k == 2) ? 1 : 0;
    }
  }
  if (tb == 6) {
    int fd = fracDigits(toQual);
    r.field[6] = r.field[6] / kPow10[5 - fd] * kPow10[5 - fd];
  }
  // A day carried over from the current date may not exist in the month given.
  if (ta <= 2 && tb >= 2 && r.field[2] > 28) {
    int lim = daysInMonth(ta == 0 ? r.field[0] : 2000, ta <= 1 ? r.field[1] : 1);
    if (lim && r.field[2] > lim) r.field[2] = lim;
  }
  out = r;
}

namespace {
void toAbsolute(const DtFields& f, int64_t& days, int64_t& frac) {
  days = daysFromCivil(f.field[0], f.field[1], f.field[2]);
  frac = ((static_cast<int64_t>(f.field[3]) * 60 + f.field[4]) * 60 + f.field[5]) * kFracPerSec +
         f.field[6];
}

void fromAbsolute(int64_t total, DtFields& f) {
  int64_t days = total / kFracPerDay, rem = total % kFracPerDay;
  if (rem < 0) {
    rem += kFracPerDay;
    --days;
  }
  civilFromDays(days, f.field[0], f.field[1], f.field[2]);
  f.field[6] = static_cast<int>(rem % kFracPerSec);
  int64_t secs = rem / kFracPerSec;
  f.field[5] = static_cast<int>(secs % 60);
  f.field[4] = static_cast<int>(secs / 60 % 60);
  f.field[3] = static_cast<int>(secs / 3600);
}
}  // namespace

int dtDiff(const DtFields& a, int qa, const DtFields& b, int qb, int64_t& out) {
  DtFields x, y;
  dtExtend(a, qa, IXR_QUAL_YEAR_TO_F5, x);
  dtExtend(b, qb, IXR_QUAL_YEAR_TO_F5, y);
  int64_t dx, fx, dy, fy;
  toAbsolute(x, dx, fx);
  toAbsolute(y, dy, fy);
  out = (dx - dy) * kFracPerDay + (fx - fy);
  return 0;
}

int dtAddInterval(const DtFields& a, int qa, int64_t iv, int qiv, int sign, DtFields& out) {
  DtFields x;
  dtExtend(a, qa, IXR_QUAL_YEAR_TO_F5, x);
  // An interval value comes from the database as any integer: the sums are checked.
  int64_t step = 0;
  if (__builtin_mul_overflow(iv, static_cast<int64_t>(sign), &step)) return IXR_E_DT_OUT_OF_RANGE;
  if (ivIsMonths(qiv)) {
    int64_t months = 0;
    if (__builtin_add_overflow(static_cast<int64_t>(x.field[0]) * 12 + (x.field[1] - 1), step,
                               &months) ||
        months < 12 || months >= 10000 * 12)
      return IXR_E_DT_OUT_OF_RANGE;
    x.field[0] = static_cast<int>(months / 12);
    x.field[1] = static_cast<int>(months % 12) + 1;
    if (x.field[2] > daysInMonth(x.field[0], x.field[1])) return IXR_E_DT_OUT_OF_RANGE;
  } else {
    int64_t d, f;
    toAbsolute(x, d, f);
    int64_t total = 0;
    if (__builtin_add_overflow(d * kFracPerDay + f, step, &total)) return IXR_E_DT_OUT_OF_RANGE;
    fromAbsolute(total, x);
    if (x.field[0] < 1 || x.field[0] > 9999) return IXR_E_DT_OUT_OF_RANGE;
  }
  DtFields r;
  dtExtend(x, IXR_QUAL_YEAR_TO_F5, qa, r);
  out = r;
  return 0;
}

int64_t ivUnit(int tu) {
  switch (tu) {
    case IXR_TU_YEAR: return 12;
    case IXR_TU_MONTH: return 1;
    case IXR_TU_DAY: return kFracPerDay;
    case IXR_TU_HOUR: return 3600 * kFracPerSec;
    case IXR_TU_MINUTE: return 60 * kFracPerSec;
    case IXR_TU_SECOND: return kFracPerSec;
    default: return tu > 10 && tu <= 15 ? kPow10[5 - (tu - 10)] : 1;
  }
}

int ivLeadDigits(int qual) {
  int first = IXR_QUAL_FIRST(qual), last = IXR_QUAL_LAST(qual);
  int rest = 0;
  int stop = last > 10 ? 10 : last;
  for (int tu = first + 2; tu <= stop; tu += 2) rest += 2;
  if (last > 10) rest += last - 10;
  int lead = IXR_QUAL_DIGITS(qual) - rest;
  return lead < 1 ? 1 : lead > 9 ? 9 : lead;
}

namespace {
// 10^digits units of the leading field: the first value an interval of qual cannot hold.
int64_t ivLimit(int qual) {
  int64_t lim = 1;
  for (int k = ivLeadDigits(qual); k > 0; --k) lim *= 10;
  return lim * ivUnit(IXR_QUAL_FIRST(qual));
}
}  // namespace

bool ivFits(int64_t value, int qual) {
  const int64_t lim = ivLimit(qual);
  return value > -lim && value < lim;
}

int ivParse(std::string_view t, int qual, int64_t& out) {
  if (!qualValid(qual, true)) return IXR_E_DT_BAD_FIELD;
  size_t i = 0;
  skipBlanks(t, i);
  bool neg = false;
  if (i < t.size() && (t[i] == '-' || t[i] == '+')) {
    neg = t[i++] == '-';
    skipBlanks(t, i);
  }
  int first = IXR_QUAL_FIRST(qual), last = IXR_QUAL_LAST(qual);
  int a = tuIndex(first), b = tuIndex(last);
  int64_t total = 0;
  for (int k = a; k <= b; ++k) {
    if (k > a) {
      if (i >= t.size()) break;
      char c = t[i];
      bool ok = (k == 1) ? c == '-' : (k == 3 ? c == ' ' : (k == 6 ? c == '.' : c == ':'));
      if (!ok) return isDigit(c) ? IXR_E_DT_BAD_FIELD : IXR_E_DT_NON_NUMERIC;
      ++i;
    }
    int64_t v;
    if (k == 6) {
      int n = readNum(t, i, 5, v);
      if (n == 0) return IXR_E_DT_NON_NUMERIC;
      while (i < t.size() && isDigit(t[i])) ++i;
      total += v * kPow10[5 - n];
      continue;
    }
    int n = readNum(t, i, k == a ? 18 : 2, v);
    if (n == 0) return IXR_E_DT_NON_NUMERIC;
    if (k == a && v >= ivLimit(qual) / ivUnit(kTus[k])) return IXR_E_DT_OVERFLOW;
    if (k != a) {
      static const int kMax[6] = {0, 11, 0, 23, 59, 59};
      if (v > kMax[k]) return IXR_E_DT_BAD_FIELD;
    }
    total += v * ivUnit(kTus[k]);
  }
  skipBlanks(t, i);
  if (i != t.size()) return IXR_E_DT_EXTRA;
  if (b == 6) {
    int64_t u = ivUnit(last);
    total = total / u * u;
  }
  out = neg ? -total : total;
  return 0;
}

int ivFormatTo(int64_t value, int qual, char* buf) {
  int first = IXR_QUAL_FIRST(qual), last = IXR_QUAL_LAST(qual);
  int a = tuIndex(first), b = tuIndex(last);
  uint64_t rem = value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
  char* p = buf;
  if (value < 0) *p++ = '-';
  for (int k = a; k <= b; ++k) {
    if (k > a) *p++ = k == 1 ? '-' : (k == 3 ? ' ' : (k == 6 ? '.' : ':'));
    if (k == 6) {
      int fd = last - 10;
      uint64_t v = rem / static_cast<uint64_t>(kPow10[5 - fd]);
      p += std::snprintf(p, 8, "%0*llu", fd, static_cast<unsigned long long>(v));
      break;
    }
    uint64_t unit = static_cast<uint64_t>(ivUnit(kTus[k]));
    uint64_t v = rem / unit;
    rem %= unit;
    p += std::snprintf(p, 24, k == a ? "%llu" : "%02llu", static_cast<unsigned long long>(v));
  }
  *p = 0;
  return static_cast<int>(p - buf);
}

void ivFormat(int64_t value, int qual, std::string& out) {
  char buf[48];
  int n = ivFormatTo(value, qual, buf);
  out.append(buf, static_cast<size_t>(n));
}

}  // namespace ixr

using namespace ixr;

extern "C" {

int ixr_date_from_text(IxrDate* date, const char* format, const char* text) {
  if (!date || !text) return IXR_E_BAD_DATE;
  int32_t d;
  int rc = dateParse(text, format, d);
  if (rc == 0) *date = d;
  return rc;
}

int ixr_date_to_text(IxrDate date, char* buf, size_t size) {
  char tmp[16];
  int n = dateFormat(date, tmp);
  if (n < 0) return IXR_E_BAD_DATE;
  if (!buf || size <= static_cast<size_t>(n)) return -1;
  std::memcpy(buf, tmp, static_cast<size_t>(n) + 1);
  return 0;
}

int ixr_date_to_mdy(IxrDate date, int16_t mdy[3]) {
  if (date == kNullDate || !mdy) return IXR_E_BAD_DATE;
  int y, m, d;
  civilFromDays(date, y, m, d);
  if (y < 1 || y > 9999) return IXR_E_BAD_YEAR;
  mdy[0] = static_cast<int16_t>(m);
  mdy[1] = static_cast<int16_t>(d);
  mdy[2] = static_cast<int16_t>(y);
  return 0;
}

int ixr_date_from_mdy(const int16_t mdy[3], IxrDate* date) {
  if (!mdy || !date) return IXR_E_BAD_DATE;
  int32_t d;
  int rc = checkYmd(mdy[2], mdy[0], mdy[1], d);
  if (rc == 0) *date = d;
  return rc;
}

void ixr_date_set_null(IxrDate* date) {
  if (date) *date = kNullDate;
}

int ixr_date_is_null(IxrDate date) { return date == kNullDate; }

}  // extern "C"

namespace ixr {
void dtFromRecord(const IxrDateTime& r, DtFields& f) {
  f.field[0] = r.year;
  f.field[1] = r.month;
  f.field[2] = r.day;
  f.field[3] = r.hour;
  f.field[4] = r.minute;
  f.field[5] = r.second;
  f.field[6] = r.fraction;
}

void dtToRecord(const DtFields& f, int qual, IxrDateTime& r) {
  int a = tuIndex(IXR_QUAL_FIRST(qual)), b = tuIndex(IXR_QUAL_LAST(qual));
  auto take = [&](int k) { return k >= a && k <= b ? f.field[k] : 0; };
  r.qual = static_cast<int16_t>(qual);
  r.isnull = 0;
  r.year = static_cast<int16_t>(take(0));
  r.month = static_cast<int8_t>(take(1));
  r.day = static_cast<int8_t>(take(2));
  r.hour = static_cast<int8_t>(take(3));
  r.minute = static_cast<int8_t>(take(4));
  r.second = static_cast<int8_t>(take(5));
  r.fraction = take(6);
}
}  // namespace ixr

extern "C" {

int ixr_datetime_from_text(const char* text, IxrDateTime* dt) {
  if (!text || !dt) return IXR_E_DT_NON_NUMERIC;
  DtFields f;
  int rc = dtParseAny(text, dt->qual, f);
  if (rc) return rc;
  dtToRecord(f, dt->qual, *dt);
  return 0;
}

int ixr_datetime_to_text(const IxrDateTime* dt, char* buf, size_t size) {
  if (!dt || !buf || size == 0) return -1;
  if (dt->isnull || !qualValid(dt->qual, false)) {
    buf[0] = 0;
    return dt->isnull ? 0 : IXR_E_DT_BAD_FIELD;
  }
  DtFields f;
  dtFromRecord(*dt, f);
  char tmp[40];
  int n = dtFormatTo(f, dt->qual, tmp);
  if (static_cast<size_t>(n) >= size) return -1;
  std::memcpy(buf, tmp, static_cast<size_t>(n) + 1);
  return 0;
}

int ixr_datetime_extend(const IxrDateTime* src, IxrDateTime* dst) {
  if (!src || !dst || !qualValid(src->qual, false) || !qualValid(dst->qual, false))
    return IXR_E_DT_INCOMPATIBLE;
  if (src->isnull) {
    dst->isnull = 1;
    return 0;
  }
  DtFields f, g;
  dtFromRecord(*src, f);
  dtExtend(f, src->qual, dst->qual, g);
  dtToRecord(g, dst->qual, *dst);
  return 0;
}

void ixr_datetime_set_null(IxrDateTime* dt) {
  if (dt) dt->isnull = 1;
}

int ixr_interval_from_text(const char* text, IxrInterval* iv) {
  if (!text || !iv) return IXR_E_DT_NON_NUMERIC;
  int64_t v;
  int rc = ivParse(text, iv->qual, v);
  if (rc) return rc;
  iv->value = v;
  iv->isnull = 0;
  return 0;
}

int ixr_interval_to_text(const IxrInterval* iv, char* buf, size_t size) {
  if (!iv || !buf || size == 0) return -1;
  std::string s;
  if (!iv->isnull) {
    if (!qualValid(iv->qual, true)) return IXR_E_DT_BAD_FIELD;
    ivFormat(iv->value, iv->qual, s);
  }
  if (s.size() >= size) return -1;
  std::memcpy(buf, s.c_str(), s.size() + 1);
  return 0;
}

}  // extern "C"
