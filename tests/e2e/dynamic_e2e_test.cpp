// dynamic_e2e_test.cpp -- dynamic and mixed cursors through the Driver Manager
// and each driver library: every relative orientation of a dynamic cursor
// against the ordered result of the same query as it stands at each fetch
// (a nullable sort column with duplicates, ascending and descending) while
// another session adds, changes and removes rows; a mixed cursor seeing those
// changes only outside its keyset window; refresh reading rows again; SetPos
// under value concurrency; row versions telling rows others changed, kept
// apart for the cursors of several processes.

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "e2e_db.h"

namespace {

// A row's sort key: the nullable sort value and the id that breaks ties.
struct Key {
  std::optional<int> v;
  int id;
};

class DmDynamic : public DbTest {
 protected:
  void SetUp() override {
    DbTest::SetUp();
    ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &cur_), SQL_SUCCESS);
  }
  void TearDown() override {
    if (cur_ != nullptr) SQLFreeHandle(SQL_HANDLE_STMT, cur_);
    for (SQLHDBC d : {other_, versioned_}) {
      if (d == nullptr) continue;
      SQLDisconnect(d);
      SQLFreeHandle(SQL_HANDLE_DBC, d);
    }
    DbTest::TearDown();
  }

  // The cursor moves to a connection that keeps row versions of its dynamic
  // cursors, on database `target`.
  ::testing::AssertionResult UseVersionedConnection(const std::string& target) {
    SQLAllocHandle(SQL_HANDLE_DBC, env_, &versioned_);
    const std::string in = std::string("DSN=") + GetParam().dsn + ";DATABASE=" + target +
                           ";DYN_CURS_SENSITIVITY=HIGH";
    if (!SQL_SUCCEEDED(SQLDriverConnect(versioned_, nullptr, (SQLCHAR*)in.c_str(), SQL_NTS,
                                        nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT)))
      return ::testing::AssertionFailure() << Diags(SQL_HANDLE_DBC, versioned_);
    SQLFreeHandle(SQL_HANDLE_STMT, cur_);
    cur_ = nullptr;
    SQLAllocHandle(SQL_HANDLE_STMT, versioned_, &cur_);
    return ::testing::AssertionSuccess();
  }

  std::string T(const std::string& base) const { return base + "_" + GetParam().name; }

  // ids 1..rows; v repeats over a few values and is NULL for every sixth row.
  void MakeRows(const std::string& table, int rows) {
    ASSERT_TRUE(Recreate(table, "id INTEGER PRIMARY KEY, v INTEGER, name VARCHAR(20)"));
    for (int i = 1; i <= rows; ++i)
      ASSERT_TRUE(Exec("INSERT INTO " + table + " VALUES (" + std::to_string(i) + ", " +
                       (i % 6 == 0 ? std::string("NULL") : std::to_string(i * 7 % 5)) + ", 'n" +
                       std::to_string(i) + "')"));
  }

  // A cursor of type `type` (a keyset window of `keyset` rows for a mixed
  // one) with rowset `rowset` over sql; id bound as an integer, v and name
  // after it.
  void Open(SQLULEN type, SQLULEN rowset, const std::string& sql, SQLULEN keyset = 0,
            SQLULEN concurrency = SQL_CONCUR_READ_ONLY) {
    ASSERT_EQ(SQLSetStmtAttr(cur_, SQL_ATTR_CURSOR_TYPE, (SQLPOINTER)type, 0), SQL_SUCCESS)
        << Diags(SQL_HANDLE_STMT, cur_);
    if (keyset > 0) {
      ASSERT_EQ(SQLSetStmtAttr(cur_, SQL_ATTR_KEYSET_SIZE, (SQLPOINTER)keyset, 0), SQL_SUCCESS)
          << Diags(SQL_HANDLE_STMT, cur_);
    }
    ASSERT_EQ(SQLSetStmtAttr(cur_, SQL_ATTR_CONCURRENCY, (SQLPOINTER)concurrency, 0), SQL_SUCCESS)
        << Diags(SQL_HANDLE_STMT, cur_);
    ASSERT_EQ(SQLSetStmtAttr(cur_, SQL_ATTR_ROW_ARRAY_SIZE, (SQLPOINTER)rowset, 0), SQL_SUCCESS);
    ASSERT_EQ(SQLSetStmtAttr(cur_, SQL_ATTR_ROW_STATUS_PTR, status_, 0), SQL_SUCCESS);
    ASSERT_EQ(SQLSetStmtAttr(cur_, SQL_ATTR_ROWS_FETCHED_PTR, &fetched_, 0), SQL_SUCCESS);
    const SQLRETURN rc = SQLExecDirect(cur_, (SQLCHAR*)sql.c_str(), SQL_NTS);
    ASSERT_EQ(rc, SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, cur_);
    SQLULEN inForce = 0;
    ASSERT_EQ(SQLGetStmtAttr(cur_, SQL_ATTR_CURSOR_TYPE, &inForce, 0, nullptr), SQL_SUCCESS);
    ASSERT_EQ(inForce, type);
    ASSERT_EQ(SQLBindCol(cur_, 1, SQL_C_SLONG, ids_, 0, idInd_), SQL_SUCCESS);
    SQLSMALLINT cols = 0;
    ASSERT_EQ(SQLNumResultCols(cur_, &cols), SQL_SUCCESS);
    if (cols > 2) {
      ASSERT_EQ(SQLBindCol(cur_, 3, SQL_C_CHAR, names_, sizeof names_[0], nameInd_), SQL_SUCCESS);
    }
  }
  void Close() {
    ASSERT_EQ(SQLFreeStmt(cur_, SQL_CLOSE), SQL_SUCCESS);
    ASSERT_EQ(SQLFreeStmt(cur_, SQL_UNBIND), SQL_SUCCESS);
  }

  // The rowset a scroll brings as ids ("-" for a row shown deleted), or
  // nothing with *rc telling why.
  std::vector<std::string> Scroll(SQLSMALLINT orientation, SQLLEN offset, SQLRETURN* rc = nullptr) {
    std::memset(ids_, 0, sizeof ids_);
    for (auto& s : status_) s = 99;
    fetched_ = 0;
    const SQLRETURN r = SQLFetchScroll(cur_, orientation, offset);
    if (rc != nullptr) *rc = r;
    std::vector<std::string> got;
    if (!SQL_SUCCEEDED(r)) return got;
    for (SQLULEN i = 0; i < fetched_; ++i)
      got.push_back(status_[i] == SQL_ROW_DELETED ? "-" : std::to_string(ids_[i]));
    return got;
  }

  SQLHDBC Other() {
    if (other_ == nullptr) {
      EXPECT_EQ(SQLAllocHandle(SQL_HANDLE_DBC, env_, &other_), SQL_SUCCESS);
      const std::string in =
          std::string("DSN=") + GetParam().dsn + ";DATABASE=e2edata@kes_e2e_data";
      EXPECT_TRUE(SQL_SUCCEEDED(SQLDriverConnect(other_, nullptr, (SQLCHAR*)in.c_str(), SQL_NTS,
                                                 nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT)))
          << Diags(SQL_HANDLE_DBC, other_);
    }
    return other_;
  }
  ::testing::AssertionResult OtherExec(const std::string& sql) {
    SQLHSTMT s = nullptr;
    SQLAllocHandle(SQL_HANDLE_STMT, Other(), &s);
    const SQLRETURN rc = SQLExecDirect(s, (SQLCHAR*)sql.c_str(), SQL_NTS);
    const std::string diags = Diags(SQL_HANDLE_STMT, s);
    SQLFreeHandle(SQL_HANDLE_STMT, s);
    if (SQL_SUCCEEDED(rc)) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << sql << "\n" << diags;
  }
  // The whole result of a query read forward-only by the other session.
  std::vector<Key> OtherKeys(const std::string& sql) {
    std::vector<Key> keys;
    SQLHSTMT s = nullptr;
    SQLAllocHandle(SQL_HANDLE_STMT, Other(), &s);
    EXPECT_EQ(SQLExecDirect(s, (SQLCHAR*)sql.c_str(), SQL_NTS), SQL_SUCCESS)
        << Diags(SQL_HANDLE_STMT, s);
    SQLINTEGER id = 0, v = 0;
    SQLLEN idInd = 0, vInd = 0;
    SQLBindCol(s, 1, SQL_C_SLONG, &id, 0, &idInd);
    SQLBindCol(s, 2, SQL_C_SLONG, &v, 0, &vInd);
    while (SQL_SUCCEEDED(SQLFetch(s)))
      keys.push_back(Key{vInd == SQL_NULL_DATA ? std::nullopt : std::optional<int>(v), id});
    SQLFreeHandle(SQL_HANDLE_STMT, s);
    return keys;
  }
  std::string Name(const std::string& table, int id) {
    SQLHSTMT s = nullptr;
    SQLAllocHandle(SQL_HANDLE_STMT, Other(), &s);
    const std::string sql = "SELECT name FROM " + table + " WHERE id = " + std::to_string(id);
    SQLCHAR name[32] = {};
    SQLLEN ind = 0;
    std::string out = "(none)";
    if (SQL_SUCCEEDED(SQLExecDirect(s, (SQLCHAR*)sql.c_str(), SQL_NTS)) &&
        SQL_SUCCEEDED(SQLFetch(s)) &&
        SQL_SUCCEEDED(SQLGetData(s, 1, SQL_C_CHAR, name, sizeof name, &ind)))
      out = reinterpret_cast<char*>(name);
    SQLFreeHandle(SQL_HANDLE_STMT, s);
    return out;
  }

  SQLHSTMT cur_ = nullptr;
  SQLHDBC other_ = nullptr;
  SQLHDBC versioned_ = nullptr;
  SQLINTEGER ids_[32] = {};
  SQLLEN idInd_[32] = {};
  SQLCHAR names_[32][24] = {};
  SQLLEN nameInd_[32] = {};
  SQLUSMALLINT status_[32] = {};
  SQLULEN fetched_ = 0;
};

