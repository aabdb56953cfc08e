// DTC enlistment against the stand-in coordinator, over a recording XA table:
// the two phases on the coordinator's threads with the call lock held between
// them, read-only votes, commits to be retried, aborts, the coordinator going
// down, and what the coordinator is told for recovery.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <deque>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "drv/layercalls.h"
#include "drv/xa_types.h"
#include "platform/dtc/dtc_testing.h"
#include "platform/windows/critsec.h"
#include "platform/windows/thread.h"
#include "tests/tmpdir.h"
#include "xa/oletx_trace.h"

namespace {

struct XaCall {
  std::string op;
  int rmid;
  uint32_t thread;
};

std::mutex g_lock;
std::vector<XaCall> g_calls;
std::map<std::string, std::deque<int>> g_answers;  // next answers by op; XA_OK after

int answer(const char* op, int rmid, long flags) {
  std::lock_guard<std::mutex> g(g_lock);
  std::string name = op;
  if (flags == TMFAIL) name += " fail";
  g_calls.push_back({name, rmid, static_cast<uint32_t>(gettid())});
  std::deque<int>& q = g_answers[op];
  if (q.empty()) return XA_OK;
  const int code = q.front();
  q.pop_front();
  return code;
}

int xaOpen(DrvHandle, int32_t, const char*, int rmid, long f) { return answer("open", rmid, f); }
int xaClose(DrvHandle, const char*, int rmid, long f) { return answer("close", rmid, f); }
int xaStart(DrvHandle, XID*, int rmid, long f) { return answer("start", rmid, f); }
int xaEnd(DrvHandle, XID*, int rmid, long f) { return answer("end", rmid, f); }
int xaPrepare(DrvHandle, XID*, int rmid, long f) { return answer("prepare", rmid, f); }
int xaCommit(DrvHandle, XID*, int rmid, long f) { return answer("commit", rmid, f); }
int xaRollback(DrvHandle, XID*, int rmid, long f) { return answer("rollback", rmid, f); }

DriverOps makeOps() {
  DriverOps o{};
  o.DRV_XaOpen = xaOpen;
  o.DRV_XaClose = xaClose;
  o.DRV_XaStart = xaStart;
  o.DRV_XaEnd = xaEnd;
  o.DRV_XaPrepare = xaPrepare;
  o.DRV_XaCommit = xaCommit;
  o.DRV_XaRollback = xaRollback;
  return o;
}
const DriverOps kOps = makeOps();

// The XA trace file (where the OLE transactions lines go) of a debug file in dir.
std::string xaTrace(const std::string& dir) {
  std::ifstream in(dir + "/t.trc-xa");
  std::stringstream all;
  all << in.rdbuf();
  return all.str();
}

// The connect text the core builds, for a data source whose Driver value is a
// driver of odbcinst.ini.
constexpr char kConnectText[] = "DSN=xa_dsn;UID=u;PWD=p;";
constexpr char kDriverFile[] = "/opt/Kestrane Drivers/libKesDrvW.so";

void writeConfiguration() {
  static std::string dir;
  if (!dir.empty()) return;
  dir = MakeProcessTempDir("kes_dtc_");
  ASSERT_FALSE(dir.empty());
  std::ofstream(dir + "/odbc.ini") << "[xa_dsn]\nDriver=Kestrane XA\nXaInfo=LOGTO=5\n";
  std::ofstream(dir + "/odbcinst.ini") << "[Kestrane XA]\nDriver=" << kDriverFile << "\n";
  setenv("ODBCSYSINI", dir.c_str(), 1);
  setenv("ODBCINI", (dir + "/odbc.ini").c_str(), 1);
}

class DtcTest : public ::testing::Test {
 protected:
  void SetUp() override {
    writeConfiguration();
    ASSERT_EQ(OleTxInit(), 0);
    InitializeOwnerlessCriticalSection(&callLock_);
    InitializeCriticalSection(&dtcLock_);
    std::lock_guard<std::mutex> g(g_lock);
    g_calls.clear();
    g_answers.clear();
  }
  void TearDown() override {
    DeleteCriticalSection(&dtcLock_);
    DeleteCriticalSection(&callLock_);
  }

