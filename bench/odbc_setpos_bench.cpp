// odbc_setpos_bench.cpp -- rows changed through a scrollable cursor, as a grid changes
// the row under the user's cursor: a keyset-driven cursor fetches 1,000 rows one at a
// time and changes each with SQLSetPos(SQL_UPDATE) (and, apart, SQLBulkOperations by
// bookmark), in one transaction, against the same rows changed by a prepared UPDATE by
// key in one transaction, through the unixODBC Driver Manager and the embedded server, on
// both driver libraries. Each benchmark runs in repetitions; at the end a table gives
// the median ratio to the UPDATE by key with its range.
// `--callgrind NAME` runs the named benchmark's 1,000 rows once warmed, with callgrind's
// instrumentation on for them only (instructions per row).

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

constexpr int kRows = 1000;

std::string g_root;

void setUp() {
  g_root = BenchServerWithDatabase("kes_setpos_bench_");
  if (g_root.empty()) {
    std::fprintf(stderr, "odbc_setpos_bench: embedded server failed\n");
    std::exit(1);
  }
  if (ixr_execute_immediate("CREATE TABLE k (i INTEGER NOT NULL, v VARCHAR(20), "
                            "PRIMARY KEY (i))") != 0) {
    std::fprintf(stderr, "odbc_setpos_bench: table failed\n");
    std::exit(1);
  }
  for (int i = 1; i <= kRows; ++i) {
    const std::string sql =
        "INSERT INTO k VALUES (" + std::to_string(i) + ", 'row " + std::to_string(i) + "')";
    if (ixr_execute_immediate(sql.c_str()) != 0) std::exit(1);
  }
  ixr_disconnect("load");
  WriteOdbcConfig(g_root, "");
}

enum class Road { SetPosUpdate, BulkUpdate, UpdateByKey };

// One pass: every row of k changed once, in one transaction; `pass` makes each value new.
struct Work {
  Work(const char* dsn, Road road) : s(dsn), road(road) {
    odbcCheck(SQLSetConnectAttr(s.dbc, SQL_ATTR_AUTOCOMMIT, (SQLPOINTER)SQL_AUTOCOMMIT_OFF, 0),
              SQL_HANDLE_DBC, s.dbc, "autocommit off");
  }
  ~Work() { SQLEndTran(SQL_HANDLE_DBC, s.dbc, SQL_ROLLBACK); }

  void once() {
    ++pass;
    SQLHSTMT st = s.st;
    if (road == Road::UpdateByKey) {
      odbcCheck(SQLPrepare(st, (SQLCHAR*)"UPDATE k SET v = ? WHERE i = ?", SQL_NTS),
                SQL_HANDLE_STMT, st, "prepare");
      SQLBindParameter(st, 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 20, 0, v, sizeof v, &vLen);
      SQLBindParameter(st, 2, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 10, 0, &i, 0, nullptr);
      for (i = 1; i <= kRows; ++i) {
        fill();
        odbcCheck(SQLExecute(st), SQL_HANDLE_STMT, st, "update");
      }
      SQLFreeStmt(st, SQL_RESET_PARAMS);
    } else {
      odbcCheck(SQLSetStmtAttr(st, SQL_ATTR_CURSOR_TYPE, (SQLPOINTER)SQL_CURSOR_KEYSET_DRIVEN, 0),
                SQL_HANDLE_STMT, st, "cursor type");
      odbcCheck(SQLSetStmtAttr(st, SQL_ATTR_CONCURRENCY, (SQLPOINTER)SQL_CONCUR_LOCK, 0),
                SQL_HANDLE_STMT, st, "concurrency");
      if (road == Road::BulkUpdate)
        odbcCheck(SQLSetStmtAttr(st, SQL_ATTR_USE_BOOKMARKS, (SQLPOINTER)SQL_UB_VARIABLE, 0),
                  SQL_HANDLE_STMT, st, "bookmarks");
      odbcCheck(SQLExecDirect(st, (SQLCHAR*)"SELECT i, v FROM k ORDER BY i", SQL_NTS),
                SQL_HANDLE_STMT, st, "select");
      SQLBindCol(st, 1, SQL_C_SLONG, &i, 0, &iInd);
      SQLBindCol(st, 2, SQL_C_CHAR, v, sizeof v, &vLen);
      if (road == Road::BulkUpdate) SQLBindCol(st, 0, SQL_C_VARBOOKMARK, bookmark, sizeof bookmark, &bmLen);
      for (int n = 0; n < kRows; ++n) {
        // A bulk operation leaves the position unknown: the next row is fetched by number.
        odbcCheck(road == Road::SetPosUpdate ? SQLFetchScroll(st, SQL_FETCH_NEXT, 0)
                                             : SQLFetchScroll(st, SQL_FETCH_ABSOLUTE, n + 1),
                  SQL_HANDLE_STMT, st, "fetch");
        fill();
        if (road == Road::SetPosUpdate)
          odbcCheck(SQLSetPos(st, 1, SQL_UPDATE, SQL_LOCK_NO_CHANGE), SQL_HANDLE_STMT, st, "SetPos");
        else
          odbcCheck(SQLBulkOperations(st, SQL_UPDATE_BY_BOOKMARK), SQL_HANDLE_STMT, st, "bulk");
      }
      SQLFreeStmt(st, SQL_CLOSE);
      SQLFreeStmt(st, SQL_UNBIND);
    }
    odbcCheck(SQLEndTran(SQL_HANDLE_DBC, s.dbc, SQL_COMMIT), SQL_HANDLE_DBC, s.dbc, "commit");
  }