// Where a dynamic cursor's rowsets lie, told from the ordered result as it
// stands at each fetch and from the keys of the rowset before: a move never
// counts rows of the past, only rows around the keys it stands on.
class Oracle {
 public:
  Oracle(int rowset, bool descending) : R(rowset), desc_(descending) {}

  // -1 a before b, 0 same row, 1 after, in the query's order (the server
  // sorts NULLs lowest; ties go by id).
  int Compare(const Key& a, const Key& b) const {
    if (a.v != b.v) {
      int c = !a.v ? -1 : !b.v ? 1 : (*a.v < *b.v ? -1 : 1);
      if (desc_) c = -c;
      return c;
    }
    return a.id < b.id ? -1 : a.id > b.id ? 1 : 0;
  }

  // The rowset the move brings over the result `all`, or none (no data).
  std::vector<Key> Move(const std::vector<Key>& all, SQLSMALLINT orientation, long offset) {
    if (orientation == SQL_FETCH_NEXT && where_ == kBefore) orientation = SQL_FETCH_FIRST;
    if (orientation == SQL_FETCH_PRIOR && where_ == kAfter) orientation = SQL_FETCH_LAST;
    const int n = static_cast<int>(all.size());
    std::vector<Key> got;
    switch (orientation) {
      case SQL_FETCH_FIRST: got = Slice(all, 0, R); break;
      case SQL_FETCH_LAST: got = Slice(all, n - R, n); break;
      case SQL_FETCH_NEXT: got = Slice(After(all, cur_.back(), false), 0, R); break;
      case SQL_FETCH_PRIOR: {
        const auto before = Before(all, cur_.front(), false);
        if (before.empty()) return Off(kBefore);
        const int b = static_cast<int>(before.size());
        got = b < R ? Slice(all, 0, R) : Slice(before, b - R, b);
        break;
      }
      case SQL_FETCH_RELATIVE: {
        const int k = static_cast<int>(offset < 0 ? -offset : offset);
        if (offset >= 0) {
          if (offset == 0) got = Slice(After(all, cur_.front(), true), 0, R);
          else if (k < R) got = Slice(After(all, cur_.front(), false), k - 1, k - 1 + R);
          else got = Slice(After(all, cur_.back(), false), k - R, k);
          break;
        }
        // Backwards from the rowset's last key (near) or before its first (far).
        const auto before = k < R ? Before(all, cur_.back(), false) : Before(all, cur_.front(), false);
        const int skip = k < R ? k - 1 : k - R;
        const int end = static_cast<int>(before.size()) - skip;
        if (end <= 0) return Off(kBefore);
        got = end < R ? Slice(all, 0, R) : Slice(before, end - R, end);
        break;
      }
      default: break;
    }
    if (got.empty()) return Off(orientation == SQL_FETCH_RELATIVE && offset < 0 ? kBefore : kAfter);
    where_ = kInside;
    cur_ = got;
    return got;
  }