  ITransaction* begin() {
    GUID id{static_cast<uint32_t>(++serial_), 0x1234, 0x5678, {1, 2, 3, 4, 5, 6, 7, 8}};
    return DtcTestBegin(&id);
  }
  // What the core does to enlist; null when the connect or the enlistment fails.
  void* enlist(ITransaction* tx) {
    void* d = DtcCreateDispenser(tx, 1, 0xBBBB0001, &rec_, &dtcLock_, &callLock_, kConnectText);
    if (d != nullptr && DtcRMConnect(d) == 0 && DtcRMEnlist(d) == 0) return d;
    (void)DtcReleaseDispenser(d);
    return nullptr;
  }
  // Whether an application call could enter the connection now.
  bool callLockFree() {
    int entered = 0;
    std::thread t([&] {
      entered = TryEnterCriticalSection(&callLock_);
      if (entered != 0) LeaveCriticalSection(&callLock_);
    });
    t.join();
    return entered != 0;
  }
  static std::vector<std::string> ops() {
    std::lock_guard<std::mutex> g(g_lock);
    std::vector<std::string> out;
    for (const XaCall& c : g_calls) out.push_back(c.op);
    return out;
  }
  static XaCall call(const std::string& op, size_t nth = 0) {
    std::lock_guard<std::mutex> g(g_lock);
    for (const XaCall& c : g_calls)
      if (c.op == op && nth-- == 0) return c;
    return {"", 0, 0};
  }
  static void answerNext(const char* op, int code) {
    std::lock_guard<std::mutex> g(g_lock);
    g_answers[op].push_back(code);
  }

