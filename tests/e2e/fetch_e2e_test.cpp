// fetch_e2e_test.cpp -- reading rows of a real table through the Driver
// Manager and each driver library: bound columns row by row, rowsets into
// column-wise and row-wise arrays, long values with SQLGetData in pieces.

#include <cstring>
#include <string>
#include <vector>

#include "dm_fixture.h"

#if defined(__SANITIZE_ADDRESS__)
// The sanitizer runtime's own interface (GCC ships no header for it).
extern "C" int __sanitizer_install_malloc_and_free_hooks(
    void (*onMalloc)(const volatile void*, size_t), void (*onFree)(const volatile void*));
#endif

namespace {

constexpr int kRows = 150;

// Row i (from 1): name "name<i>", amount i + 0.25, born 2000-01-01 plus i days
// within January and February, note of i * 40 characters.
std::string Name(int i) { return "name" + std::to_string(i); }
std::string Note(int i) {
  std::string s;
  for (int k = 0; s.size() < static_cast<size_t>(i) * 40; ++k)
    s += static_cast<char>('a' + (i + k) % 26);
  return s;
}

// Heap allocations made on this thread while t_counting is set, seen through the
// sanitizer's allocator hooks (which see the driver libraries' allocations too).
thread_local bool t_counting = false;
thread_local long t_allocations = 0;

bool CountingAllocations() {
#if defined(__SANITIZE_ADDRESS__)
  static const bool installed = __sanitizer_install_malloc_and_free_hooks(
                                    [](const volatile void*, size_t) {
                                      if (t_counting) ++t_allocations;
                                    },
                                    [](const volatile void*) {}) != 0;
  return installed;
#else
  return false;
#endif
}

class DmFetch : public DmTest {
 public:
  static void SetUpTestSuite() {
    DmTest::SetUpTestSuite();
    MakeDatabase("kes_fetch", "fetchdb");
  }

 protected:
  void SetUp() override {
    DmTest::SetUp();
    Connect("");
    ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &stmt_), SQL_SUCCESS);
    SQLINTEGER n = -1;
    SQLLEN ind = 0;
    if (SQL_SUCCEEDED(SQLExecDirect(stmt_, (SQLCHAR*)"SELECT COUNT(*) FROM fetch_rows", SQL_NTS)) &&
        SQLFetch(stmt_) == SQL_SUCCESS)
      SQLGetData(stmt_, 1, SQL_C_SLONG, &n, 0, &ind);
    SQLFreeStmt(stmt_, SQL_CLOSE);
    if (n == kRows) return;
    // The first build to run makes the rows; the other finds them.
    Exec(
        "CREATE TABLE fetch_rows (id INTEGER, name VARCHAR(20), amount DECIMAL(10,2), born DATE, "
        "note LVARCHAR(8000))");
    for (int i = 1; i <= kRows; ++i) {
      const std::string sql = "INSERT INTO fetch_rows VALUES (" + std::to_string(i) + ", '" +
                              Name(i) + "', " + std::to_string(i) + ".25, MDY(" +
                              std::to_string(1 + (i - 1) / 31 % 2) + ", " +
                              std::to_string(1 + (i - 1) % 28) + ", 2000), '" + Note(i) + "')";
      Exec(sql.c_str());
    }
  }
  void TearDown() override {
    if (stmt_ != nullptr) SQLFreeHandle(SQL_HANDLE_STMT, stmt_);
    DmTest::TearDown();
  }
  void Connect(const char* extra) {
    std::string in =
        std::string("DSN=") + GetParam().dsn + ";UID=u;PWD=p;DATABASE=fetchdb@kes_fetch;" + extra;
    ASSERT_TRUE(SQL_SUCCEEDED(SQLDriverConnect(dbc_, nullptr, (SQLCHAR*)in.c_str(), SQL_NTS,
                                               nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT)))
        << Message(SQL_HANDLE_DBC, dbc_);
  }
  void Exec(const char* sql) {
    // A DELETE that finds nothing to delete answers SQL_NO_DATA.
    const SQLRETURN rc = SQLExecDirect(stmt_, (SQLCHAR*)sql, SQL_NTS);
    ASSERT_TRUE(SQL_SUCCEEDED(rc) || rc == SQL_NO_DATA)
        << sql << ": " << Message(SQL_HANDLE_STMT, stmt_);
    SQLFreeStmt(stmt_, SQL_CLOSE);
  }
  void Query(const char* sql) {
    ASSERT_EQ(SQLExecDirect(stmt_, (SQLCHAR*)sql, SQL_NTS), SQL_SUCCESS)
        << Message(SQL_HANDLE_STMT, stmt_);
  }
  SQLHSTMT stmt_ = nullptr;
};

