// Tests of row versions over an agent fake that keeps the version table in
// memory and answers the statements the versions run on their own connection.

#include "scrs/rvc.h"

#include <gtest/gtest.h>
#include <sqlext.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "drv/dataset.h"
#include "drv/errtab.h"
#include "drv/scs.h"
#include "drv_inf/inf_error.h"
#include "drv_inf/inf_types.h"
#include "scrs/scs_p.h"

#if defined(__SANITIZE_ADDRESS__)
#define KES_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KES_ASAN 1
#endif
#endif
#ifndef KES_ASAN
#define KES_ASAN 0
#endif
#if KES_ASAN
// The address sanitizer's runtime (not every compiler installs its header).
extern "C" size_t __sanitizer_get_current_allocated_bytes();
#endif

namespace {

struct VersionRow {
  std::string hconn, hcurs, keyver, rowver;
};

struct Fake {
  std::vector<VersionRow> table;
  bool tableExists = true;
  bool sessionFails = false;
  bool noSessionList = false;  // the server has no sysmaster:syssessions
  uint32_t nextSession = 0x5E550001;
  std::map<DrvHandle, uint32_t> sessionOf;  // connection -> server session
  std::set<uint32_t> live;                  // sessions the server has
  std::map<DrvHandle, std::string> sql;     // cursor -> prepared text
  std::map<DrvHandle, std::vector<std::string>> params;
  std::map<DrvHandle, std::vector<std::string>> result;
  std::map<DrvHandle, int32_t> rowCount;
  std::map<DrvHandle, size_t> fetched;  // rows of the result already fetched
  std::vector<std::string> executed;    // first word of each statement run
  std::vector<int> typeCounts;        // DRV_SetParamTypes counts
  int connects = 0, endConnects = 0, endCursors = 0;
};
Fake f;

std::vector<std::string> texts_of(const Dataset* ds) {
  std::vector<std::string> out;
  for (uint16_t c = 0; c < ds->colCount; ++c) {
    EXPECT_EQ(ds->cols[c].type, DS_STRING);
    out.emplace_back(ds->cols[c].data, strnlen(ds->cols[c].data, ds->cols[c].width));
  }
  return out;
}

int32_t connect(DrvHandle, const DriverConnectParams*, DrvHandle* hConn) {
  auto* conn = new InfConn;
  if (HandleAlloc(&INF_ConnHandles, hConn, conn) != 0) return ERR_MEMORY;
  conn->handle = *hConn;
  f.sessionOf[*hConn] = f.nextSession++;
  f.live.insert(f.sessionOf[*hConn]);
  ++f.connects;
  return 0;
}

int32_t end_connect(DrvHandle h) {
  f.live.erase(f.sessionOf[h]);
  delete static_cast<InfConn*>(HandleLookup(&INF_ConnHandles, h));
  HandleFree(&INF_ConnHandles, h);
  ++f.endConnects;
  return 0;
}

int32_t alloc_cursor(DrvHandle hConn, DrvHandle* hCursor) {
  auto* cur = new InfCursor;
  cur->conn = static_cast<InfConn*>(HandleLookup(&INF_ConnHandles, hConn));
  return HandleAlloc(&INF_CursorHandles, hCursor, cur) == 0 ? 0 : ERR_MEMORY;
}

int32_t end_cursor(DrvHandle h) {
  auto* cur = static_cast<InfCursor*>(HandleLookup(&INF_CursorHandles, h));
  ErrListClear(&cur->errors);
  delete cur;
  HandleFree(&INF_CursorHandles, h);
  ++f.endCursors;
  return 0;
}

int32_t prepare(DrvHandle h, const char* sql) {
  f.sql[h] = sql;
  return 0;
}

int32_t set_params(DrvHandle h, Dataset* ds) {
  f.params[h] = texts_of(ds);
  DatasetFree(ds);
  std::free(ds);
  return 0;
}

int32_t set_param_types(DrvHandle, uint16_t count, const ParamShadow* types) {
  for (uint16_t i = 0; i < count; ++i) {
    EXPECT_EQ(types[i].sqlType, SQL_CHAR);
    EXPECT_EQ(types[i].columnSize, 32);
  }
  f.typeCounts.push_back(count);
  return 0;
}

// The cursor's HCONN and HCURS as the statement names them.
void owner_of(const std::string& sql, std::string* hconn, std::string* hcurs) {
  char c[9] = {}, k[9] = {};
  const char* at = std::strstr(sql.c_str(), "HCONN = '");
  if (at != nullptr) {
    EXPECT_EQ(std::sscanf(at, "HCONN = '%8[^']' AND HCURS = '%8[^']'", c, k), 2);
  } else {
    at = std::strstr(sql.c_str(), "VALUES ( '");
    EXPECT_EQ(std::sscanf(at, "VALUES ( '%8[^']', '%8[^']'", c, k), 2);
  }
  *hconn = c;
  *hcurs = k;
}

int32_t execute(DrvHandle h) {
  const std::string& sql = f.sql[h];
  const std::vector<std::string>& p = f.params[h];
  f.executed.push_back(sql.substr(0, sql.find(' ')));
  f.result[h].clear();
  f.fetched[h] = 0;
  f.rowCount[h] = -1;
  if (sql.find("DBINFO('sessionid')") != std::string::npos) {
    if (f.sessionFails) return ERR_GENERAL;
    auto* cur = static_cast<InfCursor*>(HandleLookup(&INF_CursorHandles, h));
    f.result[h].push_back(std::to_string(f.sessionOf[cur->conn->handle]));
    return 0;
  }
  auto fail = [h] {
    auto* cur = static_cast<InfCursor*>(HandleLookup(&INF_CursorHandles, h));
    ErrListSetCode(&cur->errors, ERR_GENERAL);
    return ERR_GENERAL;
  };
  if (sql.find("sysmaster:syssessions") != std::string::npos) {
    if (f.noSessionList) return fail();
    for (uint32_t s : f.live) f.result[h].push_back(std::to_string(s));
    return 0;
  }
  if (!f.tableExists) return fail();
  if (sql == "SELECT DISTINCT HCONN FROM DIVAZA") {
    std::set<std::string> owners;
    for (const VersionRow& r : f.table) owners.insert(r.hconn);
    f.result[h].assign(owners.begin(), owners.end());
    return 0;
  }
  if (sql.find("HCURS") == std::string::npos && sql.rfind("DELETE", 0) == 0) {
    const std::string c = sql.substr(sql.find('\'') + 1, 8);
    std::erase_if(f.table, [&](const VersionRow& r) { return r.hconn == c; });
    return 0;
  }
  std::string c, k;
  owner_of(sql, &c, &k);
  auto mine = [&](const VersionRow& r) { return r.hconn == c && r.hcurs == k; };
  if (sql.rfind("SELECT", 0) == 0) {
    for (const VersionRow& r : f.table)
      if (mine(r) && r.keyver == p.at(0)) f.result[h].push_back(r.rowver);
  } else if (sql.rfind("UPDATE", 0) == 0) {
    int32_t n = 0;
    for (VersionRow& r : f.table)
      if (mine(r) && r.keyver == p.at(1)) r.rowver = p.at(0), ++n;
    f.rowCount[h] = n;
  } else if (sql.rfind("INSERT", 0) == 0) {
    f.table.push_back({c, k, p.at(0), p.at(1)});
    f.rowCount[h] = 1;
  } else if (sql.rfind("DELETE", 0) == 0) {
    std::erase_if(f.table, mine);
  }
  return 0;
}

// Answers the result as one text column, or as an integer for a number.
int32_t fetch(DrvHandle h, uint16_t rows, Dataset* ds) {
  DatasetFree(ds);
  const std::vector<std::string>& res = f.result[h];
  const bool number = f.sql[h].find("DBINFO") != std::string::npos ||
                      f.sql[h].find("syssessions") != std::string::npos;
  EXPECT_EQ(DatasetInit(ds, 1), 0);
  ds->colCount = 1;
  ds->cols[0].type = number ? DS_INTEGER : DS_CHAR;
  ds->cols[0].width = number ? 4 : 33;
  // Each fetch goes on where the last one ended.
  size_t& at = f.fetched[h];
  const int32_t n = std::min<int32_t>(rows, static_cast<int32_t>(res.size() - at));
  EXPECT_EQ(DatasetSetRows(ds, n > 0 ? n : 1), 0);
  for (int32_t r = 0; r < n; ++r) {
    const std::string& v = res[at + r];
    if (number) {
      const int32_t x = static_cast<int32_t>(std::stoul(v));
      std::memcpy(ds->cols[0].data + 4 * r, &x, 4);
    } else {
      std::memcpy(ds->cols[0].data + 33 * r, v.data(), v.size());
    }
    ds->cols[0].ind[r] = 0;
  }
  ds->rowCount = n;
  at += static_cast<size_t>(n);
  return 0;
}

int32_t close_cursor(DrvHandle) { return 0; }

int32_t get_info(DrvHandle h, DriverPropId id, void* buf, uint16_t, uint16_t* len) {
  if (id != DRVP_ROW_COUNT) return ERR_NOT_SUPPORTED;
  std::memcpy(buf, &f.rowCount[h], 4);
  *len = 4;
  return 0;
}

DriverOps FakeOps() {
  DriverOps ops{};
  ops.DRV_GetInfo = get_info;
  ops.DRV_Connect = connect;
  ops.DRV_EndConnect = end_connect;
  ops.DRV_AllocCursor = alloc_cursor;
  ops.DRV_EndCursor = end_cursor;
  ops.DRV_Prepare = prepare;
  ops.DRV_SetParams = set_params;
  ops.DRV_SetParamTypes = set_param_types;
  ops.DRV_Execute = execute;
  ops.DRV_Fetch = fetch;
  ops.DRV_CloseCursor = close_cursor;
  return ops;
}
const DriverOps kFakeOps = FakeOps();
DriverRecord fakeDriver{DRV_CAP_THREADSAFE, &kFakeOps};

// Rows of one nullable text column and one long column; "~" stands for NULL.
struct Rows {
  Dataset ds{};
  explicit Rows(const std::vector<std::string>& values, const char* longValue = "") {
    EXPECT_EQ(DatasetInit(&ds, 2), 0);
    ds.colCount = 2;
    ds.cols[0].type = DS_CHAR;
    ds.cols[0].width = 9;
    ds.cols[1].type = DS_LONGCHAR;
    ds.cols[1].width = sizeof(DatasetLong);
    EXPECT_EQ(DatasetSetRows(&ds, static_cast<int32_t>(values.size())), 0);
    for (size_t r = 0; r < values.size(); ++r) {
      if (values[r] != "~") {
        std::memcpy(ds.cols[0].data + 9 * r, values[r].data(), values[r].size());
        ds.cols[0].ind[r] = 0;
      }
      auto* l = reinterpret_cast<DatasetLong*>(ds.cols[1].data + sizeof(DatasetLong) * r);
      l->length = static_cast<uint32_t>(std::strlen(longValue));
      l->data = strdup(longValue);
      ds.cols[1].ind[r] = 0;
    }
    ds.rowCount = static_cast<int32_t>(values.size());
  }
  ~Rows() { DatasetFree(&ds); }
};

std::string Hex8(uint32_t v) {
  char b[9];
  std::snprintf(b, sizeof b, "%08X", v);
  return b;
}

class RowVersionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    f = Fake{};
    ASSERT_EQ(HandleTableInit(&INF_CursorHandles, HTAG_CURSOR), 0);
    ASSERT_EQ(HandleTableInit(&INF_ConnHandles, HTAG_CONN), 0);
    // The layer's lock, without the layer's table: another fixture of this
    // program may make that table over its own agent.
    ownLock_ = SCR_ConnListLock.kind == 0;
    if (ownLock_) InitializeCriticalSection(&SCR_ConnListLock);
    savedBase_ = SCR_BaseDriver;
    SCR_BaseDriver = fakeDriver;
    DriverConnectParams params{};
    params.uid = params.pwd = "";
    ASSERT_EQ(SCS_Connect(0x10001, &params, &userConn_), 0);
    ASSERT_EQ(alloc_cursor(userConn_, &userCursor_), 0);
  }
  void TearDown() override {
    (void)end_cursor(userCursor_);
    EXPECT_EQ(SCS_EndConnect(userConn_), 0);
    SCR_BaseDriver = savedBase_;
    if (ownLock_) DeleteCriticalSection(&SCR_ConnListLock);
    HandleTableDestroy(&INF_CursorHandles);
    HandleTableDestroy(&INF_ConnHandles);
  }
  RVC Open(uint32_t describe = 0) {
    RVC rvc{};
    EXPECT_EQ(RVC_Open(&rvc, &fakeDriver, userConn_, userCursor_, describe), 0);
    return rvc;
  }
  std::vector<uint16_t> Check(RVC* rvc, const Rows& keys, const Rows& rows, int32_t want = 0) {
    std::vector<uint16_t> st(rows.ds.rowCount, 99);
    EXPECT_EQ(RVC_CheckRowset(rvc, &keys.ds, &rows.ds, st.data()), want);
    return st;
  }
  // The user cursor's messages, in order.
  std::vector<std::string> Messages() {
    std::vector<std::string> out;
    auto* cur = static_cast<InfCursor*>(HandleLookup(&INF_CursorHandles, userCursor_));
    for (InfError* e = cur->errors.head; e != nullptr; e = e->next) out.push_back(e->sqlstate);
    return out;
  }

  DriverRecord savedBase_{};
  bool ownLock_ = false;
  DrvHandle userConn_ = 0;
  DrvHandle userCursor_ = 0;
};

