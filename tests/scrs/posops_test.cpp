// Tests of the positioned and bookmark operations of the cursor layer over an
// agent fake that records every generated statement with its parameters and
// answers how many rows each changed, on a keyset the tests fill in.

#include "scrs/posops.h"

#include <gtest/gtest.h>
#include <sqlext.h>

#include <cstring>
#include <deque>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "drv/colinfo.h"
#include "drv/dataset.h"
#include "drv/errtab.h"
#include "drv/rowstatus.h"
#include "drv_inf/inf_error.h"
#include "drv_inf/inf_ops.h"
#include "drv_inf/inf_types.h"
#include "scrs/ks.h"
#include "scrs/scs_p.h"
#include "util/dynarray.h"

namespace {

struct Run {
  std::string sql;
  std::vector<std::string> params;
};

struct Fake {
  int prepares = 0;
  std::vector<std::string> params;
  std::vector<Run> runs;
  std::set<std::string> gone;  // key values whose row another user removed
  std::set<std::string> refused;  // first parameter values the server refuses
  int32_t lastCount = 0;
  int typeSends = 0;
  std::string refusedText;  // a statement holding it is refused at prepare
};
Fake f;
// The statement prepared on each cursor: the cursors outlive a Fake.
std::map<DrvHandle, std::string> prepared;

std::string value_of(const Dataset* ds, uint16_t c) {
  const DatasetColumn& col = ds->cols[c];
  if (col.ind[0] == DS_IND_NULL) return "~";
  if (col.type == DS_INTEGER) {
    int32_t v = 0;
    std::memcpy(&v, col.data, 4);
    return std::to_string(v);
  }
  char buf[64] = {};
  uint32_t len = sizeof buf - 1;
  EXPECT_EQ(DatasetGetValue(ds, 0, c, buf, &len), 0);
  return std::string(buf, len).c_str();
}

int32_t prepare(DrvHandle h, const char* sql) {
  if (!f.refusedText.empty() && std::strstr(sql, f.refusedText.c_str()) != nullptr) {
    auto* cur = static_cast<InfCursor*>(HandleLookup(&INF_CursorHandles, h));
    ErrListSetCode(&cur->errors, ERR_SYNTAX);
    return ERR_SYNTAX;
  }
  prepared[h] = sql;
  ++f.prepares;
  return 0;
}

int32_t set_params(DrvHandle, Dataset* ds) {
  f.params.clear();
  for (uint16_t c = 0; c < ds->colCount; ++c) f.params.push_back(value_of(ds, c));
  DatasetFree(ds);
  std::free(ds);
  return 0;
}

int32_t set_param_types(DrvHandle, uint16_t count, const ParamShadow*) {
  EXPECT_EQ(count, f.params.size());
  ++f.typeSends;
  return 0;
}

int32_t execute(DrvHandle h) {
  const std::string& sql = prepared[h];
  f.runs.push_back(Run{sql, f.params});
  f.lastCount = 1;
  for (const std::string& p : f.params)
    if (f.gone.count(p) != 0 && sql.rfind("INSERT", 0) != 0) f.lastCount = 0;
  if (!f.params.empty() && f.refused.count(f.params[0]) != 0) {
    auto* cur = static_cast<InfCursor*>(HandleLookup(&INF_CursorHandles, h));
    ErrListSetCode(&cur->errors, ERR_GENERAL);
    return ERR_GENERAL;
  }
  return 0;
}

int32_t get_info(DrvHandle, DriverPropId id, void* buf, uint16_t, uint16_t* len) {
  if (id != DRVP_ROW_COUNT) return ERR_NOT_SUPPORTED;
  std::memcpy(buf, &f.lastCount, 4);
  *len = 4;
  return 0;
}

// The keyed row SELECT: a row (name "r<key>", key) for every key asked that
// another user did not remove, in key order.
int32_t fetch(DrvHandle, uint16_t, Dataset* out) {
  std::set<int32_t> keys;
  for (const std::string& p : f.params)
    if (f.gone.count(p) == 0) keys.insert(std::stoi(p));
  EXPECT_EQ(DatasetInit(out, 2), 0);
  out->colCount = 2;
  out->cols[0] = DatasetColumn{DS_CHAR, 11, nullptr, nullptr};
  out->cols[1] = DatasetColumn{DS_INTEGER, 4, nullptr, nullptr};
  EXPECT_EQ(DatasetSetRows(out, static_cast<int32_t>(keys.size())), 0);
  int32_t r = 0;
  for (int32_t k : keys) {
    const std::string name = "r" + std::to_string(k);
    std::memcpy(out->cols[0].data + 11 * r, name.data(), name.size());
    std::memcpy(out->cols[1].data + 4 * r, &k, 4);
    out->cols[0].ind[r] = out->cols[1].ind[r] = 0;
    ++r;
  }
  out->rowCount = r;
  return 0;
}

int32_t close_cursor(DrvHandle) { return 0; }

// The agent cursors the positioned statements are prepared on.
std::deque<InfCursor> cursors;
int allocs = 0;
int ends = 0;

int32_t alloc_cursor(DrvHandle, DrvHandle* h) {
  ++allocs;
  return HandleAlloc(&INF_CursorHandles, h, &cursors.emplace_back()) == 0 ? 0 : ERR_MEMORY;
}

int32_t end_cursor(DrvHandle h) {
  auto* cur = static_cast<InfCursor*>(HandleLookup(&INF_CursorHandles, h));
  if (cur == nullptr) return ERR_ARGUMENT;
  ErrListClear(&cur->errors);
  HandleFree(&INF_CursorHandles, h);
  prepared.erase(h);
  ++ends;
  return 0;
}

DriverOps FakeOps() {
  DriverOps ops{};
  ops.DRV_AllocCursor = alloc_cursor;
  ops.DRV_EndCursor = end_cursor;
  ops.DRV_Fetch = fetch;
  ops.DRV_CloseCursor = close_cursor;
  ops.DRV_Prepare = prepare;
  ops.DRV_SetParams = set_params;
  ops.DRV_SetParamTypes = set_param_types;
  ops.DRV_Execute = execute;
  ops.DRV_GetInfo = get_info;
  return ops;
}
const DriverOps kOps = FakeOps();
DriverRecord driver{DRV_CAP_THREADSAFE, &kOps};

Dataset* IntColumn(const std::vector<int32_t>& values) {
  auto* ds = static_cast<Dataset*>(std::calloc(1, sizeof(Dataset)));
  EXPECT_EQ(DatasetInit(ds, 1), 0);
  ds->colCount = 1;
  ds->cols[0].type = DS_INTEGER;
  ds->cols[0].width = 4;
  EXPECT_EQ(DatasetSetRows(ds, static_cast<int32_t>(values.size())), 0);
  for (size_t r = 0; r < values.size(); ++r) {
    std::memcpy(ds->cols[0].data + 4 * r, &values[r], 4);
    ds->cols[0].ind[r] = 0;
  }
  ds->rowCount = static_cast<int32_t>(values.size());
  return ds;
}

// Text columns, one per entry of each row; "~" is NULL and "-" a cell left out.
// A long column (longCol) holds empty values.
Dataset* TextRows(const std::vector<std::vector<std::string>>& rows, int longCol = -1) {
  auto* ds = static_cast<Dataset*>(std::calloc(1, sizeof(Dataset)));
  const auto cols = static_cast<uint16_t>(rows.at(0).size());
  EXPECT_EQ(DatasetInit(ds, cols), 0);
  ds->colCount = cols;
  for (uint16_t c = 0; c < cols; ++c)
    ds->cols[c] = c == longCol ? DatasetColumn{DS_LONGCHAR, sizeof(DatasetLong), nullptr, nullptr}
                               : DatasetColumn{DS_CHAR, 11, nullptr, nullptr};
  EXPECT_EQ(DatasetSetRows(ds, static_cast<int32_t>(rows.size())), 0);
  for (size_t r = 0; r < rows.size(); ++r)
    for (uint16_t c = 0; c < cols; ++c) {
      const std::string& v = rows[r][c];
      if (v == "~") continue;
      if (c == longCol) {
        ds->cols[c].ind[r] = 0;
        continue;
      }
      if (v == "-") {
        ds->cols[c].ind[r] = DS_IND_IGNORE;
        continue;
      }
      std::memcpy(ds->cols[c].data + 11 * r, v.data(), v.size());
      ds->cols[c].ind[r] = 0;
    }
  ds->rowCount = static_cast<int32_t>(rows.size());
  return ds;
}

uint16_t* Columns(std::initializer_list<uint16_t> cols) {
  auto* out = static_cast<uint16_t*>(std::malloc(sizeof(uint16_t) * cols.size()));
  std::copy(cols.begin(), cols.end(), out);
  return out;
}

ColDesc Col(const char* name, int32_t kind = COLDESC_COLUMN) {
  ColDesc d{};
  std::snprintf(d.name, sizeof d.name, "%s", name);
  d.sqlType = SQL_VARCHAR;
  d.columnSize = 10;
  d.itemKind = kind;
  return d;
}

// A keyset-driven cursor over "owner.t" (id key; name, qty, notes) with ten
// keys 101..110 and its rowset at keyset row start.
class PosOpsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    f = Fake{};
    ASSERT_EQ(HandleTableInit(&INF_CursorHandles, HTAG_CURSOR), 0);
    ASSERT_EQ(HandleAlloc(&INF_CursorHandles, &user_, &userCur_), 0);
    ASSERT_EQ(HandleAlloc(&INF_CursorHandles, &aux_, &auxCur_), 0);
    SCS_Init(&s_, user_, 0, &driver, &userCur_);
    s_.sc_cursorType = SCS_KEYSET;
    s_.sc_concurrency = SQL_CONCUR_LOCK;
    s_.sc_rowsetSize = 3;
    s_.sc_rowsetStart = 4;
    s_.sc_auxCursor = aux_;
    ASSERT_EQ(KS_Create(&s_.sc_keyset), 0);
    KS& ks = *s_.sc_keyset;
    DatasetFree(ks.keys);
    std::free(ks.keys);
    ks.keys = IntColumn({101, 102, 103, 104, 105, 106, 107, 108, 109, 110});
    ks.rowStatusCount = 10;
    ks.rowStatus = static_cast<uint16_t*>(std::calloc(10, sizeof(uint16_t)));
    ks.keyCols = DynArrayNew(sizeof(ColDesc));
    const ColDesc id = Col("id");
    ASSERT_EQ(DynArrayAppend(ks.keyCols, &id), 1);
    s_.sc_tables = DynArrayNew(sizeof(TblDesc));
    TblDesc t{nullptr, strdup("owner"), strdup("t"), nullptr, nullptr};
    ASSERT_EQ(DynArrayAppend(s_.sc_tables, &t), 1);
    s_.sc_resultCols = ColumnInfoAlloc(3);
    s_.sc_resultColCount = 3;
    for (uint16_t i = 0; i < 3; ++i) {
      std::snprintf(s_.sc_resultCols[i].name, sizeof s_.sc_resultCols[i].name, "%s",
                    (const char*[]){"name", "qty", "notes"}[i]);
      s_.sc_resultCols[i].sqlType = SQL_VARCHAR;
      s_.sc_resultCols[i].precision = 10;
    }
  }
  void TearDown() override {
    scs_p_FreePosStatements(&s_);
    cursors.clear();
    prepared.clear();
    allocs = ends = 0;
    KS_Free(&s_.sc_keyset);
    DynArrayFree(&s_.sc_tables, SCR_TableEntryFree);
    DynArrayFree(&s_.sc_tableCols, nullptr);
    if (s_.sc_optValues != nullptr) {
      DatasetFree(s_.sc_optValues);
      std::free(s_.sc_optValues);
    }
    ColumnInfoFree(s_.sc_resultCols, s_.sc_resultColCount);
    scs_p_SetParamTypes(&s_.sc_genParamTypes, &s_.sc_genParamTypeCount, 0, nullptr);
    ErrListClear(&userCur_.errors);
    ErrListClear(&auxCur_.errors);
    HandleTableDestroy(&INF_CursorHandles);
  }
  // The operation's answer, with its statuses.
  int32_t Op(int32_t row, uint16_t op, Dataset* rows, uint16_t* cols,
             std::vector<uint16_t>* statuses) {
    uint16_t* st = nullptr;
    int32_t n = -1;
    const int32_t rc = scs_p_SetPosOp(&s_, row, op, &st, &n, rows, cols);
    statuses->assign(st, st + (st != nullptr ? n : 0));
    std::free(st);
    return rc;
  }
  std::vector<uint16_t> Keyset() const {
    return {s_.sc_keyset->rowStatus, s_.sc_keyset->rowStatus + 10};
  }
  std::vector<std::string> Messages() {
    std::vector<std::string> out;
    for (InfError* e = userCur_.errors.head; e != nullptr; e = e->next) out.push_back(e->sqlstate);
    return out;
  }

  InfCursor userCur_, auxCur_;
  DrvHandle user_ = 0, aux_ = 0;
  SCS s_{};
};

