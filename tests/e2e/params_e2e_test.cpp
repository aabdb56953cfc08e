// params_e2e_test.cpp -- statements with bound parameters through the Driver
// Manager, each driver library and the embedded server: column-wise and
// row-wise parameter arrays with NULLs among them, ignored sets, the status
// array and processed count, a failing set, and a SELECT run once per set.
// The rows are read back with SQLGetData and SQLBindCol and compared value for
// value.

#include <sql.h>
#include <sqlext.h>

#include <cstring>
#include <string>
#include <vector>

#include "dm_fixture.h"

namespace {

using Rows = std::vector<std::vector<std::string>>;

class DmParams : public DmTest {
 public:
  static void SetUpTestSuite() {
    DmTest::SetUpTestSuite();
    MakeDatabase("kes_params", "paramsdb");
  }

 protected:
  void SetUp() override {
    DmTest::SetUp();
    std::string in =
        std::string("DSN=") + GetParam().dsn + ";UID=u;PWD=p;DATABASE=paramsdb@kes_params";
    ASSERT_TRUE(SQL_SUCCEEDED(SQLDriverConnect(dbc_, nullptr, (SQLCHAR*)in.c_str(), SQL_NTS,
                                               nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT)))
        << Message(SQL_HANDLE_DBC, dbc_);
    ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &stmt_), SQL_SUCCESS);
    table_ = std::string("t_") + GetParam().name;
    (void)SQLExecDirect(stmt_, (SQLCHAR*)("DROP TABLE " + table_).c_str(), SQL_NTS);
    ASSERT_EQ(
        SQLExecDirect(stmt_,
                      (SQLCHAR*)("CREATE TABLE " + table_ +
                                 " (id INTEGER UNIQUE, name VARCHAR(20), amount DECIMAL(10,2), "
                                 "born DATE, seen DATETIME YEAR TO SECOND, big DECIMAL(32,3), "
                                 "raw BYTE)")
                          .c_str(),
                      SQL_NTS),
        SQL_SUCCESS)
        << Message(SQL_HANDLE_STMT, stmt_);
  }
  void TearDown() override {
    if (stmt_ != nullptr) SQLFreeHandle(SQL_HANDLE_STMT, stmt_);
    DmTest::TearDown();
  }

  // The table's rows in id order, every value as SQL_C_CHAR text ("NULL" for NULL).
  Rows Read() {
    Rows rows;
    SQLHSTMT q = nullptr;
    EXPECT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &q), SQL_SUCCESS);
    const std::string sql =
        "SELECT id, name, amount, born, seen, big, raw FROM " + table_ + " ORDER BY id";
    EXPECT_EQ(SQLExecDirect(q, (SQLCHAR*)sql.c_str(), SQL_NTS), SQL_SUCCESS)
        << Message(SQL_HANDLE_STMT, q);
    while (SQLFetch(q) == SQL_SUCCESS) {
      std::vector<std::string> row;
      for (SQLUSMALLINT c = 1; c <= 7; ++c) {
        char buf[64] = {};
        SQLLEN len = 0;
        EXPECT_EQ(SQLGetData(q, c, SQL_C_CHAR, buf, sizeof buf, &len), SQL_SUCCESS)
            << Message(SQL_HANDLE_STMT, q);
        row.push_back(len == SQL_NULL_DATA ? "NULL" : buf);
      }
      rows.push_back(row);
    }
    SQLFreeHandle(SQL_HANDLE_STMT, q);
    return rows;
  }

  void Prepare() {
    const std::string sql = "INSERT INTO " + table_ +
                            " (id, name, amount, born, seen, big, raw) "
                            "VALUES (?, ?, ?, ?, ?, ?, ?)";
    ASSERT_EQ(SQLPrepare(stmt_, (SQLCHAR*)sql.c_str(), SQL_NTS), SQL_SUCCESS)
        << Message(SQL_HANDLE_STMT, stmt_);
  }

  SQLHSTMT stmt_ = nullptr;
  std::string table_;
};

