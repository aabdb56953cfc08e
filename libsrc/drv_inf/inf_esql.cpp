// inf_esql.cpp -- the ESQL/C layer: sessions, the statement wrappers and the
// descriptor areas, over the client runtime.
// Owns the session list and the key table (under INF_Mutex) and every area it
// hands out.
// Threading: the runtime keeps one current connection per thread, so a wrapper
// compares its session with the calling thread's current one, never with a flag
// of the session alone: two connections used in turn on one thread, or one
// connection used from two threads, must each run on their own session.
// Not here: transaction policy (inf_connect.cpp) or what a statement means.

#include "drv_inf/inf_esql.h"

#include <md5.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "drv_inf/inf_error.h"
#include "drv_inf/inf_log.h"
#include "platform/windows/registry.h"
#include "util/hash.h"
#include "util/utalloc.h"

namespace {

int g_forceOnline = 0;
int g_forceDormant = 0;
int g_delimIdent = 0;

InfSession* g_sessions = nullptr;  // REQUIRES: INF_Mutex
uint64_t g_opened = 0;             // REQUIRES: INF_Mutex
HashTable* g_keys = nullptr;       // REQUIRES: INF_Mutex

std::atomic<uint64_t> g_threadTokens{0};
thread_local uint64_t tl_token = 0;
thread_local uint64_t tl_epoch = 0;

uint64_t threadToken() {
  if (tl_token == 0) tl_token = ++g_threadTokens;
  return tl_token;
}

// The runtime made this session current on the calling thread; every session made
// current here before it is no longer.
void markCurrentHere(InfSession* s) {
  s->currentOn = threadToken();
  s->epoch = ++tl_epoch;
  s->dormant = 0;
}

const char* orEmpty(const char* s) { return s != nullptr ? s : ""; }

// Runs one embedded statement the way every wrapper does.
// A session that cannot be made current answers the runtime's reason (a
// connection in use on another thread, a lost link), recorded like any failure.
int switchFailed(InfErrorList* list) {
  const int code = ixr_sqlca()->sqlcode;
  if (code >= 0) return -1;
  if (list != nullptr) ErrListAddSqlca(list);
  return code;
}

template <class Stmt>
int runWrapped(InfSession* s, InfErrorList* list, bool describe, Stmt&& stmt) {
  if (!InfSessionIsCurrent(s) && _set_current(s) != 0) return switchFailed(list);
  int code = stmt();
  if ((describe ? code < 0 : code != 0) && list != nullptr) ErrListAddSqlca(list);
  if (g_forceDormant != 0 && s->xaOwned == 0) {
    // The switch resets the communication area; callers still read the
    // statement's counters and object name from it.
    const IxrCommArea saved = *ixr_sqlca();
    if (_set_dormant(s) != 0) code = -1;
    *ixr_sqlca() = saved;
  }
  return code;
}

char* dupOrNull(const char* s) { return s != nullptr ? s_strdup(s) : nullptr; }

void freeStrings(InfSession* s) {
  std::free(s->database);
  std::free(s->service);
  std::free(s->protocol);
  std::free(s->host);
  std::free(s->server);
  std::free(s->user);
  std::free(s->password);
  std::free(s->locale);
  std::free(s->name);
}

void sessionKey(const InfSession* t, uint8_t key[16]) {
  MD5_CTX ctx;
  MD5Init(&ctx);
  const char* parts[] = {t->database, t->server,   t->user, t->password,
                         t->service,  t->protocol, t->host, t->locale};
  for (const char* p : parts) {
    const char* v = orEmpty(p);
    MD5Update(&ctx, reinterpret_cast<const uint8_t*>(v), std::strlen(v));
  }
  MD5Update(&ctx, reinterpret_cast<const uint8_t*>(t->wide ? "1" : "0"), 1);
  MD5Update(&ctx, reinterpret_cast<const uint8_t*>(t->reserved ? "1" : "0"), 1);
  if (t->readOnly != 0) MD5Update(&ctx, reinterpret_cast<const uint8_t*>("r"), 1);
  MD5Final(key, &ctx);
}

}  // namespace

