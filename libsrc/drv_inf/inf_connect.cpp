// inf_connect.cpp -- the agent's server record and connections: choosing the
// server, opening the session, autocommit, isolation, lock mode and the
// initial-SQL file; local transaction control.
// Owns InfEnv and InfConn records and the three handle tables' life.
// Threading: INF_Mutex around the session work of a connect and disconnect and
// around the server reference count; one call at a time per connection.
// Not here: statements (inf_cursor.cpp, inf_exec.cpp) or options (inf_info.cpp).

#include "drv_inf/inf_connect.h"

#include <getopt.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <new>
#include <string>

#include "drv/errtab.h"
#include "drv/layercalls.h"
#include "drv_inf/inf_error.h"
#include "drv_inf/inf_esql.h"
#include "drv_inf/inf_log.h"
#include "drv_inf/inf_ops.h"
#include "drv_inf/inf_text.h"
#include "platform/windows/registry.h"
#include "util/argv.h"
#include "util/str.h"

namespace {

constexpr const char* kSrc = "drv_inf/inf_connect";

int32_t g_serverRefs = 0;      // REQUIRES: INF_Mutex
DrvHandle g_serverHandle = 0;  // REQUIRES: INF_Mutex
int (*g_interruptHook)() = nullptr;

// Determined at the first need and kept for the process.
const std::string& defaultServer() {
  static const std::string server = [] {
    const char* env = std::getenv("INFORMIXSERVER");
    if (env == nullptr) return std::string();
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Informix\\Environment", 0, KEY_READ, &key) !=
        ERROR_SUCCESS)
      return std::string(env);
    char buf[51] = {};
    uint32_t size = 50;
    uint32_t type = 0;
    int32_t rc = RegQueryValueExA(key, "INFORMIXSERVER", nullptr, &type,
                                  reinterpret_cast<uint8_t*>(buf), &size);
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS || type != REG_SZ) return std::string();
    return std::string(buf, strnlen(buf, size));
  }();
  return server;
}

bool xaActive(const InfConn* conn) { return XAP_IsXaActive(conn->xa) != 0; }

// Every session parameter of a connect, owned here until the session copies them.
struct ConnectParams {
  std::string database;
  std::string server;
  std::string user;
  std::string password;
  std::string host;
  std::string protocol;
  std::string service;
  std::string locale;
};

void parseConnectOptions(const char* dbopts, bool serverFromPath, ConnectParams* p) {
  int argc = 0;
  char** argv = nullptr;
  if (build_argv(dbopts, &argc, &argv) != 0) return;
  // getopt reads from the second entry: the first stands for a program name.
  std::string prog = "connect";
  char** args = static_cast<char**>(std::calloc(static_cast<size_t>(argc) + 2, sizeof(char*)));
  if (args == nullptr) {
    free_argv(argv);
    return;
  }
  args[0] = prog.data();
  for (int i = 0; i < argc; ++i) args[i + 1] = argv[i];
  opterr = 0;
  optind = 0;  // a full restart of the parser for every connect
  int c;
  while ((c = getopt(argc + 1, args, "V:P:S:H:")) != -1) {
    switch (c) {
      case 'H': p->host = optarg; break;
      case 'P': p->protocol = optarg; break;
      case 'V': p->service = optarg; break;
      case 'S':
        if (!serverFromPath) p->server = optarg;
        break;
      default: INF_LOG(LOG_WARNING, kSrc, "INF_Connect: invalid connect option specified"); break;
    }
  }
  optind = 0;
  std::free(args);
  free_argv(argv);
}

// Moves the entries of a connect failure into the server record's list, which
// connects of several threads share.
void postServerErrors(InfEnv* env, InfErrorList* local) {
  CriticalSectionLock g(&env->lock);
  ErrListClear(&env->errors);
  env->errors.head = local->head;
  local->head = nullptr;
}

int32_t txnControl(InfConn* conn, int op, bool atConnect) {
  if (xaActive(conn) || conn->session->logging == 0) return 0;
  switch (op) {
    case TXN_AUTOCOMMIT_ON: {
      const bool wasOff = conn->autocommit == 0;
      conn->autocommit = 1;
      int32_t rc = 0;
      // Switching autocommit on commits the open transaction.
      if (wasOff) rc = InfCommitWork(conn);
      if (rc == 0 && conn->isolation != 0) (void)INF_SetIsolation(conn, conn->isolation);
      return rc;
    }
    case TXN_AUTOCOMMIT_OFF: {
      const bool wasOn = conn->autocommit != 0;
      conn->autocommit = 0;
      int32_t rc = 0;
      // Only leaving autocommit (or a fresh session) starts from a clean state;
      // turning it off again never throws away work in progress.
      if (wasOn || atConnect) rc = InfRollbackWork(conn);
      if (rc == 0 && conn->isolation != 0) (void)INF_SetIsolation(conn, conn->isolation);
      return rc;
    }
    case TXN_BEGIN: return InfBeginWork(conn);
    case TXN_COMMIT: return InfCommitWork(conn);
    case TXN_ROLLBACK: return InfRollbackWork(conn);
    default: return ERR_GENERAL;
  }
}

}  // namespace

