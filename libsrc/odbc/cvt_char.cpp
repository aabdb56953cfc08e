// cvt_char.cpp -- delivers text (8-bit UTF-8 or UTF-16) into application
// buffers, and parses text for numeric, bit and GUID targets.
// Text is copied unchanged to character and binary targets and transcoded
// between UTF-8 and UTF-16 at whole characters. Parsing follows ODBC's rules for
// character to number: blanks around the number are ignored, an exponent is
// accepted, and a fraction going to an integer target is truncated with 01S07.
// Pure functions, any thread; no locale is consulted.
// Not here: text to date, time or timestamp targets (answered S1C00).

#include <cfloat>
#include <cstring>

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

// The numeric, bit and GUID targets, shared by both text forms; `units` counts
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
    case SQL_C_TYPE_TIMESTAMP:
      *err = ERR_NOT_CAPABLE;
      *rc = SQL_ERROR;
      return true;
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
