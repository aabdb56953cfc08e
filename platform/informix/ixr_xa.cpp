// ixr_xa.cpp -- the runtime's XA switch: sessions opened by xa_open, bound to the thread
// and rmid that opened them, and the transaction branches they work in from xa_start to
// their completion. A branch does its work on a SQLite connection of its own, which its
// session holds while associated with it; so the session's own connection stays free for
// statements outside the branch, and a suspended or ended branch keeps its work and its
// locks. A prepared branch leaves memory for the server directory (ixr_xa_store.cpp).
// Threading: one lock guards the bindings and the branches in memory. A branch marked
// busy belongs to the thread that marked it, which works on it outside the lock; a
// binding is only added or removed by its own thread.
// Not here: the driver's switch, which a transaction monitor loads, and the thread the
// driver runs a connection's XA work on.
#include "platform/informix/ixr_xa.h"

#include "platform/informix/ixr_call.h"
#include "platform/informix/ixr_db.h"
#include "platform/informix/ixr_xa_store.h"

#include <cstring>
#include <mutex>
#include <string_view>
#include <tuple>

namespace ixr {
namespace {

enum class State {
  Active,     // associated with its holder
  Suspended,  // its holder suspended the association and may resume it
  Idle,       // ended: may be joined, prepared, committed in one phase or rolled back
  Busy        // a thread is opening, preparing or completing it
};

struct Branch {
  XID xid{};
  std::string key;  // xidKey(xid)
  State state = State::Busy;
  bool rollbackOnly = false;  // ended with TMFAIL
  Session* holder = nullptr;  // the associated or suspending session
  DbLink link;                // the branch's connection; the holder's own while associated
  ChangeLog log;
};

// Branches are known per database: the same XID may name a branch in each database.
using BranchKey = std::tuple<std::string, std::string, std::string>;  // server, db, XID key

struct Scan {
  std::vector<XID> xids;
  size_t at = 0;
  bool open = false;
};

struct Bound {
  Session* s = nullptr;
  Branch* assoc = nullptr;  // the branch associated with the session
  Scan scan;                // xa_recover's position
};

struct XaState {
  std::mutex mu;
  std::map<std::pair<uint64_t, int>, Bound> bound;  // (thread token, rmid)
  std::map<BranchKey, std::unique_ptr<Branch>> branches;
  uint64_t names = 0;  // connection names made up for opens without CON
};

XaState& xa() {
  static XaState* x = new XaState();  // lives to the end of the process
  return *x;
}

void clearCommArea() { commAreaClear(commArea()); }

void tell(const IxError& e) { commAreaSet(commArea(), e); }

// REQUIRES: xa().mu held.
Bound* boundFor(int rmid) {
  auto it = xa().bound.find({threadToken(), rmid});
  return it == xa().bound.end() ? nullptr : &it->second;
}

// REQUIRES: xa().mu held.
Branch* branchOf(const Session& s, const std::string& key) {
  auto it = xa().branches.find({s.server.name, s.dbname, key});
  return it == xa().branches.end() ? nullptr : it->second.get();
}

// REQUIRES: xa().mu held.
bool suspendsAny(const Session* s) {
  for (const auto& [k, b] : xa().branches)
    if (b->state == State::Suspended && b->holder == s) return true;
  return false;
}

// Takes a branch out of memory; the caller destroys it (closing its connection) after
// letting go of the lock. REQUIRES: xa().mu held.
std::unique_ptr<Branch> takeOut(Branch* b) {
  for (auto it = xa().branches.begin(); it != xa().branches.end(); ++it)
    if (it->second.get() == b) {
      std::unique_ptr<Branch> out = std::move(it->second);
      xa().branches.erase(it);
      return out;
    }
  return nullptr;
}

// Ends the branch's SQLite transaction without keeping anything.
void rollbackLink(DbLink& link) {
  ChangeLog::detach(link.db);
  if (link.sqlTxn) execSql(link.db, "ROLLBACK");
  link.sqlTxn = link.inTxn = false;
}

// The checks every entry with an rmid makes, in X/Open's order: an asynchronous request,
// then an rmid this thread did not open. REQUIRES: xa().mu held.
int enterRm(int rmid, long flags, Bound*& bd) {
  clearCommArea();
  if (flags & TMASYNC) return XAER_ASYNC;
  bd = boundFor(rmid);
  return bd ? XA_OK : XAER_PROTO;
}

// As enterRm, and then a bad XID. REQUIRES: xa().mu held.
int enter(int rmid, long flags, const XID* xid, Bound*& bd) {
  if (int code = enterRm(rmid, flags, bd)) return code;
  return xidCheck(xid);
}

// ----------------------------------------------------------------- open and close

struct OpenText {
  std::string db, user, password, con;
  bool hasUser = false, hasPassword = false;
};

std::string_view trimmed(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

bool sameWord(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 32);
    if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 32);
    if (x != y) return false;
  }
  return true;
}

