// scroll_e2e_test.cpp -- scrollable cursors through the Driver Manager and each
// driver library: every fetch orientation against the ordered result of the
// same query, rowsets that overlap either end, bookmarks, row numbers,
// SQLGetData on a scrolled rowset, the cursor types a request gets, and a
// static result past the memory limit read at random from its temporary files.

#include <algorithm>
#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "dm_fixture.h"
#include "platform/informix/ixr_api.h"

namespace {

constexpr int kRows = 23;
constexpr SQLULEN kRowset = 5;
// Rows of the table whose static result goes to the cache's files.
constexpr int kBigRows = 6000;

// The name of row i of scroll_big: text outside the BMP and the Latin-1
// range, so that both builds' text goes through the files.
std::u16string BigName(int i) {
  const std::string n = std::to_string(i);
  return u"\u00e9" + std::u16string(n.begin(), n.end()) + u"\U0001F600";
}
std::string BigNameUtf8(int i) { return "\xc3\xa9" + std::to_string(i) + "\xf0\x9f\x98\x80"; }

// The bytes this process has read from files so far.
long BytesRead() {
  std::ifstream io("/proc/self/io");
  std::string key;
  long value = 0;
  while (io >> key >> value)
    if (key == "rchar:") return value;
  return -1;
}

class DmScroll : public DmTest {
 public:
  static void SetUpTestSuite() {
    DmTest::SetUpTestSuite();
    MakeDatabase("kes_scroll", "scrolldb");
    static bool filled = false;
    if (filled) return;
    filled = true;
    ASSERT_EQ(ixr_connect("scrolldb@kes_scroll", "fill"), 0);
    // Names run against the ids, so that an order by name is another order.
    ASSERT_EQ(ixr_execute_immediate("CREATE TABLE scroll_rows (id INTEGER, name VARCHAR(20), "
                                    "grp INTEGER)"),
              0);
    for (int i = 1; i <= kRows; ++i) {
      const std::string sql = "INSERT INTO scroll_rows VALUES (" + std::to_string(i) + ", 'n" +
                              std::to_string(100 - i) + "', " +
                              (i % 4 == 0 ? std::string("NULL") : std::to_string(i % 3)) + ")";
      ASSERT_EQ(ixr_execute_immediate(sql.c_str()), 0);
    }
    ASSERT_EQ(ixr_disconnect("fill"), 0);
  }

 protected:
  void SetUp() override {
    DmTest::SetUp();
    const std::string in =
        std::string("DSN=") + GetParam().dsn + ";UID=u;PWD=p;DATABASE=scrolldb@kes_scroll;";
    ASSERT_TRUE(SQL_SUCCEEDED(SQLDriverConnect(dbc_, nullptr, (SQLCHAR*)in.c_str(), SQL_NTS,
                                               nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT)))
        << Message(SQL_HANDLE_DBC, dbc_);
    ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &stmt_), SQL_SUCCESS);
  }
  void TearDown() override {
    if (stmt_ != nullptr) SQLFreeHandle(SQL_HANDLE_STMT, stmt_);
    DmTest::TearDown();
  }

  // A static cursor of rowset `rowset` over the ids in id order, bound
  // column-wise with the row statuses.
  void OpenStatic(SQLULEN rowset, const char* sql = "SELECT id FROM scroll_rows ORDER BY id") {
    ASSERT_EQ(SQLSetStmtAttr(stmt_, SQL_ATTR_CURSOR_TYPE, (SQLPOINTER)SQL_CURSOR_STATIC, 0),
              SQL_SUCCESS)
        << Message(SQL_HANDLE_STMT, stmt_);
    ASSERT_EQ(SQLSetStmtAttr(stmt_, SQL_ATTR_ROW_ARRAY_SIZE, (SQLPOINTER)rowset, 0), SQL_SUCCESS);
    ASSERT_EQ(SQLSetStmtAttr(stmt_, SQL_ATTR_ROW_STATUS_PTR, status_, 0), SQL_SUCCESS);
    ASSERT_EQ(SQLSetStmtAttr(stmt_, SQL_ATTR_ROWS_FETCHED_PTR, &fetched_, 0), SQL_SUCCESS);
    ASSERT_EQ(SQLExecDirect(stmt_, (SQLCHAR*)sql, SQL_NTS), SQL_SUCCESS)
        << Message(SQL_HANDLE_STMT, stmt_);
    ASSERT_EQ(SQLBindCol(stmt_, 1, SQL_C_SLONG, ids_, 0, ind_), SQL_SUCCESS);
  }

  // The ids of the rowset a scroll brings, or the answer when it is not a
  // success; entries past the rows must read as no row.
  std::vector<int> Scroll(SQLSMALLINT orientation, SQLLEN offset, SQLRETURN* rc = nullptr) {
    std::memset(ids_, 0, sizeof ids_);
    for (auto& s : status_) s = 99;
    const SQLRETURN r = SQLFetchScroll(stmt_, orientation, offset);
    if (rc != nullptr) *rc = r;
    std::vector<int> got;
    if (r != SQL_SUCCESS) return got;
    for (SQLULEN i = 0; i < fetched_; ++i) {
      EXPECT_EQ(status_[i], SQL_ROW_SUCCESS) << "row " << i;
      got.push_back(ids_[i]);
    }
    SQLULEN size = 0;
    SQLGetStmtAttr(stmt_, SQL_ATTR_ROW_ARRAY_SIZE, &size, 0, nullptr);
    for (SQLULEN i = fetched_; i < size; ++i) EXPECT_EQ(status_[i], SQL_ROW_NOROW) << "row " << i;
    return got;
  }

  SQLHSTMT stmt_ = nullptr;
  SQLINTEGER ids_[32] = {};
  SQLLEN ind_[32] = {};
  SQLUSMALLINT status_[32] = {};
  SQLULEN fetched_ = 0;
};

