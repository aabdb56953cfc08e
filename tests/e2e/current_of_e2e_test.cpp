// current_of_e2e_test.cpp -- positioned UPDATE and DELETE on a second statement name the
// row the application's forward-only cursor stands on, however many rows the result has
// and whether the cursor is named by the application or only selected FOR UPDATE; both
// builds.

#include <string>
#include <vector>

#include "e2e_db.h"

namespace {

class CurrentOf : public DbTest {
 protected:
  void Fill(int rows) {
    ASSERT_TRUE(Recreate(table_, "id INTEGER, x CHAR(1)"));
    ASSERT_TRUE(InsertIds("INSERT INTO " + table_ + " VALUES (?, 'o')", rows));
  }

  // The ids whose x is not 'o', and the count of rows left.
  std::string Changed() {
    SQLHSTMT q = nullptr;
    EXPECT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &q), SQL_SUCCESS);
    const std::string sql = "SELECT id, x FROM " + table_ + " ORDER BY id";
    EXPECT_EQ(SQLExecDirect(q, (SQLCHAR*)sql.c_str(), SQL_NTS), SQL_SUCCESS)
        << Diags(SQL_HANDLE_STMT, q);
    std::string out;
    int rows = 0;
    SQLINTEGER id = 0;
    char x[4] = {};
    SQLLEN len = 0;
    SQLBindCol(q, 1, SQL_C_SLONG, &id, 0, nullptr);
    SQLBindCol(q, 2, SQL_C_CHAR, x, sizeof x, &len);
    while (SQLFetch(q) == SQL_SUCCESS) {
      ++rows;
      if (std::string(x) != "o") out += std::to_string(id) + x + ";";
    }
    SQLFreeHandle(SQL_HANDLE_STMT, q);
    return out + std::to_string(rows);
  }

  std::string table_ = std::string("cur_") + GetParam().name;
};

TEST_P(CurrentOf, PositionedStatementsNameTheFetchedRow) {
  struct Case {
    int rows;
    bool named;  // the application names the cursor; else it keeps the driver's name
    bool update;
    bool autocommit;  // each statement commits on its own, the cursor's transaction included
  };
  for (const Case c :
       {Case{149, true, true, false}, Case{8, true, true, false}, Case{149, false, true, false},
        Case{8, false, false, false}, Case{149, true, false, false}, Case{149, true, true, true},
        Case{8, true, false, true}}) {
    SCOPED_TRACE(testing::Message()
                 << c.rows << " rows, " << (c.named ? "named" : "FOR UPDATE")
                 << (c.update ? ", UPDATE" : ", DELETE") << (c.autocommit ? ", autocommit" : ""));
    Fill(c.rows);
    std::string name = "c1";
    const std::string select = "SELECT id FROM " + table_ + " FOR UPDATE";
    if (c.named) {
      ASSERT_EQ(SQLSetCursorName(stmt_, (SQLCHAR*)name.c_str(), SQL_NTS), SQL_SUCCESS);
    } else {
      char got[64] = {};
      SQLSMALLINT len = 0;
      ASSERT_EQ(SQLGetCursorName(stmt_, (SQLCHAR*)got, sizeof got, &len), SQL_SUCCESS);
      name = got;
    }
    if (!c.autocommit) {
      ASSERT_EQ(SQLSetConnectAttr(dbc_, SQL_ATTR_AUTOCOMMIT, (SQLPOINTER)SQL_AUTOCOMMIT_OFF, 0),
                SQL_SUCCESS);
    }
    ASSERT_EQ(SQLExecDirect(stmt_, (SQLCHAR*)select.c_str(), SQL_NTS), SQL_SUCCESS)
        << Diags(SQL_HANDLE_STMT, stmt_);
    SQLINTEGER id = 0;
    ASSERT_EQ(SQLBindCol(stmt_, 1, SQL_C_SLONG, &id, 0, nullptr), SQL_SUCCESS);
    std::vector<SQLINTEGER> seen;
    for (int k = 0; k < 5; ++k) {
      ASSERT_EQ(SQLFetch(stmt_), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, stmt_);
      seen.push_back(id);
    }
    SQLHSTMT other = nullptr;
    ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &other), SQL_SUCCESS);
    const std::string positioned =
        (c.update ? "UPDATE " + table_ + " SET x = 'u'" : "DELETE FROM " + table_) +
        " WHERE CURRENT OF " + name;
    EXPECT_EQ(SQLExecDirect(other, (SQLCHAR*)positioned.c_str(), SQL_NTS), SQL_SUCCESS)
        << Diags(SQL_HANDLE_STMT, other);
    SQLLEN count = 0;
    EXPECT_EQ(SQLRowCount(other, &count), SQL_SUCCESS);
    EXPECT_EQ(count, 1);
    // The cursor goes on from where it stood.
    ASSERT_EQ(SQLFetch(stmt_), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, stmt_);
    const SQLINTEGER next = id;
    SQLFreeHandle(SQL_HANDLE_STMT, other);
    ASSERT_EQ(SQLFreeStmt(stmt_, SQL_CLOSE), SQL_SUCCESS);
    ASSERT_EQ(SQLFreeStmt(stmt_, SQL_UNBIND), SQL_SUCCESS);
    ASSERT_EQ(SQLEndTran(SQL_HANDLE_DBC, dbc_, SQL_COMMIT), SQL_SUCCESS);
    ASSERT_EQ(SQLSetConnectAttr(dbc_, SQL_ATTR_AUTOCOMMIT, (SQLPOINTER)SQL_AUTOCOMMIT_ON, 0),
              SQL_SUCCESS);
    const std::string fifth = std::to_string(seen[4]);
    EXPECT_EQ(Changed(),
              c.update ? fifth + "u;" + std::to_string(c.rows) : std::to_string(c.rows - 1));
    if (!c.update) {
      // The row deleted is the fifth the cursor gave.
      SQLHSTMT q = nullptr;
      ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &q), SQL_SUCCESS);
      const std::string sql = "SELECT COUNT(*) FROM " + table_ + " WHERE id = " + fifth;
      ASSERT_EQ(SQLExecDirect(q, (SQLCHAR*)sql.c_str(), SQL_NTS), SQL_SUCCESS);
      SQLINTEGER n = -1;
      ASSERT_EQ(SQLFetch(q), SQL_SUCCESS);
      ASSERT_EQ(SQLGetData(q, 1, SQL_C_SLONG, &n, 0, nullptr), SQL_SUCCESS);
      EXPECT_EQ(n, 0);
      SQLFreeHandle(SQL_HANDLE_STMT, q);
    }
    EXPECT_NE(next, seen[4]);
    // A fresh statement for the next case: its cursor name is its own again.
    SQLFreeHandle(SQL_HANDLE_STMT, stmt_);
    ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &stmt_), SQL_SUCCESS);
  }
}