SQL_NUMERIC_STRUCT Numeric(const char* digits, int scale) {
  SQL_NUMERIC_STRUCT n{};
  n.precision = 38;
  n.scale = static_cast<SQLSCHAR>(scale);
  n.sign = 1;
  // Decimal digits into the little-endian 128-bit magnitude.
  for (const char* p = digits; *p != '\0'; ++p) {
    unsigned carry = static_cast<unsigned>(*p - '0');
    for (unsigned char& b : n.val) {
      const unsigned v = b * 10u + carry;
      b = static_cast<unsigned char>(v & 0xFF);
      carry = v >> 8;
    }
  }
  return n;
}

TEST_P(DmParams, ColumnWiseArrayWithNullsIgnoredSetsAndStatuses) {
  Prepare();
  constexpr SQLULEN kSets = 4;
  SQLINTEGER id[kSets] = {1, 2, 3, 4};
  char name[kSets][21] = {"anna", "", "ignored", "bob"};
  SQLLEN nameLen[kSets] = {SQL_NTS, SQL_NULL_DATA, SQL_NTS, 3};
  double amount[kSets] = {12.5, 0, 0, -3.25};
  SQLLEN amountInd[kSets] = {0, SQL_NULL_DATA, 0, 0};
  // Date text with a NULL among it, and an escape in another set.
  char born[kSets][20] = {"2024-02-09", "", "", "{d '1999-12-31'}"};
  SQLLEN bornLen[kSets] = {SQL_NTS, SQL_NULL_DATA, SQL_NULL_DATA, SQL_NTS};
  SQL_TIMESTAMP_STRUCT seen[kSets] = {
      {2024, 2, 9, 10, 11, 12, 0}, {}, {}, {1999, 12, 31, 23, 59, 58, 0}};
  SQLLEN seenInd[kSets] = {0, SQL_NULL_DATA, 0, 0};
  SQL_NUMERIC_STRUCT big[kSets] = {
      Numeric("12345678901234567890123", 3), Numeric("5", 0), {}, Numeric("29", 2)};
  SQLLEN bigInd[kSets] = {0, 0, 0, 0};
  char raw[kSets][9] = {"0A1B", "", "", "FFEE"};
  SQLLEN rawLen[kSets] = {SQL_NTS, SQL_NULL_DATA, SQL_NULL_DATA, SQL_NTS};
  SQLUSMALLINT ops[kSets] = {SQL_PARAM_PROCEED, SQL_PARAM_PROCEED, SQL_PARAM_IGNORE,
                             SQL_PARAM_PROCEED};
  SQLUSMALLINT status[kSets] = {};
  SQLULEN processed = 0;
  ASSERT_EQ(SQLSetStmtAttr(stmt_, SQL_ATTR_PARAMSET_SIZE, (SQLPOINTER)kSets, 0), SQL_SUCCESS);
  ASSERT_EQ(SQLSetStmtAttr(stmt_, SQL_ATTR_PARAM_OPERATION_PTR, ops, 0), SQL_SUCCESS);
  ASSERT_EQ(SQLSetStmtAttr(stmt_, SQL_ATTR_PARAM_STATUS_PTR, status, 0), SQL_SUCCESS);
  ASSERT_EQ(SQLSetStmtAttr(stmt_, SQL_ATTR_PARAMS_PROCESSED_PTR, &processed, 0), SQL_SUCCESS);
  ASSERT_EQ(
      SQLBindParameter(stmt_, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, id, 0, nullptr),
      SQL_SUCCESS);
  SQLBindParameter(stmt_, 2, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 20, 0, name, 21, nameLen);
  SQLBindParameter(stmt_, 3, SQL_PARAM_INPUT, SQL_C_DOUBLE, SQL_DECIMAL, 10, 2, amount, 0,
                   amountInd);
  SQLBindParameter(stmt_, 4, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_TYPE_DATE, 10, 0, born, 20, bornLen);
  SQLBindParameter(stmt_, 5, SQL_PARAM_INPUT, SQL_C_TYPE_TIMESTAMP, SQL_TYPE_TIMESTAMP, 19, 0, seen,
                   0, seenInd);
  SQLBindParameter(stmt_, 6, SQL_PARAM_INPUT, SQL_C_NUMERIC, SQL_DECIMAL, 32, 3, big, 0, bigInd);
  SQLBindParameter(stmt_, 7, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_LONGVARBINARY, 8, 0, raw, 9, rawLen);
  ASSERT_EQ(SQLExecute(stmt_), SQL_SUCCESS) << Message(SQL_HANDLE_STMT, stmt_);
  EXPECT_EQ(processed, 3u);
  const SQLUSMALLINT ok[kSets] = {SQL_PARAM_SUCCESS, SQL_PARAM_SUCCESS, SQL_PARAM_UNUSED,
                                  SQL_PARAM_SUCCESS};
  EXPECT_EQ(memcmp(status, ok, sizeof ok), 0);

  const Rows expected = {
      {"1", "anna", "12.50", "2024-02-09", "2024-02-09 10:11:12.00000", "12345678901234567890.123",
       "0A1B"},
      {"2", "NULL", "NULL", "NULL", "NULL", "5.000", "NULL"},
      {"4", "bob", "-3.25", "1999-12-31", "1999-12-31 23:59:58.00000", "0.290", "FFEE"},
  };
  EXPECT_EQ(Read(), expected);
}