TEST_P(DmFetch, BoundColumnsRowByRow) {
  Query("SELECT id, name, amount, born FROM fetch_rows ORDER BY id");
  SQLINTEGER id = 0;
  char name[21] = {};
  double amount = 0;
  SQL_DATE_STRUCT born{};
  SQLLEN ind[4] = {};
  ASSERT_EQ(SQLBindCol(stmt_, 1, SQL_C_SLONG, &id, 0, &ind[0]), SQL_SUCCESS);
  ASSERT_EQ(SQLBindCol(stmt_, 2, SQL_C_CHAR, name, sizeof name, &ind[1]), SQL_SUCCESS);
  ASSERT_EQ(SQLBindCol(stmt_, 3, SQL_C_DOUBLE, &amount, 0, &ind[2]), SQL_SUCCESS);
  ASSERT_EQ(SQLBindCol(stmt_, 4, SQL_C_TYPE_DATE, &born, 0, &ind[3]), SQL_SUCCESS);
  for (int i = 1; i <= kRows; ++i) {
    ASSERT_EQ(SQLFetch(stmt_), SQL_SUCCESS) << Message(SQL_HANDLE_STMT, stmt_);
    ASSERT_EQ(id, i);
    ASSERT_EQ(name, Name(i));
    ASSERT_EQ(ind[1], static_cast<SQLLEN>(Name(i).size()));
    ASSERT_EQ(amount, i + 0.25);
    ASSERT_EQ(born.year, 2000);
    ASSERT_EQ(born.day, 1 + (i - 1) % 28);
  }
  EXPECT_EQ(SQLFetch(stmt_), SQL_NO_DATA);
}

TEST_P(DmFetch, RowsetsIntoColumnWiseArrays) {
  constexpr int kSize = 40;
  SQLINTEGER ids[kSize];
  char names[kSize][7];
  SQLLEN idInd[kSize];
  SQLLEN nameInd[kSize];
  SQLUSMALLINT status[kSize];
  SQLULEN fetched = 0;
  ASSERT_EQ(SQLSetStmtAttr(stmt_, SQL_ATTR_ROW_ARRAY_SIZE, (SQLPOINTER)kSize, 0), SQL_SUCCESS);
  ASSERT_EQ(SQLSetStmtAttr(stmt_, SQL_ATTR_ROW_STATUS_PTR, status, 0), SQL_SUCCESS);
  ASSERT_EQ(SQLSetStmtAttr(stmt_, SQL_ATTR_ROWS_FETCHED_PTR, &fetched, 0), SQL_SUCCESS);
  ASSERT_EQ(SQLBindCol(stmt_, 1, SQL_C_SLONG, ids, 0, idInd), SQL_SUCCESS);
  ASSERT_EQ(SQLBindCol(stmt_, 2, SQL_C_CHAR, names, sizeof names[0], nameInd), SQL_SUCCESS);
  Query("SELECT id, name FROM fetch_rows ORDER BY id");
  int seen = 0;
  for (SQLRETURN rc; (rc = SQLFetchScroll(stmt_, SQL_FETCH_NEXT, 0)) != SQL_NO_DATA;) {
    ASSERT_TRUE(SQL_SUCCEEDED(rc)) << Message(SQL_HANDLE_STMT, stmt_);
    ASSERT_EQ(fetched, static_cast<SQLULEN>(std::min(kSize, kRows - seen)));
    for (SQLULEN k = 0; k < fetched; ++k) {
      ++seen;
      ASSERT_EQ(ids[k], seen);
      // Names of seven characters do not fit with their terminator: those rows warn.
      ASSERT_EQ(status[k], Name(seen).size() < 7 ? SQL_ROW_SUCCESS : SQL_ROW_SUCCESS_WITH_INFO);
      ASSERT_EQ(std::string(names[k]), Name(seen).substr(0, 6));
      ASSERT_EQ(nameInd[k], static_cast<SQLLEN>(Name(seen).size()));
    }
    for (SQLULEN k = fetched; k < kSize; ++k) ASSERT_EQ(status[k], SQL_ROW_NOROW);
  }
  EXPECT_EQ(seen, kRows);
}

TEST_P(DmFetch, RowsetsIntoRowWiseRecords) {
  struct Row {
    SQLINTEGER id;
    SQLLEN idInd;
    char amount[16];
    SQLLEN amountInd;
  };
  std::vector<Row> rows(kRows);
  SQLULEN fetched = 0;
  ASSERT_EQ(SQLSetStmtAttr(stmt_, SQL_ATTR_ROW_BIND_TYPE, (SQLPOINTER)sizeof(Row), 0), SQL_SUCCESS);
  ASSERT_EQ(SQLSetStmtAttr(stmt_, SQL_ATTR_ROW_ARRAY_SIZE, (SQLPOINTER)25, 0), SQL_SUCCESS);
  ASSERT_EQ(SQLSetStmtAttr(stmt_, SQL_ATTR_ROWS_FETCHED_PTR, &fetched, 0), SQL_SUCCESS);
  SQLULEN offset = 0;
  ASSERT_EQ(SQLSetStmtAttr(stmt_, SQL_ATTR_ROW_BIND_OFFSET_PTR, &offset, 0), SQL_SUCCESS);
  ASSERT_EQ(SQLBindCol(stmt_, 1, SQL_C_SLONG, &rows[0].id, 0, &rows[0].idInd), SQL_SUCCESS);
  ASSERT_EQ(
      SQLBindCol(stmt_, 2, SQL_C_CHAR, rows[0].amount, sizeof rows[0].amount, &rows[0].amountInd),
      SQL_SUCCESS);
  Query("SELECT id, amount FROM fetch_rows ORDER BY id");
  // Each rowset lands after the one before it.
  while (SQLFetchScroll(stmt_, SQL_FETCH_NEXT, 0) == SQL_SUCCESS) offset += fetched * sizeof(Row);
  ASSERT_EQ(offset, kRows * sizeof(Row));
  for (int i = 0; i < kRows; ++i) {
    ASSERT_EQ(rows[i].id, i + 1);
    ASSERT_EQ(std::string(rows[i].amount), std::to_string(i + 1) + ".25");
  }
}

