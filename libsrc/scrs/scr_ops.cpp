// scr_ops.cpp -- the cursor layer's operation table and the life cycle of an
// agent cursor through it: allocation, prepare, parameters, execute, fetch,
// close and release, the rowset fetch of a forward-only cursor, and the
// layer's answers to information requests.
// A forward-only cursor is served by the agent directly; the layer only keeps
// its context's bookkeeping. Until the emulation of the scrollable types
// exists, a request for one is lowered to forward-only (ERR_OPTION_CHANGED) and
// the information items that describe scrolling say so.
// The table is filled once per process; every replaced slot finds the agent
// cursor's context by handle first (the context lives in the agent's cursor
// record) and calls the agent only through SCR_BaseDriver.
// Threading: the copy is made under std::call_once; a cursor is used under its
// connection's call serialisation.

#include <sqlext.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "scrs/scr_ops.h"

#include "drv/copystr.h"
#include "drv/dataset.h"
#include "drv/errtab.h"
#include "drv/layercalls.h"
#include "drv/rowstatus.h"
#include "drv/scs.h"
#include "scrs/scs_p.h"
#include "util/log.h"

namespace {

constexpr const char* kSrc = "scrs/scr_ops";
// DRV_Fetch moves at most this many rows per call.
constexpr int32_t kMaxFetchRows = UINT16_MAX;

DriverOps SCR_Ops{};
DriverRecord SCR_BaseDriver{};
std::once_flag scr_once;

const DriverOps& base() { return *SCR_BaseDriver.ops; }

// What the layer says of scrolling while every cursor runs forward-only; the
// agent would describe the types the emulation is to offer.
bool forward_only_answer(DriverPropId id, int32_t* value) {
  if (DrvpClass(id) != DRVP_CLASS_CONN || DrvpGroup(id) != DRVP_GROUP_GETINFO) return false;
  switch (DrvpItem(id)) {
    case SQL_FETCH_DIRECTION: *value = SQL_FD_FETCH_NEXT; return true;
    case SQL_SCROLL_OPTIONS: *value = SQL_SO_FORWARD_ONLY; return true;
    case SQL_BOOKMARK_PERSISTENCE:
    case SQL_DYNAMIC_CURSOR_ATTRIBUTES1:
    case SQL_DYNAMIC_CURSOR_ATTRIBUTES2:
    case SQL_KEYSET_CURSOR_ATTRIBUTES1:
    case SQL_KEYSET_CURSOR_ATTRIBUTES2:
    case SQL_STATIC_CURSOR_ATTRIBUTES1:
    case SQL_STATIC_CURSOR_ATTRIBUTES2: *value = 0; return true;
    default: return false;
  }
}

int32_t agent_int(DrvHandle h, DriverPropId id, int32_t* v) {
  uint16_t len = 0;
  *v = 0;
  return base().DRV_GetInfo(h, id, v, 4, &len);
}

int32_t capability_string(DrvHandle hConn, char* buf, uint16_t bufLen, uint16_t* outLen) {
  const int32_t three = 3;
  (void)base().DRV_SetOption(hConn, DRVP_ODBC_VERSION, &three);
  int d[13] = {};
  int32_t caps = 0;
  auto item = [hConn](DriverPropId id) {
    int32_t v = 0;
    return agent_int(hConn, id, &v) == 0 && v != 0 ? 1 : 0;
  };
  if (agent_int(hConn, DRVP_CAPABILITIES, &caps) == 0) {
    const auto bit = [caps](uint32_t b) { return (static_cast<uint32_t>(caps) & b) != 0 ? 1 : 0; };
    d[1] = bit(DRV_CAPBIT_SCROLL_CURSORS);
    d[2] = bit(DRV_CAPBIT_EXECUTE2);
    d[3] = bit(DRV_CAPBIT_PARAM_OP);
    d[4] = bit(DRV_CAPBIT_DYNMIX_CURSORS);
    d[5] = bit(DRV_CAPBIT_SPOUT_DEFER);
    d[10] = bit(DRV_CAPBIT_COL_ATTRS);
    d[11] = bit(DRV_CAPBIT_DTC);
    d[12] = bit(DRV_CAPBIT_FAILOVER);
  } else {
    d[1] = item(DRVP_SCROLL_CURSORS);
    d[2] = item(DRVP_EXECUTE2);
    d[3] = item(DRVP_PARAM_OP);
    d[4] = item(DRVP_DYNMIX_CURSORS);
    d[5] = item(DRVP_SPOUT_DEFER);
  }
  d[6] = 1;
  int32_t commit = 0;
  if (agent_int(hConn, DRVP_GETINFO_INT + SQL_CURSOR_COMMIT_BEHAVIOR, &commit) == 0) d[7] = commit;
  d[8] = item(DRVP_CAPS_DIGIT8);
  d[9] = item(DRVP_CAPS_DIGIT9);
  char text[64];
  std::snprintf(text, sizeof text, "%03d.%03d:%d%d%d%d%d%d%d%d%d%d%d%d", 1, 5, d[1], d[2], d[3],
                d[4], d[5], d[6], d[7], d[8], d[9], d[10], d[11], d[12]);
  (void)CopyStrOut(text, static_cast<char*>(buf), bufLen, outLen);
  return 0;
}

int32_t SCS_GetInfo(DrvHandle h, DriverPropId id, void* buf, uint16_t bufLen, uint16_t* outLen) {
  if (id == DRVP_CAPS_STRING) {
    if (!INF_ConnExists(h)) return ERR_ARGUMENT;
    return capability_string(h, static_cast<char*>(buf), bufLen, outLen);
  }
  int32_t v = 0;
  if (forward_only_answer(id, &v)) {
    if (!INF_ConnExists(h)) return ERR_ARGUMENT;
    if (buf == nullptr || bufLen < 4) return ERR_ARGUMENT;
    std::memcpy(buf, &v, 4);
    if (outLen != nullptr) *outLen = 4;
    return 0;
  }
  return base().DRV_GetInfo(h, id, buf, bufLen, outLen);
}

int32_t SCS_SetOption(DrvHandle h, DriverPropId id, const void* value) {
  if (id != DRVP_STMT_OPTION + SQL_CURSOR_TYPE || value == nullptr)
    return base().DRV_SetOption(h, id, value);
  InfCursorView cur{};
  if (!INF_CursorView(h, &cur)) return ERR_ARGUMENT;
  const int32_t asked = *static_cast<const int32_t*>(value);
  const int32_t forwardOnly = SCS_FORWARD_ONLY;
  const int32_t rc = base().DRV_SetOption(h, id, &forwardOnly);
  if (rc != 0) return rc;
  return asked == SCS_FORWARD_ONLY ? 0 : ERR_OPTION_CHANGED;
}

int32_t SCS_AllocCursor(DrvHandle hConn, DrvHandle* hCursor) {
  if (int32_t rc = base().DRV_AllocCursor(hConn, hCursor); rc != 0) return rc;
  InfCursorView cur{};
  if (!INF_CursorView(*hCursor, &cur)) return ERR_ARGUMENT;
  return SCS_InitCursor(cur.scs, *hCursor, hConn, &SCR_BaseDriver, cur.record);
}

int32_t SCS_EndCursor(DrvHandle hCursor) {
  InfCursorView cur{};
  if (!INF_CursorView(hCursor, &cur)) return ERR_ARGUMENT;
  SCS_FreeCursor(cur.scs);
  return base().DRV_EndCursor(hCursor);
}

int32_t SCS_Prepare(DrvHandle hCursor, const char* sql) {
  InfCursorView cur{};
  if (!INF_CursorView(hCursor, &cur)) return ERR_ARGUMENT;
  cur.scs->sc_rowsAffected = -1;
  if (int32_t rc = base().DRV_Prepare(hCursor, sql); rc != 0) return rc;
  cur.scs->sc_flags |= SCS_F_PREPARED;
  return 0;
}

int32_t SCS_SetParamTypes(DrvHandle hCursor, uint16_t count, const ParamShadow* types) {
  InfCursorView cur{};
  if (!INF_CursorView(hCursor, &cur)) return ERR_ARGUMENT;
  SCS& scs = *cur.scs;
  if (int32_t rc = scs_p_SetParamTypes(&scs.sc_paramTypes, &scs.sc_paramTypeCount, count, types);
      rc != 0)
    return rc;
  return base().DRV_SetParamTypes(hCursor, count, types);
}

int32_t SCS_SetParams(DrvHandle hCursor, Dataset* params) {
  InfCursorView cur{};
  if (!INF_CursorView(hCursor, &cur)) return ERR_ARGUMENT;
  SCS& scs = *cur.scs;
  if (scs.sc_cursorType != SCS_FORWARD_ONLY && params != nullptr) {
    // A scrollable cursor executes its statement again later with these values.
    Dataset* copy = nullptr;
    if (int32_t rc = DatasetClone(&copy, params); rc != 0) return rc;
    if (scs.sc_params != nullptr) {
      DatasetFree(scs.sc_params);
      std::free(scs.sc_params);
    }
    scs.sc_params = copy;
    scs.sc_flags |= SCS_F_PARAMS_KEPT;
  }
  return base().DRV_SetParams(hCursor, params);
}

int32_t SCS_Execute(DrvHandle hCursor) {
  InfCursorView cur{};
  if (!INF_CursorView(hCursor, &cur)) return ERR_ARGUMENT;
  if (!cur.prepared) {
    log_printf(LOG_WARNING, kSrc, __LINE__, "execute without prior prepare");
    return ERR_SEQUENCE;
  }
  cur.scs->sc_rowsAffected = -1;
  cur.scs->sc_flags |= SCS_F_PREPARED;
  return base().DRV_Execute(hCursor);
}

int32_t SCS_Fetch(DrvHandle hCursor, uint16_t rows, Dataset* data) {
  InfCursorView cur{};
  if (!INF_CursorView(hCursor, &cur)) return ERR_ARGUMENT;
  if (int32_t rc = base().DRV_Fetch(hCursor, rows, data); rc != 0) return rc;
  if (cur.maxLength > 0) return DatasetTruncate(data, static_cast<uint32_t>(cur.maxLength));
  return 0;
}

int32_t SCS_CloseCursor(DrvHandle hCursor) {
  InfCursorView cur{};
  if (!INF_CursorView(hCursor, &cur)) return ERR_ARGUMENT;
  cur.scs->sc_flags |= SCS_F_CLOSED;
  cur.scs->sc_flags &= static_cast<uint16_t>(~(SCS_F_PREPARED | SCS_F_STATIC_LOADED));
  return base().DRV_CloseCursor(hCursor);
}

// The next rows of a forward-only cursor into the table's Dataset. The agent
// may hand out fewer rows per call than asked (one at a time for results with
// long columns), so it is asked again until the rowset is full or the result
// ends: a short rowset always means the end.
int32_t fetch_rowset(DrvHandle hCursor, int32_t size, Dataset* rows) {
  int32_t want = size < kMaxFetchRows ? size : kMaxFetchRows;
  if (int32_t rc = SCS_Fetch(hCursor, static_cast<uint16_t>(want), rows); rc != 0) return rc;
  while (rows->rowCount > 0 && rows->rowCount < size) {
    Dataset more{};
    want = size - rows->rowCount < kMaxFetchRows ? size - rows->rowCount : kMaxFetchRows;
    int32_t rc = SCS_Fetch(hCursor, static_cast<uint16_t>(want), &more);
    if (rc == 0 && more.rowCount > 0) rc = DatasetAppend(rows, &more);
    const bool ended = more.rowCount == 0;
    DatasetFree(&more);
    if (rc != 0) return rc;
    if (ended) break;
  }
  return 0;
}

int32_t SCS_ExtendedFetch2(DrvHandle hCursor, RowStatusTable** table, int32_t target, int32_t* rows,
                           int32_t* rowCount, uint16_t kind) {
  (void)target;
  (void)kind;
  InfCursorView cur{};
  if (!INF_CursorView(hCursor, &cur) || table == nullptr || rows == nullptr || rowCount == nullptr)
    return ERR_ARGUMENT;
  SCS& scs = *cur.scs;
  *rows = 0;
  *table = nullptr;
  scs.sc_rowsAffected = -1;
  if (scs.sc_cursorType != SCS_FORWARD_ONLY) return ERR_NOT_CAPABLE;
  RowStatusTable* t = nullptr;
  if (int32_t rc = RowStatusTableNew(&t, scs.sc_rowsetSize); rc != 0) return rc;
  if (int32_t rc = fetch_rowset(hCursor, scs.sc_rowsetSize, t->rows); rc != 0) {
    RowStatusTableFree(&t);
    return rc;
  }
  const int32_t n = t->rows->rowCount < t->count ? t->rows->rowCount : t->count;
  for (int32_t i = 0; i < n; ++i) t->status[i] = SQL_ROW_SUCCESS;
  if (n == 0) {
    RowStatusTableFree(&t);
    return ERR_NO_DATA;
  }
  if (scs.sc_retrieveData == 0) DatasetFree(t->rows);
  *rowCount = scs.sc_rowCount;
  *rows = n;
  *table = t;
  (void)SCS_SetPosition(&scs, 1);
  return 0;
}

int32_t SCS_ExtendedFetch(DrvHandle hCursor, RowStatusTable** table, int32_t target, int32_t* rows,
                          int32_t* rowCount) {
  return SCS_ExtendedFetch2(hCursor, table, target, rows, rowCount, 0);
}

}  // namespace

int32_t SCR_Interpose(DriverRecord* rec) {
  const DriverRecord below = *rec;
  std::call_once(scr_once, [&below] {
    SCR_Ops = *below.ops;
    SCR_BaseDriver = below;
    SCR_Ops.DRV_GetInfo = SCS_GetInfo;
    SCR_Ops.DRV_SetOption = SCS_SetOption;
    SCR_Ops.DRV_AllocCursor = SCS_AllocCursor;
    SCR_Ops.DRV_EndCursor = SCS_EndCursor;
    SCR_Ops.DRV_Prepare = SCS_Prepare;
    SCR_Ops.DRV_SetParams = SCS_SetParams;
    SCR_Ops.DRV_Execute = SCS_Execute;
    SCR_Ops.DRV_SetParamTypes = SCS_SetParamTypes;
    SCR_Ops.DRV_Fetch = SCS_Fetch;
    SCR_Ops.DRV_CloseCursor = SCS_CloseCursor;
    SCR_Ops.DRV_ExtendedFetch = SCS_ExtendedFetch;
    SCR_Ops.DRV_ExtendedFetch2 = SCS_ExtendedFetch2;
  });
  rec->ops = &SCR_Ops;
  return 0;
}