TEST_P(DmParams, RowWiseArrayAndAFailingSet) {
  Prepare();
  struct Row {
    SQLINTEGER id;
    SQLLEN idInd;
    SQLWCHAR name[8];
    SQLLEN nameLen;
    SQL_DATE_STRUCT born;
    SQLLEN bornInd;
    SQLLEN none;  // the indicator of the columns left NULL
  } rows[3] = {{10, 0, {'z', 0xE9, 0}, SQL_NTS, {2001, 1, 2}, 0, SQL_NULL_DATA},
               {11, 0, {0}, SQL_NULL_DATA, {}, SQL_NULL_DATA, SQL_NULL_DATA},
               {10, 0, {'d', 'u', 'p', 0}, 6, {2002, 3, 4}, 0, SQL_NULL_DATA}};
  SQLUSMALLINT status[3] = {};
  SQLULEN processed = 0;
  ASSERT_EQ(SQLSetStmtAttr(stmt_, SQL_ATTR_PARAMSET_SIZE, (SQLPOINTER)3, 0), SQL_SUCCESS);
  ASSERT_EQ(SQLSetStmtAttr(stmt_, SQL_ATTR_PARAM_BIND_TYPE, (SQLPOINTER)sizeof(Row), 0),
            SQL_SUCCESS);
  ASSERT_EQ(SQLSetStmtAttr(stmt_, SQL_ATTR_PARAM_STATUS_PTR, status, 0), SQL_SUCCESS);
  ASSERT_EQ(SQLSetStmtAttr(stmt_, SQL_ATTR_PARAMS_PROCESSED_PTR, &processed, 0), SQL_SUCCESS);
  SQLBindParameter(stmt_, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &rows[0].id, 0,
                   &rows[0].idInd);
  SQLBindParameter(stmt_, 2, SQL_PARAM_INPUT, SQL_C_WCHAR, SQL_WVARCHAR, 20, 0, rows[0].name, 16,
                   &rows[0].nameLen);
  SQLBindParameter(stmt_, 4, SQL_PARAM_INPUT, SQL_C_TYPE_DATE, SQL_TYPE_DATE, 10, 0, &rows[0].born,
                   0, &rows[0].bornInd);
  for (SQLUSMALLINT p : {3, 5, 6, 7})
    SQLBindParameter(stmt_, p, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 1, 0, nullptr, 0,
                     &rows[0].none);
  // The third set repeats the first id: the unique index refuses it.
  EXPECT_EQ(SQLExecute(stmt_), SQL_ERROR);
  EXPECT_EQ(processed, 3u);
  const SQLUSMALLINT expectedStatus[3] = {SQL_PARAM_SUCCESS, SQL_PARAM_SUCCESS, SQL_PARAM_ERROR};
  EXPECT_EQ(memcmp(status, expectedStatus, sizeof status), 0);
  const Rows expected = {
      {"10", "z\xC3\xA9", "NULL", "2001-01-02", "NULL", "NULL", "NULL"},
      {"11", "NULL", "NULL", "NULL", "NULL", "NULL", "NULL"},
  };
  EXPECT_EQ(Read(), expected);
}