constexpr uint16_t S = SQL_ROW_SUCCESS, U = SQL_ROW_UPDATED;

TEST_F(RowVersionTest, RowsAreRecordedOnceAndChangesReportedOnce) {
  RVC rvc = Open();
  Rows keys({"k1", "k2", "k3"});
  EXPECT_EQ(Check(&rvc, keys, Rows({"a", "b", "c"})), (std::vector<uint16_t>{S, S, S}));
  ASSERT_EQ(f.table.size(), 3u);
  // The cursor's rows carry its separate session's number, not a handle of
  // this process, which another process may hold too.
  EXPECT_EQ(f.table[0].hconn, Hex8(0x5E550002));
  EXPECT_EQ(f.table[0].hcurs, Hex8(userCursor_));
  EXPECT_EQ(f.table[0].keyver.size(), 32u);

  f.executed.clear();
  EXPECT_EQ(Check(&rvc, keys, Rows({"a", "b", "c"})), (std::vector<uint16_t>{S, S, S}));
  EXPECT_EQ(f.executed, (std::vector<std::string>(3, "SELECT"))) << "unchanged rows write nothing";

  // A NULL where the empty value was, and a change confined to a long column.
  EXPECT_EQ(Check(&rvc, keys, Rows({"a", "", "c"})), (std::vector<uint16_t>{S, U, S}));
  EXPECT_EQ(Check(&rvc, keys, Rows({"a", "~", "c"})), (std::vector<uint16_t>{S, U, S}));
  EXPECT_EQ(Check(&rvc, keys, Rows({"a", "~", "c"}, "long")), (std::vector<uint16_t>{S, S, S}));
  EXPECT_EQ(f.table.size(), 3u);
  EXPECT_EQ(RVC_DeleteRows(&rvc), 0);
  EXPECT_TRUE(f.table.empty());
  EXPECT_EQ(RVC_Release(&rvc), 0);
}