TEST_P(DmFetch, BlockRoadsAllocateNothingAfterTheFirstBlock) {
  if (!CountingAllocations()) GTEST_SKIP() << "needs the sanitizer's allocator hooks";
  constexpr int kSize = 10;
  SQLINTEGER ids[kSize];
  char names[kSize][21];
  char amounts[kSize][16];
  SQL_DATE_STRUCT born[kSize];
  SQLLEN ind[4][kSize];
  SQLULEN fetched = 0;
  // Values of one length in every row: the engine grows its own registers as it meets
  // longer text, once per statement, and that is not counted against the driver.
  (void)SQLExecDirect(stmt_,
                      (SQLCHAR*)"CREATE TABLE fetch_block (id INTEGER, name VARCHAR(20), "
                                "amount DECIMAL(10,2), born DATE)",
                      SQL_NTS);
  SQLFreeStmt(stmt_, SQL_CLOSE);
  Exec("DELETE FROM fetch_block");
  Exec("INSERT INTO fetch_block SELECT id, 'name', 1234.5, born FROM fetch_rows");
  const char* sql = "SELECT id, name, amount, born FROM fetch_block";
  const auto bind = [&](SQLULEN size) {
    ASSERT_EQ(SQLSetStmtAttr(stmt_, SQL_ATTR_ROW_ARRAY_SIZE, (SQLPOINTER)size, 0), SQL_SUCCESS);
    ASSERT_EQ(SQLSetStmtAttr(stmt_, SQL_ATTR_ROWS_FETCHED_PTR, &fetched, 0), SQL_SUCCESS);
    ASSERT_EQ(SQLBindCol(stmt_, 1, SQL_C_SLONG, ids, 0, ind[0]), SQL_SUCCESS);
    ASSERT_EQ(SQLBindCol(stmt_, 2, SQL_C_CHAR, names, sizeof names[0], ind[1]), SQL_SUCCESS);
    ASSERT_EQ(SQLBindCol(stmt_, 3, SQL_C_CHAR, amounts, sizeof amounts[0], ind[2]), SQL_SUCCESS);
    ASSERT_EQ(SQLBindCol(stmt_, 4, SQL_C_TYPE_DATE, born, 0, ind[3]), SQL_SUCCESS);
  };
  // Every call after the first block, up to the last row: the end of the result may
  // still release and commit.
  const auto count = [&](int calls) {
    Query(sql);
    EXPECT_EQ(SQLFetchScroll(stmt_, SQL_FETCH_NEXT, 0), SQL_SUCCESS);
    t_allocations = 0;
    t_counting = true;
    SQLULEN rows = fetched;
    for (int k = 0; k < calls; ++k)
      if (SQLFetchScroll(stmt_, SQL_FETCH_NEXT, 0) == SQL_SUCCESS) rows += fetched;
    t_counting = false;
    EXPECT_EQ(rows, static_cast<SQLULEN>(kRows));
    EXPECT_STREQ(names[0], "name");
    EXPECT_EQ(SQLFetchScroll(stmt_, SQL_FETCH_NEXT, 0), SQL_NO_DATA);
    SQLFreeStmt(stmt_, SQL_CLOSE);
    return t_allocations;
  };
  bind(kSize);
  (void)count(kRows / kSize - 1);  // warms the engine's page cache
  EXPECT_EQ(count(kRows / kSize - 1), 0) << "rowsets of " << kSize;
  // Row by row the rows come in blocks of the driver's own size.
  bind(1);
  EXPECT_EQ(count(kRows - 1), 0) << "row by row";
}

