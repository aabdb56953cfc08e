// dae_e2e_test.cpp -- parameter values sent at execution through the Driver
// Manager, each driver library and the embedded server: a parameter array with
// two such parameters asked for row by row, pieces, NULL, empty and wide
// values, refused pieces, values of every shape, a cancel in the middle, and
// 10 MB TEXT and BYTE values sent in 4 KB pieces and read back byte for byte.

#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include "e2e_db.h"

namespace {

class Dae : public DbTest {
 protected:
  // The table of this build: both builds may run at once on one database.
  std::string Table(const char* stem) const { return std::string(stem) + "_" + GetParam().name; }

  SQLRETURN Put(const void* data, SQLLEN len) {
    return SQLPutData(stmt_, const_cast<void*>(data), len);
  }

  void AskForEachValueRowByRow(bool autocommit);

  // Every row of a query, each value as SQL_C_CHAR text ("NULL" for NULL).
  std::vector<std::vector<std::string>> Rows(const std::string& sql) {
    std::vector<std::vector<std::string>> rows;
    SQLHSTMT q = nullptr;
    EXPECT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &q), SQL_SUCCESS);
    EXPECT_EQ(SQLExecDirect(q, (SQLCHAR*)sql.c_str(), SQL_NTS), SQL_SUCCESS)
        << Diags(SQL_HANDLE_STMT, q);
    SQLSMALLINT cols = 0;
    SQLNumResultCols(q, &cols);
    while (SQLFetch(q) == SQL_SUCCESS) {
      std::vector<std::string> row;
      for (SQLUSMALLINT c = 1; c <= cols; ++c) {
        char buf[256] = {};
        SQLLEN len = 0;
        EXPECT_TRUE(SQL_SUCCEEDED(SQLGetData(q, c, SQL_C_CHAR, buf, sizeof buf, &len)))
            << Diags(SQL_HANDLE_STMT, q);
        row.push_back(len == SQL_NULL_DATA ? "NULL" : buf);
      }
      rows.push_back(row);
    }
    SQLFreeHandle(SQL_HANDLE_STMT, q);
    return rows;
  }

  // A long value read back whole with SQLGetData in pieces.
  std::string ReadLong(const std::string& sql, SQLSMALLINT cType) {
    SQLHSTMT q = nullptr;
    EXPECT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &q), SQL_SUCCESS);
    EXPECT_EQ(SQLExecDirect(q, (SQLCHAR*)sql.c_str(), SQL_NTS), SQL_SUCCESS)
        << Diags(SQL_HANDLE_STMT, q);
    EXPECT_EQ(SQLFetch(q), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, q);
    std::string out;
    std::vector<char> buf(1 << 20);
    for (;;) {
      SQLLEN len = 0;
      const SQLRETURN rc =
          SQLGetData(q, 1, cType, buf.data(), static_cast<SQLLEN>(buf.size()), &len);
      if (rc == SQL_NO_DATA) break;
      EXPECT_TRUE(SQL_SUCCEEDED(rc)) << Diags(SQL_HANDLE_STMT, q);
      if (!SQL_SUCCEEDED(rc) || len == SQL_NULL_DATA) break;
      // A cut piece fills the buffer less its terminator for text.
      const size_t room = buf.size() - (cType == SQL_C_CHAR ? 1 : 0);
      const size_t got =
          len == SQL_NO_TOTAL || static_cast<size_t>(len) > room ? room : static_cast<size_t>(len);
      out.append(buf.data(), got);
      if (rc == SQL_SUCCESS) break;
    }
    SQLFreeHandle(SQL_HANDLE_STMT, q);
    return out;
  }
};

// Three parameter sets, two parameters of each sent at execution: the values
// are asked for set by set and within a set in parameter order, each with its
// own token, and the processed count names the set.
// In autocommit and inside the application's transaction alike.
TEST_P(Dae, ArrayAsksForEachValueRowByRow) {
  for (bool autocommit : {true, false}) {
    SCOPED_TRACE(autocommit ? "autocommit" : "in a transaction");
    AskForEachValueRowByRow(autocommit);
    if (HasFatalFailure()) return;
  }
}

