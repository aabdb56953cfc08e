// Connections and transactions of the embedded runtime: connect errors, the current
// connection per thread, transactions by database kind, sessions seeing each other's
// work, bounded lock waits, interrupts from another thread, and the test support.
#include "tests/platform/informix/ixr_fixture.h"

#include <signal.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>
#include <thread>

namespace ixrtest {
namespace {

class SessionTest : public IxrTest {};

TEST_F(SessionTest, ConnectErrorsAndWarnings) {
  ASSERT_EQ(ixr_server_create("se", IXR_SERVER_SE, "ann:pw,bob:"), 0);
  struct Case {
    const char* target;
    const char* user;
    const char* password;
    int rc;
    const char* sqlerrm;
  };
  const Case cases[] = {
      {"db@nosuch", nullptr, nullptr, IXR_E_NO_SERVER, "nosuch"},
      {"nodb@srv", nullptr, nullptr, IXR_E_NO_DATABASE, "nodb"},
      {"@se", "ann", "bad", IXR_E_BAD_USER, "ann"},
      {"@se", "eve", "pw", IXR_E_BAD_USER, "eve"},
      {"@se", "ann", "pw", 0, ""},
      {"@se", "bob", nullptr, 0, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.target);
    ixr_conninfo()->user = c.user;
    ixr_conninfo()->password = c.password;
    EXPECT_EQ(ixr_connect(c.target, "x"), c.rc);
    EXPECT_STREQ(ixr_sqlca()->sqlerrm, c.sqlerrm);
    if (c.rc == 0) {
      EXPECT_EQ(ixr_disconnect("x"), 0);
    }
  }
  *ixr_conninfo() = IxrConnInfo{};
  struct Kind {
    const char* log;
    char w1, w2;
  };
  const Kind kinds[] = {{"", ' ', ' '}, {"buffered log", 'W', ' '}, {"log mode ansi", 'W', 'W'}};
  int n = 0;
  for (const Kind& k : kinds) {
    std::string db = "k" + std::to_string(n++);
    makeDb(db.c_str(), k.log, "maker");
    ASSERT_EQ(ixr_disconnect("maker"), 0);
    ASSERT_EQ(ixr_connect((db + "@srv").c_str(), "c"), 0);
    EXPECT_EQ(ixr_sqlca()->sqlwarn[1], k.w1) << k.log;
    EXPECT_EQ(ixr_sqlca()->sqlwarn[2], k.w2) << k.log;
    EXPECT_EQ(ixr_sqlca()->sqlwarn[3], 'W');
    EXPECT_EQ(ixr_sqlca()->sqlwarn[0], 'W');
    ASSERT_EQ(ixr_disconnect(nullptr), 0);
  }
  ixr_conninfo()->server = "srv";
  EXPECT_EQ(ixr_connect("k1", "viaBlock"), 0);
  EXPECT_EQ(ixr_connect("k1", "viaBlock"), IXR_E_CONNECTION_IN_USE);
  // Connected to the server alone: only database statements and sysmaster.
  EXPECT_EQ(ixr_connect("default", "bare"), 0);
  EXPECT_EQ(exec("select * from systables"), IXR_E_NO_DB_SELECTED);
  EXPECT_EQ(ixr_begin_work(), IXR_E_NO_DB_SELECTED);
  EXPECT_EQ(scalar("select count(*) from sysmaster:sysdatabases"), "3");
}

// server.conf keeps salted digests of the passwords, readable by this user alone; a
// file of an older release with clear text is converted the first time it is read.
TEST_F(SessionTest, PasswordsAreKeptAsPrivateDigests) {
  auto text = [](const std::string& path) {
    std::ifstream f(path);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
  };
  auto mode = [](const std::string& path) {
    struct stat st {};
    EXPECT_EQ(stat(path.c_str(), &st), 0);
    return st.st_mode & 0777;
  };
  auto login = [](const char* user, const char* pw) {
    ixr_conninfo()->user = user;
    ixr_conninfo()->password = pw;
    int rc = ixr_connect("@se", "x");
    if (rc == 0) {
      EXPECT_EQ(ixr_disconnect("x"), 0);
    }
    *ixr_conninfo() = IxrConnInfo{};
    return rc;
  };
  const std::string conf = root_ + "/se/server.conf";
  ASSERT_EQ(ixr_server_create("se", IXR_SERVER_SE, "ann:s3cret,bob:s3cret"), 0);
  EXPECT_EQ(mode(conf), 0600u);
  const std::string made = text(conf);
  EXPECT_EQ(made.find("s3cret"), std::string::npos) << made;
  // Two users with one password get different digests: each has a salt of its own.
  const size_t a = made.find("user=ann:"), b = made.find("user=bob:");
  ASSERT_NE(a, std::string::npos);
  ASSERT_NE(b, std::string::npos);
  EXPECT_NE(made.substr(a + 9, made.find('\n', a) - a - 9),
            made.substr(b + 9, made.find('\n', b) - b - 9));
  EXPECT_EQ(login("ann", "s3cret"), 0);
  EXPECT_EQ(login("ann", "s3cre"), IXR_E_BAD_USER);

  {
    std::ofstream old(conf, std::ios::trunc);
    old << "kind=se\nusers=on\nuser=old:plain;pw\nuser=nopw\n";
  }
  chmod(conf.c_str(), 0644);
  EXPECT_EQ(login("old", "plain;pw"), 0);
  EXPECT_EQ(text(conf).find("plain;pw"), std::string::npos) << text(conf);
  EXPECT_EQ(mode(conf), 0600u);
  EXPECT_EQ(login("old", "plain;pw"), 0);
  EXPECT_EQ(login("old", "plain"), IXR_E_BAD_USER);
  EXPECT_EQ(login("nopw", ""), 0);
}

// What a server writes is its owner's alone whatever the umask: directories 0700,
// files 0600, SQLite's WAL and shared-memory files included.
TEST_F(SessionTest, ServerFilesAreTheirOwnersAlone) {
  const mode_t was = umask(0);
  const std::string servers = root_ + "/deep/servers";
  setenv("KES_INFORMIX_SERVERS", servers.c_str(), 1);
  const bool made =
      ixr_server_create("own", IXR_SERVER_ONLINE, nullptr) == 0 && ixr_connect("@own", "c") == 0 &&
      exec("create database private with log") == 0 && exec("database private") == 0 &&
      exec("create table t (x int)") == 0 && exec("insert into t values (1)") == 0;
  umask(was);
  ASSERT_TRUE(made) << ixr_sqlca()->sqlcode;
  auto mode = [](const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 01;
  };
  for (const std::string& dir : {root_ + "/deep", servers, servers + "/own"})
    EXPECT_EQ(mode(dir), 0700u) << dir;
  for (const char* file :
       {"server.conf", "sysmaster.db", "private.db", "private.db-wal", "private.db-shm"})
    EXPECT_EQ(mode(servers + "/own/" + file), 0600u) << file;
  EXPECT_EQ(ixr_disconnect("c"), 0);
}

// Session numbers are the server's, across processes: sysmaster:syssessions
// lists the sessions that live, a killed process's included until the next
// connection finds its lock gone, and a sysmaster of an earlier release gains
// the list.
TEST_F(SessionTest, SessionsAreNumberedAcrossProcesses) {
  {
    sqlite3* m = nullptr;
    ASSERT_EQ(sqlite3_open((root_ + "/srv/sysmaster.db").c_str(), &m), SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(m,
                           "DROP TABLE syssessions; DELETE FROM syscolumns WHERE tabid = 4; "
                           "DELETE FROM systables WHERE tabname = 'syssessions'",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(m);
  }
  makeDb("db", "log", "one");
  const std::string one = scalar("select dbinfo('sessionid') from systables where tabid = 1");
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  fflush(nullptr);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    // A session of another process, killed while it lives.
    close(fds[0]);
    if (ixr_connect("db@srv", "two") != 0) _exit(3);
    const std::string two = scalar("select dbinfo('sessionid') from systables where tabid = 1");
    if (write(fds[1], two.data(), two.size()) != static_cast<ssize_t>(two.size())) _exit(4);
    close(fds[1]);
    for (;;) pause();
  }
  close(fds[1]);
  char buf[32] = {};
  const ssize_t got = read(fds[0], buf, sizeof buf - 1);
  close(fds[0]);
  ASSERT_GT(got, 0);
  const std::string two(buf);
  EXPECT_NE(two, one);
  auto listed = [this] {
    std::string all;
    for (const auto& row : query("select sid from sysmaster:syssessions order by sid"))
      all += row[0] + " ";
    return all;
  };
  EXPECT_EQ(listed(), one + " " + two + " ");
  kill(child, SIGKILL);
  ASSERT_EQ(waitpid(child, nullptr, 0), child);
  ASSERT_EQ(ixr_connect("db@srv", "three"), 0);
  const std::string three = scalar("select dbinfo('sessionid') from systables where tabid = 1");
  EXPECT_EQ(listed(), one + " " + three + " ") << "the killed process's session is gone";
  EXPECT_EQ(ixr_disconnect("three"), 0);
  ASSERT_EQ(ixr_set_connection("one", 0), 0);
  EXPECT_EQ(listed(), one + " ");
  EXPECT_EQ(ixr_disconnect("one"), 0);
}

// A damaged database file is reported as damaged (ISAM bad format), never as a
// missing database or table that an application might create again.
// A session on a database another session of the process left starts as on a new
// connection: no temporary table, no unfinished change, and the database as it is now,
// also when it was dropped and created again in between.
TEST_F(SessionTest, ANewSessionStartsAfreshWhereAnotherLeft) {
  makeDb("db", "log", "maker");
  ASSERT_EQ(exec("create table t (x int)"), 0);
  ASSERT_EQ(exec("insert into t values (1)"), 0);
  ASSERT_EQ(ixr_disconnect("maker"), 0);
  ASSERT_EQ(ixr_connect("db@srv", "a"), 0);
  ASSERT_EQ(exec("create temp table tmp (y int)"), 0);
  EXPECT_EQ(scalar("select count(*) from sysmaster:syssessions"), "1");
  ASSERT_EQ(exec("begin work"), 0);
  ASSERT_EQ(exec("insert into t values (2)"), 0);
  ASSERT_EQ(ixr_disconnect("a"), 0);
  for (int k = 0; k < 3; ++k) {
    SCOPED_TRACE(k);
    ASSERT_EQ(ixr_connect("db@srv", "b"), 0);
    int rc = 0;
    query("select * from tmp", nullptr, &rc);
    EXPECT_NE(rc, 0) << "another session's temporary table";
    EXPECT_EQ(scalar("select count(*) from t"), "1") << "a change never committed";
    EXPECT_EQ(scalar("select count(*) from sysmaster:syssessions"), "1");
    ASSERT_EQ(ixr_disconnect("b"), 0);
  }
  ASSERT_EQ(ixr_connect("@srv", "m"), 0);
  ASSERT_EQ(exec("drop database db"), 0);
  ASSERT_EQ(exec("create database db with log"), 0);
  ASSERT_EQ(ixr_disconnect("m"), 0);
  ASSERT_EQ(ixr_connect("db@srv", "c"), 0);
  int rc = 0;
  query("select * from t", nullptr, &rc);
  EXPECT_NE(rc, 0) << "the table of the database dropped";
  ASSERT_EQ(ixr_disconnect("c"), 0);
}

TEST_F(SessionTest, DamagedDatabasesSayTheyAreDamaged) {
  makeDb("db", "log", "maker");
  ASSERT_EQ(exec("create table t (x int, pad char(200))"), 0);
  for (int i = 0; i < 200; ++i)
    ASSERT_EQ(exec("insert into t values (" + std::to_string(i) + ", 'p')"), 0);
  ASSERT_EQ(ixr_disconnect("maker"), 0);
  const std::string path = root_ + "/srv/db.db";
  std::ifstream in(path, std::ios::binary);
  const std::string whole((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  in.close();
  ASSERT_GT(whole.size(), 16384u);
  auto put = [&](const std::string& bytes) {
    std::remove((path + "-wal").c_str());
    std::remove((path + "-shm").c_str());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
  };
  struct Case {
    const char* what;
    std::string bytes;
  };
  std::string middle = whole;
  for (size_t i = 4096; i < middle.size() - 4096; ++i) middle[i] = static_cast<char>(i * 7);
  const Case cases[] = {
      {"empty", ""},
      {"cut short", whole.substr(0, 1000)},
      {"garbage", std::string(8192, 'x')},
      {"damaged in the middle", middle},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    put(c.bytes);
    int rc = ixr_connect("db@srv", "d");
    if (rc == 0) {
      rc = exec("select count(*) from t");
      if (rc == 0) rc = exec("select * from t where x = 150");
      EXPECT_EQ(ixr_disconnect("d"), 0);
    }
    EXPECT_NE(rc, IXR_E_NO_TABLE);
    EXPECT_NE(rc, IXR_E_NO_DATABASE);
    EXPECT_EQ(ixr_sqlca()->sqlerrd[1], IXR_ISAM_BAD_FORMAT) << rc;
  }
}

// A connection that only reads opens its database for reading: a directory it cannot
// write does not keep it out, and nothing is written there.
TEST_F(SessionTest, AReadOnlyConnectionReadsWithoutWriting) {
  makeDb("db", "log", "maker");
  ASSERT_EQ(exec("create table t (x int)"), 0);
  ASSERT_EQ(exec("insert into t values (7)"), 0);
  ASSERT_EQ(ixr_disconnect("maker"), 0);
  const std::string dir = root_ + "/srv";
  ASSERT_EQ(chmod(dir.c_str(), 0555), 0);
  ixr_conninfo()->readonly = 1;
  ASSERT_EQ(ixr_connect("db@srv", "r"), 0) << ixr_sqlca()->sqlerrm;
  *ixr_conninfo() = IxrConnInfo{};
  EXPECT_EQ(scalar("select x from t"), "7");
  EXPECT_NE(exec("insert into t values (8)"), 0);
  EXPECT_EQ(scalar("select name from sysmaster:sysdatabases"), "db");
  EXPECT_EQ(ixr_disconnect("r"), 0);
  chmod(dir.c_str(), 0755);
  ASSERT_EQ(ixr_connect("db@srv", "w"), 0);
  EXPECT_EQ(scalar("select count(*) from t"), "1");
  EXPECT_EQ(ixr_disconnect("w"), 0);
}

TEST_F(SessionTest, CurrentConnectionIsPerThread) {
  makeDb("db", "log", "a");
  ASSERT_EQ(ixr_connect("db@srv", "b"), 0);  // a is dormant now
  EXPECT_EQ(ixr_disconnect("a"), IXR_E_NOT_CURRENT);
  ASSERT_EQ(ixr_set_connection("a", 0), 0);
  ASSERT_EQ(ixr_set_connection("a", 1), 0);
  EXPECT_EQ(ixr_execute_immediate("create table t (x int)"), IXR_E_NO_CONNECTION);
  std::atomic<int> other{1};
  std::thread t([&] {
    // A dormant session can become current on another thread.
    int rc = ixr_set_connection("a", 0);
    if (rc == 0) rc = ixr_execute_immediate("create table t (x int)");
    if (rc == 0) rc = ixr_execute_immediate("insert into t values (1)");
    if (rc == 0) rc = ixr_set_connection("a", 1);
    other = rc;
  });
  t.join();
  EXPECT_EQ(other.load(), 0);
  ASSERT_EQ(ixr_set_connection("b", 0), 0);
  EXPECT_EQ(scalar("select x from t"), "1");  // b sees a's committed work
  ASSERT_EQ(ixr_set_connection("a", 0), 0);
  EXPECT_EQ(ixr_disconnect("b"), IXR_E_NOT_CURRENT);
  EXPECT_EQ(ixr_disconnect("a"), 0);
  EXPECT_EQ(ixr_disconnect("nosuch"), IXR_E_NO_CONNECTION);
}

TEST_F(SessionTest, TransactionsFollowTheDatabaseKind) {
  struct Case {
    const char* log;
    int begin, beginAgain, commit, commitOutside, rollbackOutside;
    bool rolledBack;  // the row inserted inside BEGIN/ROLLBACK is gone
  };
  const Case cases[] = {
      {"", IXR_E_NO_TXN, IXR_E_NO_TXN, IXR_E_NOT_IN_TXN, IXR_E_NOT_IN_TXN, IXR_E_NOT_IN_TXN, false},
      {"log", 0, IXR_E_IN_TXN, 0, IXR_E_NOT_IN_TXN, IXR_E_NOT_IN_TXN, true},
      {"log mode ansi", 0, IXR_E_IN_TXN, 0, 0, 0, true},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.log);
    std::string db = "t" + std::to_string(n++);
    makeDb(db.c_str(), c.log, db.c_str());
    ASSERT_EQ(exec("create table t (x int)"), 0);
    if (std::string(c.log) == "log mode ansi") {
      ASSERT_EQ(ixr_commit_work(), 0);
    }
    EXPECT_EQ(ixr_begin_work(), c.begin);
    EXPECT_EQ(ixr_begin_work(), c.beginAgain);
    ASSERT_EQ(exec("insert into t values (1)"), 0);
    EXPECT_EQ(ixr_rollback_work(), c.begin == 0 ? 0 : IXR_E_NOT_IN_TXN);
    EXPECT_EQ(scalar("select count(*) from t"), c.rolledBack ? "0" : "1");
    ixr_commit_work();
    EXPECT_EQ(ixr_commit_work(), c.commitOutside);
    EXPECT_EQ(ixr_rollback_work(), c.rollbackOutside);
    if (c.begin == 0) {
      ASSERT_EQ(ixr_begin_work(), 0);
      ASSERT_EQ(exec("insert into t values (2)"), 0);
      EXPECT_EQ(ixr_commit_work(), c.commit);
    }
    ASSERT_EQ(ixr_disconnect(nullptr), 0);
  }
}

// A statement that fails after changing some rows takes back its own changes and
// nothing of the transaction's earlier work.
TEST_F(SessionTest, FailingStatementInATransactionUndoesOnlyItself) {
  makeDb("atom", "log", "atom");
  ASSERT_EQ(exec("create table t (x int)"), 0);
  ASSERT_EQ(exec("create unique index tx on t (x)"), 0);
  ASSERT_EQ(ixr_begin_work(), 0);
  for (const char* sql :
       {"insert into t values (1)", "insert into t values (2)", "insert into t values (12)"})
    ASSERT_EQ(exec(sql), 0);
  EXPECT_LT(exec("update t set x = x + 10"), 0);             // 1 became 11 before 2 met 12
  EXPECT_LT(exec("insert into t select x + 10 from t"), 0);  // 11 went in before 12 failed
  EXPECT_LT(exec("insert into t values (2)"), 0);
  ASSERT_EQ(exec("insert into t values (3)"), 0);
  ASSERT_EQ(ixr_commit_work(), 0);
  EXPECT_EQ(query("select x from t order by x"), (Rows{{"1"}, {"2"}, {"3"}, {"12"}}));
}

TEST_F(SessionTest, AnsiDatabaseIsAlwaysInATransaction) {
  makeDb("ansi", "log mode ansi", "a");
  ASSERT_EQ(exec("create table t (x int)"), 0);
  ASSERT_EQ(exec("insert into t values (1)"), 0);
  ASSERT_EQ(ixr_rollback_work(), 0);
  EXPECT_EQ(exec("select * from t"), IXR_E_NO_TABLE);  // the DDL went with the rollback
  ASSERT_EQ(exec("create table t (x int)"), 0);
  ASSERT_EQ(exec("insert into t values (1)"), 0);
  ASSERT_EQ(ixr_commit_work(), 0);
  EXPECT_EQ(exec("update t set x = 2 where x = 99"), IXR_NOTFOUND);
}

TEST_F(SessionTest, LockWaitsAreBounded) {
  makeDb("db", "log", "a");
  ASSERT_EQ(exec("create table t (x int)"), 0);
  ASSERT_EQ(ixr_begin_work(), 0);
  ASSERT_EQ(exec("insert into t values (1)"), 0);  // a holds the write lock
  ASSERT_EQ(ixr_connect("db@srv", "b"), 0);
  EXPECT_EQ(scalar("select count(*) from t"), "0");  // readers never wait
  struct Case {
    const char* mode;
    int isam;
    int minMs;
  };
  const Case cases[] = {{"set lock mode to not wait", IXR_ISAM_LOCKED, 0},
                        {"set lock mode to wait 1", IXR_ISAM_LOCK_TIMEOUT, 900}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.mode);
    ASSERT_EQ(exec(c.mode), 0);
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(exec("insert into t values (2)"), IXR_E_INSERT_FAILED);
    EXPECT_EQ(ixr_sqlca()->sqlerrd[1], c.isam);
    auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0)
            .count();
    EXPECT_GE(ms, c.minMs);
  }
  ASSERT_EQ(ixr_set_connection("a", 0), 0);
  ASSERT_EQ(ixr_commit_work(), 0);
  ASSERT_EQ(ixr_set_connection("b", 0), 0);
  EXPECT_EQ(exec("insert into t values (2)"), 0);
}

// A change refused by another session's lock reports the error of the statement that
// was refused, inside a transaction and out of one.
TEST_F(SessionTest, ALockedOutChangeReportsItsOwnStatement) {
  makeDb("db", "log", "a");
  ASSERT_EQ(exec("create table t (x int)"), 0);
  ASSERT_EQ(exec("insert into t values (1)"), 0);
  ASSERT_EQ(ixr_begin_work(), 0);
  ASSERT_EQ(exec("insert into t values (2)"), 0);  // a holds the write lock
  ASSERT_EQ(ixr_connect("db@srv", "b"), 0);
  ASSERT_EQ(exec("set lock mode to not wait"), 0);
  const struct {
    const char* sql;
    int code;
  } cases[] = {{"insert into t values (3)", IXR_E_INSERT_FAILED},
               {"update t set x = 5 where x = 1", IXR_E_UPDATE_FAILED},
               {"delete from t where x = 1", IXR_E_DELETE_FAILED}};
  for (const bool inTxn : {false, true}) {
    if (inTxn) {
      ASSERT_EQ(ixr_begin_work(), 0);
    }
    for (const auto& c : cases) {
      SCOPED_TRACE(std::string(c.sql) + (inTxn ? " in a transaction" : ""));
      EXPECT_EQ(exec(c.sql), c.code);
      EXPECT_EQ(ixr_sqlca()->sqlerrd[1], IXR_ISAM_LOCKED);
    }
    if (inTxn) {
      ASSERT_EQ(ixr_rollback_work(), 0);
    }
  }
  ASSERT_EQ(ixr_set_connection("a", 0), 0);
  ASSERT_EQ(ixr_rollback_work(), 0);
}

// Every database of a server reaches the server's list of databases; a transaction that
// writes in one must not hold a lock there that writers in another would wait for.
TEST_F(SessionTest, WritersInOtherDatabasesDoNotWait) {
  makeDb("one", "log", "a");
  ASSERT_EQ(exec("create table t (x int)"), 0);
  makeDb("two", "log", "b");
  ASSERT_EQ(exec("create table u (x int)"), 0);
  ASSERT_EQ(exec("set lock mode to not wait"), 0);
  ASSERT_EQ(ixr_set_connection("a", 0), 0);
  ASSERT_EQ(ixr_begin_work(), 0);
  ASSERT_EQ(exec("insert into t values (1)"), 0);  // a holds the write lock of one
  ASSERT_EQ(ixr_set_connection("b", 0), 0);
  EXPECT_EQ(exec("insert into u values (1)"), 0) << ixr_sqlca()->sqlerrd[1];
  ASSERT_EQ(ixr_begin_work(), 0);
  EXPECT_EQ(exec("update u set x = 2"), 0) << ixr_sqlca()->sqlerrd[1];
  EXPECT_EQ(scalar("select name from sysmaster:sysdatabases where name = 'one'"), "one");
  ASSERT_EQ(ixr_commit_work(), 0);
  ASSERT_EQ(ixr_set_connection("a", 0), 0);
  ASSERT_EQ(ixr_commit_work(), 0);
}

// EXECUTE of a writing statement takes the write lock before it checks the schema and
// binds: one that fails there lets go of the lock again.
TEST_F(SessionTest, AnExecuteFailingBeforeItsStatementLetsGoOfTheWriteLock) {
  makeDb("db", "log", "a");
  ASSERT_EQ(exec("create table t (x int)"), 0);
  ASSERT_EQ(exec("create table u (x int)"), 0);
  ASSERT_EQ(ixr_prepare("ins", "insert into t values (?)"), 0);
  const int32_t ins = ixr_name_id("ins", IXR_ID_STATEMENT);
  ASSERT_EQ(ixr_connect("db@srv", "b"), 0);
  ASSERT_EQ(exec("set lock mode to not wait"), 0);
  const auto bWrites = [&] {
    EXPECT_EQ(ixr_set_connection("b", 0), 0);
    EXPECT_EQ(exec("insert into u values (1)"), 0) << ixr_sqlca()->sqlerrd[1];
    EXPECT_EQ(ixr_set_connection("a", 0), 0);
  };
  ASSERT_EQ(ixr_set_connection("a", 0), 0);
  Area bad(1);
  bad.str(0, "not a number");
  EXPECT_EQ(ixr_execute(ins, bad.get()), IXR_E_CHAR_TO_NUMBER);
  bWrites();
  ASSERT_EQ(ixr_set_connection("b", 0), 0);
  ASSERT_EQ(exec("drop table t"), 0);
  ASSERT_EQ(ixr_set_connection("a", 0), 0);
  Area good(1);
  good.i32(0, 5);
  EXPECT_EQ(ixr_execute(ins, good.get()), IXR_E_NO_TABLE);
  bWrites();
  EXPECT_EQ(scalar("select count(*) from u"), "2");
}

TEST_F(SessionTest, ConcurrentWritersWaitForEachOther) {
  makeDb("db", "log", "setup");
  ASSERT_EQ(exec("create table t (id serial, who int)"), 0);
  std::atomic<int> failures{0};
  std::vector<std::thread> writers;
  for (int w = 0; w < 4; ++w) {
    writers.emplace_back([w, &failures] {
      std::string name = "w" + std::to_string(w);
      if (ixr_connect("db@srv", name.c_str()) ||
          ixr_execute_immediate("set lock mode to wait 30")) {
        failures++;
        return;
      }
      std::string sql = "insert into t (who) values (" + std::to_string(w) + ")";
      for (int k = 0; k < 100; ++k) {
        if (k % 25 == 0 && ixr_begin_work()) failures++;
        if (ixr_execute_immediate(sql.c_str())) failures++;
        if (k % 25 == 24 && ixr_commit_work()) failures++;
      }
      ixr_disconnect(nullptr);
    });
  }
  for (auto& t : writers) t.join();
  EXPECT_EQ(failures.load(), 0);
  EXPECT_EQ(query("select count(*), count(unique id), max(id) from t"),
            (Rows{{"400", "400", "400"}}));
}

TEST_F(SessionTest, InterruptStopsTheRunningRequest) {
  makeDb("db", "", "a");
  ASSERT_EQ(exec("create table t (x int)"), 0);
  ASSERT_EQ(exec("insert into t values (1); insert into t values (2)"), 0);
  for (int k = 0; k < 10; ++k) ASSERT_EQ(exec("insert into t select x from t"), 0);
  std::atomic<bool> stop{false};
  std::thread breaker([&] {
    while (!stop) {
      ixr_interrupt("a");
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
  });
  // Long enough to be interrupted, short enough to end the test if the interrupt failed.
  int rc = exec("select count(*) from t a, t b, (select first 50 x from t) c into temp big");
  stop = true;
  breaker.join();
  EXPECT_EQ(rc, IXR_E_INTERRUPTED);
  EXPECT_EQ(scalar("select count(*) from t"), "2048");  // the session goes on
  EXPECT_EQ(ixr_interrupt("nosuch"), IXR_E_NO_CONNECTION);
}

// A deadline stops every request from its moment on, one already running and one begun
// after it alike, until it is cleared; one far off stops nothing.
TEST_F(SessionTest, DeadlineStopsRequestsUntilCleared) {
  makeDb("db", "", "a");
  ASSERT_EQ(exec("create table t (x int)"), 0);
  ASSERT_EQ(exec("insert into t values (1); insert into t values (2)"), 0);
  for (int k = 0; k < 10; ++k) ASSERT_EQ(exec("insert into t select x from t"), 0);
  const char* slow = "select count(*) from t a, t b, (select first 50 x from t) c into temp big";
  ASSERT_EQ(ixr_set_deadline("a", 30), 0);
  const auto started = std::chrono::steady_clock::now();
  EXPECT_EQ(exec(slow), IXR_E_INTERRUPTED);
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
  // Still past it: the next request stops too.
  EXPECT_EQ(exec("select count(*) from t a, t b into temp big2"), IXR_E_INTERRUPTED);
  ASSERT_EQ(ixr_set_deadline("a", -1), 0);
  EXPECT_EQ(scalar("select count(*) from t"), "2048");
  ASSERT_EQ(ixr_set_deadline("a", 3600 * 1000), 0);
  EXPECT_EQ(scalar("select count(*) from t a, t b"), "4194304");
  ASSERT_EQ(ixr_set_deadline("a", -1), 0);
  EXPECT_EQ(ixr_set_deadline("nosuch", 0), IXR_E_NO_CONNECTION);
}

TEST_F(SessionTest, RecordAndFaultInjection) {
  makeDb("db", "log", "a");
  ixr_test_record(true);
  ASSERT_EQ(ixr_begin_work(), 0);
  ASSERT_EQ(exec("set isolation to dirty read"), 0);
  ASSERT_EQ(ixr_commit_work(), 0);
  ixr_test_fail_next(IXR_E_LOCK_FAILED, IXR_ISAM_LOCKED, "COMMIT WORK");
  ASSERT_EQ(ixr_begin_work(), 0);
  EXPECT_EQ(ixr_commit_work(), IXR_E_LOCK_FAILED);
  EXPECT_EQ(ixr_sqlca()->sqlerrd[1], IXR_ISAM_LOCKED);
  EXPECT_EQ(ixr_rollback_work(), 0);
  ixr_test_record(false);
  std::vector<std::string> seen;
  for (const IxrCall& c : ixr_test_calls())
    seen.push_back(c.op + ":" + c.text + ":" + std::to_string(c.code));
  EXPECT_EQ(seen, (std::vector<std::string>{
                      "BEGIN WORK::0", "EXECUTE IMMEDIATE:set isolation to dirty read:0",
                      "COMMIT WORK::0", "BEGIN WORK::0", "COMMIT WORK::-263", "ROLLBACK WORK::0"}));
  ixr_test_break_connection("a");
  EXPECT_EQ(exec("select * from systables"), IXR_E_LINK_LOST);
  EXPECT_EQ(ixr_begin_work(), IXR_E_LINK_LOST);
  EXPECT_EQ(ixr_disconnect("a"), 0);
}

}  // namespace
}  // namespace ixrtest
