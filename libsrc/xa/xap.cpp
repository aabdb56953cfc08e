// xap.cpp -- the XA proxy's operation table, the per-connection XA state and
// its worker thread with the single-slot channel that hands calls to it.
// Owns every XaThreadState and XaWorker; an agent connection only points at
// its state (InfConn::xa), and the pointer is read and changed here under
// g_stateLock alone.
// Threading: the application's threads, transaction monitors and DTC's threads
// call the wrappers; DTC reaches a connection's XA operations outside the
// connection's call lock, so callers of one worker queue on its channel. A
// state is freed only when no caller holds it (users), and a worker that has
// stopped refuses what was queued for it instead of leaving the caller waiting.
// Not here: what an XA operation does (the agent) or who calls it (the switch
// and the DTC enlistment).

#include "xa/xap.h"

#include <atomic>
#include <mutex>
#include <new>
#include <tuple>

#include "drv/errtab.h"
#include "drv/layercalls.h"
#include "drv/xa_types.h"
#include "xa/osprim.h"

struct XaWorker;

struct XaRequest {
  int32_t (*run)(void* call);  // runs the call on the worker
  void* call;                  // the XaProxyCall of the posting caller
};

// Single-slot hand-over between the callers of one worker and the worker.
struct XaRequestChannel {
  XaRequest* current = nullptr;  // the request being handed over
  OsSemaphore request;           // 0..1: released once per posted request
  OsSemaphore free;              // 1..1: held by a caller for its whole hand-over
  OsEvent done;                  // set by the worker when the current request has run
  XaWorker* owner = nullptr;
};

struct XaWorker {
  OsThread thread;
  OsEvent stop;  // asks the worker to end between two requests
  XaRequestChannel channel;
  int32_t terminate = 0;  // ask for forced termination first (never done by this agent)
  OsThreadStart start{};
  bool stopped = false;  // XaWorker_Stop ran
};

struct XaThreadState {
  int32_t useWorker = 0;             // operations run on the worker
  std::atomic<int32_t> xaActive{0};  // a branch is open (set by the agent)
  int32_t keepWorker = 0;            // the state survives a later XA open
  XaWorker* worker = nullptr;        // present exactly when useWorker is set
  int32_t users = 0;                 // REQUIRES g_stateLock: callers holding the state
  bool detached = false;             // REQUIRES g_stateLock: no connection points at it
};

