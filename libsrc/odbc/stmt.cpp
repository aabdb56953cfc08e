// stmt.cpp -- statement records: creation, closing and release, and the
// services several layers share (back-end message lists, string copy-out).
// A statement's agent cursor and its four implicit descriptors live exactly as
// long as the statement. Results, bindings and parameters are filled in by the
// statement workers.
// Threading: under the connection's call lock; a statement and its descriptors enter
// and leave their handle tables under GlobalHandleLock, so that a refused call on
// another thread never reaches a released record, and the dispatcher's lookup under
// that lock needs no other.

#include "odbc/stmt.h"

#include <cstdlib>
#include <cstring>

#include "drv/errtab.h"
#include "odbc/bulkops.h"
#include "odbc/conn.h"
#include "odbc/desc.h"
#include "odbc/dispatch.h"
#include "odbc/envr.h"
#include "odbc/setpos.h"
#include "odbc/stmtattr.h"
#include "odbc/stmtrec.h"
#include "odbc/trace.h"

namespace {

void unlink_stmt(Stmt* stmt) {
  Conn* conn = stmt->st_dbc;
  for (Stmt** p = &conn->stmts; *p != nullptr; p = &(*p)->next) {
    if (*p == stmt) {
      *p = stmt->next;
      return;
    }
  }
}

void free_implicit(Desc* d) {
  if (d != nullptr) DescFree(d);
}

}  // namespace

Stmt* StmtNew(Conn* conn) {
  auto* stmt = static_cast<Stmt*>(calloc(1, sizeof(Stmt)));
  if (stmt == nullptr) {
    conn->errCode = ERR_MEMORY;
    return nullptr;
  }
  DrvHandle hCursor = 0;
  int32_t code = conn->driver.ops->DRV_AllocCursor(conn->cn_hConn, &hCursor);
  if (code != 0) {
    if (TraceLevel.load() != 0) TraceODBC("Unable to allocate statement handle");
    free(stmt);
    conn->errCode = code;
    (void)ConnTakeAgentMessages(conn, nullptr);
    return nullptr;
  }
  stmt->magic = STMT_MAGIC;
  stmt->st_dbc = conn;
  stmt->st_drv = &conn->driver;
  stmt->st_hCursor = hCursor;
  stmt->next = conn->stmts;
  conn->stmts = stmt;
  stmt->state = STMT_STATE_ALLOCATED;
  stmt->st_id = static_cast<uint32_t>(++conn->lastStmtId);
  stmt->st_maxLength = conn->cn_stmtMaxLength;
  stmt->st_maxRows = conn->cn_stmtMaxRows;
  stmt->st_timeout = static_cast<int32_t>(conn->cn_stmtTimeout);
  stmt->st_bindType = static_cast<int32_t>(conn->cn_stmtBindType);
  stmt->st_noscan = conn->cn_stmtNoscan;
  stmt->st_paramsetSize = 1;
  if (conn->cn_needbind != 0) stmt->st_flags |= STMT_F_NEEDBIND;
  SCS_InitStmt(&stmt->st_cursor, hCursor, conn->cn_hConn, &conn->driver, stmt,
               &conn->cn_cursorDefaults);

  static constexpr int16_t kKinds[] = {DESC_ARD, DESC_APD, DESC_IRD, DESC_IPD};
  Desc* made[4] = {};
  for (int i = 0; i < 4; ++i) {
    made[i] = DescNew(kKinds[i], SQL_DESC_ALLOC_AUTO, stmt, nullptr);
    int rc = ERR_MEMORY;
    if (made[i] != nullptr) {
      CriticalSectionLock g(&GlobalHandleLock);
      rc = HandleAlloc(&DescHandles, &made[i]->handle, made[i]);
    }
    if (rc != 0) {
      for (int j = 0; j <= i; ++j) free_implicit(made[j]);
      stmt->st_implicitArd = stmt->st_implicitApd = stmt->st_ard = stmt->st_apd = nullptr;
      stmt->st_ird = stmt->st_ipd = nullptr;
      (void)conn->driver.ops->DRV_EndCursor(hCursor);
      unlink_stmt(stmt);
      free(stmt);
      conn->errCode = rc;
      return nullptr;
    }
  }
  stmt->st_async = conn->cn_stmtAsync;
  StmtSendCursorDefaults(stmt);
  return stmt;
}

Stmt* StmtClose(Stmt* stmt) {
  // Closing in the middle of data at execution abandons it: nothing runs, and
  // every piece collected here or by the back end is released.
  const bool waiting = stmt->st_daeState != 0;
  stmt->st_daeState = 0;
  StmtDropParamDAE(stmt);
  SetPosFreeTemps(stmt);
  SCS_ResetPosition(&stmt->st_cursor);
  if (stmt->state == STMT_STATE_PREPARED) {
    StmtFreeResult(stmt);
    (void)stmt->st_drv->ops->DRV_CloseCursor(stmt->st_hCursor);
    stmt->state = STMT_STATE_ALLOCATED;
    stmt->st_flags &= static_cast<uint16_t>(~STMT_F_RESULT);
  } else if (waiting) {
    (void)stmt->st_drv->ops->DRV_CloseCursor(stmt->st_hCursor);
  }
  // The descriptions and their attribute overrides stay: a prepared statement
  // still describes its result after its cursor was closed.
  return stmt;
}

void StmtFree(Stmt* stmt) {
  StmtFreeResultInfo(stmt);
  // An explicit ARD keeps its records: it is the application's.
  StmtDropColBindings(stmt);
  StmtResetParams(stmt);
  free_implicit(stmt->st_implicitArd);
  free_implicit(stmt->st_ird);
  free_implicit(stmt->st_implicitApd);
  free_implicit(stmt->st_ipd);
  (void)stmt->st_drv->ops->DRV_EndCursor(stmt->st_hCursor);
  SCS_FreeRowStatus(&stmt->st_cursor);
  SetPosFreeTemps(stmt);
  BulkForgetRowset(stmt);
  unlink_stmt(stmt);
  free(stmt->st_currentOf);
  CriticalSectionLock g(&GlobalHandleLock);
  DiagListFree(&stmt->diag);
  stmt->magic = RECORD_FREED;
  stmt->state = STMT_STATE_FREED;
  if (stmt->handle != 0) HandleFree(&StmtHandles, stmt->handle);
  free(stmt);
}

int32_t StmtPostDriverErrors(Stmt* stmt) {
  DriverMessageList list{};
  int32_t moved = 0;
  if (stmt->st_drv->ops->DRV_GetErrors(stmt->st_hCursor, &list) == 0) {
    for (int32_t i = 0; i < list.count; ++i) StmtAddDiag(stmt, list.texts[i], list.nativeCode);
    moved = list.count;
    MessageListFree(&list);
  }
  if (ConnTakeAgentMessages(stmt->st_dbc, stmt) > 0) moved = 1;
  return moved > 0 ? 1 : 0;
}

int32_t StmtRowCount(Stmt* stmt, int64_t* rows) {
  int32_t v = 0;
  uint16_t len = 0;
  int32_t code = stmt->st_drv->ops->DRV_GetInfo(stmt->st_hCursor, DRVP_ROW_COUNT, &v, 4, &len);
  if (code != 0) return code;
  if (rows != nullptr) *rows = v;
  return 0;
}

void MessageListFree(DriverMessageList* list) {
  if (list->texts != nullptr) {
    for (int32_t i = 0; i < list->count; ++i) free(list->texts[i]);
    free(list->texts);
  }
  list->texts = nullptr;
  list->count = 0;
}