constexpr uint16_t OK = SQL_ROW_SUCCESS, DEL = SQL_ROW_DELETED, UPD = SQL_ROW_UPDATED,
                   ADD = SQL_ROW_ADDED, ERR = SQL_ROW_ERROR, NO = SQL_ROW_NOROW;

TEST_F(PosOpsTest, DeleteFindsRowsByTheirKeys) {
  std::vector<uint16_t> st;
  // Row 2 of the rowset at keyset row 4 is keyset row 5, key 105.
  ASSERT_EQ(Op(2, SQL_DELETE, nullptr, nullptr, &st), 0);
  EXPECT_EQ(st, (std::vector<uint16_t>{DEL}));
  ASSERT_EQ(f.runs.size(), 1u);
  EXPECT_EQ(f.runs[0].sql, "DELETE FROM owner.t WHERE id = ?");
  EXPECT_EQ(f.runs[0].params, (std::vector<std::string>{"105"}));
  EXPECT_EQ(Keyset()[4], DEL);
  EXPECT_EQ(s_.sc_rowsAffected, 1);

  // The whole rowset with its second row left out, and one row another user
  // removed meanwhile: the rows changed are fewer than those addressed.
  f = Fake{};
  f.gone = {"106"};
  Dataset* ops = IntColumn({0, 0, 0});
  ops->cols[0].type = DS_BIT;
  ops->cols[0].ind[0] = DS_IND_NULL;
  ops->cols[0].ind[1] = DS_IND_IGNORE;
  ops->cols[0].ind[2] = DS_IND_NULL;
  ASSERT_EQ(Op(SCS_POS_NO_ROW, SQL_DELETE, ops, nullptr, &st), ERR_MANY_ROWS_CHANGED);
  EXPECT_EQ(st, (std::vector<uint16_t>{DEL, DEL, ERR})) << "row 2 keeps what it was";
  EXPECT_EQ(f.prepares, 0) << "the first delete's statement serves every row";
  EXPECT_EQ(f.runs.size(), 2u);
  EXPECT_EQ(s_.sc_rowsAffected, 1);

  // Every addressed row changed: no warning even though the rowset is short.
  f = Fake{};
  s_.sc_rowsetStart = 9;
  s_.sc_keyset->rowStatus[8] = s_.sc_keyset->rowStatus[9] = OK;
  ASSERT_EQ(Op(SCS_POS_NO_ROW, SQL_DELETE, nullptr, nullptr, &st), 0);
  EXPECT_EQ(st, (std::vector<uint16_t>{DEL, DEL, NO}));
  f.gone = {"110"};
  ASSERT_EQ(Op(2, SQL_DELETE, nullptr, nullptr, &st), ERR_NO_ROWS_CHANGED);
  EXPECT_EQ(st, (std::vector<uint16_t>{ERR}));
}

