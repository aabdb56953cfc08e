// DTC enlistment of a connection of the whole driver with the stand-in
// coordinator: the work of an enlisted connection runs in the coordinator's
// transaction, the connection waits while the transaction is in doubt (also
// across a commit the server asks to retry), and a failed enlistment leaves the
// connection as it was.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "driver_support.h"
#include "odbc_calls.h"
#include "platform/dtc/dtc_testing.h"

namespace {

class EnlistTest : public DriverTest {
 protected:
  ITransaction* begin() {
    GUID id{0xD7C00000u + static_cast<uint32_t>(++serial_), 1, 2, {3, 4, 5, 6, 7, 8, 9, 10}};
    return DtcTestBegin(&id);
  }
  SQLRETURN enlist(SQLHDBC dbc, ITransaction* tx) { return EnlistInDtc(dbc, tx); }
  // An application's call on the connection from another thread waits while
  // the branch is in doubt, however long that takes, and is answered once
  // `decide` has ended the doubt.
  template <class Decide>
  void expectCallWaitsUntil(SQLHDBC dbc, Decide decide) {
    std::atomic<bool> answered{false};
    std::thread app([&] {
      SQLCHAR name[64];
      SQLSMALLINT len = 0;
      EXPECT_EQ(SQLGetInfo(dbc, SQL_DBMS_NAME, name, sizeof name, &len), SQL_SUCCESS);
      answered = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_FALSE(answered.load());
    decide();
    app.join();
    EXPECT_TRUE(answered.load());
  }
  int serial_ = 0;
};

TEST_F(EnlistTest, WorkCommitsWithTheTransactionAndCallsWaitWhileItIsInDoubt) {
  SQLHDBC dbc = connect("DSN=xa1;UID=;PWD=;");
  ASSERT_NE(dbc, nullptr);
  ITransaction* tx = begin();
  ASSERT_EQ(enlist(dbc, tx), SQL_SUCCESS) << State(SQL_HANDLE_DBC, dbc);
  ASSERT_EQ(exec(dbc, "insert into t values (10, 'enlisted')"), SQL_SUCCESS);
  ASSERT_EQ(DtcTestPrepare(tx), S_OK);

  expectCallWaitsUntil(dbc, [&] { EXPECT_EQ(DtcTestCommit(tx), S_OK); });
  EXPECT_EQ(rows("xa1", "where a = 10"), 1);

  // Unenlisting closes the branch and gives the connection its session back.
  EXPECT_EQ(enlist(dbc, nullptr), SQL_SUCCESS) << State(SQL_HANDLE_DBC, dbc);
  EXPECT_EQ(exec(dbc, "delete from t where a = 10"), SQL_SUCCESS);
  disconnect(dbc);
  DtcTestRelease(tx);
}

TEST_F(EnlistTest, AnAbortedTransactionTakesItsWorkAlong) {
  SQLHDBC dbc = connect("DSN=xa1;");
  ASSERT_NE(dbc, nullptr);
  ITransaction* tx = begin();
  ASSERT_EQ(enlist(dbc, tx), SQL_SUCCESS) << State(SQL_HANDLE_DBC, dbc);
  ASSERT_EQ(exec(dbc, "insert into t values (11, 'aborted')"), SQL_SUCCESS);
  EXPECT_EQ(DtcTestAbort(tx), XACT_E_ABORTED);
  EXPECT_EQ(DtcTestOutcome(tx, 0, 2), S_OK);
  EXPECT_EQ(rows("xa1", "where a = 11"), 0);
  EXPECT_EQ(enlist(dbc, nullptr), SQL_SUCCESS);
  disconnect(dbc);
  DtcTestRelease(tx);
}

TEST_F(EnlistTest, TheConnectionStaysWhileTheCoordinatorHoldsItsBranch) {
  SQLHDBC dbc = connect("DSN=xa1;");
  ASSERT_NE(dbc, nullptr);
  ITransaction* tx = begin();
  ASSERT_EQ(enlist(dbc, tx), SQL_SUCCESS) << State(SQL_HANDLE_DBC, dbc);
  EXPECT_EQ(SQLDisconnect(dbc), SQL_ERROR);
  EXPECT_EQ(State(SQL_HANDLE_DBC, dbc).substr(0, 5), "25000");
  EXPECT_EQ(DtcTestAbort(tx), XACT_E_ABORTED);
  disconnect(dbc);
  DtcTestRelease(tx);
}

TEST_F(EnlistTest, AFailedEnlistmentLeavesTheConnectionAsItWas) {
  // The branch cannot be opened: its open string would be too long.
  SQLHDBC dbc = connect("DSN=xa_long;");
  ASSERT_NE(dbc, nullptr);
  ITransaction* tx = begin();
  EXPECT_EQ(enlist(dbc, tx), SQL_ERROR);
  EXPECT_EQ(State(SQL_HANDLE_DBC, dbc).substr(0, 5), "IM932");
  EXPECT_EQ(DtcTestMembers(tx), 0);
  EXPECT_EQ(exec(dbc, "select a from t"), SQL_SUCCESS);
  disconnect(dbc);
  DtcTestRelease(tx);
}

TEST_F(EnlistTest, AValueHoldingASemicolonCannotReachTheCoordinatorsConnectText) {
  // The coordinator reconnects with DSN=...;UID=...;PWD=...; for recovery: a ';'
  // in a value would add keywords of its own.
  SQLHDBC dbc = connect("DSN=xa1;UID=u;PWD={p;DATABASE=two@xa_two};");
  ASSERT_NE(dbc, nullptr);
  const int before = DtcTestResourceManagers();
  ITransaction* tx = begin();
  EXPECT_EQ(enlist(dbc, tx), SQL_ERROR);
  EXPECT_EQ(State(SQL_HANDLE_DBC, dbc).substr(0, 5), "IM932");
  EXPECT_EQ(DtcTestResourceManagers(), before);
  EXPECT_EQ(exec(dbc, "select a from t"), SQL_SUCCESS);
  disconnect(dbc);
  DtcTestRelease(tx);
}

TEST_F(EnlistTest, ACommitThatMustBeRetriedKeepsTheConnectionHeld) {
  SQLHDBC dbc = connect("DSN=xa1;");
  SQLHDBC other = connect("DSN=xa1;");
  ASSERT_NE(dbc, nullptr);
  ASSERT_NE(other, nullptr);
  ASSERT_EQ(exec(other, "create table u (a integer)"), SQL_SUCCESS);
  ITransaction* tx = begin();
  ASSERT_EQ(enlist(dbc, tx), SQL_SUCCESS) << State(SQL_HANDLE_DBC, dbc);
  ASSERT_EQ(exec(dbc, "insert into t values (12, 'retried')"), SQL_SUCCESS);
  ASSERT_EQ(DtcTestPrepare(tx), S_OK);
  // Another session holds the database's write lock past the commit's wait:
  // the server answers XA_RETRY and the branch stays prepared.
  ASSERT_EQ(SQLSetConnectAttr(other, SQL_ATTR_AUTOCOMMIT, (SQLPOINTER)SQL_AUTOCOMMIT_OFF, 0),
            SQL_SUCCESS);
  ASSERT_EQ(exec(other, "insert into u values (1)"), SQL_SUCCESS);
  EXPECT_EQ(DtcTestCommit(tx), E_FAIL);
  EXPECT_EQ(DtcTestOutcome(tx, 0, 1), E_FAIL);

  expectCallWaitsUntil(dbc, [&] {
    EXPECT_EQ(SQLEndTran(SQL_HANDLE_DBC, other, SQL_ROLLBACK), SQL_SUCCESS);
    EXPECT_EQ(DtcTestCommit(tx), S_OK);
  });
  EXPECT_EQ(rows("xa1", "where a = 12"), 1);

  EXPECT_EQ(enlist(dbc, nullptr), SQL_SUCCESS);
  EXPECT_EQ(exec(dbc, "delete from t where a = 12"), SQL_SUCCESS);
  disconnect(dbc);
  disconnect(other);
  DtcTestRelease(tx);
}

TEST_F(EnlistTest, ANewEnlistmentNeverStrandsABranchTheCoordinatorStillHolds) {
  SQLHDBC dbc = connect("DSN=xa1;");
  ASSERT_NE(dbc, nullptr);
  ITransaction* first = begin();
  ASSERT_EQ(enlist(dbc, first), SQL_SUCCESS) << State(SQL_HANDLE_DBC, dbc);
  ASSERT_EQ(exec(dbc, "insert into t values (13, 'first')"), SQL_SUCCESS);
  // The application leaves before the coordinator decided; the branch is the
  // coordinator's until then, so a second transaction cannot have the
  // connection.
  ASSERT_EQ(enlist(dbc, nullptr), SQL_SUCCESS);
  ITransaction* second = begin();
  EXPECT_EQ(enlist(dbc, second), SQL_ERROR);
  EXPECT_EQ(State(SQL_HANDLE_DBC, dbc).substr(0, 5), "IM932");
  // The first transaction still completes its branch.
  EXPECT_EQ(DtcTestCommit(first), S_OK);
  EXPECT_EQ(rows("xa1", "where a = 13"), 1);
  EXPECT_EQ(exec(dbc, "delete from t where a = 13"), SQL_SUCCESS);
  disconnect(dbc);
  DtcTestRelease(first);
  DtcTestRelease(second);
}

TEST_F(EnlistTest, AnotherTransactionWaitsForTheBranchInProgressThenGetsTheConnection) {
  SQLHDBC dbc = connect("DSN=xa1;");
  ASSERT_NE(dbc, nullptr);
  ITransaction* first = begin();
  ITransaction* second = begin();
  ASSERT_EQ(enlist(dbc, first), SQL_SUCCESS) << State(SQL_HANDLE_DBC, dbc);
  EXPECT_EQ(enlist(dbc, first), SQL_SUCCESS);  // already in it
  ASSERT_EQ(exec(dbc, "insert into t values (16, 'first')"), SQL_SUCCESS);
  // While the first transaction has not decided, the second cannot have the
  // connection, and a refused disconnect leaves the enlistment as it was.
  EXPECT_EQ(enlist(dbc, second), SQL_ERROR);
  EXPECT_EQ(State(SQL_HANDLE_DBC, dbc).substr(0, 5), "25000");
  EXPECT_EQ(SQLDisconnect(dbc), SQL_ERROR);
  EXPECT_EQ(enlist(dbc, second), SQL_ERROR);
  EXPECT_EQ(DtcTestMembers(second), 0);
  ASSERT_EQ(DtcTestPrepare(first), S_OK);
  ASSERT_EQ(DtcTestCommit(first), S_OK);
  EXPECT_EQ(rows("xa1", "where a = 16"), 1);

  // Decided: the next transaction takes the connection without unenlisting.
  ASSERT_EQ(enlist(dbc, second), SQL_SUCCESS) << State(SQL_HANDLE_DBC, dbc);
  EXPECT_EQ(DtcTestMembers(second), 1);
  ASSERT_EQ(exec(dbc, "insert into t values (17, 'second')"), SQL_SUCCESS);
  EXPECT_EQ(DtcTestAbort(second), XACT_E_ABORTED);
  EXPECT_EQ(rows("xa1", "where a = 17"), 0);
  EXPECT_EQ(exec(dbc, "delete from t where a = 16"), SQL_SUCCESS);
  disconnect(dbc);
  DtcTestRelease(first);
  DtcTestRelease(second);
}

TEST_F(EnlistTest, ABranchNoOutcomeCanReachAnyMoreIsRolledBack) {
  SQLHDBC dbc = connect("DSN=xa1;");
  ASSERT_NE(dbc, nullptr);
  ITransaction* tx = begin();
  ASSERT_EQ(enlist(dbc, tx), SQL_SUCCESS) << State(SQL_HANDLE_DBC, dbc);
  ASSERT_EQ(exec(dbc, "insert into t values (14, 'abandoned')"), SQL_SUCCESS);
  // The coordinator lets the resource go without an outcome, then the
  // application leaves: nobody can end the branch after this.
  DtcTestRelease(tx);
  ASSERT_EQ(enlist(dbc, nullptr), SQL_SUCCESS);
  // Its work is gone and its lock with it.
  EXPECT_EQ(rows("xa1", "where a = 14"), 0);
  EXPECT_EQ(exec(dbc, "insert into t values (15, 'after')"), SQL_SUCCESS);
  EXPECT_EQ(exec(dbc, "delete from t where a = 15"), SQL_SUCCESS);
  disconnect(dbc);
}

}  // namespace
