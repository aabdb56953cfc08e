// Tests of the cursor layer's table over a recording agent: the cursor's
// context from allocation to release, the rowset fetch of forward-only
// cursors, the lowering of scrollable cursor types and the layer's answers.

#include <gtest/gtest.h>
#include <sqlext.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "drv/dataset.h"
#include "drv/errtab.h"
#include "drv/rowstatus.h"
#include "drv/scs.h"
#include "drv_inf/inf_types.h"
#include "odbc/dispatch.h"
#include "scrs/scr_ops.h"

namespace {

// The agent below the layer: cursors in the agent's own handle table, and a
// result of `total` integer rows 1, 2, ... handed out at most `perCall` a time.
struct AgentFake {
  std::vector<std::string> calls;
  std::map<DriverPropId, int32_t> ints;
  std::map<DriverPropId, std::string> texts;
  int32_t total = 0;
  int32_t next = 1;
  int32_t perCall = 1000;
  int32_t lastOption = -1;
};
AgentFake a;

int32_t get_info(DrvHandle, DriverPropId id, void* buf, uint16_t bufLen, uint16_t* len) {
  a.calls.push_back("GetInfo " + std::to_string(id));
  if (auto t = a.texts.find(id); t != a.texts.end()) {
    const size_t n = std::min<size_t>(t->second.size(), bufLen - 1u);
    memcpy(buf, t->second.data(), n);
    static_cast<char*>(buf)[n] = '\0';
    *len = static_cast<uint16_t>(n);
    return 0;
  }
  auto i = a.ints.find(id);
  if (i == a.ints.end()) return ERR_NOT_SUPPORTED;
  memcpy(buf, &i->second, 4);
  *len = 4;
  return 0;
}

int32_t set_option(DrvHandle, DriverPropId id, const void* value) {
  a.calls.push_back("SetOption " + std::to_string(id));
  a.lastOption = *static_cast<const int32_t*>(value);
  return 0;
}

int32_t alloc_cursor(DrvHandle hConn, DrvHandle* hCursor) {
  auto* cur = new InfCursor;
  if (HandleAlloc(&INF_CursorHandles, hCursor, cur) != 0) {
    delete cur;
    return ERR_MEMORY;
  }
  SCS_Init(&cur->scs, *hCursor, hConn, nullptr, cur);
  cur->scs.sc_deferLong = 1;
  return 0;
}

int32_t end_cursor(DrvHandle h) {
  a.calls.push_back("EndCursor");
  delete static_cast<InfCursor*>(HandleLookup(&INF_CursorHandles, h));
  HandleFree(&INF_CursorHandles, h);
  return 0;
}

int32_t prepare(DrvHandle h, const char*) {
  static_cast<InfCursor*>(HandleLookup(&INF_CursorHandles, h))->flags |= CF_PREPARED;
  return 0;
}

int32_t execute(DrvHandle) {
  a.calls.push_back("Execute");
  return 0;
}

int32_t close_cursor(DrvHandle) { return 0; }

int32_t set_param_types(DrvHandle, uint16_t count, const ParamShadow*) {
  a.calls.push_back("SetParamTypes " + std::to_string(count));
  return 0;
}

int32_t fetch(DrvHandle, uint16_t rows, Dataset* ds) {
  a.calls.push_back("Fetch " + std::to_string(rows));
  DatasetFree(ds);
  int32_t n = std::min<int32_t>({rows, a.perCall, a.total - a.next + 1});
  if (n <= 0) return DatasetInit(ds, 0);
  EXPECT_EQ(DatasetInit(ds, 1), 0);
  ds->colCount = 1;
  ds->cols[0].type = DS_INTEGER;
  ds->cols[0].width = 4;
  EXPECT_EQ(DatasetSetRows(ds, n), 0);
  for (int32_t r = 0; r < n; ++r) {
    const int32_t v = a.next++;
    memcpy(ds->cols[0].data + 4 * r, &v, 4);
    ds->cols[0].ind[r] = 0;
  }
  ds->rowCount = n;
  return 0;
}

DriverOps AgentOps() {
  DriverOps ops{};
  ops.DRV_GetInfo = get_info;
  ops.DRV_SetOption = set_option;
  ops.DRV_AllocCursor = alloc_cursor;
  ops.DRV_EndCursor = end_cursor;
  ops.DRV_Prepare = prepare;
  ops.DRV_Execute = execute;
  ops.DRV_CloseCursor = close_cursor;
  ops.DRV_Fetch = fetch;
  ops.DRV_SetParamTypes = set_param_types;
  return ops;
}

const DriverOps kAgentOps = AgentOps();

// The layer's table, made once per process as the driver makes it.
const DriverOps& Layer() {
  static DriverRecord rec = [] {
    DriverRecord r{DRV_CAP_THREADSAFE, &kAgentOps};
    SCR_Interpose(&r);
    return r;
  }();
  return *rec.ops;
}

class CursorLayerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    a = AgentFake{};
    a.ints[DRVP_PARAM_OP] = 1;
    a.ints[DRVP_MAX_PARAMS] = 200;
    a.ints[DRVP_GETINFO_INT + SQL_SCROLL_OPTIONS] = 31;
    a.ints[DRVP_GETINFO_INT + SQL_TXN_CAPABLE] = 2;
    a.texts[DRVP_GETINFO_TEXT + SQL_USER_NAME] = "informix";
    a.texts[DRVP_GETINFO_TEXT + SQL_IDENTIFIER_QUOTE_CHAR] = " ";
    ASSERT_EQ(HandleTableInit(&INF_CursorHandles, HTAG_CURSOR), 0);
    ASSERT_EQ(HandleTableInit(&INF_ConnHandles, HTAG_CONN), 0);
    ASSERT_EQ(HandleAlloc(&INF_ConnHandles, &hConn_, &conn_), 0);
    ASSERT_EQ(Layer().DRV_AllocCursor(hConn_, &h_), 0);
    cur_ = static_cast<InfCursor*>(HandleLookup(&INF_CursorHandles, h_));
    ASSERT_NE(cur_, nullptr);
  }
  void TearDown() override {
    if (h_ != 0) {
      EXPECT_EQ(Layer().DRV_EndCursor(h_), 0);
    }
    HandleTableDestroy(&INF_CursorHandles);
    HandleTableDestroy(&INF_ConnHandles);
  }
  // One rowset: its rows (the values), or the code when it fails.
  int32_t Rowset(std::vector<int32_t>* values, std::vector<uint16_t>* statuses) {
    RowStatusTable* t = nullptr;
    int32_t rows = -1;
    int32_t count = 0;
    const int32_t rc = Layer().DRV_ExtendedFetch2(h_, &t, 0, &rows, &count, SQL_FETCH_NEXT);
    values->clear();
    statuses->clear();
    if (rc != 0) {
      EXPECT_EQ(t, nullptr);
      return rc;
    }
    EXPECT_EQ(rows, t->rows->rowCount);
    for (int32_t r = 0; r < t->rows->rowCount; ++r) {
      int32_t v = 0;
      memcpy(&v, t->rows->cols[0].data + 4 * r, 4);
      values->push_back(v);
    }
    for (int32_t i = 0; i < t->count; ++i) statuses->push_back(t->status[i]);
    RowStatusTableFree(&t);
    return 0;
  }

  InfConn conn_;
  DrvHandle hConn_ = 0;
  DrvHandle h_ = 0;
  InfCursor* cur_ = nullptr;
};