 private:
  enum Where { kBefore, kInside, kAfter };
  std::vector<Key> Off(Where w) {
    where_ = w;
    return {};
  }
  static std::vector<Key> Slice(const std::vector<Key>& v, int from, int to) {
    from = std::max(from, 0);
    to = std::min(to, static_cast<int>(v.size()));
    return from < to ? std::vector<Key>(v.begin() + from, v.begin() + to) : std::vector<Key>{};
  }
  std::vector<Key> After(const std::vector<Key>& all, const Key& k, bool inclusive) const {
    std::vector<Key> out;
    for (const Key& r : all)
      if (Compare(r, k) > 0 || (inclusive && Compare(r, k) == 0)) out.push_back(r);
    return out;
  }
  std::vector<Key> Before(const std::vector<Key>& all, const Key& k, bool inclusive) const {
    std::vector<Key> out;
    for (const Key& r : all)
      if (Compare(r, k) < 0 || (inclusive && Compare(r, k) == 0)) out.push_back(r);
    return out;
  }

  const int R;
  const bool desc_;
  Where where_ = kBefore;
  std::vector<Key> cur_;
};

std::vector<std::string> IdsOf(const std::vector<Key>& keys) {
  std::vector<std::string> out;
  for (const Key& k : keys) out.push_back(std::to_string(k.id));
  return out;
}

std::vector<std::string> Ids(std::initializer_list<int> ids) {
  std::vector<std::string> out;
  for (int i : ids) out.push_back(i < 0 ? "-" : std::to_string(i));
  return out;
}

TEST_P(DmDynamic, EveryMoveAgainstTheOrderedResultWhileAnotherSessionChangesRows) {
  struct Step {
    SQLSMALLINT orientation;
    SQLLEN offset;
    const char* change;  // run by the other session before the fetch; %T is the table
  };
  const std::vector<Step> walk = {
      {SQL_FETCH_FIRST, 0, nullptr},
      {SQL_FETCH_NEXT, 0, "INSERT INTO %T VALUES (101, NULL, 'x')"},
      {SQL_FETCH_NEXT, 0, "DELETE FROM %T WHERE id IN (2, 9, 14)"},
      {SQL_FETCH_RELATIVE, 2, "INSERT INTO %T VALUES (102, 3, 'x')"},
      {SQL_FETCH_RELATIVE, 5, nullptr},
      {SQL_FETCH_PRIOR, 0, "INSERT INTO %T VALUES (103, 2, 'x')"},
      {SQL_FETCH_RELATIVE, -2, "DELETE FROM %T WHERE id IN (5, 20)"},
      {SQL_FETCH_RELATIVE, -5, nullptr},
      {SQL_FETCH_RELATIVE, 0, "UPDATE %T SET v = 4 WHERE id IN (1, 3, 7)"},
      {SQL_FETCH_LAST, 0, "INSERT INTO %T VALUES (104, NULL, 'x')"},
      {SQL_FETCH_PRIOR, 0, nullptr},
      {SQL_FETCH_PRIOR, 0, "INSERT INTO %T VALUES (105, 1, 'x')"},
      {SQL_FETCH_NEXT, 0, nullptr},
      {SQL_FETCH_NEXT, 0, nullptr},
      {SQL_FETCH_NEXT, 0, nullptr},
      {SQL_FETCH_NEXT, 0, nullptr},
      {SQL_FETCH_PRIOR, 0, "DELETE FROM %T WHERE id = 104"},
      {SQL_FETCH_FIRST, 0, nullptr},
      {SQL_FETCH_PRIOR, 0, nullptr},
      {SQL_FETCH_NEXT, 0, "INSERT INTO %T VALUES (106, NULL, 'x')"},
      {SQL_FETCH_RELATIVE, 9, nullptr},
      {SQL_FETCH_RELATIVE, -4, nullptr},
      {SQL_FETCH_RELATIVE, 40, nullptr},
  };
  for (const bool descending : {false, true}) {
    SCOPED_TRACE(descending ? "descending" : "ascending");
    const std::string t = T("dyn_walk");
    MakeRows(t, 24);
    const std::string order = descending ? " ORDER BY v DESC" : " ORDER BY v";
    const std::string oracle = "SELECT id, v FROM " + t + " ORDER BY v" +
                               (descending ? " DESC" : "") + ", id";
    constexpr int R = 4;
    Open(SQL_CURSOR_DYNAMIC, R, "SELECT id, v, name FROM " + t + order);
    Oracle model(R, descending);
    int k = 0;
    for (const Step& s : walk) {
      SCOPED_TRACE("step " + std::to_string(++k));
      if (s.change != nullptr) {
        std::string sql = s.change;
        sql.replace(sql.find("%T"), 2, t);
        ASSERT_TRUE(OtherExec(sql));
      }
      const auto want = IdsOf(model.Move(OtherKeys(oracle), s.orientation, s.offset));
      SQLRETURN rc = SQL_ERROR;
      const auto got = Scroll(s.orientation, s.offset, &rc);
      if (want.empty()) {
        EXPECT_EQ(rc, SQL_NO_DATA) << Diags(SQL_HANDLE_STMT, cur_);
        continue;
      }
      ASSERT_EQ(rc, SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, cur_);
      EXPECT_EQ(got, want);
    }
    Close();
  }
}

TEST_P(DmDynamic, MixedCursorSeesChangesOutsideItsKeysetWindow) {
  const std::string t = T("dyn_mixed");
  ASSERT_TRUE(Recreate(t, "id INTEGER PRIMARY KEY, v INTEGER, name VARCHAR(20)"));
  for (int i = 1; i <= 20; ++i)
    ASSERT_TRUE(Exec("INSERT INTO " + t + " VALUES (" + std::to_string(i) + ", " +
                     std::to_string(i) + ", 'n')"));
  Open(SQL_CURSOR_KEYSET_DRIVEN, 2, "SELECT id, v, name FROM " + t + " ORDER BY v", 6);
  EXPECT_EQ(Scroll(SQL_FETCH_FIRST, 0), Ids({1, 2}));
  // Inside the window: a removed row shows deleted, an added one does not show.
  ASSERT_TRUE(OtherExec("DELETE FROM " + t + " WHERE id = 3"));
  ASSERT_TRUE(OtherExec("INSERT INTO " + t + " VALUES (50, 3, 'new')"));
  EXPECT_EQ(Scroll(SQL_FETCH_NEXT, 0), Ids({-1, 4})) << Diags(SQL_HANDLE_STMT, cur_);
  EXPECT_EQ(Scroll(SQL_FETCH_NEXT, 0), Ids({5, 6}));
  // The next rowset leaves the window: the window moves past its last key.
  EXPECT_EQ(Scroll(SQL_FETCH_NEXT, 0), Ids({7, 8})) << Diags(SQL_HANDLE_STMT, cur_);
  ASSERT_TRUE(OtherExec("INSERT INTO " + t + " VALUES (51, 7, 'new')"));
  // Back over the rows before the window: read afresh, with the row added.
  EXPECT_EQ(Scroll(SQL_FETCH_PRIOR, 0), Ids({5, 6})) << Diags(SQL_HANDLE_STMT, cur_);
  EXPECT_EQ(Scroll(SQL_FETCH_PRIOR, 0), Ids({50, 4}));
  EXPECT_EQ(Scroll(SQL_FETCH_NEXT, 0), Ids({5, 6}));
  EXPECT_EQ(Scroll(SQL_FETCH_NEXT, 0), Ids({7, 51})) << Diags(SQL_HANDLE_STMT, cur_);
  // 51 sorts between 7 and 8 now.
  EXPECT_EQ(Scroll(SQL_FETCH_RELATIVE, 3), Ids({9, 10}));
  EXPECT_EQ(Scroll(SQL_FETCH_LAST, 0), Ids({19, 20}));
  SQLRETURN rc = SQL_SUCCESS;
  Scroll(SQL_FETCH_NEXT, 0, &rc);
  EXPECT_EQ(rc, SQL_NO_DATA);
  EXPECT_EQ(Scroll(SQL_FETCH_PRIOR, 0), Ids({19, 20}));
  EXPECT_EQ(Scroll(SQL_FETCH_FIRST, 0), Ids({1, 2}));
  Scroll(SQL_FETCH_PRIOR, 0, &rc);
  EXPECT_EQ(rc, SQL_NO_DATA);
  // Absolute moves need the whole keyset.
  Scroll(SQL_FETCH_ABSOLUTE, 3, &rc);
  EXPECT_EQ(rc, SQL_ERROR);
}

