// dm_metadata_test.cpp -- column metadata of a real table with every Informix
// type, through the Driver Manager and each driver library: SQLDescribeCol,
// SQLColAttribute and the IRD answer the same for every column, a 45-character
// alias included.

#include <cstring>
#include <string>

#include "dm_fixture.h"

namespace {

const char* const kAlias = "total_amount_of_every_order_line_in_this_year";

class DmMetadata : public DmTest {
 public:
  static void SetUpTestSuite() {
    DmTest::SetUpTestSuite();
    MakeDatabase("kes_meta", "metadb");
  }

 protected:
  void SetUp() override {
    DmTest::SetUp();
    std::string in = std::string("DSN=") + GetParam().dsn + ";UID=u;PWD=p;DATABASE=metadb@kes_meta";
    ASSERT_TRUE(SQL_SUCCEEDED(SQLDriverConnect(dbc_, nullptr, (SQLCHAR*)in.c_str(), SQL_NTS,
                                               nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT)))
        << Message(SQL_HANDLE_DBC, dbc_);
    ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &stmt_), SQL_SUCCESS);
    // Each build makes the table once; a second run finds it there.
    (void)SQLExecDirect(stmt_,
                        (SQLCHAR*)"CREATE TABLE every_type (c_char CHAR(10), c_nchar NCHAR(8), "
                                  "c_varchar VARCHAR(40), c_nvarchar NVARCHAR(20), c_lvarchar LVARCHAR(100), "
                                  "c_smallint SMALLINT, c_integer INTEGER, c_serial SERIAL, c_float FLOAT, "
                                  "c_smallfloat SMALLFLOAT, c_decimal DECIMAL(10,2), c_money MONEY(8,2), "
                                  "c_date DATE, c_datetime DATETIME YEAR TO FRACTION(3), "
                                  "c_interval INTERVAL DAY TO SECOND, c_byte BYTE, c_text TEXT)",
                        SQL_NTS);
    ASSERT_EQ(SQLFreeStmt(stmt_, SQL_CLOSE), SQL_SUCCESS);
  }
  void TearDown() override {
    if (stmt_ != nullptr) SQLFreeHandle(SQL_HANDLE_STMT, stmt_);
    DmTest::TearDown();
  }
  SQLLEN Number(SQLUSMALLINT col, SQLUSMALLINT field) {
    SQLLEN v;
    memset(&v, 0xFF, sizeof v);
    EXPECT_TRUE(SQL_SUCCEEDED(SQLColAttribute(stmt_, col, field, nullptr, 0, nullptr, &v)))
        << field << " " << Message(SQL_HANDLE_STMT, stmt_);
    return v;
  }
  std::string Text(SQLUSMALLINT col, SQLUSMALLINT field) {
    char buf[256] = {};
    SQLSMALLINT len = 0;
    EXPECT_EQ(SQLColAttribute(stmt_, col, field, buf, sizeof buf, &len, nullptr), SQL_SUCCESS)
        << field << " " << Message(SQL_HANDLE_STMT, stmt_);
    return buf;
  }
  SQLLEN Ird(SQLHDESC ird, SQLUSMALLINT col, SQLSMALLINT field) {
    SQLLEN v = 0;
    SQLINTEGER len = 0;
    EXPECT_EQ(SQLGetDescField(ird, col, field, &v, sizeof v, &len), SQL_SUCCESS) << field;
    if (len == 2) return static_cast<SQLSMALLINT>(v);
    if (len == 4) return static_cast<SQLINTEGER>(v);
    return v;
  }
  SQLHSTMT stmt_ = nullptr;
};

bool is_char(SQLLEN t) {
  return t == SQL_CHAR || t == SQL_VARCHAR || t == SQL_LONGVARCHAR || t == SQL_WCHAR ||
         t == SQL_WVARCHAR || t == SQL_WLONGVARCHAR;
}
bool is_numeric(SQLLEN t) {
  return t == SQL_DECIMAL || t == SQL_NUMERIC || t == SQL_INTEGER || t == SQL_SMALLINT ||
         t == SQL_REAL || t == SQL_DOUBLE || t == SQL_FLOAT;
}

