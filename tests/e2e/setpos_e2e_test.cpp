// setpos_e2e_test.cpp -- SQLSetPos and SQLBulkOperations through the Driver
// Manager and each driver library: whatever SQLGetFunctions and SQLGetInfo say
// of them is what calling them gives, and what a scrollable cursor serves
// (positioning, refresh, rows fetched by bookmarks) reads the database's rows.

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include "e2e_db.h"

namespace {

class DmSetPos : public DmTest {
 public:
  static void SetUpTestSuite() {
    DmTest::SetUpTestSuite();
    MakeDatabase("kes_setpos", "setposdb");
  }

 protected:
  void SetUp() override {
    DmTest::SetUp();
    std::string in =
        std::string("DSN=") + GetParam().dsn + ";UID=u;PWD=p;DATABASE=setposdb@kes_setpos;";
    ASSERT_TRUE(SQL_SUCCEEDED(SQLDriverConnect(dbc_, nullptr, (SQLCHAR*)in.c_str(), SQL_NTS,
                                               nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT)))
        << Message(SQL_HANDLE_DBC, dbc_);
    ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &stmt_), SQL_SUCCESS);
    // The first build to run makes the table; the other finds it.
    (void)SQLExecDirect(stmt_, (SQLCHAR*)"CREATE TABLE sp_rows (id INTEGER, name VARCHAR(20))",
                        SQL_NTS);
    SQLFreeStmt(stmt_, SQL_CLOSE);
    (void)SQLExecDirect(stmt_, (SQLCHAR*)"DELETE FROM sp_rows", SQL_NTS);
    SQLFreeStmt(stmt_, SQL_CLOSE);
    for (int i = 1; i <= 10; ++i) {
      const std::string sql = "INSERT INTO sp_rows VALUES (" + std::to_string(i) + ", 'r" +
                              std::to_string(i) + "')";
      ASSERT_TRUE(SQL_SUCCEEDED(SQLExecDirect(stmt_, (SQLCHAR*)sql.c_str(), SQL_NTS)))
          << Message(SQL_HANDLE_STMT, stmt_);
      SQLFreeStmt(stmt_, SQL_CLOSE);
    }
  }
  void TearDown() override {
    if (stmt_ != nullptr) SQLFreeHandle(SQL_HANDLE_STMT, stmt_);
    DmTest::TearDown();
  }
  SQLHSTMT stmt_ = nullptr;
};

// A function the driver does not claim answers that it cannot; one it claims
// never answers "Driver not capable" for a plain request.
TEST_P(DmSetPos, ClaimsMatchAnswers) {
  SQLUSMALLINT setPos = 99;
  SQLUSMALLINT bulk = 99;
  ASSERT_EQ(SQLGetFunctions(dbc_, SQL_API_SQLSETPOS, &setPos), SQL_SUCCESS);
  ASSERT_EQ(SQLGetFunctions(dbc_, SQL_API_SQLBULKOPERATIONS, &bulk), SQL_SUCCESS);
  SQLINTEGER id = 0;
  SQLLEN ind = 0;
  ASSERT_EQ(SQLBindCol(stmt_, 1, SQL_C_SLONG, &id, 0, &ind), SQL_SUCCESS);
  ASSERT_EQ(SQLExecDirect(stmt_, (SQLCHAR*)"SELECT id FROM sp_rows ORDER BY id", SQL_NTS),
            SQL_SUCCESS)
      << Message(SQL_HANDLE_STMT, stmt_);
  ASSERT_EQ(SQLFetch(stmt_), SQL_SUCCESS);
  struct Call {
    const char* what;
    SQLUSMALLINT claimed;
    SQLRETURN rc;
    std::string state;
  };
  const SQLRETURN p = SQLSetPos(stmt_, 1, SQL_POSITION, SQL_LOCK_NO_CHANGE);
  const std::string ps = State(SQL_HANDLE_STMT, stmt_);
  const SQLRETURN b = SQLBulkOperations(stmt_, SQL_ADD);
  const std::string bs = State(SQL_HANDLE_STMT, stmt_);
  for (const Call& c : {Call{"SQLSetPos", setPos, p, ps}, Call{"SQLBulkOperations", bulk, b, bs}}) {
    SCOPED_TRACE(c.what);
    EXPECT_TRUE(c.claimed == SQL_TRUE || c.claimed == SQL_FALSE);
    if (c.claimed == SQL_FALSE) {
      EXPECT_EQ(c.rc, SQL_ERROR);
      EXPECT_TRUE(c.state == "HYC00" || c.state == "IM001") << c.state;
    } else {
      EXPECT_NE(c.state, "HYC00");
    }
  }
  // The statement goes on as before.
  ASSERT_EQ(SQLFetch(stmt_), SQL_SUCCESS);
  EXPECT_EQ(id, 2);
}

// A static cursor positions on a row of its rowset, refreshes it from the rows
// it holds, fetches rows by their bookmarks in the order given, and changes
// nothing it does not claim to.
TEST_P(DmSetPos, StaticCursorPositionsRefreshesAndFetchesByBookmarks) {
  ASSERT_EQ(SQLSetStmtAttr(stmt_, SQL_ATTR_CURSOR_TYPE, (SQLPOINTER)SQL_CURSOR_STATIC, 0),
            SQL_SUCCESS);
  ASSERT_EQ(SQLSetStmtAttr(stmt_, SQL_ATTR_USE_BOOKMARKS, (SQLPOINTER)SQL_UB_VARIABLE, 0),
            SQL_SUCCESS);
  ASSERT_EQ(SQLSetStmtAttr(stmt_, SQL_ATTR_ROW_ARRAY_SIZE, (SQLPOINTER)10, 0), SQL_SUCCESS);
  SQLINTEGER id[10] = {};
  SQLLEN idLen[10] = {};
  SQLUSMALLINT status[10] = {};
  SQLULEN fetched = 0;
  ASSERT_EQ(SQLBindCol(stmt_, 1, SQL_C_SLONG, id, 0, idLen), SQL_SUCCESS);
  ASSERT_EQ(SQLSetStmtAttr(stmt_, SQL_ATTR_ROW_STATUS_PTR, status, 0), SQL_SUCCESS);
  ASSERT_EQ(SQLSetStmtAttr(stmt_, SQL_ATTR_ROWS_FETCHED_PTR, &fetched, 0), SQL_SUCCESS);
  ASSERT_EQ(SQLExecDirect(stmt_, (SQLCHAR*)"SELECT id, name FROM sp_rows ORDER BY id", SQL_NTS),
            SQL_SUCCESS)
      << Message(SQL_HANDLE_STMT, stmt_);
  ASSERT_EQ(SQLFetchScroll(stmt_, SQL_FETCH_FIRST, 0), SQL_SUCCESS);
  ASSERT_EQ(fetched, 10u);

  ASSERT_EQ(SQLSetPos(stmt_, 4, SQL_POSITION, SQL_LOCK_NO_CHANGE), SQL_SUCCESS)
      << Message(SQL_HANDLE_STMT, stmt_);
  char name[12] = {};
  SQLLEN len = 0;
  ASSERT_EQ(SQLGetData(stmt_, 2, SQL_C_CHAR, name, sizeof name, &len), SQL_SUCCESS);
  EXPECT_STREQ(name, "r4");
  ASSERT_EQ(SQLSetPos(stmt_, 0, SQL_REFRESH, SQL_LOCK_NO_CHANGE), SQL_SUCCESS)
      << Message(SQL_HANDLE_STMT, stmt_);
  EXPECT_EQ(id[9], 10);
  EXPECT_EQ(status[9], SQL_ROW_SUCCESS);

  // What SQLGetInfo does not claim is refused and changes nothing.
  SQLUINTEGER posOps = 0;
  ASSERT_EQ(SQLGetInfo(dbc_, SQL_POS_OPERATIONS, &posOps, sizeof posOps, nullptr), SQL_SUCCESS);
  EXPECT_NE(posOps & SQL_POS_POSITION, 0u);
  EXPECT_NE(posOps & SQL_POS_REFRESH, 0u);
  SQLULEN concurrency = 0;
  ASSERT_EQ(SQLGetStmtAttr(stmt_, SQL_ATTR_CONCURRENCY, &concurrency, 0, nullptr), SQL_SUCCESS);
  if ((posOps & SQL_POS_DELETE) == 0 || concurrency == SQL_CONCUR_READ_ONLY) {
    EXPECT_EQ(SQLSetPos(stmt_, 1, SQL_DELETE, SQL_LOCK_NO_CHANGE), SQL_ERROR);
    EXPECT_NE(State(SQL_HANDLE_STMT, stmt_), "HYC00");
  }

  // Bookmarks 5, 2 and 9 come back in that order.
  ASSERT_EQ(SQLSetStmtAttr(stmt_, SQL_ATTR_ROW_ARRAY_SIZE, (SQLPOINTER)3, 0), SQL_SUCCESS);
  int64_t marks[3] = {5, 2, 9};
  ASSERT_EQ(SQLBindCol(stmt_, 0, SQL_C_VARBOOKMARK, marks, sizeof marks[0], nullptr),
            SQL_SUCCESS)
      << Message(SQL_HANDLE_STMT, stmt_);
  ASSERT_EQ(SQLBulkOperations(stmt_, SQL_FETCH_BY_BOOKMARK), SQL_SUCCESS)
      << Message(SQL_HANDLE_STMT, stmt_);
  EXPECT_EQ((std::vector<SQLINTEGER>{id[0], id[1], id[2]}), (std::vector<SQLINTEGER>{5, 2, 9}));
  EXPECT_EQ((std::vector<SQLUSMALLINT>{status[0], status[1], status[2]}),
            (std::vector<SQLUSMALLINT>(3, SQL_ROW_SUCCESS)));
  ASSERT_EQ(SQLGetData(stmt_, 2, SQL_C_CHAR, name, sizeof name, &len), SQL_SUCCESS);
  EXPECT_STREQ(name, "r5");

  // Nothing was written: a second statement reads every row as it was.
  SQLHSTMT other = nullptr;
  ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &other), SQL_SUCCESS);
  SQLINTEGER count = 0;
  ASSERT_EQ(SQLExecDirect(other, (SQLCHAR*)"SELECT COUNT(*) FROM sp_rows", SQL_NTS), SQL_SUCCESS);
  ASSERT_EQ(SQLFetch(other), SQL_SUCCESS);
  ASSERT_EQ(SQLGetData(other, 1, SQL_C_SLONG, &count, 0, nullptr), SQL_SUCCESS);
  EXPECT_EQ(count, 10);
  SQLFreeHandle(SQL_HANDLE_STMT, other);
}

