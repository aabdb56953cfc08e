// positioning_e2e_test.cpp -- where each scrollable cursor type moves, through the
// Driver Manager and each driver library, checked against ODBC's cursor positioning
// rules: walks of fetches from a freshly opened cursor (whose row count is not known
// yet) and from known positions, with rowsets longer than the result, offsets that
// reach past either end, offsets beyond 32 bits, and bookmarks with offsets.

#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "e2e_db.h"

namespace {

constexpr int kRows = 7;
constexpr SQLINTEGER kBookmarkRow = 2;  // the row SQL_FETCH_BOOKMARK counts from

enum Kind : unsigned { kStatic = 1, kKeyset = 2, kDynamic = 4, kMixed = 8 };
constexpr unsigned kAbsolute = kStatic | kKeyset;  // the types that take absolute moves
constexpr unsigned kAll = kStatic | kKeyset | kDynamic | kMixed;

struct Step {
  SQLSMALLINT orientation;
  SQLLEN offset;
  int first;  // 0: SQL_NO_DATA
  int last;
};
struct Walk {
  const char* name;
  unsigned kinds;
  SQLULEN rowset;
  std::vector<Step> steps;
};

constexpr SQLLEN kPast32 = 4294967297LL;  // 2^32 + 1: row 1 when cut to 32 bits

const Walk kWalks[] = {
    // A result shorter than one rowset: counting back past its first row but not past
    // a rowset's length still names the first rowset, on the first fetch as later.
    {"absolute back past a short result",
     kAbsolute,
     10,
     {{SQL_FETCH_ABSOLUTE, -9, 1, 7},
      {SQL_FETCH_ABSOLUTE, -10, 1, 7},
      {SQL_FETCH_ABSOLUTE, -11, 0, 0},
      {SQL_FETCH_NEXT, 0, 1, 7}}},
    {"first fetch absolute -10 of 7 rows", kAbsolute, 10, {{SQL_FETCH_ABSOLUTE, -10, 1, 7}}},
    {"first fetch absolute -11 of 7 rows",
     kAbsolute,
     10,
     {{SQL_FETCH_ABSOLUTE, -11, 0, 0}, {SQL_FETCH_NEXT, 0, 1, 7}}},
    {"first fetch absolute back",
     kAbsolute,
     3,
     {{SQL_FETCH_ABSOLUTE, -2, 6, 7},
      {SQL_FETCH_ABSOLUTE, -7, 1, 3},
      {SQL_FETCH_ABSOLUTE, -8, 0, 0},
      {SQL_FETCH_NEXT, 0, 1, 3}}},
    {"first fetch absolute back past a rowset",
     kAbsolute,
     3,
     {{SQL_FETCH_ABSOLUTE, -9, 0, 0}, {SQL_FETCH_NEXT, 0, 1, 3}}},
    // Offsets beyond 32 bits, first and later.
    {"first fetch absolute 2^32 + 1",
     kAbsolute,
     3,
     {{SQL_FETCH_ABSOLUTE, kPast32, 0, 0}, {SQL_FETCH_PRIOR, 0, 5, 7}}},
    {"first fetch absolute -(2^32 + 1)",
     kAbsolute,
     3,
     {{SQL_FETCH_ABSOLUTE, -kPast32, 0, 0}, {SQL_FETCH_NEXT, 0, 1, 3}}},
    {"first fetch absolute LLONG_MIN",
     kAbsolute,
     3,
     {{SQL_FETCH_ABSOLUTE, LLONG_MIN, 0, 0}, {SQL_FETCH_NEXT, 0, 1, 3}}},
    {"absolute past 32 bits",
     kAbsolute,
     3,
     {{SQL_FETCH_NEXT, 0, 1, 3},
      {SQL_FETCH_ABSOLUTE, kPast32, 0, 0},
      {SQL_FETCH_PRIOR, 0, 5, 7},
      {SQL_FETCH_ABSOLUTE, 4294967296LL, 0, 0},
      {SQL_FETCH_PRIOR, 0, 5, 7},
      {SQL_FETCH_ABSOLUTE, LLONG_MAX, 0, 0},
      {SQL_FETCH_PRIOR, 0, 5, 7},
      {SQL_FETCH_ABSOLUTE, -kPast32, 0, 0},
      {SQL_FETCH_NEXT, 0, 1, 3},
      {SQL_FETCH_ABSOLUTE, LLONG_MIN, 0, 0},
      {SQL_FETCH_NEXT, 0, 1, 3}}},
    {"relative past 32 bits",
     kAll,
     3,
     {{SQL_FETCH_NEXT, 0, 1, 3},
      {SQL_FETCH_RELATIVE, 4294967306LL, 0, 0},
      {SQL_FETCH_PRIOR, 0, 5, 7},
      {SQL_FETCH_RELATIVE, -4294967296LL, 0, 0},
      {SQL_FETCH_NEXT, 0, 1, 3},
      {SQL_FETCH_RELATIVE, INT_MAX, 0, 0},
      {SQL_FETCH_PRIOR, 0, 5, 7},
      {SQL_FETCH_RELATIVE, INT_MIN, 0, 0},
      {SQL_FETCH_NEXT, 0, 1, 3},
      {SQL_FETCH_RELATIVE, 2147483648LL, 0, 0},
      {SQL_FETCH_PRIOR, 0, 5, 7},
      {SQL_FETCH_RELATIVE, LLONG_MAX, 0, 0},
      {SQL_FETCH_PRIOR, 0, 5, 7},
      {SQL_FETCH_RELATIVE, LLONG_MIN, 0, 0},
      {SQL_FETCH_NEXT, 0, 1, 3}}},
    // From either end a relative move is the absolute one.
    {"relative from either end",
     kAbsolute,
     3,
     {{SQL_FETCH_RELATIVE, LLONG_MAX, 0, 0},
      {SQL_FETCH_PRIOR, 0, 5, 7},
      {SQL_FETCH_NEXT, 0, 0, 0},
      {SQL_FETCH_RELATIVE, LLONG_MIN, 0, 0},
      {SQL_FETCH_NEXT, 0, 1, 3},
      {SQL_FETCH_LAST, 0, 5, 7},
      {SQL_FETCH_NEXT, 0, 0, 0},
      {SQL_FETCH_RELATIVE, -2, 6, 7},
      {SQL_FETCH_ABSOLUTE, -1, 7, 7},
      {SQL_FETCH_NEXT, 0, 0, 0},
      {SQL_FETCH_RELATIVE, -9, 0, 0},
      {SQL_FETCH_RELATIVE, 2, 2, 4}}},
    {"relative",
     kAll,
     3,
     {{SQL_FETCH_RELATIVE, 0, 0, 0},
      {SQL_FETCH_NEXT, 0, 1, 3},
      {SQL_FETCH_RELATIVE, -1, 0, 0},
      {SQL_FETCH_NEXT, 0, 1, 3},
      {SQL_FETCH_RELATIVE, 2, 3, 5},
      {SQL_FETCH_RELATIVE, -3, 1, 3},
      {SQL_FETCH_RELATIVE, 2, 3, 5},
      {SQL_FETCH_RELATIVE, -4, 0, 0},
      {SQL_FETCH_NEXT, 0, 1, 3},
      {SQL_FETCH_RELATIVE, 0, 1, 3},
      {SQL_FETCH_RELATIVE, 4, 5, 7},
      {SQL_FETCH_RELATIVE, 3, 0, 0},
      {SQL_FETCH_RELATIVE, 0, 0, 0},
      {SQL_FETCH_PRIOR, 0, 5, 7}}},
    {"back from a short rowset",
     kAll,
     3,
     {{SQL_FETCH_FIRST, 0, 1, 3},
      {SQL_FETCH_NEXT, 0, 4, 6},
      {SQL_FETCH_NEXT, 0, 7, 7},
      {SQL_FETCH_RELATIVE, -1, 6, 7},
      {SQL_FETCH_RELATIVE, -5, 1, 3},
      {SQL_FETCH_RELATIVE, 6, 7, 7},
      {SQL_FETCH_RELATIVE, -7, 0, 0},
      {SQL_FETCH_NEXT, 0, 1, 3},
      {SQL_FETCH_RELATIVE, 6, 7, 7},
      {SQL_FETCH_RELATIVE, -6, 1, 3},
      {SQL_FETCH_RELATIVE, 6, 7, 7},
      {SQL_FETCH_RELATIVE, -8, 0, 0},
      {SQL_FETCH_NEXT, 0, 1, 3},
      {SQL_FETCH_RELATIVE, 6, 7, 7},
      {SQL_FETCH_RELATIVE, -3, 4, 6}}},
    {"relative in a rowset longer than the result",
     kAll,
     10,
     {{SQL_FETCH_FIRST, 0, 1, 7},
      {SQL_FETCH_RELATIVE, -1, 0, 0},
      {SQL_FETCH_NEXT, 0, 1, 7},
      {SQL_FETCH_RELATIVE, 0, 1, 7},
      {SQL_FETCH_RELATIVE, 1, 2, 7},
      {SQL_FETCH_RELATIVE, -1, 1, 7},
      {SQL_FETCH_RELATIVE, -2, 0, 0},
      {SQL_FETCH_NEXT, 0, 1, 7},
      {SQL_FETCH_RELATIVE, 3, 4, 7},
      {SQL_FETCH_RELATIVE, -5, 1, 7},
      {SQL_FETCH_RELATIVE, 6, 7, 7},
      {SQL_FETCH_RELATIVE, -10, 1, 7},
      {SQL_FETCH_RELATIVE, 6, 7, 7},
      {SQL_FETCH_RELATIVE, -11, 0, 0},
      {SQL_FETCH_NEXT, 0, 1, 7}}},
    {"last and prior, rowset longer than the result",
     kAll,
     10,
     {{SQL_FETCH_LAST, 0, 1, 7},
      {SQL_FETCH_LAST, 0, 1, 7},
      {SQL_FETCH_PRIOR, 0, 0, 0},
      {SQL_FETCH_NEXT, 0, 1, 7},
      {SQL_FETCH_NEXT, 0, 0, 0},
      {SQL_FETCH_PRIOR, 0, 1, 7},
      {SQL_FETCH_FIRST, 0, 1, 7}}},
    {"last and prior",
     kAll,
     3,
     {{SQL_FETCH_LAST, 0, 5, 7},
      {SQL_FETCH_PRIOR, 0, 2, 4},
      {SQL_FETCH_PRIOR, 0, 1, 3},
      {SQL_FETCH_PRIOR, 0, 0, 0},
      {SQL_FETCH_PRIOR, 0, 0, 0},
      {SQL_FETCH_NEXT, 0, 1, 3},
      {SQL_FETCH_LAST, 0, 5, 7},
      {SQL_FETCH_NEXT, 0, 0, 0},
      {SQL_FETCH_NEXT, 0, 0, 0},
      {SQL_FETCH_PRIOR, 0, 5, 7}}},
    // The bookmark of row 2 with an offset.
    {"bookmarks with offsets",
     kAbsolute,
     3,
     {{SQL_FETCH_BOOKMARK, 0, 2, 4},
      {SQL_FETCH_BOOKMARK, 5, 7, 7},
      {SQL_FETCH_BOOKMARK, -2, 0, 0},
      {SQL_FETCH_NEXT, 0, 1, 3},
      {SQL_FETCH_BOOKMARK, 6, 0, 0},
      {SQL_FETCH_PRIOR, 0, 5, 7},
      {SQL_FETCH_BOOKMARK, 4294967294LL, 0, 0},
      {SQL_FETCH_PRIOR, 0, 5, 7},
      {SQL_FETCH_BOOKMARK, LLONG_MAX, 0, 0},
      {SQL_FETCH_PRIOR, 0, 5, 7},
      {SQL_FETCH_BOOKMARK, LLONG_MIN, 0, 0},
      {SQL_FETCH_NEXT, 0, 1, 3}}},
};

class DmPositioning : public DbTest {
 protected:
  void SetUp() override {
    DbTest::SetUp();
    table_ = std::string("pos_rows_") + GetParam().name;
    ASSERT_TRUE(Recreate(table_, "id INTEGER PRIMARY KEY, name VARCHAR(20)"));
    for (int i = 1; i <= kRows; ++i)
      ASSERT_TRUE(Exec("INSERT INTO " + table_ + " VALUES (" + std::to_string(i) + ", 'n" +
                       std::to_string(i) + "')"));
  }

