// e2e_robust_test.cpp -- the driver under load and under a crash, through the Driver
// Manager and the embedded server: threads on connections of their own and threads
// sharing one environment commit and roll back at once, and every committed row is
// there exactly once; a process killed in the middle of committing batches or with a
// transaction open leaves every acknowledged row and nothing it had not committed.

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "dm_fixture.h"

namespace {

constexpr int kRowsPerBatch = 5;

class DmRobust : public DmTest {
 public:
  static void SetUpTestSuite() {
    DmTest::SetUpTestSuite();
    MakeDatabase("kes_robust", "robustdb");
  }

 protected:
  std::string ConnStr() const {
    return std::string("DSN=") + GetParam().dsn + ";DATABASE=robustdb@kes_robust";
  }
  // A connection of env with autocommit off, or null.
  SQLHDBC Open(SQLHENV env) const {
    SQLHDBC dbc = nullptr;
    if (SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc) != SQL_SUCCESS) return nullptr;
    const std::string in = ConnStr();
    if (!SQL_SUCCEEDED(SQLDriverConnect(dbc, nullptr, (SQLCHAR*)in.c_str(), SQL_NTS, nullptr, 0,
                                        nullptr, SQL_DRIVER_NOPROMPT)) ||
        SQLSetConnectAttr(dbc, SQL_ATTR_AUTOCOMMIT, (SQLPOINTER)SQL_AUTOCOMMIT_OFF, 0) !=
            SQL_SUCCESS) {
      SQLFreeHandle(SQL_HANDLE_DBC, dbc);
      return nullptr;
    }
    return dbc;
  }
  static void Close(SQLHDBC dbc) {
    SQLDisconnect(dbc);
    SQLFreeHandle(SQL_HANDLE_DBC, dbc);
  }
  static bool Exec(SQLHDBC dbc, const std::string& sql) {
    SQLHSTMT st = nullptr;
    if (SQLAllocHandle(SQL_HANDLE_STMT, dbc, &st) != SQL_SUCCESS) return false;
    const bool ok = SQL_SUCCEEDED(SQLExecDirect(st, (SQLCHAR*)sql.c_str(), SQL_NTS));
    SQLFreeHandle(SQL_HANDLE_STMT, st);
    return ok;
  }
  // Every (first column, count) of a grouped query.
  static std::map<long, long> Counts(SQLHDBC dbc, const std::string& sql) {
    std::map<long, long> out;
    SQLHSTMT st = nullptr;
    EXPECT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &st), SQL_SUCCESS);
    EXPECT_TRUE(SQL_SUCCEEDED(SQLExecDirect(st, (SQLCHAR*)sql.c_str(), SQL_NTS))) << sql;
    SQLINTEGER k = 0, n = 0;
    SQLBindCol(st, 1, SQL_C_SLONG, &k, 0, nullptr);
    SQLBindCol(st, 2, SQL_C_SLONG, &n, 0, nullptr);
    while (SQL_SUCCEEDED(SQLFetch(st))) out[k] = n;
    SQLFreeHandle(SQL_HANDLE_STMT, st);
    return out;
  }
  // A fresh table name for this test and build.
  std::string Table(const char* stem) const { return std::string(stem) + "_" + GetParam().name; }
};

// Eight threads on environments of their own and eight sharing one environment each
// commit and roll back transactions of several rows on their own connections: the
// rows of every committed transaction are there exactly once, and of no other.
TEST_P(DmRobust, ThreadsCommitExactlyWhatTheyCommitted) {
  SQLHDBC setup = Open(env_);
  ASSERT_NE(setup, nullptr);
  const std::string table = Table("stress");
  Exec(setup, "drop table " + table);
  ASSERT_TRUE(Exec(setup, "create table " + table + " (who int, txn int, k int)"));
  ASSERT_EQ(SQLEndTran(SQL_HANDLE_DBC, setup, SQL_COMMIT), SQL_SUCCESS);

  constexpr int kThreads = 16, kTxns = 40;
  std::vector<int> committed(kThreads, 0);
  std::atomic<int> failures{0};
  SQLHENV shared = nullptr;
  ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &shared), SQL_SUCCESS);
  ASSERT_EQ(SQLSetEnvAttr(shared, SQL_ATTR_ODBC_VERSION, (SQLPOINTER)SQL_OV_ODBC3, 0),
            SQL_SUCCESS);
  std::vector<std::thread> threads;
  for (int who = 0; who < kThreads; ++who) {
    threads.emplace_back([&, who] {
      const bool own = who < kThreads / 2;
      SQLHENV env = shared;
      if (own) {
        SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env);
        SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, (SQLPOINTER)SQL_OV_ODBC3, 0);
      }
      SQLHDBC dbc = Open(env);
      if (dbc == nullptr) {
        ++failures;
      } else {
        for (int txn = 0; txn < kTxns; ++txn) {
          bool ok = true;
          for (int k = 0; k < 3 && ok; ++k)
            ok = Exec(dbc, "insert into " + table + " values (" + std::to_string(who) + ", " +
                               std::to_string(txn) + ", " + std::to_string(k) + ")");
          // Every third transaction, and any that failed, is rolled back whole.
          const bool keep = ok && txn % 3 != 2;
          if (SQLEndTran(SQL_HANDLE_DBC, dbc, keep ? SQL_COMMIT : SQL_ROLLBACK) != SQL_SUCCESS) {
            ++failures;
          } else if (keep) {
            committed[static_cast<size_t>(who)] += 3;
          }
        }
        Close(dbc);
      }
      if (own) SQLFreeHandle(SQL_HANDLE_ENV, env);
    });
  }
  for (auto& t : threads) t.join();
  SQLFreeHandle(SQL_HANDLE_ENV, shared);
  EXPECT_EQ(failures.load(), 0);

  const std::map<long, long> got =
      Counts(setup, "select who, count(*) from " + table + " group by who");
  long total = 0;
  for (int who = 0; who < kThreads; ++who) {
    const auto it = got.find(who);
    EXPECT_EQ(it == got.end() ? 0 : it->second, committed[static_cast<size_t>(who)]) << who;
    total += committed[static_cast<size_t>(who)];
  }
  EXPECT_GT(total, 0);
  // No transaction appears twice or in part.
  const std::map<long, long> parts = Counts(
      setup, "select count(*), count(*) from " + table + " group by who, txn having count(*) <> 3");
  EXPECT_TRUE(parts.empty());
  Close(setup);
}

