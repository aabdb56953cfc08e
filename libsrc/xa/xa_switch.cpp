// xa_switch.cpp -- the driver's xa_switch_t and its exports: a transaction
// monitor opens a resource-manager instance with xa_open and drives its branch
// through the other entries.
// Each instance owns an ODBC connection of its own, opened inside the driver on
// a process-wide environment with the xa_info text as connection string; its
// branch operations reach that connection's back end through its DriverRecord,
// so through the XA proxy, which runs them on the connection's worker thread.
// An instance belongs to the thread that opened it, under its rmid: X/Open
// calls every entry of a branch on that thread. One thread may hold several
// instances (one per rmid).
// Owns the shared environment, the instances and their associations.
// Threading: the environment's count and handle change under g_envLock, the
// associations under g_assocLock; the two are never held together, and
// neither is held across a branch operation.

#include "xa/xa_switch.h"

#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "drv/export.h"
#include "drv/layercalls.h"
#include "xa/osprim.h"
#include "platform/windows/thread.h"
#include "xa/oletx_trace.h"

namespace {

xa_switch_t DriverXaSwitch{};
std::once_flag g_setupOnce;
OsProcessLock g_readyLock;
bool g_ready = false;  // REQUIRES: g_readyLock

// The environment every instance's connection is opened on; it lives while at
// least one instance is being opened or is open.
struct XaSharedEnv {
  SQLHENV henv = nullptr;
  int32_t refcount = 0;
};
OsProcessLock g_envLock;
XaSharedEnv g_env;  // REQUIRES: g_envLock

struct XaConnection {
  SQLHDBC hdbc = nullptr;  // the generic connection, null when closed
  XaConnView view{};       // its back-end binding, valid while connected
};

// One open instance: the thread that opened it and its rmid.
struct XaThreadAssoc {
  int rmid = 0;
  uint32_t threadId = 0;
  XaConnection* conn = nullptr;
};
OsProcessLock g_assocLock;
// Never destroyed: the library's detach may still look instances up.
std::vector<XaThreadAssoc*>& g_assocs = *new std::vector<XaThreadAssoc*>;  // REQUIRES: g_assocLock

// ---------------------------------------------------------------------------
// The shared environment and the instances' connections.

bool xa_env_acquire() {
  OsScopedLock g(g_envLock.get());
  ++g_env.refcount;
  if (g_env.henv != nullptr) return true;
  SQLHENV h = nullptr;
  if (SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &h) != SQL_SUCCESS) return false;
  if (SQLSetEnvAttr(h, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0) !=
      SQL_SUCCESS) {
    (void)SQLFreeHandle(SQL_HANDLE_ENV, h);
    return false;
  }
  g_env.henv = h;
  return true;
}

void xa_env_release() {
  OsScopedLock g(g_envLock.get());
  if (--g_env.refcount == 0 && g_env.henv != nullptr) {
    (void)SQLFreeHandle(SQL_HANDLE_ENV, g_env.henv);
    g_env.henv = nullptr;
  }
}

SQLHENV sharedEnv() {
  OsScopedLock g(g_envLock.get());
  return g_env.henv;
}

bool xa_conn_open(XaConnection* c, const char* xaInfo) {
  SQLHDBC h = nullptr;
  if (SQLAllocHandle(SQL_HANDLE_DBC, sharedEnv(), &h) != SQL_SUCCESS) return false;
  SQLCHAR out[1024];
  SQLSMALLINT len = 0;
  // The driver's own 8-bit connect, also in the Unicode build: these
  // connections are never wide.
  const SQLRETURN rc =
      SQLDriverConnect(h, nullptr, reinterpret_cast<SQLCHAR*>(const_cast<char*>(xaInfo)), SQL_NTS,
                       out, sizeof out, &len, SQL_DRIVER_NOPROMPT);
  std::memset(out, 0, sizeof out);
  if (!SQL_SUCCEEDED(rc)) {
    (void)SQLFreeHandle(SQL_HANDLE_DBC, h);
    return false;
  }
  c->hdbc = h;
  if (!CoreXaConnView(h, &c->view)) return false;
  if (c->view.hasDTC == 0) {
    CoreXaTrace(0, "Agent does not support XA");
    return false;
  }
  return true;
}

