// desc.cpp -- descriptor records: creation and release.
// An explicit descriptor that statements use as their ARD or APD hands them
// back their implicit ones when it goes.
// Threading: under the connection's call lock, which also guards the list of
// the connection's statements that an explicit descriptor's release walks.

#include "odbc/desc.h"

#include <cstdlib>

#include "drv/errtab.h"
#include "odbc/conn.h"
#include "odbc/descops.h"
#include "odbc/dispatch.h"
#include "odbc/envr.h"
#include "odbc/stmt.h"

Conn* DescConn(const Desc* desc) {
  if (desc->de_dbc != nullptr) return desc->de_dbc;
  return desc->de_stmt != nullptr ? desc->de_stmt->st_dbc : nullptr;
}

Desc* DescNew(int16_t type, int16_t allocType, Stmt* stmt, Conn* conn) {
  auto* d = static_cast<Desc*>(calloc(1, sizeof(Desc)));
  auto* head = static_cast<DescRecNode*>(calloc(1, sizeof(DescRecNode)));
  if (d == nullptr || head == nullptr) {
    free(d);
    free(head);
    if (allocType == SQL_DESC_ALLOC_AUTO)
      stmt->errCode = ERR_MEMORY;
    else
      conn->errCode = ERR_MEMORY;
    return nullptr;
  }
  d->de_type = type;
  d->de_allocType = allocType;
  if (allocType == SQL_DESC_ALLOC_AUTO)
    d->de_stmt = stmt;
  else
    d->de_dbc = conn;
  d->magic = DESC_MAGIC;
  d->de_arraySize = 1;
  d->de_recs = head;
  switch (type) {
    case DESC_IRD: stmt->st_ird = d; break;
    case DESC_ARD: stmt->st_ard = stmt->st_implicitArd = d; break;
    case DESC_IPD: stmt->st_ipd = d; break;
    case DESC_APD: stmt->st_apd = stmt->st_implicitApd = d; break;
    default: break;
  }
  return d;
}

void DescFree(Desc* desc) {
  // Only statements of its own connection can use an explicit descriptor, and
  // that connection's call lock, which the caller holds, guards their list.
  if (desc->de_allocType == SQL_DESC_ALLOC_USER && desc->de_dbc != nullptr) {
    for (Stmt* s = desc->de_dbc->stmts; s != nullptr; s = s->next) {
      if (s->st_ard == desc) {
        s->st_ard = s->st_implicitArd;
        (void)StmtApplyArd(s, s->st_ard);
      }
      if (s->st_apd == desc) {
        s->st_apd = s->st_implicitApd;
        (void)StmtApplyApd(s, s->st_apd);
      }
    }
  }
  for (DescRecNode* n = desc->de_recs; n != nullptr;) {
    DescRecNode* next = n->next;
    DescRecClear(&n->rec);
    free(n);
    n = next;
  }
  CriticalSectionLock g(&GlobalHandleLock);
  DiagListFree(&desc->diag);
  desc->magic = RECORD_FREED;
  if (desc->handle != 0) HandleFree(&DescHandles, desc->handle);
  free(desc);
}