std::vector<int> Ids(int first, int last) {
  std::vector<int> v;
  for (int i = first; i <= last; ++i) v.push_back(i);
  return v;
}

struct Step {
  SQLSMALLINT orientation;
  SQLLEN offset;
  int first;  // 0: SQL_NO_DATA
  int last;
};
struct Walk {
  const char* name;
  std::vector<Step> steps;
};

TEST_P(DmScroll, EveryOrientationAgainstTheOrderedResult) {
  const Walk walks[] = {
      {"next and prior, off the start",
       {{SQL_FETCH_NEXT, 0, 1, 5},
        {SQL_FETCH_NEXT, 0, 6, 10},
        {SQL_FETCH_PRIOR, 0, 1, 5},
        {SQL_FETCH_PRIOR, 0, 0, 0},
        {SQL_FETCH_NEXT, 0, 1, 5}}},
      {"last, off the end and back",
       {{SQL_FETCH_LAST, 0, 19, 23},
        {SQL_FETCH_NEXT, 0, 0, 0},
        {SQL_FETCH_PRIOR, 0, 19, 23},
        {SQL_FETCH_PRIOR, 0, 14, 18},
        {SQL_FETCH_FIRST, 0, 1, 5}}},
      {"absolute from either end",
       {{SQL_FETCH_ABSOLUTE, 21, 21, 23},
        {SQL_FETCH_ABSOLUTE, -1, 23, 23},
        {SQL_FETCH_ABSOLUTE, -7, 17, 21},
        {SQL_FETCH_ABSOLUTE, -23, 1, 5},
        {SQL_FETCH_ABSOLUTE, 0, 0, 0},
        {SQL_FETCH_NEXT, 0, 1, 5},
        {SQL_FETCH_ABSOLUTE, 24, 0, 0},
        {SQL_FETCH_PRIOR, 0, 19, 23},
        {SQL_FETCH_ABSOLUTE, -30, 0, 0},
        {SQL_FETCH_ABSOLUTE, -25, 0, 0}}},
      {"relative, overlapping the start",
       {{SQL_FETCH_RELATIVE, 3, 3, 7},
        {SQL_FETCH_RELATIVE, -1, 2, 6},
        {SQL_FETCH_RELATIVE, -3, 1, 5},
        {SQL_FETCH_RELATIVE, 0, 1, 5},
        {SQL_FETCH_RELATIVE, 20, 21, 23},
        {SQL_FETCH_RELATIVE, 3, 0, 0},
        {SQL_FETCH_RELATIVE, -2, 22, 23},
        {SQL_FETCH_RELATIVE, -30, 0, 0},
        {SQL_FETCH_RELATIVE, -1, 0, 0}}},
      {"prior overlapping the start",
       {{SQL_FETCH_ABSOLUTE, 3, 3, 7}, {SQL_FETCH_PRIOR, 0, 1, 5}}},
  };
  for (const Walk& w : walks) {
    SCOPED_TRACE(w.name);
    OpenStatic(kRowset);
    int n = 0;
    for (const Step& s : w.steps) {
      SCOPED_TRACE("step " + std::to_string(++n));
      SQLRETURN rc = SQL_ERROR;
      const std::vector<int> got = Scroll(s.orientation, s.offset, &rc);
      if (s.first == 0) {
        EXPECT_EQ(rc, SQL_NO_DATA) << Message(SQL_HANDLE_STMT, stmt_);
        continue;
      }
      ASSERT_EQ(rc, SQL_SUCCESS) << Message(SQL_HANDLE_STMT, stmt_);
      EXPECT_EQ(got, Ids(s.first, s.last));
    }
    ASSERT_EQ(SQLFreeStmt(stmt_, SQL_CLOSE), SQL_SUCCESS);
    ASSERT_EQ(SQLFreeStmt(stmt_, SQL_UNBIND), SQL_SUCCESS);
  }
}