int _read_delimident() noexcept {
  // The client's environment first, then the Informix environment in the registry.
  if (const char* env = std::getenv("DELIMIDENT"); env != nullptr && env[0] != '\0')
    return env[0] == 'Y' || env[0] == 'y' ? 1 : 0;
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Informix\\Environment", 0, KEY_READ, &key) !=
      ERROR_SUCCESS)
    return 0;
  uint8_t buf[2] = {};
  uint32_t size = sizeof buf;
  uint32_t type = 0;
  int32_t rc = RegQueryValueExA(key, "DELIMIDENT", nullptr, &type, buf, &size);
  RegCloseKey(key);
  if (rc != ERROR_SUCCESS) return 0;
  return buf[0] == 'Y' || buf[0] == 'y' ? 1 : 0;
}

int _esql_init(int forceOnline, int forceDormant) noexcept {
  g_delimIdent = _read_delimident();
  g_forceOnline = forceOnline != 0 ? 1 : 0;
  g_forceDormant = forceDormant;
  return 0;
}

int InfForceDormant() noexcept { return g_forceDormant; }

bool InfSessionIsCurrent(const InfSession* s) noexcept {
  return s->dormant == 0 && s->currentOn == threadToken() && s->epoch == tl_epoch;
}

void _set_conn_info(const InfSession* s) noexcept {
  IxrConnInfo* ci = ixr_conninfo();
  ci->server = orEmpty(s->server);
  ci->host = orEmpty(s->host);
  ci->user = orEmpty(s->user);
  ci->password = orEmpty(s->password);
  ci->service = orEmpty(s->service);
  ci->protocol = orEmpty(s->protocol);
  ci->locale = (s->wide != 0 && s->locale != nullptr && s->locale[0] != '\0') ? s->locale : nullptr;
  ci->readonly = s->readOnly;
  // The server parses the session's statements by the client's setting.
  ci->delimident = g_delimIdent;
}

int _connect(InfSession* s, InfErrorList* list) noexcept {
  _set_conn_info(s);
  // Ids belong to the runtime session the connect replaces.
  s->fetchCursorId = 0;
  s->execStatementId = 0;
  const int code = ixr_connect(orEmpty(s->database), s->name);
  // The block keeps the session's texts only for the call.
  *ixr_conninfo() = IxrConnInfo{};
  if (code != 0) {
    if (list != nullptr) ErrListAddSqlca(list);
    return code;
  }
  const IxrCommArea* ca = ixr_sqlca();
  s->delimIdent = g_delimIdent;
  s->logging = ca->sqlwarn[1] == 'W';
  s->ansi = ca->sqlwarn[2] == 'W';
  s->online = ca->sqlwarn[3] == 'W';
  markCurrentHere(s);
  if (g_forceOnline != 0) s->online = 1;
  return 0;
}

int _set_current(InfSession* s) noexcept {
  // A session still current on another thread cannot be taken over: only that
  // thread can leave it dormant (FORCEDORMANT does so after every statement).
  if (ixr_set_connection(s->name, 0) != 0) return -1;
  markCurrentHere(s);
  return 0;
}

int _set_dormant(InfSession* s) noexcept {
  if (s->dormant != 0) return -1;
  const int code = ixr_set_connection(s->name, 1);
  s->dormant = 1;
  s->currentOn = 0;
  return code != 0 ? -1 : 0;
}

int _disconnect(InfSession* s, InfErrorList* list) noexcept {
  if (!InfSessionIsCurrent(s) && _set_current(s) != 0) return switchFailed(list);
  int code = ixr_disconnect(s->name);
  if (code == IXR_E_NOT_CURRENT && _set_current(s) == 0) code = ixr_disconnect(nullptr);
  if (code != 0 && list != nullptr) ErrListAddSqlca(list);
  if (code == 0) {
    s->dormant = 1;
    s->currentOn = 0;
  }
  return code;
}

