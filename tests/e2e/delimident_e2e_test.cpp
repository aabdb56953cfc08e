// delimident_e2e_test.cpp -- scrollable cursors over delimited identifiers
// through the Driver Manager and each driver library: with DELIMIDENT on, in
// the client's environment or in the registry's Informix environment, tables
// and columns whose names only quotes make identifiers are fetched, changed,
// removed and added through every cursor type and concurrency, as
// forward-only cursors read them; without it, plain names work as written.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "e2e_db.h"
#include "tests/tmpdir.h"

namespace {

// Where the client is told to take "x" for an identifier.
struct Setting {
  const char* what;
  bool environment;  // DELIMIDENT=y in the process environment
  bool registry;     // DELIMIDENT=y in the registry's Informix environment
};

// A table of six rows and the names its statements use.
struct Table {
  std::string name;
  std::string key;   // INTEGER key column
  std::string text;  // VARCHAR(20) column
  std::string from;  // how the cursor's SELECT names the table, when not by name
};

struct CursorCase {
  const char* what;
  SQLULEN type;
  SQLULEN keyset;
  SQLULEN concurrency;
  bool bookmarks;  // the case also changes rows by bookmark (SQLBulkOperations)
};

class DmDelimIdent : public DbTest {
 public:
  static void SetUpTestSuite() {
    DbTest::SetUpTestSuite();
    registry_ = MakeProcessTempDir("kes_delim_") + "/registry.ini";
    FILE* f = std::fopen(registry_.c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fputs("[HKEY_CURRENT_USER\\Software\\Informix\\Environment]\nDELIMIDENT=\"y\"\n", f);
    std::fclose(f);
  }

 protected:
  void TearDown() override {
    if (cur_ != nullptr) SQLFreeHandle(SQL_HANDLE_STMT, cur_);
    DbTest::TearDown();
    unsetenv("DELIMIDENT");
    unsetenv("KES_REGISTRY");
  }

  // A new connection under the setting: the client reads DELIMIDENT when its
  // first connection opens. Row versions are kept for dynamic cursors.
  void Reconnect(const Setting& s) {
    if (cur_ != nullptr) SQLFreeHandle(SQL_HANDLE_STMT, cur_);
    SQLFreeHandle(SQL_HANDLE_STMT, stmt_);
    cur_ = stmt_ = nullptr;
    SQLDisconnect(dbc_);
    if (s.environment)
      setenv("DELIMIDENT", "y", 1);
    else
      unsetenv("DELIMIDENT");
    if (s.registry)
      setenv("KES_REGISTRY", registry_.c_str(), 1);
    else
      unsetenv("KES_REGISTRY");
    const std::string in = std::string("DSN=") + GetParam().dsn +
                           ";DATABASE=e2edata@kes_e2e_data;DYN_CURS_SENSITIVITY=HIGH";
    ASSERT_TRUE(SQL_SUCCEEDED(SQLDriverConnect(dbc_, nullptr, (SQLCHAR*)in.c_str(), SQL_NTS,
                                               nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT)))
        << Diags(SQL_HANDLE_DBC, dbc_);
    ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &stmt_), SQL_SUCCESS);
    ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &cur_), SQL_SUCCESS);
    char quote[4] = {};
    ASSERT_EQ(SQLGetInfo(dbc_, SQL_IDENTIFIER_QUOTE_CHAR, quote, sizeof quote, nullptr),
              SQL_SUCCESS);
    ASSERT_STREQ(quote, s.environment || s.registry ? "\"" : " ");
  }

  // The table's rows in key order, "key:text:n" joined by ';'.
  std::string Rows(const Table& t) {
    SQLHSTMT s = nullptr;
    SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &s);
    const std::string sql =
        "SELECT " + t.key + ", " + t.text + ", n FROM " + t.name + " ORDER BY " + t.key;
    std::string out;
    if (!SQL_SUCCEEDED(SQLExecDirect(s, (SQLCHAR*)sql.c_str(), SQL_NTS))) {
      out = "error " + Diags(SQL_HANDLE_STMT, s);
    } else {
      SQLINTEGER k = 0, n = 0;
      char text[32] = {};
      SQLLEN ki = 0, ti = 0, ni = 0;
      SQLBindCol(s, 1, SQL_C_SLONG, &k, 0, &ki);
      SQLBindCol(s, 2, SQL_C_CHAR, text, sizeof text, &ti);
      SQLBindCol(s, 3, SQL_C_SLONG, &n, 0, &ni);
      while (SQL_SUCCEEDED(SQLFetch(s))) {
        if (!out.empty()) out += ';';
        out += std::to_string(k) + ":" + text + ":" + std::to_string(n);
      }
    }
    SQLFreeHandle(SQL_HANDLE_STMT, s);
    return out;
  }

  // Fetches the second rowset of two rows, changes its first row, removes its
  // second and adds a row through SQLSetPos; with bookmarks, changes the first
  // rowset through SQLBulkOperations; reads the first rowset again.
  void Exercise(const Table& t, const CursorCase& c) {
    ASSERT_TRUE(
        Recreate(t.name, t.key + " INTEGER PRIMARY KEY, " + t.text + " VARCHAR(20), n INTEGER"));
    for (int i = 1; i <= 6; ++i)
      ASSERT_TRUE(Exec("INSERT INTO " + t.name + " VALUES (" + std::to_string(i) + ", 't" +
                       std::to_string(i) + "', " + std::to_string(10 * i) + ")"));
    SQLUSMALLINT status[2] = {};
    const SQLULEN bookmarks = c.bookmarks ? SQL_UB_VARIABLE : SQL_UB_OFF;
    ASSERT_EQ(SQLSetStmtAttr(cur_, SQL_ATTR_CURSOR_TYPE, (SQLPOINTER)c.type, 0), SQL_SUCCESS);
    ASSERT_EQ(SQLSetStmtAttr(cur_, SQL_ATTR_KEYSET_SIZE, (SQLPOINTER)c.keyset, 0), SQL_SUCCESS);
    ASSERT_EQ(SQLSetStmtAttr(cur_, SQL_ATTR_CONCURRENCY, (SQLPOINTER)c.concurrency, 0),
              SQL_SUCCESS);
    ASSERT_EQ(SQLSetStmtAttr(cur_, SQL_ATTR_USE_BOOKMARKS, (SQLPOINTER)bookmarks, 0), SQL_SUCCESS);
    ASSERT_EQ(SQLSetStmtAttr(cur_, SQL_ATTR_ROW_ARRAY_SIZE, (SQLPOINTER)2, 0), SQL_SUCCESS);
    ASSERT_EQ(SQLSetStmtAttr(cur_, SQL_ATTR_ROW_STATUS_PTR, status, 0), SQL_SUCCESS);
    const std::string sql = "SELECT " + t.key + ", " + t.text + ", n FROM " +
                            (t.from.empty() ? t.name : t.from) + " ORDER BY " + t.key;
    ASSERT_EQ(SQLExecDirect(cur_, (SQLCHAR*)sql.c_str(), SQL_NTS), SQL_SUCCESS)
        << Diags(SQL_HANDLE_STMT, cur_);
    SQLULEN type = 0, concurrency = 0;
    ASSERT_EQ(SQLGetStmtAttr(cur_, SQL_ATTR_CURSOR_TYPE, &type, 0, nullptr), SQL_SUCCESS);
    ASSERT_EQ(SQLGetStmtAttr(cur_, SQL_ATTR_CONCURRENCY, &concurrency, 0, nullptr), SQL_SUCCESS);
    EXPECT_EQ(type, c.type);
    EXPECT_EQ(concurrency, c.concurrency);
    SQLINTEGER key[2] = {}, n[2] = {};
    SQLLEN keyInd[2] = {}, textInd[2] = {}, nInd[2] = {}, markLen[2] = {};
    char text[2][20] = {};
    int64_t mark[2] = {};
    ASSERT_EQ(SQLBindCol(cur_, 1, SQL_C_SLONG, key, 0, keyInd), SQL_SUCCESS);
    ASSERT_EQ(SQLBindCol(cur_, 2, SQL_C_CHAR, text, sizeof text[0], textInd), SQL_SUCCESS);
    ASSERT_EQ(SQLBindCol(cur_, 3, SQL_C_SLONG, n, 0, nInd), SQL_SUCCESS);
    if (c.bookmarks) {
      ASSERT_EQ(SQLBindCol(cur_, 0, SQL_C_VARBOOKMARK, mark, sizeof mark[0], markLen), SQL_SUCCESS)
          << Diags(SQL_HANDLE_STMT, cur_);
    }
    auto only_text = [&](int row, const char* value) {
      std::strcpy(text[row], value);
      textInd[row] = SQL_NTS;
      keyInd[row] = nInd[row] = SQL_COLUMN_IGNORE;
    };
    ASSERT_EQ(SQLFetchScroll(cur_, SQL_FETCH_NEXT, 0), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, cur_);
    ASSERT_EQ(SQLFetchScroll(cur_, SQL_FETCH_NEXT, 0), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, cur_);
    EXPECT_EQ(key[0], 3);
    EXPECT_STREQ(text[1], "t4");

    only_text(0, "mine");
    ASSERT_EQ(SQLSetPos(cur_, 1, SQL_UPDATE, SQL_LOCK_NO_CHANGE), SQL_SUCCESS)
        << Diags(SQL_HANDLE_STMT, cur_);
    ASSERT_EQ(SQLSetPos(cur_, 2, SQL_DELETE, SQL_LOCK_NO_CHANGE), SQL_SUCCESS)
        << Diags(SQL_HANDLE_STMT, cur_);
    ASSERT_EQ(SQLSetPos(cur_, 1, SQL_REFRESH, SQL_LOCK_NO_CHANGE), SQL_SUCCESS)
        << Diags(SQL_HANDLE_STMT, cur_);
    // A static cursor shows its result as it was read.
    const bool reads = c.type != SQL_CURSOR_STATIC;
    EXPECT_STREQ(text[0], reads ? "mine" : "t3");
    key[0] = 7;
    std::strcpy(text[0], "added");
    n[0] = 70;
    keyInd[0] = nInd[0] = sizeof(SQLINTEGER);
    textInd[0] = SQL_NTS;
    ASSERT_EQ(SQLSetPos(cur_, 1, SQL_ADD, SQL_LOCK_NO_CHANGE), SQL_SUCCESS)
        << Diags(SQL_HANDLE_STMT, cur_);
    std::string want = "1:t1:10;2:t2:20;3:mine:30;5:t5:50;6:t6:60;7:added:70";
    if (c.bookmarks) {
      ASSERT_EQ(SQLFetchScroll(cur_, SQL_FETCH_FIRST, 0), SQL_SUCCESS)
          << Diags(SQL_HANDLE_STMT, cur_);
      only_text(0, "b1");
      only_text(1, "b2");
      ASSERT_EQ(SQLBulkOperations(cur_, SQL_UPDATE_BY_BOOKMARK), SQL_SUCCESS)
          << Diags(SQL_HANDLE_STMT, cur_);
      want = "1:b1:10;2:b2:20;3:mine:30;5:t5:50;6:t6:60;7:added:70";
    }
    EXPECT_EQ(Rows(t), want);
    ASSERT_EQ(SQLFetchScroll(cur_, SQL_FETCH_FIRST, 0), SQL_SUCCESS)
        << Diags(SQL_HANDLE_STMT, cur_);
    EXPECT_EQ(key[0], 1);
    EXPECT_STREQ(text[1], c.bookmarks && reads ? "b2" : "t2");
    ASSERT_EQ(SQLFreeStmt(cur_, SQL_CLOSE), SQL_SUCCESS);
    ASSERT_EQ(SQLFreeStmt(cur_, SQL_UNBIND), SQL_SUCCESS);
  }

  static std::string registry_;
  SQLHSTMT cur_ = nullptr;
};
std::string DmDelimIdent::registry_;

