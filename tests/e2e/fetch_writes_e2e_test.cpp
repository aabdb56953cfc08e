// fetch_writes_e2e_test.cpp -- what a fetch owes the application's buffers and its row
// limit: every bound column written whatever its length buffer held before, and a row
// limit lowered in the middle of a result never letting more rows through than it says;
// both builds, each fetch road.

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "e2e_db.h"

namespace {

class FetchWrites : public DbTest {
 protected:
  // rows numbered 1..n, each with its number as text beside it.
  void Fill(int rows) {
    ASSERT_TRUE(Recreate(table_, "id INTEGER PRIMARY KEY, name VARCHAR(10)"));
    ASSERT_TRUE(InsertIds("INSERT INTO " + table_ + " (id) VALUES (?)", rows));
    ASSERT_TRUE(Exec("UPDATE " + table_ + " SET name = 'n' || id"));
  }

  void Open(SQLULEN cursorType, SQLULEN rowset) {
    ASSERT_EQ(SQLSetStmtAttr(stmt_, SQL_ATTR_CURSOR_TYPE, (SQLPOINTER)cursorType, 0), SQL_SUCCESS);
    ASSERT_EQ(SQLSetStmtAttr(stmt_, SQL_ATTR_ROW_ARRAY_SIZE, (SQLPOINTER)rowset, 0), SQL_SUCCESS);
    const std::string sql = "SELECT id, name FROM " + table_ + " ORDER BY id";
    ASSERT_EQ(SQLExecDirect(stmt_, (SQLCHAR*)sql.c_str(), SQL_NTS), SQL_SUCCESS)
        << Diags(SQL_HANDLE_STMT, stmt_);
  }

  std::string table_ = std::string("fw_") + GetParam().name;
};

// SQL_COLUMN_IGNORE is what a SetPos or bulk operation left in a length buffer; the next
// fetch must overwrite the value and the length all the same.
TEST_P(FetchWrites, EveryBoundColumnIsWrittenWhateverItsLengthHeld) {
  struct Case {
    const char* name;
    SQLULEN cursorType;
    SQLULEN rowset;
  };
  const Case kCases[] = {
      {"keyset-driven rowsets", SQL_CURSOR_KEYSET_DRIVEN, 2},
      {"forward-only, one row", SQL_CURSOR_FORWARD_ONLY, 1},
      {"forward-only rowsets", SQL_CURSOR_FORWARD_ONLY, 2},
      {"static rowsets", SQL_CURSOR_STATIC, 2},
      {"keyset-driven rowsets", SQL_CURSOR_KEYSET_DRIVEN, 2},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    Fill(6);
    Open(c.cursorType, c.rowset);
    SQLINTEGER id[2] = {-1, -1};
    SQLLEN idLen[2];
    char name[2][12] = {};
    SQLLEN nameLen[2];
    ASSERT_EQ(SQLBindCol(stmt_, 1, SQL_C_SLONG, id, 0, idLen), SQL_SUCCESS);
    ASSERT_EQ(SQLBindCol(stmt_, 2, SQL_C_CHAR, name, sizeof name[0], nameLen), SQL_SUCCESS);
    for (SQLINTEGER first = 1; first <= 5; first += static_cast<SQLINTEGER>(c.rowset)) {
      for (int r = 0; r < 2; ++r) {
        id[r] = -1;
        std::snprintf(name[r], sizeof name[r], "old");
        idLen[r] = nameLen[r] = SQL_COLUMN_IGNORE;
      }
      ASSERT_EQ(SQLFetchScroll(stmt_, SQL_FETCH_NEXT, 0), SQL_SUCCESS)
          << Diags(SQL_HANDLE_STMT, stmt_);
      for (SQLULEN r = 0; r < c.rowset; ++r) {
        const SQLINTEGER want = first + static_cast<SQLINTEGER>(r);
        EXPECT_EQ(id[r], want);
        EXPECT_EQ(idLen[r], 4);
        EXPECT_EQ(std::string(name[r]), "n" + std::to_string(want));
        EXPECT_EQ(nameLen[r], 2);
      }
    }
    // The next case starts from a statement of the default cursor type.
    SQLFreeHandle(SQL_HANDLE_STMT, stmt_);
    ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &stmt_), SQL_SUCCESS);
  }
}

