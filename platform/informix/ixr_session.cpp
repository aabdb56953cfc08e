// ixr_session.cpp -- connections of the embedded runtime: the registry of named sessions,
// the per-thread current session, CONNECT/DISCONNECT/SET CONNECTION, transactions by
// database kind, lock waits, interrupts, and the frame of every call.
// Threading: the registry lock guards names, ownership and the session set; a session's
// own state is touched only by the thread it is current on (ixr_interrupt only sets an
// atomic that the session's SQLite handlers read).
#include "platform/informix/ixr_call.h"

#include "platform/informix/ixr_db.h"
#include "platform/informix/ixr_proc.h"
#include "platform/informix/ixr_testing.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace ixr {
namespace {

struct Registry {
  std::mutex mu;
  std::map<std::string, std::unique_ptr<Session>> byName;
  std::atomic<uint64_t> epoch{1};
  int64_t sessions = 0;
};

// Numbers of sessions the server could not register (sessionRegister).
constexpr int64_t kUnregisteredSessions = int64_t{1} << 30;

Registry& reg() {
  static Registry* r = new Registry();  // lives to the end of the process
  return *r;
}

struct ThreadCurrent {
  Session* s = nullptr;
  uint64_t epoch = 0;
  ~ThreadCurrent() {
    // A thread that ends leaves its current session dormant for other threads.
    if (!s) return;
    std::lock_guard<std::mutex> g(reg().mu);
    if (epoch == reg().epoch.load())
      for (auto& [n, sp] : reg().byName)
        if (sp.get() == s) {
          s->current = false;
          s->owner = std::thread::id();
        }
  }
};

thread_local IxrCommArea tl_ca;
thread_local IxrConnInfo tl_info;
thread_local ThreadCurrent tl_cur;
std::atomic<uint64_t> g_threadTokens{0};
thread_local uint64_t tl_token = 0;

int busyHandler(void* p, int count) {
  auto* s = static_cast<Session*>(p);
  if (s->stopRequested()) return 0;
  constexpr int kStepMs = 5;
  if (s->lockWaitMs <= 0 || static_cast<int64_t>(count) * kStepMs >= s->lockWaitMs) {
    s->lockTimedOut = s->lockWaitMs > 0;
    return 0;
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(kStepMs));
  return 1;
}

int progressHandler(void* p) {
  return static_cast<Session*>(p)->stopRequested() ? 1 : 0;
}

std::string osUser() {
  if (const char* u = std::getenv("USER"); u && *u) return u;
  if (struct passwd* pw = getpwuid(getuid())) return pw->pw_name;
  return "informix";
}

void finalizeAll(sqlite3_stmt*& versionVm, sqlite3_stmt* (&ctlVm)[static_cast<int>(Ctl::Count)]) {
  sqlite3_finalize(versionVm);
  versionVm = nullptr;
  for (sqlite3_stmt*& vm : ctlVm) {
    sqlite3_finalize(vm);
    vm = nullptr;
  }
}

// Connections to databases that sessions of this process left, kept open for the next
// session of the process on the same database: reading a database's schema is most of
// what opening it costs. Only a connection back in the state it was opened in is kept
// (no transaction, no statement, nothing in its temporary schema, sysmaster detached,
// its settings as they were set at open); one whose file was replaced since (its
// database dropped and created again) is closed instead of used, and a forked child
// never uses its parent's.
struct ParkedLinks {
  // The files a kept connection has open, as they were when it was kept: a connection
  // is used again only while nothing outside SQLite touched them.
  struct Files {
    dev_t dev = 0;
    ino_t ino = 0;
    off_t size = 0;
    struct timespec mtime {};
    ino_t shm = 0;  // the shared-memory index of the write-ahead log
    bool operator==(const Files& o) const {
      return dev == o.dev && ino == o.ino && size == o.size && mtime.tv_sec == o.mtime.tv_sec &&
             mtime.tv_nsec == o.mtime.tv_nsec && shm == o.shm;
    }
  };
  struct Link {
    sqlite3* db = nullptr;
    std::string path;
    Files files;
  };
  std::mutex mu;
  pid_t pid = 0;
  std::vector<Link> links;          // oldest first
  std::vector<sqlite3*> inherited;  // a parent's, never used again
};

constexpr size_t kParkedLinks = 4;

ParkedLinks& parkedLinks() {
  static auto* p = new ParkedLinks();  // lives to the end of the process
  return *p;
}

// REQUIRES: p.mu held.
void parkedForThisProcess(ParkedLinks& p) {
  if (p.pid == getpid()) return;
  for (const ParkedLinks::Link& l : p.links) p.inherited.push_back(l.db);
  p.links.clear();
  p.pid = getpid();
}

bool filesOf(const std::string& path, ParkedLinks::Files& out) {
  struct stat st;
  struct stat shm;
  if (stat(path.c_str(), &st) != 0 || stat((path + "-shm").c_str(), &shm) != 0) return false;
  out.dev = st.st_dev;
  out.ino = st.st_ino;
  out.size = st.st_size;
  out.mtime = st.st_mtim;
  out.shm = shm.st_ino;
  return true;
}

// Whether db is as a new connection would be, after undoing what a session may leave.
bool parkable(sqlite3* db, std::string& path, ParkedLinks::Files& files) {
  const char* file = sqlite3_db_filename(db, "main");
  if (file == nullptr || file[0] == '\0' || sqlite3_db_readonly(db, "main") != 0 ||
      sqlite3_get_autocommit(db) == 0 || sqlite3_next_stmt(db, nullptr) != nullptr)
    return false;
  path = file;
  {
    Sql temps(db, "SELECT 1 FROM temp.sqlite_master LIMIT 1");
    if (temps.prepared() != SQLITE_OK || temps.step() != SQLITE_DONE) return false;
  }
  std::vector<std::string> attached;
  {
    Sql list(db, "PRAGMA database_list");
    if (list.prepared() != SQLITE_OK) return false;
    while (list.step() == SQLITE_ROW) {
      std::string name = list.str(1);
      if (name != "main" && name != "temp") attached.push_back(name);
    }
  }
  for (const std::string& name : attached)
    if (execSql(db, "DETACH DATABASE " + quoteId(name)) != SQLITE_OK) return false;
  return execSql(db,
                 "PRAGMA foreign_keys=ON; PRAGMA defer_foreign_keys=OFF; "
                 "PRAGMA legacy_alter_table=OFF; PRAGMA synchronous=NORMAL") == SQLITE_OK &&
         filesOf(path, files);
}

// A kept connection to the database file at path, or null.
sqlite3* takeParked(const std::string& path) {
  ParkedLinks::Files now;
  const bool known = filesOf(path, now);
  ParkedLinks& p = parkedLinks();
  std::lock_guard<std::mutex> g(p.mu);
  parkedForThisProcess(p);
  for (auto it = p.links.begin(); it != p.links.end(); ++it) {
    if (it->path != path) continue;
    sqlite3* db = it->db;
    const bool same = known && it->files == now;
    p.links.erase(it);
    if (same) return db;
    sqlite3_close_v2(db);
    return nullptr;
  }
  return nullptr;
}

// The rollback hook points at the connection's catalog, which may go first; the
// handlers and functions point at the session, which goes next.
void closeHandle(sqlite3* db) {
  if (!db) return;
  sqlite3_rollback_hook(db, nullptr, nullptr);
  sqlite3_busy_handler(db, nullptr, nullptr);
  sqlite3_progress_handler(db, 0, nullptr, nullptr);
  std::string path;
  ParkedLinks::Files files;
  if (parkable(db, path, files)) {
    ParkedLinks& p = parkedLinks();
    std::lock_guard<std::mutex> g(p.mu);
    parkedForThisProcess(p);
    p.links.push_back({db, path, files});
    if (p.links.size() <= kParkedLinks) return;
    db = p.links.front().db;
    p.links.erase(p.links.begin());
  }
  sqlite3_close_v2(db);
}

void markCurrent(Session* s) {
  // REQUIRES: registry lock held.
  Session* prev = tl_cur.epoch == reg().epoch.load() ? tl_cur.s : nullptr;
  if (prev && prev != s) {
    prev->current = false;
    prev->owner = std::thread::id();
  }
  if (s) {
    s->current = true;
    s->owner = std::this_thread::get_id();
  }
  tl_cur.s = s;
  tl_cur.epoch = reg().epoch.load();
}

}  // namespace

