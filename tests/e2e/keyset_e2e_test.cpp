// keyset_e2e_test.cpp -- keyset-driven cursors through the Driver Manager and
// each driver library: every fetch orientation against the ordered result,
// another session's updates and deletions seen on a refetch and its inserts
// not, rows kept under their own keys when another session reorders them,
// key blocks of several columns filling the parameter limit, names that the
// catalog reads as patterns, and the requests that run static instead.

#include <cstring>
#include <string>
#include <vector>

#include "e2e_db.h"

namespace {

class DmKeyset : public DbTest {
 protected:
  void SetUp() override {
    DbTest::SetUp();
    ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &cur_), SQL_SUCCESS);
  }
  void TearDown() override {
    if (cur_ != nullptr) SQLFreeHandle(SQL_HANDLE_STMT, cur_);
    if (other_ != nullptr) {
      SQLDisconnect(other_);
      SQLFreeHandle(SQL_HANDLE_DBC, other_);
    }
    DbTest::TearDown();
  }

  std::string T(const std::string& base) const { return base + "_" + GetParam().name; }

  // A table of `rows` rows: id (the key) 1..rows, a name running against the
  // ids, and a group with NULLs.
  void MakeRows(const std::string& table, int rows) {
    ASSERT_TRUE(Recreate(table, "id INTEGER PRIMARY KEY, name VARCHAR(20), grp INTEGER"));
    for (int i = 1; i <= rows; ++i)
      ASSERT_TRUE(Exec("INSERT INTO " + table + " VALUES (" + std::to_string(i) + ", 'n" +
                       std::to_string(100 - i) + "', " +
                       (i % 4 == 0 ? std::string("NULL") : std::to_string(i % 3)) + ")"));
  }

  // A keyset-driven cursor of rowset `rowset` over sql, its first column bound
  // as an integer and its second as text, with statuses.
  void OpenKeyset(SQLULEN rowset, const std::string& sql) {
    ASSERT_EQ(SQLSetStmtAttr(cur_, SQL_ATTR_CURSOR_TYPE, (SQLPOINTER)SQL_CURSOR_KEYSET_DRIVEN, 0),
              SQL_SUCCESS)
        << Diags(SQL_HANDLE_STMT, cur_);
    ASSERT_EQ(SQLSetStmtAttr(cur_, SQL_ATTR_ROW_ARRAY_SIZE, (SQLPOINTER)rowset, 0), SQL_SUCCESS);
    ASSERT_EQ(SQLSetStmtAttr(cur_, SQL_ATTR_ROW_STATUS_PTR, status_, 0), SQL_SUCCESS);
    ASSERT_EQ(SQLSetStmtAttr(cur_, SQL_ATTR_ROWS_FETCHED_PTR, &fetched_, 0), SQL_SUCCESS);
    open_rc_ = SQLExecDirect(cur_, (SQLCHAR*)sql.c_str(), SQL_NTS);
    open_state_ = open_rc_ == SQL_SUCCESS ? "" : State(SQL_HANDLE_STMT, cur_);
    ASSERT_TRUE(SQL_SUCCEEDED(open_rc_)) << Diags(SQL_HANDLE_STMT, cur_);
    ASSERT_EQ(SQLBindCol(cur_, 1, SQL_C_SLONG, ids_, 0, idInd_), SQL_SUCCESS);
    SQLSMALLINT cols = 0;
    ASSERT_EQ(SQLNumResultCols(cur_, &cols), SQL_SUCCESS);
    if (cols > 1) {
      ASSERT_EQ(SQLBindCol(cur_, 2, SQL_C_CHAR, names_, sizeof names_[0], nameInd_), SQL_SUCCESS);
    }
  }

  SQLULEN CursorType() {
    SQLULEN type = 0;
    EXPECT_EQ(SQLGetStmtAttr(cur_, SQL_ATTR_CURSOR_TYPE, &type, 0, nullptr), SQL_SUCCESS);
    return type;
  }

  // The rowset a scroll brings as "id" per row ("-" for a deleted row), or
  // nothing with *rc telling why.
  std::vector<std::string> Scroll(SQLSMALLINT orientation, SQLLEN offset, SQLRETURN* rc = nullptr) {
    std::memset(ids_, 0, sizeof ids_);
    for (auto& s : status_) s = 99;
    const SQLRETURN r = SQLFetchScroll(cur_, orientation, offset);
    if (rc != nullptr) *rc = r;
    std::vector<std::string> got;
    if (!SQL_SUCCEEDED(r)) return got;
    for (SQLULEN i = 0; i < fetched_; ++i)
      got.push_back(status_[i] == SQL_ROW_DELETED ? "-" : std::to_string(ids_[i]));
    return got;
  }

  // A second session on the same database, with one statement.
  SQLHSTMT Other() {
    if (other_ == nullptr) {
      EXPECT_EQ(SQLAllocHandle(SQL_HANDLE_DBC, env_, &other_), SQL_SUCCESS);
      const std::string in =
          std::string("DSN=") + GetParam().dsn + ";DATABASE=e2edata@kes_e2e_data";
      EXPECT_TRUE(SQL_SUCCEEDED(SQLDriverConnect(other_, nullptr, (SQLCHAR*)in.c_str(), SQL_NTS,
                                                 nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT)))
          << Diags(SQL_HANDLE_DBC, other_);
    }
    return other_;
  }
  ::testing::AssertionResult OtherExec(const std::string& sql) {
    SQLHSTMT s = nullptr;
    SQLAllocHandle(SQL_HANDLE_STMT, Other(), &s);
    const SQLRETURN rc = SQLExecDirect(s, (SQLCHAR*)sql.c_str(), SQL_NTS);
    const std::string diags = Diags(SQL_HANDLE_STMT, s);
    SQLFreeHandle(SQL_HANDLE_STMT, s);
    if (SQL_SUCCEEDED(rc)) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << sql << "\n" << diags;
  }

  SQLHSTMT cur_ = nullptr;
  SQLHDBC other_ = nullptr;
  SQLRETURN open_rc_ = SQL_ERROR;
  std::string open_state_;
  SQLINTEGER ids_[128] = {};
  SQLLEN idInd_[128] = {};
  SQLCHAR names_[128][24] = {};
  SQLLEN nameInd_[128] = {};
  SQLUSMALLINT status_[128] = {};
  SQLULEN fetched_ = 0;
};

