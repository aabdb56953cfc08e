// dispatch.cpp -- CallODBC, SQLCancel's body, the global locks and the handle
// tables of the generic layer.
// A call in progress is counted from its first instruction to its last, so
// that teardown can tell whether the locks and tables are still in use.
// Threading: the lock order is written in dispatch.h.

#include "odbc/dispatch.h"

#include <atomic>
#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "drv/errtab.h"
#include "odbc/conn.h"
#include "odbc/dae.h"
#include "odbc/desc.h"
#include "odbc/envr.h"
#include "odbc/stmt.h"
#include "odbc/trace.h"

CRITICAL_SECTION GlobalHandleLock;
CRITICAL_SECTION DriverLock;
CRITICAL_SECTION GlobalSerialLock;
HandleTable EnvHandles;
HandleTable DbcHandles;
HandleTable StmtHandles;
HandleTable DescHandles;

namespace {

std::atomic<int> initialised{0};
std::atomic<int> callsInProgress{0};
std::atomic<int> latched{0};
std::atomic<uint32_t> latchValue{0};
bool locksCreated = false;

// Counts a call from entry to return.
class CallCounter {
 public:
  CallCounter() { callsInProgress.fetch_add(1); }
  ~CallCounter() { callsInProgress.fetch_sub(1); }
  CallCounter(const CallCounter&) = delete;
  CallCounter& operator=(const CallCounter&) = delete;
};

constexpr size_t kTraceArgsMax = 250;

void trace_call(const CallDescriptor* d, const char* handleLabel, uint32_t handle,
                const CallSlot* args, size_t n) {
  if (handleLabel != nullptr)
    TraceODBC("\n[%lX] SQL%s %s=%lX", TraceThreadId(), d->name, handleLabel,
              static_cast<unsigned long>(handle));
  else
    TraceODBC("\n[%lX] SQL%s", TraceThreadId(), d->name);
  if (d->traceFormat != nullptr && d->traceFormat[0] != '\0') {
    char buf[kTraceArgsMax + 1];
    FormatTraceArgs(buf, sizeof buf, d->traceFormat, args, n);
    TraceODBC("%s", buf);
  }
}

void trace_result(const CallDescriptor* d, SQLRETURN rc) {
  if (TraceLevel != 0)
    TraceODBC("[%lX] SQL%s: returning SQL_%s", TraceThreadId(), d->name, SqlReturnName(rc));
}

// The diagnostics of the record a call runs on.
struct RecordDiag {
  DiagList* list;
  int32_t* errCode;
};

RecordDiag record_diag(int32_t kind, void* rec) {
  switch (kind) {
    case CALL_HENV: return {&static_cast<Envr*>(rec)->diag, &static_cast<Envr*>(rec)->errCode};
    case CALL_HDBC: return {&static_cast<Conn*>(rec)->diag, &static_cast<Conn*>(rec)->errCode};
    case CALL_HSTMT: return {&static_cast<Stmt*>(rec)->diag, &static_cast<Stmt*>(rec)->errCode};
    default: return {&static_cast<Desc*>(rec)->diag, &static_cast<Desc*>(rec)->errCode};
  }
}

void reset_diag(int32_t kind, void* rec) {
  RecordDiag rd = record_diag(kind, rec);
  if (rd.list->head != nullptr) DiagListFree(rd.list);
  *rd.errCode = 0;
}

// Looks the handle up and checks the record's kind. REQUIRES: GlobalHandleLock, under
// which every change of the tables is made, so their own locks are not needed.
void* lookup(int32_t kind, uint32_t handle, Conn** conn) {
  switch (kind) {
    case CALL_HENV: {
      auto* e = static_cast<Envr*>(HandleLookupHeld(&EnvHandles, handle));
      return (e != nullptr && e->magic == ENVR_MAGIC) ? e : nullptr;
    }
    case CALL_HDBC: {
      auto* c = static_cast<Conn*>(HandleLookupHeld(&DbcHandles, handle));
      if (c == nullptr || c->magic != CONN_MAGIC) return nullptr;
      *conn = c;
      return c;
    }
    case CALL_HSTMT: {
      auto* s = static_cast<Stmt*>(HandleLookupHeld(&StmtHandles, handle));
      if (s == nullptr || s->magic != STMT_MAGIC) return nullptr;
      *conn = s->st_dbc;
      return s;
    }
    case CALL_HDESC: {
      auto* d = static_cast<Desc*>(HandleLookupHeld(&DescHandles, handle));
      if (d == nullptr || d->magic != DESC_MAGIC) return nullptr;
      *conn = DescConn(d);
      return *conn != nullptr ? d : nullptr;
    }
    default: return nullptr;
  }
}

const char* handle_label(int32_t kind) {
  switch (kind) {
    case CALL_HENV: return "hEnv";
    case CALL_HDBC: return "hDbc";
    case CALL_HSTMT: return "hStmt";
    case CALL_HDESC: return "hDesc";
    default: return nullptr;
  }
}

// The busy mark of a call on a connection, shared by CallODBC and SQLCancel:
// marks the connection busy with the record of the call about to run and
// answers whether that call must hold GlobalSerialLock as well (a back end
// that is not thread-safe). REQUIRES: GlobalHandleLock, the connection not busy.
// The mark is set under GlobalHandleLock and cleared without it by the thread whose
// call set it (the last thing that call does to the connection), so it is read with
// an atomic load: one read per decision.
bool mark_busy(Conn* conn, void* rec) {
  __atomic_store_n(&conn->cn_busy, rec, __ATOMIC_RELAXED);
  return (latchValue.load() & DRV_CAP_THREADSAFE) == 0;
}

void* busy_of(const Conn* conn) { return __atomic_load_n(&conn->cn_busy, __ATOMIC_ACQUIRE); }

// The release store hands the record's state to whichever call marks it next.
void clear_busy(Conn* conn) { __atomic_store_n(&conn->cn_busy, nullptr, __ATOMIC_RELEASE); }

// The locks a call on a connection marked busy runs under: the connection's
// call lock, then GlobalSerialLock when mark_busy asked for it; left in the
// reverse order. Taken only once GlobalHandleLock is left.
class CallLocks {
 public:
  CallLocks(Conn* conn, bool serial) noexcept : call_(&conn->cn_callLock), serial_(serial) {
    if (serial_) EnterCriticalSection(&GlobalSerialLock);
  }
  ~CallLocks() {
    if (serial_) LeaveCriticalSection(&GlobalSerialLock);
  }
  CallLocks(const CallLocks&) = delete;
  CallLocks& operator=(const CallLocks&) = delete;

