// stmtbind_test.cpp -- SQLBindParameter and SQLSetParam as the statement's
// parameter bindings and its APD and IPD records show them: accepted and
// refused arguments, the C type SQL_C_DEFAULT stands for, the transfer sizes,
// and the descriptors that follow the bindings.

#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>

#include "odbc/binding.h"
#include "odbc/desc.h"
#include "odbc/stmt.h"
#include "stmt_fake.h"

namespace {

class BindParamTest : public StmtTest {
 protected:
  const ParamBinding& Binding(uint16_t n) { return StmtOf(stmt_)->st_params[n - 1]; }
  SQLLEN IpdField(SQLUSMALLINT rec, SQLSMALLINT field) {
    SQLLEN v = 0;
    EXPECT_EQ(SQLGetDescField(DescAttr(stmt_, SQL_ATTR_IMP_PARAM_DESC), rec, field, &v, sizeof v,
                              nullptr),
              SQL_SUCCESS);
    return v;
  }
};

TEST_F(BindParamTest, RefusedArguments) {
  Open();
  SQLINTEGER v = 1;
  SQLLEN ind = 0;
  const struct {
    const char* what;
    SQLUSMALLINT n;
    SQLSMALLINT paramType, cType, sqlType, scale;
    SQLPOINTER data;
    SQLLEN* ind;
    const char* state;
  } cases[] = {
      {"neither value nor indicator", 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, nullptr,
       nullptr, "HY009"},
      {"negative seconds scale", 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_TYPE_TIMESTAMP, -1, &v, &ind,
       "HY094"},
      {"C type without a size", 1, SQL_PARAM_INPUT, SQL_C_INTERVAL_DAY, SQL_INTEGER, 0, &v, &ind,
       "07006"},
      {"number 0", 0, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, &v, &ind, "07009"},
      {"number 1025", 1025, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, &v, &ind, "07009"},
      {"input/output type 77", 1, 77, SQL_C_LONG, SQL_INTEGER, 0, &v, &ind, "HY105"},
      {"C type 999", 1, SQL_PARAM_INPUT, 999, SQL_INTEGER, 0, &v, &ind, "HY003"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(SQLBindParameter(stmt_, c.n, c.paramType, c.cType, c.sqlType, 10, c.scale, c.data, 0,
                               c.ind),
              SQL_ERROR);
    EXPECT_EQ(State(SQL_HANDLE_STMT, stmt_), c.state);
  }
  EXPECT_EQ(StmtOf(stmt_)->st_numParamSlots, 0);

  // SQLSetParam knows no SQL_C_NUMERIC and no negative scale at all.
  EXPECT_EQ(SQLSetParam(stmt_, 1, SQL_C_NUMERIC, SQL_NUMERIC, 10, 2, &v, &ind), SQL_ERROR);
  EXPECT_EQ(State(SQL_HANDLE_STMT, stmt_), "07006");
  EXPECT_EQ(SQLSetParam(stmt_, 1, SQL_C_LONG, SQL_INTEGER, 10, -1, &v, &ind), SQL_ERROR);
  EXPECT_EQ(State(SQL_HANDLE_STMT, stmt_), "HY094");
  EXPECT_EQ(
      SQLBindParameter(stmt_, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 10, -1, &v, 0, &ind),
      SQL_SUCCESS);
  EXPECT_EQ(Binding(1).pb_scale, -1);
}

TEST_F(BindParamTest, BindColRefusesAnUnknownCTypeAndKeepsTheBinding) {
  Open();
  SQLINTEGER v = 0;
  SQLLEN ind = 0;
  ASSERT_EQ(SQLBindCol(stmt_, 1, SQL_C_LONG, &v, 0, &ind), SQL_SUCCESS);
  EXPECT_EQ(SQLBindCol(stmt_, 1, 999, &v, 4, &ind), SQL_ERROR);
  EXPECT_EQ(State(SQL_HANDLE_STMT, stmt_), "HY003");
  SQLHDESC ard = DescAttr(stmt_, SQL_ATTR_APP_ROW_DESC);
  SQLSMALLINT type = 0;
  ASSERT_EQ(SQLGetDescField(ard, 1, SQL_DESC_CONCISE_TYPE, &type, 0, nullptr), SQL_SUCCESS);
  EXPECT_EQ(type, SQL_C_LONG);
}

TEST_F(BindParamTest, DefaultCTypeAndTransferSizes) {
  const struct {
    int version;
    SQLSMALLINT cType, sqlType;
    int16_t resolved;
    int64_t size;
  } cases[] = {
      {SQL_OV_ODBC2, SQL_C_DEFAULT, SQL_WVARCHAR, SQL_C_CHAR, SQL_NTS},
      {SQL_OV_ODBC3, SQL_C_DEFAULT, SQL_WVARCHAR, SQL_C_WCHAR, SQL_NTS},
      {SQL_OV_ODBC2, SQL_C_DEFAULT, SQL_BIGINT, SQL_C_CHAR, SQL_NTS},
      {SQL_OV_ODBC3, SQL_C_DEFAULT, SQL_BIGINT, SQL_C_SBIGINT, 8},
      {SQL_OV_ODBC3, SQL_C_DEFAULT, SQL_TYPE_DATE, SQL_C_TYPE_DATE, 6},
      {SQL_OV_ODBC3, SQL_C_NUMERIC, SQL_NUMERIC, SQL_C_NUMERIC, 19},
      {SQL_OV_ODBC3, SQL_C_GUID, SQL_GUID, SQL_C_GUID, 16},
      {SQL_OV_ODBC3, SQL_C_BINARY, SQL_VARBINARY, SQL_C_BINARY, SQL_NTS},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.version) + " " + std::to_string(c.cType) + " " +
                 std::to_string(c.sqlType));
    Open(0, c.version);
    char buf[32] = {};
    SQLLEN ind = 0;
    ASSERT_EQ(SQLBindParameter(stmt_, 1, SQL_PARAM_INPUT, c.cType, c.sqlType, 10, 0, buf,
                               sizeof buf, &ind),
              SQL_SUCCESS);
    EXPECT_EQ(Binding(1).pb_cType, c.resolved);
    EXPECT_EQ(Binding(1).pb_transferSize, c.size);
  }
}