std::vector<std::string> Ids(int first, int last) {
  std::vector<std::string> v;
  for (int i = first; i <= last; ++i) v.push_back(std::to_string(i));
  return v;
}

struct Step {
  SQLSMALLINT orientation;
  SQLLEN offset;
  int first;  // 0: SQL_NO_DATA
  int last;
};

TEST_P(DmKeyset, EveryOrientationAgainstTheOrderedResult) {
  MakeRows(T("ks_walk"), 23);
  const std::vector<std::vector<Step>> walks = {
      {{SQL_FETCH_NEXT, 0, 1, 5},
       {SQL_FETCH_NEXT, 0, 6, 10},
       {SQL_FETCH_PRIOR, 0, 1, 5},
       {SQL_FETCH_PRIOR, 0, 0, 0},
       {SQL_FETCH_NEXT, 0, 1, 5}},
      {{SQL_FETCH_LAST, 0, 19, 23},
       {SQL_FETCH_NEXT, 0, 0, 0},
       {SQL_FETCH_PRIOR, 0, 19, 23},
       {SQL_FETCH_PRIOR, 0, 14, 18},
       {SQL_FETCH_FIRST, 0, 1, 5}},
      {{SQL_FETCH_ABSOLUTE, 21, 21, 23},
       {SQL_FETCH_ABSOLUTE, -1, 23, 23},
       {SQL_FETCH_ABSOLUTE, -7, 17, 21},
       {SQL_FETCH_ABSOLUTE, 0, 0, 0},
       {SQL_FETCH_ABSOLUTE, 24, 0, 0},
       {SQL_FETCH_PRIOR, 0, 19, 23},
       {SQL_FETCH_ABSOLUTE, -30, 0, 0}},
      {{SQL_FETCH_RELATIVE, 3, 3, 7},
       {SQL_FETCH_RELATIVE, -3, 1, 5},
       {SQL_FETCH_RELATIVE, 20, 21, 23},
       {SQL_FETCH_RELATIVE, 3, 0, 0},
       {SQL_FETCH_RELATIVE, -2, 22, 23}},
  };
  int n = 0;
  for (const auto& walk : walks) {
    SCOPED_TRACE("walk " + std::to_string(++n));
    OpenKeyset(5, "SELECT id, name FROM " + T("ks_walk") + " ORDER BY id");
    EXPECT_EQ(open_rc_, SQL_SUCCESS);
    EXPECT_EQ(CursorType(), static_cast<SQLULEN>(SQL_CURSOR_KEYSET_DRIVEN));
    int k = 0;
    for (const Step& s : walk) {
      SCOPED_TRACE("step " + std::to_string(++k));
      SQLRETURN rc = SQL_ERROR;
      const auto got = Scroll(s.orientation, s.offset, &rc);
      if (s.first == 0) {
        EXPECT_EQ(rc, SQL_NO_DATA) << Diags(SQL_HANDLE_STMT, cur_);
        continue;
      }
      ASSERT_EQ(rc, SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, cur_);
      EXPECT_EQ(got, Ids(s.first, s.last));
    }
    ASSERT_EQ(SQLFreeStmt(cur_, SQL_CLOSE), SQL_SUCCESS);
    ASSERT_EQ(SQLFreeStmt(cur_, SQL_UNBIND), SQL_SUCCESS);
  }
  // Another order, with NULLs of the sort column first, walked back row by row.
  OpenKeyset(23, "SELECT id FROM " + T("ks_walk") + " ORDER BY grp, name DESC");
  const auto forward = Scroll(SQL_FETCH_FIRST, 0);
  ASSERT_EQ(forward.size(), 23u);
  EXPECT_EQ(forward.front(), "4");
  ASSERT_EQ(SQLSetStmtAttr(cur_, SQL_ATTR_ROW_ARRAY_SIZE, (SQLPOINTER)1, 0), SQL_SUCCESS);
  std::vector<std::string> backward;
  SQLRETURN rc = SQL_SUCCESS;
  for (auto row = Scroll(SQL_FETCH_LAST, 0, &rc); rc == SQL_SUCCESS;
       row = Scroll(SQL_FETCH_PRIOR, 0, &rc))
    backward.insert(backward.begin(), row.front());
  EXPECT_EQ(rc, SQL_NO_DATA) << Diags(SQL_HANDLE_STMT, cur_);
  EXPECT_EQ(backward, forward);
  SQLLEN count = 0;
  EXPECT_EQ(SQLRowCount(cur_, &count), SQL_SUCCESS);
  EXPECT_EQ(count, 23);
  // A rowset of 100 asks for 100 key groups in one statement.
  ASSERT_EQ(SQLFreeStmt(cur_, SQL_CLOSE), SQL_SUCCESS);
  ASSERT_EQ(SQLFreeStmt(cur_, SQL_UNBIND), SQL_SUCCESS);
  OpenKeyset(100, "SELECT id FROM " + T("ks_walk") + " ORDER BY id");
  EXPECT_EQ(Scroll(SQL_FETCH_FIRST, 0), Ids(1, 23)) << Diags(SQL_HANDLE_STMT, cur_);
}

