// Tests of the grammar and the regeneration of statement text: exact texts
// for every kind of statement, the second parse of a regenerated text giving
// the same text again, the shapes the conflict resolutions must produce, and
// the failures.

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "scrs/scr_parse.h"
#include "scrs/scr_tree.h"

namespace {

struct Parsed {
  ParseResult r;
  explicit Parsed(const std::string& text) {
    ScrParse(text.data(), text.size(), &r);
    if (r.rc == 0) ParseTreeRegenerate(r.root);
  }
  ~Parsed() {
    ParseTreeFree(&r.root, ParseNodeFreeStrings);
    std::free(r.errPos);
    std::free(r.errMsg);
  }
  std::string text() const { return r.root != nullptr && r.root->text ? r.root->text : ""; }
};

// Blank runs collapsed, so that the table shows the words the templates give
// without counting the blanks of empty clauses.
std::string Squeeze(const std::string& s) {
  std::string out;
  for (char c : s) {
    if (c == ' ' && (out.empty() || out.back() == ' ')) continue;
    out += c;
  }
  while (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

TEST(GrammarTest, ExactRegeneration) {
  Parsed p("select * from t");
  ASSERT_EQ(p.r.rc, 0);
  EXPECT_EQ(p.r.root->type, PN_SELECT);
  EXPECT_EQ(p.text(), "SELECT  * FROM t      ");
  Parsed q("SELECT a FROM t");
  EXPECT_EQ(q.text(), "SELECT  a FROM t      ");
}

// Each statement regenerates to the expected words, and parsing the
// regenerated text gives the same text again.
TEST(GrammarTest, RoundTrip) {
  struct Case {
    const char* in;
    const char* out;  // blank runs squeezed
    int kind;
  };
  const Case cases[] = {
      {"SELECT a, 'ab', 'AB', Name, NAME FROM t", "SELECT a, 'ab', 'AB', Name, NAME FROM t", PN_SELECT},
      {"SELECT DISTINCT a AS x, b y FROM o.t z WHERE a <> 1", "SELECT DISTINCT a AS x, b y FROM o.t z WHERE a <> 1", PN_SELECT},
      {"SELECT UNIQUE a FROM t", "SELECT UNIQUE a FROM t", PN_SELECT},
      {"select top 5 percent with ties a from t", "SELECT TOP 5 PERCENT WITH TIES a FROM t", PN_SELECT},
      {"SELECT t.*, o.t.*, d:o.t.* FROM d:o.t", "SELECT t.*, o.t.*, d:o.t.* FROM d:o.t", PN_SELECT},
      {"SELECT * FROM t@s, o.t@s, d@s:t, d@s:o.t, d..t, q.o.t",
       "SELECT * FROM t@s, o.t@s, d@s:t, d@s:o.t, d..t, q.o.t", PN_SELECT},
      {"SELECT d@s:o.t.* FROM d @ s : o.t", "SELECT d@s:o.t.* FROM d@s:o.t", PN_SELECT},
      {"SELECT CASE a WHEN 1 THEN 'x' ELSE 'y' END, CASE WHEN a > 1 AND b < 2 THEN 1 END FROM t",
       "SELECT CASE a WHEN 1 THEN 'x' ELSE 'y' END, CASE WHEN a > 1 AND b < 2 THEN 1 END FROM t", PN_SELECT},
      {"SELECT a FROM t WHERE a IN (SELECT b FROM u WHERE c = 1) AND EXISTS (SELECT * FROM v)",
       "SELECT a FROM t WHERE a IN ( SELECT b FROM u WHERE c = 1 ) AND EXISTS ( SELECT * FROM v )", PN_SELECT},
      {"SELECT x.a FROM (SELECT a FROM t ORDER BY a) AS x", "SELECT x.a FROM ( SELECT a FROM t ORDER BY a ) AS x", PN_SELECT},
      {"SELECT a FROM t LEFT OUTER JOIN u ON t.a = u.a INNER JOIN v ON v.b = t.b",
       "SELECT a FROM t LEFT OUTER JOIN u ON t.a = u.a INNER JOIN v ON v.b = t.b", PN_SELECT},
      {"SELECT a FROM {oj t LEFT OUTER JOIN u ON t.a = u.a}", "SELECT a FROM { oj t LEFT OUTER JOIN u ON t.a = u.a }", PN_SELECT},
      {"SELECT a FROM --(* vendor(Microsoft), product(ODBC) oj t LEFT OUTER JOIN u ON t.a = u.a *)--",
       "SELECT a FROM { oj t LEFT OUTER JOIN u ON t.a = u.a }", PN_SELECT},
      {"SELECT --(* vendor(Microsoft), product(ODBC) fn UCASE(a) *)-- FROM t",
       "SELECT { fn UCASE( a ) } FROM t", PN_SELECT},
      {"SELECT {fn CONVERT(a, SQL_CHAR)}, {d '2001-01-31'}, {ts '2001-01-31 10:11:12'} FROM t",
       "SELECT { fn CONVERT( a, SQL_CHAR ) }, { d '2001-01-31' }, { ts '2001-01-31 10:11:12' } FROM t", PN_SELECT},
      {"SELECT a FROM t WHERE b LIKE 'x%' {escape '\\'}", "SELECT a FROM t WHERE b LIKE 'x%' { escape '\\' }", PN_SELECT},
      {"SELECT a FROM t WHERE b NOT LIKE ? ESCAPE '!'", "SELECT a FROM t WHERE b NOT LIKE ? ESCAPE '!'", PN_SELECT},
      {"SELECT a FROM t UNION ALL SELECT b FROM u ORDER BY 1 DESC",
       "SELECT a FROM t UNION ALL SELECT b FROM u ORDER BY 1 DESC", PN_SELECT},
      {"SELECT a FROM t, u WHERE t.a *= u.a", "SELECT a FROM t, u WHERE t.a *= u.a", PN_SELECT},
      {"SELECT COUNT(*), SUM(DISTINCT a), max(b + 1) FROM t GROUP BY c, d HAVING COUNT(*) > 1",
       "SELECT COUNT (*), SUM( DISTINCT a ), max( b + 1 ) FROM t GROUP BY c, d HAVING COUNT (*) > 1", PN_SELECT},
      {"SELECT -a, +b, a || b, a * (b - c) / 2, USER FROM t", "SELECT -a, +b, a || b, a * ( b - c ) / 2, USER FROM t", PN_SELECT},
      {"SELECT a FROM t WHERE a != 1", "SELECT a FROM t WHERE a != 1", PN_SELECT},
      {"SELECT 1", "SELECT 1", PN_SELECT},
      {"SELECT a FROM t WHERE b BETWEEN 1 AND 2 AND c IS NOT NULL AND d = ANY (SELECT e FROM u)",
       "SELECT a FROM t WHERE b BETWEEN 1 AND 2 AND c IS NOT NULL AND d = ANY ( SELECT e FROM u )", PN_SELECT},
      {"INSERT INTO t (a, b) VALUES (?, 'x')", "INSERT INTO t ( a, b ) VALUES ( ?, 'x' )", PN_INSERT},
      {"INSERT INTO t SELECT a, b FROM u WHERE c = ?", "INSERT INTO t SELECT a, b FROM u WHERE c = ?", PN_INSERT},
      {"UPDATE t SET a = 1, b = NULL WHERE c = ?", "UPDATE t SET a = 1, b = NULL WHERE c = ?", PN_UPDATE},
      {"UPDATE t SET a = 1 FROM u WHERE t.c = u.c", "UPDATE t SET a = 1 FROM u WHERE t.c = u.c", PN_UPDATE},
      {"UPDATE t SET a = 1 WHERE CURRENT OF c1", "UPDATE t SET a = 1 WHERE CURRENT OF c1", PN_UPDATE_CURRENT},
      {"DELETE FROM t WHERE a = ?", "DELETE FROM t WHERE a = ?", PN_DELETE},
      {"DELETE FROM t WHERE CURRENT OF c1", "DELETE FROM t WHERE CURRENT OF c1", PN_DELETE_CURRENT},
      {"create table x (a int)", "", PN_OTHER_STMT},
      {"{call p(?)}", "", PN_ESCAPE_STMT},
      {"SELECT a FROM t WHERE", "SELECT a FROM t WHERE", PN_SELECT},
      {"SELECT a -- the a column\nFROM t WHERE a = 1 -- note", "SELECT a FROM t WHERE a = 1", PN_SELECT},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.in);
    Parsed first(c.in);
    ASSERT_EQ(first.r.rc, 0) << (first.r.errMsg ? first.r.errMsg : "") << " at "
                             << (first.r.errPos ? first.r.errPos : "");
    EXPECT_EQ(first.r.root->type, c.kind);
    EXPECT_EQ(Squeeze(first.text()), c.out);
    if (c.kind == PN_OTHER_STMT || c.kind == PN_ESCAPE_STMT) continue;
    Parsed second(first.text());
    ASSERT_EQ(second.r.rc, 0) << first.text();
    EXPECT_EQ(second.text(), first.text());
  }
}

ParseNode* First(ParseNode* from, int32_t type) {
  ParseNode* n = from;
  return SCR_FindNext(type, &n);
}

// The readings the grammar's conflict resolutions and precedences give.
TEST(GrammarTest, Resolutions) {
  {
    SCOPED_TRACE("ORDER BY belongs to the table expression");
    Parsed p("SELECT a FROM t ORDER BY a DESC");
    ASSERT_EQ(p.r.rc, 0);
    ParseNode* te = First(p.r.root, PN_TABLE_EXPR);
    ASSERT_NE(te, nullptr);
    ParseNode* last = ParseChild(te, te->childCount);
    EXPECT_EQ(last->type, PN_ORDER_BY_OPT);
    ASSERT_NE(last->firstChild, nullptr);
    EXPECT_EQ(last->firstChild->type, PN_ORDER_BY);
    ParseNode* stmtOrder = ParseChild(p.r.root, 2);
    EXPECT_EQ(stmtOrder->type, PN_ORDER_BY_OPT);
    EXPECT_EQ(stmtOrder->childCount, 0);
  }
  {
    SCOPED_TRACE("a subquery after the operator is the comparison's operand");
    Parsed p("SELECT a FROM t WHERE a = (SELECT MAX(b) FROM u)");
    ASSERT_EQ(p.r.rc, 0);
    ParseNode* cmp = First(p.r.root, PN_COMPARISON);
    ASSERT_NE(cmp, nullptr);
    EXPECT_EQ(ParseChild(cmp, 3)->type, PN_SUBQUERY);
    Parsed q("SELECT a FROM t WHERE a = (SELECT MAX(b) FROM u) + 1");
    ASSERT_EQ(q.r.rc, 0);
    cmp = First(q.r.root, PN_COMPARISON);
    EXPECT_EQ(ParseChild(cmp, 3)->type, PN_ADD_EXPR);
  }
  {
    SCOPED_TRACE("(a) = 1 against (a = 1)");
    Parsed p("SELECT a FROM t WHERE (a) = 1");
    ASSERT_EQ(p.r.rc, 0);
    ParseNode* cmp = First(p.r.root, PN_COMPARISON);
    ASSERT_NE(cmp, nullptr);
    ParseNode* prim = First(cmp, PN_PRIMARY);
    EXPECT_STREQ(prim->text, "( a )");
    Parsed q("SELECT a FROM t WHERE (a = 1)");
    ASSERT_EQ(q.r.rc, 0);
    ParseNode* where = First(q.r.root, PN_WHERE);
    EXPECT_EQ(where->firstChild->type, PN_SEARCH_COND);
    EXPECT_STREQ(where->firstChild->text, "( a = 1 )");
  }
  {
    SCOPED_TRACE("OR below AND below NOT");
    Parsed p("SELECT a FROM t WHERE a = 1 OR b = 2 AND c = 3");
    ParseNode* where = First(p.r.root, PN_WHERE);
    ParseNode* top = where->firstChild;
    EXPECT_STREQ(top->text, "a = 1 OR b = 2 AND c = 3");
    EXPECT_STREQ(ParseChild(top, 2)->text, "b = 2 AND c = 3");
    Parsed q("SELECT a FROM t WHERE a = 1 OR b = 2 OR c = 3");
    top = First(q.r.root, PN_WHERE)->firstChild;
    EXPECT_STREQ(ParseChild(top, 1)->text, "a = 1 OR b = 2");
    Parsed r("SELECT a FROM t WHERE NOT a = 1 AND b = 2");
    top = First(r.r.root, PN_WHERE)->firstChild;
    EXPECT_STREQ(ParseChild(top, 1)->text, "NOT a = 1");
  }
  {
    SCOPED_TRACE("shapes");
    Parsed p("UPDATE t SET a = 1 WHERE CURRENT OF c1");
    EXPECT_EQ(p.r.root->childCount, 3);
    EXPECT_EQ(ParseChild(p.r.root, 3)->type, PN_CURSOR_NAME);
    Parsed q("INSERT INTO t (a, b) VALUES (?, 'x')");
    EXPECT_EQ(ParseChild(q.r.root, 2)->type, PN_COLUMN_LIST_OPT);
    EXPECT_EQ(ParseChild(q.r.root, 3)->firstChild->type, PN_VALUE_LIST);
    Parsed r("SELECT a FROM t WHERE t.a *= u.a");
    ParseNode* oj = First(r.r.root, PN_OJ_PREDICATE);
    ASSERT_NE(oj, nullptr);
    EXPECT_EQ(ParseChild(oj, 2)->type, PN_JOIN_TYPE);
    EXPECT_STREQ(ParseChild(oj, 2)->text, "*=");
  }
}

TEST(GrammarTest, Failures) {
  struct Case {
    const char* in;
    const char* msg;
    const char* pos;
  };
  const Case cases[] = {
      {"SELECT a FROM t;", "syntax error", "SELECT a FROM t;^"},
      {"", "syntax error", "^"},
      {"SELECT a FROM t WHERE a + 1 IS NULL", "syntax error", nullptr},
      {"SELECT a FROM t WHERE b = 'x\nAND c = 1", "Unterminated string literal.", nullptr},
      {"SELECT a FROM t WHERE b = 'x", "Unterminated string literal.", nullptr},
      {"SELECT a FROM t WHERE a ! b", "Invalid character.", nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.in);
    Parsed p(c.in);
    EXPECT_EQ(p.r.rc, 1);
    EXPECT_EQ(p.r.root, nullptr);
    ASSERT_NE(p.r.errMsg, nullptr);
    EXPECT_STREQ(p.r.errMsg, c.msg);
    if (c.pos != nullptr) {
      EXPECT_STREQ(p.r.errPos, c.pos);
    }
  }
}

// Parser stacks are bounded: nesting past them fails with the generator's
// message instead of exhausting memory or the thread's stack.
TEST(GrammarTest, NestingPastTheStackLimit) {
  std::string deep = "SELECT a FROM t WHERE ";
  for (int i = 0; i < 20000; ++i) deep += "(";
  deep += "a = 1";
  for (int i = 0; i < 20000; ++i) deep += ")";
  Parsed p(deep);
  EXPECT_EQ(p.r.rc, 2);
  ASSERT_NE(p.r.errMsg, nullptr);
  EXPECT_STREQ(p.r.errMsg, "memory exhausted");
}

}  // namespace