TEST_F(PosOpsTest, RefusalsChangeNothing) {
  std::vector<uint16_t> st;
  s_.sc_concurrency = SQL_CONCUR_READ_ONLY;
  EXPECT_EQ(Op(1, SQL_DELETE, nullptr, nullptr, &st), ERR_ARGUMENT);
  s_.sc_concurrency = SQL_CONCUR_LOCK;
  EXPECT_EQ(Op(1, SQL_REFRESH, nullptr, nullptr, &st), ERR_NOT_CAPABLE);
  EXPECT_EQ(Op(1, SQL_POSITION, nullptr, nullptr, &st), 0);
  EXPECT_EQ(Op(1, SQL_UPDATE, TextRows({{"x", "1", "n"}}), nullptr, &st), ERR_ARGUMENT)
      << "an update without its column list";
  s_.sc_analysisFlags = SA_JOIN;
  EXPECT_EQ(Op(1, SQL_DELETE, nullptr, nullptr, &st), ERR_JOIN);
  s_.sc_analysisFlags = 0;
  EXPECT_TRUE(f.runs.empty());
  EXPECT_EQ(Keyset(), std::vector<uint16_t>(10, OK));
}

TEST_F(PosOpsTest, UpdateSetsEachColumnWithItsOwnValue) {
  std::vector<uint16_t> st;
  s_.sc_quoteChar = '"';
  // Columns bound out of order (qty first), and one cell left out in row 2.
  ASSERT_EQ(Op(SCS_POS_NO_ROW, SQL_UPDATE, TextRows({{"7", "ann"}, {"-", "bob"}, {"9", "cy"}}),
               Columns({2, 1}), &st),
            0);
  EXPECT_EQ(st, (std::vector<uint16_t>{UPD, UPD, UPD}));
  ASSERT_EQ(f.runs.size(), 3u);
  EXPECT_EQ(f.runs[0].sql, "UPDATE owner.t SET \"qty\" = ?, \"name\" = ? WHERE id = ?");
  EXPECT_EQ(f.runs[0].params, (std::vector<std::string>{"7", "ann", "104"}));
  EXPECT_EQ(f.runs[1].sql, "UPDATE owner.t SET \"name\" = ? WHERE id = ?");
  EXPECT_EQ(f.runs[1].params, (std::vector<std::string>{"bob", "105"}));
  EXPECT_EQ(f.runs[2].params, (std::vector<std::string>{"9", "cy", "106"}));
  EXPECT_EQ(f.prepares, 2) << "a row with other columns needs its own statement";
}

