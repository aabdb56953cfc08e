// odbc_short_bench.cpp -- short statements as an application meets them through the
// unixODBC Driver Manager: a point select by primary key (SQLExecDirect with the key in
// the text, and a prepared statement executed with the key as a parameter), a one-row
// insert in autocommit, and connect plus disconnect. Both driver libraries run against
// the same-engine peer driver (Debian's libsqliteodbc, package libsqliteodbc) on the same
// rows in a plain SQLite file with the embedded server's journal settings (WAL,
// synchronous NORMAL). Each benchmark runs in repetitions; at the end a table gives, road
// by road and both driver libraries side by side, the median ratio to the peer with its
// range, of the processor time and of the elapsed time. Without the peer's library only
// our own figures are printed (`source scripts/deps.sh && kes_install_bench_deps`).
// `--callgrind NAME` runs 2000 iterations of the named benchmark once warmed, with
// callgrind's instrumentation on for them only (instructions per statement).

#include <benchmark/benchmark.h>
#include <sql.h>
#include <sqlext.h>
#include <valgrind/callgrind.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "bench/odbc_support.h"

namespace {

constexpr int kRows = 10000;

std::string g_root;
bool g_peer = false;

// The row with key k, as the application binds and reads it.
struct Row {
  SQLINTEGER i = 0;
  char v[24] = {};
  char d[24] = {};
  SQL_DATE_STRUCT dt = {};
  double f = 0;
  SQLLEN ind[5] = {};
  SQLLEN vLen = SQL_NTS, dLen = SQL_NTS;

