#pragma once
// bench_support.h -- what the benchmark programs share: a console reporter that also
// keeps each benchmark's time per iteration, so that a program can print its ratios
// against plain SQLite after the runs, and the plain SQLite side's text copy.

#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <cstring>

#include <map>
#include <string>
#include <vector>

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
