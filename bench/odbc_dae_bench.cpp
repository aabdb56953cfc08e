// odbc_dae_bench.cpp -- long values in pieces, as an application streams a file into
// a TEXT or BYTE column and back: one 10 MB value inserted in 4 KB pieces with
// SQLPutData, and read back in 4 KB pieces with SQLGetData (text as 8-bit and as
// UTF-16 characters, bytes as bytes), through the unixODBC Driver Manager and the
// embedded server, on both driver libraries and on the same-engine peer driver
// (Debian's libsqliteodbc, when installed), against the plain SQLite C API inserting
// and reading the same bytes; and the peak memory such a send adds to a process,
// measured in a fresh process for one, three and ten sends in a row and for the value
// sent in one piece, which stays flat: a fixed multiple of the value whatever the
// number of pieces or sends. Prints the ratios at the end.
// `--callgrind NAME` reads or sends the value of the named benchmark twice once
// warmed, with callgrind's instrumentation on for them only.

#include <benchmark/benchmark.h>
#include <sql.h>
#include <sqlext.h>
#include <sqlite3.h>
#include <valgrind/callgrind.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "bench/odbc_support.h"
#include "platform/informix/ixr_api.h"

namespace {

constexpr size_t kValue = 10 << 20;
constexpr size_t kPiece = 4096;

std::string g_root;
bool g_peer = false;

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

// Runs sql with its one parameter the value, sent at execution in pieces of `piece`
// bytes.
void sendAtExecution(Session& s, const char* sql, const std::string& v, bool text, size_t piece) {
  SQLHSTMT st = s.st;
  SQLLEN len = SQL_LEN_DATA_AT_EXEC(static_cast<SQLLEN>(v.size()));
  char token = 0;
  odbcCheck(
      SQLBindParameter(st, 1, SQL_PARAM_INPUT, text ? SQL_C_CHAR : SQL_C_BINARY,
                       text ? SQL_LONGVARCHAR : SQL_LONGVARBINARY, v.size(), 0, &token, 0, &len),
      SQL_HANDLE_STMT, st, "bind");
  if (SQLExecDirect(st, (SQLCHAR*)sql, SQL_NTS) != SQL_NEED_DATA) die("execute");
  if (SQLParamData(st, nullptr) != SQL_NEED_DATA) die("first ParamData");
  for (size_t at = 0; at < v.size(); at += piece)
    odbcCheck(SQLPutData(st, const_cast<char*>(v.data() + at),
                         static_cast<SQLLEN>(std::min(piece, v.size() - at))),
              SQL_HANDLE_STMT, st, "PutData");
  odbcCheck(SQLParamData(st, nullptr), SQL_HANDLE_STMT, st, "last ParamData");
  SQLFreeStmt(st, SQL_RESET_PARAMS);
}

// Inserts the value into one column of the table.
void send(Session& s, const std::string& v, bool text, size_t piece) {
  sendAtExecution(s, text ? "INSERT INTO big (tx) VALUES (?)" : "INSERT INTO big (raw) VALUES (?)",
                  v, text, piece);
}

// The table src holds one row with both values, read back by the benchmarks of
// SQLGetData; the peer's own database file holds the same row.
void setUp() {
  g_root = BenchServerWithDatabase("kes_dae_bench_");
  if (g_root.empty()) die("embedded server");
  if (ixr_execute_immediate("CREATE TABLE big (tx TEXT, raw BYTE)") != 0) die("table");
  if (ixr_execute_immediate("CREATE TABLE src (tx TEXT, raw BYTE)") != 0) die("table");
  ixr_disconnect("load");
  const PeerSections peer = PeerConfig(g_root);
  g_peer = peer.installed;
  WriteOdbcConfig(g_root, "", peer.driver, peer.dsn);
  const std::string tx = value(true), raw = value(false);
  for (const char* side : {"kes_a", "peer"}) {
    if (!g_peer && std::strcmp(side, "peer") == 0) continue;
    Session s(side);
    if (std::strcmp(side, "peer") == 0) {
      s.exec("CREATE TABLE big (tx TEXT, raw BLOB)");
      s.exec("CREATE TABLE src (tx TEXT, raw BLOB)");
    }
    sendAtExecution(s, "INSERT INTO src (tx) VALUES (?)", tx, true, kPiece);
    sendAtExecution(s, "UPDATE src SET raw = ?", raw, false, kPiece);
  }
  sqlite3* db = nullptr;
  if (sqlite3_open((g_root + "/plainsrc.db").c_str(), &db) != SQLITE_OK) die("sqlite open");
  sqlite3_stmt* st = nullptr;
  if (sqlite3_exec(db, "CREATE TABLE src (tx TEXT, raw BLOB)", nullptr, nullptr, nullptr) !=
          SQLITE_OK ||
      sqlite3_prepare_v2(db, "INSERT INTO src VALUES (?, ?)", -1, &st, nullptr) != SQLITE_OK)
    die("sqlite table");
  sqlite3_bind_text(st, 1, tx.data(), static_cast<int>(tx.size()), SQLITE_STATIC);
  sqlite3_bind_blob(st, 2, raw.data(), static_cast<int>(raw.size()), SQLITE_STATIC);
  if (sqlite3_step(st) != SQLITE_DONE) die("sqlite insert");
  sqlite3_finalize(st);
  sqlite3_close(db);
}

// How the application reads the value back: the column and the C type.
enum class Read { TextAsChar, TextAsWchar, Bytes };

const struct {
  const char* name;
  Read read;
} kReads[] = {{"text_as_char", Read::TextAsChar},
              {"text_as_wchar", Read::TextAsWchar},
              {"byte", Read::Bytes}};

// Reads the value of src in pieces of kPiece bytes with SQLGetData; answers the bytes
// delivered, and the bytes themselves when `out` is given.
size_t getInPieces(Session& s, Read how, std::string* out = nullptr) {
  SQLHSTMT st = s.st;
  const char* sql = how == Read::Bytes ? "SELECT raw FROM src" : "SELECT tx FROM src";
  const SQLSMALLINT cType = how == Read::TextAsChar    ? SQL_C_CHAR
                            : how == Read::TextAsWchar ? SQL_C_WCHAR
                                                       : SQL_C_BINARY;
  const size_t term = how == Read::TextAsChar ? 1 : how == Read::TextAsWchar ? 2 : 0;
  odbcCheck(SQLExecDirect(st, (SQLCHAR*)sql, SQL_NTS), SQL_HANDLE_STMT, st, "select");
  odbcCheck(SQLFetch(st), SQL_HANDLE_STMT, st, "fetch");
  char buf[kPiece];
  size_t total = 0;
  for (;;) {
    SQLLEN len = 0;
    const SQLRETURN rc = SQLGetData(st, 1, cType, buf, sizeof buf, &len);
    if (rc == SQL_NO_DATA) break;
    odbcCheck(rc, SQL_HANDLE_STMT, st, "GetData");
    // A cut piece fills the buffer but for its terminator (the value is ASCII).
    const size_t n = rc == SQL_SUCCESS ? static_cast<size_t>(len) : sizeof buf - term;
    if (out != nullptr) out->append(buf, n);
    total += n;
    if (rc == SQL_SUCCESS) break;
  }
  SQLFreeStmt(st, SQL_CLOSE);
  return total;
}

// The bytes each read delivers: the value, as UTF-16 for wide characters.
size_t expected(Read how) { return how == Read::TextAsWchar ? 2 * kValue : kValue; }

void BM_OdbcGet(benchmark::State& state, const char* dsn, Read how) {
  Session s(dsn);
  // Once, the whole value compared: a fast wrong answer is no answer.
  std::string got;
  getInPieces(s, how, &got);
  const std::string want = value(how != Read::Bytes);
  if (how == Read::TextAsWchar) {
    std::string narrow;
    for (size_t i = 0; i + 1 < got.size(); i += 2) narrow += got[i];
    got.swap(narrow);
  }
  if (got != want) {
    state.SkipWithError("the value read differs from the value stored");
    return;
  }
  for (auto _ : state)
    if (getInPieces(s, how) != expected(how)) state.SkipWithError("bytes missing");
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * expected(how)));
}