void Dae::AskForEachValueRowByRow(bool autocommit) {
  const std::string t = Table("dae_arr");
  ASSERT_TRUE(Recreate(t, "id INTEGER, tx TEXT, vc VARCHAR(40)"));
  ASSERT_EQ(SQLSetConnectAttr(dbc_, SQL_ATTR_AUTOCOMMIT,
                              (SQLPOINTER)(autocommit ? SQL_AUTOCOMMIT_ON : SQL_AUTOCOMMIT_OFF), 0),
            SQL_SUCCESS);
  SQLINTEGER ids[3] = {1, 2, 3};
  char txToken = 0;
  char vcToken = 0;
  SQLLEN lens[3] = {SQL_DATA_AT_EXEC, SQL_LEN_DATA_AT_EXEC(6), SQL_DATA_AT_EXEC};
  SQLULEN processed = 0;
  ASSERT_EQ(SQLSetStmtAttr(stmt_, SQL_ATTR_PARAMSET_SIZE, (SQLPOINTER)3, 0), SQL_SUCCESS);
  ASSERT_EQ(SQLSetStmtAttr(stmt_, SQL_ATTR_PARAMS_PROCESSED_PTR, &processed, 0), SQL_SUCCESS);
  ASSERT_EQ(
      SQLBindParameter(stmt_, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, ids, 0, nullptr),
      SQL_SUCCESS);
  ASSERT_EQ(SQLBindParameter(stmt_, 2, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_LONGVARCHAR, 1000, 0,
                             &txToken, 0, lens),
            SQL_SUCCESS);
  ASSERT_EQ(SQLBindParameter(stmt_, 3, SQL_PARAM_INPUT, SQL_C_WCHAR, SQL_WVARCHAR, 40, 0, &vcToken,
                             0, lens),
            SQL_SUCCESS);
  const std::string sql = "INSERT INTO " + t + " VALUES (?, ?, ?)";
  ASSERT_EQ(SQLExecDirect(stmt_, (SQLCHAR*)sql.c_str(), SQL_NTS), SQL_NEED_DATA)
      << Diags(SQL_HANDLE_STMT, stmt_);

  const char16_t accented[] = u"\u00e9t\u00e9 \u20ac";  // SQL_NTS counts its UTF-16 units
  const char16_t zed[] = u"z";
  struct Step {
    void* token;
    SQLULEN set;
    std::vector<std::pair<const void*, SQLLEN>> pieces;
  };
  const Step steps[] = {
      {&txToken, 1, {{"ab", 2}, {"cd", SQL_NTS}, {"ef", 2}}},
      {&vcToken, 1, {{accented, SQL_NTS}}},
      {&txToken, 2, {{nullptr, SQL_NULL_DATA}}},
      {&vcToken, 2, {{"", 0}}},  // an empty value
      {&txToken, 3, {{"", 0}}},
      {&vcToken, 3, {{zed, SQL_NTS}, {zed, 2}}},
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(s.set);
    void* token = nullptr;
    ASSERT_EQ(SQLParamData(stmt_, &token), SQL_NEED_DATA) << Diags(SQL_HANDLE_STMT, stmt_);
    EXPECT_EQ(token, s.token);
    EXPECT_EQ(processed, s.set);
    for (const auto& [data, len] : s.pieces)
      ASSERT_EQ(Put(data, len), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, stmt_);
  }
  ASSERT_EQ(SQLParamData(stmt_, nullptr), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, stmt_);
  EXPECT_EQ(processed, 3u);
  SQLLEN count = 0;
  ASSERT_EQ(SQLRowCount(stmt_, &count), SQL_SUCCESS);
  EXPECT_EQ(count, 3);
  // The Driver Manager itself refuses a further ParamData once nothing waits.
  EXPECT_EQ(SQLParamData(stmt_, nullptr), SQL_ERROR);
  EXPECT_EQ(State(SQL_HANDLE_STMT, stmt_), "HY010");

  const std::vector<std::vector<std::string>> want = {
      {"1", "abcdef", "\xC3\xA9t\xC3\xA9 \xE2\x82\xAC"},
      {"2", "NULL", ""},
      {"3", "", "zz"},
  };
  EXPECT_EQ(Rows("SELECT id, tx, vc FROM " + t + " ORDER BY id"), want);
  EXPECT_EQ(SQLEndTran(SQL_HANDLE_DBC, dbc_, SQL_COMMIT), SQL_SUCCESS);
  EXPECT_EQ(SQLSetConnectAttr(dbc_, SQL_ATTR_AUTOCOMMIT, (SQLPOINTER)SQL_AUTOCOMMIT_ON, 0),
            SQL_SUCCESS);
  EXPECT_EQ(SQLFreeStmt(stmt_, SQL_RESET_PARAMS), SQL_SUCCESS);
  EXPECT_EQ(SQLSetStmtAttr(stmt_, SQL_ATTR_PARAMSET_SIZE, (SQLPOINTER)1, 0), SQL_SUCCESS);
  EXPECT_EQ(SQLSetStmtAttr(stmt_, SQL_ATTR_PARAMS_PROCESSED_PTR, nullptr, 0), SQL_SUCCESS);
}

