// cvt_parse_test.cpp -- application values on their way to the back end
// (date-time literals, numeric structs, GUIDs) and the reading of Dataset cells.

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "cvt_test.h"
#include "drv/dataset.h"
#include "drv/errtab.h"
#include "odbc/cvt.h"

namespace {

using namespace cvt_test;

struct LiteralCase {
  std::string text;
  int32_t sqlType;
  uint64_t len;     // the cell
  int32_t dsType;   // the column afterwards (it starts as DS_CHAR of width len)
  std::string out;  // the cell afterwards
};

TEST(CvtParse, ParseDateTimeLiteral) {
  const SQL_DATE_STRUCT day{2024, 2, 9};
  const LiteralCase kCases[] = {
      {"{d '2024-02-09'}", SQL_DATE, 8, DS_DATE, le(day)},
      {"{d '2024/02/09'}", SQL_TYPE_DATE, 8, DS_DATE, le(day)},
      {"{D '2024-02-09'}", 0, 8, DS_DATE, le(day)},
      {"{ts '2024-02-09 10:11:12.123456789'}", 0, 16, DS_TIMESTAMP,
       le(SQL_TIMESTAMP_STRUCT{2024, 2, 9, 10, 11, 12, 123456789})},
      {"{ts '2024-02-09 10:11:12.5'}", SQL_TYPE_TIMESTAMP, 16, DS_TIMESTAMP,
       le(SQL_TIMESTAMP_STRUCT{2024, 2, 9, 10, 11, 12, 500000000})},
      {"{ts '2024-02-09 10:11:12'}", SQL_TIMESTAMP, 16, DS_TIMESTAMP,
       le(SQL_TIMESTAMP_STRUCT{2024, 2, 9, 10, 11, 12, 0})},
      {"{t '10:11:12'}", SQL_TIMESTAMP, 16, DS_TIMESTAMP,
       le(SQL_TIMESTAMP_STRUCT{0, 0, 0, 10, 11, 12, 0})},
      {"{t '10:11:12'}", SQL_TYPE_TIME, 6, DS_TIME, le(SQL_TIME_STRUCT{10, 11, 12})},
      {"{ts '2024-02-09 10:11:12'}", SQL_DATE, 6, DS_DATE, le(day)},
      {"{d '2024-13-09'}", SQL_DATE, 6, DS_DATE, le(SQL_DATE_STRUCT{2024, 13, 9})},
      {"{d '2024'}", SQL_DATE, 6, DS_DATE, le(SQL_DATE_STRUCT{2024, 0, 0})},
      // Copied as they stand (the cell's tail zeroed).
      {"{d '2024-02-09'}", SQL_TIMESTAMP, 8, DS_CHAR, "{d '2024"},
      {"{fn now()}", 0, 12, DS_CHAR, "{fn now()}\0\0"s},
      {"{d '2024-02-09'}", SQL_VARCHAR, 16, DS_CHAR, "{d '2024-02-09'}"},
      {"{x}", SQL_DATE, 8, DS_CHAR, "{x}\0\0\0\0\0"s},
      {"{", SQL_DATE, 4, DS_CHAR, "{\0\0\0"s},
  };
  for (const LiteralCase& c : kCases) {
    SCOPED_TRACE(testing::Message() << c.text << " as SQL type " << c.sqlType);
    // The text lives in a buffer of exactly its length, so that a read past it
    // is caught.
    auto text = std::make_unique<char[]>(c.text.size());
    std::memcpy(text.get(), c.text.data(), c.text.size());
    std::vector<char> cell(c.len, '\x55');
    DatasetColumn col{DS_CHAR, static_cast<uint32_t>(c.len), nullptr, nullptr};
    ParseDateTimeLiteral(cell.data(), text.get(), c.text.size(), c.len, &col, c.sqlType);
    EXPECT_EQ(col.type, c.dsType);
    EXPECT_EQ(col.width, c.dsType == DS_CHAR ? c.len : c.out.size());
    EXPECT_EQ(std::string(cell.data(), c.out.size()), c.out);
  }
}

TEST(CvtParse, WParseDateTimeLiteral) {
  const std::u16string stamp = u"{ts '2024-02-09 10:11:12.25'}";
  std::vector<char> cell(16);
  DatasetColumn col{DS_WCHAR, 16, nullptr, nullptr};
  WParseDateTimeLiteral(cell.data(), stamp.data(), stamp.size(), cell.size(), &col, 0);
  EXPECT_EQ(col.type, DS_TIMESTAMP);
  EXPECT_EQ(std::string(cell.data(), 16),
            le(SQL_TIMESTAMP_STRUCT{2024, 2, 9, 10, 11, 12, 250000000}));

  // An unrecognised literal keeps its UTF-16 bytes.
  const std::u16string other = u"{fn \u00e9}";
  std::vector<char> raw(20, '\x55');
  DatasetColumn wide{DS_WCHAR, 20, nullptr, nullptr};
  WParseDateTimeLiteral(raw.data(), other.data(), other.size(), raw.size(), &wide, SQL_DATE);
  EXPECT_EQ(wide.type, DS_WCHAR);
  EXPECT_EQ(std::memcmp(raw.data(), other.data(), other.size() * 2), 0);
  EXPECT_EQ(raw[other.size() * 2], 0);
}

// Many threads parse at once; each must see only its own literal.
TEST(CvtParse, LiteralsParseOnManyThreads) {
  constexpr int kThreads = 4;
  std::vector<std::thread> threads;
  std::vector<int> failures(kThreads, 0);
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t, &failures] {
      const std::string text = "{ts '20" + std::to_string(10 + t) + "-0" + std::to_string(1 + t) +
                               "-1" + std::to_string(t) + " 0" + std::to_string(t) + ":30:45.5'}";
      const SQL_TIMESTAMP_STRUCT want{static_cast<SQLSMALLINT>(2010 + t),
                                      static_cast<SQLUSMALLINT>(1 + t),
                                      static_cast<SQLUSMALLINT>(10 + t),
                                      static_cast<SQLUSMALLINT>(t),
                                      30,
                                      45,
                                      500000000};
      for (int i = 0; i < 2000; ++i) {
        SQL_TIMESTAMP_STRUCT got{};
        ParseDateTimeLiteral(&got, text.data(), text.size(), sizeof got, nullptr, 0);
        if (std::memcmp(&got, &want, sizeof got) != 0) ++failures[t];
      }
    });
  }
  for (std::thread& th : threads) th.join();
  for (int t = 0; t < kThreads; ++t) EXPECT_EQ(failures[t], 0) << "thread " << t;
}

