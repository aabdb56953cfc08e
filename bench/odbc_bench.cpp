// odbc_bench.cpp -- the driver as an application meets it, through the unixODBC Driver
// Manager and the embedded Informix server, against the plain SQLite C API doing the
// same work on the same data: fetching 1,000,000 rows of INTEGER, VARCHAR(20),
// DECIMAL(10,2), DATE and FLOAT (bound columns one row at a time, rowsets of 1000,
// SQLGetData), inserting 100,000 rows with parameter arrays of 1000, and the peak
// memory of a forward-only fetch as the row count grows. Each benchmark runs in
// repetitions; at the end a table gives, road by road and both driver libraries side by
// side, the median ratio to plain SQLite with its range over the repetitions, of the
// processor time and of the elapsed time. The plain side produces the same C values
// (date structs from the stored day numbers, decimal text).
// `--rows N` fetches N rows (and inserts N / 10). `--callgrind NAME` runs the named
// benchmark's work once more after one warming pass, with callgrind's instrumentation
// on for that pass only (bench/callgrind.sh turns its count into instructions per row).

#include <benchmark/benchmark.h>
#include <sql.h>
#include <sqlext.h>
#include <sqlite3.h>
#include <valgrind/callgrind.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "platform/informix/ixr_api.h"
#include "bench/bench_support.h"
#include "bench/odbc_support.h"

