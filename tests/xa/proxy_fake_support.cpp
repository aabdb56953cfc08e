// proxy_fake_support.cpp -- the table under the XA proxy in its unit tests, and
// the agent's two lookups the proxy makes (a connection's XA state field).

#include <unistd.h>

#include "drv/errtab.h"
#include "drv/layercalls.h"
#include "drv/xa_types.h"
#include "proxy_fake.h"
#include "xa/xap.h"

namespace {

constexpr uint32_t kConnTag = 0xBBBB;
constexpr uint32_t kCursorTag = 0xCCCC;
constexpr int kConns = 4;

struct FakeConnRecord {
  XaThreadState* xa = nullptr;
  bool open = true;  // false once DRV_EndConnect succeeded
};
FakeConnRecord g_conns[kConns];
ProxyFake g_fake;

FakeConnRecord* connOf(DrvHandle h) {
  const uint32_t tag = h >> 16;
  const uint32_t i = h & 0xFFFF;
  if ((tag != kConnTag && tag != kCursorTag) || i >= kConns || !g_conns[i].open) return nullptr;
  return &g_conns[i];
}

// Logs the call, counts it while it runs, and waits in it when it is the op
// a test blocks.
class Record {
 public:
  explicit Record(const std::string& op) {
    {
      std::unique_lock<std::mutex> l(g_fake.lock);
      g_fake.calls.push_back({op, ThisThread()});
      if (op == g_fake.blockOp && !g_fake.released) {
        g_fake.blocked = true;
        g_fake.cv.notify_all();
        g_fake.cv.wait(l, [] { return g_fake.released; });
      }
    }
    const int now = ++g_fake.inside;
    int most = g_fake.mostInside.load();
    while (now > most && !g_fake.mostInside.compare_exchange_weak(most, now)) {
    }
    // Long enough for a second caller to overlap if the proxy let it.
    usleep(2000);
  }
  ~Record() { --g_fake.inside; }
};

int32_t GetInfo(DrvHandle h, DriverPropId id, void* buf, uint16_t, uint16_t* outLen) {
  if (connOf(h) == nullptr) return ERR_ARGUMENT;
  Record r(id == DRVP_XA_KEEP_WORKER ? "GetInfo keep" : "GetInfo");
  *static_cast<int32_t*>(buf) = id == DRVP_XA_KEEP_WORKER ? g_fake.keepWorker : 0;
  if (outLen != nullptr) *outLen = 4;
  return 0;
}
int32_t EndConnect(DrvHandle h) {
  FakeConnRecord* c = connOf(h);
  if (c == nullptr) return ERR_ARGUMENT;
  Record r("EndConnect");
  if (g_fake.endConnectCode != 0) return g_fake.endConnectCode;
  c->open = false;
  return 0;
}
int32_t AllocCursor(DrvHandle h, DrvHandle* out) {
  Record r("AllocCursor");
  *out = kCursorTag << 16 | (h & 0xFFFF);
  return 0;
}
int32_t EndCursor(DrvHandle) {
  Record r("EndCursor");
  return 0;
}
int32_t Prepare(DrvHandle, const char* sql) {
  Record r(std::string("Prepare ") + sql);
  return 0;
}
int32_t Execute(DrvHandle) {
  Record r("Execute");
  return 0;
}
int32_t Fetch(DrvHandle, uint16_t rows, Dataset*) {
  Record r("Fetch " + std::to_string(rows));
  return 0;
}
int32_t CloseCursor(DrvHandle) {
  Record r("CloseCursor");
  return 0;
}
int32_t MoreResults(DrvHandle) {
  Record r("MoreResults");
  return ERR_NO_MORE_RESULTS;
}
int32_t ParamData(DrvHandle, int32_t*, int32_t*, uint16_t**, int32_t*) {
  Record r("ParamData");
  return 0;
}
int32_t PutData(DrvHandle, uint32_t, int16_t, const void*, int32_t) {
  Record r("PutData");
  return 0;
}
int32_t PrepareExecute(DrvHandle, const char*, Dataset*, uint16_t, const ParamShadow*) {
  Record r("PrepareExecute");
  return 0;
}
int32_t PrepareExecute2(DrvHandle, const char*, Dataset*, uint16_t, const ParamTypeEntry*) {
  Record r("PrepareExecute2");
  return 0;
}

int XaOpen(DrvHandle h, int32_t, const char*, int rmid, long) {
  Record r("XaOpen " + std::to_string(rmid));
  (void)XAP_SetXaActive(connOf(h)->xa, 1);
  return XA_OK;
}
int XaClose(DrvHandle h, const char*, int rmid, long) {
  Record r("XaClose " + std::to_string(rmid));
  (void)XAP_SetXaActive(connOf(h)->xa, 0);
  return XA_OK;
}
int XaXid(const char* op) {
  Record r(op);
  return XA_OK;
}
int XaCommit(DrvHandle, XID*, int, long) { return XaXid("XaCommit"); }
int XaEnd(DrvHandle, XID*, int, long) { return XaXid("XaEnd"); }
int XaForget(DrvHandle, XID*, int, long) { return XaXid("XaForget"); }
int XaPrepare(DrvHandle, XID*, int, long) { return XaXid("XaPrepare"); }
int XaRollback(DrvHandle, XID*, int, long) { return XaXid("XaRollback"); }
int XaStart(DrvHandle, XID*, int, long) { return XaXid("XaStart"); }
int XaRecover(DrvHandle, XID*, long, int, long) {
  Record r("XaRecover");
  return 0;
}
int XaComplete(DrvHandle, int*, int*, int, long) {
  Record r("XaComplete");
  return XAER_PROTO;
}

DriverOps makeOps() {
  DriverOps o{};
  o.DRV_GetInfo = GetInfo;
  o.DRV_EndConnect = EndConnect;
  o.DRV_AllocCursor = AllocCursor;
  o.DRV_EndCursor = EndCursor;
  o.DRV_Prepare = Prepare;
  o.DRV_Execute = Execute;
  o.DRV_Fetch = Fetch;
  o.DRV_CloseCursor = CloseCursor;
  o.DRV_MoreResults = MoreResults;
  o.DRV_ParamData = ParamData;
  o.DRV_PutData = PutData;
  o.DRV_PrepareExecute = PrepareExecute;
  o.DRV_PrepareExecute2 = PrepareExecute2;
  o.DRV_XaClose = XaClose;
  o.DRV_XaCommit = XaCommit;
  o.DRV_XaComplete = XaComplete;
  o.DRV_XaEnd = XaEnd;
  o.DRV_XaForget = XaForget;
  o.DRV_XaOpen = XaOpen;
  o.DRV_XaPrepare = XaPrepare;
  o.DRV_XaRecover = XaRecover;
  o.DRV_XaRollback = XaRollback;
  o.DRV_XaStart = XaStart;
  return o;
}

const DriverOps kFakeOps = makeOps();

}  // namespace