INSTANTIATE_TEST_SUITE_P(Builds, DmSetPos,
                         ::testing::Values(DmBuild{"w", "kes_w"}, DmBuild{"a", "kes_a"}),
                         [](const auto& info) { return std::string(info.param.name); });

// Keyset-driven cursors under value concurrency change the rows of their
// rowset in place: each change is a statement that finds its row by key and
// by the values the cursor read, so another session's change since the fetch
// leaves the row alone and reads as an error of that row.
class DmPositioned : public DbTest {
 protected:
  void SetUp() override {
    DbTest::SetUp();
    table_ = "sp_keyed_" + std::string(GetParam().name);
    ASSERT_TRUE(Recreate(table_, "id INTEGER PRIMARY KEY, name VARCHAR(20), qty INTEGER"));
    for (int i = 1; i <= rows_; ++i)
      ASSERT_TRUE(Exec("INSERT INTO " + table_ + " VALUES (" + std::to_string(i) + ", 'n" +
                       std::to_string(i) + "', " + std::to_string(10 * i) + ")"));
    ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &cur_), SQL_SUCCESS);
    ASSERT_EQ(SQLSetStmtAttr(cur_, SQL_ATTR_CURSOR_TYPE, (SQLPOINTER)type_, 0), SQL_SUCCESS);
    ASSERT_EQ(SQLSetStmtAttr(cur_, SQL_ATTR_CONCURRENCY, (SQLPOINTER)SQL_CONCUR_VALUES, 0),
              SQL_SUCCESS);
    ASSERT_EQ(SQLSetStmtAttr(cur_, SQL_ATTR_USE_BOOKMARKS, (SQLPOINTER)SQL_UB_VARIABLE, 0),
              SQL_SUCCESS);
    ASSERT_EQ(SQLSetStmtAttr(cur_, SQL_ATTR_ROW_ARRAY_SIZE, (SQLPOINTER)3, 0), SQL_SUCCESS);
    ASSERT_EQ(SQLSetStmtAttr(cur_, SQL_ATTR_ROW_STATUS_PTR, status_, 0), SQL_SUCCESS);
    ASSERT_EQ(SQLBindCol(cur_, 1, SQL_C_SLONG, id_, 0, idInd_), SQL_SUCCESS);
    ASSERT_EQ(SQLBindCol(cur_, 2, SQL_C_CHAR, name_, sizeof name_[0], nameInd_), SQL_SUCCESS);
    ASSERT_EQ(SQLBindCol(cur_, 3, SQL_C_SLONG, qty_, 0, qtyInd_), SQL_SUCCESS);
    const std::string sql = "SELECT id, name, qty FROM " + table_ + " ORDER BY id";
    ASSERT_EQ(SQLExecDirect(cur_, (SQLCHAR*)sql.c_str(), SQL_NTS), SQL_SUCCESS)
        << Diags(SQL_HANDLE_STMT, cur_);
    SQLULEN type = 0, concurrency = 0;
    ASSERT_EQ(SQLGetStmtAttr(cur_, SQL_ATTR_CURSOR_TYPE, &type, 0, nullptr), SQL_SUCCESS);
    ASSERT_EQ(type, type_);
    ASSERT_EQ(SQLGetStmtAttr(cur_, SQL_ATTR_CONCURRENCY, &concurrency, 0, nullptr), SQL_SUCCESS);
    ASSERT_EQ(concurrency, static_cast<SQLULEN>(SQL_CONCUR_VALUES));
    ASSERT_EQ(SQLFetchScroll(cur_, SQL_FETCH_FIRST, 0), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, cur_);
  }
  void TearDown() override {
    if (cur_ != nullptr) SQLFreeHandle(SQL_HANDLE_STMT, cur_);
    if (other_ != nullptr) {
      SQLDisconnect(other_);
      SQLFreeHandle(SQL_HANDLE_DBC, other_);
    }
    DbTest::TearDown();
  }
  // The table as another session reads it: "id:name:qty" joined by ";".
  std::string Table() {
    SQLHSTMT s = nullptr;
    SQLAllocHandle(SQL_HANDLE_STMT, Other(), &s);
    const std::string sql = "SELECT id, name, qty FROM " + table_ + " ORDER BY id";
    std::string out;
    if (SQL_SUCCEEDED(SQLExecDirect(s, (SQLCHAR*)sql.c_str(), SQL_NTS))) {
      while (SQL_SUCCEEDED(SQLFetch(s))) {
        SQLINTEGER id = 0, qty = 0;
        char name[24] = {};
        SQLLEN len = 0;
        SQLGetData(s, 1, SQL_C_SLONG, &id, 0, nullptr);
        SQLGetData(s, 2, SQL_C_CHAR, name, sizeof name, &len);
        SQLGetData(s, 3, SQL_C_SLONG, &qty, 0, nullptr);
        out += (out.empty() ? "" : ";") + std::to_string(id) + ":" + name + ":" + std::to_string(qty);
      }
    }
    SQLFreeHandle(SQL_HANDLE_STMT, s);
    return out;
  }
  SQLHDBC Other() {
    if (other_ == nullptr) {
      SQLAllocHandle(SQL_HANDLE_DBC, env_, &other_);
      const std::string in = std::string("DSN=") + GetParam().dsn + ";DATABASE=e2edata@kes_e2e_data";
      EXPECT_TRUE(SQL_SUCCEEDED(SQLDriverConnect(other_, nullptr, (SQLCHAR*)in.c_str(), SQL_NTS,
                                                 nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT)));
    }
    return other_;
  }
  void OtherExec(const std::string& sql) {
    SQLHSTMT s = nullptr;
    SQLAllocHandle(SQL_HANDLE_STMT, Other(), &s);
    EXPECT_TRUE(SQL_SUCCEEDED(SQLExecDirect(s, (SQLCHAR*)sql.c_str(), SQL_NTS))) << sql;
    SQLFreeHandle(SQL_HANDLE_STMT, s);
  }
  void Name(int row, const char* text) {
    std::strcpy(name_[row], text);
    nameInd_[row] = SQL_NTS;
    idInd_[row] = qtyInd_[row] = SQL_COLUMN_IGNORE;
  }

  std::string table_;
  SQLULEN type_ = SQL_CURSOR_KEYSET_DRIVEN;
  int rows_ = 6;  // rows of the table
  SQLHSTMT cur_ = nullptr;
  SQLHDBC other_ = nullptr;
  // Room for a rowset of the whole table; the tests' rowsets have 3 rows.
  SQLINTEGER id_[10] = {}, qty_[10] = {};
  SQLLEN idInd_[10] = {}, nameInd_[10] = {}, qtyInd_[10] = {};
  char name_[10][24] = {};
  SQLUSMALLINT status_[10] = {};
};