std::atomic<int> g_testActive{0};

IxrCommArea& commArea() { return tl_ca; }

void commAreaClear(IxrCommArea& ca) {
  ca.sqlcode = 0;
  std::memset(ca.sqlerrd, 0, sizeof ca.sqlerrd);
  std::memset(ca.sqlwarn, ' ', sizeof ca.sqlwarn);
  ca.sqlerrm[0] = 0;
}

void commAreaSet(IxrCommArea& ca, const IxError& e) {
  ca.sqlcode = e.code;
  if (e.code < 0) {
    ca.sqlerrd[1] = e.isam;
    size_t n = std::min(e.name.size(), sizeof ca.sqlerrm - 1);
    std::memcpy(ca.sqlerrm, e.name.data(), n);
    ca.sqlerrm[n] = 0;
  }
}

uint64_t threadToken() {
  // Thread ids are reused once a thread ends; a token never is.
  if (!tl_token) tl_token = ++g_threadTokens;
  return tl_token;
}

Session* currentSession() { return tl_cur.epoch == reg().epoch.load() ? tl_cur.s : nullptr; }

void setCurrentSession(Session* s) {
  std::lock_guard<std::mutex> g(reg().mu);
  markCurrent(s);
}

Call::Call(const char* op, const char* text, bool needSession) : ca_(tl_ca), op_(op), text_(text) {
  commAreaClear(ca_);
  s = currentSession();
  if (g_testActive.load(std::memory_order_relaxed)) {
    int32_t code, isam;
    if (testFault(op, code, isam)) {
      commAreaSet(ca_, ixErr(code, {}, isam));
      testRecord(op_, s, text_, code);
      s = nullptr;
      return;
    }
  }
  if (needSession) {
    if (!s) {
      commAreaSet(ca_, ixErr(IXR_E_NO_CONNECTION));
      if (g_testActive.load(std::memory_order_relaxed))
        testRecord(op_, nullptr, text_, ca_.sqlcode);
      return;
    }
    if (s->broken) {
      commAreaSet(ca_, ixErr(IXR_E_LINK_LOST));
      if (g_testActive.load(std::memory_order_relaxed)) testRecord(op_, s, text_, ca_.sqlcode);
      s = nullptr;
      return;
    }
    s->interrupt.store(false, std::memory_order_relaxed);
    s->inCall.store(true, std::memory_order_release);
  }
  ok_ = true;
}

