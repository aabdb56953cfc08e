// inf_connect_test.cpp -- the agent's connections over the embedded runtime:
// connect, transactions by database kind and autocommit, isolation, and
// sessions used from several connections and threads.

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

#include "agent_support.h"
#include "drv/errtab.h"
#include "drv_inf/inf_connect.h"
#include "drv_inf/inf_esql.h"
#include "platform/informix/ixr_api.h"

namespace {

using Agent = AgentTest;

struct TxnCase {
  const char* db;
  bool noac;
  const char* sql;
  const char* txn;  // B begin, C commit, R rollback, I isolation
  bool failExecute = false;
};

// The transaction statements the agent issues around one statement.
TEST_F(Agent, TransactionsFollowDatabaseKindAndAutocommit) {
  const char* ddl = "create table d (a integer)";  // numbered per case below
  const char* dml = "insert into t values (100, 'x')";
  const char* sel = "select a from t";
  // A searched DELETE that finds no row answers ERR_NO_DATA in every kind.
  const char* none = "delete from t where a = -1";
  const TxnCase cases[] = {
      {"nolog@ol_test", false, ddl, ""},
      {"nolog@ol_test", false, dml, ""},
      {"nolog@ol_test", true, dml, ""},
      {"nolog@ol_test", false, dml, "", true},
      {"nolog@ol_test", false, none, ""},
      {"logged@ol_test", false, ddl, "BC"},
      {"logged@ol_test", false, dml, "BC"},
      {"logged@ol_test", false, sel, ""},
      {"logged@ol_test", false, "begin work", "B"},
      {"logged@ol_test", false, "commit work", ""},
      {"logged@ol_test", false, dml, "BR", true},
      {"logged@ol_test", false, none, "BC"},
      {"logged@ol_test", true, ddl, "B"},
      {"logged@ol_test", true, dml, "B"},
      {"logged@ol_test", true, sel, ""},
      {"logged@ol_test", true, "begin work", "B"},
      {"logged@ol_test", true, "commit work", ""},
      {"logged@ol_test", true, dml, "B", true},
      {"ansi@ol_test", false, ddl, "C"},
      {"ansi@ol_test", false, dml, "C"},
      {"ansi@ol_test", false, sel, "C"},
      {"ansi@ol_test", false, "begin work", "R"},
      {"ansi@ol_test", false, "commit work", "CR"},
      {"ansi@ol_test", false, dml, "R", true},
      {"ansi@ol_test", false, none, "C"},
      {"ansi@ol_test", true, ddl, ""},
      {"ansi@ol_test", true, dml, ""},
      {"ansi@ol_test", true, sel, ""},
      {"ansi@ol_test", true, "begin work", ""},
      {"ansi@ol_test", true, "commit work", "C"},
      {"ansi@ol_test", true, dml, "", true},
  };
  for (const TxnCase& c : cases) {
    SCOPED_TRACE(testing::Message() << c.db << (c.noac ? " NOAC " : " ") << c.sql
                                    << (c.failExecute ? " (fails)" : ""));
    DrvHandle conn = connect(c.db, c.noac);
    std::string sql = c.sql;
    if (sql == ddl) sql = "create table d" + std::to_string(&c - cases) + " (a integer)";
    ixr_test_record(true);
    if (c.failExecute) ixr_test_fail_next(-239, -100, "EXECUTE");
    int32_t rc = exec(conn, sql.c_str());
    // The injected duplicate key is an integrity violation.
    EXPECT_EQ(rc, c.failExecute ? ERR_INTEGRITY : c.sql == none ? ERR_NO_DATA : 0);
    EXPECT_EQ(txnCalls(), c.txn);
    ixr_test_record(false);
    EXPECT_EQ(INF_EndConnect(conn), 0);
  }
}

TEST_F(Agent, ConnectSetsUpTheSession) {
  char path[] = "/tmp/kes-initsql-XXXXXX.sql";
  int fd = mkstemps(path, 4);
  ASSERT_GE(fd, 0);
  std::string longName(600, 'c');
  // One statement on a line of more than 511 characters, one over three lines.
  std::string columns;
  for (int i = 0; i < 60; ++i) columns += (i ? ", c" : "c") + std::to_string(i) + " integer";
  std::string sql = "# set up\ncreate table " + longName.substr(0, 100) + " (a integer, " +
                    columns + ");\n\n" + "insert into " + longName.substr(0, 100) +
                    " (a)\nvalues (1)\n;\n";
  ASSERT_GT(sql.find(");"), 600u);
  ASSERT_EQ(write(fd, sql.data(), sql.size()), static_cast<ssize_t>(sql.size()));
  close(fd);

  struct Case {
    ConnectArgs args;
    const char* ops;  // the runtime operations of the connect, in order
  };
  ConnectArgs plain;
  ConnectArgs noac;
  noac.noac = true;
  ConnectArgs ansiNoac;
  ansiNoac.dbpath = "ansi@ol_test";
  ansiNoac.noac = true;
  ConnectArgs se;
  se.dbpath = "logged@se_test";
  ConnectArgs init;
  init.dbpath = "nolog@ol_test";
  init.initSql = path;
  const Case cases[] = {
      {plain, "CONNECT,STATIC,EXECUTE IMMEDIATE,SET CONNECTION"},
      {noac, "CONNECT,STATIC,EXECUTE IMMEDIATE,SET CONNECTION"},
      {ansiNoac, "CONNECT,ROLLBACK WORK,STATIC,EXECUTE IMMEDIATE,SET CONNECTION"},
      {se, "CONNECT,EXECUTE IMMEDIATE,SET CONNECTION"},
      {init, "CONNECT,EXECUTE IMMEDIATE,EXECUTE IMMEDIATE,EXECUTE IMMEDIATE,SET CONNECTION"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args.dbpath + std::string(c.args.noac ? " NOAC" : "") +
                 (c.args.initSql ? " INITSQL" : ""));
    ixr_test_record(true);
    DrvHandle conn = 0;
    ASSERT_EQ(connect(c.args, &conn), 0);
    std::string ops;
    for (const std::string& op : calls()) ops += (ops.empty() ? "" : ",") + op;
    EXPECT_EQ(ops, c.ops);
    ixr_test_record(false);
    InfConn* ic = InfConnLookup(conn);
    EXPECT_EQ(ic->autocommit, c.args.noac || std::string(c.args.dbpath) == "nolog@ol_test" ? 0 : 1);
    EXPECT_EQ(ic->session->dormant, 1);
    EXPECT_EQ(INF_EndConnect(conn), 0);
  }
  // The initial statements ran whole, the one over several lines included.
  DrvHandle conn = connect("nolog@ol_test");
  DrvHandle cur = 0;
  ASSERT_EQ(exec(conn, ("select a from " + longName.substr(0, 100)).c_str(), &cur), 0);
  Dataset ds{};
  ASSERT_EQ(Fetch(cur, 10, &ds), 0);
  EXPECT_EQ(ds.rowCount, 1);
  DatasetFree(&ds);
  unlink(path);
}

// Initial SQL that fails does not stop the connect; each failure is left on the new
// connection as a warning naming the file and line, with the statement's own error.
TEST_F(Agent, InitialSqlFailuresAreLeftAsWarnings) {
  char path[] = "/tmp/kes-initsql-XXXXXX.sql";
  int fd = mkstemps(path, 4);
  ASSERT_GE(fd, 0);
  const std::string sql = "# set up\ncreate table w1 (a integer);\nselect nonsense from nowhere;\n\n"
                          "insert into w1\nvalues (1);\ninsert into w1 values (";
  ASSERT_EQ(write(fd, sql.data(), sql.size()), static_cast<ssize_t>(sql.size()));
  close(fd);
  const std::string missing = std::string(path) + ".gone";
  struct Case {
    const char* file;
    std::vector<std::string> parts;  // what each warning holds, in order
  } cases[] = {
      {path, {std::string(path) + " line 3: ", "(-206)", " line 7: "}},
      {missing.c_str(), {missing + " cannot be read"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    ConnectArgs args;
    args.dbpath = "nolog@ol_test";
    args.initSql = c.file;
    DrvHandle conn = 0;
    ASSERT_EQ(connect(args, &conn), 0);
    std::vector<std::string> e = errors(conn);
    std::string all;
    for (const std::string& m : e) {
      EXPECT_NE(m.find("[SQLSTATE:01000]"), std::string::npos) << m;
      all += m + "\n";
    }
    size_t at = 0;
    for (const std::string& part : c.parts) {
      at = all.find(part, at);
      EXPECT_NE(at, std::string::npos) << part << " in " << all;
    }
    EXPECT_EQ(INF_EndConnect(conn), 0);
  }
  // The statements that could run did.
  DrvHandle conn = connect("nolog@ol_test");
  DrvHandle cur = 0;
  ASSERT_EQ(exec(conn, "select a from w1", &cur), 0);
  Dataset ds{};
  ASSERT_EQ(Fetch(cur, 10, &ds), 0);
  EXPECT_EQ(ds.rowCount, 1);
  DatasetFree(&ds);
  unlink(path);
}

TEST_F(Agent, ConnectFailuresReportTheirState) {
  struct Case {
    ConnectArgs args;
    const char* state;
  };
  ConnectArgs noServer;
  noServer.dbpath = "logged@no_such_server";
  ConnectArgs noDb;
  noDb.dbpath = "no_such_db@ol_test";
  ConnectArgs badPw;
  badPw.dbpath = "logged@pw_test";
  badPw.uid = "Alice";
  badPw.pwd = "wrong";
  for (const Case& c : {Case{noServer, "08001"}, Case{noDb, "S1000"}, Case{badPw, "28000"}}) {
    SCOPED_TRACE(c.args.dbpath);
    DrvHandle conn = 0;
    EXPECT_EQ(connect(c.args, &conn), ERR_CONN_REJECTED);
    EXPECT_EQ(conn, 0u);
    std::vector<std::string> e = errors(server_);
    ASSERT_FALSE(e.empty());
    EXPECT_NE(e[0].find(std::string("[SQLSTATE:") + c.state + "]"), std::string::npos) << e[0];
    EXPECT_EQ(e[0].rfind("[Informix Server]", 0), 0u) << e[0];
    EXPECT_TRUE(errors(server_).empty());
  }
}

TEST_F(Agent, CredentialsAndPathReachTheServerWhole) {
  char path[] = "logged@pw_test";
  ConnectArgs args;
  args.dbpath = path;
  args.uid = "AVeryLongUserNameOfThirtyChars";
  args.pwd = "APasswordLongerThanEighteen";
  args.dbopts = "-Z odd -H somehost -S other_server";
  DrvHandle conn = 0;
  ASSERT_EQ(connect(args, &conn), 0);
  EXPECT_STREQ(path, "logged@pw_test");
  InfSession* s = sessionOf(conn);
  EXPECT_STREQ(s->server, "pw_test");
  EXPECT_STREQ(s->host, "somehost");
  EXPECT_STREQ(s->database, "logged");
}

TEST_F(Agent, UserNameAndCatalogSwitch) {
  ConnectArgs args;
  args.dbpath = "logged@pw_test";
  args.uid = "Alice";
  args.pwd = "secret";
  DrvHandle conn = 0;
  ASSERT_EQ(connect(args, &conn), 0);
  char user[32] = {};
  uint16_t len = 0;
  ASSERT_EQ(INF_GetInfo(conn, DRVP_GETINFO_TEXT + SQL_USER_NAME, user, sizeof user, &len), 0);
  EXPECT_STREQ(user, "alice");
  EXPECT_STREQ(sessionOf(conn)->user, "Alice");

  int32_t iso = 8;
  int32_t off = 0;
  ASSERT_EQ(INF_SetOption(conn, DRVP_AUTOCOMMIT, &off), 0);
  ASSERT_EQ(INF_SetOption(conn, DRVP_TXN_ISOLATION, &iso), 0);
  ixr_test_record(true);
  ASSERT_EQ(INF_SetOption(conn, DRVP_CURRENT_CATALOG, "other"), 0);
  EXPECT_EQ(calls(),
            (std::vector<std::string>{"DISCONNECT", "CONNECT", "STATIC", "EXECUTE IMMEDIATE"}));
  EXPECT_STREQ(sessionOf(conn)->database, "other");

  // The new database is refused and so is the way back: the link is gone.
  ixr_test_fail_next(-908, 0, "CONNECT");
  ixr_test_fail_next(-908, 0, "CONNECT");
  EXPECT_EQ(INF_SetOption(conn, DRVP_CURRENT_CATALOG, "logged"), ERR_COMM_LINK);
}

TEST_F(Agent, AutocommitAndIsolationKeepTheWorkAndReportWhatRuns) {
  DrvHandle conn = connect("logged@ol_test", true);
  ASSERT_EQ(exec(conn, "insert into t values (50, 'pending')"), 0);
  ixr_test_record(true);
  int32_t off = 0;
  int32_t on = 1;
  EXPECT_EQ(INF_SetOption(conn, DRVP_AUTOCOMMIT, &off), 0);
  EXPECT_EQ(txnCalls(), "");
  EXPECT_EQ(exec(conn, "begin work"), ERR_TXN_STATE);
  EXPECT_EQ(INF_SetOption(conn, DRVP_AUTOCOMMIT, &on), 0);
  EXPECT_EQ(txnCalls(), "C");

  int32_t iso = 8;
  int32_t got = 0;
  ixr_test_record(true);
  EXPECT_EQ(INF_SetOption(conn, DRVP_TXN_ISOLATION, &iso), ERR_OPTION_CHANGED);
  ASSERT_EQ(INF_GetInfo(conn, DRVP_TXN_ISOLATION, &got, 4, nullptr), 0);
  EXPECT_EQ(got, 2);
  EXPECT_EQ(INF_SetOption(conn, DRVP_AUTOCOMMIT, &off), 0);
  ASSERT_EQ(INF_GetInfo(conn, DRVP_TXN_ISOLATION, &got, 4, nullptr), 0);
  EXPECT_EQ(got, 8);
  EXPECT_EQ(calls(true), (std::vector<std::string>{"STATIC set isolation to committed read",
                                                   "STATIC set isolation to repeatable read"}));
}

// Each statement of two connections used in turn must run on its own session.
TEST_F(Agent, InterleavedConnectionsRunOnTheirOwnSessions) {
  for (bool forceDormant : {false, true}) {
    SCOPED_TRACE(forceDormant ? "FORCEDORMANT" : "plain");
    restartAgent(forceDormant);
    DrvHandle c1 = connect("logged@ol_test");
    DrvHandle c2 = connect("nolog@ol_test");
    const std::string s1 = sessionOf(c1)->name;
    const std::string s2 = sessionOf(c2)->name;
    // A cursor kept on each connection keeps its session from going dormant
    // between statements (the last cursor's end would do that).
    DrvHandle keep1 = 0;
    DrvHandle keep2 = 0;
    ASSERT_EQ(INF_AllocCursor(c1, &keep1), 0);
    ASSERT_EQ(INF_AllocCursor(c2, &keep2), 0);
    ixr_test_record(true);
    auto expectOn = [&](DrvHandle conn, const std::string& name) {
      ixr_test_record(true);
      ASSERT_EQ(exec(conn, "insert into t values (77, 'x')"), 0);
      for (const IxrCall& c : ixr_test_calls()) {
        if (c.op == "PREPARE" || c.op == "EXECUTE") {
          EXPECT_EQ(c.connection, name) << c.op;
        }
      }
    };
    expectOn(c1, s1);
    expectOn(c2, s2);
    expectOn(c1, s1);
    // A connection left current here (c2 was not) moves to another thread: only
    // FORCEDORMANT leaves it free for that thread; without it the statement is
    // refused with the runtime's reason, and never runs on another session.
    std::thread([&] { expectOn(c2, s2); }).join();
    std::thread([&] {
      if (forceDormant) {
        expectOn(c1, s1);
        return;
      }
      ixr_test_record(true);
      DrvHandle cur = 0;
      ASSERT_EQ(INF_AllocCursor(c1, &cur), 0);
      EXPECT_EQ(INF_Prepare(cur, "insert into t values (77, 'x')"), ERR_SYNTAX);
      std::vector<std::string> e = errors(cur);
      ASSERT_FALSE(e.empty());
      EXPECT_NE(e[0].find("(-1801)"), std::string::npos) << e[0];
      for (const IxrCall& c : ixr_test_calls()) EXPECT_NE(c.op, "PREPARE");
      EXPECT_EQ(INF_EndCursor(cur), 0);
    }).join();
    expectOn(c2, s2);
    expectOn(c1, s1);
    ASSERT_EQ(INF_EndCursor(keep1), 0);
    ASSERT_EQ(INF_EndCursor(keep2), 0);
    ASSERT_EQ(INF_EndConnect(c1), 0);
    ASSERT_EQ(INF_EndConnect(c2), 0);
  }
}

}  // namespace

namespace {

TEST_F(Agent, WrappersKeepTheDormantStateRight) {
  restartAgent(true);
  DrvHandle conn = connect();
  InfSession* s = sessionOf(conn);
  ixr_test_record(true);
  ASSERT_EQ(_execute_immediate(s, "update t set b = b where a = 1", nullptr), 0);
  EXPECT_EQ(calls(true), (std::vector<std::string>{
                             "SET CONNECTION ", "EXECUTE IMMEDIATE update t set b = b where a = 1",
                             "SET CONNECTION DORMANT"}));
  EXPECT_EQ(_set_dormant(s), -1);  // already dormant: no statement
  ixr_test_record(true);
  s->xaOwned = 1;
  ASSERT_EQ(_execute_immediate(s, "update t set b = b where a = 1", nullptr), 0);
  EXPECT_EQ(calls(), (std::vector<std::string>{"SET CONNECTION", "EXECUTE IMMEDIATE"}));
  s->xaOwned = 0;
  ixr_test_record(true);
  // A level without a statement runs nothing, but the session is still left dormant.
  EXPECT_EQ(_set_isolation(s, 3, 0, &InfConnLookup(conn)->errors), -1);
  EXPECT_EQ(calls(true), (std::vector<std::string>{"SET CONNECTION DORMANT"}));
  EXPECT_EQ(InfConnLookup(conn)->errors.head, nullptr);

  // Two connects with the same parameters have sessions of their own.
  DrvHandle twin = connect();
  EXPECT_STRNE(sessionOf(twin)->name, s->name);
  ASSERT_EQ(INF_EndConnect(twin), 0);
  EXPECT_EQ(exec(conn, "select a from t"), 0);
}

TEST_F(Agent, LastCursorLeavesTheSessionDormant) {
  DrvHandle conn = connect();
  DrvHandle a = 0;
  DrvHandle b = 0;
  ASSERT_EQ(INF_AllocCursor(conn, &a), 0);
  ASSERT_EQ(INF_AllocCursor(conn, &b), 0);
  ASSERT_EQ(INF_Prepare(a, "select a from t"), 0);
  EXPECT_EQ(sessionOf(conn)->dormant, 0);
  ASSERT_EQ(INF_EndCursor(a), 0);
  EXPECT_EQ(sessionOf(conn)->dormant, 0);
  ASSERT_EQ(INF_EndCursor(b), 0);
  EXPECT_EQ(sessionOf(conn)->dormant, 1);
}

TEST_F(Agent, ReadOnlyConnectionsRefuseChanges) {
  DriverConnectParams p{};
  p.dbpath = "logged@ol_test";
  p.uid = "";
  p.pwd = "";
  p.readonly = 1;
  DrvHandle conn = 0;
  ASSERT_EQ(INF_Connect(server_, &p, &conn), 0);
  DrvHandle cur = 0;
  EXPECT_EQ(exec(conn, "delete from t", &cur), ERR_ACCESS);
  std::vector<std::string> e = errors(cur);
  ASSERT_EQ(e.size(), 1u);
  EXPECT_NE(e[0].find("[SQLSTATE:IM916]"), std::string::npos) << e[0];
  EXPECT_EQ(INF_Prepare(cur, "select a from t"), 0);
  int32_t on = 1;
  ASSERT_EQ(INF_SetOption(InfConnLookup(conn)->handle, DRVP_READONLY, &on), 0);
}

}  // namespace