InfSession* SessOpen(const InfSession* tmpl, InfErrorList* list) noexcept {
  if (g_keys == nullptr) {
    g_keys = hash_create(103, 16);
    if (g_keys == nullptr) return nullptr;
  }
  InfSession* s = new (std::nothrow) InfSession;
  if (s == nullptr) return nullptr;
  *s = *tmpl;
  s->next = nullptr;
  s->prev = nullptr;
  sessionKey(tmpl, s->key);
  char name[32];
  std::snprintf(name, sizeof name, "DB%08lX_%08lX", static_cast<unsigned long>(g_opened + 1),
                static_cast<unsigned long>(static_cast<unsigned>(std::rand())));
  s->database = dupOrNull(tmpl->database);
  s->service = dupOrNull(tmpl->service);
  s->protocol = dupOrNull(tmpl->protocol);
  s->host = dupOrNull(tmpl->host);
  s->server = dupOrNull(tmpl->server);
  s->user = dupOrNull(tmpl->user);
  s->password = dupOrNull(tmpl->password);
  s->locale = dupOrNull(tmpl->locale);
  s->name = s_strdup(name);
  s->dormant = 1;
  s->currentOn = 0;
  if (_connect(s, list) != 0) {
    freeStrings(s);
    delete s;
    return nullptr;
  }
  s->serial = ++g_opened;
  s->next = g_sessions;
  if (g_sessions != nullptr) g_sessions->prev = &s->next;
  s->prev = &g_sessions;
  g_sessions = s;
  (void)hash_set(g_keys, s->key, s);
  s->refCount = 1;
  return s;
}

void SessRelease(InfSession* s) noexcept {
  if (s == nullptr) return;
  if (s->refCount-- != 1) return;
  (void)_disconnect(s, nullptr);
  if (g_keys != nullptr && hash_get(g_keys, s->key) == s) (void)hash_delete(g_keys, s->key);
  if (s->prev != nullptr) *s->prev = s->next;
  if (s->next != nullptr) s->next->prev = s->prev;
  freeStrings(s);
  delete s;
}

int _begin_work(InfSession* s, InfErrorList* list) noexcept {
  return runWrapped(s, list, false, [] { return ixr_begin_work(); });
}
int _commit_work(InfSession* s, InfErrorList* list) noexcept {
  return runWrapped(s, list, false, [] { return ixr_commit_work(); });
}
int _rollback_work(InfSession* s, InfErrorList* list) noexcept {
  return runWrapped(s, list, false, [] { return ixr_rollback_work(); });
}

int _prepare(InfSession* s, const char* stmt, const char* text, InfErrorList* list) noexcept {
  return runWrapped(s, list, false, [&] { return ixr_prepare(stmt, text); });
}

int _describe(InfSession* s, const char* stmt, IxrSqlda** out, InfErrorList* list) noexcept {
  *out = nullptr;
  return runWrapped(s, list, true, [&] {
    const int32_t id = ixr_name_id(stmt, IXR_ID_STATEMENT);
    if (id <= 0) return ixr_sqlca()->sqlcode;
    IxrSqlda* area = nullptr;
    const int code = ixr_describe(id, &area);
    const IxrCommArea saved = *ixr_sqlca();
    if (code >= 0 && area != nullptr) *out = _copy_sqlda(area);
    ixr_free_sqlda(area);
    *ixr_sqlca() = saved;
    return code;
  });
}

namespace {

// Runs run(id) with the runtime's id of the statement: the one kept from the last
// execution of the same name, or the name's, kept for the next one.
template <class Run>
int byStatementId(InfSession* s, const char* stmt, Run&& run) {
  if (s->execStatementId > 0 && stmt != nullptr && std::strcmp(s->execStatementName, stmt) == 0) {
    const int code = run(s->execStatementId);
    // As for cursors: an id the runtime no longer knows sends the name to decide.
    if (code != IXR_E_NOT_PREPARED) return code;
  }
  s->execStatementId = 0;
  const int32_t id = ixr_name_id(stmt, IXR_ID_STATEMENT);
  if (id <= 0) return ixr_sqlca()->sqlcode;
  if (stmt != nullptr && std::strlen(stmt) < sizeof s->execStatementName) {
    std::strcpy(s->execStatementName, stmt);
    s->execStatementId = id;
  }
  return run(id);
}

}  // namespace

