// cvt_datetime.cpp -- delivers date, time and timestamp values into application
// buffers, as structs, bytes or ODBC's text forms.
// Text is written digit by digit (no printf, no locale). A text that does not fit
// is ERR_NUMERIC_RANGE, except that a timestamp may lose fraction digits
// (ERR_TRUNCATED); dropping a non-zero time or fraction on the way to a narrower
// struct is ERR_FRACTION_TRUNC.
// Pure functions, any thread.

#include <cstring>

#include "drv/errtab.h"
#include "odbc/cvt.h"
#include "odbc/cvt_core.h"

namespace {

// Writes `width` digits of v, most significant first.
char* digits(char* p, uint32_t v, int width) {
  for (int k = width - 1; k >= 0; --k) {
    p[k] = static_cast<char>('0' + v % 10);
    v /= 10;
  }
  return p + width;
}

// Years print as their absolute value up to 9999, other fields up to 99.
uint32_t yearField(int v) {
  const uint32_t a = static_cast<uint32_t>(v < 0 ? -v : v);
  return a > 9999 ? 9999 : a;
}
uint32_t field(unsigned v) { return v > 99 ? 99 : v; }

char* dateText(char* p, int year, unsigned month, unsigned day) {
  p = digits(p, yearField(year), 4);
  *p++ = '-';
  p = digits(p, field(month), 2);
  *p++ = '-';
  return digits(p, field(day), 2);
}

char* timeText(char* p, unsigned hour, unsigned minute, unsigned second) {
  p = digits(p, field(hour), 2);
  *p++ = ':';
  p = digits(p, field(minute), 2);
  *p++ = ':';
  return digits(p, field(second), 2);
}

// Binary copies of a struct take all of its bytes or none.
SQLRETURN structBytes(const void* v, uint64_t size, void* data, SQLLEN bufLen, SQLLEN* lenPtr,
                      int32_t* err) {
  if (BadBufferLength(bufLen, err)) return SQL_ERROR;
  return CopyOutChar(v, size, 0, 0, 0, 0, data, static_cast<uint64_t>(bufLen), lenPtr, err);
}

SQLRETURN restricted(int32_t* err) {
  *err = ERR_RESTRICTED_TYPE;
  return SQL_ERROR;
}

// Dates and times share their roads: their text (which must fit whole), their
// own 6-byte struct, a timestamp whose other half is zero, or their bytes.
SQLRETURN dateOrTime(const void* value, bool isDate, const char* text, uint64_t textLen,
                     const SQL_TIMESTAMP_STRUCT& stamp, int32_t cType, void* data, SQLLEN bufLen,
                     SQLLEN* lenPtr, int32_t* err) {
  static_assert(sizeof(SQL_DATE_STRUCT) == 6 && sizeof(SQL_TIME_STRUCT) == 6);
  switch (cType) {
    case SQL_C_CHAR:
    case SQL_C_WCHAR: return PutText(text, textLen, textLen, cType, data, bufLen, lenPtr, err);
    case SQL_C_DATE:
    case SQL_C_TYPE_DATE:
      return isDate ? PutFixed(value, 6, 0, data, lenPtr, err) : restricted(err);
    case SQL_C_TIME:
    case SQL_C_TYPE_TIME:
      return isDate ? restricted(err) : PutFixed(value, 6, 0, data, lenPtr, err);
    case SQL_C_TIMESTAMP:
    case SQL_C_TYPE_TIMESTAMP: return PutFixed(&stamp, sizeof stamp, 0, data, lenPtr, err);
    case SQL_C_BINARY: return structBytes(value, 6, data, bufLen, lenPtr, err);
    default: return restricted(err);
  }
}

}  // namespace

