// Statements of the embedded runtime: DESCRIBE (statement types and column
// descriptions), markers, several cursors, FIRST/SKIP, UNIQUE, INTO TEMP, FOR UPDATE with
// WHERE CURRENT OF, ROWID, hold cursors, multi-statement PREPARE, nesting limits, and FETCH streaming rows
// into host variables without heap memory per row. That last is counted by replacing the
// global allocation functions of this test program (they only count while a test asks
// them to).
#include "tests/platform/informix/ixr_fixture.h"

#include <atomic>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

// The replacements below are a matched pair (malloc and free) that GCC cannot see as one.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif

namespace {
std::atomic<bool> g_counting{false};
std::atomic<long> g_news{0};
}  // namespace

void* operator new(size_t n) {
  if (g_counting.load(std::memory_order_relaxed)) g_news++;
  if (void* p = std::malloc(n ? n : 1)) return p;
  throw std::bad_alloc();
}
void* operator new[](size_t n) { return operator new(n); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, size_t) noexcept { std::free(p); }
void operator delete[](void* p, size_t) noexcept { std::free(p); }

namespace ixrtest {
namespace {

class StmtTest : public IxrTest {
 protected:
  void SetUp() override {
    IxrTest::SetUp();
    makeDb();
    ASSERT_EQ(
        exec("create table t (id serial not null, name char(10), qty integer, price decimal(8,2), "
             "d date, primary key (id))"),
        0);
    for (const char* v :
         {"(0, 'apple', 3, 1.25, '01/02/2024')", "(0, 'pear', 5, 2.5, '02/03/2024')",
          "(0, 'fig', 1, 9.99, '03/04/2024')", "(0, 'kiwi', NULL, NULL, NULL)"})
      ASSERT_EQ(exec(std::string("insert into t values ") + v), 0) << ixr_sqlca()->sqlerrm;
  }