  // A cursor of one kind over the ids in order, bound column-wise with statuses.
  void Open(unsigned kind, SQLULEN rowset) {
    SQLFreeStmt(stmt_, SQL_CLOSE);
    SQLFreeStmt(stmt_, SQL_UNBIND);
    const SQLULEN type = kind == kStatic    ? SQL_CURSOR_STATIC
                         : kind == kDynamic ? SQL_CURSOR_DYNAMIC
                                            : SQL_CURSOR_KEYSET_DRIVEN;
    ASSERT_EQ(SQLSetStmtAttr(stmt_, SQL_ATTR_CURSOR_TYPE, (SQLPOINTER)type, 0), SQL_SUCCESS)
        << Diags(SQL_HANDLE_STMT, stmt_);
    // A mixed cursor's keyset window holds a little more than one rowset.
    const SQLULEN keyset = kind == kMixed ? rowset + 1 : 0;
    ASSERT_EQ(SQLSetStmtAttr(stmt_, SQL_ATTR_KEYSET_SIZE, (SQLPOINTER)keyset, 0), SQL_SUCCESS);
    const SQLULEN marks = (kind & kAbsolute) != 0 ? SQL_UB_VARIABLE : SQL_UB_OFF;
    ASSERT_EQ(SQLSetStmtAttr(stmt_, SQL_ATTR_USE_BOOKMARKS, (SQLPOINTER)marks, 0), SQL_SUCCESS);
    ASSERT_EQ(SQLSetStmtAttr(stmt_, SQL_ATTR_ROW_ARRAY_SIZE, (SQLPOINTER)rowset, 0), SQL_SUCCESS);
    ASSERT_EQ(SQLSetStmtAttr(stmt_, SQL_ATTR_ROW_STATUS_PTR, status_, 0), SQL_SUCCESS);
    ASSERT_EQ(SQLSetStmtAttr(stmt_, SQL_ATTR_ROWS_FETCHED_PTR, &fetched_, 0), SQL_SUCCESS);
    ASSERT_EQ(SQLSetStmtAttr(stmt_, SQL_ATTR_FETCH_BOOKMARK_PTR, &bookmark_, 0), SQL_SUCCESS);
    const std::string sql = "SELECT id, name FROM " + table_ + " ORDER BY id";
    const SQLRETURN rc = SQLExecDirect(stmt_, (SQLCHAR*)sql.c_str(), SQL_NTS);
    ASSERT_EQ(rc, SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, stmt_);
    ASSERT_EQ(SQLBindCol(stmt_, 1, SQL_C_SLONG, ids_, 0, ind_), SQL_SUCCESS);
  }

