// dtc.cpp -- enlistment of a connection in a coordinator's distributed
// transaction: the connection's resource dispenser, which opens an XA branch on
// the connection, enlists its resource object with the coordinator, and runs
// the branch's end, prepare, commit and rollback when the coordinator asks.
// The XA work goes through the connection's DriverRecord, so through the XA
// proxy and the connection's worker thread.
// Owns every dispenser (DispenserList), the process-wide OLE transactions
// state and the driver-file cache.
// Threading: the coordinator calls the resource object on threads of its own;
// each method runs under the dispenser's own lock. From a successful prepare
// until the outcome the branch holds the connection's call lock, which is
// ownerless: one coordinator thread enters it and another may leave it. Lock
// order: the call lock, a dispenser's own lock, the DispenserList lock, the
// proxy's hand-over. A dispenser is deleted outside the DispenserList lock.

#include <algorithm>
#include <atomic>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "drv/layercalls.h"
#include "platform/dtc/dtc.h"
#include "xa/osprim.h"
#include "xa/oletx_trace.h"
#include "xa/xa_switch.h"

namespace {

// XA open or start of the branch refused by the back end.
constexpr HRESULT E_DTC_XAOPEN_FAIL = static_cast<HRESULT>(0x80044001u);

enum DtcState : int32_t {
  DTC_IDLE = 0,
  DTC_STARTED = 1,    // xa_start done
  DTC_ENDED = 2,      // xa_end done, or prepare answered XAER_RMERR
  DTC_PREPARED = 3,   // the branch holds the call lock
  DTC_HEURISTIC = 5,  // commit or rollback answered a heuristic code
};

constexpr int32_t kDispenserKind = 1;

class COdbcResourceDispenser;

// Every dispenser alive; a pointer handed to the core is valid while listed.
OsProcessLock g_listLock;
// Never destroyed: the library's detach, which runs after the process's
// static destructors, still walks the list.
std::vector<COdbcResourceDispenser*>& g_dispensers = *new std::vector<COdbcResourceDispenser*>;
std::string& g_driverFile = *new std::string;  // REQUIRES: g_listLock

// rmids of the branches this support opens: two dispensers never share one,
// however close together they are made.
std::atomic<int> g_nextRmid{1};

OsProcessLock g_oleLock;
bool g_oleReady = false;      // REQUIRES: g_oleLock
IMalloc* g_malloc = nullptr;  // REQUIRES: g_oleLock

bool isHeuristic(int code) { return code >= XA_HEURMIX && code <= XA_HEURHAZ; }

class IOdbcResourceDispenser : public IUnknown {
 public:
  virtual ~IOdbcResourceDispenser() {}
  virtual HRESULT RMConnect() = 0;
  virtual HRESULT RMEnlist() = 0;
  virtual HRESULT GetThis(COdbcResourceDispenser** out) = 0;
};

// The resource object the coordinator talks to; its references are the
// dispenser's, so the coordinator's references keep the dispenser alive.
class CImpITransactionResourceAsync final : public ITransactionResourceAsync {
 public:
  explicit CImpITransactionResourceAsync(COdbcResourceDispenser* owner) : owner_(owner) {}
  ~CImpITransactionResourceAsync() = default;
  HRESULT QueryInterface(REFIID riid, void** out) override;
  uint32_t AddRef() override;
  uint32_t Release() override;
  HRESULT PrepareRequest(int32_t fRetaining, uint32_t grfRM, int32_t fWantMoniker,
                         int32_t fSinglePhase) override;
  HRESULT CommitRequest(uint32_t grfRM, XACTUOW* pNewUOW) override;
  HRESULT AbortRequest(BOID* pboidReason, int32_t fRetaining, XACTUOW* pNewUOW) override;
  HRESULT TMDown() override;

 private:
  COdbcResourceDispenser* owner_;
};

class COdbcResourceDispenser final : public IOdbcResourceDispenser {
 public:
  COdbcResourceDispenser(ITransaction* transaction, DrvHandle hServer, DrvHandle hConn,
                         DriverRecord* drv, void* dtcLock, CRITICAL_SECTION* callLock,
                         const char* connectText);
  ~COdbcResourceDispenser() override;
  bool made() const { return resource_ != nullptr; }