TEST_F(RowVersionTest, DigestsTellNullEmptyAndShiftedValuesApart) {
  // Pairs of two-column rows that must digest differently.
  struct Case {
    std::vector<std::string> a, b;
  };
  const Case cases[] = {
      {{"~", "x"}, {"", "x"}},
      {{"ab", "c"}, {"a", "bc"}},
      {{"", "~"}, {"~", ""}},
  };
  for (const Case& c : cases) {
    Dataset ds{};
    ASSERT_EQ(DatasetInit(&ds, 2), 0);
    ds.colCount = 2;
    for (auto& col : std::span(ds.cols, 2)) col = DatasetColumn{DS_VARCHAR1, 9, nullptr, nullptr};
    ASSERT_EQ(DatasetSetRows(&ds, 2), 0);
    ds.rowCount = 2;
    const std::vector<std::string>* rows[] = {&c.a, &c.b};
    for (int r = 0; r < 2; ++r)
      for (int col = 0; col < 2; ++col) {
        const std::string& v = (*rows[r])[col];
        if (v == "~") continue;
        ds.cols[col].data[9 * r] = static_cast<char>(v.size());
        std::memcpy(ds.cols[col].data + 9 * r + 1, v.data(), v.size());
        ds.cols[col].ind[r] = 0;
      }
    uint8_t da[16], db[16], again[16];
    ASSERT_EQ(RVC_RowDigest(&ds, 0, da), 0);
    ASSERT_EQ(RVC_RowDigest(&ds, 1, db), 0);
    ASSERT_EQ(RVC_RowDigest(&ds, 0, again), 0);
    EXPECT_NE(std::memcmp(da, db, 16), 0) << c.a[0] << "|" << c.a[1];
    EXPECT_EQ(std::memcmp(da, again, 16), 0);
    EXPECT_EQ(RVC_RowDigest(&ds, 2, da), ERR_GENERAL);
    DatasetFree(&ds);
  }
  const uint8_t bytes[16] = {0x01, 0xAB, 0xFF, 0x10};
  char hex[33];
  RVC_ToHex(bytes, hex, sizeof hex);
  EXPECT_STREQ(hex, "01ABFF10000000000000000000000000");
  char small[6];
  RVC_ToHex(bytes, small, sizeof small);
  EXPECT_STREQ(small, "01AB");
}

