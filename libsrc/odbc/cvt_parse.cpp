// cvt_parse.cpp -- reshapes application values before they are stored in
// Dataset cells on their way to the back end: date-time escape literals become
// structs, numeric structs become doubles or exact text, GUIDs become text.
// The literal parser keeps its position in a local cursor (no strtok), so any
// number of threads may parse at once; it reads the application's text only
// within the length it is given.
// Pure functions, any thread.

#include <cstring>

#include "drv/dataset.h"
#include "odbc/cvt.h"
#include "odbc/cvt_core.h"

namespace {

// Characters of the literal looked at after its '{'; more is never needed for
// "ts 'yyyy-mm-dd hh:mm:ss.fffffffff'}".
constexpr uint64_t kWorkChars = 49;

enum class Kind { None, Date, Time, Stamp };

// Splits a text at delimiter characters the way the C library's strtok does:
// delimiters before a token are skipped, and the one that ends it is consumed.
struct Tokens {
  const char* p;
  const char* end;

  const char* next(const char* delims) {
    while (p < end && std::strchr(delims, *p) != nullptr) ++p;
    if (p == end) return nullptr;
    const char* tok = p;
    while (p < end && std::strchr(delims, *p) == nullptr) ++p;
    if (p < end) ++p;
    return tok;
  }
};

// The decimal number at the start of a token, as atoi reads it (blanks, a sign,
// digits); a missing token reads 0.
long field(const char* tok, const char* end) {
  if (tok == nullptr) return 0;
  while (tok < end && CvtIsBlank(static_cast<unsigned char>(*tok))) ++tok;
  bool neg = false;
  if (tok < end && (*tok == '+' || *tok == '-')) neg = *tok++ == '-';
  long v = 0;
  for (; tok < end && *tok >= '0' && *tok <= '9'; ++tok) {
    if (v < 1000000000L) v = v * 10 + (*tok - '0');
  }
  return neg ? -v : v;
}

// Fraction digits as nanoseconds: ".5" is half a second, digits past the ninth
// are below a nanosecond and dropped.
uint32_t fraction(const char* tok, const char* end) {
  if (tok == nullptr) return 0;
  while (tok < end && CvtIsBlank(static_cast<unsigned char>(*tok))) ++tok;
  uint32_t v = 0;
  int n = 0;
  for (; tok < end && *tok >= '0' && *tok <= '9'; ++tok) {
    if (n < 9) {
      v = v * 10 + static_cast<uint32_t>(*tok - '0');
      ++n;
    }
  }
  for (; n < 9; ++n) v *= 10;
  return v;
}

// Parses the work copy (the characters after '{') into ts and answers its kind.
Kind parse(const char* work, uint64_t n, SQL_TIMESTAMP_STRUCT* ts) {
  *ts = SQL_TIMESTAMP_STRUCT{};
  // Escape keywords are read without regard to case.
  auto is = [&](uint64_t k, char c) { return k < n && (work[k] == c || work[k] == c - 32); };
  auto blank = [&](uint64_t k) { return k < n && work[k] == ' '; };
  Kind kind = Kind::None;
  uint64_t skip = 0;  // the letters, the blank and the opening quote (not tested)
  if (is(0, 'd') && blank(1)) {
    kind = Kind::Date;
    skip = 3;
  } else if (is(0, 't') && blank(1)) {
    kind = Kind::Time;
    skip = 3;
  } else if (is(0, 't') && is(1, 's') && blank(2)) {
    kind = Kind::Stamp;
    skip = 4;
  }
  if (kind == Kind::None) return kind;
  Tokens t{work + (skip < n ? skip : n), work + n};
  const char* end = work + n;
  if (kind != Kind::Time) {
    ts->year = static_cast<SQLSMALLINT>(field(t.next("-/"), end));
    ts->month = static_cast<SQLUSMALLINT>(field(t.next("-/"), end));
    ts->day = static_cast<SQLUSMALLINT>(field(t.next("-/ "), end));
  }
  if (kind != Kind::Date) {
    ts->hour = static_cast<SQLUSMALLINT>(field(t.next(":"), end));
    ts->minute = static_cast<SQLUSMALLINT>(field(t.next(":"), end));
    ts->second = static_cast<SQLUSMALLINT>(field(t.next(":."), end));
  }
  if (kind == Kind::Stamp) ts->fraction = fraction(t.next(":."), end);
  return kind;
}

// Stores the parsed value as sqlType asks; false when it cannot (the caller then
// copies the text).
bool store(void* dst, uint64_t len, DatasetColumn* column, int32_t sqlType, Kind kind,
           const SQL_TIMESTAMP_STRUCT& ts) {
  if (kind == Kind::None) return false;
  if (sqlType == SQL_UNKNOWN_TYPE)
    sqlType = kind == Kind::Date ? SQL_DATE : kind == Kind::Time ? SQL_TIME : SQL_TIMESTAMP;
  int32_t type;
  uint32_t width;
  switch (sqlType) {
    case SQL_DATE:
    case SQL_TYPE_DATE: {
      if (len < sizeof(SQL_DATE_STRUCT)) return false;
      const SQL_DATE_STRUCT d{ts.year, ts.month, ts.day};
      std::memcpy(dst, &d, sizeof d);
      type = DS_DATE;
      width = sizeof d;
      break;
    }
    case SQL_TIME:
    case SQL_TYPE_TIME: {
      if (len < sizeof(SQL_TIME_STRUCT)) return false;
      const SQL_TIME_STRUCT t{ts.hour, ts.minute, ts.second};
      std::memcpy(dst, &t, sizeof t);
      type = DS_TIME;
      width = sizeof t;
      break;
    }
    case SQL_TIMESTAMP:
    case SQL_TYPE_TIMESTAMP:
      if (len < sizeof ts) return false;
      std::memcpy(dst, &ts, sizeof ts);
      type = DS_TIMESTAMP;
      width = sizeof ts;
      break;
    default: return false;
  }
  if (column != nullptr) {
    column->type = type;
    column->width = width;
  }
  return true;
}

bool parsedType(int32_t sqlType) {
  switch (sqlType) {
    case SQL_UNKNOWN_TYPE:
    case SQL_DATE:
    case SQL_TIME:
    case SQL_TIMESTAMP:
    case SQL_TYPE_DATE:
    case SQL_TYPE_TIME:
    case SQL_TYPE_TIMESTAMP: return true;
    default: return false;
  }
}

// The unparsed road: the value's own bytes, never more than it has, and the rest
// of the cell zeroed so that a fixed-width character cell ends where it does.
void copyAsIs(void* dst, const void* src, uint64_t srcBytes, uint64_t len) {
  const uint64_t n = srcBytes < len ? srcBytes : len;
  if (n > 0) std::memmove(dst, src, n);  // a caller may parse a cell in place
  if (len > n) std::memset(static_cast<char*>(dst) + n, 0, len - n);
}

}  // namespace

