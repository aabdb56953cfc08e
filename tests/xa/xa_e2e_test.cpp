// The built driver libraries as a transaction monitor and a coordinator use
// them: the monitor loads a library, takes its XA switch and commits one global
// transaction across two databases on two embedded servers; a branch prepared
// by a process that was then killed is found and committed by another one; an
// application enlists a connection of the Driver Manager in a transaction of
// the stand-in coordinator, which recovers what its crash left in doubt through
// the same switch.
// The process links the Driver Manager, so every name the driver exports is
// also the Driver Manager's: the switch's own connections must reach the
// driver's functions all the same.
// Run with --prepare-and-wait BUILD, the program is the process that is killed.

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sql.h>
#include <sqlext.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "platform/dtc/dtc_testing.h"
#include "platform/informix/ixr_api.h"
#include "odbc_calls.h"
#include "platform/xa/xa.h"
#include "tests/tmpdir.h"

namespace {

struct Build {
  const char* name;  // "w" or "a"
  const char* path;
};
void PrintTo(const Build& b, std::ostream* os) { *os << b.name; }
const Build kBuilds[] = {{"w", KES_DRIVER_W}, {"a", KES_DRIVER_A}};

const Build* buildNamed(const std::string& name) {
  for (const Build& b : kBuilds)
    if (name == b.name) return &b;
  return nullptr;
}

// The configuration and the two servers, made once per process; a child
// process finds them through the environment its parent set.
std::string g_dir;
std::string g_problem;

void makeDatabase(const char* server, const char* database) {
  if (!g_problem.empty()) return;
  if (ixr_server_create(server, IXR_SERVER_ONLINE, nullptr) != 0 ||
      ixr_connect((std::string("@") + server).c_str(), "setup") != 0) {
    g_problem = std::string("server ") + server;
    return;
  }
  if (ixr_execute_immediate(("create database " + std::string(database) + " with log").c_str()) !=
          0 ||
      ixr_execute_immediate("create table t (a integer, b varchar(20))") != 0)
    g_problem = std::string("database ") + database;
  (void)ixr_disconnect("setup");
}

void setUpProcess() {
  if (!g_dir.empty() || !g_problem.empty()) return;
  if (const char* parents = getenv("KES_XA_E2E_DIR")) {
    g_dir = parents;
    return;
  }
  g_dir = MakeProcessTempDir("kes_xa_e2e_");
  if (g_dir.empty()) {
    g_problem = "no temporary directory";
    return;
  }
  setenv("KES_XA_E2E_DIR", g_dir.c_str(), 1);
  setenv("KES_INFORMIX_SERVERS", g_dir.c_str(), 1);
  // Each data source names its driver through odbcinst.ini, as installed
  // drivers are named; the coordinator is told the library's path.
  std::ofstream ini(g_dir + "/odbc.ini");
  std::ofstream inst(g_dir + "/odbcinst.ini");
  for (const Build& b : kBuilds) {
    inst << "[KesXa_" << b.name << "]\nDriver=" << b.path << "\n\n";
    ini << "[one_" << b.name << "]\nDriver=KesXa_" << b.name << "\nDatabase=one@xa_e2e_one\n\n"
        << "[two_" << b.name << "]\nDriver=KesXa_" << b.name << "\nDatabase=two@xa_e2e_two\n\n";
  }
  ini.close();
  inst.close();
  setenv("ODBCSYSINI", g_dir.c_str(), 1);
  setenv("ODBCINI", (g_dir + "/odbc.ini").c_str(), 1);
  makeDatabase("xa_e2e_one", "one");
  makeDatabase("xa_e2e_two", "two");
}

// The driver library loaded by its path, as a transaction monitor loads it,
// with the functions an application of the monitor calls on the connection
// behind an open resource manager.
struct Driver {
  bool wide = false;
  xa_switch_t* sw = nullptr;
  SQLRETURN (*getXaConnect)(SQLHDBC*) = nullptr;
  SQLRETURN (*allocHandle)(SQLSMALLINT, SQLHANDLE, SQLHANDLE*) = nullptr;
  SQLRETURN (*freeHandle)(SQLSMALLINT, SQLHANDLE) = nullptr;
  SQLRETURN (*execDirect)(SQLHSTMT, SQLCHAR*, SQLINTEGER) = nullptr;
  SQLRETURN (*execDirectW)(SQLHSTMT, SQLWCHAR*, SQLINTEGER) = nullptr;

