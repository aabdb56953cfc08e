// odbc_dae_bench.cpp -- values sent at execution, as an application streams a file into
// a TEXT or BYTE column: one 10 MB value inserted in 4 KB pieces with SQLPutData
// through the unixODBC Driver Manager and the embedded server, on both driver
// libraries, against the plain SQLite C API inserting the same bytes; and the
// peak memory such a send adds to a process, measured in a fresh process for one,
// three and ten sends in a row and for the value sent in one piece, which stays
// flat: a fixed multiple of the value whatever the number of pieces or sends.
// Prints the ratios at the end.

#include <benchmark/benchmark.h>
#include <sql.h>
#include <sqlext.h>
#include <sqlite3.h>

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

constexpr size_t kValue = 10 << 20;
constexpr size_t kPiece = 4096;

std::string g_root;

[[noreturn]] void die(const char* what) {
  std::fprintf(stderr, "odbc_dae_bench: %s failed\n", what);
  std::exit(1);
}

// The value the application streams: printable for TEXT, any byte for BYTE.
std::string value(bool text) {
  std::string v(kValue, '\0');
  uint32_t x = 2463534242u;
  for (char& c : v) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    c = static_cast<char>(text ? ' ' + x % 95 : x >> 24);
  }
  return v;
}

void setUp() {
  g_root = BenchServerWithDatabase("kes_dae_bench_");
  if (g_root.empty()) die("embedded server");
  if (ixr_execute_immediate("CREATE TABLE big (tx TEXT, raw BYTE)") != 0) die("table");
  ixr_disconnect("load");
  WriteOdbcConfig(g_root, "");
}

// Inserts the value into one column of the table, sent at execution in pieces
// of `piece` bytes.
void send(Session& s, const std::string& v, bool text, size_t piece) {
  SQLHSTMT st = s.st;
  SQLLEN len = SQL_LEN_DATA_AT_EXEC(static_cast<SQLLEN>(v.size()));
  char token = 0;
  odbcCheck(
      SQLBindParameter(st, 1, SQL_PARAM_INPUT, text ? SQL_C_CHAR : SQL_C_BINARY,
                       text ? SQL_LONGVARCHAR : SQL_LONGVARBINARY, v.size(), 0, &token, 0, &len),
      SQL_HANDLE_STMT, st, "bind");
  const char* sql = text ? "INSERT INTO big (tx) VALUES (?)" : "INSERT INTO big (raw) VALUES (?)";
  if (SQLExecDirect(st, (SQLCHAR*)sql, SQL_NTS) != SQL_NEED_DATA) die("execute");
  if (SQLParamData(st, nullptr) != SQL_NEED_DATA) die("first ParamData");
  for (size_t at = 0; at < v.size(); at += piece)
    odbcCheck(SQLPutData(st, const_cast<char*>(v.data() + at),
                         static_cast<SQLLEN>(std::min(piece, v.size() - at))),
              SQL_HANDLE_STMT, st, "PutData");
  odbcCheck(SQLParamData(st, nullptr), SQL_HANDLE_STMT, st, "last ParamData");
  SQLFreeStmt(st, SQL_RESET_PARAMS);
}

void BM_OdbcSend(benchmark::State& state, const char* dsn, bool text) {
  const std::string v = value(text);
  Session s(dsn);
  for (auto _ : state) {
    send(s, v, text, kPiece);
    state.PauseTiming();
    s.exec("DELETE FROM big");
    state.ResumeTiming();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kValue));
}

// The same bytes inserted with the plain SQLite C API, bound whole.
void BM_PlainSend(benchmark::State& state, bool text) {
  const std::string v = value(text);
  sqlite3* db = nullptr;
  const std::string file = g_root + "/plain.db";
  if (sqlite3_open(file.c_str(), &db) != SQLITE_OK) die("sqlite open");
  sqlite3_exec(db, "CREATE TABLE IF NOT EXISTS big (tx TEXT, raw BLOB)", nullptr, nullptr, nullptr);
  sqlite3_stmt* st = nullptr;
  const char* sql = text ? "INSERT INTO big (tx) VALUES (?)" : "INSERT INTO big (raw) VALUES (?)";
  if (sqlite3_prepare_v2(db, sql, -1, &st, nullptr) != SQLITE_OK) die("sqlite prepare");
  for (auto _ : state) {
    if (text)
      sqlite3_bind_text(st, 1, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
    else
      sqlite3_bind_blob(st, 1, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
    if (sqlite3_step(st) != SQLITE_DONE) die("sqlite insert");
    sqlite3_reset(st);
    state.PauseTiming();
    sqlite3_exec(db, "DELETE FROM big", nullptr, nullptr, nullptr);
    state.ResumeTiming();
  }
  sqlite3_finalize(st);
  sqlite3_close(db);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kValue));
}