TEST_P(DmPositioned, UpdateDeleteAndAddThroughSetPos) {
  Name(1, "two");
  ASSERT_EQ(SQLSetPos(cur_, 2, SQL_UPDATE, SQL_LOCK_NO_CHANGE), SQL_SUCCESS)
      << Diags(SQL_HANDLE_STMT, cur_);
  EXPECT_EQ(status_[1], SQL_ROW_UPDATED);
  EXPECT_EQ(Table(), "1:n1:10;2:two:20;3:n3:30;4:n4:40;5:n5:50;6:n6:60");

  // Another session changed row 3 after the fetch: nothing is written.
  OtherExec("UPDATE " + table_ + " SET name = 'theirs' WHERE id = 3");
  Name(2, "mine");
  EXPECT_EQ(SQLSetPos(cur_, 3, SQL_UPDATE, SQL_LOCK_NO_CHANGE), SQL_ERROR);
  EXPECT_EQ(State(SQL_HANDLE_STMT, cur_), "01001");
  EXPECT_EQ(status_[2], SQL_ROW_ERROR);
  EXPECT_EQ(Table(), "1:n1:10;2:two:20;3:theirs:30;4:n4:40;5:n5:50;6:n6:60");

  ASSERT_EQ(SQLSetPos(cur_, 1, SQL_DELETE, SQL_LOCK_NO_CHANGE), SQL_SUCCESS)
      << Diags(SQL_HANDLE_STMT, cur_);
  EXPECT_EQ(status_[0], SQL_ROW_DELETED);
  EXPECT_EQ(SQLSetPos(cur_, 1, SQL_UPDATE, SQL_LOCK_NO_CHANGE), SQL_ERROR) << "a deleted row";

  // New rows typed into the rowset's buffers.
  for (int k = 0; k < 3; ++k) {
    id_[k] = 11 + k;
    qty_[k] = 110 + 10 * k;
    std::snprintf(name_[k], sizeof name_[k], "new%d", k);
    idInd_[k] = qtyInd_[k] = sizeof(SQLINTEGER);
    nameInd_[k] = SQL_NTS;
  }
  qtyInd_[1] = SQL_NULL_DATA;
  ASSERT_EQ(SQLBulkOperations(cur_, SQL_ADD), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, cur_);
  EXPECT_EQ(Table(),
            "2:two:20;3:theirs:30;4:n4:40;5:n5:50;6:n6:60;11:new0:110;12:new1:0;13:new2:130");

  // A refetch shows what the cursor did and what the other session did.
  ASSERT_EQ(SQLFetchScroll(cur_, SQL_FETCH_FIRST, 0), SQL_SUCCESS);
  EXPECT_EQ(status_[0], SQL_ROW_DELETED);
  EXPECT_EQ(std::string(name_[2]), "theirs");
}

// A grid changes one row at a time: each change runs the statement of its own shape,
// whatever was changed before on the cursor (other columns, another rowset size), and
// a change the server refuses reports the server's message and leaves the next alone.
TEST_P(DmPositioned, ChangesOneRowAtATimeWhateverWasChangedBefore) {
  Name(0, "a1");
  ASSERT_EQ(SQLSetPos(cur_, 1, SQL_UPDATE, SQL_LOCK_NO_CHANGE), SQL_SUCCESS)
      << Diags(SQL_HANDLE_STMT, cur_);
  Name(1, "a2");
  ASSERT_EQ(SQLSetPos(cur_, 2, SQL_UPDATE, SQL_LOCK_NO_CHANGE), SQL_SUCCESS)
      << Diags(SQL_HANDLE_STMT, cur_);
  // Only the quantity of row 3, then a name again.
  qty_[2] = 333;
  qtyInd_[2] = sizeof(SQLINTEGER);
  idInd_[2] = nameInd_[2] = SQL_COLUMN_IGNORE;
  ASSERT_EQ(SQLSetPos(cur_, 3, SQL_UPDATE, SQL_LOCK_NO_CHANGE), SQL_SUCCESS)
      << Diags(SQL_HANDLE_STMT, cur_);
  Name(0, "b1");
  ASSERT_EQ(SQLSetPos(cur_, 1, SQL_UPDATE, SQL_LOCK_NO_CHANGE), SQL_SUCCESS)
      << Diags(SQL_HANDLE_STMT, cur_);
  EXPECT_EQ(Table(), "1:b1:10;2:a2:20;3:n3:333;4:n4:40;5:n5:50;6:n6:60");

  // Rowsets of two rows from here: the next is rows 4 and 5.
  ASSERT_EQ(SQLSetStmtAttr(cur_, SQL_ATTR_ROW_ARRAY_SIZE, (SQLPOINTER)2, 0), SQL_SUCCESS);
  ASSERT_EQ(SQLFetchScroll(cur_, SQL_FETCH_NEXT, 0), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, cur_);
  Name(1, "c5");
  ASSERT_EQ(SQLSetPos(cur_, 2, SQL_UPDATE, SQL_LOCK_NO_CHANGE), SQL_SUCCESS)
      << Diags(SQL_HANDLE_STMT, cur_);
  EXPECT_EQ(Table(), "1:b1:10;2:a2:20;3:n3:333;4:n4:40;5:c5:50;6:n6:60");

  // A new row whose key is taken, then one whose key is free.
  id_[0] = 4;
  qty_[0] = 1;
  std::strcpy(name_[0], "dup");
  idInd_[0] = qtyInd_[0] = sizeof(SQLINTEGER);
  nameInd_[0] = SQL_NTS;
  EXPECT_EQ(SQLSetPos(cur_, 1, SQL_ADD, SQL_LOCK_NO_CHANGE), SQL_ERROR);
  EXPECT_EQ(State(SQL_HANDLE_STMT, cur_).substr(0, 2), "23") << Diags(SQL_HANDLE_STMT, cur_);
  id_[0] = 7;
  ASSERT_EQ(SQLSetPos(cur_, 1, SQL_ADD, SQL_LOCK_NO_CHANGE), SQL_SUCCESS)
      << Diags(SQL_HANDLE_STMT, cur_);
  EXPECT_EQ(Table(), "1:b1:10;2:a2:20;3:n3:333;4:n4:40;5:c5:50;6:n6:60;7:dup:1");
}

