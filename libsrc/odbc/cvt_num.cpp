// cvt_num.cpp -- delivers integer and floating values into application buffers.
// Integers travel exactly to every target. Floating values reach integer targets
// by their exact integral part (01S07 when a fraction is dropped, as text does)
// and NUMERIC targets by their shortest decimal form, so that a stored 0.29 is
// 0.29 at scale 2 and not 0.28. Text is made with <charconv>: the application's
// locale never changes the decimal point.
// Pure functions, any thread.

#include <algorithm>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstring>

#include "drv/errtab.h"
#include "odbc/cvt.h"
#include "odbc/cvt_core.h"

namespace {

// Digits an SQL_C_NUMERIC result is labelled with when the application gives no
// precision: what the source type can hold (255, 65535, 4294967295 need 3, 5 and
// 10 digits; a float carries 7 and a double 15).
constexpr int32_t kPrecision8 = 3;
constexpr int32_t kPrecision16 = 5;
constexpr int32_t kPrecision32 = 10;
constexpr int32_t kPrecisionFloat = 7;
constexpr int32_t kPrecisionDouble = 15;

// "DoubleToNumeric: <value>" in exponent form, the same in every locale.
void traceDoubleToNumeric(double v) {
  if (!CvtTracing()) return;
  char buf[40];
  const auto r = std::to_chars(buf, buf + sizeof buf - 1, v, std::chars_format::scientific, 6);
  *r.ptr = '\0';
  TraceODBC("DoubleToNumeric: %s", buf);
}

SQLRETURN toNumericTarget(const DecNum& d, int32_t scale, int32_t precision, void* data,
                          SQLLEN* lenPtr, int32_t* err) {
  SQL_NUMERIC_STRUCT v;
  const int status = DecToNumeric(d, scale, precision, &v, err);
  if (status < 0) return SQL_ERROR;
  return PutFixed(&v, sizeof v, status, data, lenPtr, err);
}

// The value's own bytes: a binary buffer must hold all of them.
SQLRETURN toBinary(const void* bytes, uint64_t size, void* data, SQLLEN bufLen, SQLLEN* lenPtr,
                   int32_t* err) {
  if (BadBufferLength(bufLen, err)) return SQL_ERROR;
  return CopyOutChar(bytes, size, 0, 0, 0, 0, data, static_cast<uint64_t>(bufLen), lenPtr, err);
}

SQLRETURN convertInteger(int64_t v, int bits, const void* raw, int32_t cType, void* data,
                         SQLLEN bufLen, SQLLEN* lenPtr, int32_t* err, int32_t numScale,
                         int32_t numPrecision) {
  IntTarget t;
  if (IntTargetOf(cType, &t)) return PutInteger(t, v, 0, data, lenPtr, err);
  switch (cType) {
    case SQL_C_CHAR:
    case SQL_C_WCHAR: {
      char buf[24];
      const auto r = std::to_chars(buf, buf + sizeof buf, v);
      const uint64_t n = static_cast<uint64_t>(r.ptr - buf);
      return PutText(buf, n, n, cType, data, bufLen, lenPtr, err);
    }
    case SQL_C_FLOAT: {
      const float f = static_cast<float>(v);
      return PutFixed(&f, sizeof f, 0, data, lenPtr, err);
    }
    case SQL_C_DOUBLE: {
      const double x = static_cast<double>(v);
      return PutFixed(&x, sizeof x, 0, data, lenPtr, err);
    }
    case SQL_C_BINARY:
      return toBinary(raw, static_cast<uint64_t>(bits / 8), data, bufLen, lenPtr, err);
    case SQL_C_NUMERIC: {
      DecNum d;
      DecFromInt(v, &d);
      const int32_t p = numPrecision != 0 ? numPrecision
                                          : (bits == 8    ? kPrecision8
                                             : bits == 16 ? kPrecision16
                                                          : kPrecision32);
      return toNumericTarget(d, numScale, p, data, lenPtr, err);
    }
    default: *err = ERR_RESTRICTED_TYPE; return SQL_ERROR;
  }
}

// The shortest text that reads back as the same double (the same float when
// `single`), laid out as "%g" would with the type's round-trip digits (17 or 9):
// plain from 1e-4 up to that many integer digits, an exponent otherwise. So a
// stored 4.6 reads "4.6", never "4.5999999999999996", and the longest text a
// value can have is 24 characters for a double and 15 for a float (sign, digits,
// point, "e", exponent sign and digits), the display sizes the agent describes.
// `size` must hold 32 bytes.
uint64_t formatShortest(char* buf, uint64_t size, double v, bool single) {
  char sci[32];
  const auto s = single ? std::to_chars(sci, sci + sizeof sci, static_cast<float>(v),
                                        std::chars_format::scientific)
                        : std::to_chars(sci, sci + sizeof sci, v, std::chars_format::scientific);
  const char* e = static_cast<const char*>(std::memchr(sci, 'e', static_cast<size_t>(s.ptr - sci)));
  int exponent = 0;
  if (e != nullptr) (void)std::from_chars(e + (e[1] == '+' ? 2 : 1), s.ptr, exponent);
  const int digits = single ? 9 : 17;
  if (e == nullptr || exponent < -4 || exponent >= digits) {
    const uint64_t n = std::min<uint64_t>(static_cast<uint64_t>(s.ptr - sci), size);
    std::memcpy(buf, sci, n);
    return n;
  }
  const auto f =
      single ? std::to_chars(buf, buf + size, static_cast<float>(v), std::chars_format::fixed)
             : std::to_chars(buf, buf + size, v, std::chars_format::fixed);
  return static_cast<uint64_t>(f.ptr - buf);
}

SQLRETURN convertFloating(double v, bool single, const void* raw, int32_t cType, void* data,
                          SQLLEN bufLen, SQLLEN* lenPtr, int32_t* err, int32_t numScale,
                          int32_t numPrecision) {
  if (CvtTracing()) {
    char text[40];
    const uint64_t n = formatShortest(text, sizeof text - 1, v, single);
    text[n] = '\0';
    TraceODBC("%s: value (%s) to %s", single ? "ConvertFLOAT" : "ConvertDOUBLE", text,
              CTypeName(cType));
  }
  IntTarget t;
  if (IntTargetOf(cType, &t)) {
    // Every limit fits a double exactly or rounds to the power of two just above
    // it, so the comparison is made on the truncated value against max + 1.
    const double w = std::trunc(v);
    if (!(w >= static_cast<double>(t.min) && w < static_cast<double>(t.max) + 1.0)) {
      *err = ERR_NUMERIC_RANGE;
      return SQL_ERROR;
    }
    int status = 0;
    if (w != v) {
      *err = ERR_FRACTION_TRUNC;
      status = 1;
    }
    const __int128 i = w < 0 ? static_cast<__int128>(static_cast<int64_t>(w))
                             : static_cast<__int128>(static_cast<uint64_t>(w));
    return PutInteger(t, i, status, data, lenPtr, err);
  }
  switch (cType) {
    case SQL_C_CHAR:
    case SQL_C_WCHAR: {
      char buf[40];
      const uint64_t n = formatShortest(buf, sizeof buf, v, single);
      // Only fractional digits may be cut: an exponent form stays whole, a plain
      // one keeps at least everything before its point.
      uint64_t keep = n;
      if (std::memchr(buf, 'e', n) == nullptr) {
        const void* point = std::memchr(buf, '.', n);
        if (point != nullptr) keep = static_cast<uint64_t>(static_cast<const char*>(point) - buf);
      }
      return PutText(buf, n, keep, cType, data, bufLen, lenPtr, err);
    }
    case SQL_C_FLOAT: {
      if (std::isfinite(v) && (v > FLT_MAX || v < -FLT_MAX)) {
        *err = ERR_NUMERIC_RANGE;
        return SQL_ERROR;
      }
      const float f = static_cast<float>(v);
      return PutFixed(&f, sizeof f, 0, data, lenPtr, err);
    }
    case SQL_C_DOUBLE: return PutFixed(&v, sizeof v, 0, data, lenPtr, err);
    case SQL_C_BINARY: return toBinary(raw, single ? 4 : 8, data, bufLen, lenPtr, err);
    case SQL_C_NUMERIC: {
      traceDoubleToNumeric(v);
      DecNum d;
      const int32_t rc = single ? DecFromFloat(static_cast<float>(v), &d) : DecFromDouble(v, &d);
      if (rc != 0) {
        *err = rc;
        return SQL_ERROR;
      }
      const int32_t p =
          numPrecision != 0 ? numPrecision : (single ? kPrecisionFloat : kPrecisionDouble);
      return toNumericTarget(d, numScale, p, data, lenPtr, err);
    }
    default: *err = ERR_RESTRICTED_TYPE; return SQL_ERROR;
  }
}

}  // namespace