int _execute(InfSession* s, const char* stmt, const IxrSqlda* input, InfErrorList* list) noexcept {
  return runWrapped(s, list, false, [&] {
    const IxrSqlda* in = input != nullptr && input->sqld != 0 ? input : nullptr;
    return byStatementId(s, stmt, [&](int32_t id) { return ixr_execute(id, in); });
  });
}

int _execute_sets(InfSession* s, const char* stmt, int32_t sets, IxrSetInput next,
                  IxrSetDone done, void* ctx, InfErrorList* list) noexcept {
  return runWrapped(s, list, false, [&] {
    return byStatementId(s, stmt,
                         [&](int32_t id) { return ixr_execute_sets(id, sets, next, done, ctx); });
  });
}

int _free_statement(InfSession* s, const char* stmt, InfErrorList* list) noexcept {
  return runWrapped(s, list, false, [&] { return ixr_free(stmt); });
}

int _declare_cursor(InfSession* s, const char* stmt, const char* cursor,
                    InfErrorList* list) noexcept {
  return runWrapped(s, list, false, [&] {
    const int32_t sid = ixr_name_id(stmt, IXR_ID_STATEMENT);
    if (sid <= 0) return ixr_sqlca()->sqlcode;
    const int32_t cid = ixr_name_id(cursor, IXR_ID_NEW_CURSOR);
    if (cid <= 0) return ixr_sqlca()->sqlcode;
    return ixr_declare(cid, cursor, sid);
  });
}

int _open_cursor(InfSession* s, const char* cursor, const IxrSqlda* input,
                 InfErrorList* list) noexcept {
  return runWrapped(s, list, false, [&] {
    const int32_t id = ixr_name_id(cursor, IXR_ID_CURSOR);
    if (id <= 0) return ixr_sqlca()->sqlcode;
    return ixr_open(id, input != nullptr && input->sqld != 0 ? input : nullptr);
  });
}

namespace {

// The runtime id of a cursor to fetch from, remembered per session: looking the name up
// for every fetch would cost more than the fetch. 0 when the runtime knows no such cursor.
int32_t fetchCursorId(InfSession* s, const char* cursor) {
  if (s->fetchCursorId > 0 && cursor != nullptr && std::strcmp(s->fetchCursorName, cursor) == 0)
    return s->fetchCursorId;
  s->fetchCursorId = 0;
  const int32_t id = ixr_name_id(cursor, IXR_ID_CURSOR);
  if (id <= 0) return 0;
  if (cursor != nullptr && std::strlen(cursor) < sizeof s->fetchCursorName) {
    std::strcpy(s->fetchCursorName, cursor);
    s->fetchCursorId = id;
  }
  return id;
}

// Runs a fetch on the remembered id; runtime ids are never reused, so an unknown one
// means the cursor went away (freed, or the database switched) and the name decides
// afresh.
template <class Fetch>
int fetchByName(InfSession* s, const char* cursor, Fetch&& fetch) {
  const bool remembered = s->fetchCursorId > 0;
  int32_t id = fetchCursorId(s, cursor);
  if (id <= 0) return ixr_sqlca()->sqlcode;
  const int code = fetch(id);
  if (!remembered || code != IXR_E_NOT_AVAILABLE) return code;
  s->fetchCursorId = 0;
  id = fetchCursorId(s, cursor);
  if (id <= 0) return ixr_sqlca()->sqlcode;
  return fetch(id);
}

}  // namespace

int _fetch_cursor(InfSession* s, const char* cursor, IxrSqlda* output,
                  InfErrorList* list) noexcept {
  return runWrapped(s, list, false, [&] {
    IxrSqlda* out = output != nullptr && output->sqld != 0 ? output : nullptr;
    return fetchByName(s, cursor, [&](int32_t id) { return ixr_fetch(id, out); });
  });
}