// "key=value;" pairs; unknown keys and pieces without '=' are someone else's.
OpenText parseOpen(std::string_view text) {
  OpenText t;
  while (!text.empty()) {
    size_t semi = text.find(';');
    std::string_view pair = text.substr(0, semi);
    text = semi == std::string_view::npos ? std::string_view() : text.substr(semi + 1);
    size_t eq = pair.find('=');
    if (eq == std::string_view::npos) continue;
    std::string_view key = trimmed(pair.substr(0, eq));
    std::string value(trimmed(pair.substr(eq + 1)));
    if (sameWord(key, "DB")) {
      t.db = value;
    } else if (sameWord(key, "USER")) {
      t.user = value;
      t.hasUser = true;
    } else if (sameWord(key, "PASSWD")) {
      t.password = value;
      t.hasPassword = true;
    } else if (sameWord(key, "CON")) {
      t.con = value;
    }
  }
  return t;
}

int xaOpen(char* info, int rmid, long flags) {
  clearCommArea();
  if (flags & TMASYNC) return XAER_ASYNC;
  if (!info) return XAER_INVAL;
  std::string con;
  {
    std::lock_guard<std::mutex> g(xa().mu);
    if (boundFor(rmid)) return XA_OK;
    con = "ixr_xa_" + std::to_string(++xa().names);
  }
  OpenText t;
  try {
    t = parseOpen(info);
  } catch (...) {
    tell(ixErr(IXR_E_NO_MEMORY));
    return XAER_RMERR;
  }
  // A branch needs a database with a transaction log; "@server" alone has none.
  if (t.db.empty() || t.db[0] == '@') {
    tell(ixErr(IXR_E_NO_DB_SELECTED));
    return XAER_RMERR;
  }
  if (!t.con.empty()) con = t.con;
  Session* before = currentSession();
  IxrConnInfo saved = *ixr_conninfo();
  if (t.hasUser) ixr_conninfo()->user = t.user.c_str();
  if (t.hasPassword) ixr_conninfo()->password = t.password.c_str();
  int rc = ixr_connect(t.db.c_str(), con.c_str());
  *ixr_conninfo() = saved;
  if (rc) return XAER_RMERR;
  Session* s = currentSession();
  if (!s->logged()) {
    sessionDrop(s);
    sessionRestoreCurrent(before);
    clearCommArea();
    tell(ixErr(IXR_E_NO_TXN));
    return XAER_RMERR;
  }
  std::lock_guard<std::mutex> g(xa().mu);
  s->xaThread = threadToken();
  s->xaRmid = rmid;
  xa().bound[{s->xaThread, rmid}].s = s;
  return XA_OK;
}

int xaClose(char*, int rmid, long flags) {
  clearCommArea();
  if (flags & TMASYNC) return XAER_ASYNC;
  Session* s = nullptr;
  {
    std::lock_guard<std::mutex> g(xa().mu);
    Bound* bd = boundFor(rmid);
    if (!bd) return XA_OK;
    if (bd->assoc || suspendsAny(bd->s)) return XAER_PROTO;
    s = bd->s;
    xa().bound.erase({threadToken(), rmid});
  }
  // Ended branches of the session live on: any session of their database completes them.
  sessionDrop(s);
  return XA_OK;
}

// ----------------------------------------------------------------- association

