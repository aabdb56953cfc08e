// prepare.cpp -- preparing and directly executing statement text, NativeSql,
// MoreResults and the small statement workers.
// A preparation replaces everything the statement knew of its previous text:
// the open cursor, the result and parameter descriptions, the direction
// counts. The text itself is copied for the call and never kept.
// Threading: under the connection's call lock.

#include "odbc/prepare.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "drv/colinfo.h"
#include "drv/errtab.h"
#include "odbc/conn.h"
#include "odbc/getinfo.h"
#include "odbc/stmt.h"
#include "odbc/stmtexec.h"
#include "odbc/stmtrec.h"
#include "odbc/strout.h"
#include "odbc/trace.h"
#include "util/conv.h"
#include "util/str.h"

namespace {

// sc_flags: the back end put another cursor type or concurrency in force at
// the last preparation, so the requested ones are offered again.
constexpr uint16_t kSettingsChanged = 0x800;

// Room for the longest text the back end's translation can hand over.
constexpr uint32_t kNativeSqlRoom = 0x10000;
// The largest translation handed out; a longer one is cut (01004).
constexpr uint32_t kNativeSqlMax = 0x40000000;

SQLRETURN fail(Stmt* stmt, int32_t code) {
  stmt->errCode = code;
  return SQL_ERROR;
}

SQLRETURN delegated(Stmt* stmt, int32_t code) { return code == 0 ? SQL_SUCCESS : fail(stmt, code); }

// A copy of the application's statement text, or null with errCode set.
// A NUL inside the length, followed by more text, is refused: the statement run
// would be shorter than the one given.
char* text_copy(Stmt* stmt, const char* text, int32_t length) {
  int64_t settled = length;
  if (text == nullptr || (length < 0 && length != SQL_NTS) ||
      !str_settle_length(text, &settled)) {
    stmt->errCode = ERR_BUFFER_LENGTH;
    return nullptr;
  }
  char* copy = nullptr;
  (void)strdup_len(&copy, text, settled);
  if (copy == nullptr) stmt->errCode = ERR_MEMORY;
  return copy;
}

void count_directions(Stmt* stmt) {
  stmt->st_numInParams = stmt->st_numOutParams = stmt->st_numInOutParams = 0;
  stmt->st_paramDirUnknown = 0;
  for (uint16_t i = 0; i < stmt->st_numParams && stmt->st_paramInfo != nullptr; ++i) {
    const char* name = stmt->st_paramInfo[i].name;
    if (name[0] == '*' && name[1] == 'U') {
      // The bindings tell the rest at execution.
      stmt->st_paramDirUnknown = 1;
      break;
    }
    if (name[0] == '*' && name[1] == 'O')
      ++stmt->st_numOutParams;
    else if (name[0] == '*' && name[1] == 'B')
      ++stmt->st_numInOutParams;
    else
      ++stmt->st_numInParams;
  }
}

bool ident_char(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
         static_cast<unsigned char>(c) >= 0x80;
}

// The word at p, compared without regard to ASCII case, standing alone.
bool word_at(const char* text, const char* p, const char* word) {
  const size_t n = strlen(word);
  return str_nicmp(p, word, n) == 0 && !ident_char(p[n]) && (p == text || !ident_char(p[-1]));
}

const char* skip_blanks(const char* p) {
  while (*p == ' ' || (*p >= '\t' && *p <= '\r')) ++p;
  return p;
}

// The cursor name of "CURRENT OF name" outside quotes, malloc'd; null for a statement
// without one.
char* positioned_cursor(const char* text) {
  char quote = 0;
  for (const char* p = text; *p != '\0'; ++p) {
    if (quote != 0) {
      if (*p == quote) quote = 0;
      continue;
    }
    if (*p == '\'' || *p == '"') {
      quote = *p;
      continue;
    }
    if ((*p != 'c' && *p != 'C') || !word_at(text, p, "current")) continue;
    const char* of = skip_blanks(p + 7);
    if (of == p + 7 || !word_at(text, of, "of")) continue;
    const char* name = skip_blanks(of + 2);
    const char* end = name;
    while (ident_char(*end)) ++end;
    if (end == name || name == of + 2) continue;
    char* copy = nullptr;
    (void)strdup_len(&copy, name, static_cast<int32_t>(end - name));
    return copy;
  }
  return nullptr;
}

}  // namespace