TEST_P(DmDynamic, RefreshReadsTheRowsAgain) {
  const std::string t = T("dyn_refresh");
  MakeRows(t, 10);
  for (const SQLULEN keyset : {SQLULEN{0}, SQLULEN{5}}) {
    SCOPED_TRACE(keyset == 0 ? "dynamic" : "mixed");
    ASSERT_TRUE(OtherExec("UPDATE " + t + " SET name = 'n' || id"));
    Open(keyset == 0 ? SQL_CURSOR_DYNAMIC : SQL_CURSOR_KEYSET_DRIVEN, 3,
         "SELECT id, v, name FROM " + t + " ORDER BY id", keyset);
    ASSERT_EQ(Scroll(SQL_FETCH_FIRST, 0), Ids({1, 2, 3}));
    EXPECT_STREQ(reinterpret_cast<char*>(names_[1]), "n2");
    ASSERT_TRUE(OtherExec("UPDATE " + t + " SET name = 'changed' WHERE id = 2"));
    ASSERT_EQ(SQLSetPos(cur_, 0, SQL_REFRESH, SQL_LOCK_NO_CHANGE), SQL_SUCCESS)
        << Diags(SQL_HANDLE_STMT, cur_);
    EXPECT_STREQ(reinterpret_cast<char*>(names_[1]), "changed");
    ASSERT_TRUE(OtherExec("UPDATE " + t + " SET name = 'again' WHERE id = 3"));
    ASSERT_EQ(SQLSetPos(cur_, 3, SQL_REFRESH, SQL_LOCK_NO_CHANGE), SQL_SUCCESS)
        << Diags(SQL_HANDLE_STMT, cur_);
    EXPECT_STREQ(reinterpret_cast<char*>(names_[2]), "again");
    // A row of the rowset positioned and read by SQLGetData, which reads no bound
    // column.
    ASSERT_EQ(SQLBindCol(cur_, 3, SQL_C_CHAR, nullptr, 0, nullptr), SQL_SUCCESS);
    ASSERT_EQ(SQLSetPos(cur_, 2, SQL_POSITION, SQL_LOCK_NO_CHANGE), SQL_SUCCESS)
        << Diags(SQL_HANDLE_STMT, cur_);
    SQLCHAR name[24] = {};
    SQLLEN ind = 0;
    ASSERT_TRUE(SQL_SUCCEEDED(SQLGetData(cur_, 3, SQL_C_CHAR, name, sizeof name, &ind)))
        << Diags(SQL_HANDLE_STMT, cur_);
    EXPECT_STREQ(reinterpret_cast<char*>(name), "changed");
    Close();
  }
}

TEST_P(DmDynamic, AStatementThatRanDynamicRunsKeysetDrivenNext) {
  // The dynamic cursor's window of one rowset is no keyset size the next
  // cursor of the statement inherits.
  const std::string t = T("dyn_then_keyset");
  MakeRows(t, 9);
  Open(SQL_CURSOR_DYNAMIC, 3, "SELECT id, v, name FROM " + t + " ORDER BY id");
  ASSERT_EQ(Scroll(SQL_FETCH_FIRST, 0), Ids({1, 2, 3}));
  Close();
  Open(SQL_CURSOR_KEYSET_DRIVEN, 3, "SELECT id, v, name FROM " + t + " ORDER BY id");
  EXPECT_EQ(Scroll(SQL_FETCH_ABSOLUTE, 5), Ids({5, 6, 7})) << Diags(SQL_HANDLE_STMT, cur_);
  Close();
}