int xaStart(XID* xid, int rmid, long flags) {
  std::unique_lock<std::mutex> g(xa().mu);
  Bound* bd = nullptr;
  if (int code = enter(rmid, flags, xid, bd)) return code;
  if ((flags & ~(TMJOIN | TMRESUME | TMNOWAIT)) || ((flags & TMJOIN) && (flags & TMRESUME)))
    return XAER_INVAL;
  Session& s = *bd->s;
  if (bd->assoc) return XAER_PROTO;
  if (s.inTxn || s.sqlTxn) return XAER_OUTSIDE;
  if (s.dbname.empty() || !s.logged()) {
    tell(ixErr(s.dbname.empty() ? IXR_E_NO_DB_SELECTED : IXR_E_NO_TXN));
    return XAER_RMERR;
  }
  std::string key = xidKey(*xid);
  Branch* b = branchOf(s, key);
  if (flags & (TMJOIN | TMRESUME)) {
    if (!b) return XAER_NOTA;
    if (flags & TMRESUME) {
      if (b->state != State::Suspended || b->holder != &s) return XAER_NOTA;
    } else if (b->state != State::Idle) {
      return XA_RETRY;  // associated elsewhere, suspended, or being completed
    } else if (b->rollbackOnly) {
      return XA_RBROLLBACK;
    }
    linkSwap(s, b->link);
    b->state = State::Active;
    b->holder = &s;
    bd->assoc = b;
    return XA_OK;
  }
  if (b || branchInDoubt(s.db, key)) return XAER_DUPID;
  auto owned = std::make_unique<Branch>();
  b = owned.get();
  b->xid = *xid;
  b->key = key;
  b->holder = &s;
  xa().branches[{s.server.name, s.dbname, key}] = std::move(owned);
  bd->assoc = b;  // the session is taken while its branch's connection opens
  g.unlock();
  IxError e = linkOpen(s, b->link);
  // A branch's commits are the ones a transaction manager relies on: synced, not just
  // written.
  if (!e)
    if (int rc = execSql(b->link.db, "PRAGMA synchronous=FULL"))
      e = fromSqlite(b->link.db, rc, Op::Other, false);
  if (!e) {
    b->link.inTxn = true;
    b->link.branchWork = true;
    b->log.attach(b->link.db);
  }
  g.lock();
  if (e) {
    bd->assoc = nullptr;
    std::unique_ptr<Branch> dead = takeOut(b);
    g.unlock();
    tell(e);
    return XAER_RMERR;
  }
  linkSwap(s, b->link);
  b->state = State::Active;
  return XA_OK;
}

int xaEnd(XID* xid, int rmid, long flags) {
  std::lock_guard<std::mutex> g(xa().mu);
  Bound* bd = nullptr;
  if (int code = enter(rmid, flags, xid, bd)) return code;
  long kind = flags & (TMSUCCESS | TMFAIL | TMSUSPEND);
  if ((flags & ~(TMSUCCESS | TMFAIL | TMSUSPEND | TMMIGRATE)) ||
      (kind != TMSUCCESS && kind != TMFAIL && kind != TMSUSPEND))
    return XAER_INVAL;
  Session& s = *bd->s;
  std::string key = xidKey(*xid);
  Branch* b = bd->assoc;
  if (b && b->key == key) {
    linkSwap(s, b->link);
    bd->assoc = nullptr;
  } else {
    b = branchOf(s, key);
    if (!b || b->state != State::Suspended || b->holder != &s)
      return bd->assoc || suspendsAny(&s) ? XAER_NOTA : XAER_PROTO;
    if (kind == TMSUSPEND) return XAER_PROTO;
  }
  if (kind == TMSUSPEND) {
    b->state = State::Suspended;
    return XA_OK;
  }
  b->state = State::Idle;
  b->holder = nullptr;
  b->rollbackOnly = b->rollbackOnly || kind == TMFAIL;
  return XA_OK;
}

// ----------------------------------------------------------------- completion

int xaPrepare(XID* xid, int rmid, long flags) {
  std::unique_lock<std::mutex> g(xa().mu);
  Bound* bd = nullptr;
  if (int code = enter(rmid, flags, xid, bd)) return code;
  if (flags != TMNOFLAGS) return XAER_INVAL;
  Session& s = *bd->s;
  std::string key = xidKey(*xid);
  Branch* b = branchOf(s, key);
  if (!b) return branchInDoubt(s.db, key) ? XAER_PROTO : XAER_NOTA;
  if (b->state != State::Idle) return XAER_PROTO;
  b->state = State::Busy;
  g.unlock();
  int code = XA_RBROLLBACK;
  IxError why;
  if (b->rollbackOnly)
    rollbackLink(b->link);
  else
    code = branchPrepare(s.server, s.dbname, b->xid, b->link, b->log, why);
  if (why) tell(why);
  g.lock();
  std::unique_ptr<Branch> done = takeOut(b);
  g.unlock();
  return code;
}

int xaCommit(XID* xid, int rmid, long flags) {
  std::unique_lock<std::mutex> g(xa().mu);
  Bound* bd = nullptr;
  if (int code = enter(rmid, flags, xid, bd)) return code;
  if (flags & ~(TMONEPHASE | TMNOWAIT)) return XAER_INVAL;
  Session& s = *bd->s;
  std::string key = xidKey(*xid);
  if (Branch* b = branchOf(s, key)) {
    if (b->state != State::Idle || !(flags & TMONEPHASE)) return XAER_PROTO;
    b->state = State::Busy;
    g.unlock();
    int code = XA_OK;
    if (b->rollbackOnly) {
      rollbackLink(b->link);
      code = XA_RBROLLBACK;
    } else {
      ChangeLog::detach(b->link.db);
      if (b->link.sqlTxn)
        if (int rc = execSql(b->link.db, "COMMIT")) {
          tell(fromSqlite(b->link.db, rc, Op::Other, false));
          rollbackLink(b->link);
          code = XA_RBROLLBACK;
        }
      b->link.sqlTxn = b->link.inTxn = false;
    }
    g.lock();
    std::unique_ptr<Branch> done = takeOut(b);
    g.unlock();
    return code;
  }
  g.unlock();
  // Only a branch that is still in memory can commit in one phase.
  if (flags & TMONEPHASE) return branchInDoubt(s.db, key) ? XAER_PROTO : XAER_NOTA;
  IxError why;
  int code = branchResolve(s, *xid, true, why);
  if (why) tell(why);
  return code;
}