TEST_P(DmKeyset, OtherSessionsUpdatesAndDeletesShowAndInsertsDoNot) {
  const std::string t = T("ks_chg");
  MakeRows(t, 10);
  OpenKeyset(10, "SELECT id, name FROM " + t + " WHERE id > 0 ORDER BY id");
  ASSERT_EQ(Scroll(SQL_FETCH_FIRST, 0), Ids(1, 10));
  ASSERT_TRUE(OtherExec("UPDATE " + t + " SET name = 'changed' WHERE id = 3"));
  ASSERT_TRUE(OtherExec("DELETE FROM " + t + " WHERE id = 5"));
  ASSERT_TRUE(OtherExec("INSERT INTO " + t + " VALUES (11, 'new', 1)"));
  const auto again = Scroll(SQL_FETCH_FIRST, 0);
  EXPECT_EQ(again, (std::vector<std::string>{"1", "2", "3", "4", "-", "6", "7", "8", "9", "10"}));
  EXPECT_STREQ(reinterpret_cast<char*>(names_[2]), "changed");
  EXPECT_EQ(status_[4], SQL_ROW_DELETED);
  EXPECT_EQ(status_[3], SQL_ROW_SUCCESS);
  EXPECT_EQ(Scroll(SQL_FETCH_NEXT, 0), std::vector<std::string>{});
  // The deleted row stays deleted on every later fetch.
  ASSERT_EQ(SQLSetStmtAttr(cur_, SQL_ATTR_ROW_ARRAY_SIZE, (SQLPOINTER)2, 0), SQL_SUCCESS);
  EXPECT_EQ(Scroll(SQL_FETCH_ABSOLUTE, 4), (std::vector<std::string>{"4", "-"}));
}

