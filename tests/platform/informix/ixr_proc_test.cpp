// Stored procedures of the embedded runtime: the statements a body runs, what a RETURNING
// procedure yields through a cursor, the errors a run raises and traps, and the road the
// agent takes (DESCRIBE of EXECUTE PROCEDURE, markers bound through an input area).
#include "tests/platform/informix/ixr_fixture.h"

#include <atomic>
#include <chrono>
#include <thread>

namespace ixrtest {
namespace {

class ProcTest : public IxrTest {
 protected:
  void SetUp() override {
    IxrTest::SetUp();
    makeDb();
    ASSERT_EQ(exec("create table t (a int unique, b varchar(20))"), 0);
    ASSERT_EQ(exec("insert into t values (1, 'one')"), 0);
    ASSERT_EQ(exec("insert into t values (2, 'two')"), 0);
    ASSERT_EQ(exec("insert into t values (3, 'three')"), 0);
  }

  // Runs a call that returns rows through a cursor, or one that does not with EXECUTE
  // IMMEDIATE; the rows, or the error code in rc.
  Rows call(const std::string& sql, int& rc) {
    Rows rows;
    rc = run(sql, nullptr, rows);
    return rows;
  }
};

struct Case {
  const char* name;
  const char* proc;  // CREATE PROCEDURE / FUNCTION text
  const char* call;  // EXECUTE PROCEDURE text, run through a cursor
  Rows rows;         // expected rows
  int code;          // expected error code (0: rows)
};

const Case kCases[] = {
    {"ReturnOfAnExpression",
     "create function addone(x int) returning int; return x + 1; end function",
     "execute function addone(41)",
     {{"42"}},
     0},
    {"IfElifElse",
     "create procedure sgn(x int) returning char(3);"
     " if x > 0 then return 'pos'; elif x < 0 then return 'neg'; else return 'zer'; end if;"
     " end procedure",
     "execute procedure sgn(-7)",
     {{"neg"}},
     0},
    {"ForRangeWithStepResumes",
     "create procedure odd() returning int; define i int;"
     " for i = 1 to 6 step 2 return i with resume; end for; end procedure",
     "execute procedure odd()",
     {{"1"}, {"3"}, {"5"}},
     0},
    {"ForDownwardsAndInList",
     "create procedure lst() returning int; define i int;"
     " for i in (3 to 1 step -1, 10, 20) return i with resume; end for; end procedure",
     "execute procedure lst()",
     {{"3"}, {"2"}, {"1"}, {"10"}, {"20"}},
     0},
    {"EmptyRangeRunsNoBody",
     "create procedure none() returning int; define i int;"
     " for i = 5 to 1 return i with resume; end for; end procedure",
     "execute procedure none()",
     {},
     0},
    {"WhileWithContinueAndExit",
     "create procedure w() returning int; define i int; let i = 0;"
     " while i < 100 let i = i + 1; if i = 2 then continue while; end if;"
     " if i > 4 then exit while; end if; return i with resume; end while; end procedure",
     "execute procedure w()",
     {{"1"}, {"3"}, {"4"}},
     0},
    {"ForeachReturnsEveryRow",
     "create procedure rows_of(lo int) returning int, varchar(20); define x int;"
     " define y varchar(20);"
     " foreach select a, b into x, y from t where a >= lo order by a"
     " return x, y with resume; end foreach; end procedure",
     "execute procedure rows_of(2)",
     {{"2", "two"}, {"3", "three"}},
     0},
    {"NestedForeachAndExitForeach",
     "create procedure pairs() returning int, int; define x, y int;"
     " foreach c1 for select a into x from t order by a"
     "  foreach select a into y from t order by a"
     "   if y > x then exit foreach; end if; return x, y with resume;"
     "  end foreach;"
     " end foreach; end procedure",
     "execute procedure pairs()",
     {{"1", "1"}, {"2", "1"}, {"2", "2"}, {"3", "1"}, {"3", "2"}, {"3", "3"}},
     0},
    {"ForeachBodyFollowsItsFromList",
     "create procedure fb() returning int; define x, n int; let n = 0;"
     " foreach select a into x from t let n = n + x; end foreach; return n; end procedure",
     "execute procedure fb()",
     {{"6"}},
     0},
    {"RecursionOverAnOpenForeach",
     "create procedure rf(d int) returning int; define x, s, r int; let s = 0;"
     " foreach select a into x from t"
     "  if d > 0 then call rf(d - 1) returning r; let s = s + r; else let s = s + x; end if;"
     " end foreach; return s; end procedure",
     "execute procedure rf(2)",
     {{"54"}},
     0},
    {"LetFromAQueryRowAndSelectInto",
     "create procedure q() returning int, varchar(20), int; define x, n int; define y varchar(20);"
     " let x, y = (select a, b from t where a = 2); select count(*) into n from t;"
     " return x, y, n; end procedure",
     "execute procedure q()",
     {{"2", "two", "3"}},
     0},
    {"SelectIntoWithoutARowKeepsTheVariable",
     "create procedure k() returning int; define x int; let x = 7;"
     " select a into x from t where a = 99; return x; end procedure",
     "execute procedure k()",
     {{"7"}},
     0},
    {"SelectIntoOfManyRowsFails",
     "create procedure m() returning int; define x int; select a into x from t; return x;"
     " end procedure",
     "execute procedure m()",
     {},
     IXR_E_SUBQUERY_ROWS},
    {"DefaultParameters",
     "create procedure d(a int, b int default 10, c char(2) default 'zz')"
     " returning int, char(2); return a + b, c; end procedure",
     "execute procedure d(1)",
     {{"11", "zz"}},
     0},
    {"TooManyArguments",
     "create procedure d2(a int) returning int; return a; end procedure",
     "execute procedure d2(1, 2)",
     {},
     IXR_E_NO_ROUTINE},
    {"MissingArgumentWithoutDefault",
     "create procedure d3(a int, b int) returning int; return a; end procedure",
     "execute procedure d3(1)",
     {},
     IXR_E_NO_ROUTINE},
    {"UnknownProcedure", nullptr, "execute procedure nope()", {}, IXR_E_NO_ROUTINE},
    {"UndefinedVariable",
     "create procedure u() returning int; define x int; return x; end procedure",
     "execute procedure u()",
     {},
     IXR_E_UNDEFINED_VARIABLE},
    {"RaiseExceptionGivesItsCodes",
     "create procedure r() returning int; raise exception -746, -111, 'no such thing';"
     " end procedure",
     "execute procedure r()",
     {},
     IXR_E_USER},
    {"SqlErrorPropagates",
     "create procedure dup() returning int; insert into t values (1, 'again'); return 0;"
     " end procedure",
     "execute procedure dup()",
     {},
     IXR_E_UNIQUE},
    {"ArithmeticErrorPropagates",
     "create procedure z(x int) returning int; return 1 / x; end procedure",
     "execute procedure z(0)",
     {},
     IXR_E_DIVIDE_BY_ZERO},
    {"HandlerSetsCodesAndEndsTheBlock",
     "create procedure h() returning int, int, varchar(40); define c, i int;"
     " define m varchar(40); let c = 0;"
     " begin on exception set c, i, m end exception;"
     "  raise exception -746, -3, 'caught'; let c = 99; end"
     " return c, i, m; end procedure",
     "execute procedure h()",
     {{"-746", "-3", "caught"}},
     0},
    {"HandlerWithResumeContinuesAfterTheStatement",
     "create procedure hr() returning int; define n int;"
     " on exception in (-268, -239) let n = n + 100; end exception with resume;"
     " let n = 0; insert into t values (1, 'dup'); let n = n + 1; return n; end procedure",
     "execute procedure hr()",
     {{"101"}},
     0},
    {"HandlerListsOnlyItsCodes",
     "create procedure hl() returning int; on exception in (-206) return 1; end exception;"
     " raise exception -746, 0, 'other'; return 0; end procedure",
     "execute procedure hl()",
     {},
     IXR_E_USER},
    {"LastDeclaredHandlerWins",
     "create procedure hw() returning int; define r int; let r = 0;"
     " begin on exception let r = 1; end exception;"
     "  on exception in (-746) let r = 2; end exception;"
     "  raise exception -746; end return r; end procedure",
     "execute procedure hw()",
     {{"2"}},
     0},
    {"HandlerInALoopGoesToTheNextIteration",
     "create procedure hlp() returning int; define i, n int; let n = 0;"
     " for i = 1 to 4 on exception let n = n + 10; end exception;"
     "  if i = 2 then raise exception -746; end if; let n = n + 1; end for;"
     " return n; end procedure",
     "execute procedure hlp()",
     {{"13"}},
     0},
    {"HandlerRunsItsOwnForeachAndResumesIntoTheOpenOne",
     "create procedure hf() returning int, int; define x, y, n int;"
     " on exception foreach select a into y from t let n = n + y; end foreach;"
     " end exception with resume;"
     " let n = 0; foreach select a into x from t order by a"
     "  if x = 2 then raise exception -746; end if; return x, n with resume; end foreach;"
     " end procedure",
     "execute procedure hf()",
     {{"1", "0"}, {"2", "6"}, {"3", "6"}},
     0},
    {"ErrorInAHandlerGoesToTheOuterOne",
     "create procedure hh() returning int; define r int;"
     " on exception let r = r + 100; end exception with resume; let r = 0;"
     " begin on exception let r = r + 10; raise exception -746; let r = r + 1000;"
     "  end exception; raise exception -745; end"
     " return r; end procedure",
     "execute procedure hh()",
     {{"1110"}},
     0},
    {"RoutineHandlerReturnsNothing",
     "create procedure hz() returning int; on exception end exception;"
     " raise exception -746; return 5; end procedure",
     "execute procedure hz()",
     {},
     0},
    {"ErrorInACalledProcedureReachesTheCallersHandler",
     "create procedure inner_p() raise exception -746, 0, 'deep'; end procedure;"
     "create procedure outer_p() returning varchar(10); define c, i int; define m varchar(10);"
     " on exception set c, i, m end exception with resume; let m = 'none';"
     " call inner_p(); return m; end procedure",
     "execute procedure outer_p()",
     {{"deep"}},
     0},
    {"CallWithReturningAndLetOfAFunction",
     "create function sq(x int) returning int; return x * x; end function;"
     "create procedure cq() returning int, int; define a, b int;"
     " call sq(3) returning a; let b = sq(a); return a, b; end procedure",
     "execute procedure cq()",
     {{"9", "81"}},
     0},
    {"RecursionWorks",
     "create function fact(n int) returning int; define r int;"
     " if n <= 1 then return 1; end if; call fact(n - 1) returning r; return n * r;"
     " end function",
     "execute function fact(6)",
     {{"720"}},
     0},
    {"EndlessRecursionIsBounded",
     "create procedure deep(n int) returning int; define r int;"
     " call deep(n + 1) returning r; return r; end procedure",
     "execute procedure deep(0)",
     {},
     IXR_E_TOO_COMPLEX},
    {"VariableWinsOverAColumnOfItsName",
     "create procedure vw() returning int; define a, n int; let a = 3;"
     " select count(*) into n from t where t.a < a; return n; end procedure",
     "execute procedure vw()",
     {{"2"}},
     0},
    {"DdlAndATemporaryTable",
     "create procedure tt() returning int; define n int;"
     " create temp table tmp (x int); insert into tmp select a from t;"
     " insert into tmp values (10); select sum(x) into n from tmp; drop table tmp;"
     " return n; end procedure",
     "execute procedure tt()",
     {{"16"}},
     0},
    {"GlobalsOutliveTheCall",
     "create procedure g() returning int; define global cnt int default 100;"
     " let cnt = cnt + 1; return cnt; end procedure",
     "execute procedure g()",
     {{"101"}},
     0},
    {"GlobalKeepsItsValueForTheSession", nullptr, "execute procedure g()", {{"102"}}, 0},
    {"ValuesConvertToTheReturningTypes",
     "create procedure cv() returning decimal(6,2), date, char(4);"
     " return '12.345', mdy(2, 29, 2024), 'abcdef'; end procedure",
     "execute procedure cv()",
     {{"12.35", "02/29/2024", "abcd"}},
     0},
};

TEST_F(ProcTest, Statements) {
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    if (c.proc) {
      // Several procedures of a case are separated by ";create".
      std::string all = c.proc;
      size_t from = 0;
      bool created = true;
      while (from < all.size()) {
        size_t next = all.find(";create", from);
        std::string one = all.substr(from, next == std::string::npos ? next : next + 1 - from);
        int rc = exec(one);
        if (rc != 0) {
          EXPECT_EQ(rc, c.code) << one << " -> " << ixr_sqlca()->sqlerrm;
          created = false;
          break;
        }
        from = next == std::string::npos ? all.size() : next + 1;
      }
      if (!created) continue;
    }
    if (!c.call) continue;
    int rc = 0;
    Rows got = call(c.call, rc);
    EXPECT_EQ(rc, c.code) << ixr_sqlca()->sqlerrm;
    if (c.code == 0) {
      EXPECT_EQ(got, c.rows);
    }
  }
}

TEST_F(ProcTest, ProcedureWithoutReturningRunsAsAStatement) {
  ASSERT_EQ(exec("create procedure put(x int, y varchar(20)) insert into t values (x, y);"
                 " update t set b = upper(b) where a = x; end procedure"),
            0)
      << ixr_sqlca()->sqlerrm;
  ASSERT_EQ(exec("execute procedure put(4, 'four')"), 0) << ixr_sqlca()->sqlerrm;
  EXPECT_EQ(query("select b from t where a = 4"), (Rows{{"FOUR"}}));
  // Its statement is described with no columns and cannot be opened as a cursor.
  ASSERT_EQ(ixr_prepare("p", "execute procedure put(5, 'five')"), 0);
  int32_t sid = ixr_name_id("p", IXR_ID_STATEMENT);
  IxrSqlda* d = nullptr;
  EXPECT_EQ(ixr_describe(sid, &d), IXR_STMT_EXECUTE_PROCEDURE);
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(d->sqld, 0);
  ixr_free_sqlda(d);
  int32_t cid = ixr_name_id("pc", IXR_ID_NEW_CURSOR);
  EXPECT_EQ(ixr_declare(cid, "pc", sid), IXR_E_NOT_PREPARED);
  EXPECT_EQ(ixr_execute(sid, nullptr), 0);
  EXPECT_EQ(scalar("select count(*) from t"), "5");
}

TEST_F(ProcTest, ErrorsAtCreate) {
  struct Bad {
    const char* text;
    int code;
  };
  std::string deep = "create procedure deep_blocks()";
  for (int k = 0; k < 120; ++k) deep += " begin";
  for (int k = 0; k < 120; ++k) deep += " end";
  deep += " end procedure";
  const Bad bad[] = {
      {"create procedure b1() exit for; end procedure", IXR_E_SYNTAX},
      {"create procedure b2() let nothere = 1; end procedure", IXR_E_SYNTAX},
      {"create procedure b3() returning int; return 1, 2; end procedure", IXR_E_SYNTAX},
      {"create procedure b4() define x int; define x int; end procedure", IXR_E_SYNTAX},
      {"create procedure b5() define x like t.nocol; end procedure", IXR_E_NO_COLUMN},
      {"create procedure b6() select a from t; end procedure", IXR_E_SYNTAX},
      {"create procedure b7() let x = 1; define x int; end procedure", IXR_E_SYNTAX},
      {"create procedure b8() if 1 = 1 then end procedure", IXR_E_SYNTAX},
      {"create procedure b9(a int) insert into t values (?, 'x'); end procedure", IXR_E_SYNTAX},
      {deep.c_str(), IXR_E_TOO_COMPLEX},
  };
  for (const Bad& b : bad) {
    SCOPED_TRACE(b.text);
    EXPECT_EQ(exec(b.text), b.code) << ixr_sqlca()->sqlerrm;
  }
  EXPECT_EQ(scalar("select count(*) from sysprocedures"), "0");
}

// A body nested as deep as blocks may go compiles and runs on a small thread's stack.
TEST_F(ProcTest, BlocksAtTheLimitRunOnASmallStack) {
  std::string text = "create procedure nested() returning int;";
  for (int k = 0; k < 98; ++k) text += " begin";
  text += " return 7;";
  for (int k = 0; k < 98; ++k) text += " end";
  text += " end procedure";
  ASSERT_EQ(ixr_set_connection("c1", 1), 0);
  onSmallStack(256 * 1024, [&] {
    ASSERT_EQ(ixr_set_connection("c1", 0), 0);
    EXPECT_EQ(exec(text), 0) << ixr_sqlca()->sqlerrm;
    EXPECT_EQ(scalar("execute procedure nested()"), "7");
    ASSERT_EQ(ixr_set_connection("c1", 1), 0);
  });
  ASSERT_EQ(ixr_set_connection("c1", 0), 0);
}

TEST_F(ProcTest, RaisedErrorCarriesItsIsamCodeAndText) {
  ASSERT_EQ(exec("create procedure r() raise exception -206, -111, 'missing'; end procedure"), 0);
  EXPECT_EQ(exec("execute procedure r()"), IXR_E_NO_TABLE);
  EXPECT_EQ(ixr_sqlca()->sqlerrd[1], IXR_ISAM_NOT_FOUND);
  EXPECT_STREQ(ixr_sqlca()->sqlerrm, "missing");
}

TEST_F(ProcTest, RecreatedProcedureRunsItsNewBody) {
  ASSERT_EQ(exec("create procedure v() returning int; return 1; end procedure"), 0);
  EXPECT_EQ(scalar("execute procedure v()"), "1");
  ASSERT_EQ(exec("drop procedure v"), 0);
  int rc = 0;
  call("execute procedure v()", rc);
  EXPECT_EQ(rc, IXR_E_NO_ROUTINE);
  ASSERT_EQ(exec("create procedure v() returning int; return 2; end procedure"), 0);
  EXPECT_EQ(scalar("execute procedure v()"), "2");
  // Another session drops and re-creates it: this one sees the new body too.
  ASSERT_EQ(ixr_connect("db@srv", "c2"), 0);
  ASSERT_EQ(exec("drop procedure v"), 0);
  ASSERT_EQ(exec("create procedure v() returning int; return 3; end procedure"), 0);
  ASSERT_EQ(ixr_set_connection("c2", 1), 0);
  ASSERT_EQ(ixr_set_connection("c1", 0), 0);
  EXPECT_EQ(scalar("execute procedure v()"), "3");
}

TEST_F(ProcTest, RunsInsideTheCallersTransaction) {
  ASSERT_EQ(exec("create procedure put(x int) insert into t values (x, 'p'); end procedure"), 0);
  ASSERT_EQ(ixr_begin_work(), 0);
  ASSERT_EQ(exec("execute procedure put(7)"), 0);
  EXPECT_EQ(scalar("select count(*) from t"), "4");
  ASSERT_EQ(ixr_rollback_work(), 0);
  EXPECT_EQ(scalar("select count(*) from t"), "3");
}

TEST_F(ProcTest, CursorRowsComeOneRunStepAtATime) {
  // Rows are made as they are fetched: the insert after the first RETURN has not run
  // when the first row arrives, and an error after some rows comes at its FETCH.
  ASSERT_EQ(exec("create procedure gen() returning int; define i int;"
                 " for i = 1 to 3 return i with resume; insert into t values (10 + i, 'g');"
                 " end for; raise exception -746, 0, 'late'; end procedure"),
            0);
  ASSERT_EQ(ixr_prepare("g", "execute procedure gen()"), 0);
  int32_t sid = ixr_name_id("g", IXR_ID_STATEMENT);
  int32_t cid = ixr_name_id("gc", IXR_ID_NEW_CURSOR);
  ASSERT_EQ(ixr_declare(cid, "gc", sid), 0);
  ASSERT_EQ(ixr_open(cid, nullptr), 0) << ixr_sqlca()->sqlerrm;
  Area out(1);
  out.i32(0, 0);
  ASSERT_EQ(ixr_fetch(cid, out.get()), 0);
  EXPECT_EQ(scalar("select count(*) from t where b = 'g'"), "0");
  for (int k = 2; k <= 3; ++k) {
    ASSERT_EQ(ixr_fetch(cid, out.get()), 0);
    int32_t v = 0;
    std::memcpy(&v, out.buf(0), 4);
    EXPECT_EQ(v, k);
  }
  EXPECT_EQ(ixr_fetch(cid, out.get()), IXR_E_USER);
  EXPECT_STREQ(ixr_sqlca()->sqlerrm, "late");
  EXPECT_EQ(scalar("select count(*) from t where b = 'g'"), "3");
  // Closing a cursor in the middle of a run ends the run; reopening starts afresh.
  ASSERT_EQ(ixr_open(cid, nullptr), 0);
  ASSERT_EQ(ixr_fetch(cid, out.get()), 0);
  ASSERT_EQ(ixr_close(cid), 0);
  ASSERT_EQ(ixr_open(cid, nullptr), 0);
  ASSERT_EQ(ixr_fetch(cid, out.get()), 0);
  int32_t v = 0;
  std::memcpy(&v, out.buf(0), 4);
  EXPECT_EQ(v, 1);
  ixr_close(cid);
}

TEST_F(ProcTest, AgentRoadDescribeAndHostVariables) {
  ASSERT_EQ(exec("create procedure lookup(lo int, pat varchar(10)) returning int as num,"
                 " varchar(20) as name, date; define x int; define y varchar(20);"
                 " foreach select a, b into x, y from t where a >= lo and b like pat order by a"
                 " return x, y, mdy(1, x, 2020) with resume; end foreach; end procedure"),
            0)
      << ixr_sqlca()->sqlerrm;
  ASSERT_EQ(ixr_prepare("st", "execute procedure lookup(?, ?)"), 0) << ixr_sqlca()->sqlerrm;
  int32_t sid = ixr_name_id("st", IXR_ID_STATEMENT);
  IxrSqlda* d = nullptr;
  ASSERT_EQ(ixr_describe(sid, &d), IXR_STMT_EXECUTE_PROCEDURE);
  ASSERT_NE(d, nullptr);
  ASSERT_EQ(d->sqld, 3);
  EXPECT_STREQ(d->sqlvar[0].sqlname, "num");
  EXPECT_EQ(d->sqlvar[0].sqltype, IXR_TYPE_INTEGER);
  EXPECT_STREQ(d->sqlvar[1].sqlname, "name");
  EXPECT_EQ(d->sqlvar[1].sqltype, IXR_TYPE_VARCHAR);
  EXPECT_EQ(d->sqlvar[1].sqllen, 20);
  EXPECT_STREQ(d->sqlvar[2].sqlname, "(expression)");
  EXPECT_EQ(d->sqlvar[2].sqltype, IXR_TYPE_DATE);
  ixr_free_sqlda(d);
  int32_t cid = ixr_name_id("cu", IXR_ID_NEW_CURSOR);
  ASSERT_EQ(ixr_declare(cid, "cu", sid), 0);
  Area in(2);
  in.i32(0, 2).str(1, "t%");
  ASSERT_EQ(ixr_open(cid, in.get()), 0) << ixr_sqlca()->sqlerrm;
  Area out(3);
  out.i32(0, 0).as(1, IXR_HOST_STRING, 21).as(2, IXR_HOST_STRING, 11);
  std::vector<std::string> got;
  while (ixr_fetch(cid, out.get()) == 0) {
    int32_t n = 0;
    std::memcpy(&n, out.buf(0), 4);
    got.push_back(std::to_string(n) + " " + out.buf(1) + " " + out.buf(2));
  }
  EXPECT_EQ(ixr_sqlca()->sqlcode, IXR_NOTFOUND);
  EXPECT_EQ(got, (std::vector<std::string>{"2 two 01/02/2020", "3 three 01/03/2020"}));
  // Too few host variables for the markers.
  Area one(1);
  one.i32(0, 1);
  EXPECT_EQ(ixr_open(cid, one.get()), IXR_E_HOSTVAR_COUNT);
  ixr_close(cid);
  ixr_free("cu");
  // A marker inside an expression takes its own host variable.
  ASSERT_EQ(ixr_prepare("st2", "execute procedure lookup(? + 1, ?)"), 0);
  Rows r;
  Area in2(2);
  in2.i32(0, 2).str(1, "%");
  ASSERT_EQ(run("execute procedure lookup(? + 1, ?)", in2.get(), r), 0) << ixr_sqlca()->sqlerrm;
  EXPECT_EQ(r, (Rows{{"3", "three", "01/03/2020"}}));
}

TEST_F(ProcTest, InterruptEndsAnEndlessLoop) {
  ASSERT_EQ(exec("create procedure spin() define i int; let i = 0;"
                 " while 1 = 1 on exception end exception with resume; let i = i + 1;"
                 " end while; end procedure"),
            0);
  std::atomic<bool> done{false};
  std::thread canceller([&] {
    while (!done.load()) {
      ixr_interrupt("c1");
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  });
  int rc = exec("execute procedure spin()");
  done = true;
  canceller.join();
  EXPECT_EQ(rc, IXR_E_INTERRUPTED);
}

}  // namespace
}  // namespace ixrtest
