// marker_values_e2e_test.cpp -- parameter values through the Driver Manager on each
// driver library, wherever a marker stands in an expression: the server may take a
// marker's type from what it meets, but the value the application bound arrives whole.

#include <sql.h>
#include <sqlext.h>

#include <iterator>
#include <string>
#include <vector>

#include "e2e_db.h"

namespace {

class MarkerValues : public DbTest {
 protected:
  // The first column of every row the statement answers with the text parameters
  // bound, as "a,b,c"; an error answers "error" and its diagnostics.
  std::string Rows(const std::string& sql, const std::vector<std::string>& params) {
    if (SQLPrepare(stmt_, (SQLCHAR*)sql.c_str(), SQL_NTS) != SQL_SUCCESS)
      return "error " + Diags(SQL_HANDLE_STMT, stmt_);
    std::vector<SQLLEN> lens(params.size(), SQL_NTS);
    for (size_t i = 0; i < params.size(); ++i) {
      SQLRETURN rc = SQLBindParameter(stmt_, static_cast<SQLUSMALLINT>(i + 1), SQL_PARAM_INPUT,
                                      SQL_C_CHAR, SQL_VARCHAR, params[i].size(), 0,
                                      (SQLPOINTER)params[i].c_str(), 0, &lens[i]);
      if (rc != SQL_SUCCESS) return "error " + Diags(SQL_HANDLE_STMT, stmt_);
    }
    std::string out;
    SQLRETURN rc = SQLExecute(stmt_);
    SQLSMALLINT cols = 0;
    if (SQL_SUCCEEDED(rc) && SQLNumResultCols(stmt_, &cols) == SQL_SUCCESS && cols == 0) {
      rc = SQL_NO_DATA;
    } else if (SQL_SUCCEEDED(rc)) {
      bool first = true;
      while ((rc = SQLFetch(stmt_)) == SQL_SUCCESS) {
        char buf[256] = {};
        SQLLEN ind = 0;
        rc = SQLGetData(stmt_, 1, SQL_C_CHAR, buf, sizeof buf, &ind);
        if (rc != SQL_SUCCESS) break;
        out += (first ? "" : ",") + (ind == SQL_NULL_DATA ? std::string("NULL") : buf);
        first = false;
      }
    }
    if (rc != SQL_NO_DATA) out = "error " + Diags(SQL_HANDLE_STMT, stmt_);
    SQLFreeStmt(stmt_, SQL_CLOSE);
    SQLFreeStmt(stmt_, SQL_RESET_PARAMS);
    return out;
  }
};

// Each value is longer, or has more digits, than anything beside its marker: cut to
// its neighbour's size it would answer other rows or another value.
TEST_P(MarkerValues, EachPositionTakesTheWholeValue) {
  ASSERT_TRUE(Recreate("mv", "id INTEGER, t VARCHAR(20), c CHAR(2), n SMALLINT, d DECIMAL(4,1)"));
  ASSERT_TRUE(Exec("INSERT INTO mv VALUES (1, 'foobar', 'ab', 1, 1.5)"));
  ASSERT_TRUE(Exec("INSERT INTO mv VALUES (2, 'boat', 'cc', 2, 2.0)"));
  ASSERT_TRUE(Exec("INSERT INTO mv VALUES (3, 'obama', 'ab', 3, 2.5)"));
  struct Case {
    const char* sql;
    std::vector<std::string> params;
    const char* want;
  };
  const Case cases[] = {
      {"SELECT id FROM mv WHERE t LIKE '%' || ? || '%' ORDER BY id", {"oba"}, "1,3"},
      {"SELECT 'a' || ? FROM mv WHERE id = 1", {"xyz"}, "axyz"},
      {"SELECT ? || c FROM mv WHERE id = 2", {"a long value"}, "a long valuecc"},
      {"SELECT id FROM mv WHERE c || ? = 'abcde' ORDER BY id", {"cde"}, "1,3"},
      {"SELECT CASE c WHEN ? THEN 'y' ELSE 'n' END FROM mv WHERE id = 1", {"abc"}, "n"},
      {"SELECT CASE WHEN id = 1 THEN ? ELSE 'n' END FROM mv ORDER BY id", {"long"},
       "long,n,n"},
      {"SELECT n + ? FROM mv WHERE id = 1", {"2.25"}, "3.25"},
      {"SELECT d * ? FROM mv WHERE id = 1", {"1.01"}, "1.515"},
      {"SELECT id FROM mv WHERE n IN (?, ?) ORDER BY id", {"1.5", "3"}, "3"},
      {"SELECT id FROM mv WHERE d BETWEEN ? AND ? ORDER BY id", {"1.55", "2.45"}, "2"},
      {"SELECT id FROM mv WHERE n < ? ORDER BY id", {"100000"}, "1,2,3"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.sql);
    EXPECT_EQ(Rows(c.sql, c.params), c.want);
  }
  // A value stored into a column is the column's, as the same literal would be.
  EXPECT_EQ(Rows("UPDATE mv SET c = ? WHERE id = 2", {"xyz"}), "");
  EXPECT_TRUE(Exec("UPDATE mv SET c = 'xyz' WHERE id = 3"));
  EXPECT_EQ(Rows("SELECT c FROM mv WHERE id = 2", {}), Rows("SELECT c FROM mv WHERE id = 3", {}));
}

// A host variable keeps the type it was declared with where no column gives its
// marker one: a date selected is a date, an integer compared with a text constant
// compares as a number, as a literal of its type would.
TEST_P(MarkerValues, HostVariablesKeepTheirTypes) {
  SQL_DATE_STRUCT date{2011, 4, 20};
  SQLINTEGER six = 6;
  const char* sql = "SELECT ? FROM systables WHERE tabid = 1";
  ASSERT_EQ(SQLPrepare(stmt_, (SQLCHAR*)sql, SQL_NTS), SQL_SUCCESS);
  ASSERT_EQ(SQLBindParameter(stmt_, 1, SQL_PARAM_INPUT, SQL_C_TYPE_DATE, SQL_TYPE_DATE, 10, 0,
                             &date, 0, nullptr),
            SQL_SUCCESS);
  ASSERT_EQ(SQLExecute(stmt_), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, stmt_);
  SQLSMALLINT type = 0;
  ASSERT_EQ(SQLDescribeCol(stmt_, 1, nullptr, 0, nullptr, &type, nullptr, nullptr, nullptr),
            SQL_SUCCESS);
  EXPECT_EQ(type, SQL_TYPE_DATE);
  ASSERT_EQ(SQLFetch(stmt_), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, stmt_);
  char text[32] = {};
  SQLLEN ind = 0;
  ASSERT_EQ(SQLGetData(stmt_, 1, SQL_C_CHAR, text, sizeof text, &ind), SQL_SUCCESS);
  EXPECT_STREQ(text, "2011-04-20");
  SQLFreeStmt(stmt_, SQL_CLOSE);
  SQLFreeStmt(stmt_, SQL_RESET_PARAMS);

  struct Case {
    const char* sql;
    const char* want;
  };
  const Case cases[] = {
      {"SELECT tabid FROM systables WHERE tabid = 1 AND '555' > ?", "1"},
      {"SELECT tabid FROM systables WHERE tabid = 1 AND ? < '555'", "1"},
      {"SELECT tabid FROM systables WHERE tabid = 1 AND ? IN ('6', '06')", "1"},
      {"SELECT ? + 1 FROM systables WHERE tabid = 1", "7"},
      {"SELECT 'n' || ? FROM systables WHERE tabid = 1", "n6"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.sql);
    ASSERT_EQ(SQLPrepare(stmt_, (SQLCHAR*)c.sql, SQL_NTS), SQL_SUCCESS);
    ASSERT_EQ(SQLBindParameter(stmt_, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 10, 0, &six, 0,
                               nullptr),
              SQL_SUCCESS);
    ASSERT_EQ(SQLExecute(stmt_), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, stmt_);
    std::string got;
    while (SQLFetch(stmt_) == SQL_SUCCESS) {
      char buf[32] = {};
      ASSERT_EQ(SQLGetData(stmt_, 1, SQL_C_CHAR, buf, sizeof buf, &ind), SQL_SUCCESS);
      got += buf;
    }
    EXPECT_EQ(got, c.want);
    SQLFreeStmt(stmt_, SQL_CLOSE);
    SQLFreeStmt(stmt_, SQL_RESET_PARAMS);
  }
  // A host type the expression cannot take fails with the server's error, each time.
  SQL_TIMESTAMP_STRUCT stamp{2024, 1, 2, 10, 0, 0, 0};
  ASSERT_EQ(SQLPrepare(stmt_, (SQLCHAR*)"SELECT ? + 1 FROM systables WHERE tabid = 1", SQL_NTS),
            SQL_SUCCESS);
  ASSERT_EQ(SQLBindParameter(stmt_, 1, SQL_PARAM_INPUT, SQL_C_TYPE_TIMESTAMP, SQL_TYPE_TIMESTAMP,
                             19, 0, &stamp, 0, nullptr),
            SQL_SUCCESS);
  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE(round);
    EXPECT_EQ(SQLExecute(stmt_), SQL_ERROR);
    EXPECT_NE(Diags(SQL_HANDLE_STMT, stmt_).find("(-1266)"), std::string::npos)
        << Diags(SQL_HANDLE_STMT, stmt_);
    SQLFreeStmt(stmt_, SQL_CLOSE);
  }
  SQLFreeStmt(stmt_, SQL_RESET_PARAMS);

