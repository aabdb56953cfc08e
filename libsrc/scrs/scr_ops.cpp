// scr_ops.cpp -- the cursor layer's operation table and the life cycle of an
// agent cursor through it: allocation, prepare, parameters, execute, fetch,
// close and release, the rowset fetch of a forward-only cursor, and the
// layer's answers to information requests.
// A forward-only cursor is served by the agent directly; the layer only keeps
// its context's bookkeeping. A static cursor reads its result once into its
// static set and scrolls there; keyset-driven, mixed and dynamic cursors read
// their rows again by key, and the information items that describe scrolling
// say what is served.
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
#include "scrs/posops.h"
#include "scrs/ks.h"
#include "scrs/scs_p.h"
#include "scrs/ss.h"
#include "util/log.h"

DriverRecord SCR_BaseDriver{};

namespace {

constexpr const char* kSrc = "scrs/scr_ops";
// DRV_Fetch moves at most this many rows per call.
constexpr int32_t kMaxFetchRows = UINT16_MAX;

DriverOps SCR_Ops{};
std::once_flag scr_once;

const DriverOps& base() { return *SCR_BaseDriver.ops; }

// What SetPos and BulkOperations serve. Every scrollable cursor is positioned
// and refreshed (a static one from its rows) and fetches by bookmarks; under
// value concurrency a keyset-driven cursor, and a static one (which then holds
// its rows' keys and old values), changes, deletes and adds rows by generated
// statements, also by bookmarks.
constexpr int32_t kPosOperations =
    SQL_POS_POSITION | SQL_POS_REFRESH | SQL_POS_UPDATE | SQL_POS_DELETE | SQL_POS_ADD;
constexpr int32_t kScrolling = SQL_CA1_NEXT | SQL_CA1_ABSOLUTE | SQL_CA1_RELATIVE | SQL_CA1_BOOKMARK;
constexpr int32_t kPositioned = SQL_CA1_LOCK_NO_CHANGE | SQL_CA1_POS_POSITION | SQL_CA1_POS_REFRESH;
constexpr int32_t kForwardOnlyAttributes1 =
    SQL_CA1_NEXT | SQL_CA1_LOCK_NO_CHANGE | SQL_CA1_POS_POSITION;
constexpr int32_t kChanges = SQL_CA1_POS_UPDATE | SQL_CA1_POS_DELETE | SQL_CA1_BULK_ADD |
                             SQL_CA1_BULK_UPDATE_BY_BOOKMARK | SQL_CA1_BULK_DELETE_BY_BOOKMARK;
constexpr int32_t kStaticAttributes1 =
    kScrolling | kPositioned | kChanges | SQL_CA1_BULK_FETCH_BY_BOOKMARK;
constexpr int32_t kKeysetAttributes1 =
    kScrolling | kPositioned | kChanges | SQL_CA1_BULK_FETCH_BY_BOOKMARK;
// A dynamic cursor moves relative to where it stands (the statement side
// refuses absolute and bookmark moves of dynamic and mixed cursors) and
// changes rows through SetPos; BulkOperations refuses it.
constexpr int32_t kDynamicAttributes1 = SQL_CA1_NEXT | SQL_CA1_RELATIVE | kPositioned |
                                        SQL_CA1_POS_UPDATE | SQL_CA1_POS_DELETE;
// The agent's limits on rows, which hold for every cursor type.
int32_t row_limits(DrvHandle hConn, DriverPropId id) {
  int32_t agent = 0;
  uint16_t len = 0;
  if (base().DRV_GetInfo(hConn, id, &agent, 4, &len) != 0) agent = 0;
  constexpr int32_t kLimits = SQL_CA2_MAX_ROWS_SELECT | SQL_CA2_MAX_ROWS_INSERT |
                              SQL_CA2_MAX_ROWS_DELETE | SQL_CA2_MAX_ROWS_UPDATE |
                              SQL_CA2_MAX_ROWS_CATALOG | SQL_CA2_MAX_ROWS_AFFECTS_ALL;
  return agent & kLimits;
}

// The connection keeps row versions for its dynamic cursors.
bool row_versions(DrvHandle hConn) {
  int32_t v = 0;
  uint16_t len = 0;
  return base().DRV_GetInfo(hConn, DRVP_ROW_VERSIONS, &v, 4, &len) == 0 && v != 0;
}

// The agent takes lock concurrency: it says so of its own cursors.
bool agent_locks(DrvHandle hConn) {
  int32_t v = 0;
  uint16_t len = 0;
  return base().DRV_GetInfo(hConn, DRVP_GETINFO_INT + SQL_SCROLL_CONCURRENCY, &v, 4, &len) == 0 &&
         (v & SQL_SCCO_LOCK) != 0;
}

// What the layer says of scrolling: the types and the concurrency it serves,
// in place of the agent's answers, which describe every emulated type.
bool scrolling_answer(DrvHandle hConn, DriverPropId id, int32_t* value) {
  if (DrvpClass(id) != DRVP_CLASS_CONN || DrvpGroup(id) != DRVP_GROUP_GETINFO) return false;
  switch (DrvpItem(id)) {
    case SQL_SCROLL_OPTIONS:
      *value = SQL_SO_FORWARD_ONLY | SQL_SO_STATIC | SQL_SO_KEYSET_DRIVEN | SQL_SO_DYNAMIC |
               SQL_SO_MIXED;
      return true;
    // Keyset-driven, mixed and dynamic cursors also read under value
    // concurrency, keeping their rows' old values; dynamic ones under row
    // versions where the connection keeps them; every emulated type under
    // lock concurrency where the agent takes it.
    case SQL_SCROLL_CONCURRENCY:
      *value = SQL_SCCO_READ_ONLY | SQL_SCCO_OPT_VALUES |
               (row_versions(hConn) ? SQL_SCCO_OPT_ROWVER : 0) |
               (agent_locks(hConn) ? SQL_SCCO_LOCK : 0);
      return true;
    case SQL_POS_OPERATIONS: *value = kPosOperations; return true;
    // Rows are never locked by SetPos.
    case SQL_LOCK_TYPES: *value = SQL_LCK_NO_CHANGE; return true;
    case SQL_STATIC_CURSOR_ATTRIBUTES1: *value = kStaticAttributes1; return true;
    // A forward-only cursor positions on a row of its block and changes
    // nothing: it reads under read-only concurrency only.
    case SQL_FORWARD_ONLY_CURSOR_ATTRIBUTES1: *value = kForwardOnlyAttributes1; return true;
    case SQL_FORWARD_ONLY_CURSOR_ATTRIBUTES2: {
      int32_t agent = 0;
      uint16_t len = 0;
      if (base().DRV_GetInfo(hConn, id, &agent, 4, &len) != 0) agent = 0;
      // Nor is its row count known before its last row is read.
      constexpr int32_t kNotServed = SQL_CA2_LOCK_CONCURRENCY | SQL_CA2_OPT_ROWVER_CONCURRENCY |
                                     SQL_CA2_OPT_VALUES_CONCURRENCY | SQL_CA2_CRC_EXACT |
                                     SQL_CA2_CRC_APPROXIMATE;
      *value = (agent & ~kNotServed) | SQL_CA2_READ_ONLY_CONCURRENCY;
      return true;
    }
    case SQL_KEYSET_CURSOR_ATTRIBUTES1: *value = kKeysetAttributes1; return true;
    case SQL_STATIC_CURSOR_ATTRIBUTES2:
      // A static cursor sees no changes; under value concurrency it changes
      // rows. Its row count is exact once it is loaded.
      *value = row_limits(hConn, id) | SQL_CA2_READ_ONLY_CONCURRENCY |
               SQL_CA2_OPT_VALUES_CONCURRENCY | SQL_CA2_CRC_EXACT |
               (agent_locks(hConn) ? SQL_CA2_LOCK_CONCURRENCY : 0);
      return true;
    case SQL_KEYSET_CURSOR_ATTRIBUTES2:
      // A keyset-driven cursor reads its rows again by key at every fetch:
      // others' updates show, others' deletions show as deleted rows.
      *value = row_limits(hConn, id) | SQL_CA2_READ_ONLY_CONCURRENCY |
               SQL_CA2_OPT_VALUES_CONCURRENCY | SQL_CA2_CRC_EXACT | SQL_CA2_SENSITIVITY_UPDATES |
               SQL_CA2_SENSITIVITY_DELETIONS | (agent_locks(hConn) ? SQL_CA2_LOCK_CONCURRENCY : 0);
      return true;
    case SQL_DYNAMIC_CURSOR_ATTRIBUTES1: *value = kDynamicAttributes1; return true;
    case SQL_DYNAMIC_CURSOR_ATTRIBUTES2:
      // A dynamic cursor reads its rowset afresh at every fetch: others'
      // additions, changes and deletions all show; its row count is unknown,
      // and its result has no end for a row limit to count to.
      *value = (row_limits(hConn, id) & ~SQL_CA2_MAX_ROWS_SELECT) | SQL_CA2_READ_ONLY_CONCURRENCY |
               SQL_CA2_OPT_VALUES_CONCURRENCY | SQL_CA2_SENSITIVITY_ADDITIONS |
               SQL_CA2_SENSITIVITY_UPDATES | SQL_CA2_SENSITIVITY_DELETIONS |
               (row_versions(hConn) ? SQL_CA2_OPT_ROWVER_CONCURRENCY : 0) |
               (agent_locks(hConn) ? SQL_CA2_LOCK_CONCURRENCY : 0);
      return true;
    default: return false;
  }
}

// The cursor's statement produces rows.
bool has_result(const SCS& scs) {
  return scs.sc_resultColCount > 0 || (scs.sc_flags & SCS_F_STATIC_LOADED) != 0;
}

int32_t agent_int(DrvHandle h, DriverPropId id, int32_t* v) {
  uint16_t len = 0;
  *v = 0;
  return base().DRV_GetInfo(h, id, v, 4, &len);
}

// A static set or keyset read under the limit its result was opened with holds no rows
// past a lower one set afterwards; one raised or lifted does not stretch it.
void limit_open_result(DrvHandle h, SCS* scs) {
  const bool loaded =
      (scs->sc_cursorType == SCS_STATIC && (scs->sc_flags & SCS_F_STATIC_LOADED) != 0) ||
      (scs->sc_cursorType == SCS_KEYSET && scs->sc_keysetSize <= 0 &&
       scs->sc_keyset != nullptr && scs->sc_keyset->rowStatus != nullptr);
  int32_t limit = 0;
  if (!loaded || (scs->sc_flags & SCS_F_CLOSED) != 0 ||
      agent_int(h, DRVP_STMT_OPTION + SQL_MAX_ROWS, &limit) != 0)
    return;
  if (limit > 0 && scs->sc_rowCount > limit) scs->sc_rowCount = limit;
}

int32_t SCS_CapabilityString(DrvHandle hConn, char* buf, uint16_t bufLen, uint16_t* outLen) {
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
    return SCS_CapabilityString(h, static_cast<char*>(buf), bufLen, outLen);
  }
  int32_t v = 0;
  if (DrvpClass(id) == DRVP_CLASS_CONN) {
    if (!scrolling_answer(h, id, &v)) return base().DRV_GetInfo(h, id, buf, bufLen, outLen);
    if (!INF_ConnExists(h)) return ERR_ARGUMENT;
  } else {
    InfCursorView cur{};
    if (id != DRVP_ROW_COUNT || !INF_CursorView(h, &cur) ||
        cur.scs->sc_cursorType == SCS_FORWARD_ONLY || !has_result(*cur.scs))
      return base().DRV_GetInfo(h, id, buf, bufLen, outLen);
    // The rows of a scrollable result, or those the last positioned operation touched.
    v = cur.scs->sc_rowsAffected != -1 ? cur.scs->sc_rowsAffected : cur.scs->sc_rowCount;
  }
  if (buf == nullptr || bufLen < 4) return ERR_ARGUMENT;
  std::memcpy(buf, &v, 4);
  if (outLen != nullptr) *outLen = 4;
  return 0;
}

