#pragma once
// bench_support.h -- what the benchmark programs share: a console reporter that also
// keeps each benchmark's time per iteration, so that a program can print its ratios
// against plain SQLite after the runs, the embedded server they run on, and the plain SQLite side's
// text copy.

#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <stdlib.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include <map>
#include <string>
#include <vector>

#include "platform/informix/ixr_api.h"

class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& r : runs) {
      times[r.benchmark_name()] = r.GetAdjustedRealTime();
      if (r.run_type != Run::RT_Iteration) continue;
      const std::string& name = r.run_name.function_name;
      real[name].push_back(r.GetAdjustedRealTime());
      cpu[name].push_back(r.GetAdjustedCPUTime());
    }
    ConsoleReporter::ReportRuns(runs);
  }
  std::map<std::string, double> times;
  // Each repetition's time per iteration, in order, by benchmark name without suffixes.
  std::map<std::string, std::vector<double>> real;
  std::map<std::string, std::vector<double>> cpu;
};

// The ratio of one benchmark to another over their repetitions, pairing the i-th of
// each: its median and range. On a loaded machine the processor time is the steadier
// figure; both are kept.
struct RatioSpread {
  double median = 0;
  double low = 0;
  double high = 0;
  bool ok = false;
};

inline RatioSpread RatioOf(const std::map<std::string, std::vector<double>>& t,
                           const std::string& a, const std::string& b) {
  RatioSpread out;
  auto x = t.find(a), y = t.find(b);
  if (x == t.end() || y == t.end()) return out;
  std::vector<double> r;
  for (size_t i = 0; i < x->second.size() && i < y->second.size(); ++i)
    if (y->second[i] > 0) r.push_back(x->second[i] / y->second[i]);
  if (r.empty()) return out;
  std::sort(r.begin(), r.end());
  const size_t n = r.size();
  out.median = n % 2 ? r[n / 2] : (r[n / 2 - 1] + r[n / 2]) / 2;
  out.low = r.front();
  out.high = r.back();
  out.ok = true;
  return out;
}

// "1.23 [1.10-1.40]", or "-" without figures.
inline std::string FormatRatio(const RatioSpread& r) {
  if (!r.ok) return "-";
  char text[48];
  std::snprintf(text, sizeof text, "%.2f [%.2f-%.2f]", r.median, r.low, r.high);
  return text;
}

// Takes `--callgrind NAME` out of the command line; answers NAME, "" when not given.
inline std::string TakeCallgrindArg(int* argc, char** argv) {
  std::string name;
  int kept = 1;
  for (int k = 1; k < *argc; ++k) {
    if (std::strcmp(argv[k], "--callgrind") == 0 && k + 1 < *argc)
      name = argv[++k];
    else
      argv[kept++] = argv[k];
  }
  *argc = kept;
  return name;
}

// Initializes Google Benchmark with the command line, `reps` repetitions unless it
// names its own.
inline void InitializeWithRepetitions(int argc, char** argv, int reps) {
  std::vector<char*> args(argv, argv + argc);
  std::string flag = "--benchmark_repetitions=" + std::to_string(reps);
  bool given = false;
  for (char* a : args) given = given || std::strncmp(a, "--benchmark_repetitions", 23) == 0;
  if (!given) args.push_back(flag.data());
  int n = static_cast<int>(args.size());
  benchmark::Initialize(&n, args.data());
}

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
