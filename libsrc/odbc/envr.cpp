// envr.cpp -- environments and the workers that allocate and release handles.
// Records are registered in their handle table only once they are whole, and
// a record is taken out of its table before its memory goes, so a handle never
// reaches a half-built or released record.
// Threading: handle-less and environment workers run under GlobalHandleLock. Every
// change of the four handle tables is made under it, so that the dispatcher may look a
// handle up under that lock alone.

#include "odbc/envr.h"

#include <cstdlib>
#include <cstring>
#include <type_traits>

#include "drv/errtab.h"
#include "odbc/conn.h"
#include "odbc/desc.h"
#include "odbc/dispatch.h"
#include "odbc/stmt.h"
#include "odbc/trace.h"

namespace {

Envr* envList = nullptr;
int32_t lastEnvId = 0;

template <typename T>
void store_handle(void* out, uint32_t handle) {
  // The output handle is pointer-sized; its low half carries the handle value.
  T v = reinterpret_cast<T>(static_cast<uintptr_t>(handle));
  memcpy(out, &v, sizeof v);
}

SQLRETURN alloc_env(const CallSlot* args, int32_t version, const char* what) {
  void* out = SlotAs<void*>(args[0]);
  if (out == nullptr) return SQL_ERROR;
  store_handle<SQLHANDLE>(out, 0);
  Envr* env = EnvrNew();
  if (env == nullptr) return SQL_ERROR;
  env->odbcVersion = version;
  EnvrOpen(env);
  if (env->state != ENVR_STATE_OPEN) {
    TraceODBC("%s: EnvrOpen failed", what);
    EnvrFree(env);
    return SQL_ERROR;
  }
  uint32_t h = 0;
  if (HandleAlloc(&EnvHandles, &h, env) != 0) {
    EnvrFree(env);
    return SQL_ERROR;
  }
  env->handle = h;
  store_handle<SQLHANDLE>(out, h);
  return SQL_SUCCESS;
}

// The common road of the connection, statement and descriptor allocations:
// a null output is refused, the output is cleared, the record is made and then
// registered; a record that cannot be registered is released again.
template <typename Parent, typename Rec, typename Make, typename Drop>
SQLRETURN alloc_child(Parent* parent, const CallSlot* args, HandleTable* table, bool needsOpen,
                      Make make, Drop drop) {
  void* out = SlotAs<void*>(args[0]);
  if (out == nullptr) {
    parent->errCode = ERR_ARGUMENT;
    return SQL_ERROR;
  }
  store_handle<SQLHANDLE>(out, 0);
  if constexpr (std::is_same_v<Parent, Conn>) {
    if (needsOpen && parent->state != CONN_STATE_CONNECTED) {
      parent->errCode = ERR_CONN_NOT_OPEN;
      return SQL_ERROR;
    }
  }
  Rec* rec = make(parent);
  if (rec == nullptr) return SQL_ERROR;
  uint32_t h = 0;
  int rc;
  {
    CriticalSectionLock g(&GlobalHandleLock);
    rc = HandleAlloc(table, &h, rec);
  }
  if (rc != 0) {
    drop(rec);
    parent->errCode = rc;
    return SQL_ERROR;
  }
  rec->handle = h;
  store_handle<SQLHANDLE>(out, h);
  return SQL_SUCCESS;
}

SQLRETURN alloc_conn(Envr* env, const CallSlot* args) {
  return alloc_child<Envr, Conn>(env, args, &DbcHandles, false, ConnNew, [](Conn* c) {
    ConnFree(c);
    ConnRelease(c);
  });
}

SQLRETURN alloc_stmt(Conn* conn, const CallSlot* args) {
  return alloc_child<Conn, Stmt>(conn, args, &StmtHandles, true, StmtNew, StmtFree);
}

SQLRETURN free_env(Envr* env) {
  if (EnvrAnyBusy(env)) {
    env->errCode = ERR_SEQUENCE;
    return SQL_ERROR;
  }
  EnvrDisconnectAll(env);
  EnvrFree(env);
  return SQL_SUCCESS;
}

SQLRETURN free_conn(Conn* conn) {
  int32_t code = ConnClose(conn);
  if (code != 0) {
    conn->errCode = code;
    return SQL_ERROR;
  }
  CriticalSectionLock g(&GlobalHandleLock);
  ConnFree(conn);
  return SQL_SUCCESS;
}

}  // namespace

Envr* EnvrFirst() { return envList; }

bool EnvrAnyBusy(const Envr* env) {
  for (Conn* c = env->conns; c != nullptr; c = c->next)
    if (__atomic_load_n(&c->cn_busy, __ATOMIC_ACQUIRE) != nullptr || c->cn_waiters > 0)
      return true;
  return false;
}

Envr* EnvrNew() {
  auto* env = static_cast<Envr*>(calloc(1, sizeof(Envr)));
  if (env == nullptr) return nullptr;
  env->magic = ENVR_MAGIC;
  env->state = ENVR_STATE_ALLOCATED;
  env->id = ++lastEnvId;
  env->odbcVersion = 2;
  env->outputNts = 1;
  env->next = envList;
  envList = env;
  return env;
}

void EnvrOpen(Envr* env) {
  if (env->state == ENVR_STATE_ALLOCATED) env->state = ENVR_STATE_OPEN;
}

void EnvrDisconnectAll(Envr* env) {
  if (env->state != ENVR_STATE_OPEN) return;
  while (env->conns != nullptr) {
    Conn* c = env->conns;
    (void)ConnClose(c);
    ConnFree(c);
    ConnRelease(c);
  }
  env->state = ENVR_STATE_ALLOCATED;
}