 private:
  CriticalSectionLock call_;
  bool serial_;
};

// A call that waits for the connection's call in progress instead of being refused:
// it runs once that call has left the connection's call lock, without marking the
// connection busy (the call lock alone keeps the two apart), and only if its handle
// still names the same record then. The caller counted it among the connection's
// waiters, which keeps the connection's memory (its call lock above all) alive even
// when the call it waited for freed the connection.
// A diagnostics call runs under GlobalHandleLock as well: a call refused beside the
// connection's busy record clears that record's diagnostics under GlobalHandleLock
// alone, and must not free the list this call is reading.
SQLRETURN wait_and_run(const CallDescriptor* d, int32_t kind, uint32_t handle, Conn* conn,
                       void* rec, const CallSlot* args) {
  SQLRETURN rc = SQL_INVALID_HANDLE;
  {
    CallLocks locks(conn, d->resetDiag != 0 && (latchValue.load() & DRV_CAP_THREADSAFE) == 0);
    bool run = false;
    {
      CriticalSectionLock g(&GlobalHandleLock);
      Conn* again = nullptr;
      if (lookup(kind, handle, &again) == rec && again == conn) {
        if (d->resetDiag == 0) {
          rc = d->worker(rec, args);
        } else {
          reset_diag(kind, rec);
          run = true;
        }
      }
    }
    if (run) rc = d->worker(rec, args);
  }
  bool release = false;
  {
    CriticalSectionLock g(&GlobalHandleLock);
    release = --conn->cn_waiters == 0 && conn->cn_releasePending != 0;
  }
  if (release) ConnReleaseNow(conn);
  return rc;
}

}  // namespace

bool HandlesInitialised() { return initialised.load() != 0; }

