// Tests of fetching over the recording back end: blocks of a forward-only
// result, rowsets into column-wise and row-wise bound arrays, row statuses and
// rows that fail, and the fetch entry points' refusals.

#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>

#include <cstring>
#include <string>
#include <vector>

#include "drv/dataset.h"
#include "drv/errtab.h"
#include "fetch_fake.h"
#include "odbc/binding.h"
#include "odbc/desc.h"
#include "odbc/stmt.h"
#include "odbc/stmtrec.h"
#include "odbc/trace.h"

namespace {

class FetchRoadTest : public FetchTest {
 protected:
  // n rows of (INTEGER i + 1, text "r<i>").
  void Numbered(int32_t n, bool scroll = false, int version = SQL_OV_ODBC3) {
    Result({Col(SQL_INTEGER, DS_INTEGER), Col(SQL_VARCHAR, DS_STRING, 8)}, n, scroll, version);
    for (int32_t i = 0; i < n; ++i) {
      Value<int32_t>(i, 1, i + 1);
      Text(i, 2, "r" + std::to_string(i + 1));
    }
  }
  void Rowset(SQLULEN size) {
    ASSERT_EQ(SQLSetStmtAttr(stmt_, SQL_ATTR_ROW_ARRAY_SIZE, (SQLPOINTER)size, 0), SQL_SUCCESS);
  }
};

TEST_F(FetchRoadTest, BlocksKeepTheirLayoutAndServeEveryRow) {
  Numbered(130);
  int32_t a = 0;
  char b[8];
  SQLLEN aLen = 0;
  SQLLEN bLen = 0;
  ASSERT_EQ(SQLBindCol(stmt_, 1, SQL_C_SLONG, &a, 0, &aLen), SQL_SUCCESS);
  ASSERT_EQ(SQLBindCol(stmt_, 2, SQL_C_CHAR, b, sizeof b, &bLen), SQL_SUCCESS);
  int32_t rows = 0;
  for (SQLRETURN rc; (rc = SQLFetch(stmt_)) != SQL_NO_DATA; ++rows) {
    ASSERT_EQ(rc, SQL_SUCCESS);
    ASSERT_EQ(a, rows + 1);
    ASSERT_EQ(std::string(b), "r" + std::to_string(rows + 1));
    ASSERT_EQ(bLen, static_cast<SQLLEN>(strlen(b)));
  }
  EXPECT_EQ(rows, 130);
  // One back-end call per block of the connection's fetch size; after the
  // first block the block comes back with its columns for the next one.
  EXPECT_EQ(FFake().asked, (std::vector<int32_t>{60, 60, 60, 60}));
  EXPECT_EQ(FFake().hadColumns, (std::vector<bool>{false, true, true, true}));
}

TEST_F(FetchRoadTest, ARowWiderThanABlockStillTravels) {
  for (uint32_t type : {DS_STRING, DS_CHAR}) {
    SCOPED_TRACE(type);
    Result({Col(SQL_VARCHAR, type, 70000)}, 3);
    for (int32_t i = 0; i < 3; ++i) Text(i, 1, std::string(69999, static_cast<char>('a' + i)));
    std::vector<char> buf(70000);
    SQLLEN len = 0;
    ASSERT_EQ(SQLBindCol(stmt_, 1, SQL_C_CHAR, buf.data(), static_cast<SQLLEN>(buf.size()), &len),
              SQL_SUCCESS);
    for (int32_t i = 0; i < 3; ++i) {
      ASSERT_EQ(SQLFetch(stmt_), SQL_SUCCESS);
      EXPECT_EQ(len, 69999);
      EXPECT_EQ(buf[69998], 'a' + i);
    }
    EXPECT_EQ(SQLFetch(stmt_), SQL_NO_DATA);
    EXPECT_EQ(FFake().asked, (std::vector<int32_t>{1, 1, 1, 1}));
    TearDown();
    SetUp();
  }
}

TEST_F(FetchRoadTest, ColumnWiseArraysStepByTheCTypesSize) {
  // Fixed-size types step by their own size, whatever length they were bound
  // with; character buffers by their length; lengths by an SQLLEN each.
  Numbered(3, true);
  Rowset(3);
  int32_t a[3] = {};
  int32_t d[3] = {};
  char b[3][5] = {};
  SQLLEN aLen[3] = {};
  SQLLEN bLen[3] = {};
  SQLLEN dLen[3] = {};
  SQLULEN fetched = 0;
  SQLUSMALLINT status[4] = {9, 9, 9, 9};
  ASSERT_EQ(SQLBindCol(stmt_, 1, SQL_C_SLONG, a, 100, aLen), SQL_SUCCESS);
  ASSERT_EQ(SQLBindCol(stmt_, 2, SQL_C_CHAR, b, 5, bLen), SQL_SUCCESS);
  ASSERT_EQ(SQLSetStmtAttr(stmt_, SQL_ATTR_ROWS_FETCHED_PTR, &fetched, 0), SQL_SUCCESS);
  ASSERT_EQ(SQLSetStmtAttr(stmt_, SQL_ATTR_ROW_STATUS_PTR, status, 0), SQL_SUCCESS);
  ASSERT_EQ(SQLFetchScroll(stmt_, SQL_FETCH_NEXT, 0), SQL_SUCCESS);
  EXPECT_EQ(fetched, 3u);
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(a[i], i + 1);
    EXPECT_EQ(aLen[i], 4);
    EXPECT_EQ(std::string(b[i]), "r" + std::to_string(i + 1));
    EXPECT_EQ(bLen[i], 2);
    EXPECT_EQ(status[i], SQL_ROW_SUCCESS);
  }
  EXPECT_EQ(status[3], 9);
  EXPECT_EQ(SQLFetchScroll(stmt_, SQL_FETCH_NEXT, 0), SQL_NO_DATA);

