// stop_e2e_test.cpp -- a statement that would run for many seconds, stopped: SQLCancel
// from another thread ends it with HY008, and a query timeout ends it with HYT00 once
// the timeout expires; the statement and its connection go on working afterwards. Each
// driver library is loaded directly, so that the cancel reaches the driver while the
// statement's call runs.

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "direct_api.h"
#include "e2e_db.h"

namespace {

// Many seconds of work on six copies of the system catalog.
const char* const kSlow =
    "select count(*) from systables a, systables b, systables c, systables d, systables e, "
    "systables f where a.tabid + b.tabid + c.tabid + d.tabid + e.tabid + f.tabid > 0";

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

class StopRunning : public DmTest {
 public:
  static void SetUpTestSuite() {
    DmTest::SetUpTestSuite();
    MakeDatabase("kes_stop", "stopdb");
  }

 protected:
  void SetUp() override {
    DmTest::SetUp();
    denv_ = api_.NewEnv();
    conn_ = api_.Connect(denv_, std::string("DSN=") + GetParam().dsn + ";DATABASE=stopdb@kes_stop");
    ASSERT_NE(conn_, nullptr);
    ASSERT_EQ(api_.AllocHandle(SQL_HANDLE_STMT, conn_, &stmt_), SQL_SUCCESS);
  }
  void TearDown() override {
    if (stmt_ != nullptr) {
      EXPECT_EQ(api_.FreeHandle(SQL_HANDLE_STMT, stmt_), SQL_SUCCESS);
    }
    if (conn_ != nullptr) api_.Release(denv_, conn_);
    DmTest::TearDown();
  }
  // The slow statement run to its first row: the call's answer.
  SQLRETURN RunSlow() {
    SQLRETURN rc = api_.ExecDirect(stmt_, kSlow);
    if (SQL_SUCCEEDED(rc)) rc = api_.Fetch(stmt_);
    return rc;
  }
  // A short statement on the same statement handle still runs.
  void ExpectStillWorking() {
    ASSERT_EQ(api_.FreeStmt(stmt_, SQL_CLOSE), SQL_SUCCESS);
    EXPECT_EQ(api_.ExecDirect(stmt_, "select count(*) from systables a, systables b"),
              SQL_SUCCESS)
        << api_.DiagRec(SQL_HANDLE_STMT, stmt_);
    EXPECT_EQ(api_.Fetch(stmt_), SQL_SUCCESS);
    EXPECT_EQ(api_.FreeStmt(stmt_, SQL_CLOSE), SQL_SUCCESS);
  }

  DirectApi api_{GetParam()};
  SQLHENV denv_ = nullptr;
  SQLHDBC conn_ = nullptr;
  SQLHSTMT stmt_ = nullptr;
};

TEST_P(StopRunning, CancelFromAnotherThreadEndsTheStatement) {
  std::atomic<bool> done{false};
  SQLRETURN rc = SQL_SUCCESS;
  const Clock::time_point started = Clock::now();
  std::thread runner([&] {
    rc = RunSlow();
    done = true;
  });
  // Cancelled about every 100 ms until it ends: a cancel that comes before the call
  // starts running closes an idle statement and changes nothing.
  while (!done.load() && Seconds(started) < 30) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    if (!done.load()) {
      EXPECT_TRUE(SQL_SUCCEEDED(api_.Cancel(stmt_)));
    }
  }
  runner.join();
  EXPECT_LT(Seconds(started), 5.0);
  EXPECT_EQ(rc, SQL_ERROR);
  EXPECT_EQ(api_.State(SQL_HANDLE_STMT, stmt_), "HY008") << api_.DiagRec(SQL_HANDLE_STMT, stmt_);
  ExpectStillWorking();
}

TEST_P(StopRunning, QueryTimeoutEndsTheStatement) {
  ASSERT_EQ(api_.SetStmtAttr(stmt_, SQL_ATTR_QUERY_TIMEOUT, (SQLPOINTER)1), SQL_SUCCESS)
      << api_.DiagRec(SQL_HANDLE_STMT, stmt_);
  SQLULEN timeout = 0;
  ASSERT_EQ(api_.GetStmtAttr(stmt_, SQL_ATTR_QUERY_TIMEOUT, &timeout), SQL_SUCCESS);
  EXPECT_EQ(timeout, 1u);
  const Clock::time_point started = Clock::now();
  EXPECT_EQ(RunSlow(), SQL_ERROR);
  const double took = Seconds(started);
  EXPECT_GE(took, 0.9);
  EXPECT_LT(took, 5.0);
  EXPECT_EQ(api_.State(SQL_HANDLE_STMT, stmt_), "HYT00") << api_.DiagRec(SQL_HANDLE_STMT, stmt_);
  // A statement shorter than the timeout is not touched by it.
  ExpectStillWorking();
}

KES_E2E_BUILDS(StopRunning);

}  // namespace
