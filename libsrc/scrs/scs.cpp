// scs.cpp -- the cursor context: its three initialisers, the release of an
// agent cursor's context, positions, row statuses, bookmarks and row numbers,
// and the ODBC information items the layer asks of the agent.
// A statement's context only ever holds its current row status table; an agent
// cursor's context owns its texts, kept parameters, type lists and long values.
// Threading: a context is used under its connection's call serialisation.
// Not here: scrolling (scs_scroll.cpp) and the operation table (scr_ops.cpp).

#include "scrs/scs.h"

#include <sqlext.h>

#include <cstdlib>
#include <cstring>

#include "odbc/colinfo.h"
#include "odbc/dataset.h"
#include "odbc/errtab.h"
#include "odbc/rowstatus.h"
#include "scrs/scs_p.h"

namespace {

bool int_info(uint16_t t) {
  switch (t) {
    case 8:
    case 26:
    case 28:
    case 43:
    case 44:
    case 72:
    case 78:
    case 79:
    case 80:
    case 82:
    case 83:
    case 93:
    case 99: return true;
    default: return false;
  }
}

bool text_info(uint16_t t) { return t == 11 || t == 17 || t == 29 || t == 47; }

bool has_rowset(const SCS* scs) {
  return scs->sc_position != SCS_POS_BEFORE_START && scs->sc_position != SCS_POS_NO_ROW &&
         scs->sc_position != SCS_POS_AFTER_END;
}

// A 32-bit answer of the agent, written only when the agent answers.
bool agent_int(DriverRecord* drv, uint32_t hConn, DriverPropId id, int32_t* out) {
  int32_t v = 0;
  uint16_t len = 0;
  if (drv->ops->DRV_GetInfo(hConn, id, &v, 4, &len) != 0) return false;
  *out = v;
  return true;
}

bool odbc_int(DriverRecord* drv, uint32_t hConn, uint16_t item, int32_t* out) {
  int32_t v = 0;
  uint16_t len = 0;
  if (SCR_GetOdbcInfo(drv, hConn, item, &v, 4, &len) != 0) return false;
  *out = v;
  return true;
}

char* odbc_text(DriverRecord* drv, uint32_t hConn, uint16_t item) {
  char text[509] = {};
  uint16_t len = 0;
  if (SCR_GetOdbcInfo(drv, hConn, item, text, sizeof text, &len) != 0) return nullptr;
  return strdup(text);
}

void free_dataset(Dataset** ds) {
  if (*ds == nullptr) return;
  DatasetFree(*ds);
  std::free(*ds);
  *ds = nullptr;
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
    // A new agent cursor runs forward-only, and so does every cursor until the
    // scrollable types are emulated: a scrollable default is lowered here as a
    // request on the statement is lowered by the layer.
    scs->sc_cursorType = SCS_FORWARD_ONLY;
    scs->sc_keysetSize = connDefaults->sc_keysetSize;
    scs->sc_retrieveData = connDefaults->sc_retrieveData;
    scs->sc_rowsetSize = connDefaults->sc_rowsetSize;
    scs->sc_prevRowsetSize = connDefaults->sc_rowsetSize;
    scs->sc_simulateCursor = connDefaults->sc_simulateCursor;
    scs->sc_useBookmarks = connDefaults->sc_useBookmarks;
  }
  return 0;
}

