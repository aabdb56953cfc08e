// cvt_num_test.cpp -- integers, floats, binary values, dates, times and
// timestamps to every C type.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include "cvt_test.h"
#include "drv/errtab.h"
#include "odbc/cvt.h"

namespace {

using namespace cvt_test;

enum class Src { S8, U8, S16, U16, S32, U32, Float, Double };

struct NumCase {
  Src src;
  double value;
  int32_t cType;
  SQLLEN bufLen;
  int32_t scale, precision;
  Expect want;
};

const char* srcName(Src s) {
  constexpr const char* kNames[] = {"s8", "u8", "s16", "u16", "s32", "u32", "float", "double"};
  return kNames[static_cast<int>(s)];
}

SQLRETURN convert(const NumCase& c, void* buf, SQLLEN* outLen, int32_t* err) {
  // Integer sources hold small integral values; the floating ones may not fit.
  const bool integral = c.src != Src::Float && c.src != Src::Double;
  const auto i = integral ? static_cast<int64_t>(c.value) : 0;
  switch (c.src) {
    case Src::S8:
    case Src::U8:
      return ConvertBYTE(static_cast<uint8_t>(i), c.src == Src::S8, c.cType, buf, c.bufLen, outLen,
                         err, c.scale, c.precision);
    case Src::S16:
    case Src::U16:
      return ConvertSHORT(static_cast<uint16_t>(i), c.src == Src::S16, c.cType, buf, c.bufLen,
                          outLen, err, c.scale, c.precision);
    case Src::S32:
    case Src::U32:
      return ConvertLONG(static_cast<uint32_t>(i), c.src == Src::S32, c.cType, buf, c.bufLen,
                         outLen, err, c.scale, c.precision);
    case Src::Float:
      return ConvertFLOAT(static_cast<float>(c.value), c.cType, buf, c.bufLen, outLen, err, c.scale,
                          c.precision);
    default:
      return ConvertDOUBLE(c.value, c.cType, buf, c.bufLen, outLen, err, c.scale, c.precision);
  }
}

TEST(CvtNum, NumbersToEveryTarget) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const NumCase kCases[] = {
      // Signed and unsigned limits are exact.
      {Src::S16, -1, SQL_C_USHORT, 0, 0, 0, {ERR, ERR_NUMERIC_RANGE, kUnset, ""}},
      {Src::S16, -1, SQL_C_ULONG, 0, 0, 0, {ERR, ERR_NUMERIC_RANGE, kUnset, ""}},
      {Src::S16, -1, SQL_C_UBIGINT, 0, 0, 0, {ERR, ERR_NUMERIC_RANGE, kUnset, ""}},
      {Src::S16, -1, SQL_C_LONG, 0, 0, 0, {OK, 0, 4, le<int32_t>(-1)}},
      {Src::S16, -1, SQL_C_CHAR, 10, 0, 0, {OK, 0, 2, "-1\0"s}},
      {Src::U16, 65535, SQL_C_SHORT, 0, 0, 0, {ERR, ERR_NUMERIC_RANGE, kUnset, ""}},
      {Src::U32, 4294967295.0, SQL_C_SBIGINT, 0, 0, 0, {OK, 0, 8, le<int64_t>(4294967295)}},
      {Src::U32, 4294967295.0, SQL_C_LONG, 0, 0, 0, {ERR, ERR_NUMERIC_RANGE, kUnset, ""}},
      {Src::S32, 300, SQL_C_TINYINT, 0, 0, 0, {ERR, ERR_NUMERIC_RANGE, kUnset, ""}},
      {Src::S32, 300, SQL_C_UTINYINT, 0, 0, 0, {ERR, ERR_NUMERIC_RANGE, kUnset, ""}},
      {Src::S32, 255, SQL_C_UTINYINT, 0, 0, 0, {OK, 0, 1, le<uint8_t>(255)}},
      {Src::S8, -128, SQL_C_SHORT, 0, 0, 0, {OK, 0, 2, le<int16_t>(-128)}},
      {Src::U8, 2, SQL_C_BIT, 0, 0, 0, {ERR, ERR_NUMERIC_RANGE, kUnset, ""}},
      {Src::U8, 1, SQL_C_BIT, 0, 0, 0, {OK, 0, 1, le<uint8_t>(1)}},
      {Src::S32, 7, SQL_C_DOUBLE, 0, 0, 0, {OK, 0, 8, le<double>(7)}},
      // Floating values reach integers by their integral part, 01S07 for a fraction.
      {Src::Double, 127.9, SQL_C_TINYINT, 0, 0, 0, {INFO, ERR_FRACTION_TRUNC, 1, le<int8_t>(127)}},
      {Src::Double, 127.0, SQL_C_TINYINT, 0, 0, 0, {OK, 0, 1, le<int8_t>(127)}},
      {Src::Double, 128.0, SQL_C_TINYINT, 0, 0, 0, {ERR, ERR_NUMERIC_RANGE, kUnset, ""}},
      {Src::Double, -3.7, SQL_C_SHORT, 0, 0, 0, {INFO, ERR_FRACTION_TRUNC, 2, le<int16_t>(-3)}},
      {Src::Double, 2.0, SQL_C_BIT, 0, 0, 0, {ERR, ERR_NUMERIC_RANGE, kUnset, ""}},
      {Src::Double, 2147483648.0, SQL_C_LONG, 0, 0, 0, {ERR, ERR_NUMERIC_RANGE, kUnset, ""}},
      {Src::Double,
       9223372036854775808.0,
       SQL_C_SBIGINT,
       0,
       0,
       0,
       {ERR, ERR_NUMERIC_RANGE, kUnset, ""}},
      {Src::Double,
       9223372036854775808.0,
       SQL_C_UBIGINT,
       0,
       0,
       0,
       {OK, 0, 8, le<uint64_t>(9223372036854775808ull)}},
      {Src::Double,
       18446744073709551616.0,
       SQL_C_UBIGINT,
       0,
       0,
       0,
       {ERR, ERR_NUMERIC_RANGE, kUnset, ""}},
      {Src::Double, nan, SQL_C_LONG, 0, 0, 0, {ERR, ERR_NUMERIC_RANGE, kUnset, ""}},
      // Narrowing to float outside its range.
      {Src::Double, 1e300, SQL_C_FLOAT, 0, 0, 0, {ERR, ERR_NUMERIC_RANGE, kUnset, ""}},
      {Src::Double, -1e300, SQL_C_FLOAT, 0, 0, 0, {ERR, ERR_NUMERIC_RANGE, kUnset, ""}},
      {Src::Double, 0.5, SQL_C_FLOAT, 0, 0, 0, {OK, 0, 4, le<float>(0.5f)}},
      {Src::Float, 0.5, SQL_C_DOUBLE, 0, 0, 0, {OK, 0, 8, le<double>(0.5)}},
      // Text: the shortest form that reads back as the same value, plain between
      // 1e-4 and the type's round-trip digits; a number that does not fit is
      // 22003, only fraction digits may be cut.
      {Src::Double, 0.1, SQL_C_CHAR, 32, 0, 0, {OK, 0, 3, "0.1\0"s}},
      {Src::Double, 4.6, SQL_C_CHAR, 32, 0, 0, {OK, 0, 3, "4.6\0"s}},
      {Src::Double, 0.0001, SQL_C_CHAR, 32, 0, 0, {OK, 0, 6, "0.0001\0"s}},
      {Src::Double, 1e-5, SQL_C_CHAR, 32, 0, 0, {OK, 0, 5, "1e-05\0"s}},
      {Src::Double, 1e16, SQL_C_CHAR, 32, 0, 0, {OK, 0, 17, "10000000000000000\0"s}},
      {Src::Double, 1e17, SQL_C_CHAR, 32, 0, 0, {OK, 0, 5, "1e+17\0"s}},
      {Src::Double, -2.5e-300, SQL_C_CHAR, 32, 0, 0, {OK, 0, 9, "-2.5e-300\0"s}},
      {Src::Float, 0.1, SQL_C_CHAR, 32, 0, 0, {OK, 0, 3, "0.1\0"s}},
      {Src::Float, 4.6, SQL_C_CHAR, 32, 0, 0, {OK, 0, 3, "4.6\0"s}},
      {Src::Float, 16777216, SQL_C_CHAR, 32, 0, 0, {OK, 0, 8, "16777216\0"s}},
      {Src::Float, 1e9, SQL_C_CHAR, 32, 0, 0, {OK, 0, 5, "1e+09\0"s}},
      {Src::Double, 1.5, SQL_C_WCHAR, 32, 0, 0, {OK, 0, 6, bytes16(u"1.5\0"s)}},
      {Src::Double, 123.456, SQL_C_CHAR, 5, 0, 0, {INFO, ERR_TRUNCATED, 7, "123.\0"s}},
      {Src::Double, 123.456, SQL_C_CHAR, 4, 0, 0, {INFO, ERR_TRUNCATED, 7, "123\0"s}},
      {Src::Double, 123.456, SQL_C_CHAR, 3, 0, 0, {ERR, ERR_NUMERIC_RANGE, 7, ""}},
      {Src::Double, 1e20, SQL_C_CHAR, 5, 0, 0, {ERR, ERR_NUMERIC_RANGE, 5, ""}},
      {Src::S32, 123456, SQL_C_CHAR, 4, 0, 0, {ERR, ERR_NUMERIC_RANGE, 6, ""}},
      {Src::S32, 123456, SQL_C_WCHAR, 12, 0, 0, {ERR, ERR_NUMERIC_RANGE, 12, ""}},
      {Src::S32, 123456, SQL_C_CHAR, 0, 0, 0, {INFO, ERR_TRUNCATED, 6, ""}},
      // The value's own bytes; all of them or nothing.
      {Src::S32, 1, SQL_C_BINARY, 4, 0, 0, {OK, 0, 4, le<int32_t>(1)}},
      {Src::S32, 1, SQL_C_BINARY, 2, 0, 0, {ERR, ERR_NUMERIC_RANGE, 4, ""}},
      {Src::S32, 1, SQL_C_BINARY, 0, 0, 0, {INFO, ERR_TRUNCATED, 4, ""}},
      {Src::Double, 1.0, SQL_C_BINARY, 8, 0, 0, {OK, 0, 8, le<double>(1.0)}},
      // NUMERIC: exact for integers, labelled with the digits the type holds.
      {Src::S32, 12345, SQL_C_NUMERIC, 0, 2, 0, {OK, 0, 19, numeric(10, 2, 1, 1234500)}},
      {Src::S32, 12345, SQL_C_NUMERIC, 0, 2, 18, {OK, 0, 19, numeric(18, 2, 1, 1234500)}},
      {Src::S32,
       -12345,
       SQL_C_NUMERIC,
       0,
       -2,
       0,
       {INFO, ERR_FRACTION_TRUNC, 19, numeric(10, -2, 0, 123)}},
      {Src::U8, 200, SQL_C_NUMERIC, 0, 0, 0, {OK, 0, 19, numeric(3, 0, 1, 200)}},
      {Src::S16, -300, SQL_C_NUMERIC, 0, 0, 0, {OK, 0, 19, numeric(5, 0, 0, 300)}},
      // Doubles by their shortest decimal form, rounded to nearest at the scale.
      {Src::Double, 0.29, SQL_C_NUMERIC, 0, 2, 0, {OK, 0, 19, numeric(15, 2, 1, 29)}},
      {Src::Double,
       1.2345,
       SQL_C_NUMERIC,
       0,
       2,
       0,
       {INFO, ERR_FRACTION_TRUNC, 19, numeric(15, 2, 1, 123)}},
      {Src::Double,
       4294967296.0,
       SQL_C_NUMERIC,
       0,
       0,
       0,
       {OK, 0, 19, numeric(15, 0, 1, 4294967296ull)}},
      {Src::Double, 1e30, SQL_C_NUMERIC, 0, 10, 0, {ERR, ERR_NUMERIC_RANGE, kUnset, ""}},
      {Src::Float, 0.1, SQL_C_NUMERIC, 0, 3, 0, {OK, 0, 19, numeric(7, 3, 1, 100)}},
      // Unreachable targets.
      {Src::S32, 1, SQL_C_TYPE_DATE, 0, 0, 0, {ERR, ERR_RESTRICTED_TYPE, kUnset, ""}},
      {Src::Double, 1, SQL_C_GUID, 0, 0, 0, {ERR, ERR_RESTRICTED_TYPE, kUnset, ""}},
  };
  for (const NumCase& c : kCases) {
    SCOPED_TRACE(testing::Message() << srcName(c.src) << ' ' << c.value << " to "
                                    << CTypeName(c.cType) << " bufLen " << c.bufLen);
    unsigned char buf[64];
    std::memset(buf, kFill, sizeof buf);
    SQLLEN outLen = kUnset;
    int32_t err = 0;
    const SQLRETURN rc = convert(c, buf, &outLen, &err);
    check(c.want, rc, err, outLen, buf, sizeof buf);
  }
}