// A child commits numbered batches and tells the parent of each one committed; the
// parent kills it (SIGKILL) while it commits, or while it holds a transaction open.
// Every acknowledged batch is there whole, no batch is there in part, and nothing of
// the open transaction is there.
TEST_P(DmRobust, AKilledProcessLeavesWhatItCommittedAndNothingElse) {
  struct Scenario {
    const char* what;
    bool openTxn;  // the child ends in an open transaction instead of committing on
  };
  for (const Scenario& sc : {Scenario{"killed while committing", false},
                             Scenario{"killed with a transaction open", true}}) {
    SCOPED_TRACE(sc.what);
    const std::string table = Table(sc.openTxn ? "killopen" : "killrun");
    {
      SQLHDBC setup = Open(env_);
      ASSERT_NE(setup, nullptr);
      Exec(setup, "drop table " + table);
      ASSERT_TRUE(Exec(setup, "create table " + table + " (batch int, k int)"));
      ASSERT_EQ(SQLEndTran(SQL_HANDLE_DBC, setup, SQL_COMMIT), SQL_SUCCESS);
      Close(setup);
    }
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    fflush(nullptr);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      close(fds[0]);
      SQLHDBC dbc = Open(env_);
      if (dbc == nullptr) _exit(3);
      for (int batch = 0;; ++batch) {
        for (int k = 0; k < kRowsPerBatch; ++k)
          if (!Exec(dbc, "insert into " + table + " values (" + std::to_string(batch) + ", " +
                             std::to_string(k) + ")"))
            _exit(4);
        if (sc.openTxn && batch == 5) {
          // Rows written, never committed; the parent kills it here.
          const char open = 'o';
          if (write(fds[1], &open, 1) != 1) _exit(5);
          for (;;) pause();
        }
        if (SQLEndTran(SQL_HANDLE_DBC, dbc, SQL_COMMIT) != SQL_SUCCESS) _exit(6);
        const char ack = 'a';
        if (write(fds[1], &ack, 1) != 1) _exit(7);
      }
    }
    close(fds[1]);
    int acked = 0;
    char c = 0;
    // While committing: killed once a few batches are through, wherever it is then.
    while (read(fds[0], &c, 1) == 1) {
      if (c == 'a') ++acked;
      if (c == 'o' || (!sc.openTxn && acked == 8)) break;
    }
    kill(child, SIGKILL);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status)) << "child ended with " << WEXITSTATUS(status);
    // What it acknowledged after the parent stopped reading counts as acknowledged too.
    while (read(fds[0], &c, 1) == 1)
      if (c == 'a') ++acked;
    close(fds[0]);
    ASSERT_GE(acked, sc.openTxn ? 5 : 8);

    SQLHDBC check = Open(env_);
    ASSERT_NE(check, nullptr);
    const std::map<long, long> got =
        Counts(check, "select batch, count(*) from " + table + " group by batch");
    for (int b = 0; b < acked; ++b) {
      const auto it = got.find(b);
      EXPECT_EQ(it == got.end() ? 0 : it->second, kRowsPerBatch) << "batch " << b;
    }
    for (const auto& [batch, n] : got) {
      // A batch committed just before the kill may lack its acknowledgement; it is
      // there whole or not at all, and the open transaction's batch not at all.
      EXPECT_EQ(n, kRowsPerBatch) << "batch " << batch;
      EXPECT_LE(batch, sc.openTxn ? acked - 1 : acked) << "batch " << batch;
    }
    Close(check);
  }
}

INSTANTIATE_TEST_SUITE_P(Builds, DmRobust,
                         ::testing::Values(DmBuild{"w", "kes_w"}, DmBuild{"a", "kes_a"}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
