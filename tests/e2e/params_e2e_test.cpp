// params_e2e_test.cpp -- inserts with bound parameters through the Driver
// Manager, each driver library and the embedded server: column-wise and
// row-wise parameter arrays with NULLs among them, ignored sets, the status
// array and processed count, and a failing set. The rows are read back through
// the embedded runtime's own calls on a connection of the test.

#include <sql.h>
#include <sqlext.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "dm_fixture.h"
#include "platform/informix/ixr_api.h"

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
    std::string in = std::string("DSN=") + GetParam().dsn + ";UID=u;PWD=p;DATABASE=paramsdb@kes_params";
    ASSERT_TRUE(SQL_SUCCEEDED(SQLDriverConnect(dbc_, nullptr, (SQLCHAR*)in.c_str(), SQL_NTS, nullptr, 0,
                                               nullptr, SQL_DRIVER_NOPROMPT)))
        << Message(SQL_HANDLE_DBC, dbc_);
    ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &stmt_), SQL_SUCCESS);
    table_ = std::string("t_") + GetParam().name;
    (void)SQLExecDirect(stmt_, (SQLCHAR*)("DROP TABLE " + table_).c_str(), SQL_NTS);
    ASSERT_EQ(SQLExecDirect(stmt_,
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

  // The table's rows in id order, every value as text ("NULL" for NULL), read
  // on a runtime connection of the test's own.
  Rows Read() {
    Rows rows;
    EXPECT_EQ(ixr_connect("paramsdb@kes_params", "reader"), 0);
    const std::string sql = "SELECT id, name, amount, born, seen, big, raw FROM " + table_ + " ORDER BY id";
    EXPECT_EQ(ixr_prepare("rs", sql.c_str()), 0) << ixr_sqlca()->sqlerrm;
    const int32_t st = ixr_name_id("rs", IXR_ID_STATEMENT);
    IxrSqlda* d = nullptr;
    EXPECT_GE(ixr_describe(st, &d), 0);
    const int n = d != nullptr ? d->sqld : 0;
    ixr_free_sqlda(d);
    const int32_t cu = ixr_name_id("rc", IXR_ID_NEW_CURSOR);
    EXPECT_EQ(ixr_declare(cu, "rc", st), 0);
    EXPECT_EQ(ixr_open(cu, nullptr), 0);
    std::vector<IxrSqlVar> vars(static_cast<size_t>(n));
    std::vector<int16_t> ind(static_cast<size_t>(n));
    std::vector<std::vector<char>> buf(static_cast<size_t>(n), std::vector<char>(200));
    IxrSqlda out{};
    out.sqld = static_cast<int16_t>(n);
    out.sqlvar = vars.data();
    for (size_t k = 0; k < vars.size(); ++k) {
      vars[k].sqltype = IXR_HOST_STRING;
      vars[k].sqllen = 200;
      vars[k].sqldata = buf[k].data();
      vars[k].sqlind = &ind[k];
    }
    while (ixr_fetch(cu, &out) == 0) {
      std::vector<std::string> row;
      for (size_t k = 0; k < vars.size(); ++k) row.push_back(ind[k] == -1 ? "NULL" : buf[k].data());
      rows.push_back(row);
    }
    ixr_close(cu);
    ixr_free("rc");
    ixr_free("rs");
    EXPECT_EQ(ixr_disconnect("reader"), 0);
    return rows;
  }

  void Prepare() {
    const std::string sql = "INSERT INTO " + table_ + " (id, name, amount, born, seen, big, raw) "
                            "VALUES (?, ?, ?, ?, ?, ?, ?)";
    ASSERT_EQ(SQLPrepare(stmt_, (SQLCHAR*)sql.c_str(), SQL_NTS), SQL_SUCCESS) << Message(SQL_HANDLE_STMT, stmt_);
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
  SQL_TIMESTAMP_STRUCT seen[kSets] = {{2024, 2, 9, 10, 11, 12, 0}, {}, {}, {1999, 12, 31, 23, 59, 58, 0}};
  SQLLEN seenInd[kSets] = {0, SQL_NULL_DATA, 0, 0};
  SQL_NUMERIC_STRUCT big[kSets] = {Numeric("12345678901234567890123", 3), Numeric("5", 0), {}, Numeric("29", 2)};
  SQLLEN bigInd[kSets] = {0, 0, 0, 0};
  char raw[kSets][9] = {"0A1B", "", "", "FFEE"};
  SQLLEN rawLen[kSets] = {SQL_NTS, SQL_NULL_DATA, SQL_NULL_DATA, SQL_NTS};
  SQLUSMALLINT ops[kSets] = {SQL_PARAM_PROCEED, SQL_PARAM_PROCEED, SQL_PARAM_IGNORE, SQL_PARAM_PROCEED};
  SQLUSMALLINT status[kSets] = {};
  SQLULEN processed = 0;
  ASSERT_EQ(SQLSetStmtAttr(stmt_, SQL_ATTR_PARAMSET_SIZE, (SQLPOINTER)kSets, 0), SQL_SUCCESS);
  ASSERT_EQ(SQLSetStmtAttr(stmt_, SQL_ATTR_PARAM_OPERATION_PTR, ops, 0), SQL_SUCCESS);
  ASSERT_EQ(SQLSetStmtAttr(stmt_, SQL_ATTR_PARAM_STATUS_PTR, status, 0), SQL_SUCCESS);
  ASSERT_EQ(SQLSetStmtAttr(stmt_, SQL_ATTR_PARAMS_PROCESSED_PTR, &processed, 0), SQL_SUCCESS);
  ASSERT_EQ(SQLBindParameter(stmt_, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, id, 0, nullptr), SQL_SUCCESS);
  SQLBindParameter(stmt_, 2, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 20, 0, name, 21, nameLen);
  SQLBindParameter(stmt_, 3, SQL_PARAM_INPUT, SQL_C_DOUBLE, SQL_DECIMAL, 10, 2, amount, 0, amountInd);
  SQLBindParameter(stmt_, 4, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_TYPE_DATE, 10, 0, born, 20, bornLen);
  SQLBindParameter(stmt_, 5, SQL_PARAM_INPUT, SQL_C_TYPE_TIMESTAMP, SQL_TYPE_TIMESTAMP, 19, 0, seen, 0, seenInd);
  SQLBindParameter(stmt_, 6, SQL_PARAM_INPUT, SQL_C_NUMERIC, SQL_DECIMAL, 32, 3, big, 0, bigInd);
  SQLBindParameter(stmt_, 7, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_LONGVARBINARY, 8, 0, raw, 9, rawLen);
  ASSERT_EQ(SQLExecute(stmt_), SQL_SUCCESS) << Message(SQL_HANDLE_STMT, stmt_);
  EXPECT_EQ(processed, 3u);
  const SQLUSMALLINT ok[kSets] = {SQL_PARAM_SUCCESS, SQL_PARAM_SUCCESS, SQL_PARAM_UNUSED, SQL_PARAM_SUCCESS};
  EXPECT_EQ(memcmp(status, ok, sizeof ok), 0);

  const Rows expected = {
      {"1", "anna", "12.50", "02/09/2024", "2024-02-09 10:11:12", "12345678901234567890.123", "\x0A\x1B"},
      {"2", "NULL", "NULL", "NULL", "NULL", "5.000", "NULL"},
      {"4", "bob", "-3.25", "12/31/1999", "1999-12-31 23:59:58", "0.290", "\xFF\xEE"},
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
  ASSERT_EQ(SQLSetStmtAttr(stmt_, SQL_ATTR_PARAM_BIND_TYPE, (SQLPOINTER)sizeof(Row), 0), SQL_SUCCESS);
  ASSERT_EQ(SQLSetStmtAttr(stmt_, SQL_ATTR_PARAM_STATUS_PTR, status, 0), SQL_SUCCESS);
  ASSERT_EQ(SQLSetStmtAttr(stmt_, SQL_ATTR_PARAMS_PROCESSED_PTR, &processed, 0), SQL_SUCCESS);
  SQLBindParameter(stmt_, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &rows[0].id, 0, &rows[0].idInd);
  SQLBindParameter(stmt_, 2, SQL_PARAM_INPUT, SQL_C_WCHAR, SQL_WVARCHAR, 20, 0, rows[0].name, 16, &rows[0].nameLen);
  SQLBindParameter(stmt_, 4, SQL_PARAM_INPUT, SQL_C_TYPE_DATE, SQL_TYPE_DATE, 10, 0, &rows[0].born, 0,
                   &rows[0].bornInd);
  for (SQLUSMALLINT p : {3, 5, 6, 7})
    SQLBindParameter(stmt_, p, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 1, 0, nullptr, 0, &rows[0].none);
  // The third set repeats the first id: the unique index refuses it.
  EXPECT_EQ(SQLExecute(stmt_), SQL_ERROR);
  EXPECT_EQ(processed, 3u);
  const SQLUSMALLINT expectedStatus[3] = {SQL_PARAM_SUCCESS, SQL_PARAM_SUCCESS, SQL_PARAM_ERROR};
  EXPECT_EQ(memcmp(status, expectedStatus, sizeof status), 0);
  const Rows expected = {
      {"10", "z\xC3\xA9", "NULL", "01/02/2001", "NULL", "NULL", "NULL"},
      {"11", "NULL", "NULL", "NULL", "NULL", "NULL", "NULL"},
  };
  EXPECT_EQ(Read(), expected);
}

INSTANTIATE_TEST_SUITE_P(Builds, DmParams, ::testing::Values(DmBuild{"w", "kes_w"}, DmBuild{"a", "kes_a"}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
