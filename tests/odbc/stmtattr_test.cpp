// stmtattr_test.cpp -- statement options and attributes: what reaches the back
// end, what the statement stores when the back end changes a value, ODBC 2
// options against ODBC 3 attributes, pointer attributes cleared by NULL, and
// the descriptor attributes.

#include <cstring>
#include <string>

#include "odbc/stmt.h"
#include "stmt_fake.h"

namespace {

class StmtAttrTest : public StmtTest {
 protected:
  void SetUp() override {
    StmtTest::SetUp();
    Open(DRV_CAPBIT_MAX_LENGTH);
  }
  // Makes the back end put `inForce` in force when option is set.
  static void Adjusts(uint16_t option, int32_t inForce) {
    Fake().setAnswers[DRVP_STMT_OPTION + option] = 75;
    Fake().ints[DRVP_STMT_OPTION + option] = inForce;
  }
};

struct OptionCase {
  const char* name;
  uint16_t option;
  SQLULEN value;
  int32_t backEnd;  // 0 accepts, 75 puts `inForce` in force, another code refuses
  int32_t inForce;
  SQLRETURN rc;
  const char* state;
  SQLULEN readBack;
};

TEST_F(StmtAttrTest, OptionsAreSentAndTheValueInForceIsKept) {
  const OptionCase cases[] = {
      {"cursor type accepted", SQL_CURSOR_TYPE, SQL_CURSOR_STATIC, 0, 0, SQL_SUCCESS, nullptr,
       SQL_CURSOR_STATIC},
      {"cursor type lowered", SQL_CURSOR_TYPE, SQL_CURSOR_DYNAMIC, 75, SQL_CURSOR_STATIC,
       SQL_SUCCESS_WITH_INFO, "01S02", SQL_CURSOR_STATIC},
      {"cursor type refused", SQL_CURSOR_TYPE, SQL_CURSOR_DYNAMIC, 43, 0, SQL_ERROR, "HY092",
       SQL_CURSOR_FORWARD_ONLY},
      {"concurrency lowered", SQL_CONCURRENCY, SQL_CONCUR_VALUES, 75, SQL_CONCUR_LOCK,
       SQL_SUCCESS_WITH_INFO, "01S02", SQL_CONCUR_LOCK},
      {"keyset size", SQL_KEYSET_SIZE, 40, 0, 0, SQL_SUCCESS, nullptr, 40},
      {"rowset size lowered", SQL_ROWSET_SIZE, 500, 75, 100, SQL_SUCCESS_WITH_INFO, "01S02", 100},
      {"rowset size 0 is 1", SQL_ROWSET_SIZE, 0, 0, 0, SQL_SUCCESS, nullptr, 1},
      {"query timeout not capable", SQL_QUERY_TIMEOUT, 30, 43, 0, SQL_SUCCESS_WITH_INFO, "01S02",
       0},
      {"query timeout negative", SQL_QUERY_TIMEOUT, static_cast<SQLULEN>(-5), 0, 0, SQL_SUCCESS,
       nullptr, 0},
      {"max length raised to the least", SQL_MAX_LENGTH, 100, 0, 0, SQL_SUCCESS_WITH_INFO, "01S02",
       8192},
      {"max length 0", SQL_MAX_LENGTH, 0, 0, 0, SQL_SUCCESS, nullptr, 0},
      {"retrieve data changed is refused", SQL_RETRIEVE_DATA, 0, 75, 1, SQL_ERROR, "HY092",
       SQL_RD_ON},
      {"variable bookmarks read back as such", SQL_USE_BOOKMARKS, SQL_UB_VARIABLE, 0, 0,
       SQL_SUCCESS, nullptr, SQL_UB_VARIABLE},
      {"any other bookmark value is refused", SQL_USE_BOOKMARKS, 7, 0, 0, SQL_ERROR, "HY024",
       SQL_UB_OFF},
      {"fixed bookmarks", SQL_USE_BOOKMARKS, SQL_UB_ON, 0, 0, SQL_SUCCESS, nullptr, SQL_UB_ON},
      {"query timeout accepted", SQL_QUERY_TIMEOUT, 30, 0, 0, SQL_SUCCESS, nullptr, 30},
      {"bind type stored", SQL_BIND_TYPE, 24, 0, 0, SQL_SUCCESS, nullptr, 24},
      {"unknown option", 13, 0, 0, 0, SQL_ERROR, "HY092", 0},
  };
  for (const OptionCase& c : cases) {
    SCOPED_TRACE(c.name);
    Fake().setAnswers.clear();
    if (c.backEnd == 75) {
      Adjusts(c.option, c.inForce);
    } else if (c.backEnd != 0) {
      Fake().setAnswers[DRVP_STMT_OPTION + c.option] = c.backEnd;
    }
    SQLHSTMT s = NewStmt();
    EXPECT_EQ(SQLSetStmtOption(s, c.option, c.value), c.rc);
    if (c.state != nullptr) {
      EXPECT_EQ(State(SQL_HANDLE_STMT, s), c.state);
    }
    if (c.option == 13) continue;
    SQLULEN v = 0x5A5A5A5A5A5A5A5Aull;
    SQLSMALLINT wide =
        c.option == SQL_MAX_LENGTH || c.option == SQL_KEYSET_SIZE || c.option == SQL_ROWSET_SIZE;
    ASSERT_EQ(SQLGetStmtOption(s, c.option, &v), SQL_SUCCESS);
    EXPECT_EQ(wide ? v : (v & 0xFFFFFFFF), c.readBack);
  }
}

TEST_F(StmtAttrTest, RowsetSizeMidBlockIsKept) {
  Stmt* s = StmtOf(stmt_);
  s->state = STMT_STATE_PREPARED;
  s->st_block.rowCount = 10;
  s->st_blockRow = 4;
  EXPECT_EQ(SQLSetStmtOption(stmt_, SQL_ROWSET_SIZE, 5), SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(State(SQL_HANDLE_STMT, stmt_), "01S02");
  EXPECT_EQ(s->st_cursor.sc_rowsetSize, 1);
  s->state = STMT_STATE_ALLOCATED;
}

// The same setting through either interface reads the same through the other;
// every numeric attribute is written as the SQLULEN it is.
TEST_F(StmtAttrTest, OptionsAndAttributesAgree) {
  struct Case {
    const char* name;
    SQLINTEGER attr;
    SQLULEN value;
  } cases[] = {
      {"max rows", SQL_ATTR_MAX_ROWS, 0x100000005ull},
      {"max length", SQL_ATTR_MAX_LENGTH, 10000},
      {"keyset size", SQL_ATTR_KEYSET_SIZE, 12},
      {"row array size", SQL_ATTR_ROW_ARRAY_SIZE, 25},
      {"cursor type", SQL_ATTR_CURSOR_TYPE, SQL_CURSOR_KEYSET_DRIVEN},
      {"concurrency", SQL_ATTR_CONCURRENCY, SQL_CONCUR_ROWVER},
      {"noscan", SQL_ATTR_NOSCAN, SQL_NOSCAN_ON},
      {"row bind type", SQL_ATTR_ROW_BIND_TYPE, 48},
      {"retrieve data", SQL_ATTR_RETRIEVE_DATA, SQL_RD_OFF},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    // The back end reports what it was given.
    Fake().ints[DRVP_STMT_OPTION + static_cast<uint16_t>(c.attr)] = static_cast<int32_t>(c.value);
    for (bool viaAttr : {true, false}) {
      SQLHSTMT s = NewStmt();
      if (viaAttr) {
        ASSERT_EQ(SQLSetStmtAttr(s, c.attr, reinterpret_cast<SQLPOINTER>(c.value), 0), SQL_SUCCESS);
      } else {
        ASSERT_EQ(
            SQLSetStmtOption(s,
                             static_cast<SQLUSMALLINT>(
                                 c.attr == SQL_ATTR_ROW_ARRAY_SIZE ? SQL_ROWSET_SIZE : c.attr),
                             c.value),
            SQL_SUCCESS);
      }
      SQLULEN got;
      memset(&got, 0xFF, sizeof got);
      ASSERT_EQ(SQLGetStmtAttr(s, c.attr, &got, 0, nullptr), SQL_SUCCESS);
      const SQLULEN expect = c.attr == SQL_ATTR_MAX_ROWS ? 5 : c.value;
      EXPECT_EQ(got, expect);
    }
  }
}

TEST_F(StmtAttrTest, NullClearsPointerAttributes) {
  const SQLINTEGER attrs[] = {SQL_ATTR_ROWS_FETCHED_PTR,      SQL_ATTR_ROW_STATUS_PTR,
                              SQL_ATTR_PARAMS_PROCESSED_PTR,  SQL_ATTR_PARAM_STATUS_PTR,
                              SQL_ATTR_FETCH_BOOKMARK_PTR,    SQL_ATTR_ROW_BIND_OFFSET_PTR,
                              SQL_ATTR_PARAM_BIND_OFFSET_PTR, SQL_ATTR_ROW_OPERATION_PTR};
  for (SQLINTEGER attr : attrs) {
    SCOPED_TRACE(attr);
    SQLULEN target[4];
    ASSERT_EQ(SQLSetStmtAttr(stmt_, attr, target, SQL_IS_POINTER), SQL_SUCCESS);
    void* got = nullptr;
    ASSERT_EQ(SQLGetStmtAttr(stmt_, attr, &got, SQL_IS_POINTER, nullptr), SQL_SUCCESS);
    EXPECT_EQ(got, target);
    ASSERT_EQ(SQLSetStmtAttr(stmt_, attr, nullptr, SQL_IS_POINTER), SQL_SUCCESS);
    ASSERT_EQ(SQLGetStmtAttr(stmt_, attr, &got, SQL_IS_POINTER, nullptr), SQL_SUCCESS);
    EXPECT_EQ(got, nullptr);
  }
  SQLHDESC ird = DescAttr(stmt_, SQL_ATTR_IMP_ROW_DESC);
  void* p = reinterpret_cast<void*>(1);
  ASSERT_EQ(SQLGetDescField(ird, 0, SQL_DESC_ROWS_PROCESSED_PTR, &p, SQL_IS_POINTER, nullptr),
            SQL_SUCCESS);
  EXPECT_EQ(p, nullptr);
}

TEST_F(StmtAttrTest, DescriptorAttributes) {
  SQLHSTMT other = NewStmt();
  SQLHDESC othersArd = DescAttr(other, SQL_ATTR_APP_ROW_DESC);
  EXPECT_EQ(SQLSetStmtAttr(stmt_, SQL_ATTR_APP_ROW_DESC, othersArd, 0), SQL_ERROR);
  EXPECT_EQ(State(SQL_HANDLE_STMT, stmt_), "HY017");

  SQLHDBC second = Connected(env_);
  SQLHDESC foreign = nullptr;
  ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_DESC, second, &foreign), SQL_SUCCESS);
  EXPECT_EQ(SQLSetStmtAttr(stmt_, SQL_ATTR_APP_PARAM_DESC, foreign, 0), SQL_ERROR);
  EXPECT_EQ(State(SQL_HANDLE_STMT, stmt_), "HY024");
  EXPECT_EQ(SQLSetStmtAttr(stmt_, SQL_ATTR_APP_PARAM_DESC, (SQLPOINTER)0x77770001, 0), SQL_ERROR);
  EXPECT_EQ(State(SQL_HANDLE_STMT, stmt_), "HY024");