SQLRETURN StmtPrepare(Stmt* stmt, const char* text) {
  StmtClose(stmt);
  StmtFreeResultInfo(stmt);
  // The previous preparation is gone whatever happens now.
  stmt->st_flags &= static_cast<uint16_t>(~STMT_F_PREPARED);
  free(stmt->st_currentOf);
  stmt->st_currentOf = nullptr;
  const DriverOps* ops = stmt->st_drv->ops;
  SCS& scs = stmt->st_cursor;

  if ((scs.sc_flags & kSettingsChanged) != 0) {
    if (ops->DRV_SetOption(stmt->st_hCursor, DRVP_STMT_OPTION + SQL_CURSOR_TYPE,
                           &scs.sc_reqCursorType) == 0)
      scs.sc_cursorType = scs.sc_reqCursorType;
    if (ops->DRV_SetOption(stmt->st_hCursor, DRVP_STMT_OPTION + SQL_CONCURRENCY,
                           &scs.sc_reqConcurrency) == 0)
      scs.sc_concurrency = scs.sc_reqConcurrency;
    scs.sc_flags &= static_cast<uint16_t>(~kSettingsChanged);
  }

  if (int32_t code = ops->DRV_Prepare(stmt->st_hCursor, text); code != 0) {
    (void)StmtPostDriverErrors(stmt);
    return fail(stmt, code);
  }
  scs.sc_reqCursorType = scs.sc_cursorType;
  scs.sc_reqConcurrency = scs.sc_concurrency;

  bool changedSettings = false;
  const auto read_back = [&](uint16_t option, int32_t* inForce) {
    int32_t v = 0;
    uint16_t len = 0;
    if (ops->DRV_GetInfo(stmt->st_hCursor, DRVP_STMT_OPTION + option, &v, 4, &len) == 0 &&
        v != *inForce) {
      *inForce = v;
      scs.sc_flags |= kSettingsChanged;
      changedSettings = true;
    }
  };
  if (scs.sc_cursorType != SQL_CURSOR_FORWARD_ONLY) read_back(SQL_CURSOR_TYPE, &scs.sc_cursorType);
  if (scs.sc_concurrency != SQL_CONCUR_READ_ONLY) read_back(SQL_CONCURRENCY, &scs.sc_concurrency);
  if (changedSettings) stmt->errCode = ERR_OPTION_CHANGED;

  if (int32_t code =
          ops->DRV_DescribeParams(stmt->st_hCursor, &stmt->st_numParams, &stmt->st_paramInfo);
      code != 0) {
    free(stmt->st_paramInfo);
    stmt->st_paramInfo = nullptr;
    stmt->st_numParams = 0;
    (void)StmtPostDriverErrors(stmt);
    (void)ops->DRV_CloseCursor(stmt->st_hCursor);
    return fail(stmt, code);
  }
  count_directions(stmt);

  stmt->st_daeState = 0;
  stmt->st_daeScanCol = 0;
  stmt->st_daeScanRow = 0;
  if (stmt->st_dbc->cn_needbind != 0) stmt->st_flags &= static_cast<uint16_t>(~STMT_F_TYPES_SENT);
  stmt->st_flags |= STMT_F_PREPARED;
  stmt->st_flags &= static_cast<uint16_t>(~STMT_F_RESULT);
  stmt->st_blockRow = 0;
  stmt->state = STMT_STATE_PREPARED;
  stmt->st_isSelect = str_nicmp(text, "SELECT", 5) == 0 ? 1 : 0;
  stmt->st_rowNumber = 0;
  if (stmt->st_isSelect == 0) stmt->st_currentOf = positioned_cursor(text);
  return changedSettings ? SQL_SUCCESS_WITH_INFO : SQL_SUCCESS;
}

SQLRETURN PrepareImpl(Stmt* stmt, const CallSlot* args) {
  char* copy = text_copy(stmt, SlotAs<const char*>(args[0]), SlotI32(args[1]));
  if (copy == nullptr) return SQL_ERROR;
  if (TraceLevel.load() != 0) TraceODBC("  [%s]", copy);
  SQLRETURN rc = StmtPrepare(stmt, copy);
  free(copy);
  return rc;
}

SQLRETURN ExecDirectImpl(Stmt* stmt, const CallSlot* args) {
  char* copy = text_copy(stmt, SlotAs<const char*>(args[0]), SlotI32(args[1]));
  if (copy == nullptr) return SQL_ERROR;
  if (TraceLevel.load() != 0) TraceODBC("  [%s]", copy);
  const SQLRETURN prepared = StmtPrepare(stmt, copy);
  free(copy);
  if (prepared == SQL_ERROR) return SQL_ERROR;
  SQLRETURN rc = SQL_SUCCESS;
  if (stmt->st_dbc->cn_hasV2DAE != 0) {
    rc = ExecuteParamArray(stmt);
  } else {
    rc = ExecuteDAECheck(stmt);
    if (rc == SQL_SUCCESS) rc = ExecuteParams(stmt);
  }
  // The application still learns that its cursor settings were changed.
  if (rc == SQL_SUCCESS && prepared == SQL_SUCCESS_WITH_INFO) {
    stmt->errCode = ERR_OPTION_CHANGED;
    rc = SQL_SUCCESS_WITH_INFO;
  }
  return rc;
}

