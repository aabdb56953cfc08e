// cvt_char_test.cpp -- text (8-bit and UTF-16) to every C type, the text
// parsers, piecewise delivery, and independence from the process locale.

#include <gtest/gtest.h>

#include <unistd.h>

#include <clocale>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>

#include "cvt_test.h"
#include "drv/errtab.h"
#include "odbc/cvt.h"
#include "odbc/cvt_core.h"

namespace {

using namespace cvt_test;

struct Case {
  std::string text;  // 8-bit text; the UTF-16 table holds UTF-16LE bytes
  int32_t cType;
  SQLLEN bufLen;
  int32_t scale, precision;  // SQL_C_NUMERIC targets
  SQLRETURN rc;
  int32_t err;
  SQLLEN outLen;
  std::string out;
};

TEST(CvtChar, ConvertCHAR) {
  const std::string guidText = "01234567-89ab-CDEF-0123-456789abcdef";
  SQLGUID guid{0x01234567, 0x89AB, 0xCDEF, {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF}};
  const Case kCases[] = {
      // Integers: blanks around the number are ignored, a fraction truncates with
      // 01S07, an exponent is accepted.
      {"  -42 ", SQL_C_SHORT, 0, 0, 0, OK, 0, 2, le<int16_t>(-42)},
      {"42x", SQL_C_SHORT, 0, 0, 0, ERR, ERR_ASSIGNMENT, kUnset, ""},
      {"4 2", SQL_C_SHORT, 0, 0, 0, ERR, ERR_ASSIGNMENT, kUnset, ""},
      {"", SQL_C_LONG, 0, 0, 0, ERR, ERR_ASSIGNMENT, kUnset, ""},
      {"   ", SQL_C_LONG, 0, 0, 0, ERR, ERR_ASSIGNMENT, kUnset, ""},
      {".", SQL_C_LONG, 0, 0, 0, ERR, ERR_ASSIGNMENT, kUnset, ""},
      {"1e", SQL_C_LONG, 0, 0, 0, ERR, ERR_ASSIGNMENT, kUnset, ""},
      {"70000", SQL_C_SHORT, 0, 0, 0, ERR, ERR_NUMERIC_RANGE, kUnset, ""},
      {"-1", SQL_C_USHORT, 0, 0, 0, ERR, ERR_NUMERIC_RANGE, kUnset, ""},
      {"-2147483648", SQL_C_LONG, 0, 0, 0, OK, 0, 4, le<int32_t>(INT32_MIN)},
      {"4294967295", SQL_C_ULONG, 0, 0, 0, OK, 0, 4, le<uint32_t>(UINT32_MAX)},
      {"12.00", SQL_C_LONG, 0, 0, 0, OK, 0, 4, le<int32_t>(12)},
      {"12.5", SQL_C_LONG, 0, 0, 0, INFO, ERR_FRACTION_TRUNC, 4, le<int32_t>(12)},
      {"-12.5", SQL_C_SLONG, 0, 0, 0, INFO, ERR_FRACTION_TRUNC, 4, le<int32_t>(-12)},
      {"1.5E1", SQL_C_LONG, 0, 0, 0, OK, 0, 4, le<int32_t>(15)},
      {"+1e2", SQL_C_TINYINT, 0, 0, 0, OK, 0, 1, le<int8_t>(100)},
      {"1e3", SQL_C_STINYINT, 0, 0, 0, ERR, ERR_NUMERIC_RANGE, kUnset, ""},
      {"255", SQL_C_UTINYINT, 0, 0, 0, OK, 0, 1, le<uint8_t>(255)},
      {"18446744073709551615", SQL_C_UBIGINT, 0, 0, 0, OK, 0, 8, le<uint64_t>(UINT64_MAX)},
      {"-0", SQL_C_UBIGINT, 0, 0, 0, OK, 0, 8, le<uint64_t>(0)},
      {"9223372036854775808", SQL_C_SBIGINT, 0, 0, 0, ERR, ERR_NUMERIC_RANGE, kUnset, ""},
      {"-9223372036854775808", SQL_C_SBIGINT, 0, 0, 0, OK, 0, 8, le<int64_t>(INT64_MIN)},
      {"12\0\0 "s, SQL_C_LONG, 0, 0, 0, OK, 0, 4, le<int32_t>(12)},  // ends at its NUL
      {"1", SQL_C_BIT, 0, 0, 0, OK, 0, 1, le<uint8_t>(1)},
      {"0.5", SQL_C_BIT, 0, 0, 0, INFO, ERR_FRACTION_TRUNC, 1, le<uint8_t>(0)},
      {"2", SQL_C_BIT, 0, 0, 0, ERR, ERR_NUMERIC_RANGE, kUnset, ""},
      {"yes", SQL_C_BIT, 0, 0, 0, ERR, ERR_ASSIGNMENT, kUnset, ""},
      // Floating targets.
      {"$1,234.50", SQL_C_DOUBLE, 0, 0, 0, OK, 0, 8, le<double>(1234.5)},
      {" 1.5 ", SQL_C_DOUBLE, 0, 0, 0, OK, 0, 8, le<double>(1.5)},
      {"", SQL_C_DOUBLE, 0, 0, 0, ERR, ERR_ASSIGNMENT, kUnset, ""},
      {"1e400", SQL_C_DOUBLE, 0, 0, 0, ERR, ERR_NUMERIC_RANGE, kUnset, ""},
      {"1e-400", SQL_C_DOUBLE, 0, 0, 0, OK, 0, 8, le<double>(0.0)},
      {"nan", SQL_C_DOUBLE, 0, 0, 0, ERR, ERR_ASSIGNMENT, kUnset, ""},
      {"1.5", SQL_C_FLOAT, 0, 0, 0, OK, 0, 4, le<float>(1.5f)},
      {"1e39", SQL_C_FLOAT, 0, 0, 0, ERR, ERR_NUMERIC_RANGE, kUnset, ""},
      // NUMERIC: rounded to nearest at the scale, every digit kept.
      {"123.456", SQL_C_NUMERIC, 0, 2, 10, INFO, ERR_FRACTION_TRUNC, 19, numeric(10, 2, 1, 12346)},
      {"-0.5", SQL_C_NUMERIC, 0, 1, 0, OK, 0, 19, numeric(2, 1, 0, 5)},
      {"0.29", SQL_C_NUMERIC, 0, 2, 0, OK, 0, 19, numeric(3, 2, 1, 29)},
      {"1.005", SQL_C_NUMERIC, 0, 2, 0, INFO, ERR_FRACTION_TRUNC, 19, numeric(4, 2, 1, 101)},
      {" 12.00 ", SQL_C_NUMERIC, 0, 0, 0, OK, 0, 19, numeric(4, 0, 1, 12)},
      {"5", SQL_C_NUMERIC, 0, 2, 0, OK, 0, 19, numeric(3, 2, 1, 500)},
      {"1.5e2", SQL_C_NUMERIC, 0, 0, 0, OK, 0, 19, numeric(3, 0, 1, 150)},
      {"1234", SQL_C_NUMERIC, 0, 0, 3, ERR, ERR_NUMERIC_RANGE, kUnset, ""},
      {"12.34", SQL_C_NUMERIC, 0, 2, 3, INFO, ERR_FRACTION_TRUNC, 19, numeric(3, 2, 1, 1234)},
      {"9999999999999999999", SQL_C_NUMERIC, 0, 0, 0, OK, 0, 19,
       numeric(19, 0, 1, 9999999999999999999ull)},
      {"99999999999999999999999999999999999999", SQL_C_NUMERIC, 0, 1, 0, ERR, ERR_NUMERIC_RANGE,
       kUnset, ""},
      {"abc", SQL_C_NUMERIC, 0, 0, 0, ERR, ERR_ASSIGNMENT, kUnset, ""},
      // GUID.
      {guidText, SQL_C_GUID, 0, 0, 0, OK, 0, 16, le(guid)},
      {" " + guidText + " ", SQL_C_GUID, 0, 0, 0, OK, 0, 16, le(guid)},
      {guidText.substr(1), SQL_C_GUID, 0, 0, 0, ERR, ERR_LENGTH_MISMATCH, kUnset, ""},
      {"0123456789abCDEF0123456789abcdef0123", SQL_C_GUID, 0, 0, 0, ERR, ERR_ASSIGNMENT, kUnset,
       ""},
      // Character, wide and binary targets.
      {"abcdefgh", SQL_C_CHAR, 5, 0, 0, INFO, ERR_TRUNCATED, 8, "abcd\0"s},
      {"abcdefgh", SQL_C_CHAR, 0, 0, 0, INFO, ERR_TRUNCATED, 8, ""},
      {"abcdefgh", SQL_C_CHAR, -1, 0, 0, ERR, ERR_BUFFER_LENGTH, kUnset, ""},
      {"abc", SQL_C_BINARY, 10, 0, 0, OK, 0, 3, "abc"},
      {"h\xC3\xA9", SQL_C_WCHAR, 10, 0, 0, OK, 0, 4, bytes16(u"h\u00e9\0"s)},
      // Dates, times and timestamps in ODBC's forms or their escapes; a part the target
      // has no room for warns; any other text is no value of theirs.
      {" 2024-02-09 ", SQL_C_TYPE_DATE, 0, 0, 0, OK, 0, 6, le(SQL_DATE_STRUCT{2024, 2, 9})},
      {"{d '2024-02-29'}", SQL_C_DATE, 0, 0, 0, OK, 0, 6, le(SQL_DATE_STRUCT{2024, 2, 29})},
      {"2024-02-09", SQL_C_TYPE_TIMESTAMP, 0, 0, 0, OK, 0, 16,
       le(SQL_TIMESTAMP_STRUCT{2024, 2, 9})},
      {"2024-02-09 10:11:12.5", SQL_C_TYPE_TIMESTAMP, 0, 0, 0, OK, 0, 16,
       le(SQL_TIMESTAMP_STRUCT{2024, 2, 9, 10, 11, 12, 500000000})},
      {"{ts '2024-02-09 10:11:12'}", SQL_C_TYPE_DATE, 0, 0, 0, INFO, ERR_FRACTION_TRUNC, 6,
       le(SQL_DATE_STRUCT{2024, 2, 9})},
      {"2024-02-09 10:11:12.5", SQL_C_TYPE_TIME, 0, 0, 0, INFO, ERR_FRACTION_TRUNC, 6,
       le(SQL_TIME_STRUCT{10, 11, 12})},
      {"10:11:12", SQL_C_TIME, 0, 0, 0, OK, 0, 6, le(SQL_TIME_STRUCT{10, 11, 12})},
      {"10:11:12", SQL_C_TYPE_DATE, 0, 0, 0, ERR, ERR_CAST_CHAR, kUnset, ""},
      {"2024-02-09", SQL_C_TYPE_TIME, 0, 0, 0, ERR, ERR_CAST_CHAR, kUnset, ""},
      {"2023-02-29", SQL_C_TYPE_DATE, 0, 0, 0, ERR, ERR_CAST_CHAR, kUnset, ""},
      {"24:00:00", SQL_C_TIME, 0, 0, 0, ERR, ERR_CAST_CHAR, kUnset, ""},
      {"{d '10:11:12'}", SQL_C_TYPE_TIMESTAMP, 0, 0, 0, ERR, ERR_CAST_CHAR, kUnset, ""},
      {"2024-02-09x", SQL_C_TYPE_DATE, 0, 0, 0, ERR, ERR_CAST_CHAR, kUnset, ""},
      {"  -42", SQL_C_TYPE_DATE, 0, 0, 0, ERR, ERR_CAST_CHAR, kUnset, ""},
      {"", SQL_C_TYPE_TIMESTAMP, 0, 0, 0, ERR, ERR_CAST_CHAR, kUnset, ""},
      // Unreachable targets.
      {"1", 1234, 0, 0, 0, ERR, ERR_RESTRICTED_TYPE, kUnset, ""},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(testing::Message() << '"' << c.text << "\" to " << CTypeName(c.cType));
    unsigned char buf[64];
    std::memset(buf, kFill, sizeof buf);
    SQLLEN outLen = kUnset;
    int32_t err = 0;
    const SQLRETURN rc =
        ConvertCHAR(c.text.data(), c.text.size(), static_cast<SQLLEN>(c.text.size()), c.cType, buf,
                    c.bufLen, &outLen, &err, c.scale, c.precision);
    check({c.rc, c.err, c.outLen, c.out}, rc, err, outLen, buf, sizeof buf);
  }
}

TEST(CvtChar, ConvertWCHAR) {
  const Case kCases[] = {
      {bytes16(u" 42 "), SQL_C_LONG, 0, 0, 0, OK, 0, 4, le<int32_t>(42)},
      {bytes16(u"12.5"), SQL_C_LONG, 0, 0, 0, INFO, ERR_FRACTION_TRUNC, 4, le<int32_t>(12)},
      {bytes16(u"4\uFF12"), SQL_C_LONG, 0, 0, 0, ERR, ERR_ASSIGNMENT, kUnset, ""},
      {bytes16(u"-1.5e0"), SQL_C_DOUBLE, 0, 0, 0, OK, 0, 8, le<double>(-1.5)},
      {bytes16(u"0.29"), SQL_C_NUMERIC, 0, 2, 0, OK, 0, 19, numeric(3, 2, 1, 29)},
      {bytes16(u"00000001-0000-0000-0000-000000000000"), SQL_C_GUID, 0, 0, 0, OK, 0, 16,
       le(SQLGUID{1, 0, 0, {}})},
      {bytes16(u"h\u00e9"), SQL_C_CHAR, 10, 0, 0, OK, 0, 3, "h\xC3\xA9\0"s},
      {bytes16(u"h\u00e9"), SQL_C_CHAR, 2, 0, 0, INFO, ERR_TRUNCATED, 3, "h\0"s},
      {bytes16(u"abcd"), SQL_C_WCHAR, 6, 0, 0, INFO, ERR_TRUNCATED, 8, bytes16(u"ab\0"s)},
      {bytes16(u"abcd"), SQL_C_WCHAR, 1, 0, 0, INFO, ERR_TRUNCATED, 8, ""},
      {bytes16(u"ab"), SQL_C_BINARY, 10, 0, 0, OK, 0, 4, bytes16(u"ab")},
      {bytes16(u"12"), SQL_C_TYPE_TIMESTAMP, 0, 0, 0, ERR, ERR_CAST_CHAR, kUnset, ""},
      {bytes16(u" 2024-02-09\t"), SQL_C_TYPE_DATE, 0, 0, 0, OK, 0, 6,
       le(SQL_DATE_STRUCT{2024, 2, 9})},
      {bytes16(u"2024-02-0\u0669"), SQL_C_TYPE_DATE, 0, 0, 0, ERR, ERR_CAST_CHAR, kUnset, ""},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(testing::Message()
                 << "case of " << c.text.size() << " bytes to " << CTypeName(c.cType));
    std::u16string text(c.text.size() / 2, u'\0');
    std::memcpy(text.data(), c.text.data(), c.text.size());
    unsigned char buf[64];
    std::memset(buf, kFill, sizeof buf);
    SQLLEN outLen = kUnset;
    int32_t err = 0;
    const SQLRETURN rc =
        ConvertWCHAR(text.data(), c.text.size(), static_cast<SQLLEN>(c.text.size()), c.cType, buf,
                     c.bufLen, &outLen, &err, c.scale, c.precision);
    check({c.rc, c.err, c.outLen, c.out}, rc, err, outLen, buf, sizeof buf);
  }
}

struct Piece {
  SQLRETURN rc;
  SQLLEN outLen;
  std::string out;
};

// SQLGetData in pieces: each call hands over what is left from source byte `at`
// and advances by what the converter says it delivered. Answers the final `at`.
template <class Deliver>
uint64_t deliverPieces(std::initializer_list<Piece> pieces, Deliver deliver) {
  uint64_t at = 0;
  for (const Piece& p : pieces) {
    SCOPED_TRACE(p.out);
    char buf[10];
    SQLLEN outLen = 0;
    uint64_t used = 0;
    EXPECT_EQ(deliver(at, buf, &outLen, &used), p.rc);
    EXPECT_EQ(outLen, p.outLen);
    EXPECT_STREQ(buf, p.out.c_str());
    at += used;
  }
  return at;
}

TEST(CvtChar, PiecewiseDelivery) {
  int32_t err = 0;  // every SQLGetData call starts with a clear error slot
  const std::string text = "abcdefghijklmnopqrstuvwxy";  // 25 bytes
  const uint64_t end =
      deliverPieces({{INFO, 25, "abcdefghi"}, {INFO, 16, "jklmnopqr"}, {OK, 7, "stuvwxy"}},
                    [&](uint64_t at, char* buf, SQLLEN* outLen, uint64_t* used) {
                      const uint64_t left = text.size() - at;
                      err = 0;
                      return ConvertCHAR(text.data() + at, left, static_cast<SQLLEN>(left),
                                         SQL_C_CHAR, buf, 10, outLen, &err, 0, 0, used);
                    });
  EXPECT_EQ(end, text.size());

  // UTF-16 to UTF-8 counts the source by what was encoded, never one byte per
  // character: no character is lost or split between pieces.
  const std::u16string wide = u"\u00e9\u00e9\u00e9\u00e9\u00e9";  // 10 bytes of UTF-8
  const uint64_t wideEnd =
      deliverPieces({{INFO, 10, "\u00e9\u00e9"}, {INFO, 6, "\u00e9\u00e9"}, {OK, 2, "\u00e9"}},
                    [&](uint64_t at, char* buf, SQLLEN* outLen, uint64_t* used) {
                      const uint64_t left = wide.size() * 2 - at;
                      err = 0;
                      return ConvertWCHAR(wide.data() + at / 2, left, static_cast<SQLLEN>(left),
                                          SQL_C_CHAR, buf, 6, outLen, &err, 0, 0, used);
                    });
  EXPECT_EQ(wideEnd, wide.size() * 2);
}

TEST(CvtChar, SuccessKeepsEarlierWarning) {
  int32_t err = ERR_TRUNCATED;
  int32_t v = 0;
  EXPECT_EQ(ConvertCHAR("7", 1, 1, SQL_C_LONG, &v, 0, nullptr, &err, 0, 0), SQL_SUCCESS);
  EXPECT_EQ(v, 7);
  EXPECT_EQ(err, ERR_TRUNCATED);
  SQLGUID g;
  EXPECT_EQ(CharToGUID("00000001-0000-0000-0000-000000000000", 36, &g, &err), 0);
  EXPECT_EQ(err, ERR_TRUNCATED);
}

TEST(CvtChar, FixedTargetNeedsData) {
  int32_t err = 0;
  EXPECT_EQ(ConvertCHAR("7", 1, 1, SQL_C_LONG, nullptr, 4, nullptr, &err, 0, 0), SQL_ERROR);
  EXPECT_EQ(err, ERR_ARGUMENT);
}

// Switches the process to a German locale (decimal comma) for one test and back.
// A machine without one gets it built into a private directory when the locale
// sources are there, so that the test runs wherever it can.
class GermanLocale {
 public:
  GermanLocale() {
    const char* old = std::setlocale(LC_ALL, nullptr);
    saved_ = old != nullptr ? old : "C";
    if (use()) return;
    if (access("/usr/bin/localedef", X_OK) != 0 ||
        access("/usr/share/i18n/locales/de_DE", R_OK) != 0) {
      return;
    }
    char dir[] = "/tmp/kes_locale_XXXXXX";
    if (mkdtemp(dir) == nullptr) return;
    dir_ = dir;
    const std::string cmd =
        "/usr/bin/localedef -i de_DE -f UTF-8 " + dir_ + "/de_DE.UTF-8 >/dev/null 2>&1";
    if (std::system(cmd.c_str()) == -1) return;
    setenv("LOCPATH", dir_.c_str(), 1);
    use();
  }
  ~GermanLocale() {
    std::setlocale(LC_ALL, saved_.c_str());
    if (!dir_.empty()) {
      unsetenv("LOCPATH");
      std::filesystem::remove_all(dir_);
    }
  }
  GermanLocale(const GermanLocale&) = delete;
  GermanLocale& operator=(const GermanLocale&) = delete;

