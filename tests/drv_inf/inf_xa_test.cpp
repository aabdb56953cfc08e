// The agent's XA branch: what the client's xa_open is given, the ordinary
// session released before a branch and restored after it (also when the open
// or the close is refused), and the agent's local transaction control while a
// branch is open. The client switch is a recording one of the test's own that
// opens the branch's session under the name it is given, as the runtime does.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "agent_support.h"
#include "drv/errtab.h"
#include "drv/xa_types.h"
#include "platform/informix/ixr_api.h"
#include "scrs/scr_ops.h"
#include "xa/xap.h"
#include "xa_client_fake.h"

namespace {

class AgentXaTest : public AgentTest {
 protected:
  void SetUp() override {
    InfXaUseClientSwitch(FakeClientSwitch());
    FakeClientReset();
    AgentTest::SetUp();
    // The operations as the core reaches them: through the XA proxy.
    rec_ = DriverRecord{DRV_CAP_THREADSAFE, &INF_Ops};
    (void)SCR_Interpose(&rec_);
    ASSERT_EQ(XAP_Install(&rec_), 0);
  }
  bool disconnected() {
    for (const std::string& op : calls())
      if (op == "DISCONNECT") return true;
    return false;
  }
  DriverRecord rec_{};
};

TEST_F(AgentXaTest, TheOpenStringCarriesTheDataSourcesSettingsThenTheSession) {
  struct Case {
    const char* xaInfo;
    const char* prefix;
  };
  const Case cases[] = {{nullptr, ""}, {"", ""}, {"LOGTO=5", "LOGTO=5;"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.xaInfo != nullptr ? c.xaInfo : "(null)");
    FakeClientReset();
    DrvHandle conn = connect();
    const std::string name = sessionOf(conn)->name;
    ASSERT_EQ(INF_XaOpen(conn, 0, c.xaInfo, 3, TMNOFLAGS), XA_OK);
    ASSERT_EQ(FakeClientCalls().size(), 1u);
    EXPECT_EQ(FakeClientCalls()[0].text,
              std::string(c.prefix) + "DB=logged@ol_test;USER=;PASSWD=;CON=" + name + ";");
    EXPECT_EQ(FakeClientCalls()[0].rmid, 3);
    EXPECT_EQ(INF_XaClose(conn, "ignored", 3, TMNOFLAGS), XA_OK);
    // The client never sees the caller's close text.
    EXPECT_EQ(FakeClientCalls().back().text, "");
    EXPECT_EQ(INF_EndConnect(conn), 0);
  }
}

TEST_F(AgentXaTest, AnOpenStringPastTheLimitIsRefusedBeforeTheSessionIsTouched) {
  DrvHandle conn = connect();
  const std::string tail =
      "DB=logged@ol_test;USER=;PASSWD=;CON=" + std::string(sessionOf(conn)->name) + ";";
  const std::string fits(255 - tail.size() - 1, 'x');
  const std::string tooLong = fits + "x";
  ixr_test_record(true);
  EXPECT_EQ(INF_XaOpen(conn, 0, tooLong.c_str(), 1, TMNOFLAGS), XAER_INVAL);
  EXPECT_TRUE(FakeClientCalls().empty());
  EXPECT_FALSE(disconnected());
  EXPECT_EQ(exec(conn, "select a from t"), 0);

  ASSERT_EQ(INF_XaOpen(conn, 0, fits.c_str(), 1, TMNOFLAGS), XA_OK);
  ASSERT_EQ(FakeClientCalls().size(), 1u);
  EXPECT_EQ(FakeClientCalls()[0].text.size(), 255u);
  EXPECT_EQ(INF_XaClose(conn, "", 1, TMNOFLAGS), XA_OK);
  EXPECT_EQ(INF_EndConnect(conn), 0);
}

TEST_F(AgentXaTest, ARefusedOpenGivesTheConnectionItsSessionBack) {
  DrvHandle conn = connect();
  FakeClientAnswers(XAER_RMERR, XA_OK);
  EXPECT_EQ(INF_XaOpen(conn, 0, "", 1, TMNOFLAGS), XAER_RMERR);
  EXPECT_EQ(sessionOf(conn)->xaOwned, 0);
  EXPECT_EQ(exec(conn, "insert into t values (99, 'refused open')"), 0);
  EXPECT_EQ(INF_Rollback(conn), 0);
  EXPECT_EQ(INF_EndConnect(conn), 0);
}

TEST_F(AgentXaTest, ABranchHoldsTheConnectionUntilTheClientAcceptsItsClose) {
  const DriverOps* ops = rec_.ops;
  DrvHandle conn = connect();
  ASSERT_EQ(ops->DRV_XaOpen(conn, 1, "", 7, TMNOFLAGS), XA_OK);
  EXPECT_EQ(sessionOf(conn)->xaOwned, 1);
  // Statements reach the branch's session on the connection's worker.
  DrvHandle cur = 0;
  ASSERT_EQ(ops->DRV_AllocCursor(conn, &cur), 0);
  EXPECT_EQ(ops->DRV_Prepare(cur, "select a from t"), 0);
  EXPECT_EQ(ops->DRV_Execute(cur), 0);
  EXPECT_EQ(ops->DRV_EndCursor(cur), 0);
  // Local transaction control and the disconnect wait for the branch's end.
  EXPECT_EQ(ops->DRV_Commit(conn), ERR_TXN_STATE);
  EXPECT_EQ(ops->DRV_EndConnect(conn), ERR_TXN_STATE);

  FakeClientAnswers(XA_OK, XAER_PROTO);
  EXPECT_EQ(ops->DRV_XaClose(conn, "", 7, TMNOFLAGS), XAER_PROTO);
  EXPECT_EQ(sessionOf(conn)->xaOwned, 1);
  EXPECT_EQ(ops->DRV_Rollback(conn), ERR_TXN_STATE);

  FakeClientAnswers(XA_OK, XA_OK);
  EXPECT_EQ(ops->DRV_XaClose(conn, "", 7, TMNOFLAGS), XA_OK);
  EXPECT_EQ(sessionOf(conn)->xaOwned, 0);
  // The ordinary session is back, usable from this thread.
  EXPECT_EQ(ops->DRV_Rollback(conn), 0);
  EXPECT_EQ(exec(conn, "select a from t"), 0);
  EXPECT_EQ(ops->DRV_EndConnect(conn), 0);
}

TEST_F(AgentXaTest, BranchOperationsPassTheirArgumentsToTheClientUnchanged) {
  XID xid{};
  // The agent does not look the handle up: the client decides.
  const DrvHandle none = 0xBBBB0099;
  struct Case {
    const char* op;
    int code;
  };
  const Case cases[] = {
      {"start", INF_XaStart(none, &xid, 4, TMJOIN)},
      {"end", INF_XaEnd(none, &xid, 4, TMSUSPEND)},
      {"prepare", INF_XaPrepare(none, &xid, 4, TMNOFLAGS)},
      {"commit", INF_XaCommit(none, &xid, 4, TMONEPHASE)},
      {"rollback", INF_XaRollback(none, &xid, 4, TMNOFLAGS)},
      {"forget", INF_XaForget(none, &xid, 4, TMNOFLAGS)},
      {"recover", INF_XaRecover(none, &xid, 1, 4, TMSTARTRSCAN)},
  };
  const std::vector<FakeClientCall> got = FakeClientCalls();
  ASSERT_EQ(got.size(), std::size(cases));
  const long flags[] = {TMJOIN,    TMSUSPEND, TMNOFLAGS,   TMONEPHASE,
                        TMNOFLAGS, TMNOFLAGS, TMSTARTRSCAN};
  for (size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(cases[i].op);
    EXPECT_EQ(cases[i].code, XA_OK);
    EXPECT_EQ(got[i].op, cases[i].op);
    EXPECT_EQ(got[i].xid, &xid);
    EXPECT_EQ(got[i].rmid, 4);
    EXPECT_EQ(got[i].flags, flags[i]);
  }
  EXPECT_EQ(INF_XaOpen(none, 0, "", 4, TMNOFLAGS), XAER_INVAL);
  EXPECT_EQ(INF_XaClose(none, "", 4, TMNOFLAGS), XAER_INVAL);
}

}  // namespace