// A grid changes one row at a time: each statement is prepared once for the cursor
// and runs again for every later row of its shape, a row of another shape (other
// columns bound, another operation) gets a statement of its own, and a cursor keeps
// a bounded number of them, ending the one used least recently.
TEST_F(PosOpsTest, EachStatementShapeIsPreparedOncePerCursor) {
  std::vector<uint16_t> st;
  for (int32_t row : {1, 2, 3, 1}) {
    ASSERT_EQ(Op(row, SQL_UPDATE, TextRows({{"n" + std::to_string(row)}}), Columns({1}), &st), 0);
    EXPECT_EQ(st, (std::vector<uint16_t>{UPD}));
  }
  EXPECT_EQ(f.prepares, 1);
  EXPECT_EQ(allocs, 1);
  ASSERT_EQ(f.runs.size(), 4u);
  for (const auto& r : f.runs) EXPECT_EQ(r.sql, "UPDATE owner.t SET name = ? WHERE id = ?");
  EXPECT_EQ(f.runs[3].params, (std::vector<std::string>{"n1", "104"}));

  // Other columns bound, then the first ones again.
  ASSERT_EQ(Op(2, SQL_UPDATE, TextRows({{"m", "4"}}), Columns({1, 2}), &st), 0);
  ASSERT_EQ(Op(3, SQL_UPDATE, TextRows({{"k"}}), Columns({1}), &st), 0);
  EXPECT_EQ(f.prepares, 2);
  EXPECT_EQ(f.runs[4].sql, "UPDATE owner.t SET name = ?, qty = ? WHERE id = ?");
  EXPECT_EQ(f.runs[4].params, (std::vector<std::string>{"m", "4", "105"}));
  EXPECT_EQ(f.runs[5].sql, "UPDATE owner.t SET name = ? WHERE id = ?");

  // More shapes than a cursor keeps: the oldest goes and is prepared again.
  const std::vector<std::vector<uint16_t>> shapes = {{2}, {3}, {1, 3}, {2, 3}, {1, 2, 3}, {3, 2},
                                                     {2, 1}, {3, 1}};
  for (const auto& cols : shapes) {
    std::vector<std::string> values(cols.size(), "v");
    auto* list = static_cast<uint16_t*>(std::malloc(sizeof(uint16_t) * cols.size()));
    std::copy(cols.begin(), cols.end(), list);
    ASSERT_EQ(Op(1, SQL_UPDATE, TextRows({values}), list, &st), 0);
  }
  EXPECT_EQ(f.prepares, 10);
  EXPECT_EQ(allocs - ends, 8) << "cursors kept";
  ASSERT_EQ(Op(1, SQL_UPDATE, TextRows({{"m", "4"}}), Columns({1, 2}), &st), 0);
  EXPECT_EQ(f.prepares, 11) << "the least recently used shape went first";
  ASSERT_EQ(Op(1, SQL_DELETE, nullptr, nullptr, &st), 0);
  EXPECT_EQ(f.prepares, 12);
  EXPECT_EQ(f.runs.back().sql, "DELETE FROM owner.t WHERE id = ?");

  // A statement the server refuses to prepare: its message reaches the user's cursor
  // and its cursor ends.
  f.refusedText = "notes";
  EXPECT_EQ(Op(1, SQL_UPDATE, TextRows({{"x"}}), Columns({3}), &st), ERR_SYNTAX);
  EXPECT_EQ(Messages().size(), 1u);
  EXPECT_EQ(allocs - ends, 7) << "the refused statement's cursor ended with it";
  f.refusedText.clear();

  scs_p_FreePosStatements(&s_);
  EXPECT_EQ(allocs, ends) << "the cursor's statements end with it";
  ASSERT_EQ(Op(1, SQL_DELETE, nullptr, nullptr, &st), 0);
  EXPECT_EQ(f.prepares, 13) << "a new statement on the cursor prepares its own";
}