  // One prepared statement whose host variable changes type between executions: text
  // compares as text, the integer as a number again.
  const char* cmp = "SELECT tabid FROM systables WHERE tabid = 1 AND '555' > ?";
  ASSERT_EQ(SQLPrepare(stmt_, (SQLCHAR*)cmp, SQL_NTS), SQL_SUCCESS);
  char sixText[] = "6";
  SQLLEN nts = SQL_NTS;
  for (int round = 0; round < 3; ++round) {
    SCOPED_TRACE(round);
    const bool asText = round == 1;
    ASSERT_EQ(asText ? SQLBindParameter(stmt_, 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 1, 0,
                                        sixText, 0, &nts)
                     : SQLBindParameter(stmt_, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 10,
                                        0, &six, 0, nullptr),
              SQL_SUCCESS);
    ASSERT_EQ(SQLExecute(stmt_), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, stmt_);
    int rows = 0;
    while (SQLFetch(stmt_) == SQL_SUCCESS) ++rows;
    EXPECT_EQ(rows, asText ? 0 : 1);
    SQLFreeStmt(stmt_, SQL_CLOSE);
  }
}

// A double bound as DECIMAL is sent with every digit it has: the digits the application
// declared choose how it is written, not how much of it arrives.
TEST_P(MarkerValues, DoublesBoundAsDecimalKeepTheirDigits) {
  ASSERT_TRUE(Recreate("md", "id INTEGER, price DECIMAL(8,2)"));
  struct Step {
    const char* sql;
    double value;
    SQLSMALLINT digits;
  };
  const Step inserts[] = {
      {"INSERT INTO md VALUES (1, ?)", 1.25, 2},
      {"INSERT INTO md VALUES (2, ?)", 2.5, 2},
      {"INSERT INTO md VALUES (3, ?)", 3.75, 0},
  };
  for (const Step& st : inserts) {
    SCOPED_TRACE(st.sql);
    double v = st.value;
    ASSERT_EQ(SQLPrepare(stmt_, (SQLCHAR*)st.sql, SQL_NTS), SQL_SUCCESS);
    ASSERT_EQ(SQLBindParameter(stmt_, 1, SQL_PARAM_INPUT, SQL_C_DOUBLE, SQL_DECIMAL, 8, st.digits,
                               &v, 0, nullptr),
              SQL_SUCCESS);
    ASSERT_EQ(SQLExecute(stmt_), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, stmt_);
    SQLFreeStmt(stmt_, SQL_RESET_PARAMS);
  }
  EXPECT_EQ(Rows("SELECT price FROM md ORDER BY id", {}), "1.25,2.50,3.75");
  const Step finds[] = {
      {"SELECT id FROM md WHERE price = ?", 1.251, 2},
      {"SELECT id FROM md WHERE price > ? ORDER BY id", 2.495, 2},
      {"SELECT id FROM md WHERE price = ?", 2.5, 2},
  };
  const char* want[] = {"", "23", "2"};
  for (size_t i = 0; i < std::size(finds); ++i) {
    SCOPED_TRACE(finds[i].sql);
    double v = finds[i].value;
    ASSERT_EQ(SQLPrepare(stmt_, (SQLCHAR*)finds[i].sql, SQL_NTS), SQL_SUCCESS);
    ASSERT_EQ(SQLBindParameter(stmt_, 1, SQL_PARAM_INPUT, SQL_C_DOUBLE, SQL_DECIMAL, 8,
                               finds[i].digits, &v, 0, nullptr),
              SQL_SUCCESS);
    ASSERT_EQ(SQLExecute(stmt_), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, stmt_);
    std::string got;
    SQLINTEGER id = 0;
    SQLLEN ind = 0;
    while (SQLFetch(stmt_) == SQL_SUCCESS) {
      ASSERT_EQ(SQLGetData(stmt_, 1, SQL_C_SLONG, &id, 0, &ind), SQL_SUCCESS);
      got += std::to_string(id);
    }
    EXPECT_EQ(got, want[i]);
    SQLFreeStmt(stmt_, SQL_CLOSE);
    SQLFreeStmt(stmt_, SQL_RESET_PARAMS);
  }
}