  // One step: its answer and the rows it brought, each a success, the entries past
  // them no row. false when any of it is not as the step says.
  bool Take(const Step& s, SQLULEN rowset, bool extended) {
    std::memset(ids_, 0, sizeof ids_);
    for (auto& st : status_) st = 99;
    fetched_ = 99;
    SQLULEN extendedRows = 99;
    // SQLExtendedFetch takes the bookmark itself where SQLFetchScroll adds an offset to it.
    SQLLEN offset = s.offset;
    if (extended && s.orientation == SQL_FETCH_BOOKMARK && offset > LLONG_MIN + kBookmarkRow &&
        offset < LLONG_MAX - kBookmarkRow)
      offset += kBookmarkRow;
    const SQLRETURN rc =
        extended ? SQLExtendedFetch(stmt_, s.orientation, offset, &extendedRows, status_)
                 : SQLFetchScroll(stmt_, s.orientation, offset);
    if (s.first == 0) {
      EXPECT_EQ(rc, SQL_NO_DATA) << Diags(SQL_HANDLE_STMT, stmt_) << " first id " << ids_[0];
      return rc == SQL_NO_DATA;
    }
    EXPECT_EQ(rc, SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, stmt_);
    if (rc != SQL_SUCCESS) return false;
    const SQLULEN n = extended ? extendedRows : fetched_;
    std::vector<int> got, want;
    std::vector<SQLUSMALLINT> statuses, wantStatuses;
    for (SQLULEN i = 0; i < rowset; ++i) {
      if (i < n) got.push_back(ids_[i]);
      statuses.push_back(status_[i]);
      wantStatuses.push_back(i < n ? SQL_ROW_SUCCESS : SQL_ROW_NOROW);
    }
    for (int id = s.first; id <= s.last; ++id) want.push_back(id);
    EXPECT_EQ(got, want);
    EXPECT_EQ(statuses, wantStatuses);
    return got == want && statuses == wantStatuses;
  }

