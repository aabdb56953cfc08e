// odbc_scroll_bench.cpp -- scrollable cursors over 1,000,000 rows of INTEGER (the
// key), VARCHAR(20), DECIMAL(10,2), DATE and FLOAT through the unixODBC Driver
// Manager and the embedded server, on both driver libraries, against the plain
// SQLite C API reading the same rows:
// - forward scroll in rowsets of 100 (execution included) of forward-only,
//   static, keyset-driven and dynamic cursors, against one plain pass over the
//   table;
// - a static cursor scrolled to LAST and back with PRIOR, against the same plain pass;
// - 1,000 random SQL_FETCH_ABSOLUTE jumps with rowsets of 1 and of 100 on an open
//   static or keyset-driven cursor, against the plain side selecting the same
//   rows by key;
// - a keyset-driven rowset of 100 rows selected again by their keys, against a
//   forward-only cursor reading the same rows through a prepared statement;
// - the bytes a row takes in the static cursor's temporary files, and the peak
//   memory the static cursor adds to a fresh process for a tenth and for the
//   whole result.
// Each benchmark runs in repetitions; at the end a table gives the median ratio
// to the plain side with its range, of the processor and of the elapsed time.
// `--rows N` makes the table N rows. `--callgrind NAME` runs the named road's work
// once more after one warming pass, with callgrind's instrumentation on for that
// pass only (bench/callgrind.sh scroll prints the counts).
// The server, the configuration and the cache files live in one directory under
// /tmp, removed at the end.

#include <benchmark/benchmark.h>
#include <sql.h>
#include <sqlext.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <valgrind/callgrind.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "bench/odbc_support.h"
#include "platform/informix/ixr_api.h"