Call::~Call() {
  if (s && ok_) s->inCall.store(false, std::memory_order_release);
}

int Call::end(const IxError& e) {
  commAreaSet(ca_, e);
  return endKeep();
}

int Call::endKeep() {
  if (g_testActive.load(std::memory_order_relaxed))
    testRecord(op_, s ? s : currentSession(), text_, ca_.sqlcode);
  return ca_.sqlcode;
}

// --------------------------------------------------------------------- sessions

Prepared::~Prepared() {
  for (auto& p : parts) sqlite3_finalize(p.vm);
}

Cursor::~Cursor() { sqlite3_finalize(vm); }

Session::~Session() {
  sessionCloseDb(*this);
  if (registeredBy != 0 && registeredBy == getpid()) sessionUnregister(server, fn.sessionId);
}

void sessionCloseDb(Session& s) {
  s.lastCursor = nullptr;
  s.cursorIds.clear();
  s.cursors.clear();
  s.stmtIds.clear();
  s.stmts.clear();
  s.procs.clear();
  if (s.cat) s.cat->clearTemps();
  finalizeAll(s.versionVm, s.ctlVm);
  s.versionHeld = false;
  closeHandle(s.db);
  s.db = nullptr;
  s.dbname.clear();
  s.logMode = -1;
  s.inTxn = s.sqlTxn = false;
}

