// dtc_tm.cpp -- the stand-in coordinator: a transaction manager that enlists XA
// resource managers and drives their two phases from threads of its own, with
// the controls of dtc_testing.h.
// Owns its transactions, their enlistments, the record of resource managers and
// the log of outcomes.
// Threading: every request to a resource runs on a new thread, and the
// control that sent it waits for the resource's completion call; the shared
// records are guarded by g_lock.

#include <dlfcn.h>

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/dtc/dtc_testing.h"

#define DTC_EXPORT __attribute__((visibility("default")))

namespace {

constexpr long kFormatId = 0x4B44544D;  // the XIDs of this coordinator
constexpr int kPhases = 3;              // prepare, commit, abort
constexpr int kTmDown = kPhases;        // the request that is no phase

enum Outcome { kUndecided = 0, kCommit = 1, kAbort = 2 };

struct RmRecord {
  std::string connectText;
  std::string file;
};

std::mutex g_lock;
std::vector<RmRecord> g_rms;                       // REQUIRES: g_lock; cookie = index + 1
std::vector<std::pair<GUID, Outcome>> g_outcomes;  // REQUIRES: g_lock

void logOutcome(const GUID& id, Outcome o) {
  std::lock_guard<std::mutex> g(g_lock);
  for (auto& e : g_outcomes)
    if (e.first == id) {
      e.second = o;
      return;
    }
  g_outcomes.emplace_back(id, o);
}

Outcome loggedOutcome(const GUID& id) {
  std::lock_guard<std::mutex> g(g_lock);
  for (auto& e : g_outcomes)
    if (e.first == id) return e.second;
  return kUndecided;
}

// The reference counting and QueryInterface every object of the coordinator
// shares: I is the one interface it implements besides IUnknown, named by iid.
template <class I, const IID& kIid>
class ComObject : public I {
 public:
  HRESULT QueryInterface(REFIID riid, void** out) override {
    if (out == nullptr) return E_INVALIDARG;
    *out = nullptr;
    if (!(riid == IID_IUnknown) && !(riid == kIid)) return E_NOINTERFACE;
    *out = static_cast<I*>(this);
    this->AddRef();
    return S_OK;
  }
  uint32_t AddRef() override { return ++refs_; }
  uint32_t Release() override {
    const uint32_t n = --refs_;
    if (n == 0) delete this;
    return n;
  }

 protected:
  explicit ComObject(uint32_t refs) : refs_(refs) {}
  virtual ~ComObject() = default;

 private:
  std::atomic<uint32_t> refs_;
};

class Transaction;

// One resource in one transaction: where the resource reports its outcomes.
class Enlistment final
    : public ComObject<ITransactionEnlistmentAsync, IID_ITransactionEnlistmentAsync> {
 public:
  explicit Enlistment(ITransactionResourceAsync* resource) : ComObject(1), resource_(resource) {
    resource_->AddRef();
    for (HRESULT& r : reported_) r = S_FALSE;
  }

  HRESULT PrepareRequestDone(HRESULT hr, IMoniker*, BOID*) override { return done(0, hr); }
  HRESULT CommitRequestDone(HRESULT hr) override { return done(1, hr); }
  HRESULT AbortRequestDone(HRESULT hr) override { return done(2, hr); }

  // Sends one request (a phase, or kTmDown) on a thread of its own and waits
  // for its completion call; TMDown reports nothing and is waited for by its
  // thread alone.
  void send(int phase) {
    const bool tmDown = phase == kTmDown;
    if (!tmDown) {
      std::lock_guard<std::mutex> g(m_);
      reported_[phase] = S_FALSE;
      arrived_[phase] = false;
    }
    ITransactionResourceAsync* r = resource_;
    std::thread t([r, phase, tmDown] {
      if (tmDown)
        (void)r->TMDown();
      else if (phase == 0)
        (void)r->PrepareRequest(0, 0, 0, 0);
      else if (phase == 1)
        (void)r->CommitRequest(0, nullptr);
      else
        (void)r->AbortRequest(nullptr, 0, nullptr);
    });
    if (!tmDown) {
      std::unique_lock<std::mutex> l(m_);
      cv_.wait(l, [this, phase] { return arrived_[phase]; });
    }
    t.join();
  }

  HRESULT reported(int phase) {
    std::lock_guard<std::mutex> g(m_);
    return reported_[phase];
  }

  // The transaction is over for this resource: its reference goes.
  void finish() {
    if (resource_ == nullptr) return;
    resource_->Release();
    resource_ = nullptr;
  }
  bool finished() const { return resource_ == nullptr; }
  ITransactionResourceAsync* resource() const { return resource_; }

 private:
  ~Enlistment() override { finish(); }
  HRESULT done(int phase, HRESULT hr) {
    std::lock_guard<std::mutex> g(m_);
    reported_[phase] = hr;
    arrived_[phase] = true;
    cv_.notify_all();
    return S_OK;
  }

  ITransactionResourceAsync* resource_;
  std::mutex m_;
  std::condition_variable cv_;
  HRESULT reported_[kPhases];
  bool arrived_[kPhases] = {};
};

class Transaction final : public ComObject<ITransaction, IID_ITransaction> {
 public:
  explicit Transaction(const GUID& id) : ComObject(1), id_(id) {}

