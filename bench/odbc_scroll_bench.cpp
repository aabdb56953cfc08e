// odbc_scroll_bench.cpp -- a static cursor over 1,024,000 rows through the
// unixODBC Driver Manager and the embedded server, on both driver libraries:
// scrolled to LAST and then PRIOR rowset by rowset back to the start, against
// a forward-only cursor reading the same rows in rowsets of the same size; and
// the peak memory the static cursor adds to a fresh process, for the whole
// result and for a tenth of it, which stays flat because the result spills to
// the cache's temporary files; and a keyset-driven cursor's rowset of 100 rows
// selected again by their keys, against a forward-only cursor reading the same
// 100 rows through a prepared statement. Prints the ratios at the end.

#include <benchmark/benchmark.h>
#include <sql.h>
#include <sqlext.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "bench/bench_support.h"
#include "bench/odbc_support.h"
#include "platform/informix/ixr_api.h"

namespace {

constexpr int kBase = 1000;
constexpr int kDoublings = 10;
constexpr long kRows = long(kBase) << kDoublings;
constexpr SQLULEN kRowset = 100;
// Rows of the keyed table the keyset benchmarks read.
constexpr int kKeyed = 10000;

std::string g_root;

[[noreturn]] void die(const char* what) {
  std::fprintf(stderr, "odbc_scroll_bench: %s failed\n", what);
  std::exit(1);
}

void setUp() {
  g_root = BenchServerWithDatabase("kes_scroll_bench_");
  if (g_root.empty()) die("embedded server");
  if (ixr_execute_immediate("CREATE TABLE big (id INTEGER, name VARCHAR(24))") != 0) die("table");
  for (int i = 0; i < kBase; ++i) {
    const std::string sql =
        "INSERT INTO big VALUES (" + std::to_string(i) + ", 'row " + std::to_string(i) + "')";
    if (ixr_execute_immediate(sql.c_str()) != 0) die("insert");
  }
  for (int d = 0, n = kBase; d < kDoublings; ++d, n *= 2) {
    const std::string sql =
        "INSERT INTO big SELECT id + " + std::to_string(n) + ", name FROM big";
    if (ixr_execute_immediate(sql.c_str()) != 0) die("doubling");
  }
  if (ixr_execute_immediate("CREATE TABLE keyed (id INTEGER PRIMARY KEY, name VARCHAR(24))") != 0)
    die("keyed table");
  const std::string fill =
      "INSERT INTO keyed SELECT id, name FROM big WHERE id < " + std::to_string(kKeyed);
  if (ixr_execute_immediate(fill.c_str()) != 0) die("keyed rows");
  ixr_disconnect("load");
  WriteOdbcConfig(g_root, "");
}

struct Rowset {
  SQLINTEGER id[kRowset];
  SQLLEN idInd[kRowset];
  char name[kRowset][25];
  SQLLEN nameInd[kRowset];
  SQLULEN fetched = 0;
};

void bind(SQLHSTMT st, Rowset& r) {
  odbcCheck(SQLSetStmtAttr(st, SQL_ATTR_ROW_ARRAY_SIZE, (SQLPOINTER)kRowset, 0), SQL_HANDLE_STMT,
            st, "rowset size");
  odbcCheck(SQLSetStmtAttr(st, SQL_ATTR_ROWS_FETCHED_PTR, &r.fetched, 0), SQL_HANDLE_STMT, st,
            "rows fetched");
  odbcCheck(SQLBindCol(st, 1, SQL_C_SLONG, r.id, 0, r.idInd), SQL_HANDLE_STMT, st, "bind id");
  odbcCheck(SQLBindCol(st, 2, SQL_C_CHAR, r.name, sizeof r.name[0], r.nameInd), SQL_HANDLE_STMT,
            st, "bind name");
}

// Every row of `limit` through the cursor type given; answers the rows read.
long readAll(Session& s, SQLULEN type, long limit) {
  SQLHSTMT st = s.st;
  odbcCheck(SQLSetStmtAttr(st, SQL_ATTR_CURSOR_TYPE, (SQLPOINTER)type, 0), SQL_HANDLE_STMT, st,
            "cursor type");
  Rowset r;
  bind(st, r);
  const std::string sql = "SELECT id, name FROM big WHERE id < " + std::to_string(limit);
  odbcCheck(SQLExecDirect(st, (SQLCHAR*)sql.c_str(), SQL_NTS), SQL_HANDLE_STMT, st, "select");
  long rows = 0;
  SQLRETURN rc;
  if (type == SQL_CURSOR_FORWARD_ONLY) {
    while ((rc = SQLFetchScroll(st, SQL_FETCH_NEXT, 0)) == SQL_SUCCESS) rows += r.fetched;
  } else {
    for (rc = SQLFetchScroll(st, SQL_FETCH_LAST, 0); rc == SQL_SUCCESS;
         rc = SQLFetchScroll(st, SQL_FETCH_PRIOR, 0))
      rows += r.fetched;
  }
  odbcCheck(rc, SQL_HANDLE_STMT, st, "fetch");
  SQLFreeStmt(st, SQL_CLOSE);
  SQLFreeStmt(st, SQL_UNBIND);
  return rows;
}

void BM_Read(benchmark::State& state, const char* dsn, SQLULEN type) {
  Session s(dsn);
  for (auto _ : state)
    if (readAll(s, type, kRows) != kRows) state.SkipWithError("rows missing");
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * kRows));
}

// The first row of the i-th rowset the keyed benchmarks read: every rowset of
// the table in turn.
SQLINTEGER keyedStart(int64_t i) { return static_cast<SQLINTEGER>((i * kRowset) % kKeyed); }