// An ADD names a row of the rowset, whose buffers the application has; past it
// nothing is read and nothing is added.
TEST_P(DmPositioned, AddPastTheRowsetIsRefused) {
  SQLINTEGER id[1] = {7}, qty[1] = {70};
  char name[1][24] = {"seven"};
  SQLLEN idInd[1] = {sizeof id[0]}, nameInd[1] = {SQL_NTS}, qtyInd[1] = {sizeof qty[0]};
  SQLUSMALLINT status[1] = {};
  ASSERT_EQ(SQLSetStmtAttr(cur_, SQL_ATTR_ROW_ARRAY_SIZE, (SQLPOINTER)1, 0), SQL_SUCCESS);
  ASSERT_EQ(SQLSetStmtAttr(cur_, SQL_ATTR_ROW_STATUS_PTR, status, 0), SQL_SUCCESS);
  ASSERT_EQ(SQLBindCol(cur_, 1, SQL_C_SLONG, id, 0, idInd), SQL_SUCCESS);
  ASSERT_EQ(SQLBindCol(cur_, 2, SQL_C_CHAR, name, sizeof name[0], nameInd), SQL_SUCCESS);
  ASSERT_EQ(SQLBindCol(cur_, 3, SQL_C_SLONG, qty, 0, qtyInd), SQL_SUCCESS);
  ASSERT_EQ(SQLFetchScroll(cur_, SQL_FETCH_LAST, 0), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, cur_);
  id[0] = 7;
  std::strcpy(name[0], "seven");
  qty[0] = 70;
  idInd[0] = qtyInd[0] = sizeof id[0];
  nameInd[0] = SQL_NTS;
  for (SQLSETPOSIROW row : {SQLSETPOSIROW{2}, SQLSETPOSIROW{65535}, SQLSETPOSIROW{65536}}) {
    SCOPED_TRACE(row);
    EXPECT_EQ(SQLSetPos(cur_, row, SQL_ADD, SQL_LOCK_NO_CHANGE), SQL_ERROR);
    EXPECT_EQ(State(SQL_HANDLE_STMT, cur_), "HY107");
  }
  EXPECT_EQ(Table(), "1:n1:10;2:n2:20;3:n3:30;4:n4:40;5:n5:50;6:n6:60");
  ASSERT_EQ(SQLSetPos(cur_, 1, SQL_ADD, SQL_LOCK_NO_CHANGE), SQL_SUCCESS)
      << Diags(SQL_HANDLE_STMT, cur_);
  EXPECT_EQ(Table(), "1:n1:10;2:n2:20;3:n3:30;4:n4:40;5:n5:50;6:n6:60;7:seven:70");
}

