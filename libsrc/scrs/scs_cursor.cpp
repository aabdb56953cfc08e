// scs_cursor.cpp -- what only an agent cursor's context does: its set-up with
// what the agent says of its connection, its release, the kept parameter type
// lists and the base-column attributes of a rewritten select list.
// An agent cursor's context owns its texts, kept parameters, type lists and
// long values; the record and its bookkeeping are shared (drv/scs.h).
// Threading: a context is used under its connection's call serialisation.

#include <sqlext.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "drv/colinfo.h"
#include "drv/dataset.h"
#include "drv/errtab.h"
#include "drv/layercalls.h"
#include "drv/rowstatus.h"
#include "drv/scs.h"
#include "scrs/ks.h"
#include "scrs/posops.h"
#include "scrs/rvc.h"
#include "scrs/scs_p.h"
#include "scrs/ss.h"

namespace {

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

SCR_Analysis* new_analysis() {
  auto* a = static_cast<SCR_Analysis*>(std::calloc(1, sizeof(SCR_Analysis)));
  if (a != nullptr) SCR_AnalysisInit(a);
  return a;
}

void free_analysis(SCR_Analysis** a) {
  if (*a == nullptr) return;
  SCR_AnalysisFree(*a);
  std::free(*a);
  *a = nullptr;
}

// The analysis state an agent cursor's context carries besides the record.
int32_t alloc_analysis_state(SCS* scs) {
  scs->sc_analysis = new_analysis();
  scs->sc_auxAnalysis = new_analysis();
  scs->sc_aux2Analysis = new_analysis();
  scs->sc_cache = static_cast<DSC*>(std::calloc(1, sizeof(DSC)));
  if (scs->sc_analysis == nullptr || scs->sc_auxAnalysis == nullptr ||
      scs->sc_aux2Analysis == nullptr || scs->sc_cache == nullptr)
    return ERR_MEMORY;
  DSC_Init(scs->sc_cache);
  return KS_Create(&scs->sc_keyset);
}

void free_tables(DynArray** tables) { DynArrayFree(tables, SCR_TableEntryFree); }

}  // namespace

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
  if (int32_t rc = alloc_analysis_state(scs); rc != 0) return rc;

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
  // Where NULLs sort decides how ordered windows continue; the server's own
  // order is the only one that matches the rows it returns.
  if (agent_int(drv, hConn, DRVP_GETINFO_INT + SQL_NULL_COLLATION, &v))
    scs->sc_nullCollation = static_cast<int16_t>(v);
  return SS_Create(&scs->sc_staticSet);
}