  HRESULT QueryInterface(REFIID riid, void** out) override;
  uint32_t AddRef() override;
  uint32_t Release() override;
  HRESULT RMConnect() override;
  HRESULT RMEnlist() override;
  HRESULT GetThis(COdbcResourceDispenser** out) override;
  int32_t branchOf(const ITransaction* transaction);

  // The coordinator's requests: each runs under the own lock and reports its
  // outcome through the enlistment (TMDown reports nothing).
  HRESULT PrepareRequest(int32_t fSinglePhase);
  HRESULT CommitRequest();
  HRESULT AbortRequest();
  HRESULT TMDown();

 private:
  HRESULT Prepare();
  HRESULT Commit();
  HRESULT Abort();
  HRESULT TmDown();
  int abandon();
  int end(long flags) { return xa_agent_end(drv_, hConnect_, dtcLock_, &xid_, rmid_, flags); }
  int rollback() { return xa_agent_rollback(drv_, hConnect_, dtcLock_, &xid_, rmid_, TMNOFLAGS); }
  void leaveCallLock() { OsCriticalSection_Leave(callLock_); }
  HRESULT driverFile(const std::string& dsn, std::string* out);

  int32_t kind_ = kDispenserKind;
  std::atomic<uint32_t> cRef_{0};
  CRITICAL_SECTION lock_{};
  CImpITransactionResourceAsync* resource_ = nullptr;
  void* dtcLock_;               // handed on to the back-end calls, never entered
  CRITICAL_SECTION* callLock_;  // held while the branch is prepared
  std::string connectText_;
  [[maybe_unused]] DrvHandle hServer_;  // kept, not used
  DrvHandle hConnect_;
  DriverRecord* drv_;
  int rmid_ = 0;
  int32_t xaOpen_ = 0;
  std::string xaInfo_;
  // Atomic: the connection reads it without the own lock, which a prepare
  // holds while it waits for the connection's call lock.
  std::atomic<int32_t> state_{DTC_IDLE};
  ITransaction* transaction_;  // the application's, not referenced
  uint32_t cookie_ = 0;
  XID xid_{};
  IDtcToXaHelperSinglePipe* helper_ = nullptr;
  ITransactionEnlistmentAsync* enlistment_ = nullptr;
};

// ---------------------------------------------------------------------------
// The dispenser.

COdbcResourceDispenser::COdbcResourceDispenser(ITransaction* transaction, DrvHandle hServer,
                                               DrvHandle hConn, DriverRecord* drv, void* dtcLock,
                                               CRITICAL_SECTION* callLock, const char* connectText)
    : dtcLock_(dtcLock),
      callLock_(callLock),
      connectText_(connectText != nullptr ? connectText : ""),
      hServer_(hServer),
      hConnect_(hConn),
      drv_(drv),
      transaction_(transaction) {
  if (OleTxTraceOn()) OleTxTrace("COdbcResourceDispenser::COdbcResourceDispenser()\n");
  CObjCounter::Increment(kind_);
  OsCriticalSection_Init(&lock_);
  auto* resource = new (std::nothrow) CImpITransactionResourceAsync(this);
  if (resource == nullptr) return;
  OsScopedLock g(g_listLock.get());
  try {
    g_dispensers.push_back(this);
    resource_ = resource;
  } catch (...) {
    // Unmade and unlisted: DtcCreateDispenser deletes it again.
    delete resource;
  }
}

COdbcResourceDispenser::~COdbcResourceDispenser() {
  if (OleTxTraceOn()) OleTxTrace("COdbcResourceDispenser::~COdbcResourceDispenser()\n");
  // Nobody can tell a branch that was not prepared its outcome after this:
  // it is rolled back, or its work and its locks would outlive it. A prepared
  // one stays for the coordinator's recovery.
  if (state_ == DTC_STARTED || state_ == DTC_ENDED) (void)abandon();
  if (state_ == DTC_PREPARED) leaveCallLock();
  if (xaOpen_ != 0)
    (void)xa_agent_close(drv_, hConnect_, dtcLock_, xaInfo_.c_str(), rmid_, TMNOFLAGS);
  if (cookie_ != 0 && helper_ != nullptr) helper_->ReleaseRMCookie(cookie_, 1);
  cookie_ = 0;
  if (helper_ != nullptr) helper_->Release();
  if (enlistment_ != nullptr) enlistment_->Release();
  delete resource_;
  OsCriticalSection_Delete(&lock_);
  std::fill(connectText_.begin(), connectText_.end(), '\0');
  CObjCounter::Decrement(kind_);
}

HRESULT COdbcResourceDispenser::QueryInterface(REFIID riid, void** out) {
  if (OleTxTraceOn()) OleTxTrace("COdbcResourceDispense::QueryInterface()\n");
  if (out == nullptr) return OleTxTraceHResult(E_INVALIDARG);
  *out = nullptr;
  if (riid == IID_IUnknown)
    *out = static_cast<IUnknown*>(this);
  else if (riid == IID_ITransactionResourceAsync)
    *out = static_cast<ITransactionResourceAsync*>(resource_);
  else
    return OleTxTraceHResult(E_NOINTERFACE);
  (void)AddRef();
  return OleTxTraceHResult(S_OK);
}

uint32_t COdbcResourceDispenser::AddRef() {
  if (OleTxTraceOn())
    OleTxTrace("COdbcResourceDispenser::AddRef(), this=%p, m_hConnect=%lX, m_cRef=%d\n",
               static_cast<void*>(this), static_cast<unsigned long>(hConnect_),
               static_cast<int>(cRef_.load() + 1));
  const uint32_t n = ++cRef_;
  if (OleTxTraceOn()) (void)OleTxTraceHResult(static_cast<HRESULT>(n));
  return n;
}

uint32_t COdbcResourceDispenser::Release() {
  if (OleTxTraceOn())
    OleTxTrace("COdbcResourceDispenser::Release(), this=%p, m_hConnect=%lX, m_cRef=%d\n",
               static_cast<void*>(this), static_cast<unsigned long>(hConnect_),
               static_cast<int>(cRef_.load() - 1));
  // The decision rests on the value this decrement produced.
  const uint32_t n = --cRef_;
  (void)OleTxTraceCount(n);
  if (n == 0) {
    bool listed = false;
    {
      OsScopedLock g(g_listLock.get());
      auto it = std::find(g_dispensers.begin(), g_dispensers.end(), this);
      if (it != g_dispensers.end()) {
        g_dispensers.erase(it);
        listed = true;
      }
    }
    // An unlisted dispenser belongs to DtcDestroyAllDispensers, which deletes it.
    if (listed) delete this;
  }
  return n;
}

HRESULT COdbcResourceDispenser::GetThis(COdbcResourceDispenser** out) {
  if (out == nullptr) return E_INVALIDARG;
  *out = this;
  return S_OK;
}

HRESULT COdbcResourceDispenser::driverFile(const std::string& dsn, std::string* out) {
  OsScopedLock g(g_listLock.get());
  if (g_driverFile.empty()) {
    char buf[1024] = {};
    (void)CoreProfileString(dsn.c_str(), "Driver", "", buf, sizeof buf, "odbc.ini");
    std::string value = buf;
    if (value.empty()) return E_FAIL;
    // The value names the driver's file, or a driver of odbcinst.ini whose
    // Driver value does: the coordinator loads this file again for recovery,
    // so it keeps its directory and its case.
    if (value.find('/') == std::string::npos) {
      char path[1024] = {};
      (void)CoreProfileString(value.c_str(), "Driver", "", path, sizeof path, "odbcinst.ini");
      if (path[0] != '\0') value = path;
    }
    g_driverFile = value;
  }
  *out = g_driverFile;
  return S_OK;
}

HRESULT COdbcResourceDispenser::RMConnect() {
  OsScopedLock own(&lock_);
  if (OleTxTraceOn()) OleTxTrace("COdbcResourceDispenser::RMConnect()\n");
  DtcGetTransactionManagerFn entry = DtcLoadTransactionManager();
  if (entry == nullptr) return OleTxTraceHResult(E_FAIL);
  IUnknown* tm = nullptr;
  HRESULT hr = entry(nullptr, nullptr, IID_IUnknown, 0, 0, nullptr, reinterpret_cast<void**>(&tm));
  if (FAILED(hr) || tm == nullptr) return OleTxTraceHResult(FAILED(hr) ? hr : E_FAIL);
  IDtcToXaHelperSinglePipe* helper = nullptr;
  hr = tm->QueryInterface(IID_IDtcToXaHelperSinglePipe, reinterpret_cast<void**>(&helper));
  if (FAILED(hr) || helper == nullptr) {
    tm->Release();
    return OleTxTraceHResult(FAILED(hr) ? hr : E_FAIL);
  }
  rmid_ = g_nextRmid.fetch_add(1);
  std::string dsn;
  if (connectText_.compare(0, 4, "DSN=") == 0)
    dsn = connectText_.substr(4, std::min(connectText_.find(';', 4), connectText_.size()) - 4);
  if (dsn.size() > 255) dsn.resize(255);
  char info[256];
  (void)GetXaInfo(dsn.c_str(), info, sizeof info);
  xaInfo_ = info;
  hr = S_OK;
  if (xa_agent_open(drv_, hConnect_, dtcLock_, 1, xaInfo_.c_str(), rmid_, TMNOFLAGS) != XA_OK)
    hr = E_DTC_XAOPEN_FAIL;
  else
    xaOpen_ = 1;
  std::string file;
  if (SUCCEEDED(hr)) hr = driverFile(dsn, &file);
  if (SUCCEEDED(hr)) hr = helper->XARMCreate(connectText_.data(), file.data(), &cookie_);
  if (SUCCEEDED(hr))
    helper_ = helper;
  else
    helper->Release();
  tm->Release();
  return OleTxTraceHResult(hr);
}

HRESULT COdbcResourceDispenser::RMEnlist() {
  OsScopedLock own(&lock_);
  if (OleTxTraceOn()) OleTxTrace("COdbcResourceDispenser::RMEnlist()\n");
  if (helper_ == nullptr) return OleTxTraceHResult(E_UNEXPECTED);
  HRESULT hr = helper_->ConvertTridToXID(transaction_, cookie_, &xid_);
  if (FAILED(hr)) return OleTxTraceHResult(hr);
  if (xa_agent_start(drv_, hConnect_, dtcLock_, &xid_, rmid_, TMNOFLAGS) != XA_OK)
    return OleTxTraceHResult(E_DTC_XAOPEN_FAIL);
  state_ = DTC_STARTED;
  // A refused enlistment leaves the branch started; the destructor ends it.
  return OleTxTraceHResult(helper_->EnlistWithRM(cookie_, transaction_, resource_, &enlistment_));
}

HRESULT COdbcResourceDispenser::Prepare() {
  int code = XA_OK;
  if (state_ == DTC_STARTED) {
    code = end(TMSUCCESS);
    if (code == XA_OK) state_ = DTC_ENDED;
  }
  if (code == XA_OK) {
    code = xa_agent_prepare(drv_, hConnect_, dtcLock_, &xid_, rmid_, TMNOFLAGS);
    if (code == XA_OK) {
      state_ = DTC_PREPARED;
      OsCriticalSection_Enter(callLock_);
    } else if (code == XAER_RMERR) {
      state_ = DTC_ENDED;
    } else {
      state_ = DTC_IDLE;
    }
  }
  return code == XA_OK ? S_OK : code == XA_RDONLY ? XACT_S_READONLY : E_FAIL;
}

HRESULT COdbcResourceDispenser::Commit() {
  const int32_t before = state_;
  const int code = xa_agent_commit(drv_, hConnect_, dtcLock_, &xid_, rmid_, TMNOFLAGS);
  HRESULT hr = E_FAIL;
  if (code == XA_OK) {
    state_ = DTC_IDLE;
    hr = S_OK;
  } else if (code == XA_RETRY) {
    // Nothing was done: the branch stays prepared and keeps the call lock.
    state_ = DTC_PREPARED;
  } else {
    state_ = isHeuristic(code) ? DTC_HEURISTIC : DTC_IDLE;
  }
  if (before == DTC_PREPARED && state_ != DTC_PREPARED) leaveCallLock();
  return hr;
}

HRESULT COdbcResourceDispenser::Abort() {
  int code = XA_OK;
  if (state_ == DTC_STARTED) {
    code = end(TMSUCCESS);
    if (code == XA_OK) state_ = DTC_ENDED;
  }
  if (code == XA_OK) code = rollback();
  if (state_ == DTC_PREPARED) leaveCallLock();
  state_ = isHeuristic(code) ? DTC_HEURISTIC : DTC_IDLE;
  return code == XA_OK ? S_OK : E_FAIL;
}

// The coordinator is gone. A prepared branch stays prepared for the
// coordinator's recovery, which alone knows its outcome: it is left in doubt,
// and the connection is given back to the application. A branch that was not
// prepared yet is rolled back, a started one ended as failed first.
HRESULT COdbcResourceDispenser::TmDown() {
  int code = XA_OK;
  switch (state_) {
    case DTC_PREPARED:
      leaveCallLock();
      state_ = DTC_IDLE;
      break;
    case DTC_STARTED:
    case DTC_ENDED: code = abandon(); break;
    default: break;
  }
  return code == XA_OK ? S_OK : E_FAIL;
}

int32_t COdbcResourceDispenser::branchOf(const ITransaction* transaction) {
  const int32_t state = state_;
  if (state != DTC_STARTED && state != DTC_ENDED && state != DTC_PREPARED) return 0;
  return transaction == nullptr || transaction == transaction_ ? 1 : 2;
}

// Rolls back a branch that was not prepared, ending a started one as failed
// first.
int COdbcResourceDispenser::abandon() {
  int code = XA_OK;
  if (state_ == DTC_STARTED) code = end(TMFAIL);
  if (code == XA_OK || (code >= XA_RBBASE && code <= XA_RBEND)) code = rollback();
  state_ = isHeuristic(code) ? DTC_HEURISTIC : DTC_IDLE;
  return code;
}

// ---------------------------------------------------------------------------
// The resource object.

HRESULT CImpITransactionResourceAsync::QueryInterface(REFIID riid, void** out) {
  return owner_->QueryInterface(riid, out);
}
uint32_t CImpITransactionResourceAsync::AddRef() { return owner_->AddRef(); }
uint32_t CImpITransactionResourceAsync::Release() { return owner_->Release(); }

HRESULT CImpITransactionResourceAsync::PrepareRequest(int32_t, uint32_t, int32_t,
                                                      int32_t fSinglePhase) {
  return owner_->PrepareRequest(fSinglePhase);
}
HRESULT CImpITransactionResourceAsync::CommitRequest(uint32_t, XACTUOW*) {
  return owner_->CommitRequest();
}
HRESULT CImpITransactionResourceAsync::AbortRequest(BOID*, int32_t, XACTUOW*) {
  return owner_->AbortRequest();
}
HRESULT CImpITransactionResourceAsync::TMDown() { return owner_->TMDown(); }

HRESULT COdbcResourceDispenser::PrepareRequest(int32_t fSinglePhase) {
  OsScopedLock own(&lock_);
  if (OleTxTraceOn())
    OleTxTrace("CImpITransactionResourceAsync::PrepareRequest(fSinglePhase=%d)\n",
               static_cast<int>(fSinglePhase));
  const HRESULT hr = Prepare();
  if (enlistment_ != nullptr) (void)enlistment_->PrepareRequestDone(hr, nullptr, nullptr);
  return OleTxTraceHResult(hr);
}

HRESULT COdbcResourceDispenser::CommitRequest() {
  OsScopedLock own(&lock_);
  if (OleTxTraceOn()) OleTxTrace("CImpITransactionResourceAsync::CommitRequest()\n");
  const HRESULT hr = Commit();
  if (enlistment_ != nullptr) (void)enlistment_->CommitRequestDone(hr);
  return OleTxTraceHResult(hr);
}

HRESULT COdbcResourceDispenser::AbortRequest() {
  OsScopedLock own(&lock_);
  if (OleTxTraceOn()) OleTxTrace("CImpITransactionResourceAsync::AbortRequest()\n");
  const HRESULT hr = Abort();
  if (enlistment_ != nullptr) (void)enlistment_->AbortRequestDone(hr);
  return OleTxTraceHResult(hr);
}

HRESULT COdbcResourceDispenser::TMDown() {
  OsScopedLock own(&lock_);
  if (OleTxTraceOn()) OleTxTrace("CImpITransactionResourceAsync::TMDown()\n");
  return OleTxTraceHResult(TmDown());
}

// The dispenser behind a pointer the core holds, or null for one that is not
// a live dispenser.
COdbcResourceDispenser* DtcHandleToDispenser(void* p) {
  if (p == nullptr) return nullptr;
  OsScopedLock g(g_listLock.get());
  for (COdbcResourceDispenser* d : g_dispensers)
    if (d == p) return d;
  return nullptr;
}

void DtcDestroyAllDispensers() {
  std::vector<COdbcResourceDispenser*> all;
  {
    OsScopedLock g(g_listLock.get());
    all.swap(g_dispensers);
  }
  // Whatever their counts: the library is going away.
  for (COdbcResourceDispenser* d : all) delete d;
}

}  // namespace