namespace {

int kFetchRows = 1000000;
int kInsertRows = 100000;
constexpr int kArray = 1000;

std::string g_root;
std::string g_dbFile;

[[noreturn]] void die(const char* what) {
  std::fprintf(stderr, "odbc_bench: %s failed: %d %s\n", what, ixr_sqlca()->sqlcode,
               ixr_sqlca()->sqlerrm);
  std::exit(1);
}

// The same rows for both sides: the value of each column follows from the row number.
void rowText(int k, char* v, size_t vn, char* d, size_t dn) {
  std::snprintf(v, vn, "name %d", k);
  std::snprintf(d, dn, "%d.%02d", k % 100000, k % 100);
}
int32_t rowDays(int k) { return 40000 + k % 5000; }
double rowFloat(int k) { return k * 0.5; }

// An embedded server with an empty database and a private ODBC configuration naming
// both driver libraries; the tables are filled through the driver (loadTables).
void setUp() {
  g_root = BenchServerWithDatabase("kes_odbc_bench_");
  if (g_root.empty()) die("embedded server");
  ixr_disconnect("load");
  g_dbFile = g_root + "/bench/b.db";

  // Without NoRowsetSizeLimit the agent serves rowsets of at most 100 rows.
  WriteOdbcConfig(g_root, "NoRowsetSizeLimit=1\n");
}

// The application's values of one row, as every fetch road delivers them.
struct Row {
  SQLINTEGER i = 0;
  char v[24] = {};
  char d[24] = {};
  SQL_DATE_STRUCT dt = {};
  double f = 0;
  SQLLEN ind[5] = {};
};

int64_t touch(const Row& r) { return r.i + r.dt.day + r.v[0] + r.d[0] + static_cast<int64_t>(r.f); }

enum class Road { Bound, Rowset, GetData };

constexpr const char* kSelect = "SELECT i, v, d, dt, f FROM r";

// SQLBindCol and SQLGetData take the same arguments: one list of the row's buffers serves both.
using ColumnCall = SQLRETURN (*)(SQLHSTMT, SQLUSMALLINT, SQLSMALLINT, SQLPOINTER, SQLLEN, SQLLEN*);
void eachColumn(ColumnCall call, SQLHSTMT st, Row& row) {
  call(st, 1, SQL_C_LONG, &row.i, 0, &row.ind[0]);
  call(st, 2, SQL_C_CHAR, row.v, sizeof row.v, &row.ind[1]);
  call(st, 3, SQL_C_CHAR, row.d, sizeof row.d, &row.ind[2]);
  call(st, 4, SQL_C_TYPE_DATE, &row.dt, 0, &row.ind[3]);
  call(st, 5, SQL_C_DOUBLE, &row.f, 0, &row.ind[4]);
}

// Fetches every row of the table through one road; answers the number of rows.
int64_t odbcFetch(Session& s, Road road, const char* sql, int64_t* sum) {
  SQLHSTMT st = s.st;
  int64_t n = 0;
  if (road == Road::Rowset) {
    static std::vector<SQLINTEGER> i(kArray);
    static std::vector<char> v(kArray * 24), d(kArray * 24);
    static std::vector<SQL_DATE_STRUCT> dt(kArray);
    static std::vector<double> f(kArray);
    static std::vector<SQLLEN> ind(5 * kArray);
    SQLULEN fetched = 0;
    SQLSetStmtAttr(st, SQL_ATTR_ROW_ARRAY_SIZE, (SQLPOINTER)(SQLULEN)kArray, 0);
    SQLSetStmtAttr(st, SQL_ATTR_ROWS_FETCHED_PTR, &fetched, 0);
    odbcCheck(SQLExecDirect(st, (SQLCHAR*)sql, SQL_NTS), SQL_HANDLE_STMT, st, "select");
    SQLBindCol(st, 1, SQL_C_LONG, i.data(), 0, &ind[0]);
    SQLBindCol(st, 2, SQL_C_CHAR, v.data(), 24, &ind[kArray]);
    SQLBindCol(st, 3, SQL_C_CHAR, d.data(), 24, &ind[2 * kArray]);
    SQLBindCol(st, 4, SQL_C_TYPE_DATE, dt.data(), 0, &ind[3 * kArray]);
    SQLBindCol(st, 5, SQL_C_DOUBLE, f.data(), 0, &ind[4 * kArray]);
    SQLRETURN rc;
    while ((rc = SQLFetch(st)) == SQL_SUCCESS) {
      for (SQLULEN r = 0; r < fetched; ++r)
        *sum += i[r] + dt[r].day + v[r * 24] + d[r * 24] + static_cast<int64_t>(f[r]);
      n += static_cast<int64_t>(fetched);
    }
    odbcCheck(rc, SQL_HANDLE_STMT, st, "fetch");
    SQLSetStmtAttr(st, SQL_ATTR_ROW_ARRAY_SIZE, (SQLPOINTER)1, 0);
    SQLSetStmtAttr(st, SQL_ATTR_ROWS_FETCHED_PTR, nullptr, 0);
  } else {
    Row row;
    odbcCheck(SQLExecDirect(st, (SQLCHAR*)sql, SQL_NTS), SQL_HANDLE_STMT, st, "select");
    if (road == Road::Bound) eachColumn(SQLBindCol, st, row);
    SQLRETURN rc;
    while ((rc = SQLFetch(st)) == SQL_SUCCESS) {
      if (road == Road::GetData) eachColumn(SQLGetData, st, row);
      *sum += touch(row);
      ++n;
    }
    odbcCheck(rc, SQL_HANDLE_STMT, st, "fetch");
  }
  SQLFreeStmt(st, SQL_CLOSE);
  SQLFreeStmt(st, SQL_UNBIND);
  return n;
}

void BM_OdbcFetch(benchmark::State& state, const char* dsn, Road road) {
  Session s(dsn);
  for (auto _ : state) {
    int64_t sum = 0;
    if (odbcFetch(s, road, kSelect, &sum) != kFetchRows) {
      state.SkipWithError("row count");
      break;
    }
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * kFetchRows);
}

sqlite3* plainOpen(const std::string& file) {
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(file.c_str(), &db,
                      SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr))
    die("sqlite open");
  // The settings the embedded server gives its own connections.
  sqlite3_exec(db, "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;", nullptr, nullptr,
               nullptr);
  return db;
}

// One pass of the plain side over the whole table; answers the number of rows.
int64_t plainFetchPass(sqlite3_stmt* st, int64_t* sum) {
  Row row;
  int64_t n = 0;
  while (sqlite3_step(st) == SQLITE_ROW) {
    row.i = sqlite3_column_int(st, 0);
    copyText(st, 1, row.v, sizeof row.v);
    copyText(st, 2, row.d, sizeof row.d);
    int16_t mdy[3];
    ixr_date_to_mdy(sqlite3_column_int(st, 3), mdy);
    row.dt = {mdy[2], static_cast<SQLUSMALLINT>(mdy[0]), static_cast<SQLUSMALLINT>(mdy[1])};
    row.f = sqlite3_column_double(st, 4);
    *sum += touch(row);
    ++n;
  }
  sqlite3_reset(st);
  return n;
}

