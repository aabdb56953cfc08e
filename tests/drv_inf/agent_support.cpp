// Shared fixture of the agent tests over the embedded runtime.

#include "agent_support.h"

#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <mutex>
#include <vector>

#include "drv/connopts.h"
#include "drv/errtab.h"
#include "drv_inf/inf_esql.h"
#include "platform/informix/ixr_api.h"
#include "util/utalloc.h"

namespace {

std::string g_root;
std::string g_problem;

// The servers root must be chosen before the runtime first looks for it.
struct Root {
  Root() {
    char tmpl[] = "/tmp/kes-agent-XXXXXX";
    if (mkdtemp(tmpl) != nullptr) {
      g_root = tmpl;
      setenv("KES_INFORMIX_SERVERS", tmpl, 1);
    }
  }
  ~Root() {
    std::error_code ec;
    if (!g_root.empty()) std::filesystem::remove_all(g_root, ec);
  }
} g_rootOwner;

void runSetup(const char* db, const char* const* stmts) {
  if (!g_problem.empty()) return;
  if (ixr_connect(db, "setup") != 0) {
    g_problem = std::string("connect ") + db + ": " + std::to_string(ixr_sqlca()->sqlcode);
    return;
  }
  for (const char* const* s = stmts; *s != nullptr; ++s) {
    if (ixr_execute_immediate(*s) != 0) {
      g_problem = std::string(*s) + ": " + std::to_string(ixr_sqlca()->sqlcode);
      break;
    }
  }
  (void)ixr_disconnect("setup");
}

void setupServers() {
  if (g_root.empty()) {
    g_problem = "no temporary directory";
    return;
  }
  if (ixr_server_create("ol_test", IXR_SERVER_ONLINE, nullptr) != 0 ||
      ixr_server_create("se_test", IXR_SERVER_SE, nullptr) != 0 ||
      ixr_server_create(
          "pw_test", IXR_SERVER_ONLINE,
          "Alice:secret,AVeryLongUserNameOfThirtyChars:APasswordLongerThanEighteen") != 0) {
    g_problem = "the runtime cannot create servers (" + std::to_string(ixr_sqlca()->sqlcode) + ")";
    return;
  }
  static const char* const olCreate[] = {"create database nolog", "create database logged with log",
                                         "create database ansi with log mode ansi", nullptr};
  runSetup("@ol_test", olCreate);
  static const char* const seCreate[] = {"create database logged with log", nullptr};
  runSetup("@se_test", seCreate);
  static const char* const pwCreate[] = {"create database logged with log",
                                         "create database other with log", nullptr};
  *ixr_conninfo() = IxrConnInfo{};
  ixr_conninfo()->user = "Alice";
  ixr_conninfo()->password = "secret";
  runSetup("@pw_test", pwCreate);
  *ixr_conninfo() = IxrConnInfo{};
  static const char* const tables[] = {
      "create table t (a integer, b varchar(20))", "insert into t values (1, 'one')",
      "insert into t values (2, 'two')", "insert into t values (3, 'three')",
      "insert into t values (4, 'four')", "insert into t values (5, 'five')",
      "insert into t values (6, 'six')", "insert into t values (7, 'seven')",
      "insert into t values (8, 'eight')", "insert into t values (9, 'nine')",
      "insert into t values (10, 'ten')",
      // An ANSI database keeps nothing that is not committed.
      "commit work", nullptr};
  runSetup("ansi@ol_test", tables);
  std::vector<const char*> autocommitted(std::begin(tables), std::end(tables));
  autocommitted.erase(autocommitted.end() - 2);
  for (const char* db : {"nolog@ol_test", "logged@ol_test", "logged@se_test"})
    runSetup(db, autocommitted.data());
}

}  // namespace

const std::string& AgentServersProblem() {
  static std::once_flag once;
  std::call_once(once, setupServers);
  return g_problem;
}

void AgentTest::SetUp() {
  if (!AgentServersProblem().empty()) GTEST_SKIP() << AgentServersProblem();
  ixr_test_reset();
  ConnectOptions = ConnectOptionsBlock{};
  ASSERT_EQ(INF_AllocServer(nullptr, &server_), 0);
}