TEST_F(RowVersionTest, TwoCursorsHaveConnectionsOfTheirOwn) {
  RVC one = Open(1);
  RVC two = Open(1);
  EXPECT_EQ(f.connects, 3);
  EXPECT_NE(one.rvcCursor, two.rvcCursor);
  EXPECT_NE(one.session, two.session);
  Rows keys({"k"});
  (void)Check(&one, keys, Rows({"v"}));
  (void)Check(&two, keys, Rows({"v"}));
  EXPECT_EQ(f.table.size(), 2u) << "each cursor keeps its own version of a row";
  // Every statement described its parameters: one for a read, two for a record.
  EXPECT_EQ(f.typeCounts, (std::vector<int>{1, 2, 1, 2}));
  EXPECT_EQ(RVC_Release(&one), 0);
  EXPECT_EQ(f.endConnects, 1);
  EXPECT_EQ(Check(&two, keys, Rows({"w"})), (std::vector<uint16_t>{U}));
  EXPECT_EQ(RVC_DeleteRows(&two), 0);
  EXPECT_EQ(f.table.size(), 1u) << "the released cursor's row is not another's to delete";
  EXPECT_EQ(RVC_Release(&two), 0);
  EXPECT_EQ(f.endConnects, 2);
  EXPECT_EQ(f.endCursors, 2);
}