// A limit lowered after the first fetch holds from then on; one raised or lifted does not
// let the open result past the limit it was opened with.
TEST_P(FetchWrites, RowLimitChangedDuringAResultKeepsTheSmallerOne) {
  struct Case {
    SQLULEN rowset;
    SQLULEN later;
    int total;
  };
  const Case kCases[] = {{1, 6, 6}, {1, 2, 2}, {1, 1, 1}, {1, 12, 8},
                         {1, 0, 8}, {3, 6, 6}, {3, 2, 3}, {3, 12, 8}};
  Fill(16);
  for (const Case& c : kCases) {
    SCOPED_TRACE(testing::Message() << "rowset " << c.rowset << ", limit 8 then " << c.later);
    ASSERT_EQ(SQLSetStmtAttr(stmt_, SQL_ATTR_MAX_ROWS, (SQLPOINTER)8, 0), SQL_SUCCESS);
    Open(SQL_CURSOR_FORWARD_ONLY, c.rowset);
    SQLULEN fetched = 0;
    ASSERT_EQ(SQLSetStmtAttr(stmt_, SQL_ATTR_ROWS_FETCHED_PTR, &fetched, 0), SQL_SUCCESS);
    SQLINTEGER id[3] = {};
    ASSERT_EQ(SQLBindCol(stmt_, 1, SQL_C_SLONG, id, 0, nullptr), SQL_SUCCESS);
    ASSERT_EQ(SQLFetchScroll(stmt_, SQL_FETCH_NEXT, 0), SQL_SUCCESS);
    int total = static_cast<int>(fetched);
    EXPECT_EQ(SQLSetStmtAttr(stmt_, SQL_ATTR_MAX_ROWS, (SQLPOINTER)c.later, 0), SQL_SUCCESS)
        << Diags(SQL_HANDLE_STMT, stmt_);
    SQLRETURN rc;
    while ((rc = SQLFetchScroll(stmt_, SQL_FETCH_NEXT, 0)) == SQL_SUCCESS) {
      EXPECT_EQ(id[0], total + 1);
      total += static_cast<int>(fetched);
    }
    EXPECT_EQ(rc, SQL_NO_DATA) << Diags(SQL_HANDLE_STMT, stmt_);
    EXPECT_EQ(total, c.total);
    ASSERT_EQ(SQLFreeStmt(stmt_, SQL_CLOSE), SQL_SUCCESS);
    ASSERT_EQ(SQLFreeStmt(stmt_, SQL_UNBIND), SQL_SUCCESS);
    ASSERT_EQ(SQLSetStmtAttr(stmt_, SQL_ATTR_ROWS_FETCHED_PTR, nullptr, 0), SQL_SUCCESS);
    // The new limit is the next result's.
    if (c.later == 6 && c.rowset == 1) {
      Open(SQL_CURSOR_FORWARD_ONLY, 1);
      int rows = 0;
      while (SQLFetch(stmt_) == SQL_SUCCESS) ++rows;
      EXPECT_EQ(rows, 6);
      ASSERT_EQ(SQLFreeStmt(stmt_, SQL_CLOSE), SQL_SUCCESS);
    }
  }
}

// SQL_ATTR_ROW_NUMBER names the row the cursor stands on: a rowset's first after the
// fetch, the one SQLSetPos moved to, counted afresh in each execution.
TEST_P(FetchWrites, RowNumberIsTheCurrentRow) {
  Fill(7);
  const std::string sql = "SELECT id FROM " + table_ + " ORDER BY id";
  ASSERT_EQ(SQLPrepare(stmt_, (SQLCHAR*)sql.c_str(), SQL_NTS), SQL_SUCCESS);
  SQLINTEGER id[3] = {};
  ASSERT_EQ(SQLBindCol(stmt_, 1, SQL_C_SLONG, id, 0, nullptr), SQL_SUCCESS);
  const auto rowNumber = [&] {
    SQLULEN n = 0;
    EXPECT_EQ(SQLGetStmtAttr(stmt_, SQL_ATTR_ROW_NUMBER, &n, 0, nullptr), SQL_SUCCESS);
    return n;
  };
  for (int run = 0; run < 2; ++run) {
    SCOPED_TRACE(run);
    ASSERT_EQ(SQLSetStmtAttr(stmt_, SQL_ATTR_ROW_ARRAY_SIZE, (SQLPOINTER)3, 0), SQL_SUCCESS);
    ASSERT_EQ(SQLExecute(stmt_), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, stmt_);
    ASSERT_EQ(SQLFetchScroll(stmt_, SQL_FETCH_NEXT, 0), SQL_SUCCESS);
    EXPECT_EQ(rowNumber(), 1u);
    ASSERT_EQ(SQLSetPos(stmt_, 2, SQL_POSITION, SQL_LOCK_NO_CHANGE), SQL_SUCCESS);
    EXPECT_EQ(rowNumber(), 2u);
    ASSERT_EQ(SQLFetchScroll(stmt_, SQL_FETCH_NEXT, 0), SQL_SUCCESS);
    EXPECT_EQ(rowNumber(), 4u);
    ASSERT_EQ(SQLSetStmtAttr(stmt_, SQL_ATTR_ROW_ARRAY_SIZE, (SQLPOINTER)1, 0), SQL_SUCCESS);
    ASSERT_EQ(SQLFetch(stmt_), SQL_SUCCESS);
    EXPECT_EQ(id[0], 7);
    EXPECT_EQ(rowNumber(), 7u);
    ASSERT_EQ(SQLFreeStmt(stmt_, SQL_CLOSE), SQL_SUCCESS);
  }
}

