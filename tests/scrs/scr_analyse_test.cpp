// Tests of the SELECT analyser: the flags a statement gets, its tables with
// every form of qualified name, its select items and sort keys, the
// placeholder edits and the ORDER BY rewrites, and the failures.

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "drv/errtab.h"
#include "scrs/scr_analyse.h"
#include "scrs/scr_tree.h"

namespace {

// Placeholders shown as "#" so that expected texts stay readable.
std::string Shown(const char* text) {
  std::string s;
  for (const char* p = text; p != nullptr && *p != '\0'; ++p) {
    if (p[0] == '\x01' && p[1] == '\x01' && p[2] == '\x01') {
      s += '#';
      p += 2;
    } else if (*p == ' ' && (s.empty() || s.back() == ' ')) {
      continue;
    } else {
      s += *p;
    }
  }
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}

struct Analysis {
  SCR_Analysis a;
  int32_t rc;
  explicit Analysis(const char* sql, int32_t keepQualifier = 0) {
    SCR_AnalysisInit(&a);
    rc = SCR_AnalyseSQL(&a, sql, 0, keepQualifier);
  }
  ~Analysis() { SCR_AnalysisFree(&a); }
  std::string text() const { return Shown(a.sa_root != nullptr ? a.sa_root->text : nullptr); }
};

struct Tables {
  DynArray* arr = DynArrayNew(sizeof(TblDesc));
  ~Tables() { DynArrayFree(&arr, SCR_TableEntryFree); }
  const TblDesc& operator[](uint32_t i) const { return static_cast<const TblDesc*>(arr->items)[i]; }
};

TEST(AnalyseTest, Flags) {
  struct Case {
    const char* sql;
    uint16_t flags;
  };
  const Case cases[] = {
      {"SELECT a, b FROM t WHERE x = 1", 0},
      {"SELECT a FROM t1, t2 x", SA_JOIN},
      {"SELECT a FROM t LEFT OUTER JOIN u ON t.a = u.a", SA_JOIN | SA_OUTERJOIN},
      {"SELECT a FROM t, u WHERE t.a *= u.a", SA_JOIN | SA_OUTERJOIN},
      {"SELECT COUNT(*) FROM t", SA_AGGREGATE},
      {"SELECT a FROM t GROUP BY a", SA_GROUPBY},
      {"SELECT a FROM t ORDER BY a", SA_ORDERBY},
      {"SELECT a FROM t UNION SELECT b FROM u", SA_UNION},
      {"SELECT a FROM t UNION SELECT b FROM u ORDER BY 1", SA_UNION | SA_ORDERBY},
      {"SELECT DISTINCT a FROM t", SA_DISTINCT},
      {"SELECT UNIQUE a FROM t", SA_DISTINCT},
      {"SELECT a FROM t@s", SA_REMOTE},
      // Clauses of a derived table or a subquery are not the query's own.
      {"SELECT x.a FROM (SELECT a FROM t GROUP BY a) x", 0},
      {"SELECT a FROM t WHERE b IN (SELECT c FROM u GROUP BY c) GROUP BY a", SA_GROUPBY},
      {"SELECT a FROM t WHERE b IN (SELECT c FROM u GROUP BY c)", 0},
      {"SELECT x.a FROM (SELECT a FROM t ORDER BY a) x", 0},
      {"SELECT 1", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.sql);
    Analysis an(c.sql);
    ASSERT_EQ(an.rc, 0);
    EXPECT_EQ(an.a.sa_kind, PN_SELECT);
    EXPECT_EQ(an.a.sa_flags, c.flags);
  }
}

TEST(AnalyseTest, TablesOfEveryNameForm) {
  struct Case {
    const char* from;
    int32_t keep;
    const char* qualifier;
    const char* owner;
    const char* table;
    const char* server;
  };
  const Case cases[] = {
      {"t", 1, "", "", "t", ""},
      {"o.t", 1, "", "o", "t", ""},
      {"q.o.t", 1, "q", "o", "t", ""},
      {"q.o.t", 0, "", "o", "t", ""},
      {"d:t", 1, "d", "", "t", ""},
      {"d:o.t", 1, "d", "o", "t", ""},
      {"d:o.t", 0, "", "o", "t", ""},
      {"d..t", 1, "d", "", "t", ""},
      {"t@s", 1, "", "", "t", "s"},
      {"o.t@s", 0, "", "o", "t", "s"},
      {"d@s:t", 1, "d", "", "t", "s"},
      {"d@s:o.t", 1, "d", "o", "t", "s"},
      {"d@s:o.t", 0, "", "o", "t", "s"},
      {"\"my.db\":\"o.x\".\"t:1\"", 1, "\"my.db\"", "\"o.x\"", "\"t:1\"", ""},
  };
  for (const Case& c : cases) {
    const std::string sql = std::string("SELECT * FROM ") + c.from + " z";
    SCOPED_TRACE(sql + (c.keep ? " keep" : ""));
    Analysis an(sql.c_str(), c.keep);
    ASSERT_EQ(an.rc, 0);
    Tables t;
    ASSERT_EQ(SCR_TablesGet(&an.a, t.arr, c.keep), 0);
    ASSERT_EQ(t.arr->count, 1u);
    EXPECT_STREQ(t[0].qualifier, c.qualifier);
    EXPECT_STREQ(t[0].owner, c.owner);
    EXPECT_STREQ(t[0].table, c.table);
    EXPECT_STREQ(t[0].server, c.server);
    EXPECT_STREQ(t[0].alias, "z");
  }
  Analysis join("SELECT a FROM t1, t2 x LEFT JOIN t3 ON t3.a = x.a");
  Tables t;
  ASSERT_EQ(SCR_TablesGet(&join.a, t.arr, 0), 0);
  ASSERT_EQ(t.arr->count, 3u);
  EXPECT_STREQ(t[0].table, "t1");
  EXPECT_STREQ(t[0].alias, "");
  EXPECT_STREQ(t[1].alias, "x");
  EXPECT_STREQ(t[2].table, "t3");
  Analysis none("SELECT 1");
  Tables n;
  EXPECT_EQ(SCR_TablesGet(&none.a, n.arr, 0), 0);
  EXPECT_EQ(n.arr->count, 0u);
}

TEST(AnalyseTest, SelectItems) {
  Analysis an("SELECT a, t.b, o.t.c, a AS x, a + 1, -a, COUNT(*), f(a), (a), 1, ?, "
              "CASE a WHEN 1 THEN b END, (SELECT MAX(z) FROM u), t.*, o.t.* FROM t");
  ASSERT_EQ(an.rc, 0);
  DynArray* cols = DynArrayNew(sizeof(ColDesc));
  ASSERT_EQ(SCR_SelectColsGet(&an.a, cols), 0);
  struct Want {
    int32_t kind;
    const char* name;
    const char* table;
    const char* owner;
  };
  const Want want[] = {
      {COLDESC_COLUMN, "a", "", ""},
      {COLDESC_COLUMN, "b", "t", ""},
      {COLDESC_COLUMN, "c", "t", "o"},
      {COLDESC_COLUMN, "a", "", ""},
      {COLDESC_EXPRESSION, "a + 1", "", ""},
      {COLDESC_EXPRESSION, "-a", "", ""},
      {COLDESC_EXPRESSION, "COUNT (*)", "", ""},
      {COLDESC_EXPRESSION, "f( a )", "", ""},
      {COLDESC_EXPRESSION, "( a )", "", ""},
      {COLDESC_EXPRESSION, "1", "", ""},
      {COLDESC_EXPRESSION, "?", "", ""},
      {COLDESC_EXPRESSION, "CASE a WHEN 1 THEN b END", "", ""},
      {COLDESC_EXPRESSION, "( SELECT MAX( z ) FROM u )", "", ""},
      {COLDESC_TABLE_ALL, "", "t", ""},
      {COLDESC_TABLE_ALL, "", "o.t", ""},
  };
  ASSERT_EQ(cols->count, std::size(want));
  for (size_t i = 0; i < std::size(want); ++i) {
    SCOPED_TRACE(i);
    const ColDesc& d = static_cast<const ColDesc*>(cols->items)[i];
    EXPECT_EQ(d.itemKind, want[i].kind);
    EXPECT_EQ(Shown(d.name), want[i].name);
    EXPECT_STREQ(d.table, want[i].table);
    EXPECT_STREQ(d.owner, want[i].owner);
  }
  DynArrayFree(&cols, nullptr);

  Analysis star("SELECT * FROM t");
  cols = DynArrayNew(sizeof(ColDesc));
  ASSERT_EQ(SCR_SelectColsGet(&star.a, cols), 0);
  ASSERT_EQ(cols->count, 1u);
  EXPECT_EQ(static_cast<const ColDesc*>(cols->items)[0].itemKind, COLDESC_ALL);
  DynArrayFree(&cols, nullptr);
  ASSERT_EQ(SCR_SelListPlaceholder(&star.a), 0);
  EXPECT_EQ(star.text(), "SELECT # FROM t");
  cols = DynArrayNew(sizeof(ColDesc));
  EXPECT_EQ(SCR_SelectColsGet(&star.a, cols), ERR_GENERAL);
  EXPECT_EQ(cols->count, 0u);
  DynArrayFree(&cols, nullptr);
}

TEST(AnalyseTest, WhereAndOrderByPlaceholders) {
  Analysis an("SELECT a FROM t WHERE b = 1 ORDER BY 2 DESC");
  ASSERT_EQ(an.rc, 0);
  ASSERT_EQ(SCR_WherePlaceholder(&an.a), 0);
  EXPECT_EQ(an.text(), "SELECT a FROM t WHERE # AND (b = 1) ORDER BY 2 DESC");
  EXPECT_NE(an.a.sa_flags & SA_WHERE, 0);
  ASSERT_EQ(SCR_WherePlaceholder(&an.a), 0);
  EXPECT_EQ(an.text(), "SELECT a FROM t WHERE # AND (b = 1) ORDER BY 2 DESC");
  DynArray* items = DynArrayNew(sizeof(OrderByItem));
  ASSERT_EQ(SCR_OrderByColsGet(&an.a, items), 0);
  ASSERT_EQ(items->count, 1u);
  const OrderByItem& it = static_cast<const OrderByItem*>(items->items)[0];
  EXPECT_EQ(it.descending, 1);
  EXPECT_EQ(it.ordinal, 2);
  EXPECT_NE(an.a.sa_flags & SA_ORDERBY_ORDINAL, 0);
  DynArrayFree(&items, nullptr);
  ASSERT_EQ(SCR_OrderByPlaceholder(&an.a), 0);
  EXPECT_EQ(an.text(), "SELECT a FROM t WHERE # AND (b = 1) ORDER BY 2 DESC#");

  Analysis bare("SELECT a FROM t");
  ASSERT_EQ(SCR_WherePlaceholder(&bare.a), 0);
  EXPECT_EQ(bare.a.sa_flags & SA_WHERE, 0);
  ASSERT_EQ(SCR_OrderByPlaceholder(&bare.a), 0);
  EXPECT_EQ(bare.text(), "SELECT a FROM t # #");

  Analysis empty("SELECT a FROM t WHERE");
  ASSERT_EQ(SCR_WherePlaceholder(&empty.a), 0);
  EXPECT_EQ(empty.text(), "SELECT a FROM t WHERE #");

  // A UNION is ordered at its end.
  Analysis un("SELECT a FROM t UNION SELECT b FROM u");
  ASSERT_EQ(SCR_OrderByPlaceholder(&un.a), 0);
  EXPECT_EQ(un.text(), "SELECT a FROM t UNION SELECT b FROM u #");
}

TEST(AnalyseTest, OrderByKeysAndRewrites) {
  Analysis an("SELECT a, b FROM t ORDER BY t.a, 2 DESC, c ASC");
  ASSERT_EQ(an.rc, 0);
  DynArray* items = DynArrayNew(sizeof(OrderByItem));
  ASSERT_EQ(SCR_OrderByColsGet(&an.a, items), 0);
  ASSERT_EQ(items->count, 3u);
  auto* it = static_cast<OrderByItem*>(items->items);
  EXPECT_STREQ(it[0].text, "t.a");
  EXPECT_STREQ(it[0].name, "a");
  EXPECT_STREQ(it[0].table, "t");
  EXPECT_EQ(it[0].ordinal, 0);  // never the ordinal of the key after it
  EXPECT_EQ(it[1].ordinal, 2);
  EXPECT_EQ(it[1].descending, 1);
  EXPECT_EQ(it[2].descending, 0);
  // The cursor layer names the ordinal keys, then has them written out.
  std::strcpy(it[1].text, "b");
  ASSERT_EQ(SCR_OrderByOrdinalsToNames(&an.a, items), 0);
  EXPECT_EQ(an.text(), "SELECT a, b FROM t ORDER BY t.a , b DESC, c ASC");
  ASSERT_EQ(SCR_OrderByReverse(&an.a), 0);
  EXPECT_EQ(an.text(), "SELECT a, b FROM t ORDER BY t.a DESC, b , c DESC");
  DynArrayFree(&items, nullptr);

  Analysis noOrder("SELECT a FROM t");
  items = DynArrayNew(sizeof(OrderByItem));
  EXPECT_EQ(SCR_OrderByColsGet(&noOrder.a, items), ERR_GENERAL);
  EXPECT_EQ(SCR_OrderByReverse(&noOrder.a), ERR_GENERAL);
  DynArrayFree(&items, nullptr);
}

// Memory that runs out while a statement is parsed, edited or regenerated is
// ERR_MEMORY at every allocation that can fail (a regeneration used to answer success
// with the statement's text freed, which the cursor layer then copied), the tree
// always keeps a text, and the first run with enough memory writes the whole edit.
TEST(AnalyseTest, MemoryRunningOutIsAnError) {
  const char* sql = "SELECT a, b FROM t WHERE a > 1 ORDER BY a, b DESC";
  uint32_t n = 1;
  for (;; ++n) {
    SCOPED_TRACE("parse, failing allocation " + std::to_string(n));
    ParseTreeTestFailAlloc(n);
    Analysis an(sql);
    ParseTreeTestFailAlloc(0);
    if (an.rc == 0) break;
    ASSERT_EQ(an.rc, ERR_MEMORY);
    ASSERT_LT(n, 2000u);
  }
  EXPECT_GT(n, 1u);
  for (n = 1;; ++n) {
    SCOPED_TRACE("reverse, failing allocation " + std::to_string(n));
    Analysis an(sql);
    ASSERT_EQ(an.rc, 0);
    ParseTreeTestFailAlloc(n);
    const int32_t rc = SCR_OrderByReverse(&an.a);
    ParseTreeTestFailAlloc(0);
    ASSERT_NE(an.a.sa_root->text, nullptr);
    if (rc == 0) {
      EXPECT_EQ(an.text(), "SELECT a, b FROM t WHERE a > 1 ORDER BY a DESC, b");
      break;
    }
    ASSERT_EQ(rc, ERR_MEMORY);
    ASSERT_LT(n, 2000u);
  }
  EXPECT_GT(n, 1u);
}

TEST(AnalyseTest, FailuresAndOtherStatements) {
  Analysis semi("SELECT a FROM t;");
  EXPECT_EQ(semi.rc, ERR_SYNTAX);
  EXPECT_EQ(semi.a.sa_kind, 0);
  EXPECT_EQ(semi.a.sa_root, nullptr);
  EXPECT_STREQ(semi.a.sa_errMsg, "syntax error");
  EXPECT_STREQ(semi.a.sa_errPos, "SELECT a FROM t;^");
  EXPECT_EQ(semi.a.sa_generated, nullptr);

  Analysis open("  SELECT a FROM t WHERE b = 'x");
  EXPECT_EQ(open.rc, ERR_SYNTAX);
  EXPECT_STREQ(open.a.sa_errMsg, "Unterminated string literal.");
  EXPECT_STREQ(open.a.sa_text, "SELECT a FROM t WHERE b = 'x");

  Analysis upd("UPDATE t SET a = 1");
  EXPECT_EQ(upd.rc, 0);
  EXPECT_EQ(upd.a.sa_kind, PN_UPDATE);
  EXPECT_EQ(upd.a.sa_flags, 0);
  EXPECT_EQ(SCR_SelListPlaceholder(&upd.a), ERR_GENERAL);
  EXPECT_EQ(SCR_WherePlaceholder(&upd.a), ERR_GENERAL);

  SCR_Analysis reused;
  SCR_AnalysisInit(&reused);
  EXPECT_EQ(SCR_AnalyseSQL(&reused, "SELECT a FROM t;", 0, 0), ERR_SYNTAX);
  EXPECT_EQ(SCR_AnalyseSQL(&reused, "SELECT a FROM t", 0, 0), 0);
  EXPECT_EQ(reused.sa_errMsg, nullptr);
  reused.sa_generated = strdup("SELECT generated");
  SCR_AnalysisFree(&reused);
  EXPECT_EQ(reused.sa_kind, -1);
  EXPECT_EQ(reused.sa_generated, nullptr);
}

// Lists nest one level per item; a long one analyses, regenerates and frees
// without exhausting the stack or taking quadratic time.
TEST(AnalyseTest, LongInList) {
  std::string sql = "SELECT a FROM t WHERE a IN (0";
  for (int i = 1; i < 100000; ++i) sql += ", " + std::to_string(i);
  sql += ")";
  Analysis an(sql.c_str());
  ASSERT_EQ(an.rc, 0);
  const std::string text = an.text();
  EXPECT_EQ(text.substr(0, 33), "SELECT a FROM t WHERE a IN ( 0, 1");
  EXPECT_EQ(text.substr(text.size() - 9), ", 99999 )");
  ASSERT_EQ(SCR_WherePlaceholder(&an.a), 0);
  EXPECT_EQ(an.text().substr(0, 41), "SELECT a FROM t WHERE # AND (a IN ( 0, 1,");
}

}  // namespace
