// scs.cpp -- the cursor context's bookkeeping: the defaults of every context
// and of a statement's, positions, row statuses, bookmarks and row numbers, and
// the ODBC information items asked of a back end.
// A statement's context only ever holds its current row status table.
// Threading: a context is used under its connection's call serialisation.
// Not here: an agent cursor's context (scrs/scs_cursor.cpp) and the statement
// side of scrolling (odbc/scroll.cpp).

#include "drv/scs.h"

#include <sqlext.h>

#include <cstring>

#include "drv/errtab.h"
#include "drv/rowstatus.h"

namespace {

bool int_info(uint16_t t) {
  switch (t) {
    case SQL_FETCH_DIRECTION:
    case SQL_DEFAULT_TXN_ISOLATION:
    case SQL_IDENTIFIER_CASE:
    case SQL_SCROLL_CONCURRENCY:
    case SQL_SCROLL_OPTIONS:
    case SQL_TXN_ISOLATION_OPTION:
    case SQL_LOCK_TYPES:
    case SQL_POS_OPERATIONS:
    case SQL_POSITIONED_STATEMENTS:
    case SQL_BOOKMARK_PERSISTENCE:
    case SQL_STATIC_SENSITIVITY:
    case SQL_QUOTED_IDENTIFIER_CASE:
    case SQL_MAX_COLUMNS_IN_ORDER_BY: return true;
    default: return false;
  }
}

bool text_info(uint16_t t) {
  return t == SQL_ROW_UPDATES || t == SQL_DBMS_NAME || t == SQL_IDENTIFIER_QUOTE_CHAR ||
         t == SQL_USER_NAME;
}

bool has_rowset(const SCS* scs) {
  return scs->sc_position != SCS_POS_BEFORE_START && scs->sc_position != SCS_POS_NO_ROW &&
         scs->sc_position != SCS_POS_AFTER_END;
}

}  // namespace

int32_t SCS_Init(SCS* scs, uint32_t hCursor, uint32_t hConn, DriverRecord* drv, void* owner) {
  *scs = SCS{};
  scs->sc_rowsetSize = 1;
  scs->sc_rowCount = -1;
  scs->sc_concurrency = 1;
  scs->sc_reqConcurrency = 1;
  scs->sc_retrieveData = 1;
  scs->sc_stmtAttr1050 = 1;
  scs->sc_hCursor = hCursor;
  scs->sc_hConn = hConn;
  scs->sc_driver = drv;
  scs->sc_owner = owner;
  scs->sc_prevRowsetSize = 1;
  scs->sc_rowsAffected = -1;
  scs->sc_windowState = -6;
  scs->sc_idCase = 1;
  scs->sc_quotedIdCase = 4;
  scs->sc_maxParams = 255;
  return 0;
}

int32_t SCS_InitStmt(SCS* scs, uint32_t hCursor, uint32_t hConn, DriverRecord* drv, void* owner,
                     const SCS* connDefaults) {
  SCS_Init(scs, hCursor, hConn, drv, owner);
  if (connDefaults != nullptr) {
    scs->sc_concurrency = connDefaults->sc_concurrency;
    scs->sc_cursorType = connDefaults->sc_cursorType;
    scs->sc_keysetSize = connDefaults->sc_keysetSize;
    scs->sc_retrieveData = connDefaults->sc_retrieveData;
    scs->sc_rowsetSize = connDefaults->sc_rowsetSize;
    scs->sc_prevRowsetSize = connDefaults->sc_rowsetSize;
    scs->sc_simulateCursor = connDefaults->sc_simulateCursor;
    scs->sc_useBookmarks = connDefaults->sc_useBookmarks;
  }
  return 0;
}

void SCS_ResetPosition(SCS* scs) {
  scs->sc_rowCount = -1;
  (void)SCS_SetPosition(scs, SCS_POS_BEFORE_START);
}

void SCS_FreeRowStatus(SCS* scs) { RowStatusTableFree(&scs->sc_rowStatus); }

