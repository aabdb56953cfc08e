// e2e_diag_test.cpp -- what an application learns after a statement: the rows it
// changed (SQLRowCount, parameter sets processed) and, when the server refuses it,
// the diagnostic records with the server's code, SQLSTATE and text; both builds.

#include <string>
#include <vector>

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

// A searched UPDATE or DELETE that changes no row answers SQL_NO_DATA to an
// ODBC 3 application, with a row count of 0.
TEST_P(Diag, RowCountOfEachStatementKind) {
  struct {
    const char* sql;
    SQLRETURN rc;
    SQLLEN rows;
  } cases[] = {
      {"INSERT INTO diag VALUES (1, 'a')", SQL_SUCCESS, 1},
      {"INSERT INTO diag VALUES (2, 'b')", SQL_SUCCESS, 1},
      {"INSERT INTO diag SELECT k + 10, v FROM diag", SQL_SUCCESS, 2},
      {"UPDATE diag SET v = 'u' WHERE k > 1", SQL_SUCCESS, 3},
      {"UPDATE diag SET v = 'none' WHERE k < 0", SQL_NO_DATA, 0},
      {"DELETE FROM diag WHERE k >= 10", SQL_SUCCESS, 2},
      {"DELETE FROM diag WHERE k >= 10", SQL_NO_DATA, 0},
      {"SELECT k, v FROM diag", SQL_SUCCESS, -1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.sql);
    EXPECT_EQ(SQLExecDirect(stmt_, (SQLCHAR*)c.sql, SQL_NTS), c.rc)
        << Diags(SQL_HANDLE_STMT, stmt_);
    EXPECT_EQ(RowCount(), c.rows);
    ASSERT_EQ(SQLFreeStmt(stmt_, SQL_CLOSE), SQL_SUCCESS);
  }
  // A parameter array none of whose sets finds a row is the same.
  SQLINTEGER keys[2] = {-1, -2};
  ASSERT_EQ(SQLSetStmtAttr(stmt_, SQL_ATTR_PARAMSET_SIZE, (SQLPOINTER)2, 0), SQL_SUCCESS);
  ASSERT_EQ(
      SQLBindParameter(stmt_, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 10, 0, keys, 0, nullptr),
      SQL_SUCCESS);
  EXPECT_EQ(SQLExecDirect(stmt_, (SQLCHAR*)"DELETE FROM diag WHERE k = ?", SQL_NTS), SQL_NO_DATA)
      << Diags(SQL_HANDLE_STMT, stmt_);
  EXPECT_EQ(RowCount(), 0);
}