// The same value read with the plain SQLite C API and copied in pieces of the same size.
struct PlainReader {
  explicit PlainReader(Read how) : how(how) {
    if (sqlite3_open((g_root + "/plainsrc.db").c_str(), &db) != SQLITE_OK) die("sqlite open");
    const char* sql = how == Read::Bytes ? "SELECT raw FROM src" : "SELECT tx FROM src";
    if (sqlite3_prepare_v2(db, sql, -1, &st, nullptr) != SQLITE_OK) die("sqlite prepare");
  }
  ~PlainReader() {
    sqlite3_finalize(st);
    sqlite3_close(db);
  }
  PlainReader(const PlainReader&) = delete;
  PlainReader& operator=(const PlainReader&) = delete;

  size_t read() {
    if (sqlite3_step(st) != SQLITE_ROW) die("sqlite select");
    const void* v = how == Read::TextAsChar    ? sqlite3_column_text(st, 0)
                    : how == Read::TextAsWchar ? sqlite3_column_text16(st, 0)
                                               : sqlite3_column_blob(st, 0);
    const size_t n = static_cast<size_t>(how == Read::TextAsWchar ? sqlite3_column_bytes16(st, 0)
                                                                   : sqlite3_column_bytes(st, 0));
    for (size_t at = 0; at < n; at += sizeof buf) {
      std::memcpy(buf, static_cast<const char*>(v) + at, std::min(sizeof buf, n - at));
      benchmark::DoNotOptimize(buf);
    }
    sqlite3_reset(st);
    return n;
  }

  Read how;
  sqlite3* db = nullptr;
  sqlite3_stmt* st = nullptr;
  char buf[kPiece];
};