void SCS_FreeCursor(SCS* scs) {
  KS_Free(&scs->sc_keyset);
  SS_Free(&scs->sc_staticSet);
  free_tables(&scs->sc_tables);
  DynArrayFree(&scs->sc_tableCols, nullptr);
  DynArrayFree(&scs->sc_orderBy, nullptr);
  DynArrayFree(&scs->sc_selectCols, nullptr);
  scs_p_FreeDataset(&scs->sc_params);
  // A SetPos whose values were never all sent leaves its request behind.
  scs_p_FreeDataset(&scs->sc_setPosRows);
  std::free(scs->sc_setPosCols);
  scs->sc_setPosCols = nullptr;
  if (scs->sc_cache != nullptr) DSC_Close(scs->sc_cache);
  std::free(scs->sc_cache);
  scs->sc_cache = nullptr;
  scs_p_FreeDataset(&scs->sc_optValues);
  std::free(scs->sc_sqlText);
  scs->sc_sqlText = nullptr;
  free_analysis(&scs->sc_analysis);
  free_analysis(&scs->sc_auxAnalysis);
  free_analysis(&scs->sc_aux2Analysis);
  scs_p_CloseRowVersions(scs);
  scs_p_FreePosStatements(scs);
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
  scs_p_FreeDataset(&scs->sc_windowBound);
  scs_p_FreeDataset(&scs->sc_longValues);
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

int32_t scs_p_DescribeOnce(SCS* scs) {
  if (scs->sc_resultCols != nullptr) return 0;
  uint16_t count = 0;
  ColumnInfo* cols = nullptr;
  if (int32_t rc = scs->sc_driver->ops->DRV_DescribeColumns(scs->sc_hCursor, &count, &cols);
      rc != 0)
    return rc;
  scs->sc_resultCols = cols;
  scs->sc_resultColCount = cols != nullptr ? count : 0;
  return 0;
}

int32_t scs_p_PrepareScrollable(SCS* scs, const char* sql) {
  // Whatever the last statement left is of no use to this one.
  if ((scs->sc_flags & SCS_F_ANALYSED) != 0) scs_p_ResetAnalysis(scs);
  ColumnInfoFree(scs->sc_resultCols, scs->sc_resultColCount);
  scs->sc_resultCols = nullptr;
  scs->sc_resultColCount = 0;
  SS_Close(scs->sc_staticSet);
  scs->sc_flags &= static_cast<uint16_t>(~(SCS_F_STATIC_LOADED | SCS_F_CLOSED | SCS_F_DOWNGRADED |
                                            SCS_F_KEY_ORDER | SCS_F_KEYED_SELECT));
  std::free(scs->sc_sqlText);
  scs->sc_sqlText = nullptr;
  if (scs->sc_cursorType == SCS_FORWARD_ONLY) return 0;
  scs->sc_sqlText = strdup(sql);
  if (scs->sc_sqlText == nullptr) return ERR_MEMORY;
  // Every emulated type that changes rows keeps their keys, and locks them or
  // keeps their old values (lock concurrency is here only when the agent took
  // it); only a dynamic cursor keeps row versions, and only where the
  // connection has them: elsewhere they are compared as values. The caller
  // reads the concurrency back.
  const int32_t asked = scs->sc_concurrency;
  int32_t served = SQL_CONCUR_READ_ONLY;
  const bool versions = scs->sc_cursorType == SCS_DYNAMIC && scs->sc_hasRowVersions != 0;
  if (scs->sc_cursorType == SCS_KEYSET || scs->sc_cursorType == SCS_DYNAMIC ||
      scs->sc_cursorType == SCS_STATIC)
    served = asked == SQL_CONCUR_ROWVER && !versions ? SQL_CONCUR_VALUES : asked;
  if (served != asked) {
    if (scs->sc_driver->ops->DRV_SetOption(scs->sc_hCursor, DRVP_STMT_OPTION + SQL_CONCURRENCY,
                                           &served) != 0)
      return ERR_NOT_CAPABLE;
    scs->sc_reqCursorType = scs->sc_cursorType;
    scs->sc_reqConcurrency = asked;
    scs->sc_concurrency = served;
    scs->sc_flags |= SCS_F_DOWNGRADED;
  }
  return 0;
}

namespace {

bool keyed_select(const SCS* scs) {
  return scs->sc_analysis != nullptr && scs->sc_analysis->sa_kind == PN_SELECT &&
         scs->sc_keyset != nullptr && scs->sc_keyset->keyCols != nullptr &&
         scs->sc_keyset->keyCols->count > 0;
}

}  // namespace

bool scs_p_KeysetSelect(const SCS* scs) {
  return scs->sc_cursorType == SCS_KEYSET && scs->sc_keysetSize <= 0 && keyed_select(scs);
}

bool scs_p_KeyedStatic(const SCS* scs) {
  return scs->sc_cursorType == SCS_STATIC &&
         (scs->sc_concurrency == SQL_CONCUR_VALUES || scs->sc_concurrency == SQL_CONCUR_LOCK) &&
         keyed_select(scs);
}

int32_t scs_p_BeforeExecute(SCS* scs) {
  if (scs->sc_cursorType == SCS_FORWARD_ONLY || scs->sc_sqlText == nullptr) return 0;
  if ((scs->sc_flags & SCS_F_KEYED_SELECT) != 0) {
    // The last fetch left the keyed row SELECT on the user's cursor.
    if (int32_t rc = scs->sc_driver->ops->DRV_Prepare(scs->sc_hCursor, scs->sc_sqlText); rc != 0)
      return rc;
    if (int32_t rc = scs_p_SendKeptParams(scs, scs->sc_hCursor); rc != 0) return rc;
    // The keyed SELECT is built again at the next fetch, from the user's statement.
    if (scs_p_WindowSelect(scs)) {
      scs->sc_flags &= static_cast<uint16_t>(~(SCS_F_KEY_ORDER | SCS_F_KEYED_SELECT));
      return scs_p_Reanalyse(scs, scs->sc_analysis, scs->sc_sqlText);
    }
  }
  if (scs_p_KeysetSelect(scs)) return KS_GetKeySet_KSD(scs);
  if (scs_p_KeyedStatic(scs)) {
    if (int32_t rc = KS_GetKeySet_KSD(scs); rc != 0) return rc;
    // The rows are read in the keyset's order, so that row n of the static
    // set is the row of keyset entry n; under lock concurrency the server
    // locks them as they are read, unless the layer locks them itself.
    std::string text = scs->sc_analysis->sa_generated;
    if (scs->sc_concurrency == SQL_CONCUR_LOCK && scs->sc_lockByUpdate == 0) text += " FOR UPDATE";
    if (int32_t rc = scs->sc_driver->ops->DRV_Prepare(scs->sc_hCursor, text.c_str()); rc != 0)
      return rc;
    return scs_p_SendKeptParams(scs, scs->sc_hCursor);
  }
  return 0;
}

int32_t scs_p_AfterExecute(SCS* scs) {
  if (scs->sc_cursorType == SCS_FORWARD_ONLY) return 0;
  if (int32_t rc = scs_p_DescribeOnce(scs); rc != 0) return rc;
  // The rows are read by their keys; the statement's own cursor stays unread.
  if (scs_p_KeysetSelect(scs)) return scs->sc_driver->ops->DRV_CloseCursor(scs->sc_hCursor);
  if (scs_p_WindowSelect(scs)) {
    if (int32_t rc = scs_p_ResetWindow(scs); rc != 0) return rc;
    return scs->sc_driver->ops->DRV_CloseCursor(scs->sc_hCursor);
  }
  // A static result is read whole at once, so that it is the result as it
  // stood when the statement ran (with its keys, when it changes rows).
  const bool staticRows = scs->sc_concurrency == SQL_CONCUR_READ_ONLY || scs_p_KeyedStatic(scs);
  if (scs->sc_cursorType == SCS_STATIC && staticRows && scs->sc_resultColCount > 0 &&
      (scs->sc_flags & SCS_F_STATIC_LOADED) == 0) {
    int32_t rc = scs_p_LoadStatic(scs);
    // Another session moved rows between the reads of a keyed static cursor:
    // everything is read again, a few times, before the application is told.
    for (int again = 0; again < 3 && rc == ERR_SERIALIZATION; ++again) {
      SS_Close(scs->sc_staticSet);
      rc = scs_p_BeforeExecute(scs);
      if (rc == 0) rc = scs->sc_driver->ops->DRV_Execute(scs->sc_hCursor);
      if (rc == 0) rc = scs_p_LoadStatic(scs);
    }
    return rc;
  }
  return 0;
}
