// getdata_block_e2e_test.cpp -- GetData on a row of a block, as applications
// that fetch blocks and read long columns with SQLGetData do it: a driver that
// answers SQL_GD_BLOCK must let SQLSetPos(SQL_POSITION) name each row of the
// block through the Driver Manager, which hides every function the driver does
// not claim.

#include <string>

#include "e2e_db.h"

namespace {

class DmGetDataBlock : public DbTest {};

TEST_P(DmGetDataBlock, EveryRowOfABlockIsReachedWhereTheDriverSaysSo) {
  ASSERT_TRUE(Recreate("gdb", "a integer, b varchar(10)"));
  for (int i = 1; i <= 3; ++i)
    ASSERT_TRUE(
        Exec("insert into gdb values (" + std::to_string(i) + ", 'r" + std::to_string(i) + "')"));

  SQLUINTEGER extensions = 0;
  ASSERT_EQ(SQLGetInfo(dbc_, SQL_GETDATA_EXTENSIONS, &extensions, sizeof extensions, nullptr),
            SQL_SUCCESS);
  SQLUSMALLINT setPos = SQL_FALSE;
  ASSERT_EQ(SQLGetFunctions(dbc_, SQL_API_SQLSETPOS, &setPos), SQL_SUCCESS);
  // Without SetPos the promise is not made: such applications then read the
  // bound block alone.
  if ((extensions & SQL_GD_BLOCK) == 0) return;
  ASSERT_EQ(setPos, SQL_TRUE) << "SQL_GD_BLOCK without SQLSetPos";

  SQLINTEGER a[3] = {};
  SQLLEN aInd[3] = {};
  ASSERT_EQ(SQLSetStmtAttr(stmt_, SQL_ATTR_ROW_ARRAY_SIZE, (SQLPOINTER)3, 0), SQL_SUCCESS);
  ASSERT_EQ(SQLBindCol(stmt_, 1, SQL_C_SLONG, a, 0, aInd), SQL_SUCCESS);
  ASSERT_EQ(SQLExecDirect(stmt_, (SQLCHAR*)"select a, b from gdb order by a", SQL_NTS), SQL_SUCCESS)
      << Diags(SQL_HANDLE_STMT, stmt_);
  ASSERT_EQ(SQLFetch(stmt_), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, stmt_);
  for (SQLSETPOSIROW row = 3; row >= 1; --row) {
    SCOPED_TRACE(row);
    ASSERT_EQ(SQLSetPos(stmt_, row, SQL_POSITION, SQL_LOCK_NO_CHANGE), SQL_SUCCESS)
        << Diags(SQL_HANDLE_STMT, stmt_);
    SQLCHAR b[16] = {};
    SQLLEN len = 0;
    ASSERT_EQ(SQLGetData(stmt_, 2, SQL_C_CHAR, b, sizeof b, &len), SQL_SUCCESS)
        << Diags(SQL_HANDLE_STMT, stmt_);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(b)), "r" + std::to_string(row));
    EXPECT_EQ(a[row - 1], static_cast<SQLINTEGER>(row));
  }
}

// Without SQL_GD_BOUND a bound column is not read again: SQLGetData on it is refused
// with 07009 on every cursor type (it used to answer SQL_NO_DATA and say nothing), while
// the unbound column after it still reads.
TEST_P(DmGetDataBlock, ABoundColumnIsRefusedWithoutGdBound) {
  ASSERT_TRUE(Recreate("gdbound", "a integer primary key, b varchar(10)"));
  ASSERT_TRUE(Exec("insert into gdbound values (1, 'one')"));
  SQLUINTEGER extensions = 0;
  ASSERT_EQ(SQLGetInfo(dbc_, SQL_GETDATA_EXTENSIONS, &extensions, sizeof extensions, nullptr),
            SQL_SUCCESS);
  ASSERT_EQ(extensions & SQL_GD_BOUND, 0u);
  for (const SQLULEN type : {SQL_CURSOR_FORWARD_ONLY, SQL_CURSOR_STATIC, SQL_CURSOR_KEYSET_DRIVEN,
                             SQL_CURSOR_DYNAMIC}) {
    SCOPED_TRACE(type);
    ASSERT_EQ(SQLFreeStmt(stmt_, SQL_CLOSE), SQL_SUCCESS);
    ASSERT_EQ(SQLSetStmtAttr(stmt_, SQL_ATTR_CURSOR_TYPE, (SQLPOINTER)type, 0), SQL_SUCCESS);
    SQLINTEGER a = 0;
    SQLLEN aInd = 0;
    ASSERT_EQ(SQLBindCol(stmt_, 1, SQL_C_SLONG, &a, 0, &aInd), SQL_SUCCESS);
    ASSERT_TRUE(SQL_SUCCEEDED(
        SQLExecDirect(stmt_, (SQLCHAR*)"select a, b from gdbound order by a", SQL_NTS)))
        << Diags(SQL_HANDLE_STMT, stmt_);
    ASSERT_EQ(SQLFetch(stmt_), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, stmt_);
    EXPECT_EQ(a, 1);
    SQLINTEGER again = -1;
    SQLLEN len = 0;
    EXPECT_EQ(SQLGetData(stmt_, 1, SQL_C_SLONG, &again, 0, &len), SQL_ERROR);
    EXPECT_EQ(State(SQL_HANDLE_STMT, stmt_), "07009");
    EXPECT_EQ(again, -1);
    SQLCHAR b[16] = {};
    ASSERT_EQ(SQLGetData(stmt_, 2, SQL_C_CHAR, b, sizeof b, &len), SQL_SUCCESS)
        << Diags(SQL_HANDLE_STMT, stmt_);
    EXPECT_STREQ(reinterpret_cast<char*>(b), "one");
    ASSERT_EQ(SQLBindCol(stmt_, 1, SQL_C_SLONG, nullptr, 0, nullptr), SQL_SUCCESS);
  }
}

KES_E2E_BUILDS(DmGetDataBlock);

}  // namespace