TEST_P(DmParams, SelectOncePerSetAndExecDirect) {
  const std::string insert = "INSERT INTO " + table_ + " (id, amount, big) VALUES (?, ?, ?)";
  ASSERT_EQ(SQLPrepare(stmt_, (SQLCHAR*)insert.c_str(), SQL_NTS), SQL_SUCCESS);
  SQLINTEGER ids[5] = {1, 2, 3, 4, 5};
  double amounts[5] = {0.5, 1.5, 2.5, 3.5, 4.5};
  SQLBIGINT bigs[5] = {-9223372036854775807LL, 0, 7, 1000000000000LL, 12};
  ASSERT_EQ(SQLSetStmtAttr(stmt_, SQL_ATTR_PARAMSET_SIZE, (SQLPOINTER)5, 0), SQL_SUCCESS);
  SQLBindParameter(stmt_, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, ids, 0, nullptr);
  SQLBindParameter(stmt_, 2, SQL_PARAM_INPUT, SQL_C_DOUBLE, SQL_DECIMAL, 10, 2, amounts, 0,
                   nullptr);
  SQLBindParameter(stmt_, 3, SQL_PARAM_INPUT, SQL_C_SBIGINT, SQL_DECIMAL, 32, 3, bigs, 0, nullptr);
  ASSERT_EQ(SQLExecute(stmt_), SQL_SUCCESS) << Message(SQL_HANDLE_STMT, stmt_);
  ASSERT_EQ(SQLFreeStmt(stmt_, SQL_RESET_PARAMS), SQL_SUCCESS);

  // Each further result of a SELECT run over three sets belongs to the next set.
  const std::string select = "SELECT id, amount, big FROM " + table_ + " WHERE id >= ? ORDER BY id";
  ASSERT_EQ(SQLPrepare(stmt_, (SQLCHAR*)select.c_str(), SQL_NTS), SQL_SUCCESS);
  SQLINTEGER from[3] = {4, 2, 6};
  SQLULEN processed = 0;
  ASSERT_EQ(SQLSetStmtAttr(stmt_, SQL_ATTR_PARAMSET_SIZE, (SQLPOINTER)3, 0), SQL_SUCCESS);
  ASSERT_EQ(SQLSetStmtAttr(stmt_, SQL_ATTR_PARAMS_PROCESSED_PTR, &processed, 0), SQL_SUCCESS);
  SQLBindParameter(stmt_, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, from, 0, nullptr);
  ASSERT_EQ(SQLExecute(stmt_), SQL_SUCCESS) << Message(SQL_HANDLE_STMT, stmt_);
  SQLINTEGER id = 0;
  double amount = 0;
  SQLBIGINT big = 0;
  SQLBindCol(stmt_, 1, SQL_C_SLONG, &id, 0, nullptr);
  SQLBindCol(stmt_, 2, SQL_C_DOUBLE, &amount, 0, nullptr);
  SQLBindCol(stmt_, 3, SQL_C_SBIGINT, &big, 0, nullptr);
  const std::vector<std::vector<SQLINTEGER>> results = {{4, 5}, {2, 3, 4, 5}, {}};
  for (size_t set = 0; set < results.size(); ++set) {
    SCOPED_TRACE(set);
    EXPECT_EQ(processed, set + 1);
    std::vector<SQLINTEGER> seen;
    while (SQLFetch(stmt_) == SQL_SUCCESS) {
      seen.push_back(id);
      EXPECT_EQ(amount, amounts[id - 1]);
      EXPECT_EQ(big, bigs[id - 1]);
    }
    EXPECT_EQ(seen, results[set]);
    EXPECT_EQ(SQLMoreResults(stmt_), set + 1 < results.size() ? SQL_SUCCESS : SQL_NO_DATA);
  }
  ASSERT_EQ(SQLFreeStmt(stmt_, SQL_CLOSE), SQL_SUCCESS);
  ASSERT_EQ(SQLFreeStmt(stmt_, SQL_UNBIND), SQL_SUCCESS);

  // A parameter of SQLExecDirect, and the rows it touched.
  SQLINTEGER gone = 3;
  SQLSetStmtAttr(stmt_, SQL_ATTR_PARAMSET_SIZE, (SQLPOINTER)1, 0);
  SQLBindParameter(stmt_, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &gone, 0, nullptr);
  const std::string del = "DELETE FROM " + table_ + " WHERE id <= ?";
  ASSERT_EQ(SQLExecDirect(stmt_, (SQLCHAR*)del.c_str(), SQL_NTS), SQL_SUCCESS)
      << Message(SQL_HANDLE_STMT, stmt_);
  SQLLEN rows = 0;
  ASSERT_EQ(SQLRowCount(stmt_, &rows), SQL_SUCCESS);
  EXPECT_EQ(rows, 3);
}