// A scrollable cursor's rows were read under the limit it was opened with; a lower one
// set after the first fetch holds for every later fetch, its row count and its row numbers.
TEST_P(FetchWrites, RowLimitLoweredOnAScrollableCursorHoldsForEveryFetch) {
  struct Type {
    const char* name;
    SQLULEN cursorType;
    SQLULEN keysetSize;
  };
  const Type kTypes[] = {{"static", SQL_CURSOR_STATIC, 0},
                         {"keyset-driven", SQL_CURSOR_KEYSET_DRIVEN, 0}};
  const SQLULEN kLater[] = {6, 2, 1, 12, 0};
  constexpr SQLULEN kRowset = 2;
  Fill(16);
  for (const Type& t : kTypes) {
    for (const SQLULEN later : kLater) {
      SCOPED_TRACE(testing::Message() << t.name << ", limit 8 then " << later);
      const SQLINTEGER limit = later == 0 || later > 8 ? 8 : static_cast<SQLINTEGER>(later);
      ASSERT_EQ(SQLSetStmtAttr(stmt_, SQL_ATTR_MAX_ROWS, (SQLPOINTER)8, 0), SQL_SUCCESS);
      ASSERT_EQ(SQLSetStmtAttr(stmt_, SQL_ATTR_KEYSET_SIZE, (SQLPOINTER)t.keysetSize, 0),
                SQL_SUCCESS);
      Open(t.cursorType, kRowset);
      SQLULEN fetched = 0;
      ASSERT_EQ(SQLSetStmtAttr(stmt_, SQL_ATTR_ROWS_FETCHED_PTR, &fetched, 0), SQL_SUCCESS);
      SQLINTEGER id[kRowset] = {};
      ASSERT_EQ(SQLBindCol(stmt_, 1, SQL_C_SLONG, id, 0, nullptr), SQL_SUCCESS);
      ASSERT_EQ(SQLFetchScroll(stmt_, SQL_FETCH_NEXT, 0), SQL_SUCCESS)
          << Diags(SQL_HANDLE_STMT, stmt_);
      EXPECT_EQ(SQLSetStmtAttr(stmt_, SQL_ATTR_MAX_ROWS, (SQLPOINTER)later, 0), SQL_SUCCESS)
          << Diags(SQL_HANDLE_STMT, stmt_);
      // Onwards to the end: no row past the limit.
      SQLINTEGER last = static_cast<SQLINTEGER>(kRowset);
      SQLRETURN rc;
      while ((rc = SQLFetchScroll(stmt_, SQL_FETCH_NEXT, 0)) == SQL_SUCCESS) {
        EXPECT_EQ(id[0], last + 1);
        last = id[fetched - 1];
      }
      EXPECT_EQ(rc, SQL_NO_DATA) << Diags(SQL_HANDLE_STMT, stmt_);
      EXPECT_EQ(last, std::max<SQLINTEGER>(limit, kRowset));
      // The last rowset ends at the limit, and a row past it is none.
      ASSERT_EQ(SQLFetchScroll(stmt_, SQL_FETCH_LAST, 0), SQL_SUCCESS)
          << Diags(SQL_HANDLE_STMT, stmt_);
      const SQLINTEGER first = limit > SQLINTEGER{kRowset} ? limit - SQLINTEGER{kRowset} + 1 : 1;
      EXPECT_EQ(id[0], first);
      EXPECT_EQ(fetched, static_cast<SQLULEN>(limit - first + 1));
      EXPECT_EQ(id[fetched - 1], limit);
      SQLULEN number = 0;
      ASSERT_EQ(SQLGetStmtAttr(stmt_, SQL_ATTR_ROW_NUMBER, &number, 0, nullptr), SQL_SUCCESS);
      EXPECT_EQ(number, static_cast<SQLULEN>(first));
      SQLLEN count = 0;
      ASSERT_EQ(SQLRowCount(stmt_, &count), SQL_SUCCESS);
      EXPECT_EQ(count, limit);
      ASSERT_EQ(SQLFetchScroll(stmt_, SQL_FETCH_ABSOLUTE, limit), SQL_SUCCESS);
      EXPECT_EQ(id[0], limit);
      EXPECT_EQ(fetched, 1u);
      EXPECT_EQ(SQLFetchScroll(stmt_, SQL_FETCH_ABSOLUTE, limit + 1), SQL_NO_DATA);
      EXPECT_EQ(SQLFetchScroll(stmt_, SQL_FETCH_ABSOLUTE, -1), SQL_SUCCESS);
      EXPECT_EQ(id[0], limit);
      ASSERT_EQ(SQLFreeStmt(stmt_, SQL_CLOSE), SQL_SUCCESS);
      ASSERT_EQ(SQLFreeStmt(stmt_, SQL_UNBIND), SQL_SUCCESS);
      ASSERT_EQ(SQLSetStmtAttr(stmt_, SQL_ATTR_ROWS_FETCHED_PTR, nullptr, 0), SQL_SUCCESS);
    }
  }
}

KES_E2E_BUILDS(FetchWrites);

}  // namespace