TEST_P(DmFetch, LongTextInPieces) {
  const int i = 75;  // a note of 3000 characters
  Query(("SELECT note, note FROM fetch_rows WHERE id = " + std::to_string(i)).c_str());
  ASSERT_EQ(SQLFetch(stmt_), SQL_SUCCESS);
  std::string got;
  char piece[101];
  SQLLEN len = 0;
  SQLRETURN rc;
  int calls = 0;
  while ((rc = SQLGetData(stmt_, 1, SQL_C_CHAR, piece, sizeof piece, &len)) != SQL_NO_DATA) {
    ASSERT_TRUE(SQL_SUCCEEDED(rc)) << Message(SQL_HANDLE_STMT, stmt_);
    if (calls == 0) {
      ASSERT_EQ(len, 3000);
    }
    got += piece;
    ++calls;
  }
  EXPECT_EQ(got, Note(i));
  EXPECT_EQ(calls, 30);
  std::u16string wide;
  SQLWCHAR wpiece[64];
  while ((rc = SQLGetData(stmt_, 2, SQL_C_WCHAR, wpiece, sizeof wpiece, &len)) != SQL_NO_DATA) {
    ASSERT_TRUE(SQL_SUCCEEDED(rc)) << Message(SQL_HANDLE_STMT, stmt_);
    for (SQLWCHAR* p = wpiece; *p != 0; ++p) wide += static_cast<char16_t>(*p);
  }
  EXPECT_EQ(wide.size(), 3000u);
  EXPECT_EQ(wide.front(), static_cast<char16_t>(Note(i).front()));
}

TEST_P(DmFetch, RowsetsOfRowsWithTextValues) {
  // Rows with TEXT values come from the server one at a time; a rowset still
  // holds every row that is left.
  (void)SQLExecDirect(stmt_, (SQLCHAR*)"CREATE TABLE fetch_text (id INTEGER, t TEXT)", SQL_NTS);
  SQLFreeStmt(stmt_, SQL_CLOSE);
  Exec("DELETE FROM fetch_text");
  for (int i = 1; i <= 5; ++i)
    Exec(("INSERT INTO fetch_text VALUES (" + std::to_string(i) + ", '" + Note(i) + "')").c_str());
  SQLINTEGER ids[5] = {};
  SQLLEN ind[5] = {};
  SQLULEN fetched = 0;
  ASSERT_EQ(SQLSetStmtAttr(stmt_, SQL_ATTR_ROW_ARRAY_SIZE, (SQLPOINTER)5, 0), SQL_SUCCESS);
  ASSERT_EQ(SQLSetStmtAttr(stmt_, SQL_ATTR_ROWS_FETCHED_PTR, &fetched, 0), SQL_SUCCESS);
  ASSERT_EQ(SQLBindCol(stmt_, 1, SQL_C_SLONG, ids, 0, ind), SQL_SUCCESS);
  Query("SELECT id, t FROM fetch_text ORDER BY id");
  ASSERT_EQ(SQLFetchScroll(stmt_, SQL_FETCH_NEXT, 0), SQL_SUCCESS)
      << Message(SQL_HANDLE_STMT, stmt_);
  EXPECT_EQ(fetched, 5u);
  EXPECT_EQ(ids[4], 5);
  // SQLGetData reads the rowset's current row, the first.
  std::string got;
  char piece[33];
  SQLLEN len = 0;
  while (SQL_SUCCEEDED(SQLGetData(stmt_, 2, SQL_C_CHAR, piece, sizeof piece, &len))) got += piece;
  EXPECT_EQ(got, Note(1));
  EXPECT_EQ(SQLFetchScroll(stmt_, SQL_FETCH_NEXT, 0), SQL_NO_DATA);
}

// The bound buffers of one row, and what a statement delivered into them.
struct BoundRow {
  SQLINTEGER id;
  char name[48];
  double amount;
  SQL_DATE_STRUCT born;
  SQLLEN ind[4];
};

void BindRow(SQLHSTMT st, BoundRow* r) {
  SQLBindCol(st, 1, SQL_C_SLONG, &r->id, 0, &r->ind[0]);
  SQLBindCol(st, 2, SQL_C_CHAR, r->name, sizeof r->name, &r->ind[1]);
  SQLBindCol(st, 3, SQL_C_DOUBLE, &r->amount, 0, &r->ind[2]);
  SQLBindCol(st, 4, SQL_C_TYPE_DATE, &r->born, 0, &r->ind[3]);
}

// Up to `limit` rows of an executed statement as text: each row's values and lengths.
std::vector<std::string> Drain(SQLHSTMT st, BoundRow* r, int limit) {
  std::vector<std::string> rows;
  for (SQLRETURN rc; static_cast<int>(rows.size()) < limit && (rc = SQLFetch(st)) != SQL_NO_DATA;) {
    if (!SQL_SUCCEEDED(rc)) {
      rows.push_back("fetch failed");
      break;
    }
    std::string row = std::to_string(r->id) + "|" + std::string(r->name) + "|" +
                      std::to_string(r->amount) + "|" + std::to_string(r->born.year) + "-" +
                      std::to_string(r->born.month) + "-" + std::to_string(r->born.day);
    for (SQLLEN ind : r->ind) row += "|" + std::to_string(ind);
    rows.push_back(row);
  }
  return rows;
}

