// ctypes_test.cpp -- default C types, C type sizes and the copy-out routines.

#include "odbc/ctypes.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <string_view>

#include "cvt_test.h"
#include "drv/errtab.h"

namespace {

using cvt_test::bytes16;

TEST(CTypes, DefaultCType) {
  struct Case {
    int32_t sqlType, version, cType;
  };
  constexpr Case kCases[] = {
      {SQL_BIGINT, 3, SQL_C_SBIGINT},      {SQL_BIGINT, 2, SQL_C_CHAR},
      {SQL_DATE, 3, SQL_C_TYPE_DATE},      {SQL_DATE, 2, SQL_C_DATE},
      {SQL_TYPE_DATE, 2, SQL_C_TYPE_DATE}, {SQL_TIMESTAMP, 3, SQL_C_TYPE_TIMESTAMP},
      {SQL_TIME, 2, SQL_C_TIME},           {SQL_DECIMAL, 3, SQL_C_CHAR},
      {SQL_GUID, 3, SQL_C_CHAR},           {SQL_INTEGER, 3, SQL_C_LONG},
      {SQL_SMALLINT, 3, SQL_C_SHORT},      {SQL_FLOAT, 3, SQL_C_DOUBLE},
      {SQL_REAL, 3, SQL_C_FLOAT},          {SQL_BIT, 3, SQL_C_BIT},
      {SQL_TINYINT, 3, SQL_C_TINYINT},     {SQL_LONGVARBINARY, 3, SQL_C_BINARY},
      {SQL_WLONGVARCHAR, 3, SQL_C_WCHAR},  {99, 3, 99},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(testing::Message() << "sqlType " << c.sqlType << " version " << c.version);
    EXPECT_EQ(DefaultCType(c.sqlType, c.version), c.cType);
  }
}

TEST(CTypes, CTypeSize) {
  struct Case {
    int16_t cType, size;
  };
  constexpr Case kCases[] = {
      {SQL_C_NUMERIC, 19}, {SQL_C_TYPE_TIMESTAMP, 16}, {SQL_C_GUID, 16},  {SQL_C_UBIGINT, 8},
      {SQL_C_DOUBLE, 8},   {SQL_C_TYPE_DATE, 6},       {SQL_C_TIME, 6},   {SQL_C_ULONG, 4},
      {SQL_C_FLOAT, 4},    {SQL_C_USHORT, 2},          {SQL_C_BIT, 1},    {SQL_C_STINYINT, 1},
      {SQL_C_CHAR, 0},     {SQL_C_WCHAR, 0},           {SQL_C_BINARY, 0}, {SQL_C_DEFAULT, 0},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.cType);
    EXPECT_EQ(CTypeSize(c.cType), c.size);
  }
}

enum class Road { Char, WideToChar, CharToWide, Wide };

struct CopyCase {
  const char* name;
  Road road;
  std::string src;  // bytes (UTF-16LE for the wide sources)
  int64_t total;    // 0: the source length
  int32_t terminate, allowTrunc;
  uint64_t dstLen;
  SQLRETURN rc;
  int32_t err;
  SQLLEN outLen;
  std::string written;  // bytes at the start of the buffer
  uint64_t used;
};