TEST_F(BindParamTest, DescriptorsFollowTheBindings) {
  Open();
  SQLINTEGER v = 0;
  SQLLEN len = 0;
  // An output parameter needs no buffers yet.
  ASSERT_EQ(SQLBindParameter(stmt_, 5, SQL_PARAM_OUTPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, nullptr, 0,
                             nullptr),
            SQL_SUCCESS);
  EXPECT_EQ(IpdField(0, SQL_DESC_COUNT), 5);
  SQLSMALLINT apdCount = 0;
  ASSERT_EQ(SQLGetDescField(DescAttr(stmt_, SQL_ATTR_APP_PARAM_DESC), 0, SQL_DESC_COUNT, &apdCount,
                            0, nullptr),
            SQL_SUCCESS);
  EXPECT_EQ(apdCount, 5);

  // A buffer length of -1 is the Driver Manager's SQLSetParam: an input parameter.
  ASSERT_EQ(SQLBindParameter(stmt_, 2, SQL_PARAM_INPUT_OUTPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &v,
                             -1, &len),
            SQL_SUCCESS);
  EXPECT_EQ(Binding(2).pb_paramType, SQL_PARAM_INPUT);

  ASSERT_EQ(
      SQLBindParameter(stmt_, 3, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_DECIMAL, 12, 4, &v, 4, &len),
      SQL_SUCCESS);
  EXPECT_EQ(IpdField(3, SQL_DESC_PRECISION), 12);
  EXPECT_EQ(IpdField(3, SQL_DESC_SCALE), 4);
  ASSERT_EQ(SQLBindParameter(stmt_, 4, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_TYPE_TIMESTAMP, 23, 3, &v,
                             4, &len),
            SQL_SUCCESS);
  EXPECT_EQ(IpdField(4, SQL_DESC_LENGTH), 23);
  EXPECT_EQ(IpdField(4, SQL_DESC_PRECISION), 3);

  // A failed call leaves the earlier binding in place.
  EXPECT_EQ(SQLBindParameter(stmt_, 3, SQL_PARAM_INPUT, SQL_C_INTERVAL_DAY, SQL_INTEGER, 0, 0, &v,
                             0, &len),
            SQL_ERROR);
  EXPECT_EQ(Binding(3).pb_sqlType, SQL_DECIMAL);
}

}  // namespace