TEST_P(DmDynamic, ParametersAndReexecution) {
  const std::string t = T("dyn_param");
  MakeRows(t, 12);
  for (const SQLULEN keyset : {SQLULEN{0}, SQLULEN{3}}) {
    SCOPED_TRACE(keyset == 0 ? "dynamic" : "mixed");
    SQLFreeHandle(SQL_HANDLE_STMT, cur_);
    ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &cur_), SQL_SUCCESS);
    ASSERT_EQ(SQLSetStmtAttr(cur_, SQL_ATTR_CURSOR_TYPE,
                             (SQLPOINTER)(keyset == 0 ? SQL_CURSOR_DYNAMIC
                                                      : SQL_CURSOR_KEYSET_DRIVEN),
                             0),
              SQL_SUCCESS);
    ASSERT_EQ(SQLSetStmtAttr(cur_, SQL_ATTR_KEYSET_SIZE, (SQLPOINTER)keyset, 0), SQL_SUCCESS);
    ASSERT_EQ(SQLSetStmtAttr(cur_, SQL_ATTR_ROW_ARRAY_SIZE, (SQLPOINTER)2, 0), SQL_SUCCESS);
    ASSERT_EQ(SQLSetStmtAttr(cur_, SQL_ATTR_ROW_STATUS_PTR, status_, 0), SQL_SUCCESS);
    ASSERT_EQ(SQLSetStmtAttr(cur_, SQL_ATTR_ROWS_FETCHED_PTR, &fetched_, 0), SQL_SUCCESS);
    // The window's own condition and the statement's, each with its values.
    ASSERT_EQ(SQLPrepare(cur_,
                         (SQLCHAR*)("SELECT id FROM " + t + " WHERE id > ? ORDER BY name").c_str(),
                         SQL_NTS),
              SQL_SUCCESS)
        << Diags(SQL_HANDLE_STMT, cur_);
    SQLINTEGER low = 5;
    SQLLEN lowInd = 0;
    ASSERT_EQ(SQLBindParameter(cur_, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &low, 0,
                               &lowInd),
              SQL_SUCCESS);
    ASSERT_EQ(SQLBindCol(cur_, 1, SQL_C_SLONG, ids_, 0, idInd_), SQL_SUCCESS);
    ASSERT_EQ(SQLExecute(cur_), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, cur_);
    // Names sort as text: n10, n11, n12, n6, n7, n8, n9.
    EXPECT_EQ(Scroll(SQL_FETCH_FIRST, 0), Ids({10, 11})) << Diags(SQL_HANDLE_STMT, cur_);
    EXPECT_EQ(Scroll(SQL_FETCH_NEXT, 0), Ids({12, 6})) << Diags(SQL_HANDLE_STMT, cur_);
    EXPECT_EQ(Scroll(SQL_FETCH_NEXT, 0), Ids({7, 8})) << Diags(SQL_HANDLE_STMT, cur_);
    EXPECT_EQ(Scroll(SQL_FETCH_LAST, 0), Ids({8, 9})) << Diags(SQL_HANDLE_STMT, cur_);
    EXPECT_EQ(Scroll(SQL_FETCH_PRIOR, 0), Ids({6, 7})) << Diags(SQL_HANDLE_STMT, cur_);
    ASSERT_EQ(SQLCloseCursor(cur_), SQL_SUCCESS);
    low = 9;
    ASSERT_EQ(SQLExecute(cur_), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, cur_);
    EXPECT_EQ(Scroll(SQL_FETCH_FIRST, 0), Ids({10, 11})) << Diags(SQL_HANDLE_STMT, cur_);
    EXPECT_EQ(Scroll(SQL_FETCH_NEXT, 0), Ids({12})) << Diags(SQL_HANDLE_STMT, cur_);
  }
}

TEST_P(DmDynamic, RequestsThatCannotBeWindowedRunStatic) {
  const std::string t = T("dyn_plain");
  MakeRows(t, 5);
  ASSERT_TRUE(Recreate(T("dyn_nokey"), "a INTEGER, b INTEGER"));
  ASSERT_TRUE(Exec("INSERT INTO " + T("dyn_nokey") + " VALUES (1, 2)"));
  for (const std::string& sql :
       {"SELECT DISTINCT v FROM " + t, "SELECT COUNT(*) FROM " + t,
        "SELECT a, b FROM " + T("dyn_nokey"), "SELECT id, v FROM " + t + " ORDER BY v + 1"}) {
    SCOPED_TRACE(sql);
    ASSERT_EQ(SQLSetStmtAttr(cur_, SQL_ATTR_CURSOR_TYPE, (SQLPOINTER)SQL_CURSOR_DYNAMIC, 0),
              SQL_SUCCESS);
    const SQLRETURN rc = SQLExecDirect(cur_, (SQLCHAR*)sql.c_str(), SQL_NTS);
    EXPECT_EQ(rc, SQL_SUCCESS_WITH_INFO) << Diags(SQL_HANDLE_STMT, cur_);
    EXPECT_EQ(State(SQL_HANDLE_STMT, cur_), "01S02");
    SQLULEN type = 0;
    ASSERT_EQ(SQLGetStmtAttr(cur_, SQL_ATTR_CURSOR_TYPE, &type, 0, nullptr), SQL_SUCCESS);
    EXPECT_EQ(type, static_cast<SQLULEN>(SQL_CURSOR_STATIC));
    EXPECT_TRUE(SQL_SUCCEEDED(SQLFetchScroll(cur_, SQL_FETCH_LAST, 0)))
        << Diags(SQL_HANDLE_STMT, cur_);
    SQLFreeHandle(SQL_HANDLE_STMT, cur_);
    ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &cur_), SQL_SUCCESS);
  }
}

TEST_P(DmDynamic, SetPosUnderValueConcurrencyLeavesAnotherSessionsChangeAlone) {
  const std::string t = T("dyn_setpos");
  MakeRows(t, 6);
  Open(SQL_CURSOR_DYNAMIC, 3, "SELECT id, v, name FROM " + t + " ORDER BY id", 0,
       SQL_CONCUR_VALUES);
  ASSERT_EQ(Scroll(SQL_FETCH_FIRST, 0), Ids({1, 2, 3}));
  ASSERT_TRUE(OtherExec("UPDATE " + t + " SET name = 'theirs' WHERE id = 2"));
  std::strcpy(reinterpret_cast<char*>(names_[1]), "mine");
  nameInd_[1] = SQL_NTS;
  EXPECT_EQ(SQLSetPos(cur_, 2, SQL_UPDATE, SQL_LOCK_NO_CHANGE), SQL_ERROR);
  EXPECT_EQ(State(SQL_HANDLE_STMT, cur_), "01001");
  EXPECT_EQ(status_[1], SQL_ROW_ERROR);
  EXPECT_EQ(Name(t, 2), "theirs");
  // Rows nobody else touched change; the cursor's own change does not stop
  // its next change of the same row.
  std::strcpy(reinterpret_cast<char*>(names_[0]), "mine");
  nameInd_[0] = SQL_NTS;
  ASSERT_EQ(SQLSetPos(cur_, 1, SQL_UPDATE, SQL_LOCK_NO_CHANGE), SQL_SUCCESS)
      << Diags(SQL_HANDLE_STMT, cur_);
  EXPECT_EQ(Name(t, 1), "mine");
  ASSERT_EQ(SQLSetPos(cur_, 1, SQL_DELETE, SQL_LOCK_NO_CHANGE), SQL_SUCCESS)
      << Diags(SQL_HANDLE_STMT, cur_);
  EXPECT_EQ(Name(t, 1), "(none)");
  ASSERT_TRUE(OtherExec("DELETE FROM " + t + " WHERE id = 3"));
  EXPECT_EQ(SQLSetPos(cur_, 3, SQL_DELETE, SQL_LOCK_NO_CHANGE), SQL_ERROR);
  EXPECT_EQ(State(SQL_HANDLE_STMT, cur_), "01001");
  // A row added through the rowset's buffers shows at the next fetch.
  ids_[1] = 77;
  idInd_[1] = 0;
  std::strcpy(reinterpret_cast<char*>(names_[1]), "added");
  nameInd_[1] = SQL_NTS;
  ASSERT_EQ(SQLSetPos(cur_, 2, SQL_ADD, SQL_LOCK_NO_CHANGE), SQL_SUCCESS)
      << Diags(SQL_HANDLE_STMT, cur_);
  EXPECT_EQ(Name(t, 77), "added");
  // A fetch reads the result as it is now.
  EXPECT_EQ(Scroll(SQL_FETCH_FIRST, 0), Ids({2, 4, 5}));
  EXPECT_STREQ(reinterpret_cast<char*>(names_[0]), "theirs");
  EXPECT_EQ(Scroll(SQL_FETCH_LAST, 0), Ids({5, 6, 77}));
  Close();
}