// A result column's described size holds every value it delivers: a function or a
// marker whose value is longer than the type the server first saw for it arrives whole,
// and a value no text type can describe is refused, never cut to a shorter one.
TEST_P(MarkerValues, ExpressionValuesArriveWhole) {
  ASSERT_TRUE(Recreate("mw", "n INTEGER, a VARCHAR(5)"));
  ASSERT_TRUE(Exec("INSERT INTO mw VALUES (1, 'abcde')"));
  const std::string x300(300, 'x');
  const std::string x40k(40000, 'y');
  struct Case {
    const char* sql;
    const std::string* param;
    std::string want;
  };
  const Case kCases[] = {
      {"SELECT REPLACE(a, 'a', 'zzzzzzzz') FROM mw", nullptr, "zzzzzzzzbcde"},
      {"SELECT REPLACE(a || a, 'bcd', 'xy') FROM mw", nullptr, "axyeaxye"},
      {"SELECT NVL(CAST(NULL AS VARCHAR(2)), a) FROM mw", nullptr, "abcde"},
      {"SELECT NVL(?, a) FROM mw", &x300, x300},
      {"SELECT NVL(a, ?) FROM mw", &x300, "abcde"},
      {"SELECT DECODE(n, 2, 'x', a) FROM mw", nullptr, "abcde"},
      {"SELECT DECODE(n, 1, a, 'longer than five') FROM mw", nullptr, "abcde"},
      {"SELECT DECODE(n, 2, a, 'longer than five') FROM mw", nullptr, "longer than five"},
      {"SELECT DECODE(n, 1, ?, a) FROM mw", &x300, x300},
      {"SELECT CASE WHEN n < 0 THEN a ELSE 'longer than five' END FROM mw", nullptr,
       "longer than five"},
      {"SELECT CASE n WHEN 2 THEN 'x' WHEN 1 THEN a END FROM mw", nullptr, "abcde"},
      {"SELECT ? FROM mw", &x300, x300},
      {"SELECT ? FROM mw", &x40k, x40k},
      {"SELECT 'a' || ? FROM mw", &x40k, "a" + x40k},
  };
  std::vector<char> buf(x40k.size() + 16);
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.sql);
    ASSERT_EQ(SQLPrepare(stmt_, (SQLCHAR*)c.sql, SQL_NTS), SQL_SUCCESS)
        << Diags(SQL_HANDLE_STMT, stmt_);
    SQLLEN len = SQL_NTS;
    if (c.param != nullptr) {
      ASSERT_EQ(SQLBindParameter(stmt_, 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_LONGVARCHAR,
                                 c.param->size(), 0, (SQLPOINTER)c.param->c_str(), 0, &len),
                SQL_SUCCESS);
    }
    ASSERT_EQ(SQLExecute(stmt_), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, stmt_);
    SQLULEN size = 0;
    SQLSMALLINT type = 0;
    ASSERT_EQ(SQLDescribeCol(stmt_, 1, nullptr, 0, nullptr, &type, &size, nullptr, nullptr),
              SQL_SUCCESS);
    const SQLRETURN rc = SQLFetch(stmt_);
    if (rc == SQL_ERROR) {
      // Only a value longer than any text type may be refused, and not quietly.
      EXPECT_GT(c.want.size(), 32739u);
      EXPECT_NE(Diags(SQL_HANDLE_STMT, stmt_).find("22001"), std::string::npos)
          << Diags(SQL_HANDLE_STMT, stmt_);
    } else {
      ASSERT_EQ(rc, SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, stmt_);
      EXPECT_GE(size, c.want.size()) << "type " << type;
      SQLLEN ind = 0;
      ASSERT_EQ(SQLGetData(stmt_, 1, SQL_C_CHAR, buf.data(), static_cast<SQLLEN>(buf.size()),
                           &ind),
                SQL_SUCCESS)
          << Diags(SQL_HANDLE_STMT, stmt_);
      ASSERT_GE(ind, 0);
      EXPECT_EQ(ind, static_cast<SQLLEN>(c.want.size()));
      EXPECT_TRUE(std::string(buf.data(), static_cast<size_t>(ind)) == c.want);
    }
    SQLFreeStmt(stmt_, SQL_CLOSE);
    SQLFreeStmt(stmt_, SQL_RESET_PARAMS);
  }
}

KES_E2E_BUILDS(MarkerValues);

}  // namespace