int32_t SCS_SetPosition(SCS* scs, int32_t row) {
  if (row == SCS_POS_BEFORE_START || row == SCS_POS_AFTER_END) {
    scs->sc_position = row;
    scs->sc_rowsetStart = row;
    return 0;
  }
  if (row == SCS_POS_NO_ROW) {
    scs->sc_position = row;
    return 0;
  }
  if (row > 0 && (scs->sc_rowCount == -1 || row <= scs->sc_rowCount)) {
    scs->sc_position = row;
    return 0;
  }
  return ERR_ROW_VALUE;
}

uint16_t SCS_GetRowStatus(const RowStatusTable* table, int32_t row) {
  // A row past the table reads as an error row rather than memory past its end.
  if (table == nullptr || table->status == nullptr || row <= 0 || row > table->count)
    return SQL_ROW_ERROR;
  return table->status[row - 1];
}

void SCS_SetRowStatus(RowStatusTable* table, int32_t row, uint16_t status) {
  if (table == nullptr || table->status == nullptr || row <= 0 || row > table->count) return;
  table->status[row - 1] = status;
}

int32_t SCS_GetRowNumber(SCS* scs, uint32_t index, int32_t* out) {
  if (out == nullptr) return ERR_ARGUMENT;
  *out = 0;
  if (scs->sc_cursorType == SCS_FORWARD_ONLY || scs->sc_cursorType == SCS_DYNAMIC ||
      (scs->sc_cursorType == SCS_KEYSET && scs->sc_keysetSize > 0))
    return 0;
  if (scs->sc_rowsetSize <= 0 || index >= static_cast<uint32_t>(scs->sc_rowsetSize))
    return ERR_ARGUMENT;
  if (!has_rowset(scs)) return ERR_CURSOR_STATE;
  if (SCS_GetRowStatus(scs->sc_rowStatus, static_cast<int32_t>(index) + 1) == SQL_ROW_ERROR)
    return ERR_CURSOR_POSITION;
  *out = scs->sc_rowsetStart + static_cast<int32_t>(index);
  return 0;
}

int32_t SCS_GetBookmark(SCS* scs, uint32_t index, int32_t* out) {
  if (out == nullptr) return ERR_ARGUMENT;
  if (scs->sc_rowsetSize <= 0 || index >= static_cast<uint32_t>(scs->sc_rowsetSize))
    return ERR_ARGUMENT;
  *out = 0;
  if (!has_rowset(scs)) return ERR_CURSOR_STATE;
  if (scs->sc_cursorType == SCS_STATIC ||
      (scs->sc_cursorType == SCS_KEYSET && scs->sc_keysetSize == 0))
    return SCS_GetRowNumber(scs, index, out);
  return ERR_NOT_CAPABLE;
}

int32_t SCR_GetOdbcInfo(DriverRecord* rec, uint32_t hConn, uint16_t infoType, void* buf,
                        uint16_t bufLen, uint16_t* outLen) {
  if (int_info(infoType)) {
    int32_t v = 0;
    uint16_t n = 0;
    if (int32_t rc = rec->ops->DRV_GetInfo(hConn, DRVP_GETINFO_INT + infoType, &v, 4, &n); rc != 0)
      return rc;
    if (bufLen < 4) return ERR_ARGUMENT;
    std::memcpy(buf, &v, 4);
    if (outLen != nullptr) *outLen = 4;
    return 0;
  }
  if (text_info(infoType)) {
    char text[256] = {};
    uint16_t n = 0;
    if (int32_t rc =
            rec->ops->DRV_GetInfo(hConn, DRVP_GETINFO_TEXT + infoType, text, sizeof text, &n);
        rc != 0)
      return rc;
    const size_t len = strnlen(text, sizeof text - 1);
    if (len >= bufLen) {
      std::memcpy(buf, text, bufLen);
      if (outLen != nullptr) *outLen = static_cast<uint16_t>(len);
      return ERR_TRUNCATED;
    }
    std::memcpy(buf, text, len + 1);
    if (outLen != nullptr) *outLen = static_cast<uint16_t>(len);
    return 0;
  }
  return ERR_OPTION_TYPE;
}
