// ixr_session_inl.h -- the statement-atomicity wrapper of the embedded runtime.
// Outside a transaction a statement that writes runs in its own transaction, holding its
// database's write lock from the start and committed at once (EXECUTE may have begun it
// already, Session::stmtTxn); inside one it runs under a savepoint, so that a failing statement
// leaves the transaction as it was. A body of one SQLite statement needs no savepoint:
// SQLite already undoes a failing statement's own changes, and a savepoint per row
// costs an array insert more than the insert itself.
#pragma once

#include "platform/informix/ixr_db.h"

namespace ixr {

template <class F>
IxError inStatement(Session& s, Op op, F&& body, bool oneStatement) {
  if (auto e = txnImplicit(s, true, op)) return e;
  const bool begun = s.stmtTxn;
  s.stmtTxn = false;
  bool own = begun || (!s.inTxn && sqlite3_get_autocommit(s.db));
  s.lockTimedOut = false;
  if (oneStatement && !own) return body();
  int rc = 0;
  if (!own) {
    rc = runCtl(s, Ctl::Savepoint);
    if (rc) return fromSqlite(s.db, rc, op, s.lockTimedOut);
  } else if (!begun) {
    if (auto e = beginWrite(s, op)) return e;
  }
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