  SQLHDESC apd = nullptr;
  SQLINTEGER len = 0;
  ASSERT_EQ(SQLGetStmtAttr(stmt_, SQL_ATTR_APP_PARAM_DESC, &apd, 0, &len), SQL_SUCCESS);
  EXPECT_EQ(len, SQL_IS_POINTER);
  EXPECT_EQ(StmtOf(stmt_)->st_apd, DescOf(apd));
  EXPECT_EQ(SQLSetStmtAttr(stmt_, SQL_ATTR_IMP_ROW_DESC, nullptr, 0), SQL_ERROR);
  EXPECT_EQ(State(SQL_HANDLE_STMT, stmt_), "HY092");
}

TEST_F(StmtAttrTest, RowSizeBeyondDescriptorRangeRefused) {
  for (SQLINTEGER attr : {SQL_ATTR_ROW_BIND_TYPE, SQL_ATTR_PARAM_BIND_TYPE}) {
    SCOPED_TRACE(attr);
    ASSERT_EQ(SQLSetStmtAttr(stmt_, attr, (SQLPOINTER)24, 0), SQL_SUCCESS);
    EXPECT_EQ(SQLSetStmtAttr(stmt_, attr, (SQLPOINTER)0x100000008ull, 0), SQL_ERROR);
    EXPECT_EQ(State(SQL_HANDLE_STMT, stmt_), "HY024");
    SQLULEN v = 0;
    ASSERT_EQ(SQLGetStmtAttr(stmt_, attr, &v, 0, nullptr), SQL_SUCCESS);
    EXPECT_EQ(v, 24u);
  }
}