void AgentTest::TearDown() {
  if (server_ != 0) {
    // Whatever a test left open goes with the environment's tables.
    for (uint16_t i = 0; i < INF_CursorHandles.capacity; ++i)
      if (INF_CursorHandles.slots != nullptr && INF_CursorHandles.slots[i].tag != 0)
        (void)INF_EndCursor(HTAG_CURSOR << 16 | i);
    for (uint16_t i = 0; i < INF_ConnHandles.capacity; ++i)
      if (INF_ConnHandles.slots != nullptr && INF_ConnHandles.slots[i].tag != 0)
        (void)INF_EndConnect(HTAG_CONN << 16 | i);
    EXPECT_EQ(INF_EndServer(server_), 0);
    server_ = 0;
  }
  ixr_test_record(false);
  ixr_test_reset();
}

void AgentTest::restartAgent(bool forceDormant) {
  ASSERT_EQ(INF_EndServer(server_), 0);
  ConnectOptions.forceDormant = forceDormant ? 1 : 0;
  ASSERT_EQ(INF_AllocServer(nullptr, &server_), 0);
  ConnectOptions.forceDormant = 0;
}

int32_t AgentTest::connect(const ConnectArgs& a, DrvHandle* conn) {
  ConnectOptions.noAutoCommit = a.noac ? 1 : 0;
  ConnectOptions.initialSql = a.initSql != nullptr ? s_strdup(a.initSql) : nullptr;
  DriverConnectParams p{};
  p.dbpath = a.dbpath;
  p.dbopts = a.dbopts;
  p.uid = a.uid;
  p.pwd = a.pwd;
  return INF_Connect(server_, &p, conn);
}

DrvHandle AgentTest::connect(const char* dbpath, bool noac) {
  ConnectArgs args;
  args.dbpath = dbpath;
  args.noac = noac;
  DrvHandle h = 0;
  EXPECT_EQ(connect(args, &h), 0) << dbpath;
  return h;
}

int32_t AgentTest::exec(DrvHandle conn, const char* sql, DrvHandle* keep) {
  DrvHandle cur = 0;
  int32_t rc = INF_AllocCursor(conn, &cur);
  if (rc == 0) rc = INF_Prepare(cur, sql);
  if (rc == 0) rc = INF_Execute(cur);
  if (keep != nullptr) {
    *keep = cur;
  } else if (cur != 0) {
    if (rc == 0) rc = fetchAll(cur, 100, nullptr);
    (void)INF_EndCursor(cur);
  }
  return rc;
}

int32_t AgentTest::fetchAll(DrvHandle cursor, uint16_t block, std::vector<int32_t>* sizes) {
  for (;;) {
    Dataset ds{};
    int32_t rc = Fetch(cursor, block, &ds);
    const int32_t rows = ds.rowCount;
    DatasetFree(&ds);
    if (rc == ERR_SEQUENCE) return 0;  // nothing to fetch: not a result
    if (rc != 0) return rc;
    if (sizes != nullptr) sizes->push_back(rows);
    if (rows == 0) return 0;
  }
}

std::vector<std::string> AgentTest::errors(DrvHandle h) {
  DriverMessageList list{};
  std::vector<std::string> out;
  if (INF_GetErrors(h, &list) != 0) return out;
  for (int32_t i = 0; i < list.count; ++i) {
    if (list.texts[i] != nullptr) out.emplace_back(list.texts[i]);
    std::free(list.texts[i]);
  }
  std::free(list.texts);
  return out;
}

std::vector<std::string> AgentTest::calls(bool withText) {
  std::vector<std::string> out;
  for (const IxrCall& c : ixr_test_calls()) out.push_back(withText ? c.op + " " + c.text : c.op);
  return out;
}

std::string AgentTest::txnCalls() {
  std::string out;
  for (const IxrCall& c : ixr_test_calls()) {
    if (c.op == "BEGIN WORK")
      out += 'B';
    else if (c.op == "COMMIT WORK")
      out += 'C';
    else if (c.op == "ROLLBACK WORK")
      out += 'R';
    else if (c.op == "STATIC")
      out += 'I';
  }
  return out;
}

InfSession* AgentTest::sessionOf(DrvHandle conn) {
  InfConn* c = InfConnLookup(conn);
  return c != nullptr ? c->session : nullptr;
}

Dataset* NewParamDataset(int32_t type, uint32_t width, int32_t rows) {
  auto* ds = static_cast<Dataset*>(std::calloc(1, sizeof(Dataset)));
  if (DatasetInit(ds, 1) != 0) return ds;
  ds->colCount = 1;
  ds->cols[0].type = type;
  ds->cols[0].width = width;
  (void)DatasetSetRows(ds, rows);
  ds->rowCount = rows;
  return ds;
}