  // The default C type of an INTEGER column is 4 bytes wide as well.
  TearDown();
  SetUp();
  Numbered(3, true);
  Rowset(3);
  ASSERT_EQ(SQLBindCol(stmt_, 1, SQL_C_DEFAULT, d, 0, dLen), SQL_SUCCESS);
  ASSERT_EQ(SQLFetchScroll(stmt_, SQL_FETCH_NEXT, 0), SQL_SUCCESS);
  EXPECT_EQ(d[0], 1);
  EXPECT_EQ(d[1], 2);
  EXPECT_EQ(d[2], 3);
}

TEST_F(FetchRoadTest, RowWiseRecordsAndTheBindOffset) {
  struct Row {
    int32_t a;
    SQLLEN aLen;
    char b[6];
    SQLLEN bLen;
  };
  Numbered(3, true);
  Rowset(3);
  Row rows[6] = {};
  SQLULEN offset = 3 * sizeof(Row);
  ASSERT_EQ(SQLSetStmtAttr(stmt_, SQL_ATTR_ROW_BIND_TYPE, (SQLPOINTER)sizeof(Row), 0), SQL_SUCCESS);
  ASSERT_EQ(SQLSetStmtAttr(stmt_, SQL_ATTR_ROW_BIND_OFFSET_PTR, &offset, 0), SQL_SUCCESS);
  ASSERT_EQ(SQLBindCol(stmt_, 1, SQL_C_SLONG, &rows[0].a, 0, &rows[0].aLen), SQL_SUCCESS);
  ASSERT_EQ(SQLBindCol(stmt_, 2, SQL_C_CHAR, rows[0].b, sizeof rows[0].b, &rows[0].bLen),
            SQL_SUCCESS);
  ASSERT_EQ(SQLFetchScroll(stmt_, SQL_FETCH_NEXT, 0), SQL_SUCCESS);
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(rows[i].a, 0);
    EXPECT_EQ(rows[3 + i].a, i + 1);
    EXPECT_EQ(rows[3 + i].aLen, 4);
    EXPECT_EQ(std::string(rows[3 + i].b), "r" + std::to_string(i + 1));
    EXPECT_EQ(rows[3 + i].bLen, 2);
  }
}