TEST_F(PosOpsTest, ValueConcurrencyComparesTheHeldOldValues) {
  std::vector<uint16_t> st;
  s_.sc_concurrency = SQL_CONCUR_VALUES;
  s_.sc_resendParamTypes = 1;
  // The old values held: name, a long column and an expression, then qty.
  s_.sc_tableCols = DynArrayNew(sizeof(ColDesc));
  for (const ColDesc& c : {Col("name"), Col("notes"), Col("qty+1", COLDESC_EXPRESSION), Col("qty")})
    ASSERT_EQ(DynArrayAppend(s_.sc_tableCols, &c), 1);
  s_.sc_optValues =
      TextRows({{"ann", "x", "8", "7"}, {"~", "y", "~", "5"}, {"cy", "z", "3", "2"}}, 1);
  f.gone = {"cy"};  // row 3 changed since it was read
  ASSERT_EQ(Op(SCS_POS_NO_ROW, SQL_DELETE, nullptr, nullptr, &st), ERR_MANY_ROWS_CHANGED);
  EXPECT_EQ(st, (std::vector<uint16_t>{DEL, DEL, ERR}));
  ASSERT_EQ(f.runs.size(), 3u);
  EXPECT_EQ(f.runs[0].sql, "DELETE FROM owner.t WHERE id = ? AND name = ? AND qty = ?");
  EXPECT_EQ(f.runs[0].params, (std::vector<std::string>{"104", "ann", "7"}));
  EXPECT_EQ(f.runs[1].sql, "DELETE FROM owner.t WHERE id = ? AND name IS NULL AND qty = ?");
  EXPECT_EQ(f.runs[1].params, (std::vector<std::string>{"105", "5"}));
  EXPECT_EQ(f.runs[2].sql, f.runs[0].sql);
  EXPECT_EQ(f.prepares, 2);
  EXPECT_EQ(f.typeSends, 3);

  // A single row's old values are its own row of the rowset's.
  f = Fake{};
  ASSERT_EQ(Op(2, SQL_UPDATE, TextRows({{"9"}}), Columns({2}), &st), 0);
  EXPECT_EQ(f.runs.at(0).sql, "UPDATE owner.t SET qty = ? WHERE id = ? AND name IS NULL AND qty = ?");
  EXPECT_EQ(f.runs[0].params, (std::vector<std::string>{"9", "105", "5"}));
}