  void fill(int k) {
    i = k;
    std::snprintf(v, sizeof v, "name %d", k);
    std::snprintf(d, sizeof d, "%d.%02d", k % 100000, k % 100);
    dt = {static_cast<SQLSMALLINT>(2000 + k % 20), static_cast<SQLUSMALLINT>(1 + k % 12),
          static_cast<SQLUSMALLINT>(1 + k % 28)};
    f = k * 0.5;
  }
  void bindParams(SQLHSTMT st) {
    SQLBindParameter(st, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 10, 0, &i, 0, nullptr);
    SQLBindParameter(st, 2, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 20, 0, v, sizeof v, &vLen);
    SQLBindParameter(st, 3, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_DECIMAL, 10, 2, d, sizeof d, &dLen);
    SQLBindParameter(st, 4, SQL_PARAM_INPUT, SQL_C_TYPE_DATE, SQL_TYPE_DATE, 10, 0, &dt, 0,
                     nullptr);
    SQLBindParameter(st, 5, SQL_PARAM_INPUT, SQL_C_DOUBLE, SQL_DOUBLE, 15, 0, &f, 0, nullptr);
  }
  void bindColumns(SQLHSTMT st) {
    SQLBindCol(st, 1, SQL_C_LONG, &i, 0, &ind[0]);
    SQLBindCol(st, 2, SQL_C_CHAR, v, sizeof v, &ind[1]);
    SQLBindCol(st, 3, SQL_C_CHAR, d, sizeof d, &ind[2]);
    SQLBindCol(st, 4, SQL_C_TYPE_DATE, &dt, 0, &ind[3]);
    SQLBindCol(st, 5, SQL_C_DOUBLE, &f, 0, &ind[4]);
  }
};

constexpr const char* kTable = "(i INTEGER NOT NULL, v VARCHAR(20), d DECIMAL(10,2), dt DATE, "
                               "f FLOAT, PRIMARY KEY (i))";
constexpr const char* kInsertTable =
    "(i INTEGER, v VARCHAR(20), d DECIMAL(10,2), dt DATE, f FLOAT)";

// Both tables through the data source's own driver, the same rows on every side.
void load(const char* dsn) {
  Session s(dsn);
  s.exec((std::string("CREATE TABLE k ") + kTable).c_str());
  s.exec((std::string("CREATE TABLE ins ") + kInsertTable).c_str());
  odbcCheck(SQLSetConnectAttr(s.dbc, SQL_ATTR_AUTOCOMMIT, (SQLPOINTER)SQL_AUTOCOMMIT_OFF, 0),
            SQL_HANDLE_DBC, s.dbc, "autocommit off");
  Row row;
  odbcCheck(SQLPrepare(s.st, (SQLCHAR*)"INSERT INTO k VALUES (?, ?, ?, ?, ?)", SQL_NTS),
            SQL_HANDLE_STMT, s.st, "prepare");
  row.bindParams(s.st);
  for (int k = 1; k <= kRows; ++k) {
    row.fill(k);
    odbcCheck(SQLExecute(s.st), SQL_HANDLE_STMT, s.st, "load");
  }
  odbcCheck(SQLEndTran(SQL_HANDLE_DBC, s.dbc, SQL_COMMIT), SQL_HANDLE_DBC, s.dbc, "commit");
  SQLFreeStmt(s.st, SQL_RESET_PARAMS);
  SQLSetConnectAttr(s.dbc, SQL_ATTR_AUTOCOMMIT, (SQLPOINTER)SQL_AUTOCOMMIT_ON, 0);
}

void setUp() {
  g_root = BenchServerWithDatabase("kes_short_bench_");
  if (g_root.empty()) {
    std::fprintf(stderr, "odbc_short_bench: embedded server failed: %s\n", ixr_sqlca()->sqlerrm);
    std::exit(1);
  }
  ixr_disconnect("load");
  const PeerSections peer = PeerConfig(g_root);
  g_peer = peer.installed;
  WriteOdbcConfig(g_root, "", peer.driver, peer.dsn);
  load("kes_a");
  if (g_peer) load("peer");
}

// The key of the next point select: every row in turn.
int nextKey(int& k) { return k = k % kRows + 1; }

void pointSelectDirect(Session& s, Row& row, int& key) {
  char sql[96];
  std::snprintf(sql, sizeof sql, "SELECT i, v, d, dt, f FROM k WHERE i = %d", nextKey(key));
  odbcCheck(SQLExecDirect(s.st, (SQLCHAR*)sql, SQL_NTS), SQL_HANDLE_STMT, s.st, "select");
  odbcCheck(SQLFetch(s.st), SQL_HANDLE_STMT, s.st, "fetch");
  SQLFreeStmt(s.st, SQL_CLOSE);
  if (row.i != key) {
    std::fprintf(stderr, "odbc_short_bench: key %d read as %d\n", key, static_cast<int>(row.i));
    std::exit(1);
  }
}

void pointSelectPrepared(Session& s, Row& row, SQLINTEGER& param, int& key) {
  param = nextKey(key);
  odbcCheck(SQLExecute(s.st), SQL_HANDLE_STMT, s.st, "execute");
  odbcCheck(SQLFetch(s.st), SQL_HANDLE_STMT, s.st, "fetch");
  SQLFreeStmt(s.st, SQL_CLOSE);
  if (row.i != key) {
    std::fprintf(stderr, "odbc_short_bench: key %d read as %d\n", key, static_cast<int>(row.i));
    std::exit(1);
  }
}

enum class Road { SelectDirect, SelectPrepared, Insert, Connect };

// One statement handle set up for the road; the body of each iteration.
struct Work {
  explicit Work(const char* dsn, Road road) : s(dsn), road(road) {
    if (road == Road::SelectDirect) row.bindColumns(s.st);
    if (road == Road::SelectPrepared) {
      odbcCheck(SQLPrepare(s.st, (SQLCHAR*)"SELECT i, v, d, dt, f FROM k WHERE i = ?", SQL_NTS),
                SQL_HANDLE_STMT, s.st, "prepare");
      SQLBindParameter(s.st, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 10, 0, &param, 0,
                       nullptr);
      row.bindColumns(s.st);
    }
    if (road == Road::Insert) {
      odbcCheck(SQLPrepare(s.st, (SQLCHAR*)"INSERT INTO ins VALUES (?, ?, ?, ?, ?)", SQL_NTS),
                SQL_HANDLE_STMT, s.st, "prepare");
      row.bindParams(s.st);
    }
    this->dsn = std::string("DSN=") + dsn;
  }
  void once() {
    switch (road) {
      case Road::SelectDirect: pointSelectDirect(s, row, key); break;
      case Road::SelectPrepared: pointSelectPrepared(s, row, param, key); break;
      case Road::Insert:
        row.fill(++key);
        odbcCheck(SQLExecute(s.st), SQL_HANDLE_STMT, s.st, "insert");
        break;
      case Road::Connect: {
        SQLHDBC dbc = nullptr;
        SQLAllocHandle(SQL_HANDLE_DBC, s.env, &dbc);
        odbcCheck(SQLDriverConnect(dbc, nullptr, (SQLCHAR*)dsn.c_str(), SQL_NTS, nullptr, 0,
                                   nullptr, SQL_DRIVER_NOPROMPT),
                  SQL_HANDLE_DBC, dbc, "connect");
        SQLDisconnect(dbc);
        SQLFreeHandle(SQL_HANDLE_DBC, dbc);
        break;
      }
    }
  }