void xa_conn_close(XaConnection* c) {
  if (c->hdbc == nullptr) return;
  (void)SQLDisconnect(c->hdbc);
  (void)SQLFreeHandle(SQL_HANDLE_DBC, c->hdbc);
  c->hdbc = nullptr;
  c->view = XaConnView{};
}

// Disconnects and frees the instance's connection and drops its reference on
// the environment.
void xa_conn_free(XaConnection* c) {
  xa_conn_close(c);
  xa_env_release();
  delete c;
}

// ---------------------------------------------------------------------------
// Associations.

bool xa_assoc_bind(int rmid, XaConnection* conn) {
  auto* a = new (std::nothrow) XaThreadAssoc;
  if (a == nullptr) return false;
  a->rmid = rmid;
  a->threadId = GetCurrentThreadId();
  a->conn = conn;
  OsScopedLock g(g_assocLock.get());
  try {
    g_assocs.push_back(a);
  } catch (...) {
    delete a;
    return false;
  }
  return true;
}

void xa_assoc_release(XaThreadAssoc* a) {
  {
    OsScopedLock g(g_assocLock.get());
    std::erase(g_assocs, a);
  }
  delete a;
}

// The calling thread's instance of rmid, or null.
XaThreadAssoc* xa_assoc_find(int rmid) {
  const uint32_t self = GetCurrentThreadId();
  OsScopedLock g(g_assocLock.get());
  for (XaThreadAssoc* a : g_assocs)
    if (a->threadId == self && a->rmid == rmid) return a;
  return nullptr;
}

// The calling thread's latest instance, or null. The instance stays while its
// thread uses it: only that thread closes it.
XaThreadAssoc* xa_assoc_current() {
  const uint32_t self = GetCurrentThreadId();
  OsScopedLock g(g_assocLock.get());
  for (auto it = g_assocs.rbegin(); it != g_assocs.rend(); ++it)
    if ((*it)->threadId == self) return *it;
  return nullptr;
}

// ---------------------------------------------------------------------------
// Traces.

int traced(int code) {
  CoreXaTrace(1, "Call returned: %s(%d)", xa_code_name(code), code);
  return code;
}

// The branch entries: the calling thread's instance of rmid, or XAER_RMERR.
template <class Fn>
int onInstance(int rmid, Fn&& call) {
  XaThreadAssoc* a = xa_assoc_find(rmid);
  if (a == nullptr || a->conn == nullptr || a->conn->hdbc == nullptr) return traced(XAER_RMERR);
  return traced(call(a->conn->view));
}

// ---------------------------------------------------------------------------
// The ten entries.

int xa_switch_open(char* xaInfo, int rmid, long flags) {
  char dsn[256];
  if (xa_info_dsn(xaInfo, dsn, sizeof dsn) == 0) {
    CoreXaTrace(1, "xa_switch_open(***, %d, %lX)", rmid, flags);
    CoreXaTrace(1, "xa_switch_open: invalid xaInfo string format");
    return traced(XAER_RMERR);
  }
  CoreXaTrace(1, "xa_switch_open(%s, %d, %lX)", dsn, rmid, flags);
  // X/Open: opening an instance that is open already changes nothing.
  if (xa_assoc_find(rmid) != nullptr) return traced(XA_OK);
  auto* c = new (std::nothrow) XaConnection;
  if (c == nullptr) return traced(XAER_RMERR);
  int result = XAER_RMERR;
  char info[256];
  if (xa_env_acquire() && xa_conn_open(c, xaInfo) && GetXaInfo(dsn, info, sizeof info) != 0) {
    const XaConnView& v = c->view;
    result = xa_agent_open(v.driver, v.hConn, v.dtcLock, 1, info, rmid, flags);
    if (result == XA_OK) {
      if (xa_assoc_bind(rmid, c)) return traced(XA_OK);
      // Nothing will ever reach this instance: its branch is closed again.
      (void)xa_agent_close(v.driver, v.hConn, v.dtcLock, info, rmid, TMNOFLAGS);
      result = XAER_RMERR;
    }
  }
  xa_conn_free(c);
  return traced(result);
}