TEST_F(FetchRoadTest, BookmarkBindingsAndTheirArrays) {
  // A binary bookmark keeps the length it was bound with as its array stride
  // and gets 8 bytes and the length 8 in each element; SQL_C_BOOKMARK is 8
  // bytes wide whatever length was passed.
  Fake().ints[DRVP_GETINFO_INT + SQL_FETCH_DIRECTION] = 0xBF;
  Fake().ints[DRVP_GETINFO_INT + SQL_BOOKMARK_PERSISTENCE] = SQL_BP_SCROLL;
  Numbered(6, true);
  ASSERT_EQ(SQLSetStmtAttr(stmt_, SQL_ATTR_USE_BOOKMARKS, (SQLPOINTER)SQL_UB_VARIABLE, 0),
            SQL_SUCCESS);
  ASSERT_EQ(SQLSetStmtAttr(stmt_, SQL_ATTR_CURSOR_TYPE, (SQLPOINTER)SQL_CURSOR_STATIC, 0),
            SQL_SUCCESS);
  Rowset(3);
  unsigned char marks[3][10];
  memset(marks, 0x55, sizeof marks);
  SQLLEN lens[3] = {};

  struct Refused {
    SQLSMALLINT cType;
    SQLLEN length;
    const char* state;
  };
  for (const Refused& r : {Refused{SQL_C_VARBOOKMARK, 7, "HY090"},
                           Refused{SQL_C_BINARY, 0, "HY090"}, Refused{SQL_C_SLONG, 10, "HY003"}}) {
    SCOPED_TRACE(r.length);
    EXPECT_EQ(SQLBindCol(stmt_, 0, r.cType, marks, r.length, lens), SQL_ERROR);
    EXPECT_EQ(State(), r.state);
  }
  SQLHDESC ard = DescAttr(stmt_, SQL_ATTR_APP_ROW_DESC);
  auto boundLength = [ard] {
    SQLLEN n = -1;
    EXPECT_EQ(SQLGetDescField(ard, 0, SQL_DESC_OCTET_LENGTH, &n, sizeof n, nullptr), SQL_SUCCESS);
    return n;
  };

  ASSERT_EQ(SQLBindCol(stmt_, 0, SQL_C_VARBOOKMARK, marks, sizeof marks[0], lens), SQL_SUCCESS);
  EXPECT_EQ(boundLength(), 10);
  ASSERT_EQ(SQLFetchScroll(stmt_, SQL_FETCH_NEXT, 0), SQL_SUCCESS);
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    int64_t bm = 0;
    memcpy(&bm, marks[i], 8);
    EXPECT_EQ(bm, i + 1);
    EXPECT_EQ(marks[i][8], 0x55);
    EXPECT_EQ(lens[i], 8);
  }

  uint64_t wide[3] = {};
  ASSERT_EQ(SQLBindCol(stmt_, 0, SQL_C_BOOKMARK, wide, 100, lens), SQL_SUCCESS);
  EXPECT_EQ(boundLength(), 8);
  ASSERT_EQ(SQLFetchScroll(stmt_, SQL_FETCH_NEXT, 0), SQL_SUCCESS);
  EXPECT_EQ(wide[0], 4u);
  EXPECT_EQ(wide[1], 5u);
  EXPECT_EQ(wide[2], 6u);
}

TEST_F(FetchRoadTest, ANewStatementsCursorTakesTheConnectionsRowsetSize) {
  // The connection's default reaches the cursor of a statement made after it
  // was set, so the rowsets the cursor reads are the statement's.
  Numbered(5, true, SQL_OV_ODBC2);
  ASSERT_EQ(SQLFreeHandle(SQL_HANDLE_STMT, stmt_), SQL_SUCCESS);
  ASSERT_EQ(SQLSetConnectOption(dbc_, SQL_ROWSET_SIZE, 2), SQL_SUCCESS);
  stmt_ = NewStmt();
  EXPECT_EQ(FFake().rowsetSize, 2);
  SQLULEN size = 0;
  ASSERT_EQ(SQLGetStmtOption(stmt_, SQL_ROWSET_SIZE, &size), SQL_SUCCESS);
  EXPECT_EQ(size, 2u);
  ASSERT_EQ(SQLExecDirect(stmt_, (SQLCHAR*)"select", SQL_NTS), SQL_SUCCESS);
  int32_t a[2] = {};
  SQLLEN len[2] = {};
  SQLULEN rows = 0;
  SQLUSMALLINT status[2] = {};
  ASSERT_EQ(SQLBindCol(stmt_, 1, SQL_C_SLONG, a, 0, len), SQL_SUCCESS);
  ASSERT_EQ(SQLExtendedFetch(stmt_, SQL_FETCH_NEXT, 0, &rows, status), SQL_SUCCESS);
  EXPECT_EQ(rows, 2u);
  EXPECT_EQ(a[1], 2);
}

