// Tests of lock concurrency in the cursor layer over an agent that takes it:
// the table t (id key, name) lives in the fake, which runs the layer's
// generated statements against it (key selects, keyed row selects, the
// UPDATE that takes a row's lock) and answers, when a test says so, that the
// layer is to lock rows itself (DRVP_LOCK_ROWS).

#include <gtest/gtest.h>
#include <sqlext.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <set>
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
#include "scrs/dsc.h"
#include "scrs/ks.h"
#include "scrs/scr_ops.h"
#include "scrs/scs_p.h"

namespace {

struct Cursor {
  std::string sql;
  std::vector<int32_t> params;
  std::vector<int32_t> result;  // the ids of the rows found, in id order
  size_t next = 0;
  Dataset* catalog = nullptr;
  int32_t count = 0;
  bool open = false;
};

struct LockAgent {
  std::map<int32_t, std::string> rows;  // the table t
  std::set<int32_t> heldElsewhere;      // rows another session has locked
  std::map<DriverPropId, int32_t> ints;
  std::map<DrvHandle, Cursor> cursors;
  std::vector<std::string> prepared;  // every statement, in order
  std::vector<std::vector<int32_t>> updates;  // the parameters of every UPDATE run
};
LockAgent g;

Dataset* NewDataset() { return static_cast<Dataset*>(std::calloc(1, sizeof(Dataset))); }

void FreeDs(Dataset* ds) {
  if (ds == nullptr) return;
  DatasetFree(ds);
  std::free(ds);
}

// A catalog result of text columns (S) and 16- or 32-bit ones (s, i).
Dataset* Catalog(const std::string& types, const std::vector<std::string>& row) {
  Dataset* ds = NewDataset();
  EXPECT_EQ(DatasetInit(ds, static_cast<uint16_t>(types.size())), 0);
  ds->colCount = static_cast<uint16_t>(types.size());
  for (size_t c = 0; c < types.size(); ++c) {
    ds->cols[c].type = types[c] == 'S' ? DS_STRING : types[c] == 's' ? DS_SMALLINT : DS_INTEGER;
    ds->cols[c].width = types[c] == 'S' ? 129 : types[c] == 's' ? 2 : 4;
  }
  EXPECT_EQ(DatasetSetRows(ds, 1), 0);
  for (size_t c = 0; c < types.size(); ++c) {
    DatasetColumn& col = ds->cols[c];
    col.ind[0] = 0;
    if (types[c] == 'S') {
      std::memcpy(col.data, row[c].c_str(), row[c].size() + 1);
    } else if (types[c] == 's') {
      const auto n = static_cast<int16_t>(std::stoi(row[c]));
      std::memcpy(col.data, &n, 2);
    } else {
      const int32_t n = std::stoi(row[c]);
      std::memcpy(col.data, &n, 4);
    }
  }
  ds->rowCount = 1;
  return ds;
}

int32_t catalog(DrvHandle h, Dataset* result) {
  Cursor& c = g.cursors[h];
  FreeDs(c.catalog);
  c.catalog = result;
  return 0;
}

int32_t dd_tables(DrvHandle h, const DDTablesArgs*) {
  return catalog(h, Catalog("SSSSS", {"", "informix", "t", "TABLE", ""}));
}
int32_t dd_special(DrvHandle h, const DDSpecialColumnArgs*) {
  return catalog(h, Catalog("sSsSiiss", {"2", "id", "4", "integer", "10", "4", "0", "1"}));
}

int32_t get_info(DrvHandle h, DriverPropId id, void* buf, uint16_t, uint16_t* len) {
  int32_t v = 0;
  if (id == DRVP_ROW_COUNT) {
    v = g.cursors[h].count;
  } else if (auto i = g.ints.find(id); i != g.ints.end()) {
    v = i->second;
  } else {
    return ERR_NOT_SUPPORTED;
  }
  std::memcpy(buf, &v, 4);
  *len = 4;
  return 0;
}

int32_t set_option(DrvHandle h, DriverPropId id, const void* value) {
  const int32_t v = *static_cast<const int32_t*>(value);
  // The options of a cursor land in its context, as the agent puts them.
  if (auto* cur = static_cast<InfCursor*>(HandleLookup(&INF_CursorHandles, h))) {
    if (id == DRVP_STMT_OPTION + SQL_CURSOR_TYPE) cur->scs.sc_cursorType = v;
    if (id == DRVP_STMT_OPTION + SQL_CONCURRENCY) cur->scs.sc_concurrency = v;
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
  g.cursors[*hCursor] = Cursor{};
  return 0;
}

int32_t end_cursor(DrvHandle h) {
  FreeDs(g.cursors[h].catalog);
  g.cursors.erase(h);
  auto* cur = static_cast<InfCursor*>(HandleLookup(&INF_CursorHandles, h));
  ErrListClear(&cur->errors);
  delete cur;
  HandleFree(&INF_CursorHandles, h);
  return 0;
}

// A statement with its runs of blanks made one, as the layer's regenerated
// texts are compared below.
std::string Squeezed(const char* sql) {
  std::string out;
  for (const char* p = sql; *p != '\0'; ++p)
    if (*p != ' ' || (!out.empty() && out.back() != ' ')) out += *p;
  while (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

int32_t prepare(DrvHandle h, const char* sql) {
  g.prepared.push_back(Squeezed(sql));
  Cursor& c = g.cursors[h];
  c.sql = g.prepared.back();
  c.params.clear();
  c.open = false;
  static_cast<InfCursor*>(HandleLookup(&INF_CursorHandles, h))->flags |= CF_PREPARED;
  return 0;
}

int32_t set_params(DrvHandle h, Dataset* ds) {
  Cursor& c = g.cursors[h];
  c.params.clear();
  for (uint16_t col = 0; col < ds->colCount; ++col) {
    int32_t v = 0;
    EXPECT_EQ(ds->cols[col].type, DS_INTEGER);
    std::memcpy(&v, ds->cols[col].data, 4);
    c.params.push_back(v);
  }
  FreeDs(ds);
  return 0;
}

int32_t set_param_types(DrvHandle, uint16_t, const ParamShadow*) { return 0; }

int32_t execute(DrvHandle h) {
  Cursor& c = g.cursors[h];
  c.count = 0;
  if (c.sql.rfind("UPDATE", 0) == 0) {
    g.updates.push_back(c.params);
    const int32_t id = c.params.at(1);
    if (g.heldElsewhere.count(id) != 0) {
      INF_CursorSetError(h, ERR_GENERAL);
      return ERR_GENERAL;
    }
    c.count = g.rows.count(id) != 0 ? 1 : 0;
    return 0;
  }
  // A SELECT: by the keys it is given, or all of the table.
  c.result.clear();
  for (const auto& [id, name] : g.rows)
    if (c.sql.find('?') == std::string::npos ||
        std::find(c.params.begin(), c.params.end(), id) != c.params.end())
      c.result.push_back(id);
  c.next = 0;
  c.open = true;
  return 0;
}

int32_t close_cursor(DrvHandle h) {
  g.cursors[h].open = false;
  return 0;
}

// The rows of a SELECT, laid out by its select list: an item naming id is
// the key, one naming name the row's text.
int32_t fetch(DrvHandle h, uint16_t n, Dataset* ds) {
  Cursor& c = g.cursors[h];
  DatasetFree(ds);
  if (c.catalog != nullptr) {
    *ds = *c.catalog;
    std::free(c.catalog);
    c.catalog = nullptr;
    return 0;
  }
  const size_t from = c.sql.find("SELECT ") + 7;
  const std::string list = c.sql.substr(from, c.sql.find(" FROM ") - from);
  std::vector<bool> isId;
  for (size_t at = 0; at != std::string::npos;) {
    const size_t comma = list.find(", ", at);
    const std::string item = list.substr(at, comma == std::string::npos ? comma : comma - at);
    isId.push_back(item.size() >= 2 && item.compare(item.size() - 2, 2, "id") == 0);
    at = comma == std::string::npos ? comma : comma + 2;
  }
  const auto rows = static_cast<int32_t>(std::min<size_t>(n, c.result.size() - c.next));
  if (rows <= 0) return DatasetInit(ds, 0);
  EXPECT_EQ(DatasetInit(ds, static_cast<uint16_t>(isId.size())), 0);
  ds->colCount = static_cast<uint16_t>(isId.size());
  for (size_t k = 0; k < isId.size(); ++k)
    ds->cols[k] = isId[k] ? DatasetColumn{DS_INTEGER, 4, nullptr, nullptr}
                          : DatasetColumn{DS_CHAR, 10, nullptr, nullptr};
  EXPECT_EQ(DatasetSetRows(ds, rows), 0);
  for (int32_t r = 0; r < rows; ++r) {
    const int32_t id = c.result[c.next++];
    for (size_t k = 0; k < isId.size(); ++k) {
      DatasetColumn& col = ds->cols[k];
      if (isId[k]) {
        std::memcpy(col.data + 4 * r, &id, 4);
      } else {
        const std::string& name = g.rows[id];
        std::memset(col.data + 10 * r, ' ', 10);
        std::memcpy(col.data + 10 * r, name.data(), std::min<size_t>(name.size(), 10));
      }
      col.ind[r] = 0;
    }
  }
  ds->rowCount = rows;
  return 0;
}

int32_t describe_columns(DrvHandle, uint16_t* count, ColumnInfo** cols) {
  *count = 2;
  *cols = ColumnInfoAlloc(2);
  if (*cols == nullptr) return ERR_MEMORY;
  std::snprintf((*cols)[0].name, sizeof (*cols)[0].name, "id");
  (*cols)[0].sqlType = SQL_INTEGER;
  (*cols)[0].bindType = DS_INTEGER;
  (*cols)[0].octetLength = 4;
  std::snprintf((*cols)[1].name, sizeof (*cols)[1].name, "name");
  (*cols)[1].sqlType = SQL_CHAR;
  (*cols)[1].bindType = DS_CHAR;
  (*cols)[1].octetLength = 10;
  return 0;
}

DriverOps AgentOps() {
  DriverOps ops{};
  ops.DRV_GetInfo = get_info;
  ops.DRV_SetOption = set_option;
  ops.DRV_AllocCursor = alloc_cursor;
  ops.DRV_EndCursor = end_cursor;
  ops.DRV_Prepare = prepare;
  ops.DRV_SetParams = set_params;
  ops.DRV_SetParamTypes = set_param_types;
  ops.DRV_Execute = execute;
  ops.DRV_CloseCursor = close_cursor;
  ops.DRV_Fetch = fetch;
  ops.DRV_DescribeColumns = describe_columns;
  ops.DRV_DDTables = dd_tables;
  ops.DRV_DDSpecialColumns = dd_special;
  return ops;
}
const DriverOps kAgentOps = AgentOps();

const DriverOps& Layer() {
  static DriverRecord rec = [] {
    DriverRecord r{DRV_CAP_THREADSAFE, &kAgentOps};
    SCR_Interpose(&r);
    return r;
  }();
  return *rec.ops;
}

// A cursor of the given type under lock concurrency over t with ids 1 to 7,
// on an agent that takes lock concurrency and, with `byUpdate`, asks the layer
// to lock rows itself.
class LockTest : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    g = LockAgent{};
    for (int32_t id = 1; id <= 7; ++id) g.rows[id] = "r" + std::to_string(id);
    g.ints[DRVP_PARAM_OP] = 1;
    g.ints[DRVP_MAX_PARAMS] = 255;
    g.ints[DRVP_GETINFO_INT + SQL_IDENTIFIER_CASE] = SQL_IC_LOWER;
    g.ints[DRVP_GETINFO_INT + SQL_SCROLL_CONCURRENCY] =
        SQL_SCCO_READ_ONLY | SQL_SCCO_LOCK | SQL_SCCO_OPT_VALUES;
    if (GetParam()) g.ints[DRVP_LOCK_ROWS] = 1;
    ASSERT_EQ(HandleTableInit(&INF_CursorHandles, HTAG_CURSOR), 0);
    ASSERT_EQ(HandleTableInit(&INF_ConnHandles, HTAG_CONN), 0);
    ASSERT_EQ(HandleAlloc(&INF_ConnHandles, &hConn_, &conn_), 0);
    ASSERT_EQ(Layer().DRV_AllocCursor(hConn_, &h_), 0);
    scs_ = &static_cast<InfCursor*>(HandleLookup(&INF_CursorHandles, h_))->scs;
  }
  void TearDown() override {
    EXPECT_EQ(Layer().DRV_EndCursor(h_), 0);
    HandleTableDestroy(&INF_CursorHandles);
    HandleTableDestroy(&INF_ConnHandles);
  }
  int32_t Open(int32_t type, int32_t rowset) {
    const int32_t lock = SQL_CONCUR_LOCK;
    EXPECT_EQ(Layer().DRV_SetOption(h_, DRVP_STMT_OPTION + SQL_CURSOR_TYPE, &type), 0);
    EXPECT_EQ(Layer().DRV_SetOption(h_, DRVP_STMT_OPTION + SQL_CONCURRENCY, &lock), 0);
    scs_->sc_rowsetSize = rowset;
    return Layer().DRV_PrepareExecute(h_, "SELECT id, name FROM t", nullptr, 0, nullptr);
  }
  // The rowset at target: its ids (0 for an empty row) and statuses.
  int32_t Rowset(int32_t target, std::vector<int32_t>* ids, std::vector<uint16_t>* st) {
    RowStatusTable* t = nullptr;
    int32_t rows = 0, count = 0;
    const int32_t rc =
        Layer().DRV_ExtendedFetch2(h_, &t, target, &rows, &count, SQL_FETCH_ABSOLUTE);
    ids->clear();
    st->clear();
    if (rc != 0) return rc;
    for (int32_t r = 0; r < t->rows->rowCount; ++r) {
      int32_t v = 0;
      if (t->rows->cols[0].ind[r] != DS_IND_NULL) std::memcpy(&v, t->rows->cols[0].data + 4 * r, 4);
      ids->push_back(v);
    }
    st->assign(t->status, t->status + rows);
    RowStatusTableFree(&t);
    return 0;
  }
  // The statements prepared on the user's cursor that read rows.
  std::vector<std::string> Reads() const {
    std::vector<std::string> out;
    for (const std::string& s : g.prepared)
      if (s.rfind("SELECT id, name", 0) == 0 && s != "SELECT id, name FROM t") out.push_back(s);
    return out;
  }
  std::vector<int32_t> LockedIds() const {
    std::vector<int32_t> out;
    for (const auto& p : g.updates) {
      EXPECT_EQ(p.size(), 2u);
      EXPECT_EQ(p[0], p[1]) << "the key is set to itself";
      out.push_back(p.at(1));
    }
    return out;
  }
  bool ByUpdate() const { return GetParam(); }

  InfConn conn_;
  DrvHandle hConn_ = 0, h_ = 0;
  SCS* scs_ = nullptr;
};

constexpr uint16_t OK = SQL_ROW_SUCCESS, DEL = SQL_ROW_DELETED;

TEST_P(LockTest, LockConcurrencyIsOfferedWhereTheAgentTakesIt) {
  for (const uint16_t item : {SQL_STATIC_CURSOR_ATTRIBUTES2, SQL_KEYSET_CURSOR_ATTRIBUTES2,
                              SQL_DYNAMIC_CURSOR_ATTRIBUTES2}) {
    int32_t v = 0;
    uint16_t len = 0;
    ASSERT_EQ(Layer().DRV_GetInfo(hConn_, DRVP_GETINFO_INT + item, &v, 4, &len), 0);
    EXPECT_NE(v & SQL_CA2_LOCK_CONCURRENCY, 0) << item;
  }
  int32_t v = 0;
  uint16_t len = 0;
  ASSERT_EQ(Layer().DRV_GetInfo(hConn_, DRVP_GETINFO_INT + SQL_SCROLL_CONCURRENCY, &v, 4, &len), 0);
  EXPECT_EQ(v, SQL_SCCO_READ_ONLY | SQL_SCCO_LOCK | SQL_SCCO_OPT_VALUES);
  // Without it, no cursor type says it locks.
  g.ints.erase(DRVP_GETINFO_INT + SQL_SCROLL_CONCURRENCY);
  ASSERT_EQ(Layer().DRV_GetInfo(hConn_, DRVP_GETINFO_INT + SQL_SCROLL_CONCURRENCY, &v, 4, &len), 0);
  EXPECT_EQ(v & SQL_SCCO_LOCK, 0);
  ASSERT_EQ(Layer().DRV_GetInfo(hConn_, DRVP_GETINFO_INT + SQL_KEYSET_CURSOR_ATTRIBUTES2, &v, 4,
                                &len),
            0);
  EXPECT_EQ(v & SQL_CA2_LOCK_CONCURRENCY, 0);
}

TEST_P(LockTest, StaticCursorLocksEveryRowAsItReadsThem) {
  ASSERT_EQ(Open(SQL_CURSOR_STATIC, 3), 0);
  // Served as asked, read in key order with its keys.
  EXPECT_EQ(scs_->sc_concurrency, SQL_CONCUR_LOCK);
  EXPECT_EQ(scs_->sc_flags & SCS_F_DOWNGRADED, 0);
  EXPECT_EQ(scs_->sc_rowCount, 7);
  ASSERT_EQ(scs_->sc_keyset->rowStatusCount, 7);
  if (ByUpdate()) {
    EXPECT_EQ(Reads(), (std::vector<std::string>{"SELECT id, name FROM t ORDER BY id"}));
    EXPECT_EQ(LockedIds(), (std::vector<int32_t>{1, 2, 3, 4, 5, 6, 7}));
    EXPECT_EQ(g.prepared.back(), "UPDATE informix.t SET id = ? WHERE id = ?");
  } else {
    EXPECT_EQ(Reads(), (std::vector<std::string>{"SELECT id, name FROM t ORDER BY id FOR UPDATE"}));
    EXPECT_TRUE(g.updates.empty());
  }
  // Its rows stay locked while the statement's cursor is open.
  EXPECT_TRUE(g.cursors[h_].open);

  std::vector<int32_t> ids;
  std::vector<uint16_t> st;
  g.rows.erase(5);  // the static set is the result as it was read
  ASSERT_EQ(Rowset(4, &ids, &st), 0);
  EXPECT_EQ(ids, (std::vector<int32_t>{4, 5, 6}));
  EXPECT_EQ(st, (std::vector<uint16_t>{OK, OK, OK}));
}

TEST_P(LockTest, StaticCursorFailsWhenARowCannotBeLocked) {
  g.heldElsewhere = {4};
  const int32_t rc = Open(SQL_CURSOR_STATIC, 3);
  if (!ByUpdate()) {
    // The server's FOR UPDATE takes the locks; nothing here asks for them.
    EXPECT_EQ(rc, 0);
    return;
  }
  EXPECT_EQ(rc, ERR_ROW);
  EXPECT_EQ(LockedIds(), (std::vector<int32_t>{1, 2, 3, 4})) << "the first refusal ends it";
}

TEST_P(LockTest, StaticCursorLocksKeysKeptInItsTemporaryFiles) {
  if (!ByUpdate()) GTEST_SKIP() << "the server locks what it reads for update";
  constexpr int32_t kRows = DSC_MEMORY_ROWS + 1000;
  for (int32_t id = 8; id <= kRows; ++id) g.rows[id] = "r" + std::to_string(id);
  ASSERT_EQ(Open(SQL_CURSOR_STATIC, 10), 0);
  ASSERT_EQ(scs_->sc_keyset->cache.state, DSC_SPILLED);
  std::vector<int32_t> all(kRows);
  for (int32_t i = 0; i < kRows; ++i) all[i] = i + 1;
  EXPECT_EQ(LockedIds(), all);
  std::vector<int32_t> ids;
  std::vector<uint16_t> st;
  ASSERT_EQ(Rowset(kRows - 1, &ids, &st), 0);
  EXPECT_EQ(ids, (std::vector<int32_t>{kRows - 1, kRows}));
}

TEST_P(LockTest, KeysetCursorLocksTheRowsOfEachRowset) {
  ASSERT_EQ(Open(SQL_CURSOR_KEYSET_DRIVEN, 3), 0);
  EXPECT_EQ(scs_->sc_concurrency, SQL_CONCUR_LOCK);
  g.prepared.clear();
  g.rows.erase(2);  // another user removed it since the keyset was read
  std::vector<int32_t> ids;
  std::vector<uint16_t> st;
  ASSERT_EQ(Rowset(1, &ids, &st), 0);
  EXPECT_EQ(ids, (std::vector<int32_t>{1, 0, 3}));
  EXPECT_EQ(st, (std::vector<uint16_t>{OK, DEL, OK}));
  const std::string keyed =
      "SELECT id, name, id FROM t WHERE ( id IN (?, ?, ?) ) ORDER BY id";
  if (ByUpdate()) {
    EXPECT_EQ(Reads(), (std::vector<std::string>{keyed}));
    EXPECT_EQ(LockedIds(), (std::vector<int32_t>{1, 3})) << "a deleted row has no lock to take";
    EXPECT_FALSE(g.cursors[h_].open);
  } else {
    EXPECT_EQ(Reads(), (std::vector<std::string>{keyed + " FOR UPDATE"}));
    EXPECT_TRUE(g.updates.empty());
    EXPECT_TRUE(g.cursors[h_].open) << "closing it would give the locks up";
  }

  // The next rowset locks its own rows; the statement is prepared once.
  g.updates.clear();
  ASSERT_EQ(Rowset(4, &ids, &st), 0);
  EXPECT_EQ(ids, (std::vector<int32_t>{4, 5, 6}));
  EXPECT_EQ(Reads().size(), 1u);
  if (ByUpdate()) {
    EXPECT_EQ(LockedIds(), (std::vector<int32_t>{4, 5, 6}));
  }

  // A row another session holds fails the fetch (01S01) where the layer locks.
  g.updates.clear();
  g.heldElsewhere = {7};
  EXPECT_EQ(Rowset(5, &ids, &st), ByUpdate() ? ERR_ROW : 0);
}

TEST_P(LockTest, MissingRowsAreFoundByTheirKeys) {
  ASSERT_EQ(Open(SQL_CURSOR_KEYSET_DRIVEN, 4), 0);
  KS* ks = scs_->sc_keyset;
  g.rows.erase(2);
  g.rows.erase(4);
  g.prepared.clear();

  // The keys of one rowset from keyset row 1 on that still find a row.
  Dataset* back = nullptr;
  ASSERT_EQ(KS_FetchRowsByKeys(scs_, ks->keys, 1, &back), 0);
  ASSERT_NE(back, nullptr);
  std::vector<int32_t> found;
  for (int32_t r = 0; r < back->rowCount; ++r) {
    int32_t v = 0;
    std::memcpy(&v, back->cols[0].data + 4 * r, 4);
    found.push_back(v);
  }
  EXPECT_EQ(found, (std::vector<int32_t>{3, 5}));
  FreeDs(back);
  EXPECT_EQ(g.prepared,
            (std::vector<std::string>{
                "SELECT id FROM t WHERE ( id IN (?, ?, ?, ?) ) ORDER BY id"}));
  ASSERT_EQ(KS_FetchRowsByKeys(scs_, ks->keys, 3, &back), 0);
  FreeDs(back);
  EXPECT_EQ(g.prepared.size(), 1u) << "prepared once for every later rowset";

  // Rows 1, 3 and 5 came back for keyset rows 0 to 3 (ids 1 to 4): empty rows
  // take the places of ids 2 and 4, which read deleted.
  Dataset* rows = NewDataset();
  ASSERT_EQ(DatasetInit(rows, 1), 0);
  rows->colCount = 1;
  rows->cols[0] = DatasetColumn{DS_INTEGER, 4, nullptr, nullptr};
  ASSERT_EQ(DatasetSetRows(rows, 4), 0);
  for (int32_t r = 0; r < 2; ++r) {
    const int32_t id = r == 0 ? 1 : 3;
    std::memcpy(rows->cols[0].data + 4 * r, &id, 4);
    rows->cols[0].ind[r] = 0;
  }
  rows->rowCount = 2;
  ASSERT_EQ(scs_p_MarkMissingRows(scs_, rows, ks->keys, 0, ks->windowStart, ks->rowStatus), 0);
  ASSERT_EQ(rows->rowCount, 4);
  std::vector<int32_t> laid;
  for (int32_t r = 0; r < 4; ++r) {
    int32_t v = 0;
    if (rows->cols[0].ind[r] != DS_IND_NULL) std::memcpy(&v, rows->cols[0].data + 4 * r, 4);
    laid.push_back(v);
  }
  EXPECT_EQ(laid, (std::vector<int32_t>{1, 0, 3, 0}));
  EXPECT_EQ(std::vector<uint16_t>(ks->rowStatus, ks->rowStatus + 5),
            (std::vector<uint16_t>{OK, DEL, OK, DEL, OK}));
  FreeDs(rows);

  // Rows it cannot hold, or no keys to compare with, are refused.
  EXPECT_EQ(scs_p_MarkMissingRows(scs_, nullptr, ks->keys, 0, 0, ks->rowStatus), ERR_GENERAL);
  EXPECT_EQ(scs_p_MarkMissingRows(scs_, ks->keys, ks->keys, 9, 0, ks->rowStatus), ERR_GENERAL);
  EXPECT_EQ(KS_FetchRowsByKeys(scs_, ks->keys, -1, &back), ERR_GENERAL);
}

INSTANTIATE_TEST_SUITE_P(Lock, LockTest, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& p) {
                           return p.param ? std::string("LayerLocksByUpdate")
                                          : std::string("ServerLocksForUpdate");
                         });

}  // namespace