TEST_P(DmMetadata, DescribeColColAttributeAndTheIrdAgree) {
  const std::string query = std::string("SELECT *, c_integer AS ") + kAlias + " FROM every_type";
  ASSERT_EQ(SQLPrepare(stmt_, (SQLCHAR*)query.c_str(), SQL_NTS), SQL_SUCCESS)
      << Message(SQL_HANDLE_STMT, stmt_);
  SQLSMALLINT count = 0;
  ASSERT_EQ(SQLNumResultCols(stmt_, &count), SQL_SUCCESS) << Message(SQL_HANDLE_STMT, stmt_);
  ASSERT_EQ(count, 18);
  EXPECT_EQ(Number(1, SQL_DESC_COUNT), count);
  SQLHDESC ird = nullptr;
  ASSERT_EQ(SQLGetStmtAttr(stmt_, SQL_ATTR_IMP_ROW_DESC, &ird, SQL_IS_POINTER, nullptr),
            SQL_SUCCESS);
  EXPECT_EQ(Ird(ird, 0, SQL_DESC_COUNT), count);

  for (SQLUSMALLINT col = 1; col <= count; ++col) {
    SQLCHAR name[128] = {};
    SQLSMALLINT nameLen = 0, type = 0, digits = 0, nullable = 0;
    SQLULEN size = 0;
    ASSERT_EQ(
        SQLDescribeCol(stmt_, col, name, sizeof name, &nameLen, &type, &size, &digits, &nullable),
        SQL_SUCCESS)
        << Message(SQL_HANDLE_STMT, stmt_);
    const std::string n = reinterpret_cast<char*>(name);
    SCOPED_TRACE(n);
    EXPECT_EQ(nameLen, static_cast<SQLSMALLINT>(n.size()));
    EXPECT_EQ(Text(col, SQL_DESC_NAME), n);
    char irdName[128] = {};
    EXPECT_EQ(SQLGetDescField(ird, col, SQL_DESC_NAME, irdName, sizeof irdName, nullptr),
              SQL_SUCCESS);
    EXPECT_EQ(irdName, n);
    if (col == count) {
      EXPECT_EQ(n, kAlias);
    }

    EXPECT_TRUE(type != SQL_DATE && type != SQL_TIME && type != SQL_TIMESTAMP) << type;
    EXPECT_EQ(Number(col, SQL_DESC_CONCISE_TYPE), type);
    EXPECT_EQ(Ird(ird, col, SQL_DESC_CONCISE_TYPE), type);
    EXPECT_EQ(Number(col, SQL_DESC_TYPE), Ird(ird, col, SQL_DESC_TYPE));
    EXPECT_EQ(Number(col, SQL_DESC_NULLABLE), nullable);
    EXPECT_EQ(Ird(ird, col, SQL_DESC_NULLABLE), nullable);
    if (is_char(type) || type == SQL_BINARY || type == SQL_VARBINARY || type == SQL_LONGVARBINARY) {
      EXPECT_EQ(Number(col, SQL_DESC_LENGTH), static_cast<SQLLEN>(size));
      EXPECT_EQ(Ird(ird, col, SQL_DESC_LENGTH), static_cast<SQLLEN>(size));
    }
    if (is_numeric(type)) {
      EXPECT_EQ(Number(col, SQL_DESC_PRECISION), static_cast<SQLLEN>(size));
      EXPECT_EQ(Number(col, SQL_DESC_SCALE), digits);
      EXPECT_EQ(Ird(ird, col, SQL_DESC_SCALE), digits);
    }
    EXPECT_EQ(Number(col, SQL_DESC_OCTET_LENGTH), Ird(ird, col, SQL_DESC_OCTET_LENGTH));
    EXPECT_EQ(Number(col, SQL_DESC_DISPLAY_SIZE), Ird(ird, col, SQL_DESC_DISPLAY_SIZE));
    const SQLLEN unsignedness = Number(col, SQL_DESC_UNSIGNED);
    EXPECT_EQ(unsignedness, Ird(ird, col, SQL_DESC_UNSIGNED));
    if (is_numeric(type)) {
      EXPECT_EQ(unsignedness, SQL_FALSE);
    }
    if (is_char(type)) {
      EXPECT_EQ(unsignedness, SQL_TRUE);
    }
    EXPECT_EQ(Number(col, SQL_DESC_CASE_SENSITIVE), Ird(ird, col, SQL_DESC_CASE_SENSITIVE));
    EXPECT_EQ(Number(col, SQL_DESC_SEARCHABLE), Ird(ird, col, SQL_DESC_SEARCHABLE));
    EXPECT_EQ(Number(col, SQL_DESC_UPDATABLE), Ird(ird, col, SQL_DESC_UPDATABLE));
    EXPECT_EQ(Number(col, SQL_DESC_FIXED_PREC_SCALE), Ird(ird, col, SQL_DESC_FIXED_PREC_SCALE));
    EXPECT_EQ(Text(col, SQL_DESC_TYPE_NAME).empty(), false);
  }
}