TEST_F(CursorLayerTest, AllocationTakesWhatTheAgentSays) {
  const SCS& scs = cur_->scs;
  EXPECT_EQ(scs.sc_info04, 1u);
  EXPECT_EQ(scs.sc_maxParams, 200);
  EXPECT_EQ(scs.sc_resendParamTypes, 0u);
  ASSERT_NE(scs.sc_userName, nullptr);
  EXPECT_STREQ(scs.sc_userName, "informix");
  EXPECT_EQ(scs.sc_dbmsName, nullptr);
  EXPECT_EQ(scs.sc_quoteChar, '\0');
  EXPECT_EQ(scs.sc_idCase, 1u);
  EXPECT_EQ(scs.sc_deferLong, 1u);
  EXPECT_EQ(scs.sc_owner, cur_);
  ASSERT_NE(scs.sc_driver, nullptr);
  EXPECT_EQ(scs.sc_driver->ops, &kAgentOps);
  EXPECT_NE(scs.sc_longValues, nullptr);
}

TEST_F(CursorLayerTest, ForwardOnlyRowsetsAreFullUntilTheEnd) {
  // The agent hands out one row per call, as it does for results with long
  // columns: a rowset still holds as many rows as the result has left.
  a.total = 25;
  a.perCall = 1;
  cur_->scs.sc_rowsetSize = 10;
  std::vector<int32_t> values;
  std::vector<uint16_t> statuses;
  ASSERT_EQ(Rowset(&values, &statuses), 0);
  EXPECT_EQ(values.size(), 10u);
  EXPECT_EQ(values.front(), 1);
  EXPECT_EQ(values.back(), 10);
  ASSERT_EQ(Rowset(&values, &statuses), 0);
  EXPECT_EQ(values.front(), 11);
  ASSERT_EQ(Rowset(&values, &statuses), 0);
  EXPECT_EQ(values, (std::vector<int32_t>{21, 22, 23, 24, 25}));
  EXPECT_EQ(statuses, (std::vector<uint16_t>{0, 0, 0, 0, 0, 3, 3, 3, 3, 3}));
  EXPECT_EQ(Rowset(&values, &statuses), ERR_NO_DATA);
  EXPECT_EQ(cur_->scs.sc_position, 1);
}