  bool load(const Build& b) {
    void* lib = dlopen(b.path, RTLD_NOW | RTLD_LOCAL);
    if (lib == nullptr) return false;
    wide = b.name[0] == 'w';
    auto sym = [lib](const char* name) { return dlsym(lib, name); };
    auto switchOf = reinterpret_cast<xa_switch_t* (*)()>(sym("kes_xa_switch"));
    sw = switchOf != nullptr ? switchOf() : nullptr;
    getXaConnect = reinterpret_cast<decltype(getXaConnect)>(sym("SQLGetXaConnect"));
    allocHandle = reinterpret_cast<decltype(allocHandle)>(sym("SQLAllocHandle"));
    freeHandle = reinterpret_cast<decltype(freeHandle)>(sym("SQLFreeHandle"));
    execDirect = reinterpret_cast<decltype(execDirect)>(sym("SQLExecDirect"));
    execDirectW = reinterpret_cast<decltype(execDirectW)>(sym("SQLExecDirectW"));
    return sw != nullptr && getXaConnect != nullptr && allocHandle != nullptr &&
           freeHandle != nullptr && (wide ? execDirectW != nullptr : execDirect != nullptr);
  }

  // Opens a resource manager on the calling thread; its connection, or null.
  SQLHDBC open(const std::string& dsn, int rmid) const {
    std::string info = "DSN=" + dsn + ";";
    if (sw->xa_open_entry(info.data(), rmid, TMNOFLAGS) != XA_OK) return nullptr;
    SQLHDBC dbc = nullptr;
    return getXaConnect(&dbc) == SQL_SUCCESS ? dbc : nullptr;
  }
  int close(int rmid) const {
    char none[1] = {'\0'};
    return sw->xa_close_entry(none, rmid, TMNOFLAGS);
  }