void EnvrFree(Envr* env) {
  for (Envr** p = &envList; *p != nullptr; p = &(*p)->next) {
    if (*p == env) {
      *p = env->next;
      break;
    }
  }
  DiagListFree(&env->diag);
  for (uint32_t i = 0; i < env->stringCount; ++i) free(env->strings[i]);
  free(env->strings);
  env->magic = RECORD_FREED;
  env->state = ENVR_STATE_FREED;
  if (env->handle != 0) HandleFree(&EnvHandles, env->handle);
  free(env);
}

SQLRETURN AllocHandleEnvImpl(void*, const CallSlot* args) {
  return alloc_env(args, SQL_OV_ODBC3, "SQLAllocHandle (SQL_HANDLE_ENV)");
}
SQLRETURN AllocEnvImpl(void*, const CallSlot* args) {
  return alloc_env(args, SQL_OV_ODBC2, "SQLAllocEnv");
}
SQLRETURN AllocHandleDbcImpl(Envr* env, const CallSlot* args) { return alloc_conn(env, args); }
SQLRETURN AllocConnectImpl(Envr* env, const CallSlot* args) { return alloc_conn(env, args); }
SQLRETURN AllocHandleStmtImpl(Conn* conn, const CallSlot* args) { return alloc_stmt(conn, args); }
SQLRETURN AllocStmtImpl(Conn* conn, const CallSlot* args) { return alloc_stmt(conn, args); }

SQLRETURN AllocHandleDescImpl(Conn* conn, const CallSlot* args) {
  return alloc_child<Conn, Desc>(
      conn, args, &DescHandles, true,
      [](Conn* c) { return DescNew(DESC_USER, SQL_DESC_ALLOC_USER, nullptr, c); }, DescFree);
}

SQLRETURN FreeHandleEnvImpl(Envr* env, const CallSlot*) { return free_env(env); }
SQLRETURN FreeEnvImpl(Envr* env, const CallSlot*) { return free_env(env); }
SQLRETURN FreeHandleDbcImpl(Conn* conn, const CallSlot*) { return free_conn(conn); }
SQLRETURN FreeConnectImpl(Conn* conn, const CallSlot*) { return free_conn(conn); }

SQLRETURN FreeHandleStmtImpl(Stmt* stmt, const CallSlot*) {
  StmtClose(stmt);
  StmtFree(stmt);
  return SQL_SUCCESS;
}

SQLRETURN FreeStmtImpl(Stmt* stmt, const CallSlot* args) {
  switch (SlotU16(args[0])) {
    case SQL_CLOSE: StmtClose(stmt); break;
    case SQL_DROP:
      StmtClose(stmt);
      StmtFree(stmt);
      return SQL_SUCCESS;
    case SQL_UNBIND: StmtUnbindCols(stmt); break;
    case SQL_RESET_PARAMS: StmtResetParams(stmt); break;
    default: stmt->errCode = ERR_OPTION_TYPE; return SQL_ERROR;
  }
  return stmt->errCode != 0 ? SQL_ERROR : SQL_SUCCESS;
}

SQLRETURN FreeHandleDescImpl(Desc* desc, const CallSlot*) {
  if (desc->de_allocType == SQL_DESC_ALLOC_AUTO) {
    desc->errCode = ERR_AUTO_DESC;
    return SQL_ERROR;
  }
  DescFree(desc);
  return SQL_SUCCESS;
}

SQLRETURN SetEnvAttrImpl(Envr* env, const CallSlot* args) {
  const int32_t attr = SlotI32(args[0]);
  const int32_t v = SlotI32(args[1]);
  switch (attr) {
    case SQL_ATTR_ODBC_VERSION:
      if (v == SQL_OV_ODBC2 || v == SQL_OV_ODBC3) env->odbcVersion = v;
      break;
    case SQL_ATTR_CONNECTION_POOLING:
      if (v >= 0 && v <= 2) env->pooling = v;
      break;
    case SQL_ATTR_CP_MATCH:
      if (v == 0 || v == 1) env->cpMatch = v;
      break;
    case SQL_ATTR_OUTPUT_NTS:
      if (v == 0 || v == 1) env->outputNts = v;
      break;
    default: break;
  }
  return SQL_SUCCESS;
}

SQLRETURN GetEnvAttrImpl(Envr* env, const CallSlot* args) {
  const int32_t attr = SlotI32(args[0]);
  auto* out = SlotAs<SQLINTEGER*>(args[1]);
  if (out == nullptr) return SQL_SUCCESS;
  switch (attr) {
    case SQL_ATTR_ODBC_VERSION: *out = env->odbcVersion; break;
    case SQL_ATTR_CONNECTION_POOLING: *out = env->pooling; break;
    case SQL_ATTR_CP_MATCH: *out = env->cpMatch; break;
    case SQL_ATTR_OUTPUT_NTS: *out = env->outputNts != 0 ? 1 : 0; break;
    case 1056: *out = 2; break;
    default: break;
  }
  return SQL_SUCCESS;
}

SQLRETURN DisconnectImpl(Conn* conn, const CallSlot*) {
  if (conn->state != CONN_STATE_CONNECTED) {
    conn->errCode = ERR_CONN_NOT_OPEN;
    return SQL_ERROR;
  }
  int32_t code = ConnClose(conn);
  if (code != 0) {
    conn->errCode = code;
    return SQL_ERROR;
  }
  return conn->state == CONN_STATE_ALLOCATED ? SQL_SUCCESS : SQL_ERROR;
}

SQLRETURN CloseCursorImpl(Stmt* stmt, const CallSlot*) {
  if ((stmt->st_flags & STMT_F_RESULT) == 0) {
    stmt->errCode = ERR_CURSOR_STATE;
    return SQL_ERROR;
  }
  StmtClose(stmt);
  return stmt->errCode != 0 ? SQL_ERROR : SQL_SUCCESS;
}
