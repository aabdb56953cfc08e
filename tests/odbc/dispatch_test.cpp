// dispatch_test.cpp -- one call at a time per connection: refusals while a
// call is in progress on another thread, diagnostics and allocations that wait, SQLCancel, teardown with a call in
// progress, and the argument trace.

#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

#include "drv/errtab.h"
#include "fake_backend.h"
#include "odbc/dispatch.h"
#include "odbc/stmt.h"

namespace {

class DispatchTest : public CoreTest {
 protected:
  void SetUp() override {
    CoreTest::SetUp();
    env_ = NewEnv();
    dbc_ = Connected(env_);
    ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &busy_), SQL_SUCCESS);
    ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &other_), SQL_SUCCESS);
  }
  void TearDown() override {
    if (worker_.joinable()) {
      latch_.Open();
      worker_.join();
    }
    CoreTest::TearDown();
  }

  Stmt* Record(SQLHSTMT h) { return static_cast<Stmt*>(HandleLookup(&StmtHandles, HandleOf(h))); }

  // Runs a call on `busy_` in another thread that stays inside the back end
  // until the latch opens. Reading the row count diagnostic goes to the back end.
  void StartBlockedCall() {
    latch_.Arm();
    Fake().blockRowCount = &latch_;
    worker_ = std::thread([this] {
      SQLLEN rows = 0;
      workerRc_ = SQLGetDiagField(SQL_HANDLE_STMT, busy_, 0, SQL_DIAG_ROW_COUNT, &rows, 0, nullptr);
    });
    latch_.WaitEntered();
  }
  SQLRETURN FinishBlockedCall() {
    latch_.Open();
    worker_.join();
    return workerRc_;
  }

  SQLHENV env_ = nullptr;
  SQLHDBC dbc_ = nullptr;
  SQLHSTMT busy_ = nullptr;
  SQLHSTMT other_ = nullptr;
  Latch latch_;
  std::thread worker_;
  SQLRETURN workerRc_ = SQL_ERROR;
};

TEST_F(DispatchTest, SecondCallOnABusyConnectionIsRefusedAtOnce) {
  // Both statements carry a diagnostic from an earlier call.
  ASSERT_EQ(SQLFreeStmt(busy_, 9), SQL_ERROR);
  ASSERT_EQ(SQLFreeStmt(other_, 9), SQL_ERROR);
  StmtAddDiag(Record(other_), "[Informix Server]earlier[SQLSTATE:42000]", -1);
  StartBlockedCall();

  // The busy statement itself: still executing, and nothing is written.
  EXPECT_EQ(SQLFreeStmt(busy_, SQL_CLOSE), SQL_STILL_EXECUTING);
  // Diagnostics are never refused: they wait for the call in progress.
  std::atomic<int> finished{0};
  SQLRETURN diagRc = SQL_ERROR;
  SQLCHAR state[6] = {};
  std::thread reader([&] {
    SQLINTEGER native;
    SQLSMALLINT len;
    diagRc = SQLGetDiagRec(SQL_HANDLE_STMT, busy_, 1, state, &native, nullptr, 0, &len);
    ++finished;
  });
  // Any other call gets S1010 in place of what the record held.
  EXPECT_EQ(SQLFreeStmt(other_, SQL_CLOSE), SQL_ERROR);
  SQLUINTEGER v = 0;
  EXPECT_EQ(SQLGetConnectAttr(dbc_, SQL_ATTR_LOGIN_TIMEOUT, &v, 0, nullptr), SQL_ERROR);
  // Environment calls do not wait for the connection.
  SQLINTEGER ver = 0;
  EXPECT_EQ(SQLGetEnvAttr(env_, SQL_ATTR_ODBC_VERSION, &ver, 0, nullptr), SQL_SUCCESS);

  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(finished.load(), 0);
  EXPECT_EQ(FinishBlockedCall(), SQL_SUCCESS);
  reader.join();
  EXPECT_TRUE(SQL_SUCCEEDED(diagRc));
  EXPECT_STREQ(reinterpret_cast<const char*>(state), "HY092");
  EXPECT_EQ(State(SQL_HANDLE_STMT, busy_), "HY092");
  EXPECT_EQ(State(SQL_HANDLE_STMT, other_), "HY010");
  EXPECT_EQ(State(SQL_HANDLE_STMT, other_, 2), "NO_DATA");
  EXPECT_EQ(State(SQL_HANDLE_DBC, dbc_), "HY010");
  // The connection is free again.
  EXPECT_EQ(SQLFreeStmt(other_, SQL_CLOSE), SQL_SUCCESS);
}

// Allocation may never answer SQL_STILL_EXECUTING: on a busy connection it waits for
// the call in progress, then allocates.
TEST_F(DispatchTest, AllocationWaitsForTheConnection) {
  StartBlockedCall();
  std::atomic<bool> finished{false};
  SQLRETURN rc = SQL_ERROR;
  SQLHSTMT late = nullptr;
  std::thread allocator([&] {
    rc = SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &late);
    finished = true;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_FALSE(finished.load());
  EXPECT_EQ(FinishBlockedCall(), SQL_SUCCESS);
  allocator.join();
  EXPECT_EQ(rc, SQL_SUCCESS);
  EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_STMT, late), SQL_SUCCESS);
}