namespace {

// A new connection to database db (lower case; empty: none) of the session's server, with
// the session's functions and handlers, and its catalog (which attaches sysmaster).
IxError openHandle(Session& s, const std::string& db, sqlite3*& out, int& mode,
                   std::unique_ptr<Catalog>& cat) {
  std::string path = ":memory:";
  if (!db.empty()) {
    if (!dbExists(s.server, db)) return ixErr(IXR_E_NO_DATABASE, db, IXR_ISAM_NOT_FOUND);
    path = dbPath(s.server, db);
  }
  if (auto e = sysmasterEnsure(s.server)) return e;
  sqlite3* h = nullptr;
  // A connection that only reads opens the file for reading: it needs no write access
  // to the database or its directory.
  const bool readOnly = s.readOnly && !db.empty();
  int rc = SQLITE_OK;
  if (readOnly)
    rc = openSqliteReadOnly(path, &h);
  else if (db.empty() || (h = takeParked(path)) == nullptr)
    rc = openSqlite(path, false, &h);
  if (rc) {
    sqlite3_close_v2(h);
    // The file is there (dbExists): one SQLite cannot read is damaged, not missing.
    if (isDamage(rc)) return damaged(Op::Other, db);
    return ixErr(IXR_E_NO_DATABASE, db, IXR_ISAM_NOT_FOUND);
  }
  mode = db.empty() ? -1 : catalogLogMode(h);
  if (!db.empty() && mode < 0) {
    sqlite3_close_v2(h);
    return damaged(Op::Other, db);
  }
  registerFunctions(h, &s.fn);
  std::string sysPath = sysmasterPath(s.server);
  if (readOnly) sysPath = "file:" + sysPath + "?mode=ro";
  sqlite3_busy_handler(h, busyHandler, &s);
  sqlite3_progress_handler(h, 1000, progressHandler, &s);
  cat = std::make_unique<Catalog>(h);
  // A rollback can take back catalog rows this connection wrote without touching SQLite's
  // schema (a synonym, a privilege): the kept descriptions may no longer hold.
  sqlite3_rollback_hook(h, [](void* c) { static_cast<Catalog*>(c)->invalidate(); }, cat.get());
  cat->setSysmaster(std::move(sysPath));
  cat->setDbName(db);
  out = h;
  return {};
}

}  // namespace

IxError sessionOpenDb(Session& s, const std::string& dbname) {
  std::string db = lowerName(dbname);
  sqlite3* h = nullptr;
  int mode = -1;
  std::unique_ptr<Catalog> cat;
  if (auto e = openHandle(s, db, h, mode, cat)) return e;
  sessionCloseDb(s);
  s.db = h;
  s.dbname = db;
  s.logMode = mode;
  s.inTxn = false;
  s.cat = std::move(cat);
  s.ddlVersion++;
  return {};
}

DbLink::~DbLink() {
  finalizeAll(versionVm, ctlVm);
  closeHandle(db);
}

IxError linkOpen(Session& s, DbLink& out) {
  int mode = -1;
  return openHandle(s, s.dbname, out.db, mode, out.cat);
}

void linkSwap(Session& s, DbLink& other) {
  // Statements and cursors were prepared on the connection that leaves.
  auto unprepare = [](Prepared& p) {
    for (auto& part : p.parts) {
      sqlite3_finalize(part.vm);
      part.vm = nullptr;
    }
    p.version = -1;
  };
  for (auto& [id, p] : s.stmtIds) unprepare(*p);
  for (auto& [n, c] : s.cursors) {
    sqlite3_finalize(c->vm);
    c->vm = nullptr;
    c->vmVersion = -1;
    c->open = c->pending = c->hasRow = c->atEnd = false;
    c->proc.reset();
    if (c->stmt) unprepare(*c->stmt);
  }
  // Compiled procedures keep their statements prepared: they compile again on next use.
  s.procs.clear();
  s.lastCursor = nullptr;
  std::swap(s.db, other.db);
  std::swap(s.cat, other.cat);
  std::swap(s.versionVm, other.versionVm);
  std::swap(s.ctlVm, other.ctlVm);
  std::swap(s.tempSerial, other.tempSerial);
  std::swap(s.inTxn, other.inTxn);
  std::swap(s.sqlTxn, other.sqlTxn);
  std::swap(s.branchWork, other.branchWork);
  s.ddlVersion++;
  if (other.db) {
    other.fn.user = s.fn.user;
    other.fn.sessionId = s.fn.sessionId;
    registerFunctions(other.db, &other.fn);
    sqlite3_busy_handler(other.db, nullptr, nullptr);
    sqlite3_progress_handler(other.db, 0, nullptr, nullptr);
  }
  if (s.db) {
    registerFunctions(s.db, &s.fn);
    sqlite3_busy_handler(s.db, busyHandler, &s);
    sqlite3_progress_handler(s.db, 1000, progressHandler, &s);
  }
}

int64_t schemaVersion(Session& s) { return ReadHold(s).version(); }