int xa_switch_close(char* xaInfo, int rmid, long flags) {
  // The instance is found by its rmid; xa_info is passed on, whatever it holds.
  char dsn[256];
  CoreXaTrace(1, "xa_switch_close(%s, %d, %lX)", xa_info_dsn(xaInfo, dsn, sizeof dsn) ? dsn : "***",
              rmid, flags);
  XaThreadAssoc* a = xa_assoc_find(rmid);
  if (a == nullptr || a->conn == nullptr) return traced(XAER_RMERR);
  const XaConnView& v = a->conn->view;
  const int result =
      xa_agent_close(v.driver, v.hConn, v.dtcLock, xaInfo != nullptr ? xaInfo : "", rmid, flags);
  // A refused close leaves the branch open: the instance stays, so that the
  // monitor can end the branch and close again.
  if (result != XA_OK) return traced(result);
  XaConnection* c = a->conn;
  xa_assoc_release(a);
  xa_conn_free(c);
  return traced(result);
}

int xa_switch_start(XID* xid, int rmid, long flags) {
  CoreXaTrace(1, "xa_switch_start(%p, %d, %lX)", static_cast<void*>(xid), rmid, flags);
  return onInstance(rmid, [&](const XaConnView& v) {
    return xa_agent_start(v.driver, v.hConn, v.dtcLock, xid, rmid, flags);
  });
}

int xa_switch_end(XID* xid, int rmid, long flags) {
  CoreXaTrace(1, "xa_switch_end(%p, %d, %lX)", static_cast<void*>(xid), rmid, flags);
  return onInstance(rmid, [&](const XaConnView& v) {
    return xa_agent_end(v.driver, v.hConn, v.dtcLock, xid, rmid, flags);
  });
}

int xa_switch_rollback(XID* xid, int rmid, long flags) {
  CoreXaTrace(1, "xa_switch_rollback(%p, %d, %lX)", static_cast<void*>(xid), rmid, flags);
  return onInstance(rmid, [&](const XaConnView& v) {
    return xa_agent_rollback(v.driver, v.hConn, v.dtcLock, xid, rmid, flags);
  });
}

int xa_switch_prepare(XID* xid, int rmid, long flags) {
  CoreXaTrace(1, "xa_switch_prepare(%p, %d, %lX)", static_cast<void*>(xid), rmid, flags);
  return onInstance(rmid, [&](const XaConnView& v) {
    return xa_agent_prepare(v.driver, v.hConn, v.dtcLock, xid, rmid, flags);
  });
}

int xa_switch_commit(XID* xid, int rmid, long flags) {
  CoreXaTrace(1, "xa_switch_commit(%p, %d, %lX)", static_cast<void*>(xid), rmid, flags);
  return onInstance(rmid, [&](const XaConnView& v) {
    return xa_agent_commit(v.driver, v.hConn, v.dtcLock, xid, rmid, flags);
  });
}

int xa_switch_recover(XID* xids, long count, int rmid, long flags) {
  CoreXaTrace(1, "xa_switch_recover(%p, %ld, %d, %lX)", static_cast<void*>(xids), count, rmid,
              flags);
  return onInstance(rmid, [&](const XaConnView& v) {
    return xa_agent_recover(v.driver, v.hConn, v.dtcLock, xids, count, rmid, flags);
  });
}

int xa_switch_forget(XID* xid, int rmid, long flags) {
  CoreXaTrace(1, "xa_switch_forget(%p, %d, %lX)", static_cast<void*>(xid), rmid, flags);
  return onInstance(rmid, [&](const XaConnView& v) {
    return xa_agent_forget(v.driver, v.hConn, v.dtcLock, xid, rmid, flags);
  });
}

int xa_switch_complete(int* handle, int* retval, int rmid, long flags) {
  CoreXaTrace(1, "xa_switch_complete(%d,, %d, %lX)", handle != nullptr ? *handle : 0, rmid, flags);
  return onInstance(rmid, [&](const XaConnView& v) {
    return xa_agent_complete(v.driver, v.hConn, v.dtcLock, handle, retval, rmid, flags);
  });
}

// The association's ODBC handles, for SQLGetXaEnv and SQLGetXaConnect.
SQLRETURN handleOfThread(const char* name, void* out, bool env) {
  CoreXaTrace(1, "%s(%p)", name, out);
  if (out == nullptr) return SQL_ERROR;
  *static_cast<void**>(out) = nullptr;
  XaThreadAssoc* a = xa_assoc_current();
  if (a == nullptr || a->conn == nullptr || a->conn->hdbc == nullptr) {
    CoreXaTrace(1, "Call returned: %s(%d)", "Unknown", -1);
    return SQL_ERROR;
  }
  *static_cast<void**>(out) = env ? sharedEnv() : a->conn->hdbc;
  CoreXaTrace(1, "Call returned: %s(%d)", "XA_OK", 0);
  return SQL_SUCCESS;
}

}  // namespace