  // One statement on the connection of an open resource manager.
  SQLRETURN exec(SQLHDBC dbc, const std::string& sql) const {
    SQLHSTMT st = nullptr;
    SQLRETURN rc = allocHandle(SQL_HANDLE_STMT, dbc, &st);
    if (rc != SQL_SUCCESS) return rc;
    if (wide) {
      std::u16string text(sql.begin(), sql.end());
      rc = execDirectW(st, reinterpret_cast<SQLWCHAR*>(text.data()), SQL_NTS);
    } else {
      rc = execDirect(st, reinterpret_cast<SQLCHAR*>(const_cast<char*>(sql.c_str())), SQL_NTS);
    }
    (void)freeHandle(SQL_HANDLE_STMT, st);
    return rc;
  }
};

XID makeXid(const std::string& gtrid, char bqual) {
  XID x{};
  x.formatID = 0x4B455845;
  x.gtrid_length = static_cast<long>(gtrid.size());
  x.bqual_length = 1;
  std::memcpy(x.data, gtrid.data(), gtrid.size());
  x.data[gtrid.size()] = bqual;
  return x;
}

bool sameXid(const XID& a, const XID& b) {
  return a.formatID == b.formatID && a.gtrid_length == b.gtrid_length &&
         a.bqual_length == b.bqual_length &&
         std::memcmp(a.data, b.data, static_cast<size_t>(a.gtrid_length + a.bqual_length)) == 0;
}

// What the killed process does: one branch in each database, prepared.
constexpr char kKilledGtrid[] = "killed-after-prepare";

int prepareAndWait(const char* buildName) {
  setUpProcess();
  const Build* b = buildNamed(buildName != nullptr ? buildName : "");
  Driver drv;
  if (!g_problem.empty() || b == nullptr || !drv.load(*b)) return 2;
  const std::string name = b->name;
  SQLHDBC one = drv.open("one_" + name, 1);
  SQLHDBC two = drv.open("two_" + name, 2);
  if (one == nullptr || two == nullptr) return 3;
  XID x1 = makeXid(kKilledGtrid, '1'), x2 = makeXid(kKilledGtrid, '2');
  if (drv.sw->xa_start_entry(&x1, 1, TMNOFLAGS) != XA_OK ||
      drv.sw->xa_start_entry(&x2, 2, TMNOFLAGS) != XA_OK ||
      drv.exec(one, "insert into t values (100, 'in doubt one')") != SQL_SUCCESS ||
      drv.exec(two, "insert into t values (200, 'in doubt two')") != SQL_SUCCESS ||
      drv.sw->xa_end_entry(&x1, 1, TMSUCCESS) != XA_OK ||
      drv.sw->xa_end_entry(&x2, 2, TMSUCCESS) != XA_OK ||
      drv.sw->xa_prepare_entry(&x1, 1, TMNOFLAGS) != XA_OK ||
      drv.sw->xa_prepare_entry(&x2, 2, TMNOFLAGS) != XA_OK)
    return 4;
  std::ofstream(g_dir + "/prepared") << "1\n";
  // The monitor dies before it decides: the parent kills this process.
  for (;;) pause();
}

class XaE2e : public ::testing::TestWithParam<Build> {
 protected:
  void SetUp() override {
    setUpProcess();
    if (!g_problem.empty()) GTEST_SKIP() << g_problem;
    ASSERT_TRUE(drv_.load(GetParam())) << dlerror();
    ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env_), SQL_SUCCESS);
    ASSERT_EQ(SQLSetEnvAttr(env_, SQL_ATTR_ODBC_VERSION, (SQLPOINTER)SQL_OV_ODBC3, 0), SQL_SUCCESS);
  }
  void TearDown() override {
    if (env_ != nullptr) (void)SQLFreeHandle(SQL_HANDLE_ENV, env_);
  }

  std::string dsn(const char* db) const { return std::string(db) + "_" + GetParam().name; }

  // A connection of the Driver Manager to a data source.
  SQLHDBC dmConnect(const std::string& dsnName) {
    SQLHDBC dbc = nullptr;
    if (SQLAllocHandle(SQL_HANDLE_DBC, env_, &dbc) != SQL_SUCCESS) return nullptr;
    const std::string text = "DSN=" + dsnName + ";";
    const SQLRETURN rc = SQLDriverConnect(dbc, nullptr, (SQLCHAR*)text.c_str(), SQL_NTS, nullptr, 0,
                                          nullptr, SQL_DRIVER_NOPROMPT);
    if (!SQL_SUCCEEDED(rc)) {
      ADD_FAILURE() << text << ": " << state(SQL_HANDLE_DBC, dbc);
      (void)SQLFreeHandle(SQL_HANDLE_DBC, dbc);
      return nullptr;
    }
    return dbc;
  }
  void dmDisconnect(SQLHDBC dbc) { DisconnectAndFree(dbc); }
  SQLRETURN dmExec(SQLHDBC dbc, const std::string& sql) { return ExecNoRows(dbc, sql); }
  // Rows of t in a database, as an application outside the transaction sees them.
  int rows(const char* db, const std::string& where) {
    SQLHDBC dbc = dmConnect(dsn(db));
    if (dbc == nullptr) return -1;
    const int n = CountRowsOfT(dbc, where);
    dmDisconnect(dbc);
    return n;
  }
  static std::string state(SQLSMALLINT type, SQLHANDLE h) { return DiagText(type, h); }

  Driver drv_;
  SQLHENV env_ = nullptr;
};

