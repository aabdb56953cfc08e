// stmtrec_test.cpp -- a statement's binding stores: slot growth, lookups at
// their bounds and the types-sent mark.

#include <cstring>

#include "drv/errtab.h"
#include "odbc/stmt.h"
#include "odbc/stmtrec.h"
#include "stmt_fake.h"

namespace {

class StmtRecTest : public StmtTest {
 protected:
  void SetUp() override {
    StmtTest::SetUp();
    Open();
    s_ = StmtOf(stmt_);
  }
  SQLRETURN Bind(uint16_t n, int16_t scale = 0) {
    ParamBinding pb{};
    pb.pb_number = n;
    pb.pb_cType = SQL_C_LONG;
    pb.pb_sqlType = SQL_INTEGER;
    pb.pb_scale = scale;
    pb.pb_paramType = SQL_PARAM_INPUT;
    return StmtSetParamBinding(s_, &pb);
  }
  Stmt* s_ = nullptr;
};

TEST_F(StmtRecTest, ParameterSlotsGrowInSteps) {
  const struct {
    uint16_t number;
    SQLRETURN rc;
    uint16_t slots;
  } cases[] = {{1, SQL_SUCCESS, 10},      {10, SQL_SUCCESS, 10},   {11, SQL_SUCCESS, 20},
               {1020, SQL_SUCCESS, 1024}, {1025, SQL_ERROR, 1024}, {0, SQL_ERROR, 1024}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.number);
    EXPECT_EQ(Bind(c.number), c.rc);
    EXPECT_EQ(s_->st_numParamSlots, c.slots);
    if (c.rc == SQL_ERROR) {
      EXPECT_EQ(s_->errCode, ERR_PARAM_NUMBER);
    }
  }
  // Every slot up to the count is a parameter; the count itself included.
  EXPECT_NE(StmtFindParamBinding(1024, s_), nullptr);
  EXPECT_EQ(StmtFindParamBinding(1024, s_)->pb_number, 0);
  EXPECT_EQ(StmtFindParamBinding(1020, s_)->pb_number, 1020);
  EXPECT_EQ(StmtFindParamBinding(1025, s_), nullptr);
  EXPECT_EQ(StmtFindParamBinding(0, s_), nullptr);
}

TEST_F(StmtRecTest, TypesGoAgainOnlyWhenTheyChange) {
  ASSERT_EQ(Bind(1), SQL_SUCCESS);
  s_->st_flags |= STMT_F_TYPES_SENT;
  ASSERT_EQ(Bind(1), SQL_SUCCESS);
  EXPECT_NE(s_->st_flags & STMT_F_TYPES_SENT, 0);
  ASSERT_EQ(Bind(1, 2), SQL_SUCCESS);
  EXPECT_EQ(s_->st_flags & STMT_F_TYPES_SENT, 0);
}

TEST_F(StmtRecTest, RebindingAColumnKeepsOneBindingInPlace) {
  long a = 0, b = 0;
  ASSERT_EQ(SQLBindCol(stmt_, 3, SQL_C_LONG, &a, 0, nullptr), SQL_SUCCESS);
  ASSERT_EQ(SQLBindCol(stmt_, 1, SQL_C_LONG, &a, 0, nullptr), SQL_SUCCESS);
  ASSERT_EQ(SQLBindCol(stmt_, 3, SQL_C_CHAR, &b, 8, nullptr), SQL_SUCCESS);
  ASSERT_NE(s_->st_boundCols, nullptr);
  EXPECT_EQ(s_->st_boundCols->cb.cb_column, 3);
  EXPECT_EQ(s_->st_boundCols->cb.cb_data, &b);
  EXPECT_EQ(s_->st_boundCols->cb.cb_bufferLength, 8);
  EXPECT_EQ(StmtFindColBinding(1, s_)->cb_bufferLength, 4);
  ASSERT_EQ(SQLFreeStmt(stmt_, SQL_UNBIND), SQL_SUCCESS);
  EXPECT_EQ(s_->st_boundCols, nullptr);
}

}  // namespace
