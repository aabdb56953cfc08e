// scs_fetch.cpp -- the rowsets of the emulated cursor types: a static cursor
// reads its whole result once into its static set and serves every rowset,
// in any direction, from there.
// The rows go into the caller's RowStatusTable.
// Threading: a cursor is used under its connection's call serialisation.

#include <sqlext.h>

#include "drv/dataset.h"
#include "drv/errtab.h"
#include "drv/rowstatus.h"
#include "drv/scs.h"
#include "scrs/dsc.h"
#include "scrs/ks.h"
#include "scrs/scs_p.h"
#include "scrs/ss.h"

namespace {

// The 0-based first row of the rowset a static fetch names: a target counted
// from the end when negative (past row 1 by no more than a rowset's length: the
// first rowset), the last full rowset for 0.
int64_t static_first_row(const SCS& scs, int32_t target) {
  if (target >= 1) return int64_t(target) - 1;
  if (target < 0) {
    const int64_t a = int64_t(target) + scs.sc_rowCount;
    return a < 0 && -int64_t(target) <= scs.sc_rowsetSize ? 0 : a;
  }
  const int64_t last = int64_t(scs.sc_rowCount) - scs.sc_rowsetSize;
  return last < 0 ? 0 : last;
}

bool is_long(int32_t type) {
  return type == DS_LONGCHAR || type == DS_LONGBINARY || type == DS_LONGWCHAR;
}

// The keys, the rows and the old values of a keyed static cursor are three
// reads in one order: another session's insert or delete between them would
// put one row's keys beside another row's values, and a change would reach a
// row the application never saw. They agree when their counts are equal and,
// where all of them stayed in memory, every base column of the select list
// holds in each row what the old values hold.
bool reads_agree(SCS* scs) {
  const KS& ks = *scs->sc_keyset;
  const Dataset* old = scs->sc_optValues;
  if (ks.rowStatusCount != scs->sc_rowCount) return false;
  const SS* ss = scs->sc_staticSet;
  const bool inMemory = ks.cache.state != DSC_SPILLED && scs->sc_cache->state != DSC_SPILLED &&
                        ss->cache.state != DSC_SPILLED && ss->window != nullptr;
  if (!inMemory) return true;
  const Dataset* rows = ss->window;
  if (old == nullptr || old->rowCount != scs->sc_rowCount || rows->rowCount != scs->sc_rowCount)
    return false;
  DynArray* select = DynArrayNew(sizeof(ColDesc));
  if (select == nullptr || scs_p_SelectColsGet(scs, select, nullptr) != 0) {
    DynArrayFree(&select, nullptr);
    return true;  // nothing to compare by: the counts agreed
  }
  auto* table = static_cast<ColDesc*>(scs->sc_tableCols->items);
  const auto* items = static_cast<const ColDesc*>(select->items);
  bool agree = true;
  for (uint32_t i = 0; i < select->count && i < rows->colCount && agree; ++i) {
    uint32_t j = 0;
    if (scs_p_IsExprCol(&items[i]) != 0 ||
        scs_p_FindColDesc(table, scs->sc_tableCols->count, &items[i], &j) == nullptr ||
        j >= old->colCount)
      continue;
    const auto c = static_cast<uint16_t>(i);
    const auto t = static_cast<uint16_t>(j);
    if (rows->cols[c].type != old->cols[t].type || is_long(rows->cols[c].type)) continue;
    for (int32_t r = 0; r < rows->rowCount && agree; ++r)
      agree = scs_p_SameCell(rows, static_cast<uint32_t>(r), c, old, static_cast<uint32_t>(r), t);
  }
  DynArrayFree(&select, nullptr);
  return agree;
}

}  // namespace