TEST_F(FetchRoadTest, AColumnUnboundThroughTheArdIsNotWrittenAfterItsBufferIsFreed) {
  // Under ASan, a write into the released buffers fails the test.
  for (const bool rowset : {false, true}) {
    SCOPED_TRACE(rowset);
    Numbered(4, rowset);
    if (rowset) Rowset(2);
    auto* a = static_cast<int32_t*>(malloc(2 * sizeof(int32_t)));
    auto* len = static_cast<SQLLEN*>(malloc(2 * sizeof(SQLLEN)));
    ASSERT_EQ(SQLBindCol(stmt_, 1, SQL_C_SLONG, a, 0, len), SQL_SUCCESS);
    SQLHDESC ard = DescAttr(stmt_, SQL_ATTR_APP_ROW_DESC);
    ASSERT_EQ(SQLSetDescField(ard, 1, SQL_DESC_DATA_PTR, nullptr, 0), SQL_SUCCESS);
    free(a);
    free(len);
    EXPECT_EQ(SQLFetchScroll(stmt_, SQL_FETCH_NEXT, 0), SQL_SUCCESS);
    EXPECT_EQ(SQLFetchScroll(stmt_, SQL_FETCH_NEXT, 0), SQL_SUCCESS);
    TearDown();
    SetUp();
  }
}