// Every source is delivered whole (n = avail = its length in source units).
void runCopy(const CopyCase& c, bool nullDst = false) {
  unsigned char buf[32];
  std::memset(buf, 0xEE, sizeof buf);
  SQLLEN outLen = 12345;
  int32_t err = 0;
  uint64_t used = 999;
  const bool wideSrc = c.road == Road::WideToChar;
  const uint64_t n = wideSrc ? c.src.size() / 2 : c.src.size();
  std::u16string wide(n, u'\0');
  if (wideSrc) std::memcpy(wide.data(), c.src.data(), c.src.size());
  void* dst = nullDst ? nullptr : buf;
  const int64_t avail = static_cast<int64_t>(n);
  SQLRETURN rc = 0;
  switch (c.road) {
    case Road::Char:
      rc = CopyOutChar(c.src.data(), n, avail, c.total, c.terminate, c.allowTrunc, dst, c.dstLen,
                       &outLen, &err, &used);
      break;
    case Road::WideToChar:
      rc = CopyOutWideToChar(wide.data(), n, avail, c.total, c.terminate, c.allowTrunc, dst,
                             c.dstLen, &outLen, &err, &used);
      break;
    case Road::CharToWide:
      rc = CopyOutCharToWide(c.src.data(), n, avail, c.total, c.terminate, c.allowTrunc, dst,
                             c.dstLen, &outLen, &err, &used);
      break;
    case Road::Wide:
      rc = CopyOutWide(c.src.data(), n, avail, c.total, c.terminate, c.allowTrunc, dst, c.dstLen,
                       &outLen, &err, &used);
      break;
  }
  EXPECT_EQ(rc, c.rc);
  EXPECT_EQ(err, c.err);
  EXPECT_EQ(outLen, c.outLen);
  EXPECT_EQ(used, c.used);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), c.written.size()), c.written);
  for (size_t i = c.written.size(); i < sizeof buf; ++i) {
    ASSERT_EQ(buf[i], 0xEE) << "byte " << i << " written past the delivered value";
  }
}

TEST(CTypes, CopyOut) {
  using namespace std::string_literals;
  constexpr SQLRETURN OK = SQL_SUCCESS, INFO = SQL_SUCCESS_WITH_INFO, ERR = SQL_ERROR;
  constexpr int32_t TR = ERR_TRUNCATED, RANGE = ERR_NUMERIC_RANGE;
  const CopyCase kCases[] = {
      // 8-bit to 8-bit.
      {"fits", Road::Char, "hello", 0, 1, 1, 6, OK, 0, 5, "hello\0"s, 5},
      {"OneUnitShort", Road::Char, "hello", 0, 1, 1, 5, INFO, TR, 5, "hell\0"s, 4},
      {"NoCutAllowed", Road::Char, "hello", 0, 1, 0, 5, ERR, RANGE, 5, "", 0},
      {"ZeroLength", Road::Char, "hello", 0, 1, 1, 0, INFO, TR, 5, "", 0},
      {"MoreFollows", Road::Char, "0123456789", 30, 1, 1, 11, INFO, TR, 30, "0123456789\0"s, 10},
      {"NoTotal", Road::Char, "0123456789", SQL_NO_TOTAL, 1, 1, 11, OK, 0, SQL_NO_TOTAL,
       "0123456789\0"s, 10},
      {"BinaryCut", Road::Char, "hello", 0, 0, 1, 3, INFO, TR, 5, "hel", 3},
      // UTF-16 to UTF-8: lengths are the UTF-8 lengths; cuts keep whole characters.
      {"WideFits", Road::WideToChar, bytes16(u"h\u00e9"), 0, 1, 1, 4, OK, 0, 3, "h\xC3\xA9\0"s, 2},
      {"WideCutBeforeTwoByteChar", Road::WideToChar, bytes16(u"h\u00e9"), 0, 1, 1, 3, INFO, TR, 3,
       "h\0"s, 1},
      {"PairStaysWhole", Road::WideToChar, bytes16(u"a\U0001F600"), 0, 1, 1, 5, INFO, TR, 5, "a\0"s,
       1},
      {"PairFits", Road::WideToChar, bytes16(u"a\U0001F600"), 0, 1, 1, 6, OK, 0, 5,
       "a\xF0\x9F\x98\x80\0"s, 3},
      {"WideIntoOneByte", Road::WideToChar, bytes16(u"ab"), 0, 1, 1, 1, INFO, TR, 2, "\0"s, 0},
      {"WideTotalBeyondPiece", Road::WideToChar, bytes16(u"ab"), 10, 1, 1, 8, INFO, TR,
       SQL_NO_TOTAL, "ab\0"s, 2},
      // UTF-8 to UTF-16: lengths are twice the UTF-16 units.
      {"NarrowFits", Road::CharToWide, "h\xC3\xA9", 0, 1, 1, 6, OK, 0, 4, bytes16(u"h\u00e9\0"s),
       3},
      {"NarrowCut", Road::CharToWide, "h\xC3\xA9", 0, 1, 1, 4, INFO, TR, 4, bytes16(u"h\0"s), 1},
      {"NarrowIntoOneByte", Road::CharToWide, "abc", 0, 1, 1, 1, INFO, TR, 6, "", 0},
      {"NarrowPairNotSplit", Road::CharToWide, "\xF0\x9F\x98\x80", 0, 1, 1, 4, INFO, TR, 4,
       bytes16(u"\0"s), 0},
      {"InvalidByteIsReplacement", Road::CharToWide,
       "a\xFF"
       "b",
       0, 1, 1, 8, OK, 0, 6, bytes16(u"a\uFFFDb\0"s), 3},
      {"LeadingNulCounts", Road::CharToWide, "\0a"s, 0, 1, 1, 8, OK, 0, 4, bytes16(u"\0a\0"s), 2},
      {"NarrowNoCutAllowed", Road::CharToWide, "abc", 0, 1, 0, 6, ERR, RANGE, 6, "", 0},
      // UTF-16 to UTF-16 by bytes.
      {"WideCopyCut", Road::Wide, bytes16(u"abc"), 0, 1, 1, 7, INFO, TR, 6, bytes16(u"ab\0"s), 4},
      {"WideCopyIntoOneByte", Road::Wide, bytes16(u"abc"), 0, 1, 1, 1, INFO, TR, 6, "", 0},
      {"WideCopyKeepsPair", Road::Wide, bytes16(u"ab\U0001F600"), 0, 1, 1, 8, INFO, TR, 8,
       bytes16(u"ab\0"s), 4},
      {"WideCopyOddBuffer", Road::Wide, bytes16(u"abc"), 0, 0, 1, 3, INFO, TR, 6, bytes16(u"a"), 2},
  };
  for (const CopyCase& c : kCases) {
    SCOPED_TRACE(c.name);
    runCopy(c);
  }
}

