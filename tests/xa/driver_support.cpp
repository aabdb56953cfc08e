// driver_support.cpp -- the whole driver in one process for the XA tests.

#include "driver_support.h"

#include "odbc_calls.h"

#include <cstdlib>
#include <fstream>
#include <mutex>
#include <string>

#include "drv_inf/inf_ops.h"
#include "odbc/conn.h"
#include "odbc/dispatch.h"
#include "platform/informix/ixr_api.h"
#include "scrs/scr_ops.h"
#include "tests/tmpdir.h"
#include "xa/xap.h"

namespace {

std::string g_dir;
std::string g_problem;

// The composition the driver library makes at start-up and at every connect.
int32_t bind(DriverRecord* rec) {
  rec->ops = &INF_Ops;
  rec->caps = DRV_CAP_THREADSAFE;
  (void)SCR_Interpose(rec);
  (void)XAP_Install(rec);
  return 0;
}

void makeDatabase(const char* server, const char* database) {
  if (!g_problem.empty()) return;
  if (ixr_server_create(server, IXR_SERVER_ONLINE, nullptr) != 0 ||
      ixr_connect((std::string("@") + server).c_str(), "setup") != 0) {
    g_problem = std::string("server ") + server;
    return;
  }
  const std::string db = std::string(database) + "@" + server;
  if (ixr_execute_immediate(("create database " + std::string(database) + " with log").c_str()) !=
          0 ||
      ixr_execute_immediate("create table t (a integer, b varchar(20))") != 0)
    g_problem = "database " + db;
  (void)ixr_disconnect("setup");
}

void setUpOnce() {
  g_dir = MakeProcessTempDir("kes_xa_");
  if (g_dir.empty()) {
    g_problem = "no temporary directory";
    return;
  }
  setenv("KES_INFORMIX_SERVERS", g_dir.c_str(), 1);
  std::ofstream(g_dir + "/odbc.ini")
      << "[xa1]\nDriver=Kestrane XA\nDatabase=one@xa_one\n\n"
         "[xa2]\nDriver=Kestrane XA\nDatabase=two@xa_two\n\n"
         "[xa_long]\nDriver=Kestrane XA\nDatabase=one@xa_one\nXaInfo="
      << std::string(240, 'x') << "\n";
  std::ofstream(g_dir + "/odbcinst.ini") << "[Kestrane XA]\nDriver=" << kXaDriverFile << "\n";
  setenv("ODBCSYSINI", g_dir.c_str(), 1);
  setenv("ODBCINI", (g_dir + "/odbc.ini").c_str(), 1);
  makeDatabase("xa_one", "one");
  makeDatabase("xa_two", "two");
}

}  // namespace

void DriverTest::SetUpTestSuite() {
  static std::once_flag once;
  std::call_once(once, setUpOnce);
}

void DriverTest::SetUp() {
  if (!g_problem.empty()) GTEST_SKIP() << g_problem;
  ASSERT_EQ(HandlesInit(), 0);
  DriverSetBinder(bind);
  ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env_), SQL_SUCCESS);
  ASSERT_EQ(SQLSetEnvAttr(env_, SQL_ATTR_ODBC_VERSION, (SQLPOINTER)SQL_OV_ODBC3, 0), SQL_SUCCESS);
}

void DriverTest::TearDown() {
  if (env_ != nullptr) (void)SQLFreeHandle(SQL_HANDLE_ENV, env_);
  env_ = nullptr;
  (void)HandlesTerm();
  DriverSetBinder(nullptr);
}

SQLHDBC DriverTest::connect(const char* connStr) {
  SQLHDBC dbc = nullptr;
  if (SQLAllocHandle(SQL_HANDLE_DBC, env_, &dbc) != SQL_SUCCESS) return nullptr;
  const SQLRETURN rc = SQLDriverConnect(dbc, nullptr, (SQLCHAR*)connStr, SQL_NTS, nullptr, 0,
                                        nullptr, SQL_DRIVER_NOPROMPT);
  if (!SQL_SUCCEEDED(rc)) {
    ADD_FAILURE() << connStr << ": " << State(SQL_HANDLE_DBC, dbc);
    (void)SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    return nullptr;
  }
  return dbc;
}

void DriverTest::disconnect(SQLHDBC dbc) { DisconnectAndFree(dbc); }

SQLRETURN DriverTest::exec(SQLHDBC dbc, const std::string& sql) { return ExecNoRows(dbc, sql); }

int DriverTest::rows(const char* dsn, const std::string& where) {
  SQLHDBC dbc = connect((std::string("DSN=") + dsn + ";").c_str());
  if (dbc == nullptr) return -1;
  const int n = CountRowsOfT(dbc, where);
  disconnect(dbc);
  return n;
}

std::string DriverTest::State(SQLSMALLINT type, SQLHANDLE h) { return DiagText(type, h); }
