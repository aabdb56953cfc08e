// e2e_diag_test.cpp -- what an application learns after a statement: the rows it
// changed (SQLRowCount, parameter sets processed) and, when the server refuses it,
// the diagnostic records with the server's code, SQLSTATE and text; both builds.

#include <string>

#include "e2e_db.h"

namespace {

class Diag : public DbTest {
 protected:
  void SetUp() override {
    DbTest::SetUp();
    if (HasFatalFailure()) return;
    ASSERT_TRUE(Recreate("diag", "k INTEGER NOT NULL PRIMARY KEY, v VARCHAR(20)"));
  }

  SQLLEN RowCount() {
    SQLLEN n = -99;
    EXPECT_EQ(SQLRowCount(stmt_, &n), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, stmt_);
    return n;
  }
};

TEST_P(Diag, RowCountOfEachStatementKind) {
  struct {
    const char* sql;
    SQLLEN rows;
  } cases[] = {
      {"INSERT INTO diag VALUES (1, 'a')", 1},
      {"INSERT INTO diag VALUES (2, 'b')", 1},
      {"INSERT INTO diag SELECT k + 10, v FROM diag", 2},
      {"UPDATE diag SET v = 'u' WHERE k > 1", 3},
      {"UPDATE diag SET v = 'none' WHERE k < 0", 0},
      {"DELETE FROM diag WHERE k >= 10", 2},
      {"SELECT k, v FROM diag", -1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.sql);
    SQLRETURN rc = SQLExecDirect(stmt_, (SQLCHAR*)c.sql, SQL_NTS);
    // A searched statement that touches no row may answer SQL_NO_DATA.
    EXPECT_TRUE(rc == SQL_SUCCESS || (c.rows == 0 && rc == SQL_NO_DATA))
        << rc << Diags(SQL_HANDLE_STMT, stmt_);
    EXPECT_EQ(RowCount(), c.rows);
    ASSERT_EQ(SQLFreeStmt(stmt_, SQL_CLOSE), SQL_SUCCESS);
  }
}

// The count of a parameter array covers every set.
TEST_P(Diag, RowCountOfAParameterArray) {
  ASSERT_TRUE(Exec("INSERT INTO diag VALUES (1, 'a')"));
  ASSERT_TRUE(Exec("INSERT INTO diag VALUES (2, 'b')"));
  ASSERT_TRUE(Exec("INSERT INTO diag VALUES (3, 'c')"));
  SQLINTEGER keys[4] = {1, 3, 7, 2};
  SQLULEN processed = 0;
  ASSERT_EQ(SQLSetStmtAttr(stmt_, SQL_ATTR_PARAMSET_SIZE, (SQLPOINTER)4, 0), SQL_SUCCESS);
  ASSERT_EQ(SQLSetStmtAttr(stmt_, SQL_ATTR_PARAMS_PROCESSED_PTR, &processed, 0), SQL_SUCCESS);
  ASSERT_EQ(
      SQLBindParameter(stmt_, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 10, 0, keys, 0, nullptr),
      SQL_SUCCESS);
  ASSERT_EQ(SQLExecDirect(stmt_, (SQLCHAR*)"UPDATE diag SET v = 'x' WHERE k = ?", SQL_NTS),
            SQL_SUCCESS)
      << Diags(SQL_HANDLE_STMT, stmt_);
  EXPECT_EQ(RowCount(), 3);
  EXPECT_EQ(processed, 4u);
}

// The server's refusal reaches the application as records naming the server, with
// the server's code as native error and an SQLSTATE by its kind.
TEST_P(Diag, ServerErrorsCarryTheirCodeAndState) {
  ASSERT_TRUE(Exec("INSERT INTO diag VALUES (1, 'a')"));
  struct {
    const char* sql;
    const char* state;
    SQLINTEGER native;
    const char* text;  // what the record says after the prefix
  } cases[] = {
      {"SELECT nope FROM diag", "42S22", -217,
       "Column nope was not found in any table of the query. (-217)"},
      {"SELECT k FROM nowhere", "42S02", -206, "Table nowhere is not in the database. (-206)"},
      {"SELEC k FROM diag", "42000", -201, nullptr},
      {"INSERT INTO diag VALUES (NULL, 'n')", "HY000", -391, nullptr},
      {"INSERT INTO diag VALUES (1, 'again')", "HY000", -268, nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.sql);
    EXPECT_EQ(SQLExecDirect(stmt_, (SQLCHAR*)c.sql, SQL_NTS), SQL_ERROR);
    SQLCHAR state[6] = {};
    SQLINTEGER native = 0;
    SQLCHAR text[512] = {};
    SQLSMALLINT len = 0;
    ASSERT_EQ(SQLGetDiagRec(SQL_HANDLE_STMT, stmt_, 1, state, &native, text, sizeof text, &len),
              SQL_SUCCESS);
    std::string message(reinterpret_cast<char*>(text));
    EXPECT_STREQ(reinterpret_cast<char*>(state), c.state);
    EXPECT_EQ(native, c.native);
    EXPECT_EQ(len, static_cast<SQLSMALLINT>(message.size()));
    const std::string prefix = "[Kestrane][ODBC][Informix Server]";
    EXPECT_EQ(message.substr(0, prefix.size()), prefix);
    if (c.text != nullptr) {
      EXPECT_EQ(message.substr(prefix.size()), c.text);
    }
    std::string code = " (" + std::to_string(c.native) + ")";
    EXPECT_EQ(message.substr(message.size() - code.size()), code) << message;
    // The same record read field by field.
    SQLINTEGER fieldNative = 0;
    EXPECT_EQ(SQLGetDiagField(SQL_HANDLE_STMT, stmt_, 1, SQL_DIAG_NATIVE, &fieldNative, 0, nullptr),
              SQL_SUCCESS);
    EXPECT_EQ(fieldNative, c.native);
    ASSERT_EQ(SQLFreeStmt(stmt_, SQL_CLOSE), SQL_SUCCESS);
  }
}

// A parameter array stops at the set the server refuses; the sets before it count
// as processed, the refused one too.
TEST_P(Diag, ParamArrayStopsAtTheRefusedSet) {
  SQLINTEGER keys[5] = {1, 2, 1, 4, 5};
  SQLULEN processed = 0;
  ASSERT_EQ(SQLSetStmtAttr(stmt_, SQL_ATTR_PARAMSET_SIZE, (SQLPOINTER)5, 0), SQL_SUCCESS);
  ASSERT_EQ(SQLSetStmtAttr(stmt_, SQL_ATTR_PARAMS_PROCESSED_PTR, &processed, 0), SQL_SUCCESS);
  ASSERT_EQ(
      SQLBindParameter(stmt_, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 10, 0, keys, 0, nullptr),
      SQL_SUCCESS);
  EXPECT_EQ(SQLExecDirect(stmt_, (SQLCHAR*)"INSERT INTO diag (k) VALUES (?)", SQL_NTS), SQL_ERROR);
  EXPECT_EQ(State(SQL_HANDLE_STMT, stmt_), "HY000");
  EXPECT_EQ(processed, 3u);
}

KES_E2E_BUILDS(Diag);

}  // namespace