TEST_P(DmPositioned, BookmarksUpdatedAndDeletedInTheOrderGiven) {
  ASSERT_EQ(SQLSetStmtAttr(cur_, SQL_ATTR_ROW_ARRAY_SIZE, (SQLPOINTER)3, 0), SQL_SUCCESS);
  ASSERT_EQ(SQLFetchScroll(cur_, SQL_FETCH_ABSOLUTE, 4), SQL_SUCCESS);
  int64_t marks[3] = {6, 4, 5};
  ASSERT_EQ(SQLBindCol(cur_, 0, SQL_C_VARBOOKMARK, marks, sizeof marks[0], nullptr), SQL_SUCCESS);
  for (int k = 0; k < 3; ++k) Name(k, k == 0 ? "six" : k == 1 ? "four" : "five");
  ASSERT_EQ(SQLBulkOperations(cur_, SQL_UPDATE_BY_BOOKMARK), SQL_SUCCESS)
      << Diags(SQL_HANDLE_STMT, cur_);
  EXPECT_EQ(Table(), "1:n1:10;2:n2:20;3:n3:30;4:four:40;5:five:50;6:six:60");
  OtherExec("DELETE FROM " + table_ + " WHERE id = 4");
  EXPECT_EQ(SQLBulkOperations(cur_, SQL_DELETE_BY_BOOKMARK), SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ((std::vector<SQLUSMALLINT>{status_[0], status_[1], status_[2]}),
            (std::vector<SQLUSMALLINT>{SQL_ROW_DELETED, SQL_ROW_ERROR, SQL_ROW_DELETED}));
  EXPECT_EQ(Table(), "1:n1:10;2:n2:20;3:n3:30");
}

// A refresh reads the rowset's rows again from the database: another
// session's change and deletion show, the cursor's own held rows do not hide them.
TEST_P(DmPositioned, RefreshReadsTheRowsAgain) {
  OtherExec("UPDATE " + table_ + " SET name = 'theirs' WHERE id = 2");
  OtherExec("DELETE FROM " + table_ + " WHERE id = 3");
  EXPECT_EQ(std::string(name_[1]), "n2");
  ASSERT_TRUE(SQL_SUCCEEDED(SQLSetPos(cur_, 0, SQL_REFRESH, SQL_LOCK_NO_CHANGE)))
      << Diags(SQL_HANDLE_STMT, cur_);
  EXPECT_EQ(std::string(name_[1]), "theirs");
  EXPECT_EQ(status_[2], SQL_ROW_DELETED);
  // The refreshed values are the ones a change under value concurrency compares.
  Name(1, "mine");
  ASSERT_EQ(SQLSetPos(cur_, 2, SQL_UPDATE, SQL_LOCK_NO_CHANGE), SQL_SUCCESS)
      << Diags(SQL_HANDLE_STMT, cur_);
  EXPECT_EQ(Table(), "1:n1:10;2:mine:20;4:n4:40;5:n5:50;6:n6:60");

  // The deleted row does not stop the next refresh of the whole rowset, which
  // still shows it deleted; that row alone cannot be refreshed.
  OtherExec("UPDATE " + table_ + " SET name = 'again' WHERE id = 1");
  ASSERT_TRUE(SQL_SUCCEEDED(SQLSetPos(cur_, 0, SQL_REFRESH, SQL_LOCK_NO_CHANGE)))
      << Diags(SQL_HANDLE_STMT, cur_);
  EXPECT_EQ(std::string(name_[0]), "again");
  EXPECT_EQ(std::string(name_[1]), "mine");
  EXPECT_EQ(status_[2], SQL_ROW_DELETED);
  EXPECT_EQ(SQLSetPos(cur_, 3, SQL_REFRESH, SQL_LOCK_NO_CHANGE), SQL_ERROR);
  EXPECT_EQ(State(SQL_HANDLE_STMT, cur_), "HY109");
}

// A name sent at execution in pieces: SetPos asks for it, takes it in three
// pieces and then writes it.
TEST_P(DmPositioned, AValueSentAtExecutionInPieces) {
  std::strcpy(name_[0], "token");
  nameInd_[0] = SQL_LEN_DATA_AT_EXEC(9);
  idInd_[0] = qtyInd_[0] = SQL_COLUMN_IGNORE;
  ASSERT_EQ(SQLSetPos(cur_, 1, SQL_UPDATE, SQL_LOCK_NO_CHANGE), SQL_NEED_DATA)
      << Diags(SQL_HANDLE_STMT, cur_);
  SQLPOINTER token = nullptr;
  ASSERT_EQ(SQLParamData(cur_, &token), SQL_NEED_DATA) << Diags(SQL_HANDLE_STMT, cur_);
  EXPECT_EQ(token, static_cast<SQLPOINTER>(name_[0]));
  for (const char* piece : {"in", "_pie", "ces"})
    ASSERT_EQ(SQLPutData(cur_, (SQLPOINTER)piece, SQL_NTS), SQL_SUCCESS)
        << Diags(SQL_HANDLE_STMT, cur_);
  ASSERT_EQ(SQLParamData(cur_, &token), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, cur_);
  EXPECT_EQ(status_[0], SQL_ROW_UPDATED);
  EXPECT_EQ(Table(), "1:in_pieces:10;2:n2:20;3:n3:30;4:n4:40;5:n5:50;6:n6:60");
}

// A refused piece or a cancel ends a SetPos or BulkOperations dialogue and
// nothing more: nothing is written, the cursor stays open on its rowset as
// the Driver Manager takes it, and the next change and fetch work.
TEST_P(DmPositioned, ARefusedPieceOrACancelEndsOnlyTheDialogue) {
  for (bool cancel : {false, true}) {
    SCOPED_TRACE(cancel ? "a cancel" : "a refused piece");
    const std::string before = Table();
    std::strcpy(name_[0], "token");
    nameInd_[0] = SQL_LEN_DATA_AT_EXEC(4);
    idInd_[0] = qtyInd_[0] = SQL_COLUMN_IGNORE;
    ASSERT_EQ(SQLSetPos(cur_, 1, SQL_UPDATE, SQL_LOCK_NO_CHANGE), SQL_NEED_DATA)
        << Diags(SQL_HANDLE_STMT, cur_);
    SQLPOINTER token = nullptr;
    ASSERT_EQ(SQLParamData(cur_, &token), SQL_NEED_DATA) << Diags(SQL_HANDLE_STMT, cur_);
    ASSERT_EQ(SQLPutData(cur_, (SQLPOINTER) "lost", 4), SQL_SUCCESS);
    if (cancel) {
      ASSERT_TRUE(SQL_SUCCEEDED(SQLCancel(cur_))) << Diags(SQL_HANDLE_STMT, cur_);
    } else {
      EXPECT_EQ(SQLPutData(cur_, (SQLPOINTER) "x", -7), SQL_ERROR);
      EXPECT_EQ(State(SQL_HANDLE_STMT, cur_), "HY090");
    }
    EXPECT_EQ(Table(), before);
    Name(0, cancel ? "uno" : "one");
    ASSERT_EQ(SQLSetPos(cur_, 1, SQL_UPDATE, SQL_LOCK_NO_CHANGE), SQL_SUCCESS)
        << Diags(SQL_HANDLE_STMT, cur_);
  }
  EXPECT_EQ(Table(), "1:uno:10;2:n2:20;3:n3:30;4:n4:40;5:n5:50;6:n6:60");

  for (int k = 0; k < 3; ++k) {
    id_[k] = 11 + k;
    qty_[k] = 110;
    idInd_[k] = qtyInd_[k] = sizeof(SQLINTEGER);
    std::snprintf(name_[k], sizeof name_[k], "new%d", k);
    nameInd_[k] = k == 1 ? SQL_DATA_AT_EXEC : SQL_NTS;
  }
  ASSERT_EQ(SQLBulkOperations(cur_, SQL_ADD), SQL_NEED_DATA) << Diags(SQL_HANDLE_STMT, cur_);
  SQLPOINTER token = nullptr;
  ASSERT_EQ(SQLParamData(cur_, &token), SQL_NEED_DATA) << Diags(SQL_HANDLE_STMT, cur_);
  EXPECT_EQ(SQLPutData(cur_, nullptr, SQL_NULL_DATA), SQL_SUCCESS);
  EXPECT_EQ(SQLPutData(cur_, (SQLPOINTER) "x", 1), SQL_ERROR);
  EXPECT_EQ(State(SQL_HANDLE_STMT, cur_), "HY020");
  nameInd_[1] = SQL_NTS;
  ASSERT_EQ(SQLBulkOperations(cur_, SQL_ADD), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, cur_);
  EXPECT_EQ(Table(),
            "1:uno:10;2:n2:20;3:n3:30;4:n4:40;5:n5:50;6:n6:60;11:new0:110;12:new1:110;13:new2:110");
  ASSERT_EQ(SQLFetchScroll(cur_, SQL_FETCH_ABSOLUTE, 4), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, cur_);
  EXPECT_EQ(id_[0], 4);
}

// A rowset size set after the fetch takes effect at the next fetch: changes
// of the rows fetched work, and the cursor still finds each row it changed,
// whether the size shrank or grew.
TEST_P(DmPositioned, ChangesAfterTheRowsetSizeChanged) {
  // Row n of the rowset named, updated twice: the second update finds the row
  // by the values the first one wrote.
  auto updateTwice = [this](int n, const char* first, const char* second) {
    for (const char* text : {first, second}) {
      Name(n - 1, text);
      ASSERT_EQ(SQLSetPos(cur_, n, SQL_UPDATE, SQL_LOCK_NO_CHANGE), SQL_SUCCESS)
          << Diags(SQL_HANDLE_STMT, cur_);
      EXPECT_EQ(status_[n - 1], SQL_ROW_UPDATED);
    }
  };
  ASSERT_EQ(SQLSetStmtAttr(cur_, SQL_ATTR_ROW_ARRAY_SIZE, (SQLPOINTER)2, 0), SQL_SUCCESS);
  updateTwice(2, "two", "deux");
  ASSERT_EQ(SQLSetPos(cur_, 1, SQL_DELETE, SQL_LOCK_NO_CHANGE), SQL_SUCCESS)
      << Diags(SQL_HANDLE_STMT, cur_);
  EXPECT_EQ(Table(), "2:deux:20;3:n3:30;4:n4:40;5:n5:50;6:n6:60");

  int64_t marks[2] = {3, 2};
  ASSERT_EQ(SQLBindCol(cur_, 0, SQL_C_VARBOOKMARK, marks, sizeof marks[0], nullptr), SQL_SUCCESS);
  Name(0, "trois");
  Name(1, "zwei");
  ASSERT_EQ(SQLBulkOperations(cur_, SQL_UPDATE_BY_BOOKMARK), SQL_SUCCESS)
      << Diags(SQL_HANDLE_STMT, cur_);
  EXPECT_EQ((std::vector<SQLUSMALLINT>{status_[0], status_[1]}),
            (std::vector<SQLUSMALLINT>{SQL_ROW_UPDATED, SQL_ROW_UPDATED}));
  EXPECT_EQ(Table(), "2:zwei:20;3:trois:30;4:n4:40;5:n5:50;6:n6:60");
  ASSERT_EQ(SQLBindCol(cur_, 0, SQL_C_VARBOOKMARK, nullptr, 0, nullptr), SQL_SUCCESS);

  ASSERT_EQ(SQLFetchScroll(cur_, SQL_FETCH_ABSOLUTE, 4), SQL_SUCCESS);
  ASSERT_EQ(SQLSetStmtAttr(cur_, SQL_ATTR_ROW_ARRAY_SIZE, (SQLPOINTER)5, 0), SQL_SUCCESS);
  updateTwice(2, "five", "fuenf");
  EXPECT_EQ(Table(), "2:zwei:20;3:trois:30;4:n4:40;5:fuenf:50;6:n6:60");
}

// Text columns bound as UTF-16, as every application of the W functions binds
// them: a row written back unchanged is no conflict, a new name is written,
// and a rowset of new rows is added, on either library.
TEST_P(DmPositioned, WideBuffersUpdateAndAdd) {
  char16_t wide[3][24] = {};
  SQLLEN wideInd[3] = {};
  ASSERT_EQ(SQLBindCol(cur_, 2, SQL_C_WCHAR, wide, sizeof wide[0], wideInd), SQL_SUCCESS);
  ASSERT_EQ(SQLFetchScroll(cur_, SQL_FETCH_FIRST, 0), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, cur_);
  EXPECT_EQ(std::u16string(wide[1]), u"n2");
  ASSERT_EQ(SQLSetPos(cur_, 1, SQL_UPDATE, SQL_LOCK_NO_CHANGE), SQL_SUCCESS)
      << Diags(SQL_HANDLE_STMT, cur_);
  EXPECT_EQ(status_[0], SQL_ROW_UPDATED);
  std::u16string(u"zw\u00e9i").copy(wide[1], 23);
  wideInd[1] = SQL_NTS;
  ASSERT_EQ(SQLSetPos(cur_, 2, SQL_UPDATE, SQL_LOCK_NO_CHANGE), SQL_SUCCESS)
      << Diags(SQL_HANDLE_STMT, cur_);
  EXPECT_EQ(Table(), "1:n1:10;2:zw\xC3\xA9i:20;3:n3:30;4:n4:40;5:n5:50;6:n6:60");

  for (int k = 0; k < 3; ++k) {
    id_[k] = 11 + k;
    qty_[k] = 110 + 10 * k;
    idInd_[k] = qtyInd_[k] = sizeof(SQLINTEGER);
    const std::u16string name = k == 1 ? u"n\u00e9u" : u"new" + std::u16string(1, u'0' + k);
    std::fill(std::begin(wide[k]), std::end(wide[k]), u'\0');
    name.copy(wide[k], 23);
    wideInd[k] = SQL_NTS;
  }
  ASSERT_EQ(SQLBulkOperations(cur_, SQL_ADD), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, cur_);
  EXPECT_EQ((std::vector<SQLUSMALLINT>{status_[0], status_[1], status_[2]}),
            (std::vector<SQLUSMALLINT>(3, SQL_ROW_ADDED)));
  EXPECT_EQ(Table(),
            "1:n1:10;2:zw\xC3\xA9i:20;3:n3:30;4:n4:40;5:n5:50;6:n6:60;11:new0:110;"
            "12:n\xC3\xA9u:120;13:new2:130");
}

KES_E2E_BUILDS(DmPositioned);

// A static cursor under value concurrency holds the keys and the values read of
// its rows: it changes them as a keyset-driven one does, while its rows stay
// as they were read, apart from the deletions it made itself.
class DmStaticPositioned : public DmPositioned {
 protected:
  DmStaticPositioned() {
    type_ = SQL_CURSOR_STATIC;
    rows_ = 9;
  }
  std::vector<SQLUSMALLINT> Statuses() const { return {status_[0], status_[1], status_[2]}; }
};

TEST_P(DmStaticPositioned, UpdateDeleteAndAnotherSessionsChange) {
  Name(1, "two");
  ASSERT_EQ(SQLSetPos(cur_, 2, SQL_UPDATE, SQL_LOCK_NO_CHANGE), SQL_SUCCESS)
      << Diags(SQL_HANDLE_STMT, cur_);
  EXPECT_EQ(status_[1], SQL_ROW_UPDATED);
  const std::string rest = ";4:n4:40;5:n5:50;6:n6:60;7:n7:70;8:n8:80;9:n9:90";
  EXPECT_EQ(Table(), "1:n1:10;2:two:20;3:n3:30" + rest);
  // Its own change does not stop its next change of the row.
  Name(1, "deux");
  ASSERT_EQ(SQLSetPos(cur_, 2, SQL_UPDATE, SQL_LOCK_NO_CHANGE), SQL_SUCCESS)
      << Diags(SQL_HANDLE_STMT, cur_);
  Name(1, "two");
  ASSERT_EQ(SQLSetPos(cur_, 2, SQL_UPDATE, SQL_LOCK_NO_CHANGE), SQL_SUCCESS)
      << Diags(SQL_HANDLE_STMT, cur_);
  EXPECT_EQ(Table(), "1:n1:10;2:two:20;3:n3:30" + rest);

  // Another session changed row 3 after the statement ran: nothing is written.
  OtherExec("UPDATE " + table_ + " SET name = 'theirs' WHERE id = 3");
  Name(2, "mine");
  EXPECT_EQ(SQLSetPos(cur_, 3, SQL_UPDATE, SQL_LOCK_NO_CHANGE), SQL_ERROR);
  EXPECT_EQ(State(SQL_HANDLE_STMT, cur_), "01001");
  EXPECT_EQ(status_[2], SQL_ROW_ERROR);
  EXPECT_EQ(Table(), "1:n1:10;2:two:20;3:theirs:30" + rest);

  ASSERT_EQ(SQLSetPos(cur_, 1, SQL_DELETE, SQL_LOCK_NO_CHANGE), SQL_SUCCESS)
      << Diags(SQL_HANDLE_STMT, cur_);
  EXPECT_EQ(status_[0], SQL_ROW_DELETED);
  EXPECT_EQ(SQLSetPos(cur_, 1, SQL_UPDATE, SQL_LOCK_NO_CHANGE), SQL_ERROR) << "a deleted row";

  // The rows of the next rowsets by their bookmarks, in the order given.
  int64_t marks[3] = {6, 4, 5};
  ASSERT_EQ(SQLFetchScroll(cur_, SQL_FETCH_NEXT, 0), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, cur_);
  ASSERT_EQ(SQLBindCol(cur_, 0, SQL_C_VARBOOKMARK, marks, sizeof marks[0], nullptr), SQL_SUCCESS);
  for (int k = 0; k < 3; ++k) Name(k, k == 0 ? "six" : k == 1 ? "four" : "five");
  ASSERT_EQ(SQLBulkOperations(cur_, SQL_UPDATE_BY_BOOKMARK), SQL_SUCCESS)
      << Diags(SQL_HANDLE_STMT, cur_);
  EXPECT_EQ(Statuses(), std::vector<SQLUSMALLINT>(3, SQL_ROW_UPDATED));
  EXPECT_EQ(Table(), "2:two:20;3:theirs:30;4:four:40;5:five:50;6:six:60;7:n7:70;8:n8:80;9:n9:90");
  // A bookmark operation leaves no rowset to move on from.
  ASSERT_EQ(SQLFetchScroll(cur_, SQL_FETCH_ABSOLUTE, 7), SQL_SUCCESS)
      << Diags(SQL_HANDLE_STMT, cur_);
  OtherExec("DELETE FROM " + table_ + " WHERE id = 8");
  marks[0] = 9;
  marks[1] = 7;
  marks[2] = 8;
  EXPECT_EQ(SQLBulkOperations(cur_, SQL_DELETE_BY_BOOKMARK), SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(Statuses(),
            (std::vector<SQLUSMALLINT>{SQL_ROW_DELETED, SQL_ROW_DELETED, SQL_ROW_ERROR}));
  EXPECT_EQ(Table(), "2:two:20;3:theirs:30;4:four:40;5:five:50;6:six:60");

  // The rows read as they were read; the rows the cursor deleted read deleted.
  ASSERT_EQ(SQLFetchScroll(cur_, SQL_FETCH_ABSOLUTE, 7), SQL_SUCCESS);
  EXPECT_EQ(Statuses(),
            (std::vector<SQLUSMALLINT>{SQL_ROW_DELETED, SQL_ROW_SUCCESS, SQL_ROW_DELETED}));
  EXPECT_EQ(std::string(name_[1]), "n8");
  ASSERT_EQ(SQLFetchScroll(cur_, SQL_FETCH_FIRST, 0), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, cur_);
  EXPECT_EQ(Statuses(),
            (std::vector<SQLUSMALLINT>{SQL_ROW_DELETED, SQL_ROW_SUCCESS, SQL_ROW_SUCCESS}));
  EXPECT_EQ(std::string(name_[1]), "n2");
  EXPECT_EQ(std::string(name_[2]), "n3");
}

// Past the rows a static cursor keeps in memory, the keys and the values read
// of the rowset come back from its temporary files: the change reaches the
// row shown, not the row at the same place in memory.
TEST_P(DmStaticPositioned, RowsPastTheMemoryLimitChangeTheirOwnRows) {
  const std::string big = "sp_spill_" + std::string(GetParam().name);
  ASSERT_TRUE(Recreate(big, "id INTEGER PRIMARY KEY, name VARCHAR(20), qty INTEGER"));
  constexpr int kRows = 5010;
  std::vector<SQLINTEGER> ids(kRows), qtys(kRows);
  std::vector<std::array<char, 12>> names(kRows);
  for (int i = 0; i < kRows; ++i) {
    ids[i] = i + 1;
    qtys[i] = 10 * (i + 1);
    std::snprintf(names[i].data(), names[i].size(), "n%d", i + 1);
  }
  SQLHSTMT ins = nullptr;
  ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &ins), SQL_SUCCESS);
  ASSERT_EQ(SQLSetStmtAttr(ins, SQL_ATTR_PARAMSET_SIZE, (SQLPOINTER)kRows, 0), SQL_SUCCESS);
  ASSERT_EQ(SQLBindParameter(ins, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, ids.data(), 0,
                             nullptr),
            SQL_SUCCESS);
  ASSERT_EQ(SQLBindParameter(ins, 2, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 20, 0,
                             names[0].data(), names[0].size(), nullptr),
            SQL_SUCCESS);
  ASSERT_EQ(SQLBindParameter(ins, 3, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, qtys.data(),
                             0, nullptr),
            SQL_SUCCESS);
  ASSERT_EQ(SQLExecDirect(ins, (SQLCHAR*)("INSERT INTO " + big + " VALUES (?, ?, ?)").c_str(),
                          SQL_NTS),
            SQL_SUCCESS)
      << Diags(SQL_HANDLE_STMT, ins);
  SQLFreeHandle(SQL_HANDLE_STMT, ins);

  ASSERT_EQ(SQLFreeStmt(cur_, SQL_CLOSE), SQL_SUCCESS);
  const std::string sql = "SELECT id, name, qty FROM " + big + " ORDER BY id";
  ASSERT_EQ(SQLExecDirect(cur_, (SQLCHAR*)sql.c_str(), SQL_NTS), SQL_SUCCESS)
      << Diags(SQL_HANDLE_STMT, cur_);
  ASSERT_EQ(SQLFetchScroll(cur_, SQL_FETCH_ABSOLUTE, 5005), SQL_SUCCESS)
      << Diags(SQL_HANDLE_STMT, cur_);
  ASSERT_EQ(id_[1], 5006);
  Name(1, "far");
  ASSERT_EQ(SQLSetPos(cur_, 2, SQL_UPDATE, SQL_LOCK_NO_CHANGE), SQL_SUCCESS)
      << Diags(SQL_HANDLE_STMT, cur_);
  ASSERT_EQ(SQLFetchScroll(cur_, SQL_FETCH_FIRST, 0), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, cur_);
  ASSERT_EQ(SQLSetPos(cur_, 2, SQL_DELETE, SQL_LOCK_NO_CHANGE), SQL_SUCCESS)
      << Diags(SQL_HANDLE_STMT, cur_);
  SQLHSTMT s = nullptr;
  ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, Other(), &s), SQL_SUCCESS);
  const std::string read = "SELECT id, name FROM " + big + " WHERE id IN (2, 5006) OR name = 'far'";
  ASSERT_EQ(SQLExecDirect(s, (SQLCHAR*)read.c_str(), SQL_NTS), SQL_SUCCESS);
  std::string got;
  while (SQL_SUCCEEDED(SQLFetch(s))) {
    SQLINTEGER id = 0;
    char name[24] = {};
    SQLLEN len = 0;
    SQLGetData(s, 1, SQL_C_SLONG, &id, 0, nullptr);
    SQLGetData(s, 2, SQL_C_CHAR, name, sizeof name, &len);
    got += std::to_string(id) + ":" + name + ";";
  }
  SQLFreeHandle(SQL_HANDLE_STMT, s);
  EXPECT_EQ(got, "5006:far;");
}