void BM_PlainFetch(benchmark::State& state) {
  sqlite3* db = plainOpen(g_dbFile);
  sqlite3_stmt* st = nullptr;
  if (sqlite3_prepare_v2(db, kSelect, -1, &st, nullptr)) die("sqlite prepare");
  for (auto _ : state) {
    int64_t sum = 0;
    if (plainFetchPass(st, &sum) != kFetchRows) die("sqlite row count");
    benchmark::DoNotOptimize(sum);
  }
  sqlite3_finalize(st);
  sqlite3_close(db);
  state.SetItemsProcessed(state.iterations() * kFetchRows);
}

// Inserts rows 0 .. rows-1 with column-wise parameter arrays of 1000, in one transaction.
void insertRows(Session& s, const char* table, int rows) {
  std::vector<SQLINTEGER> i(kArray);
  std::vector<char> v(kArray * 24), d(kArray * 24);
  std::vector<SQL_DATE_STRUCT> dt(kArray);
  std::vector<double> f(kArray);
  std::vector<SQLLEN> vLen(kArray, SQL_NTS), dLen(kArray, SQL_NTS);
  SQLHSTMT st = s.st;
  odbcCheck(SQLSetConnectAttr(s.dbc, SQL_ATTR_AUTOCOMMIT, (SQLPOINTER)SQL_AUTOCOMMIT_OFF, 0),
            SQL_HANDLE_DBC, s.dbc, "autocommit off");
  std::string sql = std::string("INSERT INTO ") + table + " VALUES (?, ?, ?, ?, ?)";
  odbcCheck(SQLPrepare(st, (SQLCHAR*)sql.c_str(), SQL_NTS), SQL_HANDLE_STMT, st, "prepare");
  SQLSetStmtAttr(st, SQL_ATTR_PARAMSET_SIZE, (SQLPOINTER)(SQLULEN)kArray, 0);
  SQLBindParameter(st, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 10, 0, i.data(), 0, nullptr);
  SQLBindParameter(st, 2, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 20, 0, v.data(), 24,
                   vLen.data());
  SQLBindParameter(st, 3, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_DECIMAL, 10, 2, d.data(), 24,
                   dLen.data());
  SQLBindParameter(st, 4, SQL_PARAM_INPUT, SQL_C_TYPE_DATE, SQL_TYPE_DATE, 10, 0, dt.data(), 0,
                   nullptr);
  SQLBindParameter(st, 5, SQL_PARAM_INPUT, SQL_C_DOUBLE, SQL_DOUBLE, 15, 0, f.data(), 0, nullptr);
  for (int base = 0; base < rows; base += kArray) {
    for (int r = 0; r < kArray; ++r) {
      int k = base + r;
      i[r] = k;
      rowText(k, &v[r * 24], 24, &d[r * 24], 24);
      int16_t mdy[3];
      ixr_date_to_mdy(rowDays(k), mdy);
      dt[r] = {mdy[2], static_cast<SQLUSMALLINT>(mdy[0]), static_cast<SQLUSMALLINT>(mdy[1])};
      f[r] = rowFloat(k);
    }
    odbcCheck(SQLExecute(st), SQL_HANDLE_STMT, st, "insert");
  }
  odbcCheck(SQLEndTran(SQL_HANDLE_DBC, s.dbc, SQL_COMMIT), SQL_HANDLE_DBC, s.dbc, "commit");
  SQLFreeStmt(st, SQL_RESET_PARAMS);
  SQLSetStmtAttr(st, SQL_ATTR_PARAMSET_SIZE, (SQLPOINTER)1, 0);
  SQLSetConnectAttr(s.dbc, SQL_ATTR_AUTOCOMMIT, (SQLPOINTER)SQL_AUTOCOMMIT_ON, 0);
}

constexpr const char* kColumns = "(i INTEGER, v VARCHAR(20), d DECIMAL(10,2), dt DATE, f FLOAT)";

void loadTables() {
  Session s("kes_a");
  s.exec((std::string("CREATE TABLE r ") + kColumns).c_str());
  s.exec((std::string("CREATE TABLE ins ") + kColumns).c_str());
  insertRows(s, "r", kFetchRows);
}

void BM_OdbcInsert(benchmark::State& state, const char* dsn) {
  Session s(dsn);
  for (auto _ : state) {
    insertRows(s, "ins", kInsertRows);
    state.PauseTiming();
    s.exec("DELETE FROM ins");
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * kInsertRows);
}

