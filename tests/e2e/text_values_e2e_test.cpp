// text_values_e2e_test.cpp -- text that is no value of the type it is taken as: bound
// as a parameter of a numeric, date or time type, or fetched into a numeric, date or
// time buffer, it fails with 22018 and stores or delivers nothing, while text that is
// such a value goes through; both builds.

#include <cstring>
#include <string>

#include "e2e_db.h"

namespace {

class TextValues : public DbTest {
 protected:
  std::string table_ = std::string("tv_") + GetParam().name;
};

TEST_P(TextValues, ParameterTextThatIsNoValueOfItsTypeIs22018) {
  struct Case {
    const char* column;  // the column the value goes to
    SQLSMALLINT sqlType;
    const char* text;
    const char* state;   // "" for a stored value
    const char* stored;  // the value read back as text
  };
  const Case kCases[] = {
      {"i", SQL_INTEGER, "", "22018", nullptr},
      {"i", SQL_INTEGER, "   ", "22018", nullptr},
      {"i", SQL_INTEGER, "12x", "22018", nullptr},
      {"i", SQL_INTEGER, " 42 ", "", "42"},
      // Text bound as text: the type the marker was described with decides.
      {"i", SQL_VARCHAR, "", "22018", nullptr},
      {"dt", SQL_WVARCHAR, " ", "22018", nullptr},
      {"s", SQL_SMALLINT, "", "22018", nullptr},
      {"d", SQL_DECIMAL, "", "22018", nullptr},
      {"d", SQL_DECIMAL, "-1.5", "", "-1.50"},
      {"f", SQL_DOUBLE, "", "22018", nullptr},
      {"dt", SQL_TYPE_DATE, "", "22018", nullptr},
      {"dt", SQL_TYPE_DATE, "not a date", "22018", nullptr},
      {"dt", SQL_TYPE_DATE, "2024-02-09", "", "2024-02-09"},
      {"ts", SQL_TYPE_TIMESTAMP, "2024-02-09 10:11:12", "", "2024-02-09 10:11:12.00000"},
      {"c", SQL_CHAR, "", "", ""},
  };
  ASSERT_TRUE(Recreate(table_,
                       "id INTEGER, i INTEGER, s SMALLINT, d DECIMAL(10,2), f FLOAT, "
                       "dt DATE, ts DATETIME YEAR TO SECOND, c VARCHAR(10)"));
  int id = 0;
  for (const Case& c : kCases) {
    SCOPED_TRACE(testing::Message() << c.column << " '" << c.text << "'");
    ++id;
    std::string text = c.text;
    SQLLEN len = SQL_NTS;
    ASSERT_EQ(SQLBindParameter(stmt_, 1, SQL_PARAM_INPUT, SQL_C_CHAR, c.sqlType, 20, 0, text.data(),
                               static_cast<SQLLEN>(text.size() + 1), &len),
              SQL_SUCCESS);
    const std::string insert =
        "INSERT INTO " + table_ + " (id, " + c.column + ") VALUES (" + std::to_string(id) + ", ?)";
    const SQLRETURN rc = SQLExecDirect(stmt_, (SQLCHAR*)insert.c_str(), SQL_NTS);
    if (*c.state != '\0') {
      EXPECT_EQ(rc, SQL_ERROR);
      EXPECT_EQ(State(SQL_HANDLE_STMT, stmt_), c.state) << Diags(SQL_HANDLE_STMT, stmt_);
    } else {
      EXPECT_EQ(rc, SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, stmt_);
    }
    SQLFreeStmt(stmt_, SQL_CLOSE);
    ASSERT_EQ(SQLFreeStmt(stmt_, SQL_RESET_PARAMS), SQL_SUCCESS);
    // Nothing is stored for a refused value; a NULL never stands in for it.
    const std::string select =
        "SELECT " + std::string(c.column) + " FROM " + table_ + " WHERE id = " + std::to_string(id);
    ASSERT_EQ(SQLExecDirect(stmt_, (SQLCHAR*)select.c_str(), SQL_NTS), SQL_SUCCESS);
    const SQLRETURN fetched = SQLFetch(stmt_);
    if (c.stored == nullptr) {
      EXPECT_EQ(fetched, SQL_NO_DATA);
    } else {
      ASSERT_EQ(fetched, SQL_SUCCESS);
      char buf[64] = {};
      SQLLEN ind = 0;
      ASSERT_EQ(SQLGetData(stmt_, 1, SQL_C_CHAR, buf, sizeof buf, &ind), SQL_SUCCESS);
      EXPECT_EQ(std::string(ind == SQL_NULL_DATA ? "NULL" : buf), c.stored);
    }
    SQLFreeStmt(stmt_, SQL_CLOSE);
  }
}

// The same text sent at execution, as PDO_ODBC sends every value.
TEST_P(TextValues, BlankTextSentAtExecutionIs22018) {
  ASSERT_TRUE(Recreate(table_, "id INTEGER, i INTEGER"));
  for (const SQLSMALLINT sqlType : {SQL_INTEGER, SQL_VARCHAR}) {
    SCOPED_TRACE(sqlType);
    SQLLEN len = SQL_LEN_DATA_AT_EXEC(0);
    ASSERT_EQ(SQLBindParameter(stmt_, 1, SQL_PARAM_INPUT, SQL_C_CHAR, sqlType, 10, 0, (SQLPOINTER)1,
                               0, &len),
              SQL_SUCCESS);
    const std::string insert = "INSERT INTO " + table_ + " (id, i) VALUES (1, ?)";
    ASSERT_EQ(SQLExecDirect(stmt_, (SQLCHAR*)insert.c_str(), SQL_NTS), SQL_NEED_DATA);
    SQLPOINTER token = nullptr;
    ASSERT_EQ(SQLParamData(stmt_, &token), SQL_NEED_DATA);
    ASSERT_EQ(SQLPutData(stmt_, (SQLPOINTER) " ", 1), SQL_SUCCESS);
    EXPECT_EQ(SQLParamData(stmt_, &token), SQL_ERROR);
    EXPECT_EQ(State(SQL_HANDLE_STMT, stmt_), "22018") << Diags(SQL_HANDLE_STMT, stmt_);
    SQLFreeStmt(stmt_, SQL_CLOSE);
    ASSERT_EQ(SQLFreeStmt(stmt_, SQL_RESET_PARAMS), SQL_SUCCESS);
  }
  ASSERT_EQ(SQLExecDirect(stmt_, (SQLCHAR*)("SELECT COUNT(*) FROM " + table_).c_str(), SQL_NTS),
            SQL_SUCCESS);
  ASSERT_EQ(SQLFetch(stmt_), SQL_SUCCESS);
  SQLINTEGER n = -1;
  ASSERT_EQ(SQLGetData(stmt_, 1, SQL_C_SLONG, &n, 0, nullptr), SQL_SUCCESS);
  EXPECT_EQ(n, 0);
}

TEST_P(TextValues, FetchedTextBecomesADateOrTimeOnlyWhenItIsOne) {
  struct Case {
    const char* text;
    SQLSMALLINT cType;
    const char* state;  // "" for a value
    SQL_TIMESTAMP_STRUCT want;
  };
  const Case kCases[] = {
      {"not a date", SQL_C_TYPE_DATE, "22018", {}},
      {"not a date", SQL_C_TYPE_TIME, "22018", {}},
      {"not a date", SQL_C_TYPE_TIMESTAMP, "22018", {}},
      {"2024-02-09", SQL_C_TYPE_DATE, "", {2024, 2, 9}},
      {"2024-02-09 10:11:12.25", SQL_C_TYPE_TIMESTAMP, "", {2024, 2, 9, 10, 11, 12, 250000000}},
      {"10:11:12", SQL_C_TYPE_TIME, "", {0, 0, 0, 10, 11, 12}},
  };
  ASSERT_TRUE(Recreate(table_, "c VARCHAR(30)"));
  for (const Case& c : kCases) {
    SCOPED_TRACE(testing::Message() << c.text << " as " << c.cType);
    ASSERT_TRUE(Exec("DELETE FROM " + table_));
    ASSERT_TRUE(Exec("INSERT INTO " + table_ + " VALUES ('" + c.text + "')"));
    ASSERT_EQ(SQLExecDirect(stmt_, (SQLCHAR*)("SELECT c FROM " + table_).c_str(), SQL_NTS),
              SQL_SUCCESS);
    ASSERT_EQ(SQLFetch(stmt_), SQL_SUCCESS);
    SQL_TIMESTAMP_STRUCT out{};
    SQLLEN ind = 0;
    const SQLRETURN rc = SQLGetData(stmt_, 1, c.cType, &out, sizeof out, &ind);
    if (*c.state != '\0') {
      EXPECT_EQ(rc, SQL_ERROR);
      EXPECT_EQ(State(SQL_HANDLE_STMT, stmt_), c.state);
    } else if (c.cType == SQL_C_TYPE_TIMESTAMP) {
      ASSERT_EQ(rc, SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, stmt_);
      EXPECT_EQ(std::memcmp(&out, &c.want, sizeof out), 0);
    } else {
      ASSERT_EQ(rc, SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, stmt_);
      SQLUSMALLINT got[3];
      std::memcpy(got, &out, sizeof got);
      const SQLUSMALLINT want[3] = {
          static_cast<SQLUSMALLINT>(c.cType == SQL_C_TYPE_DATE ? c.want.year : c.want.hour),
          c.cType == SQL_C_TYPE_DATE ? c.want.month : c.want.minute,
          c.cType == SQL_C_TYPE_DATE ? c.want.day : c.want.second};
      EXPECT_EQ(std::memcmp(got, want, sizeof got), 0);
    }
    SQLFreeStmt(stmt_, SQL_CLOSE);
  }
}

// A date or datetime the server finds out of range, or text it cannot read as one, is
// the application's value at fault: a datetime SQLSTATE, never the general HY000.
TEST_P(TextValues, ServerDatetimeFieldErrorsAreDatetimeStates) {
  struct Case {
    const char* value;  // into the column named first
    const char* state;
  };
  const Case kCases[] = {
      {"d) VALUES ('02/30/2020'", "22007"},                     // day of the month
      {"d) VALUES ('13/01/2020'", "22007"},                     // month
      {"dt) VALUES ('2020-02-30 00:00:00'", "22007"},           // datetime field
      {"dt) VALUES ('2020-01-01 25:00:00'", "22007"},
      {"dt) VALUES ('2020-01-01 00:00:00:00'", "22007"},        // characters left over
      {"dt) VALUES ('2020-01-0x 00:00:00'", "22007"},           // not a number
      {"iv) VALUES ('12345 00:00:00'", "22015"},                // interval too large
      {"d) SELECT MDY(2, 30, 2020) FROM systables WHERE tabid = 1 --", "22007"},
  };
  ASSERT_TRUE(Recreate(table_, "d DATE, dt DATETIME YEAR TO SECOND, iv INTERVAL DAY TO SECOND"));
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.value);
    std::string sql = "INSERT INTO " + table_ + " (" + c.value;
    if (sql.find("--") == std::string::npos) sql += ")";
    EXPECT_EQ(SQLExecDirect(stmt_, (SQLCHAR*)sql.c_str(), SQL_NTS), SQL_ERROR);
    EXPECT_EQ(State(SQL_HANDLE_STMT, stmt_), c.state) << Diags(SQL_HANDLE_STMT, stmt_);
    SQLFreeStmt(stmt_, SQL_CLOSE);
  }
}

KES_E2E_BUILDS(TextValues);

}  // namespace