// Row-version concurrency is the cursor layer's (its versions live in the
// database's row-version table), which the agent knows nothing of: where the
// connection keeps row versions the agent is asked for values, the nearest
// concurrency it serves, and the cursor keeps row versions. Which cursor
// types serve them is settled when a statement is prepared.
int32_t SCS_SetOption(DrvHandle h, DriverPropId id, const void* value) {
  InfCursorView cur{};
  if (id == DRVP_STMT_OPTION + SQL_MAX_ROWS) {
    const int32_t rc = base().DRV_SetOption(h, id, value);
    if ((rc == 0 || rc == ERR_OPTION_CHANGED) && INF_CursorView(h, &cur))
      limit_open_result(h, cur.scs);
    return rc;
  }
  if (id != DRVP_STMT_OPTION + SQL_CONCURRENCY || value == nullptr ||
      *static_cast<const int32_t*>(value) != SQL_CONCUR_ROWVER || !INF_CursorView(h, &cur) ||
      cur.scs->sc_hasRowVersions == 0)
    return base().DRV_SetOption(h, id, value);
  const int32_t values = SQL_CONCUR_VALUES;
  const int32_t rc = base().DRV_SetOption(h, id, &values);
  if (rc != 0 && rc != ERR_OPTION_CHANGED) return rc;
  if (cur.scs->sc_concurrency != SQL_CONCUR_VALUES) return ERR_OPTION_CHANGED;
  cur.scs->sc_concurrency = SQL_CONCUR_ROWVER;
  return 0;
}