TEST_P(DmFetch, APreparedQueryExecutedAgainDeliversWhatAFreshStatementDelivers) {
  (void)SQLExecDirect(stmt_, (SQLCHAR*)"DROP TABLE fetch_again", SQL_NTS);
  SQLFreeStmt(stmt_, SQL_CLOSE);
  Exec("CREATE TABLE fetch_again (id INTEGER, name VARCHAR(10), amount DECIMAL(10,2), born DATE)");
  Exec("INSERT INTO fetch_again VALUES (1, 'one', 1.5, MDY(1, 2, 2001))");
  Exec("INSERT INTO fetch_again VALUES (2, NULL, 2.5, MDY(3, 4, 2002))");
  Exec("INSERT INTO fetch_again VALUES (3, 'three', NULL, NULL)");
  SQLHSTMT prepared = nullptr;
  ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &prepared), SQL_SUCCESS);
  const std::string query = "SELECT id, name, amount, born FROM fetch_again WHERE id >= ";
  ASSERT_EQ(SQLPrepare(prepared, (SQLCHAR*)(query + "? ORDER BY id").c_str(), SQL_NTS),
            SQL_SUCCESS);
  SQLINTEGER key = 0;
  ASSERT_EQ(SQLBindParameter(prepared, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 10, 0, &key,
                             0, nullptr),
            SQL_SUCCESS);
  BoundRow kept{};
  BindRow(prepared, &kept);
  // Each execution read to its end or closed after its first row; between them the
  // table widens a column and gains one.
  const struct {
    int key;
    int limit;
    const char* change;
  } kRuns[] = {{1, 99, nullptr}, {3, 1, nullptr},  {9, 99, nullptr}, {2, 1, nullptr},
               {1, 1, "ALTER TABLE fetch_again MODIFY (name VARCHAR(40))"},
               {1, 99, "UPDATE fetch_again SET name = 'a name longer than the first ten' WHERE id = 2"},
               {2, 99, "ALTER TABLE fetch_again ADD (extra INTEGER)"}};
  for (const auto& run : kRuns) {
    if (run.change != nullptr) Exec(run.change);
    key = run.key;
    ASSERT_TRUE(SQL_SUCCEEDED(SQLExecute(prepared))) << Message(SQL_HANDLE_STMT, prepared);
    const std::vector<std::string> got = Drain(prepared, &kept, run.limit);
    SQLFreeStmt(prepared, SQL_CLOSE);
    BoundRow fresh{};
    BindRow(stmt_, &fresh);
    Query((query + std::to_string(run.key) + " ORDER BY id").c_str());
    EXPECT_EQ(got, Drain(stmt_, &fresh, run.limit)) << "key " << run.key;
    SQLFreeStmt(stmt_, SQL_CLOSE);
    SQLFreeStmt(stmt_, SQL_UNBIND);
  }
  SQLFreeHandle(SQL_HANDLE_STMT, prepared);
}

// The application's memory for the binding tests: every buffer, length and status lies
// in `bytes`, so two statements' deliveries compare byte for byte.
struct Memory {
  alignas(8) unsigned char bytes[4096];
  SQLULEN offset;
  SQLULEN fetched;
  SQLHDBC dbc;
};

char* At(Memory& m, size_t at) { return reinterpret_cast<char*>(m.bytes + at); }
SQLLEN* Len(Memory& m, int k) { return reinterpret_cast<SQLLEN*>(m.bytes + 2048 + 64 * k); }
SQLHDESC Ard(SQLHSTMT st) {
  SQLHDESC ard = nullptr;
  SQLGetStmtAttr(st, SQL_ATTR_APP_ROW_DESC, &ard, 0, nullptr);
  return ard;
}