namespace {

constexpr int kBase = 1000;
long kRows = 1000000;
constexpr SQLULEN kRowset = 100;
constexpr int kJumps = 1000;
// The keyset benchmark reads every rowset of the first rows in turn.
constexpr int kKeyed = 10000;

std::string g_root;
std::string g_dbFile;

void removeRoot() {
  if (g_root.empty()) return;
  std::error_code ec;
  std::filesystem::remove_all(g_root, ec);
  g_root.clear();
}

[[noreturn]] void die(const char* what) {
  std::fprintf(stderr, "odbc_scroll_bench: %s failed\n", what);
  removeRoot();
  std::exit(1);
}

// Rows 0 .. kRows-1: a thousand written one by one, then doubled with the key
// moved on, the last doubling cut at kRows.
void setUp() {
  g_root = BenchServerWithDatabase("kes_scroll_bench_");
  if (g_root.empty()) die("embedded server");
  g_dbFile = g_root + "/bench/b.db";
  if (ixr_execute_immediate("CREATE TABLE big (i INTEGER PRIMARY KEY, v VARCHAR(20), "
                            "d DECIMAL(10,2), dt DATE, f FLOAT)") != 0)
    die("table");
  if (ixr_execute_immediate("BEGIN WORK") != 0) die("begin");
  for (int k = 0; k < kBase; ++k) {
    const std::string sql = "INSERT INTO big VALUES (" + std::to_string(k) + ", 'name " +
                            std::to_string(k) + "', " + std::to_string(k) + ".25, MDY(" +
                            std::to_string(1 + k % 12) + ", " + std::to_string(1 + k % 28) +
                            ", " + std::to_string(1990 + k % 30) + "), " +
                            std::to_string(k) + ".5)";
    if (ixr_execute_immediate(sql.c_str()) != 0) die("insert");
  }
  for (long n = kBase; n < kRows; n *= 2) {
    const std::string sql = "INSERT INTO big SELECT i + " + std::to_string(n) +
                            ", v, d, dt, f FROM big WHERE i < " + std::to_string(kRows - n);
    if (ixr_execute_immediate(sql.c_str()) != 0) die("doubling");
  }
  if (ixr_execute_immediate("COMMIT WORK") != 0) die("commit");
  ixr_disconnect("load");
  // The cache's temporary files go where their size can be found.
  const std::string tmp = g_root + "/tmp";
  std::filesystem::create_directory(tmp);
  setenv("TMPDIR", tmp.c_str(), 1);
  WriteOdbcConfig(g_root, "");
}

// ---------------------------------------------------------------------------
// The driver side

struct Rowset {
  SQLINTEGER i[kRowset];
  SQLLEN iInd[kRowset];
  char v[kRowset][24];
  SQLLEN vInd[kRowset];
  char d[kRowset][24];
  SQLLEN dInd[kRowset];
  SQL_DATE_STRUCT dt[kRowset];
  SQLLEN dtInd[kRowset];
  double f[kRowset];
  SQLLEN fInd[kRowset];
  SQLULEN fetched = 0;
};

void bind(SQLHSTMT st, Rowset& r, SQLULEN size) {
  odbcCheck(SQLSetStmtAttr(st, SQL_ATTR_ROW_ARRAY_SIZE, (SQLPOINTER)size, 0), SQL_HANDLE_STMT, st,
            "rowset size");
  odbcCheck(SQLSetStmtAttr(st, SQL_ATTR_ROWS_FETCHED_PTR, &r.fetched, 0), SQL_HANDLE_STMT, st,
            "rows fetched");
  odbcCheck(SQLBindCol(st, 1, SQL_C_SLONG, r.i, 0, r.iInd), SQL_HANDLE_STMT, st, "bind i");
  odbcCheck(SQLBindCol(st, 2, SQL_C_CHAR, r.v, sizeof r.v[0], r.vInd), SQL_HANDLE_STMT, st,
            "bind v");
  odbcCheck(SQLBindCol(st, 3, SQL_C_CHAR, r.d, sizeof r.d[0], r.dInd), SQL_HANDLE_STMT, st,
            "bind d");
  odbcCheck(SQLBindCol(st, 4, SQL_C_TYPE_DATE, r.dt, 0, r.dtInd), SQL_HANDLE_STMT, st, "bind dt");
  odbcCheck(SQLBindCol(st, 5, SQL_C_DOUBLE, r.f, 0, r.fInd), SQL_HANDLE_STMT, st, "bind f");
}

void unbind(SQLHSTMT st) {
  SQLFreeStmt(st, SQL_CLOSE);
  SQLFreeStmt(st, SQL_UNBIND);
}

void open(SQLHSTMT st, SQLULEN type, long limit) {
  odbcCheck(SQLSetStmtAttr(st, SQL_ATTR_CURSOR_TYPE, (SQLPOINTER)type, 0), SQL_HANDLE_STMT, st,
            "cursor type");
  const std::string sql =
      "SELECT i, v, d, dt, f FROM big WHERE i < " + std::to_string(limit) + " ORDER BY i";
  odbcCheck(SQLExecDirect(st, (SQLCHAR*)sql.c_str(), SQL_NTS), SQL_HANDLE_STMT, st, "select");
}

// Every row of `limit` through the cursor type given, NEXT to the end (or, with
// `backward`, LAST and then PRIOR to the start); answers the rows read.
long readAll(Session& s, SQLULEN type, long limit, bool backward) {
  SQLHSTMT st = s.st;
  Rowset r;
  bind(st, r, kRowset);
  open(st, type, limit);
  long rows = 0;
  SQLRETURN rc;
  if (!backward) {
    while ((rc = SQLFetchScroll(st, SQL_FETCH_NEXT, 0)) == SQL_SUCCESS) rows += r.fetched;
  } else {
    for (rc = SQLFetchScroll(st, SQL_FETCH_LAST, 0); rc == SQL_SUCCESS;
         rc = SQLFetchScroll(st, SQL_FETCH_PRIOR, 0))
      rows += r.fetched;
  }
  odbcCheck(rc, SQL_HANDLE_STMT, st, "fetch");
  unbind(st);
  return rows;
}

void BM_Read(benchmark::State& state, const char* dsn, SQLULEN type, bool backward) {
  Session s(dsn);
  for (auto _ : state)
    if (readAll(s, type, kRows, backward) != kRows) state.SkipWithError("rows missing");
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * kRows));
}