// An ODBC 2 application keeps SQL_SUCCESS for the same statement.
TEST_P(Diag, NothingChangedIsSuccessForOdbc2) {
  SQLHENV env = nullptr;
  SQLHDBC dbc = nullptr;
  SQLHSTMT stmt = nullptr;
  ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env), SQL_SUCCESS);
  ASSERT_EQ(SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, (SQLPOINTER)SQL_OV_ODBC2, 0), SQL_SUCCESS);
  ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc), SQL_SUCCESS);
  const std::string in = std::string("DSN=") + GetParam().dsn + ";DATABASE=e2edata@kes_e2e_data";
  ASSERT_TRUE(SQL_SUCCEEDED(SQLDriverConnect(dbc, nullptr, (SQLCHAR*)in.c_str(), SQL_NTS, nullptr,
                                             0, nullptr, SQL_DRIVER_NOPROMPT)));
  ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt), SQL_SUCCESS);
  EXPECT_EQ(SQLExecDirect(stmt, (SQLCHAR*)"UPDATE diag SET v = 'none' WHERE k < 0", SQL_NTS),
            SQL_SUCCESS)
      << Diags(SQL_HANDLE_STMT, stmt);
  SQLLEN rows = -99;
  EXPECT_EQ(SQLRowCount(stmt, &rows), SQL_SUCCESS);
  EXPECT_EQ(rows, 0);
  SQLFreeHandle(SQL_HANDLE_STMT, stmt);
  SQLDisconnect(dbc);
  SQLFreeHandle(SQL_HANDLE_DBC, dbc);
  SQLFreeHandle(SQL_HANDLE_ENV, env);
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
  // The child goes first: its key keeps a parent of an earlier run in place.
  SQLExecDirect(stmt_, (SQLCHAR*)"DROP TABLE dchild", SQL_NTS);
  SQLFreeStmt(stmt_, SQL_CLOSE);
  ASSERT_TRUE(Recreate("dparent", "k INTEGER PRIMARY KEY"));
  ASSERT_TRUE(Recreate("dchild",
                       "p INTEGER REFERENCES dparent (k) CONSTRAINT dchild_parent, "
                       "n SMALLINT CHECK (n > 0) CONSTRAINT dchild_positive, d DECIMAL(4,2)"));
  ASSERT_TRUE(Exec("INSERT INTO dparent VALUES (1)"));
  ASSERT_TRUE(Exec("INSERT INTO dchild VALUES (1, 1, 1)"));
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
      // Integrity: NULL into NOT NULL, a duplicate key, a missing or still used
      // reference and a check, each naming its constraint or column.
      {"INSERT INTO diag VALUES (NULL, 'n')", "23000", -391,
       "A NULL cannot be inserted into column diag.k. (-391)"},
      {"INSERT INTO diag VALUES (1, 'again')", "23000", -268, nullptr},
      {"INSERT INTO dchild VALUES (7, 1, 1)", "23000", -691,
       "The referenced table has no row with this key (constraint dchild_parent). (-691)"},
      {"DELETE FROM dparent", "23000", -692,
       "A key of this row is still referenced by constraint dchild_parent. (-692)"},
      {"UPDATE dchild SET n = -1", "23000", -530,
       "Check constraint dchild_positive failed. (-530)"},
      // Values: not a number, out of range, division by zero.
      {"INSERT INTO dchild (n) VALUES ('abc')", "22018", -1213, nullptr},
      {"INSERT INTO dchild (d) VALUES (12345)", "22003", -1226, nullptr},
      {"UPDATE dchild SET n = n / 0", "22012", -1202, nullptr},
      // Two statements in one text are not run as a batch.
      {"SELECT k FROM diag; SELECT v FROM diag", "42000", -201,
       "A syntax error occurred near SELECT. (-201)"},
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

// A write that meets another session's lock is refused as a serialization
// failure an application may retry; one whose lock wait runs out, as a timeout.
TEST_P(Diag, LockConflictsByHowTheyEnded) {
  SQLHDBC other = nullptr;
  SQLHSTMT holder = nullptr;
  ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_DBC, env_, &other), SQL_SUCCESS);
  const std::string in = std::string("DSN=") + GetParam().dsn + ";DATABASE=e2edata@kes_e2e_data";
  ASSERT_TRUE(SQL_SUCCEEDED(SQLDriverConnect(other, nullptr, (SQLCHAR*)in.c_str(), SQL_NTS, nullptr,
                                             0, nullptr, SQL_DRIVER_NOPROMPT)));
  ASSERT_EQ(SQLSetConnectAttr(other, SQL_ATTR_AUTOCOMMIT, (SQLPOINTER)SQL_AUTOCOMMIT_OFF, 0),
            SQL_SUCCESS);
  ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, other, &holder), SQL_SUCCESS);
  ASSERT_EQ(SQLExecDirect(holder, (SQLCHAR*)"INSERT INTO diag VALUES (5, 'held')", SQL_NTS),
            SQL_SUCCESS)
      << Diags(SQL_HANDLE_STMT, holder);
  const struct {
    const char* mode;
    const char* state;
  } cases[] = {{"SET LOCK MODE TO NOT WAIT", "40001"}, {"SET LOCK MODE TO WAIT 1", "HYT00"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.mode);
    ASSERT_TRUE(Exec(c.mode));
    EXPECT_EQ(SQLExecDirect(stmt_, (SQLCHAR*)"INSERT INTO diag VALUES (6, 'waits')", SQL_NTS),
              SQL_ERROR);
    EXPECT_EQ(State(SQL_HANDLE_STMT, stmt_), c.state) << Diags(SQL_HANDLE_STMT, stmt_);
    SQLFreeStmt(stmt_, SQL_CLOSE);
  }
  EXPECT_EQ(SQLEndTran(SQL_HANDLE_DBC, other, SQL_ROLLBACK), SQL_SUCCESS);
  SQLFreeHandle(SQL_HANDLE_STMT, holder);
  SQLDisconnect(other);
  SQLFreeHandle(SQL_HANDLE_DBC, other);
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
  EXPECT_EQ(State(SQL_HANDLE_STMT, stmt_), "23000");
  EXPECT_EQ(processed, 3u);
}