// A numeric field ignores BufferLength, whatever the application passes there;
// a text field still refuses a negative one.
TEST_P(DmMetadata, NumericFieldsIgnoreTheBufferLength) {
  ASSERT_EQ(SQLPrepare(stmt_, (SQLCHAR*)"SELECT c_varchar, c_float FROM every_type", SQL_NTS),
            SQL_SUCCESS)
      << Message(SQL_HANDLE_STMT, stmt_);
  for (SQLSMALLINT bufLen : {SQL_IS_INTEGER, SQL_IS_SMALLINT, SQL_IS_UINTEGER, -1, 0, 4}) {
    for (SQLUSMALLINT field : {SQL_DESC_DISPLAY_SIZE, SQL_DESC_TYPE, SQL_DESC_LENGTH,
                               SQL_DESC_NULLABLE, SQL_COLUMN_PRECISION, SQL_DESC_COUNT}) {
      SCOPED_TRACE(std::to_string(field) + " buffer length " + std::to_string(bufLen));
      SQLLEN v = -7;
      EXPECT_EQ(SQLColAttribute(stmt_, 2, field, nullptr, bufLen, nullptr, &v), SQL_SUCCESS)
          << Message(SQL_HANDLE_STMT, stmt_);
      EXPECT_EQ(v, Number(2, field));
    }
  }
  char name[32];
  SQLSMALLINT len = 0;
  EXPECT_EQ(SQLColAttribute(stmt_, 1, SQL_DESC_NAME, name, -1, &len, nullptr), SQL_ERROR);
  EXPECT_EQ(State(SQL_HANDLE_STMT, stmt_), "HY090");
}

