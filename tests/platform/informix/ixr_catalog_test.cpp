// The system catalog of the embedded server after DDL: tables, columns with their codes
// and lengths, defaults, indexes and constraints, references, privileges, procedures,
// views, synonyms, users and sysmaster's list of databases.
#include "tests/platform/informix/ixr_fixture.h"

namespace ixrtest {
namespace {

class CatalogTest : public IxrTest {
 protected:
  void SetUp() override {
    IxrTest::SetUp();
    ixr_conninfo()->user = "alice";
    makeDb("cat", "log");
  }
};

TEST_F(CatalogTest, CatalogDescribesItself) {
  EXPECT_EQ(
      query(
          "select tabname, owner, tabtype from systables where tabid in (1, 2, 99) order by tabid"),
      (Rows{{"systables", "informix", "T"},
            {"syscolumns", "informix", "T"},
            {" VERSION", "informix", ""}}));
  EXPECT_EQ(scalar("select count(*) from systables where tabid < 100 and tabtype = 'T'"), "17");
  EXPECT_EQ(
      query("select colname, coltype, collength from syscolumns where tabid = 1 and colno <= 2"),
      (Rows{{"tabname", "13", "128"}, {"owner", "0", "32"}}));
  EXPECT_EQ(query("select username, usertype from sysusers"), (Rows{{"alice", "D"}}));
}

TEST_F(CatalogTest, KeptDescriptionsFollowOtherConnections) {
  ASSERT_EQ(exec("create table t (a integer, b char(4))"), 0);
  ASSERT_EQ(exec("insert into t values (1, 'x')"), 0);
  ASSERT_EQ(exec("create synonym s for t"), 0);
  EXPECT_EQ(query("select b from s"), (Rows{{"x"}}));
  // Another connection drops the synonym: catalog rows only, no SQLite DDL.
  ASSERT_EQ(ixr_connect("cat@srv", "c2"), 0);
  ASSERT_EQ(exec("drop synonym s"), 0);
  ASSERT_EQ(ixr_set_connection("c1", 0), 0);
  int rc = 0;
  query("select b from s", nullptr, &rc);
  EXPECT_EQ(rc, IXR_E_NO_TABLE);
  // And a column added there is seen here.
  ASSERT_EQ(ixr_set_connection("c2", 0), 0);
  ASSERT_EQ(exec("alter table t add (c integer)"), 0);
  ASSERT_EQ(ixr_set_connection("c1", 0), 0);
  EXPECT_EQ(query("select * from t"), (Rows{{"1", "x", "NULL"}}));
}

// Catalog rows that this connection writes and then takes back, or edits by hand, never
// move SQLite's schema: what was read from them must still be dropped.
TEST_F(CatalogTest, KeptDescriptionsFollowOwnRollbacksAndCatalogEdits) {
  ASSERT_EQ(exec("create table t (a integer)"), 0);
  ASSERT_EQ(exec("insert into t values (7)"), 0);
  ASSERT_EQ(exec("begin work"), 0);
  ASSERT_EQ(exec("create synonym s for t"), 0);
  EXPECT_EQ(query("select a from s"), (Rows{{"7"}}));
  ASSERT_EQ(exec("rollback work"), 0);
  int rc = 0;
  query("select a from s", nullptr, &rc);
  EXPECT_EQ(rc, IXR_E_NO_TABLE);

  // Dropped inside a transaction that is rolled back: the synonym is there again.
  ASSERT_EQ(exec("create synonym s for t"), 0);
  EXPECT_EQ(query("select a from s"), (Rows{{"7"}}));
  ASSERT_EQ(exec("begin work"), 0);
  ASSERT_EQ(exec("drop synonym s"), 0);
  query("select a from s", nullptr, &rc);
  EXPECT_EQ(rc, IXR_E_NO_TABLE);
  ASSERT_EQ(exec("rollback work"), 0);
  EXPECT_EQ(query("select a from s"), (Rows{{"7"}}));

  // By hand: the synonym's systables row deleted with plain DML.
  ASSERT_EQ(exec("delete from systables where tabname = 's'"), 0);
  query("select a from s", nullptr, &rc);
  EXPECT_EQ(rc, IXR_E_NO_TABLE);
}

TEST_F(CatalogTest, CreateTableWritesColumnsDefaultsAndConstraints) {
  ASSERT_EQ(exec("create table parent (k serial not null, code char(4) default 'ab', "
                 "amt decimal(10,2) default 1.5, ts datetime year to second, "
                 "d date default today, who char(20) default user, n varchar(30,5) default null, "
                 "lv lvarchar(200), primary key (k) constraint pk_parent, unique (code))"),
            0)
      << ixr_sqlca()->sqlerrm;
  ASSERT_EQ(exec("create table child (id integer not null, pk integer references parent (k), "
                 "qty smallint check (qty > 0) constraint qty_pos)"),
            0)
      << ixr_sqlca()->sqlerrm;
  EXPECT_EQ(
      query(
          "select tabid, owner, tabtype, ncols, nindexes from systables where tabname = 'parent'"),
      (Rows{{"100", "alice", "T", "8", "2"}}));
  EXPECT_EQ(
      query("select colname, coltype, collength from syscolumns where tabid = 100 order by colno"),
      (Rows{{"k", "262", "4"},
            {"code", "0", "4"},
            {"amt", "5", "2562"},
            {"ts", "10", "3594"},
            {"d", "7", "4"},
            {"who", "0", "20"},
            {"n", "13", "1310"},
            {"lv", "40", "200"}}));
  EXPECT_EQ(query("select colno, type, default from sysdefaults where tabid = 100 order by colno"),
            (Rows{{"2", "L", "ab"},
                  {"3", "L", "1.5"},
                  {"5", "T", "NULL"},
                  {"6", "U", "NULL"},
                  {"7", "N", "NULL"}}));
  EXPECT_EQ(
      query("select constrname, constrtype, idxname from sysconstraints where tabid = 100 order by "
            "constrid"),
      (Rows{{"n100_1", "N", "NULL"}, {"pk_parent", "P", " 100_2"}, {"u100_3", "U", " 100_3"}}));
  EXPECT_EQ(query("select idxname, idxtype, part1, part2 from sysindexes where tabid = 100 order "
                  "by idxname"),
            (Rows{{" 100_2", "U", "1", "0"}, {" 100_3", "U", "2", "0"}}));
  EXPECT_EQ(
      query("select c.constrtype, r.ptabid, p.constrname from sysconstraints c, sysreferences r, "
            "sysconstraints p where c.tabid = 101 and r.constrid = c.constrid and p.constrid = "
            "r.primary"),
      (Rows{{"R", "100", "pk_parent"}}));
  EXPECT_EQ(
      query("select checktext from syschecks k, sysconstraints c where c.constrname = 'qty_pos' "
            "and k.constrid = c.constrid"),
      (Rows{{"qty > 0"}}));
  EXPECT_EQ(query("select grantee, tabauth from systabauth where tabid = 100"),
            (Rows{{"public", "su-idx---"}}));
  // The defaults and constraints work.
  ASSERT_EQ(exec("insert into parent (k) values (0)"), 0) << ixr_sqlca()->sqlerrm;
  EXPECT_EQ(query("select code, amt, who, d = today from parent"),
            (Rows{{"ab", "1.50", "alice", "1"}}));
  EXPECT_EQ(exec("insert into parent (code) values ('ab')"), IXR_E_UNIQUE);
  EXPECT_STREQ(ixr_sqlca()->sqlerrm, "u100_3");
  EXPECT_EQ(ixr_sqlca()->sqlerrd[1], IXR_ISAM_DUPLICATE);
  EXPECT_EQ(exec("insert into child values (1, 99, 1)"), IXR_E_REF_MISSING);
  EXPECT_EQ(exec("insert into child values (1, 1, 0)"), IXR_E_CHECK);
  EXPECT_STREQ(ixr_sqlca()->sqlerrm, "qty_pos");
  EXPECT_EQ(exec("insert into child values (null, 1, 1)"), IXR_E_NOT_NULL);
  ASSERT_EQ(exec("insert into child values (1, 1, 1)"), 0);
  EXPECT_EQ(exec("delete from parent"), IXR_E_REF_IN_USE);
}

TEST_F(CatalogTest, IndexesViewsSynonymsAndProcedures) {
  ASSERT_EQ(exec("create table t (a int, b char(3), c date)"), 0);
  ASSERT_EQ(exec("create unique index ix_ab on t (a, b desc)"), 0) << ixr_sqlca()->sqlerrm;
  ASSERT_EQ(exec("create index ix_c on t (c)"), 0);
  EXPECT_EQ(exec("create index ix_c on t (a)"), IXR_E_INDEX_EXISTS);
  EXPECT_EQ(query("select idxname, owner, idxtype, part1, part2 from sysindexes where tabid = 100 "
                  "order by 1"),
            (Rows{{"ix_ab", "alice", "U", "1", "2"}, {"ix_c", "alice", "D", "3", "0"}}));
  ASSERT_EQ(exec("insert into t values (1, 'x', today)"), 0);
  EXPECT_EQ(exec("insert into t values (1, 'x', today)"), IXR_E_DUPLICATE);
  EXPECT_STREQ(ixr_sqlca()->sqlerrm, "ix_ab");
  ASSERT_EQ(exec("drop index ix_c"), 0);
  EXPECT_EQ(exec("drop index ix_c"), IXR_E_NO_INDEX);

  ASSERT_EQ(exec("create view v (x, y) as select a, b from t where a > 0"), 0)
      << ixr_sqlca()->sqlerrm;
  EXPECT_EQ(query("select tabtype, ncols from systables where tabname = 'v'"), (Rows{{"V", "2"}}));
  EXPECT_EQ(query("select colname, coltype from syscolumns c, systables t where t.tabname = 'v' "
                  "and c.tabid = t.tabid order by colno"),
            (Rows{{"x", "2"}, {"y", "0"}}));
  EXPECT_EQ(scalar("select viewtext from sysviews where seqno = 0"),
            "create view v (x, y) as select a, b from t where a > 0");
  EXPECT_EQ(query("select x, y from v"), (Rows{{"1", "x"}}));

  ASSERT_EQ(exec("create synonym s for t"), 0);
  ASSERT_EQ(exec("create private synonym ps for t"), 0);
  EXPECT_EQ(query("select tabname, tabtype from systables where tabname in ('s', 'ps') order by 1"),
            (Rows{{"ps", "S"}, {"s", "P"}}));
  EXPECT_EQ(query("select s.tabname, s.btabid from syssyntable s, systables t where t.tabid = "
                  "s.tabid and t.tabname = 's'"),
            (Rows{{"t", "100"}}));
  EXPECT_EQ(scalar("select b from s"), "x");

  std::string body =
      "create procedure addone(x integer) returning integer;\n  return x + 1;\nend procedure";
  body.insert(body.find("return x"), std::string(300, ' '));
  ASSERT_EQ(exec(body), 0) << ixr_sqlca()->sqlerrm;
  EXPECT_EQ(query("select procname, owner, numargs from sysprocedures"),
            (Rows{{"addone", "alice", "1"}}));
  Rows chunks =
      query("select seqno, char_length(data) from sysprocbody where datakey = 'T' order by seqno");
  ASSERT_EQ(chunks.size(), 2u);
  EXPECT_EQ(chunks[0], (std::vector<std::string>{"1", "256"}));
  EXPECT_EQ(ixr_prepare("e", "execute procedure nope(1)"), IXR_E_NO_ROUTINE);
  ASSERT_EQ(exec("drop procedure addone"), 0);
  EXPECT_EQ(scalar("select count(*) from sysprocbody"), "0");

  ASSERT_EQ(exec("drop table t"), 0);
  EXPECT_EQ(scalar("select count(*) from systables where tabname in ('t', 'v')"), "0");
  EXPECT_EQ(scalar("select count(*) from syscolumns where tabid >= 100"), "0");
}

TEST_F(CatalogTest, GrantAndRevokeKeepPrivilegeLetters) {
  ASSERT_EQ(exec("create table t (a int, b int)"), 0);
  ASSERT_EQ(exec("grant select, update on t to bob with grant option"), 0) << ixr_sqlca()->sqlerrm;
  ASSERT_EQ(exec("grant insert on t to bob"), 0);
  ASSERT_EQ(exec("grant update (b) on t to carol"), 0);
  EXPECT_EQ(query("select grantor, grantee, tabauth from systabauth where grantee <> 'public' "
                  "order by grantee"),
            (Rows{{"alice", "bob", "SU-i-----"}, {"alice", "carol", "--*------"}}));
  EXPECT_EQ(query("select grantee, colno, colauth from syscolauth"), (Rows{{"carol", "2", "-u-"}}));
  ASSERT_EQ(exec("revoke update on t from bob"), 0);
  EXPECT_EQ(scalar("select tabauth from systabauth where grantee = 'bob'"), "S--i-----");
  ASSERT_EQ(exec("grant resource to bob"), 0);
  EXPECT_EQ(scalar("select usertype from sysusers where username = 'bob'"), "R");
}

TEST_F(CatalogTest, AlterTableRewritesTheDescription) {
  ASSERT_EQ(exec("create table t (a int, b char(4), c int)"), 0);
  ASSERT_EQ(exec("insert into t values (1, 'x', 3)"), 0);
  ASSERT_EQ(exec("alter table t add (d decimal(5,1) default 2 before b), drop c, modify b "
                 "varchar(10) not null"),
            0)
      << ixr_sqlca()->sqlerrm;
  EXPECT_EQ(query("select colname, colno, coltype, collength from syscolumns where tabid = 100 "
                  "order by colno"),
            (Rows{{"a", "1", "2", "4"}, {"d", "2", "5", "1281"}, {"b", "3", "269", "10"}}));
  EXPECT_EQ(query("select a, d, b || '|' from t"),
            (Rows{{"1", "2.0", "x   |"}}));  // existing rows take the default
  EXPECT_EQ(exec("insert into t (a, b) values (2, 'y')"), 0);
  EXPECT_EQ(scalar("select d from t where a = 2"), "2.0");
  ASSERT_EQ(exec("alter table t add constraint unique (a) constraint ua"), 0)
      << ixr_sqlca()->sqlerrm;
  EXPECT_EQ(exec("insert into t (a, b) values (2, 'z')"), IXR_E_UNIQUE);
  ASSERT_EQ(exec("alter table t drop constraint ua"), 0);
  ASSERT_EQ(exec("rename column t.d to dd"), 0);
  ASSERT_EQ(exec("rename table t to t2"), 0);
  EXPECT_EQ(scalar("select count(dd) from t2"), "2");
  EXPECT_EQ(exec("select * from t"), IXR_E_NO_TABLE);
}

TEST_F(CatalogTest, SysmasterListsTheServersDatabases) {
  ASSERT_EQ(exec("create database other with log mode ansi"), 0);
  ASSERT_EQ(exec("database cat"), 0);
  EXPECT_EQ(
      query("select name, owner, is_logging, is_ansi from sysmaster:sysdatabases order by name"),
      (Rows{{"cat", "alice", "1", "0"}, {"other", "alice", "1", "1"}}));
  EXPECT_EQ(query("select name from sysmaster:'informix'.sysdatabases where name = 'other'"),
            (Rows{{"other"}}));
  ASSERT_EQ(exec("drop database other"), 0);
  EXPECT_EQ(scalar("select count(*) from sysmaster:sysdatabases"), "1");
  EXPECT_EQ(exec("drop database cat"), IXR_E_DATABASE_IN_USE);
}

}  // namespace
}  // namespace ixrtest