TEST_F(RowVersionTest, FailuresReachTheUsersCursor) {
  // No session number: no separate connection is left behind.
  f.sessionFails = true;
  RVC rvc{};
  EXPECT_EQ(RVC_Open(&rvc, &fakeDriver, userConn_, userCursor_, 0), ERR_GENERAL);
  EXPECT_EQ(f.endConnects, 1);
  EXPECT_EQ(RVC_Open(&rvc, &fakeDriver, userConn_ + 1, userCursor_, 0), ERR_GENERAL)
      << "a connection without saved parameters";
  f.sessionFails = false;

  rvc = Open();
  // Without the table the database's message comes first, then IM926.
  f.tableExists = false;
  EXPECT_EQ(RVC_DeleteRows(&rvc), ERR_GENERAL);
  EXPECT_EQ(Messages(), (std::vector<std::string>{"S1000", "IM926"}));
  EXPECT_EQ(RVC_Release(&rvc), 0);
}

// Rows that are not the cursor's own: copies of its rows under its key, and
// rows of sessions the server no longer has, which the next cursor removes.
TEST_F(RowVersionTest, RowsThatAreNotTheCursorsOwn) {
  RVC rvc = Open();
  Rows keys({"k1", "k2"});
  (void)Check(&rvc, keys, Rows({"a", "b"}));
  f.table.push_back(f.table[1]);
  EXPECT_EQ(Check(&rvc, keys, Rows({"a", "b"})), (std::vector<uint16_t>{S, S}));
  // A copy that differs: the row may have changed; every copy takes its version.
  f.table.back().rowver = std::string(32, '0');
  EXPECT_EQ(Check(&rvc, keys, Rows({"a", "b"})), (std::vector<uint16_t>{S, U}));
  EXPECT_EQ(Check(&rvc, keys, Rows({"a", "b"})), (std::vector<uint16_t>{S, S}));
  EXPECT_EQ(f.table.size(), 3u);

  // A killed process's rows, another program's, and a live cursor's.
  f.table.push_back({"0000BEEF", "00000001", "k", "v"});
  f.table.push_back({"0000BEEF", "00000002", "k", "v"});
  f.table.push_back({"someone", "00000001", "k", "v"});
  RVC next = Open();
  ASSERT_EQ(f.table.size(), 4u);
  EXPECT_EQ(f.table[3].hconn, "someone");
  EXPECT_EQ(Check(&rvc, keys, Rows({"a", "b"})), (std::vector<uint16_t>{S, S}));
  // Without a list of the server's sessions every row stays.
  f.noSessionList = true;
  EXPECT_EQ(RVC_Release(&rvc), 0);
  RVC last = Open();
  EXPECT_EQ(f.table.size(), 4u);
  EXPECT_EQ(RVC_Release(&next), 0);
  EXPECT_EQ(RVC_Release(&last), 0);
}

