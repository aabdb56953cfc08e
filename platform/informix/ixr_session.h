// ixr_session.h -- sessions of the embedded Informix runtime: one per CONNECT, each with
// its own SQLite connection, catalog cache, prepared statements and cursors. The
// registry maps connection names to sessions; the current session is per thread.
// Threading: a session is used by the thread it is current on; the registry lock guards
// names, ownership and interrupts; ixr_interrupt touches only atomics of a session.
#pragma once

#include "platform/informix/ixr_api.h"
#include "platform/informix/ixr_ast.h"
#include "platform/informix/ixr_catalog.h"
#include "platform/informix/ixr_convert.h"
#include "platform/informix/ixr_server.h"
#include "platform/informix/ixr_sqlfn.h"
#include "platform/informix/ixr_translate.h"

#include <sqlite3.h>
#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace ixr {

// How long "set lock mode to wait" without seconds waits for a lock.
constexpr int kDefaultLockWaitMs = 30000;

// The transaction-control statements every writing statement runs around itself.
enum class Ctl {
  BeginImmediate,
  Commit,
  Rollback,
  Savepoint,
  Release,
  RollbackTo,
  DataVersion,
  Begin,
  LockMain,
  Count
};

struct Prepared {
  struct Part {
    Stmt* st = nullptr;
    Translation tr;
    sqlite3_stmt* vm = nullptr;  // DML: the prepared SQLite statement
    bool dml = false;
    bool ready = false;  // translated (a part after DDL waits for EXECUTE)
  };
  std::string name;
  int32_t id = 0;
  std::unique_ptr<Ast> ast;
  std::vector<Part> parts;
  int type = 0;         // statement type of the first part
  int64_t version = 0;  // schema version of the translations
  bool reshaped = false;  // translated afresh with other result columns since DESCRIBE
  std::vector<IxType> hosts;    // the host types the translations were made for
  std::vector<bool> hostTyped;  // the markers that take their host's type (MarkerTarget)
  int64_t generation = 0;       // counts the translations; a cursor's VM is of one of them

  Prepared() = default;
  Prepared(const Prepared&) = delete;
  Prepared& operator=(const Prepared&) = delete;
  ~Prepared();
};

// One run of a stored procedure (ixr_proc.cpp), freed where its type is known.
class ProcRun;
struct ProcRunFree {
  void operator()(ProcRun* run) const;
};
using ProcRunPtr = std::unique_ptr<ProcRun, ProcRunFree>;
struct Proc;  // a compiled stored procedure (ixr_proc.cpp)

// How FETCH reads one result column, decided once at OPEN.
struct ColPlan {
  IxType type;
  Store store = Store::Text;
  bool padded = false;  // CHAR/NCHAR: trailing blanks dropped for string hosts
  bool number = false;  // integer-like: SMALLINT, INTEGER, SERIAL
  bool date = false;
  bool text = false;  // kept as SQLite text: character, DECIMAL, DATETIME
};

struct Cursor {
  std::string name;
  int32_t id = 0;
  std::shared_ptr<Prepared> stmt;  // declared statement (kept alive across re-PREPARE)
  sqlite3_stmt* vm = nullptr;      // the cursor's own VM, made at OPEN
  int64_t vmVersion = -1;
  int64_t vmGeneration = -1;       // the statement's translation vm was compiled from
  bool open = false;
  bool pending = false;  // OPEN already stepped onto the first row
  bool atEnd = false;
  bool hasRow = false;  // a row is current (for WHERE CURRENT OF)
  int64_t rowid = 0;
  int visible = 0;  // described columns; a hidden rowid may follow
  bool hasRowid = false;
  std::vector<ColPlan> plan;  // one per visible column
  int64_t rows = 0;
  ProcRunPtr proc;  // a cursor for EXECUTE PROCEDURE: the run that yields its rows

  Cursor() = default;
  Cursor(const Cursor&) = delete;
  Cursor& operator=(const Cursor&) = delete;
  ~Cursor();
};

// Cursor names are identifiers, compared without regard to ASCII case: WHERE CURRENT OF c1
// names the cursor declared as "C1".
struct IdentLess {
  bool operator()(const std::string& a, const std::string& b) const noexcept {
    const size_t n = a.size() < b.size() ? a.size() : b.size();
    for (size_t i = 0; i < n; ++i) {
      const auto fold = [](char c) {
        return static_cast<unsigned char>(c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c);
      };
      if (fold(a[i]) != fold(b[i])) return fold(a[i]) < fold(b[i]);
    }
    return a.size() < b.size();
  }
};