// One row at a time, as SQLFetch and SQLGetData read it without a status array:
// another session's update shows, and the row it deleted is a hole without
// data, whether the cursor keeps old values or not.
TEST_P(DmKeyset, RowByRowADeletedRowHasNoData) {
  for (const SQLULEN concurrency : {SQL_CONCUR_READ_ONLY, SQL_CONCUR_VALUES}) {
    SCOPED_TRACE(concurrency);
    const std::string t = T("ks_single");
    MakeRows(t, 6);
    ASSERT_EQ(SQLSetStmtAttr(cur_, SQL_ATTR_CURSOR_TYPE, (SQLPOINTER)SQL_CURSOR_KEYSET_DRIVEN, 0),
              SQL_SUCCESS);
    ASSERT_EQ(SQLSetStmtAttr(cur_, SQL_ATTR_CONCURRENCY, (SQLPOINTER)concurrency, 0), SQL_SUCCESS);
    ASSERT_EQ(SQLExecDirect(cur_, (SQLCHAR*)("SELECT id, name FROM " + t + " ORDER BY id").c_str(),
                            SQL_NTS),
              SQL_SUCCESS)
        << Diags(SQL_HANDLE_STMT, cur_);
    SQLRETURN got = SQL_ERROR;
    auto next = [this, &got]() {
      const SQLRETURN rc = SQLFetch(cur_);
      EXPECT_TRUE(SQL_SUCCEEDED(rc)) << Diags(SQL_HANDLE_STMT, cur_);
      char name[21] = {};
      SQLLEN len = 0;
      got = SQLGetData(cur_, 2, SQL_C_CHAR, name, sizeof name, &len);
      return std::string(name);
    };
    EXPECT_EQ(next(), "n99");
    EXPECT_EQ(next(), "n98");
    ASSERT_TRUE(OtherExec("UPDATE " + t + " SET name = 'changed' WHERE id = 3"));
    ASSERT_TRUE(OtherExec("DELETE FROM " + t + " WHERE id = 4"));
    EXPECT_EQ(next(), "changed");
    next();
    EXPECT_EQ(got, SQL_ERROR);
    EXPECT_EQ(State(SQL_HANDLE_STMT, cur_), "HY109");
    EXPECT_EQ(next(), "n95");
    EXPECT_EQ(got, SQL_SUCCESS);
    ASSERT_EQ(SQLFreeStmt(cur_, SQL_CLOSE), SQL_SUCCESS);
  }
}

TEST_P(DmKeyset, RowsStayUnderTheirOwnKeysWhenAnotherSessionReordersThem) {
  const std::string t = T("ks_order");
  MakeRows(t, 6);
  // Ordered by name: ids 6, 5, 4, 3, 2, 1.
  OpenKeyset(6, "SELECT id, name FROM " + t + " ORDER BY name");
  ASSERT_EQ(Scroll(SQL_FETCH_FIRST, 0), (std::vector<std::string>{"6", "5", "4", "3", "2", "1"}));
  // Row 1 now sorts first, row 6 last: the keyset keeps its order, each row its data.
  ASSERT_TRUE(OtherExec("UPDATE " + t + " SET name = 'a' WHERE id = 1"));
  ASSERT_TRUE(OtherExec("UPDATE " + t + " SET name = 'z' WHERE id = 6"));
  EXPECT_EQ(Scroll(SQL_FETCH_FIRST, 0), (std::vector<std::string>{"6", "5", "4", "3", "2", "1"}));
  EXPECT_STREQ(reinterpret_cast<char*>(names_[0]), "z");
  EXPECT_STREQ(reinterpret_cast<char*>(names_[5]), "a");
  for (int i = 0; i < 6; ++i) EXPECT_EQ(status_[i], SQL_ROW_SUCCESS) << i;
}

TEST_P(DmKeyset, ThreeKeyColumnsFillTheParameterLimitInTwoBlocks) {
  // 255 parameters hold 85 groups of three keys: a rowset of 100 takes a
  // block of 85 and one of 15. The names hold underscores, which the catalog
  // reads as wildcards: a table whose name only matches the pattern must not
  // lend its columns.
  const std::string t = T("key_tab");
  const std::string decoy = T("keyxtab");
  ASSERT_TRUE(Recreate(decoy, "other_col INTEGER PRIMARY KEY"));
  ASSERT_TRUE(Recreate(t, "k_1 INTEGER, k_2 INTEGER, k_3 INTEGER, val_x VARCHAR(10), "
                          "PRIMARY KEY (k_1, k_2, k_3)"));
  for (int i = 1; i <= 120; ++i)
    ASSERT_TRUE(Exec("INSERT INTO " + t + " VALUES (" + std::to_string(i % 7) + ", " +
                     std::to_string(i) + ", " + std::to_string(i % 2) + ", 'v" +
                     std::to_string(i) + "')"));
  OpenKeyset(100, "SELECT k_2, val_x FROM " + t + " ORDER BY k_2");
  EXPECT_EQ(open_rc_, SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, cur_);
  EXPECT_EQ(CursorType(), static_cast<SQLULEN>(SQL_CURSOR_KEYSET_DRIVEN));
  EXPECT_EQ(Scroll(SQL_FETCH_FIRST, 0), Ids(1, 100));
  EXPECT_STREQ(reinterpret_cast<char*>(names_[99]), "v100");
  EXPECT_EQ(Scroll(SQL_FETCH_NEXT, 0), Ids(101, 120));
  EXPECT_EQ(Scroll(SQL_FETCH_ABSOLUTE, 12), Ids(12, 111));
}