// Calls that wait for the connection hold on to it: a connection freed by the call
// they waited for answers them SQL_INVALID_HANDLE, its memory gone only after them.
TEST_F(DispatchTest, CallsWaitingWhileTheConnectionIsFreedFindItGone) {
  Record(other_)->state = STMT_STATE_PREPARED;
  latch_.Arm();
  Fake().blockCloseCursor = &latch_;
  SQLRETURN freeRc = SQL_ERROR;
  worker_ = std::thread([&] { freeRc = SQLFreeHandle(SQL_HANDLE_DBC, dbc_); });
  latch_.WaitEntered();

  SQLRETURN rcs[3] = {SQL_SUCCESS, SQL_SUCCESS, SQL_SUCCESS};
  std::vector<std::thread> waiting;
  waiting.emplace_back([&] {
    SQLCHAR state[6];
    rcs[0] = SQLGetDiagRec(SQL_HANDLE_DBC, dbc_, 1, state, nullptr, nullptr, 0, nullptr);
  });
  waiting.emplace_back([&] {
    SQLCHAR state[6];
    rcs[1] = SQLGetDiagRec(SQL_HANDLE_STMT, busy_, 1, state, nullptr, nullptr, 0, nullptr);
  });
  waiting.emplace_back([&] {
    SQLHSTMT late = nullptr;
    rcs[2] = SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &late);
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  // The environment cannot go while calls wait on one of its connections.
  EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_ENV, env_), SQL_ERROR);
  latch_.Open();
  worker_.join();
  for (auto& t : waiting) t.join();
  EXPECT_EQ(freeRc, SQL_SUCCESS);
  for (SQLRETURN rc : rcs) EXPECT_EQ(rc, SQL_INVALID_HANDLE);
  EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_ENV, env_), SQL_SUCCESS);
}

TEST_F(DispatchTest, CancelOfTheRunningStatementReachesTheBackEnd) {
  Record(busy_)->state = STMT_STATE_PREPARED;
  StartBlockedCall();
  EXPECT_EQ(SQLCancel(busy_), SQL_SUCCESS);
  char expected[32];
  snprintf(expected, sizeof expected, "Cancel %X", Record(busy_)->st_hCursor);
  EXPECT_TRUE(Fake().Called(expected));
  // Another statement of the busy session is left alone.
  Record(other_)->state = STMT_STATE_PREPARED;
  EXPECT_EQ(SQLCancel(other_), SQL_SUCCESS);
  EXPECT_EQ(Record(other_)->state, STMT_STATE_PREPARED);
  FinishBlockedCall();
  Record(busy_)->state = STMT_STATE_ALLOCATED;
}

TEST_F(DispatchTest, CancelOfAnIdleStatementClosesIt) {
  Record(busy_)->state = STMT_STATE_PREPARED;
  Fake().Reset();
  EXPECT_EQ(SQLCancel(busy_), SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(State(SQL_HANDLE_STMT, busy_), "01S05");
  EXPECT_TRUE(Fake().Called("CloseCursor"));
  EXPECT_FALSE(Fake().Called("Cancel"));
  EXPECT_EQ(SQLCancel(nullptr), SQL_INVALID_HANDLE);
}

TEST_F(DispatchTest, TeardownWithACallInProgressKeepsTheLayerAlive) {
  StartBlockedCall();
  EXPECT_EQ(HandlesTerm(), 1);
  SQLHENV env = nullptr;
  EXPECT_EQ(SQLAllocHandle(SQL_HANDLE_ENV, nullptr, &env), SQL_ERROR);
  // The call in progress finishes on the locks and tables it started with.
  EXPECT_EQ(FinishBlockedCall(), SQL_SUCCESS);
  ASSERT_EQ(HandlesInit(), 0);
}

TEST(TraceArgs, IntegerConversionsPrintThe32BitsTheyMean) {
  struct Case {
    const char* format;
    std::vector<CallSlot> slots;
    const char* expected;
  };
  const Case cases[] = {
      {"a=%ld b=%lX",
       {Slot(int64_t{-1}), Slot(uint64_t{0x1234567890ABCDEFull})},
       "a=-1 b=90ABCDEF"},
      {"x=%08lX u=%u d=%d",
       {Slot(uint32_t{0xAB}), Slot(int16_t{-2}), Slot(int16_t{-2})},
       "x=000000AB u=4294967294 d=-2"},
      {"more=%d %d", {Slot(7)}, "more=7 0"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.format);
    char buf[64];
    FormatTraceArgs(buf, sizeof buf, c.format, c.slots.data(), c.slots.size());
    EXPECT_STREQ(buf, c.expected);
  }
  char small[8];
  const CallSlot one[] = {Slot(123456789)};
  FormatTraceArgs(small, sizeof small, "v=%d", one, 1);
  EXPECT_STREQ(small, "v=12345");
}

}  // namespace