void NoOpHook() {}

int32_t xa_switch_setup() {
  std::call_once(g_setupOnce, [] {
    static constexpr char kName[] = "KESTRANE";
    static_assert(sizeof kName <= sizeof DriverXaSwitch.name);
    std::memcpy(DriverXaSwitch.name, kName, sizeof kName);
    DriverXaSwitch.flags = TMNOFLAGS;
    DriverXaSwitch.version = 0;
    DriverXaSwitch.xa_open_entry = xa_switch_open;
    DriverXaSwitch.xa_close_entry = xa_switch_close;
    DriverXaSwitch.xa_start_entry = xa_switch_start;
    DriverXaSwitch.xa_end_entry = xa_switch_end;
    DriverXaSwitch.xa_rollback_entry = xa_switch_rollback;
    DriverXaSwitch.xa_prepare_entry = xa_switch_prepare;
    DriverXaSwitch.xa_commit_entry = xa_switch_commit;
    DriverXaSwitch.xa_recover_entry = xa_switch_recover;
    DriverXaSwitch.xa_forget_entry = xa_switch_forget;
    DriverXaSwitch.xa_complete_entry = xa_switch_complete;
  });
  return 1;
}

int16_t xa_switch_init() {
  OsScopedLock g(g_readyLock.get());
  if (g_ready) return 0;
  CoreXaTraceOpen();
  (void)xa_switch_setup();
  g_ready = true;
  return 0;
}

void xa_switch_term() {
  OsScopedLock g(g_readyLock.get());
  if (!g_ready) return;
  // Closing the trace writes its "** normal end **" line.
  CoreXaTraceClose();
  NoOpHook();
  g_ready = false;
}

const char* xa_code_name(int code) {
  switch (code) {
    case XA_OK: return "XA_OK";
    case XA_RDONLY: return "XA_RDONLY";
    case XA_RETRY: return "XA_RETRY";
    case XA_HEURMIX: return "XA_HEURMIX";
    case XA_HEURRB: return "XA_HEURRB";
    case XA_HEURCOM: return "XA_HEURCOM";
    case XA_HEURHAZ: return "XA_HEURHAZ";
    case XA_NOMIGRATE: return "XA_NOMIGRATE";
    case XA_RBROLLBACK: return "XA_RBROLLBACK";
    case XA_RBCOMMFAIL: return "XA_RBCOMMFAIL";
    case XA_RBDEADLOCK: return "XA_RBDEADLOCK";
    case XA_RBINTEGRITY: return "XA_RBINTEGRITY";
    case XA_RBPROTO: return "XA_RBPROTO";
    case XA_RBTIMEOUT: return "XA_RBTIMEOUT";
    case XA_RBTRANSIENT: return "XA_RBTRANSIENT";
    case XAER_ASYNC: return "XAER_ASYNC";
    case XAER_RMERR: return "XAER_RMERR";
    case XAER_NOTA: return "XAER_NOTA";
    case XAER_INVAL: return "XAER_INVAL";
    case XAER_PROTO: return "XAER_PROTO";
    case XAER_RMFAIL: return "XAER_RMFAIL";
    case XAER_DUPID: return "XAER_DUPID";
    case XAER_OUTSIDE: return "XAER_OUTSIDE";
    default: return "Unknown";
  }
}

int32_t GetXaInfo(const char* dsn, char* out, size_t size) {
  if (size == 0) return 0;
  char buf[256] = {};
  out[0] = '\0';
  const int len = CoreProfileString(dsn, "XaInfo", "", buf, sizeof buf, "odbc.ini");
  if (len < 0 || static_cast<size_t>(len) >= size) return 0;
  std::memcpy(out, buf, static_cast<size_t>(len));
  out[len] = '\0';
  return 1;
}