// The 0-based first rows of the jumps: the same for every side and run.
const std::vector<long>& jumpTargets(SQLULEN rowset) {
  static std::vector<long> t[2];
  std::vector<long>& v = t[rowset == 1 ? 0 : 1];
  if (v.empty()) {
    std::mt19937_64 gen(20261211);
    std::uniform_int_distribution<long> pick(0, kRows - static_cast<long>(rowset));
    for (int j = 0; j < kJumps; ++j) v.push_back(pick(gen));
  }
  return v;
}

// The bytes of the cache's temporary files this process holds open.
long cacheFileBytes() {
  long total = 0;
  std::error_code ec;
  for (const auto& e : std::filesystem::directory_iterator("/proc/self/fd", ec)) {
    const std::string target = std::filesystem::read_symlink(e.path(), ec).string();
    if (ec || target.find("/kestmp") == std::string::npos) continue;
    struct stat st {};
    if (stat(e.path().c_str(), &st) == 0) total += st.st_size;
  }
  return total;
}

// An open cursor of the type given over the whole table, loaded by a first
// fetch, for the jumps.
struct JumpCursor {
  Session s;
  Rowset r;
  SQLULEN rowset;
  JumpCursor(const char* dsn, SQLULEN type, SQLULEN size) : s(dsn), rowset(size) {
    bind(s.st, r, size);
    open(s.st, type, kRows);
    odbcCheck(SQLFetchScroll(s.st, SQL_FETCH_FIRST, 0), SQL_HANDLE_STMT, s.st, "first");
  }
  ~JumpCursor() { unbind(s.st); }
  bool jumps() {
    bool ok = true;
    for (long t : jumpTargets(rowset)) {
      odbcCheck(SQLFetchScroll(s.st, SQL_FETCH_ABSOLUTE, t + 1), SQL_HANDLE_STMT, s.st, "jump");
      ok = ok && r.fetched == rowset && r.i[0] == t && r.i[rowset - 1] == t + long(rowset) - 1;
    }
    return ok;
  }
};

void BM_Jumps(benchmark::State& state, const char* dsn, SQLULEN type, SQLULEN rowset) {
  JumpCursor c(dsn, type, rowset);
  if (type == SQL_CURSOR_STATIC)
    state.counters["cache_bytes_per_row"] = static_cast<double>(cacheFileBytes()) / kRows;
  for (auto _ : state)
    if (!c.jumps()) state.SkipWithError("wrong rows");
  state.SetItemsProcessed(state.iterations() * kJumps);
}

// The first row of the i-th rowset the keyed benchmarks read.
SQLINTEGER keyedStart(int64_t i) { return static_cast<SQLINTEGER>((i * kRowset) % kKeyed); }

// One rowset of 100 rows at a time, each selected again by its keys.
void BM_KeysetRowset(benchmark::State& state, const char* dsn) {
  Session s(dsn);
  SQLHSTMT st = s.st;
  Rowset r;
  bind(st, r, kRowset);
  open(st, SQL_CURSOR_KEYSET_DRIVEN, kKeyed);
  int64_t i = 0;
  for (auto _ : state) {
    odbcCheck(SQLFetchScroll(st, SQL_FETCH_ABSOLUTE, keyedStart(i++) + 1), SQL_HANDLE_STMT, st,
              "keyset fetch");
    if (r.fetched != kRowset || r.i[0] != keyedStart(i - 1)) state.SkipWithError("wrong rows");
  }
  unbind(st);
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * kRowset));
}