int32_t SCS_AllocCursor(DrvHandle hConn, DrvHandle* hCursor) {
  if (int32_t rc = base().DRV_AllocCursor(hConn, hCursor); rc != 0) return rc;
  InfCursorView cur{};
  int32_t rc = INF_CursorView(*hCursor, &cur) ? 0 : ERR_ARGUMENT;
  if (rc == 0) rc = SCS_InitCursor(cur.scs, *hCursor, hConn, &SCR_BaseDriver, cur.record);
  if (rc != 0) {
    // Nobody would ever end a cursor whose handle was not handed out.
    if (cur.scs != nullptr) SCS_FreeCursor(cur.scs);
    (void)base().DRV_EndCursor(*hCursor);
    *hCursor = 0;
  }
  return rc;
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
  SCS& scs = *cur.scs;
  scs.sc_rowsAffected = -1;
  // The positioned statements of the statement before go with it.
  scs_p_FreePosStatements(&scs);
  if (int32_t rc = base().DRV_Prepare(hCursor, sql); rc != 0) return rc;
  if (int32_t rc = scs_p_PrepareScrollable(&scs, sql); rc != 0) return rc;
  if (int32_t rc = scs_p_AnalyseStmt(&scs, sql); rc != 0) {
    scs_p_ClearAuxDiags(&scs);
    return rc;
  }
  scs.sc_flags |= SCS_F_PREPARED;
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

// Some value of the parameters is still to come at execution.
bool awaits_values(const Dataset* params) {
  if (params == nullptr || params->cols == nullptr) return false;
  for (uint16_t c = 0; c < params->colCount; ++c) {
    const int16_t* ind = params->cols[c].ind;
    for (int32_t r = 0; ind != nullptr && r < params->rowCount; ++r)
      if (ind[r] == DS_IND_DAE) return true;
  }
  return false;
}

// The execution proper: what the layer reads before the statement runs (the
// keyset, with the parameters) and after (the description, a static result).
int32_t execute(SCS& scs, DrvHandle hCursor) {
  if (int32_t rc = scs_p_BeforeExecute(&scs); rc != 0) {
    scs_p_ClearAuxDiags(&scs);
    return rc;
  }
  scs.sc_flags |= SCS_F_PREPARED;
  scs.sc_flags &= static_cast<uint16_t>(~SCS_F_CLOSED);
  if (int32_t rc = base().DRV_Execute(hCursor); rc != 0) return rc;
  const int32_t rc = scs_p_AfterExecute(&scs);
  if (rc != 0) scs_p_ClearAuxDiags(&scs);
  return rc;
}

int32_t SCS_Execute(DrvHandle hCursor) {
  InfCursorView cur{};
  if (!INF_CursorView(hCursor, &cur)) return ERR_ARGUMENT;
  if (!cur.prepared) {
    log_printf(LOG_WARNING, kSrc, __LINE__, "execute without prior prepare");
    return ERR_SEQUENCE;
  }
  SCS& scs = *cur.scs;
  scs.sc_rowsAffected = -1;
  // Nothing runs before every value sent at execution is in: the agent asks
  // for them, and the last one resumes the execution here
  // (SCS_ExecuteResume) with the values complete.
  if (scs.sc_cursorType != SCS_FORWARD_ONLY && (scs.sc_flags & SCS_F_PARAMS_KEPT) != 0 &&
      awaits_values(scs.sc_params))
    return base().DRV_Execute(hCursor);
  return execute(scs, hCursor);
}

int32_t SCS_Fetch(DrvHandle hCursor, uint16_t rows, Dataset* data) {
  InfCursorView cur{};
  if (!INF_CursorView(hCursor, &cur)) return ERR_ARGUMENT;
  SCS& scs = *cur.scs;
  if (scs.sc_cursorType == SCS_STATIC && rows != 0) {
    // A static cursor read row by row (SQLFetch of an ODBC 2 application)
    // reads its static set in order.
    if ((scs.sc_flags & SCS_F_STATIC_LOADED) == 0) {
      if (int32_t rc = scs_p_LoadStatic(&scs); rc != 0) return rc;
    }
    if (int32_t rc = SS_GetRowset(scs.sc_staticSet, SS_NEXT, rows, &data); rc != 0) return rc;
  } else if (int32_t rc = base().DRV_Fetch(hCursor, rows, data); rc != 0) {
    return rc;
  }
  if (cur.maxLength > 0) return DatasetTruncate(data, static_cast<uint32_t>(cur.maxLength));
  return 0;
}

int32_t SCS_CloseCursor(DrvHandle hCursor) {
  InfCursorView cur{};
  if (!INF_CursorView(hCursor, &cur)) return ERR_ARGUMENT;
  cur.scs->sc_flags |= SCS_F_CLOSED;
  cur.scs->sc_flags &= static_cast<uint16_t>(~(SCS_F_PREPARED | SCS_F_STATIC_LOADED));
  // The rows of a closed static cursor, and their temporary files, go now.
  SS_Close(cur.scs->sc_staticSet);
  return base().DRV_CloseCursor(hCursor);
}

int32_t SCS_PrepareExecute(DrvHandle hCursor, const char* sql, Dataset* params, uint16_t typeCount,
                           const ParamShadow* types) {
  if (sql != nullptr) {
    if (int32_t rc = SCS_Prepare(hCursor, sql); rc != 0) return rc;
  }
  if (params != nullptr) {
    if (int32_t rc = SCS_SetParams(hCursor, params); rc != 0) return rc;
  }
  if (typeCount != 0) {
    if (int32_t rc = SCS_SetParamTypes(hCursor, typeCount, types); rc != 0) return rc;
  }
  return SCS_Execute(hCursor);
}

int32_t SCS_MoreResults(DrvHandle hCursor) {
  InfCursorView cur{};
  if (!INF_CursorView(hCursor, &cur)) return ERR_ARGUMENT;
  SCS& scs = *cur.scs;
  // A loaded static set is the statement's whole result.
  const bool possible =
      scs.sc_concurrency == SQL_CONCUR_READ_ONLY &&
      (scs.sc_cursorType == SCS_FORWARD_ONLY ||
       (scs.sc_cursorType == SCS_STATIC && (scs.sc_flags & SCS_F_STATIC_LOADED) == 0));
  SCS_ResetPosition(&scs);
  SS_Close(scs.sc_staticSet);
  scs.sc_flags &= static_cast<uint16_t>(~SCS_F_STATIC_LOADED);
  return possible ? base().DRV_MoreResults(hCursor) : ERR_NO_MORE_RESULTS;
}

// A catalog result is never scrolled by keys: a keyset-driven or dynamic
// request reads it as a static read-only cursor, loaded afresh at its first fetch.
template <typename Slot, Slot DriverOps::*kSlot>
struct CatalogHook;
template <typename... A, int32_t (*DriverOps::*kSlot)(DrvHandle, A...)>
struct CatalogHook<int32_t (*)(DrvHandle, A...), kSlot> {
  static int32_t run(DrvHandle hCursor, A... args) {
    InfCursorView cur{};
    if (!INF_CursorView(hCursor, &cur)) return ERR_ARGUMENT;
    SCS& scs = *cur.scs;
    if (scs.sc_cursorType != SCS_FORWARD_ONLY) {
      scs.sc_cursorType = SCS_STATIC;
      scs.sc_concurrency = SQL_CONCUR_READ_ONLY;
    }
    SS_Close(scs.sc_staticSet);
    scs.sc_flags &= static_cast<uint16_t>(~SCS_F_STATIC_LOADED);
    return (base().*kSlot)(hCursor, args...);
  }
};

template <typename T>
struct SlotType;
template <typename F>
struct SlotType<F DriverOps::*> {
  using type = F;
};

template <auto kSlot>
constexpr auto catalog_hook() {
  return CatalogHook<typename SlotType<decltype(kSlot)>::type, kSlot>::run;
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

// The table for the next rowset: the caller's previous one when it has the rowset's size.
// Keeping it keeps its Dataset's column storage, which the agent fills again without
// laying anything out; a table per rowset costs a zeroed allocation per column.
int32_t table_for_rowset(RowStatusTable** table, int32_t size) {
  RowStatusTable* t = *table;
  if (t != nullptr && t->count == size && t->status != nullptr && t->rows != nullptr) return 0;
  RowStatusTableFree(table);
  return RowStatusTableNew(table, size);
}

int32_t SCS_ExtendedFetch2(DrvHandle hCursor, RowStatusTable** table, int32_t target, int32_t* rows,
                           int32_t* rowCount, uint16_t kind) {
  InfCursorView cur{};
  if (table == nullptr) return ERR_ARGUMENT;
  if (!INF_CursorView(hCursor, &cur) || rows == nullptr || rowCount == nullptr) {
    RowStatusTableFree(table);
    return ERR_ARGUMENT;
  }
  SCS& scs = *cur.scs;
  *rows = 0;
  scs.sc_rowsAffected = -1;
  // Only a cursor whose statement the layer saw prepared has state to scroll
  // in; a catalog result is read as a static read-only one.
  const bool staticReadOnly =
      scs.sc_cursorType == SCS_STATIC && scs.sc_concurrency == SQL_CONCUR_READ_ONLY;
  if ((scs.sc_flags & SCS_F_PREPARED) == 0 && scs.sc_cursorType != SCS_FORWARD_ONLY &&
      !staticReadOnly) {
    RowStatusTableFree(table);
    return ERR_CURSOR_STATE;
  }
  const bool forwardOnly = scs.sc_cursorType == SCS_FORWARD_ONLY;
  int32_t rc = ERR_NOT_CAPABLE;
  if (forwardOnly) {
    rc = table_for_rowset(table, scs.sc_rowsetSize);
    if (rc == 0) rc = fetch_rowset(hCursor, scs.sc_rowsetSize, (*table)->rows);
  } else {
    RowStatusTableFree(table);
    if (scs.sc_cursorType == SCS_STATIC) {
      rc = RowStatusTableNew(table, scs.sc_rowsetSize);
      if (rc == 0) rc = scs_p_FetchStatic(&scs, *table, target);
    } else if (scs.sc_cursorType == SCS_KEYSET && scs.sc_keysetSize <= 0) {
      rc = RowStatusTableNew(table, scs.sc_rowsetSize);
      if (rc == 0) rc = scs_p_FetchKeyset(&scs, *table, target);
    } else if (kind != 0 && scs_p_WindowSelect(&scs)) {
      // A window moves by orientation; target is the offset.
      rc = RowStatusTableNew(table, scs.sc_rowsetSize);
      if (rc == 0 && scs.sc_cursorType == SCS_DYNAMIC)
        rc = scs_p_FetchDynamic(&scs, target, kind, *table);
      else if (rc == 0)
        rc = scs_p_FetchMixed(&scs, target, kind, *table);
    }
    if (rc == 0 && cur.maxLength > 0)
      rc = DatasetTruncate((*table)->rows, static_cast<uint32_t>(cur.maxLength));
  }
  if (rc != 0) {
    RowStatusTableFree(table);
    scs_p_ClearAuxDiags(&scs);
    return rc;
  }
  RowStatusTable* t = *table;
  const int32_t n = t->rows->rowCount < t->count ? t->rows->rowCount : t->count;
  if (n == 0) {
    RowStatusTableFree(table);
    return ERR_NO_DATA;
  }
  // A refilled forward-only table keeps no status from its rowset before.
  for (int32_t i = 0; forwardOnly && i < t->count; ++i)
    t->status[i] = i < n ? SQL_ROW_SUCCESS : SQL_ROW_NOROW;
  if (scs.sc_retrieveData == 0) DatasetFree(t->rows);
  *rowCount = scs.sc_rowCount;
  *rows = n;
  (void)SCS_SetPosition(&scs, 1);
  return 0;
}

int32_t SCS_ExtendedFetch(DrvHandle hCursor, RowStatusTable** table, int32_t target, int32_t* rows,
                          int32_t* rowCount) {
  return SCS_ExtendedFetch2(hCursor, table, target, rows, rowCount, 0);
}

}  // namespace

int32_t SCS_ExecuteResume(SCS* scs, const Dataset* params) {
  Dataset* copy = nullptr;
  if (params != nullptr) {
    if (int32_t rc = DatasetClone(&copy, params); rc != 0) return rc;
  }
  scs_p_FreeDataset(&scs->sc_params);
  scs->sc_params = copy;
  return execute(*scs, scs->sc_hCursor);
}

int32_t SCR_Interpose(DriverRecord* rec) {
  const DriverRecord below = *rec;
  std::call_once(scr_once, [&below] {
    SCR_Ops = *below.ops;
    SCR_BaseDriver = below;
    InitializeCriticalSection(&SCR_ConnListLock);
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
    SCR_Ops.DRV_SetPos = SCS_SetPos;
    SCR_Ops.DRV_BulkOperations = SCS_BulkOperations;
    SCR_Ops.DRV_Connect = SCS_Connect;
    SCR_Ops.DRV_EndConnect = SCS_EndConnect;
    SCR_Ops.DRV_PrepareExecute = SCS_PrepareExecute;
    SCR_Ops.DRV_MoreResults = SCS_MoreResults;
    SCR_FillCombined(&SCR_Ops);
    SCR_Ops.DRV_DDColumnPrivileges = catalog_hook<&DriverOps::DRV_DDColumnPrivileges>();
    SCR_Ops.DRV_DDColumns = catalog_hook<&DriverOps::DRV_DDColumns>();
    SCR_Ops.DRV_DDForeignKeys = catalog_hook<&DriverOps::DRV_DDForeignKeys>();
    SCR_Ops.DRV_DDPrimaryKeys = catalog_hook<&DriverOps::DRV_DDPrimaryKeys>();
    SCR_Ops.DRV_DDProcedureColumns = catalog_hook<&DriverOps::DRV_DDProcedureColumns>();
    SCR_Ops.DRV_DDProcedures = catalog_hook<&DriverOps::DRV_DDProcedures>();
    SCR_Ops.DRV_DDSpecialColumns = catalog_hook<&DriverOps::DRV_DDSpecialColumns>();
    SCR_Ops.DRV_DDStatistics = catalog_hook<&DriverOps::DRV_DDStatistics>();
    SCR_Ops.DRV_DDTablePrivileges = catalog_hook<&DriverOps::DRV_DDTablePrivileges>();
    SCR_Ops.DRV_DDTables = catalog_hook<&DriverOps::DRV_DDTables>();
    SCR_Ops.DRV_DDTypeInfo = catalog_hook<&DriverOps::DRV_DDTypeInfo>();
  });
  rec->ops = &SCR_Ops;
  return 0;
}
