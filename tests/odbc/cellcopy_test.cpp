// Tests of the plain cell copies against the general conversion road: for every pair
// a copy serves, what it writes (value bytes, terminator, length) is what
// ConvertCellValue writes for the same cell, and a cell the general road would cut,
// transcode or report as NULL is declined.

#include "odbc/cellcopy.h"

#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>

#include <cstring>
#include <string>
#include <vector>

#include "drv/dataset.h"
#include "odbc/cvt.h"

namespace {

// One column of one row holding the given cell bytes.
struct OneCell {
  std::vector<char> data;
  int16_t ind = 0;
  DatasetColumn col{};
  OneCell(int32_t type, uint32_t width, const void* bytes, size_t n, int16_t indicator = 0)
      : data(width + 1, '\0'), ind(indicator) {
    if (n > 0) std::memcpy(data.data(), bytes, n);
    col.type = type;
    col.width = width;
    col.ind = &ind;
    col.data = data.data();
  }
};

std::vector<char> Utf16(const std::u16string& s) {
  std::vector<char> b(2 * s.size());
  if (!s.empty()) std::memcpy(b.data(), s.data(), b.size());
  return b;
}

struct Case {
  const char* name;
  int32_t dsType;
  uint32_t width;
  std::vector<char> cell;
  int32_t cType;
  int64_t bufLen;
  bool taken;  // the copy serves it
};

TEST(CellCopy, WritesWhatTheGeneralRoadWritesOrDeclines) {
  const int32_t i = -123456;
  const int16_t sh = -7;
  const double d = 2.5e-300;
  const SQL_DATE_STRUCT date{2024, 2, 29};
  const auto bytes = [](const void* p, size_t n) {
    return std::vector<char>(static_cast<const char*>(p), static_cast<const char*>(p) + n);
  };
  const std::vector<Case> cases = {
      {"integer", DS_INTEGER, 4, bytes(&i, 4), SQL_C_SLONG, 0, true},
      {"integer as LONG", DS_INTEGER, 4, bytes(&i, 4), SQL_C_LONG, 0, true},
      {"smallint", DS_SMALLINT, 2, bytes(&sh, 2), SQL_C_SSHORT, 0, true},
      {"double", DS_DOUBLE, 8, bytes(&d, 8), SQL_C_DOUBLE, 0, true},
      {"date", DS_DATE, 6, bytes(&date, 6), SQL_C_TYPE_DATE, 0, true},
      {"date, ODBC 2 type", DS_DATE, 6, bytes(&date, 6), SQL_C_DATE, 0, true},
      {"string that fits", DS_STRING, 21, bytes("name 42", 7), SQL_C_CHAR, 24, true},
      {"string filling its slot", DS_STRING, 4, bytes("abcd", 4), SQL_C_CHAR, 5, true},
      {"empty string", DS_STRING, 21, {}, SQL_C_CHAR, 1, true},
      {"UTF-8 string", DS_STRING, 21, bytes("\xc3\xa9t\xc3\xa9", 6), SQL_C_CHAR, 8, true},
      {"fixed char", DS_CHAR, 5, bytes("ab   ", 5), SQL_C_CHAR, 6, true},
      {"string one byte short", DS_STRING, 21, bytes("name 42", 7), SQL_C_CHAR, 7, false},
      {"string, no buffer length", DS_STRING, 21, bytes("x", 1), SQL_C_CHAR, 0, false},
      {"string, negative length", DS_STRING, 21, bytes("x", 1), SQL_C_CHAR, -1, false},
      {"ASCII wide as char", DS_WSTRING, 42, Utf16(u"name 42"), SQL_C_CHAR, 8, true},
      {"non-ASCII wide as char", DS_WSTRING, 42, Utf16(u"\u00e9t\u00e9"), SQL_C_CHAR, 24, true},
      {"non-ASCII wide as char, one byte short", DS_WSTRING, 42, Utf16(u"\u00e9t\u00e9"),
       SQL_C_CHAR, 5, false},
      {"wide one byte short", DS_WSTRING, 42, Utf16(u"name"), SQL_C_CHAR, 4, false},
      {"wide as wide", DS_WSTRING, 42, Utf16(u"\u00e9t\u00e9 \U0001F600"), SQL_C_WCHAR, 14,
       true},
      {"wide as wide, no room for the terminator", DS_WSTRING, 42, Utf16(u"abc"), SQL_C_WCHAR, 7,
       false},
      {"decimal text as double", DS_STRING, 13, bytes("-12345.67", 9), SQL_C_DOUBLE, 0, true},
      {"money text as double", DS_STRING, 13, bytes("$1,234.50", 9), SQL_C_DOUBLE, 0, true},
      {"text that is no number as double", DS_STRING, 13, bytes("12x", 3), SQL_C_DOUBLE, 0,
       false},
      {"integer as text is converted", DS_INTEGER, 4, bytes(&i, 4), SQL_C_CHAR, 24, false},
      {"double as float is converted", DS_DOUBLE, 8, bytes(&d, 8), SQL_C_FLOAT, 0, false},
      {"integer as unsigned is checked", DS_INTEGER, 4, bytes(&i, 4), SQL_C_ULONG, 0, false},
      {"timestamp keeps its scale", DS_TIMESTAMP, 16, std::vector<char>(16), SQL_C_TYPE_TIMESTAMP,
       0, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    OneCell cell(c.dsType, c.width, c.cell.data(), c.cell.size());
    const CellCopy copy = ChooseCellCopy(c.dsType, c.cType);
    char fast[64];
    char general[64];
    std::memset(fast, 0x5a, sizeof fast);
    std::memset(general, 0x5a, sizeof general);
    int64_t fastLen = -99;
    int64_t generalLen = -99;
    const bool taken = copy != nullptr && copy(cell.col, 0, fast, c.bufLen, &fastLen);
    ASSERT_EQ(taken, c.taken);
    if (!taken) {
      EXPECT_EQ(fastLen, -99);
      continue;
    }
    const void* value = nullptr;
    uint64_t length = 0;
    CellValue(&cell.col, 0, &value, &length);
    int32_t err = 0;
    ASSERT_EQ(ConvertCellValue(c.dsType, value, length, static_cast<SQLLEN>(length), c.cType,
                               general, c.bufLen, &generalLen, &err, 0, 0, 0),
              SQL_SUCCESS);
    EXPECT_EQ(fastLen, generalLen);
    EXPECT_EQ(std::string(fast, sizeof fast), std::string(general, sizeof general));
  }
}

// Wide text narrowed for a character buffer, at every length around the runs the copy
// reads at once and every buffer length around the value's: what the copy takes it
// writes as the general road does, and it declines exactly what the general road cuts.
TEST(CellCopy, WideTextNarrowsAsTheGeneralRoadAtEveryLength) {
  for (const std::u16string& tail : {u"", u"\u00e9", u"\U0001F600", u"\xD800"}) {
    for (size_t len = 0; len <= 19; ++len) {
      std::u16string text;
      for (size_t k = 0; k < len; ++k) text += static_cast<char16_t>(u'a' + k);
      text += tail;
      const std::vector<char> bytes = Utf16(text);
      for (const uint32_t width : {static_cast<uint32_t>(bytes.size()),
                                   static_cast<uint32_t>(bytes.size()) + 2, 84u}) {
        OneCell cell(DS_WSTRING, width, bytes.data(), bytes.size());
        const void* value = nullptr;
        uint64_t length = 0;
        CellValue(&cell.col, 0, &value, &length);
        for (int64_t bufLen = 0; bufLen <= static_cast<int64_t>(len) + 6; ++bufLen) {
          SCOPED_TRACE(testing::Message() << "tail " << tail.size() << " len " << len << " width "
                                          << width << " buffer " << bufLen);
          char fast[40];
          char general[40];
          std::memset(fast, 0x5a, sizeof fast);
          std::memset(general, 0x5a, sizeof general);
          int64_t fastLen = -99;
          int64_t generalLen = -99;
          int32_t err = 0;
          const SQLRETURN rc =
              ConvertCellValue(DS_WSTRING, value, length, static_cast<SQLLEN>(length), SQL_C_CHAR,
                               general, bufLen, &generalLen, &err, 0, 0, 0);
          const bool taken = ChooseCellCopy(DS_WSTRING, SQL_C_CHAR)(cell.col, 0, fast, bufLen,
                                                                      &fastLen);
          EXPECT_EQ(taken, rc == SQL_SUCCESS);
          if (!taken) continue;
          EXPECT_EQ(fastLen, generalLen);
          EXPECT_EQ(std::string(fast, sizeof fast), std::string(general, sizeof general));
        }
      }
    }
  }
}

TEST(CellCopy, DeclinesNullAndDeferredCells) {
  const int32_t v = 5;
  for (int16_t ind : {DS_IND_NULL, DS_IND_NOTFETCHED}) {
    OneCell cell(DS_INTEGER, 4, &v, 4, ind);
    int32_t out = -1;
    int64_t len = -99;
    EXPECT_FALSE(ChooseCellCopy(DS_INTEGER, SQL_C_SLONG)(cell.col, 0, &out, 0, &len));
    EXPECT_EQ(out, -1);
    EXPECT_EQ(len, -99);
  }
}

}  // namespace