namespace {

DriverOps XAP_Ops{};
const DriverOps* XAP_BaseOps = nullptr;
std::once_flag xap_once;

// Guards every InfConn::xa pointer and the users/detached fields of the states.
OsProcessLock g_stateLock;

// ---------------------------------------------------------------------------
// The worker.

bool XaRequestChannel_Wait(XaWorker* w) {
  OsWaitSet set;
  OsWaitSet_Init(&set);
  (void)OsWaitSet_AddEvent(&set, &w->stop);
  (void)OsWaitSet_AddSemaphore(&set, &w->channel.request);
  // The stop event comes first: a request posted while the worker is asked to
  // stop is left unrun, and its caller sees the thread end without it.
  return OsWaitSet_Wait(&set, 0) == WAIT_OBJECT_0 + 1;
}

void XaRequestChannel_Done(XaRequestChannel* ch, XaRequest* finished) {
  ch->current = finished;
  (void)OsEvent_Set(&ch->done);
}

unsigned XaWorker_Loop(void* argument) {
  XaWorker* w = static_cast<XaWorker*>(argument);
  while (XaRequestChannel_Wait(w)) {
    XaRequest* r = w->channel.current;
    (void)r->run(r->call);
    XaRequestChannel_Done(&w->channel, r);
  }
  return 0;
}

// 1 when the request ran on the worker, 0 when it was refused without running.
int XaRequestChannel_Post(XaRequestChannel* ch, XaRequest* request) {
  XaWorker* w = ch->owner;
  if (OsThread_IsAlive(&w->thread) == 0) return 0;
  if (OsSemaphore_Wait(&ch->free) == 0) return 0;
  int answer = 0;
  // The worker may have stopped while this caller queued.
  if (OsThread_IsAlive(&w->thread) != 0) {
    ch->current = request;
    if (OsSemaphore_Release(&ch->request) != 0) {
      OsWaitSet set;
      OsWaitSet_Init(&set);
      (void)OsWaitSet_AddEvent(&set, &ch->done);
      (void)OsWaitSet_AddThread(&set, &w->thread);
      const uint32_t r = OsWaitSet_Wait(&set, 0);
      if (r == WAIT_OBJECT_0)
        answer = 1;
      else if (r == WAIT_OBJECT_0 + 1)
        // Ended: the request ran only if its done signal came just before.
        answer = WaitForSingleObject(OsEvent_Handle(&ch->done), 0) == WAIT_OBJECT_0 ? 1 : 0;
    }
  }
  (void)OsSemaphore_Release(&ch->free);
  return answer;
}

int XaWorker_Post(XaWorker* w, int32_t (*run)(void*), void* call) {
  XaRequest request{run, call};
  return XaRequestChannel_Post(&w->channel, &request);
}

// A worker whose objects or thread could not be made is refused at its first
// hand-over (its thread is not alive).
void XaWorker_Start(XaWorker* w) {
  (void)OsEvent_Create(&w->stop, 0);
  (void)OsSemaphore_Create(&w->channel.request, 0, 1);
  (void)OsSemaphore_Create(&w->channel.free, 1, 1);
  (void)OsEvent_Create(&w->channel.done, 0);
  w->channel.owner = w;
  w->terminate = 0;
  w->start = OsThreadStart{XaWorker_Loop, w};
  if (w->stop.handle == nullptr || w->channel.request.handle == nullptr ||
      w->channel.free.handle == nullptr || w->channel.done.handle == nullptr)
    return;
  (void)OsThread_Start(&w->thread, &w->start);
}

// Ends the thread; the objects stay until XaWorker_Free, because callers still
// queued on the channel use them to find out that it has ended.
void XaWorker_Stop(XaWorker* w) {
  if (w->stopped) return;
  w->stopped = true;
  if (w->thread.handle == nullptr) return;
  if (w->terminate != 0 && OsThread_Terminate(&w->thread, 0) != 0) return;
  (void)OsEvent_Set(&w->stop);
  (void)OsThread_Join(&w->thread);
}

void XaWorker_Free(XaWorker* w) {
  OsThread_Close(&w->thread);
  OsEvent_Close(&w->stop);
  OsSemaphore_Close(&w->channel.request);
  OsSemaphore_Close(&w->channel.free);
  OsEvent_Close(&w->channel.done);
  delete w;
}

// ---------------------------------------------------------------------------
// States and their users.

void XaThreadState_StopWorker(XaThreadState* s) {
  if (s->worker != nullptr) XaWorker_Stop(s->worker);
}

int XaThreadState_Post(XaThreadState* s, int32_t (*run)(void*), void* call) {
  return XaWorker_Post(s->worker, run, call);
}

void stateFree(XaThreadState* s) {
  if (s->worker != nullptr) {
    XaWorker_Stop(s->worker);
    XaWorker_Free(s->worker);
  }
  delete s;
}

// The state a connection points at, held for the caller until release.
class StateRef {
 public:
  StateRef() = default;
  StateRef(const StateRef&) = delete;
  StateRef& operator=(const StateRef&) = delete;
  ~StateRef() { reset(); }

  // false when the lookup names no agent connection.
  bool acquire(XaThreadState** (*lookup)(DrvHandle), DrvHandle h) {
    OsScopedLock g(g_stateLock.get());
    XaThreadState** slot = lookup(h);
    if (slot == nullptr) return false;
    hold(*slot);
    return true;
  }
  // REQUIRES: g_stateLock held.
  void hold(XaThreadState* s) {
    s_ = s;
    if (s_ != nullptr) ++s_->users;
  }
  void reset() {
    if (s_ == nullptr) return;
    bool last = false;
    {
      OsScopedLock g(g_stateLock.get());
      last = --s_->users == 0 && s_->detached;
    }
    if (last) stateFree(s_);
    s_ = nullptr;
  }
  XaThreadState* get() const { return s_; }

