#pragma once
// bench_support.h -- what the benchmark programs share: a console reporter that also
// keeps each benchmark's time per iteration, so that a program can print its ratios
// against plain SQLite after the runs, the embedded server they run on, and the plain SQLite side's
// text copy.

#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <stdlib.h>

#include <cstring>

#include <map>
#include <string>
#include <vector>

#include "platform/informix/ixr_api.h"

class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& r : runs) times[r.benchmark_name()] = r.GetAdjustedRealTime();
    ConsoleReporter::ReportRuns(runs);
  }
  std::map<std::string, double> times;
};

// Copies a text column of the current row into a fixed buffer, as an application would.
inline void copyText(sqlite3_stmt* st, int col, char* buf, size_t cap) {
  const unsigned char* p = sqlite3_column_text(st, col);
  size_t n = static_cast<size_t>(sqlite3_column_bytes(st, col));
  if (n >= cap) n = cap - 1;
  std::memcpy(buf, p, n);
  buf[n] = 0;
}

// A private servers root under /tmp with the server "bench" holding the logged database
// "b", the connection "load" left current on it. Answers the root, "" on any failure.
inline std::string BenchServerWithDatabase(const char* prefix) {
  std::string root = std::string("/tmp/") + prefix + "XXXXXX";
  if (mkdtemp(root.data()) == nullptr) return {};
  setenv("KES_INFORMIX_SERVERS", root.c_str(), 1);
  if (ixr_server_create("bench", IXR_SERVER_ONLINE, nullptr) != 0 ||
      ixr_connect("@bench", "load") != 0 ||
      ixr_execute_immediate("CREATE DATABASE b WITH LOG") != 0)
    return {};
  return root;
}