XaThreadState** INF_ConnXaState(DrvHandle h) {
  FakeConnRecord* c = (h >> 16) == kConnTag ? connOf(h) : nullptr;
  return c != nullptr ? &c->xa : nullptr;
}

XaThreadState** INF_CursorXaState(DrvHandle h) {
  FakeConnRecord* c = (h >> 16) == kCursorTag ? connOf(h) : nullptr;
  return c != nullptr ? &c->xa : nullptr;
}

ProxyFake& Fake() { return g_fake; }

const DriverOps* ProxyOps() {
  static const DriverOps* ops = [] {
    DriverRecord rec{DRV_CAP_THREADSAFE, &kFakeOps};
    return XAP_Install(&rec) == 0 ? rec.ops : nullptr;
  }();
  return ops;
}

void ResetFake() {
  const DriverOps* ops = ProxyOps();
  g_fake.endConnectCode = 0;
  g_fake.blockOp.clear();
  for (int i = 0; i < kConns; ++i)
    if (g_conns[i].open) (void)ops->DRV_EndConnect(FakeConn(i));
  std::lock_guard<std::mutex> g(g_fake.lock);
  for (FakeConnRecord& c : g_conns) c = FakeConnRecord{};
  g_fake.calls.clear();
  g_fake.keepWorker = 0;
  g_fake.blocked = g_fake.released = false;
  g_fake.inside = 0;
  g_fake.mostInside = 0;
}

DrvHandle FakeConn(int n) { return kConnTag << 16 | static_cast<uint32_t>(n); }
DrvHandle FakeCursor(int n) { return kCursorTag << 16 | static_cast<uint32_t>(n); }

std::vector<ProxyCall> CallsOf(const std::string& op) {
  std::lock_guard<std::mutex> g(g_fake.lock);
  std::vector<ProxyCall> out;
  for (const ProxyCall& c : g_fake.calls)
    if (c.op == op) out.push_back(c);
  return out;
}

void WaitBlocked() {
  std::unique_lock<std::mutex> l(g_fake.lock);
  g_fake.cv.wait(l, [] { return g_fake.blocked; });
}

void ReleaseBlocked() {
  std::lock_guard<std::mutex> g(g_fake.lock);
  g_fake.released = true;
  g_fake.cv.notify_all();
}

uint32_t ThisThread() { return static_cast<uint32_t>(gettid()); }