 private:
  XaThreadState* s_ = nullptr;
};

// Unhooks a state from its connection and stops its worker; the memory goes
// with its last user. REQUIRES: the caller holds the state through a StateRef.
void detach(XaThreadState** slot, XaThreadState* s) {
  {
    OsScopedLock g(g_stateLock.get());
    if (slot != nullptr && *slot == s) *slot = nullptr;
    s->detached = true;
  }
  XaThreadState_StopWorker(s);
}

// ---------------------------------------------------------------------------
// Calls handed to the worker: the slot's target and arguments, built on the
// caller's stack for one call.

template <class R, class... A>
struct XaProxyCall {
  R (*target)(A...);
  std::tuple<A...> args;
  R result{};
  static int32_t Run(void* p) {
    auto* c = static_cast<XaProxyCall*>(p);
    c->result = std::apply(c->target, c->args);
    return 0;
  }
};

// The eleven statement and cursor wrappers: on the worker while a branch is
// open, else on the calling thread.
template <class... A>
int32_t statementCall(XaThreadState** (*lookup)(DrvHandle), int32_t (*target)(DrvHandle, A...),
                      DrvHandle h, A... a) {
  StateRef ref;
  if (!ref.acquire(lookup, h)) return ERR_ARGUMENT;
  XaThreadState* s = ref.get();
  if (s == nullptr || s->xaActive.load() == 0 || s->useWorker == 0) return target(h, a...);
  XaProxyCall<int32_t, DrvHandle, A...> call{target, {h, a...}};
  if (XaThreadState_Post(s, &decltype(call)::Run, &call) == 0) return ERR_THREAD_POOL;
  return call.result;
}

// The XA wrappers other than open: always on the worker once there is one.
template <class... A>
int xaCall(int (*target)(DrvHandle, A...), DrvHandle h, A... a) {
  StateRef ref;
  if (!ref.acquire(INF_ConnXaState, h) || ref.get() == nullptr) return XAER_INVAL;
  XaThreadState* s = ref.get();
  if (s->useWorker == 0) return target(h, a...);
  XaProxyCall<int, DrvHandle, A...> call{target, {h, a...}};
  if (XaThreadState_Post(s, &decltype(call)::Run, &call) == 0) return XAER_RMERR;
  return call.result;
}

bool askFlag(DrvHandle h, DriverPropId id) {
  int32_t v = 0;
  uint16_t len = 0;
  return XAP_BaseOps->DRV_GetInfo(h, id, &v, sizeof v, &len) == 0 && v != 0;
}

// ---------------------------------------------------------------------------
// The 22 wrappers.

int32_t XAP_EndConnect(DrvHandle h) {
  StateRef ref;
  if (!ref.acquire(INF_ConnXaState, h)) return ERR_ARGUMENT;
  // The agent frees the connection (and the field pointing at the state) on
  // success; the state is taken first. A refused disconnect (branch still
  // open) keeps state and worker.
  const int32_t rc = XAP_BaseOps->DRV_EndConnect(h);
  if (rc == 0 && ref.get() != nullptr) detach(nullptr, ref.get());
  return rc;
}

int32_t XAP_AllocCursor(DrvHandle h, DrvHandle* cursor) {
  return statementCall(INF_ConnXaState, XAP_BaseOps->DRV_AllocCursor, h, cursor);
}
int32_t XAP_EndCursor(DrvHandle h) {
  return statementCall(INF_CursorXaState, XAP_BaseOps->DRV_EndCursor, h);
}
int32_t XAP_Prepare(DrvHandle h, const char* sql) {
  return statementCall(INF_CursorXaState, XAP_BaseOps->DRV_Prepare, h, sql);
}
int32_t XAP_Execute(DrvHandle h) {
  return statementCall(INF_CursorXaState, XAP_BaseOps->DRV_Execute, h);
}
int32_t XAP_Fetch(DrvHandle h, uint16_t rows, Dataset* data) {
  return statementCall(INF_CursorXaState, XAP_BaseOps->DRV_Fetch, h, rows, data);
}
int32_t XAP_CloseCursor(DrvHandle h) {
  return statementCall(INF_CursorXaState, XAP_BaseOps->DRV_CloseCursor, h);
}
int32_t XAP_MoreResults(DrvHandle h) {
  return statementCall(INF_CursorXaState, XAP_BaseOps->DRV_MoreResults, h);
}
int32_t XAP_ParamData(DrvHandle h, int32_t* index, int32_t* row, uint16_t** statuses,
                      int32_t* count) {
  return statementCall(INF_CursorXaState, XAP_BaseOps->DRV_ParamData, h, index, row, statuses,
                       count);
}
int32_t XAP_PutData(DrvHandle h, uint32_t dsType, int16_t indicator, const void* data,
                    int32_t length) {
  return statementCall(INF_CursorXaState, XAP_BaseOps->DRV_PutData, h, dsType, indicator, data,
                       length);
}
int32_t XAP_PrepareExecute(DrvHandle h, const char* sql, Dataset* params, uint16_t typeCount,
                           const ParamShadow* types) {
  return statementCall(INF_CursorXaState, XAP_BaseOps->DRV_PrepareExecute, h, sql, params,
                       typeCount, types);
}
int32_t XAP_PrepareExecute2(DrvHandle h, const char* sql, Dataset* params, uint16_t typeCount,
                            const ParamTypeEntry* types) {
  return statementCall(INF_CursorXaState, XAP_BaseOps->DRV_PrepareExecute2, h, sql, params,
                       typeCount, types);
}

int XAP_XaClose(DrvHandle h, const char* info, int rmid, long flags) {
  return xaCall(XAP_BaseOps->DRV_XaClose, h, info, rmid, flags);
}
int XAP_XaCommit(DrvHandle h, XID* xid, int rmid, long flags) {
  return xaCall(XAP_BaseOps->DRV_XaCommit, h, xid, rmid, flags);
}
int XAP_XaComplete(DrvHandle h, int* handle, int* retval, int rmid, long flags) {
  return xaCall(XAP_BaseOps->DRV_XaComplete, h, handle, retval, rmid, flags);
}
int XAP_XaEnd(DrvHandle h, XID* xid, int rmid, long flags) {
  return xaCall(XAP_BaseOps->DRV_XaEnd, h, xid, rmid, flags);
}
int XAP_XaForget(DrvHandle h, XID* xid, int rmid, long flags) {
  return xaCall(XAP_BaseOps->DRV_XaForget, h, xid, rmid, flags);
}
int XAP_XaPrepare(DrvHandle h, XID* xid, int rmid, long flags) {
  return xaCall(XAP_BaseOps->DRV_XaPrepare, h, xid, rmid, flags);
}
int XAP_XaRecover(DrvHandle h, XID* xids, long count, int rmid, long flags) {
  return xaCall(XAP_BaseOps->DRV_XaRecover, h, xids, count, rmid, flags);
}
int XAP_XaRollback(DrvHandle h, XID* xid, int rmid, long flags) {
  return xaCall(XAP_BaseOps->DRV_XaRollback, h, xid, rmid, flags);
}
int XAP_XaStart(DrvHandle h, XID* xid, int rmid, long flags) {
  return xaCall(XAP_BaseOps->DRV_XaStart, h, xid, rmid, flags);
}

int XAP_XaOpen(DrvHandle h, int32_t useWorker, const char* info, int rmid, long flags) {
  StateRef ref;
  XaThreadState** slot = nullptr;
  {
    OsScopedLock g(g_stateLock.get());
    slot = INF_ConnXaState(h);
    if (slot == nullptr) return XAER_INVAL;
    ref.hold(*slot);
  }
  const bool hadState = ref.get() != nullptr;
  int32_t keep = 0;
  int32_t terminate = 0;
  if (hadState) {
    XaThreadState* old = ref.get();
    keep = old->keepWorker;
    terminate = old->worker != nullptr ? old->worker->terminate : 0;
    if (keep == 0) {
      // The open branch's session lives on the old worker's thread: replacing
      // the worker would strand the branch where neither its close nor its
      // outcome can reach it.
      if (old->xaActive.load() != 0) return XAER_PROTO;
      // A fresh state and worker for every open: the old thread has ended
      // before the new open runs.
      detach(slot, old);
      ref.reset();
    }
  }
  if (ref.get() == nullptr) {
    if (!hadState) {
      keep = askFlag(h, DRVP_XA_KEEP_WORKER) ? 1 : 0;
      terminate = askFlag(h, DRVP_XA_TERMINATE) ? 1 : 0;
    }
    auto* s = new (std::nothrow) XaThreadState;
    if (s == nullptr) return XAER_RMERR;
    s->useWorker = useWorker;
    s->keepWorker = keep;
    if (useWorker != 0) {
      s->worker = new (std::nothrow) XaWorker;
      if (s->worker == nullptr) {
        delete s;
        return XAER_RMERR;
      }
      XaWorker_Start(s->worker);
      s->worker->terminate = terminate;
    }
    OsScopedLock g(g_stateLock.get());
    slot = INF_ConnXaState(h);
    if (slot == nullptr) {
      s->detached = true;
      ref.hold(s);
    } else {
      *slot = s;
      ref.hold(s);
    }
  }
  XaThreadState* s = ref.get();
  if (s->detached) return XAER_INVAL;
  if (s->useWorker == 0) return XAP_BaseOps->DRV_XaOpen(h, useWorker, info, rmid, flags);
  XaProxyCall<int, DrvHandle, int32_t, const char*, int, long> call{
      XAP_BaseOps->DRV_XaOpen, {h, useWorker, info, rmid, flags}};
  if (XaThreadState_Post(s, &decltype(call)::Run, &call) == 0) return XAER_RMERR;
  return call.result;
}

}  // namespace