// A rowset of a forward-only cursor leaves the server's cursor on its last row: that row
// is the one a positioned statement names, and naming another is refused, never applied
// to the wrong row.
TEST_P(CurrentOf, ARowsetLetsOnlyItsLastRowBeNamed) {
  Fill(10);
  ASSERT_EQ(SQLSetConnectAttr(dbc_, SQL_ATTR_AUTOCOMMIT, (SQLPOINTER)SQL_AUTOCOMMIT_OFF, 0),
            SQL_SUCCESS);
  ASSERT_EQ(SQLSetCursorName(stmt_, (SQLCHAR*)"c1", SQL_NTS), SQL_SUCCESS);
  ASSERT_EQ(SQLSetStmtAttr(stmt_, SQL_ATTR_ROW_ARRAY_SIZE, (SQLPOINTER)3, 0), SQL_SUCCESS);
  const std::string select = "SELECT id FROM " + table_ + " FOR UPDATE";
  ASSERT_EQ(SQLExecDirect(stmt_, (SQLCHAR*)select.c_str(), SQL_NTS), SQL_SUCCESS)
      << Diags(SQL_HANDLE_STMT, stmt_);
  SQLINTEGER id[3] = {};
  ASSERT_EQ(SQLBindCol(stmt_, 1, SQL_C_SLONG, id, 0, nullptr), SQL_SUCCESS);
  ASSERT_EQ(SQLFetchScroll(stmt_, SQL_FETCH_NEXT, 0), SQL_SUCCESS);
  SQLHSTMT other = nullptr;
  ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &other), SQL_SUCCESS);
  const std::string update = "UPDATE " + table_ + " SET x = 'u' WHERE CURRENT OF c1";
  // On the rowset's first row, as the fetch leaves it, then on its second.
  EXPECT_EQ(SQLExecDirect(other, (SQLCHAR*)update.c_str(), SQL_NTS), SQL_ERROR);
  EXPECT_EQ(State(SQL_HANDLE_STMT, other), "HY109");
  ASSERT_EQ(SQLSetPos(stmt_, 2, SQL_POSITION, SQL_LOCK_NO_CHANGE), SQL_SUCCESS);
  EXPECT_EQ(SQLExecDirect(other, (SQLCHAR*)update.c_str(), SQL_NTS), SQL_ERROR);
  ASSERT_EQ(SQLSetPos(stmt_, 3, SQL_POSITION, SQL_LOCK_NO_CHANGE), SQL_SUCCESS);
  EXPECT_EQ(SQLExecDirect(other, (SQLCHAR*)update.c_str(), SQL_NTS), SQL_SUCCESS)
      << Diags(SQL_HANDLE_STMT, other);
  const SQLINTEGER third = id[2];
  SQLFreeHandle(SQL_HANDLE_STMT, other);
  ASSERT_EQ(SQLFreeStmt(stmt_, SQL_CLOSE), SQL_SUCCESS);
  ASSERT_EQ(SQLFreeStmt(stmt_, SQL_UNBIND), SQL_SUCCESS);
  ASSERT_EQ(SQLSetStmtAttr(stmt_, SQL_ATTR_ROW_ARRAY_SIZE, (SQLPOINTER)1, 0), SQL_SUCCESS);
  ASSERT_EQ(SQLEndTran(SQL_HANDLE_DBC, dbc_, SQL_COMMIT), SQL_SUCCESS);
  ASSERT_EQ(SQLSetConnectAttr(dbc_, SQL_ATTR_AUTOCOMMIT, (SQLPOINTER)SQL_AUTOCOMMIT_ON, 0),
            SQL_SUCCESS);
  EXPECT_EQ(Changed(), std::to_string(third) + "u;10");
}

KES_E2E_BUILDS(CurrentOf);

}  // namespace
