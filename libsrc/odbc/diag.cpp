// diag.cpp -- message lists, the diagnostic formatter and the diagnostic workers.
// A record's messages come first, in order of arrival, each prefixed
// "[Kestrane][ODBC]" with the SQLSTATE taken out of its "[SQLSTATE:" marker;
// only a record without messages reports its errCode row from the message table.
// The workers write text in the form their entry point asked for ('A' 8-bit,
// 'W' UTF-16) straight from the whole formatted text, so the full length they
// report is always the real one.
// Threading: lists are changed and read under the locks diag.h names.

#include "odbc/diag.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "drv/errtab.h"
#include "odbc/conn.h"
#include "odbc/desc.h"
#include "odbc/envr.h"
#include "odbc/stmt.h"
#include "odbc/trace.h"
#include "util/conv.h"
#include "util/str.h"

// ---------------------------------------------------------------------------
// Lists

void DiagListAdd(DiagList* list, const char* text, int32_t nativeError) {
  if (text == nullptr) return;
  auto* m = static_cast<DiagMsg*>(calloc(1, sizeof(DiagMsg)));
  if (m == nullptr) return;
  m->text = strdup(text);
  if (m->text == nullptr) {
    free(m);
    return;
  }
  m->nativeError = nativeError;
  if (list->tail != nullptr)
    list->tail->next = m;
  else
    list->head = m;
  list->tail = m;
}

char* DiagListPop(DiagList* list, int32_t* nativeError) {
  DiagMsg* m = list->head;
  if (m == nullptr) return nullptr;
  list->head = m->next;
  if (list->head == nullptr) list->tail = nullptr;
  if (nativeError != nullptr) *nativeError = m->nativeError;
  char* text = m->text;
  free(m);
  return text;
}

void DiagListFree(DiagList* list) {
  DiagMsg* m = list->head;
  while (m != nullptr) {
    DiagMsg* next = m->next;
    free(m->text);
    free(m);
    m = next;
  }
  list->head = list->tail = nullptr;
}

const char* DiagListNth(const DiagList* list, int16_t n, int32_t* nativeError) {
  DiagMsg* m = list->head;
  for (int i = 1; m != nullptr && i < n; ++i) m = m->next;
  if (m == nullptr) return nullptr;
  if (nativeError != nullptr) *nativeError = m->nativeError;
  return m->text;
}

int32_t DiagListCount(const DiagList* list) {
  int32_t n = 0;
  for (DiagMsg* m = list->head; m != nullptr; m = m->next) ++n;
  return n < 1 ? 1 : n;
}

int32_t DiagFindFailover(const DiagList* list) {
  const char* completed = DriverErrorTable[ERR_FAILOVER_COMPLETED].message;
  const char* aborted = DriverErrorTable[ERR_FAILOVER_ABORTED].message;
  for (DiagMsg* m = list->head; m != nullptr; m = m->next) {
    if (strstr(m->text, completed) != nullptr) return ERR_FAILOVER_COMPLETED;
    if (strstr(m->text, aborted) != nullptr) return ERR_FAILOVER_ABORTED;
  }
  return 0;
}

void MapSqlState3(char* state) {
  struct Row {
    const char* from;
    const char* to;
  };
  // ODBC 3 keeps 24000 (no cursor) and 22003 (overflow) as they are; a wrong number
  // of parameters is 07002 there.
  static constexpr Row kRows[] = {
      {"S1002", "07009"}, {"S1093", "07009"}, {"01S03", "01001"},
      {"01S04", "01001"}, {"07001", "07002"}, {"22008", "22007"},
      {"22005", "22018"}, {"37000", "42000"}, {"70100", "HY018"},
  };
  for (const Row& r : kRows) {
    if (memcmp(state, r.from, 5) == 0) {
      memcpy(state, r.to, 5);
      return;
    }
  }
  if (state[0] == 'S' && state[1] == '1') {
    state[0] = 'H';
    state[1] = 'Y';
  } else if (state[0] == 'S' && state[1] == '0' && state[2] == '0') {
    state[0] = '4';
    state[1] = '2';
    state[2] = 'S';
  }
}