// The same rowsets through a forward-only cursor over a prepared range query.
void BM_ForwardRowset(benchmark::State& state, const char* dsn) {
  Session s(dsn);
  SQLHSTMT st = s.st;
  Rowset r;
  bind(st, r, kRowset);
  SQLINTEGER low = 0, high = 0;
  odbcCheck(SQLPrepare(st,
                       (SQLCHAR*)"SELECT i, v, d, dt, f FROM big WHERE i >= ? AND i < ? ORDER BY i",
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
    if (r.fetched != kRowset || r.i[0] != low) state.SkipWithError("wrong rows");
    SQLFreeStmt(st, SQL_CLOSE);
  }
  SQLFreeStmt(st, SQL_RESET_PARAMS);
  unbind(st);
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * kRowset));
}

// ---------------------------------------------------------------------------
// The plain side: the same C values from the stored forms (day numbers, decimal text).

struct PlainRow {
  int i = 0;
  char v[24] = {};
  char d[24] = {};
  SQL_DATE_STRUCT dt = {};
  double f = 0;
};

struct Plain {
  sqlite3* db = nullptr;
  sqlite3_stmt* all = nullptr;
  sqlite3_stmt* range = nullptr;
  Plain() {
    if (sqlite3_open_v2(g_dbFile.c_str(), &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX,
                        nullptr) != SQLITE_OK ||
        sqlite3_prepare_v2(db, "SELECT i, v, d, dt, f FROM big ORDER BY i", -1, &all, nullptr) ||
        sqlite3_prepare_v2(db, "SELECT i, v, d, dt, f FROM big WHERE i >= ?1 ORDER BY i LIMIT ?2",
                           -1, &range, nullptr))
      die("plain sqlite");
  }
  ~Plain() {
    sqlite3_finalize(all);
    sqlite3_finalize(range);
    sqlite3_close(db);
  }
  // Steps st to its end; answers the rows and the first row's key in *first.
  static long read(sqlite3_stmt* st, long* first) {
    PlainRow row;
    long n = 0;
    while (sqlite3_step(st) == SQLITE_ROW) {
      row.i = sqlite3_column_int(st, 0);
      copyText(st, 1, row.v, sizeof row.v);
      copyText(st, 2, row.d, sizeof row.d);
      int16_t mdy[3];
      ixr_date_to_mdy(sqlite3_column_int(st, 3), mdy);
      row.dt = {mdy[2], static_cast<SQLUSMALLINT>(mdy[0]), static_cast<SQLUSMALLINT>(mdy[1])};
      row.f = sqlite3_column_double(st, 4);
      benchmark::DoNotOptimize(row);
      if (n++ == 0 && first != nullptr) *first = row.i;
    }
    sqlite3_reset(st);
    return n;
  }
  long pass() { return read(all, nullptr); }
  bool jumps(SQLULEN rowset) {
    bool ok = true;
    for (long t : jumpTargets(rowset)) {
      sqlite3_bind_int(range, 1, static_cast<int>(t));
      sqlite3_bind_int(range, 2, static_cast<int>(rowset));
      long first = -1;
      ok = ok && read(range, &first) == long(rowset) && first == t;
    }
    return ok;
  }
};

void BM_PlainPass(benchmark::State& state) {
  Plain p;
  for (auto _ : state)
    if (p.pass() != kRows) state.SkipWithError("rows missing");
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * kRows));
}

void BM_PlainJumps(benchmark::State& state, SQLULEN rowset) {
  Plain p;
  for (auto _ : state)
    if (!p.jumps(rowset)) state.SkipWithError("wrong rows");
  state.SetItemsProcessed(state.iterations() * kJumps);
}

// ---------------------------------------------------------------------------
// Peak memory and instruction counts