// An update that changed its row is reported as made even when the old values
// cannot be read again after it: its status says updated, the answer is a
// warning, and the old values held before stay, so that a later change of the
// other rows still finds them.
TEST_F(PosOpsTest, AFailureAfterTheChangeIsAWarning) {
  std::vector<uint16_t> st;
  s_.sc_concurrency = SQL_CONCUR_VALUES;
  s_.sc_tableCols = DynArrayNew(sizeof(ColDesc));
  for (const ColDesc& c : {Col("name"), Col("qty")})
    ASSERT_EQ(DynArrayAppend(s_.sc_tableCols, &c), 1);
  s_.sc_optValues = TextRows({{"ann", "7"}, {"bob", "5"}, {"cy", "2"}});
  const Dataset* held = s_.sc_optValues;
  // With an analysis the cursor reads its old values again after an update;
  // the statement they are read by cannot be made from this text.
  SCR_Analysis analysis{}, aux2{};
  SCR_AnalysisInit(&analysis);
  SCR_AnalysisInit(&aux2);
  s_.sc_analysis = &analysis;
  s_.sc_aux2Analysis = &aux2;
  s_.sc_sqlText = strdup("SELECT FROM WHERE");
  EXPECT_EQ(Op(2, SQL_UPDATE, TextRows({{"9"}}), Columns({2}), &st), ERR_WARNING);
  EXPECT_EQ(st, (std::vector<uint16_t>{UPD}));
  EXPECT_EQ(Keyset()[4], UPD);
  ASSERT_EQ(f.runs.size(), 1u);
  EXPECT_EQ(f.runs[0].params, (std::vector<std::string>{"9", "105", "bob", "5"}));
  EXPECT_EQ(s_.sc_optValues, held);
  EXPECT_EQ(s_.sc_optValues->rowCount, 3);

  // Another row still finds its old values.
  EXPECT_EQ(Op(3, SQL_DELETE, nullptr, nullptr, &st), 0);
  EXPECT_EQ(f.runs.back().params, (std::vector<std::string>{"106", "cy", "2"}));
  std::free(s_.sc_sqlText);
  s_.sc_sqlText = nullptr;
  s_.sc_analysis = s_.sc_aux2Analysis = nullptr;
  SCR_AnalysisFree(&analysis);
  SCR_AnalysisFree(&aux2);
}

TEST_F(PosOpsTest, AddInsertsEachRowAndReportsTheFailedOnes) {
  std::vector<uint16_t> st;
  f.refused = {"bad"};
  ASSERT_EQ(Op(SCS_POS_NO_ROW, SQL_ADD, TextRows({{"a", "1"}, {"bad", "2"}, {"c", "3"}}),
               Columns({1, 2}), &st),
            ERR_ROW);
  EXPECT_EQ(st, (std::vector<uint16_t>{ADD, ERR, ADD}));
  ASSERT_EQ(f.runs.size(), 3u);
  EXPECT_EQ(f.runs[0].sql, "INSERT INTO owner.t ( name, qty ) VALUES ( ?, ? )");
  EXPECT_EQ(f.runs[2].params, (std::vector<std::string>{"c", "3"}));
  EXPECT_EQ(s_.sc_rowsAffected, 2);
  EXPECT_EQ(f.prepares, 1);
  EXPECT_EQ(Messages(), (std::vector<std::string>{"S1000"})) << "the server's refusal";
  EXPECT_EQ(Keyset(), std::vector<uint16_t>(10, OK)) << "an add leaves the keyset";
}