void BM_PlainGet(benchmark::State& state, Read how) {
  PlainReader r(how);
  for (auto _ : state)
    if (r.read() != expected(how)) state.SkipWithError("bytes missing");
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * expected(how)));
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

// Runs once to warm up, then twice with callgrind's instrumentation on.
template <class F>
int counted(F&& once) {
  once();
  CALLGRIND_ZERO_STATS;
  CALLGRIND_START_INSTRUMENTATION;
  for (int n = 0; n < 2; ++n) once();
  CALLGRIND_STOP_INSTRUMENTATION;
  CALLGRIND_DUMP_STATS;
  return 0;
}

// `--callgrind NAME`: two reads or sends of the named benchmark, counted.
int callgrindRun(const std::string& name) {
  const struct {
    const char* name;
    const char* dsn;
  } sides[] = {{"kesdrvw", "kes_w"}, {"kesdrva", "kes_a"}, {"peer", "peer"}};
  for (const auto& side : sides) {
    if (!g_peer && std::strcmp(side.dsn, "peer") == 0) continue;
    for (const auto& r : kReads) {
      if (name != std::string(side.name) + "/get_10MB_" + r.name + "_in_4KB") continue;
      Session s(side.dsn);
      return counted([&] { getInPieces(s, r.read); });
    }
    for (const bool text : {true, false}) {
      if (name != std::string(side.name) + "/put_10MB_" + (text ? "text" : "byte") + "_in_4KB")
        continue;
      const std::string v = value(text);
      Session s(side.dsn);
      return counted([&] {
        send(s, v, text, kPiece);
        s.exec("DELETE FROM big");
      });
    }
  }
  for (const auto& r : kReads) {
    if (name != std::string("plain_sqlite/get_10MB_") + r.name) continue;
    PlainReader reader(r.read);
    return counted([&] { reader.read(); });
  }
  return 1;
}

int main(int argc, char** argv) {
  if (argc == 6 && std::strcmp(argv[1], "--peak-child") == 0) {
    return peakChild(argv[2], std::strcmp(argv[3], "text") == 0, std::strtoul(argv[4], nullptr, 10),
                     std::atoi(argv[5]));
  }
  if (argc == 3 && std::strcmp(argv[1], "--callgrind") == 0) {
    setUp();
    const int rc = callgrindRun(argv[2]);
    if (rc != 0) std::fprintf(stderr, "odbc_dae_bench: no benchmark %s\n", argv[2]);
    std::error_code ec;
    std::filesystem::remove_all(g_root, ec);
    return rc;
  }
  benchmark::Initialize(&argc, argv);
  setUp();
  struct Side {
    const char* name;
    const char* dsn;
  };
  std::vector<Side> sides = {{"kesdrvw", "kes_w"}, {"kesdrva", "kes_a"}};
  if (g_peer) sides.push_back({"peer", "peer"});
  const struct {
    const char* name;
    bool text;
  } kinds[] = {{"text", true}, {"byte", false}};
  // Each timed road beside the plain SQLite road it is measured against.
  std::vector<std::pair<std::string, std::string>> pairs;
  for (const auto& k : kinds) {
    const std::string base = std::string("plain_sqlite/insert_10MB_") + k.name;
    benchmark::RegisterBenchmark(base.c_str(), BM_PlainSend, k.text)
        ->Unit(benchmark::kMillisecond);
    for (const auto& b : sides) {
      const std::string name = std::string(b.name) + "/put_10MB_" + k.name + "_in_4KB";
      benchmark::RegisterBenchmark(name.c_str(), BM_OdbcSend, b.dsn, k.text)
          ->Unit(benchmark::kMillisecond);
      pairs.emplace_back(name, base);
    }
  }
  for (const auto& r : kReads) {
    const std::string base = std::string("plain_sqlite/get_10MB_") + r.name;
    benchmark::RegisterBenchmark(base.c_str(), BM_PlainGet, r.read)->Unit(benchmark::kMillisecond);
    for (const auto& b : sides) {
      const std::string name = std::string(b.name) + "/get_10MB_" + r.name + "_in_4KB";
      benchmark::RegisterBenchmark(name.c_str(), BM_OdbcGet, b.dsn, r.read)
          ->Unit(benchmark::kMillisecond);
      pairs.emplace_back(name, base);
    }
  }
  for (const auto& b : sides) {
    if (std::strcmp(b.dsn, "peer") == 0) continue;
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
  for (const auto& [name, base] : pairs) {
    auto a = reporter.times.find(name), p = reporter.times.find(base);
    if (a != reporter.times.end() && p != reporter.times.end() && p->second > 0)
      std::printf("ratio %-38s / %-32s = %.2f\n", name.c_str(), base.c_str(),
                  a->second / p->second);
  }
  if (!g_peer)
    std::printf("no peer driver (%s): install libsqliteodbc for the side-by-side run\n",
                kPeerLibrary);
  std::error_code ec;
  std::filesystem::remove_all(g_root, ec);
  return 0;
}
