// Escape translation and request analysis: pure text in, text and counts out.

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "drv/errtab.h"
#include "drv_inf/inf_escape.h"

namespace {

struct Case {
  std::string_view in;
  std::string_view out;
  int markers;
  int kind;
  int columns;
  int flags;
};

// Texts that are not statements of their own are classified REQ_OTHER.
constexpr Case kCases[] = {
    {"select * from t where d = {d '2001-02-03'}",
     "select * from t where d = DATETIME(2001-02-03) YEAR TO DAY", 0, REQ_SELECT, 1, REQF_STAR},
    {"{d '2001/2/3'}", "DATETIME(2001-02-03) YEAR TO DAY", 0, REQ_OTHER, 0, 0},
    {"{t '04:05:06'}", "DATETIME(04:05:06) HOUR TO SECOND", 0, REQ_OTHER, 0, 0},
    {"{ts '2001-02-03 04:05:06.5'}", "DATETIME(2001-02-03 04:05:06.50000) YEAR TO FRACTION(5)", 0,
     REQ_OTHER, 0, 0},
    {"{ts '2001-02-03 04:05:06'}", "DATETIME(2001-02-03 04:05:06.00000) YEAR TO FRACTION(5)", 0,
     REQ_OTHER, 0, 0},
    {"{ts '2001-02-03 04:05:06.1234567'}",
     "DATETIME(2001-02-03 04:05:06.12345) YEAR TO FRACTION(5)", 0, REQ_OTHER, 0, 0},
    {"select {fn ucase(name)}, b from t", "select  upper(name), b from t", 0, REQ_SELECT, 2, 0},
    {"{fn left(name, 3)}", " substr(name,1, 3)", 0, REQ_OTHER, 0, 0},
    {"{fn right(s, 2)}", " substr(s, - 2)", 0, REQ_OTHER, 0, 0},
    {"{fn concat(a, b)}", " a ||  b", 0, REQ_OTHER, 0, 0},
    {"{fn concat('x,y', b)}", " 'x,y' ||  b", 0, REQ_OTHER, 0, 0},
    {"{fn CONVERT(x, SQL_INTEGER)}", "trunc(x)", 0, REQ_OTHER, 0, 0},
    {"{fn convert(x, sql_date)}", "x", 0, REQ_OTHER, 0, 0},
    {"{fn extract(YEAR FROM d)}", " year ( d)", 0, REQ_OTHER, 0, 0},
    {"{fn extract(YEAR FROM ?)} = ?", " year ( ?) = ?", 2, REQ_OTHER, 0, REQF_MARKERS},
    {"{fn CEILING(x)} + {fn floor(y)}", " ceil(x) +  floor(y)", 0, REQ_OTHER, 0, 0},
    {"{fn pi()}", " 3.14159265358979", 0, REQ_OTHER, 0, 0},
    {"{fn aaa(x)} {fn zzz(y)}", " aaa(x)  zzz(y)", 0, REQ_OTHER, 0, 0},
    {"{fn ucase({fn lcase(x)})}", " upper( lower(x))", 0, REQ_OTHER, 0, 0},
    {"select * from {oj a LEFT OUTER JOIN b ON a.k = b.k} where x > 0",
     "select * from a, OUTER b WHERE a.k = b.k AND x > 0", 0, REQ_SELECT, 1, REQF_STAR},
    {"select * from --*(oj a LEFT OUTER JOIN b ON a.k = b.k--*) where x > 0",
     "select * from a, OUTER b WHERE a.k = b.k AND x > 0", 0, REQ_SELECT, 1, REQF_STAR},
    {"select * from --(*vendor(Kestrane),product(ODBC) oj a LEFT OUTER JOIN b ON a.k = b.k*)-- "
     "where x > 0",
     "select * from a, OUTER b WHERE a.k = b.k AND x > 0", 0, REQ_SELECT, 1, REQF_STAR},
    {"select a from {oj a RIGHT OUTER JOIN b ON a.k = b.k} order by 1",
     "select a from OUTER a, b WHERE a.k = b.k order by 1", 0, REQ_SELECT, 1, 0},
    {"{call p(?, ?)}", "execute procedure p(?, ?)", 2, REQ_OTHER, 0, REQF_MARKERS | REQF_CALL},
    {"{call p}", "execute procedure p()", 0, REQ_OTHER, 0, REQF_CALL},
    {"{?= call f(?)}", "execute procedure f(?)", 2, REQ_OTHER, 0,
     REQF_MARKERS | REQF_CALL | REQF_RETURN},
    {"{escape '\\'}", "ESCAPE '\\'", 0, REQ_OTHER, 0, 0},
    {"delete from a; {d '2001-01-01'}", "delete from a;\nDATETIME(2001-01-01) YEAR TO DAY", 0,
     REQ_DML, 0, 0},
    {"select a from t;  ", "select a from t", 0, REQ_SELECT, 1, 0},
    {"  select a,\r\nb\tfrom t", "select a,\n\nb from t", 0, REQ_SELECT, 2, 0},
    {"select '?', \"a,b\" from t where a = ? and b = 'it''s ?'",
     "select '?', \"a,b\" from t where a = ? and b = 'it''s ?'", 1, REQ_SELECT, 2, REQF_MARKERS},
    {"(select a, b, (c, d) from t)", "(select a, b, (c, d) from t)", 0, REQ_SELECT, 3, 0},
    {"insert into t values (?)", "insert into t values (?)", 1, REQ_DML, 0, REQF_MARKERS},
    {"UPDATE t SET a = 1", "UPDATE t SET a = 1", 0, REQ_DML, 0, 0},
    {"create table t (a int)", "create table t (a int)", 0, REQ_OTHER, 0, 0},
    // Quotes are honoured inside escapes: braces and markers there are literal text.
    {"{fn ucase('}')}", " upper('}')", 0, REQ_OTHER, 0, 0},
    {"select {fn concat('{d ''x''}', \"--*(\")} from t",
     "select  '{d ''x''}' ||  \"--*(\" from t", 0, REQ_SELECT, 1, 0},
    {"select a from t where d = {d '2001-02-03' }",
     "select a from t where d = DATETIME(2001-02-03) YEAR TO DAY", 0, REQ_SELECT, 1, 0},
    // Unknown escapes vanish.
    {"select a from t {zz top}", "select a from t ", 0, REQ_SELECT, 1, 0},
    // A cursor whose rows a positioned statement may name; not for a quoted or nested one.
    {"select a from t FOR\nUpdate", "select a from t FOR\nUpdate", 0, REQ_SELECT, 1,
     REQF_FOR_UPDATE},
    {"select a from t where a > 0 for update of a", "select a from t where a > 0 for update of a",
     0, REQ_SELECT, 1, REQF_FOR_UPDATE},
    {"select a from t where b = 'for update'", "select a from t where b = 'for update'", 0,
     REQ_SELECT, 1, 0},
    {"select a from t where a in (select for from u for update)",
     "select a from t where a in (select for from u for update)", 0, REQ_SELECT, 1, 0},
    {"select a from t for read only", "select a from t for read only", 0, REQ_SELECT, 1, 0},
};

TEST(AnalyseRequest, TranslatesAndClassifies) {
  for (const Case& c : kCases) {
    SCOPED_TRACE(std::string(c.in));
    InfRequest req;
    std::string in(c.in);
    ASSERT_EQ(AnalyseRequest(&req, in.c_str()), 0);
    EXPECT_EQ(std::string_view(req.translated), c.out);
    EXPECT_EQ(req.markers, c.markers);
    EXPECT_EQ(req.kind, c.kind);
    EXPECT_EQ(req.columns, c.columns);
    EXPECT_EQ(req.flags, c.flags);
    InfRequestFree(&req);
  }
}

TEST(AnalyseRequest, RefusesSelectWithoutFromAndDeepNesting) {
  InfRequest req;
  EXPECT_EQ(AnalyseRequest(&req, "select 1"), ERR_SYNTAX);
  EXPECT_EQ(req.text, nullptr);
  std::string deep = std::string(33, '{') + "fn x()" + std::string(33, '}');
  EXPECT_EQ(AnalyseRequest(&req, deep.c_str()), ERR_SYNTAX);
  std::string ok = std::string(32, '{') + "fn x()" + std::string(32, '}');
  EXPECT_EQ(AnalyseRequest(&req, ok.c_str()), 0);
  InfRequestFree(&req);
}

// Text a translation would drop unseen is a syntax error: what follows the literal of
// a date, time or timestamp escape, and an escape left open (with the rest of the
// statement inside it).
TEST(AnalyseRequest, RefusesEscapesThatWouldDropText) {
  for (const char* text : {
           "select a from t where d = {d '2001-02-03' + 1}",
           "delete from t where d = {d '2001-02-03') or (1 = 1}",
           "select a from t where x = {t '04:05:06'; drop table t}",
           "select a from t where x = {ts '2001-02-03 04:05:06' or 1=1}",
           "select a from t where x = {d '2001-02-03}",
           "delete from t {fn x where a = 1",
           "delete from t where a = {fn lcase('x)}",
       }) {
    SCOPED_TRACE(text);
    InfRequest req;
    EXPECT_EQ(AnalyseRequest(&req, text), ERR_SYNTAX);
    InfRequestFree(&req);
  }
}

TEST(FindEscapeFunction, SearchesWithoutCaseAndKnowsTheEnds) {
  const char* abs = FindEscapeFunction(INF_ScalarFunctions, INF_ScalarFunctionCount, "ABS");
  ASSERT_NE(abs, nullptr);
  EXPECT_STREQ(abs, "abs%");
  EXPECT_STREQ(FindEscapeFunction(INF_ScalarFunctions, INF_ScalarFunctionCount, "Year"), "year%");
  EXPECT_EQ(FindEscapeFunction(INF_ScalarFunctions, INF_ScalarFunctionCount, "ab"), nullptr);
  EXPECT_EQ(FindEscapeFunction(INF_ScalarFunctions, INF_ScalarFunctionCount, "yearx"), nullptr);
  EXPECT_EQ(FindEscapeFunction(INF_ConvertTypes, INF_ConvertTypeCount, "sql_binary"), nullptr);
}

struct ProcCase {
  const char* in;
  const char* catalog;
  const char* schema;
  const char* name;
};

TEST(ReadProcedureName, SplitsQualifiedNames) {
  const ProcCase cases[] = {
      {"{call p(?)}", nullptr, nullptr, "p"},
      {"{?= call own.p(?)}", nullptr, "own", "p"},
      {"{ call db.own.p }", "db", "own", "p"},
      {"{call \"my.proc\"()}", nullptr, "my", "proc"},
      {"{call \"Own\".\"P\"}", nullptr, "Own", "P"},
      {"select 1 from t", nullptr, nullptr, nullptr},
  };
  for (const ProcCase& c : cases) {
    SCOPED_TRACE(c.in);
    InfProcName p;
    ASSERT_EQ(ReadProcedureName(c.in, &p), 0);
    auto same = [](const char* got, const char* want) {
      return want == nullptr ? got == nullptr : got != nullptr && std::string_view(got) == want;
    };
    EXPECT_TRUE(same(p.catalog, c.catalog));
    EXPECT_TRUE(same(p.schema, c.schema));
    EXPECT_TRUE(same(p.name, c.name));
    InfProcNameFree(&p);
  }
}

}  // namespace