// A statement prepared once and executed many times is described once; the description
// still follows the table changing under it, a catalog result and a new statement.
TEST_P(DmMetadata, ADescriptionLastsWhileItsStatementAndTablesStay) {
  const std::string t = std::string("redesc_") + GetParam().name;
  auto run = [this](const std::string& sql) {
    EXPECT_TRUE(SQL_SUCCEEDED(SQLExecDirect(stmt_, (SQLCHAR*)sql.c_str(), SQL_NTS)))
        << sql << " " << Message(SQL_HANDLE_STMT, stmt_);
    SQLFreeStmt(stmt_, SQL_CLOSE);
  };
  (void)SQLExecDirect(stmt_, (SQLCHAR*)("DROP TABLE " + t).c_str(), SQL_NTS);
  SQLFreeStmt(stmt_, SQL_CLOSE);
  run("CREATE TABLE " + t + " (a INTEGER, b VARCHAR(10))");
  run("INSERT INTO " + t + " VALUES (1, 'one')");
  SQLHSTMT other = nullptr;
  ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &other), SQL_SUCCESS);
  // Executes the prepared statement, reads its one row and answers its column count.
  auto execute = [this](std::string* lastCell) {
    EXPECT_EQ(SQLExecute(stmt_), SQL_SUCCESS) << Message(SQL_HANDLE_STMT, stmt_);
    SQLSMALLINT n = 0;
    EXPECT_EQ(SQLNumResultCols(stmt_, &n), SQL_SUCCESS);
    EXPECT_EQ(SQLFetch(stmt_), SQL_SUCCESS) << Message(SQL_HANDLE_STMT, stmt_);
    char v[64] = {};
    SQLLEN ind = 0;
    EXPECT_EQ(SQLGetData(stmt_, static_cast<SQLUSMALLINT>(n), SQL_C_CHAR, v, sizeof v, &ind),
              SQL_SUCCESS)
        << Message(SQL_HANDLE_STMT, stmt_);
    *lastCell = ind == SQL_NULL_DATA ? "NULL" : v;
    SQLFreeStmt(stmt_, SQL_CLOSE);
    return n;
  };
  std::string last;
  std::string textType;
  ASSERT_EQ(SQLPrepare(stmt_, (SQLCHAR*)("SELECT * FROM " + t).c_str(), SQL_NTS), SQL_SUCCESS);
  for (int k = 0; k < 3; ++k) {
    SCOPED_TRACE(k);
    EXPECT_EQ(execute(&last), 2);
    EXPECT_EQ(last, "one");
    EXPECT_TRUE(is_char(Number(2, SQL_DESC_TYPE)));
    EXPECT_EQ(Number(2, SQL_DESC_LENGTH), 10);
    EXPECT_EQ(Text(1, SQL_DESC_TYPE_NAME), "INTEGER");
    textType = Text(2, SQL_DESC_TYPE_NAME);
  }
  // Another statement's change of the table is seen at the next execution.
  ASSERT_TRUE(SQL_SUCCEEDED(SQLExecDirect(
      other, (SQLCHAR*)("ALTER TABLE " + t + " ADD (c INTEGER DEFAULT 7)").c_str(), SQL_NTS)))
      << Message(SQL_HANDLE_STMT, other);
  SQLFreeStmt(other, SQL_CLOSE);
  EXPECT_EQ(execute(&last), 3);
  EXPECT_EQ(last, "7");
  EXPECT_EQ(Number(3, SQL_DESC_TYPE), SQL_INTEGER);
  EXPECT_EQ(Text(3, SQL_DESC_TYPE_NAME), "INTEGER");
  ASSERT_TRUE(SQL_SUCCEEDED(SQLExecDirect(
      other, (SQLCHAR*)("ALTER TABLE " + t + " MODIFY (b VARCHAR(30))").c_str(), SQL_NTS)))
      << Message(SQL_HANDLE_STMT, other);
  SQLFreeStmt(other, SQL_CLOSE);
  EXPECT_EQ(execute(&last), 3);
  EXPECT_EQ(Number(2, SQL_DESC_LENGTH), 30);
  SQLFreeHandle(SQL_HANDLE_STMT, other);
  // A catalog result on the same handle, then a statement of its own again.
  ASSERT_EQ(SQLTables(stmt_, nullptr, 0, nullptr, 0, (SQLCHAR*)t.c_str(), SQL_NTS, nullptr, 0),
            SQL_SUCCESS);
  SQLSMALLINT n = 0;
  EXPECT_EQ(SQLNumResultCols(stmt_, &n), SQL_SUCCESS);
  EXPECT_EQ(n, 5);
  SQLFreeStmt(stmt_, SQL_CLOSE);
  ASSERT_EQ(SQLPrepare(stmt_, (SQLCHAR*)("SELECT b, a FROM " + t).c_str(), SQL_NTS), SQL_SUCCESS);
  for (int k = 0; k < 2; ++k) {
    EXPECT_EQ(execute(&last), 2);
    EXPECT_EQ(last, "1");
    EXPECT_TRUE(is_char(Number(1, SQL_DESC_TYPE)));
    EXPECT_EQ(Text(1, SQL_DESC_TYPE_NAME), textType);
    EXPECT_EQ(Text(2, SQL_DESC_TYPE_NAME), "INTEGER");
  }
}

INSTANTIATE_TEST_SUITE_P(Builds, DmMetadata,
                         ::testing::Values(DmBuild{"w", "kes_w"}, DmBuild{"a", "kes_a"}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