// Changes of the bindings between fetches, each one what an application may do.
using Change = void (*)(SQLHSTMT st, Memory& m);
const Change kChanges[] = {
    [](SQLHSTMT st, Memory& m) {  // four columns
      SQLSetStmtAttr(st, SQL_ATTR_ROW_STATUS_PTR, At(m, 3072), 0);
      SQLSetStmtAttr(st, SQL_ATTR_ROWS_FETCHED_PTR, &m.fetched, 0);
      SQLBindCol(st, 1, SQL_C_SLONG, At(m, 0), 0, Len(m, 0));
      SQLBindCol(st, 2, SQL_C_CHAR, At(m, 64), 21, Len(m, 1));
      SQLBindCol(st, 3, SQL_C_DOUBLE, At(m, 160), 0, Len(m, 2));
      SQLBindCol(st, 4, SQL_C_TYPE_DATE, At(m, 240), 0, Len(m, 3));
    },
    [](SQLHSTMT st, Memory& m) {  // rebound: a name cut short, the amount as text, the id as a double
      SQLBindCol(st, 2, SQL_C_CHAR, At(m, 64), 6, Len(m, 1));
      SQLBindCol(st, 3, SQL_C_CHAR, At(m, 160), 16, Len(m, 2));
      SQLBindCol(st, 1, SQL_C_DOUBLE, At(m, 0), 0, Len(m, 0));
    },
    [](SQLHSTMT st, Memory& m) {  // through the ARD: a data pointer moves, an indicator parts from its length
      SQLSetDescField(Ard(st), 1, SQL_DESC_DATA_PTR, At(m, 300), 0);
      SQLSetDescField(Ard(st), 2, SQL_DESC_INDICATOR_PTR, Len(m, 5), 0);
      SQLSetDescField(Ard(st), 4, SQL_DESC_OCTET_LENGTH_PTR, Len(m, 6), 0);
    },
    [](SQLHSTMT st, Memory& m) {  // a bind offset
      m.offset = 512;
      SQLSetStmtAttr(st, SQL_ATTR_ROW_BIND_OFFSET_PTR, &m.offset, 0);
    },
    [](SQLHSTMT, Memory& m) { m.offset = 1024; },  // the offset moves without a call
    [](SQLHSTMT, Memory& m) {  // a column the application leaves alone
      *reinterpret_cast<SQLLEN*>(At(m, 2048 + 64 + m.offset)) = SQL_COLUMN_IGNORE;
    },
    [](SQLHSTMT st, Memory& m) {  // a record's type changes, and its data pointer is set again
      SQLSetDescField(Ard(st), 3, SQL_DESC_CONCISE_TYPE, (SQLPOINTER)SQL_C_DOUBLE, 0);
      SQLSetDescField(Ard(st), 3, SQL_DESC_DATA_PTR, At(m, 160), 0);
    },
    [](SQLHSTMT st, Memory&) {  // the ARD's count drops the date
      SQLSetDescField(Ard(st), 0, SQL_DESC_COUNT, (SQLPOINTER)3, 0);
    },
    [](SQLHSTMT st, Memory& m) {  // rows bound as records of 96 bytes
      SQLSetStmtAttr(st, SQL_ATTR_ROW_BIND_TYPE, (SQLPOINTER)96, 0);
      SQLBindCol(st, 1, SQL_C_SLONG, At(m, 0), 0, reinterpret_cast<SQLLEN*>(At(m, 64)));
      SQLBindCol(st, 2, SQL_C_CHAR, At(m, 8), 21, reinterpret_cast<SQLLEN*>(At(m, 72)));
      SQLBindCol(st, 3, SQL_C_DOUBLE, At(m, 32), 0, reinterpret_cast<SQLLEN*>(At(m, 80)));
      SQLBindCol(st, 4, SQL_C_TYPE_DATE, At(m, 40), 0, reinterpret_cast<SQLLEN*>(At(m, 88)));
    },
    [](SQLHSTMT st, Memory& m) {  // every column unbound, then the name alone by column again
      SQLFreeStmt(st, SQL_UNBIND);
      SQLSetStmtAttr(st, SQL_ATTR_ROW_BIND_TYPE, (SQLPOINTER)SQL_BIND_BY_COLUMN, 0);
      SQLBindCol(st, 2, SQL_C_CHAR, At(m, 64), 21, Len(m, 1));
    },
    [](SQLHSTMT st, Memory& m) {  // a whole ARD record set at once
      SQLSetDescRec(Ard(st), 1, SQL_C_SLONG, 0, 4, 0, 0, At(m, 0), Len(m, 0), Len(m, 0));
    },
    [](SQLHSTMT st, Memory& m) {  // an explicit descriptor with records of its own as the ARD
      SQLHDESC desc = nullptr;
      SQLAllocHandle(SQL_HANDLE_DESC, m.dbc, &desc);
      SQLSetDescRec(desc, 2, SQL_C_CHAR, 0, 21, 0, 0, At(m, 64), Len(m, 1), Len(m, 1));
      SQLSetDescRec(desc, 4, SQL_C_TYPE_DATE, 0, 6, 0, 0, At(m, 240), Len(m, 3), Len(m, 3));
      SQLSetStmtAttr(st, SQL_ATTR_APP_ROW_DESC, desc, 0);
    },
    [](SQLHSTMT st, Memory& m) {  // the explicit descriptor's record changed through its handle
      SQLSetDescField(Ard(st), 2, SQL_DESC_DATA_PTR, At(m, 400), 0);
    },
    [](SQLHSTMT st, Memory&) {  // the statement's own ARD again
      SQLSetStmtAttr(st, SQL_ATTR_APP_ROW_DESC, SQL_NULL_HDESC, 0);
    },
    [](SQLHSTMT st, Memory& m) {  // its handle, read back, changes a record and sets another whole
      SQLSetDescField(Ard(st), 2, SQL_DESC_DATA_PTR, At(m, 464), 0);
      SQLSetDescRec(Ard(st), 3, SQL_C_CHAR, 0, 16, 0, 0, At(m, 160), Len(m, 2), Len(m, 2));
    },
    [](SQLHSTMT st, Memory& m) {  // and SQLBindCol still reaches it
      SQLBindCol(st, 1, SQL_C_SLONG, At(m, 0), 0, Len(m, 0));
    },
};