SQLRETURN NativeSqlImpl(Conn* conn, const CallSlot* args) {
  const auto* text = SlotAs<const char*>(args[0]);
  const int32_t length = SlotI32(args[1]);
  void* out = SlotAs<void*>(args[2]);
  const int32_t outMax = SlotI32(args[3]);
  auto* outLen = SlotAs<int32_t*>(args[4]);
  const bool wide = SlotIsWide(args[5]);
  const auto conn_fail = [conn](int32_t code) {
    conn->errCode = code;
    return SQL_ERROR;
  };
  if (text == nullptr) return conn_fail(ERR_ARGUMENT);
  if ((length < 0 && length != SQL_NTS) || outMax < 0) return conn_fail(ERR_BUFFER_LENGTH);
  int64_t settled = length;
  if (!str_settle_length(text, &settled)) return conn_fail(ERR_BUFFER_LENGTH);
  if (conn->state != CONN_STATE_CONNECTED) return conn_fail(ERR_CONN_NOT_OPEN);
  char* copy = nullptr;
  (void)strdup_len(&copy, text, settled);
  if (copy == nullptr) return conn_fail(ERR_MEMORY);
  // The translation goes to a buffer of the driver's own, so that neither the
  // application's buffer length nor the translated length is cut to 16 bits;
  // the buffer grows until the whole translation fits, so that the application
  // gets all of it whenever its own buffer holds it.
  char* work = nullptr;
  int32_t code = 0;
  for (uint32_t room = kNativeSqlRoom;; room *= 2) {
    free(work);
    work = static_cast<char*>(malloc(room));
    if (work == nullptr) {
      free(copy);
      return conn_fail(ERR_MEMORY);
    }
    work[0] = '\0';
    int16_t workLen = 0;
    code = conn->driver.ops->DRV_NativeSql(conn->cn_hConn, copy, work, room, &workLen);
    work[room - 1] = '\0';
    if (code != ERR_STRING_TRUNC_WARNING || room > kNativeSqlMax / 2) break;
  }
  free(copy);
  if (code != 0 && code != ERR_STRING_TRUNC_WARNING) {
    free(work);
    (void)ConnTakeAgentMessages(conn, nullptr);
    return conn_fail(code);
  }
  // The wide form counts its buffer and the text's length in characters.
  int64_t full = 0;
  const int cut =
      StrOutText(work, out, wide ? 2 * int64_t{outMax} : outMax, wide ? 'W' : 'A', &full);
  free(work);
  if (wide) full /= 2;
  if (outLen != nullptr) *outLen = static_cast<int32_t>(std::min<int64_t>(full, INT32_MAX));
  if (cut == 0 && code == 0) return SQL_SUCCESS;
  conn->errCode = ERR_STRING_TRUNC_WARNING;
  return SQL_SUCCESS_WITH_INFO;
}

SQLRETURN MoreResultsImpl(Stmt* stmt, const CallSlot*) {
  if (stmt->state != STMT_STATE_PREPARED) return SQL_NO_DATA;
  if (stmt->st_dbc->cn_hasMoreRes == 0) {
    stmt->errCode = 0;
    return SQL_NO_DATA;
  }
  StmtFreeResult(stmt);
  StmtFreeColumnInfo(stmt);
  (void)SCS_SetPosition(&stmt->st_cursor, 0);
  stmt->st_rowNumber = 0;
  const DriverOps* ops = stmt->st_drv->ops;
  stmt->errCode = ops->DRV_MoreResults(stmt->st_hCursor);
  if (stmt->errCode == ERR_OUTPUT_PARAMS) {
    if (stmt->st_numOutParams != 0 || stmt->st_numInOutParams != 0) {
      SQLRETURN rc = FetchOutputParams(stmt);
      if (rc != SQL_SUCCESS) return rc;
    }
    stmt->errCode = ops->DRV_MoreResults(stmt->st_hCursor);
  }
  if (stmt->errCode == ERR_NO_MORE_RESULTS) {
    stmt->errCode = 0;
    return SQL_NO_DATA;
  }
  if (stmt->errCode != 0) {
    (void)StmtPostDriverErrors(stmt);
    return SQL_ERROR;
  }
  // Each further result of a SELECT run over a parameter array is the next set's.
  if (stmt->st_paramsProcessedPtr != nullptr && stmt->st_isSelect != 0 &&
      *stmt->st_paramsProcessedPtr < stmt->st_paramsetSize)
    ++*stmt->st_paramsProcessedPtr;
  // A result without columns (the count of an UPDATE) is a result too.
  if (StmtDescribeCols(stmt) == nullptr && stmt->errCode != 0) return SQL_ERROR;
  return SQL_SUCCESS;
}