const char* SqlReturnName(SQLRETURN rc) {
  switch (rc) {
    case SQL_SUCCESS: return "SUCCESS";
    case SQL_SUCCESS_WITH_INFO: return "SUCCESS_WITH_INFO";
    case SQL_STILL_EXECUTING: return "STILL_EXECUTING";
    case SQL_NEED_DATA: return "NEED_DATA";
    case SQL_NO_DATA: return "NO_DATA_FOUND";
    case SQL_INVALID_HANDLE: return "INVALID_HANDLE";
    case SQL_ERROR: return "ERROR";
    default: return "UNKNOWN_ERROR";
  }
}

void FormatTraceArgs(char* out, size_t size, const char* format, const CallSlot* args,
                     size_t count) {
  if (size == 0) return;
  size_t used = 0;
  size_t slot = 0;
  auto put = [&](const char* s, size_t n) {
    while (n-- > 0 && used + 1 < size) out[used++] = *s++;
  };
  for (const char* p = format; *p != '\0';) {
    if (*p != '%') {
      put(p, 1);
      ++p;
      continue;
    }
    if (p[1] == '%') {
      put("%", 1);
      p += 2;
      continue;
    }
    // Flags and width are kept; the length modifier is dropped because the
    // value printed is always the 32 bits the conversion means.
    char fmt[16];
    size_t sn = 0;
    fmt[sn++] = *p++;
    while ((*p == '0' || *p == '-' || *p == '#' || *p == ' ' || *p == '+' ||
            (*p >= '1' && *p <= '9')) &&
           sn < 8) {
      fmt[sn++] = *p++;
      while (*p >= '0' && *p <= '9' && sn < 8) fmt[sn++] = *p++;
    }
    while (*p == 'l' || *p == 'h') ++p;
    char conv = *p;
    if (conv == '\0') break;
    ++p;
    CallSlot v = slot < count ? args[slot] : 0;
    ++slot;
    char item[64];
    int n = 0;
    switch (conv) {
      case 'd':
      case 'i':
        fmt[sn++] = 'd';
        fmt[sn] = '\0';
        n = snprintf(item, sizeof item, fmt, static_cast<int>(static_cast<int32_t>(v)));
        break;
      case 'u':
      case 'x':
      case 'X':
        fmt[sn++] = conv;
        fmt[sn] = '\0';
        n = snprintf(item, sizeof item, fmt, static_cast<unsigned>(static_cast<uint32_t>(v)));
        break;
      case 'p':
        n = snprintf(item, sizeof item, "%p", reinterpret_cast<void*>(static_cast<uintptr_t>(v)));
        break;
      default:
        // A conversion the trace formats do not use prints as hex.
        n = snprintf(item, sizeof item, "%" PRIX64, v);
        break;
    }
    if (n > 0) put(item, static_cast<size_t>(n) < sizeof item ? n : sizeof item - 1);
  }
  out[used] = '\0';
}