int _fetch_cursor_rows(InfSession* s, const char* cursor, IxrSqlda* output, int32_t rows,
                       const int32_t* strides, int32_t* fetched, InfErrorList* list) noexcept {
  *fetched = 0;
  return runWrapped(s, list, false, [&] {
    return fetchByName(s, cursor, [&](int32_t id) {
      return ixr_fetch_rows(id, output, rows, strides, fetched);
    });
  });
}

int _close_cursor(InfSession* s, const char* cursor, InfErrorList* list) noexcept {
  return runWrapped(s, list, false, [&] {
    const int32_t id = ixr_name_id(cursor, IXR_ID_CURSOR);
    if (id <= 0) return ixr_sqlca()->sqlcode;
    return ixr_close(id);
  });
}

int _free_cursor(InfSession* s, const char* cursor, InfErrorList* list) noexcept {
  return runWrapped(s, list, false, [&] { return ixr_free(cursor); });
}

int _execute_immediate(InfSession* s, const char* text, InfErrorList* list) noexcept {
  return runWrapped(s, list, false, [&] { return ixr_execute_immediate(text); });
}

int _set_isolation(InfSession* s, int32_t level, int /*readOnly*/, InfErrorList* list) noexcept {
  const char* stmt = nullptr;
  switch (level) {
    case 1: stmt = "set isolation to dirty read"; break;
    case 2: stmt = "set isolation to committed read"; break;
    case 4:
    case 8: stmt = "set isolation to repeatable read"; break;
    default: break;
  }
  // A level without a statement records nothing: there is no runtime error to report.
  return runWrapped(s, stmt != nullptr ? list : nullptr, false, [&] {
    if (stmt == nullptr) return -1;
    const char* statements[] = {stmt, nullptr};
    return ixr_run_static(statements);
  });
}

IxrSqlda* _alloc_sqlda(int n) noexcept {
  IxrSqlda* a = static_cast<IxrSqlda*>(s_alloc(1, sizeof(IxrSqlda)));
  a->sqld = static_cast<int16_t>(n);
  a->sqlvar =
      static_cast<IxrSqlVar*>(s_alloc(static_cast<size_t>(n > 0 ? n : 1), sizeof(IxrSqlVar)));
  for (int i = 0; i < n; ++i) {
    a->sqlvar[i].sqltype = IXR_HOST_STRING;
    a->sqlvar[i].sqllen = 1;
    a->sqlvar[i].sqlitype = IXR_HOST_SHORT;
    a->sqlvar[i].sqlilen = 2;
  }
  return a;
}

IxrSqlda* _copy_sqlda(const IxrSqlda* area) noexcept {
  IxrSqlda* a = static_cast<IxrSqlda*>(s_alloc(1, sizeof(IxrSqlda)));
  *a = *area;
  const int n = area->sqld > 0 ? area->sqld : 0;
  a->sqlvar =
      static_cast<IxrSqlVar*>(s_alloc(static_cast<size_t>(n > 0 ? n : 1), sizeof(IxrSqlVar)));
  for (int i = 0; i < n; ++i) {
    a->sqlvar[i] = area->sqlvar[i];
    a->sqlvar[i].sqlname = dupOrNull(area->sqlvar[i].sqlname);
  }
  return a;
}

void _free_sqlda(IxrSqlda* area) noexcept {
  if (area == nullptr) return;
  for (int i = 0; i < area->sqld; ++i) {
    if (area->sqlvar[i].sqltype == IXR_HOST_LOCATOR) std::free(area->sqlvar[i].sqldata);
    std::free(area->sqlvar[i].sqlname);
  }
  std::free(area->sqlvar);
  std::free(area);
}

int InfIsBlobType(int32_t type) noexcept {
  const int16_t t = static_cast<int16_t>(type & 0xFFFF);
  return t == IXR_TYPE_BYTE || t == IXR_TYPE_TEXT ? 1 : 0;
}

int InfDeferLongColumn(const ColumnInfo*) noexcept { return 0; }