TEST_P(DmScroll, ChangedRowsetSizeMovesByTheOldSizeOnce) {
  OpenStatic(5);
  EXPECT_EQ(Scroll(SQL_FETCH_NEXT, 0), Ids(1, 5));
  ASSERT_EQ(SQLSetStmtAttr(stmt_, SQL_ATTR_ROW_ARRAY_SIZE, (SQLPOINTER)3, 0), SQL_SUCCESS);
  EXPECT_EQ(Scroll(SQL_FETCH_NEXT, 0), Ids(6, 8));
  EXPECT_EQ(Scroll(SQL_FETCH_NEXT, 0), Ids(9, 11));
}

TEST_P(DmScroll, AnotherOrderAndNullsLow) {
  // grp holds NULLs, which sort first; the name breaks ties downwards.
  OpenStatic(kRows, "SELECT id FROM scroll_rows ORDER BY grp, name DESC");
  std::vector<int> forward = Scroll(SQL_FETCH_FIRST, 0);
  ASSERT_EQ(forward.size(), static_cast<size_t>(kRows));
  EXPECT_EQ(forward.front(), 4);  // grp NULL, the highest name of those
  ASSERT_EQ(SQLSetStmtAttr(stmt_, SQL_ATTR_ROW_ARRAY_SIZE, (SQLPOINTER)1, 0), SQL_SUCCESS);
  // Walking back from the end one row at a time meets the same rows.
  std::vector<int> backward;
  SQLRETURN rc = SQL_SUCCESS;
  for (auto row = Scroll(SQL_FETCH_LAST, 0, &rc); rc == SQL_SUCCESS;
       row = Scroll(SQL_FETCH_PRIOR, 0, &rc))
    backward.insert(backward.begin(), row.front());
  EXPECT_EQ(rc, SQL_NO_DATA);
  EXPECT_EQ(backward, forward);
}

TEST_P(DmScroll, BookmarksRowNumbersAndGetData) {
  ASSERT_EQ(SQLSetStmtAttr(stmt_, SQL_ATTR_USE_BOOKMARKS, (SQLPOINTER)SQL_UB_VARIABLE, 0),
            SQL_SUCCESS);
  OpenStatic(3, "SELECT id, name FROM scroll_rows ORDER BY id");
  SQLBIGINT marks[16] = {};
  SQLLEN markInd[16] = {};
  ASSERT_EQ(SQLBindCol(stmt_, 0, SQL_C_VARBOOKMARK, marks, sizeof marks[0], markInd), SQL_SUCCESS)
      << Message(SQL_HANDLE_STMT, stmt_);
  EXPECT_EQ(Scroll(SQL_FETCH_ABSOLUTE, 10), Ids(10, 12));
  EXPECT_EQ(markInd[0], static_cast<SQLLEN>(sizeof marks[0]));
  const SQLBIGINT eleventh = marks[1];

  SQLULEN number = 0;
  ASSERT_EQ(SQLGetStmtAttr(stmt_, SQL_ATTR_ROW_NUMBER, &number, 0, nullptr), SQL_SUCCESS);
  EXPECT_EQ(number, 10u);
  // SQLGetData reads the rowset's current row.
  char name[21] = {};
  SQLLEN len = 0;
  ASSERT_EQ(SQLGetData(stmt_, 2, SQL_C_CHAR, name, sizeof name, &len), SQL_SUCCESS)
      << Message(SQL_HANDLE_STMT, stmt_);
  EXPECT_STREQ(name, "n90");

  EXPECT_EQ(Scroll(SQL_FETCH_LAST, 0), Ids(21, 23));
  ASSERT_EQ(SQLSetStmtAttr(stmt_, SQL_ATTR_FETCH_BOOKMARK_PTR, (SQLPOINTER)&eleventh, 0),
            SQL_SUCCESS);
  EXPECT_EQ(Scroll(SQL_FETCH_BOOKMARK, 0), Ids(11, 13));
  EXPECT_EQ(Scroll(SQL_FETCH_BOOKMARK, -2), Ids(9, 11));
  SQLRETURN rc = SQL_SUCCESS;
  Scroll(SQL_FETCH_BOOKMARK, 20, &rc);
  EXPECT_EQ(rc, SQL_NO_DATA);
}

