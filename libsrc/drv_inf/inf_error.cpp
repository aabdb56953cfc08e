// inf_error.cpp -- error lists of the agent's records, the Informix message texts
// and the hand-over of the entries to the generic layer (DRV_GetErrors).
// Owns the InfError entries of every list.
// Threading: a connection's and a cursor's lists are used under the generic
// layer's call serialisation; the server's list under its record's lock.

#include "drv_inf/inf_error.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

#include "drv/errtab.h"
#include "drv_inf/inf_log.h"
#include "drv_inf/inf_ops.h"
#include "platform/informix/ixr_api.h"

namespace {
constexpr const char* kSrc = "drv_inf/inf_error";

void copyText(char* dst, size_t size, const char* src) {
  if (dst == nullptr || size == 0) return;
  size_t n = std::strlen(src);
  if (n >= size) n = size - 1;
  std::memcpy(dst, src, n);
  dst[n] = '\0';
}

void startFailure(InfErrorList* list) {
  if (list->keep == 0) ErrListClear(list);
}
}  // namespace

void ErrListAppend(InfErrorList* list, InfError* entry) noexcept {
  if (list == nullptr || entry == nullptr) return;
  InfError** tail = &list->head;
  while (*tail != nullptr) tail = &(*tail)->next;
  entry->next = nullptr;
  *tail = entry;
}

void ErrListMove(InfErrorList* from, InfErrorList* to) noexcept {
  if (from == nullptr || to == nullptr || from == to) return;
  InfError** tail = &to->head;
  while (*tail != nullptr) tail = &(*tail)->next;
  *tail = from->head;
  from->head = nullptr;
}

void ErrListClear(InfErrorList* list) noexcept {
  if (list == nullptr) return;
  InfError* e = list->head;
  while (e != nullptr) {
    InfError* next = e->next;
    delete e;
    e = next;
  }
  list->head = nullptr;
}

void ErrListSetCode(InfErrorList* list, int32_t drvCode) noexcept {
  if (list == nullptr) return;
  startFailure(list);
  ErrListAppend(list, DrvErrorNew(drvCode));
}

void ErrListSetText(InfErrorList* list, const char* text) noexcept {
  if (list == nullptr || text == nullptr) return;
  startFailure(list);
  InfError* e = new (std::nothrow) InfError;
  if (e == nullptr) return;
  copyText(e->text, sizeof e->text, text);
  e->sqlstate = "S1000";
  ErrListAppend(list, e);
}

void ErrListAddSqlca(InfErrorList* list) noexcept {
  if (list == nullptr) return;
  const IxrCommArea* ca = ixr_sqlca();
  const int32_t code = ca->sqlcode;
  const int32_t isam = ca->sqlerrd[1];
  startFailure(list);
  InfError* first = InfErrorNew(code);
  // A statement code that says only what failed ("the row could not be
  // inserted") takes its class from the ISAM code that says why (a lock, a
  // deadlock, a lock wait that timed out), so the application learns to retry.
  if (first != nullptr && isam != 0 && InfCodeToDrvCode(code, ERR_GENERAL) == ERR_GENERAL)
    first->sqlstate = InfCodeToSqlState(static_cast<int16_t>(isam & 0xFFFF));
  ErrListAppend(list, first);
  if (isam != 0) ErrListAppend(list, InfErrorNew(isam));
}

void ErrListAddInformix(InfErrorList* list, int32_t code) noexcept {
  if (list == nullptr) return;
  startFailure(list);
  ErrListAppend(list, InfErrorNew(code));
}

InfError* InfErrorNew(int32_t code) noexcept {
  InfError* e = new (std::nothrow) InfError;
  if (e == nullptr) return nullptr;
  _error_text(code, e->text, sizeof e->text);
  e->native = code;
  // Only the low 16 bits of a code select its SQLSTATE.
  e->sqlstate = InfCodeToSqlState(static_cast<int16_t>(code & 0xFFFF));
  return e;
}

void ErrListAddInformixNear(InfErrorList* list, int32_t code, const char* object) noexcept {
  if (list == nullptr) return;
  startFailure(list);
  InfError* e = new (std::nothrow) InfError;
  if (e == nullptr) return;
  (void)error_text_of(code, object != nullptr ? object : "", e->text, sizeof e->text);
  e->native = code;
  e->sqlstate = InfCodeToSqlState(static_cast<int16_t>(code & 0xFFFF));
  ErrListAppend(list, e);
}

void ErrListAddRequestSyntax(InfErrorList* list, const char* sql) noexcept {
  // The statement's first line, at most 60 bytes of whole characters, names where.
  constexpr size_t kNear = 60;
  char near[kNear + 1] = {};
  size_t n = 0;
  const char* p = sql != nullptr ? sql : "";
  while (*p == ' ' || *p == '\t' || *p == '\r' || *p == '\n') ++p;
  while (n < kNear && p[n] != '\0' && p[n] != '\r' && p[n] != '\n') ++n;
  if (n == kNear)
    while (n > 0 && (static_cast<unsigned char>(p[n]) & 0xC0) == 0x80) --n;
  std::memcpy(near, p, n);
  near[n] = '\0';
  ErrListAddInformixNear(list, IXR_E_SYNTAX, near);
}

InfError* DrvErrorNew(int32_t drvCode) noexcept {
  InfError* e = new (std::nothrow) InfError;
  if (e == nullptr) return nullptr;
  if (const DriverErrorRow* row = DriverErrorLookup(drvCode)) {
    copyText(e->text, sizeof e->text, row->message);
    e->sqlstate = row->sqlState;
  } else {
    std::snprintf(e->text, sizeof e->text, DRIVER_ERROR_UNDEFINED, static_cast<int>(drvCode));
    e->sqlstate = "S1000";
  }
  e->native = 0;
  return e;
}