SQLRETURN ConvertDATE(const SQL_DATE_STRUCT* value, int32_t cType, void* data, SQLLEN bufLen,
                      SQLLEN* lenPtr, int32_t* err) noexcept {
  if (CvtTracing()) {
    TraceODBC("ConvertDATE: retBufferLength(%ld) to %s", static_cast<long>(bufLen),
              CTypeName(cType));
  }
  char text[10];
  dateText(text, value->year, value->month, value->day);
  SQL_TIMESTAMP_STRUCT stamp{};
  stamp.year = value->year;
  stamp.month = value->month;
  stamp.day = value->day;
  return dateOrTime(value, true, text, sizeof text, stamp, cType, data, bufLen, lenPtr, err);
}

SQLRETURN ConvertTIME(const SQL_TIME_STRUCT* value, int32_t cType, void* data, SQLLEN bufLen,
                      SQLLEN* lenPtr, int32_t* err) noexcept {
  if (CvtTracing()) {
    TraceODBC("ConvertTIME: retBufferLength(%ld) to %s", static_cast<long>(bufLen),
              CTypeName(cType));
  }
  char text[8];
  timeText(text, value->hour, value->minute, value->second);
  SQL_TIMESTAMP_STRUCT stamp{};
  stamp.hour = value->hour;
  stamp.minute = value->minute;
  stamp.second = value->second;
  return dateOrTime(value, false, text, sizeof text, stamp, cType, data, bufLen, lenPtr, err);
}

SQLRETURN ConvertTIMESTAMP(const SQL_TIMESTAMP_STRUCT* value, int32_t cType, void* data,
                           SQLLEN bufLen, SQLLEN* lenPtr, uint16_t scale, int32_t* err) noexcept {
  if (CvtTracing()) {
    TraceODBC("ConvertTIMESTAMP: precision,scale (%ld,%ld) to %s", static_cast<long>(bufLen),
              static_cast<long>(scale), CTypeName(cType));
  }
  switch (cType) {
    case SQL_C_CHAR:
    case SQL_C_WCHAR: {
      // "yyyy-mm-dd hh:mm:ss" (19) and a fraction of nine digits, ten for a
      // stored fraction above 999999999.
      char buf[19 + 1 + 10];
      char* p = dateText(buf, value->year, value->month, value->day);
      *p++ = ' ';
      p = timeText(p, value->hour, value->minute, value->second);
      const uint64_t whole = static_cast<uint64_t>(p - buf);
      if (scale > 0) {
        *p++ = '.';
        char* f = p;
        p = digits(p, value->fraction % 1000000000u, 9);
        if (value->fraction > 999999999u) {
          // The tenth digit goes first; the nine written shift one place right.
          std::memmove(f + 1, f, 9);
          *f = static_cast<char>('0' + value->fraction / 1000000000u);
          ++p;
        }
        // Trailing zeros go, but the scale sets the least number of digits.
        while (p - f > scale && p[-1] == '0') --p;
      }
      if (CvtTracing()) {
        TraceODBC("ConvertTIMESTAMP temBuf string = %.*s", static_cast<int>(p - buf), buf);
      }
      return PutText(buf, static_cast<uint64_t>(p - buf), whole, cType, data, bufLen, lenPtr, err);
    }
    case SQL_C_DATE:
    case SQL_C_TYPE_DATE: {
      const SQL_DATE_STRUCT d{value->year, value->month, value->day};
      const bool lost =
          value->hour != 0 || value->minute != 0 || value->second != 0 || value->fraction != 0;
      if (lost) *err = ERR_FRACTION_TRUNC;
      return PutFixed(&d, sizeof d, lost, data, lenPtr, err);
    }
    case SQL_C_TIME:
    case SQL_C_TYPE_TIME: {
      const SQL_TIME_STRUCT t{value->hour, value->minute, value->second};
      const bool lost = value->fraction != 0;
      if (lost) *err = ERR_FRACTION_TRUNC;
      return PutFixed(&t, sizeof t, lost, data, lenPtr, err);
    }
    case SQL_C_TIMESTAMP:
    case SQL_C_TYPE_TIMESTAMP: return PutFixed(value, sizeof *value, 0, data, lenPtr, err);
    case SQL_C_BINARY: return structBytes(value, sizeof *value, data, bufLen, lenPtr, err);
    default: return restricted(err);
  }
}
