// Tests of the cursor layer's table over a recording agent: the cursor's
// context from allocation to release, the rowset fetch of forward-only
// cursors, the static cursor's result, the cursor types a request gets, the
// connection hooks and the layer's answers.

#include <gtest/gtest.h>
#include <sqlext.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "drv/colinfo.h"
#include "drv/dataset.h"
#include "drv/errtab.h"
#include "drv/layercalls.h"
#include "drv/rowstatus.h"
#include "drv/scs.h"
#include "drv_inf/inf_error.h"
#include "drv_inf/inf_types.h"
#include "odbc/dispatch.h"
#include "scrs/ks.h"
#include "scrs/scr_ops.h"
#include "scrs/scs_p.h"

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
  // Catalog results, by operation, handed out in turn; the cursor that ran the
  // last catalog operation fetches its result.
  std::map<std::string, std::vector<Dataset*>> catalog;
  Dataset* pending = nullptr;
  DrvHandle pendingCursor = 0;
  DrvHandle connectAs = 77;
  int32_t prepareAnswer = 0;
  int32_t executeAnswer = 0;
  // The result as described: one column of this name, type and size.
  std::string colName;
  uint32_t colType = DS_INTEGER;
  uint32_t colOctets = 4;
  // Lengths of a long second column (0: NULL); none: one integer column.
  std::vector<uint32_t> longs;
};
AgentFake a;

void FreeDs(Dataset* ds) {
  if (ds == nullptr) return;
  DatasetFree(ds);
  std::free(ds);
}

// Runs a catalog operation of the fake: its next queued result (none: no row).
int32_t catalog_call(const std::string& op, DrvHandle h) {
  a.calls.push_back(op);
  FreeDs(a.pending);
  a.pending = nullptr;
  auto& queue = a.catalog[op];
  if (!queue.empty()) {
    a.pending = queue.front();
    queue.erase(queue.begin());
  }
  a.pendingCursor = h;
  return 0;
}

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