// Where a static cursor cannot hold keys, it runs read-only and says so.
TEST_P(DmStaticPositioned, StatementsWithoutOneRowPerKeyRunReadOnly) {
  for (const std::string& sql : {"SELECT DISTINCT qty FROM " + table_,
                                "SELECT COUNT(*) FROM " + table_,
                                "SELECT qty, COUNT(*) FROM " + table_ + " GROUP BY qty"}) {
    SCOPED_TRACE(sql);
    ASSERT_EQ(SQLFreeStmt(cur_, SQL_CLOSE), SQL_SUCCESS);
    ASSERT_EQ(SQLFreeStmt(cur_, SQL_UNBIND), SQL_SUCCESS);
    ASSERT_EQ(SQLSetStmtAttr(cur_, SQL_ATTR_CONCURRENCY, (SQLPOINTER)SQL_CONCUR_VALUES, 0),
              SQL_SUCCESS);
    const SQLRETURN rc = SQLExecDirect(cur_, (SQLCHAR*)sql.c_str(), SQL_NTS);
    ASSERT_EQ(rc, SQL_SUCCESS_WITH_INFO) << Diags(SQL_HANDLE_STMT, cur_);
    EXPECT_EQ(State(SQL_HANDLE_STMT, cur_), "01S02");
    SQLULEN concurrency = 0;
    ASSERT_EQ(SQLGetStmtAttr(cur_, SQL_ATTR_CONCURRENCY, &concurrency, 0, nullptr), SQL_SUCCESS);
    EXPECT_EQ(concurrency, static_cast<SQLULEN>(SQL_CONCUR_READ_ONLY));
    ASSERT_EQ(SQLFetchScroll(cur_, SQL_FETCH_FIRST, 0), SQL_SUCCESS);
    EXPECT_EQ(SQLSetPos(cur_, 1, SQL_DELETE, SQL_LOCK_NO_CHANGE), SQL_ERROR);
  }
  EXPECT_EQ(Table(),
            "1:n1:10;2:n2:20;3:n3:30;4:n4:40;5:n5:50;6:n6:60;7:n7:70;8:n8:80;9:n9:90");
}