TEST_P(DmKeyset, RequestsThatCannotBeKeyedRunStatic) {
  const std::string t = T("ks_plain");
  MakeRows(t, 5);
  ASSERT_TRUE(Recreate(T("ks_nokey"), "a INTEGER, b INTEGER"));
  ASSERT_TRUE(Exec("INSERT INTO " + T("ks_nokey") + " VALUES (1, 2)"));
  for (const std::string& sql :
       {"SELECT DISTINCT grp FROM " + t, "SELECT UNIQUE grp FROM " + t,
        "SELECT COUNT(*) FROM " + t, "SELECT a, b FROM " + T("ks_nokey")}) {
    SCOPED_TRACE(sql);
    OpenKeyset(5, sql);
    EXPECT_EQ(open_rc_, SQL_SUCCESS_WITH_INFO);
    EXPECT_EQ(open_state_, "01S02");
    EXPECT_EQ(CursorType(), static_cast<SQLULEN>(SQL_CURSOR_STATIC));
    SQLRETURN rc = SQL_ERROR;
    EXPECT_FALSE(Scroll(SQL_FETCH_LAST, 0, &rc).empty()) << Diags(SQL_HANDLE_STMT, cur_);
    ASSERT_EQ(SQLFreeStmt(cur_, SQL_CLOSE), SQL_SUCCESS);
    ASSERT_EQ(SQLFreeStmt(cur_, SQL_UNBIND), SQL_SUCCESS);
  }
  SQLUINTEGER options = 0;
  ASSERT_EQ(SQLGetInfo(dbc_, SQL_SCROLL_OPTIONS, &options, sizeof options, nullptr), SQL_SUCCESS);
  EXPECT_NE(options & SQL_SO_KEYSET_DRIVEN, 0u);
}

TEST_P(DmKeyset, ParametersAndReexecution) {
  const std::string t = T("ks_param");
  MakeRows(t, 12);
  ASSERT_EQ(SQLSetStmtAttr(cur_, SQL_ATTR_CURSOR_TYPE, (SQLPOINTER)SQL_CURSOR_KEYSET_DRIVEN, 0),
            SQL_SUCCESS);
  ASSERT_EQ(SQLSetStmtAttr(cur_, SQL_ATTR_ROW_ARRAY_SIZE, (SQLPOINTER)4, 0), SQL_SUCCESS);
  ASSERT_EQ(SQLSetStmtAttr(cur_, SQL_ATTR_ROW_STATUS_PTR, status_, 0), SQL_SUCCESS);
  ASSERT_EQ(SQLSetStmtAttr(cur_, SQL_ATTR_ROWS_FETCHED_PTR, &fetched_, 0), SQL_SUCCESS);
  ASSERT_EQ(SQLPrepare(cur_, (SQLCHAR*)("SELECT id FROM " + t + " WHERE id > ? ORDER BY id").c_str(),
                       SQL_NTS),
            SQL_SUCCESS)
      << Diags(SQL_HANDLE_STMT, cur_);
  SQLINTEGER low = 5;
  SQLLEN lowInd = 0;
  ASSERT_EQ(SQLBindParameter(cur_, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &low, 0,
                             &lowInd),
            SQL_SUCCESS);
  ASSERT_EQ(SQLBindCol(cur_, 1, SQL_C_SLONG, ids_, 0, idInd_), SQL_SUCCESS);
  ASSERT_EQ(SQLExecute(cur_), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, cur_);
  EXPECT_EQ(Scroll(SQL_FETCH_LAST, 0), Ids(9, 12));
  EXPECT_EQ(Scroll(SQL_FETCH_FIRST, 0), Ids(6, 9));
  ASSERT_EQ(SQLCloseCursor(cur_), SQL_SUCCESS);
  low = 9;
  ASSERT_EQ(SQLExecute(cur_), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, cur_);
  EXPECT_EQ(Scroll(SQL_FETCH_FIRST, 0), Ids(10, 12));
  SQLLEN count = 0;
  EXPECT_EQ(SQLRowCount(cur_, &count), SQL_SUCCESS);
  EXPECT_EQ(count, 3);
}