int32_t set_option(DrvHandle h, DriverPropId id, const void* value) {
  a.calls.push_back("SetOption " + std::to_string(id));
  a.lastOption = *static_cast<const int32_t*>(value);
  // As the agent does, the options of a cursor land in its context.
  if (auto* cur = static_cast<InfCursor*>(HandleLookup(&INF_CursorHandles, h))) {
    if (id == DRVP_STMT_OPTION + SQL_CURSOR_TYPE) cur->scs.sc_cursorType = a.lastOption;
    if (id == DRVP_STMT_OPTION + SQL_CONCURRENCY) cur->scs.sc_concurrency = a.lastOption;
  }
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

int32_t prepare(DrvHandle h, const char* sql) {
  a.calls.push_back(std::string("Prepare ") + sql);
  if (a.prepareAnswer != 0) {
    INF_CursorSetError(h, a.prepareAnswer);
    return a.prepareAnswer;
  }
  static_cast<InfCursor*>(HandleLookup(&INF_CursorHandles, h))->flags |= CF_PREPARED;
  return 0;
}

int32_t set_params(DrvHandle, Dataset*) {
  a.calls.push_back("SetParams");
  return 0;
}

int32_t execute(DrvHandle) {
  a.calls.push_back("Execute");
  return a.executeAnswer;
}

int32_t close_cursor(DrvHandle) {
  a.calls.push_back("CloseCursor");
  return 0;
}

int32_t describe_columns(DrvHandle, uint16_t* count, ColumnInfo** cols) {
  a.calls.push_back("DescribeColumns");
  *count = 1;
  *cols = ColumnInfoAlloc(1);
  if (*cols == nullptr) return ERR_MEMORY;
  snprintf((*cols)->name, sizeof (*cols)->name, "%s", a.colName.c_str());
  (*cols)->bindType = a.colType;
  (*cols)->octetLength = a.colOctets;
  return 0;
}

int32_t describe_params(DrvHandle, uint16_t* count, ColumnInfo** params) {
  a.calls.push_back("DescribeParams");
  *count = 0;
  *params = nullptr;
  return 0;
}

int32_t col_attributes(DrvHandle h, uint16_t* count, int16_t* attrCount, ColumnInfo** cols,
                       ColAttr** attrs) {
  a.calls.push_back("ColAttributes");
  *attrCount = 0;
  *attrs = nullptr;
  return describe_columns(h, count, cols);
}

// A rowset of the long column's rows: row r an id and a value of a.longs[r]
// bytes, each 'a' + r.
int32_t fetch_longs(uint16_t rows, Dataset* ds) {
  const int32_t n = std::min<int32_t>(rows, static_cast<int32_t>(a.longs.size()));
  if (n <= 0) return DatasetInit(ds, 0);
  EXPECT_EQ(DatasetInit(ds, 2), 0);
  ds->colCount = 2;
  ds->cols[0] = DatasetColumn{DS_INTEGER, 4, nullptr, nullptr};
  ds->cols[1] = DatasetColumn{DS_LONGCHAR, sizeof(DatasetLong), nullptr, nullptr};
  EXPECT_EQ(DatasetSetRows(ds, n), 0);
  for (int32_t r = 0; r < n; ++r) {
    const int32_t id = r + 1;
    memcpy(ds->cols[0].data + 4 * r, &id, 4);
    ds->cols[0].ind[r] = 0;
    if (a.longs[r] == 0) continue;
    DatasetLong v{a.longs[r], malloc(a.longs[r])};
    memset(v.data, 'a' + r, v.length);
    memcpy(ds->cols[1].data + sizeof v * r, &v, sizeof v);
    ds->cols[1].ind[r] = 0;
  }
  ds->rowCount = n;
  a.longs.erase(a.longs.begin(), a.longs.begin() + n);
  return 0;
}

int32_t connect(DrvHandle, const DriverConnectParams*, DrvHandle* hConn) {
  a.calls.push_back("Connect");
  *hConn = a.connectAs;
  return 0;
}

int32_t end_connect(DrvHandle) {
  a.calls.push_back("EndConnect");
  return 0;
}

int32_t more_results(DrvHandle) {
  a.calls.push_back("MoreResults");
  return 0;
}

int32_t dd_tables(DrvHandle, const DDTablesArgs*) {
  a.calls.push_back("DDTables");
  return 0;
}

int32_t dd_special(DrvHandle h, const DDSpecialColumnArgs*) { return catalog_call("DDSpecialColumns", h); }
int32_t dd_statistics(DrvHandle h, const DDStatisticsArgs*) { return catalog_call("DDStatistics", h); }
int32_t dd_primary(DrvHandle h, const DDObjectArgs*) { return catalog_call("DDPrimaryKeys", h); }
int32_t dd_columns(DrvHandle h, const DDColumnArgs*) { return catalog_call("DDColumns", h); }

int32_t set_param_types(DrvHandle, uint16_t count, const ParamShadow*) {
  a.calls.push_back("SetParamTypes " + std::to_string(count));
  return 0;
}

int32_t fetch(DrvHandle h, uint16_t rows, Dataset* ds) {
  a.calls.push_back("Fetch " + std::to_string(rows));
  DatasetFree(ds);
  if (h == a.pendingCursor && a.pendingCursor != 0) {
    // A catalog result goes out whole at the first fetch, then nothing.
    Dataset* out = a.pending;
    a.pending = nullptr;
    if (out == nullptr) return DatasetInit(ds, 0);
    *ds = *out;
    std::free(out);
    return 0;
  }
  if (!a.longs.empty()) return fetch_longs(rows, ds);
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
  ops.DRV_DescribeColumns = describe_columns;
  ops.DRV_DescribeParams = describe_params;
  ops.DRV_ColAttributes = col_attributes;
  ops.DRV_SetParams = set_params;
  ops.DRV_Connect = connect;
  ops.DRV_EndConnect = end_connect;
  ops.DRV_MoreResults = more_results;
  ops.DRV_DDTables = dd_tables;
  ops.DRV_DDSpecialColumns = dd_special;
  ops.DRV_DDStatistics = dd_statistics;
  ops.DRV_DDPrimaryKeys = dd_primary;
  ops.DRV_DDColumns = dd_columns;
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
    FreeDs(a.pending);
    a.pending = nullptr;
    for (auto& [op, queue] : a.catalog)
      for (Dataset* ds : queue) FreeDs(ds);
    HandleTableDestroy(&INF_CursorHandles);
    HandleTableDestroy(&INF_ConnHandles);
  }
  // One rowset: its rows (the values), or the code when it fails.
  int32_t Rowset(std::vector<int32_t>* values, std::vector<uint16_t>* statuses,
                 int32_t target = 0) {
    RowStatusTable* t = nullptr;
    int32_t rows = -1;
    int32_t count = 0;
    const int32_t rc = Layer().DRV_ExtendedFetch2(h_, &t, target, &rows, &count, SQL_FETCH_NEXT);
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

TEST_F(CursorLayerTest, ForwardOnlyTableHandedBackCarriesTheNextRowset) {
  a.total = 13;
  cur_->scs.sc_rowsetSize = 10;
  RowStatusTable* t = nullptr;
  int32_t rows = 0;
  int32_t count = 0;
  ASSERT_EQ(Layer().DRV_ExtendedFetch(h_, &t, 0, &rows, &count), 0);
  RowStatusTable* const first = t;
  // The short rowset after it: the same table, and no status left over from the full one.
  ASSERT_EQ(Layer().DRV_ExtendedFetch(h_, &t, 0, &rows, &count), 0);
  EXPECT_EQ(t, first);
  EXPECT_EQ(rows, 3);
  EXPECT_EQ(t->rows->rowCount, 3);
  EXPECT_EQ(std::vector<uint16_t>(t->status, t->status + t->count),
            (std::vector<uint16_t>{0, 0, 0, 3, 3, 3, 3, 3, 3, 3}));
  // The end of the result takes the handed table with it.
  EXPECT_EQ(Layer().DRV_ExtendedFetch(h_, &t, 0, &rows, &count), ERR_NO_DATA);
  EXPECT_EQ(t, nullptr);

  // A table of another rowset size is replaced by one of the new size.
  a.total = 30;
  a.next = 1;
  ASSERT_EQ(RowStatusTableNew(&t, 4), 0);
  ASSERT_EQ(Layer().DRV_ExtendedFetch(h_, &t, 0, &rows, &count), 0);
  EXPECT_EQ(t->count, 10);
  EXPECT_EQ(rows, 10);
  RowStatusTableFree(&t);
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

TEST_F(CursorLayerTest, CursorOptionsReachTheAgentAsAsked) {
  // Every cursor type is served as asked, a keyset window (a mixed cursor) too.
  for (const int32_t asked : {SQL_CURSOR_STATIC, SQL_CURSOR_DYNAMIC, SQL_CURSOR_KEYSET_DRIVEN,
                              SQL_CURSOR_FORWARD_ONLY}) {
    SCOPED_TRACE(asked);
    a.lastOption = -1;
    EXPECT_EQ(Layer().DRV_SetOption(h_, DRVP_STMT_OPTION + SQL_CURSOR_TYPE, &asked), 0);
    EXPECT_EQ(a.lastOption, asked);
    EXPECT_EQ(cur_->scs.sc_cursorType, asked);
  }
  const int32_t window = 20;
  EXPECT_EQ(Layer().DRV_SetOption(h_, DRVP_STMT_OPTION + SQL_KEYSET_SIZE, &window), 0);
  EXPECT_EQ(a.lastOption, 20);
}

TEST_F(CursorLayerTest, InformationOnScrollingSaysWhatIsServed) {
  a.ints[DRVP_GETINFO_INT + SQL_STATIC_CURSOR_ATTRIBUTES2] =
      SQL_CA2_LOCK_CONCURRENCY | SQL_CA2_SENSITIVITY_UPDATES | SQL_CA2_MAX_ROWS_SELECT;
  a.ints[DRVP_GETINFO_INT + SQL_FORWARD_ONLY_CURSOR_ATTRIBUTES2] =
      SQL_CA2_LOCK_CONCURRENCY | SQL_CA2_CRC_EXACT | SQL_CA2_MAX_ROWS_SELECT |
      SQL_CA2_SIMULATE_NON_UNIQUE;
  struct Case {
    uint16_t item;
    int32_t value;
  };
  for (const Case c :
       {Case{SQL_SCROLL_OPTIONS, SQL_SO_FORWARD_ONLY | SQL_SO_STATIC | SQL_SO_KEYSET_DRIVEN |
                                     SQL_SO_DYNAMIC | SQL_SO_MIXED},
        Case{SQL_SCROLL_CONCURRENCY, SQL_SCCO_READ_ONLY | SQL_SCCO_OPT_VALUES},
        // Static and keyset-driven cursors change rows under value concurrency.
        Case{SQL_STATIC_CURSOR_ATTRIBUTES1,
             SQL_CA1_NEXT | SQL_CA1_ABSOLUTE | SQL_CA1_RELATIVE | SQL_CA1_BOOKMARK |
                 SQL_CA1_LOCK_NO_CHANGE | SQL_CA1_POS_POSITION | SQL_CA1_POS_REFRESH |
                 SQL_CA1_POS_UPDATE | SQL_CA1_POS_DELETE | SQL_CA1_BULK_ADD |
                 SQL_CA1_BULK_UPDATE_BY_BOOKMARK | SQL_CA1_BULK_DELETE_BY_BOOKMARK |
                 SQL_CA1_BULK_FETCH_BY_BOOKMARK},
        Case{SQL_POS_OPERATIONS, SQL_POS_POSITION | SQL_POS_REFRESH | SQL_POS_UPDATE |
                                     SQL_POS_DELETE | SQL_POS_ADD},
        Case{SQL_LOCK_TYPES, SQL_LCK_NO_CHANGE},
        Case{SQL_STATIC_CURSOR_ATTRIBUTES2, SQL_CA2_READ_ONLY_CONCURRENCY |
                                                SQL_CA2_OPT_VALUES_CONCURRENCY |
                                                SQL_CA2_CRC_EXACT | SQL_CA2_MAX_ROWS_SELECT},
        Case{SQL_KEYSET_CURSOR_ATTRIBUTES1,
             SQL_CA1_NEXT | SQL_CA1_ABSOLUTE | SQL_CA1_RELATIVE | SQL_CA1_BOOKMARK |
                 SQL_CA1_LOCK_NO_CHANGE | SQL_CA1_POS_POSITION | SQL_CA1_POS_REFRESH |
                 SQL_CA1_POS_UPDATE | SQL_CA1_POS_DELETE | SQL_CA1_BULK_ADD |
                 SQL_CA1_BULK_UPDATE_BY_BOOKMARK | SQL_CA1_BULK_DELETE_BY_BOOKMARK |
                 SQL_CA1_BULK_FETCH_BY_BOOKMARK},
        // A dynamic cursor moves only relative to where it stands.
        Case{SQL_DYNAMIC_CURSOR_ATTRIBUTES1,
             SQL_CA1_NEXT | SQL_CA1_RELATIVE | SQL_CA1_LOCK_NO_CHANGE | SQL_CA1_POS_POSITION |
                 SQL_CA1_POS_REFRESH | SQL_CA1_POS_UPDATE | SQL_CA1_POS_DELETE},
        // A forward-only cursor positions in its block, reads only, and
        // knows its row count only at its end.
        Case{SQL_FORWARD_ONLY_CURSOR_ATTRIBUTES1,
             SQL_CA1_NEXT | SQL_CA1_LOCK_NO_CHANGE | SQL_CA1_POS_POSITION},
        Case{SQL_FORWARD_ONLY_CURSOR_ATTRIBUTES2, SQL_CA2_READ_ONLY_CONCURRENCY |
                                                      SQL_CA2_MAX_ROWS_SELECT |
                                                      SQL_CA2_SIMULATE_NON_UNIQUE},
        Case{SQL_TXN_CAPABLE, 2}}) {
    SCOPED_TRACE(c.item);
    int32_t v = -1;
    uint16_t len = 0;
    ASSERT_EQ(Layer().DRV_GetInfo(cur_->scs.sc_hConn, DRVP_GETINFO_INT + c.item, &v, 4, &len), 0);
    EXPECT_EQ(v, c.value);
  }
}

TEST_F(CursorLayerTest, StaticResultIsReadAtExecuteAndServedFromMemory) {
  a.total = 12;
  const int32_t type = SQL_CURSOR_STATIC;
  ASSERT_EQ(Layer().DRV_SetOption(h_, DRVP_STMT_OPTION + SQL_CURSOR_TYPE, &type), 0);
  cur_->scs.sc_rowsetSize = 5;
  ASSERT_EQ(Layer().DRV_PrepareExecute(h_, "select x from t", nullptr, 0, nullptr), 0);
  EXPECT_EQ(cur_->scs.sc_rowCount, 12);
  EXPECT_NE(cur_->scs.sc_flags & SCS_F_STATIC_LOADED, 0);
  EXPECT_EQ(a.calls.back(), "CloseCursor");  // every row is in the static set
  a.calls.clear();
  int32_t count = 0;
  uint16_t len = 0;
  ASSERT_EQ(Layer().DRV_GetInfo(h_, DRVP_ROW_COUNT, &count, 4, &len), 0);
  EXPECT_EQ(count, 12);

  struct Case {
    int32_t target;
    int32_t rc;
    std::vector<int32_t> values;
  };
  const Case cases[] = {
      {1, 0, {1, 2, 3, 4, 5}},
      {10, 0, {10, 11, 12}},
      {-1, 0, {12}},
      {0, 0, {8, 9, 10, 11, 12}},  // the last full rowset
      {-12, 0, {1, 2, 3, 4, 5}},
      {-13, ERR_BEFORE_START, {}},
      {13, ERR_AFTER_END, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.target);
    std::vector<int32_t> values;
    std::vector<uint16_t> statuses;
    EXPECT_EQ(Rowset(&values, &statuses, c.target), c.rc);
    EXPECT_EQ(values, c.values);
  }
  EXPECT_EQ(cur_->scs.sc_position, SCS_POS_AFTER_END);
  EXPECT_TRUE(a.calls.empty());  // nothing more was asked of the agent

  // Read in order through DRV_Fetch: 5, 5, 2 and then nothing.
  std::vector<int32_t> sizes;
  for (int i = 0; i < 4; ++i) {
    Dataset ds{};
    ASSERT_EQ(Layer().DRV_Fetch(h_, 5, &ds), 0);
    sizes.push_back(ds.rowCount);
    DatasetFree(&ds);
  }
  EXPECT_EQ(sizes, (std::vector<int32_t>{5, 5, 2, 0}));
  // The loaded set is the statement's whole result.
  EXPECT_EQ(Layer().DRV_MoreResults(h_), ERR_NO_MORE_RESULTS);
  EXPECT_EQ(cur_->scs.sc_flags & SCS_F_STATIC_LOADED, 0);
}

TEST_F(CursorLayerTest, CatalogResultOfAScrollableCursorIsStaticReadOnly) {
  const int32_t type = SQL_CURSOR_STATIC;
  ASSERT_EQ(Layer().DRV_SetOption(h_, DRVP_STMT_OPTION + SQL_CURSOR_TYPE, &type), 0);
  cur_->scs.sc_concurrency = SQL_CONCUR_VALUES;
  a.total = 3;
  DDTablesArgs args{};
  ASSERT_EQ(Layer().DRV_DDTables(h_, &args), 0);
  EXPECT_EQ(a.calls.back(), "DDTables");
  EXPECT_EQ(cur_->scs.sc_concurrency, SQL_CONCUR_READ_ONLY);
  std::vector<int32_t> values;
  std::vector<uint16_t> statuses;
  ASSERT_EQ(Rowset(&values, &statuses, -1), 0);  // loaded at the first fetch
  EXPECT_EQ(values, (std::vector<int32_t>{3}));
}

TEST_F(CursorLayerTest, ConnectionsAreKeptWhileOpenAndAConnectWithoutParametersEnds) {
  DrvHandle hConn = 0;
  DriverConnectParams params{};
  params.dsn = "kes";
  params.uid = "u";
  params.pwd = "p";
  ASSERT_EQ(Layer().DRV_Connect(1, &params, &hConn), 0);
  EXPECT_EQ(hConn, 77u);
  a.calls.clear();
  ASSERT_EQ(Layer().DRV_Connect(1, nullptr, &hConn), ERR_ARGUMENT);
  EXPECT_EQ(hConn, 0u);
  EXPECT_EQ(a.calls, (std::vector<std::string>{"Connect", "EndConnect"}));
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

// The bundled operations, made of the layer's own steps.

std::vector<std::string> CallsFrom(size_t first) {
  return std::vector<std::string>(a.calls.begin() + static_cast<long>(first), a.calls.end());
}

TEST_F(CursorLayerTest, PrepareExecuteWithNamedTypesKeepsTheTypes) {
  ParamTypeEntry types[2] = {{{SQL_INTEGER, SQL_C_LONG, 10, 0, SQL_PARAM_INPUT}, nullptr},
                             {{SQL_VARCHAR, SQL_C_CHAR, 20, 0, SQL_PARAM_INPUT}, nullptr}};
  char name[] = "who";
  types[1].name = name;
  Dataset params{};
  a.calls.clear();
  ASSERT_EQ(Layer().DRV_PrepareExecute2(h_, "insert into t values (?, ?)", &params, 2, types), 0);
  // The agent has no slot for named types: it is given the types alone.
  EXPECT_EQ(a.calls, (std::vector<std::string>{"Prepare insert into t values (?, ?)", "SetParams",
                                               "SetParamTypes 2", "Execute"}));
  ASSERT_EQ(cur_->scs.sc_paramTypeCount, 2);
  EXPECT_EQ(memcmp(&cur_->scs.sc_paramTypes[1], &types[1].shadow, sizeof(ParamShadow)), 0);
  EXPECT_EQ(Layer().DRV_PrepareExecute2(h_ + 1000, nullptr, nullptr, 0, nullptr), ERR_ARGUMENT);
}

TEST_F(CursorLayerTest, AllocPrepareHandsOutAPreparedCursorOrNothing) {
  DrvHandle h = 0;
  a.calls.clear();
  ASSERT_EQ(Layer().DRV_AllocPrepare(hConn_, "select a from t", SQL_CURSOR_STATIC,
                                     SQL_CONCUR_READ_ONLY, &h),
            0);
  ASSERT_NE(h, 0u);
  auto* made = static_cast<InfCursor*>(HandleLookup(&INF_CursorHandles, h));
  EXPECT_EQ(made->scs.sc_cursorType, SCS_STATIC);
  const std::string type = "SetOption " + std::to_string(DRVP_STMT_OPTION + SQL_CURSOR_TYPE);
  EXPECT_NE(std::find(a.calls.begin(), a.calls.end(), type), a.calls.end());
  EXPECT_NE(made->scs.sc_flags & SCS_F_PREPARED, 0);
  EXPECT_EQ(Layer().DRV_EndCursor(h), 0);
  // A failing prepare ends the cursor and leaves its diagnostics on the connection.
  a.prepareAnswer = ERR_SYNTAX;
  ErrListSetCode(&conn_.errors, ERR_GENERAL);
  h = 99;
  a.calls.clear();
  EXPECT_EQ(Layer().DRV_AllocPrepare(hConn_, "selec", SQL_CURSOR_FORWARD_ONLY, 1, &h), ERR_SYNTAX);
  EXPECT_EQ(h, 0u);
  EXPECT_EQ(a.calls.back(), "EndCursor");
  InfError* syntax = DrvErrorNew(ERR_SYNTAX);
  ASSERT_NE(conn_.errors.head, nullptr);
  EXPECT_STREQ(conn_.errors.head->sqlstate, syntax->sqlstate);
  EXPECT_EQ(conn_.errors.head->next, nullptr);
  delete syntax;
  ErrListClear(&conn_.errors);
}

TEST_F(CursorLayerTest, ExecuteDescribeRunsThenDescribes) {
  const int32_t rowsetSize = 25;
  for (const bool attrs : {false, true}) {
    SCOPED_TRACE(attrs ? "with attributes" : "columns");
    cur_->scs.sc_cursorType = SCS_STATIC;
    int32_t rowset = rowsetSize;
    uint16_t cols = 0, params = 0;
    ColumnInfo* colInfo = nullptr;
    ColumnInfo* paramInfo = nullptr;
    int32_t rows = 7;
    int16_t attrCount = -1;
    ColAttr* attrTable = nullptr;
    a.ints[DRVP_ROW_COUNT] = -1;
    a.executeAnswer = ERR_OUTPUT_PARAMS;
    a.calls.clear();
    const int32_t rc =
        attrs ? Layer().DRV_ExecuteDescribe2(h_, "select a from t", nullptr, 0, nullptr, &rowset,
                                             &cols, &colInfo, &params, &paramInfo, &rows,
                                             &attrCount, &attrTable)
              : Layer().DRV_ExecuteDescribe(h_, "select a from t", nullptr, 0, nullptr, &rowset,
                                            &cols, &colInfo, &params, &paramInfo, &rows);
    // Output parameters are told, after the description.
    EXPECT_EQ(rc, ERR_OUTPUT_PARAMS);
    const auto calls = CallsFrom(0);
    EXPECT_EQ(calls.front(), "SetOption " + std::to_string(DRVP_STMT_OPTION + SQL_ROWSET_SIZE));
    EXPECT_EQ(a.lastOption, rowsetSize);
    EXPECT_NE(std::find(calls.begin(), calls.end(), attrs ? "ColAttributes" : "DescribeColumns"),
              calls.end());
    EXPECT_NE(std::find(calls.begin(), calls.end(), "DescribeParams"), calls.end());
    EXPECT_EQ(cols, 1);
    EXPECT_EQ(rows, 0);  // a negative count reads as none
    ColumnInfoFree(colInfo, cols);
    a.executeAnswer = 0;
    ASSERT_EQ(Layer().DRV_CloseCursor(h_), 0);
  }
}

TEST_F(CursorLayerTest, DescribeBindingsLaysTheColumnsOut) {
  // The agent lays nothing out for a fetch of no rows: the descriptions do.
  a.colType = DS_WCHAR;
  a.colOctets = 10;
  ASSERT_EQ(Layer().DRV_Prepare(h_, "select w from t"), 0);
  ASSERT_EQ(Layer().DRV_Execute(h_), 0);
  Dataset layout{};
  uint16_t count = 0;
  ColumnInfo* cols = nullptr;
  ASSERT_EQ(Layer().DRV_DescribeBindings(h_, &count, &cols, &layout), 0);
  ASSERT_EQ(count, 1);
  ASSERT_NE(cols, nullptr);
  EXPECT_EQ(cols[0].bindType, static_cast<uint32_t>(DS_WCHAR));
  EXPECT_EQ(cols[0].octetLength, 10u);  // characters, not bytes
  EXPECT_EQ(cols[0].name[0], '\0');
  EXPECT_EQ(layout.rowCount, 0);
  ColumnInfoFree(cols, count);
  DatasetFree(&layout);
}

TEST_F(CursorLayerTest, LongValuesAboveTheLimitAreReadInPiecesFromTheSide) {
  a.longs = {60000, 60001, 0, 70000};
  cur_->scs.sc_rowsetSize = 4;
  ASSERT_EQ(Layer().DRV_Prepare(h_, "select id, doc from t"), 0);
  ASSERT_EQ(Layer().DRV_Execute(h_), 0);
  RowStatusTable* t = nullptr;
  int32_t rows = 0, count = 0;
  ASSERT_EQ(Layer().DRV_FetchDeferLong(h_, &t, 0, &rows, &count, SQL_FETCH_NEXT), 0);
  ASSERT_EQ(rows, 4);
  const int16_t* ind = t->rows->cols[1].ind;
  EXPECT_EQ(ind[0], 0);  // exactly at the limit it stays
  EXPECT_EQ(ind[1], DS_IND_NOTFETCHED);
  EXPECT_EQ(ind[2], DS_IND_NULL);
  EXPECT_EQ(ind[3], DS_IND_NOTFETCHED);
  RowStatusTableFree(&t);

  struct Piece {
    uint32_t row, max;
    int32_t rc;
    uint32_t size;
    int32_t remaining;
    char first;
  };
  const Piece pieces[] = {
      {2, 40000, 0, 40000, 60001, 'b'},
      {2, 40000, 0, 20001, 20001, 'b'},
      {2, 40000, 0, 0, 0, 0},
      {4, 100, 0, 100, 70000, 'd'},  // another value starts at its beginning
      {2, 10, 0, 10, 60001, 'b'},    // and so does the first one again
      // Values not kept aside are the agent's, which reads none.
      {1, 10, ERR_NOT_CAPABLE, 0, 0, 0},
  };
  for (const Piece& p : pieces) {
    SCOPED_TRACE(p.row);
    void* data = nullptr;
    uint32_t size = 77, type = 0;
    int32_t remaining = 0;
    ASSERT_EQ(Layer().DRV_GetCachedLongData(h_, 2, p.row, p.max, &data, &size, &type, &remaining),
              p.rc);
    if (p.rc != 0) continue;
    EXPECT_EQ(size, p.size);
    EXPECT_EQ(remaining, p.remaining);
    EXPECT_EQ(type, static_cast<uint32_t>(DS_CHAR));
    if (p.size > 0) {
      ASSERT_NE(data, nullptr);
      EXPECT_EQ(static_cast<char*>(data)[0], p.first);
    }
    free(data);
  }
}

TEST_F(CursorLayerTest, BatchesRunStatementsThatReturnNoRows) {
  a.ints[DRVP_ROW_COUNT] = 3;
  const ParamShadow type{SQL_INTEGER, SQL_C_LONG, 10, 0, SQL_PARAM_INPUT};
  struct Case {
    const char* what;
    std::vector<const char*> texts;  // null: the statement prepared on the cursor
    const char* described;           // the name of the first described column
    int32_t rc;
    int16_t done;
  };
  const Case cases[] = {
      {"all run", {"insert into t values (?)", "update t set a = 1", "delete from t"}, "", 0, 3},
      {"a select ends it", {"insert into t values (?)", "  SELECT a from t", "delete from t"}, "",
       ERR_DDL_DML_ONLY, 1},
      {"a call with parameters only", {"{call p(?)}"}, "*O", 0, 1},
      {"a call that returns rows", {"delete from t", "call p()"}, "a", ERR_DDL_DML_ONLY, 1},
      {"a prepared select", {nullptr}, "a", ERR_DDL_DML_ONLY, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    a.colName = c.described;
    ASSERT_EQ(Layer().DRV_Prepare(h_, "select a from t"), 0);
    std::vector<DriverBatchEntry> entries;
    for (const char* text : c.texts) entries.push_back(DriverBatchEntry{text, 1, &type, nullptr});
    int16_t done = -1;
    int32_t* results = nullptr;
    EXPECT_EQ(Layer().DRV_ExecuteBatch(h_, static_cast<uint16_t>(entries.size()), entries.data(),
                                       &done, &results),
              c.rc);
    EXPECT_EQ(done, c.done);
    ASSERT_NE(results, nullptr);
    for (int16_t i = 0; i < c.done; ++i) EXPECT_EQ(results[i], 3);
    free(results);
  }
}

}  // namespace

namespace {

// A catalog result: `types` names each column's kind (S text, s 16-bit, i
// 32-bit), every row gives its cells as text, "NULL" for none.
Dataset* Catalog(const std::string& types, const std::vector<std::vector<std::string>>& rows) {
  auto* ds = static_cast<Dataset*>(std::calloc(1, sizeof(Dataset)));
  EXPECT_EQ(DatasetInit(ds, static_cast<uint16_t>(types.size())), 0);
  ds->colCount = static_cast<uint16_t>(types.size());
  for (size_t c = 0; c < types.size(); ++c) {
    ds->cols[c].type = types[c] == 'S' ? DS_STRING : types[c] == 's' ? DS_SMALLINT : DS_INTEGER;
    ds->cols[c].width = types[c] == 'S' ? 129 : types[c] == 's' ? 2 : 4;
  }
  EXPECT_EQ(DatasetSetRows(ds, static_cast<int32_t>(rows.size() > 0 ? rows.size() : 1)), 0);
  for (size_t r = 0; r < rows.size(); ++r) {
    for (size_t c = 0; c < types.size(); ++c) {
      const std::string& v = rows[r][c];
      DatasetColumn& col = ds->cols[c];
      if (v == "NULL") continue;
      col.ind[r] = 0;
      char* slot = col.data + r * col.width;
      if (types[c] == 'S') {
        memcpy(slot, v.c_str(), v.size() + 1);
      } else if (types[c] == 's') {
        const int16_t n = static_cast<int16_t>(std::stoi(v));
        memcpy(slot, &n, 2);
      } else {
        const int32_t n = std::stoi(v);
        memcpy(slot, &n, 4);
      }
    }
  }
  ds->rowCount = static_cast<int32_t>(rows.size());
  return ds;
}

// Special columns: SCOPE, COLUMN_NAME, DATA_TYPE, TYPE_NAME, COLUMN_SIZE,
// BUFFER_LENGTH, DECIMAL_DIGITS, PSEUDO_COLUMN.
Dataset* Special(const std::vector<std::vector<std::string>>& rows) {
  return Catalog("sSsSiiss", rows);
}
// Statistics: catalog, schema, table, NON_UNIQUE, INDEX_QUALIFIER,
// INDEX_NAME, TYPE, ORDINAL_POSITION, COLUMN_NAME.
Dataset* Stats(const std::vector<std::vector<std::string>>& rows) {
  return Catalog("SSSsSSssS", rows);
}
// Primary keys: catalog, schema, table, COLUMN_NAME, KEY_SEQ, PK_NAME.
Dataset* PKeys(const std::vector<std::vector<std::string>>& rows) { return Catalog("SSSSsS", rows); }
// Columns: catalog, schema, table, COLUMN_NAME, DATA_TYPE, TYPE_NAME,
// COLUMN_SIZE, BUFFER_LENGTH, DECIMAL_DIGITS.
Dataset* Columns(const std::vector<std::vector<std::string>>& rows) {
  return Catalog("SSSSsSiis", rows);
}

TblDesc Table(const char* name, const char* owner = "") {
  return TblDesc{strdup(""), strdup(owner), strdup(name), strdup(""), strdup("")};
}

class KeyColumnsTest : public CursorLayerTest {
 protected:
  void SetUp() override {
    CursorLayerTest::SetUp();
    ASSERT_EQ(scs_p_OpenAuxCursors(&cur_->scs), 0);
    tables_ = DynArrayNew(sizeof(TblDesc));
  }
  void TearDown() override {
    DynArrayFree(&tables_, SCR_TableEntryFree);
    CursorLayerTest::TearDown();
  }
  void Add(TblDesc t) { DynArrayAppend(tables_, &t); }
  // The key columns found, as "table.name:type".
  std::vector<std::string> Keys() {
    std::vector<std::string> out;
    const KS* ks = cur_->scs.sc_keyset;
    for (uint32_t i = 0; ks->keyCols != nullptr && i < ks->keyCols->count; ++i) {
      const ColDesc& c = static_cast<const ColDesc*>(ks->keyCols->items)[i];
      out.push_back(std::string(c.table) + "." + c.name + ":" + std::to_string(c.sqlType));
    }
    return out;
  }
  std::vector<std::string> CatalogCalls() {
    std::vector<std::string> out;
    for (const std::string& c : a.calls)
      if (c.rfind("DD", 0) == 0) out.push_back(c);
    return out;
  }
  DynArray* tables_ = nullptr;
};

TEST_F(KeyColumnsTest, RoutesInTurnTableByTable) {
  Add(Table("t1"));
  Add(Table("t2"));
  // t1 answers by its special columns, with types; t2 has none there, no
  // unique index, and a primary key whose types the column query gives.
  a.catalog["DDSpecialColumns"] = {Special({{"2", "id", "4", "integer", "10", "4", "0", "1"}}),
                                   Special({})};
  a.catalog["DDStatistics"] = {Stats({})};
  a.catalog["DDPrimaryKeys"] = {PKeys({{"", "", "t2", "k", "1", "pk"},
                                       // a table the name only matches as a pattern
                                       {"", "", "tx2", "other", "1", "pk"}})};
  a.catalog["DDColumns"] = {Columns({{"", "", "t2", "k", "3", "decimal", "8", "10", "2"}})};
  ASSERT_EQ(KS_GetKeyColDescs(&cur_->scs, tables_), 0);
  EXPECT_EQ(Keys(), (std::vector<std::string>{"t1.id:4", "t2.k:3"}));
  EXPECT_EQ(static_cast<const ColDesc*>(cur_->scs.sc_keyset->keyCols->items)[1].decimalDigits, 2);
  EXPECT_EQ(CatalogCalls(), (std::vector<std::string>{"DDSpecialColumns", "DDSpecialColumns",
                                                      "DDStatistics", "DDPrimaryKeys",
                                                      "DDColumns"}));
  EXPECT_EQ(cur_->scs.sc_keyset->tableCount, 2);
}

TEST_F(KeyColumnsTest, AColumnListedTwiceIsOneKey) {
  Add(Table("t"));
  a.catalog["DDSpecialColumns"] = {Special({{"2", "id", "4", "integer", "10", "4", "0", "1"},
                                            {"2", "id", "4", "integer", "10", "4", "0", "1"},
                                            {"2", "v", "4", "integer", "10", "4", "0", "1"}})};
  ASSERT_EQ(KS_GetKeyColDescs(&cur_->scs, tables_), 0);
  EXPECT_EQ(Keys(), (std::vector<std::string>{"t.id:4", "t.v:4"}));
}

TEST_F(KeyColumnsTest, StatisticsTakeTheFirstUniqueIndexOnly) {
  Add(Table("t"));
  a.catalog["DDStatistics"] = {Stats({{"", "", "t", "NULL", "", "", "0", "NULL", "NULL"},
                                      {"", "", "t", "0", "", "ia", "3", "1", "a"},
                                      {"", "", "t", "0", "", "ia", "3", "2", "b"},
                                      {"", "", "t_x", "0", "", "ix", "3", "1", "x"},
                                      {"", "", "t", "0", "", "ic", "3", "1", "c"}})};
  a.catalog["DDColumns"] = {Columns({{"", "", "t", "a", "4", "integer", "10", "4", "0"}}),
                            Columns({{"", "", "t", "b", "12", "varchar", "20", "20", "0"}})};
  ASSERT_EQ(KS_GetKeyColDescs(&cur_->scs, tables_), 0);
  EXPECT_EQ(Keys(), (std::vector<std::string>{"t.a:4", "t.b:12"}));
}

TEST_F(KeyColumnsTest, AmbiguousColumnTypeAndNoKeysAtAll) {
  Add(Table("t"));
  a.catalog["DDPrimaryKeys"] = {PKeys({{"", "", "t", "k", "1", "pk"}})};
  a.catalog["DDColumns"] = {Columns({{"", "", "t", "k", "4", "integer", "10", "4", "0"},
                                     {"", "", "t", "k", "4", "integer", "10", "4", "0"}})};
  EXPECT_EQ(KS_GetKeyColDescs(&cur_->scs, tables_), ERR_GENERAL);
  a.calls.clear();
  EXPECT_EQ(KS_GetKeyColDescs(&cur_->scs, tables_), ERR_NO_KEY_COLUMNS);
  EXPECT_EQ(CatalogCalls(),
            (std::vector<std::string>{"DDSpecialColumns", "DDStatistics", "DDPrimaryKeys"}));
}

TEST_F(KeyColumnsTest, ASecondStatementOverTheSameTablesAsksNoCatalog) {
  // A connection made through the layer keeps the key columns it found.
  DriverConnectParams params{};
  params.dsn = "kes";
  DrvHandle hConn = 0;
  a.connectAs = hConn_;
  ASSERT_EQ(Layer().DRV_Connect(1, &params, &hConn), 0);
  ASSERT_EQ(hConn, hConn_);
  Add(Table("t"));
  a.catalog["DDSpecialColumns"] = {Special({{"2", "id", "4", "integer", "10", "4", "0", "1"}})};
  ASSERT_EQ(KS_GetKeyColDescs(&cur_->scs, tables_), 0);
  a.calls.clear();
  ASSERT_EQ(KS_GetKeyColDescs(&cur_->scs, tables_), 0);
  EXPECT_EQ(Keys(), (std::vector<std::string>{"t.id:4"}));
  EXPECT_TRUE(CatalogCalls().empty());
  // Another owner is another table.
  DynArrayFree(&tables_, SCR_TableEntryFree);
  tables_ = DynArrayNew(sizeof(TblDesc));
  Add(Table("t", "o"));
  EXPECT_EQ(KS_GetKeyColDescs(&cur_->scs, tables_), ERR_NO_KEY_COLUMNS);
  EXPECT_FALSE(CatalogCalls().empty());
  EXPECT_EQ(Layer().DRV_EndConnect(hConn), 0);
}

}  // namespace