// The same arrays of changes in autocommit and inside the application's transaction
// (where the sets run together) must end alike: the rows, the statuses and processed
// count, the row count, a refused set in the middle, a searched UPDATE that finds no row.
// Inside the transaction the sets before a refused one stay in it until the application
// ends it.
TEST_P(DmParams, ArraysOfChangesEndAlikeInAndOutOfATransaction) {
  const auto run = [&](bool autocommit) {
    std::string got;
    const auto note = [&](const std::string& what, const SQLULEN& processed,
                          const SQLUSMALLINT* status, size_t sets) {
      const SQLRETURN rc = SQLExecute(stmt_);
      got += what + ": " + std::to_string(rc) + " processed " + std::to_string(processed) + " [";
      for (size_t k = 0; k < sets; ++k) got += std::to_string(status[k]) + " ";
      SQLLEN count = -2;
      if (SQL_SUCCEEDED(rc) || rc == SQL_NO_DATA) SQLRowCount(stmt_, &count);
      got += "] rows " + std::to_string(count) + "\n";
    };
    // On a handle of its own: the arrays' statement stays prepared.
    const auto emptyTable = [&] {
      SQLHSTMT d = nullptr;
      EXPECT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &d), SQL_SUCCESS);
      (void)SQLExecDirect(d, (SQLCHAR*)("DELETE FROM " + table_).c_str(), SQL_NTS);
      SQLFreeHandle(SQL_HANDLE_STMT, d);
    };
    const auto readAll = [&] {
      for (const auto& row : Read()) {
        for (const std::string& v : row) got += v + "|";
        got += "\n";
      }
    };
    emptyTable();
    EXPECT_EQ(SQLSetConnectAttr(dbc_, SQL_ATTR_AUTOCOMMIT,
                                (SQLPOINTER)(autocommit ? SQL_AUTOCOMMIT_ON : SQL_AUTOCOMMIT_OFF),
                                0),
              SQL_SUCCESS);
    Prepare();
    constexpr size_t kSets = 5;
    SQLINTEGER id[kSets] = {1, 2, 3, 2, 5};
    char name[kSets][8] = {"a", "", "c", "d", "e"};
    SQLLEN nameLen[kSets] = {SQL_NTS, SQL_NULL_DATA, SQL_NTS, SQL_NTS, 1};
    double amount[kSets] = {1.25, 2.5, -3, 4, 5.75};
    SQL_DATE_STRUCT born[kSets] = {{2001, 1, 2}, {2002, 3, 4}, {1999, 12, 31}, {2010, 5, 6},
                                   {2024, 2, 29}};
    SQLLEN none[kSets] = {SQL_NULL_DATA, SQL_NULL_DATA, SQL_NULL_DATA, SQL_NULL_DATA,
                          SQL_NULL_DATA};
    SQLUSMALLINT status[kSets] = {};
    SQLUSMALLINT ops[kSets] = {SQL_PARAM_PROCEED, SQL_PARAM_IGNORE, SQL_PARAM_PROCEED,
                               SQL_PARAM_PROCEED, SQL_PARAM_PROCEED};
    SQLULEN processed = 0;
    EXPECT_EQ(SQLSetStmtAttr(stmt_, SQL_ATTR_PARAMSET_SIZE, (SQLPOINTER)kSets, 0), SQL_SUCCESS);
    SQLSetStmtAttr(stmt_, SQL_ATTR_PARAM_STATUS_PTR, status, 0);
    SQLSetStmtAttr(stmt_, SQL_ATTR_PARAMS_PROCESSED_PTR, &processed, 0);
    SQLBindParameter(stmt_, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, id, 0, nullptr);
    SQLBindParameter(stmt_, 2, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 20, 0, name, 8, nameLen);
    SQLBindParameter(stmt_, 3, SQL_PARAM_INPUT, SQL_C_DOUBLE, SQL_DECIMAL, 10, 2, amount, 0,
                     nullptr);
    SQLBindParameter(stmt_, 4, SQL_PARAM_INPUT, SQL_C_TYPE_DATE, SQL_TYPE_DATE, 10, 0, born, 0,
                     nullptr);
    for (SQLUSMALLINT p : {5, 6, 7})
      SQLBindParameter(stmt_, p, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 1, 0, nullptr, 0, none);
    // The fourth set repeats an id: the sets before it ran, the rest did not.
    note("refused", processed, status, kSets);
    readAll();
    if (autocommit) {
      emptyTable();
    } else {
      // Nothing of the array was committed.
      EXPECT_EQ(SQLEndTran(SQL_HANDLE_DBC, dbc_, SQL_ROLLBACK), SQL_SUCCESS);
      EXPECT_TRUE(Read().empty());
    }
    // Every set but an ignored one.
    id[3] = 4;
    SQLSetStmtAttr(stmt_, SQL_ATTR_PARAM_OPERATION_PTR, ops, 0);
    note("ignored", processed, status, kSets);
    SQLSetStmtAttr(stmt_, SQL_ATTR_PARAM_OPERATION_PTR, nullptr, 0);
    EXPECT_EQ(SQLEndTran(SQL_HANDLE_DBC, dbc_, SQL_COMMIT), SQL_SUCCESS);
    readAll();
    EXPECT_EQ(SQLFreeStmt(stmt_, SQL_RESET_PARAMS), SQL_SUCCESS);

    // A searched UPDATE counts the rows of every set; none found at all is no data.
    const std::string update = "UPDATE " + table_ + " SET name = ? WHERE id = ?";
    EXPECT_EQ(SQLPrepare(stmt_, (SQLCHAR*)update.c_str(), SQL_NTS), SQL_SUCCESS);
    char text[3][4] = {"x", "y", "z"};
    SQLINTEGER key[3] = {1, 99, 3};
    EXPECT_EQ(SQLSetStmtAttr(stmt_, SQL_ATTR_PARAMSET_SIZE, (SQLPOINTER)3, 0), SQL_SUCCESS);
    SQLBindParameter(stmt_, 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 3, 0, text, 4, nullptr);
    SQLBindParameter(stmt_, 2, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, key, 0, nullptr);
    note("update", processed, status, 3);
    key[0] = 97;
    key[2] = 98;
    note("update none", processed, status, 3);
    EXPECT_EQ(SQLEndTran(SQL_HANDLE_DBC, dbc_, SQL_COMMIT), SQL_SUCCESS);
    readAll();
    SQLFreeStmt(stmt_, SQL_RESET_PARAMS);
    SQLSetStmtAttr(stmt_, SQL_ATTR_PARAMSET_SIZE, (SQLPOINTER)1, 0);
    SQLSetStmtAttr(stmt_, SQL_ATTR_PARAM_STATUS_PTR, nullptr, 0);
    SQLSetStmtAttr(stmt_, SQL_ATTR_PARAMS_PROCESSED_PTR, nullptr, 0);
    SQLSetConnectAttr(dbc_, SQL_ATTR_AUTOCOMMIT, (SQLPOINTER)SQL_AUTOCOMMIT_ON, 0);
    return got;
  };
  const std::string inTxn = run(false);
  EXPECT_EQ(inTxn, run(true));
  EXPECT_EQ(inTxn,
            "refused: -1 processed 4 [0 0 0 5 7 ] rows -2\n"
            "1|a|1.25|2001-01-02|NULL|NULL|NULL|\n"
            "2|NULL|2.50|2002-03-04|NULL|NULL|NULL|\n"
            "3|c|-3.00|1999-12-31|NULL|NULL|NULL|\n"
            "ignored: 0 processed 4 [0 7 0 0 0 ] rows 4\n"
            "1|a|1.25|2001-01-02|NULL|NULL|NULL|\n"
            "3|c|-3.00|1999-12-31|NULL|NULL|NULL|\n"
            "4|d|4.00|2010-05-06|NULL|NULL|NULL|\n"
            "5|e|5.75|2024-02-29|NULL|NULL|NULL|\n"
            "update: 0 processed 3 [0 0 0 ] rows 2\n"
            "update none: 100 processed 3 [0 0 0 ] rows 0\n"
            "1|x|1.25|2001-01-02|NULL|NULL|NULL|\n"
            "3|z|-3.00|1999-12-31|NULL|NULL|NULL|\n"
            "4|d|4.00|2010-05-06|NULL|NULL|NULL|\n"
            "5|e|5.75|2024-02-29|NULL|NULL|NULL|\n");
}