SQLRETURN ConvertBYTE(uint8_t value, int32_t isSigned, int32_t cType, void* data, SQLLEN bufLen,
                      SQLLEN* lenPtr, int32_t* err, int32_t numScale,
                      int32_t numPrecision) noexcept {
  if (CvtTracing()) {
    TraceODBC("ConvertBYTE: retBufferLength(%ld) to %s", static_cast<long>(bufLen),
              CTypeName(cType));
  }
  const int64_t v = isSigned ? static_cast<int64_t>(static_cast<int8_t>(value)) : value;
  return convertInteger(v, 8, &value, cType, data, bufLen, lenPtr, err, numScale, numPrecision);
}

SQLRETURN ConvertSHORT(uint16_t value, int32_t isSigned, int32_t cType, void* data, SQLLEN bufLen,
                       SQLLEN* lenPtr, int32_t* err, int32_t numScale,
                       int32_t numPrecision) noexcept {
  const int64_t v = isSigned ? static_cast<int64_t>(static_cast<int16_t>(value)) : value;
  if (CvtTracing())
    TraceODBC("ConvertSHORT: value(%ld) to %s", static_cast<long>(v), CTypeName(cType));
  return convertInteger(v, 16, &value, cType, data, bufLen, lenPtr, err, numScale, numPrecision);
}