namespace {

// The pager's change counter of main: it moves with every change of the file the
// connection has seen, its own and other connections' alike, and reading it costs no I/O.
// No name stands for main without a lookup of the attached databases' names (this runs
// on every EXECUTE).
bool pagerVersion(sqlite3* db, unsigned& out) {
  return db && sqlite3_file_control(db, nullptr, SQLITE_FCNTL_DATA_VERSION, &out) == SQLITE_OK;
}

}  // namespace

ReadHold::ReadHold(Session& s) : s_(s) {
  if (!s.versionHeld) {
    // Inside a transaction the snapshot stands still: the version read before holds while
    // the pager has seen no change of the file and the session has run no DDL. An array
    // of inserts thus checks once, not once a row.
    unsigned pager = 0;
    if (s.versionKnown && s.versionDdl == s.ddlVersion &&
        sqlite3_txn_state(s.db, "main") != SQLITE_TXN_NONE && pagerVersion(s.db, pager) &&
        pager == s.versionPager) {
      version_ = (s.heldVersion << 20) + s.ddlVersion;
      return;
    }
    if (!s.versionVm)
      sqlite3_prepare_v3(s.db, "PRAGMA main.schema_version", -1, SQLITE_PREPARE_PERSISTENT,
                         &s.versionVm, nullptr);
    s.heldVersion = 0;
    s.versionKnown = false;
    if (s.versionVm && sqlite3_step(s.versionVm) == SQLITE_ROW) {
      s.heldVersion = sqlite3_column_int64(s.versionVm, 0);
      s.versionHeld = mine_ = true;
      s.versionKnown = pagerVersion(s.db, s.versionPager);
      s.versionDdl = s.ddlVersion;
    } else {
      sqlite3_reset(s.versionVm);
    }
  }
  version_ = (s.heldVersion << 20) + s.ddlVersion;
}

void ReadHold::release() {
  if (!mine_) return;
  mine_ = false;
  s_.versionHeld = false;
  sqlite3_reset(s_.versionVm);
}

int64_t dataVersion(Session& s) {
  sqlite3_stmt*& vm = s.ctlVm[static_cast<int>(Ctl::DataVersion)];
  if (!vm)
    sqlite3_prepare_v3(s.db, "PRAGMA main.data_version", -1, SQLITE_PREPARE_PERSISTENT, &vm,
                       nullptr);
  int64_t v = -1;
  if (vm && sqlite3_step(vm) == SQLITE_ROW) v = sqlite3_column_int64(vm, 0);
  if (vm) sqlite3_reset(vm);
  return v;
}

bool sessionDrop(Session* s) {
  std::unique_ptr<Session> dead;
  {
    std::lock_guard<std::mutex> g(reg().mu);
    auto it = reg().byName.find(s->name);
    if (it == reg().byName.end() || it->second.get() != s) return false;
    dead = std::move(it->second);
    reg().byName.erase(it);
    if (currentSession() == s) markCurrent(nullptr);
  }
  if (dead->sqlTxn && dead->db && !dead->broken) execSql(dead->db, "ROLLBACK");
  return true;
}

void sessionRestoreCurrent(Session* s) {
  std::lock_guard<std::mutex> g(reg().mu);
  bool alive = false;
  for (auto& [n, sp] : reg().byName) alive = alive || sp.get() == s;
  if (s && (!alive || (s->current && s->owner != std::this_thread::get_id()))) return;
  markCurrent(s);
}

bool databaseInUse(const Session& self, const std::string& server, const std::string& db) {
  std::lock_guard<std::mutex> g(reg().mu);
  for (auto& [n, sp] : reg().byName)
    if (sp.get() != &self && sp->server.name == server && sp->dbname == db) return true;
  return false;
}

// --------------------------------------------------------------------- transactions

IxError runSql(Session& s, const std::string& sql, Op op) {
  s.lockTimedOut = false;
  int rc = execSql(s.db, sql);
  return rc ? fromSqlite(s.db, rc, op, s.lockTimedOut) : IxError{};
}

