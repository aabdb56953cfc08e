// e2e_values_test.cpp -- parameter values that must reach the server exactly as the
// application gave them: every digit of a fraction of a second the column keeps, and
// each text of a parameter array at its own length; both builds.

#include <string>

#include "e2e_db.h"

namespace {

class Values : public DbTest {};

TEST_P(Values, TimestampKeepsTheFractionDigitsOfItsColumn) {
  ASSERT_TRUE(Recreate("vts", "ts DATETIME YEAR TO FRACTION(5)"));
  SQL_TIMESTAMP_STRUCT in = {2024, 2, 29, 23, 59, 58, 123450000};
  ASSERT_EQ(SQLBindParameter(stmt_, 1, SQL_PARAM_INPUT, SQL_C_TYPE_TIMESTAMP, SQL_TYPE_TIMESTAMP,
                             25, 5, &in, 0, nullptr),
            SQL_SUCCESS);
  ASSERT_TRUE(Exec("INSERT INTO vts VALUES (?)"));
  ASSERT_EQ(SQLFreeStmt(stmt_, SQL_RESET_PARAMS), SQL_SUCCESS);
  ASSERT_EQ(SQLExecDirect(stmt_, (SQLCHAR*)"SELECT ts FROM vts", SQL_NTS), SQL_SUCCESS)
      << Diags(SQL_HANDLE_STMT, stmt_);
  ASSERT_EQ(SQLFetch(stmt_), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, stmt_);
  SQL_TIMESTAMP_STRUCT out = {};
  SQLLEN ind = 0;
  ASSERT_EQ(SQLGetData(stmt_, 1, SQL_C_TYPE_TIMESTAMP, &out, sizeof out, &ind), SQL_SUCCESS);
  EXPECT_EQ(out.second, 58);
  EXPECT_EQ(out.fraction, 123450000u);
}

// Texts of different lengths in one array: none takes the length of the longest.
TEST_P(Values, TextOfAnArrayKeepsItsOwnLength) {
  ASSERT_TRUE(Recreate("vtx", "id INTEGER, tx TEXT"));
  const std::string texts[3] = {"a", "ten chars.", std::string(100, 'x')};
  char buf[3][128] = {};
  SQLLEN len[3];
  SQLINTEGER ids[3] = {1, 2, 3};
  for (int k = 0; k < 3; ++k) {
    texts[k].copy(buf[k], texts[k].size());
    len[k] = static_cast<SQLLEN>(texts[k].size());
  }
  ASSERT_EQ(SQLSetStmtAttr(stmt_, SQL_ATTR_PARAMSET_SIZE, (SQLPOINTER)3, 0), SQL_SUCCESS);
  ASSERT_EQ(
      SQLBindParameter(stmt_, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 10, 0, ids, 0, nullptr),
      SQL_SUCCESS);
  ASSERT_EQ(SQLBindParameter(stmt_, 2, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_LONGVARCHAR, 1000, 0, buf,
                             128, len),
            SQL_SUCCESS);
  ASSERT_TRUE(Exec("INSERT INTO vtx VALUES (?, ?)"));
  ASSERT_EQ(SQLFreeStmt(stmt_, SQL_RESET_PARAMS), SQL_SUCCESS);
  ASSERT_EQ(SQLSetStmtAttr(stmt_, SQL_ATTR_PARAMSET_SIZE, (SQLPOINTER)1, 0), SQL_SUCCESS);
  ASSERT_EQ(SQLExecDirect(stmt_, (SQLCHAR*)"SELECT tx FROM vtx ORDER BY id", SQL_NTS), SQL_SUCCESS)
      << Diags(SQL_HANDLE_STMT, stmt_);
  for (const std::string& want : texts) {
    ASSERT_EQ(SQLFetch(stmt_), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, stmt_);
    char got[256] = {};
    SQLLEN ind = 0;
    ASSERT_EQ(SQLGetData(stmt_, 1, SQL_C_CHAR, got, sizeof got, &ind), SQL_SUCCESS);
    EXPECT_EQ(ind, static_cast<SQLLEN>(want.size()));
    EXPECT_EQ(std::string(got), want);
  }
}

KES_E2E_BUILDS(Values);

}  // namespace