SQLRETURN NumParamsImpl(Stmt* stmt, const CallSlot* args) {
  return delegated(stmt, StmtNumParams(stmt, SlotAs<int16_t*>(args[0])));
}

SQLRETURN NumResultColsImpl(Stmt* stmt, const CallSlot* args) {
  return delegated(stmt, StmtNumResultCols(stmt, SlotAs<int16_t*>(args[0])));
}

SQLRETURN ParamOptionsImpl(Stmt* stmt, const CallSlot* args) {
  return delegated(stmt, StmtParamOptions(stmt, args[0], SlotAs<uint64_t*>(args[1])));
}

SQLRETURN RowCountImpl(Stmt* stmt, const CallSlot* args) {
  return delegated(stmt, StmtRowCount(stmt, SlotAs<int64_t*>(args[0])));
}

SQLRETURN GetCursorNameImpl(Stmt* stmt, const CallSlot* args) {
  void* buf = SlotAs<void*>(args[0]);
  const int16_t bufMax = SlotI16(args[1]);
  auto* len = SlotAs<int16_t*>(args[2]);
  const bool wide = SlotIsWide(args[3]);
  if (bufMax < 0) return fail(stmt, ERR_BUFFER_LENGTH);
  const DriverOps* ops = stmt->st_drv->ops;
  char name[256];
  int16_t full = 0;
  int32_t code = ops->DRV_GetCursorName(stmt->st_hCursor, name, sizeof name, &full);
  if (code != 0 && code != ERR_TRUNCATED) {
    (void)StmtPostDriverErrors(stmt);
    return fail(stmt, code);
  }
  // The wide form counts its buffer and the name's length in characters.
  int64_t outLen = 0;
  const int cut =
      StrOutText(name, buf, wide ? 2 * int64_t{bufMax} : bufMax, wide ? 'W' : 'A', &outLen);
  if (len != nullptr) *len = static_cast<int16_t>(wide ? outLen / 2 : outLen);
  if (cut == 0 && code == 0) return SQL_SUCCESS;
  stmt->errCode = ERR_TRUNCATED;
  return SQL_SUCCESS_WITH_INFO;
}

namespace {

bool starts_with_ci(const char* s, const char* prefix) {
  const size_t n = strlen(prefix);
  return strlen(s) >= n && str_nicmp(s, prefix, n) == 0;
}

// ODBC's rules for an application's cursor name: no longer than the driver
// reports, not in the driver's own "SQL_CUR" space, and unique on the
// connection (names compare without regard to case, as identifiers do).
// REQUIRES: the connection's call lock held (the statement list is walked).
int32_t check_cursor_name(Stmt* stmt, const char* name) {
  Conn* conn = stmt->st_dbc;
  uint16_t max = 0;
  if (ConnInfoShort(conn, SQL_MAX_CURSOR_NAME_LEN, &max) == 0 && max > 0 &&
      utf8_char_count(name, CONV_NTS) > max)
    return ERR_CURSOR_NAME;
  if (starts_with_ci(name, "SQLCUR") || starts_with_ci(name, "SQL_CUR")) return ERR_CURSOR_NAME;
  const DriverOps* ops = stmt->st_drv->ops;
  for (Stmt* other = conn->stmts; other != nullptr; other = other->next) {
    if (other == stmt) continue;
    char taken[256];
    int16_t len = 0;
    if (ops->DRV_GetCursorName(other->st_hCursor, taken, sizeof taken, &len) != 0) continue;
    if (str_icmp(taken, name) == 0) return ERR_DUP_CURSOR_NAME;
  }
  return 0;
}

}  // namespace

SQLRETURN SetCursorNameImpl(Stmt* stmt, const CallSlot* args) {
  const auto* name = SlotAs<const char*>(args[0]);
  const int16_t length = SlotI16(args[1]);
  if (name == nullptr) return fail(stmt, ERR_ARGUMENT);
  int64_t settled = length;
  if ((length < 0 && length != SQL_NTS) || !str_settle_length(name, &settled))
    return fail(stmt, ERR_BUFFER_LENGTH);
  char* copy = nullptr;
  (void)strdup_len(&copy, name, settled);
  if (copy != nullptr && TraceLevel.load() != 0) TraceODBC("SetCursorName [%s]\n", copy);
  if (copy == nullptr) return fail(stmt, ERR_MEMORY);
  const int32_t checked = check_cursor_name(stmt, copy);
  if (checked != 0) {
    free(copy);
    return fail(stmt, checked);
  }
  int32_t code = stmt->st_drv->ops->DRV_SetCursorName(stmt->st_hCursor, copy);
  free(copy);
  if (code == 0) return SQL_SUCCESS;
  (void)StmtPostDriverErrors(stmt);
  return fail(stmt, code);
}