  Session s;
  Road road;
  Row row;
  SQLINTEGER param = 0;
  int key = 0;
  std::string dsn;
};

void BM_Short(benchmark::State& state, const char* dsn, Road road) {
  Work w(dsn, road);
  for (auto _ : state) w.once();
  state.SetItemsProcessed(state.iterations());
}

const struct {
  const char* name;
  Road road;
} kRoads[] = {{"select_by_key_direct", Road::SelectDirect},
              {"select_by_key_prepared", Road::SelectPrepared},
              {"insert_one_autocommit", Road::Insert},
              {"connect_disconnect", Road::Connect}};

const struct {
  const char* name;
  const char* dsn;
} kSides[] = {{"kesdrvw", "kes_w"}, {"kesdrva", "kes_a"}, {"peer", "peer"}};

int callgrindRun(const std::string& name) {
  for (const auto& side : kSides)
    for (const auto& r : kRoads)
      if (name == std::string(side.name) + "/" + r.name) {
        if (!g_peer && std::strcmp(side.dsn, "peer") == 0) return 1;
        Work w(side.dsn, r.road);
        for (int n = 0; n < 200; ++n) w.once();
        CALLGRIND_ZERO_STATS;
        CALLGRIND_START_INSTRUMENTATION;
        for (int n = 0; n < 2000; ++n) w.once();
        CALLGRIND_STOP_INSTRUMENTATION;
        CALLGRIND_DUMP_STATS;
        return 0;
      }
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string callgrind = TakeCallgrindArg(&argc, argv);
  setUp();
  if (!callgrind.empty()) {
    const int rc = callgrindRun(callgrind);
    if (rc != 0) std::fprintf(stderr, "odbc_short_bench: no benchmark %s\n", callgrind.c_str());
    std::error_code ec;
    std::filesystem::remove_all(g_root, ec);
    return rc;
  }
  InitializeWithRepetitions(argc, argv, 5);
  for (const auto& r : kRoads)
    for (const auto& side : kSides) {
      if (!g_peer && std::strcmp(side.dsn, "peer") == 0) continue;
      benchmark::RegisterBenchmark((std::string(side.name) + "/" + r.name).c_str(), BM_Short,
                                   side.dsn, r.road)
          ->Unit(benchmark::kMicrosecond);
    }
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  if (g_peer) {
    std::printf("\n%-24s | %-22s %-22s | %-22s %-22s\n", "ratio to the peer driver", "kesdrvw cpu",
                "kesdrvw real", "kesdrva cpu", "kesdrva real");
    for (const auto& r : kRoads) {
      const std::string base = std::string("peer/") + r.name;
      std::printf("%-24s", r.name);
      for (const char* build : {"kesdrvw", "kesdrva"}) {
        const std::string name = std::string(build) + "/" + r.name;
        std::printf(" | %-22s %-22s", FormatRatio(RatioOf(reporter.cpu, name, base)).c_str(),
                    FormatRatio(RatioOf(reporter.real, name, base)).c_str());
      }
      std::printf("\n");
    }
  } else {
    std::printf("\nno peer driver (%s): install libsqliteodbc for the side-by-side run\n",
                kPeerLibrary);
  }
  std::error_code ec;
  std::filesystem::remove_all(g_root, ec);
  return 0;
}