  const GUID& id() const { return id_; }
  std::vector<Enlistment*> members;  // one reference each
  bool voteNo = false;
  bool prepared = false;  // phase one ended with every vote yes

 private:
  ~Transaction() override {
    for (Enlistment* e : members) {
      e->finish();
      e->Release();
    }
  }
  GUID id_;
};

Transaction* asTransaction(ITransaction* tx) { return static_cast<Transaction*>(tx); }

class Helper final : public ComObject<IDtcToXaHelperSinglePipe, IID_IDtcToXaHelperSinglePipe> {
 public:
  Helper() : ComObject(0) {}

  HRESULT XARMCreate(char* dsn, char* clientDll, uint32_t* rmCookie) override {
    if (dsn == nullptr || clientDll == nullptr || rmCookie == nullptr) return E_INVALIDARG;
    std::lock_guard<std::mutex> g(g_lock);
    g_rms.push_back(RmRecord{dsn, clientDll});
    *rmCookie = static_cast<uint32_t>(g_rms.size());
    return S_OK;
  }

  HRESULT ConvertTridToXID(ITransaction* transaction, uint32_t rmCookie, XID* xid) override {
    if (transaction == nullptr || xid == nullptr) return E_INVALIDARG;
    const GUID& id = asTransaction(transaction)->id();
    std::memset(xid, 0, sizeof *xid);
    xid->formatID = kFormatId;
    xid->gtrid_length = sizeof(GUID);
    xid->bqual_length = sizeof rmCookie;
    std::memcpy(xid->data, &id, sizeof(GUID));
    std::memcpy(xid->data + sizeof(GUID), &rmCookie, sizeof rmCookie);
    return S_OK;
  }

  HRESULT EnlistWithRM(uint32_t, ITransaction* transaction, ITransactionResourceAsync* resource,
                       ITransactionEnlistmentAsync** enlistment) override {
    if (transaction == nullptr || resource == nullptr || enlistment == nullptr) return E_INVALIDARG;
    auto* e = new Enlistment(resource);
    asTransaction(transaction)->members.push_back(e);
    e->AddRef();
    *enlistment = e;
    return S_OK;
  }

  void ReleaseRMCookie(uint32_t, int32_t) override {}

 private:
};

HRESULT abortAll(Transaction* t) {
  logOutcome(t->id(), kAbort);
  for (Enlistment* e : t->members) {
    if (e->finished() || e->reported(0) == XACT_S_READONLY) continue;
    e->send(2);
    e->finish();
  }
  return XACT_E_ABORTED;
}

using GetXaSwitchFn = HRESULT (*)(uint32_t, xa_switch_t**);

// Finishes the coordinator's prepared branches of one resource manager; runs
// on a thread of its own, which the switch binds the instance to.
int recoverOne(const RmRecord& rm, int rmid) {
  void* lib = dlopen(rm.file.c_str(), RTLD_NOW);
  if (lib == nullptr) return -1;
  auto get = reinterpret_cast<GetXaSwitchFn>(dlsym(lib, "GetXaSwitch"));
  xa_switch_t* sw = nullptr;
  if (get == nullptr || FAILED(get(0, &sw)) || sw == nullptr) return -1;
  std::string text = rm.connectText;
  if (sw->xa_open_entry(text.data(), rmid, TMNOFLAGS) != XA_OK) return -1;
  XID xids[64];
  const int n = sw->xa_recover_entry(xids, 64, rmid, TMSTARTRSCAN | TMENDRSCAN);
  int finished = n < 0 ? -1 : 0;
  for (int i = 0; i < n; ++i) {
    if (xids[i].formatID != kFormatId || xids[i].gtrid_length != sizeof(GUID)) continue;
    GUID id;
    std::memcpy(&id, xids[i].data, sizeof id);
    const int code = loggedOutcome(id) == kCommit
                         ? sw->xa_commit_entry(&xids[i], rmid, TMNOFLAGS)
                         : sw->xa_rollback_entry(&xids[i], rmid, TMNOFLAGS);
    if (code == XA_OK) ++finished;
  }
  (void)sw->xa_close_entry(text.data(), rmid, TMNOFLAGS);
  return finished;
}

}  // namespace

