// fuzz_driver_support.cpp -- see fuzz_driver.h.

#include "fuzz_driver.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "drv_inf/inf_ops.h"
#include "odbc/conn.h"
#include "odbc/dispatch.h"
#include "platform/informix/ixr_api.h"
#include "scrs/scr_ops.h"
#include "tests/tmpdir.h"
#include "xa/xap.h"

namespace {

SQLHENV g_env = nullptr;

int32_t bind(DriverRecord* rec) {
  rec->ops = &INF_Ops;
  rec->caps = DRV_CAP_THREADSAFE;
  (void)SCR_Interpose(rec);
  (void)XAP_Install(rec);
  return 0;
}

bool makeDatabase() {
  if (ixr_server_create("fz", IXR_SERVER_ONLINE, nullptr) != 0) return false;
  if (ixr_connect("@fz", "setup") != 0) return false;
  const char* const statements[] = {
      "create database fzdb with log",
      "create table t (a integer, b varchar(20), c date)",
      "insert into t values (1, 'one', '01/02/2024')",
      "create table p (c char(20), v varchar(50), i integer, s smallint, f float, "
      "r smallfloat, d decimal(10,2), m money(12,2), dt date, ts datetime year to fraction(5), "
      "ds interval day to second, ym interval year to month, l lvarchar(200))",
      ("create table k (id integer primary key, name varchar(20), qty integer, d date, "
       "amt decimal(10,2), note lvarchar(200))"),
  };
  std::vector<std::string> all(std::begin(statements), std::end(statements));
  for (int i = 1; i <= 12; ++i)
    all.push_back("insert into k values (" + std::to_string(i) + ", 'n" + std::to_string(i) +
                  "', " + (i % 5 == 0 ? std::string("null") : std::to_string(i * 10)) + ", '0" +
                  std::to_string(1 + i % 9) + "/1" + std::to_string(i % 10) + "/2024', " +
                  std::to_string(i) + ".25, 'note " + std::to_string(i) + "')");
  for (const std::string& text : all) {
    const char* sql = text.c_str();
    if (ixr_execute_immediate(sql) != 0) {
      std::fprintf(stderr, "fuzz set-up: %s: %d %s\n", sql, ixr_sqlca()->sqlcode,
                   ixr_sqlca()->sqlerrm);
      (void)ixr_disconnect("setup");
      return false;
    }
  }
  (void)ixr_disconnect("setup");
  return true;
}

bool start() {
  const std::string dir = MakeProcessTempDir("kes_fuzz_");
  if (dir.empty()) return false;
  setenv("KES_INFORMIX_SERVERS", dir.c_str(), 1);
  unsetenv("KES_DEBUGFILE");
  std::ofstream(dir + "/odbc.ini") << "[fz]\nDriver=Kestrane\nDatabase=fzdb@fz\n";
  std::ofstream(dir + "/odbcinst.ini") << "[Kestrane]\nDriver=/opt/Kestrane/libkesdrvw.so\n";
  setenv("ODBCSYSINI", dir.c_str(), 1);
  setenv("ODBCINI", (dir + "/odbc.ini").c_str(), 1);
  if (!makeDatabase()) return false;
  if (HandlesInit() != 0) return false;
  DriverSetBinder(bind);
  if (SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &g_env) != SQL_SUCCESS) return false;
  return SQLSetEnvAttr(g_env, SQL_ATTR_ODBC_VERSION, (SQLPOINTER)SQL_OV_ODBC3, 0) == SQL_SUCCESS;
}

}  // namespace

bool FuzzDriverStart() {
  static const bool started = [] {
    const bool ok = start();
    // Without its database a target would run nothing and look clean.
    if (!ok) std::fprintf(stderr, "fuzz set-up failed: %d %s\n", ixr_sqlca()->sqlcode, ixr_sqlca()->sqlerrm);
    return ok;
  }();
  return started;
}

SQLHENV FuzzEnv() { return g_env; }

SQLHDBC FuzzConnect() {
  SQLHDBC dbc = nullptr;
  if (SQLAllocHandle(SQL_HANDLE_DBC, g_env, &dbc) != SQL_SUCCESS) return nullptr;
  if (!SQL_SUCCEEDED(SQLDriverConnect(dbc, nullptr, (SQLCHAR*)"DSN=fz;", SQL_NTS, nullptr, 0,
                                      nullptr, SQL_DRIVER_NOPROMPT)) ||
      SQLSetConnectAttr(dbc, SQL_ATTR_AUTOCOMMIT, (SQLPOINTER)SQL_AUTOCOMMIT_OFF, 0) !=
          SQL_SUCCESS) {
    SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    return nullptr;
  }
  return dbc;
}

void FuzzDisconnect(SQLHDBC dbc) {
  (void)SQLEndTran(SQL_HANDLE_DBC, dbc, SQL_ROLLBACK);
  (void)SQLDisconnect(dbc);
  (void)SQLFreeHandle(SQL_HANDLE_DBC, dbc);
}