// The statements a dynamic cursor keeps for its moves stay right when other
// work runs on its auxiliary cursor in between (a positioned change over
// SELECT * reads the table's columns there) and when the rowset size changes.
TEST_P(DmDynamic, KeptWindowStatementsFollowOtherWorkAndRowsetSizes) {
  const std::string t = T("dyn_kept");
  MakeRows(t, 12);
  Open(SQL_CURSOR_DYNAMIC, 2, "SELECT * FROM " + t + " ORDER BY id", 0, SQL_CONCUR_VALUES);
  ASSERT_EQ(Scroll(SQL_FETCH_NEXT, 0), Ids({1, 2}));
  ASSERT_EQ(Scroll(SQL_FETCH_NEXT, 0), Ids({3, 4}));
  std::strcpy(reinterpret_cast<char*>(names_[0]), "mine");
  nameInd_[0] = SQL_NTS;
  ASSERT_EQ(SQLSetPos(cur_, 1, SQL_UPDATE, SQL_LOCK_NO_CHANGE), SQL_SUCCESS)
      << Diags(SQL_HANDLE_STMT, cur_);
  EXPECT_EQ(Scroll(SQL_FETCH_NEXT, 0), Ids({5, 6}));
  EXPECT_EQ(Scroll(SQL_FETCH_PRIOR, 0), Ids({3, 4}));
  EXPECT_STREQ(reinterpret_cast<char*>(names_[0]), "mine");
  ASSERT_EQ(SQLSetStmtAttr(cur_, SQL_ATTR_ROW_ARRAY_SIZE, (SQLPOINTER)3, 0), SQL_SUCCESS);
  EXPECT_EQ(Scroll(SQL_FETCH_NEXT, 0), Ids({5, 6, 7}));
  EXPECT_EQ(Scroll(SQL_FETCH_NEXT, 0), Ids({8, 9, 10}));
  EXPECT_EQ(Scroll(SQL_FETCH_PRIOR, 0), Ids({5, 6, 7}));
  ASSERT_EQ(SQLSetStmtAttr(cur_, SQL_ATTR_ROW_ARRAY_SIZE, (SQLPOINTER)1, 0), SQL_SUCCESS);
  EXPECT_EQ(Scroll(SQL_FETCH_NEXT, 0), Ids({8}));
  EXPECT_EQ(Scroll(SQL_FETCH_LAST, 0), Ids({12}));
  EXPECT_EQ(Scroll(SQL_FETCH_PRIOR, 0), Ids({11}));
  Close();
}

TEST_P(DmDynamic, MixedCursorChangesRowsOfItsWindowUnderValueConcurrency) {
  const std::string t = T("dyn_mixed_setpos");
  MakeRows(t, 12);
  Open(SQL_CURSOR_KEYSET_DRIVEN, 2, "SELECT id, v, name FROM " + t + " ORDER BY id", 4,
       SQL_CONCUR_VALUES);
  ASSERT_EQ(Scroll(SQL_FETCH_FIRST, 0), Ids({1, 2}));
  ASSERT_EQ(Scroll(SQL_FETCH_NEXT, 0), Ids({3, 4}));
  ASSERT_TRUE(OtherExec("UPDATE " + t + " SET name = 'theirs' WHERE id = 4"));
  std::strcpy(reinterpret_cast<char*>(names_[1]), "mine");
  nameInd_[1] = SQL_NTS;
  EXPECT_EQ(SQLSetPos(cur_, 2, SQL_UPDATE, SQL_LOCK_NO_CHANGE), SQL_ERROR);
  EXPECT_EQ(State(SQL_HANDLE_STMT, cur_), "01001");
  EXPECT_EQ(Name(t, 4), "theirs");
  // The row of the window's third key, changed twice by the cursor itself.
  for (const char* name : {"mine", "mine again"}) {
    std::strcpy(reinterpret_cast<char*>(names_[0]), name);
    nameInd_[0] = SQL_NTS;
    ASSERT_EQ(SQLSetPos(cur_, 1, SQL_UPDATE, SQL_LOCK_NO_CHANGE), SQL_SUCCESS)
        << Diags(SQL_HANDLE_STMT, cur_);
    EXPECT_EQ(Name(t, 3), name);
  }
  // The next window's rows are changed where they are.
  ASSERT_EQ(Scroll(SQL_FETCH_NEXT, 0), Ids({5, 6}));
  ASSERT_EQ(SQLSetPos(cur_, 2, SQL_DELETE, SQL_LOCK_NO_CHANGE), SQL_SUCCESS)
      << Diags(SQL_HANDLE_STMT, cur_);
  EXPECT_EQ(Name(t, 6), "(none)");
  EXPECT_EQ(Name(t, 5), "n5");
  Close();
}

