// colmeta_test.cpp -- column metadata: SQLDescribeCol, SQLColAttribute and the
// IRD answer the same for every type; the back end's attribute overrides; the
// bookmark column; cuts and refusals.

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "drv/colattr.h"
#include "drv/dataset.h"
#include "stmt_fake.h"

namespace {

// A name of 45 characters: longer than the inline name of a description.
const std::string kAlias = "total_amount_of_every_order_line_in_this_year";

std::vector<FakeColumn> EveryType() {
  std::vector<FakeColumn> v = {
      {"c_char", SQL_CHAR, 10, 0, 10, DS_CHAR, 11},
      {"c_varchar", SQL_VARCHAR, 40, 0, 40, DS_VARCHAR2, 41},
      {"c_text", SQL_LONGVARCHAR, 2147483640, 0, 2147483640, DS_LONGCHAR, 0},
      {"c_nchar", SQL_WCHAR, 8, 0, 8, DS_WCHAR, 8},
      {"c_nvarchar", SQL_WVARCHAR, 20, 0, 20, DS_WSTRING, 21},
      {"c_ntext", SQL_WLONGVARCHAR, 2147483640, 0, 2147483640, DS_LONGWCHAR, 0},
      {"c_decimal", SQL_DECIMAL, 10, 2, 12, DS_DOUBLE, 8},
      {"c_numeric", SQL_NUMERIC, 16, 0, 18, DS_DOUBLE, 8},
      {"c_integer", SQL_INTEGER, 10, 0, 11, DS_INTEGER, 4, SQL_NO_NULLS},
      {"c_smallint", SQL_SMALLINT, 5, 0, 6, DS_SMALLINT, 2},
      {"c_bigint", SQL_BIGINT, 19, 0, 20, DS_CHAR, 21},
      {"c_real", SQL_REAL, 7, 0, 13, DS_REAL, 4},
      {"c_double", SQL_DOUBLE, 15, 0, 22, DS_DOUBLE, 8},
      {"c_float", SQL_FLOAT, 15, 0, 22, DS_DOUBLE, 8},
      {"c_date", SQL_DATE, 10, 0, 10, DS_DATE, 6},
      {"c_timestamp", SQL_TIMESTAMP, 25, 5, 25, DS_TIMESTAMP, 16},
      {"c_byte", SQL_LONGVARBINARY, 2147483640, 0, 2147483640, DS_LONGBINARY, 0},
      {"c_binary", SQL_BINARY, 16, 0, 32, DS_BINARY, 16},
      {"c_bit", SQL_BIT, 1, 0, 1, DS_BIT, 1},
  };
  FakeColumn alias{kAlias.substr(0, 40), SQL_DECIMAL, 16, 2, 18, DS_DOUBLE, 8};
  alias.fullName = kAlias;
  v.push_back(alias);
  for (FakeColumn& c : v) c.table = "orders";
  return v;
}

class ColMetaTest : public StmtTest {
 protected:
  SQLLEN Number(SQLUSMALLINT col, SQLUSMALLINT field) {
    SQLLEN v;
    memset(&v, 0xFF, sizeof v);
    EXPECT_EQ(SQLColAttribute(stmt_, col, field, nullptr, 0, nullptr, &v), SQL_SUCCESS)
        << State(SQL_HANDLE_STMT, stmt_);
    return v;
  }
  std::string Text(SQLUSMALLINT col, SQLUSMALLINT field) {
    char buf[128] = {};
    SQLSMALLINT len = 0;
    EXPECT_EQ(SQLColAttribute(stmt_, col, field, buf, sizeof buf, &len, nullptr), SQL_SUCCESS)
        << State(SQL_HANDLE_STMT, stmt_);
    EXPECT_EQ(len, static_cast<SQLSMALLINT>(strlen(buf)));
    return buf;
  }
  SQLLEN Ird(SQLUSMALLINT col, SQLSMALLINT field) {
    SQLHDESC ird = DescAttr(stmt_, SQL_ATTR_IMP_ROW_DESC);
    SQLLEN v = 0;
    SQLINTEGER len = 0;
    EXPECT_EQ(SQLGetDescField(ird, col, field, &v, sizeof v, &len), SQL_SUCCESS);
    if (len == 2) return static_cast<SQLSMALLINT>(v);
    if (len == 4) return static_cast<SQLINTEGER>(v);
    return v;
  }
  std::string IrdText(SQLUSMALLINT col, SQLSMALLINT field) {
    SQLHDESC ird = DescAttr(stmt_, SQL_ATTR_IMP_ROW_DESC);
    char buf[128] = {};
    EXPECT_EQ(SQLGetDescField(ird, col, field, buf, sizeof buf, nullptr), SQL_SUCCESS);
    return buf;
  }
};

bool is_char(int32_t t) {
  return t == SQL_CHAR || t == SQL_VARCHAR || t == SQL_LONGVARCHAR || t == SQL_WCHAR ||
         t == SQL_WVARCHAR || t == SQL_WLONGVARCHAR;
}
bool is_numeric(int32_t t) {
  return t == SQL_DECIMAL || t == SQL_NUMERIC || t == SQL_INTEGER || t == SQL_SMALLINT ||
         t == SQL_BIGINT || t == SQL_REAL || t == SQL_DOUBLE || t == SQL_FLOAT;
}

TEST_F(ColMetaTest, DescribeColColAttributeAndTheIrdAgreeForEveryType) {
  const std::vector<FakeColumn> every = EveryType();
  for (int version : {SQL_OV_ODBC3, SQL_OV_ODBC2}) {
    SCOPED_TRACE(version);
    Open(0, version);
    SFake().columns = every;
    ASSERT_EQ(SQLPrepare(stmt_, (SQLCHAR*)"select * from orders", SQL_NTS), SQL_SUCCESS);
    SQLSMALLINT count = 0;
    ASSERT_EQ(SQLNumResultCols(stmt_, &count), SQL_SUCCESS);
    ASSERT_EQ(count, static_cast<SQLSMALLINT>(every.size()));
    EXPECT_EQ(Number(5, SQL_DESC_COUNT), count);
    EXPECT_EQ(Ird(0, SQL_DESC_COUNT), count);
    for (SQLUSMALLINT col = 1; col <= count; ++col) {
      const FakeColumn& f = every[col - 1];
      SCOPED_TRACE(f.name);
      SQLCHAR name[64] = {};
      SQLSMALLINT nameLen = 0, type = 0, digits = 0, nullable = 0;
      SQLULEN size = 0;
      ASSERT_EQ(
          SQLDescribeCol(stmt_, col, name, sizeof name, &nameLen, &type, &size, &digits, &nullable),
          SQL_SUCCESS);
      const std::string expectName = f.fullName.empty() ? f.name : f.fullName;
      EXPECT_EQ(reinterpret_cast<char*>(name), expectName);
      EXPECT_EQ(nameLen, static_cast<SQLSMALLINT>(expectName.size()));
      EXPECT_EQ(Text(col, SQL_DESC_NAME), expectName);
      EXPECT_EQ(IrdText(col, SQL_DESC_NAME), expectName);
      EXPECT_EQ(Text(col, SQL_DESC_LABEL), expectName);
      EXPECT_EQ(Text(col, SQL_DESC_BASE_COLUMN_NAME), expectName);
      EXPECT_EQ(Text(col, SQL_DESC_TABLE_NAME), "orders");

      // Date and time types carry the numbers of the application's ODBC version.
      int32_t want = f.sqlType;
      if (version == SQL_OV_ODBC3 && (want == SQL_DATE || want == SQL_TIMESTAMP)) want += 82;
      EXPECT_EQ(type, want);
      EXPECT_EQ(Number(col, SQL_DESC_CONCISE_TYPE), want);
      EXPECT_EQ(Ird(col, SQL_DESC_CONCISE_TYPE), want);
      EXPECT_EQ(Number(col, SQL_DESC_TYPE), Ird(col, SQL_DESC_TYPE));

      EXPECT_EQ(nullable, static_cast<SQLSMALLINT>(f.flags & 0xF));
      EXPECT_EQ(Number(col, SQL_DESC_NULLABLE), nullable);
      EXPECT_EQ(Ird(col, SQL_DESC_NULLABLE), nullable);

      EXPECT_EQ(size, static_cast<SQLULEN>(f.precision));
      const bool sizedByLength =
          !is_numeric(f.sqlType) && f.sqlType != SQL_TIMESTAMP && f.sqlType != SQL_DATE;
      if (sizedByLength) {
        EXPECT_EQ(Number(col, SQL_DESC_LENGTH), static_cast<SQLLEN>(size));
        EXPECT_EQ(Ird(col, SQL_DESC_LENGTH), static_cast<SQLLEN>(size));
      }
      if (is_numeric(f.sqlType)) {
        EXPECT_EQ(Number(col, SQL_DESC_PRECISION), static_cast<SQLLEN>(size));
        EXPECT_EQ(Number(col, SQL_DESC_SCALE), digits);
        EXPECT_EQ(Ird(col, SQL_DESC_SCALE), digits);
      }
      if (f.sqlType == SQL_TIMESTAMP) {
        EXPECT_EQ(Number(col, SQL_DESC_PRECISION), digits);
      }
      EXPECT_EQ(Number(col, SQL_DESC_OCTET_LENGTH), Ird(col, SQL_DESC_OCTET_LENGTH));
      EXPECT_EQ(Number(col, SQL_DESC_DISPLAY_SIZE), Ird(col, SQL_DESC_DISPLAY_SIZE));
      EXPECT_EQ(Number(col, SQL_DESC_DISPLAY_SIZE), f.displaySize);

      const SQLLEN unsignedness = Number(col, SQL_DESC_UNSIGNED);
      EXPECT_EQ(unsignedness, Ird(col, SQL_DESC_UNSIGNED));
      EXPECT_EQ(unsignedness, is_numeric(f.sqlType) ? SQL_FALSE : SQL_TRUE);
      EXPECT_EQ(Number(col, SQL_DESC_CASE_SENSITIVE), Ird(col, SQL_DESC_CASE_SENSITIVE));
      EXPECT_EQ(Number(col, SQL_DESC_CASE_SENSITIVE), is_char(f.sqlType) ? SQL_TRUE : SQL_FALSE);
      EXPECT_EQ(Number(col, SQL_DESC_SEARCHABLE), Ird(col, SQL_DESC_SEARCHABLE));
      EXPECT_EQ(Number(col, SQL_DESC_UPDATABLE), Ird(col, SQL_DESC_UPDATABLE));
      EXPECT_EQ(Number(col, SQL_DESC_NUM_PREC_RADIX), Ird(col, SQL_DESC_NUM_PREC_RADIX));
      EXPECT_EQ(Number(col, SQL_DESC_FIXED_PREC_SCALE), Ird(col, SQL_DESC_FIXED_PREC_SCALE));
    }
  }
}

TEST_F(ColMetaTest, OctetAndColumnLengthsByType) {
  Open();
  SFake().columns = {{"w", SQL_WVARCHAR, 10, 0, 10, DS_WSTRING, 11},
                     {"d", SQL_DECIMAL, 10, 2, 12, DS_DOUBLE, 8},
                     {"t", SQL_DATE, 10, 0, 10, DS_DATE, 6},
                     {"b", SQL_BIGINT, 19, 0, 20, DS_CHAR, 21},
                     {"x", 1234, 4, 0, 4, DS_CHAR, 5}};
  ASSERT_EQ(SQLPrepare(stmt_, (SQLCHAR*)"select w, d, t, b, x from t", SQL_NTS), SQL_SUCCESS);
  const SQLLEN columnLength[] = {20, 12, 6, 20, SQL_NO_TOTAL};
  const SQLLEN octetLength[] = {20, 12, 6, 8, 0};
  for (SQLUSMALLINT col = 1; col <= 5; ++col) {
    SCOPED_TRACE(col);
    EXPECT_EQ(Number(col, SQL_COLUMN_LENGTH), columnLength[col - 1]);
    EXPECT_EQ(Number(col, SQL_DESC_OCTET_LENGTH), octetLength[col - 1]);
  }
}

// The back end's overrides belong to the result description: they survive the
// closing of the cursor as long as the statement stays prepared.
TEST_F(ColMetaTest, OverridesLiveAsLongAsTheirDescription) {
  Open(DRV_CAPBIT_COL_ATTRS);
  SFake().columns = {{"id", SQL_INTEGER, 10, 0, 11, DS_INTEGER, 4, 0x10 | SQL_NO_NULLS},
                     {"total", SQL_DECIMAL, 10, 2, 12, DS_DOUBLE, 8, 0x20 | SQL_NULLABLE}};
  ColAttr autoUnique{1, SQL_DESC_AUTO_UNIQUE_VALUE, 1, {}};
  autoUnique.value.intVal = 1;
  ColAttr key{1, COLATTR_KEY_COLUMN, 1, {}};
  key.value.intVal = 1;
  ColAttr expression{2, COLATTR_EXPRESSION, 1, {}};
  expression.value.intVal = 1;
  ColAttr typeName{0, SQL_DESC_TYPE_NAME, 0, {}};
  SFake().attrs = {autoUnique, key, expression, typeName};
  SFake().attrTexts = {"", "", "", "serial"};
  ASSERT_EQ(SQLPrepare(stmt_, (SQLCHAR*)"select id, total * 2 from orders", SQL_NTS), SQL_SUCCESS);
  ASSERT_EQ(SQLExecute(stmt_), SQL_SUCCESS);
  for (bool closed : {false, true}) {
    SCOPED_TRACE(closed ? "after the cursor was closed" : "with the result open");
    if (closed) {
      ASSERT_EQ(SQLFreeStmt(stmt_, SQL_CLOSE), SQL_SUCCESS);
    }
    EXPECT_EQ(Number(1, SQL_DESC_AUTO_UNIQUE_VALUE), 1);
    EXPECT_EQ(Number(2, SQL_DESC_AUTO_UNIQUE_VALUE), 0);
    EXPECT_EQ(Number(1, COLATTR_KEY_COLUMN), 1);
    EXPECT_EQ(Number(2, COLATTR_EXPRESSION), 1);
    EXPECT_EQ(Number(1, COLATTR_EXPRESSION), 0);
    EXPECT_EQ(Ird(2, COLATTR_EXPRESSION), 1);
    EXPECT_EQ(Number(1, SQL_DESC_UPDATABLE), SQL_ATTR_READONLY);
    EXPECT_EQ(Number(2, SQL_DESC_UPDATABLE), SQL_ATTR_WRITE);
    EXPECT_EQ(Text(1, SQL_DESC_BASE_COLUMN_NAME), "id");
    EXPECT_EQ(Text(2, SQL_DESC_BASE_COLUMN_NAME), "");
    EXPECT_EQ(Text(2, SQL_DESC_TYPE_NAME), "serial");
    EXPECT_EQ(Ird(1, SQL_DESC_AUTO_UNIQUE_VALUE), 1);
  }
  EXPECT_EQ(SFake().describeCalls, 1);
}

// Every column attribute and IRD field of a result, "column field: answer", each
// read as SQLColAttribute and SQLGetDescField hand it out.
std::vector<std::string> EveryAnswer(SQLHSTMT stmt, SQLHDESC ird, SQLSMALLINT columns,
                                     bool irdFirst = false) {
  const SQLUSMALLINT attrFields[] = {SQL_COLUMN_COUNT,
                                     SQL_COLUMN_NAME,
                                     SQL_COLUMN_LENGTH,
                                     SQL_COLUMN_PRECISION,
                                     SQL_COLUMN_SCALE,
                                     SQL_COLUMN_NULLABLE,
                                     SQL_DESC_CONCISE_TYPE,
                                     SQL_DESC_DISPLAY_SIZE,
                                     SQL_DESC_UNSIGNED,
                                     SQL_DESC_FIXED_PREC_SCALE,
                                     SQL_DESC_UPDATABLE,
                                     SQL_DESC_AUTO_UNIQUE_VALUE,
                                     SQL_DESC_CASE_SENSITIVE,
                                     SQL_DESC_SEARCHABLE,
                                     SQL_DESC_TYPE_NAME,
                                     SQL_DESC_TABLE_NAME,
                                     SQL_DESC_SCHEMA_NAME,
                                     SQL_DESC_CATALOG_NAME,
                                     SQL_DESC_LABEL,
                                     SQL_DESC_BASE_COLUMN_NAME,
                                     SQL_DESC_BASE_TABLE_NAME,
                                     SQL_DESC_LITERAL_PREFIX,
                                     SQL_DESC_LITERAL_SUFFIX,
                                     SQL_DESC_LOCAL_TYPE_NAME,
                                     SQL_DESC_NUM_PREC_RADIX,
                                     SQL_DESC_COUNT,
                                     SQL_DESC_TYPE,
                                     SQL_DESC_LENGTH,
                                     SQL_DESC_PRECISION,
                                     SQL_DESC_SCALE,
                                     SQL_DESC_NULLABLE,
                                     SQL_DESC_NAME,
                                     SQL_DESC_UNNAMED,
                                     SQL_DESC_OCTET_LENGTH,
                                     COLATTR_KEY_COLUMN,
                                     COLATTR_EXPRESSION};
  const SQLSMALLINT irdFields[] = {SQL_DESC_AUTO_UNIQUE_VALUE,
                                   SQL_DESC_BASE_COLUMN_NAME,
                                   SQL_DESC_BASE_TABLE_NAME,
                                   SQL_DESC_CASE_SENSITIVE,
                                   SQL_DESC_CATALOG_NAME,
                                   SQL_DESC_CONCISE_TYPE,
                                   SQL_DESC_DATETIME_INTERVAL_CODE,
                                   SQL_DESC_DATETIME_INTERVAL_PRECISION,
                                   SQL_DESC_DISPLAY_SIZE,
                                   SQL_DESC_FIXED_PREC_SCALE,
                                   SQL_DESC_LABEL,
                                   SQL_DESC_LENGTH,
                                   SQL_DESC_LITERAL_PREFIX,
                                   SQL_DESC_LITERAL_SUFFIX,
                                   SQL_DESC_LOCAL_TYPE_NAME,
                                   SQL_DESC_NAME,
                                   SQL_DESC_NULLABLE,
                                   SQL_DESC_NUM_PREC_RADIX,
                                   SQL_DESC_OCTET_LENGTH,
                                   SQL_DESC_PRECISION,
                                   SQL_DESC_ROWVER,
                                   SQL_DESC_SCALE,
                                   SQL_DESC_SCHEMA_NAME,
                                   SQL_DESC_SEARCHABLE,
                                   SQL_DESC_TABLE_NAME,
                                   SQL_DESC_TYPE,
                                   SQL_DESC_TYPE_NAME,
                                   SQL_DESC_UNNAMED,
                                   SQL_DESC_UNSIGNED,
                                   SQL_DESC_UPDATABLE,
                                   COLATTR_KEY_COLUMN,
                                   COLATTR_EXPRESSION};
  std::vector<std::string> attrs, fields;
  auto readAttrs = [&] {
    for (SQLUSMALLINT col = 1; col <= columns; ++col) {
      for (SQLUSMALLINT f : attrFields) {
        char text[128] = {};
        SQLSMALLINT len = -1;
        SQLLEN number = -1;
        const SQLRETURN rc = SQLColAttribute(stmt, col, f, text, sizeof text, &len, &number);
        attrs.push_back(std::to_string(col) + " attr " + std::to_string(f) + ": " +
                        std::to_string(rc) + " '" + text + "' " + std::to_string(len) + " " +
                        std::to_string(number));
      }
    }
  };
  auto readIrd = [&] {
    for (SQLUSMALLINT col = 1; col <= columns; ++col) {
      for (SQLSMALLINT f : irdFields) {
        unsigned char value[128] = {};
        SQLINTEGER len = -1;
        const SQLRETURN rc = SQLGetDescField(ird, col, f, value, sizeof value - 1, &len);
        std::string bytes;
        for (unsigned char b : value) bytes += std::to_string(b) + ",";
        fields.push_back(std::to_string(col) + " ird " + std::to_string(f) + ": " +
                         std::to_string(rc) + " " + std::to_string(len) + " " + bytes);
      }
    }
  };
  if (irdFirst) readIrd();
  readAttrs();
  if (!irdFirst) readIrd();
  std::vector<std::string>& first = irdFirst ? fields : attrs;
  std::vector<std::string>& second = irdFirst ? attrs : fields;
  first.insert(first.end(), second.begin(), second.end());
  return first;
}

// A forward-only result is described without the overrides and asks for them at
// their first use: whatever is read, it answers what a result described with them
// at once answers, read before the execution, after it and after a fetch.
TEST_F(ColMetaTest, OverridesAskedOnFirstUseAnswerAsOnesAskedWithTheDescription) {
  std::vector<std::string> eager[3];
  for (bool onDemand : {false, true}) {
    SCOPED_TRACE(onDemand ? "overrides on demand" : "overrides with the description");
    Open(DRV_CAPBIT_COL_ATTRS);
    // Only a back end that numbers its descriptions can be asked for the
    // overrides later.
    if (onDemand) Fake().ints[DRVP_DESCRIPTION] = 7;
    std::vector<FakeColumn> cols = EveryType();
    cols.resize(4);
    cols[1].schema = "informix";
    cols[2].catalog = "stores";
    SFake().columns = cols;
    ColAttr serial{1, SQL_DESC_AUTO_UNIQUE_VALUE, 1, {}};
    serial.value.intVal = 1;
    ColAttr key{1, COLATTR_KEY_COLUMN, 1, {}};
    key.value.intVal = 1;
    ColAttr expression{3, COLATTR_EXPRESSION, 1, {}};
    expression.value.intVal = 1;
    ColAttr readOnly{2, SQL_DESC_UPDATABLE, 1, {}};
    readOnly.value.intVal = SQL_ATTR_READONLY;
    ColAttr typeName{0, SQL_DESC_TYPE_NAME, 0, {}};
    ColAttr prefix{4, SQL_DESC_LITERAL_PREFIX, 0, {}};
    SFake().attrs = {serial, key, expression, readOnly, typeName, prefix};
    SFake().attrTexts = {"", "", "", "", "serial", "N'"};
    auto asked = [] {
      const std::vector<std::string> calls = Fake().Calls();
      return std::count(calls.begin(), calls.end(), "ColAttributes");
    };
    const auto askedBefore = asked();
    ASSERT_EQ(SQLPrepare(stmt_, (SQLCHAR*)"select * from orders", SQL_NTS), SQL_SUCCESS);
    SQLSMALLINT count = 0;
    ASSERT_EQ(SQLNumResultCols(stmt_, &count), SQL_SUCCESS);
    ASSERT_EQ(count, 4);
    EXPECT_EQ(asked() - askedBefore, onDemand ? 0 : 1);
    SQLHDESC ird = DescAttr(stmt_, SQL_ATTR_IMP_ROW_DESC);
    std::vector<std::string> got[3];
    got[0] = EveryAnswer(stmt_, ird, 4);
    ASSERT_EQ(SQLExecute(stmt_), SQL_SUCCESS);
    got[1] = EveryAnswer(stmt_, ird, 4);
    ASSERT_EQ(SQLFreeStmt(stmt_, SQL_CLOSE), SQL_SUCCESS);
    ASSERT_EQ(SQLExecute(stmt_), SQL_SUCCESS);
    // After a re-execution the IRD is read first.
    got[2] = EveryAnswer(stmt_, ird, 4, true);
    if (!onDemand) {
      for (int i = 0; i < 3; ++i) eager[i] = got[i];
      for (const char* answer :
           {"1 attr 11: 0 '' -1 1", "2 attr 14: 0 'serial' 6 -1", "4 attr 27: 0 'N'' 2 -1"})
        EXPECT_NE(std::find(got[1].begin(), got[1].end(), answer), got[1].end())
            << answer << " is the override's";
      continue;
    }
    for (int i = 0; i < 3; ++i) EXPECT_EQ(got[i], eager[i]) << i;
  }
}

TEST_F(ColMetaTest, TypeNameAndLiteralsComeFromTheTypeInformation) {
  Open();
  SFake().columns = {{"when", SQL_TIMESTAMP, 25, 5, 25, DS_TIMESTAMP, 16}};
  SFake().typeInfo[SQL_TIMESTAMP] = {"DATETIME YEAR TO FRACTION(5)", "93", "25", "'", "'"};
  ASSERT_EQ(SQLPrepare(stmt_, (SQLCHAR*)"select when from t", SQL_NTS), SQL_SUCCESS);
  EXPECT_EQ(Text(1, SQL_DESC_TYPE_NAME), "DATETIME YEAR TO FRACTION(5)");
  EXPECT_EQ(Text(1, SQL_DESC_LITERAL_PREFIX), "'");
  EXPECT_EQ(Text(1, SQL_DESC_LOCAL_TYPE_NAME), "");
  // The temporary statement of the type query leaves nothing behind.
  EXPECT_EQ(State(SQL_HANDLE_STMT, stmt_), "NO_DATA");
}

// A procedure's hidden parameter columns are not columns of the result.
TEST_F(ColMetaTest, CountLeavesHiddenParameterColumnsOut) {
  Open();
  SFake().columns = {{"a", SQL_INTEGER, 10, 0, 11, DS_INTEGER, 4},
                     {"*O1", SQL_INTEGER, 10, 0, 11, DS_INTEGER, 4},
                     {"*A", SQL_INTEGER, 10, 0, 11, DS_INTEGER, 4}};
  ASSERT_EQ(SQLPrepare(stmt_, (SQLCHAR*)"execute procedure p()", SQL_NTS), SQL_SUCCESS);
  SQLSMALLINT n = 0;
  ASSERT_EQ(SQLNumResultCols(stmt_, &n), SQL_SUCCESS);
  EXPECT_EQ(n, 2);
  EXPECT_EQ(Number(7, SQL_DESC_COUNT), 2);
  EXPECT_EQ(Number(7, SQL_COLUMN_COUNT), 2);
}

TEST_F(ColMetaTest, BookmarkColumn) {
  Open();
  SFake().columns = {{"a", SQL_INTEGER, 10, 0, 11, DS_INTEGER, 4}};
  ASSERT_EQ(SQLPrepare(stmt_, (SQLCHAR*)"select a from t", SQL_NTS), SQL_SUCCESS);
  SQLCHAR name[16];
  SQLSMALLINT type = 0, digits = 9, nullable = 9;
  SQLULEN size = 0;
  EXPECT_EQ(SQLDescribeCol(stmt_, 0, name, sizeof name, nullptr, &type, &size, &digits, &nullable),
            SQL_ERROR);
  EXPECT_EQ(State(SQL_HANDLE_STMT, stmt_), "07009");
  ASSERT_EQ(SQLSetStmtAttr(stmt_, SQL_ATTR_USE_BOOKMARKS, (SQLPOINTER)SQL_UB_ON, 0), SQL_SUCCESS);
  const int describes = SFake().describeCalls;
  ASSERT_EQ(SQLDescribeCol(stmt_, 0, name, sizeof name, nullptr, &type, &size, &digits, &nullable),
            SQL_SUCCESS);
  EXPECT_STREQ(reinterpret_cast<char*>(name), "BOOKMARK");
  EXPECT_EQ(type, SQL_CHAR);
  EXPECT_EQ(size, 8u);
  EXPECT_EQ(digits, 0);
  EXPECT_EQ(nullable, SQL_NO_NULLS);
  EXPECT_EQ(Number(0, SQL_DESC_OCTET_LENGTH), 8);
  EXPECT_EQ(Text(0, SQL_DESC_TABLE_NAME), "");
  EXPECT_EQ(SFake().describeCalls, describes);
  SQLLEN v = 0;
  EXPECT_EQ(SQLColAttribute(stmt_, 0, SQL_COLUMN_LENGTH, nullptr, 0, nullptr, &v), SQL_ERROR);
  EXPECT_EQ(State(SQL_HANDLE_STMT, stmt_), "HY091");
}

TEST_F(ColMetaTest, CutsAndRefusals) {
  Open();
  SFake().columns = {{"abcdefghij", SQL_VARCHAR, 10, 0, 10, DS_VARCHAR2, 11},
                     {"twelve_chars", SQL_VARCHAR, 10, 0, 10, DS_VARCHAR2, 11}};
  SQLSMALLINT len = 0;
  SQLCHAR name[4];
  EXPECT_EQ(SQLDescribeCol(stmt_, 1, name, sizeof name, &len, nullptr, nullptr, nullptr, nullptr),
            SQL_ERROR);
  EXPECT_EQ(State(SQL_HANDLE_STMT, stmt_), "HY010");
  ASSERT_EQ(SQLPrepare(stmt_, (SQLCHAR*)"select * from t", SQL_NTS), SQL_SUCCESS);

  EXPECT_EQ(SQLDescribeCol(stmt_, 1, name, sizeof name, &len, nullptr, nullptr, nullptr, nullptr),
            SQL_SUCCESS_WITH_INFO);
  EXPECT_STREQ(reinterpret_cast<char*>(name), "abc");
  EXPECT_EQ(len, 10);
  EXPECT_EQ(State(SQL_HANDLE_STMT, stmt_), "01004");
  EXPECT_EQ(SQLColAttribute(stmt_, 1, SQL_DESC_NAME, name, sizeof name, &len, nullptr),
            SQL_SUCCESS_WITH_INFO);
  EXPECT_STREQ(reinterpret_cast<char*>(name), "abc");
  EXPECT_EQ(len, 10);

  SQLWCHAR wide[10];
  EXPECT_EQ(SQLDescribeColW(stmt_, 2, wide, 10, &len, nullptr, nullptr, nullptr, nullptr),
            SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(len, 12);
  EXPECT_EQ(wide[8], 'h');
  EXPECT_EQ(wide[9], 0);
  // SQLColAttributeW counts in bytes.
  EXPECT_EQ(SQLColAttributeW(stmt_, 2, SQL_DESC_NAME, wide, 8 * sizeof(SQLWCHAR), &len, nullptr),
            SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(len, 24);
  EXPECT_EQ(wide[6], '_');
  EXPECT_EQ(wide[7], 0);

  EXPECT_EQ(SQLDescribeCol(stmt_, 1, name, -1, &len, nullptr, nullptr, nullptr, nullptr),
            SQL_ERROR);
  EXPECT_EQ(State(SQL_HANDLE_STMT, stmt_), "HY090");
  EXPECT_EQ(SQLColAttribute(stmt_, 1, SQL_DESC_NAME, name, -2, &len, nullptr), SQL_ERROR);
  EXPECT_EQ(State(SQL_HANDLE_STMT, stmt_), "HY090");
  EXPECT_EQ(SQLDescribeCol(stmt_, 3, name, sizeof name, &len, nullptr, nullptr, nullptr, nullptr),
            SQL_ERROR);
  EXPECT_EQ(State(SQL_HANDLE_STMT, stmt_), "07009");
  SQLLEN v = 0;
  EXPECT_EQ(SQLColAttribute(stmt_, 1, SQL_DESC_OCTET_LENGTH_PTR, nullptr, 0, nullptr, &v),
            SQL_ERROR);
  EXPECT_EQ(State(SQL_HANDLE_STMT, stmt_), "HY091");
  EXPECT_EQ(SQLColAttribute(stmt_, 1, SQL_DESC_TYPE, nullptr, 0, nullptr, nullptr), SQL_SUCCESS);
}

}  // namespace
