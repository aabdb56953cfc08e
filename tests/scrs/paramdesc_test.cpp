// Tests of the parameter describer: the probe texts, their order and counts
// for every kind of statement, the markers of an INSERT without columns, and
// the statements it leaves undescribed.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "drv/errtab.h"
#include "drv/layercalls.h"

namespace {

constexpr char kDefault[] = "cast (null as varchar)";

struct Described {
  ParamDescriber pd;
  int32_t rc;
  explicit Described(const std::string& sql) {
    ParamDescInit(&pd, kDefault);
    rc = ParamDescAnalyse(&pd, sql.c_str());
  }
  ~Described() { ParamDescFree(&pd); }
  std::vector<std::string> probes() const {
    std::vector<std::string> out;
    for (int32_t i = 0; i < pd.pd_count; ++i) out.emplace_back(pd.pd_probes[i]);
    return out;
  }
};

TEST(ParamDescTest, Probes) {
  struct Case {
    const char* sql;
    std::vector<std::string> probes;
    int32_t total;
    const char* markers;
  };
  const Case cases[] = {
      {"SELECT a FROM t WHERE b = ? AND c BETWEEN ? AND ?", {"SELECT b, c, c FROM t WHERE 1=0 "}, 3, nullptr},
      {"SELECT a FROM t WHERE ? IS NULL", {"SELECT cast (null as varchar) FROM t WHERE 1=0 "}, 1, nullptr},
      {"SELECT a FROM t GROUP BY a HAVING SUM(x) > ? AND MAX(y) < ?",
       {"SELECT (x), (y) FROM t WHERE 1=0 "}, 2, nullptr},
      {"SELECT a FROM t GROUP BY a HAVING SUM(x) > ?", {"SELECT SUM( x ) FROM t WHERE 1=0 "}, 1, nullptr},
      {"SELECT a FROM t GROUP BY a HAVING COUNT(*) > ? AND a = ?", {"SELECT 1, a FROM t WHERE 1=0 "}, 2, nullptr},
      {"UPDATE t SET a = ?, b = 5 WHERE c = ?", {"SELECT t.a, t.c FROM t WHERE 1=0 "}, 2, nullptr},
      {"UPDATE t SET a = ? WHERE CURRENT OF c1", {"SELECT t.a FROM t WHERE 1=0 "}, 1, nullptr},
      {"INSERT INTO t VALUES (?, 5, ?)", {"SELECT * FROM t WHERE 1=0 "}, 3, "?X?"},
      {"INSERT INTO t (x, y) VALUES (1, ?)", {"SELECT y FROM t WHERE 1=0 "}, 1, nullptr},
      {"DELETE FROM t WHERE a = ? OR ? < b", {"SELECT a, b FROM t WHERE 1=0 "}, 2, nullptr},
      {"SELECT a FROM t WHERE b = ? UNION SELECT a FROM u WHERE c LIKE ?",
       {"SELECT b FROM t WHERE 1=0 ", "SELECT c FROM u WHERE 1=0 "}, 2, nullptr},
      {"SELECT a FROM t x, u WHERE x.b = ? AND ? = u.c",
       {"SELECT x.b, u.c FROM t  x, u WHERE 1=0 "}, 2, nullptr},
      {"SELECT a FROM t WHERE b IN (?, ?, 3)", {"SELECT b, b FROM t WHERE 1=0 "}, 2, nullptr},
      {"SELECT a FROM t WHERE ? IN (1, 2)", {"SELECT 1 FROM t WHERE 1=0 "}, 1, nullptr},
      {"SELECT a FROM t WHERE b = ANY (SELECT c FROM u) AND ? < ALL (SELECT d FROM u)",
       {}, 0, nullptr},
      // A subquery target writes no column and leaves no separator behind.
      {"SELECT a FROM t WHERE b = ? AND ? = (SELECT c FROM u) AND d = ?",
       {"SELECT b, d FROM t WHERE 1=0 "}, 2, nullptr},
      // The query's own WHERE, not that of a subquery in its select list.
      {"SELECT (SELECT x FROM u WHERE y = 1), a FROM t WHERE b = ?", {"SELECT b FROM t WHERE 1=0 "}, 1, nullptr},
      // INSERT ... SELECT: one item per select item, then the query's probes.
      {"INSERT INTO t (a, b, c) SELECT x + 1, ?, z * 2 FROM u WHERE w = ?",
       {"SELECT b FROM t WHERE 1=0 ", "SELECT w FROM u WHERE 1=0 "}, 2, nullptr},
      {"DELETE FROM t WHERE CURRENT OF c", {}, 0, nullptr},
      {"{call p(?)}", {}, 0, nullptr},
      {"create table t (a int)", {}, 0, nullptr},
      {"SELECT ? FROM t", {}, 0, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.sql);
    Described d(c.sql);
    ASSERT_EQ(d.rc, 0);
    EXPECT_EQ(d.probes(), c.probes);
    EXPECT_EQ(d.pd.pd_total, c.total);
    if (c.markers == nullptr)
      EXPECT_EQ(d.pd.pd_markers, nullptr);
    else
      EXPECT_STREQ(d.pd.pd_markers, c.markers);
  }
}

// Where the parameters cannot all be given a column, the probes' count tells
// the caller to keep its default descriptions.
TEST(ParamDescTest, CountMismatchAndFailures) {
  Described more("INSERT INTO t (a) VALUES (?, ?)");
  EXPECT_EQ(more.rc, 0);
  EXPECT_EQ(more.pd.pd_count, 0);
  EXPECT_EQ(more.pd.pd_total, 0);
  Described both("SELECT a FROM t WHERE ? = ?");
  EXPECT_EQ(both.rc, 0);
  EXPECT_EQ(both.pd.pd_total, 0);
  Described bad("SELECT a FROM t WHERE b = ?;");
  EXPECT_EQ(bad.rc, ERR_SYNTAX);
  EXPECT_EQ(bad.pd.pd_count, 0);
  EXPECT_STREQ(bad.pd.pd_errMsg, "syntax error");
  // The default text stays across analyses and frees.
  ParamDescriber pd;
  ParamDescInit(&pd, kDefault);
  EXPECT_EQ(ParamDescAnalyse(&pd, "SELECT a FROM t WHERE b IS NULL OR ? IS NULL"), 0);
  EXPECT_EQ(ParamDescAnalyse(&pd, "  SELECT a FROM t WHERE ? IS NULL"), 0);
  ASSERT_EQ(pd.pd_count, 1);
  EXPECT_STREQ(pd.pd_text, "SELECT a FROM t WHERE ? IS NULL");
  ParamDescFree(&pd);
  EXPECT_EQ(pd.pd_default, kDefault);
  EXPECT_EQ(pd.pd_kind, -1);
}

}  // namespace