int32_t InfCodeToDrvCode(int32_t code, int32_t dflt) noexcept {
  switch (code) {
    case 0: return 0;
    case -908:
    case -25560:
    case -25588: return ERR_CONNECT;
    case -25580: return ERR_COMM_LINK;
    // A date or datetime field out of range (a 30th of February, a 13th month, hour 25)
    // or text that is no datetime: the application's value, not the server, is at fault.
    case -1204:
    case -1205:
    case -1206:
    case -1262:
    case -1263:
    case -1264:
    case -1267: return ERR_DATE_OVERFLOW;
    // An interval too large for its qualifier.
    case -1265: return ERR_INTERVAL_OVERFLOW;
    case -217: return ERR_COLUMN_NOT_FOUND;
    case -206: return ERR_TABLE_NOT_FOUND;
    case -201: return ERR_SYNTAX;
    // Keys, references, NOT NULL and check constraints.
    case -100:
    case -239:
    case -268:
    case -391:
    case -530:
    case -691:
    case -692:
    case -703: return ERR_INTEGRITY;
    case -1213:
    case -1218: return ERR_CAST_CHAR;
    case -1214:
    case -1215:
    case -1226: return ERR_NUMERIC_RANGE;
    case -1202: return ERR_DIVISION_BY_ZERO;
    // A lock held by another session or a deadlock ended the statement, whose
    // changes are undone: running it again may succeed.
    case -107:
    case -113:
    case -143: return ERR_SERIALIZATION;
    // The lock wait the session asked for ran out.
    case -154: return ERR_TIMEOUT;
    // The server does not know the user, or not with that password, or does not
    // trust the client: another login may succeed.
    case -951:
    case -952:
    case -956: return ERR_AUTHORIZATION;
    // The request was interrupted (SQLCancel).
    case -213: return ERR_CANCELLED;
    default: return dflt;
  }
}

const char* InfCodeToSqlState(int32_t code) noexcept {
  return DriverErrorState(InfCodeToDrvCode(code, ERR_GENERAL));
}

int _error_text(int32_t code, char* buf, size_t size) noexcept {
  return error_text_of(code, ixr_sqlca()->sqlerrm, buf, size);
}

int error_text_of(int32_t code, const char* object, char* buf, size_t size) noexcept {
  char fmt[300] = {};
  int32_t len = 0;
  const int status = ixr_error_message(code, fmt, sizeof fmt, &len);
  std::string text;
  try {
    if (status >= -1230 && status <= -1227) {
      text = object;
    } else {
      // The message has at most one text argument; it is filled in by hand so that
      // a '%' elsewhere in the message stays as it is.
      std::string_view f(fmt);
      size_t at = f.find("%s");
      if (at == std::string_view::npos) {
        text = f;
      } else {
        text.assign(f.substr(0, at));
        text += object;
        text.append(f.substr(at + 2));
      }
      size_t dot = text.rfind('.');
      if (dot != std::string::npos) text.erase(dot + 1);
    }
    // The runtime names the session; the application needs to know what to do.
    if (code == -1801)
      text +=
          " The connection is current on another thread; connect with FORCEDORMANT=1 to "
          "use a connection from more than one thread.";
    text += " (" + std::to_string(static_cast<long>(code)) + ")";
  } catch (...) {
    text.clear();
  }
  INF_LOG(LOG_INFO, kSrc, "** %s", text.c_str());
  copyText(buf, size, text.c_str());
  return 0;
}

int32_t INF_GetErrors(DrvHandle h, DriverMessageList* out) {
  InfErrorList* list = nullptr;
  InfEnv* env = nullptr;
  if (InfCursor* cur = InfCursorLookup(h)) {
    list = &cur->errors;
  } else if (InfConn* conn = InfConnLookup(h)) {
    list = &conn->errors;
  } else if ((env = InfEnvLookup(h)) != nullptr) {
    list = &env->errors;
  } else {
    return ERR_ARGUMENT;
  }
  std::optional<CriticalSectionLock> guard;
  if (env != nullptr) guard.emplace(&env->lock);
  if (out == nullptr) return ERR_ARGUMENT;
  out->nativeCode = 0;
  out->count = 0;
  out->texts = nullptr;
  if (list->head == nullptr) return 0;
  int32_t count = 0;
  for (InfError* e = list->head; e != nullptr; e = e->next) ++count;
  char** texts = static_cast<char**>(std::calloc(static_cast<size_t>(count), sizeof(char*)));
  if (texts == nullptr) return ERR_MEMORY;
  int32_t i = 0;
  for (InfError* e = list->head; e != nullptr; e = e->next, ++i) {
    if (e->text[0] == '\0') continue;
    int n = std::snprintf(nullptr, 0, "[Informix Server]%s[SQLSTATE:%s]", e->text, e->sqlstate);
    char* t = static_cast<char*>(std::malloc(static_cast<size_t>(n) + 1));
    if (t == nullptr) {
      for (int32_t k = 0; k < i; ++k) std::free(texts[k]);
      std::free(texts);
      return ERR_MEMORY;
    }
    std::snprintf(t, static_cast<size_t>(n) + 1, "[Informix Server]%s[SQLSTATE:%s]", e->text,
                  e->sqlstate);
    texts[i] = t;
  }
  out->nativeCode = list->head->native;
  out->count = count;
  out->texts = texts;
  ErrListClear(list);
  return 0;
}