// The same rows into a table of the same storage form in a file of its own.
struct PlainInsert {
  sqlite3* db = nullptr;
  sqlite3_stmt* st = nullptr;
  PlainInsert() {
    db = plainOpen(g_root + "/plain_insert.db");
    sqlite3_exec(db, "CREATE TABLE ins (i INTEGER, v TEXT COLLATE RTRIM, d TEXT, dt INTEGER, f REAL)",
                 nullptr, nullptr, nullptr);
    if (sqlite3_prepare_v2(db, "INSERT INTO ins VALUES (?, ?, ?, ?, ?)", -1, &st, nullptr))
      die("sqlite prepare");
  }
  ~PlainInsert() {
    sqlite3_finalize(st);
    sqlite3_close(db);
  }
  void pass() {
    char v[24], d[24];
    sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
    for (int k = 0; k < kInsertRows; ++k) {
      rowText(k, v, sizeof v, d, sizeof d);
      int16_t mdy[3];
      ixr_date_to_mdy(rowDays(k), mdy);
      IxrDate days = 0;
      ixr_date_from_mdy(mdy, &days);
      sqlite3_bind_int(st, 1, k);
      sqlite3_bind_text(st, 2, v, -1, SQLITE_TRANSIENT);
      sqlite3_bind_text(st, 3, d, -1, SQLITE_TRANSIENT);
      sqlite3_bind_int(st, 4, days);
      sqlite3_bind_double(st, 5, rowFloat(k));
      if (sqlite3_step(st) != SQLITE_DONE) die("sqlite insert");
      sqlite3_reset(st);
    }
    sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
  }
  void empty() { sqlite3_exec(db, "DELETE FROM ins", nullptr, nullptr, nullptr); }
};

void BM_PlainInsert(benchmark::State& state) {
  PlainInsert p;
  for (auto _ : state) {
    p.pass();
    state.PauseTiming();
    p.empty();
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * kInsertRows);
}

// The work of one benchmark by name, run twice: the second pass alone is counted, so
// that the figure is the steady state (caches warm, storage laid out). 0, or 1 for an
// unknown name.
int callgrindPass(const std::string& name) {
  const auto counted = [](auto&& pass) {
    pass();
    CALLGRIND_ZERO_STATS;
    CALLGRIND_START_INSTRUMENTATION;
    pass();
    CALLGRIND_STOP_INSTRUMENTATION;
    CALLGRIND_DUMP_STATS;
  };
  int64_t sum = 0;
  if (name == "plain_sqlite/fetch") {
    sqlite3* db = plainOpen(g_dbFile);
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db, kSelect, -1, &st, nullptr)) die("sqlite prepare");
    counted([&] { plainFetchPass(st, &sum); });
    sqlite3_finalize(st);
    sqlite3_close(db);
    return 0;
  }
  if (name == "plain_sqlite/insert") {
    PlainInsert p;
    counted([&] {
      p.empty();
      p.pass();
    });
    return 0;
  }
  const std::string build = name.substr(0, name.find('/'));
  const char* dsn = build == "kesdrvw" ? "kes_w" : build == "kesdrva" ? "kes_a" : nullptr;
  if (dsn == nullptr) return 1;
  const std::string road = name.substr(name.find('/') + 1);
  Session s(dsn);
  if (road == "insert_arrays_1000") {
    counted([&] {
      s.exec("DELETE FROM ins");
      insertRows(s, "ins", kInsertRows);
    });
    return 0;
  }
  const struct {
    const char* name;
    Road road;
  } roads[] = {{"fetch_bound_rowset_1", Road::Bound},
               {"fetch_rowset_1000", Road::Rowset},
               {"fetch_getdata", Road::GetData}};
  for (const auto& r : roads)
    if (road == r.name) {
      counted([&] { odbcFetch(s, r.road, kSelect, &sum); });
      return 0;
    }
  return 1;
}

// A fresh process of this program reads the first N rows one at a time on a
// forward-only cursor and prints how far its peak resident size grew while it did;
// a process of its own, so that no heap freed by earlier work hides the growth.
int peakChild(const char* dsn, long rows) {
  Session s(dsn);
  std::string sql = std::string(kSelect) + " WHERE i < " + std::to_string(rows);
  int64_t sum = 0;
  odbcFetch(s, Road::Bound, (std::string(kSelect) + " WHERE i < 1000").c_str(),
            &sum);                                // first blocks laid out
  std::ofstream("/proc/self/clear_refs") << "5";  // the peak restarts from the current size
  long before = PeakKb();
  if (odbcFetch(s, Road::Bound, sql.c_str(), &sum) != rows) return 1;
  std::printf("%ld %ld\n", PeakKb() - before, PeakKb());
  return 0;
}