TEST_P(XaE2e, OneGlobalTransactionAcrossTwoServers) {
  // The process's own SQLAllocHandle is the Driver Manager's; the switch's
  // connections never reach it.
  ASSERT_NE(dlsym(RTLD_DEFAULT, "SQLAllocHandle"), nullptr);
  const xa_switch_t& sw = *drv_.sw;
  SQLHDBC one = drv_.open(dsn("one"), 1);
  SQLHDBC two = drv_.open(dsn("two"), 2);
  ASSERT_NE(one, nullptr);
  ASSERT_NE(two, nullptr);

  struct Case {
    const char* gtrid;
    bool writes;
    bool commit;
  };
  const Case cases[] = {
      {"commits", true, true},
      {"rolls-back", true, false},
      {"reads-only", false, true},
  };
  int value = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.gtrid);
    XID x1 = makeXid(c.gtrid, '1'), x2 = makeXid(c.gtrid, '2');
    ++value;
    ASSERT_EQ(sw.xa_start_entry(&x1, 1, TMNOFLAGS), XA_OK);
    ASSERT_EQ(sw.xa_start_entry(&x2, 2, TMNOFLAGS), XA_OK);
    const std::string where = "where a = " + std::to_string(value);
    if (c.writes) {
      ASSERT_EQ(drv_.exec(one, "insert into t values (" + std::to_string(value) + ", 'one')"),
                SQL_SUCCESS);
      ASSERT_EQ(drv_.exec(two, "insert into t values (" + std::to_string(value) + ", 'two')"),
                SQL_SUCCESS);
    } else {
      ASSERT_EQ(drv_.exec(one, "select a from t"), SQL_SUCCESS);
      ASSERT_EQ(drv_.exec(two, "select a from t"), SQL_SUCCESS);
    }
    ASSERT_EQ(sw.xa_end_entry(&x1, 1, TMSUCCESS), XA_OK);
    ASSERT_EQ(sw.xa_end_entry(&x2, 2, TMSUCCESS), XA_OK);
    const int vote = c.writes ? XA_OK : XA_RDONLY;
    ASSERT_EQ(sw.xa_prepare_entry(&x1, 1, TMNOFLAGS), vote);
    ASSERT_EQ(sw.xa_prepare_entry(&x2, 2, TMNOFLAGS), vote);
    if (!c.writes) {
      // A read-only branch is over with its vote: nothing is left to complete.
      EXPECT_EQ(sw.xa_commit_entry(&x1, 1, TMNOFLAGS), XAER_NOTA);
      continue;
    }
    // Prepared, nothing is visible outside the transaction yet.
    EXPECT_EQ(rows("one", where), 0);
    if (c.commit) {
      EXPECT_EQ(sw.xa_commit_entry(&x1, 1, TMNOFLAGS), XA_OK);
      EXPECT_EQ(sw.xa_commit_entry(&x2, 2, TMNOFLAGS), XA_OK);
    } else {
      EXPECT_EQ(sw.xa_rollback_entry(&x1, 1, TMNOFLAGS), XA_OK);
      EXPECT_EQ(sw.xa_rollback_entry(&x2, 2, TMNOFLAGS), XA_OK);
    }
    EXPECT_EQ(rows("one", where), c.commit ? 1 : 0);
    EXPECT_EQ(rows("two", where), c.commit ? 1 : 0);
    // A completed branch is gone: completing it again finds nothing.
    EXPECT_EQ(sw.xa_commit_entry(&x1, 1, TMNOFLAGS), XAER_NOTA);
  }
  EXPECT_EQ(drv_.close(1), XA_OK);
  EXPECT_EQ(drv_.close(2), XA_OK);
}

TEST_P(XaE2e, ABranchPreparedByAKilledProcessIsCommittedByAnotherOnce) {
  const std::string marker = g_dir + "/prepared";
  std::filesystem::remove(marker);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    // A process of its own: nothing of this one's threads or driver state.
    char self[] = "/proc/self/exe";
    char flag[] = "--prepare-and-wait";
    char build[2] = {GetParam().name[0], '\0'};
    char* argv[] = {self, flag, build, nullptr};
    execv(self, argv);
    _exit(127);
  }
  bool prepared = false;
  for (int i = 0; i < 400 && !prepared; ++i) {
    int status = 0;
    if (waitpid(child, &status, WNOHANG) == child) break;
    prepared = std::filesystem::exists(marker);
    if (!prepared) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  (void)kill(child, SIGKILL);
  (void)waitpid(child, nullptr, 0);
  ASSERT_TRUE(prepared) << "the child did not prepare its branches";
  EXPECT_EQ(rows("one", "where a = 100"), 0);
  EXPECT_EQ(rows("two", "where a = 200"), 0);

  // The monitor's recovery: each resource manager names its in-doubt
  // branches, and the monitor commits what it had decided to commit.
  const xa_switch_t& sw = *drv_.sw;
  for (int rmid : {1, 2}) {
    SCOPED_TRACE(rmid);
    ASSERT_NE(drv_.open(dsn(rmid == 1 ? "one" : "two"), rmid), nullptr);
    XID found[8];
    const int n = sw.xa_recover_entry(found, 8, rmid, TMSTARTRSCAN | TMENDRSCAN);
    ASSERT_EQ(n, 1);
    const XID mine = makeXid(kKilledGtrid, static_cast<char>('0' + rmid));
    EXPECT_TRUE(sameXid(found[0], mine));
    EXPECT_EQ(sw.xa_commit_entry(&found[0], rmid, TMNOFLAGS), XA_OK);
    EXPECT_EQ(sw.xa_commit_entry(&found[0], rmid, TMNOFLAGS), XAER_NOTA);
    EXPECT_EQ(sw.xa_recover_entry(found, 8, rmid, TMSTARTRSCAN | TMENDRSCAN), 0);
    EXPECT_EQ(drv_.close(rmid), XA_OK);
  }
  EXPECT_EQ(rows("one", "where a = 100"), 1);
  EXPECT_EQ(rows("two", "where a = 200"), 1);
}