struct Session {
  std::string name;
  ServerInfo server;
  std::string dbname;  // empty: connected to the server alone
  int logMode = -1;    // LogMode of the open database, -1 none
  std::string user;
  sqlite3* db = nullptr;
  std::unique_ptr<Catalog> cat;
  FnState fn;
  bool inTxn = false;   // BEGIN WORK given, or an ANSI transaction under way
  bool sqlTxn = false;  // its SQLite transaction has started
  int isolation = kCommittedRead;
  int lockWaitMs = 0;   // 0 NOT WAIT, else the bound of a lock wait
  bool readOnly = false;  // the connection only reads (IxrConnInfo.readonly)
  bool delimIdent = false;  // its client asked for delimited identifiers (IxrConnInfo)
  // The server's number of the session (fn.sessionId) was registered by this process
  // (sessionRegister): it ends with the session.
  pid_t registeredBy = 0;
  bool broken = false;  // lost its link (test support): every call answers IXR_E_LINK_LOST
  std::atomic<bool> interrupt{false};
  std::atomic<bool> inCall{false};
  // Steady-clock nanoseconds from which every request stops as an interrupted one,
  // whoever set it and whenever the request began; 0 for none (ixr_set_deadline).
  std::atomic<int64_t> deadline{0};
  // Whether the request under way must stop: interrupted, or past the deadline.
  bool stopRequested() const {
    if (interrupt.load(std::memory_order_relaxed)) return true;
    const int64_t d = deadline.load(std::memory_order_relaxed);
    return d != 0 && std::chrono::duration_cast<std::chrono::nanoseconds>(
                         std::chrono::steady_clock::now().time_since_epoch())
                             .count() >= d;
  }
  bool lockTimedOut = false;
  int64_t ddlVersion = 0;
  sqlite3_stmt* versionVm = nullptr;
  bool versionHeld = false;  // versionVm stepped and not reset: a ReadHold is open
  // heldVersion is the main schema version as of pager version versionPager and DDL
  // count versionDdl (ReadHold reuses it inside a transaction).
  bool versionKnown = false;
  unsigned versionPager = 0;
  int64_t versionDdl = 0;
  // EXECUTE began the writing statement's own transaction already (inStatement ends it).
  bool stmtTxn = false;
  int64_t heldVersion = 0;
  // Prepared once per database: an EXECUTE in a loop would otherwise parse them every time.
  sqlite3_stmt* ctlVm[static_cast<int>(Ctl::Count)] = {};
  std::map<std::string, int64_t> tempSerial;  // SERIAL counters of temporary tables
  // Stored procedures compiled on their first use in this database, by name.
  std::map<std::string, std::shared_ptr<Proc>> procs;
  // DEFINE GLOBAL variables of the session's procedures: their type and value.
  std::map<std::string, std::pair<IxType, Val>> procGlobals;

  std::map<std::string, std::shared_ptr<Prepared>> stmts;
  std::map<int32_t, std::shared_ptr<Prepared>> stmtIds;
  std::map<std::string, std::unique_ptr<Cursor>, IdentLess> cursors;
  std::map<int32_t, Cursor*> cursorIds;
  Cursor* lastCursor = nullptr;  // the cursor of the last lookup (FETCH loops hit it)
  int32_t nextId = 1;

  std::thread::id owner;  // thread it is current on, default id when dormant
  bool current = false;

  // A session opened by xa_open belongs to the thread that opened it (threadToken()) under
  // its rmid; no other thread can make it current.
  uint64_t xaThread = 0;  // threadToken() of the opener; 0: an ordinary session
  int xaRmid = 0;
  // db carries a global transaction branch (it travels with the connection, see DbLink):
  // the branch's SQLite transaction opens with a savepoint, and BEGIN, COMMIT and ROLLBACK
  // WORK are refused.
  bool branchWork = false;

  bool logged() const { return logMode > 0; }
  bool ansi() const { return logMode == kAnsi; }
  bool online() const { return server.kind == IXR_SERVER_ONLINE; }

  Session() = default;
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;
  ~Session();
};

// Opens the database (or none) on a session: SQLite connection, functions, handlers,
// catalog (sysmaster attached when first named). Answers IXR_E_NO_DATABASE for a missing
// database.
IxError sessionOpenDb(Session& s, const std::string& dbname);
void sessionCloseDb(Session& s);

// A SQLite connection to a session's database with what is bound to it: the fields of
// Session of the same names. A global transaction branch does its work on a connection
// of its own, which the session trades for its own while associated with the branch.
struct DbLink {
  sqlite3* db = nullptr;
  std::unique_ptr<Catalog> cat;  // temporary tables live with their connection
  sqlite3_stmt* versionVm = nullptr;
  sqlite3_stmt* ctlVm[static_cast<int>(Ctl::Count)] = {};
  std::map<std::string, int64_t> tempSerial;
  bool inTxn = false;
  bool sqlTxn = false;
  bool branchWork = false;
  FnState fn;  // what the SQL functions see while no session holds the connection