int32_t INF_TxnControl(InfConn* conn, int op) noexcept { return txnControl(conn, op, false); }

int32_t InfBeginWork(InfConn* conn) noexcept {
  InfSession* s = conn->session;
  if (s->ansi != 0 || (conn->txnState & TXN_OPEN) != 0) return 0;
  int code = _begin_work(s, &conn->errors);
  if (code != 0) return InfCodeToDrvCode(code, ERR_GENERAL);
  conn->txnState |= TXN_OPEN;
  return 0;
}

int32_t InfCommitWork(InfConn* conn) noexcept {
  InfSession* s = conn->session;
  if (s->ansi == 0 && (conn->txnState & TXN_OPEN) == 0) return 0;
  int code = _commit_work(s, &conn->errors);
  if (code != 0) return InfCodeToDrvCode(code, ERR_GENERAL);
  conn->txnState &= ~TXN_OPEN;
  return 0;
}

int32_t InfRollbackWork(InfConn* conn) noexcept {
  InfSession* s = conn->session;
  if (s->ansi == 0 && (conn->txnState & TXN_OPEN) == 0) return 0;
  int code = _rollback_work(s, &conn->errors);
  if (code != 0) return InfCodeToDrvCode(code, ERR_GENERAL);
  conn->txnState &= ~TXN_OPEN;
  return 0;
}

int32_t SessCurrentIsolation(const InfSession* s) noexcept {
  if (s->ansi != 0) return 8;
  return s->logging != 0 ? 2 : 1;
}

int32_t SessDefaultIsolation(const InfSession* s) noexcept {
  return s->online != 0 ? 1 : SessCurrentIsolation(s);
}

int32_t SessIsolationMask(const InfSession* s) noexcept {
  return s->online != 0 && s->logging != 0 ? 15 : SessCurrentIsolation(s);
}

int32_t InfIsolationInForce(const InfConn* conn) noexcept {
  return conn->isolationIssued != 0 ? conn->isolationIssued : conn->isolation;
}

int32_t INF_SetIsolation(InfConn* conn, int32_t level) noexcept {
  InfSession* s = conn->session;
  // Autocommit runs repeatable read and serializable as committed read.
  const int32_t issue = (conn->autocommit != 0 && (level == 4 || level == 8)) ? 2 : level;
  if (level == conn->isolation && issue == conn->isolationIssued) return 0;
  if (s->logging == 0 || (SessIsolationMask(s) & level) == 0 ||
      (level != 1 && level != 2 && level != 4 && level != 8))
    return ERR_NOT_CAPABLE;
  if (issue != conn->isolationIssued) {
    int code = _set_isolation(s, issue, 0, &conn->errors);
    if (code != 0) return InfCodeToDrvCode(code, ERR_GENERAL);
    conn->isolationIssued = issue;
  }
  conn->isolation = level;
  return issue != level ? ERR_OPTION_CHANGED : 0;
}

void InfApplySessionSettings(InfConn* conn) noexcept {
  InfSession* s = conn->session;
  const int32_t asked = conn->isolation;
  conn->isolation = SessCurrentIsolation(s);
  conn->isolationIssued = conn->isolation;
  const int32_t want = asked != 0 ? asked : SessDefaultIsolation(s);
  if (want != conn->isolation) {
    int32_t rc = INF_SetIsolation(conn, want);
    if (rc != 0 && rc != ERR_OPTION_CHANGED)
      INF_LOG(LOG_ERR, kSrc, "INF_Connect: Couldn't set default agent isolation level");
  }
  (void)_execute_immediate(s, "set lock mode to wait", nullptr);
}

namespace {

// A failure of the initial SQL, told to the application as a warning of the connect.
void initSqlWarning(InfErrorList* warnings, int32_t native, const char* format, ...) {
  if (warnings == nullptr) return;
  InfError* e = new (std::nothrow) InfError;
  if (e == nullptr) return;
  va_list ap;
  va_start(ap, format);
  std::vsnprintf(e->text, sizeof e->text, format, ap);
  va_end(ap);
  e->native = native;
  e->sqlstate = "01000";
  ErrListAppend(warnings, e);
}

}  // namespace