TEST_F(PosOpsTest, BookmarkOperations) {
  DrvHandle h = user_;
  userCur_.scs = s_;  // the hooks find the cursor's context through its handle
  SCS& s = userCur_.scs;
  s.sc_flags |= SCS_F_PREPARED;
  uint32_t marks[] = {5, 2, 9};
  uint16_t* st = nullptr;
  uint16_t n = 0;
  RowStatusTable* table = nullptr;
  f.gone = {"102"};
  EXPECT_EQ(SCS_BulkOperations(h, SQL_UPDATE_BY_BOOKMARK, marks, 3,
                               TextRows({{"e"}, {"b"}, {"i"}}), Columns({1}), 1, &st, &n, &table),
            ERR_MANY_ROWS_CHANGED);
  ASSERT_NE(st, nullptr);
  EXPECT_EQ((std::vector<uint16_t>{st[0], st[1], st[2]}), (std::vector<uint16_t>{UPD, ERR, UPD}));
  EXPECT_EQ(n, 3) << "a status for every bookmark";
  EXPECT_EQ(f.runs.at(0).params, (std::vector<std::string>{"e", "105"}));
  EXPECT_EQ(f.runs.at(2).params, (std::vector<std::string>{"i", "109"}));
  std::free(st);
  f = Fake{};
  EXPECT_EQ(SCS_BulkOperations(h, SQL_DELETE_BY_BOOKMARK, marks, 3, nullptr, nullptr, 0, &st, &n,
                               &table),
            0);
  EXPECT_EQ((std::vector<uint16_t>{st[0], st[1], st[2]}), (std::vector<uint16_t>{DEL, DEL, DEL}));
  EXPECT_EQ(s.sc_keyset->rowStatus[8], DEL);
  std::free(st);
  uint32_t outside[] = {11};
  EXPECT_EQ(SCS_BulkOperations(h, SQL_DELETE_BY_BOOKMARK, outside, 1, nullptr, nullptr, 0, &st, &n,
                               &table),
            ERR_GENERAL);
  std::free(st);
  EXPECT_EQ(SCS_BulkOperations(h, SQL_ADD, marks, 3, nullptr, nullptr, 0, &st, &n, &table),
            ERR_GENERAL);
  EXPECT_EQ(st, nullptr);
  s_ = s;  // TearDown frees what the context holds
  userCur_.scs = SCS{};
}

// Rows fetched by bookmarks come in the order of the bookmarks, whatever order
// the server gives them in; what follows addresses those rows, not a run of
// the keyset.
TEST_F(PosOpsTest, FetchByBookmarksDeliversTheRowsInBookmarkOrder) {
  userCur_.scs = s_;
  SCS& s = userCur_.scs;
  s.sc_flags |= SCS_F_PREPARED | SCS_F_KEYED_SELECT;  // the keyed SELECT is on the cursor
  f.gone = {"102"};
  uint32_t marks[] = {5, 2, 9};
  uint16_t* st = nullptr;
  uint16_t n = 0;
  RowStatusTable* table = nullptr;
  auto rowset = [&table] {
    std::vector<std::string> out;
    for (int32_t r = 0; r < table->rows->rowCount; ++r) {
      char buf[16] = {};
      uint32_t len = sizeof buf - 1;
      EXPECT_EQ(DatasetGetValue(table->rows, static_cast<uint32_t>(r), 0, buf, &len), 0);
      out.push_back(table->rows->cols[0].ind[r] == DS_IND_NULL ? "~" : std::string(buf));
    }
    return out;
  };
  ASSERT_EQ(SCS_BulkOperations(user_, SQL_FETCH_BY_BOOKMARK, marks, 3, nullptr, nullptr, 0, &st,
                               &n, &table),
            0);
  ASSERT_NE(table, nullptr);
  EXPECT_EQ(table->rows->colCount, 1) << "the key column behind the select list is dropped";
  EXPECT_EQ(rowset(), (std::vector<std::string>{"r105", "~", "r109"}));
  EXPECT_EQ((std::vector<uint16_t>{st[0], st[1], st[2]}), (std::vector<uint16_t>{OK, DEL, OK}));
  EXPECT_EQ((std::vector<uint16_t>{table->status[0], table->status[1], table->status[2]}),
            (std::vector<uint16_t>{OK, DEL, OK}));
  EXPECT_EQ(n, 3);
  ASSERT_EQ(f.runs.size(), 1u) << "one key block";
  EXPECT_EQ(f.runs[0].params, (std::vector<std::string>{"105", "102", "109"}));
  EXPECT_EQ(s.sc_keyset->rowStatus[1], DEL) << "the keyset remembers the row is gone";
  EXPECT_EQ(s.sc_rowsetStart, SCS_START_UNKNOWN);
  std::free(st);
  RowStatusTableFree(&table);

  // SetPos names the rows fetched: row 3 is bookmark 9; the whole rowset is 5, 2, 9.
  f.runs.clear();
  int32_t count = 0;
  ASSERT_EQ(scs_p_SetPosOp(&s, 3, SQL_DELETE, &st, &count, nullptr, nullptr), 0);
  EXPECT_EQ(f.runs.at(0).params, (std::vector<std::string>{"109"}));
  EXPECT_EQ(s.sc_keyset->rowStatus[8], DEL);
  std::free(st);
  f.runs.clear();
  ASSERT_EQ(scs_p_SetPosOp(&s, SCS_POS_NO_ROW, SQL_UPDATE,
                           &st, &count, TextRows({{"a"}, {"b"}, {"c"}}), Columns({1})),
            ERR_MANY_ROWS_CHANGED);
  ASSERT_EQ(f.runs.size(), 3u);
  EXPECT_EQ(f.runs[0].params, (std::vector<std::string>{"a", "105"}));
  EXPECT_EQ(f.runs[2].params, (std::vector<std::string>{"c", "109"}));
  EXPECT_EQ(count, 3);
  std::free(st);
  // So do the bookmark operations.
  f.runs.clear();
  uint32_t one[] = {5};
  ASSERT_EQ(SCS_BulkOperations(user_, SQL_DELETE_BY_BOOKMARK, one, 1, nullptr, nullptr, 0, &st, &n,
                               &table),
            0);
  EXPECT_EQ(f.runs.at(0).params, (std::vector<std::string>{"105"}));
  std::free(st);

  // A bookmark given twice shares its row; one past the keyset fetches nothing.
  uint32_t twice[] = {4, 4, 1};
  ASSERT_EQ(SCS_BulkOperations(user_, SQL_FETCH_BY_BOOKMARK, twice, 3, nullptr, nullptr, 0, &st,
                               &n, &table),
            0);
  EXPECT_EQ(rowset(), (std::vector<std::string>{"r104", "r104", "r101"}));
  std::free(st);
  RowStatusTableFree(&table);
  uint32_t outside[] = {11};
  EXPECT_EQ(SCS_BulkOperations(user_, SQL_FETCH_BY_BOOKMARK, outside, 1, nullptr, nullptr, 0, &st,
                               &n, &table),
            ERR_GENERAL);
  EXPECT_EQ(table, nullptr);
  std::free(st);
  s_ = s;
  userCur_.scs = SCS{};
}