  DbLink() = default;
  DbLink(const DbLink&) = delete;
  DbLink& operator=(const DbLink&) = delete;
  ~DbLink();
};

// Opens another connection to the session's database into an empty link.
IxError linkOpen(Session& s, DbLink& out);
// Trades the session's connection for the link's. The session's cursors close and its
// statements are prepared again on their next use: both belong to a connection. The
// connection that leaves the session stops calling back into it.
void linkSwap(Session& s, DbLink& other);

// A number for the calling thread that no other thread of the process ever has.
uint64_t threadToken();

// Removes a session from the registry and destroys it; it stops being current on the
// calling thread. Answers false when it is not registered.
bool sessionDrop(Session* s);
// Makes the session current on the calling thread when it still exists (the previous
// current one becomes dormant); nullptr leaves no session current.
void sessionRestoreCurrent(Session* s);

// The schema version translations depend on (main schema plus the session's own DDL).
int64_t schemaVersion(Session& s);

// Keeps the read transaction that read the schema version open while it lives (outside
// an SQL transaction SQLite ends one with its last active statement), so that the
// statements run meanwhile join it rather than each opening one of their own. Only for
// work that reads: a write begun under it could find its snapshot overtaken. Holds nest;
// the outermost one releases.
class ReadHold {
 public:
  explicit ReadHold(Session& s);
  ~ReadHold() { release(); }
  ReadHold(const ReadHold&) = delete;
  ReadHold& operator=(const ReadHold&) = delete;
  int64_t version() const { return version_; }
  void release();

 private:
  Session& s_;
  bool mine_ = false;
  int64_t version_ = 0;
};
// PRAGMA data_version of the main database: it moves when another connection commits;
// -1 when it cannot be read.
int64_t dataVersion(Session& s);

// Begins an SQLite transaction holding the write lock of the session's database (waiting
// for it as the lock mode says).
IxError beginWrite(Session& s, Op op);

// Transactions.
IxError txnBegin(Session& s);
IxError txnCommit(Session& s);
IxError txnRollback(Session& s);
// Before a statement: ANSI databases open a transaction implicitly, and an open
// transaction gets its SQLite transaction. A lock that keeps a write out is reported
// as the failure of writeOp, what the statement was doing.
IxError txnImplicit(Session& s, bool write, Op writeOp = Op::Insert);
// Runs body as one statement: atomic, and committed at once outside a transaction.
// oneStatement: body runs a single SQLite statement (atomic by itself).
template <class F>
IxError inStatement(Session& s, Op op, F&& body, bool oneStatement = false);

IxError runSql(Session& s, const std::string& sql, Op op);
// Runs one transaction-control statement; answers the SQLite result code.
int runCtl(Session& s, Ctl which);

// Creates a temporary table of the session (defaults as SQL, unique column lists).
IxError tempTableCreate(Session& s, std::shared_ptr<TableDef> def,
                        const std::vector<std::string>& defaults,
                        const std::vector<std::string>& uniques);
// DDL and the other statements that are not SELECT/INSERT/UPDATE/DELETE; ast holds the
// statement's text.
IxError execOther(Session& s, Ast& ast, Prepared::Part& part, IxrCommArea& ca);
// Binds the procedure variables a statement of a procedure body reads.
using VarBind = std::function<IxError(sqlite3_stmt* vm)>;
// Executes DML part (already translated) with the host variables of its `markers` markers
// and, in a procedure, its variables, and fills the communication area.
IxError execDml(Session& s, int markers, Prepared::Part& part, const IxrSqlda* input,
                IxrCommArea& ca, const VarBind* vars = nullptr);
// Translates (or re-translates) the parts of a statement.
IxError prepareParts(Session& s, Prepared& p, bool atPrepare);
TransCtx transCtx(Session& s);
int statementType(const Stmt& st);
// "x" is an identifier: the current connection's client asked for it, or the process
// environment's DELIMIDENT is set.
bool delimIdent();

// XA (ixr_xa.cpp). A session of xa_open is about to be disconnected: its rmid is
// forgotten; false, changing nothing, while a branch is associated with it or suspended by it.
bool xaReleaseSession(Session& s);
// Forgets every branch in memory and every xa_open of the process (test support).
void xaResetAll();

// Session registry operations used by the DDL statements that switch databases.
bool databaseInUse(const Session& self, const std::string& server, const std::string& db);

}  // namespace ixr

#include "platform/informix/ixr_session_inl.h"
