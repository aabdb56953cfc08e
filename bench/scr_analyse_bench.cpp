// scr_analyse_bench.cpp -- the statement analysis of a cursor's SELECT: scan,
// parse, regenerate and set the flags for a 200-token statement, then the
// analyser's reads and one placeholder edit, as the cursor layer asks them.

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "scrs/scr_analyse.h"
#include "scrs/scr_parse.h"

namespace {

// 200 tokens: select items, a join, a WHERE with IN and BETWEEN, GROUP BY,
// HAVING and ORDER BY.
std::string Statement() {
  std::string s = "SELECT ";
  for (int i = 0; i < 12; ++i) s += (i ? ", " : "") + std::string("t.c") + std::to_string(i) + " + 1";
  s += " FROM orders t LEFT OUTER JOIN customers u ON t.cust = u.id WHERE t.state IN (";
  for (int i = 0; i < 30; ++i) s += (i ? ", " : "") + std::to_string(i);
  s += ") AND t.amount BETWEEN ? AND ? AND u.name LIKE 'A%' GROUP BY t.c0, t.c1 HAVING COUNT(*) > 1 "
       "ORDER BY t.c0 DESC, 2";
  return s;
}

int Tokens(const std::string& s) {
  std::vector<ScanToken> toks;
  ScrScanAll(s.c_str(), &toks, nullptr, nullptr);
  return static_cast<int>(toks.size());
}

void BM_AnalyseSelect(benchmark::State& state) {
  const std::string sql = Statement();
  for (auto _ : state) {
    SCR_Analysis a;
    SCR_AnalysisInit(&a);
    benchmark::DoNotOptimize(SCR_AnalyseSQL(&a, sql.c_str(), 0, 1));
    SCR_AnalysisFree(&a);
  }
  state.counters["tokens"] = Tokens(sql);
}
BENCHMARK(BM_AnalyseSelect);

void BM_AnalyseAndRewrite(benchmark::State& state) {
  const std::string sql = Statement();
  for (auto _ : state) {
    SCR_Analysis a;
    SCR_AnalysisInit(&a);
    (void)SCR_AnalyseSQL(&a, sql.c_str(), 0, 1);
    DynArray* tables = DynArrayNew(sizeof(TblDesc));
    DynArray* cols = DynArrayNew(sizeof(ColDesc));
    (void)SCR_TablesGet(&a, tables, 1);
    (void)SCR_SelectColsGet(&a, cols);
    (void)SCR_WherePlaceholder(&a);
    benchmark::DoNotOptimize(a.sa_root->text);
    DynArrayFree(&tables, SCR_TableEntryFree);
    DynArrayFree(&cols, nullptr);
    SCR_AnalysisFree(&a);
  }
}
BENCHMARK(BM_AnalyseAndRewrite);

}  // namespace

BENCHMARK_MAIN();