KES_E2E_BUILDS(DmStaticPositioned);

// Rows fetched by their bookmarks on a keyset-driven cursor are no run of the
// keyset: what follows the fetch (positioned changes, bookmark operations, the
// bookmark read back) addresses the rows fetched, in the order of their
// bookmarks.
class DmBookmarkRows : public DmPositioned {
 protected:
  DmBookmarkRows() { rows_ = 10; }
  // The whole table as the current rowset, then rowsets of 3: every row's
  // bookmark is in the rowset, as bookmark operations require.
  void WholeTableThenThreeRows() {
    ASSERT_EQ(SQLSetStmtAttr(cur_, SQL_ATTR_ROW_ARRAY_SIZE, (SQLPOINTER)10, 0), SQL_SUCCESS);
    ASSERT_EQ(SQLFetchScroll(cur_, SQL_FETCH_FIRST, 0), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, cur_);
    ASSERT_EQ(SQLSetStmtAttr(cur_, SQL_ATTR_ROW_ARRAY_SIZE, (SQLPOINTER)3, 0), SQL_SUCCESS);
    ASSERT_EQ(SQLBindCol(cur_, 0, SQL_C_VARBOOKMARK, marks_, sizeof marks_[0], nullptr),
              SQL_SUCCESS);
  }
  std::vector<SQLINTEGER> Ids() const { return {id_[0], id_[1], id_[2]}; }
  std::vector<SQLUSMALLINT> Statuses() const { return {status_[0], status_[1], status_[2]}; }
  // The bookmark of rowset row n, positioned and read as column 0 (unbound for the
  // while: the driver reads no bound column with SQLGetData).
  int64_t BookmarkOf(int n) {
    EXPECT_EQ(SQLSetPos(cur_, static_cast<SQLSETPOSIROW>(n), SQL_POSITION, SQL_LOCK_NO_CHANGE),
              SQL_SUCCESS)
        << Diags(SQL_HANDLE_STMT, cur_);
    EXPECT_EQ(SQLBindCol(cur_, 0, SQL_C_VARBOOKMARK, nullptr, 0, nullptr), SQL_SUCCESS);
    int64_t mark = 0;
    SQLLEN len = 0;
    EXPECT_EQ(SQLGetData(cur_, 0, SQL_C_VARBOOKMARK, &mark, sizeof mark, &len), SQL_SUCCESS)
        << Diags(SQL_HANDLE_STMT, cur_);
    EXPECT_EQ(SQLBindCol(cur_, 0, SQL_C_VARBOOKMARK, marks_, sizeof marks_[0], nullptr),
              SQL_SUCCESS);
    return mark;
  }
  int64_t marks_[3] = {5, 2, 9};
};