int32_t XAP_Install(DriverRecord* rec) {
  if (rec == nullptr || rec->caps == 0 || rec->ops == nullptr) return ERR_NOT_CAPABLE;
  const DriverOps* below = rec->ops;
  std::call_once(xap_once, [below] {
    XAP_BaseOps = below;
    XAP_Ops = *below;
    // A slot the table below leaves empty stays empty: nothing to run there.
    if (below->DRV_EndConnect != nullptr) XAP_Ops.DRV_EndConnect = XAP_EndConnect;
    if (below->DRV_AllocCursor != nullptr) XAP_Ops.DRV_AllocCursor = XAP_AllocCursor;
    if (below->DRV_EndCursor != nullptr) XAP_Ops.DRV_EndCursor = XAP_EndCursor;
    if (below->DRV_Prepare != nullptr) XAP_Ops.DRV_Prepare = XAP_Prepare;
    if (below->DRV_Execute != nullptr) XAP_Ops.DRV_Execute = XAP_Execute;
    if (below->DRV_Fetch != nullptr) XAP_Ops.DRV_Fetch = XAP_Fetch;
    if (below->DRV_CloseCursor != nullptr) XAP_Ops.DRV_CloseCursor = XAP_CloseCursor;
    if (below->DRV_MoreResults != nullptr) XAP_Ops.DRV_MoreResults = XAP_MoreResults;
    if (below->DRV_ParamData != nullptr) XAP_Ops.DRV_ParamData = XAP_ParamData;
    if (below->DRV_PutData != nullptr) XAP_Ops.DRV_PutData = XAP_PutData;
    if (below->DRV_PrepareExecute != nullptr) XAP_Ops.DRV_PrepareExecute = XAP_PrepareExecute;
    if (below->DRV_PrepareExecute2 != nullptr) XAP_Ops.DRV_PrepareExecute2 = XAP_PrepareExecute2;
    if (below->DRV_XaClose != nullptr) XAP_Ops.DRV_XaClose = XAP_XaClose;
    if (below->DRV_XaCommit != nullptr) XAP_Ops.DRV_XaCommit = XAP_XaCommit;
    if (below->DRV_XaComplete != nullptr) XAP_Ops.DRV_XaComplete = XAP_XaComplete;
    if (below->DRV_XaEnd != nullptr) XAP_Ops.DRV_XaEnd = XAP_XaEnd;
    if (below->DRV_XaForget != nullptr) XAP_Ops.DRV_XaForget = XAP_XaForget;
    if (below->DRV_XaOpen != nullptr) XAP_Ops.DRV_XaOpen = XAP_XaOpen;
    if (below->DRV_XaPrepare != nullptr) XAP_Ops.DRV_XaPrepare = XAP_XaPrepare;
    if (below->DRV_XaRecover != nullptr) XAP_Ops.DRV_XaRecover = XAP_XaRecover;
    if (below->DRV_XaRollback != nullptr) XAP_Ops.DRV_XaRollback = XAP_XaRollback;
    if (below->DRV_XaStart != nullptr) XAP_Ops.DRV_XaStart = XAP_XaStart;
  });
  rec->ops = &XAP_Ops;
  return 0;
}

int32_t XAP_SetXaActive(XaThreadState* state, int32_t flag) {
  if (state == nullptr) return ERR_ARGUMENT;
  state->xaActive.store(flag != 0 ? 1 : 0);
  return 0;
}

int32_t XAP_IsXaActive(const XaThreadState* state) {
  return state != nullptr ? state->xaActive.load() : 0;
}