// A fresh process sends the value `sends` times in pieces of `piece` bytes and
// prints how far its peak resident size grew beyond what it held before the first
// send (the connection, the statement and the application's own copy of the value).
int peakChild(const char* dsn, bool text, size_t piece, int sends) {
  const std::string v = value(text);
  Session s(dsn);
  s.exec("DELETE FROM big");
  std::ofstream("/proc/self/clear_refs") << "5";  // the peak restarts from the current size
  const long before = PeakKb();
  for (int k = 0; k < sends; ++k) send(s, v, text, piece);
  std::printf("%ld\n", PeakKb() - before);
  s.exec("DELETE FROM big");
  return 0;
}

void BM_PeakMemory(benchmark::State& state, const char* dsn, bool text, size_t piece) {
  long growth = -1;
  for (auto _ : state) {
    std::string cmd = std::filesystem::read_symlink("/proc/self/exe").string() + " --peak-child " +
                      dsn + " " + (text ? "text" : "byte") + " " + std::to_string(piece) + " " +
                      std::to_string(state.range(0));
    FILE* p = popen(cmd.c_str(), "r");
    if (p == nullptr || std::fscanf(p, "%ld", &growth) != 1) state.SkipWithError("child");
    if (p != nullptr) pclose(p);
  }
  state.counters["peak_growth_kB"] = static_cast<double>(growth);
  state.counters["per_value_byte"] = static_cast<double>(growth) * 1024 / kValue;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 6 && std::strcmp(argv[1], "--peak-child") == 0) {
    return peakChild(argv[2], std::strcmp(argv[3], "text") == 0, std::strtoul(argv[4], nullptr, 10),
                     std::atoi(argv[5]));
  }
  benchmark::Initialize(&argc, argv);
  setUp();
  const struct {
    const char* name;
    const char* dsn;
  } builds[] = {{"kesdrvw", "kes_w"}, {"kesdrva", "kes_a"}};
  const struct {
    const char* name;
    bool text;
  } kinds[] = {{"text", true}, {"byte", false}};
  for (const auto& k : kinds) {
    benchmark::RegisterBenchmark((std::string("plain_sqlite/insert_10MB_") + k.name).c_str(),
                                 BM_PlainSend, k.text)
        ->Unit(benchmark::kMillisecond);
    for (const auto& b : builds)
      benchmark::RegisterBenchmark(
          (std::string(b.name) + "/put_10MB_" + k.name + "_in_4KB").c_str(), BM_OdbcSend, b.dsn,
          k.text)
          ->Unit(benchmark::kMillisecond);
  }
  for (const auto& b : builds) {
    for (const auto& k : kinds) {
      benchmark::RegisterBenchmark(
          (std::string(b.name) + "/peak_memory_" + k.name + "_4KB_pieces").c_str(), BM_PeakMemory,
          b.dsn, k.text, kPiece)
          ->Arg(1)
          ->Arg(3)
          ->Arg(10)
          ->Iterations(1)
          ->Unit(benchmark::kMillisecond);
      benchmark::RegisterBenchmark(
          (std::string(b.name) + "/peak_memory_" + k.name + "_one_piece").c_str(), BM_PeakMemory,
          b.dsn, k.text, kValue)
          ->Arg(1)
          ->Iterations(1)
          ->Unit(benchmark::kMillisecond);
    }
  }

  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  for (const auto& k : kinds) {
    const std::string base = std::string("plain_sqlite/insert_10MB_") + k.name;
    for (const auto& b : builds) {
      const std::string name = std::string(b.name) + "/put_10MB_" + k.name + "_in_4KB";
      auto a = reporter.times.find(name), p = reporter.times.find(base);
      if (a != reporter.times.end() && p != reporter.times.end() && p->second > 0)
        std::printf("ratio %-32s / %-28s = %.2f\n", name.c_str(), base.c_str(),
                    a->second / p->second);
    }
  }
  std::error_code ec;
  std::filesystem::remove_all(g_root, ec);
  return 0;
}