TEST_P(DmKeyset, BookmarksRowNumbersAndGetData) {
  const std::string t = T("ks_marks");
  MakeRows(t, 15);
  ASSERT_EQ(SQLSetStmtAttr(cur_, SQL_ATTR_USE_BOOKMARKS, (SQLPOINTER)SQL_UB_VARIABLE, 0),
            SQL_SUCCESS);
  OpenKeyset(3, "SELECT id, name FROM " + t + " ORDER BY id");
  SQLBIGINT marks[3] = {};
  SQLLEN markInd[3] = {};
  ASSERT_EQ(SQLBindCol(cur_, 0, SQL_C_VARBOOKMARK, marks, sizeof marks[0], markInd), SQL_SUCCESS)
      << Diags(SQL_HANDLE_STMT, cur_);
  // The name is read with SQLGetData, which reads no bound column.
  ASSERT_EQ(SQLBindCol(cur_, 2, SQL_C_CHAR, nullptr, 0, nullptr), SQL_SUCCESS);
  EXPECT_EQ(Scroll(SQL_FETCH_ABSOLUTE, 10), Ids(10, 12));
  const SQLBIGINT eleventh = marks[1];
  SQLULEN number = 0;
  ASSERT_EQ(SQLGetStmtAttr(cur_, SQL_ATTR_ROW_NUMBER, &number, 0, nullptr), SQL_SUCCESS);
  EXPECT_EQ(number, 10u);
  char name[21] = {};
  SQLLEN len = 0;
  ASSERT_EQ(SQLGetData(cur_, 2, SQL_C_CHAR, name, sizeof name, &len), SQL_SUCCESS)
      << Diags(SQL_HANDLE_STMT, cur_);
  EXPECT_STREQ(name, "n90");
  EXPECT_EQ(Scroll(SQL_FETCH_FIRST, 0), Ids(1, 3));
  ASSERT_EQ(SQLSetStmtAttr(cur_, SQL_ATTR_FETCH_BOOKMARK_PTR, (SQLPOINTER)&eleventh, 0),
            SQL_SUCCESS);
  EXPECT_EQ(Scroll(SQL_FETCH_BOOKMARK, 0), Ids(11, 13));
  EXPECT_EQ(Scroll(SQL_FETCH_BOOKMARK, -2), Ids(9, 11));
  SQLRETURN rc = SQL_SUCCESS;
  Scroll(SQL_FETCH_BOOKMARK, 10, &rc);
  EXPECT_EQ(rc, SQL_NO_DATA);
}

TEST_P(DmKeyset, ConcurrencyServedOrSubstituted) {
  const std::string t = T("ks_conc");
  MakeRows(t, 8);
  struct Case {
    SQLULEN asked, served;
  };
  for (const Case c : {Case{SQL_CONCUR_VALUES, SQL_CONCUR_VALUES}, Case{SQL_CONCUR_LOCK, SQL_CONCUR_VALUES},
                       Case{SQL_CONCUR_ROWVER, SQL_CONCUR_VALUES}}) {
    SCOPED_TRACE(c.asked);
    ASSERT_EQ(SQLSetStmtAttr(cur_, SQL_ATTR_CURSOR_TYPE, (SQLPOINTER)SQL_CURSOR_KEYSET_DRIVEN, 0),
              SQL_SUCCESS);
    // What is not served is substituted when it is asked for.
    EXPECT_EQ(SQLSetStmtAttr(cur_, SQL_ATTR_CONCURRENCY, (SQLPOINTER)c.asked, 0),
              c.asked == c.served ? SQL_SUCCESS : SQL_SUCCESS_WITH_INFO)
        << Diags(SQL_HANDLE_STMT, cur_);
    OpenKeyset(3, "SELECT id, name FROM " + t + " ORDER BY id");
    EXPECT_EQ(open_state_, "");
    SQLULEN inForce = 0;
    ASSERT_EQ(SQLGetStmtAttr(cur_, SQL_ATTR_CONCURRENCY, &inForce, 0, nullptr), SQL_SUCCESS);
    EXPECT_EQ(inForce, c.served);
    EXPECT_EQ(CursorType(), static_cast<SQLULEN>(SQL_CURSOR_KEYSET_DRIVEN));
    EXPECT_EQ(Scroll(SQL_FETCH_LAST, 0), Ids(6, 8)) << Diags(SQL_HANDLE_STMT, cur_);
    EXPECT_EQ(Scroll(SQL_FETCH_PRIOR, 0), Ids(3, 5)) << Diags(SQL_HANDLE_STMT, cur_);
    ASSERT_EQ(SQLFreeStmt(cur_, SQL_CLOSE), SQL_SUCCESS);
    ASSERT_EQ(SQLFreeStmt(cur_, SQL_UNBIND), SQL_SUCCESS);
  }
}