void EnvrAddDiag(Envr* env, const char* text, int32_t nativeError) {
  DiagListAdd(&env->diag, text, nativeError);
}
char* EnvrPopDiag(Envr* env, int32_t* nativeError) { return DiagListPop(&env->diag, nativeError); }
void ConnAddDiag(Conn* conn, const char* text, int32_t nativeError) {
  DiagListAdd(&conn->diag, text, nativeError);
}
char* ConnPopDiag(Conn* conn, int32_t* nativeError) {
  return DiagListPop(&conn->diag, nativeError);
}
void StmtAddDiag(Stmt* stmt, const char* text, int32_t nativeError) {
  DiagListAdd(&stmt->diag, text, nativeError);
}
char* StmtPopDiag(Stmt* stmt, int32_t* nativeError) {
  return DiagListPop(&stmt->diag, nativeError);
}
void DescAddDiag(Desc* desc, const char* text, int32_t nativeError) {
  DiagListAdd(&desc->diag, text, nativeError);
}
char* DescPopDiag(Desc* desc, int32_t* nativeError) {
  return DiagListPop(&desc->diag, nativeError);
}

// ---------------------------------------------------------------------------
// Formatting

namespace {

// The parts every diagnostic record is made of.
struct DiagRecordView {
  DiagList* list;
  int32_t* errCode;
  int16_t* diagRecNo;
  int32_t odbcVersion;
  Conn* conn;  // the connection concerned, or null for an environment
};

int32_t env_version(const Envr* e) { return e != nullptr ? e->odbcVersion : 3; }

DiagRecordView view_of(Envr* env, Conn* conn, Stmt* stmt, Desc* desc) {
  if (stmt != nullptr)
    return {&stmt->diag, &stmt->errCode, &stmt->diagRecNo, env_version(stmt->st_dbc->envr),
            stmt->st_dbc};
  if (conn != nullptr)
    return {&conn->diag, &conn->errCode, &conn->diagRecNo, env_version(conn->envr), conn};
  if (env != nullptr)
    return {&env->diag, &env->errCode, &env->diagRecNo, env->odbcVersion, nullptr};
  Conn* dc = DescConn(desc);
  return {&desc->diag, &desc->errCode, &desc->diagRecNo, dc != nullptr ? env_version(dc->envr) : 3,
          dc};
}

// Splits "message[SQLSTATE:xxxxx]..." into the message and its state. A
// marker cut short by the end of the text leaves the state S1000.
void split_message(const char* raw, std::string* message, char* state) {
  while (*raw == ' ') ++raw;
  memcpy(state, "S1000", 6);
  const char* marker = stristr(const_cast<char*>(raw), "[SQLSTATE:");
  if (marker == nullptr) {
    *message = raw;
    return;
  }
  message->assign(raw, static_cast<size_t>(marker - raw));
  const char* s = marker + 10;
  size_t n = 0;
  while (n < 5 && s[n] != '\0' && s[n] != ']') ++n;
  if (n == 5) {
    memcpy(state, s, 5);
    state[5] = '\0';
  }
}

enum class Found { Message, Code, None };

// The text, state and native error of one diagnostic record; in consume mode
// the first message is popped and errCode cleared.
Found diag_record(const DiagRecordView& v, int mode, std::string* text, char* state,
                  int32_t* native) {
  std::string raw;
  bool haveMessage = false;
  *native = 0;
  if (mode == DIAG_MODE_CONSUME) {
    char* popped = DiagListPop(v.list, native);
    if (popped != nullptr) {
      raw = popped;
      free(popped);
      haveMessage = true;
    }
  } else {
    const char* nth = DiagListNth(v.list, *v.diagRecNo, native);
    if (nth != nullptr) {
      raw = nth;
      haveMessage = true;
    }
  }
  const int32_t code = *v.errCode;
  if (mode == DIAG_MODE_CONSUME) *v.errCode = 0;

  if (haveMessage) {
    std::string message;
    split_message(raw.c_str(), &message, state);
    *text = std::string(DIAG_PREFIX) + message;
    if (v.odbcVersion >= 3) MapSqlState3(state);
    if (TraceLevel.load() != 0) TraceODBC("Returning %s", message.c_str());
    return Found::Message;
  }
  if (code != 0) {
    const DriverErrorRow* row = DriverErrorLookup(code);
    char undefined[128];
    const char* message;
    if (row != nullptr) {
      message = row->message;
      memcpy(state, row->sqlState, 6);
    } else {
      snprintf(undefined, sizeof undefined, DRIVER_ERROR_UNDEFINED, static_cast<int>(code));
      message = undefined;
      memcpy(state, "S1000", 6);
    }
    *text = "[Kestrane][ODBC][Driver]";
    *text += message;
    if (v.odbcVersion >= 3) MapSqlState3(state);
    if (TraceLevel.load() != 0) TraceODBC("returning %s", text->c_str());
    return Found::Code;
  }
  text->clear();
  memcpy(state, "00000", 6);
  if (TraceLevel.load() != 0) TraceODBC("returning NO_DATA_FOUND");
  return Found::None;
}

// Number of diagnostic records: the messages, or the errCode row alone.
int32_t DiagCount(const DiagRecordView& v) {
  int32_t n = 0;
  for (DiagMsg* m = v.list->head; m != nullptr; m = m->next) ++n;
  if (n == 0 && *v.errCode != 0) n = 1;
  return n;
}

template <typename T>
void store(void* p, T value) {
  if (p != nullptr) memcpy(p, &value, sizeof value);
}

int16_t clamp16(int64_t v) { return v > 32767 ? 32767 : static_cast<int16_t>(v); }

// Copies text out in the entry point's form. bufLen counts bytes for 'A' and
// characters for 'W'; *fullLen gets the whole length in the same unit. Answers
// true when the text was cut (or no buffer was given for a non-empty text).
bool text_out(const std::string& text, void* buf, int64_t bufLen, bool wide, int64_t* fullLen) {
  if (wide) {
    int64_t units = utf8_char_count(text.c_str(), CONV_NTS);
    *fullLen = units;
    if (buf != nullptr && bufLen > 0) {
      int16_t ignored = 0;
      (void)utf8_to_wcs_buf_len(text.c_str(), static_cast<char16_t*>(buf), bufLen, &ignored);
    }
    return units + 1 > bufLen;
  }
  *fullLen = static_cast<int64_t>(text.size());
  if (buf != nullptr && bufLen > 0) {
    size_t n =
        text.size() < static_cast<size_t>(bufLen) ? text.size() : static_cast<size_t>(bufLen - 1);
    memcpy(buf, text.data(), n);
    static_cast<char*>(buf)[n] = '\0';
  }
  return static_cast<int64_t>(text.size()) + 1 > bufLen;
}

void state_out(const char* state, void* out, bool wide) {
  if (out == nullptr) return;
  if (wide) {
    auto* w = static_cast<char16_t*>(out);
    for (int i = 0; i < 6; ++i) w[i] = static_cast<unsigned char>(state[i]);
  } else {
    memcpy(out, state, 6);
  }
}

// Shared body of SQLError and SQLGetDiagRec in both forms.
// args: [state, native, text, bufLen, textLen, marker].
SQLRETURN diag_rec_out(const DiagRecordView& v, int mode, const CallSlot* args, bool wide) {
  void* stateOut = SlotAs<void*>(args[0]);
  auto* nativeOut = SlotAs<SQLINTEGER*>(args[1]);
  void* textOut = SlotAs<void*>(args[2]);
  const int64_t bufLen = SlotI64(args[3]);
  auto* lenOut = SlotAs<SQLSMALLINT*>(args[4]);
  if (bufLen < 0) return SQL_ERROR;

  std::string text;
  char state[6];
  int32_t native = 0;
  Found f = diag_record(v, mode, &text, state, &native);
  if (lenOut != nullptr) *lenOut = 0;
  state_out(state, stateOut, wide);
  if (nativeOut != nullptr) *nativeOut = native;
  if (f == Found::None) {
    if (textOut != nullptr && bufLen > 0) {
      if (wide)
        static_cast<char16_t*>(textOut)[0] = 0;
      else
        static_cast<char*>(textOut)[0] = '\0';
    }
    return SQL_NO_DATA;
  }
  int64_t full = 0;
  bool cut = text_out(text, textOut, bufLen, wide, &full);
  if (lenOut != nullptr) *lenOut = clamp16(full);
  if (cut) {
    if (TraceLevel.load() != 0) TraceODBC("returning SUCCESS_WITH_INFO");
    return SQL_SUCCESS_WITH_INFO;
  }
  return SQL_SUCCESS;
}

// args: [recNumber, state, native, text, bufLen, textLen, marker].
SQLRETURN get_diag_rec(const DiagRecordView& v, const CallSlot* args) {
  const int16_t recNo = SlotI16(args[0]);
  const bool wide = SlotIsWide(args[6]);
  if (recNo > DiagListCount(v.list)) {
    state_out("00000", SlotAs<void*>(args[1]), wide);
    if (auto* n = SlotAs<SQLINTEGER*>(args[2]); n != nullptr) *n = 0;
    void* t = SlotAs<void*>(args[3]);
    if (t != nullptr && SlotI64(args[4]) > 0) {
      if (wide)
        static_cast<char16_t*>(t)[0] = 0;
      else
        static_cast<char*>(t)[0] = '\0';
    }
    if (auto* l = SlotAs<SQLSMALLINT*>(args[5]); l != nullptr) *l = 0;
    return SQL_NO_DATA;
  }
  if (SlotI64(args[4]) < 0) return SQL_ERROR;
  *v.diagRecNo = recNo;
  return diag_rec_out(v, DIAG_MODE_READ, args + 1, wide);
}

SQLRETURN error_rec(const DiagRecordView& v, const CallSlot* args) {
  return diag_rec_out(v, DIAG_MODE_CONSUME, args, SlotIsWide(args[5]));
}

// String output of SQLGetDiagField: bufLen in bytes in both forms; the length
// reported is in bytes as well.
SQLRETURN DiagStringOut(const std::string& text, void* buf, int64_t bufLen, SQLSMALLINT* lenOut,
                       bool wide) {
  if (bufLen < 0) return SQL_ERROR;
  int64_t full = 0;
  bool cut = text_out(text, buf, wide ? bufLen / 2 : bufLen, wide, &full);
  if (wide) full *= 2;
  if (lenOut != nullptr) *lenOut = clamp16(full);
  return (cut && buf != nullptr) ? SQL_SUCCESS_WITH_INFO : SQL_SUCCESS;
}

// kind: 1 environment, 2 connection, 3 statement, 4 descriptor.
// args: [recNumber, identifier, value, bufLen, lenPtr, marker].
SQLRETURN GetDiagFieldCore(int kind, const DiagRecordView& v, Stmt* stmt, const CallSlot* args) {
  const int16_t recNo = SlotI16(args[0]);
  const int16_t id = SlotI16(args[1]);
  void* value = SlotAs<void*>(args[2]);
  const int64_t bufLen = SlotI64(args[3]);
  auto* lenOut = SlotAs<SQLSMALLINT*>(args[4]);
  const bool wide = SlotIsWide(args[5]);
  const int32_t count = DiagCount(v);

  if (recNo == 0) {
    switch (id) {
      case SQL_DIAG_RETURNCODE: return SQL_SUCCESS;
      case SQL_DIAG_NUMBER: store<SQLINTEGER>(value, count); return SQL_SUCCESS;
      case SQL_DIAG_ROW_COUNT:
      case SQL_DIAG_CURSOR_ROW_COUNT: {
        if (kind != 3) return SQL_ERROR;
        if (value == nullptr) return SQL_SUCCESS;
        // Reading a diagnostic must not replace the one being read: a failed
        // count leaves errCode alone.
        int64_t rows = 0;
        if (StmtRowCount(stmt, &rows) != 0) return SQL_ERROR;
        store<SQLLEN>(value, rows);
        return SQL_SUCCESS;
      }
      case SQL_DIAG_DYNAMIC_FUNCTION:
        if (kind != 3) return SQL_ERROR;
        return DiagStringOut(stmt->st_isSelect != 0 ? "SELECT CURSOR" : "", value, bufLen, lenOut,
                            wide);
      case SQL_DIAG_DYNAMIC_FUNCTION_CODE:
        if (kind != 3) return SQL_ERROR;
        store<SQLINTEGER>(value, stmt->st_isSelect != 0 ? SQL_DIAG_SELECT_CURSOR : 0);
        return SQL_SUCCESS;
      default: return SQL_ERROR;
    }
  }
  if (recNo < 0) return SQL_ERROR;
  if (recNo > count) return SQL_NO_DATA;

  *v.diagRecNo = recNo;
  std::string text;
  char state[6];
  int32_t native = 0;
  const bool found = diag_record(v, DIAG_MODE_READ, &text, state, &native) != Found::None;
  switch (id) {
    case SQL_DIAG_SQLSTATE:
      return DiagStringOut(found ? state : "00000", value, bufLen, lenOut, wide);
    case SQL_DIAG_NATIVE: store<SQLINTEGER>(value, native); return SQL_SUCCESS;
    case SQL_DIAG_MESSAGE_TEXT:
      if (!found) return SQL_NO_DATA;
      return DiagStringOut(text, value, bufLen, lenOut, wide);
    case SQL_DIAG_CLASS_ORIGIN:
    case SQL_DIAG_SUBCLASS_ORIGIN:
      if (!found) return SQL_NO_DATA;
      return DiagStringOut(memcmp(state, "IM", 2) == 0 ? "ODBC 3.0" : "ISO 9075", value, bufLen,
                          lenOut, wide);
    case SQL_DIAG_CONNECTION_NAME:
    case SQL_DIAG_SERVER_NAME: {
      const char* dsn = (v.conn != nullptr && v.conn->cn_dsn != nullptr) ? v.conn->cn_dsn : "";
      return DiagStringOut(dsn, value, bufLen, lenOut, wide);
    }
    case SQL_DIAG_ROW_NUMBER:
      if (kind != 3) return SQL_ERROR;
      store<SQLLEN>(value, SQL_ROW_NUMBER_UNKNOWN);
      return SQL_SUCCESS;
    case SQL_DIAG_COLUMN_NUMBER:
      if (kind != 3) return SQL_ERROR;
      store<SQLINTEGER>(value, SQL_COLUMN_NUMBER_UNKNOWN);
      return SQL_SUCCESS;
    default: return SQL_SUCCESS;
  }
}

}  // namespace

