#pragma once
// odbc_support.h -- what the benchmarks of the driver through the Driver Manager
// share: a private ODBC configuration naming both driver libraries, one connection
// with one statement, the check that ends a run on a failed call, and the peak
// resident size of the process.

#include <sql.h>
#include <sqlext.h>

#include <errno.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>

// Ends the run with the first diagnostic of a call that failed.
inline void odbcCheck(SQLRETURN rc, SQLSMALLINT type, SQLHANDLE h, const char* what) {
  if (SQL_SUCCEEDED(rc) || rc == SQL_NO_DATA) return;
  SQLCHAR state[6] = {}, text[512] = {};
  SQLINTEGER native = 0;
  SQLSMALLINT len = 0;
  SQLGetDiagRec(type, h, 1, state, &native, text, sizeof text, &len);
  std::fprintf(stderr, "%s: %s failed: %s %s\n", program_invocation_short_name, what, state, text);
  std::exit(1);
}

// odbcinst.ini and odbc.ini in root with the data sources kes_w (Unicode build) and
// kes_a (ANSI build) on the database b@bench, each with the extra lines given, and
// the environment pointing the Driver Manager at them.
// KES_BENCH_DRIVER_W and KES_BENCH_DRIVER_A name other driver libraries to measure
// (an earlier build, say) in place of the ones built with the benchmark. extraDriver and
// extraDsn are further sections of odbcinst.ini and odbc.ini (another driver to compare).
inline void WriteOdbcConfig(const std::string& root, const char* dsnLines,
                            const std::string& extraDriver = {},
                            const std::string& extraDsn = {}) {
  const char* w = getenv("KES_BENCH_DRIVER_W");
  const char* a = getenv("KES_BENCH_DRIVER_A");
  std::ofstream(root + "/odbcinst.ini") << "[Kestrane W]\nDriver=" << (w ? w : KES_DRIVER_W)
                                        << "\nThreading=0\n\n"
                                        << "[Kestrane A]\nDriver=" << (a ? a : KES_DRIVER_A)
                                        << "\nThreading=0\n\n"
                                        << extraDriver;
  std::ofstream(root + "/odbc.ini") << "[ODBC Data Sources]\nkes_w=Kestrane W\nkes_a=Kestrane A\n\n"
                                    << "[kes_w]\nDriver=Kestrane W\nDatabase=b@bench\n"
                                    << dsnLines << "\n"
                                    << "[kes_a]\nDriver=Kestrane A\nDatabase=b@bench\n"
                                    << dsnLines << "\n"
                                    << extraDsn;
  setenv("ODBCSYSINI", root.c_str(), 1);
  setenv("ODBCINI", (root + "/odbc.ini").c_str(), 1);
}

// The same-engine peer driver (Debian's libsqliteodbc) as the data source "peer" on
// root/peer.db with the embedded server's journal settings (WAL, synchronous NORMAL),
// reading row by row: the sections to hand WriteOdbcConfig, empty when the peer is
// not installed (`source scripts/deps.sh && kes_install_bench_deps`).
inline constexpr const char* kPeerLibrary = "/usr/lib/x86_64-linux-gnu/odbc/libsqlite3odbc.so";

struct PeerSections {
  bool installed = false;
  std::string driver;
  std::string dsn;
};

inline PeerSections PeerConfig(const std::string& root) {
  PeerSections p;
  p.installed = access(kPeerLibrary, R_OK) == 0;
  if (p.installed) {
    p.driver = std::string("[Peer]\nDriver=") + kPeerLibrary + "\nThreading=0\n";
    p.dsn = "[peer]\nDriver=Peer\nDatabase=" + root + "/peer.db\n" +
            "JournalMode=WAL\nSyncPragma=NORMAL\nStepAPI=1\n";
  }
  return p;
}

// One connection with one statement, closed at the end of a benchmark.
struct Session {
  SQLHENV env = nullptr;
  SQLHDBC dbc = nullptr;
  SQLHSTMT st = nullptr;

  explicit Session(const char* dsn) {
    SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env);
    SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, (SQLPOINTER)SQL_OV_ODBC3, 0);
    SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc);
    std::string in = std::string("DSN=") + dsn;
    odbcCheck(SQLDriverConnect(dbc, nullptr, (SQLCHAR*)in.c_str(), SQL_NTS, nullptr, 0, nullptr,
                               SQL_DRIVER_NOPROMPT),
              SQL_HANDLE_DBC, dbc, "connect");
    odbcCheck(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &st), SQL_HANDLE_DBC, dbc, "statement");
  }
  ~Session() {
    SQLFreeHandle(SQL_HANDLE_STMT, st);
    SQLDisconnect(dbc);
    SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    SQLFreeHandle(SQL_HANDLE_ENV, env);
  }
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  void exec(const char* sql) {
    odbcCheck(SQLExecDirect(st, (SQLCHAR*)sql, SQL_NTS), SQL_HANDLE_STMT, st, sql);
    SQLFreeStmt(st, SQL_CLOSE);
  }
};

// The peak resident size of this process so far, in kB (-1 when unknown).
inline long PeakKb() {
  std::ifstream f("/proc/self/status");
  std::string line;
  while (std::getline(f, line))
    if (line.rfind("VmHWM:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
  return -1;
}