  int32_t prepare(const char* name, const std::string& sql) {
    EXPECT_EQ(ixr_prepare(name, sql.c_str()), 0) << sql << " -> " << ixr_sqlca()->sqlerrm;
    return ixr_name_id(name, IXR_ID_STATEMENT);
  }
};

TEST_F(StmtTest, DescribeAnswersTheStatementType) {
  struct Case {
    const char* sql;
    int type;
  };
  const Case cases[] = {
      {"select * from t", IXR_STMT_SELECT},
      {"insert into t (name) values ('x')", IXR_STMT_INSERT},
      {"update t set qty = 1", IXR_STMT_UPDATE},
      {"delete from t", IXR_STMT_DELETE},
      {"begin work", IXR_STMT_BEGIN_WORK},
      {"commit work", IXR_STMT_COMMIT_WORK},
      {"rollback work", IXR_STMT_ROLLBACK_WORK},
      {"create table u (a int)", IXR_STMT_CREATE_TABLE},
      {"drop table t", IXR_STMT_DROP_TABLE},
      {"set isolation to dirty read", IXR_STMT_SET_ISOLATION},
      {"select * from t into temp x", IXR_STMT_SELECT_INTO},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.sql);
    int32_t id = prepare("s", c.sql);
    IxrSqlda* d = nullptr;
    EXPECT_EQ(ixr_describe(id, &d), c.type);
    ixr_free_sqlda(d);
  }
  // DESCRIBE runs nothing: the table is still there.
  EXPECT_EQ(scalar("select count(*) from t"), "4");
}

TEST_F(StmtTest, DescribeGivesTypesLengthsAndNames) {
  int32_t id = prepare("s",
                       "select id, name, price, d, qty + 1, count(*), cast(null as varchar), 5, "
                       "sum(qty) total from t group by 1, 2, 3, 4, 5");
  IxrSqlda* d = nullptr;
  ASSERT_EQ(ixr_describe(id, &d), IXR_STMT_SELECT);
  ASSERT_EQ(d->sqld, 9);
  struct Want {
    int type;
    int len;
    const char* name;
  };
  const Want want[] = {
      {IXR_TYPE_SERIAL | IXR_TYPE_NOTNULL, 4, "id"}, {IXR_TYPE_CHAR, 10, "name"},
      {IXR_TYPE_DECIMAL, (8 << 8) | 2, "price"},     {IXR_TYPE_DATE, 4, "d"},
      {IXR_TYPE_INTEGER, 4, "(expression)"},         {IXR_TYPE_DECIMAL, (15 << 8), "(count(*))"},
      {IXR_TYPE_VARCHAR, 255, "(expression)"},       {IXR_TYPE_INTEGER, 4, "(constant)"},
      {IXR_TYPE_DECIMAL, (32 << 8), "total"},
  };
  for (int k = 0; k < 9; ++k) {
    SCOPED_TRACE(k);
    EXPECT_EQ(d->sqlvar[k].sqltype, want[k].type);
    EXPECT_EQ(d->sqlvar[k].sqllen, want[k].len);
    EXPECT_STREQ(d->sqlvar[k].sqlname, want[k].name);
  }
  ixr_free_sqlda(d);
}

TEST_F(StmtTest, InsertDescribesMarkerTargetsInOrder) {
  int32_t id = prepare("s", "insert into t (price, name, qty) values (?, 'x', ?)");
  IxrSqlda* d = nullptr;
  ASSERT_EQ(ixr_describe(id, &d), IXR_STMT_INSERT);
  ASSERT_EQ(d->sqld, 2);
  EXPECT_STREQ(d->sqlvar[0].sqlname, "price");
  EXPECT_EQ(d->sqlvar[0].sqltype, IXR_TYPE_DECIMAL);
  EXPECT_STREQ(d->sqlvar[1].sqlname, "qty");
  ixr_free_sqlda(d);
  id = prepare("s2", "insert into t (name) values ('y')");
  ASSERT_EQ(ixr_describe(id, &d), IXR_STMT_INSERT);
  EXPECT_EQ(d->sqld, 0);
  ixr_free_sqlda(d);
}

// A decimal constant compared with an integer or decimal column keeps its own digits:
// cut to the column's type it would find the rows of another value.
TEST_F(StmtTest, DecimalConstantsCompareAtTheirOwnPrecision) {
  struct Case {
    const char* where;
    const char* names;
  };
  const Case cases[] = {
      {"qty = 3.5", ""},
      {"qty < 3.5", "apple fig"},
      {"1.5 < qty", "apple pear"},
      {"qty between 0.5 and 1.5", "fig"},
      {"qty in (1.5, 5)", "pear"},
      {"qty + 0 in (1.0, 3.5)", "fig"},
      {"price = 1.251", ""},
      {"price between 2.495 and 2.499", ""},
      {"price in (9.991, 1.25)", "apple"},
      {"price * 1 > 9.985", "fig"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.where);
    std::string names;
    for (const auto& row : query(std::string("select name from t where ") + c.where + " order by id"))
      names += (names.empty() ? "" : " ") + row[0];
    EXPECT_EQ(names, c.names);
  }
}

TEST_F(StmtTest, ManyMarkers) {
  std::string sql = "select count(*) from t where qty in (";
  for (int k = 0; k < 300; ++k) sql += k ? ",?" : "?";
  sql += ")";
  Area in(300);
  for (int k = 0; k < 300; ++k) in.i32(k, k + 100);
  in.i32(299, 5);
  EXPECT_EQ(query(sql, in.get())[0][0], "1");
}

TEST_F(StmtTest, SeveralCursorsWithChangesWhileOpen) {
  int32_t a = prepare("sa", "select id from t order by id");
  int32_t b = prepare("sb", "select name from t order by name desc");
  int32_t ca = ixr_name_id("ca", IXR_ID_NEW_CURSOR), cb = ixr_name_id("cb", IXR_ID_NEW_CURSOR);
  ASSERT_EQ(ixr_declare(ca, "ca", a), 0);
  ASSERT_EQ(ixr_declare(cb, "cb", b), 0);
  ASSERT_EQ(ixr_open(ca, nullptr), 0);
  ASSERT_EQ(ixr_open(cb, nullptr), 0);
  Area oa(1), ob(1);
  oa.as(0, IXR_HOST_INT, 4);
  ob.as(0, IXR_HOST_STRING, 20);
  ASSERT_EQ(ixr_fetch(ca, oa.get()), 0);
  ASSERT_EQ(ixr_fetch(cb, ob.get()), 0);
  EXPECT_STREQ(ob.buf(0), "pear");
  EXPECT_EQ(exec("insert into t (name) values ('plum')"), 0);
  EXPECT_EQ(exec("update t set qty = 0 where name = 'fig'"), 0);
  EXPECT_EQ(exec("delete from t where name = 'kiwi'"), 0);
  int n = 1;
  while (ixr_fetch(ca, oa.get()) == 0) ++n;
  EXPECT_GE(n, 4);
  EXPECT_EQ(ixr_sqlca()->sqlcode, IXR_NOTFOUND);
  EXPECT_EQ(ixr_fetch(ca, oa.get()), IXR_NOTFOUND);
  EXPECT_EQ(ixr_close(ca), 0);
  EXPECT_EQ(ixr_fetch(ca, oa.get()), IXR_E_CURSOR_NOT_OPEN);
}

// PREPARE compiles the query once; the first cursor takes that compilation, so a second
// cursor and an EXECUTE of the same statement must each get one of their own.
TEST_F(StmtTest, CursorsAndExecuteShareOnePreparedQuery) {
  int32_t sid = prepare("sq", "select id from t where id >= 2 order by id");
  int32_t c1 = ixr_name_id("c1", IXR_ID_NEW_CURSOR), c2 = ixr_name_id("c2", IXR_ID_NEW_CURSOR);
  ASSERT_EQ(ixr_declare(c1, "c1", sid), 0);
  ASSERT_EQ(ixr_declare(c2, "c2", sid), 0);
  ASSERT_EQ(ixr_open(c1, nullptr), 0);
  ASSERT_EQ(ixr_open(c2, nullptr), 0);
  Area o1(1), o2(1);
  o1.as(0, IXR_HOST_INT, 4);
  o2.as(0, IXR_HOST_INT, 4);
  const auto id = [](Area& a) { return *reinterpret_cast<int32_t*>(a.buf(0)); };
  ASSERT_EQ(ixr_fetch(c1, o1.get()), 0);
  ASSERT_EQ(ixr_fetch(c1, o1.get()), 0);
  ASSERT_EQ(ixr_fetch(c2, o2.get()), 0);
  EXPECT_EQ(id(o1), 3);
  EXPECT_EQ(id(o2), 2);
  ASSERT_EQ(ixr_execute(sid, nullptr), 0) << ixr_sqlca()->sqlerrm;
  EXPECT_EQ(ixr_sqlca()->sqlerrd[2], 3);
  ASSERT_EQ(ixr_fetch(c1, o1.get()), 0);
  EXPECT_EQ(id(o1), 4);
  EXPECT_EQ(ixr_fetch(c1, o1.get()), IXR_NOTFOUND);
  // Reopened, each cursor starts over on its own compilation.
  ASSERT_EQ(ixr_open(c1, nullptr), 0);
  ASSERT_EQ(ixr_fetch(c1, o1.get()), 0);
  ASSERT_EQ(ixr_fetch(c2, o2.get()), 0);
  EXPECT_EQ(id(o1), 2);
  EXPECT_EQ(id(o2), 3);
}

// A table changed under a prepared query: OPEN runs the new translation and says so when
// the columns DESCRIBE gave are no longer the result's, until the statement is described
// again; a change that leaves the columns as they were says nothing.
TEST_F(StmtTest, OpenSaysWhenTheDescribedColumnsChanged) {
  int32_t sid = prepare("sx", "select * from t where id = 1");
  int32_t cur = ixr_name_id("cx", IXR_ID_NEW_CURSOR);
  ASSERT_EQ(ixr_declare(cur, "cx", sid), 0);
  IxrSqlda* area = nullptr;
  ASSERT_EQ(ixr_describe(sid, &area), IXR_STMT_SELECT);
  ixr_free_sqlda(area);
  const auto openWarns = [&] {
    EXPECT_EQ(ixr_open(cur, nullptr), 0) << ixr_sqlca()->sqlerrm;
    const bool warned = ixr_sqlca()->sqlwarn[4] == 'W';
    EXPECT_EQ(ixr_sqlca()->sqlwarn[0], warned ? 'W' : ' ');
    EXPECT_EQ(ixr_close(cur), 0);
    return warned;
  };
  EXPECT_FALSE(openWarns());
  ASSERT_EQ(exec("create index tx on t (qty)"), 0);
  EXPECT_FALSE(openWarns());
  ASSERT_EQ(exec("alter table t add (extra integer)"), 0);
  EXPECT_TRUE(openWarns());
  EXPECT_TRUE(openWarns());
  ASSERT_EQ(ixr_describe(sid, &area), IXR_STMT_SELECT);
  ASSERT_NE(area, nullptr);
  EXPECT_EQ(area->sqld, 6);
  ixr_free_sqlda(area);
  EXPECT_FALSE(openWarns());
  ASSERT_EQ(exec("alter table t modify (name char(20))"), 0);
  EXPECT_TRUE(openWarns());
}

TEST_F(StmtTest, FetchRowsFillsArraysByStride) {
  int32_t sid = prepare("sr", "select id, name, qty from t order by id");
  int32_t cur = ixr_name_id("cr", IXR_ID_NEW_CURSOR);
  ASSERT_EQ(ixr_declare(cur, "cr", sid), 0);
  ASSERT_EQ(ixr_open(cur, nullptr), 0);
  int32_t ids[8] = {};
  char names[8][12] = {};
  int16_t qty[8] = {};
  int16_t ind[3][8] = {};
  IxrSqlVar vars[3] = {};
  vars[0] = {IXR_HOST_INT, 0, 4, reinterpret_cast<char*>(ids), ind[0], nullptr, 0, 0, 0};
  vars[1] = {IXR_HOST_STRING, 0, 12, names[0], ind[1], nullptr, 0, 0, 0};
  vars[2] = {IXR_HOST_SHORT, 0, 2, reinterpret_cast<char*>(qty), ind[2], nullptr, 0, 0, 0};
  IxrSqlda out{3, 0, 0, vars};
  const int32_t strides[3] = {4, 12, 2};
  int32_t fetched = -1;
  ASSERT_EQ(ixr_fetch_rows(cur, &out, 3, strides, &fetched), 0) << ixr_sqlca()->sqlerrm;
  EXPECT_EQ(fetched, 3);
  EXPECT_EQ(ixr_sqlca()->sqlerrd[2], 3);
  EXPECT_EQ(ids[2], 3);
  EXPECT_STREQ(names[1], "pear");
  EXPECT_EQ(qty[2], 1);
  // The area is as it was: the next call starts again at the arrays' first row.
  EXPECT_EQ(vars[1].sqldata, names[0]);
  EXPECT_EQ(vars[2].sqlind, ind[2]);
  EXPECT_EQ(ixr_fetch_rows(cur, &out, 3, strides, &fetched), IXR_NOTFOUND);
  EXPECT_EQ(fetched, 1);
  EXPECT_STREQ(names[0], "kiwi");
  EXPECT_EQ(ind[2][0], -1);
  EXPECT_EQ(ixr_fetch_rows(cur, &out, 3, strides, &fetched), IXR_NOTFOUND);
  EXPECT_EQ(fetched, 0);

  // A value that does not fit its host variable stops the block at its row, the rows
  // before it delivered.
  ASSERT_EQ(exec("update t set qty = 100000 where name = 'fig'"), 0);
  ASSERT_EQ(ixr_open(cur, nullptr), 0);
  const int code = ixr_fetch_rows(cur, &out, 4, strides, &fetched);
  EXPECT_LT(code, 0);
  EXPECT_EQ(ixr_sqlca()->sqlcode, code);
  EXPECT_EQ(fetched, 2);
  EXPECT_EQ(ids[1], 2);
  EXPECT_EQ(vars[0].sqldata, reinterpret_cast<char*>(ids));
  EXPECT_EQ(ixr_close(cur), 0);
  EXPECT_EQ(ixr_fetch_rows(cur, &out, 3, strides, &fetched), IXR_E_CURSOR_NOT_OPEN);
}

TEST_F(StmtTest, SelectClauses) {
  struct Case {
    const char* sql;
    Rows want;
  };
  const Case cases[] = {
      {"select first 2 name from t order by id", {{"apple"}, {"pear"}}},
      {"select skip 1 first 2 name from t order by id", {{"pear"}, {"fig"}}},
      {"select skip 3 name from t order by id", {{"kiwi"}}},
      {"select unique qty from t where qty is not null order by qty", {{"1"}, {"3"}, {"5"}}},
      {"select name from t order by qty desc, name", {{"pear"}, {"apple"}, {"fig"}, {"kiwi"}}},
      {"select name from t order by qty", {{"kiwi"}, {"fig"}, {"apple"}, {"pear"}}},
      {"select name from t where name matches 'p*' or name like '_ig'", {{"pear"}, {"fig"}}},
      {"select name from t where rowid = 2", {{"pear"}}},
      {"select count(*), sum(price), max(d) from t", {{"4", "13.74", "03/04/2024"}}},
      {"select name from t where d between '01/01/2024' and '02/28/2024' order by 1",
       {{"apple"}, {"pear"}}},
      {"select name from t where id in (select id from t where qty > 2) order by 1 for update",
       {{"apple"}, {"pear"}}},
      {"select count(*) from t having count(*) > 3", {{"4"}}},
      {"select 'ab' from t where id = 1 union select 'longer text' from t where id = 2 order by 1",
       {{"ab"}, {"longer text"}}},
      {"select null from t where id = 1 union select qty from t where id = 2", {{"NULL"}, {"5"}}},
      {"select name from t where id = 1 having 1 = 1", {{"apple"}}},
      {"select t.name, x.name from t, outer t x where x.id = t.id + 1 and t.id > 2 order by 1",
       {{"fig", "kiwi"}, {"kiwi", "NULL"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.sql);
    EXPECT_EQ(query(c.sql), c.want);
  }
}

TEST_F(StmtTest, IntoTempMakesASessionTable) {
  ASSERT_EQ(exec("select id, name, qty * 2 dbl from t where qty > 1 into temp tt with no log"), 0)
      << ixr_sqlca()->sqlerrm;
  EXPECT_EQ(ixr_sqlca()->sqlerrd[2], 2);
  EXPECT_EQ(query("select name, dbl from tt order by id"), (Rows{{"apple", "6"}, {"pear", "10"}}));
  EXPECT_EQ(exec("select * from t into temp tt"), IXR_E_TABLE_EXISTS);
  EXPECT_EQ(exec("drop table tt"), 0);
  ASSERT_EQ(exec("create temp table tk (id serial(5), k char(3) primary key, n int default 9)"), 0);
  ASSERT_EQ(exec("insert into tk (k) values ('a'); insert into tk (k) values ('b')"), 0);
  EXPECT_EQ(ixr_sqlca()->sqlerrd[1], 6);
  EXPECT_EQ(exec("insert into tk (k) values ('a')"), IXR_E_DUPLICATE);
  EXPECT_EQ(query("select id, k, n from tk order by id"), (Rows{{"5", "a", "9"}, {"6", "b", "9"}}));
  EXPECT_EQ(scalar("select count(*) from systables where tabname = 'tk'"),
            "0");  // not in the catalog
}

TEST_F(StmtTest, WhereCurrentOfChangesTheFetchedRow) {
  int32_t s = prepare("s", "select id, name from t order by id for update");
  int32_t c = ixr_name_id("cur", IXR_ID_NEW_CURSOR);
  ASSERT_EQ(ixr_declare(c, "cur", s), 0);
  ASSERT_EQ(ixr_open(c, nullptr), 0);
  Area out(2);
  out.as(0, IXR_HOST_INT, 4).as(1, IXR_HOST_STRING, 20);
  int32_t up = prepare("up", "update t set name = ? where current of cur");
  int32_t del = prepare("del", "delete from t where current of cur");
  IxrSqlda* d = nullptr;
  EXPECT_EQ(ixr_describe(up, &d), IXR_STMT_UPDATE_CURRENT);
  ixr_free_sqlda(d);
  EXPECT_EQ(ixr_execute(up, Area(1).str(0, "none").get()),
            IXR_E_NO_CURRENT_ROW);  // no row fetched yet
  ASSERT_EQ(ixr_fetch(c, out.get()), 0);
  ASSERT_EQ(ixr_fetch(c, out.get()), 0);
  EXPECT_STREQ(out.buf(1), "pear");
  Area in(1);
  in.str(0, "PEAR");
  ASSERT_EQ(ixr_execute(up, in.get()), 0) << ixr_sqlca()->sqlerrm;
  EXPECT_EQ(ixr_sqlca()->sqlerrd[2], 1);
  ASSERT_EQ(ixr_fetch(c, out.get()), 0);
  ASSERT_EQ(ixr_execute(del, nullptr), 0);
  EXPECT_EQ(query("select name from t order by id"), (Rows{{"apple"}, {"PEAR"}, {"kiwi"}}));
}

TEST_F(StmtTest, CursorsHoldAcrossCommit) {
  ASSERT_EQ(ixr_begin_work(), 0);
  int32_t s = prepare("s", "select name from t order by id");
  int32_t c = ixr_name_id("cur", IXR_ID_NEW_CURSOR);
  ASSERT_EQ(ixr_declare(c, "cur", s), 0);
  ASSERT_EQ(ixr_open(c, nullptr), 0);
  Area out(1);
  out.as(0, IXR_HOST_STRING, 20);
  ASSERT_EQ(ixr_fetch(c, out.get()), 0);
  ASSERT_EQ(exec("insert into t (name) values ('lime')"), 0);
  ASSERT_EQ(ixr_commit_work(), 0);
  int n = 1;
  while (ixr_fetch(c, out.get()) == 0) ++n;
  EXPECT_GE(n, 4);
  EXPECT_EQ(ixr_sqlca()->sqlcode, IXR_NOTFOUND);
}

TEST_F(StmtTest, PrepareTakesSeveralStatements) {
  int32_t s = prepare(
      "s", "create table u (a integer);\ninsert into u values (1);\ninsert into u values (2)");
  ASSERT_EQ(ixr_execute(s, nullptr), 0) << ixr_sqlca()->sqlerrm;
  EXPECT_EQ(scalar("select sum(a) from u"), "3");
  // Statements after a database switch run in the new database.
  ASSERT_EQ(exec("create database other; create table u (a integer); insert into u values (7)"), 0)
      << ixr_sqlca()->sqlerrm;
  EXPECT_EQ(scalar("select sum(a) from u"), "7");
  ASSERT_EQ(exec("database db"), 0);
  EXPECT_EQ(scalar("select sum(a) from u"), "3");
}

// A comment left open swallows the rest of the statement: a syntax error, never a
// shorter statement run in its place.
TEST_F(StmtTest, AnUnterminatedCommentIsASyntaxError) {
  ASSERT_EQ(exec("create table victim (id integer); insert into victim values (4);"
                 "insert into victim values (5)"),
            0)
      << ixr_sqlca()->sqlerrm;
  for (const char* sql : {"delete from victim /* where id = 5", "delete from victim { where id = 5",
                          "delete from victim /* where id = 5 *"}) {
    SCOPED_TRACE(sql);
    EXPECT_EQ(exec(sql), IXR_E_SYNTAX);
  }
  EXPECT_EQ(scalar("select count(*) from victim"), "2");
  EXPECT_EQ(exec("delete from victim /* closed */ where id = 5 { closed too }"), 0);
  EXPECT_EQ(scalar("select count(*) from victim"), "1");
}

TEST_F(StmtTest, ExecuteReportsRowsSerialAndRowid) {
  int32_t s = prepare("s", "insert into t (id, name) values (?, ?)");
  Area in(2);
  in.i32(0, 0).str(1, "new");
  ASSERT_EQ(ixr_execute(s, in.get()), 0);
  EXPECT_EQ(ixr_sqlca()->sqlerrd[1], 5);
  EXPECT_EQ(ixr_sqlca()->sqlerrd[5], 5);
  in.i32(0, 50);
  ASSERT_EQ(ixr_execute(s, in.get()), 0);
  EXPECT_EQ(ixr_sqlca()->sqlerrd[1], 50);
  in.i32(0, 0);
  ASSERT_EQ(ixr_execute(s, in.get()), 0);
  EXPECT_EQ(ixr_sqlca()->sqlerrd[1], 51);
  int32_t u = prepare("u", "update t set qty = 7 where qty is null");
  ASSERT_EQ(ixr_execute(u, nullptr), 0);
  EXPECT_EQ(ixr_sqlca()->sqlerrd[2], 4);
  EXPECT_EQ(ixr_execute(prepare("x", "insert into t (name) values (?)"), nullptr),
            IXR_E_HOSTVAR_COUNT);
}

// The sets of one EXECUTE call: each is asked for before it runs and reported after it
// ran; the first that fails ends the call with its code and the sets before it stay done;
// a caller that has no further set ends the call without an error.
TEST_F(StmtTest, ExecuteSetsRunsEachSetUntilTheFirstFailure) {
  struct Run {
    std::vector<int32_t> ids;
    int32_t stopAt = -1;
    Area in{2};
    std::vector<int32_t> asked;
    std::vector<std::string> done;  // "set:rows:serial"
  };
  const IxrSetInput next = [](void* ctx, int32_t k, const IxrSqlda** input) {
    auto* r = static_cast<Run*>(ctx);
    r->asked.push_back(k);
    if (k == r->stopAt) return 1;
    r->in.i32(0, r->ids[static_cast<size_t>(k)]).str(1, "set");
    *input = r->in.get();
    return 0;
  };
  const IxrSetDone done = [](void* ctx, int32_t k) {
    auto* r = static_cast<Run*>(ctx);
    const IxrCommArea* ca = ixr_sqlca();
    r->done.push_back(std::to_string(k) + ":" + std::to_string(ca->sqlerrd[2]) + ":" +
                      std::to_string(ca->sqlerrd[1]));
  };
  const int32_t s = prepare("s", "insert into t (id, name) values (?, ?)");
  for (bool inTxn : {false, true}) {
    SCOPED_TRACE(inTxn ? "in a transaction" : "each set on its own");
    ASSERT_EQ(exec("delete from t where id >= 10"), 0);
    if (inTxn) {
      ASSERT_EQ(exec("begin work"), 0);
    }
    Run failing;
    failing.ids = {10, 11, 10, 12};
    EXPECT_LT(ixr_execute_sets(s, 4, next, done, &failing), 0);
    EXPECT_EQ(failing.asked, (std::vector<int32_t>{0, 1, 2}));
    EXPECT_EQ(failing.done, (std::vector<std::string>{"0:1:10", "1:1:11"}));
    Run stopped;
    stopped.ids = {20, 21, 22};
    stopped.stopAt = 2;
    EXPECT_EQ(ixr_execute_sets(s, 3, next, done, &stopped), 0);
    EXPECT_EQ(stopped.done, (std::vector<std::string>{"0:1:20", "1:1:21"}));
    if (inTxn) {
      ASSERT_EQ(exec("commit work"), 0);
    }
    EXPECT_EQ(scalar("select count(*) from t where id >= 10"), "4");
  }
  EXPECT_EQ(ixr_execute_sets(12345, 1, next, done, nullptr), IXR_E_NOT_PREPARED);
}

TEST_F(StmtTest, FreeForgetsNamesAndReprepareReplaces) {
  prepare("s", "select 1 from t");
  EXPECT_EQ(ixr_free("s"), 0);
  EXPECT_EQ(ixr_name_id("s", IXR_ID_STATEMENT), 0);
  EXPECT_EQ(ixr_sqlca()->sqlcode, IXR_E_NOT_PREPARED);
  EXPECT_EQ(ixr_free("s"), IXR_E_NOT_AVAILABLE);
  int32_t a = prepare("s", "select name from t");
  int32_t b = prepare("s", "select id from t");
  EXPECT_EQ(a, b);
  IxrSqlda* d = nullptr;
  ixr_describe(b, &d);
  EXPECT_STREQ(d->sqlvar[0].sqlname, "id");
  ixr_free_sqlda(d);
}

std::string repeat(const char* s, int n) {
  std::string r;
  for (int k = 0; k < n; ++k) r += s;
  return r;
}

// Nesting past the server's limit is refused before any recursive walk can exhaust the
// stack, whatever builds it; a statement just inside the limit still runs. All of it on
// a 256 KB stack.
TEST_F(StmtTest, DeepNestingIsTooComplexAndTheLimitRunsOnASmallStack) {
  const int deep = 20000;
  const std::vector<std::string> refused = {
      "select " + repeat("(", deep) + "1" + repeat(")", deep) + " from t",
      "select " + repeat("(", deep),
      "select id from t where " + repeat("not ", deep) + "id = 1",
      "select " + repeat("- ", deep) + "id from t",
      "select 1" + repeat(" + 1", deep) + " from t",
      "select id from t where id = 1" + repeat(" or id = 2", deep),
      "select id from t where id in " + repeat("(select id from t where id in ", deep) + "(1)" +
          repeat(")", deep),
      "select " + repeat("abs(", deep) + "1" + repeat(")", deep) + " from t",
      "select id from " + repeat("(select id from ", deep) + "t" + repeat(")", deep),
  };
  // The query and the literal take a level each.
  const int inside = 98;
  const std::string atLimit =
      "select " + repeat("(", inside) + "id" + repeat(")", inside) + " from t where id = 1";
  ASSERT_EQ(ixr_set_connection("c1", 1), 0);
  onSmallStack(256 * 1024, [&] {
    ASSERT_EQ(ixr_set_connection("c1", 0), 0);
    for (const auto& sql : refused)
      EXPECT_EQ(ixr_prepare("deep", sql.c_str()), IXR_E_TOO_COMPLEX) << sql.substr(0, 60);
    EXPECT_EQ(scalar(atLimit), "1");
    // A chain of conditions as long as the limit allows: the query and each OR take a level.
    EXPECT_EQ(scalar("select id from t where id = 1" + repeat(" or id = 0", 97)), "1");
    EXPECT_EQ(ixr_prepare("deep", ("select (" + atLimit + ") from t").c_str()),
              IXR_E_TOO_COMPLEX);
    ASSERT_EQ(ixr_set_connection("c1", 1), 0);
  });
  ASSERT_EQ(ixr_set_connection("c1", 0), 0);
}

// Integer literals of any length where the translator reads their value (ordinals,
// lengths, scales) are refused or taken at their limit, never an exception.
TEST_F(StmtTest, HugeIntegerLiteralsWhereAValueIsRead) {
  const std::string huge(60, '4');
  EXPECT_EQ(ixr_prepare("h", ("select id from t order by " + huge).c_str()), IXR_E_SYNTAX);
  for (const std::string& sql :
       {"select name[1," + huge + "] from t", "select substr(name, 1, " + huge + ") from t",
        "select lpad(name, " + huge + ", 'x') from t", "select round(price, " + huge + ") from t"}) {
    SCOPED_TRACE(sql);
    int rc = ixr_prepare("h", sql.c_str());
    EXPECT_EQ(rc, 0) << ixr_sqlca()->sqlerrm;
  }
}

class FetchAllocTest : public IxrTest {};

TEST_F(FetchAllocTest, NoHeapMemoryPerRow) {
  makeDb();
  ASSERT_EQ(exec("create table r (i integer, v varchar(20), d decimal(10,2), dt date, f float, "
                 "ts datetime year to second, iv interval day to second, c char(30), s smallint)"),
            0);
  ASSERT_EQ(ixr_prepare("ins",
                        "insert into r values (?, 'name', 12.5, today, 1.5, current, "
                        "interval(1 02:03:04) day to second, 'padded text', 3)"),
            0);
  int32_t ins = ixr_name_id("ins", IXR_ID_STATEMENT);
  Area in(1);
  for (int k = 0; k < 200; ++k) ASSERT_EQ(ixr_execute(ins, in.i32(0, k).get()), 0);
  ASSERT_EQ(ixr_prepare("sel", "select i, v, d, dt, f, ts, iv, c, s, i, dt, f from r"), 0);
  int32_t cur = ixr_name_id("cur", IXR_ID_NEW_CURSOR);
  ASSERT_EQ(ixr_declare(cur, "cur", ixr_name_id("sel", IXR_ID_STATEMENT)), 0);
  ASSERT_EQ(ixr_open(cur, nullptr), 0);
  Area out(12);
  out.as(0, IXR_HOST_INT, 4)
      .as(1, IXR_HOST_STRING, 32)
      .as(2, IXR_HOST_STRING, 32)
      .as(3, IXR_HOST_DATE, 4);
  out.as(4, IXR_HOST_DOUBLE, 8)
      .as(5, IXR_HOST_DATETIME, sizeof(IxrDateTime))
      .as(6, IXR_HOST_STRING, 32);
  out.as(7, IXR_HOST_FIXCHAR, 30)
      .as(8, IXR_HOST_SHORT, 2)
      .as(9, IXR_HOST_STRING, 16)
      .as(10, IXR_HOST_STRING, 16);
  out.as(11, IXR_HOST_STRING, 32);
  reinterpret_cast<IxrDateTime*>(out.buf(5))->qual = IXR_QUAL_YEAR_TO_F5;
  ASSERT_EQ(ixr_fetch(cur, out.get()), 0);  // the first row may set up what the rest reuse
  g_news = 0;
  g_counting = true;
  int rows = 1;
  while (ixr_fetch(cur, out.get()) == 0) ++rows;
  g_counting = false;
  EXPECT_EQ(rows, 200);
  EXPECT_EQ(g_news.load(), 0);
  EXPECT_STREQ(out.buf(6), "1 02:03:04");
}

}  // namespace
}  // namespace ixrtest