// A statement reading rows 1 to 60 with every change above made between two fetches
// delivers, at each fetch, what a fresh statement given the same changes (and the same
// memory) delivers for the same rows: the same answer, the same bytes everywhere, and
// the same SQLGetData afterwards.
TEST_P(DmFetch, ChangedBindingsDeliverWhatAFreshStatementDelivers) {
  for (const SQLULEN size : {1, 4}) {
    SCOPED_TRACE("rowsets of " + std::to_string(size));
    Memory kept{};
    kept.dbc = dbc_;
    // A statement of its own for each size: its descriptors start as a fresh one's do.
    SQLHSTMT st = nullptr;
    ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &st), SQL_SUCCESS);
    ASSERT_EQ(SQLSetStmtAttr(st, SQL_ATTR_ROW_ARRAY_SIZE, (SQLPOINTER)size, 0), SQL_SUCCESS);
    const std::string query = "SELECT id, name, amount, born FROM fetch_rows WHERE id <= 60 AND id >= ";
    ASSERT_EQ(SQLExecDirect(st, (SQLCHAR*)(query + "1 ORDER BY id").c_str(), SQL_NTS), SQL_SUCCESS);
    int first = 1;
    for (size_t step = 0; step < std::size(kChanges); ++step, first += static_cast<int>(kept.fetched)) {
      SCOPED_TRACE("after change " + std::to_string(step));
      kChanges[step](st, kept);
      SQLHSTMT fresh = nullptr;
      ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &fresh), SQL_SUCCESS);
      Memory same{};
      same.dbc = dbc_;
      ASSERT_EQ(SQLSetStmtAttr(fresh, SQL_ATTR_ROW_ARRAY_SIZE, (SQLPOINTER)size, 0), SQL_SUCCESS);
      for (size_t k = 0; k <= step; ++k) kChanges[k](fresh, same);
      // A rowset size the statement was given in the middle of a block is refused
      // (and answered so); the fresh statement reads rowsets of the size it kept.
      SQLULEN rows = 0;
      ASSERT_EQ(SQLGetStmtAttr(st, SQL_ATTR_ROW_ARRAY_SIZE, &rows, 0, nullptr), SQL_SUCCESS);
      ASSERT_EQ(SQLSetStmtAttr(fresh, SQL_ATTR_ROW_ARRAY_SIZE, (SQLPOINTER)rows, 0), SQL_SUCCESS);
      std::memcpy(same.bytes, kept.bytes, sizeof kept.bytes);
      same.offset = kept.offset;
      ASSERT_EQ(SQLExecDirect(fresh, (SQLCHAR*)(query + std::to_string(first) + " ORDER BY id").c_str(),
                              SQL_NTS),
                SQL_SUCCESS);
      const SQLRETURN want = SQLFetch(fresh);
      ASSERT_EQ(SQLFetch(st), want) << Message(SQL_HANDLE_STMT, st);
      EXPECT_EQ(kept.fetched, same.fetched);
      ASSERT_EQ(0, std::memcmp(kept.bytes, same.bytes, sizeof kept.bytes));
      // SQLGetData on a bound column and on the last column after the fetch.
      for (SQLUSMALLINT c : {2, 4}) {
        char got[2][32] = {};
        SQLLEN lens[2] = {};
        EXPECT_EQ(SQLGetData(st, c, SQL_C_CHAR, got[0], sizeof got[0], &lens[0]),
                  SQLGetData(fresh, c, SQL_C_CHAR, got[1], sizeof got[1], &lens[1]))
            << "column " << c;
        EXPECT_EQ(lens[0], lens[1]);
        EXPECT_EQ(0, std::memcmp(got[0], got[1], sizeof got[0]));
      }
      SQLFreeHandle(SQL_HANDLE_STMT, fresh);
    }
    SQLFreeHandle(SQL_HANDLE_STMT, st);
  }
}