extern "C" {

DTC_EXPORT HRESULT DtcGetTransactionManager(char*, char*, REFIID riid, uint32_t, uint16_t, void*,
                                            void** out) {
  if (out == nullptr) return E_INVALIDARG;
  auto* h = new Helper;
  const HRESULT hr = h->QueryInterface(riid, out);
  if (FAILED(hr)) h->Release();
  return hr;
}

DTC_EXPORT ITransaction* DtcTestBegin(const GUID* id) { return new Transaction(*id); }

DTC_EXPORT void DtcTestRelease(ITransaction* tx) {
  if (tx != nullptr) tx->Release();
}

DTC_EXPORT void DtcTestVoteNo(ITransaction* tx) { asTransaction(tx)->voteNo = true; }

DTC_EXPORT HRESULT DtcTestPrepare(ITransaction* tx) {
  Transaction* t = asTransaction(tx);
  if (t->prepared) return S_OK;
  bool yes = true;
  for (Enlistment* e : t->members) {
    if (e->finished()) continue;
    e->send(0);
    const HRESULT hr = e->reported(0);
    if (hr == XACT_S_READONLY)
      e->finish();
    else if (hr != S_OK)
      yes = false;
  }
  if (t->voteNo) {
    t->voteNo = false;
    yes = false;
  }
  if (!yes) return abortAll(t);
  t->prepared = true;
  logOutcome(t->id(), kCommit);
  return S_OK;
}

DTC_EXPORT HRESULT DtcTestCommit(ITransaction* tx) {
  Transaction* t = asTransaction(tx);
  if (HRESULT hr = DtcTestPrepare(tx); hr != S_OK) return hr;
  HRESULT first = S_OK;
  for (Enlistment* e : t->members) {
    if (e->finished()) continue;
    e->send(1);
    const HRESULT hr = e->reported(1);
    if (hr == S_OK)
      e->finish();
    else if (first == S_OK)
      first = hr;
  }
  return first;
}

DTC_EXPORT HRESULT DtcTestAbort(ITransaction* tx) { return abortAll(asTransaction(tx)); }

DTC_EXPORT HRESULT DtcTestTMDown(ITransaction* tx) {
  Transaction* t = asTransaction(tx);
  if (!t->prepared) logOutcome(t->id(), kAbort);
  for (Enlistment* e : t->members) {
    if (e->finished()) continue;
    e->send(kTmDown);
    e->finish();
  }
  return S_OK;
}

DTC_EXPORT int DtcTestMembers(ITransaction* tx) {
  return static_cast<int>(asTransaction(tx)->members.size());
}

DTC_EXPORT ITransactionResourceAsync* DtcTestResource(ITransaction* tx, int member) {
  Transaction* t = asTransaction(tx);
  if (member < 0 || member >= static_cast<int>(t->members.size())) return nullptr;
  return t->members[static_cast<size_t>(member)]->resource();
}

DTC_EXPORT HRESULT DtcTestOutcome(ITransaction* tx, int member, int phase) {
  Transaction* t = asTransaction(tx);
  if (member < 0 || member >= static_cast<int>(t->members.size()) || phase < 0 || phase >= kPhases)
    return E_INVALIDARG;
  return t->members[static_cast<size_t>(member)]->reported(phase);
}

DTC_EXPORT int DtcTestResourceManagers(void) {
  std::lock_guard<std::mutex> g(g_lock);
  return static_cast<int>(g_rms.size());
}

DTC_EXPORT int DtcTestResourceManager(int index, char* connectText, size_t textSize, char* file,
                                      size_t fileSize) {
  std::lock_guard<std::mutex> g(g_lock);
  if (index < 0 || index >= static_cast<int>(g_rms.size())) return 0;
  const RmRecord& r = g_rms[static_cast<size_t>(index)];
  if (connectText != nullptr && textSize > 0)
    std::snprintf(connectText, textSize, "%s", r.connectText.c_str());
  if (file != nullptr && fileSize > 0) std::snprintf(file, fileSize, "%s", r.file.c_str());
  return 1;
}

DTC_EXPORT int DtcTestRecover(void) {
  std::vector<RmRecord> rms;
  {
    std::lock_guard<std::mutex> g(g_lock);
    for (const RmRecord& r : g_rms) {
      bool seen = false;
      for (const RmRecord& s : rms)
        seen = seen || (s.connectText == r.connectText && s.file == r.file);
      if (!seen) rms.push_back(r);
    }
  }
  int total = 0;
  for (size_t i = 0; i < rms.size(); ++i) {
    int n = -1;
    std::thread t([&] { n = recoverOne(rms[i], 9000 + static_cast<int>(i)); });
    t.join();
    if (n < 0) return -1;
    total += n;
  }
  return total;
}

}  // extern "C"