TEST_F(CursorLayerTest, RetrieveDataOffKeepsStatusesAndCounts) {
  a.total = 3;
  cur_->scs.sc_rowsetSize = 5;
  cur_->scs.sc_retrieveData = 0;
  RowStatusTable* t = nullptr;
  int32_t rows = 0;
  int32_t count = 0;
  ASSERT_EQ(Layer().DRV_ExtendedFetch(h_, &t, 0, &rows, &count), 0);
  EXPECT_EQ(rows, 3);
  EXPECT_EQ(t->rows->colCount, 0);
  EXPECT_EQ(t->status[2], SQL_ROW_SUCCESS);
  EXPECT_EQ(t->status[3], SQL_ROW_NOROW);
  RowStatusTableFree(&t);
}

TEST_F(CursorLayerTest, ScrollableTypesAreLoweredToForwardOnly) {
  struct Case {
    int32_t asked;
    int32_t answer;
  };
  for (const Case c :
       {Case{SQL_CURSOR_STATIC, ERR_OPTION_CHANGED}, Case{SQL_CURSOR_DYNAMIC, ERR_OPTION_CHANGED},
        Case{SQL_CURSOR_KEYSET_DRIVEN, ERR_OPTION_CHANGED}, Case{SQL_CURSOR_FORWARD_ONLY, 0}}) {
    SCOPED_TRACE(c.asked);
    a.lastOption = -1;
    EXPECT_EQ(Layer().DRV_SetOption(h_, DRVP_STMT_OPTION + SQL_CURSOR_TYPE, &c.asked), c.answer);
    EXPECT_EQ(a.lastOption, SQL_CURSOR_FORWARD_ONLY);
  }
  const int32_t lock = SQL_CONCUR_LOCK;
  EXPECT_EQ(Layer().DRV_SetOption(h_, DRVP_STMT_OPTION + SQL_CONCURRENCY, &lock), 0);
  EXPECT_EQ(a.lastOption, SQL_CONCUR_LOCK);
  const int32_t keyset = SQL_CURSOR_KEYSET_DRIVEN;
  EXPECT_EQ(Layer().DRV_SetOption(12345, DRVP_STMT_OPTION + SQL_CURSOR_TYPE, &keyset),
            ERR_ARGUMENT);
}