int16_t OleTxInit() {
  OsScopedLock g(g_oleLock.get());
  if (g_oleReady) return 0;
  IMalloc* m = nullptr;
  if (FAILED(CoGetMalloc(1, &m)) || m == nullptr) return -1;
  g_malloc = m;
  OleTxTraceOpen();
  OleTxTraceDepthAlloc();
  (void)xa_switch_setup();
  g_oleReady = true;
  return 0;
}

// Ends the support when it was set up: the trace tells how many dispensers are
// still alive, every dispenser goes, the trace closes.
static void OleTxTerm() {
  {
    OsScopedLock g(g_oleLock.get());
    if (!g_oleReady) return;
    g_oleReady = false;
  }
  CObjCounter::DumpObjCounts();
  DtcDestroyAllDispensers();
  OleTxTraceClose();
  NoOpHook();
  OleTxTraceDepthFree();
  OsScopedLock g(g_oleLock.get());
  if (g_malloc != nullptr) g_malloc->Release();
  g_malloc = nullptr;
}

void* DtcCreateDispenser(void* transaction, uint32_t hServer, uint32_t hConn, DriverRecord* drv,
                         void* dtcLock, void* callLock, const char* connectText) {
  auto* d = new (std::nothrow)
      COdbcResourceDispenser(static_cast<ITransaction*>(transaction), hServer, hConn, drv, dtcLock,
                             static_cast<CRITICAL_SECTION*>(callLock), connectText);
  if (d == nullptr) return nullptr;
  if (!d->made()) {
    delete d;
    return nullptr;
  }
  (void)d->AddRef();
  COdbcResourceDispenser* self = nullptr;
  (void)d->GetThis(&self);
  return self;
}

int32_t DtcReleaseDispenser(void* dispenser) {
  COdbcResourceDispenser* d = DtcHandleToDispenser(dispenser);
  if (d == nullptr) return -1;
  return static_cast<int32_t>(d->Release());
}

int16_t DtcRMConnect(void* dispenser) {
  COdbcResourceDispenser* d = DtcHandleToDispenser(dispenser);
  if (d == nullptr) return -1;
  return SUCCEEDED(d->RMConnect()) ? 0 : -1;
}

int16_t DtcRMEnlist(void* dispenser) {
  COdbcResourceDispenser* d = DtcHandleToDispenser(dispenser);
  if (d == nullptr) return -1;
  return SUCCEEDED(d->RMEnlist()) ? 0 : -1;
}

int32_t DtcDispenserBranch(void* dispenser, void* transaction) {
  COdbcResourceDispenser* d = DtcHandleToDispenser(dispenser);
  if (d == nullptr) return -1;
  return d->branchOf(static_cast<const ITransaction*>(transaction));
}

int32_t XA_Shutdown() {
  OleTxTerm();
  xa_switch_term();
  return 1;
}