int32_t xa_info_dsn(const char* xaInfo, char* out, size_t size) {
  if (xaInfo == nullptr || size == 0) return 0;
  std::string_view rest(xaInfo);
  while (!rest.empty()) {
    const size_t end = std::min(rest.find(';'), rest.size());
    std::string_view pair = rest.substr(0, end);
    rest.remove_prefix(end < rest.size() ? end + 1 : end);
    const size_t eq = pair.find('=');
    if (eq == std::string_view::npos) continue;
    std::string_view key = pair.substr(0, eq);
    while (!key.empty() && (key.front() == ' ' || key.front() == '\t')) key.remove_prefix(1);
    while (!key.empty() && (key.back() == ' ' || key.back() == '\t')) key.remove_suffix(1);
    if (key.size() != 3 || (key[0] | 0x20) != 'd' || (key[1] | 0x20) != 's' ||
        (key[2] | 0x20) != 'n')
      continue;
    std::string_view value = pair.substr(eq + 1, std::min(pair.size() - eq - 1, size - 1));
    while (!value.empty() && (value.back() == ' ' || value.back() == '\t')) value.remove_suffix(1);
    std::memcpy(out, value.data(), value.size());
    out[value.size()] = '\0';
    return 1;
  }
  return 0;
}

int xa_agent_open(DriverRecord* drv, DrvHandle hConn, void*, int32_t useWorker, const char* xaInfo,
                  int rmid, long flags) {
  return drv->ops->DRV_XaOpen(hConn, useWorker, xaInfo, rmid, flags);
}
int xa_agent_close(DriverRecord* drv, DrvHandle hConn, void*, const char* xaInfo, int rmid,
                   long flags) {
  return drv->ops->DRV_XaClose(hConn, xaInfo, rmid, flags);
}
int xa_agent_start(DriverRecord* drv, DrvHandle hConn, void*, XID* xid, int rmid, long flags) {
  return drv->ops->DRV_XaStart(hConn, xid, rmid, flags);
}
int xa_agent_end(DriverRecord* drv, DrvHandle hConn, void*, XID* xid, int rmid, long flags) {
  return drv->ops->DRV_XaEnd(hConn, xid, rmid, flags);
}
int xa_agent_rollback(DriverRecord* drv, DrvHandle hConn, void*, XID* xid, int rmid, long flags) {
  return drv->ops->DRV_XaRollback(hConn, xid, rmid, flags);
}
int xa_agent_prepare(DriverRecord* drv, DrvHandle hConn, void*, XID* xid, int rmid, long flags) {
  return drv->ops->DRV_XaPrepare(hConn, xid, rmid, flags);
}
int xa_agent_commit(DriverRecord* drv, DrvHandle hConn, void*, XID* xid, int rmid, long flags) {
  return drv->ops->DRV_XaCommit(hConn, xid, rmid, flags);
}
int xa_agent_recover(DriverRecord* drv, DrvHandle hConn, void*, XID* xids, long count, int rmid,
                     long flags) {
  return drv->ops->DRV_XaRecover(hConn, xids, count, rmid, flags);
}
int xa_agent_forget(DriverRecord* drv, DrvHandle hConn, void*, XID* xid, int rmid, long flags) {
  return drv->ops->DRV_XaForget(hConn, xid, rmid, flags);
}
int xa_agent_complete(DriverRecord* drv, DrvHandle hConn, void*, int* handle, int* retval, int rmid,
                      long flags) {
  int local = 0;
  int h = handle != nullptr ? *handle : 0;
  const int code = drv->ops->DRV_XaComplete(hConn, &h, &local, rmid, flags);
  if (retval != nullptr) *retval = local;
  return code;
}

KES_EXPORT_BEGIN
extern "C" {

xa_switch_t* kes_xa_switch() {
  (void)xa_switch_init();
  return &DriverXaSwitch;
}

HRESULT GetXaSwitch(uint32_t /*flags*/, xa_switch_t** out) {
  if (OleTxInit() != 0) return E_FAIL;
  if (OleTxTraceOn()) OleTxTrace("GetXaSwitch()\n");
  if (out == nullptr) return OleTxTraceHResult(E_INVALIDARG);
  *out = &DriverXaSwitch;
  return OleTxTraceHResult(S_OK);
}

SQLRETURN SQLGetXaEnv(SQLHENV* out) { return handleOfThread("SQLGetXaEnv", out, true); }

SQLRETURN SQLGetXaConnect(SQLHDBC* out) { return handleOfThread("SQLGetXaConnect", out, false); }

}  // extern "C"
KES_EXPORT_END
