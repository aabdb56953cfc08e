// setpos_e2e_test.cpp -- SQLSetPos and SQLBulkOperations through the Driver
// Manager and each driver library: whatever SQLGetFunctions and SQLGetInfo say
// of them is what calling them gives, and what a scrollable cursor serves
// (positioning, refresh, rows fetched by bookmarks) reads the database's rows.

#include <string>
#include <vector>

#include "dm_fixture.h"

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

}  // namespace