SQL_NUMERIC_STRUCT makeNumeric(int scale, int sign, std::initializer_list<uint8_t> mag) {
  SQL_NUMERIC_STRUCT n{};
  n.precision = 38;
  n.scale = static_cast<SQLSCHAR>(scale);
  n.sign = static_cast<SQLCHAR>(sign);
  int i = 0;
  for (uint8_t b : mag) n.val[i++] = b;
  return n;
}

TEST(CvtParse, NumericStructs) {
  struct Case {
    const char* name;
    SQL_NUMERIC_STRUCT value;
    double asDouble;
    const char* asText;
  };
  // 12345 = 0x3039; 2^64 = 1 in byte 8; 10^38 - 1 = 0x4B3B4CA85A86C47A098A223FFFFFFFFF.
  const Case kCases[] = {
      {"negative", makeNumeric(2, 0, {0x39, 0x30}), -123.45, "-123.45"},
      {"negative scale", makeNumeric(-2, 1, {0x39, 0x30}), 1234500.0, "1234500"},
      {"small", makeNumeric(7, 1, {0x39, 0x30}), 0.0012345, "0.0012345"},
      {"zero", makeNumeric(4, 0, {}), 0.0, "0"},
      {"beyond 64 bits", makeNumeric(0, 1, {0, 0, 0, 0, 0, 0, 0, 0, 1}), 18446744073709551616.0,
       "18446744073709551616"},
      {"38 nines",
       makeNumeric(0, 1,
                   {0xFF, 0xFF, 0xFF, 0xFF, 0x3F, 0x22, 0x8A, 0x09, 0x7A, 0xC4, 0x86, 0x5A, 0xA8,
                    0x4C, 0x3B, 0x4B}),
       1e38, "99999999999999999999999999999999999999"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    double d = -1;
    NumericToDouble(&d, &c.value, sizeof d, nullptr);
    EXPECT_EQ(d, c.asDouble);
    char text[NUMERIC_TEXT_SIZE];
    EXPECT_EQ(NumericToText(&c.value, text, sizeof text), static_cast<int64_t>(strlen(c.asText)));
    EXPECT_STREQ(text, c.asText);
  }
  const SQL_NUMERIC_STRUCT n = makeNumeric(2, 0, {0x39, 0x30});
  char small[7];
  EXPECT_EQ(NumericToText(&n, small, sizeof small), -1);
  // A cell shorter than a double gets only its own bytes.
  char cell[4] = {1, 2, 3, 4};
  NumericToDouble(cell, &n, 3, nullptr);
  EXPECT_EQ(cell[3], 4);
}

TEST(CvtParse, GuidToText) {
  struct Case {
    SQLGUID g;
    const char* text;
  };
  const Case kCases[] = {
      {{1, 0, 0, {}}, "00000001-0000-0000-0000-000000000000"},
      {{0x01234567, 0x89AB, 0xCDEF, {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF}},
       "01234567-89AB-CDEF-0123-456789ABCDEF"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.text);
    char buf[40];
    std::memset(buf, 0x55, sizeof buf);
    GuidToText(buf, &c.g);
    EXPECT_EQ(std::string(buf, 36), c.text);
    EXPECT_EQ(buf[36], 0x55);
    // Text and GUID agree both ways.
    SQLGUID back{};
    int32_t err = 0;
    EXPECT_EQ(CharToGUID(buf, 36, &back, &err), 0);
    EXPECT_EQ(std::memcmp(&back, &c.g, sizeof back), 0);
  }
}

struct CellCase {
  const char* name;
  int32_t type;
  std::string slot;  // one row
  std::string value;
};

TEST(CvtParse, CellValue) {
  char longText[] = "long text";
  const DatasetLong longChar{9, longText};
  const DatasetLong longWide{2, longText};  // two UTF-16 units: four bytes
  const CellCase kCases[] = {
      {"char ends at its terminator", DS_CHAR, "ab\0\0\0"s, "ab"},
      {"char filling its slot", DS_CHAR, "abcde", "abcde"},
      {"string", DS_STRING, "xy\0z"s, "xy"},
      {"varchar1", DS_VARCHAR1,
       "\x03"
       "abcd"s,
       "abc"},
      {"varchar1 prefix past the slot", DS_VARCHAR1,
       "\xC8"
       "abcd"s,
       "abcd"},
      {"varchar4", DS_VARCHAR4, le<uint32_t>(2) + "abc", "ab"},
      {"wchar ends at its terminator", DS_WCHAR, "a\0b\0\0\0\0\0"s, "a\0b\0"s},
      {"wvarchar4 counts units", DS_WVARCHAR4, le<uint32_t>(1) + "a\0b\0"s, "a\0"s},
      {"binary keeps zeros", DS_BINARY, "\0\1\0"s, "\0\1\0"s},
      {"integer slot", DS_INTEGER, le<int32_t>(7), le<int32_t>(7)},
      {"long char", DS_LONGCHAR, le(longChar), "long text"},
      {"long wide", DS_LONGWCHAR, le(longWide), "long"},
  };
  for (const CellCase& c : kCases) {
    SCOPED_TRACE(c.name);
    // Row 1 of two, the row before filled with junk.
    std::string rows = std::string(c.slot.size(), '\x7f') + c.slot;
    DatasetColumn col{c.type, static_cast<uint32_t>(c.slot.size()), nullptr, rows.data()};
    const void* value = nullptr;
    uint64_t length = 0;
    CellValue(&col, 1, &value, &length);
    ASSERT_NE(value, nullptr);
    EXPECT_EQ(std::string(static_cast<const char*>(value), length), c.value);
  }
}

TEST(CvtParse, ConvertCellValue) {
  int32_t err = 0;
  int32_t v = 0;
  SQLLEN outLen = 0;
  // A DECIMAL delivered as NUL-padded text reads as an integer.
  std::string slot = "12.00\0\0\0"s;
  DatasetColumn col{DS_CHAR, static_cast<uint32_t>(slot.size()), nullptr, slot.data()};
  const void* value = nullptr;
  uint64_t length = 0;
  CellValue(&col, 0, &value, &length);
  EXPECT_EQ(ConvertCellValue(DS_CHAR, value, length, static_cast<SQLLEN>(length), SQL_C_LONG, &v, 0,
                             &outLen, &err, 0, 0, 0),
            SQL_SUCCESS);
  EXPECT_EQ(v, 12);
  char text[16];
  const int32_t i = -5;
  EXPECT_EQ(
      ConvertCellValue(DS_INTEGER, &i, 4, 4, SQL_C_CHAR, text, sizeof text, &outLen, &err, 0, 0, 0),
      SQL_SUCCESS);
  EXPECT_STREQ(text, "-5");
  const SQL_TIMESTAMP_STRUCT ts{2024, 2, 9, 10, 11, 12, 500000000};
  EXPECT_EQ(ConvertCellValue(DS_TIMESTAMP, &ts, sizeof ts, 16, SQL_C_CHAR, text, sizeof text,
                             &outLen, &err, 0, 0, 1),
            SQL_ERROR);  // 21 characters do not fit 16 bytes
  EXPECT_EQ(err, ERR_NUMERIC_RANGE);
  EXPECT_EQ(
      ConvertCellValue(DS_NONE, &i, 4, 4, SQL_C_CHAR, text, sizeof text, &outLen, &err, 0, 0, 0),
      SQL_ERROR);
  EXPECT_EQ(err, ERR_RESTRICTED_TYPE);
  EXPECT_EQ(
      ConvertCellValue(DS_DOUBLE, &i, 4, 4, SQL_C_CHAR, text, sizeof text, &outLen, &err, 0, 0, 0),
      SQL_ERROR);  // a slot too short for its type
  EXPECT_EQ(err, ERR_GENERAL);
}

}  // namespace