TEST_F(FetchRoadTest, ARowThatFailsIsMarkedAndTheRowsetGoesOn) {
  struct Case {
    std::string name;
    std::vector<std::string> values;
    std::vector<uint16_t> tableStatus;
    SQLRETURN rc;
    std::vector<SQLUSMALLINT> status;
    std::string state;
  };
  const Case kCases[] = {
      {"a bad value and a cut one",
       {"1", "x", "3.5", "4"},
       {},
       SQL_SUCCESS_WITH_INFO,
       {SQL_ROW_SUCCESS, SQL_ROW_ERROR, SQL_ROW_SUCCESS_WITH_INFO, SQL_ROW_SUCCESS},
       "22018"},
      {"every row bad",
       {"x", "y", "z", "w"},
       {},
       SQL_ERROR,
       {SQL_ROW_ERROR, SQL_ROW_ERROR, SQL_ROW_ERROR, SQL_ROW_ERROR},
       "22018"},
      {"a row the cursor could not read",
       {"1", "2", "3", "4"},
       {0, 0, SQL_ROW_ERROR, 0},
       SQL_SUCCESS_WITH_INFO,
       {SQL_ROW_SUCCESS, SQL_ROW_SUCCESS, SQL_ROW_ERROR, SQL_ROW_SUCCESS},
       "HY000"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    Result({Col(SQL_VARCHAR, DS_STRING, 8)}, 4, true);
    for (int32_t i = 0; i < 4; ++i) Text(i, 1, c.values[i]);
    FFake().statuses = c.tableStatus;
    Rowset(4);
    int32_t v[4] = {-1, -1, -1, -1};
    SQLLEN len[4] = {};
    SQLUSMALLINT status[4] = {};
    ASSERT_EQ(SQLBindCol(stmt_, 1, SQL_C_SLONG, v, 0, len), SQL_SUCCESS);
    ASSERT_EQ(SQLSetStmtAttr(stmt_, SQL_ATTR_ROW_STATUS_PTR, status, 0), SQL_SUCCESS);
    EXPECT_EQ(SQLFetchScroll(stmt_, SQL_FETCH_NEXT, 0), c.rc);
    EXPECT_EQ(std::vector<SQLUSMALLINT>(status, status + 4), c.status);
    EXPECT_EQ(State(), c.state);
    if (c.status[3] == SQL_ROW_SUCCESS) {
      EXPECT_EQ(v[3], 4);
    }
    TearDown();
    SetUp();
  }
}

TEST_F(FetchRoadTest, ALaterColumnKeepsAnEarlierWarning) {
  Numbered(1);
  char b[2];
  int32_t a = 0;
  SQLLEN bLen = 0;
  SQLLEN aLen = 0;
  ASSERT_EQ(SQLBindCol(stmt_, 2, SQL_C_CHAR, b, sizeof b, &bLen), SQL_SUCCESS);
  ASSERT_EQ(SQLBindCol(stmt_, 1, SQL_C_SLONG, &a, 0, &aLen), SQL_SUCCESS);
  EXPECT_EQ(SQLFetch(stmt_), SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(State(), "01004");
  EXPECT_EQ(a, 1);
}

TEST_F(FetchRoadTest, StatusWalksStayInsideRowsetAndTable) {
  struct Case {
    int32_t tableSize;
    std::vector<SQLUSMALLINT> status;
  };
  const Case kCases[] = {
      {5, {SQL_ROW_SUCCESS, SQL_ROW_SUCCESS, SQL_ROW_SUCCESS, 77}},
      {2, {SQL_ROW_SUCCESS, SQL_ROW_SUCCESS, SQL_ROW_NOROW, 77}},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.tableSize);
    Numbered(6, true);
    Rowset(3);
    FFake().tableSize = c.tableSize;
    SQLUSMALLINT status[4] = {77, 77, 77, 77};
    int32_t a[3] = {};
    SQLLEN len[3] = {};
    ASSERT_EQ(SQLBindCol(stmt_, 1, SQL_C_SLONG, a, 0, len), SQL_SUCCESS);
    ASSERT_EQ(SQLSetStmtAttr(stmt_, SQL_ATTR_ROW_STATUS_PTR, status, 0), SQL_SUCCESS);
    ASSERT_EQ(SQLFetchScroll(stmt_, SQL_FETCH_NEXT, 0), SQL_SUCCESS);
    EXPECT_EQ(std::vector<SQLUSMALLINT>(status, status + 4), c.status);
    TearDown();
    SetUp();
  }
}

TEST_F(FetchRoadTest, SingleRowsOfOdbc2AndOdbc3Applications) {
  struct Case {
    int version;
    SQLUSMALLINT statusAtEnd;
    SQLULEN rowsAtEnd;
  };
  // An ODBC 2 SQLFetch knows no row counts or statuses. Neither fetch reads the length
  // buffer: SQL_COLUMN_IGNORE left there by a SetPos does not keep the old value.
  for (const Case c : {Case{SQL_OV_ODBC2, 9, 9}, Case{SQL_OV_ODBC3, SQL_ROW_NOROW, 0}}) {
    SCOPED_TRACE(c.version);
    Numbered(1, false, c.version);
    int32_t a = -1;
    SQLLEN aLen = SQL_COLUMN_IGNORE;
    SQLULEN rows = 9;
    SQLUSMALLINT status = 9;
    Stmt* s = StmtOf(stmt_);
    s->st_rowsFetchedPtr = &rows;
    s->st_ird->de_arrayStatusPtr = &status;
    ASSERT_EQ(SQLBindCol(stmt_, 1, SQL_C_SLONG, &a, 0, &aLen), SQL_SUCCESS);
    ASSERT_EQ(SQLFetch(stmt_), SQL_SUCCESS);
    EXPECT_EQ(a, 1);
    EXPECT_EQ(aLen, 4);
    if (c.version == SQL_OV_ODBC3) {
      EXPECT_EQ(rows, 1u);
      EXPECT_EQ(status, SQL_ROW_SUCCESS);
    }
    EXPECT_EQ(SQLFetch(stmt_), SQL_NO_DATA);
    EXPECT_EQ(status, c.statusAtEnd);
    EXPECT_EQ(rows, c.rowsAtEnd);
    TearDown();
    SetUp();
  }
}

TEST_F(FetchRoadTest, RetrieveDataOffFillsNothing) {
  Numbered(2);
  ASSERT_EQ(SQLSetStmtAttr(stmt_, SQL_ATTR_RETRIEVE_DATA, (SQLPOINTER)SQL_RD_OFF, 0), SQL_SUCCESS);
  int32_t a = -1;
  SQLLEN aLen = 0;
  ASSERT_EQ(SQLBindCol(stmt_, 1, SQL_C_SLONG, &a, 0, &aLen), SQL_SUCCESS);
  ASSERT_EQ(SQLFetch(stmt_), SQL_SUCCESS);
  EXPECT_EQ(a, -1);
}

TEST_F(FetchRoadTest, Refusals) {
  Numbered(3);
  EXPECT_EQ(SQLFetchScroll(stmt_, SQL_FETCH_PRIOR, 0), SQL_ERROR);
  EXPECT_EQ(State(), "HY106");
  EXPECT_TRUE(FFake().asked.empty());
  SQLULEN rows = 0;
  SQLUSMALLINT status[1];
  // The rowset road needs a back end that serves it.
  EXPECT_EQ(SQLExtendedFetch(stmt_, SQL_FETCH_NEXT, 0, &rows, status), SQL_ERROR);
  EXPECT_EQ(State(), "IM001");
  SQLHSTMT fresh = NewStmt();
  EXPECT_EQ(SQLFetch(fresh), SQL_ERROR);
  EXPECT_EQ(CoreTest::State(SQL_HANDLE_STMT, fresh), "HY010");
}

// What one rowset fetch left behind: every byte of the bound buffers, the statuses, the
// answer with its diagnostics, and the piece state a following SQLGetData starts from.
struct RowsetOutcome {
  SQLRETURN rc = 0;
  std::vector<std::string> states;
  std::vector<SQLUSMALLINT> status;
  SQLULEN fetched = 0;
  std::string buffers;
  uint16_t gdColumn = 0;
  uint32_t gdRow = 0;
  uint32_t gdType = 0;
  bool operator==(const RowsetOutcome&) const = default;
};

// A rowset whose bound columns all have plain copies goes column by column; with the
// trace on, every cell goes the row-order road. Both leave the same: over rows that
// cross the runs the column road takes at once, cells the copies decline (NULLs, text
// cut by its buffer, a NULL without an indicator that fails its row), ignored cells,
// rows the cursor could not read or saw deleted, rows the table has none for, and
// column-wise arrays as well as row-wise records behind a bind offset.
TEST_F(FetchRoadTest, ColumnByColumnRowsetsLeaveWhatRowOrderLeaves) {
  constexpr int32_t kRows = 300;
  struct Rec {
    int32_t i;
    SQLLEN iLen;
    char t[8];
    SQLLEN tLen;
    double d;
  };
  // The rowset's last entry has no row (tail), or it is the result's last row, delivered
  // by its copies or, its text cut, by the row-order road.
  enum class Last { kNoRow, kCopied, kCut };
  const auto fetchOnce = [&](bool rowWise, bool general, Last last) -> RowsetOutcome {
    const bool nulls = last == Last::kCut;
    const SQLULEN kRowset = last == Last::kNoRow ? kRows + 10 : kRows;
    Result({Col(SQL_INTEGER, DS_INTEGER), Col(SQL_VARCHAR, DS_STRING, 12),
            Col(SQL_DOUBLE, DS_DOUBLE)},
           kRows, true);
    for (int32_t r = 0; r < kRows; ++r) {
      if (!nulls || r % 37 != 5) Value<int32_t>(r, 1, r * 3 - 7);
      Text(r, 2, std::string(static_cast<size_t>(r % 11), static_cast<char>('a' + r % 26)));
      if (nulls && r == kRows - 1) Text(r, 2, "0123456789");
      if (!nulls || r % 53 != 7) Value<double>(r, 3, r * 0.5);
    }
    std::vector<uint16_t> statuses(kRows, SQL_ROW_SUCCESS);
    statuses[40] = SQL_ROW_ERROR;
    statuses[200] = SQL_ROW_DELETED;
    statuses[250] = SQL_ROW_DELETED;
    FFake().statuses = statuses;
    Rowset(kRowset);
    RowsetOutcome out;
    out.status.assign(kRowset, 0xEEEE);
    EXPECT_EQ(SQLSetStmtAttr(stmt_, SQL_ATTR_ROW_STATUS_PTR, out.status.data(), 0), SQL_SUCCESS);
    EXPECT_EQ(SQLSetStmtAttr(stmt_, SQL_ATTR_ROWS_FETCHED_PTR, &out.fetched, 0), SQL_SUCCESS);
    std::vector<Rec> recs(kRowset + 1);
    std::memset(recs.data(), 0x5A, recs.size() * sizeof(Rec));
    std::vector<int32_t> is(kRowset, -1);
    std::vector<SQLLEN> iLens(kRowset, -99);
    std::vector<char> ts(kRowset * 8, 'z');
    std::vector<SQLLEN> tLens(kRowset, -99);
    std::vector<double> ds(kRowset, -1.0);
    tLens[90] = SQL_COLUMN_IGNORE;
    recs[91].iLen = SQL_COLUMN_IGNORE;
    SQLLEN offset = static_cast<SQLLEN>(sizeof(Rec));  // the records start one in
    if (rowWise) {
      EXPECT_EQ(SQLSetStmtAttr(stmt_, SQL_ATTR_ROW_BIND_TYPE, (SQLPOINTER)sizeof(Rec), 0),
                SQL_SUCCESS);
      EXPECT_EQ(SQLSetStmtAttr(stmt_, SQL_ATTR_ROW_BIND_OFFSET_PTR, &offset, 0), SQL_SUCCESS);
      EXPECT_EQ(SQLBindCol(stmt_, 1, SQL_C_SLONG, &recs[0].i, 0, &recs[0].iLen), SQL_SUCCESS);
      EXPECT_EQ(SQLBindCol(stmt_, 2, SQL_C_CHAR, recs[0].t, 8, &recs[0].tLen), SQL_SUCCESS);
      // No indicator: a NULL here fails its row.
      EXPECT_EQ(SQLBindCol(stmt_, 3, SQL_C_DOUBLE, &recs[0].d, 0, nullptr), SQL_SUCCESS);
    } else {
      EXPECT_EQ(SQLBindCol(stmt_, 1, SQL_C_SLONG, is.data(), 0, iLens.data()), SQL_SUCCESS);
      EXPECT_EQ(SQLBindCol(stmt_, 2, SQL_C_CHAR, ts.data(), 8, tLens.data()), SQL_SUCCESS);
      EXPECT_EQ(SQLBindCol(stmt_, 3, SQL_C_DOUBLE, ds.data(), 0, nullptr), SQL_SUCCESS);
    }
    TraceLevel.store(general ? 1 : 0);
    out.rc = SQLFetchScroll(stmt_, SQL_FETCH_NEXT, 0);
    TraceLevel.store(0);
    for (SQLSMALLINT k = 1; k < 100 && State(k) != "NO_DATA"; ++k) out.states.push_back(State(k));
    const auto bytes = [&](const auto& v) {
      out.buffers.append(reinterpret_cast<const char*>(v.data()), v.size() * sizeof v[0]);
    };
    bytes(recs);
    bytes(is);
    bytes(iLens);
    bytes(ts);
    bytes(tLens);
    bytes(ds);
    const GetDataState& gd = StmtOf(stmt_)->st_getData;
    out.gdColumn = gd.gd_column;
    out.gdRow = gd.gd_row;
    out.gdType = gd.gd_type;
    TearDown();
    SetUp();
    return out;
  };
  for (const bool rowWise : {false, true}) {
    for (const Last last : {Last::kNoRow, Last::kCopied, Last::kCut}) {
      SCOPED_TRACE(testing::Message() << (rowWise ? "row-wise" : "column-wise") << ", last "
                                      << static_cast<int>(last));
      const RowsetOutcome column = fetchOnce(rowWise, false, last);
      const RowsetOutcome row = fetchOnce(rowWise, true, last);
      EXPECT_EQ(column.rc, row.rc);
      EXPECT_EQ(column.states, row.states);
      EXPECT_EQ(column.status, row.status);
      EXPECT_EQ(column.fetched, row.fetched);
      EXPECT_TRUE(column.buffers == row.buffers);
      EXPECT_EQ(column.gdColumn, row.gdColumn);
      EXPECT_EQ(column.gdRow, row.gdRow);
      EXPECT_EQ(column.gdType, row.gdType);
      EXPECT_EQ(column.rc, SQL_SUCCESS_WITH_INFO);
      EXPECT_EQ(column.fetched, static_cast<SQLULEN>(kRows));
      EXPECT_EQ(column.status[40], SQL_ROW_ERROR);
      const SQLUSMALLINT lastStatus[] = {SQL_ROW_NOROW, SQL_ROW_SUCCESS,
                                         SQL_ROW_SUCCESS_WITH_INFO};
      EXPECT_EQ(column.status.back(), lastStatus[static_cast<int>(last)]);
      EXPECT_EQ(column.gdRow, last == Last::kNoRow ? 0u : static_cast<uint32_t>(kRows));
      EXPECT_EQ(column.gdColumn, last == Last::kNoRow ? 0 : 3);
    }
  }
}

TEST_F(FetchRoadTest, GetDataOnARowsetRow) {
  Numbered(2, true);
  FFake().statuses = {SQL_ROW_DELETED, SQL_ROW_SUCCESS};
  Rowset(2);
  ASSERT_EQ(SQLFetchScroll(stmt_, SQL_FETCH_NEXT, 0), SQL_SUCCESS);
  int32_t a = 0;
  SQLLEN len = 0;
  EXPECT_EQ(SQLGetData(stmt_, 1, SQL_C_SLONG, &a, 0, &len), SQL_ERROR);
  EXPECT_EQ(State(), "HY109");
  StmtOf(stmt_)->st_cursor.sc_position = 2;
  EXPECT_EQ(SQLGetData(stmt_, 1, SQL_C_SLONG, &a, 0, &len), SQL_SUCCESS);
  EXPECT_EQ(a, 2);
}

}  // namespace