int32_t scs_p_FetchStatic(SCS* sp, RowStatusTable* table, int32_t target) {
  SCS& scs = *sp;
  if ((scs.sc_flags & SCS_F_STATIC_LOADED) == 0) {
    if (int32_t rc = scs_p_LoadStatic(&scs); rc != 0) return rc;
  }
  const int64_t a = static_first_row(scs, target);
  if (a < 0) {
    (void)SCS_SetPosition(&scs, SCS_POS_BEFORE_START);
    return ERR_BEFORE_START;
  }
  if (a > int64_t(scs.sc_rowCount) - 1) {
    (void)SCS_SetPosition(&scs, SCS_POS_AFTER_END);
    return ERR_AFTER_END;
  }
  scs.sc_rowsetStart = static_cast<int32_t>(a) + 1;
  const bool keyed = scs_p_KeyedStatic(&scs) && scs.sc_keyset->rowStatus != nullptr;
  if (keyed) {
    // The keys, and the old values, of the rowset's rows are where SetPos
    // looks for them, also when they went to the temporary files.
    const auto size = static_cast<uint32_t>(scs.sc_rowsetSize);
    KS& ks = *scs.sc_keyset;
    if (ks.cache.state == DSC_SPILLED) {
      if (int32_t rc = DSC_GetWindow(&ks.cache, static_cast<int32_t>(a), size, &ks.windowStart,
                                     ks.keys);
          rc != 0)
        return rc;
    }
    if (scs.sc_cache != nullptr && scs.sc_cache->state == DSC_SPILLED &&
        scs.sc_optValues != nullptr) {
      if (int32_t rc = DSC_GetWindow(scs.sc_cache, static_cast<int32_t>(a), size,
                                     &scs.sc_cacheWindowStart, scs.sc_optValues);
          rc != 0)
        return rc;
    }
  }
  if (int32_t rc =
          SS_GetRowset(scs.sc_staticSet, static_cast<int32_t>(a), scs.sc_rowsetSize, &table->rows);
      rc != 0)
    return rc;
  // The set may hold rows past a row limit lowered since it was read.
  if (table->rows->rowCount > scs.sc_rowCount - a)
    table->rows->rowCount = static_cast<int32_t>(scs.sc_rowCount - a);
  const int32_t n = table->rows->rowCount < table->count ? table->rows->rowCount : table->count;
  for (int32_t i = 0; i < n; ++i) {
    uint16_t st = SQL_ROW_SUCCESS;
    // The rows this cursor deleted or added stay so; an update or a failure
    // is told once, by the operation itself.
    if (keyed && a + i < scs.sc_keyset->rowStatusCount) {
      uint16_t& kept = scs.sc_keyset->rowStatus[a + i];
      if (kept == SQL_ROW_UPDATED || kept == SQL_ROW_ERROR) kept = SQL_ROW_SUCCESS;
      st = kept;
    }
    table->status[i] = st;
  }
  return 0;
}


int32_t scs_p_LoadStatic(SCS* scs) {
  DriverRecord* drv = scs->sc_driver;
  if (int32_t rc = SS_GetRsltSet(scs->sc_staticSet, drv, scs->sc_hCursor, &scs->sc_rowCount);
      rc != 0)
    return rc;
  // The old values of a static cursor that changes rows are read in the same
  // order as its rows and keys; under lock concurrency its rows are locked
  // once they are read (by the server's FOR UPDATE, or by the layer when the
  // agent asks it to).
  int32_t rc = 0;
  if (scs_p_KeyedStatic(scs) && scs_p_CheckScrollable(scs) == 0) {
    if (scs->sc_concurrency == SQL_CONCUR_LOCK) {
      if (scs->sc_keyset->rowStatusCount != scs->sc_rowCount) rc = ERR_SERIALIZATION;
      if (rc == 0 && scs->sc_lockByUpdate != 0) rc = scs_p_LockRows(scs, 0, scs->sc_rowCount);
    } else if (scs->sc_stmtAttr1050 != 2) {
      rc = scs_p_GetOptConcColVals(scs, nullptr, 0, 0, 0, 0);
      if (rc == 0 && !reads_agree(scs)) rc = ERR_SERIALIZATION;
    }
  }
  // Every row is here now; only lock concurrency keeps the agent's cursor open,
  // as its rows stay locked while it is.
  if (scs->sc_concurrency != SQL_CONCUR_LOCK) (void)drv->ops->DRV_CloseCursor(scs->sc_hCursor);
  if (rc != 0) return rc;
  scs->sc_flags |= SCS_F_STATIC_LOADED;
  return 0;
}
