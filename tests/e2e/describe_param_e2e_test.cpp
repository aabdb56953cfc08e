// describe_param_e2e_test.cpp -- SQLDescribeParam through the Driver Manager
// on each driver library: a parameter compared with, assigned to or inserted
// into a column is described as that column, and one the analysis cannot
// place keeps the default description.

#include <sql.h>
#include <sqlext.h>

#include <string>
#include <vector>

#include "e2e_db.h"

namespace {

class DescribeParam : public DbTest {
 protected:
  struct Param {
    SQLSMALLINT type;
    SQLULEN size;
    SQLSMALLINT digits;
  };

  std::vector<Param> Describe(const std::string& sql) {
    std::vector<Param> out;
    EXPECT_EQ(SQLPrepare(stmt_, (SQLCHAR*)sql.c_str(), SQL_NTS), SQL_SUCCESS)
        << Diags(SQL_HANDLE_STMT, stmt_);
    SQLSMALLINT n = 0;
    EXPECT_EQ(SQLNumParams(stmt_, &n), SQL_SUCCESS);
    for (SQLUSMALLINT i = 1; i <= n; ++i) {
      Param p{};
      SQLSMALLINT nullable = 0;
      EXPECT_EQ(SQLDescribeParam(stmt_, i, &p.type, &p.size, &p.digits, &nullable), SQL_SUCCESS)
          << Diags(SQL_HANDLE_STMT, stmt_);
      out.push_back(p);
    }
    SQLFreeStmt(stmt_, SQL_CLOSE);
    return out;
  }
};

TEST_P(DescribeParam, ColumnTypes) {
  ASSERT_TRUE(Recreate("dp", "id INTEGER, name VARCHAR(30), price DECIMAL(10,2), born DATE"));
  const SQLSMALLINT text = Wide() ? SQL_WVARCHAR : SQL_VARCHAR;
  struct Case {
    const char* sql;
    std::vector<SQLSMALLINT> types;
  };
  const Case cases[] = {
      {"SELECT id FROM dp WHERE id = ? AND name LIKE ?", {SQL_INTEGER, text}},
      {"INSERT INTO dp VALUES (?, ?, ?, ?)", {SQL_INTEGER, text, SQL_DECIMAL, SQL_TYPE_DATE}},
      {"INSERT INTO dp (born, id) VALUES (?, ?)", {SQL_TYPE_DATE, SQL_INTEGER}},
      {"UPDATE dp SET price = ? WHERE id = ?", {SQL_DECIMAL, SQL_INTEGER}},
      {"DELETE FROM dp WHERE born BETWEEN ? AND ?", {SQL_TYPE_DATE, SQL_TYPE_DATE}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.sql);
    const std::vector<Param> got = Describe(c.sql);
    ASSERT_EQ(got.size(), c.types.size());
    for (size_t i = 0; i < got.size(); ++i) {
      SCOPED_TRACE(i);
      EXPECT_EQ(got[i].type, c.types[i]);
      if (got[i].type == SQL_DECIMAL) {
        EXPECT_EQ(got[i].size, 10u);
        EXPECT_EQ(got[i].digits, 2);
      }
      if (got[i].type == text) {
        EXPECT_EQ(got[i].size, 30u);
      }
    }
  }
  // A parameter in a select list has no column: it keeps the default.
  const std::vector<Param> def = Describe("SELECT ? FROM dp WHERE id = ?");
  ASSERT_EQ(def.size(), 2u);
  EXPECT_EQ(def[1].type, def[0].type);
  EXPECT_NE(def[0].type, SQL_INTEGER);
}

// A TEXT literal the driver sends as a hidden parameter takes no description of the
// application's: each marker is described as its own column, before and after an
// execution, wherever the literal stands among the SET items.
TEST_P(DescribeParam, HiddenTextLiteralsLeaveEachMarkerItsColumn) {
  ASSERT_TRUE(Recreate("dh", "id INTEGER, sm SMALLINT, born DATE, tx TEXT, tx2 TEXT"));
  ASSERT_TRUE(Exec("INSERT INTO dh (id, sm) VALUES (1, 0)"));
  struct Case {
    const char* sql;
    std::vector<SQLSMALLINT> types;
  };
  const Case cases[] = {
      {"UPDATE dh SET tx = 'abc', sm = ? WHERE id = ?", {SQL_SMALLINT, SQL_INTEGER}},
      {"UPDATE dh SET sm = ?, tx = 'abc' WHERE id = ?", {SQL_SMALLINT, SQL_INTEGER}},
      {"UPDATE dh SET tx = 'a', born = ?, tx2 = 'b', sm = ? WHERE id = ?",
       {SQL_TYPE_DATE, SQL_SMALLINT, SQL_INTEGER}},
      {"INSERT INTO dh (tx, sm, id) VALUES ('abc', ?, ?)", {SQL_SMALLINT, SQL_INTEGER}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.sql);
    const std::vector<Param> got = Describe(c.sql);
    ASSERT_EQ(got.size(), c.types.size());
    for (size_t i = 0; i < got.size(); ++i) EXPECT_EQ(got[i].type, c.types[i]) << i;
  }
  // Executed with values bound by those descriptions, then described again.
  const char* sql = "UPDATE dh SET sm = ?, tx = 'abc' WHERE id = ?";
  ASSERT_EQ(SQLPrepare(stmt_, (SQLCHAR*)sql, SQL_NTS), SQL_SUCCESS);
  SQLSMALLINT sm = 7;
  SQLINTEGER id = 1;
  ASSERT_EQ(SQLBindParameter(stmt_, 1, SQL_PARAM_INPUT, SQL_C_SSHORT, SQL_SMALLINT, 5, 0, &sm, 0,
                             nullptr),
            SQL_SUCCESS);
  ASSERT_EQ(SQLBindParameter(stmt_, 2, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 10, 0, &id, 0,
                             nullptr),
            SQL_SUCCESS);
  ASSERT_EQ(SQLExecute(stmt_), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, stmt_);
  SQLLEN rows = 0;
  ASSERT_EQ(SQLRowCount(stmt_, &rows), SQL_SUCCESS);
  EXPECT_EQ(rows, 1);
  SQLFreeStmt(stmt_, SQL_CLOSE);
  for (SQLUSMALLINT i = 1; i <= 2; ++i) {
    SQLSMALLINT type = 0, digits = 0, nullable = 0;
    SQLULEN size = 0;
    ASSERT_EQ(SQLDescribeParam(stmt_, i, &type, &size, &digits, &nullable), SQL_SUCCESS);
    EXPECT_EQ(type, i == 1 ? SQL_SMALLINT : SQL_INTEGER) << i;
  }
  SQLFreeStmt(stmt_, SQL_RESET_PARAMS);
  ASSERT_EQ(SQLExecDirect(stmt_, (SQLCHAR*)"SELECT sm, tx FROM dh WHERE id = 1", SQL_NTS),
            SQL_SUCCESS);
  ASSERT_EQ(SQLFetch(stmt_), SQL_SUCCESS);
  SQLINTEGER gotSm = 0;
  char gotTx[16] = {};
  SQLLEN ind = 0;
  ASSERT_EQ(SQLGetData(stmt_, 1, SQL_C_SLONG, &gotSm, 0, &ind), SQL_SUCCESS);
  ASSERT_EQ(SQLGetData(stmt_, 2, SQL_C_CHAR, gotTx, sizeof gotTx, &ind), SQL_SUCCESS);
  EXPECT_EQ(gotSm, 7);
  EXPECT_STREQ(gotTx, "abc");
  SQLFreeStmt(stmt_, SQL_CLOSE);
}

KES_E2E_BUILDS(DescribeParam);

}  // namespace
