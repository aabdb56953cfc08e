// shared_handles_e2e_test.cpp -- one connection and one statement shared by several
// threads on each driver library loaded directly, so that nothing serialises the calls
// before the driver: one thread runs failing and succeeding statements and closes the
// cursor, others read and consume the statement's diagnostics, read the connection's,
// allocate, use and free statements of the same connection, and run on the shared
// statement too. Every call answers what ODBC allows (a busy connection refuses or
// waits), and the sanitizers find nothing.

#include <atomic>
#include <chrono>
#include <functional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "direct_api.h"
#include "e2e_db.h"

namespace {

class SharedHandles : public DmTest {
 public:
  static void SetUpTestSuite() {
    DmTest::SetUpTestSuite();
    MakeDatabase("kes_shared", "shareddb");
  }
};

TEST_P(SharedHandles, ThreadsOnOneConnectionAndOneStatement) {
  const DirectApi api(GetParam());
  SQLHENV env = api.NewEnv();
  SQLHDBC dbc = api.Connect(env, std::string("DSN=") + GetParam().dsn +
                                     ";DATABASE=shareddb@kes_shared");
  ASSERT_NE(dbc, nullptr);
  SQLHSTMT shared = nullptr;
  ASSERT_EQ(api.AllocHandle(SQL_HANDLE_STMT, dbc, &shared), SQL_SUCCESS);

  // What a call may answer on a connection that other threads use at the same time.
  const std::set<SQLRETURN> allowed = {SQL_SUCCESS, SQL_SUCCESS_WITH_INFO, SQL_ERROR,
                                       SQL_NO_DATA, SQL_STILL_EXECUTING};
  std::atomic<int> unexpected{0};
  std::atomic<long> calls{0};
  auto check = [&](SQLRETURN rc) {
    ++calls;
    if (allowed.count(rc) == 0) ++unexpected;
  };
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(1500);
  auto loop = [&](const std::function<void()>& body) {
    return std::thread([&, body] {
      while (std::chrono::steady_clock::now() < until) body();
    });
  };

  std::vector<std::thread> threads;
  // Statements that fail (leaving server messages) and succeed, then a close.
  threads.push_back(loop([&] {
    check(api.ExecDirect(shared, "select * from no_such_table"));
    check(api.FreeStmt(shared, SQL_CLOSE));
    check(api.ExecDirect(shared, "select tabname from systables where tabid < 5"));
    check(api.Fetch(shared));
    check(api.FreeStmt(shared, SQL_CLOSE));
  }));
  // A second thread on the same statement.
  threads.push_back(loop([&] {
    check(api.ExecDirect(shared, "update no_such_table set x = 1"));
    check(api.FreeStmt(shared, SQL_CLOSE));
  }));
  // Readers of the shared statement's diagnostics, one of them consuming them.
  threads.push_back(loop([&] {
    (void)api.DiagRec(SQL_HANDLE_STMT, shared, 1);
    (void)api.DiagRec(SQL_HANDLE_STMT, shared, 2);
    ++calls;
  }));
  threads.push_back(loop([&] {
    (void)api.Error(shared);
    ++calls;
  }));
  // The connection's diagnostics, and statements of its own on the same connection.
  threads.push_back(loop([&] {
    (void)api.DiagRec(SQL_HANDLE_DBC, dbc, 1);
    SQLHSTMT own = nullptr;
    const SQLRETURN rc = api.AllocHandle(SQL_HANDLE_STMT, dbc, &own);
    check(rc);
    if (rc != SQL_SUCCESS) return;
    check(api.ExecDirect(own, "select tabid from systables where tabid = 1"));
    check(api.Fetch(own));
    (void)api.DiagRec(SQL_HANDLE_STMT, own, 1);
    check(api.FreeHandle(SQL_HANDLE_STMT, own));
  }));
  for (auto& t : threads) t.join();

  EXPECT_EQ(unexpected.load(), 0);
  EXPECT_GT(calls.load(), 100);
  // The connection is whole afterwards.
  ASSERT_EQ(api.FreeStmt(shared, SQL_CLOSE), SQL_SUCCESS);
  EXPECT_EQ(api.ExecDirect(shared, "select tabid from systables where tabid = 1"), SQL_SUCCESS);
  EXPECT_EQ(api.Fetch(shared), SQL_SUCCESS);
  EXPECT_EQ(api.FreeHandle(SQL_HANDLE_STMT, shared), SQL_SUCCESS);
  api.Release(env, dbc);
}

KES_E2E_BUILDS(SharedHandles);

}  // namespace