// Every text a FLOAT or SMALLFLOAT gives reads back as the same value and fits
// the display size described for its column (24 and 15), whatever the bits.
TEST(CvtNum, FloatingTextRoundTripsWithinTheDisplaySize) {
  uint64_t bits = 0x9E3779B97F4A7C15ull;
  for (int k = 0; k < 20000; ++k) {
    bits ^= bits << 13;
    bits ^= bits >> 7;
    bits ^= bits << 17;
    double d;
    std::memcpy(&d, &bits, sizeof d);
    float f;
    const uint32_t low = static_cast<uint32_t>(bits);
    std::memcpy(&f, &low, sizeof f);
    if (!std::isfinite(d) || !std::isfinite(f)) continue;
    char buf[64];
    SQLLEN len = 0;
    int32_t err = 0;
    ASSERT_EQ(ConvertDOUBLE(d, SQL_C_CHAR, buf, sizeof buf, &len, &err, 0, 0), SQL_SUCCESS);
    EXPECT_LE(len, 24) << buf;
    EXPECT_EQ(std::strtod(buf, nullptr), d) << buf;
    ASSERT_EQ(ConvertFLOAT(f, SQL_C_CHAR, buf, sizeof buf, &len, &err, 0, 0), SQL_SUCCESS);
    EXPECT_LE(len, 15) << buf;
    EXPECT_EQ(std::strtof(buf, nullptr), f) << buf;
  }
}