TEST(CTypes, CopyOutNullDestinationWritesNothing) {
  const CopyCase c{"null",        Road::Char, "hello", 0, 1, 1, 10, SQL_SUCCESS_WITH_INFO,
                   ERR_TRUNCATED, 5,          "",      0};
  runCopy(c, true);
}

TEST(CTypes, EarlierTruncationMakesSuccessInfo) {
  char buf[8];
  int32_t err = ERR_TRUNCATED;
  EXPECT_EQ(CopyOutChar("ab", 2, 2, 0, 1, 1, buf, sizeof buf, nullptr, &err),
            SQL_SUCCESS_WITH_INFO);
  err = 0;
  EXPECT_EQ(CopyOutChar("ab", 2, 2, 0, 1, 1, buf, sizeof buf, nullptr, &err), SQL_SUCCESS);
  EXPECT_EQ(err, 0);
}

TEST(CTypes, HexToBinary) {
  struct Case {
    const char* text;
    uint64_t n;
    std::string out;
  };
  const Case kCases[] = {
      {"1f2", 3, "\x1F"},
      {"A0ff", 4, "\xA0\xFF"},
      {"zz9G", 4, std::string("\x00\x90", 2)},  // invalid digits count as 0
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.text);
    char buf[8];
    std::memset(buf, 0x55, sizeof buf);
    HexToBinary(buf, c.text, c.n);
    EXPECT_EQ(std::string(buf, c.out.size()), c.out);
    EXPECT_EQ(static_cast<unsigned char>(buf[c.out.size()]), 0x55);
  }
}

}  // namespace
