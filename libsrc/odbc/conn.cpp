// conn.cpp -- connection records, the back-end connect and disconnect, the
// capabilities learned at connect, and transactions.
// A failed connect releases everything it obtained from the back end; a failed
// disconnect leaves the connection usable.
// Threading: a connection's workers run under its cn_callLock; ConnOpen also
// under DriverLock; ConnFree under GlobalHandleLock.

#include "odbc/conn.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "drv/errtab.h"
#include "drv/layercalls.h"
#include "odbc/desc.h"
#include "odbc/dispatch.h"
#include "odbc/envr.h"
#include "odbc/stmt.h"
#include "odbc/trace.h"

namespace {

DriverBindFn driverBinder = nullptr;

void free_text(char** p) {
  free(*p);
  *p = nullptr;
}

int32_t take_messages(Conn* conn, DrvHandle h, Stmt* stmt) {
  DriverMessageList list{};
  if (conn->driver.ops == nullptr || conn->driver.ops->DRV_GetErrors(h, &list) != 0) return 0;
  for (int32_t i = 0; i < list.count; ++i) {
    if (stmt != nullptr)
      StmtAddDiag(stmt, list.texts[i], list.nativeCode);
    else
      ConnAddDiag(conn, list.texts[i], list.nativeCode);
  }
  int32_t n = list.count;
  MessageListFree(&list);
  return n;
}

// Asks one 4-byte integer item; true when answered.
bool ask_int(Conn* conn, DriverPropId id, int32_t* value) {
  int32_t v = 0;
  uint16_t len = 0;
  if (conn->driver.ops->DRV_GetInfo(conn->cn_hConn, id, &v, 4, &len) != 0) return false;
  *value = v;
  return true;
}

struct CapabilityRow {
  uint32_t bit;
  int32_t Conn::*field;
  DriverPropId item;  // 0: only the mask reports it
};

constexpr CapabilityRow kCapabilities[] = {
    {DRV_CAPBIT_NEEDBIND, &Conn::cn_needbind, DRVP_NEEDBIND},
    {DRV_CAPBIT_MORE_RESULTS, &Conn::cn_hasMoreRes, DRVP_MORE_RESULTS},
    {DRV_CAPBIT_PARAM_OP, &Conn::cn_hasParamOp, DRVP_PARAM_OP},
    {DRV_CAPBIT_SCROLL_CURSORS, &Conn::cn_hasScrlCurs, DRVP_SCROLL_CURSORS},
    {DRV_CAPBIT_DYNMIX_CURSORS, &Conn::cn_hasDynMixCurs, DRVP_DYNMIX_CURSORS},
    {DRV_CAPBIT_V2DAE, &Conn::cn_hasV2DAE, DRVP_V2DAE},
    {DRV_CAPBIT_SPOUT_DEFER, &Conn::cn_spOutDeferFetch, DRVP_SPOUT_DEFER},
    {DRV_CAPBIT_EXECUTE2, &Conn::cn_hasExecute2, DRVP_EXECUTE2},
    {DRV_CAPBIT_CONV_INFO, &Conn::cn_hasConvInfo, 0},
    {DRV_CAPBIT_COL_ATTRS, &Conn::cn_hasColAttrs, 0},
    {DRV_CAPBIT_PREP_EXEC2, &Conn::cn_hasPrepExec2, 0},
    {DRV_CAPBIT_MAX_LENGTH, &Conn::cn_hasMaxLength, 0},
    {DRV_CAPBIT_DTC, &Conn::cn_hasDTC, 0},
    {DRV_CAPBIT_FAILOVER, &Conn::cn_hasFailover, 0},
};

void set_flag(Conn* conn, uint16_t bit, bool on) {
  if (on)
    conn->flags |= bit;
  else
    conn->flags &= static_cast<uint16_t>(~bit);
}

void probe_capabilities(Conn* conn) {
  for (const CapabilityRow& r : kCapabilities) conn->*r.field = 0;
  int32_t mask = 0;
  if (ask_int(conn, DRVP_CAPABILITIES, &mask)) {
    for (const CapabilityRow& r : kCapabilities)
      conn->*r.field = (static_cast<uint32_t>(mask) & r.bit) != 0 ? 1 : 0;
    set_flag(conn, CONN_F_AUTOCOMMIT, (static_cast<uint32_t>(mask) & DRV_CAPBIT_AUTOCOMMIT) != 0);
  } else {
    for (const CapabilityRow& r : kCapabilities) {
      int32_t v = 0;
      if (r.item != 0 && ask_int(conn, r.item, &v)) conn->*r.field = v != 0 ? 1 : 0;
    }
    int32_t ac = 0;
    set_flag(conn, CONN_F_AUTOCOMMIT, ask_int(conn, DRVP_AUTOCOMMIT, &ac) && ac != 0);
  }
  if (TraceLevel.load() != 0) {
    TraceODBC("cn_needbind=%d", conn->cn_needbind);
    TraceODBC("cn_hasMoreRes=%d", conn->cn_hasMoreRes);
    TraceODBC("cn_hasParamOp=%d", conn->cn_hasParamOp);
    TraceODBC("cn_hasScrlCurs=%d", conn->cn_hasScrlCurs);
    TraceODBC("cn_hasDynMixCurs=%d", conn->cn_hasDynMixCurs);
    TraceODBC("cn_hasV2DAE=%d", conn->cn_hasV2DAE);
    TraceODBC("cn_spOutDeferFetch=%d", conn->cn_spOutDeferFetch);
    TraceODBC("cn_hasExecute2=%d", conn->cn_hasExecute2);
    TraceODBC("autocommit=%d", (conn->flags & CONN_F_AUTOCOMMIT) != 0 ? 1 : 0);
  }
}

// Undoes a connect that reached the back end.
void abandon_connect(Conn* conn, int32_t code) {
  (void)take_messages(conn, conn->cn_hConn, nullptr);
  (void)conn->driver.ops->DRV_EndConnect(conn->cn_hConn);
  (void)conn->driver.ops->DRV_EndServer(conn->cn_hServer);
  conn->cn_hConn = conn->cn_hServer = 0;
  conn->state = CONN_STATE_ALLOCATED;
  conn->errCode = code;
}

}  // namespace