SQLRETURN GetDiagRecord(Envr* env, Conn* conn, Stmt* stmt, Desc* desc, char* state,
                        int32_t* nativeError, char* text, int64_t bufLen, int64_t* textLen,
                        int mode) {
  DiagRecordView v = view_of(env, conn, stmt, desc);
  std::string t;
  char st[6];
  int32_t native = 0;
  Found f = diag_record(v, mode, &t, st, &native);
  if (state != nullptr) memcpy(state, st, 6);
  if (nativeError != nullptr) *nativeError = native;
  if (textLen != nullptr) *textLen = 0;
  if (f == Found::None) {
    if (text != nullptr && bufLen > 0) text[0] = '\0';
    return SQL_NO_DATA;
  }
  int64_t full = 0;
  bool cut = text_out(t, text, bufLen, false, &full);
  if (textLen != nullptr) *textLen = full;
  return cut ? SQL_SUCCESS_WITH_INFO : SQL_SUCCESS;
}

SQLRETURN ErrorEnvImpl(Envr* env, const CallSlot* args) {
  return error_rec(view_of(env, nullptr, nullptr, nullptr), args);
}
SQLRETURN ErrorDbcImpl(Conn* conn, const CallSlot* args) {
  return error_rec(view_of(nullptr, conn, nullptr, nullptr), args);
}
SQLRETURN ErrorStmtImpl(Stmt* stmt, const CallSlot* args) {
  return error_rec(view_of(nullptr, nullptr, stmt, nullptr), args);
}