SQLRETURN CallODBC(const CallDescriptor* d, const CallSlot* slots, size_t count) {
  CallCounter counted;
  if (initialised.load() == 0) return SQL_ERROR;

  const int32_t kind = d->handleType;
  if (kind == CALL_NOHANDLE) {
    if (TraceLevel != 0) trace_call(d, nullptr, 0, slots, count);
    SQLRETURN rc;
    {
      CriticalSectionLock g(&GlobalHandleLock);
      rc = d->worker(nullptr, slots);
    }
    trace_result(d, rc);
    return rc;
  }
  if (kind < CALL_HENV || kind > CALL_HDESC || count == 0) {
    TraceODBC("CallODBC: internal error");
    return SQL_ERROR;
  }

  const uint32_t handle = static_cast<uint32_t>(slots[0]);
  const CallSlot* args = slots + 1;
  if (TraceLevel != 0) trace_call(d, handle_label(kind), handle, args, count - 1);

  Conn* conn = nullptr;
  SQLRETURN rc;
  if (kind == CALL_HENV) {
    {
      CriticalSectionLock g(&GlobalHandleLock);
      void* rec = lookup(kind, handle, &conn);
      if (rec == nullptr) {
        rc = SQL_INVALID_HANDLE;
      } else {
        if (d->resetDiag != 0) reset_diag(kind, rec);
        rc = d->worker(rec, args);
      }
    }
    trace_result(d, rc);
    return rc;
  }

  void* rec;
  bool serial = false;
  bool wait = false;
  {
    CriticalSectionLock g(&GlobalHandleLock);
    rec = lookup(kind, handle, &conn);
    void* const busy = rec != nullptr ? busy_of(conn) : nullptr;
    if (rec == nullptr) {
      rc = SQL_INVALID_HANDLE;
    } else if (busy != nullptr && (d->resetDiag == 0 || d->waitBusy != 0)) {
      wait = true;
      ++conn->cn_waiters;
      rc = SQL_SUCCESS;
    } else if (busy == rec) {
      // The record's own call is still running on another thread.
      rc = SQL_STILL_EXECUTING;
    } else if (busy != nullptr) {
      // Another record of the connection is in a call. The diagnostic calls
      // leave the record as it is, so that what they read stays readable.
      if (d->resetDiag != 0) {
        reset_diag(kind, rec);
        *record_diag(kind, rec).errCode = ERR_SEQUENCE;
      }
      rc = SQL_ERROR;
    } else {
      serial = mark_busy(conn, rec);
      rc = SQL_SUCCESS;
    }
  }
  if (rec == nullptr || rc != SQL_SUCCESS) {
    trace_result(d, rc);
    return rc;
  }
  if (wait) {
    rc = wait_and_run(d, kind, handle, conn, rec, args);
    trace_result(d, rc);
    return rc;
  }

  {
    CallLocks locks(conn, serial);
    // Cleared under the call lock: a diagnostics call that waited for the previous
    // call may still be reading the list until it leaves the lock.
    if (d->resetDiag != 0) reset_diag(kind, rec);
    rc = d->worker(rec, args);
  }

  if (kind == CALL_HDBC && conn->magic == RECORD_FREED) {
    // The worker freed the connection: its lock could only go once left.
    ConnRelease(conn);
  } else {
    if (rc != SQL_SUCCESS && conn->cn_failoverCallback != nullptr && d->resetDiag != 0)
      rc = NotifyFailover(conn, kind, rc);
    clear_busy(conn);
  }
  trace_result(d, rc);
  return rc;
}

SQLRETURN NotifyFailover(Conn* conn, int32_t kind, SQLRETURN result) {
  if (conn == nullptr || conn->cn_failoverCallback == nullptr) return result;
  const DiagList* list;
  int32_t code;
  switch (kind) {
    case CALL_HDBC:
      list = &conn->diag;
      code = conn->errCode;
      break;
    case CALL_HSTMT: {
      auto* s = static_cast<Stmt*>(conn->cn_busy);
      if (s == nullptr) return result;
      list = &s->diag;
      code = s->errCode;
      break;
    }
    case CALL_HDESC: {
      auto* dsc = static_cast<Desc*>(conn->cn_busy);
      if (dsc == nullptr) return result;
      list = &dsc->diag;
      code = dsc->errCode;
      break;
    }
    default: return result;
  }
  int32_t event = 0;
  if (code == ERR_FAILOVER_COMPLETED) {
    event = FAILOVER_COMPLETED;
    result = SQL_SUCCESS_WITH_INFO;
  } else if (code == ERR_FAILOVER_ABORTED) {
    event = FAILOVER_ABORTED;
    result = SQL_ERROR;
  } else {
    int32_t found;
    {
      // A diagnostics call that waited for this one may be reading the list.
      CriticalSectionLock g(&GlobalHandleLock);
      found = DiagFindFailover(list);
    }
    if (found == ERR_FAILOVER_COMPLETED) {
      event = FAILOVER_COMPLETED;
      result = SQL_ERROR;
    } else if (found == ERR_FAILOVER_ABORTED) {
      event = FAILOVER_ABORTED;
      result = SQL_ERROR;
    }
  }
  if (event != 0) (void)conn->cn_failoverCallback(event, conn->cn_failoverContext, 0);
  return result;
}