// A SELECT without FROM, which the driver's own reading of the statement refuses,
// is reported as the server reports a syntax error, with its code and where: on
// every cursor type and by SQLNativeSql (it used to be a bare "Syntax error or
// access" with native code 0).
TEST_P(Diag, AStatementTheDriverRefusesSaysWhy) {
  const std::string want =
      "[Kestrane][ODBC][Informix Server]A syntax error occurred near SELECT 42. (-201)";
  auto check = [&](SQLSMALLINT type, SQLHANDLE h) {
    SQLCHAR state[6] = {};
    SQLINTEGER native = 0;
    SQLCHAR text[512] = {};
    SQLSMALLINT len = 0;
    ASSERT_EQ(SQLGetDiagRec(type, h, 1, state, &native, text, sizeof text, &len), SQL_SUCCESS);
    EXPECT_STREQ(reinterpret_cast<char*>(state), "42000");
    EXPECT_EQ(native, -201);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(text)), want);
  };
  for (SQLULEN type :
       {SQL_CURSOR_FORWARD_ONLY, SQL_CURSOR_STATIC, SQL_CURSOR_KEYSET_DRIVEN, SQL_CURSOR_DYNAMIC}) {
    SCOPED_TRACE(type);
    ASSERT_EQ(SQLSetStmtAttr(stmt_, SQL_ATTR_CURSOR_TYPE, (SQLPOINTER)type, 0), SQL_SUCCESS);
    EXPECT_EQ(SQLExecDirect(stmt_, (SQLCHAR*)"SELECT 42", SQL_NTS), SQL_ERROR);
    check(SQL_HANDLE_STMT, stmt_);
    ASSERT_EQ(SQLFreeStmt(stmt_, SQL_CLOSE), SQL_SUCCESS);
  }
  SQLCHAR out[64];
  SQLINTEGER outLen = 0;
  EXPECT_EQ(SQLNativeSql(dbc_, (SQLCHAR*)"SELECT 42", SQL_NTS, out, sizeof out, &outLen),
            SQL_ERROR);
  check(SQL_HANDLE_DBC, dbc_);
}

// SQLNativeSql hands out a translation of 64 KB or more whole when the buffer holds
// it (it used to cut it with 01004), and its full length when it does not.
TEST_P(Diag, NativeSqlOf64KilobytesAndMore) {
  std::string in = "SELECT {fn UCASE(v)} FROM diag WHERE v IN ('";
  in += std::string(70000, 'x');
  in += "')";
  const std::string translated =
      "SELECT  upper(v) FROM diag WHERE v IN ('" + std::string(70000, 'x') + "')";
  std::vector<SQLCHAR> out(80000, 0);
  SQLINTEGER len = 0;
  ASSERT_EQ(SQLNativeSql(dbc_, (SQLCHAR*)in.c_str(), SQL_NTS, out.data(),
                         static_cast<SQLINTEGER>(out.size()), &len),
            SQL_SUCCESS)
      << Diags(SQL_HANDLE_DBC, dbc_);
  EXPECT_EQ(len, static_cast<SQLINTEGER>(translated.size()));
  EXPECT_EQ(std::string(reinterpret_cast<char*>(out.data())), translated);
  EXPECT_EQ(SQLNativeSql(dbc_, (SQLCHAR*)in.c_str(), SQL_NTS, out.data(), 70001, &len),
            SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(len, static_cast<SQLINTEGER>(translated.size()));
  EXPECT_EQ(std::string(reinterpret_cast<char*>(out.data())), translated.substr(0, 70000));
}

KES_E2E_BUILDS(Diag);

}  // namespace
