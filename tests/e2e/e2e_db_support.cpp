// e2e_db_support.cpp -- the connection and statement of the data tests, on a database
// of their own made once per process in the private servers directory.

#include "e2e_db.h"

#include <vector>

namespace {
constexpr const char* kTarget = "e2edata@kes_e2e_data";
}

void DbTest::SetUpTestSuite() {
  DmTest::SetUpTestSuite();
  MakeDatabase("kes_e2e_data", "e2edata");
}

void DbTest::SetUp() {
  DmTest::SetUp();
  std::string in = std::string("DSN=") + GetParam().dsn + ";DATABASE=" + kTarget;
  SQLRETURN rc = SQLDriverConnect(dbc_, nullptr, (SQLCHAR*)in.c_str(), SQL_NTS, nullptr, 0, nullptr,
                                  SQL_DRIVER_NOPROMPT);
  ASSERT_TRUE(SQL_SUCCEEDED(rc)) << Diags(SQL_HANDLE_DBC, dbc_);
  ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &stmt_), SQL_SUCCESS);
}

void DbTest::TearDown() {
  if (stmt_ != nullptr) SQLFreeHandle(SQL_HANDLE_STMT, stmt_);
  DmTest::TearDown();
}

std::string DbTest::Diags(SQLSMALLINT type, SQLHANDLE h) {
  std::string out;
  for (SQLSMALLINT rec = 1;; ++rec) {
    SQLCHAR state[6] = {};
    SQLINTEGER native = 0;
    SQLCHAR text[1024] = {};
    SQLSMALLINT len = 0;
    if (!SQL_SUCCEEDED(SQLGetDiagRec(type, h, rec, state, &native, text, sizeof text, &len))) break;
    out += std::string(reinterpret_cast<char*>(state)) + " " + std::to_string(native) + " " +
           reinterpret_cast<char*>(text) + "\n";
  }
  return out;
}

::testing::AssertionResult DbTest::Exec(const std::string& sql) {
  SQLRETURN rc = SQLExecDirect(stmt_, (SQLCHAR*)sql.c_str(), SQL_NTS);
  std::string diags = SQL_SUCCEEDED(rc) ? "" : Diags(SQL_HANDLE_STMT, stmt_);
  SQLFreeStmt(stmt_, SQL_CLOSE);
  if (rc == SQL_SUCCESS || rc == SQL_NO_DATA) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << sql << " answered " << rc << "\n" << diags;
}

::testing::AssertionResult DbTest::Recreate(const std::string& table, const std::string& columns) {
  SQLExecDirect(stmt_, (SQLCHAR*)("DROP TABLE " + table).c_str(), SQL_NTS);
  SQLFreeStmt(stmt_, SQL_CLOSE);
  return Exec("CREATE TABLE " + table + " (" + columns + ")");
}

::testing::AssertionResult DbTest::InsertIds(const std::string& insert, int rows) {
  std::vector<SQLINTEGER> ids(static_cast<size_t>(rows));
  for (int k = 0; k < rows; ++k) ids[static_cast<size_t>(k)] = k + 1;
  const bool bound =
      SQLSetStmtAttr(stmt_, SQL_ATTR_PARAMSET_SIZE, (SQLPOINTER)(SQLULEN)rows, 0) == SQL_SUCCESS &&
      SQLBindParameter(stmt_, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 10, 0, ids.data(), 0,
                       nullptr) == SQL_SUCCESS;
  ::testing::AssertionResult result =
      bound ? Exec(insert) : ::testing::AssertionFailure() << "binding ids: " << Diags(SQL_HANDLE_STMT, stmt_);
  SQLFreeStmt(stmt_, SQL_RESET_PARAMS);
  SQLSetStmtAttr(stmt_, SQL_ATTR_PARAMSET_SIZE, (SQLPOINTER)1, 0);
  return result;
}