TEST_P(DmDynamic, RowVersionsTellRowsOthersChangedAndGuardTheCursorsChanges) {
  // The row-version table the driver keeps its versions in.
  (void)SQLExecDirect(stmt_,
                      (SQLCHAR*)"CREATE TABLE DIVAZA (HCONN CHAR(8), HCURS CHAR(8), "
                                "KEYVER CHAR(32), ROWVER CHAR(32))",
                      SQL_NTS);
  SQLFreeStmt(stmt_, SQL_CLOSE);
  const std::string t = T("dyn_rowver");
  MakeRows(t, 6);
  SQLUINTEGER plain = 0, versioned = 0, attrs = 0;
  ASSERT_EQ(SQLGetInfo(dbc_, SQL_SCROLL_CONCURRENCY, &plain, sizeof plain, nullptr), SQL_SUCCESS);
  EXPECT_EQ(plain & SQL_SCCO_OPT_ROWVER, 0u);
  ASSERT_TRUE(UseVersionedConnection("e2edata@kes_e2e_data"));
  ASSERT_EQ(SQLGetInfo(versioned_, SQL_SCROLL_CONCURRENCY, &versioned, sizeof versioned, nullptr),
            SQL_SUCCESS);
  EXPECT_NE(versioned & SQL_SCCO_OPT_ROWVER, 0u);
  ASSERT_EQ(SQLGetInfo(versioned_, SQL_DYNAMIC_CURSOR_ATTRIBUTES2, &attrs, sizeof attrs, nullptr),
            SQL_SUCCESS);
  EXPECT_NE(attrs & SQL_CA2_OPT_ROWVER_CONCURRENCY, 0u);

  Open(SQL_CURSOR_DYNAMIC, 3, "SELECT id, v, name FROM " + t + " ORDER BY id", 0,
       SQL_CONCUR_ROWVER);
  SQLULEN inForce = 0;
  ASSERT_EQ(SQLGetStmtAttr(cur_, SQL_ATTR_CONCURRENCY, &inForce, 0, nullptr), SQL_SUCCESS);
  EXPECT_EQ(inForce, static_cast<SQLULEN>(SQL_CONCUR_ROWVER));
  auto statuses = [this] {
    return std::vector<int>{status_[0], status_[1], status_[2]};
  };
  const std::vector<int> none{SQL_ROW_SUCCESS, SQL_ROW_SUCCESS, SQL_ROW_SUCCESS};
  ASSERT_EQ(Scroll(SQL_FETCH_FIRST, 0), Ids({1, 2, 3})) << Diags(SQL_HANDLE_STMT, cur_);
  EXPECT_EQ(statuses(), none);
  // Another session's change shows once, on the next read of the row.
  ASSERT_TRUE(OtherExec("UPDATE " + t + " SET name = 'theirs' WHERE id = 2"));
  ASSERT_EQ(Scroll(SQL_FETCH_RELATIVE, 0), Ids({1, 2, 3})) << Diags(SQL_HANDLE_STMT, cur_);
  EXPECT_EQ(statuses(), (std::vector<int>{SQL_ROW_SUCCESS, SQL_ROW_UPDATED, SQL_ROW_SUCCESS}));
  ASSERT_EQ(Scroll(SQL_FETCH_RELATIVE, 0), Ids({1, 2, 3}));
  EXPECT_EQ(statuses(), none);
  // The cursor's own change is no other session's.
  std::strcpy(reinterpret_cast<char*>(names_[0]), "mine");
  nameInd_[0] = SQL_NTS;
  ASSERT_EQ(SQLSetPos(cur_, 1, SQL_UPDATE, SQL_LOCK_NO_CHANGE), SQL_SUCCESS)
      << Diags(SQL_HANDLE_STMT, cur_);
  ASSERT_EQ(Scroll(SQL_FETCH_RELATIVE, 0), Ids({1, 2, 3}));
  EXPECT_EQ(statuses(), none);
  EXPECT_STREQ(reinterpret_cast<char*>(names_[0]), "mine");
  // A row another session changed after the fetch is left alone.
  ASSERT_TRUE(OtherExec("UPDATE " + t + " SET v = 99 WHERE id = 3"));
  std::strcpy(reinterpret_cast<char*>(names_[2]), "mine");
  nameInd_[2] = SQL_NTS;
  EXPECT_EQ(SQLSetPos(cur_, 3, SQL_UPDATE, SQL_LOCK_NO_CHANGE), SQL_ERROR);
  EXPECT_EQ(State(SQL_HANDLE_STMT, cur_), "01001");
  EXPECT_EQ(status_[2], SQL_ROW_ERROR);
  EXPECT_EQ(Name(t, 3), "n3");
  EXPECT_EQ(SQLSetPos(cur_, 3, SQL_DELETE, SQL_LOCK_NO_CHANGE), SQL_ERROR);
  EXPECT_EQ(Name(t, 3), "n3");
  ASSERT_EQ(SQLSetPos(cur_, 2, SQL_DELETE, SQL_LOCK_NO_CHANGE), SQL_SUCCESS)
      << Diags(SQL_HANDLE_STMT, cur_);
  EXPECT_EQ(Name(t, 2), "(none)");
  // A new execution's rows are new to the cursor, whatever changed meanwhile.
  ASSERT_EQ(SQLFreeStmt(cur_, SQL_CLOSE), SQL_SUCCESS);
  const std::string sql = "SELECT id, v, name FROM " + t + " ORDER BY id";
  ASSERT_EQ(SQLPrepare(cur_, (SQLCHAR*)sql.c_str(), SQL_NTS), SQL_SUCCESS);
  ASSERT_EQ(SQLExecute(cur_), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, cur_);
  ASSERT_EQ(Scroll(SQL_FETCH_FIRST, 0), Ids({1, 3, 4})) << Diags(SQL_HANDLE_STMT, cur_);
  ASSERT_EQ(SQLFreeStmt(cur_, SQL_CLOSE), SQL_SUCCESS);
  ASSERT_TRUE(OtherExec("UPDATE " + t + " SET name = 'later' WHERE id = 1"));
  ASSERT_EQ(SQLExecute(cur_), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, cur_);
  ASSERT_EQ(Scroll(SQL_FETCH_FIRST, 0), Ids({1, 3, 4})) << Diags(SQL_HANDLE_STMT, cur_);
  EXPECT_EQ(statuses(), none);
  Close();
}