int runCtl(Session& s, Ctl which) {
  static const char* const kText[] = {"BEGIN IMMEDIATE",  "COMMIT",
                                      "ROLLBACK",         "SAVEPOINT ixr_stmt",
                                      "RELEASE ixr_stmt", "ROLLBACK TO ixr_stmt",
                                      "PRAGMA main.data_version", "BEGIN",
                                      "DELETE FROM main.systables WHERE 0"};
  static_assert(sizeof kText / sizeof kText[0] == static_cast<size_t>(Ctl::Count));
  sqlite3_stmt*& vm = s.ctlVm[static_cast<int>(which)];
  if (!vm) {
    int rc = sqlite3_prepare_v3(s.db, kText[static_cast<int>(which)], -1, SQLITE_PREPARE_PERSISTENT,
                                &vm, nullptr);
    if (rc) return rc;
  }
  int rc = sqlite3_step(vm);
  sqlite3_reset(vm);
  // The statement taken back may have written catalog rows (the rollback hook sees only
  // whole transactions).
  if (which == Ctl::RollbackTo && s.cat) s.cat->invalidate();
  return rc == SQLITE_DONE || rc == SQLITE_ROW ? SQLITE_OK : rc;
}

// BEGIN IMMEDIATE would take the write lock of every attached database, sysmaster's too,
// for the whole transaction: writers in different databases of one server would wait for
// each other. A statement that writes to main and changes nothing takes main's alone.
IxError beginWrite(Session& s, Op op) {
  s.lockTimedOut = false;
  if (s.dbname.empty()) {
    int rc = runCtl(s, Ctl::BeginImmediate);
    return rc ? fromSqlite(s.db, rc, op, s.lockTimedOut) : IxError{};
  }
  int rc = runCtl(s, Ctl::Begin);
  if (rc) return fromSqlite(s.db, rc, op, s.lockTimedOut);
  rc = runCtl(s, Ctl::LockMain);
  if (!rc) return {};
  IxError e = fromSqlite(s.db, rc, op, s.lockTimedOut);
  runCtl(s, Ctl::Rollback);
  return e;
}

// The SQLite transaction behind an Informix one starts with its first statement: at once
// with the write lock when that statement writes (so that a lock wait can wait), deferred
// when it reads.
IxError txnImplicit(Session& s, bool write, Op writeOp) {
  if (!s.db) return {};
  if (s.ansi() && !s.inTxn) s.inTxn = true;
  if (!s.inTxn || s.sqlTxn) return {};
  if (auto e = write ? beginWrite(s, writeOp) : runSql(s, "BEGIN", Op::Read)) return e;
  s.sqlTxn = true;
  // Preparing a branch rolls back to this savepoint: its work leaves the database while
  // its connection keeps the write lock.
  if (s.branchWork) return runSql(s, "SAVEPOINT ixr_branch", Op::Other);
  return {};
}

IxError txnBegin(Session& s) {
  if (s.branchWork) return ixErr(IXR_E_IN_TXN);
  if (s.dbname.empty()) return ixErr(IXR_E_NO_DB_SELECTED);
  if (!s.logged()) return ixErr(IXR_E_NO_TXN);
  if (s.inTxn) return ixErr(IXR_E_IN_TXN);
  s.inTxn = true;
  return {};
}

// COMMIT or ROLLBACK: needs a transaction, except on an ANSI database, which is always
// in one (an empty one ends without a statement).
IxError txnEnd(Session& s, bool commit) {
  // Only the transaction manager ends a branch.
  if (s.branchWork) return ixErr(IXR_E_GLOBAL_TXN);
  if (s.dbname.empty()) return ixErr(IXR_E_NO_DB_SELECTED);
  if (!s.logged()) return ixErr(IXR_E_NOT_IN_TXN);
  if (!s.inTxn) return s.ansi() ? IxError{} : ixErr(IXR_E_NOT_IN_TXN);
  if (!commit) {
    // ROLLBACK WORK closes the cursors, hold cursors included.
    for (auto& [n, c] : s.cursors) {
      if (c->vm) sqlite3_reset(c->vm);
      c->open = c->pending = c->hasRow = false;
    }
  }
  if (s.sqlTxn)
    if (auto e = runSql(s, commit ? "COMMIT" : "ROLLBACK", Op::Other)) return e;
  s.inTxn = s.sqlTxn = false;
  return {};
}

IxError txnCommit(Session& s) { return txnEnd(s, true); }
IxError txnRollback(Session& s) { return txnEnd(s, false); }

}  // namespace ixr

using namespace ixr;

