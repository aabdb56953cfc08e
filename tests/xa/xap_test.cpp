// The XA proxy over a recording table: which thread runs what, the worker's
// life across opens and disconnects, and hand-overs that must not wait for a
// worker that has stopped.

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "drv/errtab.h"
#include "drv/xa_types.h"
#include "proxy_fake.h"
#include "xa/xap.h"

namespace {

class ProxyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(ops_, nullptr);
    ResetFake();
  }
  void TearDown() override { ResetFake(); }
  uint32_t threadOf(const std::string& op, size_t nth = 0) {
    std::vector<ProxyCall> c = CallsOf(op);
    return nth < c.size() ? c[nth].thread : 0;
  }
  const DriverOps* ops_ = ProxyOps();
  XID xid_{};
};

TEST(ProxyInstall, RecordWithoutCapabilitiesIsLeftAlone) {
  DriverOps below{};
  DriverRecord rec{0, &below};
  EXPECT_EQ(XAP_Install(&rec), ERR_NOT_CAPABLE);
  EXPECT_EQ(rec.ops, &below);
}

TEST_F(ProxyTest, WithoutAnOpenEverythingRunsOnTheCaller) {
  EXPECT_EQ(ops_->DRV_Prepare(FakeCursor(0), "select 1"), 0);
  EXPECT_EQ(threadOf("Prepare select 1"), ThisThread());
  EXPECT_EQ(ops_->DRV_XaCommit(FakeConn(0), &xid_, 1, TMNOFLAGS), XAER_INVAL);
  EXPECT_TRUE(CallsOf("XaCommit").empty());
  // Handles the table below does not know.
  EXPECT_EQ(ops_->DRV_Prepare(FakeCursor(9), "x"), ERR_ARGUMENT);
  EXPECT_EQ(ops_->DRV_XaOpen(FakeConn(9), 1, "", 1, TMNOFLAGS), XAER_INVAL);
  EXPECT_EQ(ops_->DRV_EndConnect(FakeConn(9)), ERR_ARGUMENT);
}

TEST_F(ProxyTest, AnOpenBranchRunsOnItsWorkerAndXaCallsStayThere) {
  ASSERT_EQ(ops_->DRV_XaOpen(FakeConn(0), 1, "", 1, TMNOFLAGS), XA_OK);
  const uint32_t worker = threadOf("XaOpen 1");
  ASSERT_NE(worker, 0u);
  EXPECT_NE(worker, ThisThread());
  DrvHandle cursor = 0;
  EXPECT_EQ(ops_->DRV_AllocCursor(FakeConn(0), &cursor), 0);
  EXPECT_EQ(ops_->DRV_Prepare(cursor, "insert"), 0);
  EXPECT_EQ(ops_->DRV_Fetch(cursor, 5, nullptr), 0);
  EXPECT_EQ(ops_->DRV_MoreResults(cursor), ERR_NO_MORE_RESULTS);  // the result comes back
  EXPECT_EQ(threadOf("AllocCursor"), worker);
  EXPECT_EQ(threadOf("Prepare insert"), worker);
  EXPECT_EQ(threadOf("Fetch 5"), worker);

  ASSERT_EQ(ops_->DRV_XaClose(FakeConn(0), "", 1, TMNOFLAGS), XA_OK);
  EXPECT_EQ(threadOf("XaClose 1"), worker);
  // The branch is closed: statements come back to the caller, XA calls do not.
  EXPECT_EQ(ops_->DRV_Prepare(cursor, "after"), 0);
  EXPECT_EQ(threadOf("Prepare after"), ThisThread());
  EXPECT_EQ(ops_->DRV_XaCommit(FakeConn(0), &xid_, 1, TMNOFLAGS), XA_OK);
  EXPECT_EQ(threadOf("XaCommit"), worker);
  EXPECT_EQ(ops_->DRV_EndConnect(FakeConn(0)), 0);
}

TEST_F(ProxyTest, WithoutAWorkerEverythingRunsOnTheCaller) {
  ASSERT_EQ(ops_->DRV_XaOpen(FakeConn(0), 0, "", 1, TMNOFLAGS), XA_OK);
  EXPECT_EQ(ops_->DRV_Prepare(FakeCursor(0), "in branch"), 0);
  EXPECT_EQ(ops_->DRV_XaEnd(FakeConn(0), &xid_, 1, TMSUCCESS), XA_OK);
  for (const char* op : {"XaOpen 1", "Prepare in branch", "XaEnd"}) {
    SCOPED_TRACE(op);
    EXPECT_EQ(threadOf(op), ThisThread());
  }
}

TEST_F(ProxyTest, EveryOpenOfThisBackEndStartsAFreshWorker) {
  ASSERT_EQ(ops_->DRV_XaOpen(FakeConn(0), 1, "", 1, TMNOFLAGS), XA_OK);
  ASSERT_EQ(ops_->DRV_XaClose(FakeConn(0), "", 1, TMNOFLAGS), XA_OK);
  ASSERT_EQ(ops_->DRV_XaOpen(FakeConn(0), 1, "", 2, TMNOFLAGS), XA_OK);
  const uint32_t second = threadOf("XaOpen 2");
  EXPECT_NE(second, threadOf("XaOpen 1"));
  EXPECT_EQ(ops_->DRV_Prepare(FakeCursor(0), "next"), 0);
  EXPECT_EQ(threadOf("Prepare next"), second);
  // The back end is asked once, at the connection's first open.
  EXPECT_EQ(CallsOf("GetInfo keep").size(), 1u);
}