TEST_F(StmtAttrTest, ArraySizeZeroIsRefusedAndTheOldSizeKept) {
  const struct {
    SQLINTEGER attr;
    SQLULEN size;
  } cases[] = {{SQL_ATTR_ROW_ARRAY_SIZE, 3}, {SQL_ATTR_PARAMSET_SIZE, 1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.attr);
    ASSERT_EQ(SQLSetStmtAttr(stmt_, c.attr, (SQLPOINTER)c.size, 0), SQL_SUCCESS);
    EXPECT_EQ(SQLSetStmtAttr(stmt_, c.attr, (SQLPOINTER)0, 0), SQL_ERROR);
    EXPECT_EQ(State(SQL_HANDLE_STMT, stmt_), "HY024");
    SQLULEN v = 0;
    ASSERT_EQ(SQLGetStmtAttr(stmt_, c.attr, &v, 0, nullptr), SQL_SUCCESS);
    EXPECT_EQ(v, c.size);
  }
}

TEST_F(StmtAttrTest, CursorShapeAttributes) {
  ASSERT_EQ(SQLSetStmtAttr(stmt_, SQL_ATTR_CURSOR_SENSITIVITY, (SQLPOINTER)SQL_INSENSITIVE, 0),
            SQL_SUCCESS);
  SQLULEN v = ~SQLULEN{0};
  ASSERT_EQ(SQLGetStmtAttr(stmt_, SQL_ATTR_CURSOR_TYPE, &v, 0, nullptr), SQL_SUCCESS);
  EXPECT_EQ(v, SQL_CURSOR_STATIC);
  ASSERT_EQ(SQLGetStmtAttr(stmt_, SQL_ATTR_CONCURRENCY, &v, 0, nullptr), SQL_SUCCESS);
  EXPECT_EQ(v, SQL_CONCUR_READ_ONLY);
  v = ~SQLULEN{0};
  ASSERT_EQ(SQLGetStmtAttr(stmt_, SQL_ATTR_CURSOR_SCROLLABLE, &v, 0, nullptr), SQL_SUCCESS);
  EXPECT_EQ(v, SQL_SCROLLABLE);
  EXPECT_EQ(SQLSetStmtAttr(stmt_, SQL_ATTR_CURSOR_SENSITIVITY, (SQLPOINTER)5, 0), SQL_ERROR);
  EXPECT_EQ(State(SQL_HANDLE_STMT, stmt_), "HY024");

  EXPECT_EQ(SQLSetStmtAttr(stmt_, SQL_ATTR_ENABLE_AUTO_IPD, (SQLPOINTER)SQL_TRUE, 0),
            SQL_SUCCESS_WITH_INFO);
  v = ~SQLULEN{0};
  ASSERT_EQ(SQLGetStmtAttr(stmt_, SQL_ATTR_ENABLE_AUTO_IPD, &v, 0, nullptr), SQL_SUCCESS);
  EXPECT_EQ(v, 0u);
}