int RunInitialSql(InfSession* session, const char* fileName, InfErrorList* warnings) noexcept {
  const char* path = set_file_ext(fileName, "sql", 2);
  FILE* f = path != nullptr ? std::fopen(path, "r") : nullptr;
  if (f == nullptr) {
    const int err = errno;
    INF_LOG(LOG_ERR, kSrc, "RunInitialSql: unable to read from initial SQL file %s (%m)",
            path != nullptr ? path : fileName);
    initSqlWarning(warnings, 0, "Initial SQL file %s cannot be read: %s",
                   path != nullptr ? path : fileName, std::strerror(err));
    return -1;
  }
  const std::string shownPath(path);
  const char* shown = shownPath.c_str();
  int result = 0;
  unsigned first = 0;  // the line the statement being collected starts on
  std::string stmt;
  bool collecting = false;
  unsigned lines = 0;
  char* line = nullptr;
  size_t cap = 0;
  ssize_t n;
  // Lines are read whole, whatever their length.
  while ((n = getline(&line, &cap, f)) != -1) {
    ++lines;
    std::string_view l(line, static_cast<size_t>(n));
    while (!l.empty() && (l.back() == '\n' || l.back() == '\r')) l.remove_suffix(1);
    l = inf_text::trim(l);
    if (l.empty() || l.front() == '#') continue;
    if (!collecting) first = lines;
    if (l.back() == ';') {
      stmt.append(l.substr(0, l.size() - 1));
      INF_LOG(LOG_DEBUG, kSrc, "RunInitialSql: execute [%.100s]", stmt.c_str());
      int code = _execute_immediate(session, stmt.c_str(), nullptr);
      if (code != 0) {
        char text[1024];
        _error_text(code, text, sizeof text);
        initSqlWarning(warnings, code, "Initial SQL file %s line %u: %s", shown, first, text);
        result = -1;
      }
      stmt.clear();
      collecting = false;
    } else {
      stmt.append(l);
      stmt += ' ';
      collecting = true;
    }
  }
  std::free(line);
  std::fclose(f);
  if (collecting) {
    INF_LOG(LOG_ERR, kSrc, "RunInitialSql: Unterminated SQL request (line %u)", lines);
    initSqlWarning(warnings, 0, "Initial SQL file %s line %u: the statement has no ending ';'",
                   shown, first);
    return -1;
  }
  return result;
}

int INF_Interrupt() noexcept {
  CriticalSectionLock g(INF_Mutex());
  (void)ixr_interrupt(nullptr);
  return 0;
}

void InfConnFree(InfConn* conn) noexcept {
  if (conn == nullptr) return;
  std::free(conn->options.initialSql);
  std::free(conn->options.clientLocale);
  std::free(conn->options.sqlDbmsName);
  std::free(conn->lastUser);
  ErrListClear(&conn->errors);
  delete conn;
}

int32_t INF_AllocServer(const DriverServerArgs* /*args*/, DrvHandle* hServer) {
  CriticalSectionLock g(INF_Mutex());
  if (g_serverRefs != 0) {
    ++g_serverRefs;
    if (hServer != nullptr) *hServer = g_serverHandle;
    return 0;
  }
  if (HandleTableInit(&INF_EnvHandles, HTAG_SERVER) != 0 ||
      HandleTableInit(&INF_ConnHandles, HTAG_CONN) != 0 ||
      HandleTableInit(&INF_CursorHandles, HTAG_CURSOR) != 0) {
    HandleTableDestroy(&INF_EnvHandles);
    HandleTableDestroy(&INF_ConnHandles);
    HandleTableDestroy(&INF_CursorHandles);
    return ERR_GENERAL;
  }
  std::srand(static_cast<unsigned>(std::time(nullptr)));
  _esql_init(ConnectOptions.forceOnlineDb, ConnectOptions.forceDormant);
  InfEnv* env = new (std::nothrow) InfEnv;
  if (env == nullptr) return ERR_MEMORY;
  HandleTableEnableLock(&INF_EnvHandles);
  HandleTableEnableLock(&INF_ConnHandles);
  HandleTableEnableLock(&INF_CursorHandles);
  DrvHandle h = 0;
  if (HandleAlloc(&INF_EnvHandles, &h, env) != 0) {
    delete env;
    return ERR_MEMORY;
  }
  g_serverHandle = h;
  g_serverRefs = 1;
  if (hServer != nullptr) *hServer = h;
  return 0;
}