void DriverSetBinder(DriverBindFn bind) { driverBinder = bind; }
DriverBindFn DriverGetBinder() { return driverBinder; }

Conn* ConnNew(Envr* env) {
  auto* conn = static_cast<Conn*>(calloc(1, sizeof(Conn)));
  if (conn == nullptr) {
    env->errCode = ERR_MEMORY;
    return nullptr;
  }
  conn->magic = CONN_MAGIC;
  conn->envr = env;
  conn->next = env->conns;
  env->conns = conn;
  conn->state = CONN_STATE_ALLOCATED;
  conn->cn_loginTimeout = 120;
  conn->flags = CONN_F_AUTOCOMMIT;
  conn->id = ++env->lastConnId;
  conn->cn_presetAutocommit = -1;
  conn->cn_presetReadonly = -1;
  SCS_Init(&conn->cn_cursorDefaults, 0, 0, nullptr, nullptr);
  InitializeCriticalSection(&conn->cn_dtcLock);
  // A prepared distributed transaction holds the call lock from one
  // coordinator thread to another, so the lock has no owner.
  InitializeOwnerlessCriticalSection(&conn->cn_callLock);
  ConnResetInfoCache(conn);
  return conn;
}

void ConnResetInfoCache(Conn* conn) {
  for (int32_t& v : conn->cn_infoInt) v = -1;
  for (uint16_t& v : conn->cn_infoShort) v = 0xFFFF;
  for (char*& s : conn->cn_infoStr) free_text(&s);
}

int32_t ConnTakeServerMessages(Conn* conn) {
  return take_messages(conn, conn->cn_hServer, nullptr);
}

int32_t ConnTakeAgentMessages(Conn* conn, Stmt* stmt) {
  return take_messages(conn, conn->cn_hConn, stmt);
}