TEST_F(CursorLayerTest, InformationOnScrollingSaysForwardOnly) {
  struct Case {
    uint16_t item;
    int32_t value;
  };
  for (const Case c :
       {Case{SQL_SCROLL_OPTIONS, SQL_SO_FORWARD_ONLY}, Case{SQL_FETCH_DIRECTION, SQL_FD_FETCH_NEXT},
        Case{SQL_STATIC_CURSOR_ATTRIBUTES1, 0}, Case{SQL_BOOKMARK_PERSISTENCE, 0},
        Case{SQL_TXN_CAPABLE, 2}}) {
    SCOPED_TRACE(c.item);
    int32_t v = -1;
    uint16_t len = 0;
    ASSERT_EQ(Layer().DRV_GetInfo(cur_->scs.sc_hConn, DRVP_GETINFO_INT + c.item, &v, 4, &len), 0);
    EXPECT_EQ(v, c.value);
  }
}

TEST_F(CursorLayerTest, ExecuteNeedsAPreparedStatement) {
  EXPECT_EQ(Layer().DRV_Execute(h_), ERR_SEQUENCE);
  EXPECT_TRUE(std::find(a.calls.begin(), a.calls.end(), "Execute") == a.calls.end());
  ASSERT_EQ(Layer().DRV_Prepare(h_, "select 1"), 0);
  EXPECT_NE(cur_->scs.sc_flags & SCS_F_PREPARED, 0);
  ASSERT_EQ(Layer().DRV_Execute(h_), 0);
  ASSERT_EQ(Layer().DRV_CloseCursor(h_), 0);
  EXPECT_EQ(cur_->scs.sc_flags & SCS_F_PREPARED, 0);
  EXPECT_NE(cur_->scs.sc_flags & SCS_F_CLOSED, 0);
}

TEST_F(CursorLayerTest, KeepsTheLastParameterTypes) {
  const ParamShadow types[2] = {{SQL_INTEGER, SQL_C_LONG, 10, 0, SQL_PARAM_INPUT},
                                {SQL_VARCHAR, SQL_C_CHAR, 20, 0, SQL_PARAM_INPUT}};
  ASSERT_EQ(Layer().DRV_SetParamTypes(h_, 2, types), 0);
  ASSERT_EQ(cur_->scs.sc_paramTypeCount, 2);
  EXPECT_EQ(memcmp(cur_->scs.sc_paramTypes, types, sizeof types), 0);
  ASSERT_EQ(Layer().DRV_SetParamTypes(h_, 0, nullptr), 0);
  EXPECT_EQ(cur_->scs.sc_paramTypeCount, 0);
  EXPECT_EQ(cur_->scs.sc_paramTypes, nullptr);
  EXPECT_EQ(a.calls.back(), "SetParamTypes 0");
}

TEST_F(CursorLayerTest, CapabilityString) {
  a.ints[DRVP_CAPABILITIES] = DRV_CAPBIT_SCROLL_CURSORS | DRV_CAPBIT_PARAM_OP | DRV_CAPBIT_DTC;
  a.ints[DRVP_GETINFO_INT + SQL_CURSOR_COMMIT_BEHAVIOR] = 1;
  char text[32] = {};
  uint16_t len = 0;
  EXPECT_EQ(Layer().DRV_GetInfo(hConn_, DRVP_CAPS_STRING, text, sizeof text, &len), 0);
  EXPECT_STREQ(text, "001.005:101001100010");
  EXPECT_EQ(a.lastOption, 3);
}

}  // namespace
