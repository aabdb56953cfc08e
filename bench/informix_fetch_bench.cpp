// informix_fetch_bench.cpp -- FETCH of 1,000,000 rows of INTEGER, VARCHAR, DECIMAL,
// DATE and FLOAT through the embedded Informix runtime into host variables, against the
// plain SQLite C API reading the same file into the same buffers; prints the ratio.
#include "platform/informix/ixr_api.h"

#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>

#include "bench/bench_support.h"

namespace {

constexpr int kRows = 1000000;
std::string g_root;
std::string g_file;

void die(const char* what) {
  std::fprintf(stderr, "informix_fetch_bench: %s failed: %d %s\n", what, ixr_sqlca()->sqlcode,
               ixr_sqlca()->sqlerrm);
  std::exit(1);
}

void setUp() {
  g_root = BenchServerWithDatabase("ixrbench");
  if (g_root.empty()) die("embedded server");
  if (ixr_execute_immediate(
          "create table r (i integer, v varchar(30), d decimal(10,2), dt date, f float)"))
    die("create table");
  if (ixr_begin_work()) die("begin");
  if (ixr_prepare("ins", "insert into r values (?, ?, ?, ?, ?)")) die("prepare");
  int32_t sid = ixr_name_id("ins", IXR_ID_STATEMENT);
  int32_t i = 0, dt = 0;
  double f = 0;
  char v[32], d[32];
  IxrSqlVar vars[5] = {};
  vars[0] = {IXR_HOST_INT, 0, 4, reinterpret_cast<char*>(&i), nullptr, nullptr, 0, 0, 0};
  vars[1] = {IXR_HOST_STRING, 0, 32, v, nullptr, nullptr, 0, 0, 0};
  vars[2] = {IXR_HOST_STRING, 0, 32, d, nullptr, nullptr, 0, 0, 0};
  vars[3] = {IXR_HOST_DATE, 0, 4, reinterpret_cast<char*>(&dt), nullptr, nullptr, 0, 0, 0};
  vars[4] = {IXR_HOST_DOUBLE, 0, 8, reinterpret_cast<char*>(&f), nullptr, nullptr, 0, 0, 0};
  IxrSqlda in{5, 0, 0, vars};
  for (int k = 0; k < kRows; ++k) {
    i = k;
    std::snprintf(v, sizeof v, "name %d", k);
    std::snprintf(d, sizeof d, "%d.%02d", k % 100000, k % 100);
    dt = 40000 + k % 5000;
    f = k * 0.5;
    if (ixr_execute(sid, &in)) die("insert");
  }
  if (ixr_commit_work()) die("commit");
  ixr_free("ins");
  g_file = g_root + "/bench/b.db";
}

// The host variables of one row, as an application declares them.
struct Row {
  int32_t i = 0;
  char v[32] = {};
  char d[32] = {};
  int32_t dt = 0;
  double f = 0;
  int16_t ind[5] = {};
};

void BM_RuntimeFetch(benchmark::State& state) {
  if (ixr_prepare("sel", "select i, v, d, dt, f from r")) die("prepare select");
  int32_t sid = ixr_name_id("sel", IXR_ID_STATEMENT);
  int32_t cid = ixr_name_id("cur", IXR_ID_NEW_CURSOR);
  if (ixr_declare(cid, "cur", sid)) die("declare");
  Row row;
  IxrSqlVar vars[5] = {};
  vars[0] = {IXR_HOST_INT, 0, 4, reinterpret_cast<char*>(&row.i), &row.ind[0], nullptr, 0, 0, 0};
  vars[1] = {IXR_HOST_STRING, 0, 32, row.v, &row.ind[1], nullptr, 0, 0, 0};
  vars[2] = {IXR_HOST_STRING, 0, 32, row.d, &row.ind[2], nullptr, 0, 0, 0};
  vars[3] = {IXR_HOST_DATE, 0, 4, reinterpret_cast<char*>(&row.dt), &row.ind[3], nullptr, 0, 0, 0};
  vars[4] = {IXR_HOST_DOUBLE, 0, 8, reinterpret_cast<char*>(&row.f), &row.ind[4], nullptr, 0, 0, 0};
  IxrSqlda out{5, 0, 0, vars};
  for (auto _ : state) {
    if (ixr_open(cid, nullptr)) die("open");
    int64_t n = 0, sum = 0;
    while (ixr_fetch(cid, &out) == 0) {
      ++n;
      sum += row.i + row.dt + row.v[0] + row.d[0];
    }
    if (n != kRows) die("row count");
    benchmark::DoNotOptimize(sum);
    ixr_close(cid);
  }
  ixr_free("cur");
  ixr_free("sel");
  state.SetItemsProcessed(state.iterations() * kRows);
}

void BM_PlainSqliteFetch(benchmark::State& state) {
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(g_file.c_str(), &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr))
    die("sqlite open");
  sqlite3_stmt* st = nullptr;
  if (sqlite3_prepare_v2(db, "SELECT i, v, d, dt, f FROM r", -1, &st, nullptr))
    die("sqlite prepare");
  Row row;
  for (auto _ : state) {
    int64_t n = 0, sum = 0;
    while (sqlite3_step(st) == SQLITE_ROW) {
      row.i = sqlite3_column_int(st, 0);
      copyText(st, 1, row.v, sizeof row.v);
      copyText(st, 2, row.d, sizeof row.d);
      row.dt = sqlite3_column_int(st, 3);
      row.f = sqlite3_column_double(st, 4);
      ++n;
      sum += row.i + row.dt + row.v[0] + row.d[0];
    }
    if (n != kRows) die("sqlite row count");
    benchmark::DoNotOptimize(sum);
    sqlite3_reset(st);
  }
  sqlite3_finalize(st);
  sqlite3_close(db);
  state.SetItemsProcessed(state.iterations() * kRows);
}

BENCHMARK(BM_RuntimeFetch)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_PlainSqliteFetch)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  setUp();
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  double a = 0, b = 0;
  for (const auto& [name, t] : reporter.times) {
    if (name.rfind("BM_RuntimeFetch", 0) == 0) a = t;
    if (name.rfind("BM_PlainSqliteFetch", 0) == 0) b = t;
  }
  if (a > 0 && b > 0) std::printf("ratio runtime / plain SQLite = %.2f\n", a / b);
  ixr_disconnect(nullptr);
  std::error_code ec;
  std::filesystem::remove_all(g_root, ec);
  return 0;
}