  DriverRecord rec_{DRV_CAP_THREADSAFE, &kOps};
  CRITICAL_SECTION callLock_{};
  CRITICAL_SECTION dtcLock_{};
  int serial_ = 0;
  using Ops = std::vector<std::string>;
};

TEST_F(DtcTest, PreparedOnOneThreadCommittedOnAnotherWithTheConnectionHeldBetween) {
  ITransaction* tx = begin();
  void* d = enlist(tx);
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(ops(), (Ops{"open", "start"}));
  ASSERT_EQ(DtcTestPrepare(tx), S_OK);
  EXPECT_EQ(ops(), (Ops{"open", "start", "end", "prepare"}));
  EXPECT_FALSE(callLockFree());
  ASSERT_EQ(DtcTestCommit(tx), S_OK);
  EXPECT_TRUE(callLockFree());
  EXPECT_NE(call("prepare").thread, call("commit").thread);
  EXPECT_EQ(DtcTestOutcome(tx, 0, 0), S_OK);
  EXPECT_EQ(DtcTestOutcome(tx, 0, 1), S_OK);
  // The coordinator let go of the resource: the connection's reference is the
  // last, and the branch closes with it.
  EXPECT_EQ(DtcReleaseDispenser(d), 0);
  EXPECT_EQ(ops().back(), "close");
  DtcTestRelease(tx);

  // What the coordinator keeps for recovery: the connect text and the driver's
  // file, resolved from the data source's driver name, its case kept.
  char text[128], file[256];
  ASSERT_EQ(DtcTestResourceManager(0, text, sizeof text, file, sizeof file), 1);
  EXPECT_STREQ(text, kConnectText);
  EXPECT_STREQ(file, kDriverFile);
}

TEST_F(DtcTest, AReadOnlyBranchVotesReadOnlyAndNeverHoldsTheConnection) {
  answerNext("prepare", XA_RDONLY);
  ITransaction* tx = begin();
  void* d = enlist(tx);
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(DtcTestCommit(tx), S_OK);
  EXPECT_EQ(DtcTestOutcome(tx, 0, 0), XACT_S_READONLY);
  EXPECT_TRUE(callLockFree());
  EXPECT_EQ(ops(), (Ops{"open", "start", "end", "prepare"}));
  EXPECT_EQ(DtcReleaseDispenser(d), 0);
  DtcTestRelease(tx);
}

TEST_F(DtcTest, ACommitToBeRetriedKeepsTheConnectionUntilItSucceeds) {
  answerNext("commit", XA_RETRY);
  ITransaction* tx = begin();
  void* d = enlist(tx);
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(DtcTestCommit(tx), E_FAIL);
  EXPECT_FALSE(callLockFree());
  EXPECT_EQ(DtcTestCommit(tx), S_OK);
  EXPECT_TRUE(callLockFree());
  EXPECT_EQ(call("commit", 1).op, "commit");
  EXPECT_EQ(DtcReleaseDispenser(d), 0);
  DtcTestRelease(tx);
}

TEST_F(DtcTest, AbortsEndAStartedBranchAndRollBackAPreparedOne) {
  ITransaction* started = begin();
  void* d1 = enlist(started);
  ASSERT_NE(d1, nullptr);
  EXPECT_EQ(DtcTestAbort(started), XACT_E_ABORTED);
  EXPECT_EQ(DtcTestOutcome(started, 0, 2), S_OK);
  EXPECT_EQ(ops(), (Ops{"open", "start", "end", "rollback"}));
  EXPECT_EQ(DtcReleaseDispenser(d1), 0);

  // Another participant votes no after this branch prepared.
  ITransaction* voted = begin();
  void* d2 = enlist(voted);
  ASSERT_NE(d2, nullptr);
  DtcTestVoteNo(voted);
  EXPECT_EQ(DtcTestCommit(voted), XACT_E_ABORTED);
  EXPECT_EQ(call("prepare").op, "prepare");
  EXPECT_EQ(call("rollback", 1).op, "rollback");
  EXPECT_TRUE(callLockFree());
  EXPECT_EQ(DtcReleaseDispenser(d2), 0);
  DtcTestRelease(started);
  DtcTestRelease(voted);
}

TEST_F(DtcTest, ACoordinatorGoneDownLeavesAPreparedBranchInDoubt) {
  ITransaction* tx = begin();
  void* d = enlist(tx);
  ASSERT_NE(d, nullptr);
  ASSERT_EQ(DtcTestPrepare(tx), S_OK);
  ASSERT_EQ(DtcTestTMDown(tx), S_OK);
  // Nothing is rolled back: the coordinator's recovery decides. The
  // connection is the application's again.
  EXPECT_EQ(ops(), (Ops{"open", "start", "end", "prepare"}));
  EXPECT_TRUE(callLockFree());
  EXPECT_EQ(DtcReleaseDispenser(d), 0);
  EXPECT_EQ(ops().back(), "close");

  // A branch not prepared yet is ended as failed and rolled back.
  ITransaction* started = begin();
  void* d2 = enlist(started);
  ASSERT_NE(d2, nullptr);
  ASSERT_EQ(DtcTestTMDown(started), S_OK);
  EXPECT_EQ(call("end fail").op, "end fail");
  EXPECT_EQ(call("rollback").op, "rollback");
  EXPECT_EQ(DtcReleaseDispenser(d2), 0);
  DtcTestRelease(tx);
  DtcTestRelease(started);
}

TEST_F(DtcTest, DispensersMadeTogetherNeverShareAnRmid) {
  ITransaction* tx = begin();
  void* a = enlist(tx);
  void* b = enlist(tx);
  ASSERT_NE(a, nullptr);
  ASSERT_NE(b, nullptr);
  EXPECT_NE(call("open", 0).rmid, call("open", 1).rmid);
  EXPECT_EQ(DtcTestAbort(tx), XACT_E_ABORTED);
  EXPECT_EQ(DtcReleaseDispenser(a), 0);
  EXPECT_EQ(DtcReleaseDispenser(b), 0);
  DtcTestRelease(tx);
}

TEST_F(DtcTest, ARefusedOpenOrStartFailsTheEnlistment) {
  answerNext("open", XAER_RMERR);
  ITransaction* tx = begin();
  EXPECT_EQ(enlist(tx), nullptr);
  // Nothing was opened, so nothing is closed.
  EXPECT_EQ(ops(), (Ops{"open"}));

  answerNext("start", XAER_PROTO);
  EXPECT_EQ(enlist(tx), nullptr);
  EXPECT_EQ(ops(), (Ops{"open", "open", "start", "close"}));
  EXPECT_EQ(DtcTestMembers(tx), 0);
  DtcTestRelease(tx);
  EXPECT_EQ(DtcReleaseDispenser(nullptr), -1);
  int notADispenser = 0;
  EXPECT_EQ(DtcReleaseDispenser(&notADispenser), -1);
  EXPECT_EQ(DtcRMConnect(&notADispenser), -1);
}

TEST_F(DtcTest, TheResourceObjectAnswersForItsDispenser) {
  ITransaction* tx = begin();
  void* d = enlist(tx);
  ASSERT_NE(d, nullptr);
  ITransactionResourceAsync* res = DtcTestResource(tx, 0);
  ASSERT_NE(res, nullptr);
  void* out = &out;
  EXPECT_EQ(res->QueryInterface(IID_ITransaction, &out), E_NOINTERFACE);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(res->QueryInterface(IID_ITransactionResourceAsync, &out), S_OK);
  EXPECT_EQ(out, res);
  // One reference each: the connection's, the coordinator's, this one.
  EXPECT_EQ(res->Release(), 2u);
  EXPECT_EQ(DtcTestAbort(tx), XACT_E_ABORTED);
  EXPECT_EQ(DtcReleaseDispenser(d), 0);
  DtcTestRelease(tx);
}

TEST(OleTxTrace, WritesEachCallAndEachResultWithItsName) {
  writeConfiguration();
  const std::string dir = MakeProcessTempDir("kes_dtc_trace_");
  ASSERT_FALSE(dir.empty());
  setenv("KES_DEBUGFILE", (dir + "/t.trc").c_str(), 1);
  OleTxTraceOpen();
  ASSERT_TRUE(OleTxTraceOn());
  EXPECT_EQ(OleTxTraceHResult(XACT_S_READONLY), XACT_S_READONLY);
  EXPECT_EQ(OleTxTraceHResult(static_cast<HRESULT>(0x80044001u)),
            static_cast<HRESULT>(0x80044001u));
  OleTxTrace("%s\n", std::string(3000, 'x').c_str());
  OleTxTraceClose();
  unsetenv("KES_DEBUGFILE");

  const std::string text = xaTrace(dir);
  EXPECT_NE(text.find("** Kestrane OLE Transactions Interface: Trace file **"), std::string::npos);
  EXPECT_NE(text.find("] Call success    : Returned HRESULT: 0x0004d002(XACT_S_READONLY)\n"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("] Call failure >>>: Returned HRESULT: 0x80044001(Unknown!)\n"),
            std::string::npos);
  // A body is cut at 2047 characters.
  EXPECT_NE(text.find(std::string(2047, 'x') + "\n"), std::string::npos);
  EXPECT_EQ(text.find(std::string(2048, 'x')), std::string::npos);
}

// What the support's trace shows when it ends: the dispensers still alive.
TEST_F(DtcTest, TheObjectCountsAreDumpedWhenTheSupportEnds) {
  const std::string dir = MakeProcessTempDir("kes_dtc_dump_");
  ASSERT_FALSE(dir.empty());
  setenv("KES_DEBUGFILE", (dir + "/t.trc").c_str(), 1);
  OleTxTraceOpen();
  ITransaction* tx = begin();
  void* d = enlist(tx);
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(DtcTestAbort(tx), XACT_E_ABORTED);
  EXPECT_EQ(CObjCounter::Count(), 1);
  // The last dispenser goes with the support.
  (void)XA_Shutdown();
  unsetenv("KES_DEBUGFILE");
  EXPECT_EQ(CObjCounter::Count(), 0);
  DtcTestRelease(tx);

  const std::string text = xaTrace(dir);
  const size_t dump = text.find("] CObjCounter::DumpObjCounts:\n");
  ASSERT_NE(dump, std::string::npos) << text;
  EXPECT_NE(text.find("]   Resource Dispenser: 1\n", dump), std::string::npos) << text;
  EXPECT_STREQ(CObjCounter::KindName(1), "Resource Dispenser");
  EXPECT_STREQ(CObjCounter::KindName(2), "Unknown");
}

// A line is indented by its thread's depth and dropped beyond 30 levels; a raw
// line has neither the thread nor the indent.
TEST(OleTxTrace, DepthAndRawLines) {
  const std::string dir = MakeProcessTempDir("kes_dtc_depth_");
  ASSERT_FALSE(dir.empty());
  setenv("KES_DEBUGFILE", (dir + "/t.trc").c_str(), 1);
  OleTxTraceOpen();
  OleTxTraceDepthAlloc();
  const uint32_t slot = OleTxTraceDepthSlot();
  ASSERT_NE(slot, TLS_OUT_OF_INDEXES);
  OleTxTrace("level zero\n");
  ASSERT_NE(TlsSetValue(slot, reinterpret_cast<void*>(intptr_t{2})), 0);
  OleTxTrace("level two\n");
  std::thread([] { OleTxTrace("other thread\n"); }).join();
  ASSERT_NE(TlsSetValue(slot, reinterpret_cast<void*>(intptr_t{30})), 0);
  OleTxTrace("level thirty\n");
  ASSERT_NE(TlsSetValue(slot, reinterpret_cast<void*>(intptr_t{31})), 0);
  OleTxTrace("level thirty-one\n");
  OleTxTraceRaw(7, 8, "raw %d\n", 5);
  OleTxTraceDepthFree();
  EXPECT_EQ(OleTxTraceDepthSlot(), TLS_OUT_OF_INDEXES);
  OleTxTraceClose();
  unsetenv("KES_DEBUGFILE");

  const std::string text = xaTrace(dir);
  EXPECT_NE(text.find("] level zero\n"), std::string::npos) << text;
  EXPECT_NE(text.find("]     level two\n"), std::string::npos) << text;
  EXPECT_NE(text.find("] other thread\n"), std::string::npos) << text;
  EXPECT_NE(text.find("] " + std::string(60, ' ') + "level thirty\n"), std::string::npos);
  EXPECT_EQ(text.find("level thirty-one"), std::string::npos);
  EXPECT_NE(text.find("\n> raw 5\n"), std::string::npos) << text;
}

// Interface ids by name: IID_IUnknown by itself, others from the registry
// (the interface's key, then the class's), else the id written out.
TEST(OleTxTrace, GuidNames) {
  const std::string dir = MakeProcessTempDir("kes_dtc_guid_");
  ASSERT_FALSE(dir.empty());
  const std::string longName(400, 'n');
  std::ofstream(dir + "/registry.ini")
      << "[HKEY_CLASSES_ROOT\\Interface\\{69E971F0-23CE-11CF-AD60-00AA00A74CCD}]\n"
      << "@=ITransactionResourceAsync\n"
      << "[HKEY_CLASSES_ROOT\\Interface\\{47ED4971-53B3-11D1-BBB9-00C04FD658F6}]\n"
      << "Other=x\n"
      << "[HKEY_CLASSES_ROOT\\CLSID\\{0FB15084-AF41-11CE-BD2B-204C4F4F5020}]\n"
      << "@=Transaction Class\n"
      << "[HKEY_CLASSES_ROOT\\CLSID\\{0FB15081-AF41-11CE-BD2B-204C4F4F5020}]\n"
      << "@=" << longName << "\n";
  setenv("KES_REGISTRY", (dir + "/registry.ini").c_str(), 1);
  char name[256];
  GuidName(name, IID_IUnknown);
  EXPECT_STREQ(name, "IID_IUnknown");
  GuidName(name, IID_ITransactionResourceAsync);
  EXPECT_STREQ(name, "ITransactionResourceAsync");
  GuidName(name, IID_ITransaction);
  EXPECT_STREQ(name, "Transaction Class");
  GuidName(name, IID_ITransactionEnlistmentAsync);
  EXPECT_EQ(std::string(name), longName.substr(0, 255));
  // A key without a default value names nothing.
  GuidName(name, IID_IDtcToXaHelperSinglePipe);
  EXPECT_STREQ(name, "{47ED4971-53B3-11D1-BBB9-00C04FD658F6}");

  std::ofstream(dir + "/empty.ini") << "";
  setenv("KES_REGISTRY", (dir + "/empty.ini").c_str(), 1);
  GuidName(name, IID_ITransactionResourceAsync);
  EXPECT_STREQ(name, "{69E971F0-23CE-11CF-AD60-00AA00A74CCD}");
  unsetenv("KES_REGISTRY");
}

TEST(OleTxTrace, HResultNames) {
  EXPECT_STREQ(HResultName(S_OK), "S_OK");
  EXPECT_STREQ(HResultName(XACT_E_INDOUBT), "XACT_E_INDOUBT");
  EXPECT_STREQ(HResultName(E_INVALIDARG), "E_INVALIDARG");
  EXPECT_STREQ(HResultName(static_cast<HRESULT>(0x80044002u)), "E_KES_DSN2HNDL_FAIL");
  EXPECT_STREQ(HResultName(2), "Unknown!");
}

}  // namespace