// The session's temporary tables, which the server keeps out of its catalog, serve
// the cursors that scroll and change rows by keys (they used to fail at execute with
// 42S02 and native code 0): their rows are found again by row id, scrolled, changed
// through SetPos and seen changed by a refresh where the cursor type sees changes.
// A table that exists nowhere is the server's own 42S02, with its code and the name.
TEST_P(DmKeyset, TemporaryTablesServeEveryCursorType) {
  const std::string t = T("ks_temp");
  ASSERT_TRUE(Exec("CREATE TEMP TABLE " + t + " (id INTEGER PRIMARY KEY, name VARCHAR(20))"));
  for (int i = 1; i <= 5; ++i)
    ASSERT_TRUE(Exec("INSERT INTO " + t + " VALUES (" + std::to_string(i) + ", 'n" +
                     std::to_string(i) + "')"));
  struct Case {
    SQLULEN type;
    const char* select;  // the list
  };
  const Case cases[] = {
      {SQL_CURSOR_KEYSET_DRIVEN, "id, name"},
      {SQL_CURSOR_DYNAMIC, "*"},
      {SQL_CURSOR_STATIC, "id, name"},
  };
  int changed = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.type);
    SQLHSTMT st = nullptr;
    ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &st), SQL_SUCCESS);
    ASSERT_EQ(SQLSetStmtAttr(st, SQL_ATTR_CURSOR_TYPE, (SQLPOINTER)c.type, 0), SQL_SUCCESS);
    ASSERT_EQ(SQLSetStmtAttr(st, SQL_ATTR_CONCURRENCY, (SQLPOINTER)SQL_CONCUR_VALUES, 0),
              SQL_SUCCESS);
    SQLINTEGER id = 0;
    SQLCHAR name[24] = {};
    SQLLEN idInd = 0, nameInd = SQL_NTS;
    ASSERT_EQ(SQLBindCol(st, 1, SQL_C_SLONG, &id, 0, &idInd), SQL_SUCCESS);
    ASSERT_EQ(SQLBindCol(st, 2, SQL_C_CHAR, name, sizeof name, &nameInd), SQL_SUCCESS);
    const std::string sql = std::string("SELECT ") + c.select + " FROM " + t + " ORDER BY id";
    ASSERT_EQ(SQLExecDirect(st, (SQLCHAR*)sql.c_str(), SQL_NTS), SQL_SUCCESS)
        << Diags(SQL_HANDLE_STMT, st);
    SQLULEN type = 0, concurrency = 0;
    ASSERT_EQ(SQLGetStmtAttr(st, SQL_ATTR_CURSOR_TYPE, &type, 0, nullptr), SQL_SUCCESS);
    ASSERT_EQ(SQLGetStmtAttr(st, SQL_ATTR_CONCURRENCY, &concurrency, 0, nullptr), SQL_SUCCESS);
    EXPECT_EQ(type, c.type);
    EXPECT_EQ(concurrency, static_cast<SQLULEN>(SQL_CONCUR_VALUES));
    ASSERT_EQ(SQLFetchScroll(st, SQL_FETCH_LAST, 0), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
    EXPECT_EQ(id, 5);
    ASSERT_EQ(SQLFetchScroll(st, SQL_FETCH_FIRST, 0), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
    EXPECT_EQ(id, 1);
    ASSERT_EQ(SQLFetchScroll(st, SQL_FETCH_NEXT, 0), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
    EXPECT_EQ(id, 2);
    const std::string before = changed == 0 ? "n2" : "c" + std::to_string(changed);
    EXPECT_STREQ(reinterpret_cast<char*>(name), before.c_str());
    const std::string now = "c" + std::to_string(++changed);
    std::strcpy(reinterpret_cast<char*>(name), now.c_str());
    nameInd = SQL_NTS;
    ASSERT_EQ(SQLSetPos(st, 1, SQL_UPDATE, SQL_LOCK_NO_CHANGE), SQL_SUCCESS)
        << Diags(SQL_HANDLE_STMT, st);
    if (c.type != SQL_CURSOR_STATIC) {  // a static cursor keeps the rows it read
      std::strcpy(reinterpret_cast<char*>(name), "stale");
      ASSERT_EQ(SQLSetPos(st, 1, SQL_REFRESH, SQL_LOCK_NO_CHANGE), SQL_SUCCESS)
          << Diags(SQL_HANDLE_STMT, st);
      EXPECT_STREQ(reinterpret_cast<char*>(name), now.c_str());
      EXPECT_EQ(id, 2);
    }
    // The scroll goes on from the changed row.
    ASSERT_EQ(SQLFetchScroll(st, SQL_FETCH_NEXT, 0), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
    EXPECT_EQ(id, 3);
    EXPECT_STREQ(reinterpret_cast<char*>(name), "n3");
    SQLFreeHandle(SQL_HANDLE_STMT, st);

    // The change is the table's, as a plain query sees it.
    SQLCHAR seen[24] = {};
    SQLLEN seenInd = 0;
    ASSERT_EQ(SQLExecDirect(stmt_, (SQLCHAR*)("SELECT name FROM " + t + " WHERE id = 2").c_str(),
                            SQL_NTS),
              SQL_SUCCESS);
    ASSERT_EQ(SQLFetch(stmt_), SQL_SUCCESS);
    ASSERT_EQ(SQLGetData(stmt_, 1, SQL_C_CHAR, seen, sizeof seen, &seenInd), SQL_SUCCESS);
    EXPECT_STREQ(reinterpret_cast<char*>(seen), now.c_str());
    ASSERT_EQ(SQLFreeStmt(stmt_, SQL_CLOSE), SQL_SUCCESS);
  }
  ASSERT_TRUE(Exec("DROP TABLE " + t));

  ASSERT_EQ(SQLSetStmtAttr(cur_, SQL_ATTR_CURSOR_TYPE, (SQLPOINTER)SQL_CURSOR_KEYSET_DRIVEN, 0),
            SQL_SUCCESS);
  EXPECT_EQ(SQLExecDirect(cur_, (SQLCHAR*)("SELECT id FROM " + t).c_str(), SQL_NTS), SQL_ERROR);
  SQLCHAR state[6] = {};
  SQLINTEGER native = 0;
  SQLCHAR text[512] = {};
  SQLSMALLINT len = 0;
  ASSERT_EQ(SQLGetDiagRec(SQL_HANDLE_STMT, cur_, 1, state, &native, text, sizeof text, &len),
            SQL_SUCCESS);
  EXPECT_STREQ(reinterpret_cast<char*>(state), "42S02");
  EXPECT_EQ(native, -206);
  EXPECT_NE(std::string(reinterpret_cast<char*>(text)).find(t), std::string::npos) << text;
}

TEST_P(DmKeyset, ForwardOnlySelectNamesItsBaseColumnsAndCarriesItsKeys) {
  const std::string t = T("ks_base");
  MakeRows(t, 3);
  auto attr = [this](SQLUSMALLINT col, SQLUSMALLINT field) {
    SQLLEN v = -1;
    EXPECT_TRUE(SQL_SUCCEEDED(SQLColAttribute(cur_, col, field, nullptr, 0, nullptr, &v)))
        << Diags(SQL_HANDLE_STMT, cur_);
    return v;
  };
  auto text = [this](SQLUSMALLINT col, SQLUSMALLINT field) {
    char buf[128] = {};
    SQLSMALLINT len = 0;
    EXPECT_TRUE(SQL_SUCCEEDED(SQLColAttribute(cur_, col, field, buf, sizeof buf, &len, nullptr)));
    return std::string(buf);
  };
  // Under 1054 a select list without the key gets it appended.
  ASSERT_EQ(SQLSetStmtAttr(cur_, 1054, (SQLPOINTER)1, 0), SQL_SUCCESS);
  ASSERT_EQ(SQLExecDirect(cur_, (SQLCHAR*)("SELECT name FROM " + t + " ORDER BY id").c_str(),
                          SQL_NTS),
            SQL_SUCCESS)
      << Diags(SQL_HANDLE_STMT, cur_);
  SQLSMALLINT cols = 0;
  ASSERT_EQ(SQLNumResultCols(cur_, &cols), SQL_SUCCESS);
  ASSERT_EQ(cols, 2);
  EXPECT_EQ(text(2, SQL_DESC_NAME), "id");
  EXPECT_EQ(attr(2, 1053), 1);
  EXPECT_EQ(attr(1, 1053), 0);
  EXPECT_EQ(attr(1, 1055), 0);
  EXPECT_EQ(text(1, SQL_DESC_BASE_TABLE_NAME), t);
  ASSERT_EQ(SQLFetch(cur_), SQL_SUCCESS);
  SQLINTEGER id = 0;
  ASSERT_EQ(SQLGetData(cur_, 2, SQL_C_SLONG, &id, 0, nullptr), SQL_SUCCESS);
  EXPECT_EQ(id, 1);
  ASSERT_EQ(SQLFreeStmt(cur_, SQL_CLOSE), SQL_SUCCESS);
  // All columns of the table are spelled out, an expression stays as written.
  ASSERT_EQ(SQLSetStmtAttr(cur_, 1054, (SQLPOINTER)0, 0), SQL_SUCCESS);
  ASSERT_EQ(SQLSetStmtAttr(cur_, 1052, (SQLPOINTER)1, 0), SQL_SUCCESS);
  ASSERT_EQ(SQLExecDirect(cur_, (SQLCHAR*)("SELECT x.*, id + 1 FROM " + t + " x").c_str(), SQL_NTS),
            SQL_SUCCESS)
      << Diags(SQL_HANDLE_STMT, cur_);
  ASSERT_EQ(SQLNumResultCols(cur_, &cols), SQL_SUCCESS);
  ASSERT_EQ(cols, 4);
  EXPECT_EQ(attr(1, 1053), 1);
  EXPECT_EQ(attr(4, 1053), 0);
  EXPECT_EQ(attr(4, 1055), 1);
  EXPECT_EQ(attr(3, 1055), 0);
  EXPECT_EQ(text(3, SQL_DESC_BASE_COLUMN_NAME), "grp");
}

KES_E2E_BUILDS(DmKeyset);

}  // namespace
