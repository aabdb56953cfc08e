// ixr_session_inl.h -- the statement-atomicity wrapper of the embedded runtime.
// Outside a transaction a statement that writes runs in its own immediate transaction
// (committed at once); inside one it runs under a savepoint, so that a failing statement
// leaves the transaction as it was. A body of one SQLite statement needs no savepoint:
// SQLite already undoes a failing statement's own changes, and a savepoint per row
// costs an array insert more than the insert itself.
#pragma once

#include "platform/informix/ixr_db.h"

namespace ixr {

template <class F>
IxError inStatement(Session& s, Op op, F&& body, bool oneStatement) {
  if (auto e = txnImplicit(s, true, op)) return e;
  bool own = !s.inTxn && sqlite3_get_autocommit(s.db);
  s.lockTimedOut = false;
  if (oneStatement && !own) return body();
  int rc = runCtl(s, own ? Ctl::BeginImmediate : Ctl::Savepoint);
  if (rc) return fromSqlite(s.db, rc, op, s.lockTimedOut);
  IxError e = body();
  if (e) {
    runCtl(s, own ? Ctl::Rollback : Ctl::RollbackTo);
    if (!own) runCtl(s, Ctl::Release);
    return e;
  }
  rc = runCtl(s, own ? Ctl::Commit : Ctl::Release);
  if (rc) {
    IxError c = fromSqlite(s.db, rc, op, s.lockTimedOut);
    runCtl(s, own ? Ctl::Rollback : Ctl::RollbackTo);
    if (!own) runCtl(s, Ctl::Release);
    return c;
  }
  return {};
}

}  // namespace ixr