TEST(CvtNum, DoubleToNumericKeepsDigitsBeyondTwoToThe53) {
  // 2^60 + 1 does not fit a double, but 2^60 does and travels exactly.
  SQL_NUMERIC_STRUCT n{};
  int32_t err = 0;
  EXPECT_EQ(DoubleToNumeric(1152921504606846976.0, &n, 0, 0, &err), 0);
  uint64_t mag = 0;
  std::memcpy(&mag, n.val, 8);
  EXPECT_EQ(mag, 1152921504606846976ull);
  EXPECT_EQ(DoubleToNumeric(std::numeric_limits<double>::infinity(), &n, 0, 0, &err), -1);
  EXPECT_EQ(err, ERR_NUMERIC_RANGE);
}

TEST(CvtNum, IntPower) {
  EXPECT_EQ(IntPower(10, 3), 1000.0);
  EXPECT_EQ(IntPower(2, -2), 0.25);
  EXPECT_EQ(IntPower(5, 0), 1.0);
}

TEST(CvtNum, ConvertBINARY) {
  struct Case {
    int32_t cType;
    SQLLEN bufLen;
    SQLLEN total;  // 0: the value's length
    Expect want;
    uint64_t used;
  };
  const unsigned char value[] = {0x0A, 0xFF};
  const Case kCases[] = {
      {SQL_C_CHAR, 5, 0, {OK, 0, 4, "0AFF\0"s}, 2},
      {SQL_C_CHAR, 4, 0, {INFO, ERR_TRUNCATED, 4, "0A\0"s}, 1},
      {SQL_C_CHAR, 0, 0, {INFO, ERR_TRUNCATED, 4, ""}, 0},
      {SQL_C_CHAR, 5, 6, {INFO, ERR_TRUNCATED, 12, "0AFF\0"s}, 2},
      {SQL_C_CHAR, 5, SQL_NO_TOTAL, {OK, 0, SQL_NO_TOTAL, "0AFF\0"s}, 2},
      {SQL_C_WCHAR, 10, 0, {OK, 0, 8, bytes16(u"0AFF\0"s)}, 2},
      {SQL_C_WCHAR, 9, 0, {INFO, ERR_TRUNCATED, 8, bytes16(u"0A\0"s)}, 1},
      {SQL_C_WCHAR, 1, 0, {INFO, ERR_TRUNCATED, 8, ""}, 0},
      {SQL_C_BINARY, 1, 0, {INFO, ERR_TRUNCATED, 2, "\x0A"}, 1},
      {SQL_C_BINARY, -5, 0, {ERR, ERR_BUFFER_LENGTH, kUnset, ""}, 0},
      {SQL_C_LONG, 4, 0, {ERR, ERR_RESTRICTED_TYPE, kUnset, ""}, 0},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(testing::Message()
                 << CTypeName(c.cType) << " bufLen " << c.bufLen << " total " << c.total);
    unsigned char buf[32];
    std::memset(buf, kFill, sizeof buf);
    SQLLEN outLen = kUnset;
    int32_t err = 0;
    uint64_t used = 99;
    const SQLRETURN rc =
        ConvertBINARY(value, sizeof value, c.total, c.cType, buf, c.bufLen, &outLen, &err, &used);
    check(c.want, rc, err, outLen, buf, sizeof buf);
    EXPECT_EQ(used, c.used);
  }
}