// A refused piece ends the dialogue: the Driver Manager returns the statement
// to its prepared state, and the next execution starts afresh.
TEST_P(Dae, RefusedPiecesEndTheDialogue) {
  const std::string t = Table("dae_ref");
  ASSERT_TRUE(Recreate(t, "n INTEGER, vc VARCHAR(10)"));
  SQLINTEGER nToken = 0;
  char vcToken = 0;
  SQLLEN len = SQL_DATA_AT_EXEC;
  ASSERT_EQ(
      SQLBindParameter(stmt_, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &nToken, 0, &len),
      SQL_SUCCESS);
  ASSERT_EQ(SQLBindParameter(stmt_, 2, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 10, 0, &vcToken, 0,
                             &len),
            SQL_SUCCESS);
  const std::string sql = "INSERT INTO " + t + " VALUES (?, ?)";
  ASSERT_EQ(SQLPrepare(stmt_, (SQLCHAR*)sql.c_str(), SQL_NTS), SQL_SUCCESS);
  const SQLINTEGER first = 41, second = 42;
  struct Case {
    const char* what;
    int refusedAt;  // the value whose piece is refused, 0 or 1
    const void* before;  // a piece of that value sent first: text, or NULL when len says so
    SQLLEN beforeLen;
    const void* data;
    SQLLEN len;
    const char* state;
  };
  const Case cases[] = {
      {"a second piece for an INTEGER", 0, nullptr, 0, &second, sizeof second, "HY019"},
      {"SQL_DEFAULT_PARAM", 1, "ab", 2, "x", SQL_DEFAULT_PARAM, "HYC00"},
      {"a negative length", 1, "ab", 2, "x", -7, "HY090"},
      {"text after a NULL piece", 1, nullptr, SQL_NULL_DATA, "x", 1, "HY020"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_EQ(SQLExecute(stmt_), SQL_NEED_DATA) << Diags(SQL_HANDLE_STMT, stmt_);
    ASSERT_EQ(SQLParamData(stmt_, nullptr), SQL_NEED_DATA);
    ASSERT_EQ(Put(&first, sizeof first), SQL_SUCCESS);
    if (c.refusedAt == 1) {
      ASSERT_EQ(SQLParamData(stmt_, nullptr), SQL_NEED_DATA);
      ASSERT_EQ(Put(c.before, c.beforeLen), SQL_SUCCESS);
    }
    EXPECT_EQ(Put(c.data, c.len), SQL_ERROR);
    EXPECT_EQ(State(SQL_HANDLE_STMT, stmt_), c.state);
    EXPECT_EQ(SQLParamData(stmt_, nullptr), SQL_ERROR);
    EXPECT_EQ(State(SQL_HANDLE_STMT, stmt_), "HY010");
  }
  EXPECT_TRUE(Rows("SELECT n, vc FROM " + t).empty());

  // A NULL piece after others is refused by the Driver Manager itself, which
  // goes on with the value as it was.
  ASSERT_EQ(SQLExecute(stmt_), SQL_NEED_DATA) << Diags(SQL_HANDLE_STMT, stmt_);
  ASSERT_EQ(SQLParamData(stmt_, nullptr), SQL_NEED_DATA);
  ASSERT_EQ(Put(&first, sizeof first), SQL_SUCCESS);
  ASSERT_EQ(SQLParamData(stmt_, nullptr), SQL_NEED_DATA);
  ASSERT_EQ(Put("ke", 2), SQL_SUCCESS);
  ASSERT_EQ(Put("pt", SQL_NTS), SQL_SUCCESS);
  EXPECT_EQ(Put(nullptr, SQL_NULL_DATA), SQL_ERROR);
  ASSERT_EQ(SQLParamData(stmt_, nullptr), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, stmt_);
  const std::vector<std::vector<std::string>> want = {{"41", "kept"}};
  EXPECT_EQ(Rows("SELECT n, vc FROM " + t), want);
}

// A cancel in the middle runs nothing; the statement executes afresh.
TEST_P(Dae, CancelInTheMiddleRunsNothing) {
  const std::string t = Table("dae_can");
  ASSERT_TRUE(Recreate(t, "vc VARCHAR(10)"));
  char token = 0;
  SQLLEN len = SQL_DATA_AT_EXEC;
  ASSERT_EQ(
      SQLBindParameter(stmt_, 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 10, 0, &token, 0, &len),
      SQL_SUCCESS);
  const std::string sql = "INSERT INTO " + t + " VALUES (?)";
  ASSERT_EQ(SQLPrepare(stmt_, (SQLCHAR*)sql.c_str(), SQL_NTS), SQL_SUCCESS);
  ASSERT_EQ(SQLExecute(stmt_), SQL_NEED_DATA);
  ASSERT_EQ(SQLParamData(stmt_, nullptr), SQL_NEED_DATA);
  ASSERT_EQ(Put("lost", SQL_NTS), SQL_SUCCESS);
  ASSERT_TRUE(SQL_SUCCEEDED(SQLCancel(stmt_))) << Diags(SQL_HANDLE_STMT, stmt_);
  EXPECT_TRUE(Rows("SELECT vc FROM " + t).empty());
  ASSERT_EQ(SQLExecute(stmt_), SQL_NEED_DATA) << Diags(SQL_HANDLE_STMT, stmt_);
  ASSERT_EQ(SQLParamData(stmt_, nullptr), SQL_NEED_DATA);
  ASSERT_EQ(Put("kept", SQL_NTS), SQL_SUCCESS);
  ASSERT_EQ(SQLParamData(stmt_, nullptr), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, stmt_);
  const std::vector<std::vector<std::string>> want = {{"kept"}};
  EXPECT_EQ(Rows("SELECT vc FROM " + t), want);
}

// Every value sent at execution reaches the server as the same value bound
// in place would: text stays text for the server to read (an escape is read
// as one), NUMERIC keeps its digits, GUID and BIGINT go as their text.
TEST_P(Dae, ValuesOfEveryShape) {
  const std::string t = Table("dae_shp");
  ASSERT_TRUE(
      Recreate(t,
               "ts DATETIME YEAR TO FRACTION(5), te DATETIME YEAR TO SECOND, d DATE, "
               "num DECIMAL(32,4), g CHAR(36), b8 DECIMAL(19,0), bv VARCHAR(10), raw BYTE"));
  SQL_NUMERIC_STRUCT num{};
  num.precision = 30;
  num.scale = 4;
  num.sign = 1;
  // 12345678901234567890.1234 at scale 4, little-endian
  const unsigned char mant[] = {0xF2, 0xAF, 0x96, 0x6C, 0xA0, 0x10, 0x1F, 0x9B, 0x24, 0x1A};
  std::memcpy(num.val, mant, sizeof mant);
  SQLGUID guid{0x01234567, 0x89AB, 0xCDEF, {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF}};
  SQLBIGINT big = -12;
  struct Param {
    SQLSMALLINT cType, sqlType;
    SQLULEN size;
    SQLSMALLINT scale;
    const void* value;
    SQLLEN len;
  };
  const Param params[] = {
      {SQL_C_CHAR, SQL_TYPE_TIMESTAMP, 25, 5, "2024-02-29 10:11:12.12345", SQL_NTS},
      {SQL_C_CHAR, SQL_TYPE_TIMESTAMP, 19, 0, "{ts '2024-02-28 01:02:03'}", SQL_NTS},
      {SQL_C_CHAR, SQL_TYPE_DATE, 10, 0, "{d '2023-12-31'}", SQL_NTS},
      {SQL_C_NUMERIC, SQL_DECIMAL, 30, 4, &num, 0},
      {SQL_C_GUID, SQL_GUID, 36, 0, &guid, 0},
      {SQL_C_SBIGINT, SQL_BIGINT, 19, 0, &big, 0},
      {SQL_C_SBIGINT, SQL_VARCHAR, 10, 0, &big, 0},
      {SQL_C_CHAR, SQL_LONGVARBINARY, 100, 0, "0aFF1", SQL_NTS},  // hex; the odd digit is no byte
  };
  SQLLEN len = SQL_DATA_AT_EXEC;
  char tokens[std::size(params)] = {};
  for (SQLUSMALLINT i = 0; i < std::size(params); ++i) {
    const Param& p = params[i];
    ASSERT_EQ(SQLBindParameter(stmt_, i + 1, SQL_PARAM_INPUT, p.cType, p.sqlType, p.size, p.scale,
                               &tokens[i], 0, &len),
              SQL_SUCCESS);
  }
  const std::string sql = "INSERT INTO " + t + " VALUES (?, ?, ?, ?, ?, ?, ?, ?)";
  ASSERT_EQ(SQLExecDirect(stmt_, (SQLCHAR*)sql.c_str(), SQL_NTS), SQL_NEED_DATA)
      << Diags(SQL_HANDLE_STMT, stmt_);
  for (const Param& p : params) {
    void* token = nullptr;
    ASSERT_EQ(SQLParamData(stmt_, &token), SQL_NEED_DATA) << Diags(SQL_HANDLE_STMT, stmt_);
    EXPECT_EQ(token, &tokens[&p - params]);
    ASSERT_EQ(Put(p.value, p.len), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, stmt_);
  }
  ASSERT_EQ(SQLParamData(stmt_, nullptr), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, stmt_);
  const std::vector<std::vector<std::string>> want = {{
      "2024-02-29 10:11:12.12345",
      "2024-02-28 01:02:03.00000",  // every DATETIME is described with five fraction digits
      "2023-12-31",
      "12345678901234567890.1234",
      "01234567-89AB-CDEF-0123-456789ABCDEF",
      "-12",
      "-12",
      "0AFF",
  }};
  EXPECT_EQ(Rows("SELECT ts, te, d, num, g, b8, bv, raw FROM " + t), want);
}

// 10 MB of TEXT and 10 MB of BYTE, each in 4 KB pieces, come back byte for byte.
TEST_P(Dae, TenMegabyteValuesInFourKilobytePieces) {
  const std::string t = Table("dae_big");
  ASSERT_TRUE(Recreate(t, "tx TEXT, raw BYTE"));
  constexpr size_t kSize = 10 << 20, kPiece = 4096;
  std::string text(kSize, '\0'), bytes(kSize, '\0');
  uint32_t x = 12345;
  for (size_t i = 0; i < kSize; ++i) {
    x = x * 1103515245u + 12345u;
    text[i] = static_cast<char>(' ' + (x >> 16) % 95);
    bytes[i] = static_cast<char>(x >> 24);
  }
  char txToken = 0, rawToken = 0;
  SQLLEN txLen = SQL_LEN_DATA_AT_EXEC(kSize), rawLen = SQL_LEN_DATA_AT_EXEC(kSize);
  ASSERT_EQ(SQLBindParameter(stmt_, 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_LONGVARCHAR, kSize, 0,
                             &txToken, 0, &txLen),
            SQL_SUCCESS);
  ASSERT_EQ(SQLBindParameter(stmt_, 2, SQL_PARAM_INPUT, SQL_C_BINARY, SQL_LONGVARBINARY, kSize, 0,
                             &rawToken, 0, &rawLen),
            SQL_SUCCESS);
  const std::string sql = "INSERT INTO " + t + " VALUES (?, ?)";
  ASSERT_EQ(SQLExecDirect(stmt_, (SQLCHAR*)sql.c_str(), SQL_NTS), SQL_NEED_DATA)
      << Diags(SQL_HANDLE_STMT, stmt_);
  for (const std::string* value : {&text, &bytes}) {
    ASSERT_EQ(SQLParamData(stmt_, nullptr), SQL_NEED_DATA) << Diags(SQL_HANDLE_STMT, stmt_);
    for (size_t at = 0; at < kSize; at += kPiece)
      ASSERT_EQ(Put(value->data() + at, kPiece), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, stmt_);
  }
  ASSERT_EQ(SQLParamData(stmt_, nullptr), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, stmt_);
  const std::string gotText = ReadLong("SELECT tx FROM " + t, SQL_C_CHAR);
  EXPECT_EQ(gotText.size(), kSize);
  EXPECT_TRUE(gotText == text);
  const std::string gotBytes = ReadLong("SELECT raw FROM " + t, SQL_C_BINARY);
  EXPECT_EQ(gotBytes.size(), kSize);
  EXPECT_TRUE(gotBytes == bytes);
}

// A date sent as an escape in two pieces is read as the same escape in one,
// as 8-bit and as UTF-16 text; the processed count of a parameter array that
// ran whole counts every set.
TEST_P(Dae, EscapesInPiecesAndArraysProcessedWhole) {
  const std::string t = Table("dae_esc");
  ASSERT_TRUE(Recreate(t, "id INTEGER, d DATE, w DATE"));
  SQLINTEGER ids[2] = {1, 2};
  char dToken = 0, wToken = 0;
  SQLLEN lens[2] = {SQL_DATA_AT_EXEC, SQL_DATA_AT_EXEC};
  SQLULEN processed = 0;
  ASSERT_EQ(SQLSetStmtAttr(stmt_, SQL_ATTR_PARAMSET_SIZE, (SQLPOINTER)2, 0), SQL_SUCCESS);
  ASSERT_EQ(SQLSetStmtAttr(stmt_, SQL_ATTR_PARAMS_PROCESSED_PTR, &processed, 0), SQL_SUCCESS);
  ASSERT_EQ(
      SQLBindParameter(stmt_, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, ids, 0, nullptr),
      SQL_SUCCESS);
  ASSERT_EQ(SQLBindParameter(stmt_, 2, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_TYPE_DATE, 10, 0, &dToken,
                             0, lens),
            SQL_SUCCESS);
  ASSERT_EQ(SQLBindParameter(stmt_, 3, SQL_PARAM_INPUT, SQL_C_WCHAR, SQL_TYPE_DATE, 10, 0, &wToken,
                             0, lens),
            SQL_SUCCESS);
  const std::string sql = "INSERT INTO " + t + " VALUES (?, ?, ?)";
  ASSERT_EQ(SQLExecDirect(stmt_, (SQLCHAR*)sql.c_str(), SQL_NTS), SQL_NEED_DATA)
      << Diags(SQL_HANDLE_STMT, stmt_);
  for (int set = 0; set < 2; ++set) {
    ASSERT_EQ(SQLParamData(stmt_, nullptr), SQL_NEED_DATA) << Diags(SQL_HANDLE_STMT, stmt_);
    ASSERT_EQ(Put("{d '2024-05-0", SQL_NTS), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, stmt_);
    ASSERT_EQ(Put(set == 0 ? "6'}" : "7'}", SQL_NTS), SQL_SUCCESS);
    ASSERT_EQ(SQLParamData(stmt_, nullptr), SQL_NEED_DATA) << Diags(SQL_HANDLE_STMT, stmt_);
    ASSERT_EQ(Put(u"{d '2025-0", SQL_NTS), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, stmt_);
    ASSERT_EQ(Put(u"1-3", 6), SQL_SUCCESS);
    ASSERT_EQ(Put(set == 0 ? u"0'}" : u"1'}", SQL_NTS), SQL_SUCCESS);
  }
  ASSERT_EQ(SQLParamData(stmt_, nullptr), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, stmt_);
  EXPECT_EQ(processed, 2u);
  const std::vector<std::vector<std::string>> want = {{"1", "2024-05-06", "2025-01-30"},
                                                      {"2", "2024-05-07", "2025-01-31"}};
  EXPECT_EQ(Rows("SELECT id, d, w FROM " + t + " ORDER BY id"), want);
  EXPECT_EQ(SQLSetStmtAttr(stmt_, SQL_ATTR_PARAMSET_SIZE, (SQLPOINTER)1, 0), SQL_SUCCESS);
  EXPECT_EQ(SQLSetStmtAttr(stmt_, SQL_ATTR_PARAMS_PROCESSED_PTR, nullptr, 0), SQL_SUCCESS);
}

// Every cursor type takes a parameter sent at execution, through SQLExecute
// and SQLExecDirect alike, and scrolls the rows it selects: PDO_ODBC sends
// every parameter of a scrollable statement so.
TEST_P(Dae, EveryCursorTypeTakesValuesAtExecution) {
  const std::string t = Table("dae_scr");
  ASSERT_TRUE(Recreate(t, "id INTEGER PRIMARY KEY, name VARCHAR(20)"));
  for (int i = 1; i <= 8; ++i)
    ASSERT_TRUE(Exec("INSERT INTO " + t + " VALUES (" + std::to_string(i) + ", 'n" +
                     std::to_string(i) + "')"));
  struct Kind {
    const char* what;
    SQLULEN type;
    SQLULEN keyset;
  };
  const Kind kinds[] = {{"static", SQL_CURSOR_STATIC, 0},
                        {"keyset-driven", SQL_CURSOR_KEYSET_DRIVEN, 0},
                        {"mixed", SQL_CURSOR_KEYSET_DRIVEN, 4},
                        {"dynamic", SQL_CURSOR_DYNAMIC, 0}};
  const std::string sql = "SELECT id, name FROM " + t + " WHERE id > ? AND name <> ? ORDER BY id";
  for (const Kind& k : kinds) {
    for (bool direct : {false, true}) {
      SCOPED_TRACE(std::string(k.what) + (direct ? " through SQLExecDirect" : " through SQLExecute"));
      SQLHSTMT s = nullptr;
      ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &s), SQL_SUCCESS);
      ASSERT_EQ(SQLSetStmtAttr(s, SQL_ATTR_CURSOR_TYPE, (SQLPOINTER)k.type, 0), SQL_SUCCESS);
      if (k.keyset > 0) {
        ASSERT_EQ(SQLSetStmtAttr(s, SQL_ATTR_KEYSET_SIZE, (SQLPOINTER)k.keyset, 0), SQL_SUCCESS);
      }
      SQLINTEGER idToken = 0;
      char nameToken = 0;
      SQLLEN len = SQL_DATA_AT_EXEC;
      ASSERT_EQ(SQLBindParameter(s, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &idToken, 0,
                                 &len),
                SQL_SUCCESS);
      ASSERT_EQ(SQLBindParameter(s, 2, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 20, 0, &nameToken,
                                 0, &len),
                SQL_SUCCESS);
      SQLRETURN rc = SQL_ERROR;
      if (direct) {
        rc = SQLExecDirect(s, (SQLCHAR*)sql.c_str(), SQL_NTS);
      } else {
        ASSERT_EQ(SQLPrepare(s, (SQLCHAR*)sql.c_str(), SQL_NTS), SQL_SUCCESS)
            << Diags(SQL_HANDLE_STMT, s);
        rc = SQLExecute(s);
      }
      ASSERT_EQ(rc, SQL_NEED_DATA) << Diags(SQL_HANDLE_STMT, s);
      void* token = nullptr;
      ASSERT_EQ(SQLParamData(s, &token), SQL_NEED_DATA) << Diags(SQL_HANDLE_STMT, s);
      EXPECT_EQ(token, &idToken);
      const SQLINTEGER five = 5;
      ASSERT_EQ(SQLPutData(s, (SQLPOINTER)&five, sizeof five), SQL_SUCCESS)
          << Diags(SQL_HANDLE_STMT, s);
      ASSERT_EQ(SQLParamData(s, &token), SQL_NEED_DATA) << Diags(SQL_HANDLE_STMT, s);
      EXPECT_EQ(token, &nameToken);
      ASSERT_EQ(SQLPutData(s, (SQLPOINTER) "n", 1), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, s);
      ASSERT_EQ(SQLPutData(s, (SQLPOINTER) "7", 1), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, s);
      ASSERT_EQ(SQLParamData(s, &token), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, s);
      SQLULEN type = 0;
      ASSERT_EQ(SQLGetStmtAttr(s, SQL_ATTR_CURSOR_TYPE, &type, 0, nullptr), SQL_SUCCESS);
      EXPECT_EQ(type, k.type);
      SQLINTEGER id = 0;
      ASSERT_EQ(SQLBindCol(s, 1, SQL_C_SLONG, &id, 0, nullptr), SQL_SUCCESS);
      std::vector<SQLINTEGER> ids;
      while ((rc = SQLFetchScroll(s, SQL_FETCH_NEXT, 0)) == SQL_SUCCESS) ids.push_back(id);
      EXPECT_EQ(rc, SQL_NO_DATA) << Diags(SQL_HANDLE_STMT, s);
      EXPECT_EQ(ids, (std::vector<SQLINTEGER>{6, 8}));
      ASSERT_EQ(SQLFetchScroll(s, SQL_FETCH_PRIOR, 0), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, s);
      EXPECT_EQ(id, 8);
      ASSERT_EQ(SQLFetchScroll(s, SQL_FETCH_PRIOR, 0), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, s);
      EXPECT_EQ(id, 6);
      SQLFreeHandle(SQL_HANDLE_STMT, s);
    }
  }
}

KES_E2E_BUILDS(Dae);

}  // namespace