// Past the rows kept in memory, a static cursor reads a rowset at an absolute
// position from its files by the rowset's own rows, not a window around it,
// and every row reads back as it was after the jumps, in both builds.
TEST_P(DmScroll, RandomJumpsPastTheMemoryLimitReadTheirRowsetAndEveryRowIsIntact) {
  // Only this test needs the large table: the other tests' processes do
  // without it.
  ASSERT_EQ(ixr_connect("scrolldb@kes_scroll", "big"), 0);
  ASSERT_EQ(ixr_execute_immediate("CREATE TABLE scroll_big (id INTEGER, name VARCHAR(20))"), 0);
  ASSERT_EQ(ixr_execute_immediate("BEGIN WORK"), 0);
  for (int i = 1; i <= kBigRows; ++i) {
    const std::string sql = "INSERT INTO scroll_big VALUES (" + std::to_string(i) + ", " +
                            (i % 9 == 0 ? std::string("NULL") : "'" + BigNameUtf8(i) + "'") + ")";
    ASSERT_EQ(ixr_execute_immediate(sql.c_str()), 0);
  }
  ASSERT_EQ(ixr_execute_immediate("COMMIT WORK"), 0);
  ASSERT_EQ(ixr_disconnect("big"), 0);
  constexpr SQLULEN kSize = 10;
  OpenStatic(kSize, "SELECT id, name FROM scroll_big ORDER BY id");
  SQLWCHAR names[kSize][24] = {};
  SQLLEN nameInd[kSize] = {};
  ASSERT_EQ(SQLBindCol(stmt_, 2, SQL_C_WCHAR, names, sizeof names[0], nameInd), SQL_SUCCESS);
  const auto expectRowset = [&](int first) {
    const int rows = std::min<int>(kSize, kBigRows - first + 1);
    ASSERT_EQ(fetched_, static_cast<SQLULEN>(rows)) << "at " << first;
    for (int k = 0; k < rows; ++k) {
      const int id = first + k;
      ASSERT_EQ(ids_[k], id);
      if (id % 9 == 0) {
        EXPECT_EQ(nameInd[k], SQL_NULL_DATA) << "row " << id;
      } else {
        EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(names[k])), BigName(id))
            << "row " << id;
      }
    }
  };
  // The first fetch reads the whole result into the files.
  ASSERT_EQ(SQLFetchScroll(stmt_, SQL_FETCH_FIRST, 0), SQL_SUCCESS)
      << Message(SQL_HANDLE_STMT, stmt_);
  expectRowset(1);
  std::mt19937 gen(11);
  std::uniform_int_distribution<int> pick(1, kBigRows);
  constexpr int kJumps = 200;
  const long before = BytesRead();
  for (int j = 0; j < kJumps; ++j) {
    const int first = pick(gen);
    ASSERT_EQ(SQLFetchScroll(stmt_, SQL_FETCH_ABSOLUTE, first), SQL_SUCCESS)
        << Message(SQL_HANDLE_STMT, stmt_);
    expectRowset(first);
  }
  // A row is some 30 bytes in the files; a jump reads its rows, their offsets
  // and the header. A window of the 5000 rows around it would be 150 KB.
  const long perJump = (BytesRead() - before) / kJumps;
  EXPECT_LT(perJump, 2048);
  ASSERT_EQ(SQLFetchScroll(stmt_, SQL_FETCH_FIRST, 0), SQL_SUCCESS);
  for (int first = 1;; first += kSize) {
    expectRowset(first);
    if (first + static_cast<int>(kSize) > kBigRows) break;
    ASSERT_EQ(SQLFetchScroll(stmt_, SQL_FETCH_NEXT, 0), SQL_SUCCESS) << "after " << first;
  }
  EXPECT_EQ(SQLFetchScroll(stmt_, SQL_FETCH_NEXT, 0), SQL_NO_DATA);
}