// One rowset of 100 rows at a time, each selected again by its keys.
void BM_KeysetRowset(benchmark::State& state, const char* dsn) {
  Session s(dsn);
  SQLHSTMT st = s.st;
  odbcCheck(SQLSetStmtAttr(st, SQL_ATTR_CURSOR_TYPE, (SQLPOINTER)SQL_CURSOR_KEYSET_DRIVEN, 0),
            SQL_HANDLE_STMT, st, "cursor type");
  Rowset r;
  bind(st, r);
  odbcCheck(SQLExecDirect(st, (SQLCHAR*)"SELECT id, name FROM keyed ORDER BY id", SQL_NTS),
            SQL_HANDLE_STMT, st, "keyset select");
  int64_t i = 0;
  for (auto _ : state) {
    odbcCheck(SQLFetchScroll(st, SQL_FETCH_ABSOLUTE, keyedStart(i++) + 1), SQL_HANDLE_STMT, st,
              "keyset fetch");
    if (r.fetched != kRowset || r.id[0] != keyedStart(i - 1)) state.SkipWithError("wrong rows");
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * kRowset));
}

// The same rowsets through a forward-only cursor over a prepared range query.
void BM_ForwardRowset(benchmark::State& state, const char* dsn) {
  Session s(dsn);
  SQLHSTMT st = s.st;
  Rowset r;
  bind(st, r);
  SQLINTEGER low = 0, high = 0;
  odbcCheck(SQLPrepare(st, (SQLCHAR*)"SELECT id, name FROM keyed WHERE id >= ? AND id < ? ORDER BY id",
                       SQL_NTS),
            SQL_HANDLE_STMT, st, "prepare");
  odbcCheck(SQLBindParameter(st, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &low, 0,
                             nullptr),
            SQL_HANDLE_STMT, st, "bind low");
  odbcCheck(SQLBindParameter(st, 2, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &high, 0,
                             nullptr),
            SQL_HANDLE_STMT, st, "bind high");
  int64_t i = 0;
  for (auto _ : state) {
    low = keyedStart(i++);
    high = low + static_cast<SQLINTEGER>(kRowset);
    odbcCheck(SQLExecute(st), SQL_HANDLE_STMT, st, "execute");
    odbcCheck(SQLFetchScroll(st, SQL_FETCH_NEXT, 0), SQL_HANDLE_STMT, st, "fetch");
    if (r.fetched != kRowset || r.id[0] != low) state.SkipWithError("wrong rows");
    SQLFreeStmt(st, SQL_CLOSE);
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * kRowset));
}

// A fresh process reads `limit` rows through a static cursor, LAST then PRIOR,
// and prints how far its peak resident size grew beyond the open connection's.
int peakChild(const char* dsn, long limit) {
  Session s(dsn);
  std::ofstream("/proc/self/clear_refs") << "5";
  const long before = PeakKb();
  if (readAll(s, SQL_CURSOR_STATIC, limit) != limit) return 1;
  std::printf("%ld\n", PeakKb() - before);
  return 0;
}

void BM_PeakMemory(benchmark::State& state, const char* dsn) {
  long growth = -1;
  for (auto _ : state) {
    std::string cmd = std::filesystem::read_symlink("/proc/self/exe").string() + " --peak-child " +
                      dsn + " " + std::to_string(state.range(0));
    FILE* p = popen(cmd.c_str(), "r");
    if (p == nullptr || std::fscanf(p, "%ld", &growth) != 1) state.SkipWithError("child");
    if (p != nullptr) pclose(p);
  }
  state.counters["peak_growth_kB"] = static_cast<double>(growth);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::strcmp(argv[1], "--peak-child") == 0)
    return peakChild(argv[2], std::strtol(argv[3], nullptr, 10));
  benchmark::Initialize(&argc, argv);
  setUp();
  const struct {
    const char* name;
    const char* dsn;
  } builds[] = {{"kesdrvw", "kes_w"}, {"kesdrva", "kes_a"}};
  for (const auto& b : builds) {
    benchmark::RegisterBenchmark((std::string(b.name) + "/forward_only_next").c_str(), BM_Read,
                                 b.dsn, SQL_CURSOR_FORWARD_ONLY)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark((std::string(b.name) + "/static_last_then_prior").c_str(),
                                 BM_Read, b.dsn, SQL_CURSOR_STATIC)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark((std::string(b.name) + "/forward_only_rowset_100").c_str(),
                                 BM_ForwardRowset, b.dsn)
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark((std::string(b.name) + "/keyset_rowset_100_by_keys").c_str(),
                                 BM_KeysetRowset, b.dsn)
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark((std::string(b.name) + "/static_peak_memory").c_str(),
                                 BM_PeakMemory, b.dsn)
        ->Arg(kRows / 10)
        ->Arg(kRows)
        ->Iterations(1)
        ->Unit(benchmark::kMillisecond);
  }

  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  for (const auto& b : builds) {
    auto f = reporter.times.find(std::string(b.name) + "/forward_only_next");
    auto s = reporter.times.find(std::string(b.name) + "/static_last_then_prior");
    if (f != reporter.times.end() && s != reporter.times.end() && f->second > 0)
      std::printf("%s: static LAST then PRIOR / forward-only NEXT over %ld rows: %.2f\n", b.name,
                  kRows, s->second / f->second);
    const std::string n = b.name;
    std::printf("%s: keyset rowset of 100 by keys / forward-only rowset of the same rows: "
                "real %s, cpu %s\n",
                b.name,
                FormatRatio(RatioOf(reporter.real, n + "/keyset_rowset_100_by_keys",
                                    n + "/forward_only_rowset_100"))
                    .c_str(),
                FormatRatio(RatioOf(reporter.cpu, n + "/keyset_rowset_100_by_keys",
                                    n + "/forward_only_rowset_100"))
                    .c_str());
  }
  return 0;
}