// A server's record of its separate connections goes with the last of them
// (it used to stay for the life of the process, one per server).
TEST_F(RowVersionTest, AServersRecordGoesWithItsLastSeparateConnection) {
#if KES_ASAN
  DriverConnectParams params{};
  params.uid = params.pwd = "";
  auto cycle = [&](DrvHandle server) {
    DrvHandle conn = 0, cursor = 0;
    ASSERT_EQ(SCS_Connect(server, &params, &conn), 0);
    ASSERT_EQ(alloc_cursor(conn, &cursor), 0);
    RVC one{}, two{};
    ASSERT_EQ(RVC_Open(&one, &fakeDriver, conn, cursor, 0), 0);
    ASSERT_EQ(RVC_Open(&two, &fakeDriver, conn, cursor, 0), 0);
    EXPECT_EQ(RVC_Release(&one), 0);
    EXPECT_EQ(RVC_Release(&two), 0);
    (void)end_cursor(cursor);
    EXPECT_EQ(SCS_EndConnect(conn), 0);
    f = Fake{};  // what the fake keeps is not the layer's
  };
  cycle(0x20000);
  const size_t before = __sanitizer_get_current_allocated_bytes();
  for (DrvHandle server = 0x20001; server < 0x20041; ++server) cycle(server);
  EXPECT_EQ(__sanitizer_get_current_allocated_bytes(), before);
#else
  GTEST_SKIP() << "counts the heap's bytes through the address sanitizer";
#endif
}

TEST_F(RowVersionTest, AVersionThatCannotBeStoredMarksItsRow) {
  RVC rvc = Open();
  Rows keys({"k1", "k2"});
  (void)Check(&rvc, keys, Rows({"a", "b"}));
  uint8_t kd[32], rd[32];
  ASSERT_EQ(RVC_RowDigest(&keys.ds, 0, kd), 0);
  ASSERT_EQ(RVC_RowDigest(&keys.ds, 1, kd + 16), 0);
  Rows now({"x", "y"});
  ASSERT_EQ(RVC_RowDigest(&now.ds, 0, rd), 0);
  ASSERT_EQ(RVC_RowDigest(&now.ds, 1, rd + 16), 0);
  f.table.erase(f.table.begin());  // the first row's version vanished
  uint16_t st[2] = {U, U};
  EXPECT_EQ(RVC_UpdateRowVer(&rvc, kd, rd, st, 2), 0);
  EXPECT_EQ(st[0], SQL_ROW_ERROR);
  EXPECT_EQ(st[1], U);
  EXPECT_EQ(Check(&rvc, keys, Rows({"x", "y"})), (std::vector<uint16_t>{S, S})) << "row 2 stored";
  EXPECT_EQ(RVC_Release(&rvc), 0);
}

// A cursor context opens row versions only for a dynamic cursor whose agent
// keeps them, and its release forgets its rows.
TEST_F(RowVersionTest, ACursorContextOpensAndClosesItsVersions) {
  SCS scs{};
  SCS_Init(&scs, userCursor_, userConn_, &fakeDriver, nullptr);
  scs.sc_cursorType = SCS_STATIC;
  scs.sc_hasRowVersions = 1;
  EXPECT_EQ(scs_p_OpenRowVersions(&scs), 0);
  EXPECT_EQ(scs.sc_rvc, nullptr);
  scs.sc_cursorType = SCS_DYNAMIC;
  f.table.push_back({Hex8(0x5E550002), Hex8(userCursor_), "old", "old"});  // left by a crash
  ASSERT_EQ(scs_p_OpenRowVersions(&scs), 0);
  ASSERT_NE(scs.sc_rvc, nullptr);
  EXPECT_TRUE(f.table.empty());
  (void)Check(scs.sc_rvc, Rows({"k"}), Rows({"v"}));
  EXPECT_EQ(f.table.size(), 1u);
  scs_p_CloseRowVersions(&scs);
  EXPECT_EQ(scs.sc_rvc, nullptr);
  EXPECT_TRUE(f.table.empty());
  EXPECT_EQ(f.endConnects, 1);
}

}  // namespace