int32_t INF_EndServer(DrvHandle hServer) {
  CriticalSectionLock g(INF_Mutex());
  InfEnv* env = InfEnvLookup(hServer);
  if (env == nullptr) return ERR_ARGUMENT;
  if (--g_serverRefs == 0) {
    NoOpHook();
    HandleTableDestroy(&INF_CursorHandles);
    HandleTableDestroy(&INF_ConnHandles);
    HandleTableDestroy(&INF_EnvHandles);
    ErrListClear(&env->errors);
    delete env;
    g_serverHandle = 0;
  }
  return 0;
}

int32_t INF_Connect(DrvHandle hServer, const DriverConnectParams* params, DrvHandle* hConn) {
  InfEnv* env = InfEnvLookup(hServer);
  if (env == nullptr || params == nullptr) return ERR_ARGUMENT;
  if (hConn != nullptr) *hConn = 0;
  InfConn* conn = new (std::nothrow) InfConn;
  if (conn == nullptr) return ERR_MEMORY;
  conn->options = ConnectOptions;
  ConnectOptions.initialSql = nullptr;
  ConnectOptions.clientLocale = nullptr;
  ConnectOptions.sqlDbmsName = nullptr;

  const char* srvopts = params->srvopts;
  if (InfWideBuild() && srvopts != nullptr && std::strlen(srvopts) > 3 &&
      std::memcmp(srvopts, WideConnectMarker, 4) == 0)
    conn->wide = 1;
  conn->odbcVersion = 2;

  ConnectParams p;
  bool serverFromPath = false;
  try {
    p.user = params->uid != nullptr ? params->uid : "";
    p.password = params->pwd != nullptr ? params->pwd : "";
    // The caller's text is left whole: later users of the same parameters keep
    // the server after the at sign.
    std::string path = params->dbpath != nullptr ? params->dbpath : "";
    size_t at = path.find('@');
    if (at != std::string::npos) {
      p.server = path.substr(at + 1);
      path.erase(at);
      serverFromPath = true;
    }
    p.database = path.empty() ? "default" : path;
  } catch (...) {
    InfConnFree(conn);
    return ERR_MEMORY;
  }

  int32_t rc = 0;
  {
    CriticalSectionLock g(INF_Mutex());
    if (params->dbopts != nullptr && params->dbopts[0] != '\0')
      parseConnectOptions(params->dbopts, serverFromPath, &p);
    if (p.server.empty() && !serverFromPath) p.server = defaultServer();
    if (conn->wide != 0 && conn->options.clientLocale != nullptr)
      p.locale = conn->options.clientLocale;
    conn->readOnlyAtConnect = conn->readOnly = params->readonly != 0 ? 1 : 0;

    InfSession tmpl;
    tmpl.database = p.database.data();
    tmpl.server = p.server.data();
    tmpl.user = p.user.data();
    tmpl.password = p.password.data();
    tmpl.host = p.host.data();
    tmpl.protocol = p.protocol.data();
    tmpl.service = p.service.data();
    tmpl.locale = p.locale.data();
    tmpl.wide = conn->wide;
    tmpl.readOnly = conn->readOnlyAtConnect;
    InfErrorList failures;
    conn->session = SessOpen(&tmpl, &failures);
    if (conn->session == nullptr) {
      postServerErrors(env, &failures);
      rc = ERR_CONN_REJECTED;
    } else {
      g_interruptHook = INF_Interrupt;
      const bool noac = conn->options.noAutoCommit != 0;
      if (txnControl(conn, noac ? TXN_AUTOCOMMIT_OFF : TXN_AUTOCOMMIT_ON, true) != 0) {
        ErrListAddSqlca(&failures);
        postServerErrors(env, &failures);
        SessRelease(conn->session);
        rc = ERR_CONN_REJECTED;
      }
    }
  }
  if (rc != 0) {
    InfConnFree(conn);
    return rc;
  }

  conn->deferLong = 0;
  conn->env = env;
  DrvHandle h = 0;
  if (int hrc = HandleAlloc(&INF_ConnHandles, &h, conn); hrc != 0) {
    CriticalSectionLock g(INF_Mutex());
    SessRelease(conn->session);
    InfConnFree(conn);
    return hrc;
  }
  conn->handle = h;
  InfApplySessionSettings(conn);
  if (conn->options.initialSql != nullptr && conn->options.initialSql[0] != '\0')
    (void)RunInitialSql(conn->session, conn->options.initialSql, &conn->errors);
  if (!conn->session->dormant) (void)_set_dormant(conn->session);
  if (hConn != nullptr) *hConn = h;
  return 0;
}