// Every cursor type reads and changes rows of tables whose names need their
// quotes, with DELIMIDENT in either place the client reads it from; plain
// names work with it and without it.
TEST_P(DmDelimIdent, EveryCursorTypeServesQuotedNames) {
  const Table plain{"Plain_T", "KeyCol", "Txt", ""};
  const CursorCase cases[] = {
      {"static", SQL_CURSOR_STATIC, 0, SQL_CONCUR_VALUES, true},
      {"keyset", SQL_CURSOR_KEYSET_DRIVEN, 0, SQL_CONCUR_VALUES, true},
      {"mixed", SQL_CURSOR_KEYSET_DRIVEN, 4, SQL_CONCUR_VALUES, false},
      {"dynamic", SQL_CURSOR_DYNAMIC, 0, SQL_CONCUR_VALUES, false},
      {"dynamic, row versions", SQL_CURSOR_DYNAMIC, 0, SQL_CONCUR_ROWVER, false},
  };
  for (const Setting& s : {Setting{"environment", true, false}, Setting{"registry", false, true},
                           Setting{"off", false, false}}) {
    SCOPED_TRACE(s.what);
    Reconnect(s);
    if (HasFatalFailure()) return;
    // The row-version table, as its administrator makes it.
    (void)SQLExecDirect(stmt_,
                        (SQLCHAR*)"CREATE TABLE DIVAZA (HCONN CHAR(8), HCURS CHAR(8), "
                                  "KEYVER CHAR(32), ROWVER CHAR(32))",
                        SQL_NTS);
    SQLFreeStmt(stmt_, SQL_CLOSE);
    // The owner of the tables the connection makes.
    char user[64] = {};
    SQLLEN userLen = 0;
    ASSERT_EQ(SQLExecDirect(stmt_, (SQLCHAR*)"SELECT USER FROM systables WHERE tabid = 1", SQL_NTS),
              SQL_SUCCESS);
    ASSERT_EQ(SQLFetch(stmt_), SQL_SUCCESS);
    ASSERT_EQ(SQLGetData(stmt_, 1, SQL_C_CHAR, user, sizeof user, &userLen), SQL_SUCCESS);
    SQLFreeStmt(stmt_, SQL_CLOSE);
    ASSERT_GT(userLen, 0);
    // Names only quotes make identifiers: case, blanks, quotes of either kind,
    // and the characters that separate owner, table, database and server.
    const std::vector<Table> quoted = {
        {"\"qt\"", "\"Key Col\"", "\"it's\"", ""},
        {"\"We'ird.t@b:x\"", "\"KEY\"", "\"a.\"\"b\"\"\"", ""},
        {"\"qt\"", "\"Key Col\"", "\"it's\"", std::string("\"") + user + "\".\"qt\""},
        plain};
    const bool on = s.environment || s.registry;
    for (const Table& t : on ? quoted : std::vector<Table>{plain}) {
      for (const CursorCase& c : cases) {
        SCOPED_TRACE((t.from.empty() ? t.name : t.from) + ", " + c.what);
        Exercise(t, c);
        if (HasFatalFailure()) return;
      }
    }
  }
}

KES_E2E_BUILDS(DmDelimIdent);

}  // namespace