int32_t GetOpTable(Conn* conn, OpTable* table) {
  uint16_t asked = table->type;
  int32_t code = conn->driver.ops->DRV_GetOpTable(conn->cn_hConn, table);
  if (code != 0 || table->count == 0) {
    if (TraceLevel.load() != 0) TraceODBC("GetOpTable failed for type %d", asked);
    table->type = 0;
  }
  return code;
}

void ConnOpen(Conn* conn, char marker) {
  if (conn->state != CONN_STATE_ALLOCATED) {
    conn->errCode = ERR_SEQUENCE;
    return;
  }
  conn->cn_hConn = conn->cn_hServer = 0;
  conn->errCode = ERR_CONN_REJECTED;

  auto fail = [conn](const char* text) {
    TraceODBC("ConnOpen: %s", text);
    ConnAddDiag(conn, text, 0);
  };
  DriverBindFn bind = driverBinder;
  if (bind == nullptr || bind(&conn->driver) != 0 || conn->driver.ops == nullptr) {
    fail("Unable to initialize driver");
    return;
  }
  LatchAgentThreadSafety(&conn->driver);
  const DriverOps* ops = conn->driver.ops;

  DriverServerArgs serverArgs{conn->cn_srvopts, conn->cn_svtype};
  if (ops->DRV_AllocServer(&serverArgs, &conn->cn_hServer) != 0) {
    (void)ConnTakeServerMessages(conn);
    conn->cn_hServer = 0;
    fail("Unable to allocate server handle");
    return;
  }

  std::string target = conn->cn_dbhost != nullptr ? conn->cn_dbhost : "";
  if (conn->cn_port != nullptr && conn->cn_port[0] != '\0') {
    long port = strtol(conn->cn_port, nullptr, 10);
    if (port >= 1 && port <= 65535 && target.size() + strlen(conn->cn_port) <= 254)
      target += std::string(":") + conn->cn_port;
  }
  conn->cn_narrowDAE = 0;

  if (marker == 'W') {
    size_t old = conn->cn_srvopts != nullptr ? strlen(conn->cn_srvopts) : 0;
    auto* marked = static_cast<char*>(malloc(sizeof WideConnectMarker + old + 1));
    if (marked == nullptr) {
      ConnAddDiag(conn, "Unable to allocate memory", 0);
      (void)ops->DRV_EndServer(conn->cn_hServer);
      conn->cn_hServer = 0;
      return;
    }
    memcpy(marked, WideConnectMarker, sizeof WideConnectMarker);
    if (old > 0) memcpy(marked + sizeof WideConnectMarker, conn->cn_srvopts, old);
    marked[sizeof WideConnectMarker + old] = '\0';
    free(conn->cn_srvopts);
    conn->cn_srvopts = marked;
  }

  const bool presetReadonly = conn->cn_presetReadonly == 1;
  DriverConnectParams params{};
  params.target = target.c_str();
  params.srvopts = conn->cn_srvopts;
  params.svtype = conn->cn_svtype;
  params.dbpath = conn->cn_dbpath;
  params.dsn = conn->cn_dsn != nullptr ? conn->cn_dsn : "Default";
  params.dbopts = conn->cn_dbopts;
  params.readonly = ((conn->flags & CONN_F_READONLY) != 0 || presetReadonly) ? 1 : 0;
  params.uid = conn->cn_uid != nullptr ? conn->cn_uid : "";
  params.pwd = conn->cn_pwd != nullptr ? conn->cn_pwd : "";
  params.loginTimeout = conn->cn_loginTimeout != 0 ? 99 : 0;
  params.proto = conn->cn_proto;
  params.flag = conn->flags & 0x40;
  int32_t code = ops->DRV_Connect(conn->cn_hServer, &params, &conn->cn_hConn);
  conn->errCode = code;
  if (code != 0) {
    TraceODBC("ConnOpen: %s", "Unable to allocate connection handle");
    (void)ConnTakeAgentMessages(conn, nullptr);
    (void)ConnTakeServerMessages(conn);
    (void)ops->DRV_EndServer(conn->cn_hServer);
    conn->cn_hConn = conn->cn_hServer = 0;
    return;
  }
  // What the back end left on the new connection (initial SQL that failed, say) did
  // not stop the connect: it becomes the connect's warnings before any later step
  // could replace it.
  (void)take_messages(conn, conn->cn_hConn, nullptr);
  if (params.readonly != 0) conn->flags |= CONN_F_READONLY;

  if (marker == 'W') {
    int32_t wideMode = 0;
    if (!ask_int(conn, DRVP_WIDE, &wideMode) || wideMode != 1) conn->cn_narrowDAE = 1;
  }
  conn->state = CONN_STATE_CONNECTED;
  conn->errCode = 0;

  conn->opTable = OpTable{};
  conn->opTable.type = 1;
  (void)GetOpTable(conn, &conn->opTable);

  probe_capabilities(conn);

  // An application that set autocommit before connecting gets what it asked
  // for, not the back end's default: its ROLLBACK must undo its work.
  if (conn->cn_presetAutocommit != -1) {
    const bool want = conn->cn_presetAutocommit != 0;
    if (want != ((conn->flags & CONN_F_AUTOCOMMIT) != 0)) {
      int32_t v = want ? 1 : 0;
      int32_t rc = ops->DRV_SetOption(conn->cn_hConn, DRVP_AUTOCOMMIT, &v);
      if (rc != 0) {
        abandon_connect(conn, rc);
        return;
      }
    }
    set_flag(conn, CONN_F_AUTOCOMMIT, want);
  }

  if ((conn->flags & CONN_F_DEFER_LONG) != 0) {
    int32_t one = 1;
    (void)ops->DRV_SetOption(conn->cn_hConn, DRVP_DEFER_LONG, &one);
  }
  bool isolationSet = false;
  if (conn->cn_txnIsolation != 0) {
    int32_t iso = static_cast<int32_t>(conn->cn_txnIsolation);
    isolationSet = ops->DRV_SetOption(conn->cn_hConn, DRVP_TXN_ISOLATION, &iso) == 0;
  }
  if (!isolationSet) {
    int32_t iso = 0;
    if (ask_int(conn, DRVP_TXN_ISOLATION, &iso) && iso != 0)
      conn->cn_txnIsolation = static_cast<uint32_t>(iso);
  }
  int32_t version = conn->envr->odbcVersion;
  (void)ops->DRV_SetOption(conn->cn_hConn, DRVP_ODBC_VERSION, &version);
}