// In the middle of a forward-only block read row by row, a new rowset size waits: set
// directly or brought by a new ARD, it is refused with 01S02 in the same way, and the
// new ARD still becomes the statement's whole, its bindings delivering the next row.
// The statement's own ARD, set aside meanwhile, binds nothing until it is current again.
TEST_P(DmFetch, ARowsetSizeRefusedInTheMiddleOfABlockLeavesTheNewArdWhole) {
  for (const bool throughArd : {false, true}) {
    SCOPED_TRACE(throughArd ? "through a new ARD" : "set directly");
    SQLINTEGER id[3] = {};
    SQLLEN ind[3] = {};
    SQLINTEGER own = 0;
    SQLLEN ownInd = 0;
    ASSERT_EQ(SQLBindCol(stmt_, 1, SQL_C_SLONG, &own, 0, &ownInd), SQL_SUCCESS);
    Query("SELECT id FROM fetch_rows ORDER BY id");
    ASSERT_EQ(SQLFetch(stmt_), SQL_SUCCESS);
    ASSERT_EQ(own, 1);
    const SQLHDESC implicitArd = Ard(stmt_);
    SQLHDESC desc = nullptr;
    SQLRETURN rc;
    if (throughArd) {
      ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_DESC, dbc_, &desc), SQL_SUCCESS);
      ASSERT_EQ(SQLSetDescField(desc, 0, SQL_DESC_ARRAY_SIZE, (SQLPOINTER)3, 0), SQL_SUCCESS);
      ASSERT_EQ(SQLSetDescRec(desc, 1, SQL_C_SLONG, 0, 4, 0, 0, id, ind, ind), SQL_SUCCESS);
      rc = SQLSetStmtAttr(stmt_, SQL_ATTR_APP_ROW_DESC, desc, 0);
    } else {
      rc = SQLSetStmtAttr(stmt_, SQL_ATTR_ROW_ARRAY_SIZE, (SQLPOINTER)3, 0);
    }
    EXPECT_EQ(rc, SQL_SUCCESS_WITH_INFO);
    EXPECT_EQ(State(SQL_HANDLE_STMT, stmt_), "01S02");
    SQLULEN rows = 0;
    ASSERT_EQ(SQLGetStmtAttr(stmt_, SQL_ATTR_ROW_ARRAY_SIZE, &rows, 0, nullptr), SQL_SUCCESS);
    EXPECT_EQ(rows, 1u);
    if (throughArd) {
      EXPECT_EQ(Ard(stmt_), desc);
      SQLINTEGER elsewhere = 0;
      ASSERT_EQ(SQLSetDescField(implicitArd, 1, SQL_DESC_DATA_PTR, &elsewhere, 0), SQL_SUCCESS);
      ASSERT_EQ(SQLFetch(stmt_), SQL_SUCCESS) << Message(SQL_HANDLE_STMT, stmt_);
      EXPECT_EQ(id[0], 2);
      EXPECT_EQ(elsewhere, 0);
      EXPECT_EQ(own, 1);
      // Back to its own ARD, whose record now names the other buffer.
      ASSERT_TRUE(SQL_SUCCEEDED(SQLSetStmtAttr(stmt_, SQL_ATTR_APP_ROW_DESC, SQL_NULL_HDESC, 0)));
      ASSERT_EQ(SQLFetch(stmt_), SQL_SUCCESS);
      EXPECT_EQ(elsewhere, 3);
      EXPECT_EQ(id[0], 2);
      SQLFreeHandle(SQL_HANDLE_DESC, desc);
    } else {
      ASSERT_EQ(SQLFetch(stmt_), SQL_SUCCESS);
      EXPECT_EQ(own, 2);
    }
    SQLFreeStmt(stmt_, SQL_CLOSE);
    SQLFreeStmt(stmt_, SQL_UNBIND);
    ASSERT_EQ(SQLSetStmtAttr(stmt_, SQL_ATTR_ROW_ARRAY_SIZE, (SQLPOINTER)1, 0), SQL_SUCCESS);
  }
}

// An explicit ARD two statements use: a change through its handle, of a record or of
// the header, reaches the next fetch of each.
TEST_P(DmFetch, AnArdSharedByTwoStatementsChangesForBoth) {
  SQLHSTMT other = nullptr;
  ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &other), SQL_SUCCESS);
  SQLHDESC desc = nullptr;
  ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_DESC, dbc_, &desc), SQL_SUCCESS);
  SQLINTEGER id = 0;
  SQLLEN ind = 0;
  ASSERT_EQ(SQLSetDescRec(desc, 1, SQL_C_SLONG, 0, 4, 0, 0, &id, &ind, &ind), SQL_SUCCESS);
  for (SQLHSTMT st : {stmt_, other}) {
    ASSERT_EQ(SQLSetStmtAttr(st, SQL_ATTR_APP_ROW_DESC, desc, 0), SQL_SUCCESS);
    ASSERT_EQ(SQLExecDirect(st, (SQLCHAR*)"SELECT id FROM fetch_rows ORDER BY id", SQL_NTS),
              SQL_SUCCESS);
    ASSERT_EQ(SQLFetch(st), SQL_SUCCESS);
    EXPECT_EQ(id, 1);
  }
  char text[2][8] = {};
  SQLLEN lens[2] = {};
  ASSERT_EQ(SQLSetDescRec(desc, 1, SQL_C_CHAR, 0, 8, 0, 0, text[0], &lens[0], &lens[0]),
            SQL_SUCCESS);
  for (SQLHSTMT st : {stmt_, other}) {
    std::memset(text, 0, sizeof text);
    ASSERT_EQ(SQLFetch(st), SQL_SUCCESS);
    EXPECT_STREQ(text[0], "2");
    EXPECT_EQ(lens[0], 1);
  }
  SQLLEN offset = sizeof text[0];
  ASSERT_EQ(SQLSetDescField(desc, 0, SQL_DESC_BIND_OFFSET_PTR, &offset, 0), SQL_SUCCESS);
  for (SQLHSTMT st : {stmt_, other}) {
    std::memset(text, 0, sizeof text);
    ASSERT_EQ(SQLFetch(st), SQL_SUCCESS);
    EXPECT_STREQ(text[0], "");
    EXPECT_STREQ(text[1], "3");
  }
  EXPECT_EQ(id, 1);
  SQLFreeHandle(SQL_HANDLE_STMT, other);
  SQLFreeHandle(SQL_HANDLE_DESC, desc);
}

INSTANTIATE_TEST_SUITE_P(Builds, DmFetch,
                         ::testing::Values(DmBuild{"w", "kes_w"}, DmBuild{"a", "kes_a"}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