// A value sent at execution in pieces: SetPos waits for it, the agent
// collects it, and its last ParamData runs the update.
TEST_F(PosOpsTest, ValuesSentAtExecutionResumeTheUpdate) {
  userCur_.scs = s_;
  SCS& s = userCur_.scs;
  s.sc_flags |= SCS_F_PREPARED;
  Dataset* rows = TextRows({{"x"}});
  rows->cols[0].ind[0] = DS_IND_DAE;
  uint16_t* st = nullptr;
  int32_t n = -1;
  EXPECT_EQ(SCS_SetPos(user_, 2, SQL_UPDATE, 0, &st, &n, rows, Columns({1}), 1), ERR_NEED_DAE);
  EXPECT_EQ(st, nullptr);
  EXPECT_TRUE(f.runs.empty());
  int32_t index = -1, row = -1;
  EXPECT_EQ(INF_ParamData(user_, &index, &row, &st, &n), ERR_NEED_DAE);
  EXPECT_EQ(index, 0);
  EXPECT_EQ(row, 0);
  EXPECT_EQ(INF_PutData(user_, DS_CHAR, 0, "ab", 2), 0);
  EXPECT_EQ(INF_PutData(user_, DS_CHAR, 0, "cd", 2), 0);
  EXPECT_EQ(INF_ParamData(user_, &index, &row, &st, &n), 0);
  ASSERT_EQ(f.runs.size(), 1u);
  EXPECT_EQ(f.runs[0].params, (std::vector<std::string>{"abcd", "105"}));
  ASSERT_NE(st, nullptr);
  EXPECT_EQ(n, 1);
  EXPECT_EQ(st[0], UPD);
  std::free(st);
  EXPECT_EQ(s.sc_setPosRows, nullptr) << "the operation freed its request";

  // A dialogue given up half way: the next SetPos drops the waiting request.
  rows = TextRows({{"y"}});
  rows->cols[0].ind[0] = DS_IND_DAE;
  EXPECT_EQ(SCS_SetPos(user_, 1, SQL_UPDATE, 0, &st, &n, rows, Columns({1}), 1), ERR_NEED_DAE);
  EXPECT_EQ(SCS_SetPos(user_, 1, SQL_DELETE, 0, &st, &n, nullptr, nullptr, 0), 0);
  EXPECT_EQ(f.runs.back().sql, "DELETE FROM owner.t WHERE id = ?");
  std::free(st);
  s.sc_flags &= static_cast<uint16_t>(~SCS_F_PREPARED);
  EXPECT_EQ(SCS_SetPos(user_, 1, SQL_DELETE, 0, &st, &n, nullptr, nullptr, 0), ERR_CURSOR_STATE);
  s_ = s;
  userCur_.scs = SCS{};
}

}  // namespace
