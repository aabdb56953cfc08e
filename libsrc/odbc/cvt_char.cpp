// cvt_char.cpp -- delivers text (8-bit UTF-8 or UTF-16) into application
// buffers, and parses text for numeric, bit and GUID targets.
// Text is copied unchanged to character and binary targets and transcoded
// between UTF-8 and UTF-16 at whole characters. Parsing follows ODBC's rules for
// character to number: blanks around the number are ignored, an exponent is
// accepted, and a fraction going to an integer target is truncated with 01S07.
// Pure functions, any thread; no locale is consulted.
// Text goes to date, time and timestamp targets when it is one of ODBC's forms of
// such a value ("yyyy-mm-dd", "hh:mm:ss", "yyyy-mm-dd hh:mm:ss[.f...]", or an
// escape clause around one); any other text is 22018.

#include <cfloat>
#include <cstring>
#include <ctime>

#include "drv/errtab.h"
#include "odbc/cvt.h"
#include "odbc/cvt_core.h"

namespace {

// "CharToNumber: <text>" for 8-bit text, "WCharToNumber" for UTF-16.
template <class C>
void traceParse(const char* name, const C* text, uint64_t len) {
  if (!CvtTracing()) return;
  if constexpr (sizeof(C) == 1) {
    TraceODBC("%s: %.*s", name, static_cast<int>(len < 256 ? len : 256), text);
  } else {
    TraceODBC("W%s", name);
  }
}

template <class C>
int toNumber(const C* text, uint64_t len, __int128 min, __int128 max, __int128* out, int32_t* err) {
  traceParse(max > UINT32_MAX || min < INT32_MIN ? "CharToNumber64" : "CharToNumber", text, len);
  DecNum d;
  if (const int32_t rc = DecParse(text, len, 0, &d); rc != 0) {
    *err = rc;
    return -1;
  }
  return DecToInteger(d, min, max, out, err);
}

// The integer parsers' public forms: *out gets the value (as the bits of its
// type) only on success.
template <class C, class Max, class Out>
int toNumberAs(const C* text, uint64_t len, int64_t min, Max max, Out* out, int32_t* err) {
  __int128 v = 0;
  const int status = toNumber(text, len, min, max, &v, err);
  if (status >= 0) *out = static_cast<Out>(v);
  return status;
}

template <class C>
int toDecimal(const C* text, uint64_t len, double* out, int32_t* err) {
  traceParse("CharToDecimal", text, len);
  if (DecPlainToDouble(text, len, out)) return 0;
  DecNum d;
  int32_t rc = DecParse(text, len, DEC_MONEY, &d);
  if (rc == 0) rc = DecToDouble(d, out);
  if (rc != 0) {
    *err = rc;
    return -1;
  }
  return 0;
}

template <class C>
SQLRETURN toNumeric(const C* text, uint64_t len, SQL_NUMERIC_STRUCT* out, int32_t scale,
                    uint32_t precision, int32_t* err) {
  traceParse("CharToNumeric", text, len);
  DecNum d;
  if (const int32_t rc = DecParse(text, len, 0, &d); rc != 0) {
    *err = rc;
    return SQL_ERROR;
  }
  const int64_t intDigits = d.nd > 0 ? static_cast<int64_t>(d.nd) + d.exp : 0;
  if (precision != 0 && intDigits > static_cast<int64_t>(precision)) {
    *err = ERR_NUMERIC_RANGE;
    return SQL_ERROR;
  }
  SQL_NUMERIC_STRUCT v;
  int32_t digits = 0;
  int32_t code = 0;
  const int status = DecToNumeric(d, scale, static_cast<int32_t>(precision), &v, &code, &digits);
  if (status < 0) {
    *err = code;
    return SQL_ERROR;
  }
  bool warn = status == 1;
  if (precision == 0) {
    // Counted from the text as written, but never below what the value needs, so
    // the struct is consistent.
    int32_t p = d.textDigits > digits ? d.textDigits : digits;
    if (p > 38) p = 38;
    v.precision = static_cast<SQLCHAR>(p > 0 ? p : 1);
  } else if (digits > static_cast<int32_t>(precision)) {
    warn = true;  // more digits than the precision the application asked for
  }
  *out = v;
  if (warn) {
    *err = ERR_FRACTION_TRUNC;
    return SQL_SUCCESS_WITH_INFO;
  }
  return SQL_SUCCESS;
}

template <class C>
int toGuid(const C* text, uint64_t len, SQLGUID* out, int32_t* err) {
  uint64_t b = 0;
  uint64_t e = len;
  for (uint64_t k = 0; k < len; ++k) {
    if (text[k] == 0) {
      e = k;
      break;
    }
  }
  while (b < e && CvtIsBlank(static_cast<uint32_t>(text[b]))) ++b;
  while (e > b && CvtIsBlank(static_cast<uint32_t>(text[e - 1]))) --e;
  if (e - b != 36) {
    *err = ERR_LENGTH_MISMATCH;
    return -1;
  }
  const C* s = text + b;
  for (int k = 0; k < 36; ++k) {
    const uint32_t c = static_cast<uint32_t>(s[k]) & (sizeof(C) == 1 ? 0xFFu : 0xFFFFu);
    const bool dash = k == 8 || k == 13 || k == 18 || k == 23;
    const bool hex = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
    if (dash ? c != '-' : !hex) {
      *err = ERR_ASSIGNMENT;
      return -1;
    }
  }
  auto hexAt = [&](int from, int count) {
    uint32_t v = 0;
    for (int k = from; k < from + count; ++k) {
      v = v * 16 + static_cast<uint32_t>(HexDigitValue(static_cast<int>(s[k])));
    }
    return v;
  };
  SQLGUID g{};
  g.Data1 = hexAt(0, 8);
  g.Data2 = static_cast<uint16_t>(hexAt(9, 4));
  g.Data3 = static_cast<uint16_t>(hexAt(14, 4));
  g.Data4[0] = static_cast<uint8_t>(hexAt(19, 2));
  g.Data4[1] = static_cast<uint8_t>(hexAt(21, 2));
  for (int k = 0; k < 6; ++k) g.Data4[2 + k] = static_cast<uint8_t>(hexAt(24 + 2 * k, 2));
  *out = g;
  return 0;
}

// ---- Text as a date, time or timestamp ------------------------------------------

enum class Moment { None, Date, Time, Stamp };

// Reads digits at *p (at most `most` of them, at least one) into *v.
bool number(const char*& p, const char* end, int most, uint32_t* v) {
  const char* start = p;
  *v = 0;
  while (p < end && *p >= '0' && *p <= '9' && p - start < most) *v = *v * 10 + (*p++ - '0');
  return p > start;
}

bool leapYear(uint32_t y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

bool validDate(uint32_t y, uint32_t m, uint32_t d) {
  static constexpr uint8_t kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (y < 1 || m < 1 || m > 12 || d < 1 || d > kDays[m - 1]) return false;
  return m != 2 || d < 29 || leapYear(y);
}

// "yyyy-mm-dd", "hh:mm:ss" or both with a blank between and fraction digits after the
// seconds, exactly: the whole of [p, end) is the value.
Moment parseMoment(const char* p, const char* end, SQL_TIMESTAMP_STRUCT* ts) {
  *ts = SQL_TIMESTAMP_STRUCT{};
  uint32_t a = 0;
  uint32_t b = 0;
  uint32_t c = 0;
  Moment kind = Moment::None;
  const char* at = p;
  if (number(p, end, 4, &a) && p < end && *p == '-') {
    if (!number(++p, end, 2, &b) || p == end || *p != '-' || !number(++p, end, 2, &c) ||
        !validDate(a, b, c))
      return Moment::None;
    ts->year = static_cast<SQLSMALLINT>(a);
    ts->month = static_cast<SQLUSMALLINT>(b);
    ts->day = static_cast<SQLUSMALLINT>(c);
    if (p == end) return Moment::Date;
    if (*p != ' ') return Moment::None;
    while (p < end && *p == ' ') ++p;
    kind = Moment::Stamp;
  } else {
    p = at;
    kind = Moment::Time;
  }
  if (!number(p, end, 2, &a) || p == end || *p != ':' || !number(++p, end, 2, &b) || p == end ||
      *p != ':' || !number(++p, end, 2, &c) || a > 23 || b > 59 || c > 59)
    return Moment::None;
  ts->hour = static_cast<SQLUSMALLINT>(a);
  ts->minute = static_cast<SQLUSMALLINT>(b);
  ts->second = static_cast<SQLUSMALLINT>(c);
  if (p < end && *p == '.') {
    uint32_t ns = 0;
    int n = 0;
    for (++p; p < end && *p >= '0' && *p <= '9'; ++p, ++n)
      if (n < 9) ns = ns * 10 + static_cast<uint32_t>(*p - '0');
    for (; n < 9; ++n) ns *= 10;
    ts->fraction = ns;
  }
  return p == end ? kind : Moment::None;
}

// The value of text in one of the forms above, blanks around it ignored, or inside an
// escape clause ({d '...'}, {t '...'}, {ts '...'}) of the same kind.
template <class C>
Moment textMoment(const C* text, uint64_t units, SQL_TIMESTAMP_STRUCT* ts) {
  uint64_t b = 0;
  uint64_t e = units;
  while (b < e && CvtIsBlank(static_cast<uint32_t>(text[b]))) ++b;
  while (e > b && (text[e - 1] == 0 || CvtIsBlank(static_cast<uint32_t>(text[e - 1])))) --e;
  char work[64];
  if (e - b >= sizeof work) return Moment::None;
  for (uint64_t k = b; k < e; ++k) {
    const auto u = static_cast<uint32_t>(text[k]) & (sizeof(C) == 1 ? 0xFFu : 0xFFFFu);
    if (u == 0 || u > 0x7E) return Moment::None;
    work[k - b] = static_cast<char>(u);
  }
  const char* p = work;
  const char* end = work + (e - b);
  if (p == end || *p != '{') return parseMoment(p, end, ts);
  // An escape clause: its keyword names the kind the quoted text must be.
  ++p;
  while (p < end && *p == ' ') ++p;
  Moment want = Moment::None;
  if (end - p > 2 && (p[0] | 0x20) == 't' && (p[1] | 0x20) == 's' && p[2] == ' ') {
    want = Moment::Stamp;
    p += 2;
  } else if (end - p > 1 && (p[0] | 0x20) == 'd' && p[1] == ' ') {
    want = Moment::Date;
    ++p;
  } else if (end - p > 1 && (p[0] | 0x20) == 't' && p[1] == ' ') {
    want = Moment::Time;
    ++p;
  } else {
    return Moment::None;
  }
  while (p < end && *p == ' ') ++p;
  if (end[-1] != '}') return Moment::None;
  const char* close = end - 1;  // one past the closing quote, once the blanks are passed
  while (close > p && close[-1] == ' ') --close;
  if (close - p < 2 || *p != '\'' || close[-1] != '\'') return Moment::None;
  return parseMoment(p + 1, close - 1, ts) == want ? want : Moment::None;
}

// Text to a date, time or timestamp target, by ODBC's rules: a date or timestamp for a
// date (a time of day dropped with 01S07), a time or timestamp for a time (a fraction
// dropped with 01S07), any of the three for a timestamp (a time's date is today's).
template <class C>
SQLRETURN toMoment(const C* text, uint64_t units, int32_t cType, void* data, SQLLEN* lenPtr,
                   int32_t* err) {
  SQL_TIMESTAMP_STRUCT ts;
  const Moment kind = textMoment(text, units, &ts);
  const bool date = cType == SQL_C_DATE || cType == SQL_C_TYPE_DATE;
  const bool time = cType == SQL_C_TIME || cType == SQL_C_TYPE_TIME;
  if (kind == Moment::None || (date && kind == Moment::Time) || (time && kind == Moment::Date)) {
    *err = ERR_CAST_CHAR;
    return SQL_ERROR;
  }
  if (kind == Moment::Time && !time) {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    if (localtime_r(&now, &local) != nullptr) {
      ts.year = static_cast<SQLSMALLINT>(local.tm_year + 1900);
      ts.month = static_cast<SQLUSMALLINT>(local.tm_mon + 1);
      ts.day = static_cast<SQLUSMALLINT>(local.tm_mday);
    }
  }
  return ConvertTIMESTAMP(&ts, cType, data, sizeof ts, lenPtr, 9, err);
}

// The numeric, bit, GUID and date-time targets, shared by both text forms; `units` counts
// characters of C. Answers false when cType is not one of them.
template <class C>
bool parseTarget(const C* text, uint64_t units, int32_t cType, void* data, SQLLEN* lenPtr,
                 int32_t* err, int32_t numScale, int32_t numPrecision, SQLRETURN* rc) {
  IntTarget t;
  if (IntTargetOf(cType, &t)) {
    __int128 v = 0;
    const int status = toNumber(text, units, t.min, t.max, &v, err);
    *rc = status < 0 ? SQL_ERROR : PutInteger(t, v, status, data, lenPtr, err);
    return true;
  }
  switch (cType) {
    case SQL_C_FLOAT:
    case SQL_C_DOUBLE: {
      double v = 0.0;
      if (toDecimal(text, units, &v, err) != 0) {
        *rc = SQL_ERROR;
      } else if (cType == SQL_C_DOUBLE) {
        *rc = PutFixed(&v, sizeof v, 0, data, lenPtr, err);
      } else if (v > FLT_MAX || v < -FLT_MAX) {
        *err = ERR_NUMERIC_RANGE;
        *rc = SQL_ERROR;
      } else {
        const float f = static_cast<float>(v);
        *rc = PutFixed(&f, sizeof f, 0, data, lenPtr, err);
      }
      return true;
    }
    case SQL_C_NUMERIC: {
      SQL_NUMERIC_STRUCT v;
      const SQLRETURN r =
          toNumeric(text, units, &v, numScale,
                    static_cast<uint32_t>(numPrecision > 0 ? numPrecision : 0), err);
      *rc = r == SQL_ERROR ? r
                           : PutFixed(&v, sizeof v, r == SQL_SUCCESS_WITH_INFO, data, lenPtr, err);
      return true;
    }
    case SQL_C_GUID: {
      SQLGUID g;
      *rc = toGuid(text, units, &g, err) != 0 ? SQL_ERROR
                                              : PutFixed(&g, sizeof g, 0, data, lenPtr, err);
      return true;
    }
    case SQL_C_DATE:
    case SQL_C_TIME:
    case SQL_C_TIMESTAMP:
    case SQL_C_TYPE_DATE:
    case SQL_C_TYPE_TIME:
    case SQL_C_TYPE_TIMESTAMP: *rc = toMoment(text, units, cType, data, lenPtr, err); return true;
    default: return false;
  }
}

}  // namespace

const char* CTypeName(int32_t cType) noexcept {
  switch (cType) {
    case SQL_C_CHAR: return "SQL_C_CHAR";
    case SQL_C_NUMERIC: return "SQL_C_NUMERIC";
    case SQL_C_LONG: return "SQL_C_LONG";
    case SQL_C_SHORT: return "SQL_C_SHORT";
    case SQL_C_FLOAT: return "SQL_C_FLOAT";
    case SQL_C_DOUBLE: return "SQL_C_DOUBLE";
    case SQL_C_DATE: return "SQL_C_DATE";
    case SQL_C_TIME: return "SQL_C_TIME";
    case SQL_C_TIMESTAMP: return "SQL_C_TIMESTAMP";
    case SQL_C_TYPE_DATE: return "SQL_C_TYPE_DATE";
    case SQL_C_TYPE_TIME: return "SQL_C_TYPE_TIME";
    case SQL_C_TYPE_TIMESTAMP: return "SQL_C_TYPE_TIMESTAMP";
    case SQL_C_UTINYINT: return "SQL_C_UTINYINT";
    case SQL_C_UBIGINT: return "SQL_C_UBIGINT";
    case SQL_C_STINYINT: return "SQL_C_STINYINT";
    case SQL_C_SBIGINT: return "SQL_C_SBIGINT";
    case SQL_C_ULONG: return "SQL_C_ULONG";
    case SQL_C_USHORT: return "SQL_C_USHORT";
    case SQL_C_SLONG: return "SQL_C_SLONG";
    case SQL_C_SSHORT: return "SQL_C_SSHORT";
    case SQL_C_GUID: return "SQL_C_GUID";
    case SQL_C_WCHAR: return "SQL_C_WCHAR";
    case SQL_C_BIT: return "SQL_C_BIT";
    case SQL_C_TINYINT: return "SQL_C_TINYINT";
    case SQL_C_BINARY: return "SQL_C_BINARY";
    default: return "(unknown type)";
  }
}

SQLRETURN ConvertCHAR(const char* text, uint64_t len, SQLLEN total, int32_t cType, void* data,
                      SQLLEN bufLen, SQLLEN* lenPtr, int32_t* err, int32_t numScale,
                      int32_t numPrecision, uint64_t* used) noexcept {
  if (CvtTracing()) {
    TraceODBC("ConvertCHAR: retBufferLength(%ld) to %s", static_cast<long>(bufLen),
              CTypeName(cType));
  }
  if (used != nullptr) *used = 0;
  const int64_t n = static_cast<int64_t>(len);
  switch (cType) {
    case SQL_C_CHAR:
      if (BadBufferLength(bufLen, err)) return SQL_ERROR;
      return CopyOutChar(text, len, n, total, 1, 1, data, static_cast<uint64_t>(bufLen), lenPtr,
                         err, used);
    case SQL_C_WCHAR:
      if (BadBufferLength(bufLen, err)) return SQL_ERROR;
      return CopyOutCharToWide(text, len, n, total, 1, 1, data, static_cast<uint64_t>(bufLen),
                               lenPtr, err, used);
    case SQL_C_BINARY:
      if (BadBufferLength(bufLen, err)) return SQL_ERROR;
      return CopyOutChar(text, len, n, total, 0, 1, data, static_cast<uint64_t>(bufLen), lenPtr,
                         err, used);
    default: break;
  }
  SQLRETURN rc;
  if (parseTarget(text, len, cType, data, lenPtr, err, numScale, numPrecision, &rc)) return rc;
  *err = ERR_RESTRICTED_TYPE;
  return SQL_ERROR;
}

SQLRETURN ConvertWCHAR(const char16_t* text, uint64_t len, SQLLEN total, int32_t cType, void* data,
                       SQLLEN bufLen, SQLLEN* lenPtr, int32_t* err, int32_t numScale,
                       int32_t numPrecision, uint64_t* used) noexcept {
  if (CvtTracing()) {
    TraceODBC("ConvertWCHAR: retBufferLength(%ld) to %s", static_cast<long>(bufLen),
              CTypeName(cType));
  }
  if (used != nullptr) *used = 0;
  const int64_t n = static_cast<int64_t>(len);
  switch (cType) {
    case SQL_C_CHAR: {
      if (BadBufferLength(bufLen, err)) return SQL_ERROR;
      uint64_t units = 0;
      const SQLRETURN rc =
          CopyOutWideToChar(text, len / 2, n / 2, total > 0 ? total / 2 : total, 1, 1, data,
                            static_cast<uint64_t>(bufLen), lenPtr, err, &units);
      if (used != nullptr) *used = units * 2;
      return rc;
    }
    case SQL_C_WCHAR:
      if (BadBufferLength(bufLen, err)) return SQL_ERROR;
      return CopyOutWide(text, len & ~uint64_t{1}, n, total, 1, 1, data,
                         static_cast<uint64_t>(bufLen), lenPtr, err, used);
    case SQL_C_BINARY:
      if (BadBufferLength(bufLen, err)) return SQL_ERROR;
      return CopyOutChar(text, len, n, total, 0, 1, data, static_cast<uint64_t>(bufLen), lenPtr,
                         err, used);
    default: break;
  }
  SQLRETURN rc;
  if (parseTarget(text, len / 2, cType, data, lenPtr, err, numScale, numPrecision, &rc)) return rc;
  *err = ERR_RESTRICTED_TYPE;
  return SQL_ERROR;
}

int CharToNumber(const char* text, uint64_t len, int64_t min, int64_t max, int64_t* out,
                 int32_t* err) noexcept {
  return toNumberAs(text, len, min, max, out, err);
}

int CharToNumber64(const char* text, uint64_t len, int64_t min, uint64_t max, uint64_t* out,
                   int32_t* err) noexcept {
  return toNumberAs(text, len, min, max, out, err);
}

int CharToDecimal(const char* text, uint64_t len, double* out, int32_t* err) noexcept {
  return toDecimal(text, len, out, err);
}

SQLRETURN CharToNumeric(const char* text, uint64_t len, SQL_NUMERIC_STRUCT* out, int32_t scale,
                        uint32_t precision, int32_t* err) noexcept {
  return toNumeric(text, len, out, scale, precision, err);
}

int CharToGUID(const char* text, uint64_t len, SQLGUID* out, int32_t* err) noexcept {
  return toGuid(text, len, out, err);
}

int WCharToNumber(const char16_t* text, uint64_t len, int64_t min, int64_t max, int64_t* out,
                  int32_t* err) noexcept {
  return toNumberAs(text, len, min, max, out, err);
}

int WCharToNumber64(const char16_t* text, uint64_t len, int64_t min, uint64_t max, uint64_t* out,
                    int32_t* err) noexcept {
  return toNumberAs(text, len, min, max, out, err);
}

int WCharToDecimal(const char16_t* text, uint64_t len, double* out, int32_t* err) noexcept {
  return toDecimal(text, len, out, err);
}

SQLRETURN WCharToNumeric(const char16_t* text, uint64_t len, SQL_NUMERIC_STRUCT* out, int32_t scale,
                         uint32_t precision, int32_t* err) noexcept {
  return toNumeric(text, len, out, scale, precision, err);
}

int WCharToGUID(const char16_t* text, uint64_t len, SQLGUID* out, int32_t* err) noexcept {
  return toGuid(text, len, out, err);
}