int xaRollback(XID* xid, int rmid, long flags) {
  std::unique_lock<std::mutex> g(xa().mu);
  Bound* bd = nullptr;
  if (int code = enter(rmid, flags, xid, bd)) return code;
  if (flags & ~TMNOWAIT) return XAER_INVAL;
  Session& s = *bd->s;
  std::string key = xidKey(*xid);
  if (Branch* b = branchOf(s, key)) {
    if (b->state != State::Idle) return XAER_PROTO;
    b->state = State::Busy;
    g.unlock();
    rollbackLink(b->link);
    g.lock();
    std::unique_ptr<Branch> done = takeOut(b);
    g.unlock();
    return XA_OK;
  }
  g.unlock();
  IxError why;
  int code = branchResolve(s, *xid, false, why);
  if (why) tell(why);
  return code;
}

int xaRecover(XID* xids, long count, int rmid, long flags) {
  std::unique_lock<std::mutex> g(xa().mu);
  Bound* bd = nullptr;
  if (int code = enterRm(rmid, flags, bd)) return code;
  if ((flags & ~(TMSTARTRSCAN | TMENDRSCAN)) || count < 0 || (!xids && count > 0))
    return XAER_INVAL;
  Scan& scan = bd->scan;
  if (flags & TMSTARTRSCAN) {
    Session& s = *bd->s;
    g.unlock();
    std::vector<XID> found;
    IxError e;
    try {
      e = branchesInDoubt(s, found);
    } catch (...) {
      e = ixErr(IXR_E_NO_MEMORY);
    }
    g.lock();
    if (e) {
      tell(e);
      return XAER_RMERR;
    }
    scan.xids = std::move(found);
    scan.at = 0;
    scan.open = true;
  } else if (!scan.open) {
    return XAER_PROTO;
  }
  size_t n = std::min(static_cast<size_t>(count), scan.xids.size() - scan.at);
  for (size_t i = 0; i < n; ++i) xids[i] = scan.xids[scan.at + i];
  scan.at += n;
  if (flags & TMENDRSCAN) scan = Scan{};
  return static_cast<int>(n);
}

int xaForget(XID* xid, int rmid, long flags) {
  std::lock_guard<std::mutex> g(xa().mu);
  Bound* bd = nullptr;
  if (int code = enter(rmid, flags, xid, bd)) return code;
  // No branch is ever completed heuristically, so there is nothing to forget.
  return XAER_NOTA;
}

int xaComplete(int*, int*, int, long) {
  clearCommArea();
  return XAER_PROTO;
}

const xa_switch_t kSwitch = {.name = "IXR",
                             .flags = TMNOFLAGS,
                             .version = 0,
                             .xa_open_entry = xaOpen,
                             .xa_close_entry = xaClose,
                             .xa_start_entry = xaStart,
                             .xa_end_entry = xaEnd,
                             .xa_rollback_entry = xaRollback,
                             .xa_prepare_entry = xaPrepare,
                             .xa_commit_entry = xaCommit,
                             .xa_recover_entry = xaRecover,
                             .xa_forget_entry = xaForget,
                             .xa_complete_entry = xaComplete};

}  // namespace

bool xaReleaseSession(Session& s) {
  std::lock_guard<std::mutex> g(xa().mu);
  auto it = xa().bound.find({s.xaThread, s.xaRmid});
  if (it == xa().bound.end() || it->second.s != &s) return true;
  if (it->second.assoc || suspendsAny(&s)) return false;
  xa().bound.erase(it);
  s.xaThread = 0;
  s.xaRmid = 0;
  return true;
}

void xaResetAll() {
  std::map<BranchKey, std::unique_ptr<Branch>> dead;
  std::lock_guard<std::mutex> g(xa().mu);
  for (auto& [k, bd] : xa().bound) {
    // The session takes its own connection back before it goes.
    if (bd.assoc) linkSwap(*bd.s, bd.assoc->link);
    bd.s->xaThread = 0;
    bd.s->xaRmid = 0;
  }
  xa().bound.clear();
  dead.swap(xa().branches);
}

}  // namespace ixr

extern "C" const xa_switch_t* ixr_xa_switch(void) { return &ixr::kSwitch; }
