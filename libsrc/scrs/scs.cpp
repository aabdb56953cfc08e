// scs.cpp -- the cursor layer's table and the statement context's basic rules.
// The cursor layer's copy of the operation table is made once per process; no
// slot is replaced until the emulation exists, so every call reaches the agent
// unchanged and only forward-only cursors are offered.
// Threading: the copy is made under std::call_once; a context is used under its
// connection's call serialisation.

#include "scrs/scs.h"

#include <cstring>
#include <mutex>

#include "odbc/errtab.h"

namespace {
DriverOps SCR_Ops{};
DriverRecord SCR_BaseDriver{};
std::once_flag scr_once;

bool int_info(uint16_t t) {
  switch (t) {
    case 8: case 26: case 28: case 43: case 44: case 72: case 78: case 79: case 80:
    case 82: case 83: case 93: case 99:
      return true;
    default:
      return false;
  }
}

bool text_info(uint16_t t) { return t == 11 || t == 17 || t == 29 || t == 47; }

bool has_rowset(const SCS* scs) {
  return scs->sc_position != SCS_POS_BEFORE_START && scs->sc_position != SCS_POS_NO_ROW &&
         scs->sc_position != SCS_POS_AFTER_END;
}
}  // namespace

int32_t SCR_Interpose(DriverRecord* rec) {
  const DriverRecord base = *rec;
  std::call_once(scr_once, [&base] {
    SCR_Ops = *base.ops;
    SCR_BaseDriver = base;
  });
  rec->ops = &SCR_Ops;
  return 0;
}

int32_t SCR_GetOdbcInfo(DriverRecord* rec, uint32_t hConn, uint16_t infoType, void* buf,
                        uint16_t bufLen, uint16_t* outLen) {
  if (int_info(infoType)) {
    int32_t v = 0;
    uint16_t n = 0;
    int32_t rc = rec->ops->DRV_GetInfo(hConn, DRVP_GETINFO_INT + infoType, &v, 4, &n);
    if (rc != 0) return rc;
    if (bufLen < 4) return ERR_ARGUMENT;
    std::memcpy(buf, &v, 4);
    if (outLen != nullptr) *outLen = 4;
    return 0;
  }
  if (text_info(infoType)) {
    char text[256] = {};
    uint16_t n = 0;
    int32_t rc = rec->ops->DRV_GetInfo(hConn, DRVP_GETINFO_TEXT + infoType, text, sizeof text, &n);
    if (rc != 0) return rc;
    size_t len = strnlen(text, sizeof text - 1);
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

void SCS_FreeRowStatus(SCS* scs) {
  // Rowset tables are made only by the cursor emulation's scrolled fetch, which
  // hands them to their owner; a context that never scrolled holds none.
  scs->sc_rowStatus = nullptr;
}

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

int32_t SCS_GetRowNumber(SCS* scs, uint32_t index, int32_t* out) {
  if (scs->sc_cursorType == 0 || scs->sc_cursorType == 2 ||
      (scs->sc_cursorType == 1 && scs->sc_keysetSize > 0)) {
    if (out != nullptr) *out = 0;
    return 0;
  }
  if (out == nullptr || index >= static_cast<uint32_t>(scs->sc_rowsetSize)) return ERR_ARGUMENT;
  if (!has_rowset(scs)) return ERR_CURSOR_STATE;
  *out = scs->sc_rowsetStart + static_cast<int32_t>(index);
  return 0;
}

int32_t SCS_GetBookmark(SCS* scs, uint32_t index, int32_t* out) {
  if (out == nullptr || index >= static_cast<uint32_t>(scs->sc_rowsetSize)) return ERR_ARGUMENT;
  if (!has_rowset(scs)) return ERR_CURSOR_STATE;
  if (scs->sc_cursorType == 3 || (scs->sc_cursorType == 1 && scs->sc_keysetSize == 0))
    return SCS_GetRowNumber(scs, index, out);
  *out = 0;
  return ERR_NOT_CAPABLE;
}

int32_t SCS_GetBaseColAttrs(SCS* scs, uint16_t, ColumnInfo*, uint16_t, uint16_t, uint16_t, ColAttr*) {
  // Base names exist only for a select list the cursor layer rewrote.
  (void)scs;
  return 0;
}

int32_t SCS_SetPosResume(SCS* scs, uint16_t** statuses, int32_t* rows) {
  (void)scs;
  if (statuses != nullptr) *statuses = nullptr;
  if (rows != nullptr) *rows = 0;
  return ERR_NOT_CAPABLE;
}