TEST_F(ProxyTest, AnOpenOverAnOpenBranchLeavesItsWorkerInPlace) {
  ASSERT_EQ(ops_->DRV_XaOpen(FakeConn(0), 1, "", 1, TMNOFLAGS), XA_OK);
  const uint32_t worker = threadOf("XaOpen 1");
  EXPECT_EQ(ops_->DRV_XaOpen(FakeConn(0), 1, "", 2, TMNOFLAGS), XAER_PROTO);
  EXPECT_TRUE(CallsOf("XaOpen 2").empty());
  EXPECT_EQ(ops_->DRV_Prepare(FakeCursor(0), "still"), 0);
  EXPECT_EQ(threadOf("Prepare still"), worker);
  ASSERT_EQ(ops_->DRV_XaClose(FakeConn(0), "", 1, TMNOFLAGS), XA_OK);
  EXPECT_EQ(threadOf("XaClose 1"), worker);
}

TEST_F(ProxyTest, ABackEndThatKeepsItsWorkerKeepsItAcrossOpens) {
  Fake().keepWorker = 1;
  ASSERT_EQ(ops_->DRV_XaOpen(FakeConn(1), 1, "", 1, TMNOFLAGS), XA_OK);
  ASSERT_EQ(ops_->DRV_XaClose(FakeConn(1), "", 1, TMNOFLAGS), XA_OK);
  ASSERT_EQ(ops_->DRV_XaOpen(FakeConn(1), 0, "", 2, TMNOFLAGS), XA_OK);
  EXPECT_EQ(threadOf("XaOpen 2"), threadOf("XaOpen 1"));
}

TEST_F(ProxyTest, ARefusedDisconnectKeepsTheWorkerUntilOneSucceeds) {
  ASSERT_EQ(ops_->DRV_XaOpen(FakeConn(0), 1, "", 1, TMNOFLAGS), XA_OK);
  const uint32_t worker = threadOf("XaOpen 1");
  Fake().endConnectCode = ERR_TXN_STATE;
  EXPECT_EQ(ops_->DRV_EndConnect(FakeConn(0)), ERR_TXN_STATE);
  EXPECT_EQ(threadOf("EndConnect"), ThisThread());
  EXPECT_EQ(ops_->DRV_XaEnd(FakeConn(0), &xid_, 1, TMSUCCESS), XA_OK);
  EXPECT_EQ(threadOf("XaEnd"), worker);
  Fake().endConnectCode = 0;
  EXPECT_EQ(ops_->DRV_EndConnect(FakeConn(0)), 0);
  EXPECT_EQ(ops_->DRV_XaEnd(FakeConn(0), &xid_, 1, TMSUCCESS), XAER_INVAL);
}

TEST_F(ProxyTest, TwoXaCallersRunOneAfterTheOtherOnTheWorker) {
  ASSERT_EQ(ops_->DRV_XaOpen(FakeConn(0), 1, "", 1, TMNOFLAGS), XA_OK);
  const uint32_t worker = threadOf("XaOpen 1");
  auto caller = [this] {
    XID xids[2];
    for (int i = 0; i < 20; ++i) EXPECT_EQ(ops_->DRV_XaRecover(FakeConn(0), xids, 2, 1, 0), 0);
  };
  std::thread a(caller), b(caller);
  a.join();
  b.join();
  EXPECT_EQ(Fake().mostInside.load(), 1);
  for (const ProxyCall& c : CallsOf("XaRecover")) EXPECT_EQ(c.thread, worker);
  EXPECT_EQ(CallsOf("XaRecover").size(), 40u);
}

TEST_F(ProxyTest, ACallerQueuedOnAStoppingWorkerIsRefusedNotLeftWaiting) {
  ASSERT_EQ(ops_->DRV_XaOpen(FakeConn(0), 1, "", 1, TMNOFLAGS), XA_OK);
  Fake().blockOp = "XaPrepare";
  int running = -100;
  std::thread a([&] { running = ops_->DRV_XaPrepare(FakeConn(0), &xid_, 1, TMNOFLAGS); });
  WaitBlocked();
  int queued = -100;
  std::thread b([&] { queued = ops_->DRV_XaCommit(FakeConn(0), &xid_, 1, TMNOFLAGS); });
  // The disconnect stops the worker, which ends once the running call is done.
  int32_t ended = -1;
  std::thread d([&] { ended = ops_->DRV_EndConnect(FakeConn(0)); });
  while (CallsOf("EndConnect").empty()) std::this_thread::yield();
  // Gives the disconnect time to ask the worker to stop; the outcome checked
  // below holds whichever comes first.
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  ReleaseBlocked();
  a.join();
  b.join();
  d.join();
  EXPECT_EQ(running, XA_OK);
  EXPECT_EQ(ended, 0);
  // The queued call either ran before the worker stopped, or was refused by
  // the stopped worker (or not found once the connection was gone); it never
  // waits for ever and never runs after the refusal.
  if (queued == XA_OK) {
    EXPECT_EQ(CallsOf("XaCommit").size(), 1u);
  } else {
    EXPECT_TRUE(queued == XAER_RMERR || queued == XAER_INVAL) << queued;
    EXPECT_TRUE(CallsOf("XaCommit").empty());
  }
}

}  // namespace
