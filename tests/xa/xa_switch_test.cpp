// The driver's XA switch over the whole driver: instances per thread and rmid,
// the ODBC handles behind an instance, what the trace says, the connection of
// an open branch refusing to go, and enlistment with the stand-in coordinator.

#include "xa/xa_switch.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

#include "driver_support.h"
#include "drv/layercalls.h"
#include "drv_inf/inf_ops.h"
#include "platform/dtc/dtc_testing.h"
#include "tests/tmpdir.h"

extern "C" xa_switch_t* kes_xa_switch();
extern "C" HRESULT GetXaSwitch(uint32_t flags, xa_switch_t** out);
extern "C" SQLRETURN SQLGetXaEnv(SQLHENV* out);
extern "C" SQLRETURN SQLGetXaConnect(SQLHDBC* out);

namespace {

TEST(XaInfoDsn, TheDsnKeywordInAnyCaseNeverInsideAnotherKeyword) {
  struct Case {
    const char* info;
    const char* dsn;  // null: none
  };
  const std::string longValue = "DSN=" + std::string(300, 'd');
  const Case cases[] = {
      {"DSN=a;UID=u", "a"},         {"uid=u; dsn = x y  ;PWD=p", " x y"},
      {"FILEDSN=f;DSN=d", "d"},     {"FILEDSN=f", nullptr},
      {"XDSN=z;UID=u", nullptr},    {"", nullptr},
      {longValue.c_str(), nullptr},  // checked apart below
  };
  for (const Case& c : cases) {
    if (c.info == longValue.c_str()) continue;
    SCOPED_TRACE(c.info);
    char out[256] = "unchanged";
    EXPECT_EQ(xa_info_dsn(c.info, out, sizeof out), c.dsn != nullptr ? 1 : 0);
    if (c.dsn != nullptr) {
      EXPECT_STREQ(out, c.dsn);
    }
  }
  char out[256];
  ASSERT_EQ(xa_info_dsn(longValue.c_str(), out, sizeof out), 1);
  EXPECT_EQ(std::strlen(out), 255u);
}

TEST(XaCodeName, NamedCodesAndTheRest) {
  EXPECT_STREQ(xa_code_name(XA_RDONLY), "XA_RDONLY");
  EXPECT_STREQ(xa_code_name(XA_RBPROTO), "XA_RBPROTO");
  EXPECT_STREQ(xa_code_name(XAER_OUTSIDE), "XAER_OUTSIDE");
  EXPECT_STREQ(xa_code_name(104), "Unknown");
  EXPECT_STREQ(xa_code_name(-1), "Unknown");
}

class SwitchTest : public DriverTest {
 protected:
  void SetUp() override {
    DriverTest::SetUp();
    sw_ = kes_xa_switch();
    xid_.formatID = 1;
    xid_.gtrid_length = 4;
    xid_.bqual_length = 1;
    std::memcpy(xid_.data, "gtr1b", 5);
  }
  int open(const char* info, int rmid) {
    std::string text = info;
    return sw_->xa_open_entry(text.data(), rmid, TMNOFLAGS);
  }
  int close(const char* info, int rmid) {
    std::string text = info;
    return sw_->xa_close_entry(text.data(), rmid, TMNOFLAGS);
  }
  SQLHDBC current() {
    SQLHDBC dbc = nullptr;
    EXPECT_EQ(SQLGetXaConnect(&dbc), SQL_SUCCESS);
    return dbc;
  }
  XID xid(char branch) {
    XID x = xid_;
    x.data[4] = branch;
    return x;
  }
  xa_switch_t* sw_ = nullptr;
  XID xid_{};
};

TEST_F(SwitchTest, TheSwitchNamesTheResourceManager) {
  EXPECT_STREQ(sw_->name, "KESTRANE");
  EXPECT_EQ(sw_->flags, TMNOFLAGS);
  xa_switch_t* viaDtc = nullptr;
  ASSERT_EQ(GetXaSwitch(0, &viaDtc), S_OK);
  EXPECT_EQ(viaDtc, sw_);
  EXPECT_EQ(GetXaSwitch(0, nullptr), E_INVALIDARG);
}

TEST_F(SwitchTest, TwoInstancesOnOneThreadEachAnswerForTheirRmid) {
  ASSERT_EQ(open("DSN=xa1;", 1), XA_OK);
  SQLHDBC one = current();
  ASSERT_EQ(open("dsn=xa2;", 2), XA_OK);
  SQLHDBC two = current();
  ASSERT_NE(one, nullptr);
  EXPECT_NE(one, two);
  // Opening an open instance again changes nothing.
  EXPECT_EQ(open("DSN=xa2;", 2), XA_OK);
  EXPECT_EQ(current(), two);

  XID x1 = xid('1'), x2 = xid('2');
  ASSERT_EQ(sw_->xa_start_entry(&x1, 1, TMNOFLAGS), XA_OK);
  ASSERT_EQ(sw_->xa_start_entry(&x2, 2, TMNOFLAGS), XA_OK);
  EXPECT_EQ(exec(one, "insert into t values (1, 'one')"), SQL_SUCCESS);
  EXPECT_EQ(exec(two, "insert into t values (2, 'two')"), SQL_SUCCESS);
  for (int rmid : {1, 2}) {
    XID* x = rmid == 1 ? &x1 : &x2;
    SCOPED_TRACE(rmid);
    EXPECT_EQ(sw_->xa_end_entry(x, rmid, TMSUCCESS), XA_OK);
    EXPECT_EQ(sw_->xa_prepare_entry(x, rmid, TMNOFLAGS), XA_OK);
    EXPECT_EQ(sw_->xa_commit_entry(x, rmid, TMNOFLAGS), XA_OK);
  }
  // A close finds its instance by the rmid, whatever its xa_info says.
  EXPECT_EQ(close("", 1), XA_OK);
  EXPECT_EQ(sw_->xa_start_entry(&x1, 1, TMNOFLAGS), XAER_RMERR);
  EXPECT_EQ(current(), two);
  EXPECT_EQ(close("DSN=other;", 2), XA_OK);
  EXPECT_EQ(rows("xa1", "where a = 1"), 1);
  EXPECT_EQ(rows("xa2", "where a = 2"), 1);
}

TEST_F(SwitchTest, AnotherThreadOrAnotherRmidFindsNoInstance) {
  ASSERT_EQ(open("DSN=xa1;", 5), XA_OK);
  XID x = xid('a');
  EXPECT_EQ(sw_->xa_start_entry(&x, 6, TMNOFLAGS), XAER_RMERR);
  std::thread other([&] {
    EXPECT_EQ(sw_->xa_start_entry(&x, 5, TMNOFLAGS), XAER_RMERR);
    EXPECT_EQ(sw_->xa_close_entry(const_cast<char*>("DSN=xa1;"), 5, TMNOFLAGS), XAER_RMERR);
    SQLHDBC dbc = &dbc;
    EXPECT_EQ(SQLGetXaConnect(&dbc), SQL_ERROR);
    EXPECT_EQ(dbc, nullptr);
  });
  other.join();
  SQLHENV env = nullptr;
  EXPECT_EQ(SQLGetXaEnv(&env), SQL_SUCCESS);
  EXPECT_NE(env, nullptr);
  EXPECT_EQ(close("DSN=xa1;", 5), XA_OK);
  EXPECT_EQ(SQLGetXaEnv(&env), SQL_ERROR);
  EXPECT_EQ(env, nullptr);
  EXPECT_EQ(SQLGetXaEnv(nullptr), SQL_ERROR);
}

TEST_F(SwitchTest, RefusedOpensLeaveNothingBehindAndTheTraceSaysWhy) {
  const std::string dir = MakeProcessTempDir("kes_xa_trace_");
  setenv("KES_DEBUGFILE", (dir + "/x.trc").c_str(), 1);
  CoreXaTraceOpen();
  EXPECT_EQ(open("FILEDSN=f;UID=u;", 7), XAER_RMERR);
  EXPECT_EQ(open("DSN=missing_dsn;", 7), XAER_RMERR);
  SQLHDBC dbc = &dbc;
  EXPECT_EQ(SQLGetXaConnect(&dbc), SQL_ERROR);
  EXPECT_EQ(dbc, nullptr);
  ASSERT_EQ(open("DSN=xa1;", 7), XA_OK);
  EXPECT_EQ(close("DSN=xa1;", 7), XA_OK);
  CoreXaTraceClose();
  unsetenv("KES_DEBUGFILE");

  std::ifstream in(dir + "/x.trc-xa");
  std::stringstream all;
  all << in.rdbuf();
  const std::string text = all.str();
  for (const char* line :
       {"] xa_switch_open(***, 7, 0)\n", "] xa_switch_open: invalid xaInfo string format\n",
        "] Call returned: XAER_RMERR(-3)\n", "] xa_switch_open(missing_dsn, 7, 0)\n",
        "] SQLGetXaConnect(0x", "] Call returned: Unknown(-1)\n", "] xa_switch_open(xa1, 7, 0)\n",
        "] Call returned: XA_OK(0)\n", "] xa_switch_close(xa1, 7, 0)\n"}) {
    SCOPED_TRACE(line);
    EXPECT_NE(text.find(line), std::string::npos) << text;
  }
  // The connect text's password never reaches the trace.
  EXPECT_EQ(text.find("PWD"), std::string::npos);
}

TEST_F(SwitchTest, TheConnectionOfAnOpenBranchRefusesToDisconnect) {
  ASSERT_EQ(open("DSN=xa1;", 8), XA_OK);
  SQLHDBC dbc = current();
  EXPECT_EQ(SQLDisconnect(dbc), SQL_ERROR);
  EXPECT_EQ(State(SQL_HANDLE_DBC, dbc).substr(0, 5), "25000");
  EXPECT_EQ(close("DSN=xa1;", 8), XA_OK);
}

TEST_F(SwitchTest, ACallThatBypassesTheWorkerIsCaughtByTheRuntime) {
  ASSERT_EQ(open("DSN=xa1;", 9), XA_OK);
  XaConnView v{};
  ASSERT_TRUE(CoreXaConnView(current(), &v));
  // The branch's session belongs to the connection's worker: the agent's own
  // table called from this thread reaches the runtime from the wrong thread,
  // and the runtime refuses.
  XID x = xid('m');
  EXPECT_EQ(INF_Ops.DRV_XaStart(v.hConn, &x, 9, TMNOFLAGS), XAER_PROTO);
  DrvHandle cursor = 0;
  ASSERT_EQ(INF_Ops.DRV_AllocCursor(v.hConn, &cursor), 0);
  EXPECT_NE(INF_Ops.DRV_Prepare(cursor, "select a from t"), 0);
  EXPECT_EQ(v.driver->ops->DRV_EndCursor(cursor), 0);
  // Through the proxy the same calls run where the branch lives. The client's
  // switch was copied whole: its last entry answers as the runtime's does.
  EXPECT_EQ(v.driver->ops->DRV_XaStart(v.hConn, &x, 9, TMNOFLAGS), XA_OK);
  int handle = 0, retval = 0;
  EXPECT_EQ(v.driver->ops->DRV_XaComplete(v.hConn, &handle, &retval, 9, TMNOFLAGS), XAER_PROTO);
  EXPECT_EQ(sw_->xa_end_entry(&x, 9, TMSUCCESS), XA_OK);
  EXPECT_EQ(sw_->xa_rollback_entry(&x, 9, TMNOFLAGS), XA_OK);
  EXPECT_EQ(close("DSN=xa1;", 9), XA_OK);
}

}  // namespace