void ParseDateTimeLiteral(void* dst, const char* text, uint64_t textLen, uint64_t len,
                          DatasetColumn* column, int32_t sqlType) noexcept {
  if (textLen > 0 && parsedType(sqlType)) {
    char work[kWorkChars + 1];
    uint64_t n = 0;
    while (n < kWorkChars && n + 1 < textLen && text[n + 1] != '\0') {
      work[n] = text[n + 1];
      ++n;
    }
    work[n] = '\0';
    SQL_TIMESTAMP_STRUCT ts;
    const Kind kind = parse(work, n, &ts);
    if (store(dst, len, column, sqlType, kind, ts)) return;
  }
  copyAsIs(dst, text, textLen, len);
}

void WParseDateTimeLiteral(void* dst, const char16_t* text, uint64_t textLen, uint64_t len,
                           DatasetColumn* column, int32_t sqlType) noexcept {
  if (textLen > 0 && parsedType(sqlType)) {
    // A literal is ASCII; any other unit becomes a byte that is neither a digit
    // nor a delimiter, which is how its UTF-8 form would read.
    char work[kWorkChars + 1];
    uint64_t n = 0;
    while (n < kWorkChars && n + 1 < textLen && text[n + 1] != u'\0') {
      const char16_t u = text[n + 1];
      work[n] = u < 0x80 ? static_cast<char>(u) : '\x7f';
      ++n;
    }
    work[n] = '\0';
    SQL_TIMESTAMP_STRUCT ts;
    const Kind kind = parse(work, n, &ts);
    if (store(dst, len, column, sqlType, kind, ts)) return;
  }
  copyAsIs(dst, text, textLen * 2, len);
}

void NumericToDouble(void* dst, const SQL_NUMERIC_STRUCT* value, uint64_t len,
                     DatasetColumn* column) noexcept {
  (void)column;
  DecNum d;
  DecFromNumeric(value, &d);
  double v = 0.0;
  // 39 digits at a scale of -128..127 always lie within the range of a double.
  if (DecToDouble(d, &v) != 0) v = 0.0;
  std::memcpy(dst, &v, len < sizeof v ? len : sizeof v);
}

int64_t NumericToText(const SQL_NUMERIC_STRUCT* value, char* out, uint64_t size) noexcept {
  DecNum d;
  DecFromNumeric(value, &d);
  return DecToText(d, out, size);
}

void GuidToText(void* dst, const SQLGUID* value) noexcept {
  static constexpr char kHex[] = "0123456789ABCDEF";
  char buf[36];
  char* p = buf;
  auto hex = [&p](uint32_t v, int digits) {
    for (int k = digits - 1; k >= 0; --k) *p++ = kHex[(v >> (4 * k)) & 0xF];
  };
  hex(value->Data1, 8);
  *p++ = '-';
  hex(value->Data2, 4);
  *p++ = '-';
  hex(value->Data3, 4);
  *p++ = '-';
  hex(value->Data4[0], 2);
  hex(value->Data4[1], 2);
  *p++ = '-';
  for (int k = 2; k < 8; ++k) hex(value->Data4[k], 2);
  std::memcpy(dst, buf, sizeof buf);
}