  void Run(bool extended) {
    for (const Walk& w : kWalks) {
      for (unsigned kind : {kStatic, kKeyset, kDynamic, kMixed}) {
        if ((w.kinds & kind) == 0) continue;
        SCOPED_TRACE(std::string(w.name) + ", " +
                     (kind == kStatic    ? "static"
                      : kind == kKeyset  ? "keyset-driven"
                      : kind == kDynamic ? "dynamic"
                                         : "mixed"));
        Open(kind, w.rowset);
        if (HasFatalFailure()) return;
        // A walk ends at its first step gone wrong; the other walks still run.
        int n = 0;
        for (const Step& s : w.steps) {
          SCOPED_TRACE("step " + std::to_string(++n));
          if (!Take(s, w.rowset, extended)) break;
        }
      }
    }
  }

  std::string table_;
  SQLINTEGER ids_[16] = {};
  SQLLEN ind_[16] = {};
  SQLUSMALLINT status_[16] = {};
  SQLULEN fetched_ = 0;
  SQLLEN bookmark_ = kBookmarkRow;
};

TEST_P(DmPositioning, FetchScrollFollowsOdbcPositioningRules) { Run(false); }

// SQLExtendedFetch moves by the same rules, its row offset as wide.
TEST_P(DmPositioning, ExtendedFetchFollowsOdbcPositioningRules) { Run(true); }

KES_E2E_BUILDS(DmPositioning);

}  // namespace