// Another process with a dynamic cursor under row versions (rowver_peer.cpp),
// spoken to one command a line.
class Peer {
 public:
  explicit Peer(const std::string& connect, const std::string& table) {
    // A peer that died answers "gone" instead of ending this process.
    signal(SIGPIPE, SIG_IGN);
    int in[2], out[2];
    if (pipe(in) != 0 || pipe(out) != 0) return;
    posix_spawn_file_actions_t io;
    posix_spawn_file_actions_init(&io);
    posix_spawn_file_actions_adddup2(&io, in[0], 0);
    posix_spawn_file_actions_adddup2(&io, out[1], 1);
    for (int fd : {in[0], in[1], out[0], out[1]}) posix_spawn_file_actions_addclose(&io, fd);
    char* argv[] = {const_cast<char*>(KES_ROWVER_PEER), const_cast<char*>(connect.c_str()),
                    const_cast<char*>(table.c_str()), nullptr};
    if (posix_spawn(&pid_, KES_ROWVER_PEER, &io, nullptr, argv, environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&io);
    close(in[0]);
    close(out[1]);
    to_ = in[1];
    from_ = out[0];
  }
  ~Peer() {
    close(to_);
    close(from_);
    if (pid_ > 0) waitpid(pid_, nullptr, 0);
  }
  Peer(const Peer&) = delete;
  Peer& operator=(const Peer&) = delete;

  // The peer's answer to one command, or "gone".
  std::string Ask(const std::string& command) {
    const std::string line = command + "\n";
    if (pid_ <= 0 || write(to_, line.data(), line.size()) != static_cast<ssize_t>(line.size()))
      return "gone";
    std::string answer;
    char c = 0;
    while (read(from_, &c, 1) == 1 && c != '\n') answer += c;
    return answer;
  }
  // Ends the peer as a crash would, whatever it holds.
  void Kill() {
    if (pid_ <= 0) return;
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }

 private:
  pid_t pid_ = -1;
  int to_ = -1;
  int from_ = -1;
};

// Dynamic cursors of two processes that make their connections alike keep
// their versions apart (each used to miss the change the other saw first),
// the rows of a killed process go when the next cursor opens, and copies of a
// cursor's rows do not stop its fetches.
TEST_P(DmDynamic, RowVersionsOfSeveralProcesses) {
  const std::string server = std::string("kes_rv_") + GetParam().name;
  MakeDatabase(server.c_str(), "rv");
  ASSERT_TRUE(UseVersionedConnection("rv@" + server));
  auto exec = [this](const std::string& sql) {
    SQLHSTMT s = nullptr;
    SQLAllocHandle(SQL_HANDLE_STMT, versioned_, &s);
    const SQLRETURN rc = SQLExecDirect(s, (SQLCHAR*)sql.c_str(), SQL_NTS);
    SQLFreeHandle(SQL_HANDLE_STMT, s);
    return rc == SQL_SUCCESS || rc == SQL_NO_DATA;
  };
  auto versions = [this] {
    SQLHSTMT s = nullptr;
    SQLAllocHandle(SQL_HANDLE_STMT, versioned_, &s);
    SQLINTEGER n = -1;
    SQLLEN ind = 0;
    if (SQL_SUCCEEDED(SQLExecDirect(s, (SQLCHAR*)"SELECT COUNT(*) FROM DIVAZA", SQL_NTS)))
      SQLFetch(s), SQLGetData(s, 1, SQL_C_SLONG, &n, 0, &ind);
    SQLFreeHandle(SQL_HANDLE_STMT, s);
    return n;
  };
  (void)exec(
      "CREATE TABLE DIVAZA (HCONN CHAR(8), HCURS CHAR(8), KEYVER CHAR(32), ROWVER CHAR(32))");
  ASSERT_TRUE(exec("DELETE FROM DIVAZA"));
  (void)exec("DROP TABLE pv");
  ASSERT_TRUE(exec("CREATE TABLE pv (id INTEGER PRIMARY KEY, v INTEGER, name VARCHAR(20))"));
  for (int i = 1; i <= 6; ++i)
    ASSERT_TRUE(exec("INSERT INTO pv VALUES (" + std::to_string(i) + ", " + std::to_string(i) +
                     ", 'n" + std::to_string(i) + "')"));

  const std::string connect = std::string("DSN=") + GetParam().dsn + ";DATABASE=rv@" + server +
                              ";DYN_CURS_SENSITIVITY=HIGH";
  Peer a(connect, "pv");
  Peer b(connect, "pv");
  ASSERT_EQ(a.Ask("open"), "ok");
  ASSERT_EQ(a.Ask("fetch"), "0 0 0");
  ASSERT_EQ(b.Ask("open"), "ok");
  ASSERT_EQ(b.Ask("fetch"), "0 0 0");
  ASSERT_TRUE(exec("UPDATE pv SET name = 'theirs' WHERE id = 2"));
  EXPECT_EQ(a.Ask("fetch"), "0 2 0");
  EXPECT_EQ(b.Ask("fetch"), "0 2 0");

  EXPECT_EQ(a.Ask("quit"), "bye");
  EXPECT_EQ(b.Ask("fetch"), "0 0 0");
  b.Kill();
  EXPECT_EQ(versions(), 3) << "the killed process's rows";
  Open(SQL_CURSOR_DYNAMIC, 3, "SELECT id, v, name FROM pv ORDER BY id", 0, SQL_CONCUR_ROWVER);
  EXPECT_EQ(versions(), 0) << "a new cursor removed the rows of the session that is gone";
  const std::vector<int> none{SQL_ROW_SUCCESS, SQL_ROW_SUCCESS, SQL_ROW_SUCCESS};
  auto statuses = [this] { return std::vector<int>{status_[0], status_[1], status_[2]}; };
  ASSERT_EQ(Scroll(SQL_FETCH_FIRST, 0), Ids({1, 2, 3})) << Diags(SQL_HANDLE_STMT, cur_);
  EXPECT_EQ(statuses(), none);

  ASSERT_TRUE(exec("INSERT INTO DIVAZA SELECT * FROM DIVAZA"));
  ASSERT_EQ(Scroll(SQL_FETCH_RELATIVE, 0), Ids({1, 2, 3})) << Diags(SQL_HANDLE_STMT, cur_);
  EXPECT_EQ(statuses(), none);
  ASSERT_TRUE(exec("UPDATE pv SET v = 99 WHERE id = 3"));
  ASSERT_EQ(Scroll(SQL_FETCH_RELATIVE, 0), Ids({1, 2, 3})) << Diags(SQL_HANDLE_STMT, cur_);
  EXPECT_EQ(statuses(), (std::vector<int>{SQL_ROW_SUCCESS, SQL_ROW_SUCCESS, SQL_ROW_UPDATED}));
  Close();
}

TEST_P(DmDynamic, RowVersionsWithoutTheirTableAreRefused) {
  MakeDatabase("kes_e2e_noversions", "noversions");
  ASSERT_TRUE(UseVersionedConnection("noversions@kes_e2e_noversions"));
  SQLHSTMT s = nullptr;
  ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, versioned_, &s), SQL_SUCCESS);
  (void)SQLExecDirect(s, (SQLCHAR*)"CREATE TABLE nv (id INTEGER PRIMARY KEY, name VARCHAR(9))",
                      SQL_NTS);
  SQLFreeHandle(SQL_HANDLE_STMT, s);
  ASSERT_EQ(SQLSetStmtAttr(cur_, SQL_ATTR_CURSOR_TYPE, (SQLPOINTER)SQL_CURSOR_DYNAMIC, 0),
            SQL_SUCCESS);
  EXPECT_EQ(SQLExecDirect(cur_, (SQLCHAR*)"SELECT id, name FROM nv", SQL_NTS), SQL_ERROR);
  // The database's own message, then what to do about it.
  const std::string diags = Diags(SQL_HANDLE_STMT, cur_);
  EXPECT_EQ(State(SQL_HANDLE_STMT, cur_, 1), "42S02") << diags;
  EXPECT_EQ(State(SQL_HANDLE_STMT, cur_, 2), "IM926") << diags;
}

KES_E2E_BUILDS(DmDynamic);

}  // namespace