int32_t SCS_InitCursor(SCS* scs, uint32_t hCursor, uint32_t hConn, DriverRecord* drv, void* owner) {
  // The agent set the defer-long choice when it made the cursor.
  const uint32_t deferLong = scs->sc_deferLong;
  SCS_Init(scs, hCursor, hConn, drv, owner);
  scs->sc_deferLong = deferLong;
  auto* longs = static_cast<Dataset*>(std::calloc(1, sizeof(Dataset)));
  if (longs == nullptr || DatasetInit(longs, 0) != 0) {
    std::free(longs);
    return ERR_MEMORY;
  }
  scs->sc_longValues = longs;

  int32_t v = 0;
  if (agent_int(drv, hConn, DRVP_PARAM_OP, &v) && v != 0) scs->sc_info04 = 1;
  if (agent_int(drv, hConn, DRVP_NEEDBIND, &v) && v != 0) scs->sc_resendParamTypes = 1;
  if (agent_int(drv, hConn, DRVP_LOCK_ROWS, &v) && v != 0) scs->sc_lockByUpdate = 1;
  if (agent_int(drv, hConn, DRVP_ROW_VERSIONS, &v) && v != 0) scs->sc_hasRowVersions = 1;
  if (agent_int(drv, hConn, DRVP_MAX_PARAMS, &v)) scs->sc_maxParams = v;
  if (agent_int(drv, hConn, DRVP_WIDE, &v)) scs->sc_wideAgent = static_cast<uint32_t>(v);

  char quote[2] = {};
  uint16_t len = 0;
  if (SCR_GetOdbcInfo(drv, hConn, SQL_IDENTIFIER_QUOTE_CHAR, quote, sizeof quote, &len) == 0)
    scs->sc_quoteChar = quote[0] == ' ' ? '\0' : quote[0];
  if (odbc_int(drv, hConn, SQL_IDENTIFIER_CASE, &v)) scs->sc_idCase = static_cast<uint32_t>(v);
  if (odbc_int(drv, hConn, SQL_QUOTED_IDENTIFIER_CASE, &v))
    scs->sc_quotedIdCase = static_cast<uint32_t>(v);
  scs->sc_userName = odbc_text(drv, hConn, SQL_USER_NAME);
  scs->sc_dbmsName = odbc_text(drv, hConn, SQL_DBMS_NAME);
  if (odbc_int(drv, hConn, SQL_MAX_COLUMNS_IN_ORDER_BY, &v))
    scs->sc_maxOrderByCols = static_cast<int16_t>(v);
  return 0;
}

void SCS_FreeCursor(SCS* scs) {
  free_dataset(&scs->sc_params);
  free_dataset(&scs->sc_optValues);
  std::free(scs->sc_sqlText);
  scs->sc_sqlText = nullptr;
  DriverRecord* drv = scs->sc_driver;
  for (uint32_t* aux : {&scs->sc_auxCursor, &scs->sc_auxCursor2}) {
    if (*aux != 0 && drv != nullptr) (void)drv->ops->DRV_EndCursor(*aux);
    *aux = 0;
  }
  ColumnInfoFree(scs->sc_resultCols, scs->sc_resultColCount);
  scs->sc_resultCols = nullptr;
  scs->sc_resultColCount = 0;
  scs_p_SetParamTypes(&scs->sc_genParamTypes, &scs->sc_genParamTypeCount, 0, nullptr);
  scs_p_SetParamTypes(&scs->sc_paramTypes, &scs->sc_paramTypeCount, 0, nullptr);
  std::free(scs->sc_userName);
  scs->sc_userName = nullptr;
  std::free(scs->sc_dbmsName);
  scs->sc_dbmsName = nullptr;
  free_dataset(&scs->sc_windowBound);
  free_dataset(&scs->sc_longValues);
  RowStatusTableFree(&scs->sc_rowStatus);
}

int32_t scs_p_SetParamTypes(ParamShadow** list, uint16_t* count, uint16_t n,
                            const ParamShadow* entries) {
  ParamShadow* copy = nullptr;
  if (n > 0 && entries != nullptr) {
    copy = static_cast<ParamShadow*>(std::malloc(n * sizeof(ParamShadow)));
    if (copy == nullptr) return ERR_MEMORY;
    std::memcpy(copy, entries, n * sizeof(ParamShadow));
  }
  std::free(*list);
  *list = copy;
  *count = copy != nullptr ? n : 0;
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

int32_t SCS_GetBaseColAttrs(SCS* scs, uint16_t, ColumnInfo*, uint16_t, uint16_t, uint16_t,
                            ColAttr*) {
  // Base names exist only for a select list the cursor layer rewrote.
  (void)scs;
  return 0;
}

int32_t SCS_SetPosResume(SCS* scs, uint16_t** statuses, int32_t* rows) {
  if (statuses != nullptr) *statuses = nullptr;
  if (rows != nullptr) *rows = 0;
  if (scs->sc_setPosOp != SQL_ADD) {
    if (int32_t rc = SCS_SetPosition(scs, static_cast<int32_t>(scs->sc_setPosRow)); rc != 0)
      return rc;
  }
  // Positioned operations exist only on the emulated cursor types.
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
