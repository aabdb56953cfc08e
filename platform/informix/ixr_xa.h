// ixr_xa.h -- the runtime's X/Open XA switch: sessions that take part in global
// transaction branches driven by a transaction manager, with two-phase commit.
// A branch that is prepared is kept in the server directory with its changes until
// it is committed or rolled back, by this process or by a later one.
// Threading: a session opened with xa_open belongs to the thread that opened it,
// under its rmid; every XA call for that rmid, and every statement on the session,
// comes from that thread.
// Not here: the driver's own switch, which a transaction monitor loads, and the
// thread that the driver runs a connection's XA work on.
#pragma once

#include "platform/xa/xa.h"

#ifdef __cplusplus
extern "C" {
#endif

/* The runtime's switch, named "IXR", flags TMNOFLAGS, version 0; never NULL, valid for
 * the life of the process. Callers copy it by assignment.
 *
 * xa_open(xa_info, rmid, flags): xa_info is a list of "key=value;" pairs, keys without
 *   regard to case; an unknown key (or a piece without '=') is ignored and a later pair
 *   replaces an earlier one:
 *     DB=database[@server]  as ixr_connect's database text (server from the thread's
 *                           connection-information block or INFORMIXSERVER when none is
 *                           named); a database with a transaction log is required
 *     USER=name, PASSWD=text  checked as at ixr_connect (absent: the block's values)
 *     CON=name              the connection name (made up by the runtime when absent)
 *   Opens a session under that connection name, current on the calling thread, so that
 *   ixr_set_connection(name, 0) and the statement calls of this thread reach it; another
 *   thread cannot make it current, dormant or not (IXR_E_CONNECTION_IN_USE). The session is
 *   bound to the calling thread and rmid. Opening an rmid already open on the thread answers
 *   XA_OK and changes nothing. A refused open (no database named, an unknown database,
 *   server, user or password, a database without a log, a connection name in use) answers
 *   XAER_RMERR with sqlca telling why and leaves the thread's current connection as it was;
 *   a null xa_info XAER_INVAL; TMASYNC XAER_ASYNC.
 * xa_close(xa_info (ignored), rmid, flags): closes the rmid's session of the calling
 *   thread (its name is free again); XAER_PROTO while a branch is associated with it or
 *   suspended by it; XA_OK when the rmid is not open on the thread. Branches it ended stay
 *   for any session of their database to complete. DISCONNECT of the session acts as
 *   xa_close, refused with IXR_E_TXN_OPEN where xa_close answers XAER_PROTO.
 * Every other entry with an rmid that is not open on the calling thread answers XAER_PROTO
 * (so does a call from another thread than the opener's); a null or malformed XID
 * (formatID -1, gtrid length outside 1..64, bqual length outside 0..64) XAER_INVAL; flags
 * the entry does not take XAER_INVAL; TMASYNC XAER_ASYNC.
 * A branch belongs to the session's database: the same XID may name a branch in each
 * database. It does its work on a connection of its own, which the session uses while
 * associated with it: the session's cursors close whenever its association starts or
 * ends, its prepared statements are prepared again on their next use, and its temporary
 * tables are not seen inside a branch (those made inside one go with the branch). From its
 * first write until it is completed, a branch holds the database's write lock, as an open
 * transaction does, also while suspended or ended.
 * xa_start(xid, rmid, flags): TMNOFLAGS starts a new branch on the session (XAER_DUPID
 *   when the XID is known: active, ended or prepared, in any session or process);
 *   TMJOIN joins a branch of this process that was ended (XAER_NOTA when there is none;
 *   XA_RETRY while another session is associated with it, it is suspended or being
 *   completed; XA_RBROLLBACK when it was ended with TMFAIL); TMRESUME resumes a branch the
 *   session suspended (XAER_NOTA when none). XAER_PROTO when the session is already
 *   associated with a branch; XAER_OUTSIDE when it has a local transaction open (BEGIN
 *   WORK, or an ANSI database's implicit one); XAER_RMERR when its database has no log
 *   (after a DATABASE statement). While a branch is associated, the session's statements
 *   run inside it: BEGIN WORK fails with IXR_E_IN_TXN, COMMIT WORK and ROLLBACK WORK with
 *   IXR_E_GLOBAL_TXN, DATABASE and CLOSE DATABASE with IXR_E_TXN_OPEN.
 * xa_end(xid, rmid, flags): TMSUCCESS ends the association; TMSUSPEND suspends it (the
 *   session may then start other work and resume this branch later); TMFAIL ends it and
 *   marks the branch rollback-only (a later prepare or one-phase commit rolls it back and
 *   answers XA_RBROLLBACK). TMSUCCESS and TMFAIL also end a branch the session suspended.
 *   XAER_NOTA when the XID is not the session's associated or suspended branch;
 *   XAER_PROTO when the session has no branch, or for TMSUSPEND of a suspended one.
 * xa_prepare(xid, rmid, flags): the branch must be ended (XAER_PROTO while associated or
 *   suspended, or when prepared already; XAER_NOTA when unknown). A branch that wrote
 *   nothing is committed at once and answers XA_RDONLY; a rollback-only branch, one that
 *   changed the schema (sqlca IXR_E_UNSUPPORTED) or one that cannot be stored is rolled
 *   back (XA_RBROLLBACK); otherwise the branch and its changes are stored durably (in the
 *   server directory and the database), its changes stay invisible to every other
 *   session, and until it is resolved, by this process or another, writers of the tables
 *   it changed get the lock error of their statement (ISAM IXR_ISAM_TABLE_LOCKED) and
 *   schema changes of its database IXR_E_LOCK_FAILED; XA_OK.
 * xa_commit(xid, rmid, flags): with TMONEPHASE an ended, unprepared branch is committed
 *   (XA_OK) or, when rollback-only, rolled back (XA_RBROLLBACK); XAER_PROTO for a prepared
 *   one. Without it the branch must be prepared (XAER_PROTO for an ended, unprepared one):
 *   a prepared branch of the session's database is committed, also one prepared by
 *   another session or an ended process; XA_OK. XAER_NOTA for an unknown XID (also one
 *   committed already); XA_RETRY when the database stayed locked for the session's lock
 *   wait (at least 5 seconds); XAER_RMERR when its stored changes cannot be read or no
 *   longer fit (it stays prepared; sqlca tells why).
 * xa_rollback(xid, rmid, flags): rolls back an ended or prepared branch of the session's
 *   database (also one of another session or process); XA_OK. XAER_PROTO for a branch
 *   that is associated or suspended; XAER_NOTA for an unknown XID; XA_RETRY as xa_commit.
 * xa_recover(xids, count, rmid, flags): the prepared branches of the session's database,
 *   at most count of them into xids, as a scan: TMSTARTRSCAN starts it over, later calls
 *   go on where the previous one stopped, TMENDRSCAN ends it. Answers how many were
 *   stored (0 at the end). XAER_INVAL for a negative count, null xids with count above 0
 *   or other flags; XAER_PROTO without TMSTARTRSCAN when no scan is open.
 * xa_forget(xid, rmid, flags): no branch is ever completed heuristically: XAER_NOTA.
 * xa_complete(handle, retval, rmid, flags): no call is asynchronous: XAER_PROTO. */
const xa_switch_t* ixr_xa_switch(void);

#ifdef __cplusplus
}
#endif