TEST_F(StmtAttrTest, BookmarkAndRowNumberNeedAResult) {
  SQLULEN v = 0;
  EXPECT_EQ(SQLGetStmtOption(stmt_, SQL_GET_BOOKMARK, &v), SQL_ERROR);
  EXPECT_EQ(State(SQL_HANDLE_STMT, stmt_), "24000");
  EXPECT_EQ(SQLGetStmtOption(stmt_, SQL_ROW_NUMBER, &v), SQL_ERROR);
  EXPECT_EQ(State(SQL_HANDLE_STMT, stmt_), "24000");
  ASSERT_EQ(SQLExecDirect(stmt_, (SQLCHAR*)"select 1 from t", SQL_NTS), SQL_SUCCESS);
  EXPECT_EQ(SQLGetStmtOption(stmt_, SQL_GET_BOOKMARK, &v), SQL_ERROR);
  EXPECT_EQ(State(SQL_HANDLE_STMT, stmt_), "HY011");
  StmtOf(stmt_)->st_rowNumber = 0x100000003ull;
  v = 0;
  EXPECT_EQ(SQLGetStmtOption(stmt_, SQL_ROW_NUMBER, &v), SQL_SUCCESS);
  EXPECT_EQ(v, 0x100000003ull);
}

// A connection's ODBC 2 statement option reaches its statements until one refuses.
TEST_F(StmtAttrTest, ConnectionDefaultReachesEveryStatement) {
  SQLHENV env2 = NewEnv(SQL_OV_ODBC2);
  SQLHDBC dbc = Connected(env2);
  SQLHSTMT a = nullptr, b = nullptr;
  ASSERT_EQ(SQLAllocStmt(dbc, &a), SQL_SUCCESS);
  ASSERT_EQ(SQLAllocStmt(dbc, &b), SQL_SUCCESS);
  ASSERT_EQ(SQLSetConnectOption(dbc, SQL_KEYSET_SIZE, 9), SQL_SUCCESS);
  for (SQLHSTMT s : {a, b}) {
    SQLULEN v = 0;
    ASSERT_EQ(SQLGetStmtOption(s, SQL_KEYSET_SIZE, &v), SQL_SUCCESS);
    EXPECT_EQ(v, 9u);
  }
}

}  // namespace