TEST_P(DmScroll, RequestsGetTheTypesServedAndGetInfoSaysWhich) {
  SQLUINTEGER options = 0;
  ASSERT_EQ(SQLGetInfo(dbc_, SQL_SCROLL_OPTIONS, &options, sizeof options, nullptr), SQL_SUCCESS);
  EXPECT_NE(options & SQL_SO_STATIC, 0u);
  EXPECT_EQ(options & (SQL_SO_DYNAMIC | SQL_SO_MIXED), static_cast<SQLUINTEGER>(SQL_SO_DYNAMIC | SQL_SO_MIXED));
  SQLUINTEGER attrs = 0;
  ASSERT_EQ(SQLGetInfo(dbc_, SQL_STATIC_CURSOR_ATTRIBUTES1, &attrs, sizeof attrs, nullptr),
            SQL_SUCCESS);
  EXPECT_EQ(attrs & (SQL_CA1_NEXT | SQL_CA1_ABSOLUTE | SQL_CA1_RELATIVE | SQL_CA1_BOOKMARK),
            static_cast<SQLUINTEGER>(SQL_CA1_NEXT | SQL_CA1_ABSOLUTE | SQL_CA1_RELATIVE |
                                     SQL_CA1_BOOKMARK));
  // A dynamic cursor moves relative to where it stands only.
  ASSERT_EQ(SQLGetInfo(dbc_, SQL_DYNAMIC_CURSOR_ATTRIBUTES1, &attrs, sizeof attrs, nullptr),
            SQL_SUCCESS);
  EXPECT_EQ(attrs & (SQL_CA1_NEXT | SQL_CA1_ABSOLUTE | SQL_CA1_RELATIVE | SQL_CA1_BOOKMARK),
            static_cast<SQLUINTEGER>(SQL_CA1_NEXT | SQL_CA1_RELATIVE));

  // A dynamic request is served as asked.
  EXPECT_EQ(SQLSetStmtAttr(stmt_, SQL_ATTR_CURSOR_TYPE, (SQLPOINTER)SQL_CURSOR_DYNAMIC, 0),
            SQL_SUCCESS);
  SQLULEN type = 0;
  ASSERT_EQ(SQLGetStmtAttr(stmt_, SQL_ATTR_CURSOR_TYPE, &type, 0, nullptr), SQL_SUCCESS);
  EXPECT_EQ(type, static_cast<SQLULEN>(SQL_CURSOR_DYNAMIC));
  // A scrollable request is served by a scrollable type. The table has no
  // key, so the keyset-driven cursor it asks for runs static, which the
  // execution tells.
  SQLHSTMT other = nullptr;
  ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &other), SQL_SUCCESS);
  EXPECT_EQ(SQLSetStmtAttr(other, SQL_ATTR_CURSOR_SCROLLABLE, (SQLPOINTER)SQL_SCROLLABLE, 0),
            SQL_SUCCESS);
  ASSERT_EQ(SQLExecDirect(other, (SQLCHAR*)"SELECT id FROM scroll_rows ORDER BY id", SQL_NTS),
            SQL_SUCCESS_WITH_INFO)
      << Message(SQL_HANDLE_STMT, other);
  EXPECT_EQ(State(SQL_HANDLE_STMT, other), "01S02");
  ASSERT_EQ(SQLGetStmtAttr(other, SQL_ATTR_CURSOR_TYPE, &type, 0, nullptr), SQL_SUCCESS);
  EXPECT_EQ(type, static_cast<SQLULEN>(SQL_CURSOR_STATIC));
  SQLINTEGER id = 0;
  SQLLEN ind = 0;
  ASSERT_EQ(SQLBindCol(other, 1, SQL_C_SLONG, &id, 0, &ind), SQL_SUCCESS);
  ASSERT_EQ(SQLFetchScroll(other, SQL_FETCH_LAST, 0), SQL_SUCCESS)
      << Message(SQL_HANDLE_STMT, other);
  EXPECT_EQ(id, kRows);
  SQLLEN count = 0;
  ASSERT_EQ(SQLRowCount(other, &count), SQL_SUCCESS);
  EXPECT_EQ(count, kRows);
  SQLFreeHandle(SQL_HANDLE_STMT, other);
}

INSTANTIATE_TEST_SUITE_P(Builds, DmScroll,
                         ::testing::Values(DmBuild{"w", "kes_w"}, DmBuild{"a", "kes_a"}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