// An application's connection of the Driver Manager enlisted in transactions
// of the stand-in coordinator.
class EnlistE2e : public XaE2e {
 protected:
  ITransaction* begin() {
    GUID id{0xE2E00000u + static_cast<uint32_t>(++serial_),
            7,
            static_cast<uint16_t>(getpid()),
            {1, 2, 3, 4, 5, 6, 7, 8}};
    return DtcTestBegin(&id);
  }
  SQLRETURN enlist(SQLHDBC dbc, ITransaction* tx) { return EnlistInDtc(dbc, tx); }
  int serial_ = 0;
};

TEST_P(EnlistE2e, ReadOnlyVotesAndAbortsOfAStartedBranch) {
  SQLHDBC dbc = dmConnect(dsn("one"));
  ASSERT_NE(dbc, nullptr);
  ITransaction* reads = begin();
  ASSERT_EQ(enlist(dbc, reads), SQL_SUCCESS) << state(SQL_HANDLE_DBC, dbc);
  ASSERT_EQ(dmExec(dbc, "select a from t"), SQL_SUCCESS);
  EXPECT_EQ(DtcTestCommit(reads), S_OK);
  EXPECT_EQ(DtcTestOutcome(reads, 0, 0), XACT_S_READONLY);
  ASSERT_EQ(enlist(dbc, nullptr), SQL_SUCCESS) << state(SQL_HANDLE_DBC, dbc);

  ITransaction* aborted = begin();
  ASSERT_EQ(enlist(dbc, aborted), SQL_SUCCESS) << state(SQL_HANDLE_DBC, dbc);
  ASSERT_EQ(dmExec(dbc, "insert into t values (301, 'aborted')"), SQL_SUCCESS);
  EXPECT_EQ(DtcTestAbort(aborted), XACT_E_ABORTED);
  EXPECT_EQ(DtcTestOutcome(aborted, 0, 2), S_OK);
  ASSERT_EQ(enlist(dbc, nullptr), SQL_SUCCESS) << state(SQL_HANDLE_DBC, dbc);
  EXPECT_EQ(rows("one", "where a = 301"), 0);
  // Out of the transaction the connection works on its own again.
  EXPECT_EQ(dmExec(dbc, "insert into t values (302, 'local')"), SQL_SUCCESS);
  EXPECT_EQ(rows("one", "where a = 302"), 1);
  dmDisconnect(dbc);
  DtcTestRelease(reads);
  DtcTestRelease(aborted);
}

TEST_P(EnlistE2e, TheCoordinatorRecoversWhatItsCrashLeftInDoubt) {
  SQLHDBC dbc = dmConnect(dsn("one"));
  ASSERT_NE(dbc, nullptr);
  ITransaction* tx = begin();
  ASSERT_EQ(enlist(dbc, tx), SQL_SUCCESS) << state(SQL_HANDLE_DBC, dbc);
  ASSERT_EQ(dmExec(dbc, "insert into t values (300, 'in doubt')"), SQL_SUCCESS);
  ASSERT_EQ(DtcTestPrepare(tx), S_OK);
  // The coordinator goes down after its decision: the branch stays prepared,
  // and the connection is the application's again.
  ASSERT_EQ(DtcTestTMDown(tx), S_OK);
  SQLCHAR name[64];
  SQLSMALLINT len = 0;
  EXPECT_EQ(SQLGetInfo(dbc, SQL_DBMS_NAME, name, sizeof name, &len), SQL_SUCCESS);
  ASSERT_EQ(enlist(dbc, nullptr), SQL_SUCCESS) << state(SQL_HANDLE_DBC, dbc);
  EXPECT_EQ(rows("one", "where a = 300"), 0);

  // Its recovery loads the driver's file it was told of, opens the resource
  // manager with the connect text and commits the branch; once.
  EXPECT_EQ(DtcTestRecover(), 1);
  EXPECT_EQ(rows("one", "where a = 300"), 1);
  EXPECT_EQ(DtcTestRecover(), 0);
  EXPECT_EQ(rows("one", "where a = 300"), 1);
  char file[512];
  ASSERT_EQ(DtcTestResourceManager(0, nullptr, 0, file, sizeof file), 1);
  EXPECT_STREQ(file, GetParam().path);
  dmDisconnect(dbc);
  DtcTestRelease(tx);
}

INSTANTIATE_TEST_SUITE_P(Builds, EnlistE2e, ::testing::ValuesIn(kBuilds),
                         [](const auto& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(Builds, XaE2e, ::testing::ValuesIn(kBuilds),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "--prepare-and-wait") == 0) return prepareAndWait(argv[2]);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