SQLRETURN ConvertLONG(uint32_t value, int32_t isSigned, int32_t cType, void* data, SQLLEN bufLen,
                      SQLLEN* lenPtr, int32_t* err, int32_t numScale,
                      int32_t numPrecision) noexcept {
  const int64_t v = isSigned ? static_cast<int64_t>(static_cast<int32_t>(value)) : value;
  return convertInteger(v, 32, &value, cType, data, bufLen, lenPtr, err, numScale, numPrecision);
}

SQLRETURN ConvertFLOAT(float value, int32_t cType, void* data, SQLLEN bufLen, SQLLEN* lenPtr,
                       int32_t* err, int32_t numScale, int32_t numPrecision) noexcept {
  return convertFloating(value, true, &value, cType, data, bufLen, lenPtr, err, numScale,
                         numPrecision);
}

SQLRETURN ConvertDOUBLE(double value, int32_t cType, void* data, SQLLEN bufLen, SQLLEN* lenPtr,
                        int32_t* err, int32_t numScale, int32_t numPrecision) noexcept {
  return convertFloating(value, false, &value, cType, data, bufLen, lenPtr, err, numScale,
                         numPrecision);
}

int DoubleToNumeric(double value, SQL_NUMERIC_STRUCT* out, int32_t scale, uint32_t precision,
                    int32_t* err) noexcept {
  traceDoubleToNumeric(value);
  DecNum d;
  if (const int32_t rc = DecFromDouble(value, &d); rc != 0) {
    *err = rc;
    return -1;
  }
  SQL_NUMERIC_STRUCT v;
  const int status = DecToNumeric(d, scale, static_cast<int32_t>(precision), &v, err);
  if (status >= 0) *out = v;
  return status;
}

double IntPower(double base, int32_t exponent) noexcept {
  double r = 1.0;
  if (exponent >= 0) {
    for (int32_t i = 0; i < exponent; ++i) r *= base;
  } else {
    for (int32_t i = exponent; i < 0; ++i) r /= base;
  }
  return r;
}
