// setpos_e2e_test.cpp -- SQLSetPos and SQLBulkOperations through the Driver
// Manager and each driver library: whatever SQLGetFunctions says of them is
// what calling them gives.

#include <string>

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
    for (const char* row : {"(1, 'one')", "(2, 'two')", "(3, 'three')"}) {
      const std::string sql = std::string("INSERT INTO sp_rows VALUES ") + row;
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

INSTANTIATE_TEST_SUITE_P(Builds, DmSetPos,
                         ::testing::Values(DmBuild{"w", "kes_w"}, DmBuild{"a", "kes_a"}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