enum class Temporal { Date, Time, Stamp };

struct TemporalCase {
  const char* name;
  Temporal src;
  SQL_TIMESTAMP_STRUCT v;  // the date or time fields of it for the other sources
  uint16_t scale;
  int32_t cType;
  SQLLEN bufLen;
  Expect want;
};

TEST(CvtNum, DatesTimesAndTimestamps) {
  const SQL_TIMESTAMP_STRUCT day{2024, 2, 9, 0, 0, 0, 0};
  const SQL_TIMESTAMP_STRUCT clock{0, 0, 0, 10, 11, 12, 0};
  const SQL_TIMESTAMP_STRUCT half{2024, 2, 9, 10, 11, 12, 500000000};
  const SQL_TIMESTAMP_STRUCT nanos{2024, 2, 9, 10, 11, 12, 123456789};
  const SQL_TIMESTAMP_STRUCT bc{-44, 3, 15, 0, 0, 0, 0};
  const SQL_TIMESTAMP_STRUCT far{12000, 1, 1, 0, 0, 0, 0};
  const TemporalCase kCases[] = {
      {"date text", Temporal::Date, day, 0, SQL_C_CHAR, 11, {OK, 0, 10, "2024-02-09\0"s}},
      {"date text one short",
       Temporal::Date,
       day,
       0,
       SQL_C_CHAR,
       10,
       {ERR, ERR_NUMERIC_RANGE, 10, ""}},
      {"date text length only",
       Temporal::Date,
       day,
       0,
       SQL_C_CHAR,
       0,
       {INFO, ERR_TRUNCATED, 10, ""}},
      {"date wide",
       Temporal::Date,
       day,
       0,
       SQL_C_WCHAR,
       22,
       {OK, 0, 20, bytes16(u"2024-02-09\0"s)}},
      {"date wide one short",
       Temporal::Date,
       day,
       0,
       SQL_C_WCHAR,
       21,
       {ERR, ERR_NUMERIC_RANGE, 20, ""}},
      {"negative year", Temporal::Date, bc, 0, SQL_C_CHAR, 11, {OK, 0, 10, "0044-03-15\0"s}},
      {"year above 9999", Temporal::Date, far, 0, SQL_C_CHAR, 11, {OK, 0, 10, "9999-01-01\0"s}},
      {"date struct",
       Temporal::Date,
       day,
       0,
       SQL_C_TYPE_DATE,
       0,
       {OK, 0, 6, le(SQL_DATE_STRUCT{2024, 2, 9})}},
      {"date to timestamp",
       Temporal::Date,
       day,
       0,
       SQL_C_TIMESTAMP,
       0,
       {OK, 0, 16, le(SQL_TIMESTAMP_STRUCT{2024, 2, 9, 0, 0, 0, 0})}},
      {"date to time",
       Temporal::Date,
       day,
       0,
       SQL_C_TYPE_TIME,
       0,
       {ERR, ERR_RESTRICTED_TYPE, kUnset, ""}},
      {"date bytes",
       Temporal::Date,
       day,
       0,
       SQL_C_BINARY,
       6,
       {OK, 0, 6, le(SQL_DATE_STRUCT{2024, 2, 9})}},
      {"date bytes short",
       Temporal::Date,
       day,
       0,
       SQL_C_BINARY,
       5,
       {ERR, ERR_NUMERIC_RANGE, 6, ""}},
      {"time text", Temporal::Time, clock, 0, SQL_C_CHAR, 9, {OK, 0, 8, "10:11:12\0"s}},
      {"time to timestamp",
       Temporal::Time,
       clock,
       0,
       SQL_C_TYPE_TIMESTAMP,
       0,
       {OK, 0, 16, le(SQL_TIMESTAMP_STRUCT{0, 0, 0, 10, 11, 12, 0})}},
      {"time to date",
       Temporal::Time,
       clock,
       0,
       SQL_C_DATE,
       0,
       {ERR, ERR_RESTRICTED_TYPE, kUnset, ""}},
      {"stamp scale 3",
       Temporal::Stamp,
       half,
       3,
       SQL_C_CHAR,
       32,
       {OK, 0, 23, "2024-02-09 10:11:12.500\0"s}},
      {"stamp scale 1",
       Temporal::Stamp,
       half,
       1,
       SQL_C_CHAR,
       32,
       {OK, 0, 21, "2024-02-09 10:11:12.5\0"s}},
      {"stamp digits beyond scale",
       Temporal::Stamp,
       nanos,
       3,
       SQL_C_CHAR,
       32,
       {OK, 0, 29, "2024-02-09 10:11:12.123456789\0"s}},
      {"stamp scale 0",
       Temporal::Stamp,
       nanos,
       0,
       SQL_C_CHAR,
       32,
       {OK, 0, 19, "2024-02-09 10:11:12\0"s}},
      {"stamp fraction cut",
       Temporal::Stamp,
       half,
       3,
       SQL_C_CHAR,
       22,
       {INFO, ERR_TRUNCATED, 23, "2024-02-09 10:11:12.5\0"s}},
      {"stamp seconds do not fit",
       Temporal::Stamp,
       half,
       3,
       SQL_C_CHAR,
       19,
       {ERR, ERR_NUMERIC_RANGE, 23, ""}},
      {"stamp to date drops time",
       Temporal::Stamp,
       half,
       0,
       SQL_C_TYPE_DATE,
       0,
       {INFO, ERR_FRACTION_TRUNC, 6, le(SQL_DATE_STRUCT{2024, 2, 9})}},
      {"midnight to date",
       Temporal::Stamp,
       day,
       0,
       SQL_C_DATE,
       0,
       {OK, 0, 6, le(SQL_DATE_STRUCT{2024, 2, 9})}},
      {"stamp to time drops fraction",
       Temporal::Stamp,
       half,
       0,
       SQL_C_TIME,
       0,
       {INFO, ERR_FRACTION_TRUNC, 6, le(SQL_TIME_STRUCT{10, 11, 12})}},
      {"stamp bytes", Temporal::Stamp, half, 0, SQL_C_BINARY, 16, {OK, 0, 16, le(half)}},
      {"stamp to long",
       Temporal::Stamp,
       half,
       0,
       SQL_C_LONG,
       0,
       {ERR, ERR_RESTRICTED_TYPE, kUnset, ""}},
  };
  for (const TemporalCase& c : kCases) {
    SCOPED_TRACE(c.name);
    unsigned char buf[64];
    std::memset(buf, kFill, sizeof buf);
    SQLLEN outLen = kUnset;
    int32_t err = 0;
    SQLRETURN rc;
    if (c.src == Temporal::Date) {
      const SQL_DATE_STRUCT d{c.v.year, c.v.month, c.v.day};
      rc = ConvertDATE(&d, c.cType, buf, c.bufLen, &outLen, &err);
    } else if (c.src == Temporal::Time) {
      const SQL_TIME_STRUCT t{c.v.hour, c.v.minute, c.v.second};
      rc = ConvertTIME(&t, c.cType, buf, c.bufLen, &outLen, &err);
    } else {
      rc = ConvertTIMESTAMP(&c.v, c.cType, buf, c.bufLen, &outLen, c.scale, &err);
    }
    check(c.want, rc, err, outLen, buf, sizeof buf);
  }
}

}  // namespace