TEST_P(DmBookmarkRows, FetchedUpdatedAndDeletedInTheOrderGiven) {
  WholeTableThenThreeRows();
  ASSERT_EQ(SQLBulkOperations(cur_, SQL_FETCH_BY_BOOKMARK), SQL_SUCCESS)
      << Diags(SQL_HANDLE_STMT, cur_);
  EXPECT_EQ(Ids(), (std::vector<SQLINTEGER>{5, 2, 9}));
  EXPECT_EQ(std::string(name_[2]), "n9");
  EXPECT_EQ(Statuses(), std::vector<SQLUSMALLINT>(3, SQL_ROW_SUCCESS));
  EXPECT_EQ(BookmarkOf(3), 9);
  EXPECT_EQ(BookmarkOf(1), 5);

  for (int k = 0; k < 3; ++k) Name(k, k == 0 ? "five" : k == 1 ? "two" : "nine");
  ASSERT_EQ(SQLBulkOperations(cur_, SQL_UPDATE_BY_BOOKMARK), SQL_SUCCESS)
      << Diags(SQL_HANDLE_STMT, cur_);
  EXPECT_EQ(Statuses(), std::vector<SQLUSMALLINT>(3, SQL_ROW_UPDATED));
  EXPECT_EQ(Table(),
            "1:n1:10;2:two:20;3:n3:30;4:n4:40;5:five:50;6:n6:60;7:n7:70;8:n8:80;9:nine:90;"
            "10:n10:100");

  OtherExec("DELETE FROM " + table_ + " WHERE id = 2");
  EXPECT_EQ(SQLBulkOperations(cur_, SQL_DELETE_BY_BOOKMARK), SQL_SUCCESS_WITH_INFO)
      << Diags(SQL_HANDLE_STMT, cur_);
  EXPECT_EQ(Statuses(),
            (std::vector<SQLUSMALLINT>{SQL_ROW_DELETED, SQL_ROW_ERROR, SQL_ROW_DELETED}));
  EXPECT_EQ(Table(), "1:n1:10;3:n3:30;4:n4:40;6:n6:60;7:n7:70;8:n8:80;10:n10:100");

  // The keyset remembers what became of each row.
  ASSERT_EQ(SQLFetchScroll(cur_, SQL_FETCH_ABSOLUTE, 1), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, cur_);
  EXPECT_EQ(Statuses(), (std::vector<SQLUSMALLINT>{SQL_ROW_SUCCESS, SQL_ROW_DELETED, SQL_ROW_SUCCESS}));
}

// SetPos after a fetch by bookmarks changes the rows fetched, and after a
// scroll to a bookmark the rows from it.
TEST_P(DmBookmarkRows, SetPosAfterBookmarkFetches) {
  WholeTableThenThreeRows();
  OtherExec("DELETE FROM " + table_ + " WHERE id = 2");
  ASSERT_EQ(SQLBulkOperations(cur_, SQL_FETCH_BY_BOOKMARK), SQL_SUCCESS)
      << Diags(SQL_HANDLE_STMT, cur_);
  EXPECT_EQ((std::vector<SQLINTEGER>{id_[0], id_[2]}), (std::vector<SQLINTEGER>{5, 9}));
  EXPECT_EQ(Statuses(), (std::vector<SQLUSMALLINT>{SQL_ROW_SUCCESS, SQL_ROW_DELETED, SQL_ROW_SUCCESS}));
  Name(2, "nine");
  ASSERT_EQ(SQLSetPos(cur_, 3, SQL_UPDATE, SQL_LOCK_NO_CHANGE), SQL_SUCCESS)
      << Diags(SQL_HANDLE_STMT, cur_);
  EXPECT_EQ(status_[2], SQL_ROW_UPDATED);
  ASSERT_EQ(SQLSetPos(cur_, 1, SQL_DELETE, SQL_LOCK_NO_CHANGE), SQL_SUCCESS)
      << Diags(SQL_HANDLE_STMT, cur_);
  EXPECT_EQ(SQLSetPos(cur_, 2, SQL_UPDATE, SQL_LOCK_NO_CHANGE), SQL_ERROR) << "a deleted row";
  EXPECT_EQ(BookmarkOf(3), 9);
  EXPECT_EQ(Table(), "1:n1:10;3:n3:30;4:n4:40;6:n6:60;7:n7:70;8:n8:80;9:nine:90;10:n10:100");

  // A scroll to bookmark 9 with offset 0 starts the rowset there again.
  SQLLEN mark = 9;
  ASSERT_EQ(SQLSetStmtAttr(cur_, SQL_ATTR_FETCH_BOOKMARK_PTR, &mark, 0), SQL_SUCCESS);
  ASSERT_EQ(SQLFetchScroll(cur_, SQL_FETCH_BOOKMARK, 0), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, cur_);
  EXPECT_EQ((std::vector<SQLINTEGER>{id_[0], id_[1]}), (std::vector<SQLINTEGER>{9, 10}));
  EXPECT_EQ(std::string(name_[0]), "nine");
  Name(1, "ten");
  ASSERT_EQ(SQLSetPos(cur_, 2, SQL_UPDATE, SQL_LOCK_NO_CHANGE), SQL_SUCCESS)
      << Diags(SQL_HANDLE_STMT, cur_);
  EXPECT_EQ(BookmarkOf(2), 10);
  EXPECT_EQ(Table(), "1:n1:10;3:n3:30;4:n4:40;6:n6:60;7:n7:70;8:n8:80;9:nine:90;10:ten:100");
}

// A copy of the IRD onto the ARD leaves the bookmark column with its indicator
// and without its buffer: it binds no bookmarks, and nothing is read through it.
TEST_P(DmBookmarkRows, ABookmarkColumnWithoutItsBufferBindsNoBookmarks) {
  WholeTableThenThreeRows();
  SQLLEN markInd[3] = {};
  ASSERT_EQ(SQLBindCol(cur_, 0, SQL_C_VARBOOKMARK, marks_, sizeof marks_[0], markInd), SQL_SUCCESS);
  SQLHDESC ird = nullptr, ard = nullptr;
  ASSERT_EQ(SQLGetStmtAttr(cur_, SQL_ATTR_IMP_ROW_DESC, &ird, 0, nullptr), SQL_SUCCESS);
  ASSERT_EQ(SQLGetStmtAttr(cur_, SQL_ATTR_APP_ROW_DESC, &ard, 0, nullptr), SQL_SUCCESS);
  ASSERT_TRUE(SQL_SUCCEEDED(SQLCopyDesc(ird, ard))) << Diags(SQL_HANDLE_DESC, ard);
  SQLPOINTER data = &data;
  ASSERT_EQ(SQLGetDescField(ard, 0, SQL_DESC_DATA_PTR, &data, 0, nullptr), SQL_SUCCESS);
  ASSERT_EQ(data, nullptr);
  for (SQLUSMALLINT op : {SQL_DELETE_BY_BOOKMARK, SQL_UPDATE_BY_BOOKMARK, SQL_FETCH_BY_BOOKMARK}) {
    SCOPED_TRACE(op);
    EXPECT_EQ(SQLBulkOperations(cur_, op), SQL_ERROR);
    EXPECT_EQ(State(SQL_HANDLE_STMT, cur_), "HY092");
  }
  EXPECT_EQ(Table(),
            "1:n1:10;2:n2:20;3:n3:30;4:n4:40;5:n5:50;6:n6:60;7:n7:70;8:n8:80;9:n9:90;10:n10:100");
}

KES_E2E_BUILDS(DmBookmarkRows);

}  // namespace