  bool active() const { return active_; }

 private:
  bool use() {
    active_ = std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr ||
              std::setlocale(LC_ALL, "de_DE.utf8") != nullptr;
    return active_;
  }

  std::string saved_;
  std::string dir_;
  bool active_ = false;
};

// The double the exact road gives: every digit kept, rounded once.
double exactRoad(const std::string& text) {
  DecNum d;
  double v = 0.0;
  EXPECT_EQ(DecParse(text.data(), text.size(), DEC_MONEY, &d), 0) << text;
  EXPECT_EQ(DecToDouble(d, &v), 0) << text;
  return v;
}

bool sameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// Decimal text read straight into a double gives the exact road's double, bit for bit
// (the sign of a zero included), in both text forms.
TEST(CvtChar, PlainDecimalTextReadsAsTheExactRoad) {
  const std::string kCases[] = {
      "0", "-0", "0.00", "-0.00", "1", "-1", "123.45", "-99999999.99", "0.1", "0.3", "1.5",
      "5.", ".5", "-.5", "00000123.4500000", "0.000000000000000000000000000001",
      // Ties at the last bit of a double: to even, and just above a tie.
      "9007199254740993", "9007199254740995", "-9007199254740993", "9007199254740993.00001",
      "12345678901234567890123456789012", "-1234567890.1234567890123456789012345678",
      "99999999999999999999999999999999999999.9", "0.0000000000000000000000000000000000001",
      // Past the plain length: the exact road itself.
      "0.1000000000000000055511151231257827021181583404541015625",
      "123456789012345678901234567890123456789012345678901234567890"};
  for (const std::string& text : kCases) {
    SCOPED_TRACE(text);
    double plain = -1.0;
    EXPECT_EQ(DecPlainToDouble(text.data(), text.size(), &plain),
              text.size() <= kPlainDecimalChars);
    int32_t err = 0;
    double v = -1.0;
    ASSERT_EQ(CharToDecimal(text.data(), text.size(), &v, &err), 0);
    EXPECT_TRUE(sameBits(v, exactRoad(text))) << v << " vs " << exactRoad(text);
    const std::u16string wide(text.begin(), text.end());
    ASSERT_EQ(WCharToDecimal(wide.data(), wide.size(), &v, &err), 0);
    EXPECT_TRUE(sameBits(v, exactRoad(text)));
  }
  // Random plain texts of every length up to the plain limit and beyond.
  std::mt19937_64 rng(16);
  for (int k = 0; k < 20000; ++k) {
    std::string text = rng() % 2 != 0 ? "-" : "";
    const size_t digits = 1 + rng() % 44;
    const size_t point = rng() % (digits + 2);
    for (size_t i = 0; i < digits; ++i) {
      if (i == point) text += '.';
      text += static_cast<char>('0' + rng() % 10);
    }
    double v = -1.0;
    int32_t err = 0;
    ASSERT_EQ(CharToDecimal(text.data(), text.size(), &v, &err), 0) << text;
    ASSERT_TRUE(sameBits(v, exactRoad(text))) << text;
  }
  // Anything else is left to the exact road, which reads or refuses it as before.
  for (const char* text : {"", "-", ".", "1.2.3", "--1", "1-", " 1", "+1", "1e5", "$1,234.5",
                           "0x10", "1 ", "\xd9\xa1"}) {
    double v = -1.0;
    EXPECT_FALSE(DecPlainToDouble(text, std::strlen(text), &v)) << text;
    EXPECT_EQ(v, -1.0);
  }
  double v = -1.0;
  EXPECT_TRUE(DecPlainToDouble("2.5\0" "99", 6, &v));  // a cell ends at its NUL
  EXPECT_EQ(v, 2.5);
}

// An application that set a German locale still reads and writes numbers with
// a point.
TEST(CvtChar, GermanLocaleStillReadsPoint) {
  GermanLocale german;
  if (!german.active()) GTEST_SKIP() << "no German locale on this machine";
  ASSERT_STREQ(std::localeconv()->decimal_point, ",");
  int32_t err = 0;
  double d = 0;
  EXPECT_EQ(ConvertCHAR("1.5", 3, 3, SQL_C_DOUBLE, &d, 0, nullptr, &err, 0, 0), SQL_SUCCESS);
  EXPECT_EQ(d, 1.5);
  EXPECT_EQ(ConvertWCHAR(u"1.5", 6, 6, SQL_C_DOUBLE, &d, 0, nullptr, &err, 0, 0), SQL_SUCCESS);
  EXPECT_EQ(d, 1.5);
  int32_t i = 0;
  EXPECT_EQ(ConvertCHAR("1,5", 3, 3, SQL_C_LONG, &i, 0, nullptr, &err, 0, 0), SQL_ERROR);
  char text[32];
  EXPECT_EQ(ConvertDOUBLE(1.5, SQL_C_CHAR, text, sizeof text, nullptr, &err, 0, 0), SQL_SUCCESS);
  EXPECT_STREQ(text, "1.5");
  EXPECT_EQ(ConvertFLOAT(-0.25f, SQL_C_CHAR, text, sizeof text, nullptr, &err, 0, 0), SQL_SUCCESS);
  EXPECT_STREQ(text, "-0.25");
}

}  // namespace