// Tables changed by another connection between two executions of a prepared array inside
// a transaction are seen by the next execution's first set.
TEST_P(DmParams, AnArrayInATransactionSeesTablesChangedSinceTheLastExecution) {
  EXPECT_EQ(SQLSetConnectAttr(dbc_, SQL_ATTR_AUTOCOMMIT, (SQLPOINTER)SQL_AUTOCOMMIT_OFF, 0),
            SQL_SUCCESS);
  const std::string insert = "INSERT INTO " + table_ + " (id, name) VALUES (?, ?)";
  ASSERT_EQ(SQLPrepare(stmt_, (SQLCHAR*)insert.c_str(), SQL_NTS), SQL_SUCCESS);
  SQLINTEGER id[2] = {1, 2};
  char name[2][8] = {"abcdef", "ghijkl"};
  EXPECT_EQ(SQLSetStmtAttr(stmt_, SQL_ATTR_PARAMSET_SIZE, (SQLPOINTER)2, 0), SQL_SUCCESS);
  SQLBindParameter(stmt_, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, id, 0, nullptr);
  SQLLEN nts[2] = {SQL_NTS, SQL_NTS};
  SQLBindParameter(stmt_, 2, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 20, 0, name, 8, nts);
  ASSERT_EQ(SQLExecute(stmt_), SQL_SUCCESS) << Message(SQL_HANDLE_STMT, stmt_);
  ASSERT_EQ(SQLEndTran(SQL_HANDLE_DBC, dbc_, SQL_COMMIT), SQL_SUCCESS);

  SQLHDBC other = nullptr;
  ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_DBC, env_, &other), SQL_SUCCESS);
  std::string in =
      std::string("DSN=") + GetParam().dsn + ";UID=u;PWD=p;DATABASE=paramsdb@kes_params";
  ASSERT_TRUE(SQL_SUCCEEDED(SQLDriverConnect(other, nullptr, (SQLCHAR*)in.c_str(), SQL_NTS,
                                             nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT)));
  SQLHSTMT alter = nullptr;
  ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, other, &alter), SQL_SUCCESS);
  const std::string narrow = "ALTER TABLE " + table_ + " MODIFY (name VARCHAR(3))";
  ASSERT_EQ(SQLExecDirect(alter, (SQLCHAR*)narrow.c_str(), SQL_NTS), SQL_SUCCESS)
      << Message(SQL_HANDLE_STMT, alter);
  SQLFreeHandle(SQL_HANDLE_STMT, alter);
  SQLDisconnect(other);
  SQLFreeHandle(SQL_HANDLE_DBC, other);

  id[0] = 3;
  id[1] = 4;
  ASSERT_EQ(SQLExecute(stmt_), SQL_SUCCESS) << Message(SQL_HANDLE_STMT, stmt_);
  ASSERT_EQ(SQLEndTran(SQL_HANDLE_DBC, dbc_, SQL_COMMIT), SQL_SUCCESS);
  const Rows rows = Read();
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(rows[0][1], "abc");  // cut by the ALTER itself
  EXPECT_EQ(rows[2][1], "abc");  // cut as the new column takes it
  EXPECT_EQ(rows[3][1], "ghi");
  SQLSetStmtAttr(stmt_, SQL_ATTR_PARAMSET_SIZE, (SQLPOINTER)1, 0);
  SQLSetConnectAttr(dbc_, SQL_ATTR_AUTOCOMMIT, (SQLPOINTER)SQL_AUTOCOMMIT_ON, 0);
}