void BM_OdbcFetchPeakMemory(benchmark::State& state, const char* dsn) {
  long growth = -1, peak = -1;
  for (auto _ : state) {
    std::string cmd = std::filesystem::read_symlink("/proc/self/exe").string() + " --peak-child " +
                      dsn + " " + std::to_string(state.range(0));
    FILE* p = popen(cmd.c_str(), "r");
    if (p == nullptr || std::fscanf(p, "%ld %ld", &growth, &peak) != 2)
      state.SkipWithError("child");
    if (p != nullptr) pclose(p);
  }
  state.counters["peak_growth_kB"] = static_cast<double>(growth);
  state.counters["peak_kB"] = static_cast<double>(peak);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::strcmp(argv[1], "--peak-child") == 0)
    return peakChild(argv[2], std::atol(argv[3]));
  std::string callgrind;
  // Our own options first; the rest are Google Benchmark's.
  int kept = 1;
  for (int k = 1; k < argc; ++k) {
    if (std::strcmp(argv[k], "--rows") == 0 && k + 1 < argc) {
      kFetchRows = std::max(kArray, std::atoi(argv[++k]) / kArray * kArray);
      kInsertRows = std::max(kArray, kFetchRows / 10 / kArray * kArray);
    } else if (std::strcmp(argv[k], "--callgrind") == 0 && k + 1 < argc) {
      callgrind = argv[++k];
    } else {
      argv[kept++] = argv[k];
    }
  }
  argc = kept;
  setUp();
  loadTables();
  if (!callgrind.empty()) {
    const int rc = callgrindPass(callgrind);
    if (rc != 0) std::fprintf(stderr, "odbc_bench: no benchmark %s\n", callgrind.c_str());
    std::error_code ec;
    std::filesystem::remove_all(g_root, ec);
    return rc;
  }
  // Five repetitions unless the command line says otherwise: enough for a median.
  std::vector<char*> args(argv, argv + argc);
  std::string reps = "--benchmark_repetitions=5";
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
    Road road;
  } roads[] = {
      {"bound_rowset_1", Road::Bound}, {"rowset_1000", Road::Rowset}, {"getdata", Road::GetData}};
  benchmark::RegisterBenchmark("plain_sqlite/fetch", BM_PlainFetch)->Unit(benchmark::kMillisecond);
  for (const auto& b : builds)
    for (const auto& r : roads)
      benchmark::RegisterBenchmark((std::string(b.name) + "/fetch_" + r.name).c_str(), BM_OdbcFetch,
                                   b.dsn, r.road)
          ->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("plain_sqlite/insert", BM_PlainInsert)
      ->Unit(benchmark::kMillisecond);
  for (const auto& b : builds)
    benchmark::RegisterBenchmark((std::string(b.name) + "/insert_arrays_1000").c_str(),
                                 BM_OdbcInsert, b.dsn)
        ->Unit(benchmark::kMillisecond);
  for (const auto& b : builds) {
    auto* peak = benchmark::RegisterBenchmark((std::string(b.name) + "/fetch_peak_memory").c_str(),
                                              BM_OdbcFetchPeakMemory, b.dsn);
    for (long rows = 10000; rows <= kFetchRows; rows *= 10) peak->Arg(rows);
    peak->Iterations(1)->Repetitions(1)->Unit(benchmark::kMillisecond);
  }

  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::printf("\n%-22s %-20s | %-22s %-22s | %-22s %-22s\n", "ratio to plain SQLite", "",
              "kesdrvw cpu", "kesdrvw real", "kesdrva cpu", "kesdrva real");
  std::vector<std::pair<std::string, std::string>> lines;
  for (const auto& r : roads) lines.emplace_back(std::string("fetch_") + r.name, "plain_sqlite/fetch");
  lines.emplace_back("insert_arrays_1000", "plain_sqlite/insert");
  for (const auto& [road, base] : lines) {
    std::printf("%-22s %-20s", road.c_str(), base.c_str());
    for (const auto& b : builds) {
      const std::string name = std::string(b.name) + "/" + road;
      std::printf(" | %-22s %-22s", FormatRatio(RatioOf(reporter.cpu, name, base)).c_str(),
                  FormatRatio(RatioOf(reporter.real, name, base)).c_str());
    }
    std::printf("\n");
  }
  std::error_code ec;
  std::filesystem::remove_all(g_root, ec);
  return 0;
}
