// Tests of the delivery of one cell: every DatasetType to the C types, values
// in pieces, NULLs, the choice of the C type, the bookmark column and long
// values read on demand, through SQLGetData over the recording back end.

#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <cstring>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "drv/dataset.h"
#include "drv/errtab.h"
#include "fetch_fake.h"
#include "odbc/ctypes.h"
#include "odbc/stmt.h"

namespace {

class GetColumnTest : public FetchTest {
 protected:
  // SQLGetData into buf of bufLen bytes; the answer, the bytes written up to
  // the reported length (cut to the buffer) and the length.
  struct Got {
    SQLRETURN rc;
    std::string bytes;
    SQLLEN len;
  };
  Got Get(SQLUSMALLINT col, SQLSMALLINT cType, SQLLEN bufLen) {
    std::vector<char> buf(bufLen > 0 ? static_cast<size_t>(bufLen) : 1, '\x7f');
    SQLLEN len = 12345;
    const SQLRETURN rc = SQLGetData(stmt_, col, cType, buf.data(), bufLen, &len);
    size_t n = len >= 0 ? static_cast<size_t>(len) : 0;
    if (cType == SQL_C_CHAR) n = strnlen(buf.data(), buf.size());
    if (cType == SQL_C_WCHAR) {
      n = 0;
      while (n + 1 < buf.size() && (buf[n] != 0 || buf[n + 1] != 0)) n += 2;
    }
    return {rc, std::string(buf.data(), std::min(n, buf.size())), len};
  }
};

std::string u16bytes(std::u16string_view s) {
  return std::string(reinterpret_cast<const char*>(s.data()), s.size() * 2);
}

TEST_F(GetColumnTest, EveryDatasetTypeReachesTheCTypes) {
  Result({Col(SQL_CHAR, DS_CHAR, 10),
          Col(SQL_VARCHAR, DS_STRING, 20),
          Col(SQL_VARCHAR, DS_VARCHAR1, 10),
          Col(SQL_VARCHAR, DS_VARCHAR2, 10),
          Col(SQL_VARCHAR, DS_VARCHAR4, 10),
          Col(SQL_LONGVARCHAR, DS_LONGCHAR),
          Col(SQL_BINARY, DS_BINARY, 3),
          Col(SQL_VARBINARY, DS_VARBINARY2, 4),
          Col(SQL_LONGVARBINARY, DS_LONGBINARY),
          Col(SQL_WCHAR, DS_WCHAR, 4),
          Col(SQL_WVARCHAR, DS_WSTRING, 8),
          Col(SQL_WLONGVARCHAR, DS_LONGWCHAR),
          Col(SQL_WVARCHAR, DS_WVARCHAR4, 8),
          Col(SQL_BIT, DS_BIT),
          Col(SQL_TINYINT, DS_TINYINT),
          Col(SQL_TINYINT, DS_UTINYINT),
          Col(SQL_SMALLINT, DS_SMALLINT),
          Col(SQL_SMALLINT, DS_USMALLINT),
          Col(SQL_INTEGER, DS_INTEGER),
          Col(SQL_INTEGER, DS_UINTEGER),
          Col(SQL_REAL, DS_REAL),
          Col(SQL_DOUBLE, DS_DOUBLE),
          Col(SQL_TYPE_DATE, DS_DATE),
          Col(SQL_TYPE_TIME, DS_TIME),
          Col(SQL_TYPE_TIMESTAMP, DS_TIMESTAMP, 0, 3),
          Col(SQL_CHAR, DS_NONE, 4)},
         1);
  Text(0, 1, "ab");
  Text(0, 2, "hello");
  Text(0, 3, "v1");
  Text(0, 4, "v2");
  Text(0, 5, "v4");
  Text(0, 6, "long text");
  Text(0, 7, "\x01\x02\xAB");
  Text(0, 8, std::string("\xFF\x00", 2));
  Text(0, 9, "\xDE\xAD");
  Wide(0, 10, u"wc");
  Wide(0, 11, u"wide");
  Wide(0, 12, u"lw");
  Wide(0, 13, u"w4");
  Value<uint8_t>(0, 14, 1);
  Value<int8_t>(0, 15, -5);
  Value<uint8_t>(0, 16, 250);
  Value<int16_t>(0, 17, -300);
  Value<uint16_t>(0, 18, 60000);
  Value<int32_t>(0, 19, -70000);
  Value<uint32_t>(0, 20, 4000000000u);
  Value<float>(0, 21, 1.5f);
  Value<double>(0, 22, 2.25);
  Value(0, 23, SQL_DATE_STRUCT{2024, 2, 29});
  Value(0, 24, SQL_TIME_STRUCT{13, 14, 15});
  Value(0, 25, SQL_TIMESTAMP_STRUCT{2024, 2, 29, 13, 14, 15, 500000000});
  Text(0, 26, "x");
  ASSERT_EQ(SQLFetch(stmt_), SQL_SUCCESS);

  struct AsText {
    SQLUSMALLINT col;
    std::string_view text;
  };
  constexpr AsText kText[] = {
      {1, "ab"},
      {2, "hello"},
      {3, "v1"},
      {4, "v2"},
      {5, "v4"},
      {6, "long text"},
      {7, "0102AB"},
      {8, "FF00"},
      {9, "DEAD"},
      {10, "wc"},
      {11, "wide"},
      {12, "lw"},
      {13, "w4"},
      {14, "1"},
      {15, "-5"},
      {16, "250"},
      {17, "-300"},
      {18, "60000"},
      {19, "-70000"},
      {20, "4000000000"},
      {21, "1.5"},
      {22, "2.25"},
      {23, "2024-02-29"},
      {24, "13:14:15"},
      {25, "2024-02-29 13:14:15.500"},
  };
  for (const AsText& c : kText) {
    SCOPED_TRACE(c.col);
    const Got g = Get(c.col, SQL_C_CHAR, 64);
    EXPECT_EQ(g.rc, SQL_SUCCESS);
    EXPECT_EQ(g.bytes, c.text);
    EXPECT_EQ(g.len, static_cast<SQLLEN>(c.text.size()));
  }

  struct AsNative {
    SQLUSMALLINT col;
    SQLSMALLINT cType;
    std::string bytes;
  };
  auto raw = [](auto v) { return std::string(reinterpret_cast<const char*>(&v), sizeof v); };
  const AsNative kNative[] = {
      {15, SQL_C_SLONG, raw(int32_t{-5})},
      {16, SQL_C_SSHORT, raw(int16_t{250})},
      {18, SQL_C_ULONG, raw(uint32_t{60000})},
      {20, SQL_C_UBIGINT, raw(uint64_t{4000000000u})},
      {21, SQL_C_DOUBLE, raw(1.5)},
      {2, SQL_C_BINARY, "hello"},
      {23, SQL_C_TYPE_DATE, raw(SQL_DATE_STRUCT{2024, 2, 29})},
      {11, SQL_C_WCHAR, u16bytes(u"wide")},
      {6, SQL_C_WCHAR, u16bytes(u"long text")},
  };
  for (const AsNative& c : kNative) {
    SCOPED_TRACE(c.col);
    const Got g = Get(c.col, c.cType, 64);
    EXPECT_EQ(g.rc, SQL_SUCCESS);
    EXPECT_EQ(g.bytes.substr(0, c.bytes.size()), c.bytes);
  }

  EXPECT_EQ(Get(26, SQL_C_CHAR, 64).rc, SQL_ERROR);
  EXPECT_EQ(State(), "07006");
}

TEST_F(GetColumnTest, PiecesContinueWhereTheLastOneStopped) {
  struct Piece {
    SQLRETURN rc;
    std::string bytes;
    SQLLEN len;
  };
  struct Case {
    std::string_view name;
    FakeColumn col;
    std::string value;
    SQLSMALLINT cType;
    SQLLEN bufLen;
    std::vector<Piece> pieces;
  };
  const SQLRETURN kCut = SQL_SUCCESS_WITH_INFO;
  static constexpr double kDouble = 1.2345678;
  const Case kCases[] = {
      {"text into a short buffer",
       Col(SQL_VARCHAR, DS_STRING, 40),
       "abcdefghijklmnopqrstuvwxy",
       SQL_C_CHAR,
       10,
       {{kCut, "abcdefghi", 25}, {kCut, "jklmnopqr", 16}, {SQL_SUCCESS, "stuvwxy", 7}}},
      {"UTF-8 into UTF-16 pieces",
       Col(SQL_VARCHAR, DS_STRING, 40),
       "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80"
       "b",
       SQL_C_WCHAR,
       6,
       {{kCut, u16bytes(u"a\u00e9"), 12},
        {kCut, u16bytes(u"\u20ac"), 8},
        {kCut, u16bytes(u"\U0001F600"), 6},
        {SQL_SUCCESS, u16bytes(u"b"), 2}}},
      {"UTF-16 into UTF-8 pieces",
       Col(SQL_WVARCHAR, DS_WSTRING, 20),
       u16bytes(u"a\u00f1\U0001F600z"),
       SQL_C_CHAR,
       5,
       {{kCut, "a\xC3\xB1", 8}, {kCut, "\xF0\x9F\x98\x80", 5}, {SQL_SUCCESS, "z", 1}}},
      {"bytes as hex digits",
       Col(SQL_LONGVARBINARY, DS_LONGBINARY),
       std::string("\x00\x01\x02\x03\x04\x05", 6),
       SQL_C_CHAR,
       5,
       {{kCut, "0001", 12}, {kCut, "0203", 8}, {SQL_SUCCESS, "0405", 4}}},
      {"bytes in binary pieces",
       Col(SQL_BINARY, DS_BINARY, 5),
       "12345",
       SQL_C_BINARY,
       2,
       {{kCut, "12", 5}, {kCut, "34", 3}, {SQL_SUCCESS, "5", 1}}},
      // A number is not text in the cell: its digits cut are all it gives (the next
      // call used to read the double's own bytes as the rest of the text).
      {"a number cut as text",
       Col(SQL_DOUBLE, DS_DOUBLE),
       std::string(reinterpret_cast<const char*>(&kDouble), sizeof kDouble),
       SQL_C_CHAR,
       5,
       {{kCut, "1.23", 9}}},
      {"a number cut as UTF-16",
       Col(SQL_DOUBLE, DS_DOUBLE),
       std::string(reinterpret_cast<const char*>(&kDouble), sizeof kDouble),
       SQL_C_WCHAR,
       8,
       {{kCut, u16bytes(u"1.2"), 18}}},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    Result({c.col}, 1);
    Cell(0, 1, c.value.data(), c.value.size());
    ASSERT_EQ(SQLFetch(stmt_), SQL_SUCCESS);
    for (const Piece& p : c.pieces) {
      const Got g = Get(1, c.cType, c.bufLen);
      EXPECT_EQ(g.rc, p.rc);
      EXPECT_EQ(g.bytes.substr(0, p.bytes.size()), p.bytes);
      EXPECT_EQ(g.len, p.len);
    }
    EXPECT_EQ(Get(1, c.cType, c.bufLen).rc, SQL_NO_DATA);
    TearDown();
    SetUp();
  }
}

TEST_F(GetColumnTest, AValueDeliveredAnswersNoDataAfterwards) {
  Result({Col(SQL_VARCHAR, DS_STRING, 40), Col(SQL_INTEGER, DS_INTEGER)}, 1);
  Text(0, 1, "abcdefghijklmnopqrstuvwxy");
  Value<int32_t>(0, 2, 7);
  ASSERT_EQ(SQLFetch(stmt_), SQL_SUCCESS);
  EXPECT_EQ(Get(2, SQL_C_SLONG, 4).rc, SQL_SUCCESS);
  EXPECT_EQ(Get(2, SQL_C_SLONG, 4).rc, SQL_NO_DATA);
  EXPECT_EQ(Get(1, SQL_C_CHAR, 10).rc, SQL_SUCCESS_WITH_INFO);
  // Another C type does not continue the value; the default continues it.
  EXPECT_EQ(Get(1, SQL_C_BINARY, 10).rc, SQL_NO_DATA);
  const Got g = Get(1, SQL_C_DEFAULT, 10);
  EXPECT_EQ(g.rc, SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(g.len, 16);
}

// A refused call leaves the value as it was: unread before the first piece, at the
// same piece halfway through, for values in the row and values read on demand.
TEST_F(GetColumnTest, ARefusedCallLeavesTheValueAsItWas) {
  struct Refusal {
    SQLSMALLINT cType;
    bool noBuffer;
    SQLLEN bufLen;
  };
  const Refusal kFirst[] = {
      {SQL_C_SLONG, false, 4},  // 22018: the text is no number
      {999, false, 8},          // HY003
      {SQL_C_CHAR, true, 8},    // HY009
      {SQL_C_CHAR, false, -5},  // HY090
  };
  auto refuse = [&](const Refusal& r) {
    char buf[16];
    SQLLEN len = 0;
    EXPECT_EQ(SQLGetData(stmt_, 1, r.cType, r.noBuffer ? nullptr : buf, r.bufLen, &len),
              SQL_ERROR)
        << r.cType << " " << r.bufLen;
  };
  for (const bool onDemand : {false, true}) {
    SCOPED_TRACE(onDemand ? "read on demand" : "in the row");
    Result({Col(SQL_VARCHAR, DS_STRING, 40)}, 1);
    if (onDemand) {
      Deferred(0, 1);
      FFake().longValue = "abcdefghijklmnop";
    } else {
      Text(0, 1, "abcdefghijklmnop");
    }
    ASSERT_EQ(SQLFetch(stmt_), SQL_SUCCESS);
    for (const Refusal& r : kFirst) refuse(r);
    // Read on demand, the refused conversion keeps the piece the back end brought.
    std::string whole;
    for (int k = 0; k < 10; ++k) {
      const Got g = Get(1, SQL_C_CHAR, 6);
      whole += g.bytes;
      if (g.rc != SQL_SUCCESS_WITH_INFO) break;
      refuse({SQL_C_CHAR, false, -1});
      refuse({SQL_C_CHAR, true, 6});
    }
    EXPECT_EQ(whole, "abcdefghijklmnop");
    TearDown();
    SetUp();
  }
}

TEST_F(GetColumnTest, NullValues) {
  Result({Col(SQL_DOUBLE, DS_DOUBLE), Col(SQL_VARCHAR, DS_STRING, 10)}, 1);
  ASSERT_EQ(SQLFetch(stmt_), SQL_SUCCESS);
  double d = 9.5;
  SQLLEN ind = 0;
  EXPECT_EQ(SQLGetData(stmt_, 1, SQL_C_DOUBLE, &d, 0, &ind), SQL_SUCCESS);
  EXPECT_EQ(ind, SQL_NULL_DATA);
  EXPECT_EQ(d, 0.0);
  char text[6] = "xxxxx";
  EXPECT_EQ(SQLGetData(stmt_, 2, SQL_C_CHAR, text, sizeof text, &ind), SQL_SUCCESS);
  EXPECT_EQ(std::string(text, sizeof text), std::string(6, '\0'));
  // Without an indicator a NULL cannot be told, and the buffer is left alone.
  ASSERT_EQ(SQLFetch(stmt_), SQL_NO_DATA);
  TearDown();
  SetUp();
  Result({Col(SQL_DOUBLE, DS_DOUBLE)}, 1);
  ASSERT_EQ(SQLFetch(stmt_), SQL_SUCCESS);
  d = 9.5;
  EXPECT_EQ(SQLGetData(stmt_, 1, SQL_C_DOUBLE, &d, 0, nullptr), SQL_ERROR);
  EXPECT_EQ(State(), "22002");
  EXPECT_EQ(d, 9.5);
}

TEST_F(GetColumnTest, TheDefaultCType) {
  Result(
      {Col(SQL_INTEGER, DS_INTEGER), Col(SQL_BIGINT, DS_INTEGER), Col(SQL_WVARCHAR, DS_WSTRING, 8)},
      1);
  Value<int32_t>(0, 1, 41);
  Value<int32_t>(0, 2, 123);
  Wide(0, 3, u"wv");
  ASSERT_EQ(SQLFetch(stmt_), SQL_SUCCESS);
  int64_t v = -1;
  SQLLEN len = 0;
  EXPECT_EQ(SQLGetData(stmt_, 1, SQL_C_DEFAULT, &v, 0, &len), SQL_SUCCESS);
  EXPECT_EQ(len, 4);
  EXPECT_EQ(v & 0xFFFFFFFF, 41);
  // Binary of a BIGINT is the 8-byte integer, which a shorter buffer cannot take.
  char small[4];
  EXPECT_EQ(SQLGetData(stmt_, 2, SQL_C_BINARY, small, sizeof small, &len), SQL_ERROR);
  EXPECT_EQ(State(), "22003");
  TearDown();
  SetUp();
  Result({Col(SQL_BIGINT, DS_INTEGER)}, 1);
  Value<int32_t>(0, 1, 123);
  ASSERT_EQ(SQLFetch(stmt_), SQL_SUCCESS);
  v = 0;
  EXPECT_EQ(SQLGetData(stmt_, 1, SQL_C_BINARY, &v, sizeof v, &len), SQL_SUCCESS);
  EXPECT_EQ(v, 123);
  EXPECT_EQ(len, 8);
}

TEST_F(GetColumnTest, AnOdbc2ApplicationGetsWideTextAsCharacters) {
  Result({Col(SQL_WVARCHAR, DS_WSTRING, 8)}, 1, false, SQL_OV_ODBC2);
  Wide(0, 1, u"wv");
  ASSERT_EQ(SQLFetch(stmt_), SQL_SUCCESS);
  const Got g = Get(1, SQL_C_DEFAULT, 10);
  EXPECT_EQ(g.rc, SQL_SUCCESS);
  EXPECT_EQ(g.bytes.substr(0, 2), "wv");
  EXPECT_EQ(g.len, 2);
}

TEST_F(GetColumnTest, NoRowBeforeTheFirstFetchNorAfterTheLast) {
  Result({Col(SQL_INTEGER, DS_INTEGER)}, 1);
  EXPECT_EQ(Get(1, SQL_C_SLONG, 4).rc, SQL_ERROR);
  EXPECT_EQ(State(), "24000");
  ASSERT_EQ(SQLFetch(stmt_), SQL_SUCCESS);
  ASSERT_EQ(SQLFetch(stmt_), SQL_NO_DATA);
  EXPECT_EQ(Get(1, SQL_C_SLONG, 4).rc, SQL_ERROR);
  EXPECT_EQ(State(), "24000");
  EXPECT_EQ(Get(2, SQL_C_SLONG, 4).rc, SQL_ERROR);
}

TEST_F(GetColumnTest, BookmarkColumn) {
  Fake().ints[DRVP_GETINFO_INT + SQL_FETCH_DIRECTION] = 0xBF;
  Result({Col(SQL_INTEGER, DS_INTEGER)}, 3, true);
  char buf[16] = {};
  SQLLEN len = 0;
  // Column 0 exists only with bookmarks on.
  ASSERT_EQ(SQLFetch(stmt_), SQL_SUCCESS);
  EXPECT_EQ(SQLGetData(stmt_, 0, SQL_C_BINARY, buf, sizeof buf, &len), SQL_ERROR);
  EXPECT_EQ(State(), "07009");
  TearDown();
  SetUp();
  Fake().ints[DRVP_GETINFO_INT + SQL_FETCH_DIRECTION] = 0xBF;
  Open(DRV_CAPBIT_SCROLL_CURSORS);
  ASSERT_EQ(SQLSetStmtAttr(stmt_, SQL_ATTR_USE_BOOKMARKS, (SQLPOINTER)SQL_UB_VARIABLE, 0),
            SQL_SUCCESS);
  ASSERT_EQ(SQLSetStmtAttr(stmt_, SQL_ATTR_CURSOR_TYPE, (SQLPOINTER)SQL_CURSOR_STATIC, 0),
            SQL_SUCCESS);
  ASSERT_EQ(SQLSetStmtAttr(stmt_, SQL_ATTR_ROW_ARRAY_SIZE, (SQLPOINTER)2, 0), SQL_SUCCESS);
  SFake().columns = {Col(SQL_INTEGER, DS_INTEGER)};
  ASSERT_EQ(DatasetInit(&FFake().rows, 1), 0);
  FFake().rows.colCount = 1;
  FFake().rows.cols[0].type = DS_INTEGER;
  FFake().rows.cols[0].width = 4;
  ASSERT_EQ(DatasetSetRows(&FFake().rows, 3), 0);
  FFake().rows.rowCount = 3;
  ASSERT_EQ(SQLExecDirect(stmt_, (SQLCHAR*)"select", SQL_NTS), SQL_SUCCESS);
  ASSERT_EQ(SQLFetchScroll(stmt_, SQL_FETCH_NEXT, 0), SQL_SUCCESS);
  struct Case {
    SQLSMALLINT cType;
    SQLLEN bufLen;
    SQLRETURN rc;
    const char* state;
  };
  for (const Case c :
       {Case{SQL_C_LONG, 16, SQL_ERROR, "HY003"}, Case{SQL_C_BINARY, 4, SQL_ERROR, "HY090"},
        Case{SQL_C_BINARY, 16, SQL_SUCCESS, nullptr},
        Case{SQL_C_UBIGINT, 0, SQL_SUCCESS, nullptr}}) {
    SCOPED_TRACE(c.cType);
    memset(buf, 0x55, sizeof buf);
    len = 0;
    EXPECT_EQ(SQLGetData(stmt_, 0, c.cType, buf, c.bufLen, &len), c.rc);
    if (c.state != nullptr) {
      EXPECT_EQ(State(), c.state);
      continue;
    }
    int64_t bookmark = 0;
    memcpy(&bookmark, buf, 8);
    EXPECT_EQ(bookmark, 1);
    EXPECT_EQ(len, 8);
    EXPECT_EQ(buf[8], 0x55);
  }
}

TEST_F(GetColumnTest, LongValuesReadOnDemand) {
  Result({Col(SQL_LONGVARCHAR, DS_STRING, 8)}, 3);
  Deferred(0, 1);
  Deferred(1, 1);
  Deferred(2, 1);
  FFake().longValue = "0123456789ABCDEFGHIJ";
  ASSERT_EQ(SQLFetch(stmt_), SQL_SUCCESS);
  for (const Got& want :
       {Got{SQL_SUCCESS_WITH_INFO, "0123456", 20}, Got{SQL_SUCCESS_WITH_INFO, "789ABCD", 13},
        Got{SQL_SUCCESS, "EFGHIJ", 6}, Got{SQL_NO_DATA, "", 0}}) {
    const Got g = Get(1, SQL_C_CHAR, 8);
    EXPECT_EQ(g.rc, want.rc);
    if (want.rc != SQL_NO_DATA) {
      EXPECT_EQ(g.bytes, want.bytes);
      EXPECT_EQ(g.len, want.len);
    }
  }
  EXPECT_TRUE(Fake().Called("GetLongData 7"));
  ASSERT_EQ(SQLFetch(stmt_), SQL_SUCCESS);
  FFake().longNull = true;
  EXPECT_EQ(Get(1, SQL_C_CHAR, 8).len, SQL_NULL_DATA);
  ASSERT_EQ(SQLFetch(stmt_), SQL_SUCCESS);
  FFake().longCode = ERR_NOT_CAPABLE;
  Fake().cursorMessages = {"[Informix Server]cannot read it[SQLSTATE:S1C00]"};
  EXPECT_EQ(Get(1, SQL_C_CHAR, 8).rc, SQL_ERROR);
  EXPECT_EQ(Message(SQL_HANDLE_STMT, stmt_, 1), "[Kestrane][ODBC][Informix Server]cannot read it");
  EXPECT_EQ(State(), "HYC00");
}

TEST_F(GetColumnTest, ClosingMidValueReleasesThePiece) {
  // The piece the back end handed out is the statement's until the value or
  // its result ends; a cursor closed halfway through the value ends it.
  Result({Col(SQL_LONGVARCHAR, DS_STRING, 8)}, 2);
  Deferred(0, 1);
  FFake().longValue = "0123456789ABCDEFGHIJ";
  ASSERT_EQ(SQLFetch(stmt_), SQL_SUCCESS);
  EXPECT_EQ(Get(1, SQL_C_CHAR, 8).bytes, "0123456");
  ASSERT_EQ(SQLCloseCursor(stmt_), SQL_SUCCESS);
  const GetDataState& gd = StmtOf(stmt_)->st_getData;
  EXPECT_EQ(gd.gd_owned, 0u);
  EXPECT_EQ(gd.gd_data, nullptr);
  EXPECT_EQ(gd.gd_column, 0);
}

// A long value read in pieces reads each unit of its source a bounded number of
// times whatever its size (every piece used to measure all that remained, so the
// work grew with the square of the value), and every piece still reports the exact
// length that remains and delivers the value whole, its characters cut nowhere.
TEST_F(GetColumnTest, LongValuesInPiecesReadEachUnitABoundedNumberOfTimes) {
  // Characters of one, two, three and four UTF-8 bytes, in both encodings.
  struct Char {
    std::string_view utf8;
    std::u16string_view utf16;
  };
  constexpr Char kAscii[] = {{"Lorem ipsum ", u"Lorem ipsum "}};
  constexpr Char kMixed[] = {{"a", u"a"},
                             {"\xC3\xA9", u"\u00e9"},
                             {"\xE2\x82\xAC", u"\u20ac"},
                             {"\xF0\x9F\x98\x80", u"\U0001F600"},
                             {"xyz", u"xyz"}};
  enum Source { Wide, Narrow, Bytes };
  struct Case {
    std::string_view name;
    Source source;
    bool mixed;
    SQLSMALLINT cType;
    size_t repeat;
    SQLLEN bufLen;
  };
  const Case kCases[] = {
      {"UTF-16 as 8-bit, ASCII", Wide, false, SQL_C_CHAR, 12000, 512},
      {"UTF-16 as 8-bit, mixed", Wide, true, SQL_C_CHAR, 12000, 512},
      {"UTF-16 as 8-bit, buffers of a byte", Wide, true, SQL_C_CHAR, 300, 2},
      {"UTF-16 as UTF-16", Wide, true, SQL_C_WCHAR, 12000, 512},
      {"UTF-8 as UTF-16, ASCII", Narrow, false, SQL_C_WCHAR, 12000, 512},
      {"UTF-8 as UTF-16, mixed", Narrow, true, SQL_C_WCHAR, 12000, 513},
      {"UTF-8 as UTF-16, buffers of a unit", Narrow, true, SQL_C_WCHAR, 300, 5},
      {"UTF-8 as 8-bit", Narrow, true, SQL_C_CHAR, 12000, 512},
      {"bytes", Bytes, false, SQL_C_BINARY, 12000, 512},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    std::string utf8;
    std::u16string utf16;
    for (size_t k = 0; k < c.repeat; ++k) {
      for (const Char& ch : c.mixed ? std::span<const Char>(kMixed) : std::span<const Char>(kAscii)) {
        utf8 += ch.utf8;
        utf16 += ch.utf16;
      }
    }
    const std::string wide = u16bytes(utf16);
    const std::string& source = c.source == Wide ? wide : utf8;
    const std::string& want = c.cType == SQL_C_WCHAR ? wide : c.cType == SQL_C_CHAR ? utf8 : source;
    const uint64_t units = c.source == Wide ? utf16.size() : source.size();
    Result({c.source == Wide    ? Col(SQL_WLONGVARCHAR, DS_LONGWCHAR)
            : c.source == Narrow ? Col(SQL_LONGVARCHAR, DS_LONGCHAR)
                                 : Col(SQL_LONGVARBINARY, DS_LONGBINARY)},
           1);
    Cell(0, 1, source.data(), source.size());
    ASSERT_EQ(SQLFetch(stmt_), SQL_SUCCESS);

    const uint64_t before = CopyOutUnitsRead();
    std::vector<char> buf(static_cast<size_t>(c.bufLen));
    std::string got;
    SQLRETURN rc = SQL_SUCCESS_WITH_INFO;
    uint64_t pieces = 0;
    for (; rc == SQL_SUCCESS_WITH_INFO; ++pieces) {
      SQLLEN len = 0;
      rc = SQLGetData(stmt_, 1, c.cType, buf.data(), c.bufLen, &len);
      ASSERT_TRUE(SQL_SUCCEEDED(rc)) << got.size();
      ASSERT_EQ(len, static_cast<SQLLEN>(want.size() - got.size())) << got.size();
      // The text delivered ends at its terminator (the value holds no NUL).
      size_t n = std::min(static_cast<size_t>(len), buf.size());
      if (c.cType == SQL_C_CHAR) n = strnlen(buf.data(), buf.size());
      if (c.cType == SQL_C_WCHAR)
        for (n = 0; n + 1 < buf.size() && (buf[n] != 0 || buf[n + 1] != 0);) n += 2;
      got.append(buf.data(), n);
    }
    EXPECT_EQ(rc, SQL_SUCCESS);
    EXPECT_TRUE(got == want) << "value differs from byte " << std::distance(
        got.begin(), std::mismatch(got.begin(), got.end(), want.begin(), want.end()).first);
    // A few times the value, or the buffers it went into when they are tiny.
    const uint64_t read = CopyOutUnitsRead() - before;
    EXPECT_LE(read, 4 * (units + pieces * static_cast<uint64_t>(c.bufLen)))
        << "units read " << read << " for a value of " << units << " in " << pieces << " pieces";
    TearDown();
    SetUp();
  }
}

}  // namespace