int32_t INF_EndConnect(DrvHandle hConn) {
  InfConn* conn = InfConnLookup(hConn);
  if (conn == nullptr) return ERR_ARGUMENT;
  if (xaActive(conn)) {
    INF_LOG(LOG_DEBUG, kSrc,
            "INF_EndConnect: ERROR: Global transaction still active on connection.");
    ErrListSetCode(&conn->errors, ERR_TXN_STATE);
    return ERR_TXN_STATE;
  }
  (void)INF_TxnControl(conn, TXN_ROLLBACK);
  {
    CriticalSectionLock g(INF_Mutex());
    SessRelease(conn->session);
  }
  HandleFree(&INF_ConnHandles, hConn);
  InfConnFree(conn);
  return 0;
}

int32_t INF_Commit(DrvHandle hConn) {
  InfConn* conn = InfConnLookup(hConn);
  if (conn == nullptr) return ERR_ARGUMENT;
  if (xaActive(conn)) {
    INF_LOG(LOG_DEBUG, kSrc, "INF_Commit: Local txn control disallowed while in global txn.");
    ErrListSetCode(&conn->errors, ERR_TXN_STATE);
    return ERR_TXN_STATE;
  }
  return INF_TxnControl(conn, TXN_COMMIT);
}

int32_t INF_Rollback(DrvHandle hConn) {
  InfConn* conn = InfConnLookup(hConn);
  if (conn == nullptr) return ERR_ARGUMENT;
  if (xaActive(conn)) {
    INF_LOG(LOG_DEBUG, kSrc, "INF_Rollback: Local txn control disallowed while in global txn.");
    ErrListSetCode(&conn->errors, ERR_TXN_STATE);
    return ERR_TXN_STATE;
  }
  return INF_TxnControl(conn, TXN_ROLLBACK);
}

int32_t DbTypeToSQLtype(int32_t type, int wide) noexcept {
  const bool w = InfWideBuild() && wide != 0;
  switch (static_cast<int16_t>(type & 0xFFFF)) {
    case IXR_TYPE_CHAR: return SQL_CHAR;
    case IXR_TYPE_SMALLINT: return SQL_SMALLINT;
    case IXR_TYPE_INTEGER:
    case IXR_TYPE_SERIAL: return SQL_INTEGER;
    case IXR_TYPE_FLOAT: return SQL_DOUBLE;
    case IXR_TYPE_SMALLFLOAT: return SQL_REAL;
    case IXR_TYPE_DECIMAL:
    case IXR_TYPE_MONEY:
    case IXR_TYPE_INTERVAL: return SQL_DECIMAL;
    case IXR_TYPE_DATE: return SQL_DATE;
    case IXR_TYPE_DATETIME: return SQL_TIMESTAMP;
    case IXR_TYPE_BYTE: return SQL_LONGVARBINARY;
    case IXR_TYPE_TEXT: return w ? SQL_WLONGVARCHAR : SQL_LONGVARCHAR;
    case IXR_TYPE_VARCHAR: return SQL_VARCHAR;
    case IXR_TYPE_NCHAR: return w ? SQL_WCHAR : SQL_CHAR;
    case IXR_TYPE_NVARCHAR: return w ? SQL_WVARCHAR : SQL_VARCHAR;
    default:
      INF_LOG(LOG_ERR, kSrc, "DbTypeToSQLtype: unimplemented type encountered (%d)",
              static_cast<int>(static_cast<int16_t>(type & 0xFFFF)));
      return SQL_VARBINARY;
  }
}

int32_t InfHostTypeOf(int32_t dsType) noexcept {
  switch (dsType) {
    case DS_SMALLINT:
    case DS_USMALLINT: return IXR_HOST_SHORT;
    case DS_INTEGER:
    case DS_UINTEGER: return IXR_HOST_INT;
    case DS_REAL: return IXR_HOST_FLOAT;
    case DS_DOUBLE: return IXR_HOST_DOUBLE;
    case DS_DATE: return IXR_HOST_DATE;
    case DS_TIMESTAMP: return IXR_HOST_DATETIME;
    case DS_LONGCHAR: return IXR_HOST_FIXCHAR;
    case DS_LONGBINARY: return IXR_HOST_LOCATOR;
    case DS_STRING: return IXR_HOST_STRING;
    default: return -9999;
  }
}