// A fresh process reads `limit` rows through a static cursor, LAST then PRIOR,
// and prints how far its peak resident size grew beyond the open connection's.
int peakChild(const char* dsn, long limit) {
  Session s(dsn);
  std::ofstream("/proc/self/clear_refs") << "5";
  const long before = PeakKb();
  if (readAll(s, SQL_CURSOR_STATIC, limit, true) != limit) return 1;
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

// The work of one road by name, run twice with only the second pass counted. 0, or 1
// for an unknown name.
int callgrindPass(const std::string& name) {
  const auto counted = [](auto&& pass) {
    pass();
    CALLGRIND_ZERO_STATS;
    CALLGRIND_START_INSTRUMENTATION;
    pass();
    CALLGRIND_STOP_INSTRUMENTATION;
    CALLGRIND_DUMP_STATS;
  };
  if (name.rfind("plain_sqlite/", 0) == 0) {
    Plain p;
    const std::string road = name.substr(13);
    if (road == "pass") counted([&] { p.pass(); });
    else if (road == "jumps_1") counted([&] { p.jumps(1); });
    else if (road == "jumps_100") counted([&] { p.jumps(kRowset); });
    else return 1;
    return 0;
  }
  const std::string build = name.substr(0, name.find('/'));
  const char* dsn = build == "kesdrvw" ? "kes_w" : build == "kesdrva" ? "kes_a" : nullptr;
  if (dsn == nullptr) return 1;
  const std::string road = name.substr(name.find('/') + 1);
  const struct {
    const char* name;
    SQLULEN type;
  } types[] = {{"forward_only", SQL_CURSOR_FORWARD_ONLY},
               {"static", SQL_CURSOR_STATIC},
               {"keyset", SQL_CURSOR_KEYSET_DRIVEN},
               {"dynamic", SQL_CURSOR_DYNAMIC}};
  for (const auto& t : types) {
    const std::string prefix = t.name;
    if (road == prefix + "_next_100") {
      Session s(dsn);
      counted([&] { readAll(s, t.type, kRows, false); });
      return 0;
    }
    for (SQLULEN size : {SQLULEN{1}, kRowset})
      if (road == prefix + "_jumps_" + std::to_string(size)) {
        JumpCursor c(dsn, t.type, size);
        counted([&] { c.jumps(); });
        return 0;
      }
  }
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::strcmp(argv[1], "--peak-child") == 0)
    return peakChild(argv[2], std::strtol(argv[3], nullptr, 10));
  std::string callgrind;
  // Our own options first; the rest are Google Benchmark's.
  int kept = 1;
  for (int k = 1; k < argc; ++k) {
    if (std::strcmp(argv[k], "--rows") == 0 && k + 1 < argc) {
      kRows = std::max(long(kKeyed), std::strtol(argv[++k], nullptr, 10));
    } else if (std::strcmp(argv[k], "--callgrind") == 0 && k + 1 < argc) {
      callgrind = argv[++k];
    } else {
      argv[kept++] = argv[k];
    }
  }
  argc = kept;
  setUp();
  if (!callgrind.empty()) {
    const int rc = callgrindPass(callgrind);
    if (rc != 0) std::fprintf(stderr, "odbc_scroll_bench: no road %s\n", callgrind.c_str());
    removeRoot();
    return rc;
  }
  // Three repetitions unless the command line says otherwise: enough for a median.
  std::vector<char*> args(argv, argv + argc);
  std::string reps = "--benchmark_repetitions=3";
  bool repsGiven = false;
  for (char* a : args) repsGiven = repsGiven || std::strncmp(a, "--benchmark_repetitions", 23) == 0;
  if (!repsGiven) args.push_back(reps.data());
  int n = static_cast<int>(args.size());
  benchmark::Initialize(&n, args.data());

  const struct {
    const char* name;
    const char* dsn;
  } builds[] = {{"kesdrvw", "kes_w"}, {"kesdrva", "kes_a"}};
  const struct {
    const char* name;
    SQLULEN type;
  } scrolls[] = {{"forward_only_next_100", SQL_CURSOR_FORWARD_ONLY},
                 {"static_next_100", SQL_CURSOR_STATIC},
                 {"keyset_next_100", SQL_CURSOR_KEYSET_DRIVEN},
                 {"dynamic_next_100", SQL_CURSOR_DYNAMIC}};
  benchmark::RegisterBenchmark("plain_sqlite/pass", BM_PlainPass)->Unit(benchmark::kMillisecond);
  // Rowset sizes are in the names: the ratios pair benchmarks by name.
  const SQLULEN jumpSizes[] = {1, kRowset};
  for (SQLULEN size : jumpSizes)
    benchmark::RegisterBenchmark(("plain_sqlite/jumps_" + std::to_string(size)).c_str(),
                                 BM_PlainJumps, size)
        ->Unit(benchmark::kMillisecond);
  for (const auto& b : builds) {
    const std::string p = std::string(b.name) + "/";
    for (const auto& s : scrolls)
      benchmark::RegisterBenchmark((p + s.name).c_str(), BM_Read, b.dsn, s.type, false)
          ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark((p + "static_last_then_prior").c_str(), BM_Read, b.dsn,
                                 SQL_CURSOR_STATIC, true)
        ->Unit(benchmark::kMillisecond);
    for (SQLULEN size : jumpSizes) {
      const std::string n = std::to_string(size);
      benchmark::RegisterBenchmark((p + "static_jumps_" + n).c_str(), BM_Jumps, b.dsn,
                                   SQL_CURSOR_STATIC, size)
          ->Unit(benchmark::kMillisecond);
      benchmark::RegisterBenchmark((p + "keyset_jumps_" + n).c_str(), BM_Jumps, b.dsn,
                                   SQL_CURSOR_KEYSET_DRIVEN, size)
          ->Unit(benchmark::kMillisecond);
    }
    benchmark::RegisterBenchmark((p + "forward_only_rowset_100").c_str(), BM_ForwardRowset, b.dsn)
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark((p + "keyset_rowset_100_by_keys").c_str(), BM_KeysetRowset,
                                 b.dsn)
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark((p + "static_peak_memory").c_str(), BM_PeakMemory, b.dsn)
        ->Arg(kRows / 10)
        ->Arg(kRows)
        ->Iterations(1)
        ->Repetitions(1)
        ->Unit(benchmark::kMillisecond);
  }

  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);

  std::printf("\n%-40s | %-22s %-22s | %-22s %-22s\n", "ratio", "kesdrvw cpu", "kesdrvw real",
              "kesdrva cpu", "kesdrva real");
  const struct {
    std::string road, base, label;
  } lines[] = {
      {"forward_only_next_100", "plain_sqlite/pass", "forward-only NEXT 100 / plain pass"},
      {"static_next_100", "plain_sqlite/pass", "static NEXT 100 / plain pass"},
      {"keyset_next_100", "plain_sqlite/pass", "keyset NEXT 100 / plain pass"},
      {"dynamic_next_100", "plain_sqlite/pass", "dynamic NEXT 100 / plain pass"},
      {"static_last_then_prior", "plain_sqlite/pass", "static LAST, PRIOR 100 / plain pass"},
      {"static_jumps_1", "plain_sqlite/jumps_1", "static 1000 ABSOLUTE, rowset 1"},
      {"static_jumps_100", "plain_sqlite/jumps_100", "static 1000 ABSOLUTE, rowset 100"},
      {"keyset_jumps_1", "plain_sqlite/jumps_1", "keyset 1000 ABSOLUTE, rowset 1"},
      {"keyset_jumps_100", "plain_sqlite/jumps_100", "keyset 1000 ABSOLUTE, rowset 100"},
      {"keyset_rowset_100_by_keys", "", "keyset rowset by keys / forward-only"},
  };
  for (const auto& l : lines) {
    std::printf("%-40s", l.label.c_str());
    for (const auto& b : builds) {
      const std::string road = std::string(b.name) + "/" + l.road;
      const std::string base =
          l.base.empty() ? std::string(b.name) + "/forward_only_rowset_100" : l.base;
      std::printf(" | %-22s %-22s", FormatRatio(RatioOf(reporter.cpu, road, base)).c_str(),
                  FormatRatio(RatioOf(reporter.real, road, base)).c_str());
    }
    std::printf("\n");
  }
  removeRoot();
  return 0;
}