SQLRETURN GetDiagRecEnvImpl(Envr* env, const CallSlot* args) {
  return get_diag_rec(view_of(env, nullptr, nullptr, nullptr), args);
}
SQLRETURN GetDiagRecDbcImpl(Conn* conn, const CallSlot* args) {
  return get_diag_rec(view_of(nullptr, conn, nullptr, nullptr), args);
}
SQLRETURN GetDiagRecStmtImpl(Stmt* stmt, const CallSlot* args) {
  return get_diag_rec(view_of(nullptr, nullptr, stmt, nullptr), args);
}
SQLRETURN GetDiagRecDescImpl(Desc* desc, const CallSlot* args) {
  return get_diag_rec(view_of(nullptr, nullptr, nullptr, desc), args);
}

SQLRETURN GetDiagFieldEnvImpl(Envr* env, const CallSlot* args) {
  return GetDiagFieldCore(1, view_of(env, nullptr, nullptr, nullptr), nullptr, args);
}
SQLRETURN GetDiagFieldDbcImpl(Conn* conn, const CallSlot* args) {
  return GetDiagFieldCore(2, view_of(nullptr, conn, nullptr, nullptr), nullptr, args);
}
SQLRETURN GetDiagFieldStmtImpl(Stmt* stmt, const CallSlot* args) {
  return GetDiagFieldCore(3, view_of(nullptr, nullptr, stmt, nullptr), stmt, args);
}
SQLRETURN GetDiagFieldDescImpl(Desc* desc, const CallSlot* args) {
  return GetDiagFieldCore(4, view_of(nullptr, nullptr, nullptr, desc), nullptr, args);
}