SQLRETURN CancelStatement(uint32_t hstmt) {
  CallCounter counted;
  if (initialised.load() == 0) return SQL_ERROR;
  if (TraceLevel != 0) TraceODBC("\nSQLCancel hStmt=%lX", static_cast<unsigned long>(hstmt));

  Stmt* stmt;
  Conn* conn;
  bool serial;
  {
    CriticalSectionLock g(&GlobalHandleLock);
    stmt = static_cast<Stmt*>(HandleLookup(&StmtHandles, hstmt));
    if (stmt == nullptr || stmt->magic != STMT_MAGIC) {
      TraceODBC("SQLCancel: returning SQL_INVALID_HANDLE");
      return SQL_INVALID_HANDLE;
    }
    conn = stmt->st_dbc;
    void* const busy = busy_of(conn);
    if (busy == stmt) {
      // The statement's call runs on another thread: interrupt it there. Its
      // record stays untouched; that call reports its own outcome.
      SQLRETURN rc = SQL_SUCCESS;
      if (stmt->state == STMT_STATE_PREPARED &&
          stmt->st_drv->ops->DRV_Cancel(stmt->st_hCursor) != 0)
        rc = SQL_ERROR;
      TraceODBC("SQLCancel: returning %d", static_cast<int>(rc));
      return rc;
    }
    if (busy != nullptr) {
      // Another record of the session is in a call; closing this statement
      // beside it would run two back-end calls on one session at once.
      TraceODBC("SQLCancel: returning %d", SQL_SUCCESS);
      return SQL_SUCCESS;
    }
    serial = mark_busy(conn, stmt);
  }

  SQLRETURN rc = SQL_SUCCESS_WITH_INFO;
  {
    CallLocks locks(conn, serial);
    if (stmt->st_daeState != DAE_NONE) {
      // A cancel ends data at execution only: the statement stays prepared,
      // and a cursor whose rows SetPos was changing stays open, as the Driver
      // Manager takes it.
      DAEAbandon(stmt);
      stmt->errCode = 0;
      rc = SQL_SUCCESS;
    } else {
      StmtClose(stmt);
      stmt->errCode = ERR_CANCEL_CLOSED;
    }
  }
  clear_busy(conn);
  TraceODBC("SQLCancel: returning %d", static_cast<int>(rc));
  return rc;
}

int HandlesInit() {
  if (initialised.load() != 0) return 0;
  if (!locksCreated) {
    InitializeCriticalSection(&GlobalHandleLock);
    InitializeCriticalSection(&DriverLock);
    InitializeCriticalSection(&GlobalSerialLock);
    locksCreated = true;
  }
  HandleTable* tables[] = {&EnvHandles, &DbcHandles, &StmtHandles, &DescHandles};
  const uint32_t tags[] = {HTAG_ENV, HTAG_DBC, HTAG_STMT, HTAG_DESC};
  for (int i = 0; i < 4; ++i)
    if (HandleTableInit(tables[i], tags[i]) != 0) return -1;
  for (HandleTable* t : tables)
    if (HandleTableEnableLock(t) != 0) return -1;
  latched.store(0);
  latchValue.store(0);
  initialised.store(1);
  return 0;
}

int HandlesTerm() {
  if (initialised.load() == 0) return 0;
  bool busy = false;
  {
    CriticalSectionLock g(&GlobalHandleLock);
    for (Envr* env = EnvrFirst(); env != nullptr; env = EnvrFirst()) {
      if (EnvrAnyBusy(env)) {
        busy = true;
        break;
      }
      EnvrDisconnectAll(env);
      EnvrFree(env);
    }
    initialised.store(0);
  }
  // The counter was raised by every call before it read the flag, so a call
  // that is not counted here will see the layer closed.
  if (busy || callsInProgress.load() != 0) return 1;
  DeleteCriticalSection(&GlobalHandleLock);
  DeleteCriticalSection(&DriverLock);
  DeleteCriticalSection(&GlobalSerialLock);
  locksCreated = false;
  HandleTableDestroy(&StmtHandles);
  HandleTableDestroy(&DbcHandles);
  HandleTableDestroy(&EnvHandles);
  HandleTableDestroy(&DescHandles);
  return 0;
}

void LatchAgentThreadSafety(const DriverRecord* rec) {
  int expected = 0;
  if (latched.compare_exchange_strong(expected, 1))
    latchValue.store(rec->caps & DRV_CAP_THREADSAFE);
}