int32_t ConnClose(Conn* conn) {
  if (conn->state == CONN_STATE_CONNECTED) {
    while (conn->stmts != nullptr) {
      Stmt* s = conn->stmts;
      StmtClose(s);
      StmtFree(s);
    }
    if (conn->cn_dtcDispenser != nullptr) {
      // A branch in progress stays with the connection until its outcome, so
      // a refused disconnect leaves the enlistment whole; a decided one lets
      // the connection go whatever the coordinator still holds.
      if (DtcDispenserBranch(conn->cn_dtcDispenser, nullptr) > 0) return ERR_TXN_STATE;
      (void)DtcReleaseDispenser(conn->cn_dtcDispenser);
      conn->cn_dtcDispenser = nullptr;
      conn->cn_dtcEnlisted = 0;
    }
    int32_t code = conn->driver.ops->DRV_EndConnect(conn->cn_hConn);
    if (code != 0) {
      (void)ConnTakeAgentMessages(conn, nullptr);
      return code;
    }
    (void)conn->driver.ops->DRV_EndServer(conn->cn_hServer);
    conn->state = CONN_STATE_ALLOCATED;
    conn->cn_hConn = conn->cn_hServer = 0;
  }
  free_text(&conn->cn_translateLib);
  if (conn->opTable.type == 1) conn->opTable.type = 0;

  // Explicit descriptors of this connection go with the connection's session.
  for (;;) {
    Desc* victim = nullptr;
    HandleTableLock(&DescHandles);
    for (uint32_t i = 0; i < DescHandles.capacity && victim == nullptr; ++i) {
      const HandleSlot& slot = DescHandles.slots[i];
      if (slot.tag == 0 || slot.object == nullptr) continue;
      auto* d = static_cast<Desc*>(slot.object);
      if (d->de_dbc == conn) victim = d;
    }
    HandleTableUnlock(&DescHandles);
    if (victim == nullptr) break;
    DescFree(victim);
  }
  ConnResetInfoCache(conn);
  return 0;
}