// A new APD whose record cannot be bound is refused whole: the descriptor that was
// current stays so with its bindings, and the next execution sends their values.
// Freeing an explicit APD while it is current hands the statement its own back.
TEST_P(DmParams, ARefusedApdSwitchKeepsTheCurrentDescriptorAndItsBindings) {
  const std::string sql = "INSERT INTO " + table_ + " (id, name) VALUES (?, ?)";
  ASSERT_EQ(SQLPrepare(stmt_, (SQLCHAR*)sql.c_str(), SQL_NTS), SQL_SUCCESS);
  SQLINTEGER id = 1;
  char name[8] = "abc";
  SQLLEN nameLen = SQL_NTS;
  ASSERT_EQ(SQLBindParameter(stmt_, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &id, 0,
                             nullptr),
            SQL_SUCCESS);
  ASSERT_EQ(SQLBindParameter(stmt_, 2, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 20, 0, name,
                             sizeof name, &nameLen),
            SQL_SUCCESS);

  // Record 2 holds an SQL type where a C type belongs, which only binding finds out.
  SQLHDESC bad = nullptr;
  ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_DESC, dbc_, &bad), SQL_SUCCESS);
  SQLINTEGER otherId = 9;
  char otherName[8] = "zzz";
  ASSERT_EQ(SQLSetDescField(bad, 1, SQL_DESC_CONCISE_TYPE, (SQLPOINTER)SQL_C_SLONG, 0),
            SQL_SUCCESS);
  ASSERT_EQ(SQLSetDescField(bad, 1, SQL_DESC_DATA_PTR, &otherId, 0), SQL_SUCCESS);
  ASSERT_EQ(SQLSetDescField(bad, 2, SQL_DESC_CONCISE_TYPE, (SQLPOINTER)SQL_VARCHAR, 0),
            SQL_SUCCESS);
  ASSERT_EQ(SQLSetDescField(bad, 2, SQL_DESC_DATA_PTR, otherName, 0), SQL_SUCCESS);
  EXPECT_EQ(SQLSetStmtAttr(stmt_, SQL_ATTR_APP_PARAM_DESC, bad, 0), SQL_ERROR);
  EXPECT_EQ(State(SQL_HANDLE_STMT, stmt_), "HY003");
  ASSERT_EQ(SQLExecute(stmt_), SQL_SUCCESS) << Message(SQL_HANDLE_STMT, stmt_);

  // A sound explicit APD freed while current: the statement's own bindings again.
  SQLHDESC good = nullptr;
  ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_DESC, dbc_, &good), SQL_SUCCESS);
  ASSERT_EQ(SQLSetDescField(good, 1, SQL_DESC_CONCISE_TYPE, (SQLPOINTER)SQL_C_SLONG, 0),
            SQL_SUCCESS);
  ASSERT_EQ(SQLSetDescField(good, 1, SQL_DESC_DATA_PTR, &otherId, 0), SQL_SUCCESS);
  ASSERT_EQ(SQLSetStmtAttr(stmt_, SQL_ATTR_APP_PARAM_DESC, good, 0), SQL_SUCCESS)
      << Message(SQL_HANDLE_STMT, stmt_);
  ASSERT_EQ(SQLFreeHandle(SQL_HANDLE_DESC, good), SQL_SUCCESS);
  id = 2;
  std::strcpy(name, "def");
  ASSERT_EQ(SQLExecute(stmt_), SQL_SUCCESS) << Message(SQL_HANDLE_STMT, stmt_);
  SQLFreeHandle(SQL_HANDLE_DESC, bad);

  const Rows rows = Read();
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0][0], "1");
  EXPECT_EQ(rows[0][1], "abc");
  EXPECT_EQ(rows[1][0], "2");
  EXPECT_EQ(rows[1][1], "def");
}

INSTANTIATE_TEST_SUITE_P(Builds, DmParams,
                         ::testing::Values(DmBuild{"w", "kes_w"}, DmBuild{"a", "kes_a"}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