namespace {

// The session named (NULL or empty: the calling thread's current one).
// REQUIRES: registry lock held.
IxError namedOrCurrent(const char* name, Session*& out) {
  if (name && *name) {
    auto it = reg().byName.find(name);
    if (it == reg().byName.end()) return ixErr(IXR_E_NO_CONNECTION, name);
    out = it->second.get();
    return {};
  }
  out = currentSession();
  return out ? IxError{} : ixErr(IXR_E_NO_CONNECTION, "CURRENT");
}

// "db", "db@server", "@server", "default".
void splitTarget(const char* target, std::string& db, std::string& server) {
  std::string t = target ? target : "";
  size_t at = t.find('@');
  if (at != std::string::npos) {
    server = t.substr(at + 1);
    t = t.substr(0, at);
  }
  db = t == "default" ? std::string() : t;
}

}  // namespace

extern "C" {

IxrCommArea* ixr_sqlca(void) { return &tl_ca; }
IxrConnInfo* ixr_conninfo(void) { return &tl_info; }

int ixr_server_create(const char* name, int kind, const char* users) {
  Call c("CREATE SERVER", name, false);
  if (!c.ok()) return c.code();
  return c.end(serverCreate(name ? name : "", kind, users));
}

int ixr_servers_root(char* buf, size_t size) {
  std::string r = serversRoot();
  if (!buf || size <= r.size()) return -1;
  std::memcpy(buf, r.c_str(), r.size() + 1);
  return 0;
}

int ixr_connect(const char* database, const char* name) {
  Call c("CONNECT", database, false);
  if (!c.ok()) return c.code();
  std::string db, server;
  splitTarget(database, db, server);
  if (server.empty() && tl_info.server) server = tl_info.server;
  if (server.empty())
    if (const char* env = std::getenv("INFORMIXSERVER")) server = env;
  if (server.empty()) return c.end(ixErr(IXR_E_NO_SERVER_NAME));
  auto s = std::make_unique<Session>();
  s->name = name && *name ? name : (database && *database ? database : "default");
  if (auto e = serverLoad(server, s->server)) return c.end(e);
  std::string user = tl_info.user && *tl_info.user ? tl_info.user : osUser();
  if (s->server.hasUsers) {
    auto it = s->server.users.find(user);
    std::string pw = tl_info.password ? tl_info.password : "";
    if (it == s->server.users.end() || !passwordMatches(it->second, pw))
      return c.end(ixErr(IXR_E_BAD_USER, user));
  }
  s->user = user;
  s->readOnly = tl_info.readonly != 0;
  s->delimIdent = tl_info.delimident != 0;
  s->fn.user = user;
  {
    std::lock_guard<std::mutex> g(reg().mu);
    if (reg().byName.count(s->name)) return c.end(ixErr(IXR_E_CONNECTION_IN_USE, s->name));
  }
  if (auto e = sessionOpenDb(*s, db)) return c.end(e);
  // The server numbers its sessions across processes. One it cannot register takes a
  // number of this process from a range the server does not reach.
  if (int64_t sid = sessionRegister(s->server, user); sid != 0) {
    s->fn.sessionId = sid;
    s->registeredBy = getpid();
  } else {
    std::lock_guard<std::mutex> g(reg().mu);
    s->fn.sessionId = kUnregisteredSessions + ++reg().sessions;
  }
  IxrCommArea& ca = c.ca();
  if (s->logged()) ca.sqlwarn[1] = 'W';
  if (s->ansi()) ca.sqlwarn[2] = 'W';
  if (s->online()) ca.sqlwarn[3] = 'W';
  if (s->logged() || s->ansi() || s->online()) ca.sqlwarn[0] = 'W';
  Session* raw = s.get();
  {
    std::lock_guard<std::mutex> g(reg().mu);
    if (reg().byName.count(raw->name)) return c.end(ixErr(IXR_E_CONNECTION_IN_USE, raw->name));
    reg().byName[raw->name] = std::move(s);
    markCurrent(raw);
  }
  c.s = raw;
  return c.endKeep();
}

int ixr_disconnect(const char* name) {
  Call c("DISCONNECT", name, false);
  if (!c.ok()) return c.code();
  std::unique_ptr<Session> dead;
  Session* xaTarget = nullptr;
  {
    std::lock_guard<std::mutex> g(reg().mu);
    Session* target = nullptr;
    if (auto e = namedOrCurrent(name, target)) return c.end(e);
    if (target != currentSession()) return c.end(ixErr(IXR_E_NOT_CURRENT, name));
    if (target->xaThread) xaTarget = target;
  }
  // A session of xa_open stays while a branch is associated with it or suspended by it;
  // only its own thread reaches it, so it cannot go away in between.
  if (xaTarget && !xaReleaseSession(*xaTarget)) return c.end(ixErr(IXR_E_TXN_OPEN));
  {
    std::lock_guard<std::mutex> g(reg().mu);
    Session* target = nullptr;
    if (auto e = namedOrCurrent(name, target)) return c.end(e);
    if (target != currentSession()) return c.end(ixErr(IXR_E_NOT_CURRENT, name));
    c.s = target;
    auto it = reg().byName.find(target->name);
    dead = std::move(it->second);
    reg().byName.erase(it);
    markCurrent(nullptr);
  }
  if (dead->sqlTxn && dead->db && !dead->broken) execSql(dead->db, "ROLLBACK");
  int code = c.end({});
  c.s = nullptr;
  dead.reset();
  return code;
}

int ixr_set_connection(const char* name, int dormant) {
  Call c("SET CONNECTION", dormant ? "DORMANT" : "", false);
  if (!c.ok()) return c.code();
  std::lock_guard<std::mutex> g(reg().mu);
  Session* cur = currentSession();
  Session* target = nullptr;
  if (auto e = namedOrCurrent(name, target)) return c.end(e);
  c.s = target;
  if (target->broken) return c.end(ixErr(IXR_E_LINK_LOST));
  if (dormant) {
    if (target != cur) return c.end(ixErr(IXR_E_NOT_CURRENT, target->name));
    markCurrent(nullptr);
    target->current = false;
    target->owner = std::thread::id();
    return c.end({});
  }
  if ((target->current && target->owner != std::this_thread::get_id()) ||
      (target->xaThread && target->xaThread != threadToken()))
    return c.end(ixErr(IXR_E_CONNECTION_IN_USE, target->name));
  markCurrent(target);
  return c.end({});
}

int ixr_begin_work(void) {
  Call c("BEGIN WORK", nullptr);
  if (!c.ok()) return c.code();
  return c.end(txnBegin(*c.s));
}

int ixr_commit_work(void) {
  Call c("COMMIT WORK", nullptr);
  if (!c.ok()) return c.code();
  return c.end(txnCommit(*c.s));
}

int ixr_rollback_work(void) {
  Call c("ROLLBACK WORK", nullptr);
  if (!c.ok()) return c.code();
  return c.end(txnRollback(*c.s));
}

int ixr_interrupt(const char* name) {
  std::lock_guard<std::mutex> g(reg().mu);
  Session* target = nullptr;
  if (name && *name) {
    auto it = reg().byName.find(name);
    if (it != reg().byName.end()) target = it->second.get();
  } else {
    target = currentSession();
  }
  if (!target) return IXR_E_NO_CONNECTION;
  // Only a request under way is interrupted; the next call clears the flag.
  if (target->inCall.load(std::memory_order_acquire))
    target->interrupt.store(true, std::memory_order_relaxed);
  return 0;
}

int ixr_set_deadline(const char* name, int64_t ms) {
  std::lock_guard<std::mutex> g(reg().mu);
  auto it = reg().byName.find(name ? name : "");
  if (it == reg().byName.end()) return IXR_E_NO_CONNECTION;
  int64_t at = 0;
  if (ms >= 0) {
    constexpr int64_t kCentury = int64_t{100} * 366 * 24 * 3600 * 1000;
    if (ms > kCentury) ms = kCentury;
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    at = std::chrono::duration_cast<std::chrono::nanoseconds>(now).count() + ms * 1000000;
    if (at == 0) at = 1;
  }
  it->second->deadline.store(at, std::memory_order_relaxed);
  return 0;
}

}  // extern "C"

namespace ixr {

void testBreakSession(const char* name) {
  std::lock_guard<std::mutex> g(reg().mu);
  auto it = reg().byName.find(name ? name : "");
  if (it != reg().byName.end()) it->second->broken = true;
}

void testDropAll() {
  xaResetAll();
  std::map<std::string, std::unique_ptr<Session>> all;
  {
    std::lock_guard<std::mutex> g(reg().mu);
    all.swap(reg().byName);
    reg().epoch++;
    tl_cur.s = nullptr;
  }
  all.clear();
}

}  // namespace ixr
