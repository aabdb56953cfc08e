// inf_info_test.cpp -- the agent's answers to information requests and its
// options, over the embedded runtime.

#include <gtest/gtest.h>

#include <cstring>

#include "agent_support.h"
#include "drv/errtab.h"
#include "drv_inf/inf_ops.h"

namespace {

using Agent = AgentTest;

TEST_F(Agent, GetInfoAndOptions) {
  ConnectOptions.maxRows = 500;
  DrvHandle conn = connect("logged@ol_test");
  char text[16] = {};
  uint16_t len = 0;
  int32_t v = 0;
  EXPECT_EQ(INF_GetInfo(conn, DRVP_GETINFO_TEXT + SQL_DBMS_NAME, text, sizeof text, &len), 0);
  EXPECT_STREQ(text, "INFORMIX");
  EXPECT_EQ(INF_GetInfo(conn, DRVP_GETINFO_INT + SQL_DBMS_NAME, &v, 4, &len), 0);
  EXPECT_EQ(v, 0);
  EXPECT_EQ(len, 4);
  EXPECT_EQ(INF_GetInfo(conn, DRVP_GETINFO_TEXT + SQL_PROCEDURE_TERM, text, 5, &len), 0);
  EXPECT_STREQ(text, "Stor");
  EXPECT_EQ(INF_GetInfo(conn, DRVP_GETINFO_INT + SQL_IDENTIFIER_CASE, &v, 4, nullptr), 0);
  EXPECT_EQ(v, 2);  // SQL_IC_LOWER
  EXPECT_EQ(INF_GetInfo(conn, DRVP_GETINFO_INT + SQL_NULL_COLLATION, &v, 4, nullptr), 0);
  EXPECT_EQ(v, 1);  // SQL_NC_LOW
  EXPECT_EQ(INF_GetInfo(conn, DRVP_GETINFO_INT + SQL_DM_VER, &v, 4, nullptr), ERR_NOT_SUPPORTED);
  EXPECT_EQ(INF_GetInfo(server_, DRVP_AGENT_ID, text, sizeof text, nullptr), 0);
  EXPECT_STREQ(text, "informix11");

  DrvHandle cur = 0;
  ASSERT_EQ(INF_AllocCursor(conn, &cur), 0);
  EXPECT_EQ(INF_GetInfo(cur, DRVP_CAPABILITIES, &v, 4, nullptr), ERR_ARGUMENT);
  struct Opt {
    DriverPropId id;
    int32_t value;
    int32_t rc;
    int32_t inForce;
  };
  const Opt before[] = {
      {DRVP_STMT_OPTION + SQL_KEYSET_SIZE, 6000, ERR_OPTION_CHANGED,
       0},  // keyset sizes need the capability asked
      {DRVP_STMT_OPTION + SQL_CURSOR_TYPE, 2, ERR_OPTION_CHANGED,
       1},  // dynamic becomes keyset-driven
      {DRVP_STMT_OPTION + SQL_ROWSET_SIZE, 150, ERR_OPTION_CHANGED, 100},
      {DRVP_STMT_OPTION + SQL_MAX_ROWS, 0, ERR_OPTION_CHANGED, 500},
      {DRVP_STMT_OPTION + SQL_CONCURRENCY, 2, ERR_OPTION_CHANGED, 4},
  };
  for (const Opt& o : before) {
    SCOPED_TRACE(o.id);
    int32_t value = o.value;
    EXPECT_EQ(INF_SetOption(cur, o.id, &value), o.rc);
    EXPECT_EQ(INF_GetInfo(cur, o.id, &v, 4, nullptr), 0);
    EXPECT_EQ(v, o.inForce);
  }
  ASSERT_EQ(INF_GetInfo(conn, DRVP_CAPABILITIES, &v, 4, nullptr), 0);
  EXPECT_EQ(v, DRV_CAPBIT_NEEDBIND | DRV_CAPBIT_MORE_RESULTS | DRV_CAPBIT_PARAM_OP |
                   DRV_CAPBIT_SCROLL_CURSORS | DRV_CAPBIT_DYNMIX_CURSORS | DRV_CAPBIT_V2DAE |
                   DRV_CAPBIT_EXECUTE2 | DRV_CAPBIT_AUTOCOMMIT | DRV_CAPBIT_COL_ATTRS |
                   DRV_CAPBIT_MAX_LENGTH | DRV_CAPBIT_DTC);
  int32_t six = 6000;
  EXPECT_EQ(INF_SetOption(cur, DRVP_STMT_OPTION + SQL_KEYSET_SIZE, &six), ERR_OPTION_CHANGED);
  EXPECT_EQ(INF_GetInfo(cur, DRVP_STMT_OPTION + SQL_KEYSET_SIZE, &v, 4, nullptr), 0);
  EXPECT_EQ(v, 5000);
  int32_t dyn = 2;
  EXPECT_EQ(INF_SetOption(cur, DRVP_STMT_OPTION + SQL_CURSOR_TYPE, &dyn), 0);

  OpTable table{};
  table.type = 2;
  EXPECT_EQ(INF_GetOpTable(conn, &table), ERR_NOT_CAPABLE);
  table.type = 1;
  EXPECT_EQ(INF_GetOpTable(conn, &table), 0);
  EXPECT_EQ(table.count, 8u);
  EXPECT_EQ(INF_GetOpTable(0xBBBB7777, &table), ERR_ARGUMENT);

  char native[64];
  int16_t full = 0;
  EXPECT_EQ(INF_NativeSql(conn, "select {fn ucase(b)} from t", native, 10, &full),
            ERR_STRING_TRUNC_WARNING);
  EXPECT_EQ(full, static_cast<int16_t>(std::strlen("select  upper(b) from t")));
  EXPECT_EQ(INF_NativeSql(conn, "select 1", native, sizeof native, &full), ERR_SYNTAX);
}

}  // namespace