  void fill() {
    std::snprintf(v, sizeof v, "p%d r%d", pass, static_cast<int>(i));
    vLen = SQL_NTS;
  }

  Session s;
  Road road;
  int pass = 0;
  SQLINTEGER i = 0;
  SQLLEN iInd = 0;
  char v[24] = {};
  SQLLEN vLen = SQL_NTS;
  unsigned char bookmark[16] = {};
  SQLLEN bmLen = 0;
};

void BM_Rows(benchmark::State& state, const char* dsn, Road road) {
  Work w(dsn, road);
  for (auto _ : state) w.once();
  state.SetItemsProcessed(state.iterations() * kRows);
}

const struct {
  const char* name;
  Road road;
} kRoads[] = {{"update_by_key_1000_rows", Road::UpdateByKey},
              {"setpos_update_1000_rows", Road::SetPosUpdate},
              {"bulk_update_by_bookmark_1000_rows", Road::BulkUpdate}};

const struct {
  const char* name;
  const char* dsn;
} kSides[] = {{"kesdrvw", "kes_w"}, {"kesdrva", "kes_a"}};

int callgrindRun(const std::string& name) {
  for (const auto& side : kSides)
    for (const auto& r : kRoads)
      if (name == std::string(side.name) + "/" + r.name) {
        Work w(side.dsn, r.road);
        w.once();
        CALLGRIND_ZERO_STATS;
        CALLGRIND_START_INSTRUMENTATION;
        w.once();
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
    if (rc != 0) std::fprintf(stderr, "odbc_setpos_bench: no benchmark %s\n", callgrind.c_str());
    std::error_code ec;
    std::filesystem::remove_all(g_root, ec);
    return rc;
  }
  InitializeWithRepetitions(argc, argv, 3);
  for (const auto& r : kRoads)
    for (const auto& side : kSides)
      benchmark::RegisterBenchmark((std::string(side.name) + "/" + r.name).c_str(), BM_Rows,
                                   side.dsn, r.road)
          ->Unit(benchmark::kMillisecond);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::printf("\n%-36s | %-22s %-22s\n", "ratio to the UPDATE by key", "kesdrvw cpu", "kesdrva cpu");
  for (const auto& r : kRoads) {
    std::printf("%-36s", r.name);
    for (const auto& side : kSides) {
      const std::string base = std::string(side.name) + "/" + kRoads[0].name;
      std::printf(" | %-22s",
                  FormatRatio(RatioOf(reporter.cpu, std::string(side.name) + "/" + r.name, base))
                      .c_str());
    }
    std::printf("\n");
  }
  std::error_code ec;
  std::filesystem::remove_all(g_root, ec);
  return 0;
}