void ConnFreeStrings(Conn* conn) {
  free_text(&conn->cn_dsn);
  free_text(&conn->cn_uid);
  if (conn->cn_pwd != nullptr) memset(conn->cn_pwd, 0, strlen(conn->cn_pwd));
  free_text(&conn->cn_pwd);
  free_text(&conn->cn_dbpath);
  free_text(&conn->cn_dbopts);
  free_text(&conn->cn_dbhost);
  free_text(&conn->cn_port);
  free_text(&conn->cn_svtype);
  free_text(&conn->cn_srvopts);
  free_text(&conn->cn_proto);
}

void ConnFree(Conn* conn) {
  ConnFreeStrings(conn);
  free_text(&conn->cn_dbmsName);
  free_text(&conn->cn_translateLib);
  for (char*& s : conn->cn_infoStr) free_text(&s);
  Envr* env = conn->envr;
  for (Conn** p = &env->conns; *p != nullptr; p = &(*p)->next) {
    if (*p == conn) {
      *p = conn->next;
      break;
    }
  }
  DiagListFree(&conn->diag);
  DeleteCriticalSection(&conn->cn_dtcLock);
  conn->magic = RECORD_FREED;
  conn->state = CONN_STATE_FREED;
  if (conn->handle != 0) HandleFree(&DbcHandles, conn->handle);
}

void ConnRelease(Conn* conn) {
  {
    CriticalSectionLock g(&GlobalHandleLock);
    if (conn->cn_waiters > 0) {
      conn->cn_releasePending = 1;
      return;
    }
  }
  ConnReleaseNow(conn);
}

void ConnReleaseNow(Conn* conn) {
  DeleteCriticalSection(&conn->cn_callLock);
  free(conn);
}

SQLRETURN ConnEndTran(Conn* conn, uint16_t type) {
  if (TraceLevel.load() != 0) TraceODBC(type == SQL_COMMIT ? "[Commit]" : "[Rollback]");
  if (conn->state != CONN_STATE_CONNECTED) {
    conn->errCode = ERR_CONN_NOT_OPEN;
    return SQL_ERROR;
  }
  int32_t code;
  if (type == SQL_COMMIT) {
    code = conn->driver.ops->DRV_Commit(conn->cn_hConn);
  } else if (type == SQL_ROLLBACK) {
    code = conn->driver.ops->DRV_Rollback(conn->cn_hConn);
  } else {
    conn->errCode = ERR_TXN_OPCODE;
    return SQL_ERROR;
  }
  conn->errCode = code;
  if (code != 0) {
    (void)ConnTakeAgentMessages(conn, nullptr);
    return SQL_ERROR;
  }
  return SQL_SUCCESS;
}

SQLRETURN TransactDbcImpl(Conn* conn, const CallSlot* args) {
  return ConnEndTran(conn, SlotU16(args[0]));
}

SQLRETURN TransactEnvImpl(Envr* env, const CallSlot* args) {
  if (EnvrAnyBusy(env)) {
    env->errCode = ERR_SEQUENCE;
    return SQL_ERROR;
  }
  const uint16_t type = SlotU16(args[0]);
  SQLRETURN result = SQL_SUCCESS;
  for (Conn* c = env->conns; c != nullptr; c = c->next) {
    int32_t saved = c->errCode;
    c->errCode = 0;
    if (ConnEndTran(c, type) == SQL_ERROR) {
      env->errCode = c->errCode;
      result = SQL_ERROR;
    }
    c->errCode = saved;
  }
  return result;
}

bool CoreXaConnView(void* hdbc, XaConnView* out) {
  const auto handle = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(hdbc));
  auto* c = static_cast<Conn*>(HandleLookup(&DbcHandles, handle));
  if (c == nullptr || c->magic != CONN_MAGIC) return false;
  out->driver = &c->driver;
  out->hConn = c->cn_hConn;
  out->dtcLock = &c->cn_dtcLock;
  out->hasDTC = c->cn_hasDTC;
  return true;
}
